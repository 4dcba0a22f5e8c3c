// Helpers shared by the files of the OS layer; not for the rest of the program.
#pragma once

#include <string>

// Upper case of a wide character (the inverse of OS_CharLowerW's table).
char16_t OS_CharUpperW(char16_t c);
// The key file names are compared and sorted by: the name (UTF-8 bytes)
// decoded to UTF-16 and upper-cased, as NTFS orders a folder.
std::u16string OS_NameSortKey(const std::string& name);

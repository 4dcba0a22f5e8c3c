// Helpers shared by the table loaders of the Global unit.
#pragma once

#include <string>

#include "engine/QX9_System_Ini.h"

// Notes a table entry that was skipped (TableLoadErrors and stderr).
void LogTableError(const std::string& line);

// The whole value of a key in the current section.
std::string ReadKey(TIniFile& ini, const std::string& key);
// Item n (or -1: the whole value) of a key as an integer, 0 when missing.
int32_t ReadInt(TIniFile& ini, const std::string& key, int32_t item = -1);
// A key's whole value as a boolean, false when missing.
bool ReadFlag(TIniFile& ini, const std::string& key);

// Whether two file names have the same base name, ignoring case.
bool SameBaseName(const std::string& a, const std::string& b);
// Of names with one base name (any case) only the last stays; order kept.
void DropEarlierDuplicates(TStringArray& names);

// zorExcept: the process helpers of the reporter core: loaded modules, module
// file names, paths made absolute, the reporter's private temporary folder,
// the computer name, the reporter's stored values (a small key/value file in
// place of the registry), a seconds clock and an address range test.
//
// Paths here are the system's own ("/" separators).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crashreport/diagnostics/zorTools.h"

struct TModule {
    TModuleHandle Handle = 0;
    std::u16string FileName; // without folder
};
using TDAModule = std::vector<TModule>;

// Every loaded module, the program first.
void ListModules(TDAModule& modules);
// The module's full file name (0: the program's), empty for no module.
std::u16string ModuleFileName(TModuleHandle module = 0);
// Without the last "." and what follows it.
std::u16string StripExtension(const std::u16string& text);

// The program's folder with a trailing "/": the system form of the engine's
// ExePath once that is set, the same derived from the program file before.
std::u16string ReporterProgramFolder();
// A path not starting with "/" is put behind the program's folder; "\" counts
// as "/" (paths from settings may be written the Windows way); "." steps go
// and each ".." step goes with the folder before it; a ".." with no folder
// before it stays.
std::u16string AbsolutePath(const std::u16string& path);

// "<runtime or temporary folder>/<program name>.zorExcept/", created private
// (0700). The runtime folder is $XDG_RUNTIME_DIR, else $TMPDIR, else /tmp.
// Empty when it can't be made, and when the name is taken by a link or by a
// folder of another user: the reporter never writes there.
std::u16string ReporterTempFolder();
// Deletes the files in that folder (sub-folders are not entered) and the
// folder, but only a real folder of our own user.
void ClearReporterTempFolder();

std::u16string ComputerName();

// Stored values. Keys are written as the registry paths they stand for
// ("Software\Varnel\ContactForm" and a value name); only the current user's
// root has a store. The file lives in the user's configuration folder and is
// replaced whole on every change.
using THKey = uint32_t;
constexpr THKey HKEY_CLASSES_ROOT = 0x80000000u;
constexpr THKey HKEY_CURRENT_USER = 0x80000001u;
constexpr THKey HKEY_LOCAL_MACHINE = 0x80000002u;
// The store's file, in the program's form.
std::string RegistryFilePath();
// Empty when the value is missing.
std::u16string RegistryReadText(THKey root, const std::u16string& keyPath, const std::u16string& valueName);
bool RegistryWriteText(THKey root, const std::u16string& keyPath, const std::u16string& valueName,
                       const std::u16string& text);
// False when there was no such value.
bool RegistryDeleteValue(THKey root, const std::u16string& keyPath, const std::u16string& valueName);

// Seconds since 1601-01-01 UTC.
int64_t NowInSeconds();
// Value 0, or lower <= value <= upper (unsigned).
bool ZeroOrInRange(uintptr_t value, uintptr_t lower, uintptr_t upper);

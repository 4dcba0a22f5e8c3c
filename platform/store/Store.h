// The optional store wrapper library: loaded at run time when it is present
// beside the program, with its three entry points; absent otherwise, which is
// no error. Windows names ("DuskmarchSteamAPI.dll") are mapped to the shared
// objects of this platform here.
#pragma once

#include <string>

struct TStoreWrapper {
    void (*Start)() = nullptr;
    void (*Shutdown)() = nullptr;
    unsigned char (*SetAchievement)(const char* identifier) = nullptr; // boolean result
};

// The file name this platform uses for a library the program names in
// Windows form: "x.dll" becomes "x.so".
std::string StoreLibraryFileName(const std::string& windowsName);

// Loads the library at the program path and looks up "DSAPI_Start",
// "DSAPI_Shutdown" and "DSAPI_SetAchievement". True only when the library
// loaded and all three were found; the library is then kept loaded for the
// rest of the run. Nothing is reported on failure.
bool StoreWrapper_Load(const std::string& programPath, TStoreWrapper& wrapper);

// Duskmarch_Startup: the program's start-up and shut-down. The pieces that
// decide something (the user's settings file, the measured loading amounts
// copied from the installation, the interface's virtual size, the shadow map
// size) are plain functions here, so that the entry itself only sequences
// them.
//
// Threads: everything here runs on the main thread before any other game
// thread exists.
#pragma once

#include <cstdint>
#include <string>

#include "engine/QX9_System_Ini.h"

// The item cell sizes in pixels the inventory, camp and building screens use.
extern int32_t ItemCellSize;
extern int32_t SmallItemCellSize;
extern int32_t LongItemCellHeight;

// The measured loading amounts: the loaders write what they measured into
// the user's settings, and every start first resets them from the
// installation's file.
struct TMeasuredLoadingKey {
    const char* Section;
    const char* Key;
};
inline constexpr TMeasuredLoadingKey MeasuredLoadingKeys[] = {
    {"Main", "Loading_ProgressBarSize"},
    {"Arenas", "Castle"},
    {"Arenas", "Forest"},
    {"Arenas", "Lake"},
    {"Arenas", "PineForest"},
    {"Arenas", "PlainTown"},
    {"Arenas", "PlainVillage"},
    {"Arenas", "PlainWild"},
    {"Arenas", "Plain"},
    {"Arenas", "Ruins"},
    {"Arenas", "Swamp"},
    {"Arenas", "Tower"},
};

// The installation's settings file, read only: a missing one is fatal
// ("TIniFile.Load(<file>) -> FILE NOT FOUND!") and is never created there.
void LoadInstallFile(TIniFile& ini, const std::string& fileName);

// Makes sure the user folder holds "Options_Game.ini" (a copy of the
// installation's file when the folder or the file is missing) and loads it
// into the settings. userFolder and gameFolder end with "\".
void PrepareUserSettings(TIniFile& settings, const std::string& userFolder, const std::string& gameFolder);

// Copies one key's whole value from the installation's file into the user's
// settings (the section and the key are added when missing; an absent key
// copies as an empty value).
void CopyInstallDefault(TIniFile& settings, TIniFile& install, const std::string& section, const std::string& key);
// Resets every measured loading amount from the installation's
// "Options_Game.ini" and saves the user's settings.
void CopyInstallDefaults(TIniFile& settings, const std::string& gameFolder);

// The interface's virtual size for a screen: screens narrower than 1500 or
// lower than 1050 are drawn at a larger virtual size and scaled down.
struct TVirtualSize {
    int32_t Width = 0;
    int32_t Height = 0;
    float ScaleX = 1; // virtual pixels per screen pixel
    float ScaleY = 1;
};
TVirtualSize ComputeVirtualSize(int32_t screenWidth, int32_t screenHeight);

// The shadow map size of the "Render_ShadowsResolution" setting: 1, 2, 3
// name 1024, 2048, 4096; those sizes stand for themselves; anything else
// (0 and missing included) is 2048.
int32_t ShadowMapSize(int32_t setting);

// The shadow map side both scenes' presets take, and the alpha-to-coverage
// setting (Render_ATOC).
extern int32_t ShadowPresetSize;
extern uint8_t RenderATOC;

// The steps of the shut-down after the message loop, in the order they run:
// the recorder's last block, the telemetry log, then the renderer. Empty
// steps are skipped.
struct TShutdownSteps {
    void (*FlushRecorder)() = nullptr;
    bool (*SaveLog)() = nullptr;
    void (*FreeRenderer)() = nullptr;
};
void ShutDownInOrder(const TShutdownSteps& steps);

// Duskmarch_Options: the player's options. They live in section "Main" of
// the user's settings file; ReadSettings takes them into their globals at
// start-up, and Options_Window shows them on three pages, applies the
// difficulty and the volumes at once, writes every option back on "apply"
// and reads them again on "cancel". Some options act while the program runs,
// others at the next start or only stay stored.
//
// Threads: ReadSettings, OptionsScreen_Create and OptionsScreen_LoadSettings
// run on the start-up loader thread; everything else on the main thread.
#pragma once

#include <cstdint>
#include <string>

#include "screens/Duskmarch_PlayServices.h"

class TGUI_Object;
class TGUI_Window;
class TIniFile;

enum TOptionKind : uint8_t {
    OptionBoolean,
    OptionDifficulty, // 1..4, else 2
    OptionVolume,     // 0..1000
    OptionShadows,    // 1, 2, 3 or 1024, 2048, 4096, else 2048
    OptionTexture,    // 256..4096, else 1024
    OptionNotStored,  // the interface size: buttons only
};

struct TOptionEntry {
    const char* Name; // caption key, and the controls "cb_" + name, "c_" + name
    const char* Key;  // in the settings file; nullptr: not stored
    TOptionKind Kind;
};
inline constexpr int32_t OptionCount = 27;
enum TOptionItem : int32_t {
    OptionDifficultyLevel = 2,
    OptionMusicVolume = 3,
    OptionVolumeEffects = 4,
    OptionShadowsResolution = 17,
    OptionTextureQuality = 18,
    OptionInterfaceSize = 19,
    OptionAutoSave = 20,
    OptionCascadeBattle = 21,
    OptionUseTutorial = 22,
    OptionIndividualSort = 23,
    OptionTimeLiturgia = 24,
    OptionActionNum = 26,
};
extern const TOptionEntry OptionTable[OptionCount];

// One value per option item (booleans 0 or 1; the interface size 0).
struct TOptionSettings {
    int32_t Values[OptionCount] = {};
};
extern TOptionSettings CurrentSettings; // as read, then as shown and changed in the window
extern TOptionSettings AppliedSettings; // last read or applied

// The options' globals. The difficulty is the one the screen kit remembers;
// CascadeBattle is the battle's AnimationWait and IndividualSort the
// inventory's SortByUsability.
inline int32_t& DifficultyLevel = OptionsDifficulty;
extern int32_t MusicVolume;
extern int32_t VolumeEffects;
extern uint8_t AutoSave;
extern uint8_t UseTutorial;
extern uint8_t TimeLiturgia; // the map panels' liturgy time display

// One option's value as read from the current section, clamped to its
// range, with the table's default for a missing key.
int32_t ReadOptionValue(TIniFile& ini, const TOptionEntry& entry);
// The value a held shadows or texture button stands for (b_SQ1..3,
// b_TQ1..3): 1024, 2048, 4096.
int32_t QualityButtonValue(int32_t button);
// Which of the three buttons a value holds: shadows 1, 2, 3 or their sizes;
// textures 1024, 2048, 4096; anything else the middle one for shadows and
// the first for textures.
int32_t ShadowsButtonFor(int32_t value);
int32_t TextureButtonFor(int32_t value);

// Reads every option but the interface size into CurrentSettings and the
// globals, and shows it in the window's control when the window exists.
void ReadSettings();
// ReadSettings, then every value shown in the window (difficulty pressed,
// quality buttons held), the applied copy taken and the volumes applied.
void OptionsScreen_LoadSettings();
void OptionsScreen_Create();
void OptionsScreen_WindowHandler(int32_t state, TGUI_Window* window);
void OptionsScreen_Apply(TGUI_Object* object);
void OptionsScreen_Cancel(TGUI_Object* object);
void OptionsScreen_SetDifficulty(int32_t level);
void OptionsScreen_ShowPage(int32_t page);
// The applied volumes to the sound channels.
void ApplyVolumeSettings();
// The map screen, when it lies under the window, puts itself back on its
// scene when the window closes (nullptr: nothing to restore).
extern void (*OptionsScreen_RestoreMap)();
// Back to the state before OptionsScreen_Create (tests; the program's end).
void OptionsScreen_Free();

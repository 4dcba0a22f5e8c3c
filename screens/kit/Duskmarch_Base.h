// Duskmarch_Base: the services every screen shares: the frame's time, the
// texts in the player's language, the cursor by kind, the landscape behind
// the menus, sprite drawing into the current window's scene, the hook that
// runs after every frame, and the music's volumes and cross-fades. The
// screen kit completes this unit in place; what is here is what the start-up,
// the loading window and the main menu need.
//
// Threads: everything here belongs to the main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_System_Ini.h"

class TGUI_GraphicWindow;
class TGUI_Window;
class TGUI_Object;
class TGUI_CheckBox;

// The cursor shown by GlobalFrameTick: 0 none, 1 normal, 2 loading, 3 battle,
// 4 action, 5 enter, 6 move, 7 inspect, 8 stop. Larger values change nothing.
inline constexpr int32_t CursorKindCount = 8;
extern int32_t CursorKind;
// The sprites of kinds 1..8 (entry 0 unused, -1 before they are loaded).
extern int32_t CursorSprites[CursorKindCount + 1];
// Each kind's picture in "Interface\Common\" and the offset that puts the
// picture's hot spot on the mouse position (entry 0: no picture).
struct TCursorFile {
    const char* Name;
    float X;
    float Y;
};
extern const TCursorFile CursorFiles[CursorKindCount + 1];

// The Global_Language setting in lower case ("eng", "rus", ...).
extern std::string LanguageName;

// Engine milliseconds: false the value sampled for this frame, true a fresh
// reading. Either is kept as the input recorder's time stamp.
int32_t GetFrameTime(bool fresh);
extern int32_t FrameTimeStamp;

// The key's text in the current language from the ini's current section:
// key + LanguageName, + LanguageCode, + LanguageSuffix, then the English
// forms; a key with an empty value counts as missing; none gives "".
std::u16string GetLocalizedText(TIniFile& texts, const std::string& key);

// The landscapes behind the menus, in "Interface\Common\Images\".
inline constexpr int32_t BackgroundCount = 14;
extern const char* const BackgroundNames[BackgroundCount];
extern int32_t BackgroundSprite; // "s_Background" of the window that loaded last
// The picture index 0..13 a draw gives, never `previous` (-1: none before).
int32_t ChooseBackground(int32_t previous);
// Frees oldTexture (> 0), loads a picture other than the last one into the
// window's "s_Background" and returns its texture, or -1 when the picture is
// missing.
int32_t LoadRandomBackground(TGUI_GraphicWindow& window, int32_t oldTexture);

// The background's optional particles (a ".psi" beside the picture).
struct TParticleEffect;
extern TParticleEffect BackgroundEffect;
// Draws the landscape opaque at the top left and advances its particles (at
// the picture's width / 1280, centred on the interface's middle).
void DrawBackground();
// The program's end: the particles' sprites.
void FreeBackgroundEffect();

// Queues the sprite into the 2D list of the active window's scene (alpha -1
// keeps the sprite's colours).
void DrawSpriteAt(int32_t sprite, int32_t x, int32_t y, int32_t alpha);
// Frees a sprite of the main renderer (none when it is below 0) and marks it
// unset.
void FreeSprite(int32_t& sprite);

// A loaded sprite's size in whole pixels; 0 for a missing sprite or renderer.
int32_t SpriteWidth(int32_t sprite);
int32_t SpriteHeight(int32_t sprite);

// The GUI processor's post-frame hook: the cursor sprite by CursorKind, the
// music's refills.
void GlobalFrameTick();
// Updates the shown hints (none exist yet).
void UpdateAllHints();

// Music: on when Music_Enable is set and the run is not in test mode.
extern uint8_t MusicEnabled;
extern int32_t MenuMusic;
extern int32_t CreditsMusic;
extern int32_t CurrentMusic;    // the track playing, 0 none
extern int32_t NextMusicChange; // engine ms of the next random track change
inline constexpr int32_t MusicGroup = 1;
inline constexpr int32_t MusicFadeMs = 2000;
// Volumes 0..1000 of the music and of the effects (clamped).
void ApplySoundVolumes(int32_t musicVolume, int32_t effectsVolume);
// Fades the current track out and the given one in (0: only the fade out).
void CrossFadeMusicTo(int32_t sound);

// ---------------------------------------------------------------------------
// The screen pattern

// Steps every screen's create procedure shares: the graphic window named
// screenName + "_Window" with its handler, drawn into the scene sceneName,
// the "%%" language macro (when languageMacro), the description file
// InterfaceFolder + screenName + ".ini" from the last mod that has it, laid
// out, the console's edit line added, and the text file's "Texts" section
// selected for the captions. The caller binds its controls afterwards.
TGUI_GraphicWindow* CreateScreenWindow(const std::string& screenName, void (*handler)(int32_t, TGUI_Window*),
                                       const std::string& sceneName = "2D", bool languageMacro = true);

// A screen's hot keys: the default key (32 Space or 13 Enter, 0 none) with
// its button, Esc with the cancel button (nullptr none), and the screen's
// one HotkeyHeld flag.
struct TScreenHotkeys {
    int32_t DefaultKey = 0;
    TGUI_Object* DefaultButton = nullptr;
    TGUI_Object* CancelButton = nullptr;
    bool* Held = nullptr;
};
inline constexpr int32_t HotkeyEscape = 27;

// The hot-key rule of one frame: with the flag clear a key down this frame
// presses its button, with the flag set a key released this frame releases
// (clicks) it.
void ApplyScreenHotkeys(const TScreenHotkeys& keys);

// The active frame of a screen in its fixed order: the window draws itself,
// then the screen's own drawing, the hints, the console, the scene's render
// and its presentation, and unless the console is open the hot keys.
void RunScreenActiveFrame(TGUI_Window& window, void (*drawOwn)(), const TScreenHotkeys* keys);
// Renders the scene and shows the back buffer; ScreenBeforePresent (tests:
// the frame's read-back) runs between the two.
void RenderAndPresentScene(int32_t scene);
extern void (*ScreenBeforePresent)();

// Open and close requests (with their telemetry record); an open request
// clears the screen's HotkeyHeld first. False without a window.
bool RequestScreenOpen(TGUI_Window* window, bool* held);
bool RequestScreenClose(TGUI_Window* window);

void PressButtonByHotkey(TGUI_Object& button, bool& held);
void ReleaseButtonByHotkey(TGUI_Object& button, bool& held);
// The check box's click handler sees the value from before the key.
void PressToggleByHotkey(TGUI_CheckBox& box, bool& held);
void ReleaseToggleByHotkey(TGUI_CheckBox& box, bool& held);

// ---------------------------------------------------------------------------
// Texts

// Minutes as "h:mm" (rounded, halves to even); a day or more is prefixed by
// the days, DayCharText and a blank.
std::u16string FormatGameTime(double minutes);
// Cut at the first "#", then blanks and control characters trimmed.
std::u16string StripTextComment(const std::u16string& text);
// Every occurrence of find (any letter case) replaced; the search goes on
// after the inserted text, so a replacement holding find ends. find and
// replacement equal ignoring case, or an empty find: the text unchanged.
std::u16string ReplaceAll(const std::u16string& text, const std::u16string& find, const std::u16string& replacement);
// False when the window has no label of that name.
bool SetWindowLabelText(TGUI_GraphicWindow& window, const std::string& name, const std::u16string& text);
// The name of the running scenario for captions (see the scenario list).
std::u16string GetScenarioDisplayName(const std::u16string& fallback);
// The pure rule behind it: localized (>= 1 char), selected (>= 2), fallback
// (>= 2), else listCaption; a three-letter extension is cut.
std::u16string ChooseScenarioDisplayName(const std::u16string& localized, const std::u16string& selected,
                                         const std::u16string& fallback, const std::u16string& listCaption);
// The screenshot file's name part for a local time:
// "Duskmarch_ScreenShot_YYYY-MM-DD-hhmmssmmmm.tga".
std::string ScreenshotFileName(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                               int32_t millisecond);
// Takes the F11 screenshot into the program folder; false (and one log line)
// when it cannot be written.
bool TakeScreenshot();

// Prints value into a text sprite (created when sprite < 0), with "x2" after
// it for the double-strike weapon kinds.
void SetStackCountLabel(int32_t font, int32_t value, uint8_t weaponKind, int32_t& sprite, int32_t maxWidth);

// ---------------------------------------------------------------------------
// Army, encounters, hire slots, difficulty

// The army-panel slot 0..11 of the player's hero; -1 when no cell of the
// formation holds personage slot 1.
int32_t FindHeroPanelSlot();

// The player's encounters of the frame: n > 0 army n, n < 0 building -n.
extern std::vector<int32_t> EncounterList;
void AddEncounter(int32_t entry);
bool CompactEncounterList();
bool HasEncounters();

bool IsHireSlotAvailable(int32_t building, int32_t slot, bool countSoldOut);
int32_t CountHireSlots(int32_t building, bool countSoldOut);
// For the building the player's army stands in (0 outside).
int32_t CountPlayerHireSlots(bool countSoldOut);

// 1..4 sets the game's and the options' difficulty; anything else sets the
// game's to 2 and leaves the options' alone.
void SetDifficulty(int32_t level);

// Options and lists of this unit's state block.
extern uint8_t SortByUsability;

// The unit's end: the lists it keeps, the hints, the texts.
void Duskmarch_Base_Finalization();

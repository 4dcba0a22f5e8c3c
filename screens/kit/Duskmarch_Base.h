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

#include "engine/QX9_System_Ini.h"

class TGUI_GraphicWindow;

// The cursor shown by GlobalFrameTick: 0 none, 1 normal, 2 loading, 3 battle,
// 4 action, 5 enter, 6 move, 7 inspect, 8 stop. Larger values change nothing.
inline constexpr int32_t CursorKindCount = 8;
extern int32_t CursorKind;
// The sprites of kinds 1..8 (entry 0 unused, -1 before they are loaded).
extern int32_t CursorSprites[CursorKindCount + 1];

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
inline constexpr int32_t EffectsGroup = 2;
inline constexpr int32_t MusicFadeMs = 2000;
// Volumes 0..1000 of the music and of the effects (clamped).
void ApplySoundVolumes(int32_t musicVolume, int32_t effectsVolume);
// Fades the current track out and the given one in (0: only the fade out).
void CrossFadeMusicTo(int32_t sound);

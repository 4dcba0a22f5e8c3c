// Duskmarch_Credits: the end window. The credits text rises over a burning
// candle with its own music; Space, Esc or a mouse click goes back to the
// main menu. The main menu's credits button and a campaign's end open it.
//
// Threads: ScenarioEndScreen_Create runs on the start-up loader thread; the
// handler on the main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/QX9_Particles.h"

class TGUI_Object;
class TGUI_StringList;
class TGUI_Window;
class TIniFile;

// A credits line's look, by its first character ("$" small, "#" a title).
enum TCreditsStyle : uint8_t { CreditsPlain, CreditsSmall, CreditsTitle };
struct TCreditsLine {
    std::u16string Text; // without its style character
    TCreditsStyle Style = CreditsPlain;
};
inline constexpr int32_t CreditsCapacity = 1000;
inline constexpr int32_t CreditsLeadLines = 41; // empty lines: the text enters from below
inline constexpr int32_t CreditsMsPerPixel = 15;

// The raw lines of section "Main" up to a line "---" (not shown), with their
// styles; at most what the list holds after its lead lines.
std::vector<TCreditsLine> ParseCreditsLines(TIniFile& ini);
// "CreditsRus.txt" for Russian, "CreditsEng.txt" for every other language.
std::string CreditsFileName(bool russian);
// The list's scroll offset for the time since the window opened.
int32_t CreditsScrollOffset(int32_t elapsedMs);
// A line's font and colour (ARGB).
int32_t CreditsFont(TCreditsStyle style);
uint32_t CreditsColour(TCreditsStyle style);

extern TGUI_StringList* CreditsList;
extern int32_t CreditsStartTime;
extern TParticleEffect CreditsCandle;

void ScenarioEndScreen_Create();
void ScenarioEndScreen_WindowHandler(int32_t state, TGUI_Window* window);
void ScenarioEndScreen_Close();
// Back to the state before ScenarioEndScreen_Create (tests; the end).
void ScenarioEndScreen_Free();

// Duskmarch_SelectHero: the hero selection after the scenario selection (or,
// for the tutorial prologue, straight after the main menu): one of the heroes
// the scenario allows, one of six coats of arms for that hero, and a name.
//
// Threads: SelectHeroScreen_Create runs on the start-up loader thread; the
// rest belongs to the main thread.
#pragma once

#include <cstdint>
#include <string>

class TGUI_GraphicWindow;
class TGUI_Object;
class TGUI_Window;

extern int32_t HeroIndex; // 0 none, 1 knight, 2 baroness, 3 mystic
extern int32_t CoatIndex; // 1..6, kept across openings
// The coat the world set-up gives the player: the model's chosen coat.
extern int32_t& PlayerCoat;
// Coat numbers by hero 1..3 and coat 1..6 (row and column 0 unused).
extern const int32_t HeroCoats[4][7];
extern TGUI_GraphicWindow* SelectHeroWindow;
// The hero window was reached through the scenario selection (else through
// the main menu's tutorial route): where Back goes.
extern bool HeroReachedFromSelection;

// The hero kind the world set-up takes for a hero index (0 for none).
int32_t HeroKindOf(int32_t heroIndex);
int32_t HeroCoatOf(int32_t heroIndex, int32_t coatIndex);
int32_t PreviousCoatIndex(int32_t coatIndex);
int32_t NextCoatIndex(int32_t coatIndex);
// The first hero the header allows, in the order knight, baroness, mystic; 0 none.
int32_t FirstAvailableHero(bool knight, bool baroness, bool mystic);
// The scenario folder a list entry's folder gives: relative to the game
// folder, without its trailing "Scenarios\", "\" when nothing is left; at
// most 64 characters.
std::string ScenarioFolderOf(const std::string& entryFolder, const std::string& gameFolder);

void SelectHeroScreen_SelectHero(TGUI_Object* button);
void SelectHeroScreen_KeepSelection(TGUI_Object* button);
void SelectHeroScreen_PrevCoat(TGUI_Object* object);
void SelectHeroScreen_NextCoat(TGUI_Object* object);
// False (nothing posted) without a hero.
bool SelectHeroScreen_AcceptChoice();
void SelectHeroScreen_Accept(TGUI_Object* object);
void SelectHeroScreen_Back(TGUI_Object* object);
// The hero window's open: the chosen scenario's header read, the buttons of
// its heroes shown and the first one selected. False when the header can't
// be read (no hero then).
bool SelectHeroScreen_Prepare();

void SelectHeroScreen_Create();
void SelectHeroScreen_WindowHandler(int32_t state, TGUI_Window* window);

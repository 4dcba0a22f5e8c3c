// The companions panel: the non-combatant followers the player's army carries
// as items of the main type NPC, shown as a row of up to nine small portraits
// with their names in the map window. Hovering a portrait names it in the
// main hint; the map's button opens the panel and the panel's button closes
// it. One panel exists, AdditionalPersonage; it keeps no game state and is
// rebuilt from the player's army on every refresh.
//
// The window declares "s_Companion1".."s_Companion9" (the portraits'
// anchors), "b_Companions" (the open button) and "frame" (the panel's frame).
//
// Threads: built on the start-up loader's thread; used on the main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TGUI_Object;
class TGUI_StringList;
class TGUI_GraphicWindow;

inline constexpr int32_t CompanionSlots = 9;

struct TAdditionalPersonage {
    std::vector<TGUI_Object*> Portraits;
    std::vector<TGUI_StringList*> NameLists;
    std::vector<std::u16string> Names;
    TGUI_GraphicWindow* Window = nullptr;

    void Create(TGUI_GraphicWindow* window);
    void Refresh();
    void HideAll();
    // The objects out of the window and freed (the unit's end; tests).
    void Destroy();
};
extern TAdditionalPersonage AdditionalPersonage;

// The NPC items of the player's army in carried order, at most nine.
std::vector<int32_t> CollectCompanions();

void CompanionHint(TGUI_Object* portrait);
void ShowCompanionsPanel(TGUI_Object* button);
void HideCompanionsPanel(TGUI_Object* button);

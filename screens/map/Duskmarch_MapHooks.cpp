#include "screens/map/Duskmarch_MapHooks.h"

#include <cstdio>

#include "model/ai/AIMain_Encounters.h"
#include "model/ai/AIMain_PlayerBattle.h"
#include "model/world/World_Tables.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/map/Duskmarch_Map.h"

TMapScreenHooks MapScreenHooks;
std::vector<std::string> MapSaveRequests;
int32_t BattleEnemyArmy = 0;
uint8_t BattleIsAssault = 0;

namespace {

void NotYet(const char* what)
{
    std::fprintf(stderr, "Map: %s is not built yet\n", what);
}

// Until the battle screens exist the player's battle is fought headless and
// the map stays: every party left in the list is fought in turn.
void StandInBattle()
{
    MapFrozen = 0;
    MetArmies.clear();
    AddMetArmy(BattleEnemyArmy);
    for (int32_t entry : EncounterList)
        if (entry != 0 && entry != BattleEnemyArmy)
            AddMetArmy(entry);
    EncounterList.clear();
    FightMetArmies(PlayerArmy, HeadlessPlayerBattle);
    MapBattlesFought++;
    AssaultParams = NoAssaultParams;
    BattleEnemyArmy = 0;
}

} // namespace

void MapHook_AssaultScreen_Open()
{
    if (MapScreenHooks.AssaultScreen_Open != nullptr)
        MapScreenHooks.AssaultScreen_Open();
    else
        StandInBattle();
}

void MapHook_BattleLoading_Open()
{
    if (MapScreenHooks.BattleLoading_Open != nullptr)
        MapScreenHooks.BattleLoading_Open();
    else
        StandInBattle();
}

#define DM_MAP_HOOK0(name)                   \
    void MapHook_##name()                    \
    {                                        \
        if (MapScreenHooks.name != nullptr)  \
            MapScreenHooks.name();           \
        else                                 \
            NotYet(#name);                   \
    }
DM_MAP_HOOK0(MapMenuScreen_Open)
DM_MAP_HOOK0(JournalScreen_Open)
DM_MAP_HOOK0(TentScreen_Open)
#undef DM_MAP_HOOK0

void MapHook_BuildingScreen_Open(int32_t building)
{
    if (MapScreenHooks.BuildingScreen_Open != nullptr)
        MapScreenHooks.BuildingScreen_Open(building);
    else
        NotYet("BuildingScreen_Open");
}

void MapHook_TutorialsScreen_Open(int32_t page)
{
    if (MapScreenHooks.TutorialsScreen_Open != nullptr)
        MapScreenHooks.TutorialsScreen_Open(page);
    else
        NotYet("TutorialsScreen_Open");
}

// Called every frame: silent until installed.
void MapHook_RunMapScript()
{
    if (MapScreenHooks.RunMapScript != nullptr)
        MapScreenHooks.RunMapScript();
    else
        RunMapScript();
}

void MapHook_DrawMapScriptEffects()
{
    if (MapScreenHooks.DrawMapScriptEffects != nullptr)
        MapScreenHooks.DrawMapScriptEffects();
    else
        DrawMapScriptEffects();
}

void MapHook_ResetMapScript()
{
    if (MapScreenHooks.ResetMapScript != nullptr)
        MapScreenHooks.ResetMapScript();
    else
        ResetMapScript();
}

void MapHook_DrawMiniMap()
{
    if (MapScreenHooks.DrawMiniMap != nullptr)
        MapScreenHooks.DrawMiniMap();
}

bool MapHook_HasNewQuests()
{
    return MapScreenHooks.HasNewQuests != nullptr && MapScreenHooks.HasNewQuests();
}

bool MapHook_SaveWriterBusy()
{
    return MapScreenHooks.SaveWriterBusy != nullptr && MapScreenHooks.SaveWriterBusy();
}

void MapHook_SaveGame(const std::string& name)
{
    if (MapScreenHooks.SaveGame != nullptr)
        MapScreenHooks.SaveGame(name);
    else
        MapSaveRequests.push_back("save " + name);
}

void MapHook_Autosave()
{
    if (MapScreenHooks.Autosave != nullptr)
        MapScreenHooks.Autosave();
    else
        MapSaveRequests.push_back("autosave");
}

void MapHook_PrivateSaves(std::vector<std::string>& displayNames, std::vector<std::string>& fileNames)
{
    displayNames.clear();
    fileNames.clear();
    if (MapScreenHooks.PrivateSaves != nullptr)
        MapScreenHooks.PrivateSaves(displayNames, fileNames);
}

void MapHook_LoadGame(const std::string& fileName)
{
    if (MapScreenHooks.LoadGame != nullptr)
        MapScreenHooks.LoadGame(fileName);
    else
        MapSaveRequests.push_back("load " + fileName);
}

void ResetMapScreenHooks()
{
    MapScreenHooks = TMapScreenHooks{};
    MapSaveRequests.clear();
    ResetMapScript();
    CurrentStoryEvent = 0;
    EncounterPending = 0;
    BattleEnemyArmy = 0;
    BattleIsAssault = 0;
}

#include "screens/map/Duskmarch_MapWiring.h"

#include "engine/QX9_System_Ini.h"
#include "model/save/SavedGame.h"
#include "screens/front/Duskmarch_Tutorials.h"
#include "screens/map/Duskmarch_Event.h"
#include "screens/map/Duskmarch_MapHooks.h"
#include "screens/map/Duskmarch_MapMenu.h"
#include "screens/map/Duskmarch_SavedGames.h"
#include "screens/party/Duskmarch_Building.h"

void InstallMapScreenHooks()
{
    MapScreenHooks.MapMenuScreen_Open = [] { MapMenuScreen_Open(nullptr); };
    MapScreenHooks.TutorialsScreen_Open = [](int32_t) { TutorialsScreen_Open(nullptr); };
    // The building screen opens over the building the player's army stands in.
    MapScreenHooks.BuildingScreen_Open = [](int32_t building) {
        if (IsBuildingEnterable(building))
            BuildingScreen_Open();
    };
    MapScreenHooks.RunMapScript = RunMapScript;
    MapScreenHooks.DrawMapScriptEffects = DrawMapScriptEffects;
    MapScreenHooks.ResetMapScript = ResetMapScript;
    MapScreenHooks.SaveWriterBusy = [] { return SaveWriterState.load(std::memory_order_acquire) != 0; };
    MapScreenHooks.SaveGame = [](const std::string& name) { SaveGame(TIniFile::BytesToWide(name), true, -1); };
    MapScreenHooks.Autosave = Autosave;
    MapScreenHooks.LoadGame = LoadGame;
    InstallEventScreen();
}

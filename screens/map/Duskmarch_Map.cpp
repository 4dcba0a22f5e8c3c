#include "screens/map/Duskmarch_Map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/ai/AIMain_Encounters.h"
#include "model/ai/AIMain_PlayerBattle.h"
#include "model/ai/AIMain_Strategy.h"
#include "model/ai/AIMain_Targets.h"
#include "model/ai/AIMain_Walking.h"
#include "model/ai/AIMain_Buildings.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Frame.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_Pipeline.h"
#include "scenes/Landscape_Placement.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/map/Duskmarch_MapHooks.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_Replay.h"
#include "model/save/SavedGame.h"
#include "model/Support.h"
#include "model/ai/AIMain_Movement.h"

TGUI_GraphicWindow* MapWindow = nullptr;
uint8_t ClockStepActive = 0;
uint8_t PickState = 3;
uint8_t WasWalking = 0;
TMapClick MapClick;
int32_t HoveredPickId = 0;
int32_t TargetBuilding = 0;
TVec3 TargetPosition{0, 0, 0};
int32_t RouteRequest = 0;
uint8_t EventCheckRequest = 0;
int32_t ClockRun = 0;
int32_t LastFrameTime = 0;
int32_t FrameElapsed = 0;
int32_t AutosaveInterval = 120;
int64_t LastAutosaveClock = 0;
int32_t MapBattlesFought = 0;

namespace {

constexpr int32_t KeyF1 = 0x70, KeyF5 = 0x74, KeyF8 = 0x77;
constexpr size_t SaveNameLimit = 58;

bool PlayerWalking()
{
    return PlayerArmy < static_cast<int32_t>(ArmyTrackers.size()) && ArmyHasPath(PlayerArmy);
}

// The encounter values of the player's army that the frame keeps for its end.
TAssaultParams SavedAssault{};
bool AssaultSaved = false;

void ApplyRouteRequest()
{
    if (RouteRequest == 1)
        VisualArmyPath_Show(PlayerArmy);
    else if (RouteRequest == 2)
        VisualArmyPath_Hide();
    RouteRequest = 0;
}

// Fills the render worker's place: the MAP scene rendered now, with the
// picking passes when they are due, and the pick copies taken.
void RenderMapInline()
{
    T3D_Scene* scene = MapScene();
    if (scene == nullptr || MainRender == nullptr)
        return;
    const bool picking = PickState == 3;
    if (picking) {
        scene->EnablePass("CP_XYZ", 1);
        scene->EnablePass("CP_INDEX", 1);
    }
    UpdateMapShadowCascades(false);
    SetMapTime(GetFrameTime(false));
    UpdateMapLighting();
    scene->UpdateAttachments();
    scene->Render(false);
    if (picking) {
        scene->EnablePass("CP_XYZ", 0);
        scene->EnablePass("CP_INDEX", 0);
        PickState = 4;
    }
}

void ReadPick()
{
    if (PickState != 0 || MainRender == nullptr || MapScene() == nullptr)
        return;
    const int32_t s = RenderSettings.PickingSize;
    const int32_t w = std::max(1, RenderSettings.ScreenWidth), h = std::max(1, RenderSettings.ScreenHeight);
    const int32_t x = GUI_Input.ClientX * s / w, y = GUI_Input.ClientY * s / h;
    int32_t id = 0;
    if (x >= 0 && x < s && y >= 0 && y < s) {
        uint16_t index = 0;
        MainRender->Texture_ReadPixel(MapTargets.PickIndexReadBack, x, y, &index);
        id = DecodePickId(index);
        if (id == 0) {
            uint16_t words[4] = {};
            MainRender->Texture_ReadPixel(MapTargets.PickXYZReadBack, x, y, words);
            TVec3 at;
            if (DecodePickPosition(words, at) && IsInsideMap(at)) {
                const int32_t cx = static_cast<int32_t>(std::lround(at.x)), cz = static_cast<int32_t>(std::lround(at.z));
                const TTerrainVertex& v = TerrainVertex(cx, cz);
                if (v.Cover != 0)
                    id = DecodePickId(v.Cover);
                if (id == 0 && v.Cost == 0)
                    CursorKind = 8;
            }
        }
    }
    HoveredPickId = id;
    if (id == 0 || !(InputEnabled || ClicksEnabled))
        return;
    if (id < 3000)
        CursorKind = GetRelation(PlayerArmy, -id, false) < 0 ? 3 : 5;
    else
        CursorKind = GetRelation(PlayerArmy, id - 6000, false) < 0 ? 3 : 4;
}

void ClickOrder()
{
    if (MapClick.Pending == 0)
        return;
    MapResetCameraMotion();
    if (PickState != 0)
        return;
    TVec3 ground{};
    bool haveGround = false;
    if (MainRender != nullptr && MapScene() != nullptr && HoveredPickId == 0) {
        const int32_t s = RenderSettings.PickingSize;
        const int32_t w = std::max(1, RenderSettings.ScreenWidth), h = std::max(1, RenderSettings.ScreenHeight);
        const int32_t x = GUI_Input.ClientX * s / w, y = GUI_Input.ClientY * s / h;
        uint16_t words[4] = {};
        if (x >= 0 && x < s && y >= 0 && y < s) {
            MainRender->Texture_ReadPixel(MapTargets.PickXYZReadBack, x, y, words);
            haveGround = DecodePickPosition(words, ground);
        }
    }
    IssueMapOrder(haveGround ? &ground : nullptr);
    MapClick.Pending = 0;
}

void HotkeysAndSaves()
{
    static bool held = false;
    struct TKey {
        int32_t Key;
        const char* Control;
    };
    static const TKey keys[] = {{'M', "b_Journal"}, {'J', "b_Journal"}, {'Q', "b_Journal"}, {'T', "b_Army"},
                                {'I', "b_Army"},    {'G', "b_Army"},    {0x6D, "b_Minus"},  {0x6B, "b_Plus"},
                                {27, "b_Menu"}};
    if (MapWindow != nullptr && !IsConsoleOpen())
        for (const TKey& k : keys)
            if (TGUI_Object* button = MapWindow->FindObject(k.Control)) {
                if (!held && GUI_Keys[static_cast<size_t>(k.Key)].Down != 0)
                    PressButtonByHotkey(*button, held);
                else if (held && GUI_Keys[static_cast<size_t>(k.Key)].Released != 0)
                    ReleaseButtonByHotkey(*button, held);
            }
    if (GUI_Keys[KeyF5].Released != 0 && !MapHook_SaveWriterBusy()) {
        QuicksaveCounter++;
        MapHook_SaveGame(QuicksaveName(CurrentUserName, QuicksaveCounter));
    }
    if (GameClock - LastAutosaveClock > int64_t{AutosaveInterval} * 10000 && !MapHook_SaveWriterBusy() &&
        MapScriptQueue.empty()) {
        LastAutosaveClock = GameClock;
        MapHook_Autosave();
    }
    if (GUI_Keys[KeyF8].Released != 0 && !MapHook_SaveWriterBusy()) {
        std::vector<std::string> names, files;
        MapHook_PrivateSaves(names, files);
        const int32_t k = FindQuicksave(names, CurrentUserName);
        if (k >= 0 && static_cast<size_t>(k) < files.size())
            MapHook_LoadGame(files[static_cast<size_t>(k)]);
    }
    if (GUI_Keys[KeyF1].Released != 0)
        MapHook_TutorialsScreen_Open(0);
}

class TMapFrameHooks : public TWorldFrameHooks {
public:
    void Encounter(int32_t army) override { MapEncounter(army); }
};
TMapFrameHooks MapFrameHooks;

} // namespace

int64_t MapClockStep(int32_t elapsedMs, int64_t clockTick, bool clockRuns, bool forcedRun)
{
    if (forcedRun)
        return std::llround(static_cast<double>(elapsedMs) / 80.0 / 30000.0 * 1e8);
    if (!clockRuns || clockTick <= 0)
        return 0;
    return std::llround(static_cast<double>(elapsedMs) / static_cast<double>(clockTick) / 30000.0 * 1e12);
}

int64_t ClockFlightStep(TClockFlight& flight, int32_t now, int64_t& gameClock)
{
    int64_t step = 0;
    if (flight.Delta == 10000) {
        flight.Delta = 0;
        flight.On = 0;
        return 10;
    }
    const double progress =
        flight.Duration > 0 ? static_cast<double>(now - flight.Start) / flight.Duration : 1.0;
    step = std::llround(static_cast<double>(flight.Target) - (1.0 - progress) * static_cast<double>(flight.Delta) -
                        static_cast<double>(gameClock));
    if (step < 0)
        step = 10;
    step = std::min<int64_t>(step, 100000);
    if (now - flight.Start >= flight.Duration) {
        step = 10000;
        gameClock = flight.Target - 10000;
    }
    if (gameClock + step >= flight.Target) {
        step = flight.Target - gameClock;
        flight.On = 0;
    }
    return step;
}

int32_t DecodePickId(uint32_t id)
{
    if (id >= 1 && id <= 2999) {
        const int32_t b = static_cast<int32_t>(id);
        if (b <= MapBuildings.Count && MapBuildings[b].Model == NeverPickedModel)
            return 0;
        return b;
    }
    if (id >= 6001 && id <= 8999)
        return static_cast<int32_t>(id);
    return 0;
}

bool DecodePickPosition(const uint16_t words[4], TVec3& position)
{
    if (words[3] == 0)
        return false;
    position = {words[0] * 1024.0f / 65535.0f, words[1] * 1024.0f / 65535.0f, words[2] * 1024.0f / 65535.0f};
    return true;
}

bool IsInsideMap(TVec3& position)
{
    position.y = 0;
    return position.x > 128 && position.x < static_cast<float>(PlayableLimit) && position.z > 128 &&
           position.z < static_cast<float>(PlayableLimit);
}

void IssueMapOrder(const TVec3* ground)
{
    if (PlayerTargetArmy > 0 && static_cast<size_t>(PlayerArmy) < ArmyMoves.size() &&
        static_cast<size_t>(PlayerTargetArmy) < ArmyMoves[PlayerArmy].size())
        ArmyMoves[PlayerArmy][static_cast<size_t>(PlayerTargetArmy)].IsTarget = 0;
    PlayerTargetArmy = 0;
    TargetBuilding = 0;
    TVec3 position{};
    bool have = false, blocked = false;
    if (HoveredPickId >= 6001 && HoveredPickId <= 8999) {
        const int32_t a = HoveredPickId - 6000;
        if (a <= ArmyCount) {
            PlayerTargetArmy = a;
            const TGameArmy& army = GameArmies[static_cast<size_t>(a)];
            position = {army.Pos[0], army.Pos[1], army.Pos[2]};
            have = true;
        }
    } else if (HoveredPickId >= 1 && HoveredPickId <= 2999 && HoveredPickId <= MapBuildings.Count) {
        const TMapBuilding& b = MapBuildings[HoveredPickId];
        if (b.Model != NeverPickedModel) {
            TargetBuilding = HoveredPickId;
            position = {b.Pos[0], b.Pos[1], b.Pos[2]};
            blocked = b.Closed != 0;
            have = true;
        }
    } else if (ground != nullptr) {
        position = *ground;
        have = true;
    }
    if (!have || blocked || !IsInsideMap(position))
        return;
    TargetPosition = position;
    PlayerTargetCell = {static_cast<uint16_t>(std::lround(position.x)), static_cast<uint16_t>(std::lround(position.z))};
    const TGameArmy& player = GameArmies[PlayerArmy];
    if (TargetBuilding != 0 && TargetBuilding == player.Building)
        return;
    const bool walkable = TerrainVertex(PlayerTargetCell.X, PlayerTargetCell.Z).Cost != 0;
    if (!walkable && TargetBuilding == 0 && PlayerTargetArmy == 0)
        return;
    if (AI_PlanRoute(PlayerArmy)) {
        StartPathStep(PlayerArmy, false);
        VisualArmyPath_Show(PlayerArmy);
    } else {
        VisualArmyPath_Hide();
    }
}

void MapEncounter(int32_t army)
{
    const TEncounterKind kind = RunEncounterStep(army, true);
    const auto metPlayer = [] {
        return std::find(MetArmies.begin(), MetArmies.end(), PlayerArmy) != MetArmies.end();
    };
    const int k = static_cast<int>(kind);
    if (k < 3 || k > 6 || MetArmies.empty())
        return;
    if (army == PlayerArmy) {
        EncounterList.assign(MetArmies.begin(), MetArmies.end());
        SavedAssault = AssaultParams;
        AssaultSaved = true;
        BattleIsAssault = k >= 4 ? 1 : 0;
    } else if (metPlayer()) {
        AddEncounter(army);
        SavedAssault = AssaultParams;
        AssaultSaved = true;
    }
}

void StopPlayerArmy(uint8_t freeze)
{
    MapClick.Pending = 0;
    if (static_cast<size_t>(PlayerArmy) < ArmyTrackers.size() && ArmyHasPath(PlayerArmy))
        ArmyTrackers[PlayerArmy].ResetPath(CellOfArmy(GameArmies[PlayerArmy]));
    PlayerTargetCell = GameArmies.empty() ? TCellXZ{} : GameArmies[PlayerArmy].Cell;
    VisualArmyPath_Hide();
    EndScriptedMarch();
    if (freeze != 0) {
        PickState = 3;
        ClockRun = 0;
        MapFrozen = 1;
    } else {
        PickState = 2;
    }
}

bool ProcessPlayerEncounters()
{
    EncounterPending = 0;
    BattleEnemyArmy = 0;
    int32_t capture = 0;
    for (int32_t& entry : EncounterList) {
        if (entry < 0) {
            const int32_t b = -entry;
            const int32_t garrison = GetGarrisonArmyIndex(b);
            if (garrison > 0 && static_cast<size_t>(garrison) < GameArmies.size() &&
                GameArmies[static_cast<size_t>(garrison)].AbleCount > 0) {
                BattleEnemyArmy = garrison;
                break;
            }
            capture = b;
            entry = 0;
        } else if (entry > 0) {
            BattleEnemyArmy = entry;
            break;
        }
    }
    if (BattleEnemyArmy == 0 && capture != 0)
        CaptureBuilding(PlayerArmy, capture, 0);
    CompactEncounterList();
    if (BattleEnemyArmy == 0)
        return false;
    MapResetCameraMotion();
    StopPlayerArmy(1);
    if (AssaultParams.Attacker == PlayerArmy && AssaultParams.DefenceFire != 0)
        MapHook_AssaultScreen_Open();
    else
        MapHook_BattleLoading_Open();
    return true;
}

bool CheckBuildingArrival(int32_t building, uint8_t& result)
{
    result = 0;
    if (building == 0)
        return false;
    if (building > 0 && building <= BuildingCount && GameBuildings[static_cast<size_t>(building)].OwnerArmy >= 0 &&
        GetRelation(PlayerArmy, -building, false) < 0) {
        const int32_t garrison = GetGarrisonArmyIndex(building);
        if (garrison > 0 && static_cast<size_t>(garrison) < GameArmies.size()) {
            UpdateArmyTotals(garrison);
            if (GameArmies[static_cast<size_t>(garrison)].AbleCount > 0) {
                result = 2;
                return true;
            }
        }
    }
    if (building > 0 && building == TargetBuilding) {
        result = 1;
        return true;
    }
    return false;
}

std::string QuicksaveName(const std::string& userName, int32_t counter)
{
    char number[16];
    std::snprintf(number, sizeof number, " %03d", counter);
    const std::string suffix = std::string(number) + " (quicksave)";
    const size_t room = SaveNameLimit > suffix.size() ? SaveNameLimit - suffix.size() : 0;
    return userName.substr(0, room) + suffix;
}

int32_t FindQuicksave(const std::vector<std::string>& displayNames, const std::string& userName)
{
    const std::string cut = QuicksaveName(userName, 0);
    const std::string name = cut.substr(0, cut.size() - std::string(" 000 (quicksave)").size());
    for (int32_t k = static_cast<int32_t>(displayNames.size()) - 1; k >= 0; --k) {
        const std::string& n = displayNames[static_cast<size_t>(k)];
        if (n.find(name) != std::string::npos && n.find("(quicksave)") != std::string::npos)
            return k;
    }
    return -1;
}

void RunMapWorldStep(int32_t elapsedMs)
{
    FrameElapsed = elapsedMs;
    const bool forced = (!MapScriptQueue.empty() && MapScriptQueue.front().Kind == MapScriptMarch) || ForcedRun != 0;
    int64_t step = MapClockStep(elapsedMs, ClockTick, ClockRun != 0, forced);
    uint8_t approach = ClockRun != 0 ? 1 : 0;
    bool moveArmies = true;
    if (!forced && ClockFlight.On != 0) {
        approach = 0;
        step = ClockFlightStep(ClockFlight, GetFrameTime(false), GameClock);
        moveArmies = step < 100000;
    }
    AssaultSaved = false;
    SetWorldFrameHooks(&MapFrameHooks);
    const int32_t replansBefore = ReplanQueue.Queued;
    RunWorldFrame(step, !moveArmies, approach);
    SetWorldFrameHooks(nullptr);
    if (replansBefore > 0 && PlayerWalking())
        RouteRequest = 1;
    if (!EncounterList.empty() && AssaultSaved)
        AssaultParams = SavedAssault;
    if (ClockRun != 0) {
        ApplyRouteRequest();
        UpdateDaylight(GameClock);
        UpdateClockLabels();
        UpdateMapResourcePanel();
        if (MetPlayerArmy > 0) {
            EventCheckRequest = 1;
            if (MetPlayerArmy == PlayerTargetArmy)
                StopPlayerArmy(0);
        }
    }
    if (PlayerWalking()) {
        VisualArmyPath_UpdateProgress(PlayerArmy);
        FollowArmyWithCamera(PlayerArmy);
        PickState = 1;
        WasWalking = 1;
        ClockRun = LastFrameTime;
        EventCheckRequest = 1;
    } else {
        VisualArmyPath_Hide();
        if (Paused != 0 && ClockFlight.On == 0 && ForcedRun == 0)
            ClockRun = 0;
        else {
            ClockRun = LastFrameTime;
            EventCheckRequest = 1;
        }
        if (WasWalking != 0)
            PickState = 2;
        WasWalking = 0;
    }
    if (!PlayerWalking() && Rotating == 0 && Zooming == 0 && PickState == 2)
        PickState = 3;
    AnimateMapObjects(GetFrameTime(false));
    MapRefreshScene();
}

void MapScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    switch (state) {
    case GUI_STATE_OPEN:
        CursorKind = 1;
        break;
    case GUI_STATE_ACTIVE: {
        MapHook_RunMapScript();
        DrawMapOverlay();
        const bool scriptDrivesClock = MapScriptDrivesClock();
        UpdateConsole();
        if (PickState == 4 && MainRender != nullptr && MapScene() != nullptr) {
            MainRender->Texture_CopyRenderTarget(MapTargets.PickIndex, MapTargets.PickIndexReadBack);
            MainRender->Texture_CopyRenderTarget(MapTargets.PickXYZ, MapTargets.PickXYZReadBack);
            PickState = 0;
        }
        const bool live = MapFrozen == 0 && (MapScriptQueue.empty() || scriptDrivesClock);
        if (live) {
            if (EventCheckRequest != 0) {
                EventCheckRequest = 0;
                EventScreen_OpenNextEvent();
            }
            bool skip = false;
            if (!(CurrentStoryEvent != 0 && EncounterPending == 0)) {
                if (HasEncounters() && ProcessPlayerEncounters())
                    skip = true;
                uint8_t result = 0;
                if (!skip && !GameArmies.empty() && GameArmies[PlayerArmy].Building == TargetBuilding &&
                    CheckBuildingArrival(TargetBuilding, result)) {
                    if (result == 1)
                        MapHook_BuildingScreen_Open(TargetBuilding);
                    TargetBuilding = 0;
                    skip = true;
                }
                if (!skip && InputEnabled != 0)
                    HotkeysAndSaves();
            }
        }
        ClockStepActive = live ? 1 : 0;
        const int32_t now = GetFrameTime(true);
        if (ClockStepActive != 0) {
            CursorKind = 1;
            UpdateMapCameraZoom(now);
            if (GUI_Keys[GUI_KEY_RBUTTON].Down != 0 && Rotating != 0)
                RotateMapCamera(GUI_Input.VirtualX, GUI_Input.VirtualY, GUIVirtualSize.Width);
            else
                Rotating = 0;
            if (GUI_Input.Wheel != 0)
                ZoomMapCamera(GUI_Input.Wheel, now);
            ReadPick();
            ClickOrder();
        }
        FrameElapsed = now - LastFrameTime;
        LastFrameTime = now;
        window->Draw();
        RenderMapInline();
        // Without the map pipeline the window's own 2D scene is drawn.
        if (MapScene() == nullptr && MainRender != nullptr)
            if (T3D_Scene* scene = MainRender->Scene_Get(window->DrawScene))
                scene->Render(false);
        if (ClockStepActive != 0)
            RunMapWorldStep(FrameElapsed);
        Replay_BeforePresent();
        if (ScreenBeforePresent != nullptr)
            ScreenBeforePresent();
        if (MainRender != nullptr)
            if (IDirect3DDevice9* device = MainRender->Device)
                device->Present(nullptr, nullptr, nullptr, nullptr);
        break;
    }
    case GUI_STATE_INACTIVE:
        break;
    case GUI_STATE_CLOSE:
        // A new scenario's start save goes with the map while nothing was saved
        // from the save window (kept as the game has always done it).
        if (SaveCounter < 1 && !StartSaveName.empty())
            std::remove((SavesFolder + StartSaveName + ".startscenario").c_str());
        break;
    default:
        break;
    }
}

void MapScreen_LeftPress(TGUI_Object*)
{
    if (ClicksEnabled == 0)
        return;
    if (PlayerWalking()) {
        const int32_t b = GameArmies[PlayerArmy].Building;
        if (!(b > 0 && b <= MapBuildings.Count && MapBuildings[b].Closed != 0))
            StopPlayerArmy(0);
        return;
    }
    MapClick = {2, GetFrameTime(true), GUI_Input.VirtualX, GUI_Input.VirtualY};
}

void MapScreen_RightPress(TGUI_Object*)
{
    StartMapCameraRotation(GUI_Input.VirtualX, GUI_Input.VirtualY);
    PickState = 2;
}

void MapScreen_Reset()
{
    MapResetCameraMotion();
    Rotating = 0;
    PickState = 3;
    ClampMapCamera();
    MapClick = TMapClick{};
    EncounterList.clear();
    if (!GameArmies.empty())
        GameArmies[PlayerArmy].Hidden = 0;
    EventCheckRequest = 1;
    UpdateDaylight(GameClock);
    MapRefreshScene();
    ShownMinute = -1;
    ShownDay = -1;
    ClockRun = 0;
    SetMapPause(1);
    UpdateClockLabels();
    UpdateMapResourcePanel();
    SetGameSpeed(1);
    MapHook_ResetMapScript();
    LastAutosaveClock = GameClock;
    BattleIsAssault = 0;
}

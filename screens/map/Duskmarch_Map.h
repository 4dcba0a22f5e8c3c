// Duskmarch_Map: the strategic map screen. Every live frame it steps the
// script queue, draws the overlay, reads the pick results, turns a click into
// a march order, advances the clock through the world frame, hands the
// player's encounters to the battle screens and shows the route, the clock
// and the resources. The map scene is drawn inline at the frame's render
// step (the render worker's place), which gives the same pictures.
//
// Split by topic: Duskmarch_Map.cpp (frame, picking and orders,
// encounters), Duskmarch_Map_Panels.cpp (window, pause, speed, labels,
// overlay), Duskmarch_Map_Camera.cpp, Duskmarch_Map_Route.cpp.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_Math.h"
#include "model/save/SavedGame.h" // GameSpeed

class TGUI_Window;
class TGUI_GraphicWindow;
class TGUI_Object;

// ---------------------------------------------------------------------------
// State

extern TGUI_GraphicWindow* MapWindow;
extern uint8_t ClockStepActive;
// 0 valid, 1 walking, 2 settling, 3 picking passes to draw, 4 drawn.
extern uint8_t PickState;
extern uint8_t WasWalking;
struct TMapClick {
    uint8_t Pending = 0; // 2: a left click waits for valid pick results
    int32_t Time = 0;
    int32_t X = -1;
    int32_t Y = -1;
};
extern TMapClick MapClick;
extern int32_t HoveredPickId;
extern int32_t TargetBuilding;
extern TVec3 TargetPosition;
extern int32_t RouteRequest; // 0 none, 1 show, 2 hide
extern uint8_t EventCheckRequest;
extern int32_t ClockRun;
extern int32_t LastFrameTime;
extern int32_t FrameElapsed;
extern uint8_t Paused;

extern int64_t ClockTick;
extern int32_t QuicksaveCounter;
extern int32_t AutosaveInterval; // game minutes
extern int64_t LastAutosaveClock;
extern int32_t ShownMinute;
extern int32_t ShownDay;
extern int32_t MapBattlesFought; // the stand-in's battles (tests)

// ---------------------------------------------------------------------------
// Clock

// The clock step of a live frame: 0 when the clock stands, the game speed's
// rate, or speed 1's rate for a forced run.
int64_t MapClockStep(int32_t elapsedMs, int64_t clockTick, bool clockRuns, bool forcedRun);
// One step of a clock flight at engine time now; ends the flight when it
// arrives (and may set the clock to T - 10000 when its time is up).
struct TClockFlight;
int64_t ClockFlightStep(TClockFlight& flight, int32_t now, int64_t& gameClock);

// ---------------------------------------------------------------------------
// Picking

inline constexpr int32_t NeverPickedModel = 31;
// A pick id of the index pass: 1..2999 a building, 6001..8999 an army;
// anything else, and a building of model 31, gives 0.
int32_t DecodePickId(uint32_t id);
// The ground position of the XYZ pass's four words; false when the fourth
// is 0.
bool DecodePickPosition(const uint16_t words[4], TVec3& position);
// True inside 128 < x, z < PlayableLimit; y := 0 in every case.
bool IsInsideMap(TVec3& position);
// The click order of a valid pick (HoveredPickId or the ground position).
void IssueMapOrder(const TVec3* ground);

// ---------------------------------------------------------------------------
// Frame, presses, encounters

void MapScreen_WindowHandler(int32_t state, TGUI_Window* window);
void MapScreen_LeftPress(TGUI_Object* object);
void MapScreen_RightPress(TGUI_Object* object);
void StopPlayerArmy(uint8_t freeze);
bool ProcessPlayerEncounters();
bool CheckBuildingArrival(int32_t building, uint8_t& result);
void MapScreen_Reset();
// The world frame's encounter step for army as the map screen takes it.
void MapEncounter(int32_t army);
// Steps 9 and 11..13 of a live frame without the window (tests, benchmark).
void RunMapWorldStep(int32_t elapsedMs);
// The quicksave's name: the user name cut so that " NNN (quicksave)" fits 58.
std::string QuicksaveName(const std::string& userName, int32_t counter);
// The newest own quicksave of the user (from the end); -1 none.
int32_t FindQuicksave(const std::vector<std::string>& displayNames, const std::string& userName);

// ---------------------------------------------------------------------------
// Panels

void MapScreen_Create();
void SetMapPause(uint8_t paused);
void SetGameSpeed(float speed);
std::u16string FormatClockTime(int32_t minute);
std::u16string FormatClockOrHour(int32_t minute, bool canonical);
std::u16string MapDateText(int32_t day);
void UpdateClockLabels();
void UpdateMapResourcePanel();
int32_t LabelAlpha(int32_t max, int32_t x, int32_t ex, int32_t ey, int32_t y, int32_t width, int32_t height);
// "Over_Title_1".."_4" by the plate's width.
int32_t PlateBackgroundNumber(int32_t width);
void BuildBuildingLabels();
void DrawMapOverlay();
void MapRefreshScene();

// ---------------------------------------------------------------------------
// Camera

extern float CameraHeightOffset;
extern uint8_t Rotating;
extern uint8_t Zooming;
extern float ZoomTarget, ZoomStart;
extern int32_t ZoomStartTime, ZoomEndTime;
extern uint8_t CameraClamped;
void MapResetCameraMotion();
void ClampMapCamera();
void UpdateMapCameraZoom(int32_t now);
void ZoomMapCamera(int32_t wheel, int32_t now);
void RotateMapCamera(int32_t mouseX, int32_t mouseY, int32_t screenWidth);
void StartMapCameraRotation(int32_t mouseX, int32_t mouseY);
void FollowArmyWithCamera(int32_t army);
void SetCameraHeightOffset();

// ---------------------------------------------------------------------------
// Route

struct TVisualPathPoint {
    float X, Z, Cos, Sin;
};
struct TVisualArmyPath {
    int32_t Mesh = -1;
    int32_t Instance = -1;
    int32_t IndicesPerPoint = 0;
    int32_t Progress = 0;
    std::vector<TVisualPathPoint> Points;
};
extern TVisualArmyPath ArmyPath;
// Points every total / rint(total / 2.5) along the waypoints, at the middle
// of each stretch, each turned towards the next.
void ComputeRoutePoints(const std::vector<TVec2>& waypoints, std::vector<TVisualPathPoint>& points);
void VisualArmyPath_Init();
void VisualArmyPath_Show(int32_t army);
void VisualArmyPath_UpdateProgress(int32_t army);
void VisualArmyPath_Hide();

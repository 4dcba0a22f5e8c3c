// Duskmarch_GameLoading: the worker that brings every game onto the map (a
// saved game, the chosen scenario, or the next scenario of a campaign with
// the hero carried over) and the two windows that run it with their bars.
//
// Threads: GameLoadingThread runs on its own thread while the main thread
// draws only the loading window; its renderer calls are deferred uploads the
// window performs. GameLoadingState is shared; everything else is handed
// over by the thread's start and join.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class TGUI_GraphicWindow;
class TGUI_Window;

// 0 not started, 1 running, 3 finished (the thread), 4 joined (the window).
extern std::atomic<int32_t> GameLoadingState;
extern int32_t ScenarioLoadExpected;
// The expectation of the scenario in memory, which a save of it reuses.
extern int32_t LoadedScenarioExpected;
extern std::string PendingSave;       // relative to SavesFolder; empty for a new game
extern uint8_t CampaignTransfer;      // the campaign goes on with NextScenarioName
extern std::string NextScenarioName;
extern std::string LoadedScenarioName; // the scenario file whose map is in memory
// The worker's outcome: whether the world was loaded.
extern bool GameLoaded;

extern TGUI_GraphicWindow* ScenarioLoadingWindow;
extern TGUI_GraphicWindow* TransferWindow;
extern TGUI_Window* ScenarioLoading_Window;
extern TGUI_Window* Transfer_Window;
// The map window's slot: nullptr until the strategic map is built; then the
// loading windows hand over to it, else to the main menu.
extern TGUI_Window* Map_Window;

// The start save's base name: the user name cut to 53 characters when it has
// 54 or more, followed by the clock in milliseconds.
std::string StartSaveBaseName(const std::string& userName, int64_t milliseconds);
std::string StartSaveBaseName(const std::string& userName);
// The bar's pixels: progress x length div expected, at most length; 0 for an
// expectation that is not above 0.
int32_t GameLoadingBarWidth(int32_t progress, int32_t expected, int32_t length);
// The portrait file's base name of a scenario personage: "NotModel" without
// a model; the duke armour and duke names mapped; a name that is not a plain
// file name gives "Empty".
std::string PersonagePortraitName(const std::string& modelName, int32_t equipment);
// The portraits of the scenario's own personage types (the three sizes each)
// from the figure of the type each is based on; the previous scenario's are
// freed.
void LoadScenarioPortraits();
// Frees the portraits LoadScenarioPortraits made (the renderer's end; tests).
void FreeScenarioPortraits();
// The folder of a campaign's next scenario and of a save's scenario:
// ExePath + folder + "Scenarios\" for a folder that is neither empty nor
// "\", else the installation's.
std::string ScenarioFolderPath(const std::string& scenarioFolder);

// The steps after a successful load that other screens own, in their fixed
// order; an empty slot is skipped.
struct TGameLoadingSlot {
    const char* Name;
    void (*Run)();
};
inline constexpr int32_t PostLoadSlotCount = 8;
extern TGameLoadingSlot PostLoadSlots[PostLoadSlotCount];
bool SetPostLoadSlot(const std::string& name, void (*run)());

// The loaded game's speed (0: none).
extern float LoadedGameSpeed;
// The timings of the worker's last run (milliseconds by phase), for the
// benchmark.
inline constexpr size_t MapBuildPhaseCount = 9; // the map build's phases, cleared .. armies
struct TGameLoadingTimes {
    double WriterWait = 0, Header = 0, MapBuild = 0, World = 0, SavedGame = 0, StartSave = 0, SaveWriter = 0,
           MiniMap = 0, PostLoad = 0, Portraits = 0;
    double MapPhases[MapBuildPhaseCount] = {}; // by TMapBuildPhase
};
// The frames a loading window takes for uploads of these costs at this
// budget: each frame performs uploads until their costs reach the budget.
int32_t UploadFramesAtBudget(const std::vector<int32_t>& costs, int32_t budget);
extern TGameLoadingTimes GameLoadingTimes;

void GameLoadingThread();
// Starts the worker; in test mode it is joined at once.
void StartGameLoading(bool testMode);
// The frame's worker steps: start, join, uploads; true when the hand-over is due.
bool GameLoadingFrameStep(bool testMode);
// The hand-over: the map window, or the main menu while it does not exist
// (with the corrupt-file notice when the load failed).
void GameLoadingHandOver(TGUI_Window* loadingWindow);

void ScenarioLoadingScreen_Create();
void ScenarioLoadingScreen_WindowHandler(int32_t state, TGUI_Window* window);
void TransferScreen_Create();
void TransferScreen_WindowHandler(int32_t state, TGUI_Window* window);

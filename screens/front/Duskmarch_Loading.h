// Duskmarch_Loading: the loading window the program opens first, and the
// start-up loader thread behind it. The thread reads the texts and the game
// tables, loads the shared meshes and sprites and builds every screen's
// window while the main thread keeps the window drawn, shows the progress of
// the bytes the device received and performs the uploads the thread queued.
// When the thread has ended and the queue is empty, the main menu opens.
//
// Threads: LoadingScreen_Create and the window handler belong to the main
// thread; StartupLoaderThread runs the loader steps on its own thread (its
// renderer calls are deferred uploads); StartupLoaderState is shared.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/QX9_System_Ini.h"

class TGUI_GraphicWindow;
class TGUI_StringList;
class TGUI_Window;

// 0 not started, 1 running, 3 finished (the thread's last step), 4 finished
// and the thread joined (the window's procedure).
extern std::atomic<int32_t> StartupLoaderState;

// The loading bar: the device's bytes since the window opened against the
// amount measured on an earlier start.
inline constexpr int32_t LoadingBarLength = 230;
inline constexpr int32_t LoadingBarHeight = 15;
inline constexpr int32_t LoadingUploadBudget = 10000000; // bytes a frame
extern int64_t LoadingBaseline;
extern int64_t LoadingExpected;
extern int64_t LoadingBytesProgress;
extern int32_t LoadingBarSprite;
extern int32_t LoadingBarShown; // the pixels the bar shows

// The bar's width for the progress: 0 while nothing arrived or without an
// expectation, else progress / expected of the length, rounded, at most the
// whole length.
int32_t LoadingBarWidth(int64_t progress, int64_t expected);

extern TGUI_GraphicWindow* Loading_Window;
extern TGUI_StringList* LoadingTipList;
extern TIniFile* TextsIni; // "Config\Texts.ini", section "Texts" selected
extern std::u16string MonthNames[12];
extern std::string CurrentUserName;
extern int32_t HintFont;          // the copy of the 15-pixel font the hints draw with
extern int32_t ScreenshotTexture; // back-buffer sized, for the screenshot key
extern int32_t SavingTextSprite;  // the saving indicator's text

// The battle screen's sector directions of the 18 mouse sectors of a cell.
extern const int32_t HexSectorDirection[18];
extern const int32_t HexSectorDirectionFine[18];

// The colours the screens share, ARGB.
inline constexpr int32_t ColorConstantCount = 21;
extern uint32_t ColorConstants[ColorConstantCount];
inline constexpr int32_t TipTextColor = 6; // black
void InitColorConstants();

// The tip shown under the landscape: TipsCount of section "Tips" (0 or
// missing: none); n = 1 + RandomInt(count); the text of "Tips" + n +
// LanguageSuffix. Empty when there is no tip.
std::u16string ChooseTip(TIniFile& texts);
// Puts the tip into the list (centred vertically) and shows or hides the
// window's "frame" by whether there is one.
void ShowTip(TGUI_GraphicWindow& window, TGUI_StringList& list, const std::u16string& tip, int32_t font);

// A named step of the start-up: the loader's steps and the screens' create
// procedures are slots that their units fill; an empty slot is skipped.
struct TLoaderSlot {
    const char* Name;
    void (*Run)();
};
inline constexpr int32_t ScreenCreatorCount = 28;
extern TLoaderSlot ScreenCreators[ScreenCreatorCount];
extern TLoaderSlot LoaderSteps[];
extern const int32_t LoaderStepCount;
// The window's own set-up has two such places: the map pipeline with the
// arena scene (first), and the drag item (after the cursors).
inline constexpr int32_t LoadingScreenSlotCount = 2;
extern TLoaderSlot LoadingScreenSlots[LoadingScreenSlotCount];
// Fills a slot by name (the screen units call it before the loader runs);
// false for a name that names no slot.
bool SetLoaderSlot(const std::string& name, void (*run)());

// The thread's routine: every loader step in order, the screens' windows
// among them, then state 3.
void StartupLoaderThread();

// What the loading window's frame works on: the renderer, the upload queue
// and the thread in the game; fakes in tests.
class TLoadingDriver {
public:
    virtual ~TLoadingDriver() = default;
    virtual int64_t DeviceBytes() = 0;
    virtual void StartLoader() = 0; // starts StartupLoaderThread
    virtual void JoinLoader() = 0;
    virtual bool QueueEmpty() = 0;
    virtual void ProcessQueue(int32_t budget) = 0;
    // The loader's measured amount is written back, the main menu opens.
    virtual void HandOver(int64_t measured) = 0;
};
// Steps 4 to 7 of an active frame: starts the thread in the first one (in
// test mode it is joined at once and the whole queue uploaded then), joins it
// once it has finished, uploads within the budget and hands over in the
// frame where the thread is joined and the queue is empty. True in that
// frame.
bool LoadingFrameStep(TLoadingDriver& driver, bool testMode);

// Builds the 2D scene, the cursors, fonts and colours, the hooks and
// Loading_Window (main thread, renderer and main window made).
void LoadingScreen_Create();
void LoadingScreen_WindowHandler(int32_t state, TGUI_Window* window);
// The program's end: the window and the tip list it was given.
void LoadingScreen_Free();

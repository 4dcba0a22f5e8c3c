// QX9_GUI: the interface toolkit's driver and windows. The main window
// procedure turns messages into two input tables (the keys and the input
// record); once per frame the frame step hit-tests the objects of the active
// window, dispatches the mouse to them, lets the focused control read the
// keyboard, walks the open windows with their states and clears what belongs
// to one frame. Windows are lists of objects with a handler; screens change
// windows only by posting states, which the frame step acts on.
//
// Threads: everything here belongs to the main thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_System_Window.h"
#include "render/QX9_Render.h"

class TGUI_Processor;
class TGUI_Window;
class TGUI_Object;
class TGUI_Edit;
class TGUI_StringList;

// ---------------------------------------------------------------------------
// Input tables

struct TGUI_KeyState {
    uint8_t Down = 0;      // held
    uint8_t Released = 0;  // went up since the last frame step
    uint8_t Swallowed = 0; // held when a window was shown: no release, no repeats
};

inline constexpr int32_t GUI_KEY_COUNT = 258;
inline constexpr int32_t GUI_KEY_LBUTTON = 256;
inline constexpr int32_t GUI_KEY_RBUTTON = 257;

// Indexed by virtual-key code; 256 the left, 257 the right mouse button.
extern std::array<TGUI_KeyState, GUI_KEY_COUNT> GUI_Keys;

struct TGUI_InputState {
    int32_t ClientX = 0; // client pixels of the main window
    int32_t ClientY = 0;
    int32_t DeltaX = 0; // movement since the previous frame step
    int32_t DeltaY = 0;
    int32_t Wheel = 0; // sum of wheel deltas since the previous frame step
    float ScaleX = 1;  // virtual GUI pixels per client pixel
    float ScaleY = 1;
    int32_t VirtualX = 0; // the mouse in virtual GUI pixels: every hit test uses these
    int32_t VirtualY = 0;
    std::u16string TypedText; // characters typed since the previous frame step
    TGUI_Processor* Processor = nullptr;
    TGUI_Edit* FocusedEdit = nullptr;
    TGUI_StringList* FocusedList = nullptr;
    uint8_t SpriteCursor = 0;       // a cursor sprite replaces the system cursor over the client area
    uint8_t SystemCursorHidden = 0; // the renderer draws the cursor sprite while set
    uint8_t MouseOutside = 0;       // the mouse was outside the client area at the last look
    int32_t CursorSprite = -1;
    int32_t LastX = 0; // client position at the end of the previous frame step
    int32_t LastY = 0;
    int32_t ListKeyTime = 0; // last keyboard action of the focused string list
};
extern TGUI_InputState GUI_Input;

// The focus hooks: a control that takes the keyboard installs its own.
using TGUI_Hook = void (*)();
void GUI_EmptyHook();
extern TGUI_Hook GUI_OnTypedText; // frame step, when text was typed
extern TGUI_Hook GUI_OnKeys;      // frame step, when no text was typed
extern TGUI_Hook GUI_OnFocusLost; // before a press is dispatched, and when another control takes the focus
// Puts the empty procedure into all three focus hooks.
void GUI_ResetFocusHooks();

// The shown windows in showing order (the most recently shown last).
extern std::vector<TGUI_Window*> GUI_OpenWindows;

// ---------------------------------------------------------------------------
// Processor

struct TGUI_PendingState {
    TGUI_Window* Window = nullptr; // nullptr: a blanked entry (its window is gone)
    int32_t State = 0;
};

// Milliseconds; update = false returns the last sampled value.
using TGUI_TimeSource = int32_t (*)(bool update);

class TGUI_Processor {
public:
    explicit TGUI_Processor(const std::string& applicationName);

    // True when another copy runs (its window has been brought forward).
    bool IsAlreadyRunning();
    // Creates the main window with GUI_WindowProc and reads the cursor.
    void Init(int32_t width, int32_t height, uint8_t windowed, T3D_Render* render);
    void SetCursorSprite(int32_t sprite);
    void ShowSystemCursor(bool show);
    // Shows the first window and runs the message loop until WM_QUIT.
    void Run(TGUI_Window* firstWindow);

    T3D_Render* Render = nullptr;
    std::string ApplicationName;
    std::vector<TGUI_PendingState> Pending; // the state commands of the current frame step
    uint8_t Windowed = 1;
    TGUI_TimeSource TimeSource = nullptr;
    TGUI_Window* ActiveWindow = nullptr;
    TGUI_Hook PreFrameHook = GUI_EmptyHook;
    TGUI_Hook PostFrameHook = GUI_EmptyHook;
    int32_t HoveredTag = 0;
    TGUI_Object* LeftObject = nullptr;
    TGUI_Object* HoveredObject = nullptr;
};
extern TGUI_Processor* GUIProcessor;

// Runs first in every frame step that draws, before the step samples its
// time: the test mode's fixed-step clock and script driver live here.
extern TGUI_Hook GUI_FrameStartHook;

// The time every control works with: the processor's last sampled value (the
// frame step samples once at its start, so one frame sees one time).
int32_t GUI_Now();

LRESULT GUI_WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void GUI_ProcessFrame();
void GUI_UpdateCursor();
void GUI_ReadMouseFromMessage(LPARAM lParam);
// Puts the mouse at a client point (a replayed or scripted mouse), with its
// virtual position.
void GUI_SetClientPoint(int32_t x, int32_t y);
bool GUI_HitTest(const TGUI_Object* object);
void GUI_Activate();
void GUI_Deactivate();

// The input tables as after TGUI_Processor.Init, without touching a window:
// the processor set, keys and typed text cleared, the cursor flags reset.
void GUI_ResetInput(TGUI_Processor* processor);
// Unit start and end: every global of the toolkit back to its first value
// (nothing is freed: windows and objects belong to their creators).
void QX9_GUI_Initialization();

// ---------------------------------------------------------------------------
// Windows

inline constexpr int32_t GUI_STATE_ACTIVE = 0x10000001;
inline constexpr int32_t GUI_STATE_INACTIVE = 0x10000002;
inline constexpr int32_t GUI_STATE_OPEN = 0x10000003;
inline constexpr int32_t GUI_STATE_CLOSE = 0x10000004;
inline constexpr int32_t GUI_STATE_CLOSED = 0x10000005;
inline constexpr int32_t GUI_STATE_DESTROY = 0x10000006;

using TGUI_WindowHandler = void (*)(int32_t state, TGUI_Window* window);
// Draws the window whatever the state.
void GUI_DefaultWindowHandler(int32_t state, TGUI_Window* window);

class TGUI_Window {
public:
    TGUI_Window(T3D_Render* render, const std::string& name);
    virtual ~TGUI_Window() = default;
    TGUI_Window(const TGUI_Window&) = delete;
    TGUI_Window& operator=(const TGUI_Window&) = delete;

    virtual void Draw();
    virtual void MoveObjectLast(TGUI_Object* object);
    virtual void MoveObjectFirst(TGUI_Object* object);

    // Appends the command to the processor's pending list; the entry's index
    // (-1 without a processor).
    int32_t PostState(int32_t state);
    void Show();
    void Hide();
    TGUI_Object* GetObject(int32_t index) const;
    // Hides the window, ends the program when it has no owner, and frees it.
    // Nothing keeps pointing at it afterwards: its pending entries are
    // blanked and the owners, the active window and the processor's objects
    // that name it are cleared. Windows are made with new.
    void Destroy();

    T3D_Render* Render = nullptr;
    std::vector<TGUI_Object*> Objects; // hit-test order (first wins) and drawing order; entries may be nullptr
    std::string Name;
    int32_t State = 0;
    uint8_t Shown = 0;
    int32_t PressedLeft = -1;
    int32_t PressedRight = -1;
    int32_t PrevHovered = -1;
    int32_t Hovered = -1;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    uint8_t Visible = 1;
    int32_t Background = -1;
    int32_t DrawScene = -1;
    TGUI_Window* Owner = nullptr;
    TGUI_WindowHandler Handler = GUI_DefaultWindowHandler;

private:
    // The four object indexes after an object moved from p to last or first.
    void AdjustIndexes(int32_t p, bool last);
};

// ---------------------------------------------------------------------------
// The base object

using TGUI_Handler = void (*)(TGUI_Object* object);
void GUI_EmptyHandler(TGUI_Object* object);
// Called by every object's destructor (nullptr: nobody listens); the screens'
// hints forget an owner that goes.
extern TGUI_Handler GUI_OnObjectDestroyed;

class TGUI_Object {
public:
    explicit TGUI_Object(T3D_Render* render);
    // Tells GUI_OnObjectDestroyed, so nothing keeps naming the object.
    virtual ~TGUI_Object();
    TGUI_Object(const TGUI_Object&) = delete;
    TGUI_Object& operator=(const TGUI_Object&) = delete;

    virtual void MouseDown();
    virtual void MouseUp();
    virtual void RightMouseDown();
    virtual void RightMouseUp();
    virtual void MouseOver();
    virtual void MouseEnter();
    virtual void MouseLeave();
    virtual void Draw(int32_t scene);

    T3D_Render* Render = nullptr;
    int32_t Tag = 0;
    uint8_t Held = 0;
    uint8_t Enabled = 1;
    uint8_t Visible = 1;
    uint8_t DrawnByWindow = 1;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Sprite = -1;
    int32_t EnterTime = -1;
    int32_t LeaveTime = -1;
    int32_t ReleaseTime = -1;
    int32_t PressTime = -1;
    TGUI_Handler OnClick = GUI_EmptyHandler;
    TGUI_Handler OnMouseDown = GUI_EmptyHandler;
    TGUI_Handler OnRightUp = GUI_EmptyHandler;
    TGUI_Handler OnRightDown = GUI_EmptyHandler;
    TGUI_Handler OnOverPressed = GUI_EmptyHandler;
    TGUI_Handler OnOver = GUI_EmptyHandler;
    TGUI_Handler OnEnter = GUI_EmptyHandler;
    TGUI_Handler OnLeave = GUI_EmptyHandler;

protected:
    // Width and height of 0 taken from a sprite (rounded).
    void SizeFromSprite(int32_t sprite);
};

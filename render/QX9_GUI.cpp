// QX9_GUI: the input tables, the processor, the window procedure and the
// frame step.
#include "render/QX9_GUI.h"

#include <cmath>

#include "engine/QX9_System.h"

std::array<TGUI_KeyState, GUI_KEY_COUNT> GUI_Keys;
TGUI_InputState GUI_Input;
TGUI_Hook GUI_OnTypedText = GUI_EmptyHook;
TGUI_Hook GUI_OnKeys = GUI_EmptyHook;
TGUI_Hook GUI_OnFocusLost = GUI_EmptyHook;
std::vector<TGUI_Window*> GUI_OpenWindows;
TGUI_Processor* GUIProcessor = nullptr;
TGUI_Hook GUI_FrameStartHook = GUI_EmptyHook;

void GUI_EmptyHook() {}

void GUI_ResetFocusHooks()
{
    GUI_OnTypedText = GUI_EmptyHook;
    GUI_OnKeys = GUI_EmptyHook;
    GUI_OnFocusLost = GUI_EmptyHook;
}

namespace {

// Client pixels to virtual GUI pixels, rounded to nearest (halves to even).
int32_t ToVirtual(int32_t client, float scale)
{
    return static_cast<int32_t>(std::nearbyint(static_cast<float>(client) * scale));
}

void SetClientPoint(int32_t x, int32_t y)
{
    GUI_Input.ClientX = x;
    GUI_Input.ClientY = y;
    GUI_Input.VirtualX = ToVirtual(x, GUI_Input.ScaleX);
    GUI_Input.VirtualY = ToVirtual(y, GUI_Input.ScaleY);
}

// The cursor in client pixels of the main window; false without one.
bool ReadCursor(TPoint& point)
{
    HWND main = GetMainWindow();
    return main != nullptr && GetCursorPos(point) && ScreenToClient(main, point);
}

void PressKey(int32_t key)
{
    GUI_Keys[static_cast<size_t>(key)].Down = 1;
    GUI_Keys[static_cast<size_t>(key)].Released = 0;
}

void ReleaseButton(int32_t key)
{
    GUI_Keys[static_cast<size_t>(key)].Down = 0;
    GUI_Keys[static_cast<size_t>(key)].Released = 1;
}

void DispatchInput(TGUI_Processor& processor, TGUI_Window& window, int32_t now)
{
    GUI_Input.DeltaX = GUI_Input.ClientX - GUI_Input.LastX;
    GUI_Input.DeltaY = GUI_Input.ClientY - GUI_Input.LastY;
    if (window.State != GUI_STATE_ACTIVE || window.Shown == 0 || window.Objects.empty())
        return;

    window.Hovered = -1;
    if (!GUI_Input.TypedText.empty())
        GUI_OnTypedText();
    else
        GUI_OnKeys();
    window.Hovered = -1;
    for (size_t i = 0; i < window.Objects.size(); i++)
        if (GUI_HitTest(window.Objects[i])) {
            window.Hovered = static_cast<int32_t>(i);
            break;
        }

    if (window.Hovered != window.PrevHovered) {
        if (TGUI_Object* previous = window.GetObject(window.PrevHovered)) {
            processor.LeftObject = previous;
            previous->EnterTime = -1;
            previous->LeaveTime = now;
            previous->MouseLeave();
        }
        if (TGUI_Object* entered = window.GetObject(window.Hovered)) {
            processor.HoveredTag = entered->Tag;
            processor.HoveredObject = entered;
            entered->EnterTime = now;
            entered->LeaveTime = -1;
            entered->MouseEnter();
        } else {
            processor.HoveredObject = nullptr;
        }
        window.PrevHovered = window.Hovered;
    }

    if (window.GetObject(window.Hovered) != nullptr) {
        const int32_t hovered = window.Hovered;
        if (GUI_Keys[GUI_KEY_LBUTTON].Down != 0 && window.PressedLeft == -1) {
            window.PressedLeft = hovered;
            GUI_OnFocusLost();
            if (TGUI_Object* object = window.GetObject(hovered)) {
                object->ReleaseTime = -1;
                object->PressTime = now;
                object->MouseDown();
            }
        }
        if (GUI_Keys[GUI_KEY_RBUTTON].Down != 0 && window.PressedRight == -1) {
            window.PressedRight = hovered;
            GUI_OnFocusLost();
            if (TGUI_Object* object = window.GetObject(hovered))
                object->RightMouseDown();
        }
        if (TGUI_Object* object = window.GetObject(hovered))
            object->MouseOver();
    }

    // The release goes to the pressed object wherever the mouse is now.
    if (GUI_Keys[GUI_KEY_LBUTTON].Released != 0 && window.PressedLeft != -1) {
        TGUI_Object* object = window.GetObject(window.PressedLeft);
        if (object != nullptr) {
            object->ReleaseTime = now;
            object->PressTime = -1;
            object->MouseUp();
        }
        window.PressedLeft = -1;
    }
    if (GUI_Keys[GUI_KEY_RBUTTON].Released != 0 && window.PressedRight != -1) {
        if (TGUI_Object* object = window.GetObject(window.PressedRight))
            object->RightMouseUp();
        window.PressedRight = -1;
    }
}

void CallHandler(TGUI_Window* window, int32_t state)
{
    if (window->Handler != nullptr)
        window->Handler(state, window);
}

// Acts on the pending commands; entries appended meanwhile are walked too.
void WalkWindows(TGUI_Processor& processor)
{
    for (size_t i = 0; i < processor.Pending.size(); i++) {
        const TGUI_PendingState entry = processor.Pending[i];
        TGUI_Window* window = entry.Window;
        if (window == nullptr)
            continue;
        switch (entry.State) {
        case GUI_STATE_OPEN:
            window->Show();
            CallHandler(window, entry.State);
            window->State = GUI_STATE_ACTIVE;
            break;
        case GUI_STATE_CLOSE:
            CallHandler(window, entry.State);
            window->Hide();
            window->State = GUI_STATE_CLOSED;
            break;
        case GUI_STATE_DESTROY:
            CallHandler(window, entry.State);
            window->Destroy();
            break;
        case GUI_STATE_CLOSED:
            break;
        default:
            CallHandler(window, entry.State);
            window->State = entry.State;
            break;
        }
    }
}

} // namespace

int32_t GUI_Now()
{
    const TGUI_Processor* processor = GUI_Input.Processor;
    if (processor != nullptr && processor->TimeSource != nullptr)
        return processor->TimeSource(false);
    return GetTimeMs(false);
}

// ---------------------------------------------------------------------------
// Processor

TGUI_Processor::TGUI_Processor(const std::string& applicationName)
    : ApplicationName(applicationName), TimeSource(&GetTimeMs)
{
}

bool TGUI_Processor::IsAlreadyRunning()
{
    return ::IsAlreadyRunning(ApplicationName);
}

void GUI_ResetInput(TGUI_Processor* processor)
{
    GUI_Input.Processor = processor;
    GUI_Input.MouseOutside = 1;
    GUI_Input.SpriteCursor = 0;
    GUI_Input.SystemCursorHidden = 0;
    GUI_Keys.fill({});
    GUI_Input.TypedText.clear();
}

void TGUI_Processor::Init(int32_t width, int32_t height, uint8_t windowed, T3D_Render* render)
{
    GUI_Input.Processor = this;
    Render = render;
    Windowed = windowed;
    CreateMainWindow(width, height, GUI_WindowProc, windowed == 0, ApplicationName);
    TPoint point;
    if (ReadCursor(point))
        SetClientPoint(point.X, point.Y);
    GUI_Input.LastX = GUI_Input.ClientX;
    GUI_Input.LastY = GUI_Input.ClientY;
    GUI_ResetInput(this);
}

void TGUI_Processor::SetCursorSprite(int32_t sprite)
{
    GUI_Input.SpriteCursor = 1;
    GUI_Input.CursorSprite = sprite;
    if (Render != nullptr)
        Render->SetCursor(sprite, &GUI_Input.VirtualX, &GUI_Input.VirtualY, &GUI_Input.SystemCursorHidden);
    if (Windowed != 0) {
        GUI_UpdateCursor();
    } else {
        ShowCursor(false);
        GUI_Input.SystemCursorHidden = 1;
    }
}

void TGUI_Processor::ShowSystemCursor(bool show)
{
    if (GUI_Input.CursorSprite == -1)
        return;
    const uint8_t hidden = show ? 0 : 1;
    if (Windowed != 0) {
        GUI_UpdateCursor();
        if (GUI_Input.MouseOutside != 0) {
            // Takes effect when the mouse comes back.
            GUI_Input.SpriteCursor = hidden;
            return;
        }
    }
    ShowCursor(show);
    GUI_Input.SpriteCursor = hidden;
    GUI_Input.SystemCursorHidden = hidden;
}

void TGUI_Processor::Run(TGUI_Window* firstWindow)
{
    GUI_OpenWindows.clear();
    firstWindow->Show();
    CallHandler(firstWindow, GUI_STATE_OPEN);
    firstWindow->State = GUI_STATE_ACTIVE;
    GUI_Input.LastX = GUI_Input.ClientX;
    GUI_Input.LastY = GUI_Input.ClientY;
    RunMessageLoop(GUI_ProcessFrame, 200);
}

// ---------------------------------------------------------------------------
// Messages and the cursor

void GUI_SetClientPoint(int32_t x, int32_t y)
{
    SetClientPoint(x, y);
}

void GUI_ReadMouseFromMessage(LPARAM lParam)
{
    SetClientPoint(LoWord(static_cast<uintptr_t>(lParam)), HiWord(static_cast<uintptr_t>(lParam)));
}

void GUI_UpdateCursor()
{
    const TGUI_Processor* processor = GUI_Input.Processor;
    if (processor == nullptr || processor->Windowed == 0)
        return;
    TPoint point;
    // Without a main window there is no client area to look at.
    if (!ReadCursor(point))
        return;
    if (IsPointInClient(point)) {
        if (GUI_Input.MouseOutside != 0 && GUI_Input.SpriteCursor != 0) {
            ShowCursor(false);
            GUI_Input.SystemCursorHidden = 1;
        }
        GUI_Input.MouseOutside = 0;
    } else {
        if (GUI_Input.MouseOutside == 0 && GUI_Input.SpriteCursor != 0) {
            ShowCursor(true);
            GUI_Input.SystemCursorHidden = 0;
        }
        GUI_Input.MouseOutside = 1;
    }
    SetClientPoint(point.X, point.Y);
}

bool GUI_HitTest(const TGUI_Object* object)
{
    if (object == nullptr || object->Enabled == 0)
        return false;
    const int32_t x = GUI_Input.VirtualX, y = GUI_Input.VirtualY;
    return x >= object->X && x <= object->X + object->Width && y >= object->Y && y <= object->Y + object->Height;
}

void GUI_Deactivate()
{
    PauseTimer();
    LoopActive = false;
    LoopInactive = true;
}

void GUI_Activate()
{
    if (LoopInactive)
        ResumeTimer();
    LoopActive = true;
    LoopInactive = false;
}

LRESULT GUI_WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_ACTIVATE:
        if (wParam == WA_INACTIVE)
            GUI_Deactivate();
        else if (wParam == WA_ACTIVE || wParam == WA_CLICKACTIVE)
            GUI_Activate();
        break;
    case WM_SETFOCUS:
        GUI_Activate();
        break;
    case WM_KILLFOCUS:
        GUI_Deactivate();
        break;
    case WM_KEYDOWN:
        // Only the 256 key codes have a place in the table.
        if (wParam < 256 && GUI_Keys[wParam].Swallowed == 0)
            PressKey(static_cast<int32_t>(wParam));
        return 0;
    case WM_KEYUP:
        if (wParam < 256) {
            TGUI_KeyState& key = GUI_Keys[wParam];
            key.Down = 0;
            key.Released = key.Swallowed == 0 ? 1 : 0;
            key.Swallowed = 0;
        }
        return 0;
    case WM_CHAR:
        // The window layer delivers UTF-16 code units.
        if (wParam >= 32)
            GUI_Input.TypedText.push_back(static_cast<char16_t>(wParam & 0xFFFF));
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_SCREENSAVE)
            return 0;
        break;
    case WM_MOUSEMOVE:
        GUI_ReadMouseFromMessage(lParam);
        return 0;
    case WM_LBUTTONDOWN:
        PressKey(GUI_KEY_LBUTTON);
        GUI_ReadMouseFromMessage(lParam);
        return 0;
    case WM_LBUTTONUP:
        ReleaseButton(GUI_KEY_LBUTTON);
        GUI_ReadMouseFromMessage(lParam);
        return 0;
    case WM_RBUTTONDOWN:
        PressKey(GUI_KEY_RBUTTON);
        GUI_ReadMouseFromMessage(lParam);
        return 0;
    case WM_RBUTTONUP:
        ReleaseButton(GUI_KEY_RBUTTON);
        GUI_ReadMouseFromMessage(lParam);
        return 0;
    case WM_MOUSEWHEEL:
        GUI_Input.Wheel += GetWheelDeltaWParam(wParam);
        return 0;
    default:
        break;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------
// The frame step

void GUI_ProcessFrame()
{
    TGUI_Processor* processor = GUI_Input.Processor;
    if (processor == nullptr)
        return;
    // A device that can't draw now: everything waits, input keeps piling up.
    if (processor->Render != nullptr && processor->Render->Device != nullptr && !processor->Render->CheckDevice())
        return;
    GUI_FrameStartHook();
    const int32_t now = processor->TimeSource != nullptr ? processor->TimeSource(true) : GetTimeMs(true);
    GUI_UpdateCursor();
    processor->PreFrameHook();

    // Commands posted before this point (between steps, by the pre-frame
    // hook) are dropped here.
    processor->Pending.clear();
    for (TGUI_Window* window : GUI_OpenWindows)
        processor->Pending.push_back({window, window->State});

    if (processor->ActiveWindow != nullptr)
        DispatchInput(*processor, *processor->ActiveWindow, now);
    WalkWindows(*processor);
    processor->PostFrameHook();

    GUI_Input.TypedText.clear();
    for (TGUI_KeyState& key : GUI_Keys)
        if (key.Released != 0)
            key = {};
    GUI_Input.LastX = GUI_Input.ClientX;
    GUI_Input.LastY = GUI_Input.ClientY;
    GUI_Input.Wheel = 0;
}

void QX9_GUI_Initialization()
{
    GUI_Keys.fill({});
    GUI_Input = TGUI_InputState{};
    GUI_ResetFocusHooks();
    GUI_OpenWindows.clear();
    GUIProcessor = nullptr;
    GUI_FrameStartHook = GUI_EmptyHook;
}

// SDL input and window events turned into the messages a Windows window gets:
// keys with Windows' virtual-key codes (system keys while Alt is held, and
// F10), typed text as UTF-16 characters, mouse moves, buttons and wheel in
// client pixels, activation and focus, and the close request.
#include <algorithm>
#include <cmath>

#include "platform/window/Window_Internal.h"

namespace {

// Held Alt (without Ctrl) as the last key event told: text typed meanwhile
// comes as system characters.
bool AltHeld = false;
TWindowFocusListener FocusListener = nullptr;
// Buttons held, as our own button events told (the mouse messages' wParam).
WPARAM ButtonsHeld = 0;
// Test runs' scripted devices.
bool Scripted = false;
TPoint ScriptedPoint;

bool AcceptsInput(HWND window)
{
    return window != nullptr && !window->Destroyed.load();
}

HWND Target(uint32_t windowId)
{
    return Window_FromSDLWindowID(windowId);
}

// Keypad digits and the decimal key: numbers with NumLock on, the navigation
// keys printed on them otherwise.
uint8_t KeypadKey(SDL_Scancode code, bool numLock)
{
    static const uint8_t navigation[10] = {VK_INSERT, VK_END,   VK_DOWN, VK_NEXT, VK_LEFT,
                                           VK_CLEAR,  VK_RIGHT, VK_HOME, VK_UP,   VK_PRIOR};
    int digit = -1;
    if (code >= SDL_SCANCODE_KP_1 && code <= SDL_SCANCODE_KP_9)
        digit = 1 + (code - SDL_SCANCODE_KP_1);
    else if (code == SDL_SCANCODE_KP_0)
        digit = 0;
    if (digit >= 0)
        return numLock ? static_cast<uint8_t>(VK_NUMPAD0 + digit) : navigation[digit];
    if (code == SDL_SCANCODE_KP_PERIOD)
        return numLock ? VK_DECIMAL : VK_DELETE;
    return 0;
}

// Keys found by their position on the keyboard.
uint8_t KeyByPosition(SDL_Scancode code)
{
    switch (code) {
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER:
        return VK_RETURN;
    case SDL_SCANCODE_ESCAPE:
        return VK_ESCAPE;
    case SDL_SCANCODE_BACKSPACE:
        return VK_BACK;
    case SDL_SCANCODE_TAB:
        return VK_TAB;
    case SDL_SCANCODE_SPACE:
        return VK_SPACE;
    case SDL_SCANCODE_CAPSLOCK:
        return VK_CAPITAL;
    case SDL_SCANCODE_PRINTSCREEN:
        return VK_SNAPSHOT;
    case SDL_SCANCODE_SCROLLLOCK:
        return VK_SCROLL;
    case SDL_SCANCODE_PAUSE:
        return VK_PAUSE;
    case SDL_SCANCODE_INSERT:
        return VK_INSERT;
    case SDL_SCANCODE_HOME:
        return VK_HOME;
    case SDL_SCANCODE_PAGEUP:
        return VK_PRIOR;
    case SDL_SCANCODE_DELETE:
        return VK_DELETE;
    case SDL_SCANCODE_END:
        return VK_END;
    case SDL_SCANCODE_PAGEDOWN:
        return VK_NEXT;
    case SDL_SCANCODE_RIGHT:
        return VK_RIGHT;
    case SDL_SCANCODE_LEFT:
        return VK_LEFT;
    case SDL_SCANCODE_DOWN:
        return VK_DOWN;
    case SDL_SCANCODE_UP:
        return VK_UP;
    case SDL_SCANCODE_NUMLOCKCLEAR:
        return VK_NUMLOCK;
    case SDL_SCANCODE_KP_DIVIDE:
        return VK_DIVIDE;
    case SDL_SCANCODE_KP_MULTIPLY:
        return VK_MULTIPLY;
    case SDL_SCANCODE_KP_MINUS:
        return VK_SUBTRACT;
    case SDL_SCANCODE_KP_PLUS:
        return VK_ADD;
    case SDL_SCANCODE_APPLICATION:
        return VK_APPS;
    case SDL_SCANCODE_LGUI:
        return VK_LWIN;
    case SDL_SCANCODE_RGUI:
        return VK_RWIN;
    // Windows' key messages carry the generic codes, not the left/right ones.
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL:
        return VK_CONTROL;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT:
        return VK_SHIFT;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT:
        return VK_MENU;
    // Punctuation keys by position, with the US layout's codes (the console
    // key is the one left of "1" on every layout).
    case SDL_SCANCODE_GRAVE:
        return VK_OEM_3;
    case SDL_SCANCODE_MINUS:
        return VK_OEM_MINUS;
    case SDL_SCANCODE_EQUALS:
        return VK_OEM_PLUS;
    case SDL_SCANCODE_LEFTBRACKET:
        return VK_OEM_4;
    case SDL_SCANCODE_RIGHTBRACKET:
        return VK_OEM_6;
    case SDL_SCANCODE_BACKSLASH:
        return VK_OEM_5;
    case SDL_SCANCODE_SEMICOLON:
        return VK_OEM_1;
    case SDL_SCANCODE_APOSTROPHE:
        return VK_OEM_7;
    case SDL_SCANCODE_COMMA:
        return VK_OEM_COMMA;
    case SDL_SCANCODE_PERIOD:
        return VK_OEM_PERIOD;
    case SDL_SCANCODE_SLASH:
        return VK_OEM_2;
    case SDL_SCANCODE_NONUSBACKSLASH:
        return VK_OEM_102;
    default:
        return 0;
    }
}

} // namespace

// The Windows virtual-key code of a key; 0 for keys Windows has no code for.
// Letters follow the layout (as Windows does); keys whose symbol is no Latin
// letter (other alphabets) fall back on their position.
uint8_t Window_VirtualKeyOf(const SDL_Keysym& key)
{
    if (key.sym >= SDLK_a && key.sym <= SDLK_z)
        return static_cast<uint8_t>('A' + (key.sym - SDLK_a));
    SDL_Scancode code = key.scancode;
    if (code >= SDL_SCANCODE_1 && code <= SDL_SCANCODE_9)
        return static_cast<uint8_t>('1' + (code - SDL_SCANCODE_1));
    if (code == SDL_SCANCODE_0)
        return '0';
    if (code >= SDL_SCANCODE_F1 && code <= SDL_SCANCODE_F12)
        return static_cast<uint8_t>(VK_F1 + (code - SDL_SCANCODE_F1));
    if (code >= SDL_SCANCODE_F13 && code <= SDL_SCANCODE_F24)
        return static_cast<uint8_t>(VK_F1 + 12 + (code - SDL_SCANCODE_F13));
    if (uint8_t keypad = KeypadKey(code, (key.mod & KMOD_NUM) != 0))
        return keypad;
    if (uint8_t positional = KeyByPosition(code))
        return positional;
    if (code >= SDL_SCANCODE_A && code <= SDL_SCANCODE_Z)
        return static_cast<uint8_t>('A' + (code - SDL_SCANCODE_A));
    return 0;
}

namespace {

void TranslateKey(const SDL_KeyboardEvent& key, bool down)
{
    HWND window = Target(key.windowID);
    uint8_t vk = Window_VirtualKeyOf(key.keysym);
    bool alt = (key.keysym.mod & KMOD_ALT) != 0;
    bool ctrl = (key.keysym.mod & KMOD_CTRL) != 0;
    bool isAlt = vk == VK_MENU;
    // Alt with Ctrl (AltGr on many layouts) types ordinary keys, as on Windows.
    AltHeld = !ctrl && (isAlt ? down : alt);
    if (!AcceptsInput(window) || vk == 0)
        return;
    bool system = !ctrl && (alt || isAlt || vk == VK_F10);
    LPARAM lParam = 1;
    if (alt)
        lParam |= KF_ALTDOWN_BIT;
    if (!down || key.repeat)
        lParam |= KF_REPEAT_BIT;
    if (!down)
        lParam |= KF_UP_BIT;
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    Window_QueueMessage(window, message, vk, lParam);
}

void TranslateText(const SDL_TextInputEvent& text)
{
    HWND window = Target(text.windowID);
    if (!AcceptsInput(window))
        return;
    std::u16string units = OS_MultiByteToWide(CP_UTF8, std::string(text.text));
    UINT message = AltHeld ? WM_SYSCHAR : WM_CHAR;
    for (char16_t unit : units)
        Window_QueueMessage(window, message, unit, 1);
}

WPARAM ModifierKeys()
{
    SDL_Keymod mod = SDL_GetModState();
    WPARAM keys = 0;
    if (mod & KMOD_SHIFT)
        keys |= MK_SHIFT;
    if (mod & KMOD_CTRL)
        keys |= MK_CONTROL;
    return keys;
}

WPARAM ButtonFlag(uint8_t button)
{
    switch (button) {
    case SDL_BUTTON_LEFT:
        return MK_LBUTTON;
    case SDL_BUTTON_RIGHT:
        return MK_RBUTTON;
    case SDL_BUTTON_MIDDLE:
        return MK_MBUTTON;
    default:
        return 0;
    }
}

void TranslateMotion(const SDL_MouseMotionEvent& motion)
{
    HWND window = Target(motion.windowID);
    if (!AcceptsInput(window))
        return;
    WPARAM keys = ModifierKeys();
    if (motion.state & SDL_BUTTON_LMASK)
        keys |= MK_LBUTTON;
    if (motion.state & SDL_BUTTON_RMASK)
        keys |= MK_RBUTTON;
    if (motion.state & SDL_BUTTON_MMASK)
        keys |= MK_MBUTTON;
    Window_QueueMessage(window, WM_MOUSEMOVE, keys, MakeLParam(motion.x, motion.y));
}

// A double click arrives as a second plain button-down: the window class asks
// for no double-click messages.
void TranslateButton(const SDL_MouseButtonEvent& button, bool down)
{
    WPARAM flag = ButtonFlag(button.button);
    if (down)
        ButtonsHeld |= flag;
    else
        ButtonsHeld &= ~flag;
    HWND window = Target(button.windowID);
    if (!AcceptsInput(window) || flag == 0)
        return;
    UINT message = 0;
    switch (button.button) {
    case SDL_BUTTON_LEFT:
        message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        break;
    case SDL_BUTTON_RIGHT:
        message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        break;
    default:
        message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
        break;
    }
    Window_QueueMessage(window, message, ButtonsHeld | ModifierKeys(), MakeLParam(button.x, button.y));
}

// 120 per notch, positive away from the user; finer wheels give their share.
void TranslateWheel(const SDL_MouseWheelEvent& wheel)
{
    HWND window = Target(wheel.windowID);
    if (!AcceptsInput(window))
        return;
    double notches = wheel.preciseY != 0.0f ? wheel.preciseY : static_cast<double>(wheel.y);
    if (wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
        notches = -notches;
    long delta = std::lround(notches * WHEEL_DELTA);
    delta = std::clamp(delta, -32768L, 32767L);
    if (delta == 0)
        return;
    // Windows gives the wheel's position in screen pixels.
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(window->Sdl, &wx, &wy);
    Window_QueueMessage(window, WM_MOUSEWHEEL, MakeWParam(static_cast<int32_t>(ButtonsHeld | ModifierKeys()), delta),
                        MakeLParam(wheel.mouseX + wx, wheel.mouseY + wy));
}

void TellFocus(HWND window, bool focused)
{
    if (FocusListener != nullptr)
        FocusListener(window, focused);
}

void Activate(HWND window, WPARAM how)
{
    window->Active = true;
    Window_QueueMessage(window, WM_ACTIVATE, how, 0);
    Window_QueueMessage(window, WM_SETFOCUS, 0, 0);
    TellFocus(window, true);
}

void TranslateWindowEvent(const SDL_WindowEvent& event)
{
    HWND window = Target(event.windowID);
    if (!AcceptsInput(window))
        return;
    switch (event.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        if (!window->Active)
            Activate(window, WA_ACTIVE);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        if (window->Active && !Window_ForceActive()) {
            window->Active = false;
            Window_QueueMessage(window, WM_ACTIVATE, WA_INACTIVE, 0);
            Window_QueueMessage(window, WM_KILLFOCUS, 0, 0);
            TellFocus(window, false);
        }
        break;
    case SDL_WINDOWEVENT_MINIMIZED:
        if (window->Minimised || Window_ForceActive())
            break;
        window->Minimised = true;
        window->ActiveBeforeMinimise = window->Active;
        // Inactive with the minimised flag in the high word.
        Window_QueueMessage(window, WM_ACTIVATE, MakeWParam(WA_INACTIVE, 1), 0);
        if (window->Active) {
            window->Active = false;
            Window_QueueMessage(window, WM_KILLFOCUS, 0, 0);
            TellFocus(window, false);
        }
        break;
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
        if (!window->Minimised)
            break;
        window->Minimised = false;
        // Some systems keep the focus on a minimised window and never report
        // it gained again: the window would stay paused.
        if (!window->Active &&
            (window->ActiveBeforeMinimise || (SDL_GetWindowFlags(window->Sdl) & SDL_WINDOW_INPUT_FOCUS) != 0))
            Activate(window, MakeWParam(WA_ACTIVE, 1));
        break;
    case SDL_WINDOWEVENT_CLOSE:
        if (!window->CloseQueued) {
            window->CloseQueued = true;
            Window_QueueMessage(window, WM_CLOSE, 0, 0);
        }
        break;
    default:
        break;
    }
}

} // namespace

void Window_SetFocusListener(TWindowFocusListener listener)
{
    FocusListener = listener;
}

void Window_ResetInputState()
{
    AltHeld = false;
    ButtonsHeld = 0;
    Scripted = false;
    ScriptedPoint = {};
}

bool Window_ForceActive()
{
    return OS_GetEnv("DUSKMARCH_FORCE_ACTIVE") == "1";
}

void Window_ActivateForced(HWND window)
{
    if (AcceptsInput(window) && !window->Active && Window_ForceActive())
        Activate(window, WA_ACTIVE);
}

void Window_SetScriptedInput(bool on)
{
    Scripted = on;
}

bool Window_ScriptedInput()
{
    return Scripted;
}

bool Window_ScriptedCursor(TPoint& client)
{
    if (Scripted)
        client = ScriptedPoint;
    return Scripted;
}

void Window_ScriptedMove(HWND window, int32_t clientX, int32_t clientY)
{
    ScriptedPoint = {clientX, clientY};
    if (AcceptsInput(window))
        Window_QueueMessage(window, WM_MOUSEMOVE, ButtonsHeld, MakeLParam(clientX, clientY));
}

void Window_ScriptedButton(HWND window, bool right, bool down)
{
    const WPARAM flag = right ? MK_RBUTTON : MK_LBUTTON;
    if (down)
        ButtonsHeld |= flag;
    else
        ButtonsHeld &= ~flag;
    if (!AcceptsInput(window))
        return;
    const UINT message = right ? (down ? WM_RBUTTONDOWN : WM_RBUTTONUP) : (down ? WM_LBUTTONDOWN : WM_LBUTTONUP);
    Window_QueueMessage(window, message, ButtonsHeld, MakeLParam(ScriptedPoint.X, ScriptedPoint.Y));
}

void Window_ScriptedKey(HWND window, uint8_t virtualKey, bool down)
{
    if (!AcceptsInput(window) || virtualKey == 0)
        return;
    const bool system = virtualKey == VK_F10;
    LPARAM lParam = 1;
    if (!down)
        lParam |= KF_REPEAT_BIT | KF_UP_BIT;
    const UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    Window_QueueMessage(window, message, virtualKey, lParam);
}

void Window_ScriptedText(HWND window, const std::u16string& text)
{
    if (!AcceptsInput(window))
        return;
    for (char16_t unit : text)
        Window_QueueMessage(window, WM_CHAR, unit, 1);
}

void Window_ScriptedWheel(HWND window, int32_t delta)
{
    if (!AcceptsInput(window))
        return;
    delta = std::clamp(delta, -32768, 32767);
    if (delta == 0)
        return;
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(window->Sdl, &wx, &wy);
    Window_QueueMessage(window, WM_MOUSEWHEEL, MakeWParam(static_cast<int32_t>(ButtonsHeld), delta),
                        MakeLParam(ScriptedPoint.X + wx, ScriptedPoint.Y + wy));
}

void Window_TranslateSDLEvent(const SDL_Event& event)
{
    // A scripted run hears nothing from the real devices.
    if (Scripted && (event.type == SDL_KEYDOWN || event.type == SDL_KEYUP || event.type == SDL_TEXTINPUT ||
                     event.type == SDL_MOUSEMOTION || event.type == SDL_MOUSEBUTTONDOWN ||
                     event.type == SDL_MOUSEBUTTONUP || event.type == SDL_MOUSEWHEEL))
        return;
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        TranslateKey(event.key, event.type == SDL_KEYDOWN);
        break;
    case SDL_TEXTINPUT:
        TranslateText(event.text);
        break;
    case SDL_MOUSEMOTION:
        TranslateMotion(event.motion);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        TranslateButton(event.button, event.type == SDL_MOUSEBUTTONDOWN);
        break;
    case SDL_MOUSEWHEEL:
        TranslateWheel(event.wheel);
        break;
    case SDL_WINDOWEVENT:
        TranslateWindowEvent(event.window);
        break;
    case SDL_QUIT:
        // The application is asked to end (last window closed, or a signal):
        // the main window gets the same close request as from its frame.
        if (HWND window = Window_FirstLive(); window != nullptr && !window->CloseQueued) {
            window->CloseQueued = true;
            Window_QueueMessage(window, WM_CLOSE, 0, 0);
        }
        break;
    default:
        break;
    }
}

// QX9_GUI: windows (showing, hiding, the active role and its owner chain,
// object order, destruction) and the base object.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "render/QX9_GUI.h"
#include "render/QX9_Render_Sprites.h"

namespace {

// Hover looks restart: no window has a hovered object, no object an enter
// or leave time.
void ForgetHover(bool pressesToo)
{
    for (TGUI_Window* window : GUI_OpenWindows) {
        window->PrevHovered = -1;
        window->Hovered = -1;
        if (pressesToo) {
            window->PressedLeft = -1;
            window->PressedRight = -1;
        }
        for (TGUI_Object* object : window->Objects)
            if (object != nullptr) {
                object->EnterTime = -1;
                object->LeaveTime = -1;
            }
    }
}

bool Owns(const TGUI_Window* window, const TGUI_Object* object)
{
    return object != nullptr &&
           std::find(window->Objects.begin(), window->Objects.end(), object) != window->Objects.end();
}

} // namespace

void GUI_DefaultWindowHandler(int32_t, TGUI_Window* window)
{
    if (window != nullptr)
        window->Draw();
}

TGUI_Window::TGUI_Window(T3D_Render* render, const std::string& name) : Render(render), Name(name) {}

int32_t TGUI_Window::PostState(int32_t state)
{
    TGUI_Processor* processor = GUI_Input.Processor;
    if (processor == nullptr)
        return -1;
    processor->Pending.push_back({this, state});
    return static_cast<int32_t>(processor->Pending.size()) - 1;
}

void TGUI_Window::Show()
{
    TGUI_Processor* processor = GUI_Input.Processor;
    GUI_ResetFocusHooks();
    if (processor != nullptr) {
        processor->LeftObject = nullptr;
        processor->HoveredObject = nullptr;
    }
    for (TGUI_KeyState& key : GUI_Keys)
        if (key.Down != 0)
            key = {0, 0, 1};
    GUI_Input.TypedText.clear();
    Shown = 1;
    if (Background >= 0 && Render != nullptr) {
        const T3D_Sprite* sprite = Render->Sprite_Get(Background);
        if (sprite != nullptr && sprite->Texture != -1) {
            if (Width == 0)
                Width = static_cast<int32_t>(std::nearbyint(sprite->Width));
            if (Height == 0)
                Height = static_cast<int32_t>(std::nearbyint(sprite->Height));
        }
    }
    GUI_Input.LastX = GUI_Input.ClientX;
    GUI_Input.LastY = GUI_Input.ClientY;
    if (processor != nullptr && processor->ActiveWindow != this) {
        PressedLeft = PressedRight = PrevHovered = Hovered = -1;
        Owner = processor->ActiveWindow;
        processor->ActiveWindow = this;
        if (Owner != nullptr && Owner->State == GUI_STATE_ACTIVE)
            Owner->State = GUI_STATE_INACTIVE;
    }
    // Screens open only windows that are not shown; a second listing makes
    // the handler run twice per frame, which is worth a line.
    if (std::find(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), this) != GUI_OpenWindows.end())
        std::fprintf(stderr, "TGUI_Window.Show(%s): already open, listed again\n", Name.c_str());
    GUI_OpenWindows.push_back(this);
    ForgetHover(false);
}

void TGUI_Window::Hide()
{
    if (Shown == 0)
        return;
    Shown = 0;
    // A button pressed in any window gets no release.
    ForgetHover(true);
    auto listed = std::find(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), this);
    if (listed != GUI_OpenWindows.end())
        GUI_OpenWindows.erase(listed);
    TGUI_Processor* processor = GUI_Input.Processor;
    if (processor == nullptr || processor->ActiveWindow != this)
        return;
    processor->LeftObject = nullptr;
    processor->HoveredObject = nullptr;
    if (Owner != nullptr) {
        // A closed owner does not take the active role back: no window takes
        // input until another one is opened.
        if (Owner->State == GUI_STATE_CLOSED)
            Owner = nullptr;
        else
            processor->ActiveWindow = Owner;
        if (processor->ActiveWindow->State == GUI_STATE_INACTIVE)
            processor->ActiveWindow->State = GUI_STATE_ACTIVE;
    } else {
        processor->ActiveWindow = nullptr;
    }
    GUI_ResetFocusHooks();
}

TGUI_Object* TGUI_Window::GetObject(int32_t index) const
{
    if (index < 0 || static_cast<size_t>(index) >= Objects.size())
        return nullptr;
    return Objects[static_cast<size_t>(index)];
}

void TGUI_Window::Draw()
{
    if (Visible == 0 || DrawScene == -1 || Render == nullptr)
        return;
    if (Background != -1)
        Render->Sprite_Draw(DrawScene, Background, X, Y, -1);
    for (TGUI_Object* object : Objects)
        if (object != nullptr && object->DrawnByWindow != 0)
            object->Draw(DrawScene);
}

void TGUI_Window::AdjustIndexes(int32_t p, bool last)
{
    if (State != GUI_STATE_ACTIVE)
        return;
    const int32_t end = static_cast<int32_t>(Objects.size()) - 1;
    for (int32_t* index : {&PressedLeft, &PressedRight, &PrevHovered, &Hovered}) {
        if (*index == -1)
            continue;
        if (last) {
            if (*index == p)
                *index = end;
            else if (*index > p)
                (*index)--;
        } else {
            if (*index == p)
                *index = 0;
            else if (*index < p)
                (*index)++;
        }
    }
}

void TGUI_Window::MoveObjectLast(TGUI_Object* object)
{
    auto found = std::find(Objects.begin(), Objects.end(), object);
    if (found == Objects.end())
        return;
    const int32_t p = static_cast<int32_t>(found - Objects.begin());
    std::rotate(found, found + 1, Objects.end());
    AdjustIndexes(p, true);
}

void TGUI_Window::MoveObjectFirst(TGUI_Object* object)
{
    auto found = std::find(Objects.begin(), Objects.end(), object);
    if (found == Objects.end())
        return;
    const int32_t p = static_cast<int32_t>(found - Objects.begin());
    std::rotate(Objects.begin(), found, found + 1);
    AdjustIndexes(p, false);
}

void TGUI_Window::Destroy()
{
    if (Shown != 0)
        Hide();
    // A window listed twice would stay listed once more after the hiding.
    GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), this), GUI_OpenWindows.end());
    // The last window of the chain: the program ends.
    if (Owner == nullptr)
        PostMessage(GetMainWindow(), WM_CLOSE, 0, 0);
    if (TGUI_Processor* processor = GUI_Input.Processor) {
        for (TGUI_PendingState& entry : processor->Pending)
            if (entry.Window == this)
                entry.Window = nullptr;
        if (processor->ActiveWindow == this)
            processor->ActiveWindow = nullptr;
        if (Owns(this, processor->LeftObject))
            processor->LeftObject = nullptr;
        if (Owns(this, processor->HoveredObject))
            processor->HoveredObject = nullptr;
    }
    for (TGUI_Window* window : GUI_OpenWindows)
        if (window->Owner == this)
            window->Owner = nullptr;
    delete this;
}

// ---------------------------------------------------------------------------
// The base object

void GUI_EmptyHandler(TGUI_Object*) {}

TGUI_Handler GUI_OnObjectDestroyed = nullptr;

TGUI_Object::TGUI_Object(T3D_Render* render) : Render(render) {}

TGUI_Object::~TGUI_Object()
{
    if (GUI_OnObjectDestroyed != nullptr)
        GUI_OnObjectDestroyed(this);
}

void TGUI_Object::MouseDown()
{
    OnMouseDown(this);
}

void TGUI_Object::MouseUp()
{
    OnClick(this);
}

void TGUI_Object::RightMouseDown()
{
    OnRightDown(this);
}

void TGUI_Object::RightMouseUp()
{
    OnRightUp(this);
}

void TGUI_Object::MouseOver()
{
    if (GUI_Keys[GUI_KEY_LBUTTON].Down != 0 || GUI_Keys[GUI_KEY_RBUTTON].Down != 0)
        OnOverPressed(this);
    else
        OnOver(this);
}

void TGUI_Object::MouseEnter()
{
    OnEnter(this);
}

void TGUI_Object::MouseLeave()
{
    OnLeave(this);
}

void TGUI_Object::SizeFromSprite(int32_t sprite)
{
    const T3D_Sprite* look = Render != nullptr ? Render->Sprite_Get(sprite) : nullptr;
    if (look == nullptr)
        return;
    if (Width == 0)
        Width = static_cast<int32_t>(std::nearbyint(look->Width));
    if (Height == 0)
        Height = static_cast<int32_t>(std::nearbyint(look->Height));
}

void TGUI_Object::Draw(int32_t scene)
{
    if (Sprite == -1 || scene == -1 || Render == nullptr)
        return;
    SizeFromSprite(Sprite);
    if (Visible != 0)
        Render->Sprite_Draw(scene, Sprite, X, Y, -1);
}

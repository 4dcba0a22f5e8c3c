// The toolkit's driver and its windows, driven by synthetic messages and
// frame steps run by hand on the recording device.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "engine/QX9_System.h"
#include "engine/QX9_System_Window.h"
#include "platform/os/OS.h"
#include "tests/render/GUITestSupport.h"

extern char** environ;

namespace {

using TGUIDriverTest = TGUITest;

// A window with recording objects, opened as the first window.
struct TObjectWindow {
    TGUI_Window* Window = nullptr;
    std::vector<std::unique_ptr<TRecordingObject>> Objects;
};

class TGUIDispatchTest : public TGUITest {
protected:
    TRecordingObject* Add(const std::string& name, int32_t x, int32_t y, int32_t width, int32_t height)
    {
        Objects.push_back(std::make_unique<TRecordingObject>(Render.get(), Events, name, x, y, width, height));
        Main->Objects.push_back(Objects.back().get());
        return Objects.back().get();
    }
    void Open()
    {
        OpenFirst(Main);
        Frame();
        Events.clear();
    }
    void SetUp() override
    {
        TGUITest::SetUp();
        Main = NewWindow("main");
        Events.clear();
    }
    TGUI_Window* Main = nullptr;
    std::vector<std::unique_ptr<TRecordingObject>> Objects;
    std::vector<std::string> Events;
};

using Strings = std::vector<std::string>;

TEST_F(TGUIDispatchTest, PressOverNothingThenMoveOntoAnObjectAndRelease)
{
    TRecordingObject* button = Add("button", 10, 10, 20, 20);
    Open();
    Move(0, 0);
    Press(0, 0);
    Frame();
    EXPECT_EQ(Events, Strings{});
    Move(15, 15);
    Frame(10);
    // The press is a level: the object gets it when the mouse arrives.
    EXPECT_EQ(Events, (Strings{"button MouseEnter", "button MouseDown"}));
    EXPECT_EQ(button->PressTime, 1010);
    EXPECT_EQ(button->EnterTime, 1010);
    Release(15, 15);
    Frame(10);
    EXPECT_EQ(Events, (Strings{"button MouseEnter", "button MouseDown", "button MouseUp"}));
    EXPECT_EQ(button->ReleaseTime, 1020);
    EXPECT_EQ(button->PressTime, -1);
    EXPECT_EQ(Main->PressedLeft, -1);
    EXPECT_GT(button->Over, 0);
}

TEST_F(TGUIDispatchTest, ReleaseAfterLeavingStillGoesToThePressedObject)
{
    TRecordingObject* button = Add("button", 10, 10, 20, 20);
    button->Tag = 42;
    Open();
    Move(15, 15);
    Frame();
    EXPECT_EQ(Processor->HoveredObject, button);
    EXPECT_EQ(Processor->HoveredTag, 42);
    Press(15, 15);
    Frame();
    Move(100, 100);
    Frame(5);
    EXPECT_EQ(Processor->LeftObject, button);
    EXPECT_EQ(Processor->HoveredObject, nullptr);
    EXPECT_EQ(Processor->HoveredTag, 42) << "kept after leaving";
    EXPECT_EQ(button->LeaveTime, 1005);
    EXPECT_EQ(button->EnterTime, -1);
    Release(100, 100);
    Frame();
    EXPECT_EQ(Events, (Strings{"button MouseEnter", "button MouseDown", "button MouseLeave", "button MouseUp"}));
}

TEST_F(TGUIDispatchTest, RightButtonPressAndRelease)
{
    Add("button", 10, 10, 20, 20);
    Open();
    Send(WM_RBUTTONDOWN, MK_RBUTTON, MakeLParam(12, 12));
    Frame();
    Send(WM_RBUTTONUP, 0, MakeLParam(60, 60));
    Frame();
    EXPECT_EQ(Events,
              (Strings{"button MouseEnter", "button RightMouseDown", "button MouseLeave", "button RightMouseUp"}));
}

TEST_F(TGUIDispatchTest, HitTestEdgesOverlapAndVisibility)
{
    TRecordingObject* first = Add("first", 10, 10, 20, 20);
    TRecordingObject* second = Add("second", 20, 20, 20, 20);
    struct TCase {
        int32_t X, Y;
        bool First, Second;
    } cases[] = {
        {10, 10, true, false}, {30, 30, true, true},  {31, 30, false, true},  {9, 15, false, false},
        {25, 25, true, true},  {40, 40, false, true}, {41, 40, false, false},
    };
    for (const TCase& c : cases) {
        Move(c.X, c.Y);
        EXPECT_EQ(GUI_HitTest(first), c.First) << c.X << "," << c.Y;
        EXPECT_EQ(GUI_HitTest(second), c.Second) << c.X << "," << c.Y;
    }
    EXPECT_FALSE(GUI_HitTest(nullptr));

    // Overlap: the earlier object takes the events; an invisible but enabled
    // object still catches the mouse, a disabled one lets it through.
    Open();
    Move(25, 25);
    first->Visible = 0;
    Frame();
    EXPECT_EQ(Events, Strings{"first MouseEnter"});
    first->Enabled = 0;
    Frame();
    EXPECT_EQ(Events, (Strings{"first MouseEnter", "first MouseLeave", "second MouseEnter"}));
}

TEST_F(TGUIDispatchTest, MouseInVirtualPixels)
{
    struct TCase {
        float Scale;
        int32_t Client, Virtual;
    } cases[] = {{1.0f, 7, 7}, {1.5f, 3, 4}, {1.5f, 5, 8}, {0.5f, 5, 2}, {0.5f, 7, 4}, {1.0f, 65535, 65535}};
    for (const TCase& c : cases) {
        GUI_Input.ScaleX = GUI_Input.ScaleY = c.Scale;
        Move(c.Client, c.Client);
        EXPECT_EQ(GUI_Input.ClientX, c.Client);
        EXPECT_EQ(GUI_Input.VirtualX, c.Virtual) << c.Scale << " x " << c.Client;
        EXPECT_EQ(GUI_Input.VirtualY, c.Virtual);
    }
    GUI_Input.ScaleX = GUI_Input.ScaleY = 1;
    Add("a", 0, 0, 5, 5);
    Open();
    Move(3, 4);
    Frame();
    Move(10, 1);
    Frame();
    EXPECT_EQ(GUI_Input.DeltaX, 7);
    EXPECT_EQ(GUI_Input.DeltaY, -3);
    EXPECT_EQ(GUI_Input.LastX, 10);
}

TEST_F(TGUIDriverTest, KeysHeldWhileAWindowOpensAreSwallowed)
{
    KeyDown('A');
    KeyDown(VK_SHIFT);
    Press(0, 0);
    TGUI_Window* window = NewWindow("w");
    OpenFirst(window);
    EXPECT_EQ(GUI_Keys['A'].Down, 0);
    EXPECT_EQ(GUI_Keys['A'].Swallowed, 1);
    EXPECT_EQ(GUI_Keys[GUI_KEY_LBUTTON].Swallowed, 1);
    KeyDown('A'); // a repeat
    EXPECT_EQ(GUI_Keys['A'].Down, 0);
    KeyUp('A');
    EXPECT_EQ(GUI_Keys['A'].Released, 0);
    EXPECT_EQ(GUI_Keys['A'].Swallowed, 0);
    // The mouse buttons don't look at the swallowed byte.
    Release(0, 0);
    EXPECT_EQ(GUI_Keys[GUI_KEY_LBUTTON].Released, 1);
    Frame();
    EXPECT_EQ(GUI_Keys[GUI_KEY_LBUTTON].Released, 0);
    EXPECT_EQ(GUI_Keys[GUI_KEY_LBUTTON].Swallowed, 0);
    // A fresh press of the key counts again.
    KeyDown('A');
    EXPECT_EQ(GUI_Keys['A'].Down, 1);
    KeyUp('A');
    EXPECT_EQ(GUI_Keys['A'].Released, 1);
    Frame();
    EXPECT_EQ(GUI_Keys['A'].Released, 0);
    EXPECT_EQ(GUI_Keys['A'].Down, 0);
}

TEST_F(TGUIDriverTest, SystemKeysNeverReachTheKeyTable)
{
    EXPECT_NE(Send(WM_SYSKEYDOWN, VK_MENU, 1 | KF_ALTDOWN_BIT), 1);
    Send(WM_SYSKEYDOWN, 'X', 1 | KF_ALTDOWN_BIT);
    Send(WM_SYSCHAR, 'x', 1 | KF_ALTDOWN_BIT);
    Send(WM_SYSKEYUP, 'X', 1 | KF_ALTDOWN_BIT | KF_UP_BIT);
    Send(WM_SYSKEYDOWN, VK_F10, 1);
    Send(WM_SYSKEYUP, VK_F10, 1 | KF_UP_BIT);
    for (int32_t key = 0; key < GUI_KEY_COUNT; key++) {
        EXPECT_EQ(GUI_Keys[static_cast<size_t>(key)].Down, 0) << key;
        EXPECT_EQ(GUI_Keys[static_cast<size_t>(key)].Released, 0) << key;
    }
    EXPECT_TRUE(GUI_Input.TypedText.empty());
    // Key codes beyond the table are ignored, not written past it.
    EXPECT_EQ(Send(WM_KEYDOWN, 300, 1), 0);
    EXPECT_EQ(Send(WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
}

TEST_F(TGUIDriverTest, TypedTextAndWheel)
{
    Type(u"a\bb\tЖ");
    Send(WM_CHAR, 13, 1);
    EXPECT_EQ(GUI_Input.TypedText, u"abЖ") << "control characters are dropped";
    Send(WM_MOUSEWHEEL, MakeWParam(0, 120), 0);
    Send(WM_MOUSEWHEEL, MakeWParam(0, -360), 0);
    EXPECT_EQ(GUI_Input.Wheel, -240);
    Frame();
    EXPECT_TRUE(GUI_Input.TypedText.empty());
    EXPECT_EQ(GUI_Input.Wheel, 0);
}

int32_t PreFrames = 0;
void CountPreFrame()
{
    PreFrames++;
}

TEST_F(TGUIDispatchTest, UnusableDeviceSkipsTheWholeStep)
{
    Add("button", 10, 10, 20, 20);
    Open();
    Processor->PreFrameHook = CountPreFrame;
    PreFrames = 0;
    Log.clear();
    Device.CooperativeAnswers = {D3DERR_DEVICELOST, D3DERR_DEVICELOST};
    Type(u"xy");
    Send(WM_MOUSEWHEEL, MakeWParam(0, 120), 0);
    Move(15, 15);
    Press(15, 15);
    Release(15, 15);
    Frame();
    EXPECT_EQ(PreFrames, 0);
    EXPECT_EQ(Events, Strings{});
    EXPECT_EQ(Log, Strings{});
    Type(u"z");
    Send(WM_MOUSEWHEEL, MakeWParam(0, 120), 0);
    EXPECT_EQ(GUI_Input.TypedText, u"xyz");
    EXPECT_EQ(GUI_Input.Wheel, 240);
    EXPECT_EQ(GUI_Keys[GUI_KEY_LBUTTON].Released, 1);

    // The device comes back after its reset: the step runs with everything
    // that piled up.
    Device.CooperativeAnswers = {D3DERR_DEVICENOTRESET};
    Frame();
    EXPECT_EQ(PreFrames, 1);
    EXPECT_EQ(Events, Strings{"button MouseEnter"});
    EXPECT_EQ(Log, Strings{"main ACTIVE"});
    EXPECT_TRUE(GUI_Input.TypedText.empty());
    EXPECT_EQ(GUI_Input.Wheel, 0);
}

TGUI_Window* PostedFromHook = nullptr;
void PostOpenFromHook()
{
    PostedFromHook->PostState(GUI_STATE_OPEN);
}

TEST_F(TGUIDriverTest, StatesPostedFromHandlersActInTheSameStepFromHooksNever)
{
    TGUI_Window* first = NewWindow("first");
    TGUI_Window* second = NewWindow("second");
    OpenFirst(first);
    Log.clear();

    PostedFromHook = second;
    Processor->PostFrameHook = PostOpenFromHook;
    Frame();
    Processor->PostFrameHook = GUI_EmptyHook;
    Processor->PreFrameHook = PostOpenFromHook;
    Frame();
    Processor->PreFrameHook = GUI_EmptyHook;
    second->PostState(GUI_STATE_OPEN); // between steps
    Frame();
    EXPECT_EQ(Log, (Strings{"first ACTIVE", "first ACTIVE", "first ACTIVE"}));
    EXPECT_EQ(second->Shown, 0);

    Log.clear();
    PostFromHandler = {{second, GUI_STATE_OPEN}, {second, 7}};
    Frame();
    EXPECT_EQ(Log, (Strings{"first ACTIVE", "second OPEN", "second 7"}));
    EXPECT_EQ(second->State, 7);
    EXPECT_EQ(first->State, GUI_STATE_INACTIVE);
}

TEST_F(TGUIDriverTest, CursorSprite)
{
    // Without a cursor sprite nothing changes.
    Processor->ShowSystemCursor(false);
    EXPECT_EQ(GUI_Input.SpriteCursor, 0);
    EXPECT_EQ(GUI_Input.SystemCursorHidden, 0);

    const int32_t sprite = Look(8, 8);
    Processor->Windowed = 0;
    Processor->SetCursorSprite(sprite);
    EXPECT_EQ(Render->CursorSprite, sprite);
    EXPECT_EQ(Render->CursorX, &GUI_Input.VirtualX);
    EXPECT_EQ(Render->CursorVisible, &GUI_Input.SystemCursorHidden);
    EXPECT_EQ(GUI_Input.SystemCursorHidden, 1);
    const int counter = ShowCursor(false) + 1;
    ShowCursor(true);
    Processor->ShowSystemCursor(true);
    EXPECT_EQ(GUI_Input.SpriteCursor, 0);
    EXPECT_EQ(GUI_Input.SystemCursorHidden, 0);
    EXPECT_EQ(ShowCursor(false), counter) << "shown once more";
    Processor->ShowSystemCursor(false);
    EXPECT_EQ(GUI_Input.SpriteCursor, 1);
    EXPECT_EQ(GUI_Input.SystemCursorHidden, 1);
    EXPECT_EQ(ShowCursor(true), counter);
}

TEST_F(TGUIDriverTest, ActivationPausesTheClock)
{
    ResumeTimer();
    struct TCase {
        UINT Message;
        WPARAM WParam;
        bool Active;
    } cases[] = {
        {WM_KILLFOCUS, 0, false},          {WM_SETFOCUS, 0, true}, {WM_ACTIVATE, WA_INACTIVE, false},
        {WM_ACTIVATE, 0x10001, false},     {WM_ACTIVATE, 2, true}, {WM_ACTIVATE, 0x10000, true},
        {WM_ACTIVATE, WA_INACTIVE, false}, {WM_ACTIVATE, 1, true},
    };
    for (const TCase& c : cases) {
        Send(c.Message, c.WParam, 0);
        EXPECT_EQ(LoopActive, c.Active) << c.Message << " " << c.WParam;
        EXPECT_EQ(LoopInactive, !c.Active);
        EXPECT_EQ(ClockPaused, !c.Active);
    }
    ResumeTimer();
}

// ---------------------------------------------------------------------------
// The state machine

TEST_F(TGUIDriverTest, AWindowAboveAnotherAndBack)
{
    TGUI_Window* a = NewWindow("A");
    TGUI_Window* b = NewWindow("B");
    OpenFirst(a);
    EXPECT_EQ(Processor->ActiveWindow, a);
    EXPECT_EQ(a->Owner, nullptr);
    Log.clear();
    PostFromHandler = {{b, GUI_STATE_OPEN}};
    Frame();
    EXPECT_EQ(a->State, GUI_STATE_INACTIVE);
    EXPECT_EQ(b->Owner, a);
    EXPECT_EQ(Processor->ActiveWindow, b);
    Frame();
    PostFromHandler = {{b, GUI_STATE_CLOSE}};
    Frame();
    // Closing B gives A the active role within the step.
    EXPECT_EQ(a->State, GUI_STATE_ACTIVE);
    EXPECT_EQ(b->State, GUI_STATE_CLOSED);
    EXPECT_EQ(Processor->ActiveWindow, a);
    Frame();
    EXPECT_EQ(Log, (Strings{"A ACTIVE", "B OPEN", "A INACTIVE", "B ACTIVE", "A INACTIVE", "B ACTIVE", "B CLOSE",
                            "A ACTIVE"}));
    EXPECT_EQ(GUI_OpenWindows, std::vector<TGUI_Window*>{a});
}

TEST_F(TGUIDriverTest, CloseSelfAndOpenNextInOneFrame)
{
    TGUI_Window* root = NewWindow("root");
    TGUI_Window* screen = NewWindow("screen");
    TGUI_Window* next = NewWindow("next");
    OpenFirst(root);
    PostFromHandler = {{screen, GUI_STATE_OPEN}};
    Frame();
    Log.clear();
    PostFromHandler = {{screen, GUI_STATE_CLOSE}, {next, GUI_STATE_OPEN}};
    Frame();
    EXPECT_EQ(Log, (Strings{"root INACTIVE", "screen ACTIVE", "screen CLOSE", "next OPEN"}));
    // The window active when next was shown: root, given back by the close.
    EXPECT_EQ(next->Owner, root);
    EXPECT_EQ(root->State, GUI_STATE_INACTIVE);
    EXPECT_EQ(Processor->ActiveWindow, next);
}

TEST_F(TGUIDispatchTest, OwnerClosedFirstLeavesNoWindowTakingInput)
{
    Add("button", 0, 0, 50, 50);
    Open();
    TGUI_Window* top = NewWindow("top");
    PostFromHandler = {{top, GUI_STATE_OPEN}};
    Frame();
    PostFromHandler = {{Main, GUI_STATE_CLOSE}};
    Frame();
    EXPECT_EQ(Processor->ActiveWindow, top);
    PostFromHandler = {{top, GUI_STATE_CLOSE}};
    Frame();
    EXPECT_EQ(Processor->ActiveWindow, top) << "the hidden window keeps the role";
    EXPECT_EQ(top->Owner, nullptr);
    EXPECT_EQ(Main->State, GUI_STATE_CLOSED);
    Events.clear();
    Move(10, 10);
    Press(10, 10);
    Frame();
    EXPECT_EQ(Events, Strings{});
}

TEST_F(TGUIDriverTest, ShowingAListedWindowListsItTwice)
{
    TGUI_Window* a = NewWindow("A");
    OpenFirst(a);
    Log.clear();
    PostFromHandler = {{a, GUI_STATE_OPEN}};
    Frame();
    Frame();
    EXPECT_EQ(Log, (Strings{"A ACTIVE", "A OPEN", "A ACTIVE", "A ACTIVE"}));
    EXPECT_EQ(GUI_OpenWindows.size(), 2u);
    a->Hide();
    EXPECT_EQ(GUI_OpenWindows.size(), 1u);
}

TEST_F(TGUIDriverTest, DestroyLeavesNothingPointingAtTheWindow)
{
    TGUI_Window* root = NewWindow("root");
    TGUI_Window* doomed = NewWindow("doomed", false);
    OpenFirst(root);
    PostFromHandler = {{doomed, GUI_STATE_OPEN}};
    Frame();
    Log.clear();
    // An entry for the window after its destruction is skipped.
    PostFromHandler = {{doomed, GUI_STATE_DESTROY}, {doomed, 5}, {doomed, GUI_STATE_CLOSE}};
    Frame();
    EXPECT_EQ(Log, (Strings{"root INACTIVE", "doomed ACTIVE", "doomed DESTROY"}));
    EXPECT_EQ(Processor->ActiveWindow, root);
    EXPECT_EQ(root->State, GUI_STATE_ACTIVE);
    EXPECT_EQ(GUI_OpenWindows, std::vector<TGUI_Window*>{root});

    // A window above a destroyed one forgets its owner.
    TGUI_Window* top = NewWindow("top", false);
    PostFromHandler = {{top, GUI_STATE_OPEN}};
    Frame();
    TGUI_Window* above = NewWindow("above");
    PostFromHandler = {{above, GUI_STATE_OPEN}};
    Frame();
    EXPECT_EQ(above->Owner, top);
    PostFromHandler = {{top, GUI_STATE_DESTROY}};
    Frame();
    EXPECT_EQ(above->Owner, nullptr);
    EXPECT_EQ(Processor->ActiveWindow, above);

    // The hidden window that kept the active role (its owner closed first),
    // destroyed: no window is active any more.
    TGUI_Window* last = NewWindow("last", false);
    PostFromHandler = {{last, GUI_STATE_OPEN}};
    Frame();
    PostFromHandler = {{root, GUI_STATE_CLOSE}, {above, GUI_STATE_CLOSE}, {last, GUI_STATE_CLOSE}};
    Frame();
    EXPECT_EQ(Processor->ActiveWindow, last);
    EXPECT_TRUE(GUI_OpenWindows.empty());
    last->Destroy();
    EXPECT_EQ(Processor->ActiveWindow, nullptr);
}

TEST_F(TGUIDispatchTest, MovingObjectsKeepsPressAndHoverOnTheSameObjects)
{
    TRecordingObject* a = Add("a", 0, 0, 10, 10);
    TRecordingObject* b = Add("b", 20, 0, 10, 10);
    TRecordingObject* c = Add("c", 40, 0, 10, 10);
    Open();
    Move(25, 5);
    Press(25, 5);
    Frame();
    ASSERT_EQ(Main->PressedLeft, 1);
    Main->MoveObjectFirst(b);
    EXPECT_EQ(Main->Objects, (std::vector<TGUI_Object*>{b, a, c}));
    EXPECT_EQ(Main->PressedLeft, 0);
    EXPECT_EQ(Main->Hovered, 0);
    EXPECT_EQ(Main->PrevHovered, 0);
    Main->MoveObjectLast(a);
    EXPECT_EQ(Main->Objects, (std::vector<TGUI_Object*>{b, c, a}));
    EXPECT_EQ(Main->PressedLeft, 0);
    Main->MoveObjectLast(b);
    EXPECT_EQ(Main->Objects, (std::vector<TGUI_Object*>{c, a, b}));
    EXPECT_EQ(Main->PressedLeft, 2);
    Main->MoveObjectFirst(a);
    EXPECT_EQ(Main->PressedLeft, 2);
    EXPECT_EQ(Main->PressedRight, -1);
    Main->MoveObjectFirst(nullptr);
    Release(25, 5);
    Frame();
    EXPECT_EQ(Events, (Strings{"a MouseLeave", "b MouseEnter", "b MouseDown", "b MouseUp"}));

    // Not active: the list changes, the indexes stay.
    Main->State = GUI_STATE_INACTIVE;
    Main->PressedLeft = 1;
    Main->MoveObjectFirst(b);
    EXPECT_EQ(Main->PressedLeft, 1);
    EXPECT_EQ(Main->Objects.front(), b);
}

TEST_F(TGUIDriverTest, WindowDrawing)
{
    TGUI_Window* window = NewWindow("w");
    window->X = 5;
    window->Y = 6;
    window->Background = Look(30, 30);
    TGUI_Object plain(Render.get()), own(Render.get()), hidden(Render.get());
    plain.Sprite = Look(4, 4);
    plain.X = 7;
    own.Sprite = Look(4, 4);
    own.DrawnByWindow = 0;
    hidden.Sprite = Look(4, 4);
    hidden.Visible = 0;
    window->Objects = {&plain, nullptr, &own, &hidden};
    window->Draw();
    EXPECT_EQ(Drawn(), (std::vector<TDrawn>{{window->Background, 5, 6, -1}, {plain.Sprite, 7, 0, -1}}));
    EXPECT_EQ(hidden.Width, 4) << "size taken even when not shown";
    EXPECT_EQ(window->GetObject(1), nullptr);
    EXPECT_EQ(window->GetObject(4), nullptr);
    EXPECT_EQ(window->GetObject(-1), nullptr);
    window->DrawScene = -1;
    window->Draw();
    EXPECT_TRUE(Drawn().empty());
}

// ---------------------------------------------------------------------------
// With a main window (offscreen): the message loop and the end of the program.

class TGUIMainWindowTest : public TGUITest {
protected:
    void SetUp() override
    {
        TGUITest::SetUp();
        Window_Shutdown();
        Window_SetOpenGL(false);
        MainWindowHandle = nullptr;
        ClassRegistered = false;
        Processor->Init(64, 48, 1, Render.get());
        Processor->TimeSource = &TestTime;
        ASSERT_NE(GetMainWindow(), nullptr);
    }
    void TearDown() override
    {
        SetMessageLoopSleep(nullptr);
        Window_Shutdown();
        Window_SetOpenGL(true);
        MainWindowHandle = nullptr;
        ClassRegistered = false;
        ResumeTimer();
        TGUITest::TearDown();
    }
    bool CloseQueued()
    {
        TMsg msg;
        bool seen = false;
        while (PeekMessage(msg, true))
            seen |= msg.Message == WM_CLOSE && msg.Window == GetMainWindow();
        return seen;
    }
};

TEST_F(TGUIMainWindowTest, OnlyAnOwnerlessDestroyEndsTheProgram)
{
    EXPECT_EQ(GUI_Input.MouseOutside, 1);
    TGUI_Window* root = NewWindow("root", false);
    TGUI_Window* owned = NewWindow("owned", false);
    OpenFirst(root);
    PostFromHandler = {{owned, GUI_STATE_OPEN}};
    Frame();
    CloseQueued();
    PostFromHandler = {{owned, GUI_STATE_DESTROY}};
    Frame();
    EXPECT_FALSE(CloseQueued());
    PostFromHandler = {{root, GUI_STATE_DESTROY}};
    Frame();
    EXPECT_TRUE(CloseQueued());
    EXPECT_EQ(Processor->ActiveWindow, nullptr);
    EXPECT_TRUE(GUI_OpenWindows.empty());
}

int32_t LoopFrames = 0;
int32_t FramesWhenInactive = -1;
int32_t InactiveSleeps = 0;
bool ClockPausedWhileInactive = false;

void LoopPreFrame()
{
    LoopFrames++;
    if (LoopFrames == 2)
        PostMessage(GetMainWindow(), WM_KILLFOCUS, 0, 0);
    if (FramesWhenInactive >= 0 && LoopFrames > FramesWhenInactive)
        PostQuitMessage(0);
}

void LoopSleep(uint32_t)
{
    if (FramesWhenInactive < 0)
        FramesWhenInactive = LoopFrames;
    ClockPausedWhileInactive = ClockPaused;
    if (++InactiveSleeps == 3)
        PostMessage(GetMainWindow(), WM_SETFOCUS, 0, 0);
}

TEST_F(TGUIMainWindowTest, RunShowsTheFirstWindowAndLosingTheFocusStopsFrameSteps)
{
    TGUI_Window* first = NewWindow("first");
    Processor->PreFrameHook = LoopPreFrame;
    SetMessageLoopSleep(LoopSleep);
    LoopFrames = InactiveSleeps = 0;
    FramesWhenInactive = -1;
    Processor->Run(first);
    EXPECT_EQ(Log.front(), "first OPEN");
    EXPECT_EQ(first->State, GUI_STATE_ACTIVE);
    EXPECT_EQ(FramesWhenInactive, 2);
    EXPECT_GE(InactiveSleeps, 3);
    EXPECT_EQ(LoopFrames, 3) << "no frame step between the focus loss and its return";
    EXPECT_TRUE(ClockPausedWhileInactive);
    EXPECT_FALSE(ClockPaused);
}

// ---------------------------------------------------------------------------
// A real X window (Xvfb) driven by xdotool: the test runs this program again
// under xvfb-run with the probe below, which shows a window with a button and
// an edit, lets xdotool click and type, and prints what its handlers saw.

std::string FindProgram(const std::string& name)
{
    const std::string path = OS_GetEnv("PATH");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string candidate = path.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

// Runs the command with extra environment entries, its output into a file;
// the exit status.
int RunWithOutput(std::vector<std::string> args, const std::vector<std::string>& extraEnv, const std::string& output)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env(extraEnv);
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        bool replaced = false;
        for (const std::string& extra : extraEnv)
            replaced |= entry.compare(0, extra.find('=') + 1, extra, 0, extra.find('=') + 1) == 0;
        if (!replaced)
            env.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(GUIXvfbTest, ClickAndTypeInARealWindow)
{
    for (const char* program : {"xvfb-run", "xauth", "Xvfb", "xdotool"})
        if (FindProgram(program).empty())
            GTEST_SKIP() << program << " is not installed";
    TTempFolder folder;
    const std::string output = folder.Path() + "probe.log";
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
    // Under LeakSanitizer: the desktop bus library that SDL's X11 system
    // loads keeps a buffer to the end of the process.
    folder.WriteFile("lsan.supp", "leak:libdbus-1.so\n");
    std::string lsan = OS_GetEnv("LSAN_OPTIONS");
    lsan += (lsan.empty() ? "" : ":") + std::string("suppressions=") + folder.Path() + "lsan.supp";
    const int status =
        RunWithOutput({"xvfb-run", "-a", "-s", "-screen 0 1024x768x24", self,
                       "--gtest_filter=GUIXvfbProbe.DISABLED_ButtonAndEdit", "--gtest_also_run_disabled_tests"},
                      {"SDL_VIDEODRIVER=x11", "LSAN_OPTIONS=" + lsan}, output);
    const std::string log = folder.ReadFile("probe.log");
    EXPECT_EQ(status, 0) << log;
    EXPECT_NE(log.find("button OnClick\n"), std::string::npos) << log;
    EXPECT_NE(log.find("committed \"Ab1\"\n"), std::string::npos) << log;
}

const std::string ProbeTitle = "Duskmarch GUI probe";
TGUI_Edit* ProbeEdit = nullptr;
bool ProbeClicked = false;
bool ProbeCommitted = false;
size_t ProbeStep = 0;
bool ProbeStarted = false;
std::chrono::steady_clock::time_point ProbeStepStart;
T3D_Render* ProbeRender = nullptr;
int32_t ProbeScene = -1;

struct TProbeStep {
    const char* Name;
    std::string Command;
    std::function<bool()> Done;
};
std::vector<TProbeStep> ProbeSteps;

void ProbeFrame()
{
    // Nothing renders the list here: empty it every frame.
    ProbeRender->Scene_Get(ProbeScene)->ClearDrawList();
    if (ProbeStep >= ProbeSteps.size())
        return;
    const TProbeStep& step = ProbeSteps[ProbeStep];
    if (!ProbeStarted) {
        ProbeStarted = true;
        ProbeStepStart = std::chrono::steady_clock::now();
        // In the background: the loop goes on while xdotool acts.
        EXPECT_EQ(std::system((step.Command + " &").c_str()), 0) << step.Command;
        return;
    }
    if (step.Done()) {
        ProbeStep++;
        ProbeStarted = false;
        if (ProbeStep == ProbeSteps.size())
            PostMessage(GetMainWindow(), WM_CLOSE, 0, 0);
        return;
    }
    // A guard against a hang, not a measurement.
    if (std::chrono::steady_clock::now() - ProbeStepStart > std::chrono::seconds(20)) {
        ADD_FAILURE() << "step \"" << step.Name << "\" saw nothing";
        ProbeStep = ProbeSteps.size();
        PostMessage(GetMainWindow(), WM_CLOSE, 0, 0);
    }
}

using GUIXvfbProbe = TGUITest;

TEST_F(GUIXvfbProbe, DISABLED_ButtonAndEdit)
{
    Window_SetOpenGL(false);
    Processor->ApplicationName = ProbeTitle;
    Processor->Init(320, 200, 1, Render.get());
    Processor->TimeSource = &GetTimeMs;
    ProbeRender = Render.get();
    ProbeScene = Scene;
    ASSERT_NE(GetMainWindow(), nullptr);

    TGUI_Window* window = NewWindow("probe");
    window->Handler = GUI_DefaultWindowHandler;
    TGUI_Button button(Render.get());
    button.X = 20;
    button.Y = 20;
    button.Width = 100;
    button.Height = 30;
    button.OnClick = [](TGUI_Object*) {
        std::printf("button OnClick\n");
        std::fflush(stdout);
        ProbeClicked = true;
    };
    TGUI_Edit edit(Render.get());
    edit.X = 20;
    edit.Y = 100;
    edit.Width = 200;
    edit.Height = 30;
    edit.SetFont(AddFixedFont(*Render, 10, 20));
    edit.OnCommit = [](TGUI_Object*) {
        std::string text;
        for (char16_t c : ProbeEdit->Text)
            text.push_back(static_cast<char>(c));
        std::printf("committed \"%s\"\n", text.c_str());
        std::fflush(stdout);
        ProbeCommitted = true;
    };
    ProbeEdit = &edit;
    window->Objects = {&button, &edit};

    const std::string find = "xdotool search --name '^" + ProbeTitle + "$'";
    const std::string at = "xdotool mousemove --window $(" + find + ") ";
    // Buttons and keys are held a moment: the frame step reads levels, and a
    // press and release within one frame are one release without a press.
    const std::string click = " mousedown 1 sleep 0.2 mouseup 1";
    ProbeSteps = {
        {"focus", find + " windowfocus", [] { return true; }},
        {"click the button", at + "60 35" + click, [] { return ProbeClicked; }},
        {"click the edit", at + "60 115" + click, [] { return ProbeEdit->HasFocus(); }},
        {"type", "xdotool type Ab1", [] { return ProbeEdit->Text == u"Ab1"; }},
        {"Enter", "xdotool keydown Return sleep 0.2 keyup Return", [] { return ProbeCommitted; }},
    };
    Processor->PostFrameHook = ProbeFrame;
    Processor->Run(window);
    EXPECT_EQ(ProbeStep, ProbeSteps.size());
    Window_Shutdown();
}

} // namespace

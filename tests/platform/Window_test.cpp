// The window layer headless: SDL events pushed into the queue come out as the
// Windows messages a window procedure expects.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "platform/window/WindowSDL.h"
#include "tests/support/EnvOverride.h"

namespace {

struct TRecorded {
    UINT Message;
    WPARAM WParam;
    LPARAM LParam;
};
std::vector<TRecorded> Recorded;

// Records every message and leaves the rest to the default procedure, as the
// GUI does for the messages it doesn't handle.
LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Recorded.push_back({message, wParam, lParam});
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProc(window, message, wParam, lParam);
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        Window_SetOpenGL(false);
        Recorded.clear();
        Window = MakeWindow();
        ASSERT_NE(Window, nullptr);
    }
    void TearDown() override {
        Window_Shutdown();
        Window_SetOpenGL(true);
    }

    static HWND MakeWindow() {
        TWindowCreateParams params;
        params.ClassName = "Test";
        params.Title = "Window test";
        params.X = 10;
        params.Y = 20;
        params.Width = 320;
        params.Height = 200;
        params.Procedure = RecordingProc;
        return Window_Create(params);
    }

    uint32_t Id() const { return SDL_GetWindowID(Window_GetSDLWindow(Window)); }

    // Dispatches everything waiting, as the message loop would.
    static void Drain() {
        TMsg msg;
        while (PeekMessage(msg, true) && msg.Message != WM_QUIT)
            DispatchMessage(msg);
    }

    HWND Window = nullptr;
};

// ---------------------------------------------------------------------------
// Building SDL events

SDL_Event Key(uint32_t window, bool down, SDL_Keycode sym, SDL_Scancode code, uint16_t mod = KMOD_NONE,
              bool repeat = false) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = window;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = code;
    e.key.keysym.mod = mod;
    return e;
}

SDL_Event Button(uint32_t window, bool down, uint8_t button, int x, int y, uint8_t clicks = 1) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = window;
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = clicks;
    e.button.x = x;
    e.button.y = y;
    return e;
}

SDL_Event Motion(uint32_t window, int x, int y, uint32_t state = 0) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = window;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.state = state;
    return e;
}

SDL_Event Wheel(uint32_t window, int y, float preciseY = 0.0f, bool flipped = false) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = window;
    e.wheel.y = y;
    e.wheel.preciseY = preciseY;
    e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
    return e;
}

SDL_Event WindowEvent(uint32_t window, uint8_t what) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = window;
    e.window.event = what;
    return e;
}

SDL_Event Text(uint32_t window, const char* utf8) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = window;
    SDL_strlcpy(e.text.text, utf8, sizeof(e.text.text));
    return e;
}

SDL_Event Quit() {
    SDL_Event e{};
    e.type = SDL_QUIT;
    return e;
}

struct TExpected {
    UINT Message;
    WPARAM WParam;
    std::optional<LPARAM> LParam = std::nullopt;
};

constexpr uint16_t Alt = KMOD_LALT;

TEST_F(WindowTest, SdlEventsBecomeTheMessagesTheProcedureHandles) {
    const LPARAM repeatBits = 1 | KF_REPEAT_BIT;
    struct TRow {
        const char* Name;
        std::function<std::vector<SDL_Event>(uint32_t)> Events;
        std::vector<TExpected> Expected;
    };
    const TRow rows[] = {
        {"Escape",
         [](uint32_t w) {
             return std::vector{Key(w, true, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE),
                                Key(w, false, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE)};
         },
         {{WM_KEYDOWN, 27}, {WM_KEYUP, 27}}},
        {"auto-repeat arrives as further key-downs",
         [](uint32_t w) {
             return std::vector{Key(w, true, SDLK_a, SDL_SCANCODE_A), Key(w, true, SDLK_a, SDL_SCANCODE_A, 0, true),
                                Key(w, false, SDLK_a, SDL_SCANCODE_A)};
         },
         {{WM_KEYDOWN, 'A', 1}, {WM_KEYDOWN, 'A', repeatBits}, {WM_KEYUP, 'A', repeatBits | KF_UP_BIT}}},
        {"Alt+X is a system key only",
         [](uint32_t w) {
             return std::vector{Key(w, true, SDLK_LALT, SDL_SCANCODE_LALT, Alt),
                                Key(w, true, SDLK_x, SDL_SCANCODE_X, Alt), Key(w, false, SDLK_x, SDL_SCANCODE_X, Alt),
                                Key(w, false, SDLK_LALT, SDL_SCANCODE_LALT)};
         },
         {{WM_SYSKEYDOWN, VK_MENU}, {WM_SYSKEYDOWN, 'X'}, {WM_SYSKEYUP, 'X'}, {WM_SYSKEYUP, VK_MENU}}},
        {"F10 is a system key",
         [](uint32_t w) {
             return std::vector{Key(w, true, SDLK_F10, SDL_SCANCODE_F10), Key(w, false, SDLK_F10, SDL_SCANCODE_F10)};
         },
         {{WM_SYSKEYDOWN, VK_F10}, {WM_SYSKEYUP, VK_F10}}},
        {"F11 is an ordinary key",
         [](uint32_t w) { return std::vector{Key(w, true, SDLK_F11, SDL_SCANCODE_F11)}; },
         {{WM_KEYDOWN, VK_F11}}},
        {"Ctrl+Alt (AltGr) types ordinary keys",
         [](uint32_t w) {
             return std::vector{Key(w, true, SDLK_q, SDL_SCANCODE_Q, KMOD_LCTRL | KMOD_RALT), Text(w, "@")};
         },
         {{WM_KEYDOWN, 'Q'}, {WM_CHAR, '@'}}},
        {"Alt+F4 closes the window through the default procedure",
         [](uint32_t w) { return std::vector{Key(w, true, SDLK_F4, SDL_SCANCODE_F4, Alt)}; },
         {{WM_SYSKEYDOWN, VK_F4}, {WM_SYSCOMMAND, SC_CLOSE}, {WM_CLOSE, 0}, {WM_DESTROY, 0}}},
        {"keys with generic and positional codes",
         [](uint32_t w) {
             return std::vector{
                 Key(w, true, SDLK_RSHIFT, SDL_SCANCODE_RSHIFT), Key(w, true, SDLK_RCTRL, SDL_SCANCODE_RCTRL),
                 Key(w, true, SDLK_BACKQUOTE, SDL_SCANCODE_GRAVE), Key(w, true, SDLK_SEMICOLON, SDL_SCANCODE_SEMICOLON),
                 Key(w, true, SDLK_KP_5, SDL_SCANCODE_KP_5, KMOD_NUM), Key(w, true, SDLK_KP_5, SDL_SCANCODE_KP_5),
                 Key(w, true, SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER),
                 Key(w, true, SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE), Key(w, true, SDLK_3, SDL_SCANCODE_3),
                 // A Cyrillic layout: the letter key keeps its position's code.
                 Key(w, true, 0x0439, SDL_SCANCODE_Q)};
         },
         {{WM_KEYDOWN, VK_SHIFT},
          {WM_KEYDOWN, VK_CONTROL},
          {WM_KEYDOWN, 192},
          {WM_KEYDOWN, VK_OEM_1},
          {WM_KEYDOWN, 101},
          {WM_KEYDOWN, VK_CLEAR},
          {WM_KEYDOWN, VK_RETURN},
          {WM_KEYDOWN, VK_BACK},
          {WM_KEYDOWN, '3'},
          {WM_KEYDOWN, 'Q'}}},
        {"text as UTF-16 code units",
         [](uint32_t w) { return std::vector{Text(w, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80")}; },
         {{WM_CHAR, 'a'}, {WM_CHAR, 0xE9}, {WM_CHAR, 0x20AC}, {WM_CHAR, 0xD83D}, {WM_CHAR, 0xDE00}}},
        {"text while Alt is held is a system character",
         [](uint32_t w) {
             return std::vector{Key(w, true, SDLK_LALT, SDL_SCANCODE_LALT, Alt), Text(w, "x")};
         },
         {{WM_SYSKEYDOWN, VK_MENU}, {WM_SYSCHAR, 'x'}}},
        {"mouse move in client pixels",
         [](uint32_t w) {
             return std::vector{Motion(w, 300, 200), Motion(w, 5, 7, SDL_BUTTON_LMASK)};
         },
         {{WM_MOUSEMOVE, 0, 300 | (200 << 16)}, {WM_MOUSEMOVE, MK_LBUTTON, 5 | (7 << 16)}}},
        {"a double click is two plain button-downs",
         [](uint32_t w) {
             return std::vector{Button(w, true, SDL_BUTTON_LEFT, 4, 5), Button(w, false, SDL_BUTTON_LEFT, 4, 5),
                                Button(w, true, SDL_BUTTON_LEFT, 4, 5, 2), Button(w, false, SDL_BUTTON_LEFT, 4, 5, 2)};
         },
         {{WM_LBUTTONDOWN, MK_LBUTTON, 4 | (5 << 16)},
          {WM_LBUTTONUP, 0},
          {WM_LBUTTONDOWN, MK_LBUTTON},
          {WM_LBUTTONUP, 0}}},
        {"right and middle buttons",
         [](uint32_t w) {
             return std::vector{Button(w, true, SDL_BUTTON_RIGHT, 1, 2), Button(w, false, SDL_BUTTON_RIGHT, 1, 2),
                                Button(w, true, SDL_BUTTON_MIDDLE, 1, 2), Button(w, false, SDL_BUTTON_MIDDLE, 1, 2)};
         },
         {{WM_RBUTTONDOWN, MK_RBUTTON}, {WM_RBUTTONUP, 0}, {WM_MBUTTONDOWN, MK_MBUTTON}, {WM_MBUTTONUP, 0}}},
        {"wheel in multiples of 120, positive away from the user",
         [](uint32_t w) {
             return std::vector{Wheel(w, 1), Wheel(w, -2), Wheel(w, 1, 0.0f, true), Wheel(w, 0, 0.25f)};
         },
         {{WM_MOUSEWHEEL, MakeWParam(0, 120)},
          {WM_MOUSEWHEEL, MakeWParam(0, -240)},
          {WM_MOUSEWHEEL, MakeWParam(0, -120)},
          {WM_MOUSEWHEEL, MakeWParam(0, 30)}}},
        {"focus gained, then lost: activate, then deactivate",
         [](uint32_t w) {
             return std::vector{WindowEvent(w, SDL_WINDOWEVENT_FOCUS_GAINED),
                                WindowEvent(w, SDL_WINDOWEVENT_FOCUS_GAINED),
                                WindowEvent(w, SDL_WINDOWEVENT_FOCUS_LOST)};
         },
         {{WM_ACTIVATE, WA_ACTIVE}, {WM_SETFOCUS, 0}, {WM_ACTIVATE, WA_INACTIVE}, {WM_KILLFOCUS, 0}}},
        {"minimise and restore",
         [](uint32_t w) {
             return std::vector{WindowEvent(w, SDL_WINDOWEVENT_FOCUS_GAINED), WindowEvent(w, SDL_WINDOWEVENT_MINIMIZED),
                                WindowEvent(w, SDL_WINDOWEVENT_RESTORED)};
         },
         {{WM_ACTIVATE, WA_ACTIVE},
          {WM_SETFOCUS, 0},
          {WM_ACTIVATE, 0x00010000},
          {WM_KILLFOCUS, 0},
          {WM_ACTIVATE, 0x00010001},
          {WM_SETFOCUS, 0}}},
        {"close: one WM_CLOSE although SDL reports it twice",
         [](uint32_t w) {
             return std::vector{WindowEvent(w, SDL_WINDOWEVENT_CLOSE), Quit()};
         },
         {{WM_CLOSE, 0}, {WM_DESTROY, 0}}},
        {"events of another window are not ours",
         [](uint32_t w) {
             return std::vector{Key(w + 100, true, SDLK_ESCAPE, SDL_SCANCODE_ESCAPE), Motion(w + 100, 1, 1)};
         },
         {}},
    };

    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        Window_Shutdown();
        Recorded.clear();
        Window = MakeWindow();
        ASSERT_NE(Window, nullptr);
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT); // the window's own start-up events
        for (SDL_Event event : row.Events(Id()))
            ASSERT_EQ(SDL_PushEvent(&event), 1);
        Drain();
        ASSERT_EQ(Recorded.size(), row.Expected.size());
        for (size_t i = 0; i < row.Expected.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(Recorded[i].Message, row.Expected[i].Message);
            EXPECT_EQ(Recorded[i].WParam, row.Expected[i].WParam);
            if (row.Expected[i].LParam) {
                EXPECT_EQ(Recorded[i].LParam, *row.Expected[i].LParam);
            }
        }
    }
}

TEST_F(WindowTest, PostedMessagesComeInOrderThenQuit) {
    ASSERT_TRUE(PostMessage(Window, WM_USER, 1, 2));
    ASSERT_TRUE(PostMessage(Window, WM_USER + 1, 3, 4));
    PostQuitMessage(7);
    TMsg msg;
    ASSERT_TRUE(PeekMessage(msg, false)); // a look leaves it waiting
    EXPECT_EQ(msg.Message, WM_USER);
    ASSERT_TRUE(PeekMessage(msg, true));
    EXPECT_EQ(msg.Message, WM_USER);
    EXPECT_EQ(msg.Window, Window);
    EXPECT_EQ(msg.WParam, 1u);
    EXPECT_EQ(msg.LParam, 2);
    ASSERT_TRUE(PeekMessage(msg, true));
    EXPECT_EQ(msg.Message, WM_USER + 1u);
    ASSERT_TRUE(PeekMessage(msg, true));
    EXPECT_EQ(msg.Message, WM_QUIT);
    EXPECT_EQ(msg.WParam, 7u);
    EXPECT_EQ(msg.Window, nullptr);
    EXPECT_FALSE(PeekMessage(msg, true));
}

TEST_F(WindowTest, ClosedWindowIsGoneButKeepsItsSurface) {
    EXPECT_EQ(SendMessage(Window, WM_CLOSE, 0, 0), 0);
    ASSERT_EQ(Recorded.size(), 2u);
    EXPECT_EQ(Recorded[0].Message, WM_CLOSE);
    EXPECT_EQ(Recorded[1].Message, WM_DESTROY);
    EXPECT_FALSE(IsWindow(Window));
    EXPECT_FALSE(PostMessage(Window, WM_USER, 0, 0));
    EXPECT_FALSE(DestroyWindow(Window));
    EXPECT_NE(Window_GetSDLWindow(Window), nullptr);
    // Messages that were waiting for it are dropped, the quit still comes.
    TMsg msg;
    ASSERT_TRUE(PeekMessage(msg, true));
    EXPECT_EQ(msg.Message, WM_QUIT);
}

TEST_F(WindowTest, ShowCursorKeepsWindowsCounter) {
    struct TRow {
        bool Show;
        int Counter;
        bool Visible;
    };
    const TRow rows[] = {
        {false, -1, false}, {false, -2, false}, {true, -1, false}, {true, 0, true}, {true, 1, true}, {false, 0, true},
    };
    for (const TRow& row : rows) {
        EXPECT_EQ(ShowCursor(row.Show), row.Counter);
        EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), row.Visible ? SDL_ENABLE : SDL_DISABLE) << "counter " << row.Counter;
    }
}

TEST_F(WindowTest, GeometryOfTheOuterAndClientRectangles) {
    TRect outer, client;
    ASSERT_TRUE(GetWindowRect(Window, outer));
    ASSERT_TRUE(GetClientRect(Window, client));
    // The offscreen system has no frame.
    EXPECT_EQ(outer.Left, 10);
    EXPECT_EQ(outer.Top, 20);
    EXPECT_EQ(outer.Width(), 320);
    EXPECT_EQ(outer.Height(), 200);
    EXPECT_EQ(client.Left, 0);
    EXPECT_EQ(client.Width(), 320);
    ASSERT_TRUE(SetWindowPos(Window, 50, 60, 640, 480));
    ASSERT_TRUE(GetWindowRect(Window, outer));
    EXPECT_EQ(outer.Left, 50);
    EXPECT_EQ(outer.Top, 60);
    EXPECT_EQ(outer.Right, 690);
    EXPECT_EQ(outer.Bottom, 540);
    TPoint point{70, 65};
    ASSERT_TRUE(ScreenToClient(Window, point));
    EXPECT_EQ(point.X, 20);
    EXPECT_EQ(point.Y, 5);
    EXPECT_GT(GetSystemMetrics(SM_CXSCREEN), 0);
    EXPECT_GT(GetSystemMetrics(SM_CYSCREEN), 0);
    TRect area;
    ASSERT_TRUE(Window_GetMonitorWorkArea(Window, area));
    EXPECT_GT(area.Width(), 0);
    EXPECT_TRUE(Window_SetProgramIcon(Window));
    EXPECT_TRUE(UpdateWindow(Window));
}

// The main window is made for OpenGL: painting it once goes through a GL
// context of its own.
TEST(WindowGLTest, MainWindowIsAnOpenGLWindowAndPaints) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the system GL driver leaks at load, which LeakSanitizer reports";
#endif
    TWindowCreateParams params;
    params.Title = "GL window test";
    params.Width = 64;
    params.Height = 48;
    HWND window = Window_Create(params);
    ASSERT_NE(window, nullptr);
    if ((SDL_GetWindowFlags(Window_GetSDLWindow(window)) & SDL_WINDOW_OPENGL) == 0) {
        Window_Shutdown();
        GTEST_SKIP() << "no OpenGL on this system";
    }
    EXPECT_FALSE(ShowWindow(window, SW_SHOWNORMAL)); // it was hidden
    EXPECT_TRUE(UpdateWindow(window));
    EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr); // painting leaves no context behind
    Window_Shutdown();
}

// PostMessage from several threads while the main thread takes messages:
// nothing is lost and each thread's messages keep their order.
TEST(WindowQueueThreadTest, PostFromManyThreads) {
    Window_SetOpenGL(false);
    TWindowCreateParams params;
    params.Title = "Queue test";
    params.Width = 32;
    params.Height = 32;
    HWND window = Window_Create(params);
    ASSERT_NE(window, nullptr);
    constexpr int threads = 4, perThread = 2000;
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t)
        posters.emplace_back([=] {
            for (int i = 0; i < perThread; ++i)
                PostMessage(window, WM_USER + t, static_cast<WPARAM>(i), 0);
        });
    std::vector<int> next(threads, 0);
    int received = 0;
    TMsg msg;
    while (received < threads * perThread) {
        if (!PeekMessage(msg, true)) {
            std::this_thread::yield();
            continue;
        }
        if (msg.Message < WM_USER || msg.Message >= WM_USER + threads)
            continue;
        int t = static_cast<int>(msg.Message - WM_USER);
        ASSERT_EQ(msg.WParam, static_cast<WPARAM>(next[t])) << "thread " << t;
        ++next[t];
        ++received;
    }
    for (auto& poster : posters)
        poster.join();
    Window_Shutdown();
    Window_SetOpenGL(true);
}

} // namespace

namespace {

// Test runs: a window that counts as active without a window manager, and
// input that only the script gives.
TEST_F(WindowTest, ForcedActivationAndScriptedInput) {
    TEnvOverride env;
    env.Set("DUSKMARCH_FORCE_ACTIVE", "1");
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    ShowWindow(Window, SW_SHOWNORMAL);
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT); // whatever the system says about the focus
    for (SDL_Event event : {WindowEvent(Id(), SDL_WINDOWEVENT_FOCUS_LOST), WindowEvent(Id(), SDL_WINDOWEVENT_MINIMIZED)})
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    Drain();
    ASSERT_EQ(Recorded.size(), 2u) << "active on showing, and no focus loss takes it back";
    EXPECT_EQ(Recorded[0].Message, WM_ACTIVATE);
    EXPECT_EQ(Recorded[0].WParam, WA_ACTIVE);
    EXPECT_EQ(Recorded[1].Message, WM_SETFOCUS);

    Recorded.clear();
    Window_SetScriptedInput(true);
    for (SDL_Event event : {Key(Id(), true, SDLK_a, SDL_SCANCODE_A), Motion(Id(), 7, 7), Text(Id(), "x"),
                            Button(Id(), true, SDL_BUTTON_LEFT, 7, 7), Wheel(Id(), 1)})
        ASSERT_EQ(SDL_PushEvent(&event), 1);
    Drain();
    EXPECT_TRUE(Recorded.empty()) << "the real devices are not heard";
    Window_ScriptedMove(Window, 5, 6);
    Window_ScriptedButton(Window, true, true);
    Window_ScriptedKey(Window, VK_ESCAPE, true);
    Window_ScriptedKey(Window, VK_ESCAPE, false);
    Window_ScriptedKey(Window, VK_F10, true);
    Window_ScriptedText(Window, u"h\u00e9");
    Window_ScriptedWheel(Window, -120);
    Window_ScriptedButton(Window, true, false);
    Drain();
    const std::vector<TExpected> expected = {
        {WM_MOUSEMOVE, 0, MakeLParam(5, 6)},
        {WM_RBUTTONDOWN, MK_RBUTTON, MakeLParam(5, 6)},
        {WM_KEYDOWN, VK_ESCAPE, 1},
        {WM_KEYUP, VK_ESCAPE, 1 | KF_REPEAT_BIT | KF_UP_BIT},
        {WM_SYSKEYDOWN, VK_F10, 1},
        {WM_CHAR, u'h'},
        {WM_CHAR, u'\u00e9'},
        {WM_MOUSEWHEEL, MakeWParam(MK_RBUTTON, -120)},
        {WM_RBUTTONUP, 0, MakeLParam(5, 6)},
    };
    ASSERT_EQ(Recorded.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Recorded[i].Message, expected[i].Message);
        EXPECT_EQ(Recorded[i].WParam, expected[i].WParam);
        if (expected[i].LParam) {
            EXPECT_EQ(Recorded[i].LParam, *expected[i].LParam);
        }
    }
    TPoint point;
    ASSERT_TRUE(GetCursorPos(point));
    ASSERT_TRUE(ScreenToClient(Window, point));
    EXPECT_EQ(point.X, 5);
    EXPECT_EQ(point.Y, 6);

    Window_SetScriptedInput(false);
    Recorded.clear();
    SDL_Event key = Key(Id(), true, SDLK_a, SDL_SCANCODE_A);
    ASSERT_EQ(SDL_PushEvent(&key), 1);
    Drain();
    ASSERT_EQ(Recorded.size(), 1u) << "the keyboard is heard again";
    EXPECT_EQ(Recorded[0].Message, WM_KEYDOWN);
}

} // namespace

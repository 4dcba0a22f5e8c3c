// The exception box on a real X server (Xvfb): the crash demonstration with
// the game's settings shows its SDL message box, and a click on "close
// application" ends it; in this process, the countdown and the open-box
// registry close a box nobody clicks. Every wait is bounded.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "crashreport/core/zorExcept_Box.h"
#include "crashreport/core/zorExcept_Presenters.h"
#include "tests/crashreport/ZorSettingsSupport.h"
#include "tests/support/Xvfb.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TestSupport.h"

// Last: Xlib's macros (Bool, Status, None) would break the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

struct TBoxOnScreen {
    Window Id = 0;
    int RootX = 0, RootY = 0;
    // The buttons' centres (window coordinates), left to right.
    std::vector<std::pair<int, int>> Buttons;
};

std::string WindowTitle(Display* display, Window window)
{
    XTextProperty property{};
    if (XGetWMName(display, window, &property) == 0 || property.value == nullptr)
        return "";
    std::string title(reinterpret_cast<const char*>(property.value), property.nitems);
    XFree(property.value);
    return title;
}

// The buttons of an SDL message box: the row near the bottom with the most
// runs (30 pixels or wider) of anything but the box's background.
std::vector<std::pair<int, int>> FindButtons(Display* display, Window window, int width, int height)
{
    std::vector<std::pair<int, int>> best;
    XImage* image = XGetImage(display, window, 0, 0, width, height, AllPlanes, ZPixmap);
    if (image == nullptr)
        return best;
    const unsigned long background = XGetPixel(image, 2, 2);
    for (int y = height - 3; y > height / 2; --y) {
        std::vector<std::pair<int, int>> runs;
        int start = -1;
        for (int x = 0; x <= width; ++x) {
            const bool filled = x < width && XGetPixel(image, x, y) != background;
            if (filled && start < 0)
                start = x;
            if (!filled && start >= 0) {
                if (x - start >= 30)
                    runs.push_back({(start + x) / 2, y});
                start = -1;
            }
        }
        if (runs.size() > best.size())
            best = runs;
    }
    XDestroyImage(image);
    return best;
}

// Waits (bounded) for a mapped top-level window of that title with that many
// buttons (a box shown again may have the same window id).
bool FindBox(const std::string& displayName, const std::string& title, size_t buttons, TBoxOnScreen& box)
{
    Display* display = XOpenDisplay(displayName.c_str());
    if (display == nullptr)
        return false;
    bool found = false;
    for (int attempt = 0; attempt < 300 && !found; ++attempt) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
            for (unsigned i = 0; i < count && !found; ++i) {
                XWindowAttributes attributes{};
                if (WindowTitle(display, children[i]) != title ||
                    XGetWindowAttributes(display, children[i], &attributes) == 0 || attributes.map_state != IsViewable)
                    continue;
                // Drawn after mapping: wait for the buttons to show.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                box.Id = children[i];
                box.Buttons = FindButtons(display, children[i], attributes.width, attributes.height);
                Window child = 0;
                XTranslateCoordinates(display, children[i], root, 0, 0, &box.RootX, &box.RootY, &child);
                found = box.Buttons.size() == buttons;
            }
            if (children != nullptr)
                XFree(children);
        }
        if (!found)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    XCloseDisplay(display);
    return found;
}

// The program's exit code (-1: it did not end in time). Whatever it started
// (the box's own process) goes with it: it runs in a process group of its own.
int WaitForExit(pid_t child, int timeoutMs)
{
    int status = 0;
    int code = -1;
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (waitpid(child, &status, WNOHANG) == child) {
            code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(-child, SIGKILL);
    if (code == -1)
        waitpid(child, &status, 0);
    return code;
}

// A failure with the game's settings in this process, its box on the test's
// own X server.
struct TScreenFailure {
    explicit TScreenFailure(uint8_t kind)
    {
        env.Set("DISPLAY", server.Name);
        env.Unset("DUSKMARCH_HEADLESS");
        exception->SetFailure(
            kind, kind == ZorFailureFrozen ? nullptr : std::make_exception_ptr(std::runtime_error("x")), 0, 0);
    }
    TXvfb server{true};
    TEnvOverride env;
    TSlotsGuard slots;
    TSettingsModule module{GameSettingsResource()};
    std::shared_ptr<TIZXException> exception = TIZXException::Create(ModuleSettings(module.Handle));
};

// Waits (bounded) for the exception's box to be open, then a moment more.
void WaitForOpenBox(const IZXException* exception)
{
    for (int i = 0; i < 300 && !IsBoxOpen(exception); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

} // namespace

TEST(ZorExceptBoxXvfbTest, TheGamesBoxClosesTheApplicationOnClick)
{
    if (FindOnPath("xdotool").empty())
        GTEST_SKIP() << "xdotool is not available";
    TXvfb server(true);
    if (server.Name.empty())
        GTEST_SKIP() << "Xvfb is not available";
    TTempFolder folder;
    const std::string program = folder.Path() + "crashdemo";
    // Linked, not a symbolic link: the report is stored beside the program.
    if (link(ZOR_CRASHDEMO, program.c_str()) != 0) {
        std::ifstream in(ZOR_CRASHDEMO, std::ios::binary);
        std::ofstream out(program, std::ios::binary);
        out << in.rdbuf();
        out.close();
        chmod(program.c_str(), 0755);
    }
    // The desktop's opener stands in: it notes what it was asked to open.
    const std::string opened = folder.Path() + "opened.txt";
    folder.WriteFile("bin/xdg-open", "#!/bin/sh\necho \"$1\" > '" + opened + "'\n");
    chmod((folder.Path() + "bin/xdg-open").c_str(), 0755);
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        setenv("DISPLAY", server.Name.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        setenv("PATH", (folder.Path() + "bin:" + getenv("PATH")).c_str(), 1);
        unsetenv("DUSKMARCH_HEADLESS");
        unsetenv("WAYLAND_DISPLAY");
        setenv("TMPDIR", folder.Path().c_str(), 1);
        unsetenv("XDG_RUNTIME_DIR");
        setenv("ASAN_OPTIONS",
               "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:use_sigaltstack=0", 1);
        execl(program.c_str(), program.c_str(), "raise-segv", "--window", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    setpgid(child, child); // also here: whichever runs first
    auto click = [&](const TBoxOnScreen& box, size_t button) {
        const auto [x, y] = box.Buttons[button];
        const std::string command = "DISPLAY=" + server.Name + " xdotool mousemove " + std::to_string(box.RootX + x) +
                                    " " + std::to_string(box.RootY + y) + " click 1";
        EXPECT_EQ(std::system(command.c_str()), 0);
    };
    // send, show, restart and close; continue can't be offered after a fault
    // of the main thread, and a message box can't show it disabled.
    TBoxOnScreen box;
    bool found = FindBox(server.Name, "crashdemo", 4, box);
    if (found) {
        click(box, 1); // show bug report: opened, and the box again without it
        TBoxOnScreen again;
        found = FindBox(server.Name, "crashdemo", 3, again);
        if (found)
            click(again, 2); // close application
        else
            ADD_FAILURE() << "not shown again with three buttons: " << again.Buttons.size();
    } else {
        ADD_FAILURE() << "no box titled with the program's name with four buttons: " << box.Buttons.size();
    }
    EXPECT_EQ(WaitForExit(child, found ? 30000 : 0), 1);
    const std::string report = ReadWholeFile(folder.Path() + "bugreport.txt");
    EXPECT_NE(report.find("External exception b."), std::string::npos) << report.substr(0, 400);
    const std::string view = ReadWholeFile(opened);
    EXPECT_EQ(view, folder.Path() + "crashdemo.zorExcept/bugreport.txt\n");
    EXPECT_NE(ReadWholeFile(view.substr(0, view.size() - 1)).find("External exception b."), std::string::npos);
}

TEST(ZorExceptBoxXvfbTest, CountdownAndRegistryCloseTheBox)
{
    TScreenFailure f(ZorFailureException);
    if (f.server.Name.empty())
        GTEST_SKIP() << "Xvfb is not available";
    const std::shared_ptr<TIZXException>& exception = f.exception;

    // AutoClose due with a delay of one second: the close button is pressed.
    exception->WriteSettingInt("AutoClose", 1);
    exception->WriteSettingInt("AutoDelay", 1);
    {
        TExceptionBox box(*exception, 0, 0);
        EXPECT_EQ(ShowBoxWithSdl(box), BoxBtnClose);
        EXPECT_FALSE(IsBoxOpen());
    }
    // Closed through the registry from another thread: no button.
    exception->WriteSettingInt("AutoClose", 0);
    TExceptionBox box(*exception, 0, 0);
    std::thread closer([&] {
        WaitForOpenBox(exception.get());
        CloseOpenBox(exception.get());
    });
    EXPECT_EQ(ShowBoxWithSdl(box), BoxClosedOutside);
    closer.join();
}

TEST(ZorExceptBoxXvfbTest, TheBoxOfAFrozenReportClosesWhenTheLoopRecovers)
{
    TScreenFailure f(ZorFailureFrozen);
    if (f.server.Name.empty())
        GTEST_SKIP() << "Xvfb is not available";
    const std::shared_ptr<TIZXException>& exception = f.exception;
    std::vector<uint8_t> actions;
    ZorSlots().NotifyHandlers = [&](THandlerWindow, uint8_t kind, uint8_t action, bool&, TIZXException&) {
        if (kind == ZorHandlerAction)
            actions.push_back(action);
    };
    // The watchdog's part: the main loop runs again once the box is up, and
    // the frozen report's box goes through the open-box registry.
    std::thread recovery([&exception] {
        WaitForOpenBox(exception.get());
        CloseOpenBox(exception.get());
    });
    EXPECT_TRUE(PresentException(*exception));
    recovery.join();
    EXPECT_TRUE(actions.empty()) << "closed without an action";
    EXPECT_FALSE(IsBoxOpen());
}

// The game program run as a player runs it: its own process on a private X
// server, with a fresh per-user data folder, optionally from a copy of the
// installation that lacks some files; its exit code, output and error output
// kept.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSupport.h"

// A copy of the installation beside a copy of the program, without the files
// named (paths relative to the installation, "/" separated). Large folders
// are linked, not copied; the program itself is a copy, since the game finds
// its installation beside its real file.
class TGameInstallation {
public:
    TGameInstallation(const std::string& program, const std::vector<std::string>& leaveOut)
    {
        namespace fs = std::filesystem;
        const fs::path source = fs::path(program).parent_path();
        const fs::path target = Folder.Path();
        std::error_code ec;
        for (const fs::directory_entry& entry : fs::directory_iterator(source, ec)) {
            const std::string name = entry.path().filename().string();
            if (Left(leaveOut, name))
                continue;
            if (entry.is_directory() && HoldsLeftOut(leaveOut, name)) {
                fs::create_directory(target / name, ec);
                for (const fs::directory_entry& inner : fs::directory_iterator(entry.path(), ec))
                    if (!Left(leaveOut, name + "/" + inner.path().filename().string()))
                        fs::create_symlink(inner.path(), target / name / inner.path().filename(), ec);
            } else if (name == fs::path(program).filename().string()) {
                fs::copy_file(entry.path(), target / name, ec);
                fs::permissions(target / name, fs::perms::owner_all, fs::perm_options::add, ec);
            } else {
                fs::create_symlink(entry.path(), target / name, ec);
            }
        }
        Program = (target / fs::path(program).filename()).string();
    }
    std::string Program;
    TTempFolder Folder;

private:
    static bool Left(const std::vector<std::string>& leaveOut, const std::string& relative)
    {
        for (const std::string& entry : leaveOut)
            if (entry == relative)
                return true;
        return false;
    }
    static bool HoldsLeftOut(const std::vector<std::string>& leaveOut, const std::string& folder)
    {
        for (const std::string& entry : leaveOut)
            if (entry.rfind(folder + "/", 0) == 0)
                return true;
        return false;
    }
};

// One run of the program on the display with the data home.
class TGameProcess {
public:
    TGameProcess(const std::string& program, const std::string& display, const std::string& dataHome,
                 const std::vector<std::string>& parameters = {})
    {
        ErrFile = Folder.Path() + "/stderr.txt";
        OutFile = Folder.Path() + "/stdout.txt";
        // The X11 video driver starts the system's message bus library, which
        // keeps a buffer of its own to the end; in sanitizer builds the
        // program's leak check leaves that library out. The video library
        // keeps one small buffer of its own (104 bytes, allocated inside the
        // library once a game reaches the map) to the end as well.
        const std::string suppressions =
            Folder.WriteFile("lsan.supp", "leak:libdbus-1.so\nleak:libSDL2-2.0.so\n");
        const char* lsan = std::getenv("LSAN_OPTIONS");
        const std::string lsanOptions =
            (lsan != nullptr && *lsan != 0 ? std::string(lsan) + ":" : std::string()) + "suppressions=" + suppressions;
        Pid = fork();
        if (Pid == 0) {
            const int err = open(ErrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (err >= 0)
                dup2(err, 2);
            const int out = open(OutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out >= 0)
                dup2(out, 1);
            // An empty display name: a machine without any display.
            if (display.empty()) {
                unsetenv("DISPLAY");
                unsetenv("WAYLAND_DISPLAY");
                unsetenv("SDL_VIDEODRIVER");
            } else {
                setenv("DISPLAY", display.c_str(), 1);
                setenv("SDL_VIDEODRIVER", "x11", 1);
            }
            setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            setenv("DUSKMARCH_HEADLESS", "1", 1);
            // No window manager hands out the focus on a test server.
            setenv("DUSKMARCH_FORCE_ACTIVE", "1", 1);
            setenv("LSAN_OPTIONS", lsanOptions.c_str(), 1);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const std::string& parameter : parameters)
                argv.push_back(const_cast<char*>(parameter.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
    }
    ~TGameProcess()
    {
        if (Pid > 0 && !Ended) {
            kill(Pid, SIGKILL);
            waitpid(Pid, nullptr, 0);
        }
    }
    // True once the process has ended within the time; its exit code then.
    bool WaitExit(int milliseconds)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!Ended && Pid > 0) {
            int status = 0;
            if (waitpid(Pid, &status, WNOHANG) == Pid) {
                Ended = true;
                ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() >= until)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return Ended;
    }
    bool Running() { return !WaitExit(0); }
    std::string Stderr() const { return ReadWholeFile(ErrFile); }
    std::string Stdout() const { return ReadWholeFile(OutFile); }

    pid_t Pid = -1;
    bool Ended = false;
    int ExitCode = -1;

private:
    TTempFolder Folder;
    std::string ErrFile;
    std::string OutFile;
};

// Runs xdotool on the display; its exit code.
inline int XDoTool(const std::string& display, const std::string& arguments)
{
    const std::string command = "DISPLAY=" + display + " xdotool " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str());
}

// Holds Esc over the game's window until the game has ended or the time is
// up: the press lasts a few frames, so a frame sees the key down.
inline bool PressEscapeUntilExit(TGameProcess& game, const std::string& display, int milliseconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    XDoTool(display, "mousemove 5 5");
    while (std::chrono::steady_clock::now() < until) {
        XDoTool(display, "keydown Escape");
        const bool ended = game.WaitExit(150);
        XDoTool(display, "keyup Escape");
        if (ended || game.WaitExit(150))
            return true;
    }
    return false;
}

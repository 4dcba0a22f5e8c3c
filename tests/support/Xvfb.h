// A private X server for the tests that need a display (screenshots, message
// boxes, the game's own window): Xvfb on a display number it picks itself,
// with a bounded wait for it to come up.
#pragma once

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

inline std::string FindOnPath(const std::string& program)
{
    const char* path = getenv("PATH");
    std::string list = path ? path : "";
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        const std::string candidate = list.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

// Xvfb on a display number it picks itself; stopped when the object goes.
// Without -noreset the server resets when its last client leaves, and a
// connection made meanwhile is refused.
//
// With fonts, the server also has a scalable font (DejaVu Sans): its built-in
// fonts are fixed-width bitmap fonts only, and SDL's message box asks for a
// proportional one.
class TXvfb {
public:
    // screen: the screen's width x height x depth.
    explicit TXvfb(bool withFonts = false, const std::string& screen = "")
    {
        const std::string program = FindOnPath("Xvfb");
        if (program.empty())
            return;
        std::string fontPath;
        if (withFonts) {
            char folder[] = "/tmp/zorxvfb-fonts-XXXXXX";
            const char* font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
            if (mkdtemp(folder) == nullptr || access(font, R_OK) != 0)
                return;
            FontFolder = folder;
            const std::string list = "1\nDejaVuSans.ttf -misc-dejavu sans-medium-r-normal--0-0-0-0-p-0-iso10646-1\n";
            for (const char* name : {"/fonts.dir", "/fonts.scale"})
                if (FILE* file = std::fopen((FontFolder + name).c_str(), "w")) {
                    std::fputs(list.c_str(), file);
                    std::fclose(file);
                }
            if (symlink(font, (FontFolder + "/DejaVuSans.ttf").c_str()) != 0)
                return;
            fontPath = FontFolder + ",built-ins";
        }
        int fds[2];
        if (pipe(fds) != 0)
            return;
        Pid = fork();
        if (Pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            freopen("/dev/null", "w", stderr);
            const std::string size = !screen.empty() ? screen : withFonts ? "800x600x24" : "320x240x24";
            if (withFonts)
                execl(program.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", size.c_str(), "-nolisten",
                      "tcp", "-noreset", "-fp", fontPath.c_str(), static_cast<char*>(nullptr));
            execl(program.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", size.c_str(), "-nolisten", "tcp",
                  "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        pollfd p{fds[0], POLLIN, 0};
        std::string number;
        while (Pid > 0 && poll(&p, 1, 10000) > 0) {
            char c;
            if (read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number += c;
        }
        close(fds[0]);
        if (!number.empty())
            Name = ":" + number;
    }
    ~TXvfb()
    {
        if (Pid > 0) {
            kill(Pid, SIGTERM);
            waitpid(Pid, nullptr, 0);
        }
        if (!FontFolder.empty()) {
            for (const char* name : {"/fonts.dir", "/fonts.scale", "/DejaVuSans.ttf"})
                unlink((FontFolder + name).c_str());
            rmdir(FontFolder.c_str());
        }
    }
    std::string Name;

private:
    pid_t Pid = -1;
    std::string FontFolder;
};

// A private X server for the screenshot tests: Xvfb on a display number it
// picks itself, with a bounded wait for it to come up.
#pragma once

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

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
class TXvfb {
public:
    TXvfb()
    {
        const std::string program = FindOnPath("Xvfb");
        if (program.empty())
            return;
        int fds[2];
        if (pipe(fds) != 0)
            return;
        Pid = fork();
        if (Pid == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            freopen("/dev/null", "w", stderr);
            execl(program.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "320x240x24", "-nolisten", "tcp",
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
    }
    std::string Name;

private:
    pid_t Pid = -1;
};

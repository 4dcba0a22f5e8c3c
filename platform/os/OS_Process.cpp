// Environment, user, program file, processors, the per-user data folder and
// ending the process.
#include "platform/os/OS.h"

#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

std::string OS_GetEnv(const std::string& name)
{
    const char* value = getenv(name.c_str());
    return value ? value : "";
}

std::string OS_GetUserName()
{
    for (const char* name : {"USERNAME", "USER", "LOGNAME"}) {
        const std::string value = OS_GetEnv(name);
        if (!value.empty())
            return value;
    }
    return "";
}

std::string OS_GetModuleFileName()
{
    // The link's length is not known beforehand: grow until it fits whole.
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return "";
        if (static_cast<size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<size_t>(length));
            return OS_ToProgramPath(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

int OS_GetProcessorCount()
{
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count < 1 ? 1 : static_cast<int>(count);
}

std::string OS_GetLocalAppDataFolder()
{
    std::string folder = OS_GetEnv("XDG_DATA_HOME");
    // Relative values are to be ignored, by the XDG rules.
    if (folder.empty() || folder[0] != '/') {
        std::string home = OS_GetEnv("HOME");
        if (home.empty()) {
            passwd entry;
            passwd* found = nullptr;
            std::string buffer(16384, '\0');
            if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
                home = found->pw_dir;
        }
        if (home.empty())
            return "";
        while (home.size() > 1 && home.back() == '/')
            home.pop_back();
        folder = (home == "/" ? "" : home) + "/.local/share";
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return OS_ToProgramPath(folder);
}

void OS_ExitProcess(int code)
{
    fflush(nullptr);
    _exit(code);
}

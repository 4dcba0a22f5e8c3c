// Environment, user, program file, processors, the per-user data folder and
// ending the process.
#include "platform/os/OS.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sched.h>
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

std::string OS_GetProgramFileNative()
{
    // The link's length is not known beforehand: grow until it fits whole.
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return "";
        if (static_cast<size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<size_t>(length));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string OS_GetModuleFileName()
{
    return OS_ToProgramPath(OS_GetProgramFileNative());
}

std::string OS_GetProgramFolder()
{
    const std::string name = OS_GetModuleFileName();
    const size_t slash = name.find_last_of('\\');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

int OS_GetProcessorCount()
{
    // The processors this process may run on (taskset, a container's CPU
    // set), not all those online: a worker per processor it cannot use only
    // waits. The set is sized for however many processors the system has.
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    const long configured = sysconf(_SC_NPROCESSORS_CONF);
    for (int size = static_cast<int>(std::max({online, configured, 1024L})); size <= (1 << 20); size *= 2) {
        cpu_set_t* set = CPU_ALLOC(size);
        if (set == nullptr)
            break;
        const size_t bytes = CPU_ALLOC_SIZE(size);
        CPU_ZERO_S(bytes, set);
        if (sched_getaffinity(0, bytes, set) == 0) {
            const int count = CPU_COUNT_S(bytes, set);
            CPU_FREE(set);
            if (count >= 1)
                return count;
            break;
        }
        CPU_FREE(set);
        if (errno != EINVAL)
            break;
    }
    return online < 1 ? 1 : static_cast<int>(online);
}

namespace {

std::string HomeFolder()
{
    std::string home = OS_GetEnv("HOME");
    if (home.empty()) {
        passwd entry;
        passwd* found = nullptr;
        std::string buffer(16384, '\0');
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
            home = found->pw_dir;
    }
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home;
}

// An XDG folder: the variable's value when it is absolute (relative values
// are to be ignored, by the XDG rules), else the folder below the home
// folder. Program form, no trailing "\"; empty without a home folder.
std::string XdgFolder(const char* variable, const char* belowHome)
{
    std::string folder = OS_GetEnv(variable);
    if (folder.empty() || folder[0] != '/') {
        const std::string home = HomeFolder();
        if (home.empty())
            return "";
        folder = (home == "/" ? "" : home) + belowHome;
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return OS_ToProgramPath(folder);
}

} // namespace

std::string OS_GetLocalAppDataFolder()
{
    return XdgFolder("XDG_DATA_HOME", "/.local/share");
}

std::string OS_GetConfigFolder()
{
    return XdgFolder("XDG_CONFIG_HOME", "/.config");
}

std::string OS_GetShellFolder(int csidl)
{
    // Windows keeps roaming, local and common application data apart; a
    // Linux user has one data folder for all three.
    struct TShellFolder {
        int Id;
        std::string (*Folder)();
    };
    static const TShellFolder folders[] = {
        {0x10, [] { return XdgFolder("XDG_DESKTOP_DIR", "/Desktop"); }}, // desktop
        {0x1A, OS_GetLocalAppDataFolder},                                // application data
        {0x1C, OS_GetLocalAppDataFolder},                                // local application data
        {0x23, OS_GetLocalAppDataFolder},                                // common application data
    };
    for (const TShellFolder& folder : folders)
        if (folder.Id == csidl)
            return folder.Folder();
    return "";
}

void OS_ExitProcess(int code)
{
    fflush(nullptr);
    _exit(code);
}

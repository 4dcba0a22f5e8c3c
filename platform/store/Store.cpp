#include "platform/store/Store.h"

#include <dlfcn.h>

#include "platform/os/OS.h"

std::string StoreLibraryFileName(const std::string& windowsName)
{
    const size_t n = windowsName.size();
    if (n >= 4 && windowsName[n - 4] == '.' && (windowsName[n - 3] | 0x20) == 'd' &&
        (windowsName[n - 2] | 0x20) == 'l' && (windowsName[n - 1] | 0x20) == 'l')
        return windowsName.substr(0, n - 4) + ".so";
    return windowsName;
}

bool StoreWrapper_Load(const std::string& programPath, TStoreWrapper& wrapper)
{
    wrapper = TStoreWrapper{};
    // By full path: a library of this name elsewhere on the search path is
    // never picked up in its place.
    std::string path = OS_ResolvePath(StoreLibraryFileName(programPath));
    if (path.empty())
        return false;
    if (path.find('/') == std::string::npos)
        path = "./" + path;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return false;
    TStoreWrapper found;
    found.Start = reinterpret_cast<void (*)()>(dlsym(library, "DSAPI_Start"));
    found.Shutdown = reinterpret_cast<void (*)()>(dlsym(library, "DSAPI_Shutdown"));
    found.SetAchievement = reinterpret_cast<unsigned char (*)(const char*)>(dlsym(library, "DSAPI_SetAchievement"));
    if (!found.Start || !found.Shutdown || !found.SetAchievement) {
        dlclose(library);
        return false;
    }
    wrapper = found;
    return true;
}

// zorExcept: process helpers of the reporter core.
#include "crashreport/core/zorExcept_Process.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "crashreport/diagnostics/zorStrings.h"
#include "engine/QX9_System.h"
#include "platform/os/OS.h"

// ---------------------------------------------------------------------------
// Modules

void ListModules(TDAModule& modules)
{
    modules.clear();
    modules.reserve(16);
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto& list = *static_cast<TDAModule*>(data);
            // The first object listed is the program; it has no name of its own here.
            const bool program = list.empty() && (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0');
            const std::string name = program ? OS_GetProgramFileNative() : (info->dlpi_name ? info->dlpi_name : "");
            uintptr_t lowest = UINTPTR_MAX;
            for (int i = 0; i < info->dlpi_phnum; ++i)
                if (info->dlpi_phdr[i].p_type == PT_LOAD)
                    lowest = std::min<uintptr_t>(lowest, info->dlpi_phdr[i].p_vaddr);
            if (lowest == UINTPTR_MAX || name.empty())
                return 0;
            const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
            list.push_back({(info->dlpi_addr + lowest) & ~(page - 1), FileNamePartW(Utf8ToWide(name))});
            return 0;
        },
        &modules);
}

std::u16string ModuleFileName(TModuleHandle module)
{
    if (module == 0 || module == MainModuleHandle())
        return Utf8ToWide(OS_GetProgramFileNative());
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(module), &info) == 0 || info.dli_fname == nullptr ||
        reinterpret_cast<TModuleHandle>(info.dli_fbase) != module)
        return u"";
    return Utf8ToWide(info.dli_fname);
}

std::u16string StripExtension(const std::u16string& text)
{
    const size_t dot = text.rfind(u'.');
    return dot == std::u16string::npos ? text : text.substr(0, dot);
}

// ---------------------------------------------------------------------------
// Paths

std::u16string ReporterProgramFolder()
{
    std::string folder = ExePath.empty() ? OS_GetProgramFolder() : ExePath;
    std::replace(folder.begin(), folder.end(), '\\', '/');
    return Utf8ToWide(folder);
}

std::u16string AbsolutePath(const std::u16string& path)
{
    std::u16string full = path;
    std::replace(full.begin(), full.end(), u'\\', u'/');
    if (full.empty() || full[0] != u'/')
        full = ReporterProgramFolder() + full;

    // The components behind the root's "/", folded from the end: each ".."
    // takes the nearest folder before it that no other ".." took.
    std::vector<std::u16string> parts;
    for (size_t start = 1;;) {
        const size_t slash = full.find(u'/', start);
        parts.push_back(full.substr(start, slash == std::u16string::npos ? std::u16string::npos : slash - start));
        if (slash == std::u16string::npos)
            break;
        start = slash + 1;
    }
    const bool endsInStep = parts.back() == u"." || parts.back() == u"..";
    std::vector<std::u16string> kept;
    size_t pendingParents = 0;
    for (size_t i = parts.size(); i-- > 0;) {
        if (parts[i] == u".")
            continue;
        if (parts[i] == u"..")
            ++pendingParents;
        else if (pendingParents > 0)
            --pendingParents;
        else
            kept.push_back(parts[i]);
    }
    kept.insert(kept.end(), pendingParents, u"..");
    std::u16string result;
    for (size_t i = kept.size(); i-- > 0;)
        result += u"/" + kept[i];
    if (endsInStep || result.empty())
        result += u"/";
    return result;
}

// ---------------------------------------------------------------------------
// Temporary folder

namespace {

std::string TempFolderPath()
{
    std::string base;
    for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        base = OS_GetEnv(variable);
        if (!base.empty() && base[0] == '/')
            break;
        base.clear();
    }
    if (base.empty())
        base = "/tmp";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    const std::string program = WideToUtf8(StripExtension(FileNamePartW(ModuleFileName(0))));
    if (program.empty())
        return "";
    return (base == "/" ? "" : base) + "/" + program + ".zorExcept/";
}

// The folder opened when it is a real folder (no link) of our own user;
// -1 otherwise.
int OpenOwnFolder(const std::string& path)
{
    // Without the trailing "/": with it the system would follow a link.
    const std::string name = path.substr(0, path.find_last_not_of('/') + 1);
    const int fd = open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::u16string ReporterTempFolder()
{
    const std::string path = TempFolderPath();
    if (path.empty())
        return u"";
    mkdir(path.substr(0, path.rfind('/', path.size() - 2)).c_str(), 0700);
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return u"";
    const int fd = OpenOwnFolder(path);
    if (fd < 0)
        return u"";
    struct stat st;
    const bool isPrivate = fstat(fd, &st) == 0 && ((st.st_mode & 077) == 0 || fchmod(fd, 0700) == 0);
    close(fd);
    return isPrivate ? Utf8ToWide(path) : u"";
}

void ClearReporterTempFolder()
{
    const std::string path = TempFolderPath();
    if (path.empty())
        return;
    const int fd = OpenOwnFolder(path);
    if (fd < 0)
        return;
    // Entries are removed relative to the folder we checked, never by name
    // from the top again.
    const int listFd = dup(fd);
    if (DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr) {
        while (const dirent* entry = readdir(dir)) {
            struct stat st;
            if (fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
                unlinkat(fd, entry->d_name, 0);
        }
        closedir(dir);
    } else if (listFd >= 0) {
        close(listFd);
    }
    close(fd);
    rmdir(path.c_str());
}

std::u16string ComputerName()
{
    char name[256] = {};
    if (gethostname(name, sizeof(name) - 1) != 0)
        return u"";
    return Utf8ToWide(name);
}

// ---------------------------------------------------------------------------
// Stored values: one "key=value" line each, UTF-8. "%", "=" and line breaks
// are written as %25, %3D, %0D and %0A so that any text survives.

namespace {

std::mutex StoreLock;

std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '%':
            out += "%25";
            break;
        case '=':
            out += "%3D";
            break;
        case '\r':
            out += "%0D";
            break;
        case '\n':
            out += "%0A";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

std::string Unescaped(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = ZorDigitValueTable[static_cast<unsigned char>(text[i + 1])];
            const int low = ZorDigitValueTable[static_cast<unsigned char>(text[i + 2])];
            out.push_back(static_cast<char>(high << 4 | low));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

struct TStoredLine {
    std::u16string Key; // empty for a line that holds no value
    std::string Raw;
};

std::vector<TStoredLine> ReadStore()
{
    std::vector<uint8_t> bytes;
    std::vector<TStoredLine> lines;
    if (!OS_ReadWholeFile(RegistryFilePath(), bytes))
        return lines;
    for (const std::string& raw : SplitLinesA(std::string(bytes.begin(), bytes.end()))) {
        const size_t equals = raw.find('=');
        lines.push_back({equals == std::string::npos ? u"" : Utf8ToWide(Unescaped(raw.substr(0, equals))), raw});
    }
    return lines;
}

bool WriteStore(const std::vector<TStoredLine>& lines)
{
    const std::string file = RegistryFilePath();
    if (file.empty() || !OS_CreateDirectoryTree(file.substr(0, file.rfind('\\'))))
        return false;
    std::string text;
    for (const TStoredLine& line : lines)
        text += line.Raw + "\n";
    return OS_WriteFileAtomic(file, text.data(), text.size());
}

// The store's key of a value; empty for roots without a store.
std::u16string StoreKey(THKey root, const std::u16string& keyPath, const std::u16string& valueName)
{
    if (root != HKEY_CURRENT_USER)
        return u"";
    std::u16string key = keyPath;
    while (!key.empty() && key.back() == u'\\')
        key.pop_back();
    return key + u"\\" + valueName;
}

// A registry text ends at its first 0.
std::u16string UpToZero(const std::u16string& text)
{
    return text.substr(0, text.find(u'\0'));
}

} // namespace

std::string RegistryFilePath()
{
    const std::string config = OS_GetConfigFolder();
    return config.empty() ? "" : config + "\\Duskmarch\\zorExceptValues.txt";
}

std::u16string RegistryReadText(THKey root, const std::u16string& keyPath, const std::u16string& valueName)
{
    const std::u16string key = StoreKey(root, keyPath, valueName);
    if (key.empty())
        return u"";
    std::lock_guard guard(StoreLock);
    for (const TStoredLine& line : ReadStore())
        if (!line.Key.empty() && SameTextW(line.Key, key))
            return UpToZero(Utf8ToWide(Unescaped(line.Raw.substr(line.Raw.find('=') + 1))));
    return u"";
}

bool RegistryWriteText(THKey root, const std::u16string& keyPath, const std::u16string& valueName,
                       const std::u16string& text)
{
    const std::u16string key = StoreKey(root, keyPath, valueName);
    if (key.empty())
        return false;
    std::lock_guard guard(StoreLock);
    std::vector<TStoredLine> lines = ReadStore();
    std::erase_if(lines, [&](const TStoredLine& line) { return !line.Key.empty() && SameTextW(line.Key, key); });
    lines.push_back({key, Escaped(WideToUtf8(key)) + "=" + Escaped(WideToUtf8(UpToZero(text)))});
    return WriteStore(lines);
}

bool RegistryDeleteValue(THKey root, const std::u16string& keyPath, const std::u16string& valueName)
{
    const std::u16string key = StoreKey(root, keyPath, valueName);
    if (key.empty())
        return false;
    std::lock_guard guard(StoreLock);
    std::vector<TStoredLine> lines = ReadStore();
    const size_t removed =
        std::erase_if(lines, [&](const TStoredLine& line) { return !line.Key.empty() && SameTextW(line.Key, key); });
    return removed > 0 && WriteStore(lines);
}

// ---------------------------------------------------------------------------
// Clock and ranges

int64_t NowInSeconds()
{
    // From 1601 to 1970: 369 years, 89 of them leap years.
    constexpr int64_t secondsFrom1601To1970 = 11644473600;
    return static_cast<int64_t>(time(nullptr)) + secondsFrom1601To1970;
}

bool ZeroOrInRange(uintptr_t value, uintptr_t lower, uintptr_t upper)
{
    return value == 0 || (value >= lower && value <= upper);
}

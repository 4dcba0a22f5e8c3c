// The path resolver, attributes, folder searches and whole-file operations
// on names.
//
// The data names its files in any case ("Bonuses.Ini", "UI\btn_click.wav")
// while the disk has one spelling: each component of a program path is looked
// up as written first, then case-insensitively among the folder's entries.
// Nothing is cached, so a file created a moment ago is found at once.
#include "platform/os/OS.h"
#include "platform/os/OS_Internal.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsDirectory(const std::string& path)
{
    struct stat st;
    return stat(path.empty() ? "." : path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// One folder's entry names (without "." and ".."), empty when it can't be read.
std::vector<std::string> ReadFolder(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    return names;
}

struct TSortedName {
    std::u16string Key;
    std::string Name;
};

bool SortedBefore(const TSortedName& a, const TSortedName& b)
{
    if (a.Key != b.Key)
        return a.Key < b.Key;
    return a.Name < b.Name; // names equal but for case: a fixed order all the same
}

// The entry of the folder that a component names: as written when it exists,
// else the first case-insensitive match in sorted order; empty when none.
std::string MatchComponent(const std::string& folder, const std::string& component)
{
    struct stat st;
    const std::string exact = folder + component;
    if (lstat(exact.c_str(), &st) == 0)
        return component;
    const std::u16string wanted = OS_NameSortKey(component);
    bool found = false;
    TSortedName best;
    for (const std::string& name : ReadFolder(folder)) {
        TSortedName candidate{OS_NameSortKey(name), name};
        if (candidate.Key == wanted && (!found || SortedBefore(candidate, best))) {
            best = std::move(candidate);
            found = true;
        }
    }
    return found ? best.Name : std::string();
}

// Windows matching of one name against a mask with "*" and "?", ignoring case.
bool MatchKey(const std::u16string& mask, size_t m, const std::u16string& name, size_t n)
{
    size_t starMask = std::u16string::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == u'?' || mask[m] == name[n])) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == u'*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::u16string::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

bool MatchMask(const std::u16string& mask, const std::u16string& name)
{
    if (MatchKey(mask, 0, name, 0))
        return true;
    const bool hasDot = name.find(u'.') != std::u16string::npos;
    // As on Windows, a mask ending in ".*" also takes names without an
    // extension ("*.*" is every name), and one ending in "." takes only those.
    if (!hasDot && mask.size() >= 2 && mask.compare(mask.size() - 2, 2, u".*") == 0)
        return MatchKey(mask.substr(0, mask.size() - 2), 0, name, 0);
    if (!hasDot && mask.size() >= 2 && mask.back() == u'.')
        return MatchKey(mask.substr(0, mask.size() - 1), 0, name, 0);
    return false;
}

// dirFd and path locate the entry (as for faccessat); name is its own name.
uint32_t AttributesOf(const struct stat& st, int dirFd, const std::string& path, const std::string& name)
{
    uint32_t attributes;
    if (S_ISDIR(st.st_mode)) {
        attributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        attributes = FILE_ATTRIBUTE_ARCHIVE;
        if (faccessat(dirFd, path.c_str(), W_OK, 0) != 0)
            attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (!name.empty() && name[0] == '.' && name != "." && name != "..")
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes;
}

// The last component of a real path, trailing "/" ignored.
std::string LastComponent(const std::string& path)
{
    size_t end = path.size();
    while (end > 1 && path[end - 1] == '/')
        --end;
    const size_t slash = path.rfind('/', end - 1);
    const size_t start = (slash == std::string::npos) ? 0 : slash + 1;
    return path.substr(start, end - start);
}

struct TFindState {
    std::vector<TOSFindData> Entries;
    size_t Next = 0;
};

// Open searches by handle. Each search has its own entries; the table is
// locked only to find or remove one, so searches on several threads at once
// never meet.
std::mutex FindLock;
std::map<TOSFindHandle, std::unique_ptr<TFindState>> FindStates;
TOSFindHandle FindLastHandle = 0;

} // namespace

std::string OS_ResolvePath(const std::string& path)
{
    std::string real;
    size_t i = 0;
    if (!path.empty() && IsSeparator(path[0])) {
        real.push_back('/');
        while (i < path.size() && IsSeparator(path[i]))
            ++i;
    }
    bool resolving = true;
    while (i < path.size()) {
        size_t end = i;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        const std::string component = path.substr(i, end - i);
        const bool separatorFollows = end < path.size();
        i = end;
        while (i < path.size() && IsSeparator(path[i]))
            ++i;
        if (resolving && component != "." && component != "..") {
            const std::string match = MatchComponent(real, component);
            if (match.empty())
                resolving = false; // from here on the path is kept as written
            real += match.empty() ? component : match;
        } else {
            real += component;
        }
        if (separatorFollows)
            real += '/';
    }
    return real;
}

std::string OS_ToProgramPath(const std::string& nativePath)
{
    std::string path = nativePath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

uint32_t OS_GetFileAttributes(const std::string& path)
{
    if (path.empty())
        return INVALID_FILE_ATTRIBUTES;
    const std::string real = OS_ResolvePath(path);
    struct stat st;
    if (stat(real.c_str(), &st) != 0)
        return INVALID_FILE_ATTRIBUTES;
    return AttributesOf(st, AT_FDCWD, real, LastComponent(real));
}

uint32_t OS_FindFirstFile(const std::string& mask, TOSFindHandle& handle, TOSFindData& data)
{
    handle = INVALID_FIND_HANDLE;
    size_t split = mask.size();
    while (split > 0 && !IsSeparator(mask[split - 1]))
        --split;
    const std::string pattern = mask.substr(split);
    if (pattern.empty())
        return ERROR_FILE_NOT_FOUND;
    std::string folder = OS_ResolvePath(mask.substr(0, split));
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    if (!IsDirectory(folder))
        return ERROR_PATH_NOT_FOUND;

    std::vector<std::string> names = ReadFolder(folder);
    if (folder != "/") {
        // Windows lists the folder itself and its parent in every folder but the root.
        names.push_back(".");
        names.push_back("..");
    }
    const std::u16string maskKey = OS_NameSortKey(pattern);
    std::vector<TSortedName> matches;
    for (std::string& name : names) {
        std::u16string key = OS_NameSortKey(name);
        if (MatchMask(maskKey, key))
            matches.push_back({std::move(key), std::move(name)});
    }
    std::sort(matches.begin(), matches.end(), SortedBefore);

    // Entries are looked at relative to the open folder: no path walk each.
    const int folderFd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0)
        return ERROR_PATH_NOT_FOUND;
    auto state = std::make_unique<TFindState>();
    for (const TSortedName& match : matches) {
        const char* name = match.Name.c_str();
        struct stat st;
        if (fstatat(folderFd, name, &st, 0) != 0 && fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // gone meanwhile
        TOSFindData entry;
        entry.Name = match.Name;
        entry.Attributes = AttributesOf(st, folderFd, match.Name, match.Name);
        entry.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
        entry.WriteTime = st.st_mtim.tv_sec;
        entry.WriteTimeMs = static_cast<int32_t>(st.st_mtim.tv_nsec / 1000000);
        state->Entries.push_back(std::move(entry));
    }
    close(folderFd);
    if (state->Entries.empty())
        return ERROR_FILE_NOT_FOUND;
    data = state->Entries[0];
    state->Next = 1;
    std::lock_guard guard(FindLock);
    handle = ++FindLastHandle;
    FindStates[handle] = std::move(state);
    return ERROR_SUCCESS;
}

uint32_t OS_FindNextFile(TOSFindHandle handle, TOSFindData& data)
{
    std::lock_guard guard(FindLock);
    const auto it = FindStates.find(handle);
    if (it == FindStates.end())
        return ERROR_INVALID_HANDLE;
    TFindState& state = *it->second;
    if (state.Next >= state.Entries.size())
        return ERROR_NO_MORE_FILES;
    data = state.Entries[state.Next++];
    return ERROR_SUCCESS;
}

void OS_FindClose(TOSFindHandle handle)
{
    std::unique_ptr<TFindState> state;
    std::lock_guard guard(FindLock);
    const auto it = FindStates.find(handle);
    if (it != FindStates.end()) {
        state = std::move(it->second);
        FindStates.erase(it);
    }
}

bool OS_CreateDirectory(const std::string& path)
{
    const std::string real = OS_ResolvePath(path);
    if (real.empty())
        return false;
    return mkdir(real.c_str(), 0755) == 0 || (errno == EEXIST && IsDirectory(real));
}

bool OS_CreateDirectoryTree(const std::string& path)
{
    const std::string real = OS_ResolvePath(path);
    if (real.empty())
        return false;
    for (size_t i = 1; i <= real.size(); ++i) {
        if (i < real.size() && real[i] != '/')
            continue;
        const std::string level = real.substr(0, i);
        if (level.back() == '/')
            continue;
        if (mkdir(level.c_str(), 0755) != 0 && !(errno == EEXIST && IsDirectory(level)))
            return false;
    }
    return IsDirectory(real);
}

bool OS_DeleteFile(const std::string& path)
{
    const std::string real = OS_ResolvePath(path);
    struct stat st;
    if (real.empty() || lstat(real.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return unlink(real.c_str()) == 0;
}

bool OS_ReplaceFile(const std::string& from, const std::string& to)
{
    const std::string realFrom = OS_ResolvePath(from);
    const std::string realTo = OS_ResolvePath(to);
    if (realFrom.empty() || realTo.empty() || IsDirectory(realFrom))
        return false;
    return rename(realFrom.c_str(), realTo.c_str()) == 0;
}

bool OS_CopyFile(const std::string& from, const std::string& to)
{
    std::vector<uint8_t> bytes;
    if (!OS_ReadWholeFile(from, bytes))
        return false;
    if (!OS_WriteFileAtomic(to, bytes.data(), bytes.size()))
        return false;
    // A copy keeps the original's time of last writing, as on Windows.
    struct stat st;
    if (stat(OS_ResolvePath(from).c_str(), &st) == 0) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        utimensat(AT_FDCWD, OS_ResolvePath(to).c_str(), times, 0);
    }
    return true;
}

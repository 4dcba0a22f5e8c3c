// Files over POSIX descriptors; every name goes through the path resolver.
#include "platform/os/OS.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Fd(THandle h)
{
    return (h < 0 || h > INT32_MAX) ? -1 : static_cast<int>(h);
}

int OpenResolved(const std::string& path, int flags)
{
    if (path.empty())
        return -1;
    const std::string real = OS_ResolvePath(path);
    int fd;
    do {
        fd = open(real.c_str(), flags | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The folder of a real path, "." for a bare name.
std::string FolderOf(const std::string& real)
{
    const size_t slash = real.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : real.substr(0, slash);
}

// Follows a chain of symbolic links to the file it ends in (which may not
// exist yet): saving through a link replaces the file it points to and keeps
// the link. False, with errno set, for a loop or an unreadable link.
bool FollowLinks(std::string& real)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(real.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t length = readlink(real.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size()) {
            if (length >= 0)
                errno = ENAMETOOLONG; // the link changed under us
            return false;
        }
        target.resize(static_cast<size_t>(length));
        real = target[0] == '/' ? target : FolderOf(real) + "/" + target;
    }
    errno = ELOOP;
    return false;
}

// Writes the bytes to a target that is not a regular file (a FIFO, a device)
// through its own name. False, with errno set, unless every byte went.
bool WriteInPlace(const std::string& real, const void* data, size_t size)
{
    int fd;
    do {
        fd = open(real.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    errno = 0;
    bool ok = OS_WriteFile(fd, data, static_cast<int64_t>(size)) == static_cast<int64_t>(size);
    int error = errno != 0 ? errno : EIO;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    errno = error;
    return ok;
}

// Temporary files beside a target are named ".<name>.<pid>-<count>.tmp"
// (pid and count in hex): hidden, never the name of a file a user may keep
// there (such as "<name>.tmp"), and telling which process wrote them. The
// name is cut to stay within the length a file name may have.
std::string TemporaryPrefix(const std::string& base)
{
    return "." + base.substr(0, 200) + ".";
}

// A fresh name for a temporary file beside the target.
std::string TemporaryName(const std::string& folder, const std::string& base)
{
    static std::atomic<uint32_t> counter{0};
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, "%x-%x.tmp", static_cast<unsigned>(getpid()),
                  static_cast<unsigned>(counter.fetch_add(1)));
    return folder + "/" + TemporaryPrefix(base) + suffix;
}

// The writer's process of a temporary file of the target's name; 0 when the
// entry is no such file.
pid_t TemporaryWriter(const std::string& entry, const std::string& prefix)
{
    static const std::string tail = ".tmp";
    if (entry.size() <= prefix.size() + tail.size() || entry.compare(0, prefix.size(), prefix) != 0 ||
        entry.compare(entry.size() - tail.size(), tail.size(), tail) != 0)
        return 0;
    const std::string middle = entry.substr(prefix.size(), entry.size() - prefix.size() - tail.size());
    const size_t dash = middle.find('-');
    const auto hex = [](const std::string& digits) {
        return !digits.empty() && digits.size() <= 8 &&
               digits.find_first_not_of("0123456789abcdef") == std::string::npos;
    };
    if (dash == std::string::npos || !hex(middle.substr(0, dash)) || !hex(middle.substr(dash + 1)))
        return 0;
    const unsigned long pid = std::strtoul(middle.substr(0, dash).c_str(), nullptr, 16);
    return pid > 0 && pid <= INT32_MAX ? static_cast<pid_t>(pid) : 0;
}

// The bytes, the permissions of the file being replaced, and the bytes on disk.
bool FillTemporary(int fd, const void* data, size_t size, const struct stat* replaced)
{
    errno = 0;
    if (OS_WriteFile(fd, data, static_cast<int64_t>(size)) != static_cast<int64_t>(size)) {
        if (errno == 0)
            errno = EIO;
        return false;
    }
    return (replaced == nullptr || fchmod(fd, replaced->st_mode & 07777) == 0) && fsync(fd) == 0;
}

// Gives a nameless file (O_TMPFILE) a fresh name in the folder.
bool LinkNameless(int fd, const std::string& folder, const std::string& base, std::string& name)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = TemporaryName(folder, base);
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        // Without /proc, only a privileged process may link by descriptor.
        if (errno == ENOENT && linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// Writes the bytes into a new file of the folder under a fresh name and
// returns that name; empty, with errno set and nothing left behind, on any
// failure. Where the file system allows it the file has no name while it is
// written, so a crash midway leaves nothing.
std::string WriteTemporary(const std::string& folder, const std::string& base, const void* data, size_t size,
                           const struct stat* replaced)
{
    const mode_t mode = replaced != nullptr ? 0600 : 0644;
    std::string name;
    int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0) {
        if (!FillTemporary(fd, data, size, replaced)) {
            const int error = errno;
            close(fd);
            errno = error;
            return std::string();
        }
        const bool linked = LinkNameless(fd, folder, base, name);
        close(fd);
        if (linked)
            return name;
        // No way to name it: write a named file instead.
    }
    fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        name = TemporaryName(folder, base);
        do {
            fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0 && errno != EEXIST)
            return std::string();
    }
    if (fd < 0)
        return std::string();
    bool ok = FillTemporary(fd, data, size, replaced);
    int error = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        unlink(name.c_str());
        errno = error;
        return std::string();
    }
    return name;
}

} // namespace

THandle OS_OpenFileRW(const std::string& path)
{
    int fd = OpenResolved(path, O_RDWR | O_CREAT);
    // A read-only installation must still load: when writing is refused on an
    // existing file, open it for reading (writes then fail).
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM || errno == ETXTBSY))
        fd = OpenResolved(path, O_RDONLY);
    return fd < 0 ? INVALID_HANDLE_VALUE : fd;
}

THandle OS_OpenFileRead(const std::string& path)
{
    const int fd = OpenResolved(path, O_RDONLY);
    return fd < 0 ? INVALID_HANDLE_VALUE : fd;
}

THandle OS_CreateFileWrite(const std::string& path)
{
    const int fd = OpenResolved(path, O_WRONLY | O_CREAT | O_TRUNC);
    return fd < 0 ? INVALID_HANDLE_VALUE : fd;
}

int64_t OS_ReadFile(THandle h, void* buffer, int64_t count)
{
    const int fd = Fd(h);
    int64_t done = 0;
    while (fd >= 0 && done < count) {
        const ssize_t got = read(fd, static_cast<uint8_t*>(buffer) + done, static_cast<size_t>(count - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

int64_t OS_WriteFile(THandle h, const void* buffer, int64_t count)
{
    const int fd = Fd(h);
    int64_t done = 0;
    while (fd >= 0 && done < count) {
        const ssize_t put = write(fd, static_cast<const uint8_t*>(buffer) + done, static_cast<size_t>(count - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += put;
    }
    return done;
}

int64_t OS_SeekFile(THandle h, int64_t offset, int whence)
{
    const int fd = Fd(h);
    static const int Whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (fd < 0 || whence < 0 || whence > 2)
        return -1;
    const off_t position = lseek(fd, static_cast<off_t>(offset), Whence[whence]);
    return position < 0 ? -1 : static_cast<int64_t>(position);
}

int64_t OS_GetFileSize(THandle h)
{
    struct stat st;
    const int fd = Fd(h);
    if (fd < 0 || fstat(fd, &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_size);
}

bool OS_SetEndOfFile(THandle h)
{
    const int fd = Fd(h);
    if (fd < 0)
        return false;
    const off_t position = lseek(fd, 0, SEEK_CUR);
    return position >= 0 && ftruncate(fd, position) == 0;
}

bool OS_FlushFile(THandle h)
{
    const int fd = Fd(h);
    return fd >= 0 && fsync(fd) == 0;
}

void OS_CloseHandle(THandle h)
{
    const int fd = Fd(h);
    if (fd >= 0)
        close(fd);
}

bool OS_ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    const int fd = OpenResolved(path, O_RDONLY);
    if (fd < 0)
        return false;
    // Read to the end rather than trusting the size: the file may change.
    uint8_t chunk[65536];
    bool ok = true;
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ok = false; // a folder, or a read error
        if (got <= 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    close(fd);
    if (!ok)
        bytes.clear();
    return ok;
}

int OS_RemoveStaleTemporaries(const std::string& path)
{
    if (path.empty())
        return 0;
    std::string real = OS_ResolvePath(path);
    if (!FollowLinks(real))
        return 0;
    const std::string folder = FolderOf(real);
    const std::string prefix = TemporaryPrefix(real.substr(real.rfind('/') + 1));
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr)
        return 0;
    int removed = 0;
    while (const dirent* entry = readdir(listing)) {
        const pid_t writer = TemporaryWriter(entry->d_name, prefix);
        // A writer that still runs (or runs as another user) may yet rename
        // its file: only those of ended processes go.
        if (writer == 0 || kill(writer, 0) == 0 || errno != ESRCH)
            continue;
        const std::string name = folder + "/" + entry->d_name;
        struct stat st;
        if (lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(name.c_str()) == 0)
            ++removed;
    }
    closedir(listing);
    return removed;
}

bool OS_WriteFileAtomic(const std::string& path, const void* data, size_t size)
{
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    std::string real = OS_ResolvePath(path);
    if (!FollowLinks(real))
        return false;
    struct stat st;
    const bool exists = stat(real.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        // A FIFO or a device can't be replaced by a file: it takes the bytes.
        if (!S_ISREG(st.st_mode))
            return WriteInPlace(real, data, size);
        // A file we may not write stays as it is (as a read-only file does on
        // Windows), although the folder would let a new one replace it.
        if (access(real.c_str(), W_OK) != 0)
            return false;
    }
    const std::string folder = FolderOf(real);
    const std::string temporary =
        WriteTemporary(folder, real.substr(real.rfind('/') + 1), data, size, exists ? &st : nullptr);
    if (temporary.empty())
        return false;
    if (rename(temporary.c_str(), real.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        errno = error;
        return false;
    }
    // The new name itself must survive a crash too.
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return true;
}

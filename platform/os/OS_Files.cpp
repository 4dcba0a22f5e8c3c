// Files over POSIX descriptors; every name goes through the path resolver.
#include "platform/os/OS.h"

#include <cerrno>
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

bool OS_WriteFileAtomic(const std::string& path, const void* data, size_t size)
{
    if (path.empty())
        return false;
    const std::string real = OS_ResolvePath(path);
    struct stat st;
    const bool exists = stat(real.c_str(), &st) == 0;
    if (exists) {
        // A folder can't be replaced by a file, and a file we may not write
        // stays as it is (as a read-only file does on Windows).
        if (S_ISDIR(st.st_mode) || access(real.c_str(), W_OK) != 0)
            return false;
    }
    const std::string temporary = real + ".tmp";
    int fd;
    do {
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, exists ? 0600 : 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    // A replaced file keeps its permissions.
    const bool written = OS_WriteFile(fd, data, static_cast<int64_t>(size)) == static_cast<int64_t>(size) &&
                         (!exists || fchmod(fd, st.st_mode & 07777) == 0) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed || rename(temporary.c_str(), real.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    // The new name itself must survive a crash too.
    const int folder = open(FolderOf(real).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}

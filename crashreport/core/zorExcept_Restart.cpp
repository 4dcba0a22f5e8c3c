#include "crashreport/core/zorExcept_Restart.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "crashreport/core/zorExcept_Slots.h"
#include "crashreport/diagnostics/zorStrings.h"

int64_t ExceptionTimeHistory[10] = {};

void NoteExceptionTime(int64_t seconds)
{
    for (int i = 9; i > 0; --i)
        ExceptionTimeHistory[i] = ExceptionTimeHistory[i - 1];
    ExceptionTimeHistory[0] = seconds;
}

std::string RestartBlockName(uint32_t processId)
{
    char name[48];
    std::snprintf(name, sizeof(name), "/zorExceptRestart$%x", processId);
    return name;
}

namespace {

// Repeats a transfer until the whole block has gone through.
template <class TTransfer> bool TransferFully(char* p, size_t size, TTransfer transfer)
{
    while (size > 0) {
        const ssize_t n = transfer(p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool WriteFully(int fd, const void* data, size_t size)
{
    return TransferFully(const_cast<char*>(static_cast<const char*>(data)), size,
                         [fd](char* p, size_t n) { return write(fd, p, n); });
}

bool ReadFully(int fd, void* data, size_t size)
{
    return TransferFully(static_cast<char*>(data), size, [fd](char* p, size_t n) { return read(fd, p, n); });
}

void TerminateProgram()
{
    _exit(1);
}

namespace {

// The process's own arguments, as the kernel keeps them.
std::vector<std::string> OwnArguments()
{
    std::vector<std::string> words;
    const int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return words;
    std::string bytes;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof(buffer))) > 0)
        bytes.append(buffer, static_cast<size_t>(n));
    close(fd);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos)
            end = bytes.size();
        words.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

std::vector<std::string> SplitCommandLine(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

bool WriteRestartBlock(pid_t child)
{
    const std::string name = RestartBlockName(static_cast<uint32_t>(child));
    const int fd = shm_open(name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    TRestartBlock block;
    block.OldProcessId = static_cast<uint32_t>(getpid());
    std::memcpy(block.History, ExceptionTimeHistory, sizeof(block.History));
    const bool ok = WriteFully(fd, &block, sizeof(block));
    close(fd);
    if (!ok)
        shm_unlink(name.c_str());
    return ok;
}

// Waits until the process has ended (it may be our parent, so it is no child
// we could wait for).
void WaitForProcessEnd(pid_t pid)
{
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        while (poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        close(pidfd);
        return;
    }
    // Without process descriptors: the ending process is our parent, so the
    // parent changes when it has gone.
    while (kill(pid, 0) == 0 && getppid() == pid)
        usleep(5000);
}

} // namespace

void RelaunchProgram(const std::u16string& commandLine)
{
    std::vector<std::string> words = commandLine.empty() ? OwnArguments() : SplitCommandLine(WideToUtf8(commandLine));
    if (words.empty())
        words.push_back("/proc/self/exe");
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    int go[2] = {-1, -1};     // parent -> child: the block is written
    int failed[2] = {-1, -1}; // child -> parent: exec failed (closes on success)
    if (pipe2(go, O_CLOEXEC) != 0 || pipe2(failed, O_CLOEXEC) != 0) {
        std::fputs("zorExcept: the program could not be restarted (no pipe)\n", stderr);
        _exit(2);
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        // Only async-signal-safe calls from here on: other threads of the
        // parent may have held locks at the fork.
        close(go[1]);
        close(failed[0]);
        char mark = 0;
        ssize_t n;
        while ((n = read(go[0], &mark, 1)) < 0 && errno == EINTR) {
        }
        if (n != 1)
            _exit(127);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execv("/proc/self/exe", argv.data());
        const int error = errno;
        (void)!write(failed[1], &error, sizeof(error));
        _exit(127);
    }
    close(go[0]);
    close(failed[1]);
    if (child < 0) {
        std::fprintf(stderr, "zorExcept: the program could not be restarted (%s)\n", std::strerror(errno));
        _exit(2);
    }
    const bool written = WriteRestartBlock(child);
    const char mark = 1;
    if (written)
        WriteFully(go[1], &mark, 1);
    close(go[1]);
    int error = 0;
    ssize_t n;
    while ((n = read(failed[0], &error, sizeof(error))) < 0 && errno == EINTR) {
    }
    if (!written || n > 0) {
        shm_unlink(RestartBlockName(static_cast<uint32_t>(child)).c_str());
        std::fprintf(stderr, "zorExcept: the program could not be restarted (%s)\n",
                     written ? std::strerror(error) : "no hand-over block");
        waitpid(child, nullptr, 0);
    }
    _exit(2);
}

bool TakeOverRestart()
{
    const std::string name = RestartBlockName(static_cast<uint32_t>(getpid()));
    const int fd = shm_open(name.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    TRestartBlock block;
    const bool whole = ReadFully(fd, &block, sizeof(block));
    close(fd);
    shm_unlink(name.c_str());
    if (!whole)
        return false;
    if (block.OldProcessId != 0 && block.OldProcessId != static_cast<uint32_t>(getpid()))
        WaitForProcessEnd(static_cast<pid_t>(block.OldProcessId));
    std::memcpy(ExceptionTimeHistory, block.History, sizeof(block.History));
    return true;
}

void LinkRestart()
{
    ZorSlots().TerminateProgram = [] { TerminateProgram(); };
    ZorSlots().RelaunchProgram = [](const std::u16string& commandLine) { RelaunchProgram(commandLine); };
}

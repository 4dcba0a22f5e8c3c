#include "tests/support/TestSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

TTempFolder::TTempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "duskmarch-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    FPath = std::string(made ? made : pattern.c_str()) + "/";
}

TTempFolder::~TTempFolder()
{
    std::error_code ec;
    fs::remove_all(FPath, ec);
}

std::string TTempFolder::ProgramPath() const
{
    std::string p = FPath;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

std::string TTempFolder::WriteFile(const std::string& relative, const std::string& bytes) const
{
    fs::path full = fs::path(FPath) / relative;
    fs::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return full.string();
}

std::string TTempFolder::WriteProgramFile(const std::string& relative, const std::string& bytes) const
{
    std::string real = relative;
    for (char& c : real)
        if (c == '\\')
            c = '/';
    WriteFile(real, bytes);
    return ProgramPath() + relative;
}

std::string TTempFolder::ReadFile(const std::string& relative) const
{
    return ReadWholeFile((fs::path(FPath) / relative).string());
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string FixturePath(const std::string& relative)
{
    return std::string(DUSKMARCH_FIXTURES) + "/" + relative;
}

namespace {

// Exit codes of the unprivileged child besides 0 (passed) and 1 (failed).
constexpr int ChildCannotSwitchUser = 70;
constexpr int ChildCannotReachFolder = 71;

void HandOverTree(const std::string& folder, uid_t uid, gid_t gid)
{
    std::error_code ec;
    lchown(folder.c_str(), uid, gid);
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        lchown(it->path().c_str(), uid, gid);
}

} // namespace

std::string RunWherePermissionsApply(const std::function<void()>& body, const std::vector<std::string>& handOver)
{
    if (geteuid() != 0) {
        body();
        return std::string();
    }
    uid_t uid = 65534;
    gid_t gid = 65534;
    if (const passwd* nobody = getpwnam("nobody")) {
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
    }
    // What is buffered now would otherwise be printed twice.
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child < 0)
        return std::string("root can't start a process to drop its privileges in: ") + std::strerror(errno);
    if (child == 0) {
        for (const std::string& folder : handOver)
            HandOverTree(folder, uid, gid);
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
            _exit(ChildCannotSwitchUser);
        for (const std::string& folder : handOver)
            if (access(folder.c_str(), R_OK | W_OK | X_OK) != 0)
                _exit(ChildCannotReachFolder);
        bool thrown = false;
        try {
            body();
        } catch (...) {
            thrown = true;
            std::fprintf(stdout, "the test body threw an exception as the unprivileged user\n");
        }
        std::fflush(stdout);
        std::fflush(stderr);
        // No exit handlers: they belong to the parent (the leak checker among them).
        _exit(thrown || ::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == ChildCannotSwitchUser)
        return "root can't become the unprivileged user " + std::to_string(uid) + " here (no setuid capability)";
    if (WIFEXITED(status) && WEXITSTATUS(status) == ChildCannotReachFolder)
        return "the unprivileged user " + std::to_string(uid) + " can't reach the test folder (is TMPDIR private?)";
    if (!WIFEXITED(status))
        ADD_FAILURE() << "the body was killed by signal " << WTERMSIG(status) << " as the unprivileged user " << uid;
    else if (WEXITSTATUS(status) != 0)
        ADD_FAILURE() << "the body failed as the unprivileged user " << uid << " (its failures are printed above)";
    return std::string();
}

std::string RunProgram(const std::string& program, const std::string& arguments, int& status)
{
    const std::string command = "ASAN_OPTIONS=detect_leaks=0 \"" + program + "\" " + arguments + " 2>&1";
    status = -1;
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    if (pipe == nullptr)
        return out;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        out.append(buffer, got);
    status = pclose(pipe);
    return out;
}

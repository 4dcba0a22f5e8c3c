// Ending and restarting the program: exit codes, and the hand-over of the
// failure times to a successor that starts only after its predecessor ended.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "crashreport/core/zorExcept_Restart.h"

namespace {

const char* const SuccessorOutput = "ZOR_RESTART_TEST_OUTPUT";

// Ended: a process descriptor of it reads as ended at once, or there is no
// such process any more.
bool ProcessEnded(pid_t pid)
{
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0)
        return errno == ESRCH;
    pollfd p{fd, POLLIN, 0};
    const bool ended = poll(&p, 1, 0) == 1;
    close(fd);
    return ended;
}

} // namespace

TEST(ZorRestartTest, TerminateEndsWithCodeOne)
{
    EXPECT_EXIT(TerminateProgram(), ::testing::ExitedWithCode(1), "");
}

TEST(ZorRestartTest, NoBlockMeansNormalStart)
{
    const int64_t before = ExceptionTimeHistory[0];
    EXPECT_FALSE(TakeOverRestart());
    EXPECT_EQ(ExceptionTimeHistory[0], before);
}

TEST(ZorRestartTest, HistoryShiftsNewestFirst)
{
    int64_t saved[10];
    std::copy(std::begin(ExceptionTimeHistory), std::end(ExceptionTimeHistory), saved);
    for (int64_t t = 1; t <= 11; ++t)
        NoteExceptionTime(t);
    EXPECT_EQ(ExceptionTimeHistory[0], 11);
    EXPECT_EQ(ExceptionTimeHistory[9], 2);
    std::copy(std::begin(saved), std::end(saved), ExceptionTimeHistory);
}

// Runs only as the successor a restart started: takes the hand-over over and
// writes what it found, then whether its predecessor was gone by then.
TEST(ZorRestartTest, Successor)
{
    const char* output = std::getenv(SuccessorOutput);
    if (output == nullptr)
        GTEST_SKIP() << "runs only when a restart test starts it";
    // The predecessor, from the block before it is taken over.
    pid_t parent = 0;
    const int fd = shm_open(RestartBlockName(static_cast<uint32_t>(getpid())).c_str(), O_RDONLY, 0);
    TRestartBlock block;
    if (fd >= 0 && read(fd, &block, sizeof(block)) == static_cast<ssize_t>(sizeof(block)))
        parent = static_cast<pid_t>(block.OldProcessId);
    if (fd >= 0)
        close(fd);
    const bool took = TakeOverRestart();
    std::ofstream out(std::string(output) + ".part");
    out << (took ? "took" : "none") << ' ' << getpid() << ' ' << (parent == 0 || !ProcessEnded(parent));
    for (int64_t t : ExceptionTimeHistory)
        out << ' ' << t;
    out << '\n';
    out.close();
    std::rename((std::string(output) + ".part").c_str(), output);
}

TEST(ZorRestartTest, RelaunchHandsTheHistoryToAStartedSuccessor)
{
    char folder[] = "/tmp/zorRestartXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string output = std::string(folder) + "/successor.txt";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv(SuccessorOutput, output.c_str(), 1);
        for (int i = 0; i < 10; ++i)
            ExceptionTimeHistory[i] = 1000 + i;
        RelaunchProgram(u"/proc/self/exe --gtest_filter=ZorRestartTest.Successor");
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    // The successor is no child of ours: wait for its file, within bounds.
    std::string text;
    for (int i = 0; i < 600 && (text = ReadWholeFile(output)).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::istringstream in(text);
    std::string took;
    pid_t pid = 0;
    int predecessorAlive = -1;
    in >> took >> pid >> predecessorAlive;
    EXPECT_EQ(took, "took");
    EXPECT_NE(pid, child);
    EXPECT_EQ(predecessorAlive, 0);
    for (int i = 0; i < 10; ++i) {
        int64_t t = 0;
        in >> t;
        EXPECT_EQ(t, 1000 + i);
    }
    // The block is gone after the hand-over.
    EXPECT_LT(shm_open(RestartBlockName(static_cast<uint32_t>(pid)).c_str(), O_RDONLY, 0), 0);
    std::remove(output.c_str());
    rmdir(folder);
}

TEST(ZorRestartTest, ABlockOfOurOwnIdIsTakenAndRemoved)
{
    const std::string name = RestartBlockName(static_cast<uint32_t>(getpid()));
    const int fd = shm_open(name.c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_GE(fd, 0);
    TRestartBlock block;
    block.OldProcessId = 0; // no predecessor to wait for
    for (int i = 0; i < 10; ++i)
        block.History[i] = 7 + i;
    ASSERT_EQ(write(fd, &block, sizeof(block)), static_cast<ssize_t>(sizeof(block)));
    close(fd);
    int64_t saved[10];
    std::copy(std::begin(ExceptionTimeHistory), std::end(ExceptionTimeHistory), saved);
    EXPECT_TRUE(TakeOverRestart());
    EXPECT_EQ(ExceptionTimeHistory[0], 7);
    EXPECT_EQ(ExceptionTimeHistory[9], 16);
    EXPECT_FALSE(TakeOverRestart());
    std::copy(std::begin(saved), std::end(saved), ExceptionTimeHistory);
}

TEST(ZorRestartTest, AShortBlockIsIgnored)
{
    const std::string name = RestartBlockName(static_cast<uint32_t>(getpid()));
    const int fd = shm_open(name.c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "abc", 3), 3);
    close(fd);
    const int64_t before = ExceptionTimeHistory[0];
    EXPECT_FALSE(TakeOverRestart());
    EXPECT_EQ(ExceptionTimeHistory[0], before);
    EXPECT_LT(shm_open(name.c_str(), O_RDONLY, 0), 0);
}

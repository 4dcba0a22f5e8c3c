#include "platform/os/OS.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string ReadAt(THandle h, int64_t position, int64_t count)
{
    std::string bytes(static_cast<size_t>(count), '\0');
    EXPECT_EQ(OS_SeekFile(h, position, 0), position);
    bytes.resize(static_cast<size_t>(OS_ReadFile(h, bytes.data(), count)));
    return bytes;
}

bool Exists(const std::string& real)
{
    struct stat st;
    return lstat(real.c_str(), &st) == 0;
}

TEST(OSFilesTest, OpenReadWriteSeekAndCut)
{
    TTempFolder tmp;
    tmp.WriteFile("Data/Keep.bin", "0123456789");

    // Opening for read and write never truncates, and finds the file in any case.
    THandle h = OS_OpenFileRW(tmp.ProgramPath() + "data\\KEEP.BIN");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OS_GetFileSize(h), 10);
    EXPECT_EQ(ReadAt(h, 2, 3), "234");
    EXPECT_EQ(ReadAt(h, 8, 5), "89"); // fewer bytes at the end
    EXPECT_EQ(ReadAt(h, 20, 5), "");

    struct SeekRow {
        int64_t Offset;
        int Whence;
        int64_t Position;
    };
    const SeekRow seeks[] = {{4, 0, 4}, {3, 1, 7}, {-2, 1, 5}, {-1, 2, 9}, {0, 2, 10}, {-1, 0, -1}, {0, 3, -1}};
    for (const SeekRow& row : seeks)
        EXPECT_EQ(OS_SeekFile(h, row.Offset, row.Whence), row.Position) << row.Offset << " " << row.Whence;

    ASSERT_EQ(OS_SeekFile(h, 12, 0), 12);
    EXPECT_EQ(OS_WriteFile(h, "AB", 2), 2); // past the end: the gap is zeros
    EXPECT_EQ(OS_GetFileSize(h), 14);
    ASSERT_EQ(OS_SeekFile(h, 3, 0), 3);
    EXPECT_EQ(OS_WriteFile(h, "xy", 2), 2);
    EXPECT_TRUE(OS_SetEndOfFile(h)); // cut at the current position
    EXPECT_EQ(OS_GetFileSize(h), 5);
    EXPECT_TRUE(OS_FlushFile(h));
    OS_CloseHandle(h);
    EXPECT_EQ(tmp.ReadFile("Data/Keep.bin"), "012xy");

    // A missing file is created empty, with the caller's spelling.
    h = OS_OpenFileRW(tmp.ProgramPath() + "DATA\\New.ini");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OS_GetFileSize(h), 0);
    OS_CloseHandle(h);
    EXPECT_TRUE(Exists(tmp.Path() + "Data/New.ini"));
    // ...and opened at once by another spelling.
    h = OS_OpenFileRead(tmp.ProgramPath() + "data\\NEW.INI");
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    OS_CloseHandle(h);
}

TEST(OSFilesTest, OpenFailuresAndBadHandles)
{
    TTempFolder tmp;
    tmp.WriteFile("Folder/x", "");
    EXPECT_EQ(OS_OpenFileRW(tmp.ProgramPath() + "Missing\\a.ini"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OS_OpenFileRW(tmp.ProgramPath() + "folder"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OS_OpenFileRead(tmp.ProgramPath() + "none.bin"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OS_OpenFileRW(""), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OS_CreateFileWrite(tmp.ProgramPath() + "Missing\\a.bin"), INVALID_HANDLE_VALUE);

    char buffer[4];
    EXPECT_EQ(OS_ReadFile(INVALID_HANDLE_VALUE, buffer, 4), 0);
    EXPECT_EQ(OS_WriteFile(INVALID_HANDLE_VALUE, buffer, 4), 0);
    EXPECT_EQ(OS_SeekFile(INVALID_HANDLE_VALUE, 0, 0), -1);
    EXPECT_EQ(OS_GetFileSize(INVALID_HANDLE_VALUE), -1);
    EXPECT_FALSE(OS_SetEndOfFile(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(OS_FlushFile(INVALID_HANDLE_VALUE));
    OS_CloseHandle(INVALID_HANDLE_VALUE);

    // Writing through a handle opened for reading fails and reports no bytes.
    tmp.WriteFile("r.bin", "abc");
    const THandle h = OS_OpenFileRead(tmp.ProgramPath() + "r.bin");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OS_WriteFile(h, "zz", 2), 0);
    OS_CloseHandle(h);
    EXPECT_EQ(tmp.ReadFile("r.bin"), "abc");
}

TEST(OSFilesTest, CreateFileWriteTruncates)
{
    TTempFolder tmp;
    tmp.WriteFile("out.txt", "old contents");
    const THandle h = OS_CreateFileWrite(tmp.ProgramPath() + "OUT.txt");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OS_WriteFile(h, "new", 3), 3);
    OS_CloseHandle(h);
    EXPECT_EQ(tmp.ReadFile("out.txt"), "new");
}

TEST(OSFilesTest, ReadOnlyFileOpensForReading)
{
    TTempFolder tmp;
    const std::string real = tmp.WriteFile("Tables/Units.Ini", "[Main]");
    ASSERT_EQ(chmod(real.c_str(), 0444), 0);
    const std::string skipped = RunWherePermissionsApply(
        [&] {
            const THandle h = OS_OpenFileRW(tmp.ProgramPath() + "tables\\units.ini");
            ASSERT_NE(h, INVALID_HANDLE_VALUE);
            EXPECT_EQ(ReadAt(h, 0, 6), "[Main]");
            EXPECT_EQ(OS_SeekFile(h, 0, 0), 0);
            EXPECT_EQ(OS_WriteFile(h, "x", 1), 0);
            OS_CloseHandle(h);
            EXPECT_EQ(tmp.ReadFile("Tables/Units.Ini"), "[Main]");
            // A missing file in a folder we may not write is not created.
            ASSERT_EQ(chmod((tmp.Path() + "Tables").c_str(), 0555), 0);
            EXPECT_EQ(OS_OpenFileRW(tmp.ProgramPath() + "Tables\\New.ini"), INVALID_HANDLE_VALUE);
            EXPECT_FALSE(Exists(tmp.Path() + "Tables/New.ini"));
        },
        {tmp.Path()});
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

TEST(OSFilesTest, ReadWholeFile)
{
    TTempFolder tmp;
    tmp.WriteFile("Data/a.bin", std::string("x\0y", 3));
    tmp.WriteFile("Data/empty.bin", "");
    std::vector<uint8_t> bytes = {9};
    ASSERT_TRUE(OS_ReadWholeFile(tmp.ProgramPath() + "DATA\\A.BIN", bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{'x', 0, 'y'}));
    ASSERT_TRUE(OS_ReadWholeFile(tmp.ProgramPath() + "data\\empty.bin", bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(OS_ReadWholeFile(tmp.ProgramPath() + "data\\none.bin", bytes));
    EXPECT_FALSE(OS_ReadWholeFile(tmp.ProgramPath() + "data", bytes));

    // Larger than one read.
    const std::string big(200000, 'q');
    tmp.WriteFile("big.bin", big);
    ASSERT_TRUE(OS_ReadWholeFile(tmp.ProgramPath() + "big.bin", bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), big);
}

// The names in a real folder, sorted, "|"-joined: what a save left behind.
std::string Listing(const std::string& realFolder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(realFolder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : "|") + name;
    return joined;
}

TEST(OSFilesTest, WriteFileAtomicReplacesWholeFiles)
{
    TTempFolder tmp;
    tmp.WriteFile("Save/Options_Game.ini", "old");
    // A user's own file of the name an older save used for its temporary file.
    tmp.WriteFile("Save/Options_Game.ini.tmp", "mine");
    const std::string real = tmp.Path() + "Save/Options_Game.ini";
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);

    // An existing file is replaced under its own spelling, keeping its permissions.
    ASSERT_TRUE(OS_WriteFileAtomic(tmp.ProgramPath() + "save\\OPTIONS_GAME.INI", "new", 3));
    EXPECT_EQ(tmp.ReadFile("Save/Options_Game.ini"), "new");
    EXPECT_EQ(tmp.ReadFile("Save/Options_Game.ini.tmp"), "mine");
    struct stat st;
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    ASSERT_TRUE(OS_WriteFileAtomic(tmp.ProgramPath() + "Save\\Fresh.ini", "", 0));
    EXPECT_EQ(tmp.ReadFile("Save/Fresh.ini"), "");
    // Nothing else is left in the folder.
    EXPECT_EQ(Listing(tmp.Path() + "Save"), "Fresh.ini|Options_Game.ini|Options_Game.ini.tmp");
}

TEST(OSFilesTest, WriteFileAtomicFailureLeavesTheOldFile)
{
    TTempFolder tmp;
    tmp.WriteFile("Save/a.ini", "old");
    tmp.WriteFile("Save/Folder.ini/inside", "");

    // The target is a folder.
    errno = 0;
    EXPECT_FALSE(OS_WriteFileAtomic(tmp.ProgramPath() + "Save\\folder.ini", "new", 3));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(OS_GetFileAttributes(tmp.ProgramPath() + "Save\\Folder.ini"), FILE_ATTRIBUTE_DIRECTORY);

    // A folder in the way of the name older saves used is no obstacle.
    ASSERT_EQ(mkdir((tmp.Path() + "Save/a.ini.tmp").c_str(), 0755), 0);
    EXPECT_TRUE(OS_WriteFileAtomic(tmp.ProgramPath() + "Save\\a.ini", "new", 3));
    EXPECT_EQ(tmp.ReadFile("Save/a.ini"), "new");

    // The folder is missing.
    EXPECT_FALSE(OS_WriteFileAtomic(tmp.ProgramPath() + "None\\a.ini", "new", 3));
    EXPECT_FALSE(OS_WriteFileAtomic("", "new", 3));
    EXPECT_EQ(Listing(tmp.Path() + "Save"), "Folder.ini|a.ini|a.ini.tmp");
}

// A write that fails midway (here the file size limit of the process, as a
// full disk would) leaves the old file and no temporary file.
TEST(OSFilesTest, WriteFileAtomicFailingMidwayLeavesNothingBehind)
{
    TTempFolder tmp;
    tmp.WriteFile("Save/a.ini", "old");
    std::fflush(stdout);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string big(4000, 'x');
        errno = 0;
        const bool saved = OS_WriteFileAtomic(tmp.ProgramPath() + "Save\\a.ini", big.data(), big.size());
        _exit(!saved && errno == EFBIG ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the save did not fail with EFBIG";
    EXPECT_EQ(tmp.ReadFile("Save/a.ini"), "old");
    EXPECT_EQ(Listing(tmp.Path() + "Save"), "a.ini");
}

TEST(OSFilesTest, WriteFileAtomicRefusedByPermissionsLeavesTheOldFile)
{
    TTempFolder tmp;
    tmp.WriteFile("Save/a.ini", "old");
    const std::string folder = tmp.Path() + "Save";
    const std::string skipped = RunWherePermissionsApply(
        [&] {
            // The folder may not be written.
            ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
            EXPECT_FALSE(OS_WriteFileAtomic(tmp.ProgramPath() + "Save\\a.ini", "new", 3));
            EXPECT_EQ(errno, EACCES);
            EXPECT_EQ(tmp.ReadFile("Save/a.ini"), "old");
            ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
            // The file itself may not be written.
            ASSERT_EQ(chmod((folder + "/a.ini").c_str(), 0444), 0);
            EXPECT_FALSE(OS_WriteFileAtomic(tmp.ProgramPath() + "Save\\a.ini", "new", 3));
            EXPECT_EQ(tmp.ReadFile("Save/a.ini"), "old");
            EXPECT_EQ(Listing(folder), "a.ini");
        },
        {tmp.Path()});
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

TEST(OSFilesTest, WriteFileAtomicSavesThroughSymbolicLinks)
{
    TTempFolder tmp;
    tmp.WriteFile("Real/a.ini", "old");
    tmp.WriteFile("Links/keep", "");
    const std::string links = tmp.Path() + "Links/";
    ASSERT_EQ(symlink((tmp.Path() + "Real/a.ini").c_str(), (links + "absolute.ini").c_str()), 0);
    ASSERT_EQ(symlink("../Real/a.ini", (links + "relative.ini").c_str()), 0);
    ASSERT_EQ(symlink("relative.ini", (links + "chain.ini").c_str()), 0);
    ASSERT_EQ(symlink("../Real/new.ini", (links + "dangling.ini").c_str()), 0);
    ASSERT_EQ(symlink("loop.ini", (links + "loop.ini").c_str()), 0);

    struct Row {
        const char* Link;
        const char* Bytes;
    };
    for (const Row& row : {Row{"absolute.ini", "one"}, Row{"RELATIVE.INI", "two"}, Row{"chain.ini", "three"}}) {
        ASSERT_TRUE(OS_WriteFileAtomic(tmp.ProgramPath() + "Links\\" + row.Link, row.Bytes, std::strlen(row.Bytes)))
            << row.Link;
        // The file the link points to gets the bytes; the link stays a link.
        EXPECT_EQ(tmp.ReadFile("Real/a.ini"), row.Bytes) << row.Link;
    }
    // A link to a missing file makes that file.
    ASSERT_TRUE(OS_WriteFileAtomic(tmp.ProgramPath() + "Links\\dangling.ini", "four", 4));
    EXPECT_EQ(tmp.ReadFile("Real/new.ini"), "four");
    errno = 0;
    EXPECT_FALSE(OS_WriteFileAtomic(tmp.ProgramPath() + "Links\\loop.ini", "five", 4));
    EXPECT_EQ(errno, ELOOP);

    for (const char* link : {"absolute.ini", "relative.ini", "chain.ini", "dangling.ini", "loop.ini"}) {
        struct stat st;
        ASSERT_EQ(lstat((links + link).c_str(), &st), 0) << link;
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << link;
    }
    EXPECT_EQ(Listing(tmp.Path() + "Real"), "a.ini|new.ini");
    EXPECT_EQ(Listing(links), "absolute.ini|chain.ini|dangling.ini|keep|loop.ini|relative.ini");
}

// A FIFO or a device takes the bytes in place and is never replaced.
TEST(OSFilesTest, WriteFileAtomicWritesFifosAndDevicesInPlace)
{
    TTempFolder tmp;
    const std::string fifo = tmp.Path() + "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // The reading end is open first, so the save never waits for a reader;
    // the few bytes wait in the pipe.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(OS_WriteFileAtomic(tmp.ProgramPath() + "PIPE", "through", 7));
    char received[16] = {};
    EXPECT_EQ(read(reader, received, sizeof received), 7);
    EXPECT_STREQ(received, "through");
    close(reader);

    // A device that refuses writes as a full disk does. Root gets a node of
    // its own, so that a faulty save could never replace the system's.
    std::string full = tmp.Path() + "full";
    if (mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        if (geteuid() == 0)
            GTEST_SKIP() << "root can't make a device node here";
        full = "/dev/full"; // which no other user can replace
    }
    errno = 0;
    EXPECT_FALSE(OS_WriteFileAtomic(OS_ToProgramPath(full), "full", 4));
    EXPECT_EQ(errno, ENOSPC);

    struct Row {
        std::string Real;
        mode_t Kind;
    };
    for (const Row& row : {Row{fifo, S_IFIFO}, Row{full, S_IFCHR}}) {
        struct stat st;
        ASSERT_EQ(lstat(row.Real.c_str(), &st), 0) << row.Real;
        EXPECT_EQ(st.st_mode & S_IFMT, row.Kind) << row.Real;
    }
    EXPECT_EQ(Listing(tmp.Path()), full == "/dev/full" ? "pipe" : "full|pipe");
}

// Two processes saving one file at once: whenever it is read, the file is
// whole, one process's bytes or the other's, and every save succeeds.
TEST(OSFilesTest, WriteFileAtomicTwoProcessesSavingOneFile)
{
    TTempFolder tmp;
    const std::string first(1 << 20, 'A');
    const std::string second(700 * 1024, 'B');
    const std::string target = tmp.ProgramPath() + "Shared.ini";
    ASSERT_TRUE(OS_WriteFileAtomic(target, first.data(), first.size()));

    std::fflush(stdout);
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0) {
            const std::string& bytes = i == 0 ? first : second;
            int failures = 0;
            for (int save = 0; save < 40; ++save)
                failures += OS_WriteFileAtomic(target, bytes.data(), bytes.size()) ? 0 : 1;
            _exit(failures == 0 ? 0 : 1);
        }
    }
    // Read the file while the two save; stop when both are done.
    int running = 2, samples = 0, torn = 0;
    int status[2] = {0, 0};
    bool done[2] = {false, false};
    while (running > 0) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(OS_ReadWholeFile(target, bytes));
        const std::string seen(bytes.begin(), bytes.end());
        samples++;
        if (seen != first && seen != second)
            torn++;
        for (int i = 0; i < 2; ++i)
            if (!done[i] && waitpid(children[i], &status[i], WNOHANG) == children[i]) {
                done[i] = true;
                running--;
            }
    }
    EXPECT_EQ(torn, 0) << "of " << samples << " reads";
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(WIFEXITED(status[i]) && WEXITSTATUS(status[i]) == 0) << "process " << i << " had failed saves";
    EXPECT_EQ(Listing(tmp.Path()), "Shared.ini");
}

} // namespace

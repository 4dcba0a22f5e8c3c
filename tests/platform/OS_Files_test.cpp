#include "platform/os/OS.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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

TEST(OSFilesTest, WriteFileAtomicReplacesWholeFiles)
{
    TTempFolder tmp;
    tmp.WriteFile("Save/Options_Game.ini", "old");
    const std::string real = tmp.Path() + "Save/Options_Game.ini";
    ASSERT_EQ(chmod(real.c_str(), 0640), 0);

    // An existing file is replaced under its own spelling, keeping its permissions.
    ASSERT_TRUE(OS_WriteFileAtomic(tmp.ProgramPath() + "save\\OPTIONS_GAME.INI", "new", 3));
    EXPECT_EQ(tmp.ReadFile("Save/Options_Game.ini"), "new");
    EXPECT_FALSE(Exists(real + ".tmp"));
    EXPECT_FALSE(Exists(tmp.Path() + "Save/OPTIONS_GAME.INI"));
    struct stat st;
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    ASSERT_TRUE(OS_WriteFileAtomic(tmp.ProgramPath() + "Save\\Fresh.ini", "", 0));
    EXPECT_TRUE(Exists(tmp.Path() + "Save/Fresh.ini"));
    EXPECT_EQ(tmp.ReadFile("Save/Fresh.ini"), "");
}

TEST(OSFilesTest, WriteFileAtomicFailureLeavesTheOldFile)
{
    TTempFolder tmp;
    tmp.WriteFile("Save/a.ini", "old");
    tmp.WriteFile("Save/Folder.ini/inside", "");

    // The target is a folder.
    EXPECT_FALSE(OS_WriteFileAtomic(tmp.ProgramPath() + "Save\\folder.ini", "new", 3));
    EXPECT_EQ(OS_GetFileAttributes(tmp.ProgramPath() + "Save\\Folder.ini"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(Exists(tmp.Path() + "Save/Folder.ini.tmp"));

    // The temporary file can't be made (a folder is in its way).
    ASSERT_EQ(mkdir((tmp.Path() + "Save/a.ini.tmp").c_str(), 0755), 0);
    EXPECT_FALSE(OS_WriteFileAtomic(tmp.ProgramPath() + "Save\\a.ini", "new", 3));
    EXPECT_EQ(tmp.ReadFile("Save/a.ini"), "old");
    rmdir((tmp.Path() + "Save/a.ini.tmp").c_str());

    // The folder is missing.
    EXPECT_FALSE(OS_WriteFileAtomic(tmp.ProgramPath() + "None\\a.ini", "new", 3));
    EXPECT_FALSE(OS_WriteFileAtomic("", "new", 3));
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
            EXPECT_EQ(tmp.ReadFile("Save/a.ini"), "old");
            EXPECT_FALSE(Exists(tmp.Path() + "Save/a.ini.tmp"));
            ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
            // The file itself may not be written.
            ASSERT_EQ(chmod((folder + "/a.ini").c_str(), 0444), 0);
            EXPECT_FALSE(OS_WriteFileAtomic(tmp.ProgramPath() + "Save\\a.ini", "new", 3));
            EXPECT_EQ(tmp.ReadFile("Save/a.ini"), "old");
        },
        {tmp.Path()});
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

} // namespace

#include "platform/os/OS.h"
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// A tree whose names mix case the way installations do.
class OSPathsTest : public testing::Test {
protected:
    void SetUp() override
    {
        Tmp.WriteFile("Data/Interface/unknown.TGA", "tga");
        Tmp.WriteFile("Data/Interface/Other.txt", "other");
        Tmp.WriteFile("Sounds/A.WAV", "aaaa");
        Tmp.WriteFile("Sounds/b.wav", "bb");
        Tmp.WriteFile("Sounds/.x.wav", "x");
        Tmp.WriteFile("Sounds/c.txt", "c");
        Tmp.WriteFile("Sounds/ab.txt", "");
        Tmp.WriteFile("Sounds/a_b.txt", "");
        Tmp.WriteFile("Sounds/Sub/inner.wav", "");
        Tmp.WriteFile("Sounds/.Hidden/inner.wav", "");
        Tmp.WriteFile("Dup/abc", "lower");
        Tmp.WriteFile("Dup/ABC", "upper");
        Tmp.WriteFile("Тексты/Меню.txt", "menu");
    }

    std::string P(const std::string& relative) const { return Tmp.ProgramPath() + relative; }
    std::string Real(const std::string& relative) const { return Tmp.Path() + relative; }

    // Every entry of one search: names, or "#<error>" when it fails at once.
    std::vector<TOSFindData> Find(const std::string& mask, uint32_t& error) const
    {
        std::vector<TOSFindData> entries;
        TOSFindHandle handle;
        TOSFindData data;
        error = OS_FindFirstFile(mask, handle, data);
        if (error != ERROR_SUCCESS) {
            EXPECT_EQ(handle, INVALID_FIND_HANDLE);
            return entries;
        }
        do
            entries.push_back(data);
        while ((error = OS_FindNextFile(handle, data)) == ERROR_SUCCESS);
        EXPECT_EQ(error, ERROR_NO_MORE_FILES);
        OS_FindClose(handle);
        return entries;
    }

    std::string Names(const std::string& mask) const
    {
        uint32_t error;
        const auto entries = Find(mask, error);
        if (entries.empty())
            return "#" + std::to_string(error);
        std::string names;
        for (const auto& e : entries)
            names += (names.empty() ? "" : "|") + e.Name;
        return names;
    }

    TTempFolder Tmp;
};

TEST_F(OSPathsTest, ResolvesEachComponentIgnoringCase)
{
    struct Row {
        const char* Program;
        const char* Real;
    };
    const Row rows[] = {
        {"Data\\Interface\\unknown.TGA", "Data/Interface/unknown.TGA"},
        {"Data\\interface\\Unknown.tga", "Data/Interface/unknown.TGA"},
        {"DATA/INTERFACE/UNKNOWN.TGA", "Data/Interface/unknown.TGA"},
        {"data/Interface\\unknown.tga", "Data/Interface/unknown.TGA"},
        {"data\\\\interface\\unknown.tga", "Data/Interface/unknown.TGA"},
        {"data\\interface\\", "Data/Interface/"},
        {"data\\.\\interface\\..\\interface\\other.TXT", "Data/./Interface/../Interface/Other.txt"},
        // The first missing component and the rest keep the caller's spelling.
        {"data\\Interface\\New.txt", "Data/Interface/New.txt"},
        {"DATA\\missing\\UNKNOWN.TGA", "Data/missing/UNKNOWN.TGA"},
        {"data\\interface\\unknown.tga\\x", "Data/Interface/unknown.TGA/x"},
        // An exact match wins; else the first in upper-cased order ("ABC" before "abc").
        {"Dup\\abc", "Dup/abc"},
        {"Dup\\ABC", "Dup/ABC"},
        {"dup\\Abc", "Dup/ABC"},
        {"тексты\\МЕНЮ.TXT", "Тексты/Меню.txt"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(OS_ResolvePath(P(row.Program)), Real(row.Real)) << row.Program;
}

TEST_F(OSPathsTest, ResolvesRootAndRelativePaths)
{
    EXPECT_EQ(OS_ResolvePath("\\"), "/");
    EXPECT_EQ(OS_ResolvePath("/"), "/");
    EXPECT_EQ(OS_ResolvePath(""), "");
    EXPECT_EQ(OS_ToProgramPath("/a/b/"), "\\a\\b\\");

    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(Tmp.Path().c_str()), 0);
    const std::string relative = OS_ResolvePath("data\\interface\\UNKNOWN.tga");
    const uint32_t attributes = OS_GetFileAttributes("sounds");
    ASSERT_EQ(chdir(saved), 0);
    EXPECT_EQ(relative, "Data/Interface/unknown.TGA");
    EXPECT_EQ(attributes, FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(OSPathsTest, NewFilesAreFoundAtOnce)
{
    EXPECT_EQ(OS_ResolvePath(P("data\\Later.txt")), Real("Data/Later.txt"));
    Tmp.WriteFile("Data/LATER.txt", "");
    EXPECT_EQ(OS_ResolvePath(P("data\\Later.txt")), Real("Data/LATER.txt"));
    ASSERT_TRUE(OS_CreateDirectory(P("data\\NewFolder")));
    EXPECT_EQ(OS_ResolvePath(P("DATA\\newfolder\\x")), Real("Data/NewFolder/x"));
}

TEST_F(OSPathsTest, Attributes)
{
    struct Row {
        const char* Program;
        uint32_t Attributes;
    };
    const Row rows[] = {
        {"Sounds", FILE_ATTRIBUTE_DIRECTORY},
        {"sounds\\", FILE_ATTRIBUTE_DIRECTORY},
        {"Sounds\\a.wav", FILE_ATTRIBUTE_ARCHIVE},
        {"Sounds\\.x.wav", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN},
        {"Sounds\\.hidden", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN},
        {"Sounds\\.hidden\\", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN},
        {"Sounds\\missing.wav", INVALID_FILE_ATTRIBUTES},
        {"Missing\\a.wav", INVALID_FILE_ATTRIBUTES},
        {"Sounds\\a.wav\\", INVALID_FILE_ATTRIBUTES},
    };
    for (const Row& row : rows)
        EXPECT_EQ(OS_GetFileAttributes(P(row.Program)), row.Attributes) << row.Program;
    EXPECT_EQ(OS_GetFileAttributes(""), INVALID_FILE_ATTRIBUTES);
}

TEST_F(OSPathsTest, ReadOnlyFileHasTheReadOnlyBit)
{
    const std::string real = Tmp.WriteFile("locked.ini", "x");
    ASSERT_EQ(chmod(real.c_str(), 0444), 0);
    const std::string skipped = RunWherePermissionsApply(
        [&] {
            EXPECT_EQ(OS_GetFileAttributes(P("LOCKED.ini")), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
            uint32_t error;
            const auto entries = Find(P("*.ini"), error);
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_EQ(entries[0].Attributes, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
        },
        {Tmp.Path()});
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

TEST_F(OSPathsTest, ListingsAreSortedByUpperCasedNameAndMatchWildcards)
{
    struct Row {
        const char* Mask;
        const char* Names;
    };
    const Row rows[] = {
        {"Sounds\\*.wav", ".x.wav|A.WAV|b.wav"},
        {"sounds\\*.WAV", ".x.wav|A.WAV|b.wav"},
        {"Sounds\\?.wav", "A.WAV|b.wav"},
        {"Sounds\\*", ".|..|.Hidden|.x.wav|A.WAV|ab.txt|a_b.txt|b.wav|c.txt|Sub"},
        {"Sounds\\*.*", ".|..|.Hidden|.x.wav|A.WAV|ab.txt|a_b.txt|b.wav|c.txt|Sub"},
        {"Sounds\\a*.txt", "ab.txt|a_b.txt"},
        {"Sounds\\A?B.TXT", "a_b.txt"},
        {"Sounds\\*b*", "ab.txt|a_b.txt|b.wav|Sub"},
        {"Sounds\\B.WAV", "b.wav"},
        {"Sounds\\sub", "Sub"},
        {"Sounds\\s*", "Sub"},
        {"Sounds/sub/*.wav", "inner.wav"},
        {"Dup\\abc", "ABC|abc"},
        {"Тексты\\м*", "Меню.txt"},
        // Errors as Windows gives them.
        {"Sounds\\*.xyz", "#2"},
        {"Sounds\\", "#2"},
        {"Missing\\*.wav", "#3"},
        {"Sounds\\b.wav\\*", "#3"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Names(P(row.Mask)), row.Names) << row.Mask;
}

TEST_F(OSPathsTest, ListingEntriesCarryAttributesSizeAndTime)
{
    const timespec times[2] = {{883612800, 250999999}, {883612800, 250999999}}; // 1998-01-01 00:00:00.250 UTC
    ASSERT_EQ(utimensat(AT_FDCWD, Real("Sounds/A.WAV").c_str(), times, 0), 0);
    uint32_t error;
    const auto entries = Find(P("Sounds\\*"), error);
    ASSERT_EQ(entries.size(), 10u);
    struct Row {
        size_t Index;
        const char* Name;
        uint32_t Attributes;
        uint64_t Size;
    };
    const Row rows[] = {
        {0, ".", FILE_ATTRIBUTE_DIRECTORY, 0},
        {1, "..", FILE_ATTRIBUTE_DIRECTORY, 0},
        {2, ".Hidden", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN, 0},
        {3, ".x.wav", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN, 1},
        {4, "A.WAV", FILE_ATTRIBUTE_ARCHIVE, 4},
        {9, "Sub", FILE_ATTRIBUTE_DIRECTORY, 0},
    };
    for (const Row& row : rows) {
        const TOSFindData& e = entries[row.Index];
        EXPECT_EQ(e.Name, row.Name);
        EXPECT_EQ(e.Attributes, row.Attributes) << row.Name;
        EXPECT_EQ(e.Size, row.Size) << row.Name;
    }
    EXPECT_EQ(entries[4].WriteTime, 883612800);
    EXPECT_EQ(entries[4].WriteTimeMs, 250);
}

TEST_F(OSPathsTest, RootListsNoDotEntriesAndBadHandlesAreRefused)
{
    uint32_t error;
    for (const auto& e : Find("\\*", error))
        EXPECT_TRUE(e.Name != "." && e.Name != "..");
    TOSFindData data;
    EXPECT_EQ(OS_FindNextFile(987654321, data), ERROR_INVALID_HANDLE);
    OS_FindClose(987654321);
    TOSFindHandle handle;
    ASSERT_EQ(OS_FindFirstFile(P("Sounds\\*.wav"), handle, data), ERROR_SUCCESS);
    OS_FindClose(handle);
    EXPECT_EQ(OS_FindNextFile(handle, data), ERROR_INVALID_HANDLE);
}

TEST_F(OSPathsTest, FoldersAreCreatedAndFilesDeletedReplacedAndCopied)
{
    EXPECT_TRUE(OS_CreateDirectory(P("data"))); // exists already: fine
    EXPECT_TRUE(OS_CreateDirectory(P("DATA\\One")));
    EXPECT_TRUE(OS_CreateDirectory(P("DATA\\One\\")));
    EXPECT_FALSE(OS_CreateDirectory(P("Missing\\Two")));
    EXPECT_FALSE(OS_CreateDirectory(P("Sounds\\b.wav")));
    EXPECT_TRUE(OS_CreateDirectoryTree(P("data\\one\\Two\\Three\\")));
    EXPECT_EQ(OS_GetFileAttributes(Real("Data/One/Two/Three")), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(OS_CreateDirectoryTree(P("Sounds\\b.wav\\x")));

    EXPECT_TRUE(OS_CopyFile(P("sounds\\a.wav"), P("DATA\\copy.wav")));
    EXPECT_EQ(Tmp.ReadFile("Data/copy.wav"), "aaaa");
    EXPECT_FALSE(OS_CopyFile(P("sounds\\none.wav"), P("DATA\\copy2.wav")));
    EXPECT_EQ(OS_GetFileAttributes(P("data\\copy2.wav")), INVALID_FILE_ATTRIBUTES);

    EXPECT_TRUE(OS_ReplaceFile(P("data\\COPY.WAV"), P("sounds\\B.wav")));
    EXPECT_EQ(Tmp.ReadFile("Sounds/b.wav"), "aaaa");
    EXPECT_EQ(OS_GetFileAttributes(P("data\\copy.wav")), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(OS_ReplaceFile(P("data\\copy.wav"), P("sounds\\b.wav")));

    EXPECT_TRUE(OS_DeleteFile(P("SOUNDS\\b.WAV")));
    EXPECT_EQ(OS_GetFileAttributes(Real("Sounds/b.wav")), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(OS_DeleteFile(P("sounds\\b.wav")));
    EXPECT_FALSE(OS_DeleteFile(P("sounds\\sub")));
    EXPECT_EQ(OS_GetFileAttributes(Real("Sounds/Sub")), FILE_ATTRIBUTE_DIRECTORY);
}

// Loader threads list folders at the same time: each search keeps its own place.
TEST(OSFindThreadTest, SearchesOnSeveralThreadsKeepTheirOwnState)
{
    TTempFolder tmp;
    std::string expected;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "f" + std::to_string(100 + i) + ".dat";
        tmp.WriteFile(name, "");
        expected += name + "|";
    }
    std::vector<std::string> seen(8, expected);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < seen.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                std::string names;
                TOSFindHandle handle;
                TOSFindData data;
                uint32_t error = OS_FindFirstFile(tmp.ProgramPath() + "*.dat", handle, data);
                while (error == ERROR_SUCCESS) {
                    names += data.Name + "|";
                    error = OS_FindNextFile(handle, data);
                }
                OS_FindClose(handle);
                if (names != expected)
                    seen[t] = names; // keep a wrong listing for the report
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (const std::string& names : seen)
        EXPECT_EQ(names, expected);
}

} // namespace

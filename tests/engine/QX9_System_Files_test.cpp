#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <sys/time.h>
#include <unistd.h>

#include "engine/QX9_System.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// Seconds since 1970 of a local calendar time.
time_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return mktime(&t);
}

void SetMtime(const std::string& realPath, time_t when, suseconds_t microseconds = 0)
{
    struct timeval times[2] = {{when, microseconds}, {when, microseconds}};
    ASSERT_EQ(utimes(realPath.c_str(), times), 0) << realPath;
}

std::string Joined(const TStringArray& list)
{
    std::string s;
    for (const std::string& name : list)
        s += (s.empty() ? "" : "|") + name;
    return s;
}

// A small installation-like tree whose names differ in case from the way
// the program spells them.
class FilesTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        Tmp.WriteFile("Data/Interface/unknown.TGA", "tga!");
        Tmp.WriteFile("Data/Sounds/A.WAV", "1");
        Tmp.WriteFile("Data/Sounds/b.wav", "22");
        Tmp.WriteFile("Data/Sounds/c.Wav", "333");
        Tmp.WriteFile("Data/Sounds/.x.wav", "hidden");
        Tmp.WriteFile("Data/Sounds/readme.txt", "text");
        fs::create_directories(Tmp.Path() + "Data/Sounds/Sub.wav");
        fs::create_directories(Tmp.Path() + "Mods/beta");
        fs::create_directories(Tmp.Path() + "Mods/Alpha");
        fs::create_directories(Tmp.Path() + "Mods/.hidden");
        Tmp.WriteFile("Mods/notes.txt", "n");
        Root = Tmp.ProgramPath();
    }

    TTempFolder Tmp;
    std::string Root; // program form, trailing "\"
};

TEST(PathStrings, SplitAndChange)
{
    struct Row {
        const char* op;
        const char* path;
        const char* ext;
        const char* expected;
    } rows[] = {
        {"path", "C:\\Game\\Data\\a.ini", "", "C:\\Game\\Data\\"},
        {"path", "a.ini", "", ""},
        {"path", "C:\\Game\\", "", "C:\\Game\\"},
        {"path", "Data/Sub/a.ini", "", ""}, // "/" is no separator here
        {"name", "C:\\Game\\a.ini", "", "a.ini"},
        {"name", "a.ini", "", "a.ini"},
        {"name", "C:\\Game\\", "", ""},
        {"base", "C:\\x\\name.tar.gz", "", "name.tar"},
        {"base", "C:\\x.y\\name", "", "name"},
        {"base", "noext", "", "noext"},
        {"ext", "mesh.d3d", "", "D3D"},
        {"ext", "noext", "", ""},
        {"ext", "C:\\x\\Sound.Ogg", "", "OGG"},
        {"ext", "name.", "", ""},
        {"change", "Bonuses.Ini", "Rus", "Bonuses.Rus"},
        {"change", "name.a.b", ".x", "name.x"},
        {"change", "Scenario01", "Eng", "Scenario01.Eng"},
        {"change", "Scenario01.map", ".Pol", "Scenario01.Pol"},
    };
    for (const Row& r : rows) {
        std::string op = r.op;
        std::string got = op == "path"   ? ExtractPathStr(r.path)
                          : op == "name" ? ExtractNameStr(r.path)
                          : op == "base" ? ExtractBaseName(r.path)
                          : op == "ext"  ? ExtractExtUpper(r.path)
                                         : ChangeExtStr(r.path, r.ext);
        EXPECT_EQ(got, r.expected) << op << "('" << r.path << "', '" << r.ext << "')";
    }
}

TEST_F(FilesTree, PathDirExistsTestsTheFolderPart)
{
    struct Row {
        std::string path;
        bool expected;
    } rows[] = {
        {Root + "MODS", true},          // tests Root itself
        {Root + "Mods\\", true},        // tests Mods
        {Root + "mods\\ALPHA\\", true}, // case differs on disk
        {Root + "Mods\\Missing\\", false},
        {Root + "Missing\\Mods", false},     // parent missing
        {Root + "Mods\\notes.txt\\", false}, // a file, not a folder
        {Root + "Mods\\notes.txt", true},    // tests Mods
        {"Mods", false},                     // no folder part at all
        {"", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(PathDirExists(r.path), r.expected) << r.path;
}

TEST_F(FilesTree, FileExistsMaskResolvesCaseAndSeparators)
{
    struct Row {
        std::string name;
        bool expected;
    } rows[] = {
        {Root + "Data\\Interface\\Unknown.tga", true}, {Root + "DATA\\interface\\UNKNOWN.TGA", true},
        {Root + "Data/Interface\\unknown.tga", true}, // "/" separates as on Windows
        {Root + "Data\\Interface\\*.tga", true},       {Root + "Data\\Interface\\*.png", false},
        {Root + "Data\\Sounds\\?.wav", true},          {Root + "data\\interface", true}, // folders are found too
        {Root + "Data\\Missing\\x.tga", false},        {"", false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(FileExistsMask(r.name), r.expected) << r.name;
}

TEST_F(FilesTree, SearchFiltersByAttributes)
{
    struct Row {
        const char* mask;
        uint32_t asked;
        bool exact;
        const char* expected; // names in listing order
    } rows[] = {
        // Hidden files and folders only when asked for.
        {"Data\\Sounds\\*", 0, false, "A.WAV|b.wav|c.Wav|readme.txt"},
        {"Data\\Sounds\\*", 2, false, ".x.wav|A.WAV|b.wav|c.Wav|readme.txt"},
        {"Data\\Sounds\\*.WAV", 16, false, "A.WAV|b.wav|c.Wav|Sub.wav"},
        // Exact: every attribute bit must be asked for.
        {"Data\\Sounds\\*", 32, true, "A.WAV|b.wav|c.Wav|readme.txt"},
        {"Data\\Sounds\\*", 16, true, ".|..|Sub.wav"},
        {"Data\\Sounds\\*.mp3", 63, false, ""},
        {"Nowhere\\*", 63, false, ""},
    };
    for (const Row& r : rows) {
        TSearchRec rec;
        std::string mask = Root + r.mask;
        uint32_t error = r.exact ? FindFirstEntryExact(mask, r.asked, rec) : FindFirstEntry(mask, r.asked, rec);
        TStringArray names;
        while (error == ERROR_SUCCESS) {
            names.push_back(rec.Name);
            EXPECT_EQ(rec.Attributes & rec.ExcludeMask, 0u) << r.mask << " " << rec.Name;
            error = FindNextEntry(rec);
        }
        EXPECT_NE(error, ERROR_SUCCESS);
        FindCloseEntry(rec);
        EXPECT_EQ(rec.Handle, INVALID_FIND_HANDLE);
        EXPECT_EQ(Joined(names), r.expected) << r.mask << " asked " << r.asked << (r.exact ? " exact" : "");
    }
}

TEST_F(FilesTree, SearchRecordHoldsSizeAttributesAndName)
{
    TSearchRec rec;
    ASSERT_EQ(FindFirstEntry(Root + "data\\sounds\\C.WAV", 0, rec), ERROR_SUCCESS);
    EXPECT_EQ(rec.Name, "c.Wav");
    EXPECT_EQ(rec.Size, 3u);
    EXPECT_EQ(rec.Attributes & FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(rec.ExcludeMask, 30u);
    FindCloseEntry(rec);

    // Files the user may not write carry the read-only bit.
    std::string ro = Tmp.WriteFile("Ro/locked.dat", "x");
    fs::permissions(ro, fs::perms::owner_read);
    const std::string skipped = RunWherePermissionsApply(
        [&] {
            TSearchRec found;
            ASSERT_EQ(FindFirstEntry(Root + "Ro\\*", 0, found), ERROR_SUCCESS);
            EXPECT_EQ(found.Attributes, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
            FindCloseEntry(found);
            EXPECT_NE(FindFirstEntryExact(Root + "Ro\\*.dat", 32, found), ERROR_SUCCESS);
            TStringArray list;
            EXPECT_EQ(ListFiles(Root + "Ro\\*", list, false), 1);
        },
        {Tmp.Path()});

    // A first step that finds nothing acceptable leaves no search open.
    TSearchRec none;
    EXPECT_NE(FindFirstEntry(Root + "Mods\\Alpha", 0, none), ERROR_SUCCESS);
    EXPECT_EQ(none.Handle, INVALID_FIND_HANDLE);
    EXPECT_NE(FindNextEntry(none), ERROR_SUCCESS);
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

TEST_F(FilesTree, ListFilesReplacesOrAppends)
{
    struct Row {
        const char* mask;
        TStringArray start;
        bool append;
        int32_t found;
        const char* expected;
    } rows[] = {
        // Sorted by upper-cased name; hidden files listed, folders not.
        {"Data\\Sounds\\*.wav", {}, false, 4, ".x.wav|A.WAV|b.wav|c.Wav"},
        {"Data\\Sounds\\?.wav", {"one", "two"}, true, 3, "one|two|A.WAV|b.wav|c.Wav"},
        // Without append the list is cut to what was found.
        {"Data\\Sounds\\?.wav", {"1", "2", "3", "4", "5"}, false, 3, "A.WAV|b.wav|c.Wav"},
        // Nothing found: the list stays as it was, append or not.
        {"Data\\Sounds\\*.mp3", {"keep", "me"}, false, 0, "keep|me"},
        {"Data\\Sounds\\*.mp3", {"keep"}, true, 0, "keep"},
        {"Mods\\*", {}, false, 1, "notes.txt"},
    };
    for (const Row& r : rows) {
        TStringArray list = r.start;
        EXPECT_EQ(ListFiles(Root + r.mask, list, r.append), r.found) << r.mask;
        EXPECT_EQ(Joined(list), r.expected) << r.mask;
    }
}

TEST_F(FilesTree, ListFoldersSkipsDotEntriesAndHiddenFolders)
{
    TStringArray list = {"old1", "old2", "old3", "old4", "old5"};
    // Entries whose bits all lie within directory and archive: plain
    // writable files share the archive bit and are listed with the folders.
    EXPECT_EQ(ListFolders(Root + "Mods\\*", list), 3);
    EXPECT_EQ(Joined(list), "Alpha|beta|notes.txt");

    list = {"keep"};
    EXPECT_EQ(ListFolders(Root + "Mods\\Alpha\\*", list), 0); // only "." and ".."
    EXPECT_EQ(Joined(list), "keep");
    EXPECT_EQ(ListFolders(Root + "Nowhere\\*", list), 0);
    EXPECT_EQ(Joined(list), "keep");
}

TEST_F(FilesTree, GetFileInfoGivesSizeAndLocalStamp)
{
    std::string old = Tmp.WriteFile("Old.ini", "12345");
    SetMtime(old, LocalTime(1998, 6, 15, 12, 0, 0));
    std::string recent = Tmp.WriteFile("Recent.ini", std::string(70000, 'x'));
    SetMtime(recent, LocalTime(2020, 3, 4, 5, 6, 7), 456789);

    struct Row {
        std::string name;
        bool ok;
        int32_t size;
        int64_t stamp;
    } rows[] = {
        {Root + "old.INI", true, 5, 0}, // before 2000
        // The milliseconds of the last write are part of the stamp.
        {Root + "recent.ini", true, 70000, EncodeDateTimeMs(2020, 3, 4, 5, 6, 7, 456)},
        {Root + "Mods", false, -1, -1},
        {Root + "Mods\\Alpha", false, -1, -1},
        {Root + "missing.ini", false, -1, -1},
        {"", false, -1, -1},
    };
    for (const Row& r : rows) {
        int32_t size = 99;
        int64_t stamp = 99;
        EXPECT_EQ(GetFileInfo(r.name, size, stamp), r.ok) << r.name;
        EXPECT_EQ(size, r.size) << r.name;
        EXPECT_EQ(stamp, r.stamp) << r.name;
    }
}

// ---------------------------------------------------------------------------
// Raw file access

std::string Counted(int32_t length, const std::string& bytes)
{
    std::string s(4, '\0');
    std::memcpy(s.data(), &length, 4);
    return s + bytes;
}

TEST(FileHandles, OpenCreatesButNeverTruncates)
{
    TTempFolder tmp;
    std::string name = tmp.ProgramPath() + "New.bin";
    THandle h = FileOpenRW(name);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileWriteAt(h, "hello world", 11, 0), 11);
    EXPECT_EQ(FileWriteAt(h, "W", 1, 6), 1);
    EXPECT_EQ(FileWriteAt(h, "!", 1, -1), 1); // right after the last write
    FileCloseHandle(h);
    EXPECT_EQ(tmp.ReadFile("New.bin"), "hello W!rld");

    h = FileOpenRW(tmp.ProgramPath() + "NEW.BIN");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char buffer[16] = {};
    EXPECT_EQ(FileReadAt(h, buffer, 5, 6), 5);
    EXPECT_EQ(std::string(buffer, 5), "W!rld");
    EXPECT_EQ(FileReadAt(h, buffer, 16, 0), 11); // short at the end of the file
    EXPECT_EQ(FileReadAt(h, buffer, 16, -1), 0);
    FileCloseHandle(h);
    EXPECT_EQ(tmp.ReadFile("New.bin"), "hello W!rld");

    EXPECT_EQ(FileOpenRW(tmp.ProgramPath() + "NoFolder\\x.bin"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FileOpenRW(""), INVALID_HANDLE_VALUE);
}

TEST(FileHandles, ReadStringCountedAndLineForms)
{
    TTempFolder tmp;
    struct Row {
        const char* what;
        std::string bytes;
        bool counted;
        int64_t position;
        std::string text;
        int32_t result;
    } rows[] = {
        {"length 0", Counted(0, "xyz"), true, 0, "", 4},
        {"negative length", Counted(-5, "xyz"), true, 0, "", 4},
        {"plain", Counted(3, "abcdef"), true, 0, "abc", 7},
        {"at a position", "ZZ" + Counted(2, "hi"), true, 2, "hi", 6},
        // A damaged length is bounded by the bytes the file still holds.
        {"length past the end", Counted(1000, "short"), true, 0, "short", 9},
        {"huge length", Counted(0x7FFFFFFF, "ab"), true, 0, "ab", 6},
        {"length itself cut", std::string("\x05\x00", 2), true, 0, "", 2},
        {"empty file", "", true, 0, "", 0},
        {"line drops CR and TAB", "a\tb\r\nnext", false, 0, "ab", 5},
        {"line at a position", "a\tb\r\nnext", false, 5, "next", 4},
        {"line without LF", "last", false, 0, "last", 4},
        {"line ended by a CR alone", "a\tb\rnext", false, 0, "ab", 4},
        {"line of CR alone at a position", "x\rnext\r", false, 2, "next", 5},
        {"empty line", "\nx", false, 0, "", 1},
        {"UTF-8 kept", "\xD0\xBB\xD0\xB5\n", false, 0, "\xD0\xBB\xD0\xB5", 5},
    };
    for (const Row& r : rows) {
        tmp.WriteFile("s.bin", r.bytes);
        THandle h = FileOpenRW(tmp.ProgramPath() + "s.bin");
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << r.what;
        std::string text = "stale";
        EXPECT_EQ(FileReadString(h, text, r.counted, r.position), r.result) << r.what;
        EXPECT_EQ(text, r.text) << r.what;
        FileCloseHandle(h);
    }
}

TEST(FileHandles, ReadStringContinuesAtTheCurrentPosition)
{
    TTempFolder tmp;
    // A CR LF pair split between two reads of the file is still one line end.
    const std::string longLine(255, 'q');
    tmp.WriteFile("s.bin", Counted(2, "ab") + Counted(3, "cde") + "line one\r\nline two\n\rmac\r" + longLine + "\r\n" +
                               longLine + "\rtail");
    THandle h = FileOpenRW(tmp.ProgramPath() + "s.bin");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::string text;
    const std::string expected[] = {"ab", "cde", "line one", "line two", "", "mac", longLine, longLine, "tail", ""};
    for (int i = 0; i < 10; ++i) {
        FileReadString(h, text, i < 2, i == 0 ? 0 : -1);
        EXPECT_EQ(text, expected[i]) << "read " << i;
    }
    FileCloseHandle(h);
}

} // namespace

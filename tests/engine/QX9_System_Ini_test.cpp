#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/inotify.h>
#include <unistd.h>

#include "engine/QX9_System_Ini.h"
#include "tests/support/FatalStop.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// Sections and their unparsed lines as one text: "[name]trailer{a|b}".
std::string Dump(TIniFile& ini)
{
    std::string s;
    for (int32_t i = 0; i < ini.SectionCount(); ++i) {
        ini.SelectSectionIndex(i);
        s += "[" + ini.SectionName(i) + "]" + ini.Sections[i].Trailer + "{";
        for (int32_t k = 0; k < ini.KeyCount(); ++k)
            s += (k ? "|" : "") + ini.NextLine();
        s += "}";
    }
    return s;
}

class IniFiles : public ::testing::Test {
protected:
    // Writes the bytes to a file and loads it.
    void LoadBytes(const std::string& bytes, const std::string& name = "Test.ini")
    {
        Tmp.WriteFile(name, bytes);
        Ini.Load(Tmp.ProgramPath() + name);
    }
    std::string Saved(const std::string& name = "Test.ini")
    {
        EXPECT_TRUE(Ini.Save());
        return Tmp.ReadFile(name);
    }

    TTempFolder Tmp;
    TIniFile Ini;
};

TEST_F(IniFiles, LoadCutsLinesAndSections)
{
    struct Row {
        const char* what;
        std::string bytes;
        const char* expected;
    } rows[] = {
        {"empty file", "", ""},
        {"CR LF", "[A]\r\nx=1\r\ny\r\n", "[A]{x=1|y}"},
        {"LF only", "[A]\nx=1\ny\n", "[A]{x=1|y}"},
        {"CR only", "[A]\rx=1\ry\r", "[A]{x=1|y}"},
        {"CR only, blank line and last line", "[A]\rx=1\r\ry", "[A]{x=1||y}"},
        {"mixed", "[A]\r\nx\ry\n\r\nz", "[A]{x|y||z}"},
        {"lines before the first header", "top\n\n[A]\nx", "[]{top|}[A]{x}"},
        {"blank first line", "\n[A]", "[]{}[A]{}"},
        {"header name trimmed, trailer kept", "[ Main ] ;x\n", "[Main] ;x{}"},
        {"header without ]", "[Open\nx", "[Open]{x}"},
        {"only the first ] ends the name", "[a]b]\n", "[a]b]{}"},
        {"lines trimmed", "[A]\n \t key = v \t\r\n", "[A]{key = v}"},
        {"blank lines kept", "[A]\n\n  \r\n\tx\n", "[A]{||x}"},
        {"duplicate sections", "[A]\na\n[A]\nb", "[A]{a}[A]{b}"},
        // The last line is read whatever its length.
        {"one-byte last line", "[A]\nx=1\nB", "[A]{x=1|B}"},
        {"one-byte file", "x", "[]{x}"},
        {"one-byte header", "[", "[]{}"},
        {"empty last line", "[A]\nx\n\n", "[A]{x|}"},
        // Only a whole byte-order mark at the start of the file goes.
        {"byte-order mark", "\xEF\xBB\xBF[A]\nk=v", "[A]{k=v}"},
        {"mark alone", "\xEF\xBB\xBF", ""},
        {"half a mark", "\xEF\xBB[A]", "[]{\xEF\xBB[A]}"},
        {"mark bytes inside UTF-8 lines", "[L]\n\xD0\xBB\xD0\xB5\xD1\x81\na\xD0\xBF\xD1\x80\n\xEF\xBB\xBFx",
         "[L]{\xD0\xBB\xD0\xB5\xD1\x81|a\xD0\xBF\xD1\x80|\xEF\xBB\xBFx}"},
    };
    for (const Row& r : rows) {
        LoadBytes(r.bytes);
        EXPECT_EQ(Dump(Ini), r.expected) << r.what;
        TIniFile fromMemory;
        fromMemory.LoadFromMemory("Memory.ini", r.bytes);
        EXPECT_EQ(Dump(fromMemory), r.expected) << r.what << " (from memory)";
    }
}

TEST_F(IniFiles, LoadResetsStateAndKeepsPathParts)
{
    LoadBytes("[A]\nk=1\n[B]\nk=2");
    EXPECT_EQ(Ini.CurrentSection, -1);
    EXPECT_EQ(Ini.KeyCursor(), -1);
    EXPECT_EQ(Ini.ReadString("k", -1), ""); // no section selected yet
    EXPECT_EQ(Ini.FolderName, Tmp.ProgramPath());
    EXPECT_EQ(Ini.FileName, "Test.ini");
    ASSERT_TRUE(Ini.SelectSection("B"));
    EXPECT_EQ(Ini.ReadString("k", -1), "2");

    LoadBytes("[C]\nk=3", "Other.ini");
    EXPECT_EQ(Ini.SectionCount(), 1);
    EXPECT_EQ(Ini.CurrentSection, -1);
    EXPECT_EQ(Ini.FileName, "Other.ini");

    // Bytes from memory replace the content the same way; the name given is
    // where the file is saved.
    ASSERT_TRUE(Ini.SelectSection("C"));
    Ini.LoadFromMemory(Tmp.ProgramPath() + "Memory.ini", "[D]\nk=4");
    EXPECT_EQ(Ini.SectionCount(), 1);
    EXPECT_EQ(Ini.CurrentSection, -1);
    EXPECT_EQ(Ini.FolderName, Tmp.ProgramPath());
    EXPECT_EQ(Ini.FileName, "Memory.ini");
    EXPECT_EQ(Saved("Memory.ini"), "[D]\r\nk=4");

    Ini.Clear();
    EXPECT_EQ(Ini.SectionCount(), 0);
    EXPECT_EQ(Ini.KeyCount(), 0);
}

// Load, edit and save: the fixed layout, byte for byte.
TEST_F(IniFiles, SaveWritesTheFixedLayout)
{
    LoadBytes("\xEF\xBB\xBF; settings\r\n"
              "  before = 1  \r\n"
              "\r\n"
              "[Main] ;x\r\n"
              "Key = a , b\r\n"
              "Key = second\r\n"
              "  junk line  \r\n"
              "\r\n"
              "Name=Old\r\n"
              "[Empty]\r\n"
              "[List]\r\n"
              "\xD0\xBB\xD0\xB5\xD1\x81\r\n"
              "a\xD0\xBF\xD1\x80\r\n"
              "\tlast \r\n");
    ASSERT_TRUE(Ini.SelectSection("Main"));
    EXPECT_EQ(Ini.ReadString("Key", -1), "a , b");
    Ini.WriteString("Name", "New", -1);
    Ini.WriteString("Added", "z", 2);
    EXPECT_EQ(Saved(), "; settings\r\n"
                       "before = 1\r\n"
                       "\r\n"
                       "[Main] ;x\r\n"
                       "Key=a , b\r\n"
                       "Key = second\r\n"
                       "junk line\r\n"
                       "\r\n"
                       "Name=New\r\n"
                       "Added=,z\r\n"
                       "[Empty]\r\n"
                       "[List]\r\n"
                       "\xD0\xBB\xD0\xB5\xD1\x81\r\n"
                       "a\xD0\xBF\xD1\x80\r\n"
                       "last");
    // The current section survives the save; no temporary file is left.
    EXPECT_EQ(Ini.CurrentSection, 1);
    EXPECT_EQ(Ini.ReadString("Added", 2), "z");
    int files = 0;
    for (const auto& entry : fs::directory_iterator(Tmp.Path()))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST_F(IniFiles, SaveLineEndsAtSectionBoundaries)
{
    struct Row {
        std::string bytes;
        const char* expected;
    } rows[] = {
        {"", ""},
        {"[A]", "[A]"},
        {"[A]\n[B]\n", "[A]\r\n[B]"},
        {"[A]x\n", "[A]x"},
        {"x\n[A]\ny\n", "x\r\n[A]\r\ny"},
        {"[A]\n\n", "[A]\r\n"},
        {"[A]\nk = v\n[B]\n", "[A]\r\nk=v\r\n[B]"},
    };
    for (const Row& r : rows) {
        LoadBytes(r.bytes);
        if (Ini.SelectSection("A") && Ini.KeyExists("k"))
            Ini.ReadString("k", 1);
        EXPECT_EQ(Saved(), r.expected) << r.bytes;
    }
}

TEST_F(IniFiles, SaveToAnotherFileAndFailures)
{
    LoadBytes("[A]\nk=v");
    EXPECT_TRUE(Ini.Save(Tmp.ProgramPath() + "Copy.ini"));
    EXPECT_EQ(Tmp.ReadFile("Copy.ini"), "[A]\r\nk=v");
    EXPECT_EQ(Tmp.ReadFile("Test.ini"), "[A]\nk=v");
    // A folder that does not exist: reported, nothing written.
    EXPECT_FALSE(Ini.Save(Tmp.ProgramPath() + "NoFolder\\x.ini"));
    EXPECT_FALSE(fs::exists(Tmp.Path() + "NoFolder"));
    TIniFile never;
    EXPECT_FALSE(never.Save());
}

// Settings kept elsewhere and linked into the game's folder stay linked: the
// save replaces the file the link points to. A file of the user's own named
// like a temporary file stays as it is.
TEST_F(IniFiles, SaveThroughASymbolicLinkKeepsTheLink)
{
    Tmp.WriteFile("Elsewhere/Options_Game.ini", "[Main]\nVolume=5\n");
    Tmp.WriteFile("Game/Options_Game.ini.tmp", "mine");
    ASSERT_EQ(symlink("../Elsewhere/Options_Game.ini", (Tmp.Path() + "Game/Options_Game.ini").c_str()), 0);

    Ini.Load(Tmp.ProgramPath() + "Game\\Options_Game.ini");
    ASSERT_TRUE(Ini.SelectSection("Main"));
    EXPECT_EQ(Ini.ReadInteger("Volume", -1, 0), 5);
    Ini.WriteInteger("Volume", 7, -1);
    ASSERT_TRUE(Ini.Save());

    EXPECT_TRUE(fs::is_symlink(Tmp.Path() + "Game/Options_Game.ini"));
    EXPECT_EQ(Tmp.ReadFile("Elsewhere/Options_Game.ini"), "[Main]\r\nVolume=7");
    EXPECT_EQ(Tmp.ReadFile("Game/Options_Game.ini.tmp"), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(Tmp.Path() + "Elsewhere"), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(Tmp.Path() + "Game"), fs::directory_iterator()), 2);
}

TEST_F(IniFiles, MissingFileIsCreatedEmpty)
{
    Ini.Load(Tmp.ProgramPath() + "Fresh.ini");
    EXPECT_EQ(Ini.SectionCount(), 0);
    ASSERT_TRUE(fs::exists(Tmp.Path() + "Fresh.ini"));
    EXPECT_EQ(fs::file_size(Tmp.Path() + "Fresh.ini"), 0u);
    EXPECT_FALSE(Ini.SelectSection(""));
    Ini.WriteString("k", "v", -1); // no section: nothing happens
    EXPECT_EQ(Saved("Fresh.ini"), "");
}

TEST_F(IniFiles, FileThatCannotBeCreatedIsFatal)
{
    ClearEngineErrorText();
    SetFatalStopHook(&ThrowingStop);
    std::string name = Tmp.ProgramPath() + "NoFolder\\Options_Game.ini";
    EXPECT_THROW(Ini.Load(name), TFatalStopped);
    SetFatalStopHook(nullptr);
    EXPECT_EQ(GetEngineErrorText(), "\n\rTIniFile.Load(" + name + ") -> FILE NOT FOUND!");
    ClearEngineErrorText();
}

// A file that can only be read (a read-only installation) still loads.
TEST_F(IniFiles, ReadOnlyFileLoads)
{
    std::string path = Tmp.WriteFile("Ro.ini", "[A]\nk=v\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Ini.Load(Tmp.ProgramPath() + "Ro.ini");
    ASSERT_TRUE(Ini.SelectSection("A"));
    EXPECT_EQ(Ini.ReadString("k", -1), "v");
    Ini.WriteString("k", "changed", -1);
    const std::string skipped = RunWherePermissionsApply(
        [&] {
            EXPECT_FALSE(Ini.Save());
            EXPECT_EQ(Tmp.ReadFile("Ro.ini"), "[A]\nk=v\n");
        },
        {Tmp.Path()});

    // A file no user may write, whoever runs the test.
    ASSERT_TRUE(fs::exists("/proc/version"));
    Ini.Load("\\proc\\version");
    EXPECT_EQ(Ini.SectionCount(), 1);
    EXPECT_FALSE(Ini.Save());
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

// Loading opens the file for reading only: an installed game's folder may be
// read-only, and a file opened for writing is reported as written when it is
// closed (a file watcher sees IN_CLOSE_WRITE).
TEST_F(IniFiles, LoadingOpensForReadingOnly)
{
    const std::string path = Tmp.WriteFile("Game.ini", "[A]\nk=v\n");
    const int watcher = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watcher, 0);
    ASSERT_GE(inotify_add_watch(watcher, path.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE), 0);
    Ini.Load(Tmp.ProgramPath() + "Game.ini");
    uint32_t seen = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t got; (got = read(watcher, events, sizeof events)) > 0;)
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            seen |= event->mask;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    close(watcher);
    EXPECT_EQ(seen & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE), static_cast<uint32_t>(IN_CLOSE_NOWRITE));
    ASSERT_TRUE(Ini.SelectSection("A"));
    EXPECT_EQ(Ini.ReadString("k", -1), "v");

    // A folder and file nobody may change, read by a user whom permissions
    // stop (root too, through the helper).
    const std::string folder = Tmp.Path() + "Installed";
    fs::create_directories(folder);
    Tmp.WriteFile("Installed/Game.ini", "[A]\nk=installed\n");
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(folder + "/Game.ini", readOnly);
    fs::permissions(folder, readOnly | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
    const std::string skipped = RunWherePermissionsApply(
        [&] {
            TIniFile installed;
            installed.Load(Tmp.ProgramPath() + "Installed\\Game.ini");
            ASSERT_TRUE(installed.SelectSection("A"));
            EXPECT_EQ(installed.ReadString("k", -1), "installed");
            EXPECT_FALSE(installed.Save());
        },
        {Tmp.Path()});
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(Tmp.ReadFile("Installed/Game.ini"), "[A]\nk=installed\n");
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

TEST_F(IniFiles, KeyMatching)
{
    struct Row {
        const char* line;
        const char* key;
        bool found;
        const char* value;
    } rows[] = {
        {"Key    = 5", "Key", true, "5"},
        {"Key\t=5", "Key", true, "5"},
        {"Key=", "Key", true, ""},
        {"Key==5", "Key", true, "=5"},
        {"Key2=5", "Key", false, ""},
        {"key=5", "Key", false, ""},
        {"Key 5", "Key", false, ""},
        {"Key 5=6", "Key", false, ""},
        {"Key", "Key", false, ""},
        {"Key=5", "Ke", false, ""},
        {"Key=5", "", false, ""},
        {"\xD0\x9A\xD0\xBB=\xD1\x8E\xD1\x87", "\xD0\x9A\xD0\xBB", true, "\xD1\x8E\xD1\x87"},
    };
    for (const Row& r : rows) {
        LoadBytes(std::string("[S]\n") + r.line);
        ASSERT_TRUE(Ini.SelectSection("S"));
        EXPECT_EQ(Ini.KeyExists(r.key), r.found) << r.line << " / " << r.key;
        EXPECT_EQ(Ini.ReadString(r.key, -1), r.value) << r.line << " / " << r.key;
        // Once parsed, the line is found by its key.
        EXPECT_EQ(Ini.KeyExists(r.key), r.found) << r.line << " / " << r.key << " after the read";
    }
}

TEST_F(IniFiles, FirstKeyAndFirstSectionWin)
{
    LoadBytes("[S]\nx=0\nKey=first\nKey=second\n[S]\nKey=other\n[T]\nKey=t");
    ASSERT_TRUE(Ini.SelectSection("S"));
    EXPECT_EQ(Ini.ReadString("Key", -1), "first");
    EXPECT_EQ(Ini.KeyCursor(), 1);
    Ini.WriteString("Key", "changed", -1);
    EXPECT_EQ(Ini.ReadString("Key", -1), "changed");
    EXPECT_FALSE(Ini.SelectSection("s")); // exact names only
    EXPECT_FALSE(Ini.SelectSection("Missing"));
    // A failed selection keeps the previous section current.
    EXPECT_EQ(Ini.CurrentSection, 0);
    EXPECT_EQ(Ini.ReadString("Key", -1), "changed");
    ASSERT_TRUE(Ini.SelectSectionIndex(1));
    EXPECT_EQ(Ini.ReadString("Key", -1), "other");
    EXPECT_FALSE(Ini.SelectSectionIndex(3));
    EXPECT_FALSE(Ini.SelectSectionIndex(-1));
    EXPECT_EQ(Ini.CurrentSection, 1);
    EXPECT_EQ(Ini.SectionName(2), "T");
    EXPECT_EQ(Ini.SectionName(3), "");
    EXPECT_EQ(Saved(), "[S]\r\nx=0\r\nKey=changed\r\nKey=second\r\n[S]\r\nKey=other\r\n[T]\r\nKey=t");
}

TEST_F(IniFiles, ItemSplitting)
{
    struct Row {
        const char* value;
        std::vector<std::string> items;
    } rows[] = {
        {"a, (b, c), \"d, e\"", {"a", "(b, c)", "\"d, e\""}},
        {"a,", {"a"}},
        {",a", {"", "a"}},
        {",", {""}},
        {"", {}},
        {"a,,b", {"a", "", "b"}},
        {"a,,", {"a", ""}},
        {" a ,  b ", {"a", "b"}},
        {"[x, y], {z, w}", {"[x, y]", "{z, w}"}},
        // One level only: inside a pair nothing else opens.
        {"[x, (y], z)", {"[x, (y]", "z)"}},
        {"(a, \"b), c\"", {"(a, \"b)", "c\""}},
        {"((a, b), c)", {"((a, b)", "c)"}},
        {"{open, never, closed", {"{open, never, closed"}},
        {"\"q\"\"r, s\"", {"\"q\"\"r, s\""}},
    };
    for (const Row& r : rows) {
        const std::string file = std::string("[S]\r\nKey = ") + r.value + "\r\n";
        // Freshly loaded, a whole-value read gives the trimmed value.
        LoadBytes(file);
        ASSERT_TRUE(Ini.SelectSection("S"));
        EXPECT_EQ(Ini.ReadString("Key", -1), TrimStr(r.value)) << r.value;

        LoadBytes(file);
        ASSERT_TRUE(Ini.SelectSection("S"));
        ASSERT_EQ(Ini.ValueCount("Key"), static_cast<int32_t>(r.items.size())) << r.value;
        for (size_t i = 0; i < r.items.size(); ++i)
            EXPECT_EQ(Ini.ReadString("Key", static_cast<int32_t>(i + 1)), r.items[i]) << r.value << " item " << i + 1;
        EXPECT_EQ(Ini.ReadString("Key", static_cast<int32_t>(r.items.size() + 1)), "") << r.value;
        EXPECT_EQ(Ini.ReadString("Key", 0), "") << r.value;
    }
}

// What a read answers depends on how the line was parsed before; the table
// loaders rely on it.
TEST_F(IniFiles, ReadsDependOnEarlierReads)
{
    const std::string file = "[S]\nKey = a, (b, c), \"d, e\"\n";
    LoadBytes(file);
    ASSERT_TRUE(Ini.SelectSection("S"));
    EXPECT_EQ(Ini.ReadString("Key", -1), "a, (b, c), \"d, e\"");
    EXPECT_EQ(Ini.ValueCount("Key"), 1); // whole value kept as one item
    // An item read splits it after all.
    EXPECT_EQ(Ini.ReadString("Key", 2), "(b, c)");
    EXPECT_EQ(Ini.ValueCount("Key"), 3);
    EXPECT_EQ(Ini.ReadString("Key", -1), "a"); // item 1 only now

    LoadBytes(file);
    ASSERT_TRUE(Ini.SelectSection("S"));
    EXPECT_EQ(Ini.ReadString("Key", 3), "\"d, e\"");
    EXPECT_EQ(Ini.ReadString("Key", -1), "a");
    EXPECT_EQ(Ini.ValueCount("Missing"), 0);
}

TEST_F(IniFiles, WritesAndTheirSavedLines)
{
    struct Row {
        const char* what;
        const char* line; // the section's one line before the write
        std::function<void(TIniFile&)> write;
        const char* saved; // the section's lines after the write
    } rows[] = {
        {"item 3 of a new key", "x=1", [](TIniFile& i) { i.WriteString("Key", "x", 3); }, "x=1\r\nKey=,,x"},
        {"whole value of a new key", "", [](TIniFile& i) { i.WriteString("Key", "a, b", -1); }, "Key=a, b"},
        {"index 0 only creates", "x=1", [](TIniFile& i) { i.WriteString("Key", "x", 0); }, "x=1\r\nKey="},
        {"index 0 on an existing key", "Key = a ,b", [](TIniFile& i) { i.WriteString("Key", "x", 0); }, "Key=a,b"},
        {"item of a split line", "Key = a, b, c", [](TIniFile& i) { i.WriteString("Key", "X", 2); }, "Key=a,X,c"},
        {"item past the end", "Key=a", [](TIniFile& i) { i.WriteString("Key", "v", 4); }, "Key=a,,,v"},
        {"whole value replaces items", "Key = a, b", [](TIniFile& i) { i.WriteString("Key", "v", -1); }, "Key=v"},
        {"after a whole read, item 2", "Key = a, b",
         [](TIniFile& i) {
             i.ReadString("Key", -1);
             i.WriteString("Key", "X", 2);
         },
         "Key=a, b,X"},
        {"integer", "", [](TIniFile& i) { i.WriteInteger("N", -7, -1); }, "N=-7"},
        {"big integer", "", [](TIniFile& i) { i.WriteInteger("N", 5000000000LL, -1); }, "N=5000000000"},
        {"whole float", "", [](TIniFile& i) { i.WriteFloat("F", 3.0f, -1); }, "F=3"},
        {"float", "", [](TIniFile& i) { i.WriteFloat("F", 2.5f, 2); }, "F=,2.5"},
        {"bool", "B=No", [](TIniFile& i) { i.WriteBool("B", true, -1); }, "B=Yes"},
        {"UTF-8 bytes", "", [](TIniFile& i) { i.WriteString("T", "\xD0\xBB", -1); }, "T=\xD0\xBB"},
    };
    for (const Row& r : rows) {
        LoadBytes(std::string("[S]\n") + r.line);
        ASSERT_TRUE(Ini.SelectSection("S"));
        r.write(Ini);
        EXPECT_EQ(Saved(), std::string("[S]\r\n") + r.saved) << r.what;
    }
}

TEST_F(IniFiles, TypedReads)
{
    LoadBytes("[S]\nFlag=1\nYes=Yes\nTrue= true \nEmpty=\nInt=1.5\nNeg=-12abc3\nF=2.5e-02\nList=3, x, 0.5\n");
    ASSERT_TRUE(Ini.SelectSection("S"));
    struct Row {
        const char* key;
        int32_t index;
        bool boolValue;
        int32_t intValue;
        float floatValue;
    } rows[] = {
        {"Flag", -1, false, 1, 1.0f},    {"Yes", -1, true, 0, 0.0f},   {"True", -1, true, 0, 0.0f},
        {"Empty", -1, true, 42, 9.5f}, // defaults
        {"Missing", -1, true, 42, 9.5f}, {"Int", -1, false, 15, 1.5f}, {"Neg", -1, false, -123, -123.0f},
        {"F", -1, false, 2502, 0.025f},  {"List", 1, false, 3, 3.0f},  {"List", 3, false, 5, 0.5f},
        {"List", 4, true, 42, 9.5f},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Ini.ReadBool(r.key, r.index, true), r.boolValue) << r.key << " " << r.index;
        EXPECT_EQ(Ini.ReadInteger(r.key, r.index, 42), r.intValue) << r.key << " " << r.index;
        EXPECT_FLOAT_EQ(Ini.ReadFloat(r.key, r.index, 9.5f), r.floatValue) << r.key << " " << r.index;
    }
}

TEST_F(IniFiles, ListSectionsReadLineByLine)
{
    LoadBytes("[Names]\r\n\xD0\xBB\xD0\xB5\xD1\x81\r\nKey=v\r\n\r\na\xD0\xBF\xD1\x80\r\nbad\xFF\r\n");
    ASSERT_TRUE(Ini.SelectSection("Names"));
    EXPECT_EQ(Ini.KeyCount(), 5);
    EXPECT_EQ(Ini.ReadString("Key", -1), "v");
    EXPECT_EQ(Ini.KeyCursor(), 1);
    ASSERT_TRUE(Ini.SelectSection("Names"));
    EXPECT_EQ(Ini.KeyCursor(), 0);
    EXPECT_EQ(Ini.NextLineWide(), u"\u043B\u0435\u0441");
    EXPECT_EQ(Ini.NextLineWide(), u""); // parsed lines read as empty
    EXPECT_EQ(Ini.NextLineWide(), u"");
    EXPECT_EQ(Ini.NextLineWide(), u"a\u043F\u0440");
    EXPECT_EQ(Ini.NextLineWide(), u"bad\uFFFD");
    EXPECT_EQ(Ini.NextLine(), ""); // past the end; the cursor still moves
    EXPECT_EQ(Ini.KeyCursor(), 6);
    EXPECT_EQ(Saved(), "[Names]\r\n\xD0\xBB\xD0\xB5\xD1\x81\r\nKey=v\r\n\r\na\xD0\xBF\xD1\x80\r\nbad\xFF");

    LoadBytes("[T]\nTitle = \xD0\x9C\xD0\xB8\xD1\x80, \xE2\x82\xAC\n");
    ASSERT_TRUE(Ini.SelectSection("T"));
    EXPECT_EQ(Ini.ReadWideString("Title", 2), u"\u20AC");
    EXPECT_EQ(Ini.ReadWideString("Title", 1), u"\u041C\u0438\u0440");
    EXPECT_EQ(Ini.ReadWideString("None", -1), u"");
}

} // namespace

// TScript: key lookups (the last line wins, only quotes protect commas), the
// comment filter, section headers, and the same answers from a plain and a
// "QXpf"-packed copy of one file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/QX9_System_Script.h"
#include "engine/QX9_System_ZipFile.h"
#include "tests/support/TestSupport.h"

namespace {

const char* const SampleScript = "before = header\r\n"
                                 "[Main] extra\r\n"
                                 "A = 1\r\n"
                                 "A = 2\r\n"
                                 "Color = 1, \"x, y\", 3\r\n"
                                 "List = (1, 2)\r\n"
                                 "Visible1 = y\r\n"
                                 "Visible2 = Yes\r\n"
                                 "Visible3 = 1\r\n"
                                 "Visible4 = true\r\n"
                                 "Speed = 2.5\r\n"
                                 "Empty =\r\n"
                                 "Tab\t= a\tb\r\n"
                                 "Quoted = \"ab\"c, \"open\r\n"
                                 "\r\n"
                                 "[Second]\r\n"
                                 "A = second\r\n"
                                 " [NotAHeader]\r\n"
                                 "[Third]\r\n";

// Two files read as scripts, with the filter off and on, give the same lines,
// sections and answers to every key.
void ExpectSameAnswers(const std::string& first, const std::string& second)
{
    for (bool filter : {false, true}) {
        SCOPED_TRACE(filter ? "filter on" : "filter off");
        TScript a(first, filter);
        TScript b(second, filter);
        ASSERT_EQ(a.Lines, b.Lines);
        ASSERT_EQ(a.SectionCount, b.SectionCount);
        for (int32_t s = 0; s < a.SectionCount; s++) {
            ASSERT_TRUE(a.SelectSectionIndex(s));
            ASSERT_TRUE(b.SelectSectionIndex(s));
            EXPECT_EQ(a.SectionName(s), b.SectionName(s));
            ASSERT_EQ(a.LineCount(), b.LineCount());
            for (int32_t i = 0; i < a.LineCount(); i++) {
                const std::string line = a.Line(i);
                const std::string key = TrimStr(line.substr(0, line.find('=')));
                for (int32_t index = 0; index <= a.ValueCount(key) + 1; index++)
                    EXPECT_EQ(a.ReadString(key, index), b.ReadString(key, index)) << key << " #" << index;
                EXPECT_EQ(a.ReadInteger(key, 1, -7), b.ReadInteger(key, 1, -7));
                EXPECT_EQ(a.ReadBool(key, 0), b.ReadBool(key, 0));
            }
        }
    }
}

} // namespace

TEST(ScriptTest, KeyLookups)
{
    TTempFolder folder;
    TScript script(folder.WriteFile("s.txt", SampleScript), false);
    ASSERT_TRUE(script.SelectSection("Main"));

    struct Row {
        const char* key;
        int32_t index;
        const char* text;
    };
    const Row rows[] = {
        {"A", 0, "2"}, // the last line of a key wins
        {"Color", 0, "1, \"x, y\", 3"},
        {"Color", 1, "1"},
        {"Color", 2, "x, y"},
        {"Color", 3, "3"},
        {"Color", 4, ""},
        {"Color", -1, "1, \"x, y\", 3"},
        {"List", 1, "(1"},
        {"List", 2, "2)"},
        {"Tab", 0, "ab"},      // TAB is dropped while reading
        {"Quoted", 1, "ab\""}, // a leading quote takes the last character with it
        {"Quoted", 2, ""},     // an open quote hides the closing comma
        {"Missing", 0, ""},
        {"a", 0, ""}, // keys are case-sensitive
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.key) + " #" + std::to_string(row.index));
        EXPECT_EQ(script.ReadString(row.key, row.index), row.text);
    }

    EXPECT_EQ(script.ReadInteger("A", 0, -1), 2);
    EXPECT_EQ(script.ValueCount("Color"), 3);
    EXPECT_EQ(script.ValueCount("List"), 2); // parentheses do not protect the comma
    EXPECT_EQ(script.ValueCount("Empty"), 0);
    EXPECT_EQ(script.ValueCount("Missing"), 0);
    EXPECT_TRUE(script.KeyExists("Empty"));
    EXPECT_FALSE(script.KeyExists("Missing"));
    EXPECT_FLOAT_EQ(script.ReadFloat("Speed", 0, 0.0f), 2.5f);
    EXPECT_FLOAT_EQ(script.ReadFloat("Empty", 0, 7.0f), 7.0f);
    EXPECT_EQ(script.ReadInteger("Missing", 1, 42), 42);

    EXPECT_TRUE(script.ReadBool("Visible1", 0));
    EXPECT_TRUE(script.ReadBool("Visible2", 0));
    EXPECT_TRUE(script.ReadBool("Visible3", 0));
    EXPECT_FALSE(script.ReadBool("Visible4", 0));
    EXPECT_FALSE(script.ReadBool("Missing", 0));

    ASSERT_TRUE(script.SelectSection("Second"));
    EXPECT_EQ(script.ReadString("A", 0), "second");
}

TEST(ScriptTest, SectionsAndLines)
{
    TTempFolder folder;
    folder.WriteFile("s.txt", SampleScript);
    TScript script(folder.ProgramPath() + "s.txt", false);
    // "[Main] extra" opens "Main"; " [NotAHeader]" is a line of "Second".
    ASSERT_EQ(script.SectionCount, 3);
    EXPECT_EQ(script.LastSection(), 2);
    EXPECT_EQ(script.SectionName(0), "Main");
    EXPECT_EQ(script.SectionName(1), "Second");
    EXPECT_EQ(script.SectionName(2), "Third");
    EXPECT_EQ(script.SectionName(3), "");
    EXPECT_EQ(script.SectionName(-1), "");
    EXPECT_EQ(script.TotalLines, 19);
    EXPECT_EQ(script.FileName, "s.txt");
    EXPECT_EQ(script.FolderName, folder.ProgramPath());

    EXPECT_EQ(script.CurrentSection, 0);
    EXPECT_EQ(script.LineCount(), 13); // the empty line before "[Second]" included
    EXPECT_EQ(script.Line(0), "A = 1");
    EXPECT_EQ(script.Line(12), "");
    EXPECT_EQ(script.Line(13), "");
    // Lines before the first header belong to no section.
    EXPECT_EQ(script.ReadString("before", 0), "");

    ASSERT_TRUE(script.SelectSectionIndex(1));
    EXPECT_EQ(script.LineCount(), 2);
    EXPECT_EQ(script.Line(1), " [NotAHeader]");
    ASSERT_TRUE(script.SelectSectionIndex(2));
    EXPECT_EQ(script.LineCount(), 0);
    EXPECT_EQ(script.Line(0), "");

    EXPECT_FALSE(script.SelectSectionIndex(3));
    EXPECT_FALSE(script.SelectSection("main"));
    EXPECT_FALSE(script.SelectSection("NotAHeader"));
    EXPECT_EQ(script.CurrentSection, 2); // unchanged by a failed selection
}

// Text saved with CR line ends only reads as the same lines as with CR LF.
TEST(ScriptTest, CrOnlyLineEndsLoseNoCharacter)
{
    TTempFolder folder;
    std::string crOnly;
    for (char c : std::string(SampleScript))
        if (c != '\n')
            crOnly.push_back(c);
    ExpectSameAnswers(folder.WriteFile("dos.txt", SampleScript), folder.WriteFile("mac.txt", crOnly));
    TScript mac(folder.Path() + "mac.txt", false);
    ASSERT_TRUE(mac.SelectSection("Main"));
    EXPECT_EQ(mac.ReadInteger("A", 0, -1), 2);
}

TEST(ScriptTest, CommentFilter)
{
    TTempFolder folder;
    const std::string path = folder.WriteFile("f.txt", "[S]\nKey=\n// note\n  // note\n\nA=1\nB==\n/x\n");
    struct Row {
        bool filter;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {true, {"  // note", "A=1", "B==", "/x"}},
        {false, {"Key=", "// note", "  // note", "", "A=1", "B==", "/x"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.filter ? "filter on" : "filter off");
        TScript script(path, row.filter);
        ASSERT_TRUE(script.SelectSection("S"));
        std::vector<std::string> lines;
        for (int32_t i = 0; i < script.LineCount(); i++)
            lines.push_back(script.Line(i));
        EXPECT_EQ(lines, row.lines);
    }
}

TEST(ScriptTest, MissingOrEmptyFileGivesAnEmptyScript)
{
    TTempFolder folder;
    for (const std::string& path : {folder.Path() + "none.txt", folder.WriteFile("empty.txt", "")}) {
        SCOPED_TRACE(path);
        TScript script(path, true);
        EXPECT_EQ(script.SectionCount, 0);
        EXPECT_FALSE(script.SelectSection("Main"));
        EXPECT_EQ(script.LineCount(), 0);
        EXPECT_FALSE(script.KeyExists("A"));
        EXPECT_FLOAT_EQ(script.ReadFloat("A", 0, 1.5f), 1.5f);
        EXPECT_EQ(script.ReadString("A", 1), "");
        EXPECT_FALSE(script.ReadBool("A", 0));
    }
}

TEST(ScriptTest, PackedAndPlainFilesAnswerIdentically)
{
    TTempFolder folder;
    std::string text = SampleScript;
    for (int i = 0; i < 200; i++) // enough lines for several 1 KB blocks
        text += "Key" + std::to_string(i) + " = " + std::to_string(i * 3) + ", \"q, " + std::to_string(i) + "\"\r\n";
    const std::string plain = folder.WriteFile("plain.txt", text);
    const std::string packedPath = folder.Path() + "packed.txt";
    {
        TZipFile zip;
        zip.Open(plain, 0);
        zip.BlockSizeKB = 1;
        zip.Modified = true;
        ASSERT_TRUE(zip.Close(0x49, packedPath)); // bzip2 level 9
    }
    ASSERT_EQ(folder.ReadFile("packed.txt").substr(0, 4), "QXpf");

    ExpectSameAnswers(plain, packedPath);
}

// A byte-order mark before the first line, as many editors write, is no part
// of the text: the first section header still counts. Only a mark at the very
// start is dropped.
TEST(ScriptTest, AByteOrderMarkAtTheStartIsSkipped)
{
    TTempFolder folder;
    const std::string bom = "\xEF\xBB\xBF";
    const std::string headed = std::string("[Main]\r\n") + SampleScript;
    ExpectSameAnswers(folder.WriteFile("plain.txt", SampleScript), folder.WriteFile("bom.txt", bom + SampleScript));
    ExpectSameAnswers(folder.WriteFile("headed.txt", headed), folder.WriteFile("bomheaded.txt", bom + headed));
    TScript headedBom(folder.Path() + "bomheaded.txt", true);
    EXPECT_EQ(headedBom.SectionName(0), "Main");
    // A file that is only a mark (and a line end) has no lines left to keep.
    EXPECT_EQ(TScript(folder.WriteFile("only.txt", bom + "\r\n"), true).TotalLines, 0);

    TScript later(folder.WriteFile("later.txt", "[S]\r\n" + bom + "A=1\r\n"), false);
    ASSERT_TRUE(later.SelectSection("S"));
    EXPECT_EQ(later.Line(0), bom + "A=1");
}

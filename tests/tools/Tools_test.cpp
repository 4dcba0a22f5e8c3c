// The command-line tools run as a user runs them: bad arguments and failed
// writes end with a line that says why and a non-zero exit, and write nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

#include "engine/QX9_System_DatFile.h"
#include "tests/support/TestSupport.h"

extern char** environ;

namespace {

struct TToolRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

// Runs a tool with its standard output going to `out` (a file of the folder
// when empty) and its errors to a file of the folder.
TToolRun RunTool(const TTempFolder& folder, const char* program, const std::vector<std::string>& args,
             const std::string& out = "")
{
    const std::string outPath = out.empty() ? folder.Path() + "stdout.txt" : out;
    const std::string errPath = folder.Path() + "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv = {const_cast<char*>(program)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    TToolRun run;
    pid_t pid = 0;
    if (posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            run.Exit = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (out.empty())
        run.Out = folder.ReadFile("stdout.txt");
    run.Err = folder.ReadFile("stderr.txt");
    return run;
}

bool Exists(const std::string& real)
{
    struct stat st;
    return stat(real.c_str(), &st) == 0;
}

struct TBadRun {
    const char* What;
    std::vector<std::string> Args; // "@" stands for the folder
    int Exit;
    const char* Says;
};

void ExpectRefused(const char* program, const std::vector<TBadRun>& rows)
{
    for (const TBadRun& row : rows) {
        SCOPED_TRACE(row.What);
        TTempFolder folder;
        std::vector<std::string> args;
        for (std::string arg : row.Args) {
            if (!arg.empty() && arg[0] == '@')
                arg = folder.Path() + arg.substr(1);
            args.push_back(arg);
        }
        const TToolRun run = RunTool(folder, program, args);
        EXPECT_EQ(run.Exit, row.Exit) << run.Err;
        EXPECT_NE(run.Err.find(row.Says), std::string::npos) << run.Err;
        EXPECT_FALSE(Exists(folder.Path() + "out.img"));
    }
}

TEST(ToolsTest, TgaWriteRefusesBadNumbersAndSizes)
{
    ExpectRefused(
        DUSKMARCH_TGA_WRITE,
        {
            {"width not a number", {"@out.img", "abc", "4", "solid", "FF000000"}, 2, "WIDTH must be"},
            {"width past 32 bits", {"@out.img", "4294967297", "4", "solid", "FF000000"}, 2, "4294967297"},
            {"negative height", {"@out.img", "4", "-1", "solid", "FF000000"}, 2, "HEIGHT must be"},
            {"zero width", {"@out.img", "0", "4", "solid", "FF000000"}, 2, "WIDTH must be"},
            {"trailing text", {"@out.img", "4px", "4", "solid", "FF000000"}, 2, "\"4px\""},
            {"wider than a TGA", {"@out.img", "65536", "4", "solid", "FF000000"}, 2, "65536"},
            {"more pixels than it builds",
             {"@out.img", "65535", "65535", "solid", "FF000000"},
             2,
             "more than this tool builds"},
            {"depth not a number", {"@out.img", "4", "4", "--depth", "x", "solid", "FF000000"}, 2, "depth must be"},
            {"depth wrapping to 32",
             {"@out.img", "4", "4", "--depth", "4294967328", "solid", "FF000000"},
             2,
             "depth must be"},
            {"bad colour", {"@out.img", "4", "4", "solid", "GG000000"}, 2, "bad arguments"},
            {"colour past 32 bits", {"@out.img", "4", "4", "solid", "1FF000000"}, 2, "bad arguments"},
            {"checker size not a number",
             {"@out.img", "4", "4", "checker", "FF000000", "FFFFFFFF", "x"},
             2,
             "bad arguments"},
            {"folder missing", {"@none/out.img", "4", "4", "solid", "FF000000"}, 1, "can't write"},
        });

    TTempFolder folder;
    const TToolRun run =
        RunTool(folder, DUSKMARCH_TGA_WRITE,
                {folder.Path() + "ok.tga", "4", "3", "--depth", "24", "checker", "0xFF102030", "FF405060", "2"});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(folder.ReadFile("ok.tga").size(), 18u + 4 * 3 * 3);
}

TEST(ToolsTest, DdsWriteRefusesBadNumbersAndSizes)
{
    ExpectRefused(DUSKMARCH_DDS_WRITE,
                  {
                      {"width not a number", {"@out.img", "x4", "4", "solid", "FF000000"}, 2, "WIDTH must be"},
                      {"height past 32 bits", {"@out.img", "4", "4294967297", "solid", "FF000000"}, 2, "4294967297"},
                      {"larger than it builds", {"@out.img", "16385", "4", "solid", "FF000000"}, 2, "16385"},
                      {"more pixels than it builds",
                       {"@out.img", "16384", "16384", "solid", "FF000000"},
                       2,
                       "more than this tool builds"},
                      {"unknown pattern", {"@out.img", "4", "4", "stripes", "FF000000"}, 2, "unknown pattern"},
                      {"folder missing", {"@none/out.img", "4", "4", "solid", "FF000000"}, 1, "can't write"},
                  });

    TTempFolder folder;
    const TToolRun run =
        RunTool(folder, DUSKMARCH_DDS_WRITE, {folder.Path() + "ok.dds", "8", "8", "--mips", "solid", "FF0000FF"});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(folder.ReadFile("ok.dds").size(), 128u + 32 + 8 + 8 + 8); // 8x8, 4x4, 2x2, 1x1 in DXT1 blocks
}

class QxpackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TDatFile dat;
        dat.WriteRecords("Entry", "0123456789", 10, 1);
        ASSERT_TRUE(dat.Save(48, Folder.Path() + "c.dat"));
        Folder.WriteFile("raw.bin", "raw bytes");
    }
    std::string Path(const char* name) const { return Folder.Path() + name; }
    TTempFolder Folder;
};

TEST_F(QxpackTest, BadNumbersAreRefused)
{
    struct Row {
        std::string Level, Block, Says;
    };
    for (const Row& row : {Row{"x", "0", "the level"}, Row{"10", "0", "the level"}, Row{"+5", "0", "the level"},
                           Row{"5", "65536", "the block size"}, Row{"5", "-1", "the block size"}}) {
        SCOPED_TRACE(row.Level + " " + row.Block);
        const TToolRun run =
            RunTool(Folder, DUSKMARCH_QXPACK, {"pack", Path("raw.bin"), Path("out.qx"), row.Level, row.Block});
        EXPECT_EQ(run.Exit, 2);
        EXPECT_NE(run.Err.find(row.Says), std::string::npos) << run.Err;
        EXPECT_FALSE(Exists(Path("out.qx")));
    }
    const TToolRun run = RunTool(Folder, DUSKMARCH_QXPACK, {"pack", Path("raw.bin"), Path("out.qx"), "5", "1"});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_TRUE(Exists(Path("out.qx")));
}

TEST_F(QxpackTest, FailedWritesAreReported)
{
    // Standard output that takes nothing (writing there can't replace it).
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", Path("c.dat")}, std::vector<std::string>{"dump", Path("c.dat"), "Entry"},
          std::vector<std::string>{"pack", Path("raw.bin"), Path("p.qx")}}) {
        SCOPED_TRACE(args[0]);
        const TToolRun run = RunTool(Folder, DUSKMARCH_QXPACK, args, "/dev/full");
        EXPECT_EQ(run.Exit, 1);
        EXPECT_NE(run.Err.find("No space left on device"), std::string::npos) << run.Err;
    }
    // Output files in a folder that isn't there.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"dump", Path("c.dat"), "Entry", Path("none/e.bin")},
          std::vector<std::string>{"unpack", Path("raw.bin"), Path("none/u.bin")},
          std::vector<std::string>{"pack", Path("raw.bin"), Path("none/p.qx")}}) {
        SCOPED_TRACE(args[0]);
        const TToolRun run = RunTool(Folder, DUSKMARCH_QXPACK, args);
        EXPECT_EQ(run.Exit, 1);
        EXPECT_NE(run.Err.find("can't write"), std::string::npos) << run.Err;
        EXPECT_NE(run.Err.find("No such file or directory"), std::string::npos) << run.Err;
    }

    // The same commands with somewhere to write succeed.
    TToolRun run = RunTool(Folder, DUSKMARCH_QXPACK, {"dump", Path("c.dat"), "Entry"});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_EQ(run.Out, "0123456789");
    run = RunTool(Folder, DUSKMARCH_QXPACK, {"list", Path("c.dat")});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    EXPECT_NE(run.Out.find("Entry"), std::string::npos);
}

} // namespace

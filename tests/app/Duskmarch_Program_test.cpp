// The game program from the outside, on its own X server with a fresh data
// home: what a first start leaves behind, a second copy, and an installation
// that lacks a file it cannot start without.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "tests/support/GameProcess.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Xvfb.h"

namespace {

constexpr int StartMs = 120000;

// The "key=" names of an ini text, with their sections.
std::vector<std::string> IniKeys(const std::string& text)
{
    std::vector<std::string> keys;
    std::istringstream lines(text);
    std::string line, section;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.front() == '[')
            section = line;
        else if (const size_t equals = line.find('='); equals != std::string::npos && equals > 0)
            keys.push_back(section + line.substr(0, equals));
    }
    return keys;
}

std::string IniValue(const std::string& text, const std::string& key)
{
    const size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos)
        return {};
    const size_t start = at + key.size() + 2;
    return text.substr(start, text.find_first_of("\r\n", start) - start);
}

bool FolderEmpty(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_empty(path, ec);
}

class GameProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (X.Name.empty())
            GTEST_SKIP() << "no Xvfb";
    }
    TXvfb X{false, "800x600x24"};
    TTempFolder Home;
};

} // namespace

TEST_F(GameProgramTest, FirstStartWritesTheSettingsAndTheLogAndEscEnds)
{
    // The installation's settings with a loading amount no start measures,
    // so the user's copy shows whether the loading window wrote its own.
    std::string install =
        ReadWholeFile((std::filesystem::path(DUSKMARCH_PROGRAM).parent_path() / "Options_Game.ini").string());
    const std::string measured = IniValue(install, "Loading_ProgressBarSize");
    ASSERT_FALSE(measured.empty());
    install.replace(install.find("Loading_ProgressBarSize=" + measured), 24 + measured.size(),
                    "Loading_ProgressBarSize=1");
    TGameInstallation installation(DUSKMARCH_PROGRAM, {"Options_Game.ini"});
    installation.Folder.WriteFile("Options_Game.ini", install);

    TGameProcess game(installation.Program, X.Name, Home.Path());
    ASSERT_TRUE(PressEscapeUntilExit(game, X.Name, StartMs)) << game.Stderr();
    EXPECT_EQ(game.ExitCode, 0) << game.Stderr();

    const std::string user = Home.ReadFile("Duskmarch/Options_Game.ini");
    ASSERT_FALSE(user.empty());
    const std::vector<std::string> userKeys = IniKeys(user);
    for (const std::string& key : IniKeys(install))
        EXPECT_NE(std::find(userKeys.begin(), userKeys.end(), key), userKeys.end()) << key;
    EXPECT_GT(std::atoll(IniValue(user, "Loading_ProgressBarSize").c_str()), 1) << "the amount measured by this start";
    EXPECT_FALSE(Home.ReadFile("Duskmarch/Duskmarch_beta.dat").empty());
    // Nothing is written into the installation.
    EXPECT_EQ(installation.Folder.ReadFile("Options_Game.ini"), install);
}

TEST_F(GameProgramTest, SecondCopyEndsAtOnceWhileTheFirstRunsOn)
{
    TGameProcess first(DUSKMARCH_PROGRAM, X.Name, Home.Path());
    // The first copy holds the name before it writes the user's settings.
    for (int i = 0; i < 500 && Home.ReadFile("Duskmarch/Options_Game.ini").empty(); i++)
        first.WaitExit(20);
    ASSERT_TRUE(first.Running()) << first.Stderr();

    TGameProcess second(DUSKMARCH_PROGRAM, X.Name, Home.Path());
    ASSERT_TRUE(second.WaitExit(20000));
    EXPECT_EQ(second.ExitCode, 0) << second.Stderr();
    EXPECT_TRUE(first.Running());

    ASSERT_TRUE(PressEscapeUntilExit(first, X.Name, StartMs)) << first.Stderr();
    EXPECT_EQ(first.ExitCode, 0) << first.Stderr();
}

TEST_F(GameProgramTest, MissingInstallationFileStopsWithItsLineAndCreatesNothing)
{
    struct Row {
        const char* LeftOut;
        const char* Line; // the end of the fatal line: the file and the reason
    };
    const Row rows[] = {
        {"Config/Texts.ini", "Texts.ini) -> FILE NOT FOUND!"},
        {"Options_Game.ini", "Options_Game.ini) -> FILE NOT FOUND!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.LeftOut);
        TGameInstallation installation(DUSKMARCH_PROGRAM, {row.LeftOut});
        TTempFolder home;
        TGameProcess game(installation.Program, X.Name, home.Path());
        ASSERT_TRUE(game.WaitExit(StartMs));
        EXPECT_NE(game.ExitCode, 0);
        const std::string err = game.Stderr();
        EXPECT_NE(err.find("ERRORS:"), std::string::npos) << err;
        EXPECT_NE(err.find("TIniFile.Load("), std::string::npos) << err;
        EXPECT_NE(err.find(row.Line), std::string::npos) << err;
        EXPECT_TRUE(FolderEmpty(home.Path())) << "the data home holds files";
    }
}

TEST(GameProgramNoDisplayTest, WithoutADisplayStopsWithAClearLine)
{
    TTempFolder home;
    TGameProcess game(DUSKMARCH_PROGRAM, "", home.Path());
    ASSERT_TRUE(game.WaitExit(StartMs));
    EXPECT_NE(game.ExitCode, 0);
    EXPECT_NE(game.Stderr().find("ERRORS:"), std::string::npos) << game.Stderr();
    EXPECT_NE(game.Stderr().find("NO DISPLAY FOUND!"), std::string::npos) << game.Stderr();
}

#include "screens/front/Duskmarch_Startup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/FatalStop.h"
#include "tests/support/TestSupport.h"

namespace {

const char* const InstallSettings = "[Main]\r\n"
                                    "Global_Language=eng\r\n"
                                    "Loading_ProgressBarSize=1000\r\n"
                                    "[Arenas]\r\n"
                                    "Castle=11\r\n"
                                    "Plain=22\r\n";

class StartupSettingsTest : public TFatalStopTest {
protected:
    std::string GameFolder() const { return Game.ProgramPath(); }
    std::string UserFolder() const { return Home.ProgramPath() + "Duskmarch\\"; }
    std::string UserFile() const { return Home.Path() + "Duskmarch/Options_Game.ini"; }

    TTempFolder Game;
    TTempFolder Home;
};

TEST_F(StartupSettingsTest, FirstStartCopiesTheInstallationFile)
{
    Game.WriteFile("Options_Game.ini", InstallSettings);
    struct Row {
        const char* What;
        bool MakeFolder;
    } rows[] = {{"no user folder", false}, {"a user folder without the file", true}};
    for (const Row& row : rows) {
        std::filesystem::remove_all(Home.Path() + "Duskmarch");
        if (row.MakeFolder)
            std::filesystem::create_directories(Home.Path() + "Duskmarch");
        TIniFile settings;
        PrepareUserSettings(settings, UserFolder(), GameFolder());
        ASSERT_TRUE(std::filesystem::exists(UserFile())) << row.What;
        ASSERT_TRUE(settings.SelectSection("Main")) << row.What;
        EXPECT_EQ(settings.ReadString("Global_Language", -1), "eng") << row.What;
    }
}

TEST_F(StartupSettingsTest, EveryStartResetsOnlyTheMeasuredAmounts)
{
    Game.WriteFile("Options_Game.ini", InstallSettings);
    // The user's file: own choices, measured amounts of an earlier run, no
    // [Arenas] section at all.
    Home.WriteFile("Duskmarch/Options_Game.ini", "[Main]\r\n"
                                                 "Global_Language=rus\r\n"
                                                 "Loading_ProgressBarSize=777\r\n");
    TIniFile settings;
    PrepareUserSettings(settings, UserFolder(), GameFolder());
    CopyInstallDefaults(settings, GameFolder());

    TIniFile saved;
    saved.Load(UserFolder() + "Options_Game.ini");
    ASSERT_TRUE(saved.SelectSection("Main"));
    EXPECT_EQ(saved.ReadString("Global_Language", -1), "rus"); // kept
    EXPECT_EQ(saved.ReadString("Loading_ProgressBarSize", -1), "1000");
    ASSERT_TRUE(saved.SelectSection("Arenas")); // added where it was missing
    EXPECT_EQ(saved.ReadString("Castle", -1), "11");
    EXPECT_EQ(saved.ReadString("Plain", -1), "22");
    EXPECT_TRUE(saved.KeyExists("Tower")); // absent in the installation: copied empty
    EXPECT_EQ(saved.ReadString("Tower", -1), "");
}

TEST_F(StartupSettingsTest, MissingInstallationFileStopsAndCreatesNothing)
{
    TIniFile settings;
    EXPECT_THROW(PrepareUserSettings(settings, UserFolder(), GameFolder()), TFatalStopped);
    EXPECT_NE(EngineErrorText.find("TIniFile.Load("), std::string::npos);
    EXPECT_NE(EngineErrorText.find("Options_Game.ini) -> FILE NOT FOUND!"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Game.Path() + "Options_Game.ini"));
    EXPECT_FALSE(std::filesystem::exists(UserFile()));
}

TEST(StartupTest, VirtualSizeOfScreens)
{
    struct Row {
        int32_t Width, Height;
        int32_t VirtualWidth, VirtualHeight;
    } rows[] = {
        {1280, 1024, 1500, 1200},                           // narrow: width 1500
        {1366, 768, 1867, 1050},                            // wide: height 1050
        {1024, 768, 1500, 1125},  {1500, 1049, 1501, 1050}, // ratio 1.43: height 1050, the width by whole division
        {1920, 1080, 1920, 1080},                           // large enough: unscaled
        {1500, 1050, 1500, 1050},
    };
    for (const Row& row : rows) {
        const TVirtualSize size = ComputeVirtualSize(row.Width, row.Height);
        EXPECT_EQ(size.Width, row.VirtualWidth) << row.Width << "x" << row.Height;
        EXPECT_EQ(size.Height, row.VirtualHeight) << row.Width << "x" << row.Height;
        EXPECT_FLOAT_EQ(size.ScaleX, static_cast<float>(row.VirtualWidth) / static_cast<float>(row.Width));
        EXPECT_FLOAT_EQ(size.ScaleY, static_cast<float>(row.VirtualHeight) / static_cast<float>(row.Height));
    }
}

TEST(StartupTest, ShadowMapSizeOfTheSetting)
{
    const int32_t rows[][2] = {{0, 2048},    {1, 1024},    {2, 2048},    {3, 4096},   {4, 2048},
                               {1024, 1024}, {2048, 2048}, {4096, 4096}, {512, 2048}, {-1, 2048}};
    for (const auto& row : rows)
        EXPECT_EQ(ShadowMapSize(row[0]), row[1]) << row[0];
}

} // namespace

namespace {

std::vector<std::string> ShutdownLog;

} // namespace

TEST(StartupTest, ShutDownRunsItsStepsInOrder)
{
    TShutdownSteps steps;
    steps.FlushRecorder = [] { ShutdownLog.push_back("recorder flush"); };
    steps.SaveLog = [] {
        ShutdownLog.push_back("log save");
        return true;
    };
    steps.FreeRenderer = [] { ShutdownLog.push_back("renderer freed"); };
    ShutdownLog.clear();
    ShutDownInOrder(steps);
    EXPECT_EQ(ShutdownLog, (std::vector<std::string>{"recorder flush", "log save", "renderer freed"}));

    // A step left out does not stop the others.
    ShutdownLog.clear();
    steps.FlushRecorder = nullptr;
    ShutDownInOrder(steps);
    EXPECT_EQ(ShutdownLog, (std::vector<std::string>{"log save", "renderer freed"}));
}

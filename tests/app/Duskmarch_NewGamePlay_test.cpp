// A new game played through the front end on its own X server: the main
// menu, the scenario selection (the plain sample, level 3, personal names),
// the hero selection (the mystic, the third coat, the name "Wren"), the
// loading window, which hands over to the strategic map, and a march order
// on the map. The shots stay in the build folder
// for a reviewer; the start save is checked field by field.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/QX9_System_DatFile.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "tests/support/GameProcess.h"
#include "tests/support/PngProbe.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Xvfb.h"

namespace {

constexpr int NewGameRunMs = 240000;

std::string NewGameDigest(const std::string& output)
{
    const size_t at = output.find("replay-digest ");
    if (at == std::string::npos)
        return {};
    return output.substr(at, output.find('\n', at) - at);
}

std::string NewGameShotsParent()
{
    return std::filesystem::path(DUSKMARCH_PROGRAM).parent_path().parent_path().string();
}

// The scrolls' place: the list's top at 307 in a 1600 x 1200 screen, the
// first scroll open; the second scroll (the plain sample) lies below its
// description.
constexpr const char* NewGameScript = "DMRP 1\n"
                                      "wait-window MainMenu_Window 900\n"
                                      "click Btn_NewGame\n"
                                      "wait-window SelectScenario_Window 300\n"
                                      "frames 2\n"
                                      "move 500 500\n"
                                      "down left\n"
                                      "frames 1\n"
                                      "up left\n"
                                      "frames 2\n"
                                      "click b_DL3\n"
                                      "frames 1\n"
                                      "click cb_SUP\n"
                                      "frames 3\n"
                                      "shot select_scenario\n"
                                      "click b_Yes\n"
                                      "wait-window SelectHero_Window 300\n"
                                      "frames 2\n"
                                      "click Btn_Mystic\n"
                                      "frames 2\n"
                                      "click b_ArrowRight\n"
                                      "frames 2\n"
                                      "click b_ArrowRight\n"
                                      "frames 2\n"
                                      "press backspace\n"
                                      "press backspace\n"
                                      "press backspace\n"
                                      "press backspace\n"
                                      "press backspace\n"
                                      "press backspace\n"
                                      "text \"Wren\"\n"
                                      "frames 3\n"
                                      "shot select_hero\n"
                                      "click b_Yes\n"
                                      "wait-window ScenarioLoading_Window 300\n"
                                      "shot scenario_loading\n"
                                      "wait-window Map_Window 900\n"
                                      "frames 3\n"
                                      "shot map\n"
                                      "click cb_Go\n"
                                      "move 700 700\n"
                                      "frames 3\n"
                                      "down left\n"
                                      "frames 1\n"
                                      "up left\n"
                                      "frames 20\n"
                                      "shot map_route\n"
                                      "quit\n";

TEST(NewGamePlay, FromTheMenuToTheMap)
{
    TXvfb x{false, "1600x1200x24"};
    if (x.Name.empty())
        GTEST_SKIP() << "no Xvfb";
    TTempFolder work;
    const std::string shots = NewGameShotsParent() + "/shots";
    const std::string script = work.WriteFile("newgame.dmrp", NewGameScript);
    std::string digests[2];
    std::string startSave;
    for (std::string& digest : digests) {
        TTempFolder home;
        TGameProcess game(DUSKMARCH_PROGRAM, x.Name, home.Path(), {"--script", script, "--shots", shots, "--seed", "7"});
        ASSERT_TRUE(game.WaitExit(NewGameRunMs)) << "the script ends the run";
        EXPECT_EQ(game.ExitCode, 0) << game.Stderr();
        digest = NewGameDigest(game.Stdout());
        ASSERT_FALSE(digest.empty()) << game.Stdout() << game.Stderr();
        // One start save in the per-user folder.
        int found = 0;
        for (const auto& entry : std::filesystem::directory_iterator(home.Path() + "Duskmarch"))
            if (entry.path().extension() == ".startscenario") {
                found++;
                startSave = ReadWholeFile(entry.path().string());
            }
        EXPECT_EQ(found, 1);
    }
    EXPECT_EQ(digests[0], digests[1]);

    ASSERT_GE(startSave.size(), 4u);
    EXPECT_EQ(startSave.substr(0, 4), "GBDF");
    const std::string copy = work.WriteFile("start.startscenario", startSave);
    TDatFile save;
    ASSERT_TRUE(save.Open(OS_ToProgramPath(copy)));
    const TMapSection headSection = ViewSection(save, "GameHead", true);
    EXPECT_EQ(headSection.ElementSize, sizeof(TSaveHead));
    EXPECT_EQ(sizeof(TSaveHead), 616u);
    TSaveHead head{};
    ASSERT_TRUE(ReadSaveHead(save, head));
    EXPECT_EQ(head.Version, 4);
    EXPECT_EQ(head.HeroKind, 2); // the mystic
    EXPECT_EQ(SaveNameText(head.HeroName), u"Wren");
    EXPECT_EQ(head.GameDifficulty, 3);
    EXPECT_EQ(head.PersonalizationEnabled, 1);
    EXPECT_EQ(head.LastScenarioName.Str(), "sample");
    TGameArmy army{};
    const TMapSection armies = ViewSection(save, "GameArmy", true);
    ASSERT_TRUE(armies.CopyElements(0, 1, &army, sizeof army));
    EXPECT_EQ(army.Banner, 19); // the mystic's third coat

    for (const char* name : {"select_scenario", "select_hero", "scenario_loading", "map", "map_route"}) {
        TPngPicture picture;
        ASSERT_TRUE(ReadTruecolourPng(ReadWholeFile(shots + "/" + name + ".png"), picture)) << name;
        EXPECT_EQ(picture.Width, 1600);
        EXPECT_EQ(picture.Height, 1200);
    }
    // The open scroll's paper under the second scroll, and the mystic's
    // chosen frame glowing.
    TPngPicture scenario, hero;
    ASSERT_TRUE(ReadTruecolourPng(ReadWholeFile(shots + "/select_scenario.png"), scenario));
    EXPECT_GT(scenario.At(270, 480).Sum(), 500);
    ASSERT_TRUE(ReadTruecolourPng(ReadWholeFile(shots + "/select_hero.png"), hero));
    EXPECT_GT(hero.Brightest(1040, 210, 1050, 400).Sum(), 550);
}

} // namespace

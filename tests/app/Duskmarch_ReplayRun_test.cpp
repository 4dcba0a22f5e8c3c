// Reproducible runs of the whole program on its own X server: a script run
// twice ends in one digest and leaves its screenshots, and a run recorded
// from real input replays to the digest it ended with.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

#include "screens/front/Duskmarch_InputRecorder.h"
#include "screens/front/Duskmarch_Replay.h"
#include "tests/support/GameProcess.h"
#include "tests/support/PngProbe.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Xvfb.h"

namespace {

constexpr int RunMs = 120000;

// The "replay-digest XXXXXXXX" line of a run's output; empty without one.
std::string DigestLine(const std::string& output)
{
    const size_t at = output.find("replay-digest ");
    if (at == std::string::npos)
        return {};
    return output.substr(at, output.find('\n', at) - at);
}

// The build folder: the screenshots stay there for a reviewer.
std::string BuildFolder()
{
    return std::filesystem::path(DUSKMARCH_PROGRAM).parent_path().parent_path().string();
}

class ReplayRunProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (X.Name.empty())
            GTEST_SKIP() << "no Xvfb";
    }
    TXvfb X{false, "1280x1024x24"};
};

TEST_F(ReplayRunProgramTest, ScriptRunsTwiceToOneDigestAndLeavesItsShots)
{
    TTempFolder Work;
    const std::string shots = BuildFolder() + "/shots";
    const std::string script = Work.WriteFile("menu.dmrp", "DMRP 1\n"
                                                           "# the loading window's first frame\n"
                                                           "shot loading\n"
                                                           "wait-window MainMenu_Window 600\n"
                                                           "move 400 300\n"
                                                           "frames 2\n"
                                                           "shot main_menu\n"
                                                           "quit\n");
    std::string digests[2];
    for (std::string& digest : digests) {
        TTempFolder home;
        TGameProcess game(DUSKMARCH_PROGRAM, X.Name, home.Path(),
                          {"--script", script, "--shots", shots, "--seed", "5"});
        ASSERT_TRUE(game.WaitExit(RunMs)) << "the script ends the run";
        EXPECT_EQ(game.ExitCode, 0) << game.Stderr();
        digest = DigestLine(game.Stdout());
        ASSERT_FALSE(digest.empty()) << game.Stdout() << game.Stderr();
    }
    EXPECT_EQ(digests[0], digests[1]);
    {
        // A file more in the per-user folder is a different end.
        TTempFolder home;
        home.WriteFile("Duskmarch/extra.sav", "x");
        TGameProcess game(DUSKMARCH_PROGRAM, X.Name, home.Path(),
                          {"--script", script, "--shots", Work.Path(), "--seed", "5"});
        ASSERT_TRUE(game.WaitExit(RunMs));
        EXPECT_NE(DigestLine(game.Stdout()), digests[0]) << game.Stdout();
        EXPECT_FALSE(DigestLine(game.Stdout()).empty());
    }

    TPngPicture loading, menu;
    ASSERT_TRUE(ReadTruecolourPng(ReadWholeFile(shots + "/loading.png"), loading));
    ASSERT_TRUE(ReadTruecolourPng(ReadWholeFile(shots + "/main_menu.png"), menu));
    EXPECT_EQ(menu.Width, 1280);
    EXPECT_EQ(menu.Height, 1024);
    // A background is drawn beside the menu: many colours, not the black of
    // a cleared screen.
    for (const TPngPicture* picture : {&loading, &menu}) {
        std::set<int> colours;
        int brightest = 0;
        for (int32_t y = 16; y < picture->Height; y += 32)
            for (int32_t x = 8; x < 380; x += 32) {
                const TPngPicture::TColour c = picture->At(x, y);
                colours.insert(c.R << 16 | c.G << 8 | c.B);
                brightest = std::max(brightest, c.Sum());
            }
        EXPECT_GT(colours.size(), 20u);
        EXPECT_GT(brightest, 60);
    }
    // The first button's face, left of its caption: the menu's brown.
    const TPngPicture::TColour button = menu.At(520, 340);
    EXPECT_TRUE(button.R > button.G && button.G > button.B && button.R >= 35 && button.R <= 110)
        << button.R << "," << button.G << "," << button.B;
    // The cursor where the script put it, and at the corner before any move.
    EXPECT_GT(menu.Brightest(400, 300, 412, 320).Sum(), 550);
    EXPECT_GT(loading.Brightest(0, 0, 12, 20).Sum(), 400);
}

TEST_F(ReplayRunProgramTest, ClicksReachTheMenuAndFailingStepsEndWithTwo)
{
    struct Row {
        const char* Script;
        int ExitCode;
        const char* Error; // on stderr; nullptr: a digest on stdout
    } rows[] = {
        {"DMRP 1\nwait-window MainMenu_Window 600\nclick Btn_Exit\nframes 100\nshot never\n", 0, nullptr},
        {"DMRP 1\nwait-window MainMenu_Window 600\n\nclick Btn_Nowhere\n", 2,
         "script line 4: window \"MainMenu_Window\" has no element \"Btn_Nowhere\""},
        {"DMRP 1\nframes 1\nframes x\n", 2, "line 3: bad frame count \"x\""},
    };
    for (const Row& row : rows) {
        TTempFolder work, home;
        const std::string script = work.WriteFile("s.dmrp", row.Script);
        TGameProcess game(DUSKMARCH_PROGRAM, X.Name, home.Path(), {"--script", script, "--shots", work.Path()});
        ASSERT_TRUE(game.WaitExit(RunMs)) << row.Script;
        EXPECT_EQ(game.ExitCode, row.ExitCode) << row.Script << game.Stderr();
        if (row.Error == nullptr) {
            EXPECT_FALSE(DigestLine(game.Stdout()).empty()) << row.Script;
            EXPECT_FALSE(std::filesystem::exists(work.Path() + "/never.png")) << "Exit ended the run first";
        } else {
            EXPECT_NE(game.Stderr().find(row.Error), std::string::npos) << row.Script << game.Stderr();
            EXPECT_EQ(DigestLine(game.Stdout()), "") << row.Script;
        }
    }
}

TEST_F(ReplayRunProgramTest, RecordedRunParsesExactlyAndReplaysToItsDigest)
{
    TGameInstallation installation(DUSKMARCH_PROGRAM, {});
    const std::vector<std::string> testMode = {"--frame-ms", "20", "--seed", "3"};
    std::vector<std::string> record = {"gamerecord", "run.rec"};
    record.insert(record.end(), testMode.begin(), testMode.end());

    TTempFolder recordHome;
    TGameProcess recording(installation.Program, X.Name, recordHome.Path(), record);
    // Frames run once the first block is out (a second of frames after the
    // head); input before that would find no window.
    const std::string file = installation.Folder.Path() + "/run.rec";
    for (int i = 0; i < 600 && ReadWholeFile(file).size() <= 8; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (const char* move : {"mousemove 300 200", "mousemove 420 380", "mousemove 640 500"}) {
        XDoTool(X.Name, move);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    XDoTool(X.Name, "type ab");
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ASSERT_TRUE(PressEscapeUntilExit(recording, X.Name, RunMs));
    EXPECT_EQ(recording.ExitCode, 0) << recording.Stderr();
    const std::string recorded = DigestLine(recording.Stdout());
    ASSERT_FALSE(recorded.empty()) << recording.Stdout() << recording.Stderr();

    // The record: whole blocks to its last byte, with the moves and the Esc.
    const std::string bytes = ReadWholeFile(file);
    TInputRecord parsed;
    std::string warning;
    ASSERT_TRUE(ReadInputRecord(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), parsed, warning));
    EXPECT_EQ(warning, "");
    size_t blocks = 8;
    blocks += parsed.Blocks * 8 + parsed.KeyFrames.size() * InputKeyFrameSize +
              parsed.MouseSamples.size() * InputMouseSampleSize;
    EXPECT_EQ(blocks, bytes.size());
    EXPECT_EQ(parsed.ScreenWidth, 1280);
    bool escape = false;
    for (const TInputKeyFrame& frame : parsed.KeyFrames)
        escape |= frame.Keys[VK_ESCAPE].Down != 0;
    EXPECT_TRUE(escape);
    std::set<std::pair<int32_t, int32_t>> points;
    for (const TInputMouseSample& sample : parsed.MouseSamples)
        points.insert({sample.X, sample.Y});
    EXPECT_GE(points.size(), 3u);
    // The typed text beside it, as script lines.
    std::vector<TScriptStep> typed;
    std::string error;
    ASSERT_TRUE(ParseReplayScript(ReadWholeFile(installation.Folder.Path() + "/run.rec.text"), typed, error)) << error;
    std::u16string text;
    for (const TScriptStep& step : typed)
        text += step.Text;
    EXPECT_TRUE(text == u"ab");

    // Replayed with no real input at all: the same end.
    std::vector<std::string> replay = {"gamereplay", "run.rec"};
    replay.insert(replay.end(), testMode.begin(), testMode.end());
    TTempFolder replayHome;
    TGameProcess replaying(installation.Program, X.Name, replayHome.Path(), replay);
    ASSERT_TRUE(replaying.WaitExit(RunMs)) << "the recorded Esc ends the replay";
    EXPECT_EQ(replaying.ExitCode, 0) << replaying.Stderr();
    EXPECT_EQ(DigestLine(replaying.Stdout()), recorded);
}

} // namespace

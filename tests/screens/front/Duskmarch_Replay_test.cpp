#include "screens/front/Duskmarch_Replay.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <sstream>
#include <thread>

#include "engine/QX9_System.h"
#include "engine/QX9_System_Window.h"
#include "model/save/SavedGame.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_Render_Png.h"
#include "screens/front/Duskmarch_InputRecorder.h"
#include "tests/support/TestSupport.h"

namespace {

// ---------------------------------------------------------------------------
// Options

TEST(ReplayOptionsTest, CommandLineTable)
{
    struct Row {
        std::vector<std::string> Parameters;
        std::vector<std::string> Recorder;
        std::string Script;
        int32_t FrameMs;
        bool Seeded;
        uint32_t Seed;
        std::string Shots;
        bool StartupTimes;
    } rows[] = {
        {{}, {}, "", 0, false, 0, "shots", false},
        {{"gamerecord", "x.rec"}, {"gamerecord", "x.rec"}, "", 0, false, 0, "shots", false},
        {{"--script", "a.dmrp"}, {}, "a.dmrp", 20, false, 0, "shots", false},
        {{"--frame-ms", "16", "--script", "a"}, {}, "a", 16, false, 0, "shots", false},
        {{"--frame-ms=33"}, {}, "", 33, false, 0, "shots", false},
        {{"gamereplay", "--seed", "4294967295", "r.rec"},
         {"gamereplay", "r.rec"},
         "",
         0,
         true,
         4294967295u,
         "shots",
         false},
        {{"--seed=0", "--shots", "out/pics", "--startup-times"}, {}, "", 0, true, 0, "out/pics", true},
    };
    for (const Row& row : rows) {
        TRunOptions options;
        std::string error;
        const std::string what = ::testing::PrintToString(row.Parameters);
        ASSERT_TRUE(ParseRunOptions(row.Parameters, options, error)) << what << ": " << error;
        EXPECT_EQ(options.RecorderParameters, row.Recorder) << what;
        EXPECT_EQ(options.ScriptFile, row.Script) << what;
        EXPECT_EQ(options.FrameMs, row.FrameMs) << what;
        EXPECT_EQ(options.Seeded, row.Seeded) << what;
        EXPECT_EQ(options.Seed, row.Seed) << what;
        EXPECT_EQ(options.ShotsFolder, row.Shots) << what;
        EXPECT_EQ(options.StartupTimes, row.StartupTimes) << what;
    }
}

TEST(ReplayOptionsTest, BadOptionsAreRefusedWithTheirReason)
{
    struct Row {
        std::vector<std::string> Parameters;
        const char* Reason;
    } rows[] = {
        {{"--frame-ms"}, "--frame-ms needs a value"}, {{"--frame-ms", "0"}, "bad --frame-ms \"0\""},
        {{"--frame-ms", "1001"}, "bad --frame-ms"},   {{"--frame-ms", "20ms"}, "bad --frame-ms"},
        {{"--frame-ms", "0x14"}, "bad --frame-ms"},   {{"--seed", "-1"}, "bad --seed"},
        {{"--seed", "4294967296"}, "bad --seed"},     {{"--seed", ""}, "bad --seed"},
        {{"--script="}, "--script needs a value"},    {{"--shots"}, "--shots needs a value"},
        {{"--startup-times=yes"}, "takes no value"},  {{"--seed", "1", "--seed=2"}, "--seed is given twice"},
        {{"--fast"}, "unknown option --fast"},
    };
    for (const Row& row : rows) {
        TRunOptions options;
        options.FrameMs = 7;
        std::string error;
        const std::string what = ::testing::PrintToString(row.Parameters);
        EXPECT_FALSE(ParseRunOptions(row.Parameters, options, error)) << what;
        EXPECT_NE(error.find(row.Reason), std::string::npos) << what << ": " << error;
        EXPECT_EQ(options.FrameMs, 7) << what << ": a refused line changes nothing";
    }
}

// ---------------------------------------------------------------------------
// Scripts

TEST(ReplayScriptTest, ReadsEveryStep)
{
    const std::string text = "DMRP 1\r\n"
                             "# a comment\n"
                             "\n"
                             "frames 3\n"
                             "move 10 20\n"
                             "down right\n"
                             "up left\n"
                             "click NewGame\n"
                             "key down 0x1B\n"
                             "key up esc\n"
                             "press F11\n"
                             "wheel -120\n"
                             "  text \"a \\\"b\\\" \\\\ \\u0009 \xd0\x96\"  \n"
                             "wait-window Main_Menu 50\n"
                             "at 40 shot main_menu\n"
                             "quit";
    std::vector<TScriptStep> steps;
    std::string error;
    ASSERT_TRUE(ParseReplayScript(text, steps, error)) << error;
    ASSERT_EQ(steps.size(), 13u);
    const TScriptOp ops[] = {TScriptOp::Frames, TScriptOp::Move,    TScriptOp::Down,       TScriptOp::Up,
                             TScriptOp::Click,  TScriptOp::KeyDown, TScriptOp::KeyUp,      TScriptOp::Press,
                             TScriptOp::Wheel,  TScriptOp::Text,    TScriptOp::WaitWindow, TScriptOp::Shot,
                             TScriptOp::Quit};
    for (size_t i = 0; i < steps.size(); ++i)
        EXPECT_EQ(steps[i].Op, ops[i]) << "step " << i;
    EXPECT_EQ(steps[0].A, 3);
    EXPECT_EQ(steps[0].Line, 4);
    EXPECT_EQ(steps[1].A, 10);
    EXPECT_EQ(steps[1].B, 20);
    EXPECT_TRUE(steps[2].Right);
    EXPECT_FALSE(steps[3].Right);
    EXPECT_EQ(steps[4].Name, "NewGame");
    EXPECT_EQ(steps[5].A, VK_ESCAPE);
    EXPECT_EQ(steps[6].A, VK_ESCAPE);
    EXPECT_EQ(steps[7].A, VK_F11);
    EXPECT_EQ(steps[8].A, -120);
    EXPECT_EQ(steps[9].Text, u"a \"b\" \\ \t \u0416");
    EXPECT_EQ(steps[10].Name, "Main_Menu");
    EXPECT_EQ(steps[10].A, 50);
    EXPECT_EQ(steps[11].AtFrame, 40);
    EXPECT_EQ(steps[11].Name, "main_menu");
    EXPECT_EQ(steps[11].Line, 15);
    EXPECT_EQ(steps[12].AtFrame, -1);
}

TEST(ReplayScriptTest, ErrorsNameTheirLine)
{
    struct Row {
        std::string Text;
        const char* Error;
    } rows[] = {
        {"", "line 1: not a script"},
        {"frames 1\n", "line 1: not a script"},
        {"DMRP 2\nquit\n", "line 1: script version \"2\" is not supported"},
        {"DMRP 1\n\nfly 1\n", "line 3: unknown step \"fly\""},
        {"DMRP 1\nframes\n", "line 2: missing words"},
        {"DMRP 1\nframes 1 2\n", "line 2: too many words"},
        {"DMRP 1\nframes -1\n", "line 2: bad frame count"},
        {"DMRP 1\nmove 10\n", "line 2: missing words"},
        {"DMRP 1\nmove 10 y\n", "line 2: bad position"},
        {"DMRP 1\nmove 40000 1\n", "line 2: bad position"},
        {"DMRP 1\ndown middle\n", "line 2: bad button"},
        {"DMRP 1\nkey press A\n", "line 2: bad key action"},
        {"DMRP 1\npress 256\n", "line 2: bad key"},
        {"DMRP 1\npress F13\n", "line 2: bad key"},
        {"DMRP 1\nwheel 0\n", "line 2: bad wheel delta"},
        {"DMRP 1\ntext abc\n", "line 2: the text must be quoted"},
        {"DMRP 1\ntext \"abc\n", "line 2: a text has no closing quote"},
        {"DMRP 1\ntext \"a\\qb\"\n", "line 2: unknown escape"},
        {"DMRP 1\ntext \"a\\u12\"\n", "line 2: unknown escape"},
        {"DMRP 1\ntext \"\xff\"\n", "line 2: a text is not UTF-8"},
        {"DMRP 1\ntext \"a\"b\n", "line 2: a text must be followed by a blank"},
        {"DMRP 1\nclick \"x\"\n", "line 2: a quoted text is only allowed after \"text\""},
        {"DMRP 1\nwait-window menu 0\n", "line 2: bad frame limit"},
        {"DMRP 1\nshot ../escape\n", "line 2: bad shot name"},
        {"DMRP 1\nshot a/b\n", "line 2: bad shot name"},
        {"DMRP 1\nquit now\n", "line 2: too many words"},
        {"DMRP 1\nat 0 quit\n", "line 2: bad frame \"0\""},
        {"DMRP 1\nat 5\n", "line 2: \"at FRAME\" must be followed by a step"},
        {"DMRP 1\nframes 1\nframes 1\nat x quit\n", "line 4: bad frame"},
    };
    for (const Row& row : rows) {
        std::vector<TScriptStep> steps;
        std::string error;
        EXPECT_FALSE(ParseReplayScript(row.Text, steps, error)) << row.Text;
        EXPECT_EQ(error.rfind(row.Error, 0), 0u) << row.Text << " gave: " << error;
        EXPECT_TRUE(steps.empty()) << row.Text;
    }
}

TEST(ReplayScriptTest, TypedTextLinesReadBackExactly)
{
    const std::u16string texts[] = {
        u"plain",
        u"\"quoted\" and \\back\\",
        u"tab\tnew\nline\x7f",
        u"\u0416\u0443\u043a \u00e9",
        u"pair \xD83D\xDE00 end",
        u"lone \xD800 half \xDC00",
    };
    for (const std::u16string& text : texts) {
        const std::string line = ScriptTextLine(1234, text);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        std::vector<TScriptStep> steps;
        std::string error;
        ASSERT_TRUE(ParseReplayScript(std::string(ScriptHead) + "\n" + line + "\n", steps, error)) << line << error;
        ASSERT_EQ(steps.size(), 1u);
        EXPECT_EQ(steps[0].AtFrame, 1234);
        EXPECT_EQ(steps[0].Op, TScriptOp::Text);
        EXPECT_TRUE(steps[0].Text == text) << line;
    }
}

// ---------------------------------------------------------------------------
// Digest

TEST(ReplayDigestTest, CoversEachPieceInItsByteOrder)
{
    TReplayDigestInput input;
    input.ScenarioLoaded = true;
    input.World = 0x11223344u;
    input.GameClock = 0x0102030405060708ll;
    input.ActiveWindow = "Main_Menu";
    input.Frames = 321;
    input.UserFiles = {"b.ini", "Duskmarch_beta.dat", "a.sav"};

    // The same bytes laid out by hand, through zlib's CRC-32.
    std::string bytes("\x44\x33\x22\x11\x08\x07\x06\x05\x04\x03\x02\x01", 12);
    bytes += std::string("Main_Menu") + '\0';
    bytes += std::string("\x41\x01\x00\x00", 4);
    for (const char* name : {"Duskmarch_beta.dat", "a.sav", "b.ini"})
        bytes += std::string(name) + '\0';
    const auto expected =
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    const uint32_t digest = ReplayDigest(input);
    EXPECT_EQ(digest, expected);
    char text[40];
    std::snprintf(text, sizeof text, "replay-digest %08X", expected);
    EXPECT_EQ(FormatReplayDigest(digest), text);

    // Each piece on its own moves the digest; the files' order does not.
    struct Row {
        const char* What;
        void (*Change)(TReplayDigestInput&);
        bool Moves;
    } rows[] = {
        {"world", [](TReplayDigestInput& in) { in.World ^= 1; }, true},
        {"clock", [](TReplayDigestInput& in) { in.GameClock += 1; }, true},
        {"window", [](TReplayDigestInput& in) { in.ActiveWindow = "Loading_Window"; }, true},
        {"frames", [](TReplayDigestInput& in) { in.Frames += 1; }, true},
        {"one file more", [](TReplayDigestInput& in) { in.UserFiles.push_back("c.sav"); }, true},
        {"a name split differently",
         [](TReplayDigestInput& in) {
             in.UserFiles = {"b.iniDuskmarch_beta.dat", "a.sav"};
         },
         true},
        {"files in another order", [](TReplayDigestInput& in) { std::swap(in.UserFiles[0], in.UserFiles[2]); }, false},
    };
    for (const Row& row : rows) {
        TReplayDigestInput changed = input;
        row.Change(changed);
        EXPECT_EQ(ReplayDigest(changed) != digest, row.Moves) << row.What;
    }

    // Without a scenario the world's digest is not part of it.
    TReplayDigestInput menu = input;
    menu.ScenarioLoaded = false;
    const uint32_t menuDigest = ReplayDigest(menu);
    menu.World = 0;
    EXPECT_EQ(ReplayDigest(menu), menuDigest);
    EXPECT_NE(menuDigest, digest);
}

// ---------------------------------------------------------------------------
// PNG writer

uint32_t Be32(const std::string& bytes, size_t at)
{
    return (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3]));
}

struct TPngChunk {
    std::string Type;
    std::string Data;
};

// Splits a PNG into its chunks, checking the signature and every CRC.
std::vector<TPngChunk> PngChunks(const std::string& png)
{
    std::vector<TPngChunk> chunks;
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const uint32_t length = Be32(png, at);
        if (at + 12 + length > png.size())
            break;
        TPngChunk chunk{png.substr(at + 4, 4), png.substr(at + 8, length)};
        const std::string covered = png.substr(at + 4, 4 + length);
        EXPECT_EQ(Be32(png, at + 8 + length),
                  static_cast<uint32_t>(
                      crc32(0, reinterpret_cast<const Bytef*>(covered.data()), static_cast<uInt>(covered.size()))))
            << chunk.Type;
        chunks.push_back(chunk);
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size());
    return chunks;
}

TEST(ReplayPngTest, TruecolourImageDecodesToItsPixels)
{
    // 3 x 2 pixels, B G R X, rows 16 bytes apart (4 bytes of padding each).
    const int32_t width = 3, height = 2, pitch = 16;
    std::vector<uint8_t> pixels(static_cast<size_t>(pitch * height), 0xEE);
    const uint8_t colours[2][3][3] = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}},
                                      {{10, 20, 30}, {0, 0, 0}, {255, 255, 255}}}; // R G B
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = pixels.data() + y * pitch + x * 4;
            p[0] = colours[y][x][2];
            p[1] = colours[y][x][1];
            p[2] = colours[y][x][0];
            p[3] = 0x7F;
        }
    const std::string png = PngTruecolourImage(width, height, pixels.data(), pitch);
    const std::vector<TPngChunk> chunks = PngChunks(png);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].Type, "IHDR");
    ASSERT_EQ(chunks[0].Data.size(), 13u);
    EXPECT_EQ(Be32(chunks[0].Data, 0), 3u);
    EXPECT_EQ(Be32(chunks[0].Data, 4), 2u);
    EXPECT_EQ(chunks[0].Data.substr(8), std::string("\x08\x02\x00\x00\x00", 5)); // 8 bits, truecolour
    EXPECT_EQ(chunks[1].Type, "IDAT");
    EXPECT_EQ(chunks[2].Type, "IEND");
    EXPECT_TRUE(chunks[2].Data.empty());

    std::vector<uint8_t> raw(64);
    uLongf rawSize = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(chunks[1].Data.data()),
                         static_cast<uLong>(chunks[1].Data.size())),
              Z_OK);
    ASSERT_EQ(rawSize, static_cast<uLongf>(height * (1 + width * 3)));
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = raw.data() + y * (1 + width * 3);
        EXPECT_EQ(row[0], 0) << "row " << y << " filter";
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(row[1 + x * 3 + c], colours[y][x][c]) << x << "," << y << " channel " << c;
    }
}

TEST(ReplayPngTest, RefusesSizesItCannotDescribe)
{
    const uint8_t pixel[8] = {};
    EXPECT_TRUE(PngTruecolourImage(0, 1, pixel, 4).empty());
    EXPECT_TRUE(PngTruecolourImage(1, 0, pixel, 4).empty());
    EXPECT_TRUE(PngTruecolourImage(2, 1, pixel, 4).empty()) << "a pitch shorter than a row";
    EXPECT_TRUE(PngTruecolourImage(1, 1, nullptr, 4).empty());
    EXPECT_TRUE(PngTruecolourImage(40000, 40000, pixel, 160000).empty()) << "more than 2 GB of rows";
    EXPECT_FALSE(PngTruecolourImage(2, 1, pixel, 8).empty());
}

// ---------------------------------------------------------------------------
// A run: an offscreen main window, the GUI's frame step and the message
// queue turned by hand, one frame at a time.

struct TSeen {
    int32_t Now = 0;
    TGUI_KeyState Escape, A, Left;
    int32_t X = 0, Y = 0, Wheel = 0;
    std::u16string Typed;
};
std::vector<TSeen> Seen;

void ObserveFrame()
{
    Seen.push_back({GUI_Now(), GUI_Keys[VK_ESCAPE], GUI_Keys['A'], GUI_Keys[GUI_KEY_LBUTTON], GUI_Input.ClientX,
                    GUI_Input.ClientY, GUI_Input.Wheel, GUI_Input.TypedText});
}

class ReplayRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SavedOptions = RunOptions;
        RunOptions = {};
        Window_Shutdown();
        Window_SetOpenGL(false);
        MainWindowHandle = nullptr;
        ClassRegistered = false;
        QX9_GUI_Initialization();
        Processor.Init(64, 48, 1, nullptr);
        Processor.PreFrameHook = ObserveFrame;
        ASSERT_NE(GetMainWindow(), nullptr);
        Seen.clear();
    }
    void TearDown() override
    {
        Replay_Reset();
        RunOptions = SavedOptions;
        Window_Shutdown();
        Window_SetOpenGL(true);
        MainWindowHandle = nullptr;
        ClassRegistered = false;
        QX9_GUI_Initialization();
    }

    // Runs the script until the program is asked to end (or the frames run
    // out): the exit code the quit carried, -1 without one.
    int32_t RunScript(const std::string& text, int32_t maxFrames = 100)
    {
        RunOptions.ScriptFile = Folder.WriteFile("run.dmrp", text);
        RunOptions.FrameMs = ScriptFrameMs;
        Replay_Begin();
        for (int32_t frame = 0;; ++frame) {
            TMsg msg;
            while (PeekMessage(msg, true)) {
                if (msg.Message == WM_QUIT)
                    return static_cast<int32_t>(msg.WParam);
                DispatchMessage(msg);
            }
            if (frame == maxFrames)
                return -1;
            GUI_ProcessFrame();
        }
    }

    TTempFolder Folder;
    TGUI_Processor Processor{"ReplayRunTest"};
    TRunOptions SavedOptions;
};

TEST_F(ReplayRunTest, ScriptInputArrivesThroughTheWindowOneFrameLater)
{
    ::testing::internal::CaptureStdout();
    const int32_t code = RunScript("DMRP 1\n"
                                   "move 10 20\n"
                                   "press esc\n"
                                   "key down A\n"
                                   "text \"hi\"\n"
                                   "wheel 240\n"
                                   "down left\n"
                                   "frames 2\n"
                                   "up left\n"
                                   "key up A\n"
                                   "quit\n");
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Replay_ExitCode(), 0);
    EXPECT_EQ(ReplayFrameNumber(), 5);
    ASSERT_EQ(Seen.size(), 5u);
    for (size_t i = 0; i < Seen.size(); ++i) {
        EXPECT_EQ(Seen[i].Now, 20 * static_cast<int32_t>(i + 1)) << "the fixed step, frame " << i + 1;
        EXPECT_EQ(Seen[i].X, 10) << "the scripted cursor, frame " << i + 1;
        EXPECT_EQ(Seen[i].Y, 20) << "frame " << i + 1;
    }
    EXPECT_EQ(Seen[0].Escape.Down, 0) << "queued in frame 1, seen from frame 2";
    EXPECT_EQ(Seen[1].Escape.Down, 1);
    EXPECT_EQ(Seen[2].Escape.Down, 0);
    EXPECT_EQ(Seen[2].Escape.Released, 1);
    EXPECT_EQ(Seen[2].A.Down, 0);
    EXPECT_EQ(Seen[3].A.Down, 1);
    EXPECT_EQ(Seen[3].Left.Down, 1);
    EXPECT_EQ(Seen[3].Wheel, 240);
    EXPECT_TRUE(Seen[3].Typed == u"hi");
    EXPECT_EQ(Seen[4].Wheel, 0);
    EXPECT_TRUE(Seen[4].Typed.empty());
    EXPECT_EQ(Seen[4].Left.Down, 1) << "released in frame 5, seen after it";
    ASSERT_EQ(out.rfind("replay-digest ", 0), 0u) << out;
    EXPECT_EQ(out.size(), std::string("replay-digest 01234567\n").size()) << out;

    // The same script again: the same digest.
    Replay_Reset();
    Seen.clear();
    ::testing::internal::CaptureStdout();
    RunScript("DMRP 1\nmove 10 20\npress esc\nkey down A\ntext \"hi\"\nwheel 240\ndown left\nframes 2\nup left\n"
              "key up A\nquit\n");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), out);
    // The end of the script ends the run as quit does.
    Replay_Reset();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(RunScript("DMRP 1\nframes 3\n"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout().rfind("replay-digest ", 0), 0u);
    EXPECT_EQ(ReplayFrameNumber(), 4);
}

TEST_F(ReplayRunTest, AFailingStepEndsTheRunWithTwoAndItsLine)
{
    struct Row {
        const char* Script;
        const char* Reason;
    } rows[] = {
        {"DMRP 1\nframes x\n", "line 2: bad frame count"},
        {"DMRP 1\nframes 1\n\nwait-window Main_Menu 3\nquit\n", "script line 4: timeout: window \"Main_Menu\""},
        {"DMRP 1\nclick Start\n", "script line 2: no active window to click \"Start\""},
    };
    for (const Row& row : rows) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int32_t code = RunScript(row.Script);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 2) << row.Script;
        EXPECT_EQ(Replay_ExitCode(), 2) << row.Script;
        EXPECT_NE(err.find(row.Reason), std::string::npos) << row.Script << " gave: " << err;
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "no digest after a failure: " << row.Script;
        Replay_Reset();
    }
}

TEST_F(ReplayRunTest, TestModeFixesClockSeedsLocalTimeAndSaves)
{
    RunOptions.Seed = 77;
    RunOptions.Seeded = true;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(RunScript("DMRP 1\nframes 3\nquit\n"), 0);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(ReplayFrameNumber(), 4);
    EXPECT_TRUE(SaveWriterSynchronous);
    EXPECT_EQ(GetTimeMs(true), 80);
    RandomizeSeed();
    EXPECT_EQ(RandomSeed, 77u + 4u) << "a time-stamp reseed is the seed plus the frame";
    const TOSLocalTime local = OS_GetLocalTime();
    EXPECT_EQ(local.Year, 2025);
    EXPECT_EQ(local.Month, 1);
    EXPECT_EQ(local.Day, 1);
    EXPECT_EQ(local.Hour, 12);
    EXPECT_EQ(local.Second, 0);
    EXPECT_EQ(local.Millisecond, 80);
    Replay_Reset();
    EXPECT_FALSE(SaveWriterSynchronous);
    EXPECT_EQ(GUI_FrameStartHook, &GUI_EmptyHook);
}

TEST_F(ReplayRunTest, StartupPhasesPrintWholeLinesAndTheMenuEndsTheRun)
{
    StartupPhase("not asked for");
    RunOptions.StartupTimes = true;
    ::testing::internal::CaptureStderr();
    auto phases = [](const char* name) {
        for (int i = 0; i < 200; ++i)
            StartupPhase(name);
    };
    std::thread loader(phases, "loader step");
    phases("main thread step");
    loader.join();
    StartupPhase(StartupPhaseMenuFirstFrame);
    const std::string err = ::testing::internal::GetCapturedStderr();

    std::istringstream lines(err);
    std::string line;
    int32_t count = 0;
    while (std::getline(lines, line)) {
        ++count;
        std::istringstream words(line);
        std::string head, name;
        double ms = -1;
        words >> head >> ms;
        std::getline(words, name);
        EXPECT_EQ(head, "startup-phase") << line;
        EXPECT_GE(ms, 0) << line;
        EXPECT_TRUE(name == " loader step" || name == " main thread step" ||
                    name == std::string(" ") + StartupPhaseMenuFirstFrame)
            << line;
    }
    EXPECT_EQ(count, 401) << "no line lost or run into another";
    TMsg msg;
    bool quit = false;
    while (PeekMessage(msg, true))
        quit |= msg.Message == WM_QUIT;
    EXPECT_TRUE(quit) << "the menu's first frame ends a timing run";
}

} // namespace

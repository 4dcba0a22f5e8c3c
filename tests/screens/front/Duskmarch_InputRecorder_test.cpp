#include "screens/front/Duskmarch_InputRecorder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Replay.h"
#include "tests/support/TestSupport.h"

namespace {

int32_t FakeNow = 0;

int32_t FakeClock(bool)
{
    return FakeNow;
}

// A recorder set up in a temporary program folder, with the GUI's clock under
// the test's control.
class InputRecorderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SavedExePath = ExePath;
        ExePath = Folder.ProgramPath();
        Processor.TimeSource = FakeClock;
        GUI_Keys = {};
        GUI_Input = {};
        GUI_ResetInput(&Processor);
        FakeNow = 0;
    }
    void TearDown() override
    {
        ShutdownInputRecorder();
        Replay_Reset();
        GUI_ResetInput(nullptr);
        ExePath = SavedExePath;
    }

    // One frame of the recorder at a time.
    void Frame(int32_t now)
    {
        FakeNow = now;
        InputRecorderTick();
    }

    std::string Record(const std::string& name) const { return Folder.ReadFile(name); }

    TTempFolder Folder;
    TGUI_Processor Processor{"InputRecorderTest"};
    std::string SavedExePath;
};

int32_t Int32At(const std::string& bytes, size_t at)
{
    int32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

size_t BlockSize(int32_t keyFrames, int32_t mouseSamples)
{
    return 8 + static_cast<size_t>(keyFrames) * InputKeyFrameSize + static_cast<size_t>(mouseSamples) * 16;
}

TEST_F(InputRecorderTest, CommandLineChoosesModeAndFile)
{
    Folder.WriteFile("old.rec", std::string(8, '\0'));
    struct Row {
        std::vector<std::string> Parameters;
        uint8_t Mode;
        std::string Name;
    } rows[] = {
        {{}, InputRecorderOff, ""},
        {{"other"}, InputRecorderOff, ""},
        {{"GAMERECORD"}, InputRecorderRecording, "Duskmarch.replay"},
        {{"gamerecord", "x.rec"}, InputRecorderRecording, "x.rec"},
        {{"gamereplay", "missing.rec"}, InputRecorderOff, "missing.rec"},
        {{"GameReplay", "old.rec"}, InputRecorderReplaying, "old.rec"},
    };
    for (const Row& row : rows) {
        const std::string first = row.Parameters.empty() ? "(none)" : row.Parameters[0];
        InitInputRecorder(row.Parameters);
        EXPECT_EQ(InputRecorderMode, row.Mode) << first;
        EXPECT_EQ(InputRecordName, row.Name) << first;
        ShutdownInputRecorder();
    }
    EXPECT_TRUE(std::filesystem::exists(Folder.Path() + "Duskmarch.replay"))
        << "gamerecord alone writes the default file";
    EXPECT_TRUE(std::filesystem::exists(Folder.Path() + "x.rec"));
}

TEST_F(InputRecorderTest, WritesHeadThenBlocksOfChangedFrames)
{
    RenderSettings.ScreenWidth = 1280;
    RenderSettings.ScreenHeight = 1024;
    InitInputRecorder({"gamerecord", "golden.rec"});

    Frame(100); // captured; the flush writes the head only
    Frame(116); // nothing changed: nothing added
    GUI_Keys['A'].Down = 1;
    Frame(132);  // a key frame, no mouse sample
    Frame(1100); // the interval has not passed yet
    Frame(1101); // block 1: key frames 100 and 132, mouse sample 100
    GUI_SetClientPoint(40, 30);
    Frame(1117); // the first frame after a flush: one of each again
    FakeNow = 1200;
    FlushInputRecord(true); // block 2: {1117}, {1117}
    FlushInputRecord(true); // block 3: nothing captured, both counts still written
    RenderSettings = {};

    const std::string bytes = Record("golden.rec");
    ASSERT_EQ(bytes.size(), 8 + BlockSize(2, 1) + BlockSize(1, 1) + BlockSize(0, 0));
    EXPECT_EQ(Int32At(bytes, 0), 1280);
    EXPECT_EQ(Int32At(bytes, 4), 1024);
    const size_t frame0 = 12;
    const size_t frame1 = frame0 + InputKeyFrameSize;
    const size_t mouse1 = frame1 + InputKeyFrameSize + 4;
    const size_t block2 = mouse1 + 16;
    const size_t keyA = 4 + 'A' * 3;
    EXPECT_EQ(Int32At(bytes, 8), 2);
    EXPECT_EQ(Int32At(bytes, frame0), 100);
    EXPECT_EQ(bytes[frame0 + keyA], 0);
    EXPECT_EQ(Int32At(bytes, frame1), 132);
    EXPECT_EQ(bytes[frame1 + keyA], 1);
    EXPECT_EQ(Int32At(bytes, mouse1 - 4), 1);
    EXPECT_EQ(Int32At(bytes, mouse1), 100);
    EXPECT_EQ(Int32At(bytes, block2), 1);
    EXPECT_EQ(Int32At(bytes, block2 + 4), 1117);
    const size_t mouse2 = block2 + 4 + InputKeyFrameSize + 4;
    EXPECT_EQ(Int32At(bytes, mouse2), 1117);
    EXPECT_EQ(Int32At(bytes, mouse2 + 4), 40);
    EXPECT_EQ(Int32At(bytes, mouse2 + 8), 30);
    EXPECT_EQ(Int32At(bytes, mouse2 + 16), 0);
    EXPECT_EQ(Int32At(bytes, mouse2 + 20), 0);
}

TEST_F(InputRecorderTest, ShorterRecordingLeavesNoOldTail)
{
    auto recordFor = [&](int32_t frames) {
        InitInputRecorder({"gamerecord", "again.rec"});
        for (int32_t i = 1; i <= frames; ++i) {
            GUI_Keys['W'].Down = static_cast<uint8_t>(i % 2);
            Frame(i * 300);
        }
        FlushInputRecord(true);
        ShutdownInputRecorder();
    };
    recordFor(20);
    const size_t longSize = Record("again.rec").size();
    recordFor(3);
    const std::string bytes = Record("again.rec");
    ASSERT_LT(bytes.size(), longSize);
    TInputRecord record;
    std::string warning;
    ASSERT_TRUE(ReadInputRecord(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), record, warning));
    EXPECT_EQ(warning, "");
    EXPECT_EQ(record.KeyFrames.size(), 3u);
}

TEST_F(InputRecorderTest, ReaderKeepsWholeBlocksAndRefusesNoHead)
{
    InitInputRecorder({"gamerecord", "r.rec"});
    for (int32_t i = 1; i <= 4; ++i) {
        GUI_SetClientPoint(i, i);
        Frame(i * 700);
    }
    FlushInputRecord(true);
    ShutdownInputRecorder();
    const std::string whole = Record("r.rec");
    auto read = [](const std::string& bytes, TInputRecord& record, std::string& warning) {
        return ReadInputRecord(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), record, warning);
    };
    TInputRecord full;
    std::string warning;
    ASSERT_TRUE(read(whole, full, warning));
    ASSERT_EQ(warning, "");
    ASSERT_GE(full.Blocks, 2);

    std::string hugeCount = whole.substr(0, 8) + std::string("\xff\xff\xff\x7f", 4);
    std::string negativeCount = whole.substr(0, 8) + std::string("\xff\xff\xff\xff", 4);
    struct Row {
        const char* What;
        std::string Bytes;
        bool Read;
        bool Warned;
        int32_t Blocks;
    } rows[] = {
        {"empty", "", false, false, 0},
        {"half a head", whole.substr(0, 5), false, false, 0},
        {"head only", whole.substr(0, 8), true, false, 0},
        {"cut inside the last block", whole.substr(0, whole.size() - 3), true, true, full.Blocks - 1},
        {"a count beyond the data", hugeCount, true, true, 0},
        {"a negative count", negativeCount, true, true, 0},
    };
    for (const Row& row : rows) {
        TInputRecord record;
        EXPECT_EQ(read(row.Bytes, record, warning), row.Read) << row.What;
        EXPECT_EQ(!warning.empty(), row.Warned) << row.What;
        EXPECT_EQ(record.Blocks, row.Blocks) << row.What;
    }
}

TEST_F(InputRecorderTest, ReplayFeedsRecordedInputByFrameTime)
{
    InitInputRecorder({"gamerecord", "play.rec"});
    Frame(1000);
    GUI_Keys[VK_ESCAPE].Down = 1;
    GUI_SetClientPoint(200, 150);
    Frame(1500);
    GUI_Keys[VK_ESCAPE].Down = 0;
    GUI_Input.Wheel = 120;
    Frame(2600);
    FlushInputRecord(true);
    ShutdownInputRecorder();
    GUI_ResetInput(&Processor);

    InitInputRecorder({"gamereplay", "play.rec"});
    ASSERT_EQ(InputRecorderMode, InputRecorderReplaying);
    int32_t width = 800;
    int32_t height = 600;
    ApplyReplayScreenSize(width, height); // no renderer while recording: 0 x 0 fits
    EXPECT_EQ(InputRecorderMode, InputRecorderReplaying);

    struct Row {
        int32_t Now;
        uint8_t Escape;
        int32_t X;
        int32_t Wheel;
    } rows[] = {{999, 0, 0, 0}, {1000, 0, 0, 0}, {1700, 1, 200, 0}, {2600, 0, 200, 120}, {9000, 0, 200, 120}};
    for (const Row& row : rows) {
        GUI_Keys[VK_ESCAPE].Down = 7; // real input is overwritten once a record is in force
        Frame(row.Now);
        if (row.Now < 1000)
            continue;
        EXPECT_EQ(GUI_Keys[VK_ESCAPE].Down, row.Escape) << row.Now;
        EXPECT_EQ(GUI_Input.ClientX, row.X) << row.Now;
        EXPECT_EQ(GUI_Input.Wheel, row.Wheel) << row.Now;
    }
}

TEST_F(InputRecorderTest, ReplayNeedsAScreenAtLeastTheRecordedSize)
{
    std::string head(8, '\0');
    head[0] = static_cast<char>(0x20); // 800
    head[1] = static_cast<char>(0x03);
    head[4] = static_cast<char>(0x58); // 600
    head[5] = static_cast<char>(0x02);
    Folder.WriteFile("size.rec", head);
    struct Row {
        int32_t Width, Height;
        uint8_t Mode;
        int32_t NewWidth, NewHeight;
    } rows[] = {{1024, 768, InputRecorderReplaying, 800, 600},
                {800, 600, InputRecorderReplaying, 800, 600},
                {799, 600, InputRecorderOff, 799, 600},
                {1024, 599, InputRecorderOff, 1024, 599}};
    for (const Row& row : rows) {
        InitInputRecorder({"gamereplay", "size.rec"});
        int32_t width = row.Width;
        int32_t height = row.Height;
        ApplyReplayScreenSize(width, height);
        EXPECT_EQ(InputRecorderMode, row.Mode) << row.Width << "x" << row.Height;
        EXPECT_EQ(width, row.NewWidth);
        EXPECT_EQ(height, row.NewHeight);
    }
}

} // namespace

TEST_F(InputRecorderTest, TypedTextReplaysInTheFrameItWasTyped)
{
    Replay_Begin(); // counts the frames
    InitInputRecorder({"gamerecord", "t.rec"});
    const std::u16string typed[] = {u"", u"Ab \"c\"", u"", u"\u0416"};
    for (int32_t f = 1; f <= 4; ++f) {
        GUI_FrameStartHook();
        GUI_Input.TypedText = typed[f - 1];
        Frame(f * 20);
        GUI_Input.TypedText.clear();
    }
    FlushInputRecord(true);
    ShutdownInputRecorder();
    EXPECT_EQ(Record("t.rec.text"), "DMRP 1\nat 2 text \"Ab \\\"c\\\"\"\nat 4 text \"\xd0\x96\"\n");

    Replay_Reset();
    Replay_Begin();
    InitInputRecorder({"gamereplay", "t.rec"});
    ASSERT_EQ(InputRecorderMode, InputRecorderReplaying);
    for (int32_t f = 1; f <= 5; ++f) {
        GUI_FrameStartHook();
        GUI_Input.TypedText = u"real typing is not replayed";
        Frame(f * 20);
        EXPECT_TRUE(GUI_Input.TypedText == (f <= 4 ? typed[f - 1] : u"")) << "frame " << f;
    }
    ShutdownInputRecorder();

    // A text file that is no script: the replay runs on without typed text.
    Folder.WriteFile("t.rec.text", "not a script\n");
    ::testing::internal::CaptureStderr();
    InitInputRecorder({"gamereplay", "t.rec"});
    const std::string warning = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(InputRecorderMode, InputRecorderReplaying);
    EXPECT_TRUE(ReplayTexts.empty());
    EXPECT_NE(warning.find("line 1"), std::string::npos) << warning;
    Replay_Reset();
}

// The F11 screenshot inside the harness: a window-sized 24-bit picture in the
// program folder named after the local time, and a folder it cannot be
// written to costs one line on stderr and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "model/Support.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "screens/kit/Duskmarch_Base.h"
#include "tests/screens/ScreenHarness.h"
#include "tests/support/TestSupport.h"

namespace {

TGUI_GraphicWindow* ShotScreen = nullptr;
int32_t ShotBackground = 0;

void ShotScreenHandler(int32_t state, TGUI_Window* window)
{
    if (state == GUI_STATE_OPEN)
        ShotBackground = LoadRandomBackground(*ShotScreen, ShotBackground);
    else if (state == GUI_STATE_ACTIVE)
        RunScreenActiveFrame(*window, nullptr, nullptr);
}

TOSLocalTime FixedTime()
{
    return {2024, 3, 7, 14, 5, 9, 42};
}

class ScreenshotTest : public TScreenHarness {
protected:
    void TearDown() override
    {
        OS_SetLocalTimeSource(nullptr);
        if (ShotScreen != nullptr) {
            GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), ShotScreen),
                                  GUI_OpenWindows.end());
            delete ShotScreen;
            ShotScreen = nullptr;
        }
        ShotBackground = 0;
        TScreenHarness::TearDown();
    }
    void PressF11()
    {
        KeyDown(122);
        WaitFrames(1);
        KeyUp(122);
        WaitFrames(1);
    }
};

TEST_F(ScreenshotTest, F11WritesTheFrameOrOneLine)
{
    InstallFixture("screens/KitDemo.ini", "Interface/KitDemo.ini");
    ASSERT_TRUE(Start());
    ShotScreen = CreateScreenWindow("KitDemo", ShotScreenHandler);
    OpenScreen(ShotScreen);
    OS_SetLocalTimeSource(FixedTime);
    PressF11();
    std::string file = GameFolder + "Duskmarch_ScreenShot_2024-03-07-1405090042.tga";
    std::replace(file.begin(), file.end(), '\\', '/');
    const std::string bytes = ReadWholeFile(file);
    ASSERT_EQ(bytes.size(), 18u + static_cast<size_t>(Width) * Height * 3) << file;
    EXPECT_EQ(bytes[2], 2);
    EXPECT_EQ(static_cast<uint8_t>(bytes[12]) | static_cast<uint8_t>(bytes[13]) << 8, Width);
    EXPECT_EQ(static_cast<uint8_t>(bytes[14]) | static_cast<uint8_t>(bytes[15]) << 8, Height);
    EXPECT_EQ(bytes[16], 24);
    // The frame that was shown: the picture's pixels are the frame's (read
    // before it was presented), top row first.
    int32_t same = 0, probes = 0;
    for (int32_t y = 50; y < Height; y += 150)
        for (int32_t x = 70; x < Width; x += 170) {
            const size_t at = 18 + (static_cast<size_t>(y) * Width + static_cast<size_t>(x)) * 3;
            const uint32_t rgb = static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
                                 static_cast<uint8_t>(bytes[at + 2]) << 16;
            same += rgb == Pixel(x, y) ? 1 : 0;
            probes++;
        }
    EXPECT_EQ(same, probes);
    EXPECT_GT(Count(0, 0, Width, Height / 2, [](uint32_t c) { return c != 0; }), Width * Height / 8)
        << "the landscape fills the frame";

    const std::string saved = GameFolder;
    GameFolder = saved + "missing\\";
    testing::internal::CaptureStderr();
    PressF11();
    const std::string err = testing::internal::GetCapturedStderr();
    GameFolder = saved;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("Screenshot: cannot write"), std::string::npos) << err;
    WaitFrames(2); // the game goes on
}

} // namespace

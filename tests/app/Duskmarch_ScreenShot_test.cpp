// The game as a player runs it: on its own X server it reaches the main menu,
// xdotool presses F11 and a screenshot appears in the program folder: a
// 24-bit picture with the 18-byte header, the size of the window. Its PNG is
// kept beside the other shots.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "render/QX9_Render_Png.h"
#include "tests/support/GameProcess.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Xvfb.h"

namespace {

// The first "Duskmarch_ScreenShot_*.tga" in the folder, "" none.
std::string FindShot(const std::string& folder)
{
    std::error_code ec;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("Duskmarch_ScreenShot_", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".tga")
            return entry.path().string();
    }
    return "";
}

// "WIDTHxHEIGHT" of the game's window as xdotool reports it.
bool WindowSize(const std::string& display, int& width, int& height)
{
    const std::string command =
        "DISPLAY=" + display + " xdotool search --name '^Duskmarch$' getwindowgeometry 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    char line[256];
    bool found = false;
    while (std::fgets(line, sizeof line, pipe) != nullptr)
        if (std::sscanf(line, " Geometry: %dx%d", &width, &height) == 2)
            found = true;
    pclose(pipe);
    return found;
}

// A top-left-origin, uncompressed 24-bit TGA as 32-bit pixels for the PNG
// writer; empty for anything else.
std::vector<uint8_t> ReadTga24(const std::string& bytes, int& width, int& height)
{
    if (bytes.size() < 18 || bytes[2] != 2 || bytes[16] != 24)
        return {};
    width = static_cast<uint8_t>(bytes[12]) | static_cast<uint8_t>(bytes[13]) << 8;
    height = static_cast<uint8_t>(bytes[14]) | static_cast<uint8_t>(bytes[15]) << 8;
    const size_t start = 18 + static_cast<uint8_t>(bytes[0]);
    if (width == 0 || height == 0 || bytes.size() < start + static_cast<size_t>(width) * height * 3)
        return {};
    const bool topDown = (static_cast<uint8_t>(bytes[17]) & 0x20) != 0;
    std::vector<uint8_t> bgrx(static_cast<size_t>(width) * height * 4, 255);
    for (int y = 0; y < height; y++) {
        const int row = topDown ? y : height - 1 - y;
        for (int x = 0; x < width; x++)
            for (int c = 0; c < 3; c++)
                bgrx[(static_cast<size_t>(y) * width + x) * 4 + c] =
                    static_cast<uint8_t>(bytes[start + (static_cast<size_t>(row) * width + x) * 3 + c]);
    }
    return bgrx;
}

TEST(GameScreenShotTest, F11AtTheMainMenuWritesAWindowSizedPicture)
{
    TXvfb x{false, "1600x1200x24"};
    if (x.Name.empty())
        GTEST_SKIP() << "no Xvfb";
    TTempFolder home;
    TGameInstallation installation(DUSKMARCH_PROGRAM, {});
    TGameProcess game(installation.Program, x.Name, home.Path());

    // The window, then time for the loading window to hand over to the menu
    // (the sample installation loads in well under a second).
    int width = 0, height = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!WindowSize(x.Name, width, height) && game.Running() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(game.Running()) << game.Stderr();
    ASSERT_GT(width, 0);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    ASSERT_TRUE(game.Running()) << game.Stderr();

    std::string shot;
    XDoTool(x.Name, "mousemove 5 5");
    for (int attempt = 0; attempt < 20 && shot.empty(); attempt++) {
        XDoTool(x.Name, "keydown F11");
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        XDoTool(x.Name, "keyup F11");
        for (int wait = 0; wait < 10 && shot.empty(); wait++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            shot = FindShot(installation.Folder.Path());
        }
    }
    ASSERT_FALSE(shot.empty()) << game.Stderr();
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // written whole (atomically) by then
    const std::string bytes = ReadWholeFile(shot);
    ASSERT_GE(bytes.size(), 18u);
    EXPECT_EQ(bytes[2], 2);
    EXPECT_EQ(bytes[16], 24);
    int shotWidth = 0, shotHeight = 0;
    const std::vector<uint8_t> pixels = ReadTga24(bytes, shotWidth, shotHeight);
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(shotWidth, width);
    EXPECT_EQ(shotHeight, height);
    EXPECT_EQ(bytes.size(), 18u + static_cast<size_t>(width) * height * 3);

    const std::string png = PngTruecolourImage(shotWidth, shotHeight, pixels.data(), int64_t{shotWidth} * 4);
    const std::filesystem::path shots = std::filesystem::path(DUSKMARCH_PROGRAM).parent_path().parent_path() / "shots";
    std::error_code ec;
    std::filesystem::create_directories(shots, ec);
    if (FILE* out = std::fopen((shots / "game_f11.png").string().c_str(), "wb")) {
        std::fwrite(png.data(), 1, png.size(), out);
        std::fclose(out);
    }
    EXPECT_TRUE(PressEscapeUntilExit(game, x.Name, 20000)) << game.Stderr();
}

} // namespace

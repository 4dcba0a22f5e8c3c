#include "crashreport/diagnostics/zorBitmap.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <csignal>
#include <cstdio>
#include <map>

#include <X11/Xlib.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "crashreport/diagnostics/zorStrings.h"
#include "engine/QX9_System_Window.h"
#include "tests/support/Xvfb.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TestSupport.h"

namespace {

uint32_t Be32(const std::string& s, size_t at)
{
    return (uint32_t{static_cast<uint8_t>(s[at])} << 24) | (uint32_t{static_cast<uint8_t>(s[at + 1])} << 16) |
           (uint32_t{static_cast<uint8_t>(s[at + 2])} << 8) | static_cast<uint8_t>(s[at + 3]);
}

struct TParsedPng {
    bool Ok = false;
    std::vector<std::string> Order;
    std::map<std::string, std::string> Chunks;
    std::string Scanlines; // inflated, Adler-32 checked by zlib
    uint32_t Width = 0, Height = 0;
    int Depth = 0, ColourType = 0;
};

// Walks the chunks checking every CRC, and inflates the zlib stream.
TParsedPng ParsePng(const std::string& png)
{
    TParsedPng out;
    if (png.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)) != 0)
        return out;
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const uint32_t length = Be32(png, at);
        if (at + 12 + length > png.size())
            return out;
        const std::string type = png.substr(at + 4, 4);
        const std::string data = png.substr(at + 8, length);
        const uint32_t crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), static_cast<uInt>(length + 4)));
        EXPECT_EQ(crc, Be32(png, at + 8 + length)) << type;
        out.Order.push_back(type);
        out.Chunks[type] = data;
        at += 12 + length;
    }
    const std::string& ihdr = out.Chunks["IHDR"];
    if (ihdr.size() != 13)
        return out;
    out.Width = Be32(ihdr, 0);
    out.Height = Be32(ihdr, 4);
    out.Depth = ihdr[8];
    out.ColourType = ihdr[9];
    const std::string& idat = out.Chunks["IDAT"];
    EXPECT_EQ(idat.substr(0, 2), std::string("\x78\x01", 2));
    std::string raw(((static_cast<size_t>(out.Width) * out.Depth + 7) / 8 + 1) * out.Height + 1, '\0');
    uLongf rawSize = raw.size();
    if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawSize, reinterpret_cast<const Bytef*>(idat.data()),
                   idat.size()) != Z_OK)
        return out;
    raw.resize(rawSize);
    out.Scanlines = raw;
    out.Ok = at == png.size();
    return out;
}

std::shared_ptr<TINVBitmap> Noise(int32_t w, int32_t h, uint32_t seed)
{
    auto bitmap = std::make_shared<TINVBitmap>(w, h);
    uint32_t state = seed;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            state = state * 1664525u + 1013904223u;
            bitmap->SetPixel(x, y, state >> 8);
        }
    return bitmap;
}

} // namespace

TEST(ZorBitmapTest, GreyPngOfThreeByTwoHasHalfUsedBytesAndValidChecks)
{
    TINVBitmap bitmap(3, 2);
    const uint32_t colours[2][3] = {{0x000000, 0xFFFFFF, 0x808080}, {0x1C1C1C, 0x343434, 0xF1F1F1}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            bitmap.SetPixel(x, y, colours[y][x]);
    const TParsedPng png = ParsePng(bitmap.PngImage(1));
    ASSERT_TRUE(png.Ok);
    EXPECT_EQ(png.Order, (std::vector<std::string>{"IHDR", "PLTE", "IDAT", "IEND"}));
    EXPECT_EQ(png.Width, 3u);
    EXPECT_EQ(png.Height, 2u);
    EXPECT_EQ(png.Depth, 4);
    EXPECT_EQ(png.ColourType, 3);
    EXPECT_EQ(png.Chunks.at("PLTE").size(), 48u);
    // Grey of 128 is nearest to 125 (level 6); 0x1C = 28 is level 1, 0x34 = 52 level 2, 0xF1 = 241 level 14.
    EXPECT_EQ(png.Scanlines, std::string("\x00\x0F\x60\x00\x12\xE0", 6));
    // The picture keeps its own pixels.
    EXPECT_EQ(bitmap.PixelAt(2, 0), 0x808080u);
}

TEST(ZorBitmapTest, FourColourQuantiserMapsExactly)
{
    const uint32_t colours[4] = {0x000000, 0xF80000, 0x00F800, 0x0000F8};
    TINVBitmap bitmap(4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            bitmap.SetPixel(x, y, colours[(x + y) % 4]);
    std::vector<TRgb> palette = WuPalette(bitmap.PixelBytes());
    ASSERT_EQ(palette.size(), 4u);
    std::vector<uint32_t> entries;
    for (const TRgb& c : palette)
        entries.push_back((uint32_t{c.R} << 16) | (uint32_t{c.G} << 8) | c.B);
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<uint32_t>{0x000000, 0x0000F8, 0x00F800, 0xF80000}));

    const TParsedPng png = ParsePng(bitmap.PngImage(0));
    ASSERT_TRUE(png.Ok);
    EXPECT_EQ(png.Depth, 8);
    const std::string& plte = png.Chunks.at("PLTE");
    ASSERT_EQ(plte.size(), 12u); // as many entries as boxes were made
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const auto index = static_cast<uint8_t>(png.Scanlines[static_cast<size_t>(y) * 5 + 1 + x]);
            ASSERT_LT(index, 4);
            const uint32_t rgb = (uint32_t{static_cast<uint8_t>(plte[index * 3])} << 16) |
                                 (uint32_t{static_cast<uint8_t>(plte[index * 3 + 1])} << 8) |
                                 static_cast<uint8_t>(plte[index * 3 + 2]);
            EXPECT_EQ(rgb, colours[(x + y) % 4]) << x << "," << y;
        }
}

TEST(ZorBitmapTest, ModesChooseColourOrGrey)
{
    auto small = Noise(40, 30, 7);
    struct TCase {
        int32_t Mode;
        int Depth;
    } cases[] = {{0, 8}, {1, 4}, {2, 8}, {5, 8}};
    for (const TCase& c : cases)
        EXPECT_EQ(ParsePng(small->PngImage(c.Mode)).Depth, c.Depth) << c.Mode;

    // Noise makes a colour image far above 102400 bytes: mode 3 takes the
    // shorter grey one, mode 0 never does.
    auto noisy = Noise(600, 600, 11);
    const std::string colour = noisy->PngImage(0);
    const std::string chosen = noisy->PngImage(3);
    EXPECT_GT(colour.size(), 102400u);
    EXPECT_EQ(ParsePng(colour).Depth, 8);
    EXPECT_EQ(ParsePng(chosen).Depth, 4);
    EXPECT_LT(chosen.size(), colour.size());
    EXPECT_EQ(chosen, noisy->PngImage(1));
    // The grey image came from a copy: the bitmap keeps its colours.
    EXPECT_EQ(noisy->PngImage(0), colour);
}

TEST(ZorBitmapTest, ScaledCopyFitsTheBoxAndKeepsFlatColours)
{
    TINVBitmap flat(800, 600);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
            flat.SetPixel(x, y, 0x4080C0);
    struct TCase {
        int32_t W, H, WantW, WantH;
    } cases[] = {{200, 200, 200, 150}, {400, 100, 133, 100}, {1600, 1200, 1600, 1200}};
    for (const TCase& c : cases) {
        auto scaled = flat.ScaledCopy(c.W, c.H);
        ASSERT_TRUE(scaled) << c.W;
        EXPECT_EQ(scaled->PixelWidth(), c.WantW);
        EXPECT_EQ(scaled->PixelHeight(), c.WantH);
    }
    auto scaled = std::static_pointer_cast<TINVBitmap>(flat.ScaledCopy(200, 200));
    for (int y = 0; y < 150; y += 7)
        for (int x = 0; x < 200; x += 7) {
            const uint32_t p = scaled->PixelAt(x, y);
            EXPECT_NEAR(static_cast<int>(p >> 16), 0x40, 1);
            EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 0x80, 1);
            EXPECT_NEAR(static_cast<int>(p & 0xFF), 0xC0, 1);
        }
    EXPECT_EQ(flat.ScaledCopy(0, 10), nullptr);
    EXPECT_EQ(TINVBitmap(0, 0).ScaledCopy(10, 10), nullptr);
    EXPECT_EQ(TINVBitmap(1000, 1).ScaledCopy(10, 10), nullptr);
}

TEST(ZorBitmapTest, FilesAreWrittenWholeOrNotAtAll)
{
    TTempFolder folder;
    auto bitmap = Noise(5, 3, 3);
    const std::u16string bmp = Utf8ToWide(folder.Path() + "a.bmp");
    ASSERT_TRUE(bitmap->WriteBmpFile(bmp));
    EXPECT_EQ(folder.ReadFile("a.bmp").size(), 54u + 5 * 3 * 4);
    auto loaded = std::static_pointer_cast<TINVBitmap>(LoadBitmapFile(bmp));
    ASSERT_TRUE(loaded);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(loaded->PixelAt(x, y), bitmap->PixelAt(x, y));
    ASSERT_TRUE(bitmap->WritePngFile(Utf8ToWide(folder.Path() + "a.png"), 0));
    EXPECT_TRUE(ParsePng(folder.ReadFile("a.png")).Ok);
    EXPECT_FALSE(bitmap->WritePngFile(Utf8ToWide(folder.Path() + "missing/a.png"), 0));
    // Damaged bitmap files read as nothing.
    std::string damaged = bitmap->BmpImage();
    damaged.resize(60);
    folder.WriteFile("cut.bmp", damaged);
    EXPECT_EQ(LoadBitmapFile(Utf8ToWide(folder.Path() + "cut.bmp")), nullptr);
}

// ---------------------------------------------------------------------------
// Screenshots on a private X server.

namespace {

LRESULT ZorBitmapMainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProc(window, message, wParam, lParam);
}

} // namespace

TEST(ZorBitmapXvfbTest, CaptureScreenAndTheProgramsWindow)
{
    TXvfb server;
    if (server.Name.empty())
        GTEST_SKIP() << "Xvfb is not available";
    TEnvOverride env;
    env.Set("DISPLAY", server.Name);
    auto whole = CaptureScreen(false);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->PixelWidth(), 320);
    EXPECT_EQ(whole->PixelHeight(), 240);

    Display* dpy = XOpenDisplay(server.Name.c_str());
    ASSERT_NE(dpy, nullptr);
    const Window own = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 10, 20, 100, 50, 0, 0, 0x00FF00);
    SetScreenCaptureWindow(own);
    EXPECT_EQ(CaptureScreen(true), nullptr); // not mapped
    XMapWindow(dpy, own);
    // A second window over the right half of ours.
    const Window other = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 60, 20, 100, 50, 0, 0, 0x0000FF);
    XMapWindow(dpy, other);
    XSync(dpy, False);
    auto shot = std::static_pointer_cast<TINVBitmap>(CaptureScreen(true));
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->PixelWidth(), 100);
    EXPECT_EQ(shot->PixelHeight(), 50);
    EXPECT_EQ(shot->PixelAt(20, 40), 0x00FF00u);
    EXPECT_EQ(shot->PixelAt(80, 40), 0xFFFFFFu); // covered: white
    XUnmapWindow(dpy, own);
    XSync(dpy, False);
    EXPECT_EQ(CaptureScreen(true), nullptr);
    SetScreenCaptureWindow(0);
    XCloseDisplay(dpy);

    // Without a window handed over, the program's window is the engine's
    // main window: the game's screenshots show the game and nothing else.
    env.Set("SDL_VIDEODRIVER", "x11");
    EXPECT_EQ(CaptureScreen(true), nullptr); // no window yet
    Window_SetOpenGL(false);
    CreateMainWindow(100, 60, ZorBitmapMainWindowProc, false, "Duskmarch test");
    const bool created = MainWindowHandle != nullptr;
    const std::shared_ptr<INVBitmap> game = created ? CaptureScreen(true) : nullptr;
    Window_Shutdown();
    MainWindowHandle = nullptr;
    ClassRegistered = false;
    Window_SetOpenGL(true);
    ASSERT_TRUE(created) << "no X11 video driver";
    ASSERT_TRUE(game);
    EXPECT_EQ(game->PixelWidth(), 100);
    EXPECT_EQ(game->PixelHeight(), 60);
}

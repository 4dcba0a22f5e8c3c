// zorBitmap: the reporter's pictures. A screenshot is held as a 32-bit
// bitmap (blue, green, red and an unused byte per pixel, rows bottom-up, as
// a BMP file stores them), scaled for previews, and written as a BMP file or
// as a small PNG: 256 colours from Wu's quantiser, or 16 grey levels when
// that is shorter than the colour image and the mode allows it.
//
// Everything here runs in normal context (the handler thread, a delivery
// thread), never inside a signal handler.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class INVBitmap {
public:
    virtual ~INVBitmap() = default;
    virtual int32_t PixelWidth() const = 0;
    virtual int32_t PixelHeight() const = 0;
    // The BMP file image.
    virtual std::string BmpImage() const = 0;
    // The PNG file image in a mode 0..5 (see the modes below); empty on
    // failure. The bitmap itself is never changed.
    virtual std::string PngImage(int32_t mode) const = 0;
    // True when written completely; a partly written file is deleted.
    virtual bool WriteBmpFile(const std::u16string& fileName) const = 0;
    virtual bool WritePngFile(const std::u16string& fileName, int32_t mode) const = 0;
    // A copy fitted into the box keeping the aspect ratio; nullptr for an
    // empty picture or box.
    virtual std::shared_ptr<INVBitmap> ScaledCopy(int32_t width, int32_t height) const = 0;
    // Four bytes per pixel, bottom row first (for presenters showing a preview).
    virtual const std::vector<uint8_t>& PixelBytes() const = 0;
};

// PNG modes: 0 256 colours; 1 16 grey levels; 2..5 256 colours, and when
// that image is longer than 51200, 102400, 204800 or 307200 bytes also the
// grey image, the shorter one winning.
int32_t PngModeLimit(int32_t mode);

class TINVBitmap final : public INVBitmap {
public:
    // A black bitmap; a negative size counts as 0.
    TINVBitmap(int32_t width, int32_t height);
    // Takes the pixels as they are (width * height * 4 bytes, bottom-up).
    TINVBitmap(int32_t width, int32_t height, std::vector<uint8_t> pixels);

    int32_t PixelWidth() const override { return Width; }
    int32_t PixelHeight() const override { return Height; }
    std::string BmpImage() const override;
    std::string PngImage(int32_t mode) const override;
    bool WriteBmpFile(const std::u16string& fileName) const override;
    bool WritePngFile(const std::u16string& fileName, int32_t mode) const override;
    std::shared_ptr<INVBitmap> ScaledCopy(int32_t width, int32_t height) const override;
    const std::vector<uint8_t>& PixelBytes() const override { return Bits; }

    // The pixel at x, y counted from the top left: 0x00RRGGBB.
    uint32_t PixelAt(int32_t x, int32_t y) const;
    void SetPixel(int32_t x, int32_t y, uint32_t rgb);
    uint8_t* Row(int32_t y); // top-left origin
    void Fill(uint8_t value) { std::fill(Bits.begin(), Bits.end(), value); }

private:
    int32_t Width;
    int32_t Height;
    std::vector<uint8_t> Bits;
};

// A palette entry.
struct TRgb {
    uint8_t R = 0, G = 0, B = 0;
};

// Wu's colour quantiser over the pixels: at most `colours` entries, as many
// as boxes were made (fewer for a picture with fewer distinct cells).
std::vector<TRgb> WuPalette(const std::vector<uint8_t>& bgrxPixels, int32_t colours = 256);
// The 16 grey levels of the grey image.
extern const std::array<uint8_t, 16> GreyLevels;

// The parts of a PNG built here: scanlines of palette indexes, one byte per
// pixel (depth 8) or two pixels per byte (depth 4), each row led by filter
// byte 0. The zlib stream is 78 01, raw deflate and the Adler-32.
std::string PngFileImage(int32_t width, int32_t height, int32_t depth, const std::vector<TRgb>& palette,
                         std::string_view scanlines);
// The BMP file image of bottom-up 32-bit pixels.
std::string BmpFileImage(int32_t width, int32_t height, const std::vector<uint8_t>& bgrxPixels);

// Writes bytes to a new file; a file not written completely is deleted.
bool WriteWholeFile(const std::u16string& fileName, const std::string& bytes);

// A BMP file as a 32-bit bitmap (1, 4, 8, 24 and 32 bits per pixel,
// uncompressed, either row order); nullptr when it can't be read.
std::shared_ptr<INVBitmap> LoadBitmapFile(const std::u16string& fileName);

// A screenshot of the X display: the whole screen, or only the program's
// window (set with SetScreenCaptureWindow, else the engine's main window)
// less the parts other windows
// cover, which stay white. The mouse cursor is drawn on top when the
// cursor extension is there. nullptr without a display or window.
std::shared_ptr<INVBitmap> CaptureScreen(bool appOnly);
// The X window id of the program's main window (0: none).
void SetScreenCaptureWindow(unsigned long window);
// The same from the game's SDL window (its X id when SDL runs on X11, else 0),
// for the front end to call once its main window exists.
struct SDL_Window;
void SetScreenCaptureSdlWindow(SDL_Window* window);
// The engine's main window once it exists: the program's window when no
// other was set.
SDL_Window* GameMainSdlWindow();
// Fills the exception object's capture slot.
void LinkScreenCapture();

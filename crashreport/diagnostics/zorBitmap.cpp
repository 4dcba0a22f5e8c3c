// zorBitmap: bitmaps, the quantiser, the PNG and BMP writers and scaling.
// Normal context throughout.
#include "crashreport/diagnostics/zorBitmap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>

#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorZip.h"
#include "engine/QX9_PngFile.h"

const std::array<uint8_t, 16> GreyLevels = {0, 28, 52, 73, 92, 109, 125, 140, 155, 170, 185, 199, 213, 227, 241, 255};

int32_t PngModeLimit(int32_t mode)
{
    switch (mode) {
    case 2:
        return 51200;
    case 3:
        return 102400;
    case 4:
        return 204800;
    case 5:
        return 307200;
    default:
        return 0;
    }
}

namespace {

void PutBe32(std::string& out, uint32_t value)
{
    out.push_back(static_cast<char>(value >> 24));
    out.push_back(static_cast<char>(value >> 16));
    out.push_back(static_cast<char>(value >> 8));
    out.push_back(static_cast<char>(value));
}

void PutLe32(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

void PutLe16(std::string& out, uint16_t value)
{
    out.push_back(static_cast<char>(value));
    out.push_back(static_cast<char>(value >> 8));
}

// ---------------------------------------------------------------------------
// Wu's quantiser: moments over a 33 x 33 x 33 grid, cumulated, then boxes
// split greedily along the axis that best separates their colours.

constexpr int WuSide = 33;
constexpr int WuCells = WuSide * WuSide * WuSide;

inline int WuIndex(int r, int g, int b)
{
    return (r * WuSide + g) * WuSide + b;
}

struct TWuBox {
    int R0 = 0, R1 = 0, G0 = 0, G1 = 0, B0 = 0, B1 = 0;
    int Volume = 0;
};

struct TWuMoments {
    std::vector<double> Wt, Mr, Mg, Mb, M2;
    TWuMoments() : Wt(WuCells), Mr(WuCells), Mg(WuCells), Mb(WuCells), M2(WuCells) {}
};

enum TWuAxis { WuRed, WuGreen, WuBlue };

double Vol(const TWuBox& c, const std::vector<double>& m)
{
    return m[WuIndex(c.R1, c.G1, c.B1)] - m[WuIndex(c.R1, c.G1, c.B0)] - m[WuIndex(c.R1, c.G0, c.B1)] +
           m[WuIndex(c.R1, c.G0, c.B0)] - m[WuIndex(c.R0, c.G1, c.B1)] + m[WuIndex(c.R0, c.G1, c.B0)] +
           m[WuIndex(c.R0, c.G0, c.B1)] - m[WuIndex(c.R0, c.G0, c.B0)];
}

double Bottom(const TWuBox& c, TWuAxis dir, const std::vector<double>& m)
{
    switch (dir) {
    case WuRed:
        return -m[WuIndex(c.R0, c.G1, c.B1)] + m[WuIndex(c.R0, c.G1, c.B0)] + m[WuIndex(c.R0, c.G0, c.B1)] -
               m[WuIndex(c.R0, c.G0, c.B0)];
    case WuGreen:
        return -m[WuIndex(c.R1, c.G0, c.B1)] + m[WuIndex(c.R1, c.G0, c.B0)] + m[WuIndex(c.R0, c.G0, c.B1)] -
               m[WuIndex(c.R0, c.G0, c.B0)];
    default:
        return -m[WuIndex(c.R1, c.G1, c.B0)] + m[WuIndex(c.R1, c.G0, c.B0)] + m[WuIndex(c.R0, c.G1, c.B0)] -
               m[WuIndex(c.R0, c.G0, c.B0)];
    }
}

double Top(const TWuBox& c, TWuAxis dir, int pos, const std::vector<double>& m)
{
    switch (dir) {
    case WuRed:
        return m[WuIndex(pos, c.G1, c.B1)] - m[WuIndex(pos, c.G1, c.B0)] - m[WuIndex(pos, c.G0, c.B1)] +
               m[WuIndex(pos, c.G0, c.B0)];
    case WuGreen:
        return m[WuIndex(c.R1, pos, c.B1)] - m[WuIndex(c.R1, pos, c.B0)] - m[WuIndex(c.R0, pos, c.B1)] +
               m[WuIndex(c.R0, pos, c.B0)];
    default:
        return m[WuIndex(c.R1, c.G1, pos)] - m[WuIndex(c.R1, c.G0, pos)] - m[WuIndex(c.R0, c.G1, pos)] +
               m[WuIndex(c.R0, c.G0, pos)];
    }
}

double Variance(const TWuBox& c, const TWuMoments& m)
{
    const double dr = Vol(c, m.Mr), dg = Vol(c, m.Mg), db = Vol(c, m.Mb);
    const double w = Vol(c, m.Wt);
    if (w <= 0)
        return 0;
    return Vol(c, m.M2) - (dr * dr + dg * dg + db * db) / w;
}

double Maximize(const TWuBox& c, TWuAxis dir, int first, int last, int& cut, double wholeR, double wholeG,
                double wholeB, double wholeW, const TWuMoments& m)
{
    const double baseR = Bottom(c, dir, m.Mr), baseG = Bottom(c, dir, m.Mg), baseB = Bottom(c, dir, m.Mb);
    const double baseW = Bottom(c, dir, m.Wt);
    double best = 0;
    cut = -1;
    for (int i = first; i < last; ++i) {
        double halfR = baseR + Top(c, dir, i, m.Mr), halfG = baseG + Top(c, dir, i, m.Mg);
        double halfB = baseB + Top(c, dir, i, m.Mb), halfW = baseW + Top(c, dir, i, m.Wt);
        if (halfW == 0)
            continue;
        double value = (halfR * halfR + halfG * halfG + halfB * halfB) / halfW;
        halfR = wholeR - halfR;
        halfG = wholeG - halfG;
        halfB = wholeB - halfB;
        halfW = wholeW - halfW;
        if (halfW == 0)
            continue;
        value += (halfR * halfR + halfG * halfG + halfB * halfB) / halfW;
        if (value > best) {
            best = value;
            cut = i;
        }
    }
    return best;
}

bool Cut(TWuBox& set1, TWuBox& set2, const TWuMoments& m)
{
    const double wholeR = Vol(set1, m.Mr), wholeG = Vol(set1, m.Mg), wholeB = Vol(set1, m.Mb);
    const double wholeW = Vol(set1, m.Wt);
    int cutR, cutG, cutB;
    const double maxR = Maximize(set1, WuRed, set1.R0 + 1, set1.R1, cutR, wholeR, wholeG, wholeB, wholeW, m);
    const double maxG = Maximize(set1, WuGreen, set1.G0 + 1, set1.G1, cutG, wholeR, wholeG, wholeB, wholeW, m);
    const double maxB = Maximize(set1, WuBlue, set1.B0 + 1, set1.B1, cutB, wholeR, wholeG, wholeB, wholeW, m);
    TWuAxis dir;
    if (maxR >= maxG && maxR >= maxB) {
        dir = WuRed;
        if (cutR < 0)
            return false;
    } else if (maxG >= maxB) {
        dir = WuGreen;
    } else {
        dir = WuBlue;
    }
    set2.R1 = set1.R1;
    set2.G1 = set1.G1;
    set2.B1 = set1.B1;
    switch (dir) {
    case WuRed:
        set2.R0 = set1.R1 = cutR;
        set2.G0 = set1.G0;
        set2.B0 = set1.B0;
        break;
    case WuGreen:
        set2.G0 = set1.G1 = cutG;
        set2.R0 = set1.R0;
        set2.B0 = set1.B0;
        break;
    case WuBlue:
        set2.B0 = set1.B1 = cutB;
        set2.R0 = set1.R0;
        set2.G0 = set1.G0;
        break;
    }
    set1.Volume = (set1.R1 - set1.R0) * (set1.G1 - set1.G0) * (set1.B1 - set1.B0);
    set2.Volume = (set2.R1 - set2.R0) * (set2.G1 - set2.G0) * (set2.B1 - set2.B0);
    return true;
}

// ---------------------------------------------------------------------------
// Index images

int32_t NearestEntry(const std::vector<TRgb>& palette, int r, int g, int b)
{
    int32_t best = 0;
    int bestDistance = INT32_MAX;
    for (size_t i = 0; i < palette.size(); ++i) {
        const int d = std::abs(palette[i].R - r) + std::abs(palette[i].G - g) + std::abs(palette[i].B - b);
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int32_t>(i);
        }
    }
    return best;
}

std::string ColourPng(int32_t width, int32_t height, const std::vector<uint8_t>& bits)
{
    std::vector<TRgb> palette = WuPalette(bits, 256);
    if (palette.empty())
        return {};
    std::vector<int16_t> cache(32768, -1);
    const size_t scanSize = static_cast<size_t>(height) * (static_cast<size_t>(width) + 1);
    const auto scan = std::make_unique_for_overwrite<char[]>(scanSize);
    char* out = scan.get();
    for (int32_t y = 0; y < height; ++y) {
        *out++ = 0;
        const uint8_t* p = bits.data() + static_cast<size_t>(height - 1 - y) * width * 4;
        uint32_t previous = 0xFFFFFFFFu;
        char index = 0;
        for (int32_t x = 0; x < width; ++x, p += 4) {
            const uint32_t colour = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
            if (colour != previous) {
                previous = colour;
                const int cell = (p[2] >> 3) | ((p[1] >> 3) << 5) | ((p[0] >> 3) << 10);
                if (cache[cell] < 0)
                    cache[cell] = static_cast<int16_t>(NearestEntry(palette, p[2], p[1], p[0]));
                index = static_cast<char>(cache[cell]);
            }
            *out++ = index;
        }
    }
    return PngFileImage(width, height, 8, palette, std::string_view(scan.get(), scanSize));
}

std::string GreyPng(int32_t width, int32_t height, const std::vector<uint8_t>& bits)
{
    std::array<uint8_t, 256> level{};
    for (int v = 0; v < 256; ++v) {
        int best = 0;
        for (int i = 1; i < 16; ++i)
            if (std::abs(GreyLevels[i] - v) < std::abs(GreyLevels[best] - v))
                best = i;
        level[v] = static_cast<uint8_t>(best);
    }
    const size_t rowBytes = (static_cast<size_t>(width) + 1) / 2;
    const size_t scanSize = static_cast<size_t>(height) * (rowBytes + 1);
    const auto scan = std::make_unique_for_overwrite<char[]>(scanSize);
    char* out = scan.get();
    for (int32_t y = 0; y < height; ++y) {
        *out++ = 0;
        const uint8_t* p = bits.data() + static_cast<size_t>(height - 1 - y) * width * 4;
        for (int32_t x = 0; x < width; x += 2) {
            uint8_t byte = 0;
            for (int k = 0; k < 2 && x + k < width; ++k, p += 4) {
                const int grey = (p[2] * 77 + p[1] * 151 + p[0] * 28) >> 8;
                byte |= static_cast<uint8_t>(level[grey] << (k == 0 ? 4 : 0));
            }
            *out++ = static_cast<char>(byte);
        }
    }
    std::vector<TRgb> palette(16);
    for (int i = 0; i < 16; ++i)
        palette[i] = {GreyLevels[i], GreyLevels[i], GreyLevels[i]};
    return PngFileImage(width, height, 4, palette, std::string_view(scan.get(), scanSize));
}

// ---------------------------------------------------------------------------
// Mitchell resampling

double Mitchell(double x)
{
    x = std::fabs(x);
    if (x < 1)
        return 7.0 / 6.0 * x * x * x - 2.0 * x * x + 8.0 / 9.0;
    if (x < 2)
        return -7.0 / 18.0 * x * x * x + 2.0 * x * x - 10.0 / 3.0 * x + 16.0 / 9.0;
    return 0;
}

struct TContribution {
    int32_t Source;
    int32_t Weight; // 16.16
};

// The source taps of every target position along one axis.
std::vector<std::vector<TContribution>> Contributions(int32_t n, int32_t m)
{
    std::vector<std::vector<TContribution>> list(static_cast<size_t>(n));
    const int64_t N = n, M = m;
    for (int64_t i = 0; i < N; ++i) {
        int64_t first, last;
        if (N < M) {
            first = (M * (i - 2) - N + 1) / N;
            last = (M * (i + 2) + N - 1) / N;
        } else {
            first = (M * i - 3 * N + 1) / N;
            last = (M * i + 3 * N - 1) / N;
        }
        for (int64_t j = first; j <= last; ++j) {
            const double w = N < M ? Mitchell(static_cast<double>(i) - static_cast<double>(j) * N / M) * N / M
                                   : Mitchell(static_cast<double>(i) * M / N - static_cast<double>(j));
            const int32_t fixed = static_cast<int32_t>(std::lround(w * 65536.0));
            if (fixed == 0)
                continue;
            int64_t source = j < 0 ? -j : j >= M ? 2 * M - 1 - j : j;
            source = std::clamp<int64_t>(source, 0, M - 1); // a tiny picture mirrors past its far edge
            list[i].push_back({static_cast<int32_t>(source), fixed});
        }
    }
    return list;
}

inline uint8_t ClampFixed(int64_t sum)
{
    if (sum < 0)
        return 0;
    if (sum >= int64_t{255} << 16)
        return 255;
    return static_cast<uint8_t>(sum >> 16);
}

} // namespace

// ---------------------------------------------------------------------------

std::vector<TRgb> WuPalette(const std::vector<uint8_t>& bits, int32_t colours)
{
    if (bits.size() < 4 || colours <= 0)
        return {};
    TWuMoments m;
    // Runs of one colour (most of a screen) are added once.
    uint32_t run = 0, runColour = 0;
    auto flush = [&] {
        if (run == 0)
            return;
        const int b = runColour & 0xFF, g = (runColour >> 8) & 0xFF, r = (runColour >> 16) & 0xFF;
        const int cell = WuIndex((r >> 3) + 1, (g >> 3) + 1, (b >> 3) + 1);
        const double n = run;
        m.Wt[cell] += n;
        m.Mr[cell] += n * r;
        m.Mg[cell] += n * g;
        m.Mb[cell] += n * b;
        m.M2[cell] += n * (r * r + g * g + b * b); // sums of integers below 2^53 stay exact
    };
    for (size_t i = 0; i + 3 < bits.size(); i += 4) {
        const uint32_t colour = bits[i] | (uint32_t{bits[i + 1]} << 8) | (uint32_t{bits[i + 2]} << 16);
        if (run > 0 && colour == runColour) {
            ++run;
            continue;
        }
        flush();
        runColour = colour;
        run = 1;
    }
    flush();
    // Cumulative moments: every cell holds the sum over the box from the origin.
    for (std::vector<double>* table : {&m.Wt, &m.Mr, &m.Mg, &m.Mb, &m.M2}) {
        std::vector<double>& t = *table;
        for (int r = 1; r < WuSide; ++r) {
            std::vector<double> area(WuSide, 0.0);
            for (int g = 1; g < WuSide; ++g) {
                double line = 0;
                for (int b = 1; b < WuSide; ++b) {
                    line += t[WuIndex(r, g, b)];
                    area[b] += line;
                    t[WuIndex(r, g, b)] = t[WuIndex(r - 1, g, b)] + area[b];
                }
            }
        }
    }

    std::vector<TWuBox> boxes(static_cast<size_t>(colours));
    std::vector<double> variance(static_cast<size_t>(colours), 0.0);
    boxes[0].R1 = boxes[0].G1 = boxes[0].B1 = 32;
    boxes[0].Volume = 32 * 32 * 32;
    int made = 1;
    int next = 0;
    for (int i = 1; i < colours; ++i) {
        if (Cut(boxes[next], boxes[i], m)) {
            variance[next] = boxes[next].Volume > 1 ? Variance(boxes[next], m) : 0.0;
            variance[i] = boxes[i].Volume > 1 ? Variance(boxes[i], m) : 0.0;
            made = i + 1;
        } else {
            variance[next] = 0.0;
            --i;
        }
        next = 0;
        double largest = variance[0];
        for (int k = 1; k <= i; ++k) {
            if (variance[k] > largest) {
                largest = variance[k];
                next = k;
            }
        }
        if (largest <= 0.0)
            break;
    }

    std::vector<TRgb> palette;
    palette.reserve(static_cast<size_t>(made));
    for (int i = 0; i < made; ++i) {
        const double w = Vol(boxes[i], m.Wt);
        if (w <= 0)
            continue;
        const auto wi = static_cast<int64_t>(w);
        palette.push_back({static_cast<uint8_t>(static_cast<int64_t>(Vol(boxes[i], m.Mr)) / wi),
                           static_cast<uint8_t>(static_cast<int64_t>(Vol(boxes[i], m.Mg)) / wi),
                           static_cast<uint8_t>(static_cast<int64_t>(Vol(boxes[i], m.Mb)) / wi)});
    }
    return palette;
}

std::string PngFileImage(int32_t width, int32_t height, int32_t depth, const std::vector<TRgb>& palette,
                         std::string_view scanlines)
{
    if (width <= 0 || height <= 0 || palette.empty() || scanlines.size() > INT32_MAX / 2)
        return {};
    // Only the pages deflate writes get touched: a small result costs no more than its size.
    const auto capacity = static_cast<size_t>(DeflateBound(static_cast<int64_t>(scanlines.size())) + 64);
    const auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
    const int32_t packedSize = DeflateBuffer(scanlines.data(), buffer.get(), static_cast<int32_t>(scanlines.size()),
                                             static_cast<int32_t>(capacity));
    if (packedSize <= 0)
        return {};

    std::string plte;
    for (const TRgb& c : palette) {
        plte.push_back(static_cast<char>(c.R));
        plte.push_back(static_cast<char>(c.G));
        plte.push_back(static_cast<char>(c.B));
    }
    std::string adler;
    PutBe32(adler,
            static_cast<uint32_t>(adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(scanlines.data()),
                                          static_cast<uInt>(scanlines.size()))));
    std::string png = PngFileHead(width, height, static_cast<uint8_t>(depth), PNG_COLOUR_PALETTE);
    png.reserve(png.size() + 12 + plte.size() + 12 + 2 + static_cast<size_t>(packedSize) + 4 + 12);
    PngPutChunk(png, "PLTE", {plte});
    PngPutChunk(png, "IDAT", {std::string_view("\x78\x01", 2), std::string_view(buffer.get(), packedSize), adler});
    PngPutChunk(png, "IEND", {});
    return png;
}

std::string BmpFileImage(int32_t width, int32_t height, const std::vector<uint8_t>& bits)
{
    const uint32_t imageSize = static_cast<uint32_t>(bits.size());
    std::string out = "BM";
    PutLe32(out, imageSize + 54);
    PutLe32(out, 0);
    PutLe32(out, 54);
    PutLe32(out, 40);
    PutLe32(out, static_cast<uint32_t>(width));
    PutLe32(out, static_cast<uint32_t>(height));
    PutLe16(out, 1);
    PutLe16(out, 32);
    PutLe32(out, 0); // uncompressed
    PutLe32(out, imageSize);
    PutLe32(out, 0);
    PutLe32(out, 0);
    PutLe32(out, 0);
    PutLe32(out, 0);
    out.append(reinterpret_cast<const char*>(bits.data()), bits.size());
    return out;
}

bool WriteWholeFile(const std::u16string& fileName, const std::string& bytes)
{
    const std::string path = WideToUtf8(fileName);
    if (path.empty() || bytes.empty())
        return false;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    // Only a plain file is ours to write and to delete again.
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    const bool ok = close(fd) == 0 && done == bytes.size();
    if (!ok)
        unlink(path.c_str());
    return ok;
}

// ---------------------------------------------------------------------------

TINVBitmap::TINVBitmap(int32_t width, int32_t height)
    : Width(std::max(width, 0)), Height(std::max(height, 0)),
      Bits(static_cast<size_t>(Width) * static_cast<size_t>(Height) * 4, 0)
{
}

TINVBitmap::TINVBitmap(int32_t width, int32_t height, std::vector<uint8_t> pixels)
    : Width(std::max(width, 0)), Height(std::max(height, 0)), Bits(std::move(pixels))
{
    Bits.resize(static_cast<size_t>(Width) * static_cast<size_t>(Height) * 4, 0);
}

uint8_t* TINVBitmap::Row(int32_t y)
{
    return Bits.data() + static_cast<size_t>(Height - 1 - y) * static_cast<size_t>(Width) * 4;
}

uint32_t TINVBitmap::PixelAt(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= Width || y >= Height)
        return 0;
    const uint8_t* p = Bits.data() + (static_cast<size_t>(Height - 1 - y) * Width + x) * 4;
    return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

void TINVBitmap::SetPixel(int32_t x, int32_t y, uint32_t rgb)
{
    if (x < 0 || y < 0 || x >= Width || y >= Height)
        return;
    uint8_t* p = Row(y) + static_cast<size_t>(x) * 4;
    p[0] = static_cast<uint8_t>(rgb);
    p[1] = static_cast<uint8_t>(rgb >> 8);
    p[2] = static_cast<uint8_t>(rgb >> 16);
    p[3] = 0;
}

std::string TINVBitmap::BmpImage() const
{
    return BmpFileImage(Width, Height, Bits);
}

std::string TINVBitmap::PngImage(int32_t mode) const
{
    if (Width <= 0 || Height <= 0)
        return {};
    std::string colour;
    if (mode != 1)
        colour = ColourPng(Width, Height, Bits);
    // The grey image reads the pixels without changing them, so the
    // screenshot keeps its colours for later uses (a second send, a preview).
    const int32_t limit = PngModeLimit(mode);
    const bool wantGrey =
        mode == 1 || (colour.empty() && mode != 0) || (limit > 0 && colour.size() > static_cast<size_t>(limit));
    if (!wantGrey)
        return colour;
    std::string grey = GreyPng(Width, Height, Bits);
    if (colour.empty() || (!grey.empty() && grey.size() < colour.size()))
        return grey;
    return colour;
}

bool TINVBitmap::WriteBmpFile(const std::u16string& fileName) const
{
    if (Width <= 0 || Height <= 0)
        return false;
    return WriteWholeFile(fileName, BmpImage());
}

bool TINVBitmap::WritePngFile(const std::u16string& fileName, int32_t mode) const
{
    const std::string png = PngImage(mode);
    return !png.empty() && WriteWholeFile(fileName, png);
}

std::shared_ptr<INVBitmap> TINVBitmap::ScaledCopy(int32_t w, int32_t h) const
{
    const int64_t W = Width, H = Height;
    if (W <= 0 || H <= 0 || w <= 0 || h <= 0)
        return nullptr;
    int64_t width = w, height = h;
    const int64_t candidateWidth = h * W / H;
    const int64_t candidateHeight = w * H / W;
    if (h < candidateHeight || w < candidateWidth) {
        if (H * 65536 / h < W * 65536 / w)
            height = candidateHeight;
        else
            width = candidateWidth;
    }
    if (width <= 0 || height <= 0)
        return nullptr;
    auto target = std::make_shared<TINVBitmap>(static_cast<int32_t>(width), static_cast<int32_t>(height));
    const auto across = Contributions(static_cast<int32_t>(width), Width);
    const auto down = Contributions(static_cast<int32_t>(height), Height);
    // Rows are read top-down through this index.
    auto sourceRow = [&](int32_t y) {
        return Bits.data() + static_cast<size_t>(Height - 1 - y) * static_cast<size_t>(Width) * 4;
    };
    std::vector<uint8_t> column(static_cast<size_t>(Height) * 3);
    for (int32_t x = 0; x < width; ++x) {
        for (int32_t y = 0; y < Height; ++y) {
            const uint8_t* row = sourceRow(y);
            int64_t sum[3] = {0, 0, 0};
            for (const TContribution& c : across[x]) {
                const uint8_t* p = row + static_cast<size_t>(c.Source) * 4;
                sum[0] += int64_t{p[0]} * c.Weight;
                sum[1] += int64_t{p[1]} * c.Weight;
                sum[2] += int64_t{p[2]} * c.Weight;
            }
            for (int k = 0; k < 3; ++k)
                column[static_cast<size_t>(y) * 3 + k] = ClampFixed(sum[k]);
        }
        for (int32_t y = 0; y < height; ++y) {
            int64_t sum[3] = {0, 0, 0};
            for (const TContribution& c : down[y]) {
                const uint8_t* p = column.data() + static_cast<size_t>(c.Source) * 3;
                sum[0] += int64_t{p[0]} * c.Weight;
                sum[1] += int64_t{p[1]} * c.Weight;
                sum[2] += int64_t{p[2]} * c.Weight;
            }
            uint8_t* out = target->Row(y) + static_cast<size_t>(x) * 4;
            for (int k = 0; k < 3; ++k)
                out[k] = ClampFixed(sum[k]);
            out[3] = 0;
        }
    }
    return target;
}

// ---------------------------------------------------------------------------

std::shared_ptr<INVBitmap> LoadBitmapFile(const std::u16string& fileName)
{
    std::ifstream in(WideToUtf8(fileName), std::ios::binary);
    if (!in)
        return nullptr;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u8 = [&](size_t at) { return at < data.size() ? static_cast<uint8_t>(data[at]) : uint8_t{0}; };
    auto le16 = [&](size_t at) { return static_cast<uint32_t>(u8(at) | (u8(at + 1) << 8)); };
    auto le32 = [&](size_t at) { return le16(at) | (le16(at + 2) << 16); };
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M')
        return nullptr;
    const uint32_t offset = le32(10), headerSize = le32(14);
    const int32_t width = static_cast<int32_t>(le32(18));
    const int32_t rawHeight = static_cast<int32_t>(le32(22));
    const uint32_t bpp = le16(28), compression = le32(30);
    if (headerSize < 40 || width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || compression != 0)
        return nullptr;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
        return nullptr;
    const int32_t height = std::abs(rawHeight);
    if (static_cast<int64_t>(width) * height > (int64_t{1} << 26))
        return nullptr;
    const uint64_t stride = ((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4;
    if (offset > data.size() || stride * static_cast<uint64_t>(height) > data.size() - offset)
        return nullptr;
    uint32_t colours = le32(46);
    if (bpp <= 8 && (colours == 0 || colours > (1u << bpp)))
        colours = 1u << bpp;
    const size_t paletteAt = 14 + headerSize;
    auto bitmap = std::make_shared<TINVBitmap>(width, height);
    for (int32_t row = 0; row < height; ++row) {
        const int32_t y = rawHeight > 0 ? height - 1 - row : row; // stored rows run bottom-up unless negative
        const size_t line = offset + static_cast<size_t>(stride) * static_cast<size_t>(row);
        for (int32_t x = 0; x < width; ++x) {
            uint32_t rgb = 0;
            if (bpp == 32 || bpp == 24) {
                const size_t p = line + static_cast<size_t>(x) * (bpp / 8);
                rgb = (uint32_t{u8(p + 2)} << 16) | (uint32_t{u8(p + 1)} << 8) | u8(p);
            } else {
                const size_t bit = static_cast<size_t>(x) * bpp;
                const uint32_t byte = u8(line + bit / 8);
                const uint32_t index = (byte >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                if (index < colours) {
                    const size_t e = paletteAt + index * 4;
                    rgb = (uint32_t{u8(e + 2)} << 16) | (uint32_t{u8(e + 1)} << 8) | u8(e);
                }
            }
            bitmap->SetPixel(x, y, rgb);
        }
    }
    return bitmap;
}

// Writes a TGA texture for the sample installation or a test fixture:
//   tga_write OUT.tga WIDTH HEIGHT [--depth 32|24|16|8] [--bottom-up] PATTERN ARGS...
// PATTERN is one of the pictures of TextureFiles::DrawPattern. Depth 16 packs
// R5G6B5, depth 8 writes a grey image (type 3) of the green channel.
// Exit 2 for bad arguments (with the reason), 1 when the file can't be written.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/TextureFiles.h"
#include "tools/ToolArgs.h"

namespace {

constexpr const char* Tool = "tga_write";

int Usage()
{
    std::fprintf(stderr, "usage: tga_write OUT.tga WIDTH HEIGHT [--depth 32|24|16|8] [--bottom-up] PATTERN ARGS...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    uint64_t depth = 32;
    bool bottomUp = false;
    for (size_t i = 0; i < args.size();) {
        if (args[i] == "--depth") {
            if (i + 1 >= args.size())
                return Usage();
            if (!ToolArgs::ParseUnsigned(args[i + 1], 32, depth) ||
                (depth != 32 && depth != 24 && depth != 16 && depth != 8)) {
                std::fprintf(stderr, "tga_write: depth must be 32, 24, 16 or 8, not \"%s\"\n", args[i + 1].c_str());
                return 2;
            }
            args.erase(args.begin() + i, args.begin() + i + 2);
        } else if (args[i] == "--bottom-up") {
            bottomUp = true;
            args.erase(args.begin() + i);
        } else {
            i++;
        }
    }
    if (args.size() < 4)
        return Usage();
    uint32_t w = 0, h = 0;
    if (!TextureFiles::ParseImageSize(Tool, args[1], args[2], 65535, w, h))
        return 2;
    const std::vector<uint8_t> bgra =
        TextureFiles::DrawPattern(args[3], w, h, std::vector<std::string>(args.begin() + 4, args.end()));
    if (bgra.empty()) {
        std::fprintf(stderr, "tga_write: unknown pattern, or missing or bad arguments for \"%s\"\n", args[3].c_str());
        return 2;
    }
    TextureFiles::TTgaImage image;
    image.ImageType = depth == 8 ? 3 : 2;
    image.Width = static_cast<uint16_t>(w);
    image.Height = static_cast<uint16_t>(h);
    image.Depth = static_cast<uint8_t>(depth);
    image.Descriptor = bottomUp ? 0x00 : 0x20;
    image.Pixels.reserve(static_cast<size_t>(w) * h * (depth / 8));
    for (uint32_t row = 0; row < h; row++) {
        const uint32_t y = bottomUp ? h - 1 - row : row;
        for (uint32_t x = 0; x < w; x++) {
            const uint8_t* p = &bgra[(static_cast<size_t>(y) * w + x) * 4];
            if (depth == 32)
                image.Pixels.insert(image.Pixels.end(), p, p + 4);
            else if (depth == 24)
                image.Pixels.insert(image.Pixels.end(), p, p + 3);
            else if (depth == 16)
                TextureFiles::PutWord(image.Pixels, TextureFiles::To565(p));
            else
                image.Pixels.push_back(p[1]);
        }
    }
    const std::vector<uint8_t> file = TextureFiles::MakeTGA(image);
    return ToolArgs::WriteOutput(Tool, args[0], file.data(), file.size()) ? 0 : 1;
}

// Writes a TGA texture for the sample installation or a test fixture:
//   tga_write OUT.tga WIDTH HEIGHT [--depth 32|24|16|8] [--bottom-up] PATTERN ARGS...
// PATTERN is one of the pictures of TextureFiles::DrawPattern. Depth 16 packs
// R5G6B5, depth 8 writes a grey image (type 3) of the green channel.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/os/OS.h"
#include "tools/TextureFiles.h"

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    int depth = 32;
    bool bottomUp = false;
    for (size_t i = 0; i < args.size();) {
        if (args[i] == "--depth" && i + 1 < args.size()) {
            depth = std::stoi(args[i + 1]);
            args.erase(args.begin() + i, args.begin() + i + 2);
        } else if (args[i] == "--bottom-up") {
            bottomUp = true;
            args.erase(args.begin() + i);
        } else {
            i++;
        }
    }
    if (args.size() < 4 || (depth != 32 && depth != 24 && depth != 16 && depth != 8)) {
        std::fprintf(stderr,
                     "usage: tga_write OUT.tga WIDTH HEIGHT [--depth 32|24|16|8] [--bottom-up] PATTERN ARGS...\n");
        return 2;
    }
    const uint32_t width = static_cast<uint32_t>(std::stoul(args[1]));
    const uint32_t height = static_cast<uint32_t>(std::stoul(args[2]));
    if (width == 0 || height == 0 || width > 65535 || height > 65535) {
        std::fprintf(stderr, "tga_write: size must be 1..65535\n");
        return 2;
    }
    const std::vector<uint8_t> bgra =
        TextureFiles::DrawPattern(args[3], width, height, std::vector<std::string>(args.begin() + 4, args.end()));
    if (bgra.empty()) {
        std::fprintf(stderr, "tga_write: unknown pattern or missing arguments\n");
        return 2;
    }
    TextureFiles::TTgaImage image;
    image.ImageType = depth == 8 ? 3 : 2;
    image.Width = static_cast<uint16_t>(width);
    image.Height = static_cast<uint16_t>(height);
    image.Depth = static_cast<uint8_t>(depth);
    image.Descriptor = bottomUp ? 0x00 : 0x20;
    for (uint32_t row = 0; row < height; row++) {
        const uint32_t y = bottomUp ? height - 1 - row : row;
        for (uint32_t x = 0; x < width; x++) {
            const uint8_t* p = &bgra[(static_cast<size_t>(y) * width + x) * 4];
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
    if (!OS_WriteFileAtomic(OS_ToProgramPath(args[0]), file.data(), file.size())) {
        std::fprintf(stderr, "tga_write: cannot write %s\n", args[0].c_str());
        return 1;
    }
    return 0;
}

// Writes a DXT-compressed DDS texture for the sample installation or a test
// fixture:
//   dds_write OUT.dds WIDTH HEIGHT [--dxt5] [--mips] PATTERN ARGS...
// PATTERN is one of the pictures of TextureFiles::DrawPattern. --mips adds
// the whole mipmap chain (each level the 2x2 average of the one above).
// Exit 2 for bad arguments (with the reason), 1 when the file can't be written.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/d3d9/D3D9.h"
#include "tools/TextureFiles.h"
#include "tools/ToolArgs.h"

namespace {

constexpr const char* Tool = "dds_write";

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    bool dxt5 = false, mips = false;
    for (size_t i = 0; i < args.size();) {
        if (args[i] == "--dxt5") {
            dxt5 = true;
            args.erase(args.begin() + i);
        } else if (args[i] == "--mips") {
            mips = true;
            args.erase(args.begin() + i);
        } else {
            i++;
        }
    }
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: dds_write OUT.dds WIDTH HEIGHT [--dxt5] [--mips] PATTERN ARGS...\n");
        return 2;
    }
    uint32_t fullWidth = 0, fullHeight = 0;
    if (!TextureFiles::ParseImageSize(Tool, args[1], args[2], 16384, fullWidth, fullHeight))
        return 2;
    std::vector<uint8_t> bgra = TextureFiles::DrawPattern(args[3], fullWidth, fullHeight,
                                                          std::vector<std::string>(args.begin() + 4, args.end()));
    if (bgra.empty()) {
        std::fprintf(stderr, "dds_write: unknown pattern, or missing or bad arguments for \"%s\"\n", args[3].c_str());
        return 2;
    }
    uint32_t levels = 0;
    const std::vector<uint8_t> body =
        TextureFiles::EncodeDXTLevels(std::move(bgra), fullWidth, fullHeight, dxt5, mips, levels);
    const std::vector<uint8_t> file =
        TextureFiles::MakeDDS(dxt5 ? D3DFMT_DXT5 : D3DFMT_DXT1, fullWidth, fullHeight, levels, body);
    return ToolArgs::WriteOutput(Tool, args[0], file.data(), file.size()) ? 0 : 1;
}

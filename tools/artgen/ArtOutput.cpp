#include "tools/artgen/ArtOutput.h"

#include "platform/os/OS.h"

namespace {

std::string ParentOf(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

uint32_t ReadDWord(const std::vector<uint8_t>& bytes, size_t at)
{
    return at + 4 > bytes.size() ? 0
                                 : bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                       static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint32_t FourCC(const char* text)
{
    return static_cast<uint8_t>(text[0]) | static_cast<uint8_t>(text[1]) << 8 | static_cast<uint8_t>(text[2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

} // namespace

TArtOutput::TArtOutput(std::string root) : RootFolder(std::move(root)) {}

void TArtOutput::Write(const std::string& relative, const std::vector<uint8_t>& bytes)
{
    std::string path = RootFolder + "\\" + relative;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    const std::string folder = ParentOf(path);
    if (!folder.empty() && !OS_CreateDirectoryTree(folder))
        throw TArtError("cannot make the folder " + folder);
    if (!OS_WriteFileAtomic(path, bytes.data(), bytes.size()))
        throw TArtError("cannot write " + path);
    Files.push_back(relative);
}

void TArtOutput::WriteMeshFile(const std::string& relative, const std::vector<TMeshFileRecord>& records)
{
    for (const TMeshFileRecord& r : records)
        if (r.VertexCount > 65535)
            throw TArtError(relative + ": the mesh \"" + r.Name + "\" has " + std::to_string(r.VertexCount) +
                            " vertices; a mesh holds at most 65,535");
    Write(relative, MeshFiles::MakeMeshFile(records));
}

void TArtOutput::WriteDDS(const std::string& relative, const std::vector<uint8_t>& dds)
{
    // The pixel format's four-character code sits at byte 84 of the file.
    const uint32_t code = ReadDWord(dds, 84);
    if (ReadDWord(dds, 0) != FourCC("DDS ") ||
        (code != FourCC("DXT1") && code != FourCC("DXT3") && code != FourCC("DXT5")))
        throw TArtError(relative + ": a DDS texture must be DXT1, DXT3 or DXT5");
    Write(relative, dds);
}

// qxpack: packs and unpacks "QXpf" files and looks into "GBDF" containers,
// for people building data and for tests.
//
//   qxpack pack <in> <out> [level 1..9] [block KB]   any file to a QXpf file
//   qxpack unpack <in> <out>                          a QXpf (or raw) file to raw bytes
//   qxpack list <container>                           entries of a GBDF file with their sizes
//   qxpack dump <container> <entry> [out]             an entry's bytes (to stdout without out)
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/QX9_System_DatFile.h"
#include "engine/QX9_System_ZipFile.h"
#include "tools/ToolArgs.h"

namespace {

constexpr const char* Tool = "qxpack";

// A failed write through the pack file, with the reason when one is known.
int CantWrite(const std::string& path)
{
    if (errno != 0)
        std::fprintf(stderr, "qxpack: can't write %s: %s\n", path.c_str(), std::strerror(errno));
    else
        std::fprintf(stderr, "qxpack: can't write %s\n", path.c_str());
    return 1;
}

int Usage()
{
    std::fprintf(stderr, "usage:\n"
                         "  qxpack pack <in> <out> [level 1..9] [block KB]\n"
                         "  qxpack unpack <in> <out>\n"
                         "  qxpack list <container>\n"
                         "  qxpack dump <container> <entry> [out]\n");
    return 2;
}

// Opens a file that must exist (Open would take a missing one as new).
bool OpenExisting(TZipFile& zip, const std::string& path)
{
    zip.Open(path, 0);
    if (!zip.NewFile)
        return true;
    std::fprintf(stderr, "qxpack: can't read %s\n", path.c_str());
    zip.Close(0);
    return false;
}

bool OpenContainer(TDatFile& dat, const std::string& path)
{
    if (dat.Open(path))
        return true;
    std::fprintf(stderr, "qxpack: %s is not a readable GBDF file\n", path.c_str());
    return false;
}

int Pack(const std::vector<std::string>& args)
{
    uint64_t level = 9;
    uint64_t blockKB = 0;
    if (args.size() < 4 || args.size() > 6)
        return Usage();
    if ((args.size() >= 5 && !ToolArgs::ParseArgument(Tool, "the level", args[4], 1, 9, level)) ||
        (args.size() == 6 && !ToolArgs::ParseArgument(Tool, "the block size in KB", args[5], 0, 0xFFFF, blockKB)))
        return 2;
    TZipFile zip;
    if (!OpenExisting(zip, args[2]))
        return 1;
    if (zip.Damaged)
        std::fprintf(stderr, "qxpack: %s is damaged; packing what could be read\n", args[2].c_str());
    zip.BlockSizeKB = static_cast<uint32_t>(blockKB);
    const uint32_t size = zip.Size;
    errno = 0;
    if (!zip.Close(static_cast<uint8_t>(0x40 | level), args[3]))
        return CantWrite(args[3]);
    errno = 0;
    std::printf("%u bytes packed at level %u, block %u KB\n", size, static_cast<unsigned>(level),
                static_cast<unsigned>(blockKB));
    return ToolArgs::FinishStdout(Tool) ? 0 : 1;
}

int Unpack(const std::vector<std::string>& args)
{
    if (args.size() != 4)
        return Usage();
    TZipFile zip;
    if (!OpenExisting(zip, args[2]))
        return 1;
    const bool damaged = zip.Damaged;
    const bool packed = zip.Packed;
    const uint32_t size = zip.Size;
    errno = 0;
    if (!zip.Close(16, args[3]))
        return CantWrite(args[3]);
    errno = 0;
    std::printf("%u bytes%s\n", size, packed ? "" : " (the file was not packed)");
    if (!ToolArgs::FinishStdout(Tool))
        return 1;
    if (damaged) {
        std::fprintf(stderr, "qxpack: %s is damaged; wrote what could be unpacked\n", args[2].c_str());
        return 1;
    }
    return 0;
}

int List(const std::vector<std::string>& args)
{
    if (args.size() != 3)
        return Usage();
    TDatFile dat;
    if (!OpenContainer(dat, args[2]))
        return 1;
    errno = 0;
    std::printf("level %u, block %u KB, %u entries\n", unsigned{dat.Header.Level}, unsigned{dat.Header.BlockKB},
                unsigned{dat.Header.EntryCount});
    std::printf("%-40s %12s %12s %16s %12s\n", "entry", "element", "count", "bytes", "stored");
    for (const TDatEntry& entry : dat.Entries) {
        const uint32_t elementSize = entry.ElementSize;
        const uint32_t elementCount = entry.ElementCount;
        std::printf("%-40s %12u %12u %16llu %12u\n", DatEntryName(entry).c_str(), elementSize, elementCount,
                    static_cast<unsigned long long>(uint64_t{elementSize} * elementCount),
                    static_cast<uint32_t>(entry.StoredSize));
    }
    dat.Save(0);
    return ToolArgs::FinishStdout(Tool) ? 0 : 1;
}

int Dump(const std::vector<std::string>& args)
{
    if (args.size() != 4 && args.size() != 5)
        return Usage();
    TDatFile dat;
    if (!OpenContainer(dat, args[2]))
        return 1;
    if (!dat.SelectEntry(args[3])) {
        std::fprintf(stderr, "qxpack: no entry %s\n", args[3].c_str());
        return 1;
    }
    const bool whole = dat.LoadEntry();
    const TByteBuffer& bytes = dat.EntryData[dat.Current].Bytes;
    bool written;
    if (args.size() == 5) {
        written = ToolArgs::WriteOutput(Tool, args[4], bytes.data(), bytes.size());
    } else {
        errno = 0;
        if (!bytes.empty())
            std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        written = ToolArgs::FinishStdout(Tool);
    }
    dat.Save(0);
    if (!written)
        return 1;
    if (!whole) {
        std::fprintf(stderr, "qxpack: entry %s is damaged; wrote the %zu bytes that could be read\n", args[3].c_str(),
                     bytes.size());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv, argv + argc);
    if (args.size() < 2)
        return Usage();
    const std::string& command = args[1];
    if (command == "pack")
        return Pack(args);
    if (command == "unpack")
        return Unpack(args);
    if (command == "list")
        return List(args);
    if (command == "dump")
        return Dump(args);
    return Usage();
}

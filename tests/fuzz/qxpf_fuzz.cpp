// Any bytes as a pack file: open (raw or "QXpf"), read it as lines and as
// bytes, write into it, and for an intact file check that a packed rewrite
// opens to the same content.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/QX9_System_ZipFile.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzFiles files("qxpf-fuzz", ".bin");
    if (!FuzzWriteFile(files.Input, data, size))
        return 0;

    TZipFile zip;
    zip.Init();
    zip.Open(files.Input, 16);
    if (zip.Data.size() != zip.Capacity || zip.Size > zip.Capacity)
        __builtin_trap();
    if (!zip.Packed && !zip.NewFile && zip.Size != size)
        __builtin_trap();

    std::string line;
    while (!zip.Eof())
        zip.ReadLine(line);
    uint8_t bytes[64];
    zip.Position = 0;
    const uint32_t got = zip.Read(bytes, sizeof bytes, size % 7);
    if (got > sizeof bytes || zip.Position > zip.Size)
        __builtin_trap();

    // The round trip writes a file (flushed to disk): one input in 32
    // keeps the run short.
    const bool intact = !zip.Damaged && zip.Size <= 65536 && size % 32 == 3;
    const std::string content(reinterpret_cast<const char*>(zip.Memory()), zip.Size);
    if (!intact) {
        zip.Write("x", 1, zip.Size);
        zip.Close(0);
        return 0;
    }
    zip.BlockSizeKB = size % 3;
    if (!zip.Close(0x41, files.Output))
        return 0;
    TZipFile again;
    again.Open(files.Output, 0);
    if (!again.Packed || again.Damaged ||
        std::string(reinterpret_cast<const char*>(again.Memory()), again.Size) != content)
        __builtin_trap();
    again.Close(0);
    return 0;
}

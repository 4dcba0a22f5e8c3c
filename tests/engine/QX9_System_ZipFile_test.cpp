// TZipFile: the QXpf block layout (checked against the system bzip2 program),
// raw and packed opening, the memory-stream reads and writes, the close modes,
// failures reported by Close, and damaged files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/QX9_System_ZipFile.h"
#include "tests/support/ByteStrings.h"
#include "tests/support/TestSupport.h"

namespace {

std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; i++)
        s[i] = static_cast<char>((i * 7 + i / 13) & 0xFF);
    return s;
}

std::string PackHeader(uint16_t blockKB, uint8_t level, uint32_t unpacked, uint8_t reserved = 0)
{
    return std::string("QXpf") + U16(blockKB) + std::string(1, char(level)) + std::string(1, char(reserved)) +
           U32(unpacked);
}

std::string Block(const std::string& stream)
{
    return U32(static_cast<uint32_t>(stream.size())) + stream;
}

int BlocksWritten = 0;
void CountBlock()
{
    BlocksWritten++;
}

// Writes content through a new TZipFile and closes it with the mode.
bool WritePacked(const std::string& path, const std::string& content, uint32_t blockKB, uint8_t mode)
{
    TZipFile zip;
    zip.Init();
    zip.Open(path, 0);
    zip.BlockSizeKB = blockKB;
    zip.OnBlockWritten = &CountBlock;
    zip.Write(content.data(), static_cast<uint32_t>(content.size()));
    return zip.Close(mode);
}

} // namespace

TEST(ZipFileTest, PackedBlockLayoutsDecompressWithSystemBzip2)
{
    ASSERT_EQ(std::system("command -v bzip2 > /dev/null"), 0) << "the bzip2 program is needed";
    struct Row {
        uint32_t size;
        uint32_t blockKB;
        std::vector<uint32_t> blocks;
    };
    const Row rows[] = {
        {3000, 1, {1024, 1024, 952}},
        {2048, 1, {1024, 1024, 0}}, // an exact multiple ends with an empty block
        {1024, 1, {1024}},
        {3000, 0, {3000}},
        {0, 0, {0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("size " + std::to_string(row.size) + ", block KB " + std::to_string(row.blockKB));
        TTempFolder folder;
        const std::string path = folder.Path() + "packed.bin";
        const std::string content = Pattern(row.size);
        BlocksWritten = 0;
        ASSERT_TRUE(WritePacked(path, content, row.blockKB, 57)); // 57: packed at level 1
        EXPECT_EQ(BlocksWritten, static_cast<int>(row.blocks.size()));

        const std::string file = folder.ReadFile("packed.bin");
        ASSERT_GE(file.size(), 12u);
        EXPECT_EQ(file.substr(0, 12), PackHeader(static_cast<uint16_t>(row.blockKB), 1, row.size));
        size_t offset = 12;
        std::string joined;
        for (size_t i = 0; i < row.blocks.size(); i++) {
            ASSERT_LE(offset + 4, file.size());
            uint32_t stored;
            std::memcpy(&stored, file.data() + offset, 4);
            ASSERT_LE(offset + 4 + stored, file.size());
            folder.WriteFile("block.bz2", file.substr(offset + 4, stored));
            const std::string command =
                "bzip2 -dc < '" + folder.Path() + "block.bz2' > '" + folder.Path() + "block.out'";
            ASSERT_EQ(std::system(command.c_str()), 0) << "block " << i;
            const std::string unpacked = folder.ReadFile("block.out");
            EXPECT_EQ(unpacked.size(), row.blocks[i]) << "block " << i;
            joined += unpacked;
            offset += 4 + stored;
        }
        EXPECT_EQ(offset, file.size());
        EXPECT_TRUE(joined == content);

        TZipFile zip;
        zip.Open(path, 0);
        EXPECT_TRUE(zip.Packed);
        EXPECT_FALSE(zip.Damaged);
        EXPECT_FALSE(zip.NewFile);
        EXPECT_EQ(zip.BlockSizeKB, row.blockKB);
        ASSERT_EQ(zip.Size, row.size);
        EXPECT_EQ(zip.Capacity, row.size);
        EXPECT_TRUE(std::string(reinterpret_cast<const char*>(zip.Memory()), zip.Size) == content);
        zip.Close(0);
    }
}

TEST(ZipFileTest, OpenTellsRawFromPacked)
{
    struct Row {
        const char* name;
        std::string bytes;
        bool packed;
        uint32_t size;
    };
    const std::string emptyPacked = PackHeader(0, 1, 0) + Block(Bz(""));
    std::string wrongSecond = emptyPacked;
    wrongSecond[1] = 'Y';
    const Row rows[] = {
        {"header with an empty stream", emptyPacked, true, 0},
        {"second magic byte differs", wrongSecond, false, static_cast<uint32_t>(wrongSecond.size())},
        {"shorter than a header", std::string("QXpf\x01\x00\x01", 7), false, 7},
        {"five raw bytes", "hello", false, 5},
        {"packed text", PackHeader(0, 9, 5) + Block(Bz("hello", 9)), true, 5},
    };
    TTempFolder folder;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = folder.WriteFile("f.bin", row.bytes);
        TZipFile zip;
        zip.Init();
        zip.Open(path, 100);
        EXPECT_EQ(zip.Packed, row.packed);
        EXPECT_FALSE(zip.Damaged);
        EXPECT_FALSE(zip.NewFile);
        EXPECT_EQ(zip.Size, row.size);
        EXPECT_EQ(zip.Capacity, row.size);
        EXPECT_EQ(zip.Position, 0u);
        zip.Close(0);
    }
}

TEST(ZipFileTest, MissingFileGivesEmptyBufferOfTheCapacity)
{
    TTempFolder folder;
    TZipFile zip;
    zip.Init();
    zip.Open(folder.Path() + "none.bin", 4096);
    EXPECT_TRUE(zip.NewFile);
    EXPECT_TRUE(zip.Damaged);
    EXPECT_EQ(zip.Size, 0u);
    EXPECT_EQ(zip.Capacity, 4096u);
    EXPECT_TRUE(zip.Eof());
    // Writing within the capacity does not grow it.
    ASSERT_TRUE(zip.Write("abc", 3));
    EXPECT_EQ(zip.Capacity, 4096u);
    EXPECT_EQ(zip.Size, 3u);
    EXPECT_TRUE(zip.Close(16));
    EXPECT_EQ(folder.ReadFile("none.bin"), "abc");
}

TEST(ZipFileTest, WriteGrowsInWholeKilobytesAndZeroFillsGaps)
{
    TTempFolder folder;
    const std::string path = folder.WriteFile("raw.bin", "12345");
    TZipFile zip;
    zip.Open(path, 0);
    ASSERT_FALSE(zip.Packed);
    ASSERT_EQ(zip.Capacity, 5u);
    ASSERT_TRUE(zip.Write("x", 1, 5));
    EXPECT_EQ(zip.Capacity, 1029u);
    EXPECT_EQ(zip.Size, 6u);
    EXPECT_EQ(zip.Position, 6u);
    EXPECT_TRUE(zip.Modified);

    // A write past the end leaves zeros in the gap.
    ASSERT_TRUE(zip.Write("yz", 2, 3000));
    EXPECT_EQ(zip.Capacity, 1029u + 2048u);
    EXPECT_EQ(zip.Size, 3002u);
    ASSERT_TRUE(zip.WriteString("end"));
    EXPECT_EQ(zip.Size, 3006u);
    EXPECT_TRUE(zip.Close(16));
    const std::string file = folder.ReadFile("raw.bin");
    EXPECT_EQ(file, "12345x" + std::string(3000 - 6, '\0') + "yzend" + std::string(1, '\0'));
}

TEST(ZipFileTest, ReadCopiesOnlyUpToSize)
{
    TTempFolder folder;
    TZipFile zip;
    zip.Open(folder.WriteFile("r.bin", "abcdef"), 0);

    char out[8];
    std::memset(out, '.', sizeof out);
    EXPECT_EQ(zip.Read(out, 4, 4), 2u); // only "ef" exists
    EXPECT_EQ(std::string(out, 8), "ef......");
    EXPECT_EQ(zip.Position, 6u);

    // At the end nothing is read, even from an earlier position.
    std::memset(out, '.', sizeof out);
    EXPECT_EQ(zip.Read(out, 2, 0), 0u);
    EXPECT_EQ(std::string(out, 2), "..");

    zip.Position = 1;
    EXPECT_EQ(zip.Read(out, 3), 3u);
    EXPECT_EQ(std::string(out, 3), "bcd");
    EXPECT_EQ(zip.Position, 4u);
    EXPECT_EQ(zip.Read(out, 3, 100), 0u); // a position past the end reads nothing
    EXPECT_EQ(zip.Position, 4u);
    zip.Close(0);
}

TEST(ZipFileTest, ReadLineEndsAtCrOrLfAndDropsControlBytes)
{
    struct Row {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"a\r\nb", {"a", "b"}},
        {"a\tb\n", {"ab"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"\x01z\x0d", {"z"}},
        // A CR alone ends a line and takes no byte of the next one.
        {"x\ry", {"x", "y"}},
        {"[A]\rk=1\rn=2\r", {"[A]", "k=1", "n=2"}},
        {"a\r\rb", {"a", "", "b"}},
        {"a\r\r\nb\n\rc", {"a", "", "b", "", "c"}},
    };
    TTempFolder folder;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bytes);
        TZipFile zip;
        zip.Open(folder.WriteFile("l.txt", row.bytes), 0);
        std::vector<std::string> lines;
        std::string line;
        while (!zip.Eof()) {
            zip.ReadLine(line);
            lines.push_back(line);
        }
        EXPECT_EQ(lines, row.lines);
        zip.Close(0);
    }
}

TEST(ZipFileTest, CloseModes)
{
    TTempFolder folder;
    const std::string content = Pattern(5000);
    const std::string packedPath = folder.Path() + "p.bin";
    ASSERT_TRUE(WritePacked(packedPath, content, 2, 0x45)); // level 5, 2 KB blocks
    const std::string packedBytes = folder.ReadFile("p.bin");
    ASSERT_EQ(packedBytes.substr(0, 12), PackHeader(2, 5, 5000));

    {
        // Keep mode without a write: nothing is written, the buffer is freed.
        TZipFile zip;
        zip.Open(packedPath, 0);
        EXPECT_TRUE(zip.Close(32));
        EXPECT_EQ(zip.Size, 0u);
        EXPECT_TRUE(zip.Data.empty());
        EXPECT_EQ(folder.ReadFile("p.bin"), packedBytes);
    }
    {
        // Keep mode after a write: packed again with the level and block size read.
        TZipFile zip;
        zip.Open(packedPath, 0);
        zip.Write("Z", 1, 0);
        EXPECT_TRUE(zip.Close(32));
        const std::string file = folder.ReadFile("p.bin");
        EXPECT_EQ(file.substr(0, 12), PackHeader(2, 5, 5000));
        TZipFile again;
        again.Open(packedPath, 0);
        EXPECT_FALSE(again.Damaged);
        EXPECT_TRUE(std::string(reinterpret_cast<const char*>(again.Memory()), again.Size) == "Z" + content.substr(1));
        again.Close(0);
    }
    {
        // Mode 16 writes the content raw, to a new name.
        TZipFile zip;
        zip.Open(packedPath, 0);
        EXPECT_TRUE(zip.Close(16, folder.Path() + "raw.bin"));
        EXPECT_EQ(zip.FileName, folder.Path() + "raw.bin");
        EXPECT_TRUE(folder.ReadFile("raw.bin") == "Z" + content.substr(1));
    }
    {
        // Keep mode on a raw file stays raw; mode 0 never writes.
        TZipFile zip;
        zip.Open(folder.Path() + "raw.bin", 0);
        zip.Write("Q", 1, 0);
        EXPECT_TRUE(zip.Close(0));
        zip.Open(folder.Path() + "raw.bin", 0);
        zip.Write("Q", 1, 0);
        EXPECT_TRUE(zip.Close(32));
        EXPECT_TRUE(folder.ReadFile("raw.bin") == "Q" + content.substr(1));
    }
    {
        // Packing a raw file: its first bytes were no header, so the reserved byte is 0.
        TZipFile zip;
        zip.Open(folder.Path() + "raw.bin", 0);
        EXPECT_TRUE(zip.Close(0x41, folder.Path() + "repacked.bin"));
        EXPECT_EQ(folder.ReadFile("repacked.bin").substr(0, 12), PackHeader(0, 1, 5000));
    }
}

TEST(ZipFileTest, KeepModeRewriteUsesAValidLevel)
{
    // A packed file whose stored level bzip2 can't use (0, or above 9) is
    // rewritten at bzip2's default level instead of failing to write.
    struct Row {
        uint8_t stored;
        uint8_t written;
    };
    const Row rows[] = {{0, 9}, {12, 9}, {0x13, 3}, {7, 7}};
    TTempFolder folder;
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.stored));
        const std::string path = folder.WriteFile("k.bin", PackHeader(0, row.stored, 5, 0xAB) + Block(Bz("hello")));
        TZipFile zip;
        zip.Open(path, 0);
        ASSERT_FALSE(zip.Damaged);
        zip.Write("J", 1, 0);
        ASSERT_TRUE(zip.Close(32));
        const std::string file = folder.ReadFile("k.bin");
        // The reserved byte is repeated as read.
        EXPECT_EQ(file.substr(0, 12), PackHeader(0, row.written, 5, 0xAB));
        zip.Open(path, 0);
        EXPECT_FALSE(zip.Damaged);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(zip.Memory()), zip.Size), "Jello");
        zip.Close(0);
    }
}

TEST(ZipFileTest, CloseReportsFailureAndKeepsTheOldFile)
{
    TTempFolder folder;
    std::string skipped;
    {
        TZipFile zip;
        zip.Open(folder.Path() + "missing-folder/x.bin", 0);
        zip.Write("abc", 3);
        EXPECT_FALSE(zip.Close(57));
        EXPECT_TRUE(zip.Data.empty());
    }
    {
        // A file we may not write stays as it was.
        const std::string path = folder.WriteFile("old.bin", "previous");
        ASSERT_EQ(chmod(path.c_str(), 0444), 0);
        skipped = RunWherePermissionsApply(
            [&] {
                TZipFile zip;
                zip.Open(path, 0);
                zip.Write("new", 3, 0);
                EXPECT_FALSE(zip.Close(16));
                EXPECT_EQ(folder.ReadFile("old.bin"), "previous");
            },
            {folder.Path()});
    }
    {
        TZipFile zip;
        zip.Open(folder.Path() + "nameless", 0);
        zip.FileName.clear();
        zip.Write("abc", 3);
        EXPECT_FALSE(zip.Close(16));
    }
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

TEST(ZipFileTest, DamagedPackedFilesAreReportedAndKeepWhatUnpacked)
{
    const std::string first = Pattern(1024);
    const std::string second = Pattern(2048).substr(1024);
    const std::string good =
        PackHeader(1, 1, 2500) + Block(Bz(first)) + Block(Bz(second)) + Block(Bz(Pattern(2500).substr(2048)));
    std::string badStream = good;
    badStream[12 + 4 + 20] ^= 0x55; // inside the first block's stream
    const std::string noise = PackHeader(0, 1, 100) + std::string("\x20\x00\x00\x00", 4) + std::string(32, '\x7f');

    const std::string expected = Pattern(2500);
    struct Row {
        const char* name;
        std::string bytes;
        std::string kept; // the content that must survive, at the start
        uint32_t sizeAtMost;
    };
    const Row rows[] = {
        {"truncated in the last block", good.substr(0, good.size() - 10), expected.substr(0, 2048), 2500},
        {"second block missing", good.substr(0, 12 + 4 + Bz(first).size()), first, 1024},
        {"stored length past the end", PackHeader(0, 1, 5) + U32(1000) + Bz("hello"), "", 0},
        {"block larger than declared", PackHeader(0, 1, 3) + Block(Bz("hello")), "hel", 3},
        {"block smaller than declared", PackHeader(0, 1, 50) + Block(Bz("hello")), "hello", 5},
        {"huge size, tiny stream", PackHeader(0, 1, 0xFFFFFFFFu) + Block(Bz("hello")), "hello", 5},
        {"huge size in 1 KB blocks", PackHeader(1, 1, 0xFFFFFFF0u) + Block(Bz(first)), first, 1024},
        {"random bytes after the header", noise, "", 100},
        {"damaged stream", badStream, "", 2500},
        {"header only", PackHeader(0, 1, 10), "", 0},
        {"cut inside a block length", PackHeader(0, 1, 10) + "\x05\x00", "", 0},
        {"exact multiple without its empty block", PackHeader(1, 1, 2048) + Block(Bz(first)) + Block(Bz(second)),
         expected.substr(0, 2048), 2048},
    };
    TTempFolder folder;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = folder.WriteFile("d.bin", row.bytes);
        TZipFile zip;
        zip.Open(path, 0);
        EXPECT_TRUE(zip.Packed);
        EXPECT_TRUE(zip.Damaged);
        EXPECT_FALSE(zip.NewFile);
        EXPECT_LE(zip.Size, row.sizeAtMost);
        EXPECT_EQ(zip.Capacity, zip.Size);
        ASSERT_GE(zip.Size, row.kept.size());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(zip.Memory()), row.kept.size()), row.kept);
        // Whatever was kept reads back and closes cleanly.
        std::string line;
        while (!zip.Eof())
            zip.ReadLine(line);
        zip.Close(0);
    }
}

TEST(ZipFileTest, CloseModeNibbles)
{
    struct Row {
        uint8_t mode;
        bool write;
        bool onlyWhenModified;
        int32_t level;
    };
    const Row rows[] = {
        {0, false, false, 0},   // the script reader: nothing is written
        {16, true, false, 0},   // the battle snapshot: raw
        {0x15, true, false, 0}, // high nibble 1 is raw whatever the low one says
        {32, true, true, 10},   // keep the form read, only when modified
        {57, true, false, 1},   // the telemetry log: level 1
        {0x30, true, false, 1}, {0x45, true, false, 5},
        {0x49, true, false, 9}, {0x4A, true, false, 10}, // level 10 without the modified test
        {0x4B, true, false, 0},                          // a low nibble above 10 is raw
        {0xF3, true, false, 3}, {0x0F, false, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.mode));
        const TPackMode mode = DecodePackMode(row.mode);
        EXPECT_EQ(mode.Write, row.write);
        EXPECT_EQ(mode.OnlyWhenModified, row.onlyWhenModified);
        if (row.write) {
            EXPECT_EQ(mode.Level, row.level);
        }
    }
}

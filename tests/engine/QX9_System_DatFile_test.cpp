// TDatFile: the GBDF layout byte for byte, cursor semantics of the readers,
// refusals of bad headers, chunking at every level, damaged files, and Save's
// failure reporting.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/QX9_System_DatFile.h"
#include "tests/support/ByteStrings.h"
#include "tests/support/TestSupport.h"

namespace {

std::string DirEntry(const std::string& name, uint32_t offset, uint32_t stored, uint32_t elementSize,
                     uint32_t elementCount, uint32_t cursor)
{
    std::string e(65, '\0');
    e[0] = static_cast<char>(name.size());
    e.replace(1, name.size(), name);
    return e + U32(offset) + U32(stored) + U32(elementSize) + U32(elementCount) + U32(cursor);
}

std::string Pattern(size_t size)
{
    std::string s(size, '\0');
    for (size_t i = 0; i < size; i++)
        s[i] = static_cast<char>((i * 11 + i / 7) & 0xFF);
    return s;
}

void Put32(std::string& bytes, size_t at, uint32_t value)
{
    std::memcpy(bytes.data() + at, &value, 4);
}

int ChunksWritten = 0;
void CountChunk()
{
    ChunksWritten++;
}

// A container with entries "A" (3 x 8 bytes) and "Text" (two lines), saved
// with the mode.
std::string MakeContainer(const TTempFolder& folder, const std::string& name, uint8_t mode, uint32_t blockKB = 0)
{
    const std::string a = Pattern(24);
    TDatFile dat;
    dat.Init();
    dat.BlockSizeKB = blockKB;
    dat.WriteRecords("A", a.data(), 3, 8);
    dat.WriteLine("Text", "first");
    dat.WriteLine("Text", "second");
    EXPECT_TRUE(dat.Save(mode, folder.Path() + name));
    return folder.ReadFile(name);
}

} // namespace

TEST(DatFileTest, LayoutByteForByte)
{
    TTempFolder folder;
    const std::string a = Pattern(24);
    TDatFile dat;
    dat.Init();
    dat.OnBlockWritten = &CountChunk;
    ChunksWritten = 0;
    ASSERT_TRUE(dat.WriteRecords("A", a.data(), 3, 8));
    ASSERT_TRUE(dat.WriteRecords("B", nullptr, 0, 8));
    ASSERT_TRUE(dat.Save(48, folder.Path() + "c.dat"));
    EXPECT_EQ(ChunksWritten, 2);

    const std::string streamA = Bz(a);
    const std::string streamB = Bz("");
    const uint32_t offsetB = 185 + 4 + static_cast<uint32_t>(streamA.size());
    const std::string expected = std::string("GBDF") + std::string("\0\0", 2) + "\x01" + U32(15) + U32(2) +
                                 DirEntry("A", 185, 4 + streamA.size(), 8, 3, 24) +
                                 DirEntry("B", offsetB, 4 + streamB.size(), 8, 0, 0) + U32(streamA.size()) + streamA +
                                 U32(streamB.size()) + streamB;
    const std::string file = folder.ReadFile("c.dat");
    EXPECT_EQ(file, expected);

    TDatFile back;
    ASSERT_TRUE(back.Open(folder.Path() + "c.dat"));
    ASSERT_EQ(back.Entries.size(), 2u);
    EXPECT_EQ(uint32_t{back.Entries[0].Offset}, 185u);
    EXPECT_EQ(uint32_t{back.Entries[0].Cursor}, 0u); // reset when reading
    char out[32];
    std::memset(out, '.', sizeof out);
    EXPECT_EQ(back.ReadRecords("A", out, 0, 3), 24u);
    EXPECT_EQ(std::string(out, 24), a);
    std::memset(out, '.', sizeof out);
    EXPECT_EQ(back.ReadRecords("B", out, 0, 1), 0u);
    EXPECT_EQ(std::string(out, 8), "........");
    EXPECT_TRUE(back.EntryEOF());
    EXPECT_TRUE(back.Save(0));
}

TEST(DatFileTest, RecordCursor)
{
    TTempFolder folder;
    const int32_t values[5] = {10, 11, 12, 13, 14};
    {
        TDatFile dat;
        dat.WriteRecords("N", values, 3, 4);
        dat.WriteRecords("N", values + 3, 2, 4); // appends
        ASSERT_TRUE(dat.Save(48, folder.Path() + "n.dat"));
    }
    TDatFile dat;
    ASSERT_TRUE(dat.Open(folder.Path() + "n.dat"));
    int32_t out[4] = {-1, -1, -1, -1};
    EXPECT_EQ(dat.ReadRecords("N", out, 0, 2), 8u);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 11);
    EXPECT_EQ(dat.ReadRecords("N", out, 0, 2), 8u); // index 0 continues
    EXPECT_EQ(out[0], 12);
    EXPECT_EQ(out[1], 13);
    EXPECT_EQ(dat.ReadRecords("N", out, 2, 1), 4u); // index 2 is the third element
    EXPECT_EQ(out[0], 12);
    EXPECT_EQ(dat.ReadRecords("N", out, 0, 1), 4u); // and the next index-0 read follows it
    EXPECT_EQ(out[0], 13);
    EXPECT_FALSE(dat.EntryEOF());

    // Past the end only what exists is copied; the rest stays as it was.
    out[0] = out[1] = out[2] = -1;
    EXPECT_EQ(dat.ReadRecords("N", out, 0, 3), 4u);
    EXPECT_EQ(out[0], 14);
    EXPECT_EQ(out[1], -1);
    EXPECT_TRUE(dat.EntryEOF());
    EXPECT_EQ(dat.ReadRecords("N", out, 0, 1), 0u);
    EXPECT_EQ(dat.ReadRecords("N", out, 9, 1), 0u);
    EXPECT_EQ(dat.ReadRecords("N", out, -1, 1), 0u);

    EXPECT_EQ(dat.ReadRecords("Missing", out, 0, 1), 0u);
    EXPECT_EQ(dat.Current, -1);
    EXPECT_TRUE(dat.EntryEOF());
}

TEST(DatFileTest, TextEntries)
{
    TTempFolder folder;
    {
        TDatFile dat;
        dat.WriteLine("T", "abc");
        dat.WriteLine("T", "de");
        ASSERT_EQ(uint32_t{dat.Entries[0].ElementSize}, 9u);
        ASSERT_EQ(uint32_t{dat.Entries[0].ElementCount}, 1u);
        dat.WriteRecords("Raw", "a\nb\r\nc\rd", 8, 1);
        dat.WriteRecords("P", "one\0two", 7, 1);
        const std::string wide =
            U32(6) + std::string("h\0i\0!\0", 6) + U32(0xFFFFFFFFu) + U32(1000) + std::string("x\0y", 3);
        dat.WriteRecords("W", wide.data(), static_cast<int32_t>(wide.size()), 1);
        ASSERT_TRUE(dat.Save(16, folder.Path() + "t.dat"));
    }
    TDatFile dat;
    ASSERT_TRUE(dat.Open(folder.Path() + "t.dat"));
    std::string line;
    dat.ReadLine("T", line);
    EXPECT_EQ(line, "abc");
    EXPECT_FALSE(dat.EntryEOF());
    dat.ReadLine("T", line);
    EXPECT_EQ(line, "de");
    EXPECT_TRUE(dat.EntryEOF());
    dat.ReadLine("T", line);
    EXPECT_EQ(line, "");

    dat.ReadLine("Raw", line);
    EXPECT_EQ(line, "ab"); // an LF alone does not end a line
    dat.ReadLine("Raw", line);
    EXPECT_EQ(line, "c"); // a CR alone ends a line and takes no byte of the next
    dat.ReadLine("Raw", line);
    EXPECT_EQ(line, "d");

    dat.ReadPChar("P", line);
    EXPECT_EQ(line, "one");
    dat.ReadPChar("P", line);
    EXPECT_EQ(line, "two");
    EXPECT_TRUE(dat.EntryEOF());

    std::u16string wide;
    dat.ReadWide("W", wide);
    EXPECT_EQ(wide, u"hi!");
    dat.ReadWide("W", wide);
    EXPECT_EQ(wide, u""); // a length that is not positive
    dat.ReadWide("W", wide);
    EXPECT_EQ(wide, u"x"); // a length past the entry reads only what is there
    EXPECT_TRUE(dat.EntryEOF());

    dat.ReadLine("Missing", line);
    EXPECT_EQ(line, "");
}

TEST(DatFileTest, ChunkingAtEveryLevelReadsBack)
{
    struct Row {
        uint8_t mode;
        uint32_t blockKB;
        uint32_t size;
        uint32_t chunks;
    };
    const Row rows[] = {
        {16, 0, 3000, 1}, {16, 1, 2048, 3},   {16, 1, 3000, 3}, {48, 1, 2048, 3},
        {48, 1, 1024, 1}, {0x49, 2, 5000, 3}, {16, 0, 0, 1},    {48, 0, 0, 1},
    };
    TTempFolder folder;
    for (const Row& row : rows) {
        SCOPED_TRACE("mode " + std::to_string(row.mode) + ", block KB " + std::to_string(row.blockKB) + ", size " +
                     std::to_string(row.size));
        const std::string content = Pattern(row.size);
        {
            TDatFile dat;
            dat.BlockSizeKB = row.blockKB;
            dat.OnBlockWritten = &CountChunk;
            ChunksWritten = 0;
            dat.WriteRecords("Big", content.data(), static_cast<int32_t>(row.size), 1);
            dat.WriteRecords("After", "tail", 1, 4);
            ASSERT_TRUE(dat.Save(row.mode, folder.Path() + "l.dat"));
            EXPECT_EQ(ChunksWritten, static_cast<int>(row.chunks) + 1);
        }
        TDatFile dat;
        ASSERT_TRUE(dat.Open(folder.Path() + "l.dat"));
        EXPECT_EQ(uint32_t{dat.Header.BlockKB}, row.blockKB);
        EXPECT_EQ(dat.Header.Level, row.mode == 16 ? 0 : (row.mode == 48 ? 1 : 9));
        std::string out(row.size + 8, '.');
        EXPECT_EQ(dat.ReadRecords("Big", out.data(), 0, static_cast<int32_t>(row.size) + 8), row.size);
        EXPECT_TRUE(out.substr(0, row.size) == content);
        EXPECT_TRUE(dat.LoadEntry());
        char tail[4];
        EXPECT_EQ(dat.ReadRecords("After", tail, 0, 1), 4u);
        EXPECT_EQ(std::string(tail, 4), "tail");
    }
}

TEST(DatFileTest, NamesAreCutTo64Characters)
{
    const std::string longName(70, 'n');
    TDatFile dat;
    dat.WriteRecords(longName, "abcd", 1, 4);
    dat.WriteRecords(longName, "efgh", 1, 4); // the same (cut) entry
    ASSERT_EQ(dat.Entries.size(), 1u);
    EXPECT_EQ(DatEntryName(dat.Entries[0]), longName.substr(0, 64));
    EXPECT_EQ(uint32_t{dat.Entries[0].ElementCount}, 2u);
    EXPECT_FALSE(dat.SelectEntry(longName));
    EXPECT_TRUE(dat.SelectEntry(longName.substr(0, 64)));
}

TEST(DatFileTest, OpenRefusesBadHeaders)
{
    TTempFolder folder;
    const std::string good = MakeContainer(folder, "good.dat", 48);
    std::string hundred = std::string("GBDF") + std::string(3, '\0') + U32(15) + U32(0);
    std::string hundredOne = hundred;
    hundred.resize(100, '\0');
    hundredOne.resize(101, '\0');

    struct Row {
        const char* name;
        std::string bytes;
    };
    std::string headerOnly = std::string("GBDF") + std::string(3, '\0') + U32(15) + U32(1);
    std::string emptyPadded = std::string("GBDF") + std::string(3, '\0') + U32(15) + U32(0) + "x";
    std::vector<Row> rows = {{"exactly 100 bytes", hundred},
                             {"a header of one entry, cut after it", headerOnly},
                             {"an empty container with a byte more", emptyPadded}};
    for (int i = 0; i < 4; i++) {
        std::string bad = good;
        bad[i] ^= 0x20;
        rows.push_back({"magic byte differs", bad});
    }
    std::string zeroOffset = good;
    Put32(zeroOffset, 15 + 85 + 65, 0);
    rows.push_back({"second entry at offset 0", zeroOffset});
    rows.push_back({"directory cut short", good.substr(0, 15 + 85 + 40)});
    std::string hugeCount = good;
    Put32(hugeCount, 11, 0xFFFFFFFFu);
    rows.push_back({"entry count the file can't hold", hugeCount});
    std::string farDirectory = good;
    Put32(farDirectory, 7, 0xFFFFFF00u);
    rows.push_back({"directory past the end", farDirectory});

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TDatFile dat;
        EXPECT_FALSE(dat.Open(folder.WriteFile("bad.dat", row.bytes)));
        EXPECT_TRUE(dat.Failed);
        EXPECT_TRUE(dat.Entries.empty());
        EXPECT_EQ(dat.Handle, INVALID_HANDLE_VALUE);
        char out[8] = {};
        EXPECT_EQ(dat.ReadRecords("A", out, 0, 1), 0u);
    }

    TDatFile dat;
    EXPECT_FALSE(dat.Open(folder.Path() + "missing.dat"));
    EXPECT_TRUE(dat.Failed);
    EXPECT_TRUE(dat.Open(folder.WriteFile("empty.dat", hundredOne)));
    EXPECT_TRUE(dat.Entries.empty());
    EXPECT_TRUE(dat.Open(folder.WriteFile("good.dat", good)));
    EXPECT_FALSE(dat.Failed);
    EXPECT_EQ(dat.Entries.size(), 2u);
}

// A container without entries, as Save writes it (its header alone), opens
// again as an empty container.
TEST(DatFileTest, EmptyContainerSavesAndReopens)
{
    TTempFolder folder;
    for (uint8_t mode : {uint8_t{16}, uint8_t{48}}) {
        SCOPED_TRACE(int{mode});
        TDatFile empty;
        ASSERT_TRUE(empty.Save(mode, folder.Path() + "empty.dat"));
        EXPECT_EQ(folder.ReadFile("empty.dat").size(), 15u);

        TDatFile back;
        ASSERT_TRUE(back.Open(folder.Path() + "empty.dat"));
        EXPECT_FALSE(back.Failed);
        EXPECT_TRUE(back.Entries.empty());
        EXPECT_FALSE(back.SelectEntry("A"));
        std::string text = "x";
        back.ReadLine("A", text);
        EXPECT_EQ(text, "");
        back.Save(0);
    }
}

TEST(DatFileTest, DamagedEntriesNeverReadPastWhatWasLoaded)
{
    TTempFolder folder;
    const std::string packed = MakeContainer(folder, "p.dat", 48);
    const std::string raw = MakeContainer(folder, "r.dat", 16);
    const size_t entryA = 15;     // directory entry of "A"
    const size_t entryText = 100; // directory entry of "Text"
    uint32_t chunkA;
    std::memcpy(&chunkA, packed.data() + entryA + 65, 4); // the offset of A's chunk

    struct Row {
        const char* name;
        std::string bytes;
        const char* entry;
        bool loads;
    };
    std::vector<Row> rows;
    auto add = [&](const char* name, std::string bytes, const char* entry, bool loads = false) {
        rows.push_back({name, std::move(bytes), entry, loads});
    };
    {
        std::string b = packed;
        Put32(b, chunkA, 5000);
        add("chunk longer than the stored size", b, "A");
    }
    {
        std::string b = packed;
        Put32(b, chunkA, 0);
        add("chunk of length 0", b, "A");
    }
    {
        std::string b = packed;
        b[chunkA + 4 + 12] ^= 0x5A;
        add("damaged bzip2 stream", b, "A");
    }
    {
        std::string b = packed;
        Put32(b, entryA + 73, 0xFFFFFFFFu);
        Put32(b, entryA + 77, 0xFFFFFFFFu);
        add("element count overflowing 32 bits", b, "A");
    }
    {
        std::string b = packed;
        Put32(b, entryA + 77, 0x1FFFFFFFu); // 4 GB less 8 bytes
        add("huge element count, tiny chunk", b, "A");
    }
    {
        std::string b = packed;
        Put32(b, entryA + 69, 10);
        add("stored size smaller than its chunk", b, "A");
    }
    {
        std::string b = packed;
        Put32(b, entryA + 65, 0x7FFFFFF0u);
        add("offset past the end", b, "A");
    }
    add("file cut inside the last chunk", packed.substr(0, packed.size() - 7), "Text");
    {
        std::string b = raw;
        Put32(b, entryA + 77, 2); // 16 bytes of content, a 24-byte chunk
        add("raw chunk longer than the content", b, "A");
    }
    {
        std::string b = raw;
        Put32(b, entryText + 73, 400);
        add("raw content larger than its chunks", b, "Text");
    }
    {
        std::string b = packed;
        b[entryText] = static_cast<char>(200); // name length past 64
        add("name length byte above 64", b, "Text", true);
    }

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TDatFile dat;
        ASSERT_TRUE(dat.Open(folder.WriteFile("d.dat", row.bytes)));
        std::string entry = row.entry;
        if (row.loads) // the cut name is the name plus the padding that follows it
            entry = DatEntryName(dat.Entries[1]);
        ASSERT_TRUE(dat.SelectEntry(entry));
        EXPECT_EQ(dat.LoadEntry(), row.loads);
        const size_t loaded = dat.EntryData[dat.Current].Bytes.size();
        // Reads stop at what was loaded, and a line loop ends.
        std::vector<char> out(4096, '.');
        EXPECT_EQ(dat.ReadRecords(entry, out.data(), 0, 8),
                  std::min<size_t>(loaded, 8 * dat.Entries[dat.Current].ElementSize));
        std::string line;
        dat.Entries[dat.Current].Cursor = 0;
        int lines = 0;
        while (!dat.EntryEOF() && lines < 100000) {
            dat.ReadLine(entry, line);
            lines++;
        }
        EXPECT_TRUE(dat.EntryEOF());
        // Reading the whole entry at once from a fresh open (straight into
        // the destination) counts the same bytes.
        const uint64_t whole = uint64_t{dat.Entries[dat.Current].ElementSize} * dat.Entries[dat.Current].ElementCount;
        if (whole <= out.size()) {
            TDatFile fresh;
            ASSERT_TRUE(fresh.Open(folder.Path() + "d.dat"));
            const int32_t count = static_cast<int32_t>(dat.Entries[dat.Current].ElementCount);
            EXPECT_EQ(fresh.ReadRecords(entry, out.data(), 0, count), loaded);
            EXPECT_EQ(std::string(out.data(), loaded),
                      std::string(dat.EntryData[dat.Current].Bytes.begin(), dat.EntryData[dat.Current].Bytes.end()));
        }
        // Damaged content is never written back as if it were whole.
        EXPECT_EQ(dat.Save(48, folder.Path() + "copy.dat"), row.loads);
    }
}

TEST(DatFileTest, SaveReportsFailureAndKeepsTheOldFile)
{
    TTempFolder folder;
    const std::string old = MakeContainer(folder, "s.dat", 48);
    ASSERT_EQ(chmod((folder.Path() + "s.dat").c_str(), 0444), 0);

    TDatFile dat;
    dat.WriteRecords("New", "1234", 1, 4);
    // A file we may not write.
    const std::string skipped = RunWherePermissionsApply(
        [&] {
            EXPECT_FALSE(dat.Save(48, folder.Path() + "s.dat"));
            EXPECT_EQ(folder.ReadFile("s.dat"), old);
        },
        {folder.Path()});
    EXPECT_FALSE(dat.Save(48, folder.Path() + "no-folder/s.dat"));

    // The entries survive a failed save, so it can be tried again.
    ASSERT_TRUE(dat.Save(48, folder.Path() + "other.dat"));
    TDatFile back;
    ASSERT_TRUE(back.Open(folder.Path() + "other.dat"));
    char out[4];
    EXPECT_EQ(back.ReadRecords("New", out, 0, 1), 4u);
    EXPECT_EQ(std::string(out, 4), "1234");
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

TEST(DatFileTest, RewriteOfAnOpenedContainerKeepsEveryEntry)
{
    TTempFolder folder;
    MakeContainer(folder, "o.dat", 0x45, 1); // level 5, 1 KB chunks
    const std::string before = folder.ReadFile("o.dat");
    {
        // Keep mode without a write: nothing is written.
        TDatFile dat;
        ASSERT_TRUE(dat.Open(folder.Path() + "o.dat"));
        EXPECT_TRUE(dat.Save(32));
        EXPECT_EQ(dat.Handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(folder.ReadFile("o.dat"), before);
    }
    {
        TDatFile dat;
        ASSERT_TRUE(dat.Open(folder.Path() + "o.dat"));
        ASSERT_TRUE(dat.WriteRecords("C", "xyz!", 1, 4));
        ASSERT_TRUE(dat.Save(32)); // keep: the level and chunk size read
    }
    TDatFile dat;
    ASSERT_TRUE(dat.Open(folder.Path() + "o.dat"));
    EXPECT_EQ(dat.Header.Level, 5);
    EXPECT_EQ(uint32_t{dat.Header.BlockKB}, 1u);
    ASSERT_EQ(dat.Entries.size(), 3u);
    char out[24];
    EXPECT_EQ(dat.ReadRecords("A", out, 0, 3), 24u);
    EXPECT_EQ(std::string(out, 24), Pattern(24));
    std::string line;
    dat.ReadLine("Text", line);
    EXPECT_EQ(line, "first");
    dat.ReadLine("Text", line);
    EXPECT_EQ(line, "second");
    EXPECT_EQ(dat.ReadRecords("C", out, 0, 1), 4u);
    EXPECT_EQ(std::string(out, 4), "xyz!");
}

TEST(DatFileTest, ChunksLargerThanAReadPieceDecode)
{
    // Content that hardly packs, so its one chunk spans several reads.
    std::string content(3u << 20, '\0');
    uint32_t x = 12345;
    for (char& c : content) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    TTempFolder folder;
    {
        TDatFile dat;
        dat.WriteRecords("Noise", content.data(), static_cast<int32_t>(content.size() / 4), 4);
        ASSERT_TRUE(dat.Save(48, folder.Path() + "n.dat"));
        ASSERT_GT(uint32_t{dat.Entries[0].StoredSize}, 2u << 20);
    }
    {
        TDatFile dat; // straight into the destination
        ASSERT_TRUE(dat.Open(folder.Path() + "n.dat"));
        std::string out(content.size(), '.');
        EXPECT_EQ(dat.ReadRecords("Noise", out.data(), 0, static_cast<int32_t>(content.size() / 4)), content.size());
        EXPECT_TRUE(out == content);
        EXPECT_TRUE(dat.EntryEOF());
    }
    {
        TDatFile dat; // through the entry's buffer
        ASSERT_TRUE(dat.Open(folder.Path() + "n.dat"));
        ASSERT_TRUE(dat.SelectEntry("Noise"));
        ASSERT_TRUE(dat.LoadEntry());
        const TByteBuffer& bytes = dat.EntryData[0].Bytes;
        EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == content);
    }
    {
        // Cut in its last piece: what came before is kept, the entry fails.
        const std::string file = folder.ReadFile("n.dat");
        folder.WriteFile("cut.dat", file.substr(0, file.size() - 1000));
        TDatFile dat;
        ASSERT_TRUE(dat.Open(folder.Path() + "cut.dat"));
        ASSERT_TRUE(dat.SelectEntry("Noise"));
        EXPECT_FALSE(dat.LoadEntry());
        std::string out(content.size(), '.');
        const uint32_t got = dat.ReadRecords("Noise", out.data(), 0, static_cast<int32_t>(content.size() / 4));
        EXPECT_LT(got, content.size());
        EXPECT_TRUE(out.substr(0, got) == content.substr(0, got));
    }
}

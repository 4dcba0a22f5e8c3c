// TDatFile: the program's data container ("GBDF"): a directory of named
// entries, each a run of fixed-size records or one text blob, stored in
// chunks that are bzip2-packed unless the file is saved at level 0. Opening
// reads the directory only; an entry's bytes load the first time it is read.
// Writers build every entry in memory and Save writes the whole file at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_System.h"
#include "engine/QX9_System_ZipFile.h"

#pragma pack(push, 1)
struct TDatHeader {
    char Magic[4];       // "GBDF"
    uint16_t BlockKB;    // chunk size in KB; 0: one chunk per entry
    uint8_t Level;       // 0 raw chunks, 1..9 bzip2 level
    uint32_t DirOffset;  // 15 as written
    uint32_t EntryCount; // directory entries
};

struct TDatEntry {
    uint8_t Name[65];      // length byte, up to 64 characters, the rest 0
    uint32_t Offset;       // file offset of the first chunk; never 0 in a valid file
    uint32_t StoredSize;   // all chunks, their 4-byte lengths included
    uint32_t ElementSize;  // bytes per element
    uint32_t ElementCount; // elements
    uint32_t Cursor;       // read/write offset in the content; 0 after opening
};
#pragma pack(pop)
static_assert(sizeof(TDatHeader) == 15);
static_assert(offsetof(TDatHeader, BlockKB) == 4);
static_assert(offsetof(TDatHeader, Level) == 6);
static_assert(offsetof(TDatHeader, DirOffset) == 7);
static_assert(offsetof(TDatHeader, EntryCount) == 11);
static_assert(sizeof(TDatEntry) == 85);
static_assert(offsetof(TDatEntry, Offset) == 65);
static_assert(offsetof(TDatEntry, StoredSize) == 69);
static_assert(offsetof(TDatEntry, ElementSize) == 73);
static_assert(offsetof(TDatEntry, ElementCount) == 77);
static_assert(offsetof(TDatEntry, Cursor) == 81);

constexpr char DatMagic[4] = {'G', 'B', 'D', 'F'};
constexpr int32_t DatNameLength = 64;

// An entry's name (a stored length above 64 is taken as 64).
std::string DatEntryName(const TDatEntry& entry);

// The bytes of one entry in memory.
struct TDatEntryData {
    TByteBuffer Bytes;   // the content loaded or written so far
    bool Loaded = false; // Bytes hold the entry (read from the file or written)
    bool Failed = false; // loading stopped early: Bytes hold only what could be read
};

struct TDatFile {
    THandle Handle = INVALID_HANDLE_VALUE; // open while reading
    std::string FileName;
    TDatHeader Header{};                  // as read or as last written
    std::vector<TDatEntryData> EntryData; // one per entry
    uint32_t BlockSizeKB = 0;             // chunk size for writing; 0: one chunk per entry
    void (*OnBlockWritten)() = nullptr;   // called after each chunk is written
    bool Modified = false;                // set by every write
    TByteBuffer Scratch;                  // one stored chunk
    uint32_t ScratchSize = 0;
    bool Failed = false;            // the last Open failed
    int32_t Current = -1;           // selected entry, -1 for none
    std::vector<TDatEntry> Entries; // the directory

    TDatFile() = default;
    ~TDatFile() { Done(); }
    TDatFile(const TDatFile&) = delete;
    TDatFile& operator=(const TDatFile&) = delete;

    void Init();
    // Closes the handle, frees every entry and the directory.
    void Done();

    // Opens for reading and reads the header and the directory. False (and
    // Failed) when the file can't be opened, is 100 bytes or shorter, lacks
    // the magic, has a directory the file can't hold, or an entry at offset 0.
    bool Open(const std::string& fileName = "");
    // Closes the read handle, then writes the container as the mode says
    // (mode 0 only closes; writers use 48, bzip2 level 1). The file is
    // replaced in one step, so on failure the old file stays as it was.
    // True when nothing had to be written or the file was written.
    bool Save(uint8_t mode, const std::string& fileName = "");

    bool SelectEntry(const std::string& name);
    // Selects the entry of this name (cut to 64 characters), or appends a
    // new empty one.
    void AddEntry(const std::string& name);
    // Loads the selected entry; false when it is missing or damaged (a
    // damaged entry keeps the bytes that could be read, nothing more).
    bool LoadEntry();

    // Copies count elements from element `index` (0: from the entry's
    // Cursor) and moves Cursor past them; never past the entry's end, and
    // nothing for a missing entry. Returns the bytes copied.
    uint32_t ReadRecords(const std::string& name, void* destination, int32_t index, int32_t count);
    // From Cursor up to a CR (a LF right after it skipped) or the end; bytes
    // up to 13 are left out, so a LF alone ends no line. Empty at the end of
    // the entry.
    void ReadLine(const std::string& name, std::string& text);
    // From Cursor up to a nul byte or the end.
    void ReadPChar(const std::string& name, std::string& text);
    // A 32-bit byte length, then that many bytes of UTF-16LE.
    void ReadWide(const std::string& name, std::u16string& text);
    // The selected entry's Cursor is at its end (true with none selected).
    bool EntryEOF() const;

    // Appends count elements of elementSize bytes at the entry's Cursor.
    // False (nothing written) when the entry would pass 4 GB.
    bool WriteRecords(const std::string& name, const void* source, int32_t count, int32_t elementSize);
    // Appends the text and CR LF; the entry is one element of its whole length.
    bool WriteLine(const std::string& name, const std::string& text);
    void ClearEntries();

private:
    void CloseHandle();
    bool ReadExact(void* buffer, size_t count);
    bool ReadAt(uint64_t position, void* buffer, size_t count);
    // Reads one stored chunk and decodes it after the `produced` bytes, into
    // `direct` when given, else into the entry's buffer.
    bool ReadBlock(uint32_t length, TDatEntryData& data, uint64_t contentSize, uint8_t* direct, uint64_t& produced);
    // Reads the selected entry's chunks: into `direct` (room for the whole
    // content) when given, else into the entry's buffer. True when complete.
    bool ReadChunks(uint8_t* direct);
    bool WriteBlock(TByteBuffer& out, const uint8_t* content, uint32_t length, int32_t level, uint32_t& stored);
    // Selects and loads the entry; none when it is missing.
    TDatEntryData* EntryForReading(const std::string& name);
    // Makes room for writing count bytes at the Cursor of the selected entry.
    bool ReserveForWriting(uint64_t count);

    int64_t FFileSize = 0;
};

// TZipFile: a whole file held in memory, read raw or from the packed "QXpf"
// form (bzip2 blocks), read and written like a memory stream, and written back
// raw or packed on closing. Also the bzip2 buffer helpers and the close-mode
// decoding that the data container (TDatFile) shares with it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

static_assert(std::endian::native == std::endian::little, "the stored records are little-endian");

// ---------------------------------------------------------------------------
// Byte buffers that are not zero-filled when they grow: the containers fill
// them straight from bzip2 or the file, and a 40 MB map entry should not be
// written twice.

template <class T> struct TUninitAllocator : std::allocator<T> {
    using value_type = T;
    TUninitAllocator() noexcept = default;
    template <class U> TUninitAllocator(const TUninitAllocator<U>&) noexcept {}
    template <class U> struct rebind {
        using other = TUninitAllocator<U>;
    };
    template <class U> void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>)
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using TByteBuffer = std::vector<uint8_t, TUninitAllocator<uint8_t>>;

// ---------------------------------------------------------------------------
// bzip2 buffer helpers (both containers)

enum class TBzResult {
    Ok,         // one complete stream decoded
    NeedInput,  // all input taken, the stream goes on
    OutputFull, // the stream holds more than the room allowed
    Damaged,    // not a valid or complete bzip2 stream
    NoMemory,
};

// One bzip2 stream decoded from input that arrives in pieces (a stored
// chunk read from a file bit by bit needs no buffer of its whole size).
class TBzDecoder {
public:
    // Output into a fixed room.
    TBzDecoder(void* destination, size_t room);
    // Output appended to `out`, which ends at most `limit` bytes long; it
    // grows as output arrives, first by `sizeHint` bytes.
    TBzDecoder(TByteBuffer& out, size_t limit, size_t sizeHint);
    ~TBzDecoder();
    TBzDecoder(const TBzDecoder&) = delete;
    TBzDecoder& operator=(const TBzDecoder&) = delete;

    // Takes the next piece of input. Ok: the stream has ended (input after
    // its end is ignored); NeedInput: the piece was used up and the stream
    // goes on; otherwise the failure, which every later call repeats.
    TBzResult Feed(const void* input, size_t length);
    // Bytes produced so far. (A growing buffer may hold room past them until
    // the stream is done or the decoder goes.)
    size_t Written() const;

private:
    struct TState;
    void Start();

    std::unique_ptr<TState> FState;
    uint8_t* FDestination = nullptr;
    TByteBuffer* FOut = nullptr;
    size_t FBase = 0;
    size_t FLimit = 0;
    size_t FHint = 0;
    size_t FWritten = 0;
    TBzResult FResult = TBzResult::NeedInput;
};

// Decodes one complete bzip2 stream and appends its output to `out`, which
// ends at most `limit` bytes long. The buffer grows as output arrives,
// starting with room for `sizeHint` bytes, so a small hostile stream can't
// make it reserve more than it really produces. On any result `out` keeps the
// bytes decoded so far. Bytes after the end of the stream are ignored.
TBzResult BzDecompressAppend(const void* source, size_t sourceLength, TByteBuffer& out, size_t limit, size_t sizeHint);

// Decodes one complete bzip2 stream into `destination`, at most `room`
// bytes; `written` gets the bytes produced (also on failure).
TBzResult BzDecompressInto(const void* source, size_t sourceLength, void* destination, size_t room, size_t& written);

// Compresses with the bzip2 block-size level (1..9; another value gives
// bzip2's default, 9) and appends the stream to `out`; its length goes
// to `streamLength`. False when bzip2 fails or memory runs out (`out` is then
// as it was).
bool BzCompressAppend(const void* source, size_t sourceLength, int32_t level, TByteBuffer& out, uint32_t& streamLength);

// The close mode of both containers, one byte read as two nibbles.
struct TPackMode {
    bool Write = false;            // high nibble 0: nothing is written
    bool OnlyWhenModified = false; // high nibble 2
    int32_t Level = 0;             // 0 raw, 1..9 bzip2 level, 10 the form the file was read in
};
TPackMode DecodePackMode(uint8_t mode);

// A stored bzip2 level that is not 1..9 (a damaged or foreign header) taken
// as bzip2's default, 9.
int32_t ValidBzLevel(int32_t level);

// ---------------------------------------------------------------------------
// The "QXpf" header, 12 bytes at the start of a packed file.

#pragma pack(push, 1)
struct TPackHeader {
    char Magic[4];         // "QXpf"
    uint16_t BlockKB;      // block size in KB; 0: one block
    uint8_t Level;         // bzip2 level the blocks were written with
    uint8_t Reserved;      // 0 in new files, kept on rewrite
    uint32_t UnpackedSize; // length of the whole content
};
#pragma pack(pop)
static_assert(sizeof(TPackHeader) == 12);
static_assert(offsetof(TPackHeader, BlockKB) == 4);
static_assert(offsetof(TPackHeader, Level) == 6);
static_assert(offsetof(TPackHeader, Reserved) == 7);
static_assert(offsetof(TPackHeader, UnpackedSize) == 8);

constexpr char PackMagic[4] = {'Q', 'X', 'p', 'f'};

// The most content one TZipFile holds. Sizes are 32-bit in the format; this
// also keeps a damaged header from asking for gigabytes.
constexpr uint32_t ZipMaxContent = 1024u * 1024u * 1024u;

// ---------------------------------------------------------------------------
// TZipFile

struct TZipFile {
    TByteBuffer Data;                   // the content; Data.size() == Capacity
    uint32_t Capacity = 0;              // bytes allocated
    std::string FileName;               // the file last opened or written
    bool Modified = false;              // set by every write
    bool NewFile = false;               // the file was missing or empty when opened
    bool Packed = false;                // the file was read from the packed form
    TPackHeader Header{};               // as read, or as last written
    uint32_t BlockSizeKB = 0;           // block size for packed writing, 0: one block
    void (*OnBlockWritten)() = nullptr; // called after each packed block is written
    uint32_t Position = 0;              // read/write offset
    uint32_t Size = 0;                  // content length
    bool Damaged = false;               // missing or empty, or the packed content did not unpack to the header's size

    TZipFile() = default;
    TZipFile(const TZipFile&) = delete;
    TZipFile& operator=(const TZipFile&) = delete;

    // All fields zero or empty.
    void Init();
    // Frees a buffer that was never closed.
    void Done();

    // Reads the file (FileName when the name is empty). A missing or empty
    // file gives an empty content of `capacity` bytes, NewFile and Damaged.
    void Open(const std::string& fileName, uint32_t capacity);
    // Writes the content as the mode says (to the name given, which becomes
    // FileName, or to FileName), then frees the buffer. The file is replaced
    // in one step: on failure the old file stays as it was. True when nothing
    // had to be written or the file was written.
    bool Close(uint8_t mode, const std::string& fileName = "");

    // Copies up to `count` bytes from `position` (-1: from Position), never
    // past Size, and moves Position after them. Nothing when Position is
    // already at or past Size. Returns the bytes copied.
    uint32_t Read(void* destination, uint32_t count, int64_t position = -1);
    // Reads up to CR, LF or the end; bytes up to 13 (TAB included) are left
    // out; a LF right after a CR belongs to it (CR LF is one line end).
    void ReadLine(std::string& text);
    // Position >= Size. (Named so because the C library owns EOF as a macro.)
    bool Eof() const { return Position >= Size; }
    uint8_t* Memory() { return Data.data(); }
    // Writes at `position` (-1: at Position), growing the buffer in whole KB.
    // False (nothing written) when the content would pass ZipMaxContent or
    // memory runs out.
    bool Write(const void* source, uint32_t count, int64_t position = -1);
    // The text and its terminating nul byte.
    bool WriteString(const std::string& text);

private:
    bool ReadBlock(const uint8_t* file, size_t fileLength, size_t& offset, uint32_t expected);
    bool WriteBlock(TByteBuffer& out, const uint8_t* content, uint32_t length, int32_t level);
    void FreeData();
};

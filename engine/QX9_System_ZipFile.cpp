// TZipFile and the bzip2 buffer helpers.
#include "engine/QX9_System_ZipFile.h"

#include <algorithm>
#include <bzlib.h>
#include <climits>
#include <cstring>

#include "platform/os/OS.h"

// ---------------------------------------------------------------------------
// bzip2 helpers

struct TBzDecoder::TState {
    bz_stream Stream{};
    bool Started = false;
};

TBzDecoder::TBzDecoder(void* destination, size_t room)
    : FState(std::make_unique<TState>()), FDestination(static_cast<uint8_t*>(destination)), FLimit(room)
{
    Start();
}

TBzDecoder::TBzDecoder(TByteBuffer& out, size_t limit, size_t sizeHint)
    : FState(std::make_unique<TState>()), FOut(&out), FBase(out.size()), FLimit(std::max(limit, out.size())),
      FHint(std::max<size_t>(sizeHint, 1))
{
    Start();
}

TBzDecoder::~TBzDecoder()
{
    if (FState->Started)
        BZ2_bzDecompressEnd(&FState->Stream);
    if (FOut != nullptr)
        FOut->resize(FBase + FWritten);
}

void TBzDecoder::Start()
{
    FState->Started = BZ2_bzDecompressInit(&FState->Stream, 0, 0) == BZ_OK;
    if (!FState->Started)
        FResult = TBzResult::NoMemory;
}

size_t TBzDecoder::Written() const
{
    return FWritten;
}

TBzResult TBzDecoder::Feed(const void* input, size_t length)
{
    if (FResult != TBzResult::NeedInput)
        return FResult; // ended or failed: nothing more is taken
    bz_stream& stream = FState->Stream;
    static char noBytes[1];
    char spare;
    const uint8_t* next = static_cast<const uint8_t*>(input);
    size_t left = length;
    for (;;) {
        if (stream.avail_in == 0 && left > 0) {
            const size_t piece = std::min<size_t>(left, UINT_MAX);
            stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(next));
            stream.avail_in = static_cast<unsigned>(piece);
            next += piece;
            left -= piece;
        } else if (stream.avail_in == 0) {
            stream.next_in = noBytes;
        }
        uint8_t* to;
        size_t room;
        if (FOut == nullptr) {
            to = FDestination + FWritten;
            room = FLimit - FWritten;
        } else {
            const size_t have = FBase + FWritten;
            if (FOut->size() <= have && have < FLimit) {
                // More room: at first the hint, then doubling, within the limit.
                const size_t grow = FWritten == 0 ? FHint : std::max<size_t>(have, 65536);
                try {
                    FOut->resize(have + std::min(FLimit - have, grow));
                } catch (const std::bad_alloc&) {
                    FResult = TBzResult::NoMemory;
                    break;
                } catch (const std::length_error&) {
                    FResult = TBzResult::NoMemory;
                    break;
                }
            }
            to = FOut->data() + have;
            room = FOut->size() - have;
        }
        const unsigned avail = static_cast<unsigned>(std::min<size_t>(room, UINT_MAX));
        stream.next_out = avail > 0 ? reinterpret_cast<char*>(to) : &spare;
        stream.avail_out = avail;
        const int status = BZ2_bzDecompress(&stream);
        FWritten += avail - stream.avail_out;
        if (status == BZ_STREAM_END) {
            FResult = TBzResult::Ok;
            break;
        }
        if (status == BZ_MEM_ERROR) {
            FResult = TBzResult::NoMemory;
            break;
        }
        if (status != BZ_OK) {
            FResult = TBzResult::Damaged;
            break;
        }
        if (stream.avail_out > 0) {
            if (stream.avail_in > 0) {
                FResult = TBzResult::Damaged; // no progress with input and room: never loop on it
                break;
            }
            if (left == 0)
                break; // every byte taken: the stream goes on in the next piece
            continue;
        }
        // The room is full.
        const bool atLimit = FOut == nullptr || FBase + FWritten >= FLimit;
        if (atLimit && (stream.avail_in > 0 || left > 0)) {
            FResult = TBzResult::OutputFull;
            break;
        }
        if (atLimit)
            break; // more output may follow with more input; the next piece tells
    }
    // The room stays between pieces (growing it again costs); the buffer is
    // cut to what was decoded once the stream is done.
    if (FOut != nullptr && FResult != TBzResult::NeedInput)
        FOut->resize(FBase + FWritten);
    return FResult;
}

TBzResult BzDecompressAppend(const void* source, size_t sourceLength, TByteBuffer& out, size_t limit, size_t sizeHint)
{
    TBzDecoder decoder(out, limit, sizeHint);
    const TBzResult result = decoder.Feed(source, sourceLength);
    // All of the input was there: a stream that wants more is cut short.
    return result == TBzResult::NeedInput ? TBzResult::Damaged : result;
}

TBzResult BzDecompressInto(const void* source, size_t sourceLength, void* destination, size_t room, size_t& written)
{
    TBzDecoder decoder(destination, room);
    const TBzResult result = decoder.Feed(source, sourceLength);
    written = decoder.Written();
    return result == TBzResult::NeedInput ? TBzResult::Damaged : result;
}

bool BzCompressAppend(const void* source, size_t sourceLength, int32_t level, TByteBuffer& out, uint32_t& streamLength)
{
    streamLength = 0;
    if (sourceLength > UINT_MAX - 1024 * 1024)
        return false;
    // bzip2's documented bound for the compressed size.
    const uint64_t bound = sourceLength + sourceLength / 100 + 600;
    if (bound > UINT_MAX)
        return false;
    const size_t base = out.size();
    try {
        out.resize(base + bound);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    static char noBytes[1];
    unsigned length = static_cast<unsigned>(bound);
    char* input = sourceLength > 0 ? const_cast<char*>(static_cast<const char*>(source)) : noBytes;
    const int status = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data() + base), &length, input,
                                                static_cast<unsigned>(sourceLength), ValidBzLevel(level), 0, 0);
    if (status != BZ_OK) {
        out.resize(base);
        return false;
    }
    out.resize(base + length);
    streamLength = length;
    return true;
}

TPackMode DecodePackMode(uint8_t mode)
{
    TPackMode result;
    const int32_t low = mode & 0x0F;
    result.Level = low > 10 ? 0 : low;
    result.Write = true;
    switch (mode >> 4) {
    case 0:
        result.Write = false;
        break;
    case 1:
        result.Level = 0;
        break;
    case 2:
        result.Level = 10;
        result.OnlyWhenModified = true;
        break;
    case 3:
        result.Level = 1;
        break;
    default:
        break;
    }
    return result;
}

int32_t ValidBzLevel(int32_t level)
{
    // bzip2's own default stands in for a level it can't use.
    return (level >= 1 && level <= 9) ? level : 9;
}

// ---------------------------------------------------------------------------
// TZipFile

namespace {

// The file's bytes, at most `limit` of them; `truncated` when there were more.
bool ReadFileBytes(const std::string& name, TByteBuffer& bytes, size_t limit, bool& truncated)
{
    bytes.clear();
    truncated = false;
    const THandle handle = OS_OpenFileRead(name);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const int64_t size = OS_GetFileSize(handle);
    bool ok = size >= 0;
    if (ok) {
        size_t wanted = static_cast<size_t>(size);
        if (wanted > limit) {
            wanted = limit;
            truncated = true;
        }
        try {
            bytes.resize(wanted);
            const int64_t got = OS_ReadFile(handle, bytes.data(), static_cast<int64_t>(wanted));
            bytes.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
        } catch (const std::bad_alloc&) {
            bytes.clear();
            ok = false;
        }
    }
    OS_CloseHandle(handle);
    return ok;
}

uint32_t LoadU32(const uint8_t* p)
{
    uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

void AppendU32(TByteBuffer& out, uint32_t value)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&value);
    out.insert(out.end(), p, p + 4);
}

} // namespace

void TZipFile::Init()
{
    FreeData();
    FileName.clear();
    Modified = NewFile = Packed = Damaged = false;
    Header = TPackHeader{};
    BlockSizeKB = 0;
    OnBlockWritten = nullptr;
}

void TZipFile::Done()
{
    FreeData();
}

void TZipFile::FreeData()
{
    TByteBuffer().swap(Data);
    Capacity = 0;
    Size = 0;
    Position = 0;
}

void TZipFile::Open(const std::string& fileName, uint32_t capacity)
{
    FreeData();
    if (!fileName.empty())
        FileName = fileName;
    Damaged = Modified = NewFile = false;
    Packed = true;

    TByteBuffer file;
    bool truncated = false;
    // A packed file is never larger than its content plus a little.
    const size_t readLimit = size_t{ZipMaxContent} + ZipMaxContent / 16;
    if (!ReadFileBytes(FileName, file, readLimit, truncated) || file.empty()) {
        Damaged = true;
        NewFile = true;
        Capacity = std::min(capacity, ZipMaxContent);
        Data.assign(Capacity, 0);
        return;
    }

    bool packed = false;
    if (file.size() >= sizeof(TPackHeader)) {
        std::memcpy(&Header, file.data(), sizeof(TPackHeader));
        packed = std::memcmp(Header.Magic, PackMagic, 4) == 0;
        if (packed)
            BlockSizeKB = Header.BlockKB;
    }

    if (packed) {
        const uint32_t expected = Header.UnpackedSize;
        const uint32_t limit = std::min(expected, ZipMaxContent);
        const uint64_t blockBytes = uint64_t{Header.BlockKB} * 1024;
        const uint64_t blockCount = (blockBytes == 0 || expected <= blockBytes) ? 1 : expected / blockBytes + 1;
        size_t offset = sizeof(TPackHeader);
        bool intact = !truncated;
        for (uint64_t i = 0; i < blockCount; i++) {
            uint64_t blockExpected = expected;
            if (blockCount > 1)
                blockExpected = std::min<uint64_t>(blockBytes, expected - std::min<uint64_t>(expected, i * blockBytes));
            if (!ReadBlock(file.data(), file.size(), offset, std::min<uint64_t>(blockExpected, limit))) {
                intact = false;
                break;
            }
        }
        Size = static_cast<uint32_t>(Data.size());
        Damaged = !intact || Size != expected;
    } else {
        // The first bytes of a raw file are no header: a packed rewrite of
        // it starts from a clean one (reserved byte 0, as in new files).
        Header = TPackHeader{};
        Packed = false;
        Data.swap(file);
        Size = static_cast<uint32_t>(Data.size());
        Damaged = truncated;
    }
    Capacity = Size;
    Data.resize(Size);
    Position = 0;
}

bool TZipFile::ReadBlock(const uint8_t* file, size_t fileLength, size_t& offset, uint32_t expected)
{
    if (fileLength - offset < 4)
        return false;
    const uint32_t stored = LoadU32(file + offset);
    if (stored > fileLength - offset - 4)
        return false;
    // Start with room for the block, but not for more than a plausible
    // expansion of what is stored: the rest comes only with real output.
    const size_t hint = std::min<uint64_t>(expected, std::max<uint64_t>(uint64_t{stored} * 64, 1u << 20));
    const size_t limit = std::min<size_t>(ZipMaxContent, std::max<size_t>(Header.UnpackedSize, Data.size()));
    const TBzResult result = BzDecompressAppend(file + offset + 4, stored, Data, limit, hint);
    offset += 4 + size_t{stored};
    return result == TBzResult::Ok;
}

bool TZipFile::Close(uint8_t mode, const std::string& fileName)
{
    const TPackMode packMode = DecodePackMode(mode);
    bool ok = true;
    if (packMode.Write && (!packMode.OnlyWhenModified || Modified)) {
        if (!fileName.empty())
            FileName = fileName;
        int32_t level = packMode.Level;
        const bool packed = (level >= 1 && level <= 9) || (level == 10 && Packed);
        const uint32_t size = std::min<uint32_t>(Size, static_cast<uint32_t>(Data.size()));
        if (!packed) {
            ok = OS_WriteFileAtomic(FileName, Data.data(), size);
        } else {
            if (level == 10) {
                level = ValidBzLevel(Header.Level & 0x0F);
                if (BlockSizeKB == 0)
                    BlockSizeKB = Header.BlockKB;
            }
            std::memcpy(Header.Magic, PackMagic, 4);
            Header.UnpackedSize = size;
            // The header holds 16 bits: write the blocks the header describes.
            Header.BlockKB = static_cast<uint16_t>(std::min<uint32_t>(BlockSizeKB, 0xFFFF));
            Header.Level = static_cast<uint8_t>(level);
            TByteBuffer out;
            const uint8_t* header = reinterpret_cast<const uint8_t*>(&Header);
            out.insert(out.end(), header, header + sizeof(TPackHeader));
            const uint64_t b = uint64_t{Header.BlockKB} * 1024;
            if (b > 0 && size > b) {
                for (uint64_t i = 0; ok && i * b <= size; i++)
                    ok = WriteBlock(out, Data.data() + i * b,
                                    static_cast<uint32_t>(std::min<uint64_t>(b, size - i * b)), level);
            } else {
                ok = WriteBlock(out, Data.data(), size, level);
            }
            ok = ok && OS_WriteFileAtomic(FileName, out.data(), out.size());
        }
    }
    FreeData();
    return ok;
}

bool TZipFile::WriteBlock(TByteBuffer& out, const uint8_t* content, uint32_t length, int32_t level)
{
    const size_t lengthAt = out.size();
    AppendU32(out, 0);
    uint32_t streamLength = 0;
    if (!BzCompressAppend(content, length, level, out, streamLength))
        return false;
    std::memcpy(out.data() + lengthAt, &streamLength, 4);
    if (OnBlockWritten)
        OnBlockWritten();
    return true;
}

uint32_t TZipFile::Read(void* destination, uint32_t count, int64_t position)
{
    if (Position >= Size)
        return 0;
    const uint64_t from = position < 0 ? Position : static_cast<uint64_t>(position);
    if (from >= Size)
        return 0;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, Size - from));
    if (n > 0)
        std::memcpy(destination, Data.data() + from, n);
    Position = static_cast<uint32_t>(from + n);
    return n;
}

void TZipFile::ReadLine(std::string& text)
{
    text.clear();
    while (Position < Size) {
        const uint8_t c = Data[Position++];
        if (c == 13) {
            // CR LF is one line end; a CR alone (old Mac text) is one too.
            if (Position < Size && Data[Position] == 10)
                Position++;
            return;
        }
        if (c == 10)
            return;
        if (c > 13)
            text.push_back(static_cast<char>(c));
    }
}

bool TZipFile::Write(const void* source, uint32_t count, int64_t position)
{
    const uint64_t at = position < 0 ? Position : static_cast<uint64_t>(position);
    const uint64_t end = at + count;
    if (end > ZipMaxContent)
        return false;
    if (end > Capacity) {
        const uint64_t grown = Capacity + ((end - Capacity) / 1024 + 1) * 1024;
        try {
            // New room is zero-filled: a write past the end leaves a gap of
            // zeros, never stale memory, in what is later saved.
            Data.resize(grown, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        Capacity = static_cast<uint32_t>(grown);
    }
    if (count > 0)
        std::memcpy(Data.data() + at, source, count);
    Position = static_cast<uint32_t>(end);
    Modified = true;
    if (end > Size)
        Size = static_cast<uint32_t>(end);
    return true;
}

bool TZipFile::WriteString(const std::string& text)
{
    if (text.size() >= ZipMaxContent)
        return false;
    return Write(text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

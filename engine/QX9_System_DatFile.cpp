// TDatFile: the GBDF container.
#include "engine/QX9_System_DatFile.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstring>

#include "platform/os/OS.h"

std::string DatEntryName(const TDatEntry& entry)
{
    const size_t length = std::min<size_t>(entry.Name[0], DatNameLength);
    return std::string(reinterpret_cast<const char*>(entry.Name + 1), length);
}

namespace {

void SetEntryName(TDatEntry& entry, const std::string& name)
{
    const size_t length = std::min<size_t>(name.size(), DatNameLength);
    std::memset(entry.Name, 0, sizeof entry.Name);
    entry.Name[0] = static_cast<uint8_t>(length);
    std::memcpy(entry.Name + 1, name.data(), length);
}

uint64_t ContentSize(const TDatEntry& entry)
{
    return uint64_t{entry.ElementSize} * entry.ElementCount;
}

} // namespace

void TDatFile::Init()
{
    Done();
    FileName.clear();
    Header = TDatHeader{};
    BlockSizeKB = 0;
    OnBlockWritten = nullptr;
    Modified = false;
    Failed = false;
}

void TDatFile::Done()
{
    CloseHandle();
    EntryData.clear();
    Entries.clear();
    TByteBuffer().swap(Scratch);
    ScratchSize = 0;
    Current = -1;
}

void TDatFile::CloseHandle()
{
    if (Handle != INVALID_HANDLE_VALUE)
        OS_CloseHandle(Handle);
    Handle = INVALID_HANDLE_VALUE;
    FFileSize = 0;
}

bool TDatFile::ReadExact(void* buffer, size_t count)
{
    return OS_ReadFile(Handle, buffer, static_cast<int64_t>(count)) == static_cast<int64_t>(count);
}

bool TDatFile::ReadAt(uint64_t position, void* buffer, size_t count)
{
    if (Handle == INVALID_HANDLE_VALUE || position > uint64_t{INT64_MAX})
        return false;
    if (OS_SeekFile(Handle, static_cast<int64_t>(position), 0) != static_cast<int64_t>(position))
        return false;
    return ReadExact(buffer, count);
}

bool TDatFile::Open(const std::string& fileName)
{
    CloseHandle();
    EntryData.clear();
    Entries.clear();
    Current = -1;
    if (!fileName.empty())
        FileName = fileName;
    Failed = false;
    Modified = false;

    Handle = OS_OpenFileRead(FileName);
    bool ok = Handle != INVALID_HANDLE_VALUE;
    if (ok)
        FFileSize = OS_GetFileSize(Handle);
    ok = ok && ReadAt(0, &Header, sizeof Header) && std::memcmp(Header.Magic, DatMagic, 4) == 0;
    // A file of 100 bytes or less is a truncated one, except the bare header
    // that Save writes for a container without entries.
    ok = ok && (FFileSize > 100 || (FFileSize == sizeof Header && Header.EntryCount == 0));
    if (ok) {
        // The whole directory must lie inside the file before anything is
        // allocated for it.
        const uint64_t dirBytes = uint64_t{Header.EntryCount} * sizeof(TDatEntry);
        ok = uint64_t{Header.DirOffset} + dirBytes <= static_cast<uint64_t>(FFileSize);
        if (ok) {
            Entries.resize(Header.EntryCount);
            ok = ReadAt(Header.DirOffset, Entries.data(), dirBytes);
        }
    }
    if (ok) {
        for (TDatEntry& entry : Entries) {
            if (entry.Offset == 0) {
                ok = false;
                break;
            }
            entry.Name[0] = std::min<uint8_t>(entry.Name[0], DatNameLength);
            entry.Cursor = 0;
        }
    }
    if (!ok) {
        CloseHandle();
        Entries.clear();
        Failed = true;
        return false;
    }
    EntryData.resize(Entries.size());
    return true;
}

bool TDatFile::SelectEntry(const std::string& name)
{
    for (size_t i = 0; i < Entries.size(); i++) {
        const TDatEntry& entry = Entries[i];
        if (entry.Name[0] == name.size() && std::memcmp(entry.Name + 1, name.data(), name.size()) == 0) {
            Current = static_cast<int32_t>(i);
            return true;
        }
    }
    Current = -1;
    return false;
}

void TDatFile::AddEntry(const std::string& name)
{
    // Looked up under the stored (cut) name, so that writing twice under a
    // long name fills one entry instead of making an unreachable second one.
    const std::string stored = name.substr(0, DatNameLength);
    if (SelectEntry(stored))
        return;
    TDatEntry entry{};
    SetEntryName(entry, stored);
    Entries.push_back(entry);
    TDatEntryData data;
    data.Loaded = true;
    EntryData.push_back(std::move(data));
    Header.EntryCount = static_cast<uint32_t>(Entries.size());
    Current = static_cast<int32_t>(Entries.size()) - 1;
}

bool TDatFile::ReadBlock(uint32_t length, TDatEntryData& data, uint64_t contentSize, uint8_t* direct,
                         uint64_t& produced)
{
    // The chunk is read in pieces into a small scratch buffer and decoded as
    // it arrives: a 40 MB map layer needs no second buffer of its packed size.
    constexpr uint32_t Piece = 1u << 20;
    const uint32_t scratch = std::min(length, Piece);
    if (Scratch.size() < scratch) {
        try {
            Scratch.resize(scratch);
        } catch (const std::bad_alloc&) {
            return false;
        }
        ScratchSize = static_cast<uint32_t>(Scratch.size());
    }
    const uint64_t rest = contentSize - produced;
    // Buffered: room for the rest of the entry, within a plausible expansion
    // of the chunk; more room comes only with real output.
    const size_t hint = std::min<uint64_t>(rest, std::max<uint64_t>(uint64_t{length} * 256, 1u << 20));
    TBzResult result = TBzResult::NeedInput;
    {
        TBzDecoder decoder =
            direct != nullptr ? TBzDecoder(direct + produced, rest) : TBzDecoder(data.Bytes, contentSize, hint);
        for (uint32_t left = length; left > 0 && result == TBzResult::NeedInput;) {
            const uint32_t piece = std::min(left, Piece);
            if (!ReadExact(Scratch.data(), piece))
                break;
            left -= piece;
            result = decoder.Feed(Scratch.data(), piece);
        }
        produced += decoder.Written();
    }
    return result == TBzResult::Ok;
}

bool TDatFile::ReadChunks(uint8_t* direct)
{
    TDatEntry& entry = Entries[Current];
    TDatEntryData& data = EntryData[Current];
    const uint64_t contentSize = ContentSize(entry);
    if (contentSize > UINT32_MAX || Handle == INVALID_HANDLE_VALUE)
        return false;
    const uint64_t fileSize = static_cast<uint64_t>(FFileSize);
    uint64_t position = entry.Offset;
    uint64_t storedLeft = entry.StoredSize;
    if (position > fileSize || OS_SeekFile(Handle, static_cast<int64_t>(position), 0) < 0)
        return false;
    if (direct == nullptr) {
        try {
            // Room for the whole content when the stored chunks could
            // plausibly hold it; a damaged size can't reserve more than that.
            const uint64_t plausible = std::min(storedLeft, fileSize - position) * (Header.Level == 0 ? 1 : 256);
            data.Bytes.reserve(std::min(contentSize, std::max<uint64_t>(plausible, 1u << 20)));
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    // The chunks are read until the content is complete, so an entry never
    // reads the chunk of the next one (a raw empty chunk included).
    uint64_t produced = 0;
    while (produced < contentSize) {
        uint32_t length = 0;
        if (storedLeft < 4 || fileSize - position < 4 || OS_SeekFile(Handle, static_cast<int64_t>(position), 0) < 0 ||
            !ReadExact(&length, 4))
            return false;
        position += 4;
        storedLeft -= 4;
        if (length < 1 || length > storedLeft || length > fileSize - position)
            return false;
        if (Header.Level == 0) {
            const uint64_t take = std::min<uint64_t>(length, contentSize - produced);
            uint8_t* to = direct;
            if (direct == nullptr) {
                data.Bytes.resize(produced + take);
                to = data.Bytes.data();
            }
            if (!ReadExact(to + produced, take)) {
                if (direct == nullptr)
                    data.Bytes.resize(produced);
                return false;
            }
            produced += take;
            if (take < length)
                return false; // a chunk longer than the entry
        } else if (!ReadBlock(length, data, contentSize, direct, produced)) {
            return false;
        }
        position += length;
        storedLeft -= length;
    }
    return true;
}

bool TDatFile::LoadEntry()
{
    if (Current < 0 || Current >= static_cast<int32_t>(Entries.size()))
        return false;
    TDatEntryData& data = EntryData[Current];
    if (data.Loaded)
        return !data.Failed;
    data.Loaded = true;
    data.Bytes.clear();
    data.Failed = !ReadChunks(nullptr);
    return !data.Failed;
}

TDatEntryData* TDatFile::EntryForReading(const std::string& name)
{
    if (!SelectEntry(name))
        return nullptr;
    LoadEntry();
    return &EntryData[Current];
}

uint32_t TDatFile::ReadRecords(const std::string& name, void* destination, int32_t index, int32_t count)
{
    if (!SelectEntry(name) || index < 0 || count <= 0)
        return 0;
    {
        // A whole entry read at once from its start (a map layer into the
        // caller's grid) goes straight into the destination: no second copy
        // of the content, and no fresh memory to fault in.
        // (A damaged entry then reads again through its buffer, and only
        // the bytes that could be read count.)
        TDatEntry& entry = Entries[Current];
        const uint64_t contentSize = ContentSize(entry);
        const uint64_t start = index != 0 ? uint64_t(index) * entry.ElementSize : entry.Cursor;
        if (!EntryData[Current].Loaded && start == 0 && contentSize > 0 &&
            uint64_t(count) * entry.ElementSize >= contentSize && ReadChunks(static_cast<uint8_t*>(destination))) {
            entry.Cursor = static_cast<uint32_t>(contentSize);
            return static_cast<uint32_t>(contentSize);
        }
    }
    // Otherwise (or when the entry turns out damaged) through its buffer.
    LoadEntry();
    TDatEntryData* data = &EntryData[Current];
    TDatEntry& entry = Entries[Current];
    const uint64_t end = data->Bytes.size();
    const uint64_t start = index != 0 ? uint64_t(index) * entry.ElementSize : entry.Cursor;
    if (start >= end)
        return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(count) * entry.ElementSize, end - start);
    std::memcpy(destination, data->Bytes.data() + start, n);
    entry.Cursor = static_cast<uint32_t>(start + n);
    return static_cast<uint32_t>(n);
}

void TDatFile::ReadLine(const std::string& name, std::string& text)
{
    text.clear();
    TDatEntryData* data = EntryForReading(name);
    if (data == nullptr)
        return;
    TDatEntry& entry = Entries[Current];
    const size_t end = data->Bytes.size();
    size_t position = entry.Cursor;
    while (position < end) {
        const uint8_t c = data->Bytes[position++];
        if (c == 13) {
            // CR LF is one line end; a CR alone is one too.
            if (position < end && data->Bytes[position] == 10)
                position++;
            break;
        }
        if (c > 13)
            text.push_back(static_cast<char>(c));
    }
    entry.Cursor = static_cast<uint32_t>(std::max<size_t>(position, entry.Cursor));
}

void TDatFile::ReadPChar(const std::string& name, std::string& text)
{
    text.clear();
    TDatEntryData* data = EntryForReading(name);
    if (data == nullptr)
        return;
    TDatEntry& entry = Entries[Current];
    const size_t end = data->Bytes.size();
    size_t position = entry.Cursor;
    while (position < end && data->Bytes[position] != 0)
        text.push_back(static_cast<char>(data->Bytes[position++]));
    if (position < end)
        position++; // the nul
    entry.Cursor = static_cast<uint32_t>(std::max<size_t>(position, entry.Cursor));
}

void TDatFile::ReadWide(const std::string& name, std::u16string& text)
{
    text.clear();
    TDatEntryData* data = EntryForReading(name);
    if (data == nullptr)
        return;
    TDatEntry& entry = Entries[Current];
    const size_t end = data->Bytes.size();
    size_t position = entry.Cursor;
    if (position >= end)
        return;
    if (end - position < 4) {
        entry.Cursor = static_cast<uint32_t>(end);
        return;
    }
    int32_t length;
    std::memcpy(&length, data->Bytes.data() + position, 4);
    position += 4;
    if (length > 0) {
        // A length the entry can't hold reads only what is there.
        const size_t take = std::min<size_t>(static_cast<size_t>(length), end - position);
        text.resize(take / 2);
        for (size_t i = 0; i < take / 2; i++)
            text[i] = static_cast<char16_t>(data->Bytes[position + 2 * i] | (data->Bytes[position + 2 * i + 1] << 8));
        position += take;
    }
    entry.Cursor = static_cast<uint32_t>(position);
}

bool TDatFile::EntryEOF() const
{
    if (Current < 0 || Current >= static_cast<int32_t>(Entries.size()))
        return true;
    const TDatEntry& entry = Entries[Current];
    const TDatEntryData& data = EntryData[Current];
    const uint64_t end = data.Loaded ? data.Bytes.size() : ContentSize(entry);
    return entry.Cursor >= end;
}

bool TDatFile::ReserveForWriting(uint64_t count)
{
    TDatEntry& entry = Entries[Current];
    TDatEntryData& data = EntryData[Current];
    if (!data.Loaded)
        LoadEntry(); // writing into an entry of an opened file keeps its content
    const uint64_t end = uint64_t{entry.Cursor} + count;
    if (end > UINT32_MAX)
        return false;
    if (end > data.Bytes.size()) {
        try {
            data.Bytes.resize(end, 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    return true;
}

bool TDatFile::WriteRecords(const std::string& name, const void* source, int32_t count, int32_t elementSize)
{
    if (count < 0 || elementSize < 0)
        return false;
    AddEntry(name);
    TDatEntry& entry = Entries[Current];
    // The content is ElementSize x ElementCount: one entry never mixes sizes.
    assert(entry.ElementCount == 0 || count == 0 || entry.ElementSize == uint32_t(elementSize));
    const uint64_t bytes = uint64_t(count) * uint32_t(elementSize);
    const uint64_t elements = uint64_t{entry.ElementCount} + uint32_t(count);
    if (elements > UINT32_MAX || elements * uint32_t(elementSize) > UINT32_MAX)
        return false;
    if (!ReserveForWriting(bytes))
        return false;
    if (bytes > 0)
        std::memcpy(EntryData[Current].Bytes.data() + entry.Cursor, source, bytes);
    entry.Cursor += static_cast<uint32_t>(bytes);
    entry.ElementCount = static_cast<uint32_t>(elements);
    entry.ElementSize = static_cast<uint32_t>(elementSize);
    Modified = true;
    return true;
}

bool TDatFile::WriteLine(const std::string& name, const std::string& text)
{
    AddEntry(name);
    TDatEntry& entry = Entries[Current];
    const std::string line = text + "\r\n";
    if (!ReserveForWriting(line.size()))
        return false;
    std::memcpy(EntryData[Current].Bytes.data() + entry.Cursor, line.data(), line.size());
    entry.Cursor += static_cast<uint32_t>(line.size());
    entry.ElementSize = static_cast<uint32_t>(EntryData[Current].Bytes.size());
    entry.ElementCount = 1;
    Modified = true;
    return true;
}

void TDatFile::ClearEntries()
{
    EntryData.clear();
    Entries.clear();
    Header.EntryCount = 0;
    Current = -1;
}

bool TDatFile::WriteBlock(TByteBuffer& out, const uint8_t* content, uint32_t length, int32_t level, uint32_t& stored)
{
    const size_t lengthAt = out.size();
    out.resize(lengthAt + 4);
    if (level == 0) {
        out.insert(out.end(), content, content + length);
        stored = length;
    } else if (!BzCompressAppend(content, length, level, out, stored)) {
        return false;
    }
    std::memcpy(out.data() + lengthAt, &stored, 4);
    if (OnBlockWritten)
        OnBlockWritten();
    return true;
}

bool TDatFile::Save(uint8_t mode, const std::string& fileName)
{
    const TPackMode packMode = DecodePackMode(mode);
    if (!packMode.Write || (packMode.OnlyWhenModified && !Modified)) {
        CloseHandle();
        return true;
    }
    // An entry of an opened file that was never read is loaded now, while
    // the handle is open, so a rewrite never writes an entry it didn't have.
    const int32_t selected = Current;
    bool ok = true;
    for (size_t i = 0; i < Entries.size(); i++) {
        Current = static_cast<int32_t>(i);
        ok = LoadEntry() && ok;
    }
    Current = selected;
    CloseHandle();
    if (!ok)
        return false; // a damaged entry would be written as if it were whole
    if (!fileName.empty())
        FileName = fileName;

    int32_t level = packMode.Level;
    if (level == 10) {
        level = Header.Level & 0x0F;
        if (level > 9)
            level = ValidBzLevel(level);
        if (BlockSizeKB == 0)
            BlockSizeKB = Header.BlockKB;
    }
    std::memcpy(Header.Magic, DatMagic, 4);
    // The header holds 16 bits: cut the chunks the header describes.
    Header.BlockKB = static_cast<uint16_t>(std::min<uint32_t>(BlockSizeKB, 0xFFFF));
    Header.Level = static_cast<uint8_t>(level);
    Header.DirOffset = sizeof(TDatHeader);
    Header.EntryCount = static_cast<uint32_t>(Entries.size());

    const uint64_t dirBytes = uint64_t{Header.EntryCount} * sizeof(TDatEntry);
    uint64_t offset = sizeof(TDatHeader) + dirBytes;
    if (offset > UINT32_MAX)
        return false;
    TByteBuffer out;
    try {
        out.reserve(offset);
        const uint8_t* header = reinterpret_cast<const uint8_t*>(&Header);
        out.insert(out.end(), header, header + sizeof Header);
        out.resize(offset, 0); // the directory, filled in below

        std::vector<TDatEntry> directory = Entries;
        const uint64_t b = uint64_t{Header.BlockKB} * 1024;
        for (size_t i = 0; ok && i < directory.size(); i++) {
            TDatEntry& entry = directory[i];
            TByteBuffer& bytes = EntryData[i].Bytes;
            const uint64_t s = ContentSize(entry);
            if (bytes.size() < s)
                bytes.resize(s, 0);
            entry.Offset = static_cast<uint32_t>(offset);
            uint64_t storedSize = 0;
            uint32_t stored = 0;
            if (b > 0 && s > b) {
                for (uint64_t k = 0; ok && k * b <= s; k++) {
                    ok = WriteBlock(out, bytes.data() + k * b, static_cast<uint32_t>(std::min(b, s - k * b)), level,
                                    stored);
                    storedSize += 4 + uint64_t{stored};
                }
            } else {
                ok = WriteBlock(out, bytes.data(), static_cast<uint32_t>(s), level, stored);
                storedSize = 4 + uint64_t{stored};
            }
            ok = ok && storedSize <= UINT32_MAX && offset + storedSize <= UINT32_MAX;
            entry.StoredSize = static_cast<uint32_t>(storedSize);
            offset += storedSize;
        }
        if (!ok)
            return false;
        if (dirBytes > 0)
            std::memcpy(out.data() + sizeof(TDatHeader), directory.data(), dirBytes);
        if (!OS_WriteFileAtomic(FileName, out.data(), out.size()))
            return false;
        Entries = std::move(directory);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The buffers go once the file holds them; after a failure they stay, so
    // the caller can try again.
    for (TDatEntryData& data : EntryData) {
        TByteBuffer().swap(data.Bytes);
        data.Loaded = false;
    }
    return true;
}

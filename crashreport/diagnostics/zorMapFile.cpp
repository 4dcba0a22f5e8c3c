#include "crashreport/diagnostics/zorMapFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "crashreport/diagnostics/zorCrypt.h"
#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorZip.h"

namespace {

// Arrays grow to 16 entries while small, then by half their capacity.
template <typename T> void MakeRoom(std::vector<T>& list)
{
    if (list.size() < list.capacity())
        return;
    const size_t capacity = list.capacity();
    list.reserve(capacity < 8 ? 16 : capacity + capacity / 2);
}

const TMfPublic NoPublic{};

bool SameUnit(const std::u16string& a, const std::u16string& b)
{
    return SameTextW(a, b);
}

// A unit name whose last "." is followed by exactly "dpr" or "pas" loses it.
void DropUnitExtension(std::u16string& unit)
{
    const size_t dot = unit.rfind(u'.');
    if (dot == std::u16string::npos || unit.size() - dot != 4)
        return;
    const std::u16string ext = LowStrW(unit.substr(dot + 1));
    if (ext == u"dpr" || ext == u"pas")
        unit.resize(dot);
}

} // namespace

// ---------------------------------------------------------------------------
// TMiniStream

TMiniStream::~TMiniStream()
{
    std::free(memory);
}

void TMiniStream::SetSize(int32_t newSize)
{
    if (newSize < 0)
        newSize = 0;
    if (position > newSize)
        position = newSize;
    const uint32_t wanted = (static_cast<uint32_t>(newSize) + 8191u) & ~8191u;
    if (wanted != capacity) {
        if (wanted == 0) {
            std::free(memory);
            memory = nullptr;
        } else {
            auto* grown = static_cast<uint8_t*>(std::realloc(memory, wanted));
            if (grown == nullptr)
                return; // out of memory: the size stays
            memory = grown;
        }
        capacity = wanted;
    }
    size = newSize;
}

int32_t TMiniStream::Read(void* dest, int32_t count)
{
    if (position < 0 || count < 0 || position >= size)
        return 0;
    const int32_t got = std::min(count, size - position);
    std::memcpy(dest, memory + position, static_cast<size_t>(got));
    position += got;
    return got;
}

void TMiniStream::Write(const void* source, int32_t count)
{
    if (count <= 0 || position < 0)
        return;
    if (position + count > size) {
        SetSize(position + count);
        if (size < position + count)
            return;
    }
    std::memcpy(memory + position, source, static_cast<size_t>(count));
    position += count;
}

// ---------------------------------------------------------------------------
// Adding and sorting

void TMapFile::AddSegment(bool isCode, bool addBase, bool sortedInsert, bool merge, std::u16string unitName,
                          uint32_t length, uintptr_t start)
{
    if (!isCode && codeOnly)
        return;
    DropUnitExtension(unitName);
    if (addBase)
        start += isCode ? baseOfCode : baseOfData;
    const int kind = isCode ? 1 : 0;
    if (merge) {
        const int32_t last = lastAddedSegment[kind];
        if (last >= 0 && static_cast<size_t>(last) < segments.size()) {
            TMfSegment& previous = segments[static_cast<size_t>(last)];
            if (previous.unitName == unitName && start >= previous.start &&
                start <= previous.start + previous.length + 2) {
                const uintptr_t end = std::max<uintptr_t>(start + length, previous.start + previous.length);
                previous.length = static_cast<uint32_t>(end - previous.start);
                return;
            }
        }
    }
    TMfSegment segment;
    segment.valid = true;
    segment.isCode = isCode;
    segment.start = start;
    segment.length = length;
    segment.unitName = std::move(unitName);
    MakeRoom(segments);
    size_t at = segments.size();
    if (merge && sortedInsert) {
        auto less = [](const TMfSegment& a, const TMfSegment& b) {
            if (a.isCode != b.isCode)
                return a.isCode;
            if (a.start != b.start)
                return a.start < b.start;
            return a.length > b.length;
        };
        at = static_cast<size_t>(std::upper_bound(segments.begin(), segments.end(), segment, less) - segments.begin());
    }
    segments.insert(segments.begin() + static_cast<ptrdiff_t>(at), std::move(segment));
    if (merge)
        lastAddedSegment[kind] = static_cast<int32_t>(at);
}

void TMapFile::AddPublic(bool isCode, std::u16string name, uintptr_t address, bool addBase)
{
    if (!isCode && codeOnly)
        return;
    // Names of the "@$x?$..." form are the compiler's own records.
    if (name.size() >= 6 && name[0] == u'@' && name[1] == u'$' && name[2] == u'x' && name[4] == u'$')
        return;
    if (name.size() >= 2 && name[0] == u'@' && name[1] == u'@')
        name.erase(0, 1);
    std::u16string unit;
    UnmangleNameW(name, unit);
    if (addBase)
        address += isCode ? baseOfCode : baseOfData;
    if (const TMfSegment* segment = FindSegment(isCode, address)) {
        const std::u16string prefix = segment->unitName + u".";
        if (unit.empty() && name.size() > prefix.size() && StartsWithTextW(prefix, name)) {
            name.erase(0, prefix.size());
            unit = segment->unitName;
        }
        if (name == segment->unitName) {
            name = u"initialization";
        } else if (!unit.empty() && !SameUnit(unit, segment->unitName)) {
            if (StartsWithTextW(prefix, name))
                name.erase(0, prefix.size());
            name = unit + u"." + name;
        }
    }
    TMfPublic entry;
    entry.valid = true;
    entry.isCode = isCode;
    entry.name = std::move(name);
    entry.address = address;
    MakeRoom(publics);
    publics.push_back(std::move(entry));
}

void TMapFile::AddLineEntry(int32_t line, uintptr_t address, bool rising)
{
    if (rising && !lines.empty() && address <= lines.back().address)
        return;
    MakeRoom(lines);
    lines.push_back({line, address});
}

void TMapFile::SortSegments()
{
    std::stable_sort(segments.begin(), segments.end(), [](const TMfSegment& a, const TMfSegment& b) {
        if (a.isCode != b.isCode)
            return a.isCode;
        if (a.start != b.start)
            return a.start < b.start;
        return a.length > b.length;
    });
    lastAddedSegment[0] = lastAddedSegment[1] = -1;
}

void TMapFile::SortPublics()
{
    std::stable_sort(publics.begin(), publics.end(),
                     [](const TMfPublic& a, const TMfPublic& b) { return a.address < b.address; });
    IndexPublics();
}

void TMapFile::SortLines()
{
    std::stable_sort(lines.begin(), lines.end(),
                     [](const TMfLine& a, const TMfLine& b) { return a.address < b.address; });
    lineAddresses.resize(lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        lineAddresses[i] = lines[i].address;
}

void TMapFile::IndexPublics()
{
    publicAddresses.resize(publics.size());
    for (size_t i = 0; i < publics.size(); ++i)
        publicAddresses[i] = publics[i].address;
}

void TMapFile::MergeSegments(bool gapMode)
{
    size_t i = 0;
    while (i + 1 < segments.size()) {
        TMfSegment& current = segments[i];
        TMfSegment& next = segments[i + 1];
        if (current.length == 0 || current.start == next.start) {
            segments.erase(segments.begin() + static_cast<ptrdiff_t>(i));
            continue;
        }
        if (next.isCode != current.isCode) {
            ++i;
            continue;
        }
        const uintptr_t end = current.start + current.length;
        if (gapMode && end < next.start) {
            ++i;
            continue;
        }
        current.length = static_cast<uint32_t>(next.start - current.start);
        if (SameUnit(current.unitName, next.unitName)) {
            const uintptr_t nextEnd = next.start + next.length;
            current.length = static_cast<uint32_t>(std::max(nextEnd, end) - current.start);
            current.hasLines = current.hasLines || next.hasLines;
            segments.erase(segments.begin() + static_cast<ptrdiff_t>(i + 1));
            continue;
        }
        ++i;
    }
    if (!segments.empty() && segments.back().length == 0)
        segments.pop_back();
    lastAddedSegment[0] = lastAddedSegment[1] = -1;
}

// ---------------------------------------------------------------------------
// Look-ups

const TMfSegment* TMapFile::FindSegment(bool isCode, uintptr_t address) const
{
    // Code segments come first; halving search within the kind.
    auto kindEnd = std::partition_point(segments.begin(), segments.end(), [](const TMfSegment& s) { return s.isCode; });
    auto first = isCode ? segments.begin() : kindEnd;
    auto last = isCode ? kindEnd : segments.end();
    auto it = std::upper_bound(first, last, address, [](uintptr_t a, const TMfSegment& s) { return a < s.start; });
    // Longer segments sort first among equal starts; step back over the ones
    // that do not hold the address.
    while (it != first) {
        --it;
        if (address - it->start < it->length)
            return &*it;
        if (it == first || (it - 1)->start != it->start)
            break;
    }
    return nullptr;
}

TMfSegment TMapFile::SegmentOfAddress(bool isCode, uintptr_t address) const
{
    const TMfSegment* segment = FindSegment(isCode, address);
    return segment != nullptr ? *segment : TMfSegment{};
}

const TMfPublic& TMapFile::PublicAt(uintptr_t address) const
{
    if (publicAddresses.size() != publics.size())
        return NoPublic;
    auto it = std::upper_bound(publicAddresses.begin(), publicAddresses.end(), address);
    if (it == publicAddresses.begin())
        return NoPublic;
    if (it == publicAddresses.end() && topOfCode != 0 && address >= topOfCode)
        return NoPublic;
    const TMfPublic& found = publics[static_cast<size_t>(it - publicAddresses.begin()) - 1];
    // A symbol table tells where a function ends: the gap behind it (another
    // module's code, padding) is nobody's.
    if (found.size != 0 && address - found.address >= found.size)
        return NoPublic;
    return found;
}

int32_t TMapFile::LineAt(uintptr_t address, uintptr_t* nextLineAddress) const
{
    if (nextLineAddress != nullptr)
        *nextLineAddress = address + 1;
    const TMfSegment* segment = FindSegment(true, address);
    if (lines.empty() || lineAddresses.size() != lines.size())
        return segment != nullptr && segment->hasLines ? -1 : 0;
    auto it = std::upper_bound(lineAddresses.begin(), lineAddresses.end(), address);
    if (it == lineAddresses.begin())
        return 0;
    if (it == lineAddresses.end() && topOfCode != 0 && address >= topOfCode)
        return 0;
    const size_t index = static_cast<size_t>(it - lineAddresses.begin()) - 1;
    if (nextLineAddress != nullptr && it != lineAddresses.end())
        *nextLineAddress = *it;
    const uintptr_t entry = lines[index].address;
    if (segment == nullptr || entry < segment->start || entry > segment->start + segment->length)
        return 0;
    return lines[index].line;
}

uintptr_t TMapFile::AddressOfName(bool isCode, const std::u16string& unitName, bool caseSensitive,
                                  const std::u16string& name) const
{
    for (const TMfSegment& segment : segments) {
        if (segment.isCode != isCode || !SameUnit(segment.unitName, unitName))
            continue;
        auto it = std::lower_bound(publicAddresses.begin(), publicAddresses.end(), segment.start);
        for (size_t i = static_cast<size_t>(it - publicAddresses.begin()); i < publics.size(); ++i) {
            const TMfPublic& p = publics[i];
            if (p.address > segment.start + segment.length)
                break;
            if (p.isCode == isCode && (caseSensitive ? p.name == name : SameTextW(p.name, name)))
                return p.address;
        }
    }
    if (unitName.find(u'.') == std::u16string::npos) {
        for (const char16_t* ext : {u".cpp", u".h", u".c"}) {
            const uintptr_t found = AddressOfName(isCode, unitName + ext, caseSensitive, name);
            if (found != 0)
                return found;
        }
    }
    return 0;
}

// ---------------------------------------------------------------------------
// The packed form

std::string BuildResourceKey(uint32_t payloadSize)
{
    // Sixteen characters: two whole cipher blocks, enciphered under themselves.
    std::string key = "zorMap" + CardToHexTextA(payloadSize, 8).substr(1);
    key.resize(16, '#');
    BlowfishLegacyEncrypt(key, std::string(key));
    return key;
}

std::string PackedIdentityText(uint32_t length, uint32_t identity1, uint32_t identity2)
{
    return CardToHexTextA(length, 8) + ", " + CardToHexTextA(identity1, 8) + ", " + CardToHexTextA(identity2, 8);
}

namespace {

constexpr size_t SignatureLength = 14;
constexpr size_t HeaderLength = SignatureLength + 20;

uint32_t ReadLE32At(const std::string& text, size_t at)
{
    uint32_t value = 0;
    std::memcpy(&value, text.data() + at, 4);
    return value;
}

// Reads the decompressed stream from a TMiniStream; a short read marks the
// reader bad and every later read gives 0.
class TPackedReader {
public:
    explicit TPackedReader(TMiniStream& stream) : Stream(stream) {}
    bool Good = true;

    size_t Left() const { return static_cast<size_t>(Stream.Remaining()); }
    uint32_t Fixed32() { return Fixed<uint32_t>(); }
    uint8_t Byte() { return Fixed<uint8_t>(); }
    int32_t Compact()
    {
        const auto value = static_cast<int8_t>(Byte());
        if (!Good || value != -128)
            return Good ? value : 0;
        return static_cast<int32_t>(Fixed32());
    }
    // A length byte and UTF-8 text; a text longer than what is left leaves
    // the previous text as it was.
    void CompactString(std::u16string& text)
    {
        const uint8_t length = Byte();
        if (!Good || Left() < length)
            return;
        std::string bytes(length, '\0');
        Stream.Read(bytes.data(), length);
        text = Utf8ToWide(bytes);
    }

private:
    TMiniStream& Stream;

    template <typename T> T Fixed()
    {
        T value = 0;
        if (!Good || Stream.Read(&value, sizeof(T)) != static_cast<int32_t>(sizeof(T))) {
            Good = false;
            return 0;
        }
        return value;
    }
};

void PutFixed32(std::string& out, uint32_t value)
{
    char bytes[4];
    std::memcpy(bytes, &value, 4);
    out.append(bytes, 4);
}

void PutCompact(std::string& out, int32_t value)
{
    if (value >= -127 && value <= 127) {
        out.push_back(static_cast<char>(static_cast<int8_t>(value)));
        return;
    }
    out.push_back(static_cast<char>(0x80));
    PutFixed32(out, static_cast<uint32_t>(value));
}

void PutCompactString(std::string& out, const std::u16string& text)
{
    std::string utf8 = WideToUtf8(text);
    if (utf8.size() > 255) {
        size_t cut = 255;
        while (cut > 0 && (static_cast<uint8_t>(utf8[cut]) & 0xC0) == 0x80)
            --cut; // never split a character
        utf8.resize(cut);
    }
    out.push_back(static_cast<char>(utf8.size()));
    out += utf8;
}

// The zlib-packed form InflateChecked reads: length, 4 free bytes, CRC, deflate.
std::string DeflateChecked(const std::string& plain)
{
    std::string out(12, '\0');
    const uint32_t length = static_cast<uint32_t>(plain.size());
    const uint32_t crc = ~ZipCrc32Update(0xFFFFFFFFu, plain.data(), plain.size());
    std::memcpy(out.data(), &length, 4);
    std::memcpy(out.data() + 8, &crc, 4);
    const int64_t bound = DeflateBound(static_cast<int64_t>(plain.size()));
    out.resize(12 + static_cast<size_t>(bound));
    const int32_t written =
        DeflateBuffer(plain.data(), out.data() + 12, static_cast<int32_t>(plain.size()), static_cast<int32_t>(bound));
    if (written <= 0)
        return "";
    out.resize(12 + static_cast<size_t>(written));
    return out;
}

} // namespace

std::string WritePackedDebugInfo(const TMapFile& map, bool minimal, uint32_t identity1, uint32_t identity2)
{
    std::string stream;
    auto relative = [&](uintptr_t address) { return static_cast<uint32_t>(address - map.baseOfCode); };
    std::vector<const TMfSegment*> code;
    for (const TMfSegment& s : map.segments)
        if (s.isCode)
            code.push_back(&s);
    PutFixed32(stream, static_cast<uint32_t>(code.size()));
    for (const TMfSegment* s : code) {
        PutFixed32(stream, relative(s->start));
        PutFixed32(stream, s->length);
        if (minimal)
            stream.push_back(s->hasLines ? 1 : 0);
        else
            PutCompactString(stream, s->unitName);
    }
    PutFixed32(stream, static_cast<uint32_t>(map.publics.size()));
    for (size_t i = 0; i < map.publics.size(); ++i) {
        if (!minimal)
            PutCompactString(stream, map.publics[i].name);
        if (i == 0)
            PutFixed32(stream, relative(map.publics[0].address));
        else
            PutCompact(stream,
                       static_cast<int32_t>(relative(map.publics[i].address) - relative(map.publics[i - 1].address)));
    }
    PutFixed32(stream, static_cast<uint32_t>(map.lines.size()));
    for (size_t i = 0; i < map.lines.size(); ++i) {
        if (i == 0) {
            PutFixed32(stream, static_cast<uint32_t>(map.lines[0].line));
            PutFixed32(stream, relative(map.lines[0].address));
        } else {
            PutCompact(stream, static_cast<int32_t>(static_cast<uint32_t>(map.lines[i].line) -
                                                    static_cast<uint32_t>(map.lines[i - 1].line)));
            PutCompact(stream,
                       static_cast<int32_t>(relative(map.lines[i].address) - relative(map.lines[i - 1].address)));
        }
    }
    if (map.entryPoint != 0)
        PutFixed32(stream, relative(map.entryPoint));

    return PackDebugStream(stream, minimal, identity1, identity2);
}

std::string PackDebugStream(const std::string& stream, bool minimal, uint32_t identity1, uint32_t identity2)
{
    std::string payload = DeflateChecked(stream);
    BlowfishLegacyEncrypt(payload, BuildResourceKey(static_cast<uint32_t>(payload.size())));
    std::string out(ZorPackedSignature, SignatureLength);
    PutFixed32(out, static_cast<uint32_t>(payload.size()));
    PutFixed32(out, ZorPackedVersion);
    PutFixed32(out, identity1);
    PutFixed32(out, identity2);
    PutFixed32(out, minimal ? ZorPackedFlagMinimal : 0);
    return out + payload;
}

bool TMapFile::ReadPackedData(const std::string& data)
{
    // Version 2 kept its flags inside the payload; it is not read.
    if (data.size() <= SignatureLength + 8 || data.compare(0, SignatureLength, ZorPackedSignature) != 0 ||
        data.size() < HeaderLength)
        return false;
    const uint32_t payloadSize = ReadLE32At(data, SignatureLength);
    const uint32_t version = ReadLE32At(data, SignatureLength + 4);
    if (version != 3 || payloadSize > data.size() - HeaderLength)
        return false;
    const uint32_t identity1 = ReadLE32At(data, SignatureLength + 8);
    const uint32_t identity2 = ReadLE32At(data, SignatureLength + 12);
    const uint32_t flags = ReadLE32At(data, SignatureLength + 16);
    const std::string identity = PackedIdentityText(static_cast<uint32_t>(data.size()), identity1, identity2);
    if (!identityText.empty() && identity != identityText)
        return false;
    if ((flags & ZorPackedFlagMinimal) != 0) {
        if (identityText.empty()) {
            // Minimal data names nothing by itself: it is read only for a
            // module whose settings say which file it belongs to.
            const std::string wanted = MinDebugInfoOf(module);
            if (wanted.size() != 31)
                return false;
            identityText = wanted;
            if (identity != identityText) {
                // This data is not the named one: only the named file will do.
                const std::string file = PackedDebugFileOf(WideToUtf8(moduleFileName));
                std::string other;
                FILE* in = std::fopen(file.c_str(), "rb");
                if (in != nullptr) {
                    char buffer[65536];
                    size_t got = 0;
                    while ((got = std::fread(buffer, 1, sizeof(buffer), in)) > 0 && other.size() < (256u << 20))
                        other.append(buffer, got);
                    std::fclose(in);
                }
                return !other.empty() && ReadPackedData(other);
            }
        }
    } else {
        identityText.clear();
    }
    std::string payload = data.substr(HeaderLength, payloadSize);
    BlowfishLegacyDecrypt(payload, BuildResourceKey(payloadSize));
    const std::string stream = InflateChecked(payload);
    if (stream.empty())
        return false;
    const bool minimal = !identityText.empty();
    TMiniStream memory;
    memory.SetSize(static_cast<int32_t>(stream.size()));
    if (memory.Size() != static_cast<int32_t>(stream.size()))
        return false;
    memory.Write(stream.data(), static_cast<int32_t>(stream.size()));
    memory.SetPosition(0);
    TPackedReader reader(memory);

    const uint32_t segmentCount = reader.Fixed32();
    if (segmentCount > reader.Left() / 9)
        return false;
    segments.reserve(segments.size() + segmentCount);
    for (uint32_t i = 0; i < segmentCount && reader.Good; ++i) {
        const uint32_t start = reader.Fixed32();
        const uint32_t length = reader.Fixed32();
        std::u16string unit;
        bool hasLines = false;
        if (minimal) {
            hasLines = reader.Byte() != 0;
            unit = u"segment%" + CardToDecTextW(i);
        } else {
            reader.CompactString(unit);
        }
        AddSegment(true, true, false, false, unit, length, start);
        if (!segments.empty())
            segments.back().hasLines = hasLines;
    }
    if (!reader.Good)
        return false;
    SortSegments();

    const uint32_t publicCount = reader.Fixed32();
    if (publicCount > reader.Left())
        return false;
    publics.reserve(publics.size() + publicCount);
    std::u16string name;
    uint32_t address = 0;
    for (uint32_t i = 0; i < publicCount && reader.Good; ++i) {
        if (minimal)
            name = u"public%" + CardToDecTextW(i);
        else
            reader.CompactString(name);
        address = i == 0 ? reader.Fixed32() : address + static_cast<uint32_t>(reader.Compact());
        if (reader.Good)
            AddPublic(true, name, address);
    }
    if (!reader.Good)
        return false;
    SortPublics();

    const uint32_t lineCount = reader.Fixed32();
    if (!reader.Good || lineCount > reader.Left() / 2 + 1)
        return false;
    lines.reserve(lines.size() + lineCount);
    uint32_t line = 0;
    address = 0;
    for (uint32_t i = 0; i < lineCount && reader.Good; ++i) {
        if (i == 0) {
            line = reader.Fixed32();
            address = reader.Fixed32();
        } else {
            line += static_cast<uint32_t>(reader.Compact());
            address += static_cast<uint32_t>(reader.Compact());
        }
        if (reader.Good)
            AddLineEntry(static_cast<int32_t>(line), baseOfCode + address, false);
    }
    if (!reader.Good)
        return false;
    if (reader.Left() == 4)
        entryPoint = baseOfCode + reader.Fixed32();
    return true;
}

std::string MinDebugInfoOf(TModuleHandle module)
{
    std::vector<TSettingEntry> entries;
    LoadSettingsResource(FindSettingsResource(module), entries);
    for (const TSettingEntry& entry : entries)
        if (entry.Name == "MinDebugInfo" && entry.Value.Text.size() == 31)
            return WideToUtf8(entry.Value.Text);
    return "";
}

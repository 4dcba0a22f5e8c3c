// Building a module's debug information from the binutils listings of its
// linked file: the build step that writes "<program>.zor" uses this, and the
// tests feed it small listings.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "crashreport/diagnostics/zorMapFile.h"
#include "crashreport/diagnostics/zorStrings.h"

namespace {

// The entry at a sequence's end: line 0, unless a row of another sequence
// starts at the same address.
constexpr int32_t SequenceEnd = INT32_MIN;

// The lines of a text, without their line ends, one at a time.
class TLineWalker {
public:
    explicit TLineWalker(const std::string& text) : Text(text) {}
    bool Next(std::string_view& line)
    {
        if (At >= Text.size())
            return false;
        size_t end = Text.find('\n', At);
        if (end == std::string::npos)
            end = Text.size();
        line = std::string_view(Text).substr(At, end - At);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        At = end + 1;
        return true;
    }

private:
    const std::string& Text;
    size_t At = 0;
};

bool ParseHex(std::string_view text, uint64_t& value)
{
    if (text.size() > 2 && text[0] == '0' && text[1] == 'x')
        text.remove_prefix(2);
    if (text.empty() || text.size() > 16)
        return false;
    value = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return false;
        value = value * 16 + static_cast<uint64_t>(digit);
    }
    return true;
}

std::string_view NextField(std::string_view& rest)
{
    size_t start = 0;
    while (start < rest.size() && rest[start] == ' ')
        ++start;
    size_t end = start;
    while (end < rest.size() && rest[end] != ' ')
        ++end;
    const std::string_view field = rest.substr(start, end - start);
    rest.remove_prefix(end);
    return field;
}

std::string BaseName(std::string_view path)
{
    const size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string WithoutExtension(const std::string& name)
{
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// "0000000000001170 000000000000000d T foo(int)", the size may be missing.
void ReadNmListing(TMapFile& map, const std::string& nmText, uint64_t codeStart, uint64_t codeEnd)
{
    TLineWalker walker(nmText);
    std::string_view line;
    while (walker.Next(line)) {
        std::string_view rest = line;
        uint64_t address = 0, size = 0;
        if (!ParseHex(NextField(rest), address))
            continue;
        std::string_view field = NextField(rest);
        if (field.size() != 1 && ParseHex(field, size))
            field = NextField(rest);
        if (field.size() != 1 || std::strchr("TtWwi", field[0]) == nullptr)
            continue;
        if (!rest.empty() && rest[0] == ' ')
            rest.remove_prefix(1);
        if (rest.empty() || address < codeStart || address >= codeEnd)
            continue;
        const size_t before = map.publics.size();
        map.AddPublic(true, Utf8ToWide(std::string(rest)), static_cast<uintptr_t>(address), false);
        if (map.publics.size() > before)
            map.publics.back().size = static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
    }
}

// The decoded line table: "CU: path:" (or "path:" right before a table
// header) starts a compile unit, another "path:" switches the current file,
// rows are "file line address [view] [x]", and a row with line "-" ends a
// sequence at its address.
void ReadDecodedLines(TMapFile& map, const std::string& readelfText, uint64_t codeStart, uint64_t codeEnd)
{
    std::string unitFile; // the compile unit's own file, without folder
    std::u16string unit;
    bool inSequence = false;
    uint64_t sequenceStart = 0;
    std::string pendingName; // a "path:" line that may start a unit
    TLineWalker walker(readelfText);
    std::string_view line;
    while (walker.Next(line)) {
        if (line.empty())
            continue;
        if (line.rfind("CU: ", 0) == 0 && line.back() == ':') {
            unitFile = BaseName(line.substr(4, line.size() - 5));
            unit = Utf8ToWide(WithoutExtension(unitFile));
            inSequence = false;
            pendingName.clear();
            continue;
        }
        if (line.rfind("File name", 0) == 0) {
            if (!pendingName.empty()) {
                unitFile = pendingName;
                unit = Utf8ToWide(WithoutExtension(unitFile));
                inSequence = false;
            }
            pendingName.clear();
            continue;
        }
        if (line.back() == ':' && line.find(' ') == std::string_view::npos) {
            pendingName = BaseName(line.substr(0, line.size() - 1));
            continue;
        }
        pendingName.clear();
        std::string_view rest = line;
        const std::string_view file = NextField(rest);
        const std::string_view number = NextField(rest);
        uint64_t address = 0;
        if (file.empty() || number.empty() || !ParseHex(NextField(rest), address) || unit.empty())
            continue;
        if (number == "-") {
            if (inSequence && address > sequenceStart && sequenceStart >= codeStart && address <= codeEnd)
                map.AddSegment(true, false, false, false, unit, static_cast<uint32_t>(address - sequenceStart),
                               static_cast<uintptr_t>(sequenceStart));
            // Nothing of this unit lies behind the sequence's end.
            map.AddLineEntry(SequenceEnd, static_cast<uintptr_t>(address), false);
            inSequence = false;
            continue;
        }
        const int32_t lineNumber = static_cast<int32_t>(std::strtol(std::string(number).c_str(), nullptr, 10));
        if (!inSequence) {
            inSequence = true;
            sequenceStart = address;
        }
        map.AddLineEntry(file == unitFile ? lineNumber : 0, static_cast<uintptr_t>(address), false);
    }
}

} // namespace

void BuildMapFromToolText(TMapFile& map, const std::string& nmText, const std::string& readelfText, uint64_t codeStart,
                          uint64_t codeEnd)
{
    map.baseOfCode = static_cast<uintptr_t>(codeStart);
    map.topOfCode = static_cast<uintptr_t>(codeEnd);
    map.codeOnly = true;
    ReadDecodedLines(map, readelfText, codeStart, codeEnd);
    map.SortSegments();
    map.MergeSegments(true);
    // Of several entries at one address the last holds; a line equal to the
    // one before it adds nothing.
    std::stable_sort(map.lines.begin(), map.lines.end(),
                     [](const TMfLine& a, const TMfLine& b) { return a.address < b.address; });
    std::vector<TMfLine> kept;
    kept.reserve(map.lines.size());
    for (TMfLine entry : map.lines) {
        if (!kept.empty() && kept.back().address == entry.address) {
            if (entry.line != SequenceEnd)
                kept.back() = entry;
            continue;
        }
        if (kept.empty() || kept.back().line != entry.line)
            kept.push_back(entry);
    }
    for (TMfLine& entry : kept)
        if (entry.line == SequenceEnd)
            entry.line = 0;
    map.lines = std::move(kept);
    map.SortLines();
    ReadNmListing(map, nmText, codeStart, codeEnd);
    map.SortPublics();
    map.valid = !map.publics.empty() || !map.segments.empty();
}

// zorExcept settings source: parsing the readable form and writing the
// resource.
#include "crashreport/core/zorExcept_SettingsSource.h"

#include <algorithm>
#include <charconv>
#include <functional>

#include "crashreport/diagnostics/zorStrings.h"

namespace {

bool IsNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

void SkipBlanks(const std::string& line, size_t& at)
{
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r'))
        ++at;
}

std::string Word(const std::string& line, size_t& at)
{
    SkipBlanks(line, at);
    const size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r')
        ++at;
    return line.substr(start, at - start);
}

bool HexUnit(const std::string& line, size_t at, char16_t& unit)
{
    if (line.size() - at < 4)
        return false;
    uint32_t value = 0;
    const auto result = std::from_chars(line.data() + at, line.data() + at + 4, value, 16);
    if (result.ec != std::errc() || result.ptr != line.data() + at + 4)
        return false;
    unit = static_cast<char16_t>(value);
    return true;
}

// A quoted text from at; at ends behind the closing quote.
bool QuotedText(const std::string& line, size_t& at, std::u16string& text, std::string& error)
{
    SkipBlanks(line, at);
    if (at >= line.size() || line[at] != '"') {
        error = "a text must be quoted";
        return false;
    }
    ++at;
    std::string run; // UTF-8 bytes not yet converted
    auto flush = [&] {
        text += Utf8ToWide(run);
        run.clear();
    };
    while (at < line.size() && line[at] != '"') {
        if (line[at] != '\\') {
            run.push_back(line[at++]);
            continue;
        }
        flush();
        if (++at >= line.size())
            break;
        const char c = line[at++];
        switch (c) {
        case '\\':
        case '"':
            text.push_back(static_cast<char16_t>(c));
            break;
        case 'r':
            text.push_back(u'\r');
            break;
        case 'n':
            text.push_back(u'\n');
            break;
        case 't':
            text.push_back(u'\t');
            break;
        case 'u': {
            char16_t unit = 0;
            if (!HexUnit(line, at, unit)) {
                error = "\\u needs four hex digits";
                return false;
            }
            text.push_back(unit);
            at += 4;
            break;
        }
        default:
            error = std::string("unknown escape \\") + c;
            return false;
        }
    }
    if (at >= line.size()) {
        error = "the text has no closing quote";
        return false;
    }
    flush();
    ++at;
    return true;
}

bool MaxUnit(const std::u16string& text, char16_t limit)
{
    return std::all_of(text.begin(), text.end(), [&](char16_t u) { return u <= limit; });
}

// The value of one line, checked against its type.
bool ParseValue(const std::string& line, size_t& at, const std::string& typeWord, TSettingsSourceEntry& entry,
                std::string& error)
{
    uint8_t type = 0;
    if (typeWord == "bool" || typeWord == "int" || typeWord == "text") {
        type = 0;
    } else {
        unsigned number = 0;
        const auto result = std::from_chars(typeWord.data(), typeWord.data() + typeWord.size(), number);
        static const uint8_t known[] = {2, 3, 4, 6, 7, 8, 9, 12, 18, 20};
        if (result.ec != std::errc() || result.ptr != typeWord.data() + typeWord.size() ||
            std::find(std::begin(known), std::end(known), number) == std::end(known)) {
            error = "unknown type \"" + typeWord + "\"";
            return false;
        }
        type = static_cast<uint8_t>(number);
    }
    TSettingValue& value = entry.Value;
    if (typeWord == "bool") {
        const std::string word = Word(line, at);
        if (word != "on" && word != "off") {
            error = "a bool is on or off";
            return false;
        }
        value.Kind = TSettingKind::Bool;
        value.Bool = word == "on";
        entry.Type = value.Bool ? 9 : 8;
        return true;
    }
    if (type == 8 || type == 9) {
        value.Kind = TSettingKind::Bool;
        value.Bool = type == 9;
        entry.Type = type;
        return true;
    }
    if (typeWord == "int" || type == 2 || type == 3 || type == 4) {
        const std::string word = Word(line, at);
        int64_t number = 0;
        const auto result = std::from_chars(word.data(), word.data() + word.size(), number);
        if (word.empty() || result.ec != std::errc() || result.ptr != word.data() + word.size()) {
            error = "\"" + word + "\" is no number";
            return false;
        }
        const uint8_t fits = number >= -128 && number <= 127 ? 2 : number >= -32768 && number <= 32767 ? 3 : 4;
        if (number < INT32_MIN || number > INT32_MAX || (type != 0 && fits > type)) {
            error = "the number does not fit its type";
            return false;
        }
        value.Kind = TSettingKind::Int;
        value.Int = static_cast<int32_t>(number);
        entry.Type = type != 0 ? type : fits;
        return true;
    }
    if (!QuotedText(line, at, value.Text, error))
        return false;
    value.Kind = TSettingKind::Text;
    const size_t utf8Length = WideToUtf8(value.Text).size();
    if (type == 0) {
        if (MaxUnit(value.Text, 0x7F))
            type = value.Text.size() <= 255 ? 6 : 12;
        else
            type = utf8Length <= 255 ? 7 : 20;
    }
    if ((type == 6 || type == 12) && !MaxUnit(value.Text, 0xFF)) {
        error = "an 8-bit text holds Latin-1 characters only";
        return false;
    }
    if ((type == 6 && value.Text.size() > 255) || (type == 7 && utf8Length > 255)) {
        error = "the text is too long for its type";
        return false;
    }
    entry.Type = type;
    return true;
}

void PutNumber(std::string& out, uint32_t value, size_t width)
{
    for (size_t i = 0; i < width; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

} // namespace

namespace {

// One entry as the resource stores it: name, value type, value.
void AppendEntry(std::string& out, const TSettingsSourceEntry& e)
{
    out.push_back(static_cast<char>(e.Name.size()));
    out += e.Name;
    out.push_back(static_cast<char>(e.Type));
    const TSettingValue& v = e.Value;
    switch (e.Type) {
    case 2:
    case 3:
    case 4:
        PutNumber(out, static_cast<uint32_t>(v.Int), e.Type == 2 ? 1 : e.Type == 3 ? 2 : 4);
        break;
    case 6:
    case 12: {
        PutNumber(out, static_cast<uint32_t>(v.Text.size()), e.Type == 6 ? 1 : 4);
        for (char16_t unit : v.Text)
            out.push_back(static_cast<char>(unit));
        break;
    }
    case 7:
    case 20: {
        const std::string utf8 = WideToUtf8(v.Text);
        PutNumber(out, static_cast<uint32_t>(utf8.size()), e.Type == 7 ? 1 : 4);
        out += utf8;
        break;
    }
    case 18:
        PutNumber(out, static_cast<uint32_t>(v.Text.size()), 4);
        for (char16_t unit : v.Text)
            PutNumber(out, unit, 2);
        break;
    default: // 8, 9: the type is the value
        break;
    }
}

// A name, type and value line.
bool ParseEntryLine(const std::string& line, size_t at, TSettingsSourceEntry& entry, std::string& error)
{
    entry.Name = Word(line, at);
    if (entry.Name.empty() || entry.Name.size() > 255 ||
        !std::all_of(entry.Name.begin(), entry.Name.end(), IsNameChar)) {
        error = "\"" + entry.Name + "\" is no key name";
        return false;
    }
    const std::string typeWord = Word(line, at);
    if (!ParseValue(line, at, typeWord, entry, error))
        return false;
    SkipBlanks(line, at);
    if (at < line.size()) {
        error = "more than a name, a type and a value";
        return false;
    }
    return true;
}

} // namespace

namespace {

// Hands each line that is neither blank nor a comment, with the position of
// its first word, to the handler; the first reason it gives ends the reading
// with "line n: reason".
bool ForEachSourceLine(const std::string& source, std::string& error,
                       const std::function<bool(const std::string& line, size_t at, std::string& reason)>& handle)
{
    const TDAAnsiString lines = SplitLinesA(source);
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        size_t at = 0;
        SkipBlanks(line, at);
        if (at >= line.size() || line[at] == '#')
            continue;
        std::string reason;
        if (!handle(line, at, reason)) {
            error = "line " + std::to_string(n + 1) + ": " + reason;
            return false;
        }
    }
    return true;
}

} // namespace

bool ParseSettingsSource(const std::string& source, bool overlay, std::vector<TSettingsSourceEntry>& entries,
                         std::string& error)
{
    return ForEachSourceLine(source, error, [&](const std::string& line, size_t at, std::string& reason) {
        TSettingsSourceEntry entry;
        if (!ParseEntryLine(line, at, entry, reason))
            return false;
        auto present = std::find_if(entries.begin(), entries.end(),
                                    [&](const TSettingsSourceEntry& e) { return e.Name == entry.Name; });
        if (overlay && present != entries.end())
            *present = std::move(entry);
        else
            entries.push_back(std::move(entry));
        return true;
    });
}

std::string WriteSettingsResource(const std::vector<TSettingsSourceEntry>& entries)
{
    std::string out(SettingsSignature, sizeof(SettingsSignature));
    for (const TSettingsSourceEntry& e : entries)
        AppendEntry(out, e);
    out.push_back('\0');
    return out;
}

bool CompileFormSource(const std::string& source, std::string& resource, std::string& error)
{
    resource = "TPF0";
    // Per open object: whether its properties have been ended yet.
    std::vector<bool> open;
    bool done = false;
    const bool read = ForEachSourceLine(source, error, [&](const std::string& line, size_t at, std::string& reason) {
        auto fail = [&](const char* why) {
            reason = why;
            return false;
        };
        if (done)
            return fail("text after the form's end");
        size_t word = at;
        const std::string keyword = Word(line, word);
        if (keyword == "object") {
            const std::string className = Word(line, word);
            const std::string objectName = Word(line, word);
            SkipBlanks(line, word);
            if (className.empty() || objectName.empty() || word < line.size())
                return fail("an object has a class and a name");
            if (className.size() > 255 || objectName.size() > 255)
                return fail("a name is too long");
            if (!open.empty() && !open.back()) {
                resource.push_back('\0'); // the parent's properties end
                open.back() = true;
            }
            resource.push_back(static_cast<char>(className.size()));
            resource += className;
            resource.push_back(static_cast<char>(objectName.size()));
            resource += objectName;
            open.push_back(false);
            return true;
        }
        if (keyword == "end") {
            SkipBlanks(line, word);
            if (open.empty() || word < line.size())
                return fail("\"end\" without an object");
            if (!open.back())
                resource.push_back('\0');
            resource.push_back('\0'); // the children end
            open.pop_back();
            done = open.empty();
            return true;
        }
        if (open.empty())
            return fail("a property outside an object");
        if (open.back())
            return fail("a property after the object's children");
        TSettingsSourceEntry entry;
        if (!ParseEntryLine(line, at, entry, reason))
            return false;
        AppendEntry(resource, entry);
        return true;
    });
    if (!read)
        return false;
    if (!done) {
        error = "the form has no end";
        return false;
    }
    return true;
}

bool CompileSettingsSources(const std::vector<std::string>& sources, std::string& resource, std::string& error)
{
    std::vector<TSettingsSourceEntry> entries;
    for (size_t i = 0; i < sources.size(); ++i) {
        std::string reason;
        if (!ParseSettingsSource(sources[i], i > 0, entries, reason)) {
            error = "source " + std::to_string(i + 1) + ", " + reason;
            return false;
        }
    }
    resource = WriteSettingsResource(entries);
    return true;
}

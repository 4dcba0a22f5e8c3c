// TIniFile: load cuts the file into lines only; a line is parsed into a key
// and items the first time its key is asked for.
#include "engine/QX9_System_Ini.h"

#include <cstring>

namespace {

// A line is parsed once it has a key or items; an unparsed line keeps its raw
// text (an empty unparsed line is an empty line of the file).
bool IsParsed(const TIniLine& line)
{
    return !line.Key.empty() || !line.Items.empty();
}

// Items at each list separator outside one pair of "...", (...), [...] or
// {...}. Only one level is tracked: inside a pair, nothing opens, and the
// first matching closing mark ends it.
std::vector<std::string> SplitItems(const std::string& text, char separator)
{
    std::vector<std::string> items;
    if (text.empty())
        return items;
    std::string current;
    char closer = 0;
    bool endedBySeparator = false;
    for (char c : text) {
        endedBySeparator = false;
        if (closer != 0) {
            if (c == closer)
                closer = 0;
        } else if (c == '"') {
            closer = '"';
        } else if (c == '(') {
            closer = ')';
        } else if (c == '[') {
            closer = ']';
        } else if (c == '{') {
            closer = '}';
        } else if (c == separator) {
            items.push_back(TIniFile::TrimBytes(current));
            current.clear();
            endedBySeparator = true;
            continue;
        }
        current.push_back(c);
    }
    // A separator as the very last character opens no further item.
    if (!endedBySeparator)
        items.push_back(TIniFile::TrimBytes(current));
    return items;
}

} // namespace

TIniFile::TIniFile() = default;

TIniFile::~TIniFile()
{
    Clear();
}

std::string TIniFile::TrimBytes(const std::string& bytes)
{
    size_t first = 0;
    size_t last = bytes.size();
    while (first < last && static_cast<unsigned char>(bytes[first]) < 33)
        ++first;
    while (last > first && static_cast<unsigned char>(bytes[last - 1]) <= 32)
        --last;
    return bytes.substr(first, last - first);
}

std::string TIniFile::BytesToStr(const std::string& bytes)
{
    return bytes;
}

std::u16string TIniFile::BytesToWide(const std::string& bytes)
{
    if (bytes.empty())
        return std::u16string();
    return OS_MultiByteToWide(CP_UTF8, bytes);
}

std::string TIniFile::StrToBytes(const std::string& text)
{
    return text;
}

// ---------------------------------------------------------------------------
// Life cycle and file

void TIniFile::ClearSection(int32_t index)
{
    if (index < 0 || index >= SectionCount())
        return;
    Sections[index].Lines.clear();
    Sections[index].Lines.shrink_to_fit();
}

void TIniFile::Clear()
{
    for (int32_t i = 0; i < SectionCount(); ++i)
        ClearSection(i);
    Sections.clear();
    CurrentSection = -1;
    FKeyCursor = -1;
}

void TIniFile::AddLoadedLine(const std::string& bytes)
{
    std::string line = TrimBytes(bytes);
    if (!line.empty() && line[0] == '[') {
        TIniSection section;
        size_t close = line.find(']');
        if (close == std::string::npos) {
            section.Name = TrimStr(line.substr(1));
        } else {
            section.Name = TrimStr(line.substr(1, close - 1));
            section.Trailer = line.substr(close + 1);
        }
        Sections.push_back(std::move(section));
        CurrentSection = SectionCount() - 1;
        return;
    }
    // Lines before the first header belong to a nameless section.
    if (Sections.empty()) {
        Sections.emplace_back();
        CurrentSection = 0;
    }
    TIniLine iniLine;
    iniLine.Raw = std::move(line);
    Sections[CurrentSection].Lines.push_back(std::move(iniLine));
}

void TIniFile::Load(const std::string& fileName)
{
    // Reading never asks for writing: an installed game's folder may be
    // read-only. Only a missing file is opened for writing, to be created
    // empty.
    THandle h = OS_OpenFileRead(fileName);
    if (h == INVALID_HANDLE_VALUE && OS_GetFileAttributes(fileName) == INVALID_FILE_ATTRIBUTES)
        h = FileOpenRW(fileName);
    if (h == INVALID_HANDLE_VALUE)
        FatalError("TIniFile.Load", fileName, "FILE NOT FOUND!");

    // Read to the end rather than trusting the size: the file may change
    // under us, and a short read must not leave garbage bytes.
    std::string bytes;
    int64_t size = OS_GetFileSize(h);
    if (size > 0 && size < INT32_MAX)
        bytes.reserve(static_cast<size_t>(size));
    char chunk[65536];
    for (;;) {
        int32_t got = FileReadAt(h, chunk, sizeof(chunk), bytes.empty() ? 0 : -1);
        if (got <= 0)
            break;
        bytes.append(chunk, got);
    }
    FileCloseHandle(h);
    LoadFromMemory(fileName, bytes);
}

void TIniFile::LoadFromMemory(const std::string& fileName, const std::string& bytes)
{
    FolderName = ExtractPathStr(fileName);
    FileName = ExtractNameStr(fileName);
    Clear();

    // Only a complete byte-order mark at the very start is dropped: the same
    // bytes elsewhere are parts of UTF-8 characters.
    size_t pos = 0;
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
        pos = 3;

    // Each line runs to and including the next LF, CR LF pair or lone CR (old
    // Mac text), or to the last byte; a last line of any length after the
    // final line end is read too.
    while (pos < bytes.size()) {
        const size_t mark = bytes.find_first_of("\r\n", pos);
        size_t end = mark == std::string::npos ? bytes.size() : mark + 1;
        if (mark != std::string::npos && bytes[mark] == '\r' && end < bytes.size() && bytes[end] == '\n')
            end++;
        AddLoadedLine(bytes.substr(pos, end - pos));
        pos = end;
    }
    CurrentSection = -1;
    FKeyCursor = -1;
}

bool TIniFile::Save(const std::string& fileName)
{
    std::string target = fileName.empty() ? FolderName + FileName : fileName;
    if (target.empty())
        return false;
    // A file the user may not write stays as it is, although the folder
    // would let a new file be renamed over it.
    uint32_t attributes = OS_GetFileAttributes(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return false;

    std::string out;
    const int32_t last = SectionCount() - 1;
    for (int32_t s = 0; s <= last; ++s) {
        const TIniSection& section = Sections[s];
        bool header = false;
        if (!section.Name.empty()) {
            out += '[';
            out += section.Name;
            out += ']';
            header = true;
        }
        if (!section.Trailer.empty()) {
            out += section.Trailer;
            header = true;
        }
        if (header && !(s == last && section.Lines.empty()))
            out += "\r\n";
        for (size_t i = 0; i < section.Lines.size(); ++i) {
            const TIniLine& line = section.Lines[i];
            if (IsParsed(line)) {
                out += line.Key;
                out += KeySeparator;
                for (size_t k = 0; k < line.Items.size(); ++k) {
                    if (k > 0)
                        out += ListSeparator;
                    out += line.Items[k];
                }
            } else {
                out += line.Raw;
            }
            if (!(s == last && i + 1 == section.Lines.size()))
                out += "\r\n";
        }
    }
    // A temporary file renamed over the target: a crash or a full disk
    // leaves the old settings whole, never a torn file.
    return OS_WriteFileAtomic(target, out.data(), out.size());
}

// ---------------------------------------------------------------------------
// Navigation

bool TIniFile::SelectSection(const std::string& name)
{
    for (int32_t i = 0; i < SectionCount(); ++i) {
        if (Sections[i].Name == name) {
            CurrentSection = i;
            FKeyCursor = 0;
            return true;
        }
    }
    return false;
}

bool TIniFile::SelectSectionIndex(int32_t n)
{
    if (n < 0 || n >= SectionCount())
        return false;
    CurrentSection = n;
    FKeyCursor = 0;
    return true;
}

std::string TIniFile::SectionName(int32_t n) const
{
    if (n < 0 || n >= SectionCount())
        return std::string();
    return Sections[n].Name;
}

int32_t TIniFile::SectionCount() const
{
    return static_cast<int32_t>(Sections.size());
}

TIniSection* TIniFile::Current()
{
    if (CurrentSection < 0 || CurrentSection >= SectionCount())
        return nullptr;
    return &Sections[CurrentSection];
}

int32_t TIniFile::KeyCount() const
{
    if (CurrentSection < 0 || CurrentSection >= SectionCount())
        return 0;
    return static_cast<int32_t>(Sections[CurrentSection].Lines.size());
}

std::string TIniFile::NextLine()
{
    std::string text;
    TIniSection* section = Current();
    if (section != nullptr && FKeyCursor >= 0 && FKeyCursor < static_cast<int32_t>(section->Lines.size())) {
        const TIniLine& line = section->Lines[FKeyCursor];
        if (!IsParsed(line))
            text = line.Raw;
    }
    ++FKeyCursor;
    return text;
}

std::u16string TIniFile::NextLineWide()
{
    return BytesToWide(NextLine());
}

bool TIniFile::KeyExists(const std::string& key)
{
    return FindKey(key) >= 0;
}

// The first matching line wins. A parsed line matches by its key; an
// unparsed one when its raw bytes begin with the key, followed only by
// blanks or control characters up to a key separator.
int32_t TIniFile::FindKey(const std::string& key)
{
    TIniSection* section = Current();
    if (section == nullptr || key.empty())
        return -1;
    const size_t keyLength = key.size();
    for (size_t i = 0; i < section->Lines.size(); ++i) {
        const TIniLine& line = section->Lines[i];
        if (IsParsed(line)) {
            if (line.Key == key)
                return static_cast<int32_t>(i);
            continue;
        }
        const std::string& raw = line.Raw;
        if (raw.size() <= keyLength || std::memcmp(raw.data(), key.data(), keyLength) != 0)
            continue;
        for (size_t p = keyLength; p < raw.size(); ++p) {
            if (raw[p] == KeySeparator)
                return static_cast<int32_t>(i);
            if (static_cast<unsigned char>(raw[p]) > 32)
                break;
        }
    }
    return -1;
}

void TIniFile::ParseLine(TIniLine& line, bool split)
{
    std::string value;
    if (!IsParsed(line)) {
        size_t p = line.Raw.find(KeySeparator);
        if (p == std::string::npos)
            return;
        line.Key = TrimStr(line.Raw.substr(0, p));
        value = TrimStr(line.Raw.substr(p + 1));
    } else if (line.Items.size() == 1) {
        // Split again what an earlier whole-value read kept as one item.
        value = line.Items[0];
    } else if (!line.Items.empty()) {
        line.Raw.clear();
        return;
    }
    if (split) {
        line.Items = SplitItems(value, ListSeparator);
    } else {
        line.Items.clear();
        line.Items.push_back(std::move(value));
    }
    line.Raw.clear();
}

// ---------------------------------------------------------------------------
// Reading

std::string TIniFile::ReadString(const std::string& key, int32_t index)
{
    int32_t at = FindKey(key);
    if (at < 0)
        return std::string();
    FKeyCursor = at;
    TIniLine& line = Current()->Lines[at];
    if (line.Items.empty())
        ParseLine(line, index != -1);
    else if (line.Items.size() == 1 && index != -1)
        ParseLine(line, true);
    // A whole-value read answers item 1, which is only the first item once
    // the line has been split by an earlier item read.
    if (index == -1)
        return line.Items.empty() ? std::string() : line.Items[0];
    if (index >= 1 && static_cast<size_t>(index) <= line.Items.size())
        return line.Items[index - 1];
    return std::string();
}

std::u16string TIniFile::ReadWideString(const std::string& key, int32_t index)
{
    return BytesToWide(ReadString(key, index));
}

int32_t TIniFile::ValueCount(const std::string& key)
{
    int32_t at = FindKey(key);
    if (at < 0)
        return 0;
    TIniLine& line = Current()->Lines[at];
    // A line read earlier as a whole value keeps its one item.
    if (line.Items.empty())
        ParseLine(line, true);
    return static_cast<int32_t>(line.Items.size());
}

int32_t TIniFile::ReadInteger(const std::string& key, int32_t index, int32_t defaultValue)
{
    std::string text = ReadString(key, index);
    return text.empty() ? defaultValue : StrToIntLenient(text);
}

float TIniFile::ReadFloat(const std::string& key, int32_t index, float defaultValue)
{
    std::string text = ReadString(key, index);
    return text.empty() ? defaultValue : StrToFloatLenient(text);
}

bool TIniFile::ReadBool(const std::string& key, int32_t index, bool defaultValue)
{
    std::string text = ReadString(key, index);
    return text.empty() ? defaultValue : StrToBoolLenient(text);
}

// ---------------------------------------------------------------------------
// Writing

static void SetItem(TIniLine& line, const std::string& value, int32_t index)
{
    if (index == -1) {
        line.Items.assign(1, value);
    } else if (index >= 1) {
        if (line.Items.size() < static_cast<size_t>(index))
            line.Items.resize(index);
        line.Items[index - 1] = value;
    }
}

void TIniFile::WriteString(const std::string& key, const std::string& value, int32_t index)
{
    TIniSection* section = Current();
    if (section == nullptr || key.empty())
        return;
    int32_t at = FindKey(key);
    if (at < 0) {
        TIniLine line;
        line.Key = key;
        SetItem(line, StrToBytes(value), index);
        section->Lines.push_back(std::move(line));
        FKeyCursor = static_cast<int32_t>(section->Lines.size()) - 1;
        return;
    }
    TIniLine& line = section->Lines[at];
    if (line.Items.empty())
        ParseLine(line, index != -1);
    SetItem(line, StrToBytes(value), index);
    FKeyCursor = at;
}

void TIniFile::WriteInteger(const std::string& key, int64_t value, int32_t index)
{
    WriteString(key, Int64ToStr(value, false), index);
}

void TIniFile::WriteFloat(const std::string& key, float value, int32_t index)
{
    WriteString(key, FloatToStrDecimals(-1, value), index);
}

void TIniFile::WriteBool(const std::string& key, bool value, int32_t index)
{
    WriteString(key, BoolToYesNo(value), index);
}

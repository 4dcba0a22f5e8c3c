// TScript: the sectioned script reader.
#include "engine/QX9_System_Script.h"

namespace {

bool DropWhenFiltered(const std::string& line)
{
    if (line.empty())
        return true;
    const size_t equals = line.find('=');
    if (equals != std::string::npos && equals == line.size() - 1)
        return true; // a key with nothing after "="
    return line.size() >= 2 && line[0] == '/' && line[1] == '/';
}

// Whether line[0, end) trimmed as TrimStr trims (codes up to 32) is the key,
// without building the trimmed text: every line of a section is tried.
bool TrimmedEquals(const std::string& line, size_t end, const std::string& key)
{
    size_t first = 0;
    while (first < end && static_cast<unsigned char>(line[first]) <= 32)
        first++;
    while (end > first && static_cast<unsigned char>(line[end - 1]) <= 32)
        end--;
    return line.compare(first, end - first, key) == 0;
}

} // namespace

TScript::TScript(const std::string& fileName, bool filter)
{
    FolderName = ExtractPathStr(fileName);
    FileName = ExtractNameStr(fileName);
    Lines.reserve(1024);
    ScriptSections.reserve(16);

    Source.Init();
    Source.Open(fileName, 0);
    std::string line;
    bool first = true;
    while (!Source.Eof()) {
        Source.ReadLine(line);
        // Many editors start a UTF-8 text with a byte-order mark; it is no
        // part of the first line (which may be a section header).
        if (first && line.size() >= 3 && static_cast<unsigned char>(line[0]) == 0xEF &&
            static_cast<unsigned char>(line[1]) == 0xBB && static_cast<unsigned char>(line[2]) == 0xBF)
            line.erase(0, 3);
        first = false;
        if (filter && DropWhenFiltered(line))
            continue;
        Lines.push_back(line);
    }
    Source.Close(0);
    TotalLines = static_cast<int32_t>(Lines.size());

    for (int32_t i = 0; i < TotalLines; i++) {
        const std::string& text = Lines[i];
        if (text.empty() || text[0] != '[')
            continue;
        const size_t close = text.find(']', 1);
        if (close == std::string::npos)
            continue;
        if (!ScriptSections.empty())
            ScriptSections.back().LastLine = i - 1;
        TScriptSection section;
        section.Name = text.substr(1, close - 1);
        section.FirstLine = i + 1;
        section.LastLine = TotalLines - 1;
        ScriptSections.push_back(std::move(section));
    }
    SectionCount = static_cast<int32_t>(ScriptSections.size());
}

bool TScript::SelectSection(const std::string& name)
{
    for (int32_t i = 0; i < SectionCount; i++) {
        if (ScriptSections[i].Name == name) {
            CurrentSection = i;
            return true;
        }
    }
    return false;
}

bool TScript::SelectSectionIndex(int32_t n)
{
    if (n < 0 || n >= SectionCount)
        return false;
    CurrentSection = n;
    return true;
}

std::string TScript::SectionName(int32_t n) const
{
    if (n < 0 || n >= SectionCount)
        return std::string();
    return ScriptSections[n].Name;
}

int32_t TScript::LineCount() const
{
    if (CurrentSection < 0 || CurrentSection >= SectionCount)
        return 0;
    const TScriptSection& section = ScriptSections[CurrentSection];
    return section.LastLine - section.FirstLine + 1;
}

std::string TScript::Line(int32_t n) const
{
    if (n < 0 || n >= LineCount())
        return std::string();
    return Lines[ScriptSections[CurrentSection].FirstLine + n];
}

bool TScript::FindValue(const std::string& key, std::string& value) const
{
    if (CurrentSection < 0 || CurrentSection >= SectionCount)
        return false;
    const TScriptSection& section = ScriptSections[CurrentSection];
    bool found = false;
    for (int32_t i = section.FirstLine; i <= section.LastLine; i++) {
        const std::string& line = Lines[i];
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        if (TrimmedEquals(line, equals, key)) {
            value = line.substr(equals + 1);
            found = true;
        }
    }
    return found;
}

bool TScript::KeyExists(const std::string& key) const
{
    std::string value;
    return FindValue(key, value);
}

int32_t TScript::ValueCount(const std::string& key) const
{
    std::string value;
    if (!FindValue(key, value) || value.empty())
        return 0;
    int32_t count = 1;
    bool quoted = false;
    for (char c : value) {
        if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            count++;
    }
    return count;
}

std::string TScript::ReadString(const std::string& key, int32_t index) const
{
    std::string value;
    if (!FindValue(key, value))
        return std::string();
    if (index <= 0)
        return TrimStr(value);

    value.push_back(',');
    int32_t piece = 1;
    size_t start = 0;
    bool quoted = false;
    for (size_t i = 0; i < value.size(); i++) {
        const char c = value[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c != ',' || quoted)
            continue;
        if (piece == index) {
            std::string item = TrimStr(value.substr(start, i - start));
            // A quoted item loses its first and its last character.
            if (!item.empty() && item[0] == '"')
                item = item.size() >= 2 ? item.substr(1, item.size() - 2) : std::string();
            return item;
        }
        piece++;
        start = i + 1;
    }
    return std::string();
}

float TScript::ReadFloat(const std::string& key, int32_t index, float defaultValue) const
{
    const std::string text = ReadString(key, index);
    return text.empty() ? defaultValue : StrToFloatLenient(text);
}

int32_t TScript::ReadInteger(const std::string& key, int32_t index, int32_t defaultValue) const
{
    const std::string text = ReadString(key, index);
    return text.empty() ? defaultValue : StrToIntLenient(text);
}

bool TScript::ReadBool(const std::string& key, int32_t index) const
{
    const std::string text = ReadString(key, index);
    return (!text.empty() && (text[0] == 'Y' || text[0] == 'y')) || text == "1";
}

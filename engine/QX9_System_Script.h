// TScript: a sectioned text file read once, line by line, through a TZipFile
// (so it may be plain text or a "QXpf" pack file), answering key lookups.
// Unlike TIniFile the LAST line of a key wins, only double quotes protect
// commas, and there is no UTF-8 decoding. It never writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_System.h"
#include "engine/QX9_System_ZipFile.h"

struct TScriptSection {
    std::string Name;
    int32_t FirstLine = 0;
    int32_t LastLine = -1; // FirstLine - 1 for a section without lines
};

class TScript {
public:
    // Reads the whole file; with `filter`, empty lines, lines whose first
    // "=" is their last character and lines starting with "//" are dropped.
    // A missing file gives an empty script.
    TScript(const std::string& fileName, bool filter);
    ~TScript() = default;
    TScript(const TScript&) = delete;
    TScript& operator=(const TScript&) = delete;

    int32_t LastSection() const { return SectionCount - 1; }
    bool SelectSection(const std::string& name);
    bool SelectSectionIndex(int32_t n);
    std::string SectionName(int32_t n) const;
    int32_t LineCount() const;
    std::string Line(int32_t n) const;

    bool KeyExists(const std::string& key) const;
    int32_t ValueCount(const std::string& key) const;
    // index <= 0: the whole value trimmed; n >= 1: item n; empty when missing.
    std::string ReadString(const std::string& key, int32_t index) const;
    float ReadFloat(const std::string& key, int32_t index, float defaultValue) const;
    int32_t ReadInteger(const std::string& key, int32_t index, int32_t defaultValue) const;
    // True for a text that begins with "Y" or "y" or is "1".
    bool ReadBool(const std::string& key, int32_t index) const;

    std::string FolderName; // folder part of the path, with "\"
    std::string FileName;   // name part
    TZipFile Source;        // the file was read through it; its buffer is freed
    TStringArray Lines;     // stored lines, as read
    int32_t TotalLines = 0;
    std::vector<TScriptSection> ScriptSections;
    int32_t SectionCount = 0;
    int32_t CurrentSection = 0;

private:
    // The value of the last line of the current section with this key.
    bool FindValue(const std::string& key, std::string& value) const;
};

// TIniFile: one ini file held in memory. Lines are kept as read and parsed
// into a key and comma-separated items only when a key is first asked for, so
// large tables load fast however few of their keys are read. Save writes the
// content back in a fixed layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_System.h"

struct TIniLine {
    std::string Key;                // empty until parsed
    std::vector<std::string> Items; // the value items once parsed
    std::string Raw;                // the trimmed line until parsed
};

struct TIniSection {
    std::string Name;    // empty for the lines before the first header
    std::string Trailer; // bytes after "]" on the header line
    std::vector<TIniLine> Lines;
};

class TIniFile {
public:
    TIniFile();
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    // Replaces the content with the file's; a file that can be neither opened
    // nor created is fatal ("TIniFile.Load(<file>) -> FILE NOT FOUND!").
    void Load(const std::string& fileName);
    // The same for a file's bytes already in memory; fileName is where Save
    // writes by default.
    void LoadFromMemory(const std::string& fileName, const std::string& bytes);
    // Writes to the file, or to FolderName + FileName when the name is empty.
    // False when the file could not be written (the old file stays intact).
    bool Save(const std::string& fileName = "");
    void Clear();
    void ClearSection(int32_t index);

    bool SelectSection(const std::string& name);
    bool SelectSectionIndex(int32_t n);
    std::string SectionName(int32_t n) const;
    int32_t SectionCount() const;
    int32_t KeyCount() const;
    int32_t KeyCursor() const { return FKeyCursor; }
    std::string NextLine();
    std::u16string NextLineWide();
    bool KeyExists(const std::string& key);

    // index -1: the whole value; n >= 1: item n; 0: nothing.
    std::string ReadString(const std::string& key, int32_t index);
    std::u16string ReadWideString(const std::string& key, int32_t index);
    int32_t ValueCount(const std::string& key);
    int32_t ReadInteger(const std::string& key, int32_t index, int32_t defaultValue);
    float ReadFloat(const std::string& key, int32_t index, float defaultValue);
    bool ReadBool(const std::string& key, int32_t index, bool defaultValue);

    void WriteString(const std::string& key, const std::string& value, int32_t index);
    void WriteInteger(const std::string& key, int64_t value, int32_t index);
    void WriteFloat(const std::string& key, float value, int32_t index);
    void WriteBool(const std::string& key, bool value, int32_t index);

    std::vector<TIniSection> Sections;
    char KeySeparator = '=';
    char ListSeparator = ',';
    int32_t CurrentSection = -1;
    std::string FolderName;
    std::string FileName;

    // Drops leading bytes below 33 and trailing bytes up to 32.
    static std::string TrimBytes(const std::string& bytes);
    static std::string BytesToStr(const std::string& bytes);
    static std::u16string BytesToWide(const std::string& bytes); // UTF-8 to UTF-16
    static std::string StrToBytes(const std::string& text);

private:
    int32_t FindKey(const std::string& key);
    void ParseLine(TIniLine& line, bool split);
    void AddLoadedLine(const std::string& bytes);
    TIniSection* Current();

    int32_t FKeyCursor = -1;
};

// Any bytes as an ini file: load, read keys and items of every section, edit,
// save to another file, and load the saved file again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/QX9_System_Ini.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// The key of a raw line: the text before the first "=".
std::string KeyOf(const std::string& line)
{
    size_t p = line.find('=');
    return p == std::string::npos ? line : TrimStr(line.substr(0, p));
}

void Exercise(TIniFile& ini)
{
    for (int32_t s = 0; s < ini.SectionCount(); ++s) {
        if (!ini.SelectSectionIndex(s))
            __builtin_trap();
        int32_t lines = ini.KeyCount();
        for (int32_t i = 0; i < lines && i < 8; ++i) {
            std::string line = ini.NextLine();
            (void)ini.NextLineWide();
            std::string key = KeyOf(line);
            if (key.empty())
                continue;
            bool exists = ini.KeyExists(key);
            std::string whole = ini.ReadString(key, -1);
            int32_t count = ini.ValueCount(key);
            if (exists && count < 1)
                __builtin_trap(); // a whole-value read leaves one item
            (void)ini.ReadString(key, 2);
            (void)ini.ReadWideString(key, 1);
            (void)ini.ReadInteger(key, 1, 0);
            (void)ini.ReadFloat(key, 3, 0.0f);
            (void)ini.ReadBool(key, -1, false);
            if (!exists && !whole.empty())
                __builtin_trap();
            ini.SelectSectionIndex(s); // keep the cursor walking from the top
            for (int32_t k = 0; k <= i; ++k)
                ini.NextLine();
        }
        (void)ini.ReadString("Key", -1);
        ini.WriteString("FuzzKey", "a,b", 2);
        ini.WriteInteger("FuzzNumber", -5, -1);
    }
    (void)ini.SectionName(ini.SectionCount());
    (void)ini.SelectSection("Main");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzFiles files("ini-fuzz", ".ini");
    if (!FuzzWriteFile(files.Input, data, size))
        return 0;
    TIniFile ini;
    ini.Load(files.Input);
    Exercise(ini);
    if (!ini.Save(files.Output))
        return 0;

    // What was saved loads back into the same sections.
    TIniFile again;
    again.Load(files.Output);
    if (again.SectionCount() > ini.SectionCount())
        __builtin_trap();
    return 0;
}

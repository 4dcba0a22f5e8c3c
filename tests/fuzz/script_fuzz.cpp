// Any bytes as a script file (plain or packed), with the comment filter on
// and off: every section, line and key is looked up.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/QX9_System_Script.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void Exercise(TScript& script)
{
    if (script.SectionCount != static_cast<int32_t>(script.ScriptSections.size()) ||
        script.TotalLines != static_cast<int32_t>(script.Lines.size()))
        __builtin_trap();
    for (int32_t s = 0; s <= script.LastSection() + 1; s++) {
        const bool selected = script.SelectSectionIndex(s);
        if (selected != (s <= script.LastSection()))
            __builtin_trap();
        if (!selected)
            continue;
        if (!script.SelectSection(script.SectionName(s)))
            __builtin_trap();
        script.SelectSectionIndex(s);
        const int32_t lines = script.LineCount();
        for (int32_t i = 0; i <= lines && i < 64; i++) {
            const std::string line = script.Line(i);
            const std::string key = TrimStr(line.substr(0, line.find('=')));
            const int32_t count = script.ValueCount(key);
            if (count > 0 && !script.KeyExists(key))
                __builtin_trap();
            for (int32_t index = -1; index <= count + 1 && index < 16; index++)
                (void)script.ReadString(key, index);
            (void)script.ReadFloat(key, 1, 0.5f);
            (void)script.ReadInteger(key, 2, 7);
            (void)script.ReadBool(key, 0);
        }
    }
    (void)script.SectionName(-1);
    (void)script.SelectSection("Main");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string input = FuzzProgramFolder("script-fuzz") + "In.txt";
    if (!FuzzWriteFile(input, data, size))
        return 0;
    for (bool filter : {false, true}) {
        TScript script(input, filter);
        Exercise(script);
    }
    return 0;
}

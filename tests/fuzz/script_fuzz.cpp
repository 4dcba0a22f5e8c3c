// Any bytes as a script file (plain or packed), with the comment filter on
// and off: every section, line and key is looked up.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "engine/QX9_System_Script.h"
#include "platform/os/OS.h"

namespace {

struct TFuzzFolder {
    std::string Input;
    TFuzzFolder()
    {
        char pattern[] = "/tmp/duskmarch-script-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        Input = OS_ToProgramPath(made ? made : "/tmp") + "\\In.txt";
    }
};

bool WriteAll(const std::string& programPath, const uint8_t* data, size_t size)
{
    FILE* f = fopen(OS_ResolvePath(programPath).c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = size == 0 || fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

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
    static TFuzzFolder folder;
    if (!WriteAll(folder.Input, data, size))
        return 0;
    for (bool filter : {false, true}) {
        TScript script(folder.Input, filter);
        Exercise(script);
    }
    return 0;
}

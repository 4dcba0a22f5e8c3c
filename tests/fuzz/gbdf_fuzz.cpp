// Any bytes as a data container: open it and read every entry in every way;
// a container whose entries all load is rewritten and must read back the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_System_DatFile.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzFiles files("gbdf-fuzz", ".dat");
    if (!FuzzWriteFile(files.Input, data, size))
        return 0;
    TDatFile dat;
    dat.Init();
    if (!dat.Open(files.Input)) {
        if (!dat.Failed || !dat.Entries.empty())
            __builtin_trap();
        return 0;
    }
    bool whole = true;
    std::vector<std::string> contents;
    for (size_t i = 0; i < dat.Entries.size() && i < 64; i++) {
        dat.Current = static_cast<int32_t>(i);
        whole = dat.LoadEntry() && whole;
        const TByteBuffer& bytes = dat.EntryData[i].Bytes;
        const size_t loaded = bytes.size();
        if (loaded > uint64_t{dat.Entries[i].ElementSize} * dat.Entries[i].ElementCount)
            __builtin_trap();
        contents.emplace_back(bytes.begin(), bytes.end());

        // The readers go by name: a later entry with an earlier entry's name
        // is never reached by them.
        const std::string name = DatEntryName(dat.Entries[i]);
        if (!dat.SelectEntry(name))
            __builtin_trap();
        if (dat.Current != static_cast<int32_t>(i))
            continue;

        std::vector<uint8_t> out(loaded + 1);
        dat.Entries[dat.Current].Cursor = 0;
        if (dat.ReadRecords(name, out.data(), 0, 1) > loaded)
            __builtin_trap();
        (void)dat.ReadRecords(name, out.data(), 1, 1);
        std::string text;
        std::u16string wide;
        for (int pass = 0; pass < 3; pass++) {
            dat.SelectEntry(name);
            dat.Entries[dat.Current].Cursor = 0;
            for (int n = 0; !dat.EntryEOF(); n++) {
                if (n > static_cast<int>(loaded) + 1)
                    __builtin_trap(); // every read moves the cursor
                if (pass == 0)
                    dat.ReadLine(name, text);
                else if (pass == 1)
                    dat.ReadPChar(name, text);
                else
                    dat.ReadWide(name, wide);
            }
        }
    }
    if (!whole || dat.Entries.size() > 64) {
        dat.Save(0);
        return 0;
    }
    if (!dat.Save(48, files.Output))
        return 0;
    // Whatever Save writes opens again, an empty container too.
    TDatFile again;
    if (!again.Open(files.Output) || again.Entries.size() != contents.size())
        __builtin_trap();
    for (size_t i = 0; i < contents.size(); i++) {
        again.Current = static_cast<int32_t>(i);
        if (!again.LoadEntry())
            __builtin_trap();
        const TByteBuffer& bytes = again.EntryData[i].Bytes;
        if (std::string(bytes.begin(), bytes.end()) != contents[i])
            __builtin_trap();
    }
    again.Save(0);
    return 0;
}

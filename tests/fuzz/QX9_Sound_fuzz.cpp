// Any bytes as a sound file: the WAV loader on them as a file, and the Ogg
// decoder on them through the memory callbacks (decoding all of it, mixed down
// to the buffer's channels), plus the Ogg file information.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include <vorbis/vorbisfile.h>

#include "engine/QX9_Sound.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

struct TFuzzSetup {
    std::string File; // program form
    int Loads = 0;
    TFuzzSetup()
    {
        File = FuzzProgramFolder("sound-fuzz") + "In.snd";
        DSound_SetOffline(true);
        Sound_Init(2, 44100, 16, true, -1);
        // Free every loaded sound before the leak check at exit, as the
        // program's shut-down does.
        std::atexit(QX9_Sound_Finalization);
    }
};

bool WriteAll(const std::string& programPath, const uint8_t* data, size_t size)
{
    FILE* f = fopen(OS_ResolvePath(programPath).c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = size == 0 || fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

void DecodeOgg(const uint8_t* data, size_t size)
{
    TOggSource source;
    source.Data = data;
    source.Size = int64_t(size);
    OggVorbis_File file;
    if (!OggOpenMemory(&file, &source))
        return;
    const vorbis_info* info = ov_info(&file, -1);
    const int32_t channels = OggOutputChannels(info ? info->channels : 1);
    std::vector<uint8_t> pcm(65536);
    std::vector<int16_t> scratch;
    int errors = 0;
    for (int round = 0; round < 4096 && errors < 16; ++round) {
        const int64_t got = OggReadPcm16(&file, pcm.data(), int64_t(pcm.size()), channels, scratch);
        if (got == 0)
            break;
        if (got < 0)
            ++errors;
    }
    ov_clear(&file);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzSetup setup;
    // The table fills up with valid inputs; start it over now and then.
    if (++setup.Loads % 2000 == 0)
        Sound_Init(2, 44100, 16, true, -1);
    DecodeOgg(data, size);
    if (!WriteAll(setup.File, data, size))
        return 0;
    int32_t id = 0;
    WAV_LoadSound(setup.File, id, 1, (size & 1) != 0);
    if (id > 0)
        Sound_Duplicate(id);
    int32_t s = 0, c = 0, r = 0, b = 0, l = 0;
    OGG_GetInfo(setup.File, &s, &c, &r, &b, &l);
    // Whatever length a damaged file claims, no size or length goes negative.
    if (s < 0 || l < 0)
        __builtin_trap();
    return 0;
}

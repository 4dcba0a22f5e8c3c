// QX9_Sound: loading WAV and Ogg Vorbis files into static buffers, the Ogg
// file information, and the decoder's memory callbacks.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#include <vorbis/vorbisfile.h>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"

namespace {

// A decoder that keeps failing is given up after this many errors in a row.
constexpr int MaxDecodeErrorsInRow = 16;

uint32_t ReadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t ReadLE16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

// Fills a fresh static slot from PCM already in memory. Returns the slot, 0
// when the table is full. Runs under SoundLock.
int32_t StoreStatic(const std::string& fileName, int32_t group, bool want3D, const TWaveFormat& format,
                    const uint8_t* data, uint32_t size, bool checked) {
    const int32_t slot = Sound_FindFreeSlot();
    if (slot == 0)
        return 0;
    const bool with3D = want3D && Use3D;
    TDSBufferDesc desc;
    desc.Flags = DSBCAPS_STATIC | DSBCAPS_CTRLVOLUME | (with3D ? DSBCAPS_CTRL3D : 0);
    desc.BufferBytes = size;
    desc.Format = &format;
    TDirectSoundBuffer* buffer = nullptr;
    const TDSResult created = SoundDevice->CreateSoundBuffer(desc, buffer);
    if (checked)
        Sound_Check(created, "DirectSound.CreateSoundBuffer \"" + fileName + "\"");
    if (created != DS_OK || !buffer)
        return 0;

    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    const TDSResult locked = buffer->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER);
    if (checked)
        Sound_Check(locked, "Sound.Lock");
    if (locked != DS_OK) {
        // The slot keeps its buffer but is not filled; the caller gets no id.
        GlobalSounds[slot].Buffer = buffer;
        return 0;
    }
    std::memcpy(p1, data, std::min(n1, size));
    buffer->Unlock(p1, n1, p2, n2);

    TGlobalSound& s = GlobalSounds[slot];
    s = TGlobalSound();
    s.Buffer = buffer;
    s.Group = group;
    s.DataSize = size;
    s.FileName = fileName;
    s.Channels = format.Channels;
    s.Rate = int32_t(format.SamplesPerSec);
    s.Bits = format.BitsPerSample;
    if (with3D) {
        s.Is3D = true;
        Sound_Check(buffer->QueryInterface3D(s.Buffer3D), "Sound.QueryInterface");
    }
    return slot;
}

// Mixes a frame of n channels (Vorbis channel order) down to stereo.
void DownmixFrame(const int16_t* in, int n, int16_t* out) {
    constexpr float C = 0.7071f;
    // Weights of each input channel on the left and right, by channel count.
    static const float Left[9][8] = {
        {},
        {1},
        {1, 0},
        {1, C, 0},
        {1, 0, 1, 0},
        {1, C, 0, 1, 0},
        {1, C, 0, 1, 0, 0},
        {1, C, 0, 1, 0, C, 0},
        {1, C, 0, 1, 0, 1, 0, 0},
    };
    static const float Right[9][8] = {
        {},
        {1},
        {0, 1},
        {0, C, 1},
        {0, 1, 0, 1},
        {0, C, 1, 0, 1},
        {0, C, 1, 0, 1, 0},
        {0, C, 1, 0, 1, C, 0},
        {0, C, 1, 0, 1, 0, 1, 0},
    };
    float l = 0, r = 0, wl = 0, wr = 0;
    for (int i = 0; i < n; ++i) {
        float a, b;
        if (n <= 8) {
            a = Left[n][i];
            b = Right[n][i];
        } else {
            a = (i % 2 == 0) ? 1.0f : 0.0f;
            b = 1.0f - a;
        }
        l += a * in[i];
        r += b * in[i];
        wl += a;
        wr += b;
    }
    out[0] = int16_t(std::lrint(wl > 0 ? l / wl : 0.0f));
    out[1] = int16_t(std::lrint(wr > 0 ? r / wr : 0.0f));
}

// Reads a whole file; false when it can't be opened or is too large to hold.
bool ReadFileBytes(const std::string& fileName, std::vector<uint8_t>& bytes) {
    if (!OS_ReadWholeFile(fileName, bytes))
        return false;
    return bytes.size() <= size_t(std::numeric_limits<int32_t>::max());
}

} // namespace

// ---------------------------------------------------------------------------
// Memory callbacks

size_t OggMemRead(void* destination, size_t elementSize, size_t count, void* source) {
    auto* s = static_cast<TOggSource*>(source);
    if (elementSize == 0 || count == 0 || !s || s->Position >= s->Size)
        return 0;
    const uint64_t left = uint64_t(s->Size - s->Position);
    // Only whole elements are copied.
    const uint64_t fit = left / elementSize;
    const uint64_t n = std::min<uint64_t>(count, fit);
    if (n == 0)
        return 0;
    const uint64_t bytes = n * elementSize;
    std::memcpy(destination, s->Data + s->Position, size_t(bytes));
    s->Position += int64_t(bytes);
    return size_t(n);
}

int OggMemSeek(void* source, int64_t offset, int origin) {
    auto* s = static_cast<TOggSource*>(source);
    if (!s)
        return -1;
    int64_t base;
    switch (origin) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = s->Position;
        break;
    case SEEK_END:
        base = s->Size;
        break;
    default:
        return -1;
    }
    // Bounds first, so no sum can overflow.
    if (offset < -base || offset > s->Size - base)
        return -1;
    s->Position = base + offset;
    return 0;
}

int OggMemClose(void* source) {
    auto* s = static_cast<TOggSource*>(source);
    if (s)
        s->Position = 0;
    return 0;
}

long OggMemTell(void* source) {
    auto* s = static_cast<TOggSource*>(source);
    return s ? long(s->Position) : -1;
}

bool OggOpenMemory(OggVorbis_File* file, TOggSource* source) {
    ov_callbacks callbacks;
    callbacks.read_func = OggMemRead;
    callbacks.seek_func = [](void* s, ogg_int64_t offset, int origin) { return OggMemSeek(s, offset, origin); };
    callbacks.close_func = OggMemClose;
    callbacks.tell_func = OggMemTell;
    source->Position = 0;
    return ov_open_callbacks(source, file, nullptr, 0, callbacks) == 0;
}

int64_t OggTotalSamples(OggVorbis_File* file, int64_t fileBytes) {
    // Each audio packet takes at least a byte and gives at most half the
    // largest Vorbis block (8192 samples), so no real file holds more.
    constexpr int64_t MaxSamplesPerByte = 4096;
    const ogg_int64_t total = ov_pcm_total(file, -1);
    if (total < 0)
        return 0; // no length known: nothing is counted on
    int64_t limit = 0;
    if (__builtin_mul_overflow(std::max<int64_t>(fileBytes, 0), MaxSamplesPerByte, &limit) || total > limit)
        return -1;
    return total;
}

int64_t OggReadPcm16(OggVorbis_File* file, uint8_t* destination, int64_t maxBytes, int32_t outChannels,
                     std::vector<int16_t>& scratch) {
    const int64_t frameBytes = 2 * int64_t(outChannels);
    const int64_t frames = std::min<int64_t>(maxBytes / frameBytes, 16384);
    if (frames <= 0)
        return 0;
    const vorbis_info* before = ov_info(file, -1);
    const int fileChannels = before ? before->channels : outChannels;
    if (fileChannels == outChannels) {
        int section = 0;
        return ov_read(file, reinterpret_cast<char*>(destination), int(frames * frameBytes), 0, 2, 1, &section);
    }
    // Other layouts decode to the side and are converted frame by frame. The
    // request is sized in mono frames, so whatever the channel count of the
    // link being read, no more frames come back than fit the destination.
    if (scratch.size() < size_t(frames))
        scratch.resize(size_t(frames));
    int section = 0;
    const long got = ov_read(file, reinterpret_cast<char*>(scratch.data()), int(frames * 2), 0, 2, 1, &section);
    if (got <= 0)
        return got;
    const vorbis_info* info = ov_info(file, -1);
    const int n = info && info->channels > 0 ? info->channels : fileChannels;
    const int64_t decoded = got / (2 * n);
    auto* out = reinterpret_cast<int16_t*>(destination);
    for (int64_t f = 0; f < decoded; ++f) {
        const int16_t* in = scratch.data() + f * n;
        if (outChannels == 1) {
            int32_t sum = 0;
            for (int i = 0; i < n; ++i)
                sum += in[i];
            out[f] = int16_t(sum / n);
        } else if (n == 1) {
            out[2 * f] = out[2 * f + 1] = in[0];
        } else {
            DownmixFrame(in, n, out + 2 * f);
        }
    }
    return decoded * frameBytes;
}

// ---------------------------------------------------------------------------
// WAV

int32_t WAV_LoadSound(const std::string& fileName, int32_t& id, int32_t group, bool want3D) {
    id = 0;
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(fileName, bytes))
        return 0;
    const size_t size = bytes.size();
    const uint8_t* b = bytes.data();
    if (size < 12 || std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0)
        return 0;

    // Walk the chunks: a "LIST" or a longer "fmt " must not shift the data.
    const uint8_t* fmt = nullptr;
    size_t fmtSize = 0;
    size_t dataAt = 0;
    size_t dataSize = 0;
    bool haveData = false;
    size_t at = 12;
    while (at + 8 <= size && !(fmt && haveData)) {
        const uint32_t chunkSize = ReadLE32(b + at + 4);
        const size_t body = at + 8;
        const size_t available = size - body;
        if (std::memcmp(b + at, "fmt ", 4) == 0 && !fmt) {
            fmt = b + body;
            fmtSize = std::min<size_t>(chunkSize, available);
        } else if (std::memcmp(b + at, "data", 4) == 0 && !haveData) {
            haveData = true;
            dataAt = body;
            dataSize = std::min<size_t>(chunkSize, available); // a size past the end is cut to the file
        }
        if (chunkSize > available)
            break;
        at = body + chunkSize + (chunkSize & 1);
    }
    if (!fmt || fmtSize < 16 || !haveData)
        return 0;
    const uint16_t tag = ReadLE16(fmt);
    const uint16_t channels = ReadLE16(fmt + 2);
    const uint32_t rate = ReadLE32(fmt + 4);
    const uint16_t bits = ReadLE16(fmt + 14);
    // Only plain PCM that the mixer plays; anything else would sound as noise.
    if (tag != WAVE_FORMAT_PCM || (channels != 1 && channels != 2) || (bits != 8 && bits != 16) || rate < 100 ||
        rate > 200000)
        return 0;
    const TWaveFormat format = DSound_PcmFormat(channels, rate, bits);
    dataSize -= dataSize % format.BlockAlign;
    if (dataSize < DSBSIZE_MIN) // too short for a sound buffer
        return 0;

    std::lock_guard<TCriticalSection> guard(SoundLock);
    if (!SoundDevice)
        return 0;
    const int32_t slot = StoreStatic(fileName, group, want3D, format, b + dataAt, uint32_t(dataSize), true);
    if (slot == 0)
        return 0;
    id = slot;
    return int32_t(dataSize);
}

// ---------------------------------------------------------------------------
// Ogg Vorbis

int32_t OGG_LoadSound(const std::string& fileName, int32_t& id, int32_t group, bool want3D) {
    id = 0;
    TOggSource source;
    if (!ReadFileBytes(fileName, source.Storage))
        FatalError("OGG_LoadSound", fileName, "FILE NOT FOUND!");
    source.Data = source.Storage.data();
    source.Size = int64_t(source.Storage.size());
    OggVorbis_File file;
    if (!OggOpenMemory(&file, &source))
        FatalError("ov_open_callbacks", "", "OGG DECODING ERROR!");

    const vorbis_info* info = ov_info(&file, -1);
    const int32_t channels = OggOutputChannels(info ? info->channels : 1);
    const long rate = info ? info->rate : 0;
    const int64_t total = OggTotalSamples(&file, source.Size);
    int64_t wanted = 0;
    if (total <= 0 || __builtin_mul_overflow(total, int64_t(channels) * 2, &wanted) || wanted > int64_t(DSBSIZE_MAX) ||
        rate < 100 || rate > 200000) {
        ov_clear(&file);
        return 0;
    }

    // Decode first, outside the lock: the main thread keeps playing meanwhile.
    std::vector<uint8_t> pcm(size_t(wanted), 0);
    std::vector<int16_t> scratch;
    int64_t filled = 0;
    int errorsInRow = 0;
    while (filled < wanted) {
        const int64_t got = OggReadPcm16(&file, pcm.data() + filled, wanted - filled, channels, scratch);
        if (got == 0)
            break;
        if (got < 0) {
            // Damaged data is skipped, but not forever.
            if (++errorsInRow >= MaxDecodeErrorsInRow)
                break;
            continue;
        }
        errorsInRow = 0;
        filled += got;
    }
    ov_clear(&file);

    std::lock_guard<TCriticalSection> guard(SoundLock);
    if (!SoundDevice)
        return 0;
    const TWaveFormat format = DSound_PcmFormat(uint32_t(channels), uint32_t(rate), 16);
    const int32_t slot = StoreStatic(fileName, group, want3D, format, pcm.data(), uint32_t(wanted), false);
    if (slot == 0)
        return 0;
    id = slot;
    return int32_t(wanted);
}

void OGG_GetInfo(const std::string& fileName, int32_t* size, int32_t* channels, int32_t* rate, int32_t* bits,
                 int32_t* lengthMs) {
    int32_t outSize = 0, outChannels = 0, outRate = 0, outBits = 0, outLength = 0;
    TOggSource source;
    if (ReadFileBytes(fileName, source.Storage)) {
        source.Data = source.Storage.data();
        source.Size = int64_t(source.Storage.size());
        OggVorbis_File file;
        if (OggOpenMemory(&file, &source)) {
            const vorbis_info* info = ov_info(&file, -1);
            const int64_t total = OggTotalSamples(&file, source.Size);
            // A length the file can't hold, or a format no one could play,
            // leaves everything 0: the file is undecodable.
            if (info && info->rate > 0 && info->rate <= std::numeric_limits<int32_t>::max() && info->channels > 0 &&
                total >= 0) {
                constexpr int64_t Most = std::numeric_limits<int32_t>::max();
                outChannels = info->channels;
                outRate = int32_t(info->rate);
                outBits = 16;
                // Sizes past 32 bits (hours of sound) read as the largest one.
                int64_t bytes = 0;
                if (__builtin_mul_overflow(total, int64_t(info->channels) * 2, &bytes) || bytes > Most)
                    bytes = Most;
                outSize = int32_t(bytes);
                const long double ms = std::nearbyint((long double)total / info->rate * 1000.0L);
                outLength = ms > Most ? int32_t(Most) : int32_t(ms);
            }
            ov_clear(&file);
        }
    }
    if (size)
        *size = outSize;
    if (channels)
        *channels = outChannels;
    if (rate)
        *rate = outRate;
    if (bits)
        *bits = outBits;
    if (lengthMs)
        *lengthMs = outLength;
}

// QX9_Sound: streamed sounds (Ogg Vorbis decoded while playing through
// looping channel buffers), stopping, the per-frame pump and volume fades.
#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

#include <vorbis/vorbisfile.h>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"

namespace {

// Refill passes come at most this often (engine milliseconds).
constexpr int32_t RefillInterval = 250;
// A stream whose fills decode nothing this many times in a row is treated as
// ended; otherwise a broken file would loop its last seconds forever.
constexpr int32_t MaxFailedFills = 8;

int32_t (*SoundClock)(bool) = nullptr;

int32_t Now() {
    return SoundClock ? SoundClock(true) : GetTimeMs(true);
}

bool ValidId(int32_t id) {
    return id >= 1 && id <= SOUND_SLOT_COUNT;
}

bool SameFormat(const TStreamBuffer& c, const TGlobalSound& s) {
    return c.Channels == s.Channels && c.Rate == s.Rate && c.Bits == s.Bits;
}

// Gives channel c a new buffer in the sound's format (the old one is released
// and its owner loses the channel). The creation is not checked: a channel
// without a buffer makes later calls on it do nothing.
void RecreateChannel(int32_t c, const TGlobalSound& s) {
    TStreamBuffer& ch = StreamBuffers[c];
    if (ch.Buffer)
        ch.Buffer->Release();
    ch = TStreamBuffer();
    const TWaveFormat format = DSound_PcmFormat(uint32_t(s.Channels), uint32_t(s.Rate), uint32_t(s.Bits));
    TDSBufferDesc desc;
    desc.Flags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLVOLUME;
    desc.BufferBytes = uint32_t(StreamBufferSize);
    desc.Format = &format;
    if (SoundDevice && SoundDevice->CreateSoundBuffer(desc, ch.Buffer) == DS_OK) {
        ch.Channels = s.Channels;
        ch.Rate = s.Rate;
        ch.Bits = s.Bits;
    }
}

void Unlink(TSoundFade* f) {
    if (f->Prev)
        f->Prev->Next = f->Next;
    if (f->Next)
        f->Next->Prev = f->Prev;
    f->Prev = f->Next = nullptr;
}

// The header's sample rate is read from the file unchecked (32 bits); outside
// what a sound buffer takes, the stream is undecodable.
bool StreamRatePlayable(const vorbis_info* info) {
    return info != nullptr && info->rate >= 1 && info->rate <= 192000;
}

// First play of a stream: the whole file into memory and the decoder on it.
void OpenStreamDecoder(TGlobalSound& s) {
    bool read = false;
    if (s.FileHandle != INVALID_HANDLE_VALUE) {
        const int64_t size = OS_GetFileSize(s.FileHandle);
        if (size >= 0 && size <= std::numeric_limits<int32_t>::max()) {
            s.OggSource.Storage.resize(size_t(size));
            OS_SeekFile(s.FileHandle, 0, 0);
            read = OS_ReadFile(s.FileHandle, s.OggSource.Storage.data(), size) == size;
        }
        OS_CloseHandle(s.FileHandle);
        s.FileHandle = INVALID_HANDLE_VALUE;
    }
    s.OggSource.Data = s.OggSource.Storage.data();
    s.OggSource.Size = int64_t(s.OggSource.Storage.size());
    s.OggSource.Position = 0;
    auto* file = new OggVorbis_File();
    if (!read || !OggOpenMemory(file, &s.OggSource)) {
        delete file;
        FatalError("ov_open_callbacks", "", "OGG DECODING ERROR!");
    }
    const vorbis_info* info = ov_info(file, -1);
    // A header damaged since the stream was opened.
    if (!StreamRatePlayable(info)) {
        ov_clear(file);
        delete file;
        FatalError("ov_open_callbacks", "", "OGG DECODING ERROR!");
    }
    s.OggFile = file;
    const int32_t fileChannels = info ? info->channels : 1;
    // A file damaged since it was opened has nothing to play.
    const int64_t total = std::max<int64_t>(OggTotalSamples(file, s.OggSource.Size), 0);
    // More than two channels are mixed down, so the buffer really is stereo.
    s.Channels = OggOutputChannels(fileChannels);
    s.Rate = int32_t(info->rate);
    s.Bits = 16;
    s.DataSize = total * s.Channels * 2; // the total is bounded by the file's size: no overflow
}

// Whether a stream's file claims no more sound than its size can hold, at a
// sample rate a buffer can play. Only the headers and the last page are read,
// straight from the file; a file the decoder can't open at all passes (its
// first play reports it).
bool StreamLengthPlausible(THandle h) {
    ov_callbacks callbacks;
    callbacks.read_func = [](void* destination, size_t elementSize, size_t count, void* source) -> size_t {
        if (elementSize == 0 || count > size_t(std::numeric_limits<int32_t>::max()) / elementSize)
            return 0;
        const int64_t got = OS_ReadFile(THandle(intptr_t(source)), destination, int64_t(elementSize * count));
        return size_t(got) / elementSize;
    };
    callbacks.seek_func = [](void* source, ogg_int64_t offset, int origin) {
        return OS_SeekFile(THandle(intptr_t(source)), offset, origin) < 0 ? -1 : 0;
    };
    callbacks.close_func = nullptr; // the handle stays open for the first play
    callbacks.tell_func = [](void* source) { return long(OS_SeekFile(THandle(intptr_t(source)), 0, 1)); };
    OS_SeekFile(h, 0, 0);
    OggVorbis_File file;
    if (ov_open_callbacks(reinterpret_cast<void*>(intptr_t(h)), &file, nullptr, 0, callbacks) != 0)
        return true;
    const bool plausible = StreamRatePlayable(ov_info(&file, -1)) && OggTotalSamples(&file, OS_GetFileSize(h)) >= 0;
    ov_clear(&file);
    return plausible;
}

} // namespace

void Sound_SetClock(int32_t (*clock)(bool sample)) {
    SoundClock = clock;
}

// ---------------------------------------------------------------------------
// Streams

int32_t Sound_OpenStream(const std::string& fileName, int32_t& id, int32_t group) {
    id = 0;
    const THandle h = OS_OpenFileRead(fileName);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    if (!StreamLengthPlausible(h)) {
        OS_CloseHandle(h);
        return 0;
    }
    std::lock_guard<TCriticalSection> guard(SoundLock);
    const int32_t slot = Sound_FindFreeSlot();
    if (slot == 0) {
        OS_CloseHandle(h);
        return 0;
    }
    TGlobalSound& s = GlobalSounds[slot];
    s = TGlobalSound();
    s.Group = group;
    s.FileName = fileName;
    s.Streamed = true;
    s.StreamKind = STREAM_KIND_OGG;
    s.FileHandle = h;
    id = slot;
    if (StreamScratch.empty() && StreamBufferSize > 0)
        StreamScratch.assign(size_t(StreamBufferSize), 0);
    return 0;
}

void Stream_AcquireChannel(int32_t id) {
    TGlobalSound& s = GlobalSounds[id];
    int32_t chosen = 0;
    // A free channel already made for this format.
    for (int32_t c = 1; c < STREAM_CHANNEL_COUNT && !chosen; ++c) {
        const TStreamBuffer& ch = StreamBuffers[c];
        if (ch.Buffer && !ch.InUse && SameFormat(ch, s))
            chosen = c;
    }
    if (!chosen) {
        // A channel without a buffer, else a free one of another format (its
        // buffer remade: a 22,050 Hz track on a 44,100 Hz buffer would play at
        // the wrong speed), else the last channel, taken from its owner.
        for (int32_t c = 1; c < STREAM_CHANNEL_COUNT && !chosen; ++c)
            if (!StreamBuffers[c].Buffer)
                chosen = c;
        for (int32_t c = 1; c < STREAM_CHANNEL_COUNT && !chosen; ++c)
            if (!StreamBuffers[c].InUse)
                chosen = c;
        if (!chosen)
            chosen = STREAM_CHANNEL_COUNT;
        RecreateChannel(chosen, s);
    }
    s.Channel = chosen;
}

int64_t Stream_FillOgg(int64_t offset, int64_t count, int32_t id) {
    TGlobalSound& s = GlobalSounds[id];
    if (count <= 0 || int64_t(StreamScratch.size()) < count)
        return 0;
    uint8_t* scratch = StreamScratch.data();
    int64_t obtained = 0;
    if ((s.Loop || s.StreamPos < s.DataSize) && s.OggFile && s.FailedFills < MaxFailedFills) {
        std::vector<int16_t> convert;
        bool endInRow = false;
        while (obtained < count) {
            const int64_t got = OggReadPcm16(s.OggFile, scratch + obtained, count - obtained, s.Channels, convert);
            if (got > 0) {
                obtained += got;
                endInRow = false;
                continue;
            }
            if (got < 0)
                break; // damaged data ends this fill; the next one goes on
            // The end of the data: a looping stream starts over (a file with
            // nothing to decode would do so forever, so it turns silent).
            if (s.Loop && !endInRow) {
                endInRow = true;
                if (ov_pcm_seek(s.OggFile, 0) != 0)
                    break;
                continue;
            }
            std::memset(scratch + obtained, 0, size_t(count - obtained));
            obtained = count;
        }
        s.FailedFills = obtained == 0 ? s.FailedFills + 1 : 0;
    } else {
        std::memset(scratch, 0, size_t(count));
        obtained = count;
    }
    s.StreamPos += obtained;

    if (obtained == 0 || s.Channel < 1 || s.Channel > STREAM_CHANNEL_COUNT)
        return obtained;
    TDirectSoundBuffer* b = StreamBuffers[s.Channel].Buffer;
    if (!b)
        return obtained;
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    if (b->Lock(uint32_t(offset), uint32_t(obtained), &p1, &n1, &p2, &n2, 0) != DS_OK)
        return obtained;
    std::memcpy(p1, scratch, n1);
    if (p2 && n2)
        std::memcpy(p2, scratch + n1, n2);
    b->Unlock(p1, n1, p2, n2);
    return obtained;
}

void Stream_Prime(int32_t id) {
    TGlobalSound& s = GlobalSounds[id];
    TStreamBuffer& ch = StreamBuffers[s.Channel];
    s.StreamPos = s.ResumePos;
    // The data goes from offset 0, so the cursor must start there too (a
    // reused buffer keeps the cursor where it stopped).
    if (ch.Buffer)
        ch.Buffer->SetCurrentPosition(0);
    const int64_t written = Stream_FillOgg(0, StreamBufferSize, id);
    ch.InUse = true;
    ch.SoundId = id;
    ch.Full = written == StreamBufferSize;
    // A reused or fresh buffer has someone else's volume: give it ours.
    Sound_SetVolume(id, s.Volume);
}

void Sound_PlayStream(int32_t id, bool restart, bool loop) {
    if (!ValidId(id))
        return;
    std::lock_guard<TCriticalSection> guard(SoundLock);
    TGlobalSound& s = GlobalSounds[id];
    if (!s.Streamed || !SoundDevice || StreamBufferSize <= 0)
        return;
    if (!s.OggFile)
        OpenStreamDecoder(s);

    bool owned = s.Channel >= 1 && s.Channel <= STREAM_CHANNEL_COUNT;
    if (owned) {
        const TStreamBuffer& ch = StreamBuffers[s.Channel];
        owned = !(ch.InUse && ch.SoundId != id);
    }
    if (!owned)
        Stream_AcquireChannel(id);
    else if (!StreamBuffers[s.Channel].Buffer || !SameFormat(StreamBuffers[s.Channel], s))
        RecreateChannel(s.Channel, s); // our channel was remade for another sound meanwhile

    s.Loop = loop;
    if (restart)
        s.ResumePos = 0;
    TStreamBuffer& ch = StreamBuffers[s.Channel];
    uint32_t status = 0;
    if (ch.Buffer)
        ch.Buffer->GetStatus(status);
    if (status & DSBSTATUS_PLAYING) {
        if (!restart)
            return;
        ch.Buffer->Stop();
    }
    Stream_Prime(id);
    Sound_PlayBuffer(ch.Buffer, DSBPLAY_LOOPING);
}

void Stream_Refill(int32_t c, bool force) {
    TStreamBuffer& ch = StreamBuffers[c];
    const int32_t id = ch.SoundId;
    if (!ValidId(id) || !ch.Buffer || StreamBufferSize <= 0)
        return;
    TGlobalSound& s = GlobalSounds[id];
    uint32_t play = 0;
    ch.Buffer->GetCurrentPosition(&play, nullptr);
    const int64_t size = StreamBufferSize;
    const int64_t p = play;
    const int64_t w = s.StreamPos % size;
    int64_t ahead;
    if (w == p) {
        ahead = ch.Full ? size : 0;
    } else {
        ahead = w < p ? w + size - p : w - p;
        ch.Full = false;
    }
    const int64_t played = s.StreamPos - ahead;
    if (played >= s.DataSize && !s.Loop) {
        Sound_Stop(id);
        return;
    }
    const int64_t free = size - ahead;
    if (free < 1)
        return;
    if (ahead < RefillThreshold || force) {
        const int64_t written = Stream_FillOgg(w, free, id);
        if (written == free)
            ch.Full = true;
    }
}

// ---------------------------------------------------------------------------
// Stopping

void Sound_Stop(int32_t id) {
    if (!ValidId(id))
        return;
    std::lock_guard<TCriticalSection> guard(SoundLock);
    TGlobalSound& s = GlobalSounds[id];
    if (!s.Streamed) {
        if (s.Buffer)
            s.Buffer->Stop();
        return;
    }
    if (s.Channel < 1 || s.Channel > STREAM_CHANNEL_COUNT)
        return;
    TStreamBuffer& ch = StreamBuffers[s.Channel];
    // The channel may have been taken by another sound since.
    if (!ch.InUse || ch.SoundId != id)
        return;
    if (ch.Buffer)
        ch.Buffer->Stop();
    // The next priming writes from offset 0 with the cursor at 0, so the
    // resume position is the stream position taken down to a whole buffer:
    // refills then write where the data is, and the end of a track is reached
    // at most one buffer late (in silence), never early.
    if (StreamBufferSize > 0)
        s.ResumePos = s.StreamPos - s.StreamPos % StreamBufferSize;
    ch.InUse = false;
}

// ---------------------------------------------------------------------------
// The per-frame pump and fades

void Sound_Update() {
    std::lock_guard<TCriticalSection> guard(SoundLock);
    const int32_t now = Now();
    if (now < LastRefillTime)
        LastRefillTime = 0;
    if (int64_t(now) > int64_t(LastRefillTime) + RefillInterval) {
        for (int32_t c = 1; c <= STREAM_CHANNEL_COUNT; ++c)
            if (StreamBuffers[c].InUse)
                Stream_Refill(c, false);
        LastRefillTime = now;
    }

    TSoundFade* f = FadeList.Next;
    while (f && f->StartTime < now) {
        const int32_t id = f->SoundId;
        if (!ValidId(id)) {
            TSoundFade* next = f->Next;
            Unlink(f);
            delete f;
            f = next;
            continue;
        }
        TGlobalSound& s = GlobalSounds[id];
        bool takeover = false;
        if (s.Fade && s.Fade != f) {
            // A newer fade replaces the one running on the sound at once; left
            // in the list, the old one would later set its end volume (and
            // stop the sound) under the new one.
            TSoundFade* old = s.Fade;
            Unlink(old);
            delete old;
            s.Fade = nullptr;
            takeover = true;
        }
        if (int64_t(f->StartTime) + f->Duration < now) {
            Sound_SetVolume(id, f->ToVolume);
            if (f->ToVolume == 0)
                Sound_Stop(id);
            s.Fade = nullptr;
            TSoundFade* next = f->Next;
            Unlink(f);
            delete f;
            f = next;
            continue;
        }
        if (takeover)
            f->FromVolume = s.Volume;
        if (f->FromVolume == 0) {
            f->FromVolume = 1;
            Sound_Play(id, true, true);
            Sound_SetVolume(id, 1);
        }
        const int64_t v =
            (int64_t(now) - f->StartTime) * (int64_t(f->ToVolume) - f->FromVolume) / f->Duration + f->FromVolume;
        Sound_SetVolume(id, int32_t(v));
        if (v == 0)
            Sound_Stop(id);
        s.Fade = f;
        f = f->Next;
    }
}

void Sound_AddFade(int32_t startTime, int32_t duration, int32_t fromVolume, int32_t toVolume, int32_t id) {
    if (id == 0)
        return;
    auto* fade = new (std::nothrow) TSoundFade();
    if (!fade)
        return; // out of memory: the volume simply stays
    fade->StartTime = startTime;
    fade->Duration = duration;
    fade->FromVolume = fromVolume;
    fade->ToVolume = toVolume;
    fade->SoundId = id;
    std::lock_guard<TCriticalSection> guard(SoundLock);
    TSoundFade* after = &FadeList;
    while (after->Next && after->Next->StartTime <= startTime)
        after = after->Next;
    fade->Prev = after;
    fade->Next = after->Next;
    if (after->Next)
        after->Next->Prev = fade;
    after->Next = fade;
}

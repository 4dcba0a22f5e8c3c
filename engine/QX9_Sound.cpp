// QX9_Sound: the device, the slot table, duplicating, playing static sounds,
// volumes, the fatal check and the unit's start and end. Loading is in
// QX9_Sound_Load.cpp, streams and fades in QX9_Sound_Stream.cpp.
#include "engine/QX9_Sound.h"

#include <cmath>
#include <cstdio>
#include <mutex>

#include <vorbis/vorbisfile.h>

#include "engine/QX9_System.h"
#include "engine/QX9_System_Window.h"

// ---------------------------------------------------------------------------
// State

std::vector<TGlobalSound> GlobalSounds(SOUND_SLOT_COUNT + 1);
std::vector<TStreamBuffer> StreamBuffers(STREAM_CHANNEL_COUNT + 1);
TDirectSound* SoundDevice = nullptr;
TDirectSoundBuffer* SoundPrimaryBuffer = nullptr;
TDirectSound3DListener* SoundListener = nullptr;
bool Use3D = false;
int32_t DeviceChannels = 0;
int32_t DeviceRate = 0;
int32_t DeviceBits = 0;
int32_t RefillThreshold = 0;
int32_t StreamBufferSize = 0;
std::vector<uint8_t> StreamScratch;
int32_t LastRefillTime = 0;
TSoundFade FadeList;
TCriticalSection SoundLock;

namespace {

// Slots are never freed while the program runs, so the search can start
// where the last one ended.
int32_t FreeSlotHint = 1;
bool SlotsFullReported = false;
std::once_flag UnitStarted;

void FreeFades() {
    TSoundFade* f = FadeList.Next;
    while (f) {
        TSoundFade* next = f->Next;
        delete f;
        f = next;
    }
    FadeList = TSoundFade();
}

void ClearTables() {
    for (TGlobalSound& s : GlobalSounds)
        s = TGlobalSound();
    for (TStreamBuffer& c : StreamBuffers)
        c = TStreamBuffer();
    FreeFades();
    FreeSlotHint = 1;
    LastRefillTime = 0;
}

// Releases everything the tables and the device hold.
void ReleaseAll() {
    for (int32_t i = 1; i <= SOUND_SLOT_COUNT; ++i) {
        TGlobalSound& s = GlobalSounds[i];
        if (s.Streamed) {
            if (s.OggFile) {
                ov_clear(s.OggFile);
                delete s.OggFile;
                s.OggFile = nullptr;
            }
            if (s.FileHandle != INVALID_HANDLE_VALUE) {
                OS_CloseHandle(s.FileHandle);
                s.FileHandle = INVALID_HANDLE_VALUE;
            }
        }
        if (s.Buffer3D)
            s.Buffer3D->Release();
        if (s.Buffer)
            s.Buffer->Release();
    }
    for (TStreamBuffer& c : StreamBuffers)
        if (c.Buffer)
            c.Buffer->Release();
    ClearTables();
    StreamScratch.clear();
    StreamScratch.shrink_to_fit();
    if (SoundListener)
        SoundListener->Release();
    SoundListener = nullptr;
    if (SoundPrimaryBuffer)
        SoundPrimaryBuffer->Release();
    SoundPrimaryBuffer = nullptr;
    if (SoundDevice)
        SoundDevice->Release();
    SoundDevice = nullptr;
}

} // namespace

// ---------------------------------------------------------------------------
// Unit start and end

void QX9_Sound_Initialization() {
    // The memory callbacks are fixed functions (OggMemRead and its kin); what
    // remains is to have the device released at the program's end.
    std::call_once(UnitStarted, [] { AddUnitShutdown(QX9_Sound_Finalization); });
}

void QX9_Sound_Finalization() {
    std::lock_guard<TCriticalSection> guard(SoundLock);
    ReleaseAll();
}

// ---------------------------------------------------------------------------
// Device

void Sound_Check(int32_t result, const std::string& operation) {
    if (result == 0)
        return;
    AppendEngineError(operation + ": " + DSound_ResultText(result) + " -> DIRECTSOUND INTERNAL ERROR");
    FatalStop();
}

void Sound_Init(int32_t channels, int32_t rate, int32_t bits, bool use3D, intptr_t window) {
    QX9_Sound_Initialization();
    std::lock_guard<TCriticalSection> guard(SoundLock);
    ReleaseAll(); // a second set-up starts from nothing
    Use3D = use3D;

    Sound_Check(DirectSoundCreate(SoundDevice), "DirectSoundCreate");
    if (window == -1)
        window = reinterpret_cast<intptr_t>(GetMainWindow());
    Sound_Check(SoundDevice->SetCooperativeLevel(window, DSSCL_PRIORITY), "DirectSound.SetCooperativeLevel");

    TDSBufferDesc primary;
    primary.Flags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLVOLUME | (Use3D ? DSBCAPS_CTRL3D : 0);
    Sound_Check(SoundDevice->CreateSoundBuffer(primary, SoundPrimaryBuffer), "DirectSound.CreateSoundBuffer");
    if (Use3D)
        Sound_Check(SoundPrimaryBuffer->QueryListener(SoundListener), "DSPrimaryBuffer.QueryInterface");

    DeviceChannels = channels;
    DeviceRate = rate;
    DeviceBits = bits;
    // Both assume 16-bit samples whatever the device's bits.
    RefillThreshold = int32_t(int64_t(rate) * channels * 2);
    StreamBufferSize = int32_t(int64_t(rate) * channels * 8);

    Sound_Check(SoundPrimaryBuffer->SetFormat(DSound_PcmFormat(uint32_t(channels), uint32_t(rate), uint32_t(bits))),
                "DSPrimaryBuffer.SetFormat");
    ClearTables();
}

// ---------------------------------------------------------------------------
// Slots

int32_t Sound_FindFreeSlot() {
    std::lock_guard<TCriticalSection> guard(SoundLock);
    for (int32_t i = FreeSlotHint; i <= SOUND_SLOT_COUNT; ++i) {
        const TGlobalSound& s = GlobalSounds[i];
        if (!s.Buffer && !s.Streamed) {
            FreeSlotHint = i;
            return i;
        }
    }
    FreeSlotHint = SOUND_SLOT_COUNT + 1;
    if (!SlotsFullReported) {
        SlotsFullReported = true;
        std::fprintf(stderr, "Sound: all %d sound slots are taken; further sounds are not loaded\n",
                     int(SOUND_SLOT_COUNT));
    }
    return 0;
}

int32_t Sound_Duplicate(int32_t id) {
    std::lock_guard<TCriticalSection> guard(SoundLock);
    if (id <= 0 || id > SOUND_SLOT_COUNT || !SoundDevice)
        return 0;
    const TGlobalSound& src = GlobalSounds[id];
    if (!src.Buffer) // streams and empty slots have nothing to share
        return 0;
    const int32_t slot = Sound_FindFreeSlot();
    if (slot == 0)
        return 0;
    TDirectSoundBuffer* copy = nullptr;
    Sound_Check(SoundDevice->DuplicateSoundBuffer(src.Buffer, copy), "DirectSound.DuplicateSoundBuffer");
    TGlobalSound& d = GlobalSounds[slot];
    d = TGlobalSound();
    d.Buffer = copy;
    d.Group = src.Group;
    d.DataSize = src.DataSize;
    d.Volume = src.Volume;
    d.GroupVolume = src.GroupVolume;
    // The fade belongs to the original: a copy pointing at it would outlive it.
    d.Fade = nullptr;
    d.FileName = src.FileName;
    d.Streamed = src.Streamed;
    d.Channel = src.Channel;
    d.StreamPos = src.StreamPos;
    d.Loop = src.Loop;
    d.ResumePos = src.ResumePos;
    d.Channels = src.Channels;
    d.Rate = src.Rate;
    d.Bits = src.Bits;
    return slot;
}

// ---------------------------------------------------------------------------
// Playing

TDSResult Sound_PlayBuffer(TDirectSoundBuffer* buffer, uint32_t flags) {
    if (!buffer)
        return DSERR_INVALIDCALL;
    TDSResult r = DS_OK;
    for (int attempt = 0; attempt < 10; ++attempt) {
        r = buffer->Play(0, 0, flags);
        if (r == DSERR_BUFFERLOST)
            buffer->Restore();
        if (r == DS_OK)
            break;
    }
    return r;
}

void Sound_PlayStatic(int32_t id, bool restart, bool loop) {
    std::lock_guard<TCriticalSection> guard(SoundLock);
    if (id <= 0 || id > SOUND_SLOT_COUNT)
        return;
    TDirectSoundBuffer* b = GlobalSounds[id].Buffer;
    if (!b)
        return;
    uint32_t status = 0;
    b->GetStatus(status);
    if ((status & DSBSTATUS_PLAYING) && restart) {
        b->SetCurrentPosition(0);
        return;
    }
    Sound_PlayBuffer(b, loop ? DSBPLAY_LOOPING : 0);
}

void Sound_Play(int32_t id, bool restart, bool loop) {
    if (id <= 0 || id > SOUND_SLOT_COUNT)
        return;
    std::lock_guard<TCriticalSection> guard(SoundLock);
    if (GlobalSounds[id].Streamed)
        Sound_PlayStream(id, restart, loop);
    else
        Sound_PlayStatic(id, restart, loop);
}

// ---------------------------------------------------------------------------
// Volumes

int32_t Sound_VolumeToDecibels(int32_t volume, int32_t groupVolume) {
    // The curve runs in extended precision and rounds to a single at each
    // stored step, halves to even at the end.
    const float v = float((long double)volume * groupVolume / 1000.0L);
    const float r = float(sqrtl(v));
    const float attenuation = float(10000.0L - 10.0L * r / (r / 1309.0L + 1.0L / 132.0L));
    long a = std::lrint(attenuation);
    if (a < 0)
        a = 0;
    if (a > 10000)
        a = 10000;
    return -int32_t(a);
}

void Sound_SetVolume(int32_t id, int32_t volume) {
    if (id <= 0 || id > SOUND_SLOT_COUNT)
        return;
    std::lock_guard<TCriticalSection> guard(SoundLock);
    TGlobalSound& s = GlobalSounds[id];
    s.Volume = volume < 0 ? 0 : (volume > 1000 ? 1000 : volume);
    const int32_t decibels = Sound_VolumeToDecibels(s.Volume, s.GroupVolume);
    TDirectSoundBuffer* b = s.Buffer;
    if (s.Streamed) {
        b = nullptr;
        if (s.Channel >= 1 && s.Channel <= STREAM_CHANNEL_COUNT) {
            const TStreamBuffer& c = StreamBuffers[s.Channel];
            if (c.InUse && c.SoundId == id)
                b = c.Buffer;
        }
    }
    if (b)
        b->SetVolume(decibels);
}

void Sound_SetGroupSoundsVolume(int32_t group, int32_t volume) {
    std::lock_guard<TCriticalSection> guard(SoundLock);
    for (int32_t i = 1; i <= SOUND_SLOT_COUNT; ++i)
        if (GlobalSounds[i].Group == group && !GlobalSounds[i].Fade)
            Sound_SetVolume(i, volume);
}

void Sound_SetGroupVolume(int32_t group, int32_t groupVolume) {
    const int32_t g = groupVolume < 0 ? 0 : (groupVolume > 1000 ? 1000 : groupVolume);
    std::lock_guard<TCriticalSection> guard(SoundLock);
    for (int32_t i = 1; i <= SOUND_SLOT_COUNT; ++i) {
        TGlobalSound& s = GlobalSounds[i];
        if (s.Group == group) {
            s.GroupVolume = g;
            Sound_SetVolume(i, s.Volume);
        }
    }
}

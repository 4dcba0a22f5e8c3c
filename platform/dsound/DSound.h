// A DirectSound-like sound device: a primary buffer that fixes the output
// format and secondary buffers that hold PCM samples, each with its own play
// cursor, looping flag and volume. Everything is mixed in software; SDL2 audio
// pulls the mixed stream (falling back to SDL's silent "dummy" driver when no
// real device opens, so a machine without sound still runs the game).
//
// The buffer rules the engine relies on:
// - Play starts at the current cursor; Play on a playing buffer keeps playing
//   and only takes the new looping flag.
// - Stop keeps the cursor (the next Play resumes there); a non-looping buffer
//   that reaches its end stops with its cursor back at 0.
// - Lock may return two regions when the span wraps past the buffer's end; the
//   mixer is held from Lock to Unlock (both on the same thread).
// - Volume is in hundredths of a decibel, -10000..0: gain 10^(v/2000), exactly
//   silent at -10000.
// - A duplicate shares the sample memory and has its own cursor and state.
// - 3D buffers are heard centred (nothing ever moves a source or the listener).
// - While the window lacks the focus every secondary buffer is muted, not
//   paused: cursors keep moving.
// One recursive lock per device guards all of it: the audio thread mixes while
// the main thread and the loader thread create, fill, play and stop buffers.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dsound/DSound_Mix.h"

// ---------------------------------------------------------------------------
// Results (the codes the engine checks and prints)

using TDSResult = int32_t;

constexpr TDSResult DS_OK = 0;
constexpr TDSResult DSERR_ALLOCATED = static_cast<int32_t>(0x8878000Au);
constexpr TDSResult DSERR_CONTROLUNAVAIL = static_cast<int32_t>(0x8878001Eu);
constexpr TDSResult DSERR_INVALIDPARAM = static_cast<int32_t>(0x80070057u);
constexpr TDSResult DSERR_INVALIDCALL = static_cast<int32_t>(0x88780032u);
constexpr TDSResult DSERR_GENERIC = static_cast<int32_t>(0x80004005u);
constexpr TDSResult DSERR_PRIOLEVELNEEDED = static_cast<int32_t>(0x88780046u);
constexpr TDSResult DSERR_OUTOFMEMORY = static_cast<int32_t>(0x8007000Eu);
constexpr TDSResult DSERR_BADFORMAT = static_cast<int32_t>(0x88780064u);
constexpr TDSResult DSERR_UNSUPPORTED = static_cast<int32_t>(0x80004001u);
constexpr TDSResult DSERR_NODRIVER = static_cast<int32_t>(0x88780078u);
constexpr TDSResult DSERR_BUFFERLOST = static_cast<int32_t>(0x88780096u);
constexpr TDSResult DSERR_NOINTERFACE = static_cast<int32_t>(0x80004002u);
constexpr TDSResult DSERR_UNINITIALIZED = static_cast<int32_t>(0x887800AAu);

// The description of a result code, as the fatal-error line shows it.
const char* DSound_ResultText(TDSResult result);

// ---------------------------------------------------------------------------
// Flags

constexpr uint32_t DSSCL_NORMAL = 1;
constexpr uint32_t DSSCL_PRIORITY = 2;

constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x1;
constexpr uint32_t DSBCAPS_STATIC = 0x2;
constexpr uint32_t DSBCAPS_CTRL3D = 0x10;
constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x80;
constexpr uint32_t DSBCAPS_GLOBALFOCUS = 0x8000;
constexpr uint32_t DSBCAPS_GETCURRENTPOSITION2 = 0x10000;

constexpr uint32_t DSBPLAY_LOOPING = 0x1;

constexpr uint32_t DSBSTATUS_PLAYING = 0x1;
constexpr uint32_t DSBSTATUS_LOOPING = 0x4;

constexpr uint32_t DSBLOCK_FROMWRITECURSOR = 0x1;
constexpr uint32_t DSBLOCK_ENTIREBUFFER = 0x2;

constexpr int32_t DSBVOLUME_MIN = -10000;
constexpr int32_t DSBVOLUME_MAX = 0;

constexpr uint16_t WAVE_FORMAT_PCM = 1;

// Largest secondary buffer we accept (bytes); far above any sound the game has.
constexpr uint32_t DSBSIZE_MAX = 0x0FFFFFFFu;
constexpr uint32_t DSBSIZE_MIN = 4;

struct TWaveFormat {
    uint16_t FormatTag = WAVE_FORMAT_PCM;
    uint16_t Channels = 2;
    uint32_t SamplesPerSec = 44100;
    uint32_t AvgBytesPerSec = 176400;
    uint16_t BlockAlign = 4;
    uint16_t BitsPerSample = 16;
};

// A PCM format with the derived fields filled in.
TWaveFormat DSound_PcmFormat(uint32_t channels, uint32_t rate, uint32_t bits);

struct TDSBufferDesc {
    uint32_t Flags = 0;
    uint32_t BufferBytes = 0;            // 0 for the primary buffer
    const TWaveFormat* Format = nullptr; // nullptr for the primary buffer
};

class TDirectSound;

// The 3D interfaces. Nothing in the game sets a position or a listener
// parameter, so they hold nothing and a 3D buffer is mixed centred.
class TDirectSound3DBuffer {
public:
    void Release() { delete this; }
};
class TDirectSound3DListener {
public:
    void Release() { delete this; }
};

class TDirectSoundBuffer {
public:
    TDSResult Play(uint32_t reserved, uint32_t priority, uint32_t flags);
    TDSResult Stop();
    TDSResult GetStatus(uint32_t& status);
    // Play cursor in bytes (whole blocks); the write cursor is a little ahead.
    TDSResult GetCurrentPosition(uint32_t* play, uint32_t* write);
    TDSResult SetCurrentPosition(uint32_t position);
    // On success the device stays locked until Unlock (same thread).
    TDSResult Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2, uint32_t* bytes2,
                   uint32_t flags);
    TDSResult Unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2);
    TDSResult SetVolume(int32_t volume);
    TDSResult GetVolume(int32_t& volume);
    // The primary buffer's format is the device's output format.
    TDSResult SetFormat(const TWaveFormat& format);
    TDSResult GetFormat(TWaveFormat& format);
    // Buffers are never lost here; kept for callers that restore on loss.
    TDSResult Restore() { return DS_OK; }
    // A buffer made with DSBCAPS_CTRL3D: its 3D interface. The primary buffer
    // made with DSBCAPS_CTRL3D: the listener.
    TDSResult QueryInterface3D(TDirectSound3DBuffer*& buffer3D);
    TDSResult QueryListener(TDirectSound3DListener*& listener);
    // Frees the buffer (the samples live on while a duplicate uses them).
    void Release();

    uint32_t Size() const { return FSize; }
    uint32_t Flags() const { return FFlags; }
    bool IsPrimary() const { return (FFlags & DSBCAPS_PRIMARYBUFFER) != 0; }

private:
    friend class TDirectSound;
    TDirectSoundBuffer(TDirectSound* device, uint32_t flags) : FDevice(device), FFlags(flags) {}
    ~TDirectSoundBuffer() = default;

    TDirectSound* FDevice;
    uint32_t FFlags;
    uint32_t FSize = 0;
    TWaveFormat FFormat;
    std::shared_ptr<std::vector<uint8_t>> FSamples;
    int32_t FVolume = 0;
    int FLockDepth = 0;
    TMixVoice FVoice;
};

class TDirectSound {
public:
    TDSResult SetCooperativeLevel(intptr_t window, uint32_t level);
    TDSResult CreateSoundBuffer(const TDSBufferDesc& desc, TDirectSoundBuffer*& buffer);
    TDSResult DuplicateSoundBuffer(TDirectSoundBuffer* original, TDirectSoundBuffer*& duplicate);
    // Closes the output and frees every buffer still alive.
    void Release();

    // The mixing step the audio output pulls: mixes every playing secondary
    // buffer into frames x OutputChannels() samples and advances the cursors.
    // Tests call it directly on a device made offline.
    void Render(int16_t* out, uint32_t frames);
    void SetFocus(bool focused);
    bool HasFocus() const;
    uint32_t OutputRate() const;
    uint32_t OutputChannels() const;
    // The SDL driver playing the output, empty when offline.
    const char* DriverName() const;
    intptr_t CooperativeWindow() const { return FWindow; }

private:
    friend class TDirectSoundBuffer;
    friend TDSResult DirectSoundCreate(TDirectSound*& device);
    TDirectSound() = default;
    ~TDirectSound() = default;
    TDSResult OpenOutput();
    void CloseOutput();
    void RemoveBuffer(TDirectSoundBuffer* buffer);

    mutable std::recursive_mutex FLock;
    std::vector<TDirectSoundBuffer*> FBuffers;
    std::vector<TMixVoice*> FActive; // scratch for Render
    std::vector<float> FMixScratch;
    TDirectSoundBuffer* FPrimary = nullptr;
    intptr_t FWindow = 0;
    uint32_t FLevel = 0;
    bool FFocused = true;
    uint32_t FRate = 44100;
    uint32_t FChannels = 2;
    uint32_t FOutput = 0; // SDL audio device id, 0 when offline
    bool FAudioSubsystem = false;
    const char* FDriver = "";
};

// Creates the device on the default output. When no real device opens it
// falls back to SDL's silent "dummy" driver, saying so once on stderr in our
// own words; DSERR_NODRIVER only when even that fails.
TDSResult DirectSoundCreate(TDirectSound*& device);

// The SDL audio drivers DirectSoundCreate tries, in order, before silence:
// one empty entry (SDL's own choice) when SDL_AUDIODRIVER names one; else
// PipeWire, PulseAudio, and ALSA only when the system has a playback device.
std::vector<std::string> DSound_OutputDrivers();

// Offline devices have no audio output: their mixer runs only when Render is
// called. Tests switch this on before creating a device.
void DSound_SetOffline(bool offline);
bool DSound_IsOffline();

// The window gained or lost the focus: mutes or unmutes every device (and the
// devices created later). The window layer calls it on activation changes.
void DSound_SetFocus(bool focused);

// The gain of a volume in hundredths of a decibel.
float DSound_VolumeToGain(int32_t volume);

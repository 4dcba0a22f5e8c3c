// The DirectSound-like device over the software mixer and SDL2 audio.
#include "platform/dsound/DSound.h"

#include <SDL.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

std::mutex RegistryLock;
std::vector<TDirectSound*> Devices; // under RegistryLock
bool GlobalFocus = true;            // under RegistryLock
std::atomic<bool> Offline{false};

bool ValidPcm(const TWaveFormat& f) {
    if (f.FormatTag != WAVE_FORMAT_PCM)
        return false;
    if (f.Channels != 1 && f.Channels != 2)
        return false;
    if (f.BitsPerSample != 8 && f.BitsPerSample != 16)
        return false;
    if (f.SamplesPerSec < 100 || f.SamplesPerSec > 200000)
        return false;
    return f.BlockAlign == f.Channels * f.BitsPerSample / 8;
}

void SDLCALL AudioCallback(void* user, Uint8* stream, int len) {
    auto* device = static_cast<TDirectSound*>(user);
    const uint32_t frameBytes = 2 * device->OutputChannels();
    device->Render(reinterpret_cast<int16_t*>(stream), uint32_t(len) / frameBytes);
}

// Whether the system has an ALSA playback device node (/dev/snd/pcmC*D*p).
bool HasAlsaPlayback() {
    DIR* dir = opendir("/dev/snd");
    if (dir == nullptr)
        return false;
    bool found = false;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind("pcmC", 0) == 0 && name.back() == 'p') {
            found = true;
            break;
        }
    }
    closedir(dir);
    return found;
}

} // namespace

std::vector<std::string> DSound_OutputDrivers() {
    // A driver named in SDL_AUDIODRIVER is the user's (or a test's) choice:
    // SDL takes it from there.
    const char* chosen = std::getenv("SDL_AUDIODRIVER");
    if (chosen != nullptr && *chosen != 0)
        return {std::string()};
    // The sound servers first; they fail without a word when none runs.
    // ALSA only where there is a card to play on: on a machine without one
    // the library prints a dozen lines of its own before it gives up.
    std::vector<std::string> drivers = {"pipewire", "pulseaudio"};
    if (HasAlsaPlayback())
        drivers.push_back("alsa");
    return drivers;
}

const char* DSound_ResultText(TDSResult result) {
    switch (result) {
    case DS_OK:
        return "The operation succeeded.";
    case DSERR_ALLOCATED:
        return "The call failed because resources (such as a priority level) were already being used by another "
               "caller.";
    case DSERR_CONTROLUNAVAIL:
        return "The control (vol, pan, etc.) requested by the caller is not available.";
    case DSERR_INVALIDPARAM:
        return "An invalid parameter was passed to the returning function.";
    case DSERR_INVALIDCALL:
        return "This call is not valid for the current state of this object.";
    case DSERR_GENERIC:
        return "An undetermined error occurred inside the DirectSound subsystem.";
    case DSERR_PRIOLEVELNEEDED:
        return "The caller does not have the priority level required for the function to succeed.";
    case DSERR_OUTOFMEMORY:
        return "Not enough free memory is available to complete the operation.";
    case DSERR_BADFORMAT:
        return "The specified WAVE format is not supported.";
    case DSERR_UNSUPPORTED:
        return "The function called is not supported at this time.";
    case DSERR_NODRIVER:
        return "No sound driver is available for use.";
    case DSERR_BUFFERLOST:
        return "The buffer memory has been lost and must be restored.";
    case DSERR_NOINTERFACE:
        return "The requested COM interface is not available.";
    case DSERR_UNINITIALIZED:
        return "This object has not been initialized.";
    default:
        return "An unknown error occurred.";
    }
}

TWaveFormat DSound_PcmFormat(uint32_t channels, uint32_t rate, uint32_t bits) {
    TWaveFormat f;
    f.FormatTag = WAVE_FORMAT_PCM;
    f.Channels = uint16_t(channels);
    f.SamplesPerSec = rate;
    f.BitsPerSample = uint16_t(bits);
    f.BlockAlign = uint16_t(channels * bits / 8);
    f.AvgBytesPerSec = rate * channels * bits / 8;
    return f;
}

float DSound_VolumeToGain(int32_t volume) {
    if (volume <= DSBVOLUME_MIN)
        return 0.0f;
    if (volume >= DSBVOLUME_MAX)
        return 1.0f;
    return std::pow(10.0f, float(volume) / 2000.0f);
}

void DSound_SetOffline(bool offline) {
    Offline = offline;
}

bool DSound_IsOffline() {
    return Offline;
}

void DSound_SetFocus(bool focused) {
    std::lock_guard<std::mutex> guard(RegistryLock);
    GlobalFocus = focused;
    for (TDirectSound* d : Devices)
        d->SetFocus(focused);
}

// ---------------------------------------------------------------------------
// Device

TDSResult DirectSoundCreate(TDirectSound*& device) {
    device = nullptr;
    auto* d = new (std::nothrow) TDirectSound();
    if (!d)
        return DSERR_OUTOFMEMORY;
    TDSResult r = d->OpenOutput();
    if (r != DS_OK) {
        delete d;
        return r;
    }
    {
        std::lock_guard<std::mutex> guard(RegistryLock);
        // The output callback already runs: the focus flag is read under the
        // device's lock there.
        std::lock_guard<std::recursive_mutex> deviceGuard(d->FLock);
        d->FFocused = GlobalFocus;
        Devices.push_back(d);
    }
    device = d;
    return DS_OK;
}

TDSResult TDirectSound::OpenOutput() {
    if (Offline) {
        FDriver = "";
        return DS_OK;
    }
    SDL_AudioSpec want{};
    want.freq = int(FRate);
    want.format = AUDIO_S16SYS;
    want.channels = Uint8(FChannels);
    want.samples = 1024;
    want.callback = AudioCallback;
    want.userdata = this;

    // driver: the SDL driver to use; empty: SDL's own choice.
    auto tryOpen = [&](const std::string& driver) {
        if (!driver.empty())
            SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, driver.c_str(), SDL_HINT_OVERRIDE);
        bool opened = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (opened) {
            SDL_AudioSpec have{};
            // No allowed changes: SDL converts when the hardware differs.
            FOutput = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
            opened = FOutput != 0;
            if (!opened)
                SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
        if (!driver.empty())
            SDL_ResetHint(SDL_HINT_AUDIODRIVER);
        FAudioSubsystem = opened;
        return opened;
    };
    bool opened = false;
    for (const std::string& driver : DSound_OutputDrivers())
        if ((opened = tryOpen(driver)))
            break;
    if (!opened) {
        // A machine without a usable sound device still plays the game, silently.
        if (!tryOpen("dummy"))
            return DSERR_NODRIVER;
        static std::once_flag told;
        std::call_once(told, [] { std::fprintf(stderr, "Sound: no sound device found; playing without sound.\n"); });
    }
    const char* name = SDL_GetCurrentAudioDriver();
    FDriver = name ? name : "";
    SDL_PauseAudioDevice(FOutput, 0);
    return DS_OK;
}

void TDirectSound::CloseOutput() {
    // Never under FLock: closing waits for the audio callback, which takes it.
    if (FOutput != 0) {
        SDL_CloseAudioDevice(FOutput);
        FOutput = 0;
    }
    if (FAudioSubsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        FAudioSubsystem = false;
    }
}

void TDirectSound::Release() {
    {
        std::lock_guard<std::mutex> guard(RegistryLock);
        Devices.erase(std::remove(Devices.begin(), Devices.end(), this), Devices.end());
    }
    CloseOutput();
    {
        std::lock_guard<std::recursive_mutex> guard(FLock);
        for (TDirectSoundBuffer* b : FBuffers)
            delete b;
        FBuffers.clear();
        FPrimary = nullptr;
    }
    delete this;
}

TDSResult TDirectSound::SetCooperativeLevel(intptr_t window, uint32_t level) {
    if (level < DSSCL_NORMAL || level > 3)
        return DSERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FWindow = window;
    FLevel = level;
    return DS_OK;
}

TDSResult TDirectSound::CreateSoundBuffer(const TDSBufferDesc& desc, TDirectSoundBuffer*& buffer) {
    buffer = nullptr;
    std::lock_guard<std::recursive_mutex> guard(FLock);
    if (desc.Flags & DSBCAPS_PRIMARYBUFFER) {
        if (desc.BufferBytes != 0 || desc.Format != nullptr)
            return DSERR_INVALIDPARAM;
        if (FPrimary)
            return DSERR_ALLOCATED;
        auto* b = new (std::nothrow) TDirectSoundBuffer(this, desc.Flags);
        if (!b)
            return DSERR_OUTOFMEMORY;
        b->FFormat = DSound_PcmFormat(FChannels, FRate, 16);
        FPrimary = b;
        FBuffers.push_back(b);
        buffer = b;
        return DS_OK;
    }
    if (desc.Format == nullptr || !ValidPcm(*desc.Format))
        return DSERR_INVALIDPARAM;
    if (desc.BufferBytes < DSBSIZE_MIN || desc.BufferBytes > DSBSIZE_MAX || desc.BufferBytes < desc.Format->BlockAlign)
        return DSERR_INVALIDPARAM;
    auto* b = new (std::nothrow) TDirectSoundBuffer(this, desc.Flags);
    if (!b)
        return DSERR_OUTOFMEMORY;
    try {
        // Silence of the format: 8-bit PCM is unsigned around 128.
        const uint8_t silence = desc.Format->BitsPerSample == 8 ? 128 : 0;
        b->FSamples = std::make_shared<std::vector<uint8_t>>(desc.BufferBytes, silence);
    } catch (const std::bad_alloc&) {
        delete b;
        return DSERR_OUTOFMEMORY;
    }
    b->FSize = desc.BufferBytes;
    b->FFormat = *desc.Format;
    TMixVoice& v = b->FVoice;
    v.Data = b->FSamples->data();
    v.Channels = desc.Format->Channels;
    v.Bits = desc.Format->BitsPerSample;
    v.Rate = desc.Format->SamplesPerSec;
    v.Frames = desc.BufferBytes / desc.Format->BlockAlign;
    v.Centred = (desc.Flags & DSBCAPS_CTRL3D) != 0;
    FBuffers.push_back(b);
    buffer = b;
    return DS_OK;
}

TDSResult TDirectSound::DuplicateSoundBuffer(TDirectSoundBuffer* original, TDirectSoundBuffer*& duplicate) {
    duplicate = nullptr;
    if (!original)
        return DSERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> guard(FLock);
    if (original->FDevice != this || original->IsPrimary())
        return DSERR_INVALIDCALL;
    auto* b = new (std::nothrow) TDirectSoundBuffer(this, original->FFlags);
    if (!b)
        return DSERR_OUTOFMEMORY;
    b->FSize = original->FSize;
    b->FFormat = original->FFormat;
    b->FSamples = original->FSamples;
    b->FVolume = original->FVolume;
    b->FVoice = original->FVoice;
    b->FVoice.Playing = false;
    b->FVoice.Looping = false;
    b->FVoice.Position = 0;
    FBuffers.push_back(b);
    duplicate = b;
    return DS_OK;
}

void TDirectSound::RemoveBuffer(TDirectSoundBuffer* buffer) {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FBuffers.erase(std::remove(FBuffers.begin(), FBuffers.end(), buffer), FBuffers.end());
    if (FPrimary == buffer)
        FPrimary = nullptr;
}

void TDirectSound::Render(int16_t* out, uint32_t frames) {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FActive.clear();
    for (TDirectSoundBuffer* b : FBuffers)
        if (!b->IsPrimary() && b->FVoice.Playing)
            FActive.push_back(&b->FVoice);
    DSound_MixVoices(FActive.data(), FActive.size(), out, frames, FChannels, FRate, !FFocused, FMixScratch);
}

void TDirectSound::SetFocus(bool focused) {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FFocused = focused;
}

bool TDirectSound::HasFocus() const {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    return FFocused;
}

uint32_t TDirectSound::OutputRate() const {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    return FRate;
}

uint32_t TDirectSound::OutputChannels() const {
    // Read by the audio callback; only changed while the output is closed.
    return FChannels;
}

const char* TDirectSound::DriverName() const {
    return FDriver;
}

// ---------------------------------------------------------------------------
// Buffers

void TDirectSoundBuffer::Release() {
    TDirectSound* d = FDevice;
    std::lock_guard<std::recursive_mutex> guard(d->FLock);
    while (FLockDepth > 0) {
        --FLockDepth;
        d->FLock.unlock();
    }
    d->RemoveBuffer(this);
    delete this;
}

TDSResult TDirectSoundBuffer::Play(uint32_t reserved, uint32_t priority, uint32_t flags) {
    if (reserved != 0)
        return DSERR_INVALIDPARAM;
    (void)priority;
    std::lock_guard<std::recursive_mutex> guard(FDevice->FLock);
    if (IsPrimary())
        return DS_OK;
    FVoice.Looping = (flags & DSBPLAY_LOOPING) != 0;
    FVoice.Playing = true;
    return DS_OK;
}

TDSResult TDirectSoundBuffer::Stop() {
    std::lock_guard<std::recursive_mutex> guard(FDevice->FLock);
    FVoice.Playing = false;
    return DS_OK;
}

TDSResult TDirectSoundBuffer::GetStatus(uint32_t& status) {
    std::lock_guard<std::recursive_mutex> guard(FDevice->FLock);
    status = 0;
    if (FVoice.Playing) {
        status |= DSBSTATUS_PLAYING;
        if (FVoice.Looping)
            status |= DSBSTATUS_LOOPING;
    }
    return DS_OK;
}

TDSResult TDirectSoundBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) {
    std::lock_guard<std::recursive_mutex> guard(FDevice->FLock);
    uint32_t p = 0;
    uint32_t w = 0;
    if (!IsPrimary()) {
        p = uint32_t(FVoice.Position >> 32) * FFormat.BlockAlign;
        w = p;
        if (FVoice.Playing) {
            // The mixer has taken about one output period beyond the cursor.
            const uint32_t ahead = (FFormat.SamplesPerSec / 100) * FFormat.BlockAlign;
            w = uint32_t((uint64_t(p) + ahead) % FSize);
            w -= w % FFormat.BlockAlign;
        }
    }
    if (play)
        *play = p;
    if (write)
        *write = w;
    return DS_OK;
}

TDSResult TDirectSoundBuffer::SetCurrentPosition(uint32_t position) {
    std::lock_guard<std::recursive_mutex> guard(FDevice->FLock);
    if (IsPrimary())
        return DSERR_INVALIDCALL;
    if (position >= FSize)
        return DSERR_INVALIDPARAM;
    uint32_t frame = position / FFormat.BlockAlign;
    if (frame >= FVoice.Frames)
        frame = 0;
    FVoice.Position = uint64_t(frame) << 32;
    return DS_OK;
}

TDSResult TDirectSoundBuffer::Lock(uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1, void** part2,
                                   uint32_t* bytes2, uint32_t flags) {
    if (part1)
        *part1 = nullptr;
    if (bytes1)
        *bytes1 = 0;
    if (part2)
        *part2 = nullptr;
    if (bytes2)
        *bytes2 = 0;
    if (!part1 || !bytes1)
        return DSERR_INVALIDPARAM;
    std::unique_lock<std::recursive_mutex> guard(FDevice->FLock);
    if (IsPrimary())
        return DSERR_PRIOLEVELNEEDED;
    if (flags & DSBLOCK_FROMWRITECURSOR) {
        uint32_t w = 0;
        GetCurrentPosition(nullptr, &w);
        offset = w;
    }
    if (flags & DSBLOCK_ENTIREBUFFER)
        bytes = FSize;
    if (offset >= FSize || bytes == 0 || bytes > FSize)
        return DSERR_INVALIDPARAM;
    uint8_t* data = FSamples->data();
    const uint32_t first = std::min(bytes, FSize - offset);
    *part1 = data + offset;
    *bytes1 = first;
    if (bytes > first && part2 && bytes2) {
        *part2 = data;
        *bytes2 = bytes - first;
    }
    // Held until Unlock: the mixer must not read samples being written.
    guard.release();
    ++FLockDepth;
    return DS_OK;
}

TDSResult TDirectSoundBuffer::Unlock(void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) {
    (void)part1;
    (void)bytes1;
    (void)part2;
    (void)bytes2;
    std::lock_guard<std::recursive_mutex> guard(FDevice->FLock);
    if (FLockDepth == 0)
        return DSERR_INVALIDCALL;
    --FLockDepth;
    FDevice->FLock.unlock(); // the hold taken by Lock; the guard keeps one until return
    return DS_OK;
}

TDSResult TDirectSoundBuffer::SetVolume(int32_t volume) {
    if (!(FFlags & DSBCAPS_CTRLVOLUME))
        return DSERR_CONTROLUNAVAIL;
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX)
        return DSERR_INVALIDPARAM;
    std::lock_guard<std::recursive_mutex> guard(FDevice->FLock);
    FVolume = volume;
    FVoice.Gain = DSound_VolumeToGain(volume);
    return DS_OK;
}

TDSResult TDirectSoundBuffer::GetVolume(int32_t& volume) {
    std::lock_guard<std::recursive_mutex> guard(FDevice->FLock);
    volume = FVolume;
    if (!(FFlags & DSBCAPS_CTRLVOLUME))
        return DSERR_CONTROLUNAVAIL;
    return DS_OK;
}

TDSResult TDirectSoundBuffer::SetFormat(const TWaveFormat& format) {
    TDirectSound* d = FDevice;
    {
        std::lock_guard<std::recursive_mutex> guard(d->FLock);
        if (!IsPrimary())
            return DSERR_INVALIDCALL;
        if (d->FLevel < DSSCL_PRIORITY)
            return DSERR_PRIOLEVELNEEDED;
        if (!ValidPcm(format))
            return DSERR_BADFORMAT;
        FFormat = format;
        if (format.SamplesPerSec == d->FRate && format.Channels == d->FChannels)
            return DS_OK;
    }
    // The output runs at the primary format: reopen it at the new one. The
    // mixed stream is always 16-bit; an 8-bit primary only changes the report.
    const bool hadOutput = d->FOutput != 0;
    d->CloseOutput();
    {
        std::lock_guard<std::recursive_mutex> guard(d->FLock);
        d->FRate = format.SamplesPerSec;
        d->FChannels = format.Channels;
    }
    if (hadOutput)
        return d->OpenOutput();
    return DS_OK;
}

TDSResult TDirectSoundBuffer::GetFormat(TWaveFormat& format) {
    std::lock_guard<std::recursive_mutex> guard(FDevice->FLock);
    format = FFormat;
    return DS_OK;
}

TDSResult TDirectSoundBuffer::QueryInterface3D(TDirectSound3DBuffer*& buffer3D) {
    buffer3D = nullptr;
    if (IsPrimary() || !(FFlags & DSBCAPS_CTRL3D))
        return DSERR_NOINTERFACE;
    buffer3D = new (std::nothrow) TDirectSound3DBuffer();
    return buffer3D ? DS_OK : DSERR_OUTOFMEMORY;
}

TDSResult TDirectSoundBuffer::QueryListener(TDirectSound3DListener*& listener) {
    listener = nullptr;
    if (!IsPrimary() || !(FFlags & DSBCAPS_CTRL3D))
        return DSERR_NOINTERFACE;
    listener = new (std::nothrow) TDirectSound3DListener();
    return listener ? DS_OK : DSERR_OUTOFMEMORY;
}

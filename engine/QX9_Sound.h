// QX9_Sound: every sound of the game. Short effects are decoded whole into
// static buffers (WAV and Ogg Vorbis files); music and long ambiences are
// streamed from Ogg Vorbis files through looping four-second channel buffers
// that Sound_Update refills. Sounds live in one table of 32768 slots and are
// known by their slot number (0 = no sound). Volumes run 0..1000 and fades
// change them linearly over time.
//
// The start-up loader thread loads sounds while the main thread plays and
// pumps Sound_Update, so every entry point takes SoundLock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dsound/DSound.h"
#include "platform/os/OS.h"

struct OggVorbis_File;

constexpr int32_t SOUND_SLOT_COUNT = 32768;
constexpr int32_t STREAM_CHANNEL_COUNT = 128;
constexpr int32_t STREAM_KIND_OGG = 2;

// A linear volume change of one sound; FadeList keeps them sorted by start.
struct TSoundFade {
    int32_t StartTime = 0; // engine milliseconds
    int32_t Duration = 0;  // milliseconds
    int32_t FromVolume = 0;
    int32_t ToVolume = 0;
    int32_t SoundId = 0;
    TSoundFade* Prev = nullptr;
    TSoundFade* Next = nullptr;
};

// A whole Ogg file in memory, read by the decoder through the memory callbacks.
struct TOggSource {
    int64_t Size = 0;
    int64_t Position = 0;
    const uint8_t* Data = nullptr;
    std::vector<uint8_t> Storage; // owns Data when the source keeps its bytes
};

// One slot of the sound table.
struct TGlobalSound {
    int32_t Group = -1;
    int64_t DataSize = 0; // PCM bytes of a static sound; a stream's decoded size, 0 before its first play
    TDirectSoundBuffer* Buffer = nullptr; // static sounds only
    int32_t Volume = 0;                   // 0..1000
    int32_t GroupVolume = 1000;           // 0..1000
    TSoundFade* Fade = nullptr;           // the fade that last set the volume
    std::string FileName;
    bool Is3D = false;
    TDirectSound3DBuffer* Buffer3D = nullptr;
    // Streams
    bool Streamed = false;
    int32_t StreamKind = 0;
    bool Loop = false;
    int32_t Channel = 0;                       // 1..128, 0 none
    int64_t StreamPos = 0;                     // ResumePos at priming plus the bytes written since
    int64_t ResumePos = 0;                     // StreamPos at the next priming
    THandle FileHandle = INVALID_HANDLE_VALUE; // open until the first play
    int32_t Channels = 0;
    int32_t Rate = 0;
    int32_t Bits = 0;
    TOggSource OggSource;
    OggVorbis_File* OggFile = nullptr;
    int32_t FailedFills = 0; // consecutive fills that decoded nothing
};

// One stream channel: a looping buffer of StreamBufferSize bytes.
struct TStreamBuffer {
    TDirectSoundBuffer* Buffer = nullptr;
    bool InUse = false;
    int32_t SoundId = 0;
    // The format the buffer was made for.
    int32_t Channels = 0;
    int32_t Rate = 0;
    int32_t Bits = 0;
    // Write position = play position means a full buffer (just primed or
    // refilled to the cursor), not an empty one.
    bool Full = false;
};

// ---------------------------------------------------------------------------
// State

extern std::vector<TGlobalSound> GlobalSounds;   // slots 1..SOUND_SLOT_COUNT; [0] unused
extern std::vector<TStreamBuffer> StreamBuffers; // channels 1..STREAM_CHANNEL_COUNT; [0] unused
extern TDirectSound* SoundDevice;
extern TDirectSoundBuffer* SoundPrimaryBuffer;
extern TDirectSound3DListener* SoundListener;
extern bool Use3D;
extern int32_t DeviceChannels;
extern int32_t DeviceRate;
extern int32_t DeviceBits;
extern int32_t RefillThreshold;  // one second of 16-bit device audio, bytes
extern int32_t StreamBufferSize; // four seconds, bytes
extern std::vector<uint8_t> StreamScratch;
extern int32_t LastRefillTime;
extern TSoundFade FadeList; // the fixed head (StartTime 0); fades follow through Next
extern TCriticalSection SoundLock;

// ---------------------------------------------------------------------------
// Device, loading, playing (static sounds)

// window: the cooperative window, -1 for the main window.
void Sound_Init(int32_t channels, int32_t rate, int32_t bits, bool use3D, intptr_t window);
int32_t WAV_LoadSound(const std::string& fileName, int32_t& id, int32_t group, bool want3D);
int32_t OGG_LoadSound(const std::string& fileName, int32_t& id, int32_t group, bool want3D);
// Any output may be nullptr. A missing or undecodable file gives zeros.
void OGG_GetInfo(const std::string& fileName, int32_t* size, int32_t* channels, int32_t* rate, int32_t* bits,
                 int32_t* lengthMs);
int32_t Sound_Duplicate(int32_t id);
void Sound_Play(int32_t id, bool restart, bool loop);
void Sound_PlayStatic(int32_t id, bool restart, bool loop);
TDSResult Sound_PlayBuffer(TDirectSoundBuffer* buffer, uint32_t flags);
void Sound_Stop(int32_t id);
void Sound_SetVolume(int32_t id, int32_t volume);
void Sound_SetGroupSoundsVolume(int32_t group, int32_t volume);
void Sound_SetGroupVolume(int32_t group, int32_t groupVolume);
// The attenuation (hundredths of a decibel, -10000..0) of a volume x group
// volume / 1000 on the 0..1000 scale.
int32_t Sound_VolumeToDecibels(int32_t volume, int32_t groupVolume);
void Sound_Check(int32_t result, const std::string& operation);
void QX9_Sound_Initialization();
void QX9_Sound_Finalization();

// ---------------------------------------------------------------------------
// Streams and fades

int32_t Sound_OpenStream(const std::string& fileName, int32_t& id, int32_t group);
void Sound_PlayStream(int32_t id, bool restart, bool loop);
void Stream_AcquireChannel(int32_t id);
void Stream_Prime(int32_t id);
// Returns the bytes written to the channel.
int64_t Stream_FillOgg(int64_t offset, int64_t count, int32_t id);
void Stream_Refill(int32_t channel, bool force);
void Sound_Update();
void Sound_AddFade(int32_t startTime, int32_t duration, int32_t fromVolume, int32_t toVolume, int32_t id);

// ---------------------------------------------------------------------------
// Ogg decoding over memory

size_t OggMemRead(void* destination, size_t elementSize, size_t count, void* source);
int OggMemSeek(void* source, int64_t offset, int origin);
int OggMemClose(void* source);
long OggMemTell(void* source);
// Opens a decoder on the source; false when libvorbisfile refuses it.
bool OggOpenMemory(OggVorbis_File* file, TOggSource* source);
// Decodes up to maxBytes of 16-bit little-endian PCM with outChannels
// channels (more channels in the file are mixed down to two). Returns the
// bytes written, 0 at the end of the data, a negative code for damaged data.
int64_t OggReadPcm16(OggVorbis_File* file, uint8_t* destination, int64_t maxBytes, int32_t outChannels,
                     std::vector<int16_t>& scratch);
// Samples per channel of an open decoder over a file of fileBytes bytes; -1
// when the file claims more than that many bytes can hold (its last page is
// damaged): such a file is undecodable.
int64_t OggTotalSamples(OggVorbis_File* file, int64_t fileBytes);
// Channel count of the PCM a file with fileChannels channels decodes to.
inline int32_t OggOutputChannels(int32_t fileChannels) {
    return fileChannels == 1 ? 1 : 2;
}

// ---------------------------------------------------------------------------
// Tests

// Replaces the clock Sound_Update samples (nullptr: GetTimeMs).
void Sound_SetClock(int32_t (*clock)(bool sample));
// The slot table's free-slot search, exposed for tests.
int32_t Sound_FindFreeSlot();

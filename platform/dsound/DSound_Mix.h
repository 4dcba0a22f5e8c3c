// The mixing core of the sound device: a pure step over voice states, with no
// device, lock or clock of its own, so tests can drive it frame by frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One playing source as the mixer sees it.
struct TMixVoice {
    const uint8_t* Data = nullptr; // interleaved PCM: 8-bit unsigned or 16-bit signed little-endian
    uint32_t Frames = 0;           // whole sample frames in Data
    uint16_t Channels = 1;         // 1 or 2
    uint16_t Bits = 16;            // 8 or 16
    uint32_t Rate = 44100;         // frames per second
    uint64_t Position = 0;         // play cursor in frames, 32.32 fixed point
    bool Playing = false;
    bool Looping = false;
    bool Centred = false; // heard in the middle: stereo data is folded to mono
    float Gain = 1.0f;
};

// Mixes every playing voice into out (frames x outChannels interleaved 16-bit
// samples, overwritten) at outRate, resampling by linear interpolation, and
// advances the voices: a looping voice wraps at its end, any other stops there
// with its cursor back at 0. With muted set nothing is heard but the cursors
// move all the same. scratch is reused between calls to avoid allocation.
void DSound_MixVoices(TMixVoice* const* voices, size_t count, int16_t* out, uint32_t frames, uint32_t outChannels,
                      uint32_t outRate, bool muted, std::vector<float>& scratch);

// Moves a voice on by frames output frames without mixing it.
void DSound_AdvanceVoice(TMixVoice& voice, uint32_t frames, uint32_t outRate);

// The software mixer: linear-interpolation resampling, per-voice gain,
// float accumulation and one clamp to 16 bits at the end.
#include "platform/dsound/DSound_Mix.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr uint64_t OneFrame = uint64_t(1) << 32;
constexpr float FracScale = 1.0f / 4294967296.0f;

uint64_t StepOf(const TMixVoice& v, uint32_t outRate) {
    return (uint64_t(v.Rate) << 32) / outRate;
}

template <int Bits> inline float SampleAt(const uint8_t* p) {
    if constexpr (Bits == 16) {
        int16_t s;
        std::memcpy(&s, p, 2);
        return float(s);
    } else {
        return float((int(*p) - 128) * 256);
    }
}

// Left and right of frame i (right = left for mono data).
template <int Bits, int Channels> inline void FrameAt(const uint8_t* data, uint32_t i, float& l, float& r) {
    constexpr int Bytes = Bits / 8;
    const uint8_t* p = data + size_t(i) * Channels * Bytes;
    l = SampleAt<Bits>(p);
    r = Channels == 2 ? SampleAt<Bits>(p + Bytes) : l;
}

template <int Bits, int Channels>
void MixVoice(TMixVoice& v, float* acc, uint32_t frames, uint32_t outChannels, uint64_t step) {
    const uint64_t end = uint64_t(v.Frames) << 32;
    const float g = v.Gain;
    uint64_t pos = v.Position;
    const bool exact = step == OneFrame;
    for (uint32_t n = 0; n < frames; ++n) {
        const uint32_t i = uint32_t(pos >> 32);
        float l, r;
        FrameAt<Bits, Channels>(v.Data, i, l, r);
        if (!exact) {
            const uint32_t frac = uint32_t(pos);
            if (frac != 0) {
                uint32_t j = i + 1;
                if (j >= v.Frames)
                    j = v.Looping ? 0 : i;
                float l2, r2;
                FrameAt<Bits, Channels>(v.Data, j, l2, r2);
                const float f = float(frac) * FracScale;
                l += (l2 - l) * f;
                r += (r2 - r) * f;
            }
        }
        if (outChannels == 2) {
            if (Channels == 2 && v.Centred) {
                const float m = (l + r) * 0.5f * g;
                acc[2 * n] += m;
                acc[2 * n + 1] += m;
            } else {
                acc[2 * n] += l * g;
                acc[2 * n + 1] += r * g;
            }
        } else {
            acc[n] += (Channels == 2 ? (l + r) * 0.5f : l) * g;
        }
        pos += step;
        if (pos >= end) {
            if (v.Looping) {
                pos %= end;
            } else {
                v.Playing = false;
                pos = 0;
                break;
            }
        }
    }
    v.Position = pos;
}

} // namespace

void DSound_AdvanceVoice(TMixVoice& v, uint32_t frames, uint32_t outRate) {
    if (!v.Playing || outRate == 0)
        return;
    if (v.Frames == 0) {
        v.Playing = false;
        v.Position = 0;
        return;
    }
    using U128 = unsigned __int128;
    const U128 end = U128(v.Frames) << 32;
    const U128 pos = v.Position + U128(StepOf(v, outRate)) * frames;
    if (pos < end) {
        v.Position = uint64_t(pos);
    } else if (v.Looping) {
        v.Position = uint64_t(pos % end);
    } else {
        v.Playing = false;
        v.Position = 0;
    }
}

void DSound_MixVoices(TMixVoice* const* voices, size_t count, int16_t* out, uint32_t frames, uint32_t outChannels,
                      uint32_t outRate, bool muted, std::vector<float>& scratch) {
    const size_t samples = size_t(frames) * outChannels;
    if (scratch.size() < samples)
        scratch.resize(samples);
    float* acc = scratch.data();
    std::fill(acc, acc + samples, 0.0f);

    for (size_t k = 0; k < count; ++k) {
        TMixVoice& v = *voices[k];
        if (!v.Playing)
            continue;
        if (v.Frames == 0 || v.Data == nullptr || outRate == 0) {
            v.Playing = false;
            v.Position = 0;
            continue;
        }
        if (muted || v.Gain <= 0.0f) {
            DSound_AdvanceVoice(v, frames, outRate);
            continue;
        }
        const uint64_t step = StepOf(v, outRate);
        const bool stereo = v.Channels == 2;
        if (v.Bits == 16)
            stereo ? MixVoice<16, 2>(v, acc, frames, outChannels, step)
                   : MixVoice<16, 1>(v, acc, frames, outChannels, step);
        else
            stereo ? MixVoice<8, 2>(v, acc, frames, outChannels, step)
                   : MixVoice<8, 1>(v, acc, frames, outChannels, step);
    }

    for (size_t i = 0; i < samples; ++i) {
        const float s = std::clamp(acc[i], -32768.0f, 32767.0f);
        out[i] = int16_t(std::lrintf(s));
    }
}

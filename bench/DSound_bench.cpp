// The software mixer under a heavy game load: 64 voices (a quarter of them
// 22,050 Hz mono effects that need resampling, the rest 44,100 Hz, a few
// stereo music streams), mixed offline for 10 s of 44,100 Hz stereo output in
// the audio callback's 1024-frame periods. The real-time share of one core is
// the time per iteration divided by 10 s.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/dsound/DSound.h"

namespace {

TDirectSoundBuffer* MakeVoice(TDirectSound* device, uint32_t channels, uint32_t rate, uint32_t frames, int seed) {
    TWaveFormat f = DSound_PcmFormat(channels, rate, 16);
    TDSBufferDesc desc;
    desc.Flags = DSBCAPS_CTRLVOLUME | DSBCAPS_STATIC;
    desc.BufferBytes = frames * channels * 2;
    desc.Format = &f;
    TDirectSoundBuffer* b = nullptr;
    if (device->CreateSoundBuffer(desc, b) != DS_OK)
        return nullptr;
    void* p;
    uint32_t n;
    b->Lock(0, 0, &p, &n, nullptr, nullptr, DSBLOCK_ENTIREBUFFER);
    auto* s = static_cast<int16_t*>(p);
    for (uint32_t i = 0; i < n / 2; ++i)
        s[i] = int16_t(8000 * std::sin(0.01 * (i + 1) * (seed + 1)));
    b->Unlock(p, n, nullptr, 0);
    return b;
}

void BM_Mix64Voices10Seconds(benchmark::State& state) {
    DSound_SetOffline(true);
    TDirectSound* device = nullptr;
    DirectSoundCreate(device);
    device->SetCooperativeLevel(-1, DSSCL_PRIORITY);
    for (int i = 0; i < 64; ++i) {
        const bool effect22k = i % 4 == 0;
        const bool music = i % 16 == 1;
        TDirectSoundBuffer* b = effect22k ? MakeVoice(device, 1, 22050, 22050, i)
                                          : MakeVoice(device, music ? 2 : 1, 44100, 44100 * (music ? 4 : 1), i);
        b->SetVolume(-35 * (i % 7));
        b->Play(0, 0, DSBPLAY_LOOPING);
    }
    constexpr uint32_t Period = 1024;
    constexpr uint32_t Frames = 441000; // 10 s
    std::vector<int16_t> out(Period * 2);
    for (auto _ : state) {
        for (uint32_t done = 0; done < Frames; done += Period) {
            device->Render(out.data(), Period);
            benchmark::DoNotOptimize(out.data());
        }
    }
    // Percent of one core: (seconds per iteration / 10 s) x 100.
    state.counters["core_pct"] = benchmark::Counter(double(state.iterations()) / 10.0,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    device->Release();
    DSound_SetOffline(false);
}
BENCHMARK(BM_Mix64Voices10Seconds)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

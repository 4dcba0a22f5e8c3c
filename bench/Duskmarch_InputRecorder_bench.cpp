// The input recorder's cost per frame: a capture when nothing changed (the
// common frame), a capture with a changed key, and a one-second flush of a
// second's worth of changed frames at 60 frames a second.
#include <benchmark/benchmark.h>

#include "engine/QX9_System.h"
#include "screens/front/Duskmarch_InputRecorder.h"

namespace {

int32_t BenchNow = 0;

int32_t BenchClock(bool)
{
    return BenchNow;
}

struct TBenchRecorder {
    TBenchRecorder()
    {
        Processor.TimeSource = BenchClock;
        GUI_Keys = {};
        GUI_Input = {};
        GUI_ResetInput(&Processor);
        ExePath = "/tmp/";
        InitInputRecorder({"gamerecord", "duskmarch_bench.replay"});
    }
    ~TBenchRecorder()
    {
        ShutdownInputRecorder();
        GUI_ResetInput(nullptr);
    }
    TGUI_Processor Processor{"InputRecorderBench"};
};

void BM_CaptureUnchanged(benchmark::State& state)
{
    TBenchRecorder recorder;
    CaptureInput();
    for (auto _ : state) {
        CaptureInput();
        benchmark::DoNotOptimize(KeyFrameCount);
    }
}
BENCHMARK(BM_CaptureUnchanged);

void BM_CaptureChangedKey(benchmark::State& state)
{
    TBenchRecorder recorder;
    uint8_t down = 0;
    for (auto _ : state) {
        down ^= 1;
        GUI_Keys['A'].Down = down;
        CaptureInput();
        if (KeyFrameCount >= InputRecordGrowth - 1) {
            state.PauseTiming();
            KeyFrameCount = 0;
            MouseSampleCount = 0;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_CaptureChangedKey);

// A second of play at 60 frames a second with a key and the mouse changing
// every frame, then its flush.
void BM_FlushOneSecond(benchmark::State& state)
{
    TBenchRecorder recorder;
    FlushInputRecord(true); // the head
    for (auto _ : state) {
        state.PauseTiming();
        for (int32_t frame = 0; frame < 60; ++frame) {
            GUI_Keys['A'].Down = static_cast<uint8_t>(frame & 1);
            GUI_SetClientPoint(frame, frame);
            CaptureInput();
        }
        state.ResumeTiming();
        FlushInputRecord(true);
    }
}
BENCHMARK(BM_FlushOneSecond);

} // namespace

BENCHMARK_MAIN();

// The sound unit on an offline device with a hand-driven clock: tests mix by
// calling the device's Render and move engine time themselves.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "tests/support/TestSupport.h"

struct TSoundFatalStop {};

inline int32_t SoundTestNow = 0;

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        DSound_SetOffline(true);
        DSound_SetFocus(true);
        SetFatalStopHook([] { throw TSoundFatalStop{}; });
        ClearEngineErrorText();
        SoundTestNow = 100000;
        Sound_SetClock([](bool) { return SoundTestNow; });
        Init(2, 44100, true);
    }
    void TearDown() override {
        QX9_Sound_Finalization();
        Sound_SetClock(nullptr);
        SetFatalStopHook(nullptr);
        ClearEngineErrorText();
        DSound_SetOffline(false);
    }
    void Init(int32_t channels, int32_t rate, bool use3D) {
        Sound_Init(channels, rate, 16, use3D, -1);
        Channels = channels;
        Rate = rate;
    }

    // Writes a file into the test's folder; returns its program path.
    std::string Write(const std::string& name, const std::string& bytes) {
        Folder.WriteFile(name, bytes);
        return Folder.ProgramPath() + name;
    }
    std::string Missing(const std::string& name) { return Folder.ProgramPath() + name; }

    // Mixes frames of device output.
    std::vector<int16_t> Render(uint32_t frames) {
        std::vector<int16_t> out(size_t(frames) * Channels);
        SoundDevice->Render(out.data(), frames);
        return out;
    }
    // Lets ms of time pass in steps of stepMs: each step mixes its audio,
    // moves the clock and runs Sound_Update. Returns the mixed output.
    std::vector<int16_t> Run(int32_t ms, int32_t stepMs = 20) {
        std::vector<int16_t> all;
        for (int32_t t = 0; t < ms; t += stepMs) {
            const int32_t step = std::min(stepMs, ms - t);
            auto out = Render(uint32_t(int64_t(Rate) * step / 1000));
            all.insert(all.end(), out.begin(), out.end());
            SoundTestNow += step;
            Sound_Update();
        }
        return all;
    }
    static int32_t BufferVolume(TDirectSoundBuffer* b) {
        int32_t v = 1;
        if (b)
            b->GetVolume(v);
        return v;
    }
    static bool BufferPlaying(TDirectSoundBuffer* b) {
        uint32_t status = 0;
        if (b)
            b->GetStatus(status);
        return (status & DSBSTATUS_PLAYING) != 0;
    }
    static uint32_t BufferCursor(TDirectSoundBuffer* b) {
        uint32_t p = 0;
        if (b)
            b->GetCurrentPosition(&p, nullptr);
        return p;
    }
    static TDirectSoundBuffer* ChannelBuffer(int32_t id) {
        const int32_t c = GlobalSounds[id].Channel;
        return c >= 1 && c <= STREAM_CHANNEL_COUNT ? StreamBuffers[c].Buffer : nullptr;
    }
    static bool StreamPlaying(int32_t id) {
        const int32_t c = GlobalSounds[id].Channel;
        return c >= 1 && StreamBuffers[c].InUse && StreamBuffers[c].SoundId == id &&
               BufferPlaying(StreamBuffers[c].Buffer);
    }

    TTempFolder Folder;
    int32_t Channels = 2;
    int32_t Rate = 44100;
};

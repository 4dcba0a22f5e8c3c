// The device with a real SDL audio output: the audio thread mixes while the
// test thread plays and writes buffers. SDL's "disk" driver writes the mixed
// stream to a file, where the test finds the signal it played.
#include "platform/dsound/DSound.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

// Sets an environment variable for the scope of the object.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const std::string& value) : FName(name) {
        const char* old = std::getenv(name);
        FHad = old != nullptr;
        if (old)
            FOld = old;
        setenv(name, value.c_str(), 1);
    }
    ~TScopedEnv() {
        if (FHad)
            setenv(FName, FOld.c_str(), 1);
        else
            unsetenv(FName);
    }

private:
    const char* FName;
    bool FHad = false;
    std::string FOld;
};

// Polls until done() or a generous limit; the limit only keeps a broken
// output from hanging the run.
template <class F> bool WaitFor(F done) {
    for (int i = 0; i < 2000; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

TDirectSoundBuffer* MakeSquare(TDirectSound* device, int16_t amplitude, uint32_t period, uint32_t periods) {
    TWaveFormat f = DSound_PcmFormat(2, 44100, 16);
    TDSBufferDesc desc;
    desc.Flags = DSBCAPS_CTRLVOLUME | DSBCAPS_GETCURRENTPOSITION2;
    desc.BufferBytes = period * periods * 4;
    desc.Format = &f;
    TDirectSoundBuffer* b = nullptr;
    if (device->CreateSoundBuffer(desc, b) != DS_OK)
        return nullptr;
    void* p1;
    uint32_t n1;
    if (b->Lock(0, 0, &p1, &n1, nullptr, nullptr, DSBLOCK_ENTIREBUFFER) != DS_OK)
        return nullptr;
    auto* s = static_cast<int16_t*>(p1);
    for (uint32_t i = 0; i < n1 / 4; ++i) {
        const int16_t v = (i % period) < period / 2 ? amplitude : int16_t(-amplitude);
        s[2 * i] = v;
        s[2 * i + 1] = v;
    }
    b->Unlock(p1, n1, nullptr, 0);
    return b;
}

} // namespace

TEST(DSoundOutputThreadTest, FallsBackToTheSilentDriverWhenNoDeviceOpens) {
    DSound_SetOffline(false);
    TScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    TDirectSound* device = nullptr;
    ASSERT_EQ(DirectSoundCreate(device), DS_OK);
    EXPECT_STREQ(device->DriverName(), "dummy");
    device->Release();
}

TEST(DSoundOutputTest, DriversTriedBeforeSilence) {
    {
        // A driver the user named is SDL's to pick.
        TScopedEnv driver("SDL_AUDIODRIVER", "disk");
        EXPECT_EQ(DSound_OutputDrivers(), std::vector<std::string>{""});
    }
    // Otherwise the sound servers, then ALSA only where a card plays: never
    // the drivers that print errors of their own on a machine without one.
    TScopedEnv driver("SDL_AUDIODRIVER", "");
    const std::vector<std::string> drivers = DSound_OutputDrivers();
    ASSERT_GE(drivers.size(), 2u);
    EXPECT_EQ(drivers[0], "pipewire");
    EXPECT_EQ(drivers[1], "pulseaudio");
    EXPECT_LE(drivers.size(), 3u);
    if (drivers.size() == 3) {
        EXPECT_EQ(drivers[2], "alsa");
    }
}

TEST(DSoundOutputThreadTest, TheAudioThreadMovesCursorsWhileBuffersAreWritten) {
    DSound_SetOffline(false);
    TDirectSound* device = nullptr;
    ASSERT_EQ(DirectSoundCreate(device), DS_OK);
    ASSERT_EQ(device->SetCooperativeLevel(-1, DSSCL_PRIORITY), DS_OK);
    TDirectSoundBuffer* b = MakeSquare(device, 1000, 100, 441);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    // Keep rewriting the buffer while the output mixes it.
    for (int round = 0; round < 20; ++round) {
        void* p1;
        void* p2;
        uint32_t n1, n2;
        ASSERT_EQ(b->Lock(uint32_t(round * 4000), 8000, &p1, &n1, &p2, &n2, 0), DS_OK);
        std::memset(p1, 0, n1);
        if (p2)
            std::memset(p2, 0, n2);
        b->Unlock(p1, n1, p2, n2);
    }
    EXPECT_TRUE(WaitFor([&] {
        uint32_t p = 0;
        b->GetCurrentPosition(&p, nullptr);
        return p != 0;
    }));
    device->Release();
}

TEST(DSoundOutputThreadTest, TheDiskDriverRecordsThePlayedSignal) {
    DSound_SetOffline(false);
    TTempFolder folder;
    const std::string file = folder.Path() + "out.raw";
    TScopedEnv driver("SDL_AUDIODRIVER", "disk");
    TScopedEnv output("SDL_DISKAUDIOFILE", file);

    TDirectSound* device = nullptr;
    ASSERT_EQ(DirectSoundCreate(device), DS_OK);
    ASSERT_STREQ(device->DriverName(), "disk");
    ASSERT_EQ(device->SetCooperativeLevel(-1, DSSCL_PRIORITY), DS_OK);
    constexpr uint32_t period = 100; // 441 Hz
    TDirectSoundBuffer* b = MakeSquare(device, 8000, period, 441);
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->SetVolume(-2000), DS_OK); // a tenth
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

    // A quarter of a second of output after the play started.
    uint32_t cursor = 0;
    ASSERT_TRUE(WaitFor([&] {
        b->GetCurrentPosition(&cursor, nullptr);
        return cursor >= 44100;
    }));
    device->Release();

    std::ifstream in(file, std::ios::binary);
    std::vector<char> raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.data(), samples.size() * 2);
    size_t first = 0;
    while (first < samples.size() && samples[first] == 0)
        ++first;
    ASSERT_LT(first + 2 * 2000, samples.size()) << "too little signal in the file";
    EXPECT_EQ(first % 2, 0u); // starts on a left sample
    for (size_t k = 0; k < 2000; ++k) {
        const int16_t expected = (k % period) < period / 2 ? 800 : -800;
        ASSERT_EQ(samples[first + 2 * k], expected) << "frame " << k;
        ASSERT_EQ(samples[first + 2 * k + 1], expected) << "frame " << k;
    }
}

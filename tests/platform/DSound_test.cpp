// The DirectSound-like device driven offline: every test mixes by hand, so
// cursors and samples are exact and nothing depends on real time.
#include "platform/dsound/DSound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

class DSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        DSound_SetOffline(true);
        ASSERT_EQ(DirectSoundCreate(Device), DS_OK);
        ASSERT_EQ(Device->SetCooperativeLevel(-1, DSSCL_PRIORITY), DS_OK);
        TDSBufferDesc desc;
        desc.Flags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRLVOLUME;
        ASSERT_EQ(Device->CreateSoundBuffer(desc, Primary), DS_OK);
        ASSERT_EQ(Primary->SetFormat(DSound_PcmFormat(2, 44100, 16)), DS_OK);
    }
    void TearDown() override {
        DSound_SetFocus(true);
        if (Device)
            Device->Release();
        DSound_SetOffline(false);
    }

    // A secondary buffer holding the given 16-bit samples.
    TDirectSoundBuffer* Make16(const std::vector<int16_t>& samples, uint32_t channels = 1, uint32_t rate = 44100,
                               uint32_t flags = DSBCAPS_STATIC | DSBCAPS_CTRLVOLUME) {
        TWaveFormat f = DSound_PcmFormat(channels, rate, 16);
        TDSBufferDesc desc;
        desc.Flags = flags;
        desc.BufferBytes = uint32_t(samples.size() * 2);
        desc.Format = &f;
        TDirectSoundBuffer* b = nullptr;
        EXPECT_EQ(Device->CreateSoundBuffer(desc, b), DS_OK);
        if (!b)
            return nullptr;
        Fill(b, samples.data(), desc.BufferBytes);
        return b;
    }
    static void Fill(TDirectSoundBuffer* b, const void* bytes, uint32_t size) {
        void* p1 = nullptr;
        void* p2 = nullptr;
        uint32_t n1 = 0, n2 = 0;
        ASSERT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
        ASSERT_EQ(n1, size);
        std::memcpy(p1, bytes, size);
        ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
    }
    // Mixes frames of stereo output.
    std::vector<int16_t> Render(uint32_t frames) {
        std::vector<int16_t> out(size_t(frames) * 2);
        Device->Render(out.data(), frames);
        return out;
    }
    static uint32_t PlayCursor(TDirectSoundBuffer* b) {
        uint32_t p = 0;
        EXPECT_EQ(b->GetCurrentPosition(&p, nullptr), DS_OK);
        return p;
    }
    static bool Playing(TDirectSoundBuffer* b) {
        uint32_t s = 0;
        EXPECT_EQ(b->GetStatus(s), DS_OK);
        return (s & DSBSTATUS_PLAYING) != 0;
    }

    TDirectSound* Device = nullptr;
    TDirectSoundBuffer* Primary = nullptr;
};

std::vector<int16_t> Ramp(size_t n, int16_t start = 1) {
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = int16_t(start + int(i));
    return v;
}

} // namespace

TEST_F(DSoundTest, CursorFollowsPlayStopResumeAndEnd) {
    TDirectSoundBuffer* b = Make16(Ramp(100)); // mono: 2-byte blocks
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(Playing(b));

    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    auto out = Render(30);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 1); // mono is heard on both sides
    EXPECT_EQ(out[58], 30);
    EXPECT_EQ(PlayCursor(b), 60u);

    // Stop keeps the cursor; the next Play resumes there.
    ASSERT_EQ(b->Stop(), DS_OK);
    out = Render(10);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(PlayCursor(b), 60u);
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    out = Render(10);
    EXPECT_EQ(out[0], 31);

    // A one-shot that reaches its end stops with the cursor back at 0...
    out = Render(100);
    EXPECT_EQ(out[2 * 59], 100);
    EXPECT_EQ(out[2 * 60], 0);
    EXPECT_FALSE(Playing(b));
    EXPECT_EQ(PlayCursor(b), 0u);
    // ...so it replays from the start.
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    out = Render(1);
    EXPECT_EQ(out[0], 1);
}

TEST_F(DSoundTest, LoopingWrapsAndPlayOnPlayingOnlyTakesTheLoopFlag) {
    TDirectSoundBuffer* b = Make16(Ramp(10));
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    uint32_t status = 0;
    b->GetStatus(status);
    EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    auto out = Render(25);
    EXPECT_EQ(out[2 * 9], 10);
    EXPECT_EQ(out[2 * 10], 1);
    EXPECT_EQ(out[2 * 24], 5);
    EXPECT_EQ(PlayCursor(b), 10u);

    // Play again without looping: keeps the cursor, plays on to the end, stops.
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(PlayCursor(b), 10u);
    out = Render(10);
    EXPECT_EQ(out[0], 6);
    EXPECT_EQ(out[2 * 4], 10);
    EXPECT_EQ(out[2 * 5], 0);
    EXPECT_FALSE(Playing(b));
}

TEST_F(DSoundTest, SetCurrentPositionMovesThePlayingAndTheStoppedCursor) {
    TDirectSoundBuffer* b = Make16(Ramp(50));
    ASSERT_EQ(b->SetCurrentPosition(20), DS_OK);
    EXPECT_EQ(PlayCursor(b), 20u);
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    EXPECT_EQ(Render(1)[0], 11);
    ASSERT_EQ(b->SetCurrentPosition(0), DS_OK);
    EXPECT_EQ(Render(1)[0], 1);
    EXPECT_TRUE(Playing(b));
    EXPECT_EQ(b->SetCurrentPosition(100), DSERR_INVALIDPARAM);
    // A position inside a block is taken down to the block.
    ASSERT_EQ(b->SetCurrentPosition(7), DS_OK);
    EXPECT_EQ(PlayCursor(b), 6u);
}

TEST_F(DSoundTest, LockReturnsOneOrTwoRegions) {
    TDirectSoundBuffer* b = Make16(std::vector<int16_t>(50)); // 100 bytes
    uint8_t* base = nullptr;
    {
        void* p1;
        uint32_t n1;
        ASSERT_EQ(b->Lock(0, 0, &p1, &n1, nullptr, nullptr, DSBLOCK_ENTIREBUFFER), DS_OK);
        base = static_cast<uint8_t*>(p1);
        EXPECT_EQ(n1, 100u);
        b->Unlock(p1, n1, nullptr, 0);
    }
    struct Row {
        const char* name;
        uint32_t offset, bytes, flags;
        TDSResult result;
        uint32_t at1, n1;
        bool second;
        uint32_t n2;
    };
    const Row rows[] = {
        {"inside", 10, 20, 0, DS_OK, 10, 20, false, 0},
        {"up to the end", 80, 20, 0, DS_OK, 80, 20, false, 0},
        {"wraps", 80, 40, 0, DS_OK, 80, 20, true, 20},
        {"whole from the middle", 60, 100, 0, DS_OK, 60, 40, true, 60},
        {"entire buffer ignores the byte count", 0, 3, DSBLOCK_ENTIREBUFFER, DS_OK, 0, 100, false, 0},
        {"entire buffer from an offset wraps", 60, 3, DSBLOCK_ENTIREBUFFER, DS_OK, 60, 40, true, 60},
        {"offset at the end", 100, 4, 0, DSERR_INVALIDPARAM, 0, 0, false, 0},
        {"no bytes", 0, 0, 0, DSERR_INVALIDPARAM, 0, 0, false, 0},
        {"more than the buffer", 0, 101, 0, DSERR_INVALIDPARAM, 0, 0, false, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        void* p1 = nullptr;
        void* p2 = nullptr;
        uint32_t n1 = 99, n2 = 99;
        ASSERT_EQ(b->Lock(r.offset, r.bytes, &p1, &n1, &p2, &n2, r.flags), r.result);
        if (r.result != DS_OK) {
            EXPECT_EQ(p1, nullptr);
            EXPECT_EQ(n1, 0u);
            continue;
        }
        EXPECT_EQ(static_cast<uint8_t*>(p1), base + r.at1);
        EXPECT_EQ(n1, r.n1);
        EXPECT_EQ(p2, r.second ? base : nullptr);
        EXPECT_EQ(n2, r.n2);
        EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
    }
    EXPECT_EQ(b->Unlock(nullptr, 0, nullptr, 0), DSERR_INVALIDCALL);
}

TEST_F(DSoundTest, WrappedLockWritesBothEndsOfALoopingBuffer) {
    TDirectSoundBuffer* b = Make16(std::vector<int16_t>(8));
    void* p1;
    void* p2;
    uint32_t n1, n2;
    ASSERT_EQ(b->Lock(12, 8, &p1, &n1, &p2, &n2, 0), DS_OK);
    const int16_t a[2] = {100, 200}, c[2] = {300, 400};
    std::memcpy(p1, a, n1);
    std::memcpy(p2, c, n2);
    b->Unlock(p1, n1, p2, n2);
    b->Play(0, 0, DSBPLAY_LOOPING);
    auto out = Render(8);
    const int16_t expected[8] = {300, 400, 0, 0, 0, 0, 100, 200};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(out[2 * i], expected[i]) << "frame " << i;
}

TEST_F(DSoundTest, VolumeIsHundredthsOfADecibel) {
    struct Row {
        int32_t volume;
        float gain;
    };
    const Row rows[] = {{0, 1.0f}, {-35, 0.9605f}, {-2000, 0.1f}, {-6000, 0.001f}, {-9999, 1.0012e-5f}, {-10000, 0.0f}};
    for (const Row& r : rows)
        EXPECT_NEAR(DSound_VolumeToGain(r.volume), r.gain, r.gain * 1e-3f) << r.volume;
    EXPECT_EQ(DSound_VolumeToGain(-10000), 0.0f);

    TDirectSoundBuffer* b = Make16(std::vector<int16_t>(16, 10000));
    b->Play(0, 0, DSBPLAY_LOOPING);
    ASSERT_EQ(b->SetVolume(-35), DS_OK);
    EXPECT_EQ(Render(1)[0], 9605);
    ASSERT_EQ(b->SetVolume(-2000), DS_OK);
    EXPECT_EQ(Render(1)[0], 1000);
    ASSERT_EQ(b->SetVolume(-10000), DS_OK);
    EXPECT_EQ(Render(1)[0], 0);
    const uint32_t before = PlayCursor(b);
    Render(3);
    EXPECT_EQ(PlayCursor(b), (before + 6) % 32); // silent voices still move

    EXPECT_EQ(b->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetVolume(-10001), DSERR_INVALIDPARAM);
    TDirectSoundBuffer* plain = Make16(std::vector<int16_t>(4), 1, 44100, DSBCAPS_STATIC);
    EXPECT_EQ(plain->SetVolume(-100), DSERR_CONTROLUNAVAIL);
}

TEST_F(DSoundTest, DuplicatesShareSamplesWithTheirOwnCursor) {
    TDirectSoundBuffer* a = Make16(std::vector<int16_t>(100, 1000));
    ASSERT_EQ(a->SetVolume(-2000), DS_OK);
    TDirectSoundBuffer* d = nullptr;
    ASSERT_EQ(Device->DuplicateSoundBuffer(a, d), DS_OK);
    int32_t volume = 0;
    d->GetVolume(volume);
    EXPECT_EQ(volume, -2000);
    ASSERT_EQ(d->SetVolume(0), DS_OK);
    ASSERT_EQ(a->SetVolume(0), DS_OK);

    a->Play(0, 0, 0);
    Render(10);
    EXPECT_EQ(PlayCursor(a), 20u);
    EXPECT_EQ(PlayCursor(d), 0u);
    EXPECT_FALSE(Playing(d));

    // Both together sum.
    d->Play(0, 0, 0);
    EXPECT_EQ(Render(1)[0], 2000);

    // A write through one is heard through the other.
    std::vector<int16_t> fresh(100, -500);
    Fill(a, fresh.data(), 200);
    a->Stop();
    EXPECT_EQ(Render(1)[0], -500);

    // Releasing the original leaves the duplicate's samples alive.
    a->Release();
    EXPECT_EQ(Render(1)[0], -500);
    EXPECT_TRUE(Playing(d));

    TDirectSoundBuffer* none = nullptr;
    EXPECT_EQ(Device->DuplicateSoundBuffer(Primary, none), DSERR_INVALIDCALL);
}

TEST_F(DSoundTest, LosingTheFocusMutesButCursorsMove) {
    TDirectSoundBuffer* b = Make16(Ramp(1000));
    b->Play(0, 0, 0);
    DSound_SetFocus(false);
    EXPECT_FALSE(Device->HasFocus());
    auto out = Render(100);
    for (int16_t s : out)
        ASSERT_EQ(s, 0);
    EXPECT_EQ(PlayCursor(b), 200u);
    EXPECT_TRUE(Playing(b));
    DSound_SetFocus(true);
    EXPECT_EQ(Render(1)[0], 101);

    // A muted one-shot still ends and rewinds.
    DSound_SetFocus(false);
    Render(2000);
    EXPECT_FALSE(Playing(b));
    EXPECT_EQ(PlayCursor(b), 0u);
}

TEST_F(DSoundTest, FormatsAreConvertedAndResampled) {
    // 8-bit unsigned: 128 is silence, each step is 256.
    {
        TWaveFormat f = DSound_PcmFormat(1, 44100, 8);
        TDSBufferDesc desc;
        desc.Flags = DSBCAPS_CTRLVOLUME;
        desc.BufferBytes = 4;
        desc.Format = &f;
        TDirectSoundBuffer* b = nullptr;
        ASSERT_EQ(Device->CreateSoundBuffer(desc, b), DS_OK);
        const uint8_t bytes[4] = {128, 129, 0, 255};
        Fill(b, bytes, 4);
        b->Play(0, 0, 0);
        auto out = Render(4);
        EXPECT_EQ(out[0], 0);
        EXPECT_EQ(out[2], 256);
        EXPECT_EQ(out[4], -32768);
        EXPECT_EQ(out[6], 127 * 256);
        b->Release();
    }
    // Stereo keeps its sides; a 3D stereo buffer is heard centred.
    {
        TDirectSoundBuffer* s = Make16({1000, -1000}, 2);
        s->Play(0, 0, 0);
        auto out = Render(1);
        EXPECT_EQ(out[0], 1000);
        EXPECT_EQ(out[1], -1000);
        TDirectSoundBuffer* c = Make16({1000, 3000}, 2, 44100, DSBCAPS_CTRL3D | DSBCAPS_CTRLVOLUME);
        c->Play(0, 0, 0);
        out = Render(1);
        EXPECT_EQ(out[0], 2000);
        EXPECT_EQ(out[1], 2000);
        TDirectSound3DBuffer* b3 = nullptr;
        EXPECT_EQ(c->QueryInterface3D(b3), DS_OK);
        b3->Release();
        EXPECT_EQ(s->QueryInterface3D(b3), DSERR_NOINTERFACE);
    }
    // 22,050 Hz at 44,100: every source frame lasts two output frames, the
    // in-between ones interpolated.
    {
        TDirectSoundBuffer* b = Make16({0, 1000, 2000, 3000}, 1, 22050);
        b->Play(0, 0, 0);
        auto out = Render(6);
        const int16_t expected[6] = {0, 500, 1000, 1500, 2000, 2500};
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(out[2 * i], expected[i]) << "frame " << i;
        EXPECT_EQ(PlayCursor(b), 6u);
    }
    // Sums are clamped, not wrapped.
    {
        TDirectSoundBuffer* a = Make16({30000, 30000}, 1);
        TDirectSoundBuffer* b = Make16({30000, 30000}, 1);
        a->Play(0, 0, 0);
        b->Play(0, 0, 0);
        EXPECT_EQ(Render(1)[0], 32767);
    }
}

TEST_F(DSoundTest, BadBuffersAreRefused) {
    struct Row {
        const char* name;
        uint16_t tag, channels, bits;
        uint32_t rate, bytes;
        TDSResult result;
    };
    const Row rows[] = {
        {"pcm", 1, 2, 16, 44100, 400, DS_OK},
        {"not pcm", 3, 2, 16, 44100, 400, DSERR_INVALIDPARAM},
        {"three channels", 1, 3, 16, 44100, 600, DSERR_INVALIDPARAM},
        {"24 bits", 1, 2, 24, 44100, 600, DSERR_INVALIDPARAM},
        {"rate 0", 1, 2, 16, 0, 400, DSERR_INVALIDPARAM},
        {"no bytes", 1, 2, 16, 44100, 0, DSERR_INVALIDPARAM},
        {"less than a block", 1, 2, 16, 44100, 3, DSERR_INVALIDPARAM},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TWaveFormat f = DSound_PcmFormat(r.channels, r.rate, r.bits);
        f.FormatTag = r.tag;
        TDSBufferDesc desc;
        desc.BufferBytes = r.bytes;
        desc.Format = &f;
        TDirectSoundBuffer* b = nullptr;
        EXPECT_EQ(Device->CreateSoundBuffer(desc, b), r.result);
        EXPECT_EQ(b != nullptr, r.result == DS_OK);
    }
    TDirectSoundBuffer* second = nullptr;
    TDSBufferDesc primary;
    primary.Flags = DSBCAPS_PRIMARYBUFFER;
    EXPECT_EQ(Device->CreateSoundBuffer(primary, second), DSERR_ALLOCATED);
    TDirectSoundBuffer* b = Make16(std::vector<int16_t>(4));
    EXPECT_EQ(b->SetFormat(DSound_PcmFormat(2, 44100, 16)), DSERR_INVALIDCALL);
    EXPECT_EQ(b->Play(1, 0, 0), DSERR_INVALIDPARAM);
}

TEST_F(DSoundTest, PrimaryFormatSetsTheMixRate) {
    ASSERT_EQ(Primary->SetFormat(DSound_PcmFormat(1, 22050, 16)), DS_OK);
    EXPECT_EQ(Device->OutputRate(), 22050u);
    EXPECT_EQ(Device->OutputChannels(), 1u);
    TDirectSoundBuffer* b = Make16({10, 20, 30, 40}, 1, 44100);
    b->Play(0, 0, 0);
    std::vector<int16_t> out(2);
    Device->Render(out.data(), 2);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 30);
    EXPECT_EQ(Primary->SetFormat(DSound_PcmFormat(4, 22050, 16)), DSERR_BADFORMAT);
    Device->SetCooperativeLevel(-1, DSSCL_NORMAL);
    EXPECT_EQ(Primary->SetFormat(DSound_PcmFormat(2, 44100, 16)), DSERR_PRIOLEVELNEEDED);
}

TEST(DSoundResultTextTest, KnownAndUnknownCodes) {
    EXPECT_STREQ(DSound_ResultText(DSERR_BUFFERLOST), "The buffer memory has been lost and must be restored.");
    EXPECT_STREQ(DSound_ResultText(DSERR_NODRIVER), "No sound driver is available for use.");
    EXPECT_STREQ(DSound_ResultText(0x12345), "An unknown error occurred.");
}

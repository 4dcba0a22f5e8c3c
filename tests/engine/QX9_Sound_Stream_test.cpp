// Streams, refills and fades, with the clock and the mixer moved by hand.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>

#include <vorbis/vorbisfile.h>

#include "tests/engine/QX9_Sound_TestFixture.h"
#include "tools/SoundFiles.h"

using namespace SoundFiles;

namespace {

// The 16-bit PCM libvorbisfile decodes from an Ogg file held in memory.
std::vector<int16_t> DecodeAll(const std::string& ogg)
{
    TOggSource src;
    src.Data = reinterpret_cast<const uint8_t*>(ogg.data());
    src.Size = int64_t(ogg.size());
    OggVorbis_File f;
    std::vector<int16_t> out;
    if (!OggOpenMemory(&f, &src))
        return out;
    std::vector<int16_t> buffer(4096);
    for (;;) {
        int section = 0;
        const long n = ov_read(&f, reinterpret_cast<char*>(buffer.data()), 8192, 0, 2, 1, &section);
        if (n <= 0)
            break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + n / 2);
    }
    ov_clear(&f);
    return out;
}

bool Silent(const std::vector<int16_t>& v, size_t from, size_t to)
{
    for (size_t i = from; i < to && i < v.size(); ++i)
        if (v[i] != 0)
            return false;
    return true;
}

// Largest absolute sample in each window of n samples.
std::vector<int> Peaks(const std::vector<int16_t>& v, size_t n)
{
    std::vector<int> peaks;
    for (size_t at = 0; at + n <= v.size(); at += n) {
        int p = 0;
        for (size_t i = at; i < at + n; ++i)
            p = std::max(p, std::abs(int(v[i])));
        peaks.push_back(p);
    }
    return peaks;
}

class SoundStreamTest : public SoundTest {
protected:
    // A stream of a stereo 44,100 Hz sine of the given length.
    int32_t OpenTone(double seconds, const std::string& name = "tone.ogg", int channels = 2, int rate = 44100)
    {
        const std::string file =
            Write(name, EncodeOgg(Sine(channels, rate, int(seconds * rate), 440.0, 0.6), channels, rate));
        int32_t id = 0;
        EXPECT_EQ(Sound_OpenStream(file, id, 1), 0);
        EXPECT_GT(id, 0);
        return id;
    }
};

} // namespace

TEST_F(SoundStreamTest, OpenRegistersAndFirstPlayDecodes)
{
    const int32_t id = OpenTone(1.5);
    const TGlobalSound& s = GlobalSounds[id];
    EXPECT_TRUE(s.Streamed);
    EXPECT_EQ(s.StreamKind, STREAM_KIND_OGG);
    EXPECT_EQ(s.DataSize, 0);
    EXPECT_NE(s.FileHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(s.Buffer, nullptr);
    EXPECT_EQ(StreamScratch.size(), size_t(StreamBufferSize));
    EXPECT_EQ(StreamBufferSize, 44100 * 2 * 8);
    EXPECT_EQ(RefillThreshold, 44100 * 2 * 2);

    Sound_SetVolume(id, 1000); // no channel yet: only stored
    EXPECT_EQ(s.Volume, 1000);
    Sound_Play(id, true, false);
    EXPECT_EQ(s.FileHandle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(s.DataSize, 66150 * 4);
    EXPECT_EQ(s.Channels, 2);
    EXPECT_EQ(s.Rate, 44100);
    EXPECT_EQ(s.Bits, 16);
    EXPECT_EQ(s.Channel, 1);
    EXPECT_TRUE(StreamPlaying(id));
    EXPECT_EQ(BufferVolume(ChannelBuffer(id)), -35); // the channel takes the sound's volume

    int32_t missing = -1;
    EXPECT_EQ(Sound_OpenStream(Missing("none.ogg"), missing, 1), 0);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(GetEngineErrorText(), "");
}

TEST_F(SoundStreamTest, AnUndecodableStreamStopsAtItsFirstPlay)
{
    int32_t id = 0;
    Sound_OpenStream(Write("bad.ogg", std::string(500, 'z')), id, 1);
    ASSERT_GT(id, 0);
    EXPECT_THROW(Sound_Play(id, true, false), TSoundFatalStop);
    EXPECT_EQ(GetEngineErrorText(), "\n\rov_open_callbacks() -> OGG DECODING ERROR!");
}

TEST_F(SoundStreamTest, AStreamWithADamagedLengthGetsNoId)
{
    const std::string good = EncodeOgg(Sine(2, 44100, 4410, 300), 2, 44100, 0.6f, true);
    int32_t id = -1;
    EXPECT_EQ(Sound_OpenStream(Write("damaged.ogg", WithLastGranule(good, INT64_MAX)), id, 1), 0);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(Sound_OpenStream(Write("good.ogg", good), id, 1), 0);
    EXPECT_GT(id, 0);
    EXPECT_EQ(GetEngineErrorText(), "");
}

// The sample rate is read from the file's header: a rate no buffer plays
// makes the stream undecodable, refused when it is opened, and stopped at its
// first play when the header was damaged after the opening.
TEST_F(SoundStreamTest, ADamagedSampleRateIsRefused)
{
    const std::string good = EncodeOgg(Sine(2, 44100, 4410, 300), 2, 44100);
    struct Row {
        uint32_t rate;
        bool opens;
    } rows[] = {{1, true},           {192000, true},      {192001, false},
                {0x7FFFFFFF, false}, {0x80000000, false}, {0xFFFFFFFF, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rate);
        int32_t id = -1;
        EXPECT_EQ(Sound_OpenStream(Write("rate.ogg", WithSampleRate(good, row.rate)), id, 1), 0);
        EXPECT_EQ(id > 0, row.opens);
    }
    EXPECT_EQ(GetEngineErrorText(), "");

    int32_t id = 0;
    const std::string file = Write("later.ogg", good);
    Sound_OpenStream(file, id, 1);
    ASSERT_GT(id, 0);
    Write("later.ogg", WithSampleRate(good, 400000));
    EXPECT_THROW(Sound_Play(id, true, false), TSoundFatalStop);
    EXPECT_EQ(GetEngineErrorText(), "\n\rov_open_callbacks() -> OGG DECODING ERROR!");
}

TEST_F(SoundStreamTest, PlaysTheDecodedTrackAndStopsAfterItsEnd)
{
    const std::string ogg = EncodeOgg(Sine(2, 44100, 66150, 440.0, 0.6), 2, 44100);
    int32_t id = 0;
    Sound_OpenStream(Write("t.ogg", ogg), id, 1);
    Sound_SetGroupVolume(1, 1000);
    Sound_SetVolume(id, 1000);
    Sound_Play(id, true, false);
    // Update in the same frame: a freshly primed buffer is full, not empty.
    Sound_Update();
    const std::vector<int16_t> reference = DecodeAll(ogg);
    ASSERT_EQ(reference.size(), 66150u * 2);

    int32_t stoppedAt = -1;
    std::vector<int16_t> out;
    for (int32_t t = 0; t < 3000 && stoppedAt < 0; t += 50) {
        auto part = Run(50, 50);
        out.insert(out.end(), part.begin(), part.end());
        if (!StreamPlaying(id))
            stoppedAt = t + 50;
    }
    // Not cut early; stopped within one refill interval (passes come every
    // 250 ms and more, in 50 ms frames) after the end.
    EXPECT_GE(stoppedAt, 1500);
    EXPECT_LE(stoppedAt, 1500 + 300);
    // Everything heard up to the end is the track, at the volume's gain.
    const float gain = DSound_VolumeToGain(-35);
    for (size_t i = 0; i < reference.size(); i += 97)
        ASSERT_NEAR(out[i], reference[i] * gain, 1.0) << "sample " << i;
    EXPECT_TRUE(Silent(out, reference.size(), out.size()));
    EXPECT_FALSE(StreamBuffers[1].InUse);
    EXPECT_FALSE(BufferPlaying(StreamBuffers[1].Buffer));
    EXPECT_TRUE(Silent(Run(500), 0, size_t(-1)));
}

TEST_F(SoundStreamTest, ALoopingStreamKeepsPlayingPastItsEnd)
{
    const int32_t id = OpenTone(0.5);
    Sound_SetVolume(id, 1000);
    Sound_Play(id, true, true);
    const auto out = Run(6000);
    EXPECT_TRUE(StreamPlaying(id));
    // Every 100 ms of the six seconds carries the tone.
    for (int p : Peaks(out, 8820))
        ASSERT_GT(p, 10000);
}

TEST_F(SoundStreamTest, RestartOnAReusedChannelStartsWithTheTrack)
{
    const int32_t a = OpenTone(6.0, "a.ogg");
    const std::string ogg = EncodeOgg(Sine(2, 44100, 44100, 1000.0, 0.7), 2, 44100);
    int32_t b = 0;
    Sound_OpenStream(Write("b.ogg", ogg), b, 1);
    Sound_SetVolume(a, 1000);
    Sound_SetVolume(b, 1000);
    Sound_Play(a, true, true);
    Run(1300);
    Sound_Stop(a);
    EXPECT_GT(BufferCursor(StreamBuffers[1].Buffer), 0u); // Stop keeps the cursor

    Sound_Play(b, true, false);
    ASSERT_EQ(GlobalSounds[b].Channel, 1); // the free channel of the same format
    const std::vector<int16_t> reference = DecodeAll(ogg);
    const auto out = Render(2000);
    const float gain = DSound_VolumeToGain(-35);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_NEAR(out[i], reference[i] * gain, 1.0) << "sample " << i;
}

TEST_F(SoundStreamTest, StopAndPlayResumesOnWholeBuffers)
{
    const int32_t id = OpenTone(20.0);
    Sound_SetVolume(id, 1000);
    Sound_Play(id, true, false);
    Run(5000);
    const int64_t pos = GlobalSounds[id].StreamPos;
    Sound_Stop(id);
    EXPECT_FALSE(StreamPlaying(id));
    EXPECT_EQ(GlobalSounds[id].ResumePos, pos - pos % StreamBufferSize);
    EXPECT_EQ(GlobalSounds[id].ResumePos % StreamBufferSize, 0);
    Sound_Play(id, false, false);
    EXPECT_TRUE(StreamPlaying(id));
    EXPECT_EQ(BufferCursor(ChannelBuffer(id)), 0u);
    EXPECT_EQ(GlobalSounds[id].StreamPos, pos - pos % StreamBufferSize + StreamBufferSize);
    // The resumed stream still plays to its end and stops.
    for (int i = 0; i < 40 && StreamPlaying(id); ++i)
        Run(1000, 50);
    EXPECT_FALSE(StreamPlaying(id));
    // A stop of a stopped stream changes nothing.
    const int64_t resume = GlobalSounds[id].ResumePos;
    Sound_Stop(id);
    EXPECT_EQ(GlobalSounds[id].ResumePos, resume);
}

TEST_F(SoundStreamTest, PlayWithoutRestartOnAPlayingStreamOnlyTakesTheLoopFlag)
{
    const int32_t id = OpenTone(2.0);
    Sound_Play(id, true, false);
    Run(500);
    const uint32_t cursor = BufferCursor(ChannelBuffer(id));
    const int64_t pos = GlobalSounds[id].StreamPos;
    Sound_Play(id, false, true);
    EXPECT_TRUE(GlobalSounds[id].Loop);
    EXPECT_EQ(BufferCursor(ChannelBuffer(id)), cursor);
    EXPECT_EQ(GlobalSounds[id].StreamPos, pos);
    Sound_Play(id, true, true); // with restart: primed again from the cursor 0
    EXPECT_EQ(BufferCursor(ChannelBuffer(id)), 0u);
    EXPECT_EQ(GlobalSounds[id].ResumePos, 0);
}

TEST_F(SoundStreamTest, ChannelsPlayInTheFormatOfTheirSound)
{
    const int32_t a = OpenTone(2.0, "a.ogg", 2, 44100);
    const int32_t b = OpenTone(2.0, "b.ogg", 1, 22050);
    Sound_SetVolume(a, 1000);
    Sound_SetVolume(b, 1000);
    Sound_Play(a, true, false);
    Run(200);
    Sound_Stop(a);
    // The free channel is of another format: b gets a channel of its own.
    Sound_Play(b, true, false);
    ASSERT_EQ(GlobalSounds[b].Channel, 2);
    EXPECT_EQ(StreamBuffers[2].Rate, 22050);
    EXPECT_EQ(StreamBuffers[2].Channels, 1);
    // 0.1 s of output takes 0.1 s of the track: 2205 mono frames.
    Render(4410);
    EXPECT_EQ(BufferCursor(StreamBuffers[2].Buffer), 2205u * 2);
    Sound_Play(a, true, false);
    EXPECT_EQ(GlobalSounds[a].Channel, 1);
}

TEST_F(SoundStreamTest, AFreeChannelOfAnotherFormatIsRemade)
{
    Init(1, 8000, false); // small channel buffers
    const std::string file = Write("x.ogg", EncodeOgg(Sine(1, 8000, 4000, 300.0), 1, 8000));
    std::vector<int32_t> ids;
    for (int i = 0; i < STREAM_CHANNEL_COUNT - 1; ++i) {
        int32_t id = 0;
        Sound_OpenStream(file, id, 1);
        Sound_Play(id, true, true);
        ids.push_back(id);
    }
    for (int32_t id : ids)
        Sound_Stop(id);
    const int32_t other = OpenTone(1.0, "y.ogg", 1, 16000);
    Sound_SetVolume(other, 1000);
    Sound_Play(other, true, false);
    ASSERT_EQ(GlobalSounds[other].Channel, 1);
    EXPECT_EQ(StreamBuffers[1].Rate, 16000);
    Render(800); // 0.1 s at the device's 8,000 Hz
    EXPECT_EQ(BufferCursor(StreamBuffers[1].Buffer), 1600u * 2);

    // The first sound's channel was remade meanwhile: it gets its format back.
    Sound_Stop(other);
    Sound_Play(ids[0], true, true);
    EXPECT_EQ(GlobalSounds[ids[0]].Channel, 1);
    EXPECT_EQ(StreamBuffers[1].Rate, 8000);
    EXPECT_TRUE(StreamPlaying(ids[0]));
}

TEST_F(SoundStreamTest, AllChannelsBusyTheNewStreamTakesTheLast)
{
    Init(1, 8000, false); // small channel buffers
    const std::string file = Write("t.ogg", EncodeOgg(Sine(1, 8000, 4000, 300.0), 1, 8000));
    std::vector<int32_t> ids;
    for (int i = 0; i <= STREAM_CHANNEL_COUNT; ++i) {
        int32_t id = 0;
        Sound_OpenStream(file, id, 1);
        ASSERT_GT(id, 0);
        ids.push_back(id);
    }
    for (int i = 0; i < STREAM_CHANNEL_COUNT; ++i) {
        Sound_Play(ids[i], true, true);
        ASSERT_EQ(GlobalSounds[ids[i]].Channel, i + 1);
    }
    const int32_t last = ids[STREAM_CHANNEL_COUNT - 1];
    const int32_t newcomer = ids[STREAM_CHANNEL_COUNT];
    Sound_Play(newcomer, true, true);
    EXPECT_EQ(GlobalSounds[newcomer].Channel, STREAM_CHANNEL_COUNT);
    EXPECT_EQ(StreamBuffers[STREAM_CHANNEL_COUNT].SoundId, newcomer);
    EXPECT_TRUE(StreamPlaying(newcomer));
    EXPECT_FALSE(StreamPlaying(last));

    // The sound that lost the channel no longer controls it.
    Sound_Stop(last);
    EXPECT_TRUE(StreamPlaying(newcomer));
    Sound_SetVolume(last, 0);
    Sound_SetVolume(newcomer, 1000);
    EXPECT_EQ(BufferVolume(StreamBuffers[STREAM_CHANNEL_COUNT].Buffer), -35);

    // It takes a free channel once there is one.
    Sound_Stop(ids[4]);
    Sound_Play(last, true, true);
    EXPECT_EQ(GlobalSounds[last].Channel, 5);
    EXPECT_TRUE(StreamPlaying(last));
}

TEST_F(SoundStreamTest, TheStreamPositionOutgrows32Bits)
{
    const int32_t id = OpenTone(1.0);
    Sound_SetVolume(id, 1000);
    Sound_Play(id, true, true);
    Run(300);
    Sound_Stop(id);
    // As after some three and a half hours of looping.
    const int64_t start = (int64_t(1) << 31) / StreamBufferSize * StreamBufferSize;
    GlobalSounds[id].ResumePos = start;
    Sound_Play(id, false, true);
    const auto out = Run(8000);
    EXPECT_GT(GlobalSounds[id].StreamPos, int64_t(1) << 31);
    EXPECT_TRUE(StreamPlaying(id));
    for (int p : Peaks(out, 8820))
        ASSERT_GT(p, 10000);
}

// ---------------------------------------------------------------------------
// Fades

TEST_F(SoundStreamTest, AFadeInStartsAStoppedStreamAndRampsItsVolume)
{
    const int32_t id = OpenTone(10.0);
    const int32_t start = SoundTestNow;
    Sound_AddFade(start, 2000, 0, 1000, id);
    const struct {
        int32_t at, volume;
        bool fading;
    } rows[] = {
        {0, 0, true}, // not started: the start time must have passed
        {1, 1, true}, // started, restart and loop, at 1
        {500, 250, true},    {1000, 500, true}, {1500, 750, true}, {2000, 1000, true}, // the last moment of the fade
        {2001, 1000, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.at);
        SoundTestNow = start + r.at;
        Sound_Update();
        EXPECT_EQ(GlobalSounds[id].Volume, r.volume);
        EXPECT_EQ(FadeList.Next != nullptr, r.fading);
        EXPECT_EQ(GlobalSounds[id].Fade != nullptr, r.fading && r.at > 0);
        if (r.at > 0) {
            EXPECT_TRUE(StreamPlaying(id));
            EXPECT_TRUE(GlobalSounds[id].Loop);
            EXPECT_EQ(BufferVolume(ChannelBuffer(id)), Sound_VolumeToDecibels(r.volume, 1000));
        }
    }
}

TEST_F(SoundStreamTest, AFadeOutStopsTheSoundAtItsEnd)
{
    const int32_t id = OpenTone(10.0);
    Sound_SetVolume(id, 1000);
    Sound_Play(id, true, true);
    Sound_AddFade(SoundTestNow, 2000, 1000, 0, id);
    Run(1000);
    EXPECT_NEAR(GlobalSounds[id].Volume, 500, 10);
    EXPECT_TRUE(StreamPlaying(id));
    Run(1100);
    EXPECT_EQ(GlobalSounds[id].Volume, 0);
    EXPECT_FALSE(StreamPlaying(id));
    EXPECT_EQ(FadeList.Next, nullptr);
    EXPECT_EQ(GlobalSounds[id].Fade, nullptr);
}

TEST_F(SoundStreamTest, FadesAreKeptInStartOrder)
{
    Sound_AddFade(500, 10, 0, 1, 1);
    Sound_AddFade(500, 10, 0, 1, 2);
    Sound_AddFade(500, 10, 0, 1, 3);
    Sound_AddFade(100, 10, 0, 1, 4);
    Sound_AddFade(900, 10, 0, 1, 5);
    Sound_AddFade(500, 10, 0, 1, 6);
    Sound_AddFade(1, 1, 1, 1, 0); // no sound: nothing
    std::vector<int32_t> order;
    for (TSoundFade* f = FadeList.Next; f; f = f->Next) {
        order.push_back(f->SoundId);
        EXPECT_EQ(f->Prev->Next, f);
    }
    EXPECT_EQ(order, (std::vector<int32_t>{4, 1, 2, 3, 6, 5}));
}

TEST_F(SoundStreamTest, ANewFadeTakesOverFromTheReachedVolume)
{
    const int32_t id = OpenTone(10.0);
    Sound_SetVolume(id, 1000);
    Sound_Play(id, true, true);
    const int32_t start = SoundTestNow;
    Sound_AddFade(start, 2000, 1000, 0, id);
    SoundTestNow = start + 1000;
    Sound_Update();
    EXPECT_EQ(GlobalSounds[id].Volume, 500);
    Sound_AddFade(start + 1000, 2000, 0, 1000, id);
    SoundTestNow = start + 1100;
    Sound_Update();
    // The first fade went on to 450, then the second took over from there.
    EXPECT_EQ(GlobalSounds[id].Volume, 450 + 100 * (1000 - 450) / 2000);
    ASSERT_NE(FadeList.Next, nullptr);
    EXPECT_EQ(FadeList.Next->Next, nullptr); // the first one is gone
    EXPECT_EQ(FadeList.Next->FromVolume, 450);
    EXPECT_TRUE(StreamPlaying(id));
    SoundTestNow = start + 3100;
    Sound_Update();
    EXPECT_EQ(GlobalSounds[id].Volume, 1000);
    EXPECT_TRUE(StreamPlaying(id));
}

TEST_F(SoundStreamTest, FadingBackInRightAfterAFadeOutKeepsTheMusicPlaying)
{
    // Leave a screen and come back at once: the fade-out has just reached 0
    // (and stopped the music) when the fade-in begins.
    const int32_t id = OpenTone(10.0);
    Sound_SetVolume(id, 1000);
    Sound_Play(id, true, true);
    const int32_t start = SoundTestNow;
    Sound_AddFade(start, 2000, 1000, 0, id);
    Sound_AddFade(start + 1999, 2000, 0, 1000, id);
    SoundTestNow = start + 2000;
    Sound_Update();
    EXPECT_EQ(GlobalSounds[id].Volume, 1);
    EXPECT_TRUE(StreamPlaying(id));
    for (int32_t t = 2016; t <= 4100; t += 16) {
        SoundTestNow = start + t;
        Render(706);
        Sound_Update();
        ASSERT_TRUE(StreamPlaying(id)) << "at " << t;
    }
    EXPECT_EQ(GlobalSounds[id].Volume, 1000);
    EXPECT_EQ(FadeList.Next, nullptr);
    EXPECT_GT(Peaks(Render(4410), 8820).at(0), 10000);
}

TEST_F(SoundStreamTest, ACrossfadeRunsBothFadesIndependently)
{
    const int32_t a = OpenTone(10.0, "a.ogg");
    const int32_t b = OpenTone(10.0, "b.ogg");
    Sound_SetVolume(a, 1000);
    Sound_Play(a, true, true);
    const int32_t start = SoundTestNow;
    Sound_AddFade(start, 2000, 1000, 0, a);
    Sound_AddFade(start, 2000, 0, 1000, b);
    SoundTestNow = start + 1000;
    Sound_Update();
    EXPECT_EQ(GlobalSounds[a].Volume, 500);
    EXPECT_EQ(GlobalSounds[b].Volume, 500);
    EXPECT_TRUE(StreamPlaying(a));
    EXPECT_TRUE(StreamPlaying(b));
    EXPECT_NE(GlobalSounds[a].Channel, GlobalSounds[b].Channel);
    SoundTestNow = start + 2001;
    Sound_Update();
    EXPECT_FALSE(StreamPlaying(a));
    EXPECT_TRUE(StreamPlaying(b));
    EXPECT_EQ(GlobalSounds[b].Volume, 1000);
    EXPECT_EQ(FadeList.Next, nullptr);
}

TEST_F(SoundStreamTest, RefillsWaitForTheirInterval)
{
    const int32_t id = OpenTone(20.0);
    Sound_Play(id, true, false);
    Sound_Update();
    const int64_t primed = GlobalSounds[id].StreamPos;
    EXPECT_EQ(primed, StreamBufferSize);
    Render(44100 * 3 + 22050); // 3.5 s played: half a second left ahead
    SoundTestNow += 250;       // not more than 250 ms since the last pass
    Sound_Update();
    EXPECT_EQ(GlobalSounds[id].StreamPos, primed);
    SoundTestNow += 1;
    Sound_Update();
    // Refilled up to the cursor: 3.5 s of new data.
    EXPECT_EQ(GlobalSounds[id].StreamPos, primed + int64_t(44100 * 3 + 22050) * 4);
    // A clock that went back starts the interval over.
    SoundTestNow -= 10000;
    Render(44100 * 3 + 22050);
    Sound_Update();
    EXPECT_GT(GlobalSounds[id].StreamPos, primed + int64_t(44100 * 3 + 22050) * 4);
}

// ---------------------------------------------------------------------------
// The loader thread loads while the main thread plays.

TEST(SoundLoaderThreadTest, LoadingOnAnotherThreadWhilePlaying)
{
    DSound_SetOffline(true);
    DSound_SetFocus(true);
    static std::atomic<int32_t> now{100000};
    Sound_SetClock([](bool) { return now.load(); });
    Sound_Init(2, 44100, 16, true, -1);
    TTempFolder folder;
    folder.WriteFile("music.ogg", EncodeOgg(Sine(2, 44100, 22050, 440.0), 2, 44100));
    folder.WriteFile("fx.ogg", EncodeOgg(Sine(1, 22050, 2205, 880.0), 1, 22050));
    std::vector<int16_t> samples(2000, 3000);
    folder.WriteFile("fx.wav", Wav16(samples));
    int32_t music = 0;
    Sound_OpenStream(folder.ProgramPath() + "music.ogg", music, 1);
    ASSERT_GT(music, 0);
    Sound_SetVolume(music, 1000);
    Sound_Play(music, true, true);

    std::atomic<bool> loading{true};
    std::vector<int32_t> loaded;
    std::thread loader([&] {
        for (int i = 0; i < 60; ++i) {
            int32_t id = 0;
            if (i % 3 == 0)
                OGG_LoadSound(folder.ProgramPath() + "fx.ogg", id, 10, true);
            else
                WAV_LoadSound(folder.ProgramPath() + "fx.wav", id, 10, false);
            loaded.push_back(id);
            if (i % 5 == 0)
                loaded.push_back(Sound_Duplicate(id));
            Sound_SetGroupVolume(10, 800);
        }
        loading = false;
    });
    // The audio output's thread mixes all the while.
    std::thread output([&] {
        std::vector<int16_t> out(2048);
        while (loading)
            SoundDevice->Render(out.data(), 1024);
    });
    std::vector<int16_t> out(2048);
    while (loading) {
        now += 16;
        Sound_Update();
        Sound_Play(2, true, false); // the first effect, once it is there
        std::this_thread::yield();
    }
    loader.join();
    output.join();

    std::vector<int32_t> sorted = loaded;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    EXPECT_EQ(std::count(sorted.begin(), sorted.end(), 0), 0);
    EXPECT_EQ(sorted.size(), 72u);
    for (int32_t id : loaded)
        EXPECT_EQ(GlobalSounds[id].GroupVolume, 800);
    EXPECT_TRUE(StreamBuffers[GlobalSounds[music].Channel].InUse);
    QX9_Sound_Finalization();
    Sound_SetClock(nullptr);
    DSound_SetOffline(false);
}

TEST_F(SoundStreamTest, DamagedDataIsSkippedAndTheTrackStillEnds)
{
    std::string ogg = EncodeOgg(Sine(2, 44100, 44100 * 3, 440.0, 0.6), 2, 44100);
    // Break a page in the middle (its checksum no longer matches).
    for (size_t i = ogg.size() / 2; i < ogg.size() / 2 + 64; ++i)
        ogg[i] = char(ogg[i] ^ 0x5A);
    const std::string file = Write("damaged.ogg", ogg);

    int32_t effect = 0;
    const int32_t size = OGG_LoadSound(file, effect, 1, false);
    ASSERT_GT(effect, 0);
    EXPECT_GT(size, 0);
    EXPECT_EQ(GlobalSounds[effect].DataSize, size);

    int32_t id = 0;
    Sound_OpenStream(file, id, 1);
    Sound_SetVolume(id, 1000);
    Sound_Play(id, true, false);
    for (int i = 0; i < 20 && StreamPlaying(id); ++i)
        Run(1000, 50);
    EXPECT_FALSE(StreamPlaying(id));
    EXPECT_EQ(GetEngineErrorText(), "");
}

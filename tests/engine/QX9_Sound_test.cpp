// The sound table, loaders, volumes and static playback.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include <vorbis/vorbisfile.h>

#include "tests/engine/QX9_Sound_TestFixture.h"
#include "tools/SoundFiles.h"

using namespace SoundFiles;

namespace {

std::vector<int16_t> Ramp(size_t n, int16_t start = 1)
{
    std::vector<int16_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = int16_t(start + int(i));
    return v;
}

// The PCM bytes held by a static sound's buffer.
std::vector<int16_t> BufferSamples(int32_t id)
{
    TDirectSoundBuffer* b = GlobalSounds[id].Buffer;
    void* p1;
    uint32_t n1;
    std::vector<int16_t> out;
    if (b->Lock(0, 0, &p1, &n1, nullptr, nullptr, DSBLOCK_ENTIREBUFFER) != DS_OK)
        return out;
    out.resize(n1 / 2);
    std::memcpy(out.data(), p1, n1);
    b->Unlock(p1, n1, nullptr, 0);
    return out;
}

} // namespace

// ---------------------------------------------------------------------------
// Volumes

TEST_F(SoundTest, VolumeCurveAndClamps)
{
    const struct {
        int32_t volume, decibels;
    } rows[] = {{1000, -35},  {500, -932}, {333, -1519}, {250, -1955},
                {100, -3428}, {10, -6835}, {1, -8801},   {0, -10000}};
    int32_t id = 0;
    ASSERT_GT(WAV_LoadSound(Write("a.wav", Wav16(Ramp(100))), id, 3, false), 0);
    for (const auto& r : rows) {
        EXPECT_EQ(Sound_VolumeToDecibels(r.volume, 1000), r.decibels) << r.volume;
        Sound_SetVolume(id, r.volume);
        EXPECT_EQ(BufferVolume(GlobalSounds[id].Buffer), r.decibels) << r.volume;
    }
    Sound_SetVolume(id, 1500);
    EXPECT_EQ(GlobalSounds[id].Volume, 1000);
    Sound_SetVolume(id, -4);
    EXPECT_EQ(GlobalSounds[id].Volume, 0);

    // A group volume of 0 silences whatever the sound's own volume.
    Sound_SetVolume(id, 1000);
    Sound_SetGroupVolume(3, 0);
    EXPECT_EQ(GlobalSounds[id].GroupVolume, 0);
    EXPECT_EQ(GlobalSounds[id].Volume, 1000);
    EXPECT_EQ(BufferVolume(GlobalSounds[id].Buffer), -10000);
    Sound_SetGroupVolume(3, 2000);
    EXPECT_EQ(GlobalSounds[id].GroupVolume, 1000);
    EXPECT_EQ(BufferVolume(GlobalSounds[id].Buffer), -35);
    Sound_SetGroupVolume(3, 500);
    EXPECT_EQ(BufferVolume(GlobalSounds[id].Buffer), -932); // 1000 x 500 / 1000
}

TEST_F(SoundTest, GroupSoundsVolumeSkipsSoundsWithAFade)
{
    int32_t a = 0, b = 0, other = 0;
    const std::string file = Write("a.wav", Wav16(Ramp(100)));
    WAV_LoadSound(file, a, 4, false);
    WAV_LoadSound(file, b, 4, false);
    WAV_LoadSound(file, other, 5, false);
    Sound_AddFade(SoundTestNow, 10000, 200, 300, b);
    Sound_SetVolume(b, 200);
    SoundTestNow += 10;
    Sound_Update();
    ASSERT_NE(GlobalSounds[b].Fade, nullptr);
    Sound_SetGroupSoundsVolume(4, 700);
    EXPECT_EQ(GlobalSounds[a].Volume, 700);
    EXPECT_EQ(GlobalSounds[b].Volume, 200);
    EXPECT_EQ(GlobalSounds[other].Volume, 0);
}

// ---------------------------------------------------------------------------
// WAV

TEST_F(SoundTest, WavFilesLoadOrAreRefused)
{
    const std::vector<int16_t> mono = Ramp(100);
    const std::string fmtMono = Chunk("fmt ", FmtBody(1, 1, 44100, 16));
    const std::string data = Chunk("data", Samples16(mono));
    struct Row {
        const char* name;
        std::string bytes;
        int32_t size; // 0: refused
        int32_t channels, rate, bits;
    };
    const Row rows[] = {
        {"canonical mono", Wav16(mono), 200, 1, 44100, 16},
        {"stereo 22050", Wav16(mono, 2, 22050), 200, 2, 22050, 16},
        {"8-bit", Riff(Chunk("fmt ", FmtBody(1, 1, 11025, 8)) + Chunk("data", std::string(33, '\x80'))), 33, 1, 11025,
         8},
        {"list chunk first, 18-byte fmt",
         Riff(Chunk("LIST", "abc") + Chunk("fmt ", FmtBody(1, 1, 44100, 16, 2)) + data), 200, 1, 44100, 16},
        {"data size past the end is cut", Riff(fmtMono + Chunk("data", Samples16(mono), 1 << 30)), 200, 1, 44100, 16},
        {"odd data size is cut to whole blocks", Riff(fmtMono + Chunk("data", Samples16(mono) + "x")), 200, 1, 44100,
         16},
        {"big-endian RIFX", Riff(fmtMono + data, "RIFX"), 0, 0, 0, 0},
        {"not WAVE", "RIFF\x10\0\0\0AVI fmt ", 0, 0, 0, 0},
        {"float samples", Riff(Chunk("fmt ", FmtBody(3, 1, 44100, 32)) + data), 0, 0, 0, 0},
        {"compressed", Riff(Chunk("fmt ", FmtBody(2, 1, 44100, 4)) + data), 0, 0, 0, 0},
        {"24-bit", Riff(Chunk("fmt ", FmtBody(1, 1, 44100, 24)) + data), 0, 0, 0, 0},
        {"six channels", Riff(Chunk("fmt ", FmtBody(1, 6, 44100, 16)) + data), 0, 0, 0, 0},
        {"no data chunk", Riff(fmtMono), 0, 0, 0, 0},
        {"no fmt chunk", Riff(data), 0, 0, 0, 0},
        {"short fmt", Riff(Chunk("fmt ", std::string(8, '\1')) + data), 0, 0, 0, 0},
        {"empty data", Riff(fmtMono + Chunk("data", "")), 0, 0, 0, 0},
        {"three bytes of data", Riff(Chunk("fmt ", FmtBody(1, 1, 8000, 8)) + Chunk("data", "abc")), 0, 0, 0, 0},
        {"eight bytes", "RIFF\0\0\0\0", 0, 0, 0, 0},
        {"empty file", "", 0, 0, 0, 0},
    };
    int n = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string file = Write("f" + std::to_string(n++) + ".wav", r.bytes);
        int32_t id = -7;
        const int32_t size = WAV_LoadSound(file, id, 2, false);
        EXPECT_EQ(size, r.size);
        if (r.size == 0) {
            EXPECT_EQ(id, 0);
            continue;
        }
        ASSERT_GT(id, 0);
        const TGlobalSound& s = GlobalSounds[id];
        EXPECT_EQ(s.DataSize, r.size);
        EXPECT_EQ(s.Channels, r.channels);
        EXPECT_EQ(s.Rate, r.rate);
        EXPECT_EQ(s.Bits, r.bits);
        EXPECT_EQ(s.Group, 2);
        EXPECT_EQ(s.Volume, 0);
        EXPECT_EQ(s.GroupVolume, 1000);
        EXPECT_EQ(s.FileName, file);
        EXPECT_FALSE(s.Streamed);
        if (r.bits == 16 && r.channels == 1) {
            EXPECT_EQ(BufferSamples(id), mono);
        }
    }
    int32_t id = -1;
    EXPECT_EQ(WAV_LoadSound(Missing("none.wav"), id, 1, false), 0);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(GetEngineErrorText(), "");
}

TEST_F(SoundTest, SameFileTwiceTakesTwoSlotsAndThreeDFollowsTheDevice)
{
    const std::string file = Write("a.wav", Wav16(Ramp(100)));
    int32_t a = 0, b = 0;
    WAV_LoadSound(file, a, 1, false);
    WAV_LoadSound(file, b, 1, true);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_FALSE(GlobalSounds[a].Is3D);
    EXPECT_TRUE(GlobalSounds[b].Is3D);
    EXPECT_NE(GlobalSounds[b].Buffer3D, nullptr);
    EXPECT_TRUE(GlobalSounds[b].Buffer->Flags() & DSBCAPS_CTRL3D);

    Init(2, 44100, false); // without 3D the wish is ignored
    int32_t c = 0;
    WAV_LoadSound(file, c, 1, true);
    EXPECT_EQ(c, 1);
    EXPECT_FALSE(GlobalSounds[c].Is3D);
    EXPECT_FALSE(GlobalSounds[c].Buffer->Flags() & DSBCAPS_CTRL3D);
}

TEST_F(SoundTest, SlotExhaustionGivesIdZero)
{
    // Every slot but the last taken, as by 32767 loads.
    for (int32_t i = 1; i < SOUND_SLOT_COUNT; ++i)
        GlobalSounds[i].Streamed = true;
    const std::string file = Write("a.wav", Wav16(Ramp(10)));
    int32_t id = 0;
    EXPECT_EQ(WAV_LoadSound(file, id, 1, false), 20);
    EXPECT_EQ(id, SOUND_SLOT_COUNT);
    int32_t more = -1;
    EXPECT_EQ(WAV_LoadSound(file, more, 1, false), 0);
    EXPECT_EQ(more, 0);
    EXPECT_EQ(OGG_LoadSound(Write("a.ogg", EncodeOgg(Sine(1, 22050, 2205, 440), 1, 22050)), more, 1, false), 0);
    EXPECT_EQ(more, 0);
    EXPECT_EQ(Sound_Duplicate(id), 0);
    EXPECT_EQ(Sound_OpenStream(file, more, 1), 0);
    EXPECT_EQ(more, 0);
    EXPECT_EQ(GetEngineErrorText(), "");
    for (int32_t i = 1; i < SOUND_SLOT_COUNT; ++i)
        GlobalSounds[i].Streamed = false;
}

// ---------------------------------------------------------------------------
// Ogg Vorbis

TEST_F(SoundTest, OggLoadsDecodedPcmAndItsInfo)
{
    const std::vector<float> input = Sine(1, 22050, 22050, 441.0);
    const std::string file = Write("tone.ogg", EncodeOgg(input, 1, 22050));
    int32_t id = 0;
    EXPECT_EQ(OGG_LoadSound(file, id, 6, false), 44100);
    ASSERT_GT(id, 0);
    const TGlobalSound& s = GlobalSounds[id];
    EXPECT_EQ(s.DataSize, 44100);
    EXPECT_EQ(s.Channels, 1);
    EXPECT_EQ(s.Rate, 22050);
    EXPECT_EQ(s.Bits, 16);
    EXPECT_EQ(s.Group, 6);
    TWaveFormat format;
    s.Buffer->GetFormat(format);
    EXPECT_EQ(format.Channels, 1);
    EXPECT_EQ(format.SamplesPerSec, 22050u);

    // The decoded samples follow the encoded sine (lossy, so within a margin).
    const std::vector<int16_t> pcm = BufferSamples(id);
    ASSERT_EQ(pcm.size(), input.size());
    double error = 0, signal = 0;
    for (size_t i = 0; i < pcm.size(); ++i) {
        const double expected = input[i] * 32767.0;
        error += (pcm[i] - expected) * (pcm[i] - expected);
        signal += expected * expected;
    }
    EXPECT_LT(std::sqrt(error / signal), 0.05);

    int32_t size = 0, channels = 0, rate = 0, bits = 0, length = 0;
    OGG_GetInfo(file, &size, &channels, &rate, &bits, &length);
    EXPECT_EQ(size, 44100);
    EXPECT_EQ(channels, 1);
    EXPECT_EQ(rate, 22050);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(length, 1000);
    OGG_GetInfo(file, nullptr, nullptr, nullptr, nullptr, &length);
    EXPECT_EQ(length, 1000);
}

TEST_F(SoundTest, OggInfoLengthRoundsHalvesToEven)
{
    const struct {
        int frames, rate, lengthMs;
    } rows[] = {
        {66150, 44100, 1500}, {441, 44100, 10}, {8001, 16000, 500}, // 500.0625
        {8, 16000, 0},                                              // 0.5 -> 0
        {24, 16000, 2},                                             // 1.5 -> 2
        {40, 16000, 2},                                             // 2.5 -> 2
    };
    int n = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.frames);
        const std::string file =
            Write("l" + std::to_string(n++) + ".ogg", EncodeOgg(Sine(2, r.rate, r.frames, 300), 2, r.rate));
        int32_t size = 0, channels = 0, length = -1;
        OGG_GetInfo(file, &size, &channels, nullptr, nullptr, &length);
        EXPECT_EQ(channels, 2);
        EXPECT_EQ(size, r.frames * 4);
        EXPECT_EQ(length, r.lengthMs);
    }
    int32_t size = -1, channels = -1, rate = -1, bits = -1, length = -1;
    OGG_GetInfo(Missing("none.ogg"), &size, &channels, &rate, &bits, &length);
    EXPECT_EQ(size + channels + rate + bits + length, 0);
    OGG_GetInfo(Write("junk.ogg", "OggS but not really"), &size, &channels, &rate, &bits, &length);
    EXPECT_EQ(size + channels + rate + bits + length, 0);
    EXPECT_EQ(GetEngineErrorText(), "");
}

// A last page claiming more samples than the file could hold: the file is
// undecodable, whatever the claim (a plain overflow of the byte count, a
// length in milliseconds past 32 bits, or just more than the bytes allow).
TEST_F(SoundTest, OggWithADamagedLengthIsUndecodable)
{
    // Many pages: the first audio page's granule is the starting point, the
    // last one's the claim.
    const std::string good = EncodeOgg(Sine(2, 44100, 4410, 300), 2, 44100, 0.6f, true);
    const int64_t claims[] = {INT64_MAX, INT64_MAX / 4 + 1, int64_t(1) << 40, int64_t(good.size()) * 4096 + 1};
    int n = 0;
    for (const int64_t claim : claims) {
        SCOPED_TRACE(claim);
        const std::string file = Write("d" + std::to_string(n++) + ".ogg", WithLastGranule(good, claim));
        int32_t size = -1, channels = -1, rate = -1, bits = -1, length = -1;
        OGG_GetInfo(file, &size, &channels, &rate, &bits, &length);
        EXPECT_EQ(size, 0);
        EXPECT_EQ(channels, 0);
        EXPECT_EQ(rate, 0);
        EXPECT_EQ(bits, 0);
        EXPECT_EQ(length, 0);
        int32_t id = -1;
        EXPECT_EQ(OGG_LoadSound(file, id, 1, false), 0);
        EXPECT_EQ(id, 0);
    }
    // A claim within what the bytes can hold is taken as it stands.
    const std::string longer = Write("longer.ogg", WithLastGranule(good, 8820));
    int32_t size = 0, length = 0;
    OGG_GetInfo(longer, &size, nullptr, nullptr, nullptr, &length);
    EXPECT_EQ(size, 8820 * 4);
    EXPECT_EQ(length, 200);
    EXPECT_EQ(GetEngineErrorText(), "");
}

TEST_F(SoundTest, OggWithThreeChannelsIsMixedToStereo)
{
    const int frames = 4410;
    const std::string file = Write("three.ogg", EncodeOgg(Sine(3, 44100, frames, 300, 0.9), 3, 44100));
    int32_t id = 0;
    EXPECT_EQ(OGG_LoadSound(file, id, 1, false), frames * 2 * 2);
    ASSERT_GT(id, 0);
    EXPECT_EQ(GlobalSounds[id].Channels, 2);
    TWaveFormat format;
    GlobalSounds[id].Buffer->GetFormat(format);
    EXPECT_EQ(format.Channels, 2);
    // Left, centre and right carry 0.3, 0.6 and 0.9 of the sine: the left side
    // hears left and centre, the right side centre and right.
    const std::vector<int16_t> pcm = BufferSamples(id);
    int peakL = 0, peakR = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        peakL = std::max(peakL, std::abs(int(pcm[i])));
        peakR = std::max(peakR, std::abs(int(pcm[i + 1])));
    }
    const double c = 0.7071;
    EXPECT_NEAR(peakL, 32767 * (0.3 + c * 0.6) / (1 + c), 32767 * 0.03);
    EXPECT_NEAR(peakR, 32767 * (0.9 + c * 0.6) / (1 + c), 32767 * 0.03);
}

TEST_F(SoundTest, OggFailuresStopTheProgramWithTheirLine)
{
    int32_t id = -1;
    const std::string missing = Missing("gone.ogg");
    EXPECT_THROW(OGG_LoadSound(missing, id, 1, false), TSoundFatalStop);
    EXPECT_EQ(GetEngineErrorText(), "\n\rOGG_LoadSound(" + missing + ") -> FILE NOT FOUND!");
    EXPECT_EQ(id, 0);
    ClearEngineErrorText();
    EXPECT_THROW(OGG_LoadSound(Write("bad.ogg", std::string(300, 'x')), id, 1, false), TSoundFatalStop);
    EXPECT_EQ(GetEngineErrorText(), "\n\rov_open_callbacks() -> OGG DECODING ERROR!");
}

TEST(SoundOggMemoryTest, ReadCopiesOnlyWholeElements)
{
    const char bytes[] = "0123456789";
    TOggSource src;
    src.Data = reinterpret_cast<const uint8_t*>(bytes);
    src.Size = 10;
    char out[16] = {};
    struct Row {
        int64_t at;
        size_t size, count, result;
        int64_t after;
    };
    const Row rows[] = {
        {0, 3, 5, 3, 9},   {9, 3, 1, 0, 9},  {8, 1, 5, 2, 10},  {0, 0, 5, 0, 0},         {0, 5, 0, 0, 0},
        {0, 10, 1, 1, 10}, {0, 11, 1, 0, 0}, {10, 1, 1, 0, 10}, {0, 2, SIZE_MAX, 5, 10}, // a product that would
                                                                                         // overflow
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "at " << r.at << " size " << r.size << " count " << r.count);
        src.Position = r.at;
        EXPECT_EQ(OggMemRead(out, r.size, r.count, &src), r.result);
        EXPECT_EQ(src.Position, r.after);
        if (r.result > 0) {
            EXPECT_EQ(std::memcmp(out, bytes + r.at, r.result * r.size), 0);
        }
    }
}

TEST(SoundOggMemoryTest, SeekStaysInsideTheData)
{
    TOggSource src;
    const uint8_t bytes[10] = {};
    src.Data = bytes;
    src.Size = 10;
    struct Row {
        int64_t at, offset;
        int origin;
        int result;
        int64_t after;
    };
    const Row rows[] = {
        {5, 0, SEEK_SET, 0, 0},          {5, 10, SEEK_SET, 0, 10},        {5, 11, SEEK_SET, -1, 5},
        {5, -1, SEEK_SET, -1, 5},        {5, -2, SEEK_CUR, 0, 3},         {5, 6, SEEK_CUR, -1, 5},
        {5, -6, SEEK_CUR, -1, 5},        {5, 0, SEEK_END, 0, 10},         {5, -10, SEEK_END, 0, 0},
        {5, -11, SEEK_END, -1, 5},       {5, 1, SEEK_END, -1, 5},         {5, 0, 7, -1, 5},
        {5, INT64_MIN, SEEK_CUR, -1, 5}, {5, INT64_MAX, SEEK_END, -1, 5},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.at << " " << r.offset << " " << r.origin);
        src.Position = r.at;
        EXPECT_EQ(OggMemSeek(&src, r.offset, r.origin), r.result);
        EXPECT_EQ(src.Position, r.after);
        EXPECT_EQ(OggMemTell(&src), r.after);
    }
    src.Position = 7;
    EXPECT_EQ(OggMemClose(&src), 0);
    EXPECT_EQ(src.Position, 0);
}

// ---------------------------------------------------------------------------
// Static playback through the mixer

TEST_F(SoundTest, StaticSoundsFollowTheBufferRules)
{
    int32_t id = 0;
    ASSERT_GT(WAV_LoadSound(Write("r.wav", Wav16(Ramp(1000))), id, 1, false), 0);
    TDirectSoundBuffer* b = GlobalSounds[id].Buffer;
    struct Step {
        const char* name;
        int action; // 0 render, 1 play, 2 play with restart, 3 stop
        bool loop;
        uint32_t frames;
        bool playing;
        uint32_t cursor;
    };
    const Step steps[] = {
        {"play", 1, false, 0, true, 0},
        {"run", 0, false, 100, true, 200},
        {"play again continues", 1, false, 0, true, 200},
        {"restart rewinds", 2, false, 0, true, 0},
        {"run", 0, false, 300, true, 600},
        {"stop keeps the cursor", 3, false, 0, false, 600},
        {"stopped", 0, false, 100, false, 600},
        {"play resumes", 1, false, 0, true, 600},
        {"run to the end", 0, false, 800, false, 0},
        {"restart of a stopped one plays", 2, false, 0, true, 0},
        {"run", 0, false, 900, true, 1800},
        {"loop flag taken while playing", 1, true, 0, true, 1800},
        {"wraps", 0, false, 200, true, 200},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        switch (s.action) {
        case 0:
            Render(s.frames);
            break;
        case 1:
            Sound_Play(id, false, s.loop);
            break;
        case 2:
            Sound_Play(id, true, s.loop);
            break;
        case 3:
            Sound_Stop(id);
            break;
        }
        EXPECT_EQ(BufferPlaying(b), s.playing);
        EXPECT_EQ(BufferCursor(b), s.cursor);
    }
    // Ids of 0, below 0 or past the table are ignored.
    Sound_Play(0, true, false);
    Sound_Play(-1, true, false);
    Sound_Play(SOUND_SLOT_COUNT + 1, true, false);
    Sound_Stop(0);
    Sound_SetVolume(-1, 10);
    EXPECT_EQ(GetEngineErrorText(), "");
}

TEST_F(SoundTest, DuplicatesShareTheSamplesButNotTheFade)
{
    int32_t id = 0;
    ASSERT_GT(WAV_LoadSound(Write("c.wav", Wav16(std::vector<int16_t>(4410, 10000))), id, 7, false), 0);
    Sound_SetVolume(id, 1000);
    Sound_AddFade(SoundTestNow, 1000, 1000, 900, id);
    SoundTestNow += 1;
    Sound_Update();
    ASSERT_NE(GlobalSounds[id].Fade, nullptr);

    const int32_t dup = Sound_Duplicate(id);
    ASSERT_GT(dup, id);
    const TGlobalSound& d = GlobalSounds[dup];
    EXPECT_EQ(d.Fade, nullptr);
    EXPECT_EQ(d.Group, 7);
    EXPECT_EQ(d.Volume, GlobalSounds[id].Volume);
    EXPECT_EQ(d.DataSize, 8820);
    EXPECT_EQ(d.FileName, GlobalSounds[id].FileName);
    EXPECT_EQ(BufferVolume(d.Buffer), BufferVolume(GlobalSounds[id].Buffer));

    // The original's fade ends and is freed; a fade on the copy still works.
    SoundTestNow += 2000;
    Sound_Update();
    EXPECT_EQ(FadeList.Next, nullptr);
    Sound_AddFade(SoundTestNow, 1000, 1000, 0, dup);
    SoundTestNow += 500;
    Sound_Update();
    EXPECT_EQ(GlobalSounds[dup].Volume, 500);
    EXPECT_EQ(GlobalSounds[dup].Fade, FadeList.Next);

    // Played together they sum.
    Sound_SetVolume(id, 1000);
    Sound_SetVolume(dup, 1000);
    Sound_Play(id, true, false);
    const int16_t one = Render(1)[0];
    EXPECT_NEAR(one, 9605, 1);
    Sound_Play(dup, true, false);
    EXPECT_NEAR(Render(1)[0], 2 * one, 1);
    EXPECT_EQ(BufferCursor(GlobalSounds[id].Buffer), 4u);
    EXPECT_EQ(BufferCursor(d.Buffer), 2u);

    EXPECT_EQ(Sound_Duplicate(0), 0);
    int32_t stream = 0;
    Sound_OpenStream(Write("s.ogg", EncodeOgg(Sine(1, 22050, 2205, 440), 1, 22050)), stream, 1);
    ASSERT_GT(stream, 0);
    EXPECT_EQ(Sound_Duplicate(stream), 0);
}

TEST_F(SoundTest, LosingTheFocusSilencesPlayingSounds)
{
    int32_t id = 0;
    ASSERT_GT(WAV_LoadSound(Write("c.wav", Wav16(std::vector<int16_t>(4410, 5000))), id, 1, false), 0);
    Sound_Play(id, true, true);
    EXPECT_NE(Render(1)[0], 0);
    DSound_SetFocus(false);
    for (int16_t s : Render(100))
        ASSERT_EQ(s, 0);
    EXPECT_EQ(BufferCursor(GlobalSounds[id].Buffer), 202u);
    DSound_SetFocus(true);
    EXPECT_NE(Render(1)[0], 0);
}

TEST_F(SoundTest, CheckStopsWithTheResultText)
{
    Sound_Check(DS_OK, "Never");
    EXPECT_EQ(GetEngineErrorText(), "");
    EXPECT_THROW(Sound_Check(DSERR_BUFFERLOST, "Sound.Lock"), TSoundFatalStop);
    EXPECT_EQ(GetEngineErrorText(),
              "\n\rSound.Lock: The buffer memory has been lost and must be restored. -> DIRECTSOUND INTERNAL ERROR");
}

TEST(SoundNoDeviceTest, NothingLoadsBeforeTheDevice)
{
    TTempFolder folder;
    folder.WriteFile("a.wav", SoundFiles::Wav16({1, 2, 3, 4}));
    int32_t id = -1;
    EXPECT_EQ(WAV_LoadSound(folder.ProgramPath() + "a.wav", id, 1, false), 0);
    EXPECT_EQ(id, 0);
    Sound_Play(1, true, false);
    Sound_Update();
}

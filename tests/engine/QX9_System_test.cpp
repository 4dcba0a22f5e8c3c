// The engine clock, the random generator, CRC-32, image buffers, the date
// codec, the x87 helpers and the start-up globals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "engine/QX9_System.h"

namespace {

// ---------------------------------------------------------------------------
// Engine clock, driven by a fake multimedia timer.

uint32_t FakeNow = 0;
uint32_t FakeTimer()
{
    return FakeNow;
}

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OS_SetTimeSource(&FakeTimer);
        FakeNow = 100000;
        ClockStart = 0;
        ClockSavedStart = 0;
        ClockPaused = false;
        ClockPausedValue = 0;
        ClockLast = 0;
    }
    void TearDown() override
    {
        ClockPaused = false;
        ClockStart = 0;
        OS_SetTimeSource(nullptr);
    }
};

TEST_F(ClockTest, PauseFreezesAndResumeContinuesFromTheFrozenValue)
{
    EXPECT_EQ(GetTimeMs(true), 100000);

    PauseTimer();
    FakeNow += 200;
    EXPECT_EQ(GetTimeMs(true), 100000);
    FakeNow += 100;
    PauseTimer(); // already paused: changes nothing
    FakeNow += 200;
    EXPECT_EQ(GetTimeMs(true), 100000);

    ResumeTimer();
    EXPECT_EQ(GetTimeMs(true), 100000);
    FakeNow += 250;
    // 500 ms behind the raw timer from now on.
    EXPECT_EQ(GetTimeMs(true), 100250);
    EXPECT_EQ(static_cast<int32_t>(FakeNow) - GetTimeMs(true), 500);

    ResumeTimer(); // not paused: changes nothing
    EXPECT_EQ(GetTimeMs(true), 100250);

    // A second pause adds its span.
    PauseTimer();
    FakeNow += 300;
    ResumeTimer();
    EXPECT_EQ(static_cast<int32_t>(FakeNow) - GetTimeMs(true), 800);
}

TEST_F(ClockTest, UnsampledReadReturnsTheLastSample)
{
    EXPECT_EQ(GetTimeMs(true), 100000);
    FakeNow += 40;
    EXPECT_EQ(GetTimeMs(false), 100000);
    EXPECT_EQ(GetTimeMs(true), 100040);
    EXPECT_EQ(ClockLast, 100040);
}

TEST_F(ClockTest, PauseAcrossTheTimersWrapContinuesSmoothly)
{
    FakeNow = 0xFFFFFF00u;
    const int32_t frozen = GetTimeMs(true);
    PauseTimer();
    FakeNow = 0x100u; // the 32-bit timer wrapped during the pause
    ResumeTimer();
    EXPECT_EQ(GetTimeMs(true), frozen);
    FakeNow += 10;
    EXPECT_EQ(GetTimeMs(true), frozen + 10);
}

// ---------------------------------------------------------------------------
// Random generator

class RandomTest : public ::testing::Test {
protected:
    void SetUp() override { RandomSeed = 0; }
};

TEST_F(RandomTest, SequenceFromSeedZero)
{
    const int32_t drawn[] = {38, 7719, 21238, 2437, 8855};
    for (int32_t expected : drawn) {
        EXPECT_EQ(RandomInt(32768), expected);
    }

    RandomSeed = 0;
    const int32_t mod100[] = {38, 19, 38, 37, 55};
    for (int32_t expected : mod100) {
        EXPECT_EQ(RandomInt(100), expected);
    }

    RandomSeed = 0;
    EXPECT_EQ(RandomInt(100), 38);
    EXPECT_EQ(RandomSeed, 2531011u);
}

TEST_F(RandomTest, ZeroAndNegativeRanges)
{
    EXPECT_EQ(RandomInt(0), 0);
    EXPECT_EQ(RandomSeed, 2531011u); // still advanced
    EXPECT_EQ(RandomInt(0), 0);
    EXPECT_NE(RandomSeed, 2531011u);

    RandomSeed = 0;
    EXPECT_EQ(RandomInt(-100), 38);
    for (int i = 0; i < 10000; ++i) {
        const int32_t v = RandomInt(-7);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 7);
    }
}

TEST_F(RandomTest, FloatsInStepsOfATenThousandthIncludingOne)
{
    EXPECT_EQ(RandomFloat(), 0.0038f);
    bool sawOne = false;
    for (int i = 0; i < 1000000 && !sawOne; ++i) {
        const float v = RandomFloat();
        ASSERT_GE(v, 0.0f);
        ASSERT_LE(v, 1.0f);
        const int32_t steps = static_cast<int32_t>(v * 10000.0f + 0.5f);
        ASSERT_EQ(static_cast<float>(steps) / 10000.0f, v);
        sawOne = v == 1.0f;
    }
    EXPECT_TRUE(sawOne);
}

TEST_F(RandomTest, RandomizeSeedChangesTheSeed)
{
    RandomizeSeed();
    const uint32_t first = RandomSeed;
    RandomizeSeed();
    EXPECT_NE(RandomSeed, first);
}

TEST(RandomThreadTest, ThreadsDrawFromOneSequence)
{
    constexpr int ThreadCount = 4;
    constexpr int PerThread = 5000;
    RandomSeed = 0;
    std::vector<int32_t> expected;
    for (int i = 0; i < ThreadCount * PerThread; ++i) {
        expected.push_back(RandomInt(32768));
    }

    RandomSeed = 0;
    std::vector<std::vector<int32_t>> drawn(ThreadCount);
    std::vector<std::thread> threads;
    for (int t = 0; t < ThreadCount; ++t) {
        threads.emplace_back([&drawn, t] {
            for (int i = 0; i < PerThread; ++i) {
                drawn[t].push_back(RandomInt(32768));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::vector<int32_t> all;
    for (const auto& part : drawn) {
        all.insert(all.end(), part.begin(), part.end());
    }
    // No draw lost or repeated: the same values as one thread drawing alone.
    std::sort(all.begin(), all.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(all, expected);
}

// ---------------------------------------------------------------------------
// CRC-32: the caller gives the start value and the final inversion.

TEST(Crc32Update, StandardCheckValues)
{
    struct Row {
        const char* text;
        uint32_t expected;
    };
    const Row rows[] = {
        {"123456789", 0xCBF43926u},
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
    };
    for (const Row& row : rows) {
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t i = 0; i < std::strlen(row.text); ++i) {
            crc = Crc32Update(static_cast<uint8_t>(row.text[i]), crc);
        }
        EXPECT_EQ(~crc, row.expected) << "text '" << row.text << "'";
    }
    EXPECT_EQ(Crc32Update(0, 0), 0u);
}

// ---------------------------------------------------------------------------
// Image buffer

TEST(ImageBuffer, ZeroedRowsOneAfterAnother)
{
    TImageBuffer* buffer = CreateImageBuffer(3, 2, 32);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->Width, 3);
    EXPECT_EQ(buffer->Height, 2);
    EXPECT_EQ(buffer->BitsPerPixel, 32);
    ASSERT_NE(buffer->Data, nullptr);
    for (int i = 0; i < 3 * 2 * 4; ++i) {
        EXPECT_EQ(buffer->Data[i], 0) << "byte " << i;
    }
    EXPECT_EQ(ImageBufferPixel(buffer, 0, 0), buffer->Data);
    EXPECT_EQ(ImageBufferPixel(buffer, 2, 1), buffer->Data + 20);
    // Outside the buffer there is no pixel to write to.
    EXPECT_EQ(ImageBufferPixel(buffer, 3, 0), nullptr);
    EXPECT_EQ(ImageBufferPixel(buffer, 0, 2), nullptr);
    EXPECT_EQ(ImageBufferPixel(buffer, -1, 0), nullptr);
    FreeImageBuffer(buffer);
    EXPECT_EQ(buffer, nullptr);
    FreeImageBuffer(buffer); // none: nothing happens

    TImageBuffer* rgb = CreateImageBuffer(5, 4, 24);
    EXPECT_EQ(ImageBufferPixel(rgb, 1, 1), rgb->Data + 18);
    FreeImageBuffer(rgb);

    TImageBuffer* empty = CreateImageBuffer(0, 10, 32);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->Data, nullptr);
    EXPECT_EQ(ImageBufferPixel(empty, 0, 0), nullptr);
    FreeImageBuffer(empty);
    TImageBuffer* negative = CreateImageBuffer(-4, 3, 32);
    EXPECT_EQ(negative->Data, nullptr);
    FreeImageBuffer(negative);
}

// ---------------------------------------------------------------------------
// Date codec

TEST(DateCodec, EncodesAndDecodesThe372DayCalendar)
{
    struct Row {
        int32_t year, month, day, hour, minute, second, millisecond;
        int64_t expected; // -1: only the round trip is checked
    };
    const Row rows[] = {
        {2000, 1, 1, 0, 0, 0, 0, 0},         {2001, 1, 1, 0, 0, 0, 0, 32140800000LL},
        {2000, 1, 1, 0, 0, 1, 7, 1007},      {2000, 2, 1, 0, 0, 0, 0, 31LL * 86400000},
        {2024, 12, 31, 23, 59, 59, 999, -1}, {2066, 12, 31, 23, 59, 59, 999, -1}, // past 2^31 seconds
        {2070, 6, 15, 12, 30, 0, 500, -1},   {2500, 3, 31, 1, 2, 3, 4, -1},
    };
    for (const Row& row : rows) {
        const int64_t stamp =
            EncodeDateTimeMs(row.year, row.month, row.day, row.hour, row.minute, row.second, row.millisecond);
        if (row.expected >= 0) {
            EXPECT_EQ(stamp, row.expected) << "year " << row.year;
        }
        int32_t y, mo, d, h, mi, s, ms;
        DecodeDateTimeMs(stamp, y, mo, d, h, mi, s, ms);
        EXPECT_EQ(y, row.year);
        EXPECT_EQ(mo, row.month);
        EXPECT_EQ(d, row.day);
        EXPECT_EQ(h, row.hour);
        EXPECT_EQ(mi, row.minute);
        EXPECT_EQ(s, row.second);
        EXPECT_EQ(ms, row.millisecond) << "year " << row.year;
    }
}

TEST(DateCodec, YearsBefore2000AreZeroAndLaterDatesOrdered)
{
    EXPECT_EQ(EncodeDateTimeMs(1999, 12, 31, 23, 59, 59, 999), 0);
    EXPECT_EQ(EncodeDateTimeMs(1999, 1, 1, 0, 0, 0, 0), 0);
    EXPECT_EQ(EncodeDateTimeMs(0, 5, 5, 5, 5, 5, 5), 0);

    const int64_t in2060 = EncodeDateTimeMs(2060, 1, 1, 0, 0, 0, 0);
    const int64_t late2066 = EncodeDateTimeMs(2066, 12, 31, 23, 59, 59, 0);
    const int64_t in2067 = EncodeDateTimeMs(2067, 1, 1, 0, 0, 0, 0);
    const int64_t in2070 = EncodeDateTimeMs(2070, 1, 1, 0, 0, 0, 0);
    EXPECT_GT(late2066, in2060);
    EXPECT_GT(in2067, late2066);
    EXPECT_GT(in2070, in2067);
    EXPECT_EQ(late2066, 2153433599LL * 1000);

    // Later fields order later stamps.
    EXPECT_LT(EncodeDateTimeMs(2010, 5, 31, 23, 59, 59, 999), EncodeDateTimeMs(2010, 6, 1, 0, 0, 0, 0));
}

// ---------------------------------------------------------------------------
// x87 control word (governs long double)

TEST(FpuControl, PrecisionAndRoundingBitsTakeEffect)
{
#if defined(__x86_64__) || defined(__i386__)
    const uint32_t oldPrecision = SetFpuPrecisionMode(0); // 24-bit mantissa
    volatile long double one = 1.0L;
    volatile long double tiny = 1.0e-10L;
    volatile long double sum = one + tiny;
    EXPECT_EQ(sum, 1.0L);
    EXPECT_EQ(SetFpuPrecisionMode(oldPrecision), 0u);
    sum = one + tiny;
    EXPECT_NE(sum, 1.0L);

    const uint32_t oldRound = SetFpuRoundMode(1); // toward minus infinity
    volatile long double three = 3.0L;
    volatile long double down = one / three;
    SetFpuRoundMode(2); // toward plus infinity
    volatile long double up = one / three;
    EXPECT_EQ(SetFpuRoundMode(oldRound), 2u);
    EXPECT_LT(down, up);

    const uint32_t oldMask = SetFpuExceptionMask(63);
    EXPECT_EQ(SetFpuExceptionMask(oldMask), 63u);
    ClearFpuExceptions();
#else
    GTEST_SKIP() << "no x87 here";
#endif
}

// ---------------------------------------------------------------------------
// Start-up globals and platform helpers

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : Name(name)
    {
        const char* old = std::getenv(name);
        HadOld = old != nullptr;
        if (HadOld) {
            Old = old;
        }
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv()
    {
        if (HadOld) {
            setenv(Name.c_str(), Old.c_str(), 1);
        } else {
            unsetenv(Name.c_str());
        }
    }

private:
    std::string Name;
    std::string Old;
    bool HadOld = false;
};

TEST(SystemInit, SetsTheProgramFolderAndName)
{
    QX9_System_Init();
    QX9_System_Init(); // once only
    ASSERT_FALSE(ExePath.empty());
    EXPECT_EQ(ExePath.back(), '\\');
    EXPECT_EQ(ExeBaseName, "test_engine");
    EXPECT_EQ(ExeBaseName.find('\\'), std::string::npos);
    EXPECT_NE(OS_GetFileAttributes(ExePath + ExeBaseName) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_NE(OS_GetFileAttributes(ExePath + ExeBaseName), INVALID_FILE_ATTRIBUTES);
    EXPECT_GE(SystemInfo.NumberOfProcessors, 1u);
    EXPECT_EQ(TimerPeriod, 1u);
    EXPECT_EQ(UserNameEnv, GetUserNameEnv());
}

TEST(PlatformHelpers, UserNameAndLocalAppDataFolder)
{
    {
        ScopedEnv user("USERNAME", "Hedda");
        EXPECT_EQ(GetUserNameEnv(), "Hedda");
    }
    // A long folder is never cut short.
    const std::string longFolder = "/tmp/" + std::string(400, 'x');
    {
        ScopedEnv data("XDG_DATA_HOME", longFolder.c_str());
        const std::string folder = GetShellFolder(CSIDL_LOCAL_APPDATA);
        EXPECT_EQ(folder, OS_ToProgramPath(longFolder));
    }
    EXPECT_EQ(GetShellFolder(CSIDL_LOCAL_APPDATA), OS_GetLocalAppDataFolder());
    EXPECT_EQ(GetShellFolder(5), "");
}

} // namespace

// The fatal-error path: collected lines, the stop hook, and the real stop that
// runs the shut-down once and ends the program with the "ERRORS:" text.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/QX9_System.h"
#include "tests/support/FatalStop.h"

namespace {

using FatalErrorTest = TFatalStopTest;

TEST_F(FatalErrorTest, AppendsOneLinePerErrorAndStops)
{
    EXPECT_THROW(FatalError("TIniFile.Load", "data\\x.ini", "FILE NOT FOUND!"), TFatalStopped);
    EXPECT_EQ(GetEngineErrorText(), "\n\rTIniFile.Load(data\\x.ini) -> FILE NOT FOUND!");

    AppendEngineError("TXML.Create(a.xml) -> FILE NOT FOUND!");
    EXPECT_EQ(GetEngineErrorText(),
              "\n\rTIniFile.Load(data\\x.ini) -> FILE NOT FOUND!\n\rTXML.Create(a.xml) -> FILE NOT FOUND!");
    EXPECT_EQ(EngineErrorText, GetEngineErrorText());

    EXPECT_THROW(FatalStop(), TFatalStopped);
    ClearEngineErrorText();
    EXPECT_EQ(GetEngineErrorText(), "");
}

TEST(FatalErrorThreadTest, ConcurrentErrorsKeepEveryLineWhole)
{
    ClearEngineErrorText();
    SetFatalStopHook(&ThrowingStop);
    constexpr int ThreadCount = 8;
    constexpr int PerThread = 250;
    std::atomic<int> stopped{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < ThreadCount; ++t) {
        threads.emplace_back([t, &stopped] {
            for (int i = 0; i < PerThread; ++i) {
                try {
                    FatalError("TLoader.Load", std::to_string(t) + "-" + std::to_string(i), "BROKEN FILE!");
                } catch (const TFatalStopped&) {
                    ++stopped;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    SetFatalStopHook(nullptr);
    EXPECT_EQ(stopped.load(), ThreadCount * PerThread);

    const std::string text = GetEngineErrorText();
    ClearEngineErrorText();
    std::set<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        ASSERT_EQ(text.compare(at, 2, "\n\r"), 0) << "at byte " << at;
        at += 2;
        const size_t next = text.find("\n\r", at);
        const std::string line = text.substr(at, next == std::string::npos ? std::string::npos : next - at);
        EXPECT_TRUE(lines.insert(line).second) << "twice: " << line;
        at = next == std::string::npos ? text.size() : next;
    }
    ASSERT_EQ(lines.size(), static_cast<size_t>(ThreadCount * PerThread));
    for (int t = 0; t < ThreadCount; ++t) {
        for (int i = 0; i < PerThread; ++i) {
            const std::string line =
                "TLoader.Load(" + std::to_string(t) + "-" + std::to_string(i) + ") -> BROKEN FILE!";
            EXPECT_EQ(lines.count(line), 1u) << line;
        }
    }
}

// ---------------------------------------------------------------------------
// The real stop, in a child process.

void FirstStep()
{
    std::fprintf(stderr, "first step\n");
}

void SecondStep()
{
    std::fprintf(stderr, "second step\n");
}

void FailingStep()
{
    FatalError("TSound.Close", "device", "STUCK!");
}

void StepWhileAnotherThreadFails()
{
    std::thread([] { FatalError("TLoader.Run", "map.bin", "BAD MAP!"); }).detach();
    while (GetEngineErrorText().find("BAD MAP!") == std::string::npos) {
        OS_SleepMs(1);
    }
}

void PrepareRealStop()
{
    setenv("DUSKMARCH_HEADLESS", "1", 1);
    SetFatalStopHook(nullptr);
    ClearEngineErrorText();
    QX9_System_Init();
}

TEST(FatalErrorDeathTest, EndsWithTheErrorsTextOnStderrAfterTheShutdownSteps)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            PrepareRealStop();
            AddUnitShutdown(&FirstStep);
            AddUnitShutdown(&SecondStep);
            FatalError("TXML.Create", "missing.xml", "FILE NOT FOUND!");
        },
        ::testing::ExitedWithCode(1),
        "second step.*first step.*ERRORS:.*TXML\\.Create\\(missing\\.xml\\) -> FILE NOT FOUND!");
}

TEST(FatalErrorDeathTest, AFailingShutdownStepStillEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            PrepareRealStop();
            AddUnitShutdown(&FailingStep);
            FatalError("TPack.Open", "a.pak", "BAD HEADER!");
        },
        ::testing::ExitedWithCode(1), "ERRORS:.*TPack\\.Open\\(a\\.pak\\) -> BAD HEADER!.*TSound\\.Close\\(device\\)");
}

TEST(FatalErrorDeathTest, ASecondThreadsErrorJoinsTheFirstStop)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            PrepareRealStop();
            AddUnitShutdown(&StepWhileAnotherThreadFails);
            FatalError("TRender.Init", "device", "NO DEVICE!");
        },
        ::testing::ExitedWithCode(1),
        "ERRORS:.*TRender\\.Init\\(device\\) -> NO DEVICE!.*TLoader\\.Run\\(map\\.bin\\)");
}

TEST(FatalErrorDeathTest, AStepFailingInTheNormalShutdownShowsItsError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            PrepareRealStop();
            AddUnitShutdown(&FailingStep);
            QX9_System_Shutdown();
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(1), "ERRORS:.*TSound\\.Close\\(device\\) -> STUCK!");
}

TEST(FatalErrorDeathTest, CleanShutdownWithoutErrorsShowsNothing)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            PrepareRealStop();
            AddUnitShutdown(&FirstStep);
            QX9_System_Shutdown();
            QX9_System_Shutdown(); // once only
            std::fprintf(stderr, "end\n");
            std::fflush(stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "^first step\nend\n$");
}

} // namespace

#include "crashreport/assistants/zorNVPrgrAlert.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

struct TShownAlert {
    std::shared_ptr<TRecordingProgressSink> Sink = std::make_shared<TRecordingProgressSink>();
    TIProgressAlert Alert{u"Sending bug report...", 0, u"ZXISEND32", Sink};
};

TEST(ZorProgress, TheBarWeighsTheAreas)
{
    TShownAlert shown;
    TIProgressAlert& alert = shown.Alert;
    alert.AddProgressArea(u"Preparing attachments...", 1000);
    alert.AddProgressArea(u"Sending mail...", 3000);
    EXPECT_TRUE(alert.ShowAlert(0, true));
    alert.SetProgressPosition(500);
    EXPECT_EQ(shown.Sink->LastBar(), 125);
    alert.NextProgressArea();
    EXPECT_EQ(shown.Sink->LastBar(), 250);
    alert.SetProgressPosition(500);
    EXPECT_EQ(shown.Sink->LastBar(), 625);
    EXPECT_EQ(alert.CurrentArea(), 1);
    // Past the last area: all done.
    alert.NextProgressArea();
    EXPECT_EQ(shown.Sink->LastBar(), 1000);
    EXPECT_EQ(alert.CurrentArea(), 1);
    EXPECT_EQ(alert.Position(), 1000);
    EXPECT_EQ(shown.Sink->Texts(),
              (std::vector<std::u16string>{u"Preparing attachments...", u"Sending mail...", u"Sending mail..."}));

    // A small first share is truncated away.
    TIProgressAlert small(u"t", 0, u"", std::make_shared<TRecordingProgressSink>());
    small.AddProgressArea(u"a", 1);
    small.AddProgressArea(u"b", 3);
    small.SetProgressPosition(500);
    EXPECT_EQ(small.BarValue(), 0);
    small.SetProgressPosition(2000); // kept inside 0..1000
    EXPECT_EQ(small.Position(), 1000);
    EXPECT_EQ(small.BarValue(), 250);
    // Weights too large for 64-bit products still give the right share.
    TIProgressAlert huge(u"t", 0, u"", std::make_shared<TRecordingProgressSink>());
    huge.AddProgressArea(u"a", uint64_t(1) << 62);
    huge.AddProgressArea(u"b", uint64_t(1) << 62);
    huge.SetProgressPosition(500);
    EXPECT_EQ(huge.BarValue(), 250);
    // Without areas the position is the bar.
    huge.ClearProgressAreas();
    huge.SetProgressPosition(300);
    EXPECT_EQ(huge.BarValue(), 300);
}

TEST(ZorProgress, SelectingAreas)
{
    TShownAlert shown;
    TIProgressAlert& alert = shown.Alert;
    alert.SelectProgressArea(0);
    alert.SelectProgressArea(1); // no areas yet: the count is 0
    EXPECT_EQ(alert.CurrentArea(), 0);
    alert.AddProgressArea(u"one", 10);
    alert.AddProgressArea(u"", 10); // repeats "one"
    alert.AddProgressArea(u"three", 10);
    EXPECT_EQ(alert.Areas()[1].Text, u"one");
    EXPECT_EQ(alert.Areas()[2].Start, 20u);
    alert.SelectProgressArea(2);
    alert.SetProgressPosition(400);
    alert.SelectProgressArea(4); // above the count
    alert.SelectProgressArea(-1);
    alert.SelectProgressArea(2); // the current one
    EXPECT_EQ(alert.CurrentArea(), 2);
    EXPECT_EQ(alert.Position(), 400);
    alert.SelectProgressArea(3);
    EXPECT_EQ(alert.CurrentArea(), 2);
    EXPECT_EQ(alert.Position(), 1000);
    // An empty first area stays empty.
    TIProgressAlert other(u"t", 0, u"", std::make_shared<TRecordingProgressSink>());
    other.AddProgressArea(u"", 1);
    EXPECT_EQ(other.Areas()[0].Text, u"");
}

TEST(ZorProgress, ShowingAndClosing)
{
    TShownAlert shown;
    TIProgressAlert& alert = shown.Alert;
    alert.SetProgressTitle(u"Sending bug report..."); // unchanged: nothing
    alert.SetProgressPosition(100);                   // not shown: nothing shown
    EXPECT_TRUE(shown.Sink->Events().empty());
    EXPECT_TRUE(alert.ShowAlert(0, false));
    EXPECT_FALSE(alert.ShowAlert(0, false));
    ASSERT_EQ(alert.Areas().size(), 1u);
    EXPECT_EQ(alert.Areas()[0].Text, u"Please wait...");
    EXPECT_EQ(alert.Areas()[0].Weight, 1000u);
    alert.SetProgressTitle(u"Other");
    EXPECT_EQ(alert.Title(), u"Other");
    alert.PumpProgressMessages();
    alert.CloseAlert();
    alert.CloseAlert();
    EXPECT_TRUE(alert.ShowAlert(0, true));
    using K = TRecordingProgressSink::TEventKind;
    std::vector<K> kinds;
    for (const auto& e : shown.Sink->Events())
        kinds.push_back(e.Kind);
    EXPECT_EQ(kinds, (std::vector<K>{K::Shown, K::Text, K::Bar, K::Title, K::Closed, K::Shown, K::Text, K::Bar}));
    EXPECT_EQ(shown.Sink->Events()[0].Text, u"Sending bug report...");
    EXPECT_EQ(shown.Sink->Events()[2].Value, 100);
}

TEST(ZorProgress, SinksComeFromTheFactory)
{
    auto sink = std::make_shared<TRecordingProgressSink>();
    SetProgressSinkFactory([&] { return sink; });
    auto alert = CreateProgressWindow(u"Information", 0, u"ZXIPLWAIT");
    SetProgressSinkFactory(nullptr);
    alert->ShowAlert(0, true);
    alert.reset(); // going closes the window
    ASSERT_FALSE(sink->Events().empty());
    EXPECT_EQ(sink->Events().back().Kind, TRecordingProgressSink::TEventKind::Closed);
}

TEST(ZorProgress, TheConsoleSinkWritesALinePerText)
{
    char path[] = "/tmp/zorprogress-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(fd, STDERR_FILENO);
    {
        auto alert = CreateProgressWindow(u"Information", 0, u"");
        alert->AddProgressArea(u"Please wait a moment...", 1);
        alert->AddProgressArea(u"Almost there", 1);
        alert->ShowAlert(0, true);
        alert->SetProgressPosition(500);
        alert->NextProgressArea();
    }
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(fd);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    unlink(path);
    EXPECT_EQ(text.str(), "Information: Please wait a moment...\nInformation: Almost there\n");
}

TEST(ProgressThreadTest, AnyThreadDrivesTheWindow)
{
    TShownAlert shown;
    TIProgressAlert& alert = shown.Alert;
    for (int i = 0; i < 4; ++i)
        alert.AddProgressArea(u"area", 250);
    alert.ShowAlert(0, true);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            while (!go) {
            }
            for (int i = 0; i <= 1000; i += 10) {
                alert.SetProgressPosition(i);
                if (i % 250 == 0)
                    alert.SelectProgressArea((t + i / 250) % 4);
                alert.PumpProgressMessages(); // not the window's thread: nothing
            }
        });
    go = true;
    for (auto& t : threads)
        t.join();
    for (int32_t bar : shown.Sink->Bars()) {
        EXPECT_GE(bar, 0);
        EXPECT_LE(bar, 1000);
    }
    alert.NextProgressArea();
    alert.SelectProgressArea(4);
    EXPECT_EQ(shown.Sink->LastBar(), 1000);
}

} // namespace

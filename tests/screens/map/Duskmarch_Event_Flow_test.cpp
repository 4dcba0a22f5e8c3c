// The flow of the story event window without its drawing: pages, answers,
// choice lists with follow-ups, yes/no keys, and a clock flight that a
// dialogue interrupts.
#include "screens/map/Duskmarch_Event.h"

#include <gtest/gtest.h>

#include "model/story/StoryEvents.h"
#include "platform/os/OS.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/map/Duskmarch_EventText.h"
#include "screens/map/Duskmarch_MapScript.h"
#include "tests/support/WorldBuilder.h"

namespace {

uint32_t Now = 200000;
uint32_t TestTime()
{
    return Now;
}

enum : int32_t { PagesEvent = 1, YesNoEvent = 2, ChoiceEvent = 3, FollowUpA = 4, FollowUpB = 5, PlainEvent = 6 };

void AddEvent(int32_t e, uint8_t form, int32_t stages, const std::u16string& text,
              std::vector<std::u16string> captions = {})
{
    TStoryEvent& record = StoryEvents[static_cast<size_t>(e)];
    record = TStoryEvent{};
    record.Form = form;
    record.HasText = 1;
    record.RepeatLimit = -1;
    record.StageCount = stages;
    record.Stages.resize(static_cast<size_t>(stages));
    TStoryEventText& texts = StoryEventTexts[static_cast<size_t>(e)];
    texts = TStoryEventText{};
    texts.Text = text;
    texts.Title = u"Title " + std::u16string(1, static_cast<char16_t>(u'0' + e));
    texts.Captions = std::move(captions);
}

class EventFlowTest : public testing::Test {
protected:
    void SetUp() override
    {
        Now = 200000;
        OS_SetTimeSource(TestTime);
        BuildScreenWorld();
        UnitTypeCount = 4;
        StoryEventCount = 6;
        StoryEvents.assign(7, TStoryEvent{});
        StoryEventTexts.assign(7, TStoryEventText{});
        GameEvents.assign(7, TGameEvent{});
        for (TGameEvent& g : GameEvents) {
            g.Stage = -1;
            g.LastClock = -10000;
        }
        FollowUpEvents.assign(7, TIntArray{});
        AddEvent(PagesEvent, 0, 1, u"<p=hero>One page<p=author>Two pages<p=hero>Three pages");
        AddEvent(YesNoEvent, 1, 2, u"Shall we ride?");
        AddEvent(ChoiceEvent, 2, 2, u"Which road?", {u"North", u"South"});
        AddEvent(FollowUpA, 0, 1, u"The first road.");
        AddEvent(FollowUpB, 0, 1, u"The second road.");
        AddEvent(PlainEvent, 0, 1, u"Nothing but rain.");
        ResetMapScript();
        CurrentStoryEvent = 0;
        ContinueStage = 0;
        EventWindowShown = 0;
        EventWindowHooks = TEventWindowHooks{};
        MapFrozen = 0;
        InstallEventScreen();
    }
    void TearDown() override
    {
        ResetMapScript();
        ResetPlayServices();
        CurrentStoryEvent = 0;
        ContinueStage = 0;
        EventWindowShown = 0;
        StoryEvents.clear();
        StoryEventTexts.clear();
        GameEvents.clear();
        FollowUpEvents.clear();
        StoryEventCount = 0;
        MapFrozen = 0;
        OS_SetTimeSource(nullptr);
    }
    static void Request(int32_t e)
    {
        CurrentStoryEvent = -e;
        EventScreen_OpenNextEvent();
    }
};

TEST_F(EventFlowTest, ThreePagesThenTheAnswer)
{
    Request(PagesEvent);
    ASSERT_EQ(EventWindowShown, 1);
    EXPECT_EQ(MapFrozen, 1);
    EXPECT_EQ(CurrentEventPage, 0);
    EXPECT_EQ(DialoguePages.size(), 3u);
    EventScreen_Key(false);
    EXPECT_EQ(CurrentEventPage, 1);
    EventScreen_Key(true); // Esc also goes on: a plain event
    EXPECT_EQ(CurrentEventPage, 2);
    EXPECT_EQ(GameEvents[PagesEvent].TimesFired, 0);
    EventScreen_Next(nullptr);
    EXPECT_EQ(EventWindowShown, 0);
    EXPECT_EQ(LastAnsweredEvent, PagesEvent);
    EXPECT_EQ(EventStage, 0);
    EXPECT_EQ(GameEvents[PagesEvent].TimesFired, 1);
    EXPECT_EQ(CurrentStoryEvent, 0) << "nothing else is due";
    EXPECT_EQ(MapFrozen, 0);
}

TEST_F(EventFlowTest, YesNoKeysAnswerYesAndNo)
{
    struct Row {
        bool Escape;
        int32_t Stage;
    };
    for (const Row row : {Row{false, 0}, Row{true, 1}}) {
        GameEvents[YesNoEvent] = TGameEvent{0, -1, 0, -10000};
        Request(YesNoEvent);
        ASSERT_EQ(EventWindowShown, 1);
        EXPECT_EQ(EventAnswerMode, AnswerYesNo);
        EXPECT_EQ(CurrentEventPage, -1) << "a text without speakers is one page-less page";
        EventScreen_Key(row.Escape);
        EXPECT_EQ(EventStage, row.Stage);
        EXPECT_EQ(GameEvents[YesNoEvent].Stage, row.Stage);
        EXPECT_EQ(EventWindowShown, 0);
    }
    Request(PlainEvent);
    EXPECT_EQ(EventAnswerMode, AnswerContinue);
}

TEST_F(EventFlowTest, ChoiceItemsMapToFollowUpsLastToFirstThenAnswers)
{
    const TIntArray followUps{FollowUpA, FollowUpB};
    const struct {
        int32_t Item, FollowUp, Stage;
    } rows[] = {{0, FollowUpB, 0}, {1, FollowUpA, 0}, {2, 0, 0}, {3, 0, 1}, {-1, 0, 0}};
    for (const auto& row : rows) {
        const TChoiceTarget target = ChoiceTarget(row.Item, followUps);
        EXPECT_EQ(target.FollowUp, row.FollowUp) << row.Item;
        EXPECT_EQ(target.Stage, row.Stage) << row.Item;
    }
}

TEST_F(EventFlowTest, ChoiceListStartsTheChosenFollowUpOrAppliesAnAnswer)
{
    Request(ChoiceEvent);
    ASSERT_EQ(EventChoices.size(), 2u);
    EXPECT_EQ(EventChoices[0], u"North");
    // The follow-ups the list offers, as the world model found them due.
    EventChoiceFollowUps = {FollowUpA, FollowUpB};
    EventChoiceSelection = 0;
    EventScreen_Next(nullptr);
    EXPECT_EQ(CurrentStoryEvent, FollowUpB);
    EXPECT_EQ(EventWindowShown, 1) << "the follow-up opens at the close";
    EXPECT_EQ(GameEvents[ChoiceEvent].TimesFired, 0) << "the choice list's own results wait";
    EventScreen_Next(nullptr);

    Request(ChoiceEvent);
    EventChoiceFollowUps = {FollowUpA, FollowUpB};
    EventChoiceSelection = 3;
    EventScreen_Next(nullptr);
    EXPECT_EQ(EventStage, 1);
    EXPECT_EQ(GameEvents[ChoiceEvent].Stage, 1);
}

TEST_F(EventFlowTest, DialogueInterruptsAClockFlightThatResumesAfterIt)
{
    GameClock = 100000;
    AddMapScriptAction(MapScriptClockFlight, 90, 2000, 0);
    RunMapScript();
    ASSERT_EQ(ClockFlight.On, 1);
    Now += 1900;
    GameClock += 800000;
    Request(PlainEvent);
    ASSERT_EQ(EventWindowShown, 1);
    ASSERT_FALSE(MapScriptQueue.empty());
    EXPECT_EQ(ClockFlight.On, 0);
    EXPECT_EQ(MapScriptQueue.front().Start, 0);
    EXPECT_EQ(MapScriptQueue.front().Duration, 500) << "at least 500 ms";
    EXPECT_EQ(MapScriptQueue.front().Value, 100000) << "the delta still to fly";
}

TEST_F(EventFlowTest, PictureTagsNameAPictureInsideItsFolder)
{
    const struct {
        std::u16string Text;
        std::u16string Picture;
    } rows[] = {
        {u"<image= Swan >The lake at dawn.", u"swan"},
        {u"<image=..\\..\\Config\\Texts>Out of the folder.", u"book_candle"},
        {u"<image=a/b>Out of the folder.", u"book_candle"},
    };
    for (const auto& row : rows) {
        StoryEventTexts[PlainEvent].Text = row.Text;
        Request(PlainEvent);
        EXPECT_EQ(EventImageShown, 1);
        EXPECT_EQ(EventImageName, row.Picture);
        EXPECT_EQ(EventPageText.find(u"<image="), std::u16string::npos);
        EventScreen_Next(nullptr);
    }
    StoryEventTexts[PlainEvent].Text = u"No picture here.";
    Request(PlainEvent);
    EXPECT_EQ(EventImageShown, 0);
}

TEST_F(EventFlowTest, WindowLessChainRunsInOneCallWithItsScriptActions)
{
    // Events 4 and 5 force the next one; 6 locks the map (clicks, input,
    // then a run). None opens the window.
    for (int32_t e : {FollowUpA, FollowUpB, PlainEvent})
        StoryEvents[static_cast<size_t>(e)].HasText = 0;
    StoryEvents[FollowUpA].Stages[0].Results = {MakeStoryRule(12, 0, 0, 0, 0, FollowUpB)};
    StoryEvents[FollowUpB].Stages[0].Results = {MakeStoryRule(12, 0, 0, 0, 0, PlainEvent)};
    StoryEvents[PlainEvent].Stages[0].Results = {MakeStoryRule(13, 3, 1, 0, 0, 0)};
    Request(FollowUpA);
    EXPECT_EQ(EventWindowShown, 0);
    for (int32_t e : {FollowUpA, FollowUpB, PlainEvent})
        EXPECT_EQ(GameEvents[static_cast<size_t>(e)].TimesFired, 1) << e;
    // The last event's actions: clicks off ran at once, input off and the
    // run wait at the queue.
    EXPECT_EQ(ClicksEnabled, 0);
    ASSERT_EQ(MapScriptQueue.size(), 2u);
    EXPECT_EQ(MapScriptQueue[0].Kind, MapScriptInputOff);
    EXPECT_EQ(MapScriptQueue[1].Kind, MapScriptRun);
}

} // namespace

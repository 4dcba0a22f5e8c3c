// The screen side of story event results: the world model's map effects
// turned into script actions and encounters, the end of the scenario, and
// the results panel's layout.
#include "screens/map/Duskmarch_Event.h"

#include <gtest/gtest.h>

#include "model/story/StoryEvents.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/map/Duskmarch_MapScript.h"
#include "tests/support/WorldBuilder.h"

namespace {

int ScenarioEndOpened = -1;
int JumpCount = 0;

class EventResultsTest : public testing::Test {
protected:
    void SetUp() override
    {
        BuildScreenWorld();
        ResetMapScript();
        MapEffects.clear();
        EncounterList.clear();
        GameEvents.assign(8, TGameEvent{});
        MapStory = TMapStoryData{};
        ScenarioEndOpened = -1;
        JumpCount = 0;
        EventScreenHooks = TEventScreenHooks{};
        EventScreenHooks.OpenScenarioEnd = [](bool next) { ScenarioEndOpened = next ? 1 : 0; };
        EventScreenHooks.JumpToPlayerArmy = [] { ++JumpCount; };
        MapFrozen = 0;
    }
    void TearDown() override
    {
        ResetMapScript();
        EventScreenHooks = TEventScreenHooks{};
        MapStory = TMapStoryData{};
        GameEvents.clear();
        EncounterList.clear();
        MapFrozen = 0;
        CampaignTransfer = 0;
        NextScenarioName.clear();
        EventGoldChange = 0;
        EventItemChanges.clear();
        EventUnitChanges.clear();
    }
};

TEST_F(EventResultsTest, MapEffectsBecomeScriptActions)
{
    struct Expect {
        uint8_t Kind;
        int64_t Value;
        int32_t Duration;
        int32_t Aux;
    };
    struct Row {
        std::vector<TMapEffect> Effects;
        uint8_t OrderKind;
        std::vector<Expect> Actions;
    };
    const Row rows[] = {
        {{{12, 16, 30}, {15, 0, 0}, {16, 0, 0}}, 0, {{12, 300000, 2400, 0}, {15, 0, 1000, 0}, {16, 0, 1000, 0}}},
        {{{12, 16, 60}, {12, 16, 61}, {12, 16, 90}}, 0,
         {{12, 600000, 4800, 0}, {12, 610000, 2000, 0}, {12, 900000, 2000, 0}}},
        {{{7, 0, 0}, {8, 0, 0}, {9, 0, 0}, {10, 0, 0}, {13, 0, 0}, {14, 0, 0}}, 0,
         {{7, 0, 0, 0}, {8, 0, 0, 0}, {9, 0, 0, 0}, {10, 0, 0, 0}, {13, 0, 0, 0}, {14, 0, 0, 0}}},
        {{{11, 0, 0}}, OrderToBuilding, {{11, 5, 1, MarchToBuilding}}},
        {{{11, 0, 0}}, OrderToArmy, {{11, 5, 1, MarchToArmy}}},
        {{{11, 0, 0}}, OrderToPoint, {{11, 5, 1, MarchToPoint}}},
        // Without an order the march has no target.
        {{{11, 0, 0}}, 0, {}},
    };
    for (size_t r = 0; r < std::size(rows); ++r) {
        ResetMapScript();
        GameArmies[PlayerArmy].OrderKind = rows[r].OrderKind;
        GameArmies[PlayerArmy].OrderTarget = 5;
        MapEffects = rows[r].Effects;
        ProcessEventResults();
        EXPECT_TRUE(MapEffects.empty());
        ASSERT_EQ(MapScriptQueue.size(), rows[r].Actions.size()) << "row " << r;
        for (size_t i = 0; i < rows[r].Actions.size(); ++i) {
            const Expect& e = rows[r].Actions[i];
            EXPECT_EQ(MapScriptQueue[i].Kind, e.Kind) << "row " << r << " action " << i;
            EXPECT_EQ(MapScriptQueue[i].Value, e.Value) << "row " << r << " action " << i;
            EXPECT_EQ(MapScriptQueue[i].Duration, e.Duration) << "row " << r << " action " << i;
            EXPECT_EQ(MapScriptQueue[i].Aux, e.Aux) << "row " << r << " action " << i;
        }
    }
}

TEST_F(EventResultsTest, EncountersArmiesAndMovesAreHandledAtOnce)
{
    static int pickState = 0;
    EventScreenHooks.SetPickState = [](int32_t state) { pickState = state; };
    MapEffects = {{4, 10, 1}, {2, 0, 0}, {6, 10, 0}};
    ProcessEventResults();
    EXPECT_EQ(EncounterPending, 1);
    ASSERT_EQ(EncounterList.size(), 1u);
    EXPECT_EQ(EncounterList[0], 1);
    EXPECT_EQ(pickState, 3);
    EXPECT_EQ(JumpCount, 1);
    EXPECT_TRUE(MapScriptQueue.empty());
    // The next batch starts without a pending encounter.
    MapEffects = {{7, 0, 0}};
    ProcessEventResults();
    EXPECT_EQ(EncounterPending, 0);
}

TEST_F(EventResultsTest, ScenarioEndTable)
{
    struct Row {
        std::vector<int32_t> Fired;
        bool Ends;
        int32_t Transfer;
        std::string Next;
    };
    const Row rows[] = {
        {{}, false, 0, ""},
        {{3}, false, 0, ""},     // a branch alone ends nothing
        {{1}, true, 0, ""},      // victory without a branch: the end window
        {{1, 4}, true, 1, "second.Tdm"},
        {{1, 3, 4}, true, 1, "first.Tdm"},
        {{2}, true, 0, ""},      // the end event: no next scenario
        {{2, 4}, true, 0, ""},
        {{1, 5}, true, 0, ""},   // the third branch names no scenario
    };
    for (size_t r = 0; r < std::size(rows); ++r) {
        GameEvents.assign(8, TGameEvent{});
        MapStory.VictoryEvent = 10;
        MapStory.EndEvent = 20;
        MapStory.NextEvent[1] = 30;
        MapStory.NextEvent[2] = 41;
        MapStory.NextEvent[3] = 50;
        MapStory.NextScenario[1] = u"first.Tdm";
        MapStory.NextScenario[2] = u"second.Tdm";
        MapStory.NextScenario[3] = u"";
        for (int32_t e : rows[r].Fired)
            GameEvents[static_cast<size_t>(e)].TimesFired = 1;
        ScenarioEndOpened = -1;
        MapFrozen = 0;
        ProcessEventResults();
        EXPECT_EQ(ScenarioEndOpened, rows[r].Ends ? rows[r].Transfer : -1) << "row " << r;
        EXPECT_EQ(MapFrozen, rows[r].Ends ? 1 : 0) << "row " << r;
        EXPECT_EQ(CampaignTransfer, rows[r].Transfer) << "row " << r;
        EXPECT_EQ(NextScenarioName, rows[r].Next) << "row " << r;
    }
}

TEST_F(EventResultsTest, ResultsPanelLayoutTable)
{
    struct Row {
        int32_t Gold;
        std::vector<TEventItemChange> Items;
        std::vector<TEventUnitChange> Units;
        int32_t Visible, Width, Height, XOrigin;
        int32_t CaptionY[4];
    };
    const Row rows[] = {
        {0, {}, {}, 0, 0, 0, (1024 - 200) / 2 + 10, {0, 0, 0, 0}},
        {50, {}, {}, 1, 220, 140, (1024 - 100 - 200) / 2 + 10, {83, 0, 0, 0}},
        {-20, {{3, 2, 1}}, {{2, -1}}, 1, 220, 400, (1024 - 100 - 200) / 2 + 10, {83, 203, 0, 323}},
        {10, {{3, 2, 1}, {4, 1, 1}}, {{2, 1}}, 1, 320, 270, (1024 - 300 - 200) / 2 + 10, {83, 0, 203, 0}},
    };
    for (size_t r = 0; r < std::size(rows); ++r) {
        EventGoldChange = rows[r].Gold;
        EventItemChanges = rows[r].Items;
        EventUnitChanges = rows[r].Units;
        EventResultsPanel_Layout(1, 0, 1024);
        const tEventCollect& c = EventCollect;
        EXPECT_EQ(c.Visible, rows[r].Visible) << "row " << r;
        EXPECT_EQ(c.AreaWidth, rows[r].Width) << "row " << r;
        EXPECT_EQ(c.AreaHeight, rows[r].Height) << "row " << r;
        EXPECT_EQ(c.XOrigin, rows[r].XOrigin) << "row " << r;
        for (int g = 0; g < 4; ++g) {
            EXPECT_EQ(c.CaptionVisible[g], rows[r].CaptionY[g] != 0 ? 1 : 0) << "row " << r << " group " << g;
            EXPECT_EQ(c.CaptionY[g], rows[r].CaptionY[g]) << "row " << r << " group " << g;
        }
    }
    // The gold entry leads its list with its amount.
    EXPECT_EQ(EventCollect.ItemsReceived[0], GoldMarkerId);
    EXPECT_EQ(EventCollect.ReceivedCounts[0], 10);
    EXPECT_EQ(EventCollect.GoldReceived, 10);
    EventResultsPanel_Hide();
    EXPECT_EQ(EventCollect.Visible, 0);
    EXPECT_TRUE(EventCollect.ItemsReceived.empty());
}

} // namespace

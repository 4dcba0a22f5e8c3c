// The scenario map loader, the header preview and the localisation file, on
// containers whose record bytes the tests lay out themselves at the file's
// offsets (so a wrong field in the shared records is caught, not mirrored).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "engine/QX9_System_DatFile.h"
#include "model/save/BetaLog.h"
#include "model/tables/BuildingType.h"
#include "model/tables/Global.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Tables.h"
#include "tests/support/TestSupport.h"
#include "tests/fakes/RecordingSceneHooks.h"
#include "tests/model/ModelTestSupport.h"
#include "tests/model/ScenarioBytes.h"

namespace {

class ScenarioMapTest : public TGameFolderTest {
protected:
    TRecordingSceneHooks Scene;
    TScenarioBytes File;

    void SetUp() override
    {
        TGameFolderTest::SetUp();
        AllocateMapGrids();
        SetSceneHooks(&Scene);
        ResetScenarioTables();
        ResetGameTables();
        ItemCount = 36;
        // A small map with an English header and its names.
        File.Records("MapStory", {TRecord(832).Put<uint8_t>(811, 1)});
        File.Records("MapInit", {TRecord(364).Put<int32_t>(4, 8)});
        File.Records("MapLandscape", Landscape(8));
        File.Ansi("MapNames", {"Road", "A road."});
    }
    void TearDown() override
    {
        SetSceneHooks(nullptr);
        ResetScenarioTables();
        ResetGameTables();
        TGameFolderTest::TearDown();
    }
    std::string Save(const std::string& name = "Road.Tdm")
    {
        const std::string path = Folder.Path() + name;
        File.Write(path);
        return Game(name);
    }
    bool Load(const std::string& name = "Road.Tdm") { return LoadScenarioMap(Save(name)); }
};

TEST(ScenarioRecords, SizesAndOffsetsOfTheFile)
{
    const struct {
        const char* Field;
        size_t Actual;
        size_t Expected;
    } rows[] = {
        {"TMapStory", sizeof(TMapStory), 832},
        {"TMapHero", sizeof(TMapHero), 114},
        {"TMapArmySlot", sizeof(TMapArmySlot), 13},
        {"TMapInit", sizeof(TMapInit), 364},
        {"TMapCell", sizeof(TMapCell), 35},
        {"TMapTree", sizeof(TMapTree), 40},
        {"TMapObject", sizeof(TMapObject), 52},
        {"TMapBuilding", sizeof(TMapBuilding), 408},
        {"TMapHireSlot", sizeof(TMapHireSlot), 14},
        {"TMapArmy", sizeof(TMapArmy), 201},
        {"TMapPoint", sizeof(TMapPoint), 56},
        {"TMapSound", sizeof(TMapSound), 9},
        {"TStoryEventStart", sizeof(TStoryEventStart), 44},
        {"TStoryRequire", sizeof(TStoryRequire), 20},
        {"TSelect", sizeof(TSelect), 16},
        {"TStoryResult", sizeof(TStoryResult), 20},
        {"TMapStory.StartDate", offsetof(TMapStory, StartDate), 752},
        {"TMapStory.Language", offsetof(TMapStory, Language), 811},
        {"TMapInit.WaterLevel", offsetof(TMapInit, WaterLevel), 360},
        {"TMapBuilding.Uid", offsetof(TMapBuilding, Uid), 392},
        {"TMapArmy.Heading", offsetof(TMapArmy, Heading), 196},
        {"TMapPoint.Kind", offsetof(TMapPoint, Kind), 24},
        {"TStoryEventStart.Uid", offsetof(TStoryEventStart, Uid), 36},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.Actual, row.Expected) << row.Field;
}

TEST_F(ScenarioMapTest, RecordsLandAtTheirFileOffsets)
{
    File.Records("MapStory", {TRecord(832)
                                  .Put<uint8_t>(2, 3)
                                  .Put<uint8_t>(811, 1)
                                  .Put<int32_t>(720, 75)
                                  .Put<int32_t>(724, 70)
                                  .Put<int32_t>(752, 2 * 1440 + 600)
                                  .Put<uint16_t>(812, 55)
                                  .Put<uint8_t>(823, 9)
                                  .Put<int16_t>(26 + 23, 6) // hero 1, slot 0: a unit type
                                  .Put<uint8_t>(20, 1)      // hero kind 1 offered
                                  .Put<uint8_t>(21, 1)});   // hero kind 2 offered without a hero
    File.Records("MapInit", {TRecord(364).Put<int32_t>(4, 8).Put<int32_t>(8, 4711).Put<float>(360, 7.5f)});
    File.Records("MapBuilding", {TRecord(408)
                                     .Put<float>(1, 4.5f)
                                     .Put<float>(9, 5.5f)
                                     .Put<float>(20, -0.5f)
                                     .Put<int32_t>(24, 3)
                                     .Put<uint8_t>(36, 0) // Town, no services
                                     .Put<uint8_t>(41, 2)
                                     .Put<uint8_t>(380, 5)
                                     .Put<int32_t>(392, 777)});
    File.Records("MapArmy",
                 {TRecord(201).Put<float>(196, 1.25f).Put<uint8_t>(21, 2).Put<uint8_t>(188, 5).Put<int32_t>(192, 888)});
    File.Records("MapPoint",
                 {TRecord(56).Put<float>(0, 2.5f).Put<float>(8, 3.5f).Put<int32_t>(24, 1).Put<int32_t>(44, 999)});
    File.Ansi("MapBuildingText", {"Mill", "", ""});
    ASSERT_TRUE(Load());

    EXPECT_EQ(V(MapStory.SizeClass), 3);
    EXPECT_EQ(EventOfReference(MapStory.VictoryEvent), 7);
    EXPECT_EQ(EventOfReference(MapStory.EndEvent), 7);
    EXPECT_EQ(V(MapStory.StartDate), 2 * 1440 + 600);
    EXPECT_EQ(V(MapStory.HeroAvailable[1]), 1);
    EXPECT_EQ(V(MapStory.HeroAvailable[2]), 0);
    EXPECT_EQ(V(MapStory.Heroes[1].Slots[0].UnitType), 6);
    // Header defaults: a stored value stays, a 0 reads as its default.
    EXPECT_EQ(V(MapStory.PlayerExpPercent), 55);
    EXPECT_EQ(V(MapStory.HourlyExpArmy), 100);
    EXPECT_EQ(V(MapStory.HourlyExpGarrison), 100);
    EXPECT_EQ(V(MapStory.HourlyExpPlayerGarrison), 100);
    EXPECT_EQ(V(MapStory.HeroLevelLimit), 24);
    EXPECT_EQ(V(MapStory.UnitLevelLimit), 24);
    EXPECT_EQ(V(MapStory.SupportCap), 9);
    EXPECT_EQ(V(MapStory.PriceDivisor), 10000);
    EXPECT_EQ(V(MapInit.MapSizeMinus1), 8);
    EXPECT_EQ(V(MapInit.SaveStamp), 4711);
    EXPECT_EQ(V(MapInit.WaterLevel), 7.5f);
    EXPECT_EQ(V(MapCell(3, 4).Height), 304);

    ASSERT_EQ(MapBuildings.Count, 1);
    const TMapBuilding& b = MapBuildings[1];
    EXPECT_EQ(V(b.Uid), 777);
    EXPECT_EQ(V(b.Model), 3);
    EXPECT_NEAR(V(b.Angle), 331 * M_PI / 180, 1e-5); // -0.5 rad is 331 degrees
    EXPECT_EQ(V(b.BuildingType), static_cast<uint8_t>(TBuildingType::None));
    EXPECT_EQ(V(b.Banner), 5);
    EXPECT_EQ(V(b.Cell.X), 4); // 4.5 and 5.5 round to the even neighbour
    EXPECT_EQ(V(b.Cell.Z), 6);
    EXPECT_EQ(V(b.GarrisonExpPercent), 100);
    EXPECT_EQ(V(b.TradePercent5), 100);

    ASSERT_EQ(MapArmies.Count, 1);
    EXPECT_EQ(V(MapArmies[1].Heading), 1.25f);
    EXPECT_EQ(V(MapArmies[1].Uid), 888);
    EXPECT_EQ(V(MapArmies[1].Banner), 5);
    EXPECT_EQ(V(MapArmies[1].SpeedPercent), 100);
    EXPECT_EQ(V(MapArmies[1].Byte12), 8);

    ASSERT_EQ(MapPoints.Count, 1);
    EXPECT_EQ(V(MapPoints[1].Kind), 1);
    EXPECT_EQ(V(MapPoints[1].Uid), 999);
    EXPECT_EQ(V(MapPoints[1].Cell.X), 2);
    EXPECT_EQ(V(MapPoints[1].Cell.Z), 4);

    EXPECT_EQ(Utf8(MapStory.Name), "Road");
    EXPECT_EQ(LastScenarioName, "road");
    EXPECT_TRUE(ScenarioLoadErrors.empty());
    // The scene's lists follow each section, the animated objects after the buildings.
    const std::vector<std::string> scene = {"ResizeMapPlacements 0 1", "ResizeMapPlacements 1 2",
                                            "ClearAnimatedMapObjects", "ResizeMapPlacements 2 1",
                                            "ResizeMapPlacements 3 2", "ResizeMapPlacements 4 2"};
    EXPECT_EQ(Scene.Calls, scene);
}

TEST_F(ScenarioMapTest, BuildingFixUps)
{
    auto building = [](uint8_t type) { return TRecord(408).Put<uint8_t>(36, type).Put<int32_t>(376, 12); };
    File.Records("MapBuilding", {building(0).Put<uint8_t>(344, 1),                    // a Town with hiring stays one
                                 building(6).Put<uint8_t>(39, 9).Put<uint8_t>(40, 7), // income class 9: no income
                                 building(1).Put<uint8_t>(343, 1).Put<uint16_t>(284, 37), // an unknown shop item
                                 building(8)
                                     .Put<uint8_t>(338, 50)
                                     .Put<uint8_t>(339, 50)
                                     .Put<uint8_t>(340, 50)
                                     .Put<uint8_t>(341, 50)
                                     .Put<uint8_t>(404, 50),
                                 building(1).Put<int16_t>(358, 3).Put<int32_t>(368, 2).Put<uint8_t>(361, 1)});
    File.Ansi("MapBuildingText", {"A", "", "", "B", "", "", "C", "", "", "D", "", "", "", "", ""});
    ASSERT_TRUE(Load());
    EXPECT_EQ(V(MapBuildings[1].BuildingType), static_cast<uint8_t>(TBuildingType::Town));
    EXPECT_EQ(V(MapBuildings[1].InfluenceRadius), 12);
    EXPECT_EQ(V(MapBuildings[2].Income), 0);
    EXPECT_EQ(V(MapBuildings[2].IncomeBonus), 0);
    EXPECT_EQ(V(MapBuildings[2].InfluenceRadius), 0);
    EXPECT_EQ(V(MapBuildings[3].ActionsKind), 6);
    EXPECT_EQ(V(MapBuildings[3].ShopItems[1]), 0);
    for (int i = 1; i <= 4; i++)
        EXPECT_EQ(V(MapBuildings[4].TradePercent[i]), 100);
    EXPECT_EQ(V(MapBuildings[4].TradePercent5), 100);
    // Without a name the building belongs to nobody.
    EXPECT_EQ(V(MapBuildings[5].OwnerArmy), -1);
    EXPECT_EQ(V(MapBuildings[5].OwnerGroup), -1);
    EXPECT_EQ(V(MapBuildings[5].HeroStart[2]), 0);
}

TEST_F(ScenarioMapTest, AFullLoadLogsTheScenarioByName)
{
    BetaLogReset();
    ASSERT_TRUE(Load());
    // Size, kind 18, a time stamp, then the name and its nul byte.
    ASSERT_EQ(BetaLog.Size, 8u + 4u);
    const uint8_t* record = BetaLog.Data.data();
    EXPECT_EQ(record[0] | record[1] << 8, 12);
    EXPECT_EQ(record[2], 18);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record + 7), 5), std::string("Road\0", 5));
    BetaLogReset();
}

TEST_F(ScenarioMapTest, ShorterElementsAreReadOneByOneAndTheRestIsZero)
{
    File.Records("MapBuilding", {TRecord(408).Put<uint16_t>(400, 77).Put<int32_t>(392, 1)});
    ASSERT_TRUE(Load());
    ASSERT_EQ(V(MapBuildings[1].ShopMinCostS), 77);

    File.Records("MapBuilding", {TRecord(400).Put<int32_t>(392, 5).Put<uint8_t>(36, 9),
                                 TRecord(400).Put<int32_t>(392, 6).Put<uint8_t>(36, 9)});
    ASSERT_TRUE(Load());
    ASSERT_EQ(MapBuildings.Count, 2);
    EXPECT_EQ(V(MapBuildings[1].Uid), 5);
    EXPECT_EQ(V(MapBuildings[2].Uid), 6);
    EXPECT_EQ(V(MapBuildings[1].ShopMinCostS), 0); // past the element: not the previous scenario's bytes
    EXPECT_TRUE(ScenarioLoadErrors.empty());
}

TEST_F(ScenarioMapTest, WideAndEightBitTexts)
{
    File.Records("MapBuilding", {TRecord(408)});
    File.Ansi("MapBuildingText", {"\xC0\xE1", "", ""}); // two Cyrillic letters in a Russian scenario
    File.Records("MapStory", {TRecord(832).Put<uint8_t>(811, 0)});
    ASSERT_TRUE(Load());
    EXPECT_EQ(Utf8(BuildingTexts[1].Name), "Аб");
    EXPECT_EQ(Utf8(MapStory.Name), "Road");

    // A first wide name switches every text to the wide twins.
    File.Wide("MapNamesWide", {u"Straße", u"Wide."});
    File.Wide("MapBuildingTextWide", {u"Mühle", u"", u""});
    ASSERT_TRUE(Load());
    EXPECT_EQ(Utf8(MapStory.Name), "Straße");
    EXPECT_EQ(Utf8(BuildingTexts[1].Name), "Mühle");

    // An empty first wide name leaves them 8-bit.
    File.Wide("MapNamesWide", {u"", u"Wide."});
    ASSERT_TRUE(Load());
    EXPECT_EQ(Utf8(MapStory.Description), "A road.");
    EXPECT_EQ(Utf8(BuildingTexts[1].Name), "Аб");
}

TEST_F(ScenarioMapTest, EventsWithTheirListsTextsAndFixUps)
{
    auto event = [](uint8_t form, uint8_t single, int32_t requirements, int32_t stages, int32_t uid) {
        return TRecord(44)
            .Put<uint8_t>(7, form)
            .Put<uint8_t>(8, single)
            .Put<int32_t>(12, requirements)
            .Put<int32_t>(20, stages)
            .Put<int32_t>(36, uid);
    };
    auto stage = [](uint8_t quest, int32_t results) {
        return TRecord(16).Put<uint8_t>(0, quest).Put<int32_t>(4, results);
    };
    auto rule = [](uint8_t kind, uint8_t mode, int32_t a) {
        return TRecord(20).Put<uint8_t>(0, kind).Put<uint8_t>(4, mode).Put<int32_t>(8, a);
    };
    File.Records("MapStoryEvent", {event(0, 0, 3, 1, 41), event(1, 0, 1, 2, 42), event(2, 1, 0, 1, 43)});
    File.Records("MapStoryRequire", {rule(8, 0, 5), rule(8, 6, 7), rule(8, 1, 5), rule(3, 0, 1)});
    File.Records("MapStorySelect", {stage(1, 2), stage(0, 1), stage(1, 0), stage(0, 0)});
    File.Records("MapStoryResult", {TRecord(20).Put<uint8_t>(0, 2), TRecord(20).Put<uint8_t>(0, 3),
                                    TRecord(20).Put<uint8_t>(0, 3).Put<uint8_t>(3, 4)});
    File.Ansi("MapStoryEventText", {"T1", "Text1", "J1",             // form 0: journal of stage 0
                                    "T2", "", "C1", "C2", "J2b",     // form 1: captions, journal of stage 2
                                    "T3", "", "S1", "One caption"}); // form 2 single: stage text, caption
    File.Ansi("MapStoryEventVar", {"gold_found", "met_odo"});
    ASSERT_TRUE(Load());
    ASSERT_EQ(StoryEventCount, 3);
    ASSERT_EQ(StoryEvents[1].Requires.size(), 3u);
    EXPECT_EQ(V(StoryEvents[2].Requires[0].Kind), 3);
    EXPECT_EQ(V(StoryEvents[3].RequireCount), 0);
    // Results of kind 2 and 3 without a count get 1; a kind 3 changed so gets mode 3.
    const std::vector<TStoryResult>& results = StoryEvents[1].Stages[0].Results;
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(V(results[0].Op2), 1);
    EXPECT_EQ(V(results[0].Mode), 0);
    EXPECT_EQ(V(results[1].Op2), 1);
    EXPECT_EQ(V(results[1].Mode), 3);
    EXPECT_EQ(V(StoryEvents[2].Stages[0].Results[0].Op2), 4);
    // Position requirements on the same army share its number.
    EXPECT_EQ(StoryEventCalk[1].Count, 2);
    EXPECT_EQ(StoryEventCalk[1].ArmyNumbers, (TIntArray{1, 2, 1}));

    EXPECT_EQ(Utf8(StoryEventTexts[1].JournalTexts[0]), "J1");
    EXPECT_TRUE(StoryEventTexts[1].Captions.empty());
    ASSERT_EQ(StoryEventTexts[2].Captions.size(), 2u);
    EXPECT_EQ(Utf8(StoryEventTexts[2].Captions[1]), "C2");
    EXPECT_EQ(Utf8(StoryEventTexts[2].JournalTexts[0]), "");
    EXPECT_EQ(Utf8(StoryEventTexts[2].JournalTexts[1]), "J2b");
    EXPECT_EQ(Utf8(StoryEventTexts[3].StageTexts[0]), "S1");
    EXPECT_EQ(Utf8(StoryEventTexts[3].Captions[0]), "One caption");
    // A caption alone gives an event its text when its form has captions.
    EXPECT_EQ(V(StoryEvents[1].HasText), 1);
    EXPECT_EQ(V(StoryEvents[2].HasText), 1);
    EXPECT_EQ(V(StoryEvents[3].HasText), 1);

    EXPECT_EQ(ScenarioVariableCount, 2);
    EXPECT_EQ(ScenarioVariableNames, (TWideStringArray{u"", u"gold_found", u"met_odo"}));
}

TEST_F(ScenarioMapTest, StreamCountsAreRepaired)
{
    File.Records("MapStoryEvent",
                 {TRecord(44).Put<int32_t>(12, -3).Put<int32_t>(20, 1), TRecord(44).Put<int32_t>(12, 5)});
    File.Records("MapStoryRequire", {TRecord(20).Put<uint8_t>(0, 1), TRecord(20).Put<uint8_t>(0, 2)});
    File.Records("MapStorySelect", {TRecord(16).Put<int32_t>(4, 1)});
    File.Records("MapStoryResult", {});
    ASSERT_TRUE(Load());
    EXPECT_EQ(V(StoryEvents[1].RequireCount), 0);
    EXPECT_EQ(V(StoryEvents[1].Stages[0].ResultCount), 0);
    EXPECT_EQ(V(StoryEvents[2].RequireCount), 2);
    EXPECT_EQ(V(StoryEvents[2].Requires[1].Kind), 2);
    EXPECT_EQ(ScenarioLoadErrors.size(), 3u);

    // A short landscape leaves 0, not the previous scenario's cells.
    std::vector<TRecord> cells = Landscape(8);
    cells.erase(cells.begin() + 20, cells.end()); // rows 0 and 1 and two cells of row 2
    File.Records("MapLandscape", cells);
    ASSERT_TRUE(Load());
    EXPECT_EQ(V(MapCell(1, 1).Height), 101);
    EXPECT_EQ(V(MapCell(2, 1).Height), 201);
    EXPECT_EQ(V(MapCell(2, 2).Height), 0);
    EXPECT_EQ(V(MapCell(8, 8).Height), 0);
    EXPECT_EQ(ScenarioLoadErrors.front(), "MapLandscape: 20 of 81 cells read, the rest left 0");
}

TEST_F(ScenarioMapTest, FilesBeyondTheTablesAreRefusedBeforeAnythingIsWritten)
{
    File.Records("MapBuilding", {TRecord(408).Put<int32_t>(392, 42)});
    ASSERT_TRUE(Load("Good.Tdm"));
    const struct {
        const char* Case;
        const char* Section;
        int32_t Count;
        int32_t Size;
    } rows[] = {
        {"buildings", "MapBuilding", MapBuildingMax + 1, 1},
        {"armies", "MapArmy", MapArmyMax + 1, 1},
        {"points", "MapPoint", MapPointMax + 1, 1},
        {"objects", "MapObject", MapObjectMax + 1, 1},
        {"plants", "MapTree", MapTreeMax + 1, 0},
        {"NPC types", "MapNpcPeople", NpcTypeMax + 1, 1},
        {"sounds of 8 bytes", "MapSounds", 1, 8},
        {"map set-up too long", "MapInit", 1, 365},
        {"events", "MapStoryEvent", StoryEventMax + 1, 0},
    };
    for (const auto& row : rows) {
        TScenarioBytes file = File;
        file.Raw(row.Section, std::string(static_cast<size_t>(row.Count) * row.Size, '\x01'), row.Count, row.Size);
        file.Write(Folder.Path() + "Bad.Tdm");
        EXPECT_FALSE(LoadScenarioMap(Game("Bad.Tdm"))) << row.Case;
        EXPECT_EQ(V(MapBuildings[1].Uid), 42) << row.Case;
        EXPECT_EQ(LastScenarioName, "") << row.Case;
    }
    for (const int32_t size : {-1, 1024 + 1}) {
        TScenarioBytes file = File;
        file.Records("MapInit", {TRecord(364).Put<int32_t>(4, size)});
        file.Write(Folder.Path() + "Bad.Tdm");
        EXPECT_FALSE(LoadScenarioMap(Game("Bad.Tdm"))) << size;
    }
    // Group rows must be G + 1 elements of 4 (G + 1) bytes.
    File.Records("MapStory", {TRecord(832).Put<uint8_t>(3, 1)});
    File.Raw("MapGroup", std::string(16, '\0'), 1, 16);
    EXPECT_FALSE(Load("Bad.Tdm"));
    File.Raw("MapGroup", std::string(16, '\0'), 2, 8);
    EXPECT_TRUE(Load("Bad.Tdm"));
    EXPECT_EQ(MapStory.GroupRelations.size(), 2u);
}

TEST_F(ScenarioMapTest, AFailedOpenForgetsTheScenario)
{
    ASSERT_TRUE(Load());
    EXPECT_TRUE(MapChanged);
    ASSERT_TRUE(Load());
    EXPECT_FALSE(MapChanged);
    EXPECT_FALSE(LoadScenarioMap(Game("Missing.Tdm")));
    EXPECT_EQ(LastScenarioName, "");
    EXPECT_EQ(MapStory.Name, u""); // the header's texts are cleared before the open
    // So loading the scenario again counts as a change of map.
    ASSERT_TRUE(Load());
    EXPECT_TRUE(MapChanged);
}

TEST_F(ScenarioMapTest, SizeClassChangesAreNoted)
{
    ASSERT_TRUE(Load());
    EXPECT_TRUE(MapSizeChanged); // the header before had no name
    ASSERT_TRUE(Load());
    EXPECT_FALSE(MapSizeChanged);
    File.Records("MapStory", {TRecord(832).Put<uint8_t>(2, 1)});
    ASSERT_TRUE(Load());
    EXPECT_TRUE(MapSizeChanged);
}

TEST_F(ScenarioMapTest, NpcTypes)
{
    UnitTypes[17].MapModelIndex = 12;
    UnitTypes[17].ArenaModelIndex = 13;
    TRecord npc(sizeof(TPersonage));
    npc.Put<int32_t>(4, 17).Put<uint8_t>(321, 1).Put<int32_t>(512, 503);
    TRecord stray(sizeof(TPersonage));
    stray.Put<int32_t>(4, 4000).Put<int32_t>(560, 2).Put<uint8_t>(321, 5).Put<int32_t>(936, 77);
    File.Records("MapNpcPeople", {npc, stray});
    File.Raw("MapNpcPeopleBonus", "TheUndead,,Fearless,,,,,,Terrible\r\n\r\n", 1, 37);
    File.Ansi("MapNpcPeopleText", {"Ser Hallan", "A knight.", "Stray", ""});
    ASSERT_TRUE(Load());
    ASSERT_EQ(NpcTypeCount, 2);
    const TPersonage& knight = UnitTypes[-1];
    EXPECT_EQ(V(knight.MapModelIndex), 12);
    EXPECT_EQ(V(knight.ArenaModelIndex), 13);
    EXPECT_EQ(V(knight.WoundLimit), 4);
    EXPECT_EQ(V(knight.AttackMode), 13);
    EXPECT_EQ(V(knight.Bonus[1]), TheUndead);
    EXPECT_EQ(V(knight.Bonus[2]), NoBonus);
    EXPECT_EQ(V(knight.Bonus[3]), Fearless);
    EXPECT_EQ(V(knight.BonusAdd[1]), Terrible);
    EXPECT_EQ(knight.Name.Str(), "Ser Hallan");
    EXPECT_EQ(Utf8(UnitTypeNames[-1].Descript), "A knight.");
    // A base type outside the unit types copies no model handles.
    EXPECT_EQ(V(UnitTypes[-2].MapModelIndex), 77);
    EXPECT_EQ(V(UnitTypes[-2].WoundLimit), 2);
    EXPECT_EQ(V(UnitTypes[-2].AttackMode), 16);
}

TEST_F(ScenarioMapTest, HeaderPreview)
{
    File.Records("MapStory", {TRecord(832)
                                  .Put<uint8_t>(2, 2)
                                  .Put<uint8_t>(711, 1)
                                  .Put<int16_t>(26 + 114 + 23, 2)
                                  .Put<uint8_t>(21, 1)
                                  .Put<uint8_t>(22, 1)});
    File.Ansi("MapNames", {"Road", "A road.", "The Long Road"});
    File.Records("MapArmy", {TRecord(201), TRecord(201), TRecord(201)});
    ASSERT_TRUE(ReadScenarioHeader(Save()));
    EXPECT_EQ(Utf8(MapStoryPreview.Title), "The Long Road");
    EXPECT_EQ(V(MapStoryPreview.HeroAvailable[2]), 1);
    EXPECT_EQ(V(MapStoryPreview.HeroAvailable[3]), 0);
    EXPECT_EQ(PreviewArmyCount, 3);
    EXPECT_EQ(EstimateScenarioLoading(), 820 + 9);
    EXPECT_EQ(MapStory.Name, u""); // the full load's header is not touched
}

// The preview's army count comes from the entry's header alone: a damaged
// count is bounded by the table's capacity before the estimate multiplies it.
TEST_F(ScenarioMapTest, ThePreviewBoundsTheArmyCountOfTheEntryHeader)
{
    struct Row {
        int32_t count;
        int32_t armies;
    } rows[] = {
        {1, 1}, {MapArmyMax, MapArmyMax}, {MapArmyMax + 1, MapArmyMax}, {INT32_MAX, MapArmyMax}, {-1, MapArmyMax}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.count);
        File.Records("MapStory", {TRecord(832).Put<uint8_t>(811, 1).Put<uint8_t>(2, 4)});
        File.Records("MapArmy", {TRecord(201)});
        const std::string game = Save();
        // The directory entry's element count, as a damaged file has it.
        const std::string path = Folder.Path() + "Road.Tdm";
        std::string bytes = ReadWholeFile(path);
        uint32_t dir = 0, entries = 0;
        std::memcpy(&dir, bytes.data() + 7, 4);
        std::memcpy(&entries, bytes.data() + 11, 4);
        bool patched = false;
        for (uint32_t e = 0; e < entries; e++) {
            const size_t at = dir + size_t{e} * sizeof(TDatEntry);
            if (bytes.compare(at, 8, "\x07MapArmy") == 0) {
                std::memcpy(bytes.data() + at + offsetof(TDatEntry, ElementCount), &row.count, 4);
                patched = true;
            }
        }
        ASSERT_TRUE(patched);
        Folder.WriteFile("Road.Tdm", bytes);
        ASSERT_TRUE(ReadScenarioHeader(game));
        EXPECT_EQ(PreviewArmyCount, row.armies);
        EXPECT_EQ(EstimateScenarioLoading(), 2200 + 3 * row.armies);
    }
}

TEST_F(ScenarioMapTest, AnOversizedHeaderIsRefusedWithABoxOnlyWhenWindowed)
{
    File.Raw("MapStory", std::string(840, '\0'), 1, 840);
    const std::string file = Save();
    for (const bool windowed : {false, true}) {
        Render.Calls.clear();
        Render.WindowedFlag = windowed;
        EXPECT_FALSE(ReadScenarioHeader(file));
        const std::vector<std::string> box = {"ShowCursor",
                                              "MessageBox Game map load: " + file +
                                                  "\nOlder versions of the scenarios header is not supported.",
                                              "HideCursor"};
        EXPECT_EQ(Render.Calls, windowed ? box : std::vector<std::string>{});
    }
    // The full load takes the first 832 bytes.
    EXPECT_TRUE(LoadScenarioMap(file));
}

// ---------------------------------------------------------------------------
// Localisation

TEST(ScenarioLocalization, LinesNamesAndTags)
{
    TTempFolder folder;
    const std::string file =
        folder.WriteProgramFile("Lines.Eng", "[S]\r\nFirst<br>Second\r\n-//-\r\nA <br>B %/C%/D\r\n -//- \r\n");
    TIniFile ini;
    ini.Load(file);
    ASSERT_TRUE(ini.SelectSection("S"));
    EXPECT_EQ(ReadLocalizedLine(ini), u"First\r\nSecond");
    EXPECT_EQ(ReadLocalizedLine(ini), u"");
    EXPECT_EQ(ReadLocalizedLine(ini), u"A\r\nB\r\nC\r\nD");
    EXPECT_EQ(ReadLocalizedLine(ini), u""); // the line is trimmed before the test
    EXPECT_EQ(ReadLocalizedLine(ini), u"");

    const struct {
        std::u16string In, Name, Suffix;
    } names[] = {
        {u"Count Rupert / the Black", u"Count Rupert", u"the Black"},
        {u"Odo", u"Odo", u""},
        {u"A/B/C", u"A", u"B/C"},
        {u" / ", u"", u""},
    };
    for (const auto& row : names) {
        std::u16string name = row.In, suffix = u"x";
        SplitNameSuffix(name, suffix);
        EXPECT_EQ(name, row.Name);
        EXPECT_EQ(suffix, row.Suffix);
    }

    const struct {
        std::u16string Text, Tags;
    } tags[] = {
        {u"<p=Hero>Hello", u"<p=Hero>"}, {u"<m>Hello</m> <f>x</f>", u""}, {u"a<b>c<d=1>e", u"<b><d=1>"},
        {u"open < without close", u""},  {u"<a<b>>", u"<a<b>"},
    };
    for (const auto& row : tags)
        EXPECT_EQ(ExtractTextTags(row.Text), row.Tags) << Utf8(row.Text);
}

TEST_F(ScenarioMapTest, LocalisationFallsBackToEnglish)
{
    File.Records("MapArmy", {TRecord(201).Put<int32_t>(192, 5), TRecord(201).Put<int32_t>(192, 9),
                             TRecord(201).Put<int32_t>(192, -2)});
    File.Ansi("MapArmyText", {"a", "", "", "b", "", "", "c", "", ""});
    Write("Road.Eng", "[Name]\r\nRoad in English\r\nDescription\r\n[A#-2]\r\nCount Rupert / the Black\r\nA count.\r\n");
    Write("Road.Fra", "[Name]\r\nRoute\r\n");
    SetGameLanguage("deu");
    ASSERT_TRUE(Load());
    EXPECT_EQ(FindLocalizedFile(Game("Road.Tdm"), MapStory), Game("Road.Eng"));
    EXPECT_EQ(Utf8(MapStory.Name), "Road in English");
    EXPECT_EQ(Utf8(ArmyTexts[3].Name), "Count Rupert");
    EXPECT_EQ(Utf8(ArmyTexts[3].Suffix), "the Black");
    EXPECT_EQ(ScenarioLocalizationReport, "Errors in localisation file - Road.Eng\nArmys UID 5, 9");
    SetGameLanguage("fra");
    EXPECT_EQ(FindLocalizedFile(Game("Road.Tdm"), MapStory), Game("Road.Fra"));
}

TEST_F(ScenarioMapTest, LocalisationReportsEveryGroup)
{
    File.Records("MapBuilding", {TRecord(408).Put<int32_t>(392, 11), TRecord(408).Put<int32_t>(392, 12)});
    File.Ansi("MapBuildingText", {"Mill", "", "", "", "", ""}); // the second has no name: not missed
    File.Records("MapPoint", {TRecord(56).Put<int32_t>(44, 21)});
    File.Ansi("MapPointText", {"Gate"});
    File.Records("MapStoryEvent", {TRecord(44).Put<int32_t>(36, 31), TRecord(44).Put<int32_t>(36, 32),
                                   TRecord(44).Put<int32_t>(36, 33), TRecord(44).Put<int32_t>(36, 34)});
    File.Ansi("MapStoryEventText", {"T", "<p=Hero>Hello", "T", "<m>Hi</m>", "T", "x", "T", "y"});
    File.Records("MapNpcPeople", {TRecord(sizeof(TPersonage)).Put<int32_t>(512, 41)});
    Write("Road.Eng", "[Name]\r\nRoad\r\nA road.\r\n"
                      "[E#31]\r\nT\r\n<p=Hero2>Hallo\r\n"    // tags changed
                      "[E#32]\r\nT\r\nHi\r\n"                // markers only: same tags
                      "[E#33]\r\nT\r\nx\r\nspare line\r\n"); // a line too many; E#34 missing
    ASSERT_TRUE(Load());
    EXPECT_EQ(ScenarioLocalizationReport, "Errors in localisation file - Road.Eng"
                                          "\nBuildings UID 11\nPoints UID 21\nEvents UID 33, 34"
                                          "\nEvents tag UID 31\nNPC units UID 41");
    EXPECT_EQ(Utf8(StoryEventTexts[1].Text), "<p=Hero2>Hallo");
}

TEST_F(ScenarioMapTest, ThePreviewTakesOnlyTheHeaderTexts)
{
    Write("Road.Eng", "[Name]\r\nRoad in English\r\nDescription\r\n[A#0]\r\nNobody\r\n");
    ASSERT_TRUE(ReadScenarioHeader(Save()));
    EXPECT_EQ(Utf8(MapStoryPreview.Name), "Road in English");
    EXPECT_EQ(Utf8(MapStoryPreview.Description), "Description");
}

} // namespace

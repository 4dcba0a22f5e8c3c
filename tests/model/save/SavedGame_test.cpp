// Saved games: the head, writing through the background writer, reading back
// into the world tables with its fall-backs, and damaged saves.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "model/save/BetaLog.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap.h"
#include "model/world/World_Digest.h"
#include "model/Support.h"
#include "tests/model/MapWorldTestSupport.h"
#include "tests/model/ScenarioBytes.h"
#include "tests/support/TestSupport.h"

namespace {

// The sections of a save file, in directory order, to damage or drop.
struct TSaveSections {
    struct TSection {
        std::string Name;
        std::string Bytes;
        uint32_t Count;
        uint32_t Size;
    };
    std::vector<TSection> List;

    explicit TSaveSections(const std::string& file)
    {
        TDatFile save;
        EXPECT_TRUE(save.Open(file));
        for (size_t i = 0; i < save.Entries.size(); ++i) {
            const std::string name = DatEntryName(save.Entries[i]);
            const TMapSection s = ViewSection(save, name, true);
            List.push_back({name, std::string(reinterpret_cast<const char*>(s.Bytes), s.Size), s.Count, s.ElementSize});
        }
    }
    TSection* Find(const std::string& name)
    {
        for (TSection& s : List)
            if (s.Name == name)
                return &s;
        return nullptr;
    }
    void Remove(const std::string& name)
    {
        std::erase_if(List, [&](const TSection& s) { return s.Name == name; });
    }
    // The file holds each section's Count x Size bytes: its bytes cut or
    // padded with zeros.
    void Write(const std::string& file) const
    {
        TDatFile save;
        save.Init();
        for (const TSection& s : List) {
            save.AddEntry(s.Name);
            save.WriteRecords(s.Name, s.Bytes.data(), 1, static_cast<int32_t>(s.Bytes.size()));
            TDatEntry& entry = save.Entries[static_cast<size_t>(save.Current)];
            entry.ElementCount = s.Count;
            entry.ElementSize = s.Size;
        }
        ASSERT_TRUE(save.Save(SaveWriteMode, file));
    }
};

// Every world section of a save as its element count and a CRC of its bytes.
std::vector<std::string> WorldSections(const std::string& file)
{
    TSaveSections sections(file);
    std::vector<std::string> lines;
    for (int i = 3; i <= 15; ++i) {
        const TSaveSections::TSection* s = sections.Find(SaveSectionNames[i]);
        uint32_t crc = 0xFFFFFFFFu;
        if (s != nullptr)
            for (const char c : s->Bytes)
                crc = Crc32Update(static_cast<uint8_t>(c), crc);
        lines.push_back(s == nullptr ? "(missing)" : std::to_string(s->Count) + " " + std::to_string(~crc));
    }
    return lines;
}

uint32_t FileDigest(const std::string& file)
{
    TDatFile save;
    return save.Open(file) ? SavedWorldDigest(save) : 0;
}

class SavedGameTest : public TMapWorldTest {
protected:
    TTempFolder Folder;
    std::string File;

    void SetUp() override
    {
        TMapWorldTest::SetUp();
        SetGameFolders(Folder.ProgramPath());
        FreeGameOptions();
        File = Folder.ProgramPath() + "a.sav";
        BetaLogReset();
        LastScenarioName = "road";
        MapStory.Name = u"Road";
        MapStory.StartDate = 2 * 1440 + 540;
        ScenarioFolder.clear();
        StartSaveName.clear();
        TutorialsList.clear();
        SaveLastFailed = false;
        MakeSampleWorld();
    }
    void TearDown() override
    {
        WaitForSaveWriter();
        BetaLogReset();
        FreeGameOptions();
        TMapWorldTest::TearDown();
    }

    // Three armies, two buildings, two story events, three variables, two
    // map points, and a value in most tables.
    void MakeSampleWorld()
    {
        MakeMapWorld(3, 2);
        MapStory.GroupCount = 1;
        Diplomacy.assign(2, TIntArray{0, -5});
        Diplomacy[1][0] = 7;
        for (int32_t a = 0; a <= 3; ++a) {
            Army(a).Gold = 100 * a + 5;
            Army(a).Pos[0] = 10.5f + static_cast<float>(a);
            Army(a).PersonageCount = 2;
            Unit(a, 1).UnitType = 1;
            Unit(a, 1).Hits = static_cast<int16_t>(40 + a);
            Unit(a, 2).UnitType = 1;
            MapArmies[a].Uid = 500 + a;
        }
        AddArmyItem(0, 11);
        AddArmyItem(0, 12);
        AddArmyItem(2, 13);
        AddArmyItem(GetGarrisonArmyIndex(2), 14);
        Army(GetGarrisonArmyIndex(1)).Gold = 999;
        Unit(GetGarrisonArmyIndex(1), 1).UnitType = 1;
        ArmyMoves[1][2].Score = 33;
        ArmyTargets[3][2].LastVisit = 123456;
        for (int32_t b = 1; b <= 2; ++b) {
            GameBuildings[static_cast<size_t>(b)].Treasury = static_cast<int16_t>(50 * b);
            MapBuildings[b].Uid = 700 + b;
        }
        StoryEventCount = 2;
        StoryEvents.assign(3, TStoryEvent{});
        StoryEvents[1].Uid = 901;
        StoryEvents[2].Uid = 902;
        GameEvents.assign(3, TGameEvent{});
        GameEvents[2].TimesFired = 4;
        ScenarioVariableCount = 3;
        ScenarioVariables = {0, 1, -2, 3};
        MapPoints.Count = 2;
        PointCount = 2;
        PointStates.assign(3, TPointState{});
        PointStates[2] = {1, 0};
        GameClock = 987650000;
        GameStartDate = 4000;
        GameSeed = 4242;
        GameDifficulty = 3;
        HeroKind = 2;
        DayBattleCount = 1;
        PersonalizationEnabled = 1;
        for (int h = 0; h < 24; ++h)
            HourlyGoldSamples[h] = h * 3;
    }

    // Writes the world through the writer and waits for it.
    void Save(const std::string& file, const std::u16string& name = u"Day 1", const std::u16string& hero = u"Ada")
    {
        ASSERT_TRUE(WriteSavedGame(name, file, hero, nullptr, nullptr, 1.5f));
        WaitForSaveWriter();
        ASSERT_FALSE(SaveLastFailed.load());
    }
    bool Load(const std::string& file)
    {
        float speed = 0;
        std::u16string hero;
        return LoadSavedGame(file, speed, hero);
    }
    // The scene calls of the map rebuild, in order.
    std::vector<std::string> RebuildCalls() const
    {
        std::vector<std::string> calls;
        for (const std::string& call : Scene.Calls)
            if ((call.rfind("Clear", 0) == 0 || call.rfind("Build", 0) == 0 || call.rfind("Place", 0) == 0 ||
                 call == "SortMainPass") &&
                call != "ClearAnimatedMapObjects")
                calls.push_back(call);
        return calls;
    }
    TSaveHead Head(const std::string& file)
    {
        TDatFile save;
        TSaveHead head{};
        EXPECT_TRUE(save.Open(file));
        EXPECT_TRUE(ReadSaveHead(save, head));
        return head;
    }
};

TEST_F(SavedGameTest, TheHeadHoldsTheWorldsStateAndCutNames)
{
    Scene.View[0] = 17;
    Scene.View[12] = -4;
    StartSaveName = "road_hero";
    const std::u16string seventy(70, u'x');
    Save(File, seventy + u"", u"");
    const TSaveHead head = Head(File);
    EXPECT_EQ(V(head.Version), 4);
    EXPECT_EQ(V(head.GameClock), 987650000);
    EXPECT_EQ(V(head.Gold), 5);
    EXPECT_EQ(V(head.PersonageCount), 2);
    EXPECT_EQ(V(head.MapView[0]), 17);
    EXPECT_EQ(V(head.MapView[12]), -4);
    EXPECT_EQ(V(head.GameSpeed), 1.5f);
    EXPECT_EQ(head.LastScenarioName.Str(), "road");
    EXPECT_EQ(V(head.SaveName.Count), 63);
    EXPECT_EQ(SaveNameText(head.SaveName), std::u16string(63, u'x'));
    EXPECT_EQ(V(head.HeroName.Count), 0);
    EXPECT_EQ(head.StartSaveName.Str(), "road_hero");
    EXPECT_EQ(V(head.GameSeed), 4242);
    EXPECT_EQ(V(head.HourlyGoldSamples[23]), 69);
    EXPECT_EQ(V(head.PersonalizationEnabled), 1);

    Scene.View[0] = 0;
    LastPlayerStepClock = 5; // not saved: 0 after a load
    float speed = 0;
    std::u16string hero = u"stale";
    ASSERT_TRUE(LoadSavedGame(File, speed, hero));
    EXPECT_EQ(LastPlayerStepClock, 0);
    EXPECT_EQ(hero, u"");
    EXPECT_EQ(speed, 1.5f);
    EXPECT_EQ(Scene.View[0], 17);
    EXPECT_EQ(StartSaveName, "road_hero");
}

TEST_F(SavedGameTest, HeroNamesLoadTrimmed)
{
    Save(File, u"Day 1", u"  Ada Lovel  ");
    float speed = 0;
    std::u16string hero;
    ASSERT_TRUE(LoadSavedGame(File, speed, hero));
    EXPECT_EQ(hero, u"Ada Lovel");
}

TEST_F(SavedGameTest, RecordsAreStampedWithTheirScenarioUids)
{
    Save(File);
    EXPECT_EQ(V(GameBuildings[2].SaveMark), 702);
    EXPECT_EQ(V(Army(3).SaveMark), 503);
    EXPECT_EQ(V(Army(0).SaveMark), 0);
    EXPECT_EQ(V(GameEvents[1].EventUid), 901);
}

TEST_F(SavedGameTest, ASaveLoadedBackAndSavedAgainHasTheSameWorldSections)
{
    Save(File);
    const std::vector<std::string> first = WorldSections(File);
    const std::vector<TGameArmy> armies = GameArmies;
    const std::vector<TGameEvent> events = GameEvents;

    // Another world in memory, then the save over it.
    MakeMapWorld(1, 1);
    ScenarioVariables = {0, 0, 0, 0};
    GameClock = 0;
    GameSeed = 0;
    ASSERT_TRUE(Load(File));
    EXPECT_EQ(ArmyCount, 3);
    EXPECT_EQ(BuildingCount, 2);
    EXPECT_EQ(GarrisonCount, 2);
    EXPECT_EQ(GameClock, 987650000);
    EXPECT_EQ(GameSeed, 4242);
    EXPECT_EQ(GameDifficulty, 3);
    EXPECT_EQ(ArmyItems[0], (TIntArray{0, 11, 12}));
    EXPECT_EQ(ArmyItems[static_cast<size_t>(GetGarrisonArmyIndex(2))], (TIntArray{0, 14}));
    ASSERT_EQ(GameArmies.size(), armies.size());
    for (size_t a = 0; a < armies.size(); ++a) {
        EXPECT_EQ(V(GameArmies[a].Gold), V(armies[a].Gold)) << a;
        EXPECT_EQ(V(GameArmies[a].Pos[0]), V(armies[a].Pos[0])) << a;
    }
    // The world set-up matched the saved events to the scenario's by uid.
    ASSERT_EQ(GameEvents.size(), events.size());
    EXPECT_EQ(V(GameEvents[2].TimesFired), 4);
    EXPECT_EQ(V(GameEvents[2].EventUid), 902);

    // The world set-up rebuilt what the save doesn't hold; the tables it
    // leaves alone come back byte for byte in the next save.
    const std::string again = Folder.ProgramPath() + "b.sav";
    Save(again);
    const std::vector<std::string> second = WorldSections(again);
    for (size_t i = 0; i < first.size(); ++i) {
        const std::string name = SaveSectionNames[i + 3];
        if (name != "GameArmy" && name != "GameGarrison" && name != "GameArmyUnits" && name != "GameGarrisonUnits" &&
            name != "GameArmyMove" && name != "GameArmyTarget") {
            EXPECT_EQ(second[i], first[i]) << name;
        }
    }
}

TEST_F(SavedGameTest, StartDateAndDifficultyFallBacks)
{
    const struct {
        int32_t StartDate;
        int32_t Difficulty;
        const char* Options; // nullptr: no game options
        int32_t LoadedStart;
        int32_t LoadedDifficulty;
    } rows[] = {
        {4000, 3, "Game_DifficultyLevel=1", 4000, 3},
        {0, 4, nullptr, 2 * 1440 + 540, 4},
        {4000, 0, "Game_DifficultyLevel=1", 4000, 1},
        {4000, 0, "Game_DifficultyLevel=4", 4000, 4},
        {4000, 0, "Game_DifficultyLevel=7", 4000, 2},
        {4000, 5, "Game_DifficultyLevel=3", 4000, 3},
        {4000, 0, nullptr, 4000, 2},
    };
    for (const auto& r : rows) {
        GameStartDate = r.StartDate;
        GameDifficulty = r.Difficulty;
        Save(File);
        FreeGameOptions();
        if (r.Options != nullptr) {
            GameOptions = new TIniFile;
            GameOptions->LoadFromMemory("Options_Game.ini", std::string("[Main]\r\n") + r.Options + "\r\n");
        }
        ASSERT_TRUE(Load(File));
        EXPECT_EQ(GameStartDate, r.LoadedStart) << r.StartDate;
        EXPECT_EQ(GameDifficulty, r.LoadedDifficulty) << r.Difficulty << " " << (r.Options ? r.Options : "-");
    }
}

TEST_F(SavedGameTest, BuildingsTheScenarioGainedGetTheirStartStateAndEmptyGarrisons)
{
    Save(File);
    MapBuildings.Count = 4;
    ASSERT_TRUE(Load(File));
    EXPECT_EQ(BuildingCount, 4);
    EXPECT_EQ(GarrisonCount, 4);
    ASSERT_EQ(GameBuildings.size(), 5u);
    EXPECT_EQ(V(GameBuildings[2].Treasury), 100);
    EXPECT_EQ(GameArmies.size(), 3u + 4u + 1u);
    EXPECT_EQ(V(Army(GetGarrisonArmyIndex(1)).Gold), 999);
    EXPECT_EQ(Unit(GetGarrisonArmyIndex(4), 1).UnitType, 0);
    EXPECT_EQ(ArmyItems[static_cast<size_t>(GetGarrisonArmyIndex(4))], TIntArray{0});
    for (const auto& row : ArmyTargets)
        EXPECT_EQ(row.size(), 5u);
    EXPECT_EQ(ArmyTargets[3][2].LastVisit, 123456);
}

TEST_F(SavedGameTest, MissingSectionsTakeTheirDefaults)
{
    Save(File);
    const struct {
        const char* Section;
        int32_t Armies, Garrisons, Buildings, Events, Points;
    } rows[] = {
        {"GameArmy", 0, 2, 2, 2, 2},          {"GameArmyUnits", 0, 2, 2, 2, 2}, {"GameArmyMove", 0, 2, 2, 2, 2},
        {"GameArmyTarget", 0, 2, 2, 2, 2},    {"GameGarrison", 3, 2, 2, 2, 2},  {"GameGarrisonUnits", 3, 2, 2, 2, 2},
        {"GameBuilding", 3, 2, 2, 2, 2},      {"GameEvent", 3, 2, 2, 0, 2},     {"GamePoint", 3, 2, 2, 2, 2},
        {"GameVariables", 3, 2, 2, 2, 2},     {"GameDiplomacy", 3, 2, 2, 2, 2}, {"GameArmyItems", 3, 2, 2, 2, 2},
        {"GameGarrisonItems", 3, 2, 2, 2, 2}, {"TutorialsData", 3, 2, 2, 2, 2},
    };
    const std::string damaged = Folder.ProgramPath() + "d.sav";
    for (const auto& r : rows) {
        TSaveSections sections(File);
        sections.Remove(r.Section);
        sections.Write(damaged);
        MapPoints.Count = 2;
        ScenarioVariables = {0, 9, 9, 9};
        Diplomacy.assign(2, TIntArray{1, 1});
        ASSERT_TRUE(Load(damaged)) << r.Section;
        EXPECT_EQ(ArmyCount, r.Armies) << r.Section;
        EXPECT_EQ(GarrisonCount, r.Garrisons) << r.Section;
        EXPECT_EQ(BuildingCount, r.Buildings) << r.Section;
        EXPECT_EQ(V(GameEvents[2].TimesFired), r.Events == 0 ? 0 : 4) << r.Section;
        EXPECT_EQ(PointCount, r.Points) << r.Section;
        EXPECT_EQ(GameArmies.size(), static_cast<size_t>(ArmyCount + GarrisonCount + 1)) << r.Section;
        EXPECT_EQ(ArmyItems.size(), GameArmies.size()) << r.Section;
        for (size_t a = 0; a < GameArmies.size(); ++a)
            EXPECT_LT(GameArmies[a].ItemCount, static_cast<int32_t>(ArmyItems[a].size())) << r.Section << " " << a;
        const std::string section = r.Section;
        if (section == "GamePoint") {
            EXPECT_EQ(PointStates[2], (TPointState{0, 0}));
        }
        if (section == "GameVariables") {
            EXPECT_EQ(ScenarioVariables, (TIntArray{0, 9, 9, 9}));
        }
        if (section == "GameDiplomacy") {
            EXPECT_EQ(Diplomacy[1], (TIntArray{1, 1}));
        }
        if (section == "GameGarrison") {
            EXPECT_EQ(Army(GetGarrisonArmyIndex(1)).Gold, 0);
        }
        if (section == "GameArmyItems") {
            EXPECT_EQ(ArmyItems[0], TIntArray{0});
        }
    }
}

TEST_F(SavedGameTest, DamagedSavesAreRefusedAndLeaveTheWorldAsItWas)
{
    Save(File);
    {
        TDatFile whole;
        std::string why;
        ASSERT_TRUE(whole.Open(File));
        EXPECT_TRUE(CheckSavedGame(whole, why)) << why;
    }
    const std::string damaged = Folder.ProgramPath() + "d.sav";
    const struct {
        const char* Case;
        std::function<void(TSaveSections&)> Damage;
        bool Whole = false; // refused for where it points, not for its bytes
    } rows[] = {
        {"truncated army items", [](TSaveSections& s) { s.Find("GameArmyItems")->Count = 1; }},
        {"huge item count",
         [](TSaveSections& s) {
             const int32_t huge = 0x7FFFFFFF;
             std::memcpy(s.Find("GameArmy")->Bytes.data() + offsetof(TGameArmy, ItemCount), &huge, 4);
         }},
        {"an item count past the section",
         [](TSaveSections& s) {
             const int32_t count = 3;
             std::memcpy(s.Find("GameArmy")->Bytes.data() + 320 + offsetof(TGameArmy, ItemCount), &count, 4);
         }},
        {"scenario name length 200",
         [](TSaveSections& s) { s.Find("GameHead")->Bytes[offsetof(TSaveHead, LastScenarioName)] = char(200); }},
        {"folder up and out", [](TSaveSections& s) { s.Find("GameScenarioFolder")->Bytes = "..\\..\\\r\n"; }, true},
        {"absolute folder", [](TSaveSections& s) { s.Find("GameScenarioFolder")->Bytes = "\\etc\\\r\n"; }, true},
        {"fewer units", [](TSaveSections& s) { s.Find("GameArmyUnits")->Count = 59; }},
        {"army count past the tables", [](TSaveSections& s) { s.Find("GameArmy")->Count = MapArmyMax + 2; }},
        {"moves not square", [](TSaveSections& s) { s.Find("GameArmyMove")->Count = 15; }},
        {"targets short", [](TSaveSections& s) { s.Find("GameArmyTarget")->Count = 11; }},
        {"element size 0", [](TSaveSections& s) { s.Find("GameBuilding")->Size = 0; }},
        {"no head", [](TSaveSections& s) { s.Remove("GameHead"); }},
    };
    for (const auto& r : rows) {
        TSaveSections sections(File);
        r.Damage(sections);
        sections.Write(damaged);
        MakeSampleWorld();
        GameClock = 1;
        ASSERT_FALSE(Load(damaged)) << r.Case;
        // The check the dumps make finds the damage too.
        TDatFile opened;
        std::string why;
        EXPECT_EQ(opened.Open(damaged) && CheckSavedGame(opened, why), r.Whole) << r.Case;
        EXPECT_EQ(ArmyCount, 3) << r.Case;
        EXPECT_EQ(GameClock, 1) << r.Case;
        EXPECT_EQ(Army(0).Gold, 5) << r.Case;
    }
    std::string bytes = Folder.ReadFile("a.sav");
    bytes.resize(bytes.size() / 2);
    EXPECT_FALSE(Load(Folder.WriteProgramFile("half.sav", bytes)));
    EXPECT_FALSE(Load(Folder.WriteProgramFile("text.sav", std::string(200, 'x'))));
    EXPECT_FALSE(Load(Folder.ProgramPath() + "missing.sav"));
}

TEST_F(SavedGameTest, ElementsOfAnotherSizeAreReadRecordByRecord)
{
    Save(File);
    TSaveSections sections(File);
    // Buildings stored 8 bytes longer: each record takes its own 344.
    TSaveSections::TSection& buildings = *sections.Find("GameBuilding");
    std::string longer;
    for (uint32_t i = 0; i < buildings.Count; ++i)
        longer += buildings.Bytes.substr(i * 344, 344) + std::string(8, '\x7f');
    buildings.Bytes = longer;
    buildings.Size = 352;
    // Points stored one byte each: the second byte of each state is 0.
    TSaveSections::TSection& points = *sections.Find("GamePoint");
    points.Bytes = std::string("\x01\x01\x01", 3);
    points.Size = 1;
    sections.Write(File);
    ASSERT_TRUE(Load(File));
    EXPECT_EQ(BuildingCount, 2);
    EXPECT_EQ(V(GameBuildings[2].Treasury), 100);
    EXPECT_EQ(PointStates[2], (TPointState{1, 0}));
}

TEST_F(SavedGameTest, TutorialFlagsTravelWithTheSave)
{
    MapStory.Tutorial = 1;
    TutorialsList.assign(3, tTutorialsList{});
    TutorialsList[0].Shown = 1;
    TutorialsList[2].Shown = 1;
    Save(File);
    for (tTutorialsList& t : TutorialsList)
        t.Shown = 0;
    TutorialsList.resize(4);
    ASSERT_TRUE(Load(File));
    EXPECT_EQ(TutorialsList[0].Shown, 1);
    EXPECT_EQ(TutorialsList[1].Shown, 0);
    EXPECT_EQ(TutorialsList[2].Shown, 1);
    EXPECT_EQ(TutorialsList[3].Shown, 0);

    MapStory.Tutorial = 0;
    Save(File);
    EXPECT_EQ(TSaveSections(File).Find("TutorialsData"), nullptr);
}

TEST_F(SavedGameTest, TheSaveCarriesTheLogAndThePictures)
{
    BetaLogWriteSettings(1, 2, 3);
    const uint8_t pixels[2 * 3 * 3] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    const TSavePicture picture{2, 3, 24, pixels};
    ASSERT_TRUE(WriteSavedGame(u"x", File, u"", &picture, nullptr, 1.0f));
    WaitForSaveWriter();
    TSaveSections sections(File);
    ASSERT_NE(sections.Find("StatData"), nullptr);
    EXPECT_EQ(sections.Find("StatData")->Bytes.size(), 17u);
    ASSERT_NE(sections.Find("ImageMap"), nullptr);
    EXPECT_EQ(sections.Find("ImageMap")->Bytes, std::string(reinterpret_cast<const char*>(pixels), 18));
    EXPECT_EQ(sections.Find("ImageScreen"), nullptr);
    std::vector<std::string> order;
    for (const auto& s : sections.List)
        order.push_back(s.Name);
    std::vector<std::string> expected;
    for (const char* name : SaveSectionNames)
        if (std::string(name) != "ImageScreen" && std::string(name) != "TutorialsData")
            expected.push_back(name);
    EXPECT_EQ(order, expected);
}

TEST_F(SavedGameTest, ASecondSaveWhileOneIsWrittenIsDropped)
{
    SaveWriterState = 1;
    EXPECT_FALSE(WriteSavedGame(u"x", File, u"", nullptr, nullptr, 1.0f));
    EXPECT_FALSE(FileExistsMask(File));
    SaveWriterState = 0;

    Save(File);
    EXPECT_EQ(SaveWriterState.load(), 0);
    EXPECT_TRUE(CloseSaveWriter());
}

TEST_F(SavedGameTest, AFailedWriteKeepsThePreviousFileAndSaysSo)
{
    Save(File);
    const std::string before = Folder.ReadFile("a.sav");
    // A folder where the file should be: the file can't be replaced.
    const std::string blocked = Folder.ProgramPath() + "blocked.sav";
    Folder.WriteFile("blocked.sav/inside", "x");
    ASSERT_TRUE(WriteSavedGame(u"x", blocked, u"", nullptr, nullptr, 1.0f));
    WaitForSaveWriter();
    EXPECT_TRUE(SaveLastFailed.load());
    EXPECT_EQ(Folder.ReadFile("blocked.sav/inside"), "x");
    Save(File);
    EXPECT_FALSE(SaveLastFailed.load());
    EXPECT_EQ(Folder.ReadFile("a.sav").size(), before.size());
}

TEST_F(SavedGameTest, TheListEntryAndTheScenarioPresence)
{
    Save(File, u"Day 1");
    TSaveFileSummary entry;
    ASSERT_TRUE(ReadSaveFileSummary(File, entry));
    EXPECT_EQ(entry.ScenarioName, "Road");
    EXPECT_EQ(V(entry.Head.Gold), 5);
    EXPECT_EQ(V(entry.Head.GameClock), 987650000);
    EXPECT_FALSE(entry.ScenarioPresent);
    EXPECT_FALSE(IsSavedGameScenarioPresent(File));

    Folder.WriteFile("Scenarios/road.tdm", "x");
    ASSERT_TRUE(ReadSaveFileSummary(File, entry));
    EXPECT_TRUE(entry.ScenarioPresent);
    EXPECT_TRUE(IsSavedGameScenarioPresent(File));

    const struct {
        const char* Folder;
        bool Safe;
    } rows[] = {
        {"", true},        {"\\", true},     {"Mods\\A\\", true}, {"..\\..\\", false}, {"Mods\\..\\..\\x", false},
        {"a/../b", false}, {"\\etc", false}, {"/etc", false},     {"C:\\x", false}};
    TSaveHead head{};
    head.LastScenarioName.Assign("road");
    for (const auto& r : rows)
        EXPECT_EQ(!SavedScenarioFile(head, r.Folder).empty(), r.Safe) << r.Folder;
    EXPECT_EQ(SavedScenarioFile(head, ""), ScenariosFolder + "road.Tdm");
    EXPECT_EQ(SavedScenarioFile(head, "Mods\\A"), ExePath + "Mods\\A\\Scenarios\\road.Tdm");

    EXPECT_FALSE(ReadSaveFileSummary(Folder.WriteProgramFile("t.sav", "not a save"), entry));
    EXPECT_FALSE(IsSavedGameScenarioPresent(Folder.ProgramPath() + "none.sav"));
}

// The map is loaded again only for a save of another scenario, from its
// scenario folder, and the scene is rebuilt in its order.
TEST_F(SavedGameTest, ASaveOfAnotherScenarioLoadsItsMap)
{
    AllocateMapGrids();
    TScenarioBytes scenario;
    scenario.Records("MapStory", {TRecord(832).Put<uint8_t>(811, 1).Put<int32_t>(752, 1440 + 60)});
    scenario.Records("MapInit", {TRecord(364).Put<int32_t>(4, 8)});
    scenario.Records("MapLandscape", Landscape(8));
    scenario.Ansi("MapNames", {"Road", "A road."});
    Folder.WriteFile("Scenarios/other.txt", "");
    scenario.Write(Folder.Path() + "Scenarios/road.Tdm");
    GameStartDate = 0;
    Save(File);

    Scene.Calls.clear();
    ASSERT_TRUE(Load(File));
    std::vector<std::string> rebuild = RebuildCalls();
    EXPECT_EQ(rebuild, (std::vector<std::string>{"ClearArmies 1", "SortMainPass"}));

    LastScenarioName = "elsewhere";
    Scene.Calls.clear();
    ASSERT_TRUE(Load(File));
    EXPECT_EQ(LastScenarioName, "road");
    EXPECT_EQ(GameStartDate, 1440 + 60); // the stored 0 takes the reloaded header's start
    rebuild = RebuildCalls();
    EXPECT_EQ(rebuild, (std::vector<std::string>{"ClearArmies 1", "ClearMapMeshes", "ClearMapPlacements",
                                                 "BuildTerrainModel 1", "BuildTerrainChunkMeshes", "BuildPlantMeshes",
                                                 "PlaceBuildingsAndObjects", "PlaceArmies", "SortMainPass"}));

    LastScenarioName = "elsewhere";
    std::remove((Folder.Path() + "Scenarios/road.Tdm").c_str());
    EXPECT_FALSE(Load(File));
}

// A save whose scenario can't be loaded (missing, or beyond the tables) is
// refused before anything is cleared: the world tables, the scenario in
// memory and the map scene stay as they were.
TEST_F(SavedGameTest, ASaveWhoseScenarioCantBeLoadedLeavesTheWorld)
{
    AllocateMapGrids();
    Save(File);
    const struct {
        const char* Case;
        const char* Scenario; // written as the saved scenario; empty: none
    } rows[] = {{"missing", ""}, {"map larger than the grid", "big"}};
    for (const auto& r : rows) {
        std::remove((Folder.Path() + "Scenarios/road.Tdm").c_str());
        if (std::string(r.Scenario) == "big") {
            TScenarioBytes scenario;
            scenario.Records("MapStory", {TRecord(832).Put<uint8_t>(811, 1)});
            scenario.Records("MapInit", {TRecord(364).Put<int32_t>(4, MapGridSide + 1)});
            Folder.WriteFile("Scenarios/other.txt", "");
            scenario.Write(Folder.Path() + "Scenarios/road.Tdm");
        }
        MakeSampleWorld();
        LastScenarioName = "elsewhere";
        MapStory.Name = u"Elsewhere";
        MapStory.SaveMark = 77;
        MapInit.SaveStamp = 88;
        ScenarioFolder = "Mods\\A";
        const uint32_t world = WorldDigest();
        const TMapStory header = MapStory;
        const TMapInit init = MapInit;
        Scene.Calls.clear();

        EXPECT_FALSE(Load(File)) << r.Case;
        EXPECT_EQ(WorldDigest(), world) << r.Case;
        EXPECT_EQ(std::memcmp(&header, static_cast<const TMapStory*>(&MapStory), sizeof header), 0) << r.Case;
        EXPECT_EQ(std::memcmp(&init, &MapInit, sizeof init), 0) << r.Case;
        EXPECT_EQ(LastScenarioName, "elsewhere") << r.Case;
        EXPECT_TRUE(MapStory.Name == u"Elsewhere") << r.Case;
        EXPECT_EQ(ScenarioFolder, "Mods\\A") << r.Case;
        EXPECT_EQ(RebuildCalls(), std::vector<std::string>{}) << r.Case;
    }
}

// A writer killed at any moment leaves under the save's name either the
// previous save or the new one, whole.
TEST_F(SavedGameTest, AKilledWriterNeverLeavesAPartialFile)
{
    Save(File);
    const uint32_t previous = FileDigest(File);
    Army(0).Gold = 77777;
    const uint32_t next = [&] {
        const std::string other = Folder.ProgramPath() + "next.sav";
        Save(other);
        return FileDigest(other);
    }();
    ASSERT_NE(previous, next);
    for (int round = 0; round < 20; ++round) {
        Army(0).Gold = round % 2 == 0 ? 77777 : 5;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {
                if (WriteSavedGame(u"Day 1", File, u"Ada", nullptr, nullptr, 1.5f))
                    WaitForSaveWriter();
            }
        }
        usleep(static_cast<useconds_t>(1000 + round * 700));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        const uint32_t digest = FileDigest(File);
        EXPECT_TRUE(digest == previous || digest == next) << "round " << round;
        ASSERT_TRUE(Load(File)) << "round " << round;
        MakeSampleWorld(); // the next child saves the world the digests were taken of
    }
    // The killed writers' temporary files go with the next save.
    Save(File);
    for (const auto& entry : std::filesystem::directory_iterator(Folder.Path()))
        EXPECT_NE(entry.path().filename().string().rfind(".a.sav.", 0), 0u) << entry.path();
}

// A save killed at its rename leaves its whole temporary file beside the
// save. The next save of the same file removes those of ended processes; a
// running writer's, another file's and the user's own files stay.
TEST_F(SavedGameTest, ASaveRemovesTheTemporaryFilesOfKilledSaves)
{
    const pid_t ended = fork();
    ASSERT_GE(ended, 0);
    if (ended == 0)
        _exit(0);
    waitpid(ended, nullptr, 0);
    const auto temporary = [](const std::string& name, pid_t pid, int count) {
        char text[300];
        std::snprintf(text, sizeof text, ".%s.%x-%x.tmp", name.c_str(), static_cast<unsigned>(pid),
                      static_cast<unsigned>(count));
        return std::string(text);
    };
    const struct {
        std::string Name;
        bool Stays;
    } rows[] = {
        {temporary("a.sav", ended, 0), false},
        {temporary("a.sav", ended, 0x1f), false},
        {temporary("a.sav", getpid(), 0xfff), true}, // a writer that still runs
        {temporary("b.sav", ended, 0), true},        // another file's
        {temporary("a.sav.1", ended, 0), true},      // and here too
        {".a.sav.tmp", true},
        {"a.sav.tmp", true},
        {".a.sav.x-0.tmp", true},
    };
    for (const auto& r : rows)
        Folder.WriteProgramFile(r.Name, "whole save");
    Save(File);
    for (const auto& r : rows)
        EXPECT_EQ(std::filesystem::exists(Folder.Path() + r.Name), r.Stays) << r.Name;
    EXPECT_TRUE(Load(File));
}

TEST(SavedGameThreadTest, TheFrameHookClosesTheWriterWhileSavesAreAskedFor)
{
    TTempFolder folder;
    const std::string file = folder.ProgramPath() + "t.sav";
    ResetWorldTables();
    SizeWorldTables(2, 2);
    std::atomic<bool> done{false};
    std::thread frames([&] {
        while (!done.load())
            CloseSaveWriter();
    });
    int started = 0;
    for (int i = 0; i < 40; ++i) {
        GameArmies[0].Gold = i;
        if (WriteSavedGame(u"x", file, u"", nullptr, nullptr, 1.0f))
            ++started;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    WaitForSaveWriter();
    done = true;
    frames.join();
    EXPECT_GT(started, 0);
    EXPECT_EQ(SaveWriterState.load(), 0);
    TSaveFileSummary entry;
    EXPECT_TRUE(ReadSaveFileSummary(file, entry));
    ResetWorldTables();
}

} // namespace

// The saved games' lists in a temporary folder: file names, autosave
// rotation, the newest save to continue, listing, quick save numbers and
// the writer's refusals. No window exists here, so no rows are built.
#include "screens/map/Duskmarch_SavedGames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "model/Support.h"
#include "model/save/SavedGame.h"
#include "platform/os/OS.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "tests/model/WorldTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

// The fixed local clock: each reading is one minute after the last.
int32_t SavedGamesClockMinutes = 0;
TOSLocalTime SavedGamesClock()
{
    const int32_t m = SavedGamesClockMinutes++;
    return TOSLocalTime{2026, 3, 4 + m / 1440, (m / 60) % 24, m % 60, 0, 0};
}

class SavedGamesTest : public TWorldTest {
protected:
    TTempFolder Folder;
    std::string SavedSaves;

    void SetUp() override
    {
        TWorldTest::SetUp();
        SetGameFolders(Folder.ProgramPath());
        SavedSaves = SavesFolder;
        SavesFolder = Folder.ProgramPath() + "Saves\\";
        OS_CreateDirectoryTree(SavesFolder);
        Folder.WriteFile("Scenarios/road.tdm", "x");
        MakeWorld(1, 1);
        Army(0).Gold = 321;
        Army(0).PersonageCount = 4;
        LastScenarioName = "road";
        MapStory.Name = u"Road";
        LoadedScenarioName.clear();
        GameClock = (2 * 1440 + 75) * int64_t{10000};
        GameStartDate = 3 * 1440 + 600;
        CurrentUserName = "Ada";
        SaveWriterSynchronous = true;
        SaveLastFailed = false;
        SaveCounter = 0;
        QuicksaveCounter = 0;
        SavedGamesClockMinutes = 0;
        OS_SetLocalTimeSource(SavedGamesClock);
        ClearSavedGames();
    }
    void TearDown() override
    {
        WaitForSaveWriter();
        ClearSavedGames();
        OS_SetLocalTimeSource(nullptr);
        SaveWriterSynchronous = false;
        SavesFolder = SavedSaves;
        TWorldTest::TearDown();
    }
    bool SaveExists(const std::string& name) const
    {
        return std::filesystem::exists(Folder.Path() + "/Saves/" + name);
    }
    static std::vector<std::string> FileNames(const TSavedGameArr& list)
    {
        std::vector<std::string> names;
        for (const TSavedGameEntry& e : list)
            names.push_back(e.FileName);
        return names;
    }
    void Touch(const std::string& name, int32_t secondsAgo)
    {
        std::filesystem::last_write_time(Folder.Path() + "/Saves/" + name,
                                         std::filesystem::file_time_type::clock::now() -
                                             std::chrono::seconds(secondsAgo));
    }
};

TEST_F(SavedGamesTest, FileNamesFromDisplayNames)
{
    const struct {
        std::u16string Display;
        std::string File;
    } rows[] = {
        {u"a:b/c", "a-b_c.sav"},
        {u"q\"u'o|t\\e", "q_u_o_t_e.sav"},
        {std::u16string(u"tab\tnew\x01line"), "tab_new_line.sav"},
        {u"game.sav", "game.sav"},    // the extension in the name is cut, then added
        {u"my.sav copy", "my.sav .sav"}, // cut from the end by its length, wherever it stood
        {u"Plain", "Plain.sav"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SaveFileNameFor(row.Display, ".sav"), row.File);

    // Repeats, and the 58-character cut of SaveGame.
    for (int i = 0; i < 3; i++)
        ASSERT_TRUE(SaveGame(u"a:b/c", true, -1));
    EXPECT_EQ(FileNames(PrivateSaves), (std::vector<std::string>{"a-b_c.sav", "a-b_c[1].sav", "a-b_c[2].sav"}));
    ASSERT_TRUE(SaveGame(std::u16string(70, u'x'), true, -1));
    EXPECT_EQ(PrivateSaves.back().FileName, std::string(58, 'x') + ".sav");
    EXPECT_EQ(PrivateSaves.back().DisplayName, std::u16string(58, u'x'));
    EXPECT_FALSE(SaveGame(u"", true, -1));
    EXPECT_EQ(PrivateSaves.size(), 4u);
    EXPECT_EQ(SaveCounter, 4);
}

TEST_F(SavedGamesTest, NamesAndTheNewEntry)
{
    EXPECT_EQ(SaveDisplayName(), u"Ada (2026-03-04 00-00)");
    EXPECT_EQ(AutosaveName(7), u"Ada 007 (autosave)");
    EXPECT_EQ(QuicksaveName(12), u"Ada 012 (quicksave)");
    EXPECT_EQ(SaveGameMinutes(GameClock, GameStartDate), (2 + 3) * 1440 + 75);

    ASSERT_TRUE(SaveGame(u"Before the bridge", true, -1));
    const TSavedGameEntry& e = PrivateSaves.back();
    EXPECT_EQ(e.FileName, "Before the bridge.sav");
    EXPECT_EQ(e.ScenarioName, u"Road");
    EXPECT_EQ(e.Gold, 321);
    EXPECT_EQ(e.Personages, 4);
    EXPECT_EQ(e.HeaderValue, 0);
    EXPECT_EQ(e.Year, 2026);
    EXPECT_EQ(e.Month, 3);
    EXPECT_TRUE(SaveExists("Before the bridge.sav"));

    // Read back from the folder: the stored name is the file's name.
    ScanSavedGames();
    ASSERT_EQ(PrivateSaves.size(), 1u);
    EXPECT_EQ(PrivateSaves[0].DisplayName, u"Before the bridge.sav");
    EXPECT_EQ(PrivateSaves[0].Gold, 321);
    EXPECT_EQ(PrivateSaves[0].Personages, 4);
    EXPECT_EQ(PrivateSaves[0].GameMinutes, (2 + 3) * 1440 + 75);
    EXPECT_EQ(PrivateSaves[0].ScenarioName, u"Road");
}

TEST_F(SavedGamesTest, AutosavesRotatePerUser)
{
    for (int i = 0; i < 12; i++)
        Autosave();
    CurrentUserName = "Bo";
    for (int i = 0; i < 3; i++)
        Autosave();
    ASSERT_EQ(AutoSaves.size(), 15u);
    EXPECT_EQ(AutoSaves[0].FileName, "Ada 001 (autosave).sav");
    EXPECT_EQ(AutoSaves[11].FileName, "Ada 012 (autosave).sav");
    EXPECT_EQ(AutoSaves[14].FileName, "Bo 003 (autosave).sav");
    const std::vector<std::string> before = FileNames(AutoSaves);

    CurrentUserName = "Ada";
    Autosave();
    // The oldest of Ada's was rewritten under its own name; Bo's are untouched.
    EXPECT_EQ(FileNames(AutoSaves), before);
    EXPECT_EQ(AutoSaves[0].DisplayName, u"Ada 001 (autosave).sav");
    EXPECT_GT(AutoSaves[0].FileTime, AutoSaves[14].FileTime);
    EXPECT_FALSE(SaveExists("Ada 013 (autosave).sav"));
    EXPECT_FALSE(SaveExists("Ada 001 (autosave)[1].sav"));
    Autosave();
    EXPECT_EQ(AutoSaves[1].DisplayName, u"Ada 002 (autosave).sav");
    EXPECT_EQ(AutoSaves.size(), 15u);

    CurrentUserName = "Bo";
    Autosave();
    EXPECT_EQ(AutoSaves.back().FileName, "Bo 004 (autosave).sav");
}

TEST_F(SavedGamesTest, TheNewestSaveToContinue)
{
    auto entry = [](const std::string& file, int64_t time, const std::u16string& scenario) {
        TSavedGameEntry e;
        e.FileName = file;
        e.FileTime = time;
        e.ScenarioName = scenario;
        return e;
    };
    const struct {
        const char* Case;
        std::vector<TSavedGameEntry> Own, Auto;
        bool Loaded;
        std::string Expected;
    } rows[] = {
        {"own newer", {entry("Ada a.sav", 20, u"Road")}, {entry("Ada 001 (autosave).sav", 10, u"Road")}, false, "Ada a.sav"},
        {"auto newer", {entry("Ada a.sav", 10, u"Road")}, {entry("Ada 001 (autosave).sav", 20, u"Road")}, false,
         "Ada 001 (autosave).sav"},
        {"equal: the autosave", {entry("Ada a.sav", 20, u"Road")}, {entry("Ada 001 (autosave).sav", 20, u"Road")},
         false, "Ada 001 (autosave).sav"},
        {"another scenario filtered out",
         {entry("Ada a.sav", 10, u"Road"), entry("Ada b.sav", 30, u"Hills")},
         {},
         true,
         "Ada a.sav"},
        {"the last entry of the list, not the newest",
         {entry("Ada new.sav", 30, u"Road"), entry("Ada old.sav", 10, u"Road")},
         {},
         false,
         "Ada old.sav"},
        {"another user's", {entry("Bo a.sav", 10, u"Road")}, {}, false, ""},
        {"none", {}, {}, true, ""},
    };
    for (const auto& row : rows) {
        PrivateSaves = row.Own;
        AutoSaves = row.Auto;
        LoadedScenarioName = row.Loaded ? "road" : "";
        EXPECT_EQ(FindLatestSave(), row.Expected) << row.Case;
    }
    PrivateSaves.clear();
    AutoSaves.clear();
}

TEST_F(SavedGamesTest, ListingTheFolder)
{
    ASSERT_TRUE(SaveGame(u"Ada x", true, -1));
    ClearSavedGames();
    const std::string bytes = Folder.ReadFile("Saves/Ada x.sav");
    Folder.WriteFile("Saves/UPPER.SAV", bytes);
    Folder.WriteFile("Saves/Ada 005 (AutoSave).sav", bytes);
    Folder.WriteFile("Saves/notes.txt", "x");
    Folder.WriteFile("Saves/broken.sav", "not a save");
    Folder.WriteFile("Saves/Ada 009 (quicksave).sav", bytes);
    Folder.WriteFile("Saves/Ada Lovelace 011 (quicksave).sav", bytes);
    Folder.WriteFile("Saves/Bo 050 (quicksave).sav", bytes);
    ScanSavedGames();
    EXPECT_EQ(FileNames(AutoSaves), std::vector<std::string>{"Ada 005 (AutoSave).sav"});
    std::vector<std::string> own = FileNames(PrivateSaves);
    std::sort(own.begin(), own.end());
    EXPECT_EQ(own, (std::vector<std::string>{"Ada 009 (quicksave).sav", "Ada Lovelace 011 (quicksave).sav",
                                             "Ada x.sav", "Bo 050 (quicksave).sav", "UPPER.SAV", "broken.sav"}));
    // Stored names are the original file's; quick save numbers come from
    // the display names, which here all read "Ada x.sav": none.
    EXPECT_EQ(QuicksaveCounter, 0);
    for (const TSavedGameEntry& e : PrivateSaves)
        if (e.FileName == "broken.sav") {
            EXPECT_EQ(e.ScenarioName, u"FileCorrupt");
            EXPECT_EQ(e.DisplayName, u"broken.sav");
            EXPECT_EQ(e.Gold, -1);
            EXPECT_EQ(e.Personages, -1);
            EXPECT_EQ(e.HeaderValue, -1);
        }

    // A save whose scenario is gone reads as unreadable too.
    std::filesystem::remove(Folder.Path() + "/Scenarios/road.tdm");
    ScanSavedGames();
    for (const TSavedGameEntry& e : PrivateSaves)
        EXPECT_EQ(e.Personages, -1) << e.FileName;
}

TEST_F(SavedGamesTest, QuicksaveNumbersAndUserNamesWithBlanks)
{
    CurrentUserName = "Ada Lovelace";
    ASSERT_TRUE(Quicksave());
    ASSERT_TRUE(Quicksave());
    EXPECT_EQ(PrivateSaves.back().FileName, "Ada Lovelace 002 (quicksave).sav");
    PrivateSaves.push_back({});
    PrivateSaves.back().DisplayName = u"Ada Lovelace 017 (quicksave)";
    PrivateSaves.push_back({});
    PrivateSaves.back().DisplayName = u"Bo 090 (quicksave)"; // another user
    PrivateSaves.push_back({});
    PrivateSaves.back().DisplayName = u"Ada Lovelace (quicksave)"; // no number
    EXPECT_EQ(FindQuicksaveCounter(), 17);
}

TEST_F(SavedGamesTest, ASaveDuringAWriteWaitsForIt)
{
    SaveWriterSynchronous = false;
    ASSERT_TRUE(SaveGame(u"First", true, -1));
    ASSERT_TRUE(SaveGame(u"Second", true, -1)); // the first may still be written
    WaitForSaveWriter();
    EXPECT_TRUE(SaveExists("First.sav"));
    EXPECT_TRUE(SaveExists("Second.sav"));
    EXPECT_EQ(FileNames(PrivateSaves), (std::vector<std::string>{"First.sav", "Second.sav"}));
    EXPECT_EQ(SaveCounter, 2);
}

TEST_F(SavedGamesTest, AFailedWriteLosesItsRowAndNothingElse)
{
    ASSERT_TRUE(SaveGame(u"Kept", true, -1));
    for (int i = 0; i < 2; i++)
        Autosave();
    // The folder can't be made: a file stands where it should be.
    SavesFolder = Folder.ProgramPath() + "blocker\\Saves\\";
    Folder.WriteFile("blocker", "x");
    EXPECT_TRUE(SaveGame(u"Lost", true, -1)); // accepted, then failed
    EXPECT_TRUE(SaveLastFailed.load());
    EXPECT_EQ(FileNames(PrivateSaves), std::vector<std::string>{"Kept.sav"});
    // A failed rotation keeps the rotated row: its file is the old one.
    SavesFolder = Folder.ProgramPath() + "Saves\\";
    for (int i = 0; i < 10; i++)
        Autosave();
    const std::string bytes = Folder.ReadFile("Saves/Ada 001 (autosave).sav");
    SavesFolder = Folder.ProgramPath() + "blocker\\Saves\\";
    Autosave();
    EXPECT_EQ(AutoSaves.size(), 12u);
    SavesFolder = Folder.ProgramPath() + "Saves\\";
    EXPECT_EQ(Folder.ReadFile("Saves/Ada 001 (autosave).sav"), bytes);
}

TEST_F(SavedGamesTest, DeletingAnEntry)
{
    for (const char16_t* name : {u"One", u"Two", u"Three"})
        ASSERT_TRUE(SaveGame(name, true, -1));
    DeleteSaveEntry(PrivateSaves, 1);
    EXPECT_EQ(FileNames(PrivateSaves), (std::vector<std::string>{"One.sav", "Three.sav"}));
    EXPECT_FALSE(SaveExists("Two.sav"));
    EXPECT_TRUE(SaveExists("Three.sav"));
    DeleteSaveEntry(PrivateSaves, 5); // out of range: nothing
    EXPECT_EQ(PrivateSaves.size(), 2u);
}

TEST_F(SavedGamesTest, SortingIsStableOldestFirst)
{
    TSavedGameArr list(4);
    const int64_t times[] = {30, 10, 30, 10};
    for (size_t i = 0; i < list.size(); i++) {
        list[i].FileTime = times[i];
        list[i].FileName = std::to_string(i);
    }
    SortSaveList(list);
    EXPECT_EQ(FileNames(list), (std::vector<std::string>{"1", "3", "0", "2"}));
}

} // namespace

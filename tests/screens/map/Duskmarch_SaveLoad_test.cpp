// The save/load window: its layout rules, and under the screen harness the
// rows of a real save folder, loading, saving over the map menu's
// placeholder, cancelling, deleting and refusing unreadable saves.
#include "screens/map/Duskmarch_SaveLoad.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "model/Support.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "tests/screens/ScreenHarness.h"

namespace {

TEST(SaveLoadLayoutTest, RowsSnappingAndScrollStep)
{
    const TSaveListRegion region{100, 200, 860, 400};
    // Three rows fit: the last on top, 94 apart, centred.
    const struct {
        int32_t I, N;
        float Position;
        int32_t Y;
        bool Visible, Enabled;
    } rows[] = {
        {2, 3, 0, 216, true, true},
        {1, 3, 0, 310, true, true},
        {0, 3, 0.7f, 404, true, true}, // all fit: the position does nothing
        // Twelve rows in 400 pixels: 1128 + 32 - 400 - 8 = 752 pixels of travel.
        {11, 12, 0, 216, true, true},
        {8, 12, 0, 498, true, true},   // touching the lower edge (498 + 86 = 584)
        {7, 12, 0, 592, false, false}, // wholly below
        {11, 12, 0.1f, 141, true, false}, // cut by the upper edge
        {0, 12, 1, 1250 - 752, true, true},
        {11, 12, 1, 216 - 752, false, false},
        {5, 12, 0.5f, 216 + 6 * 94 - 376, true, true},
    };
    for (const auto& r : rows) {
        const TSaveRowPlace p = SaveRowPlace(region, r.I, r.N, r.Position);
        EXPECT_EQ(p.X, 129) << r.I << "/" << r.N;
        EXPECT_EQ(p.Y, r.Y) << r.I << "/" << r.N << " at " << r.Position;
        EXPECT_EQ(p.Visible, r.Visible) << r.I << "/" << r.N << " at " << r.Position;
        EXPECT_EQ(p.Enabled, r.Enabled) << r.I << "/" << r.N << " at " << r.Position;
    }
    // Snapping to whole rows from ten rows on: 12 rows, 4 steps.
    EXPECT_FLOAT_EQ(SnapSaveListPosition(12, 0.3f), 0.25f);
    EXPECT_FLOAT_EQ(SnapSaveListPosition(12, 0.4f), 0.5f);
    EXPECT_FLOAT_EQ(SnapSaveListPosition(9, 0.3f), 0.3f);
    // The step: one over the rows that don't fit ((400 + 8) div 94 = 4 fit).
    EXPECT_FLOAT_EQ(SaveListScrollStep(12, 400), 1.0f / 8);
    EXPECT_FLOAT_EQ(SaveListScrollStep(4, 400), 0);
}

TEST(SaveLoadLayoutTest, TheDateLine)
{
    for (int32_t i = 0; i < 12; i++)
        MonthNames[i] = u"M" + std::u16string(1, static_cast<char16_t>(u'a' + i));
    TSavedGameEntry e;
    e.Day = 7;
    e.Month = 3;
    e.Year = 2026;
    e.GameMinutes = 5 * 1440 + 9 * 60 + 5;
    EXPECT_EQ(SaveDateLine(e), u"09:05 7 Mc 2026");
    e.GameMinutes = 0;
    EXPECT_EQ(SaveDateLine(e), u"");
    e.GameMinutes = 10;
    e.Month = 0;
    EXPECT_EQ(SaveDateLine(e), u"");
    for (std::u16string& name : MonthNames)
        name.clear();
}

TOSLocalTime SaveLoadClock()
{
    static int32_t minutes = 0;
    const int32_t m = minutes++;
    return TOSLocalTime{2026, 5, 1 + m / 1440, (m / 60) % 24, m % 60, 0, 0};
}

class SaveLoadScreenTest : public TScreenHarness {
protected:
    void SetUp() override
    {
        TScreenHarness::SetUp();
        OS_SetLocalTimeSource(SaveLoadClock);
        SaveWriterSynchronous = true;
    }
    void TearDown() override
    {
        if (SaveLoadWindow != nullptr) {
            GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), SaveLoadWindow),
                                  GUI_OpenWindows.end());
            SaveLoadScreen_Free();
            delete SaveLoadWindow;
            SaveLoadWindow = nullptr;
            SaveLoad_Window = nullptr;
        }
        PlaceholderSaveFile.clear();
        SaveWriterSynchronous = false;
        OS_SetLocalTimeSource(nullptr);
        PendingSave.clear();
        TScreenHarness::TearDown();
    }
    // A folder of saves of a scenario whose map file is there.
    bool StartWithSaves()
    {
        if (!Start())
            return false;
        LastScenarioName = "Harness";
        MapStory.Name = u"The Harness Road";
        OS_CreateDirectoryTree(ScenariosFolder);
        const char map[] = "map";
        OS_WriteFileAtomic(ScenariosFolder + "Harness.Tdm", map, sizeof map);
        UserFolder = GameFolder + "User\\";
        CurrentUserName = "Tester";
        SaveLoadScreen_Create();
        return SaveLoadWindow != nullptr;
    }
    std::string SavePath(const std::string& name) const
    {
        return OS_ResolvePath(SavesFolder + name);
    }
    void ClickRow(const TSavedGameEntry& entry)
    {
        Move(entry.Row->X + 200, entry.Row->Y + 40);
        WaitFrames(2);
        Press();
        WaitFrames(1);
        Release();
        WaitFrames(2);
    }
    void ClickControl(const char* name)
    {
        TGUI_Object* o = Control(*SaveLoadWindow, name);
        ASSERT_NE(o, nullptr) << name;
        Move(o->X + o->Width / 2, o->Y + o->Height / 2);
        WaitFrames(2);
        Press();
        WaitFrames(1);
        Release();
        WaitFrames(2);
    }
};

bool RowPaper(uint32_t rgb)
{
    // The rows' light parchment.
    return ((rgb >> 16) & 255) > 180 && ((rgb >> 8) & 255) > 150 && (rgb & 255) > 90 && (rgb & 255) < 200;
}
bool DarkText(uint32_t rgb)
{
    return ((rgb >> 16) & 255) < 90 && ((rgb >> 8) & 255) < 90 && (rgb & 255) < 90;
}

TEST_F(SaveLoadScreenTest, LoadingShowsRowsAndRefusesUnreadableSaves)
{
    ASSERT_TRUE(StartWithSaves());
    GameClock = (3 * 1440 + 8 * 60 + 30) * int64_t{10000};
    GameStartDate = 1440;
    ASSERT_TRUE(SaveGame(u"Before the bridge", true, -1));
    ASSERT_TRUE(SaveGame(u"At the mill", true, -1));
    const char junk[] = "not a save";
    OS_WriteFileAtomic(SavesFolder + "Damaged.sav", junk, sizeof junk);
    ScanSavedGames();
    ASSERT_EQ(PrivateSaves.size(), 3u);

    SaveLoadScreen_SetMode(SaveLoadOwn);
    OpenScreen(SaveLoad_Window, &SaveLoadHotkeyHeld);
    WaitFrames(3);
    ASSERT_TRUE(IsOpen(SaveLoad_Window));
    Shot("load_window");
    // Rows stacked from the region's top, each on its paper, with its name.
    for (size_t i = 0; i < PrivateSaves.size(); i++) {
        const TGUI_Button* row = PrivateSaves[i].Row;
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->Y, SaveListRegion.Y + 16 + static_cast<int32_t>(PrivateSaves.size() - i - 1) * 94);
        EXPECT_GT(Count(row->X + 10, row->Y + 10, row->X + 790, row->Y + 76, RowPaper), 20000) << i;
        EXPECT_GT(Count(row->X + 200, row->Y + 12, row->X + 600, row->Y + 40, DarkText), 40) << i;
    }

    // The damaged save: selected and deletable, never loaded.
    TSavedGameEntry* damaged = nullptr;
    for (TSavedGameEntry& e : PrivateSaves)
        if (e.FileName == "Damaged.sav")
            damaged = &e;
    ASSERT_NE(damaged, nullptr);
    EXPECT_EQ(damaged->Personages, -1);
    ClickRow(*damaged);
    EXPECT_EQ(PrivateSaves[static_cast<size_t>(SelectedSave)].FileName, "Damaged.sav");
    SaveLoadScreen_Accept(nullptr);
    EXPECT_TRUE(PendingSave.empty());
    EXPECT_TRUE(IsOpen(SaveLoad_Window));
    ClickControl("b_D");
    EXPECT_FALSE(std::filesystem::exists(SavePath("Damaged.sav")));
    EXPECT_EQ(PrivateSaves.size(), 2u);
    EXPECT_EQ(SelectedSave, -1);

    // A readable one loads.
    ClickRow(PrivateSaves[0]);
    const std::string chosen = PrivateSaves[0].FileName;
    KeyDown(13);
    WaitFrames(1);
    KeyUp(13);
    WaitFrames(2);
    EXPECT_EQ(PendingSave, chosen);
    EXPECT_EQ(SaveCounter, 1);
}

TEST_F(SaveLoadScreenTest, ThePlaceholderComesAndGoesAlone)
{
    ASSERT_TRUE(StartWithSaves());
    ASSERT_TRUE(SaveGame(u"New Save 2", true, -1));
    ASSERT_TRUE(SaveGame(u"New Save before the bridge", true, -1));
    ASSERT_TRUE(SaveGame(u"Tester 001 (autosave)", false, -1));

    // The map menu's save: the placeholder is written at once.
    auto openForSave = [&] {
        SaveLoadScreen_SetMode(SaveLoadSave);
        ASSERT_TRUE(SaveGame(PlaceholderSaveName, true, -1));
        PlaceholderSaveFile = PrivateSaves.back().FileName;
        SelectedSave = -1;
        ResetSaveListButtons();
        OpenScreen(SaveLoad_Window, &SaveLoadHotkeyHeld);
        WaitFrames(3);
    };
    openForSave();
    EXPECT_EQ(PlaceholderSaveFile, "New Save.sav");
    EXPECT_TRUE(std::filesystem::exists(SavePath("New Save.sav")));
    ClickControl("b_No");
    EXPECT_FALSE(IsOpen(SaveLoad_Window));
    EXPECT_FALSE(std::filesystem::exists(SavePath("New Save.sav")));
    for (const char* kept : {"New Save 2.sav", "New Save before the bridge.sav", "Tester 001 (autosave).sav"})
        EXPECT_TRUE(std::filesystem::exists(SavePath(kept))) << kept;

    // Accept with a typed name.
    openForSave();
    ClickRow(PrivateSaves.back());
    SetSaveNameEditText(u"Before the bridge");
    WaitFrames(2);
    Shot("save_window");
    const int32_t before = SaveCounter;
    KeyDown(13);
    WaitFrames(1);
    KeyUp(13);
    WaitFrames(2);
    EXPECT_FALSE(IsOpen(SaveLoad_Window));
    EXPECT_TRUE(std::filesystem::exists(SavePath("Before the bridge.sav")));
    EXPECT_FALSE(std::filesystem::exists(SavePath("New Save.sav")));
    for (const char* kept : {"New Save 2.sav", "New Save before the bridge.sav", "Tester 001 (autosave).sav"})
        EXPECT_TRUE(std::filesystem::exists(SavePath(kept))) << kept;
    EXPECT_EQ(SaveCounter, before + 2); // the new save, and the window's save
    EXPECT_EQ(AutoSaves.size(), 1u);

    // An overwrite keeps the file's name; after a restart its row shows it.
    openForSave();
    TSavedGameEntry* target = nullptr;
    for (TSavedGameEntry& e : PrivateSaves)
        if (e.FileName == "New Save 2.sav")
            target = &e;
    ASSERT_NE(target, nullptr);
    ClickRow(*target);
    SaveLoadScreen_Accept(nullptr);
    EXPECT_FALSE(std::filesystem::exists(SavePath("New Save.sav")));
    EXPECT_FALSE(std::filesystem::exists(SavePath("New Save 2[1].sav")));
    ScanSavedGames();
    bool found = false;
    for (const TSavedGameEntry& e : PrivateSaves)
        if (e.FileName == "New Save 2.sav") {
            found = true;
            EXPECT_EQ(e.DisplayName, u"New Save 2");
        }
    EXPECT_TRUE(found);
}

TEST_F(SaveLoadScreenTest, TwelveRowsScrollAndSnap)
{
    ASSERT_TRUE(StartWithSaves());
    for (int i = 0; i < 12; i++)
        ASSERT_TRUE(SaveGame(u"Row " + std::u16string(1, static_cast<char16_t>(u'A' + i)), true, -1));
    SaveLoadScreen_SetMode(SaveLoadOwn);
    OpenScreen(SaveLoad_Window, &SaveLoadHotkeyHeld);
    WaitFrames(2);
    const float step = SaveListScrollStep(12, SaveListRegion.Height);
    ASSERT_GT(step, 0);
    // The newest row on top; the oldest out of sight.
    EXPECT_EQ(PrivateSaves.back().Row->Visible, 1);
    EXPECT_EQ(PrivateSaves.front().Row->Visible, 0);
    // The wheel over the list: down scrolls one step towards the oldest.
    Move(SaveListRegion.X + 400, SaveListRegion.Y + 300);
    WaitFrames(1);
    Wheel(-1);
    WaitFrames(2);
    EXPECT_FLOAT_EQ(SaveListPosition, step);
    for (int i = 0; i < 20; i++) {
        Wheel(-1);
        WaitFrames(1);
    }
    EXPECT_FLOAT_EQ(SaveListPosition, 1);
    EXPECT_EQ(PrivateSaves.front().Row->Visible, 1);
    EXPECT_EQ(PrivateSaves.front().Row->Enabled, 1);
    Shot("save_list_scrolled");
}

} // namespace

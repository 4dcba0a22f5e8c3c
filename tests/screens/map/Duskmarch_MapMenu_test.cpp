// The map menu under the screen harness: the restart button by the start
// save's presence, restarting, continuing with Esc, the save button's
// placeholder and leaving for the main menu.
#include "screens/map/Duskmarch_MapMenu.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "model/Support.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/map/Duskmarch_SaveLoad.h"
#include "tests/screens/ScreenHarness.h"

namespace {

class MapMenuScreenTest : public TScreenHarness {
protected:
    void TearDown() override
    {
        for (TGUI_GraphicWindow** w : {&MapMenu_Window, &SaveLoadWindow}) {
            if (*w == nullptr)
                continue;
            GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), *w),
                                  GUI_OpenWindows.end());
            if (*w == SaveLoadWindow)
                SaveLoadScreen_Free();
            delete *w;
            *w = nullptr;
        }
        SaveLoad_Window = nullptr;
        PlaceholderSaveFile.clear();
        StartSaveName.clear();
        SaveWriterSynchronous = false;
        PendingSave.clear();
        SaveCounter = 0;
        MapFrozen = 0;
        TScreenHarness::TearDown();
    }
    bool StartMenu()
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
        SaveWriterSynchronous = true;
        SaveLoadScreen_Create();
        MapMenuScreen_Create();
        return MapMenu_Window != nullptr;
    }
    void OpenMenu()
    {
        OpenScreen(MapMenu_Window, &MapMenuHotkeyHeld);
        MapFrozen = 1;
        WaitFrames(3);
    }
    void Click(const char* name)
    {
        TGUI_Object* o = Control(*MapMenu_Window, name);
        ASSERT_NE(o, nullptr) << name;
        Move(o->X + o->Width / 2, o->Y + o->Height / 2);
        WaitFrames(2);
        Press();
        WaitFrames(1);
        Release();
        WaitFrames(2);
    }
};

TEST_F(MapMenuScreenTest, RestartFollowsTheStartSave)
{
    ASSERT_TRUE(StartMenu());
    const struct {
        const char* Case;
        std::string Name;
        bool Write;
        bool Enabled;
    } rows[] = {{"no start save name", "", false, false},
                {"its file is missing", "Tester123", false, false},
                {"its file is there", "Tester456", true, true}};
    for (const auto& row : rows) {
        StartSaveName = row.Name;
        if (row.Write)
            ASSERT_TRUE(WriteStartSave(row.Name));
        OpenMenu();
        EXPECT_EQ(Control(*MapMenu_Window, "b_RestartScenario")->Enabled, row.Enabled ? 1 : 0) << row.Case;
        if (row.Enabled)
            Shot("map_menu");
        // Esc continues the game.
        KeyDown(27);
        WaitFrames(1);
        KeyUp(27);
        WaitFrames(2);
        EXPECT_FALSE(IsOpen(MapMenu_Window)) << row.Case;
        EXPECT_EQ(MapFrozen, 0) << row.Case;
    }

    SaveCounter = 0;
    OpenMenu();
    Click("b_RestartScenario");
    EXPECT_EQ(SaveCounter, 1);
    EXPECT_EQ(PendingSave, "Tester456.startscenario");
}

TEST_F(MapMenuScreenTest, SaveWritesThePlaceholderAndOpensTheSaveWindow)
{
    ASSERT_TRUE(StartMenu());
    OpenMenu();
    Click("b_SaveGame");
    WaitFrames(2);
    EXPECT_FALSE(IsOpen(MapMenu_Window));
    EXPECT_TRUE(IsOpen(SaveLoad_Window));
    EXPECT_EQ(SaveLoadMode, SaveLoadSave);
    EXPECT_EQ(PlaceholderSaveFile, "New Save.sav");
    EXPECT_TRUE(std::filesystem::exists(OS_ResolvePath(SavesFolder + "New Save.sav")));
    TGUI_Object* cancel = Control(*SaveLoadWindow, "b_No");
    Move(cancel->X + cancel->Width / 2, cancel->Y + cancel->Height / 2);
    WaitFrames(2);
    Press();
    WaitFrames(1);
    Release();
    WaitFrames(2);
    EXPECT_FALSE(IsOpen(SaveLoad_Window));
    EXPECT_FALSE(std::filesystem::exists(OS_ResolvePath(SavesFolder + "New Save.sav")));

    // Load opens the same window on the own saves.
    OpenMenu();
    Click("b_LoadGame");
    WaitFrames(2);
    EXPECT_TRUE(IsOpen(SaveLoad_Window));
    EXPECT_EQ(SaveLoadMode, SaveLoadOwn);
}

TEST_F(MapMenuScreenTest, ExitToTheMenuHoldsTheMenuMusic)
{
    ASSERT_TRUE(StartMenu());
    OpenMenu();
    const int32_t before = GUI_Now();
    Click("b_ExitToMenu");
    EXPECT_FALSE(IsOpen(MapMenu_Window));
    EXPECT_EQ(MapFrozen, 1);
    EXPECT_GE(NextMusicChange, before + 10000000);
}

} // namespace

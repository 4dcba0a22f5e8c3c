// The hero window on the screen harness: the buttons a header offers, the
// name typed into the edit kept when the chosen hero is clicked again, the
// coat across coat arrows and a reopening, and Yes only with a hero.
#include "screens/front/Duskmarch_SelectHero.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "model/Support.h"
#include "model/scenario/ScenarioMap.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_SelectScenario.h"
#include "tests/screens/ScreenHarness.h"
#include "tools/dmtool/MakeScenario.h"

namespace {

class SelectHeroWindowTest : public TScreenHarness {
protected:
    void TearDown() override
    {
        if (Started) {
            StandardScenarios.Clear();
            SelectedScenario = -1;
            HeroIndex = 0;
            if (SelectHeroWindow != nullptr) {
                GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), SelectHeroWindow),
                                      GUI_OpenWindows.end());
                TGUI_GraphicWindow* window = SelectHeroWindow;
                // The objects the window's creation added in code are its
                // creator's to free.
                for (const char* name : {"l_HeroDescription", "e_HeroName"})
                    if (TGUI_Object* object = window->FindObject(name)) {
                        window->RemoveObject(object);
                        delete object;
                    }
                SelectHeroScreen_WindowHandler(GUI_STATE_DESTROY, window);
                delete window;
            }
        }
        TScreenHarness::TearDown();
    }

    // A scenario offering only the mystic, the list's one entry.
    void MysticOnlyScenario()
    {
        TScenarioSource source = BuildSampleScenario(ScenarioSizeMin, 0, "");
        for (int k = 1; k <= 6; k++)
            source.Header.HeroAvailable[k] = 0;
        source.Header.HeroAvailable[2] = 1;
        ASSERT_TRUE(WriteScenarioFile(source, Folder.WriteFile("S/m.Tdm", "")));
        StandardScenarios.Clear();
        UseUserScenarioList = 0;
        StandardScenarios.Folders.push_back(Folder.ProgramPath() + "S\\");
        StandardScenarios.FileNames.push_back("m.Tdm");
        SelectedScenario = 0;
    }

    TGUI_Object* Hero(const char* name) { return SelectHeroWindow->FindObject(name); }
    TGUI_Edit* NameEdit() { return dynamic_cast<TGUI_Edit*>(SelectHeroWindow->FindObject("e_HeroName")); }

    TTempFolder Folder;
};

TEST_F(SelectHeroWindowTest, MysticOnlyNameKeptAndCoatsAcrossReopening)
{
    ASSERT_TRUE(Start());
    SelectHeroScreen_Create();
    ASSERT_NE(SelectHeroWindow, nullptr);
    MysticOnlyScenario();
    ASSERT_TRUE(SelectHeroScreen_Prepare());

    // Only the mystic's button, and it is chosen.
    ASSERT_NE(Hero("Btn_Mystic"), nullptr);
    EXPECT_EQ(Hero("Btn_Mystic")->Visible, 1);
    EXPECT_EQ(Hero("Btn_Knight")->Visible, 0);
    EXPECT_EQ(Hero("Btn_Baroness")->Visible, 0);
    EXPECT_EQ(HeroIndex, 3);
    EXPECT_EQ(Hero("b_Yes")->Enabled, 1);

    // A typed name survives a click on the chosen hero.
    TGUI_Edit* edit = NameEdit();
    ASSERT_NE(edit, nullptr);
    const std::u16string defaultName = edit->Text;
    EXPECT_FALSE(defaultName.empty());
    edit->Text = u"Wren of the Vale";
    SelectHeroScreen_SelectHero(Hero("Btn_Mystic"));
    EXPECT_EQ(edit->Text, u"Wren of the Vale");

    // The coat arrows move through the hero's row; a reopening keeps the
    // place in the row.
    CoatIndex = 1;
    SelectHeroScreen_NextCoat(nullptr);
    SelectHeroScreen_NextCoat(nullptr);
    EXPECT_EQ(CoatIndex, 3);
    EXPECT_EQ(PlayerCoat, HeroCoats[3][3]);
    SelectHeroScreen_PrevCoat(nullptr);
    EXPECT_EQ(PlayerCoat, HeroCoats[3][2]);
    ASSERT_TRUE(SelectHeroScreen_Prepare());
    EXPECT_EQ(CoatIndex, 2);
    EXPECT_EQ(PlayerCoat, HeroCoats[3][2]);

    // No hero: Yes is off.
    StandardScenarios.Clear();
    SelectedScenario = -1;
    EXPECT_FALSE(SelectHeroScreen_Prepare());
    EXPECT_EQ(HeroIndex, 0);
    EXPECT_EQ(Hero("b_Yes")->Enabled, 0);
    EXPECT_EQ(Hero("Btn_Mystic")->Visible, 0);
}

} // namespace

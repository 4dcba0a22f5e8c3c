// The kit's demonstration screen under the screen harness: a screen made by
// the kit's create pattern from its description file, a tooltip shown by
// hovering, the default and cancel keys, three stacked notices and the
// battle cursor, all seen in the frame's pixels and left as pictures.
#include <gtest/gtest.h>

#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "tests/screens/ScreenHarness.h"

namespace {

// The demonstration screen, made the way every screen is.
TGUI_GraphicWindow* KitDemo_Window = nullptr;
bool KitDemoHotkeyHeld = false;
TScreenHotkeys KitDemoKeys;
int32_t KitDemoBackground = 0;
int32_t KitDemoOkClicks = 0;
TGUI_Object* KitDemoStatus = nullptr;

void KitDemoScreen_Tooltip(TGUI_Object* object)
{
    TextsIni->SelectSection("Hints");
    ShowHintTextAt(GetLocalizedText(*TextsIni, "BuildingTrade"), object);
}

void KitDemoScreen_Ok(TGUI_Object*)
{
    KitDemoOkClicks++;
    ShowBuildingNotice(u"Stonehold", u"the Grey", -1, KitDemoStatus);
    ShowBuildingNotice(u"Ashford Mill # a mill", u"bandits", 0, KitDemoStatus);
    ShowBuildingNotice(u"Harrow", u"Red Banner", -1, KitDemoStatus);
}

void KitDemoScreen_Cancel(TGUI_Object*)
{
    RequestScreenClose(KitDemo_Window);
}

void KitDemoScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    switch (state) {
    case GUI_STATE_OPEN:
        CursorKind = 3;
        KitDemoHotkeyHeld = false;
        KitDemoBackground = LoadRandomBackground(*KitDemo_Window, KitDemoBackground);
        break;
    case GUI_STATE_ACTIVE:
        RunScreenActiveFrame(*window, nullptr, &KitDemoKeys);
        break;
    default:
        break;
    }
}

void KitDemoScreen_Create()
{
    KitDemo_Window = CreateScreenWindow("KitDemo", KitDemoScreen_WindowHandler);
    TGUI_Object* tooltip = KitDemo_Window->FindObject("b_Tooltip");
    TGUI_Object* ok = KitDemo_Window->FindObject("b_Ok");
    TGUI_Object* cancel = KitDemo_Window->FindObject("b_Cancel");
    KitDemoStatus = KitDemo_Window->FindObject("c_Status");
    if (tooltip != nullptr)
        tooltip->OnEnter = KitDemoScreen_Tooltip;
    if (ok != nullptr)
        ok->OnClick = KitDemoScreen_Ok;
    if (cancel != nullptr)
        cancel->OnClick = KitDemoScreen_Cancel;
    SetWindowLabelText(*KitDemo_Window, "c_Tooltip", GetLocalizedText(*TextsIni, "Build_Market"));
    SetWindowLabelText(*KitDemo_Window, "c_Ok", GetLocalizedText(*TextsIni, "ButtonContinue"));
    SetWindowLabelText(*KitDemo_Window, "c_Cancel", GetLocalizedText(*TextsIni, "ButtonQuit"));
    KitDemoKeys = {13, ok, cancel, &KitDemoHotkeyHeld};
}

bool HintText(uint32_t rgb)
{
    // The hints' pale yellow letters.
    return ((rgb >> 16) & 255) > 170 && ((rgb >> 8) & 255) > 170 && (rgb & 255) < 170;
}

class KitDemoTest : public TScreenHarness {
protected:
    void TearDown() override
    {
        if (KitDemo_Window != nullptr) {
            GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), KitDemo_Window),
                                  GUI_OpenWindows.end());
            delete KitDemo_Window;
            KitDemo_Window = nullptr;
        }
        KitDemoStatus = nullptr;
        KitDemoBackground = 0;
        KitDemoOkClicks = 0;
        TScreenHarness::TearDown();
    }
};

TEST_F(KitDemoTest, TooltipNoticesHotKeysAndCursor)
{
    InstallFixture("screens/KitDemo.ini", "Interface/KitDemo.ini");
    ASSERT_TRUE(Start());
    // The world the screens open on.
    EXPECT_EQ(FindHeroPanelSlot(), 0);
    EXPECT_EQ(CountHireSlots(2, false), 3);
    EXPECT_EQ(ArmyItems[PlayerArmy].size(), 4u);
    KitDemoScreen_Create();
    ASSERT_NE(KitDemo_Window->FindObject("b_Tooltip"), nullptr);
    OpenScreen(KitDemo_Window, &KitDemoHotkeyHeld);
    ASSERT_TRUE(IsOpen(KitDemo_Window));
    EXPECT_EQ(CursorKind, 3);

    // The tooltip: shown while the mouse is over its button, by the cursor.
    const TGUI_Object* tooltip = KitDemo_Window->FindObject("b_Tooltip");
    const int32_t mx = tooltip->X + tooltip->Width / 2, my = tooltip->Y + tooltip->Height / 2;
    Move(mx, my);
    WaitFrames(3);
    const THint& hint = MainHint();
    ASSERT_EQ(hint.State, HintShown);
    ASSERT_FALSE(hint.Lines.empty());
    ASSERT_NE(hint.Lines[0].List, nullptr);
    EXPECT_EQ(hint.Lines[0].List->Texts[0], u"Items can be bought and sold here.");
    EXPECT_GT(hint.X, mx);
    EXPECT_GT(hint.Y, my);
    EXPECT_GT(Count(hint.X, hint.Y, hint.X + hint.Width, hint.Y + hint.Height, HintText), 30)
        << "no hint letters in its box";
    Shot("kit_hint");

    Move(200, 200);
    WaitFrames(3);
    EXPECT_EQ(MainHint().State, HintEmpty);
    EXPECT_EQ(Count(hint.X, hint.Y, hint.X + hint.Width, hint.Y + hint.Height, HintText), 0);

    // Enter held for ten frames presses once; its release clicks once.
    KeyDown(13);
    for (int32_t i = 0; i < 10; i++) {
        if (i > 0)
            KeyDown(13);
        WaitFrames(1);
        EXPECT_TRUE(KitDemoHotkeyHeld) << i;
    }
    EXPECT_EQ(KitDemoOkClicks, 0);
    KeyUp(13);
    WaitFrames(1);
    EXPECT_EQ(KitDemoOkClicks, 1);
    EXPECT_EQ(NoticeCount, 3);
    WaitFrames(3);
    for (int32_t n = 1; n <= 3; n++)
        ASSERT_EQ(HintList[static_cast<size_t>(n)].State, HintShown) << n;
    // Stacked upwards from above the anchor: their lower edges 60 apart.
    auto bottom = [](int32_t n) {
        return HintList[static_cast<size_t>(n)].Y + HintList[static_cast<size_t>(n)].Height;
    };
    EXPECT_EQ(bottom(1), KitDemoStatus->Y - 20);
    EXPECT_EQ(bottom(1) - bottom(2), NoticeSpacing);
    EXPECT_EQ(bottom(2) - bottom(3), NoticeSpacing);
    for (int32_t n = 1; n <= 3; n++) {
        const THint& notice = HintList[static_cast<size_t>(n)];
        EXPECT_GT(Count(notice.X, notice.Y, notice.X + notice.Width, notice.Y + notice.Height, HintText), 30) << n;
    }
    Shot("kit_notices");

    // Five seconds after showing, the notices go.
    Advance(5000);
    WaitFrames(3);
    EXPECT_EQ(NoticeCount, 0);
    EXPECT_EQ(HintList[1].State, HintEmpty);

    // Esc clicks Cancel, which closes the window.
    KeyDown(27);
    WaitFrames(1);
    KeyUp(27);
    WaitFrames(3);
    EXPECT_FALSE(IsOpen(KitDemo_Window));
}

} // namespace

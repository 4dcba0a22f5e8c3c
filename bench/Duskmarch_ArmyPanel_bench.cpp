// Army panels and the personage pop-up on a device that only counts: two
// bound panels (24 icons) drawn in one frame while a personage from the
// player's army is dragged over a garrison icon that refuses it (enter, the
// refusal rules, the hint, the skipped drop); and the personage pop-up
// opened for a personage with twenty signs, five effects and fourteen
// equipped cells, then its first frame drawn.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "model/Support.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_ArmyPanel.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_DragItem.h"
#include "screens/kit/Duskmarch_InfoWindows.h"
#include "tests/fakes/CountingDevice.h"
#include "tests/support/WorldBuilder.h"
#include "tools/NullRender.h"

namespace {

int32_t Now = 1000;
int32_t BenchTime(bool)
{
    return Now;
}

struct TPanelsBench {
    std::unique_ptr<T3D_Render> Render;
    TCountingDevice Device;
    std::unique_ptr<TGUI_Processor> Processor;
    T3D_Scene* Scene = nullptr;
    TGUI_GraphicWindow* Window = nullptr;
    TIniFile Texts;
    TArmyPanel Army;
    TArmyPanel Guard;
    int32_t Garrison = 0;

    TPanelsBench()
    {
        QX9_Render_Initialization();
        QX9_GUI_Initialization();
        SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL));
        Render = MakeNullRender();
        Render->Device = &Device;
        Render->ScreenWidth = 1600;
        Render->ScreenHeight = 1200;
        Render->UploadQueue_End();
        MainRender = Render.get();
        GUIVirtualSize = {1, "GUI", 1600, 1200};
        Scene = Render->Scene_Get(Render->Scene_Add("2D"));
        Scene->Passes[static_cast<size_t>(Scene->AddPass("GUI", 0, 0, 0, 0))]->SetDraw2D(1);
        LoadFonts(InterfaceFolder + "Common\\Fonts\\");
        HintFont = FontSlots[2];
        Texts.Load(GameFolder + "Config\\Texts.ini");
        TextsIni = &Texts;

        Processor = std::make_unique<TGUI_Processor>("bench");
        Processor->Render = Render.get();
        Processor->TimeSource = BenchTime;
        GUI_ResetInput(Processor.get());
        Window = new TGUI_GraphicWindow(Render.get(), "bench");
        Window->DrawScene = Scene->Index;
        Processor->ActiveWindow = Window;
        CreateHintList();
        LoadStatIcons();
        LoadIconSprites();
        LoadInventorySprites();
        LoadBonuses();
        LoadSpells();
        DragItem.Init();

        // The player's army and a garrison with twelve personages each.
        SizeWorldTables(1, 1);
        MakeUnitTypeTemplate(1, "Knight");
        Garrison = GetGarrisonArmyIndex(1);
        for (int32_t army : {PlayerArmy, Garrison}) {
            TGameArmy& a = GameArmies[static_cast<size_t>(army)];
            for (int32_t icon = 0; icon < PanelIconCount; icon++) {
                const int32_t slot = icon + 1;
                TPersonage& p = ArmyUnits[static_cast<size_t>(army)][slot];
                p = UnitTypes[1];
                p.Hits = 20;
                p.HireKind = slot == 1 && army == PlayerArmy ? hireHero : hireRecruit;
                p.FormationRow = PanelSlotRow(icon);
                p.FormationColumn = PanelSlotColumn(icon);
                a.Formation[p.FormationRow - 1][p.FormationColumn - 1] = slot;
            }
            a.PersonageCount = PanelIconCount;
        }
        Army.Create(Window, PanelArmy);
        Army.Layout(40, 820, 40, -100);
        Army.SetArmy(PlayerArmy);
        Guard.Create(Window, PanelGarrison);
        Guard.Layout(1000, 820, 40, -100);
        Guard.SetArmy(Garrison);
    }
    ~TPanelsBench()
    {
        if (DragItem.Active != 0)
            DragItem.Finish(true);
        Army.Destroy();
        Guard.Destroy();
        FreeHintList();
        delete Window;
        TextsIni = nullptr;
        MainRender = nullptr;
        QX9_GUI_Initialization();
        FreeConstants(Render->Constants);
        Render->Device = nullptr;
    }
};

void BM_PanelsDragFrame(benchmark::State& state)
{
    TPanelsBench bench;
    // The hero is dragged out of the player's army: every garrison icon
    // refuses him.
    TGUI_Object* heroIcon = bench.Army.Icons[0].GuiObject;
    GUI_Input.VirtualX = heroIcon->X + 10;
    GUI_Input.VirtualY = heroIcon->Y + 10;
    ArmySlotEnter(heroIcon);
    ArmySlotPress(heroIcon);
    GUI_Keys[GUI_KEY_LBUTTON].Down = 1;
    GUI_Input.VirtualX += 5;
    ArmySlotHeld(heroIcon);
    ArmySlotLeave(heroIcon);
    GUI_Keys[GUI_KEY_LBUTTON].Down = 0;
    TGUI_Object* target = bench.Guard.Icons[6].GuiObject;
    GUI_Input.VirtualX = target->X + 20;
    GUI_Input.VirtualY = target->Y + 20;
    for (auto _ : state) {
        ArmySlotEnter(target);
        ArmySlotDrop(target);
        bench.Army.Draw();
        bench.Guard.Draw();
        DragItem.Draw();
        Now++;
        bench.Scene->ClearDrawList();
        ArmySlotLeave(target);
    }
    state.counters["dragging"] = DragItem.Active;
}
BENCHMARK(BM_PanelsDragFrame)->Unit(benchmark::kMicrosecond);

void BM_PersonagePopupOpen(benchmark::State& state)
{
    TPanelsBench bench;
    PersonageInfoScreen_Create(PersonageInfoPopup);
    TPersonage& p = ArmyUnits[PlayerArmy][1];
    // Signs from weapon classes, armour, shield and seven spells; five
    // effects; fourteen equipped slots.
    for (int32_t w = 1; w <= 3; w++)
        p.Weapon[w] = static_cast<uint8_t>(w);
    p.Armor = 4;
    p.Shield = 2;
    p.Dagger = 1;
    for (int32_t s = 1; s <= 7; s++)
        p.Spells[s].Spell = s;
    for (int32_t slot = 1; slot <= 14; slot++)
        p.Equipment[slot] = 1;
    ItemTable[1] = TItems{};
    ItemTable[1].MainType = static_cast<uint8_t>(TItemType::Sword);
    ItemCount = std::max(ItemCount, 1);
    for (int32_t i = 1; i <= 5; i++) {
        p.Effects[i].Spell = i;
        p.Effects[i].Power = 3;
        p.Effects[i].Rounds = 2;
    }
    for (auto _ : state) {
        PersonageInfoScreen_Open(PersonageInfoPopup, "2D", 800, 600, p);
        PersonageInfoScreen_WindowHandler(GUI_STATE_ACTIVE, PersonageInfoPopup.Window);
        Now++;
        bench.Scene->ClearDrawList();
        bench.Processor->Pending.clear();
    }
    state.counters["signs"] = static_cast<double>(CollectSigns(p, 3).size());
    state.counters["shown"] = PersonageInfoPopup.SignsPanel.UsedSigns + PersonageInfoPopup.SignsPanel.UsedEffects;
    PersonageInfoScreen_Free(PersonageInfoPopup);
}
BENCHMARK(BM_PersonagePopupOpen)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

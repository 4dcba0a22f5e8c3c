// The tooltip of an item, as every hover over an inventory cell builds it:
// attach, clear, the item's description (name, kind, eight stat lines and two
// bonuses), the layout and one drawing update, on a device that only counts.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "model/Support.h"
#include "model/tables/BonusType.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "tests/fakes/CountingDevice.h"
#include "tools/NullRender.h"

namespace {

int32_t Now = 1000;
int32_t BenchTime(bool)
{
    return Now;
}

constexpr int32_t BenchItem = 1;

struct THintBench {
    std::unique_ptr<T3D_Render> Render;
    TCountingDevice Device;
    std::unique_ptr<TGUI_Processor> Processor;
    T3D_Scene* Scene = nullptr;
    TGUI_Window* Window = nullptr;
    TIniFile Texts;

    THintBench()
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
        const int32_t font = Render->Font_Load(InterfaceFolder + "Common\\Fonts\\Candara_15px_white.ini");
        FontSlots[2] = FontSlots[26] = HintFont = font;
        Texts.Load(GameFolder + "Config\\Texts.ini");
        TextsIni = &Texts;

        Processor = std::make_unique<TGUI_Processor>("bench");
        Processor->Render = Render.get();
        Processor->TimeSource = BenchTime;
        GUI_ResetInput(Processor.get());
        Window = new TGUI_Window(Render.get(), "bench");
        Window->DrawScene = Scene->Index;
        Processor->ActiveWindow = Window;
        GUI_Input.VirtualX = 400;
        GUI_Input.VirtualY = 300;

        CreateHintList();
        LoadStatIcons();
        TItems& item = ItemTable[BenchItem];
        item = TItems{};
        item.MainType = static_cast<uint8_t>(TItemType::Sword);
        item.Unique = 3;
        ItemNames[BenchItem].Name = u"Sword of the long march";
        for (int32_t stat = 1; stat <= 8; stat++)
            item.Abs[stat] = static_cast<int16_t>(stat);
        const uint8_t bonuses[2] = {bSwordDagger, bBow};
        for (int32_t i = 0; i < 2; i++) {
            item.Bonus[i + 1] = bonuses[i];
            BonusIndex[bonuses[i]] = {1, i + 1};
            BonusTable[1][i + 1].Name = i == 0 ? u"Twin blades" : u"Long shot";
            BonusTable[1][i + 1].Icon = StatIcons[i];
        }
    }
    ~THintBench()
    {
        FreeHintList();
        delete Window;
        TextsIni = nullptr;
        MainRender = nullptr;
        QX9_GUI_Initialization();
        FreeConstants(Render->Constants);
        Render->Device = nullptr;
    }
};

void BM_HintHover(benchmark::State& state)
{
    THintBench bench;
    for (auto _ : state) {
        THint& hint = MainHint();
        // The battle screen's attachment: no rule, the hint shows when pinned.
        hint.Attach(0x100, 0x100, nullptr, true, -1);
        hint.Clear(HintSmallFrame, 0);
        ShowItemHint(BenchItem);
        hint.Pin();
        Now++;
        hint.Update();
        bench.Scene->ClearDrawList();
    }
    state.counters["lines"] = static_cast<double>(MainHint().Lines.size());
    state.counters["sprites"] = static_cast<double>(bench.Render->SpriteCount);
}
BENCHMARK(BM_HintHover)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

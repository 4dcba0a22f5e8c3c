// The party kit's hot paths on a device that only counts: a bag of 500 items
// switched between weapons and all (bucket moves, the 64-bit sort, cells
// given their items and rated), one wheel step over it, and two rows of
// twelve army icons with bars, wound marks, level signs and hover fades.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "model/Support.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Inventory.h"
#include "screens/kit/Duskmarch_PersIcon.h"
#include "tests/fakes/CountingDevice.h"
#include "tools/NullRender.h"

namespace {

int32_t Now = 100000;
int32_t BenchTime(bool)
{
    return Now;
}

constexpr int32_t BagSize = 500;

struct TKitBench {
    std::unique_ptr<T3D_Render> Render;
    TCountingDevice Device;
    std::unique_ptr<TGUI_Processor> Processor;
    T3D_Scene* Scene = nullptr;
    TGUI_GraphicWindow* Window = nullptr;
    TGUI_ScrollBar* Bar = nullptr;
    TInventoryList Bag;
    TPersonage Personages[24];
    TPersIcon Icons[24];

    TKitBench()
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
        Processor = std::make_unique<TGUI_Processor>("bench");
        Processor->Render = Render.get();
        Processor->TimeSource = BenchTime;
        GUI_ResetInput(Processor.get());
        Window = new TGUI_GraphicWindow(Render.get(), "Bench_Window");
        Window->DrawScene = Scene->Index;
        Processor->ActiveWindow = Window;
        LoadIconSprites();
        LoadInventorySprites();

        // Items of every kind, dearer and stronger by index; the icons of a
        // few pictures.
        ItemIconSprites.assign(9, -1);
        for (int32_t i = 1; i <= 8; i++)
            ItemIconSprites[static_cast<size_t>(i)] = Render->Sprite_Add(89, 89);
        const TItemType kinds[] = {TItemType::Sword,  TItemType::Bow,   TItemType::Shield, TItemType::Armor,
                                   TItemType::Ring,   TItemType::Potion, TItemType::Horse, TItemType::Item};
        ItemCount = 200;
        for (int32_t i = 1; i <= ItemCount; i++) {
            TItems& item = ItemTable[i];
            item = TItems{};
            item.MainType = static_cast<uint8_t>(kinds[i % 8]);
            item.Image = 1 + i % 8;
            item.Cost = (i * 37) % 1000;
            item.Strength = i % 50;
        }
        Bag.Create(Window, ListBag);
        Bar = new TGUI_ScrollBar(Render.get());
        Window->AddObject(Bar, "sb_Bar", 0);
        Bag.BindScrollBar("sb_Bar", "s_SBBody");
        for (int32_t i = 0; i < BagSize; i++)
            Bag.AddItem(1 + (i * 7) % ItemCount);
        Bag.Show(100, 100, 384, 480);
        Bag.ShowCategory(1); // grows the cells once
        Bag.ShowCategory(2);
        Bag.LayoutCells(true);

        for (int32_t i = 0; i < 24; i++) {
            TPersonage& p = Personages[i];
            std::memset(static_cast<void*>(&p), 0, sizeof p);
            p.UnitType = 7;
            p.FullHits = 60;
            p.Stats[statHits] = 45;
            p.Hits = static_cast<int16_t>(10 + i);
            p.Wounds = i % 3;
            p.WoundLimit = 4;
            p.UpgradePoints = i % 2;
            p.HireKind = static_cast<int16_t>(i % 4);
            TPersIcon& icon = Icons[i];
            icon.Create(Window, IconArmySlot, "ArmyPersIcon" + std::to_string(i));
            icon.SetPersonage(&p, 0, 1 + i % 12, 1 + i % 3, 1);
            icon.SetPosition(100 + (i % 12) * 81, 700 + (i / 12) * 110);
            icon.GuiObject->EnterTime = i % 2 == 0 ? Now - 60 : -1;
            icon.GuiObject->LeaveTime = i % 2 == 1 ? Now - 30 : -1;
        }
    }
};

TKitBench& Bench()
{
    static TKitBench bench;
    return bench;
}

void BM_InventoryRebuild_500(benchmark::State& state)
{
    TKitBench& b = Bench();
    for (auto _ : state) {
        b.Bag.ShowCategory(1);
        b.Bag.ShowCategory(2);
        benchmark::DoNotOptimize(b.Bag.Cells.data());
    }
    state.counters["switch"] = benchmark::Counter(static_cast<double>(state.iterations()) * 2,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_InventoryRebuild_500)->Unit(benchmark::kMicrosecond);

// The sort alone on the all bucket's 500 items, to set against the switch.
void BM_InventorySort_500(benchmark::State& state)
{
    TKitBench& b = Bench();
    b.Bag.ShowCategory(1);
    const std::vector<int32_t> items = b.Bag.Buckets[CategoryAll].Items;
    b.Bag.ShowCategory(2);
    for (auto _ : state) {
        std::vector<int32_t> copy = items;
        SortItems(copy);
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_InventorySort_500)->Unit(benchmark::kMicrosecond);

void BM_InventoryWheel_500(benchmark::State& state)
{
    TKitBench& b = Bench();
    b.Bag.ShowCategory(1);
    b.Bag.LayoutCells(true);
    bool down = true;
    for (auto _ : state) {
        GUI_Input.Wheel = down ? -120 : 120;
        ListWheel(b.Bag.BackArea);
        down = !down;
        if (b.Bar->Position >= 1.0f)
            down = false;
        else if (b.Bar->Position <= 0.0f)
            down = true;
    }
    GUI_Input.Wheel = 0;
    b.Bag.ShowCategory(2);
}
BENCHMARK(BM_InventoryWheel_500)->Unit(benchmark::kMicrosecond);

void BM_IconsDraw_24(benchmark::State& state)
{
    TKitBench& b = Bench();
    const int32_t spritesBefore = static_cast<int32_t>(b.Render->Sprites.size());
    for (auto _ : state) {
        b.Scene->ClearDrawList();
        for (TPersIcon& icon : b.Icons)
            icon.Draw(0, 0);
        benchmark::DoNotOptimize(b.Scene->DrawCount);
    }
    state.counters["draws"] = static_cast<double>(b.Scene->DrawCount);
    if (static_cast<int32_t>(b.Render->Sprites.size()) != spritesBefore)
        state.SkipWithError("the bars made sprites");
}
BENCHMARK(BM_IconsDraw_24)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

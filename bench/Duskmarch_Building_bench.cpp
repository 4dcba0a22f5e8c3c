// The building window's trade on a device that only counts: one active
// frame of the Trade tab (120 army items, a shop of 39, the 18 equipment
// cells, both army panels and a hint over a cell), and one sale with its
// refreshes. The scene's render runs outside the timed part.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "model/Support.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_PersIcon.h"
#include "screens/kit/Duskmarch_PersPanels.h"
#include "screens/party/Duskmarch_Building.h"
#include "tests/fakes/CountingDevice.h"
#include "tests/support/WorldBuilder.h"
#include "tools/NullRender.h"

namespace {

int32_t Now = 100000;
int32_t BenchTime(bool)
{
    return Now;
}

struct TBuildingBench {
    std::unique_ptr<T3D_Render> Render;
    TCountingDevice Device;
    std::unique_ptr<TGUI_Processor> Processor;
    T3D_Scene* Scene = nullptr;

    TBuildingBench()
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
        LoadIconSprites();
        LoadInventorySprites();
        LoadPanelSprites();
        CreateHintList();

        BuildScreenWorld();
        ItemIconSprites.assign(9, -1);
        for (int32_t i = 1; i <= 8; i++)
            ItemIconSprites[static_cast<size_t>(i)] = Render->Sprite_Add(89, 89);
        const TItemType kinds[] = {TItemType::Sword,  TItemType::Bow,    TItemType::Shield, TItemType::Armor,
                                   TItemType::Ring,   TItemType::Potion, TItemType::Horse,  TItemType::Item};
        ItemCount = 200;
        for (int32_t i = 1; i <= ItemCount; i++) {
            TItems& item = ItemTable[i];
            item = TItems{};
            item.MainType = static_cast<uint8_t>(kinds[i % 8]);
            item.Image = 1 + i % 8;
            item.Cost = 20 + (i * 37) % 1000;
        }
        TIntArray& bag = ArmyItems[PlayerArmy];
        bag = {0};
        for (int32_t i = 0; i < 120; i++)
            bag.push_back(1 + (i * 7) % ItemCount);
        GameArmies[PlayerArmy].ItemCount = 120;
        GameArmies[PlayerArmy].Gold = 1000000;
        GameArmies[PlayerArmy].Building = 1;
        TMapBuilding& town = MapBuildings[1];
        town.HasShop = 1;
        for (int32_t k = 1; k <= 15; k++)
            town.TradeKinds[k] = 1;
        for (int32_t k = 1; k <= 4; k++)
            town.TradePercent[k] = 100;
        for (int32_t i = 1; i <= 40; i++)
            GameBuildings[1].ShopItems[i] = i <= 39 ? 1 + (i * 11) % ItemCount : 0;

        BuildingScreen_Create();
        Processor->ActiveWindow = Building_Window;
        Building_Window->State = GUI_STATE_ACTIVE;
        OpenBuilding = 1;
        BuildingArmyPanel.SetArmy(PlayerArmy);
        BuildingScreen_ShowTab(TabTrade);
        // A hint over the first army cell.
        if (!BuildingArmyItems.Cells.empty())
            CellEnter(BuildingArmyItems.Cells[0]->Object);
    }
};

TBuildingBench& Bench()
{
    static TBuildingBench bench;
    return bench;
}

void BM_BuildingFrame_Trade(benchmark::State& state)
{
    TBuildingBench& b = Bench();
    for (auto _ : state) {
        Building_Window->Draw();
        DrawBuildingTab();
        UpdateAllHints();
        state.PauseTiming();
        b.Scene->Render(false);
        Now += 16;
        state.ResumeTiming();
    }
    state.counters["triangles/frame"] =
        static_cast<double>(b.Device.Triangles) / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
}
BENCHMARK(BM_BuildingFrame_Trade)->Unit(benchmark::kMicrosecond);

void BM_SellItem(benchmark::State& state)
{
    Bench();
    for (auto _ : state) {
        const int32_t item = BuildingArmyItems.ShownBucket()->Items.front();
        if (!SellListCell(0)) {
            state.SkipWithError("the sale was refused");
            break;
        }
        state.PauseTiming();
        // Bought back, so the next sale finds the same lists.
        const std::vector<int32_t>& market = BuildingMarketItems.ShownBucket()->Items;
        for (size_t i = 0; i < market.size(); i++)
            if (market[i] == item) {
                BuyListCell(static_cast<int32_t>(i));
                break;
            }
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SellItem)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

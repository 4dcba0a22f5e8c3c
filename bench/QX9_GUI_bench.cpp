// The interface toolkit's frame: one frame step of an active window of 300
// controls (100 labels, 100 buttons, 50 check boxes, 50 scroll bars) with the
// mouse over a button mid cross-fade, the window's drawing into the 2D list
// included; and the same followed by the pass that draws the list, on a
// device that only counts.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Textures.h"
#include "tests/fakes/CountingDevice.h"
#include "tools/NullRender.h"

namespace {

int32_t Now = 1000;
int32_t BenchTime(bool)
{
    return Now;
}

const std::string Install = OS_ToProgramPath(DUSKMARCH_INSTALL);

struct TGuiBench {
    std::unique_ptr<T3D_Render> Render;
    TCountingDevice Device;
    std::unique_ptr<TGUI_Processor> Processor;
    T3D_Scene* Scene = nullptr;
    TGUI_Window* Window = nullptr;
    std::vector<std::unique_ptr<TGUI_Object>> Objects;

    int32_t Look(int32_t texture, int32_t width, int32_t height)
    {
        const int32_t index = Render->Sprite_Add(width, height);
        T3D_Sprite* sprite = Render->Sprite_Get(index);
        sprite->SetStageTexture(texture, 0, 1);
        sprite->SetShader(Install + "\\Interface\\Shaders\\Sprite_VS.bin", "GUI", 1);
        sprite->SetShader(Install + "\\Interface\\Shaders\\Sprite_PS.bin", "GUI", 0);
        sprite->SetRenderState(RSK_ALPHAMODE, static_cast<int32_t>(RSK_ALPHA_BLEND));
        sprite->SetRenderState(RSK_CULL, 0x4);
        return index;
    }
    template <class T> T* Add(int32_t i, int32_t columns)
    {
        auto object = std::make_unique<T>(Render.get());
        object->X = (i % columns) * (1500 / columns);
        object->Y = (i / columns) * 30;
        T* raw = object.get();
        Window->Objects.push_back(raw);
        Objects.push_back(std::move(object));
        return raw;
    }

    TGuiBench()
    {
        QX9_Render_Initialization();
        QX9_GUI_Initialization();
        Render = MakeNullRender();
        Render->Device = &Device;
        Render->ScreenWidth = 1500;
        Render->ScreenHeight = 1050;
        Render->UploadQueue_End();
        Scene = Render->Scene_Get(Render->Scene_Add("2D"));
        T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(Scene->AddPass("GUI", 0, 0, 0, 0))];
        pass->SetDraw2D(1);
        const int32_t font = Render->Font_Load(Install + "\\Interface\\Common\\Fonts\\Candara_15px_white.ini");
        const int32_t texture = Render->Texture_Create(TEXTURE_DEFAULT, 16, 16, 1, D3DFMT_A8R8G8B8, 0);

        Processor = std::make_unique<TGUI_Processor>("bench");
        Processor->Render = Render.get();
        Processor->TimeSource = BenchTime;
        GUI_ResetInput(Processor.get());
        Window = new TGUI_Window(Render.get(), "bench");
        Window->DrawScene = Scene->Index;
        Window->Background = Look(texture, 1500, 1050);

        const int32_t normal = Look(texture, 80, 24), hover = Look(texture, 80, 24), pressed = Look(texture, 80, 24);
        const int32_t box = Look(texture, 16, 16), checked = Look(texture, 16, 16);
        const int32_t arrow = Look(texture, 14, 14), slider = Look(texture, 20, 14);
        int32_t row = 0;
        for (int32_t i = 0; i < 100; i++) {
            auto* label = Add<TGUI_Label>(row * 10 + i, 10);
            label->SetFont(font);
            label->SetText(u"Label number " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)));
        }
        row += 10;
        for (int32_t i = 0; i < 100; i++) {
            auto* button = Add<TGUI_Button>(row * 10 + i, 10);
            button->Normal = normal;
            button->Hover = hover;
            button->Pressed = pressed;
            button->FadeEnter = button->FadeLeave = 100;
        }
        row += 10;
        for (int32_t i = 0; i < 50; i++) {
            auto* check = Add<TGUI_CheckBox>(row * 10 + i, 10);
            check->Unchecked = check->UncheckedPressed = box;
            check->CheckedNormal = check->CheckedPressed = checked;
            check->Checked = static_cast<uint8_t>(i % 2);
        }
        row += 5;
        for (int32_t i = 0; i < 50; i++) {
            auto* bar = Add<TGUI_ScrollBar>(row * 10 + i, 10);
            bar->Orientation = 1;
            bar->Width = 140;
            bar->Height = 14;
            bar->ArrowSize = 14;
            bar->SliderWidth = 20;
            bar->SliderHeight = 14;
            bar->ArrowANormal = bar->ArrowBNormal = arrow;
            bar->SliderNormal = slider;
            bar->SetPosition(static_cast<float>(i) / 50);
        }
        GUI_OpenWindows.clear();
        Window->Show();
        Window->State = GUI_STATE_ACTIVE;
        // The mouse over the first button, which starts its fade.
        const TGUI_Object* first = Window->Objects[100];
        GUI_WindowProc(nullptr, WM_MOUSEMOVE, 0, MakeLParam(first->X + 5, first->Y + 5));
        GUI_ProcessFrame();
        Scene->ClearDrawList();
        Now += 50;
    }
    ~TGuiBench()
    {
        delete Window;
        Objects.clear();
        QX9_GUI_Initialization();
        FreeConstants(Render->Constants);
        Render->Device = nullptr;
    }
};

void BM_GuiFrameStep300Controls(benchmark::State& state)
{
    TGuiBench bench;
    for (auto _ : state) {
        GUI_ProcessFrame();
        bench.Scene->ClearDrawList();
    }
    state.counters["controls"] = static_cast<double>(bench.Window->Objects.size());
}
BENCHMARK(BM_GuiFrameStep300Controls)->Unit(benchmark::kMicrosecond);

void BM_GuiFrameStep300ControlsAndPass(benchmark::State& state)
{
    TGuiBench bench;
    for (auto _ : state) {
        GUI_ProcessFrame();
        bench.Scene->Render(false);
    }
    state.counters["triangles"] =
        static_cast<double>(bench.Device.Triangles) / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
}
BENCHMARK(BM_GuiFrameStep300ControlsAndPass)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

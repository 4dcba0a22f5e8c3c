// The string list: filling a list from a 5,000-character text with line
// breaks (about 200 lines in the list's width), and drawing it, which queues
// only the lines that show.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/os/OS.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Scenes.h"
#include "tools/NullRender.h"

namespace {

const std::string Install = OS_ToProgramPath(DUSKMARCH_INSTALL);

// Sentences of words of 2 to 9 letters, a break after every fifth sentence.
std::u16string MakeText(size_t length)
{
    std::u16string text;
    uint32_t seed = 12345;
    int32_t words = 0, sentences = 0;
    while (text.size() < length) {
        seed = seed * 1103515245u + 12345u;
        const size_t letters = 2 + (seed >> 16) % 8;
        for (size_t i = 0; i < letters; i++)
            text.push_back(static_cast<char16_t>(u'a' + (seed >> (i + 8)) % 26));
        if (++words % 9 == 0) {
            text += (++sentences % 5 == 0) ? u".<br>" : u". ";
        } else {
            text.push_back(u' ');
        }
    }
    text.resize(length);
    return text;
}

struct TListBench {
    std::unique_ptr<T3D_Render> Render = MakeNullRender();
    std::unique_ptr<TGUI_StringList> List;
    T3D_Scene* Scene = nullptr;
    int32_t Font = -1;
    std::u16string Text = MakeText(5000);

    TListBench()
    {
        Font = Render->Font_Load(Install + "\\Interface\\Common\\Fonts\\Candara_15px_white.ini");
        Scene = Render->Scene_Get(Render->Scene_Add("2D"));
        List = std::make_unique<TGUI_StringList>(Render.get(), 400);
        List->Width = 280;
        List->SetHeight(300);
    }
    void Fill()
    {
        List->Clear();
        List->AddText(Text, Font, -1, 1, 0, -1000);
    }
};

void BM_StringListFill5000Characters(benchmark::State& state)
{
    TListBench bench;
    for (auto _ : state)
        bench.Fill();
    state.counters["lines"] = bench.List->Count;
}
BENCHMARK(BM_StringListFill5000Characters)->Unit(benchmark::kMillisecond);

void BM_StringListDraw(benchmark::State& state)
{
    TListBench bench;
    bench.Fill();
    bench.List->SetScroll(bench.List->MaxScroll / 2);
    for (auto _ : state) {
        bench.List->Draw(bench.Scene->Index);
        state.counters["queued"] = bench.Scene->DrawCount;
        bench.Scene->ClearDrawList();
    }
    state.counters["lines"] = bench.List->Count;
}
BENCHMARK(BM_StringListDraw)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

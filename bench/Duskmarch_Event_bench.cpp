// A long story event text as an author writes it, filtered for the hero and
// split into its dialogue pages: 40 pages in about 6,000 UTF-16 units with
// hero-kind blocks, the hero's name, music, sound, picture and emphasis tags.
#include <benchmark/benchmark.h>

#include <string>

#include "screens/map/Duskmarch_EventText.h"

namespace {

std::u16string LongEventText()
{
    std::u16string text = u"<preamb>written for the harbour chapter</preamb><music=12><sfx=1>";
    const char16_t* const keys[] = {u"hero", u"author", u"Old Man", u"leader", u"random"};
    for (int page = 0; page < 40; ++page) {
        text += u"<p=" + std::u16string(keys[page % 5]) + u">: ";
        text += u"#heroname, <m>the tide turns</m><f>it turned</f> ";
        text += u"<knight>wait for your word</knight><mystic>a sign</mystic>. ";
        if (page == 7)
            text += u"<image=swan>";
        text += u"<a>Listen.</a> The harbour bells ring\u2026\r";
    }
    return text;
}

void BM_FilterAndSplit(benchmark::State& state)
{
    const std::u16string text = LongEventText();
    TEventTextCues cues;
    for (auto _ : state) {
        const std::u16string filtered = FilterEventTextFor(text, 1, u"Ada", 3, cues);
        SplitDialoguePages(filtered);
        benchmark::DoNotOptimize(DialoguePages.data());
    }
    state.counters["units"] = static_cast<double>(text.size());
    state.counters["pages"] = static_cast<double>(DialoguePages.size());
}
BENCHMARK(BM_FilterAndSplit)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

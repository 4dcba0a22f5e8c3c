// The end credits: the file's lines and their looks, the rise of the text
// with the clock, and the way back to the main menu with its music.
#include "screens/front/Duskmarch_Credits.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/kit/Duskmarch_Base.h"
#include "tests/screens/ScreenHarness.h"

namespace {

TEST(CreditsTest, ParsesLinesAndStylesUpToTheMark)
{
    struct Row {
        const char* File;
        std::vector<std::pair<std::u16string, TCreditsStyle>> Expected;
    };
    const Row rows[] = {
        {"[Main]\n#Title\n$role\nname\n---\nhidden\n",
         {{u"Title", CreditsTitle}, {u"role", CreditsSmall}, {u"name", CreditsPlain}}},
        // Without the mark every line stays, the empty ones too.
        {"[Main]\nfirst\n\n#last\n", {{u"first", CreditsPlain}, {u"", CreditsPlain}, {u"last", CreditsTitle}}},
        // Only the first character is a style; a lone mark leaves an empty line.
        {"[Main]\n$#both\n#\n", {{u"#both", CreditsSmall}, {u"", CreditsTitle}}},
        {"[Main]\n---\nnothing\n", {}},
        {"[Other]\nline\n", {}},
        // Only section Main, and a key-like line is text as it stands.
        {"[Main]\nMade by=us\n[Next]\nnot this\n", {{u"Made by=us", CreditsPlain}}},
    };
    for (const Row& row : rows) {
        TIniFile ini;
        ini.LoadFromMemory("Credits.txt", row.File);
        const std::vector<TCreditsLine> lines = ParseCreditsLines(ini);
        ASSERT_EQ(lines.size(), row.Expected.size()) << row.File;
        for (size_t i = 0; i < lines.size(); i++) {
            EXPECT_TRUE(lines[i].Text == row.Expected[i].first) << row.File << " line " << i;
            EXPECT_EQ(lines[i].Style, row.Expected[i].second) << row.File << " line " << i;
        }
    }
}

TEST(CreditsTest, LinesBeyondTheListAreDropped)
{
    std::string file = "[Main]\n";
    for (int i = 0; i < 2000; i++)
        file += "line " + std::to_string(i) + "\n";
    TIniFile ini;
    ini.LoadFromMemory("Credits.txt", file);
    const std::vector<TCreditsLine> lines = ParseCreditsLines(ini);
    ASSERT_EQ(static_cast<int32_t>(lines.size()), CreditsCapacity - CreditsLeadLines);
    EXPECT_TRUE(lines.back().Text == u"line 958");
}

TEST(CreditsTest, LooksFilesAndScroll)
{
    EXPECT_EQ(CreditsColour(CreditsTitle), 0xFFFFB743u);
    EXPECT_EQ(CreditsColour(CreditsSmall), 0xFFFFFFFFu);
    EXPECT_EQ(CreditsColour(CreditsPlain), 0xFFFFFFFFu);
    EXPECT_EQ(CreditsFileName(true), "CreditsRus.txt");
    EXPECT_EQ(CreditsFileName(false), "CreditsEng.txt");
    const std::pair<int32_t, int32_t> offsets[] = {{0, 0}, {14, 0}, {15, 1}, {3000, 200}, {3014, 200}};
    for (const auto& [elapsed, offset] : offsets)
        EXPECT_EQ(CreditsScrollOffset(elapsed), offset) << elapsed;
}

class CreditsScreenTest : public TScreenHarness {
protected:
    void TearDown() override
    {
        for (TGUI_Window** window : {&ScenarioEnd_Window, reinterpret_cast<TGUI_Window**>(&MainMenu_Window)}) {
            if (*window == nullptr)
                continue;
            GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), *window),
                                  GUI_OpenWindows.end());
            TGUI_Window* doomed = *window;
            if (doomed == ScenarioEnd_Window)
                ScenarioEndScreen_Free();
            *window = nullptr;
            delete doomed;
        }
        ScenarioEndScreen_Free();
        TScreenHarness::TearDown();
    }
};

bool Gold(uint32_t rgb)
{
    return ((rgb >> 16) & 255) > 200 && ((rgb >> 8) & 255) > 140 && ((rgb >> 8) & 255) < 215 && (rgb & 255) < 120;
}

TEST_F(CreditsScreenTest, RisesOverTheCandleAndGoesBackToTheMenu)
{
    ASSERT_TRUE(Start());
    Sound_OpenStream(MusicFolder + "01 The Gloamwood.ogg", MenuMusic, MusicGroup);
    Sound_OpenStream(MusicFolder + "28 The Raven.ogg", CreditsMusic, MusicGroup);
    MainMenuScreen_Create();
    ScenarioEndScreen_Create();
    ASSERT_NE(ScenarioEnd_Window, nullptr);
    ASSERT_NE(CreditsList, nullptr);
    // The lead lines, then the English file's lines up to its mark.
    EXPECT_GT(CreditsList->Count, CreditsLeadLines + 10);
    EXPECT_TRUE(CreditsList->Texts[CreditsLeadLines] == u"Duskmarch");
    for (const std::u16string& text : CreditsList->Texts)
        EXPECT_EQ(text.find(u"never shown"), std::u16string::npos);
    EXPECT_GT(CreditsCandle.SystemsCount, 0);

    Move(40, 40);
    OpenScreen(ScenarioEnd_Window);
    ASSERT_TRUE(IsOpen(ScenarioEnd_Window));
    EXPECT_EQ(CurrentMusic, CreditsMusic);
    Advance(3000);
    WaitFrames(1);
    EXPECT_GE(CreditsList->ScrollY, 200);
    EXPECT_LE(CreditsList->ScrollY, 201);
    Shot("credits");
    // The candle burns in the middle; a gold title has risen into the right half.
    EXPECT_GT(Count(Width / 2 - 40, Height / 2 - 80, Width / 2 + 40, Height / 2 + 10,
                    [](uint32_t rgb) { return ((rgb >> 16) & 255) > 200 && ((rgb >> 8) & 255) > 120; }),
              50);

    Advance(9000);
    WaitFrames(1);
    Shot("credits_later");
    EXPECT_GT(Count(Width / 2, 0, Width, Height, Gold), 30);

    KeyDown(27);
    WaitFrames(1);
    EXPECT_TRUE(IsOpen(ScenarioEnd_Window)); // on the release, not the press
    KeyUp(27);
    WaitFrames(3);
    EXPECT_FALSE(IsOpen(ScenarioEnd_Window));
    EXPECT_TRUE(IsOpen(MainMenu_Window));
    EXPECT_EQ(CurrentMusic, MenuMusic);
    EXPECT_GT(NextMusicChange, GetFrameTime(false) + 9000000);
}

} // namespace

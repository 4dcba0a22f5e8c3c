// The console text helper: writing through its cursor, rewriting lines, and
// the bottom-aligned drawing under a clip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/QX9_GUI_Console.h"
#include "render/QX9_Render_Sprites.h"
#include "tests/render/GUITestSupport.h"

namespace {

class TGUIConsoleTest : public TGUITest {
protected:
    void SetUp() override
    {
        TGUITest::SetUp();
        Regular = AddFixedFont(*Render, 10, 16);
        Emphasis = AddFixedFont(*Render, 12, 16);
    }
    std::vector<std::string> Texts(const TGUI_ConsoleHelper& console, size_t line)
    {
        std::vector<std::string> texts;
        for (const TGUI_ConsoleSegment& segment : console.Lines[line].Segments)
            texts.push_back(segment.Text);
        return texts;
    }
    int32_t Regular = -1;
    int32_t Emphasis = -1;
};

TEST_F(TGUIConsoleTest, RewritingALineFromItsStart)
{
    TGUI_ConsoleHelper console(Render.get(), Regular, Emphasis);
    EXPECT_EQ(console.LineHeight, 18);
    ASSERT_EQ(console.Lines.size(), 1u);
    console.WriteText("first", 0xFF0000);
    console.Write("second", 1, 0x00FF00);
    console.NewLine();
    console.WriteText("next line", 0xFFFFFF);
    console.Height = 100;
    console.Draw(Scene);
    const int32_t firstSprite = console.Lines[0].Segments[0].Sprite;
    ASSERT_NE(firstSprite, -1);

    console.SetCursor(0, -1);
    console.WriteText("first", 0x0000FF); // same text and font: untouched, colour kept
    console.Write("changed", 1, 0x00FF00);
    console.NewLine();
    EXPECT_EQ(Texts(console, 0), (std::vector<std::string>{"first", "changed"}));
    EXPECT_EQ(console.Lines[0].Segments[0].Colour, 0xFF0000u);
    EXPECT_EQ(console.Lines[0].Segments[0].Sprite, firstSprite);
    EXPECT_EQ(console.CurrentLine, 1) << "the next existing line is reused";
    EXPECT_EQ(console.CurrentSegment, -1);

    // Rewriting with fewer segments drops the rest of the line.
    console.SetCursor(0, -1);
    console.WriteText("only", 0xFFFFFF);
    const int32_t freed = console.Lines[0].Segments[1].Sprite;
    console.NewLine();
    EXPECT_EQ(Texts(console, 0), std::vector<std::string>{"only"});
    EXPECT_EQ(Render->Sprite_Get(freed), nullptr);

    // The same text in the other font is a change.
    console.SetCursor(0, -1);
    console.Write("only", 1, 0x123456);
    EXPECT_EQ(console.Lines[0].Segments[0].Font, Emphasis);
    EXPECT_EQ(console.Lines[0].Segments[0].Colour, 0x123456u);
}

TEST_F(TGUIConsoleTest, CursorLimits)
{
    TGUI_ConsoleHelper console(Render.get(), Regular, Emphasis);
    console.WriteText("a", 1);
    console.WriteText("b", 1);
    console.NewLine();
    console.WriteText("c", 1);
    struct TCase {
        int32_t Line, Segment, WantLine, WantSegment;
    } cases[] = {{0, 0, 0, 0}, {5, 7, 1, 0}, {0, 9, 0, 1}, {-3, 4, 0, 4}, {1, -1, 1, -1}, {-1, -2, 0, -2}};
    for (const TCase& c : cases) {
        console.SetCursor(c.Line, c.Segment);
        EXPECT_EQ(console.CurrentLine, c.WantLine) << c.Line << "," << c.Segment;
        EXPECT_EQ(console.CurrentSegment, c.WantSegment) << c.Line << "," << c.Segment;
    }
    // A segment cursor past the line's end writes a new segment at the end.
    console.SetCursor(-1, 4);
    console.WriteText("d", 1);
    EXPECT_EQ(Texts(console, 0), (std::vector<std::string>{"a", "b", "d"}));

    console.Clear();
    EXPECT_EQ(console.Lines.size(), 1u);
    EXPECT_EQ(console.CurrentLine, 0);
    EXPECT_EQ(console.CurrentSegment, -1);
}

TEST_F(TGUIConsoleTest, DrawsTheNewestLinesBottomAligned)
{
    TGUI_ConsoleHelper console(Render.get(), Regular, Emphasis);
    console.X = 5;
    console.Y = 100;
    console.Width = 200;
    console.Height = 3 * console.LineHeight;
    for (int32_t i = 0; i < 10; i++) {
        if (i > 0)
            console.NewLine();
        console.WriteText("line " + std::to_string(i), 0x00FF00);
        console.Write("!", 1, 0xFF0000);
    }
    console.Draw(Scene);
    T3D_Scene* scene = Render->Scene_Get(Scene);
    ASSERT_GE(scene->DrawCount, 2);
    const T2DDrawItem& clip = scene->DrawList[0];
    EXPECT_EQ(clip.Kind, DRAWITEM_CLIP);
    EXPECT_EQ(std::vector<int32_t>(clip.Values, clip.Values + 4), (std::vector<int32_t>{5, 100, 205, 154}));
    const std::vector<TDrawn> drawn = Drawn();
    ASSERT_EQ(drawn.size(), 8u);
    const int32_t top = console.Y + console.Height - 4 * console.LineHeight;
    for (int32_t line = 6; line < 10; line++) {
        const TDrawn& text = drawn[static_cast<size_t>(2 * (line - 6))];
        const TDrawn& mark = drawn[static_cast<size_t>(2 * (line - 6) + 1)];
        EXPECT_EQ(text.Sprite, console.Lines[static_cast<size_t>(line)].Segments[0].Sprite);
        EXPECT_EQ(text.Y, top + (line - 6) * console.LineHeight) << line;
        EXPECT_EQ(text.X, 5);
        EXPECT_EQ(mark.X, 5 + 60) << "after \"line N\"";
    }
    // Coloured, the alpha bytes kept.
    const T3D_Sprite* sprite = Render->Sprite_Get(console.Lines[9].Segments[1].Sprite);
    EXPECT_EQ(sprite->Vertices[0].Color, 0xFFFF0000u);
}

TEST_F(TGUIConsoleTest, WithoutARegularFont)
{
    TGUI_ConsoleHelper console(Render.get(), 77, Emphasis);
    EXPECT_EQ(console.LineHeight, 2);
    console.Height = 10;
    console.Width = 10;
    console.WriteText("not drawn", 0xFFFFFF);
    console.Write("drawn", 1, 0xFFFFFF);
    console.Draw(Scene);
    const std::vector<TDrawn> drawn = Drawn();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].Sprite, console.Lines[0].Segments[1].Sprite);
    EXPECT_EQ(console.Lines[0].Segments[0].Sprite, -1);
}

} // namespace

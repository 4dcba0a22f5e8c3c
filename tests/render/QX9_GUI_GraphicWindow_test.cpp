// Windows from description files: the parser, the layout's order rules,
// control images, sprite elements, objects added and removed by code, and
// drawing, on the recording device with files made by the test.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_StateKey.h"
#include "tests/render/GUITestSupport.h"
#include "tools/TextureFiles.h"

namespace {

class TGUIGraphicWindowTest : public TGUITest {
protected:
    void SetUp() override
    {
        TGUITest::SetUp();
        Render->Scene_Get(Scene)->AddPass("GUI", 0, 0, 640, 480);
        Window = std::make_unique<TGUI_GraphicWindow>(Render.get(), "demo");
        Window->DrawScene = Scene;
        Image("Back.tga", 40, 20);
        Image("Hover.tga", 40, 20);
        Image("Down.tga", 40, 20);
        Image("Big.tga", 64, 32);
        Write("win\\Sprite_VS.bin", Bytes("//GLSL-VS\nvoid main() {}\n"));
        Write("win\\Sprite_PS.bin", Bytes("//GLSL-PS\nvoid main() {}\n"));
    }
    void TearDown() override
    {
        Window.reset();
        TGUITest::TearDown();
    }
    static std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }
    void Image(const std::string& name, uint16_t width, uint16_t height)
    {
        Write("win\\" + name, TextureFiles::MakeTGA32(width, height, std::vector<uint8_t>(width * height * 4u, 0x80)));
    }
    void Load(const std::string& body, TGUI_GraphicWindow* window = nullptr, const std::string& before = "")
    {
        const std::string file = Folder.WriteProgramFile(
            "win\\Demo.ini",
            before + "[Demo]\nDefaultVertexShader=Sprite_VS.bin\nDefaultPixelShader=Sprite_PS.bin\n" + body);
        (window ? window : Window.get())->LoadFromFile(file, "GUI", "");
    }
    TGUI_Object* Find(const std::string& name) const { return Window->FindObject(name); }

    std::unique_ptr<TGUI_GraphicWindow> Window;
};

TEST_F(TGUIGraphicWindowTest, DeclarationsAndPropertyLines)
{
    Window->AddMacro("%%", "_Eng");
    Load("main: window\n"
         "b_ok: button\n"
         "B_Two : Button\n"
         "c_name: caption\n"
         "sb_list: scrollbar\n"
         "thing: gadget\n"
         "just some text\n"
         "b_ok.x = 10 // the left edge\n"
         "b_ok.y =\n"
         "b_ok.file = Back%%.tga\n"
         "main.gap = 4 * 2\n"
         "free.value = main.gap + 1\n"
         "c_name.text = Hello World\n"
         "c_name.align = left\n"
         "sb_list.orientation = Horizontal\n"
         "sb_list.arrowsize = 14\n"
         "x = 5\n");
    EXPECT_EQ(Window->SectionName, "Demo");
    EXPECT_EQ(Window->WindowElement, "main");
    ASSERT_EQ(Window->Objects.size(), 4u) << "an unknown type makes nothing";
    const std::vector<std::pair<std::string, uint8_t>> infos = {{"b_ok", GUI_ELEMENT_BUTTON},
                                                                {"b_two", GUI_ELEMENT_BUTTON},
                                                                {"c_name", GUI_ELEMENT_CAPTION},
                                                                {"sb_list", GUI_ELEMENT_SCROLLBAR}};
    for (size_t i = 0; i < infos.size(); i++) {
        EXPECT_EQ(Window->ObjectInfos[i].Name, infos[i].first);
        EXPECT_EQ(Window->ObjectInfos[i].Kind, infos[i].second);
        EXPECT_EQ(Window->ObjectInfos[i].Binding, 3);
    }
    std::vector<std::string> names, expressions;
    for (const TGUI_LayoutExpression& e : Window->Expressions) {
        names.push_back(e.Name);
        expressions.push_back(e.Expression);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"b_ok.x", "main.gap", "free.value"}));
    EXPECT_EQ(expressions, (std::vector<std::string>{"10", "4 * 2", "main.gap + 1"}));
    // The macro made "Back_Eng.tga", which does not exist: no image.
    EXPECT_EQ(static_cast<TGUI_Button*>(Find("b_ok"))->Normal, -1);
    auto* label = static_cast<TGUI_Label*>(Find("C_NAME"));
    EXPECT_EQ(label->Text, u"Hello World");
    EXPECT_EQ(label->Align, 1);
    EXPECT_EQ(label->Blending, 2);
    auto* bar = static_cast<TGUI_ScrollBar*>(Find("sb_list"));
    EXPECT_EQ(bar->Orientation, 1);
    EXPECT_EQ(bar->ArrowSize, 14);
    EXPECT_EQ(Window->GetObjectName(1), "b_two");
    EXPECT_EQ(Window->GetObjectName(9), "");

    EXPECT_EQ(Window->GetValue("free.value"), 0) << "not computed yet";
    Window->Arrange();
    EXPECT_EQ(Find("b_ok")->X, 10);
    EXPECT_EQ(Window->GetValue("free.value"), 9);
}

TEST_F(TGUIGraphicWindowTest, LayoutOrder)
{
    Load("a: button\nb: button\na.x = 10\nb.x = a.x + 5\n");
    Window->Arrange();
    EXPECT_EQ(Find("b")->X, 15);

    // Swapped: b takes the x a had before.
    Load("a: button\nb: button\nb.x = a.x + 5\na.x = 10\n");
    Find("a")->X = 7;
    Window->Arrange();
    EXPECT_EQ(Find("b")->X, 12);
    EXPECT_EQ(Find("a")->X, 10);

    // A variable named like a property, with override, replaces it.
    Load("main: window\nb_ok: button\nb_ok.x = screen.width - 100\nb_ok.y = main.y + gap\n");
    Window->Y = 30;
    Window->SetVariableInt("gap", 7, false);
    Window->Arrange();
    EXPECT_EQ(Find("b_ok")->X, 540) << "screen.width is the pass's";
    EXPECT_EQ(Find("b_ok")->Y, 37);
    Window->SetVariable("b_ok.x", "99", true);
    Window->Arrange();
    EXPECT_EQ(Find("b_ok")->X, 99);
    EXPECT_EQ(Window->GetValue("b_ok.x"), 99);

    // Without the pass the screen counts 0.
    Window->DrawScene = -1;
    Window->SetVariable("b_ok.x", "1", false);
    Window->Arrange();
    EXPECT_EQ(Find("b_ok")->X, -100);
}

TEST_F(TGUIGraphicWindowTest, ControlImagesAndSpriteElements)
{
    Load("bg: sprite\n"
         "bg.file = Big.tga, 0, 0, 32, 16\n"
         "bg.x = 5\n"
         "top: sprite\n"
         "top.file = Big.tga\n"
         "b_ok: button\n"
         "b_ok.file = Back.tga, Hover.tga, Down.tga\n"
         "b_bg: button\n"
         "b_bg.file = top, Down.tga\n"
         "last: sprite\n"
         "render: sprite\n"
         "bg: render\n");
    auto* ok = static_cast<TGUI_Button*>(Find("b_ok"));
    EXPECT_NE(ok->Normal, -1);
    EXPECT_NE(ok->Hover, -1);
    EXPECT_NE(ok->Pressed, -1);
    EXPECT_EQ(ok->Disabled, -1);
    EXPECT_EQ(ok->Width, 40);
    EXPECT_EQ(ok->Height, 20);
    // A sprite element named as an image: used by the button, no longer
    // drawn by itself.
    auto* withSprite = static_cast<TGUI_Button*>(Find("b_bg"));
    EXPECT_EQ(withSprite->Normal, Window->FindSprite("top"));
    EXPECT_EQ(withSprite->Width, 64);
    EXPECT_EQ(Window->SpriteElements[1].Visible, 0);
    const T3D_Sprite* bg = Render->Sprite_Get(Window->FindSprite("bg"));
    EXPECT_FLOAT_EQ(bg->Width, 32) << "the pixel rectangle";
    Window->Arrange();
    EXPECT_FLOAT_EQ(bg->Vertices[0].X, 5);

    // Drawing order: b_ok, b_bg, last, render, then bg moved on top.
    ok->Normal = ok->Pressed; // drawn with one look
    Window->Draw();
    const std::vector<TDrawn> drawn = Drawn();
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn.back().Sprite, Window->FindSprite("bg"));
    for (const TDrawn& d : drawn)
        EXPECT_NE(d.Sprite, Window->FindSprite("top"));
}

// A description saved with a UTF-8 byte-order mark (as many editors write)
// loads like the plain file: the mark is not part of the window's section
// header.
TEST_F(TGUIGraphicWindowTest, AByteOrderMarkedFileLoadsLikeThePlainOne)
{
    for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
        SCOPED_TRACE(mark.empty() ? "plain" : "marked");
        TGUI_GraphicWindow window(Render.get(), "demo");
        window.DrawScene = Scene;
        Load("b_ok: button\nb_ok.x = 10\nbg: sprite\nbg.file = Big.tga, 0, 0, 32, 16\n", &window, mark);
        window.Arrange();
        ASSERT_NE(window.FindObject("b_ok"), nullptr);
        EXPECT_EQ(window.FindObject("b_ok")->X, 10);
        const T3D_Sprite* bg = Render->Sprite_Get(window.FindSprite("bg"));
        ASSERT_NE(bg, nullptr);
        EXPECT_FLOAT_EQ(bg->Width, 32);
    }
}

// The pixel rectangle of a sprite's image applies only when both extents are
// above 0 and fit the sprite: edges far out of range (clamped to 32 bits when
// read) must not wrap into a positive size.
TEST_F(TGUIGraphicWindowTest, SpriteRectanglesOutOfRangeAreRefused)
{
    struct Row {
        const char* rectangle;
        float width, height;
    } rows[] = {
        {"0, 0, 32, 16", 32, 16},
        {"8, 4, 8, 16", 64, 32},   // no width: the whole image
        {"20, 0, 10, 16", 64, 32}, // inverted
        {"-3000000000, 0, 32, 16", 64, 32},
        {"0, -3000000000, 32, 3000000000", 64, 32},
        {"3000000000, 0, -3000000000, 16", 64, 32},
        {"-2147483647, 0, 0, 16", 2147483647.0f, 16},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rectangle);
        TGUI_GraphicWindow window(Render.get(), "demo");
        Load(std::string("bg: sprite\nbg.file = Big.tga, ") + row.rectangle + "\n", &window);
        const T3D_Sprite* bg = Render->Sprite_Get(window.FindSprite("bg"));
        ASSERT_NE(bg, nullptr);
        EXPECT_FLOAT_EQ(bg->Width, row.width);
        EXPECT_FLOAT_EQ(bg->Height, row.height);
    }
}

TEST_F(TGUIGraphicWindowTest, SpriteAndCaptionKeys)
{
    Load("t: tile\n"
         "t.file = Big.tga\n"
         "t.width = 128\n"
         "t.height = 64\n"
         "s: sprite\n"
         "s.file = Big.tga\n"
         "s.width = 128\n"
         "s.blending = additive\n"
         "s.alpha = 100\n"
         "s.interpolation = Linear\n"
         "s.rotate = 90\n"
         "s.vertexshader = Sprite_VS.bin\n"
         "c: caption\n"
         "c.blending = screen\n"
         "c.color = 1, 2, 3\n"
         "c.interval = 3\n"
         "c.pixelshader = Sprite_PS.bin\n"
         "b: button\n"
         "b.alpha = 5\n");
    Window->Arrange();
    // A resized tile repeats its texture; a resized sprite stretches it.
    const T3D_Sprite* tile = Render->Sprite_Get(Window->FindSprite("t"));
    EXPECT_FLOAT_EQ(tile->Width, 128);
    EXPECT_FLOAT_EQ(tile->Height, 64);
    EXPECT_FLOAT_EQ(tile->Vertices[1].U - tile->Vertices[0].U, 2) << "the texture twice across";
    EXPECT_EQ(tile->StageTextures.at(0).Clamp, 0) << "tiles repeat";
    const T3D_Sprite* sprite = Render->Sprite_Get(Window->FindSprite("s"));
    EXPECT_EQ(sprite->StageTextures.at(0).Clamp, 1);
    EXPECT_EQ(sprite->StateKey.Value & (RSK_SRCBLEND | RSK_DESTBLEND), 2u << 28) << "source alpha, destination one";
    EXPECT_EQ(sprite->StateKey.Value & RSK_FILTER(0), 1u << 8);
    EXPECT_EQ(sprite->Vertices[0].Color >> 24, 100u);
    // Turned a quarter when loaded (32 x 64), then stretched to 128 wide.
    EXPECT_FLOAT_EQ(sprite->Width, 128);
    EXPECT_FLOAT_EQ(sprite->Height, 64);
    auto* caption = static_cast<TGUI_Label*>(Find("c"));
    EXPECT_EQ(caption->Blending, 3);
    EXPECT_EQ(caption->Color, 0u) << "a colour needs all four parts";
    EXPECT_EQ(caption->Interval, 3);
    EXPECT_EQ(Render->Sprite_Get(caption->TextSprite)->Shaders.size(), 2u);
}

TEST_F(TGUIGraphicWindowTest, ObjectsAddedAndRemovedByCode)
{
    Load("b_one: button\nb_two: button\ns_list.x = 20\ns_list.width = 100 + b_two.x\nb_two.x = 3\n");
    TGUI_Object list(Render.get());
    Window->AddObject(&list, "S_List", 3);
    EXPECT_EQ(Window->ObjectInfos[2].Kind, GUI_ELEMENT_ADDED);
    EXPECT_EQ(Window->Expressions[0].Kind, GUI_ELEMENT_ADDED);
    EXPECT_EQ(Window->Expressions[0].Element, 2);
    Window->Arrange();
    EXPECT_EQ(list.X, 20);
    EXPECT_EQ(list.Width, 100) << "b_two's x before its line";
    Window->AddObject(&list, "again", 3);
    EXPECT_EQ(Window->Objects.size(), 3u) << "already in";

    // Removing a declared object frees it; the slot is reused.
    Window->RemoveObject(Find("b_one"));
    EXPECT_EQ(Window->Objects[0], nullptr);
    EXPECT_EQ(Find("b_one"), nullptr);
    TGUI_Object other(Render.get());
    Window->AddObject(&other, "", 3);
    EXPECT_EQ(Window->Objects[0], &other);
    EXPECT_EQ(Window->ObjectInfos[0].Binding, 0) << "nameless: no layout";

    // Moving keeps the expressions on their objects.
    Window->MoveObjectFirst(&list);
    EXPECT_EQ(Window->Objects[0], &list);
    EXPECT_EQ(Window->Expressions[0].Element, 0);
    list.X = 0;
    Window->Arrange();
    EXPECT_EQ(list.X, 20);

    // MoveTo moves what the file does not place and re-arranges.
    other.X = 1;
    Window->MoveTo(50, 0);
    EXPECT_EQ(other.X, 51);
    EXPECT_EQ(list.X, 20);
    Window->RemoveObject(&list);
    Window->RemoveObject(&other);
    EXPECT_EQ(Window->Expressions[0].Kind, GUI_ELEMENT_FREE);
}

TEST_F(TGUIGraphicWindowTest, FileResolution)
{
    Write("win\\art\\Deep.tga", TextureFiles::MakeTGA32(2, 2, std::vector<uint8_t>(16, 0)));
    Write("shared\\Far.tga", TextureFiles::MakeTGA32(2, 2, std::vector<uint8_t>(16, 0)));
    Load("DefaultSearchPaths=art\\, " + Folder.ProgramPath() + "shared\\\n");
    struct TCase {
        std::string Name;
        bool Found;
        std::string Result;
    } cases[] = {
        {"Back.tga", true, Folder.ProgramPath() + "win\\Back.tga"},
        {"back.TGA", true, Folder.ProgramPath() + "win\\back.TGA"},
        {"Deep.tga", true, Folder.ProgramPath() + "win\\art\\Deep.tga"},
        {"sub\\Deep.tga", true, Folder.ProgramPath() + "win\\art\\Deep.tga"},
        {"Far.tga", true, Folder.ProgramPath() + "shared\\Far.tga"},
        {"Nowhere.tga", false, "Nowhere.tga"},
        {"Back", false, "Back"},
    };
    for (const TCase& c : cases) {
        std::string name = c.Name;
        EXPECT_EQ(Window->ResolveFile(name), c.Found) << c.Name;
        if (c.Found) {
            EXPECT_EQ(LowerCaseStr(name), LowerCaseStr(c.Result)) << c.Name;
        }
    }
}

TEST_F(TGUIGraphicWindowTest, SkippingTextsByTheirCharacterPairsChangesNothing)
{
    // Element names that run into each other, a variable named like a
    // property and one like an element, values that are texts, properties
    // above and below their uses.
    std::string text = "main: window\n";
    for (int32_t i = 0; i < 30; i++)
        text += "e" + std::to_string(i) + (i % 3 == 0 ? ": button\n" : i % 3 == 1 ? ": scrollbar\n" : ": sprite\n");
    for (int32_t i = 0; i < 30; i++) {
        const std::string e = "e" + std::to_string(i), other = "e" + std::to_string((i * 7) % 30);
        text += e + ".x = " + other + ".x + " + other + ".width + gap * (e1.y - 3)\n";
        text += e + ".y = main.y + " + std::to_string(i) + " * e" + std::to_string(i + 1) + ".height\n";
        text += e + ".free = e11.x+e1.x-" + e + ".y\n";
    }
    // A property defined again (uses between the two definitions take the
    // first), names that start with no word character, a number as a name.
    text += "gap.x = 4\nmain.gap = e0.free + e29.y\ne5.x = e5.x * 2 + gap.x\nlate.a = e5.x + $k - e4.free + 7\n";
    text += "e5.free = (e5.x)+[x]+$k\n";
    Load(text);
    Window->SetVariable("gap", "e2.x / 2", false);
    Window->SetVariable("e3.x", "17", true);
    Window->SetVariable("e1", "1000", false);
    Window->SetVariable("$k", "e5.x-3", false);
    Window->SetVariable("[x]", "e1.y", false);
    Window->SetVariable("7", "2", false);
    std::vector<std::pair<std::string, double>> plain, filtered;
    for (bool filter : {false, true}) {
        GUI_LayoutPairFilter = filter;
        for (int32_t round = 0; round < 2; round++)
            Window->Arrange();
        for (const TGUI_LayoutExpression& e : Window->Expressions)
            (filter ? filtered : plain).emplace_back(e.Working, e.Value);
    }
    GUI_LayoutPairFilter = true;
    ASSERT_EQ(plain.size(), filtered.size());
    for (size_t i = 0; i < plain.size(); i++) {
        EXPECT_EQ(plain[i].first, filtered[i].first) << Window->Expressions[i].Name;
        EXPECT_TRUE(plain[i].second == filtered[i].second ||
                    (std::isnan(plain[i].second) && std::isnan(filtered[i].second)))
            << Window->Expressions[i].Name;
    }
}

TEST(GUILayoutText, WholeWordsAndValues)
{
    struct TCase {
        std::string Text, Word, Value, Result;
    } cases[] = {
        {"a.x + 5", "a.x", "10", "10 + 5"},     {"ba.x + a.x", "a.x", "1", "ba.x + 1"},
        {"a.x2 + a.x", "a.x", "1", "a.x2 + 1"}, {"(a.x)*2", "a.x", "3", "(3)*2"},
        {"a.x_b", "a.x", "3", "a.x_b"},         {"a.x.y", "a.x", "3", "3.y"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ReplaceWholeWord(c.Text, c.Word, c.Value), c.Result) << c.Text;
    EXPECT_EQ(FormatLayoutValue(15), "15");
    EXPECT_EQ(FormatLayoutValue(2.5), "2.5");
    EXPECT_EQ(FormatLayoutValue(1.0 / 3), "0.33333333");
    EXPECT_EQ(FormatLayoutValue(-0.0), "0");
}

} // namespace

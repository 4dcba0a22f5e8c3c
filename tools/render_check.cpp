// render_check: draws one named test scene through the renderer's scenes and
// passes, headless, prints probe lines and writes the frame as a TGA.
//   render_check SCENE [--out FILE.tga] [--size WxH]
// Scenes: sprites, winding, mesh, skinned, pick N, gui-quad, gui, list,
// particles FILE --seconds S [--seed N],
// window FILE [--var NAME=VALUE ...] [--click NAME], models. Probe lines:
//   probe NAME X Y RRGGBB      a pixel of the frame
//   value NAME N               a number the scene measured
//   element NAME X Y W H V     a window element's place, size and visibility
// The installation is the one beside the game built with the tool.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/QX9_System.h"
#include "model/Support.h"
#include "platform/os/OS.h"
#include "platform/window/Window.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Console.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Particles.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Png.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shadows.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "tools/RenderCheck.h"
#include "tools/TextureFiles.h"
#include "tools/render_check/RenderCheck_Map.h"

namespace RenderCheck {

int Width = 160;
int Height = 120;

void Fail(const std::string& text)
{
    std::fprintf(stderr, "render_check: %s\n", text.c_str());
    std::exit(1);
}

std::vector<uint32_t> ReadBackBuffer()
{
    std::vector<uint32_t> pixels;
    int32_t width = 0, height = 0;
    if (!ReadBackBufferPixels(*MainRender, pixels, width, height) || width < Width || height < Height)
        Fail("cannot read the back buffer");
    if (width == Width)
        return pixels;
    std::vector<uint32_t> cut(static_cast<size_t>(Width) * Height);
    for (int y = 0; y < Height; y++)
        std::memcpy(&cut[static_cast<size_t>(y) * Width], &pixels[static_cast<size_t>(y) * width],
                    static_cast<size_t>(Width) * 4);
    return cut;
}

void Value(const char* name, int64_t value)
{
    std::printf("value %s %lld\n", name, static_cast<long long>(value));
}

} // namespace RenderCheck

namespace {

using namespace RenderCheck;

// A 2 x 2 opaque white texture: sprites take their colour from the vertices.
int32_t WhiteTexture()
{
    const int32_t slot = MainRender->Texture_Create(TEXTURE_DEFAULT, 2, 2, 1, D3DFMT_A8R8G8B8, 0);
    IDirect3DTexture9* texture = TextureAt(*MainRender, slot)->Texture;
    D3DLOCKED_RECT locked;
    if (texture == nullptr || texture->LockRect(0, &locked, nullptr, 0) != D3D_OK)
        Fail("cannot fill a texture");
    for (int y = 0; y < 2; y++)
        std::memset(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, 0xFF, 8);
    texture->UnlockRect(0);
    return slot;
}

int32_t ColouredSprite(int32_t white, float width, float height, uint32_t rgb)
{
    const int32_t index = NewInterfaceSprite();
    T3D_Sprite* sprite = MainRender->Sprite_Get(index);
    sprite->AddQuad(-1, width, height, 0, 0, 0, 0, 1, 1);
    sprite->SetStageTexture(white, 0, 1);
    sprite->SetColor(rgb, -1);
    return index;
}

T3D_RenderPass* AddPass(T3D_Scene* scene, const std::string& name, int32_t format, int32_t depth, int32_t width,
                        int32_t height)
{
    return scene->Passes[static_cast<size_t>(scene->AddPass(name, format, depth, width, height))];
}

// ---------------------------------------------------------------------------
// Scenes

TFrame Sprites(bool winding)
{
    T3D_Scene* scene = MainRender->Scene_Get(MainRender->Scene_Add("2D"));
    T3D_RenderPass* gui = AddPass(scene, "GUI", 0, 0, 0, 0);
    gui->SetDraw2D(1);
    gui->SetRenderState(RSK_DEPTHTEST, 0);
    const int32_t white = WhiteTexture();
    const int32_t red = ColouredSprite(white, 4, 4, 0xFF0000);
    if (winding)
        MainRender->Sprite_Get(red)->SetRenderState(RSK_CULL, 0x8);
    MainRender->Sprite_Draw(scene->Index, red, 10, 10, -1);

    int32_t labelWidth = 0, labelHeight = 0;
    if (!winding) {
        const int32_t green = ColouredSprite(white, 8, 8, 0x00FF00);
        MainRender->ClipRect_Push(scene->Index, 30, 10, 34, 30, false);
        MainRender->Sprite_Draw(scene->Index, green, 30, 10, -1);
        MainRender->ClipRect_Pop(scene->Index);

        T3D_Font* font =
            MainRender->Font_Get(MainRender->Font_Load(InterfaceFolder + "Common\\Fonts\\Candara_15px_white.ini"));
        if (font == nullptr)
            Fail("no baked font");
        const int32_t label = NewInterfaceSprite();
        font->PrintText("Hello", label, -1000, 0);
        font->MeasureText(u"Hello", labelWidth, labelHeight, -1000, true);
        MainRender->Sprite_Draw(scene->Index, label, 20, 50, -1);
    }
    scene->Render(false);
    TFrame frame{ReadBackBuffer()};
    frame.Probe("red", 11, 11);
    frame.Probe("outside", 5, 5);
    Value("red_pixels", frame.Lit(0, 0, 8, 8) == 0 ? frame.Lit(9, 9, 15, 15) : -1);
    if (!winding) {
        frame.Probe("clipped_in", 31, 12);
        frame.Probe("clipped_out", 35, 12);
        Value("label_width", labelWidth);
        Value("label_height", labelHeight);
        const int inside = frame.Lit(20, 50, 20 + labelWidth, 50 + labelHeight);
        const int around = frame.Lit(14, 44, 26 + labelWidth, 56 + labelHeight) - inside;
        Value("label_inside", inside);
        Value("label_outside", around);
    }
    Value("draw_calls", scene->Stats.DrawCalls);
    return frame;
}

// A mesh instance whose "Proj" = projection x world x instance world.
T3D_SceneMesh* AddMeshInstance(T3D_Scene* scene, int32_t mesh, const std::string& name, float r, float g, float b)
{
    T3D_SceneMesh* instance = scene->GetMesh(scene->AddMesh(mesh, name));
    instance->Constants.AddMatrixProduct(CONSTANT_VERTEX, 0, "Proj", 0xFFFFFFFFu);
    instance->Constants.AddFactorName("Proj", "WORLD");
    instance->Constants.AddFactorPtr("Proj", *scene->WorldMatrix);
    instance->Constants.AddFactorPtr("Proj", *scene->ProjMatrix);
    instance->Constants.SetVec4(CONSTANT_PIXEL, 0, "Color", r, g, b, 1, 0xFFFFFFFFu);
    return instance;
}

void LookAtMesh(T3D_RenderPass* pass, float distance)
{
    pass->SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
    pass->SetConstantName(CONSTANT_PIXEL, 0, "Color", 1);
    pass->InitOwnView();
    pass->ViewRotate(1, 0.6f);
    pass->ViewRotate(0, 0.4f);
    pass->ViewTranslate(0, 0, distance);
    pass->SetPerspective(0.9f, static_cast<float>(Height) / static_cast<float>(Width), 0.5f, 20);
}

TFrame Mesh()
{
    T3D_Scene* scene = MainRender->Scene_Get(MainRender->Scene_Add("3D"));
    T3D_RenderPass* off = AddPass(scene, "OFF", D3DFMT_A8R8G8B8, D3DFMT_D24S8, Width, Height);
    off->SetShader(InterfaceShadersFolder + "Test_Mesh_VS.bin", 1, 0xFFFFFFFFu);
    off->SetShader(InterfaceShadersFolder + "Test_Mesh_PS.bin", 0, 0xFFFFFFFFu);
    off->SetClear(3, 0xFF101010u, 1);
    off->SetViewport(0, 0, Width, Height, "Proj");
    LookAtMesh(off, 3);
    T3D_RenderPass* main = AddPass(scene, "MAIN", 0, 0, 0, 0);
    main->SetScreenProjection(1);
    main->SetShader(InterfaceShadersFolder + "Screen_VS.bin", 1, 0xFFFFFFFFu);
    main->SetShader(InterfaceShadersFolder + "Screen_PS.bin", 0, 0xFFFFFFFFu);
    main->SetTexture("OFF", 0, 1, 0xFFFFFFFFu);
    // The quad turns counter-clockwise on the screen, which the device culls
    // by default.
    main->SetRenderState(RSK_CULL, 0);
    main->SetRenderState(RSK_FILTER(0), 0);

    const int32_t cube = LoadMesh(MESH_TEXTURED, GameFolder + "Meshes\\Samples.D3D", "Cube", "Cube");
    AddMeshInstance(scene, cube, "Cube", 1, 0.5f, 0);
    AddMeshInstance(scene, cube, "Behind", 0, 0, 1)->Translate(0, 0, -40); // behind the camera: culled
    scene->SortPass("OFF");
    scene->Render(false);
    TFrame frame{ReadBackBuffer()};
    frame.Probe("centre", Width / 2, Height / 2);
    frame.Probe("corner", 2, 2);
    Value("off_draw_calls", off->DrawCalls);
    Value("entries", off->EntryCount);
    Value("main_draw_calls", main->DrawCalls);
    return frame;
}

TFrame Skinned()
{
    T3D_Scene* scene = MainRender->Scene_Get(MainRender->Scene_Add("3D"));
    T3D_RenderPass* main = AddPass(scene, "MAIN", 0, 0, 0, 0);
    main->SetShader(InterfaceShadersFolder + "Test_Skinned_VS.bin", 1, 0xFFFFFFFFu);
    main->SetShader(InterfaceShadersFolder + "Test_Skinned_PS.bin", 0, 0xFFFFFFFFu);
    main->SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
    main->SetConstantName(CONSTANT_PIXEL, 0, "Color", 1);
    main->InitOwnView();
    main->ViewTranslate(0, -1, 4);
    main->SetPerspective(0.9f, static_cast<float>(Height) / static_cast<float>(Width), 0.5f, 20);

    const std::string file = GameFolder + "Meshes\\Samples.DAE";
    const int32_t bar = LoadMesh(MESH_SKINNED, file, "Bar", "Bar");
    MainRender->Mesh_Get(bar)->LoadAnimation(file, "Bend");
    T3D_SceneMesh* instance = AddMeshInstance(scene, bar, "Bar", 1, 1, 1);
    instance->NoCull = 1;
    instance->Calc_AnimationByName("Bend", 500, 1);
    for (size_t i = 0; i < instance->SkinMatrices.size(); i++) {
        const std::string name = "Joint" + std::to_string(i);
        const int32_t reg = 32 + 3 * static_cast<int32_t>(i);
        main->SetConstantName(CONSTANT_VERTEX, reg, name, 3);
        instance->Constants.Add(CONSTANT_VERTEX, reg, name, instance->SkinMatrices[i].e, 0xFFFFFFFFu);
    }
    scene->SortPass("MAIN");
    scene->Render(false);
    TFrame frame{ReadBackBuffer()};
    frame.Probe("base", Width / 2, Height / 2 + 4);
    // The tip turns toward -x (left on the screen) as the bar bends.
    Value("upper_left", frame.Lit(0, 0, Width / 2 - 6, Height / 2 - 12));
    Value("upper_right", frame.Lit(Width / 2 + 6, 0, Width, Height / 2 - 12));
    Value("bones", static_cast<int64_t>(instance->SkinMatrices.size()));
    return frame;
}

TFrame Pick(uint32_t number)
{
    T3D_Scene* scene = MainRender->Scene_Get(MainRender->Scene_Add("PICKING"));
    T3D_RenderPass* pass = AddPass(scene, "PICK", D3DFMT_R5G6B5, D3DFMT_D24S8, Width, Height);
    pass->SetShader(InterfaceShadersFolder + "Sprite_VS.bin", 1, 0xFFFFFFFFu);
    pass->SetShader(InterfaceShadersFolder + "Test_Mesh_PS.bin", 0, 0xFFFFFFFFu);
    pass->SetConstantName(CONSTANT_PIXEL, 0, "Color", 1);
    pass->SetClear(3, 0, 1);
    pass->SetRenderState(RSK_CULL, 0);

    const int32_t quad = MainRender->Mesh_Add(MESH_SPRITE, "PickQuad", 1);
    const float l = static_cast<float>(Width) / 4, t = static_cast<float>(Height) / 4;
    const float r = l * 3, b = t * 3;
    T3D_VertexArray vertices(4);
    const float corners[4][2] = {
        {l - 0.5f, t - 0.5f}, {r - 0.5f, t - 0.5f}, {r - 0.5f, b - 0.5f}, {l - 0.5f, b - 0.5f}};
    for (size_t i = 0; i < 4; i++) {
        vertices[i].Position = {corners[i][0], corners[i][1], 0.5f};
        vertices[i].Color = 0xFFFFFFFFu;
    }
    MainRender->Mesh_Get(quad)->ImportGeometry(vertices, {0, 2, 1, 0, 3, 2});
    T3D_SceneMesh* instance = scene->GetMesh(scene->AddMesh(quad, "PickQuad"));
    instance->NoCull = 1;
    T3D_Color colour{0, 0, 0, 1};
    ColorFromRGB565(number, colour);
    instance->Constants.SetVec4(CONSTANT_PIXEL, 0, "Color", colour.r, colour.g, colour.b, 1, 0xFFFFFFFFu);
    scene->SortPass("PICK");
    scene->Render(false);

    const T3D_Texture* target = TextureAt(*MainRender, pass->TargetTexture);
    const int32_t copy =
        MainRender->Texture_Create(TEXTURE_OFFSCREEN, target->DeviceWidth, target->DeviceHeight, 1, D3DFMT_R5G6B5, 0);
    MainRender->Texture_CopyRenderTarget(pass->TargetTexture, copy);
    uint16_t inside = 0xFFFF, outside = 0xFFFF;
    MainRender->Texture_ReadPixel(copy, Width / 2, Height / 2, &inside);
    MainRender->Texture_ReadPixel(copy, 2, 2, &outside);
    Value("inside", inside);
    Value("outside", outside);
    // The frame shows the pick target through the back buffer's clear.
    return TFrame{ReadBackBuffer()};
}

TFrame GUIQuad()
{
    T3D_Scene* scene = MainRender->Scene_Get(MainRender->Scene_Add("MAP"));
    T3D_RenderPass* gui = AddPass(scene, "GUI", D3DFMT_A8R8G8B8, D3DFMT_D24S8, Width, Height);
    gui->SetDraw2D(1);
    gui->SetClear(3, 0, 1);
    gui->SetExcludeMask(0x4000);
    T3D_RenderPass* main = AddPass(scene, "MAIN", 0, 0, 0, 0);
    main->SetClear(3, 0xFF0000FFu, 1);

    CreateGUIQuadMesh(Width, Height);
    CreateMapGUIQuad(0x4000);
    const int32_t white = WhiteTexture();
    MainRender->Sprite_Draw(scene->Index, ColouredSprite(white, 4, 4, 0xFF0000), 10, 10, -1);
    scene->SortPass("MAIN");
    scene->Render(false);
    TFrame frame{ReadBackBuffer()};
    frame.Probe("sprite", 11, 11);
    frame.Probe("backdrop", Width / 2, Height / 2);
    Value("main_draw_calls", main->DrawCalls);
    return frame;
}

// The scene "2D" with one "GUI" pass (of that size, which only the layout
// of window files reads) that draws the 2D list over black.
T3D_Scene* InterfaceScene(int32_t width = 0, int32_t height = 0)
{
    T3D_Scene* scene = MainRender->Scene_Get(MainRender->Scene_Add("2D"));
    T3D_RenderPass* pass = AddPass(scene, "GUI", 0, 0, width, height);
    pass->SetDraw2D(1);
    pass->SetRenderState(RSK_DEPTHTEST, 0);
    pass->SetClear(3, 0xFF000000u, 1);
    return scene;
}

int32_t BakedFont()
{
    const int32_t font = MainRender->Font_Load(InterfaceFolder + "Common\\Fonts\\Candara_15px_white.ini");
    if (MainRender->Font_Get(font) == nullptr)
        Fail("no baked font");
    return font;
}

// The interface toolkit: one window with a button caught halfway through
// its cross-fade to the hover look, a centred label, a check box, an edit
// with its caret, two scroll bars and a console block, driven by synthetic
// messages and frame steps at set times. Meant for 320 x 240.
int32_t GuiNow = 1000;
int32_t GuiTime(bool)
{
    return GuiNow;
}

void GuiFrame(T3D_Scene* scene, int32_t now)
{
    GuiNow = now;
    scene->ClearDrawList();
    GUI_ProcessFrame();
}

void GuiMouse(UINT message, int32_t x, int32_t y)
{
    GUI_WindowProc(nullptr, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MakeLParam(x, y));
}

TFrame Gui()
{
    T3D_Scene* scene = InterfaceScene();
    const int32_t white = WhiteTexture();
    const int32_t font = BakedFont();

    static TGUI_Processor processor("render_check");
    processor.Render = MainRender;
    processor.TimeSource = GuiTime;
    GUI_ResetInput(&processor);
    GUIProcessor = &processor;

    auto* window = new TGUI_Window(MainRender, "gui");
    window->DrawScene = scene->Index;
    window->Background = ColouredSprite(white, static_cast<float>(Width), static_cast<float>(Height), 0x101010);

    auto* button = new TGUI_Button(MainRender);
    button->X = 10;
    button->Y = 10;
    button->Normal = ColouredSprite(white, 60, 20, 0xFF0000);
    button->Hover = ColouredSprite(white, 60, 20, 0x00FF00);
    button->Pressed = ColouredSprite(white, 60, 20, 0x0000FF);
    button->FadeEnter = 100;

    auto* label = new TGUI_Label(MainRender);
    label->SetFont(font);
    label->SetText(u"Duskmarch");
    label->X = Width / 2;
    label->Y = 40;

    auto* box = new TGUI_CheckBox(MainRender);
    box->X = 10;
    box->Y = 70;
    box->Unchecked = box->UncheckedPressed = ColouredSprite(white, 16, 16, 0x808080);
    box->CheckedNormal = box->CheckedPressed = ColouredSprite(white, 16, 16, 0xFFFF00);
    box->Checked = 1;

    auto* edit = new TGUI_Edit(MainRender);
    edit->X = 10;
    edit->Y = 100;
    edit->Margin = 2;
    edit->Sprite = ColouredSprite(white, 120, 20, 0x0C0C14);
    edit->SetFont(font);
    edit->Text = u"Ab";

    auto* vertical = new TGUI_ScrollBar(MainRender);
    auto* horizontal = new TGUI_ScrollBar(MainRender);
    for (TGUI_ScrollBar* bar : {vertical, horizontal}) {
        bar->ArrowSize = 14;
        bar->ArrowANormal = ColouredSprite(white, 14, 14, 0x808080);
        bar->ArrowBNormal = ColouredSprite(white, 14, 14, 0x808080);
        const bool upright = bar == vertical;
        bar->SliderWidth = upright ? 14 : 20;
        bar->SliderHeight = upright ? 20 : 14;
        bar->SliderNormal = ColouredSprite(white, static_cast<float>(bar->SliderWidth),
                                           static_cast<float>(bar->SliderHeight), 0x00FFFF);
    }
    vertical->X = Width - 24;
    vertical->Y = 10;
    vertical->Width = 14;
    vertical->Height = 120; // travel 72
    vertical->SetPosition(0.25f);
    horizontal->Orientation = 1;
    horizontal->X = 10;
    horizontal->Y = Height - 24;
    horizontal->Width = 140; // travel 92
    horizontal->Height = 14;
    horizontal->SetPosition(0.5f);
    window->Objects = {button, label, box, edit, vertical, horizontal};

    TGUI_ConsoleHelper console(MainRender, font, font);
    console.X = 150;
    console.Y = 90;
    console.Width = 140;
    console.Height = 3 * console.LineHeight;
    const uint32_t colours[5] = {0xFFFFFF, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x4080FF};
    for (int32_t i = 0; i < 5; i++) {
        if (i > 0)
            console.NewLine();
        console.WriteText("Line " + std::to_string(i), colours[i]);
    }

    // Shown as the first window; the edit clicked at 1950, the button
    // entered at 2000 and the frame drawn at 2050.
    GUI_OpenWindows.clear();
    window->Show();
    window->State = GUI_STATE_ACTIVE;
    GuiMouse(WM_MOUSEMOVE, 300, 200);
    GuiFrame(scene, 1000);
    GuiMouse(WM_MOUSEMOVE, 50, 110);
    GuiMouse(WM_LBUTTONDOWN, 50, 110);
    GuiFrame(scene, 1940);
    GuiMouse(WM_LBUTTONUP, 50, 110);
    GuiFrame(scene, 1950);
    GuiMouse(WM_MOUSEMOVE, 40, 20);
    GuiFrame(scene, 2000);
    GuiFrame(scene, 2050);
    console.Draw(scene->Index);
    scene->Render(false);
    TFrame frame{ReadBackBuffer()};

    frame.Probe("button_mix", 40, 20);
    frame.Probe("check_box", 18, 78);
    frame.Probe("slider_vertical", Width - 17, 10 + 14 + 18 + 10);
    frame.Probe("slider_horizontal", 10 + 14 + 46 + 10, Height - 17);
    frame.Probe("background", 200, 40);
    Value("focused", edit->HasFocus() ? 1 : 0);
    Value("label_x", label->DrawX);
    Value("label_width", label->Width);
    Value("label_lit", frame.Lit(label->DrawX, label->Y, label->DrawX + label->Width, label->Y + label->Height));
    Value("label_around", frame.Lit(label->DrawX - 6, label->Y, label->DrawX - 1, label->Y + label->Height) +
                              frame.Lit(label->DrawX + label->Width + 2, label->Y, label->DrawX + label->Width + 7,
                                        label->Y + label->Height));
    // The caret: what lies right of the text inside the edit.
    const T3D_Font* editFont = MainRender->Font_Get(font);
    int32_t textWidth = 0, caretWidth = 0, lineHeight = 0;
    editFont->MeasureText(u"Ab", textWidth, lineHeight, -1000, true);
    editFont->MeasureText(u"Ab|", caretWidth, lineHeight, -1000, true);
    const int32_t caretLeft = edit->X + edit->Margin + textWidth, caretRight = edit->X + edit->Margin + caretWidth + 1;
    Value("caret_lit", frame.Lit(caretLeft, edit->Y, caretRight, edit->Y + edit->Height));
    // Console lines by colour: 3 lines fit, the 4th from the end is cut.
    auto count = [&](auto test) {
        int32_t n = 0;
        for (int y = console.Y; y < console.Y + console.Height; y++)
            for (int x = console.X; x < console.X + console.Width; x++) {
                const uint32_t c = frame.At(x, y);
                n += test((c >> 16) & 255, (c >> 8) & 255, c & 255) ? 1 : 0;
            }
        return n;
    };
    Value("console_red", count([](uint32_t r, uint32_t g, uint32_t b) { return r > 100 && g < 60 && b < 60; }));
    Value("console_green", count([](uint32_t r, uint32_t g, uint32_t b) { return g > 100 && r < 60 && b < 60; }));
    Value("console_blue", count([](uint32_t r, uint32_t g, uint32_t b) { return b > 100 && r < 60 && g > 40; }));
    Value("console_outside", frame.Lit(console.X, console.Y - 20, console.X + console.Width, console.Y - 1));

    // Half a second later the caret is in its hidden phase.
    GuiFrame(scene, 2500);
    console.Draw(scene->Index);
    scene->Render(false);
    const TFrame later{ReadBackBuffer()};
    Value("caret_lit_later", later.Lit(caretLeft, edit->Y, caretRight, edit->Y + edit->Height));
    return frame;
}

// A string list scrolled part-way, with its highlighted item behind the text
// and the lines cut by its clip rectangle. Meant for 320 x 240.
TFrame List()
{
    T3D_Scene* scene = InterfaceScene();
    const int32_t white = WhiteTexture();
    const int32_t font = BakedFont();
    TGUI_StringList list(MainRender, 40);
    list.X = 40;
    list.Y = 60;
    list.Width = 200;
    list.SetHeight(100);
    list.MarginX = 4;
    list.Sprite = ColouredSprite(white, 200, 100, 0x101018);
    list.HighlightSprite = ColouredSprite(white, 4, 4, 0x0000C0);
    list.HighlightOn = 1;
    // The baked fonts' clear texels are white: blended by their alpha, not added.
    list.Blending = 2;
    list.AddText(u"First line<br>Second line#\\A third line that is long enough to wrap onto the next one\r\n"
                 u"Fourth<br>Fifth<br>Sixth<br>Seventh<br>Eighth",
                 font, -1, 1, 0, -1000);
    list.SetHighlightedItem(2);
    const int32_t scroll = list.Lines[1].Height / 2;
    list.SetScroll(scroll);
    list.Draw(scene->Index);
    scene->Render(false);
    TFrame frame{ReadBackBuffer()};

    // Item 2's span on the screen.
    int32_t top = 1 << 30, bottom = -(1 << 30);
    for (int32_t i = 0; i < list.Count; i++)
        if (list.Lines[static_cast<size_t>(i)].ItemId == 2) {
            top = std::min(top, static_cast<int32_t>(std::nearbyint(list.Lines[static_cast<size_t>(i)].Top)));
            bottom = std::max(bottom, static_cast<int32_t>(std::nearbyint(list.Lines[static_cast<size_t>(i) + 1].Top)));
        }
    Value("lines", list.Count);
    int32_t item2Lines = 0;
    for (int32_t i = 0; i < list.Count; i++)
        item2Lines += list.Lines[static_cast<size_t>(i)].ItemId == 2 ? 1 : 0;
    Value("item2_lines", item2Lines);
    Value("line_height", list.Lines[0].Height);
    Value("scroll", list.ScrollY);
    Value("max_scroll", list.MaxScroll);
    frame.Probe("highlight", list.X + list.Width - list.MarginX - 3, list.Y + top - scroll + 2);
    frame.Probe("background", list.X + list.Width - 3, list.Y + list.Height - 3);
    Value("text_lit", frame.Lit(list.X, list.Y, list.X + list.Width, list.Y + list.Height));
    Value("above_lit", frame.Lit(list.X, list.Y - 20, list.X + list.Width, list.Y));
    Value("below_lit", frame.Lit(list.X, list.Y + list.Height, list.X + list.Width, list.Y + list.Height + 40));
    Value("highlight_height", bottom - top);
    return frame;
}

// A particle effect of the installation started at the frame's centre and
// updated every 40 ms for the given time; each system's pool and live
// particles are printed.
TFrame Particles(const std::string& file, double seconds, uint32_t seed)
{
    T3D_Scene* scene = InterfaceScene();
    std::string path = file;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (!FileExistsMask(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\" + path))
        Fail("no effect file " + file);
    SetParticleRender(MainRender);
    SetParticleSeed(seed);
    TParticleEffect effect;
    LoadParticleEffect(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\" + path, InterfaceShadersFolder + "Sprite_VS.bin",
                       InterfaceShadersFolder + "Sprite_PS.bin", "GUI", effect);
    const float x = static_cast<float>(Width) / 2, y = static_cast<float>(Height) / 2;
    StartParticleEffect(effect, 0, x, y);
    const int32_t end = static_cast<int32_t>(seconds * 1000);
    for (int32_t now = 40; now < end; now += 40) {
        UpdateParticleEffect(effect, scene->Index, now, x, y, 1, true);
        scene->ClearDrawList();
    }
    const bool running = UpdateParticleEffect(effect, scene->Index, end, x, y, 1, true);
    scene->Render(false);
    TFrame frame{ReadBackBuffer()};
    for (size_t i = 0; i < effect.Systems.size(); i++) {
        int32_t live = 0;
        for (const TParticle& particle : effect.Systems[i].Pool)
            live += particle.Life != 0 ? 1 : 0;
        const std::string name = "system" + std::to_string(i + 1);
        Value((name + "_pool").c_str(), effect.Systems[i].PoolSize);
        Value((name + "_live").c_str(), live);
    }
    Value("running", running ? 1 : 0);
    Value("lit", frame.Lit(0, 0, Width, Height));
    FreeParticleEffect(effect);
    return frame;
}

// A window description file of the installation in the scene "2D", whose
// "GUI" pass has the frame's size: arranged with the given variables, every
// element printed, drawn; with a click name, a press and a release at that
// control's centre go through the frame step.
const TGUI_GraphicWindow* ClickWindow = nullptr;

void PrintClick(TGUI_Object* object)
{
    for (size_t i = 0; i < ClickWindow->Objects.size(); i++)
        if (ClickWindow->Objects[i] == object)
            std::printf("%s OnClick\n", ClickWindow->GetObjectName(static_cast<int32_t>(i)).c_str());
}

TFrame Window(const std::string& file, const std::vector<std::pair<std::string, std::string>>& variables,
              const std::string& click)
{
    T3D_Scene* scene = InterfaceScene(Width, Height);
    std::string path = file;
    std::replace(path.begin(), path.end(), '/', '\\');
    const std::string install = OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\";
    if (!FileExistsMask(install + path))
        Fail("no window file " + file);

    static TGUI_Processor processor("render_check");
    processor.Render = MainRender;
    processor.TimeSource = GuiTime;
    GUI_ResetInput(&processor);
    GUIProcessor = &processor;
    auto* window = new TGUI_GraphicWindow(MainRender, "window");
    window->DrawScene = scene->Index;
    window->AddMacro("%%", "_Eng");
    window->LoadFromFile(install + path, "GUI", install + "Interface\\Unknown.tga");
    for (const auto& [name, value] : variables)
        window->SetVariable(name, value, false);
    window->Arrange();
    for (size_t i = 0; i < window->Objects.size(); i++) {
        const TGUI_Object* object = window->Objects[i];
        if (object != nullptr)
            std::printf("element %s %d %d %d %d %d\n", window->ObjectInfos[i].Name.c_str(), object->X, object->Y,
                        object->Width, object->Height, object->Visible);
    }
    for (const TGUI_SpriteElement& element : window->SpriteElements) {
        const T3D_Sprite* sprite = MainRender->Sprite_Get(element.Sprite);
        const bool placed = sprite != nullptr && !sprite->Vertices.empty();
        std::printf("element %s %d %d %d %d %d\n", element.Name.c_str(),
                    placed ? static_cast<int>(std::nearbyint(sprite->Vertices[0].X)) : 0,
                    placed ? static_cast<int>(std::nearbyint(sprite->Vertices[0].Y)) : 0,
                    sprite != nullptr ? static_cast<int>(std::nearbyint(sprite->Width)) : 0,
                    sprite != nullptr ? static_cast<int>(std::nearbyint(sprite->Height)) : 0, element.Visible);
    }
    if (!click.empty()) {
        TGUI_Object* target = window->FindObject(click);
        if (target == nullptr)
            Fail("no control " + click);
        ClickWindow = window;
        target->OnClick = PrintClick;
        GUI_OpenWindows.clear();
        window->Show();
        window->State = GUI_STATE_ACTIVE;
        const int32_t x = target->X + target->Width / 2, y = target->Y + target->Height / 2;
        GuiMouse(WM_MOUSEMOVE, x, y);
        GuiFrame(scene, 1000);
        GuiMouse(WM_LBUTTONDOWN, x, y);
        GuiFrame(scene, 1100);
        GuiMouse(WM_LBUTTONUP, x, y);
        GuiFrame(scene, 1200);
    }
    scene->ClearDrawList();
    window->Draw();
    scene->Render(false);
    return TFrame{ReadBackBuffer()};
}

bool WriteFrame(const std::string& file, const TFrame& frame)
{
    std::vector<uint8_t> bgra(frame.Pixels.size() * 4);
    for (size_t i = 0; i < frame.Pixels.size(); i++) {
        const uint32_t c = frame.Pixels[i] | 0xFF000000u;
        std::memcpy(&bgra[i * 4], &c, 4);
    }
    const std::vector<uint8_t> tga =
        TextureFiles::MakeTGA32(static_cast<uint16_t>(Width), static_cast<uint16_t>(Height), bgra);
    return OS_WriteFileAtomic(file, tga.data(), tga.size());
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string scene, out, effectFile, click;
    std::vector<std::pair<std::string, std::string>> variables;
    uint32_t pickNumber = 0, seed = 1;
    double seconds = 1;
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] == "--out" && i + 1 < args.size()) {
            out = args[++i];
        } else if (args[i] == "--size" && i + 1 < args.size()) {
            if (std::sscanf(args[++i].c_str(), "%dx%d", &Width, &Height) != 2 || Width < 64 || Height < 64 ||
                Width > 4096 || Height > 4096)
                Fail("bad size " + args[i]);
        } else if (scene.empty()) {
            scene = args[i];
            if (scene == "pick") {
                if (i + 1 >= args.size())
                    Fail("pick needs a number");
                pickNumber = static_cast<uint32_t>(std::strtoul(args[++i].c_str(), nullptr, 10)) & 0xFFFF;
            } else if (scene == "particles" || scene == "window") {
                if (i + 1 >= args.size())
                    Fail(scene + " needs a file");
                effectFile = args[++i];
            }
        } else if (args[i] == "--var" && i + 1 < args.size()) {
            const std::string& assignment = args[++i];
            const size_t equals = assignment.find('=');
            if (equals == std::string::npos || equals == 0)
                Fail("bad variable " + assignment);
            variables.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
        } else if (args[i] == "--click" && i + 1 < args.size()) {
            click = args[++i];
        } else if (args[i] == "--seconds" && i + 1 < args.size()) {
            seconds = std::strtod(args[++i].c_str(), nullptr);
            if (!(seconds > 0 && seconds <= 600))
                Fail("bad time " + args[i]);
        } else if (args[i] == "--seed" && i + 1 < args.size()) {
            seed = static_cast<uint32_t>(std::strtoul(args[++i].c_str(), nullptr, 10));
        } else {
            Fail("unexpected argument " + args[i]);
        }
    }
    if (scene.empty()) {
        std::fprintf(stderr, "usage: render_check sprites|winding|mesh|skinned|pick N|gui-quad|gui|list|particles "
                             "FILE|window FILE|models|personage [--out FILE.tga] "
                             "[--size WxH]\n");
        return 2;
    }
    // Headless: no display needed, no message box waits.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("DUSKMARCH_HEADLESS", "1", 0);
    QX9_Render_Initialization();
    SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL));

    TWindowCreateParams params;
    params.ClassName = "RenderCheck";
    params.Title = "render_check";
    params.Width = Width;
    params.Height = Height;
    HWND window = Window_Create(params);
    if (window == nullptr)
        Fail("no window");
    RenderSettings.Created = 0;
    CreateRender(window, Width, Height, 0);
    GUIVirtualSize = {1, "GUI", Width, Height};

    if (RenderCheckMap(scene, out) && std::fflush(stdout) == 0)
        std::_Exit(0);
    TFrame frame;
    if (scene == "sprites" || scene == "winding")
        frame = Sprites(scene == "winding");
    else if (scene == "mesh")
        frame = Mesh();
    else if (scene == "skinned")
        frame = Skinned();
    else if (scene == "pick")
        frame = Pick(pickNumber);
    else if (scene == "gui-quad")
        frame = GUIQuad();
    else if (scene == "gui")
        frame = Gui();
    else if (scene == "list")
        frame = List();
    else if (scene == "particles")
        frame = Particles(effectFile, seconds, seed);
    else if (scene == "window")
        frame = Window(effectFile, variables, click);
    else if (scene == "models")
        frame = ModelsSheet();
    else if (scene == "personage")
        frame = PersonagePoses();
    else
        Fail("unknown scene " + scene);
    if (!out.empty() && !WriteFrame(out, frame))
        Fail("cannot write " + out);
    std::fflush(stdout);
    // The program ends here: the operating system takes the device with it.
    std::_Exit(0);
}

#include <gtest/gtest.h>

#include <cstring>

#include "platform/os/OS.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_StateKey.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/TextureFiles.h"

class PassesDeviceTest : public TDeviceRenderTest {
protected:
    // A pass of a new scene drawing the texture over a side x side target
    // with the installation's screen vertex shader and the given pixel
    // shader, point-filtered.
    T3D_RenderPass* ScreenPass(const std::string& sceneName, int32_t side, const std::string& pixelShader,
                               int32_t texture)
    {
        const std::string shaders = OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\Interface\\Shaders\\";
        T3D_Scene* scene = Render->Scene_Get(Render->Scene_Add(sceneName));
        T3D_RenderPass* pass =
            scene->Passes[static_cast<size_t>(scene->AddPass(sceneName, D3DFMT_A8R8G8B8, 0, side, side))];
        pass->SetScreenProjection(0);
        pass->SetShader(shaders + "Screen_VS.bin", 1, 0xFFFFFFFFu);
        pass->SetShader(shaders + pixelShader, 0, 0xFFFFFFFFu);
        pass->SetTextureIndex(texture, 0, 1, 0xFFFFFFFFu);
        pass->SetRenderState(RSK_CULL, 0);
        pass->SetRenderState(RSK_FILTER(0), 0);
        pass->SetRenderState(RSK_DEPTHTEST, 0);
        return pass;
    }
    // Renders the pass's scene and reads its target back, row by row.
    std::vector<uint32_t> RenderAndRead(T3D_RenderPass* pass, int32_t side)
    {
        try {
            pass->Scene->Render(false);
        } catch (const TRenderFatalStop&) {
            ADD_FAILURE() << GetEngineErrorText();
            return {};
        }
        const int32_t copy = Render->Texture_Create(TEXTURE_OFFSCREEN, side, side, 1, D3DFMT_A8R8G8B8, 0);
        Render->Texture_CopyRenderTarget(pass->TargetTexture, copy);
        std::vector<uint32_t> pixels(static_cast<size_t>(side * side));
        for (int32_t y = 0; y < side; y++)
            for (int32_t x = 0; x < side; x++)
                Render->Texture_ReadPixel(copy, x, y, &pixels[static_cast<size_t>(y * side + x)]);
        return pixels;
    }
};

// The full-screen quad puts texel centres on pixel centres: a 4 x 4 texture
// drawn point-filtered into a 4 x 4 target comes back texel for texel.
TEST_F(PassesDeviceTest, ScreenQuadReproducesEveryTexel)
{
    std::vector<uint8_t> bgra(4 * 4 * 4);
    for (size_t i = 0; i < 16; i++) {
        bgra[i * 4 + 0] = static_cast<uint8_t>(i * 16);
        bgra[i * 4 + 1] = static_cast<uint8_t>(255 - i * 16);
        bgra[i * 4 + 2] = static_cast<uint8_t>((i * 37) & 255);
        bgra[i * 4 + 3] = 255;
    }
    const int32_t texture = Render->Texture_Load(Write("Texels.tga", TextureFiles::MakeTGA32(4, 4, bgra)));
    T3D_RenderPass* pass = ScreenPass("COPY", 4, "Screen_PS.bin", texture);
    const std::vector<uint32_t> pixels = RenderAndRead(pass, 4);
    ASSERT_EQ(pixels.size(), 16u);
    for (int32_t y = 0; y < 4; y++)
        for (int32_t x = 0; x < 4; x++) {
            uint32_t expected = 0;
            std::memcpy(&expected, &bgra[static_cast<size_t>(y * 4 + x) * 4], 4);
            EXPECT_EQ(pixels[static_cast<size_t>(y * 4 + x)], expected) << x << "," << y;
        }
    EXPECT_EQ(pass->DrawCalls, 1);
}

// A 2D list of overlapping, half-transparent sprites in runs of equal state,
// the runs broken by texture changes and clip changes: drawn run by run it
// gives the same pixels as sprite by sprite, with one draw per run.
TEST_F(PassesDeviceTest, TwoDimensionalRunsDrawAsOneCallEach)
{
    constexpr int32_t Side = 32;
    const std::string shaders = OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\Interface\\Shaders\\";
    std::vector<int32_t> textures;
    for (uint32_t colour : {0xFFFF4020u, 0xFF20C0FFu}) {
        std::vector<uint8_t> bgra(4 * 4 * 4);
        for (size_t i = 0; i < 16; i++)
            std::memcpy(&bgra[i * 4], &colour, 4);
        textures.push_back(Render->Texture_Load(
            Write("T" + std::to_string(textures.size()) + ".tga", TextureFiles::MakeTGA32(4, 4, bgra))));
    }
    T3D_Scene* scene = Render->Scene_Get(Render->Scene_Add("2D"));
    T3D_RenderPass* pass = scene->Passes[static_cast<size_t>(scene->AddPass("GUI", D3DFMT_A8R8G8B8, 0, Side, Side))];
    pass->SetDraw2D(1);
    pass->SetRenderState(RSK_DEPTHTEST, 0);
    auto sprite = [&](int32_t texture) {
        const int32_t index = Render->Sprite_Add(0, 0);
        T3D_Sprite* s = Render->Sprite_Get(index);
        s->AddQuad(-1, 10, 10, 0, 0, 0, 0, 1, 1);
        s->AddQuad(-1, 6, 6, 3, 3, 0, 0, 1, 1);
        s->SetStageTexture(textures[static_cast<size_t>(texture)], 0, 1);
        s->SetShader(shaders + "Sprite_VS.bin", "GUI", 1);
        s->SetShader(shaders + "Sprite_PS.bin", "GUI", 0);
        s->SetRenderState(RSK_ALPHAMODE, static_cast<int32_t>(RSK_ALPHA_BLEND));
        s->SetRenderState(RSK_SRCBLEND, 2);
        s->SetRenderState(RSK_DESTBLEND, 2);
        s->SetRenderState(RSK_CULL, 0x4);
        return index;
    };
    const int32_t a = sprite(0), b = sprite(1);
    auto clip = [&](int32_t l, int32_t t, int32_t r, int32_t bottom) {
        T2DDrawItem item;
        item.Kind = DRAWITEM_CLIP;
        item.Values[0] = l;
        item.Values[1] = t;
        item.Values[2] = r;
        item.Values[3] = bottom;
        scene->AddDrawItem(item);
    };
    // Runs: a a a | b b | a (clipped) a | a (unclipped) b -> 5 draws.
    auto queue = [&] {
        Render->Sprite_Draw(scene->Index, a, 0, 0, 160);
        Render->Sprite_Draw(scene->Index, a, 4, 2, 160);
        Render->Sprite_Draw(scene->Index, a, 8, 4, 160);
        Render->Sprite_Draw(scene->Index, b, 6, 6, 120);
        Render->Sprite_Draw(scene->Index, b, 12, 8, 120);
        clip(2, 2, 24, 20);
        Render->Sprite_Draw(scene->Index, a, 14, 12, 200);
        Render->Sprite_Draw(scene->Index, a, 18, 14, 90);
        clip(-1, 0, -1, 0);
        Render->Sprite_Draw(scene->Index, a, 20, 20, 140);
        Render->Sprite_Draw(scene->Index, b, 22, 22, 140);
    };
    auto draw = [&](uint8_t batch) {
        pass->Batch2D = batch;
        pass->DrawCalls = 0;
        queue();
        return RenderAndRead(pass, Side);
    };
    const std::vector<uint32_t> single = draw(0);
    const int32_t singleCalls = pass->DrawCalls;
    const std::vector<uint32_t> batched = draw(1);
    EXPECT_EQ(singleCalls, 9);
    EXPECT_EQ(pass->DrawCalls, 5);
    EXPECT_TRUE(batched == single);
    // Not a blank picture: both textures and the blending show.
    EXPECT_GT(std::count(single.begin(), single.end(), single[static_cast<size_t>(Side * Side - 1)]), 0);
    EXPECT_NE(single[static_cast<size_t>(1 * Side + 1)], single[static_cast<size_t>(9 * Side + 14)]);
}

// The installation's blur: a lit column spreads over its neighbours as a 1-2-1
// tent, its taps Blur_Radius pixels apart. The constants reach the shader in
// the registers the pass names: "Source_Size" 0, "Blur_Radius" 1.
TEST_F(PassesDeviceTest, BlurSpreadsALitColumnByItsRadius)
{
    constexpr int32_t Side = 16, Lit = 8;
    std::vector<uint8_t> bgra(Side * Side * 4, 0);
    for (int32_t y = 0; y < Side; y++) {
        uint8_t* p = &bgra[static_cast<size_t>(y * Side + Lit) * 4];
        p[0] = p[1] = p[2] = 255;
    }
    for (size_t i = 3; i < bgra.size(); i += 4)
        bgra[i] = 255;
    const int32_t texture = Render->Texture_Load(Write("Column.tga", TextureFiles::MakeTGA32(Side, Side, bgra)));

    // Columns and the grey each should get (of 255): the centre keeps half,
    // the columns Blur_Radius away a quarter each, the rest nothing.
    const struct {
        float Radius;
        int32_t Column;
        int32_t Grey;
    } cases[] = {{1, Lit, 128}, {1, Lit - 1, 64}, {1, Lit + 1, 64}, {1, Lit - 2, 0},
                 {2, Lit, 128}, {2, Lit - 2, 64}, {2, Lit + 2, 64}, {2, Lit - 1, 0}};
    for (const auto& c : cases) {
        T3D_RenderPass* pass = ScreenPass("BLUR" + std::to_string(c.Radius), Side, "Blur_PS.bin", texture);
        pass->SetConstantName(CONSTANT_PIXEL, 0, "Source_Size", 1);
        pass->SetConstantName(CONSTANT_PIXEL, 1, "Blur_Radius", 1);
        pass->Scene->Constants.SetFloat(CONSTANT_PIXEL, 0, "Source_Size", Side, 1);
        pass->Scene->Constants.SetFloat(CONSTANT_PIXEL, 1, "Blur_Radius", c.Radius, 1);
        const std::vector<uint32_t> pixels = RenderAndRead(pass, Side);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(Side * Side));
        EXPECT_NEAR(static_cast<int32_t>(pixels[static_cast<size_t>(Side / 2 * Side + c.Column)] & 0xFF), c.Grey, 3)
            << "radius " << c.Radius << ", column " << c.Column;
    }
}

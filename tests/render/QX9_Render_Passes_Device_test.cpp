#include <gtest/gtest.h>

#include <cstring>

#include "platform/os/OS.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_StateKey.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/TextureFiles.h"

class PassesDeviceTest : public TDeviceRenderTest {};

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
    const std::string shaders = OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\Interface\\Shaders\\";

    T3D_Scene* scene = Render->Scene_Get(Render->Scene_Add("COPY"));
    T3D_RenderPass* pass =
        scene->Passes[static_cast<size_t>(scene->AddPass("COPY", D3DFMT_A8R8G8B8, 0, 4, 4))];
    pass->SetScreenProjection(0);
    pass->SetShader(shaders + "Screen_VS.bin", 1, 0xFFFFFFFFu);
    pass->SetShader(shaders + "Screen_PS.bin", 0, 0xFFFFFFFFu);
    pass->SetTextureIndex(texture, 0, 1, 0xFFFFFFFFu);
    pass->SetRenderState(RSK_CULL, 0);
    pass->SetRenderState(RSK_FILTER(0), 0);
    pass->SetRenderState(RSK_DEPTHTEST, 0);
    try {
        scene->Render(false);
    } catch (const TRenderFatalStop&) {
        FAIL() << GetEngineErrorText();
    }

    const int32_t copy = Render->Texture_Create(TEXTURE_OFFSCREEN, 4, 4, 1, D3DFMT_A8R8G8B8, 0);
    Render->Texture_CopyRenderTarget(pass->TargetTexture, copy);
    for (int32_t y = 0; y < 4; y++)
        for (int32_t x = 0; x < 4; x++) {
            uint32_t pixel = 0;
            Render->Texture_ReadPixel(copy, x, y, &pixel);
            uint32_t expected = 0;
            std::memcpy(&expected, &bgra[static_cast<size_t>(y * 4 + x) * 4], 4);
            EXPECT_EQ(pixel, expected) << x << "," << y;
        }
    EXPECT_EQ(pass->DrawCalls, 1);
}

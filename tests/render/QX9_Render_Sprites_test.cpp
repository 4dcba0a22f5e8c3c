// Sprites and the 2D draw list: the registry, queueing and clipping, the
// quad operations, frames and fitting to textures.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Sprites.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/TextureFiles.h"

namespace {

class SpritesTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        Scene = Render->Scene_Add("2D");
    }

    T3D_Sprite* Add(int32_t width, int32_t height) { return Render->Sprite_Get(Render->Sprite_Add(width, height)); }

    // Positions of the sprite's vertices as (x, y) pairs.
    static std::vector<float> Positions(const T3D_Sprite& sprite)
    {
        std::vector<float> out;
        for (const T3D_SpriteVertex& v : sprite.Vertices)
            out.insert(out.end(), {v.X, v.Y});
        return out;
    }

    static std::vector<float> TexCoords(const T3D_Sprite& sprite)
    {
        std::vector<float> out;
        for (const T3D_SpriteVertex& v : sprite.Vertices)
            out.insert(out.end(), {v.U, v.V});
        return out;
    }

    std::vector<std::vector<int32_t>> Items() const
    {
        std::vector<std::vector<int32_t>> out;
        const T3D_Scene* scene = Render->Scene_Get(Scene);
        for (int32_t i = 0; i < scene->DrawCount; i++) {
            const T2DDrawItem& item = scene->DrawList[static_cast<size_t>(i)];
            out.push_back({item.Kind, item.Values[0], item.Values[1], item.Values[2], item.Values[3]});
        }
        return out;
    }

    int32_t Scene = -1;
};

TEST_F(SpritesTest, RegistryScenesAndTheDrawList)
{
    EXPECT_EQ(Render->Sprite_Add(10, 10), 0);
    EXPECT_EQ(Render->Sprite_Add(10, 10), 1);
    EXPECT_EQ(Render->Sprite_Add(10, 10), 2);
    Render->Sprite_Free(1);
    EXPECT_EQ(Render->Sprite_Get(1), nullptr);
    EXPECT_EQ(Render->SpriteCount, 2);
    Render->Sprite_Draw(Scene, 1, 5, 5, -1);
    Render->Sprite_Draw(Scene, 7, 5, 5, -1);
    Render->Sprite_Draw(Scene + 1, 0, 5, 5, -1);
    EXPECT_TRUE(Items().empty()) << "freed, unknown sprite or scene: nothing queued";
    Render->Sprite_Get(2)->Clear();
    Render->Sprite_Draw(Scene, 2, 5, 5, -1);
    EXPECT_TRUE(Items().empty()) << "a sprite without indices is not queued";
    Render->Sprite_Draw(Scene, 0, 3, 4, 300);
    EXPECT_EQ(Items(), (std::vector<std::vector<int32_t>>{{1, 0, 3, 4, 300}}));
    EXPECT_EQ(Render->Sprite_Add(1, 1), 1) << "the freed slot is reused";
    Render->Sprite_Free(2);
    Render->Sprite_Free(1);
    EXPECT_EQ(Render->Sprites.size(), 1u);

    EXPECT_EQ(Render->Scene_Add("MAP"), 1);
    EXPECT_EQ(Render->Scene_Find("MAP")->Index, 1);
    EXPECT_EQ(Render->Scene_Find("map"), nullptr);
    EXPECT_EQ(Render->Scene_Get(-1), nullptr) << "no scene rendered yet";
    Render->CurrentScene = 1;
    EXPECT_EQ(Render->Scene_Get(-1), Render->Scene_Find("MAP"));
    EXPECT_EQ(Render->Scene_Get(2), nullptr);
    Render->Scene_Get(Scene)->ClearDrawList();
    EXPECT_TRUE(Items().empty());
    EXPECT_EQ(Render->Scene_Get(Scene)->DrawList.capacity(), 1u) << "the array keeps its capacity";
}

TEST_F(SpritesTest, AlphaOfAnItemReplacesTheLowByteOnly)
{
    T3D_Sprite* sprite = Add(4, 2);
    sprite->SetColor(0x102030, -1);
    sprite->FillDrawBuffer(10, 20, 300);
    EXPECT_EQ(sprite->DrawBuffer[0].Color, 0x2C102030u) << "300 draws as 44";
    EXPECT_EQ(sprite->DrawBuffer[2].X, 13.5f);
    EXPECT_EQ(sprite->DrawBuffer[2].Y, 21.5f);
    sprite->FillDrawBuffer(0, 0, -1);
    EXPECT_EQ(sprite->DrawBuffer[0].Color, 0xFF102030u);
}

TEST_F(SpritesTest, ClipStackIntersectsAndPops)
{
    Render->ClipRect_Push(Scene, 10, 10, 100, 100, true);
    Render->ClipRect_Push(Scene, 50, 0, 200, 60, true);
    Render->ClipRect_Pop(Scene);
    Render->ClipRect_Pop(Scene);
    Render->ClipRect_Pop(Scene);
    EXPECT_EQ(Items(), (std::vector<std::vector<int32_t>>{{0, 10, 10, 100, 100},
                                                          {0, 50, 10, 100, 60},
                                                          {0, 10, 10, 100, 100},
                                                          {0, -1, -1, -1, -1},
                                                          {0, -1, -1, -1, -1}}));
    EXPECT_EQ(Render->Scene_Get(Scene)->ClipDepth, 0);
    Render->ClipRect_Push(Scene, 10, 10, 100, 100, false);
    Render->ClipRect_Push(Scene, 50, 0, 200, 60, false);
    EXPECT_EQ(Items().back(), (std::vector<int32_t>{0, 50, 0, 200, 60})) << "without intersect as given";
}

TEST_F(SpritesTest, CursorPointersReplaceOnlyWhenGiven)
{
    int32_t x = 1, y = 2;
    uint8_t shown = 1;
    Render->SetCursor(3, &x, &y, &shown);
    Render->SetCursor(4, nullptr, nullptr, nullptr);
    EXPECT_EQ(Render->CursorSprite, 4);
    EXPECT_EQ(Render->CursorX, &x);
    EXPECT_EQ(Render->CursorVisible, &shown);
}

TEST_F(SpritesTest, QuadsColoursAndAlpha)
{
    T3D_Sprite* sprite = Add(10, 20);
    EXPECT_EQ(sprite->Indices, (TWordArray{0, 2, 1, 0, 3, 2}));
    EXPECT_EQ(Positions(*sprite), (std::vector<float>{0, 0, 10, 0, 10, 20, 0, 20}));
    EXPECT_EQ(sprite->Width, 10);
    sprite->AddQuad(128, 5, 5, 20, 30, 0.5f, 0.5f, 1, 1);
    EXPECT_EQ(sprite->Indices.size(), 12u);
    EXPECT_EQ(sprite->Indices[6], 4);
    EXPECT_EQ(sprite->Vertices[4].Color, 0x80FFFFFFu);
    EXPECT_EQ(sprite->Width, 25);
    EXPECT_EQ(sprite->Height, 35);

    sprite->SetAlpha(7, 2);
    EXPECT_EQ(sprite->Vertices[7].Color, 0x80FFFFFFu) << "no quad 2: nothing";
    sprite->SetAlpha(7, -1);
    for (const T3D_SpriteVertex& v : sprite->Vertices)
        EXPECT_EQ(v.Color >> 24, 7u);
    sprite->SetColor(0x123456, 1);
    EXPECT_EQ(sprite->Vertices[5].Color, 0x07123456u);
    EXPECT_EQ(sprite->Vertices[0].Color, 0x07FFFFFFu);
    sprite->Vertices[0].Z = 3;
    sprite->SetQuad(255, 0, 4, 4, 0, 0, 1, 1);
    EXPECT_EQ(sprite->Vertices[0].Color, 0x07FFFFFFu) << "alpha 255 keeps the colours";
    EXPECT_EQ(sprite->Vertices[0].Z, 3);
    sprite->SetQuad(9, 0, 4, 4, 0, 0, 1, 1);
    EXPECT_EQ(sprite->Vertices[0].Color, 0x09FFFFFFu);
    EXPECT_EQ(sprite->Vertices[0].Z, 0);
}

TEST_F(SpritesTest, FramesOfATextureGrid)
{
    const std::string file = Write("Cells.tga", TextureFiles::MakeTGA32(256, 128, std::vector<uint8_t>(256 * 128 * 4)));
    T3D_Sprite* sprite = Add(1, 1);
    sprite->SetFrameIndex(64, 64, 5, 0);
    EXPECT_EQ(TexCoords(*sprite), (std::vector<float>{0, 0, 1, 0, 1, 1, 0, 1})) << "no texture: nothing";
    sprite->LoadStageTexture(file, 0, 1);
    sprite->SetFrameIndex(64, 64, 5, 0);
    EXPECT_EQ(TexCoords(*sprite), (std::vector<float>{0.25f, 0.5f, 0.5f, 0.5f, 0.5f, 1, 0.25f, 1}))
        << "column 1, row 1";
    EXPECT_EQ(Positions(*sprite), (std::vector<float>{0, 0, 64, 0, 64, 64, 0, 64}));
    EXPECT_EQ(sprite->Width, 64);
    for (int32_t bad : {0, -64, 300}) {
        sprite->SetFrameIndex(bad, 64, 1, 0);
        EXPECT_EQ(sprite->Vertices[0].U, 0.25f) << bad;
    }
}

TEST_F(SpritesTest, FittingToTheImage)
{
    const std::string file = Write("Icon.tga", TextureFiles::MakeTGA32(100, 60, std::vector<uint8_t>(100 * 60 * 4)));
    T3D_Sprite* sprite = Add(1, 1);
    sprite->SetTexture(-1, 0);
    EXPECT_EQ(sprite->Width, 1) << "no stage-0 texture: nothing";
    sprite->AddQuad(255, 3, 3, 50, 50, 0, 0, 1, 1);
    sprite->LoadTexture(file, 0);
    EXPECT_EQ(sprite->Texture, 0);
    EXPECT_EQ(sprite->StageTextures[0].Clamp, 0);
    EXPECT_EQ(Positions(*sprite), (std::vector<float>{0, 0, 100, 0, 100, 60, 0, 60, 50, 50, 53, 50, 53, 53, 50, 53}))
        << "quad 0 fitted, the other stays";
    EXPECT_EQ(sprite->Vertices[2].U, 100.0f / 128);
    EXPECT_EQ(sprite->Vertices[2].V, 60.0f / 64);
    sprite->SetStageTexture(0, 0, 1);
    EXPECT_EQ(sprite->StageTextures.size(), 1u);
    EXPECT_EQ(sprite->StageTextures[0].Clamp, 0) << "an existing record keeps its clamp byte";
}

TEST_F(SpritesTest, QuarterTurnFlipAndRotation)
{
    T3D_Sprite* sprite = Add(100, 20);
    sprite->MoveQuad(0, 10, 10);
    sprite->Rotate90(false);
    EXPECT_EQ(Positions(*sprite), (std::vector<float>{10, 10, 30, 10, 30, 110, 10, 110}));
    EXPECT_EQ(TexCoords(*sprite), (std::vector<float>{0, 1, 0, 0, 1, 0, 1, 1}));
    EXPECT_EQ(sprite->Width, 20);
    EXPECT_EQ(sprite->Height, 100);
    sprite->Rotate90(true);
    EXPECT_EQ(Positions(*sprite), (std::vector<float>{10, 10, 110, 10, 110, 30, 10, 30})) << "and back";
    EXPECT_EQ(TexCoords(*sprite), (std::vector<float>{0, 0, 1, 0, 1, 1, 0, 1}));

    sprite->AddQuad(255, 1, 1, 0, 0, 0.5f, 0.5f, 1, 1);
    sprite->Flip(true, false);
    EXPECT_EQ(TexCoords(*sprite), (std::vector<float>{1, 0, 0, 0, 0, 1, 1, 1, 1, 0.5f, 0.5f, 0.5f, 0.5f, 1, 1, 1}));
    sprite->Flip(false, true);
    EXPECT_EQ(sprite->Vertices[0].V, 1);
    EXPECT_EQ(sprite->Vertices[4].V, 1);

    const TVec2 turned = RotatePoint2D(20, 10, 10, 10, 3.14159265f / 2);
    EXPECT_NEAR(turned.x, 10, 1e-5);
    EXPECT_NEAR(turned.y, 20, 1e-5) << "a positive angle turns clockwise on screen";
    const TVec2 above = RotatePoint2D(10, 5, 10, 10, 3.14159265f);
    EXPECT_NEAR(above.y, 15, 1e-5);
}

TEST_F(SpritesTest, ScaleMoveAndSize)
{
    T3D_Sprite* sprite = Add(10, 10);
    sprite->AddQuad(255, 10, 10, 20, 0, 0, 0, 1, 1);
    sprite->ScaleQuad(1, 2, 3);
    EXPECT_EQ(Positions(*sprite), (std::vector<float>{0, 0, 10, 0, 10, 10, 0, 10, 20, 0, 40, 0, 40, 30, 20, 30}));
    sprite->ScaleQuad(0, 0.5f, 0.5f);
    EXPECT_EQ(Positions(*sprite), (std::vector<float>{0, 0, 5, 0, 5, 5, 0, 5, 10, 0, 20, 0, 20, 15, 10, 15}));
    sprite->SetPosition(1, 2);
    EXPECT_EQ(sprite->Vertices[4].X, 11);

    // quad -1 on several quads stretches everything about the smallest corner.
    sprite->SetSize(-1, 38, 30);
    EXPECT_EQ(Positions(*sprite), (std::vector<float>{1, 2, 10.5f, 2, 10.5f, 12, 1, 12, 20, 2, 39, 2, 39, 32, 20, 32}));
    EXPECT_EQ(sprite->Width, 38);
    sprite->SetSize(1, 4, 4);
    EXPECT_EQ(sprite->Vertices[6].X, 24);
    EXPECT_EQ(sprite->Vertices[6].Y, 6);

    T3D_Sprite* single = Add(10, 10);
    single->SetSize(-1, 30, 40);
    EXPECT_EQ(Positions(*single), (std::vector<float>{0, 0, 30, 0, 30, 40, 0, 40})) << "one quad: quad 0";
}

TEST_F(SpritesTest, ResizeKeepsTheTextureScale)
{
    T3D_Sprite* sprite = Add(10, 20);
    sprite->SetUV(0, 0.25f, 0.5f, 0.5f, 1);
    sprite->ResizeQuadKeepScale(0, 20, 10);
    EXPECT_EQ(Positions(*sprite), (std::vector<float>{0, 0, 20, 0, 20, 10, 0, 10}));
    EXPECT_EQ(TexCoords(*sprite), (std::vector<float>{0.25f, 0.5f, 0.75f, 0.5f, 0.75f, 0.75f, 0.25f, 0.75f}));
    sprite->ResizeQuadKeepScale(3, 1, 1);
    EXPECT_EQ(sprite->Width, 20);
}

} // namespace

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/os/OS.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_StateKey.h"
#include "tests/render/RenderTestSupport.h"

class PassesTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        Render->ScreenWidth = 64;
        Render->ScreenHeight = 48;
        Scene = Render->Scene_Get(Render->Scene_Add("MAP"));
        VS = Write("Shaders\\A_VS.bin", Bytes("//GLSL-VS\nvoid vs_main() {}\n"));
        PS = Write("Shaders\\A_PS.bin", Bytes("//GLSL-PS\nvoid ps_main() {}\n"));
        PS2 = Write("Shaders\\B_PS.bin", Bytes("//GLSL-PS\nvoid ps_main() { }\n"));
    }

    static std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

    // A mesh of one 3-index subset with device buffers.
    int32_t AddBox(const std::string& name)
    {
        const int32_t slot = Render->Mesh_Add(MESH_TEXTURED, name, 1);
        T3D_VertexArray vertices(3);
        vertices[1].Position = {1, 0, 0};
        vertices[2].Position = {0, 1, 0};
        Render->Mesh_Get(slot)->ImportGeometry(vertices, {0, 1, 2});
        return slot;
    }

    int32_t AddInstances(int32_t count, int32_t mesh, uint8_t noCull)
    {
        int32_t last = -1;
        for (int32_t i = 0; i < count; i++) {
            last = Scene->AddMesh(mesh, "m" + std::to_string(i));
            Scene->GetMesh(last)->NoCull = noCull;
        }
        return last;
    }

    T3D_Scene* Scene = nullptr;
    std::string VS, PS, PS2;
};

TEST_F(PassesTest, TargetSizesAndTheAdjustMatrix)
{
    T3D_RenderPass* back = Scene->Passes[static_cast<size_t>(Scene->AddPass("MAIN", 0, 0, 0, 0))];
    EXPECT_EQ(back->TargetTexture, -1);
    EXPECT_EQ(back->Width, 64);
    EXPECT_EQ(back->Height, 48);

    T3D_RenderPass* square = Scene->Passes[static_cast<size_t>(Scene->AddPass("SHADOW", D3DFMT_R32F, 0, 512, 512))];
    const T3D_Texture* squareTarget = TextureAt(*Render, square->TargetTexture);
    ASSERT_NE(squareTarget, nullptr);
    EXPECT_EQ(squareTarget->DeviceWidth, 512);
    EXPECT_EQ(square->TargetAdjust, 0);

    T3D_RenderPass* gui =
        Scene->Passes[static_cast<size_t>(Scene->AddPass("GUI", D3DFMT_A8R8G8B8, D3DFMT_D24S8, 1920, 1080))];
    const T3D_Texture* target = TextureAt(*Render, gui->TargetTexture);
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->FileName, "MAP.GUI");
    EXPECT_EQ(target->DeviceWidth, 1920);
    EXPECT_EQ(target->DeviceHeight, 1920);
    EXPECT_EQ(gui->TargetAdjust, 1);
    // Scale (1, 0.5625) and translation (0, 0.4375) in place.
    const float expected[16] = {1, 0, 0, 0, 0, 0.5625f, 0, 0.4375f, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR(gui->AdjustMatrix.e[i], expected[i], 1e-6f) << i;

    // Another pass draws into "MAP.GUI" and copies its adjustment.
    back->UseTargetOf("GUI");
    EXPECT_EQ(back->TargetTexture, gui->TargetTexture);
    EXPECT_EQ(back->TargetAdjust, 1);
    back->SetTexture("NO_SUCH_NAME", 0, 0, 1);
    EXPECT_TRUE(back->StageTextures.empty());
    back->SetTexture("SHADOW", 1, 1, 1);
    ASSERT_EQ(back->StageTextures.size(), 1u);
    EXPECT_EQ(back->StageTextures[0].TextureIndex, square->TargetTexture);

    // The viewport's culling bounds are fractions of the target.
    gui->SetViewport(0, 0, 960, 480, "Proj");
    EXPECT_FLOAT_EQ(gui->CullBounds[2], 0.5f);
    EXPECT_FLOAT_EQ(gui->CullBounds[3], 0.25f);
}

TEST_F(PassesTest, FiveEntriesAreCalculatedOnTheWorkersThreeOnTheCallingThread)
{
    Render->Parallelizer.Init(2);
    T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(Scene->AddPass("MAIN", 0, 0, 0, 0))];
    const int32_t box = AddBox("box");
    AddInstances(3, box, 1);
    pass->BuildPipeline();
    EXPECT_EQ(pass->EntryCount, 3);
    for (const std::thread& worker : Render->Parallelizer.Threads)
        EXPECT_FALSE(worker.joinable());

    AddInstances(2, box, 1);
    pass->BuildPipeline();
    EXPECT_EQ(pass->EntryCount, 5);
    for (int32_t n = 0; n < 5; n++)
        EXPECT_EQ(pass->_rp_Cache[static_cast<size_t>(n)].Visible, 1);
    // The pool has started its workers (the caller runs the last share itself,
    // so that slot has no thread of its own).
    size_t started = 0;
    for (const std::thread& worker : Render->Parallelizer.Threads)
        started += worker.joinable() ? 1 : 0;
    EXPECT_GT(started, 0u);
    EXPECT_GE(started + 1, Render->Parallelizer.Threads.size());
    Render->Parallelizer.Done();
}

// The rebuild on the worker pool runs under the thread sanitizer too.
using PassPipelineThreadTest = PassesTest;

TEST_F(PassPipelineThreadTest, WorkersCullLongRunsAsTheCallingThreadDoes)
{
    // A grid of instances around a perspective view: some in sight, some
    // partly, some not; the workers' runs are long enough to look ahead
    // into each other's entries.
    T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(Scene->AddPass("MAIN", 0, 0, 0, 0))];
    pass->InitOwnView();
    pass->ViewRotate(0, 0.9f);
    pass->ViewTranslate(0, 0, 30);
    pass->SetPerspective(0.8f, 0.75f, 1, 100);
    pass->SetViewport(0, 0, 64, 48, "Proj");
    pass->SetConstantName(CONSTANT_VERTEX, 0, "Proj", 4);
    const int32_t box = AddBox("box");
    for (int32_t i = 0; i < 400; i++) {
        T3D_SceneMesh* instance = Scene->GetMesh(Scene->AddMesh(box, "m" + std::to_string(i)));
        instance->Translate(static_cast<float>(i % 20) * 3 - 30, 0, static_cast<float>(i / 20) * 3 - 30);
        instance->Constants.AddMatrixProduct(CONSTANT_VERTEX, 0, "Proj", 0xFFFFFFFFu);
        instance->Constants.AddFactorName("Proj", "WORLD");
        instance->Constants.AddFactorPtr("Proj", *Scene->WorldMatrix);
        instance->Constants.AddFactorPtr("Proj", *Scene->ProjMatrix);
    }
    auto build = [&] {
        pass->Invalidate();
        pass->BuildPipeline();
        // Per entry: visible, then kind, first and count of each bound.
        std::vector<std::vector<int32_t>> results;
        for (int32_t n = 0; n < pass->EntryCount; n++) {
            const T3D_RenderPass_PipelineEntry& entry = pass->_rp_Cache[static_cast<size_t>(n)];
            std::vector<int32_t> result = {entry.Visible};
            for (const T3D_Bound& bound : entry.Bounds)
                result.insert(result.end(), {bound.Kind, bound.First, bound.Count});
            results.push_back(result);
        }
        return results;
    };
    const auto alone = build();
    Render->Parallelizer.Init(4);
    const auto shared = build();
    Render->Parallelizer.Done();
    ASSERT_EQ(shared.size(), 400u);
    ASSERT_EQ(alone.size(), shared.size());
    int32_t visible = 0;
    for (size_t n = 0; n < alone.size(); n++) {
        EXPECT_EQ(shared[n], alone[n]) << n;
        visible += alone[n][0];
    }
    EXPECT_GT(visible, 0);
    EXPECT_LT(visible, 400);
}

TEST_F(PassesTest, CullingWithoutAMatrixNameKeepsOnlyNoCullInstancesAndExcludeMaskFilters)
{
    T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(Scene->AddPass("MAIN", 0, 0, 0, 0))];
    const int32_t box = AddBox("box");
    const int32_t a = Scene->AddMesh(box, "a");
    const int32_t b = Scene->AddMesh(box, "b");
    const int32_t c = Scene->AddMesh(box, "c");
    Scene->GetMesh(b)->NoCull = 1;
    Scene->GetMesh(c)->NoCull = 1;
    Scene->GetMesh(c)->GroupBits = 4;
    Scene->AddMesh(-1, "no mesh");
    pass->SetExcludeMask(4);
    pass->BuildPipeline();
    ASSERT_EQ(pass->EntryCount, 2);
    EXPECT_EQ(pass->_rp_Cache[0].Index, a);
    EXPECT_EQ(pass->_rp_Cache[0].Visible, 0);
    EXPECT_EQ(pass->_rp_Cache[1].Index, b);
    EXPECT_EQ(pass->_rp_Cache[1].Visible, 1);
    EXPECT_EQ(pass->Rebuild, 0);
}

TEST_F(PassesTest, SourcePassFlagsChooseWhatIsCopied)
{
    T3D_RenderPass* first = Scene->Passes[static_cast<size_t>(Scene->AddPass("DEPTH", 0, 0, 0, 0))];
    T3D_RenderPass* second = Scene->Passes[static_cast<size_t>(Scene->AddPass("MAIN", 0, 0, 0, 0))];
    const int32_t box = AddBox("box");
    const int32_t a = Scene->AddMesh(box, "a");
    const int32_t b = Scene->AddMesh(box, "b");
    Scene->GetMesh(a)->NoCull = 1;
    Scene->GetMesh(a)->SetShader(PS, "DEPTH", 0);
    Scene->GetMesh(a)->SetShader(PS2, "MAIN", 0);
    const int32_t ps = Render->Shader_Load(PS, 0), ps2 = Render->Shader_Load(PS2, 0);
    first->BuildPipeline();
    ASSERT_EQ(first->EntryCount, 2);

    // Visibility and shaders from DEPTH: b (not visible there) is left out.
    second->SetSourcePass("DEPTH", SOURCE_VISIBILITY | SOURCE_SHADERS);
    EXPECT_EQ(second->SourcePass, 0);
    second->BuildPipeline();
    ASSERT_EQ(second->EntryCount, 1);
    EXPECT_EQ(second->_rp_Cache[0].Index, a);
    EXPECT_EQ(second->_rp_Cache[0].PixelShader, ps);

    // Without the shader flag the pass picks its own; without the visibility
    // flag it culls anew and takes b too.
    second->SetSourcePass("DEPTH", SOURCE_TEXTURES);
    second->Invalidate();
    second->BuildPipeline();
    ASSERT_EQ(second->EntryCount, 2);
    EXPECT_EQ(second->_rp_Cache[0].PixelShader, ps2);
    EXPECT_EQ(second->_rp_Cache[1].Index, b);
    EXPECT_EQ(second->_rp_Cache[1].Visible, 0);

    second->SetSourcePass("MAIN", 0);
    EXPECT_EQ(second->SourcePass, -1);
    second->SetSourcePass("NOWHERE", 0);
    EXPECT_EQ(second->SourcePass, -1);
}

TEST_F(PassesTest, ShaderIndicesBeyondAByteStayWholeInEntriesAndDraws)
{
    // The sort key keeps only 7 and 8 bits of the shaders; the entries and
    // the draw must keep the whole index, or shader 300 would draw with 44.
    T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(Scene->AddPass("MAIN", 0, 0, 0, 0))];
    const int32_t box = AddBox("box");
    T3D_SceneMesh* instance = Scene->GetMesh(Scene->AddMesh(box, "a"));
    instance->NoCull = 1;
    instance->PassShaders.push_back({"MAIN", 300, 1});
    instance->PassShaders.push_back({"MAIN", 257, 0});
    Scene->Render(false);
    ASSERT_EQ(pass->EntryCount, 1);
    EXPECT_EQ(pass->_rp_Cache[0].VertexShader, 300);
    EXPECT_EQ(pass->_rp_Cache[0].PixelShader, 257);
    EXPECT_EQ(Render->CurrentVertexShader, 300);
    EXPECT_EQ(Render->CurrentPixelShader, 257);
    Scene->SortPass("MAIN");
    const uint32_t high = static_cast<uint32_t>(static_cast<uint64_t>(Scene->SortKeys[0].Key) >> 32);
    EXPECT_EQ(high >> 20 & 0x7F, 300u & 0x7F);
    EXPECT_EQ(high >> 12 & 0xFF, 257u & 0xFF);
}

TEST_F(PassesTest, StageTexturePrioritiesLetALaterSourceWinATie)
{
    T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(Scene->AddPass("MAIN", 0, 0, 0, 0))];
    const int32_t box = AddBox("box");
    T3D_Mesh* mesh = Render->Mesh_Get(box);
    T3D_SceneMesh* instance = Scene->GetMesh(Scene->AddMesh(box, "a"));
    instance->NoCull = 1;
    instance->StageTextures = {{5, 0, 0, 1}, {6, 1, 1, 1}};
    mesh->StageTextures = {{7, 1, 0, 0}, {8, 0, 1, 1}};        // slot, clamp, stage, priority
    pass->StageTextures = {{9, 2, 0, 2, 1}, {10, 0, 1, 2, 2}}; // the second's group misses bit 1
    pass->BuildPipeline();
    const auto& stages = pass->_rp_Cache[0].StageTextures;
    EXPECT_EQ(stages[0], 6);  // instance (1) beats the mesh (0): texture 5 wrapped
    EXPECT_EQ(stages[1], 9);  // mesh (1) ties the instance (1) and comes later
    EXPECT_EQ(stages[2], 10); // the pass's own
    EXPECT_EQ(stages[3], 0);

    pass->StageTextures[1].GroupMask = 1;
    pass->Invalidate();
    pass->BuildPipeline();
    EXPECT_EQ(pass->_rp_Cache[0].StageTextures[0], -11); // pass (2), clamped
}

TEST_F(PassesTest, ScreenQuadAndItsDrawAndLostDevice)
{
    T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(Scene->AddPass("COPY", 0, 0, 0, 0))];
    pass->SetScreenProjection(1);
    ASSERT_EQ(pass->Quad.Vertices.size(), 4u);
    EXPECT_FLOAT_EQ(pass->Quad.Vertices[2].X, 63.5f);
    EXPECT_FLOAT_EQ(pass->Quad.Vertices[2].Y, 47.5f);
    EXPECT_FLOAT_EQ(pass->Quad.Vertices[2].V, 0.75f);
    EXPECT_EQ(pass->Quad.Indices, (TWordArray{0, 2, 1, 0, 3, 2}));
    EXPECT_EQ(Device.CallsStartingWith("CreateVertexBuffer 112").size(), 1u);
    EXPECT_EQ(Device.CallsStartingWith("CreateIndexBuffer 12").size(), 1u);

    pass->SetShader(VS, 1, 0);
    pass->SetShader(PS, 0, 0);
    Device.Clear();
    Scene->Render(true);
    EXPECT_EQ(Device.CallsStartingWith("DrawIndexedPrimitive 4 2").size(), 1u);
    EXPECT_EQ(pass->DrawCalls, 1);
    EXPECT_EQ(Scene->Stats.Primitives, 2);
    EXPECT_EQ(Scene->Stats.PassesRendered, 1);

    DeviceLossHandlers.ReleasePassQuads(*Render);
    EXPECT_EQ(pass->Quad.VertexBuffer, nullptr);
    DeviceLossHandlers.RestorePassQuads(*Render);
    EXPECT_NE(pass->Quad.VertexBuffer, nullptr);
}

TEST_F(PassesTest, TwoDimensionalListWalk)
{
    T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(Scene->AddPass("GUI", 0, 0, 0, 0))];
    pass->SetDraw2D(1);
    const int32_t sprite = Render->Sprite_Add(4, 4);
    Render->Sprite_Get(sprite)->SetShader(VS, "GUI", 1);
    Render->Sprite_Get(sprite)->SetShader(PS, "GUI", 0);
    const int32_t bare = Render->Sprite_Add(4, 4); // no shaders for the pass
    const int32_t cursor = Render->Sprite_Add(2, 2);
    Render->Sprite_Get(cursor)->SetShader(VS, "GUI", 1);
    Render->Sprite_Get(cursor)->SetShader(PS, "GUI", 0);
    int32_t x = 30, y = 20;
    uint8_t visible = 1;
    Render->SetCursor(cursor, &x, &y, &visible);

    auto clip = [&](int32_t l, int32_t t, int32_t r, int32_t b) {
        T2DDrawItem item;
        item.Kind = DRAWITEM_CLIP;
        item.Values[0] = l;
        item.Values[1] = t;
        item.Values[2] = r;
        item.Values[3] = b;
        Scene->AddDrawItem(item);
    };
    Render->Sprite_Draw(Scene->Index, bare, 0, 0, -1); // first draw of the pass: no shaders yet
    Render->Sprite_Draw(Scene->Index, sprite, 10, 10, 128);
    clip(5, 5, 5, 20); // empty: nothing draws until the next clip item
    Render->Sprite_Draw(Scene->Index, sprite, 10, 10, -1);
    clip(-1, 7, -1, 7);                                // clipping off
    Render->Sprite_Draw(Scene->Index, bare, 0, 0, -1); // the previous draw's shaders
    Device.Clear();
    Scene->Render(false);

    // The sprite, then the bare one and the cursor: these two share every
    // state and go in one draw.
    EXPECT_EQ(Device.CallsStartingWith("DrawIndexedPrimitiveUP").size(), 2u);
    EXPECT_EQ(pass->DrawCalls, 2);
    // The cursor went last, at its position, with its own colours.
    const T3D_Sprite* drawnCursor = Render->Sprite_Get(cursor);
    EXPECT_FLOAT_EQ(drawnCursor->DrawBuffer[0].X, 29.5f);
    EXPECT_EQ(drawnCursor->DrawBuffer[0].Color, 0xFFFFFFFFu);
    // The item alpha replaced every vertex's alpha.
    for (const T3D_SpriteVertex& v : Render->Sprite_Get(sprite)->DrawBuffer)
        EXPECT_EQ(v.Color >> 24, 128u);
    EXPECT_EQ(Device.CallsStartingWith("SetRenderState 174 0").size(), 2u); // pass start and the (-1, t, -1, t) item
    EXPECT_EQ(Scene->DrawCount, 0);
    EXPECT_EQ(Device.CallsStartingWith("Present").size(), 0u);
}

TEST_F(PassesTest, StaleEntryStopsWithTheInvalidMeshMessage)
{
    T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(Scene->AddPass("MAIN", 0, 0, 0, 0))];
    const int32_t box = AddBox("box");
    const int32_t a = Scene->AddMesh(box, "a");
    Scene->AddMesh(box, "b");
    Scene->GetMesh(a)->NoCull = 1;
    pass->BuildPipeline();
    // Removing an instance marks the passes: the next build drops it.
    Scene->RemoveMesh(a);
    EXPECT_EQ(pass->Rebuild, 1);
    pass->BuildPipeline();
    EXPECT_EQ(pass->_rp_Cache[0].Index, 1);

    // An entry pointing at a free slot by other means still stops.
    pass->_rp_Cache[0].Index = a;
    pass->_rp_Cache[0].Visible = 1;
    EXPECT_THROW(pass->BuildPipeline(), TRenderFatalStop);
    EXPECT_NE(GetEngineErrorText().find("T3D_RenderPass_Pipeline_CalculateEntry(0) -> INVALID MESH POINTER!\n\r\t"
                                        "Pass[MAIN]._rp_Cache[0].Index=0\n\r\tScene[MAP]._s_Meshes[0]=Nil"),
              std::string::npos);
}

// ---------------------------------------------------------------------------
// Scenes

namespace {

uint32_t FakeNow = 100000;
uint32_t FakeClock()
{
    return FakeNow;
}

} // namespace

TEST_F(PassesTest, FrameRateWindowAndSceneSwitches)
{
    OS_SetTimeSource(&FakeClock);
    FakeNow = 100000;
    Scene->Stats.WindowStart = GetTimeMs(true);
    for (int frame = 1; frame <= 10; frame++) {
        FakeNow += 60;
        Scene->Render(false);
    }
    EXPECT_EQ(Scene->Stats.FramesPerSecond, 16); // 10 * 1000 div 600
    EXPECT_EQ(Scene->Stats.WindowFrames, 10);
    FakeNow += 1500;
    Scene->Render(false);
    EXPECT_EQ(Scene->Stats.WindowFrames, 0); // more than 2000 ms: a new window

    // Another scene empties the merged constants and restarts its statistics.
    T3D_Scene* other = Render->Scene_Get(Render->Scene_Add("2D"));
    other->Stats.FramesPerSecond = 99;
    Render->Constants.push_back(new T3D_Constant);
    Scene->Render(false);
    EXPECT_EQ(Render->Constants.size(), 1u);
    other->Render(false);
    EXPECT_TRUE(Render->Constants.empty());
    EXPECT_EQ(other->Stats.FramesPerSecond, 0);
    EXPECT_EQ(Render->Scene_Get(-1), other);
    OS_SetTimeSource(nullptr);

    Device.Clear();
    Scene->SetPresentRects({0, 0, 10, 10}, {0, 0, 20, 20});
    EXPECT_EQ(Scene->PresentRects, 1);
    Render->Fullscreen = 1;
    Scene->SetPresentRects({0, 0, 10, 10}, {0, 0, 20, 20});
    EXPECT_EQ(Scene->PresentRects, 0);
    Scene->Render(true);
    EXPECT_EQ(Device.Texts(), (std::vector<std::string>{"BeginScene", "EndScene", "Present"}));
}

TEST_F(PassesTest, SlotsAreReusedAndTheListCompactsAtTheEnd)
{
    T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(Scene->AddPass("MAIN", 0, 0, 0, 0))];
    const int32_t box = AddBox("box");
    for (int i = 0; i < 3; i++)
        Scene->AddMesh(box, "m");
    Scene->RemoveMesh(1);
    EXPECT_EQ(Scene->_s_Meshes.size(), 3u);
    pass->Rebuild = 0;
    EXPECT_EQ(Scene->AddMesh(box, "again"), 1);
    EXPECT_EQ(pass->Rebuild, 0); // reusing a slot marks nothing

    Scene->RemoveMesh(2);
    pass->Rebuild = 0;
    Scene->Render(false);
    EXPECT_EQ(Scene->_s_Meshes.size(), 2u);
    EXPECT_EQ(Scene->SortKeys.size(), 2u);
    EXPECT_EQ(pass->_rp_Cache.size(), 2u);
    EXPECT_EQ(pass->Rebuild, 1);

    // Mesh index 7 of a registry that has fewer: an instance without a mesh;
    // an empty slot 0 too.
    T3D_SceneMesh* none = Scene->GetMesh(Scene->AddMesh(7, "none"));
    EXPECT_EQ(none->NoMesh, 1);
    EXPECT_EQ(none->MeshIndex, -1);
    Render->Mesh_Free(box);
    EXPECT_EQ(Scene->GetMesh(Scene->AddMesh(0, "zero"))->NoMesh, 1);
    EXPECT_EQ(Scene->GetMesh(-1), nullptr);
    EXPECT_EQ(Scene->GetMesh(99), nullptr);
}

TEST_F(PassesTest, ClearingByGroupAndEverything)
{
    T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(Scene->AddPass("MAIN", 0, 0, 0, 0))];
    const int32_t box = AddBox("box");
    const int32_t a = Scene->AddMesh(box, "a");
    const int32_t b = Scene->AddMesh(box, "b");
    Scene->GetMesh(b)->GroupBits = 4 | 1;
    Scene->GetMesh(a)->AttachChild(b, "");
    Scene->ClearMeshes(4);
    EXPECT_NE(Scene->GetMesh(a), nullptr);
    EXPECT_EQ(Scene->GetMesh(b), nullptr);
    Scene->GetMesh(a)->NoCull = 1;
    pass->BuildPipeline();
    Scene->ClearMeshes(0);
    EXPECT_TRUE(Scene->_s_Meshes.empty());
    EXPECT_TRUE(Scene->AttachNodes.empty());
    EXPECT_TRUE(Scene->AttachRoots.empty());
    EXPECT_EQ(pass->EntryCount, 0);
    EXPECT_TRUE(pass->_rp_Cache.empty());
    EXPECT_EQ(pass->Rebuild, 1);
}

TEST_F(PassesTest, SortKeysOrderByPriorityShadersTextureAndStates)
{
    Scene->AddPass("DEPTH", 0, 0, 0, 0);
    T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(Scene->AddPass("MAIN", 0, 0, 0, 0))];
    const int32_t box = AddBox("box");
    const int32_t front = Scene->AddMesh(box, "front");
    const int32_t late = Scene->AddMesh(box, "late");
    const int32_t other = Scene->AddMesh(box, "other");
    Scene->AddMesh(-1, "no mesh");
    const int32_t freed = Scene->AddMesh(box, "freed");
    Scene->RemoveMesh(freed);
    Scene->GetMesh(late)->SortPriority = 15;
    Scene->GetMesh(other)->SetShader(PS2, "MAIN", 0);
    Scene->GetMesh(other)->SetRenderState(RSK_DEPTHWRITE, 1);
    pass->SetShader(VS, 1, 1);
    pass->SetShader(PS, 0, 1);
    const int32_t vs = Render->Shader_Load(VS, 1), ps = Render->Shader_Load(PS, 0), ps2 = Render->Shader_Load(PS2, 0);

    Scene->SortPass("NOT A PASS"); // the last pass
    ASSERT_EQ(Scene->SortKeys.size(), 5u);
    const T3D_SortRecord& first = Scene->SortKeys[0];
    const auto high = [](const T3D_SortRecord& r) { return static_cast<uint32_t>(static_cast<uint64_t>(r.Key) >> 32); };
    EXPECT_EQ(first.Instance, ps < ps2 ? front : other);
    EXPECT_EQ(high(first) >> 20 & 0x7F, static_cast<uint32_t>(vs));
    EXPECT_EQ(Scene->SortKeys[2].Instance, late);
    // The instance without a mesh and the free slot sort last, all bits set
    // but the sign.
    EXPECT_EQ(Scene->SortKeys[3].Instance + Scene->SortKeys[4].Instance, 3 - 1);
    EXPECT_EQ(high(Scene->SortKeys[4]), 0x7FFFFFFFu);
    EXPECT_EQ(static_cast<uint32_t>(Scene->SortKeys[4].Key), 0xFFFFFFFFu);
    const T3D_SortRecord& lateRecord = *std::find_if(Scene->SortKeys.begin(), Scene->SortKeys.end(),
                                                     [&](const T3D_SortRecord& r) { return r.Instance == late; });
    EXPECT_EQ(high(lateRecord) >> 27, 15u);
    const T3D_SortRecord& otherRecord = *std::find_if(Scene->SortKeys.begin(), Scene->SortKeys.end(),
                                                      [&](const T3D_SortRecord& r) { return r.Instance == other; });
    EXPECT_EQ(high(otherRecord) >> 12 & 0xFF, static_cast<uint32_t>(ps2));
    EXPECT_EQ(static_cast<uint32_t>(otherRecord.Key), 0x10u);
}

TEST_F(PassesTest, TooManyPassesOrScenesStop)
{
    for (int i = 0; i < SCENE_PASS_SLOTS; i++)
        Scene->AddPass("P" + std::to_string(i), 0, 0, 0, 0);
    EXPECT_THROW(Scene->AddPass("EXTRA", 0, 0, 0, 0), TRenderFatalStop);
    EXPECT_NE(GetEngineErrorText().find("T3D_Scene.AddPass(EXTRA) -> TOO MANY PASSES!"), std::string::npos);
}

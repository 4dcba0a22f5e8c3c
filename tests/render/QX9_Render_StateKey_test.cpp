// Render-state keys: the field setter, the overlay, the diff against the key
// known to be on the device, and the texture stage cache.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/QX9_Render_StateKey.h"
#include "tests/fakes/RecordingDevice.h"

namespace {

using TCalls = std::vector<std::string>;

std::string RS(D3DRENDERSTATETYPE state, DWORD value)
{
    return "SetRenderState " + std::to_string(state) + " " + std::to_string(value);
}

std::string SS(DWORD stage, D3DSAMPLERSTATETYPE type, DWORD value)
{
    return "SetSamplerState " + std::to_string(stage) + " " + std::to_string(type) + " " + std::to_string(value);
}

TRenderStateKey Key(uint32_t mask, uint32_t value)
{
    TRenderStateKey key;
    key.Mask = mask;
    key.Value = value;
    return key;
}

TEST(RenderStateKeyTest, SetShiftsSmallSettingsAndKeepsInPlaceOnes)
{
    struct TRow {
        const char* Name;
        uint32_t Field;
        int32_t Setting;
        uint32_t Mask;
        uint32_t Value;
    };
    const TRow rows[] = {
        {"depth write on", RSK_DEPTHWRITE, 1, 0x10, 0x10},
        {"depth write 2 falls outside the field", RSK_DEPTHWRITE, 2, 0x10, 0x00},
        {"depth test on", RSK_DEPTHTEST, 1, 0x20, 0x20},
        {"cull in place", RSK_CULL, 0x8, 0xC, 0x8},
        {"shading in place", RSK_SHADING, 0x40, 0x40, 0x40},
        {"fill in place", RSK_FILL, 0x80, 0x80, 0x80},
        {"sampler 3 anisotropic", RSK_FILTER(3), 2, 0xC000, 0x8000},
        {"sampler 7 nothing", RSK_FILTER(7), 3, 0xC00000, 0xC00000},
        {"colour write on", RSK_COLORWRITE, 1, 0x1000000, 0x1000000},
        {"alpha mode in place", RSK_ALPHAMODE, 0xA000000, 0xE000000, 0xA000000},
        {"alpha mode bits outside dropped", RSK_ALPHAMODE, 0xA000001, 0xE000000, 0xA000000},
        {"source blend src alpha", RSK_SRCBLEND, 2, 0x30000000, 0x20000000},
        {"destination blend inv src alpha", RSK_DESTBLEND, 2, 0xC0000000, 0x80000000},
    };
    for (const TRow& row : rows) {
        TRenderStateKey key;
        RenderStateKeySet(row.Field, row.Setting, key);
        EXPECT_EQ(key.Mask, row.Mask) << row.Name;
        EXPECT_EQ(key.Value, row.Value) << row.Name;
    }
}

TEST(RenderStateKeyTest, RemovingFieldsAndReplacingSettings)
{
    TRenderStateKey key;
    RenderStateKeySet(RSK_DEPTHWRITE, -1, key);
    EXPECT_EQ(key.Mask, 0u);
    EXPECT_EQ(key.Value, 0u);

    RenderStateKeySet(RSK_CULL, 0x4, key);
    RenderStateKeySet(RSK_SRCBLEND, 3, key);
    RenderStateKeySet(RSK_CULL, 0x8, key);
    EXPECT_EQ(key.Mask, 0x3000000Cu);
    EXPECT_EQ(key.Value, 0x30000008u);
    RenderStateKeySet(RSK_SRCBLEND, -1, key);
    EXPECT_EQ(key.Mask, 0xCu);
    EXPECT_EQ(key.Value, 0x8u);
}

TEST(RenderStateKeyTest, OverlayLetsTheLaterKeyWin)
{
    TRenderStateKey a = Key(0x0E00001C, 0x02000014); // cull CW, depth write on, blend
    TRenderStateKey b = Key(0x00000030, 0x00000020); // depth write off, depth test on
    RenderStateKeyOverlay(a, b);
    EXPECT_EQ(a.Mask, 0x0E00003Cu);
    EXPECT_EQ(a.Value, 0x02000024u);
}

class ApplyRenderStateKeyTest : public ::testing::Test {
protected:
    TRecordingDevice Device;
    TRenderStateKey CurrentKey;
    int32_t CurrentAlphaMode = 0;

    TCalls Apply(const TRenderStateKey& key)
    {
        Device.Clear();
        ApplyRenderStateKeyTo(&Device, CurrentKey, CurrentAlphaMode, 8, key);
        return Device.Texts();
    }
};

TEST_F(ApplyRenderStateKeyTest, EveryFieldInItsOrder)
{
    TRenderStateKey key;
    RenderStateKeySet(RSK_DESTBLEND, 2, key);
    RenderStateKeySet(RSK_SRCBLEND, 2, key);
    RenderStateKeySet(RSK_COLORWRITE, 1, key);
    RenderStateKeySet(RSK_FILTER(1), 2, key);
    RenderStateKeySet(RSK_FILTER(0), 1, key);
    RenderStateKeySet(RSK_FILL, 0x80, key);
    RenderStateKeySet(RSK_SHADING, 0, key);
    RenderStateKeySet(RSK_DEPTHTEST, 0, key);
    RenderStateKeySet(RSK_DEPTHWRITE, 1, key);
    RenderStateKeySet(RSK_ALPHAMODE, RSK_ALPHA_TEST1, key);
    RenderStateKeySet(RSK_CULL, 0x8, key);
    const TCalls expected = {
        RS(D3DRS_CULLMODE, D3DCULL_CCW),
        RS(D3DRS_ALPHABLENDENABLE, FALSE),
        RS(D3DRS_ALPHATESTENABLE, TRUE),
        RS(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL),
        RS(D3DRS_ALPHAREF, 1),
        RS(D3DRS_ZWRITEENABLE, TRUE),
        RS(D3DRS_ZFUNC, D3DCMP_ALWAYS),
        RS(D3DRS_SHADEMODE, D3DSHADE_FLAT),
        RS(D3DRS_FILLMODE, D3DFILL_SOLID),
        SS(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR),
        SS(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR),
        SS(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR),
        SS(1, D3DSAMP_MIPFILTER, D3DTEXF_ANISOTROPIC),
        SS(1, D3DSAMP_MAGFILTER, D3DTEXF_ANISOTROPIC),
        SS(1, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC),
        SS(1, D3DSAMP_MAXANISOTROPY, 8),
        RS(D3DRS_COLORWRITEENABLE, 15),
        RS(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA),
        RS(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA),
    };
    EXPECT_EQ(Apply(key), expected);
    EXPECT_EQ(CurrentKey.Mask, key.Mask);
    EXPECT_EQ(CurrentKey.Value, key.Value);
    EXPECT_EQ(Apply(key), TCalls{}) << "the same key again issues nothing";
}

TEST_F(ApplyRenderStateKeyTest, OnlyTheFieldsThatDifferAreIssued)
{
    TRenderStateKey first;
    RenderStateKeySet(RSK_CULL, 0x4, first);
    RenderStateKeySet(RSK_DEPTHWRITE, 1, first);
    RenderStateKeySet(RSK_DEPTHTEST, 1, first);
    Apply(first);

    // A key of the depth-write field alone touches nothing else.
    EXPECT_EQ(Apply(Key(RSK_DEPTHWRITE, 0)), TCalls{RS(D3DRS_ZWRITEENABLE, FALSE)});
    // Cull and depth test are still recorded; only the cull change goes out.
    TRenderStateKey next = first;
    RenderStateKeySet(RSK_CULL, 0x0, next);
    EXPECT_EQ(Apply(next), (TCalls{RS(D3DRS_CULLMODE, D3DCULL_NONE), RS(D3DRS_ZWRITEENABLE, TRUE)}));
}

TEST_F(ApplyRenderStateKeyTest, SettingsWithoutCallsAreStillRecorded)
{
    TRenderStateKey key;
    RenderStateKeySet(RSK_CULL, 0xC, key);
    RenderStateKeySet(RSK_FILTER(2), 3, key);
    RenderStateKeySet(RSK_SRCBLEND, 3, key);
    RenderStateKeySet(RSK_DESTBLEND, 3, key);
    EXPECT_EQ(Apply(key), TCalls{});
    EXPECT_EQ(CurrentKey.Mask, key.Mask);
    EXPECT_EQ(CurrentKey.Value, key.Value);
}

TEST_F(ApplyRenderStateKeyTest, AlphaModes)
{
    struct TRow {
        const char* Name;
        uint32_t Before; // applied first
        uint32_t Mode;
        TCalls Expected;
    };
    const TCalls test = {RS(D3DRS_ALPHABLENDENABLE, FALSE), RS(D3DRS_ALPHATESTENABLE, TRUE),
                         RS(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL)};
    auto with = [](TCalls calls, const TCalls& more) {
        calls.insert(calls.end(), more.begin(), more.end());
        return calls;
    };
    const TRow rows[] = {
        {"blend after opaque",
         0,
         RSK_ALPHA_BLEND,
         {RS(D3DRS_ALPHATESTENABLE, FALSE), RS(D3DRS_ALPHABLENDENABLE, TRUE), RS(D3DRS_BLENDOP, D3DBLENDOP_ADD)}},
        {"opaque after coverage",
         RSK_ALPHA_COVERAGE,
         0,
         {RS(D3DRS_ALPHATESTENABLE, FALSE), RS(D3DRS_ALPHABLENDENABLE, FALSE), RS(D3DRS_ADAPTIVETESS_Y, 0),
          RS(D3DRS_POINTSIZE, D3DFOURCC_A2M0)}},
        {"test 128", 0, RSK_ALPHA_TEST128, with(test, {RS(D3DRS_ALPHAREF, 128)})},
        {"test 255", 0, RSK_ALPHA_TEST255, with(test, {RS(D3DRS_ALPHAREF, 255)})},
        {"coverage", 0, RSK_ALPHA_COVERAGE,
         with(test, {RS(D3DRS_ADAPTIVETESS_Y, D3DFOURCC_ATOC), RS(D3DRS_POINTSIZE, D3DFOURCC_A2M1)})},
        {"mode 0xC after coverage", RSK_ALPHA_COVERAGE, 0xC000000,
         with(test, {RS(D3DRS_ADAPTIVETESS_Y, 0), RS(D3DRS_POINTSIZE, D3DFOURCC_A2M0)})},
        {"mode 0xE", 0, 0xE000000, test},
    };
    for (const TRow& row : rows) {
        CurrentKey = {};
        CurrentAlphaMode = 0;
        Apply(Key(RSK_ALPHAMODE, row.Before));
        EXPECT_EQ(Apply(Key(RSK_ALPHAMODE, row.Mode)), row.Expected) << row.Name;
        EXPECT_EQ(CurrentAlphaMode, static_cast<int32_t>(row.Mode)) << row.Name;
    }
}

TEST(TextureStageTest, OnlyUsedChangedStagesAreBound)
{
    TRecordingDevice device;
    T3D_TextureStage stages[TEXTURE_STAGE_COUNT] = {};
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device.CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    auto lookup = [&](int32_t index) -> IDirect3DBaseTexture9* { return index == 5 ? texture : nullptr; };

    TextureStageSet(stages[0], 5, 1);
    TextureStageSet(stages[1], 5, 0);
    stages[0].Used = 1; // stage 1 is not used by this draw
    device.Clear();
    EXPECT_EQ(BindTextureStages(&device, stages, TEXTURE_STAGE_COUNT, lookup), 1);
    EXPECT_EQ(device.Texts(), (TCalls{"SetTexture 0 #1", SS(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP),
                                      SS(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP)}));
    EXPECT_EQ(stages[0].Changed, 0);
    EXPECT_EQ(stages[1].Changed, 1);

    // The same index again is no change; another index binds with wrapping.
    TextureStageSet(stages[0], 5, 1);
    EXPECT_EQ(BindTextureStages(&device, stages, 1, lookup), 0);
    TextureStageSet(stages[0], -1, 0);
    device.Clear();
    EXPECT_EQ(BindTextureStages(&device, stages, 1, lookup), 1);
    EXPECT_EQ(device.Texts(), (TCalls{"SetTexture 0 none", SS(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP),
                                      SS(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP)}));
    texture->Release();
}

} // namespace

// The renderer object: operation and result names, the retry discipline,
// adapter probing, device creation and the device-loss state machine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d9/D3D9_TestHook.h"
#include "render/QX9_Render.h"
#include "tests/support/FatalStop.h"

namespace {

// An adapter object that answers what a test says and refuses devices.
class TFakeDirect3D : public IDirect3D9 {
public:
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 0; }
    UINT GetAdapterCount() override { return 1; }
    HRESULT GetAdapterDisplayMode(UINT, D3DDISPLAYMODE* mode) override
    {
        *mode = {1920, 1080, 60, D3DFMT_X8R8G8B8};
        return D3D_OK;
    }
    HRESULT GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS9* caps) override
    {
        *caps = {};
        caps->VertexShaderVersion = VertexShader;
        caps->PixelShaderVersion = PixelShader;
        caps->MaxAnisotropy = 8;
        return D3D_OK;
    }
    HRESULT CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT format, BOOL windowed, D3DMULTISAMPLE_TYPE type,
                                       DWORD* quality) override
    {
        MultisampleAsked.push_back(static_cast<int>(type));
        if (format != D3DFMT_X8R8G8B8 || !windowed)
            return D3DERR_INVALIDCALL;
        for (int supported : Multisample)
            if (supported == static_cast<int>(type)) {
                *quality = 3;
                return D3D_OK;
            }
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD usage, D3DRESOURCETYPE, D3DFORMAT format) override
    {
        for (auto [f, u] : Formats)
            if (f == format && u == usage)
                return D3D_OK;
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD flags, D3DPRESENT_PARAMETERS* params,
                         IDirect3DDevice9** device) override
    {
        Flags = flags;
        Params = *params;
        *device = nullptr;
        return D3DERR_NOTAVAILABLE;
    }
    DWORD VertexShader = D3DVS_VERSION(3, 0);
    DWORD PixelShader = D3DPS_VERSION(3, 0);
    std::vector<int> Multisample;
    std::vector<int> MultisampleAsked;
    std::vector<std::pair<D3DFORMAT, DWORD>> Formats;
    DWORD Flags = 0;
    D3DPRESENT_PARAMETERS Params;
};

TFakeDirect3D* Fake = nullptr;
IDirect3D9* CreateFake(UINT)
{
    return Fake;
}

class QX9_RenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearEngineErrorText();
        SetFatalStopHook(&ThrowingStop);
        QX9_Render_Initialization();
        D3D9Test_Clear();
        DeviceLossHandlers = {};
    }
    void TearDown() override
    {
        SetDirect3DCreate(nullptr);
        SetFatalStopHook(nullptr);
        ClearEngineErrorText();
        QX9_Render_Initialization();
        D3D9Test_Clear();
        DeviceLossHandlers = {};
    }
};

} // namespace

TEST_F(QX9_RenderTest, OperationAndResultNames)
{
    EXPECT_STREQ(D3DOperationName(0), "Unknown");
    EXPECT_STREQ(D3DOperationName(D3DOP_CreateTexture), "D3D.CreateTexture");
    EXPECT_STREQ(D3DOperationName(D3DOP_TextureLockRect), "Texture.LockRect");
    EXPECT_STREQ(D3DOperationName(D3DOP_DrawIndexedPrimitiveUP), "D3D.DrawIndexedPrimitiveUP");
    EXPECT_STREQ(D3DOperationName(33), "Unknown");
    EXPECT_STREQ(D3DOperationName(-1), "Unknown");
    EXPECT_STREQ(D3DResultNames(D3DERR_OUTOFVIDEOMEMORY), "D3DERR_OUTOFVIDEOMEMORY");
    EXPECT_STREQ(D3DResultNames(D3DERR_DEVICENOTRESET), "D3DERR_DEVICENOTRESET");
    EXPECT_STREQ(D3DResultNames(D3DERR_DRIVERINVALIDCALL), "D3DERR_DRIVERINVALIDCALL");
    EXPECT_STREQ(D3DResultNames(E_OUTOFMEMORY), "D3DERR_UNKNOWN");
    EXPECT_STREQ(D3DResultNames(S_OK), "D3DERR_UNKNOWN");
}

TEST_F(QX9_RenderTest, TenFailuresInARowAreForgivenTheEleventhStops)
{
    // Ten failures of mixed calls, then any success: no stop, count reset.
    for (int i = 0; i < 10; i++) {
        EXPECT_FALSE(D3DCheck(D3DERR_OUTOFVIDEOMEMORY));
        D3DFail(i % 2 == 0 ? D3DOP_CreateTexture : D3DOP_Present);
    }
    EXPECT_TRUE(D3DCheck(D3DOK_NOAUTOGEN));
    EXPECT_EQ(D3DFailureCount.load(), 0);
    EXPECT_EQ(GetEngineErrorText(), "");

    for (int i = 0; i < 10; i++) {
        D3DCheck(D3DERR_INVALIDCALL);
        D3DFail(D3DOP_SetIndices);
    }
    D3DCheck(D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_THROW(D3DFail(D3DOP_CreateTexture), TFatalStopped);
    EXPECT_EQ(GetEngineErrorText(), "\n\rD3D.CreateTexture: D3DERR_OUTOFVIDEOMEMORY -> DIRECT3D ERROR!");
}

TEST_F(QX9_RenderTest, AdapterProbingKeepsOnlyExactShaderVersions)
{
    struct TCase {
        DWORD Vertex, Pixel;
        int32_t VertexLevel, PixelLevel;
    };
    const TCase cases[] = {
        {D3DVS_VERSION(1, 1), D3DPS_VERSION(1, 4), 0, 14},  {D3DVS_VERSION(2, 0), D3DPS_VERSION(2, 0), 20, 20},
        {D3DVS_VERSION(3, 0), D3DPS_VERSION(3, 0), 30, 30}, {D3DVS_VERSION(1, 0), D3DPS_VERSION(1, 1), 10, 11},
        {D3DVS_VERSION(2, 1), D3DPS_VERSION(2, 1), 0, 0},   {D3DVS_VERSION(4, 0), D3DPS_VERSION(4, 0), 40, 40},
    };
    for (const TCase& c : cases) {
        TFakeDirect3D fake;
        fake.VertexShader = c.Vertex;
        fake.PixelShader = c.Pixel;
        Fake = &fake;
        SetDirect3DCreate(&CreateFake);
        T3D_Render render;
        EXPECT_EQ(render.VertexShaderLevel, c.VertexLevel) << std::hex << c.Vertex;
        EXPECT_EQ(render.PixelShaderLevel, c.PixelLevel) << std::hex << c.Pixel;
        EXPECT_EQ(render.MaxAnisotropy, 8);
        EXPECT_EQ(render.ScreenWidth, 1920);
        EXPECT_EQ(render.DisplayMode.Height, 1080u);
    }
}

TEST_F(QX9_RenderTest, AdapterProbingMultisampleAndFormats)
{
    TFakeDirect3D fake;
    fake.Multisample = {2, 4, 8};
    fake.Formats = {{D3DFMT_A16B16G16R16, D3DUSAGE_RENDERTARGET},
                    {D3DFMT_R32F, D3DUSAGE_RENDERTARGET},
                    {D3DFMT_DXT1, 0},
                    {D3DFMT_DXT5, 0},
                    {D3DFOURCC_A2M1, 0},
                    {D3DFMT_R16F, 0}};
    Fake = &fake;
    SetDirect3DCreate(&CreateFake);
    {
        T3D_Render render;
        EXPECT_EQ(render.MaxMultisample, 8);
        EXPECT_EQ(render.MaxMultisampleQuality, 3);
        EXPECT_EQ(fake.MultisampleAsked, (std::vector<int>{16, 15, 14, 13, 12, 11, 10, 9, 8}));
        EXPECT_EQ(render.TargetFormats, (std::array<uint8_t, 8>{0, 1, 0, 0, 0, 1, 0, 0}));
        EXPECT_EQ(render.DxtSupport, (std::array<uint8_t, 3>{1, 0, 1}));
        EXPECT_EQ(render.AtocSupport, 0);
        EXPECT_EQ(render.A2m1Support, 1);
    }
    fake.Multisample.clear();
    T3D_Render none;
    EXPECT_EQ(none.MaxMultisample, 0);
    EXPECT_EQ(none.MaxMultisampleQuality, 0);
}

TEST_F(QX9_RenderTest, PresentParametersFollowTheTable)
{
    struct TCase {
        uint8_t Fullscreen;
        int32_t Multisample;
        D3DFORMAT BackBufferFormat;
        D3DSWAPEFFECT SwapEffect;
        BOOL Windowed;
    };
    const TCase cases[] = {{0, 0, D3DFMT_UNKNOWN, D3DSWAPEFFECT_DISCARD, TRUE},
                           {0, 4, D3DFMT_UNKNOWN, D3DSWAPEFFECT_DISCARD, TRUE},
                           {1, 0, D3DFMT_A8R8G8B8, D3DSWAPEFFECT_FLIP, FALSE},
                           {1, 4, D3DFMT_A8R8G8B8, D3DSWAPEFFECT_DISCARD, FALSE}};
    for (const TCase& c : cases) {
        TFakeDirect3D fake;
        Fake = &fake;
        SetDirect3DCreate(&CreateFake);
        T3D_Render render;
        ClearEngineErrorText();
        EXPECT_THROW(render.CreateDevice(nullptr, 800, 600, c.Fullscreen, 1, c.Multisample, D3DFMT_D24S8),
                     TFatalStopped);
        const D3DPRESENT_PARAMETERS& p = render.PresentParams;
        EXPECT_EQ(p.BackBufferWidth, 800u);
        EXPECT_EQ(p.BackBufferHeight, 600u);
        EXPECT_EQ(p.BackBufferFormat, c.BackBufferFormat);
        EXPECT_EQ(p.BackBufferCount, 1u);
        EXPECT_EQ(p.MultiSampleType, static_cast<D3DMULTISAMPLE_TYPE>(c.Multisample));
        EXPECT_EQ(p.SwapEffect, c.SwapEffect) << int(c.Fullscreen) << " " << c.Multisample;
        EXPECT_EQ(p.Windowed, c.Windowed);
        EXPECT_EQ(p.EnableAutoDepthStencil, TRUE);
        EXPECT_EQ(p.AutoDepthStencilFormat, D3DFMT_D24S8);
        EXPECT_EQ(p.PresentationInterval, 1u);
        EXPECT_EQ(fake.Flags, 0x44u);
        // The device could not be made: the start ends with a fatal line.
        EXPECT_EQ(GetEngineErrorText(),
                  "\n\rT3D_Render.CreateDevice(D3DERR_NOTAVAILABLE) -> DIRECT3D DEVICE NOT CREATED!");
    }
}

TEST_F(QX9_RenderTest, NoDirect3DAtAllStopsAtCreation)
{
    D3D9Test_RefuseDirect3D(true);
    EXPECT_THROW(T3D_Render render, TFatalStopped);
    EXPECT_EQ(GetEngineErrorText(), "\n\rT3D_Render.Create(Direct3DCreate9) -> DIRECT3D NOT AVAILABLE!");
}

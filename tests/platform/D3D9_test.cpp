// The Direct3D-9-like layer on Mesa's software rasteriser: adapter answers,
// clears and read-back, shader files, failure injection and device loss.
#include "tests/platform/D3D9_TestDevice.h"

TEST(D3D9AdapterTest, AnswersShaderModelThreeAndTheProbedFormats)
{
    D3D9Test_Clear();
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION | D3D_SDK_DEBUG_INFO_BIT);
    ASSERT_NE(d3d, nullptr);
    D3DCAPS9 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.VertexShaderVersion, D3DVS_VERSION(3, 0));
    EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(3, 0));
    EXPECT_GE(caps.MaxAnisotropy, 1u);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    EXPECT_GT(mode.Width, 0u);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);

    for (D3DFORMAT format : {D3DFMT_G16R16, D3DFMT_A16B16G16R16, D3DFMT_R16F, D3DFMT_G16R16F, D3DFMT_A16B16G16R16F,
                             D3DFMT_R32F, D3DFMT_G32R32F, D3DFMT_A32B32G32R32F})
        EXPECT_EQ(
            d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, format),
            D3D_OK)
            << format;
    for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5})
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, format), D3D_OK);
    // No multisampling, so neither vendor switch of alpha to coverage.
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_SURFACE, D3DFOURCC_ATOC),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_SURFACE, D3DFOURCC_A2M1),
              D3DERR_NOTAVAILABLE);
    DWORD quality = 0;
    for (UINT type = 16; type >= 1; type--)
        EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, type, &quality),
                  D3DERR_NOTAVAILABLE);
    d3d->Release();
}

TEST(D3D9AdapterTest, RefusedDriverAndWrongSdkVersionGiveNoObject)
{
    D3D9Test_Clear();
    EXPECT_EQ(Direct3DCreate9(31), nullptr);
    D3D9Test_RefuseDirect3D(true);
    EXPECT_EQ(Direct3DCreate9(D3D_SDK_VERSION), nullptr);
    D3D9Test_Clear();
}

TEST_F(D3D9Test, ClearColoursReadBackExactly)
{
    const D3DCOLOR colours[] = {0xFF000000, 0xFFFFFFFF, 0xFF102030, 0xFF7F8081, 0xFFFE0102, 0x00ABCDEF};
    for (D3DCOLOR colour : colours) {
        ASSERT_EQ(Device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour, 1.0f, 0), D3D_OK);
        std::vector<uint32_t> pixels = ReadTarget();
        ASSERT_EQ(pixels.size(), Width * Height);
        EXPECT_EQ(Rgb(pixels[0]), Rgb(colour)) << std::hex << colour;
        EXPECT_EQ(Rgb(pixels[Width * Height - 1]), Rgb(colour)) << std::hex << colour;
    }
}

TEST_F(D3D9Test, ClearIgnoresScissorAndColourMaskButRectsLimitIt)
{
    Device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    Device->SetRenderState(D3DRS_SCISSORTESTENABLE, TRUE);
    TRect scissor = {0, 0, 2, 2};
    Device->SetScissorRect(&scissor);
    ASSERT_EQ(Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    std::vector<uint32_t> pixels = ReadTarget();
    EXPECT_EQ(Rgb(pixels[Width * Height - 1]), 0x00FF00u);

    D3DRECT rect = {10, 5, 20, 8};
    ASSERT_EQ(Device->Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    pixels = ReadTarget();
    EXPECT_EQ(Rgb(pixels[5 * Width + 10]), 0xFF0000u);
    EXPECT_EQ(Rgb(pixels[7 * Width + 19]), 0xFF0000u);
    EXPECT_EQ(Rgb(pixels[8 * Width + 19]), 0x00FF00u);
    EXPECT_EQ(Rgb(pixels[5 * Width + 20]), 0x00FF00u);
    EXPECT_EQ(Rgb(pixels[4 * Width + 10]), 0x00FF00u);
}

TEST_F(D3D9Test, ShaderFilesMustBeGlslOfTheirStage)
{
    IDirect3DVertexShader9* vs = nullptr;
    IDirect3DPixelShader9* ps = nullptr;
    // Each refusal says why to the caller and prints nothing itself.
    const uint32_t bytecode[] = {0xFFFE0300, 0x0000FFFF};
    const std::string broken = "//GLSL-PS\nvoid ps_main() { oC0 = undefinedThing; }\n";
    const std::string binary = std::string("//GLSL-VS\n") + '\0';
    struct TRow {
        const char* Name;
        bool Vertex;
        const void* Code;
        size_t Size;
        std::string Why; // the start of the refusal
    };
    const TRow rows[] = {
        {"Direct3D bytecode", true, bytecode, sizeof(bytecode), "NO //GLSL-VS MARK!"},
        {"pixel code as vertex", true, ColorPS, std::strlen(ColorPS), "NO //GLSL-VS MARK!"},
        {"vertex code as pixel", false, ClipVS, std::strlen(ClipVS), "NO //GLSL-PS MARK!"},
        {"binary after the mark", true, binary.data(), binary.size(), "NOT TEXT!"},
        {"empty", false, "", 0, "NO SHADER CODE!"},
        {"does not compile", false, broken.data(), broken.size(), "DOES NOT COMPILE:\n"},
    };
    for (const TRow& row : rows) {
        testing::internal::CaptureStderr();
        HRESULT result = row.Vertex ? Device->CreateVertexShader(row.Code, row.Size, &vs)
                                    : Device->CreatePixelShader(row.Code, row.Size, &ps);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << row.Name;
        EXPECT_EQ(result, D3DERR_INVALIDCALL) << row.Name;
        EXPECT_EQ(vs, nullptr) << row.Name;
        EXPECT_EQ(ps, nullptr) << row.Name;
        EXPECT_EQ(D3D9_ShaderRefusal().substr(0, row.Why.size()), row.Why) << row.Name;
    }
    // The compiler's own words follow, naming what it did not know.
    EXPECT_NE(D3D9_ShaderRefusal().find("undefinedThing"), std::string::npos) << D3D9_ShaderRefusal();
    EXPECT_EQ(Device->CreateVertexShader(ClipVS, std::strlen(ClipVS), &vs), D3D_OK);
    EXPECT_EQ(D3D9_ShaderRefusal(), "");
    ASSERT_NE(vs, nullptr);
    vs->Release();
    std::string withBom = std::string("\xEF\xBB\xBF") + ColorPS;
    EXPECT_EQ(Device->CreatePixelShader(withBom.data(), withBom.size(), &ps), D3D_OK);
    ASSERT_NE(ps, nullptr);
    ps->Release();
}

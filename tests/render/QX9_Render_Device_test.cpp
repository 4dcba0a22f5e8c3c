// The renderer on the real Direct3D-9-like layer: device creation, retries
// through injected failures, and recovery from a lost device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/d3d9/D3D9_TestHook.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Shaders.h"
#include "tests/support/FatalStop.h"
#include "tests/support/TestSupport.h"

namespace {

std::vector<std::string> Steps;

class QX9_RenderDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearEngineErrorText();
        SetFatalStopHook(&ThrowingStop);
        QX9_Render_Initialization();
        D3D9Test_Clear();
        Steps.clear();
        DeviceLossHandlers = {};
        TWindowCreateParams params;
        params.ClassName = "RenderTest";
        params.Title = "Render test";
        params.Width = 64;
        params.Height = 48;
        Window = Window_Create(params);
        ASSERT_NE(Window, nullptr);
        Render = std::make_unique<T3D_Render>();
        Render->CreateDevice(Window, 64, 48, 0, 1, 0, D3DFMT_D24S8);
        ASSERT_NE(Render->Device, nullptr);
    }
    void TearDown() override
    {
        // The renderer leaves its device objects alone; the test frees them.
        if (Render) {
            for (IDirect3DVertexDeclaration9* declaration : Render->VertexDecls)
                if (declaration != nullptr)
                    declaration->Release();
            if (Render->BackBuffer != nullptr)
                Render->BackBuffer->Release();
            if (Render->DepthSurface != nullptr)
                Render->DepthSurface->Release();
            if (Render->Device != nullptr)
                Render->Device->Release();
            Render->Direct3D->Release();
            Render.reset();
        }
        Window_Shutdown();
        SetFatalStopHook(nullptr);
        ClearEngineErrorText();
        QX9_Render_Initialization();
        D3D9Test_Clear();
        DeviceLossHandlers = {};
    }

    HWND Window = nullptr;
    std::unique_ptr<T3D_Render> Render;
};

} // namespace

TEST_F(QX9_RenderDeviceTest, CreateDeviceKeepsTargetsAndMakesTheTenDeclarations)
{
    EXPECT_NE(Render->BackBuffer, nullptr);
    EXPECT_NE(Render->DepthSurface, nullptr);
    for (IDirect3DVertexDeclaration9* declaration : Render->VertexDecls)
        EXPECT_NE(declaration, nullptr);
    EXPECT_EQ(Render->ScreenWidth, 64);
    EXPECT_EQ(Render->ScreenHeight, 48);
    EXPECT_EQ(Render->Fullscreen, 0);
    EXPECT_EQ(Render->VertexShaderLevel, 30);
    EXPECT_EQ(Render->PixelShaderLevel, 30);
    EXPECT_EQ(Render->MaxMultisample, 0);
    EXPECT_EQ(Render->TargetFormats, (std::array<uint8_t, 8>{1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_GE(Render->Parallelizer.WorkerCount, 2);
    DWORD value = 0;
    Render->Device->GetRenderState(D3DRS_ZENABLE, &value);
    EXPECT_EQ(value, static_cast<DWORD>(TRUE));
    Render->Device->GetRenderState(D3DRS_SHADEMODE, &value);
    EXPECT_EQ(value, D3DSHADE_GOURAUD);
    EXPECT_EQ(Render->CurrentVertexFormat, 0);
    EXPECT_EQ(Render->CurrentScene, -1);
    EXPECT_EQ(Render->CursorSprite, -1);
    EXPECT_EQ(Render->StageCache[15].TextureIndex, -1);
    EXPECT_EQ(VertexFormatStride[MESH_SPRITE], 28);
    EXPECT_EQ(VertexFormatNames[MESH_LANDSKAPE], "MESH_LANDSKAPE");
}

TEST_F(QX9_RenderDeviceTest, DeclarationStridesMatchTheirElements)
{
    // Each format's last element ends exactly at its stride.
    for (int32_t format = 1; format <= VertexFormatCount; format++) {
        const D3DVERTEXELEMENT9* elements = VertexFormatElements(format);
        ASSERT_NE(elements, nullptr);
        int last = 0;
        while (elements[last + 1].Stream != 0xFF)
            last++;
        static const int sizes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8};
        EXPECT_EQ(elements[last].Offset + sizes[elements[last].Type], VertexFormatStride[format])
            << VertexFormatNames[format];
    }
    EXPECT_EQ(VertexFormatElements(0), nullptr);
    EXPECT_EQ(VertexFormatElements(11), nullptr);
}

TEST_F(QX9_RenderDeviceTest, RetriedCallSurvivesTenFailuresAndStopsOnTheEleventh)
{
    IDirect3DTexture9* texture = nullptr;
    D3D9Test_FailCalls("CreateTexture", D3DERR_OUTOFVIDEOMEMORY, 10);
    D3DRetry(D3DOP_CreateTexture, [&] {
        return Render->Device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
    });
    ASSERT_NE(texture, nullptr);
    texture->Release();
    EXPECT_EQ(D3DFailureCount.load(), 0);
    EXPECT_EQ(GetEngineErrorText(), "");

    D3D9Test_FailCalls("CreateTexture", D3DERR_OUTOFVIDEOMEMORY, 11);
    EXPECT_THROW(D3DRetry(D3DOP_CreateTexture,
                          [&] {
                              return Render->Device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                                   &texture, nullptr);
                          }),
                 TFatalStopped);
    EXPECT_EQ(GetEngineErrorText(), "\n\rD3D.CreateTexture: D3DERR_OUTOFVIDEOMEMORY -> DIRECT3D ERROR!");
}

TEST_F(QX9_RenderDeviceTest, ShaderThatIsRefusedStopsNamingItsFileOnce)
{
    TTempFolder folder;
    struct TRow {
        const char* Name;
        uint8_t Vertex;
        std::string Code;
        std::string Reason; // the start of what the file is said to be
        const char* Operation;
    };
    const TRow rows[] = {
        {"Broken_PS.bin", 0, "//GLSL-PS\nvoid ps_main() { oC0 = undefinedThing; }\n", "DOES NOT COMPILE:\n",
         "D3D.CreatePixelShader"},
        {"Marked_VS.bin", 1, "//GLSL-PS\nvoid ps_main() { oC0 = vec4(1.0); }\n", "NO //GLSL-VS MARK!",
         "D3D.CreateVertexShader"},
    };
    for (const TRow& row : rows) {
        ClearEngineErrorText();
        QX9_Render_Initialization();
        const std::string file = folder.WriteProgramFile(row.Name, row.Code);
        testing::internal::CaptureStderr();
        EXPECT_THROW(Render->Shader_Load(file, row.Vertex), TFatalStopped) << row.Name;
        const std::string printed = testing::internal::GetCapturedStderr();
        const std::string text = GetEngineErrorText();
        const std::string head = "\n\rT3D_Shader.Upload(" + LowerCaseStr(file) + ") -> " + row.Reason;
        EXPECT_EQ(text.substr(0, head.size()), head) << text;
        const std::string tail = std::string("\n\r") + row.Operation + ": D3DERR_INVALIDCALL -> DIRECT3D ERROR!";
        ASSERT_GE(text.size(), tail.size());
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << text;
        // One line names the file; the compiler's messages come once, in it,
        // and nothing goes to stderr on the way.
        EXPECT_EQ(text.find(LowerCaseStr(row.Name)), text.rfind(LowerCaseStr(row.Name))) << text;
        EXPECT_EQ(text.find("\n\r", 2), text.size() - tail.size()) << text;
        EXPECT_EQ(printed, "") << row.Name;
        if (row.Vertex == 0) {
            EXPECT_NE(text.find("undefinedThing"), std::string::npos) << text;
        }
    }
    // The registry keeps the slots of the files that stopped; free them.
    for (T3D_Shader*& shader : Render->Shaders) {
        delete shader;
        shader = nullptr;
    }
}

TEST_F(QX9_RenderDeviceTest, LostDeviceRecoversThroughCheckDevice)
{
    DeviceLossHandlers.ReleaseMeshes = [](T3D_Render&) { Steps.push_back("release meshes"); };
    DeviceLossHandlers.ReleaseTextures = [](T3D_Render&) { Steps.push_back("release textures"); };
    DeviceLossHandlers.ReleaseShaders = [](T3D_Render&) { Steps.push_back("release shaders"); };
    DeviceLossHandlers.ReleasePassQuads = [](T3D_Render&) { Steps.push_back("release quads"); };
    DeviceLossHandlers.RestoreShaders = [](T3D_Render& r) {
        Steps.push_back(r.BackBuffer != nullptr ? "restore shaders" : "restore shaders without targets");
    };
    DeviceLossHandlers.RestoreTextures = [](T3D_Render&) { Steps.push_back("restore textures"); };
    DeviceLossHandlers.RestoreMeshes = [](T3D_Render&) { Steps.push_back("restore meshes"); };
    DeviceLossHandlers.RestorePassQuads = [](T3D_Render&) { Steps.push_back("restore quads"); };
    DeviceLossHandlers.MarkConstantsChanged = [](T3D_Render&) { Steps.push_back("constants changed"); };
    Render->CurrentVertexFormat = 6;
    Render->CurrentKey = {0xFF, 0x12};
    Render->CurrentVertexShader = 3;
    Render->CurrentPixelShader = 4;
    Render->StageCache[0].TextureIndex = 7;
    Render->StageCache[9].TextureIndex = 2;

    EXPECT_TRUE(Render->CheckDevice());
    D3D9Test_LoseDevice(2);
    EXPECT_FALSE(Render->CheckDevice()); // lost, asked twice
    EXPECT_EQ(Render->DeviceState, 1);
    EXPECT_TRUE(Steps.empty());
    D3D9Test_FailResets(1, D3DERR_DEVICELOST);
    EXPECT_FALSE(Render->CheckDevice()); // resettable, released, Reset failed
    EXPECT_EQ(Render->DeviceState, 3);
    EXPECT_EQ(Render->BackBuffer, nullptr);
    EXPECT_EQ(Steps,
              (std::vector<std::string>{"release meshes", "release textures", "release shaders", "release quads"}));
    EXPECT_TRUE(Render->CheckDevice()); // Reset, restore
    EXPECT_EQ(Render->DeviceState, 0);
    EXPECT_EQ(Steps, (std::vector<std::string>{"release meshes", "release textures", "release shaders", "release quads",
                                               "restore shaders", "restore textures", "restore meshes", "restore quads",
                                               "constants changed"}));
    EXPECT_NE(Render->BackBuffer, nullptr);
    EXPECT_NE(Render->DepthSurface, nullptr);
    EXPECT_EQ(Render->CurrentVertexFormat, -1);
    EXPECT_EQ(Render->CurrentKey.Mask, 0u);
    EXPECT_EQ(Render->CurrentKey.Value, 0u);
    EXPECT_EQ(Render->CurrentVertexShader, -1);
    EXPECT_EQ(Render->CurrentPixelShader, -1);
    for (const T3D_TextureStage& stage : Render->StageCache)
        EXPECT_EQ(stage.TextureIndex, -1);

    // The device itself starts from its defaults: the next draw sets every
    // GL state afresh.
    const char* ps = "//GLSL-PS\nvoid ps_main() { oC0 = v_C0; }\n";
    IDirect3DPixelShader9* shader = nullptr;
    ASSERT_EQ(Render->Device->CreatePixelShader(ps, std::strlen(ps), &shader), D3D_OK);
    uint64_t before = D3D9Test_Counters().FullStateApplies;
    Render->Device->SetVertexDeclaration(Render->VertexDecls[MESH_SPRITE - 1]);
    Render->Device->SetPixelShader(shader);
    float vertices[4 * 7] = {};
    const uint16_t indices[6] = {0, 2, 1, 0, 3, 2};
    ASSERT_EQ(
        Render->Device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX16, vertices, 28),
        D3D_OK);
    EXPECT_EQ(D3D9Test_Counters().FullStateApplies, before + 1);
    shader->Release();
}

TEST_F(QX9_RenderDeviceTest, ImmediatelyResettableDeviceRecoversInOneCall)
{
    D3D9Test_LoseDevice(0);
    EXPECT_TRUE(Render->CheckDevice());
    EXPECT_EQ(Render->DeviceState, 0);
    EXPECT_EQ(D3D9Test_Counters().Resets, 1u);
}

namespace {

class QX9_RenderDeviceThreadTest : public QX9_RenderDeviceTest {};

} // namespace

TEST_F(QX9_RenderDeviceThreadTest, TwoThreadsTakingTurnsUnderRenderLockBothDrawTheirFrames)
{
    IDirect3DDevice9* device = Render->Device;
    const char* text = "//GLSL-PS\nvoid ps_main() { oC0 = PC[0]; }\n";
    IDirect3DPixelShader9* shader = nullptr;
    ASSERT_EQ(device->CreatePixelShader(text, std::strlen(text), &shader), D3D_OK);
    IDirect3DTexture9* targets[2] = {};
    IDirect3DSurface9* surfaces[2] = {};
    IDirect3DSurface9* copies[2] = {};
    for (int i = 0; i < 2; i++) {
        ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &targets[i],
                                        nullptr),
                  D3D_OK);
        targets[i]->GetSurfaceLevel(0, &surfaces[i]);
        ASSERT_EQ(device->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &copies[i], nullptr),
                  D3D_OK);
    }
    int turn = 0;
    int wrong[2] = {0, 0};
    const int rounds = 10;
    auto worker = [&](int me) {
        for (int round = 0; round < rounds;) {
            RenderLock.Enter();
            if (turn % 2 == me) {
                float colour[4] = {me == 0 ? 1.0f : 0.0f, round / 10.0f, me == 1 ? 1.0f : 0.0f, 1.0f};
                device->BeginScene();
                device->SetRenderTarget(0, surfaces[me]);
                device->SetDepthStencilSurface(nullptr);
                device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
                device->SetVertexDeclaration(Render->VertexDecls[MESH_SPRITE - 1]);
                device->SetPixelShader(shader);
                device->SetPixelShaderConstantF(0, colour, 1);
                float v[4 * 7] = {-0.5f, -0.5f, 0, 1, 0, 0, 0, 7.5f,  -0.5f, 0, 1, 0, 0, 0,
                                  7.5f,  7.5f,  0, 1, 0, 0, 0, -0.5f, 7.5f,  0, 1, 0, 0, 0};
                const uint16_t indices[6] = {0, 2, 1, 0, 3, 2};
                D3DRetry(D3DOP_DrawIndexedPrimitiveUP, [&] {
                    return device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX16, v, 28);
                });
                device->EndScene();
                D3DRetry(D3DOP_GetRenderTargetData,
                         [&] { return device->GetRenderTargetData(surfaces[me], copies[me]); });
                D3DLOCKED_RECT locked;
                copies[me]->LockRect(&locked, nullptr, D3DLOCK_READONLY);
                const uint8_t* p = static_cast<const uint8_t*>(locked.pBits) + 4 * locked.Pitch + 16;
                int green = static_cast<int>(std::lround(round / 10.0 * 255));
                if (p[2] != (me == 0 ? 255 : 0) || p[0] != (me == 1 ? 255 : 0) || std::abs(p[1] - green) > 1)
                    wrong[me]++;
                copies[me]->UnlockRect();
                turn++;
                round++;
            }
            RenderLock.Leave();
            std::this_thread::yield();
        }
    };
    std::thread first(worker, 0), second(worker, 1);
    first.join();
    second.join();
    EXPECT_EQ(turn, 2 * rounds);
    EXPECT_EQ(wrong[0], 0);
    EXPECT_EQ(wrong[1], 0);
    for (int i = 0; i < 2; i++) {
        copies[i]->Release();
        surfaces[i]->Release();
        targets[i]->Release();
    }
    shader->Release();
}

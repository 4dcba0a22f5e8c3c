// Renderers for the tests of the resources: one on the recording device (no
// OpenGL, every device call recorded) and one on the real device over a
// small hidden window. Fatal stops are thrown as TRenderFatalStop.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/D3D9_TestHook.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Constants.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shaders.h"
#include "render/QX9_Render_Textures.h"
#include "tests/fakes/RecordingDevice.h"
#include "tests/support/TestSupport.h"

struct TRenderFatalStop {};

inline void ThrowRenderFatalStop()
{
    throw TRenderFatalStop{};
}

// The renderer leaves its registries to the program's end; tests free them
// (and the targets it keeps) so the leak checker sees nothing.
inline void FreeRenderRegistries(T3D_Render& render)
{
    for (size_t slot = render._r_Meshes.size(); slot-- > 0;)
        render.Mesh_Free(static_cast<int32_t>(slot));
    for (size_t slot = render.Sprites.size(); slot-- > 0;)
        render.Sprite_Free(static_cast<int32_t>(slot));
    for (T3D_Font*& font : render.Fonts) {
        delete font;
        font = nullptr;
    }
    for (T3D_Scene*& scene : render.Scenes) {
        delete scene;
        scene = nullptr;
    }
    for (int32_t slot = 0; slot < render.TextureCount; slot++)
        render.Texture_Free(slot, 1);
    for (T3D_Shader*& shader : render.Shaders) {
        delete shader;
        shader = nullptr;
    }
    FreeConstants(render.Constants);
    if (render.BackBuffer != nullptr)
        render.BackBuffer->Release();
    if (render.DepthSurface != nullptr)
        render.DepthSurface->Release();
    render.BackBuffer = nullptr;
    render.DepthSurface = nullptr;
}

// Other tests replace the recovery's handlers: put the resources' back.
inline void RegisterResourceDeviceLossHandlers()
{
    RegisterTextureDeviceLossHandlers();
    RegisterShaderDeviceLossHandlers();
    RegisterConstantDeviceLossHandlers();
    RegisterMeshDeviceLossHandlers();
}

class TRecordingRenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearEngineErrorText();
        SetFatalStopHook(&ThrowRenderFatalStop);
        QX9_Render_Initialization();
        SetDirect3DCreate(&TRecordingDirect3D::Create);
        Render = std::make_unique<T3D_Render>();
        Render->Device = &Device;
        RegisterResourceDeviceLossHandlers();
    }

    void TearDown() override
    {
        FreeRender();
        SetDirect3DCreate(nullptr);
        SetFatalStopHook(nullptr);
        ClearEngineErrorText();
        QX9_Render_Initialization();
    }

    void FreeRender()
    {
        if (!Render)
            return;
        FreeRenderRegistries(*Render);
        Render.reset();
    }

    // Writes a file below the temporary folder; returns its program path.
    std::string Write(const std::string& relative, const std::vector<uint8_t>& bytes)
    {
        return Folder.WriteProgramFile(relative, std::string(bytes.begin(), bytes.end()));
    }

    TRecordingDevice Device;
    std::unique_ptr<T3D_Render> Render;
    TTempFolder Folder;
};

// A renderer with its device on a hidden 64 x 48 window.
class TDeviceRenderTest : public ::testing::Test {
protected:
    static constexpr int32_t Width = 64;
    static constexpr int32_t Height = 48;

    void SetUp() override
    {
        ClearEngineErrorText();
        SetFatalStopHook(&ThrowRenderFatalStop);
        QX9_Render_Initialization();
        D3D9Test_Clear();
        RegisterResourceDeviceLossHandlers();
        TWindowCreateParams params;
        params.ClassName = "RenderDeviceTest";
        params.Title = "Render device test";
        params.Width = Width;
        params.Height = Height;
        Window = Window_Create(params);
        ASSERT_NE(Window, nullptr);
        Render = std::make_unique<T3D_Render>();
        Render->CreateDevice(Window, Width, Height, 0, 1, 0, D3DFMT_D24S8);
        ASSERT_NE(Render->Device, nullptr);
    }

    void TearDown() override
    {
        if (Render) {
            FreeRenderRegistries(*Render);
            for (IDirect3DVertexDeclaration9* declaration : Render->VertexDecls)
                if (declaration != nullptr)
                    declaration->Release();
            Render->Device->Release();
            Render->Direct3D->Release();
            Render.reset();
        }
        Window_Shutdown();
        D3D9Test_Clear();
        SetFatalStopHook(nullptr);
        ClearEngineErrorText();
    }

    std::string Write(const std::string& relative, const std::vector<uint8_t>& bytes)
    {
        return Folder.WriteProgramFile(relative, std::string(bytes.begin(), bytes.end()));
    }

    HWND Window = nullptr;
    std::unique_ptr<T3D_Render> Render;
    TTempFolder Folder;
};

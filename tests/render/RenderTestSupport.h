// A renderer on the recording device, for tests of the resources: no OpenGL,
// every device call recorded, fatal stops thrown as TRenderFatalStop.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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
        // Other tests replace the recovery's handlers: put ours back.
        RegisterTextureDeviceLossHandlers();
        RegisterShaderDeviceLossHandlers();
        RegisterConstantDeviceLossHandlers();
        RegisterMeshDeviceLossHandlers();
    }

    void TearDown() override
    {
        FreeRender();
        SetDirect3DCreate(nullptr);
        SetFatalStopHook(nullptr);
        ClearEngineErrorText();
        QX9_Render_Initialization();
    }

    // The renderer leaves its registries to the program's end; tests free
    // them so the leak checker sees nothing.
    void FreeRender()
    {
        if (!Render)
            return;
        for (size_t slot = Render->_r_Meshes.size(); slot-- > 0;)
            Render->Mesh_Free(static_cast<int32_t>(slot));
        for (size_t slot = Render->Sprites.size(); slot-- > 0;)
            Render->Sprite_Free(static_cast<int32_t>(slot));
        for (T3D_Font*& font : Render->Fonts) {
            delete font;
            font = nullptr;
        }
        for (T3D_Scene*& scene : Render->Scenes) {
            delete scene;
            scene = nullptr;
        }
        for (int32_t slot = 0; slot < Render->TextureCount; slot++)
            Render->Texture_Free(slot, 1);
        for (T3D_Shader*& shader : Render->Shaders) {
            delete shader;
            shader = nullptr;
        }
        FreeConstants(Render->Constants);
        if (Render->BackBuffer != nullptr)
            Render->BackBuffer->Release();
        if (Render->DepthSurface != nullptr)
            Render->DepthSurface->Release();
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

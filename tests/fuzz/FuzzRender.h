// What the renderer's fuzz targets share: a renderer without a device whose
// uploads stay queued, and fatal stops that come back as an exception so one
// input's refusal does not end the run.
#pragma once

#include <memory>

#include "engine/QX9_System.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Shaders.h"
#include "tools/NullRender.h"

struct TFuzzFatalStop {};

inline void ThrowFuzzFatalStop()
{
    throw TFuzzFatalStop{};
}

// The renderer of the run, made once; fatal stops throw from then on.
inline T3D_Render& FuzzRender()
{
    static std::unique_ptr<T3D_Render> render = [] {
        SetFatalStopHook(&ThrowFuzzFatalStop);
        return MakeNullRender();
    }();
    return *render;
}

// Frees the sprites, textures, shaders and fonts one input made: the run's
// renderer outlives every input.
inline void FreeFuzzRenderResources(T3D_Render& render)
{
    for (size_t slot = render.Sprites.size(); slot-- > 0;)
        render.Sprite_Free(static_cast<int32_t>(slot));
    for (int32_t slot = 0; slot < render.TextureCount; slot++)
        render.Texture_Free(slot, 1);
    for (T3D_Shader*& shader : render.Shaders) {
        delete shader;
        shader = nullptr;
    }
    render.ShaderCount = 0;
    for (T3D_Font*& font : render.Fonts) {
        delete font;
        font = nullptr;
    }
}

// Runs the call; a fatal stop inside it is the reader's refusal. The error
// text is emptied either way, so it does not grow over the run.
template <class TCall> bool FuzzRefuses(TCall&& call)
{
    bool refused = false;
    try {
        call();
    } catch (const TFuzzFatalStop&) {
        refused = true;
    }
    ClearEngineErrorText();
    return refused;
}

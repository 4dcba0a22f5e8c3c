// What the renderer's fuzz targets share: a renderer without a device whose
// uploads stay queued, and fatal stops that come back as an exception so one
// input's refusal does not end the run.
#pragma once

#include <memory>

#include "engine/QX9_System.h"
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

// Test hook of the Direct3D-9-like layer: OpenGL never loses a device and
// rarely fails a call, so tests make it happen here. All settings are
// process-wide and cleared by D3D9Test_Clear.
#pragma once

#include <cstdint>
#include <string>

#include "platform/d3d9/D3D9.h"

// The next `count` calls of the named operation return `result` without
// doing anything; count -1 fails every call until cleared. A second call for
// the same name replaces the first. Names: the device's method names
// ("CreateTexture", "DrawIndexedPrimitive", "Present", ...), "CreateDevice",
// the texture and surface calls "GetSurfaceLevel", "SetAutoGenFilterType",
// "LockRect", "UnlockRect", and the buffer locks "VertexBuffer.Lock",
// "VertexBuffer.Unlock", "IndexBuffer.Lock", "IndexBuffer.Unlock".
void D3D9Test_FailCalls(const std::string& operation, HRESULT result, int32_t count);

// Loses every device: the next `lostAnswers` TestCooperativeLevel calls
// answer D3DERR_DEVICELOST, later ones D3DERR_DEVICENOTRESET, until a Reset
// succeeds. Present answers D3DERR_DEVICELOST meanwhile.
void D3D9Test_LoseDevice(int32_t lostAnswers);
// The next `count` Reset calls fail with `result`.
void D3D9Test_FailResets(int32_t count, HRESULT result);

// Makes Direct3DCreate9 answer nullptr, as on a machine without a usable
// OpenGL driver.
void D3D9Test_RefuseDirect3D(bool refuse);

// Counters of the layer's work, for tests that must see state re-issued.
// They count from the first D3D9Test_Clear or D3D9Test_Counters on; before
// that (a program without tests) nothing is counted.
struct TD3D9TestCounters {
    uint64_t Draws = 0;            // draw calls that reached GL
    uint64_t FullStateApplies = 0; // draws that set every GL state afresh
    uint64_t ProgramLinks = 0;
    uint64_t Resets = 0;
};
TD3D9TestCounters D3D9Test_Counters();

void D3D9Test_Clear();

// Inside the layer: the injected result for one call of the operation, or
// D3D_OK when none.
HRESULT D3D9Test_Injected(const char* operation);

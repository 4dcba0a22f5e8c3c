// Render-state keys: two words that say which render-state fields a drawable
// wants (mask) and the setting of each (value). The renderer compares a key
// with the one known to be on the device and issues only the calls of the
// fields that differ. Texture bindings are cached per sampler stage the same
// way.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/d3d9/D3D9.h"
#include "render/QX9_Render.h"

// Field masks (bits 0 and 1 belong to no field).
inline constexpr uint32_t RSK_CULL = 0x0000000C;
inline constexpr uint32_t RSK_DEPTHWRITE = 0x00000010;
inline constexpr uint32_t RSK_DEPTHTEST = 0x00000020;
inline constexpr uint32_t RSK_SHADING = 0x00000040;
inline constexpr uint32_t RSK_FILL = 0x00000080;
constexpr uint32_t RSK_FILTER(uint32_t sampler)
{
    return 0x300u << (2 * sampler);
}
inline constexpr uint32_t RSK_COLORWRITE = 0x01000000;
inline constexpr uint32_t RSK_ALPHAMODE = 0x0E000000;
inline constexpr uint32_t RSK_SRCBLEND = 0x30000000;
inline constexpr uint32_t RSK_DESTBLEND = 0xC0000000;

// Alpha modes, in place in the value word.
inline constexpr uint32_t RSK_ALPHA_OPAQUE = 0x0000000;
inline constexpr uint32_t RSK_ALPHA_BLEND = 0x2000000;
inline constexpr uint32_t RSK_ALPHA_TEST128 = 0x4000000;
inline constexpr uint32_t RSK_ALPHA_TEST1 = 0x6000000;
inline constexpr uint32_t RSK_ALPHA_TEST255 = 0x8000000;
inline constexpr uint32_t RSK_ALPHA_COVERAGE = 0xA000000;

// Sets one field of a key. setting -1 removes the field. Fields whose
// settings are small numbers (depth write, depth test, filters, colour write,
// blends) take 0, 1, 2, 3 and are shifted into place; cull, shading, fill and
// the alpha mode take their value already in place. Bits of the shifted
// setting outside the field are dropped.
void RenderStateKeySet(uint32_t fieldMask, int32_t setting, TRenderStateKey& key);

// Overlays key b on key a: b's fields win.
void RenderStateKeyOverlay(TRenderStateKey& a, const TRenderStateKey& b);

// Brings the device's render states to the key: issues the calls of every
// field the key names whose setting is not already recorded in currentKey
// (the key known to be on the device), in the fixed field order, and records
// them; currentAlphaMode is the alpha mode applied last. Results are not
// checked. T3D_Render::ApplyRenderStateKey runs it on the renderer's caches.
void ApplyRenderStateKeyTo(IDirect3DDevice9* device, TRenderStateKey& currentKey, int32_t& currentAlphaMode,
                           uint32_t maxAnisotropy, const TRenderStateKey& key);

inline constexpr int32_t TEXTURE_STAGE_COUNT = 16;

// Records the texture a stage wants; marks the stage changed when the index
// differs from the one recorded (a clamp change alone binds nothing new).
void TextureStageSet(T3D_TextureStage& stage, int32_t textureIndex, uint8_t clamp);

// Binds every stage whose used and changed bytes are both set: SetTexture
// with the device texture that lookup gives for its index, ADDRESSU and
// ADDRESSV clamped or wrapped; clears changed. Returns the number bound.
int32_t BindTextureStages(IDirect3DDevice9* device, T3D_TextureStage* stages, int32_t count,
                          const std::function<IDirect3DBaseTexture9*(int32_t)>& lookup);

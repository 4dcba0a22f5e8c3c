// Render-state keys and the texture stage cache.
#include "render/QX9_Render_StateKey.h"

namespace {

// How far a field's small-number setting is shifted; -1 for the fields whose
// settings are given in place.
int32_t SettingShift(uint32_t fieldMask)
{
    switch (fieldMask) {
    case RSK_DEPTHWRITE:
        return 4;
    case RSK_DEPTHTEST:
        return 5;
    case RSK_COLORWRITE:
        return 24;
    case RSK_SRCBLEND:
        return 28;
    case RSK_DESTBLEND:
        return 30;
    default:
        break;
    }
    for (uint32_t s = 0; s < 8; s++)
        if (fieldMask == RSK_FILTER(s))
            return static_cast<int32_t>(8 + 2 * s);
    return -1;
}

void Set(IDirect3DDevice9* device, D3DRENDERSTATETYPE state, DWORD value)
{
    device->SetRenderState(state, value);
}

void ApplyAlphaTest(IDirect3DDevice9* device)
{
    Set(device, D3DRS_ALPHABLENDENABLE, FALSE);
    Set(device, D3DRS_ALPHATESTENABLE, TRUE);
    Set(device, D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
}

void ApplyAlphaMode(IDirect3DDevice9* device, int32_t& currentAlphaMode, uint32_t mode)
{
    switch (mode) {
    case RSK_ALPHA_OPAQUE:
        Set(device, D3DRS_ALPHATESTENABLE, FALSE);
        Set(device, D3DRS_ALPHABLENDENABLE, FALSE);
        break;
    case RSK_ALPHA_BLEND:
        Set(device, D3DRS_ALPHATESTENABLE, FALSE);
        Set(device, D3DRS_ALPHABLENDENABLE, TRUE);
        Set(device, D3DRS_BLENDOP, D3DBLENDOP_ADD);
        break;
    case RSK_ALPHA_TEST128:
        ApplyAlphaTest(device);
        Set(device, D3DRS_ALPHAREF, 128);
        break;
    case RSK_ALPHA_TEST1:
        ApplyAlphaTest(device);
        Set(device, D3DRS_ALPHAREF, 1);
        break;
    case RSK_ALPHA_TEST255:
        ApplyAlphaTest(device);
        Set(device, D3DRS_ALPHAREF, 255);
        break;
    case RSK_ALPHA_COVERAGE:
        // Both vendor switches: whichever the driver knows takes effect.
        ApplyAlphaTest(device);
        Set(device, D3DRS_ADAPTIVETESS_Y, D3DFOURCC_ATOC);
        Set(device, D3DRS_POINTSIZE, D3DFOURCC_A2M1);
        break;
    default: // 0xC000000, 0xE000000
        ApplyAlphaTest(device);
        break;
    }
    if (mode != RSK_ALPHA_COVERAGE && static_cast<uint32_t>(currentAlphaMode) == RSK_ALPHA_COVERAGE) {
        Set(device, D3DRS_ADAPTIVETESS_Y, 0);
        Set(device, D3DRS_POINTSIZE, D3DFOURCC_A2M0);
    }
    currentAlphaMode = static_cast<int32_t>(mode);
}

void ApplyFilter(IDirect3DDevice9* device, DWORD stage, uint32_t setting, uint32_t maxAnisotropy)
{
    static constexpr DWORD Filters[3] = {D3DTEXF_POINT, D3DTEXF_LINEAR, D3DTEXF_ANISOTROPIC};
    if (setting > 2)
        return;
    device->SetSamplerState(stage, D3DSAMP_MIPFILTER, Filters[setting]);
    device->SetSamplerState(stage, D3DSAMP_MAGFILTER, Filters[setting]);
    device->SetSamplerState(stage, D3DSAMP_MINFILTER, Filters[setting]);
    if (setting == 2)
        device->SetSamplerState(stage, D3DSAMP_MAXANISOTROPY, maxAnisotropy);
}

// Issues the calls of one field for setting s (the value word masked by the
// field, still in place).
void ApplyField(IDirect3DDevice9* device, int32_t& currentAlphaMode, uint32_t maxAnisotropy, uint32_t field, uint32_t s)
{
    switch (field) {
    case RSK_CULL:
        if (s == 0x0)
            Set(device, D3DRS_CULLMODE, D3DCULL_NONE);
        else if (s == 0x4)
            Set(device, D3DRS_CULLMODE, D3DCULL_CW);
        else if (s == 0x8)
            Set(device, D3DRS_CULLMODE, D3DCULL_CCW);
        return;
    case RSK_ALPHAMODE:
        ApplyAlphaMode(device, currentAlphaMode, s);
        return;
    case RSK_DEPTHWRITE:
        Set(device, D3DRS_ZWRITEENABLE, s != 0 ? TRUE : FALSE);
        return;
    case RSK_DEPTHTEST:
        Set(device, D3DRS_ZFUNC, s != 0 ? D3DCMP_LESSEQUAL : D3DCMP_ALWAYS);
        return;
    case RSK_SHADING:
        Set(device, D3DRS_SHADEMODE, s != 0 ? D3DSHADE_GOURAUD : D3DSHADE_FLAT);
        return;
    case RSK_FILL:
        Set(device, D3DRS_FILLMODE, s != 0 ? D3DFILL_SOLID : D3DFILL_WIREFRAME);
        return;
    case RSK_COLORWRITE:
        Set(device, D3DRS_COLORWRITEENABLE, s != 0 ? 15 : 0);
        return;
    case RSK_SRCBLEND: {
        static constexpr DWORD Blends[3] = {D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLEND_SRCALPHA};
        const uint32_t n = s >> 28;
        if (n < 3)
            Set(device, D3DRS_SRCBLEND, Blends[n]);
        return;
    }
    case RSK_DESTBLEND: {
        static constexpr DWORD Blends[3] = {D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLEND_INVSRCALPHA};
        const uint32_t n = s >> 30;
        if (n < 3)
            Set(device, D3DRS_DESTBLEND, Blends[n]);
        return;
    }
    default:
        for (uint32_t stage = 0; stage < 8; stage++)
            if (field == RSK_FILTER(stage))
                ApplyFilter(device, stage, s >> (8 + 2 * stage), maxAnisotropy);
        return;
    }
}

} // namespace

void RenderStateKeySet(uint32_t fieldMask, int32_t setting, TRenderStateKey& key)
{
    if (setting == -1) {
        key.Mask &= ~fieldMask;
        key.Value &= ~fieldMask;
        return;
    }
    uint32_t s = static_cast<uint32_t>(setting);
    const int32_t shift = SettingShift(fieldMask);
    if (shift >= 0)
        s <<= shift;
    key.Mask |= fieldMask;
    key.Value = (key.Value & ~fieldMask) | (s & fieldMask);
}

void RenderStateKeyOverlay(TRenderStateKey& a, const TRenderStateKey& b)
{
    a.Mask = (a.Mask & ~b.Mask) | b.Mask;
    a.Value = (a.Value & ~b.Mask) | b.Value;
}

void ApplyRenderStateKeyTo(IDirect3DDevice9* device, TRenderStateKey& current, int32_t& currentAlphaMode,
                           uint32_t maxAnisotropy, const TRenderStateKey& key)
{
    if (key.Mask == current.Mask && key.Value == current.Value)
        return;
    static constexpr uint32_t Order[] = {
        RSK_CULL,      RSK_ALPHAMODE, RSK_DEPTHWRITE, RSK_DEPTHTEST, RSK_SHADING,   RSK_FILL,
        RSK_FILTER(0), RSK_FILTER(1), RSK_FILTER(2),  RSK_FILTER(3), RSK_FILTER(4), RSK_FILTER(5),
        RSK_FILTER(6), RSK_FILTER(7), RSK_COLORWRITE, RSK_SRCBLEND,  RSK_DESTBLEND,
    };
    for (uint32_t field : Order) {
        if ((key.Mask & field) == 0)
            continue;
        const uint32_t s = key.Value & field;
        if ((current.Mask & field) == field && (current.Value & field) == s)
            continue;
        ApplyField(device, currentAlphaMode, maxAnisotropy, field, s);
        current.Mask |= field;
        current.Value = (current.Value & ~field) | s;
    }
}

void T3D_Render::ApplyRenderStateKey(const TRenderStateKey& key)
{
    ApplyRenderStateKeyTo(Device, CurrentKey, CurrentAlphaMode, static_cast<uint32_t>(MaxAnisotropy), key);
}

void TextureStageSet(T3D_TextureStage& stage, int32_t textureIndex, uint8_t clamp)
{
    if (stage.TextureIndex != textureIndex)
        stage.Changed = 1;
    stage.TextureIndex = textureIndex;
    stage.Clamp = clamp;
}

int32_t BindTextureStages(IDirect3DDevice9* device, T3D_TextureStage* stages, int32_t count,
                          const std::function<IDirect3DBaseTexture9*(int32_t)>& lookup)
{
    int32_t bound = 0;
    for (int32_t i = 0; i < count; i++) {
        T3D_TextureStage& stage = stages[i];
        if (stage.Used == 0 || stage.Changed == 0)
            continue;
        const DWORD address = stage.Clamp == 1 ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP;
        device->SetTexture(static_cast<DWORD>(i), lookup(stage.TextureIndex));
        device->SetSamplerState(static_cast<DWORD>(i), D3DSAMP_ADDRESSU, address);
        device->SetSamplerState(static_cast<DWORD>(i), D3DSAMP_ADDRESSV, address);
        stage.Changed = 0;
        bound++;
    }
    return bound;
}

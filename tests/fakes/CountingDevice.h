// A device that takes the calls of a frame without recording them and only
// counts the triangles drawn: for benchmarks, where the recording itself
// would be most of the cost.
#pragma once

#include <cstdint>

#include "tests/fakes/RecordingDevice.h"

class TCountingDevice : public TRecordingDevice {
public:
    HRESULT TestCooperativeLevel() override { return D3D_OK; }
    HRESULT BeginScene() override { return D3D_OK; }
    HRESULT EndScene() override { return D3D_OK; }
    HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return D3D_OK; }
    HRESULT SetRenderTarget(DWORD, IDirect3DSurface9*) override { return D3D_OK; }
    HRESULT SetDepthStencilSurface(IDirect3DSurface9*) override { return D3D_OK; }
    HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return D3D_OK; }
    HRESULT SetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD) override { return D3D_OK; }
    HRESULT SetScissorRect(const TRect*) override { return D3D_OK; }
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9*) override { return D3D_OK; }
    HRESULT SetVertexShader(IDirect3DVertexShader9*) override { return D3D_OK; }
    HRESULT SetPixelShader(IDirect3DPixelShader9*) override { return D3D_OK; }
    HRESULT SetVertexShaderConstantF(UINT, const float*, UINT) override { return D3D_OK; }
    HRESULT SetPixelShaderConstantF(UINT, const float*, UINT) override { return D3D_OK; }
    HRESULT SetTexture(DWORD, IDirect3DBaseTexture9*) override { return D3D_OK; }
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE, UINT, UINT, UINT count, const void*, D3DFORMAT, const void*,
                                   UINT) override
    {
        Triangles += count;
        return D3D_OK;
    }
    int64_t Triangles = 0;
};

// A renderer without a device, for the tools and fuzz targets that build or
// read meshes, textures and fonts on machines with no display: the Direct3D
// object offers nothing, and every upload stays queued (nothing touches a
// device).
#pragma once

#include <memory>

#include "platform/d3d9/D3D9.h"
#include "render/QX9_Render.h"

class TNullDirect3D : public IDirect3D9 {
public:
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    UINT GetAdapterCount() override { return 1; }
    HRESULT GetAdapterDisplayMode(UINT, D3DDISPLAYMODE*) override { return D3DERR_NOTAVAILABLE; }
    HRESULT GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS9*) override { return D3DERR_NOTAVAILABLE; }
    HRESULT CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE, DWORD*) override
    {
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE, D3DFORMAT) override
    {
        return D3DERR_NOTAVAILABLE;
    }
    HRESULT CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice9** device) override
    {
        *device = nullptr;
        return D3DERR_NOTAVAILABLE;
    }
    static IDirect3D9* Create(UINT)
    {
        static TNullDirect3D object;
        return &object;
    }
};

// A renderer whose uploads are all deferred (and never performed).
inline std::unique_ptr<T3D_Render> MakeNullRender()
{
    SetDirect3DCreate(&TNullDirect3D::Create);
    auto render = std::make_unique<T3D_Render>();
    SetDirect3DCreate(nullptr);
    render->UploadQueue_Begin();
    return render;
}

// A Direct3D-9-like device for tests that records every call (with the
// calling thread) instead of drawing. Textures and surfaces keep their pixels
// in memory, so uploads can be inspected and locks read back; render-target
// data copies the bytes of the source surface.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/d3d9/D3D9.h"

class TRecordingDevice;

class TFakeSurface : public IDirect3DSurface9 {
public:
    ULONG AddRef() override;
    ULONG Release() override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const TRect* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    D3DSURFACE_DESC Desc;
    int32_t Pitch = 0;
    std::vector<uint8_t> OwnBytes;         // for plain and depth surfaces
    std::vector<uint8_t>* Bytes = nullptr; // where the pixels are
    IUnknownLike* Parent = nullptr;        // the texture of a level surface
    TRecordingDevice* Device = nullptr;
    ULONG Refs = 1;
};

class TFakeTexture : public IDirect3DTexture9 {
public:
    ULONG AddRef() override;
    ULONG Release() override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return static_cast<DWORD>(Levels.size()); }
    HRESULT SetAutoGenFilterType(DWORD filter) override;
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const TRect* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    struct TLevel {
        UINT Width = 0, Height = 0;
        int32_t Pitch = 0;
        std::vector<uint8_t> Bytes;
    };
    D3DFORMAT Format = 0;
    DWORD Usage = 0;
    D3DPOOL Pool = 0;
    std::vector<TLevel> Levels;
    TRecordingDevice* Device = nullptr;
    ULONG Refs = 1;
    int32_t Serial = 0;
};

class TFakeShader : public IDirect3DVertexShader9, public IDirect3DPixelShader9 {
public:
    ULONG AddRef() override { return ++Refs; }
    ULONG Release() override;
    std::string Code;
    TRecordingDevice* Device = nullptr;
    ULONG Refs = 1;
};

// Vertex and index buffers keep their bytes; Lock hands out the memory.
template <class TInterface> class TFakeBuffer : public TInterface {
public:
    ULONG AddRef() override { return ++Refs; }
    ULONG Release() override;
    D3DRESOURCETYPE GetType() override;
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;

    std::vector<uint8_t> Bytes;
    TRecordingDevice* Device = nullptr;
    ULONG Refs = 1;
    int32_t Serial = 0;
    std::string Kind; // "VertexBuffer" or "IndexBuffer"
};
using TFakeVertexBuffer = TFakeBuffer<IDirect3DVertexBuffer9>;
using TFakeIndexBuffer = TFakeBuffer<IDirect3DIndexBuffer9>;

// An adapter object for tests that build a T3D_Render without OpenGL: a
// 1024x768 display, shader model 3.0, anisotropy 8; it makes no device (the
// test sets T3D_Render::Device to its recording device).
class TRecordingDirect3D : public IDirect3D9 {
public:
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    UINT GetAdapterCount() override { return 1; }
    HRESULT GetAdapterDisplayMode(UINT, D3DDISPLAYMODE* mode) override;
    HRESULT GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS9* caps) override;
    HRESULT CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE, DWORD*) override;
    HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE, D3DFORMAT) override;
    HRESULT CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice9** device) override;
    // For SetDirect3DCreate.
    static IDirect3D9* Create(UINT sdkVersion);
};

class TRecordingDevice : public IDirect3DDevice9 {
public:
    struct TCall {
        std::string Text;
        std::thread::id Thread;
    };

    TRecordingDevice();
    ~TRecordingDevice() override;

    // The recorded calls' texts, in order; Clear forgets them.
    std::vector<std::string> Texts() const;
    std::vector<TCall> Calls() const;
    void Clear();
    // Calls whose text starts with prefix.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const;
    // Objects made and not yet released (textures, surfaces, shaders).
    int32_t LiveObjects() const;
    // The next count calls of the named method fail with result.
    void FailNext(const std::string& method, HRESULT result, int32_t count);

    // Bytes per texel row of a format at a width (blocks of four rows for DXT).
    static int32_t RowBytes(D3DFORMAT format, UINT width);
    static int32_t Rows(D3DFORMAT format, UINT height);

    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT TestCooperativeLevel() override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Present(const TRect*, const TRect*, HWND, const void*) override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT SetScissorRect(const TRect* rect) override;
    HRESULT GetScissorRect(TRect* rect) override;
    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                    IDirect3DVertexDeclaration9** declaration) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, void* sharedHandle) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                      DWORD multisampleQuality, BOOL discard, IDirect3DSurface9** surface,
                                      void* sharedHandle) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, void* sharedHandle) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destSurface) override;
    HRESULT UpdateSurface(IDirect3DSurface9* sourceSurface, const TRect* sourceRect, IDirect3DSurface9* destSurface,
                          const TPoint* destPoint) override;
    HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destSurface) override;
    HRESULT CreateVertexShader(const void* code, size_t size, IDirect3DVertexShader9** shader) override;
    HRESULT CreatePixelShader(const void* code, size_t size, IDirect3DPixelShader9** shader) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT SetVertexShaderConstantF(UINT startRegister, const float* data, UINT vector4fCount) override;
    HRESULT SetPixelShaderConstantF(UINT startRegister, const float* data, UINT vector4fCount) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                               void* sharedHandle) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** buffer,
                              void* sharedHandle) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* buffer) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex, UINT minVertexIndex, UINT numVertices,
                                 UINT startIndex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices, UINT primitiveCount,
                                   const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                   UINT vertexStride) override;

    // Used by the fake objects.
    void Record(const std::string& text);
    HRESULT Injected(const std::string& method);
    void ObjectMade();
    void ObjectGone();

    // Answers of the next TestCooperativeLevel calls, in order (D3D_OK when
    // none is left), and of the next Reset calls.
    std::vector<HRESULT> CooperativeAnswers;
    std::vector<HRESULT> ResetAnswers;
    // The size of the surfaces GetRenderTarget and GetDepthStencilSurface
    // hand out.
    UINT BackBufferWidth = 64;
    UINT BackBufferHeight = 48;

    // The constants last written, by register.
    std::map<UINT, std::vector<float>> VertexConstants;
    std::map<UINT, std::vector<float>> PixelConstants;

private:
    mutable std::mutex Lock;
    std::vector<TCall> Log;
    std::map<std::string, std::pair<HRESULT, int32_t>> Failures;
    int32_t Live = 0;
    int32_t NextSerial = 1;
};

// The Direct3D-9-like device the renderer draws with: the adapter object, the
// device, textures, surfaces, buffers, vertex declarations and shaders, with
// Direct3D 9's names, numbers and result codes, implemented over OpenGL 4.5
// core (see D3D9_Internal.h for how). No GL or SDL type appears here.
//
// Conventions kept from Direct3D 9: row 0 of every target and texture is the
// top row; depth runs 0..1; pre-transformed (POSITIONT) vertices address pixel
// centres at integer coordinates; setting a render target resets the viewport
// and scissor rectangle to the whole target; colours are 0xAARRGGBB.
//
// Shader "bytecode" is GLSL text whose first line is "//GLSL-VS" or
// "//GLSL-PS"; see D3D9_Shaders.cpp for what the layer adds around it.
//
// Threads: any thread may call the device (it locks itself). A thread that
// draws, clears, reads back or presents needs a GL context: the thread that
// created the device uses the window's context, up to
// D3D9_EXTRA_CONTEXTS other threads get one of the spare contexts made at
// creation (kept until the thread ends). Creation, locks and state setters
// need no context: GL objects are made and filled on first use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/window/Window.h"

#ifndef DUSKMARCH_HRESULT_DEFINED
#define DUSKMARCH_HRESULT_DEFINED
using HRESULT = int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
#endif

using DWORD = uint32_t;
using BOOL = int32_t;
using ULONG = uint32_t;
using D3DCOLOR = uint32_t;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr DWORD MakeFourCC(char a, char b, char c, char d)
{
    return static_cast<DWORD>(static_cast<uint8_t>(a)) | (static_cast<DWORD>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<DWORD>(static_cast<uint8_t>(c)) << 16) | (static_cast<DWORD>(static_cast<uint8_t>(d)) << 24);
}
constexpr D3DCOLOR D3DCOLOR_ARGB(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    return ((a & 255) << 24) | ((r & 255) << 16) | ((g & 255) << 8) | (b & 255);
}

// ---------------------------------------------------------------------------
// Results

constexpr HRESULT MakeD3DError(uint32_t code)
{
    return static_cast<HRESULT>(0x88760000u | code);
}
inline constexpr HRESULT D3D_OK = 0;
inline constexpr HRESULT D3DOK_NOAUTOGEN = 0x0876086F;
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = MakeD3DError(380);
inline constexpr HRESULT D3DERR_WASSTILLDRAWING = MakeD3DError(540);
inline constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = MakeD3DError(2072);
inline constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = MakeD3DError(2073);
inline constexpr HRESULT D3DERR_UNSUPPORTEDCOLORARG = MakeD3DError(2074);
inline constexpr HRESULT D3DERR_UNSUPPORTEDALPHAOPERATION = MakeD3DError(2075);
inline constexpr HRESULT D3DERR_UNSUPPORTEDALPHAARG = MakeD3DError(2076);
inline constexpr HRESULT D3DERR_TOOMANYOPERATIONS = MakeD3DError(2077);
inline constexpr HRESULT D3DERR_CONFLICTINGTEXTUREFILTER = MakeD3DError(2078);
inline constexpr HRESULT D3DERR_UNSUPPORTEDFACTORVALUE = MakeD3DError(2079);
inline constexpr HRESULT D3DERR_CONFLICTINGRENDERSTATE = MakeD3DError(2081);
inline constexpr HRESULT D3DERR_UNSUPPORTEDTEXTUREFILTER = MakeD3DError(2082);
inline constexpr HRESULT D3DERR_CONFLICTINGTEXTUREPALETTE = MakeD3DError(2086);
inline constexpr HRESULT D3DERR_DRIVERINTERNALERROR = MakeD3DError(2087);
inline constexpr HRESULT D3DERR_NOTFOUND = MakeD3DError(2150);
inline constexpr HRESULT D3DERR_MOREDATA = MakeD3DError(2151);
inline constexpr HRESULT D3DERR_DEVICELOST = MakeD3DError(2152);
inline constexpr HRESULT D3DERR_DEVICENOTRESET = MakeD3DError(2153);
inline constexpr HRESULT D3DERR_NOTAVAILABLE = MakeD3DError(2154);
inline constexpr HRESULT D3DERR_INVALIDDEVICE = MakeD3DError(2155);
inline constexpr HRESULT D3DERR_INVALIDCALL = MakeD3DError(2156);
inline constexpr HRESULT D3DERR_DRIVERINVALIDCALL = MakeD3DError(2157);

// ---------------------------------------------------------------------------
// Formats

using D3DFORMAT = uint32_t;
inline constexpr D3DFORMAT D3DFMT_UNKNOWN = 0;
inline constexpr D3DFORMAT D3DFMT_A8R8G8B8 = 21;
inline constexpr D3DFORMAT D3DFMT_X8R8G8B8 = 22;
inline constexpr D3DFORMAT D3DFMT_R5G6B5 = 23;
inline constexpr D3DFORMAT D3DFMT_A1R5G5B5 = 25;
inline constexpr D3DFORMAT D3DFMT_A4R4G4B4 = 26;
inline constexpr D3DFORMAT D3DFMT_A8 = 28;
inline constexpr D3DFORMAT D3DFMT_G16R16 = 34;
inline constexpr D3DFORMAT D3DFMT_A16B16G16R16 = 36;
inline constexpr D3DFORMAT D3DFMT_L8 = 50;
inline constexpr D3DFORMAT D3DFMT_A8L8 = 51;
inline constexpr D3DFORMAT D3DFMT_D24S8 = 75;
inline constexpr D3DFORMAT D3DFMT_D24X8 = 77;
inline constexpr D3DFORMAT D3DFMT_D16 = 80;
inline constexpr D3DFORMAT D3DFMT_VERTEXDATA = 100;
inline constexpr D3DFORMAT D3DFMT_INDEX16 = 101;
inline constexpr D3DFORMAT D3DFMT_INDEX32 = 102;
inline constexpr D3DFORMAT D3DFMT_R16F = 111;
inline constexpr D3DFORMAT D3DFMT_G16R16F = 112;
inline constexpr D3DFORMAT D3DFMT_A16B16G16R16F = 113;
inline constexpr D3DFORMAT D3DFMT_R32F = 114;
inline constexpr D3DFORMAT D3DFMT_G32R32F = 115;
inline constexpr D3DFORMAT D3DFMT_A32B32G32R32F = 116;
inline constexpr D3DFORMAT D3DFMT_DXT1 = MakeFourCC('D', 'X', 'T', '1');
inline constexpr D3DFORMAT D3DFMT_DXT3 = MakeFourCC('D', 'X', 'T', '3');
inline constexpr D3DFORMAT D3DFMT_DXT5 = MakeFourCC('D', 'X', 'T', '5');
// The two vendor switches for alpha to coverage, as render-state values.
inline constexpr DWORD D3DFOURCC_ATOC = MakeFourCC('A', 'T', 'O', 'C');
inline constexpr DWORD D3DFOURCC_A2M1 = MakeFourCC('A', '2', 'M', '1');
inline constexpr DWORD D3DFOURCC_A2M0 = MakeFourCC('A', '2', 'M', '0');

// ---------------------------------------------------------------------------
// Enumerations (Direct3D 9's numbers)

using D3DDEVTYPE = uint32_t;
inline constexpr D3DDEVTYPE D3DDEVTYPE_HAL = 1;
inline constexpr UINT D3DADAPTER_DEFAULT = 0;
inline constexpr UINT D3D_SDK_VERSION = 32;
inline constexpr UINT D3D_SDK_DEBUG_INFO_BIT = 0x80000000u;

using D3DRESOURCETYPE = uint32_t;
inline constexpr D3DRESOURCETYPE D3DRTYPE_SURFACE = 1;
inline constexpr D3DRESOURCETYPE D3DRTYPE_TEXTURE = 3;

using D3DMULTISAMPLE_TYPE = uint32_t;
inline constexpr D3DMULTISAMPLE_TYPE D3DMULTISAMPLE_NONE = 0;

using D3DSWAPEFFECT = uint32_t;
inline constexpr D3DSWAPEFFECT D3DSWAPEFFECT_DISCARD = 1;
inline constexpr D3DSWAPEFFECT D3DSWAPEFFECT_FLIP = 2;
inline constexpr D3DSWAPEFFECT D3DSWAPEFFECT_COPY = 3;

inline constexpr UINT D3DPRESENT_INTERVAL_DEFAULT = 0;
inline constexpr UINT D3DPRESENT_INTERVAL_ONE = 1;
inline constexpr UINT D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;

inline constexpr DWORD D3DCREATE_MULTITHREADED = 0x4;
inline constexpr DWORD D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;

using D3DPOOL = uint32_t;
inline constexpr D3DPOOL D3DPOOL_DEFAULT = 0;
inline constexpr D3DPOOL D3DPOOL_MANAGED = 1;
inline constexpr D3DPOOL D3DPOOL_SYSTEMMEM = 2;
inline constexpr D3DPOOL D3DPOOL_SCRATCH = 3;

inline constexpr DWORD D3DUSAGE_RENDERTARGET = 0x1;
inline constexpr DWORD D3DUSAGE_DEPTHSTENCIL = 0x2;
inline constexpr DWORD D3DUSAGE_WRITEONLY = 0x8;
inline constexpr DWORD D3DUSAGE_AUTOGENMIPMAP = 0x400;

inline constexpr DWORD D3DLOCK_READONLY = 0x10;
inline constexpr DWORD D3DLOCK_DISCARD = 0x2000;

inline constexpr DWORD D3DCLEAR_TARGET = 1;
inline constexpr DWORD D3DCLEAR_ZBUFFER = 2;
inline constexpr DWORD D3DCLEAR_STENCIL = 4;

using D3DPRIMITIVETYPE = uint32_t;
inline constexpr D3DPRIMITIVETYPE D3DPT_POINTLIST = 1;
inline constexpr D3DPRIMITIVETYPE D3DPT_LINELIST = 2;
inline constexpr D3DPRIMITIVETYPE D3DPT_LINESTRIP = 3;
inline constexpr D3DPRIMITIVETYPE D3DPT_TRIANGLELIST = 4;
inline constexpr D3DPRIMITIVETYPE D3DPT_TRIANGLESTRIP = 5;
inline constexpr D3DPRIMITIVETYPE D3DPT_TRIANGLEFAN = 6;

// Render states the renderer and the game set.
using D3DRENDERSTATETYPE = uint32_t;
inline constexpr D3DRENDERSTATETYPE D3DRS_ZENABLE = 7;
inline constexpr D3DRENDERSTATETYPE D3DRS_FILLMODE = 8;
inline constexpr D3DRENDERSTATETYPE D3DRS_SHADEMODE = 9;
inline constexpr D3DRENDERSTATETYPE D3DRS_ZWRITEENABLE = 14;
inline constexpr D3DRENDERSTATETYPE D3DRS_ALPHATESTENABLE = 15;
inline constexpr D3DRENDERSTATETYPE D3DRS_SRCBLEND = 19;
inline constexpr D3DRENDERSTATETYPE D3DRS_DESTBLEND = 20;
inline constexpr D3DRENDERSTATETYPE D3DRS_CULLMODE = 22;
inline constexpr D3DRENDERSTATETYPE D3DRS_ZFUNC = 23;
inline constexpr D3DRENDERSTATETYPE D3DRS_ALPHAREF = 24;
inline constexpr D3DRENDERSTATETYPE D3DRS_ALPHAFUNC = 25;
inline constexpr D3DRENDERSTATETYPE D3DRS_ALPHABLENDENABLE = 27;
inline constexpr D3DRENDERSTATETYPE D3DRS_POINTSIZE = 154;
inline constexpr D3DRENDERSTATETYPE D3DRS_COLORWRITEENABLE = 168;
inline constexpr D3DRENDERSTATETYPE D3DRS_BLENDOP = 171;
inline constexpr D3DRENDERSTATETYPE D3DRS_SCISSORTESTENABLE = 174;
inline constexpr D3DRENDERSTATETYPE D3DRS_ADAPTIVETESS_Y = 181;
inline constexpr D3DRENDERSTATETYPE D3DRS_SEPARATEALPHABLENDENABLE = 206;
inline constexpr D3DRENDERSTATETYPE D3DRS_SRCBLENDALPHA = 207;
inline constexpr D3DRENDERSTATETYPE D3DRS_DESTBLENDALPHA = 208;
inline constexpr D3DRENDERSTATETYPE D3DRS_BLENDOPALPHA = 209;
inline constexpr uint32_t D3D9_RENDER_STATE_COUNT = 256;

inline constexpr DWORD D3DFILL_POINT = 1;
inline constexpr DWORD D3DFILL_WIREFRAME = 2;
inline constexpr DWORD D3DFILL_SOLID = 3;
inline constexpr DWORD D3DSHADE_FLAT = 1;
inline constexpr DWORD D3DSHADE_GOURAUD = 2;
inline constexpr DWORD D3DCULL_NONE = 1;
inline constexpr DWORD D3DCULL_CW = 2;
inline constexpr DWORD D3DCULL_CCW = 3;
inline constexpr DWORD D3DCMP_NEVER = 1;
inline constexpr DWORD D3DCMP_LESS = 2;
inline constexpr DWORD D3DCMP_EQUAL = 3;
inline constexpr DWORD D3DCMP_LESSEQUAL = 4;
inline constexpr DWORD D3DCMP_GREATER = 5;
inline constexpr DWORD D3DCMP_NOTEQUAL = 6;
inline constexpr DWORD D3DCMP_GREATEREQUAL = 7;
inline constexpr DWORD D3DCMP_ALWAYS = 8;
inline constexpr DWORD D3DBLEND_ZERO = 1;
inline constexpr DWORD D3DBLEND_ONE = 2;
inline constexpr DWORD D3DBLEND_SRCCOLOR = 3;
inline constexpr DWORD D3DBLEND_INVSRCCOLOR = 4;
inline constexpr DWORD D3DBLEND_SRCALPHA = 5;
inline constexpr DWORD D3DBLEND_INVSRCALPHA = 6;
inline constexpr DWORD D3DBLEND_DESTALPHA = 7;
inline constexpr DWORD D3DBLEND_INVDESTALPHA = 8;
inline constexpr DWORD D3DBLEND_DESTCOLOR = 9;
inline constexpr DWORD D3DBLEND_INVDESTCOLOR = 10;
inline constexpr DWORD D3DBLEND_SRCALPHASAT = 11;
inline constexpr DWORD D3DBLENDOP_ADD = 1;
inline constexpr DWORD D3DBLENDOP_SUBTRACT = 2;
inline constexpr DWORD D3DBLENDOP_REVSUBTRACT = 3;
inline constexpr DWORD D3DBLENDOP_MIN = 4;
inline constexpr DWORD D3DBLENDOP_MAX = 5;

using D3DSAMPLERSTATETYPE = uint32_t;
inline constexpr D3DSAMPLERSTATETYPE D3DSAMP_ADDRESSU = 1;
inline constexpr D3DSAMPLERSTATETYPE D3DSAMP_ADDRESSV = 2;
inline constexpr D3DSAMPLERSTATETYPE D3DSAMP_ADDRESSW = 3;
inline constexpr D3DSAMPLERSTATETYPE D3DSAMP_BORDERCOLOR = 4;
inline constexpr D3DSAMPLERSTATETYPE D3DSAMP_MAGFILTER = 5;
inline constexpr D3DSAMPLERSTATETYPE D3DSAMP_MINFILTER = 6;
inline constexpr D3DSAMPLERSTATETYPE D3DSAMP_MIPFILTER = 7;
inline constexpr D3DSAMPLERSTATETYPE D3DSAMP_MIPMAPLODBIAS = 8;
inline constexpr D3DSAMPLERSTATETYPE D3DSAMP_MAXMIPLEVEL = 9;
inline constexpr D3DSAMPLERSTATETYPE D3DSAMP_MAXANISOTROPY = 10;
inline constexpr uint32_t D3D9_SAMPLER_STATE_COUNT = 14;
inline constexpr uint32_t D3D9_SAMPLER_COUNT = 16;

inline constexpr DWORD D3DTEXF_NONE = 0;
inline constexpr DWORD D3DTEXF_POINT = 1;
inline constexpr DWORD D3DTEXF_LINEAR = 2;
inline constexpr DWORD D3DTEXF_ANISOTROPIC = 3;
inline constexpr DWORD D3DTADDRESS_WRAP = 1;
inline constexpr DWORD D3DTADDRESS_MIRROR = 2;
inline constexpr DWORD D3DTADDRESS_CLAMP = 3;
inline constexpr DWORD D3DTADDRESS_BORDER = 4;

// Vertex declarations
inline constexpr uint8_t D3DDECLTYPE_FLOAT1 = 0;
inline constexpr uint8_t D3DDECLTYPE_FLOAT2 = 1;
inline constexpr uint8_t D3DDECLTYPE_FLOAT3 = 2;
inline constexpr uint8_t D3DDECLTYPE_FLOAT4 = 3;
inline constexpr uint8_t D3DDECLTYPE_D3DCOLOR = 4;
inline constexpr uint8_t D3DDECLTYPE_UBYTE4 = 5;
inline constexpr uint8_t D3DDECLTYPE_SHORT2 = 6;
inline constexpr uint8_t D3DDECLTYPE_SHORT4 = 7;
inline constexpr uint8_t D3DDECLTYPE_UBYTE4N = 8;
inline constexpr uint8_t D3DDECLTYPE_SHORT2N = 9;
inline constexpr uint8_t D3DDECLTYPE_SHORT4N = 10;
inline constexpr uint8_t D3DDECLTYPE_USHORT2N = 11;
inline constexpr uint8_t D3DDECLTYPE_USHORT4N = 12;
inline constexpr uint8_t D3DDECLTYPE_UNUSED = 17;
inline constexpr uint8_t D3DDECLMETHOD_DEFAULT = 0;
inline constexpr uint8_t D3DDECLUSAGE_POSITION = 0;
inline constexpr uint8_t D3DDECLUSAGE_BLENDWEIGHT = 1;
inline constexpr uint8_t D3DDECLUSAGE_BLENDINDICES = 2;
inline constexpr uint8_t D3DDECLUSAGE_NORMAL = 3;
inline constexpr uint8_t D3DDECLUSAGE_PSIZE = 4;
inline constexpr uint8_t D3DDECLUSAGE_TEXCOORD = 5;
inline constexpr uint8_t D3DDECLUSAGE_TANGENT = 6;
inline constexpr uint8_t D3DDECLUSAGE_BINORMAL = 7;
inline constexpr uint8_t D3DDECLUSAGE_POSITIONT = 9;
inline constexpr uint8_t D3DDECLUSAGE_COLOR = 10;

// Shader versions as GetDeviceCaps reports them.
constexpr DWORD D3DVS_VERSION(uint32_t major, uint32_t minor)
{
    return 0xFFFE0000u | (major << 8) | minor;
}
constexpr DWORD D3DPS_VERSION(uint32_t major, uint32_t minor)
{
    return 0xFFFF0000u | (major << 8) | minor;
}

// ---------------------------------------------------------------------------
// Records

struct D3DDISPLAYMODE {
    UINT Width = 0;
    UINT Height = 0;
    UINT RefreshRate = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
};

// The capabilities the renderer reads (a subset of Direct3D's record).
struct D3DCAPS9 {
    D3DDEVTYPE DeviceType = D3DDEVTYPE_HAL;
    UINT AdapterOrdinal = 0;
    DWORD MaxTextureWidth = 0;
    DWORD MaxTextureHeight = 0;
    DWORD MaxAnisotropy = 0;
    DWORD MaxSimultaneousTextures = 0;
    DWORD VertexShaderVersion = 0;
    DWORD MaxVertexShaderConst = 0;
    DWORD PixelShaderVersion = 0;
};

struct D3DPRESENT_PARAMETERS {
    UINT BackBufferWidth = 0;
    UINT BackBufferHeight = 0;
    D3DFORMAT BackBufferFormat = D3DFMT_UNKNOWN;
    UINT BackBufferCount = 0;
    D3DMULTISAMPLE_TYPE MultiSampleType = 0;
    DWORD MultiSampleQuality = 0;
    D3DSWAPEFFECT SwapEffect = 0;
    HWND hDeviceWindow = nullptr;
    BOOL Windowed = FALSE;
    BOOL EnableAutoDepthStencil = FALSE;
    D3DFORMAT AutoDepthStencilFormat = D3DFMT_UNKNOWN;
    DWORD Flags = 0;
    UINT FullScreen_RefreshRateInHz = 0;
    UINT PresentationInterval = 0;
};

struct D3DLOCKED_RECT {
    int32_t Pitch = 0;
    void* pBits = nullptr;
};

struct D3DRECT {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct D3DSURFACE_DESC {
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    D3DRESOURCETYPE Type = 0;
    DWORD Usage = 0;
    D3DPOOL Pool = 0;
    D3DMULTISAMPLE_TYPE MultiSampleType = 0;
    DWORD MultiSampleQuality = 0;
    UINT Width = 0;
    UINT Height = 0;
};

#pragma pack(push, 1)
struct D3DVERTEXELEMENT9 {
    uint16_t Stream;
    uint16_t Offset;
    uint8_t Type;
    uint8_t Method;
    uint8_t Usage;
    uint8_t UsageIndex;
};
#pragma pack(pop)
static_assert(sizeof(D3DVERTEXELEMENT9) == 8);
// Ends every element list.
inline constexpr D3DVERTEXELEMENT9 D3DDECL_END = {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0};

// ---------------------------------------------------------------------------
// Objects. Each is reference-counted: the creator holds one reference;
// Release of the last one frees it. Getters that hand out an object add a
// reference, as Direct3D does.

class IDirect3DDevice9;

class IUnknownLike {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknownLike() = default;
};

class IDirect3DResource9 : public IUnknownLike {
public:
    virtual D3DRESOURCETYPE GetType() = 0;
};

class IDirect3DSurface9 : public IDirect3DResource9 {
public:
    virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
    // rect nullptr locks the whole surface.
    virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const TRect* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect() = 0;
};

class IDirect3DBaseTexture9 : public IDirect3DResource9 {
public:
    virtual DWORD GetLevelCount() = 0;
    virtual HRESULT SetAutoGenFilterType(DWORD filter) = 0;
};

class IDirect3DTexture9 : public IDirect3DBaseTexture9 {
public:
    virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
    virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) = 0;
    virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const TRect* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect(UINT level) = 0;
};

class IDirect3DVertexBuffer9 : public IDirect3DResource9 {
public:
    // size 0 locks from offset to the end.
    virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;
};

class IDirect3DIndexBuffer9 : public IDirect3DResource9 {
public:
    virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;
};

class IDirect3DVertexDeclaration9 : public IUnknownLike {};
class IDirect3DVertexShader9 : public IUnknownLike {};
class IDirect3DPixelShader9 : public IUnknownLike {};

class IDirect3DDevice9 : public IUnknownLike {
public:
    virtual HRESULT TestCooperativeLevel() = 0;
    virtual HRESULT Reset(D3DPRESENT_PARAMETERS* params) = 0;
    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;
    virtual HRESULT Present(const TRect* sourceRect, const TRect* destRect, HWND overrideWindow,
                            const void* dirtyRegion) = 0;
    // Clears the whole viewport (the whole target; rects, when given, limit
    // it), whatever the colour write mask, depth write and scissor states.
    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) = 0;

    virtual HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) = 0;
    virtual HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) = 0;
    virtual HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) = 0;
    virtual HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) = 0;

    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
    virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) = 0;
    virtual HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) = 0;
    virtual HRESULT SetScissorRect(const TRect* rect) = 0;
    virtual HRESULT GetScissorRect(TRect* rect) = 0;

    virtual HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                            IDirect3DVertexDeclaration9** declaration) = 0;
    virtual HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) = 0;

    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DTexture9** texture, void* sharedHandle) = 0;
    virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                              D3DMULTISAMPLE_TYPE multiSample, DWORD multisampleQuality, BOOL discard,
                                              IDirect3DSurface9** surface, void* sharedHandle) = 0;
    virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DSurface9** surface, void* sharedHandle) = 0;
    // Copies a render target into a system-memory surface of its size and
    // format.
    virtual HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destSurface) = 0;
    // Copies a system-memory surface (or a part) into a texture level.
    virtual HRESULT UpdateSurface(IDirect3DSurface9* sourceSurface, const TRect* sourceRect,
                                  IDirect3DSurface9* destSurface, const TPoint* destPoint) = 0;
    // The last presented frame, into an A8R8G8B8 system-memory surface (the
    // part that fits; the rest is left as it is).
    virtual HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destSurface) = 0;

    // code/size: the whole shader file. Only GLSL text with the marker of
    // the stage is accepted; anything else is an invalid call.
    virtual HRESULT CreateVertexShader(const void* code, size_t size, IDirect3DVertexShader9** shader) = 0;
    virtual HRESULT CreatePixelShader(const void* code, size_t size, IDirect3DPixelShader9** shader) = 0;
    virtual HRESULT SetVertexShader(IDirect3DVertexShader9* shader) = 0;
    virtual HRESULT SetPixelShader(IDirect3DPixelShader9* shader) = 0;
    virtual HRESULT SetVertexShaderConstantF(UINT startRegister, const float* data, UINT vector4fCount) = 0;
    virtual HRESULT SetPixelShaderConstantF(UINT startRegister, const float* data, UINT vector4fCount) = 0;
    virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) = 0;

    virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer9** buffer, void* sharedHandle) = 0;
    virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer9** buffer, void* sharedHandle) = 0;
    virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) = 0;
    virtual HRESULT SetIndices(IDirect3DIndexBuffer9* buffer) = 0;
    virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex, UINT minVertexIndex,
                                         UINT numVertices, UINT startIndex, UINT primitiveCount) = 0;
    // Draws from user memory; afterwards stream 0 and the index buffer are
    // unset, as Direct3D leaves them.
    virtual HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices,
                                           UINT primitiveCount, const void* indexData, D3DFORMAT indexFormat,
                                           const void* vertexData, UINT vertexStride) = 0;
};

class IDirect3D9 : public IUnknownLike {
public:
    virtual UINT GetAdapterCount() = 0;
    virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) = 0;
    virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) = 0;
    virtual HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL windowed,
                                               D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) = 0;
    virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                      D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) = 0;
    virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviourFlags,
                                 D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) = 0;
};

// The Direct3D object, or nullptr when no OpenGL 4.5 core context can be
// made (no display, no driver). The SDK version's low bits must be
// D3D_SDK_VERSION (bit 31, the debug flag, is allowed).
IDirect3D9* Direct3DCreate9(UINT sdkVersion);

// Why the calling thread's last CreateVertexShader or CreatePixelShader
// refused its code ("" after one that succeeded): the stage marker missing,
// binary data, or the GL compiler's messages. The layer prints nothing for
// such a refusal; the caller reports it once with the file it came from.
std::string D3D9_ShaderRefusal();

// Spare contexts made at device creation for drawing threads other than the
// creator.
inline constexpr int D3D9_EXTRA_CONTEXTS = 4;

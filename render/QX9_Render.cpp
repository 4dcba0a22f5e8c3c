// QX9_Render: the renderer object, device creation, the retry discipline and
// the device-loss state machine.
#include "render/QX9_Render.h"

#include <utility>

// ---------------------------------------------------------------------------
// Vertex formats

const std::array<std::string, VertexFormatCount + 1> VertexFormatNames = {"",
                                                                          "MESH_GRID",
                                                                          "MESH_TEXTURED",
                                                                          "MESH_NORMALMAPPED",
                                                                          "MESH_LANDSKAPE",
                                                                          "MESH_SKINNED",
                                                                          "MESH_SPRITE",
                                                                          "MESH_WATER",
                                                                          "MESH_TREECOMA",
                                                                          "MESH_GRASS",
                                                                          "MESH_PARTICLE"};

const std::array<int32_t, VertexFormatCount + 1> VertexFormatStride = {0, 16, 24, 32, 40, 40, 28, 24, 32, 28, 28};

namespace {

constexpr D3DVERTEXELEMENT9 Element(uint16_t offset, uint8_t type, uint8_t usage)
{
    return {0, offset, type, D3DDECLMETHOD_DEFAULT, usage, 0};
}

constexpr uint8_t F2 = D3DDECLTYPE_FLOAT2, F3 = D3DDECLTYPE_FLOAT3, F4 = D3DDECLTYPE_FLOAT4;
constexpr uint8_t Colour = D3DDECLTYPE_D3DCOLOR, UB4 = D3DDECLTYPE_UBYTE4, UB4N = D3DDECLTYPE_UBYTE4N;
constexpr uint8_t S2N = D3DDECLTYPE_SHORT2N, S4N = D3DDECLTYPE_SHORT4N;
constexpr uint8_t Position = D3DDECLUSAGE_POSITION, PositionT = D3DDECLUSAGE_POSITIONT;
constexpr uint8_t Normal = D3DDECLUSAGE_NORMAL, Tangent = D3DDECLUSAGE_TANGENT, Binormal = D3DDECLUSAGE_BINORMAL;
constexpr uint8_t TexCoord = D3DDECLUSAGE_TEXCOORD, Color = D3DDECLUSAGE_COLOR;
constexpr uint8_t BlendIndices = D3DDECLUSAGE_BLENDINDICES, BlendWeight = D3DDECLUSAGE_BLENDWEIGHT;

const D3DVERTEXELEMENT9 GridElements[] = {Element(0, F3, Position), Element(12, Colour, Color), D3DDECL_END};
const D3DVERTEXELEMENT9 TexturedElements[] = {Element(0, F3, Position), Element(12, UB4N, Normal),
                                              Element(16, S2N, TexCoord), Element(20, Colour, Color), D3DDECL_END};
const D3DVERTEXELEMENT9 NormalMappedElements[] = {Element(0, F3, Position),
                                                  Element(12, UB4N, Normal),
                                                  Element(16, UB4N, Tangent),
                                                  Element(20, UB4N, Binormal),
                                                  Element(24, S2N, TexCoord),
                                                  Element(28, Colour, Color),
                                                  D3DDECL_END};
const D3DVERTEXELEMENT9 LandskapeElements[] = {Element(0, F3, Position),
                                               Element(12, UB4N, Normal),
                                               Element(16, S4N, Binormal),
                                               Element(24, S4N, TexCoord),
                                               Element(32, UB4N, Tangent),
                                               Element(36, UB4N, BlendWeight),
                                               D3DDECL_END};
const D3DVERTEXELEMENT9 SkinnedElements[] = {
    Element(0, F3, Position),       Element(12, UB4N, Normal),  Element(16, UB4N, Tangent),
    Element(20, UB4N, Binormal),    Element(24, S2N, TexCoord), Element(28, UB4, BlendIndices),
    Element(32, UB4N, BlendWeight), Element(36, Colour, Color), D3DDECL_END};
const D3DVERTEXELEMENT9 SpriteElements[] = {Element(0, F4, PositionT), Element(16, F2, TexCoord),
                                            Element(24, Colour, Color), D3DDECL_END};
const D3DVERTEXELEMENT9 WaterElements[] = {Element(0, F3, Position), Element(12, F2, TexCoord),
                                           Element(20, UB4N, Tangent), D3DDECL_END};
const D3DVERTEXELEMENT9 TreeComaElements[] = {Element(0, F3, Position),    Element(12, UB4N, Normal),
                                              Element(16, UB4N, Binormal), Element(20, S4N, TexCoord),
                                              Element(28, Colour, Color),  D3DDECL_END};
const D3DVERTEXELEMENT9 GrassElements[] = {Element(0, F3, Position),    Element(12, UB4N, Normal),
                                           Element(16, UB4N, Binormal), Element(20, S2N, TexCoord),
                                           Element(24, Colour, Color),  D3DDECL_END};
const D3DVERTEXELEMENT9 ParticleElements[] = {Element(0, F3, Position), Element(12, UB4N, Normal),
                                              Element(16, S4N, TexCoord), Element(24, Colour, Color), D3DDECL_END};

const D3DVERTEXELEMENT9* const FormatElements[VertexFormatCount + 1] = {
    nullptr,        GridElements,  TexturedElements, NormalMappedElements, LandskapeElements, SkinnedElements,
    SpriteElements, WaterElements, TreeComaElements, GrassElements,        ParticleElements};

TDirect3DCreate Direct3DCreateHook = nullptr;

} // namespace

const D3DVERTEXELEMENT9* VertexFormatElements(int32_t format)
{
    if (format < 1 || format > VertexFormatCount)
        return nullptr;
    return FormatElements[format];
}

// ---------------------------------------------------------------------------
// Failures

const std::array<const char*, 33> D3DOperationNames = {
    "Unknown",
    "D3D.Present",
    "D3D.GetRenderTarget",
    "D3D.GetDepthStencilSurface",
    "D3D.GetRenderTargetData",
    "D3D.CreateVertexDeclaration",
    "D3D.CreateTexture",
    "D3D.CreateDepthStencilSurface",
    "D3D.CreateOffscreenPlainSurface",
    "D3D.CreatePixelShader",
    "D3D.CreateVertexShader",
    "D3D.CreateVertexBuffer",
    "D3D.CreateIndexBuffer",
    "D3D.SetPixelShaderConstantF",
    "D3D.SetVertexShaderConstantF",
    "D3D.SetVertexShader",
    "D3D.SetPixelShader",
    "D3D.SetVertexDeclaration",
    "D3D.SetRenderTarget",
    "D3D.SetDepthStencilSurface",
    "D3D.SetStreamSource",
    "D3D.SetIndices",
    "Texture.GetSurfaceLevel",
    "Texture.SetAutoGenFilterType",
    "Texture.LockRect",
    "Texture.UnlockRect",
    "D3D.UpdateSurface",
    "VertexBuffer.Lock",
    "VertexBuffer.Unlock",
    "IndexBuffer.Lock",
    "IndexBuffer.Unlock",
    "D3D.DrawIndexedPrimitive",
    "D3D.DrawIndexedPrimitiveUP",
};

const char* D3DOperationName(int32_t operation)
{
    if (operation < 0 || operation >= static_cast<int32_t>(D3DOperationNames.size()))
        return D3DOperationNames[0];
    return D3DOperationNames[static_cast<size_t>(operation)];
}

const char* D3DResultNames(HRESULT result)
{
    static const std::pair<HRESULT, const char*> names[] = {
        {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY"},
        {D3DERR_WASSTILLDRAWING, "D3DERR_WASSTILLDRAWING"},
        {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT"},
        {D3DERR_UNSUPPORTEDCOLOROPERATION, "D3DERR_UNSUPPORTEDCOLOROPERATION"},
        {D3DERR_UNSUPPORTEDCOLORARG, "D3DERR_UNSUPPORTEDCOLORARG"},
        {D3DERR_UNSUPPORTEDALPHAOPERATION, "D3DERR_UNSUPPORTEDALPHAOPERATION"},
        {D3DERR_UNSUPPORTEDALPHAARG, "D3DERR_UNSUPPORTEDALPHAARG"},
        {D3DERR_TOOMANYOPERATIONS, "D3DERR_TOOMANYOPERATIONS"},
        {D3DERR_CONFLICTINGTEXTUREFILTER, "D3DERR_CONFLICTINGTEXTUREFILTER"},
        {D3DERR_UNSUPPORTEDFACTORVALUE, "D3DERR_UNSUPPORTEDFACTORVALUE"},
        {D3DERR_CONFLICTINGRENDERSTATE, "D3DERR_CONFLICTINGRENDERSTATE"},
        {D3DERR_UNSUPPORTEDTEXTUREFILTER, "D3DERR_UNSUPPORTEDTEXTUREFILTER"},
        {D3DERR_CONFLICTINGTEXTUREPALETTE, "D3DERR_CONFLICTINGTEXTUREPALETTE"},
        {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR"},
        {D3DERR_NOTFOUND, "D3DERR_NOTFOUND"},
        {D3DERR_MOREDATA, "D3DERR_MOREDATA"},
        {D3DERR_DEVICELOST, "D3DERR_DEVICELOST"},
        {D3DERR_DEVICENOTRESET, "D3DERR_DEVICENOTRESET"},
        {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE"},
        {D3DERR_INVALIDDEVICE, "D3DERR_INVALIDDEVICE"},
        {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL"},
        {D3DERR_DRIVERINVALIDCALL, "D3DERR_DRIVERINVALIDCALL"},
    };
    for (const auto& [value, name] : names)
        if (value == result)
            return name;
    return "D3DERR_UNKNOWN";
}

TCriticalSection RenderLock;
TCriticalSection UploadQueueLock;
std::atomic<int32_t> D3DFailureCount{0};
std::atomic<HRESULT> D3DLastResult{S_OK};
TDeviceLossHandlers DeviceLossHandlers;

bool D3DCheck(HRESULT result)
{
    D3DLastResult = result;
    if (result != S_OK && result != D3DOK_NOAUTOGEN)
        return false;
    D3DFailureCount = 0;
    return true;
}

void D3DFail(int32_t operation, const std::string& subject)
{
    OS_SleepMs(5);
    if (++D3DFailureCount > 10) {
        if (!subject.empty())
            AppendEngineError(subject);
        AppendEngineError(std::string(D3DOperationName(operation)) + ": " + D3DResultNames(D3DLastResult) +
                          " -> DIRECT3D ERROR!");
        FatalStop();
    }
}

void SetDirect3DCreate(TDirect3DCreate create)
{
    Direct3DCreateHook = create;
}

void QX9_Render_Initialization()
{
    D3DFailureCount = 0;
    D3DLastResult = S_OK;
}

void QX9_Render_Finalization()
{
    // The locks and the format names are static and outlive every user.
}

// ---------------------------------------------------------------------------
// The renderer

T3D_Render::T3D_Render()
{
    TDirect3DCreate create = Direct3DCreateHook != nullptr ? Direct3DCreateHook : &Direct3DCreate9;
    Direct3D = create(D3D_SDK_VERSION | D3D_SDK_DEBUG_INFO_BIT);
    // Without a Direct3D object nothing can be drawn: stop at once rather
    // than fail later on a missing device.
    if (Direct3D == nullptr)
        FatalError("T3D_Render.Create", "Direct3DCreate9", "DIRECT3D NOT AVAILABLE!");
    ProbeAdapter();
}

T3D_Render::~T3D_Render()
{
    Parallelizer.Done();
}

void T3D_Render::ProbeAdapter()
{
    D3DDISPLAYMODE mode;
    if (Direct3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode) == D3D_OK) {
        DisplayMode = {mode.Width, mode.Height, mode.RefreshRate, mode.Format};
        ScreenWidth = static_cast<int32_t>(mode.Width);
        ScreenHeight = static_cast<int32_t>(mode.Height);
    }
    D3DCAPS9 caps;
    if (Direct3D->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps) == D3D_OK) {
        // Only exact versions count; the last equal one wins.
        const std::pair<DWORD, int32_t> vertex[] = {
            {D3DVS_VERSION(1, 0), 10}, {D3DVS_VERSION(2, 0), 20}, {D3DVS_VERSION(3, 0), 30}, {D3DVS_VERSION(4, 0), 40}};
        for (const auto& [version, level] : vertex)
            if (caps.VertexShaderVersion == version)
                VertexShaderLevel = level;
        const std::pair<DWORD, int32_t> pixel[] = {
            {D3DPS_VERSION(1, 0), 10}, {D3DPS_VERSION(1, 1), 11}, {D3DPS_VERSION(1, 2), 12}, {D3DPS_VERSION(1, 3), 13},
            {D3DPS_VERSION(1, 4), 14}, {D3DPS_VERSION(2, 0), 20}, {D3DPS_VERSION(3, 0), 30}, {D3DPS_VERSION(4, 0), 40}};
        for (const auto& [version, level] : pixel)
            if (caps.PixelShaderVersion == version)
                PixelShaderLevel = level;
        MaxAnisotropy = static_cast<int32_t>(caps.MaxAnisotropy);
    }
    for (int32_t type = 16; type >= 1; type--) {
        DWORD quality = 0;
        if (Direct3D->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE,
                                                 static_cast<D3DMULTISAMPLE_TYPE>(type), &quality) == D3D_OK) {
            MaxMultisample = type;
            MaxMultisampleQuality = static_cast<int32_t>(quality);
            break;
        }
    }
    for (size_t i = 0; i < TargetFormats.size(); i++)
        TargetFormats[i] =
            Direct3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET,
                                        D3DRTYPE_TEXTURE, ProbedTargetFormats[i]) == D3D_OK;
    const D3DFORMAT dxt[3] = {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5};
    for (size_t i = 0; i < DxtSupport.size(); i++)
        DxtSupport[i] = Direct3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0,
                                                    D3DRTYPE_TEXTURE, dxt[i]) == D3D_OK;
    AtocSupport = Direct3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_SURFACE,
                                              D3DFOURCC_ATOC) == D3D_OK;
    A2m1Support = Direct3D->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_SURFACE,
                                              D3DFOURCC_A2M1) == D3D_OK;
}

void T3D_Render::CreateDevice(HWND window, int32_t width, int32_t height, uint8_t fullscreen, int32_t presentInterval,
                              int32_t multisampleType, int32_t depthFormat)
{
    PresentParams = {};
    PresentParams.BackBufferWidth = static_cast<UINT>(width);
    PresentParams.BackBufferHeight = static_cast<UINT>(height);
    PresentParams.BackBufferFormat = fullscreen ? D3DFMT_A8R8G8B8 : D3DFMT_UNKNOWN;
    PresentParams.BackBufferCount = 1;
    PresentParams.MultiSampleType = static_cast<D3DMULTISAMPLE_TYPE>(multisampleType);
    PresentParams.MultiSampleQuality = 0;
    PresentParams.SwapEffect = fullscreen && multisampleType == 0 ? D3DSWAPEFFECT_FLIP : D3DSWAPEFFECT_DISCARD;
    PresentParams.hDeviceWindow = window;
    PresentParams.Windowed = fullscreen ? FALSE : TRUE;
    PresentParams.EnableAutoDepthStencil = TRUE;
    PresentParams.AutoDepthStencilFormat = static_cast<D3DFORMAT>(depthFormat);
    PresentParams.PresentationInterval = static_cast<UINT>(presentInterval);

    // The device may fill in what the parameters leave open; the renderer
    // keeps its own copy for resets.
    D3DPRESENT_PARAMETERS params = PresentParams;
    HRESULT result =
        Direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                               D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED, &params, &Device);
    // Nothing can be drawn without a device: stop with a line saying why.
    if (result != D3D_OK || Device == nullptr) {
        Device = nullptr;
        FatalError("T3D_Render.CreateDevice", D3DResultNames(result), "DIRECT3D DEVICE NOT CREATED!");
    }

    D3DRetry(D3DOP_GetRenderTarget, [&] { return Device->GetRenderTarget(0, &BackBuffer); });
    D3DRetry(D3DOP_GetDepthStencilSurface, [&] { return Device->GetDepthStencilSurface(&DepthSurface); });
    Device->SetRenderState(D3DRS_ZENABLE, TRUE);
    Device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    for (int32_t format : {1, 2, 3, 5, 4, 6, 7, 8, 9, 10}) {
        IDirect3DVertexDeclaration9*& declaration = VertexDecls[format - 1];
        D3DRetry(D3DOP_CreateVertexDeclaration,
                 [&] { return Device->CreateVertexDeclaration(VertexFormatElements(format), &declaration); });
    }
    Fullscreen = fullscreen;
    ScreenWidth = width;
    ScreenHeight = height;
    Parallelizer.Init(2);
}

bool T3D_Render::CheckDevice()
{
    if (DeviceState == 0 && Device->TestCooperativeLevel() != D3D_OK)
        DeviceState = 1;
    if (DeviceState == 1) {
        OS_SleepMs(50);
        if (Device->TestCooperativeLevel() == D3DERR_DEVICENOTRESET)
            DeviceState = 2;
    }
    if (DeviceState == 2) {
        ReleaseDeviceObjects();
        DeviceState = 3;
    }
    if (DeviceState == 3) {
        D3DPRESENT_PARAMETERS params = PresentParams;
        if (Device->Reset(&params) == D3D_OK)
            DeviceState = 4;
    }
    if (DeviceState == 4) {
        RestoreDeviceObjects();
        DeviceState = 0;
    }
    return DeviceState == 0;
}

void T3D_Render::ReleaseDeviceObjects()
{
    const TDeviceLossHandlers& handlers = DeviceLossHandlers;
    for (auto step :
         {handlers.ReleaseMeshes, handlers.ReleaseTextures, handlers.ReleaseShaders, handlers.ReleasePassQuads})
        if (step != nullptr)
            step(*this);
    if (BackBuffer != nullptr)
        BackBuffer->Release();
    if (DepthSurface != nullptr)
        DepthSurface->Release();
    BackBuffer = nullptr;
    DepthSurface = nullptr;
}

void T3D_Render::RestoreDeviceObjects()
{
    D3DRetry(D3DOP_GetRenderTarget, [&] { return Device->GetRenderTarget(0, &BackBuffer); });
    D3DRetry(D3DOP_GetDepthStencilSurface, [&] { return Device->GetDepthStencilSurface(&DepthSurface); });
    const TDeviceLossHandlers& handlers = DeviceLossHandlers;
    for (auto step :
         {handlers.RestoreShaders, handlers.RestoreTextures, handlers.RestoreMeshes, handlers.RestorePassQuads})
        if (step != nullptr)
            step(*this);
    // Nothing about the device's state is known any more.
    CurrentVertexFormat = -1;
    CurrentKey = {0, 0};
    CurrentVertexShader = -1;
    CurrentPixelShader = -1;
    if (handlers.MarkConstantsChanged != nullptr)
        handlers.MarkConstantsChanged(*this);
    for (T3D_TextureStage& stage : StageCache)
        stage.TextureIndex = -1;
}

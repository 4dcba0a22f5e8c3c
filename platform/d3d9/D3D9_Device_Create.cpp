// The device's factory calls: textures, surfaces, buffers, declarations and
// shaders. None needs a GL context; GL objects are made on first use.
#include <algorithm>

#include "platform/d3d9/D3D9_Internal.h"
#include "platform/d3d9/D3D9_TestHook.h"

HRESULT TD3D9Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                   IDirect3DTexture9** texture, void* sharedHandle)
{
    (void)sharedHandle;
    if (HRESULT injected = D3D9Test_Injected("CreateTexture"))
        return injected;
    if (texture == nullptr)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    const TD3D9FormatInfo* info = D3D9_FindFormat(format);
    if (info == nullptr || info->Depth || width == 0 || height == 0 || width > Adapter.MaxTextureSize ||
        height > Adapter.MaxTextureSize)
        return D3DERR_INVALIDCALL;
    if (info->Compressed && !Adapter.S3TC)
        return D3DERR_NOTAVAILABLE;
    bool target = (usage & D3DUSAGE_RENDERTARGET) != 0;
    if (target && (pool != D3DPOOL_DEFAULT || !info->Renderable))
        return D3DERR_INVALIDCALL;
    UINT full = D3D9_FullMipCount(width, height);
    UINT exposed = levels == 0 ? full : std::min(levels, full);
    UINT storage = exposed;
    HRESULT result = D3D_OK;
    if (target) {
        exposed = storage = 1;
    } else if (usage & D3DUSAGE_AUTOGENMIPMAP) {
        // The caller sees one level; GL holds and fills the whole chain.
        exposed = 1;
        storage = info->Compressed ? 1 : full;
        if (info->Compressed)
            result = D3DOK_NOAUTOGEN;
    }
    std::lock_guard<std::recursive_mutex> guard(Lock);
    *texture = new TD3D9Texture(this, info, width, height, exposed, storage, usage, pool);
    return result;
}

HRESULT TD3D9Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                               D3DMULTISAMPLE_TYPE multiSample, DWORD multisampleQuality, BOOL discard,
                                               IDirect3DSurface9** surface, void* sharedHandle)
{
    (void)multisampleQuality;
    (void)discard;
    (void)sharedHandle;
    if (HRESULT injected = D3D9Test_Injected("CreateDepthStencilSurface"))
        return injected;
    if (surface == nullptr)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    const TD3D9FormatInfo* info = D3D9_FindFormat(format);
    if (info == nullptr || !info->Depth || width == 0 || height == 0 || width > Adapter.MaxTextureSize ||
        height > Adapter.MaxTextureSize)
        return D3DERR_INVALIDCALL;
    if (multiSample != D3DMULTISAMPLE_NONE)
        return D3DERR_NOTAVAILABLE;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    *surface =
        new TD3D9Surface(this, TSurfaceKind::DepthStencil, info, width, height, D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL);
    return D3D_OK;
}

HRESULT TD3D9Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                 IDirect3DSurface9** surface, void* sharedHandle)
{
    (void)sharedHandle;
    if (HRESULT injected = D3D9Test_Injected("CreateOffscreenPlainSurface"))
        return injected;
    if (surface == nullptr)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    const TD3D9FormatInfo* info = D3D9_FindFormat(format);
    if (info == nullptr || info->Depth || width == 0 || height == 0 || width > 16384 || height > 16384 ||
        pool == D3DPOOL_MANAGED)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    // Plain surfaces live in CPU memory whatever the pool: they are read
    // back into and uploaded from.
    *surface = new TD3D9Surface(this, TSurfaceKind::SystemMemory, info, width, height, pool, 0);
    return D3D_OK;
}

HRESULT TD3D9Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                        IDirect3DVertexBuffer9** buffer, void* sharedHandle)
{
    (void)usage;
    (void)fvf;
    (void)pool;
    (void)sharedHandle;
    if (HRESULT injected = D3D9Test_Injected("CreateVertexBuffer"))
        return injected;
    if (buffer == nullptr)
        return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    *buffer = new TD3D9VertexBuffer(this, length);
    return D3D_OK;
}

HRESULT TD3D9Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                       IDirect3DIndexBuffer9** buffer, void* sharedHandle)
{
    (void)usage;
    (void)pool;
    (void)sharedHandle;
    if (HRESULT injected = D3D9Test_Injected("CreateIndexBuffer"))
        return injected;
    if (buffer == nullptr)
        return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    *buffer = new TD3D9IndexBuffer(this, length, format);
    return D3D_OK;
}

HRESULT TD3D9Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                             IDirect3DVertexDeclaration9** declaration)
{
    if (HRESULT injected = D3D9Test_Injected("CreateVertexDeclaration"))
        return injected;
    if (elements == nullptr || declaration == nullptr)
        return D3DERR_INVALIDCALL;
    *declaration = nullptr;
    std::vector<D3DVERTEXELEMENT9> list;
    for (int i = 0; elements[i].Stream != 0xFF; i++) {
        const D3DVERTEXELEMENT9& element = elements[i];
        // One stream, the types the layer can feed to GL, at most 64 elements.
        if (i >= 64 || element.Stream != 0 || element.Type > D3DDECLTYPE_USHORT4N ||
            element.Method != D3DDECLMETHOD_DEFAULT || element.Usage > D3DDECLUSAGE_COLOR || element.UsageIndex > 7)
            return D3DERR_INVALIDCALL;
        list.push_back(element);
    }
    if (list.empty())
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    *declaration = new TD3D9VertexDeclaration(this, std::move(list));
    return D3D_OK;
}

namespace {

template <class TInterface>
HRESULT CreateShader(TD3D9Device* device, bool vertex, const void* code, size_t size, TInterface** shader)
{
    if (shader == nullptr)
        return D3DERR_INVALIDCALL;
    *shader = nullptr;
    std::string source, why;
    if (!D3D9_BuildShaderSource(vertex, code, size, source, &why)) {
        D3D9_SetShaderRefusal(why);
        return D3DERR_INVALIDCALL;
    }
    std::string withoutAlphaTest;
    if (!vertex)
        D3D9_BuildShaderSource(false, code, size, withoutAlphaTest, nullptr, false);
    std::lock_guard<std::recursive_mutex> guard(device->Lock);
    auto* made = new TD3D9Shader(device, vertex, std::move(source), std::move(withoutAlphaTest));
    // Compile now when this thread draws anyway, so that a broken file fails
    // here (quietly: the caller knows the file and reports it); other
    // threads leave it to the first draw.
    if (device->HeldContext() != nullptr && made->EnsureGL(true) == 0) {
        D3D9_SetShaderRefusal(made->Log);
        static_cast<TInterface*>(made)->Release();
        return D3DERR_INVALIDCALL;
    }
    *shader = made;
    return D3D_OK;
}

} // namespace

HRESULT TD3D9Device::CreateVertexShader(const void* code, size_t size, IDirect3DVertexShader9** shader)
{
    D3D9_SetShaderRefusal("");
    if (HRESULT injected = D3D9Test_Injected("CreateVertexShader"))
        return injected;
    return CreateShader(this, true, code, size, shader);
}

HRESULT TD3D9Device::CreatePixelShader(const void* code, size_t size, IDirect3DPixelShader9** shader)
{
    D3D9_SetShaderRefusal("");
    if (HRESULT injected = D3D9Test_Injected("CreatePixelShader"))
        return injected;
    return CreateShader(this, false, code, size, shader);
}

// The adapter object: what the machine's OpenGL offers, answered in
// Direct3D's terms, and device creation on a window.
#include <cstdio>

#include "platform/d3d9/D3D9_Internal.h"
#include "platform/d3d9/D3D9_TestHook.h"
#include "platform/window/WindowSDL.h"

void D3D9_SetContextAttributes(bool shareWithCurrent)
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, shareWithCurrent ? 1 : 0);
}

namespace {

// Makes a throw-away window and context and reads what the driver offers.
bool ProbeAdapter(TD3D9AdapterInfo& info)
{
    SDL_Window* window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (window == nullptr)
        return false;
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    D3D9_SetContextAttributes(false);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    bool ok = false;
    if (context != nullptr) {
        info.GLVersion = epoxy_gl_version();
        ok = info.GLVersion >= 45;
        if (ok) {
            info.S3TC = epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc");
            info.Anisotropic = epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic") ||
                               epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic");
            if (info.Anisotropic) {
                float maxAnisotropy = 1;
                glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &maxAnisotropy);
                info.MaxAnisotropy = maxAnisotropy >= 1 ? static_cast<DWORD>(maxAnisotropy) : 1;
            }
            GLint maxSize = 0;
            glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
            info.MaxTextureSize = maxSize > 0 ? static_cast<DWORD>(maxSize) : 4096;
        } else {
            std::fprintf(stderr, "D3D9: OpenGL %d.%d is too old; 4.5 core is needed\n", info.GLVersion / 10,
                         info.GLVersion % 10);
        }
        SDL_GL_MakeCurrent(previousWindow, previous);
        SDL_GL_DeleteContext(context);
    }
    SDL_DestroyWindow(window);
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        info.DisplayMode.Width = static_cast<UINT>(mode.w);
        info.DisplayMode.Height = static_cast<UINT>(mode.h);
        info.DisplayMode.RefreshRate = static_cast<UINT>(mode.refresh_rate);
    }
    info.DisplayMode.Format = D3DFMT_X8R8G8B8;
    return ok;
}

} // namespace

IDirect3D9* Direct3DCreate9(UINT sdkVersion)
{
    if ((sdkVersion & ~D3D_SDK_DEBUG_INFO_BIT) != D3D_SDK_VERSION || D3D9Test_RefuseCreate())
        return nullptr;
    if (!Window_InitVideo())
        return nullptr;
    TD3D9AdapterInfo info;
    if (!ProbeAdapter(info)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return nullptr;
    }
    return new TD3D9Direct3D(info);
}

TD3D9Direct3D::~TD3D9Direct3D()
{
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

ULONG TD3D9Direct3D::AddRef()
{
    return ++Refs;
}

ULONG TD3D9Direct3D::Release()
{
    ULONG left = --Refs;
    if (left == 0)
        delete this;
    return left;
}

HRESULT TD3D9Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode)
{
    if (adapter != D3DADAPTER_DEFAULT || mode == nullptr)
        return D3DERR_INVALIDCALL;
    *mode = Info.DisplayMode;
    return D3D_OK;
}

HRESULT TD3D9Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps)
{
    if (adapter != D3DADAPTER_DEFAULT || type != D3DDEVTYPE_HAL || caps == nullptr)
        return D3DERR_INVALIDCALL;
    *caps = {};
    caps->DeviceType = type;
    caps->MaxTextureWidth = Info.MaxTextureSize;
    caps->MaxTextureHeight = Info.MaxTextureSize;
    caps->MaxAnisotropy = Info.MaxAnisotropy;
    caps->MaxSimultaneousTextures = D3D9_SAMPLER_COUNT;
    caps->VertexShaderVersion = D3DVS_VERSION(3, 0);
    caps->MaxVertexShaderConst = 256;
    caps->PixelShaderVersion = D3DPS_VERSION(3, 0);
    return D3D_OK;
}

HRESULT TD3D9Direct3D::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL windowed,
                                                  D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels)
{
    (void)surfaceFormat;
    (void)windowed;
    if (adapter != D3DADAPTER_DEFAULT || type != D3DDEVTYPE_HAL)
        return D3DERR_INVALIDCALL;
    // The back buffer is never multisampled here.
    if (multiSample != D3DMULTISAMPLE_NONE)
        return D3DERR_NOTAVAILABLE;
    if (qualityLevels != nullptr)
        *qualityLevels = 1;
    return D3D_OK;
}

HRESULT TD3D9Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                         D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat)
{
    (void)adapterFormat;
    (void)resourceType;
    if (adapter != D3DADAPTER_DEFAULT || type != D3DDEVTYPE_HAL)
        return D3DERR_INVALIDCALL;
    const TD3D9FormatInfo* info = D3D9_FindFormat(checkFormat);
    if (info == nullptr)
        return D3DERR_NOTAVAILABLE; // the vendor codes ATOC and A2M1 among them: no multisampling
    if (info->Compressed && !Info.S3TC)
        return D3DERR_NOTAVAILABLE;
    if ((usage & D3DUSAGE_RENDERTARGET) && !info->Renderable)
        return D3DERR_NOTAVAILABLE;
    if ((usage & D3DUSAGE_DEPTHSTENCIL) != 0 && !info->Depth)
        return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT TD3D9Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviourFlags,
                                    D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device)
{
    (void)behaviourFlags;
    if (HRESULT injected = D3D9Test_Injected("CreateDevice"))
        return injected;
    if (adapter != D3DADAPTER_DEFAULT || type != D3DDEVTYPE_HAL || params == nullptr || device == nullptr)
        return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (params->MultiSampleType != D3DMULTISAMPLE_NONE)
        return D3DERR_NOTAVAILABLE;
    HWND windowHandle = params->hDeviceWindow != nullptr ? params->hDeviceWindow : focusWindow;
    SDL_Window* window = Window_GetSDLWindow(windowHandle);
    if (window == nullptr)
        return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS actual = *params;
    actual.hDeviceWindow = windowHandle;
    if (actual.BackBufferWidth == 0 || actual.BackBufferHeight == 0) {
        int w = 0, h = 0;
        SDL_GetWindowSize(window, &w, &h);
        actual.BackBufferWidth = w > 0 ? static_cast<UINT>(w) : 1;
        actual.BackBufferHeight = h > 0 ? static_cast<UINT>(h) : 1;
    }
    if (actual.BackBufferFormat == D3DFMT_UNKNOWN)
        actual.BackBufferFormat = Info.DisplayMode.Format;
    if (actual.BackBufferFormat != D3DFMT_X8R8G8B8 && actual.BackBufferFormat != D3DFMT_A8R8G8B8)
        return D3DERR_NOTAVAILABLE;
    if (actual.EnableAutoDepthStencil) {
        const TD3D9FormatInfo* depth = D3D9_FindFormat(actual.AutoDepthStencilFormat);
        if (depth == nullptr || !depth->Depth)
            return D3DERR_INVALIDCALL;
    }
    auto* made = new TD3D9Device(this, actual, window);
    if (!made->Init()) {
        made->Release();
        return D3DERR_NOTAVAILABLE;
    }
    *params = actual;
    *device = made;
    return D3D_OK;
}

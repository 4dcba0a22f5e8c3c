// The device: contexts per drawing thread, the logical state, targets,
// clears, read-backs, presentation and device loss.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "platform/d3d9/D3D9_Internal.h"
#include "platform/d3d9/D3D9_TestHook.h"

namespace {

// Live devices, so that a thread that ends can hand back its contexts.
std::mutex RegistryLock;
std::vector<TD3D9Device*> LiveDevices;

struct TThreadExit {
    bool Armed = false;
    ~TThreadExit()
    {
        if (!Armed)
            return;
        std::thread::id me = std::this_thread::get_id();
        std::lock_guard<std::mutex> guard(RegistryLock);
        for (TD3D9Device* device : LiveDevices)
            device->ReleaseThreadContext(me);
    }
};
thread_local TThreadExit ThreadExit;

bool SameRect(const TRect& a, const TRect& b)
{
    return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

// A software GL driver takes the memory it bins a frame's triangles into in
// 64 KB blocks and frees them when the frame is drawn. By default the C
// library hands the top of its heap back to the system on such a free, so
// every block of the next frame faults its pages in again: in a frame of a
// thousand sprites that was most of the drawing thread's time. Up to 64 MB
// of freed heap is kept instead.
void KeepFreedHeap()
{
#ifdef __GLIBC__
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_TRIM_THRESHOLD, 64 << 20); });
#endif
}

} // namespace

TD3D9Device::TD3D9Device(TD3D9Direct3D* parent, const D3DPRESENT_PARAMETERS& params, SDL_Window* window)
    : Parent(parent), Params(params), Window(window), Adapter(parent->Info)
{
    Parent->AddRef();
    State = TD3D9State{};
}

bool TD3D9Device::Init()
{
    D3D9_SetContextAttributes(false);
    auto main = std::make_unique<TGLContext>();
    main->Window = Window;
    main->Main = true;
    main->Context = SDL_GL_CreateContext(Window);
    if (main->Context == nullptr) {
        std::fprintf(stderr, "D3D9: no OpenGL context on the window: %s\n", SDL_GetError());
        return false;
    }
    if (epoxy_gl_version() < 45) {
        SDL_GL_DeleteContext(main->Context);
        return false;
    }
    KeepFreedHeap();
    main->InUse = true;
    main->Owner = std::this_thread::get_id();
    Contexts.push_back(std::move(main));
    // The spare contexts share with the window's; each has a hidden window of
    // its own, as a surface can be current in one thread only.
    D3D9_SetContextAttributes(true);
    for (int i = 0; i < D3D9_EXTRA_CONTEXTS; i++) {
        SDL_Window* hidden = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (hidden == nullptr)
            break;
        SDL_GLContext context = SDL_GL_CreateContext(hidden);
        if (context == nullptr) {
            SDL_DestroyWindow(hidden);
            break;
        }
        auto spare = std::make_unique<TGLContext>();
        spare->Window = hidden;
        spare->OwnsWindow = true;
        spare->Context = context;
        Contexts.push_back(std::move(spare));
    }
    D3D9_SetContextAttributes(false);
    SDL_GL_MakeCurrent(Window, Contexts[0]->Context);
    SDL_GL_SetSwapInterval(Params.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
    D3D9_SetupGLContext(*Contexts[0]);
    {
        std::lock_guard<std::mutex> guard(RegistryLock);
        LiveDevices.push_back(this);
    }
    PreTransformedShader = new TD3D9Shader(this, true, D3D9_PreTransformedVertexSource());
    if (!CreateImplicitSurfaces())
        return false;
    D3D9_DefaultStates(State, Params.EnableAutoDepthStencil != FALSE);
    SetTargetDefaults();
    return true;
}

TD3D9Device::~TD3D9Device()
{
    {
        std::lock_guard<std::mutex> guard(RegistryLock);
        LiveDevices.erase(std::remove(LiveDevices.begin(), LiveDevices.end(), this), LiveDevices.end());
    }
    // The GL objects go with the last context of the share group.
    for (auto& context : Contexts) {
        if (SDL_GL_GetCurrentContext() == context->Context)
            SDL_GL_MakeCurrent(context->Window, nullptr);
        SDL_GL_DeleteContext(context->Context);
        if (context->OwnsWindow)
            SDL_DestroyWindow(context->Window);
    }
    Parent->Release();
}

ULONG TD3D9Device::AddRef()
{
    return ++Refs;
}

ULONG TD3D9Device::Release()
{
    ULONG left = --Refs;
    if (left != 0)
        return left;
    // Resources the caller still holds keep the device alive until they go.
    Released = true;
    LiveResources.fetch_add(1);
    ReleaseState();
    ResourceDestroyed();
    return 0;
}

void TD3D9Device::ResourceDestroyed()
{
    if (LiveResources.fetch_sub(1) == 1 && Released)
        delete this;
}

void TD3D9Device::ReleaseState()
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    for (auto& texture : State.Textures)
        Assign<TD3D9Texture>(texture, nullptr);
    Assign<TD3D9Surface>(State.RenderTarget, nullptr);
    Assign<TD3D9Surface>(State.DepthStencil, nullptr);
    Assign<TD3D9VertexDeclaration>(State.Declaration, nullptr);
    Assign<TD3D9VertexBuffer>(State.Stream, nullptr);
    Assign<TD3D9IndexBuffer>(State.Indices, nullptr);
    Assign<TD3D9Shader>(State.VertexShader, nullptr);
    Assign<TD3D9Shader>(State.PixelShader, nullptr);
    Assign<TD3D9Surface>(BackBuffer, nullptr);
    Assign<TD3D9Surface>(AutoDepth, nullptr);
    Assign<TD3D9Shader>(PreTransformedShader, nullptr);
}

bool TD3D9Device::CreateImplicitSurfaces()
{
    const TD3D9FormatInfo* colour = D3D9_FindFormat(Params.BackBufferFormat);
    if (colour == nullptr)
        return false;
    BackBuffer = new TD3D9Surface(this, TSurfaceKind::RenderTarget, colour, Params.BackBufferWidth,
                                  Params.BackBufferHeight, D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET);
    if (Params.EnableAutoDepthStencil) {
        const TD3D9FormatInfo* depth = D3D9_FindFormat(Params.AutoDepthStencilFormat);
        AutoDepth = new TD3D9Surface(this, TSurfaceKind::DepthStencil, depth, Params.BackBufferWidth,
                                     Params.BackBufferHeight, D3DPOOL_DEFAULT, D3DUSAGE_DEPTHSTENCIL);
    }
    return true;
}

void TD3D9Device::SetTargetDefaults()
{
    Assign(State.RenderTarget, BackBuffer);
    Assign(State.DepthStencil, AutoDepth);
    State.Viewport = {0, 0, static_cast<int32_t>(BackBuffer->Width), static_cast<int32_t>(BackBuffer->Height)};
    State.Scissor = State.Viewport;
}

// ---------------------------------------------------------------------------
// Contexts

TGLContext* TD3D9Device::CurrentContext()
{
    std::thread::id me = std::this_thread::get_id();
    TGLContext* found = nullptr;
    for (auto& context : Contexts) {
        if (context->InUse && context->Owner == me) {
            found = context.get();
            break;
        }
    }
    if (found == nullptr) {
        for (auto& context : Contexts) {
            if (context->InUse || context->Main)
                continue;
            if (SDL_GL_MakeCurrent(context->Window, context->Context) != 0)
                continue;
            context->InUse = true;
            context->Owner = me;
            ThreadExit.Armed = true;
            found = context.get();
            break;
        }
        if (found == nullptr)
            return nullptr;
    } else if (SDL_GL_GetCurrentContext() != found->Context) {
        if (SDL_GL_MakeCurrent(found->Window, found->Context) != 0)
            return nullptr;
    }
    if (!found->Initialised)
        D3D9_SetupGLContext(*found);
    FlushDeletes();
    return found;
}

TGLContext* TD3D9Device::HeldContext()
{
    std::thread::id me = std::this_thread::get_id();
    for (auto& context : Contexts) {
        if (context->InUse && context->Owner == me)
            return CurrentContext();
    }
    return nullptr;
}

void TD3D9Device::ReleaseThreadContext(std::thread::id thread)
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    for (auto& context : Contexts) {
        if (context->InUse && !context->Main && context->Owner == thread) {
            glFlush();
            SDL_GL_MakeCurrent(context->Window, nullptr);
            context->InUse = false;
        }
    }
}

void TD3D9Device::DeleteGL(TGLDeleteKind kind, GLuint name)
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    PendingDeletes.push_back({kind, name});
    std::thread::id me = std::this_thread::get_id();
    for (auto& context : Contexts) {
        if (context->InUse && context->Owner == me && SDL_GL_GetCurrentContext() == context->Context) {
            FlushDeletes();
            break;
        }
    }
}

void TD3D9Device::FlushDeletes()
{
    for (auto& [kind, name] : PendingDeletes) {
        switch (kind) {
        case TGLDeleteKind::Texture:
            glDeleteTextures(1, &name);
            break;
        case TGLDeleteKind::Buffer:
            glDeleteBuffers(1, &name);
            break;
        case TGLDeleteKind::Renderbuffer:
            glDeleteRenderbuffers(1, &name);
            break;
        case TGLDeleteKind::Shader:
            glDeleteShader(name);
            break;
        case TGLDeleteKind::Program:
            glDeleteProgram(name);
            break;
        }
    }
    PendingDeletes.clear();
}

void TD3D9Device::ForgetShaderPrograms(uint64_t shaderSerial)
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    for (auto it = Programs.begin(); it != Programs.end();) {
        if (std::get<0>(it->first) == shaderSerial || std::get<1>(it->first) == shaderSerial) {
            if (it->second != 0)
                DeleteGL(TGLDeleteKind::Program, it->second);
            it = Programs.erase(it);
        } else {
            ++it;
        }
    }
}

// ---------------------------------------------------------------------------
// Device loss and scenes

HRESULT TD3D9Device::TestCooperativeLevel()
{
    if (HRESULT injected = D3D9Test_Injected("TestCooperativeLevel"))
        return injected;
    return D3D9Test_CooperativeLevel(true);
}

HRESULT TD3D9Device::Reset(D3DPRESENT_PARAMETERS* params)
{
    if (params == nullptr)
        return D3DERR_INVALIDCALL;
    if (D3D9Test_CooperativeLevel(false) == D3DERR_DEVICELOST)
        return D3DERR_DEVICELOST;
    if (HRESULT failure = D3D9Test_ResetResult())
        return failure;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    D3DPRESENT_PARAMETERS actual = *params;
    if (actual.MultiSampleType != D3DMULTISAMPLE_NONE)
        return D3DERR_NOTAVAILABLE;
    if (actual.BackBufferWidth == 0 || actual.BackBufferHeight == 0) {
        int w = 0, h = 0;
        SDL_GetWindowSize(Window, &w, &h);
        actual.BackBufferWidth = w > 0 ? static_cast<UINT>(w) : 1;
        actual.BackBufferHeight = h > 0 ? static_cast<UINT>(h) : 1;
    }
    if (actual.BackBufferFormat == D3DFMT_UNKNOWN)
        actual.BackBufferFormat = Adapter.DisplayMode.Format;
    const TD3D9FormatInfo* depth = D3D9_FindFormat(actual.AutoDepthStencilFormat);
    if ((actual.BackBufferFormat != D3DFMT_X8R8G8B8 && actual.BackBufferFormat != D3DFMT_A8R8G8B8) ||
        (actual.EnableAutoDepthStencil && (depth == nullptr || !depth->Depth)))
        return D3DERR_INVALIDCALL;
    actual.hDeviceWindow = Params.hDeviceWindow;
    // Everything goes back to Direct3D's defaults, the targets to the new
    // implicit surfaces.
    for (auto& texture : State.Textures)
        Assign<TD3D9Texture>(texture, nullptr);
    Assign<TD3D9Surface>(State.RenderTarget, nullptr);
    Assign<TD3D9Surface>(State.DepthStencil, nullptr);
    Assign<TD3D9VertexDeclaration>(State.Declaration, nullptr);
    Assign<TD3D9VertexBuffer>(State.Stream, nullptr);
    Assign<TD3D9IndexBuffer>(State.Indices, nullptr);
    Assign<TD3D9Shader>(State.VertexShader, nullptr);
    Assign<TD3D9Shader>(State.PixelShader, nullptr);
    Assign<TD3D9Surface>(BackBuffer, nullptr);
    Assign<TD3D9Surface>(AutoDepth, nullptr);
    Params = actual;
    if (!CreateImplicitSurfaces())
        return D3DERR_INVALIDCALL;
    uint64_t vcVersion = State.VCVersion, pcVersion = State.PCVersion;
    std::memset(State.VC, 0, sizeof(State.VC));
    std::memset(State.PC, 0, sizeof(State.PC));
    State.VCVersion = vcVersion + 1;
    State.PCVersion = pcVersion + 1;
    State.StreamOffset = State.StreamStride = 0;
    D3D9_DefaultStates(State, Params.EnableAutoDepthStencil != FALSE);
    SetTargetDefaults();
    for (auto& context : Contexts)
        context->Valid = false;
    InScene = false;
    if (TGLContext* context = CurrentContext(); context != nullptr && context->Main)
        SDL_GL_SetSwapInterval(Params.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
    D3D9Test_ResetDone();
    D3D9Test_Count(3);
    return D3D_OK;
}

HRESULT TD3D9Device::BeginScene()
{
    if (HRESULT injected = D3D9Test_Injected("BeginScene"))
        return injected;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    if (InScene)
        return D3DERR_INVALIDCALL;
    InScene = true;
    return D3D_OK;
}

HRESULT TD3D9Device::EndScene()
{
    if (HRESULT injected = D3D9Test_Injected("EndScene"))
        return injected;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    if (!InScene)
        return D3DERR_INVALIDCALL;
    InScene = false;
    // Another thread's context may sample what this scene drew.
    if (HeldContext() != nullptr)
        glFlush();
    return D3D_OK;
}

void TD3D9Device::CopyToFront(TGLContext& context)
{
    (void)context;
    GLuint source = BackBuffer->ColorTexture();
    if (FrontCopy == 0 || FrontWidth != BackBuffer->Width || FrontHeight != BackBuffer->Height) {
        if (FrontCopy != 0)
            glDeleteTextures(1, &FrontCopy);
        glCreateTextures(GL_TEXTURE_2D, 1, &FrontCopy);
        glTextureStorage2D(FrontCopy, 1, GL_RGBA8, BackBuffer->Width, BackBuffer->Height);
        FrontWidth = BackBuffer->Width;
        FrontHeight = BackBuffer->Height;
    }
    glCopyImageSubData(source, GL_TEXTURE_2D, 0, 0, 0, 0, FrontCopy, GL_TEXTURE_2D, 0, 0, 0, 0,
                       static_cast<GLsizei>(FrontWidth), static_cast<GLsizei>(FrontHeight), 1);
}

HRESULT TD3D9Device::Present(const TRect* sourceRect, const TRect* destRect, HWND overrideWindow,
                             const void* dirtyRegion)
{
    (void)overrideWindow;
    (void)dirtyRegion;
    if (HRESULT injected = D3D9Test_Injected("Present"))
        return injected;
    if (D3D9Test_CooperativeLevel(false) != D3D_OK)
        return D3DERR_DEVICELOST;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    TGLContext* context = CurrentContext();
    if (context == nullptr)
        return D3DERR_INVALIDCALL;
    CopyToFront(*context);
    // Only the window's own context can reach the window; a frame presented
    // from another thread is kept as the front buffer.
    if (!context->Main) {
        glFlush();
        return D3D_OK;
    }
    int drawableW = 0, drawableH = 0;
    SDL_GL_GetDrawableSize(Window, &drawableW, &drawableH);
    TRect source = {0, 0, static_cast<int32_t>(BackBuffer->Width), static_cast<int32_t>(BackBuffer->Height)};
    TRect dest = {0, 0, drawableW, drawableH};
    if (sourceRect != nullptr)
        source = *sourceRect;
    if (destRect != nullptr)
        dest = *destRect;
    glNamedFramebufferTexture(context->ReadFbo, GL_COLOR_ATTACHMENT0, BackBuffer->ColorTexture(), 0);
    glNamedFramebufferReadBuffer(context->ReadFbo, GL_COLOR_ATTACHMENT0);
    // Blits obey the scissor test and the colour mask; the record keeps the
    // next draw truthful.
    glDisable(GL_SCISSOR_TEST);
    context->RenderStates[D3DRS_SCISSORTESTENABLE] = FALSE;
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    context->RenderStates[D3DRS_COLORWRITEENABLE] = 0xF;
    // The window's row 0 is its bottom row.
    glBlitNamedFramebuffer(context->ReadFbo, 0, source.Left, source.Top, source.Right, source.Bottom, dest.Left,
                           drawableH - dest.Top, dest.Right, drawableH - dest.Bottom, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    SDL_GL_SwapWindow(Window);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, context->DrawFbo);
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Targets

void TD3D9Device::BindTarget(TGLContext& context, bool& uploaded)
{
    TD3D9Surface* target = State.RenderTarget;
    if (target->Kind == TSurfaceKind::TextureLevel)
        target->Container->EnsureGL(uploaded);
    if (!context.Valid || context.TargetSerial != target->Serial) {
        glNamedFramebufferTexture(context.DrawFbo, GL_COLOR_ATTACHMENT0, target->ColorTexture(),
                                  static_cast<GLint>(target->Level));
        context.TargetSerial = target->Serial;
    }
    TD3D9Surface* depth = State.DepthStencil;
    uint64_t depthSerial = depth != nullptr ? depth->Serial : 0;
    if (!context.Valid || context.DepthSerial != depthSerial) {
        glNamedFramebufferRenderbuffer(context.DrawFbo, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
        if (depth != nullptr) {
            GLenum attachment = depth->Info->Format == D3DFMT_D16 ? GL_DEPTH_ATTACHMENT : GL_DEPTH_STENCIL_ATTACHMENT;
            glNamedFramebufferRenderbuffer(context.DrawFbo, attachment, GL_RENDERBUFFER, depth->DepthRenderbuffer());
        }
        context.DepthSerial = depthSerial;
    }
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, context.DrawFbo);
    if (!context.Valid || !SameRect(context.Viewport, State.Viewport)) {
        glViewport(State.Viewport.Left, State.Viewport.Top, State.Viewport.Width(), State.Viewport.Height());
        context.Viewport = State.Viewport;
    }
}

HRESULT TD3D9Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil)
{
    if (HRESULT injected = D3D9Test_Injected("Clear"))
        return injected;
    if (count != 0 && rects == nullptr)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    TGLContext* context = CurrentContext();
    if (context == nullptr)
        return D3DERR_INVALIDCALL;
    bool uploaded = false;
    BindTarget(*context, uploaded);
    GLbitfield bits = 0;
    if (flags & D3DCLEAR_TARGET) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        context->RenderStates[D3DRS_COLORWRITEENABLE] = 0xF;
        glClearColor(((color >> 16) & 255) / 255.0f, ((color >> 8) & 255) / 255.0f, (color & 255) / 255.0f,
                     ((color >> 24) & 255) / 255.0f);
        bits |= GL_COLOR_BUFFER_BIT;
    }
    if (State.DepthStencil != nullptr) {
        if (flags & D3DCLEAR_ZBUFFER) {
            glDepthMask(GL_TRUE);
            context->RenderStates[D3DRS_ZWRITEENABLE] = TRUE;
            glClearDepth(std::clamp(z, 0.0f, 1.0f));
            bits |= GL_DEPTH_BUFFER_BIT;
        }
        if ((flags & D3DCLEAR_STENCIL) && State.DepthStencil->Info->Format != D3DFMT_D16) {
            glStencilMask(0xFF);
            glClearStencil(static_cast<GLint>(stencil & 0xFF));
            bits |= GL_STENCIL_BUFFER_BIT;
        }
    }
    if (bits == 0)
        return D3D_OK;
    // The whole target, whatever the scissor state says.
    context->RenderStates[D3DRS_SCISSORTESTENABLE] = FALSE;
    if (count == 0) {
        glDisable(GL_SCISSOR_TEST);
        glClear(bits);
    } else {
        glEnable(GL_SCISSOR_TEST);
        for (DWORD i = 0; i < count; i++) {
            int32_t x1 = std::max(rects[i].x1, State.Viewport.Left), y1 = std::max(rects[i].y1, State.Viewport.Top);
            int32_t x2 = std::min(rects[i].x2, State.Viewport.Right), y2 = std::min(rects[i].y2, State.Viewport.Bottom);
            if (x2 <= x1 || y2 <= y1)
                continue;
            glScissor(x1, y1, x2 - x1, y2 - y1);
            glClear(bits);
        }
        glDisable(GL_SCISSOR_TEST);
        context->Scissor = {-1, -1, -1, -1}; // the next draw sets its own
    }
    return D3D_OK;
}

HRESULT TD3D9Device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface)
{
    if (HRESULT injected = D3D9Test_Injected("GetRenderTarget"))
        return injected;
    if (index != 0 || surface == nullptr)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    State.RenderTarget->AddRef();
    *surface = State.RenderTarget;
    return D3D_OK;
}

HRESULT TD3D9Device::SetRenderTarget(DWORD index, IDirect3DSurface9* surface)
{
    if (HRESULT injected = D3D9Test_Injected("SetRenderTarget"))
        return injected;
    auto* target = dynamic_cast<TD3D9Surface*>(surface);
    if (index != 0 || target == nullptr || !target->IsRenderTarget())
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    Assign(State.RenderTarget, target);
    // As Direct3D 9: a new target resets the viewport and scissor rectangle.
    State.Viewport = {0, 0, static_cast<int32_t>(target->Width), static_cast<int32_t>(target->Height)};
    State.Scissor = State.Viewport;
    return D3D_OK;
}

HRESULT TD3D9Device::GetDepthStencilSurface(IDirect3DSurface9** surface)
{
    if (HRESULT injected = D3D9Test_Injected("GetDepthStencilSurface"))
        return injected;
    if (surface == nullptr)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    *surface = State.DepthStencil;
    if (State.DepthStencil == nullptr)
        return D3DERR_NOTFOUND;
    State.DepthStencil->AddRef();
    return D3D_OK;
}

HRESULT TD3D9Device::SetDepthStencilSurface(IDirect3DSurface9* surface)
{
    if (HRESULT injected = D3D9Test_Injected("SetDepthStencilSurface"))
        return injected;
    auto* depth = dynamic_cast<TD3D9Surface*>(surface);
    if (surface != nullptr && (depth == nullptr || depth->Kind != TSurfaceKind::DepthStencil))
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    Assign(State.DepthStencil, depth);
    return D3D_OK;
}

HRESULT TD3D9Device::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destSurface)
{
    if (HRESULT injected = D3D9Test_Injected("GetRenderTargetData"))
        return injected;
    auto* source = dynamic_cast<TD3D9Surface*>(renderTarget);
    auto* dest = dynamic_cast<TD3D9Surface*>(destSurface);
    if (source == nullptr || dest == nullptr || !source->IsRenderTarget() || dest->Kind != TSurfaceKind::SystemMemory ||
        source->Width != dest->Width || source->Height != dest->Height || source->Info != dest->Info)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    TGLContext* context = CurrentContext();
    if (context == nullptr)
        return D3DERR_INVALIDCALL;
    glNamedFramebufferTexture(context->ReadFbo, GL_COLOR_ATTACHMENT0, source->ColorTexture(),
                              static_cast<GLint>(source->Level));
    glNamedFramebufferReadBuffer(context->ReadFbo, GL_COLOR_ATTACHMENT0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, context->ReadFbo);
    glReadPixels(0, 0, static_cast<GLsizei>(dest->Width), static_cast<GLsizei>(dest->Height), dest->Info->Upload,
                 dest->Info->Type, dest->Memory.data());
    return D3D_OK;
}

HRESULT TD3D9Device::UpdateSurface(IDirect3DSurface9* sourceSurface, const TRect* sourceRect,
                                   IDirect3DSurface9* destSurface, const TPoint* destPoint)
{
    if (HRESULT injected = D3D9Test_Injected("UpdateSurface"))
        return injected;
    auto* source = dynamic_cast<TD3D9Surface*>(sourceSurface);
    auto* dest = dynamic_cast<TD3D9Surface*>(destSurface);
    if (source == nullptr || dest == nullptr || source->Kind != TSurfaceKind::SystemMemory ||
        dest->Kind != TSurfaceKind::TextureLevel || source->Info != dest->Info)
        return D3DERR_INVALIDCALL;
    TRect rect = {0, 0, static_cast<int32_t>(source->Width), static_cast<int32_t>(source->Height)};
    if (sourceRect != nullptr)
        rect = *sourceRect;
    TPoint at = destPoint != nullptr ? *destPoint : TPoint{rect.Left, rect.Top};
    if (rect.Left < 0 || rect.Top < 0 || rect.Right <= rect.Left || rect.Bottom <= rect.Top ||
        rect.Right > static_cast<int32_t>(source->Width) || rect.Bottom > static_cast<int32_t>(source->Height) ||
        at.X < 0 || at.Y < 0 || at.X + rect.Width() > static_cast<int32_t>(dest->Width) ||
        at.Y + rect.Height() > static_cast<int32_t>(dest->Height))
        return D3DERR_INVALIDCALL;
    const TD3D9FormatInfo& info = *source->Info;
    if (info.Compressed && ((rect.Left | rect.Top | at.X | at.Y) & 3) != 0)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    uint32_t pitch = D3D9_RowPitch(info, source->Width);
    size_t offset = info.Compressed
                        ? static_cast<size_t>(rect.Top / 4) * pitch + static_cast<size_t>(rect.Left / 4) * info.Bytes
                        : static_cast<size_t>(rect.Top) * pitch + static_cast<size_t>(rect.Left) * info.Bytes;
    TD3D9Texture* texture = dest->Container;
    if (!(texture->Usage & D3DUSAGE_RENDERTARGET)) {
        texture->WriteLevel(dest->Level, static_cast<UINT>(at.X), static_cast<UINT>(at.Y),
                            static_cast<UINT>(rect.Width()), static_cast<UINT>(rect.Height()),
                            source->Memory.data() + offset, pitch);
        return D3D_OK;
    }
    // A render target has no CPU copy: the rows go straight to GL.
    TGLContext* context = CurrentContext();
    if (context == nullptr || info.Compressed)
        return D3DERR_INVALIDCALL;
    bool uploaded = false;
    GLuint gl = texture->EnsureGL(uploaded);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(source->Width));
    glTextureSubImage2D(gl, static_cast<GLint>(dest->Level), at.X, at.Y, rect.Width(), rect.Height(), info.Upload,
                        info.Type, source->Memory.data() + offset);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glFlush();
    return D3D_OK;
}

HRESULT TD3D9Device::GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destSurface)
{
    if (HRESULT injected = D3D9Test_Injected("GetFrontBufferData"))
        return injected;
    auto* dest = dynamic_cast<TD3D9Surface*>(destSurface);
    if (swapChain != 0 || dest == nullptr || dest->Kind != TSurfaceKind::SystemMemory ||
        dest->Info->Format != D3DFMT_A8R8G8B8)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    if (FrontCopy == 0)
        return D3D_OK; // nothing presented yet
    TGLContext* context = CurrentContext();
    if (context == nullptr)
        return D3DERR_INVALIDCALL;
    GLsizei w = static_cast<GLsizei>(std::min(FrontWidth, dest->Width));
    GLsizei h = static_cast<GLsizei>(std::min(FrontHeight, dest->Height));
    glNamedFramebufferTexture(context->ReadFbo, GL_COLOR_ATTACHMENT0, FrontCopy, 0);
    glNamedFramebufferReadBuffer(context->ReadFbo, GL_COLOR_ATTACHMENT0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, context->ReadFbo);
    glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(dest->Width));
    glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, dest->Memory.data());
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    // The shown frame is opaque.
    for (GLsizei y = 0; y < h; y++)
        for (GLsizei x = 0; x < w; x++)
            dest->Memory[(static_cast<size_t>(y) * dest->Width + static_cast<size_t>(x)) * 4 + 3] = 255;
    return D3D_OK;
}

#include "tests/fakes/RecordingDevice.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsDxt(D3DFORMAT format)
{
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT3 || format == D3DFMT_DXT5;
}

int32_t BytesPerTexel(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_L8:
    case D3DFMT_A8:
        return 1;
    case D3DFMT_R5G6B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A8L8:
    case D3DFMT_R16F:
    case D3DFMT_D16:
        return 2;
    case D3DFMT_A16B16G16R16:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_G32R32F:
        return 8;
    case D3DFMT_A32B32G32R32F:
        return 16;
    default:
        return 4;
    }
}

std::string Hex(uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", v);
    return text;
}

} // namespace

// ---------------------------------------------------------------------------
// Surfaces

ULONG TFakeSurface::AddRef()
{
    return ++Refs;
}

ULONG TFakeSurface::Release()
{
    const ULONG left = --Refs;
    if (left == 0) {
        if (Parent != nullptr)
            Parent->Release();
        else
            Device->ObjectGone();
        delete this;
    }
    return left;
}

HRESULT TFakeSurface::GetDesc(D3DSURFACE_DESC* desc)
{
    *desc = Desc;
    return D3D_OK;
}

HRESULT TFakeSurface::LockRect(D3DLOCKED_RECT* locked, const TRect* rect, DWORD flags)
{
    if (HRESULT r = Device->Injected("Surface.LockRect"); r != D3D_OK)
        return r;
    const int32_t texel = BytesPerTexel(Desc.Format);
    size_t offset = 0;
    if (rect != nullptr) {
        if (rect->Left < 0 || rect->Top < 0 || rect->Right > static_cast<int32_t>(Desc.Width) ||
            rect->Bottom > static_cast<int32_t>(Desc.Height) || rect->Left >= rect->Right || rect->Top >= rect->Bottom)
            return D3DERR_INVALIDCALL;
        offset = static_cast<size_t>(rect->Top) * Pitch + static_cast<size_t>(rect->Left) * texel;
    }
    Device->Record("Surface.LockRect" + std::string((flags & D3DLOCK_READONLY) ? " readonly" : ""));
    locked->Pitch = Pitch;
    locked->pBits = Bytes->data() + offset;
    return D3D_OK;
}

HRESULT TFakeSurface::UnlockRect()
{
    Device->Record("Surface.UnlockRect");
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Textures

ULONG TFakeTexture::AddRef()
{
    return ++Refs;
}

ULONG TFakeTexture::Release()
{
    const ULONG left = --Refs;
    if (left == 0) {
        Device->Record("Texture.Release #" + std::to_string(Serial));
        Device->ObjectGone();
        delete this;
    }
    return left;
}

HRESULT TFakeTexture::SetAutoGenFilterType(DWORD filter)
{
    if (HRESULT r = Device->Injected("SetAutoGenFilterType"); r != D3D_OK)
        return r;
    Device->Record("SetAutoGenFilterType " + std::to_string(filter));
    return D3D_OK;
}

HRESULT TFakeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc)
{
    if (level >= Levels.size())
        return D3DERR_INVALIDCALL;
    desc->Format = Format;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = Usage;
    desc->Pool = Pool;
    desc->Width = Levels[level].Width;
    desc->Height = Levels[level].Height;
    return D3D_OK;
}

HRESULT TFakeTexture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface)
{
    if (level >= Levels.size())
        return D3DERR_INVALIDCALL;
    if (HRESULT r = Device->Injected("GetSurfaceLevel"); r != D3D_OK)
        return r;
    auto* s = new TFakeSurface;
    GetLevelDesc(level, &s->Desc);
    s->Pitch = Levels[level].Pitch;
    s->Bytes = &Levels[level].Bytes;
    s->Parent = this;
    s->Device = Device;
    AddRef();
    Device->Record("GetSurfaceLevel " + std::to_string(level));
    *surface = s;
    return D3D_OK;
}

HRESULT TFakeTexture::LockRect(UINT level, D3DLOCKED_RECT* locked, const TRect* rect, DWORD flags)
{
    if (level >= Levels.size())
        return D3DERR_INVALIDCALL;
    if (HRESULT r = Device->Injected("LockRect"); r != D3D_OK)
        return r;
    (void)rect;
    Device->Record("LockRect " + std::to_string(level) + ((flags & D3DLOCK_READONLY) ? " readonly" : ""));
    locked->Pitch = Levels[level].Pitch;
    locked->pBits = Levels[level].Bytes.data();
    return D3D_OK;
}

HRESULT TFakeTexture::UnlockRect(UINT level)
{
    if (HRESULT r = Device->Injected("UnlockRect"); r != D3D_OK)
        return r;
    Device->Record("UnlockRect " + std::to_string(level));
    return D3D_OK;
}

ULONG TFakeShader::Release()
{
    const ULONG left = --Refs;
    if (left == 0) {
        Device->ObjectGone();
        delete this;
    }
    return left;
}

// ---------------------------------------------------------------------------
// Adapter

HRESULT TRecordingDirect3D::GetAdapterDisplayMode(UINT, D3DDISPLAYMODE* mode)
{
    *mode = {1024, 768, 60, D3DFMT_X8R8G8B8};
    return D3D_OK;
}

HRESULT TRecordingDirect3D::GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS9* caps)
{
    *caps = {};
    caps->VertexShaderVersion = D3DVS_VERSION(3, 0);
    caps->PixelShaderVersion = D3DPS_VERSION(3, 0);
    caps->MaxAnisotropy = 8;
    caps->MaxTextureWidth = caps->MaxTextureHeight = 8192;
    return D3D_OK;
}

HRESULT TRecordingDirect3D::CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE, DWORD*)
{
    return D3DERR_NOTAVAILABLE;
}

HRESULT TRecordingDirect3D::CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE, D3DFORMAT)
{
    return D3D_OK;
}

HRESULT TRecordingDirect3D::CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*,
                                         IDirect3DDevice9** device)
{
    *device = nullptr;
    return D3DERR_NOTAVAILABLE;
}

IDirect3D9* TRecordingDirect3D::Create(UINT)
{
    static TRecordingDirect3D adapter;
    return &adapter;
}

// ---------------------------------------------------------------------------
// Device

TRecordingDevice::TRecordingDevice() = default;
TRecordingDevice::~TRecordingDevice() = default;

int32_t TRecordingDevice::RowBytes(D3DFORMAT format, UINT width)
{
    if (IsDxt(format))
        return static_cast<int32_t>((width + 3) / 4) * (format == D3DFMT_DXT1 ? 8 : 16);
    return static_cast<int32_t>(width) * BytesPerTexel(format);
}

int32_t TRecordingDevice::Rows(D3DFORMAT format, UINT height)
{
    return IsDxt(format) ? static_cast<int32_t>((height + 3) / 4) : static_cast<int32_t>(height);
}

void TRecordingDevice::Record(const std::string& text)
{
    std::lock_guard<std::mutex> guard(Lock);
    Log.push_back({text, std::this_thread::get_id()});
}

HRESULT TRecordingDevice::Injected(const std::string& method)
{
    std::lock_guard<std::mutex> guard(Lock);
    auto it = Failures.find(method);
    if (it == Failures.end() || it->second.second == 0)
        return D3D_OK;
    if (it->second.second > 0)
        it->second.second--;
    return it->second.first;
}

void TRecordingDevice::FailNext(const std::string& method, HRESULT result, int32_t count)
{
    std::lock_guard<std::mutex> guard(Lock);
    Failures[method] = {result, count};
}

void TRecordingDevice::ObjectMade()
{
    std::lock_guard<std::mutex> guard(Lock);
    Live++;
}

void TRecordingDevice::ObjectGone()
{
    std::lock_guard<std::mutex> guard(Lock);
    Live--;
}

int32_t TRecordingDevice::LiveObjects() const
{
    std::lock_guard<std::mutex> guard(Lock);
    return Live;
}

std::vector<std::string> TRecordingDevice::Texts() const
{
    std::lock_guard<std::mutex> guard(Lock);
    std::vector<std::string> texts;
    for (const TCall& call : Log)
        texts.push_back(call.Text);
    return texts;
}

std::vector<TRecordingDevice::TCall> TRecordingDevice::Calls() const
{
    std::lock_guard<std::mutex> guard(Lock);
    return Log;
}

std::vector<std::string> TRecordingDevice::CallsStartingWith(const std::string& prefix) const
{
    std::vector<std::string> found;
    for (const std::string& text : Texts())
        if (text.compare(0, prefix.size(), prefix) == 0)
            found.push_back(text);
    return found;
}

void TRecordingDevice::Clear()
{
    std::lock_guard<std::mutex> guard(Lock);
    Log.clear();
}

HRESULT TRecordingDevice::TestCooperativeLevel()
{
    Record("TestCooperativeLevel");
    std::lock_guard<std::mutex> guard(Lock);
    if (CooperativeAnswers.empty())
        return D3D_OK;
    const HRESULT answer = CooperativeAnswers.front();
    CooperativeAnswers.erase(CooperativeAnswers.begin());
    return answer;
}

HRESULT TRecordingDevice::Reset(D3DPRESENT_PARAMETERS*)
{
    Record("Reset");
    std::lock_guard<std::mutex> guard(Lock);
    if (ResetAnswers.empty())
        return D3D_OK;
    const HRESULT answer = ResetAnswers.front();
    ResetAnswers.erase(ResetAnswers.begin());
    return answer;
}

HRESULT TRecordingDevice::BeginScene()
{
    Record("BeginScene");
    return D3D_OK;
}

HRESULT TRecordingDevice::EndScene()
{
    Record("EndScene");
    return D3D_OK;
}

HRESULT TRecordingDevice::Present(const TRect*, const TRect*, HWND, const void*)
{
    Record("Present");
    return D3D_OK;
}

HRESULT TRecordingDevice::Clear(DWORD, const D3DRECT*, DWORD flags, D3DCOLOR color, float, DWORD)
{
    Record("Clear " + std::to_string(flags) + " " + Hex(color));
    return D3D_OK;
}

HRESULT TRecordingDevice::GetRenderTarget(DWORD, IDirect3DSurface9** surface)
{
    Record("GetRenderTarget");
    return CreateOffscreenPlainSurface(BackBufferWidth, BackBufferHeight, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, surface,
                                       nullptr);
}

HRESULT TRecordingDevice::SetRenderTarget(DWORD index, IDirect3DSurface9*)
{
    Record("SetRenderTarget " + std::to_string(index));
    return D3D_OK;
}

HRESULT TRecordingDevice::GetDepthStencilSurface(IDirect3DSurface9** surface)
{
    Record("GetDepthStencilSurface");
    return CreateDepthStencilSurface(BackBufferWidth, BackBufferHeight, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, TRUE,
                                     surface, nullptr);
}

HRESULT TRecordingDevice::SetDepthStencilSurface(IDirect3DSurface9*)
{
    Record("SetDepthStencilSurface");
    return D3D_OK;
}

HRESULT TRecordingDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    Record("SetRenderState " + std::to_string(state) + " " + std::to_string(value));
    return D3D_OK;
}

HRESULT TRecordingDevice::GetRenderState(D3DRENDERSTATETYPE, DWORD* value)
{
    *value = 0;
    return D3D_OK;
}

HRESULT TRecordingDevice::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    Record("SetSamplerState " + std::to_string(sampler) + " " + std::to_string(type) + " " + std::to_string(value));
    return D3D_OK;
}

HRESULT TRecordingDevice::GetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD* value)
{
    *value = 0;
    return D3D_OK;
}

HRESULT TRecordingDevice::SetScissorRect(const TRect*)
{
    Record("SetScissorRect");
    return D3D_OK;
}

HRESULT TRecordingDevice::GetScissorRect(TRect* rect)
{
    *rect = TRect{};
    return D3D_OK;
}

HRESULT TRecordingDevice::CreateVertexDeclaration(const D3DVERTEXELEMENT9*, IDirect3DVertexDeclaration9** declaration)
{
    *declaration = nullptr;
    Record("CreateVertexDeclaration");
    return D3DERR_NOTAVAILABLE;
}

HRESULT TRecordingDevice::SetVertexDeclaration(IDirect3DVertexDeclaration9*)
{
    Record("SetVertexDeclaration");
    return D3D_OK;
}

HRESULT TRecordingDevice::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                        D3DPOOL pool, IDirect3DTexture9** texture, void*)
{
    if (HRESULT r = Injected("CreateTexture"); r != D3D_OK)
        return r;
    if (format == D3DFMT_UNKNOWN || width == 0 || height == 0) {
        Record("CreateTexture invalid");
        return D3DERR_INVALIDCALL;
    }
    auto* t = new TFakeTexture;
    t->Format = format;
    t->Usage = usage;
    t->Pool = pool;
    t->Device = this;
    UINT count = levels;
    if (count == 0) {
        count = 1;
        for (UINT size = std::max(width, height); size > 1; size >>= 1)
            count++;
    }
    UINT w = width, h = height;
    for (UINT i = 0; i < count; i++) {
        TFakeTexture::TLevel level;
        level.Width = w;
        level.Height = h;
        level.Pitch = RowBytes(format, w);
        // A pattern the uploads overwrite, so untouched texels show.
        level.Bytes.assign(static_cast<size_t>(level.Pitch) * Rows(format, h), 0xCD);
        t->Levels.push_back(std::move(level));
        w = std::max<UINT>(1, w / 2);
        h = std::max<UINT>(1, h / 2);
    }
    {
        std::lock_guard<std::mutex> guard(Lock);
        t->Serial = NextSerial++;
    }
    ObjectMade();
    Record("CreateTexture " + std::to_string(width) + "x" + std::to_string(height) + " levels " +
           std::to_string(levels) + " usage " + Hex(usage) + " format " + std::to_string(format) + " pool " +
           std::to_string(pool) + " #" + std::to_string(t->Serial));
    *texture = t;
    return D3D_OK;
}

namespace {

// A surface with its own zeroed pixels (depth and plain surfaces).
TFakeSurface* NewOwnSurface(TRecordingDevice* device, UINT width, UINT height, D3DFORMAT format)
{
    auto* s = new TFakeSurface;
    s->Desc.Format = format;
    s->Desc.Type = D3DRTYPE_SURFACE;
    s->Desc.Width = width;
    s->Desc.Height = height;
    s->Pitch = TRecordingDevice::RowBytes(format, width);
    s->OwnBytes.assign(static_cast<size_t>(s->Pitch) * height, 0);
    s->Bytes = &s->OwnBytes;
    s->Device = device;
    device->ObjectMade();
    return s;
}

// The same object serves as a vertex and a pixel shader.
TFakeShader* NewShader(TRecordingDevice* device, const void* code, size_t size)
{
    auto* s = new TFakeShader;
    s->Code.assign(static_cast<const char*>(code), size);
    s->Device = device;
    device->ObjectMade();
    return s;
}

} // namespace

HRESULT TRecordingDevice::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE,
                                                    DWORD, BOOL discard, IDirect3DSurface9** surface, void*)
{
    if (HRESULT r = Injected("CreateDepthStencilSurface"); r != D3D_OK)
        return r;
    TFakeSurface* s = NewOwnSurface(this, width, height, format);
    s->Desc.Usage = D3DUSAGE_DEPTHSTENCIL;
    Record("CreateDepthStencilSurface " + std::to_string(width) + "x" + std::to_string(height) + " format " +
           std::to_string(format) + " discard " + std::to_string(discard));
    *surface = s;
    return D3D_OK;
}

HRESULT TRecordingDevice::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                      IDirect3DSurface9** surface, void*)
{
    if (HRESULT r = Injected("CreateOffscreenPlainSurface"); r != D3D_OK)
        return r;
    TFakeSurface* s = NewOwnSurface(this, width, height, format);
    s->Desc.Pool = pool;
    Record("CreateOffscreenPlainSurface " + std::to_string(width) + "x" + std::to_string(height) + " format " +
           std::to_string(format) + " pool " + std::to_string(pool));
    *surface = s;
    return D3D_OK;
}

HRESULT TRecordingDevice::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destSurface)
{
    if (HRESULT r = Injected("GetRenderTargetData"); r != D3D_OK)
        return r;
    auto* from = static_cast<TFakeSurface*>(renderTarget);
    auto* to = static_cast<TFakeSurface*>(destSurface);
    Record("GetRenderTargetData");
    if (from == nullptr || to == nullptr || from->Desc.Format != to->Desc.Format ||
        from->Desc.Width != to->Desc.Width || from->Desc.Height != to->Desc.Height)
        return D3DERR_INVALIDCALL;
    *to->Bytes = *from->Bytes;
    return D3D_OK;
}

HRESULT TRecordingDevice::UpdateSurface(IDirect3DSurface9*, const TRect*, IDirect3DSurface9*, const TPoint*)
{
    Record("UpdateSurface");
    return D3D_OK;
}

HRESULT TRecordingDevice::GetFrontBufferData(UINT, IDirect3DSurface9*)
{
    Record("GetFrontBufferData");
    return D3D_OK;
}

HRESULT TRecordingDevice::CreateVertexShader(const void* code, size_t size, IDirect3DVertexShader9** shader)
{
    if (HRESULT r = Injected("CreateVertexShader"); r != D3D_OK)
        return r;
    TFakeShader* s = NewShader(this, code, size);
    Record("CreateVertexShader " + std::to_string(size));
    *shader = s;
    return D3D_OK;
}

HRESULT TRecordingDevice::CreatePixelShader(const void* code, size_t size, IDirect3DPixelShader9** shader)
{
    if (HRESULT r = Injected("CreatePixelShader"); r != D3D_OK)
        return r;
    TFakeShader* s = NewShader(this, code, size);
    Record("CreatePixelShader " + std::to_string(size));
    *shader = s;
    return D3D_OK;
}

HRESULT TRecordingDevice::SetVertexShader(IDirect3DVertexShader9*)
{
    Record("SetVertexShader");
    return D3D_OK;
}

HRESULT TRecordingDevice::SetPixelShader(IDirect3DPixelShader9*)
{
    Record("SetPixelShader");
    return D3D_OK;
}

HRESULT TRecordingDevice::SetVertexShaderConstantF(UINT startRegister, const float* data, UINT count)
{
    if (HRESULT r = Injected("SetVertexShaderConstantF"); r != D3D_OK)
        return r;
    Record("SetVertexShaderConstantF " + std::to_string(startRegister) + " " + std::to_string(count));
    std::lock_guard<std::mutex> guard(Lock);
    VertexConstants[startRegister].assign(data, data + 4 * count);
    return D3D_OK;
}

HRESULT TRecordingDevice::SetPixelShaderConstantF(UINT startRegister, const float* data, UINT count)
{
    if (HRESULT r = Injected("SetPixelShaderConstantF"); r != D3D_OK)
        return r;
    Record("SetPixelShaderConstantF " + std::to_string(startRegister) + " " + std::to_string(count));
    std::lock_guard<std::mutex> guard(Lock);
    PixelConstants[startRegister].assign(data, data + 4 * count);
    return D3D_OK;
}

HRESULT TRecordingDevice::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture)
{
    auto* t = dynamic_cast<TFakeTexture*>(texture);
    Record("SetTexture " + std::to_string(stage) + " " + (t != nullptr ? "#" + std::to_string(t->Serial) : "none"));
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Buffers

template <class TInterface> ULONG TFakeBuffer<TInterface>::Release()
{
    const ULONG left = --Refs;
    if (left == 0) {
        Device->Record(Kind + ".Release #" + std::to_string(Serial));
        Device->ObjectGone();
        delete this;
    }
    return left;
}

template <class TInterface> D3DRESOURCETYPE TFakeBuffer<TInterface>::GetType()
{
    // Direct3D's numbers of the two buffer kinds.
    return static_cast<D3DRESOURCETYPE>(Kind == "VertexBuffer" ? 6 : 7);
}

template <class TInterface> HRESULT TFakeBuffer<TInterface>::Lock(UINT offset, UINT size, void** data, DWORD)
{
    if (HRESULT r = Device->Injected(Kind + ".Lock"); r != D3D_OK)
        return r;
    if (offset > Bytes.size() || size > Bytes.size() - offset)
        return D3DERR_INVALIDCALL;
    // Size 0 locks from the offset to the end.
    Device->Record(Kind + ".Lock #" + std::to_string(Serial));
    *data = Bytes.data() + offset;
    return D3D_OK;
}

template <class TInterface> HRESULT TFakeBuffer<TInterface>::Unlock()
{
    if (HRESULT r = Device->Injected(Kind + ".Unlock"); r != D3D_OK)
        return r;
    Device->Record(Kind + ".Unlock #" + std::to_string(Serial));
    return D3D_OK;
}

template class TFakeBuffer<IDirect3DVertexBuffer9>;
template class TFakeBuffer<IDirect3DIndexBuffer9>;

HRESULT TRecordingDevice::CreateVertexBuffer(UINT length, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer9** buffer, void*)
{
    *buffer = nullptr;
    if (HRESULT r = Injected("CreateVertexBuffer"); r != D3D_OK)
        return r;
    auto* made = new TFakeVertexBuffer();
    made->Bytes.assign(length, 0);
    made->Device = this;
    made->Kind = "VertexBuffer";
    {
        std::lock_guard<std::mutex> guard(Lock);
        made->Serial = NextSerial++;
    }
    Record("CreateVertexBuffer " + std::to_string(length) + " #" + std::to_string(made->Serial));
    ObjectMade();
    *buffer = made;
    return D3D_OK;
}

HRESULT TRecordingDevice::CreateIndexBuffer(UINT length, DWORD, D3DFORMAT, D3DPOOL, IDirect3DIndexBuffer9** buffer,
                                            void*)
{
    *buffer = nullptr;
    if (HRESULT r = Injected("CreateIndexBuffer"); r != D3D_OK)
        return r;
    auto* made = new TFakeIndexBuffer();
    made->Bytes.assign(length, 0);
    made->Device = this;
    made->Kind = "IndexBuffer";
    {
        std::lock_guard<std::mutex> guard(Lock);
        made->Serial = NextSerial++;
    }
    Record("CreateIndexBuffer " + std::to_string(length) + " #" + std::to_string(made->Serial));
    ObjectMade();
    *buffer = made;
    return D3D_OK;
}

HRESULT TRecordingDevice::SetStreamSource(UINT stream, IDirect3DVertexBuffer9*, UINT, UINT)
{
    Record("SetStreamSource " + std::to_string(stream));
    return D3D_OK;
}

HRESULT TRecordingDevice::SetIndices(IDirect3DIndexBuffer9*)
{
    Record("SetIndices");
    return D3D_OK;
}

HRESULT TRecordingDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t, UINT, UINT, UINT, UINT count)
{
    Record("DrawIndexedPrimitive " + std::to_string(type) + " " + std::to_string(count));
    return D3D_OK;
}

HRESULT TRecordingDevice::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT, UINT, UINT count, const void*, D3DFORMAT,
                                                 const void*, UINT)
{
    Record("DrawIndexedPrimitiveUP " + std::to_string(type) + " " + std::to_string(count));
    return D3D_OK;
}

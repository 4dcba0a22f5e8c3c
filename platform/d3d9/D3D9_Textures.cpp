// Textures and surfaces: the format table, CPU copies of texture levels,
// locks, and the GL textures and renderbuffers made on first use.
#include <algorithm>
#include <cstring>

#include "platform/d3d9/D3D9_Internal.h"
#include "platform/d3d9/D3D9_TestHook.h"

// ---------------------------------------------------------------------------
// Formats

namespace {

constexpr GLint R = GL_RED, G = GL_GREEN, B = GL_BLUE, A = GL_ALPHA, One = GL_ONE, Zero = GL_ZERO;

// Direct3D fills channels a format lacks with 1 (and X8 alpha reads 1); the
// swizzles give GL's sampling the same answers.
const TD3D9FormatInfo Formats[] = {
    {D3DFMT_A8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, false, false, true, {R, G, B, A}},
    {D3DFMT_X8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, false, false, true, {R, G, B, One}},
    {D3DFMT_R5G6B5, GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, false, false, true, {R, G, B, One}},
    {D3DFMT_A1R5G5B5, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, false, false, true, {R, G, B, A}},
    {D3DFMT_A4R4G4B4, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2, false, false, true, {R, G, B, A}},
    {D3DFMT_A8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, false, false, true, {Zero, Zero, Zero, R}},
    {D3DFMT_L8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, false, false, true, {R, R, R, One}},
    {D3DFMT_A8L8, GL_RG8, GL_RG, GL_UNSIGNED_BYTE, 2, false, false, true, {R, R, R, G}},
    {D3DFMT_G16R16, GL_RG16, GL_RG, GL_UNSIGNED_SHORT, 4, false, false, true, {R, G, One, One}},
    {D3DFMT_A16B16G16R16, GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, 8, false, false, true, {R, G, B, A}},
    {D3DFMT_R16F, GL_R16F, GL_RED, GL_HALF_FLOAT, 2, false, false, true, {R, One, One, One}},
    {D3DFMT_G16R16F, GL_RG16F, GL_RG, GL_HALF_FLOAT, 4, false, false, true, {R, G, One, One}},
    {D3DFMT_A16B16G16R16F, GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, 8, false, false, true, {R, G, B, A}},
    {D3DFMT_R32F, GL_R32F, GL_RED, GL_FLOAT, 4, false, false, true, {R, One, One, One}},
    {D3DFMT_G32R32F, GL_RG32F, GL_RG, GL_FLOAT, 8, false, false, true, {R, G, One, One}},
    {D3DFMT_A32B32G32R32F, GL_RGBA32F, GL_RGBA, GL_FLOAT, 16, false, false, true, {R, G, B, A}},
    {D3DFMT_D16, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, 2, false, true, false, {R, G, B, A}},
    {D3DFMT_D24S8, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, 4, false, true, false, {R, G, B, A}},
    {D3DFMT_D24X8, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, 4, false, true, false, {R, G, B, A}},
    {D3DFMT_DXT1, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, 8, true, false, false, {R, G, B, A}},
    {D3DFMT_DXT3, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 16, true, false, false, {R, G, B, A}},
    {D3DFMT_DXT5, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 16, true, false, false, {R, G, B, A}},
};

std::atomic<uint64_t> NextSerial{1};

} // namespace

const TD3D9FormatInfo* D3D9_FindFormat(D3DFORMAT format)
{
    for (const TD3D9FormatInfo& info : Formats)
        if (info.Format == format)
            return &info;
    return nullptr;
}

uint32_t D3D9_RowPitch(const TD3D9FormatInfo& info, uint32_t width)
{
    if (info.Compressed)
        return ((width + 3) / 4) * info.Bytes;
    return width * info.Bytes;
}

uint32_t D3D9_RowCount(const TD3D9FormatInfo& info, uint32_t height)
{
    return info.Compressed ? (height + 3) / 4 : height;
}

uint32_t D3D9_FullMipCount(uint32_t width, uint32_t height)
{
    uint32_t size = std::max(width, height), count = 1;
    while (size > 1) {
        size >>= 1;
        count++;
    }
    return count;
}

uint64_t D3D9_NewSerial()
{
    return NextSerial.fetch_add(1);
}

namespace {

// Where a rectangle starts in a level of `pitch` bytes per row; false when it
// lies outside or cuts through compressed blocks.
bool RectOffset(const TD3D9FormatInfo& info, UINT width, UINT height, const TRect* rect, uint32_t pitch, size_t& offset)
{
    offset = 0;
    if (rect == nullptr)
        return true;
    if (rect->Left < 0 || rect->Top < 0 || rect->Left >= rect->Right || rect->Top >= rect->Bottom ||
        static_cast<UINT>(rect->Right) > width || static_cast<UINT>(rect->Bottom) > height)
        return false;
    if (info.Compressed) {
        if ((rect->Left % 4) != 0 || (rect->Top % 4) != 0)
            return false;
        offset = static_cast<size_t>(rect->Top / 4) * pitch + static_cast<size_t>(rect->Left / 4) * info.Bytes;
    } else {
        offset = static_cast<size_t>(rect->Top) * pitch + static_cast<size_t>(rect->Left) * info.Bytes;
    }
    return true;
}

} // namespace

// ---------------------------------------------------------------------------
// Surfaces

TD3D9Surface::TD3D9Surface(TD3D9Device* device, TSurfaceKind kind, const TD3D9FormatInfo* info, UINT width, UINT height,
                           D3DPOOL pool, DWORD usage)
    : Serial(D3D9_NewSerial()), Device(device), Kind(kind), Info(info), Width(width), Height(height), Pool(pool),
      Usage(usage)
{
    if (Kind == TSurfaceKind::SystemMemory)
        Memory.assign(static_cast<size_t>(D3D9_RowPitch(*info, width)) * D3D9_RowCount(*info, height), 0);
    if (Kind != TSurfaceKind::TextureLevel)
        Device->ResourceCreated();
}

TD3D9Surface::~TD3D9Surface()
{
    if (Kind == TSurfaceKind::TextureLevel)
        return;
    if (GlName != 0)
        Device->DeleteGL(Kind == TSurfaceKind::DepthStencil ? TGLDeleteKind::Renderbuffer : TGLDeleteKind::Texture,
                         GlName);
    Device->ResourceDestroyed();
}

ULONG TD3D9Surface::AddRef()
{
    if (Container != nullptr)
        return Container->AddRef();
    return ++Refs;
}

ULONG TD3D9Surface::Release()
{
    if (Container != nullptr)
        return Container->Release();
    ULONG left = --Refs;
    if (left == 0)
        delete this;
    return left;
}

HRESULT TD3D9Surface::GetDesc(D3DSURFACE_DESC* desc)
{
    if (desc == nullptr)
        return D3DERR_INVALIDCALL;
    *desc = {};
    desc->Format = Info->Format;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = Usage;
    desc->Pool = Pool;
    desc->Width = Width;
    desc->Height = Height;
    return D3D_OK;
}

bool TD3D9Surface::IsRenderTarget() const
{
    return Kind == TSurfaceKind::RenderTarget ||
           (Kind == TSurfaceKind::TextureLevel && (Usage & D3DUSAGE_RENDERTARGET));
}

HRESULT TD3D9Surface::LockRect(D3DLOCKED_RECT* locked, const TRect* rect, DWORD flags)
{
    if (HRESULT injected = D3D9Test_Injected("LockRect"))
        return injected;
    if (Kind == TSurfaceKind::TextureLevel)
        return Container->LockRect(Level, locked, rect, flags);
    if (locked == nullptr || Kind != TSurfaceKind::SystemMemory)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Device->Lock);
    if (Locked)
        return D3DERR_INVALIDCALL;
    uint32_t pitch = D3D9_RowPitch(*Info, Width);
    size_t offset = 0;
    if (!RectOffset(*Info, Width, Height, rect, pitch, offset))
        return D3DERR_INVALIDCALL;
    Locked = true;
    locked->Pitch = static_cast<int32_t>(pitch);
    locked->pBits = Memory.data() + offset;
    return D3D_OK;
}

HRESULT TD3D9Surface::UnlockRect()
{
    if (HRESULT injected = D3D9Test_Injected("UnlockRect"))
        return injected;
    if (Kind == TSurfaceKind::TextureLevel)
        return Container->UnlockRect(Level);
    std::lock_guard<std::recursive_mutex> guard(Device->Lock);
    if (!Locked)
        return D3DERR_INVALIDCALL;
    Locked = false;
    return D3D_OK;
}

GLuint TD3D9Surface::ColorTexture()
{
    if (Kind == TSurfaceKind::TextureLevel) {
        bool uploaded = false;
        return Container->EnsureGL(uploaded);
    }
    if (Kind == TSurfaceKind::RenderTarget && GlName == 0) {
        glCreateTextures(GL_TEXTURE_2D, 1, &GlName);
        glTextureStorage2D(GlName, 1, Info->Internal, Width, Height);
        glTextureParameteriv(GlName, GL_TEXTURE_SWIZZLE_RGBA, Info->Swizzle);
    }
    return Kind == TSurfaceKind::RenderTarget ? GlName : 0;
}

GLuint TD3D9Surface::DepthRenderbuffer()
{
    if (Kind != TSurfaceKind::DepthStencil)
        return 0;
    if (GlName == 0) {
        glCreateRenderbuffers(1, &GlName);
        glNamedRenderbufferStorage(GlName, Info->Internal, Width, Height);
    }
    return GlName;
}

// ---------------------------------------------------------------------------
// Textures

TD3D9Texture::TD3D9Texture(TD3D9Device* device, const TD3D9FormatInfo* info, UINT width, UINT height, UINT levels,
                           UINT storageLevels, DWORD usage, D3DPOOL pool)
    : Serial(D3D9_NewSerial()), Device(device), Info(info), Width(width), Height(height), Levels(levels),
      StorageLevels(storageLevels), Usage(usage), Pool(pool)
{
    LevelData.resize(Levels);
    LevelDirty.assign(Levels, 0);
    LevelLocked.assign(Levels, 0);
    Surfaces.assign(Levels, nullptr);
    Device->ResourceCreated();
}

TD3D9Texture::~TD3D9Texture()
{
    for (TD3D9Surface* surface : Surfaces) {
        if (surface != nullptr) {
            surface->Container = nullptr; // its own count now drops it
            surface->Release();
        }
    }
    if (Gl != 0)
        Device->DeleteGL(TGLDeleteKind::Texture, Gl);
    Device->ResourceDestroyed();
}

ULONG TD3D9Texture::AddRef()
{
    return ++Refs;
}

ULONG TD3D9Texture::Release()
{
    ULONG left = --Refs;
    if (left == 0)
        delete this;
    return left;
}

HRESULT TD3D9Texture::SetAutoGenFilterType(DWORD filter)
{
    if (HRESULT injected = D3D9Test_Injected("SetAutoGenFilterType"))
        return injected;
    if (filter > D3DTEXF_ANISOTROPIC)
        return D3DERR_INVALIDCALL;
    return D3D_OK; // GL's mipmap generation has one filter
}

HRESULT TD3D9Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc)
{
    if (desc == nullptr || level >= Levels)
        return D3DERR_INVALIDCALL;
    *desc = {};
    desc->Format = Info->Format;
    desc->Type = D3DRTYPE_SURFACE;
    desc->Usage = Usage;
    desc->Pool = Pool;
    desc->Width = LevelWidth(level);
    desc->Height = LevelHeight(level);
    return D3D_OK;
}

HRESULT TD3D9Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface)
{
    if (HRESULT injected = D3D9Test_Injected("GetSurfaceLevel"))
        return injected;
    if (surface == nullptr || level >= Levels)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Device->Lock);
    if (Surfaces[level] == nullptr) {
        auto* made = new TD3D9Surface(Device, TSurfaceKind::TextureLevel, Info, LevelWidth(level), LevelHeight(level),
                                      Pool, Usage);
        made->Container = this;
        made->Level = level;
        Surfaces[level] = made;
    }
    AddRef();
    *surface = Surfaces[level];
    return D3D_OK;
}

HRESULT TD3D9Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const TRect* rect, DWORD flags)
{
    (void)flags;
    if (HRESULT injected = D3D9Test_Injected("LockRect"))
        return injected;
    // Render targets live only in GL; Direct3D does not lock them either.
    if (locked == nullptr || level >= Levels || (Usage & D3DUSAGE_RENDERTARGET))
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Device->Lock);
    if (LevelLocked[level])
        return D3DERR_INVALIDCALL;
    uint32_t pitch = D3D9_RowPitch(*Info, LevelWidth(level));
    size_t offset = 0;
    if (!RectOffset(*Info, LevelWidth(level), LevelHeight(level), rect, pitch, offset))
        return D3DERR_INVALIDCALL;
    std::vector<uint8_t>& data = LevelData[level];
    if (data.empty())
        data.assign(static_cast<size_t>(pitch) * D3D9_RowCount(*Info, LevelHeight(level)), 0);
    LevelLocked[level] = 1;
    locked->Pitch = static_cast<int32_t>(pitch);
    locked->pBits = data.data() + offset;
    return D3D_OK;
}

HRESULT TD3D9Texture::UnlockRect(UINT level)
{
    if (HRESULT injected = D3D9Test_Injected("UnlockRect"))
        return injected;
    if (level >= Levels)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Device->Lock);
    if (!LevelLocked[level])
        return D3DERR_INVALIDCALL;
    LevelLocked[level] = 0;
    LevelDirty[level] = 1;
    if (level == 0 && (Usage & D3DUSAGE_AUTOGENMIPMAP))
        NeedMips = true;
    return D3D_OK;
}

void TD3D9Texture::WriteLevel(UINT level, UINT x, UINT y, UINT width, UINT height, const uint8_t* source,
                              uint32_t pitch)
{
    uint32_t levelPitch = D3D9_RowPitch(*Info, LevelWidth(level));
    std::vector<uint8_t>& data = LevelData[level];
    if (data.empty())
        data.assign(static_cast<size_t>(levelPitch) * D3D9_RowCount(*Info, LevelHeight(level)), 0);
    uint32_t rowBytes = D3D9_RowPitch(*Info, width);
    uint32_t rows = D3D9_RowCount(*Info, height);
    uint32_t firstRow = Info->Compressed ? y / 4 : y;
    uint32_t firstByte = Info->Compressed ? (x / 4) * Info->Bytes : x * Info->Bytes;
    for (uint32_t row = 0; row < rows; row++)
        std::memcpy(data.data() + static_cast<size_t>(firstRow + row) * levelPitch + firstByte,
                    source + static_cast<size_t>(row) * pitch, rowBytes);
    LevelDirty[level] = 1;
    if (level == 0 && (Usage & D3DUSAGE_AUTOGENMIPMAP))
        NeedMips = true;
}

GLuint TD3D9Texture::EnsureGL(bool& uploaded)
{
    if (Gl == 0) {
        glCreateTextures(GL_TEXTURE_2D, 1, &Gl);
        glTextureStorage2D(Gl, static_cast<GLsizei>(StorageLevels), Info->Internal, Width, Height);
        glTextureParameteriv(Gl, GL_TEXTURE_SWIZZLE_RGBA, Info->Swizzle);
        glTextureParameteri(Gl, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(StorageLevels - 1));
    }
    for (UINT level = 0; level < Levels; level++) {
        if (!LevelDirty[level] || LevelData[level].empty())
            continue;
        LevelDirty[level] = 0;
        uploaded = true;
        GLsizei w = static_cast<GLsizei>(LevelWidth(level)), h = static_cast<GLsizei>(LevelHeight(level));
        if (Info->Compressed)
            glCompressedTextureSubImage2D(Gl, static_cast<GLint>(level), 0, 0, w, h, Info->Internal,
                                          static_cast<GLsizei>(LevelData[level].size()), LevelData[level].data());
        else
            glTextureSubImage2D(Gl, static_cast<GLint>(level), 0, 0, w, h, Info->Upload, Info->Type,
                                LevelData[level].data());
    }
    if (NeedMips) {
        NeedMips = false;
        uploaded = true;
        if (!Info->Compressed && StorageLevels > 1)
            glGenerateTextureMipmap(Gl);
    }
    return Gl;
}

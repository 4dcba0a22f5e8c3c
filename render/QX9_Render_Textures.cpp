// Textures: loading, creation, upload into device objects, release, and the
// registry operations of T3D_Render.
#include "render/QX9_Render_Textures.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "render/QX9_Render_Images.h"
#include "render/QX9_Render_Upload.h"

namespace {

bool IsDxt(int32_t format)
{
    return static_cast<D3DFORMAT>(format) == D3DFMT_DXT1 || static_cast<D3DFORMAT>(format) == D3DFMT_DXT3 ||
           static_cast<D3DFORMAT>(format) == D3DFMT_DXT5;
}

// The smallest power of two that is at least 2 and not less than size.
int32_t PowerOfTwoSize(int32_t size)
{
    int32_t p = 2;
    while (p < size && p < (1 << 30))
        p <<= 1;
    return p;
}

template <class T> void ReleaseObject(T*& object)
{
    if (object != nullptr)
        object->Release();
    object = nullptr;
}

// Bytes of one pixel that Texture_ReadPixel copies; 0 for formats it does
// not read (depth formats, L8, DXT).
int32_t ReadPixelBytes(int32_t format)
{
    if (format == 71 || format == 75 || format == 80)
        return 0;
    switch (T3D_Texture::BitsPerPixel(format)) {
    case 16:
        return 2;
    case 32:
        return IsDxt(format) ? 0 : 4;
    case 64:
        return 8;
    case 128:
        return 16;
    default:
        return 0;
    }
}

int32_t FreeTextureSlot(T3D_Render& render, const std::string& operation, const std::string& argument)
{
    for (int32_t slot = 0; slot < TEXTURE_SLOTS; slot++)
        if (render.Textures[static_cast<size_t>(slot)] == nullptr) {
            render.TextureCount = std::max(render.TextureCount, slot + 1);
            return slot;
        }
    // Callers index with the slot at once: stop here rather than hand out
    // an invalid one.
    FatalError(operation, argument, "TEXTURE REGISTRY FULL!");
}

void ReleaseTexturesForReset(T3D_Render& render)
{
    for (int32_t slot = 0; slot < render.TextureCount; slot++) {
        T3D_Texture* texture = render.Textures[static_cast<size_t>(slot)];
        if (texture != nullptr && texture->State == RESOURCE_ON_DEVICE)
            texture->DropDeviceObjects();
    }
}

void RestoreTexturesAfterReset(T3D_Render& render)
{
    for (int32_t slot = 0; slot < render.TextureCount; slot++) {
        T3D_Texture* texture = render.Textures[static_cast<size_t>(slot)];
        if (texture != nullptr && texture->State == RESOURCE_ON_DEVICE) {
            texture->Release(0);
            texture->Upload(1);
        }
    }
}

struct TRegisterTextureHandlers {
    TRegisterTextureHandlers() { RegisterTextureDeviceLossHandlers(); }
} RegisterTextureHandlersAtStart;

} // namespace

void RegisterTextureDeviceLossHandlers()
{
    DeviceLossHandlers.ReleaseTextures = &ReleaseTexturesForReset;
    DeviceLossHandlers.RestoreTextures = &RestoreTexturesAfterReset;
}

// ---------------------------------------------------------------------------
// T3D_UniversalResource

T3D_UniversalResource::T3D_UniversalResource(T3D_Render* owner) : Owner(owner) {}

T3D_UniversalResource::~T3D_UniversalResource()
{
    // A queued task must not outlive its resource.
    WithdrawQueuedUploads();
}

void T3D_UniversalResource::WithdrawQueuedUploads()
{
    if (Owner != nullptr)
        Owner->UploadQueue_Remove(this);
}

void SplitResourceName(const std::string& fileName, std::string& folder, std::string& name)
{
    folder = LowerCaseStr(ExtractPathStr(fileName));
    name = LowerCaseStr(ExtractNameStr(fileName));
}

void T3D_UniversalResource::SetFile(const std::string& fileName)
{
    SplitResourceName(fileName, Folder, FileName);
    int32_t size = -1;
    int64_t time = -1;
    if (!GetFileInfo(fileName, size, time)) {
        size = -1;
        time = -1;
    }
    FileSize = size;
    FileTime = time;
    State = RESOURCE_FILE_READ;
}

// ---------------------------------------------------------------------------
// T3D_Texture

T3D_Texture::T3D_Texture(T3D_Render* owner, uint8_t automaticMipmaps, uint8_t keepData) : T3D_UniversalResource(owner)
{
    AutomaticMipmaps = automaticMipmaps;
    KeepData = keepData;
}

T3D_Texture::~T3D_Texture()
{
    // A loader thread may free a texture while the main thread performs the
    // queue: the texture's tasks go first, and its parts only afterwards.
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    WithdrawQueuedUploads();
    if (State == RESOURCE_ON_DEVICE)
        ReleaseDeviceObjects(true);
    FreeImageLevels(ImageLevels);
}

int32_t T3D_Texture::BitsPerPixel(int32_t format)
{
    if (IsDxt(format))
        return static_cast<D3DFORMAT>(format) == D3DFMT_DXT1 ? 4 : 8;
    switch (format) {
    case 116:
        return 128;
    case 36:
    case 113:
    case 115:
        return 64;
    case 21:
    case 22:
    case 31:
    case 32:
    case 33:
    case 34:
    case 35:
    case 62:
    case 63:
    case 64:
    case 67:
    case 68:
    case 69:
    case 71:
    case 75:
    case 82:
    case 112:
    case 114:
        return 32;
    case 23:
    case 24:
    case 25:
    case 26:
    case 29:
    case 30:
    case 51:
    case 60:
    case 61:
    case 70:
    case 80:
    case 81:
    case 111:
        return 16;
    case 50:
        return 8;
    default:
        return 0;
    }
}

void T3D_Texture::Load(const std::string& fileName)
{
    SetFile(fileName);
    const std::string extension = ExtractExtUpper(fileName);
    if (extension == "TGA") {
        TImageBuffer* image = nullptr;
        int32_t format = 0;
        if (Load_TGA(fileName, format, image)) {
            Format = format;
            ImageLevels.push_back(image);
            ImageWidth = image->Width;
            ImageHeight = image->Height;
        }
    } else if (extension == "DDS") {
        int32_t format = 0, width = 0, height = 0;
        Load_DDS(fileName, format, ImageLevels, width, height);
        Format = format;
        ImageWidth = width;
        ImageHeight = height;
        if (ImageLevels.size() > 1)
            AutomaticMipmaps = 0;
    } else {
        // Format 0 stops the program when the texture is made: name the file
        // for that stop.
        AppendEngineError("T3D_Texture.Load(" + fileName + ") -> UNSUPPORTED IMAGE FILE!");
    }
    DeviceWidth = PowerOfTwoSize(ImageWidth);
    DeviceHeight = PowerOfTwoSize(ImageHeight);
}

void T3D_Texture::SetSurface(const std::string& name, int32_t kind, int32_t depthFormat, int32_t format,
                             int32_t mipLevels, int32_t height, int32_t width)
{
    FileName = name;
    DepthFormat = depthFormat;
    Format = format;
    MipLevels = mipLevels;
    ImageWidth = width;
    ImageHeight = height;
    if (kind == TEXTURE_DEFAULT) {
        DeviceWidth = PowerOfTwoSize(width);
        DeviceHeight = PowerOfTwoSize(height);
    } else {
        DeviceWidth = width;
        DeviceHeight = height;
    }
    Offscreen = kind == TEXTURE_OFFSCREEN ? 1 : 0;
    RenderTarget = kind == TEXTURE_RENDERTARGET ? 1 : 0;
}

int32_t T3D_Texture::DepthBytes() const
{
    return static_cast<int32_t>(static_cast<int64_t>(BitsPerPixel(DepthFormat)) * DeviceWidth * DeviceHeight / 8);
}

void T3D_Texture::Upload(uint8_t forced)
{
    // Device objects and the statistics change only under the queue lock,
    // whichever thread uploads or releases.
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    const int64_t cost = static_cast<int64_t>(BitsPerPixel(Format)) * DeviceWidth * DeviceHeight / 8;
    if (UploadQueue_Defer(*Owner, UPLOAD_TEXTURE, cost, this))
        return;
    UploadNow(forced);
}

void T3D_Texture::PerformQueuedUpload()
{
    UploadNow(0);
}

void T3D_Texture::UploadNow(uint8_t forced)
{
    if (State == RESOURCE_ON_DEVICE && forced != 0)
        ReleaseDeviceObjects(true);
    if (forced != 0 || State != RESOURCE_ON_DEVICE)
        CreateDeviceObjects();
    State = RESOURCE_ON_DEVICE;
    FillDeviceObjects();
    if (KeepData == 0)
        FreeImageLevels(ImageLevels);
}

void T3D_Texture::CreateDeviceObjects()
{
    IDirect3DDevice9* device = Owner->Device;
    const UINT w = static_cast<UINT>(DeviceWidth), h = static_cast<UINT>(DeviceHeight);
    const D3DFORMAT format = static_cast<D3DFORMAT>(Format);
    if (RenderTarget != 0) {
        D3DRetry(D3DOP_CreateTexture, [&] {
            return device->CreateTexture(w, h, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, &Texture, nullptr);
        });
        D3DRetry(D3DOP_TextureGetSurfaceLevel, [&] { return Texture->GetSurfaceLevel(0, &Surface); });
        // A target made without a depth format (a pass that only copies or
        // draws 2D) has no depth surface: the device refuses format 0.
        if (DepthFormat != 0)
            D3DRetry(D3DOP_CreateDepthStencilSurface, [&] {
                return device->CreateDepthStencilSurface(w, h, static_cast<D3DFORMAT>(DepthFormat), D3DMULTISAMPLE_NONE,
                                                         0, TRUE, &DepthSurface, nullptr);
            });
        Owner->TextureBytes += DepthBytes();
        Owner->TextureObjects += 1;
    } else if (Offscreen != 0) {
        D3DRetry(D3DOP_CreateOffscreenPlainSurface, [&] {
            return device->CreateOffscreenPlainSurface(w, h, format, D3DPOOL_SYSTEMMEM, &OffscreenSurface, nullptr);
        });
    } else if (ImageLevels.size() > 1) {
        const UINT levels = static_cast<UINT>(ImageLevels.size());
        D3DRetry(D3DOP_CreateTexture,
                 [&] { return device->CreateTexture(w, h, levels, 0, format, D3DPOOL_MANAGED, &Texture, nullptr); });
    } else if (AutomaticMipmaps != 0) {
        D3DRetry(D3DOP_CreateTexture, [&] {
            return device->CreateTexture(w, h, 0, D3DUSAGE_AUTOGENMIPMAP, format, D3DPOOL_MANAGED, &Texture, nullptr);
        });
        D3DRetry(D3DOP_TextureSetAutoGenFilterType, [&] { return Texture->SetAutoGenFilterType(D3DTEXF_ANISOTROPIC); });
    } else if (MipLevels > 1) {
        const UINT levels = static_cast<UINT>(MipLevels);
        D3DRetry(D3DOP_CreateTexture,
                 [&] { return device->CreateTexture(w, h, levels, 0, format, D3DPOOL_DEFAULT, &Texture, nullptr); });
    } else {
        D3DRetry(D3DOP_CreateTexture,
                 [&] { return device->CreateTexture(w, h, 1, 0, format, D3DPOOL_MANAGED, &Texture, nullptr); });
    }
    int64_t texels = static_cast<int64_t>(DeviceWidth) * DeviceHeight;
    if (ImageLevels.size() > 1 || AutomaticMipmaps != 0 || MipLevels > 1)
        texels = std::llround(static_cast<double>(texels) * 1.3333333);
    DeviceBytes = static_cast<int32_t>(texels * BitsPerPixel(Format) / 8);
    Owner->TextureBytes += DeviceBytes;
    Owner->TextureObjects += 1;
}

void T3D_Texture::FillDeviceObjects()
{
    if (ImageLevels.empty() || Texture == nullptr)
        return;
    if (IsDxt(Format)) {
        const UINT deviceLevels = Texture->GetLevelCount();
        for (size_t i = 0; i < ImageLevels.size() && i < deviceLevels; i++) {
            const TImageBuffer* level = ImageLevels[i];
            if (level == nullptr || level->Data == nullptr)
                continue;
            const UINT index = static_cast<UINT>(i);
            D3DLOCKED_RECT locked;
            D3DRetry(D3DOP_TextureLockRect, [&] { return Texture->LockRect(index, &locked, nullptr, 0); });
            // The device level is never smaller than the image's; bound the
            // copy by it all the same.
            const int32_t deviceRows = (std::max(1, DeviceHeight >> i) + 3) / 4;
            const int32_t rows = std::min(level->Height, deviceRows);
            const int32_t rowBytes = level->Width;
            auto* to = static_cast<uint8_t*>(locked.pBits);
            if (rowBytes == locked.Pitch)
                std::memcpy(to, level->Data, static_cast<size_t>(rowBytes) * rows);
            else
                for (int32_t y = 0; y < rows; y++)
                    std::memcpy(to + static_cast<size_t>(y) * locked.Pitch,
                                level->Data + static_cast<size_t>(y) * rowBytes,
                                static_cast<size_t>(std::min(rowBytes, locked.Pitch)));
            D3DRetry(D3DOP_TextureUnlockRect, [&] { return Texture->UnlockRect(index); });
        }
        return;
    }
    const TImageBuffer* image = ImageLevels[0];
    if (image == nullptr || image->Data == nullptr)
        return;
    const int32_t rowBytes = BitsPerPixel(Format) * ImageWidth / 8;
    // The image record bounds what is read, the device size what is written.
    const int32_t sourceRow = image->Width * (image->BitsPerPixel / 8);
    const int32_t rows = std::min({ImageHeight, image->Height, DeviceHeight});
    D3DLOCKED_RECT locked;
    D3DRetry(D3DOP_TextureLockRect, [&] { return Texture->LockRect(0, &locked, nullptr, 0); });
    auto* to = static_cast<uint8_t*>(locked.pBits);
    if (rowBytes == locked.Pitch && rowBytes == sourceRow && ImageHeight == DeviceHeight && rows == ImageHeight) {
        std::memcpy(to, image->Data, static_cast<size_t>(rowBytes) * rows);
    } else {
        const size_t bytes = static_cast<size_t>(std::max(0, std::min({rowBytes, sourceRow, locked.Pitch})));
        for (int32_t y = 0; y < rows; y++)
            std::memcpy(to + static_cast<size_t>(y) * locked.Pitch, image->Data + static_cast<size_t>(y) * sourceRow,
                        bytes);
    }
    D3DRetry(D3DOP_TextureUnlockRect, [&] { return Texture->UnlockRect(0); });
}

void T3D_Texture::ReleaseDeviceObjects(bool count)
{
    if (RenderTarget != 0) {
        ReleaseObject(Surface);
        ReleaseObject(DepthSurface);
        if (count) {
            Owner->TextureBytes -= DepthBytes();
            Owner->TextureObjects -= 1;
        }
    }
    ReleaseObject(Texture);
    ReleaseObject(OffscreenSurface);
    if (count) {
        Owner->TextureBytes -= DeviceBytes;
        Owner->TextureObjects -= 1;
    }
}

void T3D_Texture::DropDeviceObjects()
{
    ReleaseDeviceObjects(false);
}

void T3D_Texture::Release(uint8_t freeData)
{
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    // Without its data a queued upload could only fail; without freeing the
    // data the task stays and makes the texture again.
    if (freeData != 0)
        WithdrawQueuedUploads();
    if (State == RESOURCE_RELEASED)
        return;
    if (State == RESOURCE_ON_DEVICE)
        ReleaseDeviceObjects(true);
    if (freeData != 0) {
        FileName.clear();
        Format = 0;
        DeviceWidth = 0;
        DeviceHeight = 0;
        Group = 0;
        FreeImageLevels(ImageLevels);
    }
    State = RESOURCE_RELEASED;
}

// ---------------------------------------------------------------------------
// The registry

T3D_Texture* TextureAt(const T3D_Render& render, int32_t slot)
{
    if (slot < 0 || slot >= render.TextureCount || slot >= TEXTURE_SLOTS)
        return nullptr;
    return render.Textures[static_cast<size_t>(slot)];
}

void T3D_Render::Texture_SetLoadOptions(int32_t flags, int32_t group)
{
    TextureLoadFlags = flags;
    TextureLoadGroup = group;
}

int32_t T3D_Render::Texture_Load(const std::string& fileName)
{
    std::string folder, name;
    SplitResourceName(fileName, folder, name);
    for (int32_t slot = 0; slot < TextureCount; slot++) {
        const T3D_Texture* texture = Textures[static_cast<size_t>(slot)];
        if (texture != nullptr && texture->FileName == name && texture->Folder == folder)
            return slot;
    }
    const int32_t slot = FreeTextureSlot(*this, "T3D_Render.Texture_Load", fileName);
    auto* texture = new T3D_Texture(this, (TextureLoadFlags & TEXTURE_NO_MIPMAPS) == 0 ? 1 : 0,
                                    (TextureLoadFlags & TEXTURE_KEEP_DATA) != 0 ? 1 : 0);
    texture->SlotIndex = slot;
    texture->Group = static_cast<uint32_t>(TextureLoadGroup);
    Textures[static_cast<size_t>(slot)] = texture;
    texture->Load(fileName);
    texture->Upload(1);
    return slot;
}

int32_t T3D_Render::Texture_Create(int32_t kind, int32_t width, int32_t height, int32_t mipLevels, int32_t format,
                                   int32_t depthFormat)
{
    const int32_t slot = FreeTextureSlot(*this, "T3D_Render.Texture_Create", std::to_string(kind));
    std::string prefix;
    uint8_t mipmaps = 0, keep = 0;
    if (kind == TEXTURE_OFFSCREEN) {
        prefix = "OFFSCREEN_";
    } else if (kind == TEXTURE_RENDERTARGET) {
        prefix = "RENDERTARGET_";
    } else {
        prefix = "DEFAULT_";
        keep = (TextureLoadFlags & TEXTURE_KEEP_DATA) != 0 ? 1 : 0;
        mipmaps = mipLevels <= 1 && (TextureLoadFlags & TEXTURE_NO_MIPMAPS) == 0 ? 1 : 0;
    }
    auto* texture = new T3D_Texture(this, mipmaps, keep);
    texture->SlotIndex = slot;
    texture->Group = static_cast<uint32_t>(TextureLoadGroup);
    Textures[static_cast<size_t>(slot)] = texture;
    texture->SetSurface(prefix + std::to_string(slot), kind, depthFormat, format, mipLevels, height, width);
    texture->Upload(1);
    return slot;
}

void T3D_Render::Texture_CopyRenderTarget(int32_t source, int32_t target)
{
    T3D_Texture* from = TextureAt(*this, source);
    T3D_Texture* to = TextureAt(*this, target);
    if (from == nullptr || to == nullptr || from->Surface == nullptr || to->OffscreenSurface == nullptr)
        return;
    D3DRetry(D3DOP_GetRenderTargetData,
             [&] { return Device->GetRenderTargetData(from->Surface, to->OffscreenSurface); });
}

void T3D_Render::Texture_ReadPixel(int32_t slot, int32_t x, int32_t y, void* buffer)
{
    T3D_Texture* texture = TextureAt(*this, slot);
    if (texture == nullptr || texture->Offscreen == 0 || texture->OffscreenSurface == nullptr || buffer == nullptr)
        return;
    // Callers pass positions derived from the mouse: outside the surface
    // nothing is read.
    if (x < 0 || y < 0 || x >= texture->DeviceWidth || y >= texture->DeviceHeight)
        return;
    const int32_t bytes = ReadPixelBytes(texture->Format);
    if (bytes == 0)
        return;
    TRect rect;
    rect.Left = x;
    rect.Top = y;
    rect.Right = x + 1;
    rect.Bottom = y + 1;
    D3DLOCKED_RECT locked;
    if (texture->OffscreenSurface->LockRect(&locked, &rect, D3DLOCK_READONLY) != D3D_OK)
        return;
    std::memcpy(buffer, locked.pBits, static_cast<size_t>(bytes));
    texture->OffscreenSurface->UnlockRect();
}

void T3D_Render::Texture_Free(int32_t slot, uint8_t destroy)
{
    T3D_Texture* texture = TextureAt(*this, slot);
    if (texture == nullptr)
        return;
    texture->Release(destroy);
    if (destroy != 0) {
        delete texture;
        Textures[static_cast<size_t>(slot)] = nullptr;
    }
}

void T3D_Render::Texture_FreeGroup(int32_t group, uint8_t destroy)
{
    for (int32_t slot = 0; slot < TextureCount; slot++) {
        const T3D_Texture* texture = Textures[static_cast<size_t>(slot)];
        if (texture != nullptr && (texture->Group & static_cast<uint32_t>(group)) != 0)
            Texture_Free(slot, destroy);
    }
}

void T3D_Render::Texture_ReuploadGroup(int32_t group)
{
    for (int32_t slot = 0; slot < TextureCount; slot++) {
        T3D_Texture* texture = Textures[static_cast<size_t>(slot)];
        if (texture != nullptr && (texture->Group & static_cast<uint32_t>(group)) != 0)
            texture->Upload(0);
    }
}

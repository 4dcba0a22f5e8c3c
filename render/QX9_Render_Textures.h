// File-backed renderer resources and textures. Every picture the program
// draws is a texture in the renderer's registry, addressed by its slot
// (-1 = none): images read from TGA and DDS files (shared by path and name),
// render targets with their depth surfaces, and system-memory surfaces that
// render targets are read back into.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_System.h"
#include "render/QX9_Render.h"

// The common base of textures, shaders and meshes.
class T3D_UniversalResource {
public:
    explicit T3D_UniversalResource(T3D_Render* owner);
    // Removes the resource's pending upload tasks. A kind that frees device
    // objects or data of its own withdraws them itself first (by then its
    // own part is already gone).
    virtual ~T3D_UniversalResource();

    // Folder and name (lower case), size and time of the file (-1 for both
    // when it is missing); state 1.
    void SetFile(const std::string& fileName);
    // The device part of a queued upload, not forced, whatever the deferral
    // flag says (called by UploadQueue_Process).
    virtual void PerformQueuedUpload() {}

    T3D_Render* Owner = nullptr;
    std::string Folder;   // up to and including the last "\"
    std::string FileName; // after the last "\"
    int32_t FileSize = 0;
    int64_t FileTime = 0;
    uint8_t State = 0; // 0 new, 1 file read, 2 on the device, 4 released
    int32_t SlotIndex = -1;
    uint8_t KeepData = 0; // keep the image data after an upload

protected:
    // Removes this resource's queued upload tasks. Called with
    // UploadQueueLock held, so that an upload the main thread is performing
    // finishes first and none starts afterwards.
    void WithdrawQueuedUploads();
};

inline constexpr uint8_t RESOURCE_NEW = 0;
inline constexpr uint8_t RESOURCE_FILE_READ = 1;
inline constexpr uint8_t RESOURCE_ON_DEVICE = 2;
inline constexpr uint8_t RESOURCE_RELEASED = 4;

// Texture_Create kinds.
inline constexpr int32_t TEXTURE_OFFSCREEN = 0;
inline constexpr int32_t TEXTURE_RENDERTARGET = 1;
inline constexpr int32_t TEXTURE_DEFAULT = 2;

// Texture_SetLoadOptions flags.
inline constexpr int32_t TEXTURE_KEEP_DATA = 1;
inline constexpr int32_t TEXTURE_NO_MIPMAPS = 2;

inline constexpr int32_t TEXTURE_SLOTS = 10001;

class T3D_Texture : public T3D_UniversalResource {
public:
    T3D_Texture(T3D_Render* owner, uint8_t automaticMipmaps, uint8_t keepData);
    ~T3D_Texture() override;

    // Bits per pixel of a Direct3D format (DXT1 4, DXT3 and DXT5 8; 0 for
    // formats the renderer does not know).
    static int32_t BitsPerPixel(int32_t format);

    // Reads a ".TGA" or ".DDS" file; another extension leaves no image and
    // format 0 (and its name in the error text). The device size is the image size rounded up to powers of two
    // (at least 2).
    void Load(const std::string& fileName);
    // Describes a created texture. kind 0 offscreen, 1 render target (both of
    // the size given), 2 default (the size rounded up to powers of two).
    void SetSurface(const std::string& name, int32_t kind, int32_t depthFormat, int32_t format, int32_t mipLevels,
                    int32_t height, int32_t width);
    // Creates the device objects and fills them; queued while the renderer
    // defers uploads.
    void Upload(uint8_t forced);
    // Releases the device objects (state 4); with freeData also the name,
    // format, device size, group and image.
    void Release(uint8_t freeData);
    void PerformQueuedUpload() override;

    // Releases the device objects without touching the statistics or the
    // state (the lost-device recovery counts them again when it restores).
    void DropDeviceObjects();

    uint32_t Group = 0;
    int32_t ImageWidth = 0;
    int32_t ImageHeight = 0;
    std::vector<TImageBuffer*> ImageLevels;
    int32_t DeviceWidth = 0;
    int32_t DeviceHeight = 0;
    int32_t DeviceBytes = 0;
    int32_t Format = 0;
    int32_t MipLevels = 1;
    uint8_t RenderTarget = 0;
    uint8_t Offscreen = 0;
    uint8_t AutomaticMipmaps = 0;
    IDirect3DTexture9* Texture = nullptr;
    IDirect3DSurface9* Surface = nullptr; // level 0 of a render target
    IDirect3DSurface9* DepthSurface = nullptr;
    int32_t DepthFormat = 0;
    IDirect3DSurface9* OffscreenSurface = nullptr;

private:
    void UploadNow(uint8_t forced);
    void CreateDeviceObjects();
    void FillDeviceObjects();
    void ReleaseDeviceObjects(bool count);
    int32_t DepthBytes() const;
};

// The texture of a slot; nullptr for a free or out-of-range slot.
T3D_Texture* TextureAt(const T3D_Render& render, int32_t slot);
// Lets the lost-device recovery release and restore the textures (done at
// start-up; tests that replace the handlers call it again).
void RegisterTextureDeviceLossHandlers();
// Splits a program path into its lower-cased folder and name.
void SplitResourceName(const std::string& fileName, std::string& folder, std::string& name);

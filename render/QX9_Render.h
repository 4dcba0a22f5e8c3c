// QX9_Render: the renderer object. It owns the Direct3D object and device,
// the adapter's capabilities, the ten vertex declarations, the registries of
// every GPU resource, the caches of device state the drawing code consults,
// the deferred upload queue and the statistics. Every handled device call
// goes through D3DCheck/D3DFail: retried, and fatal on the eleventh failure
// in a row.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_Parallelizer.h"
#include "engine/QX9_System.h"
#include "platform/d3d9/D3D9.h"

// Resources the renderer keeps in its registries (their units define them).
class T3D_Render;
class T3D_Mesh;
class T3D_Sprite;
class T3D_Font;
class T3D_Scene;
class T3D_Shader;
class T3D_Texture;
struct T3D_Constant;

// ---------------------------------------------------------------------------
// Vertex formats

constexpr int32_t MESH_GRID = 1;
constexpr int32_t MESH_TEXTURED = 2;
constexpr int32_t MESH_NORMALMAPPED = 3;
constexpr int32_t MESH_LANDSKAPE = 4;
constexpr int32_t MESH_SKINNED = 5;
constexpr int32_t MESH_SPRITE = 6;
constexpr int32_t MESH_WATER = 7;
constexpr int32_t MESH_TREECOMA = 8;
constexpr int32_t MESH_GRASS = 9;
constexpr int32_t MESH_PARTICLE = 10;
constexpr int32_t VertexFormatCount = 10;

// Names of formats 1..10 (entry 0 unused).
extern const std::array<std::string, VertexFormatCount + 1> VertexFormatNames;
// Bytes per vertex of formats 1..10 (entry 0 is 0).
extern const std::array<int32_t, VertexFormatCount + 1> VertexFormatStride;
// The element list (ended by D3DDECL_END) of format 1..10; nullptr otherwise.
const D3DVERTEXELEMENT9* VertexFormatElements(int32_t format);

// ---------------------------------------------------------------------------
// Device calls, failures and retries

// Operation codes of the handled device calls (the text of each is in
// D3DOperationName).
enum : int32_t {
    D3DOP_Unknown = 0,
    D3DOP_Present = 1,
    D3DOP_GetRenderTarget = 2,
    D3DOP_GetDepthStencilSurface = 3,
    D3DOP_GetRenderTargetData = 4,
    D3DOP_CreateVertexDeclaration = 5,
    D3DOP_CreateTexture = 6,
    D3DOP_CreateDepthStencilSurface = 7,
    D3DOP_CreateOffscreenPlainSurface = 8,
    D3DOP_CreatePixelShader = 9,
    D3DOP_CreateVertexShader = 10,
    D3DOP_CreateVertexBuffer = 11,
    D3DOP_CreateIndexBuffer = 12,
    D3DOP_SetPixelShaderConstantF = 13,
    D3DOP_SetVertexShaderConstantF = 14,
    D3DOP_SetVertexShader = 15,
    D3DOP_SetPixelShader = 16,
    D3DOP_SetVertexDeclaration = 17,
    D3DOP_SetRenderTarget = 18,
    D3DOP_SetDepthStencilSurface = 19,
    D3DOP_SetStreamSource = 20,
    D3DOP_SetIndices = 21,
    D3DOP_TextureGetSurfaceLevel = 22,
    D3DOP_TextureSetAutoGenFilterType = 23,
    D3DOP_TextureLockRect = 24,
    D3DOP_TextureUnlockRect = 25,
    D3DOP_UpdateSurface = 26,
    D3DOP_VertexBufferLock = 27,
    D3DOP_VertexBufferUnlock = 28,
    D3DOP_IndexBufferLock = 29,
    D3DOP_IndexBufferUnlock = 30,
    D3DOP_DrawIndexedPrimitive = 31,
    D3DOP_DrawIndexedPrimitiveUP = 32,
};
// The 33 operation names by code; any other code gives "Unknown".
extern const std::array<const char*, 33> D3DOperationNames;
const char* D3DOperationName(int32_t operation);
// The Direct3D 9 name of a result ("D3DERR_UNKNOWN" for any other).
const char* D3DResultNames(HRESULT result);

extern TCriticalSection RenderLock;          // held by a scene for its whole render
extern TCriticalSection UploadQueueLock;     // guards DeferUploads and UploadQueue
extern std::atomic<int32_t> D3DFailureCount; // consecutive failures of handled calls
extern std::atomic<HRESULT> D3DLastResult;   // the result D3DCheck saw last

// Remembers the result; true for S_OK and D3DOK_NOAUTOGEN, which also ends
// the run of failures.
bool D3DCheck(HRESULT result);
// Sleeps 5 ms and counts a failure; the eleventh in a row appends
// "<operation>: <result name> -> DIRECT3D ERROR!" and stops the program.
// A subject line, when given, goes before it: what the call was for.
void D3DFail(int32_t operation, const std::string& subject = std::string());

// Makes the call until it succeeds (the retry discipline of every handled
// device call).
template <class TCall> void D3DRetry(int32_t operation, TCall&& call)
{
    while (!D3DCheck(call()))
        D3DFail(operation);
}

// The same, and a call that keeps failing names what it was for: subject()
// gives the line put before the fatal one.
template <class TCall, class TSubject> void D3DRetry(int32_t operation, TCall&& call, TSubject&& subject)
{
    while (!D3DCheck(call()))
        D3DFail(operation, D3DFailureCount >= 10 ? subject() : std::string());
}

// Tests replace the Direct3D object's creation; nullptr restores
// Direct3DCreate9.
using TDirect3DCreate = IDirect3D9* (*)(UINT sdkVersion);
void SetDirect3DCreate(TDirect3DCreate create);

// Unit start and end: the globals cleared; the locks live as long as the
// program.
void QX9_Render_Initialization();
void QX9_Render_Finalization();

// ---------------------------------------------------------------------------
// The renderer's records

// Render states known to be set on the device: which fields (mask) hold
// which values.
struct TRenderStateKey {
    uint32_t Mask = 0;
    uint32_t Value = 0;
};

// What the device is known to have on one sampler stage.
struct T3D_TextureStage {
    int32_t TextureIndex = -1; // -1: nothing known
    uint8_t Clamp = 0;         // 1 clamped in U and V, 0 wrapped
    uint8_t Changed = 0;
    uint8_t Used = 0;
    int32_t PassWord = 0; // written by the pass renderer (0 or 1)
};

// A deferred upload.
struct TUploadTask {
    int32_t Kind = 0; // 1 texture, 2 mesh, 3 shader
    void* Object = nullptr;
    int32_t Cost = 0; // bytes
    uint8_t Done = 0;
};

struct T3D_DisplayMode {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint32_t RefreshRate = 0;
    uint32_t Format = 0;
};

// The device-loss recovery's work on the resources, in the order it runs.
// The units that own each kind of resource fill these in; an empty entry has
// nothing to do.
struct TDeviceLossHandlers {
    // State 2: release the device objects of resources on the device.
    void (*ReleaseMeshes)(T3D_Render& render) = nullptr;
    void (*ReleaseTextures)(T3D_Render& render) = nullptr;
    void (*ReleaseShaders)(T3D_Render& render) = nullptr;
    void (*ReleasePassQuads)(T3D_Render& render) = nullptr;
    // State 4: make them again.
    void (*RestoreShaders)(T3D_Render& render) = nullptr;
    void (*RestoreTextures)(T3D_Render& render) = nullptr;
    void (*RestoreMeshes)(T3D_Render& render) = nullptr;
    void (*RestorePassQuads)(T3D_Render& render) = nullptr;
    // Marks every entry of T3D_Render.Constants changed.
    void (*MarkConstantsChanged)(T3D_Render& render) = nullptr;
};
extern TDeviceLossHandlers DeviceLossHandlers;

// ---------------------------------------------------------------------------

class T3D_Render {
public:
    // Creates the Direct3D object and probes the adapter; no device yet. A
    // machine that offers no Direct3D object at all stops the program.
    T3D_Render();
    // Ends the worker pool. Releases no device resource.
    ~T3D_Render();

    // Creates the device on the window (render target 0 and the depth
    // surface kept, Z enable and Gouraud shading set, the ten declarations
    // made, the worker pool set up). A device that cannot be made stops the
    // program.
    void CreateDevice(HWND window, int32_t width, int32_t height, uint8_t fullscreen, int32_t presentInterval,
                      int32_t multisampleType, int32_t depthFormat);
    // One step of the device-loss state machine; true when the device can be
    // used this frame.
    bool CheckDevice();

    IDirect3DVertexDeclaration9* VertexDecls[VertexFormatCount] = {};
    int32_t CurrentVertexFormat = 0; // -1 after a reset: none known

    std::vector<T3D_Mesh*> _r_Meshes; // nullptr: a free slot
    std::vector<T3D_Sprite*> Sprites;
    std::vector<T3D_Font*> Fonts;
    std::array<T3D_Scene*, 11> Scenes = {};
    int32_t SceneCount = 0;
    int32_t CurrentScene = -1;
    std::array<T3D_Shader*, 1001> Shaders = {};
    int32_t ShaderCount = 0; // highest used slot + 1
    std::array<T3D_Texture*, 10001> Textures = {};
    int32_t TextureCount = 0;     // highest used slot + 1
    int32_t TextureLoadFlags = 0; // bit 0 keep image data, bit 1 no automatic mipmaps
    int32_t TextureLoadGroup = 0;

    int32_t CursorSprite = -1;
    const int32_t* CursorX = nullptr;
    const int32_t* CursorY = nullptr;
    const uint8_t* CursorVisible = nullptr;

    uint8_t DeferUploads = 0;
    std::vector<TUploadTask> UploadQueue;
    TParallelizer Parallelizer;
    std::vector<T3D_Constant*> Constants;
    // Where each kind's register sits in Constants (-1 or out of date: look it
    // up by walking the list), so that a merge finds its entry without a walk.
    std::vector<int32_t> ConstantSlots;
    std::array<T3D_TextureStage, 16> StageCache = {};
    int32_t CurrentVertexShader = -1;
    int32_t CurrentPixelShader = -1;
    TRenderStateKey CurrentKey;
    int32_t CurrentAlphaMode = 0;

    IDirect3D9* Direct3D = nullptr;
    IDirect3DDevice9* Device = nullptr;
    D3DPRESENT_PARAMETERS PresentParams;

    int32_t VertexShaderLevel = 0; // 10, 20, 30, 40 for exactly 1.0 .. 4.0
    int32_t PixelShaderLevel = 0;  // 10, 11, 12, 13, 14, 20, 30, 40
    int32_t MaxAnisotropy = 0;
    int32_t MaxMultisample = 0;
    int32_t MaxMultisampleQuality = 0;
    // G16R16, A16B16G16R16, R16F, G16R16F, A16B16G16R16F, R32F, G32R32F,
    // A32B32G32R32F render-target textures.
    std::array<uint8_t, 8> TargetFormats = {};
    std::array<uint8_t, 3> DxtSupport = {}; // DXT1, DXT3, DXT5
    uint8_t AtocSupport = 0;
    uint8_t A2m1Support = 0;

    int32_t DeviceState = 0; // 0 ok, 1 lost, 2 release, 3 reset, 4 restore
    uint8_t Fullscreen = 0;
    IDirect3DSurface9* BackBuffer = nullptr;
    IDirect3DSurface9* DepthSurface = nullptr;
    T3D_DisplayMode DisplayMode;
    int32_t ScreenWidth = 0;
    int32_t ScreenHeight = 0;

    // Statistics.
    int32_t MeshCount = 0;
    int32_t TextureObjects = 0;
    int32_t MeshBytes = 0;
    int32_t TextureBytes = 0;
    int32_t ShaderObjects = 0;
    int32_t SpriteCount = 0;

    // Render-state keys, the upload queue, textures, shaders and constants
    // (QX9_Render_StateKey/_Upload/_Textures/_Shaders/_Constants).
    void ApplyRenderStateKey(const TRenderStateKey& key);
    void UploadQueue_Begin();
    void UploadQueue_End();
    void UploadQueue_Add(int32_t kind, int32_t cost, void* object);
    void UploadQueue_Process(int32_t budget);
    bool UploadQueue_Empty();
    void UploadQueue_Remove(void* object);
    int32_t Texture_Load(const std::string& fileName);
    int32_t Texture_Create(int32_t kind, int32_t width, int32_t height, int32_t mipLevels, int32_t format,
                           int32_t depthFormat);
    void Texture_CopyRenderTarget(int32_t source, int32_t target);
    void Texture_ReadPixel(int32_t slot, int32_t x, int32_t y, void* buffer);
    void Texture_Free(int32_t slot, uint8_t destroy);
    void Texture_FreeGroup(int32_t group, uint8_t destroy);
    void Texture_ReuploadGroup(int32_t group);
    void Texture_SetLoadOptions(int32_t flags, int32_t group);
    int32_t Shader_Load(const std::string& fileName, uint8_t vertex);

    // Meshes (QX9_Render_Meshes).
    int32_t Mesh_Add(int32_t vertexFormat, const std::string& name, uint8_t keepData);
    T3D_Mesh* Mesh_Find(const std::string& name) const;
    T3D_Mesh* Mesh_Get(int32_t slot) const;
    void Mesh_Free(int32_t slot);
    void Mesh_Load(int32_t slot, const std::string& fileName, const std::string& meshName, uint8_t tangents);
    void Mesh_FindNames(const std::string& fileName, TStringArray& names);
    void Mesh_FindTexture(const std::string& fileName, const std::string& meshName, TStringArray& names);
    std::string Mesh_FindFirstTexture(const std::string& fileName, const std::string& meshName);

    // Sprites and the 2D draw lists of the scenes (QX9_Render_Sprites).
    int32_t Sprite_Add(int32_t width, int32_t height);
    T3D_Sprite* Sprite_Get(int32_t index) const;
    void Sprite_Free(int32_t index);
    void Sprite_Draw(int32_t scene, int32_t sprite, int32_t x, int32_t y, int32_t alpha);
    void ClipRect_Push(int32_t scene, int32_t left, int32_t top, int32_t right, int32_t bottom, bool intersect);
    void ClipRect_Pop(int32_t scene);
    void SetCursor(int32_t sprite, const int32_t* x, const int32_t* y, const uint8_t* visible);

    // Fonts (QX9_Render_Fonts).
    int32_t Font_Load(const std::string& fileName);
    int32_t Font_Clone(int32_t index);
    T3D_Font* Font_Get(int32_t index) const;

    // Scenes (QX9_Render_Scenes).
    int32_t Scene_Add(const std::string& name);
    T3D_Scene* Scene_Find(const std::string& name) const;
    T3D_Scene* Scene_Get(int32_t index) const;
    void MergeConstants(const struct T3D_ConstantTemplate& constantTemplate, const class T3D_ShaderConstant& list,
                        uint32_t groups);
    void UploadConstants(const struct T3D_ConstantTemplate& constantTemplate);

private:
    void ProbeAdapter();
    void ReleaseDeviceObjects();
    void RestoreDeviceObjects();
};

// Registries that grow as needed (meshes, sprites): the first free slot, or
// a new one at the end; and the list cut after its last used slot.
template <class T> size_t TakeFreeSlot(std::vector<T*>& slots)
{
    size_t slot = 0;
    while (slot < slots.size() && slots[slot] != nullptr)
        slot++;
    if (slot == slots.size())
        slots.push_back(nullptr);
    return slot;
}

template <class T> void DropTrailingFreeSlots(std::vector<T*>& slots)
{
    while (!slots.empty() && slots.back() == nullptr)
        slots.pop_back();
}

// The Direct3D-9 format numbers the probes ask about.
inline constexpr D3DFORMAT ProbedTargetFormats[8] = {D3DFMT_G16R16,  D3DFMT_A16B16G16R16,  D3DFMT_R16F,
                                                     D3DFMT_G16R16F, D3DFMT_A16B16G16R16F, D3DFMT_R32F,
                                                     D3DFMT_G32R32F, D3DFMT_A32B32G32R32F};

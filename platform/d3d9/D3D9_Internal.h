// Inside the Direct3D-9-like layer: the GL-side objects.
//
// How it works. The device keeps Direct3D's state as a logical copy (render
// and sampler states, targets, textures, shaders, constants, streams). Every
// drawing thread has its own GL context (one share group); at each draw the
// logical state is compared with what that context last had and only the
// differences reach GL. Resources keep a CPU copy of their contents and are
// made and filled in GL on first use, by whichever drawing thread needs them,
// so creating and locking never needs a context. Objects that only one
// context can see (framebuffers, vertex arrays, stream buffers) are made per
// context. GL names freed on a thread without a context wait in a queue.
#pragma once

#include <SDL.h>
#include <epoxy/gl.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

// Holds `value` in `slot`: a reference is taken on the new object before the
// old one is let go, so assigning an object to its own slot keeps it alive.
template <class T> void Assign(T*& slot, T* value)
{
    if (value != nullptr)
        value->AddRef();
    if (slot != nullptr)
        slot->Release();
    slot = value;
}

#include "platform/d3d9/D3D9.h"

// ---------------------------------------------------------------------------
// Formats (D3D9_Textures.cpp)

struct TD3D9FormatInfo {
    D3DFORMAT Format;
    GLenum Internal;
    GLenum Upload; // pixel format of uploads and read-backs
    GLenum Type;
    uint32_t Bytes; // per pixel, or per 4x4 block when compressed
    bool Compressed;
    bool Depth;
    bool Renderable;
    GLint Swizzle[4];
};
// nullptr for a format the layer does not know.
const TD3D9FormatInfo* D3D9_FindFormat(D3DFORMAT format);
uint32_t D3D9_RowPitch(const TD3D9FormatInfo& info, uint32_t width);
uint32_t D3D9_RowCount(const TD3D9FormatInfo& info, uint32_t height); // rows of blocks for compressed formats
uint32_t D3D9_FullMipCount(uint32_t width, uint32_t height);

uint64_t D3D9_NewSerial();

class TD3D9Device;
class TD3D9Direct3D;

// Adapter facts probed once by Direct3DCreate9.
struct TD3D9AdapterInfo {
    int GLVersion = 0; // 45 for 4.5
    bool S3TC = false;
    bool Anisotropic = false;
    DWORD MaxAnisotropy = 1;
    DWORD MaxTextureSize = 4096;
    D3DDISPLAYMODE DisplayMode;
};

// ---------------------------------------------------------------------------
// Resources

class TD3D9Texture;

enum class TSurfaceKind {
    TextureLevel, // a level of a texture (render target when the texture is)
    RenderTarget, // standalone colour target: the back buffer
    DepthStencil, // renderbuffer
    SystemMemory, // offscreen plain surface in CPU memory
};

class TD3D9Surface final : public IDirect3DSurface9 {
public:
    TD3D9Surface(TD3D9Device* device, TSurfaceKind kind, const TD3D9FormatInfo* info, UINT width, UINT height,
                 D3DPOOL pool, DWORD usage);
    ULONG AddRef() override;
    ULONG Release() override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const TRect* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    // GL side (device lock held, a context current).
    GLuint ColorTexture();      // texture name of a colour surface
    GLuint DepthRenderbuffer(); // renderbuffer of a depth surface
    bool IsRenderTarget() const;
    uint64_t Serial;

    TD3D9Device* Device;
    TSurfaceKind Kind;
    const TD3D9FormatInfo* Info;
    UINT Width, Height;
    D3DPOOL Pool;
    DWORD Usage;
    TD3D9Texture* Container = nullptr; // TextureLevel: the owner (references go to it)
    UINT Level = 0;
    std::vector<uint8_t> Memory; // SystemMemory
    GLuint GlName = 0;           // RenderTarget texture / DepthStencil renderbuffer
    bool Locked = false;

private:
    ~TD3D9Surface() override;
    std::atomic<ULONG> Refs{1};
};

class TD3D9Texture final : public IDirect3DTexture9 {
public:
    TD3D9Texture(TD3D9Device* device, const TD3D9FormatInfo* info, UINT width, UINT height, UINT levels,
                 UINT storageLevels, DWORD usage, D3DPOOL pool);
    ULONG AddRef() override;
    ULONG Release() override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return Levels; }
    HRESULT SetAutoGenFilterType(DWORD filter) override;
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const TRect* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    // Makes the GL texture and uploads changed levels (device lock held, a
    // context current). Returns the name; sets uploaded when it sent data.
    GLuint EnsureGL(bool& uploaded);
    UINT LevelWidth(UINT level) const { return Width >> level ? Width >> level : 1; }
    UINT LevelHeight(UINT level) const { return Height >> level ? Height >> level : 1; }
    // Copies rows into a level's CPU copy and marks it for upload.
    void WriteLevel(UINT level, UINT x, UINT y, UINT width, UINT height, const uint8_t* source, uint32_t pitch);

    uint64_t Serial;
    TD3D9Device* Device;
    const TD3D9FormatInfo* Info;
    UINT Width, Height;
    UINT Levels;        // levels the caller sees
    UINT StorageLevels; // levels in GL (the whole chain for automatic mipmaps)
    DWORD Usage;
    D3DPOOL Pool;
    GLuint Gl = 0;
    std::vector<std::vector<uint8_t>> LevelData; // CPU copy per level, made on first lock
    std::vector<uint8_t> LevelDirty;
    std::vector<uint8_t> LevelLocked;
    bool NeedMips = false;
    std::vector<TD3D9Surface*> Surfaces; // made on first GetSurfaceLevel, freed with the texture

private:
    ~TD3D9Texture() override;
    std::atomic<ULONG> Refs{1};
};

struct TD3D9BufferData {
    std::vector<uint8_t> Bytes;
    GLuint Gl = 0;
    bool Dirty = true; // the whole buffer is sent on first use
    bool Locked = false;
    uint64_t Serial = 0;
    // Sends the bytes when changed (device lock held, a context current).
    GLuint EnsureGL(bool& uploaded);
    HRESULT Lock(UINT offset, UINT size, void** data);
    HRESULT Unlock();
};

class TD3D9VertexBuffer final : public IDirect3DVertexBuffer9 {
public:
    TD3D9VertexBuffer(TD3D9Device* device, UINT length);
    ULONG AddRef() override;
    ULONG Release() override;
    D3DRESOURCETYPE GetType() override { return 4; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    TD3D9Device* Device;
    TD3D9BufferData Data;

private:
    ~TD3D9VertexBuffer() override;
    std::atomic<ULONG> Refs{1};
};

class TD3D9IndexBuffer final : public IDirect3DIndexBuffer9 {
public:
    TD3D9IndexBuffer(TD3D9Device* device, UINT length, D3DFORMAT format);
    ULONG AddRef() override;
    ULONG Release() override;
    D3DRESOURCETYPE GetType() override { return 5; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    // The smallest and largest index in the whole buffer (device lock
    // held), worked out again after each change; false for an empty one.
    bool IndexRange(uint32_t& low, uint32_t& high);
    TD3D9Device* Device;
    D3DFORMAT Format;
    TD3D9BufferData Data;

private:
    ~TD3D9IndexBuffer() override;
    bool RangeKnown = false;
    uint32_t Low = 0, High = 0;
    std::atomic<ULONG> Refs{1};
};

class TD3D9VertexDeclaration final : public IDirect3DVertexDeclaration9 {
public:
    TD3D9VertexDeclaration(TD3D9Device* device, std::vector<D3DVERTEXELEMENT9> elements);
    ULONG AddRef() override;
    ULONG Release() override;
    TD3D9Device* Device;
    std::vector<D3DVERTEXELEMENT9> Elements;
    bool PreTransformed = false; // holds a POSITIONT element
    UINT VertexBytes = 0;        // where the last element ends: what one vertex reads
    uint64_t Serial;

private:
    ~TD3D9VertexDeclaration() override;
    std::atomic<ULONG> Refs{1};
};

// True when every one of count indices (16 or 32 bits) lies in [low, end).
bool D3D9_IndicesWithin(const void* indices, bool wide, size_t count, uint64_t low, uint64_t end);

// One class for both stages: the two interfaces differ only in type.
class TD3D9Shader final : public IDirect3DVertexShader9, public IDirect3DPixelShader9 {
public:
    TD3D9Shader(TD3D9Device* device, bool vertex, std::string source, std::string sourceWithoutAlphaTest = {});
    ULONG AddRef() override;
    ULONG Release() override;
    // Compiles on first need (device lock held, a context current); 0 when
    // the text does not compile. The compiler's messages go to Log, and
    // unless quiet also to stderr, once per shader.
    GLuint EnsureGL(bool quiet = false);
    // A pixel shader's program for draws without the alpha test (the vertex
    // stage's own for a vertex shader); 0 when it does not compile.
    GLuint EnsureGLWithoutAlphaTest();
    TD3D9Device* Device;
    bool Vertex;
    std::string Source;                 // the full GLSL with prelude and epilogue
    std::string SourceWithoutAlphaTest; // pixel shaders: the same with an epilogue that tests nothing
    GLuint Gl = 0;
    GLuint GlWithoutAlphaTest = 0;
    bool Failed = false;
    std::string Log;
    uint64_t Serial;

private:
    ~TD3D9Shader() override;
    std::atomic<ULONG> Refs{1};
};

// The GLSL of a stage around the file's text (D3D9_Shaders.cpp). False when
// the file is not GLSL text with that stage's marker; why says what is wrong.
// A pixel shader's epilogue applies the alpha test unless alphaTest is false.
bool D3D9_BuildShaderSource(bool vertex, const void* code, size_t size, std::string& source, std::string* why = nullptr,
                            bool alphaTest = true);
// Remembers why this thread's last shader creation was refused.
void D3D9_SetShaderRefusal(std::string why);
// The vertex stage used for pre-transformed vertices.
std::string D3D9_PreTransformedVertexSource();
// 0 when the text does not compile; log gets the compiler's messages.
GLuint D3D9_CompileShader(bool vertex, const std::string& source, std::string& log);
GLuint D3D9_LinkProgram(GLuint vertexShader, GLuint pixelShader);

// ---------------------------------------------------------------------------
// Device state

struct TD3D9State {
    DWORD RenderStates[D3D9_RENDER_STATE_COUNT];
    DWORD SamplerStates[D3D9_SAMPLER_COUNT][D3D9_SAMPLER_STATE_COUNT];
    TD3D9Texture* Textures[D3D9_SAMPLER_COUNT];
    TD3D9Surface* RenderTarget;
    TD3D9Surface* DepthStencil;
    TRect Scissor;
    TRect Viewport;
    TD3D9VertexDeclaration* Declaration;
    TD3D9VertexBuffer* Stream;
    UINT StreamOffset;
    UINT StreamStride;
    TD3D9IndexBuffer* Indices;
    TD3D9Shader* VertexShader;
    TD3D9Shader* PixelShader;
    float VC[256][4];
    float PC[32][4];
    uint64_t VCVersion;
    uint64_t PCVersion;
    // The version each register was last written at: a context sends only
    // the registers written since its own last upload.
    uint64_t VCStamps[256];
    uint64_t PCStamps[32];
};
// Direct3D's defaults for every render and sampler state.
void D3D9_DefaultStates(TD3D9State& state, bool autoDepth);

// What one GL context last received.
struct TGLContext {
    SDL_GLContext Context = nullptr;
    SDL_Window* Window = nullptr;
    bool OwnsWindow = false;
    bool Main = false;
    bool InUse = false;
    std::thread::id Owner;
    bool Initialised = false;
    bool Valid = false; // false: the next draw sets everything
    // GL state changes made for draws (counted as they are made), and the
    // draws since the last flush that came after one (see FlushAfterChanges).
    uint64_t StateChanges = 0;
    uint32_t ChangedDraws = 0;

    GLuint DrawFbo = 0, ReadFbo = 0, Vao = 0, StreamVbo = 0, StreamIbo = 0, VCUbo = 0, PCUbo = 0;
    // User-memory draws write their vertices and indices front to back into
    // one persistently mapped buffer; a fence on each part it leaves keeps
    // the next lap from overwriting what queued draws still read. Without
    // the mapping (RingMap null) they go through StreamVbo and StreamIbo.
    static constexpr size_t RingBytes = size_t{4} << 20;
    static constexpr size_t RingParts = 4;
    GLuint Ring = 0;
    uint8_t* RingMap = nullptr;
    size_t RingHead = 0, RingPart = 0;
    GLsync RingFences[RingParts] = {};
    GLuint Samplers[D3D9_SAMPLER_COUNT] = {};

    DWORD RenderStates[D3D9_RENDER_STATE_COUNT] = {};
    DWORD SamplerStates[D3D9_SAMPLER_COUNT][D3D9_SAMPLER_STATE_COUNT] = {};
    uint64_t TextureSerials[D3D9_SAMPLER_COUNT] = {};
    uint64_t TargetSerial = 0, DepthSerial = 0;
    TRect Scissor, Viewport;
    GLuint Program = 0;
    uint64_t VCVersion = ~0ull, PCVersion = ~0ull;
    float TargetSize[4] = {};
    int32_t AlphaTest[4] = {};
    uint64_t DeclSerial = 0, StreamSerial = 0, IndexSerial = 0;
    UINT StreamOffset = 0, StreamStride = 0;
};

// Render and sampler states onto GL (D3D9_States.cpp): sets what differs
// from the context's record (everything when full) and updates the record.
void D3D9_ApplyRenderStates(TGLContext& context, const DWORD* states, bool full);
void D3D9_ApplySamplerStates(TGLContext& context, uint32_t stage, const DWORD* states, bool full, DWORD maxAnisotropy);
void D3D9_SetupGLContext(TGLContext& context);

// ---------------------------------------------------------------------------
// The adapter object and the device

class TD3D9Direct3D final : public IDirect3D9 {
public:
    explicit TD3D9Direct3D(const TD3D9AdapterInfo& info) : Info(info) {}
    ULONG AddRef() override;
    ULONG Release() override;
    UINT GetAdapterCount() override { return 1; }
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;
    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL windowed,
                                       D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) override;
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviourFlags,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override;
    TD3D9AdapterInfo Info;

private:
    ~TD3D9Direct3D() override;
    std::atomic<ULONG> Refs{1};
};

// GL context attributes for every context the layer makes.
void D3D9_SetContextAttributes(bool shareWithCurrent);

enum class TGLDeleteKind { Texture, Buffer, Renderbuffer, Shader, Program };

class TD3D9Device final : public IDirect3DDevice9 {
public:
    TD3D9Device(TD3D9Direct3D* parent, const D3DPRESENT_PARAMETERS& params, SDL_Window* window);
    // Makes the contexts and the implicit surfaces; false when GL refuses.
    bool Init();

    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT TestCooperativeLevel() override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Present(const TRect* sourceRect, const TRect* destRect, HWND overrideWindow,
                    const void* dirtyRegion) override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT SetScissorRect(const TRect* rect) override;
    HRESULT GetScissorRect(TRect* rect) override;
    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                    IDirect3DVertexDeclaration9** declaration) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, void* sharedHandle) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                      DWORD multisampleQuality, BOOL discard, IDirect3DSurface9** surface,
                                      void* sharedHandle) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, void* sharedHandle) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destSurface) override;
    HRESULT UpdateSurface(IDirect3DSurface9* sourceSurface, const TRect* sourceRect, IDirect3DSurface9* destSurface,
                          const TPoint* destPoint) override;
    HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destSurface) override;
    HRESULT CreateVertexShader(const void* code, size_t size, IDirect3DVertexShader9** shader) override;
    HRESULT CreatePixelShader(const void* code, size_t size, IDirect3DPixelShader9** shader) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT SetVertexShaderConstantF(UINT startRegister, const float* data, UINT vector4fCount) override;
    HRESULT SetPixelShaderConstantF(UINT startRegister, const float* data, UINT vector4fCount) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                               void* sharedHandle) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** buffer,
                              void* sharedHandle) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* buffer) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex, UINT minVertexIndex, UINT numVertices,
                                 UINT startIndex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices, UINT primitiveCount,
                                   const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                   UINT vertexStride) override;

    // For the resources.
    std::recursive_mutex Lock;
    void ResourceCreated() { LiveResources.fetch_add(1); }
    void ResourceDestroyed(); // may free the device
    // Deletes now when this thread has a context, else queues it.
    void DeleteGL(TGLDeleteKind kind, GLuint name);
    // This thread's context, made current; nullptr when none is free.
    TGLContext* CurrentContext();
    // The same, but never takes a spare context: nullptr when this thread
    // holds none.
    TGLContext* HeldContext();
    // A thread that ends hands its context back.
    void ReleaseThreadContext(std::thread::id thread);
    void ForgetShaderPrograms(uint64_t shaderSerial);

    TD3D9Direct3D* Parent;
    D3DPRESENT_PARAMETERS Params;
    SDL_Window* Window;
    TD3D9AdapterInfo Adapter;

private:
    ~TD3D9Device() override;
    bool CreateImplicitSurfaces();
    void ReleaseState();
    void DestroyIfUnused();
    void FlushDeletes();
    void SetTargetDefaults();
    // Everything a draw needs, applied to the context. False when the draw
    // cannot be made (result in error).
    bool PrepareDraw(TGLContext& context, HRESULT& error);
    void FlushAfterChanges(TGLContext& context);
    // The index run of a draw from the bound buffers names only vertices of
    // the draw's range, all inside the bound vertex buffer (lock held).
    bool IndexedDrawFits(int32_t baseVertexIndex, UINT minVertexIndex, UINT numVertices, UINT startIndex, size_t count);
    bool BindProgram(TGLContext& context, HRESULT& error);
    void BindVertexInput(TGLContext& context, const TD3D9VertexDeclaration& declaration, GLuint buffer,
                         uint64_t bufferSerial, UINT offset, UINT stride);
    void BindTarget(TGLContext& context, bool& uploaded);
    void CopyToFront(TGLContext& context);

    std::atomic<ULONG> Refs{1};
    std::atomic<int32_t> LiveResources{0};
    bool Released = false;
    std::vector<std::unique_ptr<TGLContext>> Contexts; // [0] is the window's
    TD3D9Surface* BackBuffer = nullptr;
    TD3D9Surface* AutoDepth = nullptr;
    GLuint FrontCopy = 0;
    UINT FrontWidth = 0, FrontHeight = 0;
    TD3D9State State;
    std::vector<std::pair<TGLDeleteKind, GLuint>> PendingDeletes;
    // Linked programs by vertex shader, pixel shader and whether the pixel
    // stage applies the alpha test.
    std::map<std::tuple<uint64_t, uint64_t, bool>, GLuint> Programs;
    TD3D9Shader* PreTransformedShader = nullptr;
    bool InScene = false;
    bool WarnedNoShader = false;
};

// Test hook state (D3D9_TestHook.cpp) the device consults.
// D3D_OK, or D3DERR_DEVICELOST / D3DERR_DEVICENOTRESET while a test has the
// device lost; consume counts one of the lost answers.
HRESULT D3D9Test_CooperativeLevel(bool consume);
bool D3D9Test_RefuseCreate();
HRESULT D3D9Test_ResetResult();
void D3D9Test_ResetDone();
void D3D9Test_Count(int which); // 0 draw, 1 full apply, 2 link, 3 reset

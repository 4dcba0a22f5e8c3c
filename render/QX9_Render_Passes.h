// Render passes: one step of a scene's frame. A pass binds a colour target
// and a depth surface, clears them and draws either the scene's visible
// instances in sort order, with the shaders, stage textures, constants and
// render states that the pass, the instance and the mesh ask for, or one
// full-screen quad; it can then draw the scene's 2D list. What a pass draws
// (its pipeline) is cached and rebuilt only when something marks the pass;
// the rebuild culls every instance against the pass's rectangle, on the
// renderer's worker threads when there are more than four entries.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_Math.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Constants.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Sprites.h"

class T3D_Scene;

// One instance drawn by a pass. Shader indices are kept whole: the registry
// holds more shaders than a byte can name.
struct T3D_RenderPass_PipelineEntry {
    int32_t Index = -1;
    uint8_t Visible = 0;
    T3D_BoundInfo Bounds;
    int32_t VertexShader = 0;
    int32_t PixelShader = 0;
    // Per stage: 0 leave alone, n > 0 texture n - 1 wrapped, n < 0 texture
    // -n - 1 clamped.
    std::array<int32_t, 16> StageTextures = {};
    TRenderStateKey StateKey;
};

struct T3D_PassStageTexture {
    int32_t TextureIndex = -1;
    int32_t Stage = 0;
    uint8_t Clamp = 0;
    int32_t Priority = 2;
    uint32_t GroupMask = 0;
};

struct T3D_PassShaderRecord {
    int32_t ShaderIndex = -1;
    uint8_t Kind = 0; // 1 vertex shader, 0 pixel shader
    uint32_t GroupMask = 0;
};

struct T3D_PassQuad {
    TWordArray Indices;
    T3D_VertexArray_Sprite Vertices;
    IDirect3DVertexBuffer9* VertexBuffer = nullptr;
    IDirect3DIndexBuffer9* IndexBuffer = nullptr;
};

// Source flags: what a pass takes from the pass whose pipeline it reuses.
inline constexpr uint32_t SOURCE_VISIBILITY = 1;
inline constexpr uint32_t SOURCE_SHADERS = 2;
inline constexpr uint32_t SOURCE_TEXTURES = 4;
inline constexpr uint32_t SOURCE_STATES = 8;

class T3D_RenderPass;

// The parameters of an entry calculation.
struct T3D_PipelineParams {
    T3D_RenderPass* Pass = nullptr;
    uint8_t Cull = 0;
};

class T3D_RenderPass {
public:
    T3D_RenderPass(T3D_Render* owner, int32_t targetFormat, int32_t depthFormat, int32_t width, int32_t height,
                   const std::string& name, T3D_Scene* scene);
    ~T3D_RenderPass();
    T3D_RenderPass(const T3D_RenderPass&) = delete;
    T3D_RenderPass& operator=(const T3D_RenderPass&) = delete;

    void SetStagesEnabled(const uint8_t flags[8]);
    void SetDraw2D(uint8_t flag);
    void SetScreenProjection(uint8_t squareSource);
    void SetConstantName(int32_t kind, int32_t reg, const std::string& name, int32_t count);
    void SetShader(const std::string& fileName, uint8_t kind, uint32_t groupMask);
    void SetTextureIndex(int32_t texture, int32_t stage, uint8_t clamp, uint32_t groupMask);
    // A file of that name, else the target of the scene's pass of that name;
    // a name that is neither changes nothing.
    void SetTexture(const std::string& name, int32_t stage, uint8_t clamp, uint32_t groupMask);
    void SetExcludeMask(uint32_t mask);
    void SetViewMatrixPtr(TMatrix4* matrix);
    void SetWorldMatrixPtr(TMatrix4* matrix);
    void SetProjMatrixPtr(TMatrix4* matrix);
    void InitOwnView();
    void SetPerspective(float fieldOfView, float aspect, float zNear, float zFar);
    void ViewIdentity();
    void ViewTranslate(float x, float y, float z);
    void ViewRotate(int32_t axis, float angle);
    void SetViewport(int32_t left, int32_t top, int32_t right, int32_t bottom, const std::string& matrixName);
    void SetClear(uint32_t flags, uint32_t color, float depth);
    void UseTargetOf(const std::string& passName);
    void SetSourcePass(const std::string& passName, uint32_t flags);
    void Invalidate();
    void SetRenderState(uint32_t field, int32_t value);

    void Render();
    void BuildPipeline();
    // Brings declaration, shaders, changed stages and constants to the device.
    void ApplyEntryState(int32_t declaration, int32_t vertexShader, int32_t pixelShader);

    // Copies the pass's view, world and projection matrices into the scene
    // (the projection adjusted to the used part of a square target).
    void CopyMatricesToScene();
    // Keeps the pipeline as long as the scene's instance list.
    void ResizePipeline(size_t length);
    // The pixel size of the target (the back buffer's for target -1).
    void TargetSize(int32_t& width, int32_t& height) const;
    // Device-loss recovery of the quad's buffers.
    void ReleaseQuad();
    void RestoreQuad();

    T3D_Render* Owner = nullptr;
    T3D_Scene* Scene = nullptr;
    std::string Name;
    uint8_t DrawsQuad = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    uint8_t TargetAdjust = 0;
    TMatrix4 AdjustMatrix = IdentityMatrix;
    TMatrix4* ViewPtr = nullptr;
    TMatrix4* WorldPtr = nullptr;
    TMatrix4* ProjPtr = nullptr;
    std::array<uint8_t, 16> StageEnabled = {};
    uint8_t Draw2D = 0;
    TRenderStateKey StateKey;
    uint32_t ExcludeMask = 0;
    int32_t Vertices = 0;
    int32_t Primitives = 0;
    int32_t DrawCalls = 0;
    // 1: consecutive sprites of the 2D list that share shaders, stage
    // textures and render states go to the device in one draw; 0: one draw
    // per sprite (the same pixels, for comparison).
    uint8_t Batch2D = 1;
    int32_t TargetTexture = -1;
    int32_t DepthTexture = -1;
    TRect ScissorRect;
    float CullBounds[4] = {0, 0, 1, 1};
    std::string CullMatrixName;
    T3D_PassQuad Quad;
    std::vector<T3D_PassStageTexture> StageTextures;
    std::vector<T3D_PassShaderRecord> Shaders;
    T3D_ConstantTemplate Template;
    T3D_ShaderConstant Constants;
    uint32_t ClearFlags = 3;
    uint32_t ClearColor = 0xFF000000u;
    float ClearDepth = 1.0f;
    int32_t SourcePass = -1;
    uint32_t SourceFlags = 0;
    uint8_t Rebuild = 1;
    int32_t EntryCount = 0;
    std::vector<T3D_RenderPass_PipelineEntry> _rp_Cache;

private:
    void CreateQuadBuffers();
    void DrawQuad();
    void DrawPipeline();
    void Draw2DList();
    // Draws the sprites gathered since the last flush with one call.
    void Flush2DBatch();
    void Count(int32_t vertices, int32_t primitives);

    // Consecutive sprites of the 2D list that draw with the same state, in
    // list order: their moved vertices and their indices, offset to them.
    // Kept from frame to frame, so a frame allocates nothing once warm.
    T3D_VertexArray_Sprite BatchVertices;
    TWordArray BatchIndices;
    const T3D_Sprite* BatchLast = nullptr; // the last sprite gathered, nullptr when empty
    int32_t BatchVS = -1, BatchPS = -1;

    uint8_t OwnView = 0;
    uint8_t OwnProj = 0;
};

void T3D_RenderPass_Pipeline_CalculateEntry(int32_t n, const T3D_PipelineParams& params);

// What a pass draws an instance with, shared by the pipeline's entries and
// the scene's sort keys. Shaders: the pass's defaults whose group mask meets
// the instance's group bits (every default when everyForNoGroups and the
// bits are 0), then the instance's shaders for the pass; a later one wins and
// the numbers stay where nothing matches.
void ChoosePassShaders(const T3D_RenderPass& pass, const T3D_SceneMesh& instance, bool everyForNoGroups,
                       int32_t& vertexShader, int32_t& pixelShader);
// Offers take(texture, stage, clamp, priority) the stage textures of the pass
// (those whose group mask meets the instance's bits), of the instance and of
// the mesh, in that order.
template <class TTake>
void ForEachStageTextureCandidate(const T3D_RenderPass& pass, const T3D_SceneMesh& instance, const T3D_Mesh* mesh,
                                  TTake take)
{
    for (const T3D_PassStageTexture& record : pass.StageTextures)
        if ((record.GroupMask & instance.GroupBits) != 0)
            take(record.TextureIndex, record.Stage, record.Clamp, record.Priority);
    for (const T3D_InstanceStageTexture& record : instance.StageTextures)
        take(record.TextureIndex, record.Stage, record.Clamp, record.Priority);
    if (mesh != nullptr)
        for (const T3D_MeshStageTexture& record : mesh->StageTextures)
            take(record.TextureSlot, record.Stage, record.Clamp, record.Reserved);
}
// The mesh's key overlaid by the instance's and then by the pass's.
TRenderStateKey MergedStateKey(const T3D_Mesh* mesh, const T3D_SceneMesh& instance, const T3D_RenderPass& pass);

// Lets the lost-device recovery release and restore the passes' quads (done
// at start-up; tests that replace the handlers call it again).
void RegisterPassDeviceLossHandlers();

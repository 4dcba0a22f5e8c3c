// Render passes: set-up, the cached pipeline and the frame's drawing.
#include "render/QX9_Render_Passes.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shaders.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Textures.h"

namespace {

bool ValidStage(int32_t stage)
{
    return stage >= 0 && stage < TEXTURE_STAGE_COUNT;
}

} // namespace

T3D_RenderPass::T3D_RenderPass(T3D_Render* owner, int32_t targetFormat, int32_t depthFormat, int32_t width,
                               int32_t height, const std::string& name, T3D_Scene* scene)
    : Owner(owner), Scene(scene), Name(name)
{
    Constants.Priority = 2;
    StageEnabled.fill(1);
    if (width == 0 || height == 0) {
        width = Owner->ScreenWidth;
        height = Owner->ScreenHeight;
    }
    Width = width;
    Height = height;
    if (targetFormat == 0)
        return;
    TargetAdjust = width != height ? 1 : 0;
    int32_t targetWidth = width, targetHeight = height;
    if (!IsPowerOfTwo(width) || !IsPowerOfTwo(height))
        targetWidth = targetHeight = std::max(width, height);
    if (TargetAdjust != 0) {
        const float sx = static_cast<float>(width) / static_cast<float>(targetWidth);
        const float sy = static_cast<float>(height) / static_cast<float>(targetHeight);
        TMatrix4 s, t;
        MatrixScaling(s, sx, sy, 1);
        MatrixTranslation(t, 1 - sx, 1 - sy, 0);
        MatrixProduct(t, s, AdjustMatrix);
    }
    TargetTexture =
        Owner->Texture_Create(TEXTURE_RENDERTARGET, targetWidth, targetHeight, 1, targetFormat, depthFormat);
    if (T3D_Texture* texture = TextureAt(*Owner, TargetTexture))
        texture->FileName = UpperCaseStr(scene != nullptr ? scene->Name : std::string()) + "." + name;
}

T3D_RenderPass::~T3D_RenderPass()
{
    ReleaseQuad();
    if (OwnView != 0)
        delete ViewPtr;
    if (OwnProj != 0)
        delete ProjPtr;
}

// ---------------------------------------------------------------------------
// Set-up

void T3D_RenderPass::SetStagesEnabled(const uint8_t flags[8])
{
    for (int i = 0; i < 8; i++)
        StageEnabled[static_cast<size_t>(i)] = flags[i];
}

void T3D_RenderPass::SetDraw2D(uint8_t flag)
{
    Draw2D = flag;
}

void T3D_RenderPass::SetConstantName(int32_t kind, int32_t reg, const std::string& name, int32_t count)
{
    if (kind != CONSTANT_VERTEX && kind != CONSTANT_PIXEL)
        return;
    if (T3D_ConstantTemplateEntry* entry = Template.Entry(static_cast<uint8_t>(kind), reg)) {
        entry->Name = name;
        entry->Count = count;
    }
}

void T3D_RenderPass::SetShader(const std::string& fileName, uint8_t kind, uint32_t groupMask)
{
    const int32_t shader = Owner->Shader_Load(fileName, kind);
    for (T3D_PassShaderRecord& record : Shaders)
        if (record.ShaderIndex == shader) {
            record.GroupMask = groupMask;
            return;
        }
    Shaders.push_back({shader, kind, groupMask});
}

void T3D_RenderPass::SetTextureIndex(int32_t texture, int32_t stage, uint8_t clamp, uint32_t groupMask)
{
    for (T3D_PassStageTexture& record : StageTextures)
        if (record.TextureIndex == texture) {
            record.Stage = stage;
            record.GroupMask = groupMask;
            return;
        }
    StageTextures.push_back({texture, stage, clamp, 2, groupMask});
}

void T3D_RenderPass::SetTexture(const std::string& name, int32_t stage, uint8_t clamp, uint32_t groupMask)
{
    int32_t texture = -1;
    if (FileExistsMask(name)) {
        texture = Owner->Texture_Load(name);
    } else {
        for (int32_t i = 0; i < Scene->PassCount; i++) {
            const T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(i)];
            if (pass != nullptr && pass->Name == name) {
                texture = pass->TargetTexture;
                break;
            }
        }
        if (texture < 0)
            return;
    }
    SetTextureIndex(texture, stage, clamp, groupMask);
}

void T3D_RenderPass::SetExcludeMask(uint32_t mask)
{
    ExcludeMask = mask;
}

void T3D_RenderPass::SetViewMatrixPtr(TMatrix4* matrix)
{
    if (OwnView != 0)
        delete ViewPtr;
    OwnView = 0;
    ViewPtr = matrix;
}

void T3D_RenderPass::SetWorldMatrixPtr(TMatrix4* matrix)
{
    WorldPtr = matrix;
}

void T3D_RenderPass::SetProjMatrixPtr(TMatrix4* matrix)
{
    if (OwnProj != 0)
        delete ProjPtr;
    OwnProj = 0;
    ProjPtr = matrix;
}

void T3D_RenderPass::InitOwnView()
{
    if (ViewPtr == nullptr) {
        ViewPtr = new TMatrix4;
        OwnView = 1;
    }
    *ViewPtr = IdentityMatrix;
    Rebuild = 1;
}

void T3D_RenderPass::SetPerspective(float fieldOfView, float aspect, float zNear, float zFar)
{
    if (ProjPtr == nullptr) {
        ProjPtr = new TMatrix4(IdentityMatrix);
        OwnProj = 1;
    }
    MatrixPerspectiveFov(*ProjPtr, fieldOfView, aspect, zNear, zFar);
    Rebuild = 1;
}

void T3D_RenderPass::ViewIdentity()
{
    if (ViewPtr != nullptr)
        *ViewPtr = IdentityMatrix;
    Rebuild = 1;
}

void T3D_RenderPass::ViewTranslate(float x, float y, float z)
{
    if (ViewPtr != nullptr) {
        TMatrix4 t;
        MatrixTranslation(t, x, y, z);
        MatrixProduct(t, *ViewPtr, *ViewPtr);
    }
    Rebuild = 1;
}

void T3D_RenderPass::ViewRotate(int32_t axis, float angle)
{
    if (ViewPtr != nullptr && axis >= 0 && axis <= 2) {
        TMatrix4 r;
        if (axis == 0)
            MatrixRotationX(r, angle);
        else if (axis == 1)
            MatrixRotationY(r, angle);
        else
            MatrixRotationZ(r, angle);
        MatrixProduct(r, *ViewPtr, *ViewPtr);
    }
    Rebuild = 1;
}

void T3D_RenderPass::TargetSize(int32_t& width, int32_t& height) const
{
    width = Owner->ScreenWidth;
    height = Owner->ScreenHeight;
    if (const T3D_Texture* texture = TextureAt(*Owner, TargetTexture)) {
        width = texture->DeviceWidth;
        height = texture->DeviceHeight;
    }
}

void T3D_RenderPass::SetViewport(int32_t left, int32_t top, int32_t right, int32_t bottom,
                                 const std::string& matrixName)
{
    ScissorRect = {left, top, right, bottom};
    CullMatrixName = matrixName;
    if (matrixName.empty()) {
        CullBounds[0] = 0;
        CullBounds[1] = 0;
        CullBounds[2] = 1;
        CullBounds[3] = 1;
    } else {
        int32_t w = 0, h = 0;
        TargetSize(w, h);
        const float fw = static_cast<float>(std::max(w, 1)), fh = static_cast<float>(std::max(h, 1));
        CullBounds[0] = static_cast<float>(left) / fw;
        CullBounds[1] = static_cast<float>(top) / fh;
        CullBounds[2] = static_cast<float>(right) / fw;
        CullBounds[3] = static_cast<float>(bottom) / fh;
    }
    Rebuild = 1;
}

void T3D_RenderPass::SetClear(uint32_t flags, uint32_t color, float depth)
{
    ClearFlags = flags;
    ClearColor = color;
    ClearDepth = depth;
}

void T3D_RenderPass::UseTargetOf(const std::string& passName)
{
    const std::string wanted = UpperCaseStr(Scene->Name) + "." + passName;
    for (int32_t slot = 0; slot < Owner->TextureCount; slot++) {
        const T3D_Texture* texture = TextureAt(*Owner, slot);
        if (texture == nullptr || texture->FileName != wanted)
            continue;
        TargetTexture = slot;
        for (int32_t i = 0; i < Scene->PassCount; i++) {
            const T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(i)];
            if (pass != nullptr && pass->Name == passName) {
                TargetAdjust = pass->TargetAdjust;
                AdjustMatrix = pass->AdjustMatrix;
                break;
            }
        }
        return;
    }
}

void T3D_RenderPass::SetSourcePass(const std::string& passName, uint32_t flags)
{
    if (passName == Name) {
        SourcePass = -1;
        return;
    }
    for (int32_t i = 0; i < Scene->PassCount; i++) {
        const T3D_RenderPass* pass = Scene->Passes[static_cast<size_t>(i)];
        if (pass != nullptr && pass->Name == passName) {
            SourcePass = i;
            SourceFlags = flags;
            return;
        }
    }
}

void T3D_RenderPass::Invalidate()
{
    Rebuild = 1;
}

void T3D_RenderPass::SetRenderState(uint32_t field, int32_t value)
{
    RenderStateKeySet(field, value, StateKey);
}

void T3D_RenderPass::ResizePipeline(size_t length)
{
    _rp_Cache.resize(length);
    EntryCount = std::min(EntryCount, static_cast<int32_t>(length));
}

// ---------------------------------------------------------------------------
// The full-screen quad

void T3D_RenderPass::SetScreenProjection(uint8_t squareSource)
{
    int32_t w = 0, h = 0;
    TargetSize(w, h);
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);
    const float v = squareSource != 0 && w > 0 ? fh / fw : 1.0f;
    Quad.Indices = {0, 2, 1, 0, 3, 2};
    Quad.Vertices = {{-0.5f, -0.5f, 1, 1, 0, 0, 0xFFFFFFFFu},
                     {fw - 0.5f, -0.5f, 1, 1, 1, 0, 0xFFFFFFFFu},
                     {fw - 0.5f, fh - 0.5f, 1, 1, 1, v, 0xFFFFFFFFu},
                     {-0.5f, fh - 0.5f, 1, 1, 0, v, 0xFFFFFFFFu}};
    ReleaseQuad();
    CreateQuadBuffers();
    DrawsQuad = 1;
}

void T3D_RenderPass::CreateQuadBuffers()
{
    IDirect3DDevice9* device = Owner->Device;
    if (device == nullptr || Quad.Vertices.size() != 4 || Quad.Indices.size() != 6)
        return;
    const UINT vertexBytes = static_cast<UINT>(Quad.Vertices.size() * sizeof(T3D_SpriteVertex));
    const UINT indexBytes = static_cast<UINT>(Quad.Indices.size() * sizeof(uint16_t));
    void* data = nullptr;
    D3DRetry(D3DOP_CreateVertexBuffer, [&] {
        return device->CreateVertexBuffer(vertexBytes, 0, 0, D3DPOOL_DEFAULT, &Quad.VertexBuffer, nullptr);
    });
    D3DRetry(D3DOP_VertexBufferLock, [&] { return Quad.VertexBuffer->Lock(0, 0, &data, 0); });
    std::memcpy(data, Quad.Vertices.data(), vertexBytes);
    D3DRetry(D3DOP_VertexBufferUnlock, [&] { return Quad.VertexBuffer->Unlock(); });
    D3DRetry(D3DOP_CreateIndexBuffer, [&] {
        return device->CreateIndexBuffer(indexBytes, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &Quad.IndexBuffer, nullptr);
    });
    D3DRetry(D3DOP_IndexBufferLock, [&] { return Quad.IndexBuffer->Lock(0, 0, &data, 0); });
    std::memcpy(data, Quad.Indices.data(), indexBytes);
    D3DRetry(D3DOP_IndexBufferUnlock, [&] { return Quad.IndexBuffer->Unlock(); });
}

void T3D_RenderPass::ReleaseQuad()
{
    if (Quad.VertexBuffer != nullptr)
        Quad.VertexBuffer->Release();
    if (Quad.IndexBuffer != nullptr)
        Quad.IndexBuffer->Release();
    Quad.VertexBuffer = nullptr;
    Quad.IndexBuffer = nullptr;
}

void T3D_RenderPass::RestoreQuad()
{
    if (DrawsQuad != 0 && Quad.VertexBuffer == nullptr)
        CreateQuadBuffers();
}

namespace {

template <class TAction> void ForEachPass(T3D_Render& render, TAction action)
{
    for (int32_t s = 0; s < render.SceneCount; s++) {
        T3D_Scene* scene = render.Scenes[static_cast<size_t>(s)];
        if (scene == nullptr)
            continue;
        for (int32_t p = 0; p < scene->PassCount; p++)
            if (T3D_RenderPass* pass = scene->Passes[static_cast<size_t>(p)])
                action(*pass);
    }
}

void ReleasePassQuads(T3D_Render& render)
{
    ForEachPass(render, [](T3D_RenderPass& pass) { pass.ReleaseQuad(); });
}

void RestorePassQuads(T3D_Render& render)
{
    ForEachPass(render, [](T3D_RenderPass& pass) { pass.RestoreQuad(); });
}

struct TRegisterPassHandlers {
    TRegisterPassHandlers() { RegisterPassDeviceLossHandlers(); }
} RegisterPassHandlersAtStart;

} // namespace

void RegisterPassDeviceLossHandlers()
{
    DeviceLossHandlers.ReleasePassQuads = &ReleasePassQuads;
    DeviceLossHandlers.RestorePassQuads = &RestorePassQuads;
}

// ---------------------------------------------------------------------------
// The pipeline

void T3D_RenderPass::CopyMatricesToScene()
{
    if (ViewPtr != nullptr)
        *Scene->ViewMatrix = *ViewPtr;
    if (WorldPtr != nullptr)
        *Scene->WorldMatrix = *WorldPtr;
    if (ProjPtr != nullptr) {
        *Scene->ProjMatrix = *ProjPtr;
        if (TargetAdjust != 0)
            MatrixProduct(AdjustMatrix, *ProjPtr, *Scene->ProjMatrix);
    }
}

namespace {

// An entry's data lies in blocks of its own around the heap (the instance,
// its constants, their factors, its world matrix), and runs of entries are
// long: the blocks of the entries a few places ahead are asked for in
// stages, each stage reading only what an earlier one brought in, so that
// waiting on memory overlaps the work on the current entry. The entries
// ahead may belong to another worker: only what no worker changes during a
// build is read for this (never the bounds).
void PrefetchLines(const void* address, size_t bytes)
{
    const auto* at = static_cast<const char*>(address);
    for (size_t offset = 0; offset < bytes; offset += 64)
        __builtin_prefetch(at + offset);
}

// The lines of the fields an entry reads.
void PrefetchInstance(const T3D_SceneMesh* instance)
{
    if (instance == nullptr)
        return;
    __builtin_prefetch(&instance->World);
    __builtin_prefetch(&instance->MeshIndex);
    __builtin_prefetch(&instance->Bounds);
    __builtin_prefetch(&instance->ParentMatrix);
    __builtin_prefetch(&instance->StateKey);
    __builtin_prefetch(&instance->Constants);
    __builtin_prefetch(&instance->PassShaders);
    __builtin_prefetch(&instance->StageTextures);
}

// Without culling only the visible entries are worked on.
void PrefetchEntryData(const T3D_RenderPass& pass, int32_t n, bool culling)
{
    constexpr int32_t instanceAhead = 16, listsAhead = 8, factorsAhead = 3;
    const int32_t count = std::min(pass.EntryCount, static_cast<int32_t>(pass._rp_Cache.size()));
    auto instanceAt = [&](int32_t at) -> const T3D_SceneMesh* {
        const T3D_RenderPass_PipelineEntry& entry = pass._rp_Cache[static_cast<size_t>(at)];
        return culling || entry.Visible != 0 ? pass.Scene->GetMesh(entry.Index) : nullptr;
    };
    if (n + instanceAhead < count)
        PrefetchInstance(instanceAt(n + instanceAhead));
    if (n + listsAhead < count) {
        if (const T3D_SceneMesh* instance = instanceAt(n + listsAhead)) {
            const std::vector<T3D_Constant>& constants = instance->Constants.Constants;
            PrefetchLines(constants.data(), constants.size() * sizeof(T3D_Constant));
            if (instance->World != nullptr)
                PrefetchLines(instance->World, sizeof(TMatrix4));
            if (instance->ParentMatrix != nullptr)
                PrefetchLines(instance->ParentMatrix, sizeof(TMatrix4));
        }
    }
    if (n + factorsAhead < count) {
        if (const T3D_SceneMesh* instance = instanceAt(n + factorsAhead)) {
            for (const T3D_Constant& constant : instance->Constants.Constants)
                PrefetchLines(constant.Factors.data(), constant.Factors.size() * sizeof(T3D_ConstantFactor));
            if (const T3D_Mesh* mesh = instance->Mesh())
                PrefetchLines(mesh->Subsets.data(), mesh->Subsets.size() * sizeof(T3D_Subset));
        }
    }
}

// The entries of a rebuild on the worker pool: every share of the run takes
// blocks of entries in turn until none are left. Processors do not all run
// at the same speed (one shares its core, one was woken late), so fixed
// thirds or eighths would leave the run waiting on the slowest.
struct TEntryShares {
    const T3D_PipelineParams* Params = nullptr;
    int32_t Count = 0;
    std::atomic<int32_t> Next{0};
};
constexpr int32_t EntryBlock = 64;

void CalculateShareProc(int32_t, void* userData)
{
    auto& shares = *static_cast<TEntryShares*>(userData);
    for (;;) {
        const int32_t first = shares.Next.fetch_add(EntryBlock, std::memory_order_relaxed);
        if (first >= shares.Count)
            return;
        const int32_t end = std::min(shares.Count, first + EntryBlock);
        for (int32_t n = first; n < end; n++)
            T3D_RenderPass_Pipeline_CalculateEntry(n, *shares.Params);
    }
}

} // namespace

void T3D_RenderPass::BuildPipeline()
{
    CopyMatricesToScene();
    T3D_PipelineParams params{this, 0};
    if (Rebuild != 0) {
        // Every entry is cleared: those taken as they are appended (one walk
        // over the cache instead of two), the rest after the walk.
        int32_t count = 0;
        auto append = [&](int32_t slot) -> T3D_RenderPass_PipelineEntry& {
            if (static_cast<size_t>(count) >= _rp_Cache.size())
                _rp_Cache.resize(static_cast<size_t>(count) + 1);
            T3D_RenderPass_PipelineEntry& entry = _rp_Cache[static_cast<size_t>(count++)];
            entry.Index = slot;
            entry.Visible = 0;
            entry.Bounds.clear();
            return entry;
        };
        const T3D_RenderPass* source =
            SourcePass >= 0 && SourcePass < Scene->PassCount ? Scene->Passes[static_cast<size_t>(SourcePass)] : nullptr;
        if (source == nullptr) {
            // Instances asked for ahead of the walk: a step of the walk is
            // short beside a wait on memory. The fields it reads lie on two
            // lines.
            constexpr size_t ahead = 48;
            const std::vector<T3D_SortRecord>& keys = Scene->SortKeys;
            for (size_t k = 0; k < keys.size(); k++) {
                const T3D_SortRecord& record = keys[k];
                if (k + ahead < keys.size())
                    if (const T3D_SceneMesh* next = Scene->GetMesh(keys[k + ahead].Instance)) {
                        __builtin_prefetch(&next->MeshIndex);
                        __builtin_prefetch(&next->GroupBits);
                        __builtin_prefetch(&next->Visible);
                        __builtin_prefetch(&next->NoMesh);
                    }
                const T3D_SceneMesh* instance = Scene->GetMesh(record.Instance);
                if (instance != nullptr && (instance->GroupBits & ExcludeMask) == 0 && instance->Visible != 0 &&
                    instance->NoMesh == 0 && instance->MeshIndex >= 0)
                    append(record.Instance);
            }
            params.Cull = 1;
        } else {
            params.Cull = (SourceFlags & SOURCE_VISIBILITY) != 0 ? 0 : 1;
            const int32_t sourceCount = std::min(source->EntryCount, static_cast<int32_t>(source->_rp_Cache.size()));
            for (int32_t i = 0; i < sourceCount; i++) {
                const T3D_RenderPass_PipelineEntry& from = source->_rp_Cache[static_cast<size_t>(i)];
                const T3D_SceneMesh* instance = Scene->GetMesh(from.Index);
                if (instance == nullptr || (instance->GroupBits & ExcludeMask) != 0)
                    continue;
                if (from.Visible == 0 && params.Cull == 0)
                    continue;
                T3D_RenderPass_PipelineEntry& entry = append(from.Index);
                if ((SourceFlags & SOURCE_VISIBILITY) != 0) {
                    entry.Visible = from.Visible;
                    entry.Bounds = from.Bounds;
                }
                if ((SourceFlags & SOURCE_SHADERS) != 0) {
                    entry.VertexShader = from.VertexShader;
                    entry.PixelShader = from.PixelShader;
                }
                if ((SourceFlags & SOURCE_TEXTURES) != 0)
                    entry.StageTextures = from.StageTextures;
                if ((SourceFlags & SOURCE_STATES) != 0)
                    entry.StateKey = from.StateKey;
            }
        }
        for (size_t n = static_cast<size_t>(count); n < _rp_Cache.size(); n++) {
            T3D_RenderPass_PipelineEntry& entry = _rp_Cache[n];
            entry.Index = -1;
            entry.Visible = 0;
            entry.Bounds.clear();
        }
        EntryCount = count;
    }
    if (params.Cull != 0 && EntryCount > 4) {
        // One share more than workers: the pool gives each worker one and
        // the calling thread two (it splits the range into whole shares).
        TEntryShares shares;
        shares.Params = &params;
        shares.Count = EntryCount;
        Owner->Parallelizer.Run(&CalculateShareProc, 0, std::max(1, Owner->Parallelizer.WorkerCount), &shares, true);
    } else {
        for (int32_t n = 0; n < EntryCount; n++)
            T3D_RenderPass_Pipeline_CalculateEntry(n, params);
    }
    Rebuild = 0;
}

void T3D_RenderPass_Pipeline_CalculateEntry(int32_t n, const T3D_PipelineParams& params)
{
    T3D_RenderPass& pass = *params.Pass;
    T3D_RenderPass_PipelineEntry& entry = pass._rp_Cache[static_cast<size_t>(n)];
    if (params.Cull == 0 && entry.Visible == 0)
        return;
    PrefetchEntryData(pass, n, params.Cull != 0);
    T3D_SceneMesh* instance = pass.Scene->GetMesh(entry.Index);
    if (instance == nullptr) {
        const std::string number = std::to_string(n), slot = std::to_string(entry.Index);
        AppendEngineError("T3D_RenderPass_Pipeline_CalculateEntry(" + number + ") -> INVALID MESH POINTER!");
        AppendEngineError("\tPass[" + pass.Name + "]._rp_Cache[" + number + "].Index=" + slot);
        AppendEngineError("\tScene[" + pass.Scene->Name + "]._s_Meshes[" + slot + "]=Nil");
        FatalStop();
    }
    instance->Constants.Resolve();
    if (params.Cull != 0) {
        instance->Cull(pass.CullMatrixName, pass.CullBounds[0], pass.CullBounds[1], pass.CullBounds[2],
                       pass.CullBounds[3]);
        entry.Visible = instance->CullVisible;
        entry.Bounds = instance->Bounds;
        if (entry.Visible == 0)
            return;
    }
    if (pass.SourcePass < 0 && pass.Rebuild == 0)
        return;
    const T3D_Mesh* mesh = instance->Mesh();
    if ((pass.SourceFlags & SOURCE_SHADERS) == 0 || pass.SourcePass < 0) {
        ChoosePassShaders(pass, *instance, false, entry.VertexShader, entry.PixelShader);
    }
    if ((pass.SourceFlags & SOURCE_TEXTURES) == 0 || pass.SourcePass < 0) {
        entry.StageTextures.fill(0);
        std::array<int32_t, TEXTURE_STAGE_COUNT> best = {};
        auto consider = [&](int32_t texture, int32_t stage, uint8_t clamp, int32_t priority) {
            if (!ValidStage(stage) || priority < best[static_cast<size_t>(stage)])
                return;
            entry.StageTextures[static_cast<size_t>(stage)] = clamp != 0 ? -(texture + 1) : texture + 1;
            best[static_cast<size_t>(stage)] = priority;
        };
        ForEachStageTextureCandidate(pass, *instance, mesh, consider);
    }
    if ((pass.SourceFlags & SOURCE_STATES) == 0 || pass.SourcePass < 0) {
        entry.StateKey = MergedStateKey(mesh, *instance, pass);
    }
}

void ChoosePassShaders(const T3D_RenderPass& pass, const T3D_SceneMesh& instance, bool everyForNoGroups,
                       int32_t& vertexShader, int32_t& pixelShader)
{
    const uint32_t groups = instance.GroupBits;
    for (const T3D_PassShaderRecord& record : pass.Shaders)
        if ((record.GroupMask & groups) != 0 || (everyForNoGroups && groups == 0))
            (record.Kind == 1 ? vertexShader : pixelShader) = record.ShaderIndex;
    for (const T3D_PassShader& record : instance.PassShaders)
        if (record.PassName == pass.Name)
            (record.Kind == 1 ? vertexShader : pixelShader) = record.ShaderIndex;
}

TRenderStateKey MergedStateKey(const T3D_Mesh* mesh, const T3D_SceneMesh& instance, const T3D_RenderPass& pass)
{
    TRenderStateKey key = mesh != nullptr ? mesh->Key : TRenderStateKey{};
    RenderStateKeyOverlay(key, instance.StateKey);
    RenderStateKeyOverlay(key, pass.StateKey);
    return key;
}

// ---------------------------------------------------------------------------
// Drawing

void T3D_RenderPass::ApplyEntryState(int32_t declaration, int32_t vertexShader, int32_t pixelShader)
{
    T3D_Render& render = *Owner;
    IDirect3DDevice9* device = render.Device;
    if (declaration != render.CurrentVertexFormat && declaration >= 1 && declaration <= VertexFormatCount) {
        IDirect3DVertexDeclaration9* decl = render.VertexDecls[static_cast<size_t>(declaration - 1)];
        D3DRetry(D3DOP_SetVertexDeclaration, [&] { return device->SetVertexDeclaration(decl); });
        render.CurrentVertexFormat = declaration;
    }
    if (vertexShader != render.CurrentVertexShader) {
        render.CurrentVertexShader = vertexShader;
        const T3D_Shader* shader = ShaderAt(render, vertexShader);
        IDirect3DVertexShader9* object = shader != nullptr ? shader->VertexShader : nullptr;
        D3DRetry(D3DOP_SetVertexShader, [&] { return device->SetVertexShader(object); });
        Scene->Stats.ShaderChanges++;
    }
    if (pixelShader != render.CurrentPixelShader) {
        render.CurrentPixelShader = pixelShader;
        const T3D_Shader* shader = ShaderAt(render, pixelShader);
        IDirect3DPixelShader9* object = shader != nullptr ? shader->PixelShader : nullptr;
        D3DRetry(D3DOP_SetPixelShader, [&] { return device->SetPixelShader(object); });
        Scene->Stats.ShaderChanges++;
    }
    Scene->Stats.TextureChanges +=
        BindTextureStages(device, render.StageCache.data(), TEXTURE_STAGE_COUNT, [&](int32_t index) {
            const T3D_Texture* texture = TextureAt(render, index);
            return texture != nullptr ? static_cast<IDirect3DBaseTexture9*>(texture->Texture) : nullptr;
        });
    render.UploadConstants(Template);
}

void T3D_RenderPass::Count(int32_t vertices, int32_t primitives)
{
    Vertices += vertices;
    Primitives += primitives;
    DrawCalls++;
    Scene->Stats.Vertices += vertices;
    Scene->Stats.Primitives += primitives;
    Scene->Stats.DrawCalls++;
}

void T3D_RenderPass::Render()
{
    T3D_Render& render = *Owner;
    IDirect3DDevice9* device = render.Device;
    Vertices = Primitives = DrawCalls = 0;
    render.MergeConstants(Template, Scene->Constants, 1);
    Constants.Resolve();
    render.MergeConstants(Template, Constants, 1);
    for (size_t i = 0; i < StageEnabled.size(); i++)
        render.StageCache[i].Used = StageEnabled[i];

    IDirect3DSurface9* target = render.BackBuffer;
    IDirect3DSurface9* depth = render.DepthSurface;
    if (const T3D_Texture* texture = TextureAt(render, TargetTexture)) {
        target = texture->Surface;
        depth = texture->DepthSurface;
    }
    if (const T3D_Texture* texture = TextureAt(render, DepthTexture))
        depth = texture->DepthSurface;
    D3DRetry(D3DOP_SetRenderTarget, [&] { return device->SetRenderTarget(0, target); });
    D3DRetry(D3DOP_SetDepthStencilSurface, [&] { return device->SetDepthStencilSurface(depth); });

    if (ClearFlags != 0)
        device->Clear(0, nullptr, ClearFlags, ClearColor, ClearDepth, 0);
    if (!CullMatrixName.empty()) {
        device->SetRenderState(D3DRS_SCISSORTESTENABLE, 1);
        device->SetScissorRect(&ScissorRect);
    } else {
        device->SetRenderState(D3DRS_SCISSORTESTENABLE, 0);
    }

    if (DrawsQuad != 0)
        DrawQuad();
    else
        DrawPipeline();
    if (Draw2D != 0)
        Draw2DList();
}

void T3D_RenderPass::DrawQuad()
{
    T3D_Render& render = *Owner;
    int32_t vs = -1, ps = -1;
    for (const T3D_PassShaderRecord& record : Shaders)
        (record.Kind == 1 ? vs : ps) = record.ShaderIndex;
    for (const T3D_PassStageTexture& record : StageTextures)
        if (ValidStage(record.Stage))
            TextureStageSet(render.StageCache[static_cast<size_t>(record.Stage)], record.TextureIndex, record.Clamp);
    render.ApplyRenderStateKey(StateKey);
    // The device draws nothing without a program; neither does the pass.
    if (vs < 0 || ps < 0 || Quad.VertexBuffer == nullptr || Quad.IndexBuffer == nullptr)
        return;
    ApplyEntryState(MESH_SPRITE, vs, ps);
    IDirect3DDevice9* device = render.Device;
    D3DRetry(D3DOP_SetStreamSource,
             [&] { return device->SetStreamSource(0, Quad.VertexBuffer, 0, sizeof(T3D_SpriteVertex)); });
    D3DRetry(D3DOP_SetIndices, [&] { return device->SetIndices(Quad.IndexBuffer); });
    D3DRetry(D3DOP_DrawIndexedPrimitive,
             [&] { return device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2); });
    Count(4, 2);
}

void T3D_RenderPass::DrawPipeline()
{
    BuildPipeline();
    T3D_Render& render = *Owner;
    IDirect3DDevice9* device = render.Device;
    for (int32_t n = 0; n < EntryCount; n++) {
        const T3D_RenderPass_PipelineEntry& entry = _rp_Cache[static_cast<size_t>(n)];
        if (entry.Visible == 0)
            continue;
        const T3D_SceneMesh* instance = Scene->GetMesh(entry.Index);
        const T3D_Mesh* mesh = instance != nullptr ? instance->Mesh() : nullptr;
        if (mesh == nullptr)
            continue;
        render.MergeConstants(Template, instance->Constants, instance->GroupBits);
        for (size_t stage = 0; stage < entry.StageTextures.size(); stage++) {
            const int32_t value = entry.StageTextures[stage];
            if (value == 0)
                continue;
            TextureStageSet(render.StageCache[stage], value > 0 ? value - 1 : -value - 1, value < 0 ? 1 : 0);
        }
        render.ApplyRenderStateKey(entry.StateKey);
        if (mesh->VertexBuffer == nullptr || mesh->IndexBuffer == nullptr || entry.VertexShader < 0 ||
            entry.PixelShader < 0)
            continue;
        ApplyEntryState(mesh->VertexFormat, entry.VertexShader, entry.PixelShader);
        D3DRetry(D3DOP_SetStreamSource, [&] {
            return device->SetStreamSource(0, mesh->VertexBuffer, 0, static_cast<UINT>(mesh->DeviceStride));
        });
        D3DRetry(D3DOP_SetIndices, [&] { return device->SetIndices(mesh->IndexBuffer); });
        const bool lines = mesh->VertexFormat == MESH_GRID;
        for (const T3D_Bound& bound : entry.Bounds) {
            // Ranges come from files: only those inside the index buffer draw.
            if (bound.Kind != BOUND_DRAW || bound.First < 0 || bound.Count <= 0 ||
                static_cast<int64_t>(bound.First) + bound.Count > mesh->DeviceIndexCount)
                continue;
            const int32_t primitives = lines ? bound.Count / 2 : bound.Count / 3;
            if (primitives <= 0)
                continue;
            const UINT vertexCount = static_cast<UINT>(mesh->DeviceVertexCount);
            D3DRetry(D3DOP_DrawIndexedPrimitive, [&] {
                return device->DrawIndexedPrimitive(lines ? D3DPT_LINELIST : D3DPT_TRIANGLELIST, 0, 0, vertexCount,
                                                    static_cast<UINT>(bound.First), static_cast<UINT>(primitives));
            });
            Count(mesh->DeviceVertexCount, primitives);
        }
    }
}

namespace {

bool SameStageTextures(const std::vector<T3D_SpriteStageTexture>& a, const std::vector<T3D_SpriteStageTexture>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const T3D_SpriteStageTexture& x, const T3D_SpriteStageTexture& y) {
                          return x.Stage == y.Stage && x.TextureIndex == y.TextureIndex && x.Clamp == y.Clamp;
                      });
}

// Whether the sprite draws with the state the previous one left: the same
// shaders, stage textures and render states, and no constants of its own
// (setting the same state again would change nothing). Its vertices must
// still be reachable by 16-bit indices.
bool Joins2DBatch(const T3D_Sprite* previous, const T3D_Sprite& sprite, bool sameShaders, size_t batchVertices)
{
    return previous != nullptr && sameShaders && batchVertices + sprite.DrawBuffer.size() <= 65536 &&
           previous->Constants.Constants.empty() && sprite.Constants.Constants.empty() &&
           previous->StateKey.Mask == sprite.StateKey.Mask && previous->StateKey.Value == sprite.StateKey.Value &&
           SameStageTextures(previous->StageTextures, sprite.StageTextures);
}

} // namespace

void T3D_RenderPass::Draw2DList()
{
    T3D_Render& render = *Owner;
    IDirect3DDevice9* device = render.Device;
    if (render.CursorSprite >= 0 && render.CursorVisible != nullptr && render.Sprite_Get(render.CursorSprite) &&
        *render.CursorVisible != 0) {
        T2DDrawItem cursor;
        cursor.Kind = DRAWITEM_SPRITE;
        cursor.Values[0] = render.CursorSprite;
        cursor.Values[1] = render.CursorX != nullptr ? *render.CursorX : 0;
        cursor.Values[2] = render.CursorY != nullptr ? *render.CursorY : 0;
        cursor.Values[3] = -1;
        Scene->AddDrawItem(cursor);
    }
    bool drawing = true;
    int32_t vs = -1, ps = -1; // the shaders of the pass's previous draw
    BatchLast = nullptr;
    for (int32_t i = 0; i < Scene->DrawCount && static_cast<size_t>(i) < Scene->DrawList.size(); i++) {
        const T2DDrawItem& item = Scene->DrawList[static_cast<size_t>(i)];
        const int32_t* v = item.Values;
        if (item.Kind == DRAWITEM_CLIP) {
            Flush2DBatch();
            if (v[0] == -1 && v[2] == -1 && v[1] == v[3]) {
                device->SetRenderState(D3DRS_SCISSORTESTENABLE, 0);
                drawing = true;
            } else if (v[0] < v[2] && v[1] < v[3]) {
                const TRect rect{v[0], v[1], v[2], v[3]};
                device->SetRenderState(D3DRS_SCISSORTESTENABLE, 1);
                device->SetScissorRect(&rect);
                drawing = true;
            } else {
                drawing = false;
            }
            continue;
        }
        T3D_Sprite* sprite = render.Sprite_Get(v[0]);
        if (!drawing || sprite == nullptr || sprite->Indices.empty())
            continue;
        for (const T3D_SpriteShader& shader : sprite->Shaders)
            if (shader.PassName == Name)
                (shader.Kind == 1 ? vs : ps) = shader.ShaderIndex;
        // A sprite without shaders for the pass, before any draw: nothing to
        // draw it with.
        if (vs < 0 || ps < 0)
            continue;
        sprite->FillDrawBuffer(v[1], v[2], v[3]);
        if (Batch2D == 0 || !Joins2DBatch(BatchLast, *sprite, vs == BatchVS && ps == BatchPS, BatchVertices.size())) {
            Flush2DBatch();
            render.MergeConstants(Template, sprite->Constants, 1);
            for (const T3D_SpriteStageTexture& stage : sprite->StageTextures)
                if (ValidStage(stage.Stage))
                    TextureStageSet(render.StageCache[static_cast<size_t>(stage.Stage)], stage.TextureIndex,
                                    stage.Clamp);
            render.ApplyRenderStateKey(sprite->StateKey);
            ApplyEntryState(MESH_SPRITE, vs, ps);
            BatchVS = vs;
            BatchPS = ps;
        }
        const auto base = static_cast<uint16_t>(BatchVertices.size());
        BatchVertices.insert(BatchVertices.end(), sprite->DrawBuffer.begin(), sprite->DrawBuffer.end());
        for (uint16_t index : sprite->Indices)
            BatchIndices.push_back(static_cast<uint16_t>(base + index));
        BatchLast = sprite;
    }
    Flush2DBatch();
}

void T3D_RenderPass::Flush2DBatch()
{
    if (BatchLast != nullptr && !BatchIndices.empty()) {
        const UINT triangles = static_cast<UINT>(BatchIndices.size() / 3);
        const UINT vertexCount = static_cast<UINT>(BatchVertices.size());
        D3DRetry(D3DOP_DrawIndexedPrimitiveUP, [&] {
            return Owner->Device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, vertexCount, triangles,
                                                         BatchIndices.data(), D3DFMT_INDEX16, BatchVertices.data(),
                                                         sizeof(T3D_SpriteVertex));
        });
        Count(static_cast<int32_t>(vertexCount), static_cast<int32_t>(triangles));
    }
    BatchVertices.clear();
    BatchIndices.clear();
    BatchLast = nullptr;
}

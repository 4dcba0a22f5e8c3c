// The scene registry of T3D_Render, the scenes' instances, attachments and
// 2D draw lists.
#include "render/QX9_Render_Scenes.h"

#include <algorithm>
#include <mutex>

#include "render/QX9_Render_Passes.h"

void (*ScenePresentHook)(T3D_Render& render) = nullptr;

T3D_Scene::T3D_Scene(const std::string& name) : Name(name)
{
    ViewMatrix = new TMatrix4(IdentityMatrix);
    WorldMatrix = new TMatrix4(IdentityMatrix);
    ProjMatrix = new TMatrix4(IdentityMatrix);
    Constants.Priority = 3;
}

T3D_Scene::~T3D_Scene()
{
    for (T3D_SceneMesh*& instance : _s_Meshes) {
        delete instance;
        instance = nullptr;
    }
    for (T3D_RenderPass*& pass : Passes) {
        delete pass;
        pass = nullptr;
    }
    delete ViewMatrix;
    delete WorldMatrix;
    delete ProjMatrix;
}

void T3D_Scene::AddDrawItem(const T2DDrawItem& item)
{
    if (static_cast<size_t>(DrawCount) >= DrawList.size())
        DrawList.resize(static_cast<size_t>(DrawCount) + 1);
    DrawList[static_cast<size_t>(DrawCount)] = item;
    DrawCount++;
}

void T3D_Scene::ClearDrawList()
{
    DrawCount = 0;
    ClipDepth = 0;
}

void T3D_Scene::InvalidatePasses()
{
    for (int32_t i = 0; i < PassCount; i++)
        if (T3D_RenderPass* pass = Passes[static_cast<size_t>(i)])
            pass->Rebuild = 1;
}

int32_t T3D_Scene::WorldRegister() const
{
    for (int32_t i = 0; i < PassCount; i++) {
        const T3D_RenderPass* pass = Passes[static_cast<size_t>(i)];
        if (pass == nullptr)
            continue;
        for (int32_t reg = 0; reg < T3D_ConstantTemplate::VertexRegisters; reg++)
            if (pass->Template.Entries[static_cast<size_t>(reg)].Name == "WORLD")
                return reg;
    }
    return -1;
}

void T3D_Scene::ResizeInstanceLists(size_t length)
{
    _s_Meshes.resize(length, nullptr);
    SortKeys.resize(length);
    for (int32_t i = 0; i < PassCount; i++)
        if (T3D_RenderPass* pass = Passes[static_cast<size_t>(i)])
            pass->ResizePipeline(length);
}

int32_t T3D_Scene::AddPass(const std::string& name, int32_t targetFormat, int32_t depthFormat, int32_t width,
                           int32_t height)
{
    // The list has 101 places; writing past them would overwrite the scene.
    if (PassCount >= SCENE_PASS_SLOTS)
        FatalError("T3D_Scene.AddPass", name, "TOO MANY PASSES!");
    const size_t index = static_cast<size_t>(PassCount);
    PassEnabled[index] = 1;
    Passes[index] = new T3D_RenderPass(Owner, targetFormat, depthFormat, width, height, name, this);
    Passes[index]->ResizePipeline(_s_Meshes.size());
    return PassCount++;
}

T3D_RenderPass* T3D_Scene::FindPass(const std::string& name) const
{
    for (int32_t i = 0; i < PassCount; i++)
        if (Passes[static_cast<size_t>(i)] != nullptr && Passes[static_cast<size_t>(i)]->Name == name)
            return Passes[static_cast<size_t>(i)];
    return nullptr;
}

void T3D_Scene::EnablePass(const std::string& name, uint8_t enabled)
{
    for (int32_t i = 0; i < PassCount; i++)
        if (Passes[static_cast<size_t>(i)] != nullptr && Passes[static_cast<size_t>(i)]->Name == name) {
            EnablePassAt(i, enabled);
            return;
        }
}

void T3D_Scene::EnablePassAt(int32_t index, uint8_t enabled)
{
    if (index < 0 || index >= PassCount)
        return;
    PassEnabled[static_cast<size_t>(index)] = enabled;
    Passes[static_cast<size_t>(index)]->Rebuild = 1;
}

void T3D_Scene::SetPresentRects(const TRect& source, const TRect& dest)
{
    if (Owner != nullptr && Owner->Fullscreen != 0) {
        PresentRects = 0;
        return;
    }
    PresentRects = 1;
    PresentSource = source;
    PresentDest = dest;
}

void T3D_Scene::SortPass(const std::string& passName)
{
    for (int32_t i = 0; i < PassCount; i++)
        if (Passes[static_cast<size_t>(i)] != nullptr && Passes[static_cast<size_t>(i)]->Name == passName) {
            SortPassAt(i);
            return;
        }
    SortPassAt(PassCount - 1);
}

namespace {

void QuickSortRecords(T3D_Sorting_Array& records, int64_t low, int64_t high)
{
    while (low < high) {
        const int64_t pivot = records[static_cast<size_t>((low + high) / 2)].Key;
        int64_t i = low, j = high;
        while (i <= j) {
            while (records[static_cast<size_t>(i)].Key < pivot)
                i++;
            while (records[static_cast<size_t>(j)].Key > pivot)
                j--;
            if (i <= j) {
                std::swap(records[static_cast<size_t>(i)], records[static_cast<size_t>(j)]);
                i++;
                j--;
            }
        }
        // The smaller side recursively, the larger in the loop: the depth
        // stays logarithmic.
        if (j - low < high - i) {
            QuickSortRecords(records, low, j);
            low = i;
        } else {
            QuickSortRecords(records, i, high);
            high = j;
        }
    }
}

} // namespace

void T3D_Scene::SortPassAt(int32_t index)
{
    const T3D_RenderPass* pass = index >= 0 && index < PassCount ? Passes[static_cast<size_t>(index)] : nullptr;
    for (size_t slot = 0; slot < SortKeys.size(); slot++) {
        T3D_SortRecord& record = SortKeys[slot];
        record.Instance = -1;
        uint32_t low = 0xFFFFFFFFu, high = 0x7FFFFFFFu;
        const T3D_SceneMesh* instance = slot < _s_Meshes.size() ? _s_Meshes[slot] : nullptr;
        if (instance != nullptr) {
            record.Instance = static_cast<int32_t>(slot);
            const T3D_Mesh* mesh = instance->Mesh();
            if (mesh != nullptr && pass != nullptr) {
                int32_t vs = 0, ps = 0;
                ChoosePassShaders(*pass, *instance, true, vs, ps);
                int32_t texture = 0, best = 0;
                ForEachStageTextureCandidate(*pass, *instance, mesh,
                                             [&](int32_t candidate, int32_t stage, uint8_t, int32_t priority) {
                                                 if (stage == 0 && priority >= best) {
                                                     texture = candidate;
                                                     best = priority;
                                                 }
                                             });
                const TRenderStateKey key = MergedStateKey(mesh, *instance, *pass);
                low = key.Value;
                high = (static_cast<uint32_t>(texture) & 0xFFFu) | ((static_cast<uint32_t>(ps) & 0xFFu) << 12) |
                       ((static_cast<uint32_t>(vs) & 0x7Fu) << 20) |
                       ((static_cast<uint32_t>(instance->SortPriority) & 0xFu) << 27);
            }
        }
        record.Key = static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
    }
    if (!SortKeys.empty())
        QuickSortRecords(SortKeys, 0, static_cast<int64_t>(SortKeys.size()) - 1);
}

void T3D_Scene::Render(bool present)
{
    std::lock_guard<TCriticalSection> lock(RenderLock);
    T3D_Render& render = *Owner;
    IDirect3DDevice9* device = render.Device;
    if (render.CurrentScene != Index && render.CurrentScene != -1) {
        FreeConstants(render.Constants);
        Stats = {};
    }
    Stats.Vertices = Stats.Primitives = Stats.DrawCalls = 0;
    Stats.TextureChanges = Stats.ShaderChanges = Stats.PassesRendered = 0;
    render.CurrentScene = Index;
    Constants.Resolve();
    device->BeginScene();
    for (int32_t i = 0; i < PassCount; i++) {
        T3D_RenderPass* pass = Passes[static_cast<size_t>(i)];
        if (PassEnabled[static_cast<size_t>(i)] == 0 || pass == nullptr)
            continue;
        pass->CopyMatricesToScene();
        pass->Render();
        Stats.PassesRendered++;
    }
    device->EndScene();
    if (present) {
        if (ScenePresentHook != nullptr)
            ScenePresentHook(render);
        const TRect* source = PresentRects == 1 ? &PresentSource : nullptr;
        const TRect* dest = PresentRects == 1 ? &PresentDest : nullptr;
        D3DRetry(D3DOP_Present, [&] { return device->Present(source, dest, nullptr, nullptr); });
    }

    int64_t highest = static_cast<int64_t>(_s_Meshes.size()) - 1;
    while (highest >= 0 && _s_Meshes[static_cast<size_t>(highest)] == nullptr)
        highest--;
    if (highest < static_cast<int64_t>(_s_Meshes.size()) - 1) {
        ResizeInstanceLists(static_cast<size_t>(highest + 1));
        InvalidatePasses();
    }
    ClearDrawList();

    Stats.WindowFrames++;
    const int64_t now = GetTimeMs(true);
    Stats.WindowElapsed = now - Stats.WindowStart;
    if (Stats.WindowElapsed > 500)
        Stats.FramesPerSecond = static_cast<int32_t>(Stats.WindowFrames * 1000LL / Stats.WindowElapsed);
    if (Stats.WindowElapsed > 2000) {
        Stats.WindowStart = GetTimeMs(false);
        Stats.WindowFrames = 0;
    }
}

int32_t T3D_Scene::AddMesh(int32_t meshIndex, const std::string& name)
{
    size_t slot = 0;
    while (slot < _s_Meshes.size() && _s_Meshes[slot] != nullptr)
        slot++;
    if (slot == _s_Meshes.size()) {
        ResizeInstanceLists(slot + 1);
        InvalidatePasses();
    }
    auto* instance = new T3D_SceneMesh(Owner, name, this);
    _s_Meshes[slot] = instance;
    instance->SlotIndex = static_cast<int32_t>(slot);
    // Every index is checked, 0 included: an empty slot gives no mesh.
    if (meshIndex >= 0 && (Owner == nullptr || MeshAt(*Owner, meshIndex) == nullptr))
        meshIndex = -1;
    T3D_Mesh* mesh = nullptr;
    if (meshIndex >= 0) {
        instance->MeshIndex = meshIndex;
        mesh = MeshAt(*Owner, meshIndex);
        if (!mesh->Skin.Bones.empty()) {
            instance->BoneMatrices.assign(mesh->Skin.Bones.size(), IdentityMatrix);
            instance->SkinMatrices.assign(mesh->Skin.Bones.size(), IdentityMatrix);
        }
    }
    if (mesh == nullptr)
        instance->NoMesh = 1;
    else
        instance->Visible = mesh->VertexCount > 0 ? 1 : 0;

    instance->Constants.AddMatrixProduct(CONSTANT_VERTEX, WorldRegister(), "WORLD", 0xEFFFFFFFu);
    if (mesh != nullptr)
        instance->Constants.AddFactorPtr("WORLD", *mesh->World);
    instance->Constants.AddFactorPtr("WORLD", *instance->World);
    instance->Constants.AddFactorPtr("WORLD", *instance->ParentMatrix);
    instance->Constants.AddFactorPtr("WORLD", *ViewMatrix);
    SortKeys[slot].Instance = static_cast<int32_t>(slot);
    return static_cast<int32_t>(slot);
}

T3D_SceneMesh* T3D_Scene::GetMesh(int32_t slot) const
{
    if (slot < 0 || static_cast<size_t>(slot) >= _s_Meshes.size())
        return nullptr;
    return _s_Meshes[static_cast<size_t>(slot)];
}

T3D_SceneMesh* T3D_Scene::FindMesh(const std::string& name) const
{
    for (T3D_SceneMesh* instance : _s_Meshes)
        if (instance != nullptr && instance->Name == name)
            return instance;
    return nullptr;
}

void T3D_Scene::RemoveMesh(int32_t slot)
{
    T3D_SceneMesh* instance = GetMesh(slot);
    if (instance == nullptr)
        return;
    instance->Detach(slot);
    delete instance;
    _s_Meshes[static_cast<size_t>(slot)] = nullptr;
    for (T3D_SortRecord& record : SortKeys)
        if (record.Instance == slot)
            record.Instance = -1;
    // No pipeline may keep drawing the freed instance.
    InvalidatePasses();
}

void T3D_Scene::ClearMeshes(uint32_t groupMask)
{
    for (size_t slot = 0; slot < _s_Meshes.size(); slot++) {
        const T3D_SceneMesh* instance = _s_Meshes[slot];
        if (instance != nullptr && (groupMask == 0 || (instance->GroupBits & groupMask) != 0))
            RemoveMesh(static_cast<int32_t>(slot));
    }
    if (groupMask == 0) {
        _s_Meshes.clear();
        SortKeys.clear();
        AttachRoots.clear();
        AttachNodes.clear();
        ResizeInstanceLists(0);
        for (int32_t i = 0; i < PassCount; i++)
            if (T3D_RenderPass* pass = Passes[static_cast<size_t>(i)]) {
                pass->_rp_Cache.clear();
                pass->EntryCount = 0;
            }
    }
    InvalidatePasses();
}

void T3D_Scene::UpdateAttachments()
{
    // Attaching refuses loops; the depth guard only keeps a damaged tree from
    // recursing for ever.
    for (int32_t root : AttachRoots)
        UpdateAttachNode(root, 0);
}

void T3D_Scene::UpdateAttachNode(int32_t node, int32_t depth)
{
    if (node < 0 || static_cast<size_t>(node) >= AttachNodes.size() || depth > static_cast<int32_t>(AttachNodes.size()))
        return;
    const T3D_AttachNode& own = AttachNodes[static_cast<size_t>(node)];
    const T3D_SceneMesh* parent = GetMesh(own.Instance);
    if (own.Children.empty() || parent == nullptr)
        return;
    const bool parentSkinned = parent->BoneCount() > 0;
    TMatrix4 base;
    MatrixProduct(*parent->ParentMatrix, *parent->World, base);
    for (int32_t child : own.Children) {
        if (child < 0 || static_cast<size_t>(child) >= AttachNodes.size())
            continue;
        T3D_SceneMesh* instance = GetMesh(AttachNodes[static_cast<size_t>(child)].Instance);
        if (instance == nullptr)
            continue;
        if (instance->BoneMatrixPtr != nullptr && !(parentSkinned && instance->BoneCount() > 0)) {
            TMatrix4 followed;
            MatrixProduct(base, *instance->BoneMatrixPtr, followed);
            MatrixProduct(followed, instance->AttachOffset, *instance->ParentMatrix);
        } else {
            *instance->ParentMatrix = base;
        }
    }
    for (int32_t child : own.Children)
        UpdateAttachNode(child, depth + 1);
}

int32_t T3D_Render::Scene_Add(const std::string& name)
{
    // The list has eleven places; writing past them would overwrite the
    // renderer.
    if (SceneCount >= SCENE_SLOTS)
        FatalError("T3D_Render.Scene_Add", name, "TOO MANY SCENES!");
    auto* scene = new T3D_Scene(name);
    scene->Owner = this;
    scene->Index = SceneCount;
    Scenes[static_cast<size_t>(SceneCount)] = scene;
    return SceneCount++;
}

T3D_Scene* T3D_Render::Scene_Find(const std::string& name) const
{
    for (int32_t i = 0; i < SceneCount; i++)
        if (Scenes[static_cast<size_t>(i)] != nullptr && Scenes[static_cast<size_t>(i)]->Name == name)
            return Scenes[static_cast<size_t>(i)];
    return nullptr;
}

T3D_Scene* T3D_Render::Scene_Get(int32_t index) const
{
    if (index == -1)
        index = CurrentScene;
    if (index < 0 || index >= SceneCount)
        return nullptr;
    return Scenes[static_cast<size_t>(index)];
}

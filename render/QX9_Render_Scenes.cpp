// The scene registry of T3D_Render, the scenes' instances, attachments and
// 2D draw lists.
#include "render/QX9_Render_Scenes.h"

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

void T3D_Scene::InvalidatePasses() {}

int32_t T3D_Scene::WorldRegister() const
{
    return -1;
}

void T3D_Scene::ResizeInstanceLists(size_t length)
{
    _s_Meshes.resize(length, nullptr);
    SortKeys.resize(length);
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

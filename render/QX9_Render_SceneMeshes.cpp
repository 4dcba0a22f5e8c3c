// Scene mesh instances: animation, the attachment tree and culling.
#include "render/QX9_Render_SceneMeshes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_StateKey.h"

void MatrixProduct(const TMatrix4& a, const TMatrix4& b, TMatrix4& out)
{
    // In single precision: poses of many skeletons are made every frame, and
    // a drawn pose needs no more.
    TMatrix4 product;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            product.e[i * 4 + j] = a.e[i * 4] * b.e[j] + a.e[i * 4 + 1] * b.e[4 + j] + a.e[i * 4 + 2] * b.e[8 + j] +
                                   a.e[i * 4 + 3] * b.e[12 + j];
    out = product;
}

T3D_SceneMesh::T3D_SceneMesh(T3D_Render* owner, const std::string& name, T3D_Scene* scene)
    : T3D_BaseMesh(owner, name), Scene(scene)
{
    ParentMatrix = new TMatrix4(IdentityMatrix);
    Constants.Priority = 1;
}

T3D_SceneMesh::~T3D_SceneMesh()
{
    delete ParentMatrix;
}

T3D_Mesh* T3D_SceneMesh::Mesh() const
{
    if (MeshIndex < 0 || Owner == nullptr)
        return nullptr;
    return MeshAt(*Owner, MeshIndex);
}

int32_t T3D_SceneMesh::BoneCount() const
{
    const T3D_Mesh* mesh = Mesh();
    return mesh == nullptr ? 0 : static_cast<int32_t>(mesh->Skin.Bones.size());
}

void T3D_SceneMesh::SetTexture(const std::string& fileName, int32_t stage, uint8_t clamp)
{
    const int32_t texture = Owner->Texture_Load(fileName);
    for (T3D_InstanceStageTexture& record : StageTextures)
        if (record.Stage == stage) {
            record.TextureIndex = texture;
            return;
        }
    StageTextures.push_back({texture, stage, clamp, 1});
}

void T3D_SceneMesh::SetShader(const std::string& fileName, const std::string& passName, uint8_t kind)
{
    const int32_t shader = Owner->Shader_Load(fileName, kind);
    for (T3D_PassShader& record : PassShaders)
        if (record.PassName == passName && record.Kind == kind) {
            record.ShaderIndex = shader;
            return;
        }
    PassShaders.push_back({passName, shader, kind});
}

void T3D_SceneMesh::SetRenderState(uint32_t field, int32_t value)
{
    RenderStateKeySet(field, value, StateKey);
}

// ---------------------------------------------------------------------------
// Animation

void T3D_SceneMesh::RequireSkinned(const char* operation) const
{
    const T3D_Mesh* mesh = Mesh();
    if (mesh != nullptr && mesh->VertexFormat == MESH_SKINNED)
        return;
    AppendEngineError("T3D_SceneMesh(" + Name + ")." + operation + " -> NOT SKINNED MESH!");
    FatalStop();
}

namespace {

// The local matrix of a bone's track at a time, as the key walk finds it.
struct TClipTime {
    int32_t Time = 0;
    int32_t FixedKey = 0; // 0 interpolate at Time, 1 the first key, 2 the last key
};

TClipTime ChooseClipTime(int32_t length, int32_t time, int32_t mode)
{
    TClipTime result{time, 0};
    if (mode == 0) {
        const int64_t period = static_cast<int64_t>(length) + 1;
        result.Time = static_cast<int32_t>(static_cast<int64_t>(time) % period);
        return result;
    }
    const bool before = time < 0;
    const bool after = time > length;
    if (!before && !after)
        return result;
    if (mode == 1)
        result.FixedKey = before ? 1 : 2;
    else if (mode == 2)
        result.FixedKey = 2;
    else if (mode == 3)
        result.FixedKey = 1;
    return result;
}

// The dual quaternion of a key, taken from the cache when it holds the same bytes.
void KeyToDualQuat(const TMatrix4& key, TMatrix4& cachedKey, TDualQuat& cached, bool valid, TDualQuat& out)
{
    if (!valid || std::memcmp(key.e, cachedKey.e, sizeof(key.e)) != 0) {
        MatrixToDualQuat(key, cached);
        cachedKey = key;
    }
    out = cached;
}

TMatrix4 TrackLocal(const T3D_Track& track, const TClipTime& at, bool interpolate, T3D_KeyPairCache& cache)
{
    // Times and keys are kept as read: only the pairs both lists hold count.
    const size_t keys = std::min(track.Times.size(), track.Keys.size());
    if (keys == 0)
        return track.Matrix;
    if (at.FixedKey == 1)
        return track.Keys.front();
    if (at.FixedKey == 2)
        return track.Keys[keys - 1];
    TMatrix4 local = track.Matrix;
    const float t = static_cast<float>(at.Time);
    for (size_t i = 0; i < keys; i++) {
        const float ti = track.Times[i] * 1000.0f;
        if (!(ti < t))
            continue;
        local = track.Keys[i];
        if (i + 1 >= keys)
            continue;
        const float tn = track.Times[i + 1] * 1000.0f;
        if (tn < t)
            continue;
        if (interpolate) {
            const float w = (t - ti) / (tn - ti);
            TDualQuat a, b, blended;
            KeyToDualQuat(track.Keys[i], cache.KeyA, cache.A, cache.Valid != 0, a);
            KeyToDualQuat(track.Keys[i + 1], cache.KeyB, cache.B, cache.Valid != 0, b);
            cache.Valid = 1;
            DualQuatBlend(a, b, blended, w);
            DualQuatToMatrix(blended, local);
        }
        break;
    }
    return local;
}

} // namespace

void T3D_SceneMesh::PoseSkeleton(int32_t clip, int32_t time, int32_t mode, bool interpolate)
{
    const T3D_Mesh* mesh = Mesh();
    const T3D_Skin& skin = mesh->Skin;
    const size_t bones = std::min(skin.Bones.size(), BoneMatrices.size());
    const bool valid = clip >= 0 && static_cast<size_t>(clip) < skin.Clips.size();
    TClipTime at;
    if (valid)
        at = ChooseClipTime(skin.Clips[static_cast<size_t>(clip)].FrameCount, time, mode);
    if (skin.RootBone < 0 || static_cast<size_t>(skin.RootBone) >= bones)
        return;

    // Children lists in bone order (first child, next sibling), then depth
    // first from the root; every bone is posed once, so a parent list that
    // loops cannot loop here.
    std::vector<int32_t>& firstChild = PoseScratch[0];
    std::vector<int32_t>& nextSibling = PoseScratch[1];
    std::vector<int32_t>& stack = PoseScratch[2];
    firstChild.assign(bones, -1);
    nextSibling.assign(bones, -1);
    for (size_t b = bones; b-- > 0;) {
        const int32_t parent = skin.Bones[b].Parent;
        if (parent >= 0 && static_cast<size_t>(parent) < bones) {
            nextSibling[b] = firstChild[static_cast<size_t>(parent)];
            firstChild[static_cast<size_t>(parent)] = static_cast<int32_t>(b);
        }
    }
    std::vector<int32_t>& posed = PoseScratch[3];
    if (KeyCache.size() < bones)
        KeyCache.resize(bones);
    posed.assign(bones, 0);
    stack.assign(1, skin.RootBone);
    while (!stack.empty()) {
        const int32_t b = stack.back();
        stack.pop_back();
        if (posed[static_cast<size_t>(b)] != 0)
            continue;
        posed[static_cast<size_t>(b)] = 1;
        const T3D_Bone& bone = skin.Bones[static_cast<size_t>(b)];
        TMatrix4 local = IdentityMatrix;
        if (valid && static_cast<size_t>(clip) < bone.Tracks.size())
            local =
                TrackLocal(bone.Tracks[static_cast<size_t>(clip)], at, interpolate, KeyCache[static_cast<size_t>(b)]);
        TMatrix4& pose = BoneMatrices[static_cast<size_t>(b)];
        if (bone.Parent >= 0 && static_cast<size_t>(bone.Parent) < bones) {
            MatrixProduct(BoneMatrices[static_cast<size_t>(bone.Parent)], local, pose);
        } else if (b == skin.RootBone && BoneMatrixPtr != nullptr) {
            TMatrix4 follow;
            MatrixProduct(*BoneMatrixPtr, AttachOffset, follow);
            MatrixProduct(follow, local, pose);
        } else {
            pose = local;
        }
        // Children pushed last first, so that they are posed in bone order.
        const size_t mark = stack.size();
        for (int32_t child = firstChild[static_cast<size_t>(b)]; child >= 0;
             child = nextSibling[static_cast<size_t>(child)])
            if (posed[static_cast<size_t>(child)] == 0)
                stack.push_back(child);
        std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(mark), stack.end());
    }
}

void T3D_SceneMesh::MakeSkinMatrices()
{
    const T3D_Skin& skin = Mesh()->Skin;
    const size_t bones = std::min({skin.Bones.size(), BoneMatrices.size(), SkinMatrices.size()});
    for (size_t i = 0; i < bones; i++) {
        TMatrix4 poseInverse;
        MatrixProduct(BoneMatrices[i], skin.Bones[i].InverseBind, poseInverse);
        MatrixProduct(poseInverse, skin.BindShape, SkinMatrices[i]);
    }
}

void T3D_SceneMesh::Calc_Animation(int32_t clip, int32_t time, int32_t mode)
{
    RequireSkinned("Calc_Animation");
    PoseSkeleton(clip, time, mode, DualQuatSkinning != 0);
    MakeSkinMatrices();
}

void T3D_SceneMesh::Calc_AnimationByName(const std::string& clipName, int32_t time, int32_t mode)
{
    int32_t clip = -1;
    if (const T3D_Mesh* mesh = Mesh())
        for (size_t i = 0; i < mesh->Skin.Clips.size(); i++)
            if (mesh->Skin.Clips[i].Name == clipName)
                clip = static_cast<int32_t>(i);
    Calc_Animation(clip, time, mode);
}

void T3D_SceneMesh::Calc_BlendedAnimation(int32_t clipA, int32_t clipB, int32_t timeA, int32_t timeB, int32_t modeA,
                                          int32_t modeB, float weight)
{
    RequireSkinned("Calc_BlendedAnimation");
    const size_t clips = Mesh()->Skin.Clips.size();
    if (clips == 0) {
        PoseSkeleton(-1, 0, 0, true);
        MakeSkinMatrices();
        return;
    }
    const bool validA = clipA >= 0 && static_cast<size_t>(clipA) < clips;
    const bool validB = clipB >= 0 && static_cast<size_t>(clipB) < clips;
    std::vector<TMatrix4> posesA;
    if (validA) {
        PoseSkeleton(clipA, timeA, modeA, true);
        posesA = BoneMatrices;
    }
    if (validB)
        PoseSkeleton(clipB, timeB, modeB, true);
    if (validA && validB)
        for (size_t i = 0; i < BoneMatrices.size(); i++) {
            TDualQuat a, b, blended;
            MatrixToDualQuat(posesA[i], a);
            MatrixToDualQuat(BoneMatrices[i], b);
            DualQuatBlend(a, b, blended, weight);
            DualQuatToMatrix(blended, BoneMatrices[i]);
        }
    MakeSkinMatrices();
}

// ---------------------------------------------------------------------------
// Attachment tree

namespace {

void ResetFollow(T3D_SceneMesh* instance)
{
    if (instance == nullptr)
        return;
    instance->BoneMatrixPtr = nullptr;
    instance->AttachOffset = IdentityMatrix;
    *instance->ParentMatrix = IdentityMatrix;
}

int32_t FindNode(const std::vector<T3D_AttachNode>& nodes, int32_t instance)
{
    for (size_t i = 0; i < nodes.size(); i++)
        if (nodes[i].Instance == instance)
            return static_cast<int32_t>(i);
    return -1;
}

// The instance's node, or a free one (or a new one) given to it.
int32_t TakeNode(std::vector<T3D_AttachNode>& nodes, int32_t instance, bool& isNew)
{
    int32_t node = FindNode(nodes, instance);
    isNew = node < 0;
    if (!isNew)
        return node;
    node = FindNode(nodes, -1);
    if (node < 0) {
        nodes.emplace_back();
        node = static_cast<int32_t>(nodes.size()) - 1;
    }
    nodes[static_cast<size_t>(node)].Instance = instance;
    nodes[static_cast<size_t>(node)].Children.clear();
    return node;
}

bool Contains(const std::vector<int32_t>& list, int32_t value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Removes the value; the last entry takes its place.
void RemoveSwapLast(std::vector<int32_t>& list, int32_t value)
{
    auto it = std::find(list.begin(), list.end(), value);
    if (it == list.end())
        return;
    *it = list.back();
    list.pop_back();
}

bool IsSomebodysChild(const std::vector<T3D_AttachNode>& nodes, int32_t node)
{
    for (const T3D_AttachNode& other : nodes)
        if (other.Instance >= 0 && Contains(other.Children, node))
            return true;
    return false;
}

// Whether target lies in the subtree below (and including) node.
bool InSubtree(const std::vector<T3D_AttachNode>& nodes, int32_t node, int32_t target)
{
    std::vector<int32_t> stack{node};
    std::vector<uint8_t> seen(nodes.size(), 0);
    while (!stack.empty()) {
        const int32_t n = stack.back();
        stack.pop_back();
        if (n == target)
            return true;
        if (n < 0 || static_cast<size_t>(n) >= nodes.size() || seen[static_cast<size_t>(n)] != 0)
            continue;
        seen[static_cast<size_t>(n)] = 1;
        for (int32_t child : nodes[static_cast<size_t>(n)].Children)
            stack.push_back(child);
    }
    return false;
}

} // namespace

void T3D_SceneMesh::AttachChild(int32_t childSlot, const std::string& boneName)
{
    T3D_SceneMesh* child = Scene->GetMesh(childSlot);
    if (child == nullptr || child == this)
        return;
    std::vector<T3D_AttachNode>& nodes = Scene->AttachNodes;
    const int32_t ownNode = FindNode(nodes, SlotIndex);
    const int32_t childNode = FindNode(nodes, childSlot);
    // Following one of its own followers would make the tree a loop.
    if (ownNode >= 0 && childNode >= 0 && InSubtree(nodes, childNode, ownNode))
        return;

    child->BoneMatrixPtr = nullptr;
    child->AttachOffset = IdentityMatrix;
    const T3D_Mesh* mesh = Mesh();
    if (mesh != nullptr && !boneName.empty() && !mesh->Skin.Bones.empty()) {
        int32_t found = -1;
        for (size_t b = 0; b < mesh->Skin.Bones.size(); b++)
            if (mesh->Skin.Bones[b].Name == boneName)
                found = static_cast<int32_t>(b);
        if (found >= 0 && static_cast<size_t>(found) < BoneMatrices.size()) {
            child->BoneMatrixPtr = &BoneMatrices[static_cast<size_t>(found)];
            child->AttachOffset = mesh->Skin.BindShape;
        }
    }

    bool parentNew = false, childNew = false;
    const int32_t p = TakeNode(nodes, SlotIndex, parentNew);
    const int32_t c = TakeNode(nodes, childSlot, childNew);
    nodes[static_cast<size_t>(p)].Children.push_back(c);

    std::vector<int32_t>& roots = Scene->AttachRoots;
    const bool childRoot = Contains(roots, c);
    const bool parentRoot = Contains(roots, p);
    if (!childRoot) {
        if (parentNew && !parentRoot)
            roots.push_back(p);
    } else if (!parentRoot && !parentNew) {
        roots.erase(std::find(roots.begin(), roots.end(), c));
    } else if (parentNew && !parentRoot) {
        *std::find(roots.begin(), roots.end(), c) = p;
    }
}

void T3D_SceneMesh::AttachChildByName(const std::string& childName, const std::string& boneName)
{
    if (T3D_SceneMesh* child = Scene->FindMesh(childName))
        AttachChild(child->SlotIndex, boneName);
}

void T3D_SceneMesh::Detach(int32_t slot)
{
    ResetFollow(Scene->GetMesh(slot));
    std::vector<T3D_AttachNode>& nodes = Scene->AttachNodes;
    std::vector<int32_t>& roots = Scene->AttachRoots;
    const int32_t node = slot < 0 ? -1 : FindNode(nodes, slot);
    if (node < 0)
        return;
    T3D_AttachNode& own = nodes[static_cast<size_t>(node)];
    if (Contains(roots, node))
        RemoveSwapLast(roots, node);
    // Followers that have followers of their own keep their subtrees updated
    // as roots (whether or not this node was one).
    for (int32_t child : own.Children) {
        T3D_AttachNode& childNode = nodes[static_cast<size_t>(child)];
        if (!childNode.Children.empty() && !Contains(roots, child))
            roots.push_back(child);
        ResetFollow(Scene->GetMesh(childNode.Instance));
    }
    own.Children.clear();
    own.Instance = -1;

    for (size_t i = 0; i < nodes.size(); i++) {
        T3D_AttachNode& other = nodes[i];
        if (other.Instance < 0 || !Contains(other.Children, node))
            continue;
        RemoveSwapLast(other.Children, node);
        if (other.Children.empty() && !IsSomebodysChild(nodes, static_cast<int32_t>(i))) {
            other.Instance = -1;
            RemoveSwapLast(roots, static_cast<int32_t>(i));
        }
    }
    while (!nodes.empty() && nodes.back().Instance < 0)
        nodes.pop_back();
}

void T3D_SceneMesh::DetachByName(const std::string& name)
{
    if (name.empty()) {
        Detach(SlotIndex);
        return;
    }
    if (const T3D_SceneMesh* instance = Scene->FindMesh(name))
        Detach(instance->SlotIndex);
}

// ---------------------------------------------------------------------------
// Culling

TProjectedCorner ProjectBoxCorner(const float corner[3], const float* m)
{
    const float x = corner[0], y = corner[1], z = corner[2];
    float w = std::fabs(m[12] * x + m[13] * y + m[14] * z + m[15]);
    TProjectedCorner out;
    if (w < 1e-6f) {
        // On the camera plane: in front of the near plane, nowhere on screen.
        out.Valid = false;
        w = 1e-6f;
    }
    out.X = ((m[0] * x + m[1] * y + m[2] * z + m[3]) / w + 1) / 2;
    out.Y = 1 - ((m[4] * x + m[5] * y + m[6] * z + m[7]) / w + 1) / 2;
    out.Depth = out.Valid ? ((m[8] * x + m[9] * y + m[10] * z + m[11]) / w + 1) / 2 : -1.0f;
    return out;
}

bool EdgeCrossesRect(const TVec2& p1, const TVec2& p2, float left, float top, float right, float bottom)
{
    auto crosses = [&](const TVec2& q1, const TVec2& q2) {
        const float dx = p2.x - p1.x, dy = p2.y - p1.y;
        const float ex = q2.x - q1.x, ey = q2.y - q1.y;
        const float det = dx * ey - dy * ex;
        if (std::fabs(det) <= 0.00001f)
            return false;
        const float fx = q1.x - p1.x, fy = q1.y - p1.y;
        const float s = (fx * ey - fy * ex) / det;
        const float u = (fx * dy - fy * dx) / det;
        return s >= 0.00001f && s <= 1 && u >= 0.00001f && u <= 1;
    };
    return crosses({left, top}, {right, bottom}) || crosses({right, top}, {left, bottom});
}

namespace {

int32_t ClassOf(float value, float low, float high)
{
    if (value < low)
        return 0;
    if (value > high)
        return 2;
    return 1;
}

using TFloat4 = float __attribute__((vector_size(16)));

// Four corners through the matrix at once: lane by lane the operations of
// ProjectBoxCorner in its order, so the results are the same to the bit
// (a corner on the camera plane gets depth -1).
struct TFourCorners {
    TFloat4 X, Y, Depth;
};

void ProjectFourCorners(const float corners[][3], const float* m, TFourCorners& out)
{
    const TFloat4 x = {corners[0][0], corners[1][0], corners[2][0], corners[3][0]};
    const TFloat4 y = {corners[0][1], corners[1][1], corners[2][1], corners[3][1]};
    const TFloat4 z = {corners[0][2], corners[1][2], corners[2][2], corners[3][2]};
    auto row = [&](int r) { return m[r] * x + m[r + 1] * y + m[r + 2] * z + m[r + 3]; };
    TFloat4 w = row(12);
    w = w < 0 ? -w : w;
    const auto onPlane = w < 1e-6f;
    w = onPlane ? TFloat4{1e-6f, 1e-6f, 1e-6f, 1e-6f} : w;
    out.X = (row(0) / w + 1) / 2;
    out.Y = 1 - (row(4) / w + 1) / 2;
    const TFloat4 depth = (row(8) / w + 1) / 2;
    out.Depth = onPlane ? TFloat4{-1, -1, -1, -1} : depth;
}

// The twelve edges of a box in the subset corner order.
constexpr int32_t BoxEdges[12][2] = {{0, 2}, {1, 3}, {6, 4}, {7, 5}, {0, 1}, {2, 3},
                                     {4, 5}, {6, 7}, {0, 6}, {1, 7}, {2, 4}, {3, 5}};

} // namespace

int32_t ClassifyBox(const float corners[8][3], const float* matrix, float left, float top, float right, float bottom)
{
    TVec2 screen[8];
    int32_t xc[8], yc[8];
    int32_t depthMin = 2, depthMax = 0;
    for (int group = 0; group < 8; group += 4) {
        TFourCorners p;
        ProjectFourCorners(corners + group, matrix, p);
        for (int lane = 0; lane < 4; lane++) {
            const int i = group + lane;
            screen[i] = {p.X[lane], p.Y[lane]};
            xc[i] = ClassOf(p.X[lane], left, right);
            yc[i] = ClassOf(p.Y[lane], top, bottom);
            const int32_t dc = p.Depth[lane] <= 0 ? 0 : (p.Depth[lane] > 1 ? 2 : 1);
            depthMin = std::min(depthMin, dc);
            depthMax = std::max(depthMax, dc);
        }
    }
    if (depthMin == 2 || depthMax == 0)
        return 3;
    int32_t inside = 0;
    for (int i = 0; i < 8; i++)
        if (xc[i] == 1 && yc[i] == 1)
            inside++;
    if (inside == 8)
        return 1;
    if (inside > 0)
        return 2;
    const int32_t xMin = *std::min_element(xc, xc + 8), xMax = *std::max_element(xc, xc + 8);
    const int32_t yMin = *std::min_element(yc, yc + 8), yMax = *std::max_element(yc, yc + 8);
    const bool xSpans = xMin == 0 && xMax == 2, ySpans = yMin == 0 && yMax == 2;
    if (xSpans && ySpans)
        return 2;
    if ((yMin == 1 && yMax == 1 && xSpans) || (xMin == 1 && xMax == 1 && ySpans))
        return 2;
    if (xMin == xMax || yMin == yMax)
        return 3;
    for (const auto& edge : BoxEdges) {
        const int a = edge[0], b = edge[1];
        if ((xc[a] == 1 && xc[b] == 1 && yc[a] != yc[b]) || (yc[a] == 1 && yc[b] == 1 && xc[a] != xc[b]))
            return 2;
    }
    for (const auto& edge : BoxEdges) {
        const int a = edge[0], b = edge[1];
        if (xc[a] != xc[b] && yc[a] != yc[b] && EdgeCrossesRect(screen[a], screen[b], left, top, right, bottom))
            return 2;
    }
    return 3;
}

void MergeBounds(T3D_BoundInfo& bounds)
{
    T3D_Bound* kept = nullptr;
    for (T3D_Bound& bound : bounds) {
        if (bound.Kind != BOUND_DRAW)
            continue;
        if (kept != nullptr && bound.First == kept->First + kept->Count) {
            kept->Count += bound.Count;
            bound.Kind = BOUND_HIDDEN;
            bound.Count = 0;
        } else {
            kept = &bound;
        }
    }
}

void T3D_SceneMesh::Cull(const std::string& matrixName, float left, float top, float right, float bottom)
{
    const T3D_Mesh* mesh = Mesh();
    if (mesh == nullptr)
        return;
    Bounds.clear();
    if (NoCull != 0) {
        CullVisible = 1;
        for (const T3D_Subset& subset : mesh->Subsets)
            Bounds.push_back({BOUND_DRAW, subset.First, subset.Count});
        return;
    }
    CullVisible = 0;
    const float* matrix = nullptr;
    for (const T3D_Constant& constant : Constants.Constants)
        if (constant.Name == matrixName) {
            matrix = constant.DataPtr != nullptr ? constant.DataPtr : constant.Data;
            break;
        }
    if (matrix == nullptr)
        return;
    for (const T3D_Subset& subset : mesh->Subsets) {
        if (subset.Count <= 0)
            continue;
        const int64_t end = static_cast<int64_t>(subset.First) + subset.Count;
        bool covered = false;
        for (const T3D_Bound& bound : Bounds)
            if (bound.Kind == BOUND_DRAW && bound.First <= subset.First &&
                static_cast<int64_t>(bound.First) + bound.Count >= end) {
                covered = true;
                break;
            }
        if (covered)
            continue;
        // The subset record is packed: its corners are copied to aligned floats.
        float corners[8][3];
        std::memcpy(corners, reinterpret_cast<const uint8_t*>(&subset) + offsetof(T3D_Subset, Corners),
                    sizeof(corners));
        T3D_Bound bound{static_cast<uint8_t>(ClassifyBox(corners, matrix, left, top, right, bottom)), subset.First,
                        subset.Count};
        if (bound.Kind != BOUND_HIDDEN) {
            CullVisible = 1;
            if (subset.Contains == 0)
                bound.Kind = BOUND_DRAW;
        }
        Bounds.push_back(bound);
    }
    if (CullVisible != 0 && Bounds.size() > 1)
        MergeBounds(Bounds);
}

bool IsPowerOfTwo(int32_t n)
{
    for (int32_t p = 2; p <= 16384; p *= 2)
        if (n == p)
            return true;
    return false;
}

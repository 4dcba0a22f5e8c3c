// Scene meshes: one placed instance of a renderer mesh inside a scene, with
// its own world matrix, group bits, sort priority, constants, per-pass
// shaders, stage textures and render-state key, the culling result of the
// last pipeline rebuild and, for skinned meshes, its own pose (one matrix per
// bone) computed from one animation clip or blended from two. Instances can
// follow a bone of another instance; the scene keeps those links as a tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_Math.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Constants.h"
#include "render/QX9_Render_Meshes.h"

// One index range of a mesh as culling left it: kind 1 draw, 2 partly
// visible range that is not drawn, 3 invisible or merged away.
struct T3D_Bound {
    uint8_t Kind = 0;
    int32_t First = 0;
    int32_t Count = 0;
};
using T3D_BoundInfo = std::vector<T3D_Bound>;

inline constexpr uint8_t BOUND_DRAW = 1;
inline constexpr uint8_t BOUND_PARTLY = 2;
inline constexpr uint8_t BOUND_HIDDEN = 3;

struct T3D_PassShader {
    std::string PassName;
    int32_t ShaderIndex = -1;
    uint8_t Kind = 0; // 1 vertex shader, 0 pixel shader
};

struct T3D_InstanceStageTexture {
    int32_t TextureIndex = -1;
    int32_t Stage = 0;
    uint8_t Clamp = 0;
    int32_t Priority = 1;
};

// A node of a scene's attachment tree: the instance slot (-1: a free node)
// and the node numbers of the instances that follow it.
struct T3D_AttachNode {
    int32_t Instance = -1;
    std::vector<int32_t> Children;
};

class T3D_Scene;

// The last pair of keys a bone interpolated and their dual quaternions: a key
// whose bytes are the same converts to the same quaternion.
struct T3D_KeyPairCache {
    TMatrix4 KeyA;
    TMatrix4 KeyB;
    TDualQuat A;
    TDualQuat B;
    uint8_t Valid = 0;
};

class T3D_SceneMesh : public T3D_BaseMesh {
public:
    T3D_SceneMesh(T3D_Render* owner, const std::string& name, T3D_Scene* scene);
    ~T3D_SceneMesh() override;

    // The mesh of the instance; nullptr without one.
    T3D_Mesh* Mesh() const;
    // The number of bones of the mesh's skeleton (0 without a mesh).
    int32_t BoneCount() const;

    void SetTexture(const std::string& fileName, int32_t stage, uint8_t clamp);
    void SetShader(const std::string& fileName, const std::string& passName, uint8_t kind);
    void SetRenderState(uint32_t field, int32_t value);

    // The child follows this instance (and the named bone of its skeleton,
    // when there is one). An instance never follows itself or one of its own
    // followers: such a request changes nothing.
    void AttachChild(int32_t childSlot, const std::string& boneName);
    void AttachChildByName(const std::string& childName, const std::string& boneName);
    // The instance in the slot follows nothing any more, and whatever followed
    // it follows nothing either.
    void Detach(int32_t slot);
    // An empty name detaches this instance.
    void DetachByName(const std::string& name);

    // Poses the skeleton from one clip at a time in milliseconds; modes 0
    // loop, 1 clamp, 2 end, 3 start. A mesh that is not skinned stops the
    // program.
    void Calc_Animation(int32_t clip, int32_t time, int32_t mode);
    void Calc_AnimationByName(const std::string& clipName, int32_t time, int32_t mode);
    // Blends two clips by weight (0 gives clip A, 1 clip B).
    void Calc_BlendedAnimation(int32_t clipA, int32_t clipB, int32_t timeA, int32_t timeB, int32_t modeA, int32_t modeB,
                               float weight);

    // Classifies the mesh's index ranges against the rectangle (0..1 of the
    // target) through the named matrix constant; writes CullVisible and
    // Bounds. An instance without a mesh keeps its previous results.
    void Cull(const std::string& matrixName, float left, float top, float right, float bottom);

    T3D_Scene* Scene = nullptr;
    int32_t MeshIndex = -1;
    int32_t SlotIndex = -1;
    uint32_t GroupBits = 1;
    int32_t SortPriority = 0;
    uint8_t NoCull = 0;
    uint8_t CullVisible = 1;
    T3D_BoundInfo Bounds;
    uint8_t Visible = 1;
    uint8_t NoMesh = 0;
    const TMatrix4* BoneMatrixPtr = nullptr;
    TMatrix4 AttachOffset = IdentityMatrix;
    TMatrix4* ParentMatrix = nullptr;
    std::vector<TMatrix4> BoneMatrices;
    std::vector<TMatrix4> SkinMatrices;
    uint8_t DualQuatSkinning = 1;
    TRenderStateKey StateKey;
    T3D_ShaderConstant Constants;
    std::vector<T3D_PassShader> PassShaders;
    std::vector<T3D_InstanceStageTexture> StageTextures;

private:
    void RequireSkinned(const char* operation) const;
    // Poses every bone from the root with the clip's locals (identity locals
    // for an invalid clip).
    void PoseSkeleton(int32_t clip, int32_t time, int32_t mode, bool interpolate);
    void MakeSkinMatrices();

    // Kept between poses so that posing allocates nothing once sized.
    std::vector<int32_t> PoseScratch[4];
    // Per bone: the pair rarely changes from one frame to the next.
    std::vector<T3D_KeyPairCache> KeyCache;
};

// Out = A x B as stored arrays: (A x B)[i][j] = sum over k of A[i][k] B[k][j]
// (applied to a point, B first).
void MatrixProduct(const TMatrix4& a, const TMatrix4& b, TMatrix4& out);

// A box corner through the culling matrix: screen x and y in 0..1 of the
// target (y down) and depth in 0..1. A corner on the camera plane (|w| below
// 1e-6) has no place on the screen: valid is false and it counts as in front
// of the near plane.
struct TProjectedCorner {
    float X = 0;
    float Y = 0;
    float Depth = 0;
    bool Valid = true;
};
TProjectedCorner ProjectBoxCorner(const float corner[3], const float* matrix);

// 1 inside the rectangle, 2 partly, 3 outside; corners in the subset order.
int32_t ClassifyBox(const float corners[8][3], const float* matrix, float left, float top, float right, float bottom);

// Whether the segment p1-p2 crosses either diagonal of the rectangle.
bool EdgeCrossesRect(const TVec2& p1, const TVec2& p2, float left, float top, float right, float bottom);

// Joins each drawn bound to the drawn bound before it that it continues.
void MergeBounds(T3D_BoundInfo& bounds);

// True for 2, 4, 8 ... 16384.
bool IsPowerOfTwo(int32_t n);

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine/QX9_System.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "tests/render/RenderTestSupport.h"

namespace {

TMatrix4 Translation(float x, float y, float z)
{
    TMatrix4 m;
    MatrixTranslation(m, x, y, z);
    return m;
}

TVec3 Apply(const TMatrix4& m, const TVec3& p)
{
    TVec3 out;
    Vec3TransformCoord(p, m, out);
    return out;
}

void ExpectNear(const TVec3& a, const TVec3& b)
{
    EXPECT_NEAR(a.x, b.x, 1e-4f);
    EXPECT_NEAR(a.y, b.y, 1e-4f);
    EXPECT_NEAR(a.z, b.z, 1e-4f);
}

void ExpectMatrixNear(const TMatrix4& a, const TMatrix4& b)
{
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR(a.e[i], b.e[i], 1e-4f) << "element " << i;
}

} // namespace

class SceneMeshesTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        Scene = Render->Scene_Get(Render->Scene_Add("ARENA"));
    }

    // A skinned mesh: bone 0 the root; one clip "Walk" of 1000 ms whose root
    // track has keys at 0, 0.5 and 1 s moving along x to 0, 10, 20 and whose
    // rest matrix stands at x = -1.
    int32_t AddSkinnedMesh(const std::string& name, int32_t bones = 1)
    {
        const int32_t slot = Render->Mesh_Add(MESH_SKINNED, name, 1);
        T3D_Mesh* mesh = Render->Mesh_Get(slot);
        for (int32_t b = 0; b < bones; b++) {
            T3D_Bone bone;
            bone.Name = "bone" + std::to_string(b);
            bone.Parent = b - 1;
            T3D_Track track;
            track.Matrix = Translation(-1, 0, 0);
            if (b == 0) {
                track.Times = {0.0f, 0.5f, 1.0f};
                track.Keys = {Translation(0, 0, 0), Translation(10, 0, 0), Translation(20, 0, 0)};
            }
            bone.Tracks.push_back(track);
            mesh->Skin.Bones.push_back(bone);
        }
        mesh->Skin.Clips.push_back({"Walk", 1000});
        return slot;
    }

    T3D_SceneMesh* Instance(int32_t meshSlot, const std::string& name = "i")
    {
        return Scene->GetMesh(Scene->AddMesh(meshSlot, name));
    }

    T3D_Scene* Scene = nullptr;
};

TEST_F(SceneMeshesTest, AnimationModesAndKeyWeights)
{
    T3D_SceneMesh* instance = Instance(AddSkinnedMesh("bar"));
    struct Case {
        int32_t time, mode;
        uint8_t interpolate;
        float x;
    } cases[] = {
        {2500, 0, 1, 9.96f}, // 2500 mod 1001 = 498: weight 498 / 500 between 0 and 10
        {1000, 0, 1, 20},    // 1000 mod 1001 stays 1000: the last pair at weight 1
        {250, 1, 1, 5},      // weight 0.5
        {250, 1, 0, 0},      // without interpolation the earlier key stands
        {0, 1, 1, -1},       // no key lies below 0: the rest matrix
        {-5, 1, 1, 0},       // clamp: before the start the first key
        {1500, 1, 1, 20},    // clamp: after the end the last key
        {-5, 2, 1, 20},      // end: the last key on both sides
        {1500, 3, 1, 0},     // start: the first key on both sides
    };
    for (const Case& c : cases) {
        instance->DualQuatSkinning = c.interpolate;
        instance->Calc_Animation(0, c.time, c.mode);
        EXPECT_NEAR(instance->BoneMatrices[0].e[3], c.x, 1e-3f) << "time " << c.time << " mode " << c.mode;
    }
    // The name form takes the clip of that name; an unknown name poses the
    // identity.
    instance->Calc_AnimationByName("Walk", 250, 1);
    EXPECT_NEAR(instance->BoneMatrices[0].e[3], 5, 1e-3f);
    instance->Calc_AnimationByName("Run", 250, 1);
    ExpectMatrixNear(instance->BoneMatrices[0], IdentityMatrix);
}

TEST_F(SceneMeshesTest, KeyAndTimeCountsThatDifferAreWalkedOverTheShorterList)
{
    const int32_t mesh = AddSkinnedMesh("bar");
    T3D_Track& track = Render->Mesh_Get(mesh)->Skin.Bones[0].Tracks[0];
    track.Keys.resize(2); // three times, two keys
    T3D_SceneMesh* instance = Instance(mesh);
    instance->Calc_Animation(0, 900, 1);
    EXPECT_NEAR(instance->BoneMatrices[0].e[3], 10, 1e-3f);
    instance->Calc_Animation(0, 5000, 1);
    EXPECT_NEAR(instance->BoneMatrices[0].e[3], 10, 1e-3f);
    track.Times.clear();
    instance->Calc_Animation(0, 300, 1);
    EXPECT_NEAR(instance->BoneMatrices[0].e[3], -1, 1e-3f);
}

// An instance keeps the quaternions of the keys it last interpolated: keys
// edited between two poses, or a move to the next pair, must pose exactly as
// a fresh instance does.
TEST_F(SceneMeshesTest, EditedKeysPoseAsOnAFreshInstance)
{
    const int32_t mesh = AddSkinnedMesh("bar");
    T3D_SceneMesh* kept = Instance(mesh, "kept");
    kept->Calc_Animation(0, 250, 1);
    kept->Calc_Animation(0, 750, 1);
    std::vector<TMatrix4>& keys = Render->Mesh_Get(mesh)->Skin.Bones[0].Tracks[0].Keys;
    MatrixRotationZ(keys[1], 0.7f);
    keys[2] = Translation(0, 5, 0);
    for (int32_t time : {750, 250, 300}) {
        kept->Calc_Animation(0, time, 1);
        T3D_SceneMesh* fresh = Instance(mesh, "fresh" + std::to_string(time));
        fresh->Calc_Animation(0, time, 1);
        EXPECT_EQ(std::memcmp(kept->BoneMatrices[0].e, fresh->BoneMatrices[0].e, sizeof(TMatrix4)), 0)
            << "time " << time;
    }
}

TEST_F(SceneMeshesTest, SkinIsPoseTimesInverseBindTimesBindShapeOnATwoBoneChain)
{
    const int32_t slot = Render->Mesh_Add(MESH_SKINNED, "chain", 1);
    T3D_Mesh* mesh = Render->Mesh_Get(slot);
    TMatrix4 rotation, scaling;
    MatrixRotationZ(rotation, 0.5f);
    MatrixScaling(scaling, 2, 2, 2);
    mesh->Skin.BindShape = scaling;
    T3D_Bone root, child;
    root.Name = "root";
    root.InverseBind = Translation(0, -1, 0);
    root.Tracks.resize(1);
    root.Tracks[0].Times = {0.0f};
    root.Tracks[0].Keys = {Translation(1, 0, 0)};
    child.Name = "tip";
    child.Parent = 0;
    child.InverseBind = Translation(0, 0, -3);
    child.Tracks.resize(1);
    child.Tracks[0].Times = {0.0f};
    child.Tracks[0].Keys = {rotation};
    mesh->Skin.Bones = {root, child};
    mesh->Skin.Clips.push_back({"Bend", 0});

    T3D_SceneMesh* instance = Instance(slot);
    instance->Calc_Animation(0, -5, 1); // the first keys
    // A point runs through the bind shape, then the inverse bind, then the
    // child's local and then the root's local.
    const TVec3 p{1, 2, 3};
    const TVec3 expected =
        Apply(Translation(1, 0, 0), Apply(rotation, Apply(Translation(0, 0, -3), Apply(scaling, p))));
    ExpectNear(Apply(instance->SkinMatrices[1], p), expected);
    ExpectNear(Apply(instance->SkinMatrices[0], p),
               Apply(Translation(1, 0, 0), Apply(Translation(0, -1, 0), Apply(scaling, p))));
}

TEST_F(SceneMeshesTest, BlendsAtTheEndWeightsAndWithAnInvalidClip)
{
    const int32_t mesh = AddSkinnedMesh("bar");
    T3D_Mesh* m = Render->Mesh_Get(mesh);
    m->Skin.Clips.push_back({"Bend", 1000});
    T3D_Track second;
    second.Times = {0.0f};
    second.Keys = {Translation(0, 7, 0)};
    m->Skin.Bones[0].Tracks.push_back(second);
    T3D_SceneMesh* instance = Instance(mesh);

    instance->Calc_Animation(0, 250, 1);
    const TMatrix4 poseA = instance->BoneMatrices[0];
    instance->Calc_Animation(1, 600, 1);
    const TMatrix4 poseB = instance->BoneMatrices[0];

    instance->Calc_BlendedAnimation(0, 1, 250, 600, 1, 1, 0);
    ExpectMatrixNear(instance->BoneMatrices[0], poseA);
    instance->Calc_BlendedAnimation(0, 1, 250, 600, 1, 1, 1);
    ExpectMatrixNear(instance->BoneMatrices[0], poseB);
    instance->Calc_BlendedAnimation(0, 9, 250, 600, 1, 1, 0.5f);
    ExpectMatrixNear(instance->BoneMatrices[0], poseA);
    // The blend interpolates whatever the instance's flag says.
    instance->DualQuatSkinning = 0;
    instance->Calc_BlendedAnimation(0, -1, 250, 0, 1, 1, 0.5f);
    ExpectMatrixNear(instance->BoneMatrices[0], poseA);

    m->Skin.Clips.clear();
    instance->Calc_BlendedAnimation(0, 1, 250, 600, 1, 1, 0.5f);
    ExpectMatrixNear(instance->BoneMatrices[0], IdentityMatrix);
}

TEST_F(SceneMeshesTest, AnimatingAMeshThatIsNotSkinnedStops)
{
    T3D_SceneMesh* instance = Instance(Render->Mesh_Add(MESH_TEXTURED, "box", 1), "Box1");
    EXPECT_THROW(instance->Calc_Animation(0, 0, 0), TRenderFatalStop);
    EXPECT_NE(GetEngineErrorText().find("T3D_SceneMesh(Box1).Calc_Animation -> NOT SKINNED MESH!"), std::string::npos);
    EXPECT_THROW(instance->Calc_BlendedAnimation(0, 0, 0, 0, 0, 0, 0), TRenderFatalStop);
    EXPECT_NE(GetEngineErrorText().find("T3D_SceneMesh(Box1).Calc_BlendedAnimation -> NOT SKINNED MESH!"),
              std::string::npos);
}

TEST_F(SceneMeshesTest, AttachToABoneOrToTheWorldAndUpdateTheFollowers)
{
    const int32_t skinned = AddSkinnedMesh("rider", 2);
    const int32_t box = Render->Mesh_Add(MESH_TEXTURED, "box", 1);
    T3D_SceneMesh* parent = Instance(skinned, "parent");
    T3D_SceneMesh* sword = Instance(box, "sword");
    T3D_SceneMesh* shield = Instance(box, "shield");
    T3D_SceneMesh* cloak = Instance(skinned, "cloak");
    Render->Mesh_Get(skinned)->Skin.BindShape = Translation(0, 0, 5);

    parent->AttachChildByName("sword", "bone1");
    parent->AttachChild(shield->SlotIndex, "no such bone");
    parent->AttachChild(cloak->SlotIndex, "bone1");
    EXPECT_EQ(sword->BoneMatrixPtr, &parent->BoneMatrices[1]);
    ExpectMatrixNear(sword->AttachOffset, Translation(0, 0, 5));
    EXPECT_EQ(shield->BoneMatrixPtr, nullptr);
    ExpectMatrixNear(shield->AttachOffset, IdentityMatrix);

    parent->Calc_Animation(0, 250, 1); // bone 1 at x 5 - 1 = 4
    *parent->World = Translation(100, 0, 0);
    Scene->UpdateAttachments();
    const TVec3 origin{0, 0, 0};
    ExpectNear(Apply(*sword->ParentMatrix, origin), {104, 0, 5});
    ExpectNear(Apply(*shield->ParentMatrix, origin), {100, 0, 0});
    // A skinned follower of a skinned parent is posed by its own bones.
    ExpectNear(Apply(*cloak->ParentMatrix, origin), {100, 0, 0});
}

TEST_F(SceneMeshesTest, TreeRootsDetachAndLoops)
{
    const int32_t box = Render->Mesh_Add(MESH_TEXTURED, "box", 1);
    T3D_SceneMesh* a = Instance(box, "a");
    T3D_SceneMesh* b = Instance(box, "b");
    T3D_SceneMesh* c = Instance(box, "c");
    T3D_SceneMesh* d = Instance(box, "d");
    b->AttachChild(c->SlotIndex, "");
    a->AttachChild(b->SlotIndex, ""); // b's node was a root: a takes its place
    ASSERT_EQ(Scene->AttachRoots.size(), 1u);
    EXPECT_EQ(Scene->AttachNodes[static_cast<size_t>(Scene->AttachRoots[0])].Instance, a->SlotIndex);

    // Loops are refused: nothing changes.
    const auto nodesBefore = Scene->AttachNodes.size();
    c->AttachChild(a->SlotIndex, "");
    a->AttachChild(a->SlotIndex, "");
    EXPECT_EQ(Scene->AttachNodes.size(), nodesBefore);
    EXPECT_EQ(Scene->AttachRoots.size(), 1u);

    *a->World = Translation(1, 0, 0);
    *b->World = Translation(0, 2, 0);
    Scene->UpdateAttachments();
    ExpectNear(Apply(*c->ParentMatrix, {0, 0, 0}), {1, 2, 0});

    // Detaching the root: b, which has a follower, becomes a root.
    a->DetachByName("");
    ASSERT_EQ(Scene->AttachRoots.size(), 1u);
    EXPECT_EQ(Scene->AttachNodes[static_cast<size_t>(Scene->AttachRoots[0])].Instance, b->SlotIndex);
    ExpectMatrixNear(*b->ParentMatrix, IdentityMatrix);
    *c->ParentMatrix = IdentityMatrix;
    Scene->UpdateAttachments();
    ExpectNear(Apply(*c->ParentMatrix, {0, 0, 0}), {0, 2, 0});

    // Detaching the last follower frees b's node and trims the free nodes.
    d->Detach(c->SlotIndex);
    EXPECT_TRUE(Scene->AttachRoots.empty());
    for (const T3D_AttachNode& node : Scene->AttachNodes)
        EXPECT_NE(node.Instance, b->SlotIndex);
    EXPECT_TRUE(Scene->AttachNodes.empty() || Scene->AttachNodes.back().Instance >= 0);

    // Removing an instance detaches it with its followers.
    a->AttachChild(b->SlotIndex, "");
    Scene->RemoveMesh(a->SlotIndex);
    EXPECT_TRUE(Scene->AttachRoots.empty());
}

// ---------------------------------------------------------------------------
// Culling

namespace {

// The corners of the box (x0, y0, z0)-(x1, y1, z1) in the subset order.
void BoxCorners(float x0, float y0, float z0, float x1, float y1, float z1, float out[8][3])
{
    const float c[8][3] = {{x0, y0, z0}, {x0, y1, z0}, {x1, y0, z0}, {x1, y1, z0},
                           {x1, y0, z1}, {x1, y1, z1}, {x0, y0, z1}, {x0, y1, z1}};
    std::memcpy(out, c, sizeof(c));
}

} // namespace

TEST(ClassifyBox, Table)
{
    // With the identity, screen x = (x + 1) / 2, y = 1 - (y + 1) / 2 and
    // depth = (z + 1) / 2.
    struct Case {
        const char* name;
        float box[6];
        int32_t expected;
    } cases[] = {
        {"inside", {-0.2f, -0.2f, 0, 0.2f, 0.2f, 0.5f}, 1},
        {"one corner inside", {0.5f, 0.5f, 0, 2, 2, 0.5f}, 2},
        {"all behind the near plane", {-0.2f, -0.2f, -3, 0.2f, 0.2f, -1.5f}, 3},
        {"all beyond the far plane", {-0.2f, -0.2f, 1.5f, 0.2f, 0.2f, 2}, 3},
        {"left of the rectangle", {-3, -0.2f, 0, -2, 0.2f, 0.5f}, 3},
        {"spans both axes", {-3, -3, 0, 3, 3, 0.5f}, 2},
        {"spans x inside the y range", {-3, -0.2f, 0, 3, 0.2f, 0.5f}, 2},
        {"corner region beyond the diagonal", {1.5f, 1.5f, 0, 3, 3, 0.5f}, 3},
    };
    for (const Case& c : cases) {
        float corners[8][3];
        BoxCorners(c.box[0], c.box[1], c.box[2], c.box[3], c.box[4], c.box[5], corners);
        EXPECT_EQ(ClassifyBox(corners, IdentityMatrix.e, 0, 0, 1, 1), c.expected) << c.name;
    }
    // A skewed box whose edge crosses the rectangle with all corners outside.
    TMatrix4 skew = IdentityMatrix;
    skew.e[1] = 1; // screen x grows with y
    float corners[8][3];
    BoxCorners(-1.5f, -1.5f, 0, -1.2f, 1.5f, 0.5f, corners);
    EXPECT_EQ(ClassifyBox(corners, skew.e, 0, 0, 1, 1), 2);
    // A corner on the camera plane counts as in front of the near plane.
    TMatrix4 flat = IdentityMatrix;
    flat.e[15] = 0;
    const float onPlane[3] = {0, 0, 0};
    EXPECT_FALSE(ProjectBoxCorner(onPlane, flat.e).Valid);
}

TEST(ClassifyBox, AgreesWithItsCornersOneByOne)
{
    // Random boxes through random perspective matrices, many of them with
    // corners right at the rectangle's and the depth range's edges: where the
    // corners alone decide (all in front or beyond, all inside, some
    // inside), the box's class follows the corners as ProjectBoxCorner
    // places them.
    const uint32_t savedSeed = RandomSeed;
    RandomSeed = 4242;
    int decided = 0;
    for (int round = 0; round < 3000; round++) {
        TMatrix4 m;
        for (float& e : m.e)
            e = RandomFloat() * 2 - 1;
        m.e[15] = RandomFloat() * 3;
        float corners[8][3];
        const float x = RandomFloat() * 4 - 2, y = RandomFloat() * 4 - 2, z = RandomFloat() * 4 - 2;
        const float size = RandomInt(2) == 0 ? 0.05f : RandomFloat() * 2;
        BoxCorners(x, y, z, x + size, y + size, z + size, corners);
        int inside = 0, front = 0, beyond = 0;
        for (const auto& corner : corners) {
            const TProjectedCorner p = ProjectBoxCorner(corner, m.e);
            inside += !(p.X < 0) && !(p.X > 1) && !(p.Y < 0) && !(p.Y > 1) ? 1 : 0;
            front += !p.Valid || p.Depth <= 0 ? 1 : 0;
            beyond += p.Valid && p.Depth > 1 ? 1 : 0;
        }
        const int32_t kind = ClassifyBox(corners, m.e, 0, 0, 1, 1);
        if (front == 8 || beyond == 8) {
            EXPECT_EQ(kind, 3) << "round " << round;
            decided++;
        } else if (inside == 8) {
            EXPECT_EQ(kind, 1) << "round " << round;
            decided++;
        } else if (inside > 0) {
            EXPECT_EQ(kind, 2) << "round " << round;
            decided++;
        } else {
            EXPECT_NE(kind, 1) << "round " << round;
        }
    }
    EXPECT_GT(decided, 1000);
    RandomSeed = savedSeed;
}

TEST(ClassifyBox, EdgeCrossesEitherDiagonal)
{
    EXPECT_TRUE(EdgeCrossesRect({-1, 0.5f}, {2, 0.5f}, 0, 0, 1, 1));
    EXPECT_TRUE(EdgeCrossesRect({0.5f, -1}, {0.5f, 2}, 0, 0, 1, 1));
    EXPECT_FALSE(EdgeCrossesRect({-1, -1}, {-0.5f, 3}, 0, 0, 1, 1));
    EXPECT_FALSE(EdgeCrossesRect({-1, -0.5f}, {-0.2f, 0.3f}, 0, 0, 1, 1)); // parallel to one, short of the other
}

TEST(ClassifyBox, MergeJoinsAdjacentDrawnBounds)
{
    T3D_BoundInfo bounds = {{1, 0, 30}, {1, 30, 60}, {2, 90, 6}, {1, 96, 3}, {1, 120, 3}};
    MergeBounds(bounds);
    ASSERT_EQ(bounds.size(), 5u);
    EXPECT_EQ(bounds[0].Count, 90);
    EXPECT_EQ(bounds[1].Kind, BOUND_HIDDEN);
    EXPECT_EQ(bounds[1].Count, 0);
    EXPECT_EQ(bounds[3].Kind, BOUND_DRAW); // 96 does not continue 0 + 90
    EXPECT_EQ(bounds[4].Kind, BOUND_DRAW);
}

TEST_F(SceneMeshesTest, CullingOfSubsets)
{
    const int32_t slot = Render->Mesh_Add(MESH_TEXTURED, "two", 1);
    T3D_Mesh* mesh = Render->Mesh_Get(slot);
    T3D_Subset inside{}, outside{}, partly{};
    BoxCorners(-0.2f, -0.2f, 0, 0.2f, 0.2f, 0.5f, inside.Corners);
    inside.First = 0;
    inside.Count = 30;
    BoxCorners(-0.3f, -0.2f, 0, 0.1f, 0.2f, 0.5f, partly.Corners);
    partly.First = 30;
    partly.Count = 60;
    BoxCorners(-3, -0.2f, 0, -2, 0.2f, 0.5f, outside.Corners);
    outside.First = 90;
    outside.Count = 6;
    mesh->Subsets = {inside, partly, outside};

    T3D_SceneMesh* instance = Instance(slot);
    instance->Constants.Add(CONSTANT_VERTEX, 0, "Cull", IdentityMatrix.e, 1);
    instance->Cull("Cull", 0, 0, 1, 1);
    EXPECT_EQ(instance->CullVisible, 1);
    ASSERT_EQ(instance->Bounds.size(), 3u);
    EXPECT_EQ(instance->Bounds[0].Kind, BOUND_DRAW);
    EXPECT_EQ(instance->Bounds[0].Count, 90); // (0, 30) + (30, 60)
    EXPECT_EQ(instance->Bounds[2].Kind, BOUND_HIDDEN);

    // A subset containing others that is only partly visible is not drawn.
    mesh->Subsets[0].Contains = 1;
    instance->Cull("Cull", 0.45f, 0, 1, 1);
    EXPECT_EQ(instance->Bounds[0].Kind, BOUND_PARTLY);

    instance->Cull("Missing", 0, 0, 1, 1);
    EXPECT_EQ(instance->CullVisible, 0);
    EXPECT_TRUE(instance->Bounds.empty());

    instance->NoCull = 1;
    instance->Cull("", 0, 0, 1, 1);
    EXPECT_EQ(instance->CullVisible, 1);
    EXPECT_EQ(instance->Bounds.size(), 3u);
}

TEST(IsPowerOfTwo, Range)
{
    EXPECT_FALSE(IsPowerOfTwo(1));
    EXPECT_TRUE(IsPowerOfTwo(2));
    EXPECT_TRUE(IsPowerOfTwo(512));
    EXPECT_TRUE(IsPowerOfTwo(16384));
    EXPECT_FALSE(IsPowerOfTwo(32768));
    EXPECT_FALSE(IsPowerOfTwo(1920));
    EXPECT_FALSE(IsPowerOfTwo(0));
    EXPECT_FALSE(IsPowerOfTwo(-2));
}

// Skeletons and clips of the personage art. A figure is boxes riding rigidly
// on thirty bones; every clip is a few keys of joint angles computed from the
// clip's name, the weapon prefix (which sets how the hands hold their gear)
// and the time within the clip. A bone whose angles stay the same through a
// clip gets no keys: its track's own matrix holds the pose, which keeps the
// files small.
//
// Axes: y up, the figure faces -z, its right hand is on -x. A positive angle
// about x swings a hanging limb forward and leans an upright trunk back.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_SceneMeshes.h"

namespace ArtPers {

constexpr float Degree = 0.017453293f;

enum TBone : int32_t {
    bRoot,
    bPelvis,
    bSpine1,
    bSpine2,
    bChest,
    bNeck,
    bHead,
    bHPHead,
    bClavR,
    bUpperArmR,
    bForearmR,
    bHandR,
    bHPRight,
    bClavL,
    bUpperArmL,
    bForearmL,
    bHandL,
    bHPLeft,
    bHPShield,
    bHPBack,
    bThighR,
    bShinR,
    bFootR,
    bToeR,
    bThighL,
    bShinL,
    bFootL,
    bToeL,
    bHPHorse,
    bCrest,
    BoneCount
};

struct TBoneDef {
    const char* Name;
    int32_t Parent;
};

inline constexpr TBoneDef BoneDefs[BoneCount] = {
    {"Root", -1},           {"Pelvis", bRoot},      {"Spine1", bPelvis},       {"Spine2", bSpine1},
    {"Chest", bSpine2},     {"Neck", bChest},       {"Head", bNeck},           {"HP_head", bHead},
    {"Clavicle_R", bChest}, {"UpperArm_R", bClavR}, {"Forearm_R", bUpperArmR}, {"Hand_R", bForearmR},
    {"HP_right", bHandR},   {"Clavicle_L", bChest}, {"UpperArm_L", bClavL},    {"Forearm_L", bUpperArmL},
    {"Hand_L", bForearmL},  {"HP_left", bHandL},    {"HP_shield", bForearmL},  {"HP_back", bChest},
    {"Thigh_R", bPelvis},   {"Shin_R", bThighR},    {"Foot_R", bShinR},        {"Toe_R", bFootR},
    {"Thigh_L", bPelvis},   {"Shin_L", bThighL},    {"Foot_L", bShinL},        {"Toe_L", bFootL},
    {"HP_horse", bRoot},    {"Crest", bHead},
};

// The joints of a body in its rest pose (world units, feet on y = 0).
struct TBodyPlan {
    std::array<TVec3, BoneCount> Joint{};
    bool Beast = false;
};

// An upright figure of the given height factor (1: about 1.8 units tall).
inline TBodyPlan HumanPlan(float height, float bulk)
{
    TBodyPlan p;
    auto at = [&](TBone b, float x, float y, float z) { p.Joint[b] = {x * bulk, y * height, z}; };
    at(bRoot, 0, 0, 0);
    at(bPelvis, 0, 0.95f, 0);
    at(bSpine1, 0, 1.08f, 0);
    at(bSpine2, 0, 1.22f, 0);
    at(bChest, 0, 1.36f, 0);
    at(bNeck, 0, 1.52f, 0);
    at(bHead, 0, 1.60f, 0);
    at(bHPHead, 0, 1.60f, 0);
    at(bHPBack, 0, 1.30f, 0.19f);
    at(bHPHorse, 0, 0, 0);
    at(bCrest, 0, 1.80f, 0);
    for (int32_t side = 0; side < 2; side++) {
        const float s = side == 0 ? -1.0f : 1.0f;
        const int32_t arm = side == 0 ? 0 : bClavL - bClavR;
        const int32_t leg = side == 0 ? 0 : bThighL - bThighR;
        at(static_cast<TBone>(bClavR + arm), s * 0.06f, 1.46f, 0);
        at(static_cast<TBone>(bUpperArmR + arm), s * 0.22f, 1.46f, 0);
        at(static_cast<TBone>(bForearmR + arm), s * 0.24f, 1.17f, 0);
        at(static_cast<TBone>(bHandR + arm), s * 0.25f, 0.91f, 0);
        at(static_cast<TBone>(bHPRight + arm), s * 0.25f, 0.84f, 0);
        at(static_cast<TBone>(bThighR + leg), s * 0.10f, 0.92f, 0);
        at(static_cast<TBone>(bShinR + leg), s * 0.10f, 0.50f, 0);
        at(static_cast<TBone>(bFootR + leg), s * 0.10f, 0.09f, 0);
        at(static_cast<TBone>(bToeR + leg), s * 0.10f, 0.03f, -0.12f);
    }
    // Beyond the left wrist: the shield stands in front of the hand when the
    // forearm points forward.
    p.Joint[bHPShield] = {p.Joint[bHandL].x + 0.04f, p.Joint[bHandL].y - 0.10f * height, 0};
    return p;
}

// A four-legged beast: the same bones, the trunk lying along z, the arms as
// forelegs and the crest as ears.
inline TBodyPlan BeastPlan()
{
    TBodyPlan p;
    p.Beast = true;
    auto at = [&](TBone b, float x, float y, float z) { p.Joint[b] = {x, y, z}; };
    at(bRoot, 0, 0, 0);
    at(bPelvis, 0, 0.56f, 0.36f);
    at(bSpine1, 0, 0.58f, 0.16f);
    at(bSpine2, 0, 0.59f, -0.04f);
    at(bChest, 0, 0.59f, -0.24f);
    at(bNeck, 0, 0.64f, -0.40f);
    at(bHead, 0, 0.74f, -0.52f);
    at(bHPHead, 0, 0.74f, -0.52f);
    at(bHPBack, 0, 0.70f, 0);
    at(bHPHorse, 0, 0, 0);
    at(bCrest, 0, 0.86f, -0.52f);
    for (int32_t side = 0; side < 2; side++) {
        const float s = side == 0 ? -1.0f : 1.0f;
        const int32_t arm = side == 0 ? 0 : bClavL - bClavR;
        const int32_t leg = side == 0 ? 0 : bThighL - bThighR;
        at(static_cast<TBone>(bClavR + arm), s * 0.06f, 0.55f, -0.28f);
        at(static_cast<TBone>(bUpperArmR + arm), s * 0.11f, 0.52f, -0.28f);
        at(static_cast<TBone>(bForearmR + arm), s * 0.11f, 0.31f, -0.28f);
        at(static_cast<TBone>(bHandR + arm), s * 0.11f, 0.07f, -0.28f);
        at(static_cast<TBone>(bHPRight + arm), s * 0.11f, 0.02f, -0.32f);
        at(static_cast<TBone>(bThighR + leg), s * 0.10f, 0.52f, 0.38f);
        at(static_cast<TBone>(bShinR + leg), s * 0.10f, 0.30f, 0.44f);
        at(static_cast<TBone>(bFootR + leg), s * 0.10f, 0.08f, 0.40f);
        at(static_cast<TBone>(bToeR + leg), s * 0.10f, 0.02f, 0.34f);
    }
    p.Joint[bHPShield] = p.Joint[bHandL];
    return p;
}

// The horse the riders sit on: the top of its saddle in the model, and the
// size the weapons' settings give it ("Scale" 110 of the horse's model).
constexpr float HorseSaddleTop = 1.50f;
constexpr float HorseScale = 1.10f;
// The underside of a figure's seat, below its pelvis joint.
constexpr float SeatBelowPelvis = 0.09f;

// A pose: angles (degrees) about x, y and z per bone, and a move of the root.
struct TPose {
    std::array<std::array<float, 3>, BoneCount> Angle{};
    TVec3 Move{};

    void Add(TBone b, float rx, float ry = 0, float rz = 0)
    {
        Angle[b][0] += rx;
        Angle[b][1] += ry;
        Angle[b][2] += rz;
    }
};

// Rotation about y, then x, then z applied to a point last to first:
// Ry x Rx x Rz.
inline TMatrix4 Rotation(float rx, float ry, float rz)
{
    TMatrix4 x, y, z, yx, out;
    MatrixRotationX(x, rx * Degree);
    MatrixRotationY(y, ry * Degree);
    MatrixRotationZ(z, rz * Degree);
    MatrixProduct(y, x, yx);
    MatrixProduct(yx, z, out);
    return out;
}

// The local matrix of a bone: turned about its joint, then placed at the
// joint's offset from its parent's.
inline TMatrix4 LocalMatrix(const TBodyPlan& plan, int32_t b, const TPose& pose, const TMatrix4& fixed)
{
    const int32_t parent = BoneDefs[b].Parent;
    TVec3 offset = plan.Joint[static_cast<size_t>(b)];
    if (parent >= 0) {
        const TVec3& p = plan.Joint[static_cast<size_t>(parent)];
        offset = {offset.x - p.x, offset.y - p.y, offset.z - p.z};
    } else {
        offset = {offset.x + pose.Move.x, offset.y + pose.Move.y, offset.z + pose.Move.z};
    }
    const auto& a = pose.Angle[static_cast<size_t>(b)];
    TMatrix4 t, turned, rotated;
    MatrixTranslation(t, offset.x, offset.y, offset.z);
    MatrixProduct(t, Rotation(a[0], a[1], a[2]), turned);
    MatrixProduct(turned, fixed, rotated);
    return rotated;
}

// The skeleton of a plan with no clips yet: inverse binds from the joints,
// the hard points' own turns applied by the clips (FixedTurn).
inline T3D_Skin SkeletonOf(const TBodyPlan& plan)
{
    T3D_Skin skin;
    for (int32_t b = 0; b < BoneCount; b++) {
        T3D_Bone bone;
        bone.Name = BoneDefs[b].Name;
        bone.NodeName = bone.Name;
        bone.Parent = BoneDefs[b].Parent;
        const TVec3& j = plan.Joint[static_cast<size_t>(b)];
        MatrixTranslation(bone.InverseBind, -j.x, -j.y, -j.z);
        skin.Bones.push_back(bone);
    }
    return skin;
}

// A fixed turn some hard points keep under their parent bone.
inline TMatrix4 FixedTurn(const TBodyPlan& plan, int32_t b)
{
    if (b == bHPShield && !plan.Beast)
        return Rotation(-100, 0, 0);
    // What the back carries shows its face (a pavise's, a quiver's opening
    // side) outward.
    if (b == bHPBack)
        return Rotation(0, 180, 0);
    return IdentityMatrix;
}

// ---------------------------------------------------------------------------
// Clips

// The clip names every prefix gets: the base set and the battle's actions.
inline const std::vector<std::string>& ClipBaseNames()
{
    static const std::vector<std::string> names = {
        "stand",         "idle01", "death",     "relax",   "walk", "attack", "attack02", "attack_far", "attack_multi",
        "attack_double", "wound",  "wound_far", "runaway", "talk", "defend", "drink",    "up"};
    return names;
}

// The far stance of pike bearers: the pike lowered, the knees bent.
inline const std::vector<std::string>& FarClipNames()
{
    static const std::vector<std::string> names = {"stand_far", "idle01_far", "death_far"};
    return names;
}

// How the hands hold the gear of a prefix.
inline void AddGrip(TPose& pose, const std::string& prefix, const TBodyPlan& plan)
{
    if (plan.Beast)
        return;
    if (prefix == "sword_" || prefix == "blunt_" || prefix == "rod_") {
        pose.Add(bUpperArmR, 15);
        pose.Add(bForearmR, 70);
    } else if (prefix == "shield_") {
        pose.Add(bUpperArmR, 15);
        pose.Add(bForearmR, 70);
        pose.Add(bUpperArmL, 20);
        pose.Add(bForearmL, 80);
    } else if (prefix == "double_") {
        pose.Add(bUpperArmR, 15);
        pose.Add(bForearmR, 70);
        pose.Add(bUpperArmL, 15);
        pose.Add(bForearmL, 70);
    } else if (prefix == "spear_" || prefix == "halberd_" || prefix == "pike_") {
        pose.Add(bUpperArmR, 20);
        pose.Add(bForearmR, 60);
        pose.Add(bHandR, -70);
        pose.Add(bUpperArmL, 45);
        pose.Add(bForearmL, 30, 0, -20);
    } else if (prefix == "2hsword_") {
        pose.Add(bUpperArmR, 25, 0, 10);
        pose.Add(bForearmR, 65);
        pose.Add(bUpperArmL, 25, 0, -10);
        pose.Add(bForearmL, 65);
    } else if (prefix == "bow_") {
        pose.Add(bUpperArmL, 85);
        pose.Add(bUpperArmR, 60);
        pose.Add(bForearmR, 70);
    } else if (prefix == "crossbow_") {
        pose.Add(bUpperArmR, 30);
        pose.Add(bForearmR, 60);
        pose.Add(bHandR, -80);
        pose.Add(bUpperArmL, 40);
        pose.Add(bForearmL, 50);
    } else if (prefix == "staff_") {
        pose.Add(bUpperArmL, 20);
        pose.Add(bForearmL, 70);
    } else if (prefix == "book_") {
        pose.Add(bUpperArmL, 20);
        pose.Add(bForearmL, 80);
    } else if (prefix == "horse_") {
        // Seated on the saddle of the placed horse: thighs forward and
        // apart, shins down, the lance couched.
        pose.Move.y += HorseSaddleTop * HorseScale - (plan.Joint[bPelvis].y - SeatBelowPelvis);
        pose.Add(bThighR, 80, 0, -15);
        pose.Add(bThighL, 80, 0, 15);
        pose.Add(bShinR, -80);
        pose.Add(bShinL, -80);
        pose.Add(bUpperArmR, 10);
        pose.Add(bForearmR, 80);
        pose.Add(bHandR, -90);
    }
}

// A clip's motion at phase 0..1 (the same at 0 and 1 for looping clips).
// A mounted rider (mounted) keeps his legs in the stirrups: the horse walks.
// A shooter (ranged) draws and looses instead of striking.
inline void AddMotion(TPose& pose, const std::string& name, float t, bool beast, bool mounted = false,
                      bool ranged = false)
{
    const float s = std::sin(6.2831853f * t), c = std::cos(6.2831853f * t);
    // 0 at both ends, 1 in the middle.
    const float hump = std::sin(3.1415927f * t);
    const TBone armR = bUpperArmR, armL = bUpperArmL;
    if (name == "stand") {
        pose.Add(bChest, 2 * s);
    } else if (name == "idle01") {
        pose.Add(bNeck, 0, 35 * s);
        pose.Add(bChest, 3 * s);
    } else if (name == "relax") {
        pose.Add(bPelvis, 0, 0, 4 * s);
        pose.Add(bSpine1, -3, 0, -4 * s);
        pose.Add(bNeck, -10);
    } else if (name == "talk") {
        pose.Add(armR, 30 + 20 * s, 0, -10);
        pose.Add(bForearmR, 40 + 15 * c);
        pose.Add(bHead, 5 * c, 10 * s);
    } else if ((name == "walk" || name == "runaway") && mounted) {
        pose.Add(bSpine1, -4 - 3 * s);
        pose.Add(bNeck, 3 * s);
        pose.Move.y += 0.04f * std::fabs(s);
    } else if (name == "walk" || name == "runaway") {
        const float swing = name == "walk" ? 30.0f : 45.0f;
        pose.Add(bThighR, swing * s);
        pose.Add(bThighL, -swing * s);
        pose.Add(bShinR, -20 - 20 * c);
        pose.Add(bShinL, -20 + 20 * c);
        if (beast) {
            pose.Add(armR, -swing * s);
            pose.Add(armL, swing * s);
        } else {
            pose.Add(armR, -0.7f * swing * s);
            pose.Add(armL, 0.7f * swing * s);
        }
        pose.Add(bSpine1, name == "walk" ? -3.0f : -15.0f);
        pose.Move.y += 0.03f * std::fabs(s);
    } else if (ranged && (name == "attack" || name == "attack_double" || name == "attack_far")) {
        // Turn side-on, draw the right hand back to the chin, loose; twice
        // for a double shot.
        const float draw = name == "attack_double" ? std::fabs(std::sin(6.2831853f * t)) : hump;
        pose.Add(bSpine2, 0, -25 * hump);
        pose.Add(armR, 15 * draw, 0, -45 * draw);
        pose.Add(bForearmR, 45 * draw, -40 * draw);
        pose.Add(bNeck, 0, 20 * hump);
    } else if (name == "attack" || name == "attack_double") {
        // Wind up behind the head, strike forward, come back.
        const bool both = name == "attack_double";
        auto strike = [&](TBone upper, TBone fore, TBone hand, float at, float width) {
            const float u = (t - at) / width;
            if (u <= -1 || u >= 1)
                return;
            const float up = u < 0 ? 1 + u : 0;   // rising to the wind-up
            const float down = u < 0 ? 0 : 1 - u; // the blow, fading
            if (beast) {
                pose.Add(upper, 70 * up + 40 * down);
                return;
            }
            pose.Add(upper, 140 * up + 60 * down);
            pose.Add(fore, 20 * up - 70 * down);
            pose.Add(hand, -75 * down);
        };
        if (both) {
            strike(armR, bForearmR, bHandR, 0.3f, 0.25f);
            strike(armL, bForearmL, bHandL, 0.7f, 0.25f);
        } else {
            strike(armR, bForearmR, bHandR, 0.45f, 0.4f);
        }
        pose.Add(bSpine2, -15 * hump, 20 * s);
        if (beast)
            pose.Add(bNeck, -25 * hump);
    } else if (name == "attack02") {
        // Both arms raised high, then brought down (a cast or a heave).
        pose.Add(armR, 160 * hump, 0, -15 * hump);
        pose.Add(armL, 160 * hump, 0, 15 * hump);
        pose.Add(bSpine2, 10 * hump);
        pose.Add(bNeck, 15 * hump);
    } else if (name == "attack_far") {
        // A thrust with a step forward.
        pose.Add(armR, 70 * hump);
        pose.Add(bForearmR, -50 * hump);
        pose.Add(bSpine1, -20 * hump);
        pose.Add(bThighR, 35 * hump);
        pose.Add(bShinR, -30 * hump);
        pose.Move.z -= 0.25f * hump;
    } else if (name == "attack_multi") {
        // A sweep from the right to the left, the arm held out.
        pose.Add(bSpine2, 0, 50 * c);
        pose.Add(armR, 50 * hump, 0, -70 * hump);
        pose.Add(bForearmR, -40 * hump);
    } else if (name == "wound" || name == "wound_far") {
        const float k = name == "wound" ? 1.0f : 0.6f;
        pose.Add(bSpine1, 20 * k * hump);
        pose.Add(bHead, 20 * k * hump);
        pose.Add(armR, 25 * k * hump);
        pose.Add(armL, 25 * k * hump);
        pose.Move.z += 0.1f * k * hump;
    } else if (name == "defend") {
        pose.Add(bSpine1, -10 * hump);
        pose.Add(bThighR, 25 * hump);
        pose.Add(bThighL, 25 * hump);
        pose.Add(bShinR, -40 * hump);
        pose.Add(bShinL, -40 * hump);
        pose.Add(armL, 30 * hump);
        pose.Move.y -= 0.06f * hump;
    } else if (name == "drink") {
        pose.Add(armR, 45 * hump, 0, 15 * hump);
        pose.Add(bForearmR, 100 * hump);
        pose.Add(bNeck, 30 * hump);
    } else if (name == "death" || name == "up") {
        // Knees give way, then the body falls back and lies flat; "up"
        // plays the same the other way.
        const float f = name == "death" ? t : 1 - t;
        const float fall = std::clamp((f - 0.25f) / 0.6f, 0.0f, 1.0f);
        const float buckle = std::sin(3.1415927f * std::clamp(f / 0.6f, 0.0f, 1.0f));
        if (beast) {
            pose.Add(bRoot, 0, 0, 90 * fall);
            pose.Move.y += 0.12f * fall;
            pose.Add(bNeck, 20 * fall);
        } else {
            pose.Add(bRoot, 90 * fall);
            pose.Move.y += 0.12f * fall;
            pose.Move.z += 0.2f * fall;
            pose.Add(bThighR, 40 * buckle);
            pose.Add(bThighL, 40 * buckle);
            pose.Add(bShinR, -70 * buckle);
            pose.Add(bShinL, -70 * buckle);
            pose.Add(armR, 0, 0, -60 * fall);
            pose.Add(armL, 0, 0, 60 * fall);
        }
    }
}

// The far stance: the pike levelled low, the knees bent.
inline void AddFarStance(TPose& pose)
{
    pose.Add(bUpperArmR, -10);
    pose.Add(bUpperArmL, 15);
    pose.Add(bSpine1, -12);
    pose.Add(bThighR, 20);
    pose.Add(bThighL, 20);
    pose.Add(bShinR, -30);
    pose.Add(bShinL, -30);
    pose.Move.y -= 0.05f;
}

struct TClipTiming {
    int32_t Length; // milliseconds
    std::vector<float> Phases;
};

inline TClipTiming TimingOf(const std::string& name)
{
    const std::vector<float> loop = {0, 0.25f, 0.5f, 0.75f, 1};
    const std::vector<float> once = {0, 0.2f, 0.45f, 0.7f, 1};
    if (name == "stand")
        return {2000, loop};
    if (name == "idle01" || name == "relax")
        return {3000, loop};
    if (name == "talk")
        return {2000, loop};
    if (name == "walk")
        return {1000, loop};
    if (name == "runaway")
        return {700, loop};
    if (name == "death" || name == "up")
        return {1200, {0, 0.25f, 0.5f, 0.75f, 0.9f, 1}};
    if (name == "attack_double")
        return {1200, {0, 0.15f, 0.3f, 0.5f, 0.7f, 0.85f, 1}};
    if (name == "wound" || name == "wound_far")
        return {600, {0, 0.5f, 1}};
    return {1000, once};
}

// Adds a clip named prefix + name to a skin of the plan's bones.
inline void AddClip(T3D_Skin& skin, const TBodyPlan& plan, const std::string& prefix, const std::string& name)
{
    const bool far = name.size() > 4 && name.compare(name.size() - 4, 4, "_far") == 0 &&
                     (name == "stand_far" || name == "idle01_far" || name == "death_far");
    const std::string motion = far ? name.substr(0, name.size() - 4) : name;
    const TClipTiming timing = TimingOf(motion);
    std::vector<TPose> poses;
    for (float phase : timing.Phases) {
        TPose pose;
        AddGrip(pose, prefix, plan);
        if (far)
            AddFarStance(pose);
        AddMotion(pose, motion, phase, plan.Beast, prefix == "horse_", prefix == "bow_" || prefix == "crossbow_");
        poses.push_back(pose);
    }
    for (int32_t b = 0; b < BoneCount; b++) {
        T3D_Track track;
        const TMatrix4 fixed = FixedTurn(plan, b);
        track.Matrix = LocalMatrix(plan, b, poses.front(), fixed);
        bool moves = false;
        for (const TPose& pose : poses) {
            if (pose.Angle[static_cast<size_t>(b)] != poses.front().Angle[static_cast<size_t>(b)])
                moves = true;
            if (b == bRoot && (pose.Move.x != poses.front().Move.x || pose.Move.y != poses.front().Move.y ||
                               pose.Move.z != poses.front().Move.z))
                moves = true;
        }
        if (moves)
            for (size_t k = 0; k < poses.size(); k++) {
                track.Times.push_back(static_cast<float>(timing.Length) * timing.Phases[k] / 1000.0f);
                track.Keys.push_back(LocalMatrix(plan, b, poses[k], fixed));
            }
        skin.Bones[static_cast<size_t>(b)].Tracks.push_back(track);
    }
    skin.Clips.push_back({prefix + name, timing.Length});
}

} // namespace ArtPers

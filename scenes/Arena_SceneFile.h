// Arena scene file: the ".qxs" description of an arena (its look: sun, fog,
// colours, shadows and camera; its objects: meshes with their materials,
// placement, tags and animation, and particle emitters), the one scene
// record it fills, and the loading of the objects into render meshes and
// instances of the "ARENA" scene.
//
// Threads: the battle arena loader loads a scene file on its own thread while
// the renderer defers uploads; everything else here runs on the main thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_Math.h"

class T3D_SceneMesh;

// Object kinds: "Mesh_Type" words 1..7, any other word 0, "Emitter" 8.
enum TArenaMeshType : uint8_t {
    ARENA_MESH_NONE = 0,
    ARENA_MESH_BILLBOARD = 1,
    ARENA_MESH_TEXTURED = 2,
    ARENA_MESH_NORMALMAPPED = 3,
    ARENA_MESH_GRASS = 4,
    ARENA_MESH_TREECOMA = 5,
    ARENA_MESH_WATER = 6,
    ARENA_MESH_SKINNED = 7,
    ARENA_MESH_EMITTER = 8,
};

// "Sides" words.
inline constexpr int32_t ARENA_SIDES_CONVEX = 0;
inline constexpr int32_t ARENA_SIDES_TWO_SIDED = 1;
inline constexpr int32_t ARENA_SIDES_CONCAVE = 2;
// "Alpha" words.
inline constexpr int32_t ARENA_ALPHA_NONE = 0;
inline constexpr int32_t ARENA_ALPHA_TEST = 1;
inline constexpr int32_t ARENA_ALPHA_BLEND = 2;
inline constexpr int32_t ARENA_ALPHA_ADD = 3;
// "SpecularType" words.
inline constexpr int32_t ARENA_SPECULAR_NONE = 0;
inline constexpr int32_t ARENA_SPECULAR_PHONG = 1;
inline constexpr int32_t ARENA_SPECULAR_COOK = 2;

// The emitter keys in the order their values are stored.
inline constexpr int32_t ArenaEmitterValueCount = 25;
inline constexpr std::array<const char*, ArenaEmitterValueCount> ArenaEmitterValueKeys = {
    "MinTime",       "MaxTime",           "TimeSys",
    "TimeSpeed",     "TimeDelay",         "StartSizeX",
    "StartSizeY",    "StartSizeZ",        "Speed",
    "SpeedVar",      "SpeedScatter",      "SpeedDirection",
    "SpeedAngle",    "SpeedDirectionVar", "SpeedDirectionScatter",
    "Acceleration",  "AccelerationVar",   "AccelerationScatter",
    "Rotate",        "RotateVar",         "RotateScatter",
    "WaveAmplitude", "WaveLength",        "WaveVar",
    "WaveScatter",
};
inline constexpr int32_t ArenaEmitterWaveCount = 4;
inline constexpr std::array<const char*, ArenaEmitterWaveCount> ArenaEmitterWaveKeys = {
    "WaveTransverse", "WaveLongitudinal", "WaveInvert", "WaveRandomPhase"};
inline constexpr int32_t ArenaEmitterForceCount = 8;
inline constexpr std::array<const char*, ArenaEmitterForceCount> ArenaEmitterForceKeys = {
    "Gravitation", "GravitationVar", "GravitationScatter", "Wind",
    "WindVar",     "WindScatter",    "WindDirection",      "WindAngle"};

// An object attached to a bone of a skinned scene object ("AnimationAddObj"
// slots 0..5).
struct TArenaAddObj {
    std::string ObjectName;   // the object to attach (item 1 of the key)
    std::string AttachedName; // the name attached now, empty when none
    int32_t UID = 0;          // the object's UID (item 2 of the key)
};

// An animation clip loaded into a scene object's render mesh.
struct TArenaAnimation {
    std::string File;
    std::string Clip;
};

struct TObjectInfo {
    uint8_t MeshType = ARENA_MESH_NONE;
    int32_t UID = 0;
    std::string Name;       // the mesh file's base name
    std::string AttachName; // the name attachments find it by: its MeshName
    std::string MeshName;   // the mesh inside the file, also the instance's name
    std::string Path;       // the mesh file's folder, with the final "\"
    std::string Texture;
    std::string Tags;
    TArenaAddObj AddObj[6];
    std::vector<TArenaAnimation> Animations;
    std::string AnimationClip; // current clip name
    std::string Animation;     // animation file of a skinned object
    int32_t Specular_SRE = 0;
    int32_t Scale = 0; // percent
    uint8_t OffsetIgnoration = 0;
    uint8_t WaterMirrored = 0;
    int32_t TransparencyShowFrom = 0;
    int32_t TransparencyShowTo = 0;
    int32_t TransparencyHideFrom = 0;
    int32_t TransparencyHideTo = 0;
    std::string TextureModification;
    int32_t TextureShowFrom = 0;
    int32_t TextureHideFrom = 0;
    int32_t TextureShowTo = 0;
    int32_t TextureHideTo = 0;
    int32_t BorderHardPercent = 0;
    uint8_t GlowBorder = 0;
    int32_t GlowBorderStrength = 0;
    uint8_t LightSource = 0;
    int32_t LightSourcePercent = 0;
    int32_t LightSourceColor = 0;
    uint8_t LightDropShadow = 0;
    int32_t LightSourceStrength = 0;
    int32_t TextureAnimationGridCol = 0;
    int32_t TextureAnimationGridRow = 0;
    int32_t TextureAnimationFrequency = 0;
    int32_t RenderMesh = -1;    // renderer mesh slot, -1 none
    int32_t Instance = -1;      // "ARENA" instance, -1 none
    int32_t PrimitiveCount = 0; // of the render mesh, copied when it is given
    int32_t VertexCount = 0;
    float X = 0;
    float Y = 0;
    float Z = 0;
    TVec3 Orientation; // the up direction, normalised
    int32_t Ambient = 0;
    int32_t Occlusion = 0;
    int32_t Gamma = 0;
    int32_t Specular = 0;
    int32_t Normal = 0;
    int32_t RotateG = 0; // degrees about X
    int32_t RotateV = 0; // degrees about Y
    int32_t Alpha = ARENA_ALPHA_NONE;
    int32_t Sides = ARENA_SIDES_CONVEX;
    int32_t SpecularType = ARENA_SPECULAR_NONE;
    uint8_t Visible = 0;
    uint8_t UseNormal = 0;
    uint8_t UseSpecular = 0;
    uint8_t Shadow = 0;
    uint32_t Colorization_Color = 0; // 0xRRGGBB
    TVec4 ColorizationValue;         // normalised colour (blue, green, red, 1)
    int32_t Colorization_Strength = 0;
    // Emitters: stored, drawn by nothing yet.
    float EmitterValues[ArenaEmitterValueCount] = {};
    uint8_t EmitterWaves[ArenaEmitterWaveCount] = {};
    float EmitterForces[ArenaEmitterForceCount] = {};
};

// One shadow cascade: the camera range it covers and its matrices.
struct TArenaCascade {
    float Near = 0;
    float Far = 0;
    TMatrix4 ViewProjection;  // the camera's view-projection of this range
    TMatrix4 DepthProjection; // the depth pass's projection
    TMatrix4 TextureMatrix;   // "Shadow1".."Shadow3"
};

struct TSceneInfo {
    std::string Folder; // the scene file's folder, with the final "\"
    std::vector<TObjectInfo> Objects;
    int32_t BattlefieldObject = -1; // index of the hex battlefield, -1 none
    uint8_t UseShadow = 0;
    uint8_t UseSSAO = 0; // always 0
    uint8_t UseTestMode = 0;
    uint8_t UseAlfaTestATOC = 0;
    uint8_t FixCamera = 0;
    uint8_t Fog = 0;
    uint8_t DepthField = 0;
    int32_t Gamma = 100;
    int32_t Ambient = 10;
    int32_t SkyLight = 100;
    int32_t Occlusion = 100;
    int32_t DOFDistance = 0;
    int32_t DOFWidth = 0;
    int32_t Reserved[2] = {};
    // Camera inputs, cleared by every camera update.
    int32_t PanX = 0;
    int32_t PanY = 0;
    int32_t Zoom = 0;
    float Angle_X = 0; // pitch, radians
    float Angle_Y = 0; // yaw, radians
    float Distance = 0;
    TVec3 Target_pos;
    TVec3 RayOrigin;
    float NearPlane = 0.1f;
    float FarPlane = 130;
    TVec3 SkyVector; // "v_Sky"
    TVec3 CameraPos; // "CameraPos"
    TMatrix4 View;   // "Camera": the view of every camera pass
    TMatrix4 World;  // look-at from (0, 0, -5) to the origin
    TMatrix4 Projection;
    TMatrix4 InverseView; // "Inv_Camera"
    TMatrix4 PixelMatrix; // factor of "Proj_pixel"
    // The light.
    int32_t ShadowBlur = 0;
    int32_t SunPower = 0;
    int32_t LightRotate = 45; // degrees
    int32_t LightHeight = 45; // degrees from the zenith
    TVec3 LightPosition;      // "_LightL"
    TVec3 LightInView;        // "LightO"
    float LightNear = 0;
    float LightFar = 0;
    TMatrix4 LightView;
    TMatrix4 LightProjection;
    // Cascades 1..3 and a fourth holding only the end of the last (its far
    // value is the fourth component of "d_Cascades").
    TArenaCascade Cascades[4];
    // Fog and colours.
    float FogTerm = 1; // 0.01 ^ (1 / (4 FogDistance)), kept by SetArenaColors
    float FogStart = 15;
    float FogDistance = 130;
    float FogStrength = 1;
    uint32_t LightColor = 0xFFD49C;  // 0xRRGGBB
    uint32_t ShadowColor = 0xAAC2FF; // 0xRRGGBB
    uint32_t BkgColor = 0;
    uint32_t FogColor = 0xFFE599;
    uint32_t Colorize_Color = 0;
    uint32_t ColorizeFog_Color = 0;
    // The colours as the constants take them (blue, green, red, w).
    TVec4 FogColorValue;
    TVec4 LightColorValue;
    TVec4 ShadowColorValue;
    TVec4 ColorizeColorValue;
    TVec4 ColorizeFogColorValue;
    int32_t Colorize_Strength = 0;
    int32_t ColorizeFog_Strength = 0;
};

// The arena's scene record.
extern TSceneInfo SceneInfo;

// The object kind of a "Mesh_Type" word ("Emitter" gives ARENA_MESH_EMITTER).
uint8_t ArenaMeshTypeOf(const std::string& word);

// Loads a whole scene file into SceneInfo and the "ARENA" scene. A missing
// file or one without sections stops the program.
void LoadArenaScene(const std::string& fileName);
// Takes only the look of a scene file ("Scene" keys from "UseShadow" to
// "ColorizeFog_Strength", not the camera) and applies it.
void LoadArenaSceneParams(const std::string& fileName);
// Gives object i its render mesh (shared with an object of the same file,
// mesh and type when there is one) and its "ARENA" instance.
void AddArenaObjectMesh(int32_t index, const std::string& meshFile, const std::string& meshName);
// Removes the object's instance; frees its render mesh when no other object
// uses it.
void RemoveArenaObject(int32_t index);

// The constants every arena instance draws with: "Proj" (its "WORLD" times
// the scene's world and projection as the drawing pass sets them) and
// "Proj_pixel" ("Proj" times the scene record's pixel matrix).
void SetArenaInstanceMatrices(T3D_SceneMesh& instance);
// The 70 "Joint" constants of a skinned instance, bound to its pose.
void SetArenaJointConstants(T3D_SceneMesh& instance);

// The material, placement and tag steps of the scene objects (defined with
// the object placement): modes 0 material and placement, 1 animation, 2
// attached objects, 4 main pixel shader.
void SetupArenaObjectMaterial(int32_t index, int32_t mode);
void ApplyArenaObjectShaders();
void PlaceArenaObject(int32_t index);

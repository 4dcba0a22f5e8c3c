// Scenes: the unit of drawing. A scene is named and numbered in the
// renderer's scene list and holds its render passes, its mesh instances with
// their sort keys and attachment tree, three scene matrices, scene-wide shader
// constants and the 2D draw list that sprites queue into, with the clip stack
// that pushes and pops build. The 2D list lives for one render of the scene:
// its passes that draw 2D walk it, then it is emptied (the arrays keep their
// capacity).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_Math.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Constants.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Sprites.h"

inline constexpr int32_t SCENE_SLOTS = 11;
inline constexpr int32_t SCENE_PASS_SLOTS = 101;

class T3D_RenderPass;

// One sort record per instance slot: the instance (-1 none) and its key, the
// sort word in the high half and the merged render-state value in the low.
struct T3D_SortRecord {
    int32_t Instance = -1;
    int64_t Key = 0;
};
using T3D_Sorting_Array = std::vector<T3D_SortRecord>;

// The frame statistics: the first six count the current frame.
struct T3D_SceneStats {
    int32_t Vertices = 0;
    int32_t Primitives = 0;
    int32_t DrawCalls = 0;
    int32_t TextureChanges = 0;
    int32_t ShaderChanges = 0;
    int32_t PassesRendered = 0;
    int64_t WindowStart = 0;
    int64_t WindowElapsed = 0;
    int32_t FramesPerSecond = 0;
    int32_t WindowFrames = 0;
};

// Called with the finished back buffer just before a scene presents it (the
// test runs' screenshots read it there); nullptr: nothing is called.
extern void (*ScenePresentHook)(T3D_Render& render);

class T3D_Scene {
public:
    explicit T3D_Scene(const std::string& name);
    ~T3D_Scene();
    T3D_Scene(const T3D_Scene&) = delete;
    T3D_Scene& operator=(const T3D_Scene&) = delete;

    // Appends an item; the list grows by one item whenever it is full.
    void AddDrawItem(const T2DDrawItem& item);
    // Draw count and clip depth become 0; the arrays keep their capacity.
    void ClearDrawList();

    int32_t AddMesh(int32_t meshIndex, const std::string& name);
    void RemoveMesh(int32_t slot);
    void ClearMeshes(uint32_t groupMask);
    T3D_SceneMesh* GetMesh(int32_t slot) const;
    // The first instance of exactly that name; nullptr when none.
    T3D_SceneMesh* FindMesh(const std::string& name) const;
    void UpdateAttachments();

    int32_t AddPass(const std::string& name, int32_t targetFormat, int32_t depthFormat, int32_t width, int32_t height);
    T3D_RenderPass* FindPass(const std::string& name) const;
    void EnablePass(const std::string& name, uint8_t enabled);
    void EnablePassAt(int32_t index, uint8_t enabled);
    void SetPresentRects(const TRect& source, const TRect& dest);
    // Sorts for the first pass of that name, or for the last pass.
    void SortPass(const std::string& passName);
    void SortPassAt(int32_t index);
    // Draws the scene under RenderLock; present shows the back buffer.
    void Render(bool present);

    // Marks every pass for a pipeline rebuild.
    void InvalidatePasses();

    T3D_Render* Owner = nullptr;
    int32_t Index = 0;
    std::string Name;
    TMatrix4* ViewMatrix = nullptr;
    TMatrix4* WorldMatrix = nullptr;
    TMatrix4* ProjMatrix = nullptr;
    std::array<T3D_RenderPass*, SCENE_PASS_SLOTS> Passes = {};
    int32_t PassCount = 0;
    std::array<uint8_t, SCENE_PASS_SLOTS> PassEnabled = {};
    std::vector<T3D_SceneMesh*> _s_Meshes; // nullptr: a free slot
    T3D_Sorting_Array SortKeys;
    int32_t DrawCount = 0;
    std::vector<T2DDrawItem> DrawList;
    int32_t ClipDepth = 0;
    std::vector<TRect> ClipStack;
    T3D_ShaderConstant Constants;
    std::vector<T3D_AttachNode> AttachNodes;
    std::vector<int32_t> AttachRoots; // node numbers
    uint8_t PresentRects = 0;
    TRect PresentSource;
    TRect PresentDest;
    T3D_SceneStats Stats;

private:
    friend class T3D_SceneMesh;
    // The register of "WORLD" in the passes' templates, -1 when none names it.
    int32_t WorldRegister() const;
    // Resizes the instance list, the sort keys and every pipeline.
    void ResizeInstanceLists(size_t length);
    void UpdateAttachNode(int32_t node, int32_t depth);
};

// Scenes: the unit of drawing. A scene is named and numbered in the
// renderer's scene list and holds the 2D draw list that sprites queue into,
// with the clip stack that pushes and pops build. The list lives for one
// render of the scene: its passes that draw 2D walk it, then it is emptied
// (the arrays keep their capacity).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/QX9_Render.h"
#include "render/QX9_Render_Sprites.h"

inline constexpr int32_t SCENE_SLOTS = 11;

class T3D_Scene {
public:
    explicit T3D_Scene(const std::string& name);
    T3D_Scene(const T3D_Scene&) = delete;
    T3D_Scene& operator=(const T3D_Scene&) = delete;

    // Appends an item; the list grows by one item whenever it is full.
    void AddDrawItem(const T2DDrawItem& item);
    // Draw count and clip depth become 0; the arrays keep their capacity.
    void ClearDrawList();

    T3D_Render* Owner = nullptr;
    int32_t Index = 0;
    std::string Name;
    int32_t DrawCount = 0;
    std::vector<T2DDrawItem> DrawList;
    int32_t ClipDepth = 0;
    std::vector<TRect> ClipStack;
};

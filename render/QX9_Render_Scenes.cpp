// The scene registry of T3D_Render and the scenes' 2D draw lists.
#include "render/QX9_Render_Scenes.h"

T3D_Scene::T3D_Scene(const std::string& name) : Name(name) {}

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

// Landscape: the terrain textures and the three model libraries, loaded once
// before the first map.
#include <algorithm>

#include "model/Support.h"
#include "model/scenario/ScenarioMap_Records.h"
#include "model/tables/Global.h"
#include "render/QX9_Render.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Models.h"

namespace {

void Step(const std::function<void()>& progress)
{
    if (progress)
        progress();
}

int32_t LoadLandscapeTexture(const std::string& name)
{
    return MainRender->Texture_Load(LandscapeFolder + name + ".DDS");
}

// Fills a library kind by kind from the files named after the kinds; each
// file that loads becomes the next entry. Entry lists keep slot 0 unused.
void LoadModelLibrary(TModelLibrary& library, const char* const* kindNames, int kindCount, const std::string& folder,
                      int32_t format, int32_t mode, std::vector<TIntArray>& meshes,
                      const std::function<void()>& progress, const std::function<void()>& keepEntry)
{
    library.Kinds.assign(static_cast<size_t>(kindCount) + 1, TModelKindRange{});
    library.Total = 0;
    meshes.assign(1, TIntArray{});
    TStringArray files;
    for (int kind = 1; kind <= kindCount; kind++) {
        TModelKindRange& range = library.Kinds[static_cast<size_t>(kind)];
        range.First = library.Total + 1;
        ScanModelFiles(folder + kindNames[kind], files);
        for (const std::string& file : files) {
            if (!LoadMapModel(folder, file, format, std::string(), mode))
                continue;
            library.Total++;
            range.Count++;
            meshes.push_back(LastModelMeshes);
            if (keepEntry)
                keepEntry();
        }
        Step(progress);
    }
}

} // namespace

void LoadTerrainResources(const std::function<void()>& progress)
{
    TerrainTextures.WaterRipple1 = LoadLandscapeTexture("WaterRipple1_n");
    TerrainTextures.WaterRipple2 = LoadLandscapeTexture("WaterRipple2_n");
    TerrainTextures.WaterSky = LoadLandscapeTexture("WaterSky");
    Step(progress);
    TerrainTextures.Land = LoadLandscapeTexture("LandTextures");
    Step(progress);
    TerrainTextures.LandNormal = LoadLandscapeTexture("LandTextures_n");
    Step(progress);
    TerrainTextures.Hill = LoadLandscapeTexture("HillTextures");
    Step(progress);
    TerrainTextures.HillNormal = LoadLandscapeTexture("HillTextures_n");
    Step(progress);
    TerrainTextures.Forest = LoadLandscapeTexture("ForestTexture_d");
    TerrainTextures.ForestNormal = LoadLandscapeTexture("ForestTexture_n");
    ErrorTextureName = LandscapeFolder + "Error.DDS";
    TerrainTextures.Error = MainRender->Texture_Load(ErrorTextureName);
    Step(progress);

    BuildingModelPassable.assign(1, 0);
    LoadModelLibrary(BuildingModelLibrary, BuildingModelNames, BuildingModelCount, BuildingsFolder, MESH_NORMALMAPPED,
                     MODEL_BUILDING, BuildingModelMeshes, progress,
                     [] { BuildingModelPassable.push_back(LastModelPassable ? 1 : 0); });
    TreePlantTypes.assign(1, {});
    LoadModelLibrary(TreeModelLibrary, TreeKindNames, TreeKindCount, TreesFolder, MESH_TREECOMA, MODEL_TREE,
                     TreeModelMeshes, progress, [] { TreePlantTypes.push_back(LastModelPlantTypes); });
    LoadModelLibrary(ObjectModelLibrary, StoneKindNames, StoneKindCount, ObjectsFolder, MESH_NORMALMAPPED, MODEL_OBJECT,
                     ObjectModelMeshes, progress, nullptr);

    PersonageMapMeshes.assign(static_cast<size_t>(std::max(UnitTypeCount, 0)) + 1, TIntArray{});
}

void FreeTerrainResources()
{
    BuildingModelLibrary = {};
    BuildingModelMeshes.clear();
    BuildingModelPassable.clear();
    TreeModelLibrary = {};
    TreeModelMeshes.clear();
    TreePlantTypes.clear();
    ObjectModelLibrary = {};
    ObjectModelMeshes.clear();
    PersonageMapMeshes.clear();
    LastModelMeshes.clear();
    LastModelPlantTypes.clear();
    LastModelPassable = false;
    ErrorTextureName.clear();
    TerrainTextures = {};
}

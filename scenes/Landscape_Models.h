// Landscape: the model libraries of the strategic map and the terrain
// textures. Each model file (".D3D") holds named sub-objects; every
// sub-object becomes one renderer mesh whose vertex format and textures
// follow from markers in its name. The building, tree and object libraries
// are runs of entries numbered from 1 in load order with a directory by
// kind: the variant v of kind k is entry First(k) + v.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/QX9_System.h"

enum TPlantType : uint8_t {
    ptTrunk = 0,
    ptFoliage = 1,
    ptGrass = 2,
};

// The run of a kind in its library. A kind without files keeps Count 0 and
// First = the total before it + 1, which is where the next kind starts.
struct TModelKindRange {
    int32_t First = 0;
    int32_t Count = 0;
};

struct TModelLibrary {
    std::vector<TModelKindRange> Kinds; // 1..kind count; entry 0 unused
    int32_t Total = 0;
};

// Model files: mesh slot lists indexed by library entry (entry 0 unused).
extern TModelLibrary BuildingModelLibrary; // by TBuildingModel
extern std::vector<TIntArray> BuildingModelMeshes;
extern std::vector<uint8_t> BuildingModelPassable;
extern TModelLibrary TreeModelLibrary; // by TTreeKind
extern std::vector<TIntArray> TreeModelMeshes;
extern std::vector<std::vector<TPlantType>> TreePlantTypes;
extern TModelLibrary ObjectModelLibrary; // by TStoneKind
extern std::vector<TIntArray> ObjectModelMeshes;

// The map model of each unit type (0..unit-type count), filled by the army
// models.
extern std::vector<TIntArray> PersonageMapMeshes;

// What the last LoadMapModel left: the mesh slots of the file's sub-objects
// in file order, their plant types and whether the file is passable.
extern TIntArray LastModelMeshes;
extern std::vector<TPlantType> LastModelPlantTypes;
extern bool LastModelPassable;

// LandscapeFolder + "Error.DDS": stands in for every missing diffuse texture.
extern std::string ErrorTextureName;

// The terrain textures' slots (-1 before they are loaded).
struct TTerrainTextures {
    int32_t WaterRipple1 = -1;
    int32_t WaterRipple2 = -1;
    int32_t WaterSky = -1;
    int32_t Land = -1;
    int32_t LandNormal = -1;
    int32_t Hill = -1;
    int32_t HillNormal = -1;
    int32_t Forest = -1;
    int32_t ForestNormal = -1;
    int32_t Error = -1;
};
extern TTerrainTextures TerrainTextures;

// Model load modes.
constexpr int32_t MODEL_BUILDING = 0;
constexpr int32_t MODEL_OBJECT = 1;
constexpr int32_t MODEL_TREE = 2;
constexpr int32_t MODEL_PERSONAGE = 10;

// Case-insensitive substring test.
bool NameContains(const std::string& part, const std::string& name);

// The names of the files (never folders) matching prefix + "*.d3d" in any
// case, sorted by the bytes of the names as the folder spells them; returns
// their count (0 and an empty list when none).
int32_t ScanModelFiles(const std::string& prefix, TStringArray& list);

// Loads every sub-object of folder + fileName into a new mesh of MainRender;
// false, loading nothing, when the file does not exist. The results are in
// LastModelMeshes, LastModelPlantTypes and LastModelPassable.
bool LoadMapModel(const std::string& folder, const std::string& fileName, int32_t vertexFormat,
                  const std::string& namePrefix, int32_t mode);

// Loads the terrain textures and the three libraries through MainRender,
// calling progress (when set) after each step, and sizes PersonageMapMeshes
// to the unit types. A required texture that is missing stops the program.
// Run on the start-up loader thread while the renderer defers its uploads.
void LoadTerrainResources(const std::function<void()>& progress);

// Forgets the libraries and the terrain textures' slots (the unit's end).
void FreeTerrainResources();

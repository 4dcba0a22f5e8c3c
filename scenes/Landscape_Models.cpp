// Landscape: scanning the model folders and loading one model file into
// renderer meshes.
#include "scenes/Landscape_Models.h"

#include <algorithm>

#include "model/Support.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Meshes.h"
#include "scenes/Duskmarch_RenderSetup.h"

TModelLibrary BuildingModelLibrary;
std::vector<TIntArray> BuildingModelMeshes;
std::vector<uint8_t> BuildingModelPassable;
TModelLibrary TreeModelLibrary;
std::vector<TIntArray> TreeModelMeshes;
std::vector<std::vector<TPlantType>> TreePlantTypes;
TModelLibrary ObjectModelLibrary;
std::vector<TIntArray> ObjectModelMeshes;
std::vector<TIntArray> PersonageMapMeshes;
TIntArray LastModelMeshes;
std::vector<TPlantType> LastModelPlantTypes;
bool LastModelPassable = false;
std::string ErrorTextureName;
TTerrainTextures TerrainTextures;

bool NameContains(const std::string& part, const std::string& name)
{
    return LowerCaseStr(name).find(LowerCaseStr(part)) != std::string::npos;
}

int32_t ScanModelFiles(const std::string& prefix, TStringArray& list)
{
    list.clear();
    ListFiles(prefix + "*.d3d", list, false);
    // The folder lists names by their upper-cased form; the libraries number
    // files by the bytes of their names.
    std::sort(list.begin(), list.end(),
              [](const std::string& a, const std::string& b) { return CompareStrOrdinal(a, b) < 0; });
    return static_cast<int32_t>(list.size());
}

namespace {

// A texture reference without its folder and extension; either separator
// may appear in the names stored in model files.
std::string TextureBaseName(const std::string& reference)
{
    const size_t slash = reference.find_last_of("\\/");
    std::string name = slash == std::string::npos ? reference : reference.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.resize(dot);
    return name;
}

// The vertex format, plant type and name suffix of a tree file's sub-object.
void ClassifyTreePart(const std::string& name, int32_t& format, TPlantType& plant, std::string& suffix)
{
    static const struct {
        const char* marker;
        int32_t format;
        TPlantType plant;
    } markers[] = {
        {"flowers", MESH_GRASS, ptGrass},
        {"grass", MESH_GRASS, ptGrass},
        {"coma", MESH_TREECOMA, ptFoliage},
    };
    for (const auto& m : markers)
        if (NameContains(m.marker, name)) {
            format = m.format;
            plant = m.plant;
            suffix = std::string(" ") + m.marker;
            return;
        }
    format = MESH_NORMALMAPPED;
    plant = ptTrunk;
    suffix.clear();
}

// Diffuse, specular and normal maps of a model's sub-object from the
// textures folder: the stem comes from the sub-object's texture reference,
// else from the file's name; a missing diffuse map shows the error texture.
void SetModelTextures(T3D_Mesh& mesh, const std::string& folder, const std::string& path, const std::string& fileBase,
                      const std::string& subObject, int32_t format, int32_t givenFormat, int32_t mode)
{
    const std::string textures =
        folder + (format == MESH_SKINNED && mode == MODEL_PERSONAGE ? "Textures_Small\\" : "Textures\\");
    std::string base = TextureBaseName(MainRender->Mesh_FindFirstTexture(path, subObject));
    const size_t d = base.find("_d");
    if (d != std::string::npos)
        base.erase(d, 2);
    std::string stem = textures + base + "_";
    if (!FileExistsMask(textures + base + "_d.DDS") && FileExistsMask(textures + fileBase + "_d.DDS"))
        stem = textures + fileBase + "_";

    const std::string diffuse = stem + "d.DDS";
    mesh.SetTexture(FileExistsMask(diffuse) ? diffuse : ErrorTextureName, 0, 0);
    if ((format == MESH_NORMALMAPPED || format == MESH_SKINNED) && givenFormat != MESH_TREECOMA &&
        FileExistsMask(stem + "n.DDS"))
        mesh.SetTexture(stem + "n.DDS", 2, 0);
    if (format == MESH_SKINNED && FileExistsMask(stem + "s.DDS"))
        mesh.SetTexture(stem + "s.DDS", 1, 0);
}

} // namespace

bool LoadMapModel(const std::string& folder, const std::string& fileName, int32_t vertexFormat,
                  const std::string& namePrefix, int32_t mode)
{
    const std::string path = folder + fileName;
    if (!FileExistsMask(path))
        return false;
    TStringArray names;
    MainRender->Mesh_FindNames(path, names);

    LastModelMeshes.assign(names.size(), -1);
    LastModelPlantTypes.assign(names.size(), ptTrunk);
    LastModelPassable = false;
    if (mode == MODEL_BUILDING) {
        const bool collision =
            std::any_of(names.begin(), names.end(), [](const std::string& n) { return NameContains("Collision", n); });
        const bool enter =
            std::any_of(names.begin(), names.end(), [](const std::string& n) { return NameContains("Enter", n); });
        LastModelPassable = collision && !enter;
    }

    const std::string fileBase = ExtractBaseName(fileName);
    for (size_t i = 0; i < names.size(); i++) {
        const std::string& n = names[i];
        const bool collision = NameContains("Collision", n);
        const bool enter = NameContains("Enter", n);
        std::string meshName = namePrefix + fileBase;
        if (names.size() >= 2) {
            meshName += "-" + std::to_string(i);
            if (collision)
                meshName += " Collision";
            if (enter)
                meshName += " Enter";
        }

        int32_t format = vertexFormat;
        if (vertexFormat == MESH_TREECOMA) {
            std::string suffix;
            ClassifyTreePart(n, format, LastModelPlantTypes[i], suffix);
            meshName += suffix;
        } else if (vertexFormat == MESH_NORMALMAPPED && NameContains("_skinned", n)) {
            format = MESH_SKINNED;
        }

        // The data stays with the mesh: the map reads the footprint and deck
        // parts back after the upload.
        const int32_t slot = MainRender->Mesh_Add(format, meshName, 1);
        LastModelMeshes[i] = slot;
        T3D_Mesh& mesh = *MainRender->Mesh_Get(slot);
        Load_Geometry_D3D(mesh, path, n, 0);

        if (collision || enter)
            continue;
        if (mode == MODEL_TREE) {
            mesh.SetTexture(LandscapeFolder + "ForestTexture_d.DDS", 0, 0);
            mesh.SetTexture(LandscapeFolder + "ForestTexture_n.DDS", 2, 0);
        } else {
            SetModelTextures(mesh, folder, path, fileBase, n, format, vertexFormat, mode);
        }
    }
    return true;
}

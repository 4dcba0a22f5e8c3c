// The map's art: the terrain textures of "Landscape\", and the building,
// tree and object models of its three model folders with their textures.
// One world unit is one map cell; a building stands on its origin, its gate
// towards -z, its ground at y = 0 (walls reach below it for slopes).
#include <cmath>
#include <string>
#include <vector>

#include "model/scenario/ScenarioMap_Records.h"
#include "tools/NullRender.h"
#include "tools/artgen/ArtLandBuildings.h"
#include "tools/artgen/ArtLandPaint.h"
#include "tools/artgen/ArtLandPlants.h"
#include "tools/artgen/ArtLandShapes.h"
#include "tools/artgen/ArtLandTextures.h"
#include "tools/artgen/ArtOutput.h"

using namespace ArtLand;

namespace {

// ---------------------------------------------------------------------------
// Map objects

TShape MapObject(TStoneKind kind, int32_t variant)
{
    TShape s;
    const uint32_t seed = static_cast<uint32_t>(kind) * 40u + static_cast<uint32_t>(variant);
    const TRegion wood = Reg(bcPlanks), marble = Reg(bcMarble), turf = Reg(bcTurf), logs = Reg(bcLogs);
    switch (kind) {
    case TStoneKind::Rock:
        s.Append(Boulder(variant == 0 ? 1.2f : 0.9f, variant == 0 ? 1.0f : 1.5f, seed), 0, 0, 0, -0.3f);
        if (variant == 1)
            s.Append(Boulder(0.5f, 0.8f, seed + 9), 0.9f, 0.5f, 0, -0.2f);
        break;
    case TStoneKind::Stone:
        for (int32_t i = 0; i < 3 + variant; i++) {
            const float a = 2.1f * static_cast<float>(i) + 0.4f * static_cast<float>(variant);
            s.Append(Boulder(0.3f + 0.1f * static_cast<float>(i % 2), 0.7f, seed + static_cast<uint32_t>(i)),
                     0.5f * std::cos(a), 0.5f * std::sin(a), 0, -0.12f);
        }
        break;
    case TStoneKind::Debris:
        for (int32_t i = 0; i < 4; i++) {
            TShape plank;
            plank.Box(-0.8f, -0.12f, 0.8f, 0.12f, -0.1f, 0.08f, i % 2 == 0 ? wood : Reg(bcCharred), &wood);
            s.Append(plank, 0.3f * static_cast<float>(i) - 0.4f, 0.25f * static_cast<float>(i % 3) - 0.2f,
                     0.9f * static_cast<float>(i) + static_cast<float>(variant));
        }
        s.Append(Boulder(0.35f, 0.8f, seed), -0.6f, 0.6f, 0, -0.1f);
        if (variant == 1)
            s.Prism(0.6f, -0.5f, 0.45f, 0.0f, 0.12f, 8, wood, &wood); // a cart wheel
        break;
    case TStoneKind::Grave:
        s.Pyramid(-0.45f, -0.9f, 0.45f, 0.6f, -0.15f, 0.3f, turf);
        if (variant == 0) {
            s.Box(-0.35f, 0.55f, 0.35f, 0.72f, -0.3f, 0.8f, marble, &marble);
        } else {
            s.Box(-0.06f, 0.55f, 0.06f, 0.68f, -0.3f, 1.1f, wood, &wood);
            s.Box(-0.35f, 0.55f, 0.35f, 0.68f, 0.7f, 0.82f, wood, &wood);
        }
        break;
    case TStoneKind::Yard:
        Fence(s, -1.5f, -1.5f, 1.5f, -1.5f);
        Fence(s, -1.5f, 1.5f, 1.5f, 1.5f);
        Fence(s, -1.5f, -1.5f, -1.5f, 1.5f);
        Fence(s, 1.5f, -1.5f, 1.5f, 1.5f);
        if (variant == 0) {
            s.Prism(0, 0, 0.8f, -0.2f, 0.7f, 8, Reg(bcThatch));
            s.Cone(0, 0, 0.85f, 0.7f, 1.8f, 8, Reg(bcThatch));
        } else {
            for (int32_t i = 0; i < 3; i++)
                s.Box(-0.9f, -0.4f + 0.28f * static_cast<float>(i), 0.9f, -0.14f + 0.28f * static_cast<float>(i), -0.1f,
                      0.2f + 0.25f * static_cast<float>(2 - i), logs, &logs);
        }
        break;
    default: // Object: a signpost or a well
        if (variant == 0) {
            s.Box(-0.07f, -0.07f, 0.07f, 0.07f, -0.4f, 1.9f, wood, &wood);
            s.Box(-0.1f, -0.04f, 0.8f, 0.04f, 1.4f, 1.65f, wood, &wood);
            s.Box(-0.8f, -0.04f, 0.1f, 0.04f, 1.05f, 1.3f, wood, &wood);
        } else {
            Well(s, 0, 0);
        }
        break;
    }
    return s;
}

// ---------------------------------------------------------------------------
// Writing the set

const std::string Landscape = "Landscape\\";

std::string TwoDigits(int32_t n)
{
    return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}

void WriteTexture(TArtOutput& out, const std::string& name, const TPicture& picture, bool dxt5)
{
    out.WriteDDS(name + ".DDS", MakeMippedDDS(picture, dxt5));
}

void WriteTerrainTextures(TArtOutput& out)
{
    WriteTexture(out, Landscape + "WaterRipple1_n", Ripples(11, 0.3f), false);
    WriteTexture(out, Landscape + "WaterRipple2_n", Ripples(23, 1.9f), false);
    WriteTexture(out, Landscape + "WaterSky", Sky(), false);
    TPicture land(4 * TileSize, 4 * TileSize), hill(4 * TileSize, 4 * TileSize);
    MakeGroundAtlases(land, hill);
    WriteTexture(out, Landscape + "LandTextures", land, false);
    WriteTexture(out, Landscape + "LandTextures_n", NormalMap(land, 1.5f, TileSize), false);
    WriteTexture(out, Landscape + "HillTextures", hill, false);
    WriteTexture(out, Landscape + "HillTextures_n", NormalMap(hill, 2.0f, TileSize), false);
    const TPicture forest = ForestTexture();
    WriteTexture(out, Landscape + "ForestTexture_d", forest, true);
    WriteTexture(out, Landscape + "ForestTexture_n", NormalMap(forest, 2.0f, AtlasCellSize), false);
    WriteTexture(out, Landscape + "Error", ErrorChecker(), false);
    const TPicture building = BuildingTexture();
    const TPicture buildingNormals = NormalMap(building, 2.5f, AtlasCellSize);
    for (const char* folder : {"Buildings", "Objects"}) {
        WriteTexture(out, Landscape + folder + "\\Textures\\" + folder + "_d", building, false);
        WriteTexture(out, Landscape + folder + "\\Textures\\" + folder + "_n", buildingNormals, false);
    }
}

std::vector<TMeshFileTexture> TexturesOf(const std::string& base)
{
    return {{base + "_d.dds", 0, 0}, {base + "_n.dds", 0, 2}};
}

TBuildingArt BuildingOf(TBuildingModel model, int32_t variant)
{
    switch (model) {
    case TBuildingModel::Town:
        return Town(variant == 1);
    case TBuildingModel::CastleBig:
        return Castle(7, 3.0f, 1.4f, bcSlate, true);
    case TBuildingModel::CastleMiddle:
        return Castle(5.5f, 2.6f, 1.2f, bcRedTiles, false);
    case TBuildingModel::CastleSmall:
        return Castle(4, 2.2f, 1.0f, bcSlate, false);
    case TBuildingModel::Fort:
        return Fort();
    case TBuildingModel::Monastery:
        return Monastery();
    case TBuildingModel::Cathedral:
        return Cathedral();
    case TBuildingModel::Church: {
        TBuildingArt b;
        b.Half = 1.6f;
        b.Depth = 3.8f;
        Church(b.Visible, 0, 0.8f, 1, bcStone, bcSlate, bcSlate);
        return b;
    }
    case TBuildingModel::Chapel:
        return Chapel();
    case TBuildingModel::VillageBig:
        return Village(8, 5.0f, 51, true);
    case TBuildingModel::VillageMiddle:
        return Village(5, 3.8f, 52, true);
    case TBuildingModel::VillageSmall:
        return Village(3, 2.8f, 53, false);
    case TBuildingModel::Tavern:
        return Tavern();
    case TBuildingModel::House: {
        TBuildingArt b;
        b.Half = 1.2f;
        b.Depth = 1.1f;
        b.Visible = House(2.2f, 1.8f, 1.6f, 1.1f, bcTimber, bcRedTiles, true);
        return b;
    }
    case TBuildingModel::Market:
        return Market();
    case TBuildingModel::Port:
        return Port();
    case TBuildingModel::RuinCastleBig:
        return RuinedCastle(7, 3.0f, 61);
    case TBuildingModel::RuinCastleMiddle:
        return RuinedCastle(5.5f, 2.6f, 62);
    case TBuildingModel::RuinTower:
        return RuinTower();
    case TBuildingModel::RuinChurch:
        return RuinChurch();
    case TBuildingModel::RuinVillageAbandonedBig:
        return DeadVillage(7, 4.6f, 71, false);
    case TBuildingModel::RuinVillageAbandonedMiddle:
        return DeadVillage(5, 3.8f, 72, false);
    case TBuildingModel::RuinVillageAbandonedSmall:
        return DeadVillage(3, 2.8f, 73, false);
    case TBuildingModel::RuinHouseAbandoned: {
        TBuildingArt b = DeadVillage(1, 0, 74, false);
        b.Half = b.Depth = 1.4f;
        return b;
    }
    case TBuildingModel::RuinVillageRuinedBig:
        return DeadVillage(7, 4.6f, 81, true);
    case TBuildingModel::RuinVillageRuinedMiddle:
        return DeadVillage(5, 3.8f, 82, true);
    case TBuildingModel::RuinVillageRuinedSmall:
        return DeadVillage(3, 2.8f, 83, true);
    case TBuildingModel::Cementry:
        return Cemetery();
    case TBuildingModel::Altar:
        return Altar();
    case TBuildingModel::Military:
        return Military();
    case TBuildingModel::Bridge:
        return Bridge();
    default:
        return Windmill();
    }
}

void WriteBuildings(TArtOutput& out, T3D_Render& render)
{
    const TRegion none;
    for (int32_t m = 1; m <= BuildingModelCount; m++) {
        const TBuildingModel model = static_cast<TBuildingModel>(m);
        const std::string kind = BuildingModelNames[m];
        const int32_t variants = model == TBuildingModel::Town ? 2 : 1;
        for (int32_t v = 0; v < variants; v++) {
            const TBuildingArt b = BuildingOf(model, v);
            std::vector<TMeshFileRecord> records;
            records.push_back(MakeRecord(render, kind, MESH_NORMALMAPPED, b.Visible, TexturesOf("Buildings")));
            if (model == TBuildingModel::Object) {
                const T3D_Skin skin = MillSkin();
                records.push_back(
                    MakeRecord(render, "Sails_skinned", MESH_SKINNED, MillSails(), TexturesOf("Buildings"), &skin));
            }
            TShape footprint, entrance;
            if (model == TBuildingModel::Bridge) {
                // The abutments hold the banks beyond the deck's ends; the
                // deck covers their middles.
                for (float z : {-BridgeHalfLength - 0.2f, BridgeHalfLength + 0.2f})
                    footprint.Flat(-b.Half, z - 1, b.Half, z + 1, 0.05f, none);
                entrance = BridgeDeckPart();
            } else {
                footprint.Flat(-b.Half, -b.Depth, b.Half, b.Depth, 0.05f, none);
                entrance.Flat(-b.EnterWidth / 2, -b.Depth - 1.5f, b.EnterWidth / 2, 0.6f, 0.1f, none);
            }
            records.push_back(MakeRecord(render, kind + " Collision", MESH_NORMALMAPPED, footprint, {}));
            if (b.Enterable)
                records.push_back(MakeRecord(render, kind + " Enter", MESH_NORMALMAPPED, entrance, {}));
            out.WriteMeshFile(Landscape + "Buildings\\" + kind + "_" + TwoDigits(v + 1) + ".d3d", records);
        }
    }
}

void WriteTrees(TArtOutput& out, T3D_Render& render)
{
    for (int32_t k = 1; k <= TreeKindCount; k++) {
        const TTreeKind kind = static_cast<TTreeKind>(k);
        const std::string name = TreeKindNames[k];
        const TTreeShape tall = TallShape(kind);
        const int32_t variants = tall.TrunkHigh > 0 ? 3 : 2;
        for (int32_t v = 0; v < variants; v++) {
            const TTreeArt tree = tall.TrunkHigh > 0 ? TallTree(tall, v) : SmallPlant(kind, v);
            std::vector<TMeshFileRecord> records;
            const std::vector<TMeshFileTexture> textures = TexturesOf("ForestTexture");
            if (!tree.Trunk.Vertices.empty())
                records.push_back(MakeRecord(render, name + " trunk", MESH_NORMALMAPPED, tree.Trunk, textures));
            if (!tree.Coma.Vertices.empty())
                records.push_back(MakeRecord(render, name + " coma", MESH_TREECOMA, tree.Coma, textures));
            if (!tree.Grass.Vertices.empty())
                records.push_back(MakeRecord(render, name + " grass", MESH_GRASS, tree.Grass, textures));
            if (!tree.Flowers.Vertices.empty())
                records.push_back(MakeRecord(render, name + " flowers", MESH_GRASS, tree.Flowers, textures));
            out.WriteMeshFile(Landscape + "Trees\\" + name + "_" + TwoDigits(v + 1) + ".d3d", records);
        }
    }
}

void WriteObjects(TArtOutput& out, T3D_Render& render)
{
    for (int32_t k = 1; k <= StoneKindCount; k++) {
        const std::string name = StoneKindNames[k];
        for (int32_t v = 0; v < 2; v++)
            out.WriteMeshFile(Landscape + "Objects\\" + name + "_" + TwoDigits(v + 1) + ".d3d",
                              {MakeRecord(render, name, MESH_NORMALMAPPED, MapObject(static_cast<TStoneKind>(k), v),
                                          TexturesOf("Objects"))});
    }
}

} // namespace

void GenerateLandscapeArt(TArtOutput& out)
{
    WriteTerrainTextures(out);
    const std::unique_ptr<T3D_Render> render = MakeNullRender();
    WriteBuildings(out, *render);
    WriteTrees(out, *render);
    WriteObjects(out, *render);
}

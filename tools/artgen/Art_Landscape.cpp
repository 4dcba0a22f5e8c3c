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
#include "tools/artgen/ArtLandShapes.h"
#include "tools/artgen/ArtLandTextures.h"
#include "tools/artgen/ArtOutput.h"

using namespace ArtLand;

namespace {

// ---------------------------------------------------------------------------
// Trees: a trunk, a crown of crossed quads (three standing, two lying for the
// view from above), and grass and flowers at the foot. Under 60 vertices a
// model.

struct TTreeArt {
    TShape Trunk, Coma, Grass, Flowers;
};

// Quads standing through the axis from y0 to y1, n of them turned evenly.
void CrossedQuads(TShape& s, float radius, float y0, float y1, int32_t n, const TRegion& r, float turn)
{
    for (int32_t i = 0; i < n; i++) {
        const float a = turn + 3.1415927f * static_cast<float>(i) / static_cast<float>(n);
        const float dx = radius * std::cos(a), dz = radius * std::sin(a);
        s.Quad({-dx, y0, -dz}, {dx, y0, dz}, {dx, y1, dz}, {-dx, y1, -dz}, r, {-dz, (y0 + y1) / 2, dx});
    }
}

// A quad lying at height y, seen from above.
void LyingQuad(TShape& s, float radius, float y, const TRegion& r, float turn)
{
    const float c = radius * std::cos(turn), sn = radius * std::sin(turn);
    s.Quad({-c + sn, y, -sn - c}, {c + sn, y, sn - c}, {c - sn, y, sn + c}, {-c - sn, y, -sn + c}, r, {0, y - 1, 0});
}

// A tuft of two crossed quads standing at (x, z).
void Tuft(TShape& s, float x, float z, float radius, float high, const TRegion& r, float turn)
{
    TShape tuft;
    CrossedQuads(tuft, radius, -0.05f, high, 2, r, turn);
    s.Append(tuft, x, z);
}

struct TTreeShape {
    TForestCell Bark, Crown;
    float TrunkRadius, TrunkHigh, CrownRadius, CrownBottom, CrownTop;
    bool Conifer;
};

TTreeArt TallTree(const TTreeShape& t, int32_t variant)
{
    const float grow = 0.85f + 0.15f * static_cast<float>(variant), wide = 1.1f - 0.1f * static_cast<float>(variant);
    const float turn = 0.5f * static_cast<float>(variant);
    TTreeArt tree;
    const TRegion bark = ForestRegion(t.Bark);
    tree.Trunk.Prism(0, 0, t.TrunkRadius, -0.3f, t.TrunkHigh * grow, t.Conifer ? 3 : 4, Once(bark), nullptr, turn);
    const float r = t.CrownRadius * wide, y0 = t.CrownBottom * grow, y1 = t.CrownTop * grow;
    if (t.Conifer) {
        CrossedQuads(tree.Coma, r, y0, y1, 3, ForestRegion(fcSpruce), turn);
        LyingQuad(tree.Coma, r * 0.8f, y0 + (y1 - y0) * 0.25f, ForestRegion(fcPine), turn);
        LyingQuad(tree.Coma, r * 0.45f, y0 + (y1 - y0) * 0.6f, ForestRegion(fcPine), turn + 0.7f);
    } else {
        CrossedQuads(tree.Coma, r, y0, y1, 3, ForestRegion(t.Crown), turn);
        LyingQuad(tree.Coma, r * 0.9f, y0 + (y1 - y0) * 0.45f, ForestRegion(t.Crown), turn);
        LyingQuad(tree.Coma, r * 0.7f, y0 + (y1 - y0) * 0.75f, ForestRegion(t.Crown), turn + 0.8f);
    }
    Tuft(tree.Grass, 0.1f, 0.1f, 0.7f, 0.55f, ForestRegion(fcGrass), turn + 0.3f);
    Tuft(tree.Flowers, 0.6f, -0.4f, 0.35f, 0.45f, ForestRegion(fcFlowers), turn);
    return tree;
}

// The shape of a tall kind; a trunk height of 0 for the small plants.
TTreeShape TallShape(TTreeKind kind)
{
    switch (kind) {
    case TTreeKind::Aspen:
        return {fcBark, fcLightCrown, 0.12f, 2.6f, 0.9f, 1.6f, 4.6f, false};
    case TTreeKind::Maple:
        return {fcBark, fcMapleCrown, 0.16f, 2.0f, 1.6f, 1.2f, 4.0f, false};
    case TTreeKind::Birch:
        return {fcBirchBark, fcLightCrown, 0.11f, 2.8f, 1.0f, 1.8f, 4.8f, false};
    case TTreeKind::Oak:
        return {fcBark, fcDarkCrown, 0.22f, 1.8f, 1.9f, 1.3f, 4.3f, false};
    case TTreeKind::Spruce:
        return {fcPineBark, fcSpruce, 0.14f, 1.2f, 1.2f, 0.5f, 5.2f, true};
    case TTreeKind::Pine:
        return {fcPineBark, fcPine, 0.13f, 3.8f, 1.3f, 3.2f, 5.0f, false};
    case TTreeKind::Apple:
        return {fcBark, fcAppleCrown, 0.14f, 1.4f, 1.4f, 0.9f, 3.0f, false};
    case TTreeKind::Dry:
        return {fcBark, fcDryTwigs, 0.15f, 2.2f, 1.4f, 1.0f, 4.2f, false};
    default:
        return {fcBark, fcBush, 0, 0, 0, 0, 0, false};
    }
}

TTreeArt SmallPlant(TTreeKind kind, int32_t variant)
{
    TTreeArt p;
    const float turn = 0.7f * static_cast<float>(variant);
    const float grow = 1.0f + 0.2f * static_cast<float>(variant);
    switch (kind) {
    case TTreeKind::Bush:
        CrossedQuads(p.Coma, 0.8f * grow, -0.1f, 1.3f * grow, 3, ForestRegion(fcBush), turn);
        LyingQuad(p.Coma, 0.75f * grow, 0.7f * grow, ForestRegion(fcBush), turn);
        Tuft(p.Grass, 0, 0, 0.8f, 0.5f, ForestRegion(fcGrass), turn + 0.4f);
        break;
    case TTreeKind::Hummock:
        for (int32_t i = 0; i < 3; i++)
            Tuft(p.Grass, 0.4f * std::cos(turn + 2.1f * static_cast<float>(i)),
                 0.4f * std::sin(turn + 2.1f * static_cast<float>(i)), 0.45f * grow, 0.5f, ForestRegion(fcTufts),
                 turn + static_cast<float>(i));
        break;
    case TTreeKind::Flowers:
        for (int32_t i = 0; i < 3; i++)
            Tuft(p.Flowers, 0.5f * std::cos(turn + 2.1f * static_cast<float>(i)),
                 0.5f * std::sin(turn + 2.1f * static_cast<float>(i)), 0.4f, 0.5f, ForestRegion(fcFlowers),
                 turn + static_cast<float>(i));
        Tuft(p.Grass, 0, 0, 0.6f, 0.45f, ForestRegion(fcGrass), turn);
        break;
    case TTreeKind::Stump: {
        const TRegion bark = ForestRegion(fcBark), rings = ForestRegion(fcStumpTop);
        p.Trunk.Prism(0, 0, 0.28f * grow, -0.3f, 0.45f, 5, Once(bark), &rings, turn);
        break;
    }
    default: // Grass
        for (int32_t i = 0; i < 3; i++)
            Tuft(p.Grass, 0.45f * std::cos(turn + 2.1f * static_cast<float>(i)),
                 0.45f * std::sin(turn + 2.1f * static_cast<float>(i)), 0.5f * grow, 0.7f,
                 ForestRegion(i == 0 ? fcTallGrass : fcGrass), turn + static_cast<float>(i));
        break;
    }
    return p;
}

// ---------------------------------------------------------------------------
// Map objects

// A boulder: an octahedron split once, its points pushed in and out.
TShape Boulder(float radius, float flat, uint32_t seed)
{
    const TVec3 axes[6] = {{1, 0, 0}, {0, 0, 1}, {-1, 0, 0}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}};
    auto bump = [&](const TVec3& direction) {
        const TVec3 d = Unit(direction);
        const float h = Hash01(static_cast<int32_t>(std::lround(d.x * 8 + 16)),
                               static_cast<int32_t>(std::lround(d.y * 8 + 16) * 64 + std::lround(d.z * 8 + 16)), seed);
        const float r = radius * (0.8f + 0.4f * h);
        return TVec3{d.x * r, d.y * r * flat + radius * flat * 0.6f, d.z * r};
    };
    TShape s;
    // One block of the weathered stone, without its mortar.
    const TRegion rock = Part(Reg(bcRuinStone), 0.15f, 0.16f, 0.3f, 0.22f);
    const TVec3 centre = {0, radius * flat * 0.6f, 0};
    for (int32_t i = 0; i < 4; i++)
        for (int32_t top = 4; top <= 5; top++) {
            const TVec3 a = axes[i], b = axes[(i + 1) % 4], c = axes[top];
            const TVec3 ab = bump(Add(a, b)), bc = bump(Add(b, c)), ca = bump(Add(c, a));
            const TVec3 pa = bump(a), pb = bump(b), pc = bump(c);
            const TVec3 tris[4][3] = {{pa, ab, ca}, {ab, pb, bc}, {ca, bc, pc}, {ab, bc, ca}};
            for (const auto& t : tris)
                s.Tri(t[0], t[1], t[2], rock.U0, rock.V1, rock.U1, rock.V1, (rock.U0 + rock.U1) / 2, rock.V0, centre);
        }
    return s;
}

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

// The arenas' art: a scene file per arena with its meshes and textures in
// its folder below "Arenas\", the battle's hex meshes and grid picture in
// "Interface\Common\", and the picture a missing arena texture becomes.
//
// Arena frame: the battlefield's 30 cells lie around the origin on the flat
// ground y = 0 (the armies face each other along x); scenery stands around
// it, the ground rising into low hills further out. The buildings and plants
// are the map's, scaled up to stand beside the personages.
#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tools/NullRender.h"
#include "tools/artgen/ArtArenaHex.h"
#include "tools/artgen/ArtArenaScenes.h"
#include "tools/artgen/ArtLandBuildings.h"
#include "tools/artgen/ArtLandPaint.h"
#include "tools/artgen/ArtLandPlants.h"
#include "tools/artgen/ArtLandShapes.h"
#include "tools/artgen/ArtLandTextures.h"
#include "tools/artgen/ArtOutput.h"

using namespace ArtLand;
using namespace ArtArena;

namespace {

// ---------------------------------------------------------------------------
// Ground

// A folder's ground atlas: 2 x 2 cells of 256 texels; cell 0 the main
// ground, 1 the road, 2 the patches, 3 the fourth kind (water by the lake
// and in the swamp).
constexpr uint32_t GroundCell = 256;
constexpr float GroundTile = 4; // world units one copy of a cell covers

struct TGroundSet {
    int32_t Kinds[4];
    bool Water; // the fourth cell is water
};

TColour WaterColour(float x, float y)
{
    const float ripple = Fractal(x, y, 32, static_cast<int32_t>(GroundCell), 977);
    const float fine = Noise(x, y, 8, 8, static_cast<int32_t>(GroundCell), 978);
    return Mix(Rgb(34, 62, 72), Rgb(70, 108, 112), 0.7f * ripple + 0.3f * fine);
}

TPicture GroundAtlas(const TGroundSet& set)
{
    TPicture p(2 * GroundCell, 2 * GroundCell);
    const float scale = static_cast<float>(TilePeriod) / static_cast<float>(GroundCell);
    for (int32_t cell = 0; cell < 4; cell++) {
        const uint32_t x0 = static_cast<uint32_t>(cell % 2) * GroundCell,
                       y0 = static_cast<uint32_t>(cell / 2) * GroundCell;
        for (uint32_t y = 0; y < GroundCell; y++)
            for (uint32_t x = 0; x < GroundCell; x++) {
                const float fx = static_cast<float>(x), fy = static_cast<float>(y);
                if (cell == 3 && set.Water) {
                    p.Put(x0 + x, y0 + y, WaterColour(fx, fy), 0);
                    continue;
                }
                // The landscape's grounds repeat every 500 texels: drawn
                // squeezed they repeat every cell.
                const TTexel t = Ground(set.Kinds[cell], fx * scale, fy * scale);
                p.Put(x0 + x, y0 + y, t.Colour, t.Height);
            }
    }
    return p;
}

TRegion GroundRegion(int32_t cell)
{
    return AtlasCell(cell % 2, cell / 2, 2, GroundTile, 0.01f);
}

// The ground's height: flat over the field and a ring around it, then
// rising into hills; below the water where the folder has a lake (beyond
// z = 16) or pools (the swamp).
struct TGroundShape {
    float Hills = 2;
    uint32_t Seed = 1;
    bool Lake = false, Pools = false;

    float Height(float x, float z) const
    {
        const float r = std::sqrt(x * x + z * z);
        const float rise = std::clamp((r - 14) / 20, 0.0f, 1.0f);
        const float noise = Fractal(x * 4 + 400, z * 4 + 400, 100, 500, Seed);
        float h = Hills * Smooth(rise) * (0.4f + 1.2f * noise);
        // The lake's bed sinks with the hills beyond it, so the water
        // reaches back to the far shore.
        if (Lake)
            h -= (1.6f + 2 * Hills * Smooth(rise)) * Smooth(std::clamp((z - 13) / 5, 0.0f, 1.0f)) *
                 Smooth(std::clamp((46 - z) / 6, 0.0f, 1.0f));
        if (Pools && r > 10) {
            const float pool = Fractal(x * 6 + 100, z * 6 + 100, 50, 500, Seed + 5);
            h -= 0.9f * Smooth(std::clamp((0.45f - pool) / 0.1f, 0.0f, 1.0f));
        }
        return h;
    }
};

constexpr float WaterLevel = -0.3f;
constexpr float GroundHalf = 60;

// The ground: squares of one cell copy each, following the heights, each
// showing the main ground or, where the noise says so, a patch of the third
// kind.
TShape GroundShape(const TGroundShape& g)
{
    TShape s;
    const TRegion main = GroundRegion(0), patch = GroundRegion(2);
    const int32_t n = static_cast<int32_t>(2 * GroundHalf / GroundTile);
    for (int32_t j = 0; j < n; j++)
        for (int32_t i = 0; i < n; i++) {
            const float x0 = -GroundHalf + static_cast<float>(i) * GroundTile, x1 = x0 + GroundTile;
            const float z0 = -GroundHalf + static_cast<float>(j) * GroundTile, z1 = z0 + GroundTile;
            // Patches only further out, where they break the distance up
            // without drawing squares beside the field.
            const float far = std::sqrt((x0 + 2) * (x0 + 2) + (z0 + 2) * (z0 + 2));
            const bool patchy =
                far > 26 && Hash01(i, j, g.Seed) < 0.3f && Fractal(x0 * 5, z0 * 5, 100, 500, g.Seed + 3) > 0.5f;
            const TVec3 p0 = {x0, g.Height(x0, z0), z0}, p1 = {x1, g.Height(x1, z0), z0};
            const TVec3 p2 = {x1, g.Height(x1, z1), z1}, p3 = {x0, g.Height(x0, z1), z1};
            const TVec3 below = {(x0 + x1) / 2, std::min({p0.y, p1.y, p2.y, p3.y}) - 1, (z0 + z1) / 2};
            s.Quad(p0, p1, p2, p3, patchy ? patch : main, below);
        }
    return s;
}

// A strip of a ground cell following the ground a little above it: along x
// at z = offset (a road, bending a little) or along z at x = offset.
TShape StripShape(const TGroundShape& g, bool alongX, float offset, float width, int32_t cell, float lift)
{
    TShape s;
    const TRegion r = GroundRegion(cell);
    auto at = [&](float t, float across) {
        const float bend = alongX ? 0.8f * std::sin(t * 0.09f) : 0;
        const float x = alongX ? t : offset + across, z = alongX ? offset + bend + across : t;
        return TVec3{x, g.Height(x, z) + lift, z};
    };
    for (float t = -GroundHalf; t < GroundHalf; t += GroundTile) {
        const TVec3 p0 = at(t, -width / 2), p1 = at(t + GroundTile, -width / 2);
        const TVec3 p2 = at(t + GroundTile, width / 2), p3 = at(t, width / 2);
        const TVec3 below = {(p0.x + p2.x) / 2, std::min(p0.y, p2.y) - 1, (p0.z + p2.z) / 2};
        s.Quad(p0, p1, p2, p3, r, below);
    }
    return s;
}

// Still water, a little below the banks.
TShape WaterShape(float x0, float z0, float x1, float z1)
{
    TShape s;
    TRegion water = GroundRegion(3);
    water.Tile = 8;
    s.Panel({x0, WaterLevel, z0}, {x1, WaterLevel, z0}, {x1, WaterLevel, z1}, {x0, WaterLevel, z1}, water,
            {(x0 + x1) / 2, WaterLevel - 1, (z0 + z1) / 2});
    return s;
}

// ---------------------------------------------------------------------------
// Scenery of the folder's mesh file

struct TPiece {
    int32_t Format = MESH_NORMALMAPPED;
    TShape Shape;
    std::string Texture; // "Ground", "Scenery" or "Forest"
};

// A ship: a hull of planks, masts and square sails; the galley long and low
// with a row of oars.
TShape Ship(bool galley)
{
    TShape s;
    const TRegion planks = Reg(bcPlanks), logs = Reg(bcLogs), sail = Reg(galley ? bcStripes : bcMarble);
    const float half = galley ? 5.5f : 3.5f, beam = galley ? 1.1f : 1.5f, high = galley ? 0.9f : 1.6f;
    s.Box(-beam, -half, beam, half, -0.6f, high, planks, &planks);
    s.Pyramid(-beam, half, beam, half + 2, -0.6f, high, planks);
    s.Pyramid(-beam, -half - 1.2f, beam, -half, -0.6f, high, planks);
    const int32_t masts = galley ? 1 : 2;
    for (int32_t m = 0; m < masts; m++) {
        const float z = masts == 1 ? 0.5f : (m == 0 ? -1.2f : 1.6f);
        s.Box(-0.12f, z - 0.12f, 0.12f, z + 0.12f, high, high + 5, logs, &logs);
        s.Quad({-1.6f, high + 1.6f, z + 0.15f}, {1.6f, high + 1.6f, z + 0.15f}, {1.6f, high + 4.4f, z + 0.15f},
               {-1.6f, high + 4.4f, z + 0.15f}, sail, {0, high + 3, z - 1});
        s.Quad({-1.6f, high + 1.6f, z + 0.15f}, {1.6f, high + 1.6f, z + 0.15f}, {1.6f, high + 4.4f, z + 0.15f},
               {-1.6f, high + 4.4f, z + 0.15f}, sail, {0, high + 3, z + 1});
    }
    if (galley)
        for (int32_t i = 0; i < 7; i++) {
            const float z = -half + 1 + 1.4f * static_cast<float>(i);
            for (float side : {-1.0f, 1.0f})
                s.Box(side * beam + (side < 0 ? -2.2f : 0), z - 0.05f, side * beam + (side < 0 ? 0 : 2.2f), z + 0.05f,
                      0.1f, 0.2f, logs, &logs);
        }
    return s;
}

// A low mound of turf for the lake's island.
TShape Island()
{
    TShape s;
    const TRegion turf = Reg(bcTurf);
    s.Prism(0, 0, 7, -1, 0.2f, 10, turf, &turf, 0.2f);
    s.Cone(0, 0, 5.5f, 0.2f, 1.2f, 10, turf, 0.2f);
    return s;
}

// Inside the camp's tent: a canvas of eight sides and its poles; the floor
// and the furniture are pieces of their own.
TShape TentCanvas()
{
    TShape s;
    const TRegion cloth = Reg(bcStripes), wood = Reg(bcPlanks);
    s.Prism(0, 0, 9, -0.2f, 3.2f, 8, cloth, nullptr, 0.3927f);
    s.Cone(0, 0, 9.2f, 3.2f, 7.5f, 8, cloth, 0.3927f);
    // Two poles beside the table, out of the camera's way to the personages.
    for (float x : {-3.0f, 3.0f})
        s.Box(x - 0.15f, 3.85f, x + 0.15f, 4.15f, -0.2f, 6.6f, wood, &wood);
    return s;
}

TShape TentFurniture()
{
    TShape s;
    const TRegion wood = Reg(bcPlanks), logs = Reg(bcLogs), gold = Reg(bcGold), cloth = Reg(bcRedCloth);
    // A table and two benches.
    s.Box(-1.6f, 2.2f, 1.6f, 3.2f, 0.8f, 0.95f, wood, &wood);
    for (float x : {-1.4f, 1.4f})
        for (float z : {2.35f, 3.05f})
            s.Box(x - 0.08f, z - 0.08f, x + 0.08f, z + 0.08f, 0, 0.8f, logs, &logs);
    for (float z : {1.6f, 3.8f})
        s.Box(-1.5f, z - 0.2f, 1.5f, z + 0.2f, 0, 0.45f, wood, &wood);
    // A chest with a golden lock, a rug, a brazier.
    s.Box(3.2f, -2.2f, 4.4f, -1.4f, 0, 0.7f, wood, &gold);
    s.Flat(-2.5f, -1.5f, 2.5f, 1.5f, 0.02f, cloth);
    s.Prism(-4, -1, 0.5f, 0, 0.6f, 8, Reg(bcCharred), &gold);
    return s;
}

TShape TentFloor()
{
    TShape s;
    TRegion planks = Reg(bcPlanks);
    s.Panel({-9.5f, 0, -9.5f}, {9.5f, 0, -9.5f}, {9.5f, 0, 9.5f}, {-9.5f, 0, 9.5f}, planks, {0, -1, 0});
    return s;
}

// A stretch of wall with merlons, for the castle's court.
TShape CastleFront()
{
    TShape s;
    TEnclosure e;
    e.Half = 10;
    e.Gap = 3;
    e.Thick = 1.2f;
    e.High = 4.5f;
    e.TowerRadius = 1.8f;
    e.TowerHigh = 6.5f;
    e.TowerRoof = 3;
    e.Roofing = bcSlate;
    Enclosure(s, e);
    Gatehouse(s, 10, e.Gap, 6, bcStone);
    Keep(s, 0, 4, 5, 10, 0, bcStone, bcSlate);
    Banner(s, -4, 3, 12, bcStripes);
    return s;
}

// The watch tower of the "Tower" arena: tall, roofed, with a lean-to.
TShape WatchTower()
{
    TShape s;
    Tower(s, 0, 0, 2.4f, 11, 4, bcStone, bcSlate);
    s.Append(House(3, 2.4f, 1.8f, 1.2f, bcTimber, bcThatch), 3.2f, -1, 0.4f);
    Door(s, 0, -2.3f, 1, 1.8f);
    Banner(s, 0, 0, 17, bcRedCloth);
    return s;
}

// A wall a little higher than a man, across which no one walks.
TShape Blocker(float w, float d)
{
    TShape s;
    const TRegion stone = Reg(bcStone);
    s.Box(-w / 2, -d / 2, w / 2, d / 2, 0, 2, stone, &stone);
    return s;
}

// A patch of tufts over a disc, the meadow's grass and flowers.
TShape Meadow(float radius, int32_t tufts, TForestCell cell, uint32_t seed)
{
    TShape s;
    for (int32_t i = 0; i < tufts; i++) {
        const float a = TwoPi * Hash01(i, 1, seed), r = radius * std::sqrt(Hash01(i, 2, seed));
        Tuft(s, r * std::cos(a), r * std::sin(a), 0.45f + 0.3f * Hash01(i, 3, seed), 0.5f + 0.4f * Hash01(i, 4, seed),
             ForestRegion(cell), TwoPi * Hash01(i, 5, seed));
    }
    return s;
}

// A tree of a kind by its map name ("Oak"), the middle variant of the map's.
bool TreeArtOf(const std::string& kind, TTreeArt& art)
{
    for (int32_t k = 1; k <= TreeKindCount; k++) {
        if (kind != TreeKindNames[k])
            continue;
        const TTreeKind tree = static_cast<TTreeKind>(k);
        const TTreeShape tall = TallShape(tree);
        art = tall.TrunkHigh > 0 ? TallTree(tall, 1) : SmallPlant(tree, 1);
        return true;
    }
    return false;
}

// A tree's part by the map's names: "Oak trunk", "Oak coma", "Oak grass".
bool TreePiece(const std::string& name, TPiece& piece)
{
    const size_t blank = name.find(' ');
    TTreeArt art;
    if (blank == std::string::npos || !TreeArtOf(name.substr(0, blank), art))
        return false;
    const std::string part = name.substr(blank + 1);
    piece.Texture = "Forest";
    if (part == "trunk") {
        piece.Shape = art.Trunk;
    } else if (part == "coma") {
        piece.Format = MESH_TREECOMA;
        piece.Shape = art.Coma;
    } else if (part == "grass") {
        piece.Format = MESH_GRASS;
        piece.Shape = art.Grass;
    } else {
        return false;
    }
    return !piece.Shape.Vertices.empty();
}

struct TFolderGround {
    TGroundSet Set;
    TGroundShape Shape;
};

bool ScenePiece(const std::string& name, const TFolderGround& ground, TPiece& piece)
{
    piece.Texture = "Scenery";
    if (name == "Ground") {
        piece.Texture = "Ground";
        piece.Shape = GroundShape(ground.Shape);
    } else if (name == "Road") {
        piece.Texture = "Ground";
        piece.Shape = StripShape(ground.Shape, true, 0, 3, 1, 0.015f);
    } else if (name == "Stream") {
        // The stream the bridge crosses, along z beside the field.
        piece.Texture = "Ground";
        piece.Shape = StripShape(ground.Shape, false, 22, 5, 3, 0.05f);
    } else if (name == "Square") {
        // The trodden square of a town around the field.
        piece.Texture = "Ground";
        TRegion r = GroundRegion(1);
        piece.Shape.Panel({-13, 0.01f, -13}, {13, 0.01f, -13}, {13, 0.01f, 13}, {-13, 0.01f, 13}, r, {0, -1, 0});
    } else if (name == "Lake") {
        piece.Texture = "Ground";
        piece.Shape = WaterShape(-GroundHalf, 12, GroundHalf, GroundHalf);
    } else if (name == "Pools") {
        piece.Texture = "Ground";
        piece.Shape = WaterShape(-GroundHalf, -GroundHalf, GroundHalf, GroundHalf);
    } else if (name == "House") {
        piece.Shape = House(2.4f, 1.9f, 1.7f, 1.2f, bcTimber, bcRedTiles, true);
    } else if (name == "Cottage") {
        piece.Shape = House(2.2f, 1.7f, 1.3f, 1.3f, bcTimber, bcThatch);
    } else if (name == "Tavern") {
        piece.Shape = Tavern().Visible;
    } else if (name == "Church") {
        Church(piece.Shape, 0, 0.8f, 1, bcStone, bcSlate, bcSlate);
    } else if (name == "Mill") {
        piece.Shape = Windmill().Visible;
        piece.Shape.Append(MillSails(), 0, 0);
    } else if (name == "Bridge") {
        piece.Shape = Bridge().Visible;
    } else if (name == "Town") {
        piece.Shape = Town(false).Visible;
    } else if (name == "Village") {
        piece.Shape = Village(5, 3.8f, 52, true).Visible;
    } else if (name == "Stalls") {
        Stall(piece.Shape, -1.5f, 0, 0.2f, bcStripes);
        Stall(piece.Shape, 1.5f, 0.3f, -0.3f, bcRedCloth);
        Well(piece.Shape, 0, 2.5f);
    } else if (name == "Fence") {
        Fence(piece.Shape, -4, 0, 4, 0);
    } else if (name == "Well") {
        Well(piece.Shape, 0, 0);
    } else if (name == "Tents") {
        Tent(piece.Shape, -2, 0, 1.4f, 2.6f, bcStripes);
        Tent(piece.Shape, 1.5f, 1, 1.2f, 2.3f, bcRedCloth);
        Banner(piece.Shape, 0, -1.5f, 3.5f, bcRedCloth);
    } else if (name == "Castle") {
        piece.Shape = CastleFront();
    } else if (name == "Tower") {
        piece.Shape = WatchTower();
    } else if (name == "RuinTower") {
        piece.Shape = RuinTower().Visible;
    } else if (name == "RuinCastle") {
        piece.Shape = RuinedCastle(7, 3, 61).Visible;
    } else if (name == "RuinChurch") {
        piece.Shape = RuinChurch().Visible;
    } else if (name == "Graves") {
        piece.Shape = Cemetery().Visible;
    } else if (name == "Rock") {
        piece.Shape = Boulder(1.4f, 1, 5);
    } else if (name == "Stones") {
        for (int32_t i = 0; i < 4; i++)
            piece.Shape.Append(Boulder(0.35f + 0.1f * static_cast<float>(i % 2), 0.7f, 11 + static_cast<uint32_t>(i)),
                               0.7f * std::cos(1.7f * static_cast<float>(i)),
                               0.7f * std::sin(1.7f * static_cast<float>(i)), 0, -0.1f);
    } else if (name == "Kogg" || name == "Galere") {
        piece.Shape = Ship(name == "Galere");
    } else if (name == "Island") {
        piece.Shape = Island();
    } else if (name == "TentCanvas") {
        piece.Shape = TentCanvas();
    } else if (name == "TentFloor") {
        piece.Shape = TentFloor();
    } else if (name == "TentFurniture") {
        piece.Shape = TentFurniture();
    } else if (name == "Blocker") {
        piece.Shape = Blocker(3, 3);
    } else if (name == "Meadow" || name == "Reeds") {
        piece.Texture = "Forest";
        piece.Format = MESH_GRASS;
        piece.Shape = name == "Meadow" ? Meadow(4, 14, fcFlowers, 31) : Meadow(3, 12, fcTallGrass, 37);
    } else {
        return TreePiece(name, piece);
    }
    return true;
}

// ---------------------------------------------------------------------------
// The arenas

// An object set about the field: its mesh, texture and type follow from the
// piece's name.
TArenaObject Put(const std::string& mesh, float x, float z, int32_t scale = 100, const std::string& tags = "")
{
    TArenaObject o;
    o.Section = mesh;
    o.Mesh = mesh;
    o.X = x;
    o.Z = z;
    o.Scale = scale;
    o.Tags = tags;
    // Turned to face the field (a building's gate looks towards -z).
    if (x != 0 || z != 0)
        o.RotateV = static_cast<int32_t>(std::lround(std::atan2(x, z) * 180 / 3.14159265));
    return o;
}

// Scenery of the map (buildings, trees) at twice its map size.
constexpr int32_t Big = 220;

struct TArenaBuild {
    std::vector<TArenaObject> Objects;
    const TGroundShape* Ground = nullptr;

    // Puts the object on the ground there.
    void Add(TArenaObject o, const std::string& texture)
    {
        o.Texture = texture + "_d";
        if (Ground != nullptr && o.Y == 0)
            o.Y = Ground->Height(o.X, o.Z);
        Objects.push_back(o);
    }
    void Scenery(const std::string& mesh, float x, float z, int32_t scale = Big, const std::string& tags = "")
    {
        Add(Put(mesh, x, z, scale, tags), "Scenery");
    }
    // A tree of a kind: those of its trunk, crown and grass it has (small
    // plants have no trunk), the grass only when asked for.
    void Tree(const std::string& kind, float x, float z, int32_t scale = Big, const std::string& tags = "",
              bool grass = false)
    {
        TTreeArt art;
        TreeArtOf(kind, art);
        TArenaObject base = Put(kind + " trunk", x, z, scale, tags);
        base.RotateV = static_cast<int32_t>(
            Hash(static_cast<uint32_t>(x * 10 + 500), static_cast<uint32_t>(z * 10 + 500), 3) % 360);
        if (!art.Trunk.Vertices.empty())
            Add(base, "Forest");
        if (!art.Coma.Vertices.empty()) {
            TArenaObject coma = base;
            coma.Section = coma.Mesh = kind + " coma";
            coma.Type = "TreeComa";
            coma.Alpha = "alpha-test";
            coma.Sides = "two sided";
            Add(coma, "Forest");
        }
        if ((grass || art.Coma.Vertices.empty()) && !art.Grass.Vertices.empty()) {
            TArenaObject g = base;
            g.Section = g.Mesh = kind + " grass";
            g.Type = "Grass";
            g.Alpha = "alpha-test";
            g.Sides = "two sided";
            g.Shadow = false;
            Add(g, "Forest");
        }
    }
    void Plants(const std::string& mesh, float x, float z, const std::string& tags = "")
    {
        TArenaObject o = Put(mesh, x, z, 100, tags);
        o.Type = "Grass";
        o.Alpha = "alpha-test";
        o.Sides = "two sided";
        o.Shadow = false;
        Add(o, "Forest");
    }
    // A ring of trees of the kinds given, from radius r0 to r1, leaving the
    // view side (z < 0) open nearer the field.
    void Woods(const std::vector<std::string>& kinds, int32_t count, float r0, float r1, uint32_t seed,
               const std::string& tags = "")
    {
        for (int32_t i = 0; i < count; i++) {
            const float a = TwoPi * (static_cast<float>(i) + Hash01(i, 1, seed) * 0.8f) / static_cast<float>(count);
            float r = r0 + (r1 - r0) * Hash01(i, 2, seed);
            if (std::sin(a) < -0.3f)
                r += 8;
            Tree(kinds[static_cast<size_t>(i) % kinds.size()], r * std::cos(a), r * std::sin(a),
                 Big - 40 + static_cast<int32_t>(80 * Hash01(i, 3, seed)), tags);
        }
    }
    // Invisible walls the battle keeps to; no arena shows them.
    void Collision(float x, float z)
    {
        TArenaObject o = Put("Blocker", x, z, 100, "collision");
        o.Visible = false;
        o.Shadow = false;
        Add(o, "Scenery");
    }
};

TArenaObject GroundObject(const std::string& mesh)
{
    TArenaObject o = Put(mesh, 0, 0);
    o.Texture = "Ground_d";
    o.Shadow = false;
    return o;
}

TArenaObject Battlefield()
{
    TArenaObject o;
    o.Section = "Battlefield";
    o.Mesh = BattlefieldMesh();
    o.Texture = "HEX_grid";
    o.Shadow = false;
    o.Alpha = "linear-add";
    return o;
}

struct TFolder {
    std::string Name;
    TFolderGround Ground;
    std::vector<TArenaScene> Scenes;
};

TArenaScene BattleScene(const std::string& folder, const std::string& name, const TArenaBuild& build,
                        bool water = false)
{
    TArenaScene scene;
    scene.Folder = folder;
    scene.Name = name;
    scene.Look = DayLook();
    scene.Objects.push_back(GroundObject("Ground"));
    if (water)
        scene.Objects.push_back(GroundObject(folder == "Swamp" ? "Pools" : "Lake"));
    scene.Objects.push_back(Battlefield());
    TArenaObject road = GroundObject("Road");
    road.Tags = "road";
    scene.Objects.push_back(road);
    scene.Objects.insert(scene.Objects.end(), build.Objects.begin(), build.Objects.end());
    return scene;
}

TFolder PlainFolder()
{
    TFolder f;
    f.Name = "Plain";
    f.Ground.Set = {{gkGrassFlat, gkRoad, gkGrassStepp, gkSand}, true};
    f.Ground.Shape.Hills = 2.5f;
    f.Ground.Shape.Seed = 11;
    const TGroundShape* g = &f.Ground.Shape;

    // The open plain: a few trees and stones; what stands around follows
    // the map's tags of the place.
    TArenaBuild plain;
    plain.Ground = g;
    plain.Tree("Oak", -18, 16);
    plain.Tree("Birch", 21, 19);
    plain.Tree("Maple", 26, -8);
    plain.Scenery("Stones", -12, -9, 120);
    plain.Plants("Meadow", 9, -10, "-town -village");
    plain.Plants("Meadow", -10, 11, "-town -village");
    plain.Scenery("Mill", 16, 22, Big, "mill");
    plain.Scenery("House", -16, 21, Big, "house");
    plain.Scenery("Tavern", 0, 26, Big, "tavern");
    plain.Scenery("Church", -26, 24, Big, "church");
    plain.Scenery("Town", 0, 44, Big, "town");
    plain.Scenery("Village", -30, 6, Big, "village");
    plain.Scenery("RuinTower", 28, 8, Big, "ruint");
    plain.Scenery("RuinChurch", 30, 26, Big, "ruinc");
    plain.Woods({"Oak", "Birch", "Aspen", "Maple"}, 16, 24, 34, 17, "forest");
    TArenaObject stream = GroundObject("Stream");
    stream.Tags = "bridge";
    plain.Objects.push_back(stream);
    TArenaObject bridge = Put("Bridge", 22, 0, 150, "bridge");
    bridge.RotateV = 90;
    plain.Add(bridge, "Scenery");
    plain.Collision(-12, -9);

    TArenaBuild town;
    town.Ground = g;
    TArenaObject square = GroundObject("Square");
    town.Objects.push_back(square);
    for (int32_t i = 0; i < 7; i++) {
        const float a = 0.35f + 2.45f * static_cast<float>(i) / 6;
        town.Scenery(i % 3 == 1 ? "Tavern" : "House", 17 * std::cos(a), 17 * std::sin(a));
    }
    town.Scenery("Church", 0, 30);
    town.Scenery("Stalls", -11, -11, 180);
    town.Scenery("Well", 12, -11, Big);
    town.Scenery("Town", 0, 52, Big, "castle");
    town.Collision(12, -11);

    TArenaBuild village;
    village.Ground = g;
    for (int32_t i = 0; i < 6; i++) {
        const float a = 0.3f + 2.5f * static_cast<float>(i) / 5;
        village.Scenery("Cottage", 18 * std::cos(a), 17 * std::sin(a) + 2);
    }
    village.Scenery("Fence", -15, 9, 200);
    village.Scenery("Fence", 15, 9, 200);
    village.Scenery("Well", -12, -11);
    village.Scenery("Mill", 30, 24, Big, "mill");
    village.Tree("Apple", 10, 24);
    village.Tree("Apple", -9, 25);
    village.Woods({"Oak", "Birch"}, 10, 30, 38, 23, "forest");
    village.Collision(-12, -11);

    TArenaBuild wild;
    wild.Ground = g;
    wild.Scenery("Rock", -14, 14, 200);
    wild.Scenery("Rock", 17, -12, 150);
    wild.Scenery("Stones", 12, 13, 150);
    wild.Tree("Dry", -20, -6);
    wild.Tree("Bush", 14, 18, 200);
    wild.Tree("Bush", -9, 19, 180);
    wild.Woods({"Pine", "Dry", "Oak"}, 12, 26, 36, 29, "forest");
    wild.Collision(-14, 14);
    wild.Collision(17, -12);

    f.Scenes.push_back(BattleScene("Plain", "Plain", plain));
    TArenaScene night = BattleScene("Plain", "Plain_Night", plain);
    night.Look = NightLook();
    f.Scenes.push_back(night);
    f.Scenes.push_back(BattleScene("Plain", "PlainTown", town));
    f.Scenes.push_back(BattleScene("Plain", "PlainVillage", village));
    f.Scenes.push_back(BattleScene("Plain", "PlainWild", wild));
    return f;
}

TFolder OneArena(const std::string& name, const TGroundSet& set, TArenaBuild build, bool water = false)
{
    TFolder f;
    f.Name = name;
    f.Ground.Set = set;
    f.Scenes.push_back(BattleScene(name, name, build, water));
    return f;
}

std::vector<TFolder> Folders()
{
    std::vector<TFolder> folders;
    folders.push_back(PlainFolder());

    auto shaped = [](TFolder f, const TGroundShape& shape) {
        f.Ground.Shape = shape;
        return f;
    };
    {
        TGroundShape g;
        g.Hills = 1.5f;
        g.Seed = 21;
        TArenaBuild b;
        b.Ground = &g;
        b.Scenery("Castle", 0, 34, 180, "");
        b.Scenery("Tents", -16, -12, 200);
        b.Scenery("Tents", 18, -14, 200);
        b.Tree("Oak", -24, 14);
        b.Scenery("Stones", 14, 12, 150);
        b.Woods({"Oak", "Maple"}, 8, 40, 46, 41, "forest");
        b.Collision(0, 20);
        folders.push_back(shaped(OneArena("Castle", {{gkDust, gkRoad, gkGrassFlat, gkStoneRoad}, false}, b), g));
    }
    {
        TGroundShape g;
        g.Hills = 4;
        g.Seed = 31;
        TArenaBuild b;
        b.Ground = &g;
        b.Scenery("Tower", 0, 24, 200);
        b.Scenery("Rock", -17, 12, 200);
        b.Scenery("Stones", 16, -11, 150);
        b.Tree("Pine", 18, 15);
        b.Tree("Spruce", -24, -4);
        b.Woods({"Pine", "Spruce", "Birch"}, 10, 30, 38, 37, "forest");
        b.Collision(-17, 12);
        folders.push_back(shaped(OneArena("Tower", {{gkGrassHill, gkRoad, gkGreenRock, gkStoneRoad}, false}, b), g));
    }
    {
        TGroundShape g;
        g.Hills = 2;
        g.Seed = 41;
        TArenaBuild b;
        b.Ground = &g;
        b.Scenery("RuinCastle", 0, 30, 200);
        b.Scenery("RuinTower", -20, 14, Big, "ruint");
        b.Scenery("RuinChurch", 22, 16, Big, "ruinc");
        b.Scenery("Graves", 18, -14, 160);
        b.Scenery("Stones", -14, -10, 150);
        b.Tree("Dry", -12, 17);
        b.Tree("Dry", 13, 20);
        b.Woods({"Dry", "Oak"}, 8, 36, 44, 43, "forest");
        b.Collision(-14, -10);
        folders.push_back(shaped(OneArena("Ruins", {{gkPebble, gkRoad, gkDust, gkStoneRoad}, false}, b), g));
    }
    {
        TGroundShape g;
        g.Hills = 3;
        g.Seed = 51;
        TArenaBuild b;
        b.Ground = &g;
        b.Woods({"Spruce", "Pine", "Spruce"}, 30, 13, 30, 53);
        b.Tree("Spruce", -11, 12);
        b.Tree("Spruce", 12, 11);
        b.Scenery("Rock", 15, -11, 130);
        b.Plants("Reeds", -13, -10);
        b.Collision(15, -11);
        folders.push_back(
            shaped(OneArena("PineForest", {{gkGrassForest, gkRoad, gkHummocks, gkStoneRoad}, false}, b), g));
    }
    {
        TGroundShape g;
        g.Hills = 2;
        g.Seed = 61;
        TArenaBuild b;
        b.Ground = &g;
        b.Woods({"Oak", "Maple", "Birch", "Aspen"}, 30, 13, 30, 61);
        b.Tree("Oak", -12, 12, Big, "", true);
        b.Tree("Maple", 12, 12, Big, "", true);
        b.Tree("Bush", -13, -10, 200);
        b.Plants("Meadow", 11, -11);
        b.Scenery("Stones", 14, -13, 120);
        b.Collision(-13, -10);
        folders.push_back(shaped(OneArena("Forest", {{gkGrassForest, gkRoad, gkGrassFlat, gkStoneRoad}, false}, b), g));
    }
    {
        TGroundShape g;
        g.Hills = 1;
        g.Seed = 71;
        g.Pools = true;
        TArenaBuild b;
        b.Ground = &g;
        b.Tree("Dry", -13, 13);
        b.Tree("Dry", 16, 15);
        b.Tree("Birch", -19, -8);
        b.Tree("Hummock", 12, -11, 250);
        b.Tree("Hummock", -11, -12, 250);
        b.Plants("Reeds", 10, 13);
        b.Plants("Reeds", -15, 4);
        b.Plants("Reeds", 16, -4);
        b.Woods({"Dry", "Birch", "Aspen"}, 12, 26, 36, 71, "forest");
        b.Collision(12, -11);
        folders.push_back(shaped(OneArena("Swamp", {{gkSwamp, gkRoad, gkGrassWater, gkHummocks}, true}, b, true), g));
    }
    {
        TGroundShape g;
        g.Hills = 2;
        g.Seed = 81;
        g.Lake = true;
        TArenaBuild b;
        b.Ground = &g;
        // The island lies out in the water, in sight of the field.
        TArenaObject island = Put("Island", 4, 24, 100, "island");
        island.Y = WaterLevel;
        b.Add(island, "Scenery");
        for (const auto& [kind, x, z] : {std::tuple{"Pine", 2.5f, 24.0f}, std::tuple{"Birch", 6.0f, 23.0f}}) {
            const size_t first = b.Objects.size();
            b.Tree(kind, x, z, 120, "island");
            for (size_t i = first; i < b.Objects.size(); i++)
                b.Objects[i].Y = WaterLevel + 1.2f;
        }
        for (const auto& [ship, x, z] : {std::tuple{"Kogg", -16.0f, 30.0f}, std::tuple{"Galere", 22.0f, 28.0f}}) {
            TArenaObject o = Put(ship, x, z, 150, ship == std::string("Kogg") ? "kogg" : "galere");
            o.Y = WaterLevel;
            o.RotateV = 80;
            b.Add(o, "Scenery");
        }
        b.Tree("Birch", -14, 9);
        b.Tree("Aspen", 16, 8);
        b.Plants("Reeds", -6, 14);
        b.Plants("Reeds", 10, 14);
        b.Scenery("Stones", -12, -11, 150);
        b.Woods({"Aspen", "Birch"}, 8, 28, 36, 83, "forest");
        b.Collision(-12, -11);
        folders.push_back(shaped(OneArena("Lake", {{gkGrassFlat, gkRoad, gkSand, gkPebble}, true}, b, true), g));
    }
    {
        // The camp: inside a tent, a lamp-lit table; the camera stands
        // before the personages and looks at them.
        TFolder f;
        f.Name = "Tent";
        f.Ground.Set = {{gkDust, gkRoad, gkGrassFlat, gkStoneRoad}, false};
        TArenaScene s;
        s.Folder = s.Name = "Tent";
        s.Look = TentLook();
        // The camp's own camera: low, before the personages, looking at them.
        s.FixCamera = false;
        s.AngleX = -0.12f;
        s.AngleY = 0.02f;
        s.Distance = -2.15f;
        s.Target[0] = 0.022f;
        s.Target[1] = -1.1f;
        s.Target[2] = 4.278f;
        TArenaObject floor = Put("TentFloor", 0, 0);
        floor.Texture = "Scenery_d";
        floor.Shadow = false;
        TArenaObject canvas = Put("TentCanvas", 0, 0);
        canvas.Texture = "Scenery_d";
        canvas.Sides = "two sided";
        TArenaObject furniture = Put("TentFurniture", 0, 0);
        furniture.Texture = "Scenery_d";
        s.Objects = {floor, canvas, furniture};
        s.Emitters.push_back({"Brazier", "Smoke"});
        f.Scenes.push_back(s);
        TArenaScene night = s;
        night.Name = "Tent_Night";
        night.Look.SunPower = 20;
        night.Look.Ambient = 25;
        night.Look.LightColor = Colour(255, 180, 110);
        night.Look.FogColor = night.Look.BkgColor = Colour(20, 14, 12);
        f.Scenes.push_back(night);
        folders.push_back(f);
    }
    {
        // The story's meetings: a clearing with tents and woods behind; the
        // speakers stand along x = -6.3 and the camera looks at them along
        // +x, the camp beyond them.
        TGroundShape g;
        g.Hills = 3;
        g.Seed = 95;
        TArenaBuild b;
        b.Ground = &g;
        b.Woods({"Oak", "Pine", "Birch"}, 18, 16, 28, 97);
        b.Scenery("Tents", 12, 1, 200);
        b.Scenery("Stones", 3, -5, 120);
        b.Plants("Meadow", 1, 6);
        TFolder f = OneArena("Event", {{gkGrassFlat, gkRoad, gkDust, gkStoneRoad}, false}, b);
        f.Ground.Shape = g;
        TArenaScene& s = f.Scenes[0];
        // No battle here: no field and no road.
        std::vector<TArenaObject> kept;
        for (const TArenaObject& o : s.Objects)
            if (o.Mesh != BattlefieldMesh() && o.Mesh != "Road")
                kept.push_back(o);
        s.Objects = kept;
        s.FixCamera = false;
        s.AngleX = -0.15f;
        s.AngleY = -1.5708f;
        s.Distance = 2;
        s.Target[0] = 4.278f;
        s.Target[1] = -1.5f;
        s.Target[2] = 0;
        folders.push_back(f);
    }
    return folders;
}

// ---------------------------------------------------------------------------
// Writing the set

std::string TwoDigitsOf(int32_t n)
{
    return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}

std::vector<TMeshFileTexture> TexturesOf(const std::string& base)
{
    return {{base + "_d.dds", 0, 0}, {base + "_n.dds", 0, 2}};
}

// Normal maps at half the size of their pictures: the light they shade
// needs less detail than the colours, and the folders stay small.
TPicture Halved(const TPicture& p)
{
    TPicture half(std::max(1u, p.Width / 2), std::max(1u, p.Height / 2), false);
    half.Bgra = TextureFiles::HalveBGRA(p.Bgra, p.Width, p.Height);
    return half;
}

void WriteFolder(TArtOutput& out, T3D_Render& render, const TFolder& folder, const TPicture& scenery,
                 const TPicture& sceneryNormals, const TPicture& forest, const TPicture& forestNormals)
{
    const std::string root = "Arenas\\" + folder.Name + "\\";
    // The pieces the folder's scenes name, in the order first named.
    std::vector<std::string> names;
    std::set<std::string> seen, textures;
    for (const TArenaScene& scene : folder.Scenes)
        for (const TArenaObject& o : scene.Objects)
            if (o.Mesh != BattlefieldMesh() && seen.insert(o.Mesh).second)
                names.push_back(o.Mesh);
    std::vector<TMeshFileRecord> records;
    for (const std::string& name : names) {
        TPiece piece;
        if (!ScenePiece(name, folder.Ground, piece))
            throw TArtError("arena piece \"" + name + "\" of " + folder.Name + " is not made");
        textures.insert(piece.Texture);
        records.push_back(MakeRecord(render, name, piece.Format, piece.Shape, TexturesOf(piece.Texture)));
    }
    out.WriteMeshFile(root + SceneryFile() + ".D3D", records);
    if (textures.count("Ground") != 0) {
        const TPicture ground = GroundAtlas(folder.Ground.Set);
        out.WriteDDS(root + "Ground_d.DDS", MakeMippedDDS(ground, false));
        out.WriteDDS(root + "Ground_n.DDS", MakeMippedDDS(Halved(NormalMap(ground, 1.5f, GroundCell)), false));
    }
    if (textures.count("Scenery") != 0) {
        out.WriteDDS(root + "Scenery_d.DDS", MakeMippedDDS(scenery, false));
        out.WriteDDS(root + "Scenery_n.DDS", MakeMippedDDS(sceneryNormals, false));
    }
    if (textures.count("Forest") != 0) {
        out.WriteDDS(root + "Forest_d.DDS", MakeMippedDDS(forest, true));
        out.WriteDDS(root + "Forest_n.DDS", MakeMippedDDS(forestNormals, false));
    }
    for (const TArenaScene& scene : folder.Scenes) {
        const std::string text = SceneText(scene);
        out.Write(root + scene.Name + ".qxs", std::vector<uint8_t>(text.begin(), text.end()));
    }
}

void WriteHexMeshes(TArtOutput& out, T3D_Render& render)
{
    const std::string common = "Interface\\Common\\";
    out.WriteDDS(common + "HEX_grid.DDS", MakeMippedDDS(HexGridPicture(128), true));
    out.WriteMeshFile(common + "HexBattlefield6x7.d3d",
                      {MakeRecord(render, BattlefieldMesh(), MESH_NORMALMAPPED, HexBattlefieldShape(), {})});
    out.WriteMeshFile(common + "Hex_Circle.D3D",
                      {MakeRecord(render, "Hex_Circle", MESH_NORMALMAPPED, HexCircleShape(), {})});
    std::vector<TMeshFileRecord> parts;
    for (int32_t sector = 1; sector <= 6; sector++)
        for (int32_t third = 0; third < 3; third++) {
            const std::string name = std::string("HexPart_") + "RCL"[third] + TwoDigitsOf(sector);
            parts.push_back(MakeRecord(render, name, MESH_NORMALMAPPED, HexPartShape(sector, third), {}));
        }
    out.WriteMeshFile(common + "Hex_Parts.D3D", parts);
    out.WriteMeshFile(common + "Hex_FlatArrow.D3D",
                      {MakeRecord(render, "Direction_Arrow", MESH_NORMALMAPPED, FlatArrowShape(), {})});
    out.WriteMeshFile(common + "Way_Arrow.D3D",
                      {MakeRecord(render, "Pass_arrow", MESH_NORMALMAPPED, WayArrowShape(), {})});
}

// The picture of a missing arena texture: a magenta and black checker.
void WriteErrorPicture(TArtOutput& out)
{
    TextureFiles::TTgaImage image;
    image.Width = image.Height = 64;
    image.Depth = 24;
    for (uint32_t y = 0; y < 64; y++)
        for (uint32_t x = 0; x < 64; x++) {
            const bool on = (x / 8 + y / 8) % 2 == 0;
            image.Pixels.insert(image.Pixels.end(),
                                {static_cast<uint8_t>(on ? 255 : 0), 0, static_cast<uint8_t>(on ? 255 : 0)});
        }
    out.Write("Error.tga", TextureFiles::MakeTGA(image));
}

} // namespace

void GenerateArenaArt(TArtOutput& out)
{
    const std::unique_ptr<T3D_Render> render = MakeNullRender();
    WriteErrorPicture(out);
    WriteHexMeshes(out, *render);
    const TPicture scenery = BuildingTexture();
    const TPicture sceneryNormals = Halved(NormalMap(scenery, 2.5f, AtlasCellSize));
    const TPicture forest = ForestTexture();
    const TPicture forestNormals = Halved(NormalMap(forest, 2.0f, AtlasCellSize));
    for (const TFolder& folder : Folders())
        WriteFolder(out, *render, folder, scenery, sceneryNormals, forest, forestNormals);
}

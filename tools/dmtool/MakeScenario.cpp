// The sample scenarios: "Greywater Crossing", a small valley with a town, a
// keep held by raiders, two villages, a tavern, a market over the ford, the
// raiders' camp and a barrow, a lake with a river and its ford, hills, a
// swamp and woods; and its campaign continuation "Ravenscar Road". The
// valley lives without the player: raiders take the vale's villages and
// fall on its merchants, the vale's wardens take the villages back, the
// lord of the keep hires and marches, beaten armies come back at their
// homes. The layout is drawn for a 513 x 513 map (the playable square 128
// to 384) and scaled to other sizes.
#include "tools/dmtool/MakeScenario.h"

#include <algorithm>
#include <cstring>

#include "engine/QX9_System.h"
#include "engine/QX9_System_DatFile.h"
#include "model/ai/AIMain_Settings.h"
#include "model/tables/BuildingType.h"
#include "model/tables/GameEnums.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/Support.h"

namespace {

// ---------------------------------------------------------------------------
// Numbers without a floating-point library: the same on every machine.

uint32_t Hash(int32_t x, int32_t z, uint32_t seed)
{
    uint32_t h = static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(z) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return h;
}

// Smooth value noise 0..255 over a lattice of `cell` cells.
int32_t Noise(int32_t x, int32_t z, int32_t cell, uint32_t seed)
{
    const int32_t gx = x / cell, gz = z / cell, fx = x % cell, fz = z % cell;
    auto at = [&](int32_t a, int32_t b) { return static_cast<int32_t>(Hash(a, b, seed) & 255); };
    const int32_t top = at(gx, gz) * (cell - fx) + at(gx + 1, gz) * fx;
    const int32_t bottom = at(gx, gz + 1) * (cell - fx) + at(gx + 1, gz + 1) * fx;
    return (top * (cell - fz) + bottom * fz) / (cell * cell);
}

int64_t Distance2(int32_t ax, int32_t az, int32_t bx, int32_t bz)
{
    const int64_t dx = ax - bx, dz = az - bz;
    return dx * dx + dz * dz;
}

// Squared distance of a point from a segment, rounded down.
int64_t SegmentDistance2(int32_t px, int32_t pz, int32_t ax, int32_t az, int32_t bx, int32_t bz)
{
    const int64_t vx = bx - ax, vz = bz - az, wx = px - ax, wz = pz - az;
    const int64_t dot = vx * wx + vz * wz;
    const int64_t length2 = vx * vx + vz * vz;
    if (dot <= 0 || length2 == 0)
        return Distance2(px, pz, ax, az);
    if (dot >= length2)
        return Distance2(px, pz, bx, bz);
    const int64_t cross = vx * wz - vz * wx;
    return cross * cross / length2;
}

// A rounded bump: h at the centre, 0 from radius r on.
int32_t Bump(int32_t x, int32_t z, int32_t cx, int32_t cz, int32_t r, int32_t h)
{
    const int64_t r2 = int64_t{r} * r;
    const int64_t d2 = Distance2(x, z, cx, cz);
    if (d2 >= r2)
        return 0;
    const int64_t rest = r2 - d2;
    return static_cast<int32_t>(h * rest / r2 * rest / r2);
}

// A fraction 0..1 from 8 bits of a hash.
float Fraction(uint32_t hash, int shift)
{
    return static_cast<float>((hash >> shift) & 255) / 256.0f;
}

std::u16string U(const char* utf8)
{
    return OS_MultiByteToWide(CP_UTF8, utf8);
}

std::u16string U(const std::string& utf8)
{
    return OS_MultiByteToWide(CP_UTF8, utf8);
}

int32_t CellOf(int32_t x, int32_t z)
{
    return static_cast<int32_t>((static_cast<uint32_t>(z) << 16) | static_cast<uint16_t>(x));
}

// ---------------------------------------------------------------------------
// The layout: coordinates of the 513 map moved onto this map.

struct TLayout {
    int32_t N = 512;
    int32_t Lo = 128;
    int32_t Span = 256;

    explicit TLayout(int32_t size)
    {
        N = size - 1;
        if (N >= 256) {
            Lo = 128;
            Span = N - 256;
        } else {
            Lo = N / 8;
            Span = N - 2 * Lo;
        }
    }
    int32_t X(int32_t v) const { return Lo + (v - 128) * Span / 256; }
    int32_t R(int32_t r) const { return std::max(1, r * Span / 256); }
    bool Playable(int32_t x, int32_t z) const { return x >= Lo && z >= Lo && x <= Lo + Span && z <= Lo + Span; }
};

// Ground kinds of the cells.
enum : uint8_t {
    kSand = 1,
    kPebble = 2,
    kSwamp = 3,
    kHummocks = 4,
    kGrassWater = 5,
    kGrassFlat = 6,
    kGrassStepp = 7,
    kGrassHill = 8,
    kGrassForest = 9,
    kArable = 10,
    kRoad = 12,
    kStoneRoad = 13,
    kDust = 14,
    kGreenRock = 15,
    kHardRock = 16,
};

// What the generator knows of a cell besides its record.
enum TCellUse : uint8_t { cuLand, cuWater, cuRoad, cuRock, cuSwamp, cuWood };

struct TMap {
    TLayout L;
    std::vector<TMapCell> Cells;
    std::vector<TCellUse> Use;

    explicit TMap(int32_t size) : L(size) {}
    // A coordinate of the 513 map on this map, kept on it.
    int32_t At(int32_t v) const { return std::clamp(L.X(v), 0, L.N); }
    // Puts a record (its Pos) on the ground at a place of the 513 map; x and z
    // moved by the offsets.
    template <typename R> void Place(R& record, int32_t x, int32_t z, float dx = 0, float dz = 0)
    {
        const int32_t cx = At(x), cz = At(z);
        record.Pos[0] = static_cast<float>(cx) + dx;
        record.Pos[1] = Height(cx, cz);
        record.Pos[2] = static_cast<float>(cz) + dz;
    }
    TMapCell& Cell(int32_t x, int32_t z) { return Cells[static_cast<size_t>(x) * (L.N + 1) + z]; }
    TCellUse& UseOf(int32_t x, int32_t z) { return Use[static_cast<size_t>(x) * (L.N + 1) + z]; }
    float Height(int32_t x, int32_t z) { return Cell(x, z).Height / 100.0f; }
};

void SetWeights(TMapCell& cell, std::initializer_list<std::pair<uint8_t, uint8_t>> weights)
{
    for (int k = 1; k <= 16; k++)
        cell.KindWeights[k] = 0;
    for (const auto& [kind, weight] : weights)
        cell.KindWeights[kind] = weight;
}

// The road from the town past the tavern, over the ford and the palisade to the keep.
const int32_t RoadPoints[][2] = {{170, 170}, {230, 215}, {261, 237}, {300, 290}, {335, 330}};

void BuildLandscape(TMap& map)
{
    const TLayout& L = map.L;
    const int32_t n = L.N;
    map.Cells.assign(static_cast<size_t>(n + 1) * (n + 1), TMapCell{});
    map.Use.assign(map.Cells.size(), cuLand);
    const int32_t lakeX = L.X(230), lakeZ = L.X(290);
    const int64_t lakeRx = L.R(25), lakeRz = L.R(18);
    const int32_t riverA[2] = {L.X(240), L.X(275)}, riverB[2] = {L.X(290), L.X(180)};
    const int32_t fordX = L.X(261), fordZ = L.X(237);
    const int32_t townX = L.X(170), townZ = L.X(170);
    for (int32_t x = 0; x <= n; x++)
        for (int32_t z = 0; z <= n; z++) {
            TMapCell& cell = map.Cell(x, z);
            TCellUse& use = map.UseOf(x, z);
            const int32_t rock =
                Bump(x, z, L.X(310), L.X(365), L.R(40), 3000) + Bump(x, z, L.X(350), L.X(190), L.R(26), 2000);
            const int32_t rise = Bump(x, z, L.X(335), L.X(330), L.R(20), 600);
            cell.Height =
                static_cast<int16_t>(150 + Noise(x, z, 32, 1) - 128 + Noise(x, z, 8, 2) / 8 - 16 + rock + rise);
            cell.TerrainClass = 2;
            cell.Tint = 255;
            cell.Shade = 200;
            cell.SecondHeight = -1000;
            const uint8_t flat = static_cast<uint8_t>(55 + Noise(x, z, 16, 3) % 30);
            SetWeights(cell, {{kGrassFlat, flat}, {kGrassStepp, static_cast<uint8_t>(100 - flat)}});

            if (rock > 1400) {
                cell.TerrainClass = 3;
                use = cuRock;
                SetWeights(cell, {{kGreenRock, 40}, {kHardRock, 60}});
            } else if (rock > 400) {
                cell.TerrainClass = 8;
                SetWeights(cell, {{kGrassHill, 70}, {kGrassFlat, 30}});
            }
            const int64_t swamp = Distance2(x, z, L.X(200), L.X(350));
            if (swamp < int64_t{L.R(14)} * L.R(14)) {
                cell.TerrainClass = 4;
                use = cuSwamp;
                SetWeights(cell, {{kSwamp, 80}, {kHummocks, 20}});
            } else if (swamp < int64_t{L.R(30)} * L.R(30)) {
                cell.TerrainClass = 4;
                SetWeights(cell, {{kSwamp, 50}, {kHummocks, 30}, {kGrassWater, 20}});
            }
            if (Distance2(x, z, L.X(150), L.X(240)) < int64_t{L.R(22)} * L.R(22) ||
                Distance2(x, z, L.X(285), L.X(160)) < int64_t{L.R(18)} * L.R(18)) {
                cell.TerrainClass = 6;
                use = cuWood;
                SetWeights(cell, {{kGrassForest, 70}, {kGrassFlat, 30}});
            }
            if (Distance2(x, z, L.X(180), L.X(280)) < int64_t{L.R(16)} * L.R(16)) {
                cell.TerrainClass = 10;
                SetWeights(cell, {{kArable, 70}, {kGrassFlat, 30}});
            }
            if (Distance2(x, z, L.X(335), L.X(330)) < int64_t{L.R(8)} * L.R(8))
                SetWeights(cell, {{kDust, 70}, {kGrassFlat, 30}});

            int64_t road = INT64_MAX;
            for (size_t p = 0; p + 1 < std::size(RoadPoints); p++)
                road = std::min(road, SegmentDistance2(x, z, L.X(RoadPoints[p][0]), L.X(RoadPoints[p][1]),
                                                       L.X(RoadPoints[p + 1][0]), L.X(RoadPoints[p + 1][1])));
            if (road <= 2 && use != cuRock) {
                cell.TerrainClass = 2;
                use = cuRoad;
                if (Distance2(x, z, townX, townZ) < int64_t{L.R(10)} * L.R(10))
                    SetWeights(cell, {{kStoneRoad, 85}, {kPebble, 15}});
                else
                    SetWeights(cell, {{kRoad, 80}, {kGrassFlat, 20}});
            }

            const int64_t dx = x - lakeX, dz = z - lakeZ;
            const int64_t lake = dx * dx * lakeRz * lakeRz + dz * dz * lakeRx * lakeRx;
            const int64_t lakeEdge = lakeRx * lakeRx * lakeRz * lakeRz;
            const bool river = SegmentDistance2(x, z, riverA[0], riverA[1], riverB[0], riverB[1]) <= 6;
            if (lake < lakeEdge || river) {
                use = cuWater;
                cell.SecondHeight = 0;
                if (river && lake >= lakeEdge && Distance2(x, z, fordX, fordZ) <= int64_t{L.R(5)} * L.R(5) + 9) {
                    cell.TerrainClass = 1; // the ford: shallow enough to wade
                    cell.Height = -20;
                    cell.TerrainValue = 2;
                    SetWeights(cell, {{kPebble, 70}, {kSand, 30}});
                } else {
                    cell.TerrainClass = 0;
                    cell.Height = static_cast<int16_t>(river ? -150 : -200);
                    SetWeights(cell, {{kPebble, 100}});
                }
            } else if (lake * 100 < lakeEdge * 169) {
                use = cuWater;
                cell.TerrainClass = 1; // the lake's shallows: too steep to wade
                cell.Height = 20;
                cell.SecondHeight = 0;
                cell.TerrainValue = 20;
                SetWeights(cell, {{kSand, 60}, {kPebble, 40}});
            }
        }
    // Slopes of the ground from the heights around (water keeps its own).
    for (int32_t x = 0; x <= n; x++)
        for (int32_t z = 0; z <= n; z++) {
            if (map.UseOf(x, z) == cuWater)
                continue;
            const int32_t gx =
                std::abs(map.Cell(std::min(x + 1, n), z).Height - map.Cell(std::max(x - 1, 0), z).Height);
            const int32_t gz =
                std::abs(map.Cell(x, std::min(z + 1, n)).Height - map.Cell(x, std::max(z - 1, 0)).Height);
            map.Cell(x, z).TerrainValue = static_cast<uint8_t>(std::min(60, std::max(gx, gz) / 2 * 57 / 100));
        }
}

// ---------------------------------------------------------------------------
// Plants and objects

TMapTree Tree(TMap& map, int32_t x, int32_t z, int32_t kind, uint32_t hash)
{
    TMapTree tree{};
    tree.Pos[0] = static_cast<float>(x) + Fraction(hash, 8) * 0.5f - 0.25f;
    tree.Pos[1] = map.Height(x, z);
    tree.Pos[2] = static_cast<float>(z) + Fraction(hash, 16) * 0.5f - 0.25f;
    tree.Scale = 0.8f + Fraction(hash, 24) * 0.5f;
    tree.Angle = static_cast<float>((hash >> 4) & 1023) * 0.00613592f;
    tree.Kind = kind;
    tree.Variant = static_cast<int32_t>(hash % 3);
    return tree;
}

void BuildTrees(TMap& map, std::vector<TMapTree>& trees, bool fill)
{
    const TLayout& L = map.L;
    struct TPatch {
        int32_t X, Z, R;
        int32_t Density;
        int32_t Kinds[4];
    };
    const TPatch patches[] = {
        {150, 240, 22, 35, {6, 5, 6, 7}},   // pinewood north of the town
        {285, 160, 18, 30, {4, 3, 2, 1}},   // oak and birch wood by the river
        {195, 300, 6, 40, {13, 13, 13, 7}}, // the village orchard
    };
    for (const TPatch& patch : patches) {
        const int32_t cx = L.X(patch.X), cz = L.X(patch.Z), r = L.R(patch.R);
        for (int32_t x = std::max(0, cx - r); x <= std::min(L.N, cx + r); x++)
            for (int32_t z = std::max(0, cz - r); z <= std::min(L.N, cz + r); z++) {
                const uint32_t hash = Hash(x, z, 10);
                if (Distance2(x, z, cx, cz) < int64_t{r} * r && map.UseOf(x, z) != cuWater &&
                    map.UseOf(x, z) != cuRoad && static_cast<int32_t>(hash % 100) < patch.Density)
                    trees.push_back(Tree(map, x, z, patch.Kinds[(hash >> 6) % 4], hash));
            }
    }
    // Bushes, hummocks, flowers, dry trees, stumps and grass here and there.
    const int32_t scattered[6] = {7, 8, 9, 10, 11, 12};
    for (int32_t x = L.Lo; x <= L.Lo + L.Span; x++)
        for (int32_t z = L.Lo; z <= L.Lo + L.Span; z++) {
            const uint32_t hash = Hash(x, z, 11);
            if (hash % 1000 < 5 && map.UseOf(x, z) == cuLand)
                trees.push_back(Tree(map, x, z, scattered[(hash >> 10) % 6], hash));
        }
    if (!fill)
        return;
    for (uint32_t i = 0; trees.size() < static_cast<size_t>(MapTreeMax) && i < 50000000u; i++) {
        const uint32_t hash = Hash(static_cast<int32_t>(i), 7, 12);
        const int32_t x = L.Lo + static_cast<int32_t>(hash % static_cast<uint32_t>(L.Span + 1));
        const int32_t z = L.Lo + static_cast<int32_t>((hash >> 12) % static_cast<uint32_t>(L.Span + 1));
        if (map.UseOf(x, z) == cuLand || map.UseOf(x, z) == cuWood)
            trees.push_back(Tree(map, x, z, 1 + static_cast<int32_t>((hash >> 3) % 13), hash));
    }
}

TMapObject Object(TMap& map, int32_t x, int32_t z, int32_t group, uint32_t hash)
{
    TMapObject object{};
    object.Pos[0] = static_cast<float>(x);
    object.Pos[1] = map.Height(x, z);
    object.Pos[2] = static_cast<float>(z);
    object.Scale = 1.0f + Fraction(hash, 8) * 0.5f;
    // Some angles are stored negative; the loader turns them round once.
    object.Angle = static_cast<float>(static_cast<int32_t>((hash >> 4) & 1023) - 512) * 0.00613592f;
    object.ModelGroup = group;
    object.Variant = static_cast<int32_t>(hash % 2);
    return object;
}

void BuildObjects(TMap& map, std::vector<TMapObject>& objects, bool fill)
{
    const TLayout& L = map.L;
    // The palisade across the road below the keep: inside the barrier's radius.
    const int32_t px = L.X(300), pz = L.X(290);
    const int32_t palisade[5][2] = {{-2, 1}, {-1, 1}, {0, 0}, {1, -1}, {2, -1}};
    for (const auto& offset : palisade)
        objects.push_back(Object(map, std::clamp(px + offset[0], 0, L.N), std::clamp(pz + offset[1], 0, L.N), 5,
                                 Hash(offset[0], offset[1], 20)));
    // Graves at the barrow in the swamp.
    const int32_t gx = L.X(212), gz = L.X(338);
    for (int32_t i = 0; i < 6; i++)
        objects.push_back(
            Object(map, std::clamp(gx + (i % 3) * 2, 0, L.N), std::clamp(gz + (i / 3) * 2, 0, L.N), 4, Hash(i, 0, 21)));
    // Debris around the ruined watchtower.
    for (int32_t i = 0; i < 3; i++)
        objects.push_back(
            Object(map, std::clamp(L.X(250) + 3 - i * 3, 0, L.N), std::clamp(L.X(180) + 3, 0, L.N), 3, Hash(i, 1, 22)));
    // Rocks and stones on the hill flanks.
    for (int32_t x = L.Lo; x <= L.Lo + L.Span; x++)
        for (int32_t z = L.Lo; z <= L.Lo + L.Span; z++) {
            const uint32_t hash = Hash(x, z, 23);
            if (map.Cell(x, z).TerrainClass == 8 && hash % 100 < 3)
                objects.push_back(Object(map, x, z, 1 + static_cast<int32_t>((hash >> 8) % 2), hash));
        }
    if (!fill)
        return;
    for (uint32_t i = 0; objects.size() < static_cast<size_t>(MapObjectMax) && i < 10000000u; i++) {
        const uint32_t hash = Hash(static_cast<int32_t>(i), 9, 24);
        const int32_t x = L.Lo + static_cast<int32_t>(hash % static_cast<uint32_t>(L.Span + 1));
        const int32_t z = L.Lo + static_cast<int32_t>((hash >> 12) % static_cast<uint32_t>(L.Span + 1));
        if (map.UseOf(x, z) == cuLand)
            objects.push_back(Object(map, x, z, 1 + static_cast<int32_t>((hash >> 4) % 3), hash));
    }
}

// ---------------------------------------------------------------------------
// Records

TMapArmySlot Slot(int16_t unitType, uint8_t count, uint8_t hireKind)
{
    TMapArmySlot slot{};
    slot.UnitType = unitType;
    slot.Count = count;
    slot.HireKind = hireKind;
    return slot;
}

TMapHireSlot HireSlot(int16_t unitType, uint8_t maxStock, uint8_t startStock, uint8_t growth, uint8_t hireKind,
                      uint8_t computer)
{
    TMapHireSlot slot{};
    slot.UnitType = unitType;
    slot.MaxStock = maxStock;
    slot.StartStock = startStock;
    slot.Growth = growth;
    slot.HireKind = hireKind;
    slot.PlayerMayHire = 1;
    slot.ComputerMayHire = computer;
    return slot;
}

TMapBuilding Building(TMap& map, int32_t x, int32_t z, TBuildingModel model, TBuildingType type, int32_t uid)
{
    TMapBuilding building{};
    map.Place(building, x, z);
    building.Scale = 1.0f;
    building.Model = static_cast<int32_t>(model);
    building.BuildingType = static_cast<uint8_t>(type);
    building.OwnerArmy = -1;
    building.OwnerGroup = -1;
    building.Uid = uid;
    for (int k = 1; k <= 15; k++)
        building.TradeKinds[k] = 1;
    for (int g = 1; g <= 4; g++) {
        building.ShopGroupLimits[g] = 4;
        building.ShopMinCost[g] = 5;
        building.ShopMaxCost[g] = 150;
    }
    return building;
}

TMapArmy Army(TMap& map, int32_t x, int32_t z, TArmyBehavior behavior, uint8_t group, int32_t uid)
{
    TMapArmy army{};
    map.Place(army, x, z);
    army.Behavior = static_cast<uint8_t>(behavior);
    army.Group = group;
    army.Active = 1;
    army.Uid = uid;
    army.Profile = 1;       // the cautious computer profile of Options_AI.ini
    army.RouteFlags[3] = 2; // patrol points it may wander to when it has no goal
    return army;
}

void AddZone(TMap& map, TMapArmy& army, int32_t x, int32_t z, uint8_t kind, int32_t radius)
{
    army.ZoneCount++;
    TArmyZone& zone = army.Zones[army.ZoneCount];
    zone.Cell = CellOf(map.At(x), map.At(z));
    zone.Kind = kind;
    zone.Radius = static_cast<uint8_t>(std::min(255, map.L.R(radius)));
}

// An army's beat: a zone at home (a circle of the given kind), then
// corridors (kind 2) from each zone to the next along the roads it walks.
struct TBeatPlace {
    int32_t X, Z, Radius;
};

void AddBeat(TMap& map, TMapArmy& army, uint8_t homeKind, std::initializer_list<TBeatPlace> places)
{
    uint8_t kind = homeKind;
    for (const TBeatPlace& place : places) {
        AddZone(map, army, place.X, place.Z, kind, place.Radius);
        kind = 2;
    }
}

// A beaten army comes back, whole, after `days`: at a building it owns, of
// its group or of a friend, as the flags allow.
void SetRespawn(TMapArmy& army, uint8_t days, bool atOwn, bool atGroup, bool atFriend)
{
    army.RespawnEnabled = army.RespawnFull = 1;
    army.RespawnDays = days;
    army.RespawnAtOwn = atOwn ? 1 : 0;
    army.RespawnAtGroup = atGroup ? 1 : 0;
    army.RespawnAtFriend = atFriend ? 1 : 0;
}

TMapPoint Point(TMap& map, int32_t x, int32_t z, int32_t kind, int32_t uid)
{
    TMapPoint point{};
    map.Place(point, x, z, 0.25f, -0.25f);
    point.Kind = kind;
    point.Uid = uid;
    return point;
}

TStoryRequire Rule(uint8_t kind, uint8_t sub, uint8_t op, uint8_t op2, uint8_t mode, int32_t a, int32_t b, int32_t c)
{
    return MakeStoryRule(kind, sub, op, op2, mode, a, b, c);
}

// One event as the generator writes it: the record, its lists and texts.
struct TEventSource {
    TStoryEventStart Record{};
    std::vector<TStoryRequire> Requires;
    std::vector<TSelect> Stages;
    std::vector<std::vector<TStoryResult>> Results; // per stage
    std::u16string Title, Text;
    std::vector<std::u16string> StageTexts, Captions, Journals; // journals per stage (or the one)
};

TSelect Stage(uint8_t quest, uint8_t note, int32_t value)
{
    TSelect stage{};
    stage.JournalQuest = quest;
    stage.JournalNote = note;
    stage.Value = value;
    return stage;
}

void AddEvent(TScenarioSource& source, TEventSource& event, size_t padTo)
{
    while (event.Requires.size() < padTo)
        event.Requires.push_back(Rule(12, 0, 0, 0, 0, 0, 0, 0)); // a requirement that tests nothing
    event.Record.RequireCount = static_cast<int32_t>(event.Requires.size());
    event.Record.StageCount = static_cast<int32_t>(event.Stages.size());
    source.Events.push_back(event.Record);
    source.Requires.insert(source.Requires.end(), event.Requires.begin(), event.Requires.end());
    for (size_t s = 0; s < event.Stages.size(); s++) {
        TSelect stage = event.Stages[s];
        stage.ResultCount = static_cast<int32_t>(event.Results[s].size());
        source.Stages.push_back(stage);
        source.Results.insert(source.Results.end(), event.Results[s].begin(), event.Results[s].end());
    }
    // The texts in the order the loader reads them back.
    std::vector<std::u16string>& out = source.EventTexts;
    out.push_back(event.Title);
    out.push_back(event.Text);
    const uint8_t form = event.Record.Form;
    auto journal = [&](size_t s) { return event.Stages[s].JournalQuest || event.Stages[s].JournalNote; };
    if (form == 2)
        for (size_t s = 0; s < event.Stages.size(); s++)
            out.push_back(event.StageTexts[s]);
    if (form == 0 || form > 6) {
        if (!event.Stages.empty() && journal(0))
            out.push_back(event.Journals[0]);
    } else if (event.Record.SingleCaption) {
        out.push_back(event.Captions[0]);
        bool any = false;
        for (size_t s = 0; s < event.Stages.size(); s++)
            any = any || journal(s);
        if (any)
            out.push_back(event.Journals[0]);
    } else {
        for (size_t s = 0; s < event.Stages.size(); s++)
            out.push_back(event.Captions[s]);
        for (size_t s = 0; s < event.Stages.size(); s++)
            if (journal(s))
                out.push_back(event.Journals[s]);
    }
}

TPersonage NpcType(int32_t baseType, const std::string& name, const std::string& tag, int32_t uid, TPersNature nature,
                   int32_t level)
{
    TPersonage type{};
    type.BaseType = baseType;
    type.UnitType = baseType;
    type.Used = 1;
    type.Level = level;
    type.Name.Assign(name);
    type.TypeName.Assign(name.substr(0, 20));
    type.Nature = static_cast<uint8_t>(nature);
    type.Kind = static_cast<uint8_t>(nature);
    type.LevelUp = static_cast<uint8_t>(TAttackKind::Fight);
    type.Cost = 60 + 20 * level;
    type.StrengthMultipler = 100;
    type.StartExpirience = 100;
    type.LevelMultipler = 150;
    const int16_t stats[9] = {0,
                              static_cast<int16_t>(20 + 6 * level),
                              10,
                              static_cast<int16_t>(8 + 2 * level),
                              4,
                              0,
                              static_cast<int16_t>(5 + level),
                              5,
                              6};
    for (int s = 1; s <= 8; s++) {
        type.BaseStats[s] = stats[s];
        type.StatGrowth[s] = s == 1 ? 3 : 1;
    }
    type.DefaultItems[1] = 2; // footman sword
    type.Uid = uid;
    type.TagName.Assign(tag);
    type.MapModelIndex = -1;
    type.ArenaModelIndex = -1;
    return type;
}

void SetHero(TMapStory& header, int kind, uint16_t gold, uint8_t banner, std::initializer_list<TMapArmySlot> slots)
{
    TMapHero& hero = header.Heroes[kind];
    hero.Gold = gold;
    hero.SupportBase = 6;
    hero.DailyIncome = 12;
    hero.Banner = banner;
    hero.Items[1] = 27; // a draught of mending
    int s = 0;
    for (const TMapArmySlot& slot : slots)
        hero.Slots[s++] = slot;
    header.HeroAvailable[kind] = 1;
}

uint8_t SizeClassOf(int32_t n)
{
    const int32_t sides[5] = {512, 640, 768, 1024, 1280};
    for (uint8_t c = 0; c < 5; c++)
        if (n <= sides[c])
            return c;
    return 4;
}

void CommonHeader(TScenarioSource& source, const TLayout& L)
{
    TMapStory& h = source.Header;
    h.SizeClass = SizeClassOf(L.N);
    h.Language = static_cast<uint8_t>(TLanguage::Eng);
    h.StartDate = 1 * 1440 + 540; // day 1, 09:00
    h.Personalization = 2;
    h.TreasuryMode = 1;
    source.Init.MapSizeMinus1 = L.N;
    source.Init.SaveStamp = 4242;
    source.Init.ShallowLimit = 10;
    source.Init.WaterLevel = 20.0f;
    for (int i = 0; i < 3; i++) {
        TMapSound sound{};
        for (int b = 0; b < 9; b++)
            sound.Bytes[b] = static_cast<uint8_t>(i * 9 + b + 1);
        source.Sounds.push_back(sound);
    }
}

// ---------------------------------------------------------------------------
// "Greywater Crossing"

void BuildGreywater(TScenarioSource& source, TMap& map, int part, const std::string& next)
{
    const TLayout& L = map.L;
    const bool full = L.N == MapSizeMax;
    CommonHeader(source, L);
    TMapStory& h = source.Header;
    h.GroupCount = 2;
    // The vale and the raiders are at open war; the company is friendly with the vale.
    source.GroupRows = {100, 10, -100, 10, 100, -100, -100, -100, 100};
    // The plain sample is a single scenario that offers the personalization
    // box; the campaign's first shows the campaign's name in the lists.
    h.HasTitle = part == 1 ? 1 : 0;
    h.ListFlag = part == 0 ? 1 : 0;
    h.VictoryEvent = 20;
    h.SaveMark = 7001;
    SetHero(h, 1, 600, 1, {Slot(1, 1, 5), Slot(-3, 1, 3), Slot(7, 3, 0), Slot(8, 2, 0)});
    SetHero(h, 2, 700, 2, {Slot(2, 1, 5), Slot(-3, 1, 3), Slot(7, 2, 0), Slot(8, 2, 0)});
    SetHero(h, 6, 800, 3, {Slot(6, 2, 5), Slot(-3, 1, 3), Slot(8, 3, 0)});
    h.HeroAvailable[3] = 1; // offered, but without a hero: the loader takes it back
    source.Names = {U("Greywater Crossing"),
                    U("Hold the ford at Greywater, break Red Jory's band and take Ravenscar Keep from the raiders."),
                    U("Company of the Grey Ford"),
                    U("Vale merchants"),
                    U("Raiders of Ravenscar"),
                    U("Greywater Crossing (sample)")};
    if (part == 1) {
        h.NextEvent[1] = 20;
        source.Names.push_back(U(next));
    }

    BuildLandscape(map);
    BuildTrees(map, source.Trees, full);
    BuildObjects(map, source.Objects, full);

    // Buildings
    TMapBuilding town = Building(map, 170, 170, TBuildingModel::Town, TBuildingType::Town, 101);
    town.Angle = 0.4f;
    town.Gold = 300;
    town.Income = 3;
    town.IncomeBonus = 10;
    town.BannerStored = 1;
    town.Garrison[0] = Slot(9, 1, 0);
    town.Garrison[1] = Slot(7, 4, 0);
    town.Garrison[2] = Slot(8, 2, 0);
    town.HireSlots[1] = HireSlot(7, 6, 3, 2, 0, 1);
    town.HireSlots[2] = HireSlot(8, 4, 2, 3, 0, 1);
    town.HireSlots[3] = HireSlot(9, 3, 1, 5, 0, 0);
    const uint16_t townShop[8] = {1, 2, 5, 13, 16, 20, 27, 0};
    for (int i = 1; i <= 8; i++)
        town.ShopItems[i] = townShop[i - 1];
    town.ShopAlignment[1] = town.ShopAlignment[2] = 1;
    town.TradePercent[1] = town.TradePercent[2] = 100;
    town.TradePercent[3] = 110;
    town.TradePercent[4] = 90;
    town.HasHire = town.HasShop = town.HasGarrison = town.ServiceC = town.HasGarrisonFolder = 1;
    town.OwnerGroup = 0;
    town.HeroStart[1] = town.HeroStart[2] = town.HeroStart[6] = 1;
    town.InfluenceRadius = L.R(24);

    TMapBuilding keep = Building(map, 335, 330, TBuildingModel::CastleMiddle, TBuildingType::Castle, 102);
    keep.Angle = -0.5f; // stored negative: the loader turns it to 331 degrees
    keep.Gold = 900;
    keep.Income = 5;
    keep.IncomeBonus = 40;
    keep.Banner = 2;
    keep.BannerStored = 5;
    keep.Garrison[0] = Slot(16, 2, 0);
    keep.Garrison[1] = Slot(14, 3, 0);
    keep.Garrison[2] = Slot(15, 3, 0);
    keep.Garrison[3] = Slot(13, 2, 0);
    keep.GarrisonItems[1] = 31;
    keep.HireSlots[1] = HireSlot(14, 3, 1, 4, 0, 1);
    keep.HireSlots[1].PlayerMayHire = 0;
    keep.AssaultA = 60;
    keep.AssaultB = 30;
    keep.AssaultC = 4;
    keep.HireSlots[2] = HireSlot(13, 6, 3, 2, 0, 1);
    keep.HasTreasury = keep.HasActions = keep.HasGarrisonFolder = keep.HasHire = 1;
    keep.OwnerGroup = 2;
    keep.InfluenceRadius = L.R(36);
    keep.Undiscovered = 1;

    TMapBuilding village = Building(map, 180, 280, TBuildingModel::VillageMiddle, TBuildingType::Village, 103);
    village.Gold = 60;
    village.Income = 2;
    village.IncomeBonus = 8;
    village.HasGarrison = village.HasHire = 1;
    village.HireSlots[1] = HireSlot(7, 4, 2, 3, 0, 1);
    village.Garrison[0] = Slot(7, 3, 0);
    village.InfluenceRadius = 10; // a village exerts none: the loader clears it
    village.OwnerGroup = 1;

    TMapBuilding tavern = Building(map, 232, 212, TBuildingModel::Tavern, TBuildingType::Tavern, 104);
    tavern.HasHire = tavern.HasShop = tavern.ServiceC = 1;
    tavern.HireSlots[1] = HireSlot(17, 2, 1, 6, 1, 1);
    tavern.HireSlots[2] = HireSlot(18, 2, 1, 6, 1, 1);
    tavern.ShopItems[1] = 27;
    tavern.ShopItems[2] = 28;
    tavern.ShopItems[3] = 29;
    for (int i = 1; i <= 4; i++)
        tavern.TradePercent[i] = 50;
    tavern.TradePercent5 = 50; // all five at 50: read as 100
    tavern.OwnerGroup = 1;

    TMapBuilding tower = Building(map, 250, 180, TBuildingModel::RuinTower, TBuildingType::Ruin, 105);
    tower.OwnerGroup = 2; // nameless: it belongs to nobody once loaded

    // The vale's market over the ford, a second village, the barrow and the
    // raiders' camp: the places the armies below fight over.
    TMapBuilding market = Building(map, 310, 215, TBuildingModel::Market, TBuildingType::Market, 106);
    market.Gold = 150;
    market.Income = 3;
    market.IncomeBonus = 10;
    market.HasHire = market.HasShop = market.HasGarrison = 1;
    market.HireSlots[1] = HireSlot(9, 4, 2, 3, 0, 1);
    market.HireSlots[2] = HireSlot(10, 4, 2, 3, 0, 1);
    market.ShopItems[1] = 27;
    market.ShopItems[2] = 2;
    market.OwnerGroup = 1;

    TMapBuilding hollin = Building(map, 295, 258, TBuildingModel::VillageSmall, TBuildingType::Village, 107);
    hollin.Gold = 40;
    hollin.Income = 2;
    hollin.IncomeBonus = 6;
    hollin.HasGarrison = hollin.HasHire = 1;
    hollin.HireSlots[1] = HireSlot(7, 4, 2, 3, 0, 1);
    hollin.OwnerGroup = 1;

    TMapBuilding barrowHall = Building(map, 222, 322, TBuildingModel::RuinChurch, TBuildingType::Cementry, 108);
    barrowHall.HasHire = barrowHall.HasGarrison = 1;
    barrowHall.HireSlots[1] = HireSlot(13, 4, 2, 2, 0, 0);
    barrowHall.OwnerGroup = 2;

    TMapBuilding camp = Building(map, 205, 214, TBuildingModel::RuinVillageAbandonedSmall, TBuildingType::Ruin, 109);
    camp.HasHire = camp.HasGarrison = 1;
    camp.HireSlots[1] = HireSlot(13, 6, 3, 2, 0, 1);
    camp.HireSlots[2] = HireSlot(15, 4, 2, 3, 0, 1);
    camp.OwnerGroup = 2;

    // The road's bridge over the river at the ford: nameless, so nobody owns
    // or visits it; its deck runs along the road toward the keep (the model's
    // deck lies along its own z, which the angle turns onto the road).
    TMapBuilding bridge = Building(map, 261, 237, TBuildingModel::Bridge, TBuildingType::Bridge, 110);
    bridge.Angle = -0.635f;

    source.Buildings = {town, keep, village, tavern, tower, market, hollin, barrowHall, camp, bridge};
    const char* const buildingTexts[] = {
        "Greywater",
        "the ford town",
        "A market town of grey stone where the vale road meets the river.",
        "Ravenscar Keep",
        "",
        "An old keep on a rise, held by Red Jory's masters.",
        "Millbrook",
        "",
        "Mills and orchards under the lake's shore.",
        "The Drowned Lantern",
        "tavern",
        "A low tavern where sellswords drink away their last pay.",
        "",
        "",
        "",
        "Saltmarket",
        "",
        "Stalls and salt sheds where the vale trades with the hill folk.",
        "Hollin",
        "",
        "A hamlet of charcoal burners on the keep road.",
        "Blackbarrow",
        "",
        "Old graves in the swamp that do not stay shut.",
        "Crowfoot Camp",
        "",
        "Tents and a broken wall where Red Jory's men sleep off their takings.",
        "",
        "",
        "",
    };
    for (const char* text : buildingTexts)
        source.BuildingTexts.push_back(U(text));

    // Armies, each with its beat.
    // Odo carries salt between Greywater and Saltmarket over the ford.
    TMapArmy trader = Army(map, 200, 230, TArmyBehavior::Trader, 1, 201);
    trader.Gold = 400;
    trader.SupportBase = 4;
    trader.DailyIncome = 6;
    trader.BannerStored = 3;
    trader.Slots[0] = Slot(9, 1, 0);
    trader.Slots[1] = Slot(7, 2, 0);
    AddBeat(map, trader, 0, {{170, 170, 10}, {232, 212, 8}, {261, 237, 6}, {310, 215, 10}});
    trader.Boldness = 10;
    trader.Profile = 2;
    trader.AnchorBuilding = 1;
    trader.WaitsInBuildings = 1;
    trader.Heading = 0.5f;
    SetRespawn(trader, 4, false, true, true);

    // The dead of the swamp walk at night as far as Millbrook's fields.
    TMapArmy barrow = Army(map, 228, 324, TArmyBehavior::Undeads, 2, 202);
    barrow.Slots[0] = Slot(-1, 1, 0);
    barrow.Slots[1] = Slot(-2, 4, 0);
    AddBeat(map, barrow, 1, {{228, 324, 12}, {185, 290, 14}});
    barrow.Boldness = 80;
    barrow.Profile = 3;
    barrow.SeeksBattles = 1;
    barrow.BannerStored = 6;
    barrow.Heading = 3.0f;
    SetRespawn(barrow, 6, false, true, false);

    // Red Jory raids from his camp: Millbrook, over the ford to Hollin.
    TMapArmy jory = Army(map, 210, 200, TArmyBehavior::Bandits, 2, 203);
    jory.Gold = 120;
    jory.Slots[0] = Slot(13, 1, 0);
    jory.Slots[1] = Slot(13, 2, 0);
    jory.Items[1] = 32;
    AddBeat(map, jory, 0, {{205, 214, 14}, {180, 280, 12}, {261, 237, 8}, {295, 258, 12}});
    jory.Boldness = 60;
    jory.Profile = 4;
    jory.RouteFlags[3] = 4;
    jory.SeeksBattles = 1;
    jory.BannerStored = 7;
    jory.Heading = -1.0f;
    SetRespawn(jory, 3, true, true, false);

    // The keep's men ride down to Hollin and the market road.
    TMapArmy watch = Army(map, 325, 318, TArmyBehavior::Guard, 2, 204);
    watch.Slots[0] = Slot(17, 1, 0);
    watch.Slots[1] = Slot(17, 1, 0);
    watch.Slots[2] = Slot(18, 1, 0);
    AddBeat(map, watch, 0, {{335, 330, 10}, {295, 258, 12}, {310, 215, 12}});
    watch.AnchorBuilding = 2;
    watch.Profile = 2;
    watch.SeeksBattles = 1;
    watch.Boldness = 20;
    SetRespawn(watch, 5, true, true, false);
    watch.BannerStored = 5;
    watch.Heading = 2.2f;

    // The vale's wardens ride the villages and take back what was taken.
    TMapArmy wardens = Army(map, 175, 178, TArmyBehavior::Guard, 1, 205);
    wardens.Gold = 200;
    wardens.SupportBase = 6;
    wardens.DailyIncome = 10;
    wardens.Slots[0] = Slot(17, 2, 0);
    wardens.Slots[1] = Slot(9, 3, 0);
    wardens.Slots[2] = Slot(10, 2, 0);
    AddBeat(map, wardens, 0, {{170, 170, 12}, {180, 280, 14}, {261, 237, 12}, {295, 258, 14}});
    wardens.Profile = 3;
    wardens.SeeksBattles = 1;
    wardens.Boldness = 30;
    wardens.BannerStored = 3;
    wardens.Heading = 1.2f;
    SetRespawn(wardens, 4, false, true, true);

    // The lord of Ravenscar hires at his keep and marches on the vale.
    TMapArmy lord = Army(map, 335, 330, TArmyBehavior::Feudal, 2, 206);
    lord.Gold = 500;
    lord.SupportBase = 8;
    lord.DailyIncome = 25;
    lord.Slots[0] = Slot(20, 1, 0);
    lord.Slots[1] = Slot(14, 2, 0);
    lord.Slots[2] = Slot(13, 2, 0);
    AddBeat(map, lord, 0, {{335, 330, 12}, {295, 258, 14}, {310, 215, 14}, {261, 237, 12}});
    lord.Profile = 3;
    lord.SeeksBattles = 1;
    lord.Boldness = 50;
    lord.AnchorBuilding = 2;
    lord.BannerStored = 5;
    lord.Heading = 2.5f;
    SetRespawn(lord, 7, true, true, false);

    // A cloth merchant between Saltmarket and Millbrook.
    TMapArmy clothier = Army(map, 305, 222, TArmyBehavior::Trader, 1, 207);
    clothier.Gold = 300;
    clothier.SupportBase = 3;
    clothier.DailyIncome = 5;
    clothier.Slots[0] = Slot(10, 1, 0);
    clothier.Slots[1] = Slot(7, 2, 0);
    AddBeat(map, clothier, 0, {{310, 215, 10}, {261, 237, 6}, {215, 262, 8}, {180, 280, 10}});
    clothier.Boldness = 5;
    clothier.Profile = 2;
    clothier.AnchorBuilding = 6;
    clothier.WaitsInBuildings = 1;
    clothier.BannerStored = 3;
    clothier.Heading = 2.8f;
    SetRespawn(clothier, 4, false, true, true);

    // A dead chieftain that never leaves its mound in the mire: no way leads
    // there, and it keeps to itself.
    TMapArmy wight = Army(map, 205, 345, TArmyBehavior::Undeads, 2, 208);
    wight.Slots[0] = Slot(-1, 2, 0);
    wight.Profile = 5;
    wight.BannerStored = 6;
    wight.Heading = 0.8f;

    // Soldiers stop a while where a route ends; every army walks at an
    // ox's pace, so a route lasts and a day sees a few of them.
    for (TMapArmy* army : {&barrow, &jory, &watch, &wardens, &lord})
        army->WaitAtRouteEnd = 1;
    for (TMapArmy* army : {&trader, &barrow, &jory, &watch, &wardens, &lord, &clothier})
        army->SpeedPercent = 50;
    source.Armies = {trader, barrow, jory, watch, wardens, lord, clothier, wight};
    const char* const armyTexts[] = {
        "Odo the Salter",
        "of the Vale",
        "A salt trader with two hired levies and a mule that bites.",
        "The Barrow Host",
        "",
        "What the swamp gave back: bones that walk at night.",
        "Red Jory",
        "the Footpad",
        "A footpad turned captain, with more ambition than men.",
        "Keep Watch",
        "",
        "Men-at-arms who ride out from Ravenscar at dawn.",
        "Greywater Wardens",
        "",
        "The vale's sworn riders, paid in salt and grudges.",
        "Lord Varrow",
        "of Ravenscar",
        "The keep's master, who buys swords with other men's harvests.",
        "Mirel the Clothier",
        "",
        "A cloth merchant who counts every bolt twice and every guard once.",
        "The Mire Wight",
        "",
        "Something old sits on the drowned mound and does not care who rules the vale.",
    };
    for (const char* text : armyTexts)
        source.ArmyTexts.push_back(U(text));

    // Points
    TMapPoint gate = Point(map, 165, 160, 1, 301);
    TMapPoint palisade = Point(map, 300, 290, 0, 302);
    palisade.Radius = 4;
    palisade.ClosedAtStart = 1;
    TMapPoint hill = Point(map, 350, 190, 0, 303);
    TMapPoint landing = Point(map, 160, 172, 1, 304);
    landing.HeroKind = 6;
    source.Points = {gate, palisade, hill, landing};
    for (const char* text : {"Greywater gate", "Old palisade", "Watchtower hill", "Baroness's landing"})
        source.PointTexts.push_back(U(text));

    // Events
    const size_t pad = full ? 5 : 0;
    TEventSource welcome;
    welcome.Record.Uid = 401;
    welcome.Requires = {Rule(2, 0, 0, 0, 0, 0, 0, 0)};
    welcome.Stages = {Stage(1, 0, 0)};
    welcome.Results = {{Rule(0, 0, 0, 0, 0, 100, 0, 0)}};
    welcome.Title = U("A grey morning at Greywater");
    welcome.Text = U("<p=Hero>The ford is held by nobody and watched by everybody. Red Jory's men were seen on the "
                     "tavern road.");
    welcome.Journals = {U("Break Red Jory's band, then take Ravenscar Keep.")};
    AddEvent(source, welcome, pad);

    TEventSource victory;
    victory.Record.Uid = 402;
    victory.Requires = {Rule(4, 0, 0, 0, 0, 3, 0, 0)};
    victory.Stages = {Stage(0, 1, 0)};
    victory.Results = {{Rule(0, 0, 0, 0, 0, 250, 0, 0), Rule(6, 0, 0, 0, 0, 1, 1, 0), Rule(3, 0, 0, 0, 0, 17, 0, 0)}};
    victory.Title = U("Red Jory is beaten");
    victory.Text = U("<p=Hero>The footpads scatter into the reeds. One of Jory's hired swords asks to ride with you.");
    victory.Journals = {U("Red Jory's band is broken; the road to Ravenscar lies open.")};
    AddEvent(source, victory, pad);

    TEventSource salt;
    salt.Record.Uid = 403;
    salt.Record.TalkFlag = 1;
    salt.Record.OncePerDay = 1;
    salt.Record.Form = 1;
    salt.Record.RepeatLimit = -1;
    // Offered only to a hero who can pay: gold above 39.
    salt.Requires = {Rule(3, 0, 0, 0, 0, 1, 0, 0), Rule(9, 0, 1, 0, 0, 0, 39, 0)};
    salt.Stages = {Stage(0, 1, 0), Stage(0, 0, 0)};
    salt.Results = {{Rule(0, 0, 0, 0, 0, -40, 0, 0), Rule(2, 0, 0, 0, 0, 27, 0, 0)}, {}};
    salt.Title = U("The salt trader");
    salt.Text = U("<p=Trader>Salt, cloth and a draught against fever, captain. Forty in silver.");
    salt.Captions = {U("Buy a draught (40 gold)"), U("Ride on")};
    salt.Journals = {U("Bought a draught of mending from Odo the Salter."), U("")};
    AddEvent(source, salt, pad);

    TEventSource gateDown;
    gateDown.Record.Uid = 404;
    gateDown.Record.Form = 2;
    gateDown.Requires = {Rule(8, 1, 0, 0, 0, 0, 2, L.R(6)), Rule(1, 0, 2, 0, 0, 1, 1, 0)};
    gateDown.Stages = {Stage(0, 0, 0)};
    gateDown.Results = {{Rule(11, 0, 0, 0, 0, 2, 0, 0), Rule(11, 0, 3, 0, 0, 2, 0, 0)}};
    gateDown.Title = U("The old palisade");
    gateDown.Text = U("With Jory gone, nobody mans the palisade across the keep road.");
    gateDown.StageTexts = {U("Your men pull the stakes down and burn them.")};
    gateDown.Captions = {U("Pull it down")};
    gateDown.Journals = {U("")};
    AddEvent(source, gateDown, pad);

    source.VariableNames = {"bandits_beaten"};

    // The scenario's own personages
    source.NpcTypes = {NpcType(16, "Barrow wight", "barrow_wight", 501, TPersNature::Undead, 3),
                       NpcType(13, "Restless bones", "restless_bones", 502, TPersNature::Undead, 1),
                       NpcType(17, "Ser Hallan", "ser_hallan", 503, TPersNature::People, 4)};
    source.NpcTypes[2].ImportantNPC = 1;
    source.NpcBonusLines = {"TheUndead,Fearless,NightFight,,,,,,Terrible", "TheUndead", ""};
    source.NpcTexts = {U("Barrow wight"),   U("A dead chieftain that still keeps its hall."),
                       U("Restless bones"), U("The swamp's old dead, clattering."),
                       U("Ser Hallan"),     U("A landless knight who follows the company for his own reasons.")};

    if (!full)
        return;
    // The full-size map: every table to its capacity, 300 events; the
    // fillers stand at places of the playable square drawn from a hash.
    auto scatterX = [](uint32_t hash) { return 128 + static_cast<int32_t>(hash % 257); };
    auto scatterZ = [](uint32_t hash) { return 128 + static_cast<int32_t>((hash >> 10) % 257); };
    auto texts = [](std::vector<std::u16string>& list, std::initializer_list<std::string> items) {
        for (const std::string& item : items)
            list.push_back(U(item));
    };
    for (int32_t b = static_cast<int32_t>(source.Buildings.size()) + 1; b <= MapBuildingMax; b++) {
        const uint32_t hash = Hash(b, 0, 30);
        TMapBuilding house =
            Building(map, scatterX(hash), scatterZ(hash), TBuildingModel::House, TBuildingType::House, 1000 + b);
        house.Income = static_cast<uint8_t>(b % 4);
        house.OwnerGroup = static_cast<int32_t>(b % 3) - 1;
        house.HasGarrison = static_cast<uint8_t>(b % 2);
        source.Buildings.push_back(house);
        texts(source.BuildingTexts, {"Farmstead " + std::to_string(b), "", "A farm of the vale."});
    }
    for (int32_t a = static_cast<int32_t>(source.Armies.size()) + 1; a <= MapArmyMax; a++) {
        const uint32_t hash = Hash(a, 1, 31);
        TMapArmy band = Army(map, scatterX(hash), scatterZ(hash), TArmyBehavior::Peasant, 1, 2000 + a);
        band.Slots[0] = Slot(7, 1, 0);
        band.Slots[1] = Slot(7, static_cast<uint8_t>(1 + a % 4), 0);
        band.Active = static_cast<uint8_t>(a % 2);
        band.Heading = static_cast<float>(a % 7);
        source.Armies.push_back(band);
        texts(source.ArmyTexts, {"Peasant band " + std::to_string(a), "", "Villagers with pitchforks."});
    }
    for (int32_t p = static_cast<int32_t>(source.Points.size()) + 1; p <= MapPointMax; p++) {
        const uint32_t hash = Hash(p, 2, 32);
        TMapPoint mark = Point(map, scatterX(hash), scatterZ(hash), 0, 3000 + p);
        mark.Radius = static_cast<uint8_t>(p % 5 == 0 ? 3 : 0);
        source.Points.push_back(mark);
        texts(source.PointTexts, {"Waymark " + std::to_string(p)});
    }
    for (int32_t i = static_cast<int32_t>(source.NpcTypes.size()) + 1; i <= NpcTypeMax; i++) {
        source.NpcTypes.push_back(NpcType(7, "Vale villager " + std::to_string(i), "villager_" + std::to_string(i),
                                          5000 + i, TPersNature::People, 1));
        source.NpcBonusLines.push_back("");
        texts(source.NpcTexts, {"Vale villager " + std::to_string(i), "One of the vale's folk."});
    }
    for (int32_t e = static_cast<int32_t>(source.Events.size()) + 1; e <= 300; e++) {
        TEventSource rumour;
        rumour.Record.Uid = 4000 + e;
        rumour.Record.Form = static_cast<uint8_t>(e % 4);
        rumour.Record.SingleCaption = static_cast<uint8_t>(e % 8 == 1);
        rumour.Record.RepeatLimit = e % 3 - 1;
        rumour.Requires = {Rule(0, 1, 0, 0, 0, e - 1, 0, 0), Rule(1, 0, 1, 0, 0, 1, e % 5, 0),
                           Rule(2, 0, 0, 0, 0, e % 30, 0, 0), Rule(8, 1, 0, 0, 0, 5 + e % 240, 1 + e % MapPointMax, 10),
                           Rule(8, 0, 1, 0, 1, 5 + (e + 1) % 240, 1, 50)};
        rumour.Stages = {Stage(static_cast<uint8_t>(e % 2), 0, 50), Stage(0, 1, 50)};
        rumour.Results = {{Rule(0, 0, 0, 0, 0, e, 0, 0)},
                          {Rule(6, 0, 0, 0, 0, 1, 1, 0), Rule(2, 0, 0, 0, 0, 28, 0, 0)}};
        rumour.Title = U("Rumour " + std::to_string(e));
        rumour.Text = U("<p=Trader>Word comes down the vale road (" + std::to_string(e) + ").");
        rumour.StageTexts = {U("It was true."), U("It was not.")};
        rumour.Captions = {U("Listen"), U("Walk away")};
        rumour.Journals = {U("Heard rumour " + std::to_string(e) + "."), U("Ignored a rumour.")};
        AddEvent(source, rumour, 5);
    }
}

// ---------------------------------------------------------------------------
// "Ravenscar Road": the campaign's second scenario, 8-bit texts only.

void BuildRavenscar(TScenarioSource& source, TMap& map)
{
    const TLayout& L = map.L;
    CommonHeader(source, L);
    source.WideTexts = false;
    TMapStory& h = source.Header;
    h.GroupCount = 1;
    source.GroupRows = {100, -100, -100, 100};
    h.Unlisted = 1;
    h.EndEvent = 20;
    h.StartDate = 1 * 1440 + 480;
    h.KeepRecruits = h.KeepCompanions = h.KeepInventory = h.KeepExperience = h.KeepGold = h.KeepFollowers =
        h.KeepPricelessItems = 1;
    h.DaysBetween = 3;
    h.SaveMark = 7002;
    SetHero(h, 1, 300, 1, {Slot(1, 1, 5)});
    SetHero(h, 2, 300, 2, {Slot(2, 1, 5)});
    SetHero(h, 6, 300, 3, {Slot(6, 1, 5)});
    source.Names = {U("Ravenscar Road"),
                    U("North of the keep the road climbs to Coldharbour, where Abbé Rémy waits for news."),
                    U("Company of the Grey Ford"), U("Sable riders")};

    BuildLandscape(map);
    BuildTrees(map, source.Trees, false);

    TMapBuilding keep = Building(map, 335, 330, TBuildingModel::CastleMiddle, TBuildingType::Castle, 111);
    keep.HasTreasury = keep.HasGarrison = keep.HasHire = 1;
    keep.HireSlots[1] = HireSlot(17, 3, 1, 4, 1, 0);
    keep.OwnerGroup = 0;
    keep.HeroStart[1] = keep.HeroStart[2] = keep.HeroStart[6] = 1;
    keep.InfluenceRadius = L.R(30);
    TMapBuilding harbour = Building(map, 180, 280, TBuildingModel::VillageSmall, TBuildingType::Village, 112);
    harbour.Income = 3;
    harbour.HasGarrison = 1;
    source.Buildings = {keep, harbour};
    for (const char* text : {"Ravenscar Keep", "", "Yours now, and draughty.", "Coldharbour", "",
                             "A hamlet under the pass, and the Abbé's chapel."})
        source.BuildingTexts.push_back(U(text));

    TMapArmy riders = Army(map, 200, 230, TArmyBehavior::Bandits, 1, 211);
    riders.Slots[0] = Slot(16, 1, 0);
    riders.Slots[1] = Slot(14, 3, 0);
    riders.SeeksBattles = 1;
    riders.Heading = 1.0f;
    source.Armies = {riders};
    for (const char* text : {"Sable riders", "", "Horsemen in black cloaks who owe Ravenscar's old master."})
        source.ArmyTexts.push_back(U(text));

    source.Points = {Point(map, 330, 320, 1, 311)};
    source.PointTexts = {U("Keep gate")};

    TEventSource welcome;
    welcome.Record.Uid = 411;
    welcome.Requires = {Rule(2, 0, 0, 0, 0, 0, 0, 0)};
    welcome.Stages = {Stage(1, 0, 0)};
    welcome.Results = {{}};
    welcome.Title = U("The road north");
    welcome.Text = U("Three days on, the company rides for Coldharbour.");
    welcome.Journals = {U("Reach Coldharbour and drive off the Sable riders.")};
    AddEvent(source, welcome, 0);
    TEventSource end;
    end.Record.Uid = 412;
    end.Requires = {Rule(4, 0, 0, 0, 0, 1, 0, 0)};
    end.Stages = {Stage(0, 1, 0)};
    end.Results = {{Rule(6, 0, 2, 0, 0, 2, 1, 0)}};
    end.Title = U("The pass is clear");
    end.Text = U("The riders are gone; the Abbé rings the chapel bell.");
    end.Journals = {U("Coldharbour is safe.")};
    AddEvent(source, end, 0);

    // Names that differ from the first scenario's only in letter case.
    source.VariableNames = {"Bandits_Beaten", "keep_taken"};
    source.NpcTypes = {NpcType(17, "Ser Hallan", "SER_HALLAN", 601, TPersNature::People, 4)};
    source.NpcBonusLines = {""};
    source.NpcTexts = {U("Ser Hallan"), U("A landless knight, still with the company.")};
}

// ---------------------------------------------------------------------------
// Writing

void AppendText(std::string& bytes, const std::u16string& text, bool wide, int codePage)
{
    if (!wide) {
        bytes += OS_WideToMultiByte(codePage, text);
        bytes.push_back('\0');
        return;
    }
    const uint32_t length = static_cast<uint32_t>(text.size() * 2);
    for (int i = 0; i < 4; i++)
        bytes.push_back(static_cast<char>((length >> (8 * i)) & 255));
    for (const char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 255));
        bytes.push_back(static_cast<char>(c >> 8));
    }
}

template <typename T> void WriteSection(TDatFile& dat, const char* name, const std::vector<T>& records)
{
    dat.WriteRecords(name, records.data(), static_cast<int32_t>(records.size()), static_cast<int32_t>(sizeof(T)));
}

// A text section as one element of its whole length.
void WriteTextSection(TDatFile& dat, const std::string& name, const std::vector<std::u16string>& texts, bool wide,
                      int codePage)
{
    std::string bytes;
    for (const std::u16string& text : texts)
        AppendText(bytes, text, wide, codePage);
    dat.WriteRecords(name, bytes.data(), 1, static_cast<int32_t>(bytes.size()));
}

// The 8-bit section and, when the scenario has them, its wide twin.
void WriteTexts(TDatFile& dat, const std::string& name, const std::vector<std::u16string>& texts,
                const TScenarioSource& source)
{
    const int codePage = ScenarioCodePage(source.Header.Language);
    WriteTextSection(dat, name, texts, false, codePage);
    if (source.WideTexts)
        WriteTextSection(dat, name + "Wide", texts, true, codePage);
}

} // namespace

TScenarioSource BuildSampleScenario(int32_t size, int part, const std::string& next)
{
    TScenarioSource source;
    TMap map(std::clamp(size, ScenarioSizeMin, ScenarioSizeMax));
    if (part == 2)
        BuildRavenscar(source, map);
    else
        BuildGreywater(source, map, part, next);
    source.Cells = std::move(map.Cells);
    return source;
}

bool WriteScenarioFile(const TScenarioSource& source, const std::string& file)
{
    TDatFile dat;
    dat.Init();
    dat.WriteRecords("MapStory", &source.Header, 1, sizeof(TMapStory));
    if (source.Header.GroupCount > 0)
        dat.WriteRecords("MapGroup", source.GroupRows.data(), source.Header.GroupCount + 1,
                         4 * (source.Header.GroupCount + 1));
    dat.WriteRecords("MapInit", &source.Init, 1, sizeof(TMapInit));
    WriteSection(dat, "MapLandscape", source.Cells);
    WriteSection(dat, "MapTree", source.Trees);
    WriteSection(dat, "MapBuilding", source.Buildings);
    WriteSection(dat, "MapObject", source.Objects);
    WriteSection(dat, "MapArmy", source.Armies);
    WriteSection(dat, "MapPoint", source.Points);
    WriteSection(dat, "MapStoryEvent", source.Events);
    WriteSection(dat, "MapStoryRequire", source.Requires);
    WriteSection(dat, "MapStorySelect", source.Stages);
    WriteSection(dat, "MapStoryResult", source.Results);
    WriteSection(dat, "MapSounds", source.Sounds);
    std::string variables;
    for (const std::string& name : source.VariableNames)
        variables += name + '\0';
    dat.WriteRecords("MapStoryEventVar", variables.data(), 1, static_cast<int32_t>(variables.size()));
    WriteSection(dat, "MapNpcPeople", source.NpcTypes);
    std::string bonusLines;
    for (const std::string& line : source.NpcBonusLines)
        bonusLines += line + "\r\n";
    dat.WriteRecords("MapNpcPeopleBonus", bonusLines.data(), 1, static_cast<int32_t>(bonusLines.size()));
    // The names' wide twin comes first: the loader decides the scenario's
    // text mode by its first string.
    if (source.WideTexts)
        WriteTextSection(dat, "MapNamesWide", source.Names, true, 0);
    WriteTextSection(dat, "MapNames", source.Names, false, ScenarioCodePage(source.Header.Language));
    WriteTexts(dat, "MapBuildingText", source.BuildingTexts, source);
    WriteTexts(dat, "MapPointText", source.PointTexts, source);
    WriteTexts(dat, "MapArmyText", source.ArmyTexts, source);
    WriteTexts(dat, "MapStoryEventText", source.EventTexts, source);
    WriteTexts(dat, "MapNpcPeopleText", source.NpcTexts, source);
    return dat.Save(48, file);
}

void ApplyScenarioHeaderOptions(TScenarioSource& source, const TScenarioHeaderOptions& options)
{
    TMapStory& h = source.Header;
    if (!options.Heroes.empty()) {
        for (int k = 1; k <= 6; k++)
            h.HeroAvailable[k] = 0;
        for (int32_t kind : options.Heroes)
            if (kind >= 1 && kind <= 6)
                h.HeroAvailable[kind] = 1;
    }
    if (options.Mask >= 0)
        h.ListGroup = static_cast<uint8_t>(options.Mask);
    if (options.NotReady)
        h.NotReady = 1;
    if (options.Personalization)
        h.ListFlag = 1;
    if (options.Tutorial)
        h.Tutorial = 1;
    if (!options.Name.empty() && !source.Names.empty())
        source.Names[0] = options.Name;
    if (!options.Description.empty() && source.Names.size() > 1)
        source.Names[1] = options.Description;
}

bool ParseHeroList(const std::string& text, std::vector<int32_t>& kinds)
{
    kinds.clear();
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        const std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (name == "knight")
            kinds.push_back(1);
        else if (name == "mystic")
            kinds.push_back(2);
        else if (name == "baroness")
            kinds.push_back(6);
        else
            return false;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return !kinds.empty();
}

bool MakeScenario(const std::string& file, int32_t size, bool campaign, std::string& error,
                  const TScenarioHeaderOptions& header)
{
    const std::string path = OS_ToProgramPath(file);
    const std::string second = ExtractBaseName(path) + "2";
    TScenarioSource first = BuildSampleScenario(size, campaign ? 1 : 0, second);
    ApplyScenarioHeaderOptions(first, header);
    if (!WriteScenarioFile(first, path)) {
        error = "can't write " + file;
        return false;
    }
    if (!campaign)
        return true;
    const std::string name = ExtractNameStr(path);
    const size_t dot = name.rfind('.');
    const std::string secondFile = ExtractPathStr(path) + second + (dot == std::string::npos ? "" : name.substr(dot));
    if (!WriteScenarioFile(BuildSampleScenario(size, 2, ""), secondFile)) {
        error = "can't write " + secondFile;
        return false;
    }
    return true;
}

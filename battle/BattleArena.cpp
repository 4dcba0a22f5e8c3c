#include "battle/BattleArena.h"

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "engine/QX9_PathFinder.h"
#include "model/tables/BuildingType.h"
#include "model/FixedPoint.h"
#include "model/tables/Global.h"
#include "model/scenario/ScenarioMap_Tables.h"

const char* const ArenaTagNames[ArenaTagCount] = {"Road",  "Town",  "Castle", "Village", "Mill",   "House",
                                                  "Tavern", "Ruins", "RuinC",  "RuinT",   "Church", "Bridge",
                                                  "Kogg",  "Galere", "Island", "Forest"};

const char* const ArenaSceneNames[ArenaKindCount + 1] = {
    "",       "Plain",      "PlainTown", "PlainVillage", "PlainWild", "Castle", "Tower", "Ruins",
    "PineForest", "Forest", "Swamp",     "Forest",       "Lake",      "Lake",   "Lake",  "Ruins"};

namespace {

constexpr int32_t EdgeMargin = 10;
constexpr int32_t Window = 16;
constexpr int32_t NearLimit = 6;    // below: near
constexpr int32_t MiddleLimit = 10; // up to: middle
constexpr int32_t TownRange = 64;
constexpr int32_t TagRange = 32;

// The counters of one group of movement classes.
struct TArenaCount {
    int32_t Total = 0;
    int32_t Near = 0;
    int32_t Middle = 0;
};

enum TGroup { gW, gS, gP, gG, gF9, gPF, gFO, GroupCount };

// The group of movement classes 1..13; -1 for 5 and 6, which count only
// into the total of all cells.
int GroupOf(uint8_t m)
{
    switch (m) {
    case 1:
    case 2:
        return gW;
    case 3:
    case 4:
        return gS;
    case 7:
        return gP;
    case 8:
        return gG;
    case 9:
        return gF9;
    case 10:
    case 12:
        return gPF;
    case 11:
    case 13:
        return gFO;
    default:
        return -1;
    }
}

void CountArenaCell(TArenaCount& count, int32_t d)
{
    ++count.Total;
    if (d < NearLimit)
        ++count.Near;
    else if (d <= MiddleLimit)
        ++count.Middle;
}

const TTerrainVertex* VertexAt(int32_t x, int32_t z)
{
    if (x < 0 || z < 0 || x >= MapGridSide || z >= MapGridSide || TerrainVertices.empty())
        return nullptr;
    return &TerrainVertex(x, z);
}

int32_t BuildingAtCell(int32_t x, int32_t z)
{
    const TTerrainVertex* v = VertexAt(x, z);
    const int32_t b = v != nullptr ? v->Cover : 0;
    return b >= 1 && b <= MapBuildings.Count && b <= MapBuildingMax ? b : 0;
}

uint8_t TypeOf(int32_t b)
{
    return MapBuildings[b].BuildingType;
}

bool Is(uint8_t type, TBuildingType t)
{
    return type == static_cast<uint8_t>(t);
}

bool ModelIn(int32_t model, std::initializer_list<TBuildingModel> models)
{
    return std::any_of(models.begin(), models.end(), [&](TBuildingModel m) { return static_cast<int32_t>(m) == model; });
}

int64_t Round(long double v)
{
    return RoundHalfEven(v);
}

int32_t ClampMapCoord(int32_t v)
{
    return std::clamp(v, 0, std::min<int32_t>(MapInit.MapSizeMinus1, MapGridSide - 1));
}

void SetTag(TArenaChoice& choice, TArenaTag tag)
{
    choice.ArenaTags = static_cast<uint16_t>(choice.ArenaTags | (1u << tag));
}

void AddBuildingTags(TArenaChoice& choice, int32_t x, int32_t z)
{
    const uint8_t k = choice.ArenaKind;
    const bool plains = k >= 1 && k <= 4;
    for (int32_t b = 1; b <= MapBuildings.Count && b <= MapBuildingMax; ++b) {
        const TMapCellXZ cell = MapBuildings[b].Cell;
        if (PF_Heuristic(x, z, cell.X, cell.Z) >= TagRange)
            continue;
        switch (static_cast<TBuildingType>(TypeOf(b))) {
        case TBuildingType::Castle:
        case TBuildingType::Fort:
        case TBuildingType::Monastery:
            if (plains)
                SetTag(choice, atCastle);
            break;
        case TBuildingType::Church:
        case TBuildingType::Chapel:
            if (plains)
                SetTag(choice, atChurch);
            break;
        case TBuildingType::Village:
            if (k == 1 || k == 2 || k == 4 || k == 12)
                SetTag(choice, atVillage);
            break;
        case TBuildingType::Farm:
            if (plains || k == 12)
                SetTag(choice, atMill);
            break;
        case TBuildingType::Tavern:
            if (k == 1 || k == 3 || k == 4)
                SetTag(choice, atTavern);
            break;
        case TBuildingType::House:
            if (k == 10)
                SetTag(choice, atHouse);
            break;
        case TBuildingType::Port:
            if (k == 10)
                SetTag(choice, (cell.Z & 1) != 0 ? atKogg : atGalere);
            break;
        case TBuildingType::Ruin:
            if (plains)
                SetTag(choice, atRuins);
            break;
        case TBuildingType::Bridge:
            if (k == 12) {
                SetTag(choice, atBridge);
                SetTag(choice, atIsland);
            }
            break;
        default:
            break;
        }
    }
}

} // namespace

TArenaChoice ChooseBattleArena(int32_t x, int32_t z)
{
    TArenaChoice choice{0, 0};
    const int32_t last = MapInit.MapSizeMinus1;
    if (x <= EdgeMargin || z <= EdgeMargin || x >= last - EdgeMargin || z >= last - EdgeMargin)
        return choice;

    TArenaCount groups[GroupCount];
    int32_t all = 0;
    for (int32_t cz = ClampMapCoord(z - Window); cz <= ClampMapCoord(z + Window); ++cz)
        for (int32_t cx = ClampMapCoord(x - Window); cx <= ClampMapCoord(x + Window); ++cx) {
            const int32_t d = PF_Heuristic(x, z, cx, cz);
            const TTerrainVertex* v = VertexAt(cx, cz);
            if (d > Window || v == nullptr || v->GroundClass < 1 || v->GroundClass > 13)
                continue;
            ++all;
            const int group = GroupOf(v->GroundClass);
            if (group >= 0)
                CountArenaCell(groups[group], d);
        }

    const int32_t b = BuildingAtCell(x, z);
    const int32_t model = b > 0 ? MapBuildings[b].Model : 0;
    const TTerrainVertex* origin = VertexAt(x, z);
    const uint8_t o = origin != nullptr ? origin->GroundClass : 0;
    const auto byModel = [&](std::initializer_list<TBuildingModel> models) -> int64_t {
        return b > 0 && ModelIn(model, models) ? 4 * static_cast<int64_t>(all) : 0;
    };
    using M = TBuildingModel;
    const TArenaCount& P = groups[gP];
    const TArenaCount& W = groups[gW];
    int64_t scores[ArenaKindCount + 1] = {};
    scores[1] = Round(1.3L * P.Total + 4.0L * P.Near + 2.0L * P.Middle);
    scores[3] = byModel({M::VillageMiddle, M::VillageSmall, M::RuinVillageAbandonedMiddle, M::RuinVillageAbandonedSmall});
    scores[4] = groups[gG].Total;
    scores[5] = byModel({M::CastleBig, M::CastleMiddle, M::CastleSmall, M::Fort, M::Cathedral});
    scores[6] = byModel({M::Monastery, M::Bridge});
    scores[7] = byModel({M::RuinCastleMiddle, M::RuinTower, M::RuinChurch, M::RuinVillageAbandonedBig,
                         M::RuinVillageRuinedMiddle, M::RuinVillageRuinedSmall, M::Cementry});
    scores[8] = o == 10 || o == 12 ? 3 * static_cast<int64_t>(groups[gPF].Total) : Round(1.5L * groups[gPF].Total);
    scores[9] = o == 11 || o == 13 ? 3 * static_cast<int64_t>(groups[gFO].Total) : Round(1.5L * groups[gFO].Total);
    scores[10] = Round(1.5L * groups[gS].Total);
    scores[11] = Round(1.5L * groups[gF9].Total);
    scores[12] = Round(1.5L * W.Total + 10.0L * W.Near + 5.0L * W.Middle);
    scores[13] = byModel({M::Object});

    // Selection by score, highest first; the first of equals is taken.
    int32_t order[ArenaKindCount + 1];
    for (int32_t k = 1; k <= ArenaKindCount; ++k)
        order[k] = k;
    for (int32_t j = 1; j < ArenaKindCount; ++j) {
        int32_t best = j;
        for (int32_t i = j + 1; i <= ArenaKindCount; ++i)
            if (scores[order[i]] > scores[order[best]])
                best = i;
        std::swap(order[j], order[best]);
    }
    for (int32_t j = 1; j <= ArenaKindCount && choice.ArenaKind == 0; ++j)
        if ((ArenaKindSet & (1u << order[j])) != 0)
            choice.ArenaKind = static_cast<uint8_t>(order[j]);

    if (choice.ArenaKind == 1 || choice.ArenaKind == 4) {
        for (int32_t n = 1; n <= MapBuildings.Count && n <= MapBuildingMax; ++n) {
            const TMapCellXZ cell = MapBuildings[n].Cell;
            if (Is(TypeOf(n), TBuildingType::Town) && PF_Heuristic(x, z, cell.X, cell.Z) < TownRange)
                choice.ArenaKind = 2;
        }
        for (int32_t dz = -3; dz <= 3; ++dz)
            for (int32_t dx = -3; dx <= 3; ++dx) {
                if (std::max(std::abs(dx), std::abs(dz)) != 3)
                    continue;
                const int32_t n = BuildingAtCell(x + 2 * dx, z + 2 * dz);
                if (n > 0 && (Is(TypeOf(n), TBuildingType::Village) || Is(TypeOf(n), TBuildingType::Farm)))
                    choice.ArenaKind = 3;
            }
    }
    if (choice.ArenaKind == 1 || choice.ArenaKind == 4)
        for (int32_t dz = -3; dz <= 3; ++dz)
            for (int32_t dx = -3; dx <= 3; ++dx) {
                const TTerrainVertex* v = std::max(std::abs(dx), std::abs(dz)) == 3 ? VertexAt(x + dx, z + dz) : nullptr;
                if (v != nullptr && (v->GroundClass == 5 || v->GroundClass == 6))
                    SetTag(choice, atRoad);
            }
    AddBuildingTags(choice, x, z);
    return choice;
}

uint8_t GetBattleLightVariant(uint8_t base, int64_t clock)
{
    int64_t h = clock / 10000 / 60 % 24;
    if (h < 0)
        h += 24;
    if (h <= 5 || h >= 21)
        return static_cast<uint8_t>(base + 7);
    if (h <= 8)
        return static_cast<uint8_t>(base + 10);
    if (h <= 17)
        return static_cast<uint8_t>(base + 1);
    return static_cast<uint8_t>(base + 4);
}

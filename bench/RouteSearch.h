// The search of a route planning taken apart for the bare path finder: the
// seeds the planning gave the army's tracker and its danger zones (from the
// cached scores), run again on the tracker alone. The difference between the
// two is the planning's own work.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Targets.h"
#include "model/ai/AIMain_Walking.h"
#include "model/world/World_Access.h"

struct TRouteSearch {
    std::vector<TPF_Seed> Seeds;
    std::vector<std::array<int32_t, 3>> Penalties; // cell, radius, step
};

// After AI_PlanRoute (a): its seeds, and its danger zones from the scores
// the planning cached.
inline TRouteSearch CaptureRouteSearch(int32_t a)
{
    TRouteSearch s;
    TPF_Tracker& t = ArmyTrackers[static_cast<size_t>(a)];
    for (int32_t i = 0; i < t.SeedCount; ++i)
        s.Seeds.push_back(t.Seeds[i]);
    // The player's army plans to its ordered cell alone.
    if (a == PlayerArmy)
        return s;
    const TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    MeasureArmyDistances(a);
    for (int32_t i = FirstArmy; i <= ArmyCount; ++i) {
        const int32_t d = ArmyDistances[static_cast<size_t>(i)];
        if (d < 1 || army.Behavior >= ArmyBehaviorCount || d > DetectionRanges[army.Behavior])
            continue;
        const int32_t v = AI_Army_TargetToArmy(a, i);
        const TCellXZ cell = GameArmies[static_cast<size_t>(i)].Cell;
        if (v < 0)
            s.Penalties.push_back({PF_PackCell(cell.X, cell.Z), -v, 4});
    }
    for (int32_t b = 1; b <= LastWorldBuilding(); ++b) {
        const int32_t cell = BuildingCell(b);
        if (!IsPointInZones(a, cell))
            continue;
        const int32_t v = AI_Army_TargetToBuilding(a, b);
        if (v < 0)
            s.Penalties.push_back({cell, -v, 4});
    }
    return s;
}

// The same search on the army's tracker alone.
inline void RunBareSearch(int32_t a, const TRouteSearch& s)
{
    TPF_Tracker& t = ArmyTrackers[static_cast<size_t>(a)];
    const TCellXZ at = GameArmies[static_cast<size_t>(a)].Cell;
    const int32_t cell = PF_PackCell(at.X, at.Z);
    t.ClearSeeds();
    t.ResetCosts();
    // The army's own cell, when closed, is open in its search, as in the planning.
    t.OpenCell = GetPathCost(cell) == 0 ? cell : -1;
    t.OpenFactor = 1;
    for (const TPF_Seed& seed : s.Seeds)
        t.AddSeed(PF_PackCell(seed.X + PathGridBorder, seed.Y + PathGridBorder), seed.Cost - 1);
    for (const auto& p : s.Penalties)
        t.AddPenalty(p[0], p[1], p[2]);
    if (t.Calc(cell, true))
        t.GetPath(cell, true);
    t.OpenCell = -1;
}

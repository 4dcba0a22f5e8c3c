#include "model/ai/AIMain_Walking.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Movement.h"
#include "model/ai/AIMain_Planning.h"
#include "model/ai/AIMain_Random.h"
#include "model/ai/AIMain_Strategy.h"
#include "model/ai/AIMain_Targets.h"
#include "model/world/Army_Formation.h"
#include "model/FixedPoint.h"
#include "model/tables/Global_Texts.h"
#include "model/personage/Personage_Rules.h"
#include "model/SceneHooks.h"
#include "model/Support.h"
#include "model/world/World_Access.h"
#include "model/world/World_Economy.h"
#include "model/world/World_Log.h"

uint8_t ApproachCheck = 0;
TReplanQueue ReplanQueue;
TIntArray ReplanLists[2] = {TIntArray{0}, TIntArray{0}};
TIntArray ArmyDistances;
int32_t ArmyDistanceMin = NoArmyDistance;
std::vector<TArmyTurn> ArmyTurns;

namespace {

constexpr long double TurnThreshold = 2618;     // 15 degrees, x 10000
constexpr long double TurnMsPerRadian = 159.2L; // shown turning speed
constexpr long double Pi = 31415.93L;           // x 10000
constexpr long double TwoPi = 62831.85L;        // x 10000
constexpr long double OdometerFactor = 190;
constexpr int32_t PatrolAttempts = 1000;

// The per-army tables follow the army count: the world set-up sizes them,
// and a table found shorter is grown here.
void EnsureArmyMovement()
{
    const size_t n = static_cast<size_t>(std::max(ArmyCount, 0) + 1);
    if (ReplanQueue.Priority.size() < n)
        ReplanQueue.Priority.resize(n, 0);
    if (ArmyDistances.size() < n)
        ArmyDistances.resize(n, 0);
    if (ArmyTurns.size() < n)
        ArmyTurns.resize(n);
}

bool IsMapArmy(int32_t a)
{
    return a >= 0 && a <= ArmyCount && FindArmy(a) != nullptr;
}

TPF_Tracker* TrackerOf(int32_t a)
{
    return a >= 0 && static_cast<size_t>(a) < ArmyTrackers.size() ? &ArmyTrackers[static_cast<size_t>(a)] : nullptr;
}

void ResetPathAtCell(int32_t a)
{
    if (TPF_Tracker* tracker = TrackerOf(a))
        tracker->ResetPath(CellOfArmy(GameArmies[static_cast<size_t>(a)]));
}

const TMapArmy* ScenarioArmyOf(int32_t a)
{
    return a >= 1 && a <= MapArmies.Count && a <= MapArmyMax ? &MapArmies[a] : nullptr;
}

int32_t FieldWait(const TGameArmy& army)
{
    return AIProfiles.InRange(army.Profile) ? AIProfiles[army.Profile].TimeWaitInField : 0;
}

// The engine clock in ms x 10000; headless runs drive it through GameTimeSource.
int64_t EngineClockFx()
{
    const int32_t ms = GameTimeSource != nullptr ? GameTimeSource(false) : GetTimeMs(false);
    return static_cast<int64_t>(ms) * MinuteFx;
}

// The waypoint the army heads for, false without one.
bool CurrentPoint(const TPF_Tracker& tracker, long double& x, long double& z)
{
    const int32_t i = tracker.WaypointIndex;
    if (i < 0 || static_cast<size_t>(i) >= tracker.Waypoints.size())
        return false;
    x = tracker.Waypoints[static_cast<size_t>(i)].X;
    z = tracker.Waypoints[static_cast<size_t>(i)].Y;
    return true;
}

long double PointCost(long double x, long double z)
{
    const int16_t cost = GetPathCost(PF_PackCell(static_cast<int32_t>(x), static_cast<int32_t>(z)));
    return cost != 0 ? cost : 4;
}

// At the end of a route or without one: ask for the next route, new patrol
// points and, when the army waits at its route's end, a wait.
void RouteEnded(int32_t a, TGameArmy& army, int32_t priority)
{
    RequestReplan(a, army.OrderKind == 6 ? 5 : priority);
    ChoosePatrolPoints(a);
    if (army.WaitAtRouteEnd != 0 && army.OrderKind == 0)
        SetArmyWait(a, 1, FieldWait(army));
}

void OrderDone(TGameArmy& army)
{
    army.OrderKind = 0;
    army.OrderTarget = 0;
}

// Arrival at the target of an order after a cell step.
void CheckOrderArrival(int32_t a, TGameArmy& army)
{
    const int32_t cell = CellOfArmy(army);
    switch (army.OrderKind) {
    case 4:
    case 6: {
        bool arrived = false;
        if (army.OrderKind == 4) {
            arrived = IsWorldBuilding(army.OrderTarget) &&
                      GetCellDistance(cell, BuildingCell(army.OrderTarget)) <= OrderArrivalRange &&
                      army.Building == army.OrderTarget;
        } else if (const TGameArmy* t = IsMapArmy(army.OrderTarget) ? FindArmy(army.OrderTarget) : nullptr) {
            arrived = GetCellDistance(cell, CellOfArmy(*t)) <= OrderArrivalRange && t->Building == army.Building;
        }
        if (arrived) {
            OrderDone(army);
            ResetPathAtCell(a);
            RequestReplan(a, 1);
            UpdateStationary(a);
        }
        break;
    }
    case 7:
        if (army.OrderTarget >= 1 && army.OrderTarget <= MapPoints.Count && army.OrderTarget <= MapPointMax) {
            const TMapCellXZ p = MapPoints[army.OrderTarget].Cell;
            if (GetCellDistance(cell, PF_PackCell(static_cast<uint16_t>(p.X), static_cast<uint16_t>(p.Z))) <=
                OrderArrivalRange) {
                OrderDone(army);
                RequestReplan(a, 1);
                if (army.WaitAtRouteEnd != 0)
                    SetArmyWait(a, 1, FieldWait(army));
                UpdateStationary(a);
            }
        }
        break;
    default:
        break;
    }
}

// The army's cell step: building entry, the visit clock, orders, the player's discoveries.
void StepIntoCell(int32_t a, TGameArmy& army, int32_t newCell)
{
    army.Cell = TCellXZ{static_cast<uint16_t>(CellX(newCell)), static_cast<uint16_t>(CellZ(newCell))};
    if (TPF_Tracker* tracker = TrackerOf(a))
        ++tracker->StepCount;
    if (a != PlayerArmy) {
        if (army.ReplanCountdown < 1)
            RequestReplan(a, 1);
        else
            --army.ReplanCountdown;
    }
    if (const TTerrainVertex* v = FindTerrainVertex(newCell); v != nullptr && v->Cost != 0) {
        const bool entered = army.Building != v->Cover;
        army.EnteredBuilding = entered ? 1 : 0;
        army.EnteredThisFrame = army.EnteredBuilding;
        if (entered) {
            army.Building = BuildingOfCover(v->Cover);
            if (army.Building > 0 && static_cast<size_t>(a) < ArmyTargets.size() &&
                static_cast<size_t>(army.Building) < ArmyTargets[static_cast<size_t>(a)].size())
                ArmyTargets[static_cast<size_t>(a)][static_cast<size_t>(army.Building)].LastVisit = GameClock;
        }
    }
    CheckOrderArrival(a, army);
    if (a == PlayerArmy) {
        for (int32_t b = 1; b <= LastWorldBuilding(); ++b) {
            TGameBuilding& building = GameBuildings[static_cast<size_t>(b)];
            if (building.Undiscovered != 0 && GetCellDistance(newCell, BuildingCell(b)) <= DetectionRange)
                building.Undiscovered = 0;
        }
        LastPlayerStepClock = GameClock;
    }
}

// Another army closing in on a walking army near the player asks it to plan anew.
void DetectApproach(int32_t a, const TGameArmy& army)
{
    const long double ax = army.Pos[0], az = army.Pos[2];
    const long double ah = static_cast<long double>(army.Heading) / MinuteFx;
    for (int32_t v = FirstArmy; v <= ArmyCount; ++v) {
        const int32_t d = ArmyDistances[static_cast<size_t>(v)];
        if (d < 1 || d > ApproachRange)
            continue;
        const TGameArmy& other = GameArmies[static_cast<size_t>(v)];
        const long double vx = other.Pos[0], vz = other.Pos[2];
        const long double h = std::hypot(vx - ax, vz - az) / 2;
        const long double px = ax + h * std::cos(ah), pz = az + h * std::sin(ah);
        long double predicted = h / 2;
        if (ArmyHasPath(v)) {
            const long double vh = static_cast<long double>(other.Heading) / MinuteFx;
            predicted = std::hypot(vx + h * std::cos(vh) - px, vz + h * std::sin(vh) - pz);
        }
        if (h <= predicted)
            continue;
        if (d <= ApproachUrgent)
            RequestReplan(a, 5);
        else if (d >= ApproachRange - 1)
            RequestReplan(a, 4);
    }
}

// The hire value of a building: its stock weighted by the unit types' strength.
int64_t HireValue(int32_t b)
{
    int64_t value = 0;
    const TGameBuilding& building = GameBuildings[static_cast<size_t>(b)];
    for (int32_t s = 1; s <= 9; ++s) {
        const THireSlot& slot = building.HireSlots[s];
        if (slot.UnitType < 0)
            continue;
        if (const TPersonage* type = FindUnitType(slot.UnitType))
            value += static_cast<int64_t>(slot.Stock) * type->Strength;
    }
    return value;
}

// The building a beaten army comes back to, 0 when none qualifies.
int32_t ChooseRespawnBuilding(int32_t a, const TGameArmy& army, const TIntArray& list)
{
    const int32_t count = std::min<int32_t>(list.at(0), static_cast<int32_t>(list.size()) - 1);
    auto building = [&](int32_t i) {
        const int32_t b = list.at(static_cast<size_t>(i));
        if (!IsWorldBuilding(b))
            throw std::out_of_range("home building " + std::to_string(b));
        return b;
    };
    // The first building of the list with the largest value above start;
    // a building without a value does not qualify.
    auto largest = [&](int64_t start, auto valueOf) {
        int32_t best = 0;
        for (int32_t i = 1; i <= count; ++i) {
            const int32_t b = building(i);
            if (const std::optional<int64_t> value = valueOf(b); value && *value > start) {
                start = *value;
                best = b;
            }
        }
        return best;
    };
    int32_t best = 0;
    if (army.RespawnAtOwn != 0)
        best = largest(-1, [&](int32_t b) -> std::optional<int64_t> {
            const int32_t owner = GameBuildings[static_cast<size_t>(b)].OwnerArmy;
            const TGameArmy* lord = IsMapArmy(owner) ? FindArmy(owner) : nullptr;
            if (owner != a && (lord == nullptr || lord->LordArmy != a))
                return std::nullopt;
            const TGameArmy* garrison = FindArmy(GetGarrisonArmyIndex(b));
            return garrison != nullptr ? garrison->Strength : 0;
        });
    if (best == 0 && army.RespawnAtGroup != 0)
        best = largest(0, [&](int32_t b) -> std::optional<int64_t> {
            if (GameBuildings[static_cast<size_t>(b)].OwnerGroup != army.Group)
                return std::nullopt;
            return HireValue(b);
        });
    if (best == 0 && army.RespawnAtFriend != 0)
        best = largest(0, [&](int32_t b) -> std::optional<int64_t> {
            if (GetRelation(a, -b, false) < 0)
                return std::nullopt;
            return HireValue(b) / (GetCellDistance(CellOfArmy(army), BuildingCell(b)) + 1);
        });
    return best;
}

} // namespace

int32_t CellOfArmy(const TGameArmy& army)
{
    return PF_PackCell(army.Cell.X, army.Cell.Z);
}

void ResetArmyMovement()
{
    const size_t n = static_cast<size_t>(std::max(ArmyCount, 0) + 1);
    ReplanQueue.Priority.assign(n, 0);
    ReplanQueue.Queued = 0;
    ReplanLists[0] = TIntArray{0};
    ReplanLists[1] = TIntArray{0};
    ArmyDistances.assign(n, 0);
    ArmyDistanceMin = NoArmyDistance;
    ArmyTurns.assign(n, TArmyTurn{});
}

TTerrainVertex* FindTerrainVertex(int32_t cell)
{
    const int32_t x = CellX(cell), z = CellZ(cell);
    if (x >= MapGridSide || z >= MapGridSide || TerrainVertices.empty())
        return nullptr;
    return &TerrainVertex(x, z);
}

int32_t BuildingOfCover(int32_t building)
{
    if (building > 0 && building <= MapBuildings.Count && building <= MapBuildingMax &&
        MapBuildings[building].Model == static_cast<int32_t>(TBuildingModel::Bridge))
        return 0;
    return building;
}

bool ArmyHasPath(int32_t army)
{
    const TPF_Tracker* tracker = TrackerOf(army);
    return tracker != nullptr && tracker->WaypointCount >= 1 && tracker->WaypointIndex >= 1;
}

bool UpdateStationary(int32_t a)
{
    TGameArmy* army = FindArmy(a);
    if (army == nullptr)
        return false;
    if (a != PlayerArmy && army->ZoneCount == 0 && army->OrderKind == 0)
        army->Stationary = 1;
    else
        army->Stationary = (army->ZoneCount == 1 && army->Zones[1].Radius == 0) ? 1 : 0;
    return army->Stationary != 0;
}

void RequestReplan(int32_t a, int32_t priority)
{
    if (!IsMapArmy(a))
        return;
    const TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    if (a != PlayerArmy && army.ZoneCount == 0 && army.OrderKind == 0)
        return;
    if (army.ZoneCount == 1 && army.Zones[1].Radius == 0)
        return;
    EnsureArmyMovement();
    uint8_t& queued = ReplanQueue.Priority[static_cast<size_t>(a)];
    if (queued < priority) {
        if (queued == 0)
            ++ReplanQueue.Queued;
        queued = static_cast<uint8_t>(std::min(priority, 5));
    }
}

void CancelReplan(int32_t a)
{
    if (a < 0 || static_cast<size_t>(a) >= ReplanQueue.Priority.size())
        return;
    uint8_t& queued = ReplanQueue.Priority[static_cast<size_t>(a)];
    if (queued != 0) {
        queued = 0;
        --ReplanQueue.Queued;
    }
}

bool AI_ProcessReplans()
{
    EnsureArmyMovement();
    ReplanLists[0] = TIntArray{0};
    ReplanLists[1] = TIntArray{0};
    const int32_t quota = (ArmyCount + 1) / ReplanStep;
    int32_t served = 0;
    int next = 0;
    for (int32_t p = 5; p >= 1; --p)
        for (int32_t k = std::max(FirstArmy, 0); k <= ArmyCount; ++k) {
            uint8_t& queued = ReplanQueue.Priority[static_cast<size_t>(k)];
            if (queued != p || GameArmies[static_cast<size_t>(k)].WaitUntil > GameClock)
                continue;
            if (p == 5 || served < quota + 1) {
                TIntArray& list = ReplanLists[next];
                list.push_back(k);
                ++list[0];
                next ^= 1;
                queued = 0;
                --ReplanQueue.Queued;
                ++served;
            } else {
                queued = static_cast<uint8_t>(p + 1);
            }
        }
    bool player = false;
    const bool sideBySide = PlanningThreads() > 1;
    TRouteBatch batch;
    for (const TIntArray& list : ReplanLists)
        for (size_t i = 1; i < list.size(); ++i) {
            if (sideBySide)
                batch.Add(list[i]);
            else
                AI_PlanRoute(list[i]);
            player = player || list[i] == PlayerArmy;
        }
    batch.Run();
    return player;
}

void StartPathStep(int32_t a, bool advance)
{
    TGameArmy* army = FindArmy(a);
    TPF_Tracker* tracker = TrackerOf(a);
    if (army == nullptr || tracker == nullptr)
        return;
    if (advance) {
        ++tracker->WaypointIndex;
    } else {
        tracker->WaypointIndex = 1;
        army->ReplanCountdown = static_cast<uint8_t>(army->OrderKind == 6 ? ReplanStep / 2 : ReplanStep);
    }
    long double px = 0, pz = 0;
    if (!CurrentPoint(*tracker, px, pz))
        return;
    const long double dx = RoundHalfEven((px - army->Pos[0]) * MinuteFx) / static_cast<long double>(MinuteFx);
    const long double dz = RoundHalfEven((pz - army->Pos[2]) * MinuteFx) / static_cast<long double>(MinuteFx);
    army->Heading = RoundHalfEven(std::atan2(dz, dx) * MinuteFx);
    long double turn = static_cast<long double>(army->Heading - army->ShownHeading);
    if (turn > Pi)
        turn -= TwoPi * std::ceil((turn - Pi) / TwoPi);
    if (turn < -Pi)
        turn += TwoPi * std::ceil((-Pi - turn) / TwoPi);
    EnsureArmyMovement();
    TArmyTurn& t = ArmyTurns[static_cast<size_t>(a)];
    if (std::fabs(turn) <= TurnThreshold) {
        army->ShownHeading = army->Heading;
        t.Turning = 0;
        return;
    }
    t.Turning = 1;
    t.Angle = RoundHalfEven(turn);
    t.Start = EngineClockFx();
    t.End = t.Start + RoundHalfEven(std::fabs(turn) / MinuteFx * TurnMsPerRadian) * MinuteFx;
}

void SetArmyWait(int32_t a, uint8_t kind, int32_t minutes)
{
    TGameArmy* army = FindArmy(a);
    if (army == nullptr)
        return;
    if (kind > 0) {
        army->WaitUntil = GameClock + static_cast<int64_t>(minutes) * MinuteFx;
        army->WaitKind = kind;
        ResetPathAtCell(a);
        army->RouteDone = 0;
    } else {
        army->WaitKind = 0;
        army->WaitUntil = 0;
    }
}

bool IsPointInZones(int32_t a, int32_t cell)
{
    const TGameArmy* army = FindArmy(a);
    if (army == nullptr)
        return false;
    const int32_t x = CellX(cell), z = CellZ(cell);
    if (!(x > PathGridBorder && x < PlayableLimit && z > PathGridBorder && z < PlayableLimit))
        return false;
    const int32_t zones = std::min<int32_t>(army->ZoneCount, 4);
    for (int32_t i = 1; i <= zones; ++i) {
        const TArmyZone zone = army->Zones[i];
        if (GetCellDistance(cell, zone.Cell) <= zone.Radius) {
            const TTerrainVertex* v = FindTerrainVertex(cell);
            if (v != nullptr && v->GroundClass != 1 && v->GroundClass != 2)
                return true;
        }
        if (zone.Kind != 2 || i < 2)
            continue;
        const TArmyZone from = army->Zones[i - 1];
        const long double length = GetCellDistance(from.Cell, zone.Cell);
        if (length <= 0)
            continue;
        const long double fx = CellX(from.Cell), fz = CellZ(from.Cell);
        const long double tx = (CellX(zone.Cell) - fx) / length;
        const long double tz = (CellZ(zone.Cell) - fz) / length;
        const long double v = tx * (x - fx) + tz * (z - fz);
        if (v <= 0 || v >= length)
            continue;
        const int32_t nearest = PF_PackCell(static_cast<int32_t>(RoundHalfEven(fx + tx * v)),
                                            static_cast<int32_t>(RoundHalfEven(fz + tz * v)));
        if (GetCellDistance(cell, nearest) < std::fabs(v) * (zone.Radius - from.Radius) / length + from.Radius)
            return true;
    }
    return false;
}

void ChoosePatrolPoints(int32_t a)
{
    TGameArmy* army = FindArmy(a);
    if (army == nullptr)
        return;
    const int32_t zones = std::min<int32_t>(army->ZoneCount, 4);
    if (zones == 0) {
        const int32_t span = std::max(MapInit.MapSizeMinus1 - 64, 1);
        for (int32_t i = 1; i <= 4; ++i) {
            const int32_t x = RandomBelow(span) + 32;
            const int32_t z = RandomBelow(span) + 32;
            army->PatrolPoints[i] = TCellXZ{static_cast<uint16_t>(x), static_cast<uint16_t>(z)};
        }
        return;
    }
    for (int32_t i = 1; i <= 4; ++i) {
        const TArmyZone zone = army->Zones[RandomBelow(zones) + 1];
        int32_t r = zone.Radius;
        if (zone.Kind == 0 && r >= 5)
            r /= 4;
        if (r == 0)
            continue;
        // A zone with no usable cell (off the playable square, all water)
        // keeps the previous point rather than drawing for ever.
        for (int32_t attempt = 0; attempt < PatrolAttempts; ++attempt) {
            const int32_t x = CellX(zone.Cell) + RandomBelow(2 * r) - r;
            const int32_t z = CellZ(zone.Cell) + RandomBelow(2 * r) - r;
            if (x < 1 || z < 1)
                continue;
            if (IsPointInZones(a, PF_PackCell(x, z))) {
                army->PatrolPoints[i] = TCellXZ{static_cast<uint16_t>(x), static_cast<uint16_t>(z)};
                break;
            }
        }
    }
}

void MeasureArmyDistances(int32_t a)
{
    EnsureArmyMovement();
    const TGameArmy* army = FindArmy(a);
    ArmyDistanceMin = NoArmyDistance;
    for (int32_t i = std::max(FirstArmy, 0); i <= ArmyCount; ++i) {
        int32_t& d = ArmyDistances[static_cast<size_t>(i)];
        const TGameArmy& other = GameArmies[static_cast<size_t>(i)];
        if (army == nullptr || i == a || other.Active == 0 || other.Hidden != 0) {
            d = 0;
            continue;
        }
        d = GetCellDistance(CellOfArmy(*army), CellOfArmy(other));
        if (d > 0)
            ArmyDistanceMin = std::min(ArmyDistanceMin, d);
    }
}

void AddScenarioArmyPersonages(int32_t a)
{
    if (const TMapArmy* record = ScenarioArmyOf(a))
        AddSlotPersonages(a, record->Slots, true);
}

void AddSlotPersonages(int32_t a, const TRangeArray<TMapArmySlot, 0, 6>& slots, bool companions)
{
    TArmyUnits* units = FindArmyUnits(a);
    if (units == nullptr)
        return;
    for (int32_t j = 0; j <= (companions ? 6 : 0); ++j) {
        const TMapArmySlot slot = slots[j];
        if (slot.UnitType == 0)
            continue;
        const int32_t type = ResolveUnitType(slot.UnitType);
        uint8_t extra[4];
        std::memcpy(extra, &slot.Extra, sizeof extra);
        const int32_t copies = j == 0 ? 1 : slot.Count;
        for (int32_t c = 0; c < copies; ++c) {
            const int32_t s = AddPersonage(a, type, slot.HireKind, extra);
            if (s == 0)
                return;
            TPersonage& p = (*units)[s];
            TIntArray removed;
            if (j == 0) {
                p.ExpLevel += std::max(slot.Count - 1, 0);
                ReloadPersonage(p, 6, slot.Feature, removed);
            } else if (p.SortGroup == 13 || p.UnitType < 1) {
                ReloadPersonage(p, 4, -1, removed);
            } else {
                ReloadPersonage(p, 6, slot.Feature, removed);
            }
        }
    }
    UpdateArmyTotals(a);
}

void ActivateArmy(int32_t a, int32_t building)
{
    TGameArmy* army = FindArmy(a);
    if (army == nullptr)
        return;
    if (WorldLogActive())
        WorldLog(std::string(army->Defeated != 0 ? "returns: " : "takes the field: ") + GetArmyLogName(a) +
                 (building > 0 && IsWorldBuilding(building) ? " at " + GetBuildingLogName(building) : ""));
    army->Active = 1;
    army->Defeated = 0;
    army->DefeatClock = 0;
    if (building > 0 && IsWorldBuilding(building)) {
        const TMapBuilding& record = MapBuildings[building];
        std::memcpy(army->Pos, record.Pos, sizeof army->Pos);
        const int32_t cell = CellOfPosition(record.Pos[0], record.Pos[2]);
        army->Cell = TCellXZ{static_cast<uint16_t>(CellX(cell)), static_cast<uint16_t>(CellZ(cell))};
        army->Building = building;
        army->EnteredBuilding = 1;
    } else {
        army->Building = 0;
        army->EnteredBuilding = 0;
    }
    army->OrderKind = 0;
    RequestReplan(a, 5);
    ChoosePatrolPoints(a);
    ResetPathAtCell(a);
    army->RouteDone = 0;
    InvalidateArmyTargets(a);
    UpdateStationary(a);

    TArmyUnits& units = ArmyUnits[static_cast<size_t>(a)];
    if (army->RespawnFull != 0) {
        std::memset(static_cast<void*>(&units), 0, sizeof units);
        army->PersonageCount = 0;
        std::memset(army->Formation, 0, sizeof army->Formation);
        AddScenarioArmyPersonages(a);
    } else {
        // Only the leader comes back, revived; the others are gone.
        for (int32_t s = 2; s <= TArmyUnits::HighIndex; ++s)
            std::memset(static_cast<void*>(&units[s]), 0, sizeof(TPersonage));
        army->PersonageCount = 1;
        ReloadPersonage(units[1], 5);
        UpdateArmyTotals(a);
    }
    ArrangeFormation(a, 6);
    SceneHooks().UpdateArmyModel(a);
}

bool AI_Army_Active(int32_t a)
{
    try {
        AI_SeedRandom(a, GameMinute, 0);
        if (!IsMapArmy(a))
            throw std::out_of_range("army " + std::to_string(a));
        TGameArmy& army = GameArmies[static_cast<size_t>(a)];
        if (army.Active != 0)
            return GameClock > static_cast<int64_t>(army.ActiveAfterMinute) * MinuteFx;
        if (army.Defeated == 0 || army.CanRespawn == 0 || army.RespawnEnabled == 0)
            return false;
        const TMapArmy* record = ScenarioArmyOf(a);
        if (record == nullptr)
            return false;
        const TIntArray& list = HomeBuildingLists.at(record->Behavior);
        if (list.empty() || list[0] < 1)
            return false;
        if (GameClock <= army.DefeatClock + static_cast<int64_t>(army.RespawnDays) * 1440 * MinuteFx)
            return false;
        const int32_t b = ChooseRespawnBuilding(a, army, list);
        if (b == 0)
            army.CanRespawn = 0;
        else
            ActivateArmy(a, b);
        return false;
    } catch (const std::exception&) {
        ReportMainAIError("AI_Army_Active, " + GetArmyLogName(a));
        return false;
    }
}

bool AI_Army_Move(int32_t a, int64_t step)
{
    if (!IsMapArmy(a))
        return false;
    EnsureArmyMovement();
    TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    if (army.WaitUntil > GameClock || army.Stationary != 0)
        return false;
    TArmyTurn& turn = ArmyTurns[static_cast<size_t>(a)];

    if (const TMapArmy* record = a != PlayerArmy ? ScenarioArmyOf(a) : nullptr;
        record != nullptr && (record->Behavior == static_cast<uint8_t>(TArmyBehavior::Ghosts) ||
                              record->Behavior == static_cast<uint8_t>(TArmyBehavior::Undeads))) {
        const uint8_t hidden = (DayPeriod == 5 || DayPeriod == 6 || DayPeriod == 7) ? 0 : 1;
        if (hidden != army.Hidden) {
            army.Hidden = hidden;
            SceneHooks().UpdateArmyModel(a);
        }
    }

    if (step < 0) {
        turn.Moved = 0;
        return false;
    }
    TPF_Tracker* tracker = TrackerOf(a);
    if (tracker == nullptr || !ArmyHasPath(a)) {
        RequestReplan(a, army.OrderKind == 6 ? 5 : 2);
        ChoosePatrolPoints(a);
        if (army.WaitAtRouteEnd != 0 && army.OrderKind == 0)
            SetArmyWait(a, 1, FieldWait(army));
        turn.Moved = 0;
        return false;
    }

    long double u = static_cast<long double>(army.SpeedFactor) * 10000;
    if (PlayerTargetArmy > 0 && a == PlayerTargetArmy) {
        const int32_t relation = GetRelation(a, PlayerArmy, false);
        if (relation < 0)
            u *= 0.8L;
        else if (relation == 0)
            u *= 0.9L;
    }

    if (turn.Turning != 0) {
        const int64_t now = EngineClockFx();
        if (turn.End > now && turn.End > turn.Start) {
            army.ShownHeading = army.Heading - RoundHalfEven(static_cast<long double>(turn.Angle) * (turn.End - now) /
                                                             (turn.End - turn.Start));
        } else {
            army.ShownHeading = army.Heading;
            turn.Turning = 0;
        }
    }

    long double rest = static_cast<long double>(step);
    long double px = 0, pz = 0;
    long double w = CurrentPoint(*tracker, px, pz) ? PointCost(px, pz) : 4;
    long double odometer = turn.Odometer;
    while (CurrentPoint(*tracker, px, pz)) {
        const long double o = std::hypot(px - army.Pos[0], pz - army.Pos[2]) * 10000;
        const long double t = rest * u / w / 10000;
        if (!(o < t))
            break;
        if (tracker->WaypointIndex < tracker->WaypointCount) {
            army.Pos[0] = static_cast<float>(px);
            army.Pos[2] = static_cast<float>(pz);
            StartPathStep(a, true);
            const long double consumed = rest * o / t;
            odometer += consumed * OdometerFactor * u / w / 1e8L;
            rest -= consumed;
            if (CurrentPoint(*tracker, px, pz))
                w = PointCost(px, pz);
            continue;
        }
        rest = rest * o / t;
        if (a == PlayerArmy)
            ResetPathAtCell(a);
        else
            RouteEnded(a, army, 3);
        break;
    }

    const long double h = static_cast<long double>(army.Heading) / MinuteFx;
    const long double along = rest * u / w / 1e8L;
    TVec3 position{army.Pos[0] + static_cast<float>(std::cos(h) * along), army.Pos[1],
                   army.Pos[2] + static_cast<float>(std::sin(h) * along)};
    odometer += rest * OdometerFactor * u / w / 1e8L;
    turn.Odometer = ClampToInt32(RoundHalfEven(odometer));
    TVec3 ground{};
    SceneHooks().GetTerrainPoint(position, false, ground);
    army.Pos[0] = ground.x;
    army.Pos[1] = ground.y;
    army.Pos[2] = ground.z;

    bool moved = false;
    const int32_t newCell = CellOfPosition(army.Pos[0], army.Pos[2]);
    if (newCell != CellOfArmy(army)) {
        StepIntoCell(a, army, newCell);
        moved = true;
    }

    MeasureArmyDistances(a);
    if (ArmyDistanceMin < WaitMinArmyDist && army.WaitUntil > GameClock)
        SetArmyWait(a, 0, 0);

    if (moved && ApproachCheck != 0 &&
        GetCellDistance(CellOfArmy(army), CellOfArmy(GameArmies[static_cast<size_t>(PlayerArmy)])) <=
            ApproachNearPlayer)
        DetectApproach(a, army);
    turn.Moved = moved ? 1 : 0;
    return moved;
}

#include "model/ai/AIMain_Targets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "battle/Battle_Silent.h"
#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Checked.h"
#include "model/ai/AIMain_Planning.h"
#include "model/ai/AIMain_Strategy.h"
#include "model/ai/AIMain_Walking.h"
#include "model/FixedPoint.h"
#include "model/tables/Global_Texts.h"
#include "model/Hooks.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/Prices.h"
#include "model/world/World_Access.h"
#include "model/world/World_Clock.h"
#include "model/world/World_Log.h"

namespace {

constexpr int64_t DayFx = 1440 * MinuteFx;
// A building visited this recently offers only its rest goal.
constexpr int64_t RevisitBlock = 240 * MinuteFx;
constexpr int32_t NearGoalRange = 32;

TSilentBattle InstalledBattle = nullptr;

// The square that holds every cell of an army's zones: a cell more than r
// cells from a zone's centre along x or z is further than r by the cell
// distance, and a corridor lies between its two circles.
struct TZoneBox {
    int32_t X0 = 1, X1 = 0, Z0 = 1, Z1 = 0; // empty
};

TZoneBox ZoneBox(const TGameArmy& army)
{
    TZoneBox box;
    const int32_t zones = std::min<int32_t>(army.ZoneCount, 4);
    for (int32_t i = 1; i <= zones; ++i) {
        const TArmyZone zone = army.Zones[i];
        const int32_t x = CellX(zone.Cell), z = CellZ(zone.Cell), r = zone.Radius;
        if (box.X0 > box.X1) {
            box = TZoneBox{x - r, x + r, z - r, z + r};
            continue;
        }
        box.X0 = std::min(box.X0, x - r);
        box.X1 = std::max(box.X1, x + r);
        box.Z0 = std::min(box.Z0, z - r);
        box.Z1 = std::max(box.Z1, z + r);
    }
    return box;
}
// Seeds the tracker refused because it was full, in the current planning.
int32_t DroppedSeeds = 0;

const TAIProfile& ProfileOf(const TGameArmy& army)
{
    if (!AIProfiles.InRange(army.Profile))
        throw std::out_of_range("profile " + std::to_string(army.Profile));
    return AIProfiles[army.Profile];
}

int32_t ScoreOfPriority(long double p)
{
    return p > 0 ? ClampToInt32(RoundHalfEven(1001 - p)) : ClampToInt32(RoundHalfEven(p / 5));
}

// Other goals count half for an army that follows an order but may look aside.
int32_t AdjustForOrder(const TGameArmy& army, int32_t result)
{
    if (result > 0 && army.OrderKind != 0 && army.OrderAllowsTargets != 0)
        return 1000 - (1000 - result) / 2;
    return result;
}

// The silent battle's two sides, kept between estimates: each is 26 KB.
struct TSilentSides {
    TBattleSide Attacker;
    TBattleSide Defender;
};

TSilentSides& SilentSides()
{
    static std::unique_ptr<TSilentSides> sides = std::make_unique<TSilentSides>();
    return *sides;
}

// Runs the silent battle and scores it for the attacker.
int32_t EstimateBattle(const TGameArmy& attacker, int32_t a, int32_t defender, int32_t building,
                       const TAIProfile& profile, long double f)
{
    TSilentSides& sides = SilentSides();
    (InstalledBattle != nullptr ? InstalledBattle : RunSilentBattle)(a, defender, building, sides.Attacker,
                                                                         sides.Defender);
    const bool won = sides.Attacker.Result == SideWon;
    const long double loss = SideLoss(won ? sides.Attacker : sides.Defender);
    return ScoreHostileBattle(profile, won, loss, f, attacker.Boldness);
}

// The rest goal of a building, 0 when it offers none.
int32_t RestGoal(int32_t a, const TGameArmy& army, int32_t b, int32_t relation)
{
    const TMapArmy& record = ScenarioArmy(a);
    const TArmyBehaviorRules& rules = BehaviorRulesOf(record);
    const TMapBuilding& building = MapBuildings[b];
    if (building.BuildingType >= 32 || (rules.RestBuildings & (1 << building.BuildingType)) == 0 ||
        record.WaitsInBuildings == 0 || relation < 0 || army.WalkSpeed <= 0)
        return 0;
    int32_t o = RestTimeOffset(a);
    if (o < 0)
        o = 1;
    const long double walk = static_cast<long double>(GetCellDistance(CellOfArmy(army), BuildingCell(b))) * 4 /
                             (static_cast<long double>(army.WalkSpeed) / 10000);
    if (o == 0 || o >= rules.ActiveTo || o >= walk)
        return 0;
    const long double p = 100.0L * o / (rules.ActiveTo + walk);
    const int32_t result = ClampToInt32(RoundHalfEven(p + 1));
    const TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
    if (state.OwnerArmy == a)
        return result;
    if (state.OwnerGroup == army.Group)
        return result * 2;
    return result * 4;
}

// The largest priority of a friendly building's services.
long double ServicePriority(int32_t a, const TGameArmy& army, int32_t b, const TAIProfile& profile)
{
    const TMapArmy& scenario = ScenarioArmy(a);
    const TMapBuilding& record = MapBuildings[b];
    const TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
    long double best = 0;

    if (scenario.BypassFlag != 0) {
        int32_t bypass = profile.BypassPossession / 3;
        if (state.OwnerArmy == a)
            bypass = profile.BypassPossession;
        else if (state.OwnerGroup == army.Group)
            bypass = profile.BypassPossession / 2;
        best = std::max<long double>(best, bypass);
    }

    if (record.ServiceC != 0 && army.WoundPercent > 0)
        best = std::max(best, profile.MinHealing + static_cast<long double>(profile.MaxHealing - profile.MinHealing) *
                                                       army.WoundPercent / 100);

    if (record.HasHire != 0) {
        int32_t count = 0;
        for (int32_t s = 1; s <= 9; ++s) {
            const int32_t type = state.HireSlots[s].UnitType;
            if (type == 0)
                continue;
            const int32_t price = GetHirePrice(b, s, a);
            if (price >= army.Gold)
                continue;
            const TPersonage* unit = FindUnitType(type);
            const int64_t cost = unit != nullptr ? unit->Cost : 0;
            auto affordable = [&](int32_t maintenance) {
                return (army.DailyBalance - cost * maintenance / 100) * 5 + (army.Gold - price) > 0;
            };
            switch (record.HireSlots[s].HireKind) {
            case hireRecruit:
                if (army.RecruitCount < army.SupportLimit)
                    count += 3;
                break;
            case hireMercenary:
                if (affordable(MercenaryMaintenance))
                    count += 1;
                break;
            case hireLeader:
                if (affordable(LeaderMaintenance))
                    count += 1;
                break;
            default:
                break;
            }
        }
        if (count > 0)
            best =
                std::max(best, profile.MinRecruit + static_cast<long double>(profile.MaxRecruit - profile.MinRecruit) *
                                                        std::min(count, 5) / 5);
    }

    const TArmyBehaviorRules& rules = BehaviorRulesOf(scenario);
    if (record.HasShop != 0 && (record.TradeClosed == 0 ? rules.Flag1 : rules.Flag2)) {
        const int64_t money = static_cast<int64_t>(army.Gold) + army.DailyBalance;
        if (army.ItemCount > 0) {
            const TIntArray& bag = ArmyItems.at(static_cast<size_t>(a));
            int64_t value = 0;
            for (int32_t i = 1; i <= army.ItemCount; ++i)
                value += GetItemTradePrice(TradeSell, GetItemIndex(bag.at(static_cast<size_t>(i))), a, b);
            if (value > profile.GoldSelling && money < value) {
                if (money >= 0)
                    best = std::max<long double>(best, profile.MinSelling +
                                                           RoundHalfEven(static_cast<long double>(value - money) *
                                                                         profile.SellingRange / value));
                else
                    best = std::max<long double>(best, profile.MaxSelling);
            }
        }
        // Without a threshold there is no buying goal.
        if (profile.GoldPurchase > 0 && money > profile.GoldPurchase && army.Gold > profile.GoldPurchase) {
            const long double s = std::min(2.5L, std::sqrt(static_cast<long double>(army.Gold) / profile.GoldPurchase));
            best = std::max(best, profile.MinPurchase + profile.PurchaseRange * (s - 1) / 1.5L);
        }
    }
    return best;
}

} // namespace

void SetSilentBattle(TSilentBattle battle)
{
    InstalledBattle = battle;
}


long double SideLoss(const TBattleSide& side)
{
    const int32_t count = std::clamp(side.StartCount, 0, ArmySlotCount);
    long double loss = 100;
    if (count == 0)
        return loss;
    const long double share = 100.0L / count;
    for (int32_t n = 1; n <= count; ++n) {
        const TPersonage& p = side.Personages[n];
        switch (p.BattleState) {
        case 0:
        case 2: {
            const int32_t full = p.Stats[statHits];
            const long double health = full > 0 ? static_cast<long double>(p.Hits) / full : 0;
            loss -= share * (1 + health) / 2;
            break;
        }
        case 3:
            loss -= share / 4;
            break;
        case 4:
            loss -= share / 5;
            break;
        case 5:
            loss -= share / 3;
            break;
        default:
            break;
        }
    }
    return loss;
}

int32_t ScoreHostileBattle(const TAIProfile& profile, bool attackerWon, long double loss, long double f,
                           int32_t boldness)
{
    const long double l = loss;
    const long double b = boldness;
    long double p;
    if (attackerWon) {
        p = profile.AttackArmyNormal * f;
        if (boldness < 0) {
            p += b * l / 4;
            p -= l / f;
            if (p < profile.AttackArmyNormal / 2.0L)
                p = -l - 100 + b;
        } else {
            p -= l / f;
            p = 1000 - (1000 - p) * (100 - b) / 100;
        }
    } else if (boldness > 0) {
        p = profile.AttackArmySuicidal * f;
        if (l > b)
            p = (profile.AttackArmyNormal * f - p) * (l - b) / (100 - b) + p;
        else
            p = b + l - 300;
    } else {
        p = (l - 400) * (100 - b) / 100;
    }
    return ScoreOfPriority(p);
}

void InvalidateArmyTargets(int32_t x)
{
    if (x > ArmyCount) {
        const size_t b = static_cast<size_t>(x - ArmyCount);
        for (auto& row : ArmyTargets)
            if (b < row.size())
                row[b].Stale = 1;
        return;
    }
    if (x < 0 || static_cast<size_t>(x) >= ArmyMoves.size())
        return;
    for (TGameArmyMove& cell : ArmyMoves[static_cast<size_t>(x)])
        cell.Stale = 1;
    for (auto& row : ArmyMoves)
        if (static_cast<size_t>(x) < row.size())
            row[static_cast<size_t>(x)].Stale = 1;
    if (static_cast<size_t>(x) < ArmyTargets.size())
        for (TGameArmyTarget& cell : ArmyTargets[static_cast<size_t>(x)])
            cell.Stale = 1;
}

void AddRouteSeed(int32_t cell, int32_t cost, int32_t mode, int32_t army)
{
    const TGameArmy* record = FindArmy(army);
    if (record == nullptr || static_cast<size_t>(army) >= ArmyTrackers.size())
        return;
    const int32_t e = GetCellDistance(cell, CellOfArmy(*record));
    int64_t seedCost = cost;
    if (e < NearGoalRange && (mode == SeedBuilding || mode == SeedArmy)) {
        const int64_t per = mode == SeedBuilding ? 8 : 16;
        const int64_t divisor = MinuteFx + RoundDivHalfEven((NearGoalRange - e) * MinuteFx, per);
        seedCost = RoundDivHalfEven(cost * MinuteFx, divisor);
    }
    TPF_Tracker& tracker = ArmyTrackers[static_cast<size_t>(army)];
    if (tracker.SeedCount >= PF_MaxSeeds) {
        ++DroppedSeeds;
        return;
    }
    tracker.AddSeed(cell, ClampToInt32(seedCost));
}

int32_t RestTimeOffset(int32_t army)
{
    const TArmyBehaviorRules& rules = BehaviorRulesOf(ScenarioArmy(army));
    const int64_t e = ((GameClock + 14400000 - static_cast<int64_t>(rules.ActiveFrom) * MinuteFx) / MinuteFx) % 1440;
    int64_t o = e > 720 ? 1440 - e : -e;
    if (o == 0)
        o = 1;
    return std::abs(o) <= rules.ActiveTo ? static_cast<int32_t>(o) : 0;
}

int32_t AI_Army_TargetToArmy(int32_t a, int32_t b)
{
    try {
        TGameArmy& army = ArmyAt(a);
        ArmyAt(b);
        TGameArmyMove& cell = MoveCell(a, b);
        const TAIProfile& profile = ProfileOf(army);
        const int32_t r1 = GetRelation(a, b, false);
        const int32_t r2 = GetRelation(b, a, false);
        const long double f = (11.0L - r1) / 16;
        int32_t result = 0;
        if (r1 >= 0 && r2 >= 0) {
            const long double days = cell.LastMeeting != 0
                                         ? static_cast<long double>(GameClock - cell.LastMeeting) / DayFx
                                         : static_cast<long double>(r1);
            const long double q = 5 - (r1 + 1) / 2.0L;
            long double p = 0;
            cell.Pursuit = 0;
            if (army.SeeksTalk != 0 && q > 0 && days > q) {
                cell.Pursuit = 1;
                const long double ratio = days / q;
                p = profile.MaxTalking - profile.MaxTalking / (ratio * ratio);
            }
            if (army.TalkAlways != 0 && days >= 1) {
                p = profile.MaxTalking;
                cell.Pursuit = 1;
            }
            result = p > 0 ? ClampToInt32(RoundHalfEven(1001 - p)) : 0;
        } else if (army.SeeksBattles == 0) {
            result = 0;
        } else if (cell.Stale == 0) {
            result = cell.Score;
        } else {
            result = EstimateBattle(army, a, b, 0, profile, f);
            cell.Score = ClampToInt16(result);
            cell.Stale = 0;
        }
        result = AdjustForOrder(army, result);
        if (result > 0)
            cell.IsTarget = 1;
        return result;
    } catch (const std::exception&) {
        ReportMainAIError("AI_Army_TargetToArmy, time " + FormatGameDate(GameClock) + ", army " + GetArmyLogName(a) +
                          ", to army " + GetArmyLogName(b));
        return 0;
    }
}

int32_t AI_Army_TargetToBuilding(int32_t a, int32_t b)
{
    try {
        TGameArmy& army = ArmyAt(a);
        if (!IsWorldBuilding(b))
            throw std::out_of_range("building " + std::to_string(b));
        TGameArmyTarget& cell = TargetCell(a, b);
        const TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
        const TAIProfile& profile = ProfileOf(army);
        const int32_t r = GetRelation(a, -b, false);
        const long double f = (11.0L - r) / 16;
        int32_t result = 0;
        if (GameClock >= cell.LastVisit + RevisitBlock) {
            if ((state.OwnerArmy >= 0 || state.OwnerGroup >= 0) && r < 0) {
                const int32_t garrison = GetGarrisonArmyIndex(b);
                if (ArmyAt(garrison).AbleCount > 0) {
                    if (cell.Stale == 0) {
                        result = cell.Score;
                    } else {
                        result = EstimateBattle(army, a, garrison, b, profile, f);
                        cell.Score = ClampToInt16(result);
                        cell.Stale = 0;
                    }
                } else {
                    long double p = profile.AttackBuildingNormal * f;
                    if (army.Boldness > 0)
                        p = 1000 - (1000 - p) * (100 - army.Boldness) / 100;
                    result = ScoreOfPriority(p);
                }
            } else if (r >= 0) {
                const long double p = ServicePriority(a, army, b, profile);
                result = p > 0 ? ClampToInt32(RoundHalfEven(1001 - p)) : 0;
            }
        }
        if (const int32_t rest = RestGoal(a, army, b, r); rest != 0)
            result = rest;
        return AdjustForOrder(army, result);
    } catch (const std::exception&) {
        ReportMainAIError("AI_Army_TargetToBuilding, time " + FormatGameDate(GameClock) + ", army " +
                          GetArmyLogName(a) + ", building " + GetBuildingLogName(b));
        return 0;
    }
}

bool GatherRouteGoals(int32_t a, TRoutePlan& plan, TRouteBatch* batch)
{
    TGameArmy* army = FindArmy(a);
    if (army == nullptr || a > ArmyCount || static_cast<size_t>(a) >= ArmyTrackers.size() ||
        static_cast<size_t>(a) >= ArmyMoves.size())
        return false;
    const int32_t cell = CellOfArmy(*army);
    const int32_t targetCell = PF_PackCell(PlayerTargetCell.X, PlayerTargetCell.Z);
    if (a == PlayerArmy && cell == targetCell)
        return false;

    plan.Army = a;
    plan.Cell = cell;
    plan.OpenedCell = -1;
    plan.OwnCell = -1;
    plan.Penalties.clear();
    plan.Found = false;
    auto addPenalty = [&plan](int32_t at, int32_t r, int32_t s) { plan.Penalties.push_back({at, r, s}); };

    // An army on a closed cell opens it for its own search (see the end).
    if (GetPathCost(cell) == 0)
        plan.OwnCell = cell;

    MeasureArmyDistances(a);
    TPF_Tracker& tracker = ArmyTrackers[static_cast<size_t>(a)];
    tracker.ClearSeeds();
    DroppedSeeds = 0;
    std::vector<TGameArmyMove>& moves = ArmyMoves[static_cast<size_t>(a)];
    auto moveCell = [&](int32_t i) -> TGameArmyMove* {
        return i >= 0 && static_cast<size_t>(i) < moves.size() ? &moves[static_cast<size_t>(i)] : nullptr;
    };
    auto distanceTo = [](int32_t i) {
        return i >= 0 && static_cast<size_t>(i) < ArmyDistances.size() ? ArmyDistances[static_cast<size_t>(i)] : 0;
    };

    const bool following = a == PlayerArmy && PlayerTargetArmy > 0;
    if (a == PlayerArmy) {
        if (following) {
            // The followed army's cell may be closed to walkers; open it for
            // this planning. Searches still waiting must not see it open.
            if (batch != nullptr)
                batch->Run();
            const TTerrainVertex* v = FindTerrainVertex(targetCell);
            SetPathCost(targetCell, v != nullptr && v->TerrainCost != 0 ? v->TerrainCost : 1);
            plan.OpenedCell = targetCell;
            if (TGameArmyMove* m = moveCell(PlayerTargetArmy))
                m->IsTarget = 1;
        }
        tracker.AddSeed(targetCell, 0);
    } else {
        switch (army->OrderKind) {
        case 4:
            if (IsWorldBuilding(army->OrderTarget)) {
                const TMapBuilding& b = MapBuildings[army->OrderTarget];
                tracker.AddSeed(CellOfPosition(b.Pos[0], b.Pos[2]), 1);
            }
            break;
        case 6:
            if (const TGameArmy* t = army->OrderTarget <= ArmyCount ? FindArmy(army->OrderTarget) : nullptr) {
                tracker.AddSeed(CellOfArmy(*t), 1);
                if (TGameArmyMove* m = moveCell(army->OrderTarget))
                    m->IsTarget = 1;
            }
            break;
        case 7:
            if (army->OrderTarget >= 1 && army->OrderTarget <= MapPoints.Count && army->OrderTarget <= MapPointMax) {
                const TMapPoint& p = MapPoints[army->OrderTarget];
                tracker.AddSeed(CellOfPosition(p.Pos[0], p.Pos[2]), 1);
            }
            break;
        default:
            break;
        }

        if (army->OrderKind == 0 || army->OrderAllowsTargets != 0) {
            const int32_t range = army->Behavior < ArmyBehaviorCount ? DetectionRanges[army->Behavior] : 0;
            if (army->Hidden == 0)
                for (int32_t i = FirstArmy; i <= ArmyCount; ++i) {
                    const int32_t d = distanceTo(i);
                    if (d < 1 || d > range)
                        continue;
                    const int32_t v = AI_Army_TargetToArmy(a, i);
                    const int32_t other = CellOfArmy(GameArmies[static_cast<size_t>(i)]);
                    if (v > 0) {
                        if (IsPointInZones(a, other)) {
                            moves[static_cast<size_t>(i)].IsTarget = 1;
                            AddRouteSeed(other, v, SeedArmy, a);
                        }
                    } else {
                        moves[static_cast<size_t>(i)].IsTarget = 0;
                        if (v < 0)
                            addPenalty(other, -v, 4);
                    }
                }

            const uint8_t behavior = a <= MapArmies.Count && a <= MapArmyMax ? MapArmies[a].Behavior : army->Behavior;
            const bool fearsHoly = behavior == static_cast<uint8_t>(TArmyBehavior::Werwolf) ||
                                   behavior == static_cast<uint8_t>(TArmyBehavior::Ghosts) ||
                                   behavior == static_cast<uint8_t>(TArmyBehavior::Undeads);
            const TZoneBox box = ZoneBox(*army);
            for (int32_t b = 1; b <= LastWorldBuilding(); ++b) {
                const TMapCellXZ at = MapBuildings[b].Cell;
                if (at.X < box.X0 || at.X > box.X1 || at.Z < box.Z0 || at.Z > box.Z1 || !BuildingExists(b))
                    continue;
                const int32_t bc = BuildingCell(b);
                if (!IsPointInZones(a, bc))
                    continue;
                const int32_t t = AI_Army_TargetToBuilding(a, b);
                if (t > 0)
                    AddRouteSeed(bc, t, SeedBuilding, a);
                else if (t < 0)
                    addPenalty(bc, -t, 4);
                const auto type = static_cast<TBuildingType>(MapBuildings[b].BuildingType);
                if (fearsHoly && (type == TBuildingType::Monastery || type == TBuildingType::Church ||
                                  type == TBuildingType::Chapel))
                    addPenalty(bc, 32, 2);
            }

            const int32_t used = army->PlanMark > 10 ? 4 : std::min<int32_t>(army->RouteFlags[2], 4);
            const int32_t randomTarget = AIProfiles.InRange(army->Profile) ? AIProfiles[army->Profile].RandomTarget : 0;
            for (int32_t k = 1; k <= used; ++k) {
                TCellXZ point = army->PatrolPoints[k];
                const int32_t pc = PF_PackCell(point.X, point.Z);
                if (point.X != 0 && GetPathCost(pc) != 0 && pc != cell)
                    AddRouteSeed(pc, randomTarget, SeedPatrol, a);
                else
                    army->PatrolPoints[k] = TCellXZ{0, 0};
            }
        }
    }

    const TGameArmy& player = GameArmies[static_cast<size_t>(PlayerArmy)];
    if (ApproachCheck != 0 && GetCellDistance(cell, CellOfArmy(player)) <= ApproachNearPlayer)
        for (int32_t j = FirstArmy; j <= ArmyCount; ++j) {
            const int32_t d = distanceTo(j);
            const TGameArmy& other = GameArmies[static_cast<size_t>(j)];
            if (d < 2 || d > ApproachUrgent || moves[static_cast<size_t>(j)].IsTarget != 0 || other.Building != 0)
                continue;
            addPenalty(CellOfArmy(other), 4, 1);
            // The other army's route and heading as its own planning left
            // them: a route of this batch is taken up first.
            if (batch != nullptr && batch->Waits(j))
                batch->Run();
            if (ArmyHasPath(j)) {
                const long double h = static_cast<long double>(other.Heading) / 10000;
                const long double x = other.Cell.X + 2 * std::cos(h);
                const long double z = other.Cell.Z + 2 * std::sin(h);
                addPenalty(PF_PackCell(static_cast<int32_t>(RoundHalfEven(x)), static_cast<int32_t>(RoundHalfEven(z))),
                           4, 1);
            }
        }

    if (DroppedSeeds > 0)
        std::fprintf(stderr, "AI_PlanRoute(%s) -> %d goals past the %d seeds dropped\n", GetArmyLogName(a).c_str(),
                     DroppedSeeds, PF_MaxSeeds);

    // A walk between two path points may round onto a closed cell (a corner
    // of a swamp or a slope); planning from there would never reach the
    // army, which would ask again every frame and stand for good. Its own
    // cell counts as open (cost 1) in its own search alone: the path grid
    // is not written, so searches beside it do not see the cell open.
    return true;
}

namespace {
// The largest pocket looked round before a search: the pockets armies stand
// in are a few cells; open country is given up on as soon.
constexpr int32_t PocketCells = 16;
} // namespace

void SearchRoute(TRoutePlan& plan)
{
    TPF_Tracker& tracker = ArmyTrackers[static_cast<size_t>(plan.Army)];
    tracker.ResetCosts();
    for (const TRoutePenalty& p : plan.Penalties)
        tracker.AddPenalty(p.Cell, p.Radius, p.Step);
    tracker.OpenCell = plan.OwnCell;
    tracker.OpenFactor = 1;
    // An army in a pocket of open cells that holds no goal (closed in by
    // walls, water or slopes) cannot be reached from any: the search would
    // run over every cell the goals reach only to fail. A look round the
    // pocket finds that out first, with the same outcome.
    plan.Found = !tracker.SeedsCutOff(plan.Cell, PocketCells) && tracker.Calc(plan.Cell, true);
    if (plan.Found)
        tracker.GetPath(plan.Cell, true);
    else
        tracker.ResetPath(plan.Cell);
    tracker.OpenCell = -1;
}

bool TakeRoute(const TRoutePlan& plan)
{
    TGameArmy& army = GameArmies[static_cast<size_t>(plan.Army)];
    bool planned = false;
    if (!plan.Found) {
        army.RouteDone = 0;
    } else if (ArmyTrackers[static_cast<size_t>(plan.Army)].WaypointCount >= 1) {
        StartPathStep(plan.Army, false);
        planned = true;
    }
    if (plan.OpenedCell >= 0) {
        const TTerrainVertex* v = FindTerrainVertex(plan.OpenedCell);
        SetPathCost(plan.OpenedCell, v != nullptr ? v->Cost : 0);
    }
    return planned;
}

bool AI_PlanRoute(int32_t a)
{
    TRoutePlan plan;
    if (!GatherRouteGoals(a, plan, nullptr))
        return false;
    SearchRoute(plan);
    return TakeRoute(plan);
}

void ReportMainAIError(const std::string& text)
{
    if (RenderHooks().Windowed())
        ShowWindowedErrorBox("Main AI Error", text);
    // The box is gone once it is closed; the line stays for whoever reads
    // the run afterwards.
    if (WorldLogActive())
        WorldLog("Main AI Error: " + text);
    else
        std::fprintf(stderr, "Main AI Error: %s\n", text.c_str());
}

// Story events: the results of a chosen stage, the effects queued for the
// map screen and the lists of what the player's army gained and lost.
#include <algorithm>
#include <cmath>
#include <limits>

#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Movement.h"
#include "model/ai/AIMain_Random.h"
#include "model/ai/AIMain_Walking.h"
#include "model/world/Army_Formation.h"
#include "model/world/Army_Operations.h"
#include "model/personage/Personage_Rules.h"
#include "model/SceneHooks.h"
#include "model/story/StoryEvents.h"
#include "model/story/StoryEvents_Internal.h"
#include "model/Support.h"
#include "model/world/World_Access.h"
#include "model/world/World_Economy.h"
#include "model/world/World_Log.h"

int32_t EventGoldChange = 0;
std::vector<TEventUnitChange> EventUnitChanges;
std::vector<TEventItemChange> EventItemChanges;

const int32_t NearOffsets[NearOffsetCount][2] = {
    {0, 0},  {1, 0},  {0, 1},  {-1, 0},  {0, -1}, {1, 1},  {1, -1}, {-1, -1}, {-1, 1},  {2, 0},
    {0, 2},  {-2, 0}, {0, -2}, {1, 2},   {2, 1},  {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1},
    {-1, 2}, {2, 2},  {2, -2}, {-2, -2}, {-2, 2}, {3, 0},  {0, 3},  {-3, 0},  {0, -3},
};

namespace {

constexpr int32_t ArmyLimitForAdding = 11; // personages are added while the army holds at most this many

struct TExecution {
    int32_t Event = 0;
    TIntArray Touched;
};

void Skip(const TExecution& ex, const TStoryResult& r, const char* why)
{
    if (WorldLogActive())
        WorldLog("event " + std::to_string(ex.Event) + ": result of kind " + std::to_string(r.Kind) + " skipped, " +
                 why);
}

int32_t SaturatingAdd(int32_t a, int64_t b)
{
    return static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(a) + b, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// An army the scenario has a record for (1..the scenario's count).
const TMapArmy* ScenarioArmy(int32_t a)
{
    return a >= 1 && a <= ArmyCount && a <= std::min(MapArmies.Count, MapArmyMax) ? &MapArmies[a] : nullptr;
}

bool IsMapPoint(int32_t p)
{
    return p >= 1 && p <= std::min(MapPoints.Count, MapPointMax);
}

TCellXZ CellOf(int32_t packed)
{
    return TCellXZ{static_cast<uint16_t>(CellX(packed)), static_cast<uint16_t>(CellZ(packed))};
}

// The building a map cell's terrain vertex stands for, 0 none.
int32_t CellBuilding(const TCellXZ cell)
{
    const TTerrainVertex* v = FindTerrainVertex(PF_PackCell(cell.X, cell.Z));
    return v != nullptr ? BuildingOfCover(v->Cover) : 0;
}

void MarkModel(int32_t a)
{
    SceneHooks().MarkArmyModelRebuild(a);
}

void Touch(TExecution& ex, int32_t a)
{
    if (std::find(ex.Touched.begin(), ex.Touched.end(), a) == ex.Touched.end())
        ex.Touched.push_back(a);
}

// The list of carried items, made as long as its count says.
TIntArray& CarriedItems(int32_t a)
{
    TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    TIntArray& items = ArmyItems[static_cast<size_t>(a)];
    if (army.ItemCount < 0)
        army.ItemCount = 0;
    if (items.size() != static_cast<size_t>(army.ItemCount) + 1)
        items.resize(static_cast<size_t>(army.ItemCount) + 1, 0);
    return items;
}

// The carried item at i is replaced by the last one.
void DropCarriedItem(int32_t a, int32_t i)
{
    TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    TIntArray& items = CarriedItems(a);
    items[static_cast<size_t>(i)] = items[static_cast<size_t>(army.ItemCount)];
    items.pop_back();
    army.ItemCount -= 1;
}

// Takes the item out of an equipment slot: slots 1..4 and 14 get their
// default item back.
void EmptyEquipmentSlot(TPersonage& p, int32_t k)
{
    p.Equipment[k] = (k <= 4 || k == 14) ? p.DefaultItems[k] : 0;
}

bool IsOwnDefault(const TPersonage& p, int32_t k, int32_t item)
{
    return k <= 4 && item == p.DefaultItems[k];
}

// Result kind 0.
void GoldResult(const TExecution& ex, const TStoryResult& r)
{
    TGameArmy* army = FindArmy(r.ValueB);
    if (army == nullptr)
        return Skip(ex, r, "no such army");
    const int32_t before = army->Gold;
    const int64_t sum = static_cast<int64_t>(before) + r.ValueA;
    army->Gold = sum < 0 ? 0 : SaturatingAdd(0, sum);
    if (r.ValueB == PlayerArmy)
        EventGoldChange = sum < 0 ? -before : r.ValueA;
}

// Result kind 1.
void ExperienceResult(const TExecution& ex, const TStoryResult& r)
{
    const TGameArmy* army = FindArmy(r.ValueB);
    if (army == nullptr)
        return Skip(ex, r, "no such army");
    TIntArray removed;
    for (int32_t s = 1; s <= UsedSlots(*army); ++s) {
        TPersonage& p = ArmyUnits[static_cast<size_t>(r.ValueB)][s];
        p.Experience = SaturatingAdd(p.Experience, r.ValueA);
        LevelUp(r.ValueB, s, r.ValueB == PlayerArmy ? -1 : 0, removed);
    }
}

// Result kind 2.
void ItemResult(TExecution& ex, const TStoryResult& r)
{
    const int32_t a = r.ValueB, item = r.ValueA;
    if (FindArmy(a) == nullptr)
        return Skip(ex, r, "no such army");
    if (FindItem(item) == nullptr)
        return Skip(ex, r, "no such item");
    int32_t n = r.Op2 == 0 ? 1 : r.Op2;
    const bool player = a == PlayerArmy;
    if (r.Op == 0) {
        if (player)
            EventItemChanges.push_back(TEventItemChange{item, n, +1});
        for (int32_t i = 0; i < n; ++i)
            AddArmyItem(a, item);
    } else {
        int32_t taken = 0;
        for (int32_t i = 1; i <= GameArmies[static_cast<size_t>(a)].ItemCount && n > 0;) {
            if (CarriedItems(a)[static_cast<size_t>(i)] == item) {
                DropCarriedItem(a, i);
                --n;
                ++taken;
                continue;
            }
            ++i;
        }
        TArmyUnits& units = ArmyUnits[static_cast<size_t>(a)];
        for (int32_t s = UsedSlots(GameArmies[static_cast<size_t>(a)]); s >= 1 && n > 0; --s) {
            TPersonage& p = units[s];
            for (int32_t k = 1; k <= 14 && n > 0; ++k) {
                if (p.Equipment[k] != item || IsOwnDefault(p, k, item))
                    continue;
                EmptyEquipmentSlot(p, k);
                ReloadPersonage(p, 0);
                --n;
                ++taken;
            }
        }
        if (player && taken > 0)
            EventItemChanges.push_back(TEventItemChange{item, taken, -1});
    }
    QueueMapEffect(2, 10, a);
    Touch(ex, a);
}

// The slot of the qualifying personage with the lowest Strength (the first
// among equals), 0 when none qualifies.
template <typename F> int32_t WeakestSlot(int32_t a, F qualifies)
{
    const TArmyUnits& units = ArmyUnits[static_cast<size_t>(a)];
    int32_t found = 0;
    for (int32_t s = 1; s <= UsedSlots(GameArmies[static_cast<size_t>(a)]); ++s)
        if (units[s].UnitType != 0 && qualifies(s, units[s]) &&
            (found == 0 || units[s].Strength < units[found].Strength))
            found = s;
    return found;
}

void TakeOut(int32_t a, int32_t slot)
{
    const int32_t type = ArmyUnits[static_cast<size_t>(a)][slot].UnitType;
    TIntArray removed;
    RemovePersonage(a, slot, true, removed);
    if (a == PlayerArmy)
        EventUnitChanges.push_back(TEventUnitChange{type, -1});
}

bool IsRecruitLike(const TPersonage& p)
{
    return p.HireKind == hireRecruit || IsMercenaryHire(p.HireKind);
}

// Result kind 3.
void PersonageResult(const TExecution& ex, const TStoryResult& r)
{
    const int32_t a = r.ValueB < 0 ? GetGarrisonArmyIndex(-r.ValueB) : r.ValueB;
    if ((r.ValueB < 0 && !IsWorldBuilding(-r.ValueB)) || FindArmy(a) == nullptr)
        return Skip(ex, r, "no such army");
    TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    const int32_t n = r.Op2 == 0 ? 1 : r.Op2;
    const int16_t h = r.Mode;
    if (r.Op != 0) {
        if (r.ValueA < 250 && !UnitTypeExists(r.ValueA))
            return Skip(ex, r, "no such unit type");
        const int32_t m = r.ValueA - 250;
        auto qualifies = [&](int32_t slot, const TPersonage& p) {
            if (r.ValueA < 250)
                return p.UnitType == r.ValueA;
            switch (m) {
            case 1:
                return p.HireKind == hireRecruit;
            case 2:
                return IsMercenaryHire(p.HireKind);
            case 3:
                return IsFollowerHire(p.HireKind);
            default:
                return !(slot == 1 && a <= ArmyCount) && p.UnitType >= 7 && p.ImportantNPC == 0;
            }
        };
        for (int32_t i = 0; i < n; ++i) {
            const int32_t slot = WeakestSlot(a, qualifies);
            if (slot == 0)
                break;
            TakeOut(a, slot);
        }
    } else {
        if (r.ValueA >= 250)
            return Skip(ex, r, "no unit type to add");
        if (!UnitTypeExists(r.ValueA))
            return Skip(ex, r, "no such unit type");
        if (IsFollowerHire(h) && ArmyHireSlots - army.PersonageCount < n) {
            const int32_t room = n - (ArmyHireSlots - army.PersonageCount);
            for (int32_t i = 0; i < room; ++i) {
                const int32_t slot = WeakestSlot(a, [](int32_t, const TPersonage& p) { return IsRecruitLike(p); });
                if (slot == 0)
                    break;
                TakeOut(a, slot);
            }
        }
        for (int32_t i = 0; i < n && army.PersonageCount <= ArmyLimitForAdding; ++i) {
            if (a == PlayerArmy)
                EventUnitChanges.push_back(TEventUnitChange{r.ValueA, +1});
            const int32_t slot = AddPersonageSimple(a, r.ValueA, h);
            if (slot == 0)
                break;
            TPersonage& p = ArmyUnits[static_cast<size_t>(a)][slot];
            ReloadPersonage(p, (p.SortGroup == 13 || p.UnitType < 1) ? 4 : 5);
            ArrangeFormation(a, 5);
        }
    }
    UpdateArmyTotals(a);
    if (a <= ArmyCount) {
        CalcArmyEconomy(a, -1);
        if (r.ValueB >= 0) {
            MarkModel(a);
            QueueMapEffect(2, 10, a);
        }
    }
}

// Healing (delta <= 0) or wounding of an army by target mode.
void ApplyEventWounds(int32_t a, int32_t delta, uint8_t mode)
{
    const TGameArmy* army = FindArmy(a);
    if (army == nullptr)
        return;
    TArmyUnits& units = ArmyUnits[static_cast<size_t>(a)];
    const int32_t count = UsedSlots(*army);
    auto qualifies = [&](int32_t s) {
        const TPersonage& p = units[s];
        return p.UnitType != 0 && p.Hits > 0 && (delta > 0 || p.Hits < p.Stats[statHits]);
    };
    auto anyQualifies = [&] {
        for (int32_t s = 1; s <= count; ++s)
            if (qualifies(s))
                return true;
        return false;
    };
    auto drawQualifying = [&] {
        for (;;) {
            const int32_t s = RandomBelow(count) + 1;
            if (qualifies(s))
                return s;
        }
    };
    switch (mode) {
    case 0:
        for (int32_t s = 1; s <= count; ++s)
            if (units[s].UnitType != 0 && units[s].Hits > 0)
                ChangeWounds(a, s, delta);
        return;
    case 1: {
        AI_SeedRandom(a, 0, 0);
        int32_t chance = 50;
        for (int32_t s = 1; s <= count; ++s) {
            if (!qualifies(s))
                continue;
            if (RandomBelow(100) < chance) {
                ChangeWounds(a, s, delta);
                chance /= 2;
            } else {
                chance += (100 - chance) / 2;
            }
        }
        return;
    }
    case 2:
        AI_SeedRandom(a, 0, 0);
        if (anyQualifies())
            ChangeWounds(a, drawQualifying(), delta);
        return;
    case 3:
        if (count >= 1)
            ChangeWounds(a, 1, delta);
        return;
    case 4: {
        const int32_t sign = delta > 0 ? 1 : delta < 0 ? -1 : 0;
        for (int64_t i = 0; i < std::abs(static_cast<int64_t>(delta)) && anyQualifies(); ++i)
            ChangeWounds(a, drawQualifying(), sign);
        return;
    }
    default:
        return;
    }
}

// The building an activated army (ValueB 2) comes out of, 0 when none fits.
int32_t ChooseActivationBuilding(int32_t a)
{
    const TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    const int32_t anchor = army.AnchorBuilding;
    if (anchor > 0 && IsWorldBuilding(anchor) && GameBuildings[static_cast<size_t>(anchor)].OwnerArmy == a)
        return anchor;
    const int32_t from = anchor > 0 && IsWorldBuilding(anchor) ? BuildingCell(anchor) : CellOfArmy(army);
    int32_t best[4] = {0, 0, 0, 0};
    int32_t bestDistance[4] = {0, 0, 0, 0};
    for (int32_t b = 1; b <= LastWorldBuilding(); ++b) {
        if (!BuildingExists(b))
            continue;
        const TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
        const bool treasury = MapBuildings[b].HasTreasury != 0;
        const bool owned = state.OwnerArmy == a;
        const bool group = state.OwnerGroup == army.Group;
        const bool fits[4] = {owned && treasury, owned, group && treasury, group};
        const int32_t distance = GetCellDistance(from, BuildingCell(b));
        for (int t = 0; t < 4; ++t)
            if (fits[t] && (best[t] == 0 || distance < bestDistance[t])) {
                best[t] = b;
                bestDistance[t] = distance;
            }
    }
    for (const int32_t b : best)
        if (b != 0)
            return b;
    return 0;
}

void PlaceArmyAt(TGameArmy& army, const float (&pos)[3])
{
    std::copy(pos, pos + 3, army.Pos);
    army.Cell = CellOf(CellOfPosition(pos[0], pos[2]));
}

void ActivateResult(const TExecution& ex, const TStoryResult& r, int32_t a)
{
    TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    if (army.Active != 0)
        return;
    const TMapArmy* record = ScenarioArmy(a);
    if (r.ValueB == 0 && record != nullptr) {
        PlaceArmyAt(army, record->Pos);
    } else if (r.ValueB == 2) {
        const int32_t b = ChooseActivationBuilding(a);
        if (b == 0)
            return Skip(ex, r, "no building to come out of");
        std::copy(MapBuildings[b].Pos, MapBuildings[b].Pos + 3, army.Pos);
        army.Cell = CellOf(BuildingCell(b));
    }
    army.Active = 1;
    if (army.Defeated != 0)
        ActivateArmy(a, 0);
    army.Defeated = 0;
    if (record != nullptr && (record->Behavior == static_cast<uint8_t>(TArmyBehavior::Ghosts) ||
                              record->Behavior == static_cast<uint8_t>(TArmyBehavior::Undeads)))
        army.Hidden = (DayPeriod == 5 || DayPeriod == 6 || DayPeriod == 7) ? 0 : 1;
    RequestReplan(a, 5);
    MarkModel(a);
    QueueMapEffect(2, 10, a);
}

void DeactivateResult(int32_t a)
{
    TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    if (army.Active == 0)
        return;
    army.Active = 0;
    if (static_cast<size_t>(a) < ReplanQueue.Priority.size() && ReplanQueue.Priority[static_cast<size_t>(a)] != 0) {
        ReplanQueue.Priority[static_cast<size_t>(a)] = 0;
        --ReplanQueue.Queued;
    }
    if (MetPlayerArmy == a)
        MetPlayerArmy = 0;
    MarkModel(a);
    QueueMapEffect(2, 10, a);
}

uint8_t OrderKindOf(uint8_t op)
{
    return op == 1 ? 4 : op == 2 ? 7 : op == 3 ? 6 : 0;
}

void OrderResult(const TStoryResult& r, int32_t a)
{
    TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    if (army.Active == 0)
        return;
    SetArmyWait(a, 0, 0);
    const uint8_t kind = army.OrderKind;
    const int32_t target = army.OrderTarget;
    army.OrderKind = OrderKindOf(r.Op2);
    UpdateStationary(a);
    army.OrderTarget = r.ValueB;
    army.OrderAllowsTargets = r.Mode;
    if (army.OrderKind != kind || army.OrderTarget != target)
        RequestReplan(a, 5);
}

void ZoneResult(const TExecution& ex, const TStoryResult& r, int32_t a)
{
    const TMapArmy* record = ScenarioArmy(a);
    if (record == nullptr)
        return Skip(ex, r, "no scenario army");
    TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    auto hasZone = [record](int32_t z) { return (record->Zones[z].Cell & 0xFFFF) != 0; };
    if (r.Op2 == 0) {
        for (int32_t z = 1; z <= 4; ++z)
            if (hasZone(z))
                army.Zones[z].Radius = static_cast<uint8_t>(record->Zones[z].Radius + r.ValueB);
    } else if (r.Op2 == 1) {
        // The army has room for four zones.
        army.ZoneCount = static_cast<uint8_t>(std::min<int32_t>(static_cast<uint8_t>(r.ValueB), 4));
        while (army.ZoneCount > 0 && !hasZone(army.ZoneCount))
            --army.ZoneCount;
    }
    UpdateStationary(a);
    RequestReplan(a, 5);
}

void MoveResult(const TExecution& ex, const TStoryResult& r, int32_t a)
{
    TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    if (r.Op2 == 1) {
        if (!IsWorldBuilding(r.ValueB))
            return Skip(ex, r, "no such building");
        std::copy(MapBuildings[r.ValueB].Pos, MapBuildings[r.ValueB].Pos + 3, army.Pos);
        army.Cell = CellOf(BuildingCell(r.ValueB));
    } else if (r.Op2 == 2) {
        if (!IsMapPoint(r.ValueB))
            return Skip(ex, r, "no such map point");
        PlaceArmyAt(army, MapPoints[r.ValueB].Pos);
    } else if (r.Op2 == 3) {
        const TGameArmy* other = r.ValueB >= 0 && r.ValueB <= ArmyCount ? FindArmy(r.ValueB) : nullptr;
        if (other == nullptr)
            return Skip(ex, r, "no such army");
        const int32_t x = other->Cell.X, z = other->Cell.Z;
        int32_t cell = PF_PackCell(static_cast<uint16_t>(x), static_cast<uint16_t>(z));
        for (int32_t k = NearOffsetCount - 1; k >= 0; --k) {
            const int32_t nx = x + NearOffsets[k][0], nz = z + NearOffsets[k][1];
            if (nx < 0 || nz < 0 || nx > 0xFFFF || nz > 0xFFFF)
                continue;
            const int32_t candidate = PF_PackCell(static_cast<uint16_t>(nx), static_cast<uint16_t>(nz));
            if (GetPathCost(candidate) != 0) {
                cell = candidate;
                break;
            }
        }
        army.Cell = CellOf(cell);
        TVec3 point{};
        SceneHooks().GetTerrainPoint(TVec3{static_cast<float>(army.Cell.X), 0, static_cast<float>(army.Cell.Z)}, true,
                                     point);
        army.Pos[0] = point.x;
        army.Pos[1] = point.y;
        army.Pos[2] = point.z;
    } else {
        return;
    }
    if (army.Active == 0)
        return;
    RequestReplan(a, 5);
    const int32_t building = CellBuilding(army.Cell);
    army.EnteredBuilding = building != army.Building ? 1 : 0;
    army.Building = building;
    QueueMapEffect(2, 10, a);
}

// The army a kind-4 result acts on: -2 the nearest other active army, -1
// the one that met the player; -1 when there is none.
int32_t ActingArmy(int32_t value)
{
    if (value == -1)
        return MetPlayerArmy != PlayerArmy && FindArmy(MetPlayerArmy) != nullptr ? MetPlayerArmy : -1;
    if (value != -2)
        return FindArmy(value) != nullptr ? value : -1;
    const int32_t from = CellOfArmy(GameArmies[PlayerArmy]);
    int32_t nearest = -1, nearestDistance = 0;
    for (int32_t a = 1; a <= ArmyCount; ++a) {
        const TGameArmy* army = FindArmy(a);
        if (army == nullptr || army->Active == 0)
            continue;
        const int32_t distance = GetCellDistance(from, CellOfArmy(*army));
        if (nearest < 0 || distance < nearestDistance) {
            nearest = a;
            nearestDistance = distance;
        }
    }
    return nearest;
}

// Result kind 4.
void ArmyActionResult(const TExecution& ex, const TStoryResult& r)
{
    const int32_t a = ActingArmy(r.ValueA);
    if (a < 0) {
        if (r.ValueA >= 0)
            Skip(ex, r, "no such army");
        return;
    }
    switch (r.Sub) {
    case 0:
        return ActivateResult(ex, r, a);
    case 1:
        return DeactivateResult(a);
    case 2:
        return OrderResult(r, a);
    case 3:
        return ZoneResult(ex, r, a);
    case 4:
        return QueueMapEffect(4, 10, a);
    case 5:
        return MoveResult(ex, r, a);
    case 6:
        return ApplyEventWounds(a, -r.ValueB, r.Op2);
    case 7:
        return ApplyEventWounds(a, r.ValueB, r.Op2);
    default:
        return;
    }
}

// Result kind 5.
void BuildingResult(const TExecution& ex, const TStoryResult& r)
{
    if (!IsWorldBuilding(r.ValueA))
        return Skip(ex, r, "no such building");
    TGameBuilding& state = GameBuildings[static_cast<size_t>(r.ValueA)];
    TGameArmy* garrison = FindArmy(GetGarrisonArmyIndex(r.ValueA));
    const uint8_t open = r.Op == 0 ? 1 : 0;
    switch (r.Sub) {
    case 0:
        state.Closed = r.Op == 1 ? 1 : 0;
        return;
    case 1:
        if (garrison != nullptr)
            garrison->Active = open;
        return;
    case 2:
        state.HireOpen = open;
        return;
    case 3:
        state.ShopOpen = open;
        return;
    case 4:
        state.HealingOpen = open;
        return;
    case 5:
        state.ServiceSwitch4 = open;
        return;
    case 6:
        state.TaxClock = r.Op != 0 ? GameClock + 30 * 1440 * MinuteFx : GameClock - 1440 * MinuteFx;
        return;
    case 7: {
        const TGameArmy* captor = FindArmy(r.ValueB);
        if (captor == nullptr)
            return Skip(ex, r, "no such army");
        state.OwnerArmy = r.ValueB;
        state.OwnerGroup = captor->Group;
        state.Banner = captor->Banner;
        if (garrison != nullptr)
            garrison->Banner = state.Banner;
        return;
    }
    default:
        return;
    }
}

// Result kind 6.
void VariableResult(const TExecution& ex, const TStoryResult& r)
{
    if (r.ValueA < 1 || static_cast<size_t>(r.ValueA) >= ScenarioVariables.size())
        return Skip(ex, r, "no such variable");
    int32_t& v = ScenarioVariables[static_cast<size_t>(r.ValueA)];
    if (r.Op == 0)
        v = SaturatingAdd(v, r.ValueB);
    else if (r.Op == 1)
        v = SaturatingAdd(v, -static_cast<int64_t>(r.ValueB));
    else if (r.Op == 2)
        v = r.ValueB;
}

// An attitude changed by x, cut only at the bound the change heads for.
int64_t ChangeAttitude(int64_t value, int64_t x, bool takeAway)
{
    return takeAway ? std::max<int64_t>(value - x, -100) : std::min<int64_t>(value + x, 100);
}

// Result kind 9.
void AttitudeResult(const TExecution& ex, const TStoryResult& r)
{
    const bool takeAway = r.Mode != 0;
    const int64_t x = r.ValueC;
    const int16_t x16 = static_cast<int16_t>(static_cast<uint16_t>(r.ValueC & 0xFFFF));
    auto changeMove = [takeAway](TGameArmyMove& move, int64_t by) {
        move.Attitude = static_cast<int16_t>(static_cast<uint16_t>(ChangeAttitude(move.Attitude, by, takeAway)));
    };
    if (r.Sub == 0) {
        if (r.ValueA < 0 || r.ValueB < 0 || static_cast<size_t>(r.ValueA) >= Diplomacy.size() ||
            static_cast<size_t>(r.ValueB) >= Diplomacy[static_cast<size_t>(r.ValueA)].size())
            return Skip(ex, r, "no such group");
        int32_t& d = Diplomacy[static_cast<size_t>(r.ValueA)][static_cast<size_t>(r.ValueB)];
        d = static_cast<int32_t>(std::clamp<int64_t>(
            ChangeAttitude(d, x, takeAway), std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
        const int32_t last = std::min<int32_t>(ArmyCount, static_cast<int32_t>(ArmyMoves.size()) - 1);
        for (int32_t p = 0; p <= last; ++p) {
            const TGameArmy& from = GameArmies[static_cast<size_t>(p)];
            if (from.Group != r.ValueA || from.ScenarioByte216 != 0)
                continue;
            for (int32_t q = 0; q <= last && static_cast<size_t>(q) < ArmyMoves[static_cast<size_t>(p)].size(); ++q)
                if (GameArmies[static_cast<size_t>(q)].Group == r.ValueB)
                    changeMove(ArmyMoves[static_cast<size_t>(p)][static_cast<size_t>(q)], x16);
        }
    } else if (r.Sub == 3) {
        if (r.ValueA < 0 || r.ValueB < 0 || static_cast<size_t>(r.ValueA) >= ArmyMoves.size() ||
            static_cast<size_t>(r.ValueB) >= ArmyMoves[static_cast<size_t>(r.ValueA)].size())
            return Skip(ex, r, "no such army");
        changeMove(ArmyMoves[static_cast<size_t>(r.ValueA)][static_cast<size_t>(r.ValueB)], x16);
    }
}

bool WaitsForReschedule(const TStoryEvent& event)
{
    return std::any_of(event.Requires.begin(), event.Requires.end(),
                       [](const TStoryRequire& q) { return q.Kind == 2 && q.Sub == 2; });
}

// Result kind 10.
void RescheduleResult(const TExecution& ex, const TStoryResult& r)
{
    const TStoryEvent* event = FindStoryEvent(r.ValueA);
    if (event == nullptr)
        return Skip(ex, r, "no such event");
    const int64_t d = (static_cast<int64_t>(r.ValueB) * 1440 + static_cast<int8_t>(r.Op2) * 60) * MinuteFx;
    TGameEvent& state = GameEvents[static_cast<size_t>(r.ValueA)];
    state.ScheduledClock = WaitsForReschedule(*event) ? GameClock + d : state.ScheduledClock + d;
}

// Result kind 11.
void MapPointResult(const TExecution& ex, const TStoryResult& r)
{
    const int32_t p = r.ValueA;
    if (p < 1 || p > PointCount || static_cast<size_t>(p) >= PointStates.size() || !IsMapPoint(p))
        return Skip(ex, r, "no such map point");
    if (r.Op <= 1) {
        PointStates[static_cast<size_t>(p)][0] = r.Op == 1 ? 1 : 0;
        ApplyPointBarrier(p);
    } else {
        PointStates[static_cast<size_t>(p)][1] = r.Op == 3 ? 1 : 0;
        ShowPointBarrierObjects(p);
    }
}

// Result kind 12.
void EventResult(const TExecution& ex, const TStoryResult& r)
{
    if (FindStoryEvent(r.ValueA) == nullptr)
        return Skip(ex, r, "no such event");
    if (r.Op == 0) {
        ForcedEvent.Flag = 1;
        ForcedEvent.Event = r.ValueA;
    } else if (r.Op == 1) {
        TGameEvent& state = GameEvents[static_cast<size_t>(r.ValueA)];
        state.TimesFired += 1;
        state.Stage = 0;
        state.LastClock = GameClock;
    }
}

// Result kind 13, Sub 6: every item with a price leaves the player's army.
void LosePricedItems()
{
    auto priced = [](int32_t item) {
        const TItems* found = item != 0 ? FindItem(item) : nullptr;
        return found != nullptr && found->Cost != 0;
    };
    for (int32_t i = 1; i <= GameArmies[PlayerArmy].ItemCount;) {
        const int32_t item = CarriedItems(PlayerArmy)[static_cast<size_t>(i)];
        if (priced(item)) {
            DropCarriedItem(PlayerArmy, i);
            EventItemChanges.push_back(TEventItemChange{item, 1, -1});
            continue;
        }
        ++i;
    }
    TArmyUnits& units = ArmyUnits[PlayerArmy];
    for (int32_t s = UsedSlots(GameArmies[PlayerArmy]); s >= 1; --s) {
        TPersonage& p = units[s];
        if (p.UnitType == 0)
            continue;
        for (int32_t k = 1; k <= 14; ++k) {
            const int32_t item = p.Equipment[k];
            if (!priced(item) || IsOwnDefault(p, k, item))
                continue;
            EmptyEquipmentSlot(p, k);
            EventItemChanges.push_back(TEventItemChange{item, 1, -1});
        }
        ReloadPersonage(p, 0);
    }
}

void PlacePlayerResult(const TExecution& ex, const TStoryResult& r)
{
    TGameArmy& player = GameArmies[PlayerArmy];
    if (r.Op == 1) {
        if (!IsWorldBuilding(r.ValueA))
            return Skip(ex, r, "no such building");
        std::copy(MapBuildings[r.ValueA].Pos, MapBuildings[r.ValueA].Pos + 3, player.Pos);
        player.Cell = CellOf(BuildingCell(r.ValueA));
        player.Building = r.ValueA;
    } else if (r.Op == 2) {
        if (!IsMapPoint(r.ValueA))
            return Skip(ex, r, "no such map point");
        std::copy(MapPoints[r.ValueA].Pos, MapPoints[r.ValueA].Pos + 3, player.Pos);
        const TMapCellXZ cell = MapPoints[r.ValueA].Cell;
        player.Cell = TCellXZ{static_cast<uint16_t>(cell.X), static_cast<uint16_t>(cell.Z)};
        player.Building = CellBuilding(player.Cell);
    } else {
        return;
    }
    QueueMapEffect(6, 10, PlayerArmy);
}

// Result kind 13.
void PlayerAndMapResult(const TExecution& ex, const TStoryResult& r)
{
    switch (r.Sub) {
    case 0:
        QueueMapEffect(15, 16, 0);
        QueueMapEffect(12, 16, r.ValueA * 1440 + static_cast<int8_t>(r.Op) * 60);
        QueueMapEffect(16, 16, 0);
        QueueMapEffect(12, 16, 1);
        return;
    case 1:
        return PlacePlayerResult(ex, r);
    case 2: {
        TGameArmy& player = GameArmies[PlayerArmy];
        player.OrderKind = OrderKindOf(r.Op);
        UpdateStationary(PlayerArmy);
        player.OrderTarget = r.ValueA;
        QueueMapEffect(11, 16, 0);
        return;
    }
    case 3:
        if (r.Op == 0) {
            QueueMapEffect(8, 16, 0);
            QueueMapEffect(10, 16, 0);
            QueueMapEffect(14, 16, 0);
        } else if (r.Op == 1) {
            QueueMapEffect(7, 16, 0);
            QueueMapEffect(9, 16, 0);
            QueueMapEffect(13, 16, 0);
        }
        return;
    case 4:
        if (r.ValueA == 0)
            QueueMapEffect(16, 16, 0);
        else if (r.ValueA == 1)
            QueueMapEffect(15, 16, 0);
        return;
    case 5:
        if (r.ValueA < 0 || static_cast<size_t>(r.ValueA) >= AchievementDefs.size())
            return Skip(ex, r, "no such achievement");
        StoreSetAchievement(AchievementDefs[static_cast<size_t>(r.ValueA)].UID);
        return;
    case 6:
        return LosePricedItems();
    case 7:
        GameArmies[PlayerArmy].Active = 1;
        return;
    case 8:
        return ApplyEventWounds(PlayerArmy, -r.ValueB, r.Op2);
    case 9:
        return ApplyEventWounds(PlayerArmy, r.ValueB, r.Op2);
    default:
        return;
    }
}

void ApplyResult(TExecution& ex, const TStoryResult& r)
{
    switch (r.Kind) {
    case 0:
        return GoldResult(ex, r);
    case 1:
        return ExperienceResult(ex, r);
    case 2:
        return ItemResult(ex, r);
    case 3:
        return PersonageResult(ex, r);
    case 4:
        return ArmyActionResult(ex, r);
    case 5:
        return BuildingResult(ex, r);
    case 6:
        return VariableResult(ex, r);
    case 9:
        return AttitudeResult(ex, r);
    case 10:
        return RescheduleResult(ex, r);
    case 11:
        return MapPointResult(ex, r);
    case 12:
        return EventResult(ex, r);
    case 13:
        return PlayerAndMapResult(ex, r);
    default:
        return; // 7, 8 (read by the journal) and 14 and above change nothing here
    }
}

} // namespace

void ExecuteEventResults(int32_t e, int32_t stage)
{
    ForcedEvent.Flag = 0;
    EventGoldChange = 0;
    EventUnitChanges.clear();
    EventItemChanges.clear();
    const TStoryEvent* event = FindStoryEvent(e);
    if (event == nullptr || FindArmy(PlayerArmy) == nullptr)
        return;
    TGameEvent& state = GameEvents[static_cast<size_t>(e)];
    state.TimesFired += 1;
    state.Stage = stage;
    state.LastClock = GameClock;
    if (stage < 0 || static_cast<size_t>(stage) >= event->Stages.size())
        return;
    TExecution ex;
    ex.Event = e;
    // A copy: the results never change the scenario's records, but a
    // result's calls must not see the list move under them either.
    const std::vector<TStoryResult> results = event->Stages[static_cast<size_t>(stage)].Results;
    for (const TStoryResult& r : results)
        ApplyResult(ex, r);
    for (const int32_t t : ex.Touched) {
        if (t != PlayerArmy)
            AutoEquipArmy(t);
        UpdateArmyTotals(t);
    }
}

void QueueMapEffect(uint8_t kind, uint8_t sub, int32_t value)
{
    MapEffects.push_back(TMapEffect{kind, sub, value});
}

void ChangeWounds(int32_t army, int32_t slot, int32_t delta)
{
    const TGameArmy* record = FindArmy(army);
    if (record == nullptr || slot < 1 || slot > TArmyUnits::HighIndex)
        return;
    TPersonage& p = ArmyUnits[static_cast<size_t>(army)][slot];
    int64_t wounds = static_cast<int64_t>(p.Wounds) + delta;
    if (wounds < 0)
        wounds = 0;
    if (wounds > p.WoundLimit)
        wounds = p.WoundLimit;
    p.Wounds = static_cast<int32_t>(wounds);
    ApplyWoundStats(p, delta <= 0 ? 25 : 26);
}

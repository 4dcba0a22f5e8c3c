#include "model/world/World_Economy.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "model/ai/AIMain.h"
#include "model/world/Army_Operations.h"
#include "model/FixedPoint.h"
#include "model/tables/Global_Texts.h"
#include "model/world/Prices.h"
#include "model/world/World_Access.h"
#include "model/world/World_Log.h"

namespace {

constexpr int32_t SecondArmySupportCap = 12;

bool IsType(int32_t b, TBuildingType type)
{
    return MapBuildings[b].BuildingType == static_cast<uint8_t>(type);
}

// Income counts from a village only once its tax time has come.
bool PaysIncomeNow(int32_t b)
{
    return !IsType(b, TBuildingType::Village) || GameClock >= GameBuildings[static_cast<size_t>(b)].TaxClock;
}

// The daily pay of a personage by its hire kind. Recruits are paid only past
// the support left (counted down in supportLeft); without a support count
// they cost nothing.
int64_t PersonagePay(const TPersonage& p, int64_t* supportLeft)
{
    if (IsRecruitHire(p.HireKind)) {
        if (supportLeft == nullptr)
            return 0;
        *supportLeft -= 1;
        return *supportLeft < 0 ? static_cast<int64_t>(p.Cost) * RecruitMaintenance / 100 : 0;
    }
    switch (p.HireKind) {
    case hireMercenary:
        return static_cast<int64_t>(p.Cost) * MercenaryMaintenance / 100;
    case hireLeader:
        return static_cast<int64_t>(p.Cost) * LeaderMaintenance / 100;
    default:
        return 0;
    }
}

// The hero start block whose economy the player's army follows: its
// leader's hero kind, else the game's hero kind; nullptr when neither is one.
const TMapHero* PlayerStartBlock()
{
    int32_t kind = 0;
    if (const TArmyUnits* units = FindArmyUnits(PlayerArmy))
        kind = (*units)[1].UnitType;
    if (kind < 1 || kind > 6)
        kind = HeroKind;
    if (kind < 1 || kind > 6)
        return nullptr;
    return &MapStory.Heroes[kind];
}

void CalcEconomyOf(int32_t x, int32_t supportCap)
{
    TGameArmy* army = FindArmy(x);
    if (army == nullptr)
        return;
    army->StrongholdCount = 0;
    army->FarmCount = 0;
    int64_t income = 0, upkeep = 0, support = 0;
    if (x == PlayerArmy) {
        if (const TMapHero* hero = PlayerStartBlock()) {
            income = hero->DailyIncome;
            support = hero->SupportBase;
        }
        support += CurrentDifficulty().HeroSupport;
    } else {
        if (x <= MapArmies.Count && x <= MapArmyMax) {
            income = MapArmies[x].DailyIncome;
            support = MapArmies[x].SupportBase;
        }
        support += CurrentDifficulty().EnemySupport;
    }

    const int32_t last = LastWorldBuilding();
    for (int32_t b = 1; b <= last; ++b) {
        const TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
        if (state.OwnerArmy != x || state.Occupied != 0 || !BuildingExists(b))
            continue;
        if (IsType(b, TBuildingType::Castle) || IsType(b, TBuildingType::Monastery))
            army->StrongholdCount += 1;
        if (IsType(b, TBuildingType::Village) || IsType(b, TBuildingType::Farm))
            army->FarmCount = static_cast<uint8_t>(army->FarmCount + 1);
        support += GetBuildingSupport(x, b);
        if (PaysIncomeNow(b))
            income += GetBuildingIncome(x, b);
        if (MapBuildings[b].HasActions != 0)
            if (const TGameArmy* garrison = FindArmy(GetGarrisonArmyIndex(b))) {
                const TArmyUnits& guards = ArmyUnits[static_cast<size_t>(GetGarrisonArmyIndex(b))];
                for (int32_t s = 1; s <= UsedSlots(*garrison); ++s)
                    upkeep -= PersonagePay(guards[s], nullptr);
            }
    }
    support = std::min<int64_t>(support, supportCap);

    int64_t left = support;
    const TArmyUnits& units = ArmyUnits[static_cast<size_t>(x)];
    for (int32_t s = 1; s <= UsedSlots(*army); ++s)
        if (units[s].UnitType != 0)
            upkeep -= PersonagePay(units[s], &left);
    army->IncomeBase = ClampToInt32(income);
    army->SupportLimit = ClampToInt32(support);
    army->Upkeep = ClampToInt32(upkeep);
    army->DailyBalance = ClampToInt32(income + upkeep);
}

int32_t ReservePercent(int32_t b)
{
    const TMapBuilding& record = MapBuildings[b];
    if (record.HasTreasury != 0)
        return CastleGoldReservePercent;
    if (record.HasGarrison != 0)
        return VillageGoldReservePercent;
    return OtherBuildingGoldReservePercent;
}

int64_t ReserveOf(int32_t b)
{
    return static_cast<int64_t>(GetBuildingIncome(GameBuildings[static_cast<size_t>(b)].OwnerArmy, b)) *
           ReservePercent(b) / 100;
}

// The money fields of a building are 16-bit: sums are made wide and stored
// saturated.
void StoreMoney(int16_t& field, int64_t value)
{
    field = ClampToInt16(value);
}

int64_t Averaged(int16_t store, int64_t amount, bool atDayMark)
{
    return atDayMark ? (static_cast<int64_t>(store) * 6 + amount) / 7 : store + amount;
}

bool IsTributeType(int32_t b)
{
    return IsType(b, TBuildingType::Village) || IsType(b, TBuildingType::Farm) || IsType(b, TBuildingType::Tavern) ||
           IsType(b, TBuildingType::House) || IsType(b, TBuildingType::Market);
}

void CollectTreasuries(bool atDayMark)
{
    const int32_t last = LastWorldBuilding();
    for (int32_t g = 1; g <= last; ++g) {
        TGameBuilding& state = GameBuildings[static_cast<size_t>(g)];
        if (MapBuildings[g].IncomeBonus == 0 || GameClock < state.TaxClock || state.Occupied != 0)
            continue;
        const int32_t income = GetBuildingIncome(state.OwnerArmy, g);
        const int64_t reserve = static_cast<int64_t>(income) * ReservePercent(g) / 100;
        if (state.Treasury > reserve) {
            StoreMoney(state.Treasury, reserve);
            continue;
        }
        const int64_t add = state.OwnerArmy == PlayerArmy ? ApplyPriceFactor(false, income) : income;
        StoreMoney(state.StoreB, Averaged(state.StoreB, add, atDayMark));
        StoreMoney(state.Treasury, std::min<int64_t>(state.Treasury + add, reserve));
    }
}

// Villages and their like send their treasury to the strongest stronghold
// of their owner that covers them.
void PayTribute(bool atDayMark)
{
    const int32_t last = LastWorldBuilding();
    for (int32_t g = 1; g <= last; ++g) {
        if (!BuildingExists(g) || !IsTributeType(g))
            continue;
        TGameBuilding& state = GameBuildings[static_cast<size_t>(g)];
        int32_t chosen = 0;
        int64_t best = 0;
        if (static_cast<size_t>(g) < BuildingNeighbours.size())
            for (int32_t k : BuildingNeighbours[static_cast<size_t>(g)]) {
                if (!IsWorldBuilding(k) || GameBuildings[static_cast<size_t>(k)].OwnerArmy != state.OwnerArmy ||
                    MapBuildings[k].IncomeBonus == 0)
                    continue;
                const TGameArmy* garrison = FindArmy(GetGarrisonArmyIndex(k));
                // Two buildings on one cell are as near as neighbours get.
                const int32_t distance = std::max(1, GetCellDistance(BuildingCell(g), BuildingCell(k)));
                const int64_t value = RoundDivHalfEven(garrison ? garrison->Strength : 0, distance);
                if (value > 0 && value > best) {
                    best = value;
                    chosen = k;
                }
            }
        if (chosen == 0) {
            state.CapturedFrom = 0;
            continue;
        }
        state.CapturedFrom = ClampToInt16(chosen);
        TGameBuilding& stronghold = GameBuildings[static_cast<size_t>(chosen)];
        const int64_t reserve = ReserveOf(chosen);
        if (reserve <= 0)
            continue;
        const int64_t m = state.Treasury;
        StoreMoney(stronghold.StoreA, Averaged(stronghold.StoreA, m, atDayMark));
        StoreMoney(stronghold.Treasury, std::min<int64_t>(stronghold.Treasury + m, reserve));
        StoreMoney(state.Treasury, state.Treasury - m);
    }
    for (int32_t g = 1; g <= last; ++g)
        if (IsTributeType(g))
            if (TGameArmy* garrison = FindArmy(GetGarrisonArmyIndex(g)))
                garrison->Gold = GameBuildings[static_cast<size_t>(g)].Treasury;
}

void PayIncomeToOwners()
{
    const int32_t last = LastWorldBuilding();
    for (int32_t b = 1; b <= last; ++b) {
        const TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
        if (MapBuildings[b].IncomeBonus == 0 || !PaysIncomeNow(b) || state.Occupied != 0)
            continue;
        if (TGameArmy* owner = state.OwnerArmy >= 0 ? FindArmy(state.OwnerArmy) : nullptr)
            owner->Gold = ClampToInt32(static_cast<int64_t>(owner->Gold) + GetBuildingIncome(state.OwnerArmy, b));
    }
}

// The payer's gold never goes below 0: the shortfall becomes the
// personage's debt, and a paid personage owes nothing.
void Pay(TGameArmy& payer, TPersonage& p, int64_t amount)
{
    const int64_t gold = static_cast<int64_t>(payer.Gold) - amount;
    if (gold < 0) {
        p.UpkeepDebt = ClampToInt16(static_cast<int64_t>(p.UpkeepDebt) - gold);
        payer.Gold = 0;
    } else {
        p.UpkeepDebt = 0;
        payer.Gold = ClampToInt32(gold);
    }
}

// Personages from slot 2 on whose debt exceeds the limit leave; their items
// stay with the army. A slot is looked at again only while it still holds
// a personage, so the walk always ends.
void DismissDebtors(int32_t army, int64_t limit)
{
    TGameArmy& record = GameArmies[static_cast<size_t>(army)];
    TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    TIntArray removed;
    int32_t r = 2;
    while (r <= UsedSlots(record)) {
        if (units[r].UnitType != 0 && units[r].UpkeepDebt > limit) {
            if (WorldLogActive())
                WorldLog("leaves for debt: " + std::string(units[r].Name.Str()) + " of " + GetArmyLogName(army));
            RemovePersonage(army, r, true, removed);
        }
        else
            ++r;
    }
}

void PayUpkeep()
{
    for (int32_t a = FirstArmy; a <= ArmyCount; ++a) {
        TGameArmy* army = FindArmy(a);
        if (army == nullptr || army->Active == 0)
            continue;
        TArmyUnits& units = ArmyUnits[static_cast<size_t>(a)];
        int64_t left = army->SupportLimit;
        for (int32_t r = 1; r <= UsedSlots(*army); ++r)
            if (units[r].UnitType != 0)
                Pay(*army, units[r], PersonagePay(units[r], &left));
        if (a != PlayerArmy)
            DismissDebtors(a, army->IncomeBase);
    }

    const int32_t last = LastWorldBuilding();
    for (int32_t b = 1; b <= last; ++b) {
        const int32_t ownerNumber = GameBuildings[static_cast<size_t>(b)].OwnerArmy;
        TGameArmy* owner = ownerNumber >= 0 ? FindArmy(ownerNumber) : nullptr;
        const int32_t g = GetGarrisonArmyIndex(b);
        TGameArmy* garrison = FindArmy(g);
        if (owner == nullptr || garrison == nullptr || MapBuildings[b].HasActions == 0 || owner->Active == 0 ||
            garrison->PersonageCount == 0)
            continue;
        TArmyUnits& guards = ArmyUnits[static_cast<size_t>(g)];
        for (int32_t r = 1; r <= UsedSlots(*garrison); ++r)
            if (guards[r].UnitType != 0)
                Pay(*owner, guards[r], PersonagePay(guards[r], nullptr));
        if (ownerNumber != PlayerArmy)
            DismissDebtors(g, owner->IncomeBase);
    }
}

} // namespace

void CalcArmyEconomy(int32_t a, int32_t b)
{
    CalcEconomyOf(a, MapStory.SupportCap);
    if (b >= 0 && b != a)
        CalcEconomyOf(b, SecondArmySupportCap);
}

int32_t GetBuildingIncome(int32_t army, int32_t building)
{
    if (!IsWorldBuilding(building))
        return 0;
    const TDifficultyRules& rules = CurrentDifficulty();
    const int64_t percent = army == PlayerArmy ? rules.HeroIncome : rules.EnemyIncome;
    return ClampToInt32(MapBuildings[building].IncomeBonus * percent / 100);
}

int32_t GetBuildingSupport(int32_t army, int32_t building)
{
    const TGameArmy* record = FindArmy(army);
    if (record == nullptr || !IsWorldBuilding(building))
        return 0;
    using B = TBuildingType;
    const auto type = static_cast<B>(MapBuildings[building].BuildingType);
    const auto any = [type](std::initializer_list<B> types) {
        return std::find(types.begin(), types.end(), type) != types.end();
    };
    bool draws = false;
    switch (static_cast<TArmyBehavior>(record->Behavior)) {
    case TArmyBehavior::Hero:
    case TArmyBehavior::Feudal:
    case TArmyBehavior::Guard:
    case TArmyBehavior::Watch:
        draws = any({B::Town, B::Castle, B::Fort});
        break;
    case TArmyBehavior::Chruch:
    case TArmyBehavior::Monk:
        draws = type <= B::Chapel;
        break;
    case TArmyBehavior::Trader:
    case TArmyBehavior::Traveler:
        draws = any({B::Market, B::Camp});
        break;
    case TArmyBehavior::Bandits:
        draws = any({B::Village, B::Farm, B::Tavern, B::Ruin, B::Cave});
        break;
    case TArmyBehavior::Heretic:
        draws = any({B::Village, B::Farm, B::Tavern, B::Ruin, B::Altar});
        break;
    case TArmyBehavior::Peasant:
        draws = any({B::Village, B::Farm});
        break;
    default:
        break;
    }
    return draws ? MapBuildings[building].Income : 0;
}

bool HasFreeSupport(int32_t army)
{
    const TGameArmy* record = FindArmy(army);
    if (record == nullptr)
        return false;
    const TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    int32_t recruits = 0;
    for (int32_t s = 1; s <= UsedSlots(*record); ++s)
        if (units[s].UnitType != 0 && IsRecruitHire(units[s].HireKind))
            ++recruits;
    return recruits < record->SupportLimit;
}

int32_t ApplyPriceFactor(bool raise, int32_t price)
{
    int64_t sum = 0;
    for (int32_t sample : HourlyGoldSamples)
        sum += sample;
    const float mean = static_cast<float>(sum) / 24.0f;
    const long double divisor = MapStory.PriceDivisor != 0 ? MapStory.PriceDivisor : 10000;
    const long double w = std::trunc(static_cast<long double>(mean) * 5 / divisor);
    const long double g = w / 5;
    const long double f = g * g / (g * g / 120 + 1.0L / 85) * CurrentDifficulty().GoldCorrection / 10000;
    return ClampToInt32(RoundHalfEven((raise ? 1 + f : 1 - f) * price));
}

void DailyWork(bool atDayMark)
{
    if (MapStory.TreasuryMode != 0) {
        CollectTreasuries(atDayMark);
        PayTribute(atDayMark);
    } else {
        PayIncomeToOwners();
    }
    if (atDayMark)
        PayUpkeep();
}

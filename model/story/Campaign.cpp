#include "model/story/Campaign.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "model/ai/AIMain_Movement.h"
#include "model/personage/Personage_Rules.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/Support.h"
#include "model/world/World_Access.h"
#include "model/world/World_Economy.h"

TCampaignHero CampaignHero;

namespace {

constexpr int16_t TakenHireKind = -1; // a stored personage already carried

// Equipment slots of the stored personages whose item went to the item list
// already, [stored slot][equipment slot].
using TTakenItems = bool[TArmyUnits::HighIndex + 1][15];

bool IsPriceless(int32_t item)
{
    const TItems* found = FindItem(item);
    return found != nullptr && found->Cost == 0;
}

bool IsOwnDefault(const TPersonage& p, int32_t k)
{
    return k <= 4 && p.Equipment[k] == p.DefaultItems[k];
}

std::string NameKey(const std::u16string& name)
{
    return UpperCaseStr(WideToGameAnsi(name));
}

// The scenario NPC type the companion's tag names in the new scenario (the
// last match), 0 when none.
int32_t MatchingNpcType(const TPersonage& p)
{
    const std::string tag = UpperCaseStr(p.TagName.Str());
    int32_t found = 0;
    for (int32_t k = 1; k <= std::min(NpcTypeCount, NpcTypeMax); ++k)
        if (UpperCaseStr(UnitTypes[-k].TagName.Str()) == tag)
            found = k;
    return found;
}

// Carries the stored personages a pass takes into the next slots of P.
template <typename F> void CarryPass(int32_t& carried, F takes)
{
    TArmyUnits& target = ArmyUnits[PlayerArmy];
    for (int32_t s = 1; s <= TArmyUnits::HighIndex && carried < TArmyUnits::HighIndex; ++s) {
        TPersonage& stored = CampaignHero.Units[s];
        if (stored.HireKind == TakenHireKind || stored.Hits <= 0)
            continue;
        TPersonage copy = stored;
        if (!takes(copy))
            continue;
        target[++carried] = copy;
        stored.HireKind = TakenHireKind;
    }
}

int32_t CarryPersonages()
{
    const TMapStory& h = MapStory;
    int32_t carried = 0;
    CarryPass(carried, [&h](TPersonage& p) {
        if (p.UnitType <= 0 || p.HireKind != hireHero)
            return false;
        if (h.KeepExperience == 0) {
            p.ExpLevel = 0;
            p.Experience = 0;
            ReloadPersonage(p, 0);
        }
        return true;
    });
    if (h.KeepCompanions != 0)
        CarryPass(carried, [](TPersonage& p) {
            if (p.UnitType >= 0)
                return false;
            const int32_t k = MatchingNpcType(p);
            if (k == 0)
                return false;
            p.UnitType = -k;
            return true;
        });
    // A scenario personage's type number belongs to the old scenario: only
    // a companion whose tag the new scenario knows goes along.
    if (h.KeepFollowers != 0)
        CarryPass(carried, [](TPersonage& p) { return p.UnitType > 0 && IsFollowerHire(p.HireKind); });
    if (h.KeepRecruits != 0)
        CarryPass(carried, [](TPersonage& p) { return p.UnitType > 0 && p.HireKind == hireRecruit; });
    return carried;
}

// Without KeepEquipment every personage starts from its type's items; the
// priceless ones it wore may go to the army's list.
void ResetEquipment(TTakenItems& taken)
{
    TArmyUnits& target = ArmyUnits[PlayerArmy];
    const int32_t count = std::min<int32_t>(CampaignHero.Army.PersonageCount, TArmyUnits::HighIndex);
    for (int32_t s = 1; s <= count; ++s) {
        const TPersonage& stored = CampaignHero.Units[s];
        if (MapStory.KeepPricelessItems != 0)
            for (int32_t k = 1; k <= 14; ++k) {
                const int32_t item = stored.Equipment[k];
                // A slot holding its own default item gives nothing away.
                if (item != 0 && IsPriceless(item) && !IsOwnDefault(stored, k)) {
                    CampaignHero.Items.push_back(item);
                    taken[s][k] = true;
                }
            }
        TPersonage& p = target[s];
        for (int32_t k = 1; k <= 14; ++k)
            p.Equipment[k] = p.DefaultItems[k];
    }
}

void RestoreItems(const TTakenItems& taken)
{
    TIntArray& items = CampaignHero.Items;
    if (items.empty())
        items.push_back(0);
    TIntArray list{0};
    if (MapStory.KeepInventory != 0) {
        for (int32_t s = 1; s <= TArmyUnits::HighIndex; ++s) {
            const TPersonage& stored = CampaignHero.Units[s];
            if (stored.UnitType == 0 || stored.Hits <= 0 || stored.HireKind == TakenHireKind)
                continue;
            for (int32_t k = 1; k <= 14; ++k)
                if (stored.Equipment[k] != 0 && !IsOwnDefault(stored, k) && !taken[s][k])
                    items.push_back(stored.Equipment[k]);
        }
        list = items;
    } else if (MapStory.KeepPricelessItems != 0) {
        for (size_t i = 1; i < items.size(); ++i)
            if (IsPriceless(items[i]))
                list.push_back(items[i]);
    }
    list[0] = 0;
    ArmyItems[PlayerArmy] = list;
    GameArmies[PlayerArmy].ItemCount = static_cast<int32_t>(list.size()) - 1;
}

void RestoreVariables()
{
    const size_t count = std::min(ScenarioVariableNames.size(), ScenarioVariables.size());
    const size_t stored = std::min(CampaignHero.VariableNames.size(), CampaignHero.Variables.size());
    for (size_t i = 1; i < count; ++i) {
        const std::string name = NameKey(ScenarioVariableNames[i]);
        for (size_t j = 1; j < stored; ++j)
            if (NameKey(CampaignHero.VariableNames[j]) == name)
                ScenarioVariables[i] = CampaignHero.Variables[j];
    }
}

} // namespace

void SaveCampaignHero()
{
    CampaignHero.Clock = GameClock;
    CampaignHero.StartDate = GameStartDate;
    const TGameArmy* player = FindArmy(PlayerArmy);
    if (player != nullptr) {
        CampaignHero.Army = *player;
        CampaignHero.Gold = player->Gold;
        // Entries past the count are not items of the army.
        CampaignHero.Items = ArmyItems[PlayerArmy];
        CampaignHero.Items.resize(static_cast<size_t>(std::max(player->ItemCount, 0)) + 1, 0);
        CampaignHero.Units = ArmyUnits[PlayerArmy];
    } else {
        CampaignHero.Army = TGameArmy{};
        CampaignHero.Gold = 0;
        CampaignHero.Items = TIntArray{0};
        std::memset(static_cast<void*>(&CampaignHero.Units), 0, sizeof CampaignHero.Units);
    }
    CampaignHero.Variables = ScenarioVariables;
    CampaignHero.VariableNames = ScenarioVariableNames;
    CampaignContinued = 1;
}

void RestoreCampaignHero()
{
    if (FindArmy(PlayerArmy) == nullptr) {
        CampaignContinued = 0;
        return;
    }
    TGameArmy& player = GameArmies[PlayerArmy];
    float pos[3];
    std::memcpy(pos, player.Pos, sizeof pos);
    const TCellXZ cell = player.Cell;
    const int32_t gold = player.Gold;
    player = CampaignHero.Army;
    std::memcpy(player.Pos, pos, sizeof pos);
    player.Cell = cell;
    player.Gold = gold;
    player.Building = 0;
    player.EnteredBuilding = 1;

    const int32_t carried = CarryPersonages();
    TTakenItems taken = {};
    if (MapStory.KeepEquipment == 0)
        ResetEquipment(taken);
    RestoreItems(taken);
    TArmyUnits& units = ArmyUnits[PlayerArmy];
    for (int32_t s = 1; s <= carried; ++s) {
        TPersonage& p = units[s];
        p.Wounds = 0;
        p.Hits = p.Stats[statHits];
        ReloadPersonage(p, 0);
    }
    UpdateArmyTotals(PlayerArmy);
    if (MapStory.KeepGold != 0)
        player.Gold = CampaignHero.Gold;

    const int64_t endDay = CampaignHero.Clock / MinuteFx / 1440;
    const int64_t date =
        (endDay + MapStory.DaysBetween + CampaignHero.StartDate / 1440) * 1440 + MapStory.StartDate % 1440;
    GameStartDate = static_cast<int32_t>(
        std::clamp<int64_t>(date, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    RestoreVariables();

    TIntArray().swap(CampaignHero.Items);
    CalcArmyEconomy(PlayerArmy, -1);
    CampaignContinued = 0;
}

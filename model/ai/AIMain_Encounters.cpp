#include "model/ai/AIMain_Encounters.h"

#include <algorithm>

#include <memory>

#include "battle/Battle.h"
#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Strategy.h"
#include "model/ai/AIMain_Walking.h"
#include "battle/BattleAftermath.h"
#include "battle/BattleSide.h"
#include "model/tables/Global_Texts.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/World_Access.h"
#include "model/world/World_Log.h"

const char* const EncounterKindNames[EncounterKindCount] = {"None",   "Move",   "Talk",    "Battle",  "Assault",
                                                            "Siege",  "Attack", "Capture", "Building"};

TIntArray MetArmies;

namespace {

// Armies meet within this many cells of each other.
constexpr int32_t MeetingRange = 3;

TPartyBattle InstalledMapBattle = nullptr;

// The garrison army of a building entry (-b), else the entry itself.
int32_t PartyArmy(int32_t entry)
{
    return entry < 0 ? GetGarrisonArmyIndex(entry) : entry;
}

bool HasOwner(const TGameBuilding& state)
{
    return state.OwnerArmy >= 0 || state.OwnerGroup >= 0;
}

// Both relation cells of a meeting get the clock.
void StampMeeting(int32_t a, int32_t i)
{
    if (a == PlayerArmy)
        MetPlayerArmy = i;
    else if (i == PlayerArmy)
        MetPlayerArmy = a;
    if (static_cast<size_t>(a) < ArmyMoves.size() && static_cast<size_t>(i) < ArmyMoves[static_cast<size_t>(a)].size())
        ArmyMoves[static_cast<size_t>(a)][static_cast<size_t>(i)].LastMeeting = GameClock;
    if (static_cast<size_t>(i) < ArmyMoves.size() && static_cast<size_t>(a) < ArmyMoves[static_cast<size_t>(i)].size())
        ArmyMoves[static_cast<size_t>(i)][static_cast<size_t>(a)].LastMeeting = GameClock;
}

bool InPursuit(int32_t a, int32_t i)
{
    const auto pursuit = [](int32_t x, int32_t y) {
        return static_cast<size_t>(x) < ArmyMoves.size() && static_cast<size_t>(y) < ArmyMoves[static_cast<size_t>(x)].size() &&
               ArmyMoves[static_cast<size_t>(x)][static_cast<size_t>(y)].Pursuit != 0;
    };
    return pursuit(a, i) || pursuit(i, a);
}

int32_t DistanceTo(int32_t i)
{
    return static_cast<size_t>(i) < ArmyDistances.size() ? ArmyDistances[static_cast<size_t>(i)] : NoArmyDistance;
}

void LogEncounter(int32_t a, TEncounterKind kind)
{
    if (!WorldLogActive() || kind == TEncounterKind::None || kind == TEncounterKind::Move)
        return;
    std::string line = "encounter: " + GetArmyLogName(a) + " " + EncounterKindNames[static_cast<int>(kind)];
    for (size_t k = 0; k < MetArmies.size(); ++k)
        line += (k == 0 ? ": " : ", ") +
                (MetArmies[k] < 0 ? GetBuildingLogName(-MetArmies[k]) : GetArmyLogName(MetArmies[k]));
    WorldLog(line);
}

} // namespace

void AddMetArmy(int32_t entry)
{
    MetArmies.push_back(entry);
}

bool IsBattleEncounter(TEncounterKind kind)
{
    return kind == TEncounterKind::Battle || kind == TEncounterKind::Assault || kind == TEncounterKind::Attack;
}

TEncounterKind ResolveEncounter(int32_t a)
{
    const TGameArmy* army = FindArmy(a);
    if (army == nullptr)
        return TEncounterKind::None;
    if (army->Hidden != 0)
        return TEncounterKind::Move;
    MetArmies.clear();
    TEncounterKind result = TEncounterKind::None;
    const bool entered = army->EnteredBuilding != 0 && army->Building > 0;
    int32_t b = 0;
    bool taken = false;
    if (entered) {
        const TTerrainVertex* v = FindTerrainVertex(CellOfArmy(*army));
        const int32_t cover = v != nullptr ? BuildingOfCover(v->Cover) : 0;
        if (IsWorldBuilding(cover)) {
            b = cover;
            const TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
            if (!HasOwner(state) || GetRelation(a, -b, false) < 0) {
                taken = true;
                if (MapBuildings[b].HasGarrison == 0 || state.Occupied != 0)
                    AddMetArmy(-b);
            } else {
                result = TEncounterKind::Building;
            }
        }
    } else {
        b = army->Building;
    }

    for (int32_t i = FirstArmy; i <= ArmyCount; ++i) {
        const TGameArmy* other = i != a ? FindArmy(i) : nullptr;
        if (other == nullptr || other->Active == 0 || other->Hidden != 0 || other->Building != b)
            continue;
        // Far armies meet only inside an entered building: the relation is
        // looked up only where it can matter.
        if (!entered && DistanceTo(i) > MeetingRange)
            continue;
        const int32_t r = GetRelation(a, i, false);
        if (entered && r < 0) {
            result = TEncounterKind::Battle;
            AddMetArmy(i);
            StampMeeting(a, i);
            continue;
        }
        if (DistanceTo(i) > MeetingRange)
            continue;
        StampMeeting(a, i);
        if (r < 0) {
            result = TEncounterKind::Battle;
            AddMetArmy(i);
        } else if (result != TEncounterKind::Building) {
            result = InPursuit(a, i) ? TEncounterKind::Talk : TEncounterKind::Move;
            if (result == TEncounterKind::Talk) {
                RequestReplan(a, 5);
                RequestReplan(i, 5);
            }
        }
    }

    if (taken && MapBuildings[b].HasTreasury != 0) {
        const TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
        AssaultParams = NoAssaultParams;
        AssaultParams.Attacker = AssaultParams.LastAttacker = a;
        AssaultParams.AssaultB = static_cast<uint16_t>(state.AssaultB < 0 ? 0 : state.AssaultB);
        AssaultParams.AssaultC = state.AssaultC;
        AssaultParams.DefenceFire = static_cast<uint16_t>(state.AssaultA < 0 ? 0 : state.AssaultA);
        for (const int32_t entry : MetArmies)
            AddAssaultDefenders(PartyArmy(entry));
        return TEncounterKind::Assault;
    }
    if (taken)
        result = MetArmies.empty() ? TEncounterKind::Capture : TEncounterKind::Attack;
    AssaultParams = NoAssaultParams;
    return result;
}

void AddAssaultDefenders(int32_t army)
{
    const TGameArmy* record = FindArmy(army);
    if (record == nullptr || record->Active == 0)
        return;
    const TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    int64_t fire = AssaultParams.DefenceFire;
    for (int32_t slot = 1; slot <= UsedSlots(*record); ++slot) {
        const TPersonage& p = units[slot];
        if (p.AttackMode == AttackModeShoot)
            fire += p.Stats[statAttackShot];
        else if (p.AttackMode == AttackModeFight && p.BonusSet.Has(pGuard))
            fire += p.Stats[statAttackBlow] / 3;
    }
    AssaultParams.DefenceFire = static_cast<uint16_t>(fire < 0 ? 0 : fire > 0xFFFF ? 0xFFFF : fire);
}

void SetAssaultParams(int32_t attacker, int32_t building)
{
    AssaultParams = NoAssaultParams;
    AssaultParams.Attacker = AssaultParams.LastAttacker = attacker;
    if (!IsWorldBuilding(building))
        return;
    const TGameBuilding& b = GameBuildings[static_cast<size_t>(building)];
    AssaultParams.AssaultB = static_cast<uint16_t>(b.AssaultB < 0 ? 0 : b.AssaultB);
    AssaultParams.AssaultC = b.AssaultC;
    AssaultParams.DefenceFire = static_cast<uint16_t>(b.AssaultA < 0 ? 0 : b.AssaultA);
    AddAssaultDefenders(GetGarrisonArmyIndex(building));
    for (int32_t i = FirstArmy; i <= ArmyCount; ++i) {
        const TGameArmy* army = FindArmy(i);
        if (army != nullptr && i != attacker && army->Active != 0 && army->Building == building &&
            army->Stationary != 0 && GetRelation(i, attacker, false) < 0)
            AddAssaultDefenders(i);
    }
}

uint8_t SilentMapBattle(int32_t army, int32_t party)
{
    // Each is well over 100 KB: the heap, never the stack.
    struct TMapBattleRoom {
        TBattleSide Side1;
        TBattleSide Side2;
        TBattle Battle;
    };
    auto room = std::make_unique<TMapBattleRoom>();
    BuildBattleSide(army, 0, room->Side1);
    BuildBattleSide(party, 1, room->Side2);
    room->Battle.Init(room->Side1, room->Side2, 0, 0, Silent);
    return AI_GetBattleResult(room->Battle, 0);
}

void SetMapBattle(TPartyBattle battle)
{
    InstalledMapBattle = battle;
}

uint8_t FightMetArmies(int32_t army, TPartyBattle fight)
{
    if (MetArmies.empty() || FindArmy(army) == nullptr)
        return 0;
    // The battles' aftermath may change the world; the parties stay as met.
    const TIntArray parties = MetArmies;
    uint8_t code = 0;
    for (const int32_t entry : parties) {
        const TGameArmy* party = FindArmy(PartyArmy(entry));
        if (party != nullptr && party->AbleCount > 0)
            code = fight(army, PartyArmy(entry));
        const TGameArmy* self = FindArmy(army);
        if (self == nullptr || self->PersonageCount == 0 || (code != SideWon && code <= SideLost))
            break;
    }
    if (parties[0] < 0 && code == SideWon)
        CaptureBuilding(army, -parties[0], 0);
    return code;
}

uint8_t AI_Army_BattleMetArmies(int32_t army)
{
    return FightMetArmies(army, InstalledMapBattle != nullptr ? InstalledMapBattle : SilentMapBattle);
}

TEncounterKind RunEncounterStep(int32_t army, bool leavePlayerMeetings)
{
    const TEncounterKind kind = ResolveEncounter(army);
    LogEncounter(army, kind);
    if (army == PlayerArmy) {
        if (leavePlayerMeetings && kind == TEncounterKind::Capture)
            CaptureBuilding(army, 0, 0);
        return kind;
    }
    if (leavePlayerMeetings && IsBattleEncounter(kind) &&
        std::find(MetArmies.begin(), MetArmies.end(), PlayerArmy) != MetArmies.end())
        return kind;
    if (kind == TEncounterKind::Building)
        AI_Army_MoveInBuilding(army);
    else if (kind == TEncounterKind::Capture)
        CaptureBuilding(army, 0, 0);
    else if (IsBattleEncounter(kind))
        AI_Army_BattleMetArmies(army);
    return kind;
}

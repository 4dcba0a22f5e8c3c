// Story events: the test of an event's requirements against the world, the
// choice of a stage, follow-ups, the talks a building offers and the search
// for the next due event.
#include "model/story/StoryEvents.h"

#include <algorithm>

#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Random.h"
#include "model/ai/AIMain_Strategy.h"
#include "model/ai/AIMain_Walking.h"
#include "model/tables/Global_Texts.h"
#include "model/personage/Personage_Rules.h"
#include "model/story/StoryEvents_Internal.h"
#include "model/world/World_Access.h"
#include "model/world/World_Log.h"
#include "model/world/World_Setup.h"

TEventOutcome EventOutcome;
uint8_t ActionFlag = 0;
TIntArray ActionEvents;
TIntArray DueFollowUps;

namespace {

constexpr int64_t DayFx = 1440 * MinuteFx;
constexpr int64_t NightShift = 3 * 60 * MinuteFx; // the night counts to the day it ends in
constexpr int32_t PositionArmies = 5;             // armies the position marks are kept for

// Events whose requirements went beyond the evaluation's tables, logged once.
std::vector<uint8_t> LoggedBeyondTables;

void LogBeyondTables(int32_t e, const char* what)
{
    if (static_cast<size_t>(e) >= LoggedBeyondTables.size())
        LoggedBeyondTables.resize(static_cast<size_t>(e) + 1, 0);
    if (LoggedBeyondTables[static_cast<size_t>(e)] != 0)
        return;
    LoggedBeyondTables[static_cast<size_t>(e)] = 1;
    WorldLog("event " + std::to_string(e) + ": " + what + ", not tested");
}

int64_t DayOfClock(int64_t clock)
{
    return clock / DayFx;
}

// The day of the last firing, -1 before the first.
int64_t LastDayOf(int64_t lastClock, int64_t shift)
{
    return lastClock <= 0 ? -1 : DayOfClock(lastClock + shift);
}

int32_t HourOfClock(int64_t clock)
{
    return static_cast<int32_t>(clock / 60 / MinuteFx % 24);
}

// The two logic-group counters of one group.
struct TGroupCount {
    int32_t Total = 0;
    int32_t Violations = 0;
};

// What one evaluation keeps while it walks the requirements.
struct TEvaluation {
    int32_t Event = 0;
    const TStoryEvent* Record = nullptr;
    bool FollowUp = false;
    bool Result = true;
    int64_t Today = 0;
    int64_t LastDay = -1;
    enum { MeetingNone, MeetingPending, MeetingMet } Meeting = MeetingNone;
    // Position marks [army number 1..5][class: 0 points, 1 buildings, 2 armies]: 2 unsatisfied, 1 satisfied.
    uint8_t Marks[PositionArmies + 1][3] = {};
    TGroupCount EventGroups[3];
    TGroupCount ValueGroups[3];
};

const TGameEvent* FindEventState(int32_t e)
{
    return e >= 1 && e <= StoryEventCount && static_cast<size_t>(e) < GameEvents.size() &&
                   static_cast<size_t>(e) < StoryEvents.size()
               ? &GameEvents[static_cast<size_t>(e)]
               : nullptr;
}

const TPersonage* Hero()
{
    const TArmyUnits* units = FindArmyUnits(PlayerArmy);
    return units != nullptr && (*units)[1].UnitType != 0 ? &(*units)[1] : nullptr;
}

bool CountInto(TEvaluation& ev, bool kindZero, uint8_t group, bool met)
{
    if (group > 2) {
        LogBeyondTables(ev.Event, "a logic group above 2");
        return false;
    }
    TGroupCount& count = (kindZero ? ev.EventGroups : ev.ValueGroups)[group];
    ++count.Total;
    if (!met)
        ++count.Violations;
    return true;
}

// Kind 0: whether event v (or, negated, not v) has fired, with a stage.
bool EventFiredTest(const TStoryRequire& r)
{
    const bool negated = r.ValueA <= 0;
    const TGameEvent* state = FindEventState(negated ? -r.ValueA : r.ValueA);
    if (state == nullptr)
        return false;
    bool fired = state->TimesFired > 0;
    if (r.Op > 0)
        fired = fired && state->Stage == r.Op - 1;
    return negated ? !fired : fired;
}

bool IsVariable(int32_t v)
{
    return v >= 1 && static_cast<size_t>(v) < ScenarioVariables.size();
}

// Kind 9's value of the player's army; false when the value names nothing.
bool PlayerValue(const TStoryRequire& r, int64_t& value)
{
    const TGameArmy* player = FindArmy(PlayerArmy);
    const TPersonage* hero = Hero();
    if (player == nullptr)
        return false;
    switch (r.ValueA) {
    case 0:
        value = player->Gold;
        return true;
    case 2:
        value = player->Strength / 10;
        return true;
    case 3:
        value = player->LivingCount;
        return true;
    case 8:
        value = CountPlayerBuildingsOfType(TBuildingType::Castle);
        return true;
    case 9:
        value = CountPlayerBuildingsOfType(TBuildingType::Village);
        return true;
    case 10: {
        const TGameArmy* army = r.ValueC >= 0 && r.ValueC <= ArmyCount ? FindArmy(r.ValueC) : nullptr;
        if (army == nullptr)
            return false;
        value = army->Strength / 10;
        return true;
    }
    case 11: {
        const TGameArmy* garrison = IsWorldBuilding(r.ValueC) ? FindArmy(GetGarrisonArmyIndex(r.ValueC)) : nullptr;
        if (garrison == nullptr)
            return false;
        value = garrison->Strength / 10;
        return true;
    }
    case 12:
        value = DayBattleCount;
        return true;
    default:
        break;
    }
    if (hero == nullptr)
        return false;
    switch (r.ValueA) {
    case 1:
        value = hero->ExpLevel;
        return true;
    case 4:
        value = hero->Hits;
        return true;
    case 5:
        // An attack mode that is none of blow, shot and magic has no attack statistic.
        value = hero->AttackMode == 4    ? hero->Stats[statAttackBlow]
                : hero->AttackMode == 13 ? hero->Stats[statAttackShot]
                : hero->AttackMode == 16 ? hero->Stats[statMagicPower]
                                         : 0;
        return true;
    case 6:
        value = hero->Stats[statDefense];
        return true;
    case 7:
        value = hero->Stats[statWill];
        return true;
    default:
        return false;
    }
}

// Kinds 6 and 7 look at the player's army (group 0) or at every active
// army of group - 1.
template <typename F> void ForCountedArmies(int32_t groupPlusOne, F f)
{
    if (groupPlusOne == 0) {
        if (FindArmy(PlayerArmy) != nullptr)
            f(PlayerArmy);
        return;
    }
    for (int32_t a = 0; a <= ArmyCount; ++a) {
        const TGameArmy* army = FindArmy(a);
        if (army != nullptr && army->Active != 0 && army->Group == groupPlusOne - 1)
            f(a);
    }
}

bool ItemsHeldTest(const TStoryRequire& r)
{
    if (FindItem(r.ValueA) == nullptr)
        return false;
    int32_t count = 0;
    ForCountedArmies(r.ValueB, [&](int32_t a) {
        const TArmyUnits& units = ArmyUnits[static_cast<size_t>(a)];
        for (int32_t s = 1; s <= UsedSlots(GameArmies[static_cast<size_t>(a)]); ++s)
            for (int32_t k = 1; k <= 14; ++k)
                count += units[s].Equipment[k] == r.ValueA ? 1 : 0;
        const TIntArray& items = ArmyItems[static_cast<size_t>(a)];
        const int32_t carried =
            std::min<int32_t>(GameArmies[static_cast<size_t>(a)].ItemCount, static_cast<int32_t>(items.size()) - 1);
        for (int32_t i = 1; i <= carried; ++i)
            count += items[static_cast<size_t>(i)] == r.ValueA ? 1 : 0;
    });
    return r.Op2 == 0 ? count >= r.Op : count < r.Op;
}

bool HealthFits(const TPersonage& p, uint8_t mode)
{
    switch (mode) {
    case 0:
        return p.Hits >= p.Stats[statHits];
    case 1:
        return p.Hits > 0;
    case 2:
        return p.Hits == 1;
    case 3:
        return p.Hits < 0;
    default:
        return false;
    }
}

bool PersonagesHeldTest(const TStoryRequire& r)
{
    if (!UnitTypeExists(r.ValueA))
        return false;
    int32_t count = 0;
    ForCountedArmies(r.ValueB, [&](int32_t a) {
        const TArmyUnits& units = ArmyUnits[static_cast<size_t>(a)];
        for (int32_t s = 1; s <= UsedSlots(GameArmies[static_cast<size_t>(a)]); ++s) {
            const TPersonage& p = units[s];
            if (p.UnitType == r.ValueA && HealthFits(p, r.Mode) && (r.ValueC <= 0 || p.HireKind == r.ValueC - 1))
                ++count;
        }
    });
    return r.Op2 == 0 ? count >= r.Op : count < r.Op;
}

// Kind 4's test whether a beaten or inactive army can never come back.
bool HasNoWayBack(int32_t a, const TGameArmy& army)
{
    if (army.CanRespawn == 0 || army.RespawnEnabled == 0 || army.Behavior >= HomeBuildingListCount)
        return true;
    const TIntArray& homes = HomeBuildingLists[army.Behavior];
    for (size_t i = 1; i < homes.size(); ++i) {
        const int32_t b = homes[i];
        if (!IsWorldBuilding(b))
            continue;
        const TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
        if (army.RespawnAtOwn != 0) {
            const TGameArmy* owner = state.OwnerArmy >= 0 ? FindArmy(state.OwnerArmy) : nullptr;
            if (state.OwnerArmy == a || (owner != nullptr && owner->LordArmy == a))
                return false;
        }
        if (army.RespawnAtGroup != 0 && state.OwnerGroup == army.Group)
            return false;
        if (army.RespawnAtFriend != 0 && GetRelation(a, -b, false) >= 0)
            return false;
    }
    return true;
}

bool ArmyFateTest(const TStoryRequire& r)
{
    const TGameArmy* army = FindArmy(r.ValueA);
    if (army == nullptr || r.ValueA > ArmyCount)
        return false;
    if (r.Sub == 4)
        return army->Defeated == 0;
    if (army->Defeated == 0)
        return r.Sub == 3 && army->Active == 0 && HasNoWayBack(r.ValueA, *army);
    switch (r.Sub) {
    case 0:
        return army->LastFoe == PlayerArmy;
    case 1:
        return army->LastFoe != PlayerArmy;
    case 2:
        return army->LastFoe >= 0;
    case 3:
        return HasNoWayBack(r.ValueA, *army);
    case 5:
        return GameArmies[PlayerArmy].LastFoe == r.ValueA;
    default: {
        const TGameArmy* foe = army->LastFoe >= 0 && army->LastFoe <= ArmyCount ? FindArmy(army->LastFoe) : nullptr;
        return foe != nullptr && foe->Group == r.Sub - 5;
    }
    }
}

bool BuildingOwnerTest(const TStoryRequire& r)
{
    if (!IsWorldBuilding(r.ValueA))
        return false;
    const TGameBuilding& state = GameBuildings[static_cast<size_t>(r.ValueA)];
    switch (r.Sub) {
    case 0:
        return state.OwnerArmy == PlayerArmy;
    case 1:
        return state.OwnerArmy != PlayerArmy;
    case 2:
    case 3:
        return state.OwnerArmy >= 0;
    default:
        return state.OwnerGroup == r.Sub - 4;
    }
}

bool AttitudeTest(const TStoryRequire& r)
{
    int64_t value = 0;
    if (r.Sub == 0) {
        if (r.ValueA < 0 || r.ValueB < 0 || static_cast<size_t>(r.ValueA) >= Diplomacy.size() ||
            static_cast<size_t>(r.ValueB) >= Diplomacy[static_cast<size_t>(r.ValueA)].size())
            return false;
        value = Diplomacy[static_cast<size_t>(r.ValueA)][static_cast<size_t>(r.ValueB)];
    } else if (r.Sub == 3) {
        if (r.ValueA < 0 || r.ValueB < 0 || static_cast<size_t>(r.ValueA) >= ArmyMoves.size() ||
            static_cast<size_t>(r.ValueB) >= ArmyMoves[static_cast<size_t>(r.ValueA)].size())
            return false;
        value = ArmyMoves[static_cast<size_t>(r.ValueA)][static_cast<size_t>(r.ValueB)].Attitude;
    } else {
        return true;
    }
    return r.Mode == 0 ? value < r.ValueC : value > r.ValueC;
}

// Kind 2; may shift the evaluation's days to the night's.
bool DateTest(TEvaluation& ev, const TStoryRequire& r, const TGameEvent& state)
{
    const bool oncePerDay = ev.Record->OncePerDay != 0;
    const int64_t d = (GameClock - state.ScheduledClock) / MinuteFx / 1440;
    auto periodFits = [&] {
        return r.ValueB == 0 ? d == 0 : r.ValueB >= 2 && r.ValueB <= 9 ? d % r.ValueB == 0 : true;
    };
    if (r.Sub == 1) {
        const int64_t minute = GameClock / MinuteFx % 1440;
        const int64_t scheduled = state.ScheduledClock / MinuteFx % 1440;
        return minute >= scheduled && minute <= scheduled + 5 && state.ScheduledClock <= GameClock &&
               ev.LastDay != ev.Today && periodFits();
    }
    if (r.Sub == 3)
        return false;
    if (r.Sub >= 4)
        return true;
    if (ev.Today < DayOfClock(state.ScheduledClock) || state.ScheduledClock > GameClock || !periodFits())
        return false;
    const int32_t hour = HourOfClock(GameClock);
    auto within = [hour](int32_t from, int32_t to) { return hour >= from && hour <= to; };
    if (r.ValueC == 6) {
        ev.Today = DayOfClock(GameClock + NightShift);
        ev.LastDay = LastDayOf(state.LastClock, NightShift);
        if (oncePerDay && ev.LastDay == ev.Today)
            return false;
        return within(21, 23) || within(0, 5);
    }
    if (oncePerDay && ev.LastDay == ev.Today)
        return false;
    switch (r.ValueC) {
    case 1:
        return within(6, 20);
    case 2:
        return within(6, 8);
    case 3:
        return within(9, 17);
    case 4:
        return within(12, 14);
    case 5:
        return within(18, 20);
    case 7:
        return within(0, 2);
    default:
        return true;
    }
}

void MeetingTest(TEvaluation& ev, const TStoryRequire& r)
{
    if (ev.Meeting == TEvaluation::MeetingNone)
        ev.Meeting = TEvaluation::MeetingPending;
    const int32_t a = MetPlayerArmy;
    if (a <= PlayerArmy || a != r.ValueA || a > ArmyCount || FindArmy(a) == nullptr)
        return;
    const TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    const bool pursues = army.WaitKind == 0 && static_cast<size_t>(a) < ArmyMoves.size() &&
                         !ArmyMoves[static_cast<size_t>(a)].empty() &&
                         ArmyMoves[static_cast<size_t>(a)][0].Pursuit != 0;
    if (ev.Record->TalkFlag == 0 || PlayerTargetArmy == a || pursues)
        ev.Meeting = TEvaluation::MeetingMet;
}

// The cell of kind 8's target by Sub: 0 building, 1 map point, 2 army.
bool TargetCell(uint8_t sub, int32_t target, int32_t& cell)
{
    if (sub == 0 && IsWorldBuilding(target)) {
        cell = BuildingCell(target);
        return true;
    }
    if (sub == 1 && target >= 1 && target <= std::min(MapPoints.Count, MapPointMax)) {
        const TMapCellXZ c = MapPoints[target].Cell;
        cell = PF_PackCell(static_cast<uint16_t>(c.X), static_cast<uint16_t>(c.Z));
        return true;
    }
    if (sub == 2 && target >= 0 && target <= ArmyCount && FindArmy(target) != nullptr) {
        cell = CellOfArmy(GameArmies[static_cast<size_t>(target)]);
        return true;
    }
    return false;
}

bool OnMap(const TGameArmy* army)
{
    return army != nullptr && army->Active != 0 && army->Hidden == 0;
}

void PositionTest(TEvaluation& ev, size_t index, const TStoryRequire& r)
{
    const TGameArmy* army = r.ValueA >= 0 && r.ValueA <= ArmyCount ? FindArmy(r.ValueA) : nullptr;
    if (r.Mode == 4 || r.Mode == 5) {
        const TGameArmy* other = r.ValueC >= 0 && r.ValueC <= ArmyCount ? FindArmy(r.ValueC) : nullptr;
        int32_t target = 0;
        if (!OnMap(army) || !OnMap(other) || !TargetCell(r.Sub, r.ValueB, target)) {
            ev.Result = false;
            return;
        }
        const int32_t mine = GetCellDistance(CellOfArmy(*army), target);
        const int32_t theirs = GetCellDistance(CellOfArmy(*other), target);
        if (!(r.Mode == 4 ? mine < theirs : theirs < mine))
            ev.Result = false;
        return;
    }
    const TStoryEventCalkData* calk = static_cast<size_t>(ev.Event) < StoryEventCalk.size()
                                          ? &StoryEventCalk[static_cast<size_t>(ev.Event)]
                                          : nullptr;
    const int32_t n = calk != nullptr && index < calk->ArmyNumbers.size() ? calk->ArmyNumbers[index] : 0;
    if (n < 1 || n > PositionArmies) {
        if (r.Mode <= 3 || r.Mode == 6)
            LogBeyondTables(ev.Event, "positions of more than five armies");
        return;
    }
    uint8_t(&marks)[3] = ev.Marks[n];
    if (army == nullptr) {
        ev.Result = false; // an army that does not exist satisfies no position
        return;
    }
    if (!OnMap(army)) {
        if (marks[2] == 0)
            marks[2] = 2;
        return;
    }
    auto compare = [&r](int32_t distance) { return CompareValue(distance, r.ValueC, r.Mode); };
    int32_t target = 0;
    switch (r.Sub) {
    case 0:
        if (marks[1] == 0)
            marks[1] = 2;
        if (!IsWorldBuilding(r.ValueB)) {
            ev.Result = false;
            return;
        }
        if (r.ValueC != 0) {
            if (TargetCell(0, r.ValueB, target) && compare(GetCellDistance(CellOfArmy(*army), target)))
                marks[1] = 1;
        } else if (r.Mode == 3) {
            if (army->Building != r.ValueB)
                marks[1] = 1;
        } else if (army->Building == r.ValueB) {
            if (r.ValueA == PlayerArmy && ev.Record->TalkFlag != 0) {
                marks[1] = 1;
                ActionFlag = 1;
            } else if ((r.Mode == 2 && army->EnteredThisFrame != 0) || r.Mode == 6) {
                marks[1] = 1;
            }
        }
        return;
    case 1:
        if (marks[0] == 0)
            marks[0] = 2;
        if (!TargetCell(1, r.ValueB, target)) {
            ev.Result = false;
            return;
        }
        if (compare(GetCellDistance(CellOfArmy(*army), target)))
            marks[0] = 1;
        return;
    case 2: {
        if (marks[2] == 0)
            marks[2] = 2;
        const TGameArmy* other = r.ValueB >= 0 && r.ValueB <= ArmyCount ? FindArmy(r.ValueB) : nullptr;
        if (other == nullptr) {
            ev.Result = false;
            return;
        }
        if (OnMap(other) && compare(GetCellDistance(CellOfArmy(*army), CellOfArmy(*other))))
            marks[2] = 1;
        return;
    }
    default:
        return;
    }
}

void TestRequirement(TEvaluation& ev, size_t index, const TStoryRequire& r, const TGameEvent& state)
{
    if (r.Kind != 2 && ev.Record->OncePerDay != 0 && ev.LastDay == ev.Today)
        ev.Result = false;
    auto require = [&ev](bool met) {
        if (!met)
            ev.Result = false;
    };
    switch (r.Kind) {
    case 0:
        CountInto(ev, true, r.Sub, EventFiredTest(r));
        return;
    case 1:
        CountInto(ev, false, r.Sub,
                  IsVariable(r.ValueA) &&
                      CompareValue(ScenarioVariables[static_cast<size_t>(r.ValueA)], r.ValueB, r.Op));
        return;
    case 2:
        require(DateTest(ev, r, state));
        return;
    case 3:
        MeetingTest(ev, r);
        return;
    case 4:
        require(ArmyFateTest(r));
        return;
    case 5:
        require(BuildingOwnerTest(r));
        return;
    case 6:
        require(ItemsHeldTest(r));
        return;
    case 7:
        require(PersonagesHeldTest(r));
        return;
    case 8:
        PositionTest(ev, index, r);
        return;
    case 9: {
        int64_t value = 0;
        CountInto(ev, false, r.Sub, PlayerValue(r, value) && CompareValue(value, r.ValueB, r.Op));
        return;
    }
    case 10:
        require(AttitudeTest(r));
        return;
    case 11:
        require(ev.FollowUp && FindEventState(r.ValueA) != nullptr);
        return;
    default:
        return;
    }
}

bool GroupsHold(const TEvaluation& ev)
{
    for (int g = 0; g <= 2; ++g) {
        const TGroupCount& values = ev.ValueGroups[g];
        if (values.Total > 0) {
            const bool holds = g == 0   ? values.Violations == 0
                               : g == 1 ? values.Violations < values.Total
                                        : values.Violations == values.Total - 1;
            if (!holds)
                return false;
        }
        const TGroupCount& events = ev.EventGroups[g];
        if (events.Total > 0) {
            const bool holds = g == 0   ? events.Violations == 0
                               : g == 1 ? events.Violations < events.Total
                                        : events.Violations >= events.Total - 1;
            if (!holds)
                return false;
        }
    }
    return true;
}

bool MarksHold(const TEvaluation& ev)
{
    for (int32_t n = 1; n <= PositionArmies; ++n)
        for (int c = 0; c < 3; ++c)
            if (ev.Marks[n][c] == 2)
                return false;
    return true;
}

} // namespace

bool CompareValue(int64_t value, int64_t x, uint8_t op)
{
    switch (op) {
    case 0:
        return value < x;
    case 1:
        return value > x;
    case 2:
        return value == x;
    case 3:
        return value != x;
    default:
        return false;
    }
}

bool UnitTypeExists(int32_t type)
{
    return type != 0 && type >= -NpcTypeCount && type <= UnitTypeCount && FindUnitType(type) != nullptr;
}

const TStoryEvent* FindStoryEvent(int32_t e)
{
    return FindEventState(e) != nullptr ? &StoryEvents[static_cast<size_t>(e)] : nullptr;
}

bool EvaluateEventRequirements(int32_t e, bool followUp)
{
    ActionFlag = 0;
    const TGameEvent* state = FindEventState(e);
    if (state == nullptr)
        return false;
    TEvaluation ev;
    ev.Event = e;
    ev.Record = &StoryEvents[static_cast<size_t>(e)];
    ev.FollowUp = followUp;
    if (ev.Record->Requires.empty() || state->LastClock >= GameClock ||
        (ev.Record->RepeatLimit != -1 && ev.Record->RepeatLimit < state->TimesFired))
        return false;
    ev.Today = DayOfClock(GameClock);
    ev.LastDay = LastDayOf(state->LastClock, 0);
    const std::vector<TStoryRequire>& requirements = ev.Record->Requires;
    for (size_t i = 0; i < requirements.size() && (ev.Result || followUp); ++i)
        TestRequirement(ev, i, requirements[i], *state);
    if (ev.Meeting == TEvaluation::MeetingPending)
        ev.Result = false;
    return ev.Result && MarksHold(ev) && GroupsHold(ev);
}

bool ChooseEventOutcome(int32_t e)
{
    EventOutcome = TEventOutcome{};
    const TStoryEvent* event = FindStoryEvent(e);
    if (event == nullptr)
        return false;
    const std::vector<TStoryStage>& stages = event->Stages;
    int32_t chosen = -1;
    switch (event->Form) {
    case 3: {
        AI_SeedRandom(e, 0, 0);
        int64_t r = RandomBelow(100);
        for (size_t s = 0; s < stages.size() && chosen < 0; ++s) {
            if (stages[s].Value >= r)
                chosen = static_cast<int32_t>(s);
            else
                r -= stages[s].Value;
        }
        break;
    }
    case 4:
        if (IsVariable(event->OutcomeVariable))
            for (size_t s = 0; s < stages.size(); ++s)
                if (stages[s].Value == ScenarioVariables[static_cast<size_t>(event->OutcomeVariable)])
                    chosen = static_cast<int32_t>(s);
        break;
    case 5:
    case 6:
        if (const TGameArmy* player = FindArmy(PlayerArmy); player != nullptr)
            for (size_t s = 0; s < stages.size(); ++s)
                if (event->Form == 5 ? stages[s].Value == player->PersonageCount : stages[s].Value < player->Gold)
                    chosen = static_cast<int32_t>(s);
        break;
    default:
        break;
    }
    if (chosen < 0)
        return false;
    EventOutcome.Stage = chosen;
    EventOutcome.Chosen = 1;
    return true;
}

bool FilterFollowUpEvents(int32_t e)
{
    DueFollowUps.clear();
    if (e < 1 || static_cast<size_t>(e) >= FollowUpEvents.size())
        return false;
    for (const int32_t f : FollowUpEvents[static_cast<size_t>(e)])
        if (EvaluateEventRequirements(f, true))
            DueFollowUps.push_back(f);
    return !DueFollowUps.empty();
}

void ListBuildingArmyEvents(int32_t b, std::vector<TArmyEventEntry>& list)
{
    list.clear();
    TIntArray armies;
    for (int32_t a = 1; a <= ArmyCount; ++a) {
        const TGameArmy* army = FindArmy(a);
        if (OnMap(army) && army->Building == b)
            armies.push_back(a);
    }
    const int32_t met = MetPlayerArmy, target = PlayerTargetArmy;
    for (const int32_t a : armies) {
        MetPlayerArmy = PlayerTargetArmy = a;
        for (int32_t e = 1; e <= StoryEventCount && static_cast<size_t>(e) < StoryEvents.size(); ++e) {
            const std::vector<TStoryRequire>& requirements = StoryEvents[static_cast<size_t>(e)].Requires;
            const bool talks = std::any_of(requirements.begin(), requirements.end(),
                                           [a](const TStoryRequire& r) { return r.Kind == 3 && r.ValueA == a; });
            if (talks && EvaluateEventRequirements(e, false)) {
                list.push_back(TArmyEventEntry{static_cast<int16_t>(a), static_cast<int16_t>(e)});
                break;
            }
        }
    }
    MetPlayerArmy = met;
    PlayerTargetArmy = target;
}

int32_t FindTriggeredEvent()
{
    ActionEvents.clear();
    int32_t taken = 0;
    if (ForcedEvent.Flag != 0) {
        taken = FindEventState(ForcedEvent.Event) != nullptr ? ForcedEvent.Event : 0;
    } else {
        for (int32_t e = 1; e <= StoryEventCount && taken == 0; ++e) {
            if (!EvaluateEventRequirements(e, false))
                continue;
            if (ActionFlag != 0)
                ActionEvents.push_back(e);
            else
                taken = e;
        }
    }
    if (taken == 0)
        return 0;
    ChooseEventOutcome(taken);
    FilterFollowUpEvents(taken);
    return taken;
}

int64_t InitialEventSchedule(const TStoryEvent& event)
{
    int64_t clock = 0;
    for (const TStoryRequire& r : event.Requires) {
        if (r.Kind != 2)
            continue;
        const int64_t day = r.ValueA;
        const int64_t hour = static_cast<int8_t>(r.Op);
        if (r.Sub == 0)
            clock = day * 1440 * MinuteFx;
        else if (r.Sub == 1)
            clock = (day * 1440 + hour * 60) * MinuteFx;
        else
            clock = NeverScheduled;
    }
    return clock;
}

void ClearStoryEventState()
{
    EventOutcome = TEventOutcome{};
    ActionFlag = 0;
    ActionEvents.clear();
    DueFollowUps.clear();
    EventGoldChange = 0;
    EventUnitChanges.clear();
    EventItemChanges.clear();
    LoggedBeyondTables.clear();
}

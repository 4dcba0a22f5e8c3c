// The turn engine: who acts next, the start of a round, the end of the
// battle at an empty side or the round limit, and the timeline of running
// visual events that keeps a shown battle waiting while models move, turn
// and strike.
#include <cmath>

#include "battle/Battle.h"
#include "battle/Battle_Rules.h"
#include "model/FixedPoint.h"
#include "model/Support.h"

namespace {

int32_t BattleNow()
{
    return GameTimeSource != nullptr ? GameTimeSource(true) : GetTimeMs(true);
}

bool IsMoveMode(uint8_t mode)
{
    return mode == mMove || mode == mMoveTo || mode == mRetreat;
}

// The events that keep the battle busy: strikes, shots and spells.
bool IsBusyMode(uint8_t mode)
{
    return mode == mFight || mode == mFightGroup || mode == mFightLong || mode == mFightCounter ||
           (mode >= mShoot && mode <= mAllyAll);
}

} // namespace

int32_t TBattle::GetTurnPriority(int32_t side, int32_t n) const
{
    const int32_t priority =
        GetPersonageStat(side, n, statInitiative) * (2 * ArmySlotCount) + 2 * (ArmySlotCount - n) + (2 - side);
    return Personage(side, n).Waited == 0 ? priority + 3000 : priority;
}

bool TBattle::StartNewRound()
{
    ++Round;
    for (int32_t s = 1; s <= 2; ++s) {
        TBattleSide& side = Sides[s];
        if (side.Stats.MaxRoundLoss < RoundDamage[s])
            side.Stats.MaxRoundLoss = RoundDamage[s];
        RoundDamage[s] = 0;
        for (int32_t i = 1; i <= side.LivingCount && i <= ArmySlotCount; ++i) {
            const int32_t n = side.Living[i];
            if (n < 1 || n > ArmySlotCount)
                continue;
            TPersonage& p = side.Personages[n];
            p.ActionPointsLeft = p.RoundActionPoints;
            p.RoundSteps = 0;
        }
    }
    if (Sides[1].LivingCount == 0 || Sides[2].LivingCount == 0 || Round >= BattleEndTurn)
        Over = 1;
    return Over != 0;
}

bool TBattle::SelectNextActor(TBattleDecision& decision)
{
    std::memset(&decision, 0, sizeof decision);
    UpdateTimeline();
    if (Over != 0) {
        decision.Mode = mError;
        return false;
    }
    // The ready scan alternates the sides: 1, 2 for personage 1, then 2 ...
    auto best = [&](int32_t& side, int32_t& n) {
        bool found = false;
        int32_t top = 0;
        for (int32_t k = 1; k <= ScanCount && k <= 2 * ArmySlotCount; ++k) {
            const int32_t s = k % 2 == 1 ? 1 : 2;
            const int32_t i = (k - 1) / 2 + 1;
            const TPersonage& p = Personage(s, i);
            if (p.UnitType == 0 || p.Hits <= 0 || p.ActionPointsLeft <= 0)
                continue;
            const int32_t priority = GetTurnPriority(s, i);
            if (!found || priority > top) {
                found = true;
                top = priority;
                side = s;
                n = i;
            }
        }
        return found;
    };
    int32_t side = 0, n = 0;
    if (!best(side, n)) {
        StartNewRound();
        if (!best(side, n)) {
            decision.Mode = mError;
            return false;
        }
    }
    decision.Side = side;
    decision.Slot = n;
    ActorInitiative = GetPersonageStat(side, n, statInitiative);
    if (IsBusy(side, n)) {
        decision.Mode = mBusy;
    } else if (ChooseAction(decision) && IsBusy(decision.TargetSide, decision.TargetSlot)) {
        decision.Mode = mBusy;
    }
    return decision.Mode != mError && decision.Mode != mBusy;
}

bool TBattle::ChooseAction(TBattleDecision& decision)
{
    if (Decider != nullptr)
        return Decider(*this, decision);
    return ComputeAction(decision);
}

void TBattle::UpdateTimeline()
{
    const int32_t now = BattleNow();
    int32_t i = 1;
    while (i <= EventCount && i <= TimelineCapacity) {
        TTimelineEvent& e = Events[i];
        if (Animated != 0 && e.Side >= 1 && e.Side <= 2 && e.Slot >= 1 && e.Slot <= ArmySlotCount) {
            TPersonage& p = Personage(e.Side, e.Slot);
            const int64_t span = static_cast<int64_t>(e.Finish) - e.Start;
            if (IsMoveMode(e.Mode)) {
                const float f = span != 0 ? static_cast<float>(static_cast<double>(e.Finish - now) / span) : 0.0f;
                if (f < 0)
                    for (int axis = 0; axis < 3; ++axis)
                        p.SetMoveVector(axis, 0);
                TVec3 centre;
                GetHexCellPosition(p.FormationRow, p.FormationColumn, centre);
                p.SetShownPosition(0, centre.x - f * p.GetMoveVector(0));
                p.SetShownPosition(1, centre.y);
                p.SetShownPosition(2, centre.z - f * p.GetMoveVector(2));
            }
            if (p.TurnDelta != 0) {
                double g;
                if (e.Mode == mFight)
                    g = (static_cast<double>(now) - e.Start - 330) / 500;
                else
                    g = span != 0 ? 5.0 * (static_cast<double>(now) - e.Start) / span : 2.0;
                if (g > 1) {
                    p.Heading = p.TurnStartHeading + p.TurnDelta;
                    p.TurnDelta = 0;
                } else if (g > 0) {
                    p.Heading = RoundHalfEven(static_cast<long double>(p.TurnDelta) * g + p.TurnStartHeading);
                }
            }
        }
        if (e.Finish < now) {
            for (int32_t k = i; k < EventCount && k < TimelineCapacity; ++k)
                Events[k] = Events[k + 1];
            --EventCount;
        } else {
            ++i;
        }
    }
}

bool TBattle::IsBusy(int32_t side, int32_t n) const
{
    for (int32_t i = 1; i <= EventCount && i <= TimelineCapacity; ++i)
        if (Events[i].Side == side && Events[i].Slot == n)
            return true;
    return BattleNow() <= BusyUntil;
}

bool TBattle::QueueAction(const TBattleAction& action)
{
    if (action.Duration < 1)
        return false;
    // The timeline holds 24 events; a further one is refused rather than
    // written past it.
    if (EventCount >= TimelineCapacity)
        return false;
    TTimelineEvent& e = Events[++EventCount];
    e.Side = action.Side;
    e.Slot = action.Slot;
    e.Mode = action.Mode;
    e.SubMode = action.SubMode;
    e.Start = action.Start;
    e.Finish = ClampToInt32(static_cast<int64_t>(action.Start) + action.Duration);
    if (IsBusyMode(action.Mode)) {
        if (AnimationWait) {
            if (BusyUntil < e.Finish)
                BusyUntil = e.Finish;
        } else {
            BusyUntil = ClampToInt32(static_cast<int64_t>(BattleNow()) + ActionPause);
        }
    }
    return true;
}

void TBattle::QueueActions(TActionList& list, int32_t duration)
{
    for (TBattleAction& action : list) {
        action.Duration = duration;
        QueueAction(action);
    }
}

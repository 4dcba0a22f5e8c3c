#include "screens/battle/Duskmarch_Battle_Turn.h"

#include <cstdio>
#include <cstring>

#include "battle/Battle_Loop.h"
#include "engine/QX9_System.h"
#include "model/Support.h"
#include "screens/battle/Duskmarch_Battle_Effects.h"

TBattleTurnRecord BattleTurn;
uint8_t BattleIdleLatch = 0;
uint8_t FastBattleRequested = 0;
uint8_t BattleFieldChanged = 0;
void (*PlayComplexActionHook)(const TComplexAction&, const std::vector<TPlannedElement>&) = nullptr;
int32_t (*AnimationLengthHook)(int32_t, int32_t, const std::string&) = nullptr;
void (*EndBattleWorldHook)(uint8_t) = nullptr;

void ShowPersonagePanel(int32_t, int32_t, int32_t, bool) {}
void UpdatePanelStats(int32_t) {}
void RefreshInitiativeQueue() {}
void RefreshPersonageMarkers() {}
bool AnimateMarkers()
{
    return false;
}
void QueueBattleLogEntry(const TBattleAction&, int32_t) {}
void FlushBattleLog(int32_t) {}

namespace {

int32_t Now()
{
    return GameTimeSource != nullptr ? GameTimeSource(true) : 0;
}

bool TimelineRunning(const TBattle& battle)
{
    return battle.EventCount > 0;
}

int32_t WalkedCells = 0;
int32_t WalkedSide = 0, WalkedSlot = 0;
int32_t CellsOf(int32_t side, int32_t slot)
{
    return side == WalkedSide && slot == WalkedSlot ? WalkedCells : 0;
}

int32_t PlaybackSide = 0, PlaybackSlot = 0;
int32_t LengthOf(const std::string& animation)
{
    return AnimationLengthHook != nullptr ? AnimationLengthHook(PlaybackSide, PlaybackSlot, animation) : 1000;
}

} // namespace

bool BattleScreenFinished(const TBattle& battle)
{
    return battle.Over != 0 && !TimelineRunning(battle);
}

void PlayDecisionActions(TBattle& battle, const TActionList& actions, int32_t cellsWalked, int32_t now)
{
    WalkedCells = cellsWalked;
    WalkedSide = BattleDecision.Side;
    WalkedSlot = BattleDecision.Slot;
    const std::vector<TComplexAction> list = BuildComplexActions(actions, CellsOf);
    TStepTable steps;
    for (const TComplexAction& complex : list) {
        PlaybackSide = complex.Side;
        PlaybackSlot = complex.Slot;
        TAnimationContext context;
        if (complex.Side >= 1 && complex.Side <= 2 && complex.Slot >= 1 && complex.Slot <= ArmySlotCount) {
            const TPersonage& p = battle.Personage(complex.Side, complex.Slot);
            context.Bow = p.BonusSet.Has(bBow);
        }
        const std::vector<TPlannedElement> plan = PlanComplexAction(complex, steps, now, context, LengthOf);
        for (size_t i = 0; i < plan.size(); ++i) {
            if (plan[i].Animation.empty())
                continue;
            TBattleAction a = complex.Actions[i].Action;
            a.Start = plan[i].Start;
            a.Duration = plan[i].Duration;
            battle.QueueAction(a);
            QueueBattleLogEntry(a, a.Start + 800);
        }
        if (PlayComplexActionHook != nullptr)
            PlayComplexActionHook(complex, plan);
    }
}

void RunBattleTurn()
{
    if (!CurrentBattle)
        return;
    TBattle& battle = *CurrentBattle;
    if (BattleScreenFinished(battle))
        return;
    bool refreshed = false;
    if (BattleTurn.State == 0 && TimelineRunning(battle)) {
        // The engine's choice draws from the battle's random numbers even
        // when it then refuses a busy timeline: ask only once it is idle, so
        // that the shown battle is the one the loop plays.
        battle.UpdateTimeline();
    } else if (BattleTurn.State == 0) {
        if (battle.SelectNextActor(BattleDecision)) {
            if (BattleDecision.WaitForPlayer != 0 && battle.Over == 0) {
                if (BattleDecision.AutoSkip == 0) {
                    BattleTurn.State = 1;
                    BattleTurn.SelectedSide = BattleDecision.Side;
                    BattleTurn.SelectedSlot = BattleDecision.Slot;
                    RefreshPersonageMarkers();
                    refreshed = true;
                    ShowPersonagePanel(1, BattleDecision.Side, BattleDecision.Slot, true);
                } else {
                    BattleDecision.Mode = mSkip;
                    BattleTurn.State = 2;
                }
            } else {
                BattleTurn.State = 2;
                ShowPersonagePanel(1, BattleDecision.Side, BattleDecision.Slot, false);
            }
            RefreshInitiativeQueue();
        }
    } else {
        battle.UpdateTimeline();
    }
    if (BattleTurn.State == 2) {
        int32_t cells = 0;
        if (BattleDecision.Side >= 1 && BattleDecision.Side <= 2 && BattleDecision.Slot >= 1 &&
            BattleDecision.Slot <= ArmySlotCount) {
            const THexCell before = battle.PersonageCell(BattleDecision.Side, BattleDecision.Slot);
            TActionList actions;
            battle.PerformAction(BattleDecision, actions);
            cells = GetHexDistance(before, battle.PersonageCell(BattleDecision.Side, BattleDecision.Slot));
            PlayDecisionActions(battle, actions, cells, Now());
        }
        BattleTurn.State = 0;
        ShowPersonagePanel(1, BattleDecision.Side, BattleDecision.Slot, true);
        ShowPersonagePanel(2, BattleDecision.TargetSide, BattleDecision.TargetSlot, true);
        if (BattleDecision.Side > 0 && BattleDecision.Slot > 0)
            UpdatePanelStats(1);
        if (BattleDecision.TargetSide > 0 && BattleDecision.TargetSlot > 0)
            UpdatePanelStats(2);
        RefreshPersonageMarkers();
        refreshed = true;
    }
    bool changed = refreshed;
    if (!refreshed)
        changed = AnimateMarkers();
    if (TimelineRunning(battle)) {
        BattleIdleLatch = 0;
    } else if (BattleIdleLatch == 0) {
        BattleIdleLatch = 1;
    } else if (BattleIdleLatch == 1) {
        RefreshPersonageMarkers();
        BattleIdleLatch = 2;
    }
    if (changed)
        BattleFieldChanged = 1;
}

void BattleScreen_FastBattle()
{
    if (!CurrentBattle)
        return;
    TBattle& battle = *CurrentBattle;
    std::memset(&battle.Events, 0, sizeof battle.Events);
    battle.FastBattle = 1;
    battle.EventCount = 0;
    battle.ActionPause = 0;
    battle.BusyUntil = 0;
    battle.Sides[1].PlayerControlled = 0;
    if (!PlayBattleLoop(battle))
        std::fprintf(stderr, "Fast battle: the battle froze; the window goes on with it as it stands\n");
    battle.EventCount = 0;
    BattleTurn.State = 0;
}

void EndBattle(uint8_t result)
{
    ShowPersonagePanel(1, -1, -1, false);
    ShowPersonagePanel(2, -1, -1, false);
    if (EndBattleWorldHook != nullptr)
        EndBattleWorldHook(result);
    else
        std::fprintf(stderr, "EndBattle: no world steps installed; the outcome is not applied\n");
    EffectsManager.Clear();
}

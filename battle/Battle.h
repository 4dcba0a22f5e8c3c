// The battle object: a whole tactical battle for both sides. The two side
// copies with their personages, the occupancy of the hex field, the pending
// action state of each personage, the round and turn state, the running
// visual events and the start copy for replaying the battle. Every battle
// rule works on it; it never draws and never reads input. It is large
// (over 100 KB): owners keep it on the heap (std::make_unique<TBattle>()
// gives a zeroed one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "battle/Battle_Field.h"
#include "battle/BattleSide.h"
#include "model/tables/BonusType.h"
#include "model/personage/Personage.h"
#include "model/RangeArray.h"

// ---------------------------------------------------------------------------
// Action codes

// The 50 action codes of the battle: attack modes of a personage (4, 13,
// 16), decision modes, visual action codes and reaction codes.
enum TActionMode : uint8_t {
    mNone = 0,
    mSkip = 1,
    mMove = 2,
    mMoveTo = 3,
    mFight = 4,
    mFightGroup = 5,
    mFightLeft = 6,
    mFightRight = 7,
    mFightLong = 8,
    mFightCounter = 9,
    mFightBack = 10,
    mFightMirror = 11,
    mFightRecoil = 12,
    mShoot = 13,
    mShootSlow = 14,
    mShootAimed = 15,
    mSpell = 16,
    mEnemy = 17,
    mEnemyAll = 18,
    mAlly = 19,
    mAllyAll = 20,
    mCure = 21,
    mDefense = 22,
    mProtect = 23,
    mResist = 24,
    mBlessed = 25,
    mCursed = 26,
    mDie = 27,
    mError = 28,
    mWait = 29,
    mBusy = 30,
    mSelect = 31,
    mRetreat = 32,
    mSitDown = 33,
    mStandUp = 34,
    mPoint = 35,
    mHorseFall = 36,
    mHorseDie = 37,
    mAction = 38,
    mPotion = 39,
    mFightWill = 40,
    mScared = 41,
    mEffect = 42,
    mEnemyInstantly = 43,
    mSummon = 44,
    mEnemySpecial = 45,
    mQuake = 46,
    mSpellSummon = 47,
    mDieGhost = 48,
    mDieGhostHorse = 49,
};
constexpr int ActionModeCount = 50;
// The keyword table of the codes ("mNone" .. "mDieGhostHorse").
extern const char* const ActionModeNames[ActionModeCount];
// The code whose name equals the text exactly; mNone when none does.
TActionMode ActionModeByName(const std::string& text);

// ---------------------------------------------------------------------------
// Records

enum TBattleMode : uint8_t {
    PlayerSide1 = 0, // the player decides for side 1, battle shown
    PlayerSide2 = 1, // the player decides for side 2, shown
    Silent = 2,      // estimate: nothing shown, the computer plays both sides
    Watched = 3,     // shown, the computer plays both sides
};

// Pending action state of one battle personage.
struct TBattleSlotState {
    uint8_t CounterCount;                  // counter-attacks since its own last turn ended
    uint8_t TurnFlag;                      // noble-nearby mark of the statistics recomputation
    uint8_t Countdown;                     // rounds of insanity left
    int8_t GhostSlot;                      // ghost summoned by this personage
    TRangeArray<int8_t, 1, 12> Supporters; // share the next merit: +n own side, -n other side
    uint8_t Mode;                          // TActionMode of the prepared action
    int32_t SpellSlot;
    int32_t AbilityIndex;
    int32_t ItemIndex;
    int32_t Target; // +n own side, -n other side, 0 none
    THexCell ClickCell;
    uint8_t MoraleDirty; // morale to be recomputed
};

// Clears the prepared action (Mode .. ClickCell) of a slot state.
inline void ClearPreparedAction(TBattleSlotState& state)
{
    state.Mode = 0;
    state.SpellSlot = 0;
    state.AbilityIndex = 0;
    state.ItemIndex = 0;
    state.Target = 0;
    state.ClickCell = THexCell{0, 0};
}

// The pending states of one side; KillCount counts the personages the side
// has killed.
struct TBattleSideSlots {
    uint8_t KillCount;
    TRangeArray<TBattleSlotState, 1, ArmySlotCount> States;
};

#pragma pack(push, 1)
// The decision for one acting personage. Packed: its cells may lie at odd
// addresses, so they are copied, never bound to references.
struct TBattleDecision {
    int32_t Side;
    int32_t Slot;
    int32_t TargetSide;
    int32_t TargetSlot;
    uint8_t Mode; // TActionMode
    THexCell MoveCell;
    int32_t SpellSlot;
    int32_t AbilityIndex;
    int32_t ItemIndex;
    THexCell ClickCell;
    THexCell SecondCell;
    uint8_t WaitForPlayer;
    uint8_t AutoSkip;
    uint8_t TargetMark;
};
#pragma pack(pop)
static_assert(sizeof(TBattleDecision) == 56);

// A running visual event (engine-clock milliseconds).
struct TTimelineEvent {
    int32_t Side;
    int32_t Slot;
    uint8_t Mode; // TActionMode
    uint8_t SubMode;
    int32_t Start;
    int32_t Finish;
};

// The parts of one personage an action can change.
struct TPersonageSnapshot {
    int32_t Hits;
    int32_t Mana;
    uint8_t Mounted;
    TRangeArray<int16_t, 1, 8> Stats;
    TRangeArray<uint8_t, 1, 8> PersBonus;
    TRangeArray<uint8_t, 1, 8> PersBonusAdd;
    TRangeArray<int32_t, 1, 5> Effects;      // spell of each active effect, 0 free
    TRangeArray<int32_t, 1, 5> AddedEffects; // spells added during the action, 0 free
    TBonusSet BonusSet;
    TBonusSet MarkedBonuses;
};

// The change of one personage: a forecast or a recorded action.
struct TPersonageDelta {
    TRangeArray<int32_t, 1, 8> StatChange;
    int32_t HitsChange;
    int32_t ManaChange;
    int32_t ManaCost;
    TRangeArray<int32_t, 1, 5> EffectChange;
    TRangeArray<int32_t, 1, 5> AddedEffects;
    TBonusSet GainedBonuses;
    TBonusSet MarkedBonuses;
    uint8_t Dead;
    uint8_t ShieldBlocked;
    uint8_t Immune;
};

// One animation element of an action.
struct TBattleAction {
    int32_t Side;
    int32_t Slot;
    int32_t TargetSide;
    int32_t TargetSlot;
    uint8_t Reserved16[8];
    int32_t Start;
    int32_t Duration;
    uint8_t Mode; // TActionMode
    uint8_t SubMode;
    uint8_t Reserved34[2];
    TPersonageDelta Delta;
    int32_t Step;
    uint8_t TargetMark;
    uint8_t ReservedMark[3];
};
using TActionList = std::vector<TBattleAction>;

#pragma pack(push, 1)
// The computer's assessment of a personage, 108 bytes; two copies lie in the
// personage's battle working area (Assessment, ActorAssessment) and are
// read and written through GetAssessment/SetAssessment.
struct TThreatAssessment {
    int64_t Value; // x 10000
    uint8_t Reserved8[16];
    int32_t ActorDamage;
    int32_t EarlyDamage;
    int32_t RoundDamage;
    uint8_t Reserved36[4];
    int32_t ActorCounterStance;
    int32_t ActorCounter;
    int32_t LongReachLoss;
    uint8_t Reserved52[4];
    int32_t EarlyMeleeDamage;
    int32_t RoundMeleeDamage;
    int32_t EarlyAttackers;
    int32_t RoundAttackers;
    int32_t EarlyMeleeAttackers;
    int32_t RoundMeleeAttackers;
    uint8_t Reserved80;
    uint8_t MetImmune;
    uint8_t Reserved82[2];
    uint16_t KillWorth;
    int16_t TargetCount;
    int32_t BestHit;
    uint8_t Reserved92[4];
    int32_t CounterOnActor;
    int32_t CounterDamageOnActor;
    int16_t BackStrikeOnActor;
    int16_t KillCount;
};
#pragma pack(pop)
static_assert(sizeof(TThreatAssessment) == 108);
static_assert(sizeof(TThreatAssessment) == sizeof(TPersonage::Assessment));
static_assert(offsetof(TThreatAssessment, ActorDamage) == 24);
static_assert(offsetof(TThreatAssessment, ActorCounterStance) == 40);
static_assert(offsetof(TThreatAssessment, EarlyMeleeDamage) == 56);
static_assert(offsetof(TThreatAssessment, RoundMeleeAttackers) == 76);
static_assert(offsetof(TThreatAssessment, MetImmune) == 81);
static_assert(offsetof(TThreatAssessment, KillWorth) == 84);
static_assert(offsetof(TThreatAssessment, BestHit) == 88);
static_assert(offsetof(TThreatAssessment, CounterOnActor) == 96);
static_assert(offsetof(TThreatAssessment, BackStrikeOnActor) == 104);
static_assert(offsetof(TThreatAssessment, KillCount) == 106);

// The personage's Assessment (actor false) or ActorAssessment (actor true).
TThreatAssessment GetAssessment(const TPersonage& p, bool actor);
void SetAssessment(TPersonage& p, bool actor, const TThreatAssessment& a);

// ---------------------------------------------------------------------------
// The battle

// Distance map markers.
constexpr int32_t MapFree = 777;     // free cell not (yet) reached
constexpr int32_t MapOccupied = 888; // cell of a living personage
constexpr int32_t MapOff = 999;      // off the field
constexpr int32_t NoApproach = 666;  // no enemy can be struck from a reachable cell

constexpr int TimelineCapacity = 24;

// The work counts of the computer's choice, for the benchmarks.
struct TBattleCounters {
    int64_t AssessThreats;
    int64_t RecalcPersonage;
    int64_t BuildDistanceMap;
    int64_t CalcAttackDamage;
    int64_t Decisions;
};

// The movement maps, cut to the shortest attack approaches, that one
// assessment builds: at most one per personage.
struct TAssessMaps {
    bool Built[2 * (ArmySlotCount + 1)]{};
    TCellMapInt Maps[2 * (ArmySlotCount + 1)];
};

class TBattle {
public:
    uint8_t Animated;
    int32_t ActorSide;
    int32_t ActorSlot;
    TRangeArray<int32_t, 1, 2> RoundDamage;
    uint8_t ArenaKind;
    uint8_t TimeOfDay;
    uint8_t DeathThisAction;
    int32_t TestRounds;
    int32_t ActionStep;
    int32_t ScanCount;
    uint8_t Mode; // TBattleMode
    uint8_t PlayerPresent;
    int32_t Round;
    int32_t ActorInitiative;
    uint8_t Over;
    // The side records are packed; aligned here so that their numbers lie
    // at their natural addresses.
    alignas(16) TRangeArray<TBattleSide, 1, 2> Sides;
    TRangeArray<TBattleSideSlots, 1, 2> SlotStates;
    TCellMapByte TargetMap;
    TCellMapInt MoveMap;
    TCellMapInt Cells; // +n side 1's personage n, -n side 2's, 0 empty
    TRangeArray<TTimelineEvent, 1, TimelineCapacity> Events;
    int32_t EventCount;
    int32_t ActionPause;
    int32_t BusyUntil;
    TCellMapInt PlayerMoveMap;
    int32_t PlayerMoveLimit;
    TPersonageDelta ActionDelta;
    TPersonageDelta CounterDelta;
    TRangeArray<TPersonageSnapshot, 1, 3> Forecasts;
    TCellMapInt StartCells;
    alignas(16) TRangeArray<TBattleSide, 1, 2> StartSides;
    uint8_t FastBattle;
    // The decision for an actor that the turn engine asks for; tests and
    // tools may set their own. nullptr: the built-in choice.
    bool (*Decider)(TBattle& battle, TBattleDecision& decision);
    // The report of a test run that froze or failed; empty otherwise.
    std::string Report;
    mutable TBattleCounters Counters;
    // Tests: 1 builds every approach map of an assessment anew for each pair
    // it serves, as the rules are written; 0 builds each once.
    uint8_t AssessMapsPerPair;

    // ---- access (the personage (side, n): entry n of side s's Personages)
    TPersonage& Personage(int32_t side, int32_t n) { return Sides[side].Personages[n]; }
    const TPersonage& Personage(int32_t side, int32_t n) const { return Sides[side].Personages[n]; }
    THexCell PersonageCell(int32_t side, int32_t n) const
    {
        const TPersonage& p = Personage(side, n);
        return THexCell{p.FormationRow, p.FormationColumn};
    }
    TBattleSlotState& SlotState(int32_t side, int32_t n) { return SlotStates[side].States[n]; }
    const TBattleSlotState& SlotState(int32_t side, int32_t n) const { return SlotStates[side].States[n]; }
    bool IsActor(int32_t side, int32_t n) const { return side == ActorSide && n == ActorSlot && side > 0; }

    // ---- field
    // As StepHexCell; for directions 13..18 also false when the middle cell
    // is occupied.
    bool GetNeighbourCell(THexCell cell, int32_t direction, THexCell& result) const
    {
        if (!StepHexCell(cell.Row, cell.Column, direction, result))
            return false;
        if (direction >= 13 && direction <= 18) {
            THexCell middle;
            StepHexCell(cell.Row, cell.Column, direction - 12, middle);
            if (ReadCellMapInt(Cells, middle) != 0)
                return false;
        }
        return true;
    }
    bool GetNeighbourCellAt(int32_t row, int32_t column, THexCell& result, int32_t direction) const;

    // ---- accessors: the actor's working values, everyone else's stored ones
    // Stat 1..8; 0 the attack stat of its AttackMode (0 for other modes).
    int32_t GetPersonageStat(int32_t side, int32_t n, int32_t stat) const
    {
        const TPersonage& p = Personage(side, n);
        if (stat == statByAttackMode) {
            switch (p.AttackMode) {
            case mFight:
                stat = statAttackBlow;
                break;
            case mShoot:
                stat = statAttackShot;
                break;
            case mSpell:
                stat = statMagicPower;
                break;
            default:
                return 0;
            }
        }
        if (!TStatArray::InRange(stat))
            return 0;
        return IsActor(side, n) ? p.GetWorkStat(stat) : p.Stats[stat];
    }
    bool HasBonus(int32_t side, int32_t n, int32_t bonus) const
    {
        const TPersonage& p = Personage(side, n);
        return IsActor(side, n) ? p.WorkBonusSet.Has(bonus) : p.BonusSet.Has(bonus);
    }
    int32_t GetHits(int32_t side, int32_t n) const
    {
        const TPersonage& p = Personage(side, n);
        return ActorSide > 0 ? p.WorkHits : p.Hits;
    }
    // The weapon bonus (entry 3 of PersBonus).
    uint8_t WeaponBonus(int32_t side, int32_t n) const { return Personage(side, n).PersBonus[3]; }

    // ---- movement maps and clicks
    void BuildDistanceMap(int32_t side, int32_t n, TCellMapInt& map, THexCell stopCell, THexCell startCell) const;
    void BuildDistanceMapFreeing(int32_t side, int32_t n, TCellMapInt& map, THexCell cell) const;
    void BuildMoveMap(int32_t side, int32_t n, TCellMapInt& map) const;
    void PruneUnlinkedCells(TCellMapInt& map) const;
    int32_t BuildAttackApproachMap(int32_t side, int32_t n, bool force, THexCell cell, TCellMapInt& map) const;
    int32_t GetAttackApproach(int32_t side, int32_t n, bool force, TCellMapInt& map) const;
    bool DecideFromClick(const TCellMapInt& map, THexCell cell, TBattleDecision& decision) const;
    void UpdateContact(int32_t side, int32_t n);
    bool IsCellOfSide(int32_t side, THexCell cell, int32_t attackMode, int32_t kind) const;
    bool IsCellOfSideFor(int32_t side, int32_t n, int32_t attackMode, int32_t kind, THexCell cell) const;

    // ---- combat formulas
    int32_t CalcSpellValue(int32_t spell, int32_t effect, int32_t power, int32_t percent, int32_t targetSide,
                           int32_t targetN, int32_t defenceStat) const;
    int32_t EffectChange(int32_t spell, int32_t effect, int32_t power, int32_t v, int32_t percent, int32_t targetSide,
                         int32_t targetN) const;
    int32_t GetManaCost(int32_t side, int32_t n, int32_t spellSlot, int32_t targetSide, int32_t targetN) const;
    bool CanCastSpell(int32_t side, int32_t n, int32_t spellSlot, int32_t targetSide, int32_t targetN) const;
    int32_t GetFlankDirection(int32_t side, int32_t n, int32_t kind, int32_t targetN, int32_t targetSide) const;
    int32_t GetFlankDirectionFromCell(THexCell cell, int32_t side, int32_t kind, int32_t targetN, int32_t targetSide,
                                      int32_t n) const;
    static bool IsBackAttack(THexCell fromCell, THexCell toCell, int64_t heading);
    // One strike of (side, n) standing on attackerCell at (targetSide,
    // targetN) standing on targetCell.
    int32_t CalcStrikeDamage(int32_t side, int32_t n, int32_t targetSide, int32_t targetN, int32_t mode, bool contact,
                             int32_t distance, THexCell attackerCell, THexCell targetCell) const;
    int32_t CalcAttackDamage(int32_t side, int32_t n, int32_t targetSide, int32_t targetN, int32_t mode, int32_t row,
                             int32_t column, int32_t row2, int32_t column2);
    int64_t GetEffectMultiplier(int32_t side, int32_t n, int32_t bonus) const;

    // ---- statistics
    // Rebuilds the personage's statistics and bonus set from what it brought
    // into the battle. spell 0: a normal recomputation into Stats, PersBonus,
    // PersBonusAdd, BonusSet (and the working copy, which then equals them);
    // otherwise a forecast into the working copy only, and a spell above 0
    // counts as a sixth active effect cast by a personage of the same side
    // (sameSide) or of the other.
    void RecalcPersonage(int32_t side, int32_t n, int32_t spell, int32_t power, int32_t percent, bool sameSide);

    // ---- health, death, morale and merit
    // Adds change (negative = damage) to the personage's health, caused by
    // (bySide, byN) (0, 0 none) with the action mode `mode`; the reaction.
    uint8_t ApplyHealthChange(int32_t side, int32_t n, int32_t change, uint8_t mode, int32_t bySide, int32_t byN);
    uint8_t GetDeathMode(int32_t side, int32_t n) const;
    // The personage loses its horse; mode 1 is the set-up's dismount.
    uint8_t HorseFall(int32_t side, int32_t n, uint8_t mode);
    // After a melee hit of (side, n) on a mounted target: the horse may
    // fall. The reaction, changed when the horse dies or falls.
    uint8_t LanceTest(int32_t side, int32_t n, int32_t targetSide, int32_t targetN, uint8_t reaction);
    void UpdateMorale(int32_t side, int32_t n);
    void SpreadMorale(int32_t side, int32_t n);
    void AddMerit(int32_t bySide, int32_t byN, int32_t change, int32_t targetN, int32_t targetSide);

    // ---- forecasts and change records
    void ForecastSpell(int32_t side, int32_t n, int32_t targetSide, int32_t targetN, int32_t spellSlot,
                       TPersonageDelta& delta);
    // fromCell with Column 0, or the attacker's own cell: from where it stands.
    void ForecastAttack(int32_t side, int32_t n, int32_t targetSide, int32_t targetN, THexCell fromCell,
                        TPersonageDelta& delta);
    void TakeSnapshot(int32_t side, int32_t n, TPersonageSnapshot& snapshot) const;
    void DiffSnapshot(const TPersonageSnapshot& snapshot, int32_t side, int32_t n, TPersonageDelta& delta) const;

    // ---- applying an action
    // Carries out one step of an action of (side, n) on the target or the
    // cell; mode returns the reaction; the result is the damage dealt
    // (negative: health given).
    int32_t ApplyAction(int32_t side, int32_t n, uint8_t& mode, int32_t spellSlot, THexCell cell, int32_t targetN,
                        int32_t targetSide);

    // ---- set-up and aftermath
    // Fills the battle from copies of the two sides (the caller's records
    // stay as they are), plays it once silently and, for a shown battle,
    // puts it back at its start with the estimate kept.
    void Init(const TBattleSide& side1, const TBattleSide& side2, uint8_t arenaKind, uint8_t timeOfDay, uint8_t mode);
    // Results, strengths and experience of both sides, copied out.
    void Finish(TBattleSide& side1, TBattleSide& side2);

    // ---- turn engine and timeline
    int32_t GetTurnPriority(int32_t side, int32_t n) const;
    // The next actor and its decision; false when there is nothing to carry
    // out now (mError: over or nobody ready; mBusy: wait for the events).
    bool SelectNextActor(TBattleDecision& decision);
    // Starts the next round; the new value of Over.
    bool StartNewRound();
    void UpdateTimeline();
    bool IsBusy(int32_t side, int32_t n) const;
    // Appends a visual action to the timeline; false for one without
    // duration or when the timeline is full.
    bool QueueAction(const TBattleAction& action);
    void QueueActions(TActionList& list, int32_t duration);
    // The decision for the actor of decision.Side, decision.Slot, through
    // Decider; without one the computer's own choice.
    bool ChooseAction(TBattleDecision& decision);

    // ---- action execution
    // Appends a visual element of type 0..3 (see ActionStep); modes below 2
    // append nothing.
    void AddAction(uint8_t type, TActionList& list, int32_t side, int32_t slot, uint8_t mode, uint8_t targetMark);
    void AddAction(uint8_t type, TActionList& list, int32_t side, int32_t slot, int32_t targetSide, int32_t targetSlot,
                   uint8_t mode, uint8_t subMode);
    void AddAction(uint8_t type, TActionList& list, int32_t side, int32_t slot, uint8_t mode, uint8_t subMode,
                   const TPersonageDelta& delta);
    void AddAction(uint8_t type, TActionList& list, int32_t side, int32_t slot, int32_t targetSide, int32_t targetSlot,
                   uint8_t mode, uint8_t subMode, const TPersonageDelta& delta);
    bool CanCounterAny(int32_t side, int32_t n) const;
    bool CanCounter(int32_t side, int32_t n, THexCell attackerCell) const;
    void TurnToward(int32_t side, int32_t n, int32_t otherSide, int32_t otherN);
    void PlaceAndTurn(int32_t side, int32_t n, int32_t column, int32_t row, int32_t otherN, int32_t otherSide);
    void PerformAction(const TBattleDecision& decision, TActionList& list);
    // After an action of side's personage in which someone fell: the other
    // side may break (retreat or rout) and end the battle.
    void RoutTest(int32_t side);

    // ---- spell targets and attack reach
    // Marks the targets of the spell in spell slot 1..7 of (side, n) on
    // TargetMap; the number of marked cells.
    int32_t MarkSpellTargets(int32_t side, int32_t n, int32_t spellSlot);
    bool CanAttackPersonage(int32_t side, int32_t n, int32_t targetSide, int32_t targetN) const;
    bool CanAttackCell(int32_t side, int32_t n, THexCell cell) const;
    bool CanAttackFromCell(int32_t side, int32_t n, THexCell targetCell, THexCell fromCell) const;

    // ---- the computer's choice
    // Fills every personage's assessment for the actor (side, slot): its
    // Assessment while ActorSide is 0, its ActorAssessment otherwise.
    void AssessThreats(int32_t side, int32_t slot);
    // The computer's decision for the actor named by the decision; the
    // suggestion and the screen's maps for a player's personage.
    bool ComputeAction(TBattleDecision& decision);

private:
    bool IsAssessedLiving(int32_t side, int32_t n) const;
    // Whether the enemy e strikes before X (priority x) moves again, the
    // actor's priority being a.
    bool StrikesBefore(int32_t a, int32_t x, int32_t enemySide, int32_t e) const;
    const TCellMapInt& ApproachMap(int32_t side, int32_t n, TAssessMaps& maps);
    void AssessOne(int32_t s, int32_t n, int32_t side, int32_t slot, int32_t a, bool withActor, TAssessMaps& maps);
    void ActorValues(int32_t s, int32_t n, int32_t es, int32_t e, bool approach, bool withActor);
    // The effect rules of ApplyAction by kind of action; each returns the
    // damage dealt and leaves the reaction in `reaction`.
    int32_t ApplyMove(int32_t side, int32_t n, uint8_t mode, THexCell cell);
    int32_t ApplyStrike(int32_t side, int32_t n, uint8_t mode, int32_t targetN, int32_t targetSide, uint8_t& reaction);
    int32_t ApplySpell(int32_t side, int32_t n, uint8_t mode, int32_t spellSlot, int32_t targetN, int32_t targetSide,
                       uint8_t& reaction);
    int32_t ApplyPotion(int32_t side, int32_t n, uint8_t mode, int32_t beltEntry, int32_t targetN, int32_t targetSide,
                        uint8_t& reaction);
    // One element with every field given.
    void AppendAction(uint8_t type, TActionList& list, int32_t side, int32_t slot, int32_t targetSide,
                      int32_t targetSlot, uint8_t mode, uint8_t subMode, const TPersonageDelta* delta,
                      uint8_t targetMark);
    // The turn bookkeeping after an action, with the end of the turn and
    // the rout test.
    void FinishTurn(const TBattleDecision& decision, uint8_t reaction, bool killed, int32_t dealt, TActionList& list);
    void ApplyAbility(int32_t side, int32_t n, uint8_t& reaction, TActionList& list);
    // The cure rules of a target that has just been healed.
    void CureMoveAndEvilEye(int32_t side, int32_t n);
    // The merit of a change, split between (a, n), the target and their
    // supporters.
    void PaySupporters(int32_t side, int32_t n, int64_t share);
    // Class of a cell for the flank rules: 0 off the field or empty, 1 or 2
    // the side of its occupant.
    int32_t CellSideClass(THexCell cell) const;
    // The spell part of CalcAttackDamage: the score of the caster's spells
    // on the target; kill and dealt grow by the damage spells.
    int64_t EstimateSpells(int32_t side, int32_t n, int32_t targetSide, int32_t targetN, int32_t mode, int64_t& kill,
                           int64_t& dealt) const;
};

// The personage loses its horse: the horse is marked lost, the main hand
// takes the kept weapon (or the type's default), and the record is rebuilt
// with its reference values taken anew. No wound.
void LoseHorse(TPersonage& p);

// StartStrength and EndStrength of a side.
void CalcBattleSideStrength(TBattleSide& side);
// Writes the snapshot of two sides as the battle set-up received them,
// named after the enemy ("Error! " in front for a failed test run). False
// when the file could not be written; the battle goes on either way.
bool SaveBattleSnapshot(const TBattleSide& side1, const TBattleSide& side2, uint8_t mode, bool error);
// The snapshot's file name part for a name of the scenario texts: no
// folder separators, "..", control or reserved characters, at most 64 bytes.
std::string SnapshotFileName(const std::string& name);
constexpr int32_t BattleSnapshotSize = 52720;

// 0 neither, 1 only strengthened, 2 only weakened, 3 both.
uint8_t GetPersonageBuffState(const TPersonage& p);
// Marks a bonus in the snapshot (values above 207 are ignored).
void MarkSnapshotBonus(TPersonageSnapshot& snapshot, int32_t bonus);
// Stores a spell in the first free added-effect entry; with all five in
// use nothing happens.
void AddSnapshotEffect(TPersonageSnapshot& snapshot, int32_t spell);

// The largest entry of a distance map below 777, 0 when none.
int32_t MaxCellMapDistance(const TCellMapInt& map);
// The first cell in scan order with the largest (smallest) positive entry,
// (0, 0) when no entry is positive.
THexCell FindHighestCell(const TCellMapInt& map);
THexCell FindLowestCell(const TCellMapInt& map);
// From a numbered cell of a breadth-first map, the first step of a shortest
// path from the start toward it (the cell itself when it is 1 or less);
// (0, 0) when the walk meets a cell with no nearer neighbour.
THexCell StepTowardStart(const TCellMapInt& map, THexCell cell);

// (4 x value + value x rounds) div 5.
int32_t SpreadOverDuration(int32_t value, int32_t rounds);

// The battle screen's battle and decision, for the program's run.
extern std::unique_ptr<TBattle> CurrentBattle;
extern TBattleDecision BattleDecision;

// Puts every global of the battle back to its start value: the rule
// settings (the built-in values) and the options screen's animation wait,
// the battle screen's battle and decision, the two map sides and the
// rewards of the last aftermath.
void ResetBattleGlobals();

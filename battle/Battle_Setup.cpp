// The front and back door of a battle: the set-up that places both armies,
// applies the start-of-battle rules and an assault's opening losses, writes
// the snapshot and plays the battle once silently; and the aftermath that
// decides the results, the strengths and the experience.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "battle/Battle.h"
#include "battle/Battle_Rules.h"
#include "battle/Battle_Tables.h"
#include "model/ai/AIMain_Settings.h"
#include "model/FixedPoint.h"
#include "model/tables/Global_Texts.h"
#include "model/Hooks.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/Support.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"

namespace {

bool IsImmune(const TPersonage& p)
{
    return HoldsAny(p.BonusSet, {ThePhantom, pLifesteal, bInvincible});
}

// The formation line of a personage (1..3), 0 on the middle line.
int32_t Line(const TPersonage& p)
{
    return p.FormationRow < 0 ? -p.FormationRow : p.FormationRow;
}

// The log name of an army, or its number when the world does not hold it.
std::string ArmyLogName(int32_t army)
{
    const bool known = army <= 0 || (army <= ArmyCount && army <= MapArmyMax) ||
                       (army > ArmyCount && army - ArmyCount <= BuildingCount && army - ArmyCount <= MapBuildingMax);
    return known ? GetArmyLogName(army) : "#" + std::to_string(army);
}

// The scenario's name of an army or a building's garrison; empty when the
// world does not hold it.
std::string ArmyName(int32_t army)
{
    if (army >= 0 && army <= ArmyCount && army <= MapArmyMax)
        return WideToGameAnsi(ArmyTexts[army].Name);
    const int32_t building = army - ArmyCount;
    if (army > ArmyCount && building <= BuildingCount && building <= MapBuildingMax)
        return WideToGameAnsi(BuildingTexts[building].Name);
    return std::string();
}

} // namespace

std::string SnapshotFileName(const std::string& name)
{
    std::string out;
    for (char ch : name) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool reserved = c < 32 || c == 127 || std::strchr("\\/:*?\"<>|", ch) != nullptr;
        out.push_back(reserved ? '_' : ch);
    }
    // No ".." anywhere, so that the name never climbs out of the folder.
    for (size_t at = out.find(".."); at != std::string::npos; at = out.find(".."))
        out.replace(at, 2, "_");
    if (out.size() > 64)
        out.resize(64);
    while (!out.empty() && (out.back() == '.' || out.back() == ' '))
        out.pop_back();
    while (!out.empty() && out.front() == ' ')
        out.erase(out.begin());
    return out.empty() ? std::string("Battle") : out;
}

bool SaveBattleSnapshot(const TBattleSide& side1, const TBattleSide& side2, uint8_t mode, bool error)
{
    const int32_t enemy = mode == PlayerSide2 ? side1.Army : side2.Army;
    const std::string name = (error ? "Error! " : "") + SnapshotFileName(ArmyName(enemy));
    std::vector<uint8_t> bytes(BattleSnapshotSize, 0);
    std::memcpy(bytes.data() + 672, &side1, sizeof side1);
    std::memcpy(bytes.data() + 672 + sizeof side1, &side2, sizeof side2);
    static_assert(672 + 2 * sizeof(TBattleSide) == BattleSnapshotSize);
    return OS_WriteFileAtomic(SavesFolder + name + ".Bgd", bytes.data(), bytes.size());
}

void CalcBattleSideStrength(TBattleSide& side)
{
    int64_t start = 0;
    int64_t end = 0;
    const int32_t count = side.StartCount < ArmySlotCount ? side.StartCount : ArmySlotCount;
    for (int32_t k = 1; k <= count; ++k) {
        const TPersonage& p = side.Personages[k];
        const double s = p.Strength;
        const double full = p.FullHits > 0 ? p.FullHits : 0;
        // A record without full health has no share in the strengths.
        if (full <= 0)
            continue;
        start += RoundHalfEven((p.BattleStartHits * 0.5 / full + 0.5) * s);
        switch (p.BattleState) {
        case 0:
        case 2:
            end += RoundHalfEven((p.Hits * 0.9 / full + 0.1) * s);
            break;
        case 3:
            end += RoundHalfEven((p.Hits * 0.8 / full + 0.2) * s);
            break;
        case 4:
            end += RoundHalfEven((p.Hits * 0.7 / full + 0.3) * s);
            break;
        case 5:
            end += RoundHalfEven(s * 0.1);
            break;
        default:
            break;
        }
    }
    side.StartStrength = ClampToInt32(start);
    side.EndStrength = ClampToInt32(end);
}

void TBattle::Init(const TBattleSide& side1, const TBattleSide& side2, uint8_t arenaKind, uint8_t timeOfDay,
                   uint8_t mode)
{
    // Nothing survives from the battle before.
    Animated = 0;
    ActorSide = ActorSlot = 0;
    DeathThisAction = 0;
    TestRounds = 0;
    ActionStep = 0;
    ActorInitiative = 0;
    Over = 0;
    TargetMap.fill(0);
    MoveMap.fill(0);
    PlayerMoveMap.fill(0);
    PlayerMoveLimit = 0;
    EventCount = 0;
    BusyUntil = 0;
    std::memset(&ActionDelta, 0, sizeof ActionDelta);
    std::memset(&CounterDelta, 0, sizeof CounterDelta);
    std::memset(&Forecasts, 0, sizeof Forecasts);
    FastBattle = 0;
    Report.clear();

    // 1..3. Our own copies, the factors and the assault values.
    auto given = std::make_unique<TBattleSide[]>(2);
    given[0] = side1;
    given[1] = side2;
    ArenaKind = arenaKind;
    TimeOfDay = timeOfDay;
    Round = 0;
    LoadBattleRules();
    for (int i = 0; i < 2; ++i) {
        TBattleSide& s = given[i];
        if (s.HeroExpFactor == 0.0f)
            s.HeroExpFactor = 1.0f;
        if (s.ExpFactor == 0.0f)
            s.ExpFactor = 1.0f;
        if (AssaultParams.Attacker != NoAssault && s.Army == AssaultParams.Attacker) {
            s.AssaultB = AssaultParams.AssaultB;
            s.AssaultC = AssaultParams.AssaultC;
            s.AssaultA = AssaultParams.DefenceFire;
        }
    }
    Sides[1] = given[0];
    Sides[2] = given[1];
    Cells.fill(0);
    for (int32_t s = 1; s <= 2; ++s)
        SlotStates[s] = TBattleSideSlots{};

    // 4. The listed personages: 1..12 with health, placed on their cells.
    for (int32_t s = 1; s <= 2; ++s) {
        TBattleSide& side = Sides[s];
        side.AIFlag = 1;
        side.LivingCount = 0;
        for (int32_t k = 1; k <= 12; ++k)
            if (side.Personages[k].Hits > 0)
                side.Living[++side.LivingCount] = k;
        for (int32_t k = side.LivingCount + 1; k <= ArmySlotCount; ++k)
            side.Living[k] = 0;
        // The listed personages are numbered 1..LivingCount, so that every
        // rule that walks 1..PersonageCount meets all of them.
        for (int32_t i = 1; i <= side.LivingCount; ++i) {
            const int32_t k = side.Living[i];
            if (k != i) {
                side.Personages[i] = side.Personages[k];
                side.ArmySlot[i] = side.ArmySlot[k];
                side.Living[i] = i;
            }
        }
        side.StartCount = side.PersonageCount = side.LivingCount;
        RoundDamage[s] = 0;
        side.Stats.StartHits = 0;
        for (int32_t k = 1; k <= side.LivingCount; ++k) {
            TPersonage& p = side.Personages[k];
            side.Stats.StartHits = ClampToInt32(static_cast<int64_t>(side.Stats.StartHits) + p.Hits);
            const bool noHorseArena = arenaKind == 5 || arenaKind == 6 || arenaKind == 7 || arenaKind == 11 ||
                                      arenaKind == 14 || arenaKind == 15;
            const bool woods = arenaKind >= 8 && arenaKind <= 10;
            if (p.PersBonus[3] == bLance &&
                (noHorseArena || (woods && !p.BonusSet.Has(HorseMaster) && !p.BonusSet.Has(pHorseMaster))))
                HorseFall(s, k, 1);
            if (p.BonusSet.Has(tFerrumShield)) {
                const TSpell* shield = FindSpell(MisticBattleShield);
                if (shield != nullptr)
                    p.Effects[1] = TPersonageEffect{MisticBattleShield, 1, p.Stats[statMagicPower], shield->Time};
            }
            if ((s == 1 && p.LevelUp == 0) || (s == 2 && p.LevelUp == 1))
                p.RefStats[statInitiative] = ClampToInt16(p.RefStats[statInitiative] + 1);
            p.ActionsDone = 0;
            p.HitsDone = 0;
            // Wear is carried from battle to battle in hundredths of a percent;
            // a damaged record's wear is brought into that range, so that
            // the armour rules never scale by a factor outside 0..1.
            p.ArmourWear = std::clamp<int64_t>(p.ArmourWear, 0, 10000);
            WriteCellMapInt(Cells, PersonageCell(s, k), s == 1 ? k : -k);
            for (int axis = 0; axis < 3; ++axis)
                p.SetShownPosition(axis, 0);
            p.Heading = p.TurnStartHeading = s == 1 ? 31416 : 0;
            p.TurnDelta = 0;
            PlaceAndTurn(s, k, 0, 0, 0, 0);
        }
        side.Stats.HitsPool = side.Stats.StartHits;
    }

    // 5, 6.
    Sides[1].Result = Sides[2].Result = SideFighting;
    if (Sides[1].StartCount <= 0 || Sides[2].StartCount <= 0) {
        Over = 1;
        Mode = mode;
        return;
    }
    for (int32_t s = 1; s <= 2; ++s)
        for (int32_t k = 1; k <= Sides[s].LivingCount; ++k) {
            UpdateMorale(s, k);
            RecalcPersonage(s, k, 0, 0, 0, false);
        }

    // 7, 8.
    if (mode == PlayerSide1 || mode == PlayerSide2)
        SaveBattleSnapshot(given[0], given[1], mode, false);
    for (int32_t i = 1; i <= 2; ++i) {
        if (AssaultParams.Attacker == NoAssault || Sides[i].Army != AssaultParams.Attacker)
            continue;
        const int32_t j = 3 - i;
        TBattleSide& a = Sides[i];
        TBattleSide& d = Sides[j];
        int64_t A = 0;
        for (int32_t k = 1; k <= a.LivingCount; ++k) {
            const TPersonage& p = a.Personages[k];
            A += p.AttackMode == mFight ? p.Stats[statAttackBlow] : MinDamage;
        }
        // Without attack strength there is nothing to weigh the defences
        // against: no opening loss.
        if (A <= 0 || a.LivingCount <= 0)
            break;
        const double F =
            static_cast<double>(RoundHalfEven((AssaultParams.AssaultB / static_cast<double>(A) + 1) * 10000));
        int64_t X = RoundHalfEven(AssaultParams.DefenceFire * F / a.LivingCount / 10000);
        if (a.Personages[1].BonusSet.Has(tSiegesMaster))
            X = X * (100 - BV(tSiegesMaster)) / 100;
        if (GameDifficulty < 2)
            X = X * 80 / 100;
        int64_t D = 0;
        for (int32_t k = 1; k <= a.LivingCount; ++k) {
            TPersonage& p = a.Personages[k];
            int64_t L = X - p.Stats[statProtect] - 5 * Line(p);
            if (L < MinDamage)
                L = MinDamage;
            if (IsImmune(p))
                L = 0;
            if (p.Hits <= L) {
                p.Hits = ClampToInt16(MinDamage);
                D += RoundHalfEven(MinDamage * F / L);
            } else {
                int64_t hits = p.Hits - L;
                if (hits < MinDamage)
                    hits = MinDamage;
                p.Hits = ClampToInt16(hits);
                D += static_cast<int64_t>(F);
            }
            p.BattleStartHits = p.Hits;
        }
        int64_t B = 0;
        for (int32_t k = 1; k <= a.LivingCount; ++k)
            if (a.Personages[k].AttackMode == mShoot)
                B += a.Personages[k].Stats[statAttackShot];
        if (B > 0 && d.LivingCount > 0) {
            D = RoundDivHalfEven(D, a.LivingCount);
            const int64_t Y = RoundHalfEven(static_cast<double>(B) * D / d.LivingCount / 10000);
            for (int32_t k = 1; k <= d.LivingCount; ++k) {
                TPersonage& p = d.Personages[k];
                int64_t L = Y - p.Stats[statProtect] - (10 + 5 * Line(p));
                if (Line(p) == 0)
                    L = Y - p.Stats[statProtect];
                if (L < MinDamage)
                    L = MinDamage;
                if (IsImmune(p))
                    L = 0;
                if (p.AttackMode != mShoot && L == MinDamage)
                    L = 0;
                int64_t hits = p.Hits - L;
                if (hits < MinDamage)
                    hits = MinDamage;
                p.Hits = ClampToInt16(hits);
                p.BattleStartHits = p.Hits;
            }
        }
        break;
    }

    // 9. The start state of a shown battle is kept.
    Mode = mode;
    const bool shown = mode == PlayerSide1 || mode == PlayerSide2 || mode == Watched;
    std::unique_ptr<TBattleSide[]> keptSides;
    TRangeArray<TBattleSideSlots, 1, 2> keptSlots = SlotStates;
    const TCellMapInt keptCells = Cells;
    if (shown) {
        keptSides = std::make_unique<TBattleSide[]>(2);
        keptSides[0] = Sides[1];
        keptSides[1] = Sides[2];
    }

    // 10, 11. The silent test run.
    EventCount = 0;
    ActionPause = 0;
    BusyUntil = 0;
    Round = 0;
    ActorInitiative = 0;
    Over = 0;
    Animated = 0;
    PlayerPresent = 0;
    ScanCount = 2 * ArmySlotCount;
    TBattleDecision decision{};
    int32_t lastSide = 0, lastSlot = 0;
    int32_t repeats = 0;
    bool failed = false;
    TActionList list;
    try {
        while (Over == 0 && repeats < 50) {
            if (SelectNextActor(decision)) {
                PerformAction(decision, list);
                QueueActions(list, 0);
            }
            if (decision.Side == lastSide && decision.Slot == lastSlot)
                ++repeats;
            else
                repeats = 0;
            lastSide = decision.Side;
            lastSlot = decision.Slot;
        }
    } catch (const std::exception&) {
        failed = true;
    }
    if (failed || repeats >= 50) {
        std::string text = std::string("Battle AI test battle ") + (failed ? "error." : "freeze.") + "\n";
        const int32_t ds = decision.Side >= 1 && decision.Side <= 2 ? decision.Side : 0;
        const int32_t dn = decision.Slot >= 1 && decision.Slot <= ArmySlotCount ? decision.Slot : 0;
        const std::string name = ds > 0 && dn > 0 ? Personage(ds, dn).Name.Str() : std::string();
        if (Sides[1].Army >= 0 && Sides[2].Army >= 0)
            text += ArmyLogName(Sides[1].Army) + " attack " + ArmyLogName(Sides[2].Army) + "\n" + "CurTurn " +
                    std::to_string(Round) + ", army " + (ds > 0 ? ArmyLogName(Sides[ds].Army) : std::string("#0")) +
                    ", unit #" + std::to_string(decision.Slot) + " " + name;
        else
            text += "CurTurn " + std::to_string(Round) + ", army #" + std::to_string(decision.Side) + ", unit #" +
                    std::to_string(decision.Slot) + " " + name;
        Report = text;
        if (RenderHooks().Windowed()) {
            ShowWindowedErrorBox("Batte AI", text);
            SaveBattleSnapshot(given[0], given[1], mode, true);
        }
    }

    // 12.
    if (!shown) {
        for (int32_t s = 1; s <= 2; ++s)
            Sides[s].Estimate = Sides[s].Stats;
        return;
    }
    keptSides[0].Estimate = Sides[1].Stats;
    keptSides[1].Estimate = Sides[2].Stats;
    TestRounds = Round;
    Sides[1] = keptSides[0];
    Sides[2] = keptSides[1];
    SlotStates = keptSlots;
    Cells = keptCells;
    Sides[1].PlayerControlled = mode == PlayerSide1 ? 1 : 0;
    Sides[2].PlayerControlled = mode == PlayerSide2 ? 1 : 0;
    ActionPause = 400;
    Animated = 1;
    EventCount = 0;
    Round = 0;
    ActorInitiative = 0;
    Over = 0;
    SlotStates[1].KillCount = 0;
    SlotStates[2].KillCount = 0;
    PlayerPresent = mode == Watched ? 0 : 1;
    StartCells = Cells;
    StartSides = Sides;
}

void TBattle::Finish(TBattleSide& side1, TBattleSide& side2)
{
    int32_t standing[3] = {0, 0, 0};
    for (int32_t s = 1; s <= 2; ++s)
        for (int32_t k = 1; k <= Sides[s].PersonageCount && k <= ArmySlotCount; ++k) {
            const uint8_t state = Sides[s].Personages[k].BattleState;
            if (state == 0 || state == 2)
                ++standing[s];
        }
    for (int32_t s = 1; s <= 2; ++s) {
        if (Sides[s].Result != SideFighting)
            continue;
        if (standing[s] > 0 && standing[3 - s] == 0)
            Sides[s].Result = SideWon;
        else if (standing[s] == 0 && standing[3 - s] > 0)
            Sides[s].Result = SideLost;
    }
    CalcBattleSideStrength(Sides[1]);
    CalcBattleSideStrength(Sides[2]);

    const int64_t C = ExpCorrection[2] > 0 ? ExpCorrection[2] : 40000;
    for (int32_t s = 1; s <= 2; ++s) {
        TBattleSide& side = Sides[s];
        const TBattleSide& other = Sides[3 - s];
        int64_t R;
        if (side.StartStrength <= 0) {
            R = C;
        } else {
            R = RoundHalfEven(static_cast<long double>(other.StartStrength) / side.StartStrength * 10000);
            if (R >= 10000)
                R = RoundHalfEven(std::sqrt(R / 10000.0L) * 10000);
            else
                R = RoundHalfEven(std::pow(R / 10000.0L, 2) * 10000);
        }
        const int64_t floor = RoundHalfEven(1.0L / C * 1e8L);
        if (R > C)
            R = C;
        else if (R < floor)
            R = floor;
        side.ExpBase =
            static_cast<float>(static_cast<double>(other.StartStrength - other.EndStrength) * R / 80 / 10000);
        side.ExpMultiplier = 1.0f;
        int64_t E = RoundHalfEven(static_cast<long double>(side.ExpBase) * side.ExpMultiplier * 10000);
        const bool player = side.Army == PlayerArmy;
        int64_t G;
        if (player) {
            E = RoundHalfEven(E * static_cast<long double>(side.HeroExpFactor));
            G = static_cast<int64_t>(side.HeroExpBonus) * 10000;
        } else {
            E = RoundHalfEven(E * static_cast<long double>(side.ExpFactor));
            G = static_cast<int64_t>(side.ExpBonus) * 10000;
        }
        const int32_t count = side.PersonageCount < ArmySlotCount ? side.PersonageCount : ArmySlotCount;
        long double S = 0;
        for (int32_t k = 1; k <= count; ++k)
            S += side.Personages[k].Merit;
        int64_t gained = 0;
        for (int32_t k = 1; k <= count; ++k) {
            TPersonage& p = side.Personages[k];
            if (S <= 0 || p.BattleState == 6) {
                p.BattleExperience = 0;
                continue;
            }
            // The difference in extended precision: a damaged record's merits
            // must not wrap it (exact for every real pair of merits).
            const long double earned = static_cast<long double>(p.Merit) - static_cast<long double>(p.StartMerit);
            long double V = RoundHalfEven(E * (earned / S * 10000 + G) / 10000);
            if (player) {
                // In 64 bits: a damaged record's levels must not wrap the sums.
                const int64_t limit = p.UnitType >= 1 && p.UnitType <= 6
                                          ? int64_t{side.HeroLevelLimit} - 1 + p.Level
                                          : int64_t{side.UnitLevelLimit} - 1;
                const int64_t reached = int64_t{p.Level} + p.ExpLevel;
                if (reached >= limit) {
                    const long double ratio =
                        p.NextLevelExp > 0 ? static_cast<long double>(p.Experience) / p.NextLevelExp : 0;
                    const long double q = RoundHalfEven((ratio + (reached - limit)) * 10000) / 10000.0L;
                    V = RoundHalfEven(V / (q * q / 1.3333L + 1));
                }
            }
            if (V < 0)
                V = 0;
            // A type without a next level has no room for experience.
            const int64_t W =
                p.NextLevelExp > 0 ? RoundHalfEven(p.NextLevelExp / (p.NextLevelExp / 335.78L + 3.6339L) * 10000) : 0;
            if (V > W)
                V = W;
            p.BattleExperience = ClampToInt32(RoundHalfEven(V / 10000));
            gained += p.BattleExperience;
        }
        side.ExperienceGained = ClampToInt32(gained);
    }
    side1 = Sides[1];
    side2 = Sides[2];
}

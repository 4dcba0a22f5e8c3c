// Recomputing a personage's statistics in a battle: never edited in place,
// they are rebuilt from the values the personage brought into the battle,
// with walls, potions, terrain and time of day, neighbours and leaders,
// stun, stance, the active spell effects and fear applied in a fixed order.
// Percent products are whole numbers truncated toward zero unless they are
// rounded.
#include <cmath>
#include <cstdlib>

#include "battle/Battle.h"
#include "battle/Battle_Tables.h"
#include "model/FixedPoint.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/World_Tables.h"

namespace {

// The statistics being written, with the two bonus lists that follow them
// in the record.
struct TStatBlock {
    int64_t S[9] = {}; // 1..8
    TBonusList PersBonus{};
    TBonusList PersBonusAdd{};
};

// value x percent / 100, truncated.
int64_t PercentOf(int64_t value, int64_t percent)
{
    return value * percent / 100;
}

// An active effect taking part in the recomputation.
struct TActiveEffect {
    int32_t Spell;
    int32_t Power;
    int32_t Percent;
    bool Forecast; // the spell of a forecast
};

TBonusType StanceEffect(uint8_t stance)
{
    switch (stance) {
    case pCounterSpear:
        return eCounterPos;
    case pPowerfulStrike:
    case tPowerfulPunch:
        return eAttackPos;
    case pAimedShot:
        return eShootPos;
    case pPiercingShot:
        return eWaitPos;
    case pParry:
        return eParryPos;
    case pCover:
        return eCoverPos;
    case pDefense:
        return eDefensePos;
    case pMeditation:
    case bMeditation:
        return eManaPos;
    case tEnergyBursts:
        return eManaBurnPos;
    default:
        return NoBonus;
    }
}

} // namespace

void LoseHorse(TPersonage& p)
{
    p.Equipment[13] = -p.Equipment[13];
    const int32_t oldMain = p.Equipment[1];
    int32_t main = p.Equipment[14];
    if (main == 0) {
        main = p.DefaultItems[1];
        const TItems* item = FindItem(main);
        if (item != nullptr && item->MainType == static_cast<uint8_t>(TItemType::Lance)) {
            // A lance is of no use on foot: the first hand weapon the
            // personage can wield instead.
            main = 0;
            for (int32_t i = 1; i <= ItemCount && i <= ItemMax; ++i)
                if (ItemTable[i].MainType < static_cast<uint8_t>(TItemType::Lance) && IsItemUsableByType(p, i, false)) {
                    main = i;
                    break;
                }
        }
    }
    p.Equipment[1] = main;
    p.Equipment[14] = oldMain;
    p.Mounted = 0;
    ReloadPersonage(p, 2);
    p.RefStats = p.Stats;
    p.RefPersBonus = p.PersBonus;
    p.RefPersBonusAdd = p.PersBonusAdd;
    p.BattleBonusSet = p.BonusSet;
}

void TBattle::RecalcPersonage(int32_t side, int32_t n, int32_t spell, int32_t power, int32_t percent, bool sameSide)
{
    ++Counters.RecalcPersonage;
    TPersonage& p = Personage(side, n);
    const bool forecast = spell != 0;
    ActorSide = forecast ? side : 0;
    ActorSlot = forecast ? n : 0;
    const int32_t other = 3 - side;
    const TPersonage& leader = Personage(side, 1);
    const bool leaderAlive = leader.Hits > 0;
    auto leaderHolds = [&](int32_t bonus) { return leaderAlive && leader.BonusSet.Has(bonus); };

    int64_t hits = p.Hits;
    TStatBlock b;
    for (int i = 1; i <= 8; ++i)
        b.S[i] = p.RefStats[i];
    b.PersBonus = p.RefPersBonus;
    b.PersBonusAdd = p.RefPersBonusAdd;
    TBonusSet set = p.BattleBonusSet;
    int64_t& init = b.S[statInitiative];
    int64_t& blow = b.S[statAttackBlow];
    int64_t& shot = b.S[statAttackShot];
    int64_t& magic = b.S[statMagicPower];
    int64_t& def = b.S[statDefense];
    int64_t& prot = b.S[statProtect];
    int64_t& will = b.S[statWill];
    int64_t& maxHits = b.S[statHits];

    const TSpell* forecastSpell = spell > 0 ? FindSpell(spell) : nullptr;
    const bool keep = !SpellHasEffect(forecastSpell, eRemoveCurse);
    bool afraid = p.Fear > 0;
    if (!leaderAlive && !forecast)
        p.NearCommander = 0;
    const bool nearCommander = leaderAlive && p.NearCommander != 0;

    // 1. Walls of a besieged castle help its defenders.
    const int32_t walls = AssaultParams.AssaultC;
    const bool wallsHold =
        Sides[side].Army != AssaultParams.LastAttacker && walls > 0 && !Personage(other, 1).BonusSet.Has(tSiegesMaster);
    if (wallsHold) {
        def += walls;
        prot += walls;
        set.Include(eCastleDefense);
    }
    if (!forecast)
        p.WallsBonus = static_cast<uint8_t>(wallsHold ? walls : 0);

    // 2. Potions drunk in this battle.
    const double f = 1 + (leader.BonusSet.Has(tAlchemy) ? BV(tAlchemy) / 100.0 : 0.0);
    const int32_t drinks = p.PotionCount < 0 ? 0 : p.PotionCount > 4 ? 4 : p.PotionCount;
    for (int k = 1; k <= drinks; ++k) {
        const TItems* item = FindItem(p.PotionItems[k]);
        if (item == nullptr)
            continue;
        for (int i = 1; i <= 8; ++i) {
            const int64_t m = item->Max[i] != 0 ? Round32(item->Max[i] * f) : 0;
            const int64_t a = Round32(item->Abs[i] * f);
            const double factor = 1 + item->Prc[i] * f / 100;
            if (item->Bonus[i] != 0)
                set.Include(item->Bonus[i]);
            if (m != 0)
                b.S[i] = std::llabs(m);
            if (a != 0)
                b.S[i] += a;
            b.S[i] = RoundHalfEven(static_cast<double>(b.S[i]) * factor);
        }
    }

    // 3..10. Terrain, time of day and position.
    if (set.Has(tTraveler) && ArenaKind >= 8 && ArenaKind <= 11)
        init += BV(tTraveler);
    if (TimeOfDay >= 7 && TimeOfDay <= 9 && !set.Has(NightFight) && !set.Has(pNightFight) && !set.Has(bUndead) &&
        !set.Has(bVampire) && !set.Has(bClaws) && !set.Has(bPaw)) {
        set.Include(eDarkness);
        init = PercentOf(init, 100 - 6 * BV(eDarkness));
        shot = PercentOf(shot, 100 - 3 * BV(eDarkness));
        will -= Round32(BV(eDarkness) / 3.0);
    }
    if (Round == 0 && (p.BonusSet.Has(Ambush) || p.BonusSet.Has(pAmbush)) && ArenaKind >= 8 && ArenaKind <= 10 &&
        p.ActionPointsLeft > 0)
        for (int64_t* s : {&init, &blow, &shot, &magic})
            *s = PercentOf(*s, BV(pAmbush) + 100);
    if (set.Has(bLance) && (p.RoundSteps > 0 || p.InContact == 0))
        blow = Round32(blow * (BV(bLance) + 100) / 100.0);
    if (set.Has(pGuard) && (ArenaKind == 5 || ArenaKind == 7)) {
        def += BV(pGuard);
        prot += BV(pGuard);
    }
    if (p.ArmourWear > 0) {
        def = RoundDivHalfEven((10000 - p.ArmourWear) * def, 10000);
        prot = RoundDivHalfEven((10000 - p.ArmourWear) * prot, 10000);
        set.Include(eDamagedArmor);
    }
    if (set.Has(tReadyCrossbow) && Round == 0 && p.ActionPointsLeft > 0)
        init += BV(tReadyCrossbow);
    if (p.AttackMode == mShoot && p.BonusSet.Has(eFogView))
        shot = PercentOf(shot, 100 - BV(eFogView));
    if (keep && p.Poison > 0)
        set.Include(ePoison);

    // 12. Preachers and the ungodly of the side.
    bool otherPreacher = false;
    bool otherUngodly = false;
    for (int32_t k = 1; k <= Sides[side].PersonageCount && k <= ArmySlotCount; ++k) {
        const TPersonage& q = Personage(side, k);
        if (k == n || q.Hits <= 0)
            continue;
        otherPreacher = otherPreacher || q.BonusSet.Has(pPreacher);
        otherUngodly = otherUngodly || q.BonusSet.Has(pUngodly);
    }
    if (otherPreacher) {
        if (!set.Has(pPreacher) && !set.Has(pUngodly) &&
            ((p.Kind >= 5 && p.Kind <= 8 && p.LevelUp < 2) || set.Has(pNoble)))
            will += BV(pPreacher);
        if (set.Has(pUngodly))
            will -= BV(pPreacher);
    }
    if (otherUngodly && set.Has(pPreacher))
        will -= BV(pUngodly);

    // 13..15. Leaders.
    if (nearCommander) {
        init += 2 * BV(tCommander);
        will += BV(tCommander);
        set.Include(eCommander);
    }
    const int32_t kills = SlotStates[side].KillCount;
    if (leaderHolds(tEncouragement) && n != 1 && kills > 0) {
        init += static_cast<int64_t>(BV(tEncouragement)) * kills;
        if (p.AttackMode == mFight)
            blow += static_cast<int64_t>(BV(tEncouragement)) * kills;
        set.Include(eEncouragement);
    }
    if (leaderHolds(tCohesion) && p.CohesionCount > 0) {
        set.Include(eCohesion);
        if (p.AttackMode == mFight)
            blow += static_cast<int64_t>(BV(tCohesion)) * p.CohesionCount;
        def += static_cast<int64_t>(BV(tCohesion)) * p.CohesionCount;
    }

    // 16..18. Rednecks and nobles, rage, cover.
    const THexCell cell = PersonageCell(side, n);
    auto ownNeighbours = [&](auto visit) {
        for (int32_t d = 1; d <= 6; ++d) {
            THexCell next;
            if (!StepHexCell(cell.Row, cell.Column, d, next))
                continue;
            const int32_t occupant = ReadCellMapInt(Cells, next);
            const int32_t k = side == 1 ? occupant : -occupant;
            if (k >= 1 && k <= ArmySlotCount && k != n)
                visit(Personage(side, k));
        }
    };
    if (set.Has(pRedneck)) {
        int64_t l = 0;
        for (int32_t k = 1; k <= Sides[side].PersonageCount && k <= ArmySlotCount; ++k)
            if (Personage(side, k).Hits > 0 && Personage(side, k).BonusSet.Has(pRedneck))
                ++l;
        if (l > 4 && blow > 0)
            blow += l * BV(pRedneck);
        bool noble = false;
        ownNeighbours([&](const TPersonage& q) { noble = noble || q.BonusSet.Has(pNoble); });
        if (noble)
            SlotState(side, n).TurnFlag = 1;
        if (SlotState(side, n).TurnFlag != 0) {
            blow = PercentOf(blow, BV(pNoble) + 100);
            init = PercentOf(init, BV(pNoble) + 100);
        }
    }
    if (set.Has(tRage) && p.HitsTaken > 0) {
        blow += static_cast<int64_t>(p.HitsTaken) * BV(tRage);
        set.Include(eRage);
    }
    ownNeighbours([&](const TPersonage& q) {
        if (q.BonusSet.Has(eCoverPos))
            def += PercentOf(q.Stats[statDefense], BV(eCoverPos));
    });

    // 19..24. Stun, paralysis, stance, extra move, attack stance, will
    // suppression.
    if (keep && p.StunLevel >= 1 && p.StunLevel <= 3) {
        const int32_t stun = eStunedLight + p.StunLevel - 1;
        set.Include(stun);
        for (int64_t* s : {&init, &blow, &shot})
            *s = Round32(*s * (100 - BV(stun)) / 100.0);
    }
    if (keep && p.Paralysed != 0)
        set.Include(eParalysation);
    const TBonusType stance = StanceEffect(p.Stance);
    if (stance != NoBonus) {
        set.Include(stance);
        if (p.Stance == pDefense)
            def += BV(eDefensePos);
    }
    if (p.ExtraMove != 0)
        init = ActorInitiative;
    if (set.Has(eAttackPos))
        def = PercentOf(def, BV(eAttackPos));
    if (p.WillSuppression > 0)
        will -= static_cast<int64_t>(BV(pSuppressionWill)) * p.WillSuppression;

    // 25. Active effects: the five entries and the forecast spell.
    TActiveEffect active[6];
    int count = 0;
    for (int k = 1; k <= 5; ++k)
        if (p.Effects[k].Spell != 0)
            active[count++] = {p.Effects[k].Spell, p.Effects[k].Power, p.Effects[k].Percent, false};
    if (forecastSpell != nullptr)
        active[count++] = {spell, power, percent, true};
    bool removeCurse = false, removeBless = false, removeSpell = false, exorcism = false;
    for (int i = 0; i < count; ++i) {
        const TSpell* s = FindSpell(active[i].Spell);
        removeCurse = removeCurse || SpellHasEffect(s, eRemoveCurse);
        removeBless = removeBless || SpellHasEffect(s, eRemoveBless);
        removeSpell = removeSpell || SpellHasEffect(s, eRemoveSpell);
        exorcism = exorcism || SpellHasEffect(s, eExorcism);
    }
    for (int i = 0; i < count; ++i) {
        const TActiveEffect& a = active[i];
        const TSpell* s = FindSpell(a.Spell);
        if (s == nullptr)
            continue;
        if ((removeCurse && s->CurseSpell) || (removeBless && s->BlessSpell) ||
            (removeSpell && (sameSide ? s->CurseSpell : s->BlessSpell)) ||
            (exorcism && SpellHasEffectBonus(s, eDemoniac, eRevenge)))
            continue;
        for (int e = 1; e <= 3; ++e) {
            const int32_t kind = s->Effect[e];
            if (kind == eNone)
                continue;
            const int32_t bonus = s->EffectBonus[e];
            if (bonus == eFear)
                afraid = true;
            else if (bonus != NoBonus)
                set.Include(bonus);
            auto change = [&](int stat) -> int64_t {
                return EffectChange(a.Spell, e, a.Power, ClampToInt32(b.S[stat]), a.Percent, side, n);
            };
            switch (kind) {
            case eHit: {
                const int64_t v = change(statHits);
                if (a.Forecast && maxHits > 0)
                    hits += RoundDivHalfEven(hits * v, maxHits);
                maxHits += v;
                break;
            }
            case eCure:
            case eDamage:
                if (!a.Forecast)
                    break;
                if (bonus == eStrikeCircle) {
                    const int32_t loss = Round32((a.Percent / 100.0 + 1) * BV(eStrikeCircle));
                    for (int32_t d = 1; d <= 6; ++d) {
                        THexCell next;
                        if (!StepHexCell(cell.Row, cell.Column, d, next))
                            continue;
                        const int32_t occupant = ReadCellMapInt(Cells, next);
                        const int32_t k = other == 1 ? occupant : -occupant;
                        if (k >= 1 && k <= ArmySlotCount)
                            Personage(other, k).WorkHits -= loss;
                    }
                } else {
                    const int64_t v = change(statHits);
                    hits += kind == eCure && v < 0 ? 0 : v;
                }
                break;
            case eWillLifeSteal:
                if (a.Forecast) {
                    const int64_t v = change(statHits);
                    if (v < 0)
                        hits += v;
                }
                break;
            case eInitiative:
                init += change(statInitiative);
                break;
            case eAttack: {
                const int64_t vb = change(statAttackBlow);
                const int64_t vs = change(statAttackShot);
                blow += vb;
                shot += vs;
                break;
            }
            case eAttackBlow:
                blow += change(statAttackBlow);
                break;
            case eAttackShot:
                shot += change(statAttackShot);
                break;
            case eDefenseAll: {
                const int64_t vd = change(statDefense);
                const int64_t vp = change(statProtect);
                def += vd;
                prot += vp;
                break;
            }
            case eDefense:
                def += change(statDefense);
                break;
            case eProtect:
                prot += change(statProtect);
                break;
            case eMagicPower:
                magic += change(statMagicPower);
                break;
            case eWill:
                will += change(statWill);
                break;
            case eTotal: {
                int64_t v[9] = {};
                for (int stat = 1; stat <= 8; ++stat)
                    v[stat] = change(stat);
                for (int stat = 1; stat <= 8; ++stat)
                    b.S[stat] += v[stat];
                break;
            }
            case eKnockOut:
                // The statistics it would have on foot, taken from a copy so
                // that the record keeps its horse.
                if (p.Mounted != 0) {
                    TPersonage copy = p;
                    LoseHorse(copy);
                    for (int stat = 1; stat <= 8; ++stat)
                        b.S[stat] = copy.Stats[stat];
                    b.PersBonus = copy.PersBonus;
                    b.PersBonusAdd = copy.PersBonusAdd;
                }
                break;
            default:
                break;
            }
            if (!a.Forecast)
                continue;
            if (bonus == eWillLost && will < 0)
                hits += will;
            if (bonus == eRust) {
                const long double x = static_cast<long double>(GetEffectMultiplier(side, n, eRust)) *
                                      (a.Percent / 100.0L + 1) * BV(eRust) / 100;
                def -= TruncToInt64(def * x / 10000);
                prot -= TruncToInt64(prot * x / 10000);
            }
            if (bonus == eInvalid)
                maxHits = RoundHalfEven(
                    maxHits * std::pow(static_cast<long double>(p.InvalidCount) + 1, 1 - BV(eInvalid) / 100.0L));
        }
    }
    if (hits > maxHits)
        hits = maxHits;

    // 26. Fear.
    if (keep && afraid && !set.Has(Fearless) && !set.Has(eCourage) && !set.Has(pFearless) && !set.Has(bUndead)) {
        set.Include(eFear);
        for (int64_t* s : {&init, &blow, &shot, &magic})
            *s = PercentOf(*s, 100 - 6 * BV(eFear));
        will -= BV(eFear);
        if (!forecast && p.Mana > magic)
            p.Mana = ClampToInt16(magic);
    }

    // 27. Crippling strikes.
    if (p.InvalidCount > 0) {
        maxHits =
            RoundHalfEven(maxHits * std::pow(static_cast<long double>(p.InvalidCount), 1 - BV(eInvalid) / 100.0L));
        if (hits > maxHits)
            hits = maxHits;
    }

    // 28, 29. Will in attack and defence; floors.
    if (set.Has(eWillDefense) || set.Has(pGodWarrior)) {
        def += will;
        prot += will;
    }
    if (set.Has(eWillAttack) || set.Has(pGodWarrior)) {
        if (blow > 0)
            blow += will;
        if (shot > 0)
            shot += will;
    }
    if (init < 1)
        init = 1;
    if (def < 0)
        def = 0;
    if (prot < 0)
        prot = 0;
    if (hits > maxHits)
        hits = maxHits;

    // 30. Write the result: the stored values and the working copy, or the
    // working copy alone.
    uint8_t lists[16];
    std::memcpy(lists, &b.PersBonus, 8);
    std::memcpy(lists + 8, &b.PersBonusAdd, 8);
    for (int i = 1; i <= 8; ++i)
        p.SetWorkStat(i, ClampToInt16(b.S[i]));
    std::memcpy(p.Battle1117, lists, sizeof lists);
    p.WorkBonusSet = set;
    p.WorkHits = ClampToInt32(hits);
    if (!forecast) {
        for (int i = 1; i <= 8; ++i)
            p.Stats[i] = ClampToInt16(b.S[i]);
        p.PersBonus = b.PersBonus;
        p.PersBonusAdd = b.PersBonusAdd;
        p.BonusSet = set;
        p.Hits = ClampToInt16(hits);
    }
}

// Applying one step of an action to its target: a move, a strike of any
// kind, a shot, a spell, a potion or a special attack, then morale, the
// recomputation of those involved and the side effects of a death.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "battle/Battle.h"
#include "battle/Battle_Tables.h"
#include "model/FixedPoint.h"
#include "model/personage/Personage_Rules.h"

namespace {

// Clears every active effect whose spell passes a test.
template <typename F> void ClearEffects(TPersonage& p, F test)
{
    for (int k = 1; k <= 5; ++k) {
        const TSpell* spell = FindSpell(p.Effects[k].Spell);
        if (spell != nullptr && test(*spell))
            p.Effects[k] = TPersonageEffect{};
    }
}

bool IsDeathReaction(uint8_t reaction)
{
    return reaction == mDie || reaction == mHorseDie;
}

} // namespace

int32_t TBattle::ApplyMove(int32_t side, int32_t n, uint8_t mode, THexCell cell)
{
    TPersonage& p = Personage(side, n);
    const THexCell from = PersonageCell(side, n);
    TVec3 a, b;
    GetHexCellPosition(from.Row, from.Column, a);
    GetHexCellPosition(cell.Row, cell.Column, b);
    p.SetMoveVector(0, b.x - a.x);
    p.SetMoveVector(1, 0);
    p.SetMoveVector(2, b.z - a.z);
    if (!IsSameHexCell(from, cell) && CellMapIndex(cell.Row, cell.Column) >= 0) {
        const int32_t occupant = ReadCellMapInt(Cells, from);
        WriteCellMapInt(Cells, from, 0);
        WriteCellMapInt(Cells, cell, occupant != 0 ? occupant : (side == 1 ? n : -n));
        p.FormationRow = cell.Row;
        p.FormationColumn = cell.Column;
    }
    ++p.RoundSteps;
    p.InContact = 0;
    p.PikeBraced = 0;
    if (mode == mRetreat) {
        // A retreat keeps a part of the personage's worth as merit that earns
        // no experience.
        const int64_t v = GetAssessment(p, false).Value;
        const int64_t health = p.Stats[statHits] > 0 ? p.Stats[statHits] : 1;
        const __int128 share =
            RoundDivHalfEvenWide(static_cast<__int128>(v) * v, static_cast<__int128>(health) * 10000);
        p.StartMerit = TFx::Sat(static_cast<__int128>(p.StartMerit) + share + 200000);
    }
    return 0;
}

int32_t TBattle::ApplyStrike(int32_t side, int32_t n, uint8_t mode, int32_t targetN, int32_t targetSide,
                             uint8_t& reaction)
{
    TPersonage& actor = Personage(side, n);
    TPersonage& target = Personage(targetSide, targetN);
    int32_t damage = 0;
    auto hit = [&](int32_t amount) { reaction = ApplyHealthChange(targetSide, targetN, -amount, mode, side, n); };
    // Silver and poison, for blows and shots alike.
    auto silverAndPoison = [&]() {
        if (HasBonus(side, n, SilverWeapon))
            target.NoRegeneration = 1;
        if ((HasBonus(side, n, PoisonStrike) || HasBonus(side, n, pPoisonStrike)) &&
            !HoldsAny(target.BonusSet, {ThePhantom, TheUndead, pLifesteal, bUndead, bStone, bVampire}))
            target.Poison = static_cast<uint8_t>(target.Poison < 255 ? target.Poison + 1 : 255);
    };

    switch (mode) {
    case mFight: {
        damage = CalcAttackDamage(side, n, targetSide, targetN, mNone, 0, 0, 0, 0);
        hit(damage);
        const uint8_t weapon = WeaponBonus(side, n);
        int32_t stun = target.StunLevel;
        if ((weapon == bMace || weapon == bMaceDagger) && stun < 1)
            stun = 1;
        if (HasBonus(side, n, bHammer) && stun < 2)
            stun = 2;
        if (HasBonus(side, n, StunBlow))
            ++stun;
        if (target.BonusSet.Has(StrongHelm))
            --stun;
        if (target.BonusSet.Has(bUndead) || target.BonusSet.Has(bStone))
            stun = 0;
        target.StunLevel = stun < 0 ? 0 : stun;
        if ((weapon == bCrowbill || weapon == bCrowbillDagger) &&
            !HoldsAny(target.BonusSet, {ThePhantom, bStone, bClaws, bPaw, bInvincible})) {
            const long double keep = target.BonusSet.Has(StrongArmor)
                                         ? 1 - static_cast<long double>(BV(bCrowbill)) * BV(StrongArmor) / 10000
                                         : 1 - BV(bCrowbill) / 100.0L;
            target.ArmourWear = RoundHalfEven(10000 - (10000 - target.ArmourWear) * keep);
        }
        if (HoldsAny(target.BonusSet, {ThePhantom, pLifesteal, bInvincible}))
            target.ArmourWear = 0;
        if (weapon == bSpectral && target.Stats[statWill] < 0)
            target.Paralysed = static_cast<uint8_t>(target.Paralysed <= 253 ? target.Paralysed + 2 : 255);
        silverAndPoison();
        reaction = LanceTest(side, n, targetSide, targetN, reaction);
        actor.InContact = 1;
        break;
    }
    case mFightGroup:
    case mFightLong:
    case mFightCounter:
    case mFightBack:
    case mFightMirror:
    case mFightRecoil: {
        // The strike variant of the damage formula for each kind of blow.
        uint8_t variant = mode;
        if (mode == mFightGroup)
            variant = mFightLeft;
        else if (mode == mFightCounter)
            variant = mFightRight;
        else if (mode == mFightLong)
            variant = mNone;
        if (mode == mFightRecoil)
            damage = BV(pMagicRecoil);
        else if (mode == mFightMirror) // the target's own strike on the actor, turned back on it
            damage = CalcAttackDamage(targetSide, targetN, side, n, variant, 0, 0, 0, 0);
        else
            damage = CalcAttackDamage(side, n, targetSide, targetN, variant, 0, 0, 0, 0);
        hit(damage);
        actor.InContact = mode == mFightLong ? 0 : 1;
        if (mode == mFightLong || mode == mFightCounter)
            reaction = LanceTest(side, n, targetSide, targetN, reaction);
        break;
    }
    case mShoot:
    case mShootSlow:
    case mShootAimed: {
        damage = CalcAttackDamage(side, n, targetSide, targetN, mode == mShootSlow ? mFightRecoil : mNone, 0, 0, 0, 0);
        hit(damage);
        int32_t stun = target.StunLevel;
        if (HasBonus(side, n, tStunningShot) && stun < 1)
            stun = 1;
        if (HasBonus(side, n, eWaitPos) && stun < 2)
            stun = 2;
        if (target.BonusSet.Has(StrongHelm))
            --stun;
        if (target.BonusSet.Has(bUndead))
            stun = 0;
        target.StunLevel = stun < 0 ? 0 : stun;
        silverAndPoison();
        break;
    }
    case mFightWill: {
        const int32_t w = target.Stats[statWill];
        reaction = ApplyHealthChange(targetSide, targetN, w - BV(pSuppressionWill), mode, side, n);
        target.WillSuppression = static_cast<uint8_t>(target.WillSuppression < 255 ? target.WillSuppression + 1 : 255);
        damage = BV(pSuppressionWill) - w;
        break;
    }
    case mEnemySpecial:
        damage = BV(pCharming);
        hit(damage);
        break;
    case mQuake:
        damage = target.Stats[statDefense] * BV(bQuake) / 100;
        hit(damage);
        break;
    default:
        break;
    }
    return damage;
}

void TBattle::CureMoveAndEvilEye(int32_t side, int32_t n)
{
    TPersonage& p = Personage(side, n);
    if (HasBonus(side, n, eCureAndMove)) {
        p.ExtraMove = 1;
        ++p.ActionPointsLeft;
    }
    if (HasBonus(side, n, eEvilEye)) {
        p.Paralysed = 1;
        p.ActionPointsLeft = 0;
    }
}

int32_t TBattle::ApplySpell(int32_t side, int32_t n, uint8_t mode, int32_t spellSlot, int32_t targetN,
                            int32_t targetSide, uint8_t& reaction)
{
    if (spellSlot < 1 || spellSlot > 7 || targetSide < 1 || targetSide > 2 || targetN < 1 || targetN > ArmySlotCount)
        return 0;
    TPersonage& actor = Personage(side, n);
    TPersonage& target = Personage(targetSide, targetN);
    const int32_t s = actor.Spells[spellSlot].Spell;
    const TSpell* spell = FindSpell(s);
    if (spell == nullptr)
        return 0;
    const int32_t power = actor.Spells[spellSlot].Power;
    const uint8_t weapon = WeaponBonus(side, n);
    const int32_t percent = actor.Mana + (weapon == bWand ? BV(bWand) : 0);
    const int32_t rounds = spell->Time + (spell->Time > 0 && weapon == bStaff ? 1 : 0);

    if (spell->Time > 0 && mode != mEnemyInstantly)
        for (int k = 1; k <= 5; ++k)
            if (target.Effects[k].Spell == 0) {
                target.Effects[k] = TPersonageEffect{s, power, percent, rounds};
                break;
            }
    // With all five entries in use the effect is not recorded; its
    // immediate changes still apply.

    int32_t result = 0;
    bool healthChanged = false;
    auto change = [&](int32_t side2, int32_t n2, int32_t amount) {
        const int16_t before = Personage(side2, n2).Hits;
        const uint8_t r = ApplyHealthChange(side2, n2, amount, mode, side, n);
        if (side2 == targetSide && n2 == targetN && r != mNone)
            reaction = r;
        healthChanged = healthChanged || Personage(side2, n2).Hits != before;
    };
    for (int e = 1; e <= 3; ++e) {
        const int32_t kind = spell->Effect[e];
        if (kind == eNone)
            continue;
        const int32_t bonus = spell->EffectBonus[e];
        if (bonus != NoBonus)
            target.BonusSet.Include(bonus);
        const int32_t v = CalcSpellValue(s, e, power, percent, targetSide, targetN, 0);
        switch (kind) {
        case eHit:
            if (v != 0) {
                target.Stats[statHits] = ClampToInt16(target.Stats[statHits] + v);
                if (v > 0 || target.Hits > target.Stats[statHits])
                    change(targetSide, targetN, v);
            }
            break;
        case eCure:
            change(targetSide, targetN, v);
            result -= v;
            CureMoveAndEvilEye(targetSide, targetN);
            break;
        case eDamage: {
            const int32_t damage = bonus == eStrikeCircle && (mode == mEnemy || mode == mEnemyInstantly)
                                       ? Round32((percent / 100.0 + 1) * BV(eStrikeCircle))
                                       : -v;
            change(targetSide, targetN, -damage);
            result += damage;
            break;
        }
        case eWillLifeSteal:
            if (-v >= 1) {
                change(side, n, -v);
                change(targetSide, targetN, v);
                result -= v;
            }
            break;
        case eDefense:
            if (bonus == eRust) {
                const int64_t keep = 10000 - GetEffectMultiplier(targetSide, targetN, eRust) * BV(eRust) / 100;
                target.ArmourWear = RoundDivHalfEven(100000000 - keep * (10000 - target.ArmourWear), 10000);
            }
            break;
        case eRemoveCurse:
            ClearEffects(target, [](const TSpell& x) { return x.CurseSpell; });
            target.Fear = 0;
            target.StunLevel = 0;
            target.Poison = 0;
            target.Paralysed = 0;
            break;
        case eRemoveBless:
            ClearEffects(target, [](const TSpell& x) { return x.BlessSpell; });
            break;
        case eKnockOut:
            // The horse is struck down whatever the caster wields.
            if (target.Mounted != 0 && target.PersBonus[5] != bInvincible) {
                target.HorseHits = 0;
                reaction = HorseFall(targetSide, targetN, reaction);
            }
            break;
        case eExorcism:
            ClearEffects(target, [](const TSpell& x) { return SpellHasEffectBonus(&x, eDemoniac, eRevenge); });
            break;
        case eImmediatelyAttack:
            target.ExtraMove = 1;
            ++target.ActionPointsLeft;
            break;
        default:
            break;
        }
        switch (bonus) {
        case Reserved034: // an effect bonus that works on health
            change(targetSide, targetN, v);
            break;
        case eInsanity:
            SlotState(targetSide, targetN).Countdown = static_cast<uint8_t>(rounds < 0     ? 0
                                                                            : rounds > 255 ? 255
                                                                                           : rounds);
            break;
        case eFear:
            target.Fear = rounds;
            break;
        case eWillLost: {
            const int32_t w =
                CalcSpellValue(s, e, power, percent, targetSide, targetN, statWill) + target.Stats[statWill];
            // Will below zero costs health.
            if (-w > 0)
                change(targetSide, targetN, w);
            break;
        }
        case eCourage:
            target.Fear = 0;
            break;
        case eInvalid:
            target.InvalidCount = static_cast<uint8_t>(target.InvalidCount < 255 ? target.InvalidCount + 1 : 255);
            break;
        default:
            break;
        }
    }
    if (!healthChanged)
        AddMerit(side, n, 0, targetN, targetSide);
    if (reaction == mEnemy)
        reaction = mCursed;
    else if (reaction == mAlly)
        reaction = mBlessed;
    if (spell->Time == 0)
        AddSnapshotEffect(Forecasts[1], s);
    return result;
}

int32_t TBattle::ApplyPotion(int32_t side, int32_t n, uint8_t mode, int32_t beltEntry, int32_t targetN,
                             int32_t targetSide, uint8_t& reaction)
{
    TPersonage& actor = Personage(side, n);
    ++Sides[side].Stats.ActionCount;
    // Only a belt entry that is in use and names an equipment slot is drunk.
    const int32_t beltCount = actor.BeltPotionCount < 4 ? actor.BeltPotionCount : 4;
    if (beltEntry < 1 || beltEntry > beltCount)
        return 0;
    const int32_t k = actor.BeltPotionSlots[beltEntry];
    if (k < 1 || 8 + k > 14)
        return 0;
    const int32_t id = actor.Equipment[8 + k];
    const TItems* item = FindItem(id);
    if (item == nullptr)
        return 0;
    const TPersonage& leader = Personage(side, 1);
    const double f = 1 + (leader.BonusSet.Has(tAlchemy) ? BV(tAlchemy) / 100.0 : 0.0);
    if (item->dWound != 0) {
        const int64_t wounds = static_cast<int64_t>(actor.Wounds) - item->dWound;
        actor.Wounds = wounds < 0 ? 0 : ClampToInt32(wounds);
        ApplyWoundStats(actor, 4);
    }
    if (targetSide < 1 || targetSide > 2 || targetN < 1 || targetN > ArmySlotCount) {
        targetSide = side;
        targetN = n;
    }
    const int32_t h = Round32(item->dHit * f);
    reaction = ApplyHealthChange(targetSide, targetN, h, mode, 0, 0);
    if (h > 0)
        CureMoveAndEvilEye(side, n);
    const int64_t mana = static_cast<int64_t>(actor.Mana) + Round32(item->dMana * f);
    actor.Mana = ClampToInt16(mana < 0 ? 0 : mana > actor.Stats[statMagicPower] ? actor.Stats[statMagicPower] : mana);
    if (actor.PotionCount < 0)
        actor.PotionCount = 0;
    // Four drinks are kept; a fifth is not recorded, so that nothing after
    // the list is overwritten.
    if (actor.PotionCount < 4) {
        ++actor.PotionCount;
        actor.PotionItems[actor.PotionCount] = static_cast<int16_t>(id);
    }
    return -h;
}

int32_t TBattle::ApplyAction(int32_t side, int32_t n, uint8_t& mode, int32_t spellSlot, THexCell cell, int32_t targetN,
                             int32_t targetSide)
{
    const uint8_t action = mode;
    const bool hasTarget = targetSide >= 1 && targetSide <= 2 && targetN >= 1 && targetN <= ArmySlotCount;
    if (PlayerPresent != 0) {
        TakeSnapshot(side, n, Forecasts[2]);
        if (hasTarget)
            TakeSnapshot(targetSide, targetN, Forecasts[1]);
    }

    uint8_t reaction = mNone;
    int32_t result = 0;
    switch (action) {
    case mSkip:
    case mWait:
    case mAction:
        ++Sides[side].Stats.ActionCount;
        break;
    case mMove:
    case mMoveTo:
    case mRetreat:
        result = ApplyMove(side, n, action, cell);
        break;
    case mFight:
    case mFightGroup:
    case mFightLong:
    case mFightCounter:
    case mFightBack:
    case mFightMirror:
    case mFightRecoil:
    case mShoot:
    case mShootSlow:
    case mShootAimed:
    case mFightWill:
    case mEnemySpecial:
    case mQuake:
        if (hasTarget)
            result = ApplyStrike(side, n, action, targetN, targetSide, reaction);
        break;
    case mEnemy:
    case mAlly:
    case mEnemyInstantly:
        reaction = action;
        result = ApplySpell(side, n, action, spellSlot, targetN, targetSide, reaction);
        break;
    case mPotion:
        result = ApplyPotion(side, n, action, spellSlot, targetN, targetSide, reaction);
        break;
    default:
        break;
    }

    if (action != mMove && action != mMoveTo)
        SpreadMorale(side, n);
    RecalcPersonage(side, n, 0, 0, 0, false);
    if (IsDeathReaction(reaction) && hasTarget) {
        const TPersonage& dead = Personage(targetSide, targetN);
        auto eachLiving = [&](int32_t s, auto visit) {
            const TBattleSide& bs = Sides[s];
            for (int32_t i = 1; i <= bs.LivingCount && i <= ArmySlotCount; ++i) {
                const int32_t k = bs.Living[i];
                if (k >= 1 && k <= ArmySlotCount)
                    visit(k);
            }
        };
        if (dead.BonusSet.Has(pRedneck))
            eachLiving(targetSide, [&](int32_t k) {
                if (Personage(targetSide, k).BonusSet.Has(pRedneck))
                    RecalcPersonage(targetSide, k, 0, 0, 0, false);
            });
        if (dead.BonusSet.Has(tCommander) || dead.BonusSet.Has(tEncouragement) || dead.BonusSet.Has(tCohesion))
            eachLiving(targetSide, [&](int32_t k) {
                UpdateMorale(targetSide, k);
                RecalcPersonage(targetSide, k, 0, 0, 0, false);
            });
        const TPersonage& leader = Personage(side, 1);
        if (leader.Hits > 0 && leader.BonusSet.Has(tEncouragement))
            eachLiving(side, [&](int32_t k) { RecalcPersonage(side, k, 0, 0, 0, false); });
        DeathThisAction = 1;
    } else if (hasTarget) {
        RecalcPersonage(targetSide, targetN, 0, 0, 0, false);
    }
    if (PlayerPresent != 0) {
        DiffSnapshot(Forecasts[2], side, n, CounterDelta);
        if (hasTarget)
            DiffSnapshot(Forecasts[1], targetSide, targetN, ActionDelta);
        else
            std::memset(&ActionDelta, 0, sizeof ActionDelta);
    }
    mode = reaction;
    return result;
}

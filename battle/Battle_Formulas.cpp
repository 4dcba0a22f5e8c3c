// The numbers of the battle: spell effect changes, mana costs, flanks, back
// attacks and the damage of one strike, with the estimate variants the
// computer asks for. Reals are doubles; every "round" is to the nearest,
// halves to even.
#include <cmath>
#include <cstdlib>

#include "battle/Battle.h"
#include "battle/Battle_Rules.h"
#include "battle/Battle_Tables.h"
#include "model/FixedPoint.h"
#include "model/tables/Global.h"

namespace {

bool IsDaggerWeapon(int32_t weapon)
{
    return weapon >= bSwordDagger && weapon <= bMaceDagger;
}

} // namespace

int32_t SpreadOverDuration(int32_t value, int32_t rounds)
{
    const int64_t v = value;
    return ClampToInt32((4 * v + v * rounds) / 5);
}

int64_t TBattle::GetEffectMultiplier(int32_t side, int32_t n, int32_t bonus) const
{
    const TPersonage& p = Personage(side, n);
    for (int k = 1; k <= 5; ++k) {
        const TSpell* spell = FindSpell(p.Effects[k].Spell);
        if (spell == nullptr)
            continue;
        for (int e = 1; e <= 3; ++e)
            if (spell->EffectBonus[e] == bonus)
                return 10000 + static_cast<int64_t>(p.Effects[k].Percent) * 100;
    }
    return 10000;
}

int32_t TBattle::EffectChange(int32_t spell, int32_t e, int32_t power, int32_t v, int32_t percent, int32_t targetSide,
                              int32_t targetN) const
{
    const TSpell* s = FindSpell(spell);
    if (s == nullptr || e < 1 || e > 3)
        return 0;
    // A power below 1 would make a negative exponent of 0 infinite.
    const double base = power < 1 ? 1.0 : power;
    const double p = static_cast<double>(RoundHalfEven(std::pow(base, s->ResultMultiply / 100.0) * 10000)) / 10000;
    const double factor = 1 + percent / 100.0;
    const int64_t v4 = static_cast<int64_t>(v) * 10000;
    int64_t x;
    if (s->EffectValue1[e] > 0) {
        x = RoundHalfEven(s->EffectValue1[e] * p * factor * 10000) - v4;
    } else {
        const int64_t a = RoundHalfEven(s->EffectValue2[e] * p * 10000);
        int64_t t;
        if (s->Effect[e] == eCure) {
            t = a;
            if (s->EffectBonus[e] == 0) {
                t += static_cast<int64_t>(Personage(targetSide, targetN).Stats[statWill]) * 10000;
                if (t < 0)
                    t = 0;
            } else if (s->EffectBonus[e] == eCureCircle) {
                // Own personages around the target strengthen the cure.
                const int32_t c = CountNeighbourCells(PersonageCell(targetSide, targetN), [&](THexCell next) {
                    return IsCellOfSide(targetSide, next, 0, 0);
                });
                t = a + RoundHalfEven(static_cast<double>(v) * c * BV(eCureCircle) / 100 * 10000);
            }
        } else {
            t = RoundHalfEven((s->EffectValue3[e] * p * 10000 + 1e6) * static_cast<double>(v4 + a) / 100 / 10000) - v4;
        }
        x = RoundHalfEven(factor * static_cast<double>(t));
    }
    return ClampToInt32(RoundHalfEven(static_cast<double>(x) / 10000));
}

int32_t TBattle::CalcSpellValue(int32_t spell, int32_t effect, int32_t power, int32_t percent, int32_t targetSide,
                                int32_t targetN, int32_t defenceStat) const
{
    const TSpell* s = FindSpell(spell);
    if (s == nullptr || effect < 1 || effect > 3)
        return 0;
    // An effect on no statistic of the target works on the value 0.
    auto changeOf = [&](int32_t v) { return EffectChange(spell, effect, power, v, percent, targetSide, targetN); };
    auto change = [&](TStatIndex stat) { return changeOf(GetPersonageStat(targetSide, targetN, stat)); };
    switch (s->Effect[effect]) {
    case eHit:
    case eCure:
    case eDamage:
        return change(statHits);
    case eWillLifeSteal:
    case eWillManaSteal:
    case eWill:
        return change(statWill);
    case eInitiative:
        return change(statInitiative);
    case eAttack: {
        const uint8_t mode = Personage(targetSide, targetN).AttackMode;
        return mode == mFight ? change(statAttackBlow) : mode == mShoot ? change(statAttackShot) : changeOf(0);
    }
    case eAttackBlow:
        return change(statAttackBlow);
    case eAttackShot:
        return change(statAttackShot);
    case eDefenseAll:
        return change(defenceStat == statDefense ? statDefense : statProtect);
    case eDefense:
        return change(statDefense);
    case eProtect:
        return change(statProtect);
    case eMagicPower:
        return change(statMagicPower);
    case eTotal: {
        int64_t sum = 0;
        for (TStatIndex stat :
             {statHits, statInitiative, statAttackBlow, statAttackShot, statDefense, statMagicPower, statWill})
            sum += change(stat);
        return ClampToInt32(sum);
    }
    default:
        return changeOf(0);
    }
}

int32_t TBattle::GetManaCost(int32_t side, int32_t n, int32_t spellSlot, int32_t targetSide, int32_t targetN) const
{
    const TPersonage& p = Personage(side, n);
    const TSpell* spell = spellSlot >= 1 && spellSlot <= 7 ? FindSpell(p.Spells[spellSlot].Spell) : nullptr;
    int64_t c = spell != nullptr ? spell->CostMana : 0;
    if (targetSide > 0 && spell != nullptr && !spell->MassEffect) {
        const int32_t will = GetPersonageStat(targetSide, targetN, statWill);
        c += targetSide == side ? -will : will;
    }
    if (WeaponBonus(side, n) == bBook)
        c = RoundHalfEven((1 - BV(bBook) / 100.0) * static_cast<double>(c));
    if (HasBonus(side, n, tStream) && spellSlot == p.StreamSlot)
        c = RoundHalfEven((1 - static_cast<double>(p.StreamCount) * BV(tStream) / 100) * static_cast<double>(c));
    return ClampToInt32(c > MinManaCost ? c : MinManaCost);
}

bool TBattle::CanCastSpell(int32_t side, int32_t n, int32_t spellSlot, int32_t targetSide, int32_t targetN) const
{
    const TPersonage& p = Personage(side, n);
    if (spellSlot < 1 || spellSlot > 7 || p.Spells[spellSlot].Spell < 1)
        return false;
    return p.Mana >= GetManaCost(side, n, spellSlot, targetSide, targetN);
}

int32_t TBattle::CellSideClass(THexCell cell) const
{
    if (!IsHexCellOnField(cell.Row, cell.Column, 0))
        return 0;
    const int32_t v = ReadCellMapInt(Cells, cell);
    return v > 0 ? 1 : v < 0 ? 2 : 0;
}

int32_t TBattle::GetFlankDirectionFromCell(THexCell cell, int32_t side, int32_t kind, int32_t targetN,
                                           int32_t targetSide, int32_t n) const
{
    (void)side;
    (void)n;
    const int32_t d = GetNeighbourDirection(cell, PersonageCell(targetSide, targetN));
    if (d == 0)
        return 0;
    const int32_t leftDirection = NextHexDirection(d);
    const int32_t rightDirection = PreviousHexDirection(d);
    THexCell left, right;
    const bool leftOn = StepHexCell(cell.Row, cell.Column, leftDirection, left);
    const bool rightOn = StepHexCell(cell.Row, cell.Column, rightDirection, right);
    switch (kind) {
    case 1:
        return CellSideClass(left) == targetSide || CellSideClass(right) == targetSide ? d : 0;
    case 2:
        return rightOn && CellSideClass(right) == targetSide ? rightDirection : 0;
    case 3:
        return leftOn && CellSideClass(left) == targetSide ? leftDirection : 0;
    default:
        return d;
    }
}

int32_t TBattle::GetFlankDirection(int32_t side, int32_t n, int32_t kind, int32_t targetN, int32_t targetSide) const
{
    return GetFlankDirectionFromCell(PersonageCell(side, n), side, kind, targetN, targetSide, n);
}

namespace {

// The direction from one cell's centre to another's, in ten-thousandths of
// a radian from 0 to 2 pi.
int64_t StrikeAngle(THexCell fromCell, THexCell toCell)
{
    TVec3 a, b;
    GetHexCellPosition(fromCell.Row, fromCell.Column, a);
    GetHexCellPosition(toCell.Row, toCell.Column, b);
    return RoundHalfEven((std::atan2(static_cast<double>(a.x) - b.x, static_cast<double>(a.z) - b.z) + M_PI) * 10000);
}

// The angles between every two cells of the grid, worked out once: every
// damage estimate asks for one.
struct TStrikeAngles {
    int64_t Angle[CellMapSize][CellMapSize];

    TStrikeAngles()
    {
        for (int32_t r1 = HexRowMin; r1 <= HexRowMax; ++r1)
            for (int32_t c1 = HexColumnMin; c1 <= HexColumnMax; ++c1)
                for (int32_t r2 = HexRowMin; r2 <= HexRowMax; ++r2)
                    for (int32_t c2 = HexColumnMin; c2 <= HexColumnMax; ++c2)
                        Angle[CellMapIndex(r1, c1)][CellMapIndex(r2, c2)] = StrikeAngle({r1, c1}, {r2, c2});
    }
};

int64_t CachedStrikeAngle(THexCell fromCell, THexCell toCell)
{
    static const TStrikeAngles angles;
    const int i = CellMapIndex(fromCell.Row, fromCell.Column);
    const int j = CellMapIndex(toCell.Row, toCell.Column);
    if (i < 0 || j < 0)
        return StrikeAngle(fromCell, toCell);
    return angles.Angle[i][j];
}

} // namespace

bool TBattle::IsBackAttack(THexCell fromCell, THexCell toCell, int64_t heading)
{
    const int64_t angle = CachedStrikeAngle(fromCell, toCell);
    int64_t diff = angle - heading;
    if (diff < 0)
        diff = -diff;
    if (diff > 31416)
        diff = 62832 - diff;
    return diff > 15708;
}

int32_t TBattle::CalcStrikeDamage(int32_t side, int32_t n, int32_t targetSide, int32_t targetN, int32_t mode,
                                  bool contact, int32_t distance, THexCell attackerCell, THexCell targetCell) const
{
    auto A = [&](int32_t bonus) { return HasBonus(side, n, bonus); };
    auto T = [&](int32_t bonus) { return HasBonus(targetSide, targetN, bonus); };
    const TPersonage& attacker = Personage(side, n);
    const TPersonage& target = Personage(targetSide, targetN);
    const int32_t weapon = WeaponBonus(side, n);
    const int32_t targetWeapon = WeaponBonus(targetSide, targetN);
    const bool melee = attacker.AttackMode == mFight;
    const bool shot = attacker.AttackMode == mShoot;

    if (T(eInvulnerability))
        return 0;
    int32_t pen = A(Penetrate) ? BV(Penetrate) : 0;
    int32_t m = 1;
    int32_t att = 0;
    int32_t def = 0;
    if (melee) {
        att = GetPersonageStat(side, n, statAttackBlow);
        def = GetPersonageStat(targetSide, targetN, statDefense);
        switch (weapon) {
        case bAxe:
        case bAxeDagger:
            pen += BV(bAxe);
            break;
        case bHalberd:
            pen += BV(bHalberd);
            break;
        case bPike:
            distance = GetHexDistance(attackerCell, targetCell);
            if (distance == 1)
                att = Round32(att * 0.75);
            break;
        case bLance:
            // A charge: not while standing in contact without having moved.
            if (!(attacker.RoundSteps <= 0 && attacker.InContact != 0 && mode != mFightGroup && mode != mFightLong) &&
                (targetWeapon == bPitchfork || targetWeapon == bSpear || targetWeapon == bPike))
                att = Round32(att * 100.0 / (BV(bLance) + 100));
            break;
        case bSpectral:
            def = GetPersonageStat(targetSide, targetN, statWill);
            if (T(eParalysation)) {
                def = 0;
                att = GetPersonageStat(targetSide, targetN, statHits);
            }
            break;
        default:
            break;
        }
        if (IsDaggerWeapon(weapon)) {
            m = 2;
            if (target.ShieldInHand != 0 && !IsBackAttack(attackerCell, targetCell, target.Heading))
                m = 1;
        }
        if (A(eAttackPos) || mode == mShootSlow)
            att = Round32(att * (2.0 * BV(eAttackPos) + 100) / 100);
        if (mode == mFightRight || mode == mFightCounter) {
            int32_t f = 0;
            if (A(eCounterPos) || mode == mFightCounter)
                f = BV(eCounterPos) + 100;
            else if (weapon == bPitchfork || weapon == bSpear || weapon == bPike || weapon == bPaw)
                f = BV(weapon);
            if (A(tFencingMaster))
                f += BV(tFencingMaster);
            if (A(CounterBlow))
                f += BV(CounterBlow);
            att = Round32(static_cast<double>(f) * att / 100);
        }
        if (mode == mFightBack) {
            int32_t f = 0;
            if (weapon == bSword || weapon == bSwordDagger)
                f = BV(bSword);
            else if (weapon == bPaw)
                f = BV(bPaw);
            if (A(BackStrike))
                f += BV(BackStrike);
            att = Round32(static_cast<double>(f) * att / 100);
        }
    } else if (shot) {
        att = GetPersonageStat(side, n, statAttackShot);
        def = GetPersonageStat(targetSide, targetN, statProtect);
        const bool close = (contact || mode == mFightRecoil) && !A(pCloseShot) && !A(tExposure);
        if (weapon == bBow) {
            m = 2;
            if (close)
                m = 1;
            if (A(eShootPos) || mode == mShoot) {
                m = 1;
                att = Round32((BV(eShootPos) + 100.0) * att / 100);
            }
        } else if (weapon == bArbalet) {
            pen += BV(bArbalet);
            if (close)
                att = Round32(static_cast<double>(att) * BV(eCloseCombat) / 100);
            if (A(eWaitPos) || mode == mShoot)
                pen = 100;
        }
        if (contact && distance > 1)
            att = 0;
    }
    if (att <= 0)
        return 0;
    if (mode == mFightLeft)
        att = Round32(static_cast<double>(A(bLongSword) ? BV(bLongSword) : 0) * att / 100);
    if (T(StrongArmor))
        pen = pen * BV(StrongArmor) / 100;
    if (pen > 0)
        def = Round32((100.0 - pen) * def / 100);
    if (shot && distance > 3) {
        int32_t add = (distance - 3) * 5;
        if (A(tLongRange))
            add = add * BV(tLongRange) / 100;
        def += add;
    }
    int32_t r = att - def;
    if (shot && T(bShootIgnor))
        r = Round32(static_cast<double>(BV(bShootIgnor)) * r / 100);
    int32_t evasion = 0;
    if (T(bEvasive))
        evasion += BV(bEvasive);
    if (T(Evasive))
        evasion += BV(Evasive);
    if (melee && T(eParryPos))
        evasion += BV(eParryPos);
    r = Round32((100.0 - evasion) * r / 100);
    if (T(ThePhantom) || T(pLifesteal) || T(bInvincible)) {
        r = 0;
    } else if (r < MinDamage) {
        r = A(bBow) && target.ShieldInHand != 0 && targetWeapon != bLance ? 0 : MinDamage;
    }
    if (A(eWillAttack) || A(pGodWarrior)) {
        const int32_t will = GetPersonageStat(side, n, statWill);
        if (will > r)
            r = will;
    }
    if (A(BlessedWeapon) && (T(eDemoniac) || T(eBloodyRage) || T(eRevenge) || T(bUndead)))
        r += BV(BlessedWeapon);
    const int32_t attackStat = GetPersonageStat(side, n, statByAttackMode);
    if (A(SilverWeapon) && (T(Regeneration) || T(VampireBat) || T(pRegeneration) || T(bRegeneration) || T(bVampire)))
        r += Round32(static_cast<double>(attackStat) * BV(SilverWeapon) / 100);
    if (A(MagicWeapon))
        r += Round32(static_cast<double>(attackStat) * BV(MagicWeapon) / 100);
    if (melee && r > 0 && mode != mFight && IsBackAttack(attackerCell, targetCell, target.Heading) &&
        !target.BonusSet.Has(ThePhantom) && !target.BonusSet.Has(bStone))
        r += IsDaggerWeapon(weapon) ? BV(bDagger) : MinDamage;
    if (T(bStone) && weapon != bCrowbill && weapon != bMace && weapon != bHammer)
        r = MinDamage;
    r *= m;
    if ((melee || shot) && T(eVulnerability))
        r += Round32(static_cast<double>(GetEffectMultiplier(targetSide, targetN, eVulnerability)) *
                     BV(eVulnerability) / 10000);
    if (mode == mFightMirror)
        r = (T(eEvilProtect) ? BV(eEvilProtect) : 0) * r / 100;
    if (A(tAdjustFire) && attacker.AimTarget == targetN)
        r += attacker.AimCount * BV(tAdjustFire);
    if (T(pLifesteal))
        r = 0;
    return r;
}

namespace {

int32_t KillWorthOf(const TPersonage& p)
{
    return GetAssessment(p, false).KillWorth;
}

} // namespace

int32_t TBattle::CalcAttackDamage(int32_t side, int32_t n, int32_t targetSide, int32_t targetN, int32_t mode,
                                  int32_t row, int32_t column, int32_t row2, int32_t column2)
{
    ++Counters.CalcAttackDamage;
    THexCell a = PersonageCell(side, n);
    THexCell b = PersonageCell(targetSide, targetN);
    const THexCell given{row, column};
    if (mode == mFightGroup && IsSameHexCell(given, a))
        mode = mNone;
    if ((mode == mMove || mode == mFightGroup) && column > 0)
        a = given;
    if (mode == mMoveTo || mode == mFight)
        b = given;

    int64_t kill = 0;
    int64_t dealt = 0;
    int64_t r = 0;
    if (HasBonus(side, n, eInvulnerability))
        return 0;
    const TPersonage& attacker = Personage(side, n);
    const TPersonage& target = Personage(targetSide, targetN);
    auto account = [&](int32_t strike, int32_t hits, const TPersonage& victim) {
        if (hits < strike) {
            kill += KillWorthOf(victim);
            dealt = hits;
        } else {
            dealt = strike;
        }
    };

    if (attacker.AttackMode == mFight) {
        r = CalcStrikeDamage(side, n, targetSide, targetN, mode, false, 0, a, b);
        account(static_cast<int32_t>(r), GetHits(targetSide, targetN), target);
        if (HasBonus(side, n, bLongSword) && (mode == mMove || mode == mMoveTo || mode == mFightGroup)) {
            THexCell from = a;
            if ((mode == mMoveTo || mode == mFightGroup) && column > 0)
                from = given;
            for (int32_t kind : {3, 2}) {
                const int32_t d = GetFlankDirectionFromCell(from, side, kind, targetN, targetSide, n);
                if (d == 0)
                    continue;
                THexCell at;
                StepHexCell(from.Row, from.Column, d, at);
                const int32_t v = std::abs(ReadCellMapInt(Cells, at));
                if (v < 1 || v > ArmySlotCount)
                    continue;
                int32_t strike = CalcStrikeDamage(side, n, targetSide, v, mode, false, 0, from, at);
                const int32_t hits = GetHits(targetSide, v);
                if (strike >= hits) {
                    strike = hits;
                    kill += KillWorthOf(Personage(targetSide, v));
                }
                r += strike;
            }
        }
    } else if (attacker.AttackMode == mShoot) {
        // The target may be estimated on another cell: its occupancy moves
        // there for the contact test only.
        const THexCell from2{row2, column2};
        const bool moveTarget = mode == mFight && column2 > 0 && !IsSameHexCell(from2, b);
        const int32_t savedFrom = ReadCellMapInt(Cells, from2);
        const int32_t savedTo = ReadCellMapInt(Cells, b);
        if (moveTarget) {
            WriteCellMapInt(Cells, from2, 0);
            WriteCellMapInt(Cells, b, savedFrom);
        }
        const bool contact =
            CountNeighbourCells(a, [&](THexCell next) { return IsCellOfSide(side, next, mFight, mEnemy); }) > 0;
        if (moveTarget) {
            WriteCellMapInt(Cells, b, savedTo);
            WriteCellMapInt(Cells, from2, savedFrom);
        }
        r = CalcStrikeDamage(side, n, targetSide, targetN, mode, contact, GetHexDistance(a, b), a, b);
        account(static_cast<int32_t>(r), GetHits(targetSide, targetN), target);
    } else if (attacker.AttackMode == mSpell) {
        r = EstimateSpells(side, n, targetSide, targetN, mode, kill, dealt);
    }
    return ClampToInt32(mode == mMove ? kill : mode == mSkip ? dealt : r);
}

int64_t TBattle::EstimateSpells(int32_t side, int32_t n, int32_t targetSide, int32_t targetN, int32_t mode,
                                int64_t& kill, int64_t& dealt) const
{
    const TPersonage& caster = Personage(side, n);
    const TPersonage& target = Personage(targetSide, targetN);
    const int32_t weapon = WeaponBonus(side, n);
    int64_t total = 0;
    int32_t counted = 0;
    for (int32_t j = 1; j <= 7; ++j) {
        if (!CanCastSpell(side, n, j, 0, 0))
            continue;
        const int32_t number = caster.Spells[j].Spell;
        const TSpell* spell = FindSpell(number);
        if (spell == nullptr)
            continue;
        bool active = false;
        for (int k = 1; k <= 5; ++k)
            active = active || target.Effects[k].Spell == number;
        if (active)
            continue;
        const int32_t power = caster.Spells[j].Power;
        const int32_t percent = caster.Mana + (weapon == bWand ? BV(bWand) : 0);
        const int32_t rounds = spell->Time + (weapon == bStaff ? 1 : 0);
        int64_t s = 0;
        for (int32_t e = 1; e <= 3; ++e) {
            const int32_t kind = spell->Effect[e];
            if (kind == eNone)
                continue;
            const int32_t w = CalcSpellValue(number, e, power, percent, targetSide, targetN, 0);
            const int32_t z = SpreadOverDuration(w, rounds);
            const int32_t rootZ = Round32(std::sqrt(std::abs(static_cast<double>(z))));
            switch (kind) {
            case eHit:
                if (mode != mSkip)
                    s += z / 2;
                break;
            case eCure:
                if (w > 0)
                    s += z / 2;
                break;
            case eDamage:
            case eWillLifeSteal:
                if (w < 0) {
                    s += w;
                    const int32_t hits = GetHits(targetSide, targetN);
                    if (static_cast<int64_t>(hits) + w < 0) {
                        kill += KillWorthOf(target);
                        dealt += hits;
                    } else {
                        dealt -= w;
                    }
                }
                if (kind == eWillLifeSteal)
                    s += z / 2;
                break;
            case eInitiative:
            case eMagicPower:
            case eWill:
                if (mode != mSkip)
                    s += rootZ;
                break;
            case eAttack:
            case eAttackBlow:
            case eAttackShot:
            case eDefenseAll:
            case eDefense:
            case eProtect:
                if (mode != mSkip)
                    s += z;
                break;
            case eTotal:
                if (mode != mSkip)
                    s += 4 * static_cast<int64_t>(z);
                break;
            default:
                break;
            }
            if (mode == mSkip)
                continue;
            if (spell->EffectBonus[e] == Regeneration)
                s += SpreadOverDuration(GetPersonageStat(targetSide, targetN, statHits) * BV(Regeneration) / 100,
                                        rounds);
            if (spell->EffectBonus[e] == eWillLost) {
                if (kind == eWill)
                    s -= rootZ;
                const int64_t will = GetPersonageStat(targetSide, targetN, statWill);
                if (will + z < 0)
                    s = (will + z) - s;
            }
        }
        if (s == 0)
            continue;
        ++counted;
        if (s > 0 && targetSide == side)
            total += s;
        else if (s < 0 && targetSide != side)
            total -= s;
    }
    if (mode == mSkip)
        return total;
    return counted > 0 ? total / counted : 0;
}

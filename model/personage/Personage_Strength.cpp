// CalcPersonageStrength: the rating the computer side compares personages,
// armies and items by. Every term is fixed point, rounded after each step.
#include <algorithm>
#include <cmath>

#include "model/FixedPoint.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"

namespace {

struct TStrengthCalc {
    TPersonage& P;
    TFx F, B, O;
    int32_t N = 0;

    explicit TStrengthCalc(TPersonage& p) : P(p) {}

    bool Has(int b) const { return P.BonusSet.Has(b); }
    static int32_t BV(int b) { return b >= 0 && b < BonusTypeCount ? BonusValues[b] : 0; }
    static TFx I(int64_t n) { return TFx::Int(n); }
    static TFx Real(long double x) { return TFx::Real(x); }

    // Q(p) = p x F / 100 - B, at least 5.
    TFx Q(int64_t percent) const
    {
        const TFx q = (F * percent) / 100 - B;
        return q < I(5) ? I(5) : q;
    }
    // F - (1 - value / 100)^power x B.
    TFx Reduced(int32_t value, int power) const
    {
        const TFx c = I(1) - I(value) / 100;
        TFx c2 = c;
        for (int i = 1; i < power; ++i)
            c2 = c2 * c;
        return F - c2 * B;
    }
};

// 7 x e^(-3 / X) + I.
TFx Survival(TFx x, TFx initiative)
{
    const TFx exponent = TFx::Int(-3) / x;
    const TFx e = TFx::Real(std::exp(exponent.ToReal()));
    return e * 7 + initiative;
}

} // namespace

void CalcPersonageStrength(TPersonage& p)
{
    if (p.Stats[statHits] == 0) {
        p.Strength = 0;
        p.ItemStrength = 0;
        return;
    }
    const TStatArray savedStats = p.Stats;
    const TBonusSet savedBonusSet = p.BonusSet;
    TStrengthCalc c(p);
    const auto I = [](int64_t n) { return TFx::Int(n); };
    const auto BV = [](int b) { return TStrengthCalc::BV(b); };
    const auto Real = [](long double x) { return TFx::Real(x); };
    const uint8_t mode = p.AttackMode;
    const uint8_t weapon = p.PersBonus[3];

    // 1, 2. Health, with what the belt potions add.
    TFx H = I(p.Stats[statHits]);
    TFx R = I(1);
    TFx C = I(0);
    for (int slot = 9; slot <= 10; ++slot) {
        const TItems* item = FindItem(p.Equipment[slot]);
        if (item == nullptr)
            continue;
        if (item->dHit > 0)
            H += I(item->dHit) / 3;
        if (item->dWound > 0 && p.WoundLimit > 0)
            H += (I(p.FullHits) / p.WoundLimit) / 3;
        if (item->dMana > 0 && mode == AttackModeSpell)
            H += I(item->dMana) / 4;
        ApplyItemEffects(*item, p.Stats, p.BonusSet);
        C += Real(0.75L);
    }

    // 3, 4.
    if (p.Nature != static_cast<uint8_t>(TPersNature::Undead))
        H += I(p.Stats[statWill]);
    int64_t regeneration = 0;
    if (c.Has(Regeneration))
        regeneration += BV(Regeneration);
    if (c.Has(bRegeneration))
        regeneration += BV(bRegeneration);
    if (c.Has(pRegeneration))
        regeneration += BV(pRegeneration);
    const TFx G = (H * regeneration) / 100;
    const TFx P = c.Has(Poisoned) ? (H * BV(Poisoned)) / 100 : I(0);
    const int32_t degenerate = c.Has(pDegenerate) ? BV(pDegenerate) : 0;
    const TFx Dg = I(degenerate);
    H = H + G - P - Dg;

    // 5, 6.
    int64_t evasion = 0;
    if (c.Has(bEvasive))
        evasion += BV(bEvasive);
    if (c.Has(Evasive))
        evasion += BV(Evasive);
    if (c.Has(Terrible) || c.Has(pTerrible))
        evasion += 6 * static_cast<int64_t>(BV(eFear));
    const TFx M = I(100 - evasion) / 100;
    const int32_t K = mode == AttackModeShoot ? 5 : mode == AttackModeSpell ? 10 : 0;

    // 7..11. Survival in melee and under fire.
    TFx D, S;
    const bool immune = c.Has(ThePhantom) || c.Has(pLifesteal) || c.Has(bInvincible);
    for (int j = 1; j <= 5; ++j) {
        const int w = 6 - j;
        const TFx wh = H * w;
        if (immune) {
            const TFx share = degenerate > 5 ? wh / Dg : wh / 5;
            D += share;
            S += share;
            continue;
        }
        TFx Lm = M * ((j + 1) * 10) + Dg + P - G - I(p.Stats[statDefense]);
        if (c.Has(StrongArmor))
            Lm -= I(static_cast<int64_t>(p.Stats[statDefense]) * BV(StrongArmor)) / 200;
        if (c.Has(pGuard))
            Lm -= I(BV(pGuard)) / 3;
        D += Lm > I(5) ? wh / Lm : wh / 5;
        const TFx Lr = M * ((j + 2) * 5) - I(p.Stats[statProtect]) - I(K);
        S += Lr > I(5) ? wh / Lr : wh / 5;
    }
    D = D / 15 - C;
    S = S / 9 - C;
    if (D < Real(0.5L))
        D = Real(0.5L);
    if (S < Real(0.5L))
        S = Real(0.5L);
    const TFx x = I(p.Stats[statInitiative]) / 15;
    const TFx initiative = I(1) - I(1) / (x * x * x + I(1));
    D = Survival(D, initiative);
    S = Survival(S, initiative);
    if (mode == AttackModeShoot)
        D += Real(1.5L);
    else if (mode == AttackModeSpell)
        D += I(3);
    else if (mode == AttackModeFight && weapon == bPike)
        D += Real(1.5L);
    const TFx V = (std::min(D, S) * 3 + std::max(D, S)) / 4;

    // 12. The attack value.
    if (mode == AttackModeFight || mode == AttackModeShoot) {
        c.N = mode == AttackModeFight ? p.Stats[statAttackBlow] : p.Stats[statAttackShot];
        const auto t = [&](int32_t threshold) { return c.N - threshold > 5 ? c.N - threshold : 5; };
        const int64_t o = static_cast<int64_t>(t(5)) * 5 + static_cast<int64_t>(t(10)) * 4 +
                          static_cast<int64_t>(t(15)) * 3 + static_cast<int64_t>(t(20)) * 2 + t(25);
        c.O = I(o) / 15;
        c.B = I(c.N) - c.O;
        c.F = I(c.N);
    } else if (mode == AttackModeSpell) {
        c.N = p.Stats[statMagicPower];
        c.O = I(c.N);
        c.B = I(0);
        c.F = I(c.N);
    }
    TFx& F = c.F;
    const TFx O = c.O;
    const auto stun = [&](int withStun, int without) { return I(c.Has(StunBlow) ? BV(withStun) : BV(without)); };
    if (mode == AttackModeFight) {
        switch (weapon) {
        case bSword:
        case bSwordDagger:
            F = Real(1.5L) * c.Q(static_cast<int64_t>(BV(bSword)) + (c.Has(BackStrike) ? BV(BackStrike) : 0)) + O;
            if (weapon == bSwordDagger)
                F = F * Real(1.3L);
            break;
        case bAxe:
        case bAxeDagger:
            F = c.Reduced(BV(bAxe), 1);
            if (weapon == bAxeDagger)
                F = F * Real(1.3L);
            break;
        case bCrowbill:
            F = c.Reduced(BV(bCrowbill), 3);
            break;
        case bCrowbillDagger:
            F = c.Reduced(BV(bCrowbill), 2) * Real(1.3L);
            break;
        case bMace:
            F = Real(0.3L) * stun(eStunedMedium, eStunedLight) + O;
            break;
        case bMaceDagger:
            F = (Real(0.3L) * Real(1.25L) * stun(eStunedMedium, eStunedLight) + O) * Real(1.3L);
            break;
        case bPitchfork:
            F = O + c.Q(BV(bPitchfork)) + I(5);
            break;
        case bSpear:
            F = c.Q(BV(bSpear)) / 3 + O;
            break;
        case bLongSword:
            F = Real(1.25L) * c.Q(BV(bLongSword)) + O;
            break;
        case bHalberd:
            F = c.Reduced(BV(bHalberd), 1) + I(5);
            break;
        case bHammer:
            F = Real(0.3L) * stun(eStunedHeavy, eStunedMedium) + O;
            break;
        case bPike:
            F = c.Q(BV(bPike)) / 3 + O;
            break;
        case bLance:
            F = ((Real(0.5L) * I(BV(bLance))) * F) / 100 + O;
            if (c.Has(pRammingAttack) || c.Has(tTournamentHero))
                F = F * Real(1.25L);
            break;
        case bSpectral:
            F = F * 3;
            break;
        default:
            break;
        }
    } else if (mode == AttackModeShoot) {
        if (weapon == bBow)
            F = F * 2;
        else if (weapon == bArbalet)
            F = F + Real(0.12L) * I(BV(bArbalet));
    }

    // 13. Adjustments.
    const bool spell = mode == AttackModeSpell;
    int64_t v1 = (c.Has(VampireBat) ? BV(VampireBat) : 0) + (c.Has(bVampire) ? BV(bVampire) : 0);
    if (v1 > 0)
        F = F * (I(1) + I(v1) / 100);
    if (c.Has(PoisonStrike) || c.Has(pPoisonStrike))
        F += Real(0.6L) * I(BV(ePoison));
    int64_t v2 = (c.Has(tFencingMaster) ? BV(tFencingMaster) : 0) + (c.Has(CounterBlow) ? BV(CounterBlow) : 0);
    if (v2 > 0)
        F += c.Q(v2) / 3;
    if (c.Has(BackStrike) && weapon != bSword)
        F += Real(1.5L) * c.Q(BV(BackStrike));
    if (c.Has(Penetrate))
        F += ((I(c.N) - O) * BV(Penetrate)) / 100;
    if (c.Has(StunBlow) && weapon != bMace && weapon != bHammer)
        F += Real(0.3L) * I(BV(eStunedLight));
    if ((c.Has(NightFight) || c.Has(pNightFight)) && mode == AttackModeShoot)
        F = F * (I(1) + I(4 * static_cast<int64_t>(BV(eDarkness))) / 200);
    if (c.Has(MagicWeapon) && !spell)
        F += I(static_cast<int64_t>(BV(MagicWeapon)) * c.N) / 100;
    if (c.Has(SilverWeapon) && !spell)
        F += I(static_cast<int64_t>(BV(SilverWeapon)) * c.N) / 500;
    if (c.Has(BlessedWeapon) && !spell)
        F += I(BV(BlessedWeapon)) / 4;
    if (c.Has(StrongHelm))
        F = F * (I(1) + I(BV(eStunedLight)) / 400);
    // The recovery factor divides by the attack value; without a positive
    // one it has nothing to scale.
    if ((c.Has(PowerRecovering) || c.Has(pPowerRecovering)) && spell && F > I(0)) {
        const TFx k = I(1) + I(BV(PowerRecovering)) / F;
        R = R * (k * k);
    }
    if (c.Has(Fearless) || c.Has(pFearless))
        F = F * (I(1) + I(6 * static_cast<int64_t>(BV(eFear))) / 600);
    if (c.Has(ProtectExplosion))
        R = R * Real(1.001L);
    if (c.Has(pRedneck))
        F += I(BV(pRedneck));
    if (c.Has(pNoble))
        R = R * (I(1) + I(BV(pNoble)) / 400);
    if (c.Has(pMarauder))
        R = R * Real(1.001L);
    if (c.Has(Ambush) || c.Has(pAmbush))
        H += I(static_cast<int64_t>(BV(pAmbush)) * c.N) / 100;
    for (int b : {bQuake, pCounterSpear, pPowerfulStrike, pAimedShot, pPiercingShot, pCloseShot, pParry, pCover,
                  pDefense, bMeditation})
        if (c.Has(b)) {
            R = R * Real(1.05L);
            break;
        }
    if (c.Has(pBloodRage) && !spell)
        F = F * Real(1.25L);
    if (c.Has(pRammingAttack) && weapon == bLance)
        F = F * Real(1.25L);
    if (c.Has(pSuppressionWill))
        R = R * Real(1.001L);
    if (c.Has(pGodWarrior))
        F += I(p.Stats[statWill]);
    if (c.Has(pPreacher))
        R = R * Real(1.05L);
    if (c.Has(pUngodly))
        R = R * Real(1.05L);
    if (weapon == bLance) {
        const int64_t extra = (c.Has(tTournamentHero) ? 2 : 0) + (c.Has(Stability) ? BV(Stability) : 0);
        R = R * (I(1) + I(extra) / 10);
    }

    // 14.
    const TFx total = (((F * V + H) * R) * p.StrengthMultipler) / 10;
    p.Stats = savedStats;
    p.BonusSet = savedBonusSet;
    const int16_t strength = ClampToInt16(RoundDivHalfEven(total.V, TFx::One));
    p.Strength = strength;
    int64_t items = strength;
    for (int slot = 1; slot <= 14; ++slot)
        if (const TItems* item = FindItem(p.Equipment[slot]))
            items += item->Strength / 10;
    p.ItemStrength = static_cast<uint16_t>(items < 0 ? 0 : items > 65535 ? 65535 : items);
}

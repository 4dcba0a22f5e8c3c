// Where a spell may be cast, and whom a personage may attack from where it
// stands or from a cell it could move to: melee reaches one cell (two with
// a pike through a free middle cell), a shooter anywhere unless an enemy
// fighter stands next to it, a caster every cell.
#include <cstdlib>

#include "battle/Battle.h"
#include "battle/Battle_Tables.h"

namespace {

bool HasEffectOf(const TPersonage& p, bool (*test)(const TSpell&))
{
    for (int k = 1; k <= 5; ++k) {
        const TSpell* spell = p.Effects[k].Spell > 0 ? FindSpell(p.Effects[k].Spell) : nullptr;
        if (spell != nullptr && test(*spell))
            return true;
    }
    return false;
}

bool IsBless(const TSpell& s)
{
    return s.BlessSpell;
}

bool IsCurse(const TSpell& s)
{
    return s.CurseSpell;
}

// The attack mode a condition asks of its occupant; 0 for any.
uint8_t ConditionMode(uint8_t condition)
{
    switch (condition) {
    case cAllyFight:
    case cEnemyFight:
        return mFight;
    case cAllyShoot:
    case cEnemyShoot:
        return mShoot;
    case cAllySpell:
    case cEnemySpell:
        return mSpell;
    default:
        return 0;
    }
}

bool IsAllyCondition(uint8_t condition)
{
    return condition >= cAlly && condition <= cAllySpell;
}

bool IsEnemyCondition(uint8_t condition)
{
    return condition >= cEnemy && condition <= cEnemySpell;
}

} // namespace

bool TBattle::CanAttackFromCell(int32_t side, int32_t n, THexCell targetCell, THexCell fromCell) const
{
    const TPersonage& p = Personage(side, n);
    if (p.Hits <= 0)
        return false;
    const int32_t distance = GetHexDistance(fromCell, targetCell);
    switch (p.AttackMode) {
    case mFight:
        if (distance == 1)
            return true;
        if (distance == 2 && p.BonusSet.Has(bPike))
            for (int32_t d = 7; d <= 18; ++d) {
                THexCell c;
                if (GetNeighbourCell(fromCell, d, c) && IsSameHexCell(c, targetCell))
                    return true;
            }
        return false;
    case mShoot:
        if (distance <= 1)
            return true;
        return CountNeighbourCells(fromCell, [&](THexCell c) { return IsCellOfSide(side, c, mFight, mEnemy); }) == 0;
    case mSpell:
        return true;
    default:
        return false;
    }
}

bool TBattle::CanAttackPersonage(int32_t side, int32_t n, int32_t targetSide, int32_t targetN) const
{
    if (Personage(targetSide, targetN).Hits <= 0 || (side == targetSide && n == targetN))
        return false;
    return CanAttackFromCell(side, n, PersonageCell(targetSide, targetN), PersonageCell(side, n));
}

bool TBattle::CanAttackCell(int32_t side, int32_t n, THexCell cell) const
{
    return CanAttackFromCell(side, n, cell, PersonageCell(side, n));
}

int32_t TBattle::MarkSpellTargets(int32_t side, int32_t n, int32_t spellSlot)
{
    TargetMap.fill(0);
    if (spellSlot < 1 || spellSlot > 7)
        return 0;
    const TPersonage& caster = Personage(side, n);
    const TSpell* spell = FindSpell(caster.Spells[spellSlot].Spell);
    if (spell == nullptr)
        return 0;
    const int32_t friendly = HasBonus(side, n, eInsanity) ? 3 - side : side;
    const THexCell casterCell = PersonageCell(side, n);

    TCellMapInt moveMap{};
    int32_t approach = NoApproach;
    const bool punishingFire = HasBonus(side, n, tPunishingFire);
    const bool levitation = HasBonus(side, n, bLevitation);
    if (spell->NearbyCondition) {
        if (punishingFire) {
            BuildMoveMap(side, n, moveMap);
            approach = GetAttackApproach(side, n, false, moveMap);
        } else if (levitation) {
            BuildMoveMap(side, n, moveMap);
        }
    }

    const int8_t ghost = SlotState(side, n).GhostSlot;
    const bool ghostLives = ghost >= 1 && ghost <= ArmySlotCount && Personage(side, ghost).Hits > 0;
    if (!(spell->SummonsGhost && ghostLives)) {
        for (int i = 1; i <= 3; ++i) {
            const uint8_t condition = spell->Condition[i];
            if (condition == cNone)
                continue;
            if (condition == cMag) {
                if (CanCastSpell(side, n, spellSlot, side, n))
                    WriteCellMapByte(TargetMap, casterCell, mAlly);
                continue;
            }
            if (condition == cDead) {
                if (!CanCastSpell(side, n, spellSlot, 0, 0))
                    continue;
                const uint8_t first = spell->Condition[1];
                const uint8_t filter = ConditionMode(first);
                TargetMap.fill(0);
                for (int32_t s = 1; s <= 2; ++s) {
                    const bool scanned = first == cAll || (IsAllyCondition(first) && s == friendly) ||
                                         (IsEnemyCondition(first) && s != friendly);
                    if (!scanned)
                        continue;
                    for (int32_t k = 1; k <= Sides[s].PersonageCount && k <= ArmySlotCount; ++k) {
                        const TPersonage& q = Personage(s, k);
                        const THexCell c = PersonageCell(s, k);
                        if (q.Hits < 0 && ReadCellMapInt(Cells, c) == 0 && (filter == 0 || q.AttackMode == filter))
                            WriteCellMapByte(TargetMap, c, s == friendly ? mAlly : mEnemy);
                    }
                }
                continue;
            }
            for (int32_t row = HexRowMin; row <= HexRowMax; ++row)
                for (int32_t column = HexColumnMin; column <= HexColumnMax; ++column) {
                    if (!IsHexCellOnField(row, column, 0))
                        continue;
                    const THexCell c{row, column};
                    const int32_t occupant = ReadCellMapInt(Cells, c);
                    const int32_t os = occupant > 0 ? 1 : occupant < 0 ? 2 : 0;
                    const int32_t ok = std::abs(occupant);
                    const TPersonage* q = os != 0 && ok <= ArmySlotCount ? &Personage(os, ok) : nullptr;
                    auto clear = [&]() { WriteCellMapByte(TargetMap, c, mNone); };
                    if (CanCastSpell(side, n, spellSlot, q != nullptr ? os : 0, q != nullptr ? ok : 0)) {
                        const bool ally = q != nullptr && os == friendly;
                        const bool enemy = q != nullptr && os != friendly;
                        const uint8_t mode = ConditionMode(condition);
                        switch (condition) {
                        case cAll:
                            if (q != nullptr)
                                WriteCellMapByte(TargetMap, c, ally ? mAlly : mEnemy);
                            break;
                        case cAlly:
                            if (ally || (enemy && HasBonus(os, ok, pCharming)))
                                WriteCellMapByte(TargetMap, c, mAlly);
                            break;
                        case cAllyFight:
                        case cAllyShoot:
                        case cAllySpell:
                            if (ally && q->AttackMode == mode)
                                WriteCellMapByte(TargetMap, c, mAlly);
                            break;
                        case cEnemy:
                            if (enemy)
                                WriteCellMapByte(TargetMap, c, mEnemy);
                            break;
                        case cEnemyFight:
                        case cEnemyShoot:
                        case cEnemySpell:
                            if (enemy && q->AttackMode == mode)
                                WriteCellMapByte(TargetMap, c, mEnemy);
                            break;
                        case cEmpty:
                            if (q == nullptr && occupant == 0)
                                WriteCellMapByte(TargetMap, c, mSpell);
                            break;
                        case cNearby: {
                            bool keep;
                            if ((caster.BonusSet.Has(bLevitation) || caster.BonusSet.Has(tPunishingFire)) &&
                                spell->NearbyCondition) {
                                keep = true;
                                auto anyNeighbour = [&](auto test) {
                                    return CountNeighbourCells(
                                               c, [&](THexCell x) { return test(ReadCellMapInt(moveMap, x)); }) > 0;
                                };
                                if (punishingFire)
                                    keep = anyNeighbour([&](int32_t v) { return v == approach; });
                                else if (levitation)
                                    keep = anyNeighbour([](int32_t v) { return v <= MapFree; });
                            } else {
                                keep = GetHexDistance(casterCell, c) < 2;
                            }
                            if (!keep)
                                clear();
                            break;
                        }
                        default:
                            if (q == nullptr)
                                break;
                            switch (condition) {
                            case cLive:
                                if (HoldsAny(q->BonusSet, {ThePhantom, TheUndead, bUndead, bVampire}))
                                    clear();
                                break;
                            case cUndead:
                                if (!HoldsAny(q->BonusSet, {ThePhantom, TheUndead, bUndead, bVampire}))
                                    clear();
                                break;
                            case cUneadPossesed:
                                if (!HoldsAny(q->BonusSet, {ThePhantom, TheUndead, eDemoniac, eEvilProtect, eBloodyRage,
                                                            eRevenge, bUndead, bVampire}))
                                    clear();
                                break;
                            case cBlessed:
                                if (!HasEffectOf(*q, IsBless))
                                    clear();
                                break;
                            case cCursed:
                                if (!HasEffectOf(*q, IsCurse) && q->StunLevel <= 0 && q->Fear <= 0 && q->Cursed == 0 &&
                                    q->Poison == 0)
                                    clear();
                                break;
                            case cHealthy:
                                if (q->Hits < q->RefStats[statHits] || q->Wounds > 0)
                                    clear();
                                break;
                            case cWounded:
                                if (q->Hits >= q->RefStats[statHits])
                                    clear();
                                break;
                            case cHorse:
                                if (q->Mounted == 0)
                                    clear();
                                break;
                            case cNoWill:
                                if (q->Stats[statWill] >= 0)
                                    clear();
                                break;
                            default:
                                break;
                            }
                            break;
                        }
                    }
                    if (q == nullptr)
                        continue;
                    const int32_t thisSpell = caster.Spells[spellSlot].Spell;
                    bool excluded = q->BonusSet.Has(pLifesteal) || q->BonusSet.Has(bStone);
                    for (int k = 1; k <= 5; ++k)
                        excluded = excluded || q->Effects[k].Spell == thisSpell;
                    excluded = excluded || (SpellHasEffect(spell, eCure) && q->BonusSet.Has(eStopCure));
                    excluded = excluded || (spell->Mode == 2 && q->BonusSet.Has(eAnafema));
                    if (excluded)
                        clear();
                }
        }
    }

    int32_t count = 0;
    for (uint8_t mark : TargetMap)
        if (mark != mNone && mark != mPoint)
            ++count;
    return count;
}

// A small battle for the rule tests: personages put on cells of a zeroed
// battle object, with the occupancy kept in step; all the game's global state
// is reset when the fixture is made and when it goes.
#pragma once

#include <cmath>
#include <cstring>
#include <memory>

#include "battle/Battle.h"
#include "battle/Battle_Rules.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"
#include "tests/support/GameStateReset.h"

class TBattleFixture {
public:
    std::unique_ptr<TBattle> Battle = std::make_unique<TBattle>();

    TBattleFixture() { ResetGameState(); }
    ~TBattleFixture() { ResetGameState(); }

    // Personage n of a side on a cell, alive, with an attack mode and the
    // stats 1..8 all `stat`.
    TPersonage& Place(int32_t side, int32_t n, int32_t row, int32_t column, uint8_t attackMode = 4, int16_t stat = 10)
    {
        TBattleSide& s = Battle->Sides[side];
        if (s.PersonageCount < n)
            s.PersonageCount = n;
        TPersonage& p = s.Personages[n];
        std::memset(&p, 0, sizeof p);
        p.UnitType = 1;
        p.Hits = 30;
        p.AttackMode = attackMode;
        for (int k = 1; k <= 8; ++k)
            p.Stats[k] = stat;
        p.Stats[1] = 30;
        p.FormationRow = row;
        p.FormationColumn = column;
        WriteCellMapInt(Battle->Cells, {row, column}, side == 1 ? n : -n);
        return p;
    }
    void Remove(int32_t side, int32_t n)
    {
        TPersonage& p = Battle->Personage(side, n);
        WriteCellMapInt(Battle->Cells, {p.FormationRow, p.FormationColumn}, 0);
        p.Hits = 0;
    }
    // The personage stands facing a cell (as the battle turns it).
    static void Face(TPersonage& p, THexCell toward)
    {
        TVec3 a, b;
        GetHexCellPosition(p.FormationRow, p.FormationColumn, a);
        GetHexCellPosition(toward.Row, toward.Column, b);
        p.Heading = std::llround((std::atan2(double(b.x) - a.x, double(b.z) - a.z) + M_PI) * 10000);
    }
};

// The rule tests of the effects: a battle fixture with table entries of
// their own (spells 1.., items 1..), the built-in rules and no assault.
// Each test fills the entries it needs, so every value is visible there.
class TEffectsFixture : public TBattleFixture {
public:
    TEffectsFixture()
    {
        // The rule tests play turns without the computer's choice: every
        // actor skips unless a test gives its own decisions.
        Battle->Decider = [](TBattle&, TBattleDecision& d) {
            d.Mode = mSkip;
            d.AutoSkip = 1;
            return true;
        };
        for (int i = 1; i <= 4; ++i)
            SpellTable[i].ResultMultiply = 100;
        SpellCount = 4;
        ItemCount = 4;
    }
    TBattle& B() { return *Battle; }
    // A spell whose effect e adds `value` to its statistic (relative, no
    // percent growth).
    static TSpell& SpellAdding(int spell, int e, uint8_t kind, int16_t value, uint8_t bonus = 0)
    {
        TSpell& s = SpellTable[spell];
        s.Effect[e] = kind;
        s.EffectValue2[e] = value;
        s.EffectBonus[e] = bonus;
        return s;
    }
    // A placed personage whose battle reference values are its current ones,
    // with full health, no wounds and a wound limit of 3.
    TPersonage& Fighter(int32_t side, int32_t n, int32_t row, int32_t column, uint8_t attackMode = 4, int16_t stat = 10)
    {
        TPersonage& p = Place(side, n, row, column, attackMode, stat);
        p.UnitType = 0; // no template: a reload leaves the record as it is
        p.FullHits = p.Stats[1];
        p.FullInitiative = p.Stats[2];
        p.WoundLimit = 3;
        Settle(p);
        Relist(side);
        return p;
    }
    static void Settle(TPersonage& p)
    {
        p.RefStats = p.Stats;
        p.RefPersBonus = p.PersBonus;
        p.RefPersBonusAdd = p.PersBonusAdd;
        p.BattleBonusSet = p.BonusSet;
    }
    // The side's living list from the personages with health.
    void Relist(int32_t side)
    {
        TBattleSide& s = Battle->Sides[side];
        s.LivingCount = 0;
        for (int32_t k = 1; k <= s.PersonageCount; ++k)
            if (s.Personages[k].Hits > 0)
                s.Living[++s.LivingCount] = k;
    }
    // A bonus held both now and at the battle's start.
    static void Give(TPersonage& p, int32_t bonus)
    {
        p.BonusSet.Include(bonus);
        p.BattleBonusSet.Include(bonus);
    }
};

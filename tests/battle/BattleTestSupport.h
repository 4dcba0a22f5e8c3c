// A small battle for the rule tests: personages put on cells of a zeroed
// battle object, with the occupancy kept in step.
#pragma once

#include <cmath>
#include <cstring>
#include <memory>

#include "battle/Battle.h"
#include "model/Global.h"

class TBattleFixture {
public:
    std::unique_ptr<TBattle> Battle = std::make_unique<TBattle>();

    TBattleFixture() { std::memset(BonusValues, 0, sizeof BonusValues); }
    ~TBattleFixture() { std::memset(BonusValues, 0, sizeof BonusValues); }

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

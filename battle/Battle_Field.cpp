#include "battle/Battle_Field.h"

#include <cmath>
#include <cstdlib>

void AddCellMapInt(TCellMapInt& map, THexCell cell, int32_t value)
{
    const int i = CellMapIndex(cell.Row, cell.Column);
    if (i >= 0)
        map[i] = static_cast<int32_t>(static_cast<uint32_t>(map[i]) + static_cast<uint32_t>(value));
}

void SubCellMapInt(TCellMapInt& map, THexCell cell, int32_t value)
{
    const int i = CellMapIndex(cell.Row, cell.Column);
    if (i >= 0)
        map[i] = static_cast<int32_t>(static_cast<uint32_t>(map[i]) - static_cast<uint32_t>(value));
}

int32_t GetHexDistance(THexCell a, THexCell b)
{
    const bool odd = (a.Row % 2) != 0;
    const int32_t k = ((odd && a.Column < b.Column) || (!odd && a.Column > b.Column)) ? 1 : 0;
    const int32_t dr = std::abs(a.Row - b.Row);
    const int32_t dc = std::abs(a.Column - b.Column);
    const int32_t t = dc - (dr + k) / 2;
    return t > 0 ? dr + t : dr;
}

void GetHexCellPosition(int32_t row, int32_t column, TVec3& position)
{
    const double h = (row % 2) != 0 ? 0.25 : -0.25;
    position.x = static_cast<float>((column - 3 + h) * 2.05);
    position.y = 0.0f;
    position.z = static_cast<float>(row * 2.05 * std::cos(M_PI / 6.0));
}

THexCell MakeHexCell(int32_t row, int32_t column)
{
    return THexCell{row, column};
}

bool IsSameHexCell(THexCell a, THexCell b)
{
    return a.Row == b.Row && a.Column == b.Column;
}

int32_t GetNeighbourDirection(THexCell a, THexCell b)
{
    for (int32_t d = 1; d <= 6; ++d) {
        THexCell c;
        StepHexCell(a.Row, a.Column, d, c);
        if (IsSameHexCell(c, b))
            return d;
    }
    return 0;
}

#include "model/personage/Personage.h"

TModelSettings DefaultModelSettings()
{
    TModelSettings s{};
    for (float& c : s.ColorizationColor)
        c = 1.0f;
    s.Shadow = 1;
    s.Scale = 100;
    return s;
}

int16_t TPersonage::GetWorkStat(int n) const
{
    int16_t v = 0;
    if (n >= 1 && n <= 8)
        std::memcpy(&v, WorkStatsBytes + 2 * (n - 1), 2);
    return v;
}

void TPersonage::SetWorkStat(int n, int16_t value)
{
    if (n >= 1 && n <= 8)
        std::memcpy(WorkStatsBytes + 2 * (n - 1), &value, 2);
}

namespace {

// One axis (0..2) of a packed three-float vector; other axes read 0 and are
// not written.
float GetAxis(const uint8_t* vector, int axis)
{
    float v = 0;
    if (axis >= 0 && axis <= 2)
        std::memcpy(&v, vector + 4 * axis, 4);
    return v;
}

void SetAxis(uint8_t* vector, int axis, float value)
{
    if (axis >= 0 && axis <= 2)
        std::memcpy(vector + 4 * axis, &value, 4);
}

} // namespace

float TPersonage::GetShownPosition(int axis) const
{
    return GetAxis(ShownPositionBytes, axis);
}

void TPersonage::SetShownPosition(int axis, float value)
{
    SetAxis(ShownPositionBytes, axis, value);
}

float TPersonage::GetMoveVector(int axis) const
{
    return GetAxis(MoveVectorBytes, axis);
}

void TPersonage::SetMoveVector(int axis, float value)
{
    SetAxis(MoveVectorBytes, axis, value);
}

void PersonageToBytes(const TPersonage& p, uint8_t* bytes)
{
    std::memcpy(bytes, &p, PersonageSize);
}

bool PersonageFromBytes(const uint8_t* bytes, size_t size, TPersonage& p)
{
    if (bytes == nullptr || size < static_cast<size_t>(PersonageSize))
        return false;
    std::memcpy(&p, bytes, PersonageSize);
    return true;
}

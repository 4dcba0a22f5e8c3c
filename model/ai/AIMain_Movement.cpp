#include "model/ai/AIMain_Movement.h"

#include "model/FixedPoint.h"
#include "model/world/World_Access.h"

namespace {

// The slots that count towards an army's totals; 13..15 are kept aside.
constexpr int TotalsSlots = 12;

} // namespace

void UpdateArmyTotals(int32_t army)
{
    TGameArmy* record = FindArmy(army);
    if (record == nullptr)
        return;
    const TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    int32_t count = 0, living = 0, able = 0, recruits = 0, mercenaries = 0, others = 0;
    int64_t strength = 0, hits = 0, fullHits = 0;
    for (int s = 1; s <= TotalsSlots; ++s) {
        const TPersonage& p = units[s];
        if (p.UnitType == 0)
            continue;
        ++count;
        if (p.Hits <= 0)
            continue;
        ++living;
        if (IsRecruitHire(p.HireKind))
            ++recruits;
        else if (IsMercenaryHire(p.HireKind))
            ++mercenaries;
        else if (IsFollowerHire(p.HireKind))
            ++others;
        strength += p.Strength;
        hits += p.Hits;
        fullHits += p.FullHits;
        if (p.Hits > 1)
            ++able;
    }
    record->PersonageCount = static_cast<uint8_t>(count);
    record->LivingCount = static_cast<uint8_t>(living);
    record->AbleCount = static_cast<uint8_t>(able);
    record->RecruitCount = recruits;
    record->MercenaryCount = mercenaries;
    record->OtherHireCount = others;
    record->Strength = ClampToInt32(strength);
    // Health above the full value (a reload not yet run) counts as unhurt
    // rather than wrapping the byte.
    int64_t wounded = 100;
    if (fullHits > 0)
        wounded = 100 - hits * 100 / fullHits;
    record->WoundPercent = static_cast<uint8_t>(wounded < 0 ? 0 : wounded);
    UpdateSpeedFactor(army);
}

void UpdateSpeedFactor(int32_t army)
{
    TGameArmy* record = FindArmy(army);
    if (record != nullptr)
        record->SpeedFactor = static_cast<float>(static_cast<long double>(record->WalkSpeed) / 10000.0L);
}

void AddMapNotice(uint8_t kind, int32_t a, int32_t b, int32_t c)
{
    if (c > 0)
        for (const TMapNotice& n : MapNotices)
            if (n.Kind == kind && n.A == a && n.B == b && n.C == c)
                return;
    MapNotices.push_back(TMapNotice{kind, a, b, c});
}

#include "model/ai/AIMain_Strategy.h"

#include "model/world/World_Access.h"

namespace {

constexpr int32_t OwnerlessAttitude = -20;

bool AttitudeOfArmies(int32_t a, int32_t t, int32_t& mine, int32_t& theirs)
{
    if (a < 0 || t < 0 || static_cast<size_t>(a) >= ArmyMoves.size() || static_cast<size_t>(t) >= ArmyMoves.size())
        return false;
    const auto& row = ArmyMoves[static_cast<size_t>(a)];
    const auto& column = ArmyMoves[static_cast<size_t>(t)];
    if (static_cast<size_t>(t) >= row.size() || static_cast<size_t>(a) >= column.size())
        return false;
    mine = row[static_cast<size_t>(t)].Attitude;
    theirs = column[static_cast<size_t>(a)].Attitude;
    return true;
}

bool AttitudeOfGroups(int32_t g, int32_t h, int32_t& mine, int32_t& theirs)
{
    auto read = [](int32_t from, int32_t to, int32_t& value) {
        if (from < 0 || to < 0 || static_cast<size_t>(from) >= Diplomacy.size())
            return false;
        const TIntArray& row = Diplomacy[static_cast<size_t>(from)];
        if (static_cast<size_t>(to) >= row.size())
            return false;
        value = row[static_cast<size_t>(to)];
        return true;
    };
    return read(g, h, mine) && read(h, g, theirs);
}

int32_t Steps(int32_t v)
{
    const int32_t magnitude = (v < 0 ? -v : v) / 20;
    return v < 0 ? -magnitude : magnitude;
}

} // namespace

int32_t GetRelation(int32_t a, int32_t t, bool otherView)
{
    int32_t mine = 0, theirs = 0;
    if (t >= 0) {
        if (!AttitudeOfArmies(a, t, mine, theirs))
            return 0;
    } else {
        const int32_t b = -t;
        const TGameArmy* army = FindArmy(a);
        if (army == nullptr || b < 1 || static_cast<size_t>(b) >= GameBuildings.size())
            return 0;
        const TGameBuilding& building = GameBuildings[static_cast<size_t>(b)];
        if (building.OwnerArmy >= 0) {
            if (!AttitudeOfArmies(a, building.OwnerArmy, mine, theirs))
                return 0;
        } else if (building.OwnerGroup >= 0) {
            if (!AttitudeOfGroups(army->Group, building.OwnerGroup, mine, theirs))
                return 0;
        } else {
            mine = theirs = OwnerlessAttitude;
        }
    }
    const int32_t first = otherView ? theirs : mine;
    const int32_t second = otherView ? mine : theirs;
    // A friendly view is spoilt by the other side's hostility; a hostile view stays.
    const int32_t v = (first >= 0 && second < 0) ? first + second : first;
    return Steps(v);
}

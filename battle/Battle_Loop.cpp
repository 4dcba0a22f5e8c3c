#include "battle/Battle_Loop.h"

#include <cstring>
#include <string>

bool PlayBattleLoop(TBattle& battle, const TPlayerDecisionSource& player)
{
    TBattleDecision d{};
    int32_t repeats = 0, lastSide = 0, lastSlot = 0;
    TActionList list;
    while (battle.Over == 0) {
        std::memset(&d, 0, sizeof d);
        if (!battle.SelectNextActor(d)) {
            if (d.Mode == mBusy) {
                battle.EventCount = 0;
                continue;
            }
            break; // nobody can be selected
        }
        repeats = d.Side == lastSide && d.Slot == lastSlot ? repeats + 1 : 0;
        lastSide = d.Side;
        lastSlot = d.Slot;
        if (repeats >= BattleFreezeRepeats) {
            battle.Report = "freeze.";
            return false;
        }
        if (d.WaitForPlayer != 0 && player)
            player(d);
        if (d.Mode == mError)
            continue;
        list.clear();
        battle.PerformAction(d, list);
        battle.QueueActions(list, 0);
        battle.EventCount = 0;
    }
    return true;
}

std::string DecisionToHex(const TBattleDecision& decision)
{
    static const char digits[] = "0123456789abcdef";
    unsigned char bytes[sizeof decision];
    std::memcpy(bytes, &decision, sizeof decision);
    std::string text;
    text.reserve(2 * sizeof decision);
    for (const unsigned char b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

bool DecisionFromHex(const std::string& line, TBattleDecision& decision)
{
    if (line.size() != 2 * sizeof decision)
        return false;
    auto value = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    unsigned char bytes[sizeof decision];
    for (size_t i = 0; i < sizeof decision; ++i) {
        const int hi = value(line[2 * i]), lo = value(line[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes[i] = static_cast<unsigned char>(hi * 16 + lo);
    }
    std::memcpy(&decision, bytes, sizeof decision);
    return true;
}

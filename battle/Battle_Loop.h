// The battle played to its end without animation: the loop the battle
// screen's fast battle and the headless tools share, so that both give the
// same battle for the same seed and the same decisions.
#pragma once

#include <cstdint>
#include <functional>

#include "battle/Battle.h"

// Answers a decision that waits for the player; it may change the decision
// in place (it holds the engine's suggestion). nullptr: the suggestion stands.
using TPlayerDecisionSource = std::function<void(TBattleDecision& decision)>;

// The same actor selected this many times in a row means the battle froze.
constexpr int32_t BattleFreezeRepeats = 50;

// Runs select, perform, queue with the timeline emptied after each decision
// until the battle is over or nobody can be selected. A frozen battle stops
// with Report "freeze." and false; otherwise true.
bool PlayBattleLoop(TBattle& battle, const TPlayerDecisionSource& player = nullptr);

// The decision's bytes as lower-case hex (112 characters), and back; false
// for a line of any other length or with a non-hex character.
std::string DecisionToHex(const TBattleDecision& decision);
bool DecisionFromHex(const std::string& line, TBattleDecision& decision);

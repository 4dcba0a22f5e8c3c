// The action playback of the battle screen: the engine's actions of one
// decision gathered per personage and turned into a timed show. The timing
// rules here are pure, so that the window, the tests and the benchmarks
// share them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "battle/Battle.h"

// One element of a complex action: the engine's record, whether it is the
// first half of an action with a pre-mode, and the cells its personage
// walked in the decision.
struct TComplexElement {
    TBattleAction Action{};
    uint8_t PreAction = 0;
    uint8_t CellsWalked = 0;
};

// Every action of one personage within one performed decision, in order.
struct TComplexAction {
    int32_t Side = 0;
    int32_t Slot = 0;
    std::vector<TComplexElement> Actions;
};

// The start times of the eleven timing steps; 0 for a step not yet used.
struct TStepTable {
    int32_t Start[11] = {};
};

// Gathers the actions per personage: an action with a pre-mode becomes the
// pre-action (with the changes) and the main action one step later (without
// them); a personage's list ends at its death; the personage marked by a
// negative step plays first. cellsWalked(side, slot) gives the move
// elements' walked cells (nullptr: none).
std::vector<TComplexAction> BuildComplexActions(const TActionList& actions,
                                                int32_t (*cellsWalked)(int32_t side, int32_t slot) = nullptr);

// The animation of an action mode; empty for modes without one.
struct TAnimationContext {
    bool Far = false;          // the model uses its "_far" set
    bool Bow = false;          // the shooter carries a bow
    bool DefenceStance = false; // pDefense or pCover
    std::string DeathName = "death";
};
std::string GetActionAnimationName(uint8_t mode, const TAnimationContext& context);

// The element's start and duration as the playback sets them. durationOf
// gives an animation's length (ms) by name.
struct TPlannedElement {
    int32_t Start = 0;
    int32_t Reference = 0; // the animation reference time
    int32_t Duration = 0;
    std::string Animation;
};
std::vector<TPlannedElement> PlanComplexAction(const TComplexAction& complex, TStepTable& steps, int32_t now,
                                               const TAnimationContext& context,
                                               int32_t (*durationOf)(const std::string& animation));

inline constexpr int32_t WalkDuration = 933; // ms a cell

// Footsteps of a walk: the time after the start of each step, and whether a
// foley sound goes with it. The times run in 32-bit floats, as the walk does.
struct TFootstep {
    int32_t Time = 0;
    uint8_t Second = 0; // the set's second footstep (odd counts)
    uint8_t Foley = 0;
};
std::vector<TFootstep> FootstepTimes(int32_t cells);

// Death sound delays in frames of 33 ms: the weapon's drop, the body's fall.
// ownDelay is the drop set's own delay (0 none). Kinds the lists do not
// name: the own delay, else 0.
int32_t DeathDropFrames(int32_t weaponKind, bool shield, int32_t ownDelay);
int32_t BodyFallFrames(int32_t weaponKind, bool shield, bool female, int32_t ownDelay);

// The floating texts over a personage's head.
struct TFloatingLine {
    std::string Text;
    bool HasNumber = false;
    int32_t Number = 0;
    int32_t Icon = 0; // 0 none, else a spell or bonus number (kind by IconKind)
    uint8_t IconKind = 0; // 0 none, 1 spell, 2 bonus, 3 health
};
// ARGB of a line: yellow-orange for a loss, green for a gain, white without
// a number.
uint32_t FloatingTextColor(const TFloatingLine& line);
// The height over the ground: 2.7 mounted, else 1.8, by the size percent
// when it is above 0 and not 100, plus 0.2.
float FloatingTextHeight(bool mounted, int32_t sizePercent);
// The lines of an action's change record; spellName and bonusShown give the
// table texts; healthDec and healthInc the hint texts.
std::vector<TFloatingLine> FloatingTextLines(const TPersonageDelta& delta,
                                             std::string (*spellName)(int32_t spell),
                                             std::string (*bonusName)(int32_t bonus), bool (*bonusShown)(int32_t bonus),
                                             const std::string& healthDec, const std::string& healthInc);
// The due time of line i.
inline int32_t FloatingTextTime(int32_t start, int32_t i)
{
    return start + 700 + 200 * i;
}

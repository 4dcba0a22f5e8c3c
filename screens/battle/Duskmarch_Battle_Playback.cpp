#include "screens/battle/Duskmarch_Battle_Playback.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace {

bool IsDeathMode(uint8_t mode)
{
    return mode == mDie || mode == mHorseDie || mode == mDieGhost || mode == mDieGhostHorse;
}

bool IsWalkMode(uint8_t mode)
{
    return mode == mMove || mode == mMoveTo || mode == mRetreat;
}

int32_t StepIndex(int32_t step)
{
    return step >= 0 && step <= 10 ? step : -1;
}

} // namespace

std::vector<TComplexAction> BuildComplexActions(const TActionList& actions,
                                                int32_t (*cellsWalked)(int32_t side, int32_t slot))
{
    std::vector<TComplexAction> list;
    int32_t first = -1;
    for (const TBattleAction& action : actions) {
        size_t c = 0;
        while (c < list.size() && !(list[c].Side == action.Side && list[c].Slot == action.Slot))
            ++c;
        if (c == list.size()) {
            list.emplace_back();
            list.back().Side = action.Side;
            list.back().Slot = action.Slot;
        }
        TComplexAction& complex = list[c];
        TComplexElement element;
        element.Action = action;
        if (IsWalkMode(action.Mode) && cellsWalked != nullptr)
            element.CellsWalked = static_cast<uint8_t>(cellsWalked(action.Side, action.Slot));
        if (action.SubMode != 0) {
            TComplexElement pre = element;
            pre.Action.Mode = action.SubMode;
            pre.Action.SubMode = 0;
            pre.PreAction = 1;
            TComplexElement main = element;
            std::memset(&main.Action.Delta, 0, sizeof main.Action.Delta);
            main.Action.Step = std::abs(action.Step) + 1;
            main.Action.SubMode = 0;
            complex.Actions.push_back(pre);
            complex.Actions.push_back(main);
        } else {
            complex.Actions.push_back(element);
        }
        for (TComplexElement& e : complex.Actions)
            if (e.Action.Step < 0) {
                e.Action.Step = -e.Action.Step;
                first = static_cast<int32_t>(c);
            }
        for (size_t i = 0; i < complex.Actions.size(); ++i)
            if (IsDeathMode(complex.Actions[i].Action.Mode)) {
                complex.Actions.resize(i + 1);
                break;
            }
    }
    if (first > 0)
        std::swap(list[0], list[static_cast<size_t>(first)]);
    return list;
}

std::string GetActionAnimationName(uint8_t mode, const TAnimationContext& c)
{
    switch (mode) {
    case mMove:
    case mMoveTo:
    case mRetreat:
        return "walk";
    case mFight:
        return c.Far ? "attack_far" : "attack";
    case mFightGroup:
        return "attack_multi";
    case mFightLong:
        return "attack_far";
    case mFightCounter:
    case mFightBack:
    case mShootSlow:
    case mShootAimed:
    case mSpell:
    case mEnemy:
    case mEnemyInstantly:
    case mAlly:
    case mSpellSummon:
        return "attack";
    case mShoot:
        return c.Bow ? "attack_double" : "attack";
    case mEnemyAll:
    case mAllyAll:
    case mQuake:
        return "attack02";
    case mDefense:
    case mCursed:
        return c.Far ? "wound_far" : "wound";
    case mDie:
    case mHorseFall:
    case mHorseDie:
    case mDieGhost:
        return c.DeathName;
    case mAction:
        return c.DefenceStance ? "defend" : "idle01";
    case mPotion:
        return "drink";
    case mSummon:
        return "stand";
    case mDieGhostHorse:
        return "runaway";
    default:
        return std::string();
    }
}

std::vector<TPlannedElement> PlanComplexAction(const TComplexAction& complex, TStepTable& steps, int32_t now,
                                               const TAnimationContext& context,
                                               int32_t (*durationOf)(const std::string& animation))
{
    std::vector<TPlannedElement> plan;
    int32_t running = now;
    for (size_t i = 0; i < complex.Actions.size(); ++i) {
        const TBattleAction& a = complex.Actions[i].Action;
        TPlannedElement e;
        if (i == 0)
            e.Start = now;
        else
            e.Start = plan[i - 1].Start > 0 ? plan[i - 1].Start + plan[i - 1].Duration : running;
        const int32_t step = StepIndex(a.Step);
        if (step >= 0) {
            if (steps.Start[step] != 0)
                e.Start = steps.Start[step];
            else
                steps.Start[step] = e.Start;
        }
        running = e.Start;
        e.Reference = e.Start;
        e.Animation = GetActionAnimationName(a.Mode, context);
        if (!e.Animation.empty()) {
            e.Duration = IsWalkMode(a.Mode) ? WalkDuration : (durationOf != nullptr ? durationOf(e.Animation) : 0);
            if (i > 0 && complex.Actions[i - 1].PreAction != 0) {
                e.Start = plan[i - 1].Start + plan[i - 1].Duration / 3;
                e.Reference = plan[i - 1].Start;
            }
            if (a.Mode == mHorseFall) {
                // The rider gets up again 2300 ms after the fall and stands
                // 700 ms later.
                const int32_t t = e.Reference + e.Duration;
                e.Duration = t + 2300 - e.Reference + 700;
            }
        }
        plan.push_back(e);
    }
    return plan;
}

std::vector<TFootstep> FootstepTimes(int32_t cells)
{
    std::vector<TFootstep> steps;
    const float whole = static_cast<float>(cells) * static_cast<float>(WalkDuration);
    float t = 0.0f;
    for (int32_t count = 1;; ++count) {
        t += 466.667f;
        if (!(t <= whole))
            break;
        TFootstep s;
        s.Time = static_cast<int32_t>(std::lround(t));
        s.Second = count % 2 == 1 ? 1 : 0;
        s.Foley = s.Second;
        steps.push_back(s);
    }
    return steps;
}

int32_t DeathDropFrames(int32_t weapon, bool shield, int32_t ownDelay)
{
    if (shield)
        return 70;
    if (ownDelay > 0)
        return ownDelay;
    switch (weapon) {
    case bSword:
        return 45;
    case bAxe:
    case bCrowbill:
    case bMace:
    case bSpear:
        return 43;
    case bLongSword:
    case bHammer:
        return 55;
    case bHalberd:
    case bArbalet:
        return 54;
    case bPike:
        return 36;
    case bLance:
        return 49;
    case bBow:
        return 50;
    default:
        return 0;
    }
}

int32_t BodyFallFrames(int32_t weapon, bool shield, bool female, int32_t ownDelay)
{
    if (shield)
        return 58;
    switch (weapon) {
    case bSword:
        return 66;
    case bAxe:
    case bCrowbill:
    case bMace:
        return 39;
    case bSpear:
    case bPike:
        return 42;
    case bLongSword:
        return 58;
    case bHalberd:
        return 56;
    case bHammer:
        return 55;
    case bLance:
        return 51;
    case bBow:
        return 50;
    case bArbalet:
        return 73;
    default:
        break;
    }
    if (weapon >= bHand && weapon <= bHand5)
        return female ? 48 : 66;
    if (weapon >= bStaff && weapon <= bStaff5)
        return female ? 56 : 55;
    if (weapon >= bWand && weapon <= bWand5)
        return female ? 49 : 62;
    if (weapon >= bBook && weapon <= bBook5 && !female)
        return 52;
    return ownDelay > 0 ? ownDelay : 0;
}

uint32_t FloatingTextColor(const TFloatingLine& line)
{
    if (!line.HasNumber)
        return 0xFFFFFFFFu;
    return line.Number < 0 ? 0xFFFF4000u : 0xFF40FF40u;
}

float FloatingTextHeight(bool mounted, int32_t sizePercent)
{
    float h = mounted ? 2.7f : 1.8f;
    if (sizePercent > 0 && sizePercent != 100)
        h = h * static_cast<float>(sizePercent) / 100.0f;
    return h + 0.2f;
}

std::vector<TFloatingLine> FloatingTextLines(const TPersonageDelta& delta, std::string (*spellName)(int32_t spell),
                                             std::string (*bonusName)(int32_t bonus),
                                             bool (*bonusShown)(int32_t bonus), const std::string& healthDec,
                                             const std::string& healthInc)
{
    std::vector<TFloatingLine> lines;
    for (const auto* list : {&delta.AddedEffects, &delta.EffectChange})
        for (int32_t i = 1; i <= 5; ++i) {
            const int32_t spell = (*list)[i];
            if (spell > 0) {
                TFloatingLine line;
                line.Text = spellName != nullptr ? spellName(spell) : std::string();
                line.Icon = spell;
                line.IconKind = 1;
                lines.push_back(line);
            }
        }
    if (delta.AddedEffects[1] == 0 && delta.EffectChange[1] == 0)
        for (const TBonusSet* set : {&delta.GainedBonuses, &delta.MarkedBonuses})
            for (int32_t b = 0; b <= TBonusSet::MaxValue; ++b)
                if (set->Has(b) && (bonusShown == nullptr || bonusShown(b))) {
                    TFloatingLine line;
                    line.Text = bonusName != nullptr ? bonusName(b) : std::string();
                    line.Icon = b;
                    line.IconKind = 2;
                    lines.push_back(line);
                }
    if (delta.HitsChange != 0) {
        TFloatingLine line;
        line.Text = (delta.HitsChange < 0 ? healthDec : healthInc) + " " + std::to_string(delta.HitsChange);
        line.HasNumber = true;
        line.Number = delta.HitsChange;
        line.IconKind = 3;
        lines.push_back(line);
    }
    return lines;
}

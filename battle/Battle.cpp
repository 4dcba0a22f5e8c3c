#include "battle/Battle.h"

#include "battle/BattleAftermath.h"
#include "battle/BattleSide.h"
#include "battle/Battle_Rules.h"
#include "model/tables/GameEnums.h"

const char* const ActionModeNames[ActionModeCount] = {
    "mNone",          "mSkip",           "mMove",         "mMoveTo",       "mFight",       "mFightGroup",  "mFightLeft",
    "mFightRight",    "mFightLong",      "mFightCounter", "mFightBack",    "mFightMirror", "mFightRecoil", "mShoot",
    "mShootSlow",     "mShootAimed",     "mSpell",        "mEnemy",        "mEnemyAll",    "mAlly",        "mAllyAll",
    "mCure",          "mDefense",        "mProtect",      "mResist",       "mBlessed",     "mCursed",      "mDie",
    "mError",         "mWait",           "mBusy",         "mSelect",       "mRetreat",     "mSitDown",     "mStand Up",
    "mPoint",         "mHorseFall",      "mHorseDie",     "mAction",       "mPotion",      "mFightWill",   "mScared",
    "mEffect",        "mEnemyInstantly", "mSummon",       "mEnemySpecial", "mQuake",       "mSpellSummon", "mDieGhost",
    "mDieGhostHorse",
};

TActionMode ActionModeByName(const std::string& text)
{
    return static_cast<TActionMode>(WordToValue(ActionModeNames, ActionModeCount, text));
}

TThreatAssessment GetAssessment(const TPersonage& p, bool actor)
{
    TThreatAssessment a;
    std::memcpy(&a, actor ? p.ActorAssessment : p.Assessment, sizeof a);
    return a;
}

void SetAssessment(TPersonage& p, bool actor, const TThreatAssessment& a)
{
    std::memcpy(actor ? p.ActorAssessment : p.Assessment, &a, sizeof a);
}

std::unique_ptr<TBattle> CurrentBattle = std::make_unique<TBattle>();
TBattleDecision BattleDecision = {};

void ResetBattleGlobals()
{
    ResetBattleRules();
    AnimationWait = false;
    CurrentBattle = std::make_unique<TBattle>();
    BattleDecision = TBattleDecision{};
    AttackerSide = TBattleSide{};
    DefenderSide = TBattleSide{};
    BattleRewards = TBattleRewards{};
}

bool TBattle::GetNeighbourCellAt(int32_t row, int32_t column, THexCell& result, int32_t direction) const
{
    return GetNeighbourCell(THexCell{row, column}, direction, result);
}


#include "battle/Battle_Rules.h"

#include <cmath>
#include <string>

#include "engine/QX9_System_Script.h"
#include "model/FixedPoint.h"
#include "model/Support.h"

bool UseRetreat = true;
bool FriendlyFear = false;
int32_t BattleEndTurn = 25;
int32_t MinDamage = 5;
int32_t MinManaCost = 5;
TRangeArray<int64_t, 1, 6> ExpCorrection = {{10000, 40000, 10000, 10000, 10000, 10000}};
int64_t BadWound = -2500;
bool AnimationWait = false;

namespace {

// The reader's defaults differ from the built-in values in entries 4 and 6.
constexpr float ExpCorrectionDefaults[6] = {1, 4, 1, 3, 1, 3};

int64_t ToFixed(float value)
{
    return RoundHalfEven(static_cast<long double>(value) * 10000);
}

} // namespace

void ResetBattleRules()
{
    UseRetreat = true;
    FriendlyFear = false;
    BattleEndTurn = 25;
    MinDamage = 5;
    MinManaCost = 5;
    ExpCorrection = {{10000, 40000, 10000, 10000, 10000, 10000}};
    BadWound = -2500;
}

void LoadBattleRules()
{
    ResetBattleRules();
    const std::string path = GetConfigFilePath("Options_AI.ini");
    if (path.empty())
        return;
    TScript script(path, true);
    // A file without the section reads every key as missing.
    if (!script.SelectSection("DefaultRules"))
        script.CurrentSection = -1;
    UseRetreat = script.ReadBool("UseRetreat", 1);
    FriendlyFear = script.ReadBool("FriendlyFear", 1);
    BattleEndTurn = script.ReadInteger("BattleEndTurn", 1, 25);
    MinDamage = script.ReadInteger("MinDamage", 1, 5);
    MinManaCost = script.ReadInteger("MinManaCost", 1, 5);
    for (int k = 1; k <= 6; ++k)
        ExpCorrection[k] = ToFixed(script.ReadFloat("ExpCorrection", k, ExpCorrectionDefaults[k - 1]));
    BadWound = -ToFixed(script.ReadFloat("BadWound", 1, 0.25f));
}

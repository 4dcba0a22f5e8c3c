// Whole silent battles played by the computer's choice on both sides, and
// one assessment of a full field. Each battle reports the decisions it took,
// the mean and 95th-percentile decision time and the work counts of the
// choice.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "battle/Battle.h"
#include "battle/Battle_Rules.h"
#include "engine/QX9_System.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"

namespace {

enum Mix { MixMelee, MixShooters, MixCasters, MixAssault };

// The cells of a side's 12 places: lines 1, 2, 3 of its half.
const THexCell Places[12] = {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {2, 2},
                             {2, 3}, {2, 4}, {2, 5}, {3, 2}, {3, 3}, {3, 4}};

void SetUpTables()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    ResetBattleRules();
    // A damage spell on one enemy, a healing one on an ally, a mass damage
    // spell: enough for the casters to weigh every marked cell.
    auto make = [](int number, uint8_t effect, int16_t value, uint8_t condition, bool mass) {
        TSpell& s = SpellTable[number];
        s = TSpell{};
        s.Mode = 1;
        s.Global = 9;
        s.ResultMultiply = 100;
        s.Effect[1] = effect;
        s.EffectValue2[1] = value;
        s.Condition[1] = condition;
        s.MassEffect = mass;
        s.CostMana = 2;
    };
    make(1, eDamage, -8, cEnemy, false);
    make(2, eCure, 8, cAlly, false);
    make(3, eDamage, -4, cEnemy, true);
    SpellCount = std::max(SpellCount, 3);
}

void Member(TBattleSide& s, int32_t side, int32_t k, uint8_t mode, int32_t variant)
{
    TPersonage& p = s.Personages[k];
    std::memset(&p, 0, sizeof p);
    p.UnitType = 1;
    p.AttackMode = mode;
    for (int i = 1; i <= 8; ++i)
        p.Stats[i] = static_cast<int16_t>(8 + (k + variant) % 5);
    p.Stats[1] = p.Hits = static_cast<int16_t>(30 + (k * 7 + variant) % 11);
    p.Stats[5] = 40;
    p.FullHits = p.Hits;
    p.WoundLimit = 3;
    p.Strength = 100;
    p.RoundActionPoints = p.ActionPointsLeft = 1;
    if (mode == mSpell) {
        p.MagicSchool = 1;
        p.Mana = 40;
        p.Spells[1] = {1, 1};
        p.Spells[2] = {2, 1};
        p.Spells[3] = {3, 1};
    }
    const THexCell c = Places[(k - 1) % 12];
    p.FormationRow = side == 1 ? -c.Row : c.Row;
    p.FormationColumn = c.Column;
    p.RefStats = p.Stats;
    p.RefPersBonus = p.PersBonus;
    p.RefPersBonusAdd = p.PersBonusAdd;
    p.BattleBonusSet = p.BonusSet;
    p.BattleStartHits = p.Hits;
    s.ArmySlot[k] = k;
    s.PersonageCount = std::max(s.PersonageCount, k);
}

void MakeSides(TBattleSide& a, TBattleSide& b, Mix mix, int32_t count)
{
    std::memset(static_cast<void*>(&a), 0, sizeof a);
    std::memset(static_cast<void*>(&b), 0, sizeof b);
    a.Army = b.Army = -1;
    for (TBattleSide* s : {&a, &b}) {
        s->AIFlag = 1;
        s->BattleKillTarget = 1;
        s->BattleCureTarget = 1;
    }
    for (int32_t side = 1; side <= 2; ++side)
        for (int32_t k = 1; k <= count; ++k) {
            uint8_t mode = mFight;
            if ((mix == MixShooters || mix == MixAssault) && k % 2 == 0)
                mode = mShoot;
            if (mix == MixCasters && k % 3 == 0)
                mode = mSpell;
            Member(side == 1 ? a : b, side, k, mode, side);
        }
}

struct TDecisionTimer {
    static std::vector<double>* Times;
    static bool Decide(TBattle& battle, TBattleDecision& d)
    {
        const auto t0 = std::chrono::steady_clock::now();
        const bool r = battle.ComputeAction(d);
        Times->push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
        return r;
    }
};
std::vector<double>* TDecisionTimer::Times = nullptr;

void RunBattles(benchmark::State& state, Mix mix, int32_t count)
{
    SetUpTables();
    const uint8_t arenas[3] = {1, 5, 8};
    const uint8_t arena = arenas[state.range(0) % 3];
    const uint8_t light = static_cast<uint8_t>(state.range(0) / 3 == 0 ? 1 : 3);
    auto sides = std::make_unique<TBattleSide[]>(4);
    std::vector<double> times;
    TDecisionTimer::Times = &times;
    TBattleCounters total{};
    int64_t battles = 0;
    int32_t seed = 1;
    for (auto _ : state) {
        state.PauseTiming();
        MakeSides(sides[0], sides[1], mix, count);
        if (mix == MixAssault) {
            sides[0].Army = 1;
            sides[1].Army = 2;
            AssaultParams = TAssaultParams{1, 1, 40, 30, 20, {}};
        } else {
            AssaultParams = NoAssaultParams;
        }
        GameSeed = seed++;
        RandomSeed = static_cast<uint32_t>(GameSeed);
        auto battle = std::make_unique<TBattle>();
        battle->Decider = TDecisionTimer::Decide;
        state.ResumeTiming();
        battle->Init(sides[0], sides[1], arena, light, Silent);
        battle->Finish(sides[2], sides[3]);
        benchmark::DoNotOptimize(sides[2].Result);
        total.AssessThreats += battle->Counters.AssessThreats;
        total.RecalcPersonage += battle->Counters.RecalcPersonage;
        total.BuildDistanceMap += battle->Counters.BuildDistanceMap;
        total.CalcAttackDamage += battle->Counters.CalcAttackDamage;
        total.Decisions += battle->Counters.Decisions;
        ++battles;
    }
    AssaultParams = NoAssaultParams;
    std::sort(times.begin(), times.end());
    double mean = 0;
    for (double t : times)
        mean += t;
    const double n = static_cast<double>(std::max<int64_t>(battles, 1));
    state.counters["battles/s"] = benchmark::Counter(static_cast<double>(battles), benchmark::Counter::kIsRate);
    state.counters["decisions"] = static_cast<double>(total.Decisions) / n;
    state.counters["mean_us"] = times.empty() ? 0 : mean / static_cast<double>(times.size());
    state.counters["p95_us"] = times.empty() ? 0 : times[times.size() * 95 / 100];
    state.counters["assess"] = static_cast<double>(total.AssessThreats) / n;
    state.counters["recalc"] = static_cast<double>(total.RecalcPersonage) / n;
    state.counters["distmaps"] = static_cast<double>(total.BuildDistanceMap) / n;
    state.counters["estimates"] = static_cast<double>(total.CalcAttackDamage) / n;
}

void BM_Battle12v12(benchmark::State& state, Mix mix)
{
    RunBattles(state, mix, 12);
}

void BM_Battle8v8(benchmark::State& state, Mix mix)
{
    RunBattles(state, mix, 8);
}

void BM_AssessThreats12v12(benchmark::State& state)
{
    SetUpTables();
    auto sides = std::make_unique<TBattleSide[]>(2);
    MakeSides(sides[0], sides[1], MixShooters, 12);
    auto battle = std::make_unique<TBattle>();
    // A battle stopped at its start: a decider that ends it at once.
    battle->Decider = [](TBattle& b, TBattleDecision& d) {
        b.Over = 1;
        d.Mode = mError;
        return false;
    };
    battle->Init(sides[0], sides[1], 1, 1, Silent);
    battle->Over = 0;
    battle->ActorSide = 0;
    for (auto _ : state) {
        battle->AssessThreats(1, 1);
        benchmark::DoNotOptimize(battle->Personage(2, 1).Assessment);
    }
}

} // namespace

// Arena 1, 5, 8 by day (0..2) and by night (3..5).
BENCHMARK_CAPTURE(BM_Battle12v12, melee, MixMelee)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Battle12v12, shooters, MixShooters)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Battle12v12, casters, MixCasters)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Battle12v12, assault, MixAssault)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Battle8v8, melee, MixMelee)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssessThreats12v12)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

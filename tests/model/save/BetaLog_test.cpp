// The telemetry log: record shapes, the time stamp, the save kind, and the
// log file kept across runs.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "model/save/BetaLog.h"
#include "model/Hooks.h"
#include "tests/model/WorldTestSupport.h"
#include "tests/support/ByteStrings.h"
#include "tests/support/TestSupport.h"

namespace {

std::string I32(int32_t v)
{
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

std::string LogBytes()
{
    return std::string(reinterpret_cast<const char*>(BetaLog.Data.data()), BetaLog.Size);
}

// The kinds of the records in the log, in order (nested army dumps are one
// record each; their personage records are inside them).
std::vector<int> LogKinds()
{
    std::vector<int> kinds;
    for (uint32_t at = 0; at + 3 <= BetaLog.Size;) {
        uint16_t size;
        std::memcpy(&size, BetaLog.Data.data() + at, 2);
        kinds.push_back(BetaLog.Data[at + 2]);
        if (size < 3)
            break;
        at += size;
    }
    return kinds;
}

class TWindowHooks : public TRenderHooks {
public:
    std::string Active;
    std::string ActiveWindowName() override { return Active; }
};

class BetaLogTest : public TWorldTest {
protected:
    void SetUp() override
    {
        TWorldTest::SetUp();
        BetaLogReset();
        SaveUserName.clear();
    }
    void TearDown() override
    {
        BetaLogReset();
        SaveUserName.clear();
        TWorldTest::TearDown();
    }
};

TEST_F(BetaLogTest, ArmyDumpListsTheFilledSlotsAndTheCarriedItems)
{
    MakeWorld(0, 0);
    TGameArmy& army = Army(PlayerArmy);
    army.PersonageCount = 3;
    army.Gold = 1234;
    Unit(0, 1).UnitType = 3;
    for (int e = 1; e <= 14; ++e)
        Unit(0, 1).Equipment[e] = 100 + e;
    for (int e = 1; e <= 4; ++e)
        Unit(0, 1).DefaultItems[e] = 200 + e;
    Unit(0, 1).Hits = 45;
    Unit(0, 1).HireKind = 2;
    Unit(0, 1).UpkeepDebt = -3;
    Unit(0, 3).UnitType = 4;
    for (int32_t item : {5, 0, 7})
        AddArmyItem(PlayerArmy, item);

    BetaLogWriteArmy(PlayerArmy, blkArmy);

    std::string first = U16(91) + '\x01' + I32(3);
    for (int e : {5, 6, 7, 8, 2, 1, 3, 4, 9, 10})
        first += I32(100 + e);
    first += I32(0);
    for (int e : {12, 13, 14})
        first += I32(100 + e);
    for (int e : {2, 1, 3, 4})
        first += I32(200 + e);
    first += I32(45) + I32(2) + I32(-3);
    std::string second = U16(91) + '\x01' + I32(4) + std::string(21 * 4, '\0');
    const std::string expected = U16(205) + '\x02' + I32(2) + first + second + I32(2) + I32(5) + I32(7) + I32(1234);
    ASSERT_EQ(expected.size(), 205u);
    EXPECT_EQ(LogBytes(), expected);
}

TEST_F(BetaLogTest, ArmyDumpKeepsItsSizeWithinSixteenBits)
{
    MakeWorld(0, 0);
    Army(PlayerArmy).PersonageCount = 15;
    for (int slot = 1; slot <= 15; ++slot)
        Unit(0, slot).UnitType = 1;
    for (int i = 0; i < 20000; ++i)
        AddArmyItem(PlayerArmy, 9);
    BetaLogWriteArmy(PlayerArmy, blkArmy);
    uint16_t size;
    std::memcpy(&size, BetaLog.Data.data(), 2);
    int32_t m;
    std::memcpy(&m, BetaLog.Data.data() + 7 + 15 * 91, 4);
    EXPECT_EQ(size, BetaLog.Size);
    EXPECT_EQ(size, 15 + 15 * 91 + 4 * m);
    EXPECT_GT(m, 15000);
}

TEST(BetaLogTimestamp, CountsSecondsOnTwelveMonthsOfThirtyTwoDays)
{
    const struct {
        int Year, Month, Day, Hour, Minute, Second;
        int32_t Expected;
    } rows[] = {
        {1980, 1, 1, 0, 0, 0, 86400},
        {1980, 1, 2, 0, 0, 1, 2 * 86400 + 1},
        {1981, 3, 5, 10, 20, 30, ((((12 + 2) * 32 + 5) * 24 + 10) * 60 + 20) * 60 + 30},
        {1980, 12, 32, 23, 59, 59, (((11 * 32 + 32) * 24 + 23) * 60 + 59) * 60 + 59},
    };
    for (const auto& r : rows)
        EXPECT_EQ(BetaLogTimestampOf(r.Year, r.Month, r.Day, r.Hour, r.Minute, r.Second), r.Expected)
            << r.Year << "-" << r.Month << "-" << r.Day;
}

TEST_F(BetaLogTest, SaveKindTestsQuickAutoUserInThatOrder)
{
    SaveUserName = u"Alice";
    const struct {
        std::u16string Name;
        int Kind;
    } rows[] = {
        {u"Alice (autosave) (quicksave)", 0},
        {u"Alice (autosave)", 1},
        {u"Alice day 3", 2},
        {u"Bob day 3", 3},
        {u"(QUICKSAVE)", 3},
        {u"", 3},
    };
    for (const auto& r : rows)
        EXPECT_EQ(BetaLogSaveKind(r.Name), r.Kind) << std::string(r.Name.begin(), r.Name.end());
    SaveUserName.clear();
    EXPECT_EQ(BetaLogSaveKind(u"Bob day 3"), 3);
}

TEST_F(BetaLogTest, QuickSaveWritesKindTwentyThenThePlayersArmy)
{
    MakeWorld(0, 0);
    MapStory.Name = u"Road";
    GameClock = 1234 * 10000 + 5000; // a half minute rounds to even
    Army(PlayerArmy).Gold = 77;
    BetaLogWriteSave(u"Day 2 (quicksave)", 1);
    const std::string bytes = LogBytes();
    const std::string save = U16(14) + '\x14' + '\x01' + '\x00' + I32(1234) + "Road" + '\0';
    ASSERT_GE(bytes.size(), save.size());
    EXPECT_EQ(bytes.substr(0, save.size()), save);
    EXPECT_EQ(LogKinds(), (std::vector<int>{20, 2}));
    EXPECT_EQ(bytes.substr(save.size()), U16(15) + '\x02' + I32(0) + I32(0) + I32(77));
}

TEST_F(BetaLogTest, SettingsRecordSeparatesItsValuesWithDigits)
{
    BetaLogWriteSettings(3, 80, -1);
    EXPECT_EQ(LogBytes(), U16(17) + "1" + I32(3) + "2" + I32(80) + "3" + I32(-1));
}

TEST_F(BetaLogTest, ShortRecordsHaveTheirKindsAndSizes)
{
    MakeWorld(2, 0);
    Army(2).Gold = 10;
    Army(2).SupportLimit = 4;
    Army(2).IncomeBase = 30;
    Army(2).Upkeep = 45;
    Unit(2, 4).UnitType = 17;
    TWindowHooks window;
    SetRenderHooks(&window);
    const struct {
        std::function<void()> Write;
        std::string Expected;
    } rows[] = {
        {[] { BetaLogWriteArmyStats(2); }, U16(15) + '\x0a' + I32(10) + I32(4) + I32(-15)},
        {[] { BetaLogWriteItem(9, 0); }, U16(7) + '\x23' + I32(9)},
        {[] { BetaLogWriteItem(9, 1); }, U16(7) + '\x24' + I32(9)},
        {[] { BetaLogWriteItem(9, 5); }, U16(7) + '\x25' + I32(9)},
        {[] { BetaLogWriteItem(9, 4); }, U16(7) + '\x2a' + I32(9)},
        {[] { BetaLogWriteItem(9, 3); }, U16(7) + '\x2b' + I32(9)},
        {[] { BetaLogWriteItem(9, 2); }, U16(7) + '\x2f' + I32(9)},
        {[] { BetaLogWriteItem(9, 6); }, ""},
        {[&window] {
             window.Active = BuildingWindowName;
             BetaLogWriteItem(9, 0);
             BetaLogWriteItem(9, 1);
             BetaLogWriteItem(9, 5);
             window.Active.clear();
         },
         U16(7) + '\x27' + I32(9) + U16(7) + '\x28' + I32(9) + U16(7) + '\x29' + I32(9)},
        {[] { BetaLogWritePersonageEvent(2, -4, 8, blkHire); }, U16(15) + '\x2c' + I32(2) + I32(17) + I32(8)},
        {[] { BetaLogWritePersonageEvent(2, 16, 8, blkHire); }, U16(15) + '\x2c' + I32(2) + I32(0) + I32(8)},
        {[] { BetaLogWriteBattleEvent(5, 28, 6); }, U16(15) + '\x1c' + I32(0) + I32(5) + I32(6)},
        {[] { BetaLogWriteCamera(blkCamera, 1.0f, 0.0f, -2.0f); },
         U16(15) + '\x11' + I32(0x3f800000) + I32(0) + I32(static_cast<int32_t>(0xc0000000u))},
        {[] { BetaLogWriteArmy(7, blkArmy); }, ""},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        BetaLogReset();
        rows[i].Write();
        EXPECT_EQ(LogBytes(), rows[i].Expected) << "row " << i;
    }
    SetRenderHooks(nullptr);
}

TEST_F(BetaLogTest, WindowStatesChooseTheKind)
{
    const struct {
        int32_t State;
        int Kind;
    } rows[] = {{0x10000003, 11}, {1, 11}, {0x10000004, 12}, {2, 12}, {0, 13}, {0x10000005, 13}};
    for (const auto& r : rows) {
        BetaLogReset();
        BetaLogWriteWindowEvent("Camp_Window", r.State);
        ASSERT_EQ(BetaLog.Size, 16u + 11u);
        EXPECT_EQ(BetaLog.Data[2], r.Kind) << r.State;
        EXPECT_EQ(LogBytes().substr(11), I32(r.State) + "Camp_Window" + '\0');
    }
}

TEST_F(BetaLogTest, AReopenedLogKeepsTheEarlierRunsRecordsInFront)
{
    TTempFolder folder;
    const std::string file = folder.ProgramPath() + "beta.dat";
    BetaLogOpen(file);
    EXPECT_EQ(BetaLog.Size, 0u);
    BetaLogWriteSettings(1, 2, 3);
    ASSERT_TRUE(BetaLogSave());

    BetaLogOpen(file);
    EXPECT_EQ(BetaLog.Position, 17u);
    EXPECT_GE(BetaLog.Capacity, BetaLogCapacity);
    BetaLogWriteSettings(4, 5, 6);
    ASSERT_TRUE(BetaLogSave());

    BetaLogOpen(file);
    EXPECT_EQ(LogBytes(), U16(17) + "1" + I32(1) + "2" + I32(2) + "3" + I32(3) + U16(17) + "1" + I32(4) + "2" + I32(5) +
                              "3" + I32(6));
    // The file itself is packed.
    EXPECT_EQ(folder.ReadFile("beta.dat").substr(0, 4), "QXpf");
}

TEST_F(BetaLogTest, OpeningCutsADamagedTailAndOldRecordsPastTheCapacity)
{
    TTempFolder folder;
    const std::string a = U16(10) + std::string(1, 'a') + std::string(7, 'x');
    const std::string b = U16(15) + std::string(1, 'b') + std::string(12, 'y');
    const std::string c = U16(20) + std::string(1, 'c') + std::string(17, 'z');
    const struct {
        std::string File;
        uint32_t Capacity;
        std::string Kept;
    } rows[] = {
        {a + b + c, 100, a + b + c},
        {a + b + c, 45, a + b + c},
        {a + b + c, 40, b + c},
        {a + b + c, 20, c},
        {a + b + c, 19, ""},
        {a + b + U16(200) + "c", 100, a + b}, // a size running past the end
        {a + U16(2) + "b" + c, 100, a},       // a size below the record head
        {a + b + "\x05", 100, a + b},         // a lone byte
    };
    for (const auto& r : rows) {
        BetaLogOpen(folder.WriteProgramFile("raw.dat", r.File), r.Capacity);
        EXPECT_EQ(LogBytes(), r.Kept) << r.Capacity << " " << r.File.size();
        EXPECT_EQ(BetaLog.Position, r.Kept.size());
        BetaLogReset();
    }
}

} // namespace

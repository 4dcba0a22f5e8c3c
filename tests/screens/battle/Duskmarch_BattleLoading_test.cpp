// Arena choice and file names, the tag text, the bar and the stored load
// amount of the battle loading window.
#include "screens/battle/Duskmarch_BattleLoading.h"

#include <gtest/gtest.h>

#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(BattleArenaFileTest, TimeOfDaySuffixByMinute)
{
    const struct {
        int64_t Minute;
        const char* Suffix;
    } rows[] = {{0, "_Night"},       {149, "_Night"},     {150, "_Twilight"}, {374, "_Twilight"},
                {375, "_Dawn"},      {449, "_Dawn"},      {450, "_Day"},      {1079, "_Day"},
                {1080, "_Sunset"},   {1229, "_Sunset"},   {1230, "_Nightfall"}, {1349, "_Nightfall"},
                {1350, "_Night"},    {1439, "_Night"},    {1440 + 500, "_Day"}};
    for (const auto& row : rows)
        EXPECT_EQ(ArenaTimeSuffix(row.Minute * 10000), row.Suffix) << row.Minute;
    // A negative clock names no time of day.
    EXPECT_EQ(ArenaTimeSuffix(-500 * 10000LL), "");
}

TEST(BattleArenaFileTest, VariantWhenItExistsElseThePlainFile)
{
    TTempFolder folder;
    const std::string kept = ArenasFolder;
    ArenasFolder = folder.ProgramPath();
    folder.WriteFile("Plain/PlainVillage_Day.qxs", "x");
    folder.WriteFile("Castle/Castle.qxs", "x");
    const int64_t day = 500 * 10000LL, night = 100 * 10000LL;
    EXPECT_EQ(GetArenaFileName("PlainVillage", day), ArenasFolder + "Plain\\PlainVillage_Day.qxs");
    EXPECT_EQ(GetArenaFileName("PlainVillage", night), ArenasFolder + "Plain\\PlainVillage.qxs");
    EXPECT_EQ(GetArenaFileName("Castle", day), ArenasFolder + "Castle\\Castle.qxs");
    folder.WriteFile("Castle/Castle_Day.qxs", "x");
    EXPECT_EQ(GetArenaFileName("Castle", day), ArenasFolder + "Castle\\Castle_Day.qxs");
    // "Plain" anywhere in the name sends it to the Plain folder.
    EXPECT_EQ(GetArenaFileName("OldPlainWild", -day), ArenasFolder + "Plain\\OldPlainWild.qxs");
    ArenasFolder = kept;
}

TEST(BattleArenaFileTest, NamesByKindKeepTheLastForNoKind)
{
    const char* names[16] = {"",      "Plain", "PlainTown", "PlainVillage", "PlainWild", "Castle", "Tower", "Ruins",
                             "PineForest", "Forest", "Swamp", "Forest", "Lake", "Lake", "Lake", "Ruins"};
    for (int kind = 1; kind <= 15; ++kind) {
        ApplyBattleArenaKind(static_cast<uint8_t>(kind), 0);
        EXPECT_EQ(BattleArenaName, names[kind]) << kind;
    }
    ApplyBattleArenaKind(6, 0);
    ApplyBattleArenaKind(0, 0);
    EXPECT_EQ(BattleArenaName, "Tower");
    ApplyBattleArenaKind(16, 0);
    EXPECT_EQ(BattleArenaName, "Tower");
}

TEST(BattleArenaTagTest, WordsIslandAndCollision)
{
    EXPECT_EQ(BattleArenaTagText(0, "Plain"), "-collision");
    EXPECT_EQ(BattleArenaTagText((1 << 0) | (1 << 11), "Plain"), "Road Bridge -collision");
    // Every lake gets "island", also when its tags hold "Island".
    EXPECT_EQ(BattleArenaTagText(0, "Lake"), "island -collision");
    EXPECT_EQ(BattleArenaTagText(1 << 14, "Lake"), "Island island -collision");
    EXPECT_EQ(BattleArenaTagText(0xFFFF, "Castle"),
              "Road Town Castle Village Mill House Tavern Ruins RuinC RuinT Church Bridge Kogg Galere Island Forest "
              "-collision");
}

TEST(BattleLoadingBarTest, Widths)
{
    const struct {
        int64_t Done, Arena, Models;
        int32_t Width;
    } rows[] = {
        {0, 1000, 1000, 0},        // nothing loaded: the bar keeps its width
        {-10, 1000, 1000, 0},      // freed more than loaded
        {100, 0, 0, 0},            // nothing expected
        {1000, 1000, 1000, 127},   // half
        {2000, 1000, 1000, 254},   // all
        {9000, 1000, 1000, 254},   // more than expected: held at 254
        {3, 1000, 1000, 0},        // 0.381 rounds down
        {5, 1000, 1000, 1},        // 0.635 rounds up
        {3096101, 0, 3096101, 254} // first load of an arena: the models alone
    };
    for (const auto& row : rows)
        EXPECT_EQ(BattleLoadingBarWidth(row.Done, row.Arena, row.Models), row.Width) << row.Done;
}

TEST(BattleLoadingAmountTest, TheMeasuredAmountIsStoredForTheNextBattle)
{
    TTempFolder folder;
    TIniFile* kept = GameOptions;
    TIniFile options;
    options.LoadFromMemory(folder.Path() + "/Options_Game.ini", "[Main]\nA=1\n");
    GameOptions = &options;
    EXPECT_EQ(ReadArenaLoadAmount("Castle"), 0); // no section yet
    StoreArenaLoadAmount("Castle", 123456);
    EXPECT_EQ(ReadArenaLoadAmount("Castle"), 123456);
    EXPECT_EQ(ReadArenaLoadAmount("Swamp"), 0);
    TIniFile reread;
    reread.LoadFromMemory("x", folder.ReadFile("Options_Game.ini"));
    ASSERT_TRUE(reread.SelectSection("Arenas"));
    EXPECT_EQ(reread.ReadInteger("Castle", -1, 0), 123456);
    GameOptions = kept;
}

} // namespace

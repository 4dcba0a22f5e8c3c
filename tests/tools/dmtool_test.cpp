// dmtool and the sample scenarios: the generator's files read back, the
// installation's sample is playable ground, and the harness's output is
// the same on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <sstream>
#include <sys/wait.h>

#include "model/ai/AIMain_Settings.h"
#include "model/save/BetaLog.h"
#include "model/tables/Global.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/story/StoryEvents.h"
#include "model/SceneHooks.h"
#include "model/Support.h"
#include "tests/support/GameStateReset.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WorldBuilder.h"
#include "tools/dmtool/MakeScenario.h"

namespace {

std::string Utf8(const std::u16string& text)
{
    return OS_WideToMultiByte(CP_UTF8, text);
}

const std::string Installation = std::filesystem::path(DUSKMARCH_DMTOOL).parent_path().string() + "/";

// Runs dmtool with the per-user folder in `user`; the exit code, stdout and stderr.
struct TRun {
    int Code = -1;
    std::string Out;
    std::string Err;
};

TRun RunDmtool(const TTempFolder& user, const std::string& arguments)
{
    const std::string out = user.Path() + "out.txt", err = user.Path() + "err.txt";
    const std::string command =
        "XDG_DATA_HOME=" + user.Path() + " " + DUSKMARCH_DMTOOL + " " + arguments + " >" + out + " 2>" + err;
    TRun run;
    const int status = std::system(command.c_str());
    run.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Out = user.ReadFile("out.txt");
    run.Err = user.ReadFile("err.txt");
    return run;
}

class SampleScenarioTest : public ::testing::Test {
protected:
    TTempFolder Folder;

    void SetUp() override
    {
        SetGameFolders(Folder.ProgramPath());
        SetGameLanguage("eng");
        AllocateMapGrids();
        ResetGameState();
        ItemCount = 36;
    }
    void TearDown() override { ResetGameState(); }
    std::string Path(const std::string& name) const { return Folder.ProgramPath() + name; }
};

TEST_F(SampleScenarioTest, TheGeneratedFileReadsBackAsWritten)
{
    const TScenarioSource source = BuildSampleScenario(SampleScenarioSize, 0, "");
    ASSERT_TRUE(WriteScenarioFile(source, Path("Sample.Tdm")));
    ASSERT_TRUE(LoadScenarioMap(Path("Sample.Tdm")));
    EXPECT_TRUE(ScenarioLoadErrors.empty());
    EXPECT_TRUE(ScenarioLocalizationReport.empty());

    EXPECT_EQ(V(MapInit.MapSizeMinus1), 512);
    EXPECT_EQ(V(MapStory.SizeClass), 0);
    EXPECT_EQ(Utf8(MapStory.Name), "Greywater Crossing");
    // The plain sample is a single scenario: no campaign name, the
    // personalization box offered.
    EXPECT_EQ(Utf8(MapStory.Title), "");
    EXPECT_EQ(V(MapStory.ListFlag), 1);
    EXPECT_EQ(MapStory.GroupNames.size(), 3u);
    EXPECT_EQ(V(MapStory.GroupRelations[2][0]), -100);
    EXPECT_EQ(EventOfReference(MapStory.VictoryEvent), 2);
    for (const int kind : {1, 2, 6})
        EXPECT_EQ(V(MapStory.HeroAvailable[kind]), 1) << kind;
    EXPECT_EQ(V(MapStory.HeroAvailable[3]), 0); // offered without a hero
    EXPECT_EQ(std::memcmp(&MapCell(300, 200), &source.Cells[300 * 513 + 200], sizeof(TMapCell)), 0);

    ASSERT_EQ(MapTrees.Count, static_cast<int32_t>(source.Trees.size()));
    EXPECT_EQ(std::memcmp(&MapTrees[1], source.Trees.data(), source.Trees.size() * sizeof(TMapTree)), 0);
    ASSERT_EQ(MapBuildings.Count, 10);
    EXPECT_EQ(MapObjects.Count, static_cast<int32_t>(source.Objects.size()));
    ASSERT_EQ(MapArmies.Count, 8);
    ASSERT_EQ(MapPoints.Count, 4);
    ASSERT_EQ(StoryEventCount, 4);
    ASSERT_EQ(NpcTypeCount, 3);
    for (int32_t b = 1; b <= MapBuildings.Count; b++)
        EXPECT_EQ(V(MapBuildings[b].Uid), 100 + b);
    EXPECT_EQ(Utf8(BuildingTexts[1].Name), "Greywater");
    EXPECT_EQ(Utf8(BuildingTexts[1].Suffix), "the ford town");
    EXPECT_TRUE(BuildingTexts[5].Name.empty()); // the ruined tower: an obstacle of nobody
    EXPECT_EQ(V(MapBuildings[5].OwnerGroup), -1);
    // The road's bridge stands nameless in the river at the ford.
    EXPECT_EQ(V(MapBuildings[10].Model), static_cast<int32_t>(TBuildingModel::Bridge));
    EXPECT_TRUE(BuildingTexts[10].Name.empty());
    EXPECT_LE(MapCell(MapBuildings[10].Cell.X, MapBuildings[10].Cell.Z).TerrainClass, 1);
    EXPECT_EQ(Utf8(ArmyTexts[3].Name), "Red Jory");
    EXPECT_EQ(V(MapArmies[3].Behavior), static_cast<uint8_t>(TArmyBehavior::Bandits));
    EXPECT_EQ(V(MapArmies[3].SeeksBattles), 1);
    EXPECT_EQ(V(MapArmies[2].Slots[0].UnitType), -1); // the barrow host: scenario personages
    EXPECT_EQ(Utf8(PointTexts[2]), "Old palisade");
    EXPECT_EQ(V(MapPoints[2].ClosedAtStart), 1);
    EXPECT_EQ(V(MapPoints[1].Kind), 1);
    EXPECT_EQ(Utf8(StoryEventTexts[3].Captions[0]), "Buy a draught (40 gold)");
    EXPECT_EQ(V(StoryEvents[2].Stages[0].Results[2].Mode), 3); // a personage result without a count
    EXPECT_EQ(Utf8(ScenarioVariableNames[1]), "bandits_beaten");
    EXPECT_EQ(UnitTypes[-3].TagName.Str(), "ser_hallan");
    EXPECT_EQ(Utf8(UnitTypeNames[-1].Name), "Barrow wight");
    // Every palisade object stands inside the barrier's radius.
    int32_t inside = 0;
    for (int32_t o = 1; o <= MapObjects.Count; o++)
        inside += MapObjects[o].ModelGroup == 5 &&
                  std::abs(MapObjects[o].Pos[0] - MapPoints[2].Pos[0]) <= MapPoints[2].Radius &&
                  std::abs(MapObjects[o].Pos[2] - MapPoints[2].Pos[2]) <= MapPoints[2].Radius;
    EXPECT_EQ(inside, 5);
}

TEST_F(SampleScenarioTest, TheSampleIsWalkableGround)
{
    ASSERT_TRUE(WriteScenarioFile(BuildSampleScenario(SampleScenarioSize, 0, ""), Path("Sample.Tdm")));
    ASSERT_TRUE(LoadScenarioMap(Path("Sample.Tdm")));
    SceneHooks().BuildTerrainModel(true);
    SceneHooks().UpdateMapChunks({});

    // From the hero's start every building's footprint can be reached on
    // the walkable vertices of the playable square.
    std::vector<uint8_t> seen(MapGridSide * MapGridSide, 0);
    std::deque<std::pair<int32_t, int32_t>> queue{{MapPoints[1].Cell.X, MapPoints[1].Cell.Z}};
    ASSERT_GT(V(TerrainVertex(queue.front().first, queue.front().second).Cost), 0);
    while (!queue.empty()) {
        const auto [x, z] = queue.front();
        queue.pop_front();
        for (int32_t dx = -1; dx <= 1; dx++)
            for (int32_t dz = -1; dz <= 1; dz++) {
                const int32_t nx = x + dx, nz = z + dz;
                if (nx < 128 || nz < 128 || nx > 384 || nz > 384 || seen[nx * MapGridSide + nz] ||
                    TerrainVertex(nx, nz).Cost == 0)
                    continue;
                seen[nx * MapGridSide + nz] = 1;
                queue.push_back({nx, nz});
            }
    }
    for (int32_t b = 1; b <= MapBuildings.Count; b++)
        if (!BuildingTexts[b].Name.empty()) // the nameless ruined tower is no place
            EXPECT_TRUE(seen[MapBuildings[b].Cell.X * MapGridSide + MapBuildings[b].Cell.Z]) << b;
    // The road crosses the river at the ford, which is wadeable.
    int32_t ford = 0, deep = 0;
    for (int32_t x = 128; x <= 384; x++)
        for (int32_t z = 128; z <= 384; z++) {
            ford += MapCell(x, z).TerrainClass == 1 && TerrainVertex(x, z).Cost == 12;
            deep += MapCell(x, z).TerrainClass == 0;
        }
    EXPECT_GT(ford, 0);
    EXPECT_GT(deep, 0);
}

// The salt trader's draught costs 40 gold: a hero who can't pay is not
// offered it.
TEST_F(SampleScenarioTest, OnlyAHeroWhoCanPayIsOfferedTheDraught)
{
    ASSERT_TRUE(WriteScenarioFile(BuildSampleScenario(SampleScenarioSize, 0, ""), Path("Sample.Tdm")));
    ASSERT_TRUE(LoadScenarioMap(Path("Sample.Tdm")));
    ASSERT_EQ(StoryEvents[3].Uid, 403);
    SizeWorldTables(MapArmies.Count, MapBuildings.Count);
    GameEvents.assign(static_cast<size_t>(StoryEventCount) + 1, TGameEvent{0, -1, 0, -10000, 0, 0});
    GameClock = 10 * 1440 * int64_t{10000};
    MetPlayerArmy = 1; // the hero rode up to Odo
    PlayerTargetArmy = 1;
    const struct {
        int32_t Gold;
        bool Offered;
    } rows[] = {{0, false}, {39, false}, {40, true}, {700, true}};
    for (const auto& row : rows) {
        GameArmies[PlayerArmy].Gold = row.Gold;
        EXPECT_EQ(EvaluateEventRequirements(3, false), row.Offered) << row.Gold;
    }
    MetPlayerArmy = PlayerTargetArmy = 0;
    ClearWorldTables();
}

TEST_F(SampleScenarioTest, TheCampaignPairIsLinked)
{
    std::string error;
    ASSERT_TRUE(MakeScenario(Folder.Path() + "Vale.Tdm", 64, true, error)) << error;
    ASSERT_TRUE(LoadScenarioMap(Path("Vale.Tdm")));
    EXPECT_EQ(Utf8(MapStory.NextScenario[1]), "Vale2");
    EXPECT_EQ(EventOfReference(MapStory.NextEvent[1]), 2);
    const std::string companion = UnitTypes[-3].TagName.Str();

    ASSERT_TRUE(LoadScenarioMap(Path("Vale2.Tdm")));
    EXPECT_EQ(V(MapStory.Unlisted), 1);
    EXPECT_EQ(V(MapStory.DaysBetween), 3);
    EXPECT_EQ(V(MapStory.KeepCompanions), 1);
    EXPECT_EQ(V(MapStory.KeepEquipment), 0);
    // 8-bit texts only, in the English scenario's code page.
    EXPECT_NE(Utf8(MapStory.Description).find("Abbé Rémy"), std::string::npos);
    EXPECT_NE(UnitTypes[-1].TagName.Str(), companion);
    EXPECT_EQ(UnitTypes[-1].TagName.Str(), UpperCaseStr(companion));
    EXPECT_EQ(Utf8(ScenarioVariableNames[1]), "Bandits_Beaten");
}

TEST_F(SampleScenarioTest, TheFullSizeMapFillsEveryTable)
{
    const TScenarioSource source = BuildSampleScenario(ScenarioSizeMax, 0, "");
    EXPECT_EQ(source.Header.SizeClass, 3);
    EXPECT_EQ(source.Cells.size(), 1025u * 1025u);
    EXPECT_EQ(source.Trees.size(), static_cast<size_t>(MapTreeMax));
    EXPECT_EQ(source.Buildings.size(), static_cast<size_t>(MapBuildingMax));
    EXPECT_EQ(source.Objects.size(), static_cast<size_t>(MapObjectMax));
    EXPECT_EQ(source.Armies.size(), static_cast<size_t>(MapArmyMax));
    EXPECT_EQ(source.Points.size(), static_cast<size_t>(MapPointMax));
    EXPECT_EQ(source.NpcTypes.size(), static_cast<size_t>(NpcTypeMax));
    EXPECT_EQ(source.Events.size(), 300u);
    EXPECT_EQ(source.Requires.size(), 1500u);
    for (const TStoryEventStart& event : source.Events)
        EXPECT_EQ(event.RequireCount, 5);
    EXPECT_EQ(source.BuildingTexts.size(), 3u * MapBuildingMax);
}

TEST(Dmtool, MakeScenarioWritesTheSameBytesTwice)
{
    TTempFolder user;
    for (const char* folder : {"x", "y"}) {
        std::filesystem::create_directories(user.Path() + folder);
        const TRun run =
            RunDmtool(user, "make-scenario --size 200 --campaign --out " + user.Path() + folder + "/Vale.Tdm");
        ASSERT_EQ(run.Code, 0) << run.Err;
        EXPECT_EQ(run.Err, "");
    }
    EXPECT_TRUE(user.ReadFile("x/Vale.Tdm") == user.ReadFile("y/Vale.Tdm"));
    EXPECT_TRUE(user.ReadFile("x/Vale2.Tdm") == user.ReadFile("y/Vale2.Tdm"));
    EXPECT_FALSE(user.ReadFile("x/Vale.Tdm") == user.ReadFile("x/Vale2.Tdm"));
    // The installation's sample is the generator's default.
    ASSERT_EQ(RunDmtool(user, "make-scenario --out " + user.Path() + "Sample.Tdm").Code, 0);
    EXPECT_TRUE(user.ReadFile("Sample.Tdm") == ReadWholeFile(Installation + "Scenarios/Sample.Tdm"));
}

// The header options the scenario lists and the hero selection read.
TEST(Dmtool, MakeScenarioHeaderOptions)
{
    TTempFolder user;
    const TRun run = RunDmtool(user, "make-scenario --size 64 --heroes mystic,baroness --mask 1 --not-ready "
                                     "--personalization --tutorial --name Prologue --description Words --out " +
                                         user.Path() + "P.Tdm");
    ASSERT_EQ(run.Code, 0) << run.Err;
    ASSERT_TRUE(ReadScenarioHeader(user.ProgramPath() + "P.Tdm"));
    EXPECT_EQ(V(MapStoryPreview.HeroAvailable[1]), 0);
    EXPECT_EQ(V(MapStoryPreview.HeroAvailable[2]), 1);
    EXPECT_EQ(V(MapStoryPreview.HeroAvailable[6]), 1);
    EXPECT_EQ(V(MapStoryPreview.ListGroup), 1);
    EXPECT_EQ(V(MapStoryPreview.NotReady), 1);
    EXPECT_EQ(V(MapStoryPreview.ListFlag), 1);
    EXPECT_EQ(V(MapStoryPreview.Tutorial), 1);
    EXPECT_EQ(Utf8(MapStoryPreview.Name), "Prologue");
    EXPECT_EQ(Utf8(MapStoryPreview.Description), "Words");
    for (const char* bad : {"--heroes squire", "--heroes ''", "--mask 256"}) {
        const TRun refused = RunDmtool(user, std::string("make-scenario ") + bad + " --out " + user.Path() + "Q.Tdm");
        EXPECT_NE(refused.Code, 0) << bad;
    }
}

TEST(Dmtool, ScenarioPrintsTheSameTextTwiceAndInRussian)
{
    TTempFolder user;
    const std::string sample = Installation + "Scenarios/Sample.Tdm";
    const TRun first = RunDmtool(user, "scenario " + sample);
    const TRun second = RunDmtool(user, "scenario " + sample);
    ASSERT_EQ(first.Code, 0) << first.Err;
    EXPECT_EQ(first.Out, second.Out);
    for (const char* line :
         {"name: Greywater Crossing\n", "hero kinds: 1 2 6\n", "  MapLandscape 35 x 263169\n", "tables crc32: "})
        EXPECT_NE(first.Out.find(line), std::string::npos) << line;
    EXPECT_EQ(first.Out.find("localisation:"), std::string::npos);
    EXPECT_EQ(first.Out.find("repair:"), std::string::npos);

    const TRun russian = RunDmtool(user, "scenario " + sample + " --lang rus");
    ASSERT_EQ(russian.Code, 0) << russian.Err;
    EXPECT_NE(russian.Out.find("name: Брод Серой Воды\n"), std::string::npos);
    EXPECT_NE(russian.Out.find("Одо Солевар / из Долины"), std::string::npos);
    EXPECT_NE(russian.Out.find("Лорд Варроу / из Вороньей Скалы"), std::string::npos);
    EXPECT_NE(russian.Out.find("Соляной Торг"), std::string::npos);
    EXPECT_EQ(russian.Out.find("localisation:"), std::string::npos);

    const TRun header = RunDmtool(user, "scenario " + sample + " --header");
    ASSERT_EQ(header.Code, 0) << header.Err;
    EXPECT_NE(header.Out.find("armies: 8, loading estimate 412\n"), std::string::npos) << header.Out;
}

std::string DigestOf(const std::string& out)
{
    const size_t at = out.rfind("digest ");
    return at == std::string::npos ? std::string() : out.substr(at);
}

TEST(Dmtool, WorldRunsTheSameWorldForTheSameSeed)
{
    TTempFolder user;
    const std::string run = "world --scenario Sample --hero 1 --days 10 --log --seed ";
    const TRun first = RunDmtool(user, run + "12345");
    ASSERT_EQ(first.Code, 0) << first.Err;
    EXPECT_EQ(first.Err, "");
    EXPECT_EQ(first.Out, RunDmtool(user, run + "12345").Out);
    EXPECT_NE(first.Out.find("scenario: Greywater Crossing\nhero: 1\nseed: 12345\n"), std::string::npos) << first.Out;
    EXPECT_NE(first.Out.find("armies 8, garrisons 10, buildings 10, points 4, events 4\n"), std::string::npos);
    size_t days = 0;
    for (size_t at = first.Out.find(" 09:00 gold "); at != std::string::npos;
         at = first.Out.find(" 09:00 gold ", at + 1))
        ++days;
    EXPECT_EQ(days, 10u);
    EXPECT_EQ(DigestOf(first.Out).size(), 16u);
    // The welcome event fires once, in the first frame of its day.
    const std::string welcome = "\n02.01.1000 09:05 event 1 uid 401 stage 0: gold +100, units none, items none\n";
    EXPECT_NE(first.Out.find(welcome), std::string::npos) << first.Out;
    EXPECT_EQ(first.Out.find(" event 1 uid ", first.Out.find(welcome) + welcome.size()), std::string::npos);
}

// Whatever the seed, the welcome event comes at its date.
// Route searches side by side leave the world as searching one after the
// other does: the same digests with any number of planning threads, pinned.
TEST(Dmtool, PlanningThreadsLeaveTheSameWorld)
{
    TTempFolder user;
    const struct {
        int Seed;
        const char* Digest;
    } rows[] = {{1, "digest e475f3e5\n"}, {2, "digest aa65e6fb\n"}, {3, "digest 2f91c51c\n"}};
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // Under the sanitizers one seed shows it: each month takes them long.
    const size_t rowCount = 1;
#else
    const size_t rowCount = std::size(rows);
#endif
    for (const auto& row : std::span(rows, rowCount))
        for (int threads : {1, 2, 8}) {
            const TRun run =
                RunDmtool(user, "world --scenario Sample --hero 1 --days 30 --seed " + std::to_string(row.Seed) +
                                    " --planning-threads " + std::to_string(threads));
            ASSERT_EQ(run.Code, 0) << run.Err;
            EXPECT_EQ(DigestOf(run.Out), row.Digest) << "seed " << row.Seed << ", " << threads << " threads";
        }
}

TEST(Dmtool, WorldRunsShowTheWelcomeEventForEverySeed)
{
    TTempFolder user;
    for (int seed = 1; seed <= 5; ++seed) {
        const TRun run =
            RunDmtool(user, "world --scenario Sample --hero 1 --days 1 --log --seed " + std::to_string(seed));
        ASSERT_EQ(run.Code, 0) << run.Err;
        EXPECT_NE(run.Out.find("\n02.01.1000 09:05 event 1 uid 401 stage 0: gold +100, units none, items none\n"),
                  std::string::npos)
            << "seed " << seed << "\n" << run.Out;
        EXPECT_NE(run.Out.find("\n03.01.1000 09:00 gold 700, "), std::string::npos) << run.Out;
    }
}

// The digest of a short run, pinned: it changes only when a rule changes,
// and is then set anew on purpose.
TEST(Dmtool, WorldDigestOfAThreeDayRun)
{
    TTempFolder user;
    // The dump and the log only print; a path names the scenario as well.
    const TRun pinned = RunDmtool(user, "world --scenario " + Installation +
                                                  "Scenarios/Sample.Tdm --hero 1 --days 3 --dump --log --seed 12345");
    ASSERT_EQ(pinned.Code, 0) << pinned.Err;
    EXPECT_EQ(DigestOf(pinned.Out), "digest 67572e72\n");
    EXPECT_NE(pinned.Out.find("\narmy #0 Hero army: active 1,"), std::string::npos) << pinned.Out;
    EXPECT_NE(pinned.Out.find("\nbuilding #2 Ravenscar Keep: owner -1, group 2,"), std::string::npos);
    EXPECT_NE(pinned.Out.find(" leaves for debt: "), std::string::npos);
    EXPECT_NE(DigestOf(RunDmtool(user, "world --scenario Sample --hero 1 --days 3 --seed 12346").Out),
              DigestOf(pinned.Out));

    // A drawn seed is printed, and setting up with it gives the same world.
    const std::string setUp = "world --scenario Sample --hero 1 --days 0 --seed ";
    const TRun drawn = RunDmtool(user, setUp + "0");
    ASSERT_EQ(drawn.Code, 0) << drawn.Err;
    const size_t at = drawn.Out.find("seed: ");
    ASSERT_NE(at, std::string::npos);
    const long seed = std::strtol(drawn.Out.c_str() + at + 6, nullptr, 10);
    EXPECT_EQ(seed % 10000, 0);
    EXPECT_EQ(RunDmtool(user, setUp + std::to_string(seed)).Out, drawn.Out);
}

// The player's army ordered to Red Jory, the army that seeks battles: the
// meeting, the battle fought headless and its outcome, the same every time,
// with the battle's telemetry records.
TEST(Dmtool, ThePlayerApproachesABattleSeekingArmy)
{
    TTempFolder user;
    const std::string run = "world --scenario Sample --hero 1 --days 7 --approach 3 --log --seed ";
    const TRun first = RunDmtool(user, run + "3");
    ASSERT_EQ(first.Code, 0) << first.Err;
    EXPECT_EQ(first.Out, RunDmtool(user, run + "3").Out);
    EXPECT_NE(first.Out.find(" encounter: #0 Hero army Attack: #3 Red Jory\n"), std::string::npos) << first.Out;
    EXPECT_NE(first.Out.find(" battle: #0 Hero army against #3 Red Jory, arena 3, light 1, results 0/4, trophies 2, "
                             "gold 135\n"),
              std::string::npos)
        << first.Out;
    EXPECT_NE(first.Out.find(" visit: #5 Greywater Wardens in #1 Greywater: "), std::string::npos);
    // Red Jory beaten by the hero: the victory event ends the scenario, which has no next one.
    EXPECT_NE(first.Out.find("\n02.01.1000 09:45 event 2 uid 402 stage 0: gold +250, units 17+, items none\n"
                             "02.01.1000 09:45 scenario ends in victory\ndigest "),
              std::string::npos)
        << first.Out;
    EXPECT_EQ(DigestOf(first.Out), "digest d7b74ac9\n");
    // The log only prints.
    EXPECT_EQ(DigestOf(RunDmtool(user, "world --scenario Sample --hero 1 --days 7 --approach 3 --seed 3").Out),
              DigestOf(first.Out));
    EXPECT_EQ(DigestOf(RunDmtool(user, "world --scenario Sample --hero 1 --days 7 --approach 3 --seed 4").Out),
              "digest 6fcd1d44\n");

    const TRun log = RunDmtool(user, "telemetry " + user.Path() + "Duskmarch/Duskmarch_beta.dat");
    ASSERT_EQ(log.Code, 0) << log.Err;
    EXPECT_NE(log.Out.find(" kind 25\n  stamp, minutes, arena "), std::string::npos) << log.Out;
    EXPECT_NE(log.Out.find(" kind 32\n"), std::string::npos);
}

std::string SaveDigest(const TTempFolder& user, const std::string& file);

// The victory in the first scenario of the campaign pair leads into the
// second: the days between, the companion as the second scenario's type of
// the same tag, the follower the victory brought, the recruits, the gold and
// the variable of the same name; the run goes on there.
TEST(Dmtool, AVictoryLeadsIntoTheNextScenarioOfTheCampaign)
{
    TTempFolder user;
    const std::string run = "world --scenario SampleCampaign --hero 1 --days 7 --approach 3 --log --seed 3";
    const TRun first = RunDmtool(user, run);
    ASSERT_EQ(first.Code, 0) << first.Err;
    EXPECT_EQ(first.Out, RunDmtool(user, run).Out);
    EXPECT_NE(first.Out.find("02.01.1000 09:45 event 2 uid 402 stage 0: gold +250, units 17+, items none\n"
                             "next scenario: Ravenscar Road\n"
                             "date: 05.01.1000 08:00\n"
                             "carried: gold 1085, items 3, personages 1/5/0 -1/3/0 17/3/0 7/0/0 7/0/0 7/0/0 8/0/0 "
                             "8/0/0\n"
                             "variables: Bandits_Beaten=1 keep_taken=0\n"
                             "02.01.1000 08:05 event 1 uid 411 stage 0: gold 0, units none, items none\n"),
              std::string::npos)
        << first.Out;
    EXPECT_NE(first.Out.find("\n08.01.1000 09:00 gold 1085, active 1,"), std::string::npos) << first.Out;
    EXPECT_EQ(DigestOf(first.Out), "digest 35ccfdc4\n");
    // The second scenario's start save was written.
    EXPECT_EQ(SaveDigest(user, user.Path() + "Duskmarch/Saves/samplecampaign2.startscenario").size(), 16u);
}

// What a watcher of a year of the sample sees in one seed's log and dump.
struct TYearSeen {
    int Battles = 0; // between computer armies
    int Captures = 0;
    int Recaptures = 0; // a building taken from the army that took it before
    int Defeats = 0;    // computer armies beaten off the map
    int Returns = 0;    // and back on it
    int Travellers = 0; // armies that walked more than 100 cells
};

TYearSeen ReadYear(const std::string& out)
{
    TYearSeen seen;
    std::map<std::string, std::string> takenBy;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const std::string text = line.size() > 17 && line[2] == '.' ? line.substr(17) : line;
        if (text.rfind("battle: ", 0) == 0 && text.find("#0 ") == std::string::npos)
            ++seen.Battles;
        if (text.rfind("defeat: ", 0) == 0 && text.find("#0 ") != 8)
            ++seen.Defeats;
        if (text.rfind("returns: ", 0) == 0)
            ++seen.Returns;
        if (text.rfind("capture: ", 0) == 0) {
            const size_t by = text.find(" by ");
            const std::string building = text.substr(9, by - 9), army = text.substr(by + 4);
            ++seen.Captures;
            const auto before = takenBy.find(building);
            if (before != takenBy.end() && before->second != army)
                ++seen.Recaptures;
            takenBy[building] = army;
        }
        const size_t travelled = text.find(", travelled ");
        if (text.rfind("army #", 0) == 0 && travelled != std::string::npos &&
            std::strtol(text.c_str() + travelled + 12, nullptr, 10) > 100)
            ++seen.Travellers;
    }
    return seen;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers watch a month of the same world: a year under them takes minutes.
constexpr int SampleYearDays = 30;
#else
constexpr int SampleYearDays = 365;
#endif

// A year of the sample with nobody giving orders: raiders take villages and
// the wardens take them back, merchants walk between the towns, armies are
// beaten and return, and the same seed plays the same year. The seeds run
// side by side, each its own process.
TEST(Dmtool, TheSampleWorldLivesThroughAYear)
{
    const int seeds[] = {1, 2, 3, 4, 5, 1};
    std::vector<std::unique_ptr<TTempFolder>> users;
    std::vector<std::future<TRun>> runs;
    for (const int seed : seeds) {
        users.push_back(std::make_unique<TTempFolder>());
        const TTempFolder& user = *users.back();
        runs.push_back(std::async(std::launch::async, [&user, seed] {
            return RunDmtool(user, "world --scenario Sample --hero 1 --log --dump --days " +
                                       std::to_string(SampleYearDays) + " --seed " + std::to_string(seed));
        }));
    }
    std::vector<TRun> done;
    for (auto& run : runs)
        done.push_back(run.get());
    for (size_t i = 0; i + 1 < done.size(); ++i) {
        const TRun& run = done[i];
        ASSERT_EQ(run.Code, 0) << run.Err;
        size_t days = 0;
        for (size_t at = run.Out.find(" 09:00 gold "); at != std::string::npos;
             at = run.Out.find(" 09:00 gold ", at + 1))
            ++days;
        EXPECT_EQ(days, static_cast<size_t>(SampleYearDays)) << "every day, seed " << seeds[i];
        const TYearSeen seen = ReadYear(run.Out);
        EXPECT_GE(seen.Battles, 5) << "seed " << seeds[i];
        EXPECT_GE(seen.Captures, 2) << "seed " << seeds[i];
        EXPECT_GE(seen.Recaptures, 2) << "seed " << seeds[i];
        EXPECT_GE(seen.Travellers, 3) << "seed " << seeds[i];
        EXPECT_GE(seen.Defeats, 1) << "seed " << seeds[i];
        EXPECT_GE(seen.Returns, 1) << "seed " << seeds[i];
    }
    EXPECT_EQ(done.back().Out, done.front().Out);
}

// The hero's army, sent against the barrow's dead, is beaten: the defeat
// has its own line, log or not, and ends the run unless asked to go on.
TEST(Dmtool, TheHerosDefeatEndsTheRunUnlessAskedToGoOn)
{
    TTempFolder user;
    const std::string run = "world --scenario Sample --hero 1 --days 12 --approach 2 --seed 1";
    const std::string defeat = "08.01.1000 21:55 defeat: #0 Hero army beaten by #2 The Barrow Host\n";
    const TRun ended = RunDmtool(user, run);
    ASSERT_EQ(ended.Code, 0) << ended.Err;
    EXPECT_NE(ended.Out.find("\n07.01.1000 09:00 gold "), std::string::npos) << ended.Out;
    EXPECT_NE(ended.Out.find("\n" + defeat + "08.01.1000 21:55 scenario ends in defeat\ndigest "), std::string::npos)
        << ended.Out;

    const TRun goesOn = RunDmtool(user, run + " --past-defeat --log");
    ASSERT_EQ(goesOn.Code, 0) << goesOn.Err;
    const size_t at = goesOn.Out.find("\n" + defeat);
    ASSERT_NE(at, std::string::npos) << goesOn.Out;
    EXPECT_EQ(goesOn.Out.find(" defeat: #0 ", at + defeat.size()), std::string::npos) << goesOn.Out;
    EXPECT_EQ(goesOn.Out.find("ends in defeat"), std::string::npos);
    EXPECT_NE(goesOn.Out.find("\n13.01.1000 09:00 gold ", at), std::string::npos) << goesOn.Out;
}

// A hero kind the scenario does not offer would play with an empty army:
// refused, with the kinds it does offer (kind 3 is offered without a hero,
// which the loader takes back).
TEST(Dmtool, WorldRefusesHeroKindsTheScenarioDoesNotOffer)
{
    TTempFolder user;
    for (const int kind : {0, 3, 7, 255}) {
        const TRun run = RunDmtool(user, "world --scenario Sample --seed 1 --days 1 --hero " + std::to_string(kind));
        EXPECT_EQ(run.Code, 1) << kind;
        EXPECT_EQ(run.Out, "") << kind;
        EXPECT_EQ(run.Err, "dmtool: --hero " + std::to_string(kind) + " is not offered by Sample; it offers 1, 2, 6\n");
    }
    EXPECT_EQ(RunDmtool(user, "world --scenario Sample --seed 1 --days 0 --hero 6").Code, 0);
}

// An order to approach an army no way leads to (the wight on its mound in
// the mire) is said once, log or not.
TEST(Dmtool, AnApproachWithoutARouteIsSaidOnce)
{
    TTempFolder user;
    for (const char* log : {"", " --log"}) {
        const TRun run =
            RunDmtool(user, std::string("world --scenario Sample --hero 1 --seed 1 --days 1 --approach 8") + log);
        ASSERT_EQ(run.Code, 0) << run.Err;
        const size_t at = run.Out.find("\napproach: no route to #8 The Mire Wight\n");
        EXPECT_NE(at, std::string::npos) << run.Out;
        EXPECT_EQ(run.Out.find("approach: ", at + 2), std::string::npos) << run.Out;
    }
    const TRun reachable = RunDmtool(user, "world --scenario Sample --hero 1 --seed 1 --days 0 --approach 3");
    EXPECT_EQ(reachable.Out.find("approach: "), std::string::npos) << reachable.Out;
}

TEST(Dmtool, FailuresEndWithOneLine)
{
    TTempFolder user;
    const struct {
        const char* Arguments;
        int Code;
    } rows[] = {
        {"", 2},
        {"fly", 2},
        {"make-scenario --size 15 --out x.Tdm", 1},
        {"make-scenario --size 1026 --out x.Tdm", 1},
        {"make-scenario --size", 2},
        {"make-scenario --out", 2},
        {"scenario", 2},
        {"scenario missing.Tdm", 1},
        {"scenario a b", 2},
        {"scenario a --bogus", 2},
        {"world --hero 1 --seed 1 --days 1", 1},
        {"world --scenario Nowhere --hero 1 --seed 1 --days 1", 1},
        {"world --scenario Sample --hero 1 --seed -1 --days 1", 1},
        {"world --scenario Sample --hero x --seed 1 --days 1", 1},
        {"world --scenario Sample --hero 1 --seed 1", 1},
        {"world --scenario Sample --hero 1 --seed 1 --days 1 extra", 2},
        {"world --load missing.sav --days 0", 1},
        {"world --load missing.sav --scenario Sample --days 0", 1},
        {"world --load missing.sav", 1},
        {"world --scenario Sample --hero 1 --seed 1 --days 1 --approach 99", 1},
        {"world --scenario Sample --hero 1 --seed 1 --days 1 --approach 0", 1},
        {"world --scenario Sample --hero 1 --seed 1 --days 1 --planning-threads 0", 1},
        {"world --scenario Sample --hero 1 --seed 1 --days 1 --planning-threads 65", 1},
        {"world --scenario Sample --hero 1 --seed 1 --days 1 --planning-threads", 2},
        {"save missing.sav", 1},
        {"telemetry missing.dat", 1},
        {"save", 2},
    };
    for (const auto& row : rows) {
        const TRun run = RunDmtool(user, row.Arguments);
        EXPECT_EQ(run.Code, row.Code) << row.Arguments;
        EXPECT_EQ(run.Out, "") << row.Arguments;
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << row.Arguments << ": " << run.Err;
    }
}

TEST(Dmtool, SaveAndTelemetryDumps)
{
    TTempFolder user;
    ResetGameState(); // no scenario: another test may have loaded one
    SizeWorldTables(2, 1);
    GameArmies[0].Gold = 321;
    GameArmies[0].PersonageCount = 1;
    ArmyUnits[0][1].UnitType = 4;
    AddArmyItem(0, 9);
    GameClock = 600000;
    BetaLogReset();
    const std::string log = user.ProgramPath() + "beta.dat";
    BetaLogOpen(log, 4096);
    BetaLogWriteSettings(2, 70, 60);
    BetaLogWriteSave(u"Day 1 (quicksave)", 1);
    const std::string save = user.ProgramPath() + "a.sav";
    ASSERT_TRUE(WriteSavedGame(u"Day 1", save, u"Ada", nullptr, nullptr, 1.5f));
    WaitForSaveWriter();
    ASSERT_TRUE(BetaLogSave());

    TRun run = RunDmtool(user, "save " + OS_ResolvePath(save));
    ASSERT_EQ(run.Code, 0) << run.Err;
    TDatFile file;
    ASSERT_TRUE(file.Open(save));
    char digest[16];
    std::snprintf(digest, sizeof digest, "%08x", SavedWorldDigest(file));
    for (const std::string& line : std::vector<std::string>{
             "hero-name \"Ada\" (3)", "section GameHead size 616 count 1", "section GameArmy size 320 count 3",
             "section GameArmyUnits size 1712 count 45", "section GameArmyItems size 4 count 1",
             "section StatData size 137 count 1", std::string("digest ") + digest})
        EXPECT_NE(run.Out.find(line + "\n"), std::string::npos) << line << "\n" << run.Out;

    // A save cut anywhere is damaged, as the loader finds it: no digest of
    // what could be read.
    const std::string whole = user.ReadFile("a.sav");
    for (const size_t kept : {size_t{20}, whole.size() / 4, whole.size() / 2, whole.size() - 1}) {
        user.WriteFile("cut.sav", whole.substr(0, kept));
        const TRun cut = RunDmtool(user, "save " + user.Path() + "cut.sav");
        EXPECT_EQ(cut.Code, 1) << kept;
        EXPECT_EQ(cut.Out, "") << kept;
        EXPECT_NE(cut.Err.find("damaged saved game: "), std::string::npos) << kept << ": " << cut.Err;
    }

    run = RunDmtool(user, "telemetry " + OS_ResolvePath(log));
    ASSERT_EQ(run.Code, 0) << run.Err;
    for (const std::string& line : std::vector<std::string>{
             "0 size 17 kind 49", "  difficulty 2 '2' music 70 '3' effects 60", "17 size 10 kind 20",
             "  flag 1 save kind 0 minutes 60 scenario \"\"", "27 size 110 kind 2", "  personages 1",
             [] {
                 std::string line = "    personage size 91 kind 1: 4";
                 for (int i = 0; i < 21; ++i)
                     line += " 0";
                 return line;
             }(),
             "  items 1: 9", "  gold 321"})
        EXPECT_NE(run.Out.find(line + "\n"), std::string::npos) << line << "\n" << run.Out;
    EXPECT_NE(RunDmtool(user, "save " + OS_ResolvePath(log)).Code, 0);
    EXPECT_NE(RunDmtool(user, "telemetry " + user.Path() + "missing").Code, 0);
    BetaLogReset();
    ResetGameState();
}

// The --dump lines of a run (from the first army line on). What may differ
// after a load is masked: state the save doesn't hold (the random
// generator's RandomSeed, in the digest; LastPlayerStepClock, which a load
// sets to 0) and what the world set-up of a loaded game redoes by its own
// rule: each computer army's strength (recounted with its formation) and
// route (planned again, which scores its goals anew), so the army records
// and the relation cells, to armies and to buildings, that hold them. The
// cells an army travelled count within one run only.
std::vector<std::string> DumpLines(const std::string& out)
{
    std::vector<std::string> lines;
    std::istringstream in(out.substr(std::min(out.size(), out.find("\narmy ") + 1)));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("table GameArmies ", 0) == 0 || line.rfind("table ArmyMoves ", 0) == 0 ||
            line.rfind("table ArmyTargets ", 0) == 0 || line.rfind("digest ", 0) == 0)
            continue;
        for (const std::string field : {", strength ", ", waypoints ", ", travelled "}) {
            const size_t at = line.find(field);
            if (at == std::string::npos || (line.rfind("army #0 ", 0) == 0 && field != ", travelled "))
                continue;
            const size_t from = at + field.size();
            const size_t to = std::min(line.find(',', from), line.size());
            line.replace(from, to - from, "*");
        }
        lines.push_back(line);
    }
    return lines;
}

std::string SaveDigest(const TTempFolder& user, const std::string& file)
{
    const TRun run = RunDmtool(user, "save " + file);
    return run.Code == 0 ? DigestOf(run.Out) : run.Err;
}

TEST(Dmtool, AWorldSavedAndLoadedGoesOnFromTheSameState)
{
    TTempFolder user;
    const std::string a = user.Path() + "a.sav", b = user.Path() + "b.sav", c = user.Path() + "c.sav";
    const TRun first = RunDmtool(user, "world --scenario Sample --hero 1 --seed 7 --days 3 --save " + a + " --dump");
    ASSERT_EQ(first.Code, 0) << first.Err;
    const TRun loaded = RunDmtool(user, "world --load " + a + " --days 0 --dump --save " + b);
    ASSERT_EQ(loaded.Code, 0) << loaded.Err;
    EXPECT_NE(first.Out.find("\nclock "), std::string::npos) << first.Out;
    EXPECT_NE(first.Out.find("\ntable ArmyUnits "), std::string::npos) << first.Out;
    EXPECT_EQ(DumpLines(loaded.Out), DumpLines(first.Out));
    EXPECT_NE(loaded.Out.find("seed: 7\n"), std::string::npos) << loaded.Out;

    // Once loaded, a save and its load agree byte for byte.
    ASSERT_EQ(RunDmtool(user, "world --load " + b + " --days 0 --save " + c).Code, 0);
    EXPECT_EQ(SaveDigest(user, c), SaveDigest(user, b));
    EXPECT_EQ(SaveDigest(user, b).size(), 16u);

    // The new game wrote its start save, and the log, kept across the runs,
    // holds each run's scenario load.
    const std::string start = user.Path() + "Duskmarch/Saves/sample.startscenario";
    EXPECT_EQ(SaveDigest(user, start).size(), 16u);
    const TRun log = RunDmtool(user, "telemetry " + user.Path() + "Duskmarch/Duskmarch_beta.dat");
    ASSERT_EQ(log.Code, 0) << log.Err;
    size_t scenarios = 0;
    for (size_t at = log.Out.find(" kind 18\n"); at != std::string::npos; at = log.Out.find(" kind 18\n", at + 1))
        ++scenarios;
    EXPECT_EQ(scenarios, 3u);
}

std::string BattleFile(const std::string& mix)
{
    return std::string(DUSKMARCH_FIXTURES) + "/battle/" + mix + ".ini";
}

// One seed's line of dmtool battle, read back.
struct TBattleLine {
    int Seed = -1;
    int Rounds = -1;
    int Result[2] = {-1, -1};
    int Standing[2] = {-1, -1};
    int Experience[2] = {-1, -1};
    std::string Report;
};

std::vector<TBattleLine> BattleLines(const std::string& out)
{
    std::vector<TBattleLine> lines;
    std::istringstream in(out);
    std::string text;
    while (std::getline(in, text)) {
        if (text.rfind("seed ", 0) != 0)
            continue;
        TBattleLine l;
        int listed = 0, start = 0, end = 0;
        std::sscanf(text.c_str(), "seed %d rounds %d %d %d/%d %d %d %d", &l.Seed, &l.Rounds, &l.Result[0],
                    &l.Standing[0], &listed, &start, &end, &l.Experience[0]);
        // The second side follows the first side's figures.
        size_t at = 0;
        for (int field = 0; field < 9 && at != std::string::npos; ++field)
            at = text.find(' ', at + 1);
        if (at != std::string::npos)
            std::sscanf(text.c_str() + at, " %d %d/%d %d %d %d", &l.Result[1], &l.Standing[1], &listed, &start, &end,
                        &l.Experience[1]);
        const size_t report = text.find("report \"");
        if (report != std::string::npos)
            l.Report = text.substr(report + 8, text.find('"', report + 8) - report - 8);
        lines.push_back(l);
    }
    return lines;
}

TEST(DmtoolBattle, EveryMixPlaysToTheSameEndEveryTime)
{
    TTempFolder user;
    // The pinned digests of seeds 1-2: they change only when a battle rule
    // changes, and are then set anew on purpose.
    const struct {
        const char* Mix;
        const char* Digest;
    } mixes[] = {
        {"melee", "digest 5A63EEDF\n"},   {"shooters", "digest EA0AFED2\n"}, {"casters", "digest FD5964F6\n"},
        {"assault", "digest 5C68281D\n"}, {"lopsided", "digest F759E388\n"}, {"stalemate", "digest 72B92318\n"},
    };
    for (const auto& mix : mixes) {
        const std::string run = "battle --file " + BattleFile(mix.Mix) + " --seeds ";
        const TRun first = RunDmtool(user, run + "1-2");
        ASSERT_EQ(first.Code, 0) << mix.Mix << ": " << first.Err;
        EXPECT_EQ(DigestOf(first.Out), mix.Digest) << mix.Mix << "\n" << first.Out;
        const std::vector<TBattleLine> lines = BattleLines(first.Out);
        ASSERT_EQ(lines.size(), 2u) << mix.Mix;
        for (const TBattleLine& l : lines)
            EXPECT_EQ(l.Report, "") << mix.Mix << " seed " << l.Seed;
        // A seed's line is the same alone as within a range (one mix shows
        // it: each run loads the installation anew).
        if (std::strcmp(mix.Mix, "casters") != 0)
            continue;
        const TRun alone = RunDmtool(user, run + "2");
        const size_t second = first.Out.find("seed 2 ");
        ASSERT_NE(second, std::string::npos);
        EXPECT_EQ(alone.Out.substr(0, alone.Out.find('\n')),
                  first.Out.substr(second, first.Out.find('\n', second) - second))
            << mix.Mix;
    }
}

TEST(DmtoolBattle, LopsidedAndStalemateBattles)
{
    TTempFolder user;
    const TRun lopsided = RunDmtool(user, "battle --file " + BattleFile("lopsided") + " --seeds 1-3");
    ASSERT_EQ(lopsided.Code, 0) << lopsided.Err;
    for (const TBattleLine& l : BattleLines(lopsided.Out)) {
        EXPECT_EQ(l.Result[0], 0) << lopsided.Out;
        EXPECT_TRUE(l.Result[1] >= 2 && l.Result[1] <= 4) << lopsided.Out;
        EXPECT_GT(l.Experience[0], 0) << lopsided.Out;
    }
    const TRun stalemate = RunDmtool(user, "battle --file " + BattleFile("stalemate") + " --seeds 1-3");
    ASSERT_EQ(stalemate.Code, 0) << stalemate.Err;
    for (const TBattleLine& l : BattleLines(stalemate.Out)) {
        EXPECT_EQ(l.Rounds, 25) << stalemate.Out;
        EXPECT_EQ(l.Result[0], 1);
        EXPECT_EQ(l.Result[1], 1);
    }
}

TEST(DmtoolBattle, ThePlayersBattleWritesItsSnapshot)
{
    TTempFolder user;
    const std::string run = "battle --file " + BattleFile("melee") + " --seeds 1 --mode player1";
    const TRun first = RunDmtool(user, run);
    ASSERT_EQ(first.Code, 0) << first.Err;
    EXPECT_NE(first.Out.find(" est "), std::string::npos) << first.Out;
    EXPECT_EQ(first.Out, RunDmtool(user, run).Out);
    const std::filesystem::path saves = std::filesystem::path(user.Path()) / "Duskmarch" / "Saves";
    const std::filesystem::path snapshot = saves / "Blue company.Bgd";
    ASSERT_TRUE(std::filesystem::exists(snapshot)) << snapshot;
    EXPECT_EQ(std::filesystem::file_size(snapshot), 52720u);
    // A garrison's snapshot takes its building's name, the side's.
    const TRun assault = RunDmtool(user, "battle --file " + BattleFile("assault") + " --seeds 1 --mode player1");
    ASSERT_EQ(assault.Code, 0) << assault.Err;
    EXPECT_TRUE(std::filesystem::exists(saves / "Post garrison.Bgd"));
    EXPECT_FALSE(std::filesystem::exists(saves / "Battle.Bgd"));

    const struct {
        std::string Arguments;
        int Code;
    } rows[] = {
        {"battle --seeds 1-2", 1},
        {"battle --file nowhere.ini --seeds 1-2", 1},
        {"battle --file x.ini", 1},
        {"battle --file x.ini --seeds 2-1", 1},
        {"battle --file x.ini --seeds a-b", 1},
        {"battle --file x.ini --seeds 1-2 --mode loud", 1},
        {"battle --file " + BattleFile("bad-item") + " --seeds 1", 1},
    };
    for (const auto& row : rows) {
        const TRun bad = RunDmtool(user, row.Arguments);
        EXPECT_EQ(bad.Code, row.Code) << row.Arguments;
        EXPECT_EQ(std::count(bad.Err.begin(), bad.Err.end(), '\n'), 1) << row.Arguments << ": " << bad.Err;
    }
}

// A value that doesn't fit the field it goes into, a unit number past an
// army's slots or a key the file doesn't know refuses the whole file with
// the key, the value and the range: no battle is run.
TEST(DmtoolBattle, ValuesOutsideTheirFieldsRefuseTheFile)
{
    TTempFolder user;
    const struct {
        const char* Section;
        const char* Line;
        const char* Message;
    } rows[] = {
        {"Battle", "Arena=16", "Battle Arena=16: outside 1..15"},
        {"Battle", "Arena=0", "Battle Arena=0: outside 1..15"},
        {"Battle", "Light=13", "Battle Light=13: outside 1..12"},
        {"Battle", "Difficulty=7", "Battle Difficulty=7: outside 1..4"},
        {"Battle", "Difficulty=-1", "Battle Difficulty=-1: outside 1..4"},
        {"Battle", "Difficulty=two", "Battle Difficulty=two: not a whole number"},
        {"Battle", "Personalization=4", "Battle Personalization=4: outside 0..3"},
        {"Battle", "Seed=3", "Battle Seed=3: not a key of the battle file"},
        {"Assault", "DefenceFire=70000", "Assault DefenceFire=70000: outside 0..65535"},
        {"Assault", "AssaultB=-1", "Assault AssaultB=-1: outside 0..65535"},
        {"Assault", "AssaultC=300", "Assault AssaultC=300: outside 0..255"},
        {"Side1", "ExpPercent=256", "Side1 ExpPercent=256: outside 0..255"},
        {"Side1", "Garrison=1", "Side1 Garrison=1: outside 0..0"},
        {"Side2", "Garrison=2", "Side2 Garrison=2: outside 0..1"},
        {"Side2", "AssaultA=40000", "Side2 AssaultA=40000: outside -32768..32767"},
        {"Side2", "AssaultC=256", "Side2 AssaultC=256: outside 0..255"},
        {"Side1", "Unit0=levy, 0, auto", "Side1 Unit0=levy, 0, auto: unit number 0 outside 1..15"},
        {"Side1", "Unit16=levy, 0, auto", "Side1 Unit16=levy, 0, auto: unit number 16 outside 1..15"},
        {"Side2", "Unit40=levy, 0, auto", "Side2 Unit40=levy, 0, auto: unit number 40 outside 1..15"},
        {"Side1", "Unit2=levy, -5, auto", "Side1 Unit2 item 2=-5: outside 0..50"},
        {"Side1", "Unit2=levy, 51, auto", "Side1 Unit2 item 2=51: outside 0..50"},
        {"Side1", "Unit2=levy, 0, 4, 1", "Side1 Unit2 item 3=4: outside 1..3"},
        {"Side1", "Unit2=levy, 0, 1, 7", "Side1 Unit2 item 4=7: outside 1..6"},
        {"Side1", "Unit2=levy, 0, 1", "a formation row without its column"},
        {"Side1", "Unit2=dragon, 0, auto", "no unit type dragon"},
        {"Side1", "Stats1=999999", "Side1 Stats1 item 1=999999: outside 0..32767"},
        {"Side1", "Stats1=99999999999999999999", "Side1 Stats1 item 1=99999999999999999999: outside 0..32767"},
        {"Side1", "Stats1=50, 10, 0, 0, 0, 0, 10, 10, 1", "Stats1=50, 10, 0, 0, 0, 0, 10, 10, 1: 9 values, at most 8"},
        {"Side1", "Talents1=204", "Side1 Talents1 item 1=204: outside 0..203"},
        {"Side1", "Items3=1", "Side1 Items3=1: no Unit3"},
        {"Side1", "Potions1=27,27,27,27,27,27,27,27,27,27,27,27,27,27,27,27,27", "17 values, at most 16"},
        {"Side2", "Unti1=levy, 0, auto", "Side2 Unti1=levy, 0, auto: not a key of the battle file"},
    };
    for (const auto& row : rows) {
        std::string text = "[Battle]\nArena=1\n\n[Side1]\nUnit1=levy, 0, auto\n\n[Side2]\nUnit1=levy, 0, auto\n";
        if (std::strcmp(row.Section, "Assault") == 0)
            text += "\n[Assault]\n";
        const size_t header = text.find(std::string("[") + row.Section + "]\n");
        ASSERT_NE(header, std::string::npos) << row.Line;
        text.insert(header + std::strlen(row.Section) + 3, std::string(row.Line) + "\n");
        user.WriteFile("bad.ini", text);
        // The player's battle would leave its snapshot: nothing is there.
        const TRun bad = RunDmtool(user, "battle --file " + user.Path() + "bad.ini --seeds 1-2 --mode player1");
        EXPECT_EQ(bad.Code, 1) << row.Line;
        EXPECT_EQ(bad.Out, "") << row.Line;
        EXPECT_NE(bad.Err.find(row.Message), std::string::npos) << row.Line << ": " << bad.Err;
        EXPECT_EQ(std::count(bad.Err.begin(), bad.Err.end(), '\n'), 1) << row.Line << ": " << bad.Err;
        EXPECT_FALSE(std::filesystem::exists(user.Path() + "Duskmarch/Saves")) << row.Line;
    }
}

// Each seed draws the personal variations of the personages who aren't
// heroes when the file asks for them; without them every seed fights the
// same battle.
TEST(DmtoolBattle, SeedsVaryThePersonalVariations)
{
    TTempFolder user;
    const TRun personal = RunDmtool(user, "battle --file " + BattleFile("personal") + " --seeds 1-4");
    ASSERT_EQ(personal.Code, 0) << personal.Err;
    EXPECT_EQ(DigestOf(personal.Out), "digest 5787BE8A\n") << personal.Out;
    // The different battles of a run: its lines without their seeds.
    const auto fights = [](const std::string& out) {
        std::set<std::string> different;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind("seed ", 0) == 0)
                different.insert(line.substr(line.find(" rounds ")));
        return different.size();
    };
    EXPECT_EQ(fights(personal.Out), 4u) << personal.Out;
    const TRun alone = RunDmtool(user, "battle --file " + BattleFile("personal") + " --seeds 3");
    const size_t third = personal.Out.find("seed 3 ");
    ASSERT_NE(third, std::string::npos);
    EXPECT_EQ(alone.Out.substr(0, alone.Out.find('\n')),
              personal.Out.substr(third, personal.Out.find('\n', third) - third));

    const TRun plain = RunDmtool(user, "battle --file " + BattleFile("melee") + " --seeds 1-3");
    ASSERT_EQ(plain.Code, 0) << plain.Err;
    EXPECT_EQ(fights(plain.Out), 1u) << plain.Out;
}

} // namespace

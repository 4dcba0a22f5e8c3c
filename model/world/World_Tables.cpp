#include "model/world/World_Tables.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Encounters.h"
#include "model/ai/AIMain_Walking.h"
#include "model/story/Campaign.h"
#include "model/story/StoryEvents.h"
#include "model/world/World_Frame.h"

int32_t FirstArmy = 0;
int32_t ArmyCount = 0;
int32_t BuildingCount = 0;
int32_t GarrisonCount = 0;

std::vector<TGameArmy> GameArmies;
std::vector<TArmyUnits> ArmyUnits;
std::vector<TIntArray> ArmyItems;
std::vector<TPF_Tracker> ArmyTrackers;
std::vector<std::vector<TGameArmyMove>> ArmyMoves;
std::vector<std::vector<TGameArmyTarget>> ArmyTargets;
std::vector<TIntArray> Diplomacy;

std::vector<TGameBuilding> GameBuildings;
std::vector<TGameEvent> GameEvents;
std::vector<TIntArray> FollowUpEvents;
std::vector<TGameEvent> SavedEvents;
int32_t SavedEventCount = 0;
int32_t LoadedSaveVersion = 0;
int32_t ChosenCoat = 0;
uint8_t CampaignContinued = 0;
std::vector<TPointState> PointStates;
int32_t PointCount = 0;
TIntArray ScenarioVariables;

int64_t GameClock = 0;
int32_t GameStartDate = 0;
int32_t GameSeed = 0;
int32_t GameMinute = 0;
int32_t GameHour = 0;
uint8_t DayPeriod = 0;
int64_t NextDayMark = 0;
int64_t NextHourMark = 0;
int64_t LastClockStep = 0;
int64_t LastPlayerStepClock = 0;
int32_t HeroKind = 0;
int32_t GameDifficulty = 2;
int32_t MetPlayerArmy = 0;
TForcedEvent ForcedEvent;
int32_t DayBattleCount = 0;
int32_t PlayerTargetArmy = 0;
TCellXZ PlayerTargetCell = {0, 0};
int32_t PlayableLimit = 0;
int32_t HourlyGoldSamples[24] = {};

// Element 0 of each list is its count, so even an empty list has it.
std::array<TIntArray, HomeBuildingListCount> HomeBuildingLists = {
    TIntArray{0}, TIntArray{0}, TIntArray{0}, TIntArray{0}, TIntArray{0}, TIntArray{0}, TIntArray{0}, TIntArray{0},
    TIntArray{0}, TIntArray{0}, TIntArray{0}, TIntArray{0}, TIntArray{0}, TIntArray{0}, TIntArray{0}};
std::vector<TIntArray> BuildingNeighbours;
TIntArray ShopUniqueCount;
std::vector<TMapNotice> MapNotices;
std::vector<TMapEffect> MapEffects;
TAssaultParams AssaultParams = NoAssaultParams;

uint8_t PersonalizationEnabled = 0;
int32_t PersonalizationLevel = 0;

int32_t GetGarrisonArmyIndex(int32_t building)
{
    return std::abs(building) + ArmyCount;
}

bool IsWorldArmy(int32_t army)
{
    return army >= 0 && static_cast<size_t>(army) < GameArmies.size() && static_cast<size_t>(army) < ArmyUnits.size();
}

void AddArmyItem(int32_t army, int32_t item)
{
    if (army < 0 || static_cast<size_t>(army) >= GameArmies.size())
        return;
    if (ArmyItems.size() <= static_cast<size_t>(army))
        ArmyItems.resize(static_cast<size_t>(army) + 1);
    TGameArmy& record = GameArmies[static_cast<size_t>(army)];
    if (record.ItemCount < 0)
        record.ItemCount = 0;
    record.ItemCount += 1;
    TIntArray& items = ArmyItems[static_cast<size_t>(army)];
    if (items.size() <= static_cast<size_t>(record.ItemCount))
        items.resize(static_cast<size_t>(record.ItemCount) + 1, 0);
    items[static_cast<size_t>(record.ItemCount)] = item;
}

void ClearWorldTables()
{
    FirstArmy = 0;
    ArmyCount = 0;
    BuildingCount = 0;
    GarrisonCount = 0;
    // Swapping with empty vectors gives the memory back, not only the entries.
    std::vector<TGameArmy>().swap(GameArmies);
    std::vector<TArmyUnits>().swap(ArmyUnits);
    std::vector<TIntArray>().swap(ArmyItems);
    for (TPF_Tracker& tracker : ArmyTrackers)
        tracker.Done();
    std::vector<TPF_Tracker>().swap(ArmyTrackers);
    std::vector<std::vector<TGameArmyMove>>().swap(ArmyMoves);
    std::vector<std::vector<TGameArmyTarget>>().swap(ArmyTargets);
    std::vector<TIntArray>().swap(Diplomacy);

    std::vector<TGameBuilding>().swap(GameBuildings);
    std::vector<TGameEvent>().swap(GameEvents);
    std::vector<TIntArray>().swap(FollowUpEvents);
    std::vector<TGameEvent>().swap(SavedEvents);
    SavedEventCount = 0;
    LoadedSaveVersion = 0;
    ChosenCoat = 0;
    CampaignContinued = 0;
    std::vector<TPointState>().swap(PointStates);
    PointCount = 0;
    TIntArray().swap(ScenarioVariables);

    GameClock = 0;
    GameStartDate = 0;
    GameSeed = 0;
    GameMinute = 0;
    GameHour = 0;
    DayPeriod = 0;
    NextDayMark = 0;
    NextHourMark = 0;
    LastClockStep = 0;
    LastPlayerStepClock = 0;
    HeroKind = 0;
    GameDifficulty = 2;
    MetPlayerArmy = 0;
    ForcedEvent = TForcedEvent{};
    DayBattleCount = 0;
    PlayerTargetArmy = 0;
    PlayerTargetCell = {0, 0};
    PlayableLimit = 0;
    std::fill(std::begin(HourlyGoldSamples), std::end(HourlyGoldSamples), 0);

    for (TIntArray& list : HomeBuildingLists)
        TIntArray{0}.swap(list);
    std::vector<TIntArray>().swap(BuildingNeighbours);
    TIntArray().swap(ShopUniqueCount);
    std::vector<TMapNotice>().swap(MapNotices);
    std::vector<TMapEffect>().swap(MapEffects);
    AssaultParams = NoAssaultParams;
    PersonalizationEnabled = 0;
    PersonalizationLevel = 0;
}

void ResetWorldTables()
{
    ClearWorldTables();
    // Sized for the player's army alone; every world set-up sizes them again.
    ResetArmyMovement();
    ApproachCheck = 0;
    LastVisit = TVisitReport{};
    TIntArray().swap(MetArmies);
    ClearStoryEventState();
    ResetWorldFrame();
    CampaignHero = TCampaignHero{};
}

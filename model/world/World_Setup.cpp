#include "model/world/World_Setup.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>

#include "engine/QX9_System.h"
#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Buildings.h"
#include "model/ai/AIMain_Movement.h"
#include "model/ai/AIMain_Random.h"
#include "model/ai/AIMain_Strategy.h"
#include "model/ai/AIMain_Targets.h"
#include "model/ai/AIMain_Walking.h"
#include "model/world/Army_Formation.h"
#include "model/world/Army_Operations.h"
#include "model/FixedPoint.h"
#include "model/personage/Personage_Rules.h"
#include "model/world/Prices.h"
#include "model/scenario/ScenarioMap.h"
#include "model/SceneHooks.h"
#include "model/story/StoryEvents.h"
#include "model/world/World_Access.h"
#include "model/world/World_Clock.h"
#include "model/world/World_Economy.h"

namespace {

// Missing data reads as zero: a hero kind the header has no block for
// starts from this one.
const TMapHero NoHeroBlock{};

const TMapHero& HeroBlock()
{
    return HeroKind >= 1 && HeroKind <= 6 ? MapStory.Heroes[HeroKind] : NoHeroBlock;
}

int32_t ScenarioArmyCount()
{
    return std::clamp(MapArmies.Count, 0, MapArmyMax);
}

int32_t ScenarioBuildingCount()
{
    return std::clamp(MapBuildings.Count, 0, MapBuildingMax);
}

int32_t ScenarioPointCount()
{
    return std::clamp(MapPoints.Count, 0, MapPointMax);
}

// The chosen coat, else the hero's start block's banner.
int32_t HeroBanner()
{
    return ChosenCoat > 0 ? ChosenCoat : HeroBlock().Banner;
}

// The header's attitude of group g towards group h, 0 for groups it lacks.
int32_t GroupAttitude(int32_t g, int32_t h)
{
    if (g < 0 || h < 0 || static_cast<size_t>(g) >= Diplomacy.size())
        return 0;
    const TIntArray& row = Diplomacy[static_cast<size_t>(g)];
    return static_cast<size_t>(h) < row.size() ? row[static_cast<size_t>(h)] : 0;
}

void ClearArmy(int32_t a)
{
    GameArmies[static_cast<size_t>(a)] = TGameArmy{};
    std::memset(static_cast<void*>(&ArmyUnits[static_cast<size_t>(a)]), 0, sizeof(TArmyUnits));
    ArmyItems[static_cast<size_t>(a)] = TIntArray{0};
}

// Date requirements schedule their event; the last one wins.
void ScheduleEvents()
{
    GameEvents.assign(static_cast<size_t>(StoryEventCount) + 1, TGameEvent{});
    for (int32_t e = 1; e <= StoryEventCount && static_cast<size_t>(e) < StoryEvents.size(); ++e) {
        TGameEvent& state = GameEvents[static_cast<size_t>(e)];
        const TStoryEvent& event = StoryEvents[static_cast<size_t>(e)];
        state.TimesFired = 0;
        state.Stage = -1;
        state.LastClock = -MinuteFx;
        state.ScheduledClock = InitialEventSchedule(event);
        state.EventUid = event.Uid;
    }
}

// The saved events take the place of the scenario's by uid; a stage the
// event no longer has starts over.
void MergeSavedEvents()
{
    const int32_t saved = std::min<int32_t>(SavedEventCount, static_cast<int32_t>(SavedEvents.size()) - 1);
    for (int32_t i = 1; i <= saved; ++i) {
        const TGameEvent& record = SavedEvents[static_cast<size_t>(i)];
        if (record.EventUid <= 0)
            continue;
        for (int32_t e = 1; e < static_cast<int32_t>(GameEvents.size()); ++e) {
            if (GameEvents[static_cast<size_t>(e)].EventUid != record.EventUid)
                continue;
            TGameEvent& state = GameEvents[static_cast<size_t>(e)];
            state = record;
            if (StoryEvents[static_cast<size_t>(e)].StageCount < static_cast<int64_t>(state.Stage) + 1)
                state.Stage = 0;
            break;
        }
    }
    if (LoadedSaveVersion != 4)
        for (int32_t b = 1; b <= LastWorldBuilding(); ++b)
            if (MapBuildings[b].ServiceC != 0)
                GameBuildings[static_cast<size_t>(b)].HealingOpen = 1;
    std::vector<TGameEvent>().swap(SavedEvents);
    SavedEventCount = 0;
}

// The game's seed, clock, counts, diplomacy and variables of a new game.
void StartNewGame(int32_t seed)
{
    RandomizeSeed();
    GameSeed = seed > 0 ? seed : RandomInt(100000) * 10000;
    // Every later draw of the set-up follows from the game's seed, so a game
    // started again with the seed it drew is the same game.
    SetRandomSeed(static_cast<uint32_t>(GameSeed));
    GameClock = static_cast<int64_t>(MapStory.StartDate % 1440) * MinuteFx;
    GameStartDate = MapStory.StartDate;
    SetScheduleMarks();
    LastClockStep = 0;
    LastPlayerStepClock = 0;
    ArmyCount = ScenarioArmyCount();
    BuildingCount = GarrisonCount = ScenarioBuildingCount();
    const int32_t groups = MapStory.GroupCount;
    Diplomacy.assign(static_cast<size_t>(groups) + 1, TIntArray(static_cast<size_t>(groups) + 1, 0));
    for (int32_t g = 0; g <= groups && static_cast<size_t>(g) < MapStory.GroupRelations.size(); ++g) {
        const TIntArray& row = MapStory.GroupRelations[static_cast<size_t>(g)];
        std::copy_n(row.begin(), std::min(row.size(), static_cast<size_t>(groups) + 1),
                    Diplomacy[static_cast<size_t>(g)].begin());
    }
    ScenarioVariables.assign(static_cast<size_t>(std::max(ScenarioVariableCount, 0)) + 1, 0);
    DayBattleCount = 0;
}

// The clock's minute, hour and time of day follow the clock.
void DeriveClockParts()
{
    GameMinute = ClampToInt32(GameClock / MinuteFx);
    const int64_t hour = GameClock / 60 / MinuteFx % 24;
    GameHour = static_cast<int32_t>(hour < 0 ? hour + 24 : hour);
    DayPeriod = GetDayPeriod(GameHour);
}

// Whether the table has the rows, each of the columns.
template <typename T> bool IsSquare(const std::vector<std::vector<T>>& table, size_t rows, size_t columns)
{
    return table.size() == rows && std::all_of(table.begin(), table.end(),
                                               [columns](const std::vector<T>& row) { return row.size() == columns; });
}

void SizeTables(bool fromSave)
{
    // Counts a damaged save brought stay within what a scenario can hold.
    ArmyCount = std::clamp(ArmyCount, 0, MapArmyMax);
    BuildingCount = std::clamp(BuildingCount, 0, MapBuildingMax);
    GarrisonCount = std::clamp(GarrisonCount, 0, MapBuildingMax);
    const size_t all = static_cast<size_t>(ArmyCount + GarrisonCount + 1);
    const size_t armies = static_cast<size_t>(ArmyCount + 1);
    const size_t buildings = static_cast<size_t>(BuildingCount + 1);
    if (GameArmies.size() != all || ArmyUnits.size() != all || ArmyItems.size() != all) {
        GameArmies.resize(all);
        ArmyUnits.resize(all);
        ArmyItems.resize(all, TIntArray{0});
    }
    if (ArmyTrackers.size() != armies) {
        ArmyTrackers.resize(armies);
        SceneHooks().ResizeMapArmyRenders(ArmyCount + 1);
    }
    ResetArmyMovement();
    // A new game starts without the relations of a game before it on the
    // same map; a loaded game brought its own, unless a row has another size.
    if (!fromSave || !IsSquare(ArmyTargets, armies, buildings))
        ArmyTargets.assign(armies, std::vector<TGameArmyTarget>(buildings));
    if (!fromSave || !IsSquare(ArmyMoves, armies, armies))
        ArmyMoves.assign(armies, std::vector<TGameArmyMove>(armies));
    GameBuildings.resize(buildings);
}

void BuildFollowUps()
{
    FollowUpEvents.assign(static_cast<size_t>(StoryEventCount) + 1, TIntArray{});
    for (int32_t e = 1; e <= StoryEventCount && static_cast<size_t>(e) < StoryEvents.size(); ++e)
        for (const TStoryRequire& r : StoryEvents[static_cast<size_t>(e)].Requires)
            if (r.Kind == 11 && r.ValueA > 0 && r.ValueA <= StoryEventCount)
                FollowUpEvents[static_cast<size_t>(r.ValueA)].push_back(e);
}

void SetUpHeroArmy()
{
    TGameArmy& army = GameArmies[PlayerArmy];
    const TMapHero& block = HeroBlock();
    for (int32_t p = 1; p <= ScenarioPointCount(); ++p) {
        const TMapPoint& point = MapPoints[p];
        if (point.Kind == 1 && (point.HeroKind == 0 || point.HeroKind == HeroKind)) {
            std::memcpy(army.Pos, point.Pos, sizeof army.Pos);
            break;
        }
    }
    army.Heading = 0;
    army.ShownHeading = army.Heading;
    army.RouteFlags[2] = 4;
    army.SeeksTalk = 1;
    army.ScenarioByte172 = 1;
    army.Active = 1;
    army.Gold = block.Gold;
    const int32_t gold = army.Gold;
    std::fill(std::begin(HourlyGoldSamples), std::end(HourlyGoldSamples), gold);
    army.SpeedPercent = 100;
    army.PersonageCount = 0;
    AddSlotPersonages(PlayerArmy, block.Slots, CampaignContinued == 0);
    if (CampaignContinued == 0) {
        army.ItemCount = 0;
        for (int32_t r = 1; r <= 8; ++r)
            if (const int16_t item = block.Items[r]; item != 0)
                AddArmyItem(PlayerArmy, item);
    }
    army.Banner = HeroBanner();
}

void SetUpScenarioArmy(int32_t a)
{
    TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    const TMapArmy& record = MapArmies[a];
    std::memcpy(army.Pos, record.Pos, sizeof army.Pos);
    army.Heading = RoundHalfEven(static_cast<long double>(record.Heading) * MinuteFx);
    army.ShownHeading = army.Heading;
    army.Behavior = record.Behavior;
    army.Group = record.Group;
    army.Banner = record.Banner;
    const TGameArmy& player = GameArmies[PlayerArmy];
    if (army.Group == player.Group && record.LordArmy == PlayerArmy && record.LordKind == 2) {
        if (ChosenCoat > 0)
            army.Banner = ChosenCoat;
        else if (HeroKind > 0)
            army.Banner = HeroBlock().Banner;
    }
    army.Profile = record.Profile;
    army.ZoneCount = record.ZoneCount;
    for (int32_t i = 1; i <= 4; ++i)
        army.Zones[i] = record.Zones[i];
    for (int32_t i = 1; i <= 3; ++i)
        army.RouteFlags[i - 1] = record.RouteFlags[i];
    army.SeeksTalk = record.SeeksTalk;
    army.SeeksBattles = record.SeeksBattles;
    army.ScenarioByte172 = record.ScenarioByte172;
    army.ScenarioByte226 = record.ScenarioByte226;
    army.BypassFlag = record.BypassFlag;
    army.TalkAlways = record.TalkAlways;
    army.WaitAtRouteEnd = record.WaitAtRouteEnd;
    army.Active = record.Active;
    army.Gold = record.Gold;
    army.Boldness = record.Boldness;
    army.ScenarioByte216 = record.ScenarioByte216;
    army.LordKind = record.LordKind;
    army.LordArmy = record.LordArmy;
    army.ScenarioByte220 = record.ScenarioByte220;
    army.ScenarioByte221 = record.ScenarioByte221;
    army.AnchorBuilding = static_cast<int16_t>(record.AnchorBuilding);
    AddScenarioArmyPersonages(a);
    army.ItemCount = 0;
    for (int32_t r = 1; r <= 8; ++r)
        if (const int16_t item = record.Items[r]; item != 0)
            AddArmyItem(a, item);
    army.SpeedPercent = record.SpeedPercent;
    army.RespawnEnabled = record.RespawnEnabled;
    army.RespawnDays = record.RespawnDays;
    army.RespawnFull = record.RespawnFull;
    army.RespawnAtOwn = record.RespawnAtOwn;
    army.RespawnAtGroup = record.RespawnAtGroup;
    army.RespawnAtFriend = record.RespawnAtFriend;
    army.CanRespawn = army.RespawnEnabled != 0 ? 1 : 0;
    if (record.Behavior == static_cast<uint8_t>(TArmyBehavior::Ghosts) ||
        record.Behavior == static_cast<uint8_t>(TArmyBehavior::Undeads))
        army.Hidden = (DayPeriod == 5 || DayPeriod == 6 || DayPeriod == 7) ? 0 : 1;
}

// The set-up every army of a new game shares after its own.
void FinishNewArmy(int32_t a)
{
    TGameArmy& army = GameArmies[static_cast<size_t>(a)];
    army.ReplanCountdown = 0;
    army.PlanMark = 0;
    army.WalkSpeed = RoundHalfEven(static_cast<long double>(GameTimeScale) * 2.5L * army.SpeedPercent / 100);
    const int32_t cell = CellOfPosition(army.Pos[0], army.Pos[2]);
    army.Cell = TCellXZ{static_cast<uint16_t>(CellX(cell)), static_cast<uint16_t>(CellZ(cell))};
    army.LeaderType = ArmyUnits[static_cast<size_t>(a)][1].UnitType;
    army.LastFoe = -1;
    if (a > PlayerArmy)
        AutoEquipArmy(a);
    ArrangeFormation(a, a == PlayerArmy ? 7 : 6); // recounts the army first
    army.RouteDone = 0;
}

void ReloadArmy(int32_t a, uint8_t mode)
{
    TArmyUnits& units = ArmyUnits[static_cast<size_t>(a)];
    for (int32_t s = 1; s <= UsedSlots(GameArmies[static_cast<size_t>(a)]); ++s)
        if (units[s].UnitType != 0)
            ReloadPersonage(units[s], mode);
}

void SetUpArmies(bool fromSave)
{
    for (int32_t a = FirstArmy; a <= ArmyCount; ++a) {
        if (!fromSave) {
            ClearArmy(a);
            if (a == PlayerArmy)
                SetUpHeroArmy();
            else
                SetUpScenarioArmy(a);
            FinishNewArmy(a);
        }
        UpdateStationary(a);
        if (fromSave)
            ReloadArmy(a, 7);
        TPF_Tracker& tracker = ArmyTrackers[static_cast<size_t>(a)];
        tracker.Init(PathMap, PathGridBorder, false);
        const TCellXZ cell = GameArmies[static_cast<size_t>(a)].Cell;
        tracker.ResetPath(PF_PackCell(cell.X, cell.Z));
        InvalidateArmyTargets(a);
    }
}

void CompleteLoadedGame()
{
    UpdateSpeedFactor(PlayerArmy);
    for (int32_t a = 1; a <= ArmyCount; ++a)
        ArrangeFormation(a, 5);
    for (int32_t b = 1; b <= BuildingCount; ++b) {
        const int32_t g = GetGarrisonArmyIndex(b);
        if (FindArmy(g) == nullptr)
            continue;
        ReloadArmy(g, 7);
        AutoEquipArmy(g);
        ArrangeFormation(g, 5);
    }
    TGameArmy& player = GameArmies[PlayerArmy];
    PlayerTargetCell = player.Cell;
    ArmyTrackers[PlayerArmy].ResetPath(PF_PackCell(player.Cell.X, player.Cell.Z));
}

void CompleteNewGame()
{
    for (int32_t b = 1; b <= BuildingCount; ++b)
        InitBuildingState(b);
    for (int32_t a = FirstArmy; a <= ArmyCount; ++a) {
        CalcArmyEconomy(a, -1);
        const int32_t group = GameArmies[static_cast<size_t>(a)].Group;
        std::vector<TGameArmyMove>& row = ArmyMoves[static_cast<size_t>(a)];
        for (int32_t c = FirstArmy; c <= ArmyCount; ++c)
            row[static_cast<size_t>(c)].Attitude =
                static_cast<int16_t>(GroupAttitude(group, GameArmies[static_cast<size_t>(c)].Group));
        UpdateSpeedFactor(a);
    }
    RestockBuildings(true);
    PointCount = ScenarioPointCount();
    PointStates.assign(static_cast<size_t>(PointCount) + 1, TPointState{});
    for (int32_t p = 1; p <= PointCount; ++p) {
        const TMapPoint& point = MapPoints[p];
        if (point.Radius == 0)
            continue;
        PointStates[static_cast<size_t>(p)][0] = point.ClosedAtStart != 0 ? 1 : 0;
        PointStates[static_cast<size_t>(p)][1] = point.StateFlag != 0 ? 1 : 0;
    }
}

constexpr uint16_t Bit(TArmyBehavior behaviour)
{
    return static_cast<uint16_t>(1u << static_cast<unsigned>(behaviour));
}

// The behaviours whose armies may come back to a hiring building of a type.
uint16_t HomeBehaviours(uint8_t type)
{
    using B = TArmyBehavior;
    const uint16_t lords = Bit(B::Hero) | Bit(B::Feudal) | Bit(B::Guard) | Bit(B::Watch);
    const uint16_t dark = Bit(B::Heretic) | Bit(B::Werwolf) | Bit(B::Ghosts) | Bit(B::Undeads);
    const uint16_t trade = Bit(B::Trader) | Bit(B::Traveler) | Bit(B::Courier);
    switch (static_cast<TBuildingType>(type)) {
    case TBuildingType::Town:
    case TBuildingType::Castle:
        return lords;
    case TBuildingType::Fort:
        return lords | Bit(B::Bandits);
    case TBuildingType::Monastery:
        return Bit(B::Hero) | Bit(B::Feudal) | Bit(B::Chruch) | Bit(B::Monk);
    case TBuildingType::Church:
        return Bit(B::Chruch) | Bit(B::Monk);
    case TBuildingType::Chapel:
        return Bit(B::Watch) | Bit(B::Chruch) | Bit(B::Monk) | Bit(B::Courier);
    case TBuildingType::Tavern:
    case TBuildingType::Market:
    case TBuildingType::Port:
        return trade;
    case TBuildingType::Ruin:
        return Bit(B::Bandits) | dark;
    case TBuildingType::Cementry:
    case TBuildingType::Altar:
        return dark;
    case TBuildingType::Village:
    case TBuildingType::Farm:
    case TBuildingType::House:
        return Bit(B::Courier) | Bit(B::Bandits) | Bit(B::Heretic) | Bit(B::Peasant);
    default:
        return 0;
    }
}

bool IsOneOf(uint8_t type, std::initializer_list<TBuildingType> types)
{
    return std::any_of(types.begin(), types.end(), [type](TBuildingType t) { return static_cast<uint8_t>(t) == type; });
}

// The home lists and the strongholds whose influence covers each building;
// they follow the map alone.
void BuildMapLists()
{
    for (TIntArray& list : HomeBuildingLists)
        list.assign(1, 0);
    const int32_t last = LastWorldBuilding();
    for (int32_t b = 1; b <= last; ++b)
        if (MapBuildings[b].HasHire != 0)
            AddHomeBuilding(b, HomeBehaviours(MapBuildings[b].BuildingType));
    BuildingNeighbours.assign(static_cast<size_t>(BuildingCount) + 1, TIntArray{});
    using T = TBuildingType;
    for (int32_t t = 1; t <= last; ++t) {
        if (!BuildingExists(t) ||
            !IsOneOf(MapBuildings[t].BuildingType, {T::Village, T::Farm, T::Tavern, T::House, T::Market}))
            continue;
        for (int32_t s = 1; s <= last; ++s) {
            const TMapBuilding& stronghold = MapBuildings[s];
            if (s == t || !BuildingExists(s) ||
                !IsOneOf(stronghold.BuildingType, {T::Town, T::Castle, T::Fort, T::Monastery, T::Church}))
                continue;
            if (stronghold.InfluenceRadius > 0 &&
                stronghold.InfluenceRadius >= GetCellDistance(BuildingCell(s), BuildingCell(t)))
                BuildingNeighbours[static_cast<size_t>(t)].push_back(s);
        }
    }
}

// The treasury a building starts with in a treasury scenario.
void ResetTreasury(int32_t b)
{
    const TMapBuilding& record = MapBuildings[b];
    TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
    if (record.HasTreasury != 0)
        state.Treasury = ClampToInt16(static_cast<int64_t>(record.Gold) + record.IncomeBonus);
    if (record.HasGarrison != 0)
        state.Treasury = ClampToInt16(record.Gold);
}

void ApplyBarriers()
{
    for (int32_t p = 1; p <= std::min(PointCount, ScenarioPointCount()); ++p)
        if (MapPoints[p].Radius != 0) {
            ShowPointBarrierObjects(p);
            ApplyPointBarrier(p);
        }
}

void PlanFirstRoutes()
{
    MapNotices.clear();
    MapEffects.clear();
    for (int32_t a = FirstArmy; a <= ArmyCount; ++a) {
        if (a != PlayerArmy && AI_Army_Active(a))
            AI_PlanRoute(a);
        LoadingProgress.fetch_add(1);
    }
}

} // namespace

void InitWorld(bool fromSave, int32_t seed)
{
    if (MapStory.Personalization == 0)
        MapStory.Personalization = 1;
    PersonalizationLevel = MapStory.Personalization;
    PlayableLimit = MapInit.MapSizeMinus1 - PathGridBorder;
    // The path grid's set-up has made the path map anew for a map of
    // another size; the trackers are set up on it below.
    ScheduleEvents();
    if (fromSave)
        MergeSavedEvents();
    else
        StartNewGame(seed);
    DeriveClockParts();
    SizeTables(fromSave);
    BuildFollowUps();
    SetUpArmies(fromSave);
    if (fromSave)
        CompleteLoadedGame();
    else
        CompleteNewGame();
    if (MapChanged)
        BuildMapLists();
    if (!fromSave && MapStory.TreasuryMode != 0)
        PreRunTreasuryDays();
    ApplyBarriers();
    PlanFirstRoutes();
    MetPlayerArmy = 0;
    ForcedEvent.Flag = 0;
    ClearStoryEventState();
    AssaultParams = NoAssaultParams;
}

void InitBuildingState(int32_t b)
{
    if (!IsWorldBuilding(b))
        return;
    const TMapBuilding& record = MapBuildings[b];
    TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
    state = TGameBuilding{};
    state.OwnerArmy = record.OwnerArmy;
    state.OwnerGroup = record.OwnerGroup;
    state.Banner = record.Banner;
    if (HeroKind >= 1 && HeroKind <= 6 && record.HeroStart[HeroKind] != 0) {
        state.OwnerArmy = PlayerArmy;
        state.OwnerGroup = 0;
        state.Banner = HeroBanner();
    }
    state.Undiscovered = record.Undiscovered;
    state.Closed = record.Closed;
    state.HireOpen = state.ShopOpen = state.HealingOpen = state.ServiceSwitch4 = 1;

    const int32_t g = GetGarrisonArmyIndex(b);
    if (FindArmy(g) == nullptr)
        return;
    ClearArmy(g);
    TGameArmy& garrison = GameArmies[static_cast<size_t>(g)];
    state.AssaultA = record.AssaultA;
    state.AssaultB = record.AssaultB;
    state.AssaultC = record.AssaultC;
    garrison.Banner = state.Banner;
    garrison.Gold = static_cast<int32_t>(record.Gold) + record.IncomeBonus;
    if (MapStory.TreasuryMode != 0)
        ResetTreasury(b);

    TArmyUnits& units = ArmyUnits[static_cast<size_t>(g)];
    for (int32_t j = 0; j <= 6; ++j) {
        const TMapArmySlot slot = record.Garrison[j];
        if (slot.UnitType == 0)
            continue;
        uint8_t extra[4];
        std::memcpy(extra, &slot.Extra, sizeof extra);
        for (int32_t c = 0; c < slot.Count; ++c) {
            const int32_t s = AddPersonage(g, ResolveUnitType(slot.UnitType), slot.HireKind, extra);
            if (s == 0)
                break;
            TIntArray removed;
            ReloadPersonage(units[s], 6, slot.Feature, removed);
        }
    }
    garrison.Active = record.GarrisonInactive != 0 ? 0 : 1;

    AI_SeedRandom(g, 0, 0);
    for (int32_t s = 1; s <= 9; ++s) {
        const TMapHireSlot& hire = record.HireSlots[s];
        if (hire.StartStock > 0) {
            state.HireSlots[s].Stock = hire.StartStock;
            state.HireSlots[s].UnitType = static_cast<int16_t>(ResolveUnitType(hire.UnitType));
        }
    }

    garrison.ItemCount = 0;
    for (int32_t r = 1; r <= 8; ++r)
        if (const int16_t item = record.GarrisonItems[r]; item != 0)
            AddArmyItem(g, item);
    AutoEquipArmy(g);
    ArrangeFormation(g, 6);
}

void PreRunTreasuryDays()
{
    for (int d = 0; d < 3; ++d)
        DailyWork(false);
    for (int32_t b = 1; b <= LastWorldBuilding(); ++b) {
        TGameBuilding& state = GameBuildings[static_cast<size_t>(b)];
        state.StoreB = static_cast<int16_t>(state.StoreB / 4);
        state.StoreA = static_cast<int16_t>(state.StoreA / 4);
        ResetTreasury(b);
    }
}

void AddHomeBuilding(int32_t building, uint16_t behaviours)
{
    for (int32_t d = 0; d < HomeBuildingListCount; ++d) {
        if ((behaviours & (1u << d)) == 0)
            continue;
        TIntArray& list = HomeBuildingLists[static_cast<size_t>(d)];
        if (list.empty())
            list.push_back(0);
        list.push_back(building);
        list[0] = static_cast<int32_t>(list.size()) - 1;
    }
}

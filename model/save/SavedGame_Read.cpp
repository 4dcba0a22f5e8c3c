// Reading saved games. Every section is read into a staging copy and checked
// against its element count and the tables' capacities first; the world
// tables change only once the whole save has been read, so a damaged save is
// refused without touching the world.
#include <algorithm>
#include <cstring>

#include "model/ai/AIMain.h"
#include "model/world/Prices.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/SceneHooks.h"
#include "model/Support.h"
#include "model/world/World_Setup.h"

namespace {

constexpr size_t PersonagesPerArmy = TArmyUnits::HighIndex;
constexpr uint64_t DiplomacyMax = 256 * 256; // groups 0..255 squared
constexpr uint64_t VariableMax = 1u << 20;   // more than any scenario names
constexpr size_t ScenarioFolderMax = 64;

// The sections of a save, read and checked, before they go into the world.
struct TSavedWorld {
    TSaveHead Head{};
    bool ArmiesWhole = true; // none of the four army sections is missing
    int32_t Armies = 0;
    std::vector<TGameArmy> ArmyRecords;
    std::vector<TArmyUnits> Units; // armies, then garrisons
    std::vector<TIntArray> Items;  // armies, then garrisons
    std::vector<std::vector<TGameArmyMove>> Moves;
    std::vector<std::vector<TGameArmyTarget>> Targets; // rows as stored: StoredBuildings + 1 cells
    int32_t Garrisons = 0;
    std::vector<TGameArmy> GarrisonRecords;
    int32_t StoredBuildings = 0;
    std::vector<TGameBuilding> Buildings;
    bool HasDiplomacy = false;
    TIntArray DiplomacyCells;
    bool HasEvents = false;
    std::vector<TGameEvent> Events;
    bool HasPoints = false;
    std::vector<TPointState> Points;
    bool HasVariables = false;
    TIntArray Variables;
    TByteArray Tutorials;
};

// A section's elements first..first + count - 1 into records of T; false
// when the section holds fewer whole elements.
template <class T> bool ReadElements(const TMapSection& section, uint64_t first, uint64_t count, T* records)
{
    if (count == 0)
        return true;
    if (section.ElementSize == 0 || first + count > section.Count || first + count > section.Available())
        return false;
    return section.CopyElements(first, count, records, sizeof(T));
}

// The record count of a section that holds 0..max + 1 records numbered from
// 0 (count - 1 is the table's highest number); -1 when the section is
// damaged or beyond the capacity.
int64_t NumberedCount(const TMapSection& section, int64_t max)
{
    if (section.Count < 1 || int64_t{section.Count} - 1 > max)
        return -1;
    return section.Count;
}

bool ReadArmies(TDatFile& save, TSavedWorld& w)
{
    const TMapSection armies = ViewSection(save, "GameArmy", true);
    const TMapSection units = ViewSection(save, "GameArmyUnits", true);
    const TMapSection moves = ViewSection(save, "GameArmyMove", true);
    const TMapSection targets = ViewSection(save, "GameArmyTarget", true);
    w.ArmiesWhole = armies.Exists && units.Exists && moves.Exists && targets.Exists;
    int64_t count = 1;
    if (armies.Exists) {
        count = NumberedCount(armies, MapArmyMax);
        if (count < 0)
            return false;
    }
    w.Armies = static_cast<int32_t>(count - 1);
    const size_t n = static_cast<size_t>(count);
    w.ArmyRecords.assign(n, TGameArmy{});
    w.Units.resize(n);
    std::memset(static_cast<void*>(w.Units.data()), 0, n * sizeof(TArmyUnits));
    w.Moves.assign(n, std::vector<TGameArmyMove>(n));
    const size_t width = static_cast<size_t>(w.StoredBuildings) + 1;
    w.Targets.assign(n, std::vector<TGameArmyTarget>(width));
    if (armies.Exists && !ReadElements(armies, 0, n, w.ArmyRecords.data()))
        return false;
    if (units.Exists && !ReadElements(units, 0, n * PersonagesPerArmy, &w.Units[0][1]))
        return false;
    for (size_t a = 0; a < n; ++a) {
        if (moves.Exists && !ReadElements(moves, a * n, n, w.Moves[a].data()))
            return false;
        if (targets.Exists && !ReadElements(targets, a * width, width, w.Targets[a].data()))
            return false;
    }
    if (!w.ArmiesWhole) {
        // Without all four the armies can't be trusted: the player's alone.
        w.Armies = 0;
        w.ArmyRecords.resize(1);
        w.Units.resize(1);
        w.Moves.assign(1, std::vector<TGameArmyMove>(1, w.Moves[0][0]));
        w.Targets.resize(1);
    }
    return true;
}

// Entries 1..ItemCount of each record's list, in turn from the section.
bool ReadItems(const TMapSection& section, std::vector<TGameArmy>& records, std::vector<TIntArray>& lists)
{
    uint64_t cursor = 0;
    for (size_t a = 0; a < records.size(); ++a) {
        const int32_t count = std::max(records[a].ItemCount, 0);
        records[a].ItemCount = count;
        TIntArray list(1, 0);
        if (count > 0) {
            if (cursor + uint64_t(count) > section.Count || cursor + uint64_t(count) > section.Available())
                return false;
            list.resize(static_cast<size_t>(count) + 1);
            if (!ReadElements(section, cursor, static_cast<uint64_t>(count), list.data() + 1))
                return false;
            cursor += static_cast<uint64_t>(count);
        }
        lists.push_back(std::move(list));
    }
    return true;
}

// Missing items: every list empty, so no count points past its list.
void NoItems(std::vector<TGameArmy>& records, std::vector<TIntArray>& lists)
{
    for (TGameArmy& record : records) {
        record.ItemCount = 0;
        lists.push_back(TIntArray(1, 0));
    }
}

bool ReadGarrisons(TDatFile& save, TSavedWorld& w)
{
    const TMapSection garrisons = ViewSection(save, "GameGarrison", true);
    const TMapSection units = ViewSection(save, "GameGarrisonUnits", true);
    if (!garrisons.Exists || !units.Exists)
        return true;
    if (garrisons.Count > MapBuildingMax)
        return false;
    const size_t n = garrisons.Count;
    w.Garrisons = static_cast<int32_t>(n);
    w.GarrisonRecords.assign(n, TGameArmy{});
    if (!ReadElements(garrisons, 0, n, w.GarrisonRecords.data()))
        return false;
    const size_t first = w.Units.size();
    w.Units.resize(first + n);
    std::memset(static_cast<void*>(w.Units.data() + first), 0, n * sizeof(TArmyUnits));
    return n == 0 || ReadElements(units, 0, n * PersonagesPerArmy, &w.Units[first][1]);
}

template <class T>
bool ReadNumbered(TDatFile& save, const char* name, int64_t max, bool& present, std::vector<T>& table)
{
    const TMapSection section = ViewSection(save, name, true);
    present = section.Exists;
    if (!present)
        return true;
    const int64_t count = NumberedCount(section, max);
    if (count < 0)
        return false;
    table.assign(static_cast<size_t>(count), T{});
    return ReadElements(section, 0, static_cast<uint64_t>(count), table.data());
}

// A section of plain values whose count only bounds what is read.
template <class T> bool ReadValues(TDatFile& save, const char* name, uint64_t max, bool& present, std::vector<T>& table)
{
    const TMapSection section = ViewSection(save, name, true);
    present = section.Exists;
    if (!present)
        return true;
    if (section.Count > max)
        return false;
    table.assign(section.Count, T{});
    return ReadElements(section, 0, section.Count, table.data());
}

bool ReadSections(TDatFile& save, TSavedWorld& w)
{
    bool present = false;
    if (!ReadNumbered(save, "GameBuilding", MapBuildingMax, present, w.Buildings))
        return false;
    w.StoredBuildings = present ? static_cast<int32_t>(w.Buildings.size()) - 1 : 0;
    if (!present)
        w.Buildings.assign(1, TGameBuilding{});
    if (!ReadArmies(save, w) || !ReadGarrisons(save, w))
        return false;

    const TMapSection armyItems = ViewSection(save, "GameArmyItems", true);
    if (!armyItems.Exists)
        NoItems(w.ArmyRecords, w.Items);
    else if (!ReadItems(armyItems, w.ArmyRecords, w.Items))
        return false;
    const TMapSection garrisonItems = ViewSection(save, "GameGarrisonItems", true);
    if (!garrisonItems.Exists)
        NoItems(w.GarrisonRecords, w.Items);
    else if (!ReadItems(garrisonItems, w.GarrisonRecords, w.Items))
        return false;

    if (!ReadValues(save, "GameDiplomacy", DiplomacyMax, w.HasDiplomacy, w.DiplomacyCells) ||
        !ReadNumbered(save, "GameEvent", StoryEventMax, w.HasEvents, w.Events) ||
        !ReadNumbered(save, "GamePoint", MapPointMax, w.HasPoints, w.Points) ||
        !ReadValues(save, "GameVariables", VariableMax, w.HasVariables, w.Variables))
        return false;

    // The tutorials' progress is a nicety: a damaged one is ignored.
    const TMapSection tutorials = ViewSection(save, "TutorialsData", true);
    if (tutorials.Exists && tutorials.Count >= 1 && tutorials.Size > 0)
        w.Tutorials.assign(tutorials.Bytes, tutorials.Bytes + std::min<size_t>(tutorials.Size, tutorials.ElementSize));
    return true;
}

// Whether a folder from a save stays below the program folder.
bool IsSafeFolder(const std::string& folder)
{
    if (folder.empty() || folder == "\\")
        return true;
    if (folder[0] == '\\' || folder[0] == '/' || folder.find(':') != std::string::npos)
        return false;
    size_t start = 0;
    while (start <= folder.size()) {
        const size_t end = folder.find_first_of("\\/", start);
        const std::string part = folder.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == "..")
            return false;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return true;
}

std::string ReadFolderLine(TDatFile& save)
{
    std::string folder;
    save.ReadLine("GameScenarioFolder", folder);
    if (folder.size() > ScenarioFolderMax)
        folder.resize(ScenarioFolderMax);
    return folder;
}

int32_t DifficultyFallBack(int32_t stored)
{
    if (stored >= 1 && stored <= 4)
        return stored;
    if (GameOptions != nullptr && GameOptions->SelectSection("Main")) {
        const int32_t option = GameOptions->ReadInteger("Game_DifficultyLevel", -1, 0);
        if (option >= 1 && option <= 4)
            return option;
    }
    return 2;
}

void RestoreHead(const TSaveHead& head)
{
    StartSaveName = head.StartSaveName.Str();
    LoadedSaveVersion = head.Version;
    GameClock = head.GameClock;
    GameStartDate = head.GameStartDate != 0 ? head.GameStartDate : MapStory.StartDate;
    HeroKind = head.HeroKind;
    GameSeed = head.GameSeed;
    DayBattleCount = head.DayBattleCount;
    GameDifficulty = DifficultyFallBack(head.GameDifficulty);
    PersonalizationEnabled = head.PersonalizationEnabled;
    std::memcpy(HourlyGoldSamples, head.HourlyGoldSamples, sizeof HourlyGoldSamples);
    LastPlayerStepClock = 0;
    SceneHooks().SetMapView(head.MapView);
}

// A building the scenario gained since the save: its start state and an
// empty garrison.
void SetUpAddedBuilding(int32_t building)
{
    InitBuildingState(building);
}

// What the save does not hold, rebuilt around the loaded tables, and the map
// scene brought up to date.
void SetUpLoadedWorld()
{
    if (MapChanged)
        SceneHooks().PlaceBuildingsAndObjects();
    AI_InitPathGrid();
    InitWorld(true, 0);
    if (MapChanged) {
        SceneHooks().PlaceArmies();
    } else {
        for (int32_t a = 0; a <= ArmyCount; ++a)
            SceneHooks().UpdateArmyModel(a);
    }
    SceneHooks().SortMainPass();
    SetScheduleMarks();
}

// The staged sections into the world tables, shaped by the scenario in
// memory: garrisons and buildings the scenario gained since the save get
// their start state, and rows are widened to the building count.
void CommitWorld(TSavedWorld& w)
{
    for (TPF_Tracker& tracker : ArmyTrackers)
        tracker.Done();
    ArmyTrackers.clear();

    ArmyCount = w.Armies;
    GarrisonCount = std::max(w.Garrisons, MapBuildings.Count);
    BuildingCount = w.StoredBuildings;
    const size_t all = static_cast<size_t>(ArmyCount) + static_cast<size_t>(GarrisonCount) + 1;

    GameArmies = std::move(w.ArmyRecords);
    GameArmies.insert(GameArmies.end(), w.GarrisonRecords.begin(), w.GarrisonRecords.end());
    GameArmies.resize(all, TGameArmy{});
    const size_t storedUnits = w.Units.size();
    ArmyUnits = std::move(w.Units);
    ArmyUnits.resize(all);
    std::memset(static_cast<void*>(ArmyUnits.data() + std::min(storedUnits, all)), 0,
                (all - std::min(storedUnits, all)) * sizeof(TArmyUnits));
    ArmyItems = std::move(w.Items);
    ArmyItems.resize(all, TIntArray(1, 0));
    ArmyMoves = std::move(w.Moves);

    GameBuildings = std::move(w.Buildings);
    const int32_t scenarioBuildings = std::min(MapBuildings.Count, MapBuildingMax);
    if (BuildingCount < scenarioBuildings) {
        GameBuildings.resize(static_cast<size_t>(scenarioBuildings) + 1, TGameBuilding{});
        const int32_t stored = BuildingCount;
        BuildingCount = scenarioBuildings;
        for (int32_t b = stored + 1; b <= scenarioBuildings; ++b)
            SetUpAddedBuilding(b);
    }
    ArmyTargets = std::move(w.Targets);
    for (auto& row : ArmyTargets)
        row.resize(static_cast<size_t>(BuildingCount) + 1, TGameArmyTarget{});

    const size_t groups = size_t{MapStory.GroupCount} + 1;
    if (w.HasDiplomacy) {
        Diplomacy.assign(groups, TIntArray(groups, 0));
        for (size_t i = 0; i < std::min(w.DiplomacyCells.size(), groups * groups); ++i)
            Diplomacy[i / groups][i % groups] = w.DiplomacyCells[i];
    } else {
        Diplomacy.resize(groups);
        for (TIntArray& row : Diplomacy)
            row.resize(groups, 0);
    }

    SavedEvents = std::move(w.Events);
    SavedEventCount = w.HasEvents ? static_cast<int32_t>(SavedEvents.size()) - 1 : 0;
    if (w.HasPoints) {
        PointStates = std::move(w.Points);
        PointCount = static_cast<int32_t>(PointStates.size()) - 1;
    } else {
        PointCount = MapPoints.Count;
        PointStates.assign(static_cast<size_t>(PointCount) + 1, TPointState{});
    }
    ScenarioVariables.resize(static_cast<size_t>(std::max(ScenarioVariableCount, 0)) + 1, 0);
    if (w.HasVariables)
        std::copy_n(w.Variables.begin(), std::min(w.Variables.size(), ScenarioVariables.size()),
                    ScenarioVariables.begin());
    for (size_t i = 0; i < std::min(w.Tutorials.size(), TutorialsList.size()); ++i)
        TutorialsList[i].Shown = w.Tutorials[i];
}

} // namespace

uint32_t SavedWorldDigest(TDatFile& save)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (int i = 3; i <= 15; ++i) {
        const TMapSection section = ViewSection(save, SaveSectionNames[i], true);
        for (const char* c = SaveSectionNames[i]; *c != 0; ++c)
            crc = Crc32Update(static_cast<uint8_t>(*c), crc);
        for (size_t b = 0; b < section.Size; ++b)
            crc = Crc32Update(section.Bytes[b], crc);
    }
    return ~crc;
}

bool ReadSaveHead(TDatFile& save, TSaveHead& head)
{
    std::memset(static_cast<void*>(&head), 0, sizeof head);
    const TMapSection section = ViewSection(save, "GameHead", true);
    if (!section.Exists || section.Count < 1 || section.ElementSize == 0 || section.Available() < 1)
        return false;
    return section.CopyElements(0, 1, &head, sizeof head);
}

std::string SavedScenarioFile(const TSaveHead& head, const std::string& folder)
{
    if (!IsSafeFolder(folder))
        return {};
    const std::string base = ExtractBaseName(head.LastScenarioName.Str());
    if (base.empty())
        return {};
    std::string path = ScenariosFolder;
    if (!folder.empty() && folder != "\\") {
        path = ExePath + folder;
        if (path.back() != '\\' && path.back() != '/')
            path += '\\';
        path += "Scenarios\\";
    }
    return path + base + ".Tdm";
}

bool IsSavedGameScenarioPresent(const std::string& fileName)
{
    TDatFile save;
    if (!save.Open(fileName))
        return false;
    const std::string folder = ReadFolderLine(save);
    TSaveHead head;
    if (!ReadSaveHead(save, head))
        return false;
    const std::string file = SavedScenarioFile(head, folder);
    return !file.empty() && FileExistsMask(file);
}

bool ReadSaveFileSummary(const std::string& fileName, TSaveFileSummary& entry)
{
    entry = TSaveFileSummary{};
    TDatFile save;
    if (!save.Open(fileName) || !ReadSaveHead(save, entry.Head))
        return false;
    save.ReadLine("GameScenario", entry.ScenarioName);
    const std::string file = SavedScenarioFile(entry.Head, ReadFolderLine(save));
    entry.ScenarioPresent = !file.empty() && FileExistsMask(file);
    return true;
}

namespace {

// The head and every world section of an open save, read and checked into
// the staging copy; false with the reason when they are damaged.
bool StageSavedGame(TDatFile& save, TSavedWorld& staged, std::string& why)
{
    if (!ReadSaveHead(save, staged.Head)) {
        why = "no head";
        return false;
    }
    const TSaveHead& head = staged.Head;
    if (head.LastScenarioName.Length > head.LastScenarioName.Capacity ||
        head.StartSaveName.Length > head.StartSaveName.Capacity || head.SaveName.Count > SaveNameUnits ||
        head.HeroName.Count > SaveNameUnits) {
        why = "a name of the head is longer than its room";
        return false;
    }
    if (!ReadSections(save, staged)) {
        why = "a world section is cut short or beyond the tables";
        return false;
    }
    return true;
}

} // namespace

bool CheckSavedGame(TDatFile& save, std::string& why)
{
    TSavedWorld staged;
    if (!StageSavedGame(save, staged, why))
        return false;
    // The sections the load passes over (pictures, tutorials, the log) must
    // be whole too.
    for (size_t i = 0; i < save.Entries.size(); ++i) {
        const std::string name = DatEntryName(save.Entries[i]);
        if (save.SelectEntry(name) && !save.LoadEntry()) {
            why = "section " + name + " is cut short";
            return false;
        }
    }
    return true;
}

bool LoadSavedGame(const std::string& fileName, float& speed, std::u16string& heroName)
{
    TDatFile save;
    if (!save.Open(fileName))
        return false;
    TSavedWorld staged;
    std::string why;
    if (!StageSavedGame(save, staged, why))
        return false;
    const std::string folder = ReadFolderLine(save);
    const std::string scenarioFile = SavedScenarioFile(staged.Head, folder);
    if (scenarioFile.empty())
        return false;
    save.Done();
    // Everything the load needs is checked before anything is cleared: a
    // save of another scenario needs that scenario's map.
    const std::string scenario = LowerCaseStr(ExtractBaseName(staged.Head.LastScenarioName.Str()));
    if (scenario != LastScenarioName && !CanLoadScenarioMap(scenarioFile))
        return false;

    ScenarioFolder = folder;
    SceneHooks().ClearArmies(true);
    if (scenario != LastScenarioName) {
        SceneHooks().ClearMapMeshes();
        SceneHooks().ClearMapPlacements();
        if (!LoadScenarioMap(scenarioFile))
            return false;
        SceneHooks().BuildTerrainModel(true);
        SceneHooks().BuildTerrainChunkMeshes();
        SceneHooks().BuildPlantMeshes();
    } else {
        MapChanged = false;
        MapSizeChanged = false;
    }

    RestoreHead(staged.Head);
    speed = staged.Head.GameSpeed;
    heroName = TrimWide(SaveNameText(staged.Head.HeroName));
    CommitWorld(staged);
    SetUpLoadedWorld();
    return true;
}

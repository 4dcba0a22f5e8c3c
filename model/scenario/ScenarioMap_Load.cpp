// ScenarioMap_Load: the full load of a scenario map file and the header
// preview. Nothing in a file is trusted: counts are checked against the
// tables before anything is written, every section is read through the
// bytes it really holds, and what a section lacks is left 0 with a line in
// ScenarioLoadErrors.
#include "model/scenario/ScenarioMap.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/save/BetaLog.h"
#include "model/tables/BonusType.h"
#include "model/tables/BuildingType.h"
#include "model/tables/Global.h"
#include "model/Hooks.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/SceneHooks.h"
#include "model/Support.h"
#include "model/world/World_Tables.h"

std::atomic<int32_t> LoadingProgress{0};
std::string ScenarioLocalizationReport;

int ScenarioCodePage(uint8_t language)
{
    return LanguageCodePage(static_cast<TLanguage>(language));
}

int32_t EstimateScenarioLoading()
{
    static const int32_t BySizeClass[5] = {388, 584, 820, 1412, 2200};
    const int32_t sizeClass = std::min<int32_t>(MapStoryPreview.SizeClass, 4);
    return BySizeClass[sizeClass] + 3 * PreviewArmyCount;
}

// ---------------------------------------------------------------------------
// Sections

TMapSection ViewSection(TDatFile& map, const std::string& name, bool load)
{
    TMapSection section;
    if (!map.SelectEntry(name))
        return section;
    const TDatEntry& entry = map.Entries[static_cast<size_t>(map.Current)];
    section.Exists = true;
    section.ElementSize = entry.ElementSize;
    section.Count = entry.ElementCount;
    if (load) {
        map.LoadEntry();
        const TByteBuffer& bytes = map.EntryData[static_cast<size_t>(map.Current)].Bytes;
        section.Bytes = bytes.data();
        section.Size = bytes.size();
    }
    return section;
}

uint64_t TMapSection::Available() const
{
    return ElementSize == 0 ? 0 : Size / ElementSize;
}

bool TMapSection::CopyElements(uint64_t first, uint64_t count, void* records, size_t recordSize) const
{
    if (count == 0)
        return true;
    uint8_t* to = static_cast<uint8_t*>(records);
    if (ElementSize == recordSize && first + count <= Available()) {
        std::memcpy(to, Bytes + first * recordSize, count * recordSize);
        return true;
    }
    // A record takes at most its own size from an element; the rest of a
    // record stays 0, and so does a record whose element isn't there.
    std::memset(to, 0, count * recordSize);
    const size_t take = std::min<size_t>(recordSize, ElementSize);
    bool complete = true;
    for (uint64_t i = 0; i < count; i++) {
        const uint64_t offset = (first + i) * ElementSize;
        if (offset >= Size) {
            complete = complete && take == 0;
            continue;
        }
        const size_t n = static_cast<size_t>(std::min<uint64_t>(take, Size - offset));
        std::memcpy(to + i * recordSize, Bytes + offset, n);
        complete = complete && n == take;
    }
    return complete;
}

std::u16string ReadMapText(TDatFile& map, const std::string& section, bool wide, int codePage)
{
    if (wide) {
        std::u16string text;
        map.ReadWide(section + "Wide", text);
        return text;
    }
    std::string text;
    map.ReadPChar(section, text);
    return OS_MultiByteToWide(codePage, text);
}

namespace {

void Repair(const std::string& line)
{
    ScenarioLoadErrors.push_back(line);
}

std::string Num(int64_t value)
{
    return std::to_string(value);
}

// Reads a fixed table's section by the element-size rule.
template <typename T, int32_t Capacity> void ReadTable(TDatFile& map, const char* name, TMapTable<T, Capacity>& table)
{
    const TMapSection section = ViewSection(map, name, true);
    const uint32_t count = section.Count; // checked against the capacity before
    table.Count = static_cast<int32_t>(count);
    if (!section.CopyElements(0, count, &table[1], sizeof(T)))
        Repair(std::string(name) + ": " + Num(std::min<uint64_t>(section.Available(), count)) + " of " + Num(count) +
               " records complete, the rest left 0");
}

// A map coordinate rounded to a cell number (halves to even), kept inside
// the 16-bit cell fields.
int16_t RoundCell(float value)
{
    if (!(value == value))
        return 0;
    return static_cast<int16_t>(std::clamp(std::nearbyint(value), -32768.0f, 32767.0f));
}

bool IsSectionTooBig(TDatFile& map, const char* name, uint32_t capacity, std::string& why)
{
    const TMapSection section = ViewSection(map, name, false);
    if (section.Count <= capacity)
        return false;
    why =
        std::string(name) + ": " + Num(section.Count) + " records, more than the " + Num(capacity) + " the table holds";
    return true;
}

// What the file's header and map set-up say, checked before anything is
// written: false (with the reason) for a file beyond the tables.
bool CheckScenarioFile(TDatFile& map, TMapStory& header, TMapInit& init, std::string& why)
{
    std::memset(&header, 0, sizeof header);
    ViewSection(map, "MapStory", true).CopyElements(0, 1, &header, sizeof header);

    const uint32_t rows = header.GroupCount + 1u;
    const TMapSection groups = ViewSection(map, "MapGroup", false);
    if (header.GroupCount > 0 && (groups.Count != rows || groups.ElementSize != 4 * rows)) {
        why = "MapGroup: not " + Num(rows) + " rows of " + Num(rows) + " attitudes";
        return false;
    }

    std::memset(&init, 0, sizeof init);
    const TMapSection initSection = ViewSection(map, "MapInit", true);
    if (initSection.ElementSize > sizeof init) {
        why = "MapInit: an element of " + Num(initSection.ElementSize) + " bytes, more than the record";
        return false;
    }
    initSection.CopyElements(0, 1, &init, sizeof init);
    if (init.MapSizeMinus1 < 0 || init.MapSizeMinus1 > MapSizeMax) {
        why = "MapInit: map size " + Num(int64_t{init.MapSizeMinus1} + 1) + " outside 1.." + Num(MapGridSide);
        return false;
    }

    if (IsSectionTooBig(map, "MapStoryEvent", StoryEventMax, why) || IsSectionTooBig(map, "MapTree", MapTreeMax, why) ||
        IsSectionTooBig(map, "MapBuilding", MapBuildingMax, why) ||
        IsSectionTooBig(map, "MapObject", MapObjectMax, why) || IsSectionTooBig(map, "MapArmy", MapArmyMax, why) ||
        IsSectionTooBig(map, "MapPoint", MapPointMax, why) || IsSectionTooBig(map, "MapNpcPeople", NpcTypeMax, why))
        return false;

    const TMapSection sounds = ViewSection(map, "MapSounds", false);
    if (sounds.Count > 0 && sounds.ElementSize != sizeof(TMapSound)) {
        why = "MapSounds: elements of " + Num(sounds.ElementSize) + " bytes";
        return false;
    }
    return true;
}

void ClearHeaderReferences(TMapStory& header)
{
    header.NameRef = header.DescriptionRef = header.GroupRelationsRef = header.GroupNamesRef = header.TitleRef = 0;
    for (int n = 1; n <= 3; n++)
        header.NextScenarioRef[n] = 0;
}

void ClearUnplayableHeroes(TMapStory& header)
{
    for (int k = 1; k <= 6; k++)
        if (header.Heroes[k].Slots[0].UnitType == 0)
            header.HeroAvailable[k] = 0;
}

// Step 4: the attitude rows of groups 0..G (the shape is checked before).
void ReadGroupRows(TDatFile& map, TMapStoryData& story)
{
    const int32_t rows = story.GroupCount + 1;
    if (story.GroupCount == 0)
        return;
    story.GroupRelations.assign(static_cast<size_t>(rows), TIntArray(static_cast<size_t>(rows), 0));
    story.GroupNames.assign(static_cast<size_t>(rows), std::u16string());
    const TMapSection section = ViewSection(map, "MapGroup", true);
    bool complete = true;
    for (int32_t g = 0; g < rows; g++)
        complete =
            section.CopyElements(static_cast<uint64_t>(g), 1, story.GroupRelations[static_cast<size_t>(g)].data(),
                                 4 * static_cast<size_t>(rows)) &&
            complete;
    if (!complete)
        Repair("MapGroup: rows cut short, the rest left 0");
}

// Step 12 and the preview: name, description, group names, title, next scenarios.
void ReadHeaderTexts(TDatFile& map, TMapStoryData& story, bool wide, int codePage)
{
    story.Description = ReadMapText(map, "MapNames", wide, codePage);
    if (story.GroupCount > 0)
        for (std::u16string& name : story.GroupNames)
            name = ReadMapText(map, "MapNames", wide, codePage);
    if (story.HasTitle)
        story.Title = ReadMapText(map, "MapNames", wide, codePage);
    for (int n = 1; n <= 3; n++)
        if (story.NextEvent[n] > 0)
            story.NextScenario[n] = ReadMapText(map, "MapNames", wide, codePage);
}

// Step 5: the landscape grid.
void ReadLandscape(TDatFile& map, int32_t n)
{
    const TMapSection section = ViewSection(map, "MapLandscape", false);
    const uint64_t side = static_cast<uint64_t>(n) + 1;
    const uint64_t cells = side * side;
    constexpr size_t cellSize = sizeof(TMapCell);
    uint64_t read = 0; // cells read whole
    if (section.ElementSize == cellSize && n == MapSizeMax) {
        const uint32_t bytes = map.ReadRecords("MapLandscape", MapCells.data(), 0, static_cast<int32_t>(cells));
        read = bytes / cellSize;
        std::memset(reinterpret_cast<uint8_t*>(MapCells.data()) + bytes, 0, cells * cellSize - bytes);
    } else if (section.ElementSize == cellSize) {
        for (int32_t x = 0; x <= n; x++) {
            TMapCell* row = &MapCell(x, 0);
            const uint32_t bytes = map.ReadRecords("MapLandscape", row, 0, static_cast<int32_t>(side));
            read += bytes / cellSize;
            std::memset(reinterpret_cast<uint8_t*>(row) + bytes, 0, side * cellSize - bytes);
        }
    } else {
        std::memset(static_cast<void*>(MapCells.data()), 0, MapCells.size() * cellSize);
        const TMapSection view = ViewSection(map, "MapLandscape", true);
        const uint64_t stored = std::min<uint64_t>(view.Count, view.Available());
        for (int32_t x = 0; x <= n; x++)
            for (int32_t z = 0; z <= n; z++) {
                const uint64_t i = static_cast<uint64_t>(x) * side + static_cast<uint64_t>(z);
                if (i < stored)
                    view.CopyElements(i, 1, &MapCell(x, z), cellSize);
            }
        read = std::min(stored, cells);
    }
    if (read < cells)
        Repair("MapLandscape: " + Num(read) + " of " + Num(cells) + " cells read, the rest left 0");
}

// One event list's records from a stream section: the count is made to
// fit what is left of the stream. Returns the count used.
template <typename T>
int32_t ReadStream(const TMapSection& section, uint64_t& cursor, int32_t count, std::vector<T>& list,
                   const std::string& what)
{
    const uint64_t stored = std::min<uint64_t>(section.Count, section.Available());
    const uint64_t left = stored > cursor ? stored - cursor : 0;
    int32_t used = count;
    if (count < 0) {
        Repair(what + ": count " + Num(count) + " read as 0");
        used = 0;
    } else if (static_cast<uint64_t>(count) > left) {
        Repair(what + ": count " + Num(count) + " cut to the " + Num(left) + " records left");
        used = static_cast<int32_t>(left);
    }
    list.resize(static_cast<size_t>(used));
    if (used > 0)
        section.CopyElements(cursor, static_cast<uint64_t>(used), list.data(), sizeof(T));
    cursor += static_cast<uint64_t>(used);
    return used;
}

// Step 7: the events with their requirements, stages and results.
void ReadStoryEvents(TDatFile& map)
{
    const TMapSection events = ViewSection(map, "MapStoryEvent", true);
    const uint64_t count = std::min<uint64_t>(events.Count, events.Available()); // the count is checked before
    if (count < events.Count)
        Repair("MapStoryEvent: " + Num(events.Count) + " events cut to the " + Num(count) + " stored");
    StoryEventCount = static_cast<int32_t>(count);
    StoryEvents.assign(count + 1, TStoryEvent{});
    const TMapSection requirements = ViewSection(map, "MapStoryRequire", true);
    const TMapSection stages = ViewSection(map, "MapStorySelect", true);
    const TMapSection results = ViewSection(map, "MapStoryResult", true);
    uint64_t requireCursor = 0, stageCursor = 0, resultCursor = 0;
    for (int32_t e = 1; e <= StoryEventCount; e++) {
        TStoryEvent& event = StoryEvents[static_cast<size_t>(e)];
        events.CopyElements(static_cast<uint64_t>(e) - 1, 1, static_cast<TStoryEventStart*>(&event),
                            sizeof(TStoryEventStart));
        event.RequiresRef = event.StagesRef = 0;
        const std::string label = "Event " + Num(e);
        event.RequireCount =
            ReadStream(requirements, requireCursor, event.RequireCount, event.Requires, label + " requirements");
        std::vector<TSelect> selects;
        event.StageCount = ReadStream(stages, stageCursor, event.StageCount, selects, label + " stages");
        event.Stages.resize(selects.size());
        for (size_t s = 0; s < selects.size(); s++) {
            TStoryStage& stage = event.Stages[s];
            static_cast<TSelect&>(stage) = selects[s];
            stage.ResultsRef = 0;
            stage.ResultCount = ReadStream(results, resultCursor, stage.ResultCount, stage.Results,
                                           label + " stage " + Num(static_cast<int64_t>(s) + 1) + " results");
        }
    }
}

// Step 10: the variable names, nul-terminated one after another.
void ReadVariableNames(TDatFile& map, int codePage)
{
    const TMapSection section = ViewSection(map, "MapStoryEventVar", true);
    if (!section.Exists) {
        ScenarioVariables.clear();
        ScenarioVariableNames.clear();
        ScenarioVariableCount = 0;
        return;
    }
    ScenarioVariableNames.assign(1, std::u16string());
    ScenarioVariableCount = 0;
    const size_t end = std::min<size_t>(section.ElementSize, section.Size);
    for (size_t cursor = 0; cursor < end;) {
        const uint8_t* start = section.Bytes + cursor;
        const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(start, 0, section.Size - cursor));
        const size_t length = nul != nullptr ? static_cast<size_t>(nul - start) : section.Size - cursor;
        ScenarioVariableNames.push_back(
            OS_MultiByteToWide(codePage, std::string(reinterpret_cast<const char*>(start), length)));
        ScenarioVariableCount++;
        cursor += length + 1;
    }
}

// Step 11: the scenario's personage types.
void ReadNpcTypes(TDatFile& map)
{
    const TMapSection section = ViewSection(map, "MapNpcPeople", true);
    if (!section.Exists)
        return;
    NpcTypeCount = static_cast<int32_t>(section.Count);
    if (section.Available() < section.Count)
        Repair("MapNpcPeople: " + Num(std::min<uint64_t>(section.Available(), section.Count)) + " of " +
               Num(section.Count) + " types complete, the rest left 0");
    for (int32_t i = 1; i <= NpcTypeCount; i++) {
        TPersonage& type = UnitTypes[-i];
        section.CopyElements(static_cast<uint64_t>(i) - 1, 1, &type, sizeof(TPersonage));
        if (type.UnitType >= -UnitTypeMax && type.UnitType <= UnitTypeMax) {
            type.MapModelIndex = UnitTypes[type.UnitType].MapModelIndex;
            type.ArenaModelIndex = UnitTypes[type.UnitType].ArenaModelIndex;
        }
        if (type.WoundLimit == 0)
            type.WoundLimit = 4;
        type.AttackMode = type.LevelUp == 0 ? 4 : type.LevelUp == 1 ? 13 : 16;
        std::string line;
        map.ReadLine("MapNpcPeopleBonus", line);
        if (line.empty())
            continue;
        line += ",";
        for (int b = 1; b <= 16; b++) {
            const uint8_t bonus = BonusTypeByName(TrimStr(GetSeparatedField(line, b, ',')));
            if (b <= 8)
                type.Bonus[b] = bonus;
            else
                type.BonusAdd[b - 8] = bonus;
        }
    }
}

// The texts of a building or an army: name, suffix, description.
void ReadTextInfo(TDatFile& map, const char* section, TTextInfo& info, bool wide, int codePage)
{
    info.Name = ReadMapText(map, section, wide, codePage);
    info.Suffix = ReadMapText(map, section, wide, codePage);
    info.Description = ReadMapText(map, section, wide, codePage);
}

// Step 14: one event's texts, in the order its form stores them.
void ReadEventTexts(TDatFile& map, const TStoryEvent& event, TStoryEventText& text, bool wide, int codePage)
{
    auto next = [&] { return ReadMapText(map, "MapStoryEventText", wide, codePage); };
    const size_t stages = event.Stages.size();
    text.Title = next();
    text.Text = next();
    text.StageTexts.clear();
    if (event.Form == 2)
        for (size_t s = 0; s < stages; s++)
            text.StageTexts.push_back(next());
    auto hasJournal = [](const TSelect& stage) { return stage.JournalQuest != 0 || stage.JournalNote != 0; };
    bool anyJournal = false;
    for (const TStoryStage& stage : event.Stages)
        anyJournal = anyJournal || hasJournal(stage);
    text.Captions.clear();
    text.JournalTexts.clear();
    if (event.Form == 0 || event.Form > 6) {
        text.JournalTexts.push_back(stages > 0 && hasJournal(event.Stages[0]) ? next() : std::u16string());
    } else if (event.SingleCaption) {
        text.Captions.push_back(next());
        text.JournalTexts.push_back(anyJournal ? next() : std::u16string());
    } else {
        for (size_t s = 0; s < stages; s++)
            text.Captions.push_back(next());
        for (size_t s = 0; s < stages; s++)
            text.JournalTexts.push_back(hasJournal(event.Stages[s]) ? next() : std::u16string());
    }
}

// Steps 12 to 15: every text of the scenario.
void ReadScenarioTexts(TDatFile& map, int codePage)
{
    std::u16string name;
    map.ReadWide("MapNamesWide", name);
    const bool wide = !name.empty();
    MapStory.Name = wide ? name : ReadMapText(map, "MapNames", false, codePage);
    ReadHeaderTexts(map, MapStory, wide, codePage);

    for (TTextInfo& info : BuildingTexts.Items)
        info = TTextInfo{};
    for (TTextInfo& info : ArmyTexts.Items)
        info = TTextInfo{};
    for (std::u16string& text : PointTexts.Items)
        text.clear();
    if (MapBuildings.Count > 0 && map.SelectEntry("MapBuildingText"))
        for (int32_t b = 1; b <= MapBuildings.Count; b++)
            ReadTextInfo(map, "MapBuildingText", BuildingTexts[b], wide, codePage);
    if (MapPoints.Count > 0 && map.SelectEntry("MapPointText"))
        for (int32_t p = 1; p <= MapPoints.Count; p++)
            PointTexts[p] = ReadMapText(map, "MapPointText", wide, codePage);
    if (MapArmies.Count > 0 && map.SelectEntry("MapArmyText"))
        for (int32_t a = 1; a <= MapArmies.Count; a++)
            ReadTextInfo(map, "MapArmyText", ArmyTexts[a], wide, codePage);

    StoryEventTexts.assign(static_cast<size_t>(StoryEventCount) + 1, TStoryEventText{});
    if (StoryEventCount > 0 && map.SelectEntry("MapStoryEventText"))
        for (int32_t e = 1; e <= StoryEventCount; e++)
            ReadEventTexts(map, StoryEvents[static_cast<size_t>(e)], StoryEventTexts[static_cast<size_t>(e)], wide,
                           codePage);

    if (NpcTypeCount <= 0)
        return;
    const bool stored = map.SelectEntry("MapNpcPeopleText");
    for (int32_t i = 1; i <= NpcTypeCount; i++) {
        TPersonage& type = UnitTypes[-i];
        TNamesLang& names = UnitTypeNames[-i];
        if (stored) {
            names.Name = ReadMapText(map, "MapNpcPeopleText", wide, codePage);
            names.Descript = ReadMapText(map, "MapNpcPeopleText", wide, codePage);
            SetNpcTypeTexts(i, names.Name, names.Descript);
        } else {
            names.Name = OS_MultiByteToWide(GameCodePage(), type.Name.Str());
            names.Descript = OS_MultiByteToWide(GameCodePage(), type.Description.Str());
        }
    }
}

// Step 19: a building's fix-ups.
void FixBuilding(TMapBuilding& building, const TTextInfo& texts)
{
    double angle = building.Angle;
    if (!std::isfinite(angle))
        angle = 0;
    const double degrees = std::fmod(std::nearbyint(angle * 180 / M_PI), 360.0);
    building.Angle = static_cast<float>(degrees * M_PI / 180);
    building.Cell = TMapCellXZ{RoundCell(building.Pos[0]), RoundCell(building.Pos[2])};
    const auto type = static_cast<TBuildingType>(building.BuildingType);
    if (type != TBuildingType::Town && type != TBuildingType::Castle && type != TBuildingType::Fort &&
        type != TBuildingType::Monastery && type != TBuildingType::Church)
        building.InfluenceRadius = 0;
    building.Banner = building.BannerStored;
    bool unknownItem = false;
    for (int i = 1; i <= 8; i++)
        unknownItem = unknownItem || building.ShopItems[i] > ItemCount;
    if (unknownItem)
        for (int i = 1; i <= 8; i++)
            building.ShopItems[i] = 0;
    if (building.Income >= 8) {
        building.Income = building.IncomeBonus = 0;
        building.InfluenceRadius = 0;
    }
    if (building.HasActions && building.ActionsKind == 0)
        building.ActionsKind = 6;
    const bool anyService = building.HasTreasury || building.HasActions || building.HasHire || building.HasShop ||
                            building.HasGarrison || building.ServiceE || building.ServiceF ||
                            building.HasGarrisonFolder || building.ServiceC || building.ServiceD;
    if (type == TBuildingType::Town && !anyService)
        building.BuildingType = static_cast<uint8_t>(TBuildingType::None);
    if (building.GarrisonExpPercent == 0)
        building.GarrisonExpPercent = 100;
    uint8_t* percents[5] = {&building.TradePercent[1], &building.TradePercent[2], &building.TradePercent[3],
                            &building.TradePercent[4], &building.TradePercent5};
    bool allHalf = true;
    for (uint8_t* percent : percents) {
        if (*percent == 0)
            *percent = 100;
        allHalf = allHalf && *percent == 50;
    }
    if (allHalf)
        for (uint8_t* percent : percents)
            *percent = 100;
    if (texts.Name.empty()) {
        building.OwnerArmy = -1;
        building.OwnerGroup = -1;
        for (int k = 1; k <= 6; k++)
            building.HeroStart[k] = 0;
    }
}

template <typename T> T OrDefault(T value, T byDefault)
{
    return value != 0 ? value : byDefault;
}

// Steps 17 to 22.
void ApplyFixUps()
{
    TMapStory& story = MapStory;
    story.PlayerExpPercent = OrDefault<uint16_t>(story.PlayerExpPercent, 100);
    story.HourlyExpArmy = OrDefault<uint16_t>(story.HourlyExpArmy, 100);
    story.HourlyExpGarrison = OrDefault<uint16_t>(story.HourlyExpGarrison, 100);
    story.HourlyExpPlayerGarrison = OrDefault<uint16_t>(story.HourlyExpPlayerGarrison, 100);
    story.HeroLevelLimit = OrDefault<uint8_t>(story.HeroLevelLimit, 24);
    story.UnitLevelLimit = OrDefault<uint8_t>(story.UnitLevelLimit, 24);
    story.SupportCap = OrDefault<uint8_t>(story.SupportCap, 12);
    story.PriceDivisor = OrDefault<uint16_t>(story.PriceDivisor, 10000);

    for (int32_t p = 1; p <= MapPoints.Count; p++)
        MapPoints[p].Cell = TMapCellXZ{RoundCell(MapPoints[p].Pos[0]), RoundCell(MapPoints[p].Pos[2])};
    for (int32_t b = 1; b <= MapBuildings.Count; b++)
        FixBuilding(MapBuildings[b], BuildingTexts[b]);
    for (int32_t a = 1; a <= MapArmies.Count; a++) {
        TMapArmy& army = MapArmies[a];
        if (army.Byte12 == 0)
            army.Byte12 = 8;
        if (army.SpeedPercent == 0)
            army.SpeedPercent = 100;
        army.Banner = army.BannerStored;
        if (army.ExpPercent == 0)
            army.ExpPercent = 100;
    }

    for (int32_t e = 1; e <= StoryEventCount; e++) {
        TStoryEvent& event = StoryEvents[static_cast<size_t>(e)];
        for (TStoryStage& stage : event.Stages)
            for (TStoryResult& result : stage.Results)
                if ((result.Kind == 2 || result.Kind == 3) && result.Op2 == 0) {
                    result.Op2 = 1;
                    if (result.Kind == 3)
                        result.Mode = 3;
                }
        const TStoryEventText& text = StoryEventTexts[static_cast<size_t>(e)];
        bool hasText = !text.Text.empty();
        if (event.Form != 0) {
            if (event.SingleCaption) {
                hasText = hasText || (!text.Captions.empty() && !text.Captions[0].empty());
            } else {
                for (size_t s = 0; s < event.Stages.size() && s < text.Captions.size(); s++)
                    hasText = hasText || !text.Captions[s].empty();
            }
        }
        event.HasText = hasText;
    }

    const int32_t n = MapInit.MapSizeMinus1;
    float low = 1000;
    float high = 0;
    for (int32_t x = 0; x <= n; x++)
        for (int32_t z = 0; z <= n; z++) {
            const TMapCell& cell = MapCell(x, z);
            const float height = cell.HeightBase + cell.Height / 100.0f;
            low = std::min(low, height);
            high = std::max(high, height);
        }
    TerrainHeightMin = low - 0.5f;
    TerrainHeightMax = high + 0.5f;
}

bool RefuseLoad(TDatFile& map, const std::string& why)
{
    map.Done();
    // The tables no longer hold the named scenario (or never did): a later
    // saved-game load of it must load the map again.
    LastScenarioName.clear();
    if (!why.empty())
        Repair(why);
    return false;
}

} // namespace

void SetNpcTypeTexts(int32_t npc, const std::u16string& name, const std::u16string& description)
{
    TPersonage& type = UnitTypes[-npc];
    type.Name.Assign(WideToGameAnsi(name.substr(0, 40)));
    type.Description.Assign(WideToGameAnsi(description.substr(0, 156)));
}

void BuildStoryEventCalk()
{
    constexpr int32_t MaxNumbers = 5; // the evaluation keeps marks for five armies
    StoryEventCalk.assign(StoryEvents.size(), TStoryEventCalkData{});
    for (size_t e = 1; e < StoryEvents.size(); e++) {
        const std::vector<TStoryRequire>& requirements = StoryEvents[e].Requires;
        TStoryEventCalkData& calk = StoryEventCalk[e];
        calk.ArmyNumbers.assign(requirements.size(), 0);
        for (size_t i = 0; i < requirements.size(); i++) {
            const TStoryRequire& require = requirements[i];
            if (require.Kind != 8 || !(require.Mode <= 3 || require.Mode == 6))
                continue;
            int32_t number = 0;
            for (size_t j = 0; j < i && number == 0; j++)
                if (calk.ArmyNumbers[j] > 0 && requirements[j].ValueA == require.ValueA)
                    number = calk.ArmyNumbers[j];
            if (number == 0 && calk.Count < MaxNumbers)
                number = ++calk.Count;
            else if (number == 0)
                Repair("Event " + Num(static_cast<int64_t>(e)) + ": positions of more than " + Num(MaxNumbers) +
                       " armies, army " + Num(require.ValueA) + " left out");
            calk.ArmyNumbers[i] = number;
        }
    }
}

bool LoadScenarioMap(const std::string& fileName)
{
    const std::string file = OS_ToProgramPath(fileName);
    ScenarioLoadErrors.clear();
    ScenarioLocalizationReport.clear();
    AllocateMapGrids();

    // Step 1
    const int32_t previousClass = MapStory.Name.empty() ? -1 : MapStory.SizeClass;
    MapStory.ClearReferences();
    const std::string name = LowerCaseStr(ExtractBaseName(file));
    MapChanged = name != LastScenarioName;
    LastScenarioName = name;
    ScenarioPath = ExtractPathStr(file);

    // Step 2, and the checks that keep everything inside the tables.
    TDatFile map;
    map.Init();
    if (!map.Open(file))
        return RefuseLoad(map, "");
    TMapStory header;
    TMapInit init;
    std::string why;
    if (!CheckScenarioFile(map, header, init, why))
        return RefuseLoad(map, why);

    // Step 3
    static_cast<TMapStory&>(MapStory) = header;
    const TMapSection image = ViewSection(map, "MapStoryImage", true);
    MapStoryImage.clear();
    if (image.Count > 0)
        MapStoryImage.assign(image.Bytes, image.Bytes + std::min<size_t>(image.ElementSize, image.Size));
    MapSizeChanged = MapStory.SizeClass != previousClass;
    ClearHeaderReferences(MapStory);
    ClearUnplayableHeroes(MapStory);
    const int codePage = ScenarioCodePage(MapStory.Language);

    // Steps 4 to 6
    ReadGroupRows(map, MapStory);
    MapInit = init;
    ReadLandscape(map, init.MapSizeMinus1);
    ReadTable(map, "MapTree", MapTrees);
    SceneHooks().ResizeMapPlacements(TMapPlacementList::Trees, MapTrees.Count + 1);
    ReadTable(map, "MapBuilding", MapBuildings);
    for (int32_t b = 1; b <= MapBuildings.Count; b++)
        if (MapBuildings[b].Angle < 0)
            MapBuildings[b].Angle += static_cast<float>(2 * M_PI);
    SceneHooks().ResizeMapPlacements(TMapPlacementList::Buildings, MapBuildings.Count + 1);
    SceneHooks().ClearAnimatedMapObjects();
    ReadTable(map, "MapObject", MapObjects);
    for (int32_t o = 1; o <= MapObjects.Count; o++)
        if (MapObjects[o].Angle < 0)
            MapObjects[o].Angle += static_cast<float>(2 * M_PI);
    SceneHooks().ResizeMapPlacements(TMapPlacementList::Objects, MapObjects.Count + 1);
    ReadTable(map, "MapArmy", MapArmies);
    SceneHooks().ResizeMapPlacements(TMapPlacementList::Armies, MapArmies.Count + 1);
    ReadTable(map, "MapPoint", MapPoints);
    SceneHooks().ResizeMapPlacements(TMapPlacementList::Points, MapPoints.Count + 1);

    // Steps 7 to 11
    ReadStoryEvents(map);
    BuildStoryEventCalk();
    const TMapSection sounds = ViewSection(map, "MapSounds", true);
    MapSounds.assign(std::min<uint64_t>(sounds.Count, sounds.Available()), TMapSound{});
    if (MapSounds.size() < sounds.Count)
        Repair("MapSounds: " + Num(sounds.Count) + " sounds cut to the " + Num(MapSounds.size()) + " stored");
    sounds.CopyElements(0, MapSounds.size(), MapSounds.data(), sizeof(TMapSound));
    ReadVariableNames(map, codePage);
    ReadNpcTypes(map);

    // Steps 12 to 16
    ReadScenarioTexts(map, codePage);
    map.Done();
    ApplyScenarioLocalization(FindLocalizedFile(file, MapStory), false, ScenarioLocalizationReport);

    // Steps 17 to 23
    ApplyFixUps();
    BetaLogWriteScenarioStart();
    return true;
}

bool CanLoadScenarioMap(const std::string& fileName)
{
    TDatFile map;
    map.Init();
    if (!map.Open(OS_ToProgramPath(fileName)))
        return false;
    TMapStory header;
    TMapInit init;
    std::string why;
    const bool fits = CheckScenarioFile(map, header, init, why);
    map.Done();
    return fits;
}

bool ReadScenarioHeader(const std::string& fileName)
{
    const std::string file = OS_ToProgramPath(fileName);
    ScenarioLoadErrors.clear();
    MapStoryPreview.ClearReferences();
    TDatFile map;
    map.Init();
    if (!map.Open(file))
        return false;
    const TMapSection story = ViewSection(map, "MapStory", true);
    if (story.ElementSize > sizeof(TMapStory)) {
        map.Done();
        ShowWindowedErrorBox("Game map load", fileName + "\nOlder versions of the scenarios header is not supported.");
        return false;
    }
    TMapStory header{};
    story.CopyElements(0, 1, &header, sizeof header);
    static_cast<TMapStory&>(MapStoryPreview) = header;
    ClearHeaderReferences(MapStoryPreview);
    const uint32_t rows = header.GroupCount + 1u;
    const TMapSection groups = ViewSection(map, "MapGroup", false);
    if (header.GroupCount > 0 && (groups.Count != rows || groups.ElementSize != 4 * rows)) {
        Repair("MapGroup: not " + Num(rows) + " rows of " + Num(rows) + " attitudes");
        return false;
    }
    ReadGroupRows(map, MapStoryPreview);
    const int codePage = ScenarioCodePage(header.Language);
    MapStoryPreview.Name = ReadMapText(map, "MapNames", false, codePage);
    ReadHeaderTexts(map, MapStoryPreview, false, codePage);
    ClearUnplayableHeroes(MapStoryPreview);
    // The count comes from the entry's header, unchecked: no scenario holds
    // more armies than the table takes, and the estimate multiplies it.
    PreviewArmyCount = static_cast<int32_t>(std::min<uint32_t>(ViewSection(map, "MapArmy", false).Count, MapArmyMax));
    map.Done();
    std::string report;
    ApplyScenarioLocalization(FindLocalizedFile(file, MapStoryPreview), true, report);
    return true;
}

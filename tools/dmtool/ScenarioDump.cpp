#include "tools/dmtool/ScenarioDump.h"

#include <cstdio>
#include <cstring>

#include "engine/QX9_System.h"
#include "engine/QX9_System_DatFile.h"
#include "model/ai/AIMain_Settings.h"
#include "model/tables/BuildingType.h"
#include "model/tables/Global.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/SceneHooks.h"
#include "model/Support.h"
#include "model/scenario/Terrain.h"

namespace {

std::string Out;

void Line(const std::string& text)
{
    Out += text;
    Out += '\n';
}

std::string Num(int64_t value)
{
    return std::to_string(value);
}

// A text on one line: UTF-8, with its line breaks shown as \r and \n.
std::string Text(const std::u16string& text)
{
    std::string out;
    for (const char c : OS_WideToMultiByte(CP_UTF8, text)) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string Fixed(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(value));
    return text;
}

std::string Cell(const TMapCellXZ& cell)
{
    return Num(cell.X) + "," + Num(cell.Z);
}

std::string Slots(const TRangeArray<TMapArmySlot, 0, 6>& slots)
{
    std::string out;
    for (int s = 0; s <= 6; s++)
        if (slots[s].UnitType != 0)
            out += (out.empty() ? "" : " ") + Num(slots[s].UnitType) + "x" + Num(slots[s].Count) + "/h" +
                   Num(slots[s].HireKind);
    return out.empty() ? "-" : out;
}

std::string Date(int32_t minutes)
{
    char text[64];
    std::snprintf(text, sizeof text, "day %d %02d:%02d (%d)", minutes / 1440, minutes % 1440 / 60, minutes % 60,
                  minutes);
    return text;
}

void PrintHeader(const TMapStoryData& h)
{
    static const char* const sizeNames[5] = {"512x512", "640x640", "768x768", "1024x1024", "1280x1280"};
    Line("name: " + Text(h.Name));
    Line("title: " + (h.HasTitle ? Text(h.Title) : std::string("-")));
    Line("description: " + Text(h.Description));
    Line("size class: " + Num(h.SizeClass) + " (" + (h.SizeClass < 5 ? sizeNames[h.SizeClass] : "?") + ")");
    Line("start date: " + Date(h.StartDate));
    std::string heroes;
    for (int k = 1; k <= 6; k++)
        if (h.HeroAvailable[k])
            heroes += " " + Num(k);
    Line("hero kinds:" + (heroes.empty() ? std::string(" -") : heroes));
    for (int k = 1; k <= 6; k++) {
        const TMapHero& hero = h.Heroes[k];
        if (hero.Slots[0].UnitType == 0)
            continue;
        Line("hero " + Num(k) + ": gold " + Num(hero.Gold) + ", support " + Num(hero.SupportBase) + ", income " +
             Num(hero.DailyIncome) + ", banner " + Num(hero.Banner) + ", slots " + Slots(hero.Slots));
    }
    std::string next;
    for (int n = 1; n <= 3; n++)
        if (h.NextEvent[n] > 0)
            next += " " + Num(n) + ":" + Text(h.NextScenario[n]) + "@event" + Num(EventOfReference(h.NextEvent[n]));
    Line("events: victory " + Num(EventOfReference(h.VictoryEvent)) + ", end " + Num(EventOfReference(h.EndEvent)) +
         ", next" + (next.empty() ? std::string(" -") : next));
    Line("lists: unlisted " + Num(h.Unlisted) + ", group " + Num(h.ListGroup) + ", not ready " + Num(h.NotReady) +
         ", flag " + Num(h.ListFlag) + ", tutorial " + Num(h.Tutorial) + ", language " +
         (h.Language < LanguageCount ? LanguageNames[h.Language] : "?"));
    Line("carry-over: recruits " + Num(h.KeepRecruits) + ", companions " + Num(h.KeepCompanions) + ", equipment " +
         Num(h.KeepEquipment) + ", inventory " + Num(h.KeepInventory) + ", experience " + Num(h.KeepExperience) +
         ", gold " + Num(h.KeepGold) + ", followers " + Num(h.KeepFollowers) + ", priceless " +
         Num(h.KeepPricelessItems) + ", days between " + Num(h.DaysBetween));
    for (size_t g = 0; g < h.GroupNames.size(); g++) {
        std::string row;
        if (g < h.GroupRelations.size())
            for (const int32_t attitude : h.GroupRelations[g])
                row += " " + Num(attitude);
        Line("group " + Num(static_cast<int64_t>(g)) + ": " + Text(h.GroupNames[g]) + " |" + row);
    }
}

void PrintSections(TDatFile& map)
{
    Line("sections:");
    for (const TDatEntry& entry : map.Entries)
        Line("  " + DatEntryName(entry) + " " + Num(entry.ElementSize) + " x " + Num(entry.ElementCount));
}

void PrintTables()
{
    const TMapStory& h = MapStory;
    Line("rules: player exp " + Num(h.PlayerExpPercent) + ", hourly exp " + Num(h.HourlyExpArmy) + "/" +
         Num(h.HourlyExpGarrison) + "/" + Num(h.HourlyExpPlayerGarrison) + ", hero level " + Num(h.HeroLevelLimit) +
         ", unit level " + Num(h.UnitLevelLimit) + ", support cap " + Num(h.SupportCap) + ", price divisor " +
         Num(h.PriceDivisor) + ", treasury mode " + Num(h.TreasuryMode) + ", save mark " + Num(h.SaveMark));
    Line("map: " + Num(MapInit.MapSizeMinus1 + 1) + " x " + Num(MapInit.MapSizeMinus1 + 1) + ", save stamp " +
         Num(MapInit.SaveStamp) + ", ford threshold " + Num(MapInit.ShallowLimit) + ", heights " +
         Fixed(TerrainHeightMin) + ".." + Fixed(TerrainHeightMax));
    size_t requirements = 0, stages = 0, results = 0;
    for (int32_t e = 1; e <= StoryEventCount; e++) {
        requirements += StoryEvents[static_cast<size_t>(e)].Requires.size();
        stages += StoryEvents[static_cast<size_t>(e)].Stages.size();
        for (const TStoryStage& stage : StoryEvents[static_cast<size_t>(e)].Stages)
            results += stage.Results.size();
    }
    Line("counts: trees " + Num(MapTrees.Count) + ", buildings " + Num(MapBuildings.Count) + ", objects " +
         Num(MapObjects.Count) + ", armies " + Num(MapArmies.Count) + ", points " + Num(MapPoints.Count) + ", events " +
         Num(StoryEventCount) + " (requirements " + Num(static_cast<int64_t>(requirements)) + ", stages " +
         Num(static_cast<int64_t>(stages)) + ", results " + Num(static_cast<int64_t>(results)) + "), sounds " +
         Num(static_cast<int64_t>(MapSounds.size())) + ", variables " + Num(ScenarioVariableCount) + ", NPC types " +
         Num(NpcTypeCount) + ", image bytes " + Num(static_cast<int64_t>(MapStoryImage.size())));

    for (int32_t b = 1; b <= MapBuildings.Count; b++) {
        const TMapBuilding& r = MapBuildings[b];
        const TTextInfo& t = BuildingTexts[b];
        Line("building " + Num(b) + " uid " + Num(r.Uid) + " type " +
             (r.BuildingType < BuildingTypeCount ? BuildingTypeNames[r.BuildingType] : "?") + " model " +
             (r.Model >= 0 && r.Model <= BuildingModelCount ? BuildingModelNames[r.Model] : "?") + " cell " +
             Cell(r.Cell) + " angle " + Fixed(r.Angle) + " owner " + Num(r.OwnerArmy) + "/" + Num(r.OwnerGroup) +
             " garrison " + Slots(r.Garrison) + ": " + Text(t.Name) + " / " + Text(t.Suffix) + " | " +
             Text(t.Description));
    }
    for (int32_t a = 1; a <= MapArmies.Count; a++) {
        const TMapArmy& r = MapArmies[a];
        const TTextInfo& t = ArmyTexts[a];
        Line("army " + Num(a) + " uid " + Num(r.Uid) + " behaviour " +
             (r.Behavior < ArmyBehaviorCount ? ArmyBehaviorNames[r.Behavior] : "?") + " group " + Num(r.Group) +
             " active " + Num(r.Active) + " speed " + Num(r.SpeedPercent) + " banner " + Num(r.Banner) + " slots " +
             Slots(r.Slots) + ": " + Text(t.Name) + " / " + Text(t.Suffix) + " | " + Text(t.Description));
    }
    for (int32_t p = 1; p <= MapPoints.Count; p++) {
        const TMapPoint& r = MapPoints[p];
        Line("point " + Num(p) + " uid " + Num(r.Uid) + " kind " + Num(r.Kind) + " cell " + Cell(r.Cell) + " radius " +
             Num(r.Radius) + " closed " + Num(r.ClosedAtStart) + ": " + Text(PointTexts[p]));
    }
    for (int32_t e = 1; e <= StoryEventCount; e++) {
        const TStoryEvent& r = StoryEvents[static_cast<size_t>(e)];
        const TStoryEventText& t = StoryEventTexts[static_cast<size_t>(e)];
        Line("event " + Num(e) + " uid " + Num(r.Uid) + " form " + Num(r.Form) + " requirements " +
             Num(r.RequireCount) + " stages " + Num(r.StageCount) + " has text " + Num(r.HasText) + ": " +
             Text(t.Title) + " | " + Text(t.Text));
        for (size_t s = 0; s < t.StageTexts.size(); s++)
            Line("  stage text " + Num(static_cast<int64_t>(s)) + ": " + Text(t.StageTexts[s]));
        for (size_t s = 0; s < t.Captions.size(); s++)
            Line("  caption " + Num(static_cast<int64_t>(s)) + ": " + Text(t.Captions[s]));
        for (size_t s = 0; s < t.JournalTexts.size(); s++)
            Line("  journal " + Num(static_cast<int64_t>(s)) + ": " + Text(t.JournalTexts[s]));
    }
    for (int32_t v = 1; v <= ScenarioVariableCount; v++)
        Line("variable " + Num(v) + ": " + Text(ScenarioVariableNames[static_cast<size_t>(v)]));
    for (int32_t i = 1; i <= NpcTypeCount; i++) {
        const TPersonage& r = UnitTypes[-i];
        std::string bonuses;
        for (int b = 1; b <= 8; b++)
            if (r.Bonus[b] != 0)
                bonuses += " " + std::string(BonusNames[r.Bonus[b]]);
        for (int b = 1; b <= 8; b++)
            if (r.BonusAdd[b] != 0)
                bonuses += " +" + std::string(BonusNames[r.BonusAdd[b]]);
        Line("NPC type " + Num(-i) + " uid " + Num(r.Uid) + " tag " + r.TagName.Str() + " base " + Num(r.UnitType) +
             " attack mode " + Num(r.AttackMode) + " wound limit " + Num(r.WoundLimit) + " bonuses" +
             (bonuses.empty() ? std::string(" -") : bonuses) + ": " + Text(UnitTypeNames[-i].Name) + " | " +
             Text(UnitTypeNames[-i].Descript));
    }
}

void PrintTerrain()
{
    const int32_t n = MapInit.MapSizeMinus1;
    LoadingProgress = 0;
    SceneHooks().BuildTerrainModel(true);
    SceneHooks().UpdateMapChunks({});
    const int32_t lo = n >= 256 ? 128 : 0, hi = n >= 256 ? n - 128 : n;
    int64_t classes[14] = {};
    int64_t passable = 0, square = 0, covered = 0, trees = 0;
    for (int32_t x = 0; x <= n; x++)
        for (int32_t z = 0; z <= n; z++) {
            const TTerrainVertex& v = TerrainVertex(x, z);
            classes[v.GroundClass < 14 ? v.GroundClass : 0]++;
            covered += v.Cover != 0;
            trees += v.Tree != 0;
            if (x >= lo && x <= hi && z >= lo && z <= hi) {
                square++;
                passable += v.Cost != 0;
            }
        }
    std::string ground;
    for (int c = 1; c <= 13; c++)
        ground += " " + Num(c) + ":" + Num(classes[c]);
    Line("terrain: chunks " + Num(Chunks64PerSide) + " a side, passable " + Num(passable) + " of " + Num(square) +
         " in " + Num(lo) + ".." + Num(hi) + ", covered " + Num(covered) + ", tree anchors " + Num(trees) +
         ", progress steps " + Num(LoadingProgress));
    Line("ground classes:" + ground);
}

uint32_t Crc(uint32_t crc, const void* data, size_t size)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; i++)
        crc = Crc32Update(bytes[i], crc);
    return crc;
}

uint32_t Crc(uint32_t crc, const std::u16string& text)
{
    crc = Crc(crc, text.data(), text.size() * sizeof(char16_t));
    return Crc32Update(0xFF, crc);
}

uint32_t TablesCrc()
{
    uint32_t crc = 0xFFFFFFFFu;
    crc = Crc(crc, static_cast<const TMapStory*>(&MapStory), sizeof(TMapStory));
    crc = Crc(crc, MapStory.Name);
    crc = Crc(crc, MapStory.Description);
    crc = Crc(crc, MapStory.Title);
    for (const std::u16string& name : MapStory.GroupNames)
        crc = Crc(crc, name);
    for (const TIntArray& row : MapStory.GroupRelations)
        crc = Crc(crc, row.data(), row.size() * 4);
    for (int n = 1; n <= 3; n++)
        crc = Crc(crc, MapStory.NextScenario[n]);
    crc = Crc(crc, &MapInit, sizeof MapInit);
    for (int32_t x = 0; x <= MapInit.MapSizeMinus1; x++)
        crc = Crc(crc, &MapCell(x, 0), sizeof(TMapCell) * static_cast<size_t>(MapInit.MapSizeMinus1 + 1));
    crc = Crc(crc, &MapTrees[1], sizeof(TMapTree) * static_cast<size_t>(MapTrees.Count));
    crc = Crc(crc, &MapBuildings[1], sizeof(TMapBuilding) * static_cast<size_t>(MapBuildings.Count));
    crc = Crc(crc, &MapObjects[1], sizeof(TMapObject) * static_cast<size_t>(MapObjects.Count));
    crc = Crc(crc, &MapArmies[1], sizeof(TMapArmy) * static_cast<size_t>(MapArmies.Count));
    crc = Crc(crc, &MapPoints[1], sizeof(TMapPoint) * static_cast<size_t>(MapPoints.Count));
    for (int32_t b = 1; b <= MapBuildings.Count; b++)
        crc = Crc(Crc(Crc(crc, BuildingTexts[b].Name), BuildingTexts[b].Suffix), BuildingTexts[b].Description);
    for (int32_t a = 1; a <= MapArmies.Count; a++)
        crc = Crc(Crc(Crc(crc, ArmyTexts[a].Name), ArmyTexts[a].Suffix), ArmyTexts[a].Description);
    for (int32_t p = 1; p <= MapPoints.Count; p++)
        crc = Crc(crc, PointTexts[p]);
    for (int32_t e = 1; e <= StoryEventCount; e++) {
        const TStoryEvent& event = StoryEvents[static_cast<size_t>(e)];
        crc = Crc(crc, static_cast<const TStoryEventStart*>(&event), sizeof(TStoryEventStart));
        crc = Crc(crc, event.Requires.data(), event.Requires.size() * sizeof(TStoryRequire));
        for (const TStoryStage& stage : event.Stages) {
            crc = Crc(crc, static_cast<const TSelect*>(&stage), sizeof(TSelect));
            crc = Crc(crc, stage.Results.data(), stage.Results.size() * sizeof(TStoryResult));
        }
        crc = Crc(crc, StoryEventCalk[static_cast<size_t>(e)].ArmyNumbers.data(),
                  StoryEventCalk[static_cast<size_t>(e)].ArmyNumbers.size() * 4);
        const TStoryEventText& text = StoryEventTexts[static_cast<size_t>(e)];
        crc = Crc(Crc(crc, text.Title), text.Text);
        for (const TWideStringArray* list : {&text.StageTexts, &text.Captions, &text.JournalTexts})
            for (const std::u16string& item : *list)
                crc = Crc(crc, item);
    }
    crc = Crc(crc, MapSounds.data(), MapSounds.size() * sizeof(TMapSound));
    for (const std::u16string& name : ScenarioVariableNames)
        crc = Crc(crc, name);
    for (int32_t i = 1; i <= NpcTypeCount; i++) {
        crc = Crc(crc, &UnitTypes[-i], sizeof(TPersonage));
        crc = Crc(Crc(crc, UnitTypeNames[-i].Name), UnitTypeNames[-i].Descript);
    }
    return crc ^ 0xFFFFFFFFu;
}

bool Flush()
{
    std::fwrite(Out.data(), 1, Out.size(), stdout);
    Out.clear();
    return std::fflush(stdout) == 0;
}

} // namespace

bool DumpScenario(const std::string& file, std::string& error)
{
    Out.clear();
    TDatFile map;
    map.Init();
    if (!map.Open(file)) {
        error = "can't open " + file + " as a scenario file";
        return false;
    }
    Line("file: " + ExtractNameStr(OS_ToProgramPath(file)));
    PrintSections(map);
    map.Done();
    if (!LoadScenarioMap(file)) {
        for (const std::string& line : ScenarioLoadErrors)
            Line("refused: " + line);
        Flush();
        error = "the scenario file was refused";
        return false;
    }
    PrintHeader(MapStory);
    PrintTables();
    if (!ScenarioLocalizationReport.empty())
        Line("localisation: " + Text(OS_MultiByteToWide(CP_UTF8, ScenarioLocalizationReport)));
    for (const std::string& line : ScenarioLoadErrors)
        Line("repair: " + line);
    PrintTerrain();
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08X", TablesCrc());
    Line(std::string("tables crc32: ") + crc);
    return Flush();
}

bool DumpScenarioHeader(const std::string& file, std::string& error)
{
    Out.clear();
    if (!ReadScenarioHeader(file)) {
        error = "the header of " + file + " can't be read";
        return false;
    }
    Line("file: " + ExtractNameStr(OS_ToProgramPath(file)));
    PrintHeader(MapStoryPreview);
    Line("armies: " + Num(PreviewArmyCount) + ", loading estimate " + Num(EstimateScenarioLoading()));
    for (const std::string& line : ScenarioLoadErrors)
        Line("repair: " + line);
    return Flush();
}

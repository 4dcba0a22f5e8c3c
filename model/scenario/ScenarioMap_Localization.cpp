// ScenarioMap_Localization: a scenario's texts in another language, from an
// ini file beside the scenario whose extension is the language's code. Each
// section holds the texts of one record, one line each, in the order the
// scenario file stores them.
#include <algorithm>

#include "model/tables/Global.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/Support.h"

namespace {

// The report's groups, in the order they are written.
enum TReportGroup { rgArmies, rgBuildings, rgPoints, rgEvents, rgEventTags, rgNpcTypes, rgCount };
const char* const ReportLabels[rgCount] = {"Armys UID ",  "Buildings UID ",  "Points UID ",
                                           "Events UID ", "Events tag UID ", "NPC units UID "};

std::string UidText(int32_t uid)
{
    return std::to_string(uid);
}

bool HasJournal(const TSelect& stage)
{
    return stage.JournalQuest != 0 || stage.JournalNote != 0;
}

// An entry of a text list, made when the list is shorter.
std::u16string& ListEntry(TWideStringArray& list, size_t index)
{
    if (list.size() <= index)
        list.resize(index + 1);
    return list[index];
}

// Replaces a text from the file; a change of its tags marks the event.
void ReplaceTagged(TIniFile& ini, std::u16string& text, bool& tagChanged)
{
    std::u16string line = ReadLocalizedLine(ini);
    if (ExtractTextTags(line) != ExtractTextTags(text))
        tagChanged = true;
    text = std::move(line);
}

// An event's section; false when its lines are not used up exactly.
bool ApplyEventSection(TIniFile& ini, const TStoryEvent& event, TStoryEventText& text, bool& tagChanged)
{
    const size_t stages = event.Stages.size();
    text.Title = ReadLocalizedLine(ini);
    ReplaceTagged(ini, text.Text, tagChanged);
    if (event.Form == 2)
        for (size_t s = 0; s < stages; s++)
            ListEntry(text.StageTexts, s) = ReadLocalizedLine(ini);
    bool anyJournal = false;
    for (const TStoryStage& stage : event.Stages)
        anyJournal = anyJournal || HasJournal(stage);
    if (event.Form == 0 || event.Form > 6) {
        if (stages > 0 && HasJournal(event.Stages[0]))
            ListEntry(text.JournalTexts, 0) = ReadLocalizedLine(ini);
    } else if (event.SingleCaption) {
        ReplaceTagged(ini, ListEntry(text.Captions, 0), tagChanged);
        if (anyJournal)
            ListEntry(text.JournalTexts, 0) = ReadLocalizedLine(ini);
    } else {
        for (size_t s = 0; s < stages; s++)
            ReplaceTagged(ini, ListEntry(text.Captions, s), tagChanged);
        for (size_t s = 0; s < stages; s++)
            ListEntry(text.JournalTexts, s) = HasJournal(event.Stages[s]) ? ReadLocalizedLine(ini) : std::u16string();
    }
    return ini.KeyCursor() == ini.KeyCount();
}

} // namespace

std::u16string ReadLocalizedLine(TIniFile& ini)
{
    std::u16string line = ini.NextLineWide();
    if (line == u"-//-")
        return std::u16string();
    for (const char16_t* marker : {u" <br>", u"<br>", u" %/", u"%/"})
        line = ReplaceAllWide(line, marker, u"\r\n");
    return line;
}

void SplitNameSuffix(std::u16string& name, std::u16string& suffix)
{
    const size_t slash = name.find(u'/');
    if (slash == std::u16string::npos) {
        suffix.clear();
        return;
    }
    suffix = TrimWide(name.substr(slash + 1));
    name = TrimWide(name.substr(0, slash));
}

std::u16string ExtractTextTags(const std::u16string& text)
{
    std::u16string plain = text;
    for (const char16_t* marker : {u"<m>", u"</m>", u"<f>", u"</f>"})
        plain = ReplaceAllWide(plain, marker, u"");
    std::u16string tags;
    for (size_t open = plain.find(u'<'); open != std::u16string::npos; open = plain.find(u'<', open)) {
        const size_t close = plain.find(u'>', open);
        if (close == std::u16string::npos)
            break;
        tags += plain.substr(open, close - open + 1);
        open = close + 1;
    }
    return tags;
}

std::string FindLocalizedFile(const std::string& scenarioFile, const TMapStory& header)
{
    const int languages[3] = {static_cast<int>(CurrentLanguage), static_cast<int>(TLanguage::Eng), header.Language};
    const std::string folder = ExtractPathStr(scenarioFile);
    const std::string name = ExtractNameStr(scenarioFile);
    for (const int language : languages) {
        if (language < 0 || language >= LanguageCount)
            continue;
        const std::string candidate = folder + ChangeExtStr(name, LanguageNames[language]);
        if (FileExistsMask(candidate))
            return candidate;
    }
    return std::string();
}

void ApplyScenarioLocalization(const std::string& fileName, bool headerOnly, std::string& report)
{
    report.clear();
    if (fileName.empty())
        return;
    const std::string file = OS_ToProgramPath(fileName);
    TIniFile ini;
    ini.Load(file);

    TMapStoryData& story = headerOnly ? MapStoryPreview : MapStory;
    if (ini.SelectSection("Name")) {
        story.Name = ReadLocalizedLine(ini);
        story.Description = ReadLocalizedLine(ini);
        if (story.HasTitle)
            story.Title = ReadLocalizedLine(ini);
    }
    if (headerOnly)
        return;

    if (story.GroupCount > 0 && ini.SelectSection("Group"))
        for (std::u16string& name : story.GroupNames)
            name = ReadLocalizedLine(ini);

    TStringArray missing[rgCount];
    for (int32_t a = 1; a <= MapArmies.Count; a++) {
        const int32_t uid = MapArmies[a].Uid;
        if (!ini.SelectSection("A#" + UidText(uid))) {
            missing[rgArmies].push_back(UidText(uid));
            continue;
        }
        TTextInfo& texts = ArmyTexts[a];
        texts.Name = ReadLocalizedLine(ini);
        SplitNameSuffix(texts.Name, texts.Suffix);
        texts.Description = ReadLocalizedLine(ini);
    }
    for (int32_t b = 1; b <= MapBuildings.Count; b++) {
        const int32_t uid = MapBuildings[b].Uid;
        TTextInfo& texts = BuildingTexts[b];
        if (!ini.SelectSection("B#" + UidText(uid))) {
            if (!texts.Name.empty())
                missing[rgBuildings].push_back(UidText(uid));
            continue;
        }
        texts.Name = ReadLocalizedLine(ini);
        SplitNameSuffix(texts.Name, texts.Suffix);
        texts.Description = ReadLocalizedLine(ini);
    }
    for (int32_t p = 1; p <= MapPoints.Count; p++) {
        const int32_t uid = MapPoints[p].Uid;
        if (!ini.SelectSection("P#" + UidText(uid))) {
            if (!PointTexts[p].empty())
                missing[rgPoints].push_back(UidText(uid));
            continue;
        }
        PointTexts[p] = ReadLocalizedLine(ini);
    }
    StoryEventTexts.resize(static_cast<size_t>(StoryEventCount) + 1);
    for (int32_t e = 1; e <= StoryEventCount; e++) {
        const TStoryEvent& event = StoryEvents[static_cast<size_t>(e)];
        bool tagChanged = false;
        if (!ini.SelectSection("E#" + UidText(event.Uid)) ||
            !ApplyEventSection(ini, event, StoryEventTexts[static_cast<size_t>(e)], tagChanged))
            missing[rgEvents].push_back(UidText(event.Uid));
        if (tagChanged)
            missing[rgEventTags].push_back(UidText(event.Uid));
    }
    for (int32_t i = 1; i <= NpcTypeCount; i++) {
        const int32_t uid = UnitTypes[-i].Uid;
        if (!ini.SelectSection("U#" + UidText(uid))) {
            missing[rgNpcTypes].push_back(UidText(uid));
            continue;
        }
        TNamesLang& names = UnitTypeNames[-i];
        names.Name = ReadLocalizedLine(ini);
        names.Descript = ReadLocalizedLine(ini);
        SetNpcTypeTexts(i, names.Name, names.Descript);
    }

    std::string groups;
    for (int g = 0; g < rgCount; g++) {
        if (missing[g].empty())
            continue;
        groups += "\n" + std::string(ReportLabels[g]) + missing[g][0];
        for (size_t i = 1; i < missing[g].size(); i++)
            groups += ", " + missing[g][i];
    }
    if (!groups.empty())
        report = "Errors in localisation file - " + ExtractNameStr(file) + groups;
}

#include "screens/map/Duskmarch_EventText.h"

#include <algorithm>
#include <cmath>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/kit/Duskmarch_Base_Sound.h"

std::vector<TDialoguePage> DialoguePages;
std::vector<TEventSpeaker> EventSpeakers;
int32_t EventPartnerArmy = 0;

namespace {

constexpr size_t npos = std::u16string::npos;

void ReplaceAll(std::u16string& text, const std::u16string& from, const std::u16string& to)
{
    size_t at = text.find(from);
    while (at != npos) {
        text.replace(at, from.size(), to);
        at = text.find(from, at + to.size());
    }
}

// Deletes each block from its opening tag through its closing tag; an
// unclosed block runs to the end of the text.
void DeleteBlocks(std::u16string& text, const std::u16string& open, const std::u16string& close)
{
    size_t at = text.find(open);
    while (at != npos) {
        const size_t end = text.find(close, at + open.size());
        text.erase(at, end == npos ? npos : end + close.size() - at);
        at = text.find(open, at);
    }
}

std::u16string LowerAscii(std::u16string text)
{
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

// A "<name=N>" cue: at the first tag with at least ten units from its "<" to
// the end, the number before ">" within the next 11 units; the tag goes
// through ">", or only its head when ">" is missing or comes first.
// Returns the number, -1 when none was read.
int64_t TakeCue(std::u16string& text, const std::u16string& head)
{
    const size_t at = text.find(head);
    if (at == npos || text.size() - at < 10)
        return -1;
    const size_t after = at + head.size();
    const size_t window = std::min<size_t>(11, text.size() - after);
    size_t close = npos;
    for (size_t i = 0; i < window; ++i)
        if (text[after + i] == u'>') {
            close = i;
            break;
        }
    if (close == npos || close == 0) {
        text.erase(at, head.size());
        return -1;
    }
    int64_t number = 0;
    for (size_t i = 0; i < close; ++i)
        if (text[after + i] >= u'0' && text[after + i] <= u'9')
            number = number * 10 + (text[after + i] - u'0');
    text.erase(at, head.size() + close + 1);
    return number;
}

bool IsHeroType(int32_t unitType)
{
    return unitType >= 1 && unitType <= 6;
}

int32_t FirstPersonageType(int32_t army)
{
    if (army < 0 || static_cast<size_t>(army) >= ArmyUnits.size())
        return 0;
    return ArmyUnits[static_cast<size_t>(army)][1].UnitType;
}

bool IsKnownUnitType(int32_t unitType)
{
    return unitType != 0 && unitType <= UnitTypeCount && unitType >= -NpcTypeCount;
}

int32_t RandomSpeakerType()
{
    if (ArmyUnits.empty() || GameArmies.empty())
        return 0;
    const int32_t count = std::min<int32_t>(GameArmies[PlayerArmy].PersonageCount, ArmySlotCount);
    if (count <= 1)
        return 0;
    std::vector<int32_t> candidates;
    for (int32_t slot = 1; slot <= count; ++slot) {
        const TPersonage& p = ArmyUnits[PlayerArmy][slot];
        if (p.UnitType > 6 && p.Used == 1)
            candidates.push_back(p.UnitType);
    }
    if (candidates.size() >= 2)
        return candidates[static_cast<size_t>(RandomInt(static_cast<int32_t>(candidates.size())))];
    if (candidates.size() == 1)
        return candidates[0];
    // The fallback only when the tables hold it.
    return IsKnownUnitType(RandomSpeakerFallbackType) ? RandomSpeakerFallbackType : 0;
}

// The text of a page: what follows its tag up to the next one.
std::u16string PageText(const std::u16string& raw, bool& tooShort)
{
    std::u16string text = raw;
    if (text.compare(0, 2, u": ") == 0)
        text.erase(0, 2);
    else if (text.compare(0, 1, u":") == 0)
        text.erase(0, 1);
    tooShort = text.size() < 2;
    if (tooShort)
        return std::u16string();
    if (text.back() == u'\r')
        text.pop_back();
    ReplaceAll(text, u"\u2026", u"...");
    return TrimWide(text);
}

TDialoguePage OpenPage(const std::u16string& key)
{
    TDialoguePage page;
    page.Side = 2;
    const std::u16string lower = LowerCaseWide(key);
    int32_t model = 0;
    bool named = false;
    if (lower == u"hero") {
        page.Side = 1;
        model = FirstPersonageType(PlayerArmy);
    } else if (lower == u"random") {
        model = RandomSpeakerType();
    } else if (lower == u"author") {
        page.Side = 1;
        named = true; // the narrator has neither model nor name
    } else {
        const int32_t leader = MetPlayerArmy > 0 ? MetPlayerArmy : EventPartnerArmy;
        if (lower == u"leader" && leader > 0 && static_cast<size_t>(leader) < ArmyUnits.size()) {
            model = FirstPersonageType(leader);
            const std::u16string name = ArmyTexts[leader].Suffix;
            if (!name.empty() && name != u"не определено") {
                page.SpeakerName = name;
                named = true;
            }
        } else {
            model = FindSpeakerUnitType(lower);
        }
    }
    if (IsKnownUnitType(model)) {
        page.HasModel = 1;
        page.UnitType = model;
    }
    if (page.HasModel == 0 && !named)
        page.SpeakerName = key;
    return page;
}

} // namespace

std::u16string FilterEventTextFor(const std::u16string& source, int32_t heroKind, const std::u16string& heroName,
                                  int32_t sfxCount, TEventTextCues& cues)
{
    cues = TEventTextCues{};
    std::u16string text = source;
    ReplaceAll(text, u"F>", u"f>");
    ReplaceAll(text, u"M>", u"m>");
    ReplaceAll(text, u"knight>", u"kn>");
    ReplaceAll(text, u"mystic>", u"my>");
    ReplaceAll(text, u"baroness>", u"ba>");

    struct TKindBlocks {
        int32_t Kind;
        const char16_t* Keep[2];
        const char16_t* Drop[3];
    };
    static const TKindBlocks kinds[] = {
        {1, {u"m", u"kn"}, {u"f", u"my", u"ba"}},
        {2, {u"m", u"my"}, {u"f", u"kn", u"ba"}},
        {6, {u"f", u"ba"}, {u"m", u"kn", u"my"}},
    };
    for (const TKindBlocks& k : kinds) {
        if (k.Kind != heroKind)
            continue;
        for (const char16_t* tag : k.Keep) {
            ReplaceAll(text, u"<" + std::u16string(tag) + u">", u"");
            ReplaceAll(text, u"</" + std::u16string(tag) + u">", u"");
        }
        for (const char16_t* tag : k.Drop)
            DeleteBlocks(text, u"<" + std::u16string(tag) + u">", u"</" + std::u16string(tag) + u">");
    }

    // Only the text's first "#" may start the hero's name.
    const size_t hash = text.find(u'#');
    if (hash != npos && text.size() - hash >= 9) {
        const std::u16string written = text.substr(hash, 9);
        if (LowerAscii(written) == u"#heroname")
            ReplaceAll(text, written, heroName);
    }

    const int64_t music = TakeCue(text, u"<music=");
    if (music >= 0 && music <= 99)
        cues.Music = static_cast<int32_t>(music);
    const int64_t sfx = TakeCue(text, u"<sfx=");
    if (sfx >= 1 && sfx <= sfxCount)
        cues.Sfx = static_cast<int32_t>(sfx);
    return text;
}

void FilterEventText(const std::u16string& text, std::u16string& result)
{
    TEventTextCues cues;
    result = FilterEventTextFor(text, HeroKind, HeroName, static_cast<int32_t>(SfxList.size()), cues);
    if (cues.Music >= 0 && !(CurrentMusicTrack >= 60 && CurrentMusicTrack <= 68))
        PlayMusicTrack(cues.Music, 0);
    if (cues.Sfx > 0)
        Sound_Play(SfxList[static_cast<size_t>(cues.Sfx - 1)].Variants[0].Sound, true, false);
}

void InstallEventTextFilter()
{
    PlayServices.FilterEventText = [](const std::u16string& text) {
        std::u16string result;
        FilterEventText(text, result);
        return result;
    };
}

int32_t FindSpeakerUnitType(const std::u16string& lowerKey)
{
    if (lowerKey.empty())
        return 0;
    for (int32_t t = std::min(UnitTypeCount, UnitTypeMax); t >= -std::min(NpcTypeCount, UnitTypeMax); --t) {
        if (t == 0)
            continue;
        if (LowerCaseWide(UnitTypeNames[t].Name) == lowerKey)
            return t;
    }
    return 0;
}

void AddEventSpeaker(int32_t unitType)
{
    for (const TEventSpeaker& s : EventSpeakers)
        if (s.UnitType == unitType)
            return;
    TEventSpeaker speaker;
    speaker.UnitType = unitType;
    EventSpeakers.push_back(speaker);
}

void SplitDialoguePages(const std::u16string& source)
{
    DialoguePages.clear();
    std::u16string text = source;
    const size_t preamble = text.find(u"<preamb");
    const size_t preambleEnd = text.find(u"</preamb>");
    if (preamble != npos && preambleEnd != npos && preamble < preambleEnd)
        text.erase(preamble, preambleEnd + 9 - preamble);
    ReplaceAll(text, u"<P", u"<p");
    ReplaceAll(text, u"< P", u"<p");
    ReplaceAll(text, u"< p", u"<p");

    bool open = false;
    size_t contentStart = 0;
    size_t at = text.find(u"<p=");
    while (at != npos) {
        bool reuse = false;
        if (open) {
            bool tooShort = false;
            DialoguePages.back().Text = PageText(text.substr(contentStart, at - contentStart), tooShort);
            reuse = tooShort; // a page too short to show gives its place to this one
        }
        const size_t keyStart = at + 3;
        const size_t close = text.find(u'>', keyStart);
        const std::u16string key = text.substr(keyStart, close == npos ? npos : close - keyStart);
        if (reuse)
            DialoguePages.back() = OpenPage(key);
        else
            DialoguePages.push_back(OpenPage(key));
        open = true;
        contentStart = close == npos ? text.size() : close + 1;
        at = text.find(u"<p=", contentStart);
    }
    if (open) {
        bool tooShort = false;
        DialoguePages.back().Text = PageText(text.substr(contentStart), tooShort);
        if (tooShort)
            DialoguePages.pop_back();
    }
    if (DialoguePages.empty()) {
        TDialoguePage page;
        page.Text = text;
        DialoguePages.push_back(page);
        return;
    }
    for (size_t i = 1; i < DialoguePages.size(); ++i) {
        const TDialoguePage& previous = DialoguePages[i - 1];
        DialoguePages[i].Side = DialoguePages[i].UnitType == previous.UnitType ? previous.Side
                                : previous.Side == 1                           ? 2
                                                                               : 1;
    }
    for (const TDialoguePage& page : DialoguePages)
        if (page.HasModel != 0)
            AddEventSpeaker(page.UnitType);
}

int32_t EventTextWidth(int32_t width, int32_t height, bool picture)
{
    constexpr double wideShape = 1.78666;
    if (picture) {
        const double w = static_cast<double>(width) / height < wideShape ? width / 3.0 : height * wideShape / 3.0;
        return static_cast<int32_t>(std::nearbyint(w));
    }
    return std::clamp(width / 2, 700, 1000);
}

TSpeakerPlace EventSpeakerPlace(int32_t side, int32_t width, int32_t height)
{
    constexpr float pi = 3.14159265358979f;
    const float k = (16.0f / 9.0f - static_cast<float>(width) / static_cast<float>(height)) * 0.7579f;
    TSpeakerPlace place;
    place.X = -6.3f;
    place.Z = side == 1 ? -(1.4f - k) : 1.4f - k;
    place.Angle = side == 1 ? -pi / 5 : pi / 5;
    return place;
}

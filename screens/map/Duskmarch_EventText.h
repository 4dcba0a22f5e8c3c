// Story event texts: the author's mark-up filtered for the current hero
// (variants per hero kind, the hero's name, music and sound cues) and split
// into dialogue pages, each with a speaker. The event window lays the pages
// out and shows the speakers' models beside the text.
//
// Texts are UTF-16; every count and position below counts UTF-16 units.
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TDialoguePage {
    std::u16string SpeakerName;
    std::u16string Text;
    uint8_t HasModel = 0;
    int32_t UnitType = 0; // UnitTypes index, negative for scenario personages
    int32_t Side = 0;     // 0 none, 1 left, 2 right
    int32_t ShownAt = 0;  // engine ms the page was shown
};

struct TEventSpeaker {
    uint8_t Loaded = 0;
    int32_t UnitType = 0;
    int32_t ShownSide = 0; // 0 hidden, 1 left, 2 right
};

extern std::vector<TDialoguePage> DialoguePages;
extern std::vector<TEventSpeaker> EventSpeakers;
// The army whose talk the building screen's Encounters tab started, 0 none;
// a "leader" page speaks for it when no army met the player's this frame.
extern int32_t EventPartnerArmy;

// Unit type of the "random" speaker when no personage of the army fits.
inline constexpr int32_t RandomSpeakerFallbackType = 117;

// The cues a text asked for; -1 (music) and 0 (sound) when none or when the
// number is out of range (the tag is removed all the same).
struct TEventTextCues {
    int32_t Music = -1; // playlist slot 0..99
    int32_t Sfx = 0;    // SfxList entry, 1-based
};

// The filter itself, without side effects: hero-kind blocks for heroKind,
// "#heroname" to heroName, the first music and sound tags taken out into
// cues (sfxCount: the entries of SfxList).
std::u16string FilterEventTextFor(const std::u16string& text, int32_t heroKind, const std::u16string& heroName,
                                  int32_t sfxCount, TEventTextCues& cues);
// The filter for the game's hero (HeroKind, HeroName); starts the cues:
// the music unless a picture track (60..68) plays, the sound once.
void FilterEventText(const std::u16string& text, std::u16string& result);
// Installs FilterEventText as the screen kit's text filter.
void InstallEventTextFilter();

// Fills DialoguePages from the event's text (main or stage text) and
// registers each page's model in EventSpeakers. A text without "<p=" gives
// one page without speaker (side 0), shown in the page-less layout.
void SplitDialoguePages(const std::u16string& text);
// Appends a speaker for unitType unless one is there (not loaded, hidden).
void AddEventSpeaker(int32_t unitType);

// The unit type a "<p=key>" names: the types from the last Units.Ini one down
// to the last scenario personage, compared lower-cased by name; 0 none.
int32_t FindSpeakerUnitType(const std::u16string& lowerKey);

// ---------------------------------------------------------------------------
// Layout of a page and its speakers

// The text list's width on a screen width x height (virtual pixels): beside
// a picture a third of the width, on screens wider than 1.78666 a third of
// the width such a screen would have; else half the width held to
// 700..1000.
int32_t EventTextWidth(int32_t width, int32_t height, bool picture);

// Where a speaker of side 1 (left) or 2 (right) stands in the event arena:
// z and its turn in radians; narrower screens bring the speakers inwards.
struct TSpeakerPlace {
    float X = 0;
    float Z = 0;
    float Angle = 0;
};
TSpeakerPlace EventSpeakerPlace(int32_t side, int32_t width, int32_t height);

// Duskmarch_SelectScenario: the scenario selection. The installation's
// scenarios (and a mod's) are listed as scrolls in two tabs; one scroll at a
// time is open to show its description. The player picks a difficulty and,
// where the scenario allows it, the personalization option, and goes on to
// the hero selection.
//
// Threads: the lists are built by SelectScenarioScreen_Create on the start-up
// loader thread; everything else belongs to the main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TGUI_Button;
class TGUI_GraphicWindow;
class TGUI_Label;
class TGUI_Object;
class TGUI_StringList;
class TGUI_Window;

// One list of scenario entries: parallel arrays, index i is entry i. Entries
// are appended, never removed; the list owns its labels, frames and
// description lists.
struct TScenarioList {
    std::vector<TGUI_Label*> NameLabels;
    std::vector<TGUI_Label*> KindLabels; // Tag: the kind (below)
    std::vector<TGUI_Object*> Frames;    // the scroll; a click selects the entry
    std::vector<int32_t> Reserved;
    std::vector<uint8_t> Selected; // at most one set
    std::vector<TGUI_StringList*> Descriptions;
    std::vector<int32_t> Papers;
    std::vector<uint8_t> NotReady;
    std::vector<uint8_t> Personalization;
    std::vector<std::string> Folders;
    std::vector<std::string> FileNames;

    TScenarioList() = default;
    TScenarioList(const TScenarioList&) = delete;
    TScenarioList& operator=(const TScenarioList&) = delete;
    ~TScenarioList();

    int32_t Count() const { return static_cast<int32_t>(FileNames.size()); }
    int32_t Kind(int32_t i) const;
    // Frees every entry.
    void Clear();
};

// The kinds of an entry.
inline constexpr int32_t ScenarioKindCampaign = 0;
inline constexpr int32_t ScenarioKindSingle = 2;
inline constexpr int32_t ScenarioKindUserCampaign = 4;
inline constexpr int32_t ScenarioKindUserSingle = 6;
inline constexpr int32_t ScenarioKindNotReady = 99;

extern TScenarioList StandardScenarios;
extern TScenarioList AdditionalScenarios;
extern TGUI_GraphicWindow* SelectScenarioWindow;

// A button shown held down (or released), as a tab or an option of a row.
void ShowButtonHeld(TGUI_Button& button, bool held);

// The list the selection shows (UseUserScenarioList).
TScenarioList& ShownScenarioList();

// The list area, from the window's "s_List".
struct TScenarioListArea {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 500;
    int32_t Height = 0;        // ListHeight
    int32_t VisibleHeight = 0; // ListVisibleHeight
};
extern TScenarioListArea ScenarioListArea;
extern float ScenarioListPosition; // the scroll position 0..1

// Whether a file with this header goes into a list built with this filter.
bool TakeScenarioEntry(uint8_t mask, int32_t filter, bool useUserList);
// The kind of an entry of the list built with this filter (0 standard).
int32_t ScenarioEntryKind(bool campaign, bool notReady, int32_t filter);
// The name an entry shows.
std::u16string ScenarioEntryName(bool campaign, const std::u16string& campaignName, const std::u16string& name,
                                 const std::string& fileName);
// How a description is printed: up to 900 characters with the font's own
// interval, longer ones tighter.
struct TDescriptionStyle {
    int32_t Interval = -1000;
    float Spacing = 1.0f; // 1: the font's own
};
TDescriptionStyle ScenarioDescriptionStyle(size_t length);
// Adds the text to the list, cut where its lines would exceed the list's
// capacity. Returns the characters added.
size_t AddTextWithinCapacity(TGUI_StringList& list, const std::u16string& text, int32_t font, uint32_t colour,
                             int32_t interval, int32_t capacity);

// Appends the files' entries (headers read from folder + name) and sorts
// the list by kind. filter 0: the standard list, 1: the additional one.
void AppendScenarioEntries(TScenarioList& list, const std::string& folder, const std::vector<std::string>& files,
                           int32_t filter);
// Entries i < j exchange every field but the frame when j's kind is lower;
// both lose their selection.
void SortScenarioListByKind(TScenarioList& list, int32_t first);
// Both lists from the installation's scenario folder and the active mod's.
void BuildScenarioLists();

// The whole height of the list's entries (with the open description).
int32_t ScenarioListTotalHeight(const TScenarioList& list);
void RelayoutScenarioList(TScenarioList& list);
// The wheel's step for a list of this height: 0 when everything shows; a
// divisor that is not positive gives the whole range.
float ScenarioWheelStep(int32_t totalHeight, int32_t listHeight, int32_t visibleHeight, int32_t firstFrameHeight);
// delta > 0 up, < 0 down. True when the position changed.
bool ScrollScenarioListByWheel(TScenarioList& list, int32_t delta);

void SelectScenarioEntry(TScenarioList& list, int32_t i);
void SelectScenarioScreen_SetDifficulty(int32_t level);
void SelectScenarioScreen_ShowStandard(TGUI_Object* object);
void SelectScenarioScreen_ShowAdditional(TGUI_Object* object);
// False (nothing posted) while the selected entry is not ready.
bool SelectScenarioScreen_AcceptSelected();
void SelectScenarioScreen_Accept(TGUI_Object* object);
void SelectScenarioScreen_Close(TGUI_Object* object);

void SelectScenarioScreen_Create();
void SelectScenarioScreen_WindowHandler(int32_t state, TGUI_Window* window);
// The program's end (and tests): both lists freed.
void SelectScenarioScreen_Free();

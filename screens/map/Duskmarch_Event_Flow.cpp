#include <algorithm>

#include "model/SceneHooks.h"
#include "model/save/BetaLog.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/story/StoryEvents.h"
#include "model/world/World_Tables.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Sound.h"
#include "screens/kit/Duskmarch_Companions.h"
#include "screens/map/Duskmarch_Event.h"
#include "screens/map/Duskmarch_EventText.h"
#include "screens/map/Duskmarch_MapScript.h"

int32_t CurrentEventPage = -1;
int32_t EventAnswerMode = AnswerContinue;
uint8_t EventWindowShown = 0;
uint8_t EventImageShown = 0;
std::u16string EventImageName;
std::u16string EventPageText;
std::vector<std::u16string> EventChoices;
TIntArray EventChoiceFollowUps;
int32_t EventChoiceSelection = -1;
TEventWindowHooks EventWindowHooks;

namespace {

// The window shows a stage text of the answered event.
bool ShowingStageText = false;

enum TEventForm : uint8_t {
    FormYesNo = 1,
    FormChoiceList = 2,
};

const TStoryEvent* EventRecord(int32_t e)
{
    return e >= 1 && static_cast<size_t>(e) < StoryEvents.size() ? &StoryEvents[static_cast<size_t>(e)] : nullptr;
}

const TStoryEventText* EventTexts(int32_t e)
{
    return e >= 1 && static_cast<size_t>(e) < StoryEventTexts.size() ? &StoryEventTexts[static_cast<size_t>(e)]
                                                                     : nullptr;
}

bool HasFiredOnce(int32_t e)
{
    return e >= 1 && static_cast<size_t>(e) < GameEvents.size() && GameEvents[static_cast<size_t>(e)].TimesFired > 0;
}

std::u16string StageText(int32_t e, int32_t stage)
{
    const TStoryEventText* texts = EventTexts(e);
    if (texts == nullptr || stage < 0 || static_cast<size_t>(stage) >= texts->StageTexts.size())
        return std::u16string();
    return texts->StageTexts[static_cast<size_t>(stage)];
}

bool BuildingShown()
{
    return EventWindowHooks.BuildingScreenShown != nullptr && EventWindowHooks.BuildingScreenShown();
}

void RefreshPanels()
{
    UpdateResourcePanel();
    AdditionalPersonage.Refresh();
}

void CloseEventWindow()
{
    EventWindowShown = 0;
    if (EventWindowHooks.Close != nullptr)
        EventWindowHooks.Close();
    else
        EventScreen_Closed();
}

// A clock flight at the head stops for the dialogue and resumes after it
// with what is left of its time and its delta.
void SuspendClockFlight()
{
    if (MapScriptQueue.empty() || MapScriptQueue.front().Kind != MapScriptClockFlight || ClockFlight.On == 0)
        return;
    ClockFlight.On = 0;
    if (ClockFlight.Delta <= 10000)
        return;
    TMapScriptAction& head = MapScriptQueue.front();
    const int64_t left = int64_t{ClockFlight.Start} + ClockFlight.Duration - GetFrameTime(true);
    head.Start = 0;
    head.Duration = static_cast<int32_t>(std::clamp<int64_t>(left, 500, INT32_MAX));
    head.Value = ClockFlight.Target - GameClock;
}

void OpenEventWindow(int32_t event, const std::u16string& text, bool stageText)
{
    SuspendClockFlight();
    if (!BuildingShown()) {
        ResetMapCameraMotion();
        StopPlayerArmy();
        EndScriptedMarch();
    }
    (void)event;
    ShowingStageText = stageText;
    DialoguePages.clear();
    EventSpeakers.clear();
    SplitDialoguePages(text);
    const bool pageLess = DialoguePages.size() == 1 && DialoguePages[0].Side == 0;
    ShowEventPage(pageLess ? -1 : 0);
    EventWindowShown = 1;
    MapFrozen = 1;
    if (EventWindowHooks.Open != nullptr)
        EventWindowHooks.Open();
}

} // namespace

int32_t PictureMusicTrack(const std::u16string& lowerName)
{
    static const std::pair<const char16_t*, int32_t> tracks[] = {
        {u"court", 60},  {u"execution", 61}, {u"fire", 62},           {u"forestking", 63}, {u"hanged", 64},
        {u"stlandary", 65}, {u"swan", 66},   {u"unsleepingduke", 67}, {u"zmicer", 68},
    };
    for (const auto& [name, track] : tracks)
        if (lowerName == name)
            return track;
    return 0;
}

TChoiceTarget ChoiceTarget(int32_t item, const TIntArray& followUps)
{
    const int32_t count = static_cast<int32_t>(followUps.size());
    TChoiceTarget target;
    if (item >= 0 && item < count)
        target.FollowUp = followUps[static_cast<size_t>(count - 1 - item)];
    else
        target.Stage = item < 0 ? 0 : item - count; // nothing selected: the first answer
    return target;
}

void ShowEventPage(int32_t page)
{
    const TStoryEvent* record = EventRecord(CurrentStoryEvent);
    std::u16string text;
    if (!DialoguePages.empty()) {
        TDialoguePage& shown = DialoguePages[static_cast<size_t>(std::max(page, 0))];
        text = shown.Text;
        if (page >= 0)
            shown.ShownAt = GetFrameTime(true);
    }
    EventImageShown = 0;
    const size_t image = text.find(u"<image=");
    if (image != std::u16string::npos && text.size() - image >= 10) {
        const size_t close = text.find(u'>', image);
        const size_t end = close == std::u16string::npos ? text.size() : close;
        EventImageName = LowerCaseWide(TrimWide(text.substr(image + 7, end - image - 7)));
        // A name that reaches out of the picture folder is no picture.
        if (EventImageName.find(u'\\') != std::u16string::npos || EventImageName.find(u'/') != std::u16string::npos ||
            EventImageName.find(u"..") != std::u16string::npos || EventImageName.empty())
            EventImageName = u"book_candle";
        EventImageShown = 1;
        if (const int32_t track = PictureMusicTrack(EventImageName); track != 0)
            PlayMusicTrack(track, 10000000);
        text.erase(image, close == std::u16string::npos ? std::u16string::npos : close + 1 - image);
    }
    FilterEventText(text, EventPageText);

    const bool last = page < 0 || static_cast<size_t>(page) + 1 >= DialoguePages.size();
    EventChoices.clear();
    EventChoiceFollowUps.clear();
    EventChoiceSelection = -1;
    if (record != nullptr && record->Form == FormChoiceList && !ShowingStageText && last) {
        FilterFollowUpEvents(CurrentStoryEvent);
        EventChoiceFollowUps = DueFollowUps;
        std::u16string filtered;
        for (auto f = EventChoiceFollowUps.rbegin(); f != EventChoiceFollowUps.rend(); ++f) {
            const TStoryEventText* texts = EventTexts(*f);
            FilterEventText(texts != nullptr ? texts->Title : std::u16string(), filtered);
            EventChoices.push_back(filtered);
        }
        if (const TStoryEventText* texts = EventTexts(CurrentStoryEvent); texts != nullptr)
            for (const std::u16string& caption : texts->Captions)
                EventChoices.push_back(caption);
    }
    EventAnswerMode =
        record != nullptr && record->Form == FormYesNo && !ShowingStageText && last ? AnswerYesNo : AnswerContinue;
    CurrentEventPage = page;
    if (EventWindowHooks.LayoutPage != nullptr)
        EventWindowHooks.LayoutPage();
}

void OpenNextStoryEvent()
{
    // Window-less events follow each other in this loop rather than by
    // recursion: a long chain cannot exhaust the stack.
    for (;;) {
        bool stageText = false;
        if (ContinueStage != 0) {
            const TStoryEvent* record = EventRecord(CurrentStoryEvent);
            if (record != nullptr && record->SingleCaption != 0)
                EventStage = 0;
            stageText = !StageText(CurrentStoryEvent, EventStage).empty();
        }
        if (ContinueStage == 0 && !MapScriptQueue.empty() && !MapScriptDrivesClock())
            return;
        if (!stageText) {
            if (CurrentStoryEvent < 0) {
                CurrentStoryEvent = -CurrentStoryEvent;
                ChooseEventOutcome(CurrentStoryEvent);
                FilterFollowUpEvents(CurrentStoryEvent);
            } else {
                CurrentStoryEvent = FindTriggeredEvent();
            }
        }
        const int32_t event = CurrentStoryEvent;
        const TStoryEvent* record = EventRecord(event);
        const bool hasText = stageText || (record != nullptr && (record->HasText == 1 || record->HasText == 3));
        ContinueStage = 0;
        if (hasText) {
            const TStoryEventText* texts = EventTexts(event);
            OpenEventWindow(event, stageText ? StageText(event, EventStage) : texts != nullptr ? texts->Text : u"",
                            stageText);
            return;
        }
        if (record == nullptr)
            return;
        ExecuteEventResults(event, EventOutcome.Chosen != 0 ? EventOutcome.Stage : 0);
        if (HasFiredOnce(event))
            UpdateQuestEntry(event);
        BetaLogWriteEvent(event, 0);
        ShowEventTutorial(event);
        ProcessEventResults();
        RunMapScript();
        RefreshPanels();
        if (!((MapScriptQueue.empty() || MapScriptDrivesClock()) && EncounterPending == 0))
            return;
    }
}

void EventScreen_Next(TGUI_Object* button)
{
    (void)button;
    if (CurrentEventPage >= 0 && static_cast<size_t>(CurrentEventPage) + 1 < DialoguePages.size()) {
        ShowEventPage(CurrentEventPage + 1);
        return;
    }
    const int32_t event = CurrentStoryEvent;
    LastAnsweredEvent = event;
    if (ContinueStage != 0 || ShowingStageText) {
        ContinueStage = 0;
        ShowingStageText = false;
        CloseEventWindow();
        return;
    }
    const TStoryEvent* record = EventRecord(event);
    const uint8_t form = record != nullptr ? record->Form : 0;
    if (form == FormChoiceList) {
        const TChoiceTarget target = ChoiceTarget(EventChoiceSelection, EventChoiceFollowUps);
        if (target.FollowUp != 0) {
            CurrentStoryEvent = -target.FollowUp;
            BetaLogWriteEvent(LastAnsweredEvent, 1);
            CloseEventWindow();
            return;
        }
        EventStage = target.Stage;
    } else {
        EventStage = 0;
    }
    if (form >= 3 && EventOutcome.Chosen != 0)
        EventStage = EventOutcome.Stage;
    ExecuteEventResults(event, EventStage);
    if (HasFiredOnce(event))
        UpdateQuestEntry(event);
    EventResultsPanel_Layout(event, EventStage, GUIVirtualSize.Width);
    ContinueStage = form >= 1 && form <= 4 && !StageText(event, EventStage).empty() ? 1 : 0;
    ProcessEventResults();
    RunMapScript();
    RefreshPanels();
    BetaLogWriteEvent(event, 1);
    CloseEventWindow();
}

void EventScreen_No(TGUI_Object* button)
{
    (void)button;
    const int32_t event = CurrentStoryEvent;
    LastAnsweredEvent = event;
    EventStage = 1;
    ExecuteEventResults(event, 1);
    if (HasFiredOnce(event))
        UpdateQuestEntry(event);
    ContinueStage = 1;
    ProcessEventResults();
    RunMapScript();
    UpdateResourcePanel();
    BetaLogWriteEvent(LastAnsweredEvent, 1);
    CloseEventWindow();
}

void EventScreen_Key(bool escape)
{
    if (EventAnswerMode == AnswerYesNo && escape)
        EventScreen_No(nullptr);
    else
        EventScreen_Next(nullptr);
}

void EventScreen_Closed()
{
    ShowingStageText = false;
    ShowEventTutorial(CurrentStoryEvent);
    RunMapScript();
    if (!(EncounterPending != 0 && ContinueStage == 0))
        OpenNextStoryEvent();
    if (EventWindowShown != 0)
        return; // the next event's window took over
    EventSpeakers.clear();
    if (ContinueStage == 0 && (!MapScriptQueue.empty() || CurrentStoryEvent == 0 || EncounterPending != 0)) {
        if (!BuildingShown()) {
            MapFrozen = 0;
            MetPlayerArmy = 0;
            AdditionalPersonage.Refresh();
            if (EncounterPending != 0 && EventWindowHooks.ProcessPlayerEncounters != nullptr)
                EventWindowHooks.ProcessPlayerEncounters();
        }
        EventResultsPanel_Hide();
    }
    SceneHooks().UpdateArmyModel(PlayerArmy);
    RefreshMapScene();
    if (CurrentMusicTrack >= 60 && CurrentMusicTrack <= 68)
        NextMusicChange = GetFrameTime(false);
}

void InstallEventScreen()
{
    InstallEventTextFilter();
    PlayServices.EventScreen_OpenNextEvent = OpenNextStoryEvent;
}

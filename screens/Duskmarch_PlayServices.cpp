#include "screens/Duskmarch_PlayServices.h"

int32_t MapScriptQueueCount = 0;
int32_t PlayerTargetBuilding = 0;
uint8_t MapClickPending = 0;
uint8_t MapFrozen = 0;
int32_t MapClockResumeTime = 0;
uint8_t MapClockPaused = 0;
uint8_t MapInputEnabled = 1;
uint8_t MapHotkeysEnabled = 1;
int32_t EventScreenEvent = 0;
uint8_t EventContinueFlag = 0;
std::u16string DayCharText;
TGUI_Window* Battle_Window = nullptr;
int32_t OptionsDifficulty = 2;
TGUI_Object* ConsoleEditLine = nullptr;
std::u16string LocalizedScenarioName;
std::u16string SelectedScenarioName;

TPlayServices PlayServices;

void StopPlayerArmy()
{
    if (PlayServices.StopPlayerArmy != nullptr)
        PlayServices.StopPlayerArmy();
}

void ResetMapCameraMotion()
{
    if (PlayServices.ResetMapCameraMotion != nullptr)
        PlayServices.ResetMapCameraMotion();
}

void RefreshMapScene()
{
    if (PlayServices.RefreshMapScene != nullptr)
        PlayServices.RefreshMapScene();
}

void UpdateResourcePanel()
{
    if (PlayServices.UpdateResourcePanel != nullptr)
        PlayServices.UpdateResourcePanel();
}

void PlaceResourcePanelForMap()
{
    if (PlayServices.PlaceResourcePanelForMap != nullptr)
        PlayServices.PlaceResourcePanelForMap();
}

std::u16string FormatPersonageCount(int32_t count, int32_t limit)
{
    if (PlayServices.FormatPersonageCount != nullptr)
        return PlayServices.FormatPersonageCount(count, limit);
    const std::string text = std::to_string(count) + "/" + std::to_string(limit);
    return std::u16string(text.begin(), text.end());
}

void EventScreen_OpenNextEvent()
{
    if (PlayServices.EventScreen_OpenNextEvent != nullptr)
        PlayServices.EventScreen_OpenNextEvent();
}

std::u16string FilterEventText(const std::u16string& text)
{
    return PlayServices.FilterEventText != nullptr ? PlayServices.FilterEventText(text) : text;
}

void UpdateConsole()
{
    if (PlayServices.UpdateConsole != nullptr)
        PlayServices.UpdateConsole();
}

bool IsConsoleOpen()
{
    return PlayServices.IsConsoleOpen != nullptr && PlayServices.IsConsoleOpen();
}

void ShowEventTutorial(int32_t event)
{
    if (PlayServices.ShowEventTutorial != nullptr)
        PlayServices.ShowEventTutorial(event);
}

std::u16string SelectedScenarioCaption()
{
    return PlayServices.SelectedScenarioCaption != nullptr ? PlayServices.SelectedScenarioCaption() : std::u16string();
}

void ResetPlayServices()
{
    MapScriptQueueCount = 0;
    PlayerTargetBuilding = 0;
    MapClickPending = 0;
    MapFrozen = 0;
    MapClockResumeTime = 0;
    MapClockPaused = 0;
    MapInputEnabled = 1;
    MapHotkeysEnabled = 1;
    EventScreenEvent = 0;
    EventContinueFlag = 0;
    DayCharText.clear();
    Battle_Window = nullptr;
    OptionsDifficulty = 2;
    ConsoleEditLine = nullptr;
    LocalizedScenarioName.clear();
    SelectedScenarioName.clear();
    PlayServices = {};
}

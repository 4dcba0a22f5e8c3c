#include "screens/map/Duskmarch_MapScript.h"

#include <algorithm>
#include <cmath>

#include "model/world/World_Tables.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/kit/Duskmarch_Base.h"

std::vector<TMapScriptAction> MapScriptQueue;
uint8_t ClicksEnabled = 1;
uint8_t InputEnabled = 1;
uint8_t ForcedRun = 0;
TClockFlight ClockFlight;
TBlackFade BlackFade;
TMapScriptHooks MapScriptHooks;

namespace {

void SetInput(bool enabled)
{
    InputEnabled = enabled ? 1 : 0;
    if (MapScriptHooks.EnableMapButtons != nullptr)
        MapScriptHooks.EnableMapButtons(enabled);
}

void SetMapPauseHook(bool paused)
{
    if (MapScriptHooks.SetMapPause != nullptr)
        MapScriptHooks.SetMapPause(paused);
}

void ShowPlayerArmy(bool shown)
{
    if (MapScriptHooks.ShowPlayerArmy != nullptr)
        MapScriptHooks.ShowPlayerArmy(shown);
}

void CarryOut(TMapScriptAction& head)
{
    switch (head.Kind) {
    case MapScriptClicksOff:
        ClicksEnabled = 0;
        break;
    case MapScriptClicksOn:
        ClicksEnabled = 1;
        break;
    case MapScriptInputOff:
        SetInput(false);
        break;
    case MapScriptInputOn:
        SetInput(true);
        break;
    case MapScriptMarch:
        if (MapScriptHooks.StartScriptedMarch != nullptr &&
            MapScriptHooks.StartScriptedMarch(head.Aux, static_cast<int32_t>(head.Value)))
            head.Duration = MarchHoldMs;
        break;
    case MapScriptClockFlight:
        ClockFlight.On = 1;
        ClockFlight.Start = head.Start;
        ClockFlight.Delta = head.Value;
        ClockFlight.Target = GameClock + head.Value;
        ClockFlight.Duration = head.Duration;
        break;
    case MapScriptRun:
        SetMapPauseHook(false);
        ForcedRun = 1;
        break;
    case MapScriptPause:
        SetMapPauseHook(true);
        ForcedRun = 0;
        break;
    case MapScriptFadeIn:
        BlackFade = {1, head.Start, head.Duration};
        ShowPlayerArmy(false);
        break;
    case MapScriptFadeOut:
        BlackFade = {0, head.Start, head.Duration};
        ShowPlayerArmy(true);
        break;
    default:
        break;
    }
}

} // namespace

void AddMapScriptAction(uint8_t kind, int32_t value, int32_t duration, int32_t aux)
{
    TMapScriptAction action;
    action.Kind = kind;
    action.Aux = aux;
    action.Duration = duration;
    action.Value = kind == MapScriptClockFlight ? static_cast<int64_t>(std::nearbyint(value * 10000.0)) : value;
    MapScriptQueue.push_back(action);
    MapScriptQueueCount = static_cast<int32_t>(MapScriptQueue.size());
}

void RunMapScript()
{
    if (!MapScriptQueue.empty() && MapScriptQueue.front().Start == 0) {
        TMapScriptAction& head = MapScriptQueue.front();
        if (head.Duration > 0)
            head.Start = GetFrameTime(true);
        CarryOut(head);
    }
    if (!MapScriptQueue.empty()) {
        const TMapScriptAction& head = MapScriptQueue.front();
        // In 64 bits: a march holds the head for a billion ms past its start.
        if (head.Duration == 0 || static_cast<int64_t>(GetFrameTime(true)) > int64_t{head.Start} + head.Duration) {
            MapScriptQueue.erase(MapScriptQueue.begin());
            if (MapScriptQueue.empty() && MapScriptHooks.RequestEventCheck != nullptr)
                MapScriptHooks.RequestEventCheck();
        }
    }
    MapScriptQueueCount = static_cast<int32_t>(MapScriptQueue.size());
}

int32_t FadeAlpha(int32_t elapsed, int32_t duration)
{
    if (duration <= 0 || elapsed > 499999)
        return 255;
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{elapsed} * 255 / duration, 0, 255));
}

void DrawMapScriptEffects()
{
    const int32_t now = GetFrameTime(false);
    CursorKind = 1;
    int32_t alpha = -1;
    if (BlackFade.On != 0 && now > BlackFade.Start)
        alpha = FadeAlpha(now - BlackFade.Start, BlackFade.Duration);
    else if (BlackFade.On == 0 && int64_t{now} < int64_t{BlackFade.Start} + BlackFade.Duration)
        alpha = 255 - FadeAlpha(now - BlackFade.Start, BlackFade.Duration);
    if (alpha < 0)
        return;
    if (MapScriptHooks.DrawBlackSprite != nullptr)
        MapScriptHooks.DrawBlackSprite(alpha);
    CursorKind = 0;
}

void ResetMapScript()
{
    MapScriptQueue.clear();
    MapScriptQueueCount = 0;
    ClicksEnabled = 1;
    SetInput(true);
    ForcedRun = 0;
    ClockFlight = TClockFlight{};
    BlackFade = TBlackFade{};
}

bool MapScriptDrivesClock()
{
    if (MapScriptQueue.empty())
        return false;
    const TMapScriptAction& head = MapScriptQueue.front();
    if (head.Kind == MapScriptFadeIn || head.Kind == MapScriptFadeOut)
        return false;
    return ForcedRun != 0 || (head.Kind == MapScriptClockFlight && ClockFlight.On != 0);
}

void EndScriptedMarch()
{
    if (!MapScriptQueue.empty() && MapScriptQueue.front().Kind == MapScriptMarch)
        MapScriptQueue.front().Duration = 0;
}

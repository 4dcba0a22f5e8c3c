#include <algorithm>
#include <cstdio>

#include "model/SceneHooks.h"
#include "model/scenario/ScenarioMap_Records.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/story/StoryEvents.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/map/Duskmarch_Event.h"
#include "screens/front/Duskmarch_Tutorials.h"
#include "screens/map/Duskmarch_MapScript.h"

int32_t CurrentStoryEvent = 0;
uint8_t EncounterPending = 0;
uint8_t ContinueStage = 0;
int32_t EventStage = 0;
int32_t LastAnsweredEvent = 0;
TEventScreenHooks EventScreenHooks;
tEventCollect EventCollect;

namespace {

bool Ask(bool (*hook)())
{
    return hook != nullptr && hook();
}

bool HasFired(int32_t reference)
{
    if (reference <= 0)
        return false;
    const int32_t e = EventOfReference(reference);
    return e >= 1 && static_cast<size_t>(e) < GameEvents.size() && GameEvents[static_cast<size_t>(e)].TimesFired > 0;
}

void QueueScriptAction(const TMapEffect& effect)
{
    switch (effect.Kind) {
    case MapScriptMarch: {
        const TGameArmy& player = GameArmies[PlayerArmy];
        const int32_t aux = player.OrderKind == OrderToBuilding ? MarchToBuilding
                            : player.OrderKind == OrderToArmy   ? MarchToArmy
                            : player.OrderKind == OrderToPoint  ? MarchToPoint
                                                                : 0;
        if (aux != 0)
            AddMapScriptAction(MapScriptMarch, player.OrderTarget, 1, aux);
        break;
    }
    case MapScriptClockFlight:
        AddMapScriptAction(MapScriptClockFlight, effect.Value, effect.Value <= 60 ? effect.Value * 80 : 2000, 0);
        break;
    case MapScriptFadeIn:
    case MapScriptFadeOut:
        AddMapScriptAction(effect.Kind, 0, 1000, 0);
        break;
    default:
        AddMapScriptAction(effect.Kind, 0, 0, 0);
        break;
    }
}

} // namespace

void UpdateQuestEntry(int32_t event)
{
    std::fprintf(stderr, "Journal: the quest entry of event %d is not kept yet\n", event);
}

void ProcessEventResults()
{
    EncounterPending = 0;
    const std::vector<TMapEffect> effects = std::move(MapEffects);
    MapEffects.clear();
    for (const TMapEffect& effect : effects) {
        switch (effect.Kind) {
        case MapEffectArmyChanged:
            if (effect.Sub == MapEffectArmySub) {
                SceneHooks().UpdateArmyModel(effect.Value);
                CompactEncounterList();
                if (effect.Value == PlayerArmy && Ask(EventScreenHooks.BuildingScreenCovered) &&
                    EventScreenHooks.RebindBuildingArmyPanel != nullptr)
                    EventScreenHooks.RebindBuildingArmyPanel();
            }
            if (EventScreenHooks.SetPickState != nullptr)
                EventScreenHooks.SetPickState(3);
            break;
        case MapEffectEncounter:
            if (effect.Sub == MapEffectArmySub)
                AddEncounter(effect.Value);
            EncounterPending = 1;
            break;
        case MapEffectArmyMoved:
            if (EventScreenHooks.JumpToPlayerArmy != nullptr)
                EventScreenHooks.JumpToPlayerArmy();
            break;
        default:
            if (effect.Kind >= MapScriptClicksOff && effect.Kind <= MapScriptFadeOut)
                QueueScriptAction(effect);
            break;
        }
    }
    if (Ask(EventScreenHooks.BuildingScreenCovered) && EventScreenHooks.CloseBuildingScreenLater != nullptr) {
        if (EncounterPending != 0)
            EventScreenHooks.CloseBuildingScreenLater(false);
        else if (Ask(EventScreenHooks.PlayerInHostileBuilding))
            EventScreenHooks.CloseBuildingScreenLater(true);
    }
    CheckScenarioEnd();
}

TScenarioEnd FindScenarioEnd()
{
    TScenarioEnd end;
    if (HasFired(MapStory.VictoryEvent)) {
        end.Ends = true;
        for (int32_t n = 1; n <= 3; ++n)
            if (HasFired(MapStory.NextEvent[n])) {
                end.Next = n;
                break;
            }
    } else if (HasFired(MapStory.EndEvent)) {
        end.Ends = true;
    }
    return end;
}

void CheckScenarioEnd()
{
    CampaignTransfer = 0;
    NextScenarioName.clear();
    const TScenarioEnd end = FindScenarioEnd();
    if (!end.Ends)
        return;
    if (end.Next > 0)
        NextScenarioName = OS_WideToMultiByte(CP_UTF8, MapStory.NextScenario[end.Next]);
    CampaignTransfer = NextScenarioName.empty() ? 0 : 1;
    if (Ask(EventScreenHooks.PlayerInBuilding) && EventScreenHooks.CloseBuildingScreen != nullptr)
        EventScreenHooks.CloseBuildingScreen();
    if (MapStory.Tutorial != 0)
        MarkTutorialCompleted();
    MapFrozen = 1;
    if (EventScreenHooks.OpenScenarioEnd != nullptr)
        EventScreenHooks.OpenScenarioEnd(CampaignTransfer != 0);
}

// ---------------------------------------------------------------------------
// The results panel

void EventResultsPanel_Hide()
{
    EventCollect = tEventCollect{};
}

void EventResultsPanel_Layout(int32_t event, int32_t stage, int32_t screenWidth)
{
    (void)event;
    (void)stage;
    EventResultsPanel_Hide();
    tEventCollect& c = EventCollect;
    if (EventGoldChange > 0) {
        c.GoldReceived = EventGoldChange;
        c.ItemsReceived.push_back(GoldMarkerId);
        c.ReceivedCounts.push_back(EventGoldChange);
    } else if (EventGoldChange < 0) {
        c.GoldLost = -EventGoldChange;
        c.ItemsLost.push_back(GoldMarkerId);
        c.LostCounts.push_back(-EventGoldChange);
    }
    for (const TEventItemChange& item : EventItemChanges) {
        TIntArray& ids = item.Sign > 0 ? c.ItemsReceived : c.ItemsLost;
        TIntArray& counts = item.Sign > 0 ? c.ReceivedCounts : c.LostCounts;
        ids.push_back(item.Item);
        counts.push_back(item.Count);
    }
    for (const TEventUnitChange& unit : EventUnitChanges)
        (unit.Sign > 0 ? c.UnitsAdded : c.UnitsLeft).push_back(unit.UnitType);
    c.ItemsReceivedCount = static_cast<int32_t>(c.ItemsReceived.size());
    c.ItemsLostCount = static_cast<int32_t>(c.ItemsLost.size());
    c.UnitsAddedCount = static_cast<int32_t>(c.UnitsAdded.size());
    c.UnitsLeftCount = static_cast<int32_t>(c.UnitsLeft.size());
    const int32_t counts[4] = {c.ItemsReceivedCount, c.ItemsLostCount, c.UnitsAddedCount, c.UnitsLeftCount};
    const int32_t columns = *std::max_element(std::begin(counts), std::end(counts));
    c.XOrigin = (screenWidth - columns * c.CellWidth - 200) / 2 + 10;
    if (columns == 0)
        return;
    c.Visible = 1;
    c.AreaWidth = columns == 1 ? 220 : columns * c.CellWidth + 20;
    int32_t groups = 0;
    static const int32_t captionY[4] = {83, 203, 323, 443};
    for (int32_t g = 0; g < 4; ++g)
        if (counts[g] > 0) {
            c.CaptionVisible[g] = 1;
            c.CaptionY[g] = captionY[groups];
            ++groups;
        }
    c.AreaHeight = groups * 130 + 10;
    c.AreaY = 70;
}

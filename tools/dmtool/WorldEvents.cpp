#include "tools/dmtool/WorldEvents.h"

#include <filesystem>

#include "engine/QX9_PathFinder.h"
#include "engine/QX9_System.h"
#include "model/ai/AIMain.h"
#include "model/save/BetaLog.h"
#include "model/story/Campaign.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/SceneHooks.h"
#include "model/story/StoryEvents.h"
#include "model/world/World_Access.h"
#include "model/world/World_Setup.h"
#include "tools/dmtool/WorldRun.h"

namespace {

int32_t DueEvent = 0;

std::string Signed(int64_t value)
{
    return (value > 0 ? "+" : "") + std::to_string(value);
}

std::string ChangeLine(int32_t e, int32_t stage)
{
    const int32_t uid = StoryEvents[static_cast<size_t>(e)].Uid;
    std::string line = "event " + std::to_string(e) + " uid " + std::to_string(uid) + " stage " +
                       std::to_string(stage) + ": gold " + Signed(EventGoldChange) + ", units";
    if (EventUnitChanges.empty())
        line += " none";
    for (const TEventUnitChange& c : EventUnitChanges)
        line += " " + std::to_string(c.UnitType) + (c.Sign > 0 ? "+" : "-");
    line += ", items";
    if (EventItemChanges.empty())
        line += " none";
    for (const TEventItemChange& c : EventItemChanges)
        line += " " + std::to_string(c.Item) + "x" + std::to_string(c.Count) + (c.Sign > 0 ? "+" : "-");
    return line;
}

// The map screen's work on the queued effects, in order; the list is then
// empty.
int64_t WorkOffMapEffects(std::vector<std::string>& log)
{
    int64_t minutes = 0;
    const std::vector<TMapEffect> effects = std::move(MapEffects);
    MapEffects.clear();
    for (const TMapEffect& m : effects) {
        if (m.Kind == 2 && m.Sub == 10) {
            SceneHooks().UpdateArmyModel(m.Value);
        } else if (m.Kind == 6 && m.Sub == 10) {
            // The player's army was put somewhere else: its route ends there.
            TGameArmy& player = GameArmies[PlayerArmy];
            PlayerTargetArmy = 0;
            PlayerTargetCell = player.Cell;
            ArmyTrackers[PlayerArmy].ResetPath(PF_PackCell(player.Cell.X, player.Cell.Z));
            SceneHooks().UpdateArmyModel(PlayerArmy);
        } else if (m.Kind == 12 && m.Sub == 16) {
            minutes += std::max(m.Value, 0);
        } else {
            log.push_back("map effect " + std::to_string(m.Kind) + "," + std::to_string(m.Sub) + " " +
                          std::to_string(m.Value));
        }
    }
    return minutes;
}

bool IsEventOf(int32_t reference, int32_t e)
{
    return reference > 0 && EventOfReference(reference) == e;
}

bool HasFired(int32_t e)
{
    return e >= 1 && static_cast<size_t>(e) < GameEvents.size() && GameEvents[static_cast<size_t>(e)].TimesFired > 0;
}

} // namespace

void LookForDueEvent()
{
    if (DueEvent == 0)
        DueEvent = FindTriggeredEvent();
}

void ForgetDueEvent()
{
    DueEvent = 0;
}

TShownEvent ShowDueEvent(std::vector<std::string>& log)
{
    TShownEvent shown;
    shown.Event = DueEvent;
    DueEvent = 0;
    if (shown.Event == 0)
        return shown;
    const int32_t stage = EventOutcome.Chosen != 0 ? EventOutcome.Stage : 0;
    BetaLogWriteEvent(shown.Event, 1); // the event window opens
    ExecuteEventResults(shown.Event, stage);
    log.push_back(ChangeLine(shown.Event, stage));
    shown.PassMinutes = WorkOffMapEffects(log);
    if (IsEventOf(MapStory.VictoryEvent, shown.Event))
        shown.Ending = TScenarioEnding::Victory;
    else if (IsEventOf(MapStory.EndEvent, shown.Event))
        shown.Ending = TScenarioEnding::End;
    return shown;
}

std::string NextScenarioAfterVictory()
{
    for (int32_t n = 1; n <= 3; ++n) {
        if (MapStory.NextEvent[n] <= 0 || !HasFired(EventOfReference(MapStory.NextEvent[n])))
            continue;
        const std::string name = OS_WideToMultiByte(CP_UTF8, MapStory.NextScenario[n]);
        if (name.empty())
            return std::string();
        // A name without an extension is a scenario beside this one.
        const std::string beside = ScenarioPath + name + (name.find('.') == std::string::npos ? ".Tdm" : "");
        return FileExistsMask(beside) ? beside : ResolveScenarioFile(name);
    }
    return std::string();
}

bool TransferToScenario(const std::string& file, std::string& error)
{
    WaitForSaveWriter();
    SaveCampaignHero();
    if (!LoadScenarioMap(file)) {
        CampaignContinued = 0;
        error = "can't load the next scenario " + file;
        return false;
    }
    SceneHooks().BuildTerrainModel(true);
    AI_InitPathGrid();
    InitWorld(false, GameSeed);
    RestoreCampaignHero();
    PlayerTargetArmy = 0;
    PlayerTargetCell = GameArmies[PlayerArmy].Cell;
    ForgetDueEvent();
    if (!WriteStartSave(LastScenarioName)) {
        error = "can't write the start save of " + file;
        return false;
    }
    return true;
}

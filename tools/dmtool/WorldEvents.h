// The world run's stand-in for the event screen and the map screen's work
// on story events: a due event is looked for while no event is open, shown
// at once with its chosen stage (or the first answer), its results applied
// and the map effects they queued worked off. A scenario ends with its
// victory or end event; a victory may lead on into a next scenario, which
// the run enters as the game loading worker does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How a shown event leaves the scenario.
enum class TScenarioEnding { None, Victory, End };

struct TShownEvent {
    int32_t Event = 0; // 0: nothing was due
    TScenarioEnding Ending = TScenarioEnding::None;
    int64_t PassMinutes = 0; // game minutes the map effects let pass
};

// The frame hook's search: remembers the due event unless one waits.
void LookForDueEvent();
// Shows the event the last search found. Lines for the log (one for the
// event, one per map effect without a map screen to act on it) are appended
// to log.
TShownEvent ShowDueEvent(std::vector<std::string>& log);
// Forgets a waiting event (a new scenario starts).
void ForgetDueEvent();

// The scenario a victory leads on to: NextScenario[n] for the first n whose
// event has fired, as a file; empty when there is none.
std::string NextScenarioAfterVictory();
// The transfer of the game loading worker into the next scenario: the
// hero's army stored, the map loaded, the path grid, the world set up with
// the game's seed, the army put back and the start save written. False with
// the reason when the scenario can't be loaded or the save not written.
bool TransferToScenario(const std::string& file, std::string& error);

// BetaLog: the telemetry log of how the game is played.
#pragma once

// Record 18: the scenario just loaded (its name), written by the scenario
// loader at the end of a full load.
void BetaLogWriteScenarioStart();

// World_Log: one line for each happening of the world that a watcher of a
// headless run wants to follow (an army taking the field or coming back
// after a defeat, personages leaving for unpaid upkeep, errors of the
// strategic AI). The game itself installs no sink: then the lines go
// nowhere and cost nothing. Lines are in the game's code page.
#pragma once

#include <string>

using TWorldLogSink = void (*)(const std::string& line);

// Installs the sink (nullptr: none).
void SetWorldLogSink(TWorldLogSink sink);
// Whether a sink is installed; callers skip building their line otherwise.
bool WorldLogActive();
void WorldLog(const std::string& line);

// WorldRun: the headless world run. It sets up a new game as the game
// loading worker does, then stands in for the map screen: frames of five
// game minutes with no player orders but an optional order to approach an
// army, encounters resolved (the player's battles fought headless), story
// events shown as they come due (a victory may lead into the next scenario
// of a campaign, the end of a scenario ends the run), the defeat of the
// hero's army on its own line (it ends the run unless asked to go on), a
// line at each day mark and the world digest at the end.
#pragma once

#include <cstdint>
#include <string>

struct TWorldRunOptions {
    std::string Scenario; // a name under the scenarios folder, or a path
    int32_t Hero = 1;
    int32_t Seed = 0; // 0: drawn
    int32_t Days = 1;
    bool Dump = false;       // every army and building at the end
    bool Log = false;        // one line per world happening
    bool PastDefeat = false; // the run goes on after the hero's army is beaten
    int32_t Approach = 0;    // the player's army is ordered to approach this army, 0 none
    std::string LoadFile;    // the run starts from this saved game (its scenario, hero and seed)
    std::string SaveFile;    // the world is saved here after the run
};

// Game minutes x 10000 per frame, and engine milliseconds per frame.
constexpr int64_t WorldRunStep = 50000;
constexpr int32_t WorldRunFrameMs = 20;

// The installation's tables and settings must be loaded. The telemetry log
// is opened at the start and written back at the end, as the game does; a
// new game writes its start save. Prints to stdout; false with the reason
// when the scenario or the save can't be loaded, or the save not written.
bool RunWorld(const TWorldRunOptions& options, std::string& error);
// The scenario file a name stands for: the name itself when such a file
// exists, else the name under the scenarios folder with ".Tdm" added when
// it has no extension.
std::string ResolveScenarioFile(const std::string& name);

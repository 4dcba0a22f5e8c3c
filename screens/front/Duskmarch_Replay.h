// Duskmarch_Replay: the program's start options and the test mode that makes
// a run reproducible: a recorded input file or a text script drives the
// game, a fixed-step clock replaces real time, every generator is seeded,
// and the run ends with a digest of what it did.
//
// Threads: everything here belongs to the main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TRunOptions {
    std::vector<std::string> RecorderParameters; // "gamerecord [name]" / "gamereplay [name]"
    std::string ScriptFile;                      // --script FILE
    int32_t FrameMs = 0;                         // --frame-ms N (a script implies 20); 0: real time
    bool Seeded = false;                         // --seed S
    uint32_t Seed = 0;
    std::string ShotsFolder; // --shots DIR
    bool StartupTimes = false; // --startup-times
};
extern TRunOptions RunOptions;

// Reads the command line (the parameters after the program name). False
// with the reason for an option it cannot read.
bool ParseRunOptions(const std::vector<std::string>& parameters, TRunOptions& options, std::string& error);

// True when the run uses the fixed-step clock (a script, or --frame-ms).
bool TestMode();

// --startup-times: one stderr line per start-up phase, in ms since entry.
void StartupPhase(const char* name);

// Called once the GUI processor exists, before the first frame: installs
// the clock, the seeds and the frame hooks of the test mode and the script.
void Replay_Begin();
// The frame's last step before the back buffer is shown (shots).
void Replay_BeforePresent();
// At shut-down: the run's exit code (0, or 2 when a script step failed).
int32_t Replay_ExitCode();

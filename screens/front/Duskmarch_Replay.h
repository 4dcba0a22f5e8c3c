// Duskmarch_Replay: the program's start options and the test mode that makes
// a run reproducible: a recorded input file or a text script drives the
// game, a fixed-step clock replaces real time, every generator is seeded,
// and the run ends with a digest of what it did.
//
// Threads: everything here belongs to the main thread, except StartupPhase,
// which the loader thread calls too.
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
    std::string ShotsFolder = "shots"; // --shots DIR
    bool StartupTimes = false;         // --startup-times
};
extern TRunOptions RunOptions;

// The frame step a script implies when no --frame-ms is given.
inline constexpr int32_t ScriptFrameMs = 20;

// Reads the command line (the parameters after the program name): the
// options above in any order, each "--" option once; every other word goes
// to the recorder. False with the reason for an option it cannot read (the
// options are left as they were then).
bool ParseRunOptions(const std::vector<std::string>& parameters, TRunOptions& options, std::string& error);

// True when the run uses the fixed-step clock (a script, or --frame-ms).
bool TestMode();

// --startup-times: one stderr line per start-up phase, "startup-phase
// <ms since entry> <name>". The phase "main menu first frame" closes the
// program. Any thread.
inline constexpr const char* StartupPhaseMenuFirstFrame = "main menu first frame";
void StartupPhase(const char* name);

// Called once the GUI processor exists, before the first frame: installs
// the frame hook (frame counting; in test mode the fixed clock and the
// script), the seeds, the synchronous save writer, the fixed local time and
// the shot hook of the renderer. Reads the script; one that can't be read
// ends the run with exit code 2.
void Replay_Begin();
// The frame's last step before the back buffer is shown: writes the shot a
// script asked for in this frame. Replay_Begin installs it into the
// renderer; a second call in the same frame does nothing.
void Replay_BeforePresent();
// At shut-down: prints the run's digest (test mode, when the script has not
// printed it) and gives the run's exit code: 0, or 2 when a step failed.
int32_t Replay_ExitCode();
// Takes back everything Replay_Begin installed and forgets the run (tests).
void Replay_Reset();
// The frame steps run since Replay_Begin (the first frame is 1).
int32_t ReplayFrameNumber();

// ---------------------------------------------------------------------------
// Scripts: text, first line "DMRP 1"; one step a line, optionally led by
// "at FRAME" (the step waits for that frame); "#" starts a comment line.

enum class TScriptOp : uint8_t {
    Frames,     // frames N
    Move,       // move X Y (client pixels)
    Down,       // down left|right
    Up,         // up left|right
    Click,      // click NAME: move to the element's centre, left down, next frame up
    KeyDown,    // key down VK
    KeyUp,      // key up VK
    Press,      // press VK: down, next frame up
    Wheel,      // wheel N (120 a notch)
    Text,       // text "..."
    WaitWindow, // wait-window NAME N: until NAME is the active window, at most N frames
    Shot,       // shot NAME
    Quit,       // quit
};

struct TScriptStep {
    TScriptOp Op = TScriptOp::Quit;
    int32_t Line = 0;     // 1-based line in the script
    int32_t AtFrame = -1; // "at FRAME"; -1: none
    int32_t A = 0;        // frames, x, key, wheel delta, frame limit
    int32_t B = 0;        // y
    bool Right = false;   // the right mouse button
    std::string Name;     // element, window or shot name
    std::u16string Text;
};

// Reads a script. False with "line N: reason" for the first line it can't
// read.
bool ParseReplayScript(const std::string& text, std::vector<TScriptStep>& steps, std::string& error);
// One script line that types text at a frame: at FRAME text "...", with
// '"', '\' and control characters escaped (\", \\, \uXXXX).
std::string ScriptTextLine(int32_t frame, const std::u16string& text);
// The first line of every script.
inline constexpr const char* ScriptHead = "DMRP 1";

// ---------------------------------------------------------------------------
// Digest

struct TReplayDigestInput {
    bool ScenarioLoaded = false;
    uint32_t World = 0; // WorldDigest, counted only with a scenario loaded
    int64_t GameClock = 0;
    std::string ActiveWindow;
    int32_t Frames = 0;
    std::vector<std::string> UserFiles; // any order: sorted by byte values here
};
// CRC-32 over, in this order: the world digest (with a scenario), the clock
// (8 bytes), the active window's name and a 0, the frame count (4 bytes),
// each file name and a 0. Numbers little-endian.
uint32_t ReplayDigest(const TReplayDigestInput& input);
// "replay-digest XXXXXXXX" (upper-case hex).
std::string FormatReplayDigest(uint32_t digest);

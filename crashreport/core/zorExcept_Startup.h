// zorExcept start-up and shut-down: the reporter starts before every engine
// and game unit and stops after them. Start-up reads the settings, creates
// the thread registry, installs the signal, terminate, throw and thread
// hooks, starts the handler thread, opens the main thread's channel and
// allocates the out-of-memory reserve; shut-down undoes it in reverse.
#pragma once

#include <atomic>
#include <cstdint>

#include "crashreport/diagnostics/zorTools.h"

// Milliseconds of the monotonic clock at start-up.
extern int64_t StartTimeMs;
// The thread the reporter treats as the main thread (the process id here).
// The signal handler and other threads read it while start-up sets it.
extern std::atomic<uint32_t> ReporterMainThreadId;
static_assert(std::atomic<uint32_t>::is_always_lock_free, "read in a signal handler");
// Set while start-up runs: the registry prunes no ended threads then.
extern std::atomic<bool> StartingUp;

// The reporter's start: takes over a restart, clears the temporary folder
// and runs StartReporter. Without a settings resource the reporter stays
// inactive; with Enabled off it keeps only the registry. When the registry
// can't be made, the process says so and exits with code 1.
void StartReporterUnit();
void StopReporterUnit();

// The bodies, for the program's settings module (0) or a stand-in's.
void StartReporter(TModuleHandle module = 0);
void StopReporter();
// Active: started with settings; hooked: Enabled as well.
bool ReporterActive();
bool ReporterHooked();

// No display, or DUSKMARCH_HEADLESS=1: failures are told on standard output
// and the automatic actions decide.
bool ConsoleProgram();

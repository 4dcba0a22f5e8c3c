// zorExcept freeze watchdog and thread pausing.
//
// The watchdog is a thread that probes the main thread's loop: it posts a
// probe to the main thread's message channel, which the loop hook
// (ReporterPump) answers; ten unanswered probes in a row, one every
// FreezeTimeout / 10 ms, make a report of a frozen main thread, after which
// the interval grows by half. Threads that wait for their failure to be
// handled hold the watchdog meanwhile.
//
// Pausing holds the program's other threads while a failure is handled: the
// main thread and the threads created by our own code are held the next time
// they call the loop hook. A thread that never calls it keeps running.
#pragma once

#include <cstdint>

#include "crashreport/diagnostics/zorTools.h"

class IZXException;

// Starts the watchdog for the calling thread's loop (the main thread's);
// false when it could not get a channel for the probe. Runs once.
bool StartFreezeWatchdog(int32_t timeoutMs);
void StopFreezeWatchdog();
bool FreezeWatchdogRunning();
uint32_t WatchdogThreadId();
// The frozen reports the watchdog has made since the process started.
uint32_t FreezeReportCount();

// Called with true by every thread before it waits for its failure to be
// handled, with false after: the watchdog probes nothing in between. Nothing
// when the watchdog isn't running or on the watchdog's own thread.
// Signal-safe: atomics and one write().
void HoldFreezeWatchdog(bool pause);
// The handler thread after each handling.
void ResetFreezeMisses();
// The box of a frozen report: when the main thread's loop runs again, the
// failure's open box is closed (as soon as it is open). nullptr ends the
// watch (the failure's handling is over). Nothing when the watchdog isn't
// running.
void WatchForRecovery(const IZXException* exception);

// Holds (true) or lets go (false) the main thread and the other threads
// created by our own code, except the calling one and the spared one. The
// main thread is woken up so that it reaches its hold.
void PauseOtherThreads(bool pause, uint32_t sparedThread);
// The loop hook's first step: blocks while this thread is held. Keeps errno.
void WaitIfPaused();
// Let the main thread run the handlers it is asked to while the others stay
// held, and hold it again; Release is true when it did release.
void HoldMainThread();
bool ReleaseMainThread();
// The reporter's shut-down: nobody stays held.
void EndThreadPausing();

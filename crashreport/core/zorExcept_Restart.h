// zorExcept restart and close: ending the program after a failure, starting
// it anew, and the hand-over that carries the failure times from the ending
// process to its successor, so that an automatic restart counts the failures
// of the predecessors too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The ten newest failure times in seconds (NowInSeconds), newest first; 0
// where there was none. Written by the failure handling only.
extern int64_t ExceptionTimeHistory[10];
// Shifts the history by one and puts the time first.
void NoteExceptionTime(int64_t seconds);

// The hand-over block, kept in shared memory named after the new process.
struct TRestartBlock {
    uint32_t OldProcessId = 0;
    uint32_t Reserved = 0; // kept for the layout's sake; always 0 here
    int64_t History[10] = {};
};
static_assert(sizeof(TRestartBlock) == 88);

// "/zorExceptRestart$" followed by the process id in lower-case hex.
std::string RestartBlockName(uint32_t processId);

// Ends the process with exit code 1. Does not return.
[[noreturn]] void TerminateProgram();

// Starts the program anew and ends this process with exit code 2; does not
// return. The new process runs /proc/self/exe in the current folder with the
// given command line (words split at blanks, double quotes group), or with
// this process's own arguments when it is empty. It is held back until the
// hand-over block is written. When it cannot be started, a line on standard
// error says so; the exit code stays 2.
[[noreturn]] void RelaunchProgram(const std::u16string& commandLine = {});

// At start-up: when a predecessor left a hand-over block for this process,
// waits until that process has ended, takes its failure times into
// ExceptionTimeHistory and removes the block. False for a normal start.
bool TakeOverRestart();

// The whole of the bytes written or read, across interruptions and short
// transfers; false at an error or the end of the data.
bool WriteFully(int fd, const void* data, size_t size);
bool ReadFully(int fd, void* data, size_t size);

// Fills the end and restart slots of the exception object.
void LinkRestart();

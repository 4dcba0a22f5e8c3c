// Keeps a second copy of the program from starting: the first copy holds a
// name (an abstract Unix socket named after the program, the user and the
// user's data folder), and a later copy that finds the name held asks the
// first to come to the front.
// The kernel frees the name when the holder ends in any way, even killed, so
// a crash never leaves a stale lock behind.
#pragma once

#include <string>

#include "platform/os/OS.h"

enum class TSingleInstanceResult {
    First,       // the name is ours now
    AnotherCopy, // another process holds the name
    Unknown,     // the test itself failed; the caller starts as if first
};

// Claims the name for this process. On First, lock is the held lock (keep it
// for the program's life); otherwise INVALID_HANDLE_VALUE.
TSingleInstanceResult OS_AcquireSingleInstance(const std::string& name, THandle& lock);
void OS_ReleaseSingleInstance(THandle lock);
// Asks the holder of the name to restore and raise its window. False when no
// one holds the name or the request could not be sent.
bool OS_SendRaiseRequest(const std::string& name);
// Takes every waiting request without blocking; true when one asked to raise.
bool OS_TakeRaiseRequest(THandle lock);

// zorLinkDisAsm: brings the disassembly listing into the bug report. The
// report text asks its disassembly hook for the listing of a thread's failing
// function (with the settings FormatDisAsm and LimitDisAsm); this unit's
// start-up stores ParseFunction there. Without it the report has no listing.
#pragma once

#include <cstdint>
#include <string>

#include "crashreport/diagnostics/zorDisAsm.h"

// The listing of the function at entry with the line at exceptAddress marked;
// the text counts only when info comes back valid.
using TDisAsmHook = std::string (*)(uintptr_t entry, uintptr_t exceptAddress, bool autoDelimiters, int32_t lineLimit,
                                    TFunctionInfo& info);

// Empty until LinkDisAsm has run.
extern TDisAsmHook DisAsmHook;

// Normal context, at the reporter's start-up: stores ParseFunction in the hook.
// Later calls change nothing.
void LinkDisAsm();

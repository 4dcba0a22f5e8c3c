// zorStackTrace: the call stacks of the reporter's bug reports. A call stack
// is a list of output entries, newest first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One entry of a call stack.
struct TStackItem {
    uintptr_t Address = 0;
    uint32_t Offset = 0; // from the function's start; 0 when unknown
    std::u16string Module;
    std::u16string Unit;
    int32_t Line = 0;
    int32_t RelativeLine = 0;
    std::u16string FunctionName;
};

using TStackTrace = std::vector<TStackItem>;

// Stepping a saved register set outwards by the call-frame rules of the
// loaded modules (.eh_frame), with the rules of each address kept for the
// process; and libunwind, which the trace falls back to.
#pragma once

#include <ucontext.h>

#include <array>
#include <cstdint>
#include <vector>

#include "crashreport/diagnostics/zorStackTrace.h"

// DWARF register numbers of x86-64: rax, rdx, rcx, rbx, rsi, rdi, rbp, rsp,
// r8 .. r15, and the return address column (16).
constexpr int CfiRegisterCount = 17;
constexpr int CfiStackPointer = 7;
constexpr int CfiReturnColumn = 16;

enum class TCfiRuleKind : uint8_t { Default, Undefined, Same, Offset, ValOffset, Register, Unsupported };

struct TCfiRule {
    TCfiRuleKind Kind = TCfiRuleKind::Default;
    int64_t Value = 0; // an offset from the CFA, or a register number
};

// The rules in force at one address. CfaRegister -1: the CFA is an expression.
struct TCfiRow {
    bool Valid = false;
    bool SignalFrame = false; // the caller's address is exact, not a return address
    int CfaRegister = CfiStackPointer;
    int64_t CfaOffset = 0;
    std::array<TCfiRule, CfiRegisterCount> Rules{};
};

// The rules at pc from a frame description entry (at its length field) of a
// function that starts at functionStart. Not Valid when the entry or its CIE
// holds what these rules do not know. The entry is the loader's own data;
// its lengths are trusted as far as the entry's end.
TCfiRow CfiRowFromEntry(const uint8_t* fde, uintptr_t functionStart, uintptr_t pc);

// The frames of a saved context, as UnwindContext gives them, read by the
// rules (the stack through the snapshot when one is given). False when a
// frame has no rule or one these rules cannot follow: frames then holds the
// frames up to it.
bool UnwindContextByRules(const ucontext_t& context, const std::vector<TTryReadRun>* snapshot,
                          std::vector<TUnwoundFrame>& frames);
// The same through libunwind; empty when it is not there.
std::vector<TUnwoundFrame> UnwindContextByLibUnwind(const ucontext_t& context);

// Any bytes as code: every instruction the decoder finds, in 32-bit and in
// 64-bit mode, is at most 15 bytes long and lies inside the bytes; its text
// and the analysis and listing of a function at the bytes' start read
// nothing outside them (the copy below is exactly as long as the input, so
// the address sanitizer sees any read past it).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "crashreport/diagnostics/zorDisAsm.h"

namespace {

constexpr uintptr_t Base = 0x00401000;

bool WholeBuffer(const TDisAsmEnvironment& env, uintptr_t, uintptr_t& base, uintptr_t& size)
{
    const TBufferMemory* memory = static_cast<const TBufferMemory*>(env.memory);
    base = memory->BaseAddress();
    size = memory->ByteCount();
    return size != 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> bytes(data, data + size);
    const TBufferMemory memory(Base, bytes.data(), bytes.size());
    for (const TCodeMode mode : {TCodeMode::Bits32, TCodeMode::Bits64}) {
        TDisAsmEnvironment env;
        env.memory = &memory;
        env.mode = mode;
        env.imageOf = WholeBuffer;
        TRegState regs;
        for (uintptr_t at = Base; at < Base + size;) {
            TInstrInfo info;
            InstructionTextIn(env, at, &regs, true, &info);
            if (info.next < at || info.next - at > 15 || info.next > Base + size)
                __builtin_trap();
            if (info.valid && info.length != info.next - at)
                __builtin_trap();
            at = info.next > at ? info.next : at + 1;
        }
        if (size <= 4096) {
            TFunctionInfo function;
            ParseFunctionIn(env, TKnownRoutines{}, Base, Base + size / 2, true, 50, function);
            if (function.valid && (function.codeStart < Base || function.codeStart + function.codeSize > Base + size))
                __builtin_trap();
        }
    }
    return 0;
}

// zorDisAsm: the reporter's x86 disassembler. It decodes one instruction at a
// time (32-bit code as the opcode tables describe it, and the 64-bit code this
// program is made of), writes instructions as text, follows a function's
// control flow to find its code ranges and case tables, and lists a function
// with the faulting instruction marked.
//
// Nothing here trusts memory: every read of an address that may be invalid
// goes through ReadMemorySafe or through a TCodeMemory that checks first. All
// routines run in normal context or on the reporter's handler thread, never
// inside a signal handler (they allocate).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Decoding modes

// Which code the bytes are: the 32-bit instruction set of the opcode tables,
// or x86-64 (REX prefixes, RIP-relative operands, 64-bit stack operations).
enum class TCodeMode : uint8_t { Bits32, Bits64 };
// The code of this process.
constexpr TCodeMode NativeCodeMode = TCodeMode::Bits64;

// ---------------------------------------------------------------------------
// Read snapshot of the address space

// One run of equal readability: kind 0 not readable, 1 executable but not
// readable, 2 readable. End is exclusive.
struct TTryReadRun {
    uintptr_t start = 0;
    uintptr_t end = 0;
    uint8_t kind = 0;
};
// Runs in address order; neighbouring mappings of one kind form one run.
using TDATryRead = std::vector<TTryReadRun>;

// The mappings of /proc/self/maps as runs: "r" gives kind 2, "x" without "r"
// kind 1, anything else 0. Pages that fault on reading although they are
// mapped readable ([vvar]) count as 0. Empty when the maps cannot be read.
TDATryRead StartReadSnapshot();
// The same from mappings already read.
struct TMapRegion;
TDATryRead ReadSnapshotOf(const std::vector<TMapRegion>& regions);
// Frees the runs.
void EndReadSnapshot(TDATryRead& snapshot);
// The kind of the whole range [address, address + count): the kind of the run
// that holds all of it, else 0 (found by halving search).
uint8_t SnapshotKindOf(const TDATryRead& snapshot, uintptr_t address, size_t count);

// Copies count bytes from source to dest when they are readable; false (and
// nothing copied) otherwise. With a snapshot the snapshot decides; without
// one the kernel is asked for the copy itself, so a read never faults.
bool ReadMemorySafe(uintptr_t source, void* dest, size_t count, const TDATryRead* snapshot);

// Where the decoder, the analysis and the listing read code and data. The
// process reader goes through ReadMemorySafe; tests and the fuzzer give byte
// images at addresses of their choice.
class TCodeMemory {
public:
    virtual ~TCodeMemory() = default;
    // Copies count bytes at address, or gives false and copies nothing.
    virtual bool Read(uintptr_t address, void* dest, size_t count) const = 0;
    // Copies the readable bytes from address on, at most max of them, and
    // gives how many that were (0 when the first is not readable).
    virtual size_t ReadPrefix(uintptr_t address, void* dest, size_t max) const;
};

// The memory of this process, checked against the snapshot when one is given.
class TProcessMemory final : public TCodeMemory {
public:
    explicit TProcessMemory(const TDATryRead* snapshot = nullptr) : Snapshot(snapshot) {}
    bool Read(uintptr_t address, void* dest, size_t count) const override;
    size_t ReadPrefix(uintptr_t address, void* dest, size_t max) const override;

private:
    const TDATryRead* Snapshot;
};

// A byte image at a chosen address; everything outside it is unreadable. The
// bytes are not copied: they must outlive the reader.
class TBufferMemory final : public TCodeMemory {
public:
    TBufferMemory(uintptr_t base, const void* bytes, size_t size)
        : Base(base), Bytes(static_cast<const uint8_t*>(bytes)), Size(size)
    {
    }
    bool Read(uintptr_t address, void* dest, size_t count) const override;
    size_t ReadPrefix(uintptr_t address, void* dest, size_t max) const override;
    uintptr_t BaseAddress() const { return Base; }
    size_t ByteCount() const { return Size; }

private:
    uintptr_t Base;
    const uint8_t* Bytes;
    size_t Size;
};

// ---------------------------------------------------------------------------
// Decoded instruction

// Everything the decoder tells about one instruction (zeros before every
// decode). Addresses are 32-bit values in 32-bit mode.
struct TInstrInfo {
    bool valid = false;            // the bytes form an instruction (and an indirect target could be read)
    uint16_t opcode = 0;           // the opcode byte; 0x0F00 + second byte; 0x3800/0x3A00 + third byte for 0F 38/0F 3A
    uint8_t modRm = 0;             // the ModRM byte, 0 when there is none
    bool isCall = false;           // call (E8, 9A, FF /2, FF /3)
    bool isJump = false;           // jump of any kind (70-7F, E0-E3, E9, EA, EB, 0F 80-8F, FF /4, FF /5)
    bool isRelative = false;       // the destination is coded as a displacement
    uintptr_t target = 0;          // the destination, when known
    uintptr_t targetField = 0;     // relative: the displacement's address; through a tracked register: where the
                                   // tracked value was loaded (its immediate, or the lea's displacement)
    uintptr_t targetSlotField = 0; // through memory: where the pointer variable's address is coded
    int32_t targetSize = 0;        // size of the displacement (1, 2, 4) or of the pointer (4, or 8 in 64-bit mode)
    bool redirectable = false;     // the destination could be changed in place
    uintptr_t address = 0;         // where the instruction starts
    uintptr_t next = 0;            // where the next one starts (also for invalid bytes: where decoding stopped)
    // Beyond the record the tables describe:
    uint8_t opcodeMap = 0; // 0 one-byte, 1 0F, 2 0F 38, 3 0F 3A
    bool isVex = false;    // a VEX-coded instruction (64-bit mode)
    bool isReturn = false; // C2, C3, CA, CB, CF
    uint8_t length = 0;    // next - address for valid instructions
};

// What a register was last loaded with: field = where the value is coded (the
// address of the immediate, or of the displacement of a RIP-relative lea),
// value = the value itself. field 0 = unknown.
struct TRegEntry {
    uintptr_t field = 0;
    uint64_t value = 0;
    bool operator==(const TRegEntry&) const = default;
};
// One entry per register in the order eax/rax, ecx, edx, ebx, esp, ebp, esi,
// edi, r8 ... r15 (32-bit code uses the first eight).
struct TRegState {
    std::array<TRegEntry, 16> regs{};
    bool operator==(const TRegState&) const = default;
    void Clear() { regs = {}; }
};

// Decodes without register tracking and without a snapshot.
TInstrInfo DecodeInstruction(uintptr_t address, TCodeMode mode = NativeCodeMode);
// As above, reading code and indirect targets through the snapshot.
TInstrInfo DecodeInstructionSnap(uintptr_t address, const TDATryRead* snapshot, TCodeMode mode = NativeCodeMode);
// The full decoder: a given register state is updated for the instruction's
// register writes; with useRegState, calls and jumps through tracked
// registers take their targets from it.
TInstrInfo DecodeInstructionFull(uintptr_t address, TRegState* regState, bool useRegState, const TDATryRead* snapshot,
                                 TCodeMode mode = NativeCodeMode);
// The same over any memory.
TInstrInfo DecodeInstructionIn(const TCodeMemory& memory, uintptr_t address, TRegState* regState, bool useRegState,
                               TCodeMode mode);

// ---------------------------------------------------------------------------
// Hooks the debug information fills (empty until then)

// The line of an address: when address is not 0 and line is 0 or the address
// lies outside [rangeStart, rangeEnd), stores the line (0 when none) and the
// range where it holds.
using TDebugLineHook = void (*)(uintptr_t address, uint32_t& line, uintptr_t& rangeStart, uintptr_t& rangeEnd);
// The name of the routine at an address from the debug information ("" when none).
using TDebugNameHook = std::u16string (*)(uintptr_t address);
extern TDebugLineHook DebugLineHook;
extern TDebugNameHook DebugNameHook;

// Where a function of this program lies: its own bytes and those of its cold
// part (the "name.cold" block the compiler moves away), [start, end) each;
// the cold part is empty when there is none.
struct TFunctionExtent {
    uintptr_t start = 0;
    uintptr_t end = 0;
    uintptr_t coldStart = 0;
    uintptr_t coldEnd = 0;
};
// The extent of the function holding an address from the symbol table, false
// when unknown; until the debug information fills it the unwind tables answer.
using TFunctionExtentHook = bool (*)(uintptr_t address, TFunctionExtent& extent);
extern TFunctionExtentHook FunctionExtentHook;

// ---------------------------------------------------------------------------
// The world around the code: what the text, the analysis and the listing ask
// of the process. The process environment answers from this process; tests
// give byte images, fake modules and fake names.

struct TDisAsmEnvironment {
    TDisAsmEnvironment() = default;
    TDisAsmEnvironment(const TDisAsmEnvironment&) = delete;
    TDisAsmEnvironment& operator=(const TDisAsmEnvironment&) = delete;

    const TCodeMemory* memory = nullptr;
    TCodeMode mode = NativeCodeMode;
    // The image (loaded module) that holds an address ([base, base + size)), false when none.
    bool (*imageOf)(const TDisAsmEnvironment& env, uintptr_t address, uintptr_t& base, uintptr_t& size) = nullptr;
    // The memory region (mapping) that holds an address, for code outside every image.
    bool (*regionOf)(const TDisAsmEnvironment& env, uintptr_t address, uintptr_t& base, uintptr_t& size) = nullptr;
    // The exported name of the routine at an address, unmangled ("" when none).
    std::string (*exportNameOf)(const TDisAsmEnvironment& env, uintptr_t address) = nullptr;
    // The name the debug information gives ("" when none).
    std::string (*debugNameOf)(const TDisAsmEnvironment& env, uintptr_t address) = nullptr;
    // The module suffix of a name outside the program's own module: " (libc.so.6)"; "" for the program's own.
    std::string (*moduleSuffixOf)(const TDisAsmEnvironment& env, uintptr_t address) = nullptr;
    // 64-bit analysis: the extent of the function holding an address, false when unknown.
    bool (*functionExtentOf)(const TDisAsmEnvironment& env, uintptr_t address, TFunctionExtent& extent) = nullptr;
    // 64-bit analysis: whether a call to this routine never comes back.
    bool (*isNonReturning)(const TDisAsmEnvironment& env, uintptr_t address) = nullptr;
    void* context = nullptr;      // free for the callbacks
    TProcessMemory processMemory; // what memory points at for this process
};

// Fills env with the answers of this process, reading through the snapshot
// when one is given.
void SetProcessDisAsmEnvironment(TDisAsmEnvironment& env, const TDATryRead* snapshot = nullptr);

// ---------------------------------------------------------------------------
// Instruction text

// Decodes the instruction at address and writes it as one line ("db" lines
// joined by CR LF for bytes that are no instruction).
std::string InstructionText(uintptr_t address, TRegState* regState, bool useRegState, TInstrInfo* info = nullptr);
std::string InstructionTextIn(const TDisAsmEnvironment& env, uintptr_t address, TRegState* regState, bool useRegState,
                              TInstrInfo* info = nullptr);
// Appends "  ; " and the name of the routine at address, padded to its column;
// false (line unchanged) when there is no name.
bool AddNameComment(uintptr_t address, std::string& line);
bool AddNameCommentIn(const TDisAsmEnvironment& env, uintptr_t address, std::string& line);
// Appends "  ; '" text "'" when address (or, reading through, the pointer stored
// there) points at plausible text inside the image of the instruction at
// instrAddress.
void AddStringComment(uintptr_t instrAddress, uintptr_t address, bool readThrough, std::string& line);
void AddStringCommentIn(const TDisAsmEnvironment& env, uintptr_t instrAddress, uintptr_t address, bool readThrough,
                        std::string& line);

// ---------------------------------------------------------------------------
// Function analysis

struct TCodeRange {
    uintptr_t start = 0;
    uintptr_t last = 0; // address of the last byte; 0 while the range waits to be parsed
    bool isCaseTable = false;
    bool isHandlerTable = false;
    uintptr_t source = 0; // the branch that leads to start, or 0
    TRegState regState;   // the register state at start
};

struct TExternalBranch {
    bool isCall = false;
    uintptr_t address = 0;
    uintptr_t next = 0;
    uintptr_t target = 0;
    bool isRelative = false;
    uintptr_t targetField = 0;
    uintptr_t targetSlotField = 0;
};

struct TUnresolvedBranch {
    bool isCall = false;
    uintptr_t address = 0;
    uintptr_t next = 0;
};

// What a relocated copy of the function would need; only the code patching
// of the reporter reads more than the first two fields.
struct TCopyPlan {
    bool possible = false;
    uint32_t size = 0;
    uint32_t reserved1 = 0;
    uint32_t reserved2 = 0;
    std::string note;
};

struct TFunctionInfo {
    bool valid = false;
    uintptr_t entry = 0;
    uintptr_t codeStart = 0;
    uint32_t codeSize = 0;
    uintptr_t errorAddress = 0;
    uint32_t errorCode = 0;
    std::string errorText;
    std::vector<TCodeRange> ranges;
    std::vector<TExternalBranch> externalBranches;
    std::vector<TUnresolvedBranch> unresolvedBranches;
    bool patchable = false;
    TCopyPlan copyPlan;
};

// The entry is not committed memory.
constexpr uint32_t AnalysisErrorNoMemory = 87;
// The code does not decode.
constexpr uint32_t AnalysisErrorInvalidCode = 0x770001;

// The routines of the run-time that the analysis treats specially (0 = none).
struct TKnownRoutines {
    uintptr_t anyExceptionHandler = 0;
    uintptr_t haltRoutine = 0;
    uintptr_t finallyHandler = 0;
    uintptr_t autoExceptionHandler = 0;
    uintptr_t typedHandlerTableHandler = 0;
    uintptr_t cxxThrowException = 0; // the C run-time's throw routine, when that module is loaded
};

// Follows the function at entry. In 64-bit mode a function whose extent is
// known (its unwind table entry, or the debug information's symbol) is read
// as exactly that extent; otherwise its control flow is followed.
TFunctionInfo AnalyseFunction(uintptr_t entry, const TDATryRead* snapshot, uintptr_t anyExceptionHandler = 0,
                              uintptr_t haltRoutine = 0, uintptr_t finallyHandler = 0,
                              uintptr_t autoExceptionHandler = 0, uintptr_t typedHandlerTableHandler = 0);
TFunctionInfo AnalyseFunctionIn(const TDisAsmEnvironment& env, uintptr_t entry, const TKnownRoutines& known);
// AnalyseFunction without snapshot and with the default routines.
TFunctionInfo ScanFunctionAt(uintptr_t entry);
// The range with the lowest start at or after the current range's last + 1
// (for -1: the lowest start of all); -1 when none.
int NextRangeInOrder(int current, const TFunctionInfo& info);

// ---------------------------------------------------------------------------
// Disassembly listing

// The listing of the function at entry with the line at exceptAddress marked
// (0 = none); with a line limit above 0 only that many lines before and after
// it. Empty when the analysis is invalid.
std::string ParseFunction(uintptr_t entry, uintptr_t exceptAddress, bool autoDelimiters, int32_t lineLimit,
                          TFunctionInfo& info);
std::string ParseFunctionIn(const TDisAsmEnvironment& env, const TKnownRoutines& known, uintptr_t entry,
                            uintptr_t exceptAddress, bool autoDelimiters, int32_t lineLimit, TFunctionInfo& info);

// The disassembler on this program's own code: a linear sweep of the
// decoder over the whole .text section (timed against objdump on the same
// bytes), and the analysis and listing of 500 of its functions.
#include "crashreport/diagnostics/zorDisAsm.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <elf.h>
#include <fstream>
#include <iterator>
#include <link.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// This program's file, its .text section and its functions (from .symtab).
struct TProgram {
    std::string path;
    uintptr_t loadBase = 0;
    uint64_t textAddress = 0; // as the file gives it
    uint64_t textSize = 0;
    std::vector<uint64_t> functions; // file addresses of functions with a size
    double objdumpSeconds = 0;
    uint64_t objdumpInstructions = 0;

    uintptr_t TextStart() const { return loadBase + textAddress; }
};

int MainProgramBase(dl_phdr_info* info, size_t, void* data)
{
    *static_cast<uintptr_t*>(data) = info->dlpi_addr;
    return 1; // the first entry is the program itself
}

TProgram ReadProgram()
{
    TProgram program;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n <= 0)
        return program;
    self[n] = 0;
    program.path = self;
    dl_iterate_phdr(MainProgramBase, &program.loadBase);
    std::ifstream in(program.path, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < sizeof(Elf64_Ehdr))
        return program;
    Elf64_Ehdr header;
    memcpy(&header, file.data(), sizeof(header));
    if (header.e_shoff == 0 || header.e_shoff + uint64_t(header.e_shnum) * sizeof(Elf64_Shdr) > file.size())
        return program;
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    memcpy(sections.data(), file.data() + header.e_shoff, sections.size() * sizeof(Elf64_Shdr));
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    for (const Elf64_Shdr& section : sections) {
        const char* name = file.data() + names.sh_offset + section.sh_name;
        if (strcmp(name, ".text") == 0) {
            program.textAddress = section.sh_addr;
            program.textSize = section.sh_size;
        }
        if (section.sh_type == SHT_SYMTAB) {
            for (uint64_t at = section.sh_offset; at + sizeof(Elf64_Sym) <= section.sh_offset + section.sh_size;
                 at += sizeof(Elf64_Sym)) {
                Elf64_Sym symbol;
                memcpy(&symbol, file.data() + at, sizeof(symbol));
                if (ELF64_ST_TYPE(symbol.st_info) == STT_FUNC && symbol.st_size > 0 && symbol.st_value != 0)
                    program.functions.push_back(symbol.st_value);
            }
        }
    }
    std::sort(program.functions.begin(), program.functions.end());
    program.functions.erase(std::unique(program.functions.begin(), program.functions.end()), program.functions.end());

    // objdump over the same bytes, once.
    char command[8192];
    snprintf(command, sizeof(command),
             "objdump -d --start-address=0x%llx --stop-address=0x%llx '%s' 2>/dev/null | grep -c '^ *[0-9a-f]*:'",
             static_cast<unsigned long long>(program.textAddress),
             static_cast<unsigned long long>(program.textAddress + program.textSize), program.path.c_str());
    const auto start = std::chrono::steady_clock::now();
    if (FILE* pipe = popen(command, "r")) {
        unsigned long long count = 0;
        if (fscanf(pipe, "%llu", &count) == 1)
            program.objdumpInstructions = count;
        pclose(pipe);
    }
    program.objdumpSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return program;
}

const TProgram& Program()
{
    static const TProgram program = ReadProgram();
    return program;
}

template <typename Decode> void Sweep(benchmark::State& state, Decode decode)
{
    const TProgram& program = Program();
    if (program.textSize == 0) {
        state.SkipWithError("no .text section found");
        return;
    }
    const uintptr_t start = program.TextStart(), end = start + program.textSize;
    uint64_t instructions = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        uint64_t count = 0;
        for (uintptr_t at = start; at < end;) {
            const TInstrInfo info = decode(at);
            at = info.next > at ? info.next : at + 1;
            ++count;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        instructions += count;
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(static_cast<int64_t>(instructions));
    state.counters["text_MB"] = static_cast<double>(program.textSize) / 1e6;
    state.counters["Minstr_per_s"] = static_cast<double>(instructions) / seconds / 1e6;
    if (program.objdumpSeconds > 0) {
        const double ours = seconds / static_cast<double>(state.iterations());
        state.counters["objdump_s"] = program.objdumpSeconds;
        state.counters["objdump_instr"] = static_cast<double>(program.objdumpInstructions);
        state.counters["faster_than_objdump"] = program.objdumpSeconds / ours;
    }
}

// DecodeInstruction as callers use it: each instruction read safely from
// this process's memory.
void BM_DecodeSweep64(benchmark::State& state)
{
    Sweep(state, [](uintptr_t at) { return DecodeInstruction(at, TCodeMode::Bits64); });
}
BENCHMARK(BM_DecodeSweep64)->Unit(benchmark::kMillisecond);

// The same reading through a snapshot of the address space.
void BM_DecodeSweepSnapshot64(benchmark::State& state)
{
    static const TDATryRead snapshot = StartReadSnapshot();
    Sweep(state, [](uintptr_t at) { return DecodeInstructionSnap(at, &snapshot, TCodeMode::Bits64); });
}
BENCHMARK(BM_DecodeSweepSnapshot64)->Unit(benchmark::kMillisecond);

// The decoder alone, over a copy of the bytes.
void BM_DecodeSweepBuffer64(benchmark::State& state)
{
    const TProgram& program = Program();
    static const std::vector<uint8_t> copy(reinterpret_cast<const uint8_t*>(program.TextStart()),
                                           reinterpret_cast<const uint8_t*>(program.TextStart() + program.textSize));
    static const TBufferMemory memory(program.TextStart(), copy.data(), copy.size());
    Sweep(state, [](uintptr_t at) { return DecodeInstructionIn(memory, at, nullptr, false, TCodeMode::Bits64); });
}
BENCHMARK(BM_DecodeSweepBuffer64)->Unit(benchmark::kMillisecond);

// AnalyseFunction and ParseFunction (limit 50, as the report asks) of 500
// functions spread over the program.
void BM_AnalyseAndList500(benchmark::State& state)
{
    const TProgram& program = Program();
    if (program.functions.size() < 500) {
        state.SkipWithError("fewer than 500 functions");
        return;
    }
    std::vector<uintptr_t> entries;
    for (size_t i = 0; i < 500; ++i)
        entries.push_back(program.loadBase + program.functions[i * program.functions.size() / 500]);
    size_t valid = 0, lines = 0;
    for (auto _ : state) {
        valid = lines = 0;
        for (uintptr_t entry : entries) {
            const TFunctionInfo analysed = AnalyseFunction(entry, nullptr);
            TFunctionInfo info;
            const std::string text = ParseFunction(entry, entry, true, 50, info);
            valid += analysed.valid && info.valid ? 1 : 0;
            lines += static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
        }
    }
    state.counters["valid_functions"] = static_cast<double>(valid);
    state.counters["listing_lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_AnalyseAndList500)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

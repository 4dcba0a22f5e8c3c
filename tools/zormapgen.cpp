// zormapgen <program> [<output>]: writes the packed debug information of a
// linked program (its function names, compile units and line numbers) beside
// it as "<program>.zor", for the crash reporter's call stacks. The build runs
// it after linking every program that carries the reporter.
//
// It reads the listings of binutils: `nm -C --defined-only --print-size` and
// `readelf -W --debug-dump=decodedline`.
#include <cstdio>
#include <string>

#include "crashreport/diagnostics/zorMapFile.h"

namespace {

bool RunTool(const std::string& command, std::string& output)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    char buffer[1 << 16];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        output.append(buffer, got);
    return pclose(pipe) == 0;
}

std::string Quoted(const std::string& path)
{
    std::string out = "'";
    for (char c : path)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: zormapgen <program> [<output>]\n");
        return 2;
    }
    const std::string program = argv[1];
    const std::string output = argc == 3 ? argv[2] : PackedDebugFileOf(program);
    TElfFacts facts;
    if (!ReadElfFactsOfFile(program, false, facts) || facts.codeEnd == 0) {
        std::fprintf(stderr, "zormapgen: %s is no x86-64 ELF program with code\n", program.c_str());
        return 1;
    }
    std::string symbols, lines;
    if (!RunTool("nm -C --defined-only --print-size " + Quoted(program), symbols) ||
        !RunTool("readelf -W --debug-dump=decodedline " + Quoted(program) + " 2>/dev/null", lines)) {
        std::fprintf(stderr, "zormapgen: nm or readelf failed on %s\n", program.c_str());
        return 1;
    }
    TMapFile map;
    BuildMapFromToolText(map, symbols, lines, facts.codeStart, facts.codeEnd);
    if (facts.entry >= facts.codeStart && facts.entry < facts.codeEnd)
        map.entryPoint = static_cast<uintptr_t>(facts.entry);
    const std::string packed = WritePackedDebugInfo(map);
    FILE* out = std::fopen(output.c_str(), "wb");
    if (out == nullptr || std::fwrite(packed.data(), 1, packed.size(), out) != packed.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "zormapgen: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}

// The decoder checked against binutils: instruction starts, lengths and
// mnemonics of 32-bit code agree with objdump's, and so do the starts and
// lengths of the 64-bit code the compiler makes of this project.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/diagnostics/zorDisAsm.h"
#include "tests/support/TestSupport.h"

namespace {

bool HaveProgram(const char* name)
{
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool HaveBinutils()
{
    return HaveProgram("objdump") && HaveProgram("as");
}

std::string RunAndCapture(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        output.append(buffer, n);
    pclose(pipe);
    return output;
}

// One line of objdump's listing.
struct TObjdumpLine {
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
    std::string text;
};

// Parses "  offset:\tbytes\ttext" lines; function headers "... <name>:" start
// a new function when functions is given.
std::vector<TObjdumpLine> ParseObjdump(const std::string& output,
                                       std::vector<std::pair<std::string, size_t>>* functions = nullptr)
{
    auto hexDigit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
    std::vector<TObjdumpLine> lines;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        const std::string_view line(output.data() + start, end - start);
        start = end + 1;
        const size_t colon = line.find(":\t");
        if (colon == std::string_view::npos) {
            const size_t lt = line.find(" <");
            if (functions != nullptr && lt != std::string_view::npos && line.size() > lt + 4 && line.back() == ':')
                functions->push_back({std::string(line.substr(lt + 2, line.size() - lt - 4)), lines.size()});
            continue;
        }
        TObjdumpLine parsed;
        bool number = true;
        for (size_t k = 0; k < colon; ++k) {
            if (line[k] == ' ')
                continue;
            const int digit = hexDigit(line[k]);
            if (digit < 0) {
                number = false;
                break;
            }
            parsed.offset = parsed.offset * 16 + static_cast<uint64_t>(digit);
        }
        if (!number)
            continue;
        size_t k = colon + 2;
        while (k + 1 < line.size() && line[k] != '\t') {
            const int high = hexDigit(line[k]), low = hexDigit(line[k + 1]);
            if (high < 0 || low < 0) {
                ++k;
                continue;
            }
            parsed.bytes.push_back(static_cast<uint8_t>(high * 16 + low));
            k += 2;
        }
        if (k < line.size() && line[k] == '\t')
            parsed.text = std::string(line.substr(k + 1));
        if (!parsed.bytes.empty())
            lines.push_back(std::move(parsed));
    }
    return lines;
}

// The instruction name of an objdump text, without prefixes and notes.
std::string ObjdumpMnemonic(const std::string& text)
{
    static const std::set<std::string> PrefixWords = {"rep",    "repz",   "repnz",  "repe",   "repne",   "lock",
                                                      "data16", "addr16", "data32", "addr32", "cs",      "ds",
                                                      "es",     "ss",     "fs",     "gs",     "notrack", "bnd"};
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        if (PrefixWords.count(word) != 0)
            continue;
        const size_t paren = word.find('(');
        if (paren != std::string::npos && paren != 0)
            word = word.substr(0, paren); // "fneni(8087" and the like
        const size_t comma = word.find(',');
        if (comma != std::string::npos)
            word = word.substr(0, comma); // "jne,pn"
        return word;
    }
    return "";
}

// The instruction name of one of our lines: the word after the address,
// without "lock ", "rep " and "repne ".
std::string OurMnemonic(const std::string& line)
{
    std::istringstream in(line);
    std::string word;
    in >> word; // address
    while (in >> word) {
        if (word == "lock" || word == "rep" || word == "repne")
            continue;
        return word;
    }
    return "";
}

// Names we write differently from objdump. Each pair is (ours, objdump's).
bool KnownNamingDifference(const std::string& ours, const std::string& theirs)
{
    static const std::set<std::pair<std::string, std::string>> Pairs = {
        // String instructions: objdump names the size in its operands.
        {"movsb", "movs"},
        {"movsd", "movs"},
        {"movsw", "movs"},
        {"cmpsb", "cmps"},
        {"cmpsd", "cmps"},
        {"cmpsw", "cmps"},
        {"stosb", "stos"},
        {"stosd", "stos"},
        {"stosw", "stos"},
        {"lodsb", "lods"},
        {"lodsd", "lods"},
        {"lodsw", "lods"},
        {"scasb", "scas"},
        {"scasd", "scas"},
        {"scasw", "scas"},
        {"insb", "ins"},
        {"insd", "ins"},
        {"insw", "ins"},
        {"outsb", "outs"},
        {"outsd", "outs"},
        {"outsw", "outs"},
        // The far returns, and "int     3" whose number is part of our name.
        {"ret", "retf"},
        {"ret", "retfw"},
        {"int", "int3"},
        {"int01", "int1"},
        {"jecxz", "jcxz"},
        // Older names of the same instructions.
        {"wait", "fwait"},
        {"pushad", "pusha"},
        {"popad", "popa"},
        {"pushfd", "pushf"},
        {"popfd", "popf"},
        {"nop", "pause"},
        {"nop", "xchg"},
        // The shift group's /6 is an undocumented copy of shl.
        {"sal", "shl"},
    };
    if (Pairs.count({ours, theirs}) != 0)
        return true;
    // With 0x66, objdump puts the operand size into the names of stack and
    // branch instructions ("pushw", "pushaw", "iretw").
    static const std::set<std::string> SizedWithW = {"push",   "pop",    "pusha", "popa",  "pushf", "popf",   "iret",
                                                     "call",   "jmp",    "ret",   "enter", "leave", "fldenv", "fnstenv",
                                                     "frstor", "fnsave", "sgdt",  "sidt",  "lgdt",  "lidt"};
    if (SizedWithW.count(ours) != 0 && theirs == ours + "w")
        return true;
    // objdump names the 32-bit forms of the descriptor table loads and stores.
    static const std::set<std::string> SizedWithD = {"sgdt", "sidt", "lgdt", "lidt"};
    if (SizedWithD.count(ours) != 0 && theirs == ours + "d")
        return true;
    // Condition names: we write nb, z, nz where objdump writes ae, e, ne.
    for (const char* stem : {"j", "set", "cmov"}) {
        const std::string s(stem);
        if (ours.rfind(s, 0) != 0 || theirs.rfind(s, 0) != 0)
            continue;
        static const std::map<std::string, std::string> Conditions = {{"nb", "ae"}, {"z", "e"}, {"nz", "ne"}};
        auto it = Conditions.find(ours.substr(s.size()));
        if (it != Conditions.end() && theirs.substr(s.size()) == it->second)
            return true;
    }
    return false;
}

// The opcode and ModRM byte of 32-bit bytes, after the prefixes.
struct TOpcodeAt {
    int map = 0; // 0 one-byte, 1 0F
    uint8_t opcode = 0;
    uint8_t modRm = 0;
    uint8_t next = 0;      // the byte after the opcode
    bool prefixed = false; // 0x66, 0xF2 or 0xF3 given
    bool has66 = false;
    uint8_t rep = 0; // the last 0xF2 or 0xF3
};

TOpcodeAt OpcodeOf(const std::vector<uint8_t>& bytes)
{
    TOpcodeAt at;
    size_t i = 0;
    while (i < bytes.size() && (bytes[i] == 0x66 || bytes[i] == 0x67 || bytes[i] == 0xF2 || bytes[i] == 0xF3)) {
        at.prefixed = at.prefixed || bytes[i] != 0x67;
        at.has66 = at.has66 || bytes[i] == 0x66;
        if (bytes[i] == 0xF2 || bytes[i] == 0xF3)
            at.rep = bytes[i];
        ++i;
    }
    if (i < bytes.size() && bytes[i] == 0x0F) {
        at.map = 1;
        ++i;
    }
    if (i < bytes.size())
        at.opcode = bytes[i];
    if (i + 1 < bytes.size())
        at.modRm = at.next = bytes[i + 1];
    return at;
}

// Bytes we reject that objdump decodes: instructions newer than the opcode
// map the decoder follows, and aliases that map leaves out.
bool ObjdumpKnowsMore(const std::vector<uint8_t>& bytes)
{
    const TOpcodeAt at = OpcodeOf(bytes);
    const int reg = (at.modRm >> 3) & 7;
    if (at.map == 0) {
        return ((at.opcode == 0xF6 || at.opcode == 0xF7) && reg == 1) || // test alias of /0
               ((at.opcode == 0x8C || at.opcode == 0x8E) && reg >= 6) || // segment registers 6 and 7
               at.opcode == 0xC4 || at.opcode == 0xC5;                   // VEX with a register operand
    }
    static const std::set<uint8_t> Newer = {
        0x01,                                           // virtualisation, monitor, xsetbv, ... register forms
        0x0B, 0xB9, 0xFF,                               // ud2, ud1, ud0
        0x0D, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, // prefetch hints and hint nops, bound registers
        0x20, 0x21, 0x22, 0x23,                         // control/debug register moves: the CPU ignores mod
        0x24, 0x26,                                     // test registers of old processors
        0x37, 0x78, 0x79,                               // getsec, vmread, vmwrite
        0xAE, 0xC7,                                     // xsave family, fs/gs base, rdrand, rdseed, rdpid
        0xB8,                                           // popcnt
    };
    return Newer.count(at.opcode) != 0;
}

// Bytes we accept that objdump rejects.
bool ObjdumpKnowsLess(const std::vector<uint8_t>& bytes)
{
    const TOpcodeAt at = OpcodeOf(bytes);
    // 8F, C6 and C7 are pop and mov only with reg 0 (8F with other values
    // starts AMD's XOP prefix, C6/C7 /7 transactions), which the map's
    // validity rules do not check; D6 (salc) is undocumented and objdump
    // leaves it out of ELF files.
    const int reg = (at.modRm >> 3) & 7;
    const bool registerForm = at.modRm >= 0xC0;
    if (at.map == 1) {
        // 0xF2/0xF3 select scalar forms of these only; on the others the map
        // still gives a name ("movlss"), where objdump finds no instruction.
        static const std::set<uint8_t> F2Forms = {0x10, 0x11, 0x12, 0x2A, 0x2C, 0x2D, 0x51, 0x58, 0x59, 0x5A, 0x5C,
                                                  0x5D, 0x5E, 0x5F, 0x70, 0x7C, 0x7D, 0xC2, 0xD0, 0xD6, 0xE6, 0xF0};
        static const std::set<uint8_t> F3Forms = {0x10, 0x11, 0x12, 0x16, 0x2A, 0x2C, 0x2D, 0x51, 0x52,
                                                  0x53, 0x58, 0x59, 0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F,
                                                  0x6F, 0x70, 0x7E, 0x7F, 0xC2, 0xD6, 0xE6};
        if ((at.rep == 0xF2 && F2Forms.count(at.opcode) == 0) || (at.rep == 0xF3 && F3Forms.count(at.opcode) == 0))
            return true;
        switch (at.opcode) {
        case 0x01: // the register forms are newer instructions (rdtscp, ...)
            return registerForm;
        case 0x09: // with a prefix: wbnoinvd, or nothing
            return at.prefixed;
        case 0x12: // movlpd and movhpd move memory only; the map does not check
        case 0x16:
            return registerForm && at.has66;
        case 0x52: // rsqrtps, rcpps, emms and movnti have no 0x66 form
        case 0x53:
        case 0x77:
        case 0xC3:
            return at.has66;
        case 0x73: // psrldq and pslldq exist for XMM registers only
            return !at.has66 && (reg == 3 || reg == 7);
        case 0xAE: // fences only with rm 0; 0x66 and the other register forms are newer instructions
            return at.has66 || (registerForm && (at.modRm & 7) != 0);
        case 0xC7: // cmpxchg8b is /1; the others are newer instructions or nothing
            return reg != 1;
        case 0x50: // register-only: movmskps, pextrw, pmovmskb, maskmovq
        case 0xC5:
        case 0xD7:
        case 0xF7:
            return !registerForm;
        case 0xD6: // movdq2q and movq2dq take registers only
            return at.rep != 0 && !registerForm;
        case 0x13: // memory-only moves and loads
        case 0x17:
        case 0x2B:
        case 0xE7:
        case 0xF0:
            return registerForm;
        default:
            return false;
        }
    }
    const bool regZeroOnly = at.opcode == 0x8F || at.opcode == 0xC6 || at.opcode == 0xC7;
    if ((regZeroOnly && reg != 0) || at.opcode == 0xD6)
        return true;
    // The x87 register forms that only repeat others (fcom2, fcomp3, fxch4,
    // fcomp5, fxch7, fstp1, fstp8, fstp9, and DE D8+i other than fcompp):
    // the map has them, objdump does not.
    if (!registerForm)
        return false;
    switch (at.opcode) {
    case 0xD9:
        return reg == 3;
    case 0xDC:
        return reg == 2 || reg == 3;
    case 0xDD:
        return reg == 1;
    case 0xDE:
        return reg == 2 || (reg == 3 && at.modRm != 0xD9);
    case 0xDF:
        return reg >= 1 && reg <= 3;
    default:
        return false;
    }
}

// Decodes bytes at offset 0 of a buffer in 32-bit mode; length 0 = invalid.
struct TOurDecode {
    bool valid = false;
    size_t length = 0; // also for invalid bytes: where decoding stopped
    std::string text;
};

// The bytes at 0x10000 and zeros everywhere else, so that an indirect jump
// through any address finds a pointer to read.
class TOpenMemory final : public TCodeMemory {
public:
    explicit TOpenMemory(const std::vector<uint8_t>& bytes) : Bytes(0x10000, bytes.data(), bytes.size()) {}
    bool Read(uintptr_t address, void* dest, size_t count) const override
    {
        if (Bytes.Read(address, dest, count))
            return true;
        memset(dest, 0, count);
        return true;
    }
    size_t ReadPrefix(uintptr_t address, void* dest, size_t max) const override
    {
        return Bytes.ReadPrefix(address, dest, max);
    }

private:
    TBufferMemory Bytes;
};

TOurDecode DecodeOurs(const std::vector<uint8_t>& bytes, size_t offset, TCodeMode mode)
{
    TOpenMemory memory(bytes);
    TDisAsmEnvironment env;
    env.memory = &memory;
    env.mode = mode;
    TInstrInfo info;
    TOurDecode result;
    result.text = InstructionTextIn(env, 0x10000 + offset, nullptr, false, &info);
    result.valid = info.valid;
    result.length = info.next - info.address;
    return result;
}

std::string HexBytes(const std::vector<uint8_t>& bytes, size_t from = 0, size_t count = 16)
{
    std::string text;
    char b[4];
    for (size_t i = from; i < bytes.size() && i < from + count; ++i) {
        snprintf(b, sizeof(b), "%02x ", bytes[i]);
        text += b;
    }
    return text;
}

} // namespace

// Every opcode of the one-byte and 0F maps with register and memory forms of
// every reg field, under the prefixes that change them, through objdump.
TEST(ZorDisAsmOracle, EveryOpcode32)
{
    if (!HaveBinutils())
        GTEST_SKIP() << "binutils (objdump, as) not installed";
    static const uint8_t Prefixes[] = {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0x66, 0x67, 0xF0, 0xF2, 0xF3};
    auto isPrefix = [](uint8_t b) {
        for (uint8_t p : Prefixes)
            if (p == b)
                return true;
        return false;
    };
    const std::vector<uint8_t> filler = {0x11, 0x22, 0x33, 0x44, 0x55, 0x12, 0x34, 0x56, 0x78, 0x13, 0x57};
    std::vector<std::vector<uint8_t>> raw;
    auto add = [&](std::vector<uint8_t> head) {
        head.insert(head.end(), filler.begin(), filler.end());
        raw.push_back(head);
    };
    for (int map = 0; map < 2; ++map) {
        for (int op = 0; op < 256; ++op) {
            if (map == 0 && (isPrefix(static_cast<uint8_t>(op)) || op == 0x0F))
                continue;
            std::vector<std::vector<uint8_t>> prefixSets = {{}, {0x66}};
            if (map == 1 || op == 0x90 || (op >= 0x6C && op <= 0x6F) || (op >= 0xA4 && op <= 0xAF))
                prefixSets.push_back({0xF3});
            if (map == 1)
                prefixSets.push_back({0xF2});
            for (const auto& prefix : prefixSets) {
                std::vector<uint8_t> head = prefix;
                if (map == 1)
                    head.push_back(0x0F);
                head.push_back(static_cast<uint8_t>(op));
                for (int reg = 0; reg < 8; ++reg) {
                    for (uint8_t modRm :
                         {uint8_t(0xC1 | reg << 3), uint8_t(0x00 | reg << 3), uint8_t(0xC7 | reg << 3)}) {
                        std::vector<uint8_t> bytes = head;
                        bytes.push_back(modRm);
                        add(bytes);
                    }
                }
                // Addressing forms: SIB with disp8, disp32, SIB without base, 16-bit addressing.
                for (std::vector<uint8_t> tail :
                     {std::vector<uint8_t>{0x44, 0x8E}, std::vector<uint8_t>{0x85}, std::vector<uint8_t>{0x05},
                      std::vector<uint8_t>{0x04, 0x25}, std::vector<uint8_t>{0x8C, 0xB5}}) {
                    std::vector<uint8_t> bytes = head;
                    bytes.insert(bytes.end(), tail.begin(), tail.end());
                    add(bytes);
                }
                std::vector<uint8_t> addr16 = {0x67};
                addr16.insert(addr16.end(), head.begin(), head.end());
                addr16.push_back(0x46);
                add(addr16);
            }
        }
    }
    // Suffixes of the 3DNow! list.
    add({0x0F, 0x0F, 0xC1, 0x9E});
    add({0x0F, 0x0F, 0x00, 0xB4});

    // Our length cuts each candidate; nops after each let objdump find its way
    // back where it reads more bytes than we do.
    std::vector<uint8_t> validStream, invalidStream;
    std::vector<size_t> validStarts, invalidStarts;
    std::vector<TOurDecode> validOurs, invalidOurs;
    std::set<std::vector<uint8_t>> seen;
    for (const auto& bytes : raw) {
        const TOurDecode ours = DecodeOurs(bytes, 0, TCodeMode::Bits32);
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<long>(ours.length));
        if (!seen.insert(cut).second)
            continue;
        if (ours.valid && ObjdumpKnowsLess(cut))
            continue;
        if (ours.valid) {
            validStarts.push_back(validStream.size());
            validOurs.push_back(ours);
            validStream.insert(validStream.end(), cut.begin(), cut.end());
            validStream.insert(validStream.end(), 15, 0x90);
        } else {
            invalidStarts.push_back(invalidStream.size());
            invalidOurs.push_back(ours);
            invalidStream.insert(invalidStream.end(), cut.begin(), cut.end());
            invalidStream.insert(invalidStream.end(), 15, 0x90);
        }
    }
    TTempFolder folder;
    const std::string validFile = folder.WriteFile("valid.bin", std::string(validStream.begin(), validStream.end()));
    const std::string invalidFile =
        folder.WriteFile("invalid.bin", std::string(invalidStream.begin(), invalidStream.end()));
    auto objdump = [](const std::string& file) {
        const auto lines = ParseObjdump(
            RunAndCapture("objdump -D -b binary -m i386 -M intel --insn-width=16 '" + file + "' 2>/dev/null"));
        std::map<uint64_t, TObjdumpLine> byOffset;
        for (const auto& line : lines)
            byOffset[line.offset] = line;
        return byOffset;
    };
    const auto validLines = objdump(validFile);
    const auto invalidLines = objdump(invalidFile);
    ASSERT_FALSE(validLines.empty());

    int failures = 0;
    for (size_t i = 0; i < validStarts.size() && failures < 60; ++i) {
        const TOurDecode& ours = validOurs[i];
        auto it = validLines.find(validStarts[i]);
        const std::string bytes = HexBytes(validStream, validStarts[i], ours.length);
        if (it == validLines.end()) {
            ADD_FAILURE() << "objdump lost the start of " << bytes << " (" << ours.text << ")";
            ++failures;
            continue;
        }
        const TObjdumpLine& theirs = it->second;
        const bool theirsBad = theirs.text.find("(bad)") != std::string::npos;
        if (theirsBad || theirs.bytes.size() != ours.length) {
            ADD_FAILURE() << "valid for us, objdump differs: " << bytes << "| ours: " << ours.text
                          << " | objdump: " << HexBytes(theirs.bytes) << theirs.text;
            ++failures;
            continue;
        }
        const std::string a = OurMnemonic(ours.text), b = ObjdumpMnemonic(theirs.text);
        if (a != b && !KnownNamingDifference(a, b)) {
            ADD_FAILURE() << "name: " << bytes << "| ours: " << ours.text << " | objdump: " << theirs.text;
            ++failures;
        }
    }
    for (size_t i = 0; i < invalidStarts.size() && failures < 60; ++i) {
        auto it = invalidLines.find(invalidStarts[i]);
        const std::string bytes = HexBytes(invalidStream, invalidStarts[i], invalidOurs[i].length);
        if (it == invalidLines.end()) {
            ADD_FAILURE() << "objdump lost the start of invalid " << bytes;
            ++failures;
            continue;
        }
        const std::vector<uint8_t> cut(invalidStream.begin() + static_cast<long>(invalidStarts[i]),
                                       invalidStream.begin() + static_cast<long>(invalidStarts[i]) +
                                           static_cast<long>(invalidOurs[i].length));
        if (it->second.text.find("(bad)") == std::string::npos && !ObjdumpKnowsMore(cut)) {
            ADD_FAILURE() << "invalid for us, objdump decodes " << bytes << "as " << HexBytes(it->second.bytes)
                          << it->second.text;
            ++failures;
        }
    }
}

// The checked-in assembly file: every row and group, as the assembler codes it.
TEST(ZorDisAsmOracle, AssembledRowsAndGroups32)
{
    if (!HaveBinutils())
        GTEST_SKIP() << "binutils (objdump, as) not installed";
    TTempFolder folder;
    const std::string object = folder.Path() + "opcodes32.o";
    ASSERT_EQ(std::system(("as --32 -o '" + object + "' '" + FixturePath("zorDisAsm/opcodes32.s") + "'").c_str()), 0);
    const auto lines = ParseObjdump(RunAndCapture("objdump -d -M intel --insn-width=16 '" + object + "' 2>/dev/null"));
    ASSERT_GT(lines.size(), 500u);
    std::vector<uint8_t> code;
    for (const auto& line : lines) {
        ASSERT_EQ(line.offset, code.size()) << "objdump skipped bytes";
        code.insert(code.end(), line.bytes.begin(), line.bytes.end());
    }
    // Our own walk from the start must land on every one of objdump's starts.
    size_t offset = 0;
    for (const auto& line : lines) {
        ASSERT_EQ(offset, line.offset) << "the walks parted before " << line.text;
        const TOurDecode ours = DecodeOurs(code, offset, TCodeMode::Bits32);
        if (line.text.find("(bad)") != std::string::npos && ObjdumpKnowsLess(line.bytes)) {
            offset += ours.length;
            continue;
        }
        EXPECT_TRUE(ours.valid) << HexBytes(line.bytes) << line.text;
        EXPECT_EQ(ours.length, line.bytes.size())
            << HexBytes(line.bytes) << "| ours: " << ours.text << " | objdump: " << line.text;
        const std::string a = OurMnemonic(ours.text), b = ObjdumpMnemonic(line.text);
        EXPECT_TRUE(a == b || KnownNamingDifference(a, b))
            << HexBytes(line.bytes) << "| ours: " << ours.text << " | objdump: " << line.text;
        offset += ours.valid ? ours.length : line.bytes.size();
    }
}

// The byte fixtures of the decoder's own table, through objdump as raw bytes.
TEST(ZorDisAsmOracle, Fixtures32)
{
    if (!HaveBinutils())
        GTEST_SKIP() << "binutils (objdump, as) not installed";
    const std::vector<std::vector<uint8_t>> fixtures = {
        {0xE8, 0, 0, 0, 0},
        {0xE8, 0x10, 0, 0, 0},
        {0x0F, 0x85, 0xFA, 0xFF, 0xFF, 0xFF},
        {0xEB, 0xFE},
        {0x2E, 0xFF, 0x25, 0, 0, 0, 0x10},
        {0xE2, 0xFE},
        {0x66, 0x0F, 0x6C, 0xC1},
        {0xB8, 0x78, 0x56, 0x34, 0x12},
        {0xFF, 0xD0},
        {0x8B, 0xC8},
        {0x99},
        {0xF3, 0xA4},
        {0xF3, 0xA5},
        {0xF3, 0x0F, 0x10, 0xC1},
        {0x0F, 0x58, 0xC1},
        {0x66, 0x0F, 0x58, 0xC1},
        {0xF2, 0x0F, 0x58, 0xC1},
        {0xF3, 0x0F, 0x58, 0xC1},
        {0xD9, 0xE8},
        {0x8B, 0x44, 0x88, 0xF0},
        {0x8B, 0x45, 0x08},
        {0xA1, 0x78, 0x56, 0x34, 0x12},
        {0x80, 0x00, 0x05},
    };
    const std::vector<std::vector<uint8_t>> rejected = {{0x8D, 0xC0}, {0xFF, 0xF8}, {0x0F, 0x6C, 0xC1}};
    std::vector<uint8_t> stream;
    std::vector<size_t> starts;
    for (const auto& f : fixtures) {
        starts.push_back(stream.size());
        stream.insert(stream.end(), f.begin(), f.end());
    }
    std::vector<size_t> rejectedStarts;
    for (const auto& f : rejected) {
        rejectedStarts.push_back(stream.size());
        stream.insert(stream.end(), f.begin(), f.end());
        stream.insert(stream.end(), 15, 0x90);
    }
    TTempFolder folder;
    const std::string file = folder.WriteFile("fixtures.bin", std::string(stream.begin(), stream.end()));
    std::map<uint64_t, TObjdumpLine> byOffset;
    for (const auto& line : ParseObjdump(
             RunAndCapture("objdump -D -b binary -m i386 -M intel --insn-width=16 '" + file + "' 2>/dev/null")))
        byOffset[line.offset] = line;
    for (size_t i = 0; i < fixtures.size(); ++i) {
        const TOurDecode ours = DecodeOurs(stream, starts[i], TCodeMode::Bits32);
        auto it = byOffset.find(starts[i]);
        ASSERT_NE(it, byOffset.end()) << HexBytes(fixtures[i]);
        EXPECT_TRUE(ours.valid) << HexBytes(fixtures[i]);
        EXPECT_EQ(ours.length, it->second.bytes.size()) << HexBytes(fixtures[i]) << it->second.text;
        const std::string a = OurMnemonic(ours.text), b = ObjdumpMnemonic(it->second.text);
        EXPECT_TRUE(a == b || KnownNamingDifference(a, b)) << ours.text << " | " << it->second.text;
    }
    for (size_t i = 0; i < rejected.size(); ++i) {
        EXPECT_FALSE(DecodeOurs(stream, rejectedStarts[i], TCodeMode::Bits32).valid);
        auto it = byOffset.find(rejectedStarts[i]);
        ASSERT_NE(it, byOffset.end());
        EXPECT_NE(it->second.text.find("(bad)"), std::string::npos) << it->second.text;
    }
}

// Every function the compiler made of the reporter's library: the same
// starts and lengths as objdump's, walking each function from its start.
TEST(ZorDisAsmOracle, CompiledFunctions64)
{
    if (!HaveBinutils())
        GTEST_SKIP() << "binutils (objdump, as) not installed";
    std::vector<std::pair<std::string, size_t>> functions;
    const auto lines = ParseObjdump(
        RunAndCapture(std::string("objdump -d --insn-width=16 '") + ZOR_ORACLE_OBJECTS + "' 2>/dev/null"), &functions);
    ASSERT_GT(functions.size(), 100u);
    size_t instructions = 0, failures = 0;
    for (size_t f = 0; f < functions.size() && failures < 20; ++f) {
        const size_t first = functions[f].second;
        const size_t last = f + 1 < functions.size() ? functions[f + 1].second : lines.size();
        std::vector<uint8_t> code;
        for (size_t i = first; i < last; ++i)
            code.insert(code.end(), lines[i].bytes.begin(), lines[i].bytes.end());
        TOpenMemory memory(code);
        size_t offset = 0;
        for (size_t i = first; i < last; ++i) {
            const TInstrInfo ours = DecodeInstructionIn(memory, 0x10000 + offset, nullptr, false, TCodeMode::Bits64);
            ++instructions;
            if (!ours.valid || ours.length != lines[i].bytes.size()) {
                ADD_FAILURE() << functions[f].first << ": " << HexBytes(lines[i].bytes)
                              << "| ours: " << DecodeOurs(code, offset, TCodeMode::Bits64).text
                              << " | objdump: " << lines[i].text;
                ++failures;
                break;
            }
            offset += ours.length;
        }
    }
    EXPECT_GT(instructions, 10000u);
}

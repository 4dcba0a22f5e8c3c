// The disassembly listing of a function: its ranges in address order, labels,
// case and handler tables as data, source line numbers, the faulting
// instruction marked, and with a line limit only the lines around it.
//
// Normal context (the reporter's handler thread): allocates.
#include <algorithm>

#include "crashreport/diagnostics/zorDisAsm_Internal.h"
#include "crashreport/diagnostics/zorStrings.h"

using namespace zordisasm;

namespace {

const char* const DelimiterLine = "; ---------------------------------------------------------";
const char* const OrderError = "Internal error in ParseFunction while composing the disassembling string...  :-(";
// Columns of the listing, moved with the address width: where the mark goes,
// where the line-number column is inserted, where a branch's operand starts
// and where labels and table comments pad to.
constexpr size_t MarkColumn = static_cast<size_t>(ZorAddressDigits) + 1;
constexpr size_t LineNumberColumn = static_cast<size_t>(ZorAddressDigits) + 1;
constexpr size_t MnemonicColumn = static_cast<size_t>(ZorAddressDigits) + 3;
constexpr size_t OperandColumn = static_cast<size_t>(ZorAddressDigits) + 11;
constexpr size_t LabelWidth = 31;

std::string PlainHex(uint64_t value)
{
    return Int64ToHexTextA(value).substr(1); // without "$"
}

void PadTo(std::string& text, size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), ' ');
}

int DecimalDigits(uint64_t value)
{
    int digits = 0;
    for (; value != 0; value /= 10)
        ++digits;
    return digits;
}

class TListing {
public:
    TListing(const TDisAsmEnvironment& env, const TKnownRoutines& known, const TFunctionInfo& info,
             uintptr_t exceptAddress, bool autoDelimiters, int32_t lineLimit)
        : Env(env), Known(known), Info(info), Except(exceptAddress), Auto(autoDelimiters),
          Limit(lineLimit > 0 ? lineLimit : 0)
    {
    }

    std::string Compose()
    {
        std::vector<int> order;
        for (int i = NextRangeInOrder(-1, Info); i >= 0 && order.size() <= Info.ranges.size();
             i = NextRangeInOrder(i, Info))
            order.push_back(i);
        if (order.size() != Info.ranges.size())
            return OrderError;
        Header = HeaderName();
        LineWidth = LineNumberWidth();
        if (Limit > 0)
            RunPass(order, true);
        RunPass(order, false);
        if (Truncated) {
            Out += "[...]";
        } else if (Out.size() >= 2 && Out.compare(Out.size() - 2, 2, "\r\n") == 0) {
            Out.resize(Out.size() - 2);
        }
        return Out;
    }

private:
    const TDisAsmEnvironment& Env;
    const TKnownRoutines& Known;
    const TFunctionInfo& Info;
    const uintptr_t Except;
    const bool Auto;
    const int32_t Limit;
    std::string Header;
    int LineWidth = 0;

    // The pass.
    bool Counting = false;
    int32_t Counter = 0;
    int32_t Skip = 0;
    bool ExceptAhead = true;
    bool Stopped = false;
    bool Truncated = false;
    std::string Out;
    enum TLast { lkNone, lkInstruction, lkEmpty, lkOther } Last = lkNone;
    uintptr_t LastInstruction = 0;
    bool CodeSinceDelimiter = false;
    uint32_t CurrentLine = 0;
    uintptr_t LineStart = 0, LineEnd = 0;
    bool LineShown = false;
    uint32_t ShownLine = 0;

    std::string HeaderName() const
    {
        std::string name = Env.exportNameOf != nullptr ? Env.exportNameOf(Env, Info.entry) : std::string();
        if (name.empty() && Env.debugNameOf != nullptr)
            name = Env.debugNameOf(Env, Info.entry);
        return name.empty() ? "sub_" + PlainHex(Info.entry) : "public " + name;
    }

    std::string LabelOf(uintptr_t address) const { return address == Info.entry ? Header : "loc_" + PlainHex(address); }

    int LineNumberWidth() const
    {
        if (DebugLineHook == nullptr)
            return 0;
        uint32_t line = 0;
        uintptr_t start = 0, end = 0;
        DebugLineHook(Info.entry + Info.codeSize - 1, line, start, end);
        uint64_t value = line;
        if (value == 0 && Except != 0) {
            start = end = 0;
            DebugLineHook(Except, line, start, end);
            value = static_cast<uint64_t>(line) * 10;
        }
        return DecimalDigits(value);
    }

    // Step 6: one line of the listing. Instruction lines bring their address
    // column; the others get it here.
    void AddLine(uintptr_t address, const std::string* text, bool addressColumn, bool lookUpLine)
    {
        if (Stopped)
            return;
        if (Limit > 0 && !ExceptAhead && Counter >= Limit) {
            // Step 7: enough after the exception line.
            Stopped = true;
            Truncated = !Counting;
            return;
        }
        if (!Counting && (Limit <= 0 || Counter >= Skip)) {
            std::string line;
            if (addressColumn) {
                line = AddressTextA(address);
                if (text != nullptr)
                    line += " " + *text;
            } else {
                line = *text;
                if (Except != 0 && address == Except && line.size() > MarkColumn)
                    line[MarkColumn] = '>';
            }
            AddLineNumber(address, line, lookUpLine);
            Out += line;
            Out += "\r\n";
        }
        if (Limit <= 0)
            return;
        ++Counter;
        if (ExceptAhead && (Except == 0 || address >= Except)) {
            if (Counter > static_cast<int64_t>(Limit) * 12 / 10) {
                if (Counting) {
                    Skip = std::max(0, Counter - Limit - 2);
                } else {
                    Skip = 0;
                    KeepLastLines(static_cast<size_t>(Limit) + 1);
                }
            }
            Counter = 0;
            ExceptAhead = false;
            if (Counting)
                Stopped = true; // the counting pass has what it came for
        }
    }

    // Keeps the last count lines of the output, with "[...]" in front.
    void KeepLastLines(size_t count)
    {
        size_t at = Out.size() >= 2 ? Out.size() - 2 : 0; // before the line break that ends the output
        size_t found = 0;
        while (found < count && at > 0) {
            const size_t lf = Out.rfind('\n', at - 1);
            if (lf == std::string::npos)
                return; // fewer lines than that: nothing to cut
            at = lf;
            ++found;
        }
        if (found < count)
            return;
        Out = "[...]\r\n" + Out.substr(at + 1);
    }

    void AddLineNumber(uintptr_t address, std::string& line, bool lookUp)
    {
        if (LineWidth <= 0)
            return;
        if (lookUp && DebugLineHook != nullptr && address != 0 &&
            (CurrentLine == 0 || address < LineStart || address >= LineEnd))
            DebugLineHook(address, CurrentLine, LineStart, LineEnd);
        if (!LineShown || CurrentLine != ShownLine) {
            const std::string number = CardToDecTextA(CurrentLine, LineWidth, '0');
            if (line.size() > LineNumberColumn)
                line.insert(LineNumberColumn, number + " ");
            else
                line += " " + number;
            LineShown = true;
            ShownLine = CurrentLine;
        } else if (line.size() > LineNumberColumn) {
            line.insert(LineNumberColumn, static_cast<size_t>(LineWidth) + 1, ' ');
        }
    }

    void EmptyLine(uintptr_t address)
    {
        AddLine(address, nullptr, true, false);
        Last = lkEmpty;
    }

    void TextLine(uintptr_t address, const std::string& text)
    {
        AddLine(address, &text, true, false);
        Last = lkOther;
    }

    void Delimiter(uintptr_t address)
    {
        const std::string text = DelimiterLine;
        AddLine(address, &text, true, false);
        Last = lkOther;
        CodeSinceDelimiter = false;
    }

    void OpenTable(uintptr_t at)
    {
        if (!Auto)
            return;
        if (Last == lkInstruction)
            EmptyLine(LastInstruction);
        if (CodeSinceDelimiter) {
            Delimiter(at);
            EmptyLine(at);
        }
    }

    void CloseTable(uintptr_t at)
    {
        if (!Auto || Stopped)
            return;
        EmptyLine(at);
        Delimiter(at);
        EmptyLine(at);
    }

    void CaseTable(const TCodeRange& range)
    {
        OpenTable(range.start);
        bool first = true;
        for (uintptr_t at = range.start; at + 3 <= range.last && !Stopped; at += 4) {
            uint32_t raw = 0;
            uint64_t value = 0;
            if (Env.memory->Read(at, &raw, 4)) {
                // 64-bit code keeps offsets from the table; 32-bit code addresses.
                value = Env.mode == TCodeMode::Bits64 ? range.start + static_cast<uint64_t>(static_cast<int32_t>(raw))
                                                      : raw;
            }
            std::string text = "  dd loc_" + PlainHex(value);
            if (first) {
                PadTo(text, LabelWidth);
                text += "  ; case jump table";
                first = false;
            }
            TextLine(at, text);
        }
        CloseTable(range.last);
    }

    void HandlerTable(const TCodeRange& range)
    {
        OpenTable(range.start);
        // This program has no class records to name the classes by.
        const std::string unknownClass = "EUnknown";
        uint32_t count = 0;
        Env.memory->Read(range.start, &count, 4);
        std::vector<std::pair<uint32_t, uint32_t>> entries;
        for (uint32_t i = 0; i < count && range.start + 4 + 8 * static_cast<uintptr_t>(i) + 7 <= range.last; ++i) {
            uint32_t pair[2] = {0, 0};
            Env.memory->Read(range.start + 4 + 8 * static_cast<uintptr_t>(i), pair, 8);
            entries.push_back({pair[0], pair[1]});
        }
        size_t width = 1;
        for (const auto& e : entries)
            if (e.first != 0)
                width = std::max(width, unknownClass.size());
        for (size_t i = 0; i < entries.size() && !Stopped; ++i) {
            std::string text;
            if (entries[i].first != 0) {
                std::string name = unknownClass;
                PadTo(name, width);
                text = "  on " + name + " do";
            } else {
                text = "  else" + std::string(width + 2, ' ');
            }
            text += " loc_" + PlainHex(entries[i].second);
            TextLine(range.start + 4 + 8 * i, text);
        }
        CloseTable(range.last);
    }

    bool IsRangeStart(uintptr_t address) const
    {
        for (const TCodeRange& r : Info.ranges)
            if (r.start == address)
                return true;
        return false;
    }

    void CodeRange(int index, const TCodeRange& range)
    {
        TRegState state = range.regState;
        for (uintptr_t at = range.start; at <= range.last && !Stopped;) {
            TInstrInfo in;
            std::string text = InstructionTextIn(Env, at, &state, true, &in);
            if (!in.valid || in.next <= at) {
                // Not expected in a valid analysis; the bytes are listed and the walk goes on.
                in.next = at + 1;
            } else if (in.isRelative && (in.isCall || in.isJump) && IsRangeStart(in.target)) {
                const size_t blank = text.find(' ', MnemonicColumn);
                if (blank != std::string::npos) {
                    text.resize(blank);
                    PadTo(text, OperandColumn);
                    if (text.back() != ' ')
                        text += ' ';
                    text += LabelOf(in.target);
                }
            }
            AddLine(at, &text, false, true);
            Last = lkInstruction;
            LastInstruction = at;
            CodeSinceDelimiter = true;
            if (Auto && in.valid && (in.isCall || in.isJump || in.isReturn)) {
                const bool more = in.next <= range.last || NextRangeInOrder(index, Info) >= 0;
                if (more) {
                    EmptyLine(at);
                    TDecoded d;
                    DecodeFull(*Env.memory, at, nullptr, false, Env.mode, d);
                    const bool unconditional =
                        in.isReturn || (d.info.opcodeMap == 0 &&
                                        (d.opcode == 0xE9 || d.opcode == 0xEA || d.opcode == 0xEB ||
                                         (d.opcode == 0xFF && ((d.modRm >> 3) & 7) >= 4 && ((d.modRm >> 3) & 7) <= 5)));
                    const bool toHandler = in.target != 0 && (in.target == Known.anyExceptionHandler ||
                                                              in.target == Known.typedHandlerTableHandler ||
                                                              in.target == Known.finallyHandler);
                    if (unconditional && !toHandler) {
                        Delimiter(at);
                        EmptyLine(at);
                    }
                }
            }
            at = in.next;
        }
    }

    void RunPass(const std::vector<int>& order, bool counting)
    {
        Counting = counting;
        Counter = 0;
        ExceptAhead = true;
        Stopped = false;
        Truncated = false;
        Out.clear();
        Out.reserve(200);
        Last = lkNone;
        LastInstruction = 0;
        CodeSinceDelimiter = false;
        CurrentLine = 0;
        LineStart = LineEnd = 0;
        LineShown = false;
        for (int index : order) {
            if (Stopped)
                break;
            const TCodeRange& range = Info.ranges[static_cast<size_t>(index)];
            if (range.isCaseTable) {
                CaseTable(range);
                continue;
            }
            if (range.isHandlerTable) {
                HandlerTable(range);
                continue;
            }
            if (range.start == Info.entry || (Auto && range.source != 0)) {
                if (Last == lkInstruction)
                    EmptyLine(LastInstruction);
                std::string label = LabelOf(range.start) + ":";
                if (range.start == Info.entry) {
                    PadTo(label, LabelWidth);
                    label += "  ; function entry point";
                }
                TextLine(range.start, label);
            }
            CodeRange(index, range);
        }
    }
};

} // namespace

std::string ParseFunctionIn(const TDisAsmEnvironment& env, const TKnownRoutines& known, uintptr_t entry,
                            uintptr_t exceptAddress, bool autoDelimiters, int32_t lineLimit, TFunctionInfo& info)
{
    info = AnalyseFunctionIn(env, entry, known);
    if (!info.valid)
        return "";
    return TListing(env, known, info, exceptAddress, autoDelimiters, lineLimit).Compose();
}

std::string ParseFunction(uintptr_t entry, uintptr_t exceptAddress, bool autoDelimiters, int32_t lineLimit,
                          TFunctionInfo& info)
{
    TDisAsmEnvironment env;
    SetProcessDisAsmEnvironment(env);
    return ParseFunctionIn(env, TKnownRoutines{}, entry, exceptAddress, autoDelimiters, lineLimit, info);
}

// The disassembly listing: labels, tables, delimiters, the exception mark,
// the line limit's cuts and the line-number column.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "crashreport/diagnostics/zorDisAsm.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "tests/crashreport/diagnostics/zorDisAsm_TestImage.h"

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find("\r\n", start);
        lines.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return lines;
        start = at + 2;
    }
}

std::string Listing(TFakeImage& image, uintptr_t except, bool autoDelimiters, int32_t limit,
                    TFunctionInfo* out = nullptr, const TKnownRoutines& known = {})
{
    TFunctionInfo info;
    const std::string text = ParseFunctionIn(image.env, known, TFakeImage::At(0), except, autoDelimiters, limit, info);
    if (out != nullptr)
        *out = info;
    return text;
}

// 299 nops and a return: 300 lines of code after the label.
void PutNops(TFakeImage& image)
{
    for (size_t i = 0; i < 299; ++i)
        image.Put(i, {0x90});
    image.Put(299, {0xC3});
}

// The index of the only line with the exception mark, -1 when there is none or more.
int MarkedLine(const std::vector<std::string>& lines)
{
    int found = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].size() > static_cast<size_t>(ZorAddressDigits) + 1 && lines[i][ZorAddressDigits + 1] == '>') {
            if (found >= 0)
                return -1;
            found = static_cast<int>(i);
        }
    }
    return found;
}

} // namespace

TEST(ZorDisAsmListing, WholeFunctionWithoutLimit)
{
    TFakeImage image;
    PutNops(image);
    const std::vector<std::string> lines = Lines(Listing(image, 0, true, 0));
    ASSERT_EQ(lines.size(), 301u);
    EXPECT_EQ(lines[0], AddressTextA(TFakeImage::At(0)) + " sub_400000:                      ; function entry point");
    EXPECT_EQ(lines[1], AddressTextA(TFakeImage::At(0)) + "   nop");
    EXPECT_EQ(lines[300], AddressTextA(TFakeImage::At(299)) + "   ret");
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("[...]"), std::string::npos);
}

TEST(ZorDisAsmListing, LimitAroundTheExceptionLine)
{
    TFakeImage image;
    PutNops(image);
    // Line 200 of the listing (the label is line 1) is the instruction at offset 198.
    const uintptr_t except = TFakeImage::At(198);
    const std::string text = Listing(image, except, true, 50);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 1u + 50 + 1 + 50 + 1) << text;
    EXPECT_EQ(lines.front(), "[...]");
    EXPECT_EQ(lines.back(), "[...]");
    EXPECT_EQ(MarkedLine(lines), 51);
    EXPECT_EQ(lines[51], AddressTextA(except) + " > nop");
    EXPECT_EQ(lines[1], AddressTextA(except - 50) + "   nop");
    EXPECT_EQ(lines[101], AddressTextA(except + 50) + "   nop");
}

TEST(ZorDisAsmListing, NothingIsCutBeforeAnEarlyExceptionLine)
{
    TFakeImage image;
    PutNops(image);
    // Line 55: within 50 * 12 / 10 lines of the start, so all of it stays.
    const uintptr_t except = TFakeImage::At(53);
    const std::vector<std::string> lines = Lines(Listing(image, except, true, 50));
    EXPECT_EQ(lines.front(),
              AddressTextA(TFakeImage::At(0)) + " sub_400000:                      ; function entry point");
    EXPECT_EQ(MarkedLine(lines), 54);
    ASSERT_EQ(lines.size(), 54u + 1 + 50 + 1);
    EXPECT_EQ(lines.back(), "[...]");
}

TEST(ZorDisAsmListing, LabelsDelimitersAndCaseTable)
{
    TFakeImage image;
    // cmp eax, 2; ja default; jmp [eax*4+table]; table of three; cases; default
    image.Put(0x00, {0x83, 0xF8, 0x02});
    image.Put(0x03, {0x77, 0x13}); // to 0x18
    image.Put(0x05, {0xFF, 0x24, 0x85});
    image.Put32(0x08, static_cast<uint32_t>(TFakeImage::At(0x0C)));
    image.Put32(0x0C, static_cast<uint32_t>(TFakeImage::At(0x19)));
    image.Put32(0x10, static_cast<uint32_t>(TFakeImage::At(0x1A)));
    image.Put32(0x14, static_cast<uint32_t>(TFakeImage::At(0x1B)));
    image.Put(0x18, {0xC3, 0xC3, 0xC3, 0xC3});
    const std::vector<std::string> lines = Lines(Listing(image, 0, true, 0));
    auto pad = [](std::string text, size_t width) {
        if (text.size() < width)
            text.append(width - text.size(), ' ');
        return text;
    };
    const std::string delimiter = " ; ---------------------------------------------------------";
    const std::vector<std::string> expected = {
        " " + pad("sub_400000:", 31) + "  ; function entry point",
        "   cmp     eax, 2",
        "   ja      loc_400018",
        "",
        "   jmp     dword ptr [eax*4+$40000c]",
        "",
        delimiter,
        "",
        " " + pad("  dd loc_400019", 31) + "  ; case jump table",
        "   dd loc_40001a",
        "   dd loc_40001b",
        "",
        delimiter,
        "",
        " loc_400018:",
        "   ret",
        "",
        delimiter,
        "",
        " loc_400019:",
        "   ret",
        "",
        delimiter,
        "",
        " loc_40001a:",
        "   ret",
        "",
        delimiter,
        "",
        " loc_40001b:",
        "   ret",
    };
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].substr(ZorAddressDigits), expected[i]) << i;
    EXPECT_EQ(lines[8].substr(0, ZorAddressDigits), AddressTextA(TFakeImage::At(0x0C)));
    EXPECT_EQ(lines[10].substr(0, ZorAddressDigits), AddressTextA(TFakeImage::At(0x14)));

    // Without automatic delimiters: only the entry's label, but branches still name labels.
    const std::vector<std::string> plain = Lines(Listing(image, 0, false, 0));
    for (size_t i = 1; i < plain.size(); ++i)
        EXPECT_EQ(plain[i].find(':'), std::string::npos) << plain[i];
    EXPECT_EQ(plain[2].substr(ZorAddressDigits), "   ja      loc_400018");
    EXPECT_EQ(plain[3].substr(ZorAddressDigits), "   jmp     dword ptr [eax*4+$40000c]");
    for (const std::string& line : plain)
        EXPECT_EQ(line.find("; ---"), std::string::npos);
}

TEST(ZorDisAsmListing, HandlerTableLines)
{
    const uintptr_t typed = 0x00402100;
    TFakeImage image(TCodeMode::Bits32, 0x3000);
    PutHandlerTableFunction(image, typed);
    TKnownRoutines known;
    known.typedHandlerTableHandler = typed;
    const std::string text = Listing(image, 0, true, 0, nullptr, known);
    EXPECT_NE(text.find(AddressTextA(TFakeImage::At(9)) + "   on EUnknown do loc_400020"), std::string::npos) << text;
    EXPECT_NE(text.find(AddressTextA(TFakeImage::At(0x11)) + "   else           loc_400030"), std::string::npos)
        << text;
}

namespace {
// A line hook for the tests: line = offset / 4 + 10 within the fake image.
void StubLineHook(uintptr_t address, uint32_t& line, uintptr_t& start, uintptr_t& end)
{
    if (address < FakeImageBase || address >= FakeImageBase + 0x1000) {
        line = 0;
        return;
    }
    const uintptr_t offset = address - FakeImageBase;
    line = static_cast<uint32_t>(offset / 4 + 10);
    start = FakeImageBase + offset / 4 * 4;
    end = start + 4;
}
} // namespace

TEST(ZorDisAsmListing, LineNumberColumn)
{
    TFakeImage image;
    for (size_t i = 0; i < 11; ++i)
        image.Put(i, {0x90});
    image.Put(11, {0xC3});
    DebugLineHook = StubLineHook;
    const std::vector<std::string> lines = Lines(Listing(image, 0, true, 0));
    DebugLineHook = nullptr;
    ASSERT_EQ(lines.size(), 13u);
    const size_t column = static_cast<size_t>(ZorAddressDigits) + 1;
    // Two digits (the last line is 12): a number where it changes, blanks otherwise.
    EXPECT_EQ(lines[1].substr(column, 3), "10 ");
    EXPECT_EQ(lines[2].substr(column, 3), "   ");
    EXPECT_EQ(lines[4].substr(column, 3), "   ");
    EXPECT_EQ(lines[5].substr(column, 3), "11 ");
    EXPECT_EQ(lines[9].substr(column, 3), "12 ");
    EXPECT_EQ(lines[12].substr(column, 6), "     r");
    // Without the hook, no column.
    const std::vector<std::string> plain = Lines(Listing(image, 0, true, 0));
    EXPECT_EQ(plain[1], AddressTextA(TFakeImage::At(0)) + "   nop");
}

TEST(ZorDisAsmListing, InvalidAnalysisGivesNoText)
{
    TFakeImage image;
    image.Put(0, {0x90, 0x0F, 0x0B});
    TFunctionInfo info;
    info.valid = true;
    EXPECT_EQ(Listing(image, 0, true, 50, &info), "");
    EXPECT_FALSE(info.valid);
    TFunctionInfo unmapped;
    EXPECT_EQ(ParseFunctionIn(image.env, {}, 0x10000000, 0, true, 0, unmapped), "");
    EXPECT_FALSE(unmapped.valid);
}

// The switch of eight cases of the analysis tests.
extern "C" int ZorTestSwitch8(int k, int x);

TEST(ZorDisAsmListing, ThisProgramsOwnFunction)
{
    // The listing of a real function marks the line asked for.
    TFunctionInfo info;
    const uintptr_t entry = reinterpret_cast<uintptr_t>(&ZorTestSwitch8);
    const TInstrInfo first = DecodeInstruction(entry);
    const std::string text = ParseFunction(entry, first.next, true, 0, info);
    ASSERT_TRUE(info.valid) << info.errorText;
    const std::vector<std::string> lines = Lines(text);
    const int marked = MarkedLine(lines);
    ASSERT_GE(marked, 0) << text;
    EXPECT_EQ(lines[static_cast<size_t>(marked)].substr(0, ZorAddressDigits), AddressTextA(first.next));
    int caseLines = 0;
    for (const std::string& line : lines)
        caseLines += line.find("   dd loc_") != std::string::npos ? 1 : 0;
    EXPECT_EQ(caseLines, 8) << text;
}

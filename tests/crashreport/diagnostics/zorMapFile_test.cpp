#include "crashreport/diagnostics/zorMapFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/core/zorExcept_SettingsSource.h"
#include "crashreport/diagnostics/zorStackTrace.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr uintptr_t Base = 0x400000;

std::string Narrow(const std::u16string& text)
{
    return WideToUtf8(text);
}

// Two units, four publics and a few lines, as a reader would leave them.
TMapFile SmallTable()
{
    TMapFile map;
    map.baseOfCode = Base;
    map.topOfCode = Base + 0x300;
    map.AddSegment(true, true, false, false, u"Foo.cpp", 0x100, 0);
    map.AddSegment(true, true, false, false, u"Bar", 0x100, 0x180);
    map.SortSegments();
    map.AddPublic(true, u"alpha", 0x10);
    map.AddPublic(true, u"beta", 0x40);
    map.AddPublic(true, u"gamma", 0x190);
    map.AddPublic(true, u"delta", 0x200);
    map.SortPublics();
    map.AddLineEntry(10, Base + 0x10, false);
    map.AddLineEntry(12, Base + 0x20, false);
    map.AddLineEntry(30, Base + 0x120, false); // lies in no segment
    map.AddLineEntry(40, Base + 0x190, false);
    map.SortLines();
    map.valid = true;
    return map;
}

TEST(zorMapFile, LookUpsOnASmallTable)
{
    const TMapFile map = SmallTable();
    struct Case {
        uintptr_t address;
        const char* publicName; // "" for none
        int32_t line;
    };
    const Case cases[] = {
        {Base + 0x10, "alpha", 10}, {Base + 0x3f, "alpha", 12}, {Base + 0x40, "beta", 12},
        {Base + 0x0f, "", 0},       {Base + 0x150, "beta", 0},  {Base + 0x190, "gamma", 40},
        {Base + 0x2ff, "delta", 0}, {Base + 0x300, "", 0},      {Base + 0x125, "beta", 0},
    };
    for (const Case& c : cases) {
        const TMfPublic& p = map.PublicAt(c.address);
        EXPECT_EQ(p.valid ? Narrow(p.name) : std::string(), c.publicName) << std::hex << c.address;
        EXPECT_EQ(std::max(0, map.LineAt(c.address)), c.line) << std::hex << c.address;
    }
    // The line of the address's own segment only: 0x120 is no segment's.
    uintptr_t next = 0;
    EXPECT_EQ(map.LineAt(Base + 0x18, &next), 10);
    EXPECT_EQ(next, Base + 0x20);

    EXPECT_EQ(Narrow(map.SegmentOfAddress(true, Base + 0x1a0).unitName), "Bar");
    EXPECT_FALSE(map.SegmentOfAddress(true, Base + 0x150).valid);
    EXPECT_FALSE(map.SegmentOfAddress(false, Base + 0x10).valid);

    EXPECT_EQ(map.AddressOfName(true, u"Foo", false, u"BETA"), Base + 0x40);
    EXPECT_EQ(map.AddressOfName(true, u"Foo", true, u"BETA"), 0u);
    EXPECT_EQ(map.AddressOfName(true, u"Bar", false, u"gamma"), Base + 0x190);
    EXPECT_EQ(map.AddressOfName(true, u"Bar", false, u"alpha"), 0u);
}

TEST(zorMapFile, MiniStream)
{
    TMiniStream stream;
    stream.Write("abcdefgh", 8);
    EXPECT_EQ(stream.Size(), 8);
    EXPECT_EQ(stream.Position(), 8);
    stream.SetSize(5); // the position moves back with the size
    EXPECT_EQ(stream.Position(), 5);
    stream.SetPosition(2);
    char out[8] = {};
    EXPECT_EQ(stream.Read(out, 8), 3); // only what is left
    EXPECT_EQ(std::string(out, 3), "cde");
    EXPECT_EQ(stream.Read(out, 1), 0);
    stream.SetPosition(-1);
    EXPECT_EQ(stream.Read(out, 1), 0);
    stream.SetPosition(0);
    EXPECT_EQ(stream.Read(out, -4), 0);
    stream.SetSize(0);
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(stream.Memory(), nullptr);
}

TEST(zorMapFile, AddRules)
{
    TMapFile map;
    map.codeOnly = true;
    map.AddSegment(true, false, false, false, u"Main.pas", 0x100, 0x1000);
    map.AddSegment(true, false, false, false, u"Util.cpp", 0x100, 0x1100);
    map.AddSegment(false, false, false, false, u"Data", 0x100, 0x2000); // data in code-only mode
    map.SortSegments();
    ASSERT_EQ(map.segments.size(), 2u);
    EXPECT_EQ(Narrow(map.segments[0].unitName), "Main");
    EXPECT_EQ(Narrow(map.segments[1].unitName), "Util.cpp");

    map.AddPublic(true, u"Main", 0x1000, false);         // the unit's own name
    map.AddPublic(true, u"Main.Run", 0x1010, false);     // unit prefix dropped
    map.AddPublic(true, u"ns::Helper()", 0x1110, false); // scopes as dots
    map.AddPublic(true, u"@$xp$4Name", 0x1120, false);   // a compiler record
    map.AddPublic(false, u"Table", 0x2000, false);       // data
    map.SortPublics();
    ASSERT_EQ(map.publics.size(), 3u);
    EXPECT_EQ(Narrow(map.publics[0].name), "initialization");
    EXPECT_EQ(Narrow(map.publics[1].name), "Run");
    EXPECT_EQ(Narrow(map.publics[2].name), "ns.Helper()");

    map.AddLineEntry(5, 0x1000, true);
    map.AddLineEntry(6, 0x1000, true); // not above the last: ignored
    map.AddLineEntry(7, 0x1004, true);
    EXPECT_EQ(map.lines.size(), 2u);
}

TEST(zorMapFile, MergeSegments)
{
    TMapFile map;
    map.AddSegment(true, false, false, false, u"a", 0x10, 0x100);
    map.AddSegment(true, false, false, false, u"A", 0x10, 0x110); // touching, same unit
    map.AddSegment(true, false, false, false, u"b", 0x30, 0x118); // overlapping
    map.AddSegment(true, false, false, false, u"c", 0, 0x200);    // empty
    map.AddSegment(true, false, false, false, u"d", 0x10, 0x300); // apart
    map.SortSegments();
    map.MergeSegments(true);
    ASSERT_EQ(map.segments.size(), 3u);
    EXPECT_EQ(map.segments[0].start, 0x100u);
    EXPECT_EQ(map.segments[0].length, 0x18u);
    EXPECT_EQ(Narrow(map.segments[1].unitName), "b");
    EXPECT_EQ(map.segments[2].start, 0x300u);
}

// The listings of binutils, as the build-time generator reads them.
const char* const NmText = "0000000000001000 0000000000000020 T first()\n"
                           "0000000000001020 T second(int)\n"
                           "0000000000001080 000000000000000d t helper\n"
                           "0000000000004000 0000000000000008 D some_data\n"
                           "0000000000000500 R read_only\n";
const char* const ReadelfText = "Contents of the .debug_line section:\n"
                                "\n"
                                "CU: ./src/alpha.cpp:\n"
                                "File name                            Line number    Starting address    View    Stmt\n"
                                "alpha.cpp                                     10              0x1000               x\n"
                                "alpha.cpp                                    137              0x1004               x\n"
                                "alpha.cpp                                     10              0x1008               x\n"
                                "alpha.cpp                                   -118              0x1009\n"
                                "\n"
                                "/usr/include/c++/12/bits/stl_vector.h:\n"
                                "stl_vector.h                                 900              0x100c       1\n"
                                "\n"
                                "./src/alpha.cpp:\n"
                                "alpha.cpp                                 100000              0x1018               x\n"
                                "alpha.cpp                                      -              0x1020\n"
                                "\n"
                                "beta.cpp:\n"
                                "File name                            Line number    Starting address    View    Stmt\n"
                                "beta.cpp                                       3              0x1080               x\n"
                                "beta.cpp                                       4              0x1080       1       x\n"
                                "beta.cpp                                       -              0x108d\n";

TMapFile FromListings()
{
    TMapFile map;
    BuildMapFromToolText(map, NmText, ReadelfText, 0x1000, 0x2000);
    return map;
}

TEST(zorMapFile, GeneratorListingsRoundTripThroughThePackedForm)
{
    const TMapFile built = FromListings();
    ASSERT_EQ(built.segments.size(), 2u);
    EXPECT_EQ(Narrow(built.segments[0].unitName), "alpha");
    EXPECT_EQ(built.segments[0].length, 0x20u);
    EXPECT_EQ(Narrow(built.segments[1].unitName), "beta");
    ASSERT_EQ(built.publics.size(), 3u);
    EXPECT_EQ(built.publics[0].size, 0x20u);

    const std::string packed = WritePackedDebugInfo(built);
    ASSERT_EQ(packed.compare(0, 14, ZorPackedSignature), 0);
    // Loaded at another place: every address moves with the code.
    TMapFile read;
    read.baseOfCode = 0x55550000;
    read.topOfCode = 0x55551000;
    ASSERT_TRUE(read.ReadPackedData(packed));
    read.SortLines();
    ASSERT_EQ(read.segments.size(), built.segments.size());
    for (size_t i = 0; i < built.segments.size(); ++i) {
        EXPECT_EQ(read.segments[i].start - read.baseOfCode, built.segments[i].start - built.baseOfCode);
        EXPECT_EQ(read.segments[i].length, built.segments[i].length);
        EXPECT_EQ(read.segments[i].unitName, built.segments[i].unitName);
    }
    ASSERT_EQ(read.publics.size(), built.publics.size());
    for (size_t i = 0; i < built.publics.size(); ++i) {
        EXPECT_EQ(read.publics[i].name, built.publics[i].name);
        EXPECT_EQ(read.publics[i].address - read.baseOfCode, built.publics[i].address - built.baseOfCode);
    }
    ASSERT_EQ(read.lines.size(), built.lines.size());
    for (size_t i = 0; i < built.lines.size(); ++i) {
        EXPECT_EQ(read.lines[i].line, built.lines[i].line) << i;
        EXPECT_EQ(read.lines[i].address - read.baseOfCode, built.lines[i].address - built.baseOfCode) << i;
    }
    // Line steps of +127, -127, -128 (the escape) and a large one; lines of
    // other files count as none.
    struct Case {
        uintptr_t offset;
        int32_t line;
    };
    const Case cases[] = {{0x0, 10},      {0x5, 137}, {0x8, 10}, {0x9, -118}, {0xc, 0},
                          {0x1f, 100000}, {0x20, 0},  {0x80, 4}, {0x8c, 4}};
    // (Of two rows at one address the last holds.)
    for (const Case& c : cases)
        EXPECT_EQ(read.LineAt(read.baseOfCode + c.offset), c.line) << std::hex << c.offset;
    EXPECT_EQ(Narrow(read.PublicAt(read.baseOfCode + 0x85).name), "helper");
}

TEST(zorMapFile, CompactStringLongerThanTheRestKeepsThePreviousText)
{
    std::string stream;
    auto put32 = [&](uint32_t v) { stream.append(reinterpret_cast<const char*>(&v), 4); };
    put32(0); // no segments
    put32(2); // two publics
    stream += std::string("\x03"
                          "abc",
                          4);
    put32(0x10);
    stream += "\xc8"; // 200 bytes announced, 5 left
    stream += "\x05";
    put32(0); // no lines
    TMapFile map;
    ASSERT_TRUE(map.ReadPackedData(PackDebugStream(stream, false, 0, 0)));
    ASSERT_EQ(map.publics.size(), 2u);
    EXPECT_EQ(Narrow(map.publics[1].name), "abc");
    EXPECT_EQ(map.publics[1].address, 0x15u);
}

TEST(zorMapFile, DamagedPackedDataIsNoSource)
{
    const std::string good = WritePackedDebugInfo(FromListings());
    auto withWord = [&](size_t at, uint32_t value) {
        std::string bytes = good;
        std::memcpy(bytes.data() + at, &value, 4);
        return bytes;
    };
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string badSignature = good;
    badSignature[0] = 'X';
    std::string flipped = good;
    flipped[flipped.size() - 3] ^= 0x40;
    const Case cases[] = {
        {"empty", ""},
        {"signature", badSignature},
        {"version 2", withWord(18, 2)},
        {"payload size beyond the file", withWord(14, 0x7FFFFFFF)},
        {"cut", good.substr(0, good.size() - 5)},
        {"changed payload", flipped},
    };
    for (const Case& c : cases) {
        TMapFile map;
        EXPECT_FALSE(map.ReadPackedData(c.bytes)) << c.name;
    }
}

TEST(zorMapFile, MinimalDataNeedsTheModulesProperty)
{
    TMapFile full = SmallTable();
    const std::string packed = WritePackedDebugInfo(full, true, 0x11, 0x22);
    const std::string identity = PackedIdentityText(static_cast<uint32_t>(packed.size()), 0x11, 0x22);
    ASSERT_EQ(identity.size(), 31u);

    std::string resource, error;
    ASSERT_TRUE(CompileSettingsSources({"MinDebugInfo text \"" + identity + "\"\n"}, resource, error)) << error;
    const TModuleHandle module = RegisterSettingsBlob(resource);
    TMapFile map;
    map.module = module;
    map.moduleFileName = u"/somewhere/prog";
    map.baseOfCode = Base;
    map.topOfCode = Base + 0x300;
    ASSERT_TRUE(map.ReadPackedData(packed));
    map.SortLines();
    EXPECT_EQ(map.identityText, identity);
    EXPECT_EQ(Narrow(map.publics[3].name), "public%3");
    EXPECT_EQ(Narrow(DebugNameIn(map, map.publics[3].address)), "segment%1.public%3 (prog)");
    EXPECT_EQ(Narrow(DebugNameIn(map, map.publics[0].address)), "segment%0.public%0 (prog)");
    EXPECT_EQ(Narrow(DebugNameIn(map, map.publics[0].address + 1)), "");
    UnregisterSettingsBlob(module);

    // Without the property the data names nothing.
    TMapFile orphan;
    orphan.module = module;
    EXPECT_FALSE(orphan.ReadPackedData(packed));
}

TEST(zorMapFile, CacheFollowsTheModuleFileNotItsDebugFile)
{
    TTempFolder folder;
    const std::string program = folder.WriteFile("prog", "not a program of this machine");
    const std::string debug = PackedDebugFileOf(program);
    EXPECT_EQ(debug, program + ".zor");
    folder.WriteFile("prog.zor", WritePackedDebugInfo(FromListings()));
    TModuleFacts facts;
    facts.handle = 0x7000000;
    facts.fileName = program;
    facts.baseOfCode = 0x7001000;
    facts.topOfCode = 0x7002000;

    const std::shared_ptr<TMapFile> first = MapFileOfModule(facts);
    ASSERT_TRUE(first->valid);
    EXPECT_EQ(Narrow(first->PublicAt(0x7001085).name), "helper");
    EXPECT_EQ(MapFileOfModule(facts), first);

    // A new debug file alone changes nothing.
    folder.WriteFile("prog.zor", "");
    EXPECT_EQ(MapFileOfModule(facts), first);

    // A new module file does.
    folder.WriteFile("prog.zor", WritePackedDebugInfo(FromListings()));
    struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, program.c_str(), times, 0), 0);
    const std::shared_ptr<TMapFile> second = MapFileOfModule(facts);
    EXPECT_NE(second, first);
    EXPECT_TRUE(second->valid);
    MapFileCacheClear();
}

// Functions whose names and lines the test binary's debug information knows.
__attribute__((noinline)) int NamedFunction(int x)
{
    return x * 7 + 1;
}

volatile int LabelLine = 0;

// Without optimisation the label stays where it is written (the optimiser
// may move a label whose address is taken to anywhere in the function).
__attribute__((noinline, optimize("O0"))) uintptr_t LabelAddress(int pass)
{
    if (pass > 1000)
        goto there;
    return 0;
there:
    LabelLine = __LINE__;
    return reinterpret_cast<uintptr_t>(&&there);
}

TEST(zorMapFile, ElfSymbolsNameTheProgramsFunctions)
{
    const auto function = reinterpret_cast<uintptr_t>(&NamedFunction);
    TModuleFacts facts;
    ASSERT_TRUE(ModuleFactsOfAddress(function, facts));
    TMapFile map;
    map.baseOfCode = facts.baseOfCode;
    map.topOfCode = facts.topOfCode;
    ASSERT_TRUE(map.ReadElfSymbols(facts.fileName));
    for (uintptr_t offset : {0, 3}) {
        const TMfPublic& symbol = map.PublicAt(function + offset);
        ASSERT_TRUE(symbol.valid) << offset;
        EXPECT_EQ(Narrow(symbol.name), "(anonymous namespace).NamedFunction(int)");
        EXPECT_EQ(function + offset - symbol.address, offset);
    }
    // The packed file beside the program says the same, with unit and line.
    const TAddressDebugInfo info = AddressDebugInfo(function + 3);
    EXPECT_TRUE(info.found);
    EXPECT_EQ(Narrow(info.functionName), "(anonymous namespace).NamedFunction(int)");
    EXPECT_EQ(info.functionAddress, function);
    EXPECT_EQ(Narrow(info.unitName), "zorMapFile_test");
    EXPECT_EQ(Narrow(DebugNameOfAddress(function)), "zorMapFile_test.(anonymous namespace).NamedFunction(int)");
}

TEST(zorMapFile, LineOfALabelMatchesItsSourceLine)
{
    const uintptr_t label = LabelAddress(2000);
    const int expected = LabelLine;
    ASSERT_NE(label, 0u);
    uint32_t line = 0;
    uintptr_t rangeStart = 0, rangeEnd = 0;
    DebugLineOfAddress(label, line, rangeStart, rangeEnd);
    EXPECT_NEAR(static_cast<int>(line), expected, 1);
    EXPECT_EQ(rangeStart, label);
    EXPECT_GT(rangeEnd, label);
}

TEST(zorMapFile, ListingHooksNameTheFunction)
{
    const TDebugNameHook nameHook = DebugNameHook;
    const TDebugLineHook lineHook = DebugLineHook;
    const TFunctionExtentHook extentHook = FunctionExtentHook;
    LinkMapFile();
    TFunctionInfo info;
    const std::string listing = ParseFunction(reinterpret_cast<uintptr_t>(&NamedFunction), 0, false, 0, info);
    DebugNameHook = nameHook;
    DebugLineHook = lineHook;
    FunctionExtentHook = extentHook;
    ASSERT_TRUE(info.valid);
    EXPECT_NE(listing.find("zorMapFile_test.(anonymous namespace).NamedFunction(int)"), std::string::npos) << listing;
}

TEST(zorMapFile, StrippedCopyGivesUnknownLines)
{
    TModuleFacts facts;
    const auto function = reinterpret_cast<uintptr_t>(&NamedFunction);
    ASSERT_TRUE(ModuleFactsOfAddress(function, facts));
    TTempFolder folder;
    const std::string copy = folder.Path() + "stripped";
    ASSERT_EQ(std::system(("strip -o '" + copy + "' '" + facts.fileName + "'").c_str()), 0);
    facts.fileName = copy;
    const std::shared_ptr<TMapFile> map = MapFileOfModule(facts);
    EXPECT_FALSE(map->PublicAt(function).valid);
    EXPECT_EQ(FormatStackItemIn(*map, function, true, false), AddressTextA(function) + " +0 ???");
    MapFileCacheClear();
}

} // namespace

// zorMapFile: names and source lines of code addresses. One TMapFile per
// loaded module holds its unit segments, public symbols and line entries,
// read from the first source that works:
//   1. the packed debug-information file "<module>.zor" beside the module
//      (written at build time by the zormapgen tool),
//   2. the module's ELF symbol table (.symtab, else .dynsym), names demangled,
//   3. for single look-ups, dladdr's dynamic symbol.
// Loaded objects are cached per module file (its write time and load base).
//
// Everything here runs in normal context or on the reporter's handler and
// report threads (it allocates); readers trust no size from a file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crashreport/diagnostics/zorDisAsm.h"
#include "crashreport/diagnostics/zorTools.h"

struct TMfSegment {
    bool valid = false;
    bool isCode = false;
    uintptr_t start = 0;
    uint32_t length = 0;
    std::u16string unitName;
    bool hasLines = false;
};

struct TMfPublic {
    bool valid = false;
    bool isCode = false;
    std::u16string name;
    uintptr_t address = 0;
    uint32_t size = 0; // from a symbol table; 0 when unknown (then it reaches to the next public)
};

struct TMfLine {
    int32_t line = 0;
    uintptr_t address = 0;
};

// A growing byte buffer with a read position: the stream the packed reader
// reads from and the writer writes to.
class TMiniStream {
public:
    TMiniStream() = default;
    TMiniStream(const TMiniStream&) = delete;
    TMiniStream& operator=(const TMiniStream&) = delete;
    ~TMiniStream();

    // Moves the position back when it lies beyond; the capacity rounds up to
    // 8192 bytes (0 frees the memory).
    void SetSize(int32_t size);
    // Copies up to count bytes from the position on and advances it; the bytes
    // copied (0 for a negative position or count).
    int32_t Read(void* dest, int32_t count);
    // Writes at the position, growing the size when needed.
    void Write(const void* source, int32_t count);
    int32_t Size() const { return size; }
    int32_t Position() const { return position; }
    void SetPosition(int32_t value) { position = value; }
    const uint8_t* Memory() const { return memory; }
    int32_t Remaining() const { return position >= 0 && position < size ? size - position : 0; }

private:
    uint8_t* memory = nullptr;
    int32_t size = 0;
    int32_t position = 0;
    uint32_t capacity = 0;
};

// The fixed parts of the packed format.
constexpr char ZorPackedSignature[15] = "DuskmarchZorDI"; // 14 characters
constexpr uint32_t ZorPackedVersion = 3;
constexpr uint32_t ZorPackedFlagMinimal = 1;
// The key of a packed payload of that size.
std::string BuildResourceKey(uint32_t payloadSize);

class TMapFile {
public:
    // An empty invalid object.
    TMapFile() = default;
    // With load: reads the packed data when given (only that), else the
    // module's sources in order. Lines are sorted at the end.
    static std::unique_ptr<TMapFile> Create(bool load, bool packedOnly, bool codeOnly, TModuleHandle module,
                                            const std::u16string& moduleFileName, const std::string* packedData);

    bool codeOnly = false;
    std::vector<TMfSegment> segments;
    std::vector<TMfPublic> publics;
    std::vector<TMfLine> lines;
    uintptr_t entryPoint = 0;
    uintptr_t baseOfData = 0, topOfData = 0;
    TModuleHandle module = 0;
    bool valid = false;
    uintptr_t baseOfCode = 0, topOfCode = 0;
    std::u16string moduleFileName;
    std::u16string debugFileBase;
    std::string identityText;               // of minimal packed information, else empty
    int32_t lastAddedSegment[2] = {-1, -1}; // data, code

    // The add rules. addBase adds baseOfCode/baseOfData to the start;
    // merging extends the last segment added of the kind when it has the same
    // unit and the new one starts within it (or 2 bytes past its end).
    void AddSegment(bool isCode, bool addBase, bool sortedInsert, bool merge, std::u16string unitName, uint32_t length,
                    uintptr_t start);
    void AddPublic(bool isCode, std::u16string name, uintptr_t address, bool addBase = true);
    void AddLineEntry(int32_t line, uintptr_t address, bool rising);
    void SortSegments();
    void SortPublics();
    void SortLines();
    void MergeSegments(bool gapMode);

    // Look-ups; the records come back invalid when there is none.
    TMfSegment SegmentOfAddress(bool isCode, uintptr_t address) const;
    const TMfSegment* FindSegment(bool isCode, uintptr_t address) const;
    const TMfPublic& PublicAt(uintptr_t address) const;
    // The line (-1 / 0 as described with the lines), and where the next line starts.
    int32_t LineAt(uintptr_t address, uintptr_t* nextLineAddress = nullptr) const;
    uintptr_t AddressOfName(bool isCode, const std::u16string& unitName, bool caseSensitive,
                            const std::u16string& name) const;

    // The packed form; false (and the lists as read so far) on any fault.
    bool ReadPackedData(const std::string& data);
    // Reads the module's ELF symbol table file (functions with sizes).
    bool ReadElfSymbols(const std::string& path);
    // The address order of the publics, built after sorting for fast search.
    void IndexPublics();

private:
    std::vector<uintptr_t> publicAddresses;
    std::vector<uintptr_t> lineAddresses;
    friend class TMapFileBuilder;
};

// The packed form of the object's lists (offsets relative to baseOfCode).
// Minimal writes no names, only the segments' line flags.
std::string WritePackedDebugInfo(const TMapFile& map, bool minimal = false, uint32_t identity1 = 0,
                                 uint32_t identity2 = 0);
// The packed file of a decompressed stream: the header, then the stream
// compressed and enciphered.
std::string PackDebugStream(const std::string& stream, bool minimal, uint32_t identity1, uint32_t identity2);
// "$xxxxxxxx, $xxxxxxxx, $xxxxxxxx": the packed text's length and its two
// identity numbers (31 characters), as the settings property names it.
std::string PackedIdentityText(uint32_t length, uint32_t identity1, uint32_t identity2);

// Fills the object from the text of `nm -C --defined-only --print-size` and
// `readelf -W --debug-dump=decodedline` of a linked file whose executable
// segment starts at codeStart (a virtual address of the file). A unit is the
// compile unit's source file without folder and extension; line entries of
// other files (inlined headers) stand as line 0.
void BuildMapFromToolText(TMapFile& map, const std::string& nmText, const std::string& readelfText, uint64_t codeStart,
                          uint64_t codeEnd);

// ---------------------------------------------------------------------------
// ELF reading (the program files on disk, and fuzzed bytes)

struct TElfSymbol {
    std::string name; // as stored (mangled)
    uint64_t value = 0;
    uint64_t size = 0;
    bool isFunction = false;
};
struct TElfFacts {
    uint64_t codeStart = 0, codeEnd = 0; // the first executable loaded segment (virtual addresses)
    uint64_t dataStart = 0, dataEnd = 0; // the first writable loaded segment
    uint64_t entry = 0;
    bool fromSymtab = false; // else from .dynsym
    std::vector<TElfSymbol> symbols;
};
// Copies count bytes at offset of the file; false when they are not there.
using TElfByteReader = std::function<bool(uint64_t offset, void* dest, size_t count)>;
// The segments and (with wantSymbols) the function and object symbols of an
// ELF64 little-endian x86-64 file of fileSize bytes. False when it is none.
bool ReadElfFacts(const TElfByteReader& read, uint64_t fileSize, bool wantSymbols, TElfFacts& facts);
bool ReadElfFactsOfFile(const std::string& path, bool wantSymbols, TElfFacts& facts);
// "_Z..." names demangled; others as they are.
std::string DemangledName(const std::string& name);

// ---------------------------------------------------------------------------
// Modules of this process and the cache

struct TModuleFacts {
    TModuleHandle handle = 0; // the load base
    std::string fileName;     // the real file
    uintptr_t baseOfCode = 0, topOfCode = 0;
    uintptr_t baseOfData = 0, topOfData = 0;
};
// The loaded module that holds the address (dl_iterate_phdr).
bool ModuleFactsOfAddress(uintptr_t address, TModuleFacts& facts);

// The object of the module holding the address (0: the program); valid
// objects belong to the cache, an invalid one is a new empty object.
std::shared_ptr<TMapFile> MapFileOfAddress(uintptr_t address);
// The cached object of a module, made when the cache has none whose module
// file write time and load base still match.
std::shared_ptr<TMapFile> MapFileOfModule(const TModuleFacts& facts);
void MapFileCacheClear();
// The ".zor" file of a module file: the name without its extension + ".zor".
std::string PackedDebugFileOf(const std::string& moduleFileName);

// The "MinDebugInfo" property of a module's settings (31 characters), empty
// when it has none.
std::string MinDebugInfoOf(TModuleHandle module);

struct TAddressDebugInfo {
    bool found = false;
    std::u16string moduleFileName, unitName, functionName;
    uintptr_t functionAddress = 0;
    int32_t line = 0;
};
TAddressDebugInfo AddressDebugInfo(uintptr_t address, uintptr_t fallbackAddress = 0);
TAddressDebugInfo CallerDebugInfo(uintptr_t address = 0);

// The listing's hooks.
std::u16string DebugNameOfAddress(uintptr_t address);
// The name hook's text for one object.
std::u16string DebugNameIn(const TMapFile& map, uintptr_t address);
void DebugLineOfAddress(uintptr_t address, uint32_t& line, uintptr_t& rangeStart, uintptr_t& rangeEnd);
// The function holding an address, from the symbol sizes.
bool DebugFunctionExtent(uintptr_t address, TFunctionExtent& extent);
// Normal context, at the reporter's start-up: stores the three hooks.
void LinkMapFile();

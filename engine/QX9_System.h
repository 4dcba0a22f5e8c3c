// QX9_System: the small services every unit uses. The engine clock with pause,
// the random generator, CRC-32, image buffers, the date codec of file and save
// stamps, the lenient parsers and formatters every text file goes through,
// string helpers, paths and raw file access, and the fatal-error text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os/OS.h"

// ---------------------------------------------------------------------------
// The engine's dynamic array types.

using TPtrArray = std::vector<void*>;
using TIntArray = std::vector<int32_t>;
using TInt64Array = std::vector<int64_t>;
using TSingleArray = std::vector<float>;
using TWordArray = std::vector<uint16_t>;
using TByteArray = std::vector<uint8_t>;
using TBooleanArray = std::vector<bool>;
using TStringArray = std::vector<std::string>;
using TWideStringArray = std::vector<std::u16string>;
using T2DArray = std::vector<std::vector<int32_t>>;

// ---------------------------------------------------------------------------
// Start-up globals (set by QX9_System_Init).

extern std::string ExePath;     // folder of the program file, trailing "\"
extern std::string ExeBaseName; // program file name without folder and extension
extern std::string UserNameEnv; // the user name ("USERNAME")
struct TSystemInfo {
    uint32_t NumberOfProcessors = 1;
};
extern TSystemInfo SystemInfo;
extern uint32_t TimerPeriod;

// The unit's start-up: FPU set-up, clock, user name, program paths. Runs once;
// later calls do nothing.
void QX9_System_Init();

// Units that must tear down at the end register a step here; the steps run
// once, newest first, at QX9_System_Shutdown or at a fatal stop.
void AddUnitShutdown(void (*step)());
// Runs the registered steps, then shows the collected fatal-error text (if
// any) in a box captioned ExeBaseName: "ERRORS:" followed by the text. Runs
// once; later calls do nothing.
void QX9_System_Shutdown();

// ---------------------------------------------------------------------------
// Fatal errors

// The collected fatal-error lines. Appended under a lock (several threads may
// fail at once); read it with GetEngineErrorText.
extern std::string EngineErrorText;
std::string GetEngineErrorText();

// Appends LF, CR and "operation(argument) -> reason" to EngineErrorText, then
// stops the program: the first stop runs the shut-down once (showing the
// text) and ends the process with exit code 1; a stop on another thread
// meanwhile waits for that end. Never returns.
[[noreturn]] void FatalError(const std::string& operation, const std::string& argument, const std::string& reason);
// Appends a line (LF, CR, line) without stopping; FatalStop stops.
void AppendEngineError(const std::string& line);
[[noreturn]] void FatalStop();

// Tests replace how the program stops (for example by throwing); the hook
// must not return. nullptr restores the process exit.
using TFatalStopHook = void (*)();
void SetFatalStopHook(TFatalStopHook hook);
void ClearEngineErrorText(); // tests only

// ---------------------------------------------------------------------------
// Clock and random numbers (ClockLock guards both).

extern TCriticalSection ClockLock;
extern int64_t ClockStart;
extern int64_t ClockSavedStart;
extern int32_t ClockPausedValue;
extern bool ClockPaused;
extern int32_t ClockLast;
extern uint32_t RandomSeed; // the world simulation sets it directly

int32_t GetTimeMs(bool sample);
void PauseTimer();
void ResumeTimer();
void RandomizeSeed();
// Test runs replace the time-stamp counter RandomizeSeed reads with their own
// reproducible value; nullptr restores the counter.
void SetRandomizeSeedSource(uint32_t (*source)());
// Sets the generator's seed under ClockLock.
void SetRandomSeed(uint32_t seed);
int32_t RandomInt(int32_t n);
float RandomFloat();

uint32_t Crc32Update(uint8_t byte, uint32_t crc);

// ---------------------------------------------------------------------------
// Image buffer

struct TImageBuffer {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t BitsPerPixel = 0;
    uint8_t* Data = nullptr; // Width * Height * (BitsPerPixel div 8) bytes
};
TImageBuffer* CreateImageBuffer(int32_t width, int32_t height, int32_t bitsPerPixel);
void FreeImageBuffer(TImageBuffer*& buffer);
// nullptr outside the buffer (or for a buffer without pixels).
uint8_t* ImageBufferPixel(TImageBuffer* buffer, int32_t x, int32_t y);

// ---------------------------------------------------------------------------
// Date codec: 31-day months, 372-day years counted from 2000. Years before
// 2000 give 0. Stamps order in time; they are no real millisecond counts.

int64_t EncodeDateTimeMs(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                         int32_t millisecond);
void DecodeDateTimeMs(int64_t stamp, int32_t& year, int32_t& month, int32_t& day, int32_t& hour, int32_t& minute,
                      int32_t& second, int32_t& millisecond);

// ---------------------------------------------------------------------------
// Numbers to and from text (never fail).

int32_t StrToIntLenient(const std::string& text);
int64_t StrToInt64Lenient(const std::string& text); // the same digits, all 64 bits
float StrToFloatLenient(const std::string& text);
bool StrToBoolLenient(const std::string& text);
std::string Int64ToStr(int64_t value, bool showPlus);
std::string Int64ToStrZeroPad(int32_t width, int64_t value);
// decimals -1: up to 8 digits, trailing zeros dropped ("3", "2.5"); other
// negative counts 8 digits; more than 9 give 9. The single's exact value is
// written (1.1 -> "1.10000002"); "INF" and "NAN" for those.
std::string FloatToStrDecimals(int32_t decimals, float value);
std::string BoolToYesNo(bool value);

// ---------------------------------------------------------------------------
// String helpers (1-based positions, as the data's texts count them).

std::string UpperCaseStr(const std::string& text);
std::string LowerCaseStr(const std::string& text);
std::u16string LowerCaseWide(const std::u16string& text);
std::string TrimStr(const std::string& text);
std::u16string TrimWide(const std::u16string& text);
std::string CopyTrimmed(const std::string& text, int32_t first, int32_t count);
std::string StripQuotes(const std::string& text);
std::string GetSeparatedField(const std::string& text, int32_t n, char separator);
// Each search starts again at the front, so replacements cascade ('aab' with
// 'ab' -> 'b' gives 'b'); when new contains old, one left-to-right pass.
std::string ReplaceAllStr(const std::string& text, const std::string& oldText, const std::string& newText);
std::u16string ReplaceAllWide(const std::u16string& text, const std::u16string& oldText, const std::u16string& newText);
std::u16string WideDeleteStr(const std::u16string& text, int32_t position, int32_t count);
std::u16string WideInsertStr(const std::u16string& inserted, const std::u16string& text, int32_t position);
TStringArray SplitToStringArray(const std::string& text);
TSingleArray SplitToSingleArray(const std::string& text);
TIntArray SplitToIntArray(const std::string& text);
int32_t PCharLength(const char* text);
int32_t CompareStrOrdinal(const std::string& a, const std::string& b);

// ---------------------------------------------------------------------------
// Platform helpers

std::string GetUserNameEnv();
constexpr int CSIDL_LOCAL_APPDATA = 28;
// The folder of a shell folder id (OS_GetShellFolder); empty for ids the
// system has no folder for.
std::string GetShellFolder(int csidl);
// x87 control word: each sets its bits and returns the bits it replaced.
uint32_t SetFpuRoundMode(uint32_t mode);
uint32_t SetFpuPrecisionMode(uint32_t mode);
uint32_t SetFpuExceptionMask(uint32_t mask);
void ClearFpuExceptions();

// ---------------------------------------------------------------------------
// Paths, file search and raw file access. Paths are Windows paths: "\"
// separates, "." starts the extension.

std::string ExtractPathStr(const std::string& path);
std::string ExtractNameStr(const std::string& path);
std::string ExtractBaseName(const std::string& path);
std::string ExtractExtUpper(const std::string& path);
std::string ChangeExtStr(const std::string& name, const std::string& extension);

bool PathDirExists(const std::string& path);
bool FileExistsMask(const std::string& nameOrMask);
bool GetFileInfo(const std::string& name, int32_t& size, int64_t& stamp);

struct TSearchRec {
    uint32_t Size = 0;
    uint32_t Attributes = 0;
    std::string Name;
    uint32_t ExcludeMask = 0;
    TOSFindHandle Handle = INVALID_FIND_HANDLE;
    TOSFindData FindData;
};
uint32_t FindFirstEntry(const std::string& mask, uint32_t asked, TSearchRec& rec);
uint32_t FindFirstEntryExact(const std::string& mask, uint32_t asked, TSearchRec& rec);
uint32_t FindNextEntry(TSearchRec& rec);
void FindCloseEntry(TSearchRec& rec);
int32_t ListFiles(const std::string& mask, TStringArray& list, bool append);
int32_t ListFolders(const std::string& mask, TStringArray& list);

THandle FileOpenRW(const std::string& name);
int32_t FileReadAt(THandle h, void* buffer, int32_t count, int64_t position);
int32_t FileWriteAt(THandle h, const void* buffer, int32_t count, int64_t position);
int32_t FileReadString(THandle h, std::string& text, bool counted, int64_t position);
void FileCloseHandle(THandle h);

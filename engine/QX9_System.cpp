// QX9_System: start-up and shut-down, the fatal-error path, the engine clock,
// the random generator, CRC-32, image buffers, the date codec and the
// platform helpers (user name, shell folders, x87 control word). The text
// parsers, formatters and string helpers are in QX9_System_Strings.cpp.
#include "engine/QX9_System.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>

// ---------------------------------------------------------------------------
// Globals

std::string ExePath;
std::string ExeBaseName;
std::string UserNameEnv;
TSystemInfo SystemInfo;
uint32_t TimerPeriod = 0;

std::string EngineErrorText;

TCriticalSection ClockLock;
int64_t ClockStart = 0;
int64_t ClockSavedStart = 0;
int32_t ClockPausedValue = 0;
bool ClockPaused = false;
int32_t ClockLast = 0;
uint32_t RandomSeed = 0;

namespace {

// Guards EngineErrorText: loader threads and the main thread may fail at the
// same moment.
std::mutex ErrorLock;

std::mutex ShutdownLock;
std::vector<void (*)()> ShutdownSteps;
bool ShutdownDone = false;

std::atomic<TFatalStopHook> FatalStopHook{nullptr};
std::atomic<bool> FatalStopping{false};
std::atomic<uint32_t> FatalStoppingThread{0};

std::once_flag InitOnce;

} // namespace

// ---------------------------------------------------------------------------
// Start-up and shut-down

void QX9_System_Init()
{
    std::call_once(InitOnce, [] {
        // Round to nearest, 64-bit extended precision, every exception masked:
        // a division by zero gives an infinity or NaN, never a trap.
        SetFpuRoundMode(0);
        SetFpuPrecisionMode(3);
        ClearFpuExceptions();
        SetFpuExceptionMask(63);

        // The timer always grants 1 ms here.
        TimerPeriod = 1;

        {
            std::lock_guard<TCriticalSection> guard(ClockLock);
            ClockStart = 0;
            ClockSavedStart = 0;
            ClockPaused = false;
        }
        GetTimeMs(true);

        UserNameEnv = GetUserNameEnv();
        SystemInfo.NumberOfProcessors = static_cast<uint32_t>(std::max(1, OS_GetProcessorCount()));

        const std::string moduleName = OS_GetModuleFileName();
        ExePath = OS_GetProgramFolder();
        const std::string fileName = moduleName.substr(ExePath.size());
        const size_t dot = fileName.find_last_of('.');
        ExeBaseName = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    });
}

void AddUnitShutdown(void (*step)())
{
    if (step == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(ShutdownLock);
    ShutdownSteps.push_back(step);
}

namespace {

void ShowEngineErrors()
{
    const std::string text = GetEngineErrorText();
    if (!text.empty()) {
        OS_MessageBox(ExeBaseName, "ERRORS:" + text, MB_ICONERROR);
    }
}

// False when the shut-down has already begun.
bool RunShutdownOnce()
{
    std::vector<void (*)()> steps;
    {
        std::lock_guard<std::mutex> guard(ShutdownLock);
        if (ShutdownDone) {
            return false;
        }
        ShutdownDone = true;
        steps.swap(ShutdownSteps);
    }
    // The units that came up last go first.
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
        (*it)();
    }
    ShowEngineErrors();
    return true;
}

} // namespace

void QX9_System_Shutdown()
{
    RunShutdownOnce();
}

// ---------------------------------------------------------------------------
// Fatal errors

std::string GetEngineErrorText()
{
    std::lock_guard<std::mutex> guard(ErrorLock);
    return EngineErrorText;
}

void AppendEngineError(const std::string& line)
{
    std::lock_guard<std::mutex> guard(ErrorLock);
    EngineErrorText += "\n\r";
    EngineErrorText += line;
}

void ClearEngineErrorText()
{
    std::lock_guard<std::mutex> guard(ErrorLock);
    EngineErrorText.clear();
}

void SetFatalStopHook(TFatalStopHook hook)
{
    FatalStopHook.store(hook);
}

void FatalError(const std::string& operation, const std::string& argument, const std::string& reason)
{
    AppendEngineError(operation + "(" + argument + ") -> " + reason);
    FatalStop();
}

void FatalStop()
{
    if (TFatalStopHook hook = FatalStopHook.load()) {
        hook();
    }
    const uint32_t self = OS_GetCurrentThreadId();
    if (FatalStopping.exchange(true)) {
        if (FatalStoppingThread.load() == self) {
            // A shut-down step failed while the program was already ending:
            // the steps can't be trusted any more, show what was collected.
            ShowEngineErrors();
            OS_ExitProcess(1);
        }
        // Another thread is already ending the program (its box shows this
        // line too unless it is already up). Nothing more runs here.
        for (;;) {
            OS_SleepMs(1000);
        }
    }
    FatalStoppingThread.store(self);
    if (!RunShutdownOnce()) {
        // A step of the normal shut-down failed: the box of that shut-down
        // may already be gone, show the text now.
        ShowEngineErrors();
    }
    OS_ExitProcess(1);
}

// ---------------------------------------------------------------------------
// Engine clock

int32_t GetTimeMs(bool sample)
{
    std::lock_guard<TCriticalSection> guard(ClockLock);
    if (!sample) {
        return ClockLast;
    }
    if (ClockPaused) {
        ClockLast = ClockPausedValue;
    } else {
        ClockLast = static_cast<int32_t>(OS_TimeGetTime() - static_cast<uint32_t>(ClockStart));
    }
    return ClockLast;
}

void PauseTimer()
{
    std::lock_guard<TCriticalSection> guard(ClockLock);
    if (ClockPaused) {
        return;
    }
    ClockPausedValue = GetTimeMs(true);
    ClockPaused = true;
    ClockSavedStart = ClockStart;
    ClockStart = OS_TimeGetTime();
}

void ResumeTimer()
{
    std::lock_guard<TCriticalSection> guard(ClockLock);
    if (!ClockPaused) {
        return;
    }
    ClockPaused = false;
    // The old start moved forward by the paused span.
    ClockStart = (static_cast<int64_t>(OS_TimeGetTime()) - ClockStart) + ClockSavedStart;
    ClockSavedStart = 0;
}

// ---------------------------------------------------------------------------
// Random generator

namespace {

// One step of the generator; the caller holds ClockLock.
int32_t RandomStep()
{
    RandomSeed = RandomSeed * 214013u + 2531011u;
    return static_cast<int32_t>((RandomSeed >> 16) & 32767u);
}

} // namespace

namespace {
std::atomic<uint32_t (*)()> RandomizeSource{nullptr};
} // namespace

void SetRandomizeSeedSource(uint32_t (*source)())
{
    RandomizeSource.store(source, std::memory_order_release);
}

void RandomizeSeed()
{
    uint32_t (*source)() = RandomizeSource.load(std::memory_order_acquire);
    const uint32_t seed = source != nullptr ? source() : static_cast<uint32_t>(OS_ReadTimeStampCounter());
    std::lock_guard<TCriticalSection> guard(ClockLock);
    RandomSeed = seed;
}

void SetRandomSeed(uint32_t seed)
{
    std::lock_guard<TCriticalSection> guard(ClockLock);
    RandomSeed = seed;
}

int32_t RandomInt(int32_t n)
{
    std::lock_guard<TCriticalSection> guard(ClockLock);
    const int32_t drawn = RandomStep();
    if (n == 0) {
        return 0;
    }
    return drawn % n; // signed: a negative n gives 0 .. |n|-1
}

float RandomFloat()
{
    std::lock_guard<TCriticalSection> guard(ClockLock);
    const int32_t drawn = RandomStep();
    return static_cast<float>(drawn % 10001) / 10000.0f;
}

// ---------------------------------------------------------------------------
// CRC-32

namespace {

constexpr std::array<uint32_t, 256> MakeCrc32Table()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        }
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> Crc32Table = MakeCrc32Table();

} // namespace

uint32_t Crc32Update(uint8_t byte, uint32_t crc)
{
    return Crc32Table[(crc ^ byte) & 255u] ^ (crc >> 8);
}

// ---------------------------------------------------------------------------
// Image buffer

TImageBuffer* CreateImageBuffer(int32_t width, int32_t height, int32_t bitsPerPixel)
{
    auto* buffer = new TImageBuffer;
    buffer->Width = width;
    buffer->Height = height;
    buffer->BitsPerPixel = bitsPerPixel;
    const int64_t bytes = static_cast<int64_t>(width) * height * (bitsPerPixel / 8);
    if (width > 0 && height > 0 && bitsPerPixel >= 8 && bytes > 0) {
        buffer->Data = new uint8_t[static_cast<size_t>(bytes)]();
    }
    return buffer;
}

void FreeImageBuffer(TImageBuffer*& buffer)
{
    if (buffer == nullptr) {
        return;
    }
    delete[] buffer->Data;
    delete buffer;
    buffer = nullptr;
}

uint8_t* ImageBufferPixel(TImageBuffer* buffer, int32_t x, int32_t y)
{
    if (buffer == nullptr || buffer->Data == nullptr || x < 0 || y < 0 || x >= buffer->Width || y >= buffer->Height) {
        return nullptr;
    }
    const int64_t offset =
        (static_cast<int64_t>(x) + static_cast<int64_t>(y) * buffer->Width) * (buffer->BitsPerPixel / 8);
    return buffer->Data + offset;
}

// ---------------------------------------------------------------------------
// Date codec

int64_t EncodeDateTimeMs(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                         int32_t millisecond)
{
    if (year < 2000) {
        return 0;
    }
    // 64 bits throughout: 32-bit seconds would run out during 2066. Unsigned
    // so that absurd fields wrap instead of overflowing.
    uint64_t v = static_cast<uint64_t>(static_cast<int64_t>(year) - 2000) * 372u;
    v += static_cast<uint64_t>((static_cast<int64_t>(month) - 1) * 31 + (static_cast<int64_t>(day) - 1));
    v = v * 24u + static_cast<uint64_t>(static_cast<int64_t>(hour));
    v = v * 60u + static_cast<uint64_t>(static_cast<int64_t>(minute));
    v = v * 60u + static_cast<uint64_t>(static_cast<int64_t>(second));
    v = v * 1000u + static_cast<uint64_t>(static_cast<int64_t>(millisecond));
    return static_cast<int64_t>(v);
}

void DecodeDateTimeMs(int64_t stamp, int32_t& year, int32_t& month, int32_t& day, int32_t& hour, int32_t& minute,
                      int32_t& second, int32_t& millisecond)
{
    int64_t v = stamp;
    millisecond = static_cast<int32_t>(v % 1000);
    v /= 1000;
    second = static_cast<int32_t>(v % 60);
    v /= 60;
    minute = static_cast<int32_t>(v % 60);
    v /= 60;
    hour = static_cast<int32_t>(v % 24);
    v /= 24;
    day = static_cast<int32_t>(v % 31) + 1;
    v /= 31;
    month = static_cast<int32_t>(v % 12) + 1;
    v /= 12;
    year = static_cast<int32_t>(static_cast<uint32_t>(v) + 2000u);
}

// ---------------------------------------------------------------------------
// Platform helpers

std::string GetUserNameEnv()
{
    return OS_GetUserName();
}

std::string GetShellFolder(int csidl)
{
    return OS_GetShellFolder(csidl);
}

// The x87 control word: exception masks in bits 0..5, precision control in
// bits 8..9, rounding control in bits 10..11. On x86-64 it governs long
// double only (float and double go through SSE).
namespace {

#if defined(__x86_64__) || defined(__i386__)
uint16_t ReadFpuControlWord()
{
    uint16_t cw = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    return cw;
}

void WriteFpuControlWord(uint16_t cw)
{
    __asm__ __volatile__("fldcw %0" : : "m"(cw));
}
#else
uint16_t FpuControlWord = 0x037F;
uint16_t ReadFpuControlWord()
{
    return FpuControlWord;
}
void WriteFpuControlWord(uint16_t cw)
{
    FpuControlWord = cw;
}
#endif

uint32_t ReplaceFpuBits(int shift, uint32_t mask, uint32_t value)
{
    const uint16_t cw = ReadFpuControlWord();
    const uint32_t old = (cw >> shift) & mask;
    const uint16_t updated = static_cast<uint16_t>((cw & ~(mask << shift)) | ((value & mask) << shift));
    WriteFpuControlWord(updated);
    return old;
}

} // namespace

uint32_t SetFpuRoundMode(uint32_t mode)
{
    return ReplaceFpuBits(10, 3u, mode);
}

uint32_t SetFpuPrecisionMode(uint32_t mode)
{
    return ReplaceFpuBits(8, 3u, mode);
}

uint32_t SetFpuExceptionMask(uint32_t mask)
{
    return ReplaceFpuBits(0, 63u, mask);
}

void ClearFpuExceptions()
{
#if defined(__x86_64__) || defined(__i386__)
    __asm__ __volatile__("fnclex");
#endif
}

// The operating-system services the engine was written against (files, folders,
// threads, events, locks, the millisecond timer, environment, code pages,
// message boxes), offered over POSIX and the C++ library.
//
// Paths inside the program are Windows paths ("\" separators, case-insensitive
// names). They are turned into real paths here, at the boundary, by one
// resolver: "\" and "/" both separate, and each component is matched
// case-insensitively against the folder's entries.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Results and constants in the Windows shape the engine tests against.

using THandle = intptr_t;
constexpr THandle INVALID_HANDLE_VALUE = -1;
constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr uint32_t FILE_ATTRIBUTE_SYSTEM = 0x04;
constexpr uint32_t FILE_ATTRIBUTE_VOLUME = 0x08;
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;

constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_INVALID_HANDLE = 6;
constexpr uint32_t ERROR_NO_MORE_FILES = 18;

// Code pages the game's languages use.
constexpr int CP_1250 = 1250; // pol
constexpr int CP_1251 = 1251; // rus, bel, ukr
constexpr int CP_1252 = 1252; // the others
constexpr int CP_UTF8 = 65001;

// Message box styles.
constexpr uint32_t MB_OK = 0x00;
constexpr uint32_t MB_ICONERROR = 0x10;
constexpr uint32_t MB_ICONWARNING = 0x30;
constexpr uint32_t MB_ICONINFORMATION = 0x40;

// Points and rectangles in pixels, shared by the window, the renderer and the
// game's screenshots. A rectangle's right and bottom edges are outside it.
struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
};

struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
};

// ---------------------------------------------------------------------------
// Paths

// The real (POSIX) path of a program path. Components that exist are matched
// case-insensitively; the first missing component and everything after it are
// kept as written (so a file about to be created gets the caller's spelling).
std::string OS_ResolvePath(const std::string& path);
// A real path in the program's form: "/" becomes "\".
std::string OS_ToProgramPath(const std::string& nativePath);

// Attributes of a file or folder, INVALID_FILE_ATTRIBUTES when there is none.
// Folder 16; file 32 (archive), plus 1 when it can't be written; a name
// starting with "." adds 2 (hidden).
uint32_t OS_GetFileAttributes(const std::string& path);

struct TOSFindData {
    std::string Name;        // entry name without folder
    uint64_t Size = 0;       // bytes
    uint32_t Attributes = 0; // as OS_GetFileAttributes
    int64_t WriteTime = 0;   // last write, seconds since 1970 (UTC)
    int32_t WriteTimeMs = 0; // and its milliseconds (0..999)
};

// A search over the entries of one folder that match the mask's last
// component ("*" and "?" wildcards, case-insensitive). Entries come sorted by
// their upper-cased names, as NTFS lists them; callers number files by
// listing order. As on Windows, "." and ".." are listed (but in the root),
// a mask ending in ".*" also takes names without an extension ("*.*" takes
// every name) and one ending in "." only those. Returns 0 and the first entry,
// or an error code (no search stays open then): ERROR_PATH_NOT_FOUND when the
// folder is missing, ERROR_FILE_NOT_FOUND when nothing matches; FindNext ends
// with ERROR_NO_MORE_FILES. Each search has its own state: searches may run on
// several threads at once.
using TOSFindHandle = intptr_t;
constexpr TOSFindHandle INVALID_FIND_HANDLE = 0;
uint32_t OS_FindFirstFile(const std::string& mask, TOSFindHandle& handle, TOSFindData& data);
uint32_t OS_FindNextFile(TOSFindHandle handle, TOSFindData& data);
void OS_FindClose(TOSFindHandle handle);

bool OS_CreateDirectory(const std::string& path);     // one level; true when it exists afterwards
bool OS_CreateDirectoryTree(const std::string& path); // every missing level
bool OS_DeleteFile(const std::string& path);
// Moves a file over another, replacing it in one step (same folder).
bool OS_ReplaceFile(const std::string& from, const std::string& to);
bool OS_CopyFile(const std::string& from, const std::string& to);

// ---------------------------------------------------------------------------
// Files and raw handles

// Read and write, created empty when missing, never truncated. When writing is
// refused on an existing file it is opened read-only (writes then fail).
THandle OS_OpenFileRW(const std::string& path);
THandle OS_OpenFileRead(const std::string& path);
// Created or truncated for writing.
THandle OS_CreateFileWrite(const std::string& path);
// The bytes moved, never negative: fewer than asked at the end of a file or
// on an error (0 on a bad or read-only handle), as Windows reports them.
// Partial transfers and interruptions are retried.
int64_t OS_ReadFile(THandle h, void* buffer, int64_t count);
int64_t OS_WriteFile(THandle h, const void* buffer, int64_t count);
// whence: 0 from the start, 1 from the current position, 2 from the end.
// Returns the new position or -1.
int64_t OS_SeekFile(THandle h, int64_t offset, int whence);
int64_t OS_GetFileSize(THandle h);
bool OS_SetEndOfFile(THandle h); // cut the file at the current position
bool OS_FlushFile(THandle h);
void OS_CloseHandle(THandle h);

// Whole files. ReadWholeFile: false when the file can't be opened.
bool OS_ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes);
// Writes a new file under a fresh temporary name in the target's folder,
// flushes it and renames it over the target, so a crash, a full disk or
// another process saving the same file never leaves a torn file behind. A
// symbolic link is followed: the file it points to is replaced and the link
// stays. A FIFO or a device is written in place, never replaced. False, with
// errno telling why, on any failure; then the old file is untouched and no
// temporary file is left, also when the target is a folder or a file we may
// not write. A replaced file keeps its permissions.
bool OS_WriteFileAtomic(const std::string& path, const void* data, size_t size);
// Removes the temporary files that writers of the file left behind when their
// process ended between writing and renaming (a crash, a kill): those of the
// file's own name whose process is gone. The number removed.
int OS_RemoveStaleTemporaries(const std::string& path);

// ---------------------------------------------------------------------------
// Time

// Milliseconds, wrapping at 32 bits; 60,000 at program start, so engine times
// stay positive and far from wrapping.
uint32_t OS_TimeGetTime();
// Tests replace the timer; nullptr restores the real one.
void OS_SetTimeSource(uint32_t (*source)());
void OS_SleepMs(uint32_t ms);
uint64_t OS_ReadTimeStampCounter();

struct TOSLocalTime {
    int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
// Seconds since 1970 (UTC) to local calendar fields.
TOSLocalTime OS_UnixToLocalTime(int64_t seconds);
TOSLocalTime OS_GetLocalTime();
// Test runs give local time from their own clock; nullptr restores the real one.
void OS_SetLocalTimeSource(TOSLocalTime (*source)());

// ---------------------------------------------------------------------------
// Process and environment

std::string OS_GetEnv(const std::string& name); // empty when unset
// "USERNAME", falling back to USER and LOGNAME (Linux rarely sets USERNAME).
std::string OS_GetUserName();
// The program file's full name: its real path, and in program form.
std::string OS_GetProgramFileNative();
std::string OS_GetModuleFileName();
// The program's folder in program form, with a trailing "\"; empty when the
// program file can't be found.
std::string OS_GetProgramFolder();
int OS_GetProcessorCount();
// The per-user data folder ($XDG_DATA_HOME, else ~/.local/share), program
// form, no trailing "\". Empty when it can't be found.
std::string OS_GetLocalAppDataFolder();
// The per-user configuration folder ($XDG_CONFIG_HOME, else ~/.config), the
// same form.
std::string OS_GetConfigFolder();
// The folder of a Windows shell folder id, the same form: 0x1A (application
// data), 0x1C (local application data) and 0x23 (common application data)
// are all the per-user data folder; 0x10 (desktop) is $XDG_DESKTOP_DIR, else
// ~/Desktop. Empty for other ids.
std::string OS_GetShellFolder(int csidl);
[[noreturn]] void OS_ExitProcess(int code);

// ---------------------------------------------------------------------------
// Threads and synchronisation

// A recursive lock (the engine's critical sections).
class TCriticalSection {
public:
    void Enter() { Mutex.lock(); }
    void Leave() { Mutex.unlock(); }
    bool TryEnter() { return Mutex.try_lock(); }
    // For std::lock_guard.
    void lock() { Enter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex Mutex;
};

// An auto-reset event: Set releases one waiter (or the next Wait), then the
// event is clear again.
class TAutoResetEvent {
public:
    explicit TAutoResetEvent(bool initiallySet = false) : Signalled(initiallySet) {}
    void Set();
    void Reset();
    // Waits up to timeoutMs (OS_INFINITE: forever); true when signalled.
    bool Wait(uint32_t timeoutMs);

private:
    std::mutex Mutex;
    std::condition_variable Cond;
    bool Signalled;
};
constexpr uint32_t OS_INFINITE = 0xFFFFFFFFu;

uint32_t OS_GetCurrentThreadId();

// ---------------------------------------------------------------------------
// Text: code pages and case

// Bytes of a code page to UTF-16 and back. UTF-8 decoding replaces invalid
// sequences with U+FFFD; characters a single-byte page lacks become "?", and
// the bytes a page leaves undefined become U+FFFD. Lone surrogates become
// U+FFFD in UTF-8. Code pages other than 1250, 1251 and UTF-8 convert as 1252.
std::u16string OS_MultiByteToWide(int codePage, const std::string& text);
std::string OS_WideToMultiByte(int codePage, const std::u16string& text);
// ASCII case only: the other bytes of ansi text may be UTF-8 and must survive.
char OS_CharUpperA(char c);
char OS_CharLowerA(char c);
char16_t OS_CharLowerW(char16_t c); // Latin-1, Latin Extended-A, Cyrillic, Greek

// ---------------------------------------------------------------------------
// Message boxes

// True with DUSKMARCH_HEADLESS=1 or when no display is there: message boxes
// then go to stderr and never block.
bool OS_IsHeadless();
// Shows a modal box (SDL) or, headless, writes caption and text to stderr.
// Always also writes to stderr, so logs keep it.
void OS_MessageBox(const std::string& caption, const std::string& text, uint32_t style);

#include "crashreport/core/zorReportText.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/core/zorExcept_Slots.h"
#include "crashreport/diagnostics/zorLinkDisAsm.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorZip.h"
#include "platform/os/OS.h"

namespace {

const std::u16string Pending = u"will be calculated soon";
const std::u16string SectionPending = u">> will be calculated soon";

std::u16string InternalError(const char* routine)
{
    return u">> internal error in " + Utf8ToWide(routine);
}

std::u16string Digits(int64_t value, int32_t width)
{
    return Int64ToDecTextW(value, width, u'0');
}

std::u16string Hex16(uint64_t value)
{
    return AddressTextW(value);
}

// ---------------------------------------------------------------------------
// The real sources

class TOwnThreadSource final : public IReportThreadSource {
public:
    std::vector<uint32_t> ThreadIds() override { return {OS_GetCurrentThreadId()}; }
    uint32_t MainThreadId() override { return static_cast<uint32_t>(getpid()); }
    std::u16string Caption(uint32_t threadId) override
    {
        return (threadId == MainThreadId() ? u"main thread ($" : u"thread ($") + CardToHexTextW(threadId).substr(1) +
               u")";
    }
    uintptr_t CreatorAddress(uint32_t) override { return 0; }
    uint32_t CreatorThread(uint32_t) override { return 0; }
    bool ReadState(uint32_t, TThreadState&) override { return false; }
};

// The listing comes from the disassembly hook that the reporter's start-up
// links; without it, or when the function can't be analysed, there is none.
class TDisAsmListingSource final : public IReportListingSource {
public:
    std::string GetCleartextDisAsm(uintptr_t functionStart, uintptr_t markedAddress, int32_t lineLimit,
                                   bool format) override
    {
        const TDisAsmHook hook = DisAsmHook;
        if (hook == nullptr)
            return {};
        TFunctionInfo info;
        std::string text = hook(functionStart, markedAddress, format, lineLimit, info);
        return info.valid ? text : std::string();
    }
};

std::mutex SourcesLock;
std::shared_ptr<IReportThreadSource> ThreadSource;
std::shared_ptr<IReportStackSource> StackSource;
std::shared_ptr<IReportListingSource> ListingSource;

std::shared_ptr<IReportThreadSource> Threads()
{
    std::lock_guard guard(SourcesLock);
    if (!ThreadSource)
        ThreadSource = std::make_shared<TOwnThreadSource>();
    return ThreadSource;
}
std::shared_ptr<IReportStackSource> Stacks()
{
    std::lock_guard guard(SourcesLock);
    if (!StackSource)
        StackSource = MakeStackTraceSource();
    return StackSource;
}
std::shared_ptr<IReportListingSource> Listing()
{
    std::lock_guard guard(SourcesLock);
    if (!ListingSource)
        ListingSource = std::make_shared<TDisAsmListingSource>();
    return ListingSource;
}

std::string ReadTextFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::atomic<uint64_t> ReportCounter{0};
const int64_t ProgramStartMs = static_cast<int64_t>(TickCount64());

} // namespace

void SetReportSources(std::shared_ptr<IReportThreadSource> threads, std::shared_ptr<IReportStackSource> stacks,
                      std::shared_ptr<IReportListingSource> listing)
{
    std::lock_guard guard(SourcesLock);
    ThreadSource = std::move(threads);
    StackSource = std::move(stacks);
    ListingSource = std::move(listing);
}

TReportSystemFacts& ReportSystemFacts()
{
    static TReportSystemFacts facts;
    return facts;
}

// ---------------------------------------------------------------------------
// System texts

std::u16string TimeSpanText(int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    const int64_t d = seconds / 86400, h = seconds / 3600 % 24, m = seconds / 60 % 60, s = seconds % 60;
    auto unit = [](int64_t value, const char16_t* name) -> std::u16string {
        if (value == 0)
            return {};
        if (value == 1)
            return u"1 " + std::u16string(name) + u" ";
        return Int64ToDecTextW(value) + u" " + name + u"s ";
    };
    if (d > 0)
        return unit(d, u"day") + unit(h, u"hour");
    if (h > 0)
        return unit(h, u"hour") + unit(m, u"minute");
    return unit(m, u"minute") + unit(s, u"second");
}

std::u16string SystemUpTimeText()
{
    const std::string text = ReadTextFile("/proc/uptime");
    if (text.empty())
        return {};
    return TimeSpanText(static_cast<int64_t>(std::atof(text.c_str())));
}

std::u16string ProgramUpTimeText()
{
    const int64_t ms = static_cast<int64_t>(TickCount64()) - ProgramStartMs;
    std::u16string text = TimeSpanText(ms / 1000);
    return text.empty() ? Int64ToDecTextW(ms) + u" milliseconds" : text;
}

std::u16string DiskFreeText(const std::u16string& path)
{
    struct statvfs fs {};
    if (path.empty() || statvfs(WideToUtf8(path).c_str(), &fs) != 0)
        return {};
    return u"(" + path + u") " + SizeToTextW(static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize));
}

std::u16string MemoryStatusText()
{
    std::istringstream in(ReadTextFile("/proc/meminfo"));
    std::string key;
    int64_t value = 0, total = -1, available = -1;
    std::string unitText;
    while (in >> key >> value >> unitText) {
        if (key == "MemTotal:")
            total = value * 1024;
        else if (key == "MemAvailable:")
            available = value * 1024;
    }
    if (total < 0 || available < 0)
        return {};
    auto mib = [](int64_t bytes) { return Int64ToDecTextW((bytes + 524288) / 1048576); };
    return mib(available) + u"/" + mib(total) + u" MB (free/total)";
}

std::u16string CpuNameText()
{
    if (ReportSystemFacts().CpuName)
        return ReportSystemFacts().CpuName();
    std::istringstream in(ReadTextFile("/proc/cpuinfo"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0) {
            const size_t colon = line.find(':');
            std::string name = colon == std::string::npos ? std::string() : line.substr(colon + 1);
            size_t at;
            while ((at = name.find("  ")) != std::string::npos)
                name.erase(at, 1);
            return TrimCopyW(Utf8ToWide(name));
        }
    return {};
}

int32_t CpuCount()
{
    const int32_t count = ReportSystemFacts().CpuCount ? ReportSystemFacts().CpuCount() : OS_GetProcessorCount();
    return std::clamp(count, 1, 16);
}

std::u16string OsVersionText()
{
    utsname name{};
    uname(&name);
    return ReadOsInfo().Description + u" build " + Utf8ToWide(name.release);
}

std::u16string OsLanguageText()
{
    std::string lang = OS_GetEnv("LANG");
    return Utf8ToWide(lang);
}

std::u16string DisplayModeText()
{
    // A crashed process opens no display connection of its own; the mode is
    // known only where the program already reported one.
    return {};
}

std::u16string AllocatedMemoryText()
{
    int64_t bytes = 0;
    for (const TMapRegion& region : ReadProcessMaps())
        if (region.Writable && region.Path.empty())
            bytes += static_cast<int64_t>(region.End - region.Start);
    return bytes > 0 ? SizeToTextW(bytes) : std::u16string();
}

// ---------------------------------------------------------------------------
// Register and stack sections

std::u16string GetCpuRegisters(const TZorRegisters& r)
{
    const std::pair<const char16_t*, uint64_t> rows[] = {
        {u"rax", r.Rax}, {u"rbx", r.Rbx}, {u"rcx", r.Rcx}, {u"rdx", r.Rdx}, {u"rsi", r.Rsi}, {u"rdi", r.Rdi},
        {u"rbp", r.Rbp}, {u"rsp", r.Rsp}, {u"r8", r.R8},   {u"r9", r.R9},   {u"r10", r.R10}, {u"r11", r.R11},
        {u"r12", r.R12}, {u"r13", r.R13}, {u"r14", r.R14}, {u"r15", r.R15}, {u"rip", r.Rip}, {u"eflags", r.EFlags},
    };
    std::u16string text;
    for (const auto& [name, value] : rows) {
        if (!text.empty())
            text += u"\r\n";
        text += std::u16string(name) + u" = " + Hex16(value);
    }
    return text;
}

std::u16string GetStackDump(uintptr_t start, uintptr_t end)
{
    static const char16_t HexDigits[] = u"0123456789abcdef";
    std::u16string text;
    uintptr_t row = start;
    for (int n = 0; n < 20 && row < end; ++n, row += 16) {
        if (n > 0)
            text += u"\r\n";
        text += Hex16(row) + u"  ";
        std::u16string chars;
        for (int i = 0; i < 16; ++i) {
            const bool inside = row + i < end;
            if (i == 8)
                text += inside ? u"- " : u"  ";
            if (!inside) {
                text += u"   ";
                continue;
            }
            const uint8_t b = *reinterpret_cast<const uint8_t*>(row + i);
            text.push_back(HexDigits[b >> 4]);
            text.push_back(HexDigits[b & 15]);
            text.push_back(u' ');
            chars.push_back(b >= 32 && b <= 126 ? b : u'.');
        }
        text += u" " + chars;
    }
    return text;
}

namespace {

std::u16string StackDumpOf(const TZorRegisters& registers)
{
    uintptr_t end = UINTPTR_MAX;
    for (const TMapRegion& region : ReadProcessMaps())
        if (registers.Rsp >= region.Start && registers.Rsp < region.End)
            end = region.Readable ? region.End : registers.Rsp;
    return GetStackDump(registers.Rsp, end);
}

// ---------------------------------------------------------------------------
// Completion bookkeeping: one completion per failure, and waiting for it.

std::mutex CompletionLock;
std::condition_variable CompletionDone;
std::map<const TIZXException*, int> CompletionState; // 1 running, 2 finished

bool ClaimCompletion(const TIZXException& exception)
{
    std::lock_guard guard(CompletionLock);
    int& state = CompletionState[&exception];
    if (state != 0)
        return false;
    state = 1;
    return true;
}

void FinishCompletion(const TIZXException& exception)
{
    {
        std::lock_guard guard(CompletionLock);
        CompletionState.erase(&exception);
    }
    CompletionDone.notify_all();
}

void WaitForCompletion(const TIZXException& exception)
{
    std::unique_lock guard(CompletionLock);
    CompletionDone.wait(guard, [&] {
        const auto it = CompletionState.find(&exception);
        return it == CompletionState.end() || exception.ReportComplete() || exception.Aborted();
    });
}

// Sets a section's text unless the failure goes; an empty text removes it.
void ReplaceSectionText(TIZXException& exception, const std::u16string& name, const std::u16string& text)
{
    if (exception.Aborted())
        return;
    exception.HoldNotifications();
    exception.SectionFields()->PutField(name, text);
    exception.ReleaseNotifications();
}

void AllowChangesOn(IZXFields& list)
{
    if (auto* ex = dynamic_cast<IZXFieldsEx*>(&list))
        ex->AllowChanges();
}

std::u16string CollapseBlanks(std::u16string text)
{
    for (char16_t& c : text)
        if (c == u'\r' || c == u'\n')
            c = u' ';
    std::u16string out;
    for (char16_t c : text)
        if (!(c == u' ' && !out.empty() && out.back() == u' '))
            out.push_back(c);
    return out;
}

std::u16string ModuleDateText(const std::u16string& file)
{
    struct stat st {};
    if (stat(WideToUtf8(file).c_str(), &st) != 0)
        return {};
    const TOSLocalTime t = OS_UnixToLocalTime(st.st_mtime);
    return Digits(t.Year, 4) + u"-" + Digits(t.Month, 2) + u"-" + Digits(t.Day, 2) + u" " + Digits(t.Hour, 2) + u":" +
           Digits(t.Minute, 2);
}

std::u16string CommandLineText()
{
    std::string raw = ReadTextFile("/proc/self/cmdline");
    if (raw.find('\0') == std::string::npos || raw.find('\0') + 1 >= raw.size())
        return {}; // no parameters
    while (!raw.empty() && raw.back() == '\0')
        raw.pop_back();
    std::replace(raw.begin(), raw.end(), '\0', ' ');
    return Utf8ToWide(raw);
}

std::u16string CaptionOf(IReportThreadSource& threads, uint32_t id)
{
    return threads.Caption(id);
}

} // namespace

// ---------------------------------------------------------------------------
// Building

void BuildReportHeader(TIZXException& exception, IZXFields& header)
{
    if (!exception.WantReport())
        return;
    AllowChangesOn(header);
    std::vector<TFieldPair> lines;
    lines.reserve(64);
    auto add = [&](const char16_t* label, const std::function<std::u16string()>& content) {
        std::u16string text;
        try {
            text = content();
        } catch (...) {
            text.clear();
        }
        lines.push_back({label, text});
    };
    const TZorLocalTime& t = exception.CreationTime();
    add(u"date/time", [&] {
        return Digits(t.Year, 4) + u"-" + Digits(t.Month, 2) + u"-" + Digits(t.Day, 2) + u", " + Digits(t.Hour, 2) +
               u":" + Digits(t.Minute, 2) + u":" + Digits(t.Second, 2) + u", " + IntToDecTextW(t.Millisecond) + u"ms";
    });
    add(u"computer name", ComputerName);
    add(u"wts client name", [] {
        return ReportSystemFacts().TerminalClientName ? ReportSystemFacts().TerminalClientName() : std::u16string();
    });
    add(u"user name", [] {
        const passwd* pw = getpwuid(geteuid());
        std::u16string name = pw != nullptr ? Utf8ToWide(pw->pw_name) : std::u16string();
        return geteuid() == 0 && !name.empty() ? name + u"  <admin>" : name;
    });
    add(u"operating system", OsVersionText);
    add(u"system language", OsLanguageText);
    add(u"system up time", SystemUpTimeText);
    add(u"program up time", ProgramUpTimeText);
    {
        const std::u16string cpu = CpuNameText();
        const int32_t count = CpuCount();
        if (!cpu.empty())
            lines.push_back(
                {count == 1 ? u"processor" : u"processors", count == 1 ? cpu : IntToDecTextW(count) + u" x " + cpu});
    }
    add(u"physical memory", MemoryStatusText);
    add(u"free disk space", [] {
        std::u16string text = DiskFreeText(u"/");
        const std::u16string program = ReporterProgramFolder();
        struct stat root {
        }, folder{};
        if (stat("/", &root) == 0 && stat(WideToUtf8(program).c_str(), &folder) == 0 && root.st_dev != folder.st_dev)
            text += u" " + DiskFreeText(program);
        return text;
    });
    add(u"display mode", DisplayModeText);
    add(u"process id", [] { return u"$" + CardToHexTextW(static_cast<uint32_t>(getpid())).substr(1); });
    add(u"allocated memory", AllocatedMemoryText);
    add(u"command line", CommandLineText);
    const std::u16string programFile = ModuleFileName(0);
    add(u"executable", [&] { return FileNamePartW(programFile); });
    const std::u16string moduleFile = ModuleFileName(exception.ModuleHandle());
    if (!moduleFile.empty() && moduleFile != programFile)
        lines.push_back({u"current module", FileNamePartW(moduleFile)});
    if (!moduleFile.empty()) {
        add(moduleFile == programFile ? u"exec. date/time" : u"module date/time",
            [&] { return ModuleDateText(moduleFile); });
        add(u"version", [&] {
            std::u16string v = exception.VersionText();
            return v.empty() ? FileVersionTextW(moduleFile) : v;
        });
    }
    lines.push_back({u"compiled with", u"g++ " + Utf8ToWide(__VERSION__)});
    lines.push_back({u"zorExcept version", u"4.0.9"});
    const size_t beforeCrc = lines.size();
    lines.push_back({u"callstack crc", Pending});
    lines.push_back({u"exception number", Int64ToDecTextW(static_cast<int64_t>(++ReportCounter))});
    const bool frozen = exception.FailureKind() == ZorFailureFrozen;
    const std::u16string classText = exception.FailureClass();
    if (!frozen)
        lines.push_back({u"exception class", classText});
    add(u"exception message", [&] {
        if (frozen)
            return exception.ReadSettingText("FrozenMsg");
        const std::u16string message = exception.FailureText();
        return message == classText ? std::u16string() : CollapseBlanks(TidyMessage(message));
    });

    header.LockFields();
    for (const TFieldPair& line : lines)
        header.PutField(line.Name, line.Content);
    if (auto* ex = dynamic_cast<IZXFieldsEx*>(&header))
        ex->SetInsertIndex(static_cast<int32_t>(beforeCrc) - 1);
    header.UnlockFields();
}

namespace {

// One thread's section and, when its state can be read, its record.
void GetThreadStack(TIZXException& exception, IReportThreadSource& threads, uint32_t threadId,
                    const TInnerException* inner, int32_t innerLevel, bool failing, bool showAlways,
                    std::vector<TFieldPair>& sections, std::vector<TThreadStack>& records)
{
    std::u16string title = threads.Caption(threadId);
    if (title.empty() && !showAlways)
        return;
    if (title.empty())
        title = u"thread ($" + CardToHexTextW(threadId).substr(1) + u")";
    if (innerLevel > 0)
        title += u", inner exception level " + IntToDecTextW(innerLevel);
    std::u16string prefix;
    if (inner != nullptr)
        prefix = u">> " + inner->ClassName + u", " + inner->Message + u"\r\n";
    const uintptr_t address = inner != nullptr ? inner->Address : failing ? exception.FailureAddress() : 0;
    std::u16string content = prefix + u">> stack not accessible";
    if (failing)
        content += u", exception location: \r\n" + Utf8ToWide(Stacks()->FormatStackItem(address));
    TThreadState state;
    // The registers and stack pointers of the failure are those of the
    // thread that dispatched it; a frozen main thread is read like any other
    // (the watchdog dispatched its report).
    const bool dispatched = failing && threadId == exception.FailingThreadId();
    // A failure without registers (a thrown object) still has the stack it
    // was dispatched from.
    const bool readable = threads.ReadState(threadId, state) ||
                          (dispatched && (exception.Registers() != nullptr || exception.StackPointer() != 0));
    if (readable) {
        if (state.Suspended)
            title += u" <suspended>";
        if (state.Priority != 0)
            title += u" <priority:" + IntToDecTextW(state.Priority) + u">";
        TThreadStack record;
        record.ThreadId = threadId;
        record.ExceptionAddress = address;
        record.IsFailingThread = failing;
        record.StackStart = state.StackStart;
        record.StackEnd = state.StackEnd;
        record.FramePointer = state.FramePointer;
        if (dispatched && exception.Registers() != nullptr) {
            record.StackStart = exception.Registers()->Rsp;
            record.FramePointer = exception.Registers()->Rbp;
        } else if (dispatched) {
            if (exception.StackPointer() != 0)
                record.StackStart = exception.StackPointer();
            if (exception.FramePointer() != 0)
                record.FramePointer = exception.FramePointer();
        }
        record.CreatorAddress = threads.CreatorAddress(threadId);
        record.CreatorThreadId = threads.CreatorThread(threadId);
        record.InnerLevel = innerLevel;
        if (inner != nullptr) {
            record.InnerClassName = WideToUtf8(inner->ClassName);
            record.InnerMessage = WideToUtf8(inner->Message);
            record.ObjectIsExternal = inner->IsExternal;
            record.ObjectIsTermination = inner->IsTermination;
        } else if (failing) {
            record.ObjectIsExternal = ClassInheritsNamed(exception.FailureObject(), "EExternal");
            record.ObjectIsTermination = ClassInheritsNamed(exception.FailureObject(), "BcbTermination");
            record.PreparedStackText = exception.PreparedStackText();
        }
        title += u":";
        record.SectionTitle = title;
        if (auto progress = exception.ProgressWindow())
            progress->AddProgressArea(exception.ReadSettingText("PlWaitText"),
                                      (record.StackEnd > record.StackStart ? record.StackEnd - record.StackStart : 0) *
                                          100);
        records.push_back(record);
        content = prefix + Utf8ToWide(Stacks()->FormatStackItem(address)) + u"\r\n>> stack " + Pending;
    } else {
        title += u":";
    }
    sections.push_back({title, content});
}

} // namespace

void BuildReportSections(TIZXException& exception, IZXFields& sectionList)
{
    if (!exception.WantReport())
        return;
    AllowChangesOn(sectionList);
    const std::shared_ptr<IReportThreadSource> threads = Threads();
    std::vector<TFieldPair> sections;
    std::vector<TThreadStack> records;
    const bool listThreads = exception.ReadSettingBool("ListThreads");
    const std::vector<uint32_t> ids = listThreads ? threads->ThreadIds() : std::vector<uint32_t>();
    const uint32_t mainId = threads->MainThreadId();
    std::vector<uint32_t> listed;
    auto listOnce = [&](uint32_t id, const TInnerException* inner, int32_t level, bool failing, bool always) {
        GetThreadStack(exception, *threads, id, inner, level, failing, always, sections, records);
        listed.push_back(id);
    };
    try {
        if (exception.FailureKind() == ZorFailureFrozen) {
            listOnce(mainId, nullptr, 0, true, true);
        } else {
            const uint32_t failing = exception.FailingThreadId();
            listOnce(failing, nullptr, 0, true, true);
            const TDAInnerException inner = exception.InnerExceptions();
            for (size_t i = 0; i < inner.size(); ++i)
                listOnce(failing, &inner[i], static_cast<int32_t>(i + 1), true, true);
            // Without the thread list the main thread's stack would never be
            // traced: it is listed only with the others.
            if (listThreads && mainId != failing)
                listOnce(mainId, nullptr, 0, false, false);
        }
        for (uint32_t id : ids)
            if (id != mainId && std::find(listed.begin(), listed.end(), id) == listed.end())
                listOnce(id, nullptr, 0, false, false);
    } catch (...) {
        sections.push_back({u"thread:", InternalError("GetThreadStack")});
    }
    const bool hasRegisters = exception.Registers() != nullptr;
    if (exception.ReadSettingBool("CpuRegs") && hasRegisters)
        sections.push_back({u"cpu registers", SectionPending});
    if (exception.ReadSettingBool("StackDump") && hasRegisters)
        sections.push_back({u"stack dump", SectionPending});
    if (exception.ReadSettingBool("ShowDisAsm") && DisAsmHook != nullptr)
        sections.push_back({u"disassembling", SectionPending});

    exception.UpdateThreadStacks([&](std::vector<TThreadStack>& stacks) { stacks = records; });
    sectionList.LockFields();
    for (const TFieldPair& s : sections)
        sectionList.PutField(s.Name, s.Content);
    sectionList.UnlockFields();

    if (!exception.DeferCompletion()) {
        TIZXException* self = &exception;
        if (!(exception.CompleteInBackground() && exception.StartCompletionThread([self] { CompleteReport(*self); })))
            CompleteReport(exception);
    }
}

// ---------------------------------------------------------------------------
// Completion

namespace {

std::u16string GetThreadReport(TIZXException& exception, const TThreadStack& record, TTraceResult& result)
{
    try {
        TTraceRequest request;
        request.Record = &record;
        request.Registers = record.IsFailingThread && record.InnerLevel == 0 ? exception.Registers() : nullptr;
        request.PlainThread = !record.IsFailingThread && record.ExceptionAddress == 0;
        request.HideUglyItems = exception.ReadSettingBool("HideUglyItems");
        request.ShowRelAddrs = exception.ReadSettingBool("ShowRelAddrs");
        request.ShowRelLines = exception.ReadSettingBool("ShowRelLines");
        result = Stacks()->TraceStack(request);
        if (auto progress = exception.ProgressWindow())
            progress->NextProgressArea();
        std::u16string text = Utf8ToWide(result.Text);
        if (record.InnerLevel > 0)
            text =
                u">> " + Utf8ToWide(record.InnerClassName) + u", " + Utf8ToWide(record.InnerMessage) + u"\r\n" + text;
        if (record.CreatorAddress != 0 && !text.empty() && text[0] != u'>' && !exception.Aborted()) {
            const size_t lastCr = text.rfind(u'\r');
            if (lastCr != std::u16string::npos) {
                std::u16string caption = CaptionOf(*Threads(), record.CreatorThreadId);
                if (caption.empty())
                    caption = u"thread ($" + CardToHexTextW(record.CreatorThreadId).substr(1) + u")";
                text.insert(lastCr, u"\r\n>> created by " + caption + u" at:");
            }
        }
        return text;
    } catch (...) {
        return InternalError("GetThreadReport");
    }
}

std::u16string DisAsmText(TIZXException& exception, uintptr_t start, uintptr_t address)
{
    if (start == 0)
        return {};
    try {
        return Utf8ToWide(Listing()->GetCleartextDisAsm(start, address, exception.ReadSettingInt("LimitDisAsm"),
                                                        exception.ReadSettingBool("FormatDisAsm")));
    } catch (...) {
        return InternalError("GetCleartextDisAsm");
    }
}

void CompleteClaimed(TIZXException& exception)
{
    const bool listThreads = exception.ReadSettingBool("ListThreads");
    std::vector<TThreadStack> records = exception.ThreadStacks();
    if (!listThreads && !records.empty()) {
        const uint32_t first = records[0].ThreadId;
        const auto cut =
            std::find_if(records.begin(), records.end(), [&](const TThreadStack& r) { return r.ThreadId != first; });
        records.erase(cut, records.end());
    }
    const bool showDisAsm = exception.ReadSettingBool("ShowDisAsm") && DisAsmHook != nullptr;
    uint32_t crc[3] = {0, 0, 0};
    std::vector<std::string> moduleInfo;
    const size_t innerCount = exception.InnerExceptions().size();
    for (size_t i = 0; i < records.size(); ++i) {
        if (exception.Aborted())
            return;
        TTraceResult result;
        const std::u16string text = GetThreadReport(exception, records[i], result);
        records[i].CallStack = result.Stack;
        moduleInfo.insert(moduleInfo.end(), result.ModuleInfo.begin(), result.ModuleInfo.end());
        if (i == 0) {
            crc[0] = result.Checksum1;
            crc[1] = crc[2] = result.Checksum2;
        } else if (result.HasLineInfo) {
            const uint8_t bytes[4] = {
                static_cast<uint8_t>(result.Checksum2), static_cast<uint8_t>(result.Checksum2 >> 8),
                static_cast<uint8_t>(result.Checksum2 >> 16), static_cast<uint8_t>(result.Checksum2 >> 24)};
            crc[2] = ZipCrc32Update(crc[2], bytes, 4);
        }
        ReplaceSectionText(exception, records[i].SectionTitle, text);
        const bool disAsmHere = innerCount == 0 ? i == 0 : records[i].InnerLevel == static_cast<int32_t>(innerCount);
        if (showDisAsm && disAsmHere)
            ReplaceSectionText(exception, u"disassembling",
                               DisAsmText(exception, result.FunctionStart, result.FunctionAddress));
        if (i == 0 && !exception.Aborted()) {
            const TZorRegisters* registers = exception.Registers();
            TZorRegisters innerRegisters;
            if (innerCount > 0) {
                const TDAInnerException inner = exception.InnerExceptions();
                registers =
                    inner.back().HasRegisters ? (innerRegisters = inner.back().Registers, &innerRegisters) : nullptr;
            }
            if (registers != nullptr && exception.ReadSettingBool("CpuRegs"))
                ReplaceSectionText(exception, u"cpu registers", GetCpuRegisters(*registers));
            if (registers != nullptr && exception.ReadSettingBool("StackDump"))
                ReplaceSectionText(exception, u"stack dump", StackDumpOf(*registers));
        }
    }
    if (exception.Aborted())
        return;
    exception.UpdateThreadStacks([&](std::vector<TThreadStack>& stacks) {
        for (size_t i = 0; i < stacks.size() && i < records.size(); ++i)
            stacks[i].CallStack = records[i].CallStack;
    });
    exception.SetStackChecksums(crc[0], crc[1], crc[2]);
    exception.HoldNotifications();
    const std::shared_ptr<IZXFields> header = exception.HeaderFields();
    auto hex = [](uint32_t v) { return u"$" + CardToHexTextW(v, 8).substr(1); };
    header->PutField(u"callstack crc", hex(crc[0]) + u", " + hex(crc[1]) + u", " + hex(crc[2]));
    for (const std::string& entry : moduleInfo) {
        const size_t bar = entry.find('|');
        if (bar != std::string::npos)
            header->PutField(Utf8ToWide(entry.substr(0, bar)) + u".zor", Utf8ToWide(entry.substr(bar + 1)));
    }
    exception.SetReportComplete(true);
    exception.ReleaseNotifications();
}

} // namespace

void CompleteReport(TIZXException& exception)
{
    if (exception.ReportComplete() || !ClaimCompletion(exception))
        return;
    try {
        CompleteClaimed(exception);
    } catch (...) {
    }
    if (auto progress = exception.ProgressWindow())
        progress->CloseAlert();
    FinishCompletion(exception);
    if (exception.ReportComplete() && !exception.Aborted() && exception.Stage() == 3) {
        exception.SetStage(4);
        bool handled = false;
        if (ZorSlots().NotifyHandlers)
            ZorSlots().NotifyHandlers(0, ZorHandlerException, 0, handled, exception);
    }
}

// ---------------------------------------------------------------------------
// Composition

std::u16string ComposeReportText(TIZXException& exception, bool wait)
{
    uint64_t stamp = 0;
    const std::u16string cached = exception.CachedReportText(&stamp);
    if (!exception.WantReport() || (!cached.empty() && !(wait && !exception.ReportComplete())))
        return cached;
    const std::shared_ptr<IZXFields> header = exception.HeaderFields();
    const std::shared_ptr<IZXFields> sections = exception.SectionFields();
    if (!exception.ReportComplete() && wait) {
        // Claims the completion unless its thread already has.
        CompleteReport(exception);
        WaitForCompletion(exception);
    }

    std::u16string text;
    header->LockFields();
    const std::vector<TFieldPair> lines = dynamic_cast<TIZXFields&>(*header).Fields();
    header->UnlockFields();
    size_t width = 0;
    for (const TFieldPair& line : lines)
        width = std::max(width, line.Name.size());
    for (const TFieldPair& line : lines) {
        if (!text.empty())
            text += u"\r\n";
        text += line.Name + std::u16string(width - line.Name.size(), u' ') + u": " + CollapseBlanks(line.Content);
    }
    sections->LockFields();
    const std::vector<TFieldPair> parts = dynamic_cast<TIZXFields&>(*sections).Fields();
    sections->UnlockFields();
    for (const TFieldPair& part : parts) {
        text += u"\r\n\r\n" + part.Name;
        if (part.Name.find(u':') == std::u16string::npos)
            text += u":";
        const std::u16string& c = part.Content;
        size_t at = 0;
        while (at <= c.size()) {
            size_t end = c.find_first_of(u"\r\n", at);
            if (end == std::u16string::npos)
                end = c.size();
            std::u16string line = c.substr(at, end - at);
            while (!line.empty() && line.back() <= 32)
                line.pop_back();
            text += u"\r\n" + (line.empty() ? std::u16string(u".") : line);
            if (end == c.size())
                break;
            at = end + (c[end] == u'\r' && end + 1 < c.size() && c[end + 1] == u'\n' ? 2 : 1);
        }
    }
    exception.StoreReportText(text, stamp);
    return text;
}

void LinkReportText()
{
    TZorSlots& slots = ZorSlots();
    slots.BuildReportHeader = BuildReportHeader;
    slots.BuildReportSections = BuildReportSections;
    slots.ReportTextEx = ComposeReportText;
}

#include "crashreport/core/zorExcept_Examine.h"

#include <cerrno>
#include <csignal>
#include <cxxabi.h>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/core/zorExcept_Slots.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"

extern char** environ;

// ---------------------------------------------------------------------------
// Classes

std::string DemangledTypeName(const std::type_info& type)
{
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> name(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                     &std::free);
    if (status == 0 && name)
        return name.get();
    return type.name();
}

bool TypeInheritsNamed(const std::type_info& type, std::string_view name)
{
    const std::string own = DemangledTypeName(type);
    if (own == name)
        return true;
    // The reporter's own exception stands below the root class, although it
    // is built on std::exception alone.
    if (own == "ZorException" && name == "Exception")
        return true;
    if (const auto* single = dynamic_cast<const abi::__si_class_type_info*>(&type))
        return TypeInheritsNamed(*single->__base_type, name);
    if (const auto* multiple = dynamic_cast<const abi::__vmi_class_type_info*>(&type)) {
        for (unsigned i = 0; i < multiple->__base_count; ++i)
            if (multiple->__base_info[i].__is_public_p() &&
                TypeInheritsNamed(*multiple->__base_info[i].__base_type, name))
                return true;
    }
    return false;
}

std::string TZorClassInfo::ClassName() const
{
    return DemangledTypeName(typeid(*this));
}

bool TZorClassInfo::InheritsFrom(std::string_view name) const
{
    return TypeInheritsNamed(typeid(*this), name);
}

const std::type_info* ExceptionType(const std::exception_ptr& object)
{
    if (!object)
        return nullptr;
    try {
        std::rethrow_exception(object);
    } catch (...) {
        return abi::__cxa_current_exception_type();
    }
}

// ---------------------------------------------------------------------------
// Objects

bool ObjectPlausible(const std::exception_ptr& object, std::string_view filter, std::string& className)
{
    className.clear();
    const std::type_info* type = ExceptionType(object);
    if (type == nullptr)
        return false;
    if (!filter.empty()) {
        if (!TypeInheritsNamed(*type, filter))
            return false;
        className = filter;
        return true;
    }
    className = DemangledTypeName(*type);
    return true;
}

bool ValidObject(const std::exception_ptr& object)
{
    std::string name;
    return ObjectPlausible(object, {}, name);
}

bool ClassInheritsNamed(const std::exception_ptr& object, std::string_view name)
{
    const std::type_info* type = ExceptionType(object);
    return type != nullptr && TypeInheritsNamed(*type, name);
}

std::u16string ObjectClassText(const std::exception_ptr& object)
{
    const std::type_info* type = ExceptionType(object);
    std::u16string text = type != nullptr ? Utf8ToWide(DemangledTypeName(*type)) : std::u16string();
    return text.empty() ? u"Unknown" : text;
}

std::u16string ObjectMessageText(const std::exception_ptr& object)
{
    if (!object)
        return u"Unknown";
    std::u16string text;
    try {
        std::rethrow_exception(object);
    } catch (const std::exception& e) {
        const char* what = e.what();
        text = Utf8ToWide(what != nullptr ? what : "");
    } catch (...) {
        text = ObjectClassText(object);
    }
    std::u16string clean;
    clean.reserve(text.size());
    for (char16_t c : text)
        if (c >= 32 || c == u'\r' || c == u'\n')
            clean.push_back(c);
    TrimW(clean);
    return clean.empty() ? u"Unknown" : clean;
}

std::u16string TidyMessage(const std::u16string& text)
{
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == u'.' || text[end - 1] == u'!'))
        --end;
    return text.substr(0, end) + u".";
}

bool AutoActionDue(int32_t value, const int64_t (&failureTimes)[10], int64_t now)
{
    if (value <= 0)
        return false;
    if (value == 1)
        return true;
    for (int64_t stamp : failureTimes)
        if (stamp == 0 || now - stamp > value)
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// Placeholders

std::u16string SpecialFolderPath(int csidl, bool trailing)
{
    std::string folder = OS_GetShellFolder(csidl);
    std::u16string path;
    if (!folder.empty())
        path = Utf8ToWide(OS_ResolvePath(folder));
    if (path.empty())
        path = ReporterProgramFolder();
    while (path.size() > 1 && path.back() == u'/')
        path.pop_back();
    if (trailing && (path.empty() || path.back() != u'/'))
        path.push_back(u'/');
    return path;
}

namespace {

std::u16string Digits(int value, int width)
{
    return IntToDecTextW(value, width, u'0');
}

std::u16string ModuleVersionText(TModuleHandle module)
{
    std::u16string text;
    if (auto settings = ModuleSettings(module))
        text = settings->VersionText();
    if (text.empty())
        text = FileVersionTextW(ModuleFileName(module));
    return text.empty() ? u"?" : text;
}

enum TPlaceholder {
    PhAppName,
    PhModName,
    PhAppVersion,
    PhModVersion,
    PhClass,
    PhMessage,
    PhBugReport,
    PhLineFeed,
    PhDate,
    PhTime,
    PhDateTime,
    PhComputer,
    PhOs,
    PhDetails,
    PhDesktop,
    PhUserAppData,
    PhCommonAppData,
};

struct TPlaceholderName {
    std::u16string_view Name;
    TPlaceholder Kind;
};

// Version names are put together so that no tool mistakes them for a
// version-control keyword.
const std::u16string AppVersionName = std::u16string(u"%") + u"app" + u"version%";
const std::u16string ModVersionName = std::u16string(u"%") + u"mod" + u"version%";

const TPlaceholderName PlaceholderNames[] = {
    {u"%appname%", PhAppName},
    {u"%modname%", PhModName},
    {AppVersionName, PhAppVersion},
    {ModVersionName, PhModVersion},
    {u"%exceptClass%", PhClass},
    {u"%exceptMsg%", PhMessage},
    {u"%bugReport%", PhBugReport},
    {u"%LF%", PhLineFeed},
    {u"%date%", PhDate},
    {u"%time%", PhTime},
    {u"%datetime%", PhDateTime},
    {u"%computerName%", PhComputer},
    {u"%os%", PhOs},
    {u"%errorDetails%", PhDetails},
    {u"%desktop%", PhDesktop},
    {u"%userappdata%", PhUserAppData},
    {u"%commonappdata%", PhCommonAppData},
};

bool SameAt(const std::u16string& text, size_t at, std::u16string_view name)
{
    if (text.size() - at < name.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char16_t a = text[at + i], b = name[i];
        if (a >= u'A' && a <= u'Z')
            a = static_cast<char16_t>(a + 32);
        if (b >= u'A' && b <= u'Z')
            b = static_cast<char16_t>(b + 32);
        if (a != b)
            return false;
    }
    return true;
}

} // namespace

void ExpandPlaceholders(TModuleHandle module, std::u16string& text, const std::u16string& classText,
                        const std::u16string& errorDetails, const std::u16string& bugReport,
                        const std::u16string& message)
{
    if (text.find(u'%') == std::u16string::npos)
        return;
    // Read once per expansion, so that date and time agree.
    bool haveTime = false;
    TOSLocalTime now{};
    auto dateText = [&]() {
        if (!haveTime) {
            now = OS_GetLocalTime();
            haveTime = true;
        }
        return Digits(now.Year, 4) + u"-" + Digits(now.Month, 2) + u"-" + Digits(now.Day, 2);
    };
    auto timeText = [&]() {
        dateText();
        return Digits(now.Hour, 2) + u":" + Digits(now.Minute, 2) + u":" + Digits(now.Second, 2) + u", " +
               IntToDecTextW(now.Millisecond) + u"ms";
    };
    std::u16string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        const size_t mark = text.find(u'%', at);
        if (mark == std::u16string::npos) {
            out.append(text, at, std::u16string::npos);
            break;
        }
        out.append(text, at, mark - at);
        at = mark;
        const TPlaceholderName* hit = nullptr;
        for (const TPlaceholderName& name : PlaceholderNames)
            if (SameAt(text, at, name.Name)) {
                hit = &name;
                break;
            }
        if (hit == nullptr) {
            out.push_back(text[at++]);
            continue;
        }
        at += hit->Name.size();
        switch (hit->Kind) {
        case PhAppName:
            out += FileNamePartW(ModuleFileName(0));
            break;
        case PhModName:
            out += FileNamePartW(ModuleFileName(module));
            break;
        case PhAppVersion:
            out += ModuleVersionText(0);
            break;
        case PhModVersion:
            out += ModuleVersionText(module);
            break;
        case PhClass:
            out += classText;
            break;
        case PhMessage:
            out += message.empty() ? std::u16string(u"Unknown") : message;
            break;
        case PhBugReport:
            out += bugReport;
            break;
        case PhLineFeed:
            out += u"\r\n";
            break;
        case PhDate:
            out += dateText();
            break;
        case PhTime:
            out += timeText();
            break;
        case PhDateTime:
            out += dateText() + u", " + timeText();
            break;
        case PhComputer:
            out += ComputerName();
            break;
        case PhOs:
            out += ReadOsInfo().Description;
            break;
        case PhDetails:
            out += errorDetails;
            break;
        case PhDesktop:
            out += SpecialFolderPath(0x10, false);
            break;
        case PhUserAppData:
            out += SpecialFolderPath(0x1A, false);
            break;
        case PhCommonAppData:
            out += SpecialFolderPath(0x23, false);
            break;
        }
    }
    text = std::move(out);
}

// ---------------------------------------------------------------------------
// Thread state, clipboard

TThreadExceptionState& ThreadExceptionState()
{
    thread_local TThreadExceptionState state;
    return state;
}

void FreeInnerChain(TDAInnerException& chain)
{
    TDAInnerException().swap(chain);
}

void ClearThreadExceptionState()
{
    TThreadExceptionState& state = ThreadExceptionState();
    state.Object = nullptr;
    state.Address = 0;
    state.Record = siginfo_t{};
    FreeInnerChain(state.Inner);
}

namespace {

// Runs the tool with the text on its standard input; true when it ended well.
bool PipeToTool(const char* const argv[], const std::string& text)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (rc != 0) {
        close(fds[1]);
        return false;
    }
    // A tool that quits early must not end us with SIGPIPE.
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = write(fds[1], text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    close(fds[1]);
    const timespec noWait{0, 0};
    while (sigtimedwait(&pipeSignal, nullptr, &noWait) > 0)
        ;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool CopyTextToClipboard(const std::u16string& text)
{
    if (OS_GetEnv("DISPLAY").empty() && OS_GetEnv("WAYLAND_DISPLAY").empty())
        return false;
    const std::string utf8 = WideToUtf8(text);
    static const char* const xclip[] = {"xclip", "-selection", "clipboard", "-in", nullptr};
    static const char* const xsel[] = {"xsel", "--clipboard", "--input", nullptr};
    return PipeToTool(xclip, utf8) || PipeToTool(xsel, utf8);
}

void LinkInspection()
{
    TZorSlots& slots = ZorSlots();
    slots.ExpandPlaceholders = ExpandPlaceholders;
    slots.ObjectClassText = ObjectClassText;
    slots.ObjectMessageText = ObjectMessageText;
}

#include "crashreport/core/zorBugReportFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/core/zorExcept_Slots.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"

// ---------------------------------------------------------------------------
// Report text helpers

namespace {

bool IsBlank(char16_t c)
{
    return c <= 32;
}

std::u16string Trimmed(const std::u16string& text)
{
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

} // namespace

std::u16string ReportHeaderValue(const std::u16string& report, const std::u16string& label)
{
    const size_t at = report.find(u"\r\n" + label);
    if (at == std::u16string::npos)
        return {};
    const size_t from = at + 2 + label.size();
    size_t end = report.find(u"\r\n", from);
    if (end == std::u16string::npos)
        end = report.size();
    std::u16string line = report.substr(from, end - from);
    const size_t colon = line.find(u':');
    if (colon != std::u16string::npos)
        line.erase(0, colon + 1);
    return Trimmed(line);
}

std::u16string ReportSectionText(const std::u16string& report, const std::u16string& name)
{
    const std::u16string start = u"\r\n\r\n" + name + u":";
    const size_t at = report.find(start);
    if (at == std::u16string::npos)
        return {};
    const size_t from = at + start.size();
    size_t end = report.find(u"\r\n\r\n", from);
    if (end == std::u16string::npos)
        end = report.size();
    return report.substr(from, end - from);
}

bool SameReportHeaderValue(const std::u16string& a, const std::u16string& b, const std::u16string& label)
{
    return ReportHeaderValue(a, label) == ReportHeaderValue(b, label);
}

void InsertReportHeaderLine(std::u16string& report, const std::u16string& label, const std::u16string& after,
                            const std::u16string& value)
{
    const size_t at = report.find(u"\r\n" + after);
    if (at == std::u16string::npos)
        return;
    const size_t lineStart = at + 2;
    const size_t lineEnd = report.find(u"\r\n", lineStart + label.size());
    if (lineEnd == std::u16string::npos)
        return;
    const size_t colon = report.find(u':', lineStart);
    if (colon == std::u16string::npos || colon > lineEnd)
        return;
    std::u16string line = u"\r\n" + label;
    if (line.size() - 2 < colon - lineStart)
        line.append(colon - lineStart - (line.size() - 2), u' ');
    line += u": " + value;
    report.insert(lineEnd, line);
}

bool CreateFolderChain(const std::u16string& filePath)
{
    std::u16string folder = FilePathPartW(filePath);
    while (!folder.empty() && (folder.back() == u'/' || folder.back() == u'\\'))
        folder.pop_back();
    if (folder.empty())
        return false;
    const std::string native = WideToUtf8(folder);
    struct stat st {};
    if (stat(native.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    CreateFolderChain(folder);
    return mkdir(native.c_str(), 0755) == 0 || (stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

// ---------------------------------------------------------------------------
// Merging

TBugReportFileOptions BugReportFileOptions(const IZXSettings& settings)
{
    TBugReportFileOptions options;
    options.Append = settings.ReadSettingBool("AppendBugReps");
    options.SizeLimit = settings.ReadSettingInt("BugRepFileSize");
    options.NoDupExcepts = settings.ReadSettingBool("NoDupExcepts");
    options.NoDupFreezes = settings.ReadSettingBool("NoDupFreezes");
    options.DupExceptDepth = settings.ReadSettingInt("DupExceptDef");
    options.DupFreezeDepth = settings.ReadSettingInt("DupFreezeDef");
    return options;
}

namespace {

const std::string ReportStart = "\r\ndate/time";

// Removes an earlier copy of the report's failure from the bytes and gives
// the report its running count.
void RemoveDuplicate(std::string& bytes, std::u16string& report, const TBugReportFileOptions& options)
{
    const std::u16string crc = ReportHeaderValue(report, u"callstack crc");
    if (crc.size() != 31)
        return; // not complete: never merged
    const bool isException = !ReportHeaderValue(report, u"exception class").empty();
    if (!(isException ? options.NoDupExcepts : options.NoDupFreezes))
        return;
    const int32_t depth = isException ? options.DupExceptDepth : options.DupFreezeDepth;
    const size_t keyLength = depth == 0 ? 9 : depth == 1 ? 20 : 31;
    const std::string key = ": " + WideToUtf8(crc.substr(0, keyLength));

    size_t from = std::string::npos;
    while (!bytes.empty()) {
        const size_t hit = bytes.rfind(key, from);
        if (hit == std::string::npos)
            return;
        size_t start;
        const size_t before = hit == 0 ? std::string::npos : bytes.rfind(ReportStart, hit - 1);
        if (before != std::string::npos)
            start = before + 2;
        else if (bytes.compare(0, ReportStart.size() - 2, ReportStart, 2) == 0)
            start = 0;
        else
            start = std::string::npos;
        if (start != std::string::npos) {
            const size_t next = bytes.find(ReportStart, hit);
            const size_t end = next == std::string::npos ? bytes.size() : next + 2;
            const std::u16string stored = Utf8ToWide(bytes.substr(start, end - start));
            bool same = true;
            for (const char16_t* label : {u"executable", u"current module", u"exception class", u"version"})
                same = same && SameReportHeaderValue(stored, report, label);
            if (same && ReportHeaderValue(stored, u"version").empty())
                same = SameReportHeaderValue(stored, report, u"exec. date/time") &&
                       SameReportHeaderValue(stored, report, u"module date/time");
            if (same) {
                const std::u16string countText = ReportHeaderValue(stored, u"count");
                const int64_t count = countText.empty()
                                          ? 1
                                          : DigitsToIntW(false, countText.data(),
                                                         static_cast<int32_t>(std::min<size_t>(countText.size(), 9)));
                InsertReportHeaderLine(report, u"count", u"callstack crc", Int64ToDecTextW(count + 1));
                bytes.erase(start, end - start);
                return;
            }
        }
        if (hit == 0)
            return;
        from = hit - 1;
    }
}

// Cuts the oldest whole reports until less than three quarters of the limit
// remain; a single report larger than that stays.
void CutToLimit(std::string& bytes, int64_t limit)
{
    const int64_t keep = limit - limit / 4;
    size_t from = 1;
    while (from < bytes.size()) {
        const size_t hit = bytes.find(ReportStart, from);
        if (hit == std::string::npos)
            return;
        if (static_cast<int64_t>(bytes.size() - hit) < keep) {
            bytes.erase(0, hit + 2);
            return;
        }
        from = hit + 1;
    }
}

} // namespace

std::string MergeBugReport(std::string fileBytes, std::u16string& report, const TBugReportFileOptions& options)
{
    if (!options.Append) {
        fileBytes.clear();
    } else {
        const int64_t oldSize = static_cast<int64_t>(fileBytes.size());
        if (!fileBytes.empty())
            RemoveDuplicate(fileBytes, report, options);
        if (options.SizeLimit != 0 && options.SizeLimit < oldSize)
            CutToLimit(fileBytes, options.SizeLimit);
    }
    fileBytes += WideToUtf8(report + u"\r\n\r\n");
    return fileBytes;
}

// ---------------------------------------------------------------------------
// Storing

namespace {

// The file opened and locked for us alone; -1 when it can't be opened or
// another writer holds it.
int OpenLocked(const std::string& path)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return -1;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            return -1;
        }
        // The one who held the lock before may have replaced the file: the
        // lock only counts when the path still names what we locked.
        struct stat locked {
        }, named{};
        if (fstat(fd, &locked) == 0 && stat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
            locked.st_ino == named.st_ino)
            return fd;
        close(fd);
    }
    return -1;
}

bool ReadAll(int fd, std::string& bytes)
{
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

// In place, for a file whose folder takes no new files.
bool WriteInPlace(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && fsync(fd) == 0;
}

bool StoreInto(const std::u16string& path, std::u16string report, const TBugReportFileOptions& options)
{
    CreateFolderChain(path);
    const std::string native = OS_ResolvePath(WideToUtf8(path));
    const int fd = OpenLocked(native);
    if (fd < 0)
        return false;
    std::string bytes;
    if (options.Append && !ReadAll(fd, bytes))
        bytes.clear();
    bytes = MergeBugReport(std::move(bytes), report, options);
    bool written = OS_WriteFileAtomic(native, bytes.data(), bytes.size());
    if (!written)
        written = WriteInPlace(fd, bytes);
    close(fd);
    return written;
}

bool HasFolder(const std::u16string& name)
{
    return name.find(u'/') != std::u16string::npos || name.find(u'\\') != std::u16string::npos;
}

} // namespace

bool StoreBugReport(const std::u16string& fileName, const std::u16string& report, THandlerWindow /*window*/,
                    IZXSettings& settings, bool silent)
{
    if (report.empty())
        return false;
    const TBugReportFileOptions options = BugReportFileOptions(settings);
    const std::u16string configured = settings.ReadSettingText("BugRepFile");
    // No save dialog here: an interactive save goes where a silent one does.
    const std::u16string path = !fileName.empty() ? fileName : AbsolutePath(configured);
    bool written = !path.empty() && StoreInto(path, report, options);
    if (!written && !configured.empty() && !HasFolder(configured)) {
        std::u16string fallback =
            u"%userappdata%/" + StripExtension(FileNamePartW(ModuleFileName(0))) + u"/" + configured;
        ExpandPlaceholders(settings.ModuleHandle(), fallback, u"%exceptClass%", u"%errorDetails%", u"%bugReport%",
                           u"%exceptMsg%");
        written = StoreInto(fallback, report, options);
    }
    if (written && fileName.empty() && silent)
        if (auto* exception = dynamic_cast<IZXExceptionEx*>(&settings))
            exception->SetWasSaved(true);
    return written;
}

void LinkBugReportFile()
{
    ZorSlots().StoreBugReport = [](const std::u16string& fileName, const std::u16string& text, THandlerWindow window,
                                   IZXSettings& settings,
                                   bool silent) { return StoreBugReport(fileName, text, window, settings, silent); };
}

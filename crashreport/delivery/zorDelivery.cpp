// zorDelivery: the delivery chain, its attachments and printing. Normal
// context.
#include "crashreport/delivery/zorDelivery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "crashreport/diagnostics/zorBitmap.h"
#include "crashreport/core/zorBugReportFile.h"
#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/core/zorExcept_Exception.h"
#include "crashreport/core/zorExcept_Fields.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/core/zorExcept_Slots.h"
#include "crashreport/delivery/zorHttp.h"
#include "crashreport/delivery/zorMail.h"
#include "crashreport/assistants/zorNVPrgrAlert.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/delivery/zorTrackers.h"
#include "crashreport/diagnostics/zorZip.h"

#include "platform/os/OS.h"

namespace {

std::atomic<uint32_t> FileCounter{0};

bool FileExists(const std::u16string& path)
{
    struct stat st {};
    return !path.empty() && stat(WideToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void DeleteFile(const std::u16string& path)
{
    if (!path.empty())
        unlink(WideToUtf8(path).c_str());
}

bool CopyWholeFile(const std::u16string& from, const std::u16string& to)
{
    std::ifstream in(WideToUtf8(from), std::ios::binary);
    if (!in)
        return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    const std::string data = bytes.str();
    std::ofstream out(WideToUtf8(to), std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    if (out.fail()) {
        DeleteFile(to);
        return false;
    }
    return true;
}

// A name of this process's own in the temporary folder, so that deliveries
// running at the same time never share a file.
std::u16string UniqueTempName(const std::u16string& folder, const std::u16string& stem, const std::u16string& ext)
{
    return folder + stem + u"-" + Utf8ToWide(std::to_string(getpid())) + u"-" +
           Utf8ToWide(std::to_string(++FileCounter)) + ext;
}

bool AnyOf(const IZXSettings& s, std::initializer_list<const char*> keys)
{
    for (const char* key : keys)
        if (s.ReadSettingBool(key))
            return true;
    return false;
}

void ExpandWithReport(const IZXSettings& settings, std::u16string& text, const std::u16string& report)
{
    ExpandPlaceholders(settings.ModuleHandle(), text, ReportHeaderValue(report, u"exception class"),
                       ReportSectionText(report, u"error details"), report,
                       ReportHeaderValue(report, u"exception message"));
}

bool RealHttp(THttpDeliveryKind kind, TWinHttp& http, TDeliveryJob& job)
{
    IZXSettings& s = *job.Settings;
    const std::u16string crc = ReportHeaderValue(job.Report, u"callstack crc");
    const std::u16string version = ReportHeaderValue(job.Report, u"version");
    switch (kind) {
    case THttpDeliveryKind::FogBugz:
        return FogBugzDelivery(
            http, s.ReadSettingText("BugTrTitle"), s.ReadSettingText("BugTrDescr"), job.FieldNames, job.SendAsNames,
            job.Paths, job.Fields.get(), crc, job.Sender, ReportHeaderValue(job.Report, u"computer name"), version,
            s.ReadSettingText("BugTrAssignTo"), s.ReadSettingText("BugTrArea"), s.ReadSettingText("BugTrProject"));
    case THttpDeliveryKind::Bugzilla:
    case THttpDeliveryKind::Mantis: {
        auto deliver = kind == THttpDeliveryKind::Bugzilla ? BugzillaDelivery : MantisDelivery;
        return deliver(http, s.ReadSettingText("BugTrTitle"), s.ReadSettingText("BugTrDescr"), job.FieldNames,
                       job.SendAsNames, job.Paths, crc, ReportHeaderValue(job.Report, u"operating system"), version,
                       s.ReadSettingText("BugTrAssignTo"), s.ReadSettingText("BugTrArea"),
                       s.ReadSettingText("BugTrProject"));
    }
    case THttpDeliveryKind::Upload:
        return http.Upload(job.Sender, job.Fields.get(), job.FieldNames, job.SendAsNames, job.Paths);
    }
    return false;
}

bool RealSmtp(TDeliveryJob& job, bool exchanger)
{
    IZXSettings& s = *job.Settings;
    if (exchanger)
        return SendViaSmtp(job.Sender, job.Recipients, job.Subject, s, job.Progress.get(), false, false, 25, u"", u"",
                           "", job.SendAsNames, job.Paths, job.Body);
    return SendViaSmtp(job.Sender, job.Recipients, job.Subject, s, job.Progress.get(), s.ReadSettingBool("SmtpTls"),
                       s.ReadSettingBool("SmtpSsl"), static_cast<uint16_t>(s.ReadSettingInt("SmtpPort")),
                       s.ReadSettingText("SmtpPassword"), s.ReadSettingText("SmtpAccount"),
                       s.ReadSettingAnsi("SmtpServer"), job.SendAsNames, job.Paths, job.Body);
}

} // namespace

TDeliveryTransports StandardDeliveryTransports()
{
    TDeliveryTransports t;
    t.Http = RealHttp;
    t.Smtp = RealSmtp;
    t.Mapi = [](TDeliveryJob& job) {
        return SendViaMapi(job.Recipients, job.Subject, job.Body, job.Silent, job.SendAsNames, job.Paths);
    };
    t.Mailto = [](TDeliveryJob& job) { return OpenMailtoLink(job.Recipients, job.Subject, job.Report); };
    t.FailureMessage = [](THandlerWindow, const std::u16string& text) {
        OS_MessageBox("", WideToUtf8(text), MB_ICONERROR);
    };
    return t;
}

TDeliveryTransports& DeliveryTransports()
{
    static TDeliveryTransports transports = StandardDeliveryTransports();
    return transports;
}

int32_t PngModeOfDepth(int32_t depth)
{
    switch (depth) {
    case 4:
        return 1;
    case 51200:
        return 2;
    case 102400:
        return 3;
    case 204800:
        return 4;
    case 307200:
        return 5;
    default:
        return 0;
    }
}

void PrepareDeliveryFiles(IZXSettings& settings, IZXAttachments& attachments, TDAUnicodeString& paths,
                          TDAUnicodeString& sendAsNames, TDAUnicodeString& fieldNames, THandlerWindow window,
                          bool silent, bool inThread, std::shared_ptr<IProgressAlert>& progress)
{
    progress = CreateProgressWindow(settings.ReadSettingText("SendBoxTitle"), settings.ModuleHandle(), u"ZXISEND32");
    progress->AddProgressArea(settings.ReadSettingText("PrepAttMsg"), 100);
    const bool smtpServer = settings.ReadSettingBool("MailAsSmtpServer");
    const bool smtp = smtpServer || settings.ReadSettingBool("MailAsSmtpClient");
    if (smtp || AnyOf(settings, {"UploadViaHttp", "FogBugz", "BugZilla", "Mantis"})) {
        if (smtpServer)
            progress->AddProgressArea(settings.ReadSettingText("MxLookMsg"), 100);
        progress->AddProgressArea(settings.ReadSettingText("ConnMsg"), 100);
        if (smtp)
            progress->AddProgressArea(settings.ReadSettingText("SendMailMsg"), 100);
        if (attachments.AttachmentCount() > 0)
            progress->AddProgressArea(settings.ReadSettingText("SendAttMsg"), 100);
        progress->AddProgressArea(settings.ReadSettingText("SendFinalMsg"), 100);
    }
    if (!silent || settings.ReadSettingBool("AutoSendBox"))
        progress->ShowAlert(inThread ? 0 : window, !inThread);

    paths.clear();
    sendAsNames.clear();
    fieldNames.clear();
    std::vector<TAttachmentItem> items;
    for (int32_t i = 0; i < attachments.AttachmentCount(); ++i) {
        TAttachmentItem item;
        if (attachments.AttachmentAt(i, item.File, item.SendAs, item.ZipName, item.FieldName)) {
            item.File = AbsolutePath(item.File);
            items.push_back(item);
        }
    }
    TDAUnicodeString zipsDone;
    const std::u16string temp = ReporterTempFolder();
    for (size_t i = 0; i < items.size(); ++i) {
        const TAttachmentItem& item = items[i];
        if (!FileExists(item.File))
            continue;
        if (item.ZipName.empty()) {
            paths.push_back(item.File);
            sendAsNames.push_back(item.SendAs);
            fieldNames.push_back(item.FieldName);
            continue;
        }
        bool done = false;
        for (const std::u16string& z : zipsDone)
            done = done || SameTextW(z, item.ZipName);
        if (done)
            continue;
        zipsDone.push_back(item.ZipName);
        TDAUnicodeString sources, members;
        for (size_t k = i; k < items.size(); ++k) {
            if (SameTextW(items[k].ZipName, item.ZipName) && FileExists(items[k].File)) {
                sources.push_back(items[k].File);
                members.push_back(items[k].SendAs.empty() ? FileNamePartW(items[k].File) : items[k].SendAs);
            }
        }
        if (temp.empty())
            continue;
        const std::u16string archive = temp + FileNamePartW(item.ZipName);
        if (WriteZipArchive(archive, sources, static_cast<int32_t>(sources.size()) - 1, members)) {
            paths.push_back(archive);
            sendAsNames.push_back(item.ZipName);
            fieldNames.push_back(item.ZipName);
        }
    }
}

uint8_t DeliverBugReport(const std::u16string& report, const std::shared_ptr<INVBitmap>& screenshot,
                         THandlerWindow window, bool silent, bool background,
                         const std::shared_ptr<IZXSettings>& settings, bool inThread, TSendThreadSlot* sendThread)
{
    if (report.empty() || !settings)
        return 0;
    if (background && !inThread) {
        auto record = std::make_unique<TSendBugReportExRec>();
        record->BugReport = report;
        record->Screenshot = screenshot;
        record->Silent = silent;
        record->Settings = settings;
        try {
            std::thread thread([r = std::move(record)]() mutable { DeliveryThreadProc(std::move(r)); });
            if (sendThread)
                sendThread->Store(std::move(thread));
            else
                thread.detach();
            return 1;
        } catch (const std::system_error&) {
            // No thread: the delivery goes on here.
        }
    }
    IZXSettings& s = *settings;
    const TDeliveryTransports transports = DeliveryTransports();

    TDeliveryJob job;
    job.Settings = settings;
    job.Report = report;
    job.Window = window;
    job.Silent = silent;
    job.Subject = s.ReadSettingText("MailSubj");
    job.Body = s.ReadSettingText("MailBody");
    job.Recipients = s.ReadSettingText("MailAddr");
    job.Sender = s.ReadSettingText("MailFrom");
    if (job.Sender.empty() && !job.Recipients.empty()) {
        std::u16string list = job.Recipients;
        CountMailAddresses(list);
        job.Sender = u"zorExcept " + Utf8ToWide(MailAddressForHeader(ItemW(list, 1, u','), false));
    }
    ExpandWithReport(s, job.Subject, report);
    ExpandWithReport(s, job.Body, report);

    std::u16string bugRepFile, screenshotFile;
    bool deleteBugRepFile = false;
    auto* exception = dynamic_cast<IZXExceptionEx*>(settings.get());
    if (AnyOf(s, {"MailAsSmtpServer", "MailAsSmtpClient", "UploadViaHttp", "FogBugz", "BugZilla", "Mantis",
                  "MailViaMapi"})) {
        auto attachments = std::make_shared<TIZXAttachments>();
        const std::u16string temp = ReporterTempFolder();
        if (s.ReadSettingBool("AttachBugRep")) {
            const std::u16string configured = s.ReadSettingText("BugRepFile");
            bugRepFile = AbsolutePath(configured);
            if (!FileExists(bugRepFile) && configured.find(u'\\') == std::u16string::npos &&
                configured.find(u'/') == std::u16string::npos) {
                std::u16string fallback =
                    u"%userappdata%/" + StripExtension(FileNamePartW(ModuleFileName(0))) + u"/" + configured;
                ExpandWithReport(s, fallback, report);
                bugRepFile = fallback;
            }
            if (!temp.empty()) {
                std::u16string copy = temp + FileNamePartW(bugRepFile);
                const bool copied =
                    s.ReadSettingBool("AttachBugRepFile") && FileExists(bugRepFile) && CopyWholeFile(bugRepFile, copy);
                bool needsReport = true;
                if (copied)
                    needsReport = !(exception && exception->WasSaved());
                else
                    DeleteFile(copy);
                if (needsReport && !StoreBugReport(copy, report, window, s, true)) {
                    copy = temp + Utf8ToWide(std::to_string(TickCount64())) + FileNamePartW(bugRepFile);
                    if (!StoreBugReport(copy, report, window, s, true))
                        DeleteFile(copy);
                }
                if (FileExists(copy))
                    attachments->AddAttachment(copy, s.ReadSettingText("BugRepSendAs"), s.ReadSettingText("BugRepZip"),
                                               u"BugReport");
                deleteBugRepFile = copied && s.ReadSettingBool("DelBugRepFile") && FileExists(copy);
            }
        }
        const int32_t depth = s.ReadSettingInt("ScrShotDepth");
        if (screenshot && depth != 0 && !temp.empty()) {
            screenshotFile = UniqueTempName(temp, u"screenShot", u".png");
            DeleteFile(screenshotFile);
            if (screenshot->WritePngFile(screenshotFile, PngModeOfDepth(depth)))
                attachments->AddAttachment(screenshotFile, s.ReadSettingText("ScrShotSendAs"),
                                           s.ReadSettingText("ScrShotZip"), u"ScreenShot");
            else
                screenshotFile.clear();
        }
        if (auto extra = s.AddAttachs()) {
            for (int32_t i = 0; i < extra->AttachmentCount(); ++i) {
                TAttachmentItem item;
                if (extra->AttachmentAt(i, item.File, item.SendAs, item.ZipName, item.FieldName))
                    attachments->AddAttachment(item.File, item.SendAs, item.ZipName, item.FieldName);
            }
        }
        PrepareDeliveryFiles(s, *attachments, job.Paths, job.SendAsNames, job.FieldNames, window, silent, inThread,
                             job.Progress);
    }

    auto baseFields = s.AddFields();
    job.Fields = baseFields ? baseFields->CopyFields() : nullptr;
    if (job.Fields) {
        const std::pair<const char16_t*, const std::u16string*> entries[] = {{u"MailFrom", &job.Sender},
                                                                             {u"MailSubject", &job.Subject},
                                                                             {u"MailBody", &job.Body},
                                                                             {u"MailAddr", &job.Recipients}};
        for (const auto& [name, value] : entries)
            if (!value->empty())
                job.Fields->PutField(name, *value);
    }

    uint8_t outcome = 0;
    const std::string httpServer = s.ReadSettingAnsi("HttpServer");
    const bool upload = s.ReadSettingBool("UploadViaHttp");
    if (AnyOf(s, {"FogBugz", "BugZilla", "Mantis", "UploadViaHttp"}) && !httpServer.empty() && transports.Http) {
        std::string server = httpServer;
        if (!upload && !server.empty() && server.back() == '/')
            server.pop_back();
        THttpDeliveryKind kind = s.ReadSettingBool("FogBugz")    ? THttpDeliveryKind::FogBugz
                                 : s.ReadSettingBool("BugZilla") ? THttpDeliveryKind::Bugzilla
                                 : s.ReadSettingBool("Mantis")   ? THttpDeliveryKind::Mantis
                                                                 : THttpDeliveryKind::Upload;
        TWinHttp http(server, job.Progress, settings.get(), s.ReadSettingText("BugTrPassword"),
                      s.ReadSettingText("BugTrAccount"), s.ReadSettingText("HttpPassword"),
                      s.ReadSettingText("HttpAccount"), false, static_cast<uint16_t>(s.ReadSettingInt("HttpPort")),
                      s.ReadSettingBool("HttpSsl"));
        outcome = transports.Http(kind, http, job) ? 1 : 0;
    }
    if (outcome == 0 && transports.Smtp) {
        if (s.ReadSettingBool("MailAsSmtpServer")) {
            if (!job.Recipients.empty())
                outcome = transports.Smtp(job, true) ? 1 : 0;
        } else if (s.ReadSettingBool("MailAsSmtpClient")) {
            if (!job.Recipients.empty() && !s.ReadSettingText("SmtpServer").empty())
                outcome = transports.Smtp(job, false) ? 1 : 0;
        }
    }
    if (job.Progress)
        job.Progress->CloseAlert();
    const bool mapi = s.ReadSettingBool("MailViaMapi");
    if (!screenshotFile.empty() && (outcome == 1 || !mapi))
        DeleteFile(screenshotFile);
    if (outcome == 0) {
        if (mapi && transports.Mapi)
            outcome = static_cast<uint8_t>(transports.Mapi(job));
        if (outcome == 2)
            return 2;
        if (outcome == 0 && s.ReadSettingBool("MailViaMailto") && !silent) {
            deleteBugRepFile = false;
            if (transports.Mailto)
                transports.Mailto(job);
        }
        if (outcome == 0 && !silent && transports.FailureMessage)
            transports.FailureMessage(window, s.ReadSettingText("SendFailMsg"));
    }
    if (outcome == 1) {
        if (exception)
            exception->SetWasSent(true);
        if (deleteBugRepFile && s.ReadSettingBool("DelBugRepFile"))
            DeleteFile(bugRepFile);
    }
    return outcome;
}

uint32_t DeliveryThreadProc(std::unique_ptr<TSendBugReportExRec> record)
{
    if (record)
        DeliverBugReport(record->BugReport, record->Screenshot, 0, record->Silent, true, record->Settings, true,
                         nullptr);
    return 0;
}

bool PrintReportText(const std::u16string& report, THandlerWindow /*window*/, IZXSettings* settings)
{
    std::shared_ptr<IZXModuleSettings> own;
    if (!settings) {
        own = MainSettings();
        settings = own.get();
    }
    const std::u16string temp = ReporterTempFolder();
    if (temp.empty() || report.empty())
        return false;
    const std::u16string file = UniqueTempName(temp, u"print", u".txt");
    if (!WriteWholeFile(file, WideToUtf8(report)))
        return false;
    const std::u16string title = settings ? settings->ReadSettingText("PrintBtnTxt") : u"bug report";
    const TMailCommandHook hook = MailCommandHook();
    const bool printed = hook && hook({"lp", "-s", "-t", WideToUtf8(title), WideToUtf8(file)}) == 0;
    DeleteFile(file);
    return printed;
}

void LinkDelivery()
{
    TZorSlots& slots = ZorSlots();
    slots.DeliverBugReport =
        [](const std::u16string& text, const std::shared_ptr<INVBitmap>& image, THandlerWindow window, bool silent,
           bool background, const std::shared_ptr<IZXSettings>& settings, bool inThread, TSendThreadSlot* sendThread) {
            return DeliverBugReport(text, image, window, silent, background, settings, inThread, sendThread) == 1;
        };
    slots.PrintReportText = [](const std::u16string& text, THandlerWindow window, IZXSettings* settings) {
        return PrintReportText(text, window, settings);
    };
}

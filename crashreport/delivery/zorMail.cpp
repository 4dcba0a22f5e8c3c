// zorMail: mail helpers, the SMTP client and the mail program stand-ins.
// Normal context.
#include "crashreport/delivery/zorMail.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "crashreport/diagnostics/zorCrypt.h"
#include "crashreport/delivery/zorDns.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/assistants/zorNVPrgrAlert.h"
#include "crashreport/diagnostics/zorStrings.h"

extern char** environ;

const char MailBoundary[] = "----=_zorExcept_7F3A9C21E5B84D06A"; // 33 characters
static_assert(sizeof(MailBoundary) == 34);

namespace {

TZorCharSet EscapeAllBut(const char* keep)
{
    TZorCharSet set = TZorCharSet::Range(0, 255);
    for (const char* p = keep; *p; ++p)
        set.Bits.reset(static_cast<unsigned char>(*p));
    return set;
}

const char* const DecimalDigits = "0123456789";
const char* const Letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

std::string WithoutLineBreaks(std::string text)
{
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    return text;
}

std::string EncodedWord(const std::u16string& text)
{
    return "=?UTF-8?B?" + Base64EncodeStr(WideToUtf8(text)) + "?=";
}

std::string Latin1(const std::u16string& text)
{
    return WideToAnsiTrunc(text);
}

std::string FirstLineTrimmed(const std::string& reply)
{
    std::string line = reply.substr(0, reply.find("\r\n"));
    TrimA(line);
    return line;
}

} // namespace

const TZorCharSet MailtoEscapeSet = EscapeAllBut((std::string(".@") + DecimalDigits + Letters).c_str());
const TZorCharSet HeaderEscapeSet = EscapeAllBut((std::string(DecimalDigits) + Letters).c_str());

bool NeedsWideForm(const std::u16string& text)
{
    for (char16_t c : text)
        if (c > 255)
            return true;
    return false;
}

int32_t CountMailAddresses(std::u16string& recipients)
{
    for (char16_t& c : recipients)
        if (c == u';')
            c = u',';
    TidyItemsW(recipients, u',');
    return ItemCountW(recipients, u',');
}

std::string MailAddressForHeader(const std::u16string& address, bool withName)
{
    const size_t open = address.find(u'<');
    if (open == std::u16string::npos)
        return WithoutLineBreaks("<" + Latin1(address) + ">");
    const std::string bracketed = Latin1(address.substr(open));
    if (!withName)
        return WithoutLineBreaks(bracketed);
    std::u16string name = address.substr(0, open);
    while (!name.empty() && name.back() <= u' ')
        name.pop_back();
    if (!name.empty() && NeedsWideForm(name))
        return WithoutLineBreaks(EncodedWord(name) + " " + bracketed);
    return WithoutLineBreaks(Latin1(name) + " " + bracketed);
}

std::string EscapeBytes(const std::string& bytes, const TZorCharSet& set, char prefix)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char c : bytes) {
        if (set.Contains(c)) {
            out.push_back(prefix);
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

std::string MimeTypeOfFile(const std::u16string& name)
{
    const std::u16string ext = LowStrW(FileExtPartW(name));
    if (ext == u".txt" || ext == u".zbr" || ext == u".ini")
        return "text/plain";
    if (ext == u".jpg" || ext == u".jpeg")
        return "image/jpeg";
    if (ext == u".png")
        return "image/png";
    if (ext == u".zip")
        return "application/zip";
    return "application/octet-stream";
}

std::string SmtpDateText(time_t when)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    tm t{};
    gmtime_r(&when, &t);
    char text[64];
    snprintf(text, sizeof(text), "%d %s %04d %02d:%02d:%02d UT", t.tm_mday, months[t.tm_mon % 12], t.tm_year + 1900,
             t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

std::string SmtpMessageId(time_t when, uint32_t nanoseconds)
{
    const uint64_t fileTime = (static_cast<uint64_t>(when) + 11644473600ull) * 10000000ull + nanoseconds / 100;
    char text[40];
    snprintf(text, sizeof(text), "<%016llx@zorExcept>", static_cast<unsigned long long>(fileTime));
    return text;
}

uint16_t SmtpPortFor(uint16_t port, bool ssl, bool startTls, bool hasCredentials)
{
    if (port != 0)
        return port;
    if (ssl)
        return 465;
    if (startTls && hasCredentials)
        return 587;
    return 25;
}

std::string DotStuffed(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 16);
    bool lineStart = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "\r\n";
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.')
            out.push_back('.');
        lineStart = false;
        out.push_back(c);
    }
    return out;
}

// ---------------------------------------------------------------------------
// Delivery files

TDeliveryFiles::~TDeliveryFiles()
{
    CloseDeliveryFiles(*this);
}

void CloseDeliveryFiles(TDeliveryFiles& files)
{
    for (int& h : files.Handles) {
        if (h >= 0)
            close(h);
        h = -1;
    }
}

bool OpenDeliveryFiles(IProgressAlert* progress, const IZXSettings& settings, const TDAUnicodeString& paths,
                       bool exchanger, bool mail, TDeliveryFiles& files)
{
    CloseDeliveryFiles(files);
    files.Handles.assign(paths.size(), -1);
    files.Sizes.assign(paths.size(), 0);
    files.Opened = 0;
    if (progress) {
        progress->ClearProgressAreas();
        progress->AddProgressArea(settings.ReadSettingText("PrepAttMsg"), 500);
        if (exchanger)
            progress->AddProgressArea(settings.ReadSettingText("MxLookMsg"), 500);
        if (mail) {
            progress->AddProgressArea(settings.ReadSettingText("ConnMsg"), 500);
            progress->AddProgressArea(settings.ReadSettingText("SendMailMsg"), 100);
        } else {
            progress->AddProgressArea(settings.ReadSettingText("ConnMsg"), 5000);
        }
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        const int fd = open(WideToUtf8(paths[i]).c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0)
            continue;
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > UINT32_MAX) {
            close(fd);
            continue;
        }
        files.Handles[i] = fd;
        files.Sizes[i] = static_cast<uint32_t>(st.st_size);
        ++files.Opened;
        if (progress)
            progress->AddProgressArea(settings.ReadSettingText("SendAttMsg"), files.Sizes[i] / 16);
    }
    if (progress) {
        progress->AddProgressArea(settings.ReadSettingText("SendFinalMsg"), 1000);
        progress->NextProgressArea();
    }
    return files.Opened > 0 || paths.empty();
}

// ---------------------------------------------------------------------------
// TSmtp

bool TSmtp::Transmit(const std::string& text)
{
    return Stream.Send(text);
}

bool TSmtp::ReadReply()
{
    Reply.clear();
    char buffer[4096];
    const int wait = DeliveryWaits().ReplyMs;
    for (;;) {
        const long n = Stream.Receive(buffer, sizeof(buffer), wait);
        if (n <= 0)
            return false;
        Reply.append(buffer, static_cast<size_t>(n));
        if (Reply.size() >= 2 && Reply.compare(Reply.size() - 2, 2, "\r\n") == 0) {
            const size_t previous = Reply.size() > 2 ? Reply.rfind("\r\n", Reply.size() - 3) : std::string::npos;
            const size_t last = previous == std::string::npos ? 0 : previous + 2;
            const size_t length = Reply.size() - 2 - last;
            // "250 text", or a bare code.
            if ((length > 3 && Reply[last + 3] == ' ') || length == 3)
                return true;
        }
        if (Reply.size() > (1u << 20))
            return false;
    }
}

bool TSmtp::Command(const std::string& text, const char* expected)
{
    if (!Transmit(text + "\r\n") || !ReadReply())
        return false;
    return Reply.compare(0, 3, expected) == 0;
}

std::string TSmtp::FirstReplyLine() const
{
    return FirstLineTrimmed(Reply);
}

TSmtp::TSmtp(const std::string& server, uint16_t port, bool ssl, bool startTls, const std::u16string& account,
             const std::u16string& password)
    : Server(server)
{
    const bool credentials = !account.empty() || !password.empty();
    Port = SmtpPortFor(port, ssl, startTls, credentials);
    const TDeliveryWaits waits = DeliveryWaits();
    switch (Stream.Connect(server, Port, waits.ConnectMs)) {
    case TNetStream::TConnectResult::NotFound:
        Error = u"Server not found (" + Utf8ToWide(ErrorCodeTextA(EHOSTUNREACH)) + u")";
        return;
    case TNetStream::TConnectResult::NoConnection:
        Error = u"No connection to server";
        return;
    case TNetStream::TConnectResult::Connected:
        break;
    }
    if (ssl && !Stream.StartTls(server, waits.ReplyMs)) {
        Error = u"SSL failed";
        return;
    }
    std::string name = WideToAnsiTrunc(ComputerName());
    if (name.empty())
        name = "localhost";
    auto hello = [&] { return Command("EHLO " + name, "250") || Command("HELO " + name, "250"); };
    if (!ReadReply() || Reply.compare(0, 3, "220") != 0 || !hello()) {
        Error = u"HELO failed (" + Utf8ToWide(FirstReplyLine()) + u")";
        return;
    }
    Greeted = true;
    const std::string upper = UpStrA(Reply);
    StartTlsOffered = !ssl && (upper.find("250-STARTTLS\r\n") != std::string::npos ||
                               upper.find("250 STARTTLS\r\n") != std::string::npos);
    const bool authOffered = upper.find("250-AUTH") != std::string::npos || upper.find("250 AUTH") != std::string::npos;
    // Credentials never travel in clear: a server that offers STARTTLS is
    // asked for it whenever an account is given.
    if (StartTlsOffered && (startTls || credentials || (!account.empty() && !authOffered))) {
        const bool started = Command("STARTTLS", "220") && Stream.StartTls(server, waits.ReplyMs);
        if (!started || !hello()) {
            Error = Stream.Secure() ? u"2nd HELO failed (" + Utf8ToWide(FirstReplyLine()) + u")" : u"TLS failed";
            return;
        }
    }
    TlsPassed = true;
    ReadyForEnvelope = true;
    std::string reply = Reply;
    for (char& c : reply)
        if (c == '-' || c == '=')
            c = ' ';
    const std::string upperReply = UpStrA(reply);
    const size_t auth = upperReply.find("250 AUTH");
    if (auth == std::string::npos)
        return;
    const size_t end = upperReply.find("\r\n", auth);
    const std::string line = upperReply.substr(auth, end == std::string::npos ? std::string::npos : end - auth) + " ";
    if (line.find(" LOGIN ") == std::string::npos || !credentials)
        return;
    ReadyForEnvelope = false;
    if (!Stream.Secure()) {
        Error = u"Authentication failed (no secure connection)";
        return;
    }
    if (!Command("AUTH LOGIN", "334") || !Command(Base64EncodeStr(WideToUtf8(account)), "334") ||
        !Command(Base64EncodeStr(WideToUtf8(password)), "235")) {
        Error = u"Authentication failed (" + Utf8ToWide(FirstReplyLine()) + u")";
        return;
    }
    ReadyForEnvelope = true;
}

bool TSmtp::BeginMessage(const std::u16string& sender, const std::u16string& recipients, const std::u16string& body,
                         const std::u16string& subject)
{
    if (!ReadyForEnvelope)
        return false;
    if (!Command("MAIL FROM:" + MailAddressForHeader(sender, false), "250"))
        return false;
    std::u16string list = recipients;
    const int32_t count = CountMailAddresses(list);
    int32_t accepted = 0;
    for (int32_t i = 1; i <= count; ++i)
        if (Command("RCPT TO:" + MailAddressForHeader(ItemW(list, i, u','), false), "250"))
            ++accepted;
    if (accepted == 0 || !Command("DATA", "354"))
        return false;
    DataStarted = true;

    const std::string subjectText = NeedsWideForm(subject)
                                        ? EncodedWord(subject)
                                        : "=?ISO-8859-1?Q?" + EscapeBytes(Latin1(subject), HeaderEscapeSet, '=') + "?=";
    std::string charset, encoding, bodyText;
    if (NeedsWideForm(body)) {
        charset = "utf-8";
        encoding = "base64";
        // In lines, as the attachments: a line of a mail stays below 1000 characters.
        const std::string bytes = WideToUtf8(body);
        for (size_t at = 0; at < bytes.size(); at += 255)
            bodyText += Base64EncodeStr(bytes.substr(at, 255)) + "\r\n";
    } else {
        charset = "iso-8859-1";
        encoding = "8bit";
        bodyText = DotStuffed(Latin1(body));
        if (bodyText.size() < 2 || bodyText.compare(bodyText.size() - 2, 2, "\r\n") != 0)
            bodyText += "\r\n"; // the boundary that follows must start a line
    }
    const auto now = std::chrono::system_clock::now();
    const time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto nanos = static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count() % 1000000000);
    std::string head;
    head += "To: " + MailAddressForHeader(ItemW(list, 1, u','), true) + "\r\n";
    head += "From: " + MailAddressForHeader(sender, true) + "\r\n";
    head += "Subject: " + subjectText + "\r\n";
    head += "Date: " + SmtpDateText(seconds) + "\r\n";
    head += "Message-ID: " + SmtpMessageId(seconds, nanos) + "\r\n";
    head += "MIME-Version: 1.0\r\n";
    head += std::string("Content-Type: multipart/mixed; boundary=\"") + MailBoundary + "\"\r\n";
    head += "\r\nThis is a multi-part message in MIME format.\r\n\r\n";
    head += std::string("--") + MailBoundary + "\r\n";
    head += "Content-Type: text/plain; charset=\"" + charset + "\"\r\n";
    head += "Content-Transfer-Encoding: " + encoding + "\r\n\r\n";
    head += bodyText;
    return Transmit(head);
}

bool TSmtp::SendAttachment(int handle, uint32_t size, IProgressAlert* progress, const std::u16string& sendAs)
{
    struct TNext {
        IProgressAlert* P;
        ~TNext()
        {
            if (P)
                P->NextProgressArea();
        }
    } next{progress};
    if (!DataStarted || DataEnded || handle < 0)
        return false;
    if (lseek(handle, 0, SEEK_SET) != 0)
        return false;
    const std::string name = NeedsWideForm(sendAs) ? EncodedWord(sendAs) : WithoutLineBreaks(Latin1(sendAs));
    std::string out = std::string("--") + MailBoundary + "\r\n";
    out += "Content-Type: " + MimeTypeOfFile(sendAs) + "; name=\"" + name + "\"\r\n";
    out += "Content-Transfer-Encoding: base64\r\n";
    out += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n";
    uint32_t done = 0;
    char piece[255];
    while (done < size) {
        const size_t want = std::min<uint32_t>(255, size - done);
        size_t got = 0;
        while (got < want) {
            const ssize_t n = read(handle, piece + got, want - got);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        if (got < want) {
            Transmit(out + "\r\n");
            return false;
        }
        out += Base64EncodeBuf(piece, want) + "\r\n";
        done += static_cast<uint32_t>(want);
        if (progress)
            progress->SetProgressPosition(static_cast<int32_t>(uint64_t{done} * 1000 / size));
        // Lines go out in batches: the bytes on the wire are the same.
        if (out.size() >= 16384) {
            Transmit(out);
            out.clear();
        }
    }
    Transmit(out);
    return true;
}

bool TSmtp::EndMessage()
{
    bool ok = true;
    if (DataStarted && !DataEnded) {
        DataEnded = true;
        ok = Transmit(std::string("--") + MailBoundary + "--\r\n") && Command("\r\n.", "250");
    }
    if (ok && Greeted && !QuitSent) {
        QuitSent = true;
        ok = Command("QUIT", "221");
    }
    return ok;
}

TSmtp::~TSmtp()
{
    if (Stream.Connected()) {
        if (DataStarted && !DataEnded) {
            DataEnded = true;
            Command("\r\n.", "250");
        }
        if (Greeted && !QuitSent) {
            QuitSent = true;
            Command("RSET", "250");
            Command("QUIT", "221");
        }
    }
    Stream.Close();
}

// ---------------------------------------------------------------------------

namespace {

bool SmtpConnection(const std::u16string& sender, const std::u16string& recipients, const std::u16string& subject,
                    IProgressAlert* progress, bool startTls, bool ssl, uint16_t port, const std::u16string& password,
                    const std::u16string& account, std::string server, const TDAUnicodeString& sendAsNames,
                    TDeliveryFiles& files, const std::u16string& body, bool exchanger)
{
    auto next = [&] {
        if (progress)
            progress->NextProgressArea();
    };
    if (exchanger) {
        server = FindMailExchanger(WideToAnsiTrunc(recipients));
        next();
    }
    TSmtp smtp(server, port, ssl, startTls, account, password);
    next();
    const std::u16string from = sender.empty() ? recipients : sender;
    const bool begun = smtp.BeginMessage(from, recipients, body, subject);
    next();
    if (!begun)
        return false;
    for (size_t i = 0; i < files.Handles.size(); ++i) {
        if (files.Handles[i] < 0)
            continue;
        const std::u16string name = i < sendAsNames.size() ? sendAsNames[i] : std::u16string();
        if (!smtp.SendAttachment(files.Handles[i], files.Sizes[i], progress, name))
            return false;
    }
    return smtp.EndMessage();
}

} // namespace

bool SendViaSmtp(const std::u16string& sender, const std::u16string& recipients, const std::u16string& subject,
                 const IZXSettings& settings, IProgressAlert* progress, bool startTls, bool ssl, uint16_t port,
                 const std::u16string& password, const std::u16string& account, const std::string& server,
                 const TDAUnicodeString& sendAsNames, const TDAUnicodeString& paths, const std::u16string& body)
{
    const bool exchanger = server.empty();
    TDeliveryFiles files;
    bool result = false;
    if (OpenDeliveryFiles(progress, settings, paths, exchanger, true, files)) {
        if (!exchanger) {
            result = SmtpConnection(sender, recipients, subject, progress, startTls, ssl, port, password, account,
                                    server, sendAsNames, files, body, false);
        } else {
            std::u16string list = recipients;
            const int32_t count = CountMailAddresses(list);
            if (progress) {
                for (int32_t n = 2; n <= count; ++n) {
                    progress->AddProgressArea(settings.ReadSettingText("MxLookMsg"), 500);
                    progress->AddProgressArea(settings.ReadSettingText("ConnMsg"), 5000);
                    progress->AddProgressArea(settings.ReadSettingText("SendMailMsg"), 100);
                    for (size_t i = 0; i < files.Handles.size(); ++i)
                        if (files.Handles[i] >= 0)
                            progress->AddProgressArea(settings.ReadSettingText("SendAttMsg"), files.Sizes[i] / 16);
                    progress->AddProgressArea(settings.ReadSettingText("SendFinalMsg"), 1000);
                }
            }
            for (int32_t n = 1; n <= count; ++n) {
                if (SmtpConnection(sender, ItemW(list, n, u','), subject, progress, startTls, ssl, port, password,
                                   account, "", sendAsNames, files, body, true))
                    result = true;
                if (progress)
                    progress->SelectProgressArea(5 * n + 1);
            }
        }
    }
    if (progress)
        progress->CloseAlert();
    CloseDeliveryFiles(files);
    return result;
}

// ---------------------------------------------------------------------------
// The mail program stand-ins

int RunMailCommand(const std::vector<std::string>& argv)
{
    if (argv.empty())
        return -1;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TMailCommandHook& MailCommandHook()
{
    static TMailCommandHook hook = RunMailCommand;
    return hook;
}

int32_t SendViaMapi(const std::u16string& recipients, const std::u16string& subject, const std::u16string& body,
                    bool /*silent*/, const TDAUnicodeString& /*sendAsNames*/, const TDAUnicodeString& paths)
{
    std::u16string list = recipients;
    const int32_t count = CountMailAddresses(list);
    std::vector<std::string> argv{"xdg-email", "--utf8", "--subject", WideToUtf8(subject), "--body", WideToUtf8(body)};
    for (const std::u16string& path : paths) {
        argv.push_back("--attach");
        argv.push_back(WideToUtf8(path));
    }
    for (int32_t i = 1; i <= count; ++i) {
        std::u16string item = ItemW(list, i, u',');
        const size_t open = item.find(u'<'), close = item.find(u'>');
        if (open != std::u16string::npos)
            item = item.substr(open + 1,
                               close == std::u16string::npos || close < open ? std::u16string::npos : close - open - 1);
        argv.push_back(WithoutLineBreaks(WideToUtf8(item)));
    }
    const TMailCommandHook hook = MailCommandHook();
    return hook && hook(argv) == 0 ? 1 : 0;
}

std::string MailtoLink(const std::u16string& recipients, const std::u16string& subject, const std::u16string& body)
{
    std::u16string list = recipients;
    CountMailAddresses(list);
    std::string link = "mailto:" + EscapeBytes(WideToUtf8(list), MailtoEscapeSet, '%') +
                       "?subject=" + EscapeBytes(WideToUtf8(subject), MailtoEscapeSet, '%') +
                       "&body=" + EscapeBytes(WideToUtf8(body), MailtoEscapeSet, '%');
    constexpr size_t limit = 32766;
    if (link.size() > limit) {
        if (link[limit - 1] == '%')
            link.resize(limit - 1);
        else if (link[limit - 2] == '%')
            link.resize(limit - 2);
        else
            link.resize(limit);
    }
    return link;
}

bool OpenMailtoLink(const std::u16string& recipients, const std::u16string& subject, const std::u16string& body)
{
    const TMailCommandHook hook = MailCommandHook();
    return hook && hook({"xdg-open", MailtoLink(recipients, subject, body)}) == 0;
}

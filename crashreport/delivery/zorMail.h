// zorMail: the mail transports of report delivery: the user's mail program
// (through xdg-email), a mailto link (through xdg-open) and the built-in
// SMTP client, through a configured server (STARTTLS or implicit TLS, AUTH
// LOGIN) or straight to each recipient's mail exchanger. Recipients are one
// text: addresses separated by "," or ";", each bare or a name followed by
// the address in angle brackets. "ANSI" text is Latin-1 here.
//
// Normal context: the delivery thread or the thread that delivers.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crashreport/delivery/zorNet.h"
#include "crashreport/diagnostics/zorTypes.h"

class IProgressAlert;
class IZXSettings;

// A text that Latin-1 can't hold (a unit above 255).
bool NeedsWideForm(const std::u16string& text);

// ";" becomes ",", items are trimmed and empty ones dropped; the count.
int32_t CountMailAddresses(std::u16string& recipients);
// "<address>" without the name; with it "name <address>", the name as
// "=?UTF-8?B?...?=" when Latin-1 can't hold it. CR and LF are dropped, so a
// text can't add header lines or commands.
std::string MailAddressForHeader(const std::u16string& address, bool withName);
// Every byte of the set as the prefix and two upper-case hex digits.
std::string EscapeBytes(const std::string& bytes, const TZorCharSet& set, char prefix);
extern const TZorCharSet MailtoEscapeSet;
extern const TZorCharSet HeaderEscapeSet;
std::string MimeTypeOfFile(const std::u16string& name);

// The boundary of every multipart message and form.
extern const char MailBoundary[];
// "8 Dec 2026 17:40:01 UT" and "<01dd...@zorExcept>" of a UTC time.
std::string SmtpDateText(time_t when);
std::string SmtpMessageId(time_t when, uint32_t nanoseconds = 0);
// Port 0: 465 with implicit TLS, 587 with STARTTLS and credentials, else 25.
uint16_t SmtpPortFor(uint16_t port, bool ssl, bool startTls, bool hasCredentials);
// Line ends made CR LF, and one more "." before every line that starts
// with one, so the server hands the text on unchanged.
std::string DotStuffed(const std::string& text);

// The open files of a delivery: a read descriptor (-1 when the file could
// not be opened) and the size of each.
struct TDeliveryFiles {
    std::vector<int> Handles;
    std::vector<uint32_t> Sizes;
    int32_t Opened = 0;
    ~TDeliveryFiles();
};
// Opens the files and lays out the progress areas (mail or HTTP weights).
// False when files were given and none opened.
bool OpenDeliveryFiles(IProgressAlert* progress, const IZXSettings& settings, const TDAUnicodeString& paths,
                       bool exchanger, bool mail, TDeliveryFiles& files);
void CloseDeliveryFiles(TDeliveryFiles& files);

class TSmtp {
public:
    // Connects, greets, secures and logs on as the server allows; Ready()
    // tells whether the envelope may follow, LastError() why not.
    TSmtp(const std::string& server, uint16_t port, bool ssl, bool startTls, const std::u16string& account,
          const std::u16string& password);
    // Ends the connection as its state allows (Destroy).
    ~TSmtp();
    TSmtp(const TSmtp&) = delete;
    TSmtp& operator=(const TSmtp&) = delete;

    bool Ready() const { return ReadyForEnvelope; }
    const std::u16string& LastError() const { return Error; }
    uint16_t PortUsed() const { return Port; }

    bool BeginMessage(const std::u16string& sender, const std::u16string& recipients, const std::u16string& body,
                      const std::u16string& subject);
    bool SendAttachment(int handle, uint32_t size, IProgressAlert* progress, const std::u16string& sendAs);
    bool EndMessage();

private:
    bool Transmit(const std::string& text);
    bool ReadReply();
    bool Command(const std::string& text, const char* expected);
    std::string FirstReplyLine() const;
    bool Handshake();

    TNetStream Stream;
    std::string Server;
    uint16_t Port = 0;
    std::string Reply;
    std::u16string Error;
    bool Greeted = false;
    bool StartTlsOffered = false;
    bool TlsPassed = false;
    bool ReadyForEnvelope = false;
    bool DataStarted = false;
    bool DataEnded = false;
    bool QuitSent = false;
};

bool SendViaSmtp(const std::u16string& sender, const std::u16string& recipients, const std::u16string& subject,
                 const IZXSettings& settings, IProgressAlert* progress, bool startTls, bool ssl, uint16_t port,
                 const std::u16string& password, const std::u16string& account, const std::string& server,
                 const TDAUnicodeString& sendAsNames, const TDAUnicodeString& paths, const std::u16string& body);

// The programs that stand in for the mail program: argv in, the exit code
// out (-1 when it could not be run). Tests replace it.
using TMailCommandHook = std::function<int(const std::vector<std::string>& argv)>;
TMailCommandHook& MailCommandHook();
int RunMailCommand(const std::vector<std::string>& argv);

// The mail program through xdg-email: 1 when it took the mail, 0 when not.
// (A cancel in the mail program can't be seen from here.)
int32_t SendViaMapi(const std::u16string& recipients, const std::u16string& subject, const std::u16string& body,
                    bool silent, const TDAUnicodeString& sendAsNames, const TDAUnicodeString& paths);
// The mailto link (cut to 32766 characters without splitting an escape).
std::string MailtoLink(const std::u16string& recipients, const std::u16string& subject, const std::u16string& body);
bool OpenMailtoLink(const std::u16string& recipients, const std::u16string& subject, const std::u16string& body);

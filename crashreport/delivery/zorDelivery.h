// zorDelivery: sending a finished report. The attachments are gathered (a
// copy of the bug report file, the screenshot as PNG, the extra files, zip
// groups packed), then a fixed chain of transports is tried until one
// succeeds: a bug tracker or the plain HTTP upload, SMTP, the user's mail
// program, a mailto link, and last the failure message. A delivery may run
// on a thread of its own. Printing goes to the spooler's "lp".
//
// Normal context: the handler thread, a presenter's thread or the delivery
// thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "crashreport/diagnostics/zorTools.h"
#include "crashreport/diagnostics/zorTypes.h"

class INVBitmap;
class IZXSettings;
class IZXFields;
class IZXAttachments;
class IProgressAlert;
class TSendThreadSlot;
class TWinHttp;

// What a background delivery's thread gets.
struct TSendBugReportExRec {
    std::u16string BugReport;
    std::shared_ptr<INVBitmap> Screenshot;
    bool Silent = false;
    std::shared_ptr<IZXSettings> Settings;
};

// One delivery's texts, files and window, as the transports get them.
struct TDeliveryJob {
    std::u16string Sender, Recipients, Subject, Body, Report;
    TDAUnicodeString Paths, SendAsNames, FieldNames;
    std::shared_ptr<IZXFields> Fields;
    std::shared_ptr<IZXSettings> Settings;
    std::shared_ptr<IProgressAlert> Progress;
    THandlerWindow Window = 0;
    bool Silent = false;
};

// The transports of the chain; tests put stand-ins here.
enum class THttpDeliveryKind : uint8_t { FogBugz, Bugzilla, Mantis, Upload };
struct TDeliveryTransports {
    std::function<bool(THttpDeliveryKind kind, TWinHttp& http, TDeliveryJob& job)> Http;
    // Straight to the exchangers, or through the configured server.
    std::function<bool(TDeliveryJob& job, bool exchanger)> Smtp;
    // 1 sent, 2 cancelled, 0 failed.
    std::function<int32_t(TDeliveryJob& job)> Mapi;
    std::function<bool(TDeliveryJob& job)> Mailto;
    // The failure message of an interactive delivery.
    std::function<void(THandlerWindow window, const std::u16string& text)> FailureMessage;
};
TDeliveryTransports& DeliveryTransports();
// The transports of the product.
TDeliveryTransports StandardDeliveryTransports();

// 1 when a transport succeeded or a background delivery started, 2 when the
// user cancelled the mail program, 0 otherwise.
uint8_t DeliverBugReport(const std::u16string& report, const std::shared_ptr<INVBitmap>& screenshot,
                         THandlerWindow window, bool silent, bool background,
                         const std::shared_ptr<IZXSettings>& settings, bool inThread, TSendThreadSlot* sendThread);
uint32_t DeliveryThreadProc(std::unique_ptr<TSendBugReportExRec> record);

// The PNG mode of a screenshot depth setting.
int32_t PngModeOfDepth(int32_t depth);

// Makes the progress window and the three delivery lists (zip groups packed
// into the reporter's temporary folder, missing files left out).
void PrepareDeliveryFiles(IZXSettings& settings, IZXAttachments& attachments, TDAUnicodeString& paths,
                          TDAUnicodeString& sendAsNames, TDAUnicodeString& fieldNames, THandlerWindow window,
                          bool silent, bool inThread, std::shared_ptr<IProgressAlert>& progress);

// Prints through "lp" (through the stand-in command hook); false when there
// is no spooler or printing failed. Without settings the program's are used.
bool PrintReportText(const std::u16string& report, THandlerWindow window, IZXSettings* settings);

// Fills the exception object's sending and printing slots.
void LinkDelivery();

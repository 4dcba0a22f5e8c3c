// The seams between the settings and the exception object and the parts of
// the reporter built on top of them: the report text, the handlers, storing,
// delivery, printing, ending and restarting the program, the screen capture
// and the presenters. Each part fills its slots once, at the reporter's
// start-up, before any failure is handled; tests fill them with recorders
// and clear them again. An action whose slot is still empty is not done: it
// returns false and marks nothing.
//
// Also here: the reporter's handler lock, the registry of exception box
// windows (the presenters register theirs) and the send-thread slot of a
// failure.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "crashreport/diagnostics/zorTools.h"

class IZXException;
class IZXFields;
class IZXSettings;
class TIZXException;
class INVBitmap;
class INVWizard;
struct TAssistantState;

// Messages the exception object sends to an exception box window.
constexpr uint32_t ZorMsgShowBugReport = 1802; // posted: show the report in the box
constexpr uint32_t ZorMsgCloseBox = 1803;      // sent: the box closes

// Holds the thread of a background delivery, so that the sender can store it
// and the dispatcher can wait for it. Closing lets a running thread go on.
class TSendThreadSlot {
public:
    ~TSendThreadSlot() { Close(); }
    // Stores the thread, letting an earlier one go on without a holder.
    void Store(std::thread thread);
    bool Running() const;
    // Waits for the stored thread (none: at once) and forgets it.
    void WaitAndClose();
    void Close();

private:
    mutable std::mutex Lock;
    std::thread Thread;
};

struct TZorSlots {
    // Text settings: expands the placeholders of a text read through the
    // settings of a module. Class, error details, bug report and message are
    // given; a plain settings object gives their placeholders themselves, so
    // they stay. Empty: only "%appname%" and "%modname%" are expanded.
    std::function<void(TModuleHandle module, std::u16string& text, const std::u16string& classText,
                       const std::u16string& errorDetails, const std::u16string& bugReport,
                       const std::u16string& message)>
        ExpandPlaceholders;
    // The class and the (tidied) message text of a failure object. Empty:
    // "Unknown".
    std::function<std::u16string(const std::exception_ptr& object)> ObjectClassText;
    std::function<std::u16string(const std::exception_ptr& object)> ObjectMessageText;

    // The report: builds the header and the section lists on their first
    // use, and gives the report text (waiting for its completion when asked).
    // Empty: the lists stay empty, and the text is the one last stored.
    std::function<void(TIZXException& exception, IZXFields& header)> BuildReportHeader;
    std::function<void(TIZXException& exception, IZXFields& sections)> BuildReportSections;
    std::function<std::u16string(TIZXException& exception, bool wait)> ReportTextEx;

    // Runs the handlers of a kind (0 exception, 1 action, 2 handled
    // exception) for an action; a handler may set handled. Empty: none run.
    std::function<void(THandlerWindow window, uint8_t kind, uint8_t action, bool& handled, TIZXException& exception)>
        NotifyHandlers;
    // The end of a failure's automatic actions (save, the waited send).
    std::function<void(TIZXException& exception, bool wait)> FinishAutoActions;
    // Presents the failure: console text, the exception box, an assistant.
    std::function<bool(TIZXException& exception)> ShowForException;

    // Storing, sending and printing a report; true when done.
    std::function<bool(const std::u16string& fileName, const std::u16string& text, THandlerWindow window,
                       IZXSettings& settings, bool silent)>
        StoreBugReport;
    std::function<bool(const std::u16string& text, const std::shared_ptr<INVBitmap>& image, THandlerWindow window,
                       bool silent, bool background, const std::shared_ptr<IZXSettings>& settings, bool inThread,
                       TSendThreadSlot* sendThread)>
        DeliverBugReport;
    std::function<bool(const std::u16string& text, THandlerWindow window, IZXSettings* settings)> PrintReportText;
    // Ending the program; neither returns when filled.
    std::function<void()> TerminateProgram;
    std::function<void(const std::u16string& commandLine)> RelaunchProgram;

    // A screenshot, of the program's own windows only when asked; nullptr
    // when none could be taken.
    std::function<std::shared_ptr<INVBitmap>(bool appOnly)> CaptureScreenImage;

    // Builds an assistant from the form resources of the settings' module;
    // the exception is given when the settings are an exception's.
    std::function<std::shared_ptr<INVWizard>(IZXSettings& settings, const std::u16string& title,
                                             const std::vector<std::u16string>& forms, IZXException* exception)>
        CreateAssistant;
    // The form contents of a built assistant, for the form cache.
    std::function<TAssistantState*(INVWizard& assistant)> AssistantFormState;
};

TZorSlots& ZorSlots();

// The reporter's handler lock: guards the handler lists and the report
// listeners of every failure. Nothing is called while it is held.
std::mutex& ZorHandlerLock();

// Exception box windows: a presenter registers the message channel of each
// box it shows and removes it when the box closes. The newest one answers.
void RegisterExceptionBoxWindow(THandlerWindow window);
void UnregisterExceptionBoxWindow(THandlerWindow window);
THandlerWindow ExceptionBoxWindow();

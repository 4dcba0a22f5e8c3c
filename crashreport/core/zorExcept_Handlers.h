// zorExcept handlers: every stage of a failure and every user action on it
// passes through NotifyHandlers. Registered handlers may react and mark the
// failure or the action handled; handlers that must run on the main thread
// are sent there through its message channel (pumped by the main loop); the
// assistant the settings name for sending, saving or printing runs, and what
// the user entered goes into the report.
//
// The program registers no handlers itself; the registration functions are
// for the parts and tests that want them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "crashreport/core/zorExcept_Exception.h"

// Where a handler runs.
enum TZorHandlerMode : uint8_t {
    ZorModeCallingThread = 0,
    ZorModeMainThread = 1,    // on the main thread only
    ZorModeMainOrCalling = 2, // on the main thread, else where the failure is handled
};

using TExceptHandlerProc = void (*)(IZXException& exception, bool& handled);
using TExceptHandlerMethod = void (*)(void* data, IZXException& exception, bool& handled);
using TActionHandlerProc = void (*)(uint8_t action, IZXException& exception, bool& handled);
using TActionHandlerMethod = void (*)(void* data, uint8_t action, IZXException& exception, bool& handled);

// Exception handlers run at one stage; handled-exception handlers hear of
// exceptions the program handled itself. Adding one again changes nothing.
void AddExceptHandler(TExceptHandlerProc proc, uint8_t mode, uint8_t stage);
void AddExceptHandler(TExceptHandlerMethod method, void* data, uint8_t mode, uint8_t stage);
void AddActionHandler(TActionHandlerProc proc, uint8_t mode);
void AddActionHandler(TActionHandlerMethod method, void* data, uint8_t mode);
void AddHandledExceptHandler(TExceptHandlerProc proc, uint8_t mode);
void AddHandledExceptHandler(TExceptHandlerMethod method, void* data, uint8_t mode);
// Removes every registration of the function (and data).
void RemoveHandler(const void* function, const void* data = nullptr);
// Empties the six lists (the reporter's finalisation).
void ClearHandlers();
// An exception handler for the complete-report stage (4) exists.
bool HasCompletePhaseHandler();

struct TFireHandlersParams {
    uint8_t Kind = 0; // ZorHandlerException, ZorHandlerAction, ZorHandlerHandled
    uint8_t Action = 0;
    IZXException* Exception = nullptr;
    bool Handled = false;
    bool MainThreadPass = false;
    bool MainThreadFailed = false;
};

bool CallHandlerLists(TFireHandlersParams& params);
// True while handlers run on the main thread at its request.
bool HandlersRunSynchronously();
bool SyncHandlerRegistered(const TFireHandlersParams& params);
void NotifyHandlers(THandlerWindow window, uint8_t kind, uint8_t action, bool& handled, TIZXException& exception);

// The main thread's channel; the main thread opens it at start-up.
void ReceiveHandlerCall(THandlerWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t& result);
void OpenHandlerChannel();
void CloseHandlerChannel();
// What the main loop calls each iteration (and threads that want to be held
// while a failure is handled): nothing but one atomic exchange unless
// something was posted to the thread; then it waits while the thread is
// held, answers probes and runs the calls queued for it.
void ReporterPump();
// Posts the wake-up to the main thread's channel, so that its loop hook runs
// in full (and holds it when it is to be held).
void WakeMainThread();

// What an assistant gives back.
struct TAssistantItemResult {
    enum TKind : uint8_t { Other, Edit, CheckBox };
    TKind Kind = Other;
    std::u16string OutputName;
    bool OwnSection = false; // output type "own section"
    int32_t Lines = 1;
    std::u16string Text;
    bool Checked = false;
};
struct TAssistantFormResult {
    int32_t Result = 0; // 1: continue
    std::vector<TAssistantItemResult> Items;
};
using TAssistantResults = std::vector<TAssistantFormResult>;

void StoreAssistantResults(const TAssistantResults& results, IZXException& exception);

// Runs the named assistant modally over the window: 1 when it ended with
// continue (results filled), another value when cancelled, -1 when the
// settings produce no such assistant. Empty: there is none.
using TAssistantRunner = std::function<int32_t(THandlerWindow window, TIZXException& exception,
                                               const std::u16string& name, TAssistantResults& results)>;
void SetAssistantRunner(TAssistantRunner runner);

// Fills the handler slot of the exception object.
void LinkHandlers();

#include "crashreport/core/zorExcept_Startup.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

#include "crashreport/diagnostics/zorBitmap.h"
#include "crashreport/core/zorBugReportFile.h"
#include "crashreport/delivery/zorDelivery.h"
#include "crashreport/core/zorExcept_Box.h"
#include "crashreport/core/zorExcept_Capture.h"
#include "crashreport/core/zorExcept_Dispatch.h"
#include "crashreport/core/zorExcept_Examine.h"
#include "crashreport/core/zorExcept_Handlers.h"
#include "crashreport/core/zorExcept_Process.h"
#include "crashreport/core/zorExcept_Restart.h"
#include "crashreport/core/zorExcept_Settings.h"
#include "crashreport/core/zorExcept_Threads.h"
#include "crashreport/core/zorExcept_Watchdog.h"
#include "crashreport/diagnostics/zorLinkDisAsm.h"
#include "crashreport/assistants/zorNVAssistant.h"
#include "crashreport/core/zorReportText.h"
#include "crashreport/diagnostics/zorStackTrace.h"

int64_t StartTimeMs = 0;
std::atomic<uint32_t> ReporterMainThreadId{0};
std::atomic<bool> StartingUp{false};

// The engine's main loop calls the reporter's pump once per iteration
// (zorExcept_LoopPump.cpp: the engine's window header can't meet the
// reporter's here).
void AttachReporterPump(bool attach);

namespace {

bool Active = false;
bool Hooked = false;
std::shared_ptr<IZXModuleSettings> HeldSettings;

} // namespace

bool ConsoleProgram()
{
    const char* headless = std::getenv("DUSKMARCH_HEADLESS");
    if (headless != nullptr && std::string(headless) == "1")
        return true;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x == nullptr || *x == '\0') && (wayland == nullptr || *wayland == '\0');
}

bool ReporterActive()
{
    return Active;
}

bool ReporterHooked()
{
    return Hooked;
}

void StartReporter(TModuleHandle module)
{
    if (Active)
        return;
    timespec now{};
    if (clock_gettime(CLOCK_MONOTONIC, &now) == 0)
        StartTimeMs = static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    std::shared_ptr<TIZXSettings> settings = TIZXSettings::Create(module != 0 ? module : MainModuleHandle(), true);
    ReporterMainThreadId.store(static_cast<uint32_t>(getpid()));
    if (!settings || !settings->SettingsValid())
        return; // no settings resource: the reporter stays inactive
    if (!CreateThreadRegistry()) {
        std::fputs("zorExcept: internal error (opening global buffer)\n", stderr);
        // Not a success: the program could not start as it should.
        _exit(1);
    }
    RegisterThread(ReporterMainThreadId.load(), u"main thread", 0, 0);
    HeldSettings = settings;
    SetMainSettings(settings);
    Active = true;

    LinkInspection();
    LinkReportText();
    LinkBugReportFile();
    LinkScreenCapture();
    LinkDelivery();
    LinkHandlers();
    LinkDisAsm();
    LinkStackTrace();
    LinkRestart();
    LinkDispatch();
    LinkExceptionBox();
    LinkAssistants();
    LinkThreadSource();
    if (!settings->ReadSettingBool("Enabled"))
        return;

    InstallAlternateStack();
    InstallThreadStateSignal();
    InstallSignalHandlers();
    InstallTerminateHandler();
    SetThrowHooksActive(true);
    StartHandlerThread();
    SetThreadHooksActive(true);
    AttachReporterPump(true);
    OpenHandlerChannel();
    if (settings->ReadSettingBool("CheckFreeze"))
        StartFreezeWatchdog(settings->ReadSettingInt("FreezeTimeout"));
    AllocateReserve();
    Hooked = true;
}

void StopReporter()
{
    if (!Active)
        return;
    if (Hooked) {
        StopFreezeWatchdog();
        AttachReporterPump(false);
        CloseHandlerChannel();
        SetThreadHooksActive(false);
        StopHandlerThread();
        SetThrowHooksActive(false);
        RemoveTerminateHandler();
        RemoveSignalHandlers();
        RemoveThreadStateSignal();
        RemoveAlternateStack();
        // Nobody stays held.
        EndThreadPausing();
        FreeReserve();
        Hooked = false;
    }
    RegisterThread(ReporterMainThreadId.load(), {}, 0, 0);
    ReleaseThreadRegistry();
    SetMainSettings(nullptr);
    HeldSettings.reset();
    UnlinkStackTrace();
    Active = false;
}

void StartReporterUnit()
{
    TakeOverRestart();
    ClearReporterTempFolder();
    StartingUp = true;
    StartReporter(0);
    StartingUp = false;
}

void StopReporterUnit()
{
    StopReporter();
}

// Attaches the reporter's pump to the engine's main loop. Kept apart: the
// engine's window header and the reporter's tool header both name the
// window messages.
#include "engine/QX9_System_Window.h"

void ReporterPump();
void AttachReporterPump(bool attach);

void AttachReporterPump(bool attach)
{
    SetMessageLoopPump(attach ? ReporterPump : nullptr);
}

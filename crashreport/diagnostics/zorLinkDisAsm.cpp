#include "crashreport/diagnostics/zorLinkDisAsm.h"

TDisAsmHook DisAsmHook = nullptr;

void LinkDisAsm()
{
    if (DisAsmHook == nullptr)
        DisAsmHook = ParseFunction;
}

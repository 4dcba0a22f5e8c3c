// The game's entry: the crash reporter watches everything the game does, so
// it starts before every unit and stops after them.
#include <string>
#include <vector>

#include "app/MainProgram.h"
#include "crashreport/core/zorExcept_Startup.h"
#include "engine/QX9_System.h"

int main(int argc, char** argv)
{
    StartReporterUnit();
    QX9_System_Init();
    const std::vector<std::string> parameters(argv + 1, argv + argc);
    const int32_t code = MainProgram(parameters);
    // The units' end, then any collected fatal-error text.
    QX9_System_Shutdown();
    StopReporterUnit();
    return code;
}

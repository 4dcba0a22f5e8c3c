// MainProgram: the program's course on the main thread: the user's settings,
// the language, the renderer and the main window, the menu music, the loading
// window and the message loop; then the shut-down in its fixed order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "screens/front/Duskmarch_Startup.h"

// The game's shut-down steps.
TShutdownSteps GameShutdownSteps();

// Runs the program with its command line (the parameters after the program
// name); the process's exit code.
int32_t MainProgram(const std::vector<std::string>& parameters);

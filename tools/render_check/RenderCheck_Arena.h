// render_check arena: an arena scene file loaded as the battle screen loads
// it, with six personages of the sample units on the field.
//   render_check arena FILE [--tags TEXT] [--out FILE.tga]
#pragma once

#include <string>
#include <vector>

// Runs the mode when args (the program's arguments) start with "arena";
// returns the program's exit code, or -1 for another mode.
int RenderCheckArena(const std::vector<std::string>& args);

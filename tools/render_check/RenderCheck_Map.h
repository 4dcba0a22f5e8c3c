// render_check's map scene modes:
//   map-cover  the cover of library models on a small generated map
//   daylight   a 24-hour strip of the map's clear colour and the sun's height
#pragma once

#include <string>

// Runs the mode named scene and writes its picture to out (when given);
// false when scene is none of these modes.
bool RenderCheckMap(const std::string& scene, const std::string& out);

// render_check's map scene modes:
//   map        the sample scenario built as a new game's loading builds it,
//              over the town at the daylight of a minute, through the whole
//              "MAP" pipeline (1280 x 1024 unless a size is given); with a
//              close-up file also the hero's army from near by
//   map-cover  the cover of library models on a small generated map
//   daylight   a 24-hour strip of the map's clear colour and the sun's height
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Runs the mode named scene and writes its picture to out (when given);
// false when scene is none of these modes. minute: the map's time of day.
bool RenderCheckMap(const std::string& scene, const std::string& out, int32_t minute, const std::string& closeUp);

// The map mode (RenderCheck_SampleMap.cpp); false when a picture cannot be
// written.
bool SampleMap(const std::string& out, int32_t minute, const std::string& closeUp);
// Pixels 0xRRGGBB from the top row as a TGA file.
bool WriteMapPicture(const std::string& file, int width, int height, const std::vector<uint32_t>& pixels);

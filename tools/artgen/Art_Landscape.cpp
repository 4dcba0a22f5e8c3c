#include "tools/artgen/ArtOutput.h"

void GenerateLandscapeArt(TArtOutput&) {}

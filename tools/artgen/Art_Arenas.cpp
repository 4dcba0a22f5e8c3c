#include "tools/artgen/ArtOutput.h"

void GenerateArenaArt(TArtOutput&) {}

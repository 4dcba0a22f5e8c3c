#include "tools/artgen/ArtOutput.h"

void GeneratePersonageArt(TArtOutput&) {}

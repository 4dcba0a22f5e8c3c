#include "tools/artgen/ArtOutput.h"

void GenerateInterfaceArt(TArtOutput&) {}

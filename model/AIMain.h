// AIMain: the world simulation's start and end: the map grids are allocated
// once for the whole run and freed at its end.
#pragma once

void AIMain_Initialization();
void AIMain_Finalization();

#include "model/AIMain.h"

#include "model/ScenarioMap_Tables.h"

void AIMain_Initialization()
{
    AllocateMapGrids();
}

void AIMain_Finalization()
{
    FreeMapGrids();
}

#include "model/BetaLog.h"

void BetaLogWriteScenarioStart()
{
    // The log itself is not kept yet: nothing to append to.
}

// The sample installation's tables, loaded as the game loads them, for the
// benchmarks that play on them. The program that uses it defines
// DUSKMARCH_INSTALL.
#pragma once

#include "model/ai/AIMain.h"
#include "model/ai/AIMain_Settings.h"
#include "model/tables/Global.h"
#include "model/Support.h"
#include "platform/os/OS.h"

inline void LoadSampleTables()
{
    SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL) + "\\");
    SetGameLanguage("eng");
    LoadBonuses();
    LoadSpells();
    LoadItems();
    LoadUnitTypes();
    AI_LoadSettings();
    AIMain_Initialization();
}

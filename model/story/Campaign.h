// Campaign: the hero's army carried from one scenario of a campaign into the
// next. The game loading worker stores the army, its personages, items and
// gold and the scenario variables before it loads the next map, and puts
// them into the new world after its set-up, as far as the new scenario's
// carry-over switches allow.
#pragma once

#include <cstdint>

#include "engine/QX9_System.h"
#include "model/world/World_Tables.h"

// What is carried; lives from the end of one scenario to the set-up of the
// next (only Items is freed by the restoring).
struct TCampaignHero {
    int64_t Clock = 0;     // GameClock at the end of the old scenario
    int32_t StartDate = 0; // GameStartDate of the old scenario
    TGameArmy Army{};      // the player's army record
    TIntArray Items;       // the player's carried items, element 0 included
    TArmyUnits Units{};    // the player's 15 personage slots
    int32_t Gold = 0;
    TIntArray Variables;            // ScenarioVariables
    TWideStringArray VariableNames; // ScenarioVariableNames
};

extern TCampaignHero CampaignHero;

// Stores the running game's hero army and variables; sets CampaignContinued.
void SaveCampaignHero();
// Puts the stored army into the freshly set-up world of the next scenario;
// clears CampaignContinued.
void RestoreCampaignHero();

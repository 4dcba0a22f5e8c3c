// Encounters: what an army that has just stepped into a new cell runs into
// there (nothing, a friendly army, a hostile army, a building it entered),
// the parties it met, the assault values of a walled building, and the
// silent battles a computer army fights against the parties it met. The map
// screen (and the headless world run) calls RunEncounterStep for every army
// that moved in a frame.
#pragma once

#include <cstdint>

#include "engine/QX9_System.h"

enum class TEncounterKind : uint8_t {
    None = 0,
    Move = 1,
    Talk = 2,
    Battle = 3,
    Assault = 4,
    Siege = 5, // never the answer of ResolveEncounter
    Attack = 6,
    Capture = 7,
    Building = 8,
};
constexpr int EncounterKindCount = 9;
// "None" .. "Building".
extern const char* const EncounterKindNames[EncounterKindCount];

// The parties met by the last ResolveEncounter: army numbers, a building b
// as -b (its garrison army ArmyCount + b).
extern TIntArray MetArmies;

// What army a has run into where it stands; fills MetArmies and, for an
// assault, AssaultParams (otherwise sets "no assault"). A hidden army meets
// nothing and leaves both as they were.
TEncounterKind ResolveEncounter(int32_t army);
void AddMetArmy(int32_t entry);
// AssaultParams for an assault of `building` by `attacker`: the building's
// values, its garrison's defenders and those of the hostile armies
// stationed in it.
void SetAssaultParams(int32_t attacker, int32_t building);
// The shooting strength of an active army's defenders (shooters' AttackShot,
// guards' AttackBlow div 3), added to AssaultParams.DefenceFire, which stops
// at its 16-bit maximum instead of wrapping round.
void AddAssaultDefenders(int32_t army);
// Whether the answer is a battle: Battle, Assault or Attack.
bool IsBattleEncounter(TEncounterKind kind);

// One battle of army against party (an army or a garrison army), applied to
// the map; the army's side result (0 won, 1 undecided, 2 retreated, 3 lost,
// 4 routed).
using TPartyBattle = uint8_t (*)(int32_t army, int32_t party);
// The silent battle of two computer armies on the battle engine: the sides
// built (army side 1), TBattle.Init in silent mode on arena 0 by day 0, and
// the aftermath.
uint8_t SilentMapBattle(int32_t army, int32_t party);
// Installs the battle AI_Army_BattleMetArmies fights each party with
// (nullptr: SilentMapBattle).
void SetMapBattle(TPartyBattle battle);

// Fights the parties of MetArmies in order with `fight`: a party without an
// able personage is passed over; the loop stops when the army has no
// personage left or a battle ended undecided, retreated or lost (a routed
// side 1 goes on). When the first party is a building and the last result
// is a win, the army captures it. The last result (0 before any battle).
uint8_t FightMetArmies(int32_t army, TPartyBattle fight);
// FightMetArmies with the installed battle.
uint8_t AI_Army_BattleMetArmies(int32_t army);

// The map frame's step for an army that moved: ResolveEncounter and, for a
// computer army, the follow-up the answer calls for (a building visit, a
// capture or its silent battles). The player's army only resolves: its
// dialogs are the screens' business, except its capture, which the step
// makes. With leavePlayerMeetings a computer army whose MetArmies hold the
// player's army does not fight: the caller takes that meeting to the
// player's battle. One line to the world log per encounter beyond passing
// by.
TEncounterKind RunEncounterStep(int32_t army, bool leavePlayerMeetings = false);

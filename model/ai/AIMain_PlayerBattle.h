// The player's battle fought headless: where the game opens the assault
// dialog and the battle screen, the headless world run and the map screen's
// stand-in play the battle silently with the computer deciding for both
// sides.
#pragma once

#include <cstdint>

// One battle of the player's army against a met party as the battle
// loading window sets it up (formations checked, both sides built, the
// arena and light of the player's cell, telemetry record 25), played
// silently, then the aftermath and record 32. The player's side result.
uint8_t HeadlessPlayerBattle(int32_t army, int32_t party);

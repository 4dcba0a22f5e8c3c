// The world run's stand-in for the map screen's encounter step: every army
// that moved resolves its encounter; a computer army visits, captures or
// fights silently, and a battle or assault of the player's army is fought
// headless where the game would open the assault dialog and the battle
// screen.
#pragma once

#include <cstdint>

#include "model/world/World_Frame.h"

class TWorldRunHooks : public TWorldFrameHooks {
public:
    void Encounter(int32_t army) override;
};

// One battle of the player's army against a met party as the battle
// loading window sets it up (formations checked, both sides built, the
// arena and light of the player's cell, telemetry record 25), played
// silently with the computer deciding for both sides, then the aftermath
// and record 32. The player's side result.
uint8_t HeadlessPlayerBattle(int32_t army, int32_t party);

// The world run's stand-in for the map screen's encounter step: every army
// that moved resolves its encounter; a computer army visits, captures or
// fights silently, and a battle or assault of the player's army is fought
// headless where the game would open the assault dialog and the battle
// screen.
#pragma once

#include <cstdint>

#include "model/ai/AIMain_PlayerBattle.h"
#include "model/world/World_Frame.h"

class TWorldRunHooks : public TWorldFrameHooks {
public:
    void Encounter(int32_t army) override;
};

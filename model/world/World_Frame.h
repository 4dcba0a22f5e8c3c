// World_Frame: the world's part of a strategic map frame, in one place for
// the map screen and the headless run: the clock step, the re-plan queue,
// each army's activity and walk with its encounter, the player's follow
// order and the search for a due story event. Encounters and story events
// plug in through TWorldFrameHooks.
//
// After its army loop the frame publishes a copy of what the map renderer
// draws of each army. The renderer runs on its own thread and reads only
// that copy, never the world tables the frame writes.
#pragma once

#include <cstdint>
#include <vector>

class TWorldFrameHooks {
public:
    virtual ~TWorldFrameHooks() = default;
    // The army stepped into a new cell this frame.
    virtual void Encounter(int32_t army) { (void)army; }
    // The map screen's event window is free: look for a due story event.
    virtual void FindDueEvent() {}
};

// The hooks installed, or the default that does nothing. Never null.
TWorldFrameHooks& WorldFrameHooks();
// Installs hooks (nullptr restores the default).
void SetWorldFrameHooks(TWorldFrameHooks* hooks);

// One frame of the world: step is game minutes x 10000; approachCheck is
// 1 while the clock runs at the player's game speed. A paused frame leaves
// the world as it is and only publishes the render copy. True when the
// daily work ran in this frame.
bool RunWorldFrame(int64_t step, bool paused, uint8_t approachCheck);

// What the map renderer draws of an army.
struct TArmyRenderState {
    float Pos[3] = {0, 0, 0};
    int64_t ShownHeading = 0;
    uint8_t Hidden = 0;
    uint8_t Active = 0;
};

// Copies the armies 0..ArmyCount into the back buffer and makes it the one
// readers see (the world frame calls it; the world set-up's caller may too).
void PublishArmyRenderStates();
// The last published copy, safe from any thread.
void ReadArmyRenderStates(std::vector<TArmyRenderState>& states);
// Forgets what the frame keeps from one frame to the next: the position of
// the army the player follows and both render copies.
void ResetWorldFrame();

#include "model/world/World_Frame.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>

#include "engine/QX9_PathFinder.h"
#include "model/ai/AIMain_Strategy.h"
#include "model/ai/AIMain_Targets.h"
#include "model/ai/AIMain_Walking.h"
#include "model/world/World_Access.h"
#include "model/world/World_Clock.h"

namespace {

TWorldFrameHooks DefaultHooks;
TWorldFrameHooks* InstalledHooks = nullptr;

// The position of the army the player follows when the frame last looked.
float FollowedPos[3] = {0, 0, 0};

// Two buffers: the frame fills the back one without the lock, then swaps
// under it; readers copy the front one under the lock. A reader therefore
// never sees a buffer being written.
struct TRenderCopy {
    std::mutex Lock;
    std::vector<TArmyRenderState> Buffers[2];
    int Front = 0;
};
TRenderCopy RenderCopy;

void FollowPlayerTarget()
{
    const TGameArmy* target =
        PlayerTargetArmy > 0 && PlayerTargetArmy <= ArmyCount ? FindArmy(PlayerTargetArmy) : nullptr;
    if (target == nullptr || std::memcmp(target->Pos, FollowedPos, sizeof FollowedPos) == 0)
        return;
    std::memcpy(FollowedPos, target->Pos, sizeof FollowedPos);
    PlayerTargetCell = target->Cell;
    AI_PlanRoute(PlayerArmy);
}

} // namespace

TWorldFrameHooks& WorldFrameHooks()
{
    return InstalledHooks != nullptr ? *InstalledHooks : DefaultHooks;
}

void SetWorldFrameHooks(TWorldFrameHooks* hooks)
{
    InstalledHooks = hooks;
}

bool RunWorldFrame(int64_t step, bool paused, uint8_t approachCheck)
{
    bool dayMark = false;
    if (!paused) {
        FirstArmy = 0;
        ApproachCheck = approachCheck;
        dayMark = AdvanceGameClock(step);
        if (ReplanQueue.Queued > 0)
            AI_ProcessReplans();
        for (int32_t a = FirstArmy; a <= ArmyCount; ++a)
            if (AI_Army_Active(a) && AI_Army_Move(a, step))
                WorldFrameHooks().Encounter(a);
        FollowPlayerTarget();
        WorldFrameHooks().FindDueEvent();
    }
    PublishArmyRenderStates();
    return dayMark;
}

void PublishArmyRenderStates()
{
    std::vector<TArmyRenderState>* back = nullptr;
    {
        std::lock_guard<std::mutex> lock(RenderCopy.Lock);
        back = &RenderCopy.Buffers[RenderCopy.Front ^ 1];
    }
    const int32_t count = std::max(0, std::min<int32_t>(ArmyCount + 1, static_cast<int32_t>(GameArmies.size())));
    back->resize(static_cast<size_t>(count));
    for (int32_t a = 0; a < count; ++a) {
        const TGameArmy& army = GameArmies[static_cast<size_t>(a)];
        TArmyRenderState& state = (*back)[static_cast<size_t>(a)];
        std::memcpy(state.Pos, army.Pos, sizeof state.Pos);
        state.ShownHeading = army.ShownHeading;
        state.Hidden = army.Hidden;
        state.Active = army.Active;
    }
    std::lock_guard<std::mutex> lock(RenderCopy.Lock);
    RenderCopy.Front ^= 1;
}

void ReadArmyRenderStates(std::vector<TArmyRenderState>& states)
{
    std::lock_guard<std::mutex> lock(RenderCopy.Lock);
    states = RenderCopy.Buffers[RenderCopy.Front];
}

void ResetWorldFrame()
{
    std::fill(std::begin(FollowedPos), std::end(FollowedPos), 0.0f);
    std::lock_guard<std::mutex> lock(RenderCopy.Lock);
    for (std::vector<TArmyRenderState>& buffer : RenderCopy.Buffers)
        std::vector<TArmyRenderState>().swap(buffer);
    RenderCopy.Front = 0;
}

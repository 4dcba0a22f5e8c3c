#include "screens/front/Duskmarch_Replay.h"

TRunOptions RunOptions;

bool ParseRunOptions(const std::vector<std::string>& parameters, TRunOptions& options, std::string&)
{
    options.RecorderParameters = parameters;
    return true;
}

bool TestMode()
{
    return RunOptions.FrameMs > 0;
}

void StartupPhase(const char*) {}

void Replay_Begin() {}

void Replay_BeforePresent() {}

int32_t Replay_ExitCode()
{
    return 0;
}

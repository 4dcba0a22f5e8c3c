#include "model/world/World_Log.h"

namespace {
TWorldLogSink Sink = nullptr;
} // namespace

void SetWorldLogSink(TWorldLogSink sink)
{
    Sink = sink;
}

bool WorldLogActive()
{
    return Sink != nullptr;
}

void WorldLog(const std::string& line)
{
    if (Sink != nullptr)
        Sink(line);
}

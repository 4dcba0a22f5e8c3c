// Any bytes as a run script (or the typed text beside a recording) and as an
// input record: nothing read beyond the data, and what is read holds
// together.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "screens/front/Duskmarch_InputRecorder.h"
#include "screens/front/Duskmarch_Replay.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<TScriptStep> steps;
    std::string error;
    if (ParseReplayScript(text, steps, error)) {
        int32_t line = 1;
        for (const TScriptStep& step : steps) {
            FuzzCheck(step.Line > line);
            line = step.Line;
            if (step.Op != TScriptOp::Text)
                continue;
            // Typed text written back as a line reads back the same.
            std::vector<TScriptStep> again;
            FuzzCheck(ParseReplayScript(std::string(ScriptHead) + "\n" + ScriptTextLine(7, step.Text), again, error));
            FuzzCheck(again.size() == 1 && again[0].Text == step.Text && again[0].AtFrame == 7);
        }
    } else {
        FuzzCheck(error.rfind("line ", 0) == 0 && steps.empty());
    }

    TInputRecord record;
    std::string warning;
    if (ReadInputRecord(data, size, record, warning)) {
        const size_t used = static_cast<size_t>(InputRecordHeadSize) + static_cast<size_t>(record.Blocks) * 8 +
                            record.KeyFrames.size() * InputKeyFrameSize +
                            record.MouseSamples.size() * InputMouseSampleSize;
        FuzzCheck(used <= size);
        FuzzCheck(warning.empty() == (used == size));
        (void)RecordedKeysAt(record, 0);
        (void)RecordedMouseAt(record, INT32_MAX);
    } else {
        FuzzCheck(size < static_cast<size_t>(InputRecordHeadSize));
    }
    return 0;
}

#include "screens/front/Duskmarch_InputRecorder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/os/OS.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Replay.h"

uint8_t InputRecorderMode = InputRecorderOff;
std::string InputRecordName;
THandle InputRecordFile = INVALID_HANDLE_VALUE;
int32_t InputRecordLastFlush = 0;
int32_t InputRecordInterval = 1000;
int64_t InputRecordWritten = 0;
int32_t ReplayScreenWidth = 0;
int32_t ReplayScreenHeight = 0;
std::vector<TInputKeyFrame> KeyFrames;
int32_t KeyFrameCount = 0;
std::vector<TInputMouseSample> MouseSamples;
int32_t MouseSampleCount = 0;
TInputRecord ReplayRecord;
THandle InputTextFile = INVALID_HANDLE_VALUE;
std::vector<TReplayText> ReplayTexts;

namespace {

const char* const DefaultRecordName = "Duskmarch.replay";

void PutInt32(std::vector<uint8_t>& out, int32_t value)
{
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(bits >> shift));
}

int32_t GetInt32(const uint8_t* data)
{
    uint32_t bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = (bits << 8) | data[i];
    return static_cast<int32_t>(bits);
}

bool SameKeys(const std::array<TGUI_KeyState, GUI_KEY_COUNT>& a, const std::array<TGUI_KeyState, GUI_KEY_COUNT>& b)
{
    static_assert(sizeof(TGUI_KeyState) == 3, "a key state is three bytes in the record");
    return std::memcmp(a.data(), b.data(), sizeof(TGUI_KeyState) * GUI_KEY_COUNT) == 0;
}

// Grows an array in whole steps, so that appending rarely allocates.
template <typename T> T& AppendSlot(std::vector<T>& items, int32_t& count)
{
    if (count >= static_cast<int32_t>(items.size()))
        items.resize(items.size() + InputRecordGrowth);
    return items[count++];
}

void WriteRecordBytes(const std::vector<uint8_t>& bytes)
{
    if (InputRecordFile == INVALID_HANDLE_VALUE || bytes.empty())
        return;
    if (OS_SeekFile(InputRecordFile, InputRecordWritten, 0) < 0)
        return;
    InputRecordWritten += OS_WriteFile(InputRecordFile, bytes.data(), static_cast<int64_t>(bytes.size()));
}

void CloseRecordFile()
{
    if (InputRecordFile != INVALID_HANDLE_VALUE)
        OS_CloseHandle(InputRecordFile);
    InputRecordFile = INVALID_HANDLE_VALUE;
    if (InputTextFile != INVALID_HANDLE_VALUE)
        OS_CloseHandle(InputTextFile);
    InputTextFile = INVALID_HANDLE_VALUE;
}

const char* const TextFileExtension = ".text";

void WriteTextLine(const std::string& line)
{
    if (InputTextFile == INVALID_HANDLE_VALUE)
        return;
    const std::string bytes = line + "\n";
    OS_WriteFile(InputTextFile, bytes.data(), static_cast<int64_t>(bytes.size()));
}

// Recording: the text typed since the last frame goes out with the frame's
// number.
void CaptureText()
{
    if (!GUI_Input.TypedText.empty())
        WriteTextLine(ScriptTextLine(ReplayFrameNumber(), GUI_Input.TypedText));
}

// Replay: the typed text of a recording, when it has any; a text file that
// can't be read is reported and left out.
void ReadReplayTexts(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (!OS_ReadWholeFile(path, bytes))
        return;
    std::vector<TScriptStep> steps;
    std::string error;
    if (!ParseReplayScript(std::string(bytes.begin(), bytes.end()), steps, error)) {
        std::fprintf(stderr, "Input recorder: \"%s\": %s; the replay runs without typed text\n", path.c_str(),
                     error.c_str());
        return;
    }
    for (const TScriptStep& step : steps)
        if (step.Op == TScriptOp::Text && step.AtFrame > 0)
            ReplayTexts.push_back({step.AtFrame, step.Text});
    std::stable_sort(ReplayTexts.begin(), ReplayTexts.end(),
                     [](const TReplayText& a, const TReplayText& b) { return a.Frame < b.Frame; });
}

// Replay: the frame takes the recorded keys and mouse in force at its time;
// whatever the real devices did in between is overwritten.
void ReplayFrame()
{
    const int32_t now = GUI_Now();
    if (const TInputKeyFrame* keys = RecordedKeysAt(ReplayRecord, now))
        GUI_Keys = keys->Keys;
    if (const TInputMouseSample* mouse = RecordedMouseAt(ReplayRecord, now)) {
        GUI_SetClientPoint(mouse->X, mouse->Y);
        GUI_Input.Wheel = mouse->Wheel;
    }
    const int32_t frame = ReplayFrameNumber();
    auto it = std::lower_bound(ReplayTexts.begin(), ReplayTexts.end(), frame,
                               [](const TReplayText& text, int32_t f) { return text.Frame < f; });
    GUI_Input.TypedText.clear();
    for (; it != ReplayTexts.end() && it->Frame == frame; ++it)
        GUI_Input.TypedText += it->Text;
}

} // namespace

void ShutdownInputRecorder()
{
    CloseRecordFile();
    InputRecorderMode = InputRecorderOff;
    InputRecordName.clear();
    InputRecordLastFlush = 0;
    InputRecordInterval = 1000;
    InputRecordWritten = 0;
    ReplayScreenWidth = 0;
    ReplayScreenHeight = 0;
    KeyFrames.clear();
    KeyFrameCount = 0;
    MouseSamples.clear();
    MouseSampleCount = 0;
    ReplayRecord = {};
    ReplayTexts.clear();
}

void InitInputRecorder(const std::vector<std::string>& parameters)
{
    ShutdownInputRecorder();
    if (parameters.empty())
        return;
    const std::string verb = LowerCaseStr(parameters[0]);
    const bool record = verb == "gamerecord";
    if (!record && verb != "gamereplay")
        return;
    InputRecordName = parameters.size() > 1 ? parameters[1] : DefaultRecordName;
    const std::string path = ExePath + InputRecordName;

    if (record) {
        // Started anew: an older, longer recording must not leave its tail
        // behind the new blocks.
        InputRecordFile = OS_CreateFileWrite(path);
        if (InputRecordFile == INVALID_HANDLE_VALUE)
            std::fprintf(stderr, "Input recorder: cannot write \"%s\"; the game runs without recording\n",
                         path.c_str());
        InputTextFile = OS_CreateFileWrite(path + TextFileExtension);
        WriteTextLine(ScriptHead);
        InputRecorderMode = InputRecorderRecording;
        return;
    }

    std::vector<uint8_t> bytes;
    if (!OS_ReadWholeFile(path, bytes))
        return;
    std::string warning;
    if (!ReadInputRecord(bytes.data(), bytes.size(), ReplayRecord, warning)) {
        std::fprintf(stderr, "Input recorder: \"%s\" is not a record; the game runs without replay\n", path.c_str());
        ReplayRecord = {};
        return;
    }
    if (!warning.empty())
        std::fprintf(stderr, "Input recorder: \"%s\": %s\n", path.c_str(), warning.c_str());
    ReadReplayTexts(path + TextFileExtension);
    ReplayScreenWidth = ReplayRecord.ScreenWidth;
    ReplayScreenHeight = ReplayRecord.ScreenHeight;
    InputRecorderMode = InputRecorderReplaying;
}

void ApplyReplayScreenSize(int32_t& screenWidth, int32_t& screenHeight)
{
    if (InputRecorderMode != InputRecorderReplaying)
        return;
    if (screenWidth >= ReplayScreenWidth && screenHeight >= ReplayScreenHeight) {
        screenWidth = ReplayScreenWidth;
        screenHeight = ReplayScreenHeight;
        return;
    }
    InputRecorderMode = InputRecorderOff;
}

void CaptureInput()
{
    const int32_t now = GUI_Now();
    if (KeyFrameCount == 0 || !SameKeys(KeyFrames[KeyFrameCount - 1].Keys, GUI_Keys)) {
        TInputKeyFrame& frame = AppendSlot(KeyFrames, KeyFrameCount);
        frame.Time = now;
        frame.Keys = GUI_Keys;
    }
    if (MouseSampleCount == 0 || MouseSamples[MouseSampleCount - 1].X != GUI_Input.ClientX ||
        MouseSamples[MouseSampleCount - 1].Y != GUI_Input.ClientY ||
        MouseSamples[MouseSampleCount - 1].Wheel != GUI_Input.Wheel) {
        AppendSlot(MouseSamples, MouseSampleCount) = {now, GUI_Input.ClientX, GUI_Input.ClientY, GUI_Input.Wheel};
    }
}

void FlushInputRecord(bool forced)
{
    const int32_t now = GUI_Now();
    std::vector<uint8_t> bytes;
    if (InputRecordLastFlush == 0) {
        InputRecordLastFlush = now;
        PutInt32(bytes, RenderSettings.ScreenWidth);
        PutInt32(bytes, RenderSettings.ScreenHeight);
        WriteRecordBytes(bytes);
        return;
    }
    // Compared as a difference: engine times stay far from wrapping, but a
    // sum could.
    if (!forced && static_cast<int64_t>(now) - InputRecordLastFlush <= InputRecordInterval)
        return;
    InputRecordLastFlush = now;
    bytes.reserve(8 + static_cast<size_t>(KeyFrameCount) * InputKeyFrameSize +
                  static_cast<size_t>(MouseSampleCount) * InputMouseSampleSize);
    PutInt32(bytes, KeyFrameCount);
    for (int32_t i = 0; i < KeyFrameCount; ++i) {
        PutInt32(bytes, KeyFrames[i].Time);
        const auto* keys = reinterpret_cast<const uint8_t*>(KeyFrames[i].Keys.data());
        bytes.insert(bytes.end(), keys, keys + GUI_KEY_COUNT * 3);
    }
    PutInt32(bytes, MouseSampleCount);
    for (int32_t i = 0; i < MouseSampleCount; ++i) {
        PutInt32(bytes, MouseSamples[i].Time);
        PutInt32(bytes, MouseSamples[i].X);
        PutInt32(bytes, MouseSamples[i].Y);
        PutInt32(bytes, MouseSamples[i].Wheel);
    }
    WriteRecordBytes(bytes);
    KeyFrameCount = 0;
    MouseSampleCount = 0;
}

void InputRecorderTick()
{
    if (InputRecorderMode == InputRecorderRecording) {
        CaptureInput();
        CaptureText();
        FlushInputRecord(false);
    } else if (InputRecorderMode == InputRecorderReplaying) {
        ReplayFrame();
    }
}

bool ReadInputRecord(const uint8_t* data, size_t size, TInputRecord& record, std::string& warning)
{
    record = {};
    warning.clear();
    if (data == nullptr || size < static_cast<size_t>(InputRecordHeadSize))
        return false;
    record.ScreenWidth = GetInt32(data);
    record.ScreenHeight = GetInt32(data + 4);
    size_t at = InputRecordHeadSize;
    while (at < size) {
        // Counts come from the file: each is checked against what is left
        // before anything is read or reserved.
        const size_t blockStart = at;
        auto readCount = [&](size_t itemSize, int32_t& count) {
            if (size - at < 4)
                return false;
            count = GetInt32(data + at);
            at += 4;
            return count >= 0 && static_cast<uint64_t>(count) * itemSize <= size - at;
        };
        int32_t keyCount = 0;
        if (!readCount(InputKeyFrameSize, keyCount)) {
            at = blockStart;
            break;
        }
        const size_t keysAt = at;
        at += static_cast<size_t>(keyCount) * InputKeyFrameSize;
        int32_t mouseCount = 0;
        if (!readCount(InputMouseSampleSize, mouseCount)) {
            at = blockStart;
            break;
        }
        for (int32_t i = 0; i < keyCount; ++i) {
            const uint8_t* frame = data + keysAt + static_cast<size_t>(i) * InputKeyFrameSize;
            TInputKeyFrame& key = record.KeyFrames.emplace_back();
            key.Time = GetInt32(frame);
            std::memcpy(key.Keys.data(), frame + 4, GUI_KEY_COUNT * 3);
        }
        for (int32_t i = 0; i < mouseCount; ++i) {
            const uint8_t* sample = data + at + static_cast<size_t>(i) * InputMouseSampleSize;
            record.MouseSamples.push_back(
                {GetInt32(sample), GetInt32(sample + 4), GetInt32(sample + 8), GetInt32(sample + 12)});
        }
        at += static_cast<size_t>(mouseCount) * InputMouseSampleSize;
        ++record.Blocks;
    }
    if (at < size)
        warning = "the record ends inside a block; it replays up to the last whole block";
    return true;
}

const TInputKeyFrame* RecordedKeysAt(const TInputRecord& record, int32_t time)
{
    const auto it = std::upper_bound(record.KeyFrames.begin(), record.KeyFrames.end(), time,
                                     [](int32_t t, const TInputKeyFrame& frame) { return t < frame.Time; });
    return it == record.KeyFrames.begin() ? nullptr : &*(it - 1);
}

const TInputMouseSample* RecordedMouseAt(const TInputRecord& record, int32_t time)
{
    const auto it = std::upper_bound(record.MouseSamples.begin(), record.MouseSamples.end(), time,
                                     [](int32_t t, const TInputMouseSample& sample) { return t < sample.Time; });
    return it == record.MouseSamples.begin() ? nullptr : &*(it - 1);
}

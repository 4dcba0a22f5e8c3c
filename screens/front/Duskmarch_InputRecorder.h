// Duskmarch_InputRecorder: the recorder of the raw user input. "gamerecord"
// on the command line writes the GUI key table and the mouse, time-stamped,
// to a record file at most once a second; "gamereplay" opens such a file and
// feeds it back into the input tables frame by frame.
//
// Record file (little-endian, no magic): the screen width and height (i32
// each), then flush blocks to the end of the data: i32 K, K key frames of 778
// bytes (i32 time, then the 258 key states of three bytes each), i32 M, M
// mouse samples of 16 bytes (i32 time, client x, client y, wheel sum).
//
// Threads: everything here belongs to the main thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_System.h"
#include "render/QX9_GUI.h"

inline constexpr uint8_t InputRecorderOff = 0;
inline constexpr uint8_t InputRecorderRecording = 1;
inline constexpr uint8_t InputRecorderReplaying = 2;

inline constexpr int32_t InputRecordHeadSize = 8;
inline constexpr int32_t InputKeyFrameSize = 4 + GUI_KEY_COUNT * 3; // 778
inline constexpr int32_t InputMouseSampleSize = 16;
// The arrays grow by this many entries at a time, so appending rarely allocates.
inline constexpr int32_t InputRecordGrowth = 10000;

struct TInputKeyFrame {
    int32_t Time = 0; // engine ms of the frame
    std::array<TGUI_KeyState, GUI_KEY_COUNT> Keys{};
};

struct TInputMouseSample {
    int32_t Time = 0;
    int32_t X = 0; // client pixels
    int32_t Y = 0;
    int32_t Wheel = 0; // the frame's wheel sum
};

extern uint8_t InputRecorderMode;    // InputRecorderOff, ...Recording, ...Replaying
extern std::string InputRecordName;  // relative to ExePath
extern THandle InputRecordFile;      // INVALID_HANDLE_VALUE before set-up
extern int32_t InputRecordLastFlush; // 0: the head is not written yet
extern int32_t InputRecordInterval;  // ms between flushes
extern int64_t InputRecordWritten;   // bytes written so far (the end of the data)
extern int32_t ReplayScreenWidth;    // the recorded screen size (replay)
extern int32_t ReplayScreenHeight;
extern std::vector<TInputKeyFrame> KeyFrames;
extern int32_t KeyFrameCount;
extern std::vector<TInputMouseSample> MouseSamples;
extern int32_t MouseSampleCount;

// Set-up from the command line (the parameters after the program name):
// "gamerecord [name]" records into ExePath + name (the file is started
// anew), "gamereplay [name]" replays ExePath + name when it exists and reads
// correctly. Names default to "Duskmarch.replay"; the first word counts in
// any letter case. Called before the renderer is created.
void InitInputRecorder(const std::vector<std::string>& parameters);
// Replay: when the configured screen is at least the recorded size, the
// screen becomes the recorded size; otherwise replay is switched off.
void ApplyReplayScreenSize(int32_t& screenWidth, int32_t& screenHeight);
// The GUI processor's pre-frame hook: records (capture, then flush when due)
// or replays the frame's input.
void InputRecorderTick();
// Appends a key frame and a mouse sample when the input changed since the
// last ones (always one of each first after a flush). The time stamp is the
// frame's time, sampled at the frame's start.
void CaptureInput();
// The first call writes the head; later ones write a block once the
// interval has passed, or at once when forced.
void FlushInputRecord(bool forced);
// Closes the file and puts every variable back to its start value.
void ShutdownInputRecorder();

// ---------------------------------------------------------------------------
// Reading a record back

struct TInputRecord {
    int32_t ScreenWidth = 0;
    int32_t ScreenHeight = 0;
    std::vector<TInputKeyFrame> KeyFrames; // every block's, in order
    std::vector<TInputMouseSample> MouseSamples;
    int32_t Blocks = 0;
};

// Parses a record. False only when the head is missing. A block that runs
// past the end of the data ends the record at the last whole block and sets
// the warning (the frames read so far are kept).
bool ReadInputRecord(const uint8_t* data, size_t size, TInputRecord& record, std::string& warning);

// The recorded input in force at a frame time: the last key frame and mouse
// sample at or before it (nullptr before the first).
const TInputKeyFrame* RecordedKeysAt(const TInputRecord& record, int32_t time);
const TInputMouseSample* RecordedMouseAt(const TInputRecord& record, int32_t time);

// The record being replayed (read at set-up).
extern TInputRecord ReplayRecord;

// ---------------------------------------------------------------------------
// Typed text. The record file has no place for it, so a recording also
// writes the text typed in each frame to the record's name + ".text", as
// script lines (at FRAME text "..."); a replay reads that file when it is
// there and gives each frame its text.

extern THandle InputTextFile; // recording: the open text file
struct TReplayText {
    int32_t Frame = 0;
    std::u16string Text;
};
extern std::vector<TReplayText> ReplayTexts; // replay: in frame order

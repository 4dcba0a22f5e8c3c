#include "screens/front/Duskmarch_Replay.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <set>

#include "engine/QX9_System.h"
#include "engine/QX9_System_Window.h"
#include "model/Support.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Digest.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Particles.h"
#include "render/QX9_Render_Png.h"
#include "render/QX9_Render_Scenes.h"
#include "screens/front/Duskmarch_InputRecorder.h"

TRunOptions RunOptions;

namespace {

// The moment the program image was set up: start-up phases count from here.
const std::chrono::steady_clock::time_point ProgramEntry = std::chrono::steady_clock::now();
std::mutex StartupPhaseLock;

// Read by the engine clock, which the loader thread samples too.
std::atomic<int32_t> FrameNumber{0};

// The real timer's value at program start: the fixed clock counts from it.
constexpr uint32_t FixedTimerStart = 60000;
// Local time of a test run: 2025-01-01 12:00:00 plus the engine time.
constexpr int64_t FixedLocalStart = 1735732800;

// ---------------------------------------------------------------------------
// Number words

bool ParseInt64(const std::string& word, int64_t low, int64_t high, int64_t& value)
{
    if (word.empty())
        return false;
    const char* first = word.data();
    const char* last = word.data() + word.size();
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        first += 2;
        base = 16;
    }
    int64_t parsed = 0;
    const auto [end, ec] = std::from_chars(first, last, parsed, base);
    if (ec != std::errc() || end != last || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

bool ParseInt32(const std::string& word, int64_t low, int64_t high, int32_t& value)
{
    int64_t parsed = 0;
    if (!ParseInt64(word, low, high, parsed))
        return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

// ---------------------------------------------------------------------------
// Script lines

struct TNamedKey {
    const char* Name;
    uint8_t Key;
};
constexpr TNamedKey NamedKeys[] = {
    {"esc", VK_ESCAPE},  {"escape", VK_ESCAPE},   {"enter", VK_RETURN},   {"return", VK_RETURN}, {"space", VK_SPACE},
    {"tab", VK_TAB},     {"back", VK_BACK},       {"backspace", VK_BACK}, {"left", VK_LEFT},     {"right", VK_RIGHT},
    {"up", VK_UP},       {"down", VK_DOWN},       {"home", VK_HOME},      {"end", VK_END},       {"delete", VK_DELETE},
    {"shift", VK_SHIFT}, {"control", VK_CONTROL}, {"console", VK_OEM_3},
};

// A virtual key: a number (decimal or 0x hex) 1..255, a letter or digit, a
// function key "F1".."F12" or one of the names above.
bool ParseVirtualKey(const std::string& word, int32_t& key)
{
    if (word.size() == 1) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            key = c;
            return true;
        }
        return false;
    }
    const std::string lower = LowerCaseStr(word);
    for (const TNamedKey& named : NamedKeys)
        if (lower == named.Name) {
            key = named.Key;
            return true;
        }
    int32_t function = 0;
    if (lower[0] == 'f' && ParseInt32(lower.substr(1), 1, 12, function) && lower[1] != '0') {
        key = VK_F1 + function - 1;
        return true;
    }
    return ParseInt32(word, 1, 255, key);
}

// Appends one code point as UTF-8.
void PutUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Reads one UTF-8 sequence at text[at]; false for a malformed one.
bool TakeUtf8(const std::string& text, size_t& at, uint32_t& c)
{
    const auto lead = static_cast<uint8_t>(text[at]);
    int more = 0;
    uint32_t least = 0;
    if (lead < 0x80) {
        c = lead;
        ++at;
        return true;
    }
    if ((lead & 0xE0) == 0xC0) {
        c = lead & 0x1F;
        more = 1;
        least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        c = lead & 0x0F;
        more = 2;
        least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        c = lead & 0x07;
        more = 3;
        least = 0x10000;
    } else {
        return false;
    }
    if (text.size() - at <= static_cast<size_t>(more))
        return false;
    for (int i = 1; i <= more; ++i) {
        const auto next = static_cast<uint8_t>(text[at + static_cast<size_t>(i)]);
        if ((next & 0xC0) != 0x80)
            return false;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return false;
    at += static_cast<size_t>(more) + 1;
    return true;
}

// The words of a line: runs of non-blanks, or a quoted text (decoded into
// UTF-16, its escapes resolved). False with the reason on a bad text.
struct TWord {
    std::string Plain;
    std::u16string Text;
    bool Quoted = false;
};

bool SplitWords(const std::string& line, std::vector<TWord>& words, std::string& error)
{
    size_t at = 0;
    while (true) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        if (at >= line.size())
            return true;
        TWord word;
        if (line[at] != '"') {
            const size_t start = at;
            while (at < line.size() && line[at] != ' ' && line[at] != '\t')
                ++at;
            word.Plain = line.substr(start, at - start);
            words.push_back(std::move(word));
            continue;
        }
        word.Quoted = true;
        ++at;
        bool closed = false;
        while (at < line.size()) {
            const char c = line[at];
            if (c == '"') {
                closed = true;
                ++at;
                break;
            }
            if (c == '\\') {
                if (at + 1 >= line.size()) {
                    error = "a text ends inside an escape";
                    return false;
                }
                const char e = line[at + 1];
                if (e == '"' || e == '\\') {
                    word.Text.push_back(static_cast<char16_t>(e));
                    at += 2;
                    continue;
                }
                int32_t unit = 0;
                if (e == 'u' && at + 6 <= line.size() && ParseInt32("0x" + line.substr(at + 2, 4), 0, 0xFFFF, unit) &&
                    line.substr(at + 2, 4).find_first_of("+-") == std::string::npos) {
                    word.Text.push_back(static_cast<char16_t>(unit));
                    at += 6;
                    continue;
                }
                error = "unknown escape in a text (\\\", \\\\ and \\uXXXX are known)";
                return false;
            }
            uint32_t code = 0;
            if (!TakeUtf8(line, at, code)) {
                error = "a text is not UTF-8";
                return false;
            }
            if (code >= 0x10000) {
                code -= 0x10000;
                word.Text.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
                word.Text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
            } else {
                word.Text.push_back(static_cast<char16_t>(code));
            }
        }
        if (!closed) {
            error = "a text has no closing quote";
            return false;
        }
        if (at < line.size() && line[at] != ' ' && line[at] != '\t') {
            error = "a text must be followed by a blank";
            return false;
        }
        words.push_back(std::move(word));
    }
}

bool IsShotName(const std::string& name)
{
    if (name.empty() || name[0] == '.' || name.size() > 100)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
               c == '.';
    });
}

constexpr int64_t MaxFrames = 10000000;

// One step from its words (the "at FRAME" lead already taken off).
bool ParseStep(const std::vector<TWord>& words, size_t first, TScriptStep& step, std::string& error)
{
    const size_t count = words.size() - first;
    auto word = [&](size_t i) -> const std::string& { return words[first + i].Plain; };
    auto quoted = [&](size_t i) { return words[first + i].Quoted; };
    for (size_t i = 1; i < count; ++i)
        if (quoted(i) && !(word(0) == "text" && i == 1)) {
            error = "a quoted text is only allowed after \"text\"";
            return false;
        }
    if (quoted(0)) {
        error = "a step starts with its name, not a text";
        return false;
    }
    const std::string& op = word(0);
    auto expect = [&](size_t n, const char* form) {
        if (count == n)
            return true;
        error = std::string(count < n ? "missing words" : "too many words") + ": \"" + form + "\" expected";
        return false;
    };
    if (op == "frames") {
        step.Op = TScriptOp::Frames;
        if (!expect(2, "frames N"))
            return false;
        if (!ParseInt32(word(1), 0, MaxFrames, step.A)) {
            error = "bad frame count \"" + word(1) + "\"";
            return false;
        }
        return true;
    }
    if (op == "move") {
        step.Op = TScriptOp::Move;
        if (!expect(3, "move X Y"))
            return false;
        if (!ParseInt32(word(1), 0, 32767, step.A) || !ParseInt32(word(2), 0, 32767, step.B)) {
            error = "bad position \"" + word(1) + " " + word(2) + "\"";
            return false;
        }
        return true;
    }
    if (op == "down" || op == "up") {
        step.Op = op == "down" ? TScriptOp::Down : TScriptOp::Up;
        if (!expect(2, "down|up left|right"))
            return false;
        if (word(1) != "left" && word(1) != "right") {
            error = "bad button \"" + word(1) + "\" (left or right)";
            return false;
        }
        step.Right = word(1) == "right";
        return true;
    }
    if (op == "click") {
        step.Op = TScriptOp::Click;
        if (!expect(2, "click NAME"))
            return false;
        step.Name = word(1);
        return true;
    }
    if (op == "key") {
        if (!expect(3, "key down|up VK"))
            return false;
        if (word(1) != "down" && word(1) != "up") {
            error = "bad key action \"" + word(1) + "\" (down or up)";
            return false;
        }
        step.Op = word(1) == "down" ? TScriptOp::KeyDown : TScriptOp::KeyUp;
        if (!ParseVirtualKey(word(2), step.A)) {
            error = "bad key \"" + word(2) + "\"";
            return false;
        }
        return true;
    }
    if (op == "press") {
        step.Op = TScriptOp::Press;
        if (!expect(2, "press VK"))
            return false;
        if (!ParseVirtualKey(word(1), step.A)) {
            error = "bad key \"" + word(1) + "\"";
            return false;
        }
        return true;
    }
    if (op == "wheel") {
        step.Op = TScriptOp::Wheel;
        if (!expect(2, "wheel N"))
            return false;
        if (!ParseInt32(word(1), -32768, 32767, step.A) || step.A == 0) {
            error = "bad wheel delta \"" + word(1) + "\"";
            return false;
        }
        return true;
    }
    if (op == "text") {
        step.Op = TScriptOp::Text;
        if (!expect(2, "text \"...\""))
            return false;
        if (!quoted(1)) {
            error = "the text must be quoted";
            return false;
        }
        step.Text = words[first + 1].Text;
        return true;
    }
    if (op == "wait-window") {
        step.Op = TScriptOp::WaitWindow;
        if (!expect(3, "wait-window NAME N"))
            return false;
        step.Name = word(1);
        if (!ParseInt32(word(2), 1, MaxFrames, step.A)) {
            error = "bad frame limit \"" + word(2) + "\"";
            return false;
        }
        return true;
    }
    if (op == "shot") {
        step.Op = TScriptOp::Shot;
        if (!expect(2, "shot NAME"))
            return false;
        if (!IsShotName(word(1))) {
            error = "bad shot name \"" + word(1) + "\" (letters, digits, '_', '-', '.')";
            return false;
        }
        step.Name = word(1);
        return true;
    }
    if (op == "quit") {
        step.Op = TScriptOp::Quit;
        return expect(1, "quit");
    }
    error = "unknown step \"" + op + "\"";
    return false;
}

// ---------------------------------------------------------------------------
// The running script

struct TReplayRun {
    std::vector<TScriptStep> Steps;
    size_t Index = 0;
    int32_t WaitUntil = 0; // no step runs before this frame
    int32_t Phase = 0;     // the second half of a click or press
    int32_t PhaseStart = 0;
    std::string ShotName; // asked for in ShotFrame
    int32_t ShotLine = 0;
    int32_t ShotFrame = -1;
    int32_t LastPresentFrame = -1;
    bool Scripted = false;
    bool Done = false;
    bool DigestPrinted = false;
    int32_t ExitCode = 0;
    std::string LastActiveWindow;
};
TReplayRun Run;

std::string ActiveWindowName()
{
    const TGUI_Processor* processor = GUI_Input.Processor != nullptr ? GUI_Input.Processor : GUIProcessor;
    if (processor != nullptr && processor->ActiveWindow != nullptr)
        return processor->ActiveWindow->Name;
    return Run.LastActiveWindow;
}

std::vector<std::string> UserFolderFiles()
{
    std::vector<std::string> names;
    if (UserFolder.empty())
        return names;
    TOSFindHandle handle = INVALID_FIND_HANDLE;
    TOSFindData data;
    if (OS_FindFirstFile(UserFolder + "*", handle, data) != 0)
        return names;
    do {
        if ((data.Attributes & 16u) == 0)
            names.push_back(data.Name);
    } while (OS_FindNextFile(handle, data) == 0);
    OS_FindClose(handle);
    return names;
}

void PrintDigest()
{
    if (Run.DigestPrinted)
        return;
    Run.DigestPrinted = true;
    TReplayDigestInput input;
    input.ScenarioLoaded = !LastScenarioName.empty();
    if (input.ScenarioLoaded)
        input.World = WorldDigest();
    input.GameClock = GameClock;
    input.ActiveWindow = ActiveWindowName();
    input.Frames = FrameNumber.load();
    input.UserFiles = UserFolderFiles();
    std::printf("%s\n", FormatReplayDigest(ReplayDigest(input)).c_str());
    std::fflush(stdout);
}

// A step that can't be done ends the run with exit code 2.
void FailRun(int32_t line, const std::string& reason)
{
    std::fprintf(stderr, "replay: script line %d: %s\n", line, reason.c_str());
    std::fflush(stderr);
    Run.ExitCode = 2;
    Run.Done = true;
    PostQuitMessage(2);
}

void FinishRun()
{
    Run.Done = true;
    PrintDigest();
    PostQuitMessage(0);
}

// The element's centre in client pixels.
bool ElementCentre(const std::string& name, int32_t& x, int32_t& y, std::string& error)
{
    const TGUI_Processor* processor = GUI_Input.Processor;
    auto* window = processor != nullptr ? dynamic_cast<TGUI_GraphicWindow*>(processor->ActiveWindow) : nullptr;
    if (window == nullptr) {
        error = "no active window to click \"" + name + "\" in";
        return false;
    }
    const TGUI_Object* object = window->FindObject(name);
    if (object == nullptr) {
        error = "window \"" + window->Name + "\" has no element \"" + name + "\"";
        return false;
    }
    const float vx = static_cast<float>(object->X) + static_cast<float>(object->Width) / 2;
    const float vy = static_cast<float>(object->Y) + static_cast<float>(object->Height) / 2;
    const float sx = GUI_Input.ScaleX > 0 ? GUI_Input.ScaleX : 1;
    const float sy = GUI_Input.ScaleY > 0 ? GUI_Input.ScaleY : 1;
    x = static_cast<int32_t>(vx / sx);
    y = static_cast<int32_t>(vy / sy);
    return true;
}

// Runs the steps due in this frame. Input goes into the window's queue and
// reaches the game in the next frame, as real input would.
void RunScriptSteps(int32_t frame)
{
    HWND window = GetMainWindow();
    while (!Run.Done) {
        if (frame < Run.WaitUntil)
            return;
        if (Run.Index >= Run.Steps.size()) {
            FinishRun();
            return;
        }
        const TScriptStep& step = Run.Steps[Run.Index];
        if (step.AtFrame > frame) {
            Run.WaitUntil = step.AtFrame;
            return;
        }
        switch (step.Op) {
        case TScriptOp::Frames:
            Run.WaitUntil = frame + step.A;
            break;
        case TScriptOp::Move:
            Window_ScriptedMove(window, step.A, step.B);
            break;
        case TScriptOp::Down:
        case TScriptOp::Up:
            Window_ScriptedButton(window, step.Right, step.Op == TScriptOp::Down);
            break;
        case TScriptOp::Click:
            if (Run.Phase == 0) {
                int32_t x = 0, y = 0;
                std::string error;
                if (!ElementCentre(step.Name, x, y, error)) {
                    FailRun(step.Line, error);
                    return;
                }
                Window_ScriptedMove(window, x, y);
                Window_ScriptedButton(window, false, true);
                Run.Phase = 1;
                Run.WaitUntil = frame + 1;
                return;
            }
            Window_ScriptedButton(window, false, false);
            Run.Phase = 0;
            Run.WaitUntil = frame + 1;
            break;
        case TScriptOp::KeyDown:
        case TScriptOp::KeyUp:
            Window_ScriptedKey(window, static_cast<uint8_t>(step.A), step.Op == TScriptOp::KeyDown);
            break;
        case TScriptOp::Press:
            if (Run.Phase == 0) {
                Window_ScriptedKey(window, static_cast<uint8_t>(step.A), true);
                Run.Phase = 1;
                Run.WaitUntil = frame + 1;
                return;
            }
            Window_ScriptedKey(window, static_cast<uint8_t>(step.A), false);
            Run.Phase = 0;
            Run.WaitUntil = frame + 1;
            break;
        case TScriptOp::Wheel:
            Window_ScriptedWheel(window, step.A);
            break;
        case TScriptOp::Text:
            Window_ScriptedText(window, step.Text);
            break;
        case TScriptOp::WaitWindow:
            if (LowerCaseStr(ActiveWindowName()) != LowerCaseStr(step.Name)) {
                if (Run.Phase == 0) {
                    Run.Phase = 1;
                    Run.PhaseStart = frame;
                }
                if (frame - Run.PhaseStart >= step.A) {
                    FailRun(step.Line, "timeout: window \"" + step.Name + "\" not active after " +
                                           std::to_string(step.A) + " frames (active: \"" + ActiveWindowName() + "\")");
                    return;
                }
                return;
            }
            Run.Phase = 0;
            break;
        case TScriptOp::Shot:
            // Taken at this frame's present; the next step runs in the next frame.
            Run.ShotName = step.Name;
            Run.ShotLine = step.Line;
            Run.ShotFrame = frame;
            Run.WaitUntil = frame + 1;
            break;
        case TScriptOp::Quit:
            FinishRun();
            return;
        }
        ++Run.Index;
    }
}

void ReplayFrameStart()
{
    const int32_t frame = FrameNumber.fetch_add(1) + 1;
    if (GUI_Input.Processor != nullptr && GUI_Input.Processor->ActiveWindow != nullptr)
        Run.LastActiveWindow = GUI_Input.Processor->ActiveWindow->Name;
    if (Run.Scripted && !Run.Done)
        RunScriptSteps(frame);
}

void WriteShot(T3D_Render& render)
{
    const int32_t frame = FrameNumber.load();
    if (Run.LastPresentFrame == frame)
        return;
    Run.LastPresentFrame = frame;
    if (Run.ShotFrame != frame || Run.ShotName.empty())
        return;
    const std::string name = Run.ShotName;
    Run.ShotName.clear();
    const std::string png = PngOfBackBuffer(render);
    const std::string folder = OS_ToProgramPath(RunOptions.ShotsFolder);
    const std::string path = folder + (folder.empty() || folder.back() == '\\' ? "" : "\\") + name + ".png";
    if (png.empty()) {
        FailRun(Run.ShotLine, "the back buffer could not be read for shot \"" + name + "\"");
        return;
    }
    if ((!folder.empty() && !OS_CreateDirectoryTree(folder)) || !OS_WriteFileAtomic(path, png.data(), png.size()))
        FailRun(Run.ShotLine, "cannot write \"" + path + "\"");
}

void PresentHook(T3D_Render& render)
{
    WriteShot(render);
}

uint32_t FixedTimer()
{
    return FixedTimerStart + static_cast<uint32_t>(FrameNumber.load()) * static_cast<uint32_t>(RunOptions.FrameMs);
}

uint32_t ReseedValue()
{
    return RunOptions.Seed + static_cast<uint32_t>(FrameNumber.load());
}

TOSLocalTime FixedLocalTime()
{
    const int64_t ms = static_cast<int64_t>(FrameNumber.load()) * RunOptions.FrameMs;
    const time_t seconds = static_cast<time_t>(FixedLocalStart + ms / 1000);
    std::tm t{};
    gmtime_r(&seconds, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(ms % 1000)};
}

} // namespace

// ---------------------------------------------------------------------------
// Options

bool ParseRunOptions(const std::vector<std::string>& parameters, TRunOptions& options, std::string& error)
{
    TRunOptions parsed;
    bool frameGiven = false;
    std::set<std::string> seen;
    for (size_t i = 0; i < parameters.size(); ++i) {
        const std::string& parameter = parameters[i];
        if (parameter.rfind("--", 0) != 0) {
            parsed.RecorderParameters.push_back(parameter);
            continue;
        }
        std::string name = parameter;
        std::string value;
        bool inlineValue = false;
        if (const size_t equals = parameter.find('='); equals != std::string::npos) {
            name = parameter.substr(0, equals);
            value = parameter.substr(equals + 1);
            inlineValue = true;
        }
        if (!seen.insert(name).second) {
            error = "option " + name + " is given twice";
            return false;
        }
        if (name == "--startup-times") {
            if (inlineValue) {
                error = "option --startup-times takes no value";
                return false;
            }
            parsed.StartupTimes = true;
            continue;
        }
        if (name != "--script" && name != "--frame-ms" && name != "--seed" && name != "--shots") {
            error = "unknown option " + name;
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= parameters.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = parameters[++i];
        }
        if (name == "--script" || name == "--shots") {
            if (value.empty()) {
                error = "option " + name + " needs a value";
                return false;
            }
            (name == "--script" ? parsed.ScriptFile : parsed.ShotsFolder) = value;
        } else if (name == "--frame-ms") {
            if (!ParseInt32(value, 1, 1000, parsed.FrameMs) ||
                value.find_first_not_of("0123456789") != std::string::npos) {
                error = "bad --frame-ms \"" + value + "\" (1 to 1000)";
                return false;
            }
            frameGiven = true;
        } else {
            int64_t seed = 0;
            if (!ParseInt64(value, 0, 0xFFFFFFFFll, seed) ||
                value.find_first_not_of("0123456789") != std::string::npos) {
                error = "bad --seed \"" + value + "\" (0 to 4294967295)";
                return false;
            }
            parsed.Seed = static_cast<uint32_t>(seed);
            parsed.Seeded = true;
        }
    }
    if (!parsed.ScriptFile.empty() && !frameGiven)
        parsed.FrameMs = ScriptFrameMs;
    options = std::move(parsed);
    return true;
}

bool TestMode()
{
    return RunOptions.FrameMs > 0;
}

void StartupPhase(const char* name)
{
    if (!RunOptions.StartupTimes || name == nullptr)
        return;
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - ProgramEntry).count();
    {
        std::lock_guard<std::mutex> lock(StartupPhaseLock);
        std::fprintf(stderr, "startup-phase %.1f %s\n", ms, name);
        std::fflush(stderr);
    }
    if (std::string_view(name) == StartupPhaseMenuFirstFrame)
        PostQuitMessage(0);
}

int32_t ReplayFrameNumber()
{
    return FrameNumber.load();
}

// ---------------------------------------------------------------------------
// Scripts

bool ParseReplayScript(const std::string& text, std::vector<TScriptStep>& steps, std::string& error)
{
    steps.clear();
    std::vector<std::string> lines;
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        const int32_t line = static_cast<int32_t>(i) + 1;
        auto fail = [&](const std::string& reason) {
            error = "line " + std::to_string(line) + ": " + reason;
            steps.clear();
            return false;
        };
        const std::string trimmed = TrimStr(lines[i]);
        if (i == 0) {
            if (trimmed == ScriptHead)
                continue;
            if (trimmed.rfind("DMRP ", 0) == 0)
                return fail("script version \"" + trimmed.substr(5) + "\" is not supported (\"" + ScriptHead +
                            "\" expected)");
            return fail(std::string("not a script (first line \"") + ScriptHead + "\" expected)");
        }
        if (trimmed.empty() || trimmed[0] == '#')
            continue;
        std::vector<TWord> words;
        std::string reason;
        if (!SplitWords(trimmed, words, reason))
            return fail(reason);
        TScriptStep step;
        step.Line = line;
        size_t first = 0;
        if (!words[0].Quoted && words[0].Plain == "at") {
            if (words.size() < 3)
                return fail("\"at FRAME\" must be followed by a step");
            if (words[1].Quoted || !ParseInt32(words[1].Plain, 1, INT32_MAX, step.AtFrame) ||
                words[1].Plain.find_first_not_of("0123456789") != std::string::npos)
                return fail("bad frame \"" + words[1].Plain + "\" after \"at\"");
            first = 2;
        }
        if (!ParseStep(words, first, step, reason))
            return fail(reason);
        steps.push_back(std::move(step));
    }
    return true;
}

std::string ScriptTextLine(int32_t frame, const std::u16string& text)
{
    std::string out = "at " + std::to_string(frame) + " text \"";
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit == u'"' || unit == u'\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(unit));
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            PutUtf8(out, 0x10000u + ((static_cast<uint32_t>(unit) - 0xD800u) << 10) +
                             (static_cast<uint32_t>(text[i + 1]) - 0xDC00u));
            ++i;
        } else if (unit < 0x20 || unit == 0x7F || (unit >= 0xD800 && unit <= 0xDFFF)) {
            // Control characters and a lone half of a pair stay exact as escapes.
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
            out += escape;
        } else {
            PutUtf8(out, unit);
        }
    }
    out += "\"";
    return out;
}

// ---------------------------------------------------------------------------
// Digest

uint32_t ReplayDigest(const TReplayDigestInput& input)
{
    uint32_t crc = 0xFFFFFFFFu;
    auto bytes = [&](const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        for (size_t i = 0; i < size; ++i)
            crc = Crc32Update(p[i], crc);
    };
    auto number = [&](uint64_t value, int size) {
        for (int i = 0; i < size; ++i) {
            const auto byte = static_cast<uint8_t>(value >> (8 * i));
            bytes(&byte, 1);
        }
    };
    auto text = [&](const std::string& value) {
        bytes(value.data(), value.size());
        number(0, 1);
    };
    if (input.ScenarioLoaded)
        number(input.World, 4);
    number(static_cast<uint64_t>(input.GameClock), 8);
    text(input.ActiveWindow);
    number(static_cast<uint32_t>(input.Frames), 4);
    std::vector<std::string> files = input.UserFiles;
    std::sort(files.begin(), files.end());
    for (const std::string& file : files)
        text(file);
    return ~crc;
}

std::string FormatReplayDigest(uint32_t digest)
{
    char text[32];
    std::snprintf(text, sizeof text, "replay-digest %08X", digest);
    return text;
}

// ---------------------------------------------------------------------------
// The run

void Replay_Begin()
{
    Run = TReplayRun{};
    FrameNumber.store(0);
    GUI_FrameStartHook = ReplayFrameStart;
    ScenePresentHook = PresentHook;

    if (RunOptions.Seeded || TestMode()) {
        SetRandomSeed(RunOptions.Seed);
        SetRandomizeSeedSource(ReseedValue);
        SetParticleSeed(RunOptions.Seed);
    }
    if (InputRecorderMode == InputRecorderReplaying)
        Window_SetScriptedInput(true);
    if (!TestMode())
        return;

    OS_SetTimeSource(FixedTimer);
    {
        std::lock_guard<TCriticalSection> guard(ClockLock);
        ClockStart = FixedTimerStart;
        ClockSavedStart = 0;
        ClockPaused = false;
        ClockLast = 0;
    }
    OS_SetLocalTimeSource(FixedLocalTime);
    SaveWriterSynchronous = true;

    if (RunOptions.ScriptFile.empty())
        return;
    Run.Scripted = true;
    Window_SetScriptedInput(true);
    std::vector<uint8_t> bytes;
    std::string error;
    const std::string path = OS_ToProgramPath(RunOptions.ScriptFile);
    if (!OS_ReadWholeFile(path, bytes)) {
        error = "cannot read the script";
    } else if (!ParseReplayScript(std::string(bytes.begin(), bytes.end()), Run.Steps, error)) {
        error = "the script cannot be read: " + error;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "replay: \"%s\": %s\n", RunOptions.ScriptFile.c_str(), error.c_str());
        std::fflush(stderr);
        Run.ExitCode = 2;
        Run.Done = true;
        Run.DigestPrinted = true;
        PostQuitMessage(2);
    }
}

void Replay_Reset()
{
    Run = TReplayRun{};
    FrameNumber.store(0);
    if (GUI_FrameStartHook == ReplayFrameStart)
        GUI_FrameStartHook = GUI_EmptyHook;
    if (ScenePresentHook == PresentHook)
        ScenePresentHook = nullptr;
    SetRandomizeSeedSource(nullptr);
    OS_SetTimeSource(nullptr);
    OS_SetLocalTimeSource(nullptr);
    SaveWriterSynchronous = false;
    Window_SetScriptedInput(false);
}

void Replay_BeforePresent()
{
    const TGUI_Processor* processor = GUI_Input.Processor;
    if (processor != nullptr && processor->Render != nullptr)
        WriteShot(*processor->Render);
}

int32_t Replay_ExitCode()
{
    if (TestMode() && Run.ExitCode == 0)
        PrintDigest();
    return Run.ExitCode;
}

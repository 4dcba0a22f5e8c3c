// The program as ./run.sh starts it: every self-check passes, headless, and
// on a machine without a display or a sound card its output holds nothing
// but its own lines.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace {

// Runs the program through the shell with the given environment changes
// (arguments of "env": options first, then assignments); its output (stdout, and stderr when asked), exit
// status in status.
std::string RunProgram(const std::string& environment, bool withErrors, int& status)
{
    std::string output;
    const std::string command =
        "env " + environment + " \"" DUSKMARCH_PROGRAM "\"" + (withErrors ? " 2>&1" : " 2>/dev/null");
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return output;
    }
    std::array<char, 4096> chunk;
    while (size_t n = fread(chunk.data(), 1, chunk.size(), pipe))
        output.append(chunk.data(), n);
    status = pclose(pipe);
    return output;
}

// Leaks are the unit tests' business (with their suppressions for the
// system's GL and audio libraries); here only the output counts.
const std::string NoLeakCheck = "ASAN_OPTIONS=detect_leaks=0";

} // namespace

TEST(SelfCheckProgram, EveryCheckPasses)
{
    int status = 0;
    const std::string output = RunProgram(NoLeakCheck, false, status);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_NE(output.find("All checks passed."), std::string::npos) << output;
    EXPECT_EQ(output.find("FAILED"), std::string::npos) << output;
}

TEST(SelfCheckProgram, StartsQuietlyWithoutDisplayOrSoundDevice)
{
    // The tests' own choice of SDL drivers is dropped, and with it every hint
    // of a display or a desktop session: the program picks its video and
    // audio output itself, as ./run.sh on a bare server does.
    int status = 0;
    const std::string output = RunProgram(
        "-u SDL_AUDIODRIVER -u SDL_VIDEODRIVER -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR " + NoLeakCheck, true,
        status);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_NE(output.find("All checks passed."), std::string::npos) << output;

    std::istringstream lines(output);
    std::string line;
    int noDevice = 0;
    bool silent = false;
    while (std::getline(lines, line)) {
        EXPECT_EQ(line.find("ALSA lib"), std::string::npos) << line;
        EXPECT_EQ(line.find("XDG_RUNTIME_DIR"), std::string::npos) << line;
        EXPECT_NE(line.rfind("SDL", 0), 0u) << line;
        noDevice += line == "Sound: no sound device found; playing without sound." ? 1 : 0;
        silent = silent || (line.find("sound device") != std::string::npos && line.find("silent") != std::string::npos);
    }
    // Where no output opens the program says so once, in its own words.
    EXPECT_EQ(noDevice, silent ? 1 : 0) << output;
}

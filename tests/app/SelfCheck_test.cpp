// The program as ./run.sh starts it: every self-check passes, headless.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

TEST(SelfCheckProgram, EveryCheckPasses)
{
    std::string output;
    // Leaks are the unit tests' business (with their suppressions for the
    // system's GL and audio libraries); here only the checks count.
    FILE* pipe = popen("ASAN_OPTIONS=detect_leaks=0 \"" DUSKMARCH_PROGRAM "\" 2>/dev/null", "r");
    ASSERT_NE(pipe, nullptr);
    std::array<char, 4096> chunk;
    while (size_t n = fread(chunk.data(), 1, chunk.size(), pipe))
        output.append(chunk.data(), n);
    const int status = pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status)) << output;
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_NE(output.find("All checks passed."), std::string::npos) << output;
    EXPECT_EQ(output.find("FAILED"), std::string::npos) << output;
}

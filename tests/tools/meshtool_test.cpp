// The mesh tool on the sample installation's meshes: its listings are
// pinned, so a change in the samples or in the readers shows here.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/TestSupport.h"

namespace {

std::string RunTool(const std::string& arguments, int& status)
{
    return RunProgram(DUSKMARCH_MESHTOOL, arguments, status);
}

std::string Fixture(const std::string& name)
{
    std::string text;
    if (FILE* f = fopen(FixturePath("meshtool/" + name).c_str(), "rb")) {
        char buffer[4096];
        size_t got;
        while ((got = fread(buffer, 1, sizeof(buffer), f)) > 0)
            text.append(buffer, got);
        fclose(f);
    }
    return text;
}

TEST(MeshTool, ListsTheSampleMeshes)
{
    const std::string meshes = std::string(DUSKMARCH_INSTALL) + "/Meshes/";
    struct TCase {
        std::string Arguments;
        std::string Expected;
    };
    const TCase cases[] = {
        {"info \"" + meshes + "Samples.D3D\"", "info.txt"},
        {"dae-info \"" + meshes + "Samples.DAE\"", "dae-info.txt"},
        {"dae-info \"" + meshes + "Samples.DAE\" --geometry Bar", "dae-info-bar.txt"},
    };
    for (const TCase& c : cases) {
        int status = -1;
        const std::string out = RunTool(c.Arguments, status);
        EXPECT_EQ(status, 0) << c.Arguments;
        EXPECT_EQ(out, Fixture(c.Expected)) << c.Arguments;
        int again = -1;
        EXPECT_EQ(RunTool(c.Arguments, again), out) << "the same listing every time";
    }
}

TEST(MeshTool, RefusesWhatIsNoMeshFile)
{
    int status = 0;
    const std::string out = RunTool("info \"" + FixturePath("meshtool/info.txt") + "\"", status);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("is not a mesh file"), std::string::npos);
    RunTool("frobnicate", status);
    EXPECT_NE(status, 0);
}

} // namespace

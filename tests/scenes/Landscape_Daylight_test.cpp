#include <gtest/gtest.h>

#include <cmath>

#include "model/Support.h"
#include "render/QX9_Render_Passes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Daylight.h"
#include "tests/render/RenderTestSupport.h"

namespace {

// Six key-time sets told apart by their sun power (1 .. 6 after the
// division), each with its own sun.
const char* const KeyTimes = "[Option]\nDefBuildingScale=1.5\nDefObjectScale=2\nDefTreeScale=1\nDefArmyScale=0.5\n"
                             "[MapLight]\n"
                             "SunMD=0,10,10,90\n"
                             "SunDD=0,20,80,180\n"
                             "SunED=0,30,10,270\n"
                             "SunEN=0,40,20,300\n"
                             "SunNN=0,50,45,200\n"
                             "SunMN=0,60,15,60\n";

class DaylightTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetGameFolders(Folder.ProgramPath());
        LightSet = TLightSet{};
        MapCamera = TMapCamera{};
    }
    void Load(const std::string& ini)
    {
        Folder.WriteProgramFile("Options_MapEdit.ini", ini);
        LoadMapEditOptions();
    }
    TTempFolder Folder;
};

TEST_F(DaylightTest, PhaseAndBlendOfEachMinute)
{
    Load(KeyTimes);
    struct {
        int32_t Minute;
        int32_t Phase;
        float T;
        float SunPower;
    } const cases[] = {
        {0, 4, 0, 5},    {359, 4, 1, 6},  {360, 5, 0, 6},
        {419, 5, 1, 1},  {420, 0, 0, 1},  {600, 0, 180.0f / 359, 1 + 180.0f / 359},
        {779, 0, 1, 2},  {780, 1, 0, 2},  {1199, 1, 1, 3},
        {1200, 2, 0, 3}, {1259, 2, 1, 4}, {1260, 3, 0, 4},
        {1439, 3, 1, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Minute);
        float t = -1;
        EXPECT_EQ(DaylightPhaseOf(c.Minute, t), c.Phase);
        EXPECT_FLOAT_EQ(t, c.T);
        // Days later (and a part of a minute) give the same light.
        for (int64_t day : {0, 1, 37}) {
            UpdateDaylight(((day * 1440 + c.Minute) * 10000) + 9999);
            EXPECT_NEAR(LightSet.SunPower, c.SunPower, 1e-5);
            EXPECT_EQ(LightSet.Changed, 1);
        }
    }
}

TEST_F(DaylightTest, NightSetsTakeMirroredSuns)
{
    Load(KeyTimes);
    const TVec3 en = MapLightSets[SunEN].SunPosition;
    const TVec3 mn = MapLightSets[SunMN].SunPosition;
    const TVec3 md = MapLightSets[SunMD].SunPosition;
    struct {
        int32_t Minute;
        TVec3 Sun;
    } const cases[] = {
        {1260, {-en.x, en.y, -en.z}}, // 21:00, from the mirrored evening set
        {359, {-mn.x, mn.y, -mn.z}},  // 05:59, to the mirrored morning set
        {419, md},                    // 06:59, to the plain day's first set
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Minute);
        UpdateDaylight(int64_t{c.Minute} * 10000);
        EXPECT_NEAR(MapCamera.LightPosition.x, c.Sun.x, 2);
        EXPECT_NEAR(MapCamera.LightPosition.y, c.Sun.y, 2);
        EXPECT_NEAR(MapCamera.LightPosition.z, c.Sun.z, 2);
    }
}

TEST(DaylightSun, PositionOfElevationAndAzimuth)
{
    struct {
        float Elevation, Azimuth;
        TVec3 Sun;
    } const cases[] = {
        {30, 45, {1224745, 1000000, -1224745}},
        {90, 0, {0, 2000000, 0}},
        {0, 90, {2000000, 0, 0}},
        {0, 180, {0, 0, 2000000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Elevation << " " << c.Azimuth);
        const TVec3 sun = SunPositionOf(c.Elevation, c.Azimuth);
        EXPECT_NEAR(sun.x, c.Sun.x, 4);
        EXPECT_NEAR(sun.y, c.Sun.y, 4);
        EXPECT_NEAR(sun.z, c.Sun.z, 4);
    }
}

TEST_F(DaylightTest, EveryItemLandsDividedInItsMember)
{
    std::string line = "SunDD=";
    for (int n = 1; n <= 42; n++)
        line += std::to_string(1000 + n) + (n < 42 ? "," : "\n");
    Load("[MapLight]\n" + line);
    const TMapLightSet& s = MapLightSets[SunDD];
    EXPECT_EQ(ColorToRGB(s.LightColor), 1001u);
    EXPECT_FLOAT_EQ(s.SunPower, 100.2f);
    EXPECT_FLOAT_EQ(s.Specular[1], 10.05f);
    EXPECT_EQ(ColorToRGB(s.ShadowColor), 1006u);
    EXPECT_EQ(ColorToRGB(s.TintColor), 1007u);
    EXPECT_FLOAT_EQ(s.TintStrength, 10.08f);
    EXPECT_FLOAT_EQ(s.ShadowSoftness, 10.09f);
    EXPECT_FLOAT_EQ(s.Specular[2], 10.10f);
    EXPECT_FLOAT_EQ(s.Specular[3], 10.11f);
    EXPECT_FLOAT_EQ(s.Specular[4], 10.12f);
    EXPECT_EQ(ColorToRGB(s.FogColor), 1013u);
    EXPECT_EQ(ColorToRGB(s.FogTintColor), 1014u);
    EXPECT_FLOAT_EQ(s.FogTintStrength, 10.15f);
    EXPECT_FLOAT_EQ(s.Fog[3], 10.16f);
    EXPECT_FLOAT_EQ(s.Fog[2], 1017); // not divided
    EXPECT_FLOAT_EQ(s.Fog[1], 1036); // not divided
    for (int i = 0; i < 6; i++) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(s.TerrainFactors[i], (1018 + i) / 100.0f);
        EXPECT_FLOAT_EQ(s.PlantFactors[i], (1024 + i) / 100.0f);
        EXPECT_FLOAT_EQ(s.ModelFactors[i], (1030 + i) / 100.0f);
        EXPECT_FLOAT_EQ(s.ArmyFactors[i], (1037 + i) / 100.0f);
    }
    // A set the file does not name, and the items a short list leaves out,
    // take the defaults.
    EXPECT_FLOAT_EQ(MapLightSets[SunMD].SunPower, 10);
}

TEST_F(DaylightTest, MissingFileKeepsDefaultsAndSaysWhichScalesAreZero)
{
    testing::internal::CaptureStderr();
    LoadMapEditOptions();
    const std::string log = testing::internal::GetCapturedStderr();
    for (const char* key : {"DefBuildingScale", "DefObjectScale", "DefTreeScale", "DefArmyScale"})
        EXPECT_NE(log.find(key), std::string::npos) << key;
    EXPECT_EQ(DefBuildingScale, 0);
    EXPECT_EQ(DefArmyScale, 0);
    for (int32_t k : {0, 1, 2, 3, 4, 5, int32_t{MiniMapLightSet}}) {
        SCOPED_TRACE(k);
        const TMapLightSet& s = MapLightSets[k];
        EXPECT_EQ(ColorToRGB(s.LightColor), 0xCAFFFFu);
        EXPECT_FLOAT_EQ(s.SunPower, 10);
        EXPECT_FLOAT_EQ(s.Specular[1], 1);
        EXPECT_FLOAT_EQ(s.Specular[4], 0.5f);
        EXPECT_FLOAT_EQ(s.ShadowSoftness, 0.02f);
        EXPECT_FLOAT_EQ(s.Fog[1], 100);
        EXPECT_FLOAT_EQ(s.Fog[2], 200);
        EXPECT_FLOAT_EQ(s.Fog[3], 0.4f);
        EXPECT_FLOAT_EQ(s.ArmyFactors[5], 1);
        EXPECT_NEAR(s.SunPosition.y, 1000000, 2);
    }

    Load(KeyTimes);
    EXPECT_FLOAT_EQ(DefBuildingScale, 1.5f);
    EXPECT_FLOAT_EQ(DefObjectScale, 2);
    EXPECT_FLOAT_EQ(DefArmyScale, 0.5f);
}

TEST_F(DaylightTest, OppositeSunsKeepTheLastSun)
{
    Load("[MapLight]\nSunMD=0,10,0,0\nSunDD=0,10,0,180\n");
    InterpolateDaylight(SunMD, SunDD, false, false, 0.25f);
    const TVec3 before = MapCamera.LightPosition;
    ASSERT_NEAR(Vec3Length(before), 2000000, 4);
    InterpolateDaylight(SunMD, SunDD, false, false, 0.5f);
    EXPECT_TRUE(std::isfinite(MapCamera.LightPosition.x));
    EXPECT_EQ(MapCamera.LightPosition.x, before.x);
    EXPECT_EQ(MapCamera.LightPosition.z, before.z);
}

class DaylightClearTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        MainRender = Render.get();
        Render->Scene_Add("MAP");
        Render->Scene_Find("MAP")->AddPass("MAIN", 0, D3DFMT_D24S8, 0, 0);
        SetGameFolders(Folder.ProgramPath());
    }
    void TearDown() override
    {
        MainRender = nullptr;
        RenderSettings.EarlyZ = 0;
        TRecordingRenderTest::TearDown();
    }
};

TEST_F(DaylightClearTest, ClearColourHasRedAndBlueExchanged)
{
    // Fog grey 0x808080 tinted half-way to pure red: (128, 64, 64), sent
    // to the pass as blue 128.
    Folder.WriteProgramFile("Options_MapEdit.ini",
                            "[MapLight]\nSunMD=0,10,30,45,100,0,16711680,50,2,50,50,50,8421504,0,0,0\n");
    LoadMapEditOptions();
    struct {
        uint8_t EarlyZ;
        uint32_t Flags;
    } const cases[] = {{0, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER}, {1, D3DCLEAR_TARGET}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.EarlyZ));
        RenderSettings.EarlyZ = c.EarlyZ;
        InterpolateDaylight(SunMD, SunMD, false, false, 0);
        const T3D_RenderPass* main = Render->Scene_Find("MAP")->FindPass("MAIN");
        EXPECT_EQ(main->ClearColor & 0xFFFFFFu, 0x404080u);
        EXPECT_EQ(main->ClearFlags, c.Flags);
        EXPECT_EQ(main->ClearDepth, 1.0f);
    }
}

} // namespace

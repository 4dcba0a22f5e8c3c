// Particle effects: the reader, pool sizes, emission, motion and the quads,
// on the recording device with effect files and textures made by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/QX9_System.h"
#include "render/QX9_Particles.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_StateKey.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/TextureFiles.h"

namespace {

class TParticlesTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        SetParticleRender(Render.get());
        Scene = Render->Scene_Add("2D");
    }
    void TearDown() override
    {
        FreeParticleEffect(Effect);
        SetParticleRender(nullptr);
        TRecordingRenderTest::TearDown();
    }
    // An effect file of the given system sections, with a 16 x 8 texture for
    // each; returns its name.
    std::string WriteEffect(const std::vector<std::string>& systems)
    {
        std::string text = "[Main]\nSystemsCount=" + std::to_string(systems.size()) + "\n";
        for (size_t i = 0; i < systems.size(); i++) {
            text += "[System" + std::to_string(i + 1) + "]\n" + systems[i];
            Write("fx\\Test" + std::to_string(i + 1) + ".TGA",
                  TextureFiles::MakeTGA32(16, 8, std::vector<uint8_t>(16 * 8 * 4, 0xFF)));
        }
        return Folder.WriteProgramFile("fx\\Test.psi", text);
    }
    std::string Shader(const std::string& kind)
    {
        return Folder.WriteProgramFile("fx\\Particle_" + kind + ".bin", "//GLSL-" + kind + "\nvoid main() {}\n");
    }
    void Load(const std::vector<std::string>& systems)
    {
        FreeParticleEffect(Effect);
        LoadParticleEffect(WriteEffect(systems), Shader("VS"), Shader("PS"), "GUI", Effect);
    }
    std::vector<const TParticle*> Live(int32_t system = 0) const
    {
        std::vector<const TParticle*> live;
        for (const TParticle& p : Effect.Systems[static_cast<size_t>(system)].Pool)
            if (p.Life != 0)
                live.push_back(&p);
        return live;
    }
    // The centre of slot i's quad and its size.
    struct TQuad {
        float X, Y, Width, Height;
        uint32_t Colour;
    };
    TQuad Quad(size_t i, int32_t system = 0) const
    {
        const T3D_Sprite* sprite = Render->Sprite_Get(Effect.Systems[static_cast<size_t>(system)].Sprite);
        const T3D_SpriteVertex* v = &sprite->Vertices[4 * i];
        return {(v[0].X + v[2].X) / 2, (v[0].Y + v[2].Y) / 2, v[1].X - v[0].X, v[3].Y - v[0].Y, v[0].Color};
    }

    TParticleEffect Effect;
    int32_t Scene = -1;
};

const std::string Steady = "MinTime=1000\nMaxTime=1000\nTimeSys=5000\nTimeSpeed=10\n";

TEST_F(TParticlesTest, ReaderKeysAndPoolSizes)
{
    Load({"MinTime=2000\nMaxTime=500\nTimeSys=5000\nTimeSpeed=10\nTimeInfinity=yes\nUseAlpha=1\n"
          "SpriteOrientation=2\nSpeedMin=30\nSpeedMax=10\nColorStart=10,20,30,40\nWaveTransverse=N\n"
          "StartRectangle=y\nGravitationMin=-5\nFrameCount=-3\n",
          "MinTime=100\nMaxTime=2000\nTimeSys=1000\nTimeSpeed=10\nUseAlpha=no\n"});
    ASSERT_EQ(Effect.SystemsCount, 2);
    const TParticleSystem& a = Effect.Systems[0];
    EXPECT_EQ(a.MinTime, 500) << "swapped";
    EXPECT_EQ(a.MaxTime, 2000);
    EXPECT_EQ(a.SpeedMin, 10);
    EXPECT_EQ(a.SpeedMax, 30);
    EXPECT_EQ(a.TimeInfinity, 1);
    EXPECT_EQ(a.StartRectangle, 1);
    EXPECT_EQ(a.WaveTransverse, 0);
    EXPECT_EQ(a.SpriteOrientation, 2);
    EXPECT_EQ(a.GravitationMin, -5);
    EXPECT_EQ(a.FrameCount, 0) << "a negative count is none";
    EXPECT_EQ(a.ColorStart.R, 10);
    EXPECT_EQ(a.ColorStart.A, 40);
    EXPECT_EQ(a.TextureWidth, 16);
    EXPECT_EQ(a.TextureHeight, 8);
    EXPECT_EQ(a.PoolSize, 20);
    EXPECT_EQ(Effect.Systems[1].PoolSize, 10);
    const T3D_Sprite* sprite = Render->Sprite_Get(a.Sprite);
    EXPECT_EQ(sprite->QuadCount(), 20);
    EXPECT_EQ(sprite->StageTextures.at(0).Clamp, 1);
    EXPECT_EQ(sprite->StateKey.Value & RSK_DESTBLEND, 2u << 30) << "blended by inverse source alpha";
    EXPECT_EQ(Render->Sprite_Get(Effect.Systems[1].Sprite)->StateKey.Value & RSK_DESTBLEND, 0u) << "added";
    EXPECT_EQ(sprite->Shaders.size(), 2u);

    struct TCase {
        std::string Keys;
        int32_t Pool;
    } cases[] = {
        {"TimeSpeed=10\nMaxTime=2000\nTimeSys=5000\n", 20},
        {"TimeSpeed=10\nMaxTime=2000\nTimeSys=1000\n", 10},
        {"TimeSpeed=3\nMaxTime=200\nTimeSys=1000\n", 0},
        {"TimeSpeed=-10\nMaxTime=2000\nTimeSys=1000\n", 0},
        {"TimeSpeed=100000\nMaxTime=100000\nTimeSys=100000\n", PARTICLE_POOL_CAP},
    };
    for (const TCase& c : cases) {
        Load({c.Keys});
        EXPECT_EQ(Effect.Systems[0].PoolSize, c.Pool) << c.Keys;
    }
}

TEST_F(TParticlesTest, BadCountsAndMissingSections)
{
    const std::string file = Folder.WriteProgramFile("fx\\Odd.psi", "[Main]\nSystemsCount=3\n[System2]\nTimeSpeed=5\n");
    for (int32_t n = 1; n <= 3; n++)
        Write("fx\\Odd" + std::to_string(n) + ".TGA", TextureFiles::MakeTGA32(2, 2, std::vector<uint8_t>(16, 0xFF)));
    LoadParticleEffect(file, Shader("VS"), Shader("PS"), "GUI", Effect);
    ASSERT_EQ(Effect.SystemsCount, 3);
    EXPECT_EQ(Effect.Systems[0].TimeSpeed, 0);
    EXPECT_EQ(Effect.Systems[1].TimeSpeed, 5);
    EXPECT_EQ(Effect.Systems[2].TimeSpeed, 0) << "a missing section reads nothing";
    // A system without a pool spawns nothing and draws nothing.
    StartParticleEffect(Effect, 0, 10, 10);
    EXPECT_FALSE(UpdateParticleEffect(Effect, Scene, 100, 10, 10, 1, true));
    EXPECT_EQ(Render->Scene_Get(Scene)->DrawCount, 0);
    FreeParticleEffect(Effect);

    // Only the counts: without a renderer no sprites (and no textures) are made.
    SetParticleRender(nullptr);
    for (const char* count : {"-4", "100000"}) {
        const std::string many = Folder.WriteProgramFile("fx\\Many.psi", std::string("[Main]\nSystemsCount=") + count);
        LoadParticleEffect(many, Shader("VS"), Shader("PS"), "GUI", Effect);
        EXPECT_EQ(Effect.SystemsCount, count[0] == '-' ? 0 : PARTICLE_SYSTEMS_CAP);
        EXPECT_EQ(Effect.Systems.size(), static_cast<size_t>(Effect.SystemsCount));
        FreeParticleEffect(Effect);
    }
    SetParticleRender(Render.get());
}

TEST_F(TParticlesTest, EmissionAndTheFullPool)
{
    Load({Steady});
    StartParticleEffect(Effect, 0, 50, 50);
    EXPECT_EQ(Live().size(), 1u);
    EXPECT_TRUE(UpdateParticleEffect(Effect, Scene, 250, 50, 50, 1, true));
    std::vector<int32_t> births;
    for (const TParticle* p : Live())
        births.push_back(p->Birth);
    EXPECT_EQ(births, (std::vector<int32_t>{0, 100, 200}));
    EXPECT_EQ(Effect.Systems[0].LastEmission, 200);

    // A pool of three: the fourth particle takes the one with least life left.
    Load({"MinTime=300\nMaxTime=300\nTimeSys=5000\nTimeSpeed=10\n"});
    ASSERT_EQ(Effect.Systems[0].PoolSize, 3);
    StartParticleEffect(Effect, 0, 0, 0);
    UpdateParticleEffect(Effect, Scene, 250, 0, 0, 1, true);
    UpdateParticleEffect(Effect, Scene, 300, 0, 0, 1, true);
    EXPECT_EQ(Effect.Systems[0].Pool[0].Birth, 300);
    EXPECT_EQ(Effect.Systems[0].Pool[1].Birth, 100);
    EXPECT_EQ(Effect.Systems[0].Pool[2].Birth, 200);

    // Emission stops after TimeSys; the effect runs on while particles live.
    Load({"MinTime=300\nMaxTime=300\nTimeSys=200\nTimeSpeed=10\n"});
    StartParticleEffect(Effect, 0, 0, 0);
    EXPECT_TRUE(UpdateParticleEffect(Effect, Scene, 150, 0, 0, 1, true));
    EXPECT_TRUE(UpdateParticleEffect(Effect, Scene, 350, 0, 0, 1, true));
    EXPECT_EQ(Live().size(), 1u);
    EXPECT_FALSE(UpdateParticleEffect(Effect, Scene, 1000, 0, 0, 1, true));
    EXPECT_EQ(Effect.Running, 0);
}

// A long gap or a damaged rate: only the emissions that can still hold a
// slot are made, and the pool ends as the whole walk would leave it.
TEST_F(TParticlesTest, HugeEmissionCountsEndAsTheirLatestEmissions)
{
    Load({"MinTime=100\nMaxTime=100\nTimeSys=100000\nTimeInfinity=1\nTimeSpeed=1000\n"});
    ASSERT_EQ(Effect.Systems[0].PoolSize, 100);
    StartParticleEffect(Effect, 0, 0, 0);
    EXPECT_TRUE(UpdateParticleEffect(Effect, Scene, 1000000, 0, 0, 1, true));
    std::vector<int32_t> births;
    for (const TParticle* p : Live())
        births.push_back(p->Birth);
    std::sort(births.begin(), births.end());
    ASSERT_EQ(births.size(), 100u);
    EXPECT_EQ(births.front(), 999901);
    EXPECT_EQ(births.back(), 1000000);
    EXPECT_EQ(Effect.Systems[0].LastEmission, 1000000);

    // No slots at all and two billion emissions a second.
    Load({"MinTime=1000\nMaxTime=1000\nTimeSys=0\nTimeInfinity=1\nTimeSpeed=2000000000\n"});
    ASSERT_EQ(Effect.Systems[0].PoolSize, 0);
    StartParticleEffect(Effect, 0, 0, 0);
    EXPECT_TRUE(UpdateParticleEffect(Effect, Scene, 1000, 0, 0, 1, true));
    EXPECT_EQ(Effect.Systems[0].LastEmission, 1000);
}

TEST_F(TParticlesTest, StartedInThePastShowsWhatStillLives)
{
    Load({"MinTime=1049\nMaxTime=1049\nTimeSys=10000\nTimeSpeed=10\n"});
    StartParticleEffect(Effect, -3050, 0, 0);
    UpdateParticleEffect(Effect, Scene, 0, 0, 0, 1, true);
    std::vector<int32_t> births;
    for (const TParticle* p : Live())
        births.push_back(p->Birth);
    std::sort(births.begin(), births.end());
    EXPECT_EQ(births, (std::vector<int32_t>{-950, -850, -750, -650, -550, -450, -350, -250, -150, -50}));
}

TEST_F(TParticlesTest, DirectionsSizesAndTheDrawOffset)
{
    struct TCase {
        int32_t Direction;
        float X, Y;
    } cases[] = {{90, 50, 100}, {0, 100, 150}, {180, 100, 50}, {270, 150, 100}};
    for (const TCase& c : cases) {
        Load({"MinTime=2000\nMaxTime=2000\nTimeSys=1000\nTimeSpeed=1\nSpeedMin=100\nSpeedMax=100\nSizeStart=100\n"
              "SizeEnd=100\nColorStart=255,128,0,255\nColorEnd=255,128,0,255\nStartRectangle=1\nSpeedDirection=" +
              std::to_string(c.Direction) + "\n"});
        ASSERT_EQ(Effect.Systems[0].PoolSize, 1);
        StartParticleEffect(Effect, 0, 100, 100);
        UpdateParticleEffect(Effect, Scene, 500, 100, 100, 1, true);
        const TQuad quad = Quad(0);
        EXPECT_NEAR(quad.X, c.X, 1e-3) << c.Direction;
        EXPECT_NEAR(quad.Y, c.Y, 1e-3) << c.Direction;
        EXPECT_NEAR(quad.Width, 16, 1e-4) << "SizeStart 100: the allocated texture's size";
        EXPECT_NEAR(quad.Height, 8, 1e-4);
        EXPECT_EQ(quad.Colour, 0xFFFF8000u);
    }

    // Not following: drawn 30 pixels right, the emitter stays.
    Render->Scene_Get(Scene)->ClearDrawList();
    UpdateParticleEffect(Effect, Scene, 1100, 130, 100, 1, false);
    T3D_Scene* scene = Render->Scene_Get(Scene);
    ASSERT_EQ(scene->DrawCount, 1);
    EXPECT_EQ(scene->DrawList[0].Values[1], 30);
    EXPECT_EQ(scene->DrawList[0].Values[2], 0);
    EXPECT_EQ(Effect.X, 100);
    // The scale multiplies the corners.
    UpdateParticleEffect(Effect, Scene, 1100, 100, 100, 2, true);
    EXPECT_NEAR(Quad(0).Width, 32, 1e-4);
}

TEST_F(TParticlesTest, TheSameSeedGivesTheSameQuads)
{
    const std::string scattered =
        "MinTime=500\nMaxTime=1500\nTimeSys=3000\nTimeSpeed=20\nSpeedMin=10\nSpeedMax=80\nSpeedAngle=40\n"
        "SizeStart=50\nSizeEnd=120\nSizeScatter=20\nRotateStart=90\nRotateEnd=-90\nRotateScatter=30\n"
        "SpriteOrientation=2\nWaveAmplitude=5\nWaveLength=40\nWaveScatter=3\nWaveTransverse=Y\nWaveRandomPhase=Y\n"
        "ColorStart=255,255,255,255\nColorEnd=0,0,255,0\nColorScatter=10\nAlphaScatter=20\nStartSizeX=30\n"
        "StartSizeY=20\nStartAngle=180\nStartBorder=Y\nStartScatter=20\nAngleCenter=Y\nAngleSpeed=45\n";
    auto run = [&](uint32_t seed) {
        Load({scattered});
        SetParticleSeed(seed);
        StartParticleEffect(Effect, 0, 200, 150);
        std::vector<float> corners;
        for (int32_t now = 0; now <= 2000; now += 40)
            UpdateParticleEffect(Effect, Scene, now, 200, 150, 1, true);
        for (const T3D_SpriteVertex& v : Render->Sprite_Get(Effect.Systems[0].Sprite)->Vertices) {
            corners.push_back(v.X);
            corners.push_back(v.Y);
            corners.push_back(static_cast<float>(v.Color));
        }
        return corners;
    };
    const uint32_t engineSeed = RandomSeed;
    const std::vector<float> first = run(5), again = run(5), other = run(6);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, other);
    EXPECT_EQ(RandomSeed, engineSeed) << "the engine's generator is left alone";
    for (float value : first)
        EXPECT_TRUE(std::isfinite(value));
}

TEST_F(TParticlesTest, MiddleTimesStayInsideTheLife)
{
    // A middle time at either end of the life would divide the curves by
    // zero: with its flag set it is kept to 1..99; without, it is 50.
    const std::string ends = "MinTime=1000\nMaxTime=1000\nTimeSys=1000\nTimeSpeed=1\nSizeStart=50\nSizeMiddle=150\n"
                             "SizeEnd=80\nColorStart=255,255,255,255\nColorMiddle=0,0,0,128\nColorEnd=255,0,0,0\n"
                             "RotateStart=10\nRotateMiddle=90\nRotateEnd=0\n";
    struct TCase {
        std::string Keys;
        int32_t Size, Rotate, Alpha, Colour;
    } cases[] = {
        {"UseSizeMid=1\nSizeMiddleTime=0\nUseRotateMid=1\nRotateMiddleTime=-5\nUseAlphaMid=1\nAlphaMiddleTime=100\n"
         "UseColorMid=1\nColorMiddleTime=250\n",
         1, 1, 99, 99},
        {"SizeMiddleTime=0\nRotateMiddleTime=100\nAlphaMiddleTime=0\nColorMiddleTime=100\n", 50, 50, 50, 50},
    };
    for (const TCase& c : cases) {
        Load({ends + c.Keys});
        ASSERT_EQ(Effect.Systems[0].PoolSize, 1) << c.Keys;
        StartParticleEffect(Effect, 0, 100, 100);
        const TParticle& p = Effect.Systems[0].Pool[0];
        EXPECT_EQ(p.SizeMiddleTime, c.Size) << c.Keys;
        EXPECT_EQ(p.RotateMiddleTime, c.Rotate) << c.Keys;
        EXPECT_EQ(p.AlphaMiddleTime, c.Alpha) << c.Keys;
        EXPECT_EQ(p.ColorMiddleTime, c.Colour) << c.Keys;
        for (int32_t now : {0, 5, 500, 995, 1000}) {
            UpdateParticleEffect(Effect, Scene, now, 100, 100, 1, true);
            const TQuad quad = Quad(0);
            EXPECT_TRUE(std::isfinite(quad.X) && std::isfinite(quad.Y) && std::isfinite(quad.Width) &&
                        std::isfinite(quad.Height))
                << c.Keys << " at " << now;
        }
    }
}

TEST(ParticlesMath, ArcTan2XY)
{
    const float pi = 3.14159265f;
    struct TCase {
        float X, Y, Angle;
    } cases[] = {{0, 1, 0},        {1, 1, pi / 4},      {1, 0, pi / 2},
                 {-1, 0, -pi / 2}, {1, -1, 3 * pi / 4}, {-1, -1, -3 * pi / 4}};
    for (const TCase& c : cases)
        EXPECT_NEAR(ArcTan2XY(c.X, c.Y), c.Angle, 1e-5) << c.X << "," << c.Y;
}

} // namespace

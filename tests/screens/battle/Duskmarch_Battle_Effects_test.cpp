// The effects manager's tasks over irregular frames and its actors.
#include "screens/battle/Duskmarch_Battle_Effects.h"

#include <gtest/gtest.h>

#include "screens/kit/Duskmarch_Base_Sound.h"

namespace {

const float Up[3] = {0, -300, 0};

TEST(EffectsManagerTest, OffsetMoveOverIrregularFrames)
{
    const struct {
        int32_t FirstFrame;
        float Total;
    } rows[] = {{1000, -300.0f}, {1100, -285.0f}};
    for (const auto& row : rows) {
        TEffectsManager m;
        const int32_t actor = m.AddActor(3, "Sprite_Text", 0);
        m.AddMoveTask(16, 1000, 2000, Up, actor);
        m.Update(row.FirstFrame);
        EXPECT_EQ(m.Actors[0].Offset[1], 0.0f); // the first frame only notes its time
        for (const int32_t t : {row.FirstFrame + 17, row.FirstFrame + 250, 2400, 2401, 2999, 3500})
            m.Update(t);
        EXPECT_NEAR(m.Actors[0].Offset[1], row.Total, 1e-3) << row.FirstFrame;
        EXPECT_TRUE(m.Tasks.empty());
    }
}

TEST(EffectsManagerTest, ZeroDurationMoveAppliesAtOnce)
{
    TEffectsManager m;
    const int32_t actor = m.AddActor(3, "s", 0);
    m.Tasks.push_back(TEffectTask{});
    m.Tasks.back().Kind = 15;
    m.Tasks.back().Actor = actor;
    m.Tasks.back().Vector[0] = 2;
    m.Update(0);
    EXPECT_EQ(m.Actors[0].Position[0], 2.0f);
    EXPECT_TRUE(m.Tasks.empty());
}

TEST(EffectsManagerTest, OneShotLateAndRemovalOrder)
{
    TEffectsManager m;
    const int32_t a = m.AddActor(1, "m", 5);
    m.AddValueTask(14, 100, 0, a);         // due now: runs in this update
    m.AddValueTask(14, 500, 1, a);         // later
    m.AddNamedTask(17, 50, "", a);         // in the past: runs now
    const float v[3] = {1, 0, 0};
    m.AddMoveTask(15, 90, 1000, v, a);     // running
    m.AddAnimTask(1, 300, 1, 0, "anim", 300, a);
    m.Update(100);
    EXPECT_EQ(m.Actors[0].Visible, 0);
    EXPECT_EQ(m.Actors[0].Used, 0);
    ASSERT_EQ(m.Tasks.size(), 3u);
    EXPECT_EQ(m.Tasks[0].Start, 500);
    EXPECT_EQ(m.Tasks[1].Kind, 15);
    EXPECT_EQ(m.Tasks[2].Kind, 1);
    EXPECT_EQ(m.PassesDirty, 1);
    m.Update(300);
    EXPECT_EQ(m.Actors[0].Animating, 1);
    EXPECT_EQ(m.Actors[0].AnimationName, "anim");
    ASSERT_EQ(m.Tasks.size(), 2u);
    EXPECT_EQ(m.Tasks[0].Start, 500);
}

TEST(EffectsManagerTest, FindersReuseFreeActors)
{
    TEffectsManager m;
    const int32_t mesh = m.AddActor(1, "m", 3);
    m.Actors[mesh].MeshSlot = 7;
    m.Actors[mesh].Used = 0;
    EXPECT_EQ(m.FindFreeMeshActor(8), -1);
    EXPECT_EQ(m.FindFreeMeshActor(-1), mesh);
    EXPECT_EQ(m.FindFreeMeshActor(-1), -1); // taken now
    EXPECT_EQ(m.FindFreeSpriteActor(), -1);
    const int32_t p = m.FindPersonageActor(2, 4, nullptr);
    EXPECT_EQ(m.FindPersonageActor(2, 4, nullptr), p);
    EXPECT_NE(m.FindPersonageActor(1, 4, nullptr), p);
    m.Clear();
    EXPECT_TRUE(m.Actors.empty());
}

int32_t Drawn = 0;

TEST(EffectsManagerTest, ASpriteBehindTheCameraIsNotDrawn)
{
    TEffectsManager m;
    m.Scene.DrawSprite = [](const TEffectActor&, int32_t, int32_t) { ++Drawn; };
    m.Scene.PersonagePosition = [](const TEffectActor&, float p[3]) {
        p[0] = 1;
        p[1] = 0;
        p[2] = 0;
        return true;
    };
    const int32_t parent = m.FindPersonageActor(1, 1, nullptr);
    const int32_t sprite = m.AddActor(3, "Sprite_Text", 0);
    m.Actors[sprite].Parent = parent;
    // Depth = (z / w + 1) / 2: z 0 is in front, z -2 (d = -0.5) behind.
    for (const float z : {0.0f, 0.999f, -2.0f, 1.0f}) {
        Drawn = 0;
        m.Actors[sprite].Position[2] = z;
        m.Update(0);
        EXPECT_EQ(Drawn, z > -1.0f && z < 1.0f ? 1 : 0) << z;
    }
}

TEST(EffectsManagerTest, SoundCopiesRotate)
{
    SfxList.assign(1, TSoundSet{});
    EXPECT_EQ(ChooseSoundCopy(0, 100), 0);
    EXPECT_EQ(ChooseSoundCopy(0, 110), 1);
    EXPECT_EQ(ChooseSoundCopy(0, 120), 2);
    EXPECT_EQ(ChooseSoundCopy(0, 130), 3);
    EXPECT_EQ(ChooseSoundCopy(0, 140), 0);
    EXPECT_EQ(ChooseSoundCopy(1, 140), -1);
    SfxList.clear();
}

} // namespace

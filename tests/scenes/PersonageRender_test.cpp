#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/Support.h"
#include "model/personage/Personage.h"
#include "model/tables/BonusType.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "platform/os/OS.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/PersonageRender.h"
#include "tests/render/RenderTestSupport.h"

namespace {

using IT = TItemType;

// A clip of a test mesh: every frame of it moves the root bone along x by
// Offset, so a pose tells which clips made it and by what weight.
struct TTestClip {
    std::string Name;
    int32_t Length = 1000;
    float Offset = 0;
};

const std::vector<std::string> TestBones = {"Root",      "HP_right", "HP_left", "HP_back",
                                            "HP_shield", "HP_horse", "HP_head"};

// Builds the skinned mesh in the renderer; returns its slot.
int32_t AddSkinnedMesh(T3D_Render& render, const std::string& name, const std::vector<TTestClip>& clips)
{
    const int32_t slot = render.Mesh_Add(MESH_SKINNED, name, 1);
    T3D_Mesh& mesh = *render.Mesh_Get(slot);
    for (size_t b = 0; b < TestBones.size(); b++) {
        T3D_Bone bone;
        bone.Name = TestBones[b];
        bone.Parent = b == 0 ? -1 : 0;
        for (const TTestClip& clip : clips) {
            T3D_Track track;
            if (b == 0)
                MatrixTranslation(track.Matrix, clip.Offset, 0, 0);
            bone.Tracks.push_back(track);
        }
        mesh.Skin.Bones.push_back(bone);
    }
    for (const TTestClip& clip : clips)
        mesh.Skin.Clips.push_back({clip.Name, clip.Length});
    return slot;
}

float RootX(const T3D_SceneMesh& instance)
{
    return instance.BoneMatrices.at(0).e[3];
}

// One call of the equipment callback.
struct TCreated {
    int32_t Item, Mesh, Owner;
    std::string Name;
};

} // namespace

class PersonageRenderTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        ResetGameTables();
        MainRender = Render.get();
        Render->Scene_Add("MAP");
        Scene = Render->Scene_Find("MAP");
        ItemMesh = AddSkinnedMesh(*Render, "Gear", {{"stand", 2000, 0}, {"walk", 1000, 3}});
        PlainMesh = AddSkinnedMesh(*Render, "Plain", {});
        std::memset(&Person, 0, sizeof Person);
        Person.UnitType = 1;
        ArmyRenders.clear();
    }

    void TearDown() override
    {
        ArmyRenders.clear();
        ResetGameTables();
        MainRender = nullptr;
        TRecordingRenderTest::TearDown();
    }

    // A new item of the kind; with a model unless mesh is -1.
    int32_t Item(IT type, int32_t subType = 0, int32_t mesh = -2)
    {
        const int32_t n = ++ItemCount;
        ItemTable[n].MainType = static_cast<uint8_t>(type);
        ItemTable[n].SubType = subType;
        ItemTable[n].Mesh = mesh == -2 ? ItemMesh : mesh;
        return n;
    }

    // The body: the scene's first instance (instance 0, which is a body
    // like any other) unless something was added before.
    void MakeBody(const std::vector<TTestClip>& clips)
    {
        const int32_t mesh = AddSkinnedMesh(*Render, "Knight", clips);
        Data.UnitType = Person.UnitType;
        Data.RenderMesh = mesh;
        Data.Instance = Scene->AddMesh(mesh, "Body");
    }

    TEquipmentInstanceCallback Callback()
    {
        return [this](int32_t item, int32_t mesh, int32_t owner, const std::string& name) {
            Created.push_back({item, mesh, owner, name});
            return Scene->AddMesh(mesh, name);
        };
    }

    void Dress()
    {
        InitPersonageAnimations("MAP", Person, Data);
        AttachPersonageEquipment("MAP", Person, Data, 7, Callback());
    }

    T3D_SceneMesh& Instance(int32_t slot) { return *Scene->GetMesh(slot); }

    // The hard point the instance follows, "" none.
    std::string FollowedBone(int32_t slot)
    {
        const T3D_SceneMesh& child = Instance(slot);
        const T3D_SceneMesh& body = Instance(Data.Instance);
        for (size_t b = 0; b < body.BoneMatrices.size(); b++)
            if (child.BoneMatrixPtr == &body.BoneMatrices[b])
                return TestBones[b];
        return "";
    }

    T3D_Scene* Scene = nullptr;
    int32_t ItemMesh = -1;
    int32_t PlainMesh = -1;
    TPersonage Person;
    TPersRenderAnimationData Data;
    std::vector<TCreated> Created;
};

TEST_F(PersonageRenderTest, WeaponPrefixFollowsBothHands)
{
    struct TSide {
        bool present;
        IT type;
        int32_t subType;
    };
    const TSide none{false, IT::Sword, 0};
    auto with = [](IT type, int32_t subType = 0) { return TSide{true, type, subType}; };
    const struct {
        TSide right, left;
        const char* prefix;
    } cases[] = {
        {none, none, "na_"},
        {none, with(IT::Shield), "na_"},
        {with(IT::Sword), none, "sword_"},
        {with(IT::Sword), with(IT::Axe), "double_"},
        {with(IT::Dagger), with(IT::Sword), "double_"},
        {with(IT::LongSword), with(IT::Dagger), "double_"},
        {with(IT::Sword), with(IT::Shield), "shield_"},
        {with(IT::Sword), with(IT::Shield, 3), "sword_"},
        {with(IT::Wand), with(IT::Shield), "shield_"},
        {with(IT::Spear), with(IT::Shield), "spear_"},
        {with(IT::Pitchfork), none, "spear_"},
        {with(IT::Lance), with(IT::Shield), "horse_"},
        {with(IT::Halberd), none, "halberd_"},
        {with(IT::Pike), none, "pike_"},
        {with(IT::LongSword), none, "2hsword_"},
        {with(IT::Hammer), none, "2hsword_"},
        {with(IT::Spectral), with(IT::Sword), "2hsword_"},
        {with(IT::Axe), none, "blunt_"},
        {with(IT::Crowbill), none, "blunt_"},
        {with(IT::Mace), with(IT::Shield, 3), "blunt_"},
        {with(IT::Bow), with(IT::Arrow), "bow_"},
        {with(IT::Arbalet), none, "crossbow_"},
        {with(IT::Staff), none, "staff_"},
        {with(IT::Wand), none, "rod_"},
        {with(IT::Book), none, "book_"},
        {with(IT::Dagger), none, "na_"},
        {with(IT::Sling), none, "na_"},
    };
    for (const auto& c : cases) {
        const int32_t right = c.right.present ? Item(c.right.type, c.right.subType) : 0;
        const int32_t left = c.left.present ? Item(c.left.type, c.left.subType) : 0;
        EXPECT_EQ(GetWeaponAnimationPrefix(right, left), c.prefix)
            << static_cast<int>(c.right.type) << "/" << static_cast<int>(c.left.type);
    }
    // Numbers outside the item table count as no item.
    EXPECT_EQ(GetWeaponAnimationPrefix(ItemMax + 1, 0), "na_");
    EXPECT_EQ(GetWeaponAnimationPrefix(Item(IT::Sword), -5), "sword_");
}

TEST_F(PersonageRenderTest, EquipmentGoesToItsSlotsAndBones)
{
    struct TExpect {
        const char* slot; // the hard point naming the slot
        const char* name; // instance name stem
        const char* bone; // followed bone, "" none
    };
    const struct {
        const char* title;
        IT right, left;
        int32_t leftSubType;
        bool quiver;
        std::vector<TExpect> worn;
    } cases[] = {
        {"bow and arrows with a quiver",
         IT::Bow,
         IT::Arrow,
         0,
         true,
         {{"HP_left", "Weapon1_of_", "HP_left"}, {"HP_back", "Weapon2_of_", "HP_back"}}},
        {"bow and arrows without a quiver", IT::Bow, IT::Arrow, 0, false, {{"HP_left", "Weapon1_of_", "HP_left"}}},
        {"bow alone", IT::Bow, IT::Potion, 0, true, {{"HP_left", "Weapon1_of_", "HP_left"}}},
        {"sword and shield",
         IT::Sword,
         IT::Shield,
         1,
         false,
         {{"HP_right", "Weapon1_of_", "HP_right"}, {"HP_shield", "Weapon2_of_", "HP_shield"}}},
        {"sword and a shield of the back",
         IT::Sword,
         IT::Shield,
         3,
         false,
         {{"HP_right", "Weapon1_of_", "HP_right"}, {"HP_shield", "Weapon2_of_", "HP_back"}}},
        {"spear and shield", IT::Spear, IT::Shield, 1, false, {{"HP_right", "Weapon1_of_", "HP_right"}}},
        {"sword and axe",
         IT::Sword,
         IT::Axe,
         0,
         false,
         {{"HP_right", "Weapon1_of_", "HP_right"}, {"HP_left", "Weapon2_of_", "HP_left"}}},
        {"staff and dagger share a hand", IT::Staff, IT::Dagger, 0, false, {{"HP_left", "Weapon1_of_", "HP_left"}}},
        {"two-handed hammer and dagger", IT::Hammer, IT::Dagger, 0, false, {{"HP_right", "Weapon1_of_", "HP_right"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        Scene->ClearMeshes(0);
        Created.clear();
        Data = {};
        MakeBody({{"na_stand"}});
        Person.Equipment[1] = Item(c.right);
        Person.Equipment[2] = Item(c.left, c.leftSubType);
        Person.UseQuiver = c.quiver ? 1 : 0;
        Dress();
        std::map<std::string, const TWeaponData*> slots = {{"HP_right", &Data.Right}, {"HP_left", &Data.Left},
                                                           {"HP_back", &Data.Back},   {"HP_shield", &Data.Shield},
                                                           {"HP_horse", &Data.Horse}, {"HP_head", &Data.Head}};
        ASSERT_EQ(Created.size(), c.worn.size());
        for (size_t i = 0; i < c.worn.size(); i++) {
            const TExpect& e = c.worn[i];
            const TWeaponData& slot = *slots.at(e.slot);
            EXPECT_EQ(Created[i].Name, std::string(e.name) + "Body");
            EXPECT_EQ(Created[i].Owner, 7);
            EXPECT_EQ(Created[i].Mesh, ItemMesh);
            EXPECT_EQ(slot.Item, Created[i].Item) << e.slot;
            ASSERT_GE(slot.Instance, 0) << e.slot;
            EXPECT_EQ(FollowedBone(slot.Instance), e.bone) << e.slot;
            slots.erase(e.slot);
        }
        for (const auto& [name, slot] : slots) {
            EXPECT_EQ(slot->Item, 0) << name;
            EXPECT_EQ(slot->Instance, -1) << name;
        }
        EXPECT_TRUE(PersonageEquipmentMatches(Person, Data));
        // Dressing again adds nothing: every slot that is worn is taken.
        AttachPersonageEquipment("MAP", Person, Data, 7, Callback());
        EXPECT_EQ(Created.size(), c.worn.size());
    }
}

TEST_F(PersonageRenderTest, HorseAndHeadAreNotOnBones)
{
    MakeBody({{"shield_stand"}, {"shield_walk"}});
    const int32_t horseMesh = AddSkinnedMesh(*Render, "Horse", {{"stand"}, {"walk"}});
    const int32_t headMesh = AddSkinnedMesh(*Render, "Head", {{"na_stand"}, {"shield_stand"}, {"stand"}});
    Person.Equipment[13] = Item(IT::Horse, 0, horseMesh);
    Person.ReplaceHead = static_cast<int16_t>(Item(IT::Head, 0, headMesh));
    Person.Mounted = 1;
    Person.Equipment[1] = Item(IT::Sword, 0, -1); // no model: not worn, but it sets the prefix
    Person.Equipment[2] = Item(IT::Shield);
    Dress();
    ASSERT_EQ(Created.size(), 3u);
    EXPECT_EQ(Created[0].Name, "Head_of_Body");
    EXPECT_EQ(Created[1].Name, "Horse_of_Body");
    EXPECT_EQ(Created[2].Name, "Weapon2_of_Body");
    EXPECT_EQ(FollowedBone(Data.Head.Instance), "");
    EXPECT_EQ(FollowedBone(Data.Horse.Instance), "");
    EXPECT_EQ(Data.Right.Instance, -1);
    // The head's stand clip carries the weapon prefix, the others' not.
    EXPECT_EQ(Data.Prefix, "shield_");
    EXPECT_EQ(Data.Head.StandClip, 1);
    EXPECT_EQ(Data.Horse.StandClip, 0);
    EXPECT_EQ(Data.Shield.StandClip, 0);
    EXPECT_EQ(Data.Horse.Animated, 1);
    EXPECT_TRUE(PersonageEquipmentMatches(Person, Data));

    // Off the horse the horse is no longer expected.
    Person.Mounted = 0;
    EXPECT_FALSE(PersonageEquipmentMatches(Person, Data));
}

TEST_F(PersonageRenderTest, EquipmentCheckSeesEveryChange)
{
    MakeBody({{"bow_stand"}});
    const int32_t bow = Item(IT::Bow);
    const int32_t arrows = Item(IT::Arrow);
    Person.Equipment[1] = bow;
    Person.Equipment[2] = arrows;
    Person.UseQuiver = 1;
    Dress();
    ASSERT_TRUE(PersonageEquipmentMatches(Person, Data));

    const struct {
        const char* title;
        int32_t right, left, quiver;
        bool matches;
    } cases[] = {
        {"the same", bow, arrows, 1, true},
        {"other arrows", bow, Item(IT::Arrow), 1, false},
        {"arrows without a model", bow, Item(IT::Arrow, 0, -1), 1, false},
        {"no quiver: the back is not compared", bow, 0, 0, true},
        {"a sword instead of the bow", Item(IT::Sword), arrows, 1, false},
    };
    for (const auto& c : cases) {
        Person.Equipment[1] = c.right;
        Person.Equipment[2] = c.left;
        Person.UseQuiver = static_cast<uint8_t>(c.quiver);
        EXPECT_EQ(PersonageEquipmentMatches(Person, Data), c.matches) << c.title;
    }
}

TEST_F(PersonageRenderTest, PikeBaseClipsDependOnTheRank)
{
    const struct {
        bool pike, braced;
        const char* stand;
        int32_t mode;
    } cases[] = {
        {true, true, "stand", 2},
        {true, false, "stand_far", 1},
        {false, false, "stand", 1},
    };
    for (const auto& c : cases) {
        Scene->ClearMeshes(0);
        Data = {};
        MakeBody({{"pike_stand"}, {"pike_idle01"}, {"pike_death"}, {"pike_stand_far"}, {"pike_idle01_far"}});
        Person.Equipment[1] = Item(IT::Pike);
        Person.PersBonus[3] = static_cast<uint8_t>(c.pike ? bPike : 0);
        Person.PikeBraced = c.braced ? 1 : 0;
        InitPersonageAnimations("MAP", Person, Data);
        EXPECT_EQ(Data.Prefix, "pike_");
        EXPECT_EQ(Data.StandName, c.stand);
        EXPECT_EQ(Data.Mode, c.mode);
        EXPECT_EQ(Data.StandClip, FindAnimationIndex(Data.Anims, Data.Prefix + c.stand));
        // The far set has no death clip of its own in this mesh.
        EXPECT_EQ(Data.DeathClip, c.braced || !c.pike ? 2 : -1);
    }
}

TEST_F(PersonageRenderTest, ClipListRules)
{
    MakeBody({{"na_stand", 2000}, {"na_walk", 800}, {"na_death", 1500}, {"na_walk", 900}});
    Person.Equipment[1] = 0;
    InitPersonageAnimations("MAP", Person, Data);
    const TAllAnimData& a = Data.Anims;
    // The last of two entries of one name is the one found.
    EXPECT_EQ(FindAnimationIndex(a, "na_walk"), 3);
    EXPECT_EQ(FindAnimationIndex(a, "walk"), -1);
    EXPECT_EQ(FindPersonageAnimation(Data, "walk"), 800);
    EXPECT_EQ(FindPersonageAnimation(Data, "fly"), 0);

    EXPECT_EQ(PlayPersonageAnimation(Data, "stand", 1000, true), 2000);
    EXPECT_EQ(a.Current, 0);
    EXPECT_EQ(a.Previous, -1);

    // A switch, then a second one in the same millisecond: the clip faded
    // out is kept.
    EXPECT_EQ(PlayPersonageAnimation(Data, "walk", 5000, false), 900);
    EXPECT_EQ(a.Current, 3);
    EXPECT_EQ(a.Previous, 0);
    EXPECT_EQ(PlayPersonageAnimation(Data, "death", 5000, false), 1500);
    EXPECT_EQ(a.Current, 2);
    EXPECT_EQ(a.Previous, 0);

    // A millisecond later the switch pushes again.
    PlayPersonageAnimation(Data, "walk", 5001, false);
    EXPECT_EQ(a.Previous, 2);
    EXPECT_EQ(a.Anims[3].Start, 5001);

    // Again without restart: only the end moves.
    EXPECT_EQ(PlayPersonageAnimation(Data, "walk", 5400, false), 900);
    EXPECT_EQ(a.Current, 3);
    EXPECT_EQ(a.Previous, 2);
    EXPECT_EQ(a.Anims[3].Start, 5001);
    EXPECT_EQ(a.Anims[3].End, 6300);

    // With restart it starts over without a fade.
    PlayPersonageAnimation(Data, "walk", 5600, true);
    EXPECT_EQ(a.Current, 3);
    EXPECT_EQ(a.Previous, -1);
    EXPECT_EQ(a.Anims[3].Start, 5600);
    EXPECT_EQ(a.Anims[3].End, 6500);

    // A missing clip changes nothing.
    const TAllAnimData before = a;
    EXPECT_EQ(PlayPersonageAnimation(Data, "fly", 7000, true), 0);
    EXPECT_EQ(a.Current, before.Current);
    EXPECT_EQ(a.Previous, before.Previous);
    for (size_t i = 0; i < a.Anims.size(); i++) {
        EXPECT_EQ(a.Anims[i].Start, before.Anims[i].Start);
        EXPECT_EQ(a.Anims[i].End, before.Anims[i].End);
    }
}

TEST_F(PersonageRenderTest, SlotsFollowTheBodyWithTheirOwnClips)
{
    MakeBody({{"sword_stand"}, {"sword_walk"}, {"sword_attack"}});
    const int32_t head = AddSkinnedMesh(*Render, "Head", {{"stand"}, {"sword_stand"}, {"sword_walk"}});
    Person.Equipment[1] = Item(IT::Sword); // gear: "stand", "walk"
    Person.ReplaceHead = static_cast<int16_t>(Item(IT::Head, 0, head));
    Dress();
    ASSERT_EQ(Data.Right.Animated, 1);

    PlayPersonageAnimation(Data, "walk", 1000, false);
    EXPECT_EQ(Data.Right.Anims.Current, 1);
    EXPECT_EQ(Data.Head.Anims.Current, 2);
    // The sword has no attack: it falls back to its stand clip.
    PlayPersonageAnimation(Data, "attack", 2000, false);
    EXPECT_EQ(Data.Right.Anims.Current, 0);
    EXPECT_EQ(Data.Right.Anims.Previous, 1);
    EXPECT_EQ(Data.Right.Anims.Anims[0].Start, 2000);
    EXPECT_EQ(Data.Head.Anims.Current, 1);
    // A clip the body lacks leaves the slots alone too.
    EXPECT_EQ(PlayPersonageAnimation(Data, "fly", 4000, false), 0);
    EXPECT_EQ(Data.Right.Anims.Current, 0);
    EXPECT_EQ(Data.Right.Anims.Anims[0].Start, 2000);
}

TEST_F(PersonageRenderTest, CrossFadeLastsThreeHundredMilliseconds)
{
    MakeBody({{"na_stand", 2000, 0}, {"na_walk", 1000, 10}, {"na_death", 1000, 20}, {"na_idle01", 1000, 30}});
    Person.Equipment[1] = 0;
    InitPersonageAnimations("MAP", Person, Data);
    PlayPersonageAnimation(Data, "stand", 0, false);
    PlayPersonageAnimation(Data, "walk", 1000, false);
    T3D_SceneMesh& body = Instance(Data.Instance);

    const struct {
        int32_t at;
        bool blend;
        float x;
    } cases[] = {{1000, true, 0}, {1150, true, 5}, {1299, true, 9.9667f}, {1300, false, 10}, {2000, false, 10}};
    for (const auto& c : cases) {
        const TPosePlan plan = PlanBodyPose(Data, c.at, 0);
        EXPECT_EQ(plan.Blend, c.blend) << c.at;
        UpdatePersonageAnimation("MAP", Data, c.at, 0);
        EXPECT_NEAR(RootX(body), c.x, 1e-3) << c.at;
    }
    // The stand clip loops while it fades out; other clips hold their end.
    EXPECT_EQ(PlanBodyPose(Data, 1150, 1).PreviousMode, 0);
    EXPECT_EQ(PlanBodyPose(Data, 1150, 1).CurrentMode, 1);
    PlayPersonageAnimation(Data, "idle01", 3000, false);
    EXPECT_EQ(PlanBodyPose(Data, 3150, 0).PreviousMode, 2);
    EXPECT_EQ(PlanBodyPose(Data, 3150, 0).PreviousTime, 2150);
    UpdatePersonageAnimation("MAP", Data, 3150, 0);
    EXPECT_NEAR(RootX(body), 20, 1e-3); // halfway from 10 to 30

    // Rising from the death clip never blends.
    PlayPersonageAnimation(Data, "death", 4000, false);
    PlayPersonageAnimation(Data, "stand", 5000, false);
    EXPECT_EQ(Data.Anims.Previous, Data.DeathClip);
    EXPECT_FALSE(PlanBodyPose(Data, 5150, 0).Blend);
    UpdatePersonageAnimation("MAP", Data, 5150, 0);
    EXPECT_NEAR(RootX(body), 0, 1e-3);
}

TEST_F(PersonageRenderTest, OnlyHandsHorseAndHeadFadeWithTheBody)
{
    MakeBody({{"shield_stand", 2000, 0}, {"shield_walk", 1000, 10}, {"shield_death", 1000, 20}});
    const int32_t shieldMesh = AddSkinnedMesh(*Render, "Buckler", {{"stand", 2000, 0}, {"walk", 1000, 4}});
    Person.Equipment[1] = Item(IT::Sword); // gear: "stand" 0, "walk" 3
    Person.Equipment[2] = Item(IT::Shield, 0, shieldMesh);
    Dress();
    PlayPersonageAnimation(Data, "stand", 0, false);
    PlayPersonageAnimation(Data, "walk", 1000, false);
    // The pieces ride on the body's hard points: their own motion is what
    // they add to the body's.
    auto own = [&](const TWeaponData& slot) { return RootX(Instance(slot.Instance)) - RootX(Instance(Data.Instance)); };
    UpdatePersonageAnimation("MAP", Data, 1150, 0);
    EXPECT_NEAR(RootX(Instance(Data.Instance)), 5, 1e-3);
    // The sword is halfway, the shield already there.
    EXPECT_NEAR(own(Data.Right), 1.5f, 1e-3);
    EXPECT_NEAR(own(Data.Shield), 4, 1e-3);

    // While the body does not fade (it rises from death) the sword does
    // not either, though its own list would.
    PlayPersonageAnimation(Data, "death", 1400, false);
    PlayPersonageAnimation(Data, "walk", 2000, false);
    ASSERT_EQ(Data.Right.Anims.Previous, 0);
    ASSERT_EQ(Data.Right.Anims.Current, 1);
    UpdatePersonageAnimation("MAP", Data, 2150, 0);
    EXPECT_NEAR(RootX(Instance(Data.Instance)), 10, 1e-3);
    EXPECT_NEAR(own(Data.Right), 3, 1e-3);
}

TEST_F(PersonageRenderTest, SlotWithoutClipsKeepsTheRestPose)
{
    MakeBody({{"sword_stand", 2000, 0}});
    Person.Equipment[1] = Item(IT::Sword, 0, PlainMesh);
    Dress();
    EXPECT_EQ(Data.Right.Animated, 0);
    EXPECT_EQ(Data.Right.StandClip, -1);
    PlayPersonageAnimation(Data, "stand", 0, false);
    Instance(Data.Right.Instance).BoneMatrices[0].e[3] = 99;
    UpdatePersonageAnimation("MAP", Data, 100, 0);
    EXPECT_EQ(RootX(Instance(Data.Right.Instance)), 0);
}

TEST_F(PersonageRenderTest, ScaleComesFromTheModelSettings)
{
    const struct {
        int32_t scale;
        float factor;
    } cases[] = {{0, 2}, {-5, 2}, {100, 2}, {150, 3}, {50, 1}, {1, 0.02f}};
    const int32_t horseMesh = AddSkinnedMesh(*Render, "Horse", {{"stand"}});
    const int32_t horse = Item(IT::Horse, 0, horseMesh);
    Person.Equipment[13] = horse;
    Person.Mounted = 1;
    MakeBody({{"na_stand"}});
    Dress();
    for (const auto& c : cases) {
        UnitTypes[Person.UnitType].ModelSettings.Scale = c.scale;
        ItemTable[horse].Model.Scale = 150;
        PlacePersonage("MAP", Data, 1, 2, 3, 0, 2);
        const TMatrix4& w = *Instance(Data.Instance).World;
        EXPECT_NEAR(w.e[0], c.factor, 1e-6) << c.scale;
        EXPECT_NEAR(w.e[5], c.factor, 1e-6) << c.scale;
        EXPECT_NEAR(w.e[10], c.factor, 1e-6) << c.scale;
        EXPECT_EQ(w.e[3], 1);
        EXPECT_EQ(w.e[7], 2);
        EXPECT_EQ(w.e[11], 3);
        EXPECT_NEAR(Instance(Data.Horse.Instance).World->e[0], 3, 1e-6);
    }
    // Turned by the angle about the vertical axis.
    UnitTypes[Person.UnitType].ModelSettings.Scale = 100;
    PlacePersonage("MAP", Data, 0, 0, 0, 1.5707964f, 1);
    const TMatrix4& w = *Instance(Data.Instance).World;
    EXPECT_NEAR(std::fabs(w.e[2]), 1, 1e-6);
    EXPECT_NEAR(w.e[0], 0, 1e-6);
}

TEST_F(PersonageRenderTest, BodyWithoutInstanceIsLeftAlone)
{
    MakeBody({{"na_stand", 1000, 5}});
    InitPersonageAnimations("MAP", Person, Data);
    PlayPersonageAnimation(Data, "stand", 0, false);
    T3D_SceneMesh& body = Instance(Data.Instance);
    ASSERT_EQ(Data.Instance, 0);
    Data.Instance = -1;
    UpdatePersonageAnimation("MAP", Data, 100, 0);
    PlacePersonage("MAP", Data, 4, 5, 6, 0, 1);
    EXPECT_EQ(RootX(body), 0);
    EXPECT_EQ(body.World->e[3], 0);
    // An unknown scene neither.
    Data.Instance = 0;
    UpdatePersonageAnimation("ARENA", Data, 100, 0);
    EXPECT_EQ(RootX(body), 0);
    // Instance 0 itself is posed.
    UpdatePersonageAnimation("MAP", Data, 100, 0);
    EXPECT_EQ(RootX(body), 5);
}

TEST_F(PersonageRenderTest, DetachingEmptiesTheSlots)
{
    MakeBody({{"shield_stand"}});
    Person.Equipment[1] = Item(IT::Sword);
    Person.Equipment[2] = Item(IT::Shield);
    Dress();
    const int32_t sword = Data.Right.Instance;
    const int32_t shield = Data.Shield.Instance;
    ASSERT_FALSE(Data.Right.Anims.Anims.empty());

    // Without remove the instance stays in the scene but follows nothing.
    DetachHardPoint("MAP", Data, "HP_right", false);
    EXPECT_NE(Scene->GetMesh(sword), nullptr);
    EXPECT_EQ(Scene->GetMesh(sword)->BoneMatrixPtr, nullptr);
    EXPECT_EQ(Data.Right.Item, 0);
    EXPECT_EQ(Data.Right.Instance, -1);
    EXPECT_EQ(Data.Right.StandClip, -1);
    EXPECT_TRUE(Data.Right.Anims.Anims.empty());
    DetachHardPoint("MAP", Data, "HP_nowhere", true);
    EXPECT_NE(Scene->GetMesh(shield), nullptr);

    DetachAllHardPoints("MAP", Data, true);
    EXPECT_EQ(Scene->GetMesh(shield), nullptr);
    EXPECT_EQ(Data.Shield.Instance, -1);
    EXPECT_NE(Scene->GetMesh(Data.Instance), nullptr);

    // A re-dress brings the pieces back.
    Scene->RemoveMesh(sword);
    Created.clear();
    Dress();
    EXPECT_EQ(Created.size(), 2u);
    EXPECT_TRUE(PersonageEquipmentMatches(Person, Data));

    const int32_t swordAgain = Data.Right.Instance, shieldAgain = Data.Shield.Instance;
    ResetPersonageRender(Data);
    EXPECT_EQ(Data.UnitType, 0);
    EXPECT_EQ(Data.Instance, -1);
    EXPECT_EQ(Data.RenderMesh, -1);
    EXPECT_EQ(Data.Mode, -1);
    EXPECT_EQ(Data.StandClip, -1);
    EXPECT_TRUE(Data.Prefix.empty());
    EXPECT_TRUE(Data.Anims.Anims.empty());
    EXPECT_EQ(Data.Right.Instance, -1);
    EXPECT_EQ(Data.Shield.Item, 0);
    // Without a scene the record alone was cleared.
    EXPECT_NE(Scene->GetMesh(swordAgain), nullptr);
    EXPECT_NE(Scene->GetMesh(shieldAgain), nullptr);
}

TEST_F(PersonageRenderTest, ArmyRendersGrowEmptyAndShrinkReleased)
{
    ResizeMapArmyRenders(3);
    ASSERT_EQ(ArmyRenders.size(), 3u);
    TMapArmyGameRender& r = ArmyRenders[2];
    EXPECT_EQ(r.UpdatePending, 0);
    EXPECT_EQ(r.Visible, 0);
    EXPECT_EQ(r.Render.Instance, -1);
    EXPECT_EQ(r.Render.RenderMesh, -1);
    EXPECT_EQ(r.Render.Horse.Instance, -1);
    r.UpdatePending = 1;
    r.AnimationName = "relax";
    r.Render.Instance = 4;
    r.Label = std::make_unique<TGUI_Object>(Render.get());
    ArmyRenders[0].Render.Instance = 9;

    ResizeMapArmyRenders(2);
    ResizeMapArmyRenders(4);
    ASSERT_EQ(ArmyRenders.size(), 4u);
    EXPECT_EQ(ArmyRenders[0].Render.Instance, 9);
    EXPECT_EQ(ArmyRenders[2].UpdatePending, 0);
    EXPECT_TRUE(ArmyRenders[2].AnimationName.empty());
    EXPECT_EQ(ArmyRenders[2].Render.Instance, -1);
    EXPECT_EQ(ArmyRenders[2].Label, nullptr);
    ResizeMapArmyRenders(-1);
    EXPECT_TRUE(ArmyRenders.empty());
}

// The sample art: every unit type's model has the base clips of the prefix
// its standard weapons choose (and a pikeman's the far set too), so no army
// or battle model stands in its rest pose.
TEST_F(PersonageRenderTest, SampleModelsHaveTheBaseClipsOfTheirWeapons)
{
    SetGameFolders(OS_ToProgramPath(std::string(DUSKMARCH_INSTALL) + "/"));
    SetGameLanguage("eng");
    LoadBonuses();
    LoadSpells();
    LoadItems();
    LoadUnitTypes();
    ASSERT_GT(UnitTypeCount, 0);
    int32_t checked = 0;
    for (int32_t t = 1; t <= UnitTypeCount; t++) {
        const TPersonage& type = UnitTypes[t];
        if (type.FileName.Str().empty())
            continue;
        const std::string file = PersonagesFolder + type.FileName.Str() + ".D3D";
        TStringArray names;
        Render->Mesh_FindNames(file, names);
        ASSERT_FALSE(names.empty()) << file;
        const T3D_Mesh& mesh = *Render->Mesh_Get(LoadMesh(MESH_SKINNED, file, names.front(), ""));
        std::vector<std::string> clips;
        for (const T3D_Clip& clip : mesh.Skin.Clips)
            clips.push_back(clip.Name);
        const std::string prefix = GetWeaponAnimationPrefix(type.DefaultItems[1], type.DefaultItems[2]);
        std::vector<std::string> wanted = {"stand", "idle01", "death", "relax"};
        if (prefix == "pike_")
            wanted.insert(wanted.end(), {"stand_far", "idle01_far", "death_far"});
        for (const std::string& name : wanted)
            EXPECT_NE(std::find(clips.begin(), clips.end(), prefix + name), clips.end())
                << type.Name.Str() << " (" << file << ") lacks " << prefix << name;
        checked++;
    }
    EXPECT_GT(checked, 0);
}

// The personage art: two runs of the generator write the same bytes; every
// model file the unit and item tables name loads through the renderer's own
// loaders with its hard points, its clips for the weapon prefixes its items
// give, and its textures; the clips move what they should. A contact sheet
// of a few figures with their gear is left in the build folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/tables/Global.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_Images.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "tests/render/RenderTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/tools/ArtMeshChecks.h"
#include "tools/TextureFiles.h"
#include "tools/artgen/ArtPersGear.h"

namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> PersonageFilesBelow(const std::string& root)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).generic_string()] = ReadWholeFile(entry.path().string());
    return files;
}

std::string PersonageInstallation()
{
    return OS_ToProgramPath(std::string(DUSKMARCH_INSTALL) + "/");
}

// An item of the table as the figures need it.
struct TItemInfo {
    std::string MainType;
    int32_t SubType = 0;
    std::string FileName;
};

// Items by number (1 = the first section), from the installation's table.
std::vector<TItemInfo> ReadItems()
{
    TIniFile ini;
    ini.Load(PersonageInstallation() + "Config\\Items.Ini");
    std::vector<TItemInfo> items(1);
    for (int32_t s = 0; s < ini.SectionCount(); s++) {
        ini.SelectSectionIndex(s);
        items.push_back(
            {ini.ReadString("MainType", -1), ini.ReadInteger("SubType", -1, 0), ini.ReadString("FileName", -1)});
    }
    return items;
}

bool OneOf(const std::string& type, std::initializer_list<const char*> types)
{
    for (const char* t : types)
        if (type == t)
            return true;
    return false;
}

// The prefix the personage code chooses for a right and a left item.
std::string PrefixOf(const TItemInfo* right, const TItemInfo* left)
{
    if (right == nullptr)
        return "na_";
    const std::string& r = right->MainType;
    std::string prefix = "na_";
    if (r == "Lance")
        prefix = "horse_";
    else if (OneOf(r, {"Pitchfork", "Spear"}))
        prefix = "spear_";
    else if (r == "Halberd")
        prefix = "halberd_";
    else if (r == "Pike")
        prefix = "pike_";
    else if (OneOf(r, {"LongSword", "Hammer", "Spectral"}))
        prefix = "2hsword_";
    if (prefix == "na_") {
        if (left != nullptr && left->MainType == "Shield" && left->SubType != 3)
            prefix = "shield_";
        else if (r == "Sword")
            prefix = "sword_";
        else if (OneOf(r, {"Axe", "Crowbill", "Mace"}))
            prefix = "blunt_";
        else if (r == "Bow")
            prefix = "bow_";
        else if (r == "Arbalet")
            prefix = "crossbow_";
        else if (r == "Staff")
            prefix = "staff_";
        else if (r == "Wand")
            prefix = "rod_";
        else if (r == "Book")
            prefix = "book_";
    }
    const auto melee = {"Sword", "Axe", "Crowbill", "Mace", "Dagger", "LongSword", "Hammer"};
    if (left != nullptr && OneOf(r, melee) && OneOf(left->MainType, melee))
        prefix = "double_";
    return prefix;
}

TEST(ArtPersonagePrefix, TheOracleFollowsTheWeaponRules)
{
    const TItemInfo sword{"Sword", 1, ""}, axe{"Axe", 1, ""}, shield{"Shield", 1, ""}, pavise{"Shield", 3, ""},
        spear{"Spear", 1, ""}, bow{"Bow", 1, ""}, lance{"Lance", 1, ""}, pike{"Pike", 2, ""};
    EXPECT_EQ(PrefixOf(&sword, &axe), "double_");
    EXPECT_EQ(PrefixOf(&sword, &shield), "shield_");
    EXPECT_EQ(PrefixOf(&spear, &shield), "spear_");
    EXPECT_EQ(PrefixOf(&sword, &pavise), "sword_");
    EXPECT_EQ(PrefixOf(&bow, nullptr), "bow_");
    EXPECT_EQ(PrefixOf(&lance, &shield), "horse_");
    EXPECT_EQ(PrefixOf(&pike, nullptr), "pike_");
    EXPECT_EQ(PrefixOf(nullptr, &shield), "na_");
}

} // namespace

TEST(ArtPersonages, TwoRunsWriteTheSameBytes)
{
    TTempFolder first, second;
    int statusA = -1, statusB = -1;
    std::string outA, outB;
    std::thread other([&] { outB = RunProgram(DUSKMARCH_ARTGEN, "\"" + second.Path() + "\" personages", statusB); });
    outA = RunProgram(DUSKMARCH_ARTGEN, "\"" + first.Path() + "\" personages", statusA);
    other.join();
    ASSERT_EQ(statusA, 0) << outA;
    ASSERT_EQ(statusB, 0) << outB;

    const std::map<std::string, std::string> a = PersonageFilesBelow(first.Path()),
                                             b = PersonageFilesBelow(second.Path());
    ASSERT_FALSE(a.empty());
    size_t total = 0;
    for (const auto& [name, bytes] : a) {
        EXPECT_EQ(name.rfind("Personages/", 0), 0u) << name << ": the set writes only below Personages\\";
        const auto found = b.find(name);
        ASSERT_NE(found, b.end()) << name;
        EXPECT_TRUE(found->second == bytes) << name << " differs between the runs";
        total += bytes.size();
    }
    EXPECT_EQ(a.size(), b.size());
    EXPECT_LE(total, size_t{10} << 20) << "the set keeps within its share of the installation";
}

namespace {

const char* const HardPoints[] = {"HP_right", "HP_left", "HP_back", "HP_shield", "HP_horse", "HP_head"};

class ArtPersonagesTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        SetGameFolders(PersonageInstallation());
        Scene = Render->Scene_Get(Render->Scene_Add("ARENA"));
    }

    // A model file loaded as the arena loads a body: its first mesh, skinned.
    int32_t LoadModel(const std::string& path)
    {
        TStringArray names;
        Render->Mesh_FindNames(path, names);
        EXPECT_FALSE(names.empty()) << path;
        if (names.empty())
            return -1;
        const int32_t slot = Render->Mesh_Add(MESH_SKINNED, path, 1);
        Render->Mesh_Load(slot, path, names[0], 2);
        return slot;
    }

    T3D_Mesh& Mesh(int32_t slot) { return *Render->Mesh_Get(slot); }

    static int32_t BoneIndex(const T3D_Mesh& mesh, const std::string& name)
    {
        for (size_t b = 0; b < mesh.Skin.Bones.size(); b++)
            if (mesh.Skin.Bones[b].Name == name)
                return static_cast<int32_t>(b);
        return -1;
    }

    static std::set<std::string> ClipNames(const T3D_Mesh& mesh)
    {
        std::set<std::string> names;
        for (const T3D_Clip& clip : mesh.Skin.Clips)
            names.insert(clip.Name);
        return names;
    }

    // Where a bone's joint stands at a time of a clip.
    TVec3 JointAt(T3D_SceneMesh* instance, const std::string& clip, int32_t time, const std::string& bone)
    {
        instance->Calc_AnimationByName(clip, time, 2);
        const int32_t b = BoneIndex(*instance->Mesh(), bone);
        EXPECT_GE(b, 0) << bone;
        TVec3 at{};
        if (b >= 0)
            Vec3TransformCoord({0, 0, 0}, instance->BoneMatrices[static_cast<size_t>(b)], at);
        return at;
    }

    static float Distance(const TVec3& a, const TVec3& b)
    {
        return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
    }

    static void ExpectTexture(const std::string& path)
    {
        int32_t format = 0, width = 0, height = 0;
        std::vector<TImageBuffer*> levels;
        Load_DDS(path, format, levels, width, height);
        EXPECT_GT(width, 0) << path;
        EXPECT_FALSE(levels.empty()) << path;
        FreeImageLevels(levels);
    }

    T3D_Scene* Scene = nullptr;
};

} // namespace

TEST_F(ArtPersonagesTest, EveryUnitModelHasItsHardPointsClipsAndTextures)
{
    const std::vector<TItemInfo> items = ReadItems();
    auto item = [&](int32_t n) -> const TItemInfo* {
        return n > 0 && static_cast<size_t>(n) < items.size() ? &items[static_cast<size_t>(n)] : nullptr;
    };
    TIniFile units;
    units.Load(PersonageInstallation() + "Config\\Units.Ini");
    int32_t models = 0;
    for (int32_t s = 0; s < units.SectionCount(); s++) {
        units.SelectSectionIndex(s);
        const std::string file = units.ReadString("FileName", -1);
        if (file.empty())
            continue;
        SCOPED_TRACE(units.SectionName(s) + ": " + file);
        models++;
        const int32_t slot = LoadModel(PersonagesFolder + file + ".D3D");
        ASSERT_GE(slot, 0);
        ASSERT_EQ(GetEngineErrorText(), "");
        const T3D_Mesh& mesh = Mesh(slot);
        EXPECT_EQ(mesh.VertexFormat, MESH_SKINNED);
        EXPECT_EQ(FacesWoundInward(mesh), 0);
        EXPECT_GE(mesh.Skin.Bones.size(), 20u);
        EXPECT_LE(mesh.Skin.Bones.size(), 40u);
        for (const char* point : HardPoints)
            EXPECT_GE(BoneIndex(mesh, point), 0) << point;
        for (const T3D_Bone& bone : mesh.Skin.Bones)
            EXPECT_EQ(bone.Tracks.size(), mesh.Skin.Clips.size()) << bone.Name << ": a track for every clip";

        const TItemInfo* right = item(units.ReadInteger("EquipRightHand", 1, 0));
        const TItemInfo* left = item(units.ReadInteger("EquipLeftHand", 1, 0));
        const std::string prefix = PrefixOf(right, left);
        const std::set<std::string> clips = ClipNames(mesh);
        for (const std::string& p : {std::string("na_"), prefix})
            for (const std::string& name : ArtPers::ClipBaseNames())
                EXPECT_EQ(clips.count(p + name), 1u) << p + name;
        if (prefix == "pike_") {
            for (const char* name : {"stand_far", "idle01_far", "death_far"})
                EXPECT_EQ(clips.count(prefix + name), 1u) << prefix + name;
        }
        for (const T3D_Clip& clip : mesh.Skin.Clips)
            EXPECT_GT(clip.FrameCount, 0) << clip.Name;

        for (const char* folder : {"Textures\\", "Textures_Small\\"})
            for (const char* suffix : {"_d", "_s", "_n"})
                ExpectTexture(PersonagesFolder + folder + file + suffix + ".DDS");
    }
    EXPECT_GT(models, 0);
    EXPECT_EQ(GetEngineErrorText(), "");
}

TEST_F(ArtPersonagesTest, EveryItemModelLoadsWithItsTextures)
{
    const std::vector<TItemInfo> items = ReadItems();
    const std::set<std::string> carried = {"Sword", "Axe",     "Mace",  "Dagger", "Spear", "LongSword", "Pike", "Lance",
                                           "Bow",   "Arbalet", "Staff", "Wand",   "Arrow", "Shield",    "Horse"};
    int32_t models = 0;
    for (size_t n = 1; n < items.size(); n++) {
        const TItemInfo& it = items[n];
        SCOPED_TRACE(std::to_string(n) + " " + it.MainType + " " + it.FileName);
        // Whatever a hand, the back or the saddle holds is drawn.
        EXPECT_EQ(!it.FileName.empty(), carried.count(it.MainType) != 0);
        if (it.FileName.empty())
            continue;
        models++;
        const std::string path = WeaponsFolder + it.FileName + ".D3D";
        const int32_t slot = LoadModel(path);
        ASSERT_GE(slot, 0);
        const T3D_Mesh& mesh = Mesh(slot);
        EXPECT_GT(mesh.VertexCount, 0);
        EXPECT_EQ(FacesWoundInward(mesh), 0);
        ASSERT_FALSE(mesh.Skin.Bones.empty()) << "the arena draws gear with the skinned shaders";
        TStringArray names, textures;
        Render->Mesh_FindNames(path, names);
        ASSERT_FALSE(names.empty());
        Render->Mesh_FindTexture(path, names[0], textures);
        EXPECT_GE(textures.size(), 1u);
        for (const std::string& t : textures)
            if (!t.empty())
                for (const char* folder : {"Textures\\", "Textures_Small\\"})
                    ExpectTexture(WeaponsFolder + folder + ExtractBaseName(t) + ".DDS");
        if (it.MainType == "Horse") {
            const std::set<std::string> clips = ClipNames(mesh);
            for (const char* clip : {"stand", "relax", "walk"})
                EXPECT_EQ(clips.count(clip), 1u) << clip;
        }
    }
    EXPECT_GT(models, 0);
    EXPECT_EQ(GetEngineErrorText(), "");
}

// The item table as the game loads it at start-up: every item that names a
// model gets its mesh and the map-sized textures its mesh file names, and
// the weapons' settings file reaches the items.
TEST_F(ArtPersonagesTest, TheGameLoadsEveryItemModel)
{
    MainRender = Render.get();
    InstallGameRenderHooks();
    LoadItems();
    RemoveGameRenderHooks();
    MainRender = nullptr;
    ASSERT_EQ(GetEngineErrorText(), "");
    int32_t models = 0;
    for (int32_t n = 1; n <= ItemCount; n++) {
        const TItems& it = ItemTable[n];
        SCOPED_TRACE(std::to_string(n) + " " + it.FileName);
        if (it.FileName.empty()) {
            EXPECT_EQ(it.Mesh, -1);
            continue;
        }
        models++;
        ASSERT_GE(it.Mesh, 0);
        EXPECT_GT(Mesh(it.Mesh).VertexCount, 0);
        std::set<int32_t> stages;
        for (const T3D_MeshStageTexture& stage : Mesh(it.Mesh).StageTextures) {
            const T3D_Texture* texture = TextureAt(*Render, stage.TextureSlot);
            ASSERT_NE(texture, nullptr);
            EXPECT_NE(texture->FileName, "error.dds");
            stages.insert(stage.Stage);
        }
        EXPECT_EQ(stages, (std::set<int32_t>{0, 1, 2})) << "diffuse, specular and normal maps";
        if (it.FileName == "Horse_Grey") {
            EXPECT_EQ(it.Model.Scale, 110);
        }
        if (it.FileName == "Sword_Long") {
            EXPECT_EQ(it.Model.SpecularType, 1);
        }
    }
    EXPECT_GT(models, 0);
    ItemCount = 0;
}

// At rest the skin leaves every vertex where the file has it: the inverse
// binds match the joints the clips place.
TEST_F(ArtPersonagesTest, TheBindPoseKeepsTheMeshInPlace)
{
    for (const char* file : {"Levy01", "Wolf01"}) {
        SCOPED_TRACE(file);
        const int32_t slot = LoadModel(PersonagesFolder + file + ".D3D");
        T3D_SceneMesh* body = Scene->GetMesh(Scene->AddMesh(slot, file));
        body->Calc_AnimationByName("na_stand", 0, 2);
        const T3D_Mesh& mesh = Mesh(slot);
        for (size_t b = 0; b < mesh.Skin.Bones.size(); b++) {
            const std::string& name = mesh.Skin.Bones[b].Name;
            if (name.rfind("HP_", 0) == 0 || name == "Chest")
                continue; // hard points carry their own turn; the chest breathes
            for (int32_t i = 0; i < 16; i++)
                EXPECT_NEAR(body->SkinMatrices[b].e[i], IdentityMatrix.e[i], 1e-4f) << name << " " << i;
        }
    }
}

TEST_F(ArtPersonagesTest, ClipsMoveWhatTheyShould)
{
    struct TCase {
        const char* File;
        const char* Prefix;
        bool Beast;
        float Reach; // how far the weapon hand travels in an attack at least
    };
    // A strike swings the arm wide; a shot draws the hand back to the chin.
    const TCase cases[] = {
        {"Levy01", "spear_", false, 0.4f},         {"DukeArmor01", "shield_", false, 0.4f},
        {"Baroness01", "bow_", false, 0.15f},      {"Pikeman01", "pike_", false, 0.4f},
        {"Crossbow01", "crossbow_", false, 0.15f}, {"Wolf01", "na_", true, 0.15f},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.File) + " " + c.Prefix);
        const int32_t slot = LoadModel(PersonagesFolder + c.File + ".D3D");
        T3D_SceneMesh* body = Scene->GetMesh(Scene->AddMesh(slot, c.File));
        const std::string p = c.Prefix;

        // Standing: the head is high.
        const float headHigh = c.Beast ? 0.6f : 1.4f;
        EXPECT_GT(JointAt(body, p + "stand", 500, "Head").y, headHigh);

        // A walk swings the legs: the feet pass each other.
        const TVec3 rightEarly = JointAt(body, p + "walk", 250, "Foot_R");
        const TVec3 leftEarly = JointAt(body, p + "walk", 250, "Foot_L");
        const TVec3 rightLate = JointAt(body, p + "walk", 750, "Foot_R");
        EXPECT_GT(std::fabs(rightEarly.z - leftEarly.z), 0.25f);
        EXPECT_GT(std::fabs(rightEarly.z - rightLate.z), 0.25f);

        // An attack swings the weapon arm.
        float reach = 0;
        const TVec3 start = JointAt(body, p + "attack", 0, "HP_right");
        for (int32_t t = 100; t <= 1000; t += 100)
            reach = std::max(reach, Distance(start, JointAt(body, p + "attack", t, "HP_right")));
        EXPECT_GT(reach, c.Reach);

        // Death ends lying down.
        const TVec3 dead = JointAt(body, p + "death", 1200, "Head");
        EXPECT_LT(dead.y, c.Beast ? 0.45f : 0.5f);
        if (p == "pike_") {
            // The far stance lowers the pike bearer.
            EXPECT_LT(JointAt(body, "pike_stand_far", 0, "Pelvis").y, JointAt(body, "pike_stand", 0, "Pelvis").y);
        }
    }
    ASSERT_EQ(GetEngineErrorText(), "");
}

// A rider with a lance sits in the saddle: high up, and his feet stay in the
// stirrups while the horse walks.
TEST_F(ArtPersonagesTest, TheRiderSitsStillInTheSaddle)
{
    const int32_t slot = LoadModel(PersonagesFolder + "DukeArmor01.D3D");
    T3D_SceneMesh* body = Scene->GetMesh(Scene->AddMesh(slot, "Rider"));
    // The seat rests on the saddle of the horse as the game places it.
    const float seat = JointAt(body, "horse_stand", 0, "Pelvis").y - ArtPers::SeatBelowPelvis;
    EXPECT_NEAR(seat, ArtPers::HorseSaddleTop * ArtPers::HorseScale, 0.02f);
    const TVec3 early = JointAt(body, "horse_walk", 250, "Foot_R"), late = JointAt(body, "horse_walk", 750, "Foot_R");
    EXPECT_LT(Distance(early, late), 0.1f);
}

// Gear is modelled pointing along -z from its grip (a shield's face toward
// -z): the hard points turn it the way each stance carries it.
TEST_F(ArtPersonagesTest, GearPointsTheWayItIsCarried)
{
    struct TCase {
        const char* File;
        const char* Clip;
        const char* Point;
        TVec3 Expected; // where the gear's -z points in the world
    };
    const TVec3 up = {0, 1, 0}, forward = {0, 0, -1}, backward = {0, 0, 1};
    const TCase cases[] = {
        {"DukeArmor01", "shield_stand", "HP_shield", forward}, // the shield's face to the front
        {"DukeArmor01", "shield_stand", "HP_right", up},       // the sword held upright
        {"DukeArmor01", "horse_stand", "HP_right", forward},   // the lance couched
        {"Baroness01", "bow_stand", "HP_left", up},            // the bow upright
        {"Pikeman01", "pike_stand", "HP_right", forward},      // the pike levelled
        {"Crossbow01", "crossbow_stand", "HP_right", forward}, // the crossbow aimed
        {"Crossbow01", "crossbow_stand", "HP_back", backward}, // the pavise's face outward
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.File) + " " + c.Clip + " " + c.Point);
        const int32_t slot = LoadModel(PersonagesFolder + c.File + ".D3D");
        T3D_SceneMesh* body = Scene->GetMesh(Scene->AddMesh(slot, c.File));
        const TVec3 grip = JointAt(body, c.Clip, 0, c.Point);
        const int32_t b = BoneIndex(Mesh(slot), c.Point);
        ASSERT_GE(b, 0);
        TVec3 tip;
        Vec3TransformCoord({0, 0, -1}, body->BoneMatrices[static_cast<size_t>(b)], tip);
        const TVec3 d = {tip.x - grip.x, tip.y - grip.y, tip.z - grip.z};
        EXPECT_GT(d.x * c.Expected.x + d.y * c.Expected.y + d.z * c.Expected.z, 0.75f)
            << d.x << ", " << d.y << ", " << d.z;
    }
}

TEST_F(ArtPersonagesTest, TheHorseWalksOnFourLegs)
{
    const int32_t slot = LoadModel(WeaponsFolder + "Horse_Grey.D3D");
    T3D_SceneMesh* horse = Scene->GetMesh(Scene->AddMesh(slot, "Horse"));
    const TVec3 front = JointAt(horse, "walk", 250, "Horse_ShinFR");
    const TVec3 frontLater = JointAt(horse, "walk", 750, "Horse_ShinFR");
    EXPECT_GT(std::fabs(front.z - frontLater.z), 0.2f);
    // Grazing brings the head down.
    EXPECT_LT(JointAt(horse, "relax", 0, "Horse_Head").y, JointAt(horse, "stand", 0, "Horse_Head").y - 0.4f);
}

TEST(ArtPersonages, ModelSettingsReachTheTables)
{
    struct TCase {
        const char* Settings;
        const char* File;
        int32_t SpecularType;
        int32_t Scale;
    };
    const TCase cases[] = {
        {"Personages.qxs", "DukeArmor01", 1, 100},
        {"Personages.qxs", "Levy01", 0, 100},
        {"Weapons.qxs", "Horse_Grey.d3d", 0, 110},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        TIniFile ini;
        ini.Load(PersonageInstallation() + "Personages\\Settings\\" + c.Settings);
        TModelSettings settings;
        ReadModelSettings(c.File, ini, settings);
        EXPECT_EQ(settings.SpecularType, c.SpecularType);
        EXPECT_EQ(settings.Scale, c.Scale);
    }
    EXPECT_EQ(cases[2].Scale, static_cast<int32_t>(std::lround(ArtPers::HorseScale * 100)))
        << "riders sit on this horse";
}

// ---------------------------------------------------------------------------
// The contact sheet: a few figures in a few poses with their gear, drawn on
// the processor (flat-shaded, the diffuse cell under each face) into
// shots/personages.tga of the build folder.

namespace {

struct TSheet {
    int32_t Width, Height;
    std::vector<uint8_t> Bgra;
    std::vector<float> Depth;

    TSheet(int32_t w, int32_t h)
        : Width(w), Height(h), Bgra(static_cast<size_t>(w * h * 4), 0), Depth(static_cast<size_t>(w * h), 1e9f)
    {
        for (size_t i = 0; i < Bgra.size(); i += 4) {
            Bgra[i] = 70;
            Bgra[i + 1] = 60;
            Bgra[i + 2] = 50;
            Bgra[i + 3] = 255;
        }
    }

    // One triangle in screen units (x right, y down, z away).
    // uv: the texture coordinates at the corners; each pixel takes the
    // texel under it, shaded.
    void Triangle(const TVec3& a, const TVec3& b, const TVec3& c, const float (&uv)[3][2],
                  const ArtLand::TPicture& texture, float shade)
    {
        const int32_t x0 = std::max(0, static_cast<int32_t>(std::floor(std::min({a.x, b.x, c.x}))));
        const int32_t x1 = std::min(Width - 1, static_cast<int32_t>(std::ceil(std::max({a.x, b.x, c.x}))));
        const int32_t y0 = std::max(0, static_cast<int32_t>(std::floor(std::min({a.y, b.y, c.y}))));
        const int32_t y1 = std::min(Height - 1, static_cast<int32_t>(std::ceil(std::max({a.y, b.y, c.y}))));
        const float area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
        if (std::fabs(area) < 1e-6f)
            return;
        for (int32_t y = y0; y <= y1; y++)
            for (int32_t x = x0; x <= x1; x++) {
                const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
                const float w0 = ((b.x - px) * (c.y - py) - (b.y - py) * (c.x - px)) / area;
                const float w1 = ((c.x - px) * (a.y - py) - (c.y - py) * (a.x - px)) / area;
                const float w2 = 1 - w0 - w1;
                if (w0 < 0 || w1 < 0 || w2 < 0)
                    continue;
                const float z = w0 * a.z + w1 * b.z + w2 * c.z;
                float& depth = Depth[static_cast<size_t>(y * Width + x)];
                if (z >= depth)
                    continue;
                depth = z;
                const float u = w0 * uv[0][0] + w1 * uv[1][0] + w2 * uv[2][0];
                const float v = w0 * uv[0][1] + w1 * uv[1][1] + w2 * uv[2][1];
                const uint32_t tx =
                    std::min(texture.Width - 1, static_cast<uint32_t>(std::max(0.0f, u) * texture.Width));
                const uint32_t ty =
                    std::min(texture.Height - 1, static_cast<uint32_t>(std::max(0.0f, v) * texture.Height));
                const uint8_t* t = &texture.Bgra[(static_cast<size_t>(ty) * texture.Width + tx) * 4];
                uint8_t* p = &Bgra[static_cast<size_t>((y * Width + x) * 4)];
                for (int32_t k = 0; k < 3; k++)
                    p[k] = static_cast<uint8_t>(std::clamp(t[k] * shade, 0.0f, 255.0f));
            }
    }
};

// Draws a shape whose vertices ride on bones posed by the given matrices.
void DrawShape(TSheet& sheet, const ArtLand::TShape& shape, const std::vector<TMatrix4>& skin,
               const ArtLand::TPicture& texture, float cx, float cy, float scale, float yaw)
{
    const float cs = std::cos(yaw), sn = std::sin(yaw);
    const TVec3 light = {-0.4f, 0.8f, -0.45f};
    auto place = [&](const T3D_Vertex& v, TVec3& world) {
        const TMatrix4& m = skin[std::min<size_t>(v.BoneIndex[0], skin.size() - 1)];
        Vec3TransformCoord(v.Position, m, world);
    };
    for (size_t i = 0; i + 2 < shape.Indices.size(); i += 3) {
        TVec3 w[3], s[3];
        float uv[3][2];
        for (int32_t k = 0; k < 3; k++) {
            const T3D_Vertex& vertex = shape.Vertices[shape.Indices[i + static_cast<size_t>(k)]];
            place(vertex, w[k]);
            uv[k][0] = vertex.U;
            uv[k][1] = vertex.V;
            // Turned about y, seen from the front (-z) and a little above.
            const float x = w[k].x * cs - w[k].z * sn, z = w[k].x * sn + w[k].z * cs;
            s[k] = {cx + x * scale, cy - (w[k].y * 0.95f + z * 0.3f) * scale, z - w[k].y * 0.3f};
        }
        const TVec3 e1 = {w[1].x - w[0].x, w[1].y - w[0].y, w[1].z - w[0].z};
        const TVec3 e2 = {w[2].x - w[0].x, w[2].y - w[0].y, w[2].z - w[0].z};
        TVec3 n = {e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        if (length < 1e-9f)
            continue;
        // Outward normals: the faces are wound for clockwise culling.
        const float lit = std::max(0.0f, -(n.x * light.x + n.y * light.y + n.z * light.z) / length);
        sheet.Triangle(s[0], s[1], s[2], uv, texture, 0.45f + 0.65f * lit);
    }
}

} // namespace

TEST_F(ArtPersonagesTest, ContactSheetShowsFiguresWithTheirGear)
{
    using namespace ArtPers;
    struct TFigure {
        const char* File;
        const char* Prefix;
        const char* Right; // gear in the right hand (or the left, for bows and staves)
        const char* Hand;  // its hard point
        const char* Other; // a second piece and its point
        const char* OtherPoint;
        bool Mounted = false;
    };
    const TFigure figures[] = {
        {"DukeArmor01", "shield_", "Sword_Footman", "HP_right", "Shield_Kite", "HP_shield"},
        {"Levy01", "spear_", "Spear_Militia", "HP_right", nullptr, nullptr},
        {"Baroness01", "bow_", "Bow_Hunting", "HP_left", "Quiver_Arrows", "HP_back"},
        {"Pikeman01", "pike_", "Pike_Ash", "HP_right", nullptr, nullptr},
        {"Crossbow01", "crossbow_", "Crossbow_Lever", "HP_right", "Shield_Pavise", "HP_back"},
        {"Mystic01", "staff_", "Staff_Oak", "HP_left", nullptr, nullptr},
        {"ManAtArms01", "shield_", "Mace_Rider", "HP_right", "Shield_Round", "HP_shield"},
        {"Wolf01", "na_", nullptr, nullptr, nullptr, nullptr},
        {"Knight02", "horse_", "Lance_Painted", "HP_right", "Shield_Kite", "HP_shield", true},
    };
    // The horse has no attack or death of its own: it stands, then grazes.
    const char* const horsePoses[] = {"stand", "walk", "stand", "relax"};
    const char* const poses[] = {"stand", "walk", "attack", "death"};
    const int32_t times[] = {500, 250, 300, 1200};
    const int32_t cell = 150;
    TSheet sheet(cell * static_cast<int32_t>(std::size(figures)), cell * 4);
    const TFigureTextures gear = PaintGear(64);
    std::map<std::string, TShape> gearShapes;
    for (const TGearPiece& piece : GearPieces())
        gearShapes[piece.FileName] = piece.Make();

    for (size_t f = 0; f < std::size(figures); f++) {
        const TFigure& figure = figures[f];
        const TFigureLook* look = nullptr;
        for (const TFigureLook& l : FigureLooks())
            if (std::string(l.FileName) == figure.File)
                look = &l;
        ASSERT_NE(look, nullptr) << figure.File;
        const TBodyPlan plan = look->Beast ? BeastPlan() : HumanPlan(look->Height, look->Bulk);
        const TShape body = look->Beast ? BeastBody(plan) : HumanBody(*look, plan);
        const TFigureTextures paint = PaintFigure(*look, 64);
        const int32_t slot = LoadModel(PersonagesFolder + figure.File + ".D3D");
        T3D_SceneMesh* instance = Scene->GetMesh(Scene->AddMesh(slot, figure.File));
        T3D_SceneMesh* horse = nullptr;
        if (figure.Mounted)
            horse = Scene->GetMesh(Scene->AddMesh(LoadModel(WeaponsFolder + "Horse_Grey.D3D"), "Horse"));
        for (size_t p = 0; p < std::size(poses); p++) {
            instance->Calc_AnimationByName(std::string(figure.Prefix) + poses[p], times[p], 2);
            const float cx = static_cast<float>(f * cell + cell / 2);
            const float cy = static_cast<float>(p * cell + cell - 18);
            const float scale = figure.Mounted ? 48.0f : look->Beast ? 90.0f : 62.0f, yaw = 0.5f;
            DrawShape(sheet, body, instance->SkinMatrices, paint.Diffuse, cx, cy, scale, yaw);
            if (horse != nullptr) {
                horse->Calc_AnimationByName(horsePoses[p], times[p], 0);
                DrawShape(sheet, MakeHorse(), horse->SkinMatrices, gear.Diffuse, cx, cy, scale * HorseScale, yaw);
            }
            for (const auto& [name, point] :
                 {std::pair{figure.Right, figure.Hand}, std::pair{figure.Other, figure.OtherPoint}}) {
                if (name == nullptr)
                    continue;
                const int32_t b = BoneIndex(Mesh(slot), point);
                ASSERT_GE(b, 0);
                DrawShape(sheet, gearShapes[name], {instance->BoneMatrices[static_cast<size_t>(b)]}, gear.Diffuse, cx,
                          cy, scale, yaw);
            }
        }
    }
    // Every cell shows its figure: some pixels differ from the background.
    for (size_t f = 0; f < std::size(figures); f++)
        for (size_t p = 0; p < std::size(poses); p++) {
            int32_t drawn = 0;
            for (int32_t y = 0; y < cell; y++)
                for (int32_t x = 0; x < cell; x++)
                    drawn += sheet.Depth[static_cast<size_t>((static_cast<int32_t>(p) * cell + y) * sheet.Width +
                                                             static_cast<int32_t>(f) * cell + x)] < 1e9f;
            EXPECT_GT(drawn, 200) << figures[f].File << " " << poses[p];
        }
    const fs::path shots = fs::path(DUSKMARCH_INSTALL).parent_path() / "shots";
    fs::create_directories(shots);
    const std::vector<uint8_t> tga =
        TextureFiles::MakeTGA32(static_cast<uint16_t>(sheet.Width), static_cast<uint16_t>(sheet.Height), sheet.Bgra);
    std::FILE* out = std::fopen((shots / "personages.tga").string().c_str(), "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::fwrite(tga.data(), 1, tga.size(), out), tga.size());
    std::fclose(out);
}

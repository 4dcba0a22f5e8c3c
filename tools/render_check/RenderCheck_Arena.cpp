// render_check arena: loads an arena scene file as the battle screen does
// (the arena cleared, the file loaded with the arena's texture group, the
// objects shown by their tags, collision walls never), puts six personages
// of the sample units on cells of the battlefield, dressed with their items
// and posed at a fixed time, and draws the "ARENA" scene at 1280 x 1024
// with its picking pass. Prints for every personage:
//   probe pers_S_N X Y RRGGBB   its pixel in the frame
//   value pers_S_N_differs B    1 when that pixel differs from the backdrop
//   value pers_S_N_pick N       the "CP_INDEX" copy there (side x 32 + slot)
//   value pers_S_N_slots B      its equipment slots that hold a piece
// and "value collision_shown N", the objects tagged "collision" left visible.
#include "tools/render_check/RenderCheck_Arena.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "battle/Battle_Field.h"
#include "engine/QX9_System.h"
#include "model/Support.h"
#include "model/personage/Personage.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "platform/os/OS.h"
#include "platform/window/Window.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Arena_Objects.h"
#include "scenes/Arena_Personages.h"
#include "scenes/Arena_Scene.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "tools/RenderCheck.h"
#include "tools/TextureFiles.h"

using namespace RenderCheck;

namespace {

const char* const ArenaName = "ARENA";
constexpr int32_t ArenaPoseTime = 1500; // ms into the stand clip
constexpr float ArenaQuarterTurn = 1.5707963f;

struct TArenaCast {
    const char* Title;
    const char* UnitName;
    int32_t Side;
    int32_t Slot;
    int32_t Row;
    int32_t Column;
    bool Mounted;
    float ProbeHeight; // where its pixel is taken, above the ground
};

// The six: a swordsman with a shield on the arm, an archer with a quiver on
// his back and a pikeman on side 1; a mounted knight with a lance, a mystic
// with a staff and a wolf on side 2.
const TArenaCast ArenaCast[] = {
    {"swordsman", "Man-at-arms", 1, 1, -2, 2, false, 1.0f}, {"archer", "Levy archer", 1, 2, 0, 1, false, 1.0f},
    {"pikeman", "Pikeman", 1, 3, 2, 2, false, 1.0f},        {"knight", "Household knight", 2, 1, 0, 6, true, 1.6f},
    {"mystic", "Mystic", 2, 2, -2, 5, false, 1.0f},         {"wolf", "Grey wolf", 2, 3, 2, 5, false, 0.45f},
};

int32_t ArenaUnitType(const std::string& name)
{
    for (int32_t t = 1; t <= UnitTypeCount; t++)
        if (UnitTypes[t].Name.Str() == name)
            return t;
    Fail("the sample has no unit type " + name);
    return 0;
}

int32_t ArenaFirstItemOfType(TItemType type)
{
    for (int32_t n = 1; n <= ItemCount; n++)
        if (ItemTable[n].MainType == static_cast<uint8_t>(type) && ItemTable[n].Mesh >= 0)
            return n;
    return 0;
}

TPersRenderAnimationData& ArenaModel(const TArenaCast& cast)
{
    std::vector<TPersRenderAnimationData>& list = cast.Side == 1 ? ArenaPersonageModels : ArenaPersonageModels2;
    if (list.size() < static_cast<size_t>(cast.Slot))
        list.resize(static_cast<size_t>(cast.Slot));
    return list[static_cast<size_t>(cast.Slot - 1)];
}

// Where a personage stands: its cell on a battlefield; in an arena without
// one (the camp's tent) in a row across the camera's view.
TVec3 ArenaCastPosition(const TArenaCast& cast)
{
    TVec3 at;
    if (SceneInfo.BattlefieldObject >= 0) {
        GetHexCellPosition(cast.Row, cast.Column, at);
        return at;
    }
    TVec3 eye, ahead, forward, right;
    Vec3TransformCoord(TVec3{0, 0, -5}, SceneInfo.InverseView, eye);
    Vec3TransformCoord(TVec3{0, 0, 0}, SceneInfo.InverseView, ahead);
    Vec3Sub(ahead, eye, forward);
    forward.y = 0;
    Vec3Normalize(forward, forward);
    right = TVec3{forward.z, 0, -forward.x};
    const int32_t place = (cast.Side - 1) * 3 + cast.Slot - 1; // 0..5 from the left
    const float across = (static_cast<float>(place) - 2.5f) * 1.4f;
    const float depth = 7.5f + (place % 2 == 0 ? 0.0f : 1.2f);
    at = TVec3{eye.x + forward.x * depth + right.x * across, 0, eye.z + forward.z * depth + right.z * across};
    return at;
}

void ArenaPlaceCast(const TArenaCast& cast)
{
    TPersonage personage = UnitTypes[ArenaUnitType(cast.UnitName)];
    const int32_t type = ArenaUnitType(cast.UnitName);
    personage.UnitType = type;
    personage.Equipment[1] = personage.DefaultItems[1];
    personage.Equipment[2] = personage.DefaultItems[2];
    if (cast.Mounted) {
        personage.Mounted = 1;
        personage.Equipment[13] = ArenaFirstItemOfType(TItemType::Horse);
    }
    const int32_t pick = cast.Side * 32 + cast.Slot;
    TPersRenderAnimationData& data = ArenaModel(cast);
    LoadPersonageModel("Pers" + std::to_string(cast.Side) + "_" + std::to_string(cast.Slot), type, data, pick);
    if (data.Instance < 0)
        Fail(std::string("no model for ") + cast.UnitName);
    InitPersonageAnimations(ArenaName, personage, data);
    AttachPersonageEquipment(ArenaName, personage, data, pick, AddArenaEquipmentMesh);
    if (PlayPersonageAnimation(data, "stand", 0, true) == 0)
        Fail(std::string("no clip ") + data.Prefix + "stand for " + cast.Title);
    const TVec3 at = ArenaCastPosition(cast);
    // Each side faces the other, turned a little toward the camera.
    const float angle = cast.Side == 1 ? -ArenaQuarterTurn + 0.5f : ArenaQuarterTurn - 0.5f;
    PlacePersonage(ArenaName, data, at.x, at.y, at.z, angle, 1);
    UpdatePersonageAnimation(ArenaName, data, ArenaPoseTime, 0);
}

void ArenaShowCast(bool visible)
{
    T3D_Scene* scene = ArenaScene();
    for (const TArenaCast& cast : ArenaCast) {
        const TPersRenderAnimationData& data = ArenaModel(cast);
        for (int32_t instance : {data.Instance, data.Right.Instance, data.Left.Instance, data.Back.Instance,
                                 data.Shield.Instance, data.Horse.Instance, data.Head.Instance})
            if (T3D_SceneMesh* mesh = scene->GetMesh(instance))
                mesh->Visible = visible ? 1 : 0;
    }
}

TFrame ArenaRender()
{
    T3D_Scene* scene = ArenaScene();
    scene->UpdateAttachments();
    for (int32_t i = 0; i < scene->PassCount; i++)
        scene->Passes[static_cast<size_t>(i)]->Invalidate();
    ArenaPass("PIPE")->BuildPipeline();
    scene->SortPass("MAIN");
    scene->Render(false);
    return TFrame{ReadBackBuffer()};
}

// The pixel of a point of the arena on the screen.
bool ArenaScreenPoint(const TVec3& p, int& x, int& y)
{
    TMatrix4 m;
    MatrixMultiply(SceneInfo.View, SceneInfo.World, m);
    MatrixMultiply(m, SceneInfo.Projection, m);
    TVec4 clip;
    Vec4Transform(TVec4{p.x, p.y, p.z, 1}, m, clip);
    if (clip.w <= 0)
        return false;
    x = static_cast<int>((clip.x / clip.w * 0.5f + 0.5f) * static_cast<float>(Width));
    y = static_cast<int>((0.5f - clip.y / clip.w * 0.5f) * static_cast<float>(Height));
    return x >= 0 && y >= 0 && x < Width && y < Height;
}

bool ArenaWriteFrame(const std::string& file, const TFrame& frame)
{
    std::vector<uint8_t> bgra(frame.Pixels.size() * 4);
    for (size_t i = 0; i < frame.Pixels.size(); i++) {
        const uint32_t c = frame.Pixels[i] | 0xFF000000u;
        std::memcpy(&bgra[i * 4], &c, 4);
    }
    const std::vector<uint8_t> tga =
        TextureFiles::MakeTGA32(static_cast<uint16_t>(Width), static_cast<uint16_t>(Height), bgra);
    return OS_WriteFileAtomic(file, tga.data(), tga.size());
}

void ArenaOpenRender()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("DUSKMARCH_HEADLESS", "1", 0);
    QX9_Render_Initialization();
    SetGameFolders(OS_ToProgramPath(DUSKMARCH_INSTALL));
    TWindowCreateParams params;
    params.ClassName = "RenderCheck";
    params.Title = "render_check";
    params.Width = Width;
    params.Height = Height;
    HWND window = Window_Create(params);
    if (window == nullptr)
        Fail("no window");
    RenderSettings.Created = 0;
    RenderSettings.ScreenWidth = Width;
    RenderSettings.ScreenHeight = Height;
    CreateRender(window, Width, Height, 0);
}

// The arena scene as the game's start-up builds it.
void ArenaCreateScene()
{
    InitArenaDefaults();
    ArenaSettings.PixelMatrixSize = 1024;
    ArenaSettings.PickingSize = 512;
    CreateArenaScene();
    SetArenaSunPower();
    SetArenaColors();
    SetArenaViewport(Width, Height);
    SetArenaProjection(0, 0);
    UpdateArenaCamera(true, true);
}

} // namespace

int RenderCheckArena(const std::vector<std::string>& args)
{
    if (args.empty() || args[0] != "arena")
        return -1;
    std::string file, tags, out;
    for (size_t i = 1; i < args.size(); i++) {
        if (args[i] == "--tags" && i + 1 < args.size())
            tags = args[++i];
        else if (args[i] == "--out" && i + 1 < args.size())
            out = args[++i];
        else if (file.empty() && args[i].rfind("--", 0) != 0)
            file = args[i];
        else
            Fail("unexpected argument " + args[i]);
    }
    if (file.empty())
        Fail("arena needs a scene file");
    Width = 1280;
    Height = 1024;
    ArenaOpenRender();
    InstallGameRenderHooks();
    SetGameLanguage("eng");
    LoadBonuses();
    LoadSpells();
    LoadItems();
    LoadUnitTypes();
    ArenaCreateScene();

    // A file named from the installation is found there.
    std::string path = file;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    if (!FileExistsMask(path))
        path = GameFolder + path;
    // The battle keeps its collision walls out of sight.
    if (tags.find("collision") == std::string::npos)
        tags += " -collision";
    MainRender->Texture_SetLoadOptions(1, ARENA_TEXTURE_GROUP);
    ClearArenaScene();
    LoadArenaScene(path);
    SetArenaObjectTags(tags);
    for (const TArenaCast& cast : ArenaCast)
        ArenaPlaceCast(cast);
    MainRender->Texture_SetLoadOptions(0, 0);
    T3D_Scene* scene = ArenaScene();
    scene->EnablePass("CP_INDEX", 1);

    int64_t collisionShown = 0;
    for (const TObjectInfo& o : SceneInfo.Objects)
        if (LowerCaseStr(o.Tags).find("collision") != std::string::npos && o.Instance >= 0 &&
            scene->GetMesh(o.Instance)->Visible != 0)
            collisionShown++;
    Value("collision_shown", collisionShown);
    Value("objects", ArenaObjectCount);

    ArenaShowCast(false);
    const TFrame backdrop = ArenaRender();
    ArenaShowCast(true);
    const TFrame frame = ArenaRender();
    MainRender->Texture_CopyRenderTarget(ArenaTargets.PickIndex, ArenaTargets.PickIndexReadBack);
    for (const TArenaCast& cast : ArenaCast) {
        const std::string name = "pers_" + std::to_string(cast.Side) + "_" + std::to_string(cast.Slot);
        TVec3 at = ArenaCastPosition(cast);
        at.y += cast.ProbeHeight;
        int x = 0, y = 0;
        if (!ArenaScreenPoint(at, x, y))
            Fail(name + " is not on the screen");
        frame.Probe(name.c_str(), x, y);
        Value((name + "_differs").c_str(), frame.At(x, y) != backdrop.At(x, y) ? 1 : 0);
        uint16_t pick = 0xFFFF;
        MainRender->Texture_ReadPixel(ArenaTargets.PickIndexReadBack, x * ArenaSettings.PickingSize / Width,
                                      y * ArenaSettings.PickingSize / Height, &pick);
        Value((name + "_pick").c_str(), pick);
        // The slots that hold a piece: right 1, left 2, back 4, shield 8,
        // horse 16, head 32.
        const TPersRenderAnimationData& data = ArenaModel(cast);
        int64_t slots = 0, bit = 1;
        for (const TWeaponData* slot : {&data.Right, &data.Left, &data.Back, &data.Shield, &data.Horse, &data.Head}) {
            slots |= slot->Instance >= 0 ? bit : 0;
            bit <<= 1;
        }
        Value((name + "_slots").c_str(), slots);
    }
    if (!out.empty() && !ArenaWriteFrame(out, frame))
        Fail("cannot write " + out);
    std::fflush(stdout);
    std::_Exit(0);
}

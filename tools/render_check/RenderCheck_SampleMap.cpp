// render_check map: the sample scenario built as the game loading worker
// builds it, seen over the town at a minute of the day through the whole
// "MAP" pipeline.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "model/Support.h"
#include "model/ai/AIMain.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/scenario/Terrain.h"
#include "model/tables/BuildingType.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_MapBuild.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_Pipeline.h"
#include "scenes/Landscape_Placement.h"
#include "scenes/Landscape_SceneHooks.h"
#include "scenes/Landscape_Terrain.h"
#include "scenes/PersonageRender.h"
#include "tools/RenderCheck.h"
#include "tools/render_check/RenderCheck_Map.h"

using namespace RenderCheck;

namespace {

TVec3 Position(const void* pos)
{
    TVec3 at;
    std::memcpy(&at, pos, sizeof at);
    return at;
}

// Where a world point lands on the frame (pixels from the top left); false
// behind the camera.
bool ScreenPoint(const TVec3& world, int& x, int& y)
{
    TMatrix4 m;
    MatrixMultiply(MapCamera.Camera, MapCamera.LookMatrix, m);
    MatrixMultiply(m, MapCamera.Projection, m);
    TVec4 clip;
    Vec4Transform(TVec4{world.x, world.y, world.z, 1}, m, clip);
    if (clip.w <= 0)
        return false;
    x = static_cast<int>((clip.x / clip.w + 1) / 2 * static_cast<float>(Width));
    y = static_cast<int>((1 - clip.y / clip.w) / 2 * static_cast<float>(Height));
    return x >= 0 && x < Width && y >= 0 && y < Height;
}

// The pick number the "CP_INDEX" copy holds under a frame pixel.
uint16_t PickAt(int x, int y)
{
    const int size = RenderSettings.PickingSize;
    uint16_t pick = 0;
    MainRender->Texture_ReadPixel(MapTargets.PickIndexReadBack, x * size / Width, y * size / Height, &pick);
    return pick;
}

// The frame pixel nearest (x, y), within 48 pixels, whose pick number is
// pick: the town's anchor may lie on its open square.
bool FindPick(int32_t pick, int& x, int& y)
{
    int best = -1, bestX = 0, bestY = 0;
    for (int dy = -48; dy <= 48; dy += 2)
        for (int dx = -48; dx <= 48; dx += 2) {
            const int px = x + dx, py = y + dy, d = dx * dx + dy * dy;
            if (px < 0 || py < 0 || px >= Width || py >= Height || (best >= 0 && d >= best))
                continue;
            if (PickAt(px, py) == pick)
                best = d, bestX = px, bestY = py;
        }
    x = bestX, y = bestY;
    return best >= 0;
}

int32_t FirstBuildingOfType(TBuildingType type)
{
    for (int32_t b = 1; b <= MapBuildings.Count; b++)
        if (MapBuildings[b].BuildingType == static_cast<uint8_t>(type))
            return b;
    return 0;
}

// The drawn cover against the headless one: vertices farther than three
// from every building and object anchor must cost the same. The drawn costs
// stay in the tables.
void CompareCover()
{
    const int32_t n = MapInit.MapSizeMinus1;
    std::vector<TTerrainVertex> drawn = TerrainVertices;
    HeadlessUpdateMapChunks({});
    std::vector<uint8_t> near(static_cast<size_t>(n + 1) * (n + 1), 0);
    auto markAround = [&](const TVec3& at, int32_t radius) {
        const int32_t x0 = static_cast<int32_t>(at.x), z0 = static_cast<int32_t>(at.z);
        for (int32_t x = std::max(0, x0 - radius); x <= std::min(n, x0 + radius + 1); x++)
            for (int32_t z = std::max(0, z0 - radius); z <= std::min(n, z0 + radius + 1); z++)
                near[static_cast<size_t>(x) * (n + 1) + z] = 1;
    };
    for (int32_t o = 1; o <= MapObjects.Count; o++)
        markAround(Position(MapObjects[o].Pos), 3);
    // A building's drawn footprint reaches as far as its model does.
    for (int32_t b = 1; b <= MapBuildings.Count; b++)
        markAround(Position(MapBuildings[b].Pos), 3);
    for (int32_t x = 0; x <= n; x++)
        for (int32_t z = 0; z <= n; z++)
            if (drawn[static_cast<size_t>(x) * MapGridSide + z].Cover != 0)
                markAround(TVec3{static_cast<float>(x), 0, static_cast<float>(z)}, 3);
    int64_t compared = 0, mismatched = 0;
    for (int32_t x = 0; x <= n; x++)
        for (int32_t z = 0; z <= n; z++) {
            if (near[static_cast<size_t>(x) * (n + 1) + z] != 0)
                continue;
            compared++;
            mismatched += TerrainVertex(x, z).Cost != drawn[static_cast<size_t>(x) * MapGridSide + z].Cost;
        }
    TerrainVertices = std::move(drawn);
    Value("cover_compared", compared);
    Value("cover_mismatched", mismatched);
}

// Every vertex a building covers lies inside the box its placed parts span
// on the ground (a unit of slack for the texels around a vertex).
void CheckFootprints()
{
    T3D_Scene& scene = *MapScene();
    scene.UpdateAttachments();
    int64_t covered = 0, outside = 0;
    for (int32_t b = 1; b <= MapBuildings.Count && static_cast<size_t>(b) < BuildingInstances.size(); b++) {
        float minX = 1e9f, maxX = -1e9f, minZ = 1e9f, maxZ = -1e9f;
        for (int32_t instance : BuildingInstances[static_cast<size_t>(b)]) {
            const T3D_SceneMesh* part = scene.GetMesh(instance);
            const T3D_Mesh* mesh = part != nullptr ? part->Mesh() : nullptr;
            if (mesh == nullptr)
                continue;
            TMatrix4 world;
            MatrixProduct(*part->ParentMatrix, *part->World, world);
            for (const T3D_Subset& subset : mesh->Subsets)
                for (const auto& corner : subset.Corners) {
                    TVec3 p;
                    Vec3TransformCoord(TVec3{corner[0], corner[1], corner[2]}, world, p);
                    minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
                    minZ = std::min(minZ, p.z), maxZ = std::max(maxZ, p.z);
                }
        }
        const int32_t n = MapInit.MapSizeMinus1;
        for (int32_t x = 0; x <= n; x++)
            for (int32_t z = 0; z <= n; z++) {
                if (TerrainVertex(x, z).Cover != b)
                    continue;
                covered++;
                const float fx = static_cast<float>(x), fz = static_cast<float>(z);
                outside += fx < minX - 1 || fx > maxX + 1 || fz < minZ - 1 || fz > maxZ + 1;
            }
    }
    Value("cover_vertices", covered);
    Value("cover_outside", outside);
}

// One frame as the map screen draws it: the camera and shadow fit, the
// light, the poses, the visibility pass rebuilt, the whole pipeline with the
// index picking on.
void DrawFrame(int32_t minute)
{
    T3D_Scene& scene = *MapScene();
    UpdateDaylight(int64_t{minute} * 10000);
    LightSet.Changed = 1;
    const int32_t now = 1000;
    for (size_t a = 0; a < ArmyRenders.size(); a++)
        if (ArmyRenders[a].Visible != 0)
            UpdatePersonageAnimation("MAP", ArmyRenders[a].Render, now, 0);
    AnimateMapObjects(now);
    UpdateMapShadowCascades(false);
    SetMapTime(now);
    UpdateMapLighting();
    scene.UpdateAttachments();
    scene.EnablePass("CP_INDEX", 1);
    InvalidateMapPasses();
    MapPass("PIPE")->BuildPipeline();
    scene.Render(false);
    MainRender->Texture_CopyRenderTarget(MapTargets.PickIndex, MapTargets.PickIndexReadBack);
}

} // namespace

bool SampleMap(const std::string& out, int32_t minute, const std::string& closeUp)
{
    RenderSettings.ScreenWidth = Width;
    RenderSettings.ScreenHeight = Height;
    GUIVirtualSize = TGUIVirtualSize{};
    // The program's folders stay those of the installation beside the game.
    const std::string folder = GameFolder;
    Support_Initialization();
    SetGameFolders(folder);
    Global_Initialization();
    SetGameLanguage("eng");
    LoadBonuses();
    LoadSpells();
    LoadItems();
    LoadUnitTypes();
    AIMain_Initialization();
    LoadMapEditOptions();
    LoadTerrainResources(nullptr);
    AllocateMapGrids();
    static TMapSceneHooks hooks;
    SetSceneHooks(&hooks);
    CreateMapPipeline(Width, Height);

    const std::string scenario = GameFolder + "Scenarios\\Sample.Tdm";
    if (!BuildNewGameMap(scenario, 1, 12345))
        Fail("cannot build the map of " + scenario);
    while (!MainRender->UploadQueue_Empty())
        MainRender->UploadQueue_Process(10000000);

    // Over the town, looking north-east across the river.
    const int32_t town = FirstBuildingOfType(TBuildingType::Town);
    if (town == 0)
        Fail("the sample has no town");
    const TVec3 townAt = Position(MapBuildings[town].Pos);
    MapCamera.ViewWidth = MapCamera.ScreenWidth = Width;
    MapCamera.ViewHeight = MapCamera.ScreenHeight = Height;
    // The town in the front, the road over the ford to the keep behind.
    MapCamera.ViewOffset = {-(townAt.x + 42), -townAt.y, -(townAt.z + 58)};
    MapCamera.Distance = 200;
    MapCamera.Yaw = -0.25f;
    MapCamera.Pitch = 0.75f;
    MapCamera.FieldOfView = 0.8f;

    DrawFrame(minute);
    const TFrame frame{ReadBackBuffer()};

    int x = 0, y = 0;
    Value("town", town);
    if (ScreenPoint(townAt, x, y) && FindPick(town, x, y)) {
        frame.Probe("town", x, y);
        Value("town_pick", PickAt(x, y));
    }
    const TGameArmy& hero = GameArmies[PlayerArmy];
    Value("hero_visible", ArmyRenders[PlayerArmy].Visible);
    TVec3 heroAt = Position(hero.Pos);
    heroAt.y += 0.6f * DefArmyScale; // the figure's middle
    if (ScreenPoint(heroAt, x, y)) {
        frame.Probe("hero", x, y);
        Value("hero_pick", PickAt(x, y));
    }
    Value("hero_expected", 6000 + PlayerArmy);
    uint32_t clear = 0;
    if (const T3D_RenderPass* main = MapPass("MAIN"))
        clear = main->ClearColor & 0xFFFFFF;
    std::printf("value main_clear %u\n", clear);
    // Mean luminance in thousandths of full white.
    double sum = 0;
    for (const uint32_t p : frame.Pixels)
        sum += 0.299 * ((p >> 16) & 255) + 0.587 * ((p >> 8) & 255) + 0.114 * (p & 255);
    Value("luminance", static_cast<int64_t>(sum / static_cast<double>(frame.Pixels.size()) / 255 * 1000));
    int32_t shown = 0;
    for (const TMapArmyGameRender& record : ArmyRenders)
        shown += record.Visible;
    Value("armies_shown", shown);
    Value("buildings", MapBuildings.Count);
    Value("objects", MapObjects.Count);

    CompareCover();
    CheckFootprints();
    if (!out.empty() && !WriteMapPicture(out, Width, Height, frame.Pixels))
        return false;
    if (closeUp.empty())
        return true;
    // The hero's army and the town gate from near by: the figures with
    // their weapons.
    const TVec3 near = Position(hero.Pos);
    MapCamera.ViewOffset = {-near.x, -near.y, -near.z};
    MapCamera.Distance = 14;
    MapCamera.Pitch = 0.6f;
    DrawFrame(minute);
    const TFrame closeFrame{ReadBackBuffer()};
    return WriteMapPicture(closeUp, Width, Height, closeFrame.Pixels);
}

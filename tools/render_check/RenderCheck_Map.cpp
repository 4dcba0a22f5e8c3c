#include "tools/render_check/RenderCheck_Map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "model/Support.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_SceneMeshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shadows.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Camera.h"
#include "scenes/Landscape_Daylight.h"
#include "scenes/Landscape_Models.h"
#include "scenes/Landscape_Pipeline.h"
#include "scenes/Landscape_Placement.h"
#include "scenes/Landscape_Terrain.h"
#include "tools/TextureFiles.h"

bool WriteMapPicture(const std::string& file, int width, int height, const std::vector<uint32_t>& pixels)
{
    std::vector<uint8_t> bgra(pixels.size() * 4);
    for (size_t i = 0; i < pixels.size(); i++) {
        const uint32_t c = pixels[i] | 0xFF000000u;
        std::memcpy(&bgra[i * 4], &c, 4);
    }
    const std::vector<uint8_t> tga =
        TextureFiles::MakeTGA32(static_cast<uint16_t>(width), static_cast<uint16_t>(height), bgra);
    return OS_WriteFileAtomic(file, tga.data(), tga.size());
}

namespace {

// Three minutes a column: the top shows the colour the map's main pass
// clears with, the bottom the sun's height (its middle row the horizon).
bool Daylight(const std::string& out)
{
    constexpr int width = 480, height = 160, strip = 100;
    constexpr int graphTop = strip + 4, graphBottom = height - 4;
    LoadMapEditOptions();
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0x202020);
    for (int x = 0; x < width; x++) {
        const int64_t minute = 3 * x;
        UpdateDaylight(minute * 10000);
        const uint32_t clear = MapClearColor() & 0xFFFFFF;
        for (int y = 0; y < strip; y++)
            pixels[static_cast<size_t>(y) * width + x] = clear;
        const float sun = MapCamera.LightPosition.y / 2000000.0f; // -1 .. 1
        const int middle = (graphTop + graphBottom) / 2;
        const int row = middle - static_cast<int>(sun * static_cast<float>(graphBottom - graphTop) / 2);
        pixels[static_cast<size_t>(middle) * width + x] = 0x606060;
        if (x % 20 == 0) // a tick every hour
            for (int y = graphTop; y < graphTop + 6; y++)
                pixels[static_cast<size_t>(y) * width + x] = 0x909090;
        for (int y = std::min(row, middle); y <= std::max(row, middle); y++)
            pixels[static_cast<size_t>(y) * width + x] = sun >= 0 ? 0xF0D040 : 0x5060A0;
    }
    struct {
        const char* Name;
        int Minute;
    } const probes[] = {{"midnight", 0}, {"dawn", 360},     {"morning", 600},
                        {"noon", 780},   {"evening", 1200}, {"night", 1380}};
    for (const auto& p : probes) {
        const int x = p.Minute / 3;
        std::printf("probe %s %d %d %06X\n", p.Name, x, strip / 2, pixels[static_cast<size_t>(strip / 2) * width + x]);
        UpdateDaylight(int64_t{p.Minute} * 10000);
        std::printf("value sun_%s %d\n", p.Name, static_cast<int>(MapCamera.LightPosition.y));
    }
    return out.empty() || WriteMapPicture(out, width, height, pixels);
}

constexpr int32_t CoverMapN = 100;

// A building of the first model of its kind, placed as a loaded map's are.
int32_t AddMapBuilding(TBuildingModel model, float x, float z, float angle, const char16_t* name)
{
    const int32_t b = ++MapBuildings.Count;
    MapBuildings[b] = TMapBuilding{};
    MapBuildings[b].Pos[0] = x;
    MapBuildings[b].Pos[2] = z;
    MapBuildings[b].Scale = 1;
    MapBuildings[b].Angle = angle;
    MapBuildings[b].Model = static_cast<int32_t>(model);
    BuildingTexts[b].Name = name;
    PlaceMapModel(mmkBuilding, b);
    return b;
}

void AddMapObject(TStoneKind kind, float x, float z)
{
    const int32_t o = ++MapObjects.Count;
    MapObjects[o] = TMapObject{};
    MapObjects[o].Pos[0] = x;
    MapObjects[o].Pos[2] = z;
    MapObjects[o].Scale = 1;
    MapObjects[o].ModelGroup = static_cast<int32_t>(kind);
    PlaceMapModel(mmkObject, o);
}

// False colours of the index image: buildings orange, gates green, objects
// red, nothing black.
uint32_t IndexColor(uint16_t texel)
{
    if (texel == 0)
        return 0x000000;
    if (texel > CoverEnterBase)
        return 0x30D040;
    if (texel > CoverObjectBase && texel < 6000)
        return 0xE02020;
    return 0xF09020;
}

// Walk costs: blocked dark red, the rest grey by cost, covered vertices blue.
uint32_t CostColor(const TTerrainVertex& vertex)
{
    if (vertex.Cost == 0)
        return 0x801010;
    const uint32_t level = static_cast<uint32_t>(std::min(255, 60 + 20 * vertex.Cost));
    if (vertex.Cover != 0)
        return (level / 3) << 16 | (level / 2) << 8 | level;
    return level << 16 | level << 8 | level;
}

// A 100-cell map of grass with a water channel across rows 47..53, a town, a
// fort, a ruin nobody names, a bridge over the channel and four rocks; the
// cover read from the index render, drawn beside the walk costs.
bool MapCover(const std::string& out)
{
    const int32_t n = CoverMapN;
    RenderSettings.ScreenWidth = MainRender->ScreenWidth;
    RenderSettings.ScreenHeight = MainRender->ScreenHeight;
    RenderSettings.MapIndexSize = 256;
    RenderSettings.ShadowMapSize = 256;
    RenderSettings.PickingSize = 256;
    RenderSettings.MiniMapSize = 256;
    RenderSettings.MapHeightSize = 256;
    GUIVirtualSize = TGUIVirtualSize{};
    LoadMapEditOptions();
    LoadTerrainResources(nullptr);
    AllocateMapGrids();
    ResetScenarioTables();
    MapInit.MapSizeMinus1 = n;
    MapInit.WaterLevel = 1000;
    CreateMapPipeline(RenderSettings.ScreenWidth, RenderSettings.ScreenHeight);
    for (int32_t x = 0; x <= n; x++)
        for (int32_t z = 0; z <= n; z++) {
            TMapCell& cell = MapCell(x, z);
            cell = TMapCell{};
            const bool water = x >= 47 && x <= 53;
            cell.TerrainClass = water ? 0 : 2;
            cell.Height = static_cast<int16_t>(water ? -150 : 0);
            cell.SecondHeight = static_cast<int16_t>(water ? -20 : -1000);
            cell.KindWeights[6] = 100;
        }
    const int32_t town = AddMapBuilding(TBuildingModel::Town, 25, 25, 0, u"Dunmere");
    const int32_t fort = AddMapBuilding(TBuildingModel::Fort, 25, 75, 0, u"Greywatch");
    const int32_t ruin = AddMapBuilding(TBuildingModel::RuinTower, 78, 25, 0, u"");
    const int32_t bridge = AddMapBuilding(TBuildingModel::Bridge, 50, 60, static_cast<float>(M_PI) / 2, u"");
    const float rocks[][2] = {{70, 70}, {74, 72}, {80, 80}, {85, 64}};
    for (const auto& r : rocks)
        AddMapObject(TStoneKind::Rock, r[0], r[1]);
    BuildTerrainModel();
    UpdateMapChunks({});

    // Left: the index read-back over the map; right: the costs, two pixels a vertex.
    const int side = 2 * n + 2;
    const int width = 2 * side + 8, height = side;
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0x202020);
    TMapIndexCover cover;
    if (cover.Begin()) {
        for (int32_t r = 0; r <= n; r++)
            for (int32_t c = 0; c <= n; c++) {
                uint16_t texels[4];
                cover.VertexTexels(r, c, texels);
                for (int i = 0; i < 4; i++) {
                    const int x = 2 * r + i / 2, y = 2 * (n - c) + i % 2;
                    pixels[static_cast<size_t>(y) * width + x] = IndexColor(texels[i]);
                }
            }
        cover.End();
    }
    for (int32_t r = 0; r <= n; r++)
        for (int32_t c = 0; c <= n; c++)
            for (int i = 0; i < 4; i++) {
                const int x = side + 8 + 2 * r + i / 2, y = 2 * (n - c) + i % 2;
                pixels[static_cast<size_t>(y) * width + x] = CostColor(TerrainVertex(r, c));
            }

    auto count = [&](int32_t b, bool passable) {
        int total = 0;
        for (int32_t r = 0; r <= n; r++)
            for (int32_t c = 0; c <= n; c++)
                total += TerrainVertex(r, c).Cover == b && (TerrainVertex(r, c).Cost != 0) == passable;
        return total;
    };
    std::printf("value town_blocked %d\nvalue town_gate %d\n", count(town, false), count(town, true));
    std::printf("value fort_blocked %d\nvalue fort_gate %d\n", count(fort, false), count(fort, true));
    std::printf("value ruin_blocked %d\nvalue ruin_passable %d\n", count(ruin, false), count(ruin, true));
    // A row across the channel at the bridge: passable only on the deck.
    int across = 0, deckCost = 0;
    for (int32_t r = 47; r <= 53; r++) {
        across += TerrainVertex(r, 60).Cost != 0;
        deckCost = std::max<int>(deckCost, TerrainVertex(r, 60).Cost);
    }
    int openWater = 0;
    for (int32_t r = 47; r <= 53; r++)
        openWater += TerrainVertex(r, 40).Cost != 0;
    std::printf("value bridge_across %d\nvalue bridge_cost %d\nvalue water_open %d\n", across, deckCost, openWater);
    std::printf("value bridge_cover %d\n", count(bridge, true) + count(bridge, false));
    int rocksBlocked = 0, rockNeighboursOpen = 0;
    for (const auto& r : rocks) {
        const int32_t x = static_cast<int32_t>(r[0]), z = static_cast<int32_t>(r[1]);
        rocksBlocked += TerrainVertex(x, z).Cost == 0;
        rockNeighboursOpen += TerrainVertex(x + 1, z).Cost != 0 && TerrainVertex(x, z + 1).Cost != 0;
    }
    std::printf("value rocks_blocked %d\nvalue rock_neighbours_open %d\n", rocksBlocked, rockNeighboursOpen);
    return out.empty() || WriteMapPicture(out, width, height, pixels);
}

} // namespace

bool RenderCheckMap(const std::string& scene, const std::string& out, int32_t minute, const std::string& closeUp)
{
    if (scene == "map") {
        if (!SampleMap(out, minute, closeUp))
            std::fprintf(stderr, "render_check: cannot write %s\n", out.c_str());
        return true;
    }
    if (scene == "map-cover") {
        if (!MapCover(out))
            std::fprintf(stderr, "render_check: cannot write %s\n", out.c_str());
        return true;
    }
    if (scene == "daylight") {
        if (!Daylight(out))
            std::fprintf(stderr, "render_check: cannot write %s\n", out.c_str());
        return true;
    }
    return false;
}

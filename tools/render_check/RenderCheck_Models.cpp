// render_check models: a contact sheet of the map's model libraries and the
// personage models. Every building, tree and object entry of the libraries
// as LoadTerrainResources loads them, and every unit type's body with the
// gear it starts with standing beside it, each in a cell of its own, seen
// from the same angle under the same sun, drawn with the map's own "Object",
// "Tree", "Grass" and "Army" programs. Prints "value cell_<n>_<name> N", the
// pixels of cell n that differ from the clear colour.
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/QX9_System.h"
#include "model/Support.h"
#include "model/personage/Personage.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shaders.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Models.h"
#include "scenes/PersonageRender.h"
#include "tools/RenderCheck.h"

using namespace RenderCheck;

namespace {

constexpr uint32_t ClearColour = 0xFF283038;

// A matrix as the programs read their registers: row r applied to a column
// vector by a dot product.
struct TRows {
    float m[4][4] = {};
};

TRows Multiply(const TRows& a, const TRows& b)
{
    TRows r;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++)
            for (int k = 0; k < 4; k++)
                r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

struct TSheetPoint {
    float x = 0, y = 0, z = 0;
};

TSheetPoint Apply(const TRows& a, const TSheetPoint& p, float w)
{
    return {a.m[0][0] * p.x + a.m[0][1] * p.y + a.m[0][2] * p.z + a.m[0][3] * w,
            a.m[1][0] * p.x + a.m[1][1] * p.y + a.m[1][2] * p.z + a.m[1][3] * w,
            a.m[2][0] * p.x + a.m[2][1] * p.y + a.m[2][2] * p.z + a.m[2][3] * w};
}

// One cell of the sheet: the meshes drawn in it, each with its offset along
// x (the gear stands beside the body), and the cell's name.
struct TPlaced {
    int32_t Mesh = -1;
    float OffsetX = 0;
};
struct TCell {
    std::string Name;
    std::vector<TPlaced> Parts;
};

// The parts a player sees: the footprint and the gate quad are markers.
bool Visible(const T3D_Mesh& mesh)
{
    return !NameContains("Collision", mesh.Name) && !NameContains("Enter", mesh.Name);
}

void AddLibrary(std::vector<TCell>& cells, const char* kind, const std::vector<TIntArray>& entries)
{
    for (size_t e = 1; e < entries.size(); e++) {
        TCell cell;
        for (int32_t slot : entries[e]) {
            const T3D_Mesh* mesh = MeshAt(*MainRender, slot);
            if (mesh == nullptr)
                continue;
            if (cell.Name.empty())
                cell.Name = std::string(kind) + "_" + mesh->Name.substr(0, mesh->Name.find_first_of("- "));
            if (Visible(*mesh))
                cell.Parts.push_back({slot, 0});
        }
        cells.push_back(cell);
    }
}

// The meshes of a model file loaded as the map's army models are, or none.
std::vector<int32_t> LoadFigure(const std::string& folder, const std::string& base)
{
    if (base.empty() || !FileExistsMask(folder + base + ".D3D"))
        return {};
    if (!LoadMapModel(folder, base + ".D3D", MESH_SKINNED, "", MODEL_PERSONAGE))
        return {};
    return LastModelMeshes;
}

// Each unit type's body with its starting gear in a row to its right.
void AddPersonages(std::vector<TCell>& cells)
{
    SetGameLanguage("eng");
    LoadBonuses();
    LoadSpells();
    LoadItems();
    LoadUnitTypes();
    for (int32_t t = 1; t <= UnitTypeCount; t++) {
        const std::string body = UnitTypes[t].FileName.Str();
        const std::vector<int32_t> meshes = LoadFigure(PersonagesFolder, body);
        if (meshes.empty())
            continue;
        TCell cell;
        cell.Name = "Personage_" + body;
        for (int32_t slot : meshes)
            cell.Parts.push_back({slot, 0});
        float offset = 1.2f;
        for (int i = 1; i <= 4; i++) {
            const int32_t item = UnitTypes[t].DefaultItems[i];
            if (item < 1 || item > ItemCount)
                continue;
            const std::vector<int32_t> gear = LoadFigure(WeaponsFolder, ExtractBaseName(ItemTable[item].FileName));
            for (int32_t slot : gear)
                cell.Parts.push_back({slot, offset});
            if (!gear.empty())
                offset += 0.9f;
        }
        cells.push_back(cell);
    }
}

// The bounding box of a cell's visible vertices.
bool Bounds(const TCell& cell, TSheetPoint& low, TSheetPoint& high)
{
    bool any = false;
    for (const TPlaced& part : cell.Parts) {
        const T3D_Mesh& mesh = *MeshAt(*MainRender, part.Mesh);
        for (int32_t v = 0; v < mesh.VertexCount; v++) {
            float p[3];
            std::memcpy(p, &mesh.Vertices[static_cast<size_t>(v) * mesh.VertexStride], sizeof(p));
            p[0] += part.OffsetX;
            if (!any) {
                low = high = {p[0], p[1], p[2]};
                any = true;
            }
            low = {std::min(low.x, p[0]), std::min(low.y, p[1]), std::min(low.z, p[2])};
            high = {std::max(high.x, p[0]), std::max(high.y, p[1]), std::max(high.z, p[2])};
        }
    }
    return any;
}

struct TPrograms {
    T3D_Shader* Vertex[VertexFormatCount + 1] = {};
    T3D_Shader* Pixel[VertexFormatCount + 1] = {};
};

TPrograms LoadPrograms()
{
    TPrograms programs;
    auto load = [](const std::string& name, uint8_t vertex) {
        return MainRender->Shaders[static_cast<size_t>(MainRender->Shader_Load(LandscapeShadersFolder + name, vertex))];
    };
    programs.Vertex[MESH_NORMALMAPPED] = load("Object_VS.bin", 1);
    programs.Pixel[MESH_NORMALMAPPED] = load("Object_PS.bin", 0);
    programs.Vertex[MESH_TREECOMA] = load("Tree_VS.bin", 1);
    programs.Pixel[MESH_TREECOMA] = load("Tree_PS.bin", 0);
    programs.Vertex[MESH_GRASS] = load("Grass_VS.bin", 1);
    programs.Pixel[MESH_GRASS] = load("Grass_PS.bin", 0);
    programs.Vertex[MESH_SKINNED] = load("Army_VS.bin", 1);
    programs.Pixel[MESH_SKINNED] = load("Army_PS.bin", 0);
    return programs;
}

// The sun, the light colours and the strengths shared by every cell: a warm
// sun high over the left shoulder, bluish shade, no fog, no tint.
void SetSceneConstants(IDirect3DDevice9* device)
{
    const float pixel[21][4] = {
        {1, 1, 1, 1},            // k_AGSO
        {0, 0, 0, 0},            //
        {0, 0, 0, 0},            // k_Time
        {11, 0, 0, 0},           // k_SunPower
        {1, 0, 1, 0},            // k_FogInfo: no fog
        {0.8f, 0.85f, 0.9f, 1},  // color_Fog
        {1, 0.95f, 0.82f, 1},    // color_Light
        {0.55f, 0.62f, 0.8f, 1}, // color_Shadow
        {1, 0.4f, 0, 0},         // k_NormalGloss
        {0.55f, 1, 1, 1},        // ks_AGSO
        {0, 0, 0, 0},
        {0, 0, 0, 0},
        {0, 0, 0, 0}, // Cascad1_XY
        {0, 0, 0, 0},
        {0, 0, 0, 0},
        {0, 0, 0, 0},
        {0, 0, 0, 0},
        {0, 0, 0, 0},
        {0, 0, 0, 0},
        {1, 1, 1, 0}, // clr_Fog_str
        {1, 1, 1, 0}, // clr_All_str
    };
    device->SetPixelShaderConstantF(0, &pixel[0][0], 21);
    // Every bone of a skinned model in its bind pose.
    std::vector<float> joints;
    for (int i = 0; i < 70; i++) {
        const float rows[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
        joints.insert(joints.end(), rows, rows + 12);
    }
    device->SetVertexShaderConstantF(32, joints.data(), 70 * 3);
    const float none[4][4] = {};
    device->SetVertexShaderConstantF(16, &none[0][0], 4); // "Shadow": no sun depth map
    device->SetVertexShaderConstantF(28, none[0], 1);     // "LightP"
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    device->SetRenderState(D3DRS_ALPHAREF, 100);
    for (DWORD stage = 0; stage < 4; stage++) {
        device->SetSamplerState(stage, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(stage, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(stage, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(stage, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        device->SetSamplerState(stage, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    }
}

struct TCamera {
    TRows View;
    TRows Proj;
};

// The view of a cell: from the front left and above, the whole box in sight,
// the picture squeezed into the cell's square [x0, x0 + size) x [y0, y0 + size)
// of the frame.
TCamera SetCellCamera(IDirect3DDevice9* device, const TSheetPoint& low, const TSheetPoint& high, int x0, int y0,
                      int size)
{
    const TSheetPoint centre = {(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
    const float dx = high.x - low.x, dy = high.y - low.y, dz = high.z - low.z;
    const float radius = std::max(0.05f, 0.5f * std::sqrt(dx * dx + dy * dy + dz * dz));
    const float fov = 0.6f, distance = radius / std::sin(fov / 2) * 1.02f;
    const float yaw = 0.7f, pitch = 0.45f;
    // The eye's axes in the world: forward looks at the centre.
    const TSheetPoint forward = {std::sin(yaw) * std::cos(pitch), -std::sin(pitch), std::cos(yaw) * std::cos(pitch)};
    const TSheetPoint right = {std::cos(yaw), 0, -std::sin(yaw)};
    const TSheetPoint up = {forward.y * right.z - forward.z * right.y, forward.z * right.x - forward.x * right.z,
                            forward.x * right.y - forward.y * right.x};
    const TSheetPoint eye = {centre.x - forward.x * distance, centre.y - forward.y * distance,
                             centre.z - forward.z * distance};
    auto dot = [](const TSheetPoint& a, const TSheetPoint& b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
    TRows view;
    const TSheetPoint axes[3] = {right, up, forward};
    for (int r = 0; r < 3; r++) {
        view.m[r][0] = axes[r].x;
        view.m[r][1] = axes[r].y;
        view.m[r][2] = axes[r].z;
        view.m[r][3] = -dot(axes[r], eye);
    }
    view.m[3][3] = 1;
    const float nearPlane = std::max(0.01f, distance - radius * 1.5f), farPlane = distance + radius * 1.5f;
    const float f = 1 / std::tan(fov / 2);
    TRows projection;
    const float sx = static_cast<float>(size) / static_cast<float>(Width);
    const float sy = static_cast<float>(size) / static_cast<float>(Height);
    const float ox = 2.0f * (static_cast<float>(x0) + 0.5f * static_cast<float>(size)) / static_cast<float>(Width) - 1;
    const float oy = 1 - 2.0f * (static_cast<float>(y0) + 0.5f * static_cast<float>(size)) / static_cast<float>(Height);
    projection.m[0][0] = f * sx;
    projection.m[0][2] = ox;
    projection.m[1][1] = f * sy;
    projection.m[1][2] = oy;
    projection.m[2][2] = farPlane / (farPlane - nearPlane);
    projection.m[2][3] = -nearPlane * farPlane / (farPlane - nearPlane);
    projection.m[3][2] = 1;
    const TRows proj = Multiply(projection, view);
    const float eyeInView[4] = {0, 0, 0, 0};
    device->SetVertexShaderConstantF(8, eyeInView, 1);
    // The sun far away up, left and behind the eye; the sky straight up.
    const TSheetPoint sun = Apply(view, {centre.x - 600, centre.y + 1000, centre.z - 400}, 1);
    const float sunInView[4] = {sun.x, sun.y, sun.z, 1};
    device->SetVertexShaderConstantF(10, sunInView, 1);
    const TSheetPoint sky = Apply(view, {0, 1, 0}, 0);
    const float skyInView[4] = {sky.x, sky.y, sky.z, 0};
    device->SetVertexShaderConstantF(15, skyInView, 1);
    return {view, proj};
}

// Draws a mesh whose "Proj" and "WORLD" registers take the given matrices
// (the projection and the view, each already times the mesh's own world).
void DrawMesh(IDirect3DDevice9* device, const TPrograms& programs, const T3D_Mesh& mesh, const TRows& proj,
              const TRows& view)
{
    const int32_t format = mesh.VertexFormat;
    if (format < 1 || format > VertexFormatCount || programs.Vertex[format] == nullptr ||
        mesh.VertexBuffer == nullptr || mesh.IndexBuffer == nullptr || mesh.PrimitiveCount <= 0)
        return;
    device->SetVertexShader(programs.Vertex[format]->VertexShader);
    device->SetPixelShader(programs.Pixel[format]->PixelShader);
    device->SetVertexDeclaration(MainRender->VertexDecls[static_cast<size_t>(format - 1)]);
    // Plants show both sides and cut their leaves out of the texture.
    const bool plant = format == MESH_TREECOMA || format == MESH_GRASS;
    device->SetRenderState(D3DRS_CULLMODE, plant ? D3DCULL_NONE : D3DCULL_CW);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, plant ? TRUE : FALSE);
    for (DWORD stage = 0; stage < 3; stage++)
        device->SetTexture(stage, nullptr);
    for (const T3D_MeshStageTexture& stage : mesh.StageTextures) {
        const T3D_Texture* texture = TextureAt(*MainRender, stage.TextureSlot);
        if (texture != nullptr && stage.Stage >= 0 && stage.Stage < 3)
            device->SetTexture(static_cast<DWORD>(stage.Stage), texture->Texture);
    }
    device->SetVertexShaderConstantF(0, &proj.m[0][0], 4);
    device->SetVertexShaderConstantF(4, &view.m[0][0], 4);
    device->SetStreamSource(0, mesh.VertexBuffer, 0, static_cast<UINT>(mesh.VertexStride));
    device->SetIndices(mesh.IndexBuffer);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(mesh.VertexCount), 0,
                                 static_cast<UINT>(mesh.PrimitiveCount));
}

void DrawPart(IDirect3DDevice9* device, const TPrograms& programs, const TCamera& camera, const TPlaced& part)
{
    // The part's offset moves it in the world, before the view.
    TRows proj = camera.Proj, view = camera.View;
    for (int r = 0; r < 4; r++) {
        proj.m[r][3] += camera.Proj.m[r][0] * part.OffsetX;
        view.m[r][3] += camera.View.m[r][0] * part.OffsetX;
    }
    DrawMesh(device, programs, *MeshAt(*MainRender, part.Mesh), proj, view);
}

// The largest square cell that lays n cells out in the frame.
int CellSize(size_t n, int& columns)
{
    for (int size = std::min(Width, Height); size > 8; size--) {
        columns = Width / size;
        const int rows = static_cast<int>((n + static_cast<size_t>(columns) - 1) / static_cast<size_t>(columns));
        if (rows * size <= Height)
            return size;
    }
    Fail("the frame is too small for " + std::to_string(n) + " cells");
    return 0;
}

} // namespace

TFrame ModelsSheet()
{
    LoadTerrainResources(nullptr);
    std::vector<TCell> cells;
    AddLibrary(cells, "Building", BuildingModelMeshes);
    AddLibrary(cells, "Tree", TreeModelMeshes);
    AddLibrary(cells, "Object", ObjectModelMeshes);
    AddPersonages(cells);
    if (cells.empty())
        Fail("no models in the installation");
    int columns = 1;
    const int size = CellSize(cells.size(), columns);
    const TPrograms programs = LoadPrograms();

    IDirect3DDevice9* device = MainRender->Device;
    device->SetRenderTarget(0, MainRender->BackBuffer);
    device->SetDepthStencilSurface(MainRender->DepthSurface);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, ClearColour, 1.0f, 0);
    device->BeginScene();
    SetSceneConstants(device);
    for (size_t c = 0; c < cells.size(); c++) {
        TSheetPoint low, high;
        if (!Bounds(cells[c], low, high))
            continue;
        const int x0 = static_cast<int>(c % static_cast<size_t>(columns)) * size;
        const int y0 = static_cast<int>(c / static_cast<size_t>(columns)) * size;
        const TCamera camera = SetCellCamera(device, low, high, x0 + 1, y0 + 1, size - 2);
        for (const TPlaced& part : cells[c].Parts)
            DrawPart(device, programs, camera, part);
    }
    device->EndScene();

    TFrame frame{ReadBackBuffer()};
    for (size_t c = 0; c < cells.size(); c++) {
        const int x0 = static_cast<int>(c % static_cast<size_t>(columns)) * size;
        const int y0 = static_cast<int>(c / static_cast<size_t>(columns)) * size;
        int64_t drawn = 0;
        for (int y = y0; y < y0 + size; y++)
            for (int x = x0; x < x0 + size; x++)
                drawn += frame.At(x, y) != (ClearColour & 0xFFFFFF);
        const std::string name = "cell_" + std::to_string(c + 1) + "_" + cells[c].Name;
        Value(name.c_str(), drawn);
    }
    Value("cells", static_cast<int64_t>(cells.size()));
    return frame;
}

// ---------------------------------------------------------------------------
// render_check personage: personages dressed, posed and placed by the
// personage model code, each in a cell of its own: the body's clip with the
// gear on its hard points, the horse beneath a rider.

namespace {

struct TPoseCase {
    const char* Title;
    const char* UnitName;
    const char* Clip;
    int32_t Time; // ms into the clip
    bool Mounted;
};

TRows RowsOf(const TMatrix4& matrix)
{
    TRows rows;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            rows.m[r][c] = matrix.e[r * 4 + c];
    return rows;
}

int32_t FirstItemOfType(TItemType type)
{
    for (int32_t n = 1; n <= ItemCount; n++)
        if (ItemTable[n].MainType == static_cast<uint8_t>(type) && ItemTable[n].Mesh >= 0)
            return n;
    return 0;
}

int32_t UnitTypeNamed(const std::string& name)
{
    for (int32_t t = 1; t <= UnitTypeCount; t++)
        if (UnitTypes[t].Name.Str() == name)
            return t;
    return 0;
}

// An instance as posed: its world after the attachments and its joints.
void DrawInstance(IDirect3DDevice9* device, const TPrograms& programs, const TCamera& camera,
                  const T3D_SceneMesh& instance)
{
    const T3D_Mesh* mesh = instance.Mesh();
    if (mesh == nullptr)
        return;
    std::vector<float> joints;
    for (const TMatrix4& skin : instance.SkinMatrices)
        joints.insert(joints.end(), skin.e, skin.e + 12);
    if (!joints.empty())
        device->SetVertexShaderConstantF(32, joints.data(), static_cast<UINT>(joints.size() / 4));
    TMatrix4 world;
    MatrixProduct(*instance.ParentMatrix, *instance.World, world);
    const TRows w = RowsOf(world);
    DrawMesh(device, programs, *mesh, Multiply(camera.Proj, w), Multiply(camera.View, w));
}

} // namespace

TFrame PersonagePoses()
{
    InstallGameRenderHooks();
    SetGameLanguage("eng");
    LoadBonuses();
    LoadSpells();
    LoadItems();
    LoadUnitTypes();
    const std::vector<TPoseCase> cases = {
        {"knight_walk", "Knight", "walk", 250, false},
        {"archer_attack", "Levy archer", "attack", 300, false},
        {"pikeman_stand", "Pikeman", "stand", 0, false},
        {"knight_riding", "Knight", "walk", 500, true},
    };
    const std::string sceneName = "ARENA";
    T3D_Scene* scene = MainRender->Scene_Get(MainRender->Scene_Add(sceneName));
    std::vector<TPersRenderAnimationData> models(cases.size());
    std::vector<TCell> boxes(cases.size());
    for (size_t c = 0; c < cases.size(); c++) {
        const TPoseCase& pose = cases[c];
        const int32_t type = UnitTypeNamed(pose.UnitName);
        if (type == 0)
            Fail(std::string("no unit type ") + pose.UnitName);
        TPersonage personage = UnitTypes[type];
        personage.UnitType = type;
        personage.Equipment[1] = personage.DefaultItems[1];
        personage.Equipment[2] = personage.DefaultItems[2];
        if (pose.Mounted) {
            personage.Mounted = 1;
            personage.Equipment[1] = FirstItemOfType(TItemType::Lance);
            personage.Equipment[13] = FirstItemOfType(TItemType::Horse);
        }
        const std::vector<int32_t> body = LoadFigure(PersonagesFolder, personage.FileName.Str());
        if (body.empty())
            Fail("no model " + personage.FileName.Str());
        TPersRenderAnimationData& data = models[c];
        data.UnitType = type;
        data.RenderMesh = body.front();
        data.Instance = scene->AddMesh(data.RenderMesh, "Pose" + std::to_string(c));
        InitPersonageAnimations(sceneName, personage, data);
        AttachPersonageEquipment(
            sceneName, personage, data, static_cast<int32_t>(c),
            [&](int32_t, int32_t mesh, int32_t, const std::string& name) { return scene->AddMesh(mesh, name); });
        PlayPersonageAnimation(data, "stand", 0, true);
        if (PlayPersonageAnimation(data, pose.Clip, 1000, true) == 0)
            Fail(std::string("no clip ") + data.Prefix + pose.Clip + " for " + pose.Title);
        PlacePersonage(sceneName, data, 0, 0, 0, 0, 1);
        UpdatePersonageAnimation(sceneName, data, 1000 + pose.Time, 0);
        boxes[c].Parts.push_back({data.RenderMesh, 0});
        if (data.Horse.Instance >= 0)
            boxes[c].Parts.push_back({scene->GetMesh(data.Horse.Instance)->MeshIndex, 0});
        int64_t worn = 0;
        for (const TWeaponData* slot : {&data.Right, &data.Left, &data.Back, &data.Shield, &data.Horse, &data.Head})
            worn += slot->Instance >= 0 ? 1 : 0;
        std::printf("prefix %s %s\n", pose.Title, data.Prefix.c_str());
        Value((std::string(pose.Title) + "_worn").c_str(), worn);
    }
    scene->UpdateAttachments();

    int columns = 1;
    const int size = CellSize(cases.size(), columns);
    const TPrograms programs = LoadPrograms();
    IDirect3DDevice9* device = MainRender->Device;
    device->SetRenderTarget(0, MainRender->BackBuffer);
    device->SetDepthStencilSurface(MainRender->DepthSurface);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, ClearColour, 1.0f, 0);
    device->BeginScene();
    SetSceneConstants(device);
    for (size_t c = 0; c < cases.size(); c++) {
        TSheetPoint low, high;
        if (!Bounds(boxes[c], low, high))
            continue;
        // Room for arms and weapons that leave the body's rest box.
        low = {low.x - 0.5f, low.y, low.z - 0.5f};
        high = {high.x + 0.5f, high.y + 0.3f, high.z + 0.5f};
        const int x0 = static_cast<int>(c % static_cast<size_t>(columns)) * size;
        const int y0 = static_cast<int>(c / static_cast<size_t>(columns)) * size;
        const TCamera camera = SetCellCamera(device, low, high, x0 + 1, y0 + 1, size - 2);
        const TPersRenderAnimationData& data = models[c];
        for (int32_t instance : {data.Instance, data.Right.Instance, data.Left.Instance, data.Back.Instance,
                                 data.Shield.Instance, data.Horse.Instance, data.Head.Instance})
            if (const T3D_SceneMesh* mesh = scene->GetMesh(instance))
                DrawInstance(device, programs, camera, *mesh);
    }
    device->EndScene();
    TFrame frame{ReadBackBuffer()};
    for (size_t c = 0; c < cases.size(); c++) {
        const int x0 = static_cast<int>(c % static_cast<size_t>(columns)) * size;
        const int y0 = static_cast<int>(c / static_cast<size_t>(columns)) * size;
        int64_t drawn = 0;
        for (int y = y0; y < y0 + size; y++)
            for (int x = x0; x < x0 + size; x++)
                drawn += frame.At(x, y) != (ClearColour & 0xFFFFFF);
        Value((std::string("cell_") + cases[c].Title).c_str(), drawn);
    }
    return frame;
}

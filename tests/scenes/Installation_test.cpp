// The sample installation holds every file the scenes load without asking
// first, and each one loads through the renderer's own loaders: the terrain
// textures and libraries, the interface files of the scenes, the shader
// programs and the pairs the passes combine (linked on the real device), the
// arena scene files with their meshes and textures, the personage models of
// the unit types and the item meshes. Each check collects every missing file
// of its kind and reports them together.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "battle/BattleArena.h"
#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/tables/Global.h"
#include "platform/os/OS.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Models.h"
#include "tests/render/RenderTestSupport.h"
#include "tests/scenes/SceneShaderPairs.h"
#include "tests/support/TestSupport.h"
#include "tools/TextureFiles.h"

namespace {

namespace fs = std::filesystem;

const std::string SampleInstallFolder = std::string(DUSKMARCH_INSTALL) + "/";

// The files a check looked for and did not find, listed once at its end.
class TMissingFiles {
public:
    bool Present(const std::string& file)
    {
        if (FileExistsMask(file))
            return true;
        Add(file);
        return false;
    }
    void Add(const std::string& file)
    {
        if (std::find(Files.begin(), Files.end(), file) == Files.end())
            Files.push_back(file);
    }
    std::string Text() const
    {
        std::string text;
        for (const std::string& file : Files)
            text += "\n  missing: " + file;
        return text;
    }
    bool Empty() const { return Files.empty(); }

private:
    std::vector<std::string> Files;
};

// An installation that is the sample one seen through links, except that
// its "Landscape" folder is a real folder of links: a test may leave a file
// of it out or put one in without touching the build's installation.
class TLinkedInstallation {
public:
    explicit TLinkedInstallation(const std::set<std::string>& leftOut = {})
    {
        for (const fs::directory_entry& entry : fs::directory_iterator(SampleInstallFolder)) {
            const std::string name = entry.path().filename().string();
            if (name != "Landscape") {
                fs::create_symlink(entry.path(), fs::path(Folder.Path()) / name);
                continue;
            }
            fs::create_directory(fs::path(Folder.Path()) / name);
            for (const fs::directory_entry& inner : fs::directory_iterator(entry.path())) {
                const std::string innerName = inner.path().filename().string();
                if (leftOut.count(innerName) == 0)
                    fs::create_symlink(inner.path(), fs::path(Folder.Path()) / name / innerName);
            }
        }
    }

    std::string ProgramPath() const { return Folder.ProgramPath(); }
    void Write(const std::string& relative, const std::vector<uint8_t>& bytes) const
    {
        Folder.WriteProgramFile(relative, std::string(bytes.begin(), bytes.end()));
    }

private:
    TTempFolder Folder;
};

// The text after "Load_DDS(" up to ")" of the engine's last fatal line.
std::string FileOfFatalLine(const std::string& text)
{
    const size_t open = text.rfind("Load_DDS(");
    if (open == std::string::npos)
        return std::string();
    const size_t close = text.find(") -> FILE NOT FOUND!", open);
    return close == std::string::npos ? std::string() : text.substr(open + 9, close - open - 9);
}

// The arena scene file of a name and a time-of-day suffix ("" or "_Night"):
// scenes whose name holds "Plain" share the "Plain" folder, every other one
// has its own.
std::string ArenaSceneFile(const std::string& name, const std::string& suffix)
{
    if (name.find("Plain") != std::string::npos)
        return ArenasFolder + "Plain\\" + name + suffix + ".qxs";
    return ArenasFolder + name + "\\" + name + suffix + ".qxs";
}

// The vertex format an arena object of a "Mesh_Type" is loaded with.
int32_t ArenaMeshFormat(const std::string& type)
{
    if (type == "Grass")
        return MESH_GRASS;
    if (type == "TreeComa")
        return MESH_TREECOMA;
    if (type == "Water")
        return MESH_WATER;
    if (type == "Skinned")
        return MESH_SKINNED;
    return MESH_NORMALMAPPED;
}

// Whether a folder below the installation holds a file of the extension
// (in any case) anywhere below it.
bool FolderHoldsAny(const std::string& relative, const std::string& extension)
{
    std::error_code error;
    for (fs::recursive_directory_iterator it(SampleInstallFolder + relative, error), end; !error && it != end;
         it.increment(error))
        if (it->is_regular_file() && LowerCaseStr(it->path().extension().string()) == extension)
            return true;
    return false;
}

} // namespace

class InstallationTest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        UseInstallation(OS_ToProgramPath(SampleInstallFolder));
        SavedUnitTypeCount = UnitTypeCount;
        SavedItemCount = ItemCount;
    }

    void TearDown() override
    {
        // The tables read here are the installation's: the other tests of
        // the program find the counts they had.
        UnitTypeCount = SavedUnitTypeCount;
        ItemCount = SavedItemCount;
        FreeTerrainResources();
        MainRender = nullptr;
        TRecordingRenderTest::TearDown();
    }

    void UseInstallation(const std::string& folder)
    {
        SetGameFolders(folder);
        MainRender = Render.get();
    }

    // Every sub-object of a model file in the given format; false (with the
    // engine's fatal line as a failure) when the renderer refused it.
    bool LoadModel(const std::string& file, int32_t format, std::vector<int32_t>& slots)
    {
        try {
            TStringArray names;
            Render->Mesh_FindNames(file, names);
            EXPECT_FALSE(names.empty()) << file << " holds no mesh";
            for (const std::string& name : names)
                slots.push_back(LoadMesh(format, file, name, ""));
            return !names.empty();
        } catch (const TRenderFatalStop&) {
            ADD_FAILURE() << file << ": " << GetEngineErrorText();
            ClearEngineErrorText();
            return false;
        }
    }

    bool LoadTexture(const std::string& file)
    {
        try {
            return Render->Texture_Load(file) >= 0;
        } catch (const TRenderFatalStop&) {
            ADD_FAILURE() << file << ": " << GetEngineErrorText();
            ClearEngineErrorText();
            return false;
        }
    }

    void LoadGameTables()
    {
        SetGameLanguage("eng");
        LoadBonuses();
        LoadSpells();
        LoadItems();
        LoadUnitTypes();
    }

    T3D_Mesh& Mesh(int32_t slot) { return *Render->Mesh_Get(slot); }

    int32_t SavedUnitTypeCount = 0;
    int32_t SavedItemCount = 0;
};

// The terrain's load runs to its end; a file it stops on is noted, stood in
// for in a linked copy of the installation and the load run again, so one
// run names every missing file in the loader's own order.
TEST_F(InstallationTest, TerrainResourcesLoadToTheEnd)
{
    TLinkedInstallation copy;
    TMissingFiles missing;
    bool loaded = false;
    for (int attempt = 0; attempt < 64 && !loaded; attempt++) {
        FreeTerrainResources();
        FreeRender();
        TRecordingRenderTest::SetUp();
        UseInstallation(copy.ProgramPath());
        try {
            LoadTerrainResources(nullptr);
            loaded = true;
        } catch (const TRenderFatalStop&) {
            const std::string file = FileOfFatalLine(GetEngineErrorText());
            ASSERT_NE(file, "") << GetEngineErrorText();
            ASSERT_EQ(file.compare(0, copy.ProgramPath().size(), copy.ProgramPath()), 0) << file;
            // Only the copy's own landscape folder takes stand-ins; its
            // sub-folders are the build's.
            const std::string relative = file.substr(copy.ProgramPath().size());
            ASSERT_EQ(relative.find('\\', std::string("Landscape\\").size()), std::string::npos) << relative;
            missing.Add(relative);
            copy.Write(relative, TextureFiles::MakeDDS(0x31545844, 4, 4, 1, std::vector<uint8_t>(8, 0)));
            ClearEngineErrorText();
        }
    }
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(missing.Empty()) << missing.Text();
    EXPECT_EQ(GetEngineErrorText(), "");
    // Every kind of every library found its files.
    for (const TModelLibrary* library : {&BuildingModelLibrary, &TreeModelLibrary, &ObjectModelLibrary})
        for (size_t kind = 1; kind < library->Kinds.size(); kind++)
            EXPECT_GT(library->Kinds[kind].Count, 0) << "kind " << kind;
}

TEST_F(InstallationTest, WithoutTheErrorTextureTheTerrainLoadStops)
{
    TLinkedInstallation copy({"Error.DDS"});
    UseInstallation(copy.ProgramPath());
    EXPECT_THROW(LoadTerrainResources(nullptr), TRenderFatalStop);
    const std::string text = GetEngineErrorText();
    EXPECT_NE(text.find("Load_DDS("), std::string::npos) << text;
    EXPECT_NE(text.find("Error.DDS) -> FILE NOT FOUND!"), std::string::npos) << text;
}

// The picture the map and arena scenes draw their interface pass with.
TEST_F(InstallationTest, SceneInterfaceFilesLoad)
{
    TMissingFiles missing;
    const std::string empty = InterfaceFolder + "Common\\Empty.tga";
    if (missing.Present(empty)) {
        EXPECT_TRUE(LoadTexture(empty));
    }
    EXPECT_TRUE(missing.Empty()) << missing.Text();
}

// Every arena the battle chooses by kind, the camp's and the story events',
// and the night looks of the plain and the camp:
// a "Scene" section first, and for each mesh object its mesh file holding
// the named mesh and its texture, all in the scene's folder; the error
// picture and the battlefield they fall back on or name.
TEST_F(InstallationTest, ArenaScenesFindTheirMeshesAndTextures)
{
    if (!FolderHoldsAny("Arenas", ".qxs"))
        GTEST_SKIP() << "no arena scenes in " << ArenasFolder << " yet";
    std::vector<std::string> names(ArenaSceneNames + 1, ArenaSceneNames + ArenaKindCount + 1);
    names.push_back("Tent");
    names.push_back("Event");
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());

    TMissingFiles missing;
    // What stands in for a missing arena texture, and the battlefield that
    // any scene's "hexbattlefield" object loads whatever it names.
    for (const std::string& file : {GameFolder + "Error.tga", InterfaceFolder + "Common\\HEX_grid.DDS"}) {
        if (missing.Present(file)) {
            EXPECT_TRUE(LoadTexture(file)) << file;
        }
    }
    const std::string battlefield = InterfaceFolder + "Common\\HexBattlefield6x7.d3d";
    std::vector<int32_t> slots;
    if (missing.Present(battlefield) && LoadModel(battlefield, MESH_NORMALMAPPED, slots)) {
        for (int32_t slot : slots)
            EXPECT_GT(Mesh(slot).VertexCount, 0) << Mesh(slot).Name;
    }
    // The night looks of the open plain and the camp.
    std::vector<std::pair<std::string, std::string>> scenes;
    for (const std::string& name : names)
        scenes.emplace_back(name, "");
    scenes.emplace_back("Plain", "_Night");
    scenes.emplace_back("Tent", "_Night");
    for (const auto& [name, suffix] : scenes) {
        const std::string file = ArenaSceneFile(name, suffix);
        if (!missing.Present(file))
            continue;
        SCOPED_TRACE(file);
        const std::string folder = file.substr(0, file.rfind('\\') + 1);
        TIniFile scene;
        scene.Load(file);
        ASSERT_GT(scene.SectionCount(), 0);
        EXPECT_EQ(scene.SectionName(0), "Scene");
        for (int32_t s = 1; s < scene.SectionCount(); s++) {
            scene.SelectSectionIndex(s);
            const std::string type = scene.ReadString("Mesh_Type", -1);
            const std::string meshName = scene.ReadString("MeshName", -1);
            if (type == "Emitter" || LowerCaseStr(meshName) == "hexbattlefield")
                continue;
            const std::string meshFile = folder + ExtractBaseName(scene.ReadString("Name", -1)) + ".D3D";
            if (missing.Present(meshFile)) {
                TStringArray inFile;
                Render->Mesh_FindNames(meshFile, inFile);
                if (std::find(inFile.begin(), inFile.end(), meshName) == inFile.end())
                    ADD_FAILURE() << scene.SectionName(s) << ": " << meshFile << " holds no mesh \"" << meshName
                                  << "\"";
                else
                    EXPECT_GT(Mesh(LoadMesh(ArenaMeshFormat(type), meshFile, meshName, "")).VertexCount, 0) << meshName;
            }
            const std::string texture = scene.ReadString("Texture", -1);
            if (!texture.empty() && missing.Present(folder + ExtractBaseName(texture) + ".DDS"))
                LoadTexture(folder + ExtractBaseName(texture) + ".DDS");
        }
    }
    EXPECT_TRUE(missing.Empty()) << missing.Text();
}

// Each unit type's model: skinned, with the six hard points the gear hangs
// from and the clips every figure plays without gear.
TEST_F(InstallationTest, PersonageModelsHaveHardPointsAndClips)
{
    if (!FolderHoldsAny("Personages", ".d3d"))
        GTEST_SKIP() << "no personage models in " << PersonagesFolder << " yet";
    LoadGameTables();
    ASSERT_GT(UnitTypeCount, 0);
    TMissingFiles missing;
    for (int32_t t = 1; t <= UnitTypeCount; t++) {
        const std::string name = UnitTypes[t].FileName.Str();
        if (name.empty())
            continue;
        const std::string file = PersonagesFolder + name + ".D3D";
        std::vector<int32_t> slots;
        if (!missing.Present(file) || !LoadModel(file, MESH_SKINNED, slots))
            continue;
        std::set<std::string> bones, clips;
        for (int32_t slot : slots) {
            for (const T3D_Bone& bone : Mesh(slot).Skin.Bones)
                bones.insert(bone.Name);
            for (const T3D_Clip& clip : Mesh(slot).Skin.Clips)
                clips.insert(clip.Name);
        }
        for (const char* point : {"HP_right", "HP_left", "HP_back", "HP_shield", "HP_horse", "HP_head"})
            EXPECT_EQ(bones.count(point), 1u) << file << " has no bone " << point;
        for (const char* clip : {"na_stand", "na_idle01", "na_death", "na_relax"})
            EXPECT_EQ(clips.count(clip), 1u) << file << " has no clip " << clip;
    }
    EXPECT_TRUE(missing.Empty()) << missing.Text();
}

// Each item with a model: its mesh file in the weapons folder, loaded as the
// items load it (the file's first mesh, skinned).
TEST_F(InstallationTest, ItemMeshesLoad)
{
    if (!FolderHoldsAny("Personages/Weapons", ".d3d"))
        GTEST_SKIP() << "no item meshes in " << WeaponsFolder << " yet";
    LoadGameTables();
    TMissingFiles missing;
    for (int32_t n = 1; n <= ItemCount; n++) {
        const std::string base = ExtractBaseName(ItemTable[n].FileName);
        if (base.empty())
            continue;
        const std::string file = WeaponsFolder + base + ".D3D";
        std::vector<int32_t> slots;
        if (missing.Present(file) && LoadModel(file, MESH_SKINNED, slots)) {
            EXPECT_GT(Mesh(slots.front()).VertexCount, 0) << file;
        }
    }
    EXPECT_TRUE(missing.Empty()) << missing.Text();
}

// Every shader file of the two scenes loads through the renderer, and every
// pair the passes combine links and draws on the real device.
class InstallationShadersTest : public TDeviceRenderTest {};

TEST_F(InstallationShadersTest, EveryShaderLoadsAndEveryPairLinks)
{
    SetGameFolders(OS_ToProgramPath(SampleInstallFolder));
    TMissingFiles missing;
    std::set<std::string> files;
    for (const SceneShaderPairs::TPair& pair : SceneShaderPairs::ScenePairs) {
        files.insert(std::string(pair.Folder) + pair.Vertex + ".bin");
        files.insert(std::string(pair.Folder) + pair.Pixel + ".bin");
    }
    for (const char* folder : {SceneShaderPairs::Landscape, SceneShaderPairs::Arenas})
        for (const fs::directory_entry& entry : fs::directory_iterator(SampleInstallFolder + folder))
            if (entry.path().extension() == ".bin")
                files.insert(folder + entry.path().filename().string());

    std::map<std::string, T3D_Shader*> loaded;
    for (const std::string& file : files) {
        const std::string path = GameFolder + file;
        if (!missing.Present(path))
            continue;
        try {
            const int32_t slot = Render->Shader_Load(path, file.find("_VS.bin") != std::string::npos ? 1 : 0);
            T3D_Shader* shader = Render->Shaders[static_cast<size_t>(slot)];
            if (shader->VertexShader == nullptr && shader->PixelShader == nullptr)
                ADD_FAILURE() << file << ": " << D3D9_ShaderRefusal();
            else
                loaded[file] = shader;
        } catch (const TRenderFatalStop&) {
            ADD_FAILURE() << file << ": " << GetEngineErrorText();
            ClearEngineErrorText();
        }
    }
    EXPECT_TRUE(missing.Empty()) << missing.Text();

    IDirect3DDevice9* device = Render->Device;
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    for (const SceneShaderPairs::TPair& pair : SceneShaderPairs::ScenePairs) {
        const std::string vertex = std::string(pair.Folder) + pair.Vertex + ".bin";
        const std::string pixel = std::string(pair.Folder) + pair.Pixel + ".bin";
        if (loaded.count(vertex) == 0 || loaded.count(pixel) == 0)
            continue;
        device->SetVertexShader(loaded[vertex]->VertexShader);
        device->SetPixelShader(loaded[pixel]->PixelShader);
        device->SetVertexDeclaration(Render->VertexDecls[static_cast<size_t>(pair.Format - 1)]);
        const std::vector<uint8_t> vertices(3 * static_cast<size_t>(VertexFormatStride[pair.Format]), 0);
        const uint16_t indices[3] = {0, 1, 2};
        EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, indices, D3DFMT_INDEX16, vertices.data(),
                                                 VertexFormatStride[pair.Format]),
                  D3D_OK)
            << vertex << " + " << pixel << " (format " << pair.Format << "): " << D3D9_ShaderRefusal();
    }
}

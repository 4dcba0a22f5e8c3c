#include "app/SelfCheck.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "engine/Calculator.h"
#include "engine/QX9_Math.h"
#include "engine/QX9_PathFinder.h"
#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "engine/QX9_System_DatFile.h"
#include "engine/QX9_System_Ini.h"
#include "engine/QX9_System_Script.h"
#include "engine/QX9_System_XML.h"
#include "engine/QX9_System_ZipFile.h"
#include "model/ai/AIMain_Settings.h"
#include "model/tables/Global.h"
#include "model/personage/Personage_Rules.h"
#include "model/Support.h"
#include "platform/window/Window.h"
#include "render/QX9_Render.h"

namespace {

// A scratch folder for the files the checks write; removed at the end.
class TScratch {
public:
    TScratch()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "duskmarch-check-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            Native = pattern;
    }
    ~TScratch()
    {
        std::error_code ec;
        if (!Native.empty())
            std::filesystem::remove_all(Native, ec);
    }
    bool Ok() const { return !Native.empty(); }
    // The folder in the program's form, with a trailing "\".
    std::string Folder() const { return OS_ToProgramPath(Native) + "\\"; }

private:
    std::string Native;
};

std::string Num(int64_t value)
{
    return Int64ToStr(value, false);
}

} // namespace

void CheckReaders()
{
    TScratch scratch;
    if (!scratch.Ok()) {
        Report("scratch folder", false, "no temporary folder");
        return;
    }
    const std::string folder = scratch.Folder();

    TIniFile ini;
    ini.Load(folder + "check.ini");
    ini.Sections.push_back(TIniSection{"Main", "", {}});
    ini.SelectSection("Main");
    ini.WriteString("Key", "a, (b, c)", -1);
    const bool saved = ini.Save();
    TIniFile again;
    again.Load(folder + "check.ini");
    again.SelectSection("Main");
    Report("ini file", saved && again.ValueCount("Key") == 2 && again.ReadString("Key", 2) == "(b, c)",
           "2 items, item 2 '" + again.ReadString("Key", 2) + "'");

    const std::string script = "[Unit]\r\nName=Levy\r\nHits=12, 14\r\n";
    TZipFile pack;
    pack.Init();
    pack.Open(folder + "unit.qxs", 1024);
    pack.Write(script.data(), static_cast<uint32_t>(script.size()));
    const bool packed = pack.Close(0x11, folder + "unit.qxs");
    TScript reader(folder + "unit.qxs", false);
    reader.SelectSection("Unit");
    Report("pack file and script", packed && reader.ReadInteger("Hits", 2, 0) == 14,
           "packed script read back, Hits item 2 = " + Num(reader.ReadInteger("Hits", 2, 0)));

    TDatFile dat;
    dat.Init();
    const int32_t records[4] = {1, 2, 3, 5};
    dat.WriteRecords("Records", records, 4, sizeof(int32_t));
    const bool datSaved = dat.Save(48, folder + "check.dat");
    dat.Done();
    TDatFile opened;
    opened.Init();
    int32_t back[4] = {};
    const bool datOpened = opened.Open(folder + "check.dat");
    const uint32_t bytes = datOpened ? opened.ReadRecords("Records", back, 0, 4) : 0;
    opened.Done();
    Report("data container", datSaved && bytes == sizeof(records) && back[3] == 5,
           Num(bytes / sizeof(int32_t)) + " records read back");

    const auto xml = TXML::CreateFromText("<scene><mesh name=\"tower\"/><mesh name=\"wall\"/></scene>", 1);
    const TXML* wall = xml->FindChild("mesh", "name", true, "wall");
    Report("XML reader", xml->Count() == 2 && wall != nullptr, Num(xml->Count()) + " children");
}

void CheckMath()
{
    TMatrix4 a, b, ab;
    MatrixTranslation(a, 1, 2, 3);
    MatrixScaling(b, 2, 2, 2);
    MatrixMultiply(a, b, ab);
    // Translate first, then scale: the translation doubles.
    Report("matrices", ab.e[3] == 2 && ab.e[7] == 4 && ab.e[11] == 6, "translate then scale");

    const long double value = CalculateExpression("(2+3)*4 - 2^3");
    Report("expression calculator", value == 12, "(2+3)*4 - 2^3 = " + FloatToStrDecimals(-1, static_cast<float>(value)));

    // A 16 x 16 grid of cost 1 with a wall down column 8 that leaves a gap
    // at the bottom row: the route goes down to the gap and up again, at
    // least 15 steps each way.
    TPF_Grid* grid = PF_CreateGrid(16, 16);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x)
            PF_GridSet(grid, x, y, (x == 8 && y < 15) ? 0 : 1);
    TPF_Map map;
    PF_CreateMap(grid, map);
    TPF_Tracker tracker;
    tracker.Init(map, 0, false);
    tracker.ResetCosts();
    tracker.ClearSeeds();
    tracker.AddSeed(PF_PackCell(15, 0), 0);
    const bool reached = tracker.Calc(PF_PackCell(0, 0), true);
    tracker.GetPath(PF_PackCell(0, 0), true);
    Report("path finder", reached && tracker.PathCount >= 30,
           "route round the wall, " + Num(tracker.PathCount) + " steps, cost " + Num(tracker.PathCost));
    tracker.Done();
    PF_FreeMap(map);
    PF_FreeAndNil(grid);
}

void CheckTables()
{
    TScratch user;
    SetGameFolders(ExePath);
    LoadGameOptions(user.Folder());
    SetGameLanguage("eng");
    TableLoadErrors.clear();
    LoadAchievements();
    LoadCoatIcons();
    LoadBonuses();
    LoadSpells();
    LoadItems();
    LoadUnitTypes();
    AI_LoadSettings();
    const bool loaded = UnitTypeCount > 0 && ItemCount > 0 && SpellCount > 0 && TableLoadErrors.empty();
    Report("game tables", loaded,
           Num(UnitTypeCount) + " unit types, " + Num(ItemCount) + " items, " + Num(SpellCount) + " spells");

    int32_t reloaded = 0;
    for (int32_t t = 1; t <= UnitTypeCount; ++t) {
        TPersonage p = UnitTypes[t];
        ReloadPersonage(p, 0);
        reloaded += p.UnitType == UnitTypes[t].UnitType ? 1 : 0;
    }
    Report("personage reload", reloaded == UnitTypeCount && GetEngineErrorText().empty(),
           Num(reloaded) + " unit types reloaded");
    FreeGameOptions();
}

void CheckSound()
{
    Sound_Init(2, 44100, 16, false, 0);
    const std::string driver = SoundDevice != nullptr ? SoundDevice->DriverName() : "";
    Report("sound device", GetEngineErrorText().empty(),
           "2 channels, 44100 Hz, 16 bits, " + (driver == "dummy" ? std::string("silent") : "output " + driver));
}

void CheckRenderer()
{
    TWindowCreateParams params;
    params.ClassName = "DuskmarchCheck";
    params.Title = "Duskmarch self-check";
    params.Width = 320;
    params.Height = 200;
    HWND window = Window_Create(params);
    if (window == nullptr) {
        Report("renderer", true, "skipped: no display");
        return;
    }
    auto* render = new T3D_Render();
    render->CreateDevice(window, params.Width, params.Height, 0, D3DPRESENT_INTERVAL_ONE, 0, D3DFMT_D24S8);
    IDirect3DDevice9* device = render->Device;
    bool ok = device != nullptr;
    if (ok) {
        ok = device->BeginScene() == D3D_OK && device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF306090, 1, 0) == D3D_OK &&
             device->EndScene() == D3D_OK && device->Present(nullptr, nullptr, nullptr, nullptr) == D3D_OK;
    }
    Report("renderer", ok,
           "vertex shader level " + Num(render->VertexShaderLevel) + ", pixel shader level " +
               Num(render->PixelShaderLevel));
}

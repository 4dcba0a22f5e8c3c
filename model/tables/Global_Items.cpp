// The item table ("Items.Ini") with the item models and the item icon set,
// model render settings, coats of arms and achievements.
#include <algorithm>
#include <cmath>
#include <string>

#include "model/tables/Global.h"
#include "model/Hooks.h"
#include "model/Support.h"
#include "model/tables/TableLoading.h"

TItems ItemTable[ItemMax + 1];
int32_t ItemCount = 0;
TNamesLang ItemNames[ItemMax + 1];
int32_t ItemMaxCost = 0;
TStringArray ItemIconFiles;
TIntArray ItemIconSprites;
int32_t ItemIconLast = 0;

TStringArray CoatFiles;
std::vector<TCoatIcon> CoatIcons;
int32_t CoatLast = 0;

std::vector<TAchievement> AchievementDefs;

const char* const StatKeys[8] = {"Hits",       "Initiative", "AttackBlow", "AttackShot",
                                 "MagicPower", "Defense",    "Protect",    "Will"};

namespace {

// A model settings file; an empty one (no sections) when it is missing, so
// every model gets the defaults and nothing is created in the installation.
void LoadOptionalSettings(const std::string& path, TIniFile& settings)
{
    settings.Clear();
    if (FileExistsMask(path))
        settings.Load(path);
}

void ReadItem(TIniFile& table, int32_t n)
{
    TItems& item = ItemTable[n];
    item = TItems{};
    TNamesLang& names = ItemNames[n];
    names.Name = ReadTableText(table, "Name");
    // Descriptions come from the table file alone.
    names.Descript = table.ReadWideString("Descript", -1);
    item.Name = WideToGameAnsi(names.Name).substr(0, ItemNameMax);
    item.Descript = WideToGameAnsi(names.Descript).substr(0, ItemDescriptMax);

    item.MainType = static_cast<uint8_t>(ItemTypeByName(ReadKey(table, "MainType")));
    item.Alignment = static_cast<uint8_t>(AlignmentByName(ReadKey(table, "Alignment")));
    item.SubType = ReadInt(table, "SubType");
    item.Cost = ReadInt(table, "Cost");
    item.Strength = ReadInt(table, "Strength");
    item.Unique = ReadInt(table, "Unique");
    item.EquipmentType = ReadInt(table, "EquipmentType");
    if (item.Unique != 0 && item.Unique != 1)
        item.EquipmentType = 4;
    item.dHit = ReadInt(table, "dHit");
    item.dMana = ReadInt(table, "dMana");
    item.dWound = ReadInt(table, "dWound");
    for (int p = 1; p <= 8; ++p) {
        item.Max[p] = static_cast<int16_t>(ReadInt(table, std::string("Max") + StatKeys[p - 1]));
        item.Abs[p] = static_cast<int16_t>(ReadInt(table, std::string("Abs") + StatKeys[p - 1]));
        item.Prc[p] = static_cast<int16_t>(ReadInt(table, std::string("Prc") + StatKeys[p - 1]));
    }
    item.FileName = ReadKey(table, "FileName");
    item.IconFileName = ReadKey(table, "IconFileName");
    const char* const bonusKeys[4] = {"BnsLive", "BnsAttack", "BnsDefense", "BnsSpirit"};
    for (int k = 0; k < 4; ++k) {
        item.Bonus[2 * k + 1] = BonusTypeByName(table.ReadString(bonusKeys[k], 1));
        item.Bonus[2 * k + 2] = BonusTypeByName(table.ReadString(bonusKeys[k], 2));
    }
    ItemMaxCost = std::max(ItemMaxCost, item.Cost);
}

void LoadItemModel(int32_t n)
{
    TRenderHooks& render = RenderHooks();
    TItems& item = ItemTable[n];
    item.Mesh = -1;
    for (int32_t& texture : item.MeshTextures)
        texture = 0;
    const std::string base = ExtractBaseName(item.FileName);
    if (base.empty())
        return;
    item.Mesh = render.Mesh_Add(5, "IID[" + std::to_string(n) + "] " + item.Name);
    if (item.Mesh < 0)
        return; // no renderer
    const std::string path = ResolveModFile(WeaponsFolder + base + ".D3D");
    TStringArray meshes;
    render.Mesh_FindNames(path, meshes);
    if (meshes.empty())
        return;
    TStringArray textures;
    render.Mesh_FindTexture(path, meshes[0], textures);
    render.Mesh_Load(item.Mesh, path, 2, meshes[0]);
    for (size_t stage = 0; stage < textures.size(); ++stage) {
        const std::string t = ExtractBaseName(textures[stage]);
        if (t.empty())
            continue;
        if (stage >= 6) {
            LogTableError("LoadItems(" + item.FileName + ") -> TEXTURE STAGE " + std::to_string(stage) +
                          " BEYOND 6, SKIPPED");
            continue;
        }
        const std::string file = ResolveModFile(WeaponsFolder + "Textures_Small\\" + t + ".DDS");
        item.MeshTextures[stage] = render.Texture_Load(file);
        render.Mesh_SetTexture(item.Mesh, static_cast<int32_t>(stage), item.MeshTextures[stage]);
    }
}

// The icon files of the installation, then of each mod, one per base name
// (the last listed copy), in byte order of the names.
void LoadItemIcons()
{
    TRenderHooks& render = RenderHooks();
    const std::string folder = "Common\\Icons\\Items\\";
    TStringArray names;
    ListFiles(InterfaceFolder + folder + "*" + ".DDS", names, false);
    for (const std::string& mod : ModNames)
        if (!mod.empty())
            ListFiles(GameFolder + "Mods\\" + mod + "\\Interface\\" + folder + "*" + ".DDS", names, true);
    DropEarlierDuplicates(names);
    std::sort(names.begin(), names.end());

    // Entry 0 stays unused: 0 is "no icon", and every listed file can be one.
    ItemIconFiles.assign(1, std::string());
    ItemIconFiles.insert(ItemIconFiles.end(), names.begin(), names.end());
    ItemIconLast = static_cast<int32_t>(names.size());
    ItemIconSprites.assign(ItemIconLast + 1, 0);
    for (int32_t i = 1; i <= ItemIconLast; ++i) {
        const std::string p = ResolveModFile(InterfaceFolder + folder + ItemIconFiles[i]);
        if (FileExistsMask(p))
            ItemIconSprites[i] = render.LoadSprite(p, 1);
    }
}

} // namespace

void ReadModelSettings(const std::string& fileName, TIniFile& settingsFile, TModelSettings& settings)
{
    settings = DefaultModelSettings();
    const std::string key = LowerCaseStr(ExtractBaseName(fileName));
    if (key.empty())
        return;
    const int32_t count = settingsFile.SectionCount();
    int32_t found = -1;
    for (int32_t s = 0; s < count && found < 0; ++s)
        if (LowerCaseStr(ExtractBaseName(settingsFile.SectionName(s))) == key)
            found = s;
    if (found < 0)
        return;
    settingsFile.SelectSectionIndex(found);
    settings.Gamma = ReadInt(settingsFile, "Gamma");
    settings.Ambient = ReadInt(settingsFile, "Ambient");
    settings.Occlusion = ReadInt(settingsFile, "Occlusion");
    const uint32_t rgb = static_cast<uint32_t>(ReadInt(settingsFile, "Colorization_Color"));
    float red = 1, green = 1, blue = 1;
    if (rgb != 0) {
        red = static_cast<float>((rgb >> 16) & 0xFF) / 255.0f;
        green = static_cast<float>((rgb >> 8) & 0xFF) / 255.0f;
        blue = static_cast<float>(rgb & 0xFF) / 255.0f;
        const float largest = std::max(red, std::max(green, blue));
        if (largest > 0) {
            red /= largest;
            green /= largest;
            blue /= largest;
        } else {
            red = green = blue = 1; // bits above the colour only: white
        }
    }
    settings.ColorizationColor[0] = red;
    settings.ColorizationColor[1] = green;
    settings.ColorizationColor[2] = blue;
    settings.ColorizationColor[3] = 1;
    settings.ColorizationStrength = ReadInt(settingsFile, "Colorization_Strength");
    settings.Normal = ReadInt(settingsFile, "Normal");
    settings.Specular = ReadInt(settingsFile, "Specular");
    settings.SpecularSRE = ReadInt(settingsFile, "Specular_SRE");
    if (settings.SpecularSRE == 0)
        settings.SpecularSRE = 100;
    settings.Scale = ReadInt(settingsFile, "Scale");
    if (settings.Scale == 0)
        settings.Scale = 100;
    settings.Shadow = ReadFlag(settingsFile, "Shadow") ? 1 : 0;
    const std::string specular = ReadKey(settingsFile, "SpecularType");
    settings.SpecularType = specular == "Phong" ? 1 : specular == "Kook-Torrance" ? 2 : 0;
}

void LoadItems()
{
    TRenderHooks& render = RenderHooks();
    TIniFile* table = nullptr;
    if (OpenTableFiles(table, "Items.Ini")) {
        for (TItems& item : ItemTable)
            item = TItems{};
        for (TNamesLang& names : ItemNames)
            names = TNamesLang{};
        ItemCount = 0;
        ItemMaxCost = 0;
        TIniFile weaponSettings;
        LoadOptionalSettings(PersonagesFolder + "Settings\\Weapons.qxs", weaponSettings);

        const int32_t sections = table->SectionCount();
        for (int32_t s = 0; s < sections; ++s) {
            if (ItemCount >= ItemMax) {
                LogTableError("LoadItems(" + table->SectionName(s) + ") -> MORE THAN 600 ITEMS, SKIPPED");
                continue;
            }
            table->SelectSectionIndex(s);
            const int32_t n = ++ItemCount;
            ReadItem(*table, n);
            ReadModelSettings(ItemTable[n].FileName, weaponSettings, ItemTable[n].Model);
        }
        CloseTableFiles(table);

        render.Texture_SetLoadOptions(1, 0);
        for (int32_t n = 1; n <= ItemCount; ++n)
            LoadItemModel(n);
        render.Texture_SetLoadOptions(0, 0);
    }

    render.Texture_SetLoadOptions(3, 2);
    LoadItemIcons();
    render.Texture_SetLoadOptions(0, 0);

    for (int32_t n = 1; n <= ItemCount; ++n) {
        TItems& item = ItemTable[n];
        item.Image = 0;
        if (item.IconFileName.empty())
            continue;
        for (int32_t i = 1; i <= ItemIconLast; ++i) {
            if (SameBaseName(ItemIconFiles[i], item.IconFileName)) {
                item.Image = i;
                break;
            }
        }
    }
}

void LoadCoatIcons()
{
    TRenderHooks& render = RenderHooks();
    render.Texture_SetLoadOptions(3, 2);
    const std::string folder = "Common\\Icons\\Coats\\";
    CoatFiles.clear();
    ListFiles(InterfaceFolder + folder + "Coat*" + ".DDS", CoatFiles, false);
    for (const std::string& mod : ModNames)
        if (!mod.empty())
            ListFiles(GameFolder + "Mods\\" + mod + "\\Interface\\" + folder + "Coat*" + ".DDS", CoatFiles, true);
    DropEarlierDuplicates(CoatFiles);

    CoatIcons.assign(CoatFiles.size(), TCoatIcon{});
    CoatLast = CoatFiles.empty() ? 0 : static_cast<int32_t>(CoatFiles.size()) - 1;
    const std::string c = InterfaceFolder + folder;
    for (size_t i = 0; i < CoatFiles.size(); ++i) {
        TCoatIcon& coat = CoatIcons[i];
        coat.Icon54 = render.LoadSprite(ResolveModFile(c + CoatFiles[i]), 1);
        render.Sprite_SetSize(coat.Icon54, -1, 54, 54);
        render.Sprite_SetRenderState(coat.Icon54, 768, 2);
        coat.Icon32 = render.LoadSprite(ResolveModFile(c + "32\\" + CoatFiles[i]), 1);
        coat.Icon26 = render.CloneSprite(coat.Icon32);
        render.Sprite_SetSize(coat.Icon26, -1, 26, 26);
        render.Sprite_SetRenderState(coat.Icon26, 768, 2);
        coat.Icon16 = render.CloneSprite(coat.Icon32);
        render.Sprite_SetSize(coat.Icon16, -1, 16, 16);
        render.Sprite_SetRenderState(coat.Icon16, 768, 2);
    }
    render.Texture_SetLoadOptions(0, 0);
}

void LoadAchievements()
{
    AchievementDefs.clear();
    const std::string path = GetConfigFilePath("Achievements.Ini");
    if (path.empty() || !FileExistsMask(path))
        return;
    TIniFile file;
    file.Load(path);
    const std::string language = LanguageNames[static_cast<int>(CurrentLanguage)];
    const int32_t sections = file.SectionCount();
    for (int32_t s = 0; s < sections; ++s) {
        file.SelectSectionIndex(s);
        TAchievement a;
        a.UID = ReadKey(file, "UID");
        a.IconFile = file.ReadString("FileName", 1);
        a.IconFile2 = file.ReadString("FileName", 2);
        a.Name = ReadLocalizedKey(file, "Name", language);
        a.Text = ReadLocalizedKey(file, "Text", language);
        AchievementDefs.push_back(a);
    }
}

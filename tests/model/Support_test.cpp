#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "model/tables/Global.h"
#include "model/Support.h"
#include "platform/store/Store.h"
#include "tests/model/ModelTestSupport.h"

namespace {

std::string ReadAll(const std::string& realPath)
{
    std::ifstream in(realPath, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

using SupportTest = TGameFolderTest;

TEST_F(SupportTest, FoldersFollowTheProgramFolder)
{
    SetGameFolders("\\games\\dm");
    EXPECT_EQ(GameFolder, "\\games\\dm\\");
    EXPECT_EQ(LandscapeShadersFolder, "\\games\\dm\\Landscape\\Shaders\\");
    EXPECT_EQ(WeaponsFolder, "\\games\\dm\\Personages\\Weapons\\");
    EXPECT_EQ(ArenaShadersFolder, "\\games\\dm\\Arenas\\Shaders\\");
    EXPECT_EQ(WindowsFolder, "\\games\\dm\\Interface\\Windows\\");
    EXPECT_EQ(InterfaceShadersFolder, "\\games\\dm\\Interface\\Shaders\\");
    EXPECT_EQ(SavesFolder, "\\games\\dm\\Saves\\");
    EXPECT_EQ(ScenariosFolder, "\\games\\dm\\Scenarios\\");
}

TEST_F(SupportTest, LanguagesCodesSuffixesAndFallbacks)
{
    struct Row {
        const char* Option;
        TLanguage Language;
        const char* Code;
        const char* Suffix;
        TLanguage Fallback;
    };
    const Row rows[] = {
        {"rus", TLanguage::Rus, "RUS", "_Rus", TLanguage::Rus}, {"eng", TLanguage::Eng, "ENG", "_Eng", TLanguage::Eng},
        {"Deu", TLanguage::Deu, "DEU", "_Deu", TLanguage::Eng}, {"fra", TLanguage::Fra, "FRA", "_Fra", TLanguage::Eng},
        {"BEL", TLanguage::Bel, "BEL", "_Bel", TLanguage::Rus}, {"spa", TLanguage::Spa, "SPA", "_Spa", TLanguage::Eng},
        {"por", TLanguage::Por, "POR", "_Por", TLanguage::Eng}, {"pol", TLanguage::Pol, "POL", "_Pol", TLanguage::Eng},
        {"ukr", TLanguage::Ukr, "UKR", "_Ukr", TLanguage::Rus}, {"ger", TLanguage::Rus, "", "", TLanguage::Rus},
        {"", TLanguage::Rus, "", "", TLanguage::Rus},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Option);
        SetGameLanguage(row.Option);
        EXPECT_EQ(CurrentLanguage, row.Language);
        EXPECT_EQ(LanguageCode, row.Code);
        EXPECT_EQ(LanguageSuffix, row.Suffix);
        EXPECT_EQ(FallbackLanguage, row.Fallback);
    }
}

TEST_F(SupportTest, GameOptionsAreCopiedToTheUserFolderOnce)
{
    Write("Options_Game.ini", "[Main]\r\nModName= Alpha , ,Beta\r\nGlobal_Language=eng\r\n");
    Write("Mods/Beta/readme.txt", "b");
    LoadGameOptions(GameFolder + "User\\");
    EXPECT_EQ(UserFolder, GameFolder + "User\\");
    EXPECT_NE(ReadAll(Folder.Path() + "User/Options_Game.ini").find("ModName= Alpha"), std::string::npos);
    EXPECT_EQ(ModNames, (TStringArray{"Alpha", "", "Beta"}));
    // Alpha has no folder: the first listed mod on disk is active.
    EXPECT_EQ(ActiveModFolder, "Mods\\Beta\\");

    // A second start reads the user's copy, not the installation's.
    FreeGameOptions();
    Write("User/Options_Game.ini", "[Main]\r\nModName=Beta\r\n");
    Write("Options_Game.ini", "[Main]\r\nModName=Alpha\r\n");
    LoadGameOptions(GameFolder + "User\\");
    EXPECT_EQ(ModNames, TStringArray{"Beta"});
}

TEST_F(SupportTest, MissingModNameLeavesPathsUnchanged)
{
    Write("Options_Game.ini", "[Main]\r\nGlobal_Language=eng\r\n");
    Write("Config/Units.Ini", "[A]\r\n");
    LoadGameOptions(GameFolder + "User\\");
    EXPECT_TRUE(ModNames.empty());
    EXPECT_EQ(ActiveModFolder, "");
    EXPECT_EQ(ResolveModFile(Game("Interface\\Windows\\Map.txt")), Game("Interface\\Windows\\Map.txt"));
    EXPECT_EQ(GetConfigFilePath("Units.Ini"), Game("Config\\Units.Ini"));
    EXPECT_EQ(GetConfigFilePath("Missing.Ini"), "");
}

TEST_F(SupportTest, ModResolution)
{
    struct Row {
        const char* Name;
        const char* Mods;               // ModName value
        std::vector<const char*> Files; // files on disk
        const char* Asked;              // ResolveModFile of this (below the game folder)
        const char* Resolved;           // expected (below the game folder)
        const char* Active;             // ActiveModFolder
        const char* Config;             // GetConfigFilePath("Units.Ini"), "" none
    };
    const Row rows[] = {
        {"both mods have it: the last listed wins",
         "A,B",
         {"Mods/A/Interface/Windows/W.txt", "Mods/B/Interface/Windows/W.txt", "Config/Units.Ini"},
         "Interface\\Windows\\W.txt",
         "Mods\\B\\interface\\windows\\w.txt",
         "Mods\\A\\",
         "Config\\Units.Ini"},
        {"only the first has it",
         "A,B",
         {"Mods/A/Interface/Windows/W.txt", "Mods/B/x.txt", "Config/Units.Ini"},
         "Interface\\Windows\\W.txt",
         "Mods\\A\\interface\\windows\\w.txt",
         "Mods\\A\\",
         "Config\\Units.Ini"},
        {"case of the disk differs",
         "A",
         {"Mods/A/INTERFACE/windows/w.TXT"},
         "Interface\\Windows\\W.txt",
         "Mods\\A\\interface\\windows\\w.txt",
         "Mods\\A\\",
         ""},
        {"no mod has it",
         "A,B",
         {"Mods/A/x.txt", "Mods/B/y.txt"},
         "Interface\\Windows\\W.txt",
         "Interface\\Windows\\W.txt",
         "Mods\\A\\",
         ""},
        {"first mod has no folder",
         "A,B",
         {"Mods/B/Config/Units.Ini", "Config/Units.Ini"},
         "Config\\Units.Ini",
         "Mods\\B\\config\\units.ini",
         "Mods\\B\\",
         "Mods\\B\\Config\\Units.Ini"},
        {"configuration only from the active mod",
         "A,B",
         {"Mods/A/readme.txt", "Mods/B/Config/Units.Ini", "Config/Units.Ini"},
         "Config\\Units.Ini",
         "Mods\\B\\config\\units.ini",
         "Mods\\A\\",
         "Config\\Units.Ini"},
        {"a mod path asks the mods again",
         "A,B",
         {"Mods/B/a/x.txt"},
         "Mods\\A\\x.txt",
         "Mods\\B\\a\\x.txt",
         "Mods\\B\\",
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TGameFolderTest::TearDown();
        TTempFolder folder;
        SetGameFolders(folder.ProgramPath());
        SetRenderHooks(&Render);
        for (const char* file : row.Files)
            folder.WriteFile(file, "x");
        folder.WriteFile("Options_Game.ini", std::string("[Main]\r\nModName=") + row.Mods + "\r\n");
        LoadGameOptions(GameFolder + "User\\");
        EXPECT_EQ(ActiveModFolder, row.Active);
        EXPECT_EQ(ResolveModFile(GameFolder + row.Asked), GameFolder + row.Resolved);
        EXPECT_EQ(GetConfigFilePath("Units.Ini"), row.Config[0] ? GameFolder + row.Config : std::string());
    }
}

TEST_F(SupportTest, LanguageCopyPaths)
{
    struct Row {
        const char* Name;
        std::vector<const char*> Files;
        TLanguage Language;
        bool WithFallback;
        const char* Expected; // below the game folder, "" none
    };
    const Row rows[] = {
        {"German, only English, no fall-back", {"Config/Eng/Bonuses.Eng"}, TLanguage::Deu, false, ""},
        {"German, only English, fall-back",
         {"Config/Eng/Bonuses.Eng"},
         TLanguage::Deu,
         true,
         "Config\\Eng\\Bonuses.Eng"},
        {"German copy present",
         {"Config/Eng/Bonuses.Eng", "Config/Deu/Bonuses.Deu"},
         TLanguage::Deu,
         true,
         "Config\\Deu\\Bonuses.Deu"},
        {"Belarusian falls back to Russian",
         {"Config/Eng/Bonuses.Eng", "Config/Rus/Bonuses.Rus"},
         TLanguage::Bel,
         true,
         "Config\\Rus\\Bonuses.Rus"},
        {"Ukrainian without Russian gets none", {"Config/Eng/Bonuses.Eng"}, TLanguage::Ukr, true, ""},
        {"English has no fall-back of its own", {"Config/Rus/Bonuses.Rus"}, TLanguage::Eng, true, ""},
        {"Russian copy", {"Config/Rus/Bonuses.Rus"}, TLanguage::Rus, false, "Config\\Rus\\Bonuses.Rus"},
        {"active mod's copy first",
         {"Mods/M/Config/Fra/Bonuses.Fra", "Config/Fra/Bonuses.Fra"},
         TLanguage::Fra,
         false,
         "Mods\\M\\Config\\Fra\\Bonuses.Fra"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempFolder folder;
        SetGameFolders(folder.ProgramPath());
        for (const char* file : row.Files)
            folder.WriteFile(file, "[A]\r\n");
        FreeGameOptions();
        folder.WriteFile("Options_Game.ini", "[Main]\r\nModName=M\r\n");
        LoadGameOptions(GameFolder + "User\\");
        const std::string found = GetLanguageConfigPath("Bonuses.Ini", row.Language, row.WithFallback);
        EXPECT_EQ(found, row.Expected[0] ? GameFolder + row.Expected : std::string());
    }
}

TEST_F(SupportTest, OpenTableFilesLoadsEveryPresentCopy)
{
    UseMods("");
    TIniFile* table = nullptr;
    EXPECT_FALSE(OpenTableFiles(table, "Bonuses.Ini"));
    EXPECT_EQ(table, nullptr);

    Write("Config/Bonuses.Ini", "[A]\r\nName=Own\r\n");
    Write("Config/Rus/Bonuses.Rus", "[A]\r\nName=Rus\r\n");
    Write("Config/Pol/Bonuses.Pol", "[A]\r\nName=Pol\r\n");
    ASSERT_TRUE(OpenTableFiles(table, "Bonuses.Ini"));
    ASSERT_NE(table, nullptr);
    for (int l = 0; l < LanguageCount; ++l) {
        SCOPED_TRACE(LanguageNames[l]);
        const bool expected = l == static_cast<int>(TLanguage::Rus) || l == static_cast<int>(TLanguage::Pol);
        EXPECT_EQ(TableLangPresent[l], expected);
        EXPECT_EQ(TableLangFiles[l] != nullptr, expected);
    }
    CloseTableFiles(table);
    EXPECT_EQ(table, nullptr);
    for (int l = 0; l < LanguageCount; ++l)
        EXPECT_FALSE(TableLangPresent[l]);
}

TEST_F(SupportTest, OpenTableFilesTakesTablesFromASource)
{
    // With a source the Config folders are not read: the table and its
    // copies are what the source hands over, and nothing else.
    struct TReset {
        ~TReset() { TableTextSource = nullptr; }
    } reset;
    UseMods("");
    Write("Config/Items.Ini", "[File]\r\n");
    static const std::string items = "[A]\r\nName=Memory\r\n", copy = "[A]\r\nName=Kopie\r\n";
    TableTextSource = [](const std::string& name, int language) -> const std::string* {
        if (name != "Items.Ini")
            return nullptr;
        return language < 0 ? &items : language == static_cast<int>(TLanguage::Deu) ? &copy : nullptr;
    };
    TIniFile* table = nullptr;
    EXPECT_FALSE(OpenTableFiles(table, "Bonuses.Ini"));
    EXPECT_EQ(table, nullptr);
    ASSERT_TRUE(OpenTableFiles(table, "Items.Ini"));
    ASSERT_TRUE(table->SelectSection("A"));
    EXPECT_EQ(table->ReadString("Name", -1), "Memory");
    for (int l = 0; l < LanguageCount; ++l)
        EXPECT_EQ(TableLangPresent[l], l == static_cast<int>(TLanguage::Deu)) << LanguageNames[l];
    ASSERT_TRUE(TableLangFiles[static_cast<int>(TLanguage::Deu)]->SelectSection("A"));
    EXPECT_EQ(TableLangFiles[static_cast<int>(TLanguage::Deu)]->ReadString("Name", -1), "Kopie");
    CloseTableFiles(table);

    TableTextSource = nullptr;
    ASSERT_TRUE(OpenTableFiles(table, "Items.Ini"));
    EXPECT_TRUE(table->SelectSection("File"));
    CloseTableFiles(table);
}

TEST_F(SupportTest, LocalisedTableTextRule)
{
    struct Row {
        const char* Name;
        const char* Language;
        const char* Table;   // the entry's "Name" in the table file
        const char* Current; // the current language's copy: nullptr no copy, "-" copy without the section
        const char* Fallback;
        const char* Expected;
    };
    const Row rows[] = {
        {"no copy: the table's text", "deu", "Sword", nullptr, nullptr, "Sword"},
        {"copy without the section: the table's text", "deu", "Sword", "-", "English", "Sword"},
        {"copy with the text", "deu", "Sword", "Schwert", "English", "Schwert"},
        {"empty in the copy: the fall-back's text", "deu", "Sword", "", "English", "English"},
        {"empty in the copy, fall-back lacks the section", "deu", "Sword", "", "-", ""},
        {"empty in the copy, no fall-back copy", "deu", "Sword", "", nullptr, ""},
        {"English empty stays empty", "eng", "Sword", "", nullptr, ""},
        {"Belarusian falls back to Russian", "bel", "Sword", "", "Rus", "Rus"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempFolder folder;
        SetGameFolders(folder.ProgramPath());
        FreeGameOptions();
        folder.WriteFile("Options_Game.ini", "[Main]\r\n");
        LoadGameOptions(GameFolder + "User\\");
        SetGameLanguage(row.Language);
        const std::string current = LanguageNames[static_cast<int>(CurrentLanguage)];
        const std::string fallback = LanguageNames[static_cast<int>(FallbackLanguage)];
        folder.WriteFile("Config/Items.Ini", std::string("[Other]\r\nName=x\r\n[Blade]\r\nName=") + row.Table + "\r\n");
        auto copy = [&](const std::string& lang, const char* text) {
            if (text == nullptr)
                return;
            const std::string section = std::string(text) == "-" ? "[Else]" : "[Blade]";
            const std::string value = std::string(text) == "-" ? "" : text;
            folder.WriteFile("Config/" + lang + "/Items." + lang, section + "\r\nName=" + value + "\r\n");
        };
        copy(fallback, row.Fallback);
        copy(current, row.Current); // the current copy wins where both are one file
        TIniFile* table = nullptr;
        ASSERT_TRUE(OpenTableFiles(table, "Items.Ini"));
        table->SelectSection("Blade");
        EXPECT_EQ(OS_WideToMultiByte(CP_UTF8, ReadTableText(*table, "Name")), row.Expected);
        CloseTableFiles(table);
    }
}

TEST_F(SupportTest, ReadLocalizedKeyOrder)
{
    struct Row {
        const char* Keys;
        const char* Language;
        const char* Expected;
    };
    const Row rows[] = {
        {"NameDeu=Wert\r\nNameEng=Value\r\n", "Deu", "Wert"},
        {"NameDeu=\r\nNameEng=Value\r\n", "Deu", "Value"},
        {"NameEng=Value\r\n", "Deu", "Value"},
        {"Nameeng=lower\r\nName_Eng=under\r\n", "Fra", "lower"},
        {"Name_Eng=under\r\nNameENG=upper\r\n", "Fra", "under"},
        {"NameENG=upper\r\n", "Fra", "upper"},
        {"NameRus=\r\n", "Rus", ""},
        {"Other=1\r\n", "Eng", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Keys);
        Write("Achievements.Ini", std::string("[A]\r\n") + row.Keys);
        TIniFile ini;
        ini.Load(Game("Achievements.Ini"));
        ini.SelectSection("A");
        EXPECT_EQ(OS_WideToMultiByte(CP_UTF8, ReadLocalizedKey(ini, "Name", row.Language)), row.Expected);
    }
}

TEST_F(SupportTest, StoreIsAbsentWithoutTheWrapper)
{
    EXPECT_EQ(StoreLibraryFileName("DuskmarchSteamAPI.dll"), "DuskmarchSteamAPI.so");
    EXPECT_EQ(StoreLibraryFileName("steam_api.DLL"), "steam_api.so");
    TStoreWrapper wrapper;
    EXPECT_FALSE(StoreWrapper_Load(Game("DuskmarchSteamAPI.dll"), wrapper));
    EXPECT_EQ(wrapper.SetAchievement, nullptr);
    // A file that is no library is no wrapper, and nothing is reported.
    Write("DuskmarchSteamAPI.so", "not a library");
    EXPECT_FALSE(StoreWrapper_Load(Game("DuskmarchSteamAPI.dll"), wrapper));
    Support_Initialization();
    EXPECT_FALSE(StorePresent);
    EXPECT_FALSE(StoreSetAchievement("ACH_FIRST"));
}

TEST_F(SupportTest, FontSlots)
{
    LoadFonts("\\fonts\\");
    auto file = [&](int slot) {
        const auto& font = Render.Fonts.at(FontSlots[slot]);
        return font.File.empty() ? "clone of " + Render.Fonts.at(font.CloneOf).File : font.File;
    };
    const std::string px = "\\fonts\\Candara_";
    const std::pair<int, std::string> rows[] = {
        {1, px + "13px_white.ini"},
        {2, px + "15px_white.ini"},
        {3, px + "19px_white.ini"},
        {4, px + "19px_white.ini"},
        {5, px + "21px_white.ini"},
        {6, "clone of " + px + "21px_white.ini"},
        {7, "clone of " + px + "23px_white.ini"},
        {8, px + "25px_white.ini"},
        {10, px + "25px_white.ini"},
        {11, "clone of " + px + "25px_white.ini"},
        {12, px + "19px_white.ini"},
        {13, px + "13px_white.ini"},
        {14, px + "15px_white.ini"},
        {15, "\\fonts\\Arial_9px_numbers.ini"},
        {16, px + "11px_white.ini"},
        {19, px + "17px_white.ini"},
        {23, px + "25px_white.ini"},
        {24, px + "11px_white.ini"},
        {30, px + "23px_white.ini"},
        {31, px + "23px_stroke.ini"},
        {32, px + "25px_white.ini"},
        {33, px + "30px_white.ini"},
    };
    for (const auto& [slot, expected] : rows) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(file(slot), expected);
    }
    EXPECT_EQ(Render.Fonts.size(), 14u); // eleven files, three grey clones
    for (int slot : {6, 7, 11}) {
        const auto& font = Render.Fonts.at(FontSlots[slot]);
        EXPECT_EQ(font.Red, 140);
        EXPECT_EQ(font.Green, 140);
        EXPECT_EQ(font.Blue, 140);
        EXPECT_EQ(font.Alpha, slot == 11 ? -1 : 130);
    }
}

TEST_F(SupportTest, ScreenshotHeaderAndPixels)
{
    Render.MakeSurface(5, 4);
    ASSERT_TRUE(SaveScreenshotTGA(1, Game("shot.tga"), TRect{1, 1, 4, 3}));
    const std::string file = ReadAll(Folder.Path() + "shot.tga");
    ASSERT_EQ(file.size(), 18u + 3 * 2 * 3);
    const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0x20};
    EXPECT_EQ(file.substr(0, 18), std::string(reinterpret_cast<const char*>(header), 18));
    // Pixel (x, y) of the rectangle is surface pixel (1 + x, 1 + y): blue, green, red.
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const size_t at = 18 + (y * 3 + x) * 3;
            EXPECT_EQ(static_cast<uint8_t>(file[at]), 1 + x);
            EXPECT_EQ(static_cast<uint8_t>(file[at + 1]), 1 + y);
            EXPECT_EQ(static_cast<uint8_t>(file[at + 2]), 2 + x + y);
        }
    EXPECT_EQ(Render.Locks, Render.Unlocks);
}

TEST_F(SupportTest, ScreenshotRectanglesAreCheckedAndClipped)
{
    Render.MakeSurface(8, 6);
    struct Row {
        const char* Name;
        TRect Rect;
        bool Written;
        int W, H;
    };
    const Row rows[] = {
        {"whole target", {0, 0, 8, 6}, true, 8, 6},
        {"inverted", {5, 0, 2, 6}, false, 0, 0},
        {"empty", {3, 3, 3, 5}, false, 0, 0},
        {"beyond the right and bottom", {4, 2, 100, 100}, true, 4, 4},
        {"negative corner", {-5, -5, 2, 3}, true, 2, 3},
        {"wholly outside", {20, 20, 30, 30}, false, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        std::remove((Folder.Path() + "shot.tga").c_str());
        EXPECT_EQ(SaveScreenshotTGA(1, Game("shot.tga"), row.Rect), row.Written);
        const std::string file = ReadAll(Folder.Path() + "shot.tga");
        if (!row.Written) {
            EXPECT_TRUE(file.empty());
            continue;
        }
        ASSERT_EQ(file.size(), 18u + static_cast<size_t>(row.W) * row.H * 3);
        EXPECT_EQ(static_cast<uint8_t>(file[12]), row.W);
        EXPECT_EQ(static_cast<uint8_t>(file[14]), row.H);
    }
    EXPECT_EQ(Render.Locks, Render.Unlocks);
    EXPECT_FALSE(SaveScreenshotTGA(2, Game("none.tga"), TRect{0, 0, 2, 2})); // no such target
}

TEST(GlobalTest, UnitStartSetsArenaKindsAndScenarioFallback)
{
    Global_Initialization();
    for (int kind = 0; kind < 16; ++kind) {
        const bool expected = (kind >= 1 && kind <= 10) || kind == 12;
        EXPECT_EQ((ArenaKindSet >> kind & 1) != 0, expected) << kind;
    }
    EXPECT_EQ(ScenarioFallbackLanguage, static_cast<uint8_t>(TLanguage::Eng));
}

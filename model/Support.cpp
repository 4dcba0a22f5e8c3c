#include "model/Support.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "model/Hooks.h"
#include "platform/os/OS.h"
#include "platform/store/Store.h"

std::string GameFolder;
std::string LandscapeFolder;
std::string LandscapeShadersFolder;
std::string BuildingsFolder;
std::string ObjectsFolder;
std::string TreesFolder;
std::string PersonagesFolder;
std::string WeaponsFolder;
std::string ArenasFolder;
std::string ArenaShadersFolder;
std::string InterfaceFolder;
std::string WindowsFolder;
std::string InterfaceShadersFolder;
std::string MusicFolder;
std::string SavesFolder;
std::string ScenariosFolder;
std::string UserFolder;

int32_t (*GameTimeSource)(bool sample) = nullptr;

TIniFile* GameOptions = nullptr;
TStringArray ModNames;
std::string ActiveModFolder;

const char* const LanguageNames[LanguageCount] = {"Rus", "Eng", "Deu", "Fra", "Bel", "Spa", "Por", "Pol", "Ukr"};
TLanguage CurrentLanguage = TLanguage::Rus;
std::string LanguageCode;
std::string LanguageSuffix;
TLanguage FallbackLanguage = TLanguage::Rus;

TIniFile* TableLangFiles[LanguageCount] = {};
bool TableLangPresent[LanguageCount] = {};
TTableTextSource TableTextSource = nullptr;

bool StorePresent = false;
int32_t FontSlots[FontSlotCount + 1] = {};

namespace {

TStoreWrapper StoreWrapper;

std::string WithBackslash(const std::string& folder)
{
    if (folder.empty() || folder.back() == '\\' || folder.back() == '/')
        return folder;
    return folder + "\\";
}

} // namespace

// ---------------------------------------------------------------------------
// Languages

TLanguage LanguageFallbackOf(TLanguage language)
{
    switch (language) {
    case TLanguage::Rus:
    case TLanguage::Bel:
    case TLanguage::Ukr:
        return TLanguage::Rus;
    default:
        return TLanguage::Eng;
    }
}

void SetGameLanguage(const std::string& optionValue)
{
    const std::string wanted = LowerCaseStr(optionValue);
    CurrentLanguage = TLanguage::Rus;
    LanguageCode.clear();
    LanguageSuffix.clear();
    for (int l = 0; l < LanguageCount; ++l) {
        if (wanted == LowerCaseStr(LanguageNames[l])) {
            CurrentLanguage = static_cast<TLanguage>(l);
            LanguageCode = UpperCaseStr(LanguageNames[l]);
            LanguageSuffix = std::string("_") + LanguageNames[l];
            break;
        }
    }
    FallbackLanguage = LanguageFallbackOf(CurrentLanguage);
}

int LanguageCodePage(TLanguage language)
{
    switch (language) {
    case TLanguage::Rus:
    case TLanguage::Bel:
    case TLanguage::Ukr:
        return CP_1251;
    case TLanguage::Pol:
        return CP_1250;
    default:
        return CP_1252;
    }
}

int GameCodePage()
{
    return LanguageCodePage(CurrentLanguage);
}

std::string WideToGameAnsi(const std::u16string& text)
{
    return OS_WideToMultiByte(GameCodePage(), text);
}

// ---------------------------------------------------------------------------
// Unit start and end

void SetGameFolders(const std::string& gameFolder)
{
    GameFolder = WithBackslash(gameFolder);
    LandscapeFolder = GameFolder + "Landscape\\";
    LandscapeShadersFolder = LandscapeFolder + "Shaders\\";
    BuildingsFolder = LandscapeFolder + "Buildings\\";
    ObjectsFolder = LandscapeFolder + "Objects\\";
    TreesFolder = LandscapeFolder + "Trees\\";
    PersonagesFolder = GameFolder + "Personages\\";
    WeaponsFolder = PersonagesFolder + "Weapons\\";
    ArenasFolder = GameFolder + "Arenas\\";
    ArenaShadersFolder = ArenasFolder + "Shaders\\";
    InterfaceFolder = GameFolder + "Interface\\";
    WindowsFolder = InterfaceFolder + "Windows\\";
    InterfaceShadersFolder = InterfaceFolder + "Shaders\\";
    MusicFolder = GameFolder + "Music\\";
    SavesFolder = GameFolder + "Saves\\";
    ScenariosFolder = GameFolder + "Scenarios\\";
}

void Support_Initialization()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    QX9_System_Init();
    // The unit's end runs with the engine's shut-down, before the collected
    // fatal-error text is shown.
    AddUnitShutdown(Support_Finalization);
    GameTimeSource = GetTimeMs;
    SetGameFolders(ExePath);

    // The wrapper needs the store client beside it; without either there is
    // simply no store.
    StorePresent = false;
    if (FileExistsMask(GameFolder + StoreLibraryFileName("DuskmarchSteamAPI.dll")) &&
        FileExistsMask(GameFolder + StoreLibraryFileName("steam_api.dll")))
        StorePresent = StoreWrapper_Load(GameFolder + "DuskmarchSteamAPI.dll", StoreWrapper);
    if (StorePresent)
        StoreWrapper.Start();
}

void FreeGameOptions()
{
    delete GameOptions;
    GameOptions = nullptr;
    ModNames.clear();
    ActiveModFolder.clear();
}

void Support_Finalization()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    if (StorePresent)
        StoreWrapper.Shutdown();
    StorePresent = false;
    FreeGameOptions();
    for (TIniFile*& copy : TableLangFiles) {
        delete copy;
        copy = nullptr;
    }
    UserFolder.clear();
}

// ---------------------------------------------------------------------------
// Game options and mods

void LoadGameOptions(const std::string& folder)
{
    if (GameOptions == nullptr) {
        GameOptions = new TIniFile();
        if (!folder.empty()) {
            UserFolder = WithBackslash(folder);
        } else {
            std::string local = GetShellFolder(CSIDL_LOCAL_APPDATA);
            // Without a per-user data folder the copy lives beside the program.
            UserFolder = local.empty() ? GameFolder + "User\\" : WithBackslash(local) + "Duskmarch\\";
        }
        const std::string userFile = UserFolder + "Options_Game.ini";
        if (PathDirExists(UserFolder) && FileExistsMask(userFile)) {
            GameOptions->Load(userFile);
        } else {
            GameOptions->Load(GameFolder + "Options_Game.ini");
            if (!PathDirExists(UserFolder))
                OS_CreateDirectory(UserFolder);
            // The defaults stay in memory when the copy can't be written, so
            // the game still starts; later saves aim at the user's file.
            if (GameOptions->Save(userFile)) {
                GameOptions->Load(userFile);
            } else {
                GameOptions->FolderName = ExtractPathStr(userFile);
                GameOptions->FileName = ExtractNameStr(userFile);
            }
        }
    }

    ModNames.clear();
    if (GameOptions->SelectSection("Main") && GameOptions->KeyExists("ModName")) {
        const int32_t count = GameOptions->ValueCount("ModName");
        for (int32_t i = 1; i <= count; ++i)
            ModNames.push_back(TrimStr(GameOptions->ReadString("ModName", i)));
    }

    ActiveModFolder.clear();
    for (const std::string& name : ModNames) {
        if (name.empty())
            continue;
        if (PathDirExists(GameFolder + "Mods\\" + name + "\\")) {
            ActiveModFolder = "Mods\\" + name + "\\";
            break;
        }
    }
}

std::string ResolveModFile(const std::string& path)
{
    std::string relative = path.size() > GameFolder.size() ? path.substr(GameFolder.size()) : std::string();
    relative = LowerCaseStr(relative);
    const size_t mods = relative.find("mods\\");
    if (mods != std::string::npos)
        relative.erase(0, mods + 5);
    if (relative.empty())
        return path;
    std::string result = path;
    // Every listed mod is asked: the last one that has the file wins.
    for (const std::string& mod : ModNames) {
        if (mod.empty())
            continue;
        const std::string candidate = GameFolder + "Mods\\" + mod + "\\" + relative;
        if (FileExistsMask(candidate))
            result = candidate;
    }
    return result;
}

std::string GetConfigFilePath(const std::string& name)
{
    if (name.empty())
        return std::string();
    if (!ActiveModFolder.empty()) {
        const std::string fromMod = GameFolder + ActiveModFolder + "Config\\" + name;
        if (FileExistsMask(fromMod))
            return fromMod;
    }
    const std::string installed = GameFolder + "Config\\" + name;
    return FileExistsMask(installed) ? installed : std::string();
}

namespace {

std::string FindLanguageCopy(const std::string& name, TLanguage language)
{
    const std::string lang = LanguageNames[static_cast<int>(language)];
    const std::string file = ChangeExtStr(name, "." + lang);
    if (!ActiveModFolder.empty()) {
        const std::string fromMod = GameFolder + ActiveModFolder + "Config\\" + lang + "\\" + file;
        if (FileExistsMask(fromMod))
            return fromMod;
    }
    const std::string installed = GameFolder + "Config\\" + lang + "\\" + file;
    return FileExistsMask(installed) ? installed : std::string();
}

} // namespace

std::string GetLanguageConfigPath(const std::string& name, TLanguage language, bool withFallback)
{
    if (name.empty() || static_cast<int>(language) >= LanguageCount)
        return std::string();
    std::string found = FindLanguageCopy(name, language);
    if (!found.empty() || !withFallback)
        return found;
    const TLanguage fallback = LanguageFallbackOf(language);
    if (fallback == language)
        return std::string();
    return FindLanguageCopy(name, fallback);
}

namespace {

// The table (language -1) or one language copy of it, loaded; nullptr when
// that file is missing.
TIniFile* OpenTableText(const std::string& name, int language)
{
    if (TableTextSource != nullptr) {
        const std::string* text = TableTextSource(name, language);
        if (text == nullptr)
            return nullptr;
        auto* ini = new TIniFile();
        ini->LoadFromMemory(language < 0 ? name : ChangeExtStr(name, "." + std::string(LanguageNames[language])),
                            *text);
        return ini;
    }
    const std::string path =
        language < 0 ? GetConfigFilePath(name) : GetLanguageConfigPath(name, static_cast<TLanguage>(language), false);
    if (path.empty())
        return nullptr;
    auto* ini = new TIniFile();
    ini->Load(path);
    return ini;
}

} // namespace

bool OpenTableFiles(TIniFile*& tableFile, const std::string& name)
{
    TIniFile* table = OpenTableText(name, -1);
    if (table == nullptr)
        return false;
    delete tableFile;
    tableFile = table;
    for (int l = 0; l < LanguageCount; ++l) {
        delete TableLangFiles[l];
        TableLangFiles[l] = OpenTableText(name, l);
        TableLangPresent[l] = TableLangFiles[l] != nullptr;
    }
    return true;
}

void CloseTableFiles(TIniFile*& tableFile)
{
    delete tableFile;
    tableFile = nullptr;
    for (int l = 0; l < LanguageCount; ++l) {
        delete TableLangFiles[l];
        TableLangFiles[l] = nullptr;
        TableLangPresent[l] = false;
    }
}

namespace {

// The key's text in the copy of a language, when the copy is loaded and has
// the section; false otherwise.
bool ReadCopyText(TLanguage language, const std::string& section, const std::string& key, std::u16string& text)
{
    const int l = static_cast<int>(language);
    if (l >= LanguageCount || !TableLangPresent[l] || TableLangFiles[l] == nullptr)
        return false;
    if (!TableLangFiles[l]->SelectSection(section))
        return false;
    text = TableLangFiles[l]->ReadWideString(key, -1);
    return true;
}

} // namespace

std::u16string ReadTableText(TIniFile& tableFile, const std::string& key)
{
    std::u16string text = tableFile.ReadWideString(key, -1);
    const std::string section = tableFile.SectionName(tableFile.CurrentSection);
    if (ReadCopyText(CurrentLanguage, section, key, text) && text.empty()) {
        std::u16string fallback;
        if (ReadCopyText(FallbackLanguage, section, key, fallback))
            text = fallback;
    }
    return text;
}

std::u16string ReadLocalizedKey(TIniFile& ini, const std::string& key, const std::string& languageName)
{
    const std::string suffixes[] = {languageName, "Eng", "eng", "_Eng", "ENG"};
    for (const std::string& suffix : suffixes) {
        std::u16string text = ini.ReadWideString(key + suffix, -1);
        if (!text.empty())
            return text;
    }
    return std::u16string();
}

bool StoreSetAchievement(const std::string& identifier)
{
    if (!StorePresent || StoreWrapper.SetAchievement == nullptr)
        return false;
    return StoreWrapper.SetAchievement(identifier.c_str()) != 0;
}

// ---------------------------------------------------------------------------
// Fonts

void LoadFonts(const std::string& folder)
{
    TRenderHooks& render = RenderHooks();
    const int32_t f11 = render.Font_Load(folder + "Candara_11px_white.ini");
    const int32_t f13 = render.Font_Load(folder + "Candara_13px_white.ini");
    const int32_t f15 = render.Font_Load(folder + "Candara_15px_white.ini");
    const int32_t f17 = render.Font_Load(folder + "Candara_17px_white.ini");
    const int32_t f19 = render.Font_Load(folder + "Candara_19px_white.ini");
    const int32_t f21 = render.Font_Load(folder + "Candara_21px_white.ini");
    const int32_t f23 = render.Font_Load(folder + "Candara_23px_white.ini");
    const int32_t f23Stroke = render.Font_Load(folder + "Candara_23px_stroke.ini");
    const int32_t f25 = render.Font_Load(folder + "Candara_25px_white.ini");
    const int32_t f30 = render.Font_Load(folder + "Candara_30px_white.ini");
    const int32_t numbers = render.Font_Load(folder + "Arial_9px_numbers.ini");

    auto grey = [&render](int32_t font, bool halfAlpha) {
        const int32_t clone = render.Font_Clone(font);
        render.Font_SetColor(clone, 140, 140, 140);
        if (halfAlpha)
            render.Font_SetAlpha(clone, 130);
        return clone;
    };

    FontSlots[1] = f13;
    FontSlots[2] = f15;
    FontSlots[3] = f19;
    FontSlots[4] = f19;
    FontSlots[5] = f21;
    FontSlots[6] = grey(f21, true);
    FontSlots[7] = grey(f23, true);
    FontSlots[8] = f25;
    FontSlots[9] = f25;
    FontSlots[10] = f25;
    FontSlots[11] = grey(f25, false);
    FontSlots[12] = FontSlots[4];
    FontSlots[13] = f13;
    FontSlots[14] = f15;
    FontSlots[15] = numbers;
    const int32_t sizes[] = {f11, f13, f15, f17, f19, f21, f23, f25};
    for (int i = 0; i < 8; ++i)
        FontSlots[16 + i] = sizes[i];
    const int32_t loaded[] = {f11, f13, f15, f17, f19, f21, f23, f23Stroke, f25, f30};
    for (int i = 0; i < 10; ++i)
        FontSlots[24 + i] = loaded[i];
}

// ---------------------------------------------------------------------------
// Screenshots

bool SaveScreenshotTGA(int32_t renderTarget, const std::string& fileName, const TRect& rect)
{
    if (rect.Right <= rect.Left || rect.Bottom <= rect.Top)
        return false;
    TRenderHooks& render = RenderHooks();
    TRenderTargetLock lock;
    if (!render.RenderTarget_LockRead(renderTarget, lock))
        return false;
    const int32_t left = std::max(rect.Left, 0);
    const int32_t top = std::max(rect.Top, 0);
    const int32_t right = std::min(rect.Right, lock.Width);
    const int32_t bottom = std::min(rect.Bottom, lock.Height);
    // The header holds 16-bit sizes.
    const int32_t w = std::min(right - left, 65535);
    const int32_t h = std::min(bottom - top, 65535);
    if (lock.Bits == nullptr || w <= 0 || h <= 0 || lock.Pitch < lock.Width * 4) {
        render.RenderTarget_Unlock(renderTarget);
        return false;
    }

    std::vector<uint8_t> file(18 + static_cast<size_t>(w) * h * 3, 0);
    file[2] = 2;
    file[12] = static_cast<uint8_t>(w & 0xFF);
    file[13] = static_cast<uint8_t>(w >> 8);
    file[14] = static_cast<uint8_t>(h & 0xFF);
    file[15] = static_cast<uint8_t>(h >> 8);
    file[16] = 24;
    file[17] = 0x20;
    uint8_t* out = file.data() + 18;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = lock.Bits + static_cast<size_t>(top + y) * lock.Pitch + static_cast<size_t>(left) * 4;
        for (int32_t x = 0; x < w; ++x) {
            std::memcpy(out, row + x * 4, 3);
            out += 3;
        }
    }
    render.RenderTarget_Unlock(renderTarget);
    return OS_WriteFileAtomic(fileName, file.data(), file.size());
}

// Support: the set-up layer between the engine and the game. The data
// folders, the per-user folder with the user's copy of the game options, the
// mod list and the two mod look-ups every loader uses, the languages and the
// per-language copies of the configuration files with the rule by which a
// table takes its texts, the interface font set, TGA screenshots and the
// optional store wrapper.
#pragma once

#include <cstdint>
#include <string>

#include "engine/QX9_System.h"
#include "engine/QX9_System_Ini.h"

// ---------------------------------------------------------------------------
// Folders: each ends with "\"; fixed at start-up (SavesFolder excepted).

extern std::string GameFolder;             // the program folder
extern std::string LandscapeFolder;        // GameFolder + "Landscape\"
extern std::string LandscapeShadersFolder; // LandscapeFolder + "Shaders\"
extern std::string BuildingsFolder;        // LandscapeFolder + "Buildings\"
extern std::string ObjectsFolder;          // LandscapeFolder + "Objects\"
extern std::string TreesFolder;            // LandscapeFolder + "Trees\"
extern std::string PersonagesFolder;       // GameFolder + "Personages\"
extern std::string WeaponsFolder;          // PersonagesFolder + "Weapons\"
extern std::string ArenasFolder;           // GameFolder + "Arenas\"
extern std::string ArenaShadersFolder;     // ArenasFolder + "Shaders\"
extern std::string InterfaceFolder;        // GameFolder + "Interface\"
extern std::string WindowsFolder;          // InterfaceFolder + "Windows\"
extern std::string InterfaceShadersFolder; // InterfaceFolder + "Shaders\"
extern std::string MusicFolder;            // GameFolder + "Music\"
extern std::string SavesFolder;            // GameFolder + "Saves\" until the save screen moves it
extern std::string ScenariosFolder;        // GameFolder + "Scenarios\"
extern std::string UserFolder;             // the per-user folder

// The clock the GUI and the world simulation read time through.
extern int32_t (*GameTimeSource)(bool sample);

// ---------------------------------------------------------------------------
// Game options and mods

extern TIniFile* GameOptions;       // the user's "Options_Game.ini", for the whole run
extern TStringArray ModNames;       // "ModName" of section "Main", trimmed, in list order
extern std::string ActiveModFolder; // "Mods\<name>\" of the first listed mod on disk, or empty

// ---------------------------------------------------------------------------
// Languages

enum class TLanguage : uint8_t { Rus = 0, Eng = 1, Deu = 2, Fra = 3, Bel = 4, Spa = 5, Por = 6, Pol = 7, Ukr = 8 };
constexpr int LanguageCount = 9;

extern const char* const LanguageNames[LanguageCount]; // "Rus", "Eng", ...: folder names and copy extensions
extern TLanguage CurrentLanguage;
extern std::string LanguageCode;   // "RUS", "ENG", ...; empty for an unknown language
extern std::string LanguageSuffix; // "_Rus", "_Eng", ...; empty for an unknown language
extern TLanguage FallbackLanguage; // where empty table texts come from: Rus for rus/bel/ukr, else Eng

// Sets the language globals from the "Global_Language" option (any case).
// A value that names no language leaves Rus with empty code and suffix.
void SetGameLanguage(const std::string& optionValue);
// The fall-back of a language: Rus for Rus, Bel and Ukr; Eng for the others.
TLanguage LanguageFallbackOf(TLanguage language);
// The code page of a language's 8-bit texts: 1251 for rus, bel and ukr,
// 1250 for pol, 1252 for the others.
int LanguageCodePage(TLanguage language);
// The code page of the game's 8-bit texts in the current language.
int GameCodePage();
// Wide text in the game's 8-bit code page.
std::string WideToGameAnsi(const std::u16string& text);

// ---------------------------------------------------------------------------
// Table files: while one game table loads, its language copies.

extern TIniFile* TableLangFiles[LanguageCount];
extern bool TableLangPresent[LanguageCount];

// Where OpenTableFiles reads a table's text: name is the table ("Units.Ini"),
// language -1 the table itself, else that language's copy; nullptr when the
// file is missing. The game leaves it empty and the Config folders of the
// active mod and the installation are read; tests and fuzz targets may hand
// the tables over from memory.
using TTableTextSource = const std::string* (*)(const std::string& name, int language);
extern TTableTextSource TableTextSource;

// ---------------------------------------------------------------------------
// Store wrapper and font set

extern bool StorePresent;
constexpr int FontSlotCount = 33;
extern int32_t FontSlots[FontSlotCount + 1]; // slots 1..33

// ---------------------------------------------------------------------------
// Unit start and end

void Support_Initialization();
void Support_Finalization();
// The folder globals from a program folder (with or without the final "\").
void SetGameFolders(const std::string& gameFolder);
// Frees GameOptions and empties the mod list (the unit's end; tests).
void FreeGameOptions();

// ---------------------------------------------------------------------------
// Look-ups

void LoadGameOptions(const std::string& folder);
std::string ResolveModFile(const std::string& path);
std::string GetConfigFilePath(const std::string& name);
std::string GetLanguageConfigPath(const std::string& name, TLanguage language, bool withFallback);
bool OpenTableFiles(TIniFile*& tableFile, const std::string& name);
void CloseTableFiles(TIniFile*& tableFile);

// The localised table text of a key in the table file's current section: the
// current language's copy replaces it when the copy has that section (even
// with an empty text), and an empty text there falls back to the fall-back
// language's copy.
std::u16string ReadTableText(TIniFile& tableFile, const std::string& key);

// key + languageName, then "Eng", "eng", "_Eng", "ENG": the first non-empty
// whole value in the current section.
std::u16string ReadLocalizedKey(TIniFile& ini, const std::string& key, const std::string& languageName);

bool StoreSetAchievement(const std::string& identifier);
void LoadFonts(const std::string& folder);

// Writes the rectangle of a render target as an uncompressed 24-bit TGA.
// An empty or inverted rectangle writes nothing; one reaching outside the
// target is clipped to it. False when nothing was written.
bool SaveScreenshotTGA(int32_t renderTarget, const std::string& fileName, const TRect& rect);

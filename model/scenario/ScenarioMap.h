// ScenarioMap: loading a scenario map file into the scenario tables
// (ScenarioMap_Tables.h), the header preview for the scenario lists, and the
// scenario's localisation file (an ini file beside the scenario whose
// extension is a language code).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/QX9_System.h"
#include "engine/QX9_System_DatFile.h"
#include "engine/QX9_System_Ini.h"

struct TMapStory;

// The loading windows' progress counter; the loader thread raises it while
// the window's thread reads it.
extern std::atomic<int32_t> LoadingProgress;

// Fills the scenario tables from a scenario file. False when the file can't
// be opened or is beyond the tables (a count above a capacity, a map larger
// than the grid, or a section whose element size can't be read).
bool LoadScenarioMap(const std::string& file);
// Whether LoadScenarioMap would take the file: it opens and fits the tables.
// Changes nothing, so a caller can check before it clears what it holds.
bool CanLoadScenarioMap(const std::string& file);
// Reads the header, names and army count for the scenario lists into
// MapStoryPreview and PreviewArmyCount. False when the file can't be opened
// or its header is larger than the header record.
bool ReadScenarioHeader(const std::string& file);
// The work the loading window expects for the previewed scenario.
int32_t EstimateScenarioLoading();

// The localisation file to use for a scenario file: the file with its
// extension replaced by the current language's code, then English's, then
// the header's language's (the header the file was read with: the map's,
// or the lists' preview); empty when none exists.
std::string FindLocalizedFile(const std::string& scenarioFile, const TMapStory& header);
// Replaces the scenario's texts with the file's; the report lists the keys
// the file lacks (empty when none). headerOnly: only the preview's name,
// description and title.
void ApplyScenarioLocalization(const std::string& file, bool headerOnly, std::string& report);
// The next line of the ini's current section, with the line-break markers
// replaced and "-//-" read as an empty text.
std::u16string ReadLocalizedLine(TIniFile& ini);
// A name with a "/" is split into the trimmed parts before and after it.
void SplitNameSuffix(std::u16string& name, std::u16string& suffix);
// The tags of a text ("<...>" runs, without the "<m>" and "<f>" markers), in order.
std::u16string ExtractTextTags(const std::u16string& text);

// The localisation report of the last full load (empty when the file had
// every key).
extern std::string ScenarioLocalizationReport;

// A section of a scenario file as its directory entry and its loaded bytes
// show it.
struct TMapSection {
    bool Exists = false;
    uint32_t ElementSize = 0;
    uint32_t Count = 0;             // elements the directory names
    const uint8_t* Bytes = nullptr; // the content as loaded: short when the entry is damaged
    size_t Size = 0;

    // Elements held whole by the loaded bytes.
    uint64_t Available() const;
    // The element-size rule: elements first .. first + count - 1 into
    // records of recordSize bytes, one block when the sizes agree, else
    // element by element, each record taking at most its own size and
    // zeroed before a shorter element is copied. False when some element
    // lacked bytes (those stay 0).
    bool CopyElements(uint64_t first, uint64_t count, void* records, size_t recordSize) const;
};
// The section's directory entry; load: its bytes as well.
TMapSection ViewSection(TDatFile& map, const std::string& name, bool load);
// The next text of a text section: in wide mode from section + "Wide",
// else the next nul-terminated string converted from the code page.
std::u16string ReadMapText(TDatFile& map, const std::string& section, bool wide, int codePage);
// Sets an NPC type's name and description (cut to the record's room, in
// the game's code page).
void SetNpcTypeTexts(int32_t npc, const std::u16string& name, const std::u16string& description);

// The army numbering of every event's position requirements (StoryEventCalk).
void BuildStoryEventCalk();
// The code page of a scenario's 8-bit texts: that of its header's language.
int ScenarioCodePage(uint8_t language);

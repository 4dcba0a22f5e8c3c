// Writing saved games: the container is built on the caller's thread from
// the world as it is, and a background thread writes it to the file.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "model/save/BetaLog.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/SceneHooks.h"
#include "model/Support.h"
#include "platform/os/OS.h"

std::u16string HeroName;
float GameSpeed = 1.0f;
std::string StartSaveName;
std::string ScenarioFolder;
std::vector<tTutorialsList> TutorialsList;
std::atomic<int32_t> SaveWriterState{0};
std::atomic<bool> SaveLastFailed{false};

const char* const SaveSectionNames[20] = {
    "GameHead",      "GameScenario",      "GameScenarioFolder", "GameBuilding",  "GameArmy",
    "GameArmyUnits", "GameArmyMove",      "GameArmyTarget",     "GameDiplomacy", "GameArmyItems",
    "GameGarrison",  "GameGarrisonUnits", "GameGarrisonItems",  "GameEvent",     "GameVariables",
    "GamePoint",     "ImageScreen",       "ImageMap",           "TutorialsData", "StatData"};

static_assert(sizeof(TArmyUnits) == ArmySlotCount * sizeof(TPersonage),
              "an army's slots are stored as records in a row");

namespace {

// The writer's thread and what it writes: owned by the writer from the
// moment the state leaves 0 until it is 0 again.
struct TSaveWriter {
    std::thread Thread;
    TDatFile Container;
    std::string FileName;
    ~TSaveWriter()
    {
        // A program that ends while a save is written lets it finish.
        if (Thread.joinable())
            Thread.join();
    }
};
TSaveWriter& Writer()
{
    static TSaveWriter writer;
    return writer;
}

void SavedGameWriterThread()
{
    TSaveWriter& writer = Writer();
    SaveWriterState.store(1, std::memory_order_release);
    // A save killed at its rename left its whole temporary file beside the
    // save; one would pile up per crash.
    OS_RemoveStaleTemporaries(writer.FileName);
    const bool written = writer.Container.Save(SaveWriteMode, writer.FileName);
    writer.Container.Done();
    SaveLastFailed.store(!written, std::memory_order_relaxed);
    SaveWriterState.store(3, std::memory_order_release);
}

template <class T> void WriteTable(TDatFile& save, const char* name, const T* records, size_t count)
{
    save.WriteRecords(name, records, static_cast<int32_t>(count), static_cast<int32_t>(sizeof(T)));
}

// Entries first..first + count - 1 of a table, zero records where the table
// is shorter.
template <class T>
void WriteRange(TDatFile& save, const char* name, const std::vector<T>& table, size_t first, size_t count)
{
    const size_t held = first < table.size() ? std::min(count, table.size() - first) : 0;
    if (held > 0)
        WriteTable(save, name, table.data() + first, held);
    else
        WriteTable<T>(save, name, nullptr, 0);
    const T zero{};
    for (size_t i = held; i < count; ++i)
        WriteTable(save, name, &zero, 1);
}

// A square or rectangular table row by row, each row `width` cells.
template <class T>
void WriteRows(TDatFile& save, const char* name, const std::vector<T>& rows, size_t height, size_t width)
{
    WriteTable<typename T::value_type>(save, name, nullptr, 0);
    for (size_t r = 0; r < height; ++r) {
        static const T none;
        WriteRange(save, name, r < rows.size() ? rows[r] : none, 0, width);
    }
}

// The personage slots of armies first..first + count - 1, one element a
// personage.
void WriteUnits(TDatFile& save, const char* name, size_t first, size_t count)
{
    const size_t held = first < ArmyUnits.size() ? std::min(count, ArmyUnits.size() - first) : 0;
    save.WriteRecords(name, held > 0 ? &ArmyUnits[first][1] : nullptr, static_cast<int32_t>(held * ArmySlotCount),
                      static_cast<int32_t>(sizeof(TPersonage)));
    TArmyUnits empty;
    std::memset(static_cast<void*>(&empty), 0, sizeof empty);
    for (size_t i = held; i < count; ++i)
        save.WriteRecords(name, &empty[1], ArmySlotCount, static_cast<int32_t>(sizeof(TPersonage)));
}

// The carried items of armies first..last, entries 1..ItemCount of each.
void WriteItems(TDatFile& save, const char* name, size_t first, size_t last)
{
    WriteTable<int32_t>(save, name, nullptr, 0);
    for (size_t a = first; a <= last && a < GameArmies.size() && a < ArmyItems.size(); ++a) {
        const int32_t count = GameArmies[a].ItemCount;
        if (count <= 0)
            continue;
        // A list shorter than its count is padded with zeros: the load then
        // finds exactly ItemCount entries.
        WriteRange(save, name, ArmyItems[a], 1, static_cast<size_t>(count));
    }
}

void WritePicture(TDatFile& save, const char* name, const TSavePicture* picture)
{
    if (picture == nullptr || picture->Pixels == nullptr || picture->Width <= 0 || picture->Height <= 0 ||
        picture->BitsPerPixel < 8)
        return;
    const uint64_t bytes = uint64_t(picture->Width) * uint64_t(picture->Height) * uint64_t(picture->BitsPerPixel / 8);
    if (bytes > INT32_MAX)
        return;
    save.WriteRecords(name, picture->Pixels, 1, static_cast<int32_t>(bytes));
}

// Each record gets the uid of its scenario record, so a later load can match
// them to the scenario.
void StampRecords()
{
    for (int32_t b = 1;
         b <= std::min(BuildingCount, MapBuildings.Count) && static_cast<size_t>(b) < GameBuildings.size(); ++b)
        GameBuildings[static_cast<size_t>(b)].SaveMark = MapBuildings[b].Uid;
    for (int32_t a = 1; a <= std::min(ArmyCount, MapArmies.Count) && static_cast<size_t>(a) < GameArmies.size(); ++a)
        GameArmies[static_cast<size_t>(a)].SaveMark = MapArmies[a].Uid;
    for (int32_t e = 1; e <= StoryEventCount && static_cast<size_t>(e) < GameEvents.size() &&
                        static_cast<size_t>(e) < StoryEvents.size();
         ++e)
        GameEvents[static_cast<size_t>(e)].EventUid = StoryEvents[static_cast<size_t>(e)].Uid;
}

TSaveHead MakeHead(const std::u16string& saveName, const std::u16string& heroName, float speed)
{
    TSaveHead head;
    std::memset(static_cast<void*>(&head), 0, sizeof head);
    head.Version = SaveVersion;
    head.SaveStamp = MapInit.SaveStamp;
    head.GameClock = GameClock;
    head.GameStartDate = GameStartDate;
    head.HeroKind = HeroKind;
    if (!GameArmies.empty()) {
        head.Gold = GameArmies[0].Gold;
        head.PersonageCount = GameArmies[0].PersonageCount;
    }
    SceneHooks().GetMapView(head.MapView);
    head.GameSpeed = speed;
    head.LastScenarioName.Assign(LastScenarioName);
    head.SaveName = MakeSaveName(saveName);
    head.HeroName = MakeSaveName(heroName);
    head.GameSeed = GameSeed;
    head.SaveMark = MapStory.SaveMark;
    head.DayBattleCount = DayBattleCount;
    head.StartSaveName.Assign(StartSaveName);
    head.GameDifficulty = GameDifficulty;
    std::memcpy(head.HourlyGoldSamples, HourlyGoldSamples, sizeof head.HourlyGoldSamples);
    head.PersonalizationEnabled = PersonalizationEnabled;
    return head;
}

} // namespace

TSaveName MakeSaveName(const std::u16string& text)
{
    TSaveName name;
    std::memset(static_cast<void*>(&name), 0, sizeof name);
    const size_t count = std::min<size_t>(text.size(), SaveNameUnits);
    std::copy_n(text.data(), count, name.Units);
    name.Count = static_cast<uint16_t>(count);
    return name;
}

std::u16string SaveNameText(const TSaveName& name)
{
    const size_t count = std::min<size_t>(name.Count, SaveNameUnits);
    std::u16string text(count, u'\0');
    std::memcpy(text.data(), reinterpret_cast<const uint8_t*>(&name) + offsetof(TSaveName, Units), count * 2);
    return text;
}

void BuildSavedGame(TDatFile& save, const std::u16string& saveName, const std::u16string& heroName,
                    const TSavePicture* mapPicture, const TSavePicture* screenPicture, float speed)
{
    save.Done();
    save.Init();
    StampRecords();
    const TSaveHead head = MakeHead(saveName, heroName, speed);
    const size_t armies = static_cast<size_t>(std::max(ArmyCount, 0)) + 1;
    const size_t buildings = static_cast<size_t>(std::max(BuildingCount, 0)) + 1;
    const size_t garrisons = static_cast<size_t>(std::max(GarrisonCount, 0));
    const size_t groups = size_t{MapStory.GroupCount} + 1;

    WriteTable(save, "GameHead", &head, 1);
    save.WriteLine("GameScenario", WideToGameAnsi(MapStory.Name));
    save.WriteLine("GameScenarioFolder", ScenarioFolder);
    WriteRange(save, "GameBuilding", GameBuildings, 0, buildings);
    WriteRange(save, "GameArmy", GameArmies, 0, armies);
    WriteUnits(save, "GameArmyUnits", 0, armies);
    WriteRows(save, "GameArmyMove", ArmyMoves, armies, armies);
    WriteRows(save, "GameArmyTarget", ArmyTargets, armies, buildings);
    WriteRows(save, "GameDiplomacy", Diplomacy, groups, groups);
    WriteItems(save, "GameArmyItems", 0, armies - 1);
    WriteRange(save, "GameGarrison", GameArmies, armies, garrisons);
    WriteUnits(save, "GameGarrisonUnits", armies, garrisons);
    WriteItems(save, "GameGarrisonItems", armies, armies + garrisons - 1);
    WriteRange(save, "GameEvent", GameEvents, 0, static_cast<size_t>(std::max(StoryEventCount, 0)) + 1);
    WriteRange(save, "GameVariables", static_cast<const std::vector<int32_t>&>(ScenarioVariables), 0,
               static_cast<size_t>(std::max(ScenarioVariableCount, 0)) + 1);
    WriteRange(save, "GamePoint", PointStates, 0, static_cast<size_t>(std::max(PointCount, 0)) + 1);
    WritePicture(save, "ImageScreen", screenPicture);
    WritePicture(save, "ImageMap", mapPicture);
    if (MapStory.Tutorial != 0 && !TutorialsList.empty()) {
        std::vector<uint8_t> done;
        for (const tTutorialsList& t : TutorialsList)
            done.push_back(t.Shown);
        save.WriteRecords("TutorialsData", done.data(), 1, static_cast<int32_t>(done.size()));
    }
    save.WriteRecords("StatData", BetaLog.Data.data(), 1,
                      static_cast<int32_t>(std::min<size_t>(BetaLog.Size, BetaLog.Data.size())));
}

bool SaveWriterSynchronous = false;

bool WriteSavedGame(const std::u16string& saveName, const std::string& fileName, const std::u16string& heroName,
                    const TSavePicture* mapPicture, const TSavePicture* screenPicture, float speed)
{
    // The state leaves 0 here: a second save asked for meanwhile is dropped.
    int32_t idle = 0;
    if (!SaveWriterState.compare_exchange_strong(idle, 1, std::memory_order_acq_rel))
        return false;
    TSaveWriter& writer = Writer();
    writer.FileName = fileName;
    BuildSavedGame(writer.Container, saveName, heroName, mapPicture, screenPicture, speed);
    if (SaveWriterSynchronous) {
        // Written before the call returns; the state goes back to 0 at once,
        // so a save right after this one is never refused.
        SavedGameWriterThread();
        SaveWriterState.store(0, std::memory_order_release);
        return true;
    }
    try {
        writer.Thread = std::thread(SavedGameWriterThread);
    } catch (const std::system_error&) {
        writer.Container.Done();
        SaveLastFailed.store(true, std::memory_order_relaxed);
        SaveWriterState.store(0, std::memory_order_release);
        return false;
    }
    return true;
}

bool WriteStartSave(const std::string& name)
{
    StartSaveName = name.substr(0, 64);
    OS_CreateDirectoryTree(SavesFolder);
    return WriteSavedGame(OS_MultiByteToWide(GameCodePage(), StartSaveName),
                          SavesFolder + StartSaveName + StartSaveExtension, HeroName, nullptr, nullptr, GameSpeed);
}

bool CloseSaveWriter()
{
    int32_t written = 3;
    if (SaveWriterState.compare_exchange_strong(written, 2, std::memory_order_acq_rel)) {
        Writer().Thread.join();
        SaveWriterState.store(0, std::memory_order_release);
    }
    return SaveWriterState.load(std::memory_order_acquire) == 0;
}

void WaitForSaveWriter()
{
    for (;;) {
        const int32_t state = SaveWriterState.load(std::memory_order_acquire);
        if (state == 0)
            return;
        if (state == 3) {
            CloseSaveWriter();
            continue;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

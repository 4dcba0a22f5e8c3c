#include "screens/map/Duskmarch_SavedGames.h"

#include <algorithm>
#include <cstdio>

#include "engine/QX9_System.h"
#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "model/save/SavedGame.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/map/Duskmarch_SaveLoad.h"

TSavedGameArr PrivateSaves;
TSavedGameArr AutoSaves;
int32_t QuicksaveCounter = 0;

namespace {

// The entry whose file the writer is writing: its list and file name, and
// whether it is new (a failed write drops only a new entry's row).
struct TSavePendingWrite {
    TSavedGameArr* List = nullptr;
    std::string FileName;
    bool NewEntry = false;
};
TSavePendingWrite SavePendingWrite;

std::u16string SaveUserNameWide()
{
    return OS_MultiByteToWide(GameCodePage(), CurrentUserName);
}

std::u16string SaveDigits(int32_t value, int32_t width)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return OS_MultiByteToWide(0, text);
}

std::string SaveLowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void SetSaveBrokenDown(TSavedGameEntry& entry)
{
    DecodeDateTimeMs(entry.FileTime, entry.Year, entry.Month, entry.Day, entry.Hour, entry.Minute, entry.Second,
                     entry.Millisecond);
}

bool SaveUserOwns(const std::string& fileName, const std::string& user)
{
    return fileName.compare(0, user.size(), user) == 0;
}

bool SaveAutosaveEnabled()
{
    if (GameOptions == nullptr || !GameOptions->SelectSection("Main"))
        return true;
    return GameOptions->ReadBool("AutoSave", -1, true);
}

} // namespace

std::u16string SaveDisplayName()
{
    const TOSLocalTime t = OS_GetLocalTime();
    return SaveUserNameWide() + u" (" + SaveDigits(t.Year, 4) + u"-" + SaveDigits(t.Month, 2) + u"-" + SaveDigits(t.Day, 2) + u" " +
           SaveDigits(t.Hour, 2) + u"-" + SaveDigits(t.Minute, 2) + u")";
}

std::u16string AutosaveName(int32_t n)
{
    return SaveUserNameWide() + u" " + SaveDigits(n, 3) + u" (autosave)";
}

std::u16string QuicksaveName(int32_t n)
{
    return SaveUserNameWide() + u" " + SaveDigits(n, 3) + u" (quicksave)";
}

int32_t SaveGameMinutes(int64_t clock, int32_t startDate)
{
    const int64_t minutes = clock / 10000;
    const int64_t value = (minutes / 1440 + startDate / 1440) * 1440 + minutes % 1440;
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

std::string SaveFileNameFor(const std::u16string& displayName, const std::string& extension,
                            const std::string& reusable)
{
    std::u16string base = displayName;
    const std::u16string wideExtension = OS_MultiByteToWide(0, extension);
    if (!wideExtension.empty() && base.find(wideExtension) != std::u16string::npos)
        base.resize(base.size() - std::min(base.size(), wideExtension.size()));
    for (char16_t& c : base) {
        if (c == u':')
            c = u'-';
        else if (c < 32 || c == u'"' || c == u'\'' || c == u'/' || c == u'\\' || c == u'|')
            c = u'_';
    }
    const std::string ansiBase = OS_WideToMultiByte(GameCodePage(), base);
    std::string name = ansiBase + extension;
    for (int32_t i = 1; name != reusable && FileExistsMask(SavesFolder + name); i++)
        name = ansiBase + "[" + std::to_string(i) + "]" + extension;
    return name;
}

bool CreateSaveEntry(const std::u16string& displayName, TSavedGameArr& list, int32_t index,
                     const std::string& extension, const std::string& reusable)
{
    if (index < 0 || index >= static_cast<int32_t>(list.size()))
        return false;
    TSavedGameEntry fresh;
    fresh.FileName = SaveFileNameFor(displayName, extension, reusable);
    const TOSLocalTime now = OS_GetLocalTime();
    fresh.FileTime = EncodeDateTimeMs(now.Year, now.Month, now.Day, now.Hour, now.Minute, now.Second, now.Millisecond);
    SetSaveBrokenDown(fresh);
    fresh.DisplayName = displayName;
    fresh.ScenarioName = MapStory.Name;
    if (!GameArmies.empty()) {
        fresh.Gold = GameArmies[0].Gold;
        fresh.Personages = GameArmies[0].PersonageCount;
    }
    fresh.HeaderValue = 0;
    fresh.GameMinutes = SaveGameMinutes(GameClock, GameStartDate);
    // The file's name is what the save stores as its name: a save renamed on
    // disk still shows what it is called.
    if (!WriteSavedGame(OS_MultiByteToWide(GameCodePage(), fresh.FileName), SavesFolder + fresh.FileName, HeroName,
                        nullptr, nullptr, GameSpeed))
        return false;
    TSavedGameEntry& entry = list[static_cast<size_t>(index)];
    FreeSaveRow(entry);
    entry = std::move(fresh);
    BuildSaveRow(entry, index);
    SaveCounter++;
    return true;
}

bool SaveGame(const std::u16string& displayName, bool own, int32_t slot)
{
    if (displayName.empty())
        return false;
    const std::u16string name = displayName.substr(0, SaveDisplayNameLimit);
    // A save asked for while the last one is still written waits for it:
    // the writer would drop it.
    WaitForSaveWriter();
    DropFailedSaveEntry();
    OS_CreateDirectoryTree(SavesFolder);
    TSavedGameArr& list = own ? PrivateSaves : AutoSaves;
    const bool reuse = !own && slot >= 0 && slot < static_cast<int32_t>(list.size());
    std::string reusable;
    int32_t index = slot;
    if (reuse) {
        reusable = list[static_cast<size_t>(slot)].FileName;
    } else {
        list.emplace_back();
        index = static_cast<int32_t>(list.size()) - 1;
    }
    if (!CreateSaveEntry(name, list, index, SaveExtension, reusable)) {
        if (!reuse)
            list.pop_back();
        return false;
    }
    SavePendingWrite = {&list, list[static_cast<size_t>(index)].FileName, !reuse};
    if (SaveWriterSynchronous)
        DropFailedSaveEntry();
    return true;
}

bool DropFailedSaveEntry()
{
    if (SavePendingWrite.List == nullptr || !CloseSaveWriter())
        return false;
    const TSavePendingWrite write = SavePendingWrite;
    SavePendingWrite = {};
    if (!SaveLastFailed.load())
        return false;
    std::fprintf(stderr, "Saved games: \"%s\" could not be written\n", write.FileName.c_str());
    if (!write.NewEntry)
        return false;
    TSavedGameArr& list = *write.List;
    for (size_t i = 0; i < list.size(); i++)
        if (list[i].FileName == write.FileName) {
            FreeSaveRow(list[i]);
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            RenumberSaveRows(list);
            LayoutSaveRows();
            return true;
        }
    return false;
}

void ReadSavedGameEntry(const std::string& fileName, TSavedGameEntry& entry)
{
    const std::string path = SavesFolder + fileName;
    TSaveFileSummary summary;
    FreeSaveRow(entry);
    entry = TSavedGameEntry{};
    entry.FileName = fileName;
    if (IsSavedGameScenarioPresent(path) && ReadSaveFileSummary(path, summary)) {
        int32_t size = 0;
        int64_t stamp = 0;
        if (GetFileInfo(path, size, stamp))
            entry.FileTime = stamp;
        SetSaveBrokenDown(entry);
        entry.DisplayName = SaveNameText(summary.Head.SaveName);
        if (entry.DisplayName.empty()) {
            const size_t dot = fileName.rfind('.');
            entry.DisplayName = OS_MultiByteToWide(GameCodePage(), fileName.substr(0, dot));
        }
        entry.ScenarioName = OS_MultiByteToWide(GameCodePage(), summary.ScenarioName);
        entry.Gold = summary.Head.Gold;
        entry.HeaderValue = summary.Head.Reserved28;
        entry.Personages = summary.Head.PersonageCount;
        entry.GameMinutes = SaveGameMinutes(summary.Head.GameClock, summary.Head.GameStartDate);
    } else {
        entry.DisplayName = OS_MultiByteToWide(GameCodePage(), fileName);
        if (TextsIni != nullptr && TextsIni->SelectSection("Texts"))
            entry.ScenarioName = GetLocalizedText(*TextsIni, "FileCorrupt");
        else
            entry.ScenarioName = u"FileCorrupt";
        entry.Gold = entry.HeaderValue = entry.Personages = -1;
        entry.GameMinutes = SaveGameMinutes(0, 0);
    }
}

bool AddSaveFileToList(const std::string& fileName)
{
    const std::string lower = SaveLowerAscii(fileName);
    if (lower.find(".sav") == std::string::npos || !FileExistsMask(SavesFolder + fileName))
        return false;
    TSavedGameArr& list = lower.find("(autosave)") != std::string::npos ? AutoSaves : PrivateSaves;
    list.emplace_back();
    const int32_t index = static_cast<int32_t>(list.size()) - 1;
    ReadSavedGameEntry(fileName, list.back());
    BuildSaveRow(list.back(), index);
    return true;
}

void Autosave()
{
    if (!SaveAutosaveEnabled())
        return;
    int32_t count = 0, oldest = -1;
    for (size_t i = 0; i < AutoSaves.size(); i++) {
        if (!SaveUserOwns(AutoSaves[i].FileName, CurrentUserName))
            continue;
        count++;
        if (oldest < 0 || AutoSaves[i].FileTime < AutoSaves[static_cast<size_t>(oldest)].FileTime)
            oldest = static_cast<int32_t>(i);
    }
    if (count >= AutosavesPerUser) {
        const std::u16string name =
            OS_MultiByteToWide(GameCodePage(), AutoSaves[static_cast<size_t>(oldest)].FileName);
        SaveGame(name, false, oldest);
    } else {
        int32_t n = 1;
        while (FileExistsMask(SavesFolder + OS_WideToMultiByte(GameCodePage(), AutosaveName(n)) + SaveExtension))
            n++;
        SaveGame(AutosaveName(n), false, -1);
    }
    LayoutSaveRows();
}

bool Quicksave()
{
    if (!SaveGame(QuicksaveName(QuicksaveCounter + 1), true, -1))
        return false;
    QuicksaveCounter++;
    return true;
}

std::string FindLatestSave()
{
    const std::u16string scenario = LoadedScenarioName.empty() ? std::u16string() : MapStory.Name;
    auto latest = [&](const TSavedGameArr& list) -> const TSavedGameEntry* {
        for (size_t i = list.size(); i-- > 0;)
            if (SaveUserOwns(list[i].FileName, CurrentUserName) &&
                (scenario.empty() || list[i].ScenarioName == scenario))
                return &list[i];
        return nullptr;
    };
    const TSavedGameEntry* own = latest(PrivateSaves);
    const TSavedGameEntry* automatic = latest(AutoSaves);
    if (own != nullptr && automatic != nullptr)
        return own->FileTime > automatic->FileTime ? own->FileName : automatic->FileName;
    if (own != nullptr)
        return own->FileName;
    return automatic != nullptr ? automatic->FileName : std::string();
}

void LoadGame(const std::string& fileName)
{
    PendingSave = fileName;
    auto isOpen = [](const TGUI_Window* window) {
        return window != nullptr &&
               std::find(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), window) != GUI_OpenWindows.end();
    };
    if (isOpen(Map_Window)) {
        MapFrozen = 1;
        MapClickPending = 0;
        Map_Window->PostState(GUI_STATE_CLOSE);
    }
    TGUI_Window* menu = MainMenu_Window;
    if (isOpen(menu))
        menu->PostState(GUI_STATE_CLOSE);
    OpenScreenWindow(ScenarioLoading_Window, "ScenarioLoading_Window");
}

void DeleteSaveEntry(TSavedGameArr& list, int32_t index)
{
    if (index < 0 || index >= static_cast<int32_t>(list.size()))
        return;
    TSavedGameEntry& entry = list[static_cast<size_t>(index)];
    const std::string path = SavesFolder + entry.FileName;
    if (!entry.FileName.empty() && FileExistsMask(path))
        OS_DeleteFile(path);
    FreeSaveRow(entry);
    list.erase(list.begin() + index);
    RenumberSaveRows(list);
}

int32_t FindQuicksaveCounter()
{
    const std::u16string user = SaveUserNameWide();
    const std::u16string mark = u" (quicksave)";
    int32_t highest = 0;
    for (const TSavedGameEntry& entry : PrivateSaves) {
        const std::u16string& name = entry.DisplayName;
        const size_t at = name.rfind(mark);
        if (at == std::u16string::npos || name.find(user) == std::u16string::npos)
            continue;
        // The number is the word just before the mark, so blanks in the user
        // name don't matter.
        size_t start = at;
        while (start > 0 && name[start - 1] >= u'0' && name[start - 1] <= u'9')
            start--;
        if (start == at || at - start > 9)
            continue;
        int32_t n = 0;
        for (size_t i = start; i < at; i++)
            n = n * 10 + (name[i] - u'0');
        highest = std::max(highest, n);
    }
    return highest;
}

void ClearSavedGames()
{
    for (TSavedGameArr* list : {&PrivateSaves, &AutoSaves}) {
        for (TSavedGameEntry& entry : *list)
            FreeSaveRow(entry);
        list->clear();
    }
    SavePendingWrite = {};
}

void ScanSavedGames()
{
    ClearSavedGames();
    TStringArray names;
    ListFiles(SavesFolder + "*.sav", names, false);
    for (const std::string& name : names)
        AddSaveFileToList(name);
    LayoutSaveRows();
    QuicksaveCounter = FindQuicksaveCounter();
}

void SortSaveList(TSavedGameArr& list)
{
    std::stable_sort(list.begin(), list.end(),
                     [](const TSavedGameEntry& a, const TSavedGameEntry& b) { return a.FileTime < b.FileTime; });
    RenumberSaveRows(list);
}

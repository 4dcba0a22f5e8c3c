#include "model/save/BetaLog.h"

#include <algorithm>
#include <cstring>

#include "engine/QX9_System.h"
#include "model/FixedPoint.h"
#include "model/Hooks.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/Support.h"
#include "model/world/World_Access.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"

TZipFile BetaLog;
std::u16string SaveUserName;

namespace {

bool LogOpened = false;

template <class T> void Put(T value)
{
    BetaLog.Write(&value, sizeof value);
}

// A text field of a record whose other bytes take `fixed`: cut so that the
// record's u16 size stays valid.
std::string FitText(const std::string& text, uint32_t fixed)
{
    return text.substr(0, 0xFFFF - fixed);
}

void PutText(const std::string& text)
{
    BetaLog.WriteString(text);
}

void PutHead(uint32_t size, uint8_t kind)
{
    Put(static_cast<uint16_t>(size));
    Put(kind);
}

// The size of the record at `at`, 0 when the bytes from there are no whole
// record (a damaged tail).
uint32_t RecordSizeAt(const uint8_t* data, uint32_t size, uint32_t at)
{
    if (size - at < 3)
        return 0;
    uint16_t length;
    std::memcpy(&length, data + at, sizeof length);
    if (length < 3 || length > size - at)
        return 0;
    return length;
}

// Cuts a damaged tail and, past the capacity, whole records from the front.
void TrimLoadedLog(uint32_t capacity)
{
    uint8_t* data = BetaLog.Data.data();
    const uint32_t size = BetaLog.Size;
    uint32_t end = 0;
    uint32_t front = 0;
    // Record starts are visited once: the front moves past the oldest records
    // while the content from it to the current end exceeds the capacity.
    while (end < size) {
        const uint32_t length = RecordSizeAt(data, size, end);
        if (length == 0)
            break;
        end += length;
        while (end - front > capacity)
            front += RecordSizeAt(data, size, front);
    }
    if (front > 0)
        std::memmove(data, data + front, end - front);
    BetaLog.Size = end - front;
}

// The items an army dump lists: the positive entries of its list, as many as
// keep the record's u16 size valid.
void DumpCounts(int32_t army, int32_t& personages, int32_t& items)
{
    const TGameArmy& record = GameArmies[static_cast<size_t>(army)];
    personages = 0;
    for (int32_t slot = 1; slot <= UsedSlots(record); ++slot)
        if (ArmyUnits[static_cast<size_t>(army)][slot].UnitType > 0)
            ++personages;
    const TIntArray& list = ArmyItems[static_cast<size_t>(army)];
    const int32_t last = std::min<int32_t>(record.ItemCount, static_cast<int32_t>(list.size()) - 1);
    const int32_t room = (0xFFFF - BetaLogArmyHeadSize - BetaLogPersonageSize * personages) / 4;
    items = 0;
    for (int32_t i = 1; i <= last && items < room; ++i)
        if (list[static_cast<size_t>(i)] > 0)
            ++items;
}

} // namespace

std::string BetaLogFileName()
{
    return GetShellFolder(CSIDL_LOCAL_APPDATA) + "\\Duskmarch\\" + BetaLogFileTitle;
}

void BetaLogOpen(const std::string& fileName, uint32_t capacity)
{
    BetaLog.Init();
    capacity = std::min(capacity, ZipMaxContent);
    BetaLog.Open(fileName.empty() ? BetaLogFileName() : fileName, capacity);
    TrimLoadedLog(capacity);
    // Room for the run's records, so the buffer rarely grows while playing.
    const uint32_t room = std::max(BetaLog.Size, capacity);
    BetaLog.Data.resize(room, 0);
    BetaLog.Capacity = room;
    BetaLog.Position = BetaLog.Size;
    LogOpened = true;
}

bool BetaLogSave()
{
    if (!LogOpened)
        return true;
    LogOpened = false;
    return BetaLog.Close(BetaLogCloseMode);
}

void BetaLogReset()
{
    LogOpened = false;
    BetaLog.Done();
    BetaLog.Init();
}

int32_t BetaLogTimestampOf(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second)
{
    // Computed in unsigned arithmetic: a date far from 1980 wraps instead of
    // overflowing, as the stored i32 would.
    uint32_t t = static_cast<uint32_t>(year - 1980) * 12u + static_cast<uint32_t>(month - 1);
    t = t * 32u + static_cast<uint32_t>(day);
    t = t * 24u + static_cast<uint32_t>(hour);
    t = t * 60u + static_cast<uint32_t>(minute);
    t = t * 60u + static_cast<uint32_t>(second);
    return static_cast<int32_t>(t);
}

int32_t BetaLogTimestamp()
{
    const TOSLocalTime now = OS_GetLocalTime();
    return BetaLogTimestampOf(now.Year, now.Month, now.Day, now.Hour, now.Minute, now.Second);
}

int32_t BetaLogGameMinutes()
{
    return static_cast<int32_t>(RoundDivHalfEven(GameClock, 10000));
}

uint8_t BetaLogSaveKind(const std::u16string& saveName)
{
    if (saveName.find(u"(quicksave)") != std::u16string::npos)
        return 0;
    if (saveName.find(u"(autosave)") != std::u16string::npos)
        return 1;
    if (!SaveUserName.empty() && saveName.find(SaveUserName) != std::u16string::npos)
        return 2;
    return 3;
}

int32_t BetaLogWritePersonage(int32_t army, int32_t slot, bool measure)
{
    const TArmyUnits* units = FindArmyUnits(army);
    slot = slot < 0 ? -slot : slot;
    if (units == nullptr || !TArmyUnits::InRange(slot))
        return 0;
    if (measure)
        return BetaLogPersonageSize;
    const TPersonage& p = (*units)[slot];
    PutHead(BetaLogPersonageSize, blkPersonage);
    Put<int32_t>(p.UnitType);
    for (int32_t e : {5, 6, 7, 8, 2, 1, 3, 4, 9, 10})
        Put<int32_t>(p.Equipment[e]);
    Put<int32_t>(0);
    for (int32_t e : {12, 13, 14})
        Put<int32_t>(p.Equipment[e]);
    for (int32_t e : {2, 1, 3, 4})
        Put<int32_t>(p.DefaultItems[e]);
    Put<int32_t>(p.Hits);
    Put<int32_t>(p.HireKind);
    Put<int32_t>(p.UpkeepDebt);
    return BetaLogPersonageSize;
}

void BetaLogWriteArmy(int32_t army, uint8_t kind)
{
    if (FindArmy(army) == nullptr)
        return;
    int32_t n = 0;
    int32_t m = 0;
    DumpCounts(army, n, m);
    const TGameArmy& record = GameArmies[static_cast<size_t>(army)];
    PutHead(BetaLogArmyHeadSize + BetaLogPersonageSize * n + 4 * m, kind);
    Put<int32_t>(n);
    const TArmyUnits& units = ArmyUnits[static_cast<size_t>(army)];
    for (int32_t slot = 1; slot <= UsedSlots(record); ++slot)
        if (units[slot].UnitType > 0)
            BetaLogWritePersonage(army, slot, false);
    Put<int32_t>(m);
    const TIntArray& list = ArmyItems[static_cast<size_t>(army)];
    int32_t written = 0;
    for (size_t i = 1; i < list.size() && written < m; ++i)
        if (list[i] > 0) {
            Put<int32_t>(list[i]);
            ++written;
        }
    Put<int32_t>(record.Gold);
}

void BetaLogWriteArmyStats(int32_t army)
{
    const TGameArmy* record = FindArmy(army);
    if (record == nullptr)
        return;
    PutHead(15, blkArmyStats);
    Put<int32_t>(record->Gold);
    Put<int32_t>(record->SupportLimit);
    Put<int32_t>(
        static_cast<int32_t>(static_cast<uint32_t>(record->IncomeBase) - static_cast<uint32_t>(record->Upkeep)));
}

void BetaLogWriteCamera(uint8_t kind, float a, float b, float c)
{
    PutHead(15, kind);
    Put(a);
    Put(b);
    Put(c);
}

void BetaLogWriteScenarioStart()
{
    const std::string name = FitText(WideToGameAnsi(MapStory.Name), 8);
    PutHead(static_cast<uint32_t>(8 + name.size()), blkScenarioStart);
    Put<int32_t>(BetaLogTimestamp());
    PutText(name);
}

void BetaLogWriteSave(const std::u16string& saveName, uint8_t flag)
{
    const std::string name = FitText(WideToGameAnsi(MapStory.Name), 10);
    PutHead(static_cast<uint32_t>(10 + name.size()), blkSave);
    Put(flag);
    Put(BetaLogSaveKind(saveName));
    Put<int32_t>(BetaLogGameMinutes());
    PutText(name);
    BetaLogWriteArmy(PlayerArmy, blkArmy);
}

void BetaLogWriteEvent(int32_t event, uint8_t flag)
{
    (void)flag; // the event dialogue writes the same record on opening and at each next stage
    PutHead(15, blkEvent);
    Put<int32_t>(event);
    Put<int32_t>(BetaLogTimestamp());
    Put<int32_t>(BetaLogGameMinutes());
    BetaLogWriteArmyStats(PlayerArmy);
    BetaLogWriteArmy(PlayerArmy, blkArmy);
}

void BetaLogWriteBattleStart(int32_t army1, int32_t army2, uint8_t arenaKind)
{
    PutHead(15, blkBattleStart);
    Put<int32_t>(BetaLogTimestamp());
    Put<int32_t>(BetaLogGameMinutes());
    Put<int32_t>(arenaKind);
    BetaLogWriteArmy(army1, blkArmy);
    BetaLogWriteArmy(army2, blkArmy);
}

void BetaLogWriteArmyEvent(int32_t army, int32_t value1, uint8_t kind, int32_t value2)
{
    PutHead(15, kind);
    Put<int32_t>(army);
    Put<int32_t>(value1);
    Put<int32_t>(value2);
}

void BetaLogWriteBattleEvent(int32_t value1, uint8_t kind, int32_t value2)
{
    BetaLogWriteArmyEvent(PlayerArmy, value1, kind, value2);
}

void BetaLogWriteBattleEnd()
{
    BetaLogWriteArmy(PlayerArmy, blkBattleEnd);
}

void BetaLogWriteTentClose()
{
    BetaLogWriteArmy(PlayerArmy, blkTentClose);
}

void BetaLogWriteBuildingClose()
{
    BetaLogWriteArmy(PlayerArmy, blkBuildingClose);
}

void BetaLogWriteWindowEvent(const std::string& windowName, int32_t state)
{
    const std::string window = FitText(windowName, 16);
    uint8_t kind = blkWindowState;
    if (state == 0x10000003 || state == 1)
        kind = blkWindowOpen;
    else if (state == 0x10000004 || state == 2)
        kind = blkWindowClose;
    PutHead(static_cast<uint32_t>(16 + window.size()), kind);
    Put<int32_t>(BetaLogTimestamp());
    Put<int32_t>(BetaLogGameMinutes());
    Put<int32_t>(state);
    PutText(window);
}

void BetaLogWriteItem(int32_t item, int32_t action)
{
    uint8_t kind = 0;
    switch (action) {
    case 0:
    case 1:
    case 5: {
        const uint8_t base = action == 5 ? static_cast<uint8_t>(blkItemOther) : static_cast<uint8_t>(blkItemTake + action);
        kind = RenderHooks().ActiveWindowName() == BuildingWindowName ? static_cast<uint8_t>(base + 4) : base;
        break;
    }
    case 2:
        kind = blkItemAction2;
        break;
    case 3:
        kind = blkItemPlus;
        break;
    case 4:
        kind = blkItemStar;
        break;
    default:
        return;
    }
    PutHead(7, kind);
    Put<int32_t>(item);
}

void BetaLogWritePersonageEvent(int32_t army, int32_t slot, int32_t value, uint8_t kind)
{
    const TArmyUnits* units = FindArmyUnits(army);
    slot = slot < 0 ? -slot : slot;
    const int32_t type = units != nullptr && TArmyUnits::InRange(slot) ? (*units)[slot].UnitType : 0;
    PutHead(15, kind);
    Put<int32_t>(army);
    Put<int32_t>(type);
    Put<int32_t>(value);
}

void BetaLogWritePlayerPersonageEvent(int32_t slot, int32_t value, uint8_t kind)
{
    BetaLogWritePersonageEvent(PlayerArmy, slot, value, kind);
}

void BetaLogWriteSettings(int32_t difficulty, int32_t musicVolume, int32_t effectsVolume)
{
    PutHead(17, blkSettings);
    Put<int32_t>(difficulty);
    Put<uint8_t>('2');
    Put<int32_t>(musicVolume);
    Put<uint8_t>('3');
    Put<int32_t>(effectsVolume);
}

#include "tools/dmtool/SaveDump.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "engine/QX9_System_DatFile.h"
#include "engine/QX9_System_ZipFile.h"
#include "model/save/BetaLog.h"
#include "model/save/SavedGame.h"
#include "platform/os/OS.h"

namespace {

std::string Num(int64_t value)
{
    return std::to_string(value);
}

std::string Utf8(const std::u16string& text)
{
    return OS_WideToMultiByte(CP_UTF8, text);
}

std::string Float(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", static_cast<double>(value));
    return text;
}

void Print(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
}

// Little-endian numbers of a record, read within its bytes.
struct TRecordReader {
    const uint8_t* Bytes;
    uint32_t Size;
    uint32_t At;

    template <class T> T Get()
    {
        T value{};
        if (At + sizeof(T) <= Size)
            std::memcpy(&value, Bytes + At, sizeof(T));
        At += sizeof(T);
        return value;
    }
    int64_t I32() { return Get<int32_t>(); }
    std::string Text()
    {
        std::string text;
        while (At < Size && Bytes[At] != 0)
            text.push_back(static_cast<char>(Bytes[At++]));
        ++At;
        return text;
    }
};

void DumpArmy(TRecordReader& r, const std::string& indent)
{
    const int64_t n = r.I32();
    Print(indent + "personages " + Num(n));
    for (int64_t i = 0; i < n && r.At < r.Size; ++i) {
        const uint32_t start = r.At;
        const uint16_t size = r.Get<uint16_t>();
        const uint8_t kind = r.Get<uint8_t>();
        std::string line = indent + "  personage size " + Num(size) + " kind " + Num(kind) + ":";
        for (int f = 0; f < 22; ++f)
            line += " " + Num(r.I32());
        Print(line);
        r.At = start + (size >= 3 ? size : 3);
    }
    const int64_t m = r.I32();
    std::string items = indent + "items " + Num(m) + ":";
    for (int64_t i = 0; i < m && r.At < r.Size; ++i)
        items += " " + Num(r.I32());
    Print(items);
    Print(indent + "gold " + Num(r.I32()));
}

std::string Fields(TRecordReader& r, int count)
{
    std::string line;
    for (int i = 0; i < count; ++i)
        line += " " + Num(r.I32());
    return line;
}

// The decoded payload of one record.
void DumpRecord(TRecordReader& r, uint8_t kind)
{
    std::string line;
    switch (kind) {
    case blkArmy:
    case blkBattleEnd:
    case blkTentClose:
    case blkBuildingClose:
        Print("  army dump");
        DumpArmy(r, "  ");
        return;
    case blkArmyStats:
        line = " gold, support, balance" + Fields(r, 3);
        break;
    case blkWindowOpen:
    case blkWindowClose:
    case blkWindowState:
        line = " stamp, minutes, state" + Fields(r, 3);
        line += " window \"" + r.Text() + "\"";
        break;
    case blkCamera:
        line = " camera";
        for (int i = 0; i < 3; ++i)
            line += " " + Float(r.Get<float>());
        break;
    case blkScenarioStart:
        line = " stamp" + Fields(r, 1);
        line += " scenario \"" + r.Text() + "\"";
        break;
    case blkSave:
        line = " flag " + Num(r.Get<uint8_t>());
        line += " save kind " + Num(r.Get<uint8_t>());
        line += " minutes" + Fields(r, 1);
        line += " scenario \"" + r.Text() + "\"";
        break;
    case blkEvent:
        line = " event, stamp, minutes" + Fields(r, 3);
        break;
    case blkBattleStart:
        line = " stamp, minutes, arena" + Fields(r, 3);
        break;
    case blkSettings:
        line = " difficulty" + Fields(r, 1);
        for (const char* name : {" music", " effects"}) {
            line += " '" + std::string(1, static_cast<char>(r.Get<uint8_t>())) + "'";
            line += name + Fields(r, 1);
        }
        break;
    default:
        if (r.Size == 7)
            line = " item" + Fields(r, 1);
        else if (r.Size == 15)
            line = " army, value, value" + Fields(r, 3);
        else
            line = " (" + Num(r.Size - 3) + " bytes)";
        break;
    }
    Print(" " + line);
}

} // namespace

bool DumpSave(const std::string& file, std::string& error)
{
    TDatFile save;
    TSaveHead h;
    // A digest over what could be read of a damaged save would pass for the
    // save's: the loader refuses it, and so does the dump.
    std::string why;
    if (!save.Open(file)) {
        const bool container = std::memcmp(save.Header.Magic, DatMagic, sizeof DatMagic) == 0;
        error =
            container ? "damaged saved game: " + file + " (its directory is cut short)" : "not a saved game: " + file;
        return false;
    }
    if (!CheckSavedGame(save, why) || !ReadSaveHead(save, h)) {
        error = "damaged saved game: " + file + " (" + why + ")";
        return false;
    }
    Print("save " + file);
    Print("version " + Num(h.Version) + " save-stamp " + Num(h.SaveStamp) + " save-mark " + Num(h.SaveMark));
    Print("clock " + Num(h.GameClock) + " start-date " + Num(h.GameStartDate) + " seed " + Num(h.GameSeed) +
          " difficulty " + Num(h.GameDifficulty));
    Print("hero-kind " + Num(h.HeroKind) + " gold " + Num(h.Gold) + " personages " + Num(h.PersonageCount) +
          " day-battles " + Num(h.DayBattleCount) + " personalization " + Num(h.PersonalizationEnabled));
    std::string view = "map-view";
    for (int32_t word : h.MapView)
        view += " " + Num(word);
    Print(view);
    Print("speed " + Float(h.GameSpeed));
    Print("scenario \"" + h.LastScenarioName.Str() + "\" start-save \"" + h.StartSaveName.Str() + "\"");
    Print("save-name \"" + Utf8(SaveNameText(h.SaveName)) + "\" (" + Num(h.SaveName.Count) + ")");
    Print("hero-name \"" + Utf8(SaveNameText(h.HeroName)) + "\" (" + Num(h.HeroName.Count) + ")");
    std::string gold = "hourly-gold";
    for (int32_t sample : h.HourlyGoldSamples)
        gold += " " + Num(sample);
    Print(gold);
    std::string line;
    save.ReadLine("GameScenario", line);
    Print("GameScenario \"" + line + "\"");
    save.ReadLine("GameScenarioFolder", line);
    Print("GameScenarioFolder \"" + line + "\"");
    for (const TDatEntry& entry : save.Entries)
        Print("section " + DatEntryName(entry) + " size " + Num(entry.ElementSize) + " count " +
              Num(entry.ElementCount));
    char digest[16];
    std::snprintf(digest, sizeof digest, "%08" PRIx32, SavedWorldDigest(save));
    Print(std::string("digest ") + digest);
    return true;
}

bool DumpTelemetry(const std::string& file, std::string& error)
{
    TZipFile log;
    log.Init();
    log.Open(file, 0);
    if (log.NewFile) {
        error = "no telemetry log: " + file;
        return false;
    }
    Print("telemetry " + file + " size " + Num(log.Size) + (log.Damaged ? " (damaged)" : ""));
    const uint8_t* bytes = log.Data.data();
    uint32_t at = 0;
    while (at < log.Size) {
        uint16_t size = 0;
        if (log.Size - at >= 2)
            std::memcpy(&size, bytes + at, 2);
        if (size < 3 || size > log.Size - at) {
            Print(Num(at) + " damaged tail of " + Num(log.Size - at) + " bytes");
            break;
        }
        const uint8_t kind = bytes[at + 2];
        Print(Num(at) + " size " + Num(size) + " kind " + Num(kind));
        TRecordReader reader{bytes + at, size, 3};
        DumpRecord(reader, kind);
        at += size;
    }
    log.Done();
    return true;
}

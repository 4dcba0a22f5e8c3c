#include "screens/kit/Duskmarch_Base_Sound.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <set>
#include <unordered_map>
#include <utility>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/tables/GameEnums.h"
#include "model/world/World_Tables.h"

const TSoundGroupVolume SoundGroupVolumes[SoundGroupCount] = {
    {SoundGroupMainMusic, true, 1.0f}, {SoundGroupEventMusic, true, 0.7f}, {SoundGroupBuildingMusic, false, 1.0f},
    {SoundGroupArenaMusic, false, 0.5f}, {SoundGroupSfx, false, 1.0f}, {SoundGroupFalls, false, 0.8f},
    {SoundGroupSteps, false, 0.9f},     {SoundGroupVoices, false, 0.7f}, {SoundGroupSpells, false, 1.0f},
    {SoundGroupInterface, false, 0.9f},
};

int32_t SoundBtnClick = 0, SoundBtnClickFail = 0, SoundBtnPoint = 0, SoundCastleLost = 0, SoundGoldEarn = 0,
        SoundGoldPay = 0, SoundInvBottle = 0, SoundInvBuy = 0, SoundInvCharKick = 0, SoundInvItemDrag = 0,
        SoundInvItemDrop = 0, SoundInvItemEquip = 0, SoundInvItemRemove = 0, SoundInvSell = 0,
        SoundMapPointBattle = 0, SoundPoint = 0, SoundWindowMAppear = 0, SoundWindowMDisappear = 0,
        SoundWindowPAppear = 0, SoundWindowPCollapse = 0, SoundWindowPExpand = 0;

const TInterfaceSound InterfaceSounds[InterfaceSoundCount] = {
    {&SoundBtnClick, "UI\\btn_click.wav"},
    {&SoundBtnClickFail, "UI\\btn_click_fail.wav"},
    {&SoundBtnPoint, "UI\\btn_point.wav"},
    {&SoundCastleLost, "UI\\castle_lost.wav"},
    {&SoundGoldEarn, "UI\\gold_earn.wav"},
    {&SoundGoldPay, "UI\\gold_pay.wav"},
    {&SoundInvBottle, "UI\\inv_bottle.wav"},
    {&SoundInvBuy, "UI\\inv_buy.wav"},
    {&SoundInvCharKick, "UI\\inv_char_kick.wav"},
    {&SoundInvItemDrag, "UI\\inv_item_drag.wav"},
    {&SoundInvItemDrop, "UI\\inv_item_drop.wav"},
    {&SoundInvItemEquip, "UI\\inv_item_equip.wav"},
    {&SoundInvItemRemove, "UI\\inv_item_remove.wav"},
    {&SoundInvSell, "UI\\inv_sell.wav"},
    {&SoundMapPointBattle, "UI\\map_point_battle.wav"},
    {&SoundPoint, "UI\\point.wav"},
    {&SoundWindowMAppear, "UI\\window_m_appear.wav"},
    {&SoundWindowMDisappear, "UI\\window_m_disappear.wav"},
    {&SoundWindowPAppear, "UI\\window_p_appear.wav"},
    {&SoundWindowPCollapse, "UI\\window_p_collapse.wav"},
    {&SoundWindowPExpand, "UI\\window_p_expand.wav"},
};

const char* const MusicKindNames[MusicKindCount] = {"map",    "building", "battle",  "event",
                                                    "defeat", "triumph",  "authors", "arena"};
const char* const MusicPlaceNames[MusicPlaceCount] = {"castle", "church", "market",      "mine",  "ruin",
                                                      "tavern", "town",   "village",     "villageruin",
                                                      "altar",  "forge",  "harbor",      "house"};

std::vector<TPlaylistEntry> Playlist;
int32_t CurrentMusicTrack = 0;
int32_t BuildingMusicTrack = -1;
int32_t BuildingMusic = -1;

std::vector<TSoundSet> SfxList;
std::vector<TVoiceEntry> DeathVoices, HurtVoices;
std::array<std::vector<TFallSounds>, FallWeaponCount> WeaponFallSounds;
std::array<std::vector<TFallSounds>, FallArmorCount> ArmorFallSounds;
std::array<std::vector<TStepSounds>, FallArmorCount> ArmorStepSounds;
TBattleEffectSounds* BattleEffectSounds = nullptr;

namespace {

// The volumes last applied: the library's sounds are loaded after the main
// block applied them, and take them on once loaded.
bool SoundVolumesApplied = false;
int32_t AppliedMusicVolume = 0;
int32_t AppliedEffectsVolume = 0;

std::string UnquotedSoundName(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

// The index of text among the names (exact), else 0.
int32_t SoundWordIndex(const char* const* names, int32_t count, const std::string& text)
{
    for (int32_t i = 0; i < count; i++)
        if (text == names[i])
            return i;
    return 0;
}

uint8_t MusicTagOfWord(const std::string& word)
{
    const std::string lower = LowerCaseStr(word);
    if (lower == "day")
        return MusicTagDay;
    if (lower == "night")
        return MusicTagNight;
    return MusicTagAny;
}

std::string PlaylistKey(int32_t n)
{
    return std::string{static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
}

std::string SfxKeyPrefix(int32_t n)
{
    return std::string{static_cast<char>('0' + n / 100), static_cast<char>('0' + n / 10 % 10),
                       static_cast<char>('0' + n % 10)};
}

// The files of a folder of the music folder, by upper-case name. The
// library's fixed names are looked up here first: an absent file then costs
// no search of its own (the case-blind path search reads the folder for
// every name it can't find).
class TSoundFolderFiles {
public:
    explicit TSoundFolderFiles(const std::string& folder)
    {
        TStringArray files;
        ListFiles(MusicFolder + folder + "*", files, false);
        for (const std::string& file : files)
            Names.insert(UpperCaseStr(file));
    }
    bool Has(const std::string& name) const { return Names.count(UpperCaseStr(name)) != 0; }

private:
    std::set<std::string> Names;
};

void LoadInterfaceSounds()
{
    const TSoundFolderFiles present("UI\\");
    for (const TInterfaceSound& sound : InterfaceSounds) {
        *sound.Id = 0;
        if (present.Has(std::string(sound.File).substr(3)))
            LoadSoundFile(sound.File, *sound.Id, false, SoundGroupInterface, false);
    }
}

// A set of a fixed file name: loaded when the file is there, else an empty
// set as AddSoundSet would make of a missing file.
void AddFixedSoundSet(const TSoundFolderFiles& present, const std::string& folder, const std::string& file,
                      int32_t& index, int32_t group)
{
    if (present.Has(file)) {
        AddSoundSet(folder + file, index, group, 0);
        return;
    }
    SfxList.emplace_back();
    index = static_cast<int32_t>(SfxList.size()) - 1;
}

int32_t MusicGroupOfKind(uint8_t kind)
{
    switch (kind) {
    case mkBuilding:
        return SoundGroupBuildingMusic;
    case mkArena:
        return SoundGroupArenaMusic;
    case mkEvent:
        return SoundGroupEventMusic;
    default:
        return SoundGroupMainMusic;
    }
}

void LoadPlaylist(TIniFile& ini)
{
    Playlist.assign(PlaylistLength, TPlaylistEntry());
    if (!ini.SelectSection("Music"))
        return;
    for (int32_t n = 0; n < PlaylistLength; n++) {
        const std::string key = PlaylistKey(n);
        if (ini.ValueCount(key) < 1)
            continue;
        TPlaylistEntry& entry = Playlist[static_cast<size_t>(n)];
        const std::string file = UnquotedSoundName(ini.ReadString(key, 1));
        entry.Kind = static_cast<uint8_t>(SoundWordIndex(MusicKindNames, MusicKindCount, LowerCaseStr(ini.ReadString(key, 2))));
        if (entry.Kind == mkBuilding) {
            entry.Place = static_cast<uint8_t>(
                SoundWordIndex(MusicPlaceNames, MusicPlaceCount, LowerCaseStr(ini.ReadString(key, 3))));
            entry.Tag = MusicTagOfWord(ini.ReadString(key, 4));
        } else {
            entry.Tag = MusicTagOfWord(ini.ReadString(key, 3));
        }
        // A file that is missing or no readable Ogg has no length: the slot
        // stays silent and behaves as an empty track.
        int32_t length = 0;
        OGG_GetInfo(MusicFolder + file, nullptr, nullptr, nullptr, nullptr, &length);
        entry.Length = length;
        if (length > 0)
            LoadSoundFile(file, entry.Sound, true, MusicGroupOfKind(entry.Kind), false);
    }
}

// The key of a section line, as the ini reader matches it.
std::string SfxIniLineKey(const TIniLine& line, char separator)
{
    if (!line.Key.empty() || !line.Items.empty())
        return line.Key;
    const size_t at = line.Raw.find(separator);
    if (at == std::string::npos)
        return std::string();
    size_t end = at;
    while (end > 0 && static_cast<unsigned char>(line.Raw[end - 1]) <= 32)
        end--;
    return line.Raw.substr(0, end);
}

constexpr int32_t SfxKeyCount = 1000;
const char* const SfxKeySuffixes[3] = {"_Info", "_Attacker", "_Receiver"};

// The [SFX] section's lines of each entry ("nnn" + a suffix), the first line
// of a key as the reader would find it; -1 none.
std::vector<std::array<int32_t, 3>> IndexSfxSectionLines(const TIniSection& section, char separator)
{
    std::vector<std::array<int32_t, 3>> lines(SfxKeyCount, {-1, -1, -1});
    for (size_t i = 0; i < section.Lines.size(); i++) {
        const std::string key = SfxIniLineKey(section.Lines[i], separator);
        if (key.size() < 4 || !std::isdigit(static_cast<unsigned char>(key[0])) ||
            !std::isdigit(static_cast<unsigned char>(key[1])) || !std::isdigit(static_cast<unsigned char>(key[2])))
            continue;
        const int32_t n = (key[0] - '0') * 100 + (key[1] - '0') * 10 + (key[2] - '0');
        for (int32_t k = 0; k < 3; k++)
            if (key.compare(3, std::string::npos, SfxKeySuffixes[k]) == 0 && lines[static_cast<size_t>(n)][k] < 0)
                lines[static_cast<size_t>(n)][static_cast<size_t>(k)] = static_cast<int32_t>(i);
    }
    return lines;
}

void LoadSfxSets(TIniFile& ini)
{
    if (!ini.SelectSection("SFX"))
        return;
    // Every bonus type 1..203 by its lower-case name (a name two types share
    // adds both).
    std::unordered_map<std::string, std::vector<int32_t>> bonusByName;
    for (int32_t b = 1; b <= LastBonusType; b++)
        bonusByName[LowerCaseStr(BonusNames[b])].push_back(b);
    std::vector<std::string> armorNames(ArmorKindCount);
    for (int32_t k = 0; k < ArmorKindCount; k++)
        armorNames[static_cast<size_t>(k)] = LowerCaseStr(ArmorKindNames[k]);

    // Up to a thousand entries of three keys each: rather than search the
    // whole section for every key, each entry's lines are found in one pass
    // and read from a section of their own, by the same reader.
    // The section is read only here: its lines move into the entries.
    TIniSection& section = ini.Sections[static_cast<size_t>(ini.CurrentSection)];
    const std::vector<std::array<int32_t, 3>> lines = IndexSfxSectionLines(section, ini.KeySeparator);
    TIniFile entry;
    entry.KeySeparator = ini.KeySeparator;
    entry.ListSeparator = ini.ListSeparator;
    entry.Sections.resize(1);
    entry.SelectSectionIndex(0);

    for (int32_t n = 0; n < SfxKeyCount; n++) {
        const std::array<int32_t, 3>& found = lines[static_cast<size_t>(n)];
        if (found[0] < 0)
            continue;
        entry.Sections[0].Lines.clear();
        for (int32_t at : found)
            if (at >= 0)
                entry.Sections[0].Lines.push_back(std::move(section.Lines[static_cast<size_t>(at)]));
        const std::string prefix = SfxKeyPrefix(n);
        const std::string info = prefix + "_Info";
        if (entry.ValueCount(info) < 1)
            continue;
        const std::string file = UnquotedSoundName(entry.ReadString(info, 1));
        const uint8_t category =
            LowerCaseStr(entry.ReadString(info, 2)) == "battle" ? SoundCategoryBattle : SoundCategoryGui;
        const int32_t delay = entry.ReadInteger(info, 3, 0);
        TSoundSet set;
        set.Category = category;
        if (category == SoundCategoryBattle) {
            const std::string attackerKey = prefix + "_Attacker";
            const int32_t attackers = entry.ValueCount(attackerKey);
            for (int32_t i = 1; i <= attackers; i++) {
                const std::string word = LowerCaseStr(entry.ReadString(attackerKey, i));
                if (word == "distance")
                    set.Flags |= SoundFlagDistance;
                const auto found = bonusByName.find(word);
                if (found != bonusByName.end())
                    for (int32_t b : found->second)
                        set.Attacker.Include(b);
            }
            const std::string receiverKey = prefix + "_Receiver";
            const int32_t receivers = entry.ValueCount(receiverKey);
            for (int32_t i = 1; i <= receivers; i++) {
                const std::string word = LowerCaseStr(entry.ReadString(receiverKey, i));
                if (word == "shield")
                    set.Flags |= SoundFlagShield;
                if (word == "ghost")
                    set.Flags |= SoundFlagGhost;
                for (int32_t k = 0; k < ArmorKindCount; k++)
                    if (word == armorNames[static_cast<size_t>(k)])
                        set.Receiver = static_cast<uint8_t>(set.Receiver | (1u << k));
            }
        }
        int32_t index = 0;
        AddSoundSet("SFX\\" + file, index, SoundGroupSfx, delay);
        TSoundSet& added = SfxList[static_cast<size_t>(index)];
        added.Category = set.Category;
        added.Attacker = set.Attacker;
        added.Receiver = set.Receiver;
        added.Flags = set.Flags;
    }
}

void LoadVoices()
{
    TStringArray files;
    ListFiles(MusicFolder + "Voices\\*.wav", files, false);
    for (const std::string& file : files) {
        const std::string lower = LowerCaseStr(file);
        if (lower.find("_var.wav") != std::string::npos)
            continue;
        std::string prefix;
        std::vector<TVoiceEntry>* list = nullptr;
        if (lower.rfind("death_", 0) == 0) {
            prefix = "death_";
            list = &DeathVoices;
        } else if (lower.rfind("hurt_", 0) == 0) {
            prefix = "hurt_";
            list = &HurtVoices;
        } else {
            continue;
        }
        const size_t dot = file.rfind('.');
        TVoiceEntry entry;
        entry.Name = file.substr(prefix.size(), (dot == std::string::npos ? file.size() : dot) - prefix.size());
        const std::string base = "Voices\\" + prefix + entry.Name;
        AddSoundSet(base + ".wav", entry.Set, SoundGroupVoices, VoiceDelay);
        AddSoundSet(base + "_var.wav", entry.VariantSet, SoundGroupVoices, VoiceDelay);
        list->push_back(std::move(entry));
    }
}

// Fills one fall list from the files whose names hold the key.
void LoadFallsOfKind(const std::vector<std::string>& files, const std::string& key, bool weapon,
                     std::vector<TFallSounds>& list)
{
    for (const std::string& file : files) {
        if (file.find(key) == std::string::npos)
            continue;
        if (list.empty())
            list.emplace_back();
        const int32_t delay = weapon ? FallDelayFromName(file) : 0;
        TFallSounds& fall = list.front();
        if (weapon)
            fall.Delay = delay;
        if (file.find("_soil_") != std::string::npos)
            AddSoundSet("SFX\\" + file, fall.SoilSet, SoundGroupFalls, delay);
        if (file.find("_stone_") != std::string::npos)
            AddSoundSet("SFX\\" + file, fall.StoneSet, SoundGroupFalls, delay);
    }
}

void LoadFalls()
{
    TStringArray listed;
    ListFiles(MusicFolder + "SFX\\fall_*.wav", listed, false);
    std::vector<std::string> files;
    files.reserve(listed.size());
    for (const std::string& file : listed)
        files.push_back(LowerCaseStr(file));
    for (int32_t kind = FallWeaponFirst; kind <= FallWeaponLast; kind++) {
        const std::string name = LowerCaseStr(BonusNames[kind]);
        LoadFallsOfKind(files, "_" + name.substr(1), true,
                        WeaponFallSounds[static_cast<size_t>(kind - FallWeaponFirst)]);
    }
    for (int32_t kind = FallArmorFirst; kind <= FallArmorLast; kind++)
        LoadFallsOfKind(files, "_" + LowerCaseStr(ArmorKindNames[kind]), false,
                        ArmorFallSounds[static_cast<size_t>(kind - FallArmorFirst)]);
}

void LoadSteps()
{
    static const char* const foleyPrefixes[FallArmorCount] = {"shirt_", "leather_", "chainmail_", "breastplate_"};
    const std::string folder = "SFX\\steps\\";
    const TSoundFolderFiles present(folder);
    for (int32_t kind = FallArmorFirst; kind <= FallArmorLast; kind++) {
        std::vector<TStepSounds>& list = ArmorStepSounds[static_cast<size_t>(kind - FallArmorFirst)];
        if (list.empty())
            list.emplace_back();
        TStepSounds& steps = list.front();
        const std::string step = kind == FallArmorLast ? "footstep_metal_" : "footstep_soft_";
        const std::string foley = foleyPrefixes[kind - FallArmorFirst];
        AddFixedSoundSet(present, folder, step + "stone1.wav", steps.Stone1, SoundGroupSteps);
        AddFixedSoundSet(present, folder, step + "stone2.wav", steps.Stone2, SoundGroupSteps);
        AddFixedSoundSet(present, folder, step + "grass1.wav", steps.Grass1, SoundGroupSteps);
        AddFixedSoundSet(present, folder, step + "grass2.wav", steps.Grass2, SoundGroupSteps);
        AddFixedSoundSet(present, folder, foley + "foley1.wav", steps.Foley1, SoundGroupSteps);
        AddFixedSoundSet(present, folder, foley + "foley2.wav", steps.Foley2, SoundGroupSteps);
        AddFixedSoundSet(present, folder, foley + "foley3.wav", steps.Foley3, SoundGroupSteps);
    }
}

void LoadSpellEffectSounds()
{
    if (BattleEffectSounds == nullptr)
        return;
    const int32_t count = BattleEffectSounds->Count();
    for (int32_t i = 0; i < count; i++) {
        int32_t index = 0;
        AddSoundSet("VFX\\m_" + BattleEffectSounds->Name(i) + ".wav", index, SoundGroupSpells, 0);
        BattleEffectSounds->SetSound(i, index);
    }
}

// Fades the current music out and the slot's sound in, and makes it current.
void CrossFadeToPlaylistSlot(int32_t slot, int32_t now)
{
    const TPlaylistEntry& entry = Playlist[static_cast<size_t>(slot)];
    Sound_AddFade(now, MusicFadeMs, 1000, 0, CurrentMusic);
    Sound_AddFade(now, MusicFadeMs, 0, 1000, entry.Sound);
    CurrentMusic = entry.Sound;
    CurrentMusicTrack = slot;
}

// now + ms as an engine time, kept inside 32 bits.
int32_t MusicTimeAfter(int32_t now, int64_t ms)
{
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{now} + ms, INT32_MIN, INT32_MAX));
}

} // namespace

int32_t FallDelayFromName(const std::string& fileName)
{
    size_t start = 0;
    for (int32_t field = 0; field < 3; field++) {
        const size_t at = fileName.find('_', start);
        if (at == std::string::npos)
            return 0;
        start = at + 1;
    }
    const size_t end = fileName.find('_', start);
    const std::string field = fileName.substr(start, end == std::string::npos ? std::string::npos : end - start);
    int64_t value = 0;
    for (char c : field)
        if (c >= '0' && c <= '9')
            value = std::min<int64_t>(value * 10 + (c - '0'), INT32_MAX);
    return static_cast<int32_t>(value);
}

int32_t LoadSoundFile(const std::string& name, int32_t& id, bool streamed, int32_t group, bool positional)
{
    id = 0;
    if (name.empty())
        return 0;
    const size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : UpperCaseStr(name.substr(dot + 1));
    const std::string path = MusicFolder + name;
    if (streamed) {
        if (extension == "OGG")
            Sound_OpenStream(path, id, group);
        return 0;
    }
    if (extension == "OGG")
        return OGG_LoadSound(path, id, group, positional);
    if (extension == "WAV")
        return WAV_LoadSound(path, id, group, positional);
    return 0;
}

void AddSoundSet(const std::string& name, int32_t& index, int32_t group, int32_t delay)
{
    TSoundSet set;
    set.Delay = delay;
    LoadSoundFile(name, set.Variants[0].Sound, false, group, true);
    for (int32_t v = 1; v < SoundSetVariantCount; v++)
        set.Variants[v].Sound = Sound_Duplicate(set.Variants[0].Sound);
    SfxList.push_back(set);
    index = static_cast<int32_t>(SfxList.size()) - 1;
}

void LoadSoundLibrary()
{
    if (MusicEnabled == 0)
        return;
    LoadInterfaceSounds();
    TIniFile ini;
    ini.Load(MusicFolder + "Sounds.ini");
    LoadPlaylist(ini);
    LoadSfxSets(ini);
    LoadVoices();
    LoadFalls();
    LoadSteps();
    LoadSpellEffectSounds();
    // The volumes were applied before these sounds existed.
    if (SoundVolumesApplied)
        ApplySoundVolumes(AppliedMusicVolume, AppliedEffectsVolume);
}

void FreeSoundLibrary()
{
    for (const TInterfaceSound& sound : InterfaceSounds)
        *sound.Id = 0;
    Playlist.clear();
    SfxList.clear();
    DeathVoices.clear();
    HurtVoices.clear();
    for (auto& list : WeaponFallSounds)
        list.clear();
    for (auto& list : ArmorFallSounds)
        list.clear();
    for (auto& list : ArmorStepSounds)
        list.clear();
    CurrentMusicTrack = 0;
    BuildingMusicTrack = -1;
    BuildingMusic = -1;
    SoundVolumesApplied = false;
}

void CrossFadeMusicTo(int32_t sound)
{
    // Fading a track into itself would only restart it.
    if (MusicEnabled == 0 || sound == CurrentMusic)
        return;
    const int32_t now = GetFrameTime(false);
    Sound_AddFade(now, MusicFadeMs, 1000, 0, CurrentMusic);
    Sound_AddFade(now, MusicFadeMs, 0, 1000, sound);
    CurrentMusic = sound;
}

void PlayMusicTrack(int32_t slot, int32_t duration)
{
    if (MusicEnabled == 0 || slot < 0 || slot >= static_cast<int32_t>(Playlist.size()))
        return;
    const int32_t now = GetFrameTime(false);
    NextMusicChange = MusicTimeAfter(now, duration != 0 ? duration : Playlist[static_cast<size_t>(slot)].Length);
    CrossFadeToPlaylistSlot(slot, now);
}

void PlayRandomMusic(TMusicKind kind, int32_t duration)
{
    if (MusicEnabled == 0 || Playlist.size() < 2)
        return;
    const int64_t minute = (GameClock / 10000) % 1440;
    const uint8_t wanted = minute > 405 && minute < 1210 ? MusicTagDay : MusicTagNight;
    // Music is no part of the reproducible world: a fresh seed each time.
    RandomizeSeed();
    const int32_t drawable = static_cast<int32_t>(Playlist.size()) - 1;
    int32_t slot = 0;
    for (int32_t draw = 1; draw <= 501; draw++) {
        slot = RandomInt(drawable);
        if (draw == 501)
            break;
        const TPlaylistEntry& entry = Playlist[static_cast<size_t>(slot)];
        if (slot != CurrentMusicTrack && entry.Kind == kind && (entry.Tag == wanted || entry.Tag == MusicTagAny))
            break;
    }
    const int32_t now = GetFrameTime(false);
    if (duration != 0)
        NextMusicChange = MusicTimeAfter(now, duration);
    else
        NextMusicChange = MusicTimeAfter(now, int64_t{Playlist[static_cast<size_t>(slot)].Length} - RandomInt(10000));
    CrossFadeToPlaylistSlot(slot, now);
}

void PlayBuildingMusic(uint8_t kind, uint8_t place, uint8_t tag)
{
    if (MusicEnabled == 0)
        return;
    for (size_t slot = 0; slot < Playlist.size(); slot++) {
        const TPlaylistEntry& entry = Playlist[slot];
        if (entry.Kind != kind || entry.Place != place || entry.Tag != tag)
            continue;
        BuildingMusicTrack = static_cast<int32_t>(slot);
        BuildingMusic = entry.Sound;
        const int32_t now = GetFrameTime(false);
        Sound_AddFade(now, MusicFadeMs, 0, 1000, BuildingMusic);
        Sound_AddFade(now, MusicFadeMs, 1000, BuildingMusicDuckVolume, CurrentMusic);
        return;
    }
}

void StopBuildingMusic()
{
    if (MusicEnabled == 0 || BuildingMusic < 0)
        return;
    const int32_t now = GetFrameTime(false);
    Sound_AddFade(now, MusicFadeMs, 1000, 0, BuildingMusic);
    Sound_AddFade(now, MusicFadeMs, BuildingMusicDuckVolume, 1000, CurrentMusic);
    BuildingMusic = -1;
    BuildingMusicTrack = -1;
}

void SetGroupVolumeScaled(int32_t group, int32_t volume, float factor)
{
    const long double scaled = std::nearbyint(static_cast<long double>(volume) * static_cast<long double>(factor));
    Sound_SetGroupVolume(group, static_cast<int32_t>(scaled));
    Sound_SetGroupSoundsVolume(group, 1000);
}

void ApplySoundVolumes(int32_t musicVolume, int32_t effectsVolume)
{
    if (MusicEnabled == 0)
        return;
    SoundVolumesApplied = true;
    AppliedMusicVolume = musicVolume;
    AppliedEffectsVolume = effectsVolume;
    for (const TSoundGroupVolume& group : SoundGroupVolumes)
        SetGroupVolumeScaled(group.Group, group.FromMusic ? musicVolume : effectsVolume, group.Factor);
}

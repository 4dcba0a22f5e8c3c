// Duskmarch_Base, sound topic: the game's sound library and its music.
//
// Every sound is loaded once by the start-up loader into the sound system
// and kept here as sound ids: the interface sounds, the music playlist of
// "Music\Sounds.ini", and the battle's sound sets (hits, voices, falls,
// footsteps, spell effects), each set in four copies so that up to four can
// sound at once. On top of the library sit the music operations: random
// tracks by kind and time of day, given tracks, a building's music laid over
// the lowered main music, and the two volume settings spread over the
// channel groups.
//
// With music switched off nothing here loads or plays: every id stays 0.
//
// Threads: LoadSoundLibrary runs on the start-up loader thread before any
// screen plays a sound; everything else belongs to the main thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/personage/Personage.h"
#include "model/tables/BonusType.h"
#include "screens/kit/Duskmarch_Base.h"

// ---------------------------------------------------------------------------
// Channel groups

enum TSoundGroup : int32_t {
    SoundGroupMainMusic = 1,     // map, battle, defeat, triumph, authors; the menu and closing themes
    SoundGroupEventMusic = 2,    // story events
    SoundGroupBuildingMusic = 3, // buildings (laid over the main music)
    SoundGroupArenaMusic = 4,    // the arena
    SoundGroupSfx = 5,           // the [SFX] sets
    SoundGroupFalls = 6,         // weapons and armour falling
    SoundGroupSteps = 7,         // footsteps and armour foley
    SoundGroupVoices = 8,        // death and hurt voices
    SoundGroupSpells = 9,        // spell effects
    SoundGroupInterface = 10,    // the interface sounds
};
inline constexpr int32_t SoundGroupCount = 10;

// Which volume setting a group follows, and by how much.
struct TSoundGroupVolume {
    int32_t Group;
    bool FromMusic; // the music volume, else the effects volume
    float Factor;
};
extern const TSoundGroupVolume SoundGroupVolumes[SoundGroupCount];

// ---------------------------------------------------------------------------
// Interface sounds (static, not positional, group 10)

extern int32_t SoundBtnClick, SoundBtnClickFail, SoundBtnPoint, SoundCastleLost, SoundGoldEarn, SoundGoldPay,
    SoundInvBottle, SoundInvBuy, SoundInvCharKick, SoundInvItemDrag, SoundInvItemDrop, SoundInvItemEquip,
    SoundInvItemRemove, SoundInvSell, SoundMapPointBattle, SoundPoint, SoundWindowMAppear, SoundWindowMDisappear,
    SoundWindowPAppear, SoundWindowPCollapse, SoundWindowPExpand;

struct TInterfaceSound {
    int32_t* Id;
    const char* File; // relative to the music folder
};
inline constexpr int32_t InterfaceSoundCount = 21;
// In loading order.
extern const TInterfaceSound InterfaceSounds[InterfaceSoundCount];

// ---------------------------------------------------------------------------
// Music playlist

// The second value of a [Music] entry (lower case): any other word is map.
enum TMusicKind : uint8_t {
    mkMap = 0,
    mkBuilding = 1,
    mkBattle = 2,
    mkEvent = 3,
    mkDefeat = 4,
    mkTriumph = 5,
    mkAuthors = 6,
    mkArena = 7,
};
inline constexpr int32_t MusicKindCount = 8;
extern const char* const MusicKindNames[MusicKindCount];

// Where a building track plays (the third value of a building entry); the
// building screen maps its building types onto these. Other words give 0.
inline constexpr int32_t MusicPlaceCount = 13;
extern const char* const MusicPlaceNames[MusicPlaceCount];

// The day/night tag of a track: 0 any time, 1 day, 2 night.
enum TMusicTag : uint8_t {
    MusicTagAny = 0,
    MusicTagDay = 1,
    MusicTagNight = 2,
};

struct TPlaylistEntry {
    uint8_t Kind = 0;  // TMusicKind
    uint8_t Place = 0; // building tracks only
    uint8_t Tag = 0;   // TMusicTag
    int32_t Sound = 0; // streamed sound id, 0 none
    int32_t Length = 0; // milliseconds
};
inline constexpr int32_t PlaylistLength = 100;
// Slot n holds the [Music] key "nn" (PlaylistLength slots once loaded).
extern std::vector<TPlaylistEntry> Playlist;

// Music state (CurrentMusic and NextMusicChange are the screen unit's).
extern int32_t CurrentMusicTrack;  // the playlist slot now playing
extern int32_t BuildingMusicTrack; // -1 none
extern int32_t BuildingMusic;      // sound id, -1 none
inline constexpr int32_t BuildingMusicDuckVolume = 333; // the main music under a building's

// ---------------------------------------------------------------------------
// Sound sets

enum TSoundSetFlag : uint8_t {
    SoundFlagGhost = 1,    // the receiver is a ghost
    SoundFlagShield = 2,   // the receiver carries a shield
    SoundFlagDistance = 4, // ranged attacks
};
enum TSoundCategory : uint8_t {
    SoundCategoryGui = 0,
    SoundCategoryBattle = 1,
};

struct TSoundVariant {
    int32_t TimeStamp = 0; // when this copy last started
    int32_t Sound = 0;
};
inline constexpr int32_t SoundSetVariantCount = 4;

struct TSoundSet {
    int32_t Delay = 0;      // ms the battle adds to the action's time before the sound starts
    TBonusSet Attacker{};   // weapon kinds, abilities or effects of the attacker that trigger it
    uint8_t Receiver = 0;   // bit k: the receiver's TArmorKind k triggers it
    uint8_t Flags = 0;      // TSoundSetFlag
    uint8_t Category = 0;   // TSoundCategory
    TSoundVariant Variants[SoundSetVariantCount]; // the sound and three duplicates
};
// The [SFX] entries in key order, then every set AddSoundSet appended.
extern std::vector<TSoundSet> SfxList;

struct TVoiceEntry {
    std::string Name; // the file's base name without "death_" / "hurt_"
    int32_t Set = 0;        // index into SfxList
    int32_t VariantSet = 0; // index into SfxList ("_var" file)
};
extern std::vector<TVoiceEntry> DeathVoices, HurtVoices;
inline constexpr int32_t VoiceDelay = 830;

// Empty until a file names the kind, then one element.
struct TFallSounds {
    int32_t StoneSet = 0; // indices into SfxList
    int32_t SoilSet = 0;
    int32_t Delay = 0; // weapon kinds only
};
inline constexpr int32_t FallWeaponFirst = bSword; // 114
inline constexpr int32_t FallWeaponLast = bBook5;  // 162
inline constexpr int32_t FallWeaponCount = FallWeaponLast - FallWeaponFirst + 1;
inline constexpr int32_t FallArmorFirst = 2; // Robe
inline constexpr int32_t FallArmorLast = 5;  // HeavyArmor
inline constexpr int32_t FallArmorCount = FallArmorLast - FallArmorFirst + 1;
// Entry k is weapon kind FallWeaponFirst + k, armour kind FallArmorFirst + k.
extern std::array<std::vector<TFallSounds>, FallWeaponCount> WeaponFallSounds;
extern std::array<std::vector<TFallSounds>, FallArmorCount> ArmorFallSounds;

struct TStepSounds {
    int32_t Stone1 = 0, Stone2 = 0, Grass1 = 0, Grass2 = 0, Foley1 = 0, Foley2 = 0, Foley3 = 0; // into SfxList
};
extern std::array<std::vector<TStepSounds>, FallArmorCount> ArmorStepSounds;

// The battle effects table as the library sees it: each effect's name and
// its sound field. The battle effects unit installs its table here; while
// none is installed the table is empty.
class TBattleEffectSounds {
public:
    virtual ~TBattleEffectSounds() = default;
    virtual int32_t Count() const = 0;
    virtual std::string Name(int32_t index) const = 0;
    virtual void SetSound(int32_t index, int32_t soundSet) = 0;
};
extern TBattleEffectSounds* BattleEffectSounds;

// ---------------------------------------------------------------------------
// Loading

// Loads a file of the music folder into id (0 first; nothing for an empty
// name). Streamed: only Ogg files, registered as streams. Otherwise Ogg is
// decoded whole and WAV loaded into a static buffer, positional when asked.
// Other extensions load nothing. Returns the loader's result.
int32_t LoadSoundFile(const std::string& name, int32_t& id, bool streamed, int32_t group, bool positional);
// Appends a set: the file as a static positional sound of the group and
// three duplicates; index gets the new element's index.
void AddSoundSet(const std::string& name, int32_t& index, int32_t group, int32_t delay);
// The whole library, once, on the start-up loader thread after the battle
// effects table (only while music is enabled).
void LoadSoundLibrary();
// The program's end, and tests: empties the lists, zeroes the ids and resets
// the music state (the sounds themselves belong to the sound system).
void FreeSoundLibrary();

// The delay of a fall file name: the digits of its fourth "_"-separated
// field ("fall_sword_stone_250.wav" gives 250), 0 when it has none.
int32_t FallDelayFromName(const std::string& fileName);

// ---------------------------------------------------------------------------
// Music

// CrossFadeMusicTo and ApplySoundVolumes are declared with the unit's other
// music names in Duskmarch_Base.h and defined here: the cross-fade leaves the
// track already playing alone; the volumes (0..1000, the settings
// Music_MusicVolume and Music_VolumeEffects) are spread over the channel
// groups, and sounds the library loads later take them too.

// Cross-fades to the slot; the next random change is due after duration
// ms, or after the track's length when duration is 0.
void PlayMusicTrack(int32_t slot, int32_t duration);
// A random track of the kind for the time of day, never the current one
// unless 500 draws found nothing; the next change after duration ms, or
// shortly before the track ends when duration is 0.
void PlayRandomMusic(TMusicKind kind, int32_t duration);
// Lays the first track with this kind, place and tag over the main music,
// which drops to a third; nothing when there is none.
void PlayBuildingMusic(uint8_t kind, uint8_t place, uint8_t tag);
// Fades the building's track out and the main music back up.
void StopBuildingMusic();
// The group's volume := volume x factor (rounded), applied to every sound of
// the group that is not fading.
void SetGroupVolumeScaled(int32_t group, int32_t volume, float factor);

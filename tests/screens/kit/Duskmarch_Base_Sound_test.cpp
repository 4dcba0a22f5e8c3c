// The sound library on an offline sound device: what Sounds.ini and the
// sound folders give the playlist and the sound sets, the music operations'
// choices and fades, and the group volumes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "model/Support.h"
#include "model/tables/GameEnums.h"
#include "model/world/World_Tables.h"
#include "screens/kit/Duskmarch_Base_Sound.h"
#include "tests/engine/QX9_Sound_TestFixture.h"
#include "tools/SoundFiles.h"

namespace {

// A short tone as a 16-bit WAV.
std::string ShortToneWav(int frames = 2205)
{
    std::vector<int16_t> samples(static_cast<size_t>(frames));
    for (int i = 0; i < frames; i++)
        samples[static_cast<size_t>(i)] = static_cast<int16_t>((i % 50) * 400 - 10000);
    return SoundFiles::Wav16(samples, 1, 22050);
}

// An Ogg Vorbis file of the given length.
std::string OggTrack(int ms)
{
    const int rate = 22050;
    return SoundFiles::EncodeOgg(SoundFiles::Sine(1, rate, rate * ms / 1000, 330.0), 1, rate, 0.0f);
}

struct TQueuedFade {
    int32_t Sound, From, To, Duration;
    bool operator==(const TQueuedFade& o) const
    {
        return std::tie(Sound, From, To, Duration) == std::tie(o.Sound, o.From, o.To, o.Duration);
    }
};
std::ostream& operator<<(std::ostream& out, const TQueuedFade& f)
{
    return out << "{" << f.Sound << " " << f.From << "->" << f.To << " " << f.Duration << "ms}";
}

std::vector<TQueuedFade> QueuedFades()
{
    std::vector<TQueuedFade> fades;
    for (const TSoundFade* f = FadeList.Next; f != nullptr; f = f->Next)
        fades.push_back({f->SoundId, f->FromVolume, f->ToVolume, f->Duration});
    return fades;
}

uint32_t MusicTestSeed()
{
    return 20240307u;
}

class SoundLibraryTest : public SoundTest {
protected:
    void SetUp() override
    {
        SoundTest::SetUp();
        SavedMusicFolder = MusicFolder;
        SavedClock = GameClock;
        MusicFolder = Folder.ProgramPath();
        MusicEnabled = 1;
        FreeSoundLibrary();
        CurrentMusic = 0;
        NextMusicChange = 0;
    }
    void TearDown() override
    {
        FreeSoundLibrary();
        MusicEnabled = 0;
        CurrentMusic = 0;
        BattleEffectSounds = nullptr;
        SetRandomizeSeedSource(nullptr);
        MusicFolder = SavedMusicFolder;
        GameClock = SavedClock;
        SoundTest::TearDown();
    }

    void WriteInterfaceSounds()
    {
        for (const TInterfaceSound& sound : InterfaceSounds)
            Folder.WriteProgramFile(sound.File, ShortToneWav());
    }

    std::string SavedMusicFolder;
    int64_t SavedClock = 0;
};

// A playlist where every slot is a battle track with its own sound, except
// the given map tracks.
void FillBattlePlaylist()
{
    Playlist.assign(PlaylistLength, TPlaylistEntry());
    for (int32_t n = 0; n < PlaylistLength; n++)
        Playlist[static_cast<size_t>(n)] = {mkBattle, 0, MusicTagAny, 1000 + n, 60000};
}

} // namespace

TEST_F(SoundLibraryTest, MusicSectionFillsSlotsByKeyNumber)
{
    Folder.WriteProgramFile("Map_Day.ogg", OggTrack(500));
    Folder.WriteProgramFile("Town.ogg", OggTrack(700));
    Folder.WriteProgramFile("Battle.ogg", OggTrack(300));
    Folder.WriteProgramFile("Odd.ogg", OggTrack(300));
    Folder.WriteProgramFile("Hall.ogg", OggTrack(300));
    Folder.WriteProgramFile("Arena.ogg", OggTrack(300));
    Folder.WriteProgramFile("Event.ogg", OggTrack(300));
    Folder.WriteProgramFile("Broken.ogg", "OggS this is no Vorbis stream at all");
    Folder.WriteProgramFile("Sounds.ini", "[Music]\n"
                                          "00=\"Map_Day.ogg\",map,day\n"
                                          "03=\"Town.ogg\",Building,TOWN,Day\n"
                                          "07=\"Battle.ogg\",Battle,NIGHT\n"
                                          "08=Odd.ogg,march,dusk\n"
                                          "09=\"Hall.ogg\",building,palace,night\n"
                                          "10=\n"
                                          "11=\"Missing.ogg\",event,day\n"
                                          "12=\"Broken.ogg\",arena\n"
                                          "13=\"Arena.ogg\",arena\n"
                                          "14=\"Event.ogg\",event\n"
                                          "99=\"Battle.ogg\",defeat\n");
    LoadSoundLibrary();
    ASSERT_EQ(Playlist.size(), 100u);

    const struct {
        int Slot;
        uint8_t Kind, Place, Tag;
        int Group;   // 0: no sound
        int Length;  // about, ms; 0 exactly 0
    } cases[] = {
        {0, mkMap, 0, MusicTagDay, 1, 500},
        {3, mkBuilding, 6, MusicTagDay, 3, 700},
        {7, mkBattle, 0, MusicTagNight, 1, 300},
        {8, mkMap, 0, MusicTagAny, 1, 300},        // unknown words are 0
        {9, mkBuilding, 0, MusicTagNight, 3, 300}, // unknown place is 0
        {10, mkMap, 0, MusicTagAny, 0, 0},         // no values: skipped
        {11, mkEvent, 0, MusicTagDay, 0, 0},       // missing file: silent
        {12, mkArena, 0, MusicTagAny, 0, 0},       // unreadable file: silent
        {13, mkArena, 0, MusicTagAny, 4, 300},
        {14, mkEvent, 0, MusicTagAny, 2, 300},
        {99, mkDefeat, 0, MusicTagAny, 1, 300},
        {50, mkMap, 0, MusicTagAny, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("slot " + std::to_string(c.Slot));
        const TPlaylistEntry& e = Playlist[static_cast<size_t>(c.Slot)];
        EXPECT_EQ(e.Kind, c.Kind);
        EXPECT_EQ(e.Place, c.Place);
        EXPECT_EQ(e.Tag, c.Tag);
        if (c.Group == 0) {
            EXPECT_EQ(e.Sound, 0);
            EXPECT_EQ(e.Length, 0);
            continue;
        }
        ASSERT_GT(e.Sound, 0);
        EXPECT_TRUE(GlobalSounds[e.Sound].Streamed);
        EXPECT_EQ(GlobalSounds[e.Sound].Group, c.Group);
        EXPECT_NEAR(e.Length, c.Length, 30);
    }
}

TEST_F(SoundLibraryTest, SfxEntriesMatchTheBonusAndArmourNames)
{
    for (const char* file : {"SFX/hit.wav", "SFX/gui_click.wav", "SFX/regen.wav"})
        Folder.WriteProgramFile(file, ShortToneWav());
    Folder.WriteProgramFile("Sounds.ini", "[SFX]\n"
                                          "000_Info=\"hit.wav\",battle,100\n"
                                          "000_Attacker=bSword,BAXE,distance,nosuchbonus\n"
                                          "000_Receiver=lightarmor,MediumArmor,shield,ghost,plate\n"
                                          "002_Info=gui_click.wav,gui,7\n"
                                          "002_Attacker=bSword\n"
                                          "002_Receiver=heavyarmor,shield\n"
                                          "003_Info=\n"
                                          "004_Info=\"regen.wav\",Battle\n"
                                          "004_Attacker=regeneration,pmagicrecoil,TPUNISHINGFIRE\n"
                                          "004_Receiver=none\n");
    LoadSoundLibrary();
    // Entries are packed in key order; 001 and 003 don't exist.
    ASSERT_EQ(SfxList.size(), 3u + 4 * 7); // then the footstep sets of the four armour kinds

    const TSoundSet& hit = SfxList[0];
    EXPECT_EQ(hit.Category, SoundCategoryBattle);
    EXPECT_EQ(hit.Delay, 100);
    for (int b = 0; b <= TBonusSet::MaxValue; b++)
        EXPECT_EQ(hit.Attacker.Has(b), b == bSword || b == bAxe) << BonusNames[std::min(b, LastBonusType)];
    EXPECT_EQ(hit.Receiver, (1 << int(TArmorKind::LightArmor)) | (1 << int(TArmorKind::MediumArmor)));
    EXPECT_EQ(hit.Flags, SoundFlagDistance | SoundFlagShield | SoundFlagGhost);

    // A gui entry ignores its attacker and receiver keys.
    const TSoundSet& click = SfxList[1];
    EXPECT_EQ(click.Category, SoundCategoryGui);
    EXPECT_EQ(click.Delay, 7);
    EXPECT_TRUE(click.Attacker.Empty());
    EXPECT_EQ(click.Receiver, 0);
    EXPECT_EQ(click.Flags, 0);

    const TSoundSet& regen = SfxList[2];
    EXPECT_EQ(regen.Delay, 0);
    TBonusSet expected{};
    for (int b : {int(Regeneration), int(pMagicRecoil), int(tPunishingFire)})
        expected.Include(b);
    EXPECT_EQ(std::memcmp(regen.Attacker.Bits, expected.Bits, sizeof expected.Bits), 0);
    EXPECT_EQ(regen.Receiver, 1 << int(TArmorKind::None));

    // Four playable copies of one positional sound, in the [SFX] group.
    for (const TSoundSet& set : {hit, click, regen}) {
        EXPECT_TRUE(GlobalSounds[set.Variants[0].Sound].Is3D);
        for (int v = 0; v < SoundSetVariantCount; v++) {
            const int32_t id = set.Variants[v].Sound;
            ASSERT_GT(id, 0);
            EXPECT_EQ(set.Variants[v].TimeStamp, 0);
            EXPECT_EQ(GlobalSounds[id].Group, SoundGroupSfx);
            for (int w = 0; w < v; w++)
                EXPECT_NE(id, set.Variants[w].Sound);
        }
    }
}

TEST(SoundLibraryNames, FallDelayIsTheFourthFieldsDigits)
{
    const struct {
        const char* Name;
        int32_t Delay;
    } cases[] = {
        {"fall_sword_stone_250.wav", 250},  {"fall_sword_soil_.wav", 0},          {"fall_sword_soil.wav", 0},
        {"fall_axe_stone_12x5.wav", 125},   {"fall_mace_stone_80_extra.wav", 80}, {"fall_bow_soil_99999999999.wav", INT_MAX},
        {"fall_staff_stone_0040.WAV", 40},  {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FallDelayFromName(c.Name), c.Delay) << c.Name;
}

namespace {

class TFakeEffectSounds : public TBattleEffectSounds {
public:
    int32_t Count() const override { return 2; }
    std::string Name(int32_t index) const override { return index == 0 ? "Fireball" : "Frost"; }
    void SetSound(int32_t index, int32_t soundSet) override { Sounds[index] = soundSet; }
    int32_t Sounds[2] = {-1, -1};
};

} // namespace

TEST_F(SoundLibraryTest, VoicesFallsStepsAndSpellsFromTheirFolders)
{
    WriteInterfaceSounds();
    Folder.WriteProgramFile("UI/point.wav", "RIFF but not a wave file"); // broken: stays 0
    for (const char* file :
         {"SFX/fall_sword_soil_300.wav", "SFX/fall_sword_stone_250.wav", "SFX/Fall_Bow_Stone_120.WAV",
          "SFX/fall_robe_soil_40.wav", "SFX/fall_heavyarmor_stone_.wav", "Voices/death_Knight.wav",
          "Voices/death_Knight_var.wav", "Voices/hurt_Knight.wav", "Voices/other.wav",
          "SFX/steps/footstep_metal_stone1.wav", "SFX/steps/shirt_foley2.wav", "VFX/m_Fireball.wav"})
        Folder.WriteProgramFile(file, ShortToneWav());
    TFakeEffectSounds effects;
    BattleEffectSounds = &effects;
    LoadSoundLibrary(); // no Sounds.ini: made empty

    // The interface sounds, in their order, static and not positional.
    int32_t previous = 0;
    for (const TInterfaceSound& sound : InterfaceSounds) {
        SCOPED_TRACE(sound.File);
        if (sound.Id == &SoundPoint) {
            EXPECT_EQ(*sound.Id, 0);
            continue;
        }
        ASSERT_GT(*sound.Id, previous);
        previous = *sound.Id;
        EXPECT_EQ(GlobalSounds[*sound.Id].Group, SoundGroupInterface);
        EXPECT_FALSE(GlobalSounds[*sound.Id].Is3D);
        EXPECT_FALSE(GlobalSounds[*sound.Id].Streamed);
    }
    EXPECT_EQ(Playlist.size(), 100u);

    auto setOf = [](int32_t index) -> const TSoundSet& { return SfxList.at(static_cast<size_t>(index)); };
    auto group = [&](int32_t index) { return GlobalSounds[setOf(index).Variants[0].Sound].Group; };

    ASSERT_EQ(DeathVoices.size(), 1u);
    EXPECT_EQ(DeathVoices[0].Name, "Knight");
    EXPECT_EQ(setOf(DeathVoices[0].Set).Delay, VoiceDelay);
    EXPECT_EQ(group(DeathVoices[0].Set), SoundGroupVoices);
    EXPECT_GT(setOf(DeathVoices[0].VariantSet).Variants[0].Sound, 0);
    ASSERT_EQ(HurtVoices.size(), 1u);
    EXPECT_GT(setOf(HurtVoices[0].Set).Variants[0].Sound, 0);
    EXPECT_EQ(setOf(HurtVoices[0].VariantSet).Variants[0].Sound, 0); // no "_var" file: a silent set

    // Sword: the soil file lists first, the stone file decides the delay.
    const auto& sword = WeaponFallSounds[bSword - FallWeaponFirst];
    ASSERT_EQ(sword.size(), 1u);
    EXPECT_EQ(sword[0].Delay, 250);
    EXPECT_EQ(setOf(sword[0].SoilSet).Delay, 300);
    EXPECT_EQ(setOf(sword[0].StoneSet).Delay, 250);
    EXPECT_EQ(group(sword[0].StoneSet), SoundGroupFalls);
    const auto& bow = WeaponFallSounds[bBow - FallWeaponFirst];
    ASSERT_EQ(bow.size(), 1u);
    EXPECT_EQ(bow[0].Delay, 120);
    EXPECT_GT(setOf(bow[0].StoneSet).Variants[0].Sound, 0);
    EXPECT_TRUE(WeaponFallSounds[bLongSword - FallWeaponFirst].empty());
    EXPECT_TRUE(WeaponFallSounds[bBook5 - FallWeaponFirst].empty());
    // Armour falls carry no delay.
    const auto& robe = ArmorFallSounds[int(TArmorKind::Robe) - FallArmorFirst];
    ASSERT_EQ(robe.size(), 1u);
    EXPECT_EQ(robe[0].Delay, 0);
    EXPECT_EQ(setOf(robe[0].SoilSet).Delay, 0);
    EXPECT_EQ(group(robe[0].SoilSet), SoundGroupFalls);
    EXPECT_EQ(ArmorFallSounds[int(TArmorKind::HeavyArmor) - FallArmorFirst].size(), 1u);
    EXPECT_TRUE(ArmorFallSounds[int(TArmorKind::LightArmor) - FallArmorFirst].empty());

    // Steps: every kind has its element; soft steps for all but heavy armour.
    for (const auto& list : ArmorStepSounds)
        ASSERT_EQ(list.size(), 1u);
    const TStepSounds& heavy = ArmorStepSounds[int(TArmorKind::HeavyArmor) - FallArmorFirst][0];
    EXPECT_GT(setOf(heavy.Stone1).Variants[0].Sound, 0);
    EXPECT_EQ(group(heavy.Stone1), SoundGroupSteps);
    EXPECT_EQ(setOf(heavy.Stone2).Variants[0].Sound, 0);
    const TStepSounds& robeSteps = ArmorStepSounds[int(TArmorKind::Robe) - FallArmorFirst][0];
    EXPECT_EQ(setOf(robeSteps.Stone1).Variants[0].Sound, 0);
    EXPECT_GT(setOf(robeSteps.Foley2).Variants[0].Sound, 0);

    // Spell effects: each entry's sound field is its set.
    ASSERT_GE(effects.Sounds[0], 0);
    EXPECT_EQ(group(effects.Sounds[0]), SoundGroupSpells);
    ASSERT_GE(effects.Sounds[1], 0);
    EXPECT_EQ(setOf(effects.Sounds[1]).Variants[0].Sound, 0);
    EXPECT_EQ(effects.Sounds[1], static_cast<int32_t>(SfxList.size()) - 1);
}

TEST_F(SoundLibraryTest, MusicOffLoadsAndPlaysNothing)
{
    WriteInterfaceSounds();
    Folder.WriteProgramFile("Battle.ogg", OggTrack(300));
    Folder.WriteProgramFile("Sounds.ini", "[Music]\n00=Battle.ogg,map\n");
    MusicEnabled = 0;
    ApplySoundVolumes(1000, 500);
    LoadSoundLibrary();
    for (const TInterfaceSound& sound : InterfaceSounds)
        EXPECT_EQ(*sound.Id, 0) << sound.File;
    EXPECT_TRUE(Playlist.empty());
    EXPECT_TRUE(SfxList.empty());
    for (const auto& list : ArmorStepSounds)
        EXPECT_TRUE(list.empty());
    Sound_Play(SoundBtnClick, true, false); // id 0: nothing

    FillBattlePlaylist();
    PlayRandomMusic(mkBattle, 0);
    PlayMusicTrack(3, 0);
    PlayBuildingMusic(mkBattle, 0, 0);
    CrossFadeMusicTo(1234);
    EXPECT_EQ(CurrentMusic, 0);
    EXPECT_EQ(CurrentMusicTrack, 0);
    EXPECT_EQ(BuildingMusic, -1);
    EXPECT_TRUE(QueuedFades().empty());
}

TEST_F(SoundLibraryTest, RandomMusicRefusesTheCurrentTrackAndTakesThe501stDraw)
{
    FillBattlePlaylist();
    Playlist[5] = {mkMap, 0, MusicTagAny, 555, 60000}; // the only map track, and it plays
    CurrentMusicTrack = 5;
    CurrentMusic = 555;
    SetRandomizeSeedSource(MusicTestSeed);

    SetRandomSeed(MusicTestSeed());
    int32_t expected = 0;
    bool sawFive = false;
    for (int draw = 1; draw <= 501; draw++) {
        expected = RandomInt(99);
        sawFive = sawFive || expected == 5;
    }
    ASSERT_TRUE(sawFive) << "the seed must draw the current track at least once";

    const int32_t now = GetFrameTime(false);
    PlayRandomMusic(mkMap, 10000000);
    EXPECT_EQ(CurrentMusicTrack, expected);
    EXPECT_EQ(CurrentMusic, 1000 + expected);
    EXPECT_EQ(NextMusicChange, now + 10000000);
    const std::vector<TQueuedFade> fades = {{555, 1000, 0, 2000}, {1000 + expected, 0, 1000, 2000}};
    EXPECT_EQ(QueuedFades(), fades);
}

TEST_F(SoundLibraryTest, RandomMusicFollowsTheTimeOfDay)
{
    FillBattlePlaylist();
    Playlist[10] = {mkMap, 0, MusicTagDay, 610, 50000};
    Playlist[20] = {mkMap, 0, MusicTagNight, 620, 40000};
    Playlist[99] = {mkMap, 0, MusicTagAny, 699, 40000}; // never drawn
    SetRandomizeSeedSource(MusicTestSeed);
    const struct {
        int64_t Minute;
        int32_t Slot;
    } cases[] = {{405, 20}, {406, 10}, {1209, 10}, {1210, 20}, {0, 20}, {1439, 20}, {720 + 1440 * 3, 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE("minute " + std::to_string(c.Minute));
        GameClock = c.Minute * 10000 + 5000;
        CurrentMusicTrack = 0;
        const int32_t now = GetFrameTime(false);
        PlayRandomMusic(mkMap, 0);
        ASSERT_EQ(CurrentMusicTrack, c.Slot);
        // The next track is due shortly before this one ends.
        const int32_t length = Playlist[static_cast<size_t>(c.Slot)].Length;
        EXPECT_LE(NextMusicChange, now + length);
        EXPECT_GT(NextMusicChange, now + length - 10000);
    }
}

TEST_F(SoundLibraryTest, GivenTrackAndBuildingMusic)
{
    FillBattlePlaylist();
    Playlist[3] = {mkBuilding, 6, MusicTagDay, 303, 30000};
    Playlist[4] = {mkBuilding, 6, MusicTagAny, 304, 30000};
    Playlist[8] = {mkBuilding, 6, MusicTagAny, 308, 30000}; // a later duplicate never wins
    CurrentMusic = 77;

    // Nothing to stop: nothing happens.
    StopBuildingMusic();
    EXPECT_TRUE(QueuedFades().empty());
    // No slot for the place or the tag: the music stays.
    PlayBuildingMusic(mkBuilding, 5, MusicTagAny);
    PlayBuildingMusic(mkBuilding, 6, MusicTagNight);
    EXPECT_TRUE(QueuedFades().empty());
    EXPECT_EQ(BuildingMusic, -1);
    EXPECT_EQ(BuildingMusicTrack, -1);

    PlayBuildingMusic(mkBuilding, 6, MusicTagAny); // tag 0 matches only 0
    EXPECT_EQ(BuildingMusicTrack, 4);
    EXPECT_EQ(BuildingMusic, 304);
    EXPECT_EQ(CurrentMusic, 77);
    std::vector<TQueuedFade> fades = {{304, 0, 1000, 2000}, {77, 1000, 333, 2000}};
    EXPECT_EQ(QueuedFades(), fades);

    StopBuildingMusic();
    fades.push_back({304, 1000, 0, 2000});
    fades.push_back({77, 333, 1000, 2000});
    EXPECT_EQ(QueuedFades(), fades);
    EXPECT_EQ(BuildingMusic, -1);
    EXPECT_EQ(BuildingMusicTrack, -1);

    const int32_t now = GetFrameTime(false);
    PlayMusicTrack(3, 0);
    EXPECT_EQ(CurrentMusicTrack, 3);
    EXPECT_EQ(CurrentMusic, 303);
    EXPECT_EQ(NextMusicChange, now + 30000);
    PlayMusicTrack(4, 1234);
    EXPECT_EQ(NextMusicChange, now + 1234);
}

TEST_F(SoundLibraryTest, VolumesSpreadOverTheGroups)
{
    int32_t ids[SoundGroupCount + 1] = {};
    Folder.WriteProgramFile("tone.wav", ShortToneWav());
    for (int32_t group = 1; group <= SoundGroupCount; group++)
        ASSERT_GT(WAV_LoadSound(MusicFolder + "tone.wav", ids[group], group, false), 0);
    ApplySoundVolumes(1000, 500);
    const int32_t expected[SoundGroupCount + 1] = {0, 1000, 700, 500, 250, 500, 400, 450, 350, 500, 450};
    for (int32_t group = 1; group <= SoundGroupCount; group++) {
        EXPECT_EQ(GlobalSounds[ids[group]].GroupVolume, expected[group]) << "group " << group;
        EXPECT_EQ(GlobalSounds[ids[group]].Volume, 1000) << "group " << group;
    }

    // The library's sounds, loaded after the volumes were applied, take them.
    WriteInterfaceSounds();
    ApplySoundVolumes(800, 600);
    LoadSoundLibrary();
    ASSERT_GT(SoundBtnClick, 0);
    EXPECT_EQ(GlobalSounds[SoundBtnClick].GroupVolume, 540);
    EXPECT_EQ(GlobalSounds[SoundBtnClick].Volume, 1000);
}

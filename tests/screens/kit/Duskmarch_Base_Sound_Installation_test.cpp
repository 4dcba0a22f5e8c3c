// The sample installation's sounds: every file Sounds.ini and the sound
// folders' naming rules lead the library to is there and loads, every word
// of the [SFX] section names something, and every weapon the sample's units
// carry falls with a sound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/tables/GameEnums.h"
#include "screens/kit/Duskmarch_Base_Sound.h"
#include "tests/engine/QX9_Sound_TestFixture.h"

namespace {

const std::string InstallMusicFolder = std::string(DUSKMARCH_INSTALL) + "/Music/";

class SoundInstallationTest : public SoundTest {
protected:
    void SetUp() override
    {
        SoundTest::SetUp();
        SavedMusicFolder = MusicFolder;
        MusicFolder = InstallMusicFolder;
        MusicEnabled = 1;
        FreeSoundLibrary();
    }
    void TearDown() override
    {
        FreeSoundLibrary();
        MusicEnabled = 0;
        MusicFolder = SavedMusicFolder;
        SoundTest::TearDown();
    }
    std::string SavedMusicFolder;
};

std::string LowerSoundWord(const std::string& text)
{
    return LowerCaseStr(text);
}

} // namespace

TEST_F(SoundInstallationTest, EveryNamedSoundLoads)
{
    LoadSoundLibrary();
    for (const TInterfaceSound& sound : InterfaceSounds)
        EXPECT_GT(*sound.Id, 0) << sound.File;

    TIniFile ini;
    ini.Load(MusicFolder + "Sounds.ini");
    ASSERT_TRUE(ini.SelectSection("Music"));
    int32_t tracks = 0;
    for (int32_t n = 0; n < PlaylistLength; n++) {
        const std::string key = std::string{char('0' + n / 10), char('0' + n % 10)};
        if (ini.ValueCount(key) < 1)
            continue;
        tracks++;
        const TPlaylistEntry& entry = Playlist[static_cast<size_t>(n)];
        EXPECT_GT(entry.Sound, 0) << "[Music] " << key;
        EXPECT_GT(entry.Length, 5000) << "[Music] " << key;
    }
    EXPECT_GE(tracks, 6);

    // Every set: the [SFX] entries, voices, falls, steps.
    ASSERT_FALSE(SfxList.empty());
    for (size_t i = 0; i < SfxList.size(); i++)
        for (const TSoundVariant& variant : SfxList[i].Variants)
            EXPECT_GT(variant.Sound, 0) << "set " << i << " (" << GlobalSounds[SfxList[i].Variants[0].Sound].FileName
                                        << ")";
    EXPECT_FALSE(DeathVoices.empty());
    EXPECT_FALSE(HurtVoices.empty());
    for (const auto& list : ArmorFallSounds)
        EXPECT_EQ(list.size(), 1u);
    for (const auto& list : ArmorStepSounds)
        EXPECT_EQ(list.size(), 1u);
    for (const auto& list : WeaponFallSounds)
        for (const TFallSounds& fall : list)
            EXPECT_GT(fall.Delay, 0);
}

TEST_F(SoundInstallationTest, SfxWordsNameBonusesAndArmours)
{
    TIniFile ini;
    ini.Load(MusicFolder + "Sounds.ini");
    ASSERT_TRUE(ini.SelectSection("SFX"));
    int32_t entries = 0;
    for (int32_t n = 0; n < 1000; n++) {
        const std::string prefix = std::string{char('0' + n / 100), char('0' + n / 10 % 10), char('0' + n % 10)};
        if (ini.ValueCount(prefix + "_Info") < 1)
            continue;
        entries++;
        const std::string category = LowerSoundWord(ini.ReadString(prefix + "_Info", 2));
        EXPECT_TRUE(category == "battle" || category == "gui") << prefix << ": " << category;
        for (int32_t i = 1; i <= ini.ValueCount(prefix + "_Attacker"); i++) {
            const std::string word = LowerSoundWord(ini.ReadString(prefix + "_Attacker", i));
            bool known = word == "distance";
            for (int32_t b = 1; b <= LastBonusType && !known; b++)
                known = word == LowerSoundWord(BonusNames[b]);
            EXPECT_TRUE(known) << prefix << "_Attacker: " << word;
        }
        for (int32_t i = 1; i <= ini.ValueCount(prefix + "_Receiver"); i++) {
            const std::string word = LowerSoundWord(ini.ReadString(prefix + "_Receiver", i));
            bool known = word == "shield" || word == "ghost";
            for (int32_t k = 0; k < ArmorKindCount && !known; k++)
                known = word == LowerSoundWord(ArmorKindNames[k]);
            EXPECT_TRUE(known) << prefix << "_Receiver: " << word;
        }
    }
    EXPECT_GE(entries, 8);
}

TEST_F(SoundInstallationTest, EveryWeaponOfTheSampleUnitsFalls)
{
    LoadSoundLibrary();
    TIniFile units;
    units.Load(std::string(DUSKMARCH_INSTALL) + "/Config/Units.Ini");
    int32_t weapons = 0;
    for (int32_t s = 0; s < units.SectionCount(); s++) {
        units.SelectSectionIndex(s);
        for (int32_t i = 1; i <= units.ValueCount("Weapon"); i++) {
            const std::string weapon = units.ReadString("Weapon", i);
            const TBonusType kind = BonusTypeByName("b" + weapon);
            if (kind < FallWeaponFirst || kind > FallWeaponLast)
                continue;
            weapons++;
            const auto& list = WeaponFallSounds[static_cast<size_t>(kind - FallWeaponFirst)];
            ASSERT_EQ(list.size(), 1u) << units.SectionName(s) << ": " << weapon;
            EXPECT_GT(SfxList[static_cast<size_t>(list[0].StoneSet)].Variants[0].Sound, 0) << weapon;
            EXPECT_GT(SfxList[static_cast<size_t>(list[0].SoilSet)].Variants[0].Sound, 0) << weapon;
        }
    }
    EXPECT_GT(weapons, 10);
}

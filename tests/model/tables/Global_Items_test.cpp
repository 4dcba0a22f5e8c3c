#include <gtest/gtest.h>

#include <string>

#include "model/tables/Global.h"
#include "tests/model/ModelTestSupport.h"

using ItemsTest = TTableTest;

TEST_F(ItemsTest, Fields)
{
    const std::string longName(60, 'L');
    Write("Config/Items.Ini",
          "[Sword]\r\nName=Short sword\r\nDescript=Plain\r\nMainType=Sword\r\nAlignment=Good\r\nSubType=1\r\n"
          "Cost=30\r\nStrength=12\r\nUnique=0\r\nEquipmentType=1\r\ndHit=5\r\ndMana=-2\r\ndWound=1\r\n"
          "MaxHits=10\r\nAbsAttackBlow=3\r\nPrcWill=-5\r\nMaxWill=70000\r\n"
          "BnsLive=Regeneration,Poisoned\r\nBnsAttack=bSword\r\nBnsSpirit=,Fearless\r\n"
          "[Relic]\r\nName=" +
              longName + "\r\nDescript=" + std::string(300, 'd') +
              "\r\nMainType=Item\r\n"
              "Unique=2\r\nEquipmentType=1\r\nCost=500\r\n"
              "[Odd]\r\nMainType=Lute\r\nAlignment=Chaotic\r\nUnique=1\r\nEquipmentType=2\r\n");
    Write("Config/Deu/Items.Deu", "[Sword]\r\nName=Kurzschwert\r\nDescript=Schlicht\r\n");
    SetGameLanguage("deu");
    LoadItems();

    ASSERT_EQ(ItemCount, 3);
    const TItems& sword = ItemTable[1];
    EXPECT_EQ(sword.MainType, static_cast<uint8_t>(TItemType::Sword));
    EXPECT_EQ(sword.Alignment, static_cast<uint8_t>(TAlignment::Good));
    EXPECT_EQ(sword.Cost, 30);
    EXPECT_EQ(sword.Strength, 12);
    EXPECT_EQ(sword.EquipmentType, 1);
    EXPECT_EQ(sword.dMana, -2);
    EXPECT_EQ(sword.Max[1], 10);
    EXPECT_EQ(sword.Abs[3], 3);
    EXPECT_EQ(sword.Prc[8], -5);
    EXPECT_EQ(sword.Max[8], static_cast<int16_t>(70000));
    const uint8_t bonuses[8] = {Regeneration, Poisoned, bSword, NoBonus, NoBonus, NoBonus, NoBonus, Fearless};
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(sword.Bonus[i], bonuses[i - 1]) << i;
    // The name follows the language copy; the description comes from the table alone.
    EXPECT_EQ(Utf8(ItemNames[1].Name), "Kurzschwert");
    EXPECT_EQ(sword.Name, "Kurzschwert");
    EXPECT_EQ(Utf8(ItemNames[1].Descript), "Plain");

    const TItems& relic = ItemTable[2];
    EXPECT_EQ(relic.EquipmentType, 4); // neither 0 nor 1 unique
    EXPECT_EQ(relic.Name, longName.substr(0, 50));
    EXPECT_EQ(Utf8(ItemNames[2].Name), longName);
    EXPECT_EQ(relic.Descript.size(), 250u);
    EXPECT_EQ(ItemMaxCost, 500);

    EXPECT_EQ(ItemTable[3].MainType, 0);
    EXPECT_EQ(ItemTable[3].Alignment, 0);
    EXPECT_EQ(ItemTable[3].EquipmentType, 2);
    EXPECT_EQ(ItemTable[1].Mesh, -1); // no model file
}

TEST_F(ItemsTest, IconNumbersAreOneBasedInByteOrder)
{
    Write("Config/Items.Ini", "[A]\r\nIconFileName=a.dds\r\n[B]\r\nIconFileName=Icons\\B.DDS\r\n"
                              "[C]\r\nIconFileName=c\r\n[Again]\r\nIconFileName=C.dds\r\n[None]\r\nIconFileName=\r\n"
                              "[Lost]\r\nIconFileName=zz.dds\r\n");
    for (const char* name : {"a.dds", "B.dds", "c.dds"})
        Write(std::string("Interface/Common/Icons/Items/") + name, "i");
    LoadItems();
    ASSERT_EQ(ItemIconLast, 3);
    EXPECT_EQ(ItemIconFiles[1], "B.dds");
    EXPECT_EQ(ItemIconFiles[2], "a.dds");
    EXPECT_EQ(ItemIconFiles[3], "c.dds");
    EXPECT_EQ(ItemIconSprites[0], 0);
    EXPECT_EQ(Render.Sprites[ItemIconSprites[1]].File, InterfaceFolder + "Common\\Icons\\Items\\B.dds");
    EXPECT_EQ(ItemTable[1].Image, 2);
    EXPECT_EQ(ItemTable[2].Image, 1); // the first sorted file is an icon too
    EXPECT_EQ(ItemTable[3].Image, 3);
    EXPECT_EQ(ItemTable[4].Image, 3); // one icon, two items
    EXPECT_EQ(ItemTable[5].Image, 0);
    EXPECT_EQ(ItemTable[6].Image, 0);
}

TEST_F(ItemsTest, ModIconsJoinTheSetOncePerName)
{
    UseMods("Extra");
    Write("Config/Items.Ini", "[A]\r\nIconFileName=Shield\r\n");
    Write("Interface/Common/Icons/Items/Shield.dds", "i");
    Write("Interface/Common/Icons/Items/Axe.dds", "i");
    Write("Mods/Extra/Interface/Common/Icons/Items/SHIELD.dds", "m");
    Write("Mods/Extra/Interface/Common/Icons/Items/Bow.dds", "m");
    LoadItems();
    ASSERT_EQ(ItemIconLast, 3);
    EXPECT_EQ(ItemIconFiles[1], "Axe.dds");
    EXPECT_EQ(ItemIconFiles[2], "Bow.dds");
    EXPECT_EQ(ItemIconFiles[3], "SHIELD.dds");
    EXPECT_EQ(ItemTable[1].Image, 3);
    // The listed copy of a name and the sprite both come from the mod.
    EXPECT_EQ(Render.Sprites[ItemIconSprites[3]].File,
              GameFolder + "Mods\\Extra\\interface\\common\\icons\\items\\shield.dds");
    EXPECT_EQ(Render.Sprites[ItemIconSprites[2]].File,
              GameFolder + "Mods\\Extra\\interface\\common\\icons\\items\\bow.dds");
}

TEST_F(ItemsTest, ModelsAndTextures)
{
    Write("Config/Items.Ini", "[Axe]\r\nName=Hand axe\r\nFileName=Models\\Axe01.d3d\r\n");
    const std::string model = WeaponsFolder + "Axe01.D3D";
    Render.MeshNames[model] = {"AxeMesh", "Other"};
    Render.MeshTextures[model] = {"Tex\\Axe_Diffuse.dds", "", "Axe_Normal.dds"};
    LoadItems();
    const TItems& axe = ItemTable[1];
    EXPECT_EQ(Render.MeshesAdded, std::vector<std::string>{"5 IID[1] Hand axe"});
    EXPECT_EQ(axe.Mesh, 1);
    EXPECT_EQ(Render.Textures[axe.MeshTextures[0]], WeaponsFolder + "Textures_Small\\Axe_Diffuse.DDS");
    EXPECT_EQ(axe.MeshTextures[1], 0);
    EXPECT_EQ(Render.Textures[axe.MeshTextures[2]], WeaponsFolder + "Textures_Small\\Axe_Normal.DDS");
    bool loaded = false, textured = false;
    for (const std::string& call : Render.Calls) {
        loaded |= call == "Mesh_Load 1 " + model + " 2 AxeMesh";
        textured |= call == "Mesh_SetTexture 1 2 " + std::to_string(axe.MeshTextures[2]);
    }
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(textured);
}

TEST_F(ItemsTest, ModelSettings)
{
    Write("settings.qxs", "[Models\\Sword01.D3D]\r\nGamma=3\r\nColorization_Color=8405024\r\nSpecularType=Phong\r\n"
                          "Shadow=Yes\r\nScale=80\r\nSpecular_SRE=40\r\n"
                          "[Bare]\r\n"
                          "[Shine]\r\nSpecularType=Kook-Torrance\r\nColorization_Color=255\r\n"
                          "[bare]\r\nGamma=9\r\n");
    TIniFile settings;
    settings.Load(Game("settings.qxs"));
    TModelSettings s;

    ReadModelSettings("sword01", settings, s);
    EXPECT_EQ(s.Gamma, 3);
    EXPECT_EQ(s.ColorizationColor[0], 1.0f); // 0x804020 scaled by its largest part
    EXPECT_EQ(s.ColorizationColor[1], 0.5f);
    EXPECT_EQ(s.ColorizationColor[2], 0.25f);
    EXPECT_EQ(s.ColorizationColor[3], 1.0f);
    EXPECT_EQ(s.SpecularType, 1);
    EXPECT_EQ(s.Shadow, 1);
    EXPECT_EQ(s.Scale, 80);
    EXPECT_EQ(s.SpecularSRE, 40);

    ReadModelSettings("Weapons\\BARE.d3d", settings, s); // the first matching section
    EXPECT_EQ(s.Gamma, 0);
    EXPECT_EQ(s.Shadow, 0);
    EXPECT_EQ(s.SpecularSRE, 100);
    EXPECT_EQ(s.Scale, 100);
    EXPECT_EQ(s.ColorizationColor[1], 1.0f);

    ReadModelSettings("Shine", settings, s);
    EXPECT_EQ(s.SpecularType, 2);
    EXPECT_EQ(s.ColorizationColor[0], 0.0f);
    EXPECT_EQ(s.ColorizationColor[2], 1.0f);

    ReadModelSettings("Unknown", settings, s);
    EXPECT_EQ(s.Shadow, 1);
    EXPECT_EQ(s.SpecularSRE, 0);
    EXPECT_EQ(s.Scale, 100);
}

TEST_F(ItemsTest, MissingFilesCreateNothing)
{
    Write("Config/Items.Ini", "[Axe]\r\nFileName=Axe\r\n");
    LoadItems();
    EXPECT_EQ(ItemCount, 1);
    EXPECT_EQ(ItemTable[1].Model.Shadow, 1); // no weapon settings: the defaults
    EXPECT_EQ(OS_GetFileAttributes(PersonagesFolder + "Settings\\Weapons.qxs"), INVALID_FILE_ATTRIBUTES);

    // Without Items.Ini the table stays as it was, but the icon set loads.
    std::remove((Folder.Path() + "Config/Items.Ini").c_str());
    Write("Interface/Common/Icons/Items/Axe.dds", "i");
    LoadItems();
    EXPECT_EQ(ItemCount, 1);
    EXPECT_EQ(ItemIconLast, 1);
    EXPECT_EQ(OS_GetFileAttributes(Game("Config\\Items.Ini")), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ItemsTest, MoreThan600ItemsAreSkipped)
{
    std::string text;
    for (int i = 1; i <= 602; ++i)
        text += "[I" + std::to_string(i) + "]\r\nCost=" + std::to_string(i) + "\r\n";
    Write("Config/Items.Ini", text);
    LoadItems();
    EXPECT_EQ(ItemCount, 600);
    EXPECT_EQ(ItemMaxCost, 600);
    EXPECT_EQ(TableLoadErrors.size(), 2u);
}

TEST_F(ItemsTest, CoatsOfArms)
{
    UseMods("Extra");
    Write("Interface/Common/Icons/Coats/Coat_Lion.DDS", "c");
    Write("Interface/Common/Icons/Coats/Coat_Boar.DDS", "c");
    Write("Interface/Common/Icons/Coats/Banner.DDS", "not a coat");
    Write("Mods/Extra/Interface/Common/Icons/Coats/Coat_Stag.DDS", "m");
    Write("Mods/Extra/Interface/Common/Icons/Coats/coat_lion.dds", "m");
    LoadCoatIcons();
    // The installation's in listing order, then each mod's; a name listed again
    // by a mod keeps only the mod's entry.
    EXPECT_EQ(CoatFiles, (TStringArray{"Coat_Boar.DDS", "coat_lion.dds", "Coat_Stag.DDS"}));
    EXPECT_EQ(CoatLast, 2);
    const TCoatIcon& boar = CoatIcons[0];
    const std::string c = InterfaceFolder + "Common\\Icons\\Coats\\";
    EXPECT_EQ(Render.Sprites[boar.Icon54].File, c + "Coat_Boar.DDS");
    EXPECT_EQ(Render.Sprites[boar.Icon54].Width, 54);
    EXPECT_EQ(Render.Sprites[boar.Icon54].StateKey, 768u);
    EXPECT_EQ(Render.Sprites[boar.Icon32].File, c + "32\\Coat_Boar.DDS");
    EXPECT_EQ(Render.Sprites[boar.Icon32].Width, 0); // its own size
    EXPECT_EQ(Render.Sprites[boar.Icon26].CloneOf, boar.Icon32);
    EXPECT_EQ(Render.Sprites[boar.Icon26].Width, 26);
    EXPECT_EQ(Render.Sprites[boar.Icon16].Height, 16);
    EXPECT_EQ(Render.Sprites[boar.Icon16].StateValue, 2u);
}

TEST_F(ItemsTest, Achievements)
{
    LoadAchievements();
    EXPECT_TRUE(AchievementDefs.empty());
    Write("Config/Achievements.Ini", "[First]\r\nUID=ACH_FIRST\r\nFileName=First.dds, First_Grey.dds\r\n"
                                     "NameEng=First blood\r\nNameDeu=Erstes Blut\r\nTextEng=Win a battle\r\n"
                                     "[Second]\r\nUID=ACH_SECOND\r\nNameEng=Traveller\r\n");
    SetGameLanguage("deu");
    LoadAchievements();
    ASSERT_EQ(AchievementDefs.size(), 2u);
    EXPECT_EQ(AchievementDefs[0].UID, "ACH_FIRST");
    EXPECT_EQ(AchievementDefs[0].IconFile, "First.dds");
    EXPECT_EQ(AchievementDefs[0].IconFile2, "First_Grey.dds");
    EXPECT_EQ(Utf8(AchievementDefs[0].Name), "Erstes Blut");
    EXPECT_EQ(Utf8(AchievementDefs[0].Text), "Win a battle");
    EXPECT_EQ(Utf8(AchievementDefs[1].Name), "Traveller"); // no German name: English
}

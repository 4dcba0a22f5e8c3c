// The party kit under test on the recording renderer: a window drawing into
// the scene "2D" made the active window, the kit's shared sprites as plain
// sprites of known indices, bar pictures of a known width loaded from a
// temporary installation, small rule tables with a swordsman in the player's
// army, and party-screen hooks that select him.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/Support.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PartyContext.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_DragItem.h"
#include "screens/kit/Duskmarch_Inventory.h"
#include "screens/kit/Duskmarch_PersIcon.h"
#include "tests/model/RulesTestSupport.h"
#include "tests/render/GUITestSupport.h"
#include "tools/TextureFiles.h"

class TPartyKitTest : public TGUITest, protected TRuleTables {
protected:
    void SetUp() override
    {
        TGUITest::SetUp();
        ResetTables();
        SetGameFolders(Folder.ProgramPath());
        Folder.WriteProgramFile("Interface\\Shaders\\Sprite_VS.bin", "//GLSL-VS\nvoid vs_main() {}\n");
        Folder.WriteProgramFile("Interface\\Shaders\\Sprite_PS.bin", "//GLSL-PS\nvoid ps_main() {}\n");
        Image("Interface\\Unknown.tga", 2, 2);
        MainRender = Render.get();
        GUIVirtualSize = {1, "GUI", 1600, 1200};
        Font = AddFixedFont(*Render, 8, 16);
        for (int32_t slot = 1; slot <= FontSlotCount; slot++)
            FontSlots[slot] = Font;
        HintFont = Font;
        TextsIni = new TIniFile();
        TextsIni->LoadFromMemory("Texts.ini", "[Texts]\nicHandLeft_Eng=Left hand\nsNoItem_Eng=(empty)\n"
                                              "BA_Cost_Eng=Cost: %%\nicSell_Eng=Sell\nicBuy_Eng=Buy\n"
                                              "UnitExpirience_Eng=Experience\nUnitLevel_Eng=Level\n"
                                              "Tent_Skills_Eng=Skills\n"
                                              "[Hints]\nInventoryButtonHint1_Eng=Weapons\nInventoryButtonHint2_Eng=x\n"
                                              "ItemEquip_NotSkill_Eng=Cannot use this\n");
        CreateHintList();

        Window = new TGUI_GraphicWindow(Render.get(), "Party_Window");
        Window->DrawScene = Scene;
        Windows.push_back(Window);
        OpenFirst(Window);
        Processor->ActiveWindow = Window;

        // The shared sprites: sprites of their own whose indices the draw
        // list shows.
        int32_t* icons[] = {&IconSprites.Selection,     &IconSprites.SelectionBattle, &IconSprites.SelectionHire,
                            &IconSprites.Locked,        &IconSprites.SlotArmy,        &IconSprites.SlotArmyActive,
                            &IconSprites.SlotMelee,     &IconSprites.SlotRange,       &IconSprites.SlotSupport,
                            &IconSprites.StatusWounded, &IconSprites.HorseShoe,       &IconSprites.ArrowUp,
                            &IconSprites.ArrowDown,     &IconSprites.ArrowsBoth,      &IconSprites.Mercenary,
                            &IconSprites.Companion,     &IconSprites.Dead,            &IconSprites.Wounded,
                            &IconSprites.NoMoney,       &IconSprites.NewLevelSign};
        for (int32_t* sprite : icons)
            *sprite = Look(8, 8);
        int32_t* kit[] = {&InventorySprites.SlotInventory, &InventorySprites.SlotInventoryGreen,
                          &InventorySprites.SlotInventoryRed, &InventorySprites.SlotShop,
                          &InventorySprites.SlotShopGreen, &InventorySprites.SlotShopRed,
                          &InventorySprites.SlotDefault, &InventorySprites.SlotCharacter,
                          &InventorySprites.SlotAmulets, &InventorySprites.Selection,
                          &InventorySprites.SelectionSmall, &InventorySprites.Locked,
                          &InventorySprites.SelectionList, &InventorySprites.TradeNormal,
                          &InventorySprites.TradePressed, &InventorySprites.TradeHover,
                          &InventorySprites.TradeDisabled};
        for (int32_t* sprite : kit)
            *sprite = Look(96, 96);
        Image("Interface\\Windows\\Common\\Bar.tga", 60, 8);
        BarFull = LoadSprite(WindowsFolder + "Common\\Bar.tga", 0);
        BarMissing = LoadSprite(WindowsFolder + "Common\\Bar.tga", 0);
        BarLost = LoadSprite(WindowsFolder + "Common\\Bar.tga", 0);

        SetKindBonuses();
        Sword = AddItem(TItemType::Sword);
        ItemTable[Sword].Cost = 100;
        Axe = AddItem(TItemType::Axe);
        ItemTable[Axe].Cost = 80;
        Potion = AddItem(TItemType::Potion);
        ItemTable[Potion].Cost = 30;
        TPersonage& type = AddType("Swordsman");
        type.Weapon[1] = static_cast<uint8_t>(TWeaponClass::Sword);
        SizeWorldTables(1, 1);
        ArmyUnits[PlayerArmy][1] = Make(UnitTypeCount);
        Hero = &ArmyUnits[PlayerArmy][1];

        PartyContext = {};
        PartyContext.SelectedPersonage = [](int32_t& army, int32_t& slot) {
            army = PlayerArmy;
            slot = 1;
            return SelectionOn;
        };
        PartyContext.InBuilding = [] { return InBuildingFlag; };
        PartyContext.RefreshTentPersonageModel = [](int32_t, int32_t, bool) { Redressed++; };
        PartyContext.TakeHorse = [] { return TakeHorseFlag; };
        SelectionOn = true;
        InBuildingFlag = false;
        TakeHorseFlag = false;
        Redressed = 0;
        DragItem.Init();
        Drawn();
    }

    void TearDown() override
    {
        DragItem.Init();
        PartyContext = {};
        IconSprites = {};
        InventorySprites = {};
        FreeHintList();
        delete TextsIni;
        TextsIni = nullptr;
        for (int32_t slot = 1; slot <= FontSlotCount; slot++)
            FontSlots[slot] = -1;
        HintFont = -1;
        ResetTables();
        TGUITest::TearDown();
        MainRender = nullptr;
        GUIVirtualSize = {};
    }

    void Image(const std::string& relative, int width, int height)
    {
        Write(relative, TextureFiles::MakeTGA32(static_cast<uint16_t>(width), static_cast<uint16_t>(height),
                                                std::vector<uint8_t>(static_cast<size_t>(width * height * 4), 0xFF)));
    }

    // The draws of one sprite in the last batch.
    static std::vector<TDrawn> Of(const std::vector<TDrawn>& drawn, int32_t sprite)
    {
        std::vector<TDrawn> found;
        for (const TDrawn& d : drawn)
            if (d.Sprite == sprite)
                found.push_back(d);
        return found;
    }

    int32_t Font = -1;
    TGUI_GraphicWindow* Window = nullptr;
    int32_t BarFull = -1, BarMissing = -1, BarLost = -1;
    int32_t Sword = 0, Axe = 0, Potion = 0;
    TPersonage* Hero = nullptr;
    static inline bool SelectionOn = true;
    static inline bool InBuildingFlag = false;
    static inline bool TakeHorseFlag = false;
    static inline int32_t Redressed = 0;
};

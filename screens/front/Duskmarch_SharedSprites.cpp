#include "screens/front/Duskmarch_SharedSprites.h"

#include <numbers>

#include "engine/QX9_System.h"
#include "model/Support.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Loading.h"

int32_t HexCircleMesh = -1;
int32_t HexPartMeshes[3][6] = {{-1, -1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1, -1}};
int32_t HexFlatArrowMesh = -1;
int32_t WayArrowMesh = -1;

namespace {

constexpr uint32_t Gold = 0xFFC461; // 255, 196, 97

// Loads a mesh of the interface's "Common\" folder when the file is there.
int32_t LoadCommonMesh(const std::string& file, const std::string& mesh, const std::string& slot)
{
    const std::string path = InterfaceFolder + "Common\\" + file;
    if (!FileExistsMask(path))
        return -1;
    return LoadMesh(MESH_TEXTURED, path, mesh, slot);
}

} // namespace

void LoadSharedMeshes()
{
    HexCircleMesh = LoadCommonMesh("Hex_Circle.D3D", "", "Hex_Circle");
    const char* const sides[3] = {"HexPart_R", "HexPart_C", "HexPart_L"};
    for (int32_t s = 0; s < 3; s++)
        for (int32_t k = 1; k <= 6; k++) {
            const std::string name = std::string(sides[s]) + "0" + Int64ToStr(k, false);
            const int32_t slot = LoadCommonMesh("Hex_Parts.D3D", name, name);
            HexPartMeshes[s][k - 1] = slot;
            if (T3D_Mesh* mesh = MainRender->Mesh_Get(slot)) {
                mesh->Scale(0.8f);
                mesh->Rotate(0, std::numbers::pi_v<float> / 2);
            }
        }
    HexFlatArrowMesh = LoadCommonMesh("Hex_FlatArrow.D3D", "", "Hex_FlatArrow");
    if (T3D_Mesh* mesh = MainRender->Mesh_Get(HexFlatArrowMesh)) {
        mesh->Scale(0.33f);
        mesh->Translate(0.15f, 0.02f, 0);
    }
    WayArrowMesh = LoadCommonMesh("Way_Arrow.D3D", "Pass_arrow", "Way_Arrow");
}

const TSharedSpriteEntry SharedSpriteEntries[] = {
    {"I", "Common\\Army_Locked", 86, 71, 2, 2},
    {"I", "Common\\Army_Selection", 95, 75},
    {"I", "Common\\Army_Selection", 85, 70},
    {"I", "Common\\Army_Selection", 80, 70, -5, -2},
    {"I", "Common\\Saving_Icon", 0, 0, -8, -16, 0, -1, 0.5f},
    {"I", "Common\\HEX_grid"},
    {"I", "Common\\HEX_grid"},
    {"I", "Common\\Invent_Selection", 96, 96, 0, 0, 0, 140},
    {"I", "Common\\Invent_Selection", 70, 70, 0, 0, 0, 140},
    {"I", "Common\\Invent_Selection_Long", 96, 375},
    {"I", "Common\\Invent_Selection_List"},
    {"I", "Common\\Item_Locked", 91, 91, 2, 2},
    {"I", "Common\\Army_Selection", 90, 76, 0, 0, Gold},
    {"I", "Common\\Invent_Selection", 77, 77, 0, 0, Gold},
    {"I", "Common\\MiniButton_Ok"},
    {"I", "Common\\MiniButton_Ok_Putted"},
    {"I", "Common\\MiniButton_Ok_Lighten"},
    {"I", "Common\\MiniButton_Cancel"},
    {"I", "Common\\MiniButton_Cancel_Putted"},
    {"I", "Common\\MiniButton_Cancel_Lighten"},
    {"W", "Common\\slot_army"},
    {"W", "Common\\slot_army_active"},
    {"W", "Common\\slot_melee"},
    {"W", "Common\\slot_range"},
    {"W", "Common\\slot_support"},
    {"W", "Common\\slot_talent_inactive", 0, 0, -14, -9},
    {"W", "Common\\slot_talent_active", 0, 0, -14, -9},
    {"W", "Common\\button_trade_inactive"},
    {"W", "Common\\button_trade_inactive"},
    {"W", "Common\\button_trade_click"},
    {"W", "Common\\button_trade_click"},
    {"W", "Common\\button_trade_active"},
    {"W", "Common\\button_trade_active"},
    {"W", "Common\\button_trade_disabled"},
    {"W", "Common\\button_trade_disabled"},
    {"W", "Common\\Icons\\Weapon_Sword.tga"},
    {"W", "Common\\Icons\\Weapon_Bow.tga"},
    {"W", "Common\\Icons\\Charact_SpellPower.tga"},
    {"W", "Common\\Icons\\Charact_Health.tga"},
    {"W", "Common\\Icons\\Charact_WoundHeal.tga"},
    {"W", "Common\\Icons\\Charact_Initiative.tga"},
    {"W", "Common\\Icons\\Charact_MeleeArmor.tga"},
    {"W", "Common\\Icons\\Charact_DistantArmor.tga"},
    {"W", "Common\\Icons\\Charact_Willpower.tga"},
    {"W", "Common\\Icons\\Status_Wounded.tga"},
    {"W", "Common\\Icons\\HorseShoe.tga"},
    {"W", "Common\\Icons\\Icon_Arrow_Up.tga"},
    {"W", "Common\\Icons\\Icon_Arrow_Down.tga"},
    {"W", "Common\\Icons\\Icon_Arrows_Both.tga"},
    {"W", "Common\\Icons\\Unit_Companion.tga"},
    {"W", "Common\\Icons\\Unit_Vedidize.tga"},
    {"W", "Common\\Icons\\Unit_Mercenary.tga"},
    {"W", "Common\\Icons\\NoIcon.tga"},
    {"W", "_OldGraphics\\Gold"},
    {"W", "_OldGraphics\\NewLevelSign"},
    {"I", "Common\\Icons\\Items\\Trophy_04.DDS", 89, 89},
    {"I", "Common\\Icons\\Abilities\\Sandglass_Simple.tga"},
    {"I", "Common\\Icons\\Abilities\\Sandglass_Lighten.tga"},
    {"I", "Common\\Icons\\Abilities\\Sandglass_Putted.tga"},
    {"I", "Common\\Icons\\Abilities\\Retreat_Simple.tga"},
    {"I", "Common\\Icons\\Abilities\\Retreat_Lighten.tga"},
    {"I", "Common\\Icons\\Abilities\\Retreat_Putted.tga"},
    {"W", "Inventory\\Dead.tga"},
    {"W", "Inventory\\Wounded.tga"},
    {"W", "Inventory\\NoMoney.tga"},
    {"W", "Inventory\\slot_character"},
    {"W", "Inventory\\slot_amulets"},
    {"W", "Inventory\\slot_default"},
    {"W", "Inventory\\slot_inventory"},
    {"W", "Inventory\\slot_inventory"},
    {"W", "Inventory\\slot_inventory_green"},
    {"W", "Inventory\\slot_inventory_red"},
    {"W", "Tent\\talent_arrow_inactive"},
    {"W", "Tent\\talent_arrow_inactive_02"},
    {"W", "Tent\\talent_arrow_inactive_03"},
    {"W", "Tent\\talent_arrow_active"},
    {"W", "Tent\\talent_arrow_active_02"},
    {"W", "Tent\\talent_arrow_active_03"},
    {"W", "Tent\\talent_arrow_inactive"},
    {"W", "Tent\\talent_arrow_inactive_02"},
    {"W", "Tent\\talent_arrow_inactive_03"},
    {"W", "Tent\\talent_arrow_active"},
    {"W", "Tent\\talent_arrow_active_02"},
    {"W", "Tent\\talent_arrow_active_03"},
    {"I", "Tent\\Inventory_Lable"},
    {"I", "Tent\\Inventory_Lable"},
    {"I", "Tent\\Arrow"},
    {"W", "Building\\slot_shop_inactive"},
    {"W", "Building\\slot_shop_inactive_green"},
    {"W", "Building\\slot_shop_inactive_red"},
    {"W", "Building\\slot_shop_active"},
    {"W", "Building\\slot_shop_active_green"},
    {"W", "Building\\slot_shop_active_red"},
    {"W", "SaveLoad\\slot_save2"},
    {"W", "SaveLoad\\slot_save_glow2"},
    {"W", "SaveLoad\\slot_save_glow2", 0, 0, 2, 0},
    {"W", "SaveLoad\\slot_save_glow2"},
};
const int32_t SharedSpriteCount = static_cast<int32_t>(sizeof(SharedSpriteEntries) / sizeof(SharedSpriteEntries[0]));
int32_t SharedSprites[sizeof(SharedSpriteEntries) / sizeof(SharedSpriteEntries[0])] = {};

std::string SharedSpriteFile(const TSharedSpriteEntry& entry)
{
    const std::string folder = entry.Folder[0] == 'W' ? WindowsFolder : InterfaceFolder;
    std::string name = entry.Name;
    const size_t slash = name.rfind('\\');
    if (name.find('.', slash == std::string::npos ? 0 : slash) == std::string::npos)
        name += ".DDS";
    return folder + name;
}

int32_t FindSharedSprite(const std::string& name, int32_t nth)
{
    for (int32_t i = 0; i < SharedSpriteCount; i++)
        if (name == SharedSpriteEntries[i].Name && nth-- == 0)
            return SharedSprites[i];
    return -1;
}

void LoadSharedSprites()
{
    MainRender->Texture_SetLoadOptions(3, 1);
    for (int32_t i = 0; i < SharedSpriteCount; i++) {
        const TSharedSpriteEntry& entry = SharedSpriteEntries[i];
        SharedSprites[i] = LoadSprite(SharedSpriteFile(entry), 1);
        T3D_Sprite* sprite = MainRender->Sprite_Get(SharedSprites[i]);
        if (sprite == nullptr)
            continue;
        if (entry.Scale > 0)
            sprite->ScaleQuad(0, entry.Scale, entry.Scale);
        if (entry.Width > 0)
            sprite->SetSize(-1, entry.Width, entry.Height);
        if (entry.MoveX != 0 || entry.MoveY != 0)
            sprite->SetPosition(entry.MoveX, entry.MoveY);
        if (entry.Tint != 0)
            sprite->SetColor(entry.Tint, -1);
        if (entry.Alpha >= 0)
            sprite->SetAlpha(entry.Alpha, -1);
    }
    // The saving indicator's text, at 0.7 of the regular font's size.
    if (TextsIni != nullptr) {
        TextsIni->SelectSection("Texts");
        const std::u16string text = TextsIni->ReadWideString("Saving" + LanguageSuffix, -1);
        if (T3D_Font* font = MainRender->Font_Get(FontSlots[2])) {
            SavingTextSprite = NewInterfaceSprite();
            font->PrintTextWide(text, SavingTextSprite, -1000, 0);
            if (T3D_Sprite* sprite = MainRender->Sprite_Get(SavingTextSprite))
                sprite->ScaleQuad(0, 0.7f, 0.7f);
        }
    }
}

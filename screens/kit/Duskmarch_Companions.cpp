#include "screens/kit/Duskmarch_Companions.h"

#include "model/Support.h"
#include "model/personage/Personage_Rules.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base_Hints.h"

TAdditionalPersonage AdditionalPersonage;

namespace {

constexpr int32_t NameListCapacity = 12;

// The render-state field of a sprite's texture sampling.
constexpr int32_t PortraitSamplerField = 768;

std::string AnchorName(int32_t i)
{
    return "s_Companion" + std::to_string(i + 1);
}

std::u16string Widen(const std::string& text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (const char c : text)
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return wide;
}

} // namespace

std::vector<int32_t> CollectCompanions()
{
    std::vector<int32_t> found;
    if (ArmyItems.empty() || GameArmies.empty())
        return found;
    const TIntArray& items = ArmyItems[PlayerArmy];
    const int32_t count = GameArmies[PlayerArmy].ItemCount;
    for (int32_t j = 1; j <= count && static_cast<size_t>(j) < items.size(); j++) {
        if (ItemMainType(items[static_cast<size_t>(j)]) != static_cast<int32_t>(TItemType::NPC))
            continue;
        if (found.size() == static_cast<size_t>(CompanionSlots))
            break;
        found.push_back(items[static_cast<size_t>(j)]);
    }
    return found;
}

void TAdditionalPersonage::Create(TGUI_GraphicWindow* window)
{
    Window = window;
    Portraits.assign(CompanionSlots, nullptr);
    NameLists.assign(CompanionSlots, nullptr);
    Names.assign(CompanionSlots, std::u16string());
    for (int32_t i = 0; i < CompanionSlots; i++) {
        auto* portrait = new TGUI_Object(MainRender);
        portrait->Visible = 0;
        portrait->Enabled = 0;
        portrait->X = 100;
        portrait->Y = -200;
        portrait->Sprite = MainRender != nullptr ? NewInterfaceSprite() : -1;
        portrait->OnEnter = CompanionHint;
        portrait->Tag = i;
        // Two lines show; the capacity takes a name of any length wrapped to
        // the narrow width, which would otherwise overflow the list.
        auto* list = new TGUI_StringList(MainRender, NameListCapacity);
        list->Visible = 0;
        list->Enabled = 0;
        list->X = portrait->X;
        list->Y = portrait->Y;
        list->Width = 78;
        list->Blending = 2;
        list->SetHeight(80);
        Portraits[static_cast<size_t>(i)] = portrait;
        NameLists[static_cast<size_t>(i)] = list;
        if (window != nullptr) {
            window->AddObject(portrait, "", 0);
            window->MoveObjectFirst(portrait);
            window->AddObject(list, "", 0);
        }
    }
}

void TAdditionalPersonage::Refresh()
{
    if (Portraits.size() != static_cast<size_t>(CompanionSlots))
        return;
    std::vector<bool> taken(CompanionSlots, false);
    const std::vector<int32_t> companions = CollectCompanions();
    for (size_t i = 0; i < companions.size(); i++) {
        const int32_t item = companions[i];
        taken[i] = true;
        TGUI_Object* portrait = Portraits[i];
        portrait->Visible = 1;
        if (MainRender != nullptr) {
            T3D_Sprite* sprite = MainRender->Sprite_Get(portrait->Sprite);
            const TItems* entry = FindItem(item);
            if (sprite != nullptr && entry != nullptr && entry->Image > 0 &&
                entry->Image < static_cast<int32_t>(ItemIconSprites.size()))
                if (const T3D_Sprite* icon = MainRender->Sprite_Get(ItemIconSprites[static_cast<size_t>(entry->Image)]))
                    sprite->SetTexture(icon->Texture, 0);
            if (sprite != nullptr)
                sprite->SetRenderState(PortraitSamplerField, 2);
        }
        const TItems* entry = FindItem(item);
        Names[i] = entry != nullptr ? Widen(entry->Name) : std::u16string();
        TGUI_StringList* list = NameLists[i];
        list->Clear();
        list->AddText(Names[i], FontSlots[16], FontSlots[16], 2, 0xFFFFFFFFu, -1000);
    }
    if (Window == nullptr)
        return;
    const int32_t step = Window->GetValue("s_Companion2.X") - Window->GetValue("s_Companion1.X");
    const int32_t start = Window->GetValue("s_Companion1.X") + 3;
    // The frame stands behind the portraits while there are any.
    Window->SetVariable("frame.Visible", companions.empty() ? "0" : "1", true);
    Window->SetVariable("b_Companions.Visible", "0", true);
    for (int32_t i = 0; i < CompanionSlots; i++) {
        TGUI_Object* portrait = Portraits[static_cast<size_t>(i)];
        Window->SetVariable(AnchorName(i) + ".Visible", taken[static_cast<size_t>(i)] ? "1" : "0", true);
        if (taken[static_cast<size_t>(i)]) {
            portrait->X = step * i + start;
            portrait->Y = 10;
        } else {
            portrait->X = 0;
            portrait->Y = 0;
            portrait->Visible = 0;
        }
    }
    Window->Arrange();
    for (int32_t i = 0; i < CompanionSlots; i++) {
        const bool on = taken[static_cast<size_t>(i)];
        TGUI_Object* portrait = Portraits[static_cast<size_t>(i)];
        TGUI_StringList* list = NameLists[static_cast<size_t>(i)];
        portrait->Enabled = on ? 1 : 0;
        list->Visible = on ? 1 : 0;
        list->Enabled = on ? 1 : 0;
        if (on) {
            // The name stands under the portrait.
            list->X = portrait->X;
            list->Y = portrait->Y + 80;
            Window->MoveObjectFirst(portrait);
        }
    }
}

void TAdditionalPersonage::HideAll()
{
    if (Window != nullptr)
        Window->SetVariable("b_Companions.Visible", "1", true);
    for (size_t i = 0; i < Portraits.size(); i++) {
        Portraits[i]->Visible = Portraits[i]->Enabled = 0;
        NameLists[i]->Visible = NameLists[i]->Enabled = 0;
    }
    if (Window == nullptr)
        return;
    for (int32_t i = 0; i < CompanionSlots; i++)
        Window->SetVariable(AnchorName(i) + ".Visible", "0", true);
    Window->SetVariable("frame.Visible", "0", true);
    Window->Arrange();
}

void TAdditionalPersonage::Destroy()
{
    for (size_t i = 0; i < Portraits.size(); i++) {
        if (Window != nullptr) {
            Window->RemoveObject(Portraits[i]);
            Window->RemoveObject(NameLists[i]);
        }
        if (Portraits[i]->Sprite >= 0 && MainRender != nullptr)
            MainRender->Sprite_Free(Portraits[i]->Sprite);
        delete Portraits[i];
        delete NameLists[i];
    }
    Portraits.clear();
    NameLists.clear();
    Names.clear();
    Window = nullptr;
}

void CompanionHint(TGUI_Object* portrait)
{
    if (portrait == nullptr || portrait->Tag < 0 || portrait->Tag >= CompanionSlots ||
        AdditionalPersonage.Names.size() != static_cast<size_t>(CompanionSlots))
        return;
    THint& hint = MainHint();
    hint.Attach(HintCloseAwayFromOwner, HintOpenOverOwner, portrait, true, -1);
    hint.Clear(HintSmallFrame, 0);
    hint.NewLine();
    if (TGUI_StringList* list = hint.GetLineList())
        list->AddText(AdditionalPersonage.Names[static_cast<size_t>(portrait->Tag)], HintFont, HintFont, 1,
                      HintTextColour, -1000);
    hint.Layout();
}

void ShowCompanionsPanel(TGUI_Object*)
{
    AdditionalPersonage.Refresh();
}

void HideCompanionsPanel(TGUI_Object*)
{
    AdditionalPersonage.HideAll();
}

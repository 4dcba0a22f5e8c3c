#include "screens/kit/Duskmarch_InfoWindows.h"

#include <algorithm>

#include "engine/QX9_Sound.h"
#include "model/Support.h"
#include "model/ai/AIMain_Strategy.h"
#include "model/personage/Personage.h"
#include "model/save/BetaLog.h"
#include "model/scenario/ScenarioMap_Records.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/tables/BuildingType.h"
#include "model/tables/Global.h"
#include "model/world/Army_Formation.h"
#include "model/world/World_Access.h"
#include "model/world/World_Economy.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_Base_Sound.h"

TPersonageInfoPopup PersonageInfoPopup;
TBuildingInfoPopup BuildingInfoPopup;
TArmyInfoPopup ArmyInfoPopup;

namespace {

struct TCellPlace {
    int32_t X, Y;
    uint8_t Kind;
    int32_t Slot; // 0: the cell shows no equipment slot
};
// Cell 11 stands in the corner and shows nothing.
constexpr TCellPlace CellPlaces[PopupCellCount] = {
    {482, 46, 21, 5},  {482, 87, 21, 6},   {622, 46, 21, 7},   {622, 87, 21, 8},  {603, 129, 20, 2},
    {479, 129, 20, 1}, {541, 26, 20, 3},   {541, 108, 20, 4},  {496, 196, 21, 9}, {608, 196, 21, 10},
    {1, 1, 21, 0},     {541, 243, 20, 12}, {479, 243, 20, 13}, {603, 243, 20, 14}};

struct TServicePlace {
    const char* File;
    const char* HintKey;
    int32_t OffsetX;
};
constexpr TServicePlace ServicePlaces[ServiceIconCount] = {{"info_icons_03", "BuildingCure", 160},
                                                           {"info_icons_02", "BuildingHiring", 220},
                                                           {"info_icons_01", "BuildingTrade", 280},
                                                           {"info_icons_05", "BuildingIncome", 340}};
constexpr int32_t ServiceIconY = 245;
constexpr float PopupPortraitWidth = 174;
constexpr float PopupPortraitHeight = 146;
constexpr int32_t BottomHalfY = 340;

std::u16string TextOf(const std::string& section, const std::string& key)
{
    if (TextsIni == nullptr)
        return {};
    TextsIni->SelectSection(section);
    return GetLocalizedText(*TextsIni, key);
}

void SpriteSize(int32_t sprite, int32_t& width, int32_t& height)
{
    width = height = 0;
    if (!SpriteImageSize(sprite, width, height))
        width = height = 0;
}

TGUI_GraphicWindow* MakePopupWindow(const std::string& name, void (*handler)(int32_t, TGUI_Window*))
{
    auto* window = new TGUI_GraphicWindow(MainRender, name);
    window->Handler = handler;
    if (ConsoleEditLine != nullptr)
        window->AddObject(ConsoleEditLine, "", 0);
    return window;
}

TGUI_Object* MakeCatcher(TGUI_GraphicWindow* window)
{
    auto* catcher = new TGUI_Object(MainRender);
    window->AddObject(catcher, "catcher", 0);
    return catcher;
}

TGUI_Label* MakeLabel(TGUI_GraphicWindow* window, const std::string& name, int32_t fontSlot)
{
    auto* label = new TGUI_Label(MainRender);
    label->Align = 2;
    label->Enabled = 0;
    if (fontSlot > 0 && fontSlot <= FontSlotCount)
        label->SetFont(FontSlots[fontSlot]);
    window->AddObject(label, name, 0);
    return label;
}

void PlaySoundOnce(int32_t sound)
{
    if (SoundDevice != nullptr && sound > 0)
        Sound_Play(sound, true, false);
}

void FillDescription(TGUI_StringList* list, const std::u16string& text, int32_t height)
{
    if (list == nullptr)
        return;
    list->Clear();
    const int32_t font = FontSlots[25];
    list->AddText(text, font, font, 2, 0xFFFFFFFFu, -1000);
    for (int32_t slot = 1; slot <= FontSlotCount; slot++)
        if (FontSlots[slot] >= 0)
            list->SetLineSpacing(FontSlots[slot], 0.85f);
    list->MarginY = std::max(0, (height - list->GetTextHeight()) / 2);
}

// The window's size and place; the catcher covers it.
void PlaceWindow(TGUI_GraphicWindow* window, TGUI_Object* catcher, int32_t x, int32_t y, int32_t width, int32_t height)
{
    window->Width = width;
    window->Height = height;
    int32_t left = 0, top = 0;
    PlacePopup(x, y, width, height, GUIVirtualSize.Width, GUIVirtualSize.Height, left, top);
    window->MoveTo(left, top);
    if (catcher != nullptr) {
        catcher->X = window->X;
        catcher->Y = window->Y;
        catcher->Width = width;
        catcher->Height = height;
    }
}

void SetDrawScene(TGUI_GraphicWindow* window, const std::string& sceneName)
{
    if (MainRender != nullptr)
        if (const T3D_Scene* scene = MainRender->Scene_Find(sceneName))
            window->DrawScene = scene->Index;
}

void DrawCoat(int32_t coat, int32_t x, int32_t y)
{
    if (coat > 0 && coat <= CoatLast && static_cast<size_t>(coat) < CoatIcons.size())
        DrawSpriteAt(CoatIcons[static_cast<size_t>(coat)].Icon54, x, y, -1);
}

// The frame's end shared by the pop-ups: hints, the console, the scene.
void FinishPopupFrame(TGUI_Window* window)
{
    UpdateAllHints();
    UpdateConsole();
    RenderAndPresentScene(window->DrawScene);
}

// The mouse left the window, or the right button went up this frame. The
// button that opened the pop-up is swallowed by the window's showing, so its
// release shows as the button neither down nor swallowed any more.
bool PopupShouldClose(const TGUI_Window* window)
{
    const TGUI_KeyState& right = GUI_Keys[GUI_KEY_RBUTTON];
    return window->Hovered < 0 || right.Released != 0 || (right.Down == 0 && right.Swallowed == 0);
}

void ServiceHint(TGUI_Object* object)
{
    for (int32_t i = 0; i < ServiceIconCount; i++) {
        if (BuildingInfoPopup.Services[i].GuiObject != object)
            continue;
        std::u16string text = BuildingInfoPopup.ServiceHints[i];
        const int32_t b = BuildingInfoPopup.Building;
        if (i == ServiceIncome && IsWorldBuilding(b)) {
            const int32_t income = MapBuildings[b].IncomeBonus * CurrentDifficulty().HeroIncome / 100;
            const int32_t receiving = GameBuildings[static_cast<size_t>(b)].CapturedFrom;
            text = FormatIncomeHint(text, income,
                                    IsWorldBuilding(receiving) ? StripTextComment(BuildingTexts[receiving].Name)
                                                               : std::u16string());
        }
        THint& hint = MainHint();
        hint.Attach(HintCloseAwayFromOwner, HintOpenOverOwner, object, true, -1);
        hint.Clear(HintSmallFrame, 0);
        hint.NewLine();
        if (TGUI_StringList* list = hint.GetLineList())
            list->AddText(text, HintFont, HintFont, 1, HintTextColour, -1000);
        hint.Layout();
        return;
    }
}

// Objects added to a window stay the adder's: out of the window and freed.
template <typename T> void FreeObject(TGUI_GraphicWindow* window, T*& object)
{
    if (object == nullptr)
        return;
    if (window != nullptr)
        window->RemoveObject(object);
    delete object;
    object = nullptr;
}

void FreeWindow(TGUI_GraphicWindow*& window)
{
    if (window == nullptr)
        return;
    GUI_OpenWindows.erase(std::remove(GUI_OpenWindows.begin(), GUI_OpenWindows.end(), window), GUI_OpenWindows.end());
    if (ConsoleEditLine != nullptr)
        window->RemoveObject(ConsoleEditLine);
    delete window;
    window = nullptr;
}

} // namespace

void PersonageInfoScreen_Free(TPersonageInfoPopup& popup)
{
    TGUI_GraphicWindow* window = popup.Window;
    for (TInventoryCell& cell : popup.Cells)
        cell.Destroy();
    popup.InfoPanel.Destroy();
    popup.SignsPanel.Destroy();
    if (popup.PortraitObject != nullptr)
        FreeSprite(popup.PortraitObject->Sprite);
    FreeObject(window, popup.PortraitObject);
    FreeObject(window, popup.SkillsLabel);
    FreeObject(window, popup.Catcher);
    FreeSprite(popup.Background);
    FreeSprite(popup.HorseFrame);
    if (PersonageInfoWindow == window)
        PersonageInfoWindow = nullptr;
    FreeWindow(popup.Window);
    popup.Shown = nullptr;
}

void BuildingInfoScreen_Free(TBuildingInfoPopup& popup)
{
    TGUI_GraphicWindow* window = popup.Window;
    popup.Panel.Destroy();
    for (TServiceIcon& icon : popup.Services) {
        if (icon.GuiObject != nullptr)
            FreeSprite(icon.GuiObject->Sprite);
        FreeObject(window, icon.GuiObject);
        icon.Window = nullptr;
    }
    for (TGUI_Label** label :
         {&popup.TitleLabel, &popup.RelationLabel, &popup.GarrisonLabel, &popup.IncomeLabel, &popup.ShareLabel})
        FreeObject(window, *label);
    FreeObject(window, popup.DescriptionList);
    FreeObject(window, popup.Catcher);
    for (int32_t* sprite : {&popup.TopBackground, &popup.BottomBackground, &popup.GoldIcon, &popup.CastleIcon})
        FreeSprite(*sprite);
    FreeWindow(popup.Window);
    popup.Building = 0;
}

void ArmyInfoScreen_Free(TArmyInfoPopup& popup)
{
    TGUI_GraphicWindow* window = popup.Window;
    popup.Panel.Destroy();
    for (TGUI_Label** label : {&popup.TitleLabel, &popup.RelationLabel, &popup.CaptionLabel})
        FreeObject(window, *label);
    FreeObject(window, popup.DescriptionList);
    FreeObject(window, popup.Catcher);
    FreeSprite(popup.TopBackground);
    FreeSprite(popup.BottomBackground);
    FreeWindow(popup.Window);
    popup.Army = 0;
}

// ---------------------------------------------------------------------------
// Pure rules

void PlacePopup(int32_t x, int32_t y, int32_t width, int32_t height, int32_t guiWidth, int32_t guiHeight, int32_t& left,
                int32_t& top)
{
    left = std::max(0, x - width / 2);
    top = std::max(0, y - height / 2);
    left = std::min(left, guiWidth - width);
    top = std::min(top, guiHeight - height);
}

std::u16string FormatIncomeHint(const std::u16string& text, int32_t income, const std::u16string& receivingName)
{
    const std::string digits = std::to_string(income);
    std::u16string result = ReplaceAll(text, u"[#]", std::u16string(digits.begin(), digits.end()));
    const size_t marker = result.find(u"<>");
    if (!receivingName.empty()) {
        if (marker != std::u16string::npos)
            result.erase(marker, 2);
        return result + u" " + receivingName;
    }
    if (marker != std::u16string::npos)
        result.resize(marker);
    return result;
}

int32_t GetBuildingShownArmy(int32_t negativeBuilding)
{
    const int32_t b = -negativeBuilding;
    const int32_t garrison = b + ArmyCount;
    if (const TGameArmy* g = FindArmy(garrison))
        for (int32_t row = 0; row < 3; row++)
            for (int32_t column = 0; column < 6; column++)
                if (g->Formation[row][column] != 0)
                    return garrison;
    int32_t last = 0;
    for (int32_t a = 1; a <= ArmyCount; a++) {
        const TGameArmy* army = FindArmy(a);
        if (army == nullptr || army->Building != b || army->Active == 0)
            continue;
        if (GetRelation(PlayerArmy, a, false) < 0)
            return a;
        last = a;
    }
    return last != 0 ? last : garrison;
}

// The scenario record's garrison flag, with the garrison neither switched
// off nor the building closed.
bool BuildingAllowsGarrison(int32_t building)
{
    if (!IsWorldBuilding(building))
        return false;
    const TMapBuilding& record = MapBuildings[building];
    return record.HasGarrison != 0 && record.GarrisonInactive == 0 && record.Closed == 0;
}

bool BuildingServiceShown(int32_t building, int32_t service)
{
    if (!IsWorldBuilding(building))
        return false;
    const TMapBuilding& record = MapBuildings[building];
    const TGameBuilding& state = GameBuildings[static_cast<size_t>(building)];
    switch (service) {
    case ServiceCure:
        return record.ServiceC != 0 && state.HealingOpen != 0;
    case ServiceHiring:
        return record.HasHire != 0 && state.HireOpen != 0 && CountHireSlots(building, false) > 0 &&
               CountOpenHireSlots(building, PlayerArmy) > 0;
    case ServiceTrade:
        return record.HasShop != 0 && record.TradeClosed == 0 && state.ShopOpen != 0;
    case ServiceIncome:
        return record.IncomeBonus > 0;
    default:
        return false;
    }
}

const char* BuildingRelationKey(int32_t building, uint32_t& colour)
{
    if (IsWorldBuilding(building) && GameBuildings[static_cast<size_t>(building)].OwnerArmy == PlayerArmy) {
        colour = RelationOwnColour;
        return "InfoRelationship_Own";
    }
    const int32_t relation = GetRelation(PlayerArmy, -building, false);
    if (relation < 0) {
        colour = RelationHostileColour;
        return "InfoRelationship_Hostile";
    }
    if (relation > 0) {
        colour = RelationFriendlyColour;
        return "InfoRelationship_Friendly";
    }
    colour = RelationNeutralColour;
    return "InfoRelationship_Neutral";
}

void ResumeMapClockAfterPopup()
{
    MapClockResumeTime = MapClockPaused != 0 ? 0 : GetFrameTime(false);
}

// ---------------------------------------------------------------------------
// The personage pop-up

void PersonageInfoScreen_Create(TPersonageInfoPopup& popup)
{
    popup.Window = MakePopupWindow("piw_Window", PersonageInfoScreen_WindowHandler);
    PersonageInfoWindow = popup.Window;
    popup.Background = LoadSprite(WindowsFolder + "Info\\window_info.DDS", 0);
    int32_t width = 0, height = 0;
    SpriteSize(popup.Background, width, height);
    popup.Window->Width = width;
    popup.Window->Height = height;
    popup.Catcher = MakeCatcher(popup.Window);
    popup.Catcher->Width = width;
    popup.Catcher->Height = height;
    popup.SkillsLabel = MakeLabel(popup.Window, "piw_Skills", 6);
    popup.PortraitObject = new TGUI_Object(MainRender);
    popup.PortraitObject->X = 6;
    popup.PortraitObject->Y = 7;
    popup.PortraitObject->Width = 10;
    popup.PortraitObject->Height = 10;
    popup.PortraitObject->Enabled = 0;
    popup.PortraitObject->Visible = 0;
    popup.PortraitObject->Sprite = MainRender != nullptr ? NewInterfaceSprite() : -1;
    popup.Window->AddObject(popup.PortraitObject, "piw_Portrait", 0);
    popup.InfoPanel.Create(popup.Window);
    popup.SignsPanel.Create(popup.Window);
    for (int32_t i = 0; i < PopupCellCount; i++)
        popup.Cells[i].Create(popup.Window, CellPlaces[i].Kind, CellPlaces[i].X, CellPlaces[i].Y, nullptr);
    // The catcher stays behind everything else for the hit tests.
    popup.Window->MoveObjectLast(popup.Catcher);
}

void PersonageInfoScreen_Open(TPersonageInfoPopup& popup, const std::string& sceneName, int32_t x, int32_t y,
                              TPersonage& personage)
{
    TGUI_GraphicWindow* window = popup.Window;
    if (window == nullptr)
        return;
    popup.Shown = &personage;
    PlaceWindow(window, popup.Catcher, x, y, window->Width, window->Height);
    SetDrawScene(window, sceneName);
    window->PostState(GUI_STATE_OPEN);
    popup.InfoPanel.SetPersonage(personage);
    if (MainRender != nullptr && popup.PortraitObject != nullptr) {
        T3D_Sprite* portrait = MainRender->Sprite_Get(popup.PortraitObject->Sprite);
        const int32_t type = personage.UnitType;
        if (portrait != nullptr && type != 0 && type >= -UnitTypeMax && type <= UnitTypeMax &&
            UnitTypes[type].Icons[1] > 0)
            if (const T3D_Sprite* source = MainRender->Sprite_Get(UnitTypes[type].Icons[1]))
                portrait->SetTexture(source->Texture, 0);
        // The portrait fills the frame of the pop-up's picture, left of the
        // statistics.
        if (portrait != nullptr)
            portrait->SetSize(-1, PopupPortraitWidth, PopupPortraitHeight);
        popup.PortraitObject->X = window->X + 6;
        popup.PortraitObject->Y = window->Y + 7;
    }
    popup.InfoPanel.Show(window->X + 200, window->Y - 7, false);
    popup.SignsPanel.SetPosition(window->X + 450, window->Y + 250);
    popup.SignsPanel.SetPersonage(personage, 3, false);
    popup.SignsPanel.Show();
    if (popup.SkillsLabel != nullptr)
        popup.SkillsLabel->SetText(TextOf("Texts", "Tent_Skills"));
    for (int32_t i = 0; i < PopupCellCount; i++) {
        TInventoryCell& cell = popup.Cells[i];
        cell.SetItem(0);
        const int32_t slot = CellPlaces[i].Slot;
        if (slot > 0 && personage.Equipment[slot] > 0)
            cell.SetItem(personage.Equipment[slot]);
        if (slot > 0)
            cell.SetPosition(window->X + CellPlaces[i].X, window->Y + CellPlaces[i].Y);
        else
            cell.Hide();
    }
    if (popup.HorseFrame < 0)
        popup.HorseFrame = LoadSprite(WindowsFolder + "Info\\window_info_horse.DDS", 0);
    if (popup.PortraitObject != nullptr)
        popup.PortraitObject->Visible = 1;
    BetaLogWriteWindowEvent(window->Name, GUI_STATE_OPEN);
}

void PersonageInfoScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    TPersonageInfoPopup& popup = PersonageInfoPopup;
    if (state != GUI_STATE_ACTIVE)
        return;
    DrawSpriteAt(popup.Background, window->X, window->Y, -1);
    if (popup.Shown != nullptr && popup.Shown->Horse != 0)
        DrawSpriteAt(popup.HorseFrame, window->X + 472, window->Y + 237, -1);
    popup.InfoPanel.Draw();
    window->Draw();
    for (TInventoryCell& cell : popup.Cells)
        if (cell.Shown != 0)
            cell.Draw();
    FinishPopupFrame(window);
    if (PopupShouldClose(window)) {
        popup.InfoPanel.HideStatObjects();
        popup.SignsPanel.Hide();
        window->PostState(GUI_STATE_CLOSE);
    }
}

// ---------------------------------------------------------------------------
// The building pop-up

void BuildingInfoScreen_Create(TBuildingInfoPopup& popup)
{
    popup.Window = MakePopupWindow("biw_Window", BuildingInfoScreen_WindowHandler);
    popup.TopBackground = LoadSprite(WindowsFolder + "Info\\window_info_army_01.DDS", 0);
    popup.BottomBackground = LoadSprite(WindowsFolder + "Info\\window_info_army_02.DDS", 0);
    popup.GoldIcon = LoadSprite(WindowsFolder + "Common\\info_gold.DDS", 0);
    popup.CastleIcon = LoadSprite(WindowsFolder + "Info\\info_castle.DDS", 0);
    int32_t width = 0, topHeight = 0, w2 = 0, bottomHeight = 0;
    SpriteSize(popup.TopBackground, width, topHeight);
    SpriteSize(popup.BottomBackground, w2, bottomHeight);
    popup.Window->Width = width;
    popup.Window->Height = topHeight + bottomHeight;
    popup.Catcher = MakeCatcher(popup.Window);
    popup.Panel.Create(popup.Window, PanelInfo);
    popup.Panel.SetEnabled(true);
    popup.TitleLabel = MakeLabel(popup.Window, "biw_Title", 31);
    popup.TitleLabel->MaxWidth = 280;
    popup.RelationLabel = MakeLabel(popup.Window, "biw_Relation", 26);
    popup.GarrisonLabel = MakeLabel(popup.Window, "biw_Garrison", 19);
    popup.GarrisonLabel->SetText(TextOf("Texts", "Build_Garrison"));
    popup.IncomeLabel = MakeLabel(popup.Window, "biw_Income", 26);
    popup.ShareLabel = MakeLabel(popup.Window, "biw_Share", 26);
    popup.DescriptionList = new TGUI_StringList(MainRender, 30);
    popup.DescriptionList->Enabled = 0;
    popup.DescriptionList->Blending = 2;
    popup.Window->AddObject(popup.DescriptionList, "biw_Description", 0);
    for (int32_t i = 0; i < ServiceIconCount; i++) {
        TServiceIcon& icon = popup.Services[i];
        icon.Window = popup.Window;
        icon.GuiObject = new TGUI_Object(MainRender);
        icon.GuiObject->Width = 43;
        icon.GuiObject->Height = 43;
        icon.GuiObject->Visible = 0;
        icon.GuiObject->Enabled = 0;
        icon.GuiObject->Sprite = LoadSprite(InterfaceFolder + "Windows\\Info\\" + ServicePlaces[i].File + ".DDS", 0);
        icon.GuiObject->OnEnter = ServiceHint;
        popup.Window->AddObject(icon.GuiObject, std::string("biw_Service") + std::to_string(i), 0);
        popup.ServiceHints[i] = TextOf("Hints", ServicePlaces[i].HintKey);
    }
    popup.Window->MoveObjectLast(popup.Catcher);
}

void BuildingInfoScreen_Open(TBuildingInfoPopup& popup, const std::string& sceneName, int32_t x, int32_t y,
                             int32_t negativeBuilding)
{
    TGUI_GraphicWindow* window = popup.Window;
    const int32_t b = -negativeBuilding;
    if (window == nullptr || !IsWorldBuilding(b))
        return;
    popup.Building = b;
    popup.Panel.SetArmy(GetBuildingShownArmy(negativeBuilding));
    popup.TitleLabel->SetText(StripTextComment(BuildingTexts[b].Name));
    SetDrawScene(window, sceneName);
    int32_t width = 0, topHeight = 0, w2 = 0, bottomHeight = 0;
    SpriteSize(popup.TopBackground, width, topHeight);
    SpriteSize(popup.BottomBackground, w2, bottomHeight);
    int32_t height = topHeight;
    if (BuildingAllowsGarrison(b)) {
        popup.Panel.SetEnabled(true);
        popup.NoGarrison = 0;
        popup.GarrisonLabel->Visible = 1;
        height = topHeight + bottomHeight;
    } else {
        popup.Panel.SetEnabled(false);
        popup.NoGarrison = 1;
        popup.GarrisonLabel->Visible = 0;
    }
    PlaceWindow(window, popup.Catcher, x, y, width, height);
    window->Background = popup.TopBackground;
    const int32_t wx = window->X, wy = window->Y;
    popup.TitleLabel->X = wx + width / 2;
    popup.TitleLabel->Y = wy + 6;
    popup.RelationLabel->X = popup.TitleLabel->X;
    popup.RelationLabel->Y = popup.TitleLabel->Y + 24;
    popup.GarrisonLabel->X = popup.TitleLabel->X;
    popup.GarrisonLabel->Y = popup.TitleLabel->Y + 320;
    popup.IncomeLabel->X = popup.TitleLabel->X - 80;
    popup.IncomeLabel->Y = popup.TitleLabel->Y + 70;
    popup.ShareLabel->X = popup.TitleLabel->X + 85;
    popup.ShareLabel->Y = popup.IncomeLabel->Y;
    popup.Panel.Layout(wx + 50, wy + 582, 40, -100);
    if (popup.DescriptionList != nullptr) {
        popup.DescriptionList->X = wx + 50;
        popup.DescriptionList->Y = wy + 114;
        popup.DescriptionList->Width = width - 100;
        popup.DescriptionList->SetHeight(150);
    }
    FillDescription(popup.DescriptionList, BuildingTexts[b].Description, 130);

    for (int32_t i = 0; i < ServiceIconCount; i++) {
        TGUI_Object* icon = popup.Services[i].GuiObject;
        icon->Visible = BuildingServiceShown(b, i) ? 1 : 0;
        icon->Enabled = icon->Visible;
        icon->X = wx + ServicePlaces[i].OffsetX;
        icon->Y = wy + ServiceIconY;
    }
    uint32_t colour = 0;
    const char* key = BuildingRelationKey(b, colour);
    popup.RelationLabel->SetColor(colour);
    popup.RelationLabel->SetText(TextOf("Texts", key));
    const int32_t income = MapStory.TreasuryMode != 0
                               ? GameBuildings[static_cast<size_t>(b)].Treasury
                               : MapBuildings[b].IncomeBonus * CurrentDifficulty().HeroIncome / 100;
    const std::string incomeText = std::to_string(income);
    popup.IncomeLabel->SetText(std::u16string(incomeText.begin(), incomeText.end()));
    const std::string shareText = std::to_string(GetBuildingIncome(PlayerArmy, b));
    popup.ShareLabel->SetText(std::u16string(shareText.begin(), shareText.end()));
    window->PostState(GUI_STATE_OPEN);
    BetaLogWriteWindowEvent(window->Name, GUI_STATE_OPEN);
}

void BuildingInfoScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    TBuildingInfoPopup& popup = BuildingInfoPopup;
    if (state == GUI_STATE_OPEN) {
        CursorKind = 1;
        PlaySoundOnce(SoundWindowMAppear);
        return;
    }
    if (state == GUI_STATE_CLOSE) {
        ResumeMapClockAfterPopup();
        PlaySoundOnce(SoundWindowMDisappear);
        return;
    }
    if (state != GUI_STATE_ACTIVE)
        return;
    const int32_t x = window->X, y = window->Y;
    DrawSpriteAt(popup.TopBackground, x, y, -1);
    if (popup.IncomeLabel != nullptr)
        DrawSpriteAt(popup.GoldIcon, popup.IncomeLabel->X - 65, popup.IncomeLabel->Y - 2, -1);
    if (popup.ShareLabel != nullptr)
        DrawSpriteAt(popup.CastleIcon, popup.ShareLabel->X - 55, popup.ShareLabel->Y - 2, -1);
    window->Draw();
    if (popup.NoGarrison == 0)
        DrawSpriteAt(popup.BottomBackground, x, y + BottomHalfY, -1);
    popup.Panel.Draw();
    if (IsWorldBuilding(popup.Building)) {
        using B = TBuildingType;
        const auto type = static_cast<B>(MapBuildings[popup.Building].BuildingType);
        if (type != B::Ruin && type != B::Cementry && type != B::Altar && type != B::Cave)
            DrawCoat(GameBuildings[static_cast<size_t>(popup.Building)].Banner, x + 220, y + 60);
    }
    FinishPopupFrame(window);
    if (PopupShouldClose(window))
        window->PostState(GUI_STATE_CLOSE);
}

// ---------------------------------------------------------------------------
// The army pop-up

void ArmyInfoScreen_Create(TArmyInfoPopup& popup)
{
    popup.Window = MakePopupWindow("aiw_Window", ArmyInfoScreen_WindowHandler);
    popup.TopBackground = LoadSprite(WindowsFolder + "Info\\window_info_army_01.DDS", 0);
    popup.BottomBackground = LoadSprite(WindowsFolder + "Info\\window_info_army_02.DDS", 0);
    int32_t width = 0, topHeight = 0, w2 = 0, bottomHeight = 0;
    SpriteSize(popup.TopBackground, width, topHeight);
    SpriteSize(popup.BottomBackground, w2, bottomHeight);
    popup.Window->Width = width;
    popup.Window->Height = topHeight + bottomHeight;
    popup.Catcher = MakeCatcher(popup.Window);
    popup.Panel.Create(popup.Window, PanelInfo);
    popup.Panel.SetEnabled(true);
    popup.TitleLabel = MakeLabel(popup.Window, "aiw_Title", 31);
    popup.TitleLabel->MaxWidth = 280;
    popup.RelationLabel = MakeLabel(popup.Window, "aiw_Relation", 26);
    popup.CaptionLabel = MakeLabel(popup.Window, "aiw_Caption", 19);
    popup.CaptionLabel->SetText(TextOf("Texts", "InfoArmy"));
    popup.DescriptionList = new TGUI_StringList(MainRender, 30);
    popup.DescriptionList->Enabled = 0;
    popup.DescriptionList->Blending = 2;
    popup.Window->AddObject(popup.DescriptionList, "aiw_Description", 0);
    popup.Window->MoveObjectLast(popup.Catcher);
}

void ArmyInfoScreen_Open(TArmyInfoPopup& popup, const std::string& sceneName, int32_t x, int32_t y, int32_t army)
{
    TGUI_GraphicWindow* window = popup.Window;
    if (window == nullptr || FindArmy(army) == nullptr)
        return;
    PlaceWindow(window, popup.Catcher, x, y, window->Width, window->Height);
    window->Background = popup.TopBackground;
    popup.Army = army;
    ValidateFormation(army);
    popup.Panel.SetArmy(army);
    const int32_t wx = window->X, wy = window->Y;
    popup.Panel.Layout(wx + 50, wy + 582, 40, -100);
    const bool named = army >= 0 && army <= MapArmyMax;
    popup.TitleLabel->SetText(named ? StripTextComment(ArmyTexts[army].Name) : std::u16string());
    popup.TitleLabel->X = wx + window->Width / 2;
    popup.TitleLabel->Y = wy + 6;
    SetDrawScene(window, sceneName);
    if (popup.DescriptionList != nullptr) {
        popup.DescriptionList->X = wx + 50;
        popup.DescriptionList->Y = wy + 110;
        popup.DescriptionList->Width = window->Width - 100;
        popup.DescriptionList->SetHeight(150);
    }
    FillDescription(popup.DescriptionList, named ? ArmyTexts[army].Description : std::u16string(), 160);
    const bool hostile = GetRelation(PlayerArmy, army, false) < 0;
    popup.RelationLabel->SetColor(hostile ? RelationHostileColour : RelationFriendlyColour);
    popup.RelationLabel->SetText(TextOf("Texts", hostile ? "InfoRelationship_Hostile" : "InfoRelationship_Friendly"));
    popup.RelationLabel->X = popup.TitleLabel->X;
    popup.RelationLabel->Y = popup.TitleLabel->Y + 24;
    popup.CaptionLabel->X = popup.TitleLabel->X;
    popup.CaptionLabel->Y = popup.TitleLabel->Y + 320;
    window->PostState(GUI_STATE_OPEN);
    BetaLogWriteWindowEvent(window->Name, GUI_STATE_OPEN);
}

void ArmyInfoScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    TArmyInfoPopup& popup = ArmyInfoPopup;
    if (state == GUI_STATE_OPEN) {
        CursorKind = 1;
        PlaySoundOnce(SoundWindowMAppear);
        return;
    }
    if (state == GUI_STATE_CLOSE) {
        ResumeMapClockAfterPopup();
        PlaySoundOnce(SoundWindowMDisappear);
        return;
    }
    if (state != GUI_STATE_ACTIVE)
        return;
    DrawSpriteAt(popup.TopBackground, window->X, window->Y, -1);
    window->Draw();
    DrawSpriteAt(popup.BottomBackground, window->X, window->Y + BottomHalfY, -1);
    popup.Panel.Draw();
    if (const TGameArmy* army = FindArmy(popup.Army))
        DrawCoat(army->Banner, window->X + 220, window->Y + 60);
    FinishPopupFrame(window);
    if (PopupShouldClose(window))
        window->PostState(GUI_STATE_CLOSE);
}

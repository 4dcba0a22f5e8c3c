#include "screens/kit/Duskmarch_PersIcon.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "battle/Battle.h"
#include "model/Support.h"
#include "model/personage/Personage.h"
#include "model/tables/Global.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/kit/Duskmarch_Base.h"

TIconSprites IconSprites;
int32_t BattleTileSprites[BattleTileSpriteCount] = {-1, -1, -1, -1};

namespace {

// The sampler-0 filter field of the render-state key.
constexpr uint32_t IconSamplerField = RSK_FILTER(0);
constexpr int32_t WoundMarkWidth = 8;
constexpr int32_t WoundMarkHeight = 12;
constexpr int32_t HorseMarkWidth = 18;
constexpr int32_t BuffMarkHeight = 18;
constexpr int32_t HireKindMercenary = 1;
constexpr int32_t HireKindLeader = 2;
constexpr int32_t HireKindCompanion = 3;
constexpr int32_t HireKindCompanionB = 4;
constexpr uint8_t AttackModeSpells = 16;

T3D_Sprite* IconSpriteOf(int32_t sprite)
{
    return MainRender != nullptr && sprite >= 0 ? MainRender->Sprite_Get(sprite) : nullptr;
}

void SetIconSpriteState(int32_t sprite, uint32_t field, int32_t value)
{
    if (T3D_Sprite* s = IconSpriteOf(sprite))
        s->SetRenderState(field, value);
}

void SetIconSpriteSize(int32_t sprite, int32_t width, int32_t height)
{
    if (T3D_Sprite* s = IconSpriteOf(sprite))
        s->SetSize(-1, static_cast<float>(width), static_cast<float>(height));
}

// One horizontal slice [from, to) of the sprite's image, drawn at x + from.
void DrawBarSlice(int32_t sprite, int32_t height, int32_t from, int32_t to, int32_t x, int32_t y, int32_t alpha)
{
    T3D_Sprite* s = IconSpriteOf(sprite);
    if (s == nullptr || to <= from)
        return;
    s->SetFrame(to - from, height, from, 0, 0);
    DrawSpriteAt(sprite, x + from, y, alpha);
}

int32_t RoundHalfEvenRatio(int64_t numerator, int64_t denominator)
{
    return static_cast<int32_t>(std::nearbyint(static_cast<double>(numerator) / static_cast<double>(denominator)));
}

// A row of marks drawn right to left over the bar's width: mark i (1-based)
// at x + W - i x step + (step - markWidth) div 2.
void DrawBarMarks(int32_t sprite, int32_t count, int32_t divisor, int32_t width, int32_t markWidth, int32_t x, int32_t y,
               int32_t alpha)
{
    if (divisor <= 0 || count <= 0 || sprite < 0)
        return;
    const int32_t step = width / divisor;
    // More marks than the divisor would run off the bar's left end.
    count = std::min(count, divisor);
    for (int32_t i = 1; i <= count; i++)
        DrawSpriteAt(sprite, x + width - i * step + (step - markWidth) / 2, y, alpha);
}

int32_t HireKindMark(const TPersonage& p)
{
    if (p.HireKind == HireKindMercenary || p.HireKind == HireKindLeader)
        return IconSprites.Mercenary;
    if (p.HireKind == HireKindCompanion || p.HireKind == HireKindCompanionB)
        return IconSprites.Companion;
    return -1;
}

int32_t LoadIconShared(const std::string& file)
{
    return MainRender != nullptr ? LoadSprite(file, 0) : -1;
}

struct TKindGeometry {
    int32_t Width, Height, PortraitWidth, PortraitHeight, PortraitX, PortraitY;
};

TKindGeometry GeometryOf(uint8_t kind)
{
    switch (kind) {
    case IconBattleTile:
        return {70, 85, 70, 83, 0, 2};
    case IconHireCard:
        return {70, 80, 70, 80, -1, -5};
    default:
        return {81, 98, 70, 80, (81 - 70) / 2 - 2, 98 - 80 - 10};
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Shared sprites

void LoadIconSprites()
{
    if (MainRender == nullptr)
        return;
    const std::string common = InterfaceFolder + "Common\\";
    const std::string windowsCommon = WindowsFolder + "Common\\";
    const std::string icons = InterfaceFolder + "Windows\\Common\\Icons\\";
    const std::string inventory = WindowsFolder + "Inventory\\";
    TIconSprites& s = IconSprites;

    s.Selection = LoadIconShared(common + "Army_Selection.DDS");
    SetIconSpriteSize(s.Selection, 75, 95);
    SetIconSpriteState(s.Selection, RSK_SRCBLEND, 2);
    SetIconSpriteState(s.Selection, RSK_DESTBLEND, 0);
    SetIconSpriteState(s.Selection, IconSamplerField, 1);
    s.SelectionBattle = CloneSprite(s.Selection);
    SetIconSpriteSize(s.SelectionBattle, 70, 85);
    s.SelectionHire = CloneSprite(s.Selection);
    SetIconSpriteSize(s.SelectionHire, 70, 80);
    if (T3D_Sprite* hire = IconSpriteOf(s.SelectionHire))
        hire->SetPosition(-2, -5);
    s.Locked = LoadIconShared(common + "Army_Locked.DDS");
    SetIconSpriteSize(s.Locked, 71, 86);
    if (T3D_Sprite* locked = IconSpriteOf(s.Locked))
        locked->SetPosition(2, 2);
    SetIconSpriteState(s.Locked, IconSamplerField, 1);

    s.SlotArmy = LoadIconShared(windowsCommon + "slot_army.DDS");
    s.SlotArmyActive = LoadIconShared(windowsCommon + "slot_army_active.DDS");
    s.SlotMelee = LoadIconShared(windowsCommon + "slot_melee.DDS");
    s.SlotRange = LoadIconShared(windowsCommon + "slot_range.DDS");
    s.SlotSupport = LoadIconShared(windowsCommon + "slot_support.DDS");
    s.StatusWounded = LoadIconShared(icons + "Status_Wounded.tga");
    s.HorseShoe = LoadIconShared(icons + "HorseShoe.tga");
    s.ArrowUp = LoadIconShared(icons + "Icon_Arrow_Up.tga");
    s.ArrowDown = LoadIconShared(icons + "Icon_Arrow_Down.tga");
    s.ArrowsBoth = LoadIconShared(icons + "Icon_Arrows_Both.tga");
    s.Mercenary = LoadIconShared(icons + "Unit_Mercenary.tga");
    s.Companion = LoadIconShared(icons + "Unit_Companion.tga");
    s.Dead = LoadIconShared(inventory + "Dead.tga");
    s.Wounded = LoadIconShared(inventory + "Wounded.tga");
    s.NoMoney = LoadIconShared(inventory + "NoMoney.tga");
    s.NewLevelSign = LoadIconShared(WindowsFolder + "_OldGraphics\\NewLevelSign.DDS");
    SetIconSpriteState(s.NewLevelSign, RSK_SRCBLEND, 2);
    SetIconSpriteState(s.NewLevelSign, RSK_DESTBLEND, 0);
}

// ---------------------------------------------------------------------------
// Pure rules

bool IsBattleOnScreen()
{
    return Battle_Window != nullptr &&
           (Battle_Window->State == GUI_STATE_ACTIVE || Battle_Window->State == GUI_STATE_INACTIVE);
}

int32_t PartyFont(int32_t entry)
{
    return entry >= 0 && entry + 1 <= FontSlotCount ? FontSlots[entry + 1] : -1;
}

bool SpriteImageSize(int32_t sprite, int32_t& width, int32_t& height)
{
    width = height = 0;
    const T3D_Sprite* s = IconSpriteOf(sprite);
    if (s == nullptr)
        return false;
    const T3D_Texture* texture = TextureAt(*MainRender, s->Texture);
    if (texture == nullptr || texture->ImageWidth <= 0 || texture->ImageHeight <= 0)
        return false;
    width = texture->ImageWidth;
    height = texture->ImageHeight;
    return true;
}

bool ComputeBarParts(const TPersonage& p, int32_t width, TBarParts& parts)
{
    parts = {};
    if (p.FullHits < 1)
        return false;
    if (p.Hits > 0)
        parts.Healthy = std::min(width, RoundHalfEvenRatio(int64_t{width} * p.Hits, p.FullHits));
    const int32_t capped = p.Stats[statHits];
    if (capped < p.FullHits)
        parts.Lost = std::clamp(width - RoundHalfEvenRatio(int64_t{width} * capped, p.FullHits), 0, width);
    return true;
}

int32_t HoverFadeAlpha(const TGUI_Object& object, int32_t now, int32_t full)
{
    int32_t a = 0;
    if (object.EnterTime > 0)
        a = static_cast<int32_t>(int64_t{full} * (int64_t{now} - object.EnterTime) / HoverFadeMs);
    else if (object.LeaveTime > 0)
        a = full - static_cast<int32_t>(int64_t{full} * (int64_t{now} - object.LeaveTime) / HoverFadeMs);
    return std::clamp(a, 0, full);
}

int32_t LevelSignAlpha(int32_t now)
{
    const int32_t phase = ((now % 1200) + 1200) % 1200;
    return std::abs(phase * 360 / 1200 - 180);
}

int32_t BattlePulseAlpha(int32_t now, int32_t y)
{
    const int64_t t = (int64_t{now} + 50 * int64_t{y}) / 7;
    int32_t p = static_cast<int32_t>(((t % 512) + 512) % 512);
    return p > 255 ? 511 - p : p;
}

// ---------------------------------------------------------------------------
// Bars

void DrawPersonageBars(int32_t style, const TPersonage* personage, int32_t barFull, int32_t barMissing,
                       int32_t barLost, int32_t x, int32_t y, int32_t alpha, int32_t manaFull, int32_t manaEmpty)
{
    if (personage == nullptr)
        return;
    const TPersonage& p = *personage;
    int32_t w = 0, h = 0;
    if (!SpriteImageSize(barFull, w, h))
        return;
    TBarParts parts;
    if (!ComputeBarParts(p, w, parts))
        return;

    if (parts.Healthy == w) {
        if (T3D_Sprite* s = IconSpriteOf(barFull))
            s->SetFrame(w, h, 0, 0, 0);
        DrawSpriteAt(barFull, x, y, alpha);
    } else {
        DrawBarSlice(barFull, h, 0, parts.Healthy, x, y, alpha);
        if (parts.Lost > 0)
            DrawBarSlice(barLost, h, w - parts.Lost, w, x, y, alpha);
        if (w - parts.Lost > parts.Healthy)
            DrawBarSlice(barMissing, h, parts.Healthy, w - parts.Lost, x, y, alpha);
        DrawBarMarks(IconSprites.StatusWounded, p.Wounds, p.WoundLimit, w, WoundMarkWidth, x,
                  y - (WoundMarkHeight - h) / 2, alpha);
    }

    if (style == 3) {
        const int32_t maximum = p.Stats[statMagicPower];
        if (p.AttackMode == AttackModeSpells && maximum > 0) {
            int32_t filled = 0;
            if (p.Hits > 0)
                filled = std::clamp(RoundHalfEvenRatio(int64_t{w} * p.Mana, maximum), 0, w);
            DrawBarSlice(manaFull, h, 0, filled, x, y - 8, alpha);
            DrawBarSlice(manaEmpty, h, filled, w, x, y - 8, alpha);
        }
        if (p.Mounted != 0)
            DrawBarMarks(IconSprites.HorseShoe, p.HorseHits, p.HorseHits, w, HorseMarkWidth, x, y + h + 2, alpha);
    }

    // Buffs exist only on the battle copies of a battle on screen.
    if (!IsBattleOnScreen())
        return;
    const int32_t arrows[4] = {-1, IconSprites.ArrowUp, IconSprites.ArrowDown, IconSprites.ArrowsBoth};
    const uint8_t buff = GetPersonageBuffState(p);
    if (buff >= 1 && buff <= 3 && arrows[buff] >= 0)
        DrawSpriteAt(arrows[buff], x + w + 2, y - (BuffMarkHeight - h) / 2, alpha);
}

// ---------------------------------------------------------------------------
// Icons

void TPersIcon::Create(TGUI_GraphicWindow* window, uint8_t kind, const std::string& name)
{
    Personage = nullptr;
    Kind = kind;
    Enabled = 1;
    BarFull = BarFullSelected = BarLost = BarLostSelected = BarMissing = BarMissingSelected = -1;
    Flags = 0;
    Portrait = MainRender != nullptr ? NewInterfaceSprite() : -1;
    const TKindGeometry g = GeometryOf(kind);
    GuiObject = new TGUI_Object(MainRender);
    GuiObject->Enabled = 0;
    GuiObject->Visible = 0;
    GuiObject->Width = g.Width;
    GuiObject->Height = g.Height;
    Window = window;
    if (Window != nullptr)
        Window->AddObject(GuiObject, name.empty() ? "pers_icon" : name, 0);
}

void TPersIcon::SetPersonage(TPersonage* personage, int32_t army, int32_t slot, int32_t row, int32_t column)
{
    Personage = personage;
    Army = army;
    Slot = slot;
    Row = row;
    Column = column;
    if (MainRender == nullptr)
        return;
    const TKindGeometry g = GeometryOf(Kind == IconDragged ? static_cast<uint8_t>(IconArmySlot) : Kind);
    if (T3D_Sprite* portrait = IconSpriteOf(Portrait); portrait != nullptr && personage != nullptr) {
        const int32_t type = personage->UnitType;
        // Icons hold 0 until the portraits are loaded.
        if (type >= -UnitTypeMax && type <= UnitTypeMax && type != 0 && UnitTypes[type].Icons[1] > 0)
            if (const T3D_Sprite* source = IconSpriteOf(UnitTypes[type].Icons[1]); source != nullptr)
                portrait->SetTexture(source->Texture, 0);
        portrait->SetRenderState(IconSamplerField, 2);
        portrait->SetSize(-1, static_cast<float>(g.PortraitWidth), static_cast<float>(g.PortraitHeight));
        portrait->SetPosition(static_cast<float>(g.PortraitX), static_cast<float>(g.PortraitY));
    }
    auto load = [](int32_t& sprite, const std::string& file) {
        if (sprite < 0)
            sprite = LoadSprite(file, 0);
    };
    if (Kind == IconArmySlot || Kind == IconDragged) {
        const std::string folder = WindowsFolder + "Common\\";
        load(BarFull, folder + "HealthBar");
        load(BarFullSelected, folder + "HealthBar_Selected");
        load(BarMissing, folder + "HealthBarRed");
        load(BarMissingSelected, folder + "HealthBarRed_Selected");
        load(BarLost, folder + "HealthBarGray");
        load(BarLostSelected, folder + "HealthBarGray_Selected");
    } else if (Kind == IconBattleTile) {
        const std::string folder = WindowsFolder + "Battle\\";
        load(BarFull, folder + "HealthBar1");
        load(BarMissing, folder + "HealthBar1_Red");
        load(BarLost, folder + "HealthBar1_Gray");
    }
}

void TPersIcon::SetPosition(int32_t x, int32_t y)
{
    if (GuiObject == nullptr)
        return;
    GuiObject->X = x;
    GuiObject->Y = y;
}

void TPersIcon::SetEnabled(bool on)
{
    Enabled = on ? 1 : 0;
    if (!on && GuiObject != nullptr) {
        GuiObject->Enabled = 0;
        GuiObject->Visible = 0;
    }
}

void TPersIcon::Draw(int32_t dx, int32_t dy)
{
    if (Enabled == 0 || GuiObject == nullptr)
        return;
    const uint8_t shown = Kind == IconDragged ? 0 : 1;
    GuiObject->Enabled = shown;
    GuiObject->Visible = shown;
    const int32_t now = GetFrameTime(false);
    int32_t x = GuiObject->X + dx, y = GuiObject->Y + dy;
    const bool bound = Personage != nullptr;
    const bool selected = (Flags & IconSelected) != 0;

    switch (Kind) {
    case IconArmySlot: {
        if ((Flags & IconSliding) != 0) {
            const int32_t t = now - SlideStart;
            if (t < IconSlideMs) {
                x = SlideFromX + (SlideToX - SlideFromX) * t / IconSlideMs;
                y = SlideFromY + (SlideToY - SlideFromY) * t / IconSlideMs;
            } else {
                Flags &= static_cast<uint8_t>(~IconSliding);
            }
        }
        int32_t frame = -1;
        if (selected)
            frame = IconSprites.SlotArmyActive;
        else if (bound)
            frame = IconSprites.SlotArmy;
        else if (Row == 1)
            frame = IconSprites.SlotMelee;
        else if (Row == 2)
            frame = IconSprites.SlotRange;
        else if (Row == 3)
            frame = IconSprites.SlotSupport;
        if (frame >= 0)
            DrawSpriteAt(frame, x, y, -1);
        if (bound) {
            DrawSpriteAt(Portrait, x, y, -1);
            DrawPersonageBars(0, Personage, selected ? BarFullSelected : BarFull,
                              selected ? BarMissingSelected : BarMissing, selected ? BarLostSelected : BarLost, x + 3,
                              y + 89, 255, -1, -1);
            if (Personage->UpgradePoints > 0 || Personage->LevelUpFlag != 0)
                DrawSpriteAt(IconSprites.NewLevelSign, x + 3, y + 48, LevelSignAlpha(now));
        }
        if ((Flags & IconLocked) != 0) {
            DrawSpriteAt(IconSprites.Locked, x, y, HoverFadeAlpha(*GuiObject, now, 255));
        } else {
            DrawSpriteAt(IconSprites.Selection, x, y, HoverFadeAlpha(*GuiObject, now, 160));
            if (selected)
                DrawSpriteAt(IconSprites.Selection, x, y, 160);
        }
        if (bound) {
            const int32_t mark = HireKindMark(*Personage);
            if (mark >= 0)
                DrawSpriteAt(mark, x + GuiObject->Width - 37, y - 5, 255);
            int32_t status = -1;
            if (Personage->Hits == 0)
                status = IconSprites.Dead;
            else if (Personage->Hits == 1)
                status = IconSprites.Wounded;
            else if (Personage->UpkeepDebt > 0)
                status = IconSprites.NoMoney;
            if (status >= 0)
                DrawSpriteAt(status, x, y, 255);
        }
        break;
    }
    case IconBattleTile: {
        if (!bound)
            break;
        const int32_t side = BattleTileSprites[Army == 1 ? BattleTileSideFirst : BattleTileSideSecond];
        if (side >= 0)
            DrawSpriteAt(side, x - 6, y - 6, -1);
        DrawSpriteAt(Portrait, x, y, -1);
        DrawPersonageBars(1, Personage, BarFull, BarMissing, BarLost, x, y + 87, 255, -1, -1);
        DrawSpriteAt(IconSprites.SelectionBattle, x, y, HoverFadeAlpha(*GuiObject, now, 160));
        if (selected)
            DrawSpriteAt(IconSprites.SelectionBattle, x, y, 160);
        const int32_t pulse = BattlePulseAlpha(now, y);
        if ((Flags & IconBattleHighlightB) != 0 && BattleTileSprites[BattleTileHighlightB] >= 0)
            DrawSpriteAt(BattleTileSprites[BattleTileHighlightB], x - 3, y - 3, pulse);
        if ((Flags & IconBattleHighlightA) != 0 && BattleTileSprites[BattleTileHighlightA] >= 0)
            DrawSpriteAt(BattleTileSprites[BattleTileHighlightA], x - 3, y - 3, pulse);
        break;
    }
    case IconHireCard: {
        if (!bound)
            break;
        DrawSpriteAt(Portrait, x, y, -1);
        if (!IsDragActive())
            DrawSpriteAt(IconSprites.SelectionHire, x, y, HoverFadeAlpha(*GuiObject, now, 64));
        const int32_t mark = HireKindMark(*Personage);
        if (mark >= 0)
            DrawSpriteAt(mark, x + GuiObject->Width - 32, y - 18, 255);
        break;
    }
    case IconDragged: {
        if (!bound)
            break;
        DrawSpriteAt(Portrait, x, y, -1);
        DrawPersonageBars(0, Personage, BarFullSelected, BarMissingSelected, BarLostSelected, x + 3, y + 91, 255, -1,
                          -1);
        const int32_t mark = HireKindMark(*Personage);
        if (mark >= 0)
            DrawSpriteAt(mark, x + GuiObject->Width - 37, y - 5, 255);
        break;
    }
    default:
        break;
    }
}

void TPersIcon::Destroy()
{
    if (GuiObject != nullptr) {
        if (Window != nullptr)
            Window->RemoveObject(GuiObject);
        delete GuiObject;
        GuiObject = nullptr;
    }
    for (int32_t* sprite : {&BarFull, &BarFullSelected, &BarLost, &BarLostSelected, &BarMissing,
                            &BarMissingSelected, &Portrait}) {
        if (*sprite != -1 && MainRender != nullptr)
            MainRender->Sprite_Free(*sprite);
        *sprite = -1;
    }
    Personage = nullptr;
    Window = nullptr;
}

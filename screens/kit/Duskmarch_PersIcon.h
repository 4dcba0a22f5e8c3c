// Personage icons: the small portrait tile that stands for one personage in
// an army panel slot, a battle tile, a hire card and the copy that follows
// the mouse during a drag. An icon draws its frame, the portrait, the
// segmented health bar with its marks and the hover highlights; it owns the
// GUI object that takes the mouse for it, never the personage, which stays
// in the army tables (or in its screen's own record).
//
// A bound icon points into ArmyUnits (or a screen's record): screens bind
// their icons again whenever they open, because the tables are reallocated
// by a new or loaded game.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <string>

class TGUI_Object;
class TGUI_GraphicWindow;
struct TPersonage;

// The shared sprites the icons draw, loaded once by the start-up loader.
struct TIconSprites {
    int32_t Selection = -1;
    int32_t SelectionBattle = -1;
    int32_t SelectionHire = -1;
    int32_t Locked = -1;
    int32_t SlotArmy = -1;
    int32_t SlotArmyActive = -1;
    int32_t SlotMelee = -1;
    int32_t SlotRange = -1;
    int32_t SlotSupport = -1;
    int32_t StatusWounded = -1;
    int32_t HorseShoe = -1;
    int32_t ArrowUp = -1;
    int32_t ArrowDown = -1;
    int32_t ArrowsBoth = -1;
    int32_t Mercenary = -1;
    int32_t Companion = -1;
    int32_t Dead = -1;
    int32_t Wounded = -1;
    int32_t NoMoney = -1;
    int32_t NewLevelSign = -1;
};
extern TIconSprites IconSprites;
// The start-up loader's step (nothing without a renderer).
void LoadIconSprites();

// The four sprites a battle tile draws, which the battle screen loads: the
// side frames of the first and the second side, highlights A and B. While an
// entry holds -1 that sprite is not drawn.
enum TBattleTileSprite : int32_t {
    BattleTileSideFirst = 0,
    BattleTileSideSecond = 1,
    BattleTileHighlightA = 2,
    BattleTileHighlightB = 3,
    BattleTileSpriteCount = 4
};
extern int32_t BattleTileSprites[BattleTileSpriteCount];

// Icon kinds.
enum TPersIconKind : uint8_t {
    IconArmySlot = 0,
    IconBattleTile = 1,
    IconHireCard = 3,
    IconDragged = 4,
};

// Icon flags.
inline constexpr uint8_t IconSelected = 0x01;
inline constexpr uint8_t IconLocked = 0x04;
inline constexpr uint8_t IconSliding = 0x08;
inline constexpr uint8_t IconBattleHighlightB = 0x10;
inline constexpr uint8_t IconBattleHighlightA = 0x20;

inline constexpr int32_t IconSlideMs = 400;
inline constexpr int32_t HoverFadeMs = 120;

struct TPersIcon {
    TPersonage* Personage = nullptr;
    uint8_t Kind = IconArmySlot;
    uint8_t Enabled = 0;
    TGUI_Object* GuiObject = nullptr;
    TGUI_GraphicWindow* Window = nullptr;
    int32_t Row = 0;
    int32_t Column = 0;
    int32_t Army = 0;
    int32_t Slot = 0;
    int32_t BarFull = -1;
    int32_t BarFullSelected = -1;
    int32_t BarLost = -1;
    int32_t BarLostSelected = -1;
    int32_t BarMissing = -1;
    int32_t BarMissingSelected = -1;
    int32_t Portrait = -1;
    int32_t SlideFromX = 0;
    int32_t SlideFromY = 0;
    int32_t SlideToX = 0;
    int32_t SlideToY = 0;
    int32_t SlideStart = 0;
    uint8_t Flags = 0;

    void Create(TGUI_GraphicWindow* window, uint8_t kind, const std::string& name);
    void SetPersonage(TPersonage* personage, int32_t army, int32_t slot, int32_t row, int32_t column);
    void SetPosition(int32_t x, int32_t y);
    void SetEnabled(bool on);
    void Draw(int32_t dx, int32_t dy);
    void Destroy();
};

// The segmented health bar of a personage with its wound marks, the
// spell-power bar and horseshoes of the battle screen (style 3) and the buff
// arrow, at (x, y), every sprite with the given alpha. A zero wound limit,
// horse-mark count or spell-power maximum draws nothing of that part.
void DrawPersonageBars(int32_t style, const TPersonage* personage, int32_t barFull, int32_t barMissing,
                       int32_t barLost, int32_t x, int32_t y, int32_t alpha, int32_t manaFull, int32_t manaEmpty);

// The pure rules the drawing follows.
struct TBarParts {
    int32_t Healthy = 0; // [0, Healthy) full
    int32_t Lost = 0;    // [W - Lost, W) lost to wounds
};
// W the bar's width; false when the full hits maximum is below 1.
bool ComputeBarParts(const TPersonage& personage, int32_t width, TBarParts& parts);
// The alpha of a highlight that rises over 120 ms after the mouse entered
// the object and falls over 120 ms after it left, up to full.
int32_t HoverFadeAlpha(const TGUI_Object& object, int32_t now, int32_t full);
// The level-up sign's alpha: a triangle between 180 and 0, period 1200 ms.
int32_t LevelSignAlpha(int32_t now);
// The battle tile's highlight pulse 0..255.
int32_t BattlePulseAlpha(int32_t now, int32_t y);
// The width and height of the sprite's stage-0 image; false without one.
bool SpriteImageSize(int32_t sprite, int32_t& width, int32_t& height);
// The battle screen's window is active or covered: the personages carry
// their battle copies (and their buffs) only then.
bool IsBattleOnScreen();
// The font the party screens name as entry n of the font table.
int32_t PartyFont(int32_t entry);
// True while an item or a personage is dragged (the hire cards do not
// highlight then); the drag record sets it.
bool IsDragActive();

// The two panels that describe one personage in detail, owned by the camp
// and the personage pop-up: the info panel (name, type, level, experience,
// six combat values with hoverable stat icons) and the signs panel (rows of
// small icons for skills, properties, bonuses, spells and, in the pop-up,
// the effects on the personage, each with its description as a hint). Both
// only read the personage: they keep a copy of it, filled again whenever the
// shown personage changes.
//
// Threads: main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/personage/Personage.h"

class TGUI_Object;
class TGUI_Label;
class TGUI_StringList;
class TGUI_GraphicWindow;

struct TPersInfoPanel {
    uint8_t ShowStats = 0;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t ExperienceText = -1;
    int32_t LevelText = -1;
    int32_t HitsText = -1;
    int32_t AttackText = -1;
    int32_t InitiativeText = -1;
    int32_t MeleeDefenseText = -1;
    int32_t RangedDefenseText = -1;
    int32_t WillText = -1;
    TGUI_Object* AttackObject = nullptr;
    TGUI_Object* RangedDefenseObject = nullptr;
    TGUI_Object* HitsObject = nullptr;
    TGUI_Object* InitiativeObject = nullptr;
    TGUI_Object* WillObject = nullptr;
    TGUI_Object* MeleeDefenseObject = nullptr;
    TGUI_GraphicWindow* Window = nullptr;
    TGUI_StringList* NameList = nullptr;
    int32_t SkillsCaption = -1;
    uint8_t CampLayout = 0;
    uint8_t Horse = 0;

    void Create(TGUI_GraphicWindow* window);
    void SetPersonage(const TPersonage& personage);
    void Show(int32_t x, int32_t y, bool campLayout);
    void HideStatObjects();
    void Draw();
    // The objects out of the window and freed, the sprites freed.
    void Destroy();

    // Where Draw puts the level and experience texts and the caption (GUI
    // pixels), set by Show.
    int32_t LevelX = 0, LevelY = 0, ExperienceX = 0, ExperienceY = 0, CaptionX = -50, CaptionY = -50;
    // The stat texts' centres: column + 72, row + 2, in the order hits,
    // attack, initiative, melee defence, ranged defence, will.
    std::array<int32_t, 6> StatX{}, StatY{};
    // True while the camp's upgrade view is open (the camp sets it).
    bool UpgradeViewOpen = false;

private:
    TGUI_Object* AddStatObject(int32_t icon, int32_t tag);
};

// The info panel's texts, pure.
// Unit type 0: empty; hero kinds 1..6: the hero's chosen name; otherwise the
// personage's own name without its comment.
std::u16string PersonageDisplayName(const TPersonage& personage);
// The "(type)" line under the name, empty when the type name is empty or
// equal to the name; cut to 20 characters.
std::u16string PersonageTypeLine(const TPersonage& personage, const std::u16string& name);
// The attack value as shown: spell casters "power/max" while a battle is on
// screen, else the max; melee and ranged their attack (the "x2" of the
// double-strike weapons is added when printed).
std::u16string PersonageAttackText(const TPersonage& personage, bool battleShown);
extern int32_t PanelNoIcon; // the shared "NoIcon.tga"
// The start-up loader's step for the panels' shared icon.
void LoadPanelSprites();

// ---------------------------------------------------------------------------
// Signs

inline constexpr int32_t SignCount = 24;
inline constexpr int32_t EffectCount = 20;

struct TSignEntry {
    TGUI_Object* Object = nullptr;
    uint8_t Kind = 0;
    int32_t Value = -1;
    int32_t Extra = -1;
    // The panel's copy of the personage for kinds 3 to 5, nullptr else.
    const TPersonage* Personage = nullptr;
};

// One sign the collection asks for, before its icon is looked up.
struct TSignRequest {
    uint8_t Kind;
    int32_t Value;
    int32_t Extra;
    std::string Name; // the bonus's value name (or the spell's number)
};

struct TSignsPanel {
    uint8_t Mode = 2;
    uint8_t Shown = 0;
    int32_t X = 0;
    int32_t Y = 0;
    TGUI_GraphicWindow* Window = nullptr;
    std::array<TSignEntry, SignCount> Signs;
    std::array<TGUI_Label*, SignCount> SignTexts{};
    std::array<TSignEntry, EffectCount> Effects;
    std::array<TGUI_Label*, EffectCount> EffectTexts{};
    TPersonage Personage{};
    int32_t UsedSigns = 0;
    int32_t UsedEffects = 0;

    void Create(TGUI_GraphicWindow* window);
    void SetPersonage(const TPersonage& personage, uint8_t mode, bool listLayout);
    bool AddSign(uint8_t kind, int32_t value, int32_t extra);
    void SetPosition(int32_t x, int32_t y);
    void Show();
    void Hide();
    void Destroy();
};

// The signs of a personage in collection order.
std::vector<TSignRequest> CollectSigns(const TPersonage& personage, uint8_t mode);
// The positions of the list layout (camp): signs by their kinds, groups
// starting half a row lower; effects in their own two columns.
void LayoutSignList(const std::vector<uint8_t>& kinds, int32_t x, int32_t y, std::vector<std::pair<int32_t, int32_t>>& at);
// The bonus type of a value name, 0 when no bonus has it.
uint8_t BonusByName(const std::string& name);
// The sign's hint.
void SignHintHandler(TGUI_Object* object);
std::u16string SignDescription(const TSignEntry& entry);

// The texts of the tooltips, built into the main hint line by line: a plain
// text, a bonus's description with its numbers filled in, a text split into
// titled sections, an item's full description, a stat icon's hint; and the
// item-equip refusal codes as message texts.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <string>

class TGUI_Object;

// The stat icons of "Windows\Common\Icons\", by their use.
enum TStatIcon : int32_t {
    StatIconMeleeAttack = 0,
    StatIconRangedAttack,
    StatIconRangedDefence,
    StatIconSpellPower,
    StatIconHealth,
    StatIconWoundHealing,
    StatIconInitiative,
    StatIconMagicDefence,
    StatIconMeleeDefence,
    StatIconCount
};
extern int32_t StatIcons[StatIconCount];
extern const char* const StatIconFiles[StatIconCount];
// The start-up loader's step.
void LoadStatIcons();

// The item that stands for the gold captured in a battle, and that gold.
inline constexpr int32_t CapturedGoldItem = 39321;
extern int32_t CapturedGoldAmount;

// An item name's colour by its quality (Unique); 0 for "the label's own".
uint32_t ItemQualityColour(int32_t quality);

void ShowHintTextAt(const std::u16string& text, TGUI_Object* owner);
void ShowHintText(const std::u16string& text);
// A bonus's description into the main hint; text gets the name, the
// separator and the description (or the error text). A bonus the table does
// not hold leaves both alone.
void ShowBonusHint(uint8_t bonus, std::u16string& text);
// The description with its "[n]" (value x n) and "[%n]" (value / n, rounded
// halves to even) filled in, n 0 counting as 1; false for a broken bracket.
bool FillBonusPlaceholders(const std::u16string& description, int32_t value, std::u16string& text);
void AddHintTitleAndBody(const std::u16string& text);
// A divider line of the main hint, then a new line.
void AddHintDivider();
void AddHintStatLine(int32_t value, int32_t icon, char16_t mode, const std::u16string& name, int32_t& count);
// The text of a stat line (without the icon), as AddHintStatLine writes it.
std::u16string FormatHintStatLine(int32_t value, char16_t mode, const std::u16string& name);
void ShowItemHint(int32_t item);
// The enter handler of stat and skill icons (by the object's tag).
void StatHintHandler(TGUI_Object* object);

std::string GetEquipRefusalKey(uint8_t code);
std::u16string GetEquipRefusalText(uint8_t code);

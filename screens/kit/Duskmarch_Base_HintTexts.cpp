#include "screens/kit/Duskmarch_Base_HintTexts.h"

#include <cmath>

#include "model/Support.h"
#include "model/personage/Personage_Rules.h"
#include "model/tables/BonusType.h"
#include "model/tables/GameEnums.h"
#include "model/tables/Global.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_StringList.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_Hints.h"

int32_t StatIcons[StatIconCount] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
const char* const StatIconFiles[StatIconCount] = {
    "Weapon_Sword.tga",       "Weapon_Bow.tga",        "Charact_DistantArmor.tga",
    "Charact_SpellPower.tga", "Charact_Health.tga",    "Charact_WoundHeal.tga",
    "Charact_Initiative.tga", "Charact_Willpower.tga", "Charact_MeleeArmor.tga"};
int32_t CapturedGoldAmount = 0;

namespace {

const std::u16string ProgramSeparator = u"<br>----------------<br>";
const std::u16string FileSeparator = u"#\\----------------#\\";

std::u16string HintAscii(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

std::u16string Localized(const char* section, const std::string& key)
{
    if (TextsIni == nullptr)
        return {};
    TextsIni->SelectSection(section);
    return GetLocalizedText(*TextsIni, key);
}

// A line of text in the hint font and colour into the main hint's last line.
void AddLineText(const std::u16string& text)
{
    if (TGUI_StringList* list = MainHint().GetLineList())
        list->AddText(text, HintFont, HintFont, 1, HintTextColour, -1000);
}

const TBonusTTX* BonusEntry(uint8_t bonus)
{
    if (bonus >= BonusTypeCount)
        return nullptr;
    const TBonusPlace& place = BonusIndex[bonus];
    if (place.Group < 1 || place.Group > BonusGroupMax || place.Entry < 1 || place.Entry > BonusGroupEntryMax)
        return nullptr;
    return &BonusTable[place.Group][place.Entry];
}

int32_t BonusIcon(uint8_t bonus)
{
    const TBonusTTX* entry = BonusEntry(bonus);
    return entry != nullptr && entry->Icon >= 0 ? entry->Icon : 0;
}

// Splits at the first separator: the program's when it comes before any
// "#\" (or there is none), else the file's.
void SplitSection(const std::u16string& text, std::u16string& title, std::u16string& body)
{
    const size_t program = text.find(ProgramSeparator);
    const size_t fileBreak = text.find(u"#\\");
    if (program != std::u16string::npos && (fileBreak == std::u16string::npos || program < fileBreak)) {
        title = text.substr(0, program);
        const size_t rest = text.find(u"-<br>", program);
        body = text.substr(rest + 5);
        return;
    }
    const size_t file = text.find(FileSeparator);
    if (file != std::u16string::npos) {
        title = text.substr(0, file);
        const size_t rest = text.find(u"-#\\", file);
        body = text.substr(rest + 3);
        return;
    }
    title = text;
    body.clear();
}

int32_t ReadDigits(const std::u16string& text)
{
    int64_t n = 0;
    for (char16_t c : text)
        if (c >= u'0' && c <= u'9')
            n = std::min<int64_t>(n * 10 + (c - u'0'), 1000000000);
    return static_cast<int32_t>(n);
}

} // namespace

void LoadStatIcons()
{
    for (int32_t i = 0; i < StatIconCount; i++)
        StatIcons[i] = LoadSprite(InterfaceFolder + "Windows\\Common\\Icons\\" + StatIconFiles[i], 1);
}

uint32_t ItemQualityColour(int32_t quality)
{
    switch (quality) {
    case 0:
        return 0xFF7F7F7Fu;
    case 2:
        return 0xFF00C000u;
    case 3:
        return 0xFF3F5FFFu;
    case 4:
        return 0xFF7F3FF0u;
    default:
        return 0;
    }
}

void ShowHintText(const std::u16string& text)
{
    THint& hint = MainHint();
    hint.Clear(HintSmallFrame, 0);
    hint.NewLine();
    AddLineText(text);
    hint.Layout();
}

void ShowHintTextAt(const std::u16string& text, TGUI_Object* owner)
{
    MainHint().Attach(HintCloseAwayFromOwner, HintOpenOverOwner, owner, true, -1);
    ShowHintText(text);
}

bool FillBonusPlaceholders(const std::u16string& description, int32_t value, std::u16string& text)
{
    text.clear();
    std::u16string rest = description;
    size_t open = rest.find(u'[');
    while (open != std::u16string::npos) {
        const size_t close = rest.find(u']', open);
        if (close == std::u16string::npos)
            return false;
        text += rest.substr(0, open);
        const std::u16string p = rest.substr(open + 1, close - open - 1);
        int32_t n = ReadDigits(p);
        if (n == 0)
            n = 1;
        const int64_t shown = !p.empty() && p[0] == u'%'
                                  ? static_cast<int64_t>(std::nearbyint(static_cast<double>(value) / n))
                                  : int64_t{value} * n;
        text += HintAscii(std::to_string(shown));
        rest.erase(0, close + 1);
        open = rest.find(u'[');
    }
    text += rest;
    return true;
}

void AddHintDivider()
{
    THint& hint = MainHint();
    hint.NewLine();
    hint.SetLineValue(hint.DividerSprite());
    hint.Lines.back().Stretch = 1;
    hint.NewLine();
}

void ShowBonusHint(uint8_t bonus, std::u16string& text)
{
    const TBonusTTX* entry = BonusEntry(bonus);
    if (entry == nullptr)
        return;
    std::u16string filled;
    if (!FillBonusPlaceholders(entry->Descript, BonusValues[bonus], filled)) {
        text = u"Error! Incorrect bonus " + HintAscii(BonusNames[bonus]);
        return;
    }
    if (!filled.empty()) {
        THint& hint = MainHint();
        AddHintDivider();
        hint.SetLineValue(BonusIcon(bonus));
        AddLineText(entry->Name);
        hint.NewLine();
        AddLineText(filled);
        hint.Layout();
    }
    text = entry->Name + ProgramSeparator + filled;
}

void AddHintTitleAndBody(const std::u16string& text)
{
    if (text.empty())
        return;
    std::u16string title, body;
    SplitSection(text, title, body);
    AddLineText(title);
    while (!body.empty()) {
        AddHintDivider();
        const std::u16string remaining = body;
        SplitSection(remaining, title, body);
        AddLineText(title);
    }
}

std::u16string FormatHintStatLine(int32_t value, char16_t mode, const std::u16string& name)
{
    const std::u16string v = (value > 0 ? u"+" : u"") + HintAscii(std::to_string(value));
    if (mode == u' ')
        return v + u" " + name;
    if (mode == u'=')
        return name + u" = " + v + u" ";
    return v + std::u16string(1, mode) + u" " + name;
}

void AddHintStatLine(int32_t value, int32_t icon, char16_t mode, const std::u16string& name, int32_t& count)
{
    if (value == 0)
        return;
    THint& hint = MainHint();
    hint.SetLineValue(icon);
    AddLineText(FormatHintStatLine(value, mode, name));
    hint.NewLine();
    count++;
}

void ShowItemHint(int32_t item)
{
    THint& hint = MainHint();
    if (TextsIni != nullptr)
        TextsIni->SelectSection("Texts");
    if (item == CapturedGoldItem) {
        hint.NewLine();
        if (TGUI_Label* label = hint.GetLineLabel()) {
            label->SetFont(FontSlots[2]);
            label->SetText(
                ReplaceAll(Localized("Texts", "CapturedGold"), u"%%", HintAscii(std::to_string(CapturedGoldAmount))));
        }
        return;
    }
    if (item < 1 || item > ItemMax)
        return;
    const TItems& entry = ItemTable[item];
    hint.NewLine();
    if (TGUI_Label* label = hint.GetLineLabel()) {
        label->SetFont(FontSlots[2]);
        const uint32_t colour = ItemQualityColour(entry.Unique);
        label->SetColor(colour != 0 ? colour : HintTextColour);
        label->SetText(StripTextComment(ItemNames[item].Name));
    }
    hint.NewLine();

    const auto type = static_cast<TItemType>(entry.MainType);
    std::string kind = entry.MainType < ItemTypeCount ? std::string("s") + ItemTypeNames[entry.MainType] : "";
    if (type == TItemType::Shield && entry.SubType == 2)
        kind = "sBigShield";
    else if (type == TItemType::Shield && entry.SubType == 3)
        kind = "sPavise";
    else if (type == TItemType::Helm && entry.SubType >= 1 && entry.SubType <= 4)
        kind = (const char* const[]){"sClothes", "sLightArmor", "sMediumArmor", "sHeavyArmor"}[entry.SubType - 1];
    else if (type == TItemType::Armor && entry.SubType >= 1 && entry.SubType <= 3)
        kind = (const char* const[]){"sLightArmor", "sMediumArmor", "sHeavyArmor"}[entry.SubType - 1];
    const std::u16string kindText = kind.empty() ? std::u16string() : Localized("Texts", kind);
    if (!kindText.empty())
        if (TGUI_Label* label = hint.GetLineLabel()) {
            label->SetFont(HintFont);
            label->SetText(u"(" + kindText + u")");
        }

    int32_t meleeIcon = StatIcons[StatIconMeleeAttack], rangedIcon = StatIcons[StatIconRangedAttack];
    if (entry.MainType <= static_cast<uint8_t>(TItemType::Book)) {
        const int32_t icon = BonusIcon(ItemKindBonus[entry.MainType]);
        if (icon != 0) {
            const bool ranged = type == TItemType::Sling || type == TItemType::Bow || type == TItemType::Arbalet ||
                                type == TItemType::Gun || type == TItemType::Canon;
            const bool none = type == TItemType::Staff || type == TItemType::Wand || type == TItemType::Book;
            if (ranged)
                rangedIcon = icon;
            else if (!none)
                meleeIcon = icon;
        }
    }
    hint.NewLine();
    struct TStatRow {
        int32_t Stat;
        const char* Key;
        int32_t Icon;
    };
    const TStatRow rows[] = {
        {statHits, "Health_Title", StatIcons[StatIconHealth]},
        {statInitiative, "Initiative_Title", StatIcons[StatIconInitiative]},
        {statAttackBlow, "AttackMelee_Title", meleeIcon},
        {statAttackShot, "AttackBow_Title", rangedIcon},
        {statDefense, "MeleeDefense_Title", StatIcons[StatIconMeleeDefence]},
        {statProtect, "DistanceDefense_Title", StatIcons[StatIconRangedDefence]},
        {statMagicPower, "SpellPower_Title", StatIcons[StatIconSpellPower]},
        {statWill, "MagicDefense_Title", StatIcons[StatIconMagicDefence]},
    };
    int32_t count = 0;
    // The name is looked up only for a line that shows: most values are 0.
    const auto statLine = [&count](int32_t value, int32_t icon, char16_t mode, const char* key) {
        if (value != 0)
            AddHintStatLine(value, icon, mode, Localized("Hints", key), count);
    };
    const std::pair<const TStatArray*, char16_t> groups[] = {
        {&entry.Max, u'='}, {&entry.Abs, u' '}, {&entry.Prc, u'%'}};
    for (const auto& [values, mode] : groups)
        for (const TStatRow& row : rows)
            statLine((*values)[row.Stat], row.Icon, mode, row.Key);
    statLine(entry.dHit, StatIcons[StatIconHealth], u' ', "PotionHealth");
    statLine(entry.dWound, StatIcons[StatIconWoundHealing], u' ', "PotionWoundHeal");
    statLine(entry.dMana, StatIcons[StatIconSpellPower], u' ', "PotionMana");
    for (int32_t i = 1; i <= 8; i++) {
        const uint8_t bonus = entry.Bonus[i];
        if (bonus == 0)
            continue;
        hint.SetLineValue(BonusIcon(bonus));
        const TBonusTTX* bonusEntry = BonusEntry(bonus);
        AddLineText(bonusEntry != nullptr ? bonusEntry->Name : HintAscii(BonusNames[bonus]));
        hint.NewLine();
        count++;
    }
    if (count == 0) {
        hint.NewLine();
        if (TGUI_StringList* list = hint.GetLineList()) {
            list->Width = 280;
            list->AddText(Localized("Texts", "sItemNoSpecial"), HintFont, HintFont, 2, HintTextColour, -1000);
        }
    }
}

void StatHintHandler(TGUI_Object* object)
{
    if (object == nullptr)
        return;
    THint& hint = MainHint();
    hint.Attach(HintCloseAwayFromOwner, HintOpenOverOwner, object, true, -1);
    hint.Clear(HintSmallFrame, 0);
    const int32_t tag = object->Tag;
    static const char* const keys[] = {"Health", "Initiative", "MeleeDefense", "MagicDefense", "DistanceDefense"};
    if (tag >= -5 && tag <= -1) {
        hint.NewLine();
        AddLineText(Localized("Hints", keys[-tag - 1]));
    } else if (tag == 0) {
        hint.NewLine();
    } else if (tag > 0 && tag < BonusTypeCount) {
        const bool attack = (tag >= 114 && tag <= 131) || (tag >= 134 && tag <= 138);
        const bool spell = tag >= 139 && tag <= 162;
        hint.NewLine();
        AddLineText(attack ? Localized("Hints", "Attack") : spell ? Localized("Hints", "Spell") : u"");
        std::u16string text;
        ShowBonusHint(static_cast<uint8_t>(tag), text);
    }
    hint.Layout();
}

std::string GetEquipRefusalKey(uint8_t code)
{
    const char* key = ItemEquipRefusalKey(code);
    return key != nullptr ? key : "";
}

std::u16string GetEquipRefusalText(uint8_t code)
{
    const std::string key = GetEquipRefusalKey(code);
    return key.empty() ? std::u16string() : Localized("Hints", key);
}

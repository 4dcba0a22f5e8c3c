#include "screens/kit/Duskmarch_PersPanels.h"

#include <algorithm>

#include "battle/Battle_Tables.h"
#include "model/Support.h"
#include "model/personage/Personage_Rules.h"
#include "model/save/SavedGame.h"
#include "model/tables/BonusType.h"
#include "model/tables/Global.h"
#include "model/tables/Global_Texts.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_ObjectTags.h"
#include "screens/kit/Duskmarch_PersIcon.h"

int32_t PanelNoIcon = -1;

namespace {

constexpr uint32_t PanelBlack = 0xFF000000u;
constexpr int32_t HeroKindLast = 6;
constexpr int32_t TypeNameMax = 20;
constexpr uint8_t AttackSpells = 16;
constexpr uint8_t AttackMelee = 4;
constexpr uint8_t AttackRanged = 13;

int32_t PanelFont(int32_t entry)
{
    return PartyFont(entry);
}

T3D_Font* PanelFontOf(int32_t font)
{
    if (MainRender == nullptr || font < 0 || font >= static_cast<int32_t>(MainRender->Fonts.size()))
        return nullptr;
    return MainRender->Fonts[static_cast<size_t>(font)];
}

void PrintInto(int32_t sprite, int32_t fontEntry, const std::u16string& text)
{
    if (T3D_Font* font = PanelFontOf(PanelFont(fontEntry)); font != nullptr && sprite >= 0)
        font->PrintTextWide(text, sprite, -1000, PanelBlack);
}

int32_t PanelSpriteWidth(int32_t sprite)
{
    const T3D_Sprite* s = MainRender != nullptr && sprite >= 0 ? MainRender->Sprite_Get(sprite) : nullptr;
    return s != nullptr ? static_cast<int32_t>(s->Width) : 0;
}

std::u16string Number(int64_t value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string PanelText(const std::string& key)
{
    if (TextsIni == nullptr)
        return {};
    TextsIni->SelectSection("Texts");
    return GetLocalizedText(*TextsIni, key);
}

const TBonusTTX* SignBonusEntry(int32_t bonus)
{
    static TBonusTTX entry;
    if (bonus <= 0 || bonus >= BonusTypeCount)
        return nullptr;
    entry = TBonusTTX{};
    GetBonusTTX(static_cast<uint8_t>(bonus), entry);
    return entry.Mode == bonus ? &entry : nullptr;
}

bool IsHiddenBonus(int32_t bonus)
{
    return bonus == bHealthy || (bonus >= bSword && bonus <= bHeavyArmor);
}

bool IsEffectBonus(int32_t bonus)
{
    return bonus > 0 && bonus < BonusTypeCount && BonusNames[bonus][0] == 'e';
}

int32_t SignGroup(uint8_t kind)
{
    switch (kind) {
    case 1:
    case 2:
        return 0;
    case 3:
        return 1;
    case 4:
        return 2;
    default:
        return 3;
    }
}

void PlaceObject(TGUI_Object* object, int32_t x, int32_t y)
{
    if (object != nullptr) {
        object->X = x;
        object->Y = y;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Info panel texts

std::u16string PersonageDisplayName(const TPersonage& p)
{
    if (p.UnitType == 0)
        return {};
    if (p.UnitType >= 1 && p.UnitType <= HeroKindLast)
        return HeroName;
    return StripTextComment(OS_MultiByteToWide(GameCodePage(), p.Name.Str()));
}

std::u16string PersonageTypeLine(const TPersonage& p, const std::u16string& name)
{
    // The type's display name in the player's language, else the stored one.
    std::u16string type;
    if (p.UnitType >= -UnitTypeMax && p.UnitType <= UnitTypeMax)
        type = UnitTypeNames[p.UnitType].Name;
    if (type.empty())
        type = OS_MultiByteToWide(GameCodePage(), p.TypeName.Str());
    if (type.empty() || type == name)
        return {};
    return u"(" + type.substr(0, TypeNameMax) + u")";
}

std::u16string PersonageAttackText(const TPersonage& p, bool battleShown)
{
    switch (p.AttackMode) {
    case AttackSpells:
        return battleShown ? Number(p.Mana) + u"/" + Number(p.Stats[statMagicPower]) : Number(p.Stats[statMagicPower]);
    case AttackMelee:
        return Number(p.Stats[statAttackBlow]);
    case AttackRanged:
        return Number(p.Stats[statAttackShot]);
    default:
        return {};
    }
}

void LoadPanelSprites()
{
    if (MainRender != nullptr)
        PanelNoIcon = LoadSprite(InterfaceFolder + "Windows\\Common\\Icons\\NoIcon.tga", 1);
}

// ---------------------------------------------------------------------------
// Info panel

TGUI_Object* TPersInfoPanel::AddStatObject(int32_t icon, int32_t tag)
{
    auto* object = new TGUI_Object(MainRender);
    object->Visible = 0;
    object->Enabled = 0;
    object->Sprite = icon;
    object->Width = object->Height = 32;
    object->Tag = tag;
    object->OnEnter = StatHintHandler;
    if (Window != nullptr)
        Window->AddObject(object, "pi_Object", 0);
    return object;
}

void TPersInfoPanel::Create(TGUI_GraphicWindow* window)
{
    Window = window;
    NameList = new TGUI_StringList(MainRender, 4);
    NameList->Width = 340;
    NameList->Height = 54;
    NameList->Visible = 0;
    if (Window != nullptr)
        Window->AddObject(NameList, "pi_SL_PersonageName", 0);
    if (MainRender != nullptr)
        for (int32_t* sprite : {&ExperienceText, &LevelText, &HitsText, &AttackText, &InitiativeText,
                                &MeleeDefenseText, &RangedDefenseText, &WillText, &SkillsCaption})
            CreateInterfaceSprite(*sprite);
    HitsObject = AddStatObject(StatIcons[StatIconHealth], -1);
    InitiativeObject = AddStatObject(StatIcons[StatIconInitiative], -2);
    MeleeDefenseObject = AddStatObject(StatIcons[StatIconMeleeDefence], -3);
    WillObject = AddStatObject(StatIcons[StatIconMagicDefence], -4);
    RangedDefenseObject = AddStatObject(StatIcons[StatIconRangedDefence], -5);
    AttackObject = AddStatObject(PanelNoIcon, 0);
    PrintInto(SkillsCaption, 27, PanelText("Tent_Skills"));
    ShowStats = 0;
    CampLayout = 0;
}

void TPersInfoPanel::SetPersonage(const TPersonage& source)
{
    const TPersonage p = source;
    Horse = p.Horse;
    const std::u16string name = PersonageDisplayName(p);
    if (NameList != nullptr) {
        NameList->Clear();
        const int32_t nameFont = PanelFont(31), typeFont = PanelFont(26);
        NameList->AddText(name, nameFont, nameFont, 2, PanelBlack, -1000);
        const std::u16string type = PersonageTypeLine(p, name);
        if (!type.empty()) {
            NameList->SetLineSpacing(nameFont, 0.85f);
            NameList->AddText(type, typeFont, typeFont, 2, PanelBlack, -1000);
        }
        NameList->MarginY = (NameList->Height - NameList->GetTextHeight()) / 2;
    }
    PrintInto(ExperienceText, 27, PanelText("UnitExpirience") + u" " + Number(p.Experience) + u"/" + Number(p.NextLevelExp));
    PrintInto(LevelText, 27, PanelText("UnitLevel") + u" " + Number(int64_t{p.ExpLevel} + 1));

    const uint8_t weapon = p.PersBonus[3];
    if (p.AttackMode == AttackMelee || p.AttackMode == AttackRanged) {
        const int32_t value = p.AttackMode == AttackMelee ? p.Stats[statAttackBlow] : p.Stats[statAttackShot];
        SetStackCountLabel(PanelFont(31), value, weapon, AttackText, 0);
    } else {
        PrintInto(AttackText, 31, PersonageAttackText(p, IsBattleOnScreen()));
    }
    if (AttackObject != nullptr) {
        const TBonusTTX* entry = weapon != 0 ? SignBonusEntry(weapon) : nullptr;
        const bool icon = entry != nullptr && entry->Icon > 0;
        AttackObject->Sprite = icon ? entry->Icon : PanelNoIcon;
        AttackObject->Tag = icon ? weapon : 0;
    }
    PrintInto(HitsText, 31, Number(p.Hits) + u"/" + Number(p.Stats[statHits]));
    PrintInto(InitiativeText, 31, Number(p.Stats[statInitiative]));
    PrintInto(MeleeDefenseText, 31, Number(p.Stats[statDefense]));
    PrintInto(RangedDefenseText, 31, Number(p.Stats[statProtect]));
    PrintInto(WillText, 31, Number(p.Stats[statWill]));
}

void TPersInfoPanel::Show(int32_t x, int32_t y, bool campLayout)
{
    X = x;
    Y = y;
    CampLayout = campLayout ? 1 : 0;
    if (NameList != nullptr)
        NameList->Visible = 1;
    const int32_t guiWidth = GUIVirtualSize.Width;
    int32_t b = 0, c = 0, rows[3] = {};
    if (campLayout) {
        if (Window != nullptr && Window->State == GUI_STATE_ACTIVE)
            Window->Arrange();
        const int32_t nameY = (Window != nullptr ? Window->GetValue("s_PersonageName.Y") : 0) + 15;
        if (NameList != nullptr) {
            NameList->X = (guiWidth - NameList->Width) / 2;
            NameList->Y = nameY;
        }
        b = x + 131;
        c = x + 248;
        rows[0] = y + 110;
        rows[1] = y + 152;
        rows[2] = y + 194;
        LevelX = (guiWidth - PanelSpriteWidth(LevelText)) / 2 - 70;
        ExperienceX = std::max((guiWidth - PanelSpriteWidth(ExperienceText)) / 2 + 30,
                               LevelX + PanelSpriteWidth(LevelText) + 12);
        LevelY = ExperienceY = nameY + 50;
        CaptionX = CaptionY = -50;
    } else {
        PlaceObject(NameList, x - 35, y + 15);
        b = x + 19;
        c = x + 138;
        rows[0] = y + 103;
        rows[1] = y + 135;
        rows[2] = y + 168;
        LevelX = x + 65 - PanelSpriteWidth(LevelText) / 2;
        // Long texts in a large font would run into each other: the
        // experience then starts a gap after the level.
        ExperienceX = std::max(x + 165 - PanelSpriteWidth(ExperienceText) / 2,
                               LevelX + PanelSpriteWidth(LevelText) + 12);
        LevelY = ExperienceY = y + 60;
        CaptionX = x + 140 - PanelSpriteWidth(SkillsCaption) / 2;
        CaptionY = y + 203;
    }
    TGUI_Object* objects[6] = {HitsObject, AttackObject, InitiativeObject,
                               MeleeDefenseObject, RangedDefenseObject, WillObject};
    const bool shown = !campLayout || !UpgradeViewOpen;
    for (int32_t i = 0; i < 6; i++) {
        const int32_t column = i < 3 ? b : c;
        const int32_t row = rows[i % 3];
        PlaceObject(objects[i], column, row);
        if (objects[i] != nullptr) {
            objects[i]->Visible = shown ? 1 : 0;
            objects[i]->Enabled = shown ? 1 : 0;
        }
        StatX[static_cast<size_t>(i)] = column + 72;
        StatY[static_cast<size_t>(i)] = row + 2;
    }
    ShowStats = shown ? 1 : 0;
}

void TPersInfoPanel::HideStatObjects()
{
    for (TGUI_Object* object : {HitsObject, AttackObject, InitiativeObject, MeleeDefenseObject, RangedDefenseObject,
                                WillObject})
        if (object != nullptr) {
            object->Visible = 0;
            object->Enabled = 0;
        }
}

void TPersInfoPanel::Draw()
{
    DrawSpriteAt(LevelText, LevelX, LevelY, -1);
    DrawSpriteAt(ExperienceText, ExperienceX, ExperienceY, -1);
    if (CampLayout == 0)
        DrawSpriteAt(SkillsCaption, CaptionX, CaptionY, -1);
    if (ShowStats == 0)
        return;
    const int32_t texts[6] = {HitsText, AttackText, InitiativeText, MeleeDefenseText, RangedDefenseText, WillText};
    for (size_t i = 0; i < 6; i++)
        DrawSpriteAt(texts[i], StatX[i] - PanelSpriteWidth(texts[i]) / 2, StatY[i], -1);
}

void TPersInfoPanel::Destroy()
{
    for (TGUI_Object* object : {static_cast<TGUI_Object*>(NameList), HitsObject, AttackObject, InitiativeObject,
                                MeleeDefenseObject, RangedDefenseObject, WillObject}) {
        if (object == nullptr)
            continue;
        if (Window != nullptr)
            Window->RemoveObject(object);
        delete object;
    }
    NameList = nullptr;
    HitsObject = AttackObject = InitiativeObject = MeleeDefenseObject = RangedDefenseObject = WillObject = nullptr;
    if (MainRender != nullptr)
        for (int32_t* sprite : {&ExperienceText, &LevelText, &HitsText, &AttackText, &InitiativeText,
                                &MeleeDefenseText, &RangedDefenseText, &WillText, &SkillsCaption})
            if (*sprite >= 0) {
                MainRender->Sprite_Free(*sprite);
                *sprite = -1;
            }
    Window = nullptr;
}

// ---------------------------------------------------------------------------
// Signs

uint8_t BonusByName(const std::string& name)
{
    for (int32_t b = 1; b < BonusTypeCount; b++)
        if (name == BonusNames[b])
            return static_cast<uint8_t>(b);
    return 0;
}

std::vector<TSignRequest> CollectSigns(const TPersonage& p, uint8_t mode)
{
    std::vector<TSignRequest> signs;
    auto bonus = [&](uint8_t kind, int32_t value) {
        signs.push_back({kind, value, -1, value > 0 && value < BonusTypeCount ? BonusNames[value] : ""});
    };
    auto named = [&](const char* name) {
        signs.push_back({1, BonusByName(name), -1, name});
    };
    const uint64_t kinds = GetEquipableItemKinds(p);
    for (int32_t k = 0; k <= 36; k++)
        if ((kinds >> k) & 1u)
            bonus(1, ItemKindBonus[k]);
    const uint8_t weapon = p.PersBonus[3];
    if (weapon == bClaws || weapon == bPaw)
        bonus(1, weapon);
    if (p.Dagger != 0)
        bonus(1, bDagger);
    if (p.Armor <= 2)
        bonus(1, bClothes);
    else if (p.Armor == 3)
        bonus(1, bLightArmor);
    else if (p.Armor == 4)
        bonus(1, bMediumArmor);
    else if (p.Armor == 5)
        bonus(1, bHeavyArmor);
    if (p.Shield == 1) {
        named("SmallShield");
    } else if (p.Shield == 2) {
        named("BigShield");
        named("SmallShield");
    } else if (p.Shield == 3) {
        named("Pavise");
    }
    TByteArray listed;
    ListBonuses(p.BonusSet, listed);
    // A bonus with its own three-state ability icons has its own sign.
    for (uint8_t b : listed)
        if (const TBonusTTX* entry = SignBonusEntry(b); entry != nullptr && entry->Active)
            bonus(2, b);
    for (int32_t s = 1; s <= 7; s++)
        if (p.Spells[s].Spell > 0)
            signs.push_back({3, p.Spells[s].Spell, 0, std::to_string(p.Spells[s].Spell)});
    if (mode == 2 || mode == 3)
        for (uint8_t b : listed)
            if (!IsEffectBonus(b) && !IsHiddenBonus(b))
                signs.push_back({4, b, 0, BonusNames[b]});
    if (mode == 3) {
        for (uint8_t b : listed)
            if (IsEffectBonus(b) && !IsHiddenBonus(b))
                signs.push_back({5, b, 0, BonusNames[b]});
        for (int32_t e = 1; e <= 5; e++)
            if (p.Effects[e].Spell > 0)
                signs.push_back({6, p.Effects[e].Spell, p.Effects[e].Power, std::to_string(p.Effects[e].Spell)});
    }
    return signs;
}

void LayoutSignList(const std::vector<uint8_t>& kinds, int32_t x, int32_t y,
                    std::vector<std::pair<int32_t, int32_t>>& at)
{
    at.clear();
    int32_t w = 0, rowOffset = 0, gaps = 0;
    for (size_t i = 0; i < kinds.size(); i++) {
        if (i > 0 && SignGroup(kinds[i]) != SignGroup(kinds[i - 1])) {
            rowOffset += (w - 1) / 2 + 1;
            gaps++;
            w = 0;
        }
        w++;
        at.emplace_back(x - (w % 2) * 185, y + ((w - 1) / 2 + rowOffset) * 34 + gaps * 17);
    }
}

void TSignsPanel::Create(TGUI_GraphicWindow* window)
{
    Window = window;
    auto make = [&](TSignEntry& entry, TGUI_Label*& label, const std::string& name, const std::string& labelName) {
        entry = TSignEntry();
        entry.Object = new TGUI_Object(MainRender);
        entry.Object->Width = entry.Object->Height = 32;
        entry.Object->Tag = ObjectTagFor(&entry, TagKindSign);
        entry.Object->OnEnter = SignHintHandler;
        entry.Object->Visible = 0;
        entry.Object->Enabled = 0;
        label = new TGUI_Label(MainRender);
        label->Width = 150;
        label->Height = 30;
        label->Align = 2;
        label->SetFont(PanelFont(25));
        label->SetColor(PanelBlack);
        label->Visible = 0;
        label->Enabled = 0;
        if (Window != nullptr) {
            Window->AddObject(entry.Object, name, 0);
            Window->AddObject(label, labelName, 0);
        }
    };
    for (int32_t i = 0; i < SignCount; i++)
        make(Signs[static_cast<size_t>(i)], SignTexts[static_cast<size_t>(i)],
             "ps_Signs[" + std::to_string(i) + "].obj_Region", "ps_SignsText[" + std::to_string(i) + "]");
    for (int32_t i = 0; i < EffectCount; i++)
        make(Effects[static_cast<size_t>(i)], EffectTexts[static_cast<size_t>(i)],
             "ps_SignEffects[" + std::to_string(i) + "].obj_Region", "ps_SignEffectsText[" + std::to_string(i) + "]");
}

bool TSignsPanel::AddSign(uint8_t kind, int32_t value, int32_t extra)
{
    int32_t icon = 0;
    if (kind == 3 || kind == 6) {
        if (const TSpell* spell = FindSpell(value))
            icon = spell->Icon;
    } else if (const TBonusTTX* entry = SignBonusEntry(value)) {
        icon = entry->Icon;
    }
    if (icon <= 0)
        return false;
    const bool effect = kind == 5 || kind == 6;
    int32_t& used = effect ? UsedEffects : UsedSigns;
    if (used >= (effect ? EffectCount : SignCount))
        return false;
    TSignEntry& entry = effect ? Effects[static_cast<size_t>(used)] : Signs[static_cast<size_t>(used)];
    used++;
    entry.Kind = kind;
    entry.Value = value;
    entry.Extra = extra;
    entry.Personage = kind >= 3 && kind <= 5 ? &Personage : nullptr;
    if (entry.Object != nullptr) {
        entry.Object->Sprite = icon;
        entry.Object->Width = entry.Object->Height = 32;
    }
    return true;
}

void TSignsPanel::SetPersonage(const TPersonage& personage, uint8_t mode, bool listLayout)
{
    Personage = personage;
    Mode = mode;
    UsedSigns = UsedEffects = 0;
    auto empty = [](TSignEntry& entry, TGUI_Label* label) {
        entry.Kind = 0;
        entry.Value = entry.Extra = -1;
        entry.Personage = nullptr;
        if (entry.Object != nullptr) {
            entry.Object->Visible = entry.Object->Enabled = 0;
            entry.Object->Sprite = -1;
            entry.Object->X = entry.Object->Y = 0;
        }
        if (label != nullptr)
            label->Visible = 0;
    };
    for (size_t i = 0; i < Signs.size(); i++)
        empty(Signs[i], SignTexts[i]);
    for (size_t i = 0; i < Effects.size(); i++)
        empty(Effects[i], EffectTexts[i]);
    for (const TSignRequest& sign : CollectSigns(Personage, mode))
        AddSign(sign.Kind, sign.Value, sign.Extra);

    auto label = [&](TSignEntry& entry, TGUI_Label* text, bool offScreen) {
        if (text == nullptr || entry.Object == nullptr)
            return;
        std::u16string name;
        if ((entry.Kind == 3 || entry.Kind == 6) && entry.Value >= 1 && entry.Value <= SpellMax) {
            if (const TSpell* spell = FindSpell(entry.Value))
                name = spell->Name;
        } else if (const TBonusTTX* bonusEntry = SignBonusEntry(entry.Value)) {
            name = bonusEntry->Name;
        }
        text->SetText(name);
        text->SetInterval(name.size() > 20 ? -1 : -1000);
        if (offScreen) {
            text->X = -500;
            text->Y = -50;
        } else {
            text->X = entry.Object->X + 34;
            text->Y = entry.Object->Y + 10;
        }
        if (Window != nullptr)
            Window->MoveObjectLast(text);
    };
    if (!listLayout) {
        for (int32_t n = 0; n < UsedSigns; n++) {
            PlaceObject(Signs[static_cast<size_t>(n)].Object, X - 247 + (n % 8) * 33, Y - 25 + (n / 8) * 33);
            label(Signs[static_cast<size_t>(n)], SignTexts[static_cast<size_t>(n)], true);
        }
        for (int32_t n = 1; n <= UsedEffects; n++) {
            PlaceObject(Effects[static_cast<size_t>(n - 1)].Object, X - 476 + (n % 6) * 32, Y - 49 - ((n - 1) / 6) * 32);
            label(Effects[static_cast<size_t>(n - 1)], EffectTexts[static_cast<size_t>(n - 1)], true);
        }
        return;
    }
    std::vector<uint8_t> kinds;
    for (int32_t n = 0; n < UsedSigns; n++)
        kinds.push_back(Signs[static_cast<size_t>(n)].Kind);
    std::vector<std::pair<int32_t, int32_t>> at;
    LayoutSignList(kinds, X, Y, at);
    for (int32_t n = 0; n < UsedSigns; n++) {
        PlaceObject(Signs[static_cast<size_t>(n)].Object, at[static_cast<size_t>(n)].first,
                    at[static_cast<size_t>(n)].second);
        label(Signs[static_cast<size_t>(n)], SignTexts[static_cast<size_t>(n)], false);
    }
    for (int32_t w = 1; w <= UsedEffects; w++) {
        PlaceObject(Effects[static_cast<size_t>(w - 1)].Object, X - (w % 2) * 185 - 300, Y + ((w - 1) / 2) * 34);
        label(Effects[static_cast<size_t>(w - 1)], EffectTexts[static_cast<size_t>(w - 1)], false);
    }
}

void TSignsPanel::SetPosition(int32_t x, int32_t y)
{
    X = x;
    Y = y;
    for (auto* entries : {&Signs})
        for (TSignEntry& entry : *entries)
            if (entry.Object != nullptr && entry.Object->Sprite > 0 && (entry.Object->X <= 0 || entry.Object->Y <= 0))
                PlaceObject(entry.Object, x, y);
    for (TSignEntry& entry : Effects)
        if (entry.Object != nullptr && entry.Object->Sprite > 0 && (entry.Object->X <= 0 || entry.Object->Y <= 0))
            PlaceObject(entry.Object, x, y);
}

void TSignsPanel::Show()
{
    Shown = 1;
    for (size_t i = 0; i < Signs.size(); i++)
        if (Signs[i].Kind != 0 && Signs[i].Object != nullptr) {
            Signs[i].Object->Visible = Signs[i].Object->Enabled = 1;
            if (SignTexts[i] != nullptr)
                SignTexts[i]->Visible = 1;
        }
    for (size_t i = 0; i < Effects.size(); i++)
        if (Effects[i].Kind != 0 && Effects[i].Object != nullptr) {
            Effects[i].Object->Visible = Effects[i].Object->Enabled = 1;
            if (EffectTexts[i] != nullptr)
                EffectTexts[i]->Visible = 1;
        }
}

void TSignsPanel::Hide()
{
    Shown = 0;
    for (size_t i = 0; i < Signs.size(); i++) {
        if (Signs[i].Object != nullptr)
            Signs[i].Object->Visible = Signs[i].Object->Enabled = 0;
        if (SignTexts[i] != nullptr)
            SignTexts[i]->Visible = 0;
    }
    for (size_t i = 0; i < Effects.size(); i++) {
        if (Effects[i].Object != nullptr)
            Effects[i].Object->Visible = Effects[i].Object->Enabled = 0;
        if (EffectTexts[i] != nullptr)
            EffectTexts[i]->Visible = 0;
    }
}

void TSignsPanel::Destroy()
{
    auto drop = [&](TSignEntry& entry, TGUI_Label*& label) {
        for (TGUI_Object* object : {entry.Object, static_cast<TGUI_Object*>(label)}) {
            if (object == nullptr)
                continue;
            if (Window != nullptr)
                Window->RemoveObject(object);
            delete object;
        }
        ReleaseObjectTag(&entry);
        entry.Object = nullptr;
        label = nullptr;
    };
    for (size_t i = 0; i < Signs.size(); i++)
        drop(Signs[i], SignTexts[i]);
    for (size_t i = 0; i < Effects.size(); i++)
        drop(Effects[i], EffectTexts[i]);
    Window = nullptr;
}

std::u16string SignDescription(const TSignEntry& entry)
{
    const uint8_t bonus = entry.Value > 0 && entry.Value < BonusTypeCount ? static_cast<uint8_t>(entry.Value) : 0;
    switch (entry.Kind) {
    case 1:
    case 2:
        return GetBonusDescription(bonus);
    case 3:
        return entry.Personage != nullptr ? GetPersonageSpellDescription(entry.Value, *entry.Personage, true)
                                          : GetSpellDescription(entry.Value, 0);
    case 4:
    case 5:
        return entry.Personage != nullptr ? GetPersonageBonusDescription(bonus, *entry.Personage)
                                          : GetBonusDescription(bonus);
    case 6:
        return GetSpellDescription(entry.Value, entry.Extra);
    default:
        return {};
    }
}

void SignHintHandler(TGUI_Object* object)
{
    if (object == nullptr)
        return;
    const auto* entry = static_cast<const TSignEntry*>(ObjectTagTarget(object->Tag, TagKindSign));
    if (entry == nullptr || entry->Kind == 0)
        return;
    THint& hint = MainHint();
    hint.Attach(HintCloseAwayFromOwner, HintOpenOverOwner, object, true, -1);
    hint.Clear(HintSmallFrame, 0);
    AddHintTitleAndBody(SignDescription(*entry));
    hint.Layout();
}

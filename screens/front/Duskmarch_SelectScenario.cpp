#include "screens/front/Duskmarch_SelectScenario.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "model/scenario/ScenarioMap.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_SelectHero.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/kit/Duskmarch_Base_HintTexts.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_Base_Sound.h"

TScenarioList StandardScenarios;
TScenarioList AdditionalScenarios;
TGUI_GraphicWindow* SelectScenarioWindow = nullptr;
TScenarioListArea ScenarioListArea;
float ScenarioListPosition = 0;

namespace {

constexpr int32_t DescriptionCapacity = 100;
constexpr int32_t DescriptionLongFrom = 901;
constexpr int32_t DescriptionShownMax = 112;
constexpr uint32_t KindColour = 0xFF412B15; // 65, 43, 21
constexpr uint32_t Black = 0xFF000000;
constexpr int32_t PaperWidth = 470;

int32_t NameFont()
{
    return FontSlots[22]; // 23 pixels
}
int32_t KindFont()
{
    return FontSlots[20]; // 19 pixels
}
int32_t DescriptionFont()
{
    return FontSlots[19]; // 17 pixels
}

bool ScenarioHotkeyHeld = false;
int32_t DawnSprite = -1;
int32_t PaperSprite = -1;
int32_t ScrollSprite = -1; // every frame shows it

void PlayScenarioSound(int32_t id)
{
    if (id > 0 && SoundDevice != nullptr)
        Sound_Play(id, true, false);
}

// A picture the list draws; -1 when it is missing (the list still works).
int32_t LoadScenarioPicture(const std::string& file)
{
    if (MainRender == nullptr || !FileExistsMask(file))
        return -1;
    const int32_t sprite = MainRender->Sprite_Add(1, 1);
    if (T3D_Sprite* s = MainRender->Sprite_Get(sprite))
        s->LoadTexture(file, 0);
    return sprite;
}


// The frame's height when it has no picture (tests, a missing file).
constexpr int32_t FrameHeightDefault = 100;

std::u16string KindText(int32_t kind)
{
    const char* key = "Scenario";
    switch (kind) {
    case ScenarioKindCampaign: key = "ScenarioCompanyFirst"; break;
    case ScenarioKindSingle: key = "ScenarioOne"; break;
    case ScenarioKindUserCampaign: key = "UserScenarioCompanyFirst"; break;
    case ScenarioKindUserSingle: key = "UserScenarioOne"; break;
    case ScenarioKindNotReady: key = "ScenarioNotReady"; break;
    default: break;
    }
    if (TextsIni == nullptr || !TextsIni->SelectSection("Texts"))
        return OS_MultiByteToWide(0, key);
    return GetLocalizedText(*TextsIni, key);
}

TGUI_Object* FindScenarioObject(const char* name)
{
    return SelectScenarioWindow != nullptr ? SelectScenarioWindow->FindObject(name) : nullptr;
}

TGUI_ScrollBar* ScrollBar()
{
    return dynamic_cast<TGUI_ScrollBar*>(FindScenarioObject("sb_Bar"));
}

void SetScrollVisible(const TScenarioList& list)
{
    const int32_t visible = ScenarioListTotalHeight(list) > ScenarioListArea.VisibleHeight ? 1 : 0;
    if (SelectScenarioWindow != nullptr)
        SelectScenarioWindow->SetVariableInt("Scroll.vis", visible, true);
    if (TGUI_ScrollBar* bar = ScrollBar())
        bar->Visible = static_cast<uint8_t>(visible);
}

int32_t FrameHeight(const TScenarioList& list, int32_t i)
{
    const TGUI_Object* frame = list.Frames[static_cast<size_t>(i)];
    return frame != nullptr && frame->Height > 0 ? frame->Height : FrameHeightDefault;
}

int32_t DescriptionTextHeight(const TScenarioList& list, int32_t i)
{
    const TGUI_StringList* d = list.Descriptions[static_cast<size_t>(i)];
    return d != nullptr ? d->GetTextHeight() : 0;
}

template <typename T>
void SwapAt(std::vector<T>& v, size_t i, size_t j)
{
    std::swap(v[i], v[j]);
}

void ShowList(TScenarioList& list, bool visible)
{
    for (int32_t i = 0; i < list.Count(); i++) {
        list.NameLabels[static_cast<size_t>(i)]->Visible = visible ? 1 : 0;
        list.KindLabels[static_cast<size_t>(i)]->Visible = visible ? 1 : 0;
        list.Frames[static_cast<size_t>(i)]->Visible = visible ? 1 : 0;
        if (!visible)
            list.Descriptions[static_cast<size_t>(i)]->Visible = 0;
    }
}

void ShowTab(bool additional)
{
    if (additional && AdditionalScenarios.Count() == 0)
        return;
    UseUserScenarioList = additional ? 1 : 0;
    TScenarioList& shown = additional ? AdditionalScenarios : StandardScenarios;
    ShowList(additional ? StandardScenarios : AdditionalScenarios, false);
    ShowList(shown, true);
    if (auto* main = dynamic_cast<TGUI_Button*>(FindScenarioObject("b_Main")))
        ShowButtonHeld(*main, !additional);
    if (auto* users = dynamic_cast<TGUI_Button*>(FindScenarioObject("b_Users")))
        ShowButtonHeld(*users, additional);
    SetScrollVisible(shown);
    ScenarioListPosition = 0;
    if (TGUI_ScrollBar* bar = ScrollBar())
        bar->SetPosition(0);
    if (shown.Count() > 0)
        SelectScenarioEntry(shown, 0);
    RelayoutScenarioList(shown);
}

void ShowScenarioHint(TGUI_Object* owner, const std::u16string& text)
{
    if (owner == nullptr || text.empty() || HintList.empty())
        return;
    ShowHintTextAt(text, owner);
}

void DifficultyHint(TGUI_Object* object)
{
    if (object == nullptr || TextsIni == nullptr || !TextsIni->SelectSection("Texts"))
        return;
    int32_t level = object->Tag;
    if (level < 1 || level > 4)
        return;
    ShowScenarioHint(object, GetLocalizedText(*TextsIni, "Level" + std::to_string(level)));
}

void CaptionDifficultyHint(TGUI_Object* object)
{
    if (object == nullptr || TextsIni == nullptr || !TextsIni->SelectSection("Texts"))
        return;
    for (int n = 1; n <= 4; n++)
        if (object == FindScenarioObject(("c_DL" + std::to_string(n)).c_str()))
            ShowScenarioHint(object, GetLocalizedText(*TextsIni, "Level" + std::to_string(n)));
}

void PersonalizationHint(TGUI_Object* object)
{
    if (TextsIni != nullptr && TextsIni->SelectSection("Hints"))
        ShowScenarioHint(object, GetLocalizedText(*TextsIni, "Personalization"));
}

void AcceptHint(TGUI_Object* object)
{
    const TScenarioList& list = ShownScenarioList();
    if (SelectedScenario >= 0 && SelectedScenario < list.Count() &&
        list.NotReady[static_cast<size_t>(SelectedScenario)] != 0)
        ShowScenarioHint(object, KindText(ScenarioKindNotReady));
}

void DifficultyDown(TGUI_Object* object)
{
    if (object != nullptr)
        SelectScenarioScreen_SetDifficulty(object->Tag);
}

// A left click inside the list: the frame under the mouse, when it takes clicks.
void ClickList(int32_t x, int32_t y)
{
    TScenarioList& list = ShownScenarioList();
    for (int32_t i = 0; i < list.Count(); i++) {
        const TGUI_Object* frame = list.Frames[static_cast<size_t>(i)];
        if (frame->Enabled == 0 || frame->Visible == 0)
            continue;
        if (x >= frame->X && x < frame->X + frame->Width && y >= frame->Y && y < frame->Y + FrameHeight(list, i)) {
            if (list.Selected[static_cast<size_t>(i)] == 0)
                SelectScenarioEntry(list, i);
            return;
        }
    }
}

void DrawEntries()
{
    if (MainRender == nullptr || SelectScenarioWindow == nullptr)
        return;
    const int32_t scene = SelectScenarioWindow->DrawScene;
    const TScenarioListArea& a = ScenarioListArea;
    MainRender->ClipRect_Push(scene, a.Left, a.Top - 5, a.Left + 500, a.Top + a.VisibleHeight, false);
    TScenarioList& list = ShownScenarioList();
    for (int32_t i = 0; i < list.Count(); i++) {
        const size_t k = static_cast<size_t>(i);
        TGUI_StringList* description = list.Descriptions[k];
        const int32_t top = list.NameLabels[k]->Y;
        if (list.Selected[k] != 0 && description->Visible != 0) {
            MainRender->Sprite_Draw(scene, list.Papers[k], a.Left + 7, top + 46, -1);
            description->Draw(scene);
            MainRender->Sprite_Draw(scene, DawnSprite, a.Left - 4, top + description->Height + 43, -1);
        }
        if (list.Frames[k]->Sprite >= 0)
            MainRender->Sprite_Draw(scene, list.Frames[k]->Sprite, list.Frames[k]->X, list.Frames[k]->Y, -1);
        list.NameLabels[k]->Draw(scene);
        list.KindLabels[k]->Draw(scene);
    }
    MainRender->ClipRect_Pop(scene);
    const int32_t mx = GUI_Input.VirtualX, my = GUI_Input.VirtualY;
    if (GUI_Keys[GUI_KEY_LBUTTON].Released != 0)
        ClickList(mx, my);
    if (GUI_Input.Wheel != 0 && mx >= a.Left && mx < a.Left + a.Width && my >= a.Top && my < a.Top + a.Height)
        ScrollScenarioListByWheel(list, GUI_Input.Wheel);
    if (TGUI_ScrollBar* bar = ScrollBar())
        if (bar->Position != ScenarioListPosition) {
            ScenarioListPosition = bar->Position;
            RelayoutScenarioList(list);
        }
}

} // namespace

// ---------------------------------------------------------------------------
// The list

void ShowButtonHeld(TGUI_Button& button, bool held)
{
    if (!held) {
        button.ClearHeld();
        return;
    }
    button.SetHeld();
    button.Current = button.Pressed;
    button.FadeTime = 0;
}

TScenarioList::~TScenarioList()
{
    Clear();
}

int32_t TScenarioList::Kind(int32_t i) const
{
    return KindLabels[static_cast<size_t>(i)]->Tag;
}

namespace {

// The toolkit's labels and lists keep their text sprites when deleted; the
// entries' own are released here, or every listing would leave a hundred
// sprites per entry behind and slow every later sprite's creation.
void FreeEntryLabel(TGUI_Label* label)
{
    if (label != nullptr)
        FreeSprite(label->TextSprite);
    delete label;
}

void FreeEntryDescription(TGUI_StringList* list)
{
    if (list != nullptr)
        for (TGUI_ListLine& line : list->Lines)
            FreeSprite(line.Sprite);
    delete list;
}

} // namespace

void TScenarioList::Clear()
{
    for (TGUI_Label* label : NameLabels)
        FreeEntryLabel(label);
    for (TGUI_Label* label : KindLabels)
        FreeEntryLabel(label);
    // The frames show the shared scroll picture, which stays.
    for (TGUI_Object* frame : Frames)
        delete frame;
    for (TGUI_StringList* list : Descriptions)
        FreeEntryDescription(list);
    NameLabels.clear();
    KindLabels.clear();
    Frames.clear();
    Reserved.clear();
    Selected.clear();
    Descriptions.clear();
    Papers.clear();
    NotReady.clear();
    Personalization.clear();
    Folders.clear();
    FileNames.clear();
}

TScenarioList& ShownScenarioList()
{
    return UseUserScenarioList != 0 ? AdditionalScenarios : StandardScenarios;
}

bool TakeScenarioEntry(uint8_t mask, int32_t filter, bool useUserList)
{
    return (mask == 0 && filter == 0) || (filter & mask) != 0 || useUserList;
}

int32_t ScenarioEntryKind(bool campaign, bool notReady, int32_t filter)
{
    if (notReady)
        return ScenarioKindNotReady;
    if (filter == 0)
        return campaign ? ScenarioKindCampaign : ScenarioKindSingle;
    return campaign ? ScenarioKindUserCampaign : ScenarioKindUserSingle;
}

std::u16string ScenarioEntryName(bool campaign, const std::u16string& campaignName, const std::u16string& name,
                                 const std::string& fileName)
{
    std::u16string shown = campaign && campaignName.size() >= 2 ? campaignName : name;
    if (shown.size() < 2)
        shown = OS_MultiByteToWide(0, fileName);
    return shown;
}

TDescriptionStyle ScenarioDescriptionStyle(size_t length)
{
    if (length < static_cast<size_t>(DescriptionLongFrom))
        return {};
    return {0, 0.9f};
}

size_t AddTextWithinCapacity(TGUI_StringList& list, const std::u16string& text, int32_t font, uint32_t colour,
                             int32_t interval, int32_t capacity)
{
    // The lines a text takes are known only once it is laid out: lay it out
    // in a list with room for every line a text of this length can take
    // (each line holds a character at least), and cut it where the lines
    // stay within the capacity.
    auto linesOf = [&](size_t length) {
        TGUI_StringList scratch(list.Render, static_cast<int32_t>(length) + 2);
        scratch.Width = list.Width;
        scratch.MarginX = list.MarginX;
        scratch.AddText(text.substr(0, length), font, -1, 2, colour, interval);
        return scratch.Count;
    };
    size_t length = text.size();
    const int32_t room = std::max(0, capacity - list.Count);
    // Every line holds a word at least: a text of fewer words and breaks
    // than the room fits without trying.
    const auto pieces = static_cast<int64_t>(std::count(text.begin(), text.end(), u' ') +
                                             std::count(text.begin(), text.end(), u'\n') +
                                             std::count(text.begin(), text.end(), u'\\') +
                                             std::count(text.begin(), text.end(), u'>') + 1);
    if (pieces > room && linesOf(length) > room) {
        size_t low = 0, high = length; // low fits, high does not
        while (high - low > 1) {
            const size_t middle = low + (high - low) / 2;
            (linesOf(middle) <= room ? low : high) = middle;
        }
        length = low;
    }
    if (length > 0 || room > 0)
        list.AddText(text.substr(0, length), font, -1, 2, colour, interval);
    return length;
}

void SortScenarioListByKind(TScenarioList& list, int32_t first)
{
    const int32_t count = list.Count();
    for (int32_t i = std::max(0, first); i < count; i++)
        for (int32_t j = i + 1; j < count; j++) {
            if (list.Kind(j) >= list.Kind(i))
                continue;
            const size_t a = static_cast<size_t>(i), b = static_cast<size_t>(j);
            SwapAt(list.NameLabels, a, b);
            SwapAt(list.KindLabels, a, b);
            SwapAt(list.Reserved, a, b);
            SwapAt(list.Descriptions, a, b);
            SwapAt(list.Papers, a, b);
            SwapAt(list.NotReady, a, b);
            SwapAt(list.Personalization, a, b);
            SwapAt(list.Folders, a, b);
            SwapAt(list.FileNames, a, b);
            list.Selected[a] = 0;
            list.Selected[b] = 0;
        }
}

void AppendScenarioEntries(TScenarioList& list, const std::string& folder, const std::vector<std::string>& files,
                           int32_t filter)
{
    const TScenarioListArea& a = ScenarioListArea;
    const int32_t first = list.Count();
    for (const std::string& file : files) {
        if (!ReadScenarioHeader(folder + file) || MapStoryPreview.Unlisted != 0)
            continue;
        if (!TakeScenarioEntry(MapStoryPreview.ListGroup, filter, UseUserScenarioList != 0))
            continue;
        const bool campaign = MapStoryPreview.HasTitle != 0;
        const bool notReady = MapStoryPreview.NotReady != 0;
        const int32_t kind = ScenarioEntryKind(campaign, notReady, filter);
        int32_t top = a.Top;
        if (list.Count() > 0) {
            const size_t last = static_cast<size_t>(list.Count() - 1);
            top = list.NameLabels[last]->Y + list.NameLabels[last]->Height + 10;
            if (list.Selected[last] != 0)
                top += list.Descriptions[last]->Height + 10;
        }

        auto* name = new TGUI_Label(MainRender);
        name->SetBlending(2);
        name->SetFont(NameFont());
        name->SetColor(Black);
        name->Align = 2;
        name->SetText(ScenarioEntryName(campaign, MapStoryPreview.Title, MapStoryPreview.Name, file));
        name->X = a.Left + a.Width / 2;
        name->Y = top;
        name->DrawnByWindow = 0;

        auto* kindLabel = new TGUI_Label(MainRender);
        kindLabel->SetBlending(2);
        kindLabel->SetFont(KindFont());
        kindLabel->SetColor(KindColour);
        kindLabel->Align = 2;
        kindLabel->SetText(u"Scenario");
        kindLabel->X = name->X;
        kindLabel->Y = top + 20;
        kindLabel->Tag = kind;
        kindLabel->DrawnByWindow = 0;

        auto* frame = new TGUI_Object(MainRender);
        if (ScrollSprite < 0)
            ScrollSprite = LoadScenarioPicture(WindowsFolder + "Journal\\BigScroll.DDS");
        frame->Sprite = ScrollSprite;
        frame->Width = SpriteWidth(frame->Sprite);
        frame->Height = SpriteHeight(frame->Sprite);
        frame->X = a.Left;
        frame->Y = top - 7;
        frame->DrawnByWindow = 0;

        auto* description = new TGUI_StringList(MainRender, DescriptionCapacity);
        description->X = a.Left + 25;
        description->Y = top + 40;
        description->Width = 440;
        description->Visible = 0;
        description->DrawnByWindow = 0;
        std::u16string text = MapStoryPreview.Description;
        if (text.empty())
            text = u"Scenario description";
        const TDescriptionStyle style = ScenarioDescriptionStyle(text.size());
        if (style.Spacing != 1.0f)
            description->SetLineSpacing(DescriptionFont(), style.Spacing);
        AddTextWithinCapacity(*description, text, DescriptionFont(), Black, style.Interval, DescriptionCapacity);
        description->SetHeight(std::min(description->GetTextHeight(), DescriptionShownMax));

        list.NameLabels.push_back(name);
        list.KindLabels.push_back(kindLabel);
        list.Frames.push_back(frame);
        list.Reserved.push_back(0);
        list.Selected.push_back(0);
        list.Descriptions.push_back(description);
        list.Papers.push_back(PaperSprite);
        list.NotReady.push_back(notReady ? 1 : 0);
        list.Personalization.push_back(MapStoryPreview.ListFlag != 0 ? 1 : 0);
        list.Folders.push_back(folder);
        list.FileNames.push_back(file);
        kindLabel->SetText(KindText(kind));
    }
    SortScenarioListByKind(list, first);
}

void BuildScenarioLists()
{
    if (SelectScenarioWindow != nullptr) {
        // "s_List" is a sprite of the description: its place is read from
        // the description's values.
        const TGUI_GraphicWindow& w = *SelectScenarioWindow;
        ScenarioListArea.Left = w.GetValue("s_List.x") + 1;
        ScenarioListArea.Top = w.GetValue("s_List.y") + 9;
        ScenarioListArea.Width = w.GetValue("s_List.width");
        ScenarioListArea.Height = w.GetValue("s_List.height");
        ScenarioListArea.VisibleHeight = ScenarioListArea.Height - 18;
    }
    UseUserScenarioList = 0;
    if (PaperSprite < 0)
        PaperSprite = LoadScenarioPicture(InterfaceFolder + "Windows\\Journal\\quest_texture_paper512.DDS");
    TStringArray files;
    ListFiles(ScenariosFolder + "*.Tdm", files, false);
    std::sort(files.begin(), files.end());
    AppendScenarioEntries(StandardScenarios, ScenariosFolder, files, 0);
    AppendScenarioEntries(AdditionalScenarios, ScenariosFolder, files, 1);
    StandardScenarioFiles = StandardScenarios.FileNames;
    if (ActiveModFolder.empty() || !PathDirExists(GameFolder + ActiveModFolder + "Scenarios"))
        return;
    const std::string modFolder = GameFolder + ActiveModFolder + "Scenarios\\";
    TStringArray modFiles;
    ListFiles(modFolder + "*.Tdm", modFiles, false);
    if (modFiles.empty())
        return;
    std::sort(modFiles.begin(), modFiles.end());
    UseUserScenarioList = 1;
    AppendScenarioEntries(AdditionalScenarios, modFolder, modFiles, 1);
}

// ---------------------------------------------------------------------------
// Layout

int32_t ScenarioListTotalHeight(const TScenarioList& list)
{
    int32_t total = 0;
    for (int32_t i = 0; i < list.Count(); i++) {
        total += FrameHeight(list, i);
        if (list.Selected[static_cast<size_t>(i)] != 0)
            total += DescriptionTextHeight(list, i) + 45;
    }
    return total;
}

void RelayoutScenarioList(TScenarioList& list)
{
    const TScenarioListArea& a = ScenarioListArea;
    const int32_t range = std::max(0, ScenarioListTotalHeight(list) - a.VisibleHeight);
    int32_t top = a.Top - static_cast<int32_t>(std::lround(ScenarioListPosition * static_cast<float>(range)));
    for (int32_t i = 0; i < list.Count(); i++) {
        const size_t k = static_cast<size_t>(i);
        TGUI_Object* frame = list.Frames[k];
        const int32_t frameHeight = FrameHeight(list, i);
        list.NameLabels[k]->Y = top;
        list.KindLabels[k]->Y = top + 22;
        frame->Y = top - 7;
        frame->Enabled = (a.Top - 30 < frame->Y && frame->Y < a.Top + a.Height - 50) ? 1 : 0;
        TGUI_StringList* description = list.Descriptions[k];
        description->Y = top + frameHeight - 20;
        description->Visible = list.Selected[k];
        if (list.Selected[k] != 0) {
            const int32_t textHeight = description->GetTextHeight();
            description->SetHeight(textHeight);
            if (T3D_Sprite* paper = MainRender != nullptr ? MainRender->Sprite_Get(list.Papers[k]) : nullptr)
                paper->SetSize(0, static_cast<float>(PaperWidth), static_cast<float>(textHeight + 35));
            top += textHeight + 45;
        }
        top += frameHeight;
    }
}

float ScenarioWheelStep(int32_t totalHeight, int32_t listHeight, int32_t visibleHeight, int32_t firstFrameHeight)
{
    if (totalHeight <= visibleHeight)
        return 0;
    if (firstFrameHeight <= 0)
        return 1;
    const float steps = static_cast<float>(totalHeight - listHeight) / static_cast<float>(firstFrameHeight);
    // A range shorter than one frame takes a single step.
    if (steps <= 0 || steps < 1)
        return 1;
    return 1.0f / steps;
}

bool ScrollScenarioListByWheel(TScenarioList& list, int32_t delta)
{
    if (list.Count() == 0 || delta == 0)
        return false;
    const float step = ScenarioWheelStep(ScenarioListTotalHeight(list), ScenarioListArea.Height,
                                         ScenarioListArea.VisibleHeight, FrameHeight(list, 0));
    const float before = ScenarioListPosition;
    ScenarioListPosition = std::clamp(before + (delta > 0 ? -step : step), 0.0f, 1.0f);
    if (ScenarioListPosition == before)
        return false;
    if (TGUI_ScrollBar* bar = ScrollBar())
        bar->SetPosition(ScenarioListPosition);
    RelayoutScenarioList(list);
    return true;
}

// ---------------------------------------------------------------------------
// Selection and buttons

void SelectScenarioEntry(TScenarioList& list, int32_t i)
{
    if (i < 0 || i >= list.Count())
        return;
    for (int32_t k = 0; k < list.Count(); k++)
        list.Selected[static_cast<size_t>(k)] = k == i ? 1 : 0;
    SelectedScenario = i;
    SelectedScenarioName = list.NameLabels[static_cast<size_t>(i)]->GetText();
    RelayoutScenarioList(list);
    if (SelectScenarioWindow != nullptr)
        SetWindowLabelText(*SelectScenarioWindow, "c_MapName", GetScenarioDisplayName(SelectedScenarioName));
    const bool personal = list.Personalization[static_cast<size_t>(i)] != 0;
    if (auto* box = dynamic_cast<TGUI_CheckBox*>(FindScenarioObject("cb_SUP"))) {
        box->Enabled = personal ? 1 : 0;
        box->Visible = personal ? 1 : 0;
        if (!personal)
            box->Checked = 0;
    }
    if (TGUI_Object* caption = FindScenarioObject("c_SUP"))
        caption->Visible = personal ? 1 : 0;
    PlayScenarioSound(SoundWindowPExpand);
}

void SelectScenarioScreen_SetDifficulty(int32_t level)
{
    if (level < 1 || level > 4)
        return;
    for (int n = 1; n <= 4; n++)
        if (auto* button = dynamic_cast<TGUI_Button*>(FindScenarioObject(("b_DL" + std::to_string(n)).c_str())))
            ShowButtonHeld(*button, n == level);
    SetDifficulty(level);
}

void SelectScenarioScreen_ShowStandard(TGUI_Object*)
{
    ShowTab(false);
}

void SelectScenarioScreen_ShowAdditional(TGUI_Object*)
{
    ShowTab(true);
}

bool SelectScenarioScreen_AcceptSelected()
{
    const TScenarioList& list = ShownScenarioList();
    if (SelectedScenario < 0 || SelectedScenario >= list.Count() ||
        list.NotReady[static_cast<size_t>(SelectedScenario)] != 0)
        return false;
    SetDifficulty(OptionsDifficulty);
    RequestScreenClose(SelectScenario_Window);
    HeroReachedFromSelection = true;
    RequestScreenOpen(SelectHero_Window, nullptr);
    return true;
}

void SelectScenarioScreen_Accept(TGUI_Object*)
{
    SelectScenarioScreen_AcceptSelected();
}

void SelectScenarioScreen_Close(TGUI_Object*)
{
    // The main menu stays open under the selection and becomes active again.
    RequestScreenClose(SelectScenario_Window);
}

// ---------------------------------------------------------------------------
// The window

void SelectScenarioScreen_Create()
{
    SelectScenarioWindow = CreateScreenWindow("SelectScenario", SelectScenarioScreen_WindowHandler);
    SelectScenario_Window = SelectScenarioWindow;
    struct TCaption {
        const char* Label;
        const char* Key;
    };
    static constexpr TCaption Captions[] = {
        {"c_Title", "TitleSelectScenario"}, {"c_Main", "ScenarioMain"}, {"c_Users", "ScenarioUsers"},
        {"c_Yes", "shYes"}, {"c_DifficultyLevel", "DifficultyLevel"}, {"c_DL1", "Level1s"},
        {"c_DL2", "Level2s"}, {"c_DL3", "Level3s"}, {"c_DL4", "Level4s"},
        {"c_SUP", "SelectPersonalization"}, {"c_No", "shNo"}};
    if (TextsIni != nullptr && TextsIni->SelectSection("Texts"))
        for (const TCaption& caption : Captions)
            SetWindowLabelText(*SelectScenarioWindow, caption.Label, GetLocalizedText(*TextsIni, caption.Key));
    BuildScenarioLists();
    SelectScenarioWindow->SetVariableInt("tex.Width", 500, true);
    SelectScenarioWindow->SetVariableInt("tex.Height", ScenarioListArea.VisibleHeight, true);
    SetScrollVisible(StandardScenarios);
    DawnSprite = LoadScenarioPicture(WindowsFolder + "Common\\scroll_quest_dawn.DDS");

    struct TBinding {
        const char* Name;
        TGUI_Handler TGUI_Object::*Event;
        TGUI_Handler Handler;
    };
    const TBinding bindings[] = {
        {"b_Yes", &TGUI_Object::OnClick, SelectScenarioScreen_Accept},
        {"b_Yes", &TGUI_Object::OnEnter, AcceptHint},
        {"b_No", &TGUI_Object::OnClick, SelectScenarioScreen_Close},
        {"b_Main", &TGUI_Object::OnMouseDown, SelectScenarioScreen_ShowStandard},
        {"b_Users", &TGUI_Object::OnMouseDown, SelectScenarioScreen_ShowAdditional},
        {"cb_SUP", &TGUI_Object::OnEnter, PersonalizationHint},
        {"c_SUP", &TGUI_Object::OnEnter, PersonalizationHint},
    };
    for (const TBinding& b : bindings)
        if (TGUI_Object* object = FindScenarioObject(b.Name))
            object->*b.Event = b.Handler;
    for (int n = 1; n <= 4; n++) {
        if (TGUI_Object* button = FindScenarioObject(("b_DL" + std::to_string(n)).c_str())) {
            button->Tag = n;
            button->OnMouseDown = DifficultyDown;
            button->OnEnter = DifficultyHint;
        }
        if (TGUI_Object* caption = FindScenarioObject(("c_DL" + std::to_string(n)).c_str()))
            caption->OnEnter = CaptionDifficultyHint;
    }
    SelectScenarioScreen_SetDifficulty(1);
}

void SelectScenarioScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    switch (state) {
    case GUI_STATE_OPEN:
        ScenarioHotkeyHeld = false;
        SelectScenarioScreen_ShowStandard(nullptr);
        MenuScreenOpen = 1;
        if (auto* box = dynamic_cast<TGUI_CheckBox*>(FindScenarioObject("cb_SUP")))
            if (box->Enabled != 0)
                box->Checked = PersonalizationEnabled;
        SelectScenarioScreen_SetDifficulty(std::clamp<int32_t>(OptionsDifficulty, 1, 4));
        PlayScenarioSound(SoundWindowMAppear);
        break;
    case GUI_STATE_ACTIVE: {
        TScreenHotkeys keys;
        keys.DefaultKey = 32;
        keys.DefaultButton = FindScenarioObject("b_Yes");
        keys.CancelButton = FindScenarioObject("b_No");
        keys.Held = &ScenarioHotkeyHeld;
        RunScreenActiveFrame(*window, DrawEntries, &keys);
        break;
    }
    case GUI_STATE_CLOSE:
        MenuScreenOpen = 0;
        if (auto* box = dynamic_cast<TGUI_CheckBox*>(FindScenarioObject("cb_SUP")))
            PersonalizationEnabled = box->Checked;
        PlayScenarioSound(SoundWindowMDisappear);
        break;
    case GUI_STATE_DESTROY:
        SelectScenarioWindow = nullptr;
        SelectScenario_Window = nullptr;
        break;
    default:
        break;
    }
}

void SelectScenarioScreen_Free()
{
    StandardScenarios.Clear();
    AdditionalScenarios.Clear();
    PaperSprite = -1;
    DawnSprite = -1;
    ScrollSprite = -1;
}

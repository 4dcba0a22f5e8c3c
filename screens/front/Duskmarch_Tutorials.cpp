#include "screens/front/Duskmarch_Tutorials.h"

#include <algorithm>
#include <cmath>

#include "engine/QX9_System.h"
#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "model/scenario/ScenarioMap_Records.h"
#include "model/scenario/ScenarioMap_Tables.h"
#include "platform/window/Window.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/front/Duskmarch_Options.h"
#include "screens/kit/Duskmarch_Base.h"

TTutorialState TutorialState;
uint8_t FromList = 0;
std::unique_ptr<TIniFile> TutorialsIni;
TGUI_Window* TutorialsWindow = nullptr;
void (*TutorialsScreen_MapBackdrop)() = nullptr;

namespace {

// The browser's layout inside its frame.
constexpr int32_t ListMargin = 5;
constexpr int32_t ListWidth = 420;
// Shorter than the frame's inner height so the close button stays clear.
constexpr int32_t ListHeight = 760;
constexpr int32_t ListCapacity = 90;
constexpr int32_t ShadeAlpha = 204;
constexpr int32_t EmptyEntryCount = 13;
// The frame fits a 1600-wide interface: its exit button sits this far in
// from the frame's right edge.
constexpr int32_t ExitButtonInset = 62;

struct TTutorialsControls {
    int32_t Frame = -1; // the browser's frame sprite
    int32_t Shade = -1;
    TGUI_Object* Picture = nullptr;
    TGUI_Button* Close = nullptr;
    TGUI_Label* CloseLabel = nullptr;
    TGUI_Button* Exit = nullptr;
    TGUI_Label* Title = nullptr;
    TGUI_StringList* List = nullptr;
    int32_t PictureTexture = -1;
};
TTutorialsControls Controls;

std::string TutorialsFolder()
{
    return WindowsFolder + "Tutorials\\";
}

int32_t EntryCount()
{
    return static_cast<int32_t>(TutorialsList.size());
}

bool IsActiveOrCovered(const TGUI_Window* window)
{
    return window != nullptr && (window->State == GUI_STATE_ACTIVE || window->State == GUI_STATE_INACTIVE);
}

TGUI_Button* MakeButton(const std::string& base)
{
    auto* button = new TGUI_Button(MainRender);
    const char* const looks[3] = {"_inactive", "_active", "_click"};
    int32_t* targets[3] = {&button->Normal, &button->Hover, &button->Pressed};
    for (int32_t i = 0; i < 3; i++)
        *targets[i] = LoadSprite(WindowsFolder + "common\\" + base + looks[i] + ".DDS", 1);
    button->Disabled = button->Pressed;
    if (const T3D_Sprite* s = MainRender->Sprite_Get(button->Normal)) {
        button->Width = static_cast<int32_t>(std::lround(s->Width));
        button->Height = static_cast<int32_t>(std::lround(s->Height));
    }
    return button;
}

void FreePicture()
{
    if (Controls.PictureTexture >= 0 && MainRender != nullptr)
        MainRender->Texture_Free(Controls.PictureTexture, 1);
    Controls.PictureTexture = -1;
    if (T3D_Sprite* sprite = MainRender != nullptr
                                 ? MainRender->Sprite_Get(Controls.Picture != nullptr ? Controls.Picture->Sprite : -1)
                                 : nullptr)
        sprite->Texture = -1;
}

void LoadPicture(const tTutorialsList& entry)
{
    FreePicture();
    if (Controls.Picture == nullptr || MainRender == nullptr)
        return;
    T3D_Sprite* sprite = MainRender->Sprite_Get(Controls.Picture->Sprite);
    const std::string file = TutorialsFolder() + entry.Image;
    if (sprite == nullptr || entry.Image.empty() || !FileExistsMask(file)) {
        Controls.Picture->Visible = 0;
        Controls.Picture->Width = Controls.Picture->Height = 0;
        return;
    }
    Controls.PictureTexture = MainRender->Texture_Load(file);
    sprite->SetTexture(Controls.PictureTexture, 0);
    Controls.Picture->Visible = 1;
    Controls.Picture->Width = static_cast<int32_t>(std::lround(sprite->Width));
    Controls.Picture->Height = static_cast<int32_t>(std::lround(sprite->Height));
}

void ShowBrowserControls(bool shown)
{
    for (TGUI_Object* object :
         {static_cast<TGUI_Object*>(Controls.Close), static_cast<TGUI_Object*>(Controls.CloseLabel),
          static_cast<TGUI_Object*>(Controls.Exit), static_cast<TGUI_Object*>(Controls.Title),
          static_cast<TGUI_Object*>(Controls.List)})
        if (object != nullptr) {
            object->Visible = object->Enabled = shown ? 1 : 0;
            if (!shown)
                object->X = object->Y = -10000;
        }
}

void CloseTutorials()
{
    RequestScreenClose(TutorialsWindow);
}

// Space, Esc, the buttons and a click on the picture: the next page of a
// pop-up's tutorial, else the window closes.
void GoOn()
{
    const int32_t k = TutorialState.Current;
    if (FromList == 0 && k >= 0 && k + 1 < EntryCount()) {
        const tTutorialsList& a = TutorialsList[static_cast<size_t>(k)];
        const tTutorialsList& b = TutorialsList[static_cast<size_t>(k) + 1];
        if (a.UID == b.UID && a.Window == b.Window) {
            TutorialsScreen_ShowPage(k + 1, 0);
            TutorialsList[static_cast<size_t>(k) + 1].Shown = 1;
            return;
        }
    }
    CloseTutorials();
}

void OnGoOn(TGUI_Object*)
{
    GoOn();
}

void OnListSelect(TGUI_Object* object)
{
    const auto* list = static_cast<TGUI_StringList*>(object);
    const int32_t k = list->HighlightedItem;
    if (TutorialState.Active != 0 && FromList != 0 && k >= 0 && k < EntryCount() && k != TutorialState.Current)
        TutorialsScreen_ShowPage(k, 1);
}

// A browser key: the entry, within the list, selected and shown.
void ShowListEntry(int32_t k)
{
    if (k < 0 || k >= EntryCount() || k == TutorialState.Current)
        return;
    if (Controls.List != nullptr)
        Controls.List->SetHighlightedItem(k); // shows it through the selection
    if (TutorialState.Current != k)
        TutorialsScreen_ShowPage(k, 1);
}

bool Released(int32_t key)
{
    return GUI_Keys[static_cast<size_t>(key)].Released != 0;
}

void DrawShade()
{
    if (Controls.Shade >= 0)
        DrawSpriteAt(Controls.Shade, 0, 0, ShadeAlpha);
}

} // namespace

std::string ChooseTutorialPicture(const std::string& folder, const std::string& image, const std::string& suffix)
{
    // A picture name is a name, never a path out of the folder.
    if (image.find('\\') != std::string::npos || image.find('/') != std::string::npos ||
        image.find("..") != std::string::npos)
        return std::string();
    for (const std::string& candidate : {image + suffix + ".DDS", image + "_eng.DDS", image + ".DDS"})
        if (!image.empty() && FileExistsMask(folder + candidate))
            return candidate;
    return image;
}

void ReadTutorialsList(TIniFile& ini, const std::string& pictureFolder)
{
    TutorialsList.clear();
    if (!ini.SelectSection("Hints")) {
        TutorialsList.resize(EmptyEntryCount);
        return;
    }
    const int32_t count = ini.ReadInteger("TutorialsCount", -1, 0);
    if (count < 1) {
        TutorialsList.resize(EmptyEntryCount);
        return;
    }
    // The count comes from a file: the entries follow the keys that exist.
    TutorialsList.reserve(static_cast<size_t>(std::min(count, 1000)));
    for (int32_t n = 1; n <= count && n <= 1000; n++) {
        ini.SelectSection("Hints");
        tTutorialsList entry;
        entry.UID = ini.ReadInteger("UID" + std::to_string(n), -1, 0);
        entry.Window = ini.ReadString("Window" + std::to_string(n), -1);
        entry.Image =
            ChooseTutorialPicture(pictureFolder, ini.ReadString("Image" + std::to_string(n), -1), LanguageSuffix);
        TutorialsList.push_back(std::move(entry));
    }
}

void TutorialsScreen_Create()
{
    TutorialsScreen_CreateWindow();
}

void TutorialsScreen_CreateWindow()
{
    TutorialState = {};
    FromList = 0;
    Controls = {};
    auto* window = new TGUI_Window(MainRender, "Tutorials_Window");
    window->Handler = TutorialsScreen_WindowHandler;
    if (const T3D_Scene* scene = MainRender->Scene_Find("2D"))
        window->DrawScene = scene->Index;
    TutorialsWindow = window;
    Tutorials_Window = window;

    Controls.Frame = LoadSprite(TutorialsFolder() + "Window_Tutor.DDS", 1);
    Controls.Shade = LoadSprite(TutorialsFolder() + "Shade.tga", 1);
    if (T3D_Sprite* shade = MainRender->Sprite_Get(Controls.Shade))
        shade->SetSize(-1, static_cast<float>(GUIVirtualSize.Width), static_cast<float>(GUIVirtualSize.Height));

    Controls.Picture = new TGUI_Object(MainRender);
    Controls.Picture->Sprite = NewInterfaceSprite();
    Controls.Picture->OnClick = OnGoOn;
    window->Objects.push_back(Controls.Picture);

    Controls.Close = MakeButton("button_main_menu_01");
    Controls.Close->OnClick = OnGoOn;
    window->Objects.push_back(Controls.Close);
    Controls.CloseLabel = new TGUI_Label(MainRender);
    Controls.CloseLabel->SetFont(FontSlots[32]);
    Controls.CloseLabel->SetColor(0xFFFFE2A0u);
    Controls.CloseLabel->Align = 1;
    window->Objects.push_back(Controls.CloseLabel);
    Controls.Exit = MakeButton("exit_button");
    Controls.Exit->OnClick = OnGoOn;
    window->Objects.push_back(Controls.Exit);
    Controls.Title = new TGUI_Label(MainRender);
    Controls.Title->SetFont(FontSlots[33]);
    Controls.Title->SetColor(0xFFFFB743u);
    Controls.Title->Align = 1;
    window->Objects.push_back(Controls.Title);

    auto* list = new TGUI_StringList(MainRender, ListCapacity);
    list->Width = ListWidth;
    list->SetHeight(ListHeight);
    list->MarginX = list->MarginY = ListMargin;
    list->HighlightOn = 1;
    list->HighlightSprite = LoadSprite(InterfaceFolder + "Common\\marker.DDS", 1);
    list->Blending = 2;
    list->OnHighlight = OnListSelect;
    window->Objects.push_back(list);
    Controls.List = list;
    if (ConsoleEditLine != nullptr)
        window->Objects.push_back(ConsoleEditLine);

    if (TextsIni != nullptr) {
        TextsIni->SelectSection("Texts");
        Controls.CloseLabel->SetText(GetLocalizedText(*TextsIni, "ButtonClose"));
        Controls.Title->SetText(GetLocalizedText(*TextsIni, "Tutorial_Section"));
    }

    // The file is read, never made: without it the list has its empty entries.
    TutorialsIni = std::make_unique<TIniFile>();
    const std::string path = GetConfigFilePath("tutorials.ini");
    if (!path.empty())
        TutorialsIni->Load(path);
    ReadTutorialsList(*TutorialsIni, TutorialsFolder());
    const bool hasHints = TutorialsIni->SelectSection("Hints");
    for (int32_t k = 0; k < EntryCount() && list->Count + 3 <= ListCapacity; k++) {
        std::u16string text;
        if (hasHints) {
            TutorialsIni->SelectSection("Hints");
            text = GetLocalizedText(*TutorialsIni, "Line" + std::to_string(k + 1));
        }
        list->Add_Item(u"", FontSlots[32], -1, 2, k > 0, 0xFF000000u, -1000);
        list->Add_Item(text, FontSlots[32], -1, 2, false, 0xFF000000u, -1000);
        list->Add_Item(u"", FontSlots[32], -1, 2, false, 0xFF000000u, -1000);
    }
    ShowBrowserControls(false);

    PlayServices.ShowEventTutorial = [](int32_t event) { ShowEventTutorial(event, 0); };
    ClearTutorialsShown = ResetTutorialsShown;
}

void TutorialsScreen_Open(TGUI_Object*)
{
    TutorialsScreen_ShowPage(0, 1);
}

void ShowEventTutorial(int32_t event, uint8_t fromList)
{
    const bool menu = IsActiveOrCovered(MainMenu_Window);
    const bool wanted = UseTutorial != 0 && MapStory.Tutorial != 0;
    if (!menu && !wanted)
        return;
    int32_t k = -1;
    if (event >= 1) {
        if (event > StoryEventCount || static_cast<size_t>(event) >= StoryEvents.size())
            return;
        const int32_t id = StoryEvents[static_cast<size_t>(event)].Uid;
        const auto found = std::find_if(TutorialsList.begin(), TutorialsList.end(),
                                        [&](const tTutorialsList& t) { return t.UID == id; });
        if (found == TutorialsList.end())
            return;
        k = static_cast<int32_t>(found - TutorialsList.begin());
    }
    ShowTutorial(k, fromList);
}

void ShowTutorial(int32_t entry, uint8_t fromList)
{
    if (MapStory.Tutorial == 0 && MenuScreenOpen == 0 && fromList == 0)
        return;
    if (fromList != 0) {
        if (entry == TutorialState.Current)
            return;
        TutorialState.Current = entry;
    } else {
        // A request while the window is open waits for nobody: it is dropped.
        if (TutorialState.Active != 0)
            return;
        if (entry < 0) {
            const TGUI_Window* active = GUIProcessor != nullptr ? GUIProcessor->ActiveWindow : nullptr;
            if (active == nullptr)
                return;
            const auto found = std::find_if(TutorialsList.begin(), TutorialsList.end(), [&](const tTutorialsList& t) {
                return t.Shown == 0 && t.Window == active->Name;
            });
            if (found == TutorialsList.end())
                return;
            TutorialState.Current = static_cast<int32_t>(found - TutorialsList.begin());
        } else {
            if (entry >= EntryCount() || TutorialsList[static_cast<size_t>(entry)].Shown != 0)
                return;
            TutorialState.Current = entry;
        }
        TutorialState.Active = 1;
    }
    TutorialsScreen_ShowPage(TutorialState.Current, fromList);
}

void TutorialsScreen_ShowPage(int32_t entry, uint8_t fromList)
{
    TGUI_Window* window = TutorialsWindow;
    if (window == nullptr || entry < 0 || entry >= EntryCount())
        return;
    if (TutorialState.Current < 0 && fromList == 0 && TutorialState.Active == 0)
        return;
    TutorialState.Current = entry;
    FromList = fromList;
    LoadPicture(TutorialsList[static_cast<size_t>(entry)]);
    TGUI_Object* picture = Controls.Picture;
    if (fromList != 0) {
        const T3D_Sprite* frame = MainRender->Sprite_Get(Controls.Frame);
        window->Background = Controls.Frame;
        window->Width = frame != nullptr ? static_cast<int32_t>(std::lround(frame->Width)) : 0;
        window->Height = frame != nullptr ? static_cast<int32_t>(std::lround(frame->Height)) : 0;
        window->X = (GUIVirtualSize.Width - window->Width) / 2;
        window->Y = (GUIVirtualSize.Height - window->Height) / 2;
        ShowBrowserControls(true);
        picture->X = window->X + 2 * ListMargin + ListWidth - 18;
        picture->Y = window->Y + 62;
        Controls.Close->X = window->X + 80;
        Controls.Close->Y = window->Y + 878;
        Controls.CloseLabel->X = Controls.Close->X + 80;
        Controls.CloseLabel->Y = Controls.Close->Y + 7;
        Controls.Exit->X = window->X + window->Width - ExitButtonInset;
        Controls.Exit->Y = window->Y + 32;
        Controls.Title->X = Controls.Close->X + 80;
        Controls.Title->Y = window->Y + 52;
        Controls.List->X = window->X + ListMargin;
        Controls.List->Y = window->Y + 100;
        if (Controls.List->HighlightedItem != entry)
            Controls.List->SetHighlightedItem(entry);
    } else {
        window->Background = -1;
        window->Width = picture->Width;
        window->Height = picture->Height;
        window->X = (GUIVirtualSize.Width - window->Width) / 2;
        window->Y = (GUIVirtualSize.Height - window->Height) / 2;
        picture->X = window->X;
        picture->Y = window->Y;
        ShowBrowserControls(false);
    }
    if (GUIProcessor == nullptr || GUIProcessor->ActiveWindow != window)
        RequestScreenOpen(window, nullptr);
}

void TutorialsScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    switch (state) {
    case GUI_STATE_OPEN:
        if (TutorialsScreen_MapBackdrop != nullptr) {
            TutorialsScreen_MapBackdrop();
            window->Background = -1;
        } else if (FromList != 0) {
            window->Background = Controls.Frame;
        }
        CursorKind = 1;
        TutorialState.Active = 1;
        if (FromList == 0 && TutorialState.Current >= 0 && TutorialState.Current < EntryCount())
            TutorialsList[static_cast<size_t>(TutorialState.Current)].Shown = 1;
        if (FromList != 0 && Controls.List != nullptr && TutorialState.Current == 0)
            Controls.List->SetHighlightedItem(0);
        BetaLogWriteWindowEvent(window->Name, GUI_STATE_OPEN);
        break;
    case GUI_STATE_ACTIVE: {
        DrawShade();
        window->Draw();
        UpdateAllHints();
        UpdateConsole();
        RenderAndPresentScene(window->DrawScene);
        if (IsConsoleOpen())
            break;
        const bool listKeys = Controls.List != nullptr && GUI_Input.FocusedList == Controls.List;
        if (FromList != 0 && !listKeys) {
            const int32_t last = EntryCount() - 1;
            if (Released(VK_UP))
                ShowListEntry(TutorialState.Current - 1);
            else if (Released(VK_DOWN))
                ShowListEntry(TutorialState.Current + 1);
            else if (Released(VK_HOME))
                ShowListEntry(0);
            else if (Released(VK_END))
                ShowListEntry(last);
        }
        if (Released(32) || Released(HotkeyEscape))
            GoOn();
        break;
    }
    case GUI_STATE_INACTIVE:
        DrawShade();
        window->Draw();
        break;
    case GUI_STATE_CLOSE:
        TutorialState.Active = 0;
        if (FromList == 0 && TutorialState.Current >= 0 && TutorialState.Current < EntryCount())
            TutorialsList[static_cast<size_t>(TutorialState.Current)].Shown = 1;
        TutorialState.Current = -1;
        FreePicture();
        if (GUI_Input.FocusedList == Controls.List && Controls.List != nullptr) {
            GUI_OnFocusLost();
            GUI_Input.FocusedList = nullptr;
        }
        BetaLogWriteWindowEvent(window->Name, GUI_STATE_CLOSE);
        break;
    case GUI_STATE_DESTROY:
        TutorialsScreen_Free();
        break;
    default:
        break;
    }
}

void MarkTutorialCompleted()
{
    if (GameOptions == nullptr)
        return;
    GameOptions->SelectSection("Main");
    GameOptions->WriteBool("TutorialCompleted", true, -1);
    GameOptions->WriteBool("UseTutorial", false, -1);
    GameOptions->Save();
}

void ResetTutorialsShown()
{
    for (tTutorialsList& entry : TutorialsList)
        entry.Shown = 0;
}

void TutorialsScreen_Free()
{
    // A window built in code owns nothing: its objects go with the screen.
    if (TutorialsWindow != nullptr)
        for (TGUI_Object*& object : TutorialsWindow->Objects)
            if (object != ConsoleEditLine) {
                delete object;
                object = nullptr;
            }
    Controls = {};
    TutorialsWindow = nullptr;
    Tutorials_Window = nullptr;
    TutorialState = {};
    FromList = 0;
    TutorialsIni.reset();
}

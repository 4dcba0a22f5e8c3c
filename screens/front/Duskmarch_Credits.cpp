#include "screens/front/Duskmarch_Credits.h"

#include <algorithm>

#include "engine/QX9_System.h"
#include "engine/QX9_System_Ini.h"
#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_GUI_StringList.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_MainMenu.h"
#include "screens/kit/Duskmarch_Base.h"

TGUI_StringList* CreditsList = nullptr;
int32_t CreditsStartTime = 0;
TParticleEffect CreditsCandle;

namespace {

TGUI_GraphicWindow* EndWindow = nullptr;
int32_t EndBackgroundSprite = -1;
constexpr int32_t MusicHoldMs = 10000000;

bool Released(int32_t key)
{
    return GUI_Keys[static_cast<size_t>(key)].Released != 0;
}

void StartMusic(int32_t music)
{
    if (MusicEnabled == 0)
        return;
    CrossFadeMusicTo(music);
    NextMusicChange = GetFrameTime(false) + MusicHoldMs;
}

} // namespace

std::vector<TCreditsLine> ParseCreditsLines(TIniFile& ini)
{
    std::vector<TCreditsLine> lines;
    if (!ini.SelectSection("Main"))
        return lines;
    const int32_t count = ini.KeyCount();
    for (int32_t i = 0; i < count; i++) {
        std::u16string text = ini.NextLineWide();
        if (text == u"---")
            break;
        // Past what the list holds the rest is dropped: a full list would
        // stop the program.
        if (static_cast<int32_t>(lines.size()) >= CreditsCapacity - CreditsLeadLines)
            break;
        TCreditsLine line;
        if (!text.empty() && (text[0] == u'$' || text[0] == u'#')) {
            line.Style = text[0] == u'$' ? CreditsSmall : CreditsTitle;
            text.erase(0, 1);
        }
        line.Text = std::move(text);
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string CreditsFileName(bool russian)
{
    return russian ? "CreditsRus.txt" : "CreditsEng.txt";
}

int32_t CreditsScrollOffset(int32_t elapsedMs)
{
    return elapsedMs / CreditsMsPerPixel;
}

int32_t CreditsFont(TCreditsStyle style)
{
    // The interface fonts of 19, 30 and 25 pixels.
    switch (style) {
    case CreditsSmall:
        return FontSlots[28];
    case CreditsTitle:
        return FontSlots[33];
    default:
        return FontSlots[32];
    }
}

uint32_t CreditsColour(TCreditsStyle style)
{
    return style == CreditsTitle ? 0xFFFFB743u : 0xFFFFFFFFu;
}

void ScenarioEndScreen_Create()
{
    EndWindow = CreateScreenWindow("ScenarioEnd", ScenarioEndScreen_WindowHandler);
    ScenarioEnd_Window = EndWindow;
    EndBackgroundSprite = EndWindow->FindSprite("s_Background");

    auto* list = new TGUI_StringList(MainRender, CreditsCapacity);
    list->Width = GUIVirtualSize.Width / 2;
    list->X = list->Width;
    list->Y = 0;
    list->SetHeight(GUIVirtualSize.Height);
    // Light letters over the dark study: drawn by their alpha.
    list->Blending = 2;
    for (TCreditsStyle style : {CreditsPlain, CreditsSmall, CreditsTitle})
        list->SetLineSpacing(CreditsFont(style), 4.0f / 3.0f);
    for (int32_t i = 0; i < CreditsLeadLines; i++)
        list->AddText(u"", CreditsFont(CreditsPlain), -1, 2, CreditsColour(CreditsPlain), -1000);
    // The file is read, never made: without it the list stays empty.
    const std::string file = ResolveModFile(InterfaceFolder + CreditsFileName(CurrentLanguage == TLanguage::Rus));
    if (FileExistsMask(file)) {
        TIniFile ini;
        ini.Load(file);
        for (const TCreditsLine& line : ParseCreditsLines(ini))
            list->AddText(line.Text, CreditsFont(line.Style), -1, 2, CreditsColour(line.Style), -1000);
    }
    EndWindow->AddObject(list, "l_Credits", 0);
    CreditsList = list;

    const std::string candle = InterfaceFolder + "Common\\Images\\Book_Candle\\Book_Candle.psi";
    if (FileExistsMask(candle))
        LoadParticleEffect(candle, InterfaceShadersFolder + "Sprite_VS.bin", InterfaceShadersFolder + "Sprite_PS.bin",
                           GUIVirtualSize.TargetName, CreditsCandle);
}

void ScenarioEndScreen_WindowHandler(int32_t state, TGUI_Window* window)
{
    switch (state) {
    case GUI_STATE_OPEN:
        CursorKind = 1;
        CreditsStartTime = GUI_Now();
        if (CreditsList != nullptr)
            CreditsList->SetScroll(0);
        if (CreditsCandle.SystemsCount > 0)
            StartParticleEffect(CreditsCandle, GetFrameTime(false) - 3000, GUIVirtualSize.Width / 2.0f,
                                GUIVirtualSize.Height / 2.0f);
        StartMusic(CreditsMusic);
        BetaLogWriteWindowEvent(window->Name, GUI_STATE_OPEN);
        break;
    case GUI_STATE_ACTIVE: {
        if (CreditsList != nullptr)
            CreditsList->SetScroll(CreditsScrollOffset(GUI_Now() - CreditsStartTime));
        auto drawCandle = [] {
            if (CreditsCandle.Running == 0 || EndWindow == nullptr)
                return;
            const T3D_Sprite* background =
                MainRender != nullptr ? MainRender->Sprite_Get(EndBackgroundSprite) : nullptr;
            const float scale = background != nullptr ? background->Width / 1280.0f : 1.0f;
            UpdateParticleEffect(CreditsCandle, EndWindow->DrawScene, GetFrameTime(false), GUIVirtualSize.Width / 2.0f,
                                 GUIVirtualSize.Height / 2.0f, scale, false);
        };
        RunScreenActiveFrame(*window, drawCandle, nullptr);
        if (!IsConsoleOpen() &&
            (Released(32) || Released(HotkeyEscape) || Released(GUI_KEY_LBUTTON) || Released(GUI_KEY_RBUTTON)))
            ScenarioEndScreen_Close();
        break;
    }
    case GUI_STATE_CLOSE:
        BetaLogWriteWindowEvent(window->Name, GUI_STATE_CLOSE);
        break;
    case GUI_STATE_DESTROY:
        ScenarioEndScreen_Free();
        break;
    default:
        break;
    }
}

void ScenarioEndScreen_Close()
{
    RequestScreenClose(ScenarioEnd_Window);
    OpenMainMenu();
    StartMusic(MenuMusic);
}

void ScenarioEndScreen_Free()
{
    // The list was added in code: it belongs to the screen, not the window.
    if (CreditsList != nullptr) {
        if (EndWindow != nullptr)
            EndWindow->RemoveObject(CreditsList);
        delete CreditsList;
    }
    FreeParticleEffect(CreditsCandle);
    CreditsCandle = {};
    EndWindow = nullptr;
    ScenarioEnd_Window = nullptr;
    CreditsList = nullptr;
    EndBackgroundSprite = -1;
}

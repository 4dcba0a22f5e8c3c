#include "screens/kit/Duskmarch_Base.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "model/Support.h"
#include "model/save/BetaLog.h"
#include "model/save/SavedGame.h"
#include "model/tables/BonusType.h"
#include "model/world/World_Access.h"
#include "model/world/World_Tables.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Particles.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_Textures.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/front/Duskmarch_Replay.h"
#include "screens/kit/Duskmarch_Base_Hints.h"
#include "screens/kit/Duskmarch_Base_Sound.h"

int32_t CursorKind = 0;
int32_t CursorSprites[CursorKindCount + 1] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
const TCursorFile CursorFiles[CursorKindCount + 1] = {
    {"", 0, 0},
    {"Cursors\\Cursor.tga", 0, 0},
    {"Cursors\\Loading.tga", -10, -17},
    {"Cursors\\Cursor_battle.tga", -17, -18},
    {"Cursors\\Cursor_action.tga", 0, 0},
    {"Cursors\\Cursor_enter.tga", -17, -15},
    {"Cursors\\Cursor_move.tga", 0, 0},
    {"Cursors\\Inspect.tga", 0, 0},
    {"Cursors\\Cursor_stop.tga", 0, 0},
};
std::vector<int32_t> EncounterList;
uint8_t SortByUsability = 0;
std::string LanguageName;
int32_t FrameTimeStamp = 0;

const char* const BackgroundNames[BackgroundCount] = {
    "altar",       "altar_night", "castle",       "castle_night", "harbor",       "harbor_night", "house",
    "house_night", "market",      "market_night", "rhuins",       "rhuins_night", "town_night",   "village"};
int32_t BackgroundSprite = -1;
TParticleEffect BackgroundEffect;

uint8_t MusicEnabled = 0;
int32_t MenuMusic = 0;
int32_t CreditsMusic = 0;
int32_t CurrentMusic = 0;
int32_t NextMusicChange = 0;

namespace {

int32_t LastBackground = -1;

} // namespace

int32_t GetFrameTime(bool fresh)
{
    const TGUI_Processor* processor = GUI_Input.Processor;
    int32_t now = 0;
    if (processor != nullptr && processor->TimeSource != nullptr)
        now = processor->TimeSource(fresh);
    else
        now = GetTimeMs(fresh);
    FrameTimeStamp = now;
    return now;
}

std::u16string GetLocalizedText(TIniFile& texts, const std::string& key)
{
    const std::string forms[] = {LanguageName, LanguageCode, LanguageSuffix, "Eng", "eng", "_Eng", "ENG"};
    for (const std::string& form : forms) {
        // An empty form would read the bare key, which no language owns.
        if (form.empty() || !texts.KeyExists(key + form))
            continue;
        std::u16string text = texts.ReadWideString(key + form, -1);
        if (!text.empty())
            return text;
    }
    return {};
}

int32_t ChooseBackground(int32_t previous)
{
    if (previous < 0 || previous >= BackgroundCount)
        return RandomInt(BackgroundCount);
    // One draw among the other thirteen: never the same picture twice running.
    const int32_t n = RandomInt(BackgroundCount - 1);
    return n >= previous ? n + 1 : n;
}

int32_t LoadRandomBackground(TGUI_GraphicWindow& window, int32_t oldTexture)
{
    T3D_Render* render = window.Render;
    const int32_t chosen = ChooseBackground(LastBackground);
    LastBackground = chosen;
    if (oldTexture > 0 && render != nullptr)
        render->Texture_Free(oldTexture, 1);
    const std::string file = InterfaceFolder + "Common\\Images\\" + BackgroundNames[chosen] + ".dds";
    if (render == nullptr || !FileExistsMask(file))
        return -1;
    const int32_t texture = render->Texture_Load(file);
    BackgroundSprite = window.FindSprite("s_Background");
    if (T3D_Sprite* sprite = render->Sprite_Get(BackgroundSprite))
        sprite->SetStageTexture(texture, 0, 1);
    const std::string effect =
        InterfaceFolder + "Common\\Images\\" + BackgroundNames[chosen] + "\\" + BackgroundNames[chosen] + ".psi";
    if (FileExistsMask(effect)) {
        FreeParticleEffect(BackgroundEffect);
        LoadParticleEffect(effect, InterfaceShadersFolder + "Sprite_VS.bin", InterfaceShadersFolder + "Sprite_PS.bin",
                           GUIVirtualSize.TargetName, BackgroundEffect);
        // Started in the past, so the particles are spread when the window opens.
        StartParticleEffect(BackgroundEffect, GetFrameTime(false) - 3000, GUIVirtualSize.Width / 2.0f,
                            GUIVirtualSize.Height / 2.0f);
    }
    return texture;
}

void DrawBackground()
{
    DrawSpriteAt(BackgroundSprite, 0, 0, 255);
    const TGUI_Processor* processor = GUI_Input.Processor;
    if (BackgroundEffect.Running == 0 || processor == nullptr || processor->ActiveWindow == nullptr ||
        processor->Render == nullptr)
        return;
    const T3D_Sprite* sprite = processor->Render->Sprite_Get(BackgroundSprite);
    const float scale = sprite != nullptr ? sprite->Width / 1280.0f : 1.0f;
    UpdateParticleEffect(BackgroundEffect, processor->ActiveWindow->DrawScene, GetFrameTime(false),
                         GUIVirtualSize.Width / 2.0f, GUIVirtualSize.Height / 2.0f, scale, false);
}

void FreeBackgroundEffect()
{
    FreeParticleEffect(BackgroundEffect);
}

void DrawSpriteAt(int32_t sprite, int32_t x, int32_t y, int32_t alpha)
{
    const TGUI_Processor* processor = GUI_Input.Processor;
    if (processor == nullptr || processor->ActiveWindow == nullptr || processor->Render == nullptr)
        return;
    processor->Render->Sprite_Draw(processor->ActiveWindow->DrawScene, sprite, x, y, alpha);
}

void FreeSprite(int32_t& sprite)
{
    if (MainRender != nullptr && sprite >= 0)
        MainRender->Sprite_Free(sprite);
    sprite = -1;
}

namespace {

const T3D_Sprite* LoadedSprite(int32_t sprite)
{
    return MainRender != nullptr && sprite >= 0 ? MainRender->Sprite_Get(sprite) : nullptr;
}

} // namespace

int32_t SpriteWidth(int32_t sprite)
{
    const T3D_Sprite* s = LoadedSprite(sprite);
    return s != nullptr ? static_cast<int32_t>(std::lround(s->Width)) : 0;
}

int32_t SpriteHeight(int32_t sprite)
{
    const T3D_Sprite* s = LoadedSprite(sprite);
    return s != nullptr ? static_cast<int32_t>(std::lround(s->Height)) : 0;
}

void GlobalFrameTick()
{
    // A finished save writer is reaped (its thread joined) within one frame.
    if (SaveWriterState.load(std::memory_order_acquire) == 3)
        CloseSaveWriter();
    const TGUI_Processor* processor = GUI_Input.Processor;
    if (processor != nullptr && processor->Render != nullptr && CursorKind >= 0 && CursorKind <= CursorKindCount) {
        const int32_t sprite = CursorKind == 0 ? -1 : CursorSprites[CursorKind];
        processor->Render->SetCursor(sprite, nullptr, nullptr, nullptr);
    }
    if (MusicEnabled != 0) {
        // The map's random music: the next track once the current one's time is up.
        if (GetFrameTime(false) >= NextMusicChange)
            PlayRandomMusic(mkMap, 0);
        Sound_Update();
    }
    if (GUI_Keys[122].Released != 0)
        TakeScreenshot();
}

void UpdateAllHints()
{
    // Index, not iterator: a notice may append to the list while updating.
    for (size_t i = 0; i < HintList.size(); i++)
        HintList[i].Update();
}

// ---------------------------------------------------------------------------
// The screen pattern

TGUI_GraphicWindow* CreateScreenWindow(const std::string& screenName, void (*handler)(int32_t, TGUI_Window*),
                                       const std::string& sceneName, bool languageMacro)
{
    auto* window = new TGUI_GraphicWindow(MainRender, screenName + "_Window");
    window->Handler = handler;
    if (MainRender != nullptr)
        if (T3D_Scene* scene = MainRender->Scene_Find(sceneName))
            window->DrawScene = scene->Index;
    if (languageMacro)
        window->AddMacro("%%", LanguageSuffix);
    window->LoadFromFile(ResolveModFile(InterfaceFolder + screenName + ".ini"), GUIVirtualSize.TargetName,
                         InterfaceFolder + "Unknown.tga");
    window->Arrange();
    if (ConsoleEditLine != nullptr)
        window->AddObject(ConsoleEditLine, "", 0);
    if (TextsIni != nullptr)
        TextsIni->SelectSection("Texts");
    return window;
}

void ApplyScreenHotkeys(const TScreenHotkeys& keys)
{
    if (keys.Held == nullptr)
        return;
    const std::pair<int32_t, TGUI_Object*> pairs[] = {{keys.DefaultKey, keys.DefaultButton},
                                                      {HotkeyEscape, keys.CancelButton}};
    for (const auto& [key, button] : pairs) {
        if (key <= 0 || key >= GUI_KEY_COUNT || button == nullptr)
            continue;
        const TGUI_KeyState& state = GUI_Keys[static_cast<size_t>(key)];
        if (!*keys.Held && state.Down != 0)
            PressButtonByHotkey(*button, *keys.Held);
        else if (*keys.Held && state.Released != 0)
            ReleaseButtonByHotkey(*button, *keys.Held);
    }
}

void RunScreenActiveFrame(TGUI_Window& window, void (*drawOwn)(), const TScreenHotkeys* keys)
{
    window.Draw();
    if (drawOwn != nullptr)
        drawOwn();
    UpdateAllHints();
    UpdateConsole();
    RenderAndPresentScene(window.DrawScene);
    if (keys != nullptr && !IsConsoleOpen())
        ApplyScreenHotkeys(*keys);
}

void (*ScreenBeforePresent)() = nullptr;

void RenderAndPresentScene(int32_t sceneIndex)
{
    T3D_Scene* scene = MainRender != nullptr ? MainRender->Scene_Get(sceneIndex) : nullptr;
    if (scene == nullptr)
        return;
    scene->Render(false);
    Replay_BeforePresent();
    if (ScreenBeforePresent != nullptr)
        ScreenBeforePresent();
    if (IDirect3DDevice9* device = MainRender->Device)
        D3DRetry(D3DOP_Present, [&] { return device->Present(nullptr, nullptr, nullptr, nullptr); });
}

bool RequestScreenOpen(TGUI_Window* window, bool* held)
{
    if (window == nullptr)
        return false;
    if (held != nullptr)
        *held = false;
    window->PostState(GUI_STATE_OPEN);
    BetaLogWriteWindowEvent(window->Name, GUI_STATE_OPEN);
    return true;
}

bool RequestScreenClose(TGUI_Window* window)
{
    if (window == nullptr)
        return false;
    window->PostState(GUI_STATE_CLOSE);
    BetaLogWriteWindowEvent(window->Name, GUI_STATE_CLOSE);
    return true;
}

void PressButtonByHotkey(TGUI_Object& button, bool& held)
{
    button.EnterTime = GetFrameTime(false);
    button.MouseDown();
    held = true;
}

void ReleaseButtonByHotkey(TGUI_Object& button, bool& held)
{
    button.LeaveTime = GetFrameTime(false);
    button.MouseUp();
    held = false;
}

void PressToggleByHotkey(TGUI_CheckBox& box, bool& held)
{
    box.EnterTime = GetFrameTime(false);
    // The mouse-up inverts once more before the click handler runs.
    box.Checked = box.Checked != 0 ? 0 : 1;
    box.MouseUp();
    held = true;
}

void ReleaseToggleByHotkey(TGUI_CheckBox& box, bool& held)
{
    box.LeaveTime = GetFrameTime(false);
    held = false;
}

// ---------------------------------------------------------------------------
// Texts

namespace {

std::u16string Ascii(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

char16_t FoldCase(char16_t c)
{
    if (c >= u'A' && c <= u'Z')
        return static_cast<char16_t>(c + 32);
    if (c >= 0x410 && c <= 0x42F) // Cyrillic capitals
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 80);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) // Latin-1 capitals
        return static_cast<char16_t>(c + 32);
    return c;
}

bool SameIgnoringCase(const std::u16string& a, size_t at, const std::u16string& b)
{
    if (at + b.size() > a.size())
        return false;
    for (size_t i = 0; i < b.size(); i++)
        if (FoldCase(a[at + i]) != FoldCase(b[i]))
            return false;
    return true;
}

bool Blank(char16_t c)
{
    return c <= 32;
}

} // namespace

std::u16string FormatGameTime(double minutes)
{
    const int64_t m = static_cast<int64_t>(std::nearbyint(minutes));
    char clock[32];
    std::snprintf(clock, sizeof clock, "%lld:%02lld", static_cast<long long>((m / 60) % 24),
                  static_cast<long long>(m % 60));
    if (m < 1440)
        return Ascii(clock);
    return Ascii(std::to_string(m / 1440)) + DayCharText + u" " + Ascii(clock);
}

std::u16string StripTextComment(const std::u16string& text)
{
    std::u16string result = text;
    const size_t hash = result.find(u'#');
    if (hash != std::u16string::npos)
        result.erase(hash);
    size_t first = 0, last = result.size();
    while (first < last && Blank(result[first]))
        first++;
    while (last > first && Blank(result[last - 1]))
        last--;
    return result.substr(first, last - first);
}

std::u16string ReplaceAll(const std::u16string& text, const std::u16string& find, const std::u16string& replacement)
{
    if (find.empty() || (find.size() == replacement.size() && SameIgnoringCase(find, 0, replacement)))
        return text;
    std::u16string result = text;
    size_t at = 0;
    while (at + find.size() <= result.size()) {
        if (SameIgnoringCase(result, at, find)) {
            result.replace(at, find.size(), replacement);
            at += replacement.size();
        } else {
            at++;
        }
    }
    return result;
}

bool SetWindowLabelText(TGUI_GraphicWindow& window, const std::string& name, const std::u16string& text)
{
    auto* label = dynamic_cast<TGUI_Label*>(window.FindObject(name));
    if (label == nullptr)
        return false;
    label->SetText(text);
    return true;
}

std::u16string ChooseScenarioDisplayName(const std::u16string& localized, const std::u16string& selected,
                                         const std::u16string& fallback, const std::u16string& listCaption)
{
    std::u16string name = localized.size() >= 1  ? localized
                          : selected.size() >= 2 ? selected
                          : fallback.size() >= 2 ? fallback
                                                 : listCaption;
    const size_t dot = name.find(u'.');
    if (dot != std::u16string::npos && dot + 4 == name.size())
        name.erase(dot);
    return name;
}

std::u16string GetScenarioDisplayName(const std::u16string& fallback)
{
    return ChooseScenarioDisplayName(LocalizedScenarioName, SelectedScenarioName, fallback, SelectedScenarioCaption());
}

std::string ScreenshotFileName(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                               int32_t millisecond)
{
    char name[96];
    std::snprintf(name, sizeof name, "Duskmarch_ScreenShot_%d-%02d-%02d-%02d%02d%02d%04d.tga", year, month, day, hour,
                  minute, second, millisecond);
    return name;
}

bool TakeScreenshot()
{
    const TOSLocalTime now = OS_GetLocalTime();
    const std::string file = GameFolder + ScreenshotFileName(now.Year, now.Month, now.Day, now.Hour, now.Minute,
                                                             now.Second, now.Millisecond);
    bool written = false;
    if (MainRender != nullptr && MainRender->Device != nullptr)
        if (T3D_Texture* texture = TextureAt(*MainRender, ScreenshotTexture))
            if (texture->OffscreenSurface != nullptr &&
                MainRender->Device->GetFrontBufferData(0, texture->OffscreenSurface) == D3D_OK) {
                // Our front buffer holds the window's client area alone, at its
                // origin, windowed or not.
                const TRect rect{0, 0, RenderSettings.ScreenWidth, RenderSettings.ScreenHeight};
                written = SaveScreenshotTGA(ScreenshotTexture, file, rect);
            }
    if (!written)
        std::fprintf(stderr, "Screenshot: cannot write %s\n", file.c_str());
    return written;
}

void SetStackCountLabel(int32_t font, int32_t value, uint8_t weaponKind, int32_t& sprite, int32_t maxWidth)
{
    T3D_Render* render = MainRender;
    if (render == nullptr || font < 0 || font >= static_cast<int32_t>(render->Fonts.size()))
        return;
    if (sprite < 0)
        sprite = GUI_CreateTextSprite(render, 2);
    T3D_Sprite* target = render->Sprite_Get(sprite);
    if (target == nullptr)
        return;
    const bool twice = (weaponKind >= bSwordDagger && weaponKind <= bSwordDagger + 3) || weaponKind == bBow;
    const std::string text = std::to_string(value) + (twice ? "x2" : "");
    render->Fonts[static_cast<size_t>(font)]->PrintText(text, sprite, 0, 0xFF000000u);
    target->SetRenderState(768, 0);
    if (!twice)
        return;
    const int32_t x = target->QuadCount() - 2;
    if (x >= 0) {
        target->SetAlpha(128, x);
        target->MoveQuad(x, 0, -2);
    }
    if (maxWidth > 0 && maxWidth < target->Width) {
        // Scaling quad 0 scales the whole sprite about its origin.
        target->ScaleQuad(0, static_cast<float>(maxWidth) / target->Width, 1);
        target->SetRenderState(768, 2);
    }
}

// ---------------------------------------------------------------------------
// Army, encounters, hire slots, difficulty

int32_t FindHeroPanelSlot()
{
    const TGameArmy* army = FindArmy(PlayerArmy);
    if (army == nullptr)
        return -1;
    static constexpr int32_t RowStart[3] = {-1, 3, 7};
    for (int32_t row = 0; row < 3; row++)
        for (int32_t column = 0; column < 6; column++)
            if (army->Formation[row][column] == 1)
                return column + 1 + RowStart[row];
    return -1;
}

void AddEncounter(int32_t entry)
{
    if (std::find(EncounterList.begin(), EncounterList.end(), entry) == EncounterList.end())
        EncounterList.push_back(entry);
}

bool CompactEncounterList()
{
    const auto gone = [](int32_t entry) {
        if (entry > 0) {
            const TGameArmy* army = FindArmy(entry);
            return army == nullptr || army->Active == 0 || army->Defeated != 0;
        }
        if (entry < 0) {
            const TGameArmy* garrison = FindArmy(GetGarrisonArmyIndex(-entry));
            return garrison == nullptr || garrison->Active == 0;
        }
        return true;
    };
    EncounterList.erase(std::remove_if(EncounterList.begin(), EncounterList.end(), gone), EncounterList.end());
    return !EncounterList.empty();
}

bool HasEncounters()
{
    return std::any_of(EncounterList.begin(), EncounterList.end(), [](int32_t e) { return e != 0; });
}

bool IsHireSlotAvailable(int32_t building, int32_t slot, bool countSoldOut)
{
    if (!IsWorldBuilding(building) || static_cast<size_t>(building) >= GameBuildings.size() || slot < 1 || slot > 9)
        return false;
    const THireSlot& state = GameBuildings[static_cast<size_t>(building)].HireSlots[slot];
    const TMapHireSlot& descriptor = MapBuildings[building].HireSlots[slot];
    return (state.Stock > 0 || countSoldOut) && state.UnitType != 0 && descriptor.PlayerMayHire != 0 &&
           descriptor.Closed == 0;
}

int32_t CountHireSlots(int32_t building, bool countSoldOut)
{
    int32_t count = 0;
    for (int32_t slot = 1; slot <= 9; slot++)
        count += IsHireSlotAvailable(building, slot, countSoldOut) ? 1 : 0;
    return count;
}

int32_t CountPlayerHireSlots(bool countSoldOut)
{
    const TGameArmy* army = FindArmy(PlayerArmy);
    return army != nullptr ? CountHireSlots(army->Building, countSoldOut) : 0;
}

void SetDifficulty(int32_t level)
{
    if (level >= 1 && level <= 4) {
        GameDifficulty = level;
        OptionsDifficulty = level;
    } else {
        GameDifficulty = 2;
    }
}

void Duskmarch_Base_Finalization()
{
    EncounterList.clear();
    EncounterList.shrink_to_fit();
    FreeHintList();
    LanguageName.clear();
    ResetPlayServices();
}

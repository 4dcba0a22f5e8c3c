#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/world/World_Tables.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Render.h"
#include "scenes/Duskmarch_RenderSetup.h"
#include "scenes/Landscape_Pipeline.h"
#include "screens/Duskmarch_PlayServices.h"
#include "screens/front/Duskmarch_GameLoading.h"
#include "screens/front/Duskmarch_Loading.h"
#include "screens/kit/Duskmarch_Base.h"
#include "screens/map/Duskmarch_Map.h"
#include "screens/map/Duskmarch_MapHooks.h"

uint8_t Paused = 1;

int64_t ClockTick = 800000;
int32_t ShownMinute = -1;
int32_t ShownDay = -1;

namespace {

void SetLabel(const char* name, const std::u16string& text)
{
    if (MapWindow != nullptr)
        SetWindowLabelText(*MapWindow, name, text);
}

std::u16string Ascii(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

int64_t CurrentMinutes()
{
    return std::llround(static_cast<double>(GameClock) / 10000.0);
}

} // namespace

void SetMapPause(uint8_t paused)
{
    Paused = paused;
    SetLabel("c_Pause", paused != 0 ? u"Paused" : u" ");
}

void SetGameSpeed(float speed)
{
    speed = std::clamp(speed, 0.5f, 4.0f);
    GameSpeed = speed;
    ClockTick = std::llround(80.0 / speed * 10000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%.8f", static_cast<double>(speed));
    std::string s = text;
    while (!s.empty() && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.')
        s.pop_back();
    SetLabel("c_Speed", Ascii(s));
}

std::u16string FormatClockTime(int32_t minute)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d", (minute / 60) % 24, minute % 60);
    return Ascii(text);
}

std::u16string FormatClockOrHour(int32_t minute, bool canonical)
{
    if (!canonical)
        return FormatClockTime(minute);
    static const char16_t* const hours[8] = {u"Matins", u"Lauds", u"Prime", u"Terce",
                                             u"Sext",   u"None",  u"Vespers", u"Compline"};
    return hours[((minute / 60) % 24) / 3];
}

std::u16string MapDateText(int32_t day)
{
    const std::u16string& month = MonthNames[static_cast<size_t>((day / 30) % 12)];
    return Ascii(std::to_string(day % 30 + 1)) + u" " + month;
}

void UpdateClockLabels()
{
    const int64_t minutes = CurrentMinutes();
    const int32_t m = static_cast<int32_t>(minutes % 1440);
    const int32_t d = static_cast<int32_t>(minutes / 1440);
    if (m != ShownMinute) {
        ShownMinute = m;
        SetLabel("c_Time", FormatClockTime(m));
    }
    if (d != ShownDay) {
        ShownDay = d;
        SetLabel("c_Date", MapDateText(d));
    }
}

void UpdateMapResourcePanel()
{
    if (GameArmies.empty())
        return;
    const TGameArmy& army = GameArmies[PlayerArmy];
    SetLabel("c_Gold", Ascii(std::to_string(army.Gold)));
    SetLabel("c_Castles", Ascii(std::to_string(army.StrongholdCount)));
    SetLabel("c_Units", FormatPersonageCount(army.PersonageCount, 15));
}

int32_t LabelAlpha(int32_t max, int32_t x, int32_t ex, int32_t ey, int32_t y, int32_t width, int32_t height)
{
    auto factor = [](int32_t v, int32_t e, int32_t size) {
        if (e <= 0)
            return 1.0;
        if (v < e)
            return static_cast<double>(v) / e;
        if (v > size - e)
            return 1.0 - static_cast<double>(v + e - size) / e;
        return 1.0;
    };
    const double f = std::min({factor(x, ex, width), factor(y, ey, height), 1.0});
    return std::clamp(static_cast<int32_t>(std::lround(max * f)), 0, 255);
}

int32_t PlateBackgroundNumber(int32_t width)
{
    return width <= 92 ? 1 : width <= 134 ? 2 : width <= 176 ? 3 : 4;
}

void BuildBuildingLabels() {}

void DrawMapOverlay()
{
    MapHook_DrawMiniMap();
    MapHook_DrawMapScriptEffects();
}

void MapRefreshScene()
{
    InvalidateMapPasses();
}

namespace {

void OnGo(TGUI_Object*)
{
    SetMapPause(0);
}
void OnPause(TGUI_Object*)
{
    SetMapPause(1);
}
void OnMinus(TGUI_Object*)
{
    SetGameSpeed(GameSpeed - 0.5f);
}
void OnPlus(TGUI_Object*)
{
    SetGameSpeed(GameSpeed + 0.5f);
}
void OnArmy(TGUI_Object*)
{
    MapHook_TentScreen_Open();
}
void OnJournal(TGUI_Object*)
{
    MapHook_JournalScreen_Open();
}
void OnMenu(TGUI_Object*)
{
    MapHook_MapMenuScreen_Open();
}

} // namespace

void MapScreen_Create()
{
    MapWindow = CreateScreenWindow("Map", MapScreen_WindowHandler, MapScene() != nullptr ? "MAP" : "2D");
    Map_Window = MapWindow;
    struct TBinding {
        const char* Name;
        TGUI_Handler Handler;
        bool Down;
    };
    static const TBinding bindings[] = {{"cb_Go", OnGo, false},         {"cb_Pause", OnPause, false},
                                        {"b_Minus", OnMinus, true},     {"b_Plus", OnPlus, true},
                                        {"b_Army", OnArmy, false},      {"b_Journal", OnJournal, false},
                                        {"b_Menu", OnMenu, false}};
    for (const TBinding& b : bindings)
        if (TGUI_Object* object = MapWindow->FindObject(b.Name)) {
            if (b.Down)
                object->OnMouseDown = b.Handler;
            else
                object->OnClick = b.Handler;
        }
    // The map surface under every control: left press orders, right press
    // turns the camera.
    auto* surface = new TGUI_Object(MainRender);
    surface->Width = GUIVirtualSize.Width > 0 ? GUIVirtualSize.Width : RenderSettings.ScreenWidth;
    surface->Height = GUIVirtualSize.Height > 0 ? GUIVirtualSize.Height : RenderSettings.ScreenHeight;
    surface->OnMouseDown = MapScreen_LeftPress;
    surface->OnRightDown = MapScreen_RightPress;
    MapWindow->AddObject(surface, "MapSurface", 0);
    MapWindow->MoveObjectFirst(surface);
    PlayServices.StopPlayerArmy = [] { StopPlayerArmy(0); };
    PlayServices.ResetMapCameraMotion = MapResetCameraMotion;
    PlayServices.RefreshMapScene = MapRefreshScene;
    PlayServices.UpdateResourcePanel = UpdateMapResourcePanel;
}

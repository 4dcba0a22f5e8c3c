// The interface toolkit under test without a window: a renderer on the
// recording device, a processor with a time the test sets, synthetic
// messages sent straight to the window procedure, frame steps run by hand,
// a font of fixed-width glyphs and the scene "2D" whose draw list the test
// reads back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "render/QX9_GUI.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_Render_Fonts.h"
#include "tests/render/RenderTestSupport.h"

// Every glyph is Advance pixels wide and LineHeight high; spacing 0, so a
// text of n letters measures n x Advance.
inline int32_t AddFixedFont(T3D_Render& render, int32_t advance, int32_t lineHeight)
{
    auto* font = new T3D_Font(&render);
    font->LineHeight = lineHeight;
    font->Spacing = 0;
    font->Advances = std::make_shared<TIntArray>(256, advance);
    font->Glyphs = std::make_shared<std::vector<T3D_GlyphQuad>>(256);
    render.Fonts.push_back(font);
    return static_cast<int32_t>(render.Fonts.size()) - 1;
}

struct TDrawn {
    int32_t Sprite;
    int32_t X;
    int32_t Y;
    int32_t Alpha;
    bool operator==(const TDrawn&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const TDrawn& d)
{
    return out << "{sprite " << d.Sprite << " at " << d.X << "," << d.Y << " alpha " << d.Alpha << "}";
}

class TGUITest : public TRecordingRenderTest {
protected:
    void SetUp() override
    {
        TRecordingRenderTest::SetUp();
        QX9_GUI_Initialization();
        Now = 1000;
        Processor = std::make_unique<TGUI_Processor>("Duskmarch GUI test");
        Processor->Render = Render.get();
        Processor->TimeSource = &TestTime;
        GUI_ResetInput(Processor.get());
        GUIProcessor = Processor.get();
        Scene = Render->Scene_Add("2D");
        Log.clear();
        PostFromHandler.clear();
    }

    void TearDown() override
    {
        for (TGUI_Window* window : Windows)
            delete window;
        Windows.clear();
        QX9_GUI_Initialization();
        Processor.reset();
        TRecordingRenderTest::TearDown();
    }

    static int32_t TestTime(bool) { return Now; }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return GUI_WindowProc(nullptr, message, wParam, lParam);
    }
    void Move(int32_t x, int32_t y) { Send(WM_MOUSEMOVE, 0, MakeLParam(x, y)); }
    void Press(int32_t x, int32_t y) { Send(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(x, y)); }
    void Release(int32_t x, int32_t y) { Send(WM_LBUTTONUP, 0, MakeLParam(x, y)); }
    void KeyDown(uint8_t key) { Send(WM_KEYDOWN, key, 1); }
    void KeyUp(uint8_t key) { Send(WM_KEYUP, key, 1 | KF_REPEAT_BIT | KF_UP_BIT); }
    void Type(const std::u16string& text)
    {
        for (char16_t c : text)
            Send(WM_CHAR, c, 1);
    }
    // One frame step at the current time plus advance milliseconds.
    void Frame(int32_t advance = 0)
    {
        Now += advance;
        GUI_ProcessFrame();
    }

    // Shows the first window as the processor's Run does, without the loop.
    void OpenFirst(TGUI_Window* window)
    {
        GUI_OpenWindows.clear();
        window->Show();
        window->Handler(GUI_STATE_OPEN, window);
        window->State = GUI_STATE_ACTIVE;
    }

    // A window whose handler records "name state" and posts what the test
    // queued in PostFromHandler (so the posts happen inside a frame step).
    // The test frees it at its end unless told that the window frees itself.
    TGUI_Window* NewWindow(const std::string& name, bool freedByTest = true)
    {
        auto* window = new TGUI_Window(Render.get(), name);
        if (freedByTest)
            Windows.push_back(window);
        window->Handler = RecordingHandler;
        window->DrawScene = Scene;
        return window;
    }

    static void RecordingHandler(int32_t state, TGUI_Window* window)
    {
        Log.push_back(window->Name + " " + StateName(state));
        auto posts = std::move(PostFromHandler);
        PostFromHandler.clear();
        for (auto& [target, posted] : posts)
            target->PostState(posted);
        window->Draw();
    }

    static std::string StateName(int32_t state)
    {
        switch (state) {
        case GUI_STATE_ACTIVE:
            return "ACTIVE";
        case GUI_STATE_INACTIVE:
            return "INACTIVE";
        case GUI_STATE_OPEN:
            return "OPEN";
        case GUI_STATE_CLOSE:
            return "CLOSE";
        case GUI_STATE_CLOSED:
            return "CLOSED";
        case GUI_STATE_DESTROY:
            return "DESTROY";
        default:
            return std::to_string(state);
        }
    }

    // The sprites queued into the scene "2D" since the last call.
    std::vector<TDrawn> Drawn()
    {
        T3D_Scene* scene = Render->Scene_Get(Scene);
        std::vector<TDrawn> drawn;
        for (int32_t i = 0; i < scene->DrawCount; i++) {
            const T2DDrawItem& item = scene->DrawList[static_cast<size_t>(i)];
            if (item.Kind == DRAWITEM_SPRITE)
                drawn.push_back({item.Values[0], item.Values[1], item.Values[2], item.Values[3]});
        }
        scene->ClearDrawList();
        return drawn;
    }

    // A sprite of that size (a look for a control).
    int32_t Look(int32_t width, int32_t height) { return Render->Sprite_Add(width, height); }

    static inline int32_t Now = 1000;
    static inline std::vector<std::string> Log;
    static inline std::vector<std::pair<TGUI_Window*, int32_t>> PostFromHandler;
    std::unique_ptr<TGUI_Processor> Processor;
    std::vector<TGUI_Window*> Windows;
    int32_t Scene = -1;
};

// An object that records its events as "name event".
class TRecordingObject : public TGUI_Object {
public:
    TRecordingObject(T3D_Render* render, std::vector<std::string>& log, const std::string& name, int32_t x, int32_t y,
                     int32_t width, int32_t height)
        : TGUI_Object(render), Events(log), Name(name)
    {
        X = x;
        Y = y;
        Width = width;
        Height = height;
    }
    void MouseDown() override { Events.push_back(Name + " MouseDown"); }
    void MouseUp() override { Events.push_back(Name + " MouseUp"); }
    void RightMouseDown() override { Events.push_back(Name + " RightMouseDown"); }
    void RightMouseUp() override { Events.push_back(Name + " RightMouseUp"); }
    void MouseEnter() override { Events.push_back(Name + " MouseEnter"); }
    void MouseLeave() override { Events.push_back(Name + " MouseLeave"); }
    void MouseOver() override { Over++; }

    std::vector<std::string>& Events;
    std::string Name;
    int32_t Over = 0;
};

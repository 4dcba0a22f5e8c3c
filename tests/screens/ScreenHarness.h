// The screen harness: a screen opened as the game opens it, on a small world
// built in code, driven by scripted input that enters through the window
// layer as the player's does, and looked at through the model, the controls,
// the main hint and the frame's pixels.
//
// Each test gets its own Xvfb (1600 x 1200, so the interface's virtual size
// equals the screen's), a real window with the renderer's device on Mesa,
// SDL's dummy audio with music on, and a copy of the sample installation that
// the test may add description files to. The clock is the platform's time
// source, set by the script; every frame moves it on by at least 1 ms.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/GameProcess.h"
#include "tests/support/Xvfb.h"

class TGUI_Window;
class TGUI_GraphicWindow;
class TGUI_Object;
struct TWindowObject;

class TScreenHarness : public ::testing::Test {
protected:
    static constexpr int32_t Width = 1600;
    static constexpr int32_t Height = 1200;

    void SetUp() override;
    void TearDown() override;

    // Files of the test's own in the installation copy (a description file
    // from tests/fixtures, "/"-separated relative paths).
    void InstallFixture(const std::string& fixture, const std::string& relative);
    // The start-up steps the screens need, the world, the driver window.
    // Call after InstallFixture; false (with a failure) when it cannot run.
    bool Start();

    // The driver window posts the screen's open request inside the next
    // frame step, as a handler or a click does in the game.
    void OpenScreen(TGUI_Window* window, bool* hotkeyHeld = nullptr);

    // The script.
    void Move(int32_t x, int32_t y);
    void Press(bool right = false);
    void Release(bool right = false);
    void Wheel(int32_t notches);
    void KeyDown(int32_t virtualKey);
    void KeyUp(int32_t virtualKey);
    void WaitFrames(int32_t frames);
    void Advance(int32_t milliseconds);

    // Probes.
    TGUI_Object* Control(TGUI_GraphicWindow& window, const std::string& name);
    bool IsOpen(const TGUI_Window* window) const;
    // The last frame's pixels (0xRRGGBB), read before it was shown; 0
    // outside.
    uint32_t Pixel(int32_t x, int32_t y) const;
    // Pixels of [left, right) x [top, bottom) that satisfy the test.
    int32_t Count(int32_t left, int32_t top, int32_t right, int32_t bottom, bool (*test)(uint32_t)) const;
    // shots/<name>.png in the build folder, from the last frame.
    void Shot(const std::string& name);

    bool Started = false;
    // The last frame read back (0xXXRRGGBB, top row first).
    static inline std::vector<uint32_t> Frame;
    static inline int32_t FrameWidth = 0;
    static inline int32_t FrameHeight = 0;
    static void ReadFrame();

private:
    bool StartSteps();
    void Step();
    void Pump();

    std::unique_ptr<TXvfb> Server;
    std::unique_ptr<TGameInstallation> Installation;
    TGUI_Window* Driver = nullptr;
    std::string SavedEnvironment[4];
    bool HadEnvironment[4] = {};
};

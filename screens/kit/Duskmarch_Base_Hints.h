// Hints: small framed boxes of text lines with optional icons, drawn next to
// the mouse (tooltips) or next to a control (the map's stacked notices).
// They are not windows: each is a record that decides every frame whether it
// is armed, waiting, shown or closing and draws itself into the current
// window's 2D list while shown. Element 0 of HintList, MainHint, is the one
// tooltip every hover handler fills; the elements from 1 on are notices.
//
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class TGUI_Object;
class TGUI_StringList;
class TGUI_Label;

// Close conditions.
inline constexpr uint16_t HintCloseOverOwner = 0x2;
inline constexpr uint16_t HintCloseAwayFromOwner = 0x4;
inline constexpr uint16_t HintCloseAfterLife = 0x80;
// Open conditions.
inline constexpr uint16_t HintOpenRestingOnOwner = 0x1;
inline constexpr uint16_t HintOpenOverOwner = 0x2;
inline constexpr uint16_t HintOpenAwayFromOwner = 0x4;
inline constexpr uint16_t HintOpenAfterDelay = 0x80;
inline constexpr uint16_t HintOpenAtOnce = 0x200;

enum THintState : uint8_t {
    HintEmpty = 0,
    HintArmed = 1,
    HintShown = 2,
    HintClosing = 3,
    HintWaiting = 4,
};

enum THintStyle : uint8_t {
    HintNoFrame = 0,
    HintSmallFrame = 1, // with an arrow to the anchor
    HintTextFrame = 2,
};

struct THintLine {
    int32_t Icon = 0;
    uint8_t Stretch = 0; // the icon spans the whole width: a divider
    int32_t RightIcon = 0;
    TGUI_StringList* List = nullptr; // from the hint's own pool
    TGUI_Label* Label = nullptr;     // from the hint's own pool
    int32_t Y = 0;
    int32_t Height = 0; // measured by Layout
};

// The frame pictures of one style, made once per hint and reused by every
// layout (sides top, right, bottom, left; corners top-left, top-right,
// bottom-right, bottom-left; the arrow).
struct THintFrame {
    bool Made = false;
    int32_t Sides[4] = {-1, -1, -1, -1};
    int32_t Corners[4] = {-1, -1, -1, -1};
    // Straight arrows pointing up, down, left, right; diagonal ones pointing
    // to the top left, bottom left, top right, bottom right.
    int32_t Arrows[4] = {-1, -1, -1, -1};
    int32_t DiagonalArrows[4] = {-1, -1, -1, -1};
};

class THint {
public:
    void Create(int32_t index);
    void Attach(uint16_t closeConditions, uint16_t openConditions, TGUI_Object* owner, bool detach, int32_t parent);
    void Clear(uint8_t style, uint8_t placement);
    void NewLine();
    void SetLineValue(int32_t icon);
    TGUI_StringList* GetLineList();
    TGUI_Label* GetLineLabel();
    void AddText(const std::u16string& text, int32_t font);
    void Layout(int32_t width = 0);
    void Pin();
    // The divider line's picture (made once per hint, stretched per layout).
    int32_t DividerSprite();
    void Close();
    void Update();
    void Reset();
    // The lines' text objects and frame sprites back to the renderer.
    void Free();

    // Where the box stands this frame (after Update placed it).
    int32_t Index = 0;
    uint16_t CloseConditions = 0;
    uint16_t OpenConditions = 0;
    uint8_t Placement = 0;
    uint8_t Style = 0;
    int32_t LastChange = 0;
    uint8_t State = HintEmpty;
    int32_t Timer = 0;
    TGUI_Object* Owner = nullptr;
    bool Detach = false;
    int32_t Parent = -1; // the notice above it, -1 none
    int32_t MouseX = -1;
    int32_t MouseY = -1;
    int32_t Delay = 0;
    int32_t Wait = 0;
    int32_t CloseTime = 0;
    int32_t Life = 3000;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t Background = -1;
    int32_t Divider = -1;
    std::vector<THintLine> Lines;
    THintFrame Frames[3];

private:
    THintLine* LastLine() { return Lines.empty() ? nullptr : &Lines.back(); }
    void Touch();
    void PrepareFrame(int32_t width, int32_t height);
    void Draw(int32_t scene);
    void DrawFrame(int32_t scene, int32_t anchorX, int32_t anchorY);
    void DrawLines(int32_t scene);
    void ReleaseLines();

    // Text objects are reused from clear to clear: the toolkit's controls
    // keep their text sprites for their whole life.
    std::vector<std::unique_ptr<TGUI_StringList>> ListPool;
    std::vector<std::unique_ptr<TGUI_Label>> LabelPool;
    size_t ListsUsed = 0;
    size_t LabelsUsed = 0;
};

// Elements keep their addresses when notices are appended.
extern std::deque<THint> HintList;
extern int32_t NoticeCount; // the highest notice in use, 0 none
inline constexpr int32_t HintListStartCount = 12;
inline constexpr uint32_t HintTextColour = 0xC8FFFF78u; // alpha 200, pale yellow
inline constexpr int32_t NoticeLife = 5000;
inline constexpr int32_t NoticeSpacing = 60;

THint& MainHint();
// The start-up loader's step: 12 hints created with their indices, and the
// GUI's object destruction tied to the hints' owners.
void CreateHintList();
// The unit's end: every hint freed, the list emptied.
void FreeHintList();
// Forgets the object in every hint that names it as owner.
void DetachHintOwner(TGUI_Object* object);

void AddNotice(const std::u16string& text, TGUI_Object* anchor, uint8_t placement);
// outcome -1 captured (with its sound), 0 defended; others nothing.
void ShowBuildingNotice(const std::u16string& first, const std::u16string& second, int32_t outcome,
                        TGUI_Object* anchor);
// The capture's sound; the sound library installs it.
extern void (*PlayCastleLostSound)();

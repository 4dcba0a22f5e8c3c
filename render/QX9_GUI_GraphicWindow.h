// The window every screen uses: its controls, images and layout come from a
// window description file. The file declares named elements (buttons, check
// boxes, captions, scroll bars, sprites, tiles), sets their properties and
// gives their positions and sizes as expressions over the screen size, the
// window's and the other elements' geometry and the screen's variables;
// Arrange evaluates them and places the elements. Screens find controls by
// name and may add their own, which the same file can position.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/QX9_System_Script.h"
#include "render/QX9_GUI.h"

enum TGUI_ElementKind : uint8_t {
    GUI_ELEMENT_FREE = 0, // a free value, or a property of the window element
    GUI_ELEMENT_BUTTON = 2,
    GUI_ELEMENT_CHECKBOX = 3,
    GUI_ELEMENT_CAPTION = 4,
    GUI_ELEMENT_SCROLLBAR = 5,
    GUI_ELEMENT_ADDED = 6, // added by code
    GUI_ELEMENT_SPRITE = 7,
    GUI_ELEMENT_TILE = 8, // a sprite whose texture repeats when resized
};

struct TGUI_ObjectInfo {
    std::string Name;    // lower case; empty for a nameless added object
    uint8_t Binding = 0; // 3 placed by the file, 2 placed by code, 0 no layout
    uint8_t Kind = 0;
    uint8_t LayoutVisible = 1;
};

struct TGUI_SpriteElement {
    std::string Name;
    int32_t Sprite = -1;
    uint8_t Kind = GUI_ELEMENT_SPRITE;
    uint8_t Visible = 1;
};

struct TGUI_LayoutVariable {
    std::string Name;
    std::string Value;
    uint8_t Override = 0;
};

struct TGUI_LayoutExpression {
    uint8_t Kind = 0;
    int32_t Element = -1; // into the objects or the sprite elements
    std::string Name;     // element "." key, lower case
    std::string Expression;
    std::string Working; // after the substitutions
    double Value = std::numeric_limits<double>::quiet_NaN();
};

struct TGUI_DrawEntry {
    uint8_t Kind = 0;
    int32_t Index = -1; // -1: removed
};

class TGUI_GraphicWindow : public TGUI_Window {
public:
    TGUI_GraphicWindow(T3D_Render* render, const std::string& name);
    ~TGUI_GraphicWindow() override;

    void AddMacro(const std::string& from, const std::string& to);
    void LoadFromFile(const std::string& fileName, const std::string& passName, const std::string& fallbackImage);
    TGUI_Object* FindObject(const std::string& name) const;
    int32_t FindSprite(const std::string& name) const;
    std::string GetObjectName(int32_t index) const;
    void SetVariable(const std::string& name, const std::string& value, bool override);
    void SetVariableInt(const std::string& name, int32_t value, bool override);
    // 0 for a name with neither an overriding variable nor a computed value.
    int32_t GetValue(const std::string& name) const;
    void Arrange();
    void MoveTo(int32_t x, int32_t y);
    void AddObject(TGUI_Object* object, const std::string& name, uint8_t binding);
    void RemoveObject(TGUI_Object* object);
    void Clear();
    // True when the name (which then becomes the found file) names a file.
    bool ResolveFile(std::string& name) const;

    void Draw() override;
    void MoveObjectLast(TGUI_Object* object) override;
    void MoveObjectFirst(TGUI_Object* object) override;

    std::unique_ptr<TScript> Script;
    std::string SectionName;
    std::string WindowElement;
    std::vector<std::pair<std::string, std::string>> Macros;
    std::string PassName;
    std::string DefaultPixelShader;
    std::string DefaultVertexShader;
    std::vector<std::string> SearchPaths;
    std::vector<TGUI_ObjectInfo> ObjectInfos; // parallel to Objects
    std::vector<TGUI_SpriteElement> SpriteElements;
    std::vector<TGUI_LayoutVariable> Variables;
    std::vector<TGUI_LayoutExpression> Expressions;
    std::vector<TGUI_DrawEntry> DrawList;
    std::string FallbackImage;

private:
    // Character pairs of each working text (see the layout's look-ups).
    std::vector<uint64_t> WorkingMasks;
    // The layout's look-ups: for the hash of each run of word characters,
    // the expressions whose working text has held it during this
    // arrangement; for the hash of each expression name, where names of
    // that hash are defined (in file order; the names themselves are
    // compared); and which expressions one substitution has visited.
    std::unordered_map<uint64_t, std::vector<uint32_t>> RunIndex;
    std::unordered_map<uint64_t, std::vector<uint32_t>> NameIndex;
    std::vector<uint32_t> Visited;
    uint32_t VisitSerial = 0;
    void IndexRuns(size_t i, const std::string& text);
    // Whether a text after expression `after` may hold the name.
    bool MayHoldAfter(int64_t after, const std::string& name) const;
    // The first definition of the name after expression `after`; none: the
    // last expression.
    size_t NextDefinition(int64_t after, const std::string& name) const;
    // Replaces name by value in the expressions after `after` up to and
    // including `stop`, in those that can hold it.
    void ReplaceInRange(int64_t after, size_t stop, const std::string& name, const std::string& value);
    void LoadSection();
    void Declare(const std::string& name, const std::string& type);
    void Property(const std::string& line);
    // An image item of a control: a file in a new sprite, or a sprite
    // element's sprite (taken out of the drawing); -1 for neither.
    int32_t ControlImage(const std::string& item);
    void LoadImageInto(int32_t sprite, std::string file, uint8_t clamp);
    void SetSpriteShaders(int32_t sprite);
    void Substitute(const std::string& name, const std::string& value, bool override);
    // Replaces the whole words name in expression i's working text.
    void ReplaceIn(size_t i, const std::string& name, uint64_t nameMask, const std::string& value);
    void Rebind();
    void AdjustDrawEntries(int32_t p, bool last);
    void ApplyExpression(const TGUI_LayoutExpression& expression);
};

// The layout skips texts that cannot hold a name by their character pairs;
// false makes it scan every text (the plain walk, for comparisons).
extern bool GUI_LayoutPairFilter;

// Whole-word replacement as the layout uses it: word characters are the
// digits and the codes 65 to 122.
std::string ReplaceWholeWord(const std::string& text, const std::string& word, const std::string& value);
// Up to eight decimals, trailing zeros removed.
std::string FormatLayoutValue(double value);

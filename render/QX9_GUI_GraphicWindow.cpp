// QX9_GUI: windows from description files.
#include "render/QX9_GUI_GraphicWindow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/Calculator.h"
#include "platform/os/OS.h"
#include "render/QX9_GUI_Controls.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_StateKey.h"

namespace {

bool IsWordChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 65 && c <= 122);
}

// Nearest whole number (halves to even); what is not a number, or out of
// range, gives 0 or the nearest end.
int32_t RoundValue(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = std::nearbyint(value);
    return static_cast<int32_t>(std::clamp(rounded, -2147483648.0, 2147483647.0));
}

int32_t Lenient(const std::string& text)
{
    return static_cast<int32_t>(std::clamp<int64_t>(StrToInt64Lenient(TrimStr(text)), INT32_MIN, INT32_MAX));
}

char FirstLetter(const std::string& text)
{
    const std::string lower = LowerCaseStr(TrimStr(text));
    return lower.empty() ? '\0' : lower[0];
}

std::string ElementPart(const std::string& name)
{
    const size_t dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool IsObjectKind(uint8_t kind)
{
    return kind >= GUI_ELEMENT_BUTTON && kind <= GUI_ELEMENT_ADDED;
}

// Which character pairs a text holds, hashed into 64 bits: a text whose mask
// lacks a bit of a name's mask cannot hold the name, so most look-ups of the
// layout never scan the text.
uint64_t PairMask(const std::string& text)
{
    uint64_t mask = 0;
    for (size_t i = 0; i + 1 < text.size(); i++)
        mask |= uint64_t{1} << ((static_cast<uint8_t>(text[i]) * 31u + static_cast<uint8_t>(text[i + 1])) & 63u);
    return mask;
}

// Runs of word characters, hashed: a name can only stand as a whole word
// where a text has a run equal to the name's first run (the characters
// around a whole word, and the one that ends the name's first run, are no
// word characters).
uint64_t RunHash(const char* at, size_t length)
{
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < length; i++)
        hash = (hash ^ static_cast<uint8_t>(at[i])) * 1099511628211ull;
    return hash;
}

// False for a name that starts with no word character: such a name is
// looked for in every text.
bool FirstRunHash(const std::string& name, uint64_t& hash)
{
    size_t length = 0;
    while (length < name.size() && IsWordChar(name[length]))
        length++;
    hash = RunHash(name.data(), length);
    return length > 0;
}

} // namespace

bool GUI_LayoutPairFilter = true;

std::string ReplaceWholeWord(const std::string& text, const std::string& word, const std::string& value)
{
    if (word.empty())
        return text;
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t found = text.find(word, pos);
        if (found == std::string::npos)
            break;
        const size_t end = found + word.size();
        const bool before = found > 0 && IsWordChar(text[found - 1]);
        const bool after = end < text.size() && IsWordChar(text[end]);
        if (before || after) {
            out.append(text, pos, found + 1 - pos);
            pos = found + 1;
            continue;
        }
        out.append(text, pos, found - pos);
        out += value;
        pos = end;
    }
    out.append(text, pos, std::string::npos);
    return out;
}

std::string FormatLayoutValue(double value)
{
    if (!std::isfinite(value))
        return "0";
    // Whole numbers (most of a layout's) print without their eight zeros;
    // -0 prints as 0.
    if (std::trunc(value) == value && std::fabs(value) < 1e15)
        return std::to_string(static_cast<int64_t>(value));
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%.8f", value);
    std::string text = buffer;
    if (text.find('.') != std::string::npos) {
        while (!text.empty() && text.back() == '0')
            text.pop_back();
        if (!text.empty() && text.back() == '.')
            text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

TGUI_GraphicWindow::TGUI_GraphicWindow(T3D_Render* render, const std::string& name) : TGUI_Window(render, name) {}

TGUI_GraphicWindow::~TGUI_GraphicWindow()
{
    Clear();
}

void TGUI_GraphicWindow::AddMacro(const std::string& from, const std::string& to)
{
    Macros.emplace_back(from, to);
}

void TGUI_GraphicWindow::Clear()
{
    Script.reset();
    SectionName.clear();
    WindowElement.clear();
    DefaultPixelShader.clear();
    DefaultVertexShader.clear();
    SearchPaths.clear();
    Expressions.clear();
    Variables.clear();
    DrawList.clear();
    for (const TGUI_SpriteElement& element : SpriteElements)
        if (Render != nullptr)
            Render->Sprite_Free(element.Sprite);
    SpriteElements.clear();
    for (size_t i = 0; i < Objects.size(); i++)
        if (i < ObjectInfos.size() && ObjectInfos[i].Kind != GUI_ELEMENT_ADDED)
            delete Objects[i];
    Objects.clear();
    ObjectInfos.clear();
}

bool TGUI_GraphicWindow::ResolveFile(std::string& name) const
{
    if (ExtractExtUpper(name).empty())
        return false;
    const std::string folder = Script != nullptr ? Script->FolderName : std::string();
    bool found = false;
    const std::string first = ExtractPathStr(name).empty() ? folder + name : name;
    if (FileExistsMask(first)) {
        name = first;
        found = true;
    }
    if (FileExistsMask(folder + name)) {
        name = folder + name;
        found = true;
    }
    if (found)
        return true;
    const std::string bare = ExtractNameStr(name);
    for (const std::string& path : SearchPaths)
        for (const std::string& candidate : {path + bare, folder + path + bare})
            if (FileExistsMask(candidate)) {
                name = candidate;
                return true;
            }
    return false;
}

void TGUI_GraphicWindow::LoadFromFile(const std::string& fileName, const std::string& passName,
                                      const std::string& fallbackImage)
{
    if (Script != nullptr)
        Clear();
    Script = std::make_unique<TScript>(fileName, true);
    SectionName = Script->SectionName(0);
    PassName = passName;
    FallbackImage = fallbackImage;
    LoadSection();
}

void TGUI_GraphicWindow::LoadSection()
{
    if (!Script->SelectSectionIndex(0))
        return;
    DefaultVertexShader = Script->ReadString("DefaultVertexShader", 0);
    DefaultPixelShader = Script->ReadString("DefaultPixelShader", 0);
    if (!DefaultVertexShader.empty())
        ResolveFile(DefaultVertexShader);
    if (!DefaultPixelShader.empty())
        ResolveFile(DefaultPixelShader);
    const std::string paths = Script->ReadString("DefaultSearchPaths", 0);
    for (size_t start = 0; start < paths.size();) {
        size_t comma = paths.find(',', start);
        if (comma == std::string::npos)
            comma = paths.size();
        const std::string path = TrimStr(paths.substr(start, comma - start));
        if (!path.empty())
            SearchPaths.push_back(path);
        start = comma + 1;
    }
    for (int32_t n = 0; n < Script->LineCount(); n++) {
        std::string line = Script->Line(n);
        const size_t comment = line.find("//");
        if (comment != std::string::npos)
            line.resize(comment);
        const bool dot = line.find('.') != std::string::npos;
        if (!dot && line.find(':') == std::string::npos)
            continue;
        const size_t equals = line.find('=');
        if (equals != std::string::npos &&
            (TrimStr(line.substr(equals + 1)).empty() || line.substr(0, equals).find('.') == std::string::npos))
            continue;
        if (!dot) {
            const size_t colon = line.find(':');
            Declare(LowerCaseStr(TrimStr(line.substr(0, colon))), LowerCaseStr(TrimStr(line.substr(colon + 1))));
        } else if (equals != std::string::npos) {
            Property(line);
        }
    }
}

void TGUI_GraphicWindow::Declare(const std::string& name, const std::string& type)
{
    if (type == "window") {
        WindowElement = name;
        return;
    }
    // Held until the window owns it: loading a caption's shaders can stop
    // the load half-way.
    std::unique_ptr<TGUI_Object> object;
    uint8_t kind = 0;
    if (type == "button") {
        object = std::make_unique<TGUI_Button>(Render);
        kind = GUI_ELEMENT_BUTTON;
    } else if (type == "checkbox") {
        object = std::make_unique<TGUI_CheckBox>(Render);
        kind = GUI_ELEMENT_CHECKBOX;
    } else if (type == "caption") {
        auto label = std::make_unique<TGUI_Label>(Render);
        label->SetBlending(2);
        SetSpriteShaders(label->TextSprite);
        object = std::move(label);
        kind = GUI_ELEMENT_CAPTION;
    } else if (type == "scrollbar") {
        object = std::make_unique<TGUI_ScrollBar>(Render);
        kind = GUI_ELEMENT_SCROLLBAR;
    }
    if (object != nullptr) {
        Objects.push_back(object.get());
        object.release();
        ObjectInfos.push_back({name, 3, kind, 1});
        DrawList.push_back({kind, static_cast<int32_t>(Objects.size()) - 1});
        return;
    }
    if (type == "sprite" || type == "tile") {
        const uint8_t spriteKind = type == "sprite" ? GUI_ELEMENT_SPRITE : GUI_ELEMENT_TILE;
        SpriteElements.push_back({name, Render->Sprite_Add(0, 0), spriteKind, 1});
        DrawList.push_back({spriteKind, static_cast<int32_t>(SpriteElements.size()) - 1});
        return;
    }
    if (type == "render") {
        // The element's last entry goes to the end: drawn on top.
        for (size_t i = DrawList.size(); i-- > 0;) {
            const TGUI_DrawEntry entry = DrawList[i];
            const bool object = IsObjectKind(entry.Kind) && entry.Index >= 0 &&
                                static_cast<size_t>(entry.Index) < ObjectInfos.size() &&
                                ObjectInfos[static_cast<size_t>(entry.Index)].Name == name;
            const bool sprite = (entry.Kind == GUI_ELEMENT_SPRITE || entry.Kind == GUI_ELEMENT_TILE) &&
                                entry.Index >= 0 && static_cast<size_t>(entry.Index) < SpriteElements.size() &&
                                SpriteElements[static_cast<size_t>(entry.Index)].Name == name;
            if (object || sprite) {
                DrawList.erase(DrawList.begin() + static_cast<std::ptrdiff_t>(i));
                DrawList.push_back(entry);
                return;
            }
        }
    }
}

void TGUI_GraphicWindow::SetSpriteShaders(int32_t sprite)
{
    T3D_Sprite* target = Render != nullptr ? Render->Sprite_Get(sprite) : nullptr;
    if (target == nullptr)
        return;
    if (!DefaultVertexShader.empty())
        target->SetShader(DefaultVertexShader, PassName, 1);
    if (!DefaultPixelShader.empty())
        target->SetShader(DefaultPixelShader, PassName, 0);
}

void TGUI_GraphicWindow::LoadImageInto(int32_t sprite, std::string file, uint8_t clamp)
{
    T3D_Sprite* target = Render->Sprite_Get(sprite);
    if (target == nullptr)
        return;
    SetSpriteShaders(sprite);
    target->SetRenderState(RSK_FILTER(0), 0);
    target->SetRenderState(RSK_ALPHAMODE, static_cast<int32_t>(RSK_ALPHA_BLEND));
    target->SetRenderState(RSK_SRCBLEND, 2);
    target->SetRenderState(RSK_DESTBLEND, 2);
    target->SetRenderState(RSK_CULL, 4);
    if (!FileExistsMask(file) && !FallbackImage.empty())
        file = FallbackImage;
    target->LoadTexture(file, 0);
    for (T3D_SpriteStageTexture& stage : target->StageTextures)
        if (stage.Stage == 0)
            stage.Clamp = clamp;
}

int32_t TGUI_GraphicWindow::ControlImage(const std::string& item)
{
    std::string file = TrimStr(item);
    if (ResolveFile(file)) {
        const int32_t sprite = Render->Sprite_Add(0, 0);
        LoadImageInto(sprite, file, 1);
        return sprite;
    }
    const std::string name = LowerCaseStr(file);
    for (size_t i = 0; i < SpriteElements.size(); i++) {
        TGUI_SpriteElement& element = SpriteElements[i];
        if (element.Name != name)
            continue;
        // Drawn only as part of the control from now on.
        element.Visible = 0;
        for (TGUI_DrawEntry& entry : DrawList)
            if ((entry.Kind == GUI_ELEMENT_SPRITE || entry.Kind == GUI_ELEMENT_TILE) &&
                entry.Index == static_cast<int32_t>(i))
                entry.Index = -1;
        return element.Sprite;
    }
    return -1;
}

void TGUI_GraphicWindow::Property(const std::string& rawLine)
{
    std::string line = rawLine;
    for (const auto& [from, to] : Macros)
        if (!from.empty())
            line = ReplaceAllStr(line, from, to);
    const size_t equals = line.find('=');
    if (equals == std::string::npos)
        return;
    const std::string value = TrimStr(line.substr(equals + 1));
    const std::string left = LowerCaseStr(TrimStr(line.substr(0, equals)));
    const size_t dot = left.find('.');
    if (dot == std::string::npos || value.empty())
        return;
    const std::string element = TrimStr(left.substr(0, dot));
    const std::string key = TrimStr(left.substr(dot + 1));
    const std::string fullName = element + "." + key;

    uint8_t kind = GUI_ELEMENT_FREE;
    int32_t index = -1;
    if (element != WindowElement) {
        auto info = std::find_if(ObjectInfos.begin(), ObjectInfos.end(),
                                 [&](const TGUI_ObjectInfo& i) { return i.Name == element; });
        if (info != ObjectInfos.end()) {
            kind = info->Kind;
            index = static_cast<int32_t>(info - ObjectInfos.begin());
        } else {
            auto sprite = std::find_if(SpriteElements.begin(), SpriteElements.end(),
                                       [&](const TGUI_SpriteElement& s) { return s.Name == element; });
            if (sprite != SpriteElements.end()) {
                kind = sprite->Kind;
                index = static_cast<int32_t>(sprite - SpriteElements.begin());
            }
        }
    }
    auto item = [&](int32_t n) { return GetSeparatedField(value, n, ','); };
    TGUI_Object* object = IsObjectKind(kind) && index >= 0 ? Objects[static_cast<size_t>(index)] : nullptr;
    const bool spriteKind = kind == GUI_ELEMENT_SPRITE || kind == GUI_ELEMENT_TILE;
    const int32_t sprite = spriteKind ? SpriteElements[static_cast<size_t>(index)].Sprite : -1;
    T3D_Sprite* spriteObject = spriteKind ? Render->Sprite_Get(sprite) : nullptr;

    static const char* const LayoutKeys[] = {"x", "y", "width", "height", "visible"};
    if (std::find(std::begin(LayoutKeys), std::end(LayoutKeys), key) != std::end(LayoutKeys)) {
        Expressions.push_back(
            {kind, index, fullName, LowerCaseStr(value), std::string(), std::numeric_limits<double>::quiet_NaN()});
        return;
    }
    // Sets a look from a list item; an empty item leaves it.
    auto look = [&](int32_t n, int32_t& target) {
        const std::string text = TrimStr(item(n));
        if (!text.empty())
            target = ControlImage(text);
    };
    auto sizeFromFirst = [&](int32_t first) {
        if (const T3D_Sprite* s = Render->Sprite_Get(first)) {
            object->Width = RoundValue(s->Width);
            object->Height = RoundValue(s->Height);
        }
    };
    if (key == "file") {
        if (kind == GUI_ELEMENT_BUTTON) {
            auto* button = static_cast<TGUI_Button*>(object);
            look(1, button->Normal);
            look(2, button->Hover);
            look(3, button->Pressed);
            look(4, button->Disabled);
            sizeFromFirst(button->Normal);
        } else if (kind == GUI_ELEMENT_CHECKBOX) {
            auto* box = static_cast<TGUI_CheckBox*>(object);
            look(1, box->Unchecked);
            look(2, box->CheckedNormal);
            look(3, box->UncheckedPressed);
            look(4, box->CheckedPressed);
            look(5, box->UncheckedDisabled);
            look(6, box->CheckedDisabled);
            sizeFromFirst(box->Unchecked);
        } else if (kind == GUI_ELEMENT_SCROLLBAR) {
            auto* bar = static_cast<TGUI_ScrollBar*>(object);
            look(1, bar->ArrowANormal);
            look(2, bar->ArrowBNormal);
            look(3, bar->ArrowAPressed);
            look(4, bar->ArrowBPressed);
            look(5, bar->ArrowAHover);
            look(6, bar->ArrowBHover);
        } else if (kind == GUI_ELEMENT_CAPTION) {
            std::string file = TrimStr(item(1));
            if (ResolveFile(file))
                static_cast<TGUI_Label*>(object)->SetFont(Render->Font_Load(file));
        } else if (spriteKind) {
            std::string file = TrimStr(item(1));
            ResolveFile(file);
            LoadImageInto(sprite, file, kind == GUI_ELEMENT_TILE ? 0 : 1);
            const int32_t l = Lenient(item(2)), t = Lenient(item(3)), r = Lenient(item(4)), b = Lenient(item(5));
            // Extents in 64 bits: edges far apart must not wrap into a
            // positive size; a rectangle wider than a frame can hold is none.
            const int64_t width = int64_t{r} - l, height = int64_t{b} - t;
            if (spriteObject != nullptr && width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX)
                spriteObject->SetFrame(static_cast<int32_t>(width), static_cast<int32_t>(height), l, t, 0);
        }
        return;
    }
    if (key == "slider") {
        if (kind == GUI_ELEMENT_SCROLLBAR) {
            auto* bar = static_cast<TGUI_ScrollBar*>(object);
            look(1, bar->SliderNormal);
            look(2, bar->SliderHover);
            if (const T3D_Sprite* s = Render->Sprite_Get(bar->SliderNormal)) {
                bar->SliderWidth = RoundValue(s->Width);
                bar->SliderHeight = RoundValue(s->Height);
            }
        }
        return;
    }
    if (key == "orientation" || key == "arrowsize") {
        if (kind == GUI_ELEMENT_SCROLLBAR) {
            auto* bar = static_cast<TGUI_ScrollBar*>(object);
            if (key == "arrowsize")
                bar->ArrowSize = Lenient(value);
            else if (FirstLetter(value) == 'v' || FirstLetter(value) == 'h')
                bar->Orientation = FirstLetter(value) == 'v' ? 0 : 1;
        }
        return;
    }
    if (key == "color" || key == "interval" || key == "text" || key == "align") {
        if (kind != GUI_ELEMENT_CAPTION)
            return;
        auto* label = static_cast<TGUI_Label*>(object);
        if (key == "color") {
            const std::string parts[4] = {TrimStr(item(1)), TrimStr(item(2)), TrimStr(item(3)), TrimStr(item(4))};
            int32_t c[4];
            for (int32_t i = 0; i < 4; i++) {
                if (parts[i].empty())
                    return;
                c[i] = Lenient(parts[i]);
                if (c[i] < 0)
                    return;
            }
            label->SetColor(static_cast<uint32_t>(c[3] & 255) << 24 | static_cast<uint32_t>(c[0] & 255) << 16 |
                            static_cast<uint32_t>(c[1] & 255) << 8 | static_cast<uint32_t>(c[2] & 255));
        } else if (key == "interval") {
            label->SetInterval(Lenient(value));
        } else if (key == "text") {
            // The raw value keeps its case.
            const std::string raw = TrimStr(line.substr(equals + 1));
            label->SetText(OS_MultiByteToWide(FontAnsiCodePage, raw));
        } else {
            const char a = FirstLetter(value);
            if (a == 'c' || a == 'l' || a == 'r')
                label->Align = a == 'c' ? 2 : a == 'l' ? 1 : 3;
        }
        return;
    }
    if (key == "blending") {
        const char b = FirstLetter(value);
        if (kind == GUI_ELEMENT_CAPTION && (b == 'n' || b == 'a' || b == 's')) {
            static_cast<TGUI_Label*>(object)->SetBlending(b == 'n' ? 2 : b == 'a' ? 1 : 3);
        } else if (spriteObject != nullptr && (b == 'n' || b == 'a' || b == 's')) {
            spriteObject->SetRenderState(RSK_DESTBLEND, b == 'a' ? 0 : 2);
            spriteObject->SetRenderState(RSK_SRCBLEND, b == 's' ? 1 : 2);
        }
        return;
    }
    if (key == "vertexshader" || key == "pixelshader") {
        const int32_t target = kind == GUI_ELEMENT_CAPTION ? static_cast<TGUI_Label*>(object)->TextSprite : sprite;
        T3D_Sprite* shaded = (spriteKind || kind == GUI_ELEMENT_CAPTION) ? Render->Sprite_Get(target) : nullptr;
        std::string file = TrimStr(value);
        if (shaded != nullptr && ResolveFile(file))
            shaded->SetShader(file, PassName, key == "vertexshader" ? 1 : 0);
        return;
    }
    if (key == "alpha" || key == "interpolation" || key == "rotate" || key == "mirror") {
        if (spriteObject == nullptr)
            return;
        if (key == "alpha") {
            spriteObject->SetAlpha(Lenient(value), -1);
        } else if (key == "interpolation") {
            const char f = FirstLetter(value);
            if (f == 'p' || f == 'l' || f == 'a')
                spriteObject->SetRenderState(RSK_FILTER(0), f == 'p' ? 0 : f == 'l' ? 1 : 2);
        } else if (key == "rotate") {
            const int32_t degrees = Lenient(value);
            for (int32_t limit : {89, 179, 269})
                if (degrees > limit)
                    spriteObject->Rotate90(true);
        } else {
            const char m = FirstLetter(value);
            if (m == 'h' || m == 'v')
                spriteObject->Flip(m == 'h', m == 'v');
        }
        return;
    }
    // Any other key: a free value.
    Expressions.push_back(
        {GUI_ELEMENT_FREE, -1, fullName, LowerCaseStr(value), std::string(), std::numeric_limits<double>::quiet_NaN()});
}

// ---------------------------------------------------------------------------
// Lookups and variables

TGUI_Object* TGUI_GraphicWindow::FindObject(const std::string& name) const
{
    const std::string lower = LowerCaseStr(name);
    for (size_t i = ObjectInfos.size(); i-- > 0;)
        if (ObjectInfos[i].Name == lower && i < Objects.size())
            return Objects[i];
    return nullptr;
}

int32_t TGUI_GraphicWindow::FindSprite(const std::string& name) const
{
    const std::string lower = LowerCaseStr(name);
    for (size_t i = SpriteElements.size(); i-- > 0;)
        if (SpriteElements[i].Name == lower)
            return SpriteElements[i].Sprite;
    return -1;
}

std::string TGUI_GraphicWindow::GetObjectName(int32_t index) const
{
    if (index < 0 || static_cast<size_t>(index) >= ObjectInfos.size())
        return std::string();
    return ObjectInfos[static_cast<size_t>(index)].Name;
}

void TGUI_GraphicWindow::SetVariable(const std::string& name, const std::string& value, bool override)
{
    const std::string lower = LowerCaseStr(name);
    for (TGUI_LayoutVariable& variable : Variables)
        if (variable.Name == lower) {
            variable.Value = value;
            variable.Override = override ? 1 : 0;
            return;
        }
    Variables.push_back({lower, value, static_cast<uint8_t>(override ? 1 : 0)});
}

void TGUI_GraphicWindow::SetVariableInt(const std::string& name, int32_t value, bool override)
{
    SetVariable(name, std::to_string(value), override);
}

int32_t TGUI_GraphicWindow::GetValue(const std::string& name) const
{
    const std::string lower = LowerCaseStr(name);
    for (const TGUI_LayoutVariable& variable : Variables)
        if (variable.Name == lower && variable.Override != 0)
            return RoundValue(StrToFloatLenient(variable.Value));
    for (size_t i = Expressions.size(); i-- > 0;)
        if (Expressions[i].Name == lower)
            return RoundValue(Expressions[i].Value);
    return 0;
}

// ---------------------------------------------------------------------------
// Arrangement

void TGUI_GraphicWindow::ReplaceIn(size_t i, const std::string& name, uint64_t nameMask, const std::string& value)
{
    TGUI_LayoutExpression& expression = Expressions[i];
    if (GUI_LayoutPairFilter && (WorkingMasks[i] & nameMask) != nameMask)
        return;
    if (expression.Working.find(name) == std::string::npos)
        return;
    const std::string replaced = ReplaceWholeWord(expression.Working, name, value);
    if (replaced == expression.Working)
        return;
    expression.Working = replaced;
    WorkingMasks[i] = PairMask(expression.Working);
    // The runs around the replaced words stay as they were: only the value's are new.
    IndexRuns(i, value);
}

void TGUI_GraphicWindow::IndexRuns(size_t i, const std::string& text)
{
    for (size_t at = 0; at < text.size();) {
        if (!IsWordChar(text[at])) {
            at++;
            continue;
        }
        size_t end = at;
        while (end < text.size() && IsWordChar(text[end]))
            end++;
        std::vector<uint32_t>& holders = RunIndex[RunHash(text.data() + at, end - at)];
        if (holders.empty() || holders.back() != i)
            holders.push_back(static_cast<uint32_t>(i));
        at = end;
    }
}

void TGUI_GraphicWindow::ReplaceInRange(int64_t after, size_t stop, const std::string& name, const std::string& value)
{
    const uint64_t nameMask = PairMask(name);
    const size_t first = static_cast<size_t>(after + 1);
    uint64_t run = 0;
    if (!FirstRunHash(name, run)) {
        for (size_t i = first; i <= stop && i < Expressions.size(); i++)
            ReplaceIn(i, name, nameMask, value);
        return;
    }
    const auto found = RunIndex.find(run);
    if (found == RunIndex.end())
        return;
    // A replacement may add to this list (a value holding the same run):
    // those entries were visited already.
    std::vector<uint32_t>& holders = found->second;
    const size_t count = holders.size();
    if (++VisitSerial == 0) {
        std::fill(Visited.begin(), Visited.end(), 0);
        VisitSerial = 1;
    }
    for (size_t k = 0; k < count; k++) {
        const uint32_t i = holders[k];
        if (i < first || i > stop || Visited[i] == VisitSerial)
            continue;
        Visited[i] = VisitSerial;
        ReplaceIn(i, name, nameMask, value);
    }
}

void TGUI_GraphicWindow::Substitute(const std::string& name, const std::string& value, bool override)
{
    if (!GUI_LayoutPairFilter) {
        const uint64_t nameMask = PairMask(name);
        for (size_t i = 0; i < Expressions.size(); i++) {
            ReplaceIn(i, name, nameMask, value);
            if (Expressions[i].Name == name) {
                if (!override)
                    return;
                Expressions[i].Working = value;
                WorkingMasks[i] = PairMask(value);
            }
        }
        return;
    }
    if (Expressions.empty())
        return;
    // Without override the walk ends at the name's definition, after
    // replacing in it; with override every definition takes the value.
    ReplaceInRange(-1, override ? Expressions.size() - 1 : NextDefinition(-1, name), name, value);
    if (!override)
        return;
    const auto defined = NameIndex.find(RunHash(name.data(), name.size()));
    if (defined != NameIndex.end())
        for (uint32_t i : defined->second)
            if (Expressions[i].Name == name) {
                Expressions[i].Working = value;
                WorkingMasks[i] = PairMask(value);
                IndexRuns(i, value);
            }
}

bool TGUI_GraphicWindow::MayHoldAfter(int64_t after, const std::string& name) const
{
    uint64_t run = 0;
    if (!FirstRunHash(name, run))
        return true;
    const auto found = RunIndex.find(run);
    return found != RunIndex.end() && std::any_of(found->second.begin(), found->second.end(),
                                                  [after](uint32_t i) { return static_cast<int64_t>(i) > after; });
}

size_t TGUI_GraphicWindow::NextDefinition(int64_t after, const std::string& name) const
{
    const auto defined = NameIndex.find(RunHash(name.data(), name.size()));
    if (defined != NameIndex.end()) {
        const std::vector<uint32_t>& at = defined->second;
        for (auto i = std::upper_bound(at.begin(), at.end(), after,
                                       [](int64_t value, uint32_t index) { return value < index; });
             i != at.end(); ++i)
            if (Expressions[*i].Name == name)
                return *i;
    }
    return Expressions.size() - 1;
}

void TGUI_GraphicWindow::ApplyExpression(const TGUI_LayoutExpression& expression)
{
    const std::string key = expression.Name.substr(std::min(expression.Name.find('.'), expression.Name.size()));
    const char k = key.size() > 1 ? key[1] : '\0';
    const int32_t v = RoundValue(expression.Value);
    const uint8_t kind = expression.Kind;
    if (kind == GUI_ELEMENT_SPRITE || kind == GUI_ELEMENT_TILE) {
        if (expression.Element < 0 || static_cast<size_t>(expression.Element) >= SpriteElements.size())
            return;
        TGUI_SpriteElement& element = SpriteElements[static_cast<size_t>(expression.Element)];
        T3D_Sprite* sprite = Render->Sprite_Get(element.Sprite);
        if (k == 'v') {
            element.Visible = v == 1 ? 1 : 0;
            return;
        }
        if (sprite == nullptr || sprite->Vertices.empty())
            return;
        const float value = static_cast<float>(v);
        if (k == 'x')
            sprite->SetPosition(value, sprite->Vertices[0].Y);
        else if (k == 'y')
            sprite->SetPosition(sprite->Vertices[0].X, value);
        else if ((k == 'w' || k == 'h') && kind == GUI_ELEMENT_SPRITE)
            sprite->SetSize(-1, k == 'w' ? value : sprite->Width, k == 'h' ? value : sprite->Height);
        else if (k == 'w' || k == 'h')
            sprite->ResizeQuadKeepScale(0, k == 'w' ? value : sprite->Width, k == 'h' ? value : sprite->Height);
        return;
    }
    if (!IsObjectKind(kind) || expression.Element < 0 || static_cast<size_t>(expression.Element) >= Objects.size())
        return;
    TGUI_Object* object = Objects[static_cast<size_t>(expression.Element)];
    TGUI_ObjectInfo& info = ObjectInfos[static_cast<size_t>(expression.Element)];
    if (object == nullptr || info.Binding == 2)
        return;
    if (k == 'x') {
        object->X = v;
    } else if (k == 'y') {
        object->Y = v;
    } else if (k == 'v') {
        object->Visible = object->Enabled = v == 1 ? 1 : 0;
        info.LayoutVisible = object->Visible;
    } else if ((k == 'w' || k == 'h') && (kind == GUI_ELEMENT_SCROLLBAR || kind == GUI_ELEMENT_ADDED)) {
        (k == 'w' ? object->Width : object->Height) = v;
    }
}

void TGUI_GraphicWindow::Arrange()
{
    WorkingMasks.resize(Expressions.size());
    // The look-ups keep their lists from one arrangement to the next, unless
    // the runs or names seen (numbers among them) have grown well beyond the
    // file's.
    if (RunIndex.size() > 16 * Expressions.size() + 256)
        RunIndex.clear();
    for (auto& holders : RunIndex)
        holders.second.clear();
    if (NameIndex.size() > 2 * Expressions.size() + 64)
        NameIndex.clear();
    for (auto& definitions : NameIndex)
        definitions.second.clear();
    Visited.assign(Expressions.size(), 0);
    VisitSerial = 0;
    for (size_t i = 0; i < Expressions.size(); i++) {
        Expressions[i].Working = Expressions[i].Expression;
        WorkingMasks[i] = PairMask(Expressions[i].Working);
        IndexRuns(i, Expressions[i].Working);
        const std::string& name = Expressions[i].Name;
        NameIndex[RunHash(name.data(), name.size())].push_back(static_cast<uint32_t>(i));
    }

    int32_t screenWidth = 0, screenHeight = 0;
    const T3D_Scene* scene = Render != nullptr ? Render->Scene_Get(DrawScene) : nullptr;
    const T3D_RenderPass* pass = scene != nullptr ? scene->FindPass(PassName) : nullptr;
    if (pass != nullptr) {
        screenWidth = pass->Width;
        screenHeight = pass->Height;
    } else {
        std::fprintf(stderr, "TGUI_GraphicWindow.Arrange(%s): no pass \"%s\" in the window's scene; screen size 0\n",
                     Name.c_str(), PassName.c_str());
    }
    Substitute("screen.width", std::to_string(screenWidth), true);
    Substitute("screen.height", std::to_string(screenHeight), true);
    if (!WindowElement.empty()) {
        Substitute(WindowElement + ".width", std::to_string(Width), false);
        Substitute(WindowElement + ".height", std::to_string(Height), false);
        Substitute(WindowElement + ".x", std::to_string(X), false);
        Substitute(WindowElement + ".y", std::to_string(Y), false);
    }
    for (size_t i = 0; i < Objects.size() && i < ObjectInfos.size(); i++) {
        TGUI_ObjectInfo& info = ObjectInfos[i];
        const TGUI_Object* object = Objects[i];
        if (info.Binding == 0 || object == nullptr)
            continue;
        const bool override = info.Binding == 2;
        Substitute(info.Name + ".width", std::to_string(object->Width), override);
        Substitute(info.Name + ".height", std::to_string(object->Height), override);
        Substitute(info.Name + ".x", std::to_string(object->X), override);
        Substitute(info.Name + ".y", std::to_string(object->Y), override);
        if (info.Binding == 2)
            info.LayoutVisible = object->Visible;
        Substitute(info.Name + ".visible", info.LayoutVisible != 0 ? "1" : "0", override);
    }
    for (const TGUI_SpriteElement& element : SpriteElements) {
        const T3D_Sprite* sprite = Render->Sprite_Get(element.Sprite);
        const bool placed = sprite != nullptr && !sprite->Vertices.empty();
        Substitute(element.Name + ".width", FormatLayoutValue(sprite != nullptr ? sprite->Width : 0), false);
        Substitute(element.Name + ".height", FormatLayoutValue(sprite != nullptr ? sprite->Height : 0), false);
        Substitute(element.Name + ".x", FormatLayoutValue(placed ? sprite->Vertices[0].X : 0), false);
        Substitute(element.Name + ".y", FormatLayoutValue(placed ? sprite->Vertices[0].Y : 0), false);
        Substitute(element.Name + ".visible", element.Visible != 0 ? "1" : "0", false);
    }
    for (const TGUI_LayoutVariable& variable : Variables)
        Substitute(variable.Name, variable.Value, variable.Override != 0);

    for (size_t i = 0; i < Expressions.size(); i++) {
        TGUI_LayoutExpression& expression = Expressions[i];
        expression.Value = static_cast<double>(CalculateExpression(expression.Working));
        ApplyExpression(expression);
        if (GUI_LayoutPairFilter) {
            // Up to and including the name's next definition; most names
            // are used by no later text.
            if (!MayHoldAfter(static_cast<int64_t>(i), expression.Name))
                continue;
            const std::string text = FormatLayoutValue(expression.Value);
            ReplaceInRange(static_cast<int64_t>(i), NextDefinition(static_cast<int64_t>(i), expression.Name),
                           expression.Name, text);
            continue;
        }
        const std::string text = FormatLayoutValue(expression.Value);
        const uint64_t nameMask = PairMask(expression.Name);
        for (size_t j = i + 1; j < Expressions.size(); j++) {
            ReplaceIn(j, expression.Name, nameMask, text);
            if (Expressions[j].Name == expression.Name)
                break;
        }
    }
}

void TGUI_GraphicWindow::MoveTo(int32_t x, int32_t y)
{
    for (size_t i = 0; i < Objects.size(); i++) {
        TGUI_Object* object = Objects[i];
        const TGUI_ObjectInfo* info = i < ObjectInfos.size() ? &ObjectInfos[i] : nullptr;
        if (object == nullptr)
            continue;
        if (info == nullptr || info->Name.empty() || info->Binding != 3) {
            object->X += x - X;
            object->Y += y - Y;
        }
    }
    X = x;
    Y = y;
    if (Script != nullptr)
        Arrange();
}

// ---------------------------------------------------------------------------
// Objects added and removed by code, object order

void TGUI_GraphicWindow::AddObject(TGUI_Object* object, const std::string& name, uint8_t binding)
{
    if (object == nullptr || std::find(Objects.begin(), Objects.end(), object) != Objects.end())
        return;
    ObjectInfos.resize(Objects.size());
    auto slot = std::find(Objects.begin(), Objects.end(), nullptr);
    size_t index = static_cast<size_t>(slot - Objects.begin());
    if (slot == Objects.end()) {
        Objects.push_back(object);
        ObjectInfos.emplace_back();
    } else {
        *slot = object;
    }
    const std::string lower = LowerCaseStr(name);
    ObjectInfos[index] = {lower, static_cast<uint8_t>(lower.empty() && binding == 3 ? 0 : binding), GUI_ELEMENT_ADDED,
                          1};
    DrawList.push_back({GUI_ELEMENT_ADDED, static_cast<int32_t>(index)});
    if (lower.empty())
        return;
    // Properties the file wrote for this name now place the object.
    for (TGUI_LayoutExpression& expression : Expressions)
        if (expression.Kind == GUI_ELEMENT_FREE && ElementPart(expression.Name) == lower) {
            expression.Kind = GUI_ELEMENT_ADDED;
            expression.Element = static_cast<int32_t>(index);
        }
}

void TGUI_GraphicWindow::RemoveObject(TGUI_Object* object)
{
    if (object == nullptr)
        return;
    ObjectInfos.resize(Objects.size());
    for (size_t i = 0; i < Objects.size(); i++) {
        if (Objects[i] != object)
            continue;
        for (TGUI_DrawEntry& entry : DrawList)
            if (entry.Index == static_cast<int32_t>(i) && entry.Kind == ObjectInfos[i].Kind)
                entry.Index = -1;
        if (ObjectInfos[i].Kind != GUI_ELEMENT_ADDED)
            delete Objects[i];
        Objects[i] = nullptr;
        ObjectInfos[i] = {std::string(), 0, 0, 1};
    }
    while (!DrawList.empty() && DrawList.back().Index == -1)
        DrawList.pop_back();
    while (!Objects.empty() && Objects.back() == nullptr) {
        Objects.pop_back();
        ObjectInfos.pop_back();
    }
    Rebind();
}

void TGUI_GraphicWindow::Rebind()
{
    for (TGUI_LayoutExpression& expression : Expressions) {
        if (!IsObjectKind(expression.Kind))
            continue;
        if (expression.Element < 0 || static_cast<size_t>(expression.Element) >= ObjectInfos.size()) {
            expression.Kind = GUI_ELEMENT_FREE;
            expression.Element = -1;
            continue;
        }
        const std::string element = ElementPart(expression.Name);
        if (ObjectInfos[static_cast<size_t>(expression.Element)].Name == element)
            continue;
        auto found = std::find_if(ObjectInfos.begin(), ObjectInfos.end(),
                                  [&](const TGUI_ObjectInfo& info) { return info.Name == element; });
        if (found != ObjectInfos.end()) {
            expression.Element = static_cast<int32_t>(found - ObjectInfos.begin());
        } else {
            expression.Kind = GUI_ELEMENT_FREE;
            expression.Element = -1;
        }
    }
}

void TGUI_GraphicWindow::AdjustDrawEntries(int32_t p, bool last)
{
    const int32_t end = static_cast<int32_t>(Objects.size()) - 1;
    for (TGUI_DrawEntry& entry : DrawList) {
        if (!IsObjectKind(entry.Kind) || entry.Index == -1)
            continue;
        if (last)
            entry.Index = entry.Index == p ? end : entry.Index > p ? entry.Index - 1 : entry.Index;
        else
            entry.Index = entry.Index == p ? 0 : entry.Index < p ? entry.Index + 1 : entry.Index;
    }
}

void TGUI_GraphicWindow::MoveObjectLast(TGUI_Object* object)
{
    auto found = std::find(Objects.begin(), Objects.end(), object);
    if (found == Objects.end())
        return;
    ObjectInfos.resize(Objects.size());
    const int32_t p = static_cast<int32_t>(found - Objects.begin());
    TGUI_Window::MoveObjectLast(object);
    std::rotate(ObjectInfos.begin() + p, ObjectInfos.begin() + p + 1, ObjectInfos.end());
    AdjustDrawEntries(p, true);
    Rebind();
}

void TGUI_GraphicWindow::MoveObjectFirst(TGUI_Object* object)
{
    auto found = std::find(Objects.begin(), Objects.end(), object);
    if (found == Objects.end() || found == Objects.begin())
        return;
    ObjectInfos.resize(Objects.size());
    const int32_t p = static_cast<int32_t>(found - Objects.begin());
    TGUI_Window::MoveObjectFirst(object);
    std::rotate(ObjectInfos.begin(), ObjectInfos.begin() + p, ObjectInfos.begin() + p + 1);
    AdjustDrawEntries(p, false);
    Rebind();
}

void TGUI_GraphicWindow::Draw()
{
    if (Visible == 0 || DrawScene == -1 || Render == nullptr)
        return;
    for (const TGUI_DrawEntry& entry : DrawList) {
        if (entry.Index < 0)
            continue;
        if (IsObjectKind(entry.Kind)) {
            TGUI_Object* object =
                static_cast<size_t>(entry.Index) < Objects.size() ? Objects[static_cast<size_t>(entry.Index)] : nullptr;
            if (object != nullptr && object->DrawnByWindow != 0 && object->Visible != 0)
                object->Draw(DrawScene);
        } else if (static_cast<size_t>(entry.Index) < SpriteElements.size()) {
            const TGUI_SpriteElement& element = SpriteElements[static_cast<size_t>(entry.Index)];
            if (element.Visible != 0)
                Render->Sprite_Draw(DrawScene, element.Sprite, 0, 0, -1);
        }
    }
}

// Sprites, RotatePoint2D and the sprite registry and 2D draw-list operations
// of T3D_Render.
#include "render/QX9_Render_Sprites.h"

#include <algorithm>
#include <cmath>

#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Textures.h"

namespace {

constexpr long double PiL = 3.14159265358979323846264338327950288L;

uint32_t WithAlpha(uint32_t colour, int32_t alpha)
{
    return (colour & 0x00FFFFFFu) | (static_cast<uint32_t>(alpha) << 24);
}

} // namespace

TVec2 RotatePoint2D(float x, float y, float cx, float cy, float angle)
{
    const long double dx = static_cast<long double>(x) - cx, dy = static_cast<long double>(y) - cy;
    const long double r = std::sqrt(dx * dx + dy * dy);
    long double phi;
    if (x != cx) {
        phi = std::atan(dy / dx);
        if (x < cx)
            phi += PiL;
    } else {
        phi = y >= cy ? PiL / 2 : -PiL / 2;
    }
    return {static_cast<float>(cx + r * std::cos(phi + angle)), static_cast<float>(cy + r * std::sin(phi + angle))};
}

T3D_Sprite::T3D_Sprite(T3D_Render* owner, int32_t width, int32_t height) : Owner(owner)
{
    Constants.Priority = 1;
    AddQuad(255, static_cast<float>(width), static_cast<float>(height), 0, 0, 0, 0, 1, 1);
}

void T3D_Sprite::UpdateSize()
{
    if (Vertices.empty()) {
        Width = 0;
        Height = 0;
        return;
    }
    float minX = 1000000, minY = 1000000, maxX = -1000000, maxY = -1000000;
    for (const T3D_SpriteVertex& v : Vertices) {
        minX = std::min(minX, v.X);
        minY = std::min(minY, v.Y);
        maxX = std::max(maxX, v.X);
        maxY = std::max(maxY, v.Y);
    }
    Width = maxX - minX;
    Height = maxY - minY;
}

void T3D_Sprite::AddQuad(int32_t alpha, float width, float height, float x, float y, float uL, float vT, float uR,
                         float vB)
{
    const uint16_t base = static_cast<uint16_t>(Vertices.size());
    const uint32_t colour = WithAlpha(0xFFFFFFFFu, alpha);
    Vertices.push_back({x, y, 0, 1, uL, vT, colour});
    Vertices.push_back({x + width, y, 0, 1, uR, vT, colour});
    Vertices.push_back({x + width, y + height, 0, 1, uR, vB, colour});
    Vertices.push_back({x, y + height, 0, 1, uL, vB, colour});
    for (uint16_t offset : {0, 2, 1, 0, 3, 2})
        Indices.push_back(static_cast<uint16_t>(base + offset));
    UpdateSize();
}

void T3D_Sprite::Clear()
{
    Vertices.clear();
    Indices.clear();
    DrawBuffer.clear();
    Width = 0;
    Height = 0;
}

void T3D_Sprite::PlaceCorners(int32_t quad, float width, float height)
{
    T3D_SpriteVertex* q = Quad(quad);
    q[1].X = q[0].X + width;
    q[2].X = q[0].X + width;
    q[1].Y = q[0].Y;
    q[2].Y = q[0].Y + height;
    q[3].X = q[0].X;
    q[3].Y = q[0].Y + height;
}

void T3D_Sprite::SetQuad(int32_t alpha, int32_t quad, float width, float height, float uL, float vT, float uR, float vB)
{
    if (!HasQuad(quad))
        return;
    T3D_SpriteVertex* q = Quad(quad);
    const float xy[4][2] = {{0, 0}, {width, 0}, {width, height}, {0, height}};
    const float uv[4][2] = {{uL, vT}, {uR, vT}, {uR, vB}, {uL, vB}};
    for (int32_t i = 0; i < 4; i++) {
        q[i].X = xy[i][0];
        q[i].Y = xy[i][1];
        q[i].U = uv[i][0];
        q[i].V = uv[i][1];
        if (alpha != 255) {
            q[i].Color = WithAlpha(q[i].Color, alpha);
            q[i].Z = 0;
            q[i].Rhw = 1;
        }
    }
    UpdateSize();
}

void T3D_Sprite::SetUV(int32_t quad, float uL, float vT, float uR, float vB)
{
    if (!HasQuad(quad))
        return;
    T3D_SpriteVertex* q = Quad(quad);
    q[0].U = uL, q[0].V = vT;
    q[1].U = uR, q[1].V = vT;
    q[2].U = uR, q[2].V = vB;
    q[3].U = uL, q[3].V = vB;
}

void T3D_Sprite::SetAlpha(int32_t alpha, int32_t quad)
{
    if (quad == -1) {
        for (T3D_SpriteVertex& v : Vertices)
            v.Color = WithAlpha(v.Color, alpha);
        return;
    }
    if (!HasQuad(quad))
        return;
    for (int32_t i = 0; i < 4; i++)
        Quad(quad)[i].Color = WithAlpha(Quad(quad)[i].Color, alpha);
}

void T3D_Sprite::SetColor(uint32_t rgb, int32_t quad)
{
    auto recolour = [rgb](T3D_SpriteVertex& v) { v.Color = rgb + (v.Color & 0xFF000000u); };
    if (quad == -1) {
        std::for_each(Vertices.begin(), Vertices.end(), recolour);
        return;
    }
    if (HasQuad(quad))
        std::for_each(Quad(quad), Quad(quad) + 4, recolour);
}

void T3D_Sprite::SetFrame(int32_t width, int32_t height, int32_t x, int32_t y, int32_t quad)
{
    const T3D_Texture* texture = TextureAt(*Owner, Texture);
    // Without a texture there is no pixel grid to cut from.
    if (texture == nullptr || texture->DeviceWidth <= 0 || texture->DeviceHeight <= 0 || !HasQuad(quad))
        return;
    const float w = static_cast<float>(texture->DeviceWidth), h = static_cast<float>(texture->DeviceHeight);
    // The far edges in 64 bits: a frame near the end of the 32-bit range
    // must not wrap to the other side of the texture.
    SetUV(quad, static_cast<float>(x) / w, static_cast<float>(y) / h, static_cast<float>(int64_t{x} + width) / w,
          static_cast<float>(int64_t{y} + height) / h);
    PlaceCorners(quad, static_cast<float>(width), static_cast<float>(height));
    Width = static_cast<float>(width);
    Height = static_cast<float>(height);
}

void T3D_Sprite::SetFrameIndex(int32_t width, int32_t height, int32_t frame, int32_t quad)
{
    const T3D_Texture* texture = TextureAt(*Owner, Texture);
    // A cell of no size, or wider than the texture, has no grid position.
    if (texture == nullptr || width <= 0 || height <= 0)
        return;
    const int32_t columns = texture->DeviceWidth / width;
    if (columns < 1)
        return;
    SetFrame(width, height, frame % columns * width, frame / columns * height, quad);
}

void T3D_Sprite::SetTexture(int32_t texture, int32_t stage)
{
    if (texture >= 0)
        SetStageTexture(texture, stage, 0);
    else
        texture = Texture;
    const T3D_Texture* image = TextureAt(*Owner, texture);
    if (image == nullptr || image->DeviceWidth <= 0 || image->DeviceHeight <= 0)
        return;
    const float w = static_cast<float>(image->ImageWidth), h = static_cast<float>(image->ImageHeight);
    const float su = w / static_cast<float>(image->DeviceWidth), sv = h / static_cast<float>(image->DeviceHeight);
    // A sprite of several quads has its first quad fitted; the others stay.
    if (QuadCount() >= 1) {
        T3D_SpriteVertex* q = Quad(0);
        const float xy[4][2] = {{0, 0}, {w, 0}, {w, h}, {0, h}};
        const float uv[4][2] = {{0, 0}, {su, 0}, {su, sv}, {0, sv}};
        for (int32_t i = 0; i < 4; i++) {
            q[i].X = xy[i][0];
            q[i].Y = xy[i][1];
            q[i].U = uv[i][0];
            q[i].V = uv[i][1];
        }
    }
    UpdateSize();
}

void T3D_Sprite::LoadTexture(const std::string& fileName, int32_t stage)
{
    SetTexture(LoadStageTexture(fileName, stage, 0), stage);
}

void T3D_Sprite::SetStageTexture(int32_t texture, int32_t stage, uint8_t clamp)
{
    auto record = std::find_if(StageTextures.begin(), StageTextures.end(),
                               [stage](const T3D_SpriteStageTexture& r) { return r.Stage == stage; });
    if (record != StageTextures.end())
        record->TextureIndex = texture;
    else
        StageTextures.push_back({texture, clamp, stage});
    if (stage == 0)
        Texture = texture;
}

int32_t T3D_Sprite::LoadStageTexture(const std::string& fileName, int32_t stage, uint8_t clamp)
{
    const int32_t texture = Owner->Texture_Load(fileName);
    SetStageTexture(texture, stage, clamp);
    return texture;
}

void T3D_Sprite::SetShader(const std::string& fileName, const std::string& passName, uint8_t kind)
{
    const int32_t shader = Owner->Shader_Load(fileName, kind);
    for (T3D_SpriteShader& record : Shaders)
        if (record.PassName == passName && record.Kind == kind) {
            record.ShaderIndex = shader;
            return;
        }
    Shaders.push_back({passName, shader, kind});
}

void T3D_Sprite::SetRenderState(uint32_t field, int32_t value)
{
    RenderStateKeySet(field, value, StateKey);
}

void T3D_Sprite::Rotate(float cx, float cy, float angle)
{
    const size_t complete = static_cast<size_t>(QuadCount()) * 4;
    for (size_t i = 0; i < complete; i++) {
        const TVec2 p = RotatePoint2D(Vertices[i].X, Vertices[i].Y, cx, cy, angle);
        Vertices[i].X = p.x;
        Vertices[i].Y = p.y;
    }
    UpdateSize();
}

void T3D_Sprite::Rotate90(bool direction)
{
    if (Vertices.size() < 4)
        return;
    T3D_SpriteVertex* q = Quad(0);
    const float x0 = q[0].X, y0 = q[0].Y;
    auto turn = [direction](float dx, float dy) { return direction ? TVec2{dy, -dx} : TVec2{-dy, dx}; };
    const TVec2 e1 = turn(q[1].X - x0, q[1].Y - y0);
    const TVec2 e3 = turn(q[3].X - x0, q[3].Y - y0);
    q[1].X = x0 + e1.x, q[1].Y = y0 + e1.y;
    q[2].X = x0 + e1.x + e3.x, q[2].Y = y0 + e1.y + e3.y;
    q[3].X = x0 + e3.x, q[3].Y = y0 + e3.y;
    const T3D_SpriteVertex old[4] = {q[0], q[1], q[2], q[3]};
    for (int32_t i = 0; i < 4; i++)
        q[i] = direction ? old[(i + 1) % 4] : old[(i + 3) % 4];
    const float mx = x0 - q[0].X, my = y0 - q[0].Y;
    for (int32_t i = 0; i < 4; i++) {
        q[i].X += mx;
        q[i].Y += my;
    }
    UpdateSize();
}

void T3D_Sprite::FlipQuad(int32_t quad, bool horizontal, bool vertical)
{
    if (!HasQuad(quad))
        return;
    T3D_SpriteVertex* q = Quad(quad);
    if (horizontal) {
        std::swap(q[0].U, q[1].U);
        std::swap(q[3].U, q[2].U);
    }
    if (vertical) {
        std::swap(q[0].V, q[3].V);
        std::swap(q[1].V, q[2].V);
    }
}

void T3D_Sprite::Flip(bool horizontal, bool vertical)
{
    for (int32_t quad = 0; quad < QuadCount(); quad++)
        FlipQuad(quad, horizontal, vertical);
}

void T3D_Sprite::ScaleQuad(int32_t quad, float sx, float sy)
{
    if (!HasQuad(quad))
        return;
    if (quad == 0) {
        const float x0 = Vertices[0].X, y0 = Vertices[0].Y;
        for (T3D_SpriteVertex& v : Vertices) {
            v.X = x0 + sx * (v.X - x0);
            v.Y = y0 + sy * (v.Y - y0);
        }
    } else {
        T3D_SpriteVertex* q = Quad(quad);
        for (int32_t i : {1, 2})
            q[i].X = q[0].X + sx * (q[i].X - q[0].X);
        for (int32_t i : {2, 3})
            q[i].Y = q[0].Y + sy * (q[i].Y - q[0].Y);
    }
    UpdateSize();
}

void T3D_Sprite::MoveQuad(int32_t quad, float x, float y)
{
    if (!HasQuad(quad))
        return;
    T3D_SpriteVertex* q = Quad(quad);
    const float dx = x - q[0].X, dy = y - q[0].Y;
    for (int32_t i = 0; i < 4; i++) {
        q[i].X += dx;
        q[i].Y += dy;
    }
    UpdateSize();
}

void T3D_Sprite::SetPosition(float x, float y)
{
    if (Vertices.size() < 4)
        return;
    const float dx = x - Vertices[0].X, dy = y - Vertices[0].Y;
    for (T3D_SpriteVertex& v : Vertices) {
        v.X += dx;
        v.Y += dy;
    }
}

void T3D_Sprite::SetSize(int32_t quad, float width, float height)
{
    if (quad == -1 && QuadCount() == 1)
        quad = 0;
    if (quad >= 0) {
        if (!HasQuad(quad))
            return;
        PlaceCorners(quad, width, height);
    } else if (quad == -1 && QuadCount() > 1) {
        float mx = Vertices[0].X, my = Vertices[0].Y;
        for (const T3D_SpriteVertex& v : Vertices) {
            mx = std::min(mx, v.X);
            my = std::min(my, v.Y);
        }
        // A sprite without extent in a direction has nothing to stretch.
        if (width != Width && Width != 0)
            for (T3D_SpriteVertex& v : Vertices)
                v.X = mx + width * (v.X - mx) / Width;
        if (height != Height && Height != 0)
            for (T3D_SpriteVertex& v : Vertices)
                v.Y = my + height * (v.Y - my) / Height;
    }
    UpdateSize();
}

void T3D_Sprite::ResizeQuadKeepScale(int32_t quad, float width, float height)
{
    if (!HasQuad(quad))
        return;
    T3D_SpriteVertex* q = Quad(quad);
    const float oldWidth = q[1].X - q[0].X, oldHeight = q[3].Y - q[0].Y;
    // A quad of no width or height keeps its texture edge in that direction.
    const float fu = oldWidth != 0 ? width / oldWidth : 1, fv = oldHeight != 0 ? height / oldHeight : 1;
    const float uEdgeU = (q[1].U - q[0].U) * fu, uEdgeV = (q[1].V - q[0].V) * fu;
    const float vEdgeU = (q[3].U - q[0].U) * fv, vEdgeV = (q[3].V - q[0].V) * fv;
    q[1].U = q[0].U + uEdgeU, q[1].V = q[0].V + uEdgeV;
    q[3].U = q[0].U + vEdgeU, q[3].V = q[0].V + vEdgeV;
    q[2].U = q[0].U + uEdgeU + vEdgeU, q[2].V = q[0].V + uEdgeV + vEdgeV;
    PlaceCorners(quad, width, height);
    UpdateSize();
}

void T3D_Sprite::FillDrawBuffer(int32_t x, int32_t y, int32_t alpha)
{
    DrawBuffer = Vertices;
    const float dx = static_cast<float>(x) - 0.5f, dy = static_cast<float>(y) - 0.5f;
    for (T3D_SpriteVertex& v : DrawBuffer) {
        v.X += dx;
        v.Y += dy;
        if (alpha >= 0)
            v.Color = WithAlpha(v.Color, alpha & 0xFF);
    }
}

// ---------------------------------------------------------------------------
// The registry and the draw lists

int32_t T3D_Render::Sprite_Add(int32_t width, int32_t height)
{
    const size_t slot = TakeFreeSlot(Sprites);
    Sprites[slot] = new T3D_Sprite(this, width, height);
    SpriteCount++;
    return static_cast<int32_t>(slot);
}

T3D_Sprite* T3D_Render::Sprite_Get(int32_t index) const
{
    if (index < 0 || static_cast<size_t>(index) >= Sprites.size())
        return nullptr;
    return Sprites[static_cast<size_t>(index)];
}

void T3D_Render::Sprite_Free(int32_t index)
{
    T3D_Sprite* sprite = Sprite_Get(index);
    if (sprite == nullptr)
        return;
    delete sprite;
    Sprites[static_cast<size_t>(index)] = nullptr;
    DropTrailingFreeSlots(Sprites);
    SpriteCount--;
}

void T3D_Render::Sprite_Draw(int32_t scene, int32_t sprite, int32_t x, int32_t y, int32_t alpha)
{
    const T3D_Sprite* drawn = Sprite_Get(sprite);
    T3D_Scene* target = scene >= 0 ? Scene_Get(scene) : nullptr;
    if (drawn == nullptr || drawn->Indices.empty() || target == nullptr)
        return;
    T2DDrawItem item;
    item.Kind = DRAWITEM_SPRITE;
    item.Values[0] = sprite;
    item.Values[1] = x;
    item.Values[2] = y;
    item.Values[3] = alpha;
    target->AddDrawItem(item);
}

void T3D_Render::ClipRect_Push(int32_t scene, int32_t left, int32_t top, int32_t right, int32_t bottom, bool intersect)
{
    T3D_Scene* target = scene >= 0 ? Scene_Get(scene) : nullptr;
    if (target == nullptr)
        return;
    TRect rect{left, top, right, bottom};
    if (intersect && target->ClipDepth > 0) {
        const TRect& top_ = target->ClipStack[static_cast<size_t>(target->ClipDepth - 1)];
        rect.Left = std::max(rect.Left, top_.Left);
        rect.Top = std::max(rect.Top, top_.Top);
        rect.Right = std::min(rect.Right, top_.Right);
        rect.Bottom = std::min(rect.Bottom, top_.Bottom);
    }
    target->AddDrawItem({DRAWITEM_CLIP, {rect.Left, rect.Top, rect.Right, rect.Bottom}});
    if (static_cast<size_t>(target->ClipDepth) >= target->ClipStack.size())
        target->ClipStack.resize(static_cast<size_t>(target->ClipDepth) + 1);
    target->ClipStack[static_cast<size_t>(target->ClipDepth)] = rect;
    target->ClipDepth++;
}

void T3D_Render::ClipRect_Pop(int32_t scene)
{
    T3D_Scene* target = scene >= 0 ? Scene_Get(scene) : nullptr;
    if (target == nullptr)
        return;
    if (target->ClipDepth > 0)
        target->ClipDepth--;
    T2DDrawItem item{DRAWITEM_CLIP, {-1, -1, -1, -1}};
    if (target->ClipDepth > 0) {
        const TRect& rect = target->ClipStack[static_cast<size_t>(target->ClipDepth - 1)];
        item.Values[0] = rect.Left;
        item.Values[1] = rect.Top;
        item.Values[2] = rect.Right;
        item.Values[3] = rect.Bottom;
    }
    target->AddDrawItem(item);
}

void T3D_Render::SetCursor(int32_t sprite, const int32_t* x, const int32_t* y, const uint8_t* visible)
{
    CursorSprite = sprite;
    if (x != nullptr)
        CursorX = x;
    if (y != nullptr)
        CursorY = y;
    if (visible != nullptr)
        CursorVisible = visible;
}

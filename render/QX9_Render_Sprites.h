// Sprites: everything flat the program shows (windows, controls, icons,
// text, particles, the cursor) is a list of screen-space quads with its own
// textures, shaders, constants and render states. Drawing a sprite appends an
// item to a scene's 2D draw list; the passes of that scene that draw 2D walk
// the list in order with its clip rectangles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_Math.h"
#include "engine/QX9_System.h"
#include "render/QX9_Render.h"
#include "render/QX9_Render_Constants.h"

// A pre-transformed vertex as the device takes it (MESH_SPRITE's stride).
struct T3D_SpriteVertex {
    float X = 0;
    float Y = 0;
    float Z = 0;
    float Rhw = 1;
    float U = 0;
    float V = 0;
    uint32_t Color = 0xFFFFFFFF; // ARGB
};
static_assert(sizeof(T3D_SpriteVertex) == 28);
using T3D_VertexArray_Sprite = std::vector<T3D_SpriteVertex>;

struct T3D_SpriteStageTexture {
    int32_t TextureIndex = -1;
    uint8_t Clamp = 0;
    int32_t Stage = 0;
};

struct T3D_SpriteShader {
    std::string PassName;
    int32_t ShaderIndex = -1;
    uint8_t Kind = 0; // 1 vertex shader, 0 pixel shader
};

// One item of a scene's 2D draw list.
struct T2DDrawItem {
    uint8_t Kind = 0; // 1 sprite, 0 clip rectangle
    // Sprite: index, x, y, alpha (-1 keeps the sprite's colours, else its
    // low byte replaces each vertex's alpha). Clip: left, top, right,
    // bottom in target pixels; (-1, -1, -1, -1) means no clipping.
    int32_t Values[4] = {};
};
inline constexpr uint8_t DRAWITEM_CLIP = 0;
inline constexpr uint8_t DRAWITEM_SPRITE = 1;

// (x, y) turned about (cx, cy) by the angle; in screen coordinates (y
// down) a positive angle turns clockwise.
TVec2 RotatePoint2D(float x, float y, float cx, float cy, float angle);

class T3D_Sprite {
public:
    // One quad of that size, texture coordinates 0..1, opaque white.
    T3D_Sprite(T3D_Render* owner, int32_t width, int32_t height);
    ~T3D_Sprite() = default;
    T3D_Sprite(const T3D_Sprite&) = delete;
    T3D_Sprite& operator=(const T3D_Sprite&) = delete;

    int32_t QuadCount() const { return static_cast<int32_t>(Vertices.size() / 4); }

    void UpdateSize();
    void AddQuad(int32_t alpha, float width, float height, float x, float y, float uL, float vT, float uR, float vB);
    void Clear();
    void SetQuad(int32_t alpha, int32_t quad, float width, float height, float uL, float vT, float uR, float vB);
    void SetUV(int32_t quad, float uL, float vT, float uR, float vB);
    // quad -1: every vertex.
    void SetAlpha(int32_t alpha, int32_t quad);
    void SetColor(uint32_t rgb, int32_t quad);
    // Pixel rectangles of the stage-0 texture; nothing without one.
    void SetFrame(int32_t width, int32_t height, int32_t x, int32_t y, int32_t quad);
    void SetFrameIndex(int32_t width, int32_t height, int32_t frame, int32_t quad);
    // texture -1: the stage-0 texture. Fits the sprite to the image.
    void SetTexture(int32_t texture, int32_t stage);
    void LoadTexture(const std::string& fileName, int32_t stage);
    void SetStageTexture(int32_t texture, int32_t stage, uint8_t clamp);
    int32_t LoadStageTexture(const std::string& fileName, int32_t stage, uint8_t clamp);
    void SetShader(const std::string& fileName, const std::string& passName, uint8_t kind);
    void SetRenderState(uint32_t field, int32_t value);
    void Rotate(float cx, float cy, float angle);
    void Rotate90(bool direction);
    void Flip(bool horizontal, bool vertical);
    void FlipQuad(int32_t quad, bool horizontal, bool vertical);
    void ScaleQuad(int32_t quad, float sx, float sy);
    void MoveQuad(int32_t quad, float x, float y);
    void SetPosition(float x, float y);
    void SetSize(int32_t quad, float width, float height);
    void ResizeQuadKeepScale(int32_t quad, float width, float height);

    // Fills DrawBuffer with the vertices moved to (x - 0.5, y - 0.5), so that
    // pixel corners meet pixel centres, and, for an alpha of 0 or more, its
    // low byte in every vertex's alpha (the draw of one sprite item).
    void FillDrawBuffer(int32_t x, int32_t y, int32_t alpha);

    T3D_Render* Owner = nullptr;
    TRenderStateKey StateKey;
    TWordArray Indices; // 0, 2, 1, 0, 3, 2 per quad
    T3D_VertexArray_Sprite Vertices;
    T3D_VertexArray_Sprite DrawBuffer;
    float Width = 0;
    float Height = 0;
    std::vector<T3D_SpriteStageTexture> StageTextures;
    int32_t Texture = -1; // stage 0
    T3D_ShaderConstant Constants;
    std::vector<T3D_SpriteShader> Shaders;

private:
    bool HasQuad(int32_t quad) const { return quad >= 0 && quad < QuadCount(); }
    T3D_SpriteVertex* Quad(int32_t quad) { return Vertices.data() + 4 * static_cast<size_t>(quad); }
    // Corners 1 and 2 width right of corner 0, corners 2 and 3 height below.
    void PlaceCorners(int32_t quad, float width, float height);
};

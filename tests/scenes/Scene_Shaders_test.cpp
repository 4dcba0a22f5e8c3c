// The installation's shader programs of the map and arena scenes on the real
// device: every file compiles, every vertex/pixel pair the scenes combine
// links and draws with its vertex format, the programs whose output is read
// back as numbers (world positions, pick numbers, skinned positions) give
// them exactly, and the terrain's slots, the sun's depth maps and the fog
// work as the scenes' constants say.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "render/QX9_Render.h"
#include "render/QX9_Render_Shadows.h"
#include "tests/platform/D3D9_TestDevice.h"
#include "tests/scenes/SceneShaderPairs.h"
#include "tests/support/TestSupport.h"

namespace {

const std::string InstallFolder = DUSKMARCH_INSTALL;
using SceneShaderPairs::Arenas;
using SceneShaderPairs::Landscape;
using SceneShaderPairs::ScenePairs;
using SceneShaderPairs::TPair;

// One vertex as the scenes' mesh formats hold it (fields a format lacks are
// not written).
struct TTestVertex {
    float X, Y, Z;
    float U = 0, V = 0;
    uint8_t Bones[4] = {0, 0, 0, 0};
    uint8_t Weights[4] = {255, 0, 0, 0};
    float Slots[6] = {0, 0, 0, 0, 0, 0};
};

void Put(std::vector<uint8_t>& bytes, size_t at, const void* value, size_t size)
{
    std::memcpy(bytes.data() + at, value, size);
}

void PutUV(std::vector<uint8_t>& bytes, size_t at, const TTestVertex& v)
{
    const int16_t uv[2] = {static_cast<int16_t>(std::lround(v.U * 4096)),
                           static_cast<int16_t>(std::lround(v.V * 4096))};
    Put(bytes, at, uv, sizeof(uv));
}

// Packs vertices in the layout of format 3 (normal-mapped), 4 (terrain: the
// slots' coordinates from U, V and Slots, their weights from Weights) or 5
// (skinned); any other format gets its positions only.
std::vector<uint8_t> PackVertices(int32_t format, const std::vector<TTestVertex>& vertices)
{
    const size_t stride = static_cast<size_t>(VertexFormatStride[static_cast<size_t>(format)]);
    std::vector<uint8_t> bytes(stride * vertices.size(), 0);
    const uint8_t up[4] = {127, 254, 127, 0}, east[4] = {254, 127, 127, 0}, south[4] = {127, 127, 254, 0};
    for (size_t i = 0; i < vertices.size(); i++) {
        const TTestVertex& v = vertices[i];
        const size_t at = i * stride;
        const float position[3] = {v.X, v.Y, v.Z};
        Put(bytes, at, position, sizeof(position));
        if (format == 3 || format == 5) {
            Put(bytes, at + 12, up, 4);
            Put(bytes, at + 16, east, 4);
            Put(bytes, at + 20, south, 4);
            PutUV(bytes, at + 24, v);
        }
        if (format == 4) {
            Put(bytes, at + 12, up, 3);
            const float coordinates[8] = {v.U,        v.V,        v.Slots[0], v.Slots[1],
                                          v.Slots[2], v.Slots[3], v.Slots[4], v.Slots[5]};
            for (size_t k = 0; k < 8; k++) {
                const int16_t word = static_cast<int16_t>(std::lround(coordinates[k] * 32767));
                Put(bytes, at + 16 + 2 * k, &word, 2);
            }
            Put(bytes, at + 32, v.Weights, 4);
        }
        if (format == 5) {
            Put(bytes, at + 28, v.Bones, 4);
            Put(bytes, at + 32, v.Weights, 4);
        }
    }
    return bytes;
}

// Four registers holding a matrix row by row, as the renderer uploads them.
struct TRows {
    float Values[16];
};

TRows Translation(float x, float y, float z)
{
    return {{1, 0, 0, x, 0, 1, 0, y, 0, 0, 1, z, 0, 0, 0, 1}};
}

// The ground from x 0..width, z 0..depth seen from above over the whole
// target (z = 0 on the top row), depth 0.5: "Proj" of the tests below.
TRows GroundProjection(float width, float depth)
{
    return {{2 / width, 0, 0, -1, 0, 0, -2 / depth, 1, 0, 0, 0, 0.5f, 0, 0, 0, 1}};
}

class SceneShadersTest : public D3D9Test {
protected:
    void SetUp() override
    {
        D3D9Test::SetUp();
        for (int32_t format = 1; format <= VertexFormatCount; format++)
            ASSERT_EQ(Device->CreateVertexDeclaration(VertexFormatElements(format), &Declarations[format]), D3D_OK);
        Device->SetRenderState(D3DRS_ZENABLE, FALSE);
        Device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }

    void TearDown() override
    {
        for (IUnknownLike* made : Made)
            made->Release();
        for (IDirect3DVertexDeclaration9* declaration : Declarations)
            if (declaration != nullptr)
                declaration->Release();
        D3D9Test::TearDown();
    }

    // The program of an installation file, created by its kind ("_VS.bin"
    // or "_PS.bin"); nullptr (and a failure naming the file) when it is
    // missing or does not compile.
    IUnknownLike* Program(const std::string& file)
    {
        const std::string text = ReadWholeFile(InstallFolder + "/" + file);
        if (text.empty()) {
            ADD_FAILURE() << file << ": missing";
            return nullptr;
        }
        const bool vertex = file.find("_VS.bin") != std::string::npos;
        IUnknownLike* made = nullptr;
        if (vertex) {
            IDirect3DVertexShader9* shader = nullptr;
            Device->CreateVertexShader(text.data(), text.size(), &shader);
            made = shader;
        } else {
            IDirect3DPixelShader9* shader = nullptr;
            Device->CreatePixelShader(text.data(), text.size(), &shader);
            made = shader;
        }
        if (made == nullptr) {
            ADD_FAILURE() << file << ": " << D3D9_ShaderRefusal();
            return nullptr;
        }
        Made.push_back(made);
        return made;
    }

    bool UsePrograms(const std::string& vertex, const std::string& pixel)
    {
        auto* vs = static_cast<IDirect3DVertexShader9*>(Program(vertex));
        auto* ps = static_cast<IDirect3DPixelShader9*>(Program(pixel));
        Device->SetVertexShader(vs);
        Device->SetPixelShader(ps);
        return vs != nullptr && ps != nullptr;
    }

    IDirect3DSurface9* Target(D3DFORMAT format, UINT width = Width, UINT height = Height)
    {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(
            Device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, &texture, nullptr),
            D3D_OK);
        IDirect3DSurface9* surface = nullptr;
        texture->GetSurfaceLevel(0, &surface);
        Made.push_back(texture);
        Made.push_back(surface);
        Device->SetRenderTarget(0, surface);
        Device->SetDepthStencilSurface(nullptr);
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        return surface;
    }

    void SetVertexRows(UINT reg, const TRows& rows) { Device->SetVertexShaderConstantF(reg, rows.Values, 4); }

    // Triangles of vertices in the given format.
    HRESULT Draw(int32_t format, const std::vector<TTestVertex>& vertices, const std::vector<uint16_t>& indices)
    {
        const std::vector<uint8_t> bytes = PackVertices(format, vertices);
        Device->SetVertexDeclaration(Declarations[format]);
        return Device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(vertices.size()),
                                              static_cast<UINT>(indices.size() / 3), indices.data(), D3DFMT_INDEX16,
                                              bytes.data(), VertexFormatStride[static_cast<size_t>(format)]);
    }

    // A rectangle of vertices at height y, with (x, z) corners.
    HRESULT DrawRectangle(int32_t format, float x0, float z0, float x1, float z1, float y, TTestVertex model = {})
    {
        std::vector<TTestVertex> corners(4, model);
        const float xs[4] = {x0, x1, x1, x0}, zs[4] = {z0, z0, z1, z1};
        for (size_t i = 0; i < 4; i++) {
            corners[i].X = xs[i];
            corners[i].Y = y;
            corners[i].Z = zs[i];
        }
        return Draw(format, corners, {0, 1, 2, 0, 2, 3});
    }

    // The target's pixels as 16-bit words (rows top first).
    std::vector<uint16_t> Words(IDirect3DSurface9* target)
    {
        const std::vector<uint8_t> bytes = ReadBack(target);
        std::vector<uint16_t> words(bytes.size() / 2);
        std::memcpy(words.data(), bytes.data(), words.size() * 2);
        return words;
    }

    IDirect3DVertexDeclaration9* Declarations[VertexFormatCount + 1] = {};
    std::vector<IUnknownLike*> Made;
};

// Every program under every name the scenes load, each file compiled on its
// own (a name missing from the table below is a file the scenes never load).
TEST_F(SceneShadersTest, EveryInstalledShaderCompiles)
{
    for (const char* folder : {Landscape, Arenas}) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(InstallFolder + "/" + folder))
            if (entry.path().extension() == ".bin")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_FALSE(names.empty()) << "no shader files in " << InstallFolder << "/" << folder;
        for (const std::string& name : names)
            Program(folder + name);
    }
}

TEST_F(SceneShadersTest, EveryPairOfThePassesLinksAndDraws)
{
    Target(D3DFMT_A8R8G8B8);
    for (const TPair& pair : ScenePairs) {
        const std::string folder = pair.Folder;
        const std::string name = folder + pair.Vertex + " + " + pair.Pixel;
        if (!UsePrograms(folder + pair.Vertex + ".bin", folder + pair.Pixel + ".bin"))
            continue;
        const TTestVertex v{0, 0, 0};
        EXPECT_EQ(Draw(pair.Format, {v, v, v}, {0, 1, 2}), D3D_OK) << name << " (format " << pair.Format << ")";
    }
}

// "CP_XYZ": a rectangle at height 300 over x 0..1024, z 0..768 seen from
// above covers the target (reaching past its edges, so that no pixel centre
// lies on an edge); the view of "WORLD" and "Inv_Camera" cancel out. Each pixel holds
// the world position of its centre (pixel centres as Direct3D 9 places
// them) divided by 1024, which reads back as word x 1024 / 65535.
TEST_F(SceneShadersTest, PickedWorldPositionDecodesBack)
{
    IDirect3DSurface9* target = Target(D3DFMT_A16B16G16R16);
    ASSERT_TRUE(UsePrograms(std::string(Landscape) + "Picking_VS.bin", std::string(Landscape) + "Picking_XYZ_PS.bin"));
    const float worldWidth = 1024, worldDepth = 768, height = 300;
    SetVertexRows(0, GroundProjection(worldWidth, worldDepth));
    SetVertexRows(4, Translation(-512, -40, -300));
    SetVertexRows(11, Translation(512, 40, 300));
    ASSERT_EQ(DrawRectangle(3, -100, -100, worldWidth + 100, worldDepth + 100, height), D3D_OK);

    const std::vector<uint16_t> words = Words(target);
    auto decode = [](uint16_t word) { return word * 1024.0 / 65535.0; };
    const double unit = 1024.0 / 65535.0;
    for (UINT row = 0; row < Height; row += 7)
        for (UINT column = 0; column < Width; column += 5) {
            const uint16_t* pixel = &words[(row * Width + column) * 4];
            const double x = column * worldWidth / Width, z = row * worldDepth / Height;
            EXPECT_NEAR(decode(pixel[0]), x, unit) << column << ", " << row;
            EXPECT_NEAR(decode(pixel[1]), height, unit) << column << ", " << row;
            EXPECT_NEAR(decode(pixel[2]), z, unit) << column << ", " << row;
            EXPECT_EQ(pixel[3], 65535) << column << ", " << row;
        }
}

// "_CpIndex" into R5G6B5 targets (map "CP_INDEX" and "MAP_INDEX", arena
// "CP_INDEX"): every pick number the scenes give reads back as itself.
TEST_F(SceneShadersTest, PickNumbersReadBackExactly)
{
    IDirect3DSurface9* target = Target(D3DFMT_R5G6B5);
    const uint32_t numbers[] = {1, 2999, 3001, 6000 + 37, 16384 + 412, 0xF800, 0x07E0, 0x001F, 0xFFFF};
    struct TCase {
        const char *Folder, *Vertex, *Pixel;
        int32_t Format;
    } cases[] = {
        {Landscape, "Picking_VS", "Picking_Index_PS", 3},
        {Landscape, "Picking_Army_VS", "Picking_Index_PS", 5},
        {Arenas, "Picking_Skinned_VS", "Picking_Index_Alpha_PS", 5},
    };
    // Skinned meshes stand on bone 0, left as it is.
    const float joint[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    Device->SetVertexShaderConstantF(32, joint, 3);
    SetVertexRows(0, GroundProjection(Width, Height));
    for (const TCase& c : cases) {
        const std::string folder = c.Folder;
        ASSERT_TRUE(UsePrograms(folder + c.Vertex + ".bin", folder + c.Pixel + ".bin"));
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        // Without a texture the alpha of stage 0 reads 1: nothing is cut.
        for (size_t i = 0; i < std::size(numbers); i++) {
            T3D_Color colour{};
            ColorFromRGB565(numbers[i], colour);
            const float constant[4] = {colour.r, colour.g, colour.b, 0};
            Device->SetPixelShaderConstantF(1, constant, 1);
            const float x = static_cast<float>(i % 8) * 8, z = static_cast<float>(i / 8) * 8;
            ASSERT_EQ(DrawRectangle(c.Format, x, z, x + 8, z + 8, 0), D3D_OK);
        }
        const std::vector<uint16_t> words = Words(target);
        for (size_t i = 0; i < std::size(numbers); i++) {
            const size_t column = (i % 8) * 8 + 4, row = (i / 8) * 8 + 4;
            EXPECT_EQ(words[row * Width + column], numbers[i]) << folder + c.Vertex << " + " << c.Pixel;
        }
    }
}

// Skinned programs with an identity palette give what their unskinned
// counterparts give: each vertex spreads its weight over bones 3, 17 and 69
// (the last of the 70 "Joint" registers), whose skin matrices are the
// identity while every other bone's is zero. The weight bytes add up to 256,
// as rounding makes them for two halves: they count as shares of their sum.
TEST_F(SceneShadersTest, IdentityPaletteLeavesSkinnedPositionsUnchanged)
{
    struct TCase {
        const char *Skinned, *Plain, *Pixel;
        D3DFORMAT Format;
    } cases[] = {
        // "CP_XYZ" and "CP_INDEX" (the arena's "Picking_Skinned_VS").
        {"Picking_Army_VS", "Picking_VS", "Picking_XYZ_PS", D3DFMT_A16B16G16R16},
        // "1DEPTH" (the arena's "Depth_Skinned_VS").
        {"Shadow_Army_VS", "Shadow_VS", "Shadow_Land_PS", D3DFMT_R32F},
    };
    std::vector<float> palette(70 * 12, 0.0f);
    for (size_t bone : {3, 17, 69})
        for (size_t row = 0; row < 3; row++)
            palette[bone * 12 + row * 5] = 1;
    Device->SetVertexShaderConstantF(32, palette.data(), 70 * 3);
    SetVertexRows(0, GroundProjection(1024, 768));
    SetVertexRows(4, Translation(-512, -40, -300));
    SetVertexRows(11, Translation(512, 40, 300));
    SetVertexRows(16, Translation(7, 0, 3));
    const float lightPlane[4] = {0.6f, 0, 0.8f, 1000};
    Device->SetVertexShaderConstantF(28, lightPlane, 1);
    TTestVertex skinned{};
    const uint8_t bones[4] = {3, 17, 69, 0}, weights[4] = {128, 64, 64, 0};
    std::memcpy(skinned.Bones, bones, 4);
    std::memcpy(skinned.Weights, weights, 4);

    for (const TCase& c : cases) {
        const std::string folder = Landscape;
        std::vector<uint8_t> images[2];
        for (int skin = 0; skin < 2; skin++) {
            IDirect3DSurface9* target = Target(c.Format);
            ASSERT_TRUE(UsePrograms(folder + (skin ? c.Skinned : c.Plain) + ".bin", folder + c.Pixel + ".bin"));
            ASSERT_EQ(DrawRectangle(skin ? 5 : 3, -100, -100, 1124, 868, 300, skinned), D3D_OK);
            images[skin] = ReadBack(target);
        }
        ASSERT_EQ(images[0].size(), images[1].size());
        for (size_t at = 0; at < images[0].size(); at += 4) {
            if (c.Format == D3DFMT_R32F) {
                float plain = 0, skin = 0;
                std::memcpy(&plain, &images[0][at], 4);
                std::memcpy(&skin, &images[1][at], 4);
                ASSERT_GT(plain, 0.0f) << c.Plain << " at byte " << at;
                ASSERT_NEAR(skin, plain, 1e-3f) << c.Skinned << " at byte " << at;
            } else {
                for (size_t word = 0; word < 2; word++) {
                    const int plain = images[0][at + 2 * word] | images[0][at + 2 * word + 1] << 8;
                    const int skin = images[1][at + 2 * word] | images[1][at + 2 * word + 1] << 8;
                    ASSERT_NEAR(skin, plain, 1) << c.Skinned << " at byte " << at;
                }
            }
        }
    }
}

// Pixel constants under which the map's lit programs show the colour of
// their surface as it is: no sun, a white shaded side at full ambient, no
// sky term, gamma 1, no tint and no fog.
void SetPlainMapLight(IDirect3DDevice9* device)
{
    const float constants[21][4] = {
        {1, 1, 0, 1},    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, // "k_AGSO", -, "k_Time", "k_SunPower"
        {1, 50, 100, 0}, {1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, // "k_FogInfo", "color_Fog", light, shadow
        {0, 0, 0, 0},    {1, 1, 0, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, // "k_NormalGloss", "ks_AGSO", -, -
        {0, 0, 0, 0},    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, // "Cascad1_XY", ...
        {0, 0, 0, 0},    {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 0}, // ..., "clr_Fog_str"
        {1, 1, 1, 0},                                              // "clr_All_str"
    };
    device->SetPixelShaderConstantF(0, &constants[0][0], 21);
}

// Land chunks: the four slots of a triangle's set (format 4: slots 1 and 2 in
// BINORMAL, 3 and 4 in TEXCOORD0) from the atlas, blended by the weight bytes.
TEST_F(SceneShadersTest, LandBlendsItsFourSlotsByWeight)
{
    Target(D3DFMT_A8R8G8B8);
    // A 2 x 2 atlas, one colour a tile (0xAARRGGBB), sampled at the tiles' centres.
    const uint32_t tiles[4] = {0xFFC03020u, 0xFF20C040u, 0xFF3050E0u, 0xFFE0E020u};
    IDirect3DTexture9* atlas = MakeTexture(2, 2, D3DFMT_A8R8G8B8, tiles, 4);
    Made.push_back(atlas);
    Device->SetTexture(0, atlas);
    ASSERT_TRUE(UsePrograms(std::string(Landscape) + "Land_VS.bin", std::string(Landscape) + "Land_PS.bin"));
    SetVertexRows(0, GroundProjection(Width, Height));
    SetVertexRows(4, Translation(0, 0, 0));
    SetPlainMapLight(Device);

    struct TCase {
        uint8_t Weights[4];
    } cases[] = {{{255, 0, 0, 0}}, {{0, 255, 0, 0}},   {{0, 0, 255, 0}},
                 {{0, 0, 0, 255}}, {{102, 0, 153, 0}}, {{0, 51, 102, 102}}};
    for (const TCase& c : cases) {
        TTestVertex vertex{};
        vertex.U = 0.25f, vertex.V = 0.25f;
        const float slots[6] = {0.75f, 0.25f, 0.25f, 0.75f, 0.75f, 0.75f};
        std::memcpy(vertex.Slots, slots, sizeof(slots));
        std::memcpy(vertex.Weights, c.Weights, 4);
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        ASSERT_EQ(DrawRectangle(4, -8, -8, Width + 8, Height + 8, 0, vertex), D3D_OK);
        uint32_t expected = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            float channel = 0;
            for (size_t k = 0; k < 4; k++)
                channel += c.Weights[k] / 255.0f * ((tiles[k] >> shift) & 255);
            expected |= static_cast<uint32_t>(std::lround(channel)) << shift;
        }
        const uint32_t got = ReadTarget()[20 * Width + 30];
        EXPECT_TRUE(Near(got, expected, 1)) << std::hex << got << " for " << expected;
    }
    Device->SetTexture(0, nullptr);
}

// The sun's depth map on the map: a caster nearer the light than the point
// (by more than the small allowance) shades it, an empty texel (0) or a
// caster behind it does not; then the fog takes half the colour at depth 1.
TEST_F(SceneShadersTest, MapSunShadowsAndFog)
{
    Target(D3DFMT_A8R8G8B8);
    const uint32_t white = 0xFFFFFFFFu;
    IDirect3DTexture9* colour = MakeTexture(1, 1, D3DFMT_A8R8G8B8, &white, 4);
    // Distances from the light plane kept by "1DEPTH"; the point lies at 100.
    const float kept[4] = {50, 0, 150, 99};
    IDirect3DTexture9* depthMap = MakeTexture(4, 1, D3DFMT_R32F, kept, 4);
    Made.push_back(colour);
    Made.push_back(depthMap);
    Device->SetTexture(0, colour);
    Device->SetTexture(3, depthMap);
    ASSERT_TRUE(UsePrograms(std::string(Landscape) + "Object_VS.bin", std::string(Landscape) + "Object_PS.bin"));
    SetVertexRows(0, GroundProjection(Width, Height));
    SetVertexRows(4, Translation(0, 0, 0));
    // The eye ("_vView") and the sun ("LightO") high above the middle.
    const float eye[4] = {Width / 2.0f, 100, Height / 2.0f, 0}, sunAbove[4] = {Width / 2.0f, 1.0e6f, Height / 2.0f, 1};
    const float lightPlane[4] = {0, 0, 0, 100};
    Device->SetVertexShaderConstantF(8, eye, 1);
    Device->SetVertexShaderConstantF(10, sunAbove, 1);
    Device->SetVertexShaderConstantF(28, lightPlane, 1);
    // "Shadow": the view's x across the depth map, z down it.
    SetVertexRows(16, {{1.0f / Width, 0, 0, 0, 0, 0, 1.0f / Height, 0, 0, 0, 0, 0, 0, 0, 0, 1}});
    SetPlainMapLight(Device);
    const float sun[4] = {10, 0, 0, 0}, noAmbient[4] = {0, 1, 0, 1};
    Device->SetPixelShaderConstantF(3, sun, 1);
    Device->SetPixelShaderConstantF(9, noAmbient, 1);

    const bool lit[4] = {false, true, true, false};
    for (bool fog : {false, true}) {
        const float fogInfo[4] = {0.5f, 0, 1, fog ? 1.0f : 0.0f}, fogColour[4] = {0, 0, 1, 1};
        Device->SetPixelShaderConstantF(4, fogInfo, 1);
        Device->SetPixelShaderConstantF(5, fogColour, 1);
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        ASSERT_EQ(DrawRectangle(3, -8, -8, Width + 8, Height + 8, 0), D3D_OK);
        const std::vector<uint32_t> pixels = ReadTarget();
        for (size_t texel = 0; texel < 4; texel++) {
            uint32_t expected = lit[texel] ? 0xFFFFFFu : 0;
            if (fog)
                expected = lit[texel] ? 0x8080FFu : 0x000080u;
            const uint32_t got = Rgb(pixels[24 * Width + texel * 16 + 8]);
            EXPECT_TRUE(Near(got, expected, 2)) << std::hex << got << " at texel " << texel << (fog ? " with fog" : "");
        }
    }
    Device->SetTexture(0, nullptr);
    Device->SetTexture(3, nullptr);
}

// The arena's three cascades: the eye depth (1 here) against the splits of
// "d_Cascades" picks the depth map (s3, s4, s5) that is read; past the last
// split nothing is shaded.
TEST_F(SceneShadersTest, ArenaReadsTheCascadeOfTheEyeDepth)
{
    Target(D3DFMT_A8R8G8B8);
    const uint32_t white = 0xFFFFFFFFu;
    const float empty = 0, caster = 50;
    IDirect3DTexture9* colour = MakeTexture(1, 1, D3DFMT_A8R8G8B8, &white, 4);
    IDirect3DTexture9* emptyMap = MakeTexture(1, 1, D3DFMT_R32F, &empty, 4);
    IDirect3DTexture9* casterMap = MakeTexture(1, 1, D3DFMT_R32F, &caster, 4);
    Made.insert(Made.end(), {colour, emptyMap, casterMap});
    Device->SetTexture(0, colour);
    ASSERT_TRUE(UsePrograms(std::string(Arenas) + "Normaled_VS.bin", std::string(Arenas) + "Normaled_PS.bin"));
    SetVertexRows(0, GroundProjection(Width, Height));
    SetVertexRows(4, Translation(0, 0, 0));
    const float sunAbove[4] = {0, 1.0e6f, 0, 1}, lightPlane[4] = {0, 0, 0, 100};
    Device->SetVertexShaderConstantF(10, sunAbove, 1);
    Device->SetVertexShaderConstantF(28, lightPlane, 1);
    // Every cascade's "Shadow" matrix points at the middle of its map.
    for (UINT reg : {16u, 20u, 24u})
        SetVertexRows(reg, {{0, 0, 0, 0.5f, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0, 0, 0, 1}});
    SetPlainMapLight(Device);
    const float sun[4] = {2, 0, 0, 0}, noAmbient[4] = {0, 1, 0, 1}, exposure[4] = {4, 0, 0, 0};
    Device->SetPixelShaderConstantF(3, sun, 1);
    Device->SetPixelShaderConstantF(9, noAmbient, 1);
    Device->SetPixelShaderConstantF(26, exposure, 1);

    struct TCase {
        float Splits[4];
        int Caster; // the cascade whose map holds the caster
        bool Lit;
    } cases[] = {
        {{2, 3, 4, 130}, 1, false},          {{2, 3, 4, 130}, 2, true},        {{0.5f, 2, 4, 130}, 2, false},
        {{0.5f, 2, 4, 130}, 1, true},        {{0.5f, 0.7f, 4, 130}, 3, false}, {{0.5f, 0.7f, 4, 130}, 2, true},
        {{0.2f, 0.4f, 0.6f, 0.8f}, 3, true},
    };
    for (const TCase& c : cases) {
        for (int cascade = 1; cascade <= 3; cascade++)
            Device->SetTexture(static_cast<DWORD>(2 + cascade), cascade == c.Caster ? casterMap : emptyMap);
        Device->SetPixelShaderConstantF(11, c.Splits, 1);
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        // The ground below the arena's eye, which looks from (0, 0, -5).
        ASSERT_EQ(DrawRectangle(3, -8, -8, Width + 8, Height + 8, -1), D3D_OK);
        const uint32_t got = Rgb(ReadTarget()[24 * Width + 32]);
        EXPECT_TRUE(Near(got, c.Lit ? 0xFFFFFFu : 0, 2))
            << std::hex << got << " with the caster in cascade " << c.Caster << ", first split " << c.Splits[0];
    }
    for (DWORD stage : {0u, 3u, 4u, 5u})
        Device->SetTexture(stage, nullptr);
}

// "MAP_INDEX": the map seen from above at two texels a map unit through the
// pass's own projection (S the target's side, N the map's last cell, z = N on
// the top edge, a quarter texel off the grid). A footprint from x 10 to 12,
// z 20 to 22 covers the texels whose centres, where Direct3D 9 puts them,
// lie inside it: columns and rows 21 to 24, not one texel aside, since the
// path costs read these texels.
TEST_F(SceneShadersTest, MapIndexFootprintCoversItsTexels)
{
    constexpr float S = 64, N = 32;
    constexpr uint16_t Number = 1234;
    IDirect3DSurface9* target = Target(D3DFMT_R5G6B5, 64, 64);
    ASSERT_TRUE(
        UsePrograms(std::string(Landscape) + "Picking_VS.bin", std::string(Landscape) + "Picking_Index_PS.bin"));
    SetVertexRows(0, {{4 / S, 0, 0, 1 / (2 * S) - 1, 0, 0, 4 / S, 2 * (S - 2 * N) / S - 1 - 1 / (2 * S), 0, 0, 0, 0.5f,
                       0, 0, 0, 1}});
    T3D_Color colour{};
    ColorFromRGB565(Number, colour);
    const float constant[4] = {colour.r, colour.g, colour.b, 0};
    Device->SetPixelShaderConstantF(1, constant, 1);
    ASSERT_EQ(DrawRectangle(3, 10, 20, 12, 22, 0), D3D_OK);

    const std::vector<uint16_t> words = Words(target);
    for (size_t row = 18; row <= 27; row++)
        for (size_t column = 18; column <= 27; column++) {
            const bool inside = row >= 21 && row <= 24 && column >= 21 && column <= 24;
            EXPECT_EQ(words[row * 64 + column], inside ? Number : 0) << "column " << column << ", row " << row;
        }
}

} // namespace

// d3d9_probe: draws one frame through the renderer's device and writes it as
// a TGA, so that a person can see the layer work on this machine.
//   d3d9_probe [output.tga]
// The frame (320x240): a dark blue clear, a textured quad turned by a vertex
// shader through the constant registers, and a pre-transformed sprite with
// a vertex colour, half transparent, in the lower right.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "render/QX9_Render.h"
#include "tools/TextureFiles.h"
#include "tools/ToolArgs.h"

namespace {

const char* QuadVS = R"(//GLSL-VS
void vs_main() {
    oPos = mulReg(0, vec4(POSITION.xyz, 1.0));
    v_T0 = TEXCOORD0;
}
)";
const char* QuadPS = R"(//GLSL-PS
void ps_main() {
    oC0 = texture(s0, v_T0.xy) * PC[0];
}
)";
const char* SpritePS = R"(//GLSL-PS
void ps_main() {
    oC0 = texture(s0, v_T0.xy) * v_C0;
}
)";

struct TQuadVertex {
    float X, Y, Z, U, V;
};
const D3DVERTEXELEMENT9 QuadElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END,
};

// The frame as a 32-bit TGA, top row first, fully opaque.
std::vector<uint8_t> FrameTga(int width, int height, const std::vector<uint8_t>& bgra, int pitch)
{
    TextureFiles::TTgaImage image;
    image.Width = static_cast<uint16_t>(width);
    image.Height = static_cast<uint16_t>(height);
    image.Descriptor = 0x28; // top row first, 8 alpha bits
    for (int y = 0; y < height; y++) {
        const size_t row = image.Pixels.size();
        image.Pixels.insert(image.Pixels.end(), bgra.begin() + y * pitch, bgra.begin() + y * pitch + width * 4);
        for (int x = 0; x < width; x++)
            image.Pixels[row + x * 4 + 3] = 255;
    }
    return TextureFiles::MakeTGA(image);
}

template <class T> void Check(HRESULT result, const char* what, T* object = nullptr)
{
    (void)object;
    if (result != D3D_OK && result != D3DOK_NOAUTOGEN) {
        std::fprintf(stderr, "d3d9_probe: %s failed: %s\n", what, D3DResultNames(result));
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::string output = argc > 1 ? argv[1] : "d3d9_probe.tga";
    const int width = 320, height = 240;
    TWindowCreateParams params;
    params.ClassName = "D3D9Probe";
    params.Title = "d3d9_probe";
    params.Width = width;
    params.Height = height;
    HWND window = Window_Create(params);
    if (window == nullptr) {
        std::fprintf(stderr, "d3d9_probe: no window (is there a display? try SDL_VIDEODRIVER=offscreen)\n");
        return 1;
    }
    auto* render = new T3D_Render();
    render->CreateDevice(window, width, height, 0, D3DPRESENT_INTERVAL_ONE, 0, D3DFMT_D24S8);
    IDirect3DDevice9* device = render->Device;
    std::printf("display %ux%u, vertex shader level %d, pixel shader level %d, anisotropy %d, DXT %d%d%d\n",
                render->DisplayMode.Width, render->DisplayMode.Height, render->VertexShaderLevel,
                render->PixelShaderLevel, render->MaxAnisotropy, render->DxtSupport[0], render->DxtSupport[1],
                render->DxtSupport[2]);

    // An 8x8 checker of four colours.
    IDirect3DTexture9* texture = nullptr;
    Check<void>(
        device->CreateTexture(8, 8, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
        "CreateTexture");
    D3DLOCKED_RECT locked;
    Check<void>(texture->LockRect(0, &locked, nullptr, 0), "LockRect");
    const uint32_t colours[4] = {0xFFE03020, 0xFFF0E0A0, 0xFF20A040, 0xFF3060E0};
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch)[x] =
                colours[(x / 2 + y / 2) % 2 + (y >= 4 ? 2 : 0)];
    Check<void>(texture->UnlockRect(0), "UnlockRect");

    IDirect3DVertexShader9* quadVS = nullptr;
    IDirect3DPixelShader9* quadPS = nullptr;
    IDirect3DPixelShader9* spritePS = nullptr;
    Check<void>(device->CreateVertexShader(QuadVS, std::strlen(QuadVS), &quadVS), "CreateVertexShader");
    Check<void>(device->CreatePixelShader(QuadPS, std::strlen(QuadPS), &quadPS), "CreatePixelShader");
    Check<void>(device->CreatePixelShader(SpritePS, std::strlen(SpritePS), &spritePS), "CreatePixelShader");
    IDirect3DVertexDeclaration9* quadDecl = nullptr;
    Check<void>(device->CreateVertexDeclaration(QuadElements, &quadDecl), "CreateVertexDeclaration");

    const TQuadVertex quad[4] = {
        {-0.6f, 0.6f, 0.5f, 0, 0}, {0.6f, 0.6f, 0.5f, 1, 0}, {0.6f, -0.6f, 0.5f, 1, 1}, {-0.6f, -0.6f, 0.5f, 0, 1}};
    const uint16_t quadIndices[6] = {0, 1, 2, 0, 2, 3};
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    void* data = nullptr;
    Check<void>(device->CreateVertexBuffer(sizeof(quad), 0, 0, D3DPOOL_DEFAULT, &vb, nullptr), "CreateVertexBuffer");
    Check<void>(vb->Lock(0, 0, &data, 0), "VertexBuffer.Lock");
    std::memcpy(data, quad, sizeof(quad));
    vb->Unlock();
    Check<void>(device->CreateIndexBuffer(sizeof(quadIndices), 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib, nullptr),
                "CreateIndexBuffer");
    Check<void>(ib->Lock(0, 0, &data, 0), "IndexBuffer.Lock");
    std::memcpy(data, quadIndices, sizeof(quadIndices));
    ib->Unlock();

    Check<void>(device->BeginScene(), "BeginScene");
    Check<void>(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102040, 1.0f, 0), "Clear");
    // Rotation by 20 degrees about z, aspect-corrected, stored row by row.
    float angle = 20.0f * 3.14159265f / 180.0f, aspect = static_cast<float>(height) / width;
    float matrix[16] = {std::cos(angle) * aspect,
                        -std::sin(angle) * aspect,
                        0,
                        0,
                        std::sin(angle),
                        std::cos(angle),
                        0,
                        0,
                        0,
                        0,
                        1,
                        0,
                        0,
                        0,
                        0,
                        1};
    const float tint[4] = {1, 1, 1, 1};
    device->SetVertexShaderConstantF(0, matrix, 4);
    device->SetPixelShaderConstantF(0, tint, 1);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetVertexDeclaration(quadDecl);
    device->SetVertexShader(quadVS);
    device->SetPixelShader(quadPS);
    device->SetTexture(0, texture);
    device->SetStreamSource(0, vb, 0, sizeof(TQuadVertex));
    device->SetIndices(ib);
    Check<void>(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), "DrawIndexedPrimitive");

    // A sprite as the GUI draws them: pre-transformed, half-pixel shifted,
    // clockwise culling, alpha blended.
    struct TSpriteVertex {
        float X, Y, Z, Rhw, U, V;
        D3DCOLOR Color;
    };
    const float left = 200, top = 150, right = 300, bottom = 220;
    const TSpriteVertex sprite[4] = {{left - 0.5f, top - 0.5f, 0, 1, 0, 0, 0x80FFFFFF},
                                     {right - 0.5f, top - 0.5f, 0, 1, 1, 0, 0x80FFFFFF},
                                     {right - 0.5f, bottom - 0.5f, 0, 1, 1, 1, 0x80FF8080},
                                     {left - 0.5f, bottom - 0.5f, 0, 1, 0, 1, 0x80FF8080}};
    const uint16_t spriteIndices[6] = {0, 2, 1, 0, 3, 2};
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetVertexDeclaration(render->VertexDecls[MESH_SPRITE - 1]);
    device->SetPixelShader(spritePS);
    Check<void>(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, spriteIndices, D3DFMT_INDEX16, sprite,
                                               sizeof(TSpriteVertex)),
                "DrawIndexedPrimitiveUP");
    Check<void>(device->EndScene(), "EndScene");
    Check<void>(device->Present(nullptr, nullptr, nullptr, nullptr), "Present");

    IDirect3DSurface9* copy = nullptr;
    D3DSURFACE_DESC desc;
    render->BackBuffer->GetDesc(&desc);
    Check<void>(
        device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr),
        "CreateOffscreenPlainSurface");
    Check<void>(device->GetRenderTargetData(render->BackBuffer, copy), "GetRenderTargetData");
    Check<void>(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), "LockRect");
    std::vector<uint8_t> pixels(static_cast<size_t>(locked.Pitch) * height);
    std::memcpy(pixels.data(), locked.pBits, pixels.size());
    copy->UnlockRect();
    const std::vector<uint8_t> file = FrameTga(width, height, pixels, locked.Pitch);
    if (!ToolArgs::WriteOutput("d3d9_probe", output, file.data(), file.size()))
        return 1;
    std::printf("wrote %s\n", output.c_str());
    return 0;
}

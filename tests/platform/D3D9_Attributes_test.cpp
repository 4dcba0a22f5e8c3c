// Vertex element types reach the shaders as Direct3D 9 expands them:
// colours swizzled from BGRA, normalised bytes and shorts scaled, plain
// bytes as 0..255, missing components (0, 0, 0, 1).
#include "tests/platform/D3D9_TestDevice.h"

namespace {

} // namespace

TEST_F(D3D9Test, VertexElementTypesArriveAsDirect3DExpandsThem)
{
    struct TCase {
        const char* Name;
        uint8_t Type;
        uint8_t Usage;
        std::vector<uint8_t> Bytes; // the element's bytes at offset 12
        const char* Expression;     // what the vertex shader writes to v_C0
        uint32_t Expected;          // 0xAARRGGBB read back (A ignored)
    };
    const TCase cases[] = {
        {"D3DCOLOR is BGRA in memory",
         D3DDECLTYPE_D3DCOLOR,
         D3DDECLUSAGE_COLOR,
         {0x30, 0x20, 0x10, 0x80},
         "COLOR0",
         0x102030},
        {"UBYTE4N", D3DDECLTYPE_UBYTE4N, D3DDECLUSAGE_NORMAL, {0, 64, 128, 255}, "NORMAL", 0x004080},
        {"UBYTE4 is 0..255",
         D3DDECLTYPE_UBYTE4,
         D3DDECLUSAGE_BLENDINDICES,
         {51, 102, 204, 0},
         "vec4(BLENDINDICES.xyz / 255.0, 1.0)",
         0x3366CC},
        {"SHORT2N and defaults",
         D3DDECLTYPE_SHORT2N,
         D3DDECLUSAGE_TEXCOORD,
         {0x00, 0x40, 0x01, 0x80},
         "vec4(TEXCOORD0.x, -TEXCOORD0.y, TEXCOORD0.z, TEXCOORD0.w)",
         0x80FF00},
        {"SHORT4N",
         D3DDECLTYPE_SHORT4N,
         D3DDECLUSAGE_BINORMAL,
         {0xFF, 0x7F, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00},
         "vec4(BINORMAL.xyz, 1.0)",
         0xFF0040},
        {"FLOAT2 padded",
         D3DDECLTYPE_FLOAT2,
         D3DDECLUSAGE_TEXCOORD,
         {0, 0, 0, 0x3F, 0, 0, 0x80, 0x3E},
         "vec4(TEXCOORD0.xy, TEXCOORD0.zw)",
         0x804000},
    };
    IDirect3DPixelShader9* ps = ColorShader;
    Device->SetPixelShader(ps);
    for (const TCase& c : cases) {
        const D3DVERTEXELEMENT9 elements[] = {
            {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, {0, 12, c.Type, 0, c.Usage, 0}, D3DDECL_END};
        IDirect3DVertexDeclaration9* decl = nullptr;
        ASSERT_EQ(Device->CreateVertexDeclaration(elements, &decl), D3D_OK) << c.Name;
        std::string text =
            std::string("//GLSL-VS\nvoid vs_main() { oPos = vec4(POSITION.xyz, 1.0); v_C0 = ") + c.Expression + "; }\n";
        IDirect3DVertexShader9* vs = VertexShader(text.c_str());
        ASSERT_NE(vs, nullptr) << c.Name;
        const UINT stride = 12 + static_cast<UINT>(c.Bytes.size());
        const float corners[4][3] = {{-1, 1, 0}, {1, 1, 0}, {1, -1, 0}, {-1, -1, 0}};
        std::vector<uint8_t> vertices(stride * 4);
        for (int i = 0; i < 4; i++) {
            std::memcpy(&vertices[i * stride], corners[i], 12);
            std::memcpy(&vertices[i * stride + 12], c.Bytes.data(), c.Bytes.size());
        }
        const uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
        Device->SetVertexDeclaration(decl);
        Device->SetVertexShader(vs);
        Device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        ASSERT_EQ(Device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, indices, D3DFMT_INDEX16, vertices.data(),
                                                 stride),
                  D3D_OK);
        uint32_t got = Rgb(ReadTarget()[20 * Width + 20]);
        EXPECT_TRUE(Near(got, c.Expected, 1)) << c.Name << std::hex << ": got " << got << " want " << c.Expected;
        Device->SetVertexShader(nullptr);
        vs->Release();
        decl->Release();
    }
}

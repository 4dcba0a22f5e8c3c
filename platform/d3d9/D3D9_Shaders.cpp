// Shaders: the GLSL a shader file holds, wrapped so that it reads Direct3D's
// registers and writes Direct3D's outputs.
//
// A vertex file starts with "//GLSL-VS" and defines `void vs_main()`; it
// reads the vertex elements as POSITION, NORMAL, TANGENT, BINORMAL,
// BLENDINDICES, BLENDWEIGHT, COLOR0, COLOR1, TEXCOORD0..7 (vec4, missing
// components 0, 0, 0, 1 as Direct3D expands them), the constant registers as
// VC[0..255], and writes oPos and the varyings v_T0..v_T7, v_C0, v_C1.
// `mulReg(r, p)` applies the matrix stored row by row in VC[r..r+3] to p.
//
// A pixel file starts with "//GLSL-PS" and defines `void ps_main()`; it
// reads the varyings, PC[0..31] and the samplers s0..s15 and writes oC0. The
// epilogue applies the alpha test (ALPHATESTENABLE, ALPHAFUNC, ALPHAREF) to
// oC0's alpha as 8-bit fixed point.
//
// Pre-transformed vertices (a declaration with POSITIONT) skip the vertex
// file: the layer's own stage maps pixel (x, y) of the target into clip
// space, passes TEXCOORD0 to v_T0 and COLOR0 to v_C0.
//
// Every vertex stage ends in the epilogue, which moves the position half a
// pixel so that pixel centres fall where Direct3D 9 puts them; the programs
// themselves write plain clip-space positions.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "platform/d3d9/D3D9_Internal.h"

namespace {

const char* VertexPrelude = R"(#version 450 core
layout(std140, binding = 0) uniform D3DVertexConstants { vec4 VC[256]; vec4 d3d_TargetSize; };
layout(location = 0) in vec4 POSITION;
layout(location = 1) in vec4 NORMAL;
layout(location = 2) in vec4 TANGENT;
layout(location = 3) in vec4 BINORMAL;
layout(location = 4) in vec4 BLENDINDICES;
layout(location = 5) in vec4 BLENDWEIGHT;
layout(location = 6) in vec4 COLOR0;
layout(location = 7) in vec4 COLOR1;
layout(location = 8) in vec4 TEXCOORD0;
layout(location = 9) in vec4 TEXCOORD1;
layout(location = 10) in vec4 TEXCOORD2;
layout(location = 11) in vec4 TEXCOORD3;
layout(location = 12) in vec4 TEXCOORD4;
layout(location = 13) in vec4 TEXCOORD5;
layout(location = 14) in vec4 TEXCOORD6;
layout(location = 15) in vec4 TEXCOORD7;
out vec4 v_T0; out vec4 v_T1; out vec4 v_T2; out vec4 v_T3;
out vec4 v_T4; out vec4 v_T5; out vec4 v_T6; out vec4 v_T7;
out vec4 v_C0; out vec4 v_C1;
vec4 oPos;
vec4 mulReg(int r, vec4 p) { return vec4(dot(VC[r], p), dot(VC[r + 1], p), dot(VC[r + 2], p), dot(VC[r + 3], p)); }
vec3 mulReg3(int r, vec4 p) { return vec3(dot(VC[r], p), dot(VC[r + 1], p), dot(VC[r + 2], p)); }
)";

const char* VertexEpilogue = R"(
void main() {
    oPos = vec4(0.0, 0.0, 0.0, 1.0);
    v_T0 = vec4(0.0); v_T1 = vec4(0.0); v_T2 = vec4(0.0); v_T3 = vec4(0.0);
    v_T4 = vec4(0.0); v_T5 = vec4(0.0); v_T6 = vec4(0.0); v_T7 = vec4(0.0);
    v_C0 = vec4(0.0); v_C1 = vec4(0.0);
    vs_main();
    // Direct3D 9 puts pixel centres at integer coordinates, GL at + 0.5: every
    // position, transformed or not, is moved half a pixel right and down.
    oPos.xy += vec2(d3d_TargetSize.z, -d3d_TargetSize.w) * oPos.w;
    gl_Position = oPos;
}
)";

const char* PixelPrelude = R"(#version 450 core
layout(std140, binding = 1) uniform D3DPixelConstants { vec4 PC[32]; ivec4 d3d_AlphaTest; };
layout(binding = 0) uniform sampler2D s0;
layout(binding = 1) uniform sampler2D s1;
layout(binding = 2) uniform sampler2D s2;
layout(binding = 3) uniform sampler2D s3;
layout(binding = 4) uniform sampler2D s4;
layout(binding = 5) uniform sampler2D s5;
layout(binding = 6) uniform sampler2D s6;
layout(binding = 7) uniform sampler2D s7;
layout(binding = 8) uniform sampler2D s8;
layout(binding = 9) uniform sampler2D s9;
layout(binding = 10) uniform sampler2D s10;
layout(binding = 11) uniform sampler2D s11;
layout(binding = 12) uniform sampler2D s12;
layout(binding = 13) uniform sampler2D s13;
layout(binding = 14) uniform sampler2D s14;
layout(binding = 15) uniform sampler2D s15;
in vec4 v_T0; in vec4 v_T1; in vec4 v_T2; in vec4 v_T3;
in vec4 v_T4; in vec4 v_T5; in vec4 v_T6; in vec4 v_T7;
in vec4 v_C0; in vec4 v_C1;
vec4 oC0;
layout(location = 0) out vec4 d3d_Color;
)";

// d3d_AlphaTest: x enabled, y the comparison (D3DCMP_*), z the reference.
// Used only while ALPHATESTENABLE is set: the software rasteriser runs every
// branch of a shader for every pixel, so a draw without the test takes the
// epilogue below, which does nothing but pass oC0 on.
const char* PixelEpilogue = R"(
void main() {
    oC0 = vec4(0.0);
    ps_main();
    if (d3d_AlphaTest.x != 0) {
        int a = int(round(clamp(oC0.a, 0.0, 1.0) * 255.0));
        int r = d3d_AlphaTest.z;
        bool pass = true;
        switch (d3d_AlphaTest.y) {
        case 1: pass = false; break;
        case 2: pass = a < r; break;
        case 3: pass = a == r; break;
        case 4: pass = a <= r; break;
        case 5: pass = a > r; break;
        case 6: pass = a != r; break;
        case 7: pass = a >= r; break;
        default: pass = true; break;
        }
        if (!pass)
            discard;
    }
    d3d_Color = oC0;
}
)";

const char* PixelEpilogueWithoutAlphaTest = R"(
void main() {
    oC0 = vec4(0.0);
    ps_main();
    d3d_Color = oC0;
}
)";

const char* PreTransformedBody = R"(//GLSL-VS
void vs_main() {
    // Pixel (x, y) of the target; the epilogue moves it to the pixel centre.
    float w = POSITION.w != 0.0 ? 1.0 / POSITION.w : 1.0;
    oPos = vec4((2.0 * POSITION.x * d3d_TargetSize.z - 1.0) * w,
                (1.0 - 2.0 * POSITION.y * d3d_TargetSize.w) * w, POSITION.z * w, w);
    v_T0 = TEXCOORD0;
    v_C0 = COLOR0;
}
)";

bool StartsWith(const char* text, size_t size, const char* prefix)
{
    size_t length = std::strlen(prefix);
    return size >= length && std::memcmp(text, prefix, length) == 0;
}

} // namespace

bool D3D9_BuildShaderSource(bool vertex, const void* code, size_t size, std::string& source, std::string* why,
                            bool alphaTest)
{
    auto refuse = [why](const char* reason) {
        if (why != nullptr)
            *why = reason;
        return false;
    };
    if (code == nullptr || size == 0)
        return refuse("NO SHADER CODE!");
    const char* text = static_cast<const char*>(code);
    if (StartsWith(text, size, "\xEF\xBB\xBF")) {
        text += 3;
        size -= 3;
    }
    if (!StartsWith(text, size, vertex ? "//GLSL-VS" : "//GLSL-PS"))
        return refuse(vertex ? "NO //GLSL-VS MARK!" : "NO //GLSL-PS MARK!");
    std::string body(text, size);
    if (body.find('\0') != std::string::npos)
        return refuse("NOT TEXT!"); // binary shader code is refused
    source = vertex ? VertexPrelude : PixelPrelude;
    source += "#line 1\n";
    source += body;
    source += vertex ? VertexEpilogue : alphaTest ? PixelEpilogue : PixelEpilogueWithoutAlphaTest;
    return true;
}

std::string D3D9_PreTransformedVertexSource()
{
    std::string source;
    D3D9_BuildShaderSource(true, PreTransformedBody, std::strlen(PreTransformedBody), source);
    return source;
}

namespace {
thread_local std::string ShaderRefusal;
} // namespace

void D3D9_SetShaderRefusal(std::string why)
{
    ShaderRefusal = std::move(why);
}

std::string D3D9_ShaderRefusal()
{
    return ShaderRefusal;
}

GLuint D3D9_CompileShader(bool vertex, const std::string& source, std::string& log)
{
    GLuint shader = glCreateShader(vertex ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok)
        return shader;
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string messages(static_cast<size_t>(std::max(length, 1)), '\0');
    glGetShaderInfoLog(shader, static_cast<GLsizei>(messages.size()), nullptr, messages.data());
    messages.resize(std::strlen(messages.c_str()));
    while (!messages.empty() && (messages.back() == '\n' || messages.back() == '\r'))
        messages.pop_back();
    log = messages.empty() ? "DOES NOT COMPILE!" : "DOES NOT COMPILE:\n" + messages;
    glDeleteShader(shader);
    return 0;
}

GLuint D3D9_LinkProgram(GLuint vertexShader, GLuint pixelShader)
{
    GLuint program = glCreateProgram();
    glAttachShader(program, vertexShader);
    glAttachShader(program, pixelShader);
    glLinkProgram(program);
    glDetachShader(program, vertexShader);
    glDetachShader(program, pixelShader);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok)
        return program;
    char log[2048] = {};
    glGetProgramInfoLog(program, sizeof(log) - 1, nullptr, log);
    std::fprintf(stderr, "D3D9: shaders do not link:\n%s\n", log);
    glDeleteProgram(program);
    return 0;
}

// ---------------------------------------------------------------------------

TD3D9Shader::TD3D9Shader(TD3D9Device* device, bool vertex, std::string source, std::string sourceWithoutAlphaTest)
    : Device(device), Vertex(vertex), Source(std::move(source)),
      SourceWithoutAlphaTest(std::move(sourceWithoutAlphaTest)), Serial(D3D9_NewSerial())
{
    Device->ResourceCreated();
}

TD3D9Shader::~TD3D9Shader()
{
    Device->ForgetShaderPrograms(Serial);
    if (Gl != 0)
        Device->DeleteGL(TGLDeleteKind::Shader, Gl);
    if (GlWithoutAlphaTest != 0)
        Device->DeleteGL(TGLDeleteKind::Shader, GlWithoutAlphaTest);
    Device->ResourceDestroyed();
}

ULONG TD3D9Shader::AddRef()
{
    return ++Refs;
}

ULONG TD3D9Shader::Release()
{
    ULONG left = --Refs;
    if (left == 0)
        delete this;
    return left;
}

GLuint TD3D9Shader::EnsureGL(bool quiet)
{
    if (Gl == 0 && !Failed) {
        Gl = D3D9_CompileShader(Vertex, Source, Log);
        Failed = Gl == 0;
        // Compiled at a draw: nobody asked, so say it here, once.
        if (Failed && !quiet)
            std::fprintf(stderr, "D3D9: %s shader refused: %s\n", Vertex ? "vertex" : "pixel", Log.c_str());
    }
    return Gl;
}

GLuint TD3D9Shader::EnsureGLWithoutAlphaTest()
{
    if (Vertex || SourceWithoutAlphaTest.empty())
        return EnsureGL();
    // The same program text as the full source: when that one compiles, this
    // one does.
    if (GlWithoutAlphaTest == 0 && EnsureGL() != 0) {
        std::string log;
        GlWithoutAlphaTest = D3D9_CompileShader(false, SourceWithoutAlphaTest, log);
        if (GlWithoutAlphaTest == 0)
            std::fprintf(stderr, "D3D9: pixel shader refused without the alpha test: %s\n", log.c_str());
    }
    return GlWithoutAlphaTest;
}

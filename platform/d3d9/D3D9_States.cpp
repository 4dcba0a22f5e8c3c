// Render and sampler states: Direct3D's defaults and how each state reaches
// GL. Only what differs from the context's record is sent.
#include <cstring>

#include "platform/d3d9/D3D9_Internal.h"

namespace {

DWORD FloatBits(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

GLenum CompareFunc(DWORD cmp)
{
    switch (cmp) {
    case D3DCMP_NEVER:
        return GL_NEVER;
    case D3DCMP_LESS:
        return GL_LESS;
    case D3DCMP_EQUAL:
        return GL_EQUAL;
    case D3DCMP_LESSEQUAL:
        return GL_LEQUAL;
    case D3DCMP_GREATER:
        return GL_GREATER;
    case D3DCMP_NOTEQUAL:
        return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL:
        return GL_GEQUAL;
    default:
        return GL_ALWAYS;
    }
}

GLenum BlendFactor(DWORD blend)
{
    switch (blend) {
    case D3DBLEND_ZERO:
        return GL_ZERO;
    case D3DBLEND_ONE:
        return GL_ONE;
    case D3DBLEND_SRCCOLOR:
        return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
        return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
        return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
        return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
        return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
        return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
        return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
        return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
        return GL_SRC_ALPHA_SATURATE;
    default:
        return GL_ONE;
    }
}

GLenum BlendOp(DWORD op)
{
    switch (op) {
    case D3DBLENDOP_SUBTRACT:
        return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT:
        return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN:
        return GL_MIN;
    case D3DBLENDOP_MAX:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

GLenum AddressMode(DWORD address)
{
    switch (address) {
    case D3DTADDRESS_MIRROR:
        return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
        return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
        return GL_CLAMP_TO_BORDER;
    default:
        return GL_REPEAT;
    }
}

void Toggle(GLenum capability, bool on)
{
    if (on)
        glEnable(capability);
    else
        glDisable(capability);
}

// True when any of the states differs from the record (or full); the
// record then takes the new values.
bool Changed(TGLContext& context, const DWORD* states, bool full, std::initializer_list<D3DRENDERSTATETYPE> list)
{
    bool changed = full;
    for (D3DRENDERSTATETYPE state : list) {
        if (context.RenderStates[state] != states[state]) {
            changed = true;
            context.RenderStates[state] = states[state];
            ++context.StateChanges;
        }
    }
    return changed;
}

} // namespace

void D3D9_DefaultStates(TD3D9State& state, bool autoDepth)
{
    std::memset(state.RenderStates, 0, sizeof(state.RenderStates));
    DWORD* rs = state.RenderStates;
    rs[D3DRS_ZENABLE] = autoDepth ? TRUE : FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_ALPHATESTENABLE] = FALSE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAREF] = 0;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_ALPHABLENDENABLE] = FALSE;
    rs[D3DRS_POINTSIZE] = FloatBits(1.0f);
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_SCISSORTESTENABLE] = FALSE;
    rs[D3DRS_ADAPTIVETESS_Y] = 0;
    rs[D3DRS_SEPARATEALPHABLENDENABLE] = FALSE;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;
    for (uint32_t stage = 0; stage < D3D9_SAMPLER_COUNT; stage++) {
        DWORD* ss = state.SamplerStates[stage];
        std::memset(ss, 0, sizeof(state.SamplerStates[stage]));
        ss[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        ss[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        ss[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        ss[D3DSAMP_MAXANISOTROPY] = 1;
    }
}

void D3D9_SetupGLContext(TGLContext& context)
{
    // Direct3D's conventions once per context: row 0 at the top, depth 0..1.
    glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glCreateFramebuffers(1, &context.DrawFbo);
    glCreateFramebuffers(1, &context.ReadFbo);
    glCreateVertexArrays(1, &context.Vao);
    glBindVertexArray(context.Vao);
    glCreateBuffers(1, &context.StreamVbo);
    glCreateBuffers(1, &context.StreamIbo);
    const GLbitfield ringFlags = GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
    glCreateBuffers(1, &context.Ring);
    glNamedBufferStorage(context.Ring, static_cast<GLsizeiptr>(TGLContext::RingBytes), nullptr, ringFlags);
    context.RingMap = static_cast<uint8_t*>(
        glMapNamedBufferRange(context.Ring, 0, static_cast<GLsizeiptr>(TGLContext::RingBytes), ringFlags));
    glCreateBuffers(1, &context.VCUbo);
    glNamedBufferData(context.VCUbo, 257 * 16, nullptr, GL_DYNAMIC_DRAW);
    glCreateBuffers(1, &context.PCUbo);
    glNamedBufferData(context.PCUbo, 33 * 16, nullptr, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, context.VCUbo);
    glBindBufferBase(GL_UNIFORM_BUFFER, 1, context.PCUbo);
    glCreateSamplers(D3D9_SAMPLER_COUNT, context.Samplers);
    for (uint32_t stage = 0; stage < D3D9_SAMPLER_COUNT; stage++)
        glBindSampler(stage, context.Samplers[stage]);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, context.DrawFbo);
    context.Initialised = true;
    context.Valid = false;
}

void D3D9_ApplyRenderStates(TGLContext& context, const DWORD* rs, bool full)
{
    if (Changed(context, rs, full, {D3DRS_CULLMODE})) {
        // With the upper-left origin GL judges the winding as seen on the
        // target, as Direct3D does: culling clockwise faces means the
        // counter-clockwise ones are the front.
        DWORD cull = rs[D3DRS_CULLMODE];
        Toggle(GL_CULL_FACE, cull == D3DCULL_CW || cull == D3DCULL_CCW);
        glCullFace(GL_BACK);
        glFrontFace(cull == D3DCULL_CW ? GL_CCW : GL_CW);
    }
    if (Changed(context, rs, full, {D3DRS_FILLMODE})) {
        DWORD fill = rs[D3DRS_FILLMODE];
        glPolygonMode(GL_FRONT_AND_BACK, fill == D3DFILL_POINT       ? GL_POINT
                                         : fill == D3DFILL_WIREFRAME ? GL_LINE
                                                                     : GL_FILL);
    }
    if (Changed(context, rs, full, {D3DRS_ZENABLE, D3DRS_ZFUNC, D3DRS_ZWRITEENABLE})) {
        Toggle(GL_DEPTH_TEST, rs[D3DRS_ZENABLE] != FALSE);
        glDepthFunc(CompareFunc(rs[D3DRS_ZFUNC]));
        glDepthMask(rs[D3DRS_ZWRITEENABLE] != FALSE ? GL_TRUE : GL_FALSE);
    }
    if (Changed(context, rs, full, {D3DRS_COLORWRITEENABLE})) {
        DWORD mask = rs[D3DRS_COLORWRITEENABLE];
        glColorMask((mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0);
    }
    if (Changed(context, rs, full,
                {D3DRS_ALPHABLENDENABLE, D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_BLENDOP, D3DRS_SEPARATEALPHABLENDENABLE,
                 D3DRS_SRCBLENDALPHA, D3DRS_DESTBLENDALPHA, D3DRS_BLENDOPALPHA})) {
        Toggle(GL_BLEND, rs[D3DRS_ALPHABLENDENABLE] != FALSE);
        bool separate = rs[D3DRS_SEPARATEALPHABLENDENABLE] != FALSE;
        DWORD srcAlpha = separate ? rs[D3DRS_SRCBLENDALPHA] : rs[D3DRS_SRCBLEND];
        DWORD destAlpha = separate ? rs[D3DRS_DESTBLENDALPHA] : rs[D3DRS_DESTBLEND];
        DWORD opAlpha = separate ? rs[D3DRS_BLENDOPALPHA] : rs[D3DRS_BLENDOP];
        glBlendFuncSeparate(BlendFactor(rs[D3DRS_SRCBLEND]), BlendFactor(rs[D3DRS_DESTBLEND]), BlendFactor(srcAlpha),
                            BlendFactor(destAlpha));
        glBlendEquationSeparate(BlendOp(rs[D3DRS_BLENDOP]), BlendOp(opAlpha));
    }
    if (Changed(context, rs, full, {D3DRS_SCISSORTESTENABLE}))
        Toggle(GL_SCISSOR_TEST, rs[D3DRS_SCISSORTESTENABLE] != FALSE);
    if (Changed(context, rs, full, {D3DRS_ADAPTIVETESS_Y, D3DRS_POINTSIZE})) {
        // The two vendor switches of alpha to coverage.
        bool on = rs[D3DRS_ADAPTIVETESS_Y] == D3DFOURCC_ATOC || rs[D3DRS_POINTSIZE] == D3DFOURCC_A2M1;
        Toggle(GL_SAMPLE_ALPHA_TO_COVERAGE, on);
    }
}

void D3D9_ApplySamplerStates(TGLContext& context, uint32_t stage, const DWORD* ss, bool full, DWORD maxAnisotropy)
{
    DWORD* record = context.SamplerStates[stage];
    if (!full && std::memcmp(record, ss, sizeof(DWORD) * D3D9_SAMPLER_STATE_COUNT) == 0)
        return;
    std::memcpy(record, ss, sizeof(DWORD) * D3D9_SAMPLER_STATE_COUNT);
    ++context.StateChanges;
    GLuint sampler = context.Samplers[stage];
    DWORD minFilter = ss[D3DSAMP_MINFILTER], magFilter = ss[D3DSAMP_MAGFILTER], mipFilter = ss[D3DSAMP_MIPFILTER];
    bool minLinear = minFilter >= D3DTEXF_LINEAR;
    GLenum min;
    if (mipFilter == D3DTEXF_NONE)
        min = minLinear ? GL_LINEAR : GL_NEAREST;
    else if (mipFilter == D3DTEXF_POINT)
        min = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    else
        min = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(min));
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, magFilter >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, static_cast<GLint>(AddressMode(ss[D3DSAMP_ADDRESSU])));
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, static_cast<GLint>(AddressMode(ss[D3DSAMP_ADDRESSV])));
    if (maxAnisotropy > 1) {
        DWORD anisotropy = minFilter == D3DTEXF_ANISOTROPIC ? ss[D3DSAMP_MAXANISOTROPY] : 1;
        if (anisotropy < 1)
            anisotropy = 1;
        if (anisotropy > maxAnisotropy)
            anisotropy = maxAnisotropy;
        glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, static_cast<float>(anisotropy));
    }
    float border[4] = {((ss[D3DSAMP_BORDERCOLOR] >> 16) & 255) / 255.0f,
                       ((ss[D3DSAMP_BORDERCOLOR] >> 8) & 255) / 255.0f, (ss[D3DSAMP_BORDERCOLOR] & 255) / 255.0f,
                       ((ss[D3DSAMP_BORDERCOLOR] >> 24) & 255) / 255.0f};
    glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
}

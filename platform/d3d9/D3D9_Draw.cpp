// State setters and draws: the logical state is recorded at once and reaches
// the calling thread's GL context at the next draw.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/d3d9/D3D9_Internal.h"
#include "platform/d3d9/D3D9_TestHook.h"

namespace {

// Fixed attribute locations (the shader prelude declares the same).
int AttributeLocation(uint8_t usage, uint8_t index)
{
    switch (usage) {
    case D3DDECLUSAGE_POSITION:
    case D3DDECLUSAGE_POSITIONT:
        return index == 0 ? 0 : -1;
    case D3DDECLUSAGE_NORMAL:
        return index == 0 ? 1 : -1;
    case D3DDECLUSAGE_TANGENT:
        return index == 0 ? 2 : -1;
    case D3DDECLUSAGE_BINORMAL:
        return index == 0 ? 3 : -1;
    case D3DDECLUSAGE_BLENDINDICES:
        return index == 0 ? 4 : -1;
    case D3DDECLUSAGE_BLENDWEIGHT:
        return index == 0 ? 5 : -1;
    case D3DDECLUSAGE_COLOR:
        return index <= 1 ? 6 + index : -1;
    case D3DDECLUSAGE_TEXCOORD:
        return index <= 7 ? 8 + index : -1;
    default:
        return -1;
    }
}

void AttributeFormat(GLuint vao, GLuint location, uint8_t type, GLuint offset)
{
    GLint size = 4;
    GLenum glType = GL_FLOAT;
    GLboolean normalised = GL_FALSE;
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
        size = 1;
        break;
    case D3DDECLTYPE_FLOAT2:
        size = 2;
        break;
    case D3DDECLTYPE_FLOAT3:
        size = 3;
        break;
    case D3DDECLTYPE_FLOAT4:
        size = 4;
        break;
    // 0xAARRGGBB in memory order B, G, R, A: GL's BGRA size swaps it.
    case D3DDECLTYPE_D3DCOLOR:
        size = GL_BGRA;
        glType = GL_UNSIGNED_BYTE;
        normalised = GL_TRUE;
        break;
    case D3DDECLTYPE_UBYTE4:
        glType = GL_UNSIGNED_BYTE;
        break;
    case D3DDECLTYPE_SHORT2:
        size = 2;
        glType = GL_SHORT;
        break;
    case D3DDECLTYPE_SHORT4:
        glType = GL_SHORT;
        break;
    case D3DDECLTYPE_UBYTE4N:
        glType = GL_UNSIGNED_BYTE;
        normalised = GL_TRUE;
        break;
    case D3DDECLTYPE_SHORT2N:
        size = 2;
        glType = GL_SHORT;
        normalised = GL_TRUE;
        break;
    case D3DDECLTYPE_SHORT4N:
        glType = GL_SHORT;
        normalised = GL_TRUE;
        break;
    case D3DDECLTYPE_USHORT2N:
        size = 2;
        glType = GL_UNSIGNED_SHORT;
        normalised = GL_TRUE;
        break;
    case D3DDECLTYPE_USHORT4N:
        glType = GL_UNSIGNED_SHORT;
        normalised = GL_TRUE;
        break;
    default:
        break;
    }
    glVertexArrayAttribFormat(vao, location, size, glType, normalised, offset);
    glVertexArrayAttribBinding(vao, location, 0);
    glEnableVertexArrayAttrib(vao, location);
}

bool PrimitiveMode(D3DPRIMITIVETYPE type, UINT primitives, GLenum& mode, GLsizei& count)
{
    switch (type) {
    case D3DPT_POINTLIST:
        mode = GL_POINTS;
        count = static_cast<GLsizei>(primitives);
        return true;
    case D3DPT_LINELIST:
        mode = GL_LINES;
        count = static_cast<GLsizei>(primitives * 2);
        return true;
    case D3DPT_LINESTRIP:
        mode = GL_LINE_STRIP;
        count = static_cast<GLsizei>(primitives + 1);
        return true;
    case D3DPT_TRIANGLELIST:
        mode = GL_TRIANGLES;
        count = static_cast<GLsizei>(primitives * 3);
        return true;
    case D3DPT_TRIANGLESTRIP:
        mode = GL_TRIANGLE_STRIP;
        count = static_cast<GLsizei>(primitives + 2);
        return true;
    case D3DPT_TRIANGLEFAN:
        mode = GL_TRIANGLE_FAN;
        count = static_cast<GLsizei>(primitives + 2);
        return true;
    default:
        return false;
    }
}

// Marks the per-context stream buffers of user-memory draws.
constexpr uint64_t StreamSerial = ~0ull - 1;
// Marks the per-context ring of user-memory draws.
constexpr uint64_t RingSerial = ~0ull - 2;

// Moves the ring's writer into the given part: the part it leaves gets a
// fence, the part it enters waits until the draws of its last lap are done.
void EnterRingPart(TGLContext& context, size_t part)
{
    while (context.RingPart != part) {
        GLsync& leaving = context.RingFences[context.RingPart];
        if (leaving == nullptr)
            leaving = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        context.RingPart = (context.RingPart + 1) % TGLContext::RingParts;
        GLsync& entering = context.RingFences[context.RingPart];
        if (entering != nullptr) {
            while (glClientWaitSync(entering, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000) == GL_TIMEOUT_EXPIRED) {
            }
            glDeleteSync(entering);
            entering = nullptr;
        }
    }
}

// Copies bytes into the ring at a multiple of align; false when they do not
// fit in one part (the caller takes the plain buffers then).
bool WriteRing(TGLContext& context, const void* bytes, size_t size, size_t align, size_t& offset)
{
    constexpr size_t partBytes = TGLContext::RingBytes / TGLContext::RingParts;
    if (context.RingMap == nullptr || size == 0 || size > partBytes)
        return false;
    size_t start = (context.RingHead + align - 1) / align * align;
    if (start + size > TGLContext::RingBytes) {
        EnterRingPart(context, 0);
        start = 0;
    }
    EnterRingPart(context, (start + size - 1) / partBytes);
    std::memcpy(context.RingMap + start, bytes, size);
    context.RingHead = start + size;
    offset = start;
    return true;
}

// Sends a context's constant buffer the registers written after version
// since, each run of them in one call (all of them when all is set): a draw
// that changed one matrix copies that matrix, not the whole bank.
void UploadRegisters(GLuint buffer, const float (*registers)[4], const uint64_t* stamps, size_t count, uint64_t since,
                     bool all)
{
    size_t first = 0;
    while (first < count) {
        if (!all && stamps[first] <= since) {
            first++;
            continue;
        }
        size_t end = first + 1;
        while (end < count && (all || stamps[end] > since))
            end++;
        glNamedBufferSubData(buffer, static_cast<GLintptr>(first * sizeof(registers[0])),
                             static_cast<GLsizeiptr>((end - first) * sizeof(registers[0])), registers[first]);
        first = end;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Setters

HRESULT TD3D9Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    if (state >= D3D9_RENDER_STATE_COUNT)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    State.RenderStates[state] = value;
    return D3D_OK;
}

HRESULT TD3D9Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value)
{
    if (state >= D3D9_RENDER_STATE_COUNT || value == nullptr)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    *value = State.RenderStates[state];
    return D3D_OK;
}

HRESULT TD3D9Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    if (sampler >= D3D9_SAMPLER_COUNT || type >= D3D9_SAMPLER_STATE_COUNT)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    State.SamplerStates[sampler][type] = value;
    return D3D_OK;
}

HRESULT TD3D9Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value)
{
    if (sampler >= D3D9_SAMPLER_COUNT || type >= D3D9_SAMPLER_STATE_COUNT || value == nullptr)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    *value = State.SamplerStates[sampler][type];
    return D3D_OK;
}

HRESULT TD3D9Device::SetScissorRect(const TRect* rect)
{
    if (rect == nullptr)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    State.Scissor = *rect;
    return D3D_OK;
}

HRESULT TD3D9Device::GetScissorRect(TRect* rect)
{
    if (rect == nullptr)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    *rect = State.Scissor;
    return D3D_OK;
}

HRESULT TD3D9Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration)
{
    if (HRESULT injected = D3D9Test_Injected("SetVertexDeclaration"))
        return injected;
    auto* decl = dynamic_cast<TD3D9VertexDeclaration*>(declaration);
    if (declaration != nullptr && decl == nullptr)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    Assign(State.Declaration, decl);
    return D3D_OK;
}

HRESULT TD3D9Device::SetVertexShader(IDirect3DVertexShader9* shader)
{
    if (HRESULT injected = D3D9Test_Injected("SetVertexShader"))
        return injected;
    auto* made = dynamic_cast<TD3D9Shader*>(shader);
    if (shader != nullptr && (made == nullptr || !made->Vertex))
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    Assign(State.VertexShader, made);
    return D3D_OK;
}

HRESULT TD3D9Device::SetPixelShader(IDirect3DPixelShader9* shader)
{
    if (HRESULT injected = D3D9Test_Injected("SetPixelShader"))
        return injected;
    auto* made = dynamic_cast<TD3D9Shader*>(shader);
    if (shader != nullptr && (made == nullptr || made->Vertex))
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    Assign(State.PixelShader, made);
    return D3D_OK;
}

HRESULT TD3D9Device::SetVertexShaderConstantF(UINT startRegister, const float* data, UINT vector4fCount)
{
    if (HRESULT injected = D3D9Test_Injected("SetVertexShaderConstantF"))
        return injected;
    if (data == nullptr || startRegister > 256 || vector4fCount > 256 - startRegister)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    std::memcpy(State.VC[startRegister], data, sizeof(float) * 4 * vector4fCount);
    State.VCVersion++;
    std::fill_n(State.VCStamps + startRegister, vector4fCount, State.VCVersion);
    return D3D_OK;
}

HRESULT TD3D9Device::SetPixelShaderConstantF(UINT startRegister, const float* data, UINT vector4fCount)
{
    if (HRESULT injected = D3D9Test_Injected("SetPixelShaderConstantF"))
        return injected;
    if (data == nullptr || startRegister > 32 || vector4fCount > 32 - startRegister)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    std::memcpy(State.PC[startRegister], data, sizeof(float) * 4 * vector4fCount);
    State.PCVersion++;
    std::fill_n(State.PCStamps + startRegister, vector4fCount, State.PCVersion);
    return D3D_OK;
}

HRESULT TD3D9Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture)
{
    if (HRESULT injected = D3D9Test_Injected("SetTexture"))
        return injected;
    auto* made = dynamic_cast<TD3D9Texture*>(texture);
    if (stage >= D3D9_SAMPLER_COUNT || (texture != nullptr && made == nullptr))
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    Assign(State.Textures[stage], made);
    return D3D_OK;
}

HRESULT TD3D9Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride)
{
    if (HRESULT injected = D3D9Test_Injected("SetStreamSource"))
        return injected;
    auto* made = dynamic_cast<TD3D9VertexBuffer*>(buffer);
    if (stream != 0 || (buffer != nullptr && made == nullptr))
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    Assign(State.Stream, made);
    State.StreamOffset = offset;
    State.StreamStride = stride;
    return D3D_OK;
}

HRESULT TD3D9Device::SetIndices(IDirect3DIndexBuffer9* buffer)
{
    if (HRESULT injected = D3D9Test_Injected("SetIndices"))
        return injected;
    auto* made = dynamic_cast<TD3D9IndexBuffer*>(buffer);
    if (buffer != nullptr && made == nullptr)
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    Assign(State.Indices, made);
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// Draws

bool TD3D9Device::BindProgram(TGLContext& context, HRESULT& error)
{
    bool preTransformed = State.Declaration != nullptr && State.Declaration->PreTransformed;
    TD3D9Shader* vertex = preTransformed ? PreTransformedShader : State.VertexShader;
    TD3D9Shader* pixel = State.PixelShader;
    if (vertex == nullptr || pixel == nullptr) {
        // No fixed-function pipeline here: nothing is drawn.
        if (!WarnedNoShader)
            std::fprintf(stderr, "D3D9: draw without a %s shader skipped\n", vertex == nullptr ? "vertex" : "pixel");
        WarnedNoShader = true;
        error = D3D_OK;
        return false;
    }
    const bool alphaTest = State.RenderStates[D3DRS_ALPHATESTENABLE] != FALSE;
    const auto key = std::make_tuple(vertex->Serial, pixel->Serial, alphaTest);
    auto found = Programs.find(key);
    GLuint program = 0;
    if (found == Programs.end()) {
        GLuint vs = vertex->EnsureGL(), ps = alphaTest ? pixel->EnsureGL() : pixel->EnsureGLWithoutAlphaTest();
        program = vs != 0 && ps != 0 ? D3D9_LinkProgram(vs, ps) : 0;
        Programs[key] = program;
        D3D9Test_Count(2);
    } else {
        program = found->second;
    }
    if (program == 0) {
        error = D3DERR_INVALIDCALL;
        return false;
    }
    if (!context.Valid || context.Program != program) {
        glUseProgram(program);
        context.Program = program;
        ++context.StateChanges;
    }
    return true;
}

bool TD3D9Device::PrepareDraw(TGLContext& context, HRESULT& error)
{
    bool full = !context.Valid;
    bool uploaded = false;
    const uint64_t changesBefore = context.StateChanges;
    if (!BindProgram(context, error))
        return false;
    BindTarget(context, uploaded);
    D3D9_ApplyRenderStates(context, State.RenderStates, full);
    if (full || !(context.Scissor.Left == State.Scissor.Left && context.Scissor.Top == State.Scissor.Top &&
                  context.Scissor.Right == State.Scissor.Right && context.Scissor.Bottom == State.Scissor.Bottom)) {
        glScissor(State.Scissor.Left, State.Scissor.Top, std::max(0, State.Scissor.Width()),
                  std::max(0, State.Scissor.Height()));
        context.Scissor = State.Scissor;
    }
    for (uint32_t stage = 0; stage < D3D9_SAMPLER_COUNT; stage++) {
        TD3D9Texture* texture = State.Textures[stage];
        uint64_t serial = texture != nullptr ? texture->Serial : 0;
        GLuint name = texture != nullptr ? texture->EnsureGL(uploaded) : 0;
        if (full || context.TextureSerials[stage] != serial) {
            glBindTextureUnit(stage, name);
            context.TextureSerials[stage] = serial;
            ++context.StateChanges;
        }
        if (texture != nullptr)
            D3D9_ApplySamplerStates(context, stage, State.SamplerStates[stage], full, Adapter.MaxAnisotropy);
    }
    // Constants, with the target size and the alpha test riding along.
    TD3D9Surface* target = State.RenderTarget;
    float size[4] = {static_cast<float>(target->Width), static_cast<float>(target->Height), 1.0f / target->Width,
                     1.0f / target->Height};
    if (full || context.VCVersion != State.VCVersion) {
        UploadRegisters(context.VCUbo, State.VC, State.VCStamps, 256, context.VCVersion, full);
        context.VCVersion = State.VCVersion;
        ++context.StateChanges;
    }
    if (full || std::memcmp(size, context.TargetSize, sizeof(size)) != 0) {
        glNamedBufferSubData(context.VCUbo, sizeof(State.VC), sizeof(size), size);
        std::memcpy(context.TargetSize, size, sizeof(size));
        ++context.StateChanges;
    }
    int32_t alpha[4] = {State.RenderStates[D3DRS_ALPHATESTENABLE] != FALSE ? 1 : 0,
                        static_cast<int32_t>(State.RenderStates[D3DRS_ALPHAFUNC]),
                        static_cast<int32_t>(State.RenderStates[D3DRS_ALPHAREF] & 255), 0};
    if (full || context.PCVersion != State.PCVersion) {
        UploadRegisters(context.PCUbo, State.PC, State.PCStamps, 32, context.PCVersion, full);
        context.PCVersion = State.PCVersion;
        ++context.StateChanges;
    }
    if (full || std::memcmp(alpha, context.AlphaTest, sizeof(alpha)) != 0) {
        glNamedBufferSubData(context.PCUbo, sizeof(State.PC), sizeof(alpha), alpha);
        std::memcpy(context.AlphaTest, alpha, sizeof(alpha));
        ++context.StateChanges;
    }
    if (full) {
        context.DeclSerial = context.StreamSerial = context.IndexSerial = 0;
        D3D9Test_Count(1);
    }
    context.Valid = true;
    if (full || context.StateChanges != changesBefore)
        ++context.ChangedDraws;
    // Other contexts see new texture contents only after a flush.
    if (uploaded) {
        glFlush();
        context.ChangedDraws = 0;
    }
    return true;
}

// The software rasteriser keeps a copy of the whole pipeline state for each
// draw that follows a change, in the batch of work it collects until a
// flush, and that batch gets dearer to add to the larger it grows: a frame
// of many draws that each change a texture or the blending costs more per
// draw the more draws it has. A flush after every ChangedDrawsPerFlush such
// draws hands the work over in batches of a bounded size, so a draw costs
// the same at any count. Draws without changes add no state and never flush.
void TD3D9Device::FlushAfterChanges(TGLContext& context)
{
    constexpr uint32_t ChangedDrawsPerFlush = 16;
    if (context.ChangedDraws >= ChangedDrawsPerFlush) {
        glFlush();
        context.ChangedDraws = 0;
    }
}

void TD3D9Device::BindVertexInput(TGLContext& context, const TD3D9VertexDeclaration& declaration, GLuint buffer,
                                  uint64_t bufferSerial, UINT offset, UINT stride)
{
    if (context.DeclSerial != declaration.Serial) {
        for (GLuint location = 0; location < 16; location++)
            glDisableVertexArrayAttrib(context.Vao, location);
        for (const D3DVERTEXELEMENT9& element : declaration.Elements) {
            int location = AttributeLocation(element.Usage, element.UsageIndex);
            if (location >= 0)
                AttributeFormat(context.Vao, static_cast<GLuint>(location), element.Type, element.Offset);
        }
        context.DeclSerial = declaration.Serial;
    }
    if (context.StreamSerial != bufferSerial || context.StreamOffset != offset || context.StreamStride != stride) {
        glVertexArrayVertexBuffer(context.Vao, 0, buffer, offset, static_cast<GLsizei>(stride));
        context.StreamSerial = bufferSerial;
        context.StreamOffset = offset;
        context.StreamStride = stride;
    }
}

// Every index of a draw names one of the vertices the draw says it uses
// (minVertexIndex .. minVertexIndex + numVertices - 1), and these lie inside
// the bound vertex buffer: a driver is not asked to read past its buffers.
bool TD3D9Device::IndexedDrawFits(int32_t baseVertexIndex, UINT minVertexIndex, UINT numVertices, UINT startIndex,
                                  size_t count)
{
    const int64_t first = static_cast<int64_t>(baseVertexIndex) + minVertexIndex;
    const int64_t end = first + numVertices;
    const uint64_t bytes = State.Stream->Data.Bytes.size();
    const uint64_t vertexBytes = State.Declaration->VertexBytes;
    int64_t inBuffer = 0; // whole vertices the buffer holds from the stream offset
    if (bytes >= static_cast<uint64_t>(State.StreamOffset) + vertexBytes)
        inBuffer = static_cast<int64_t>((bytes - State.StreamOffset - vertexBytes) / State.StreamStride + 1);
    if (numVertices == 0 || first < 0 || end > inBuffer)
        return false;
    const uint64_t low = minVertexIndex, high = static_cast<uint64_t>(minVertexIndex) + numVertices;
    // Most buffers hold only indices of the draw's range: no need to look at
    // this run one by one.
    uint32_t lowest = 0, highest = 0;
    if (State.Indices->IndexRange(lowest, highest) && lowest >= low && highest < high)
        return true;
    const bool wide = State.Indices->Format == D3DFMT_INDEX32;
    return D3D9_IndicesWithin(State.Indices->Data.Bytes.data() + static_cast<size_t>(startIndex) * (wide ? 4 : 2), wide,
                              count, low, high);
}

HRESULT TD3D9Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, int32_t baseVertexIndex, UINT minVertexIndex,
                                          UINT numVertices, UINT startIndex, UINT primitiveCount)
{
    if (HRESULT injected = D3D9Test_Injected("DrawIndexedPrimitive"))
        return injected;
    GLenum mode = 0;
    GLsizei count = 0;
    if (!PrimitiveMode(type, primitiveCount, mode, count))
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    if (State.Declaration == nullptr || State.Stream == nullptr || State.Indices == nullptr || State.StreamStride == 0)
        return D3DERR_INVALIDCALL;
    if (primitiveCount == 0)
        return D3D_OK;
    size_t indexSize = State.Indices->Format == D3DFMT_INDEX32 ? 4 : 2;
    if ((static_cast<size_t>(startIndex) + static_cast<size_t>(count)) * indexSize > State.Indices->Data.Bytes.size())
        return D3DERR_INVALIDCALL;
    if (!IndexedDrawFits(baseVertexIndex, minVertexIndex, numVertices, startIndex, static_cast<size_t>(count)))
        return D3DERR_INVALIDCALL;
    TGLContext* context = CurrentContext();
    if (context == nullptr)
        return D3DERR_INVALIDCALL;
    HRESULT error = D3D_OK;
    if (!PrepareDraw(*context, error))
        return error;
    bool uploaded = false;
    GLuint vertexBuffer = State.Stream->Data.EnsureGL(uploaded);
    GLuint indexBuffer = State.Indices->Data.EnsureGL(uploaded);
    BindVertexInput(*context, *State.Declaration, vertexBuffer, State.Stream->Data.Serial, State.StreamOffset,
                    State.StreamStride);
    if (context->IndexSerial != State.Indices->Data.Serial) {
        glVertexArrayElementBuffer(context->Vao, indexBuffer);
        context->IndexSerial = State.Indices->Data.Serial;
    }
    glDrawElementsBaseVertex(mode, count, indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                             reinterpret_cast<const void*>(startIndex * indexSize), baseVertexIndex);
    if (uploaded)
        glFlush();
    FlushAfterChanges(*context);
    D3D9Test_Count(0);
    return D3D_OK;
}

HRESULT TD3D9Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minVertexIndex, UINT numVertices,
                                            UINT primitiveCount, const void* indexData, D3DFORMAT indexFormat,
                                            const void* vertexData, UINT vertexStride)
{
    if (HRESULT injected = D3D9Test_Injected("DrawIndexedPrimitiveUP"))
        return injected;
    GLenum mode = 0;
    GLsizei count = 0;
    if (!PrimitiveMode(type, primitiveCount, mode, count) || indexData == nullptr || vertexData == nullptr ||
        vertexStride == 0 || (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    if (State.Declaration == nullptr)
        return D3DERR_INVALIDCALL;
    // Direct3D leaves stream 0 and the indices unset after a user-memory draw.
    Assign<TD3D9VertexBuffer>(State.Stream, nullptr);
    Assign<TD3D9IndexBuffer>(State.Indices, nullptr);
    State.StreamOffset = State.StreamStride = 0;
    if (primitiveCount == 0)
        return D3D_OK;
    // Only the vertices up to minVertexIndex + numVertices are sent: every
    // index must name one of the draw's vertices, each read whole.
    const uint64_t low = minVertexIndex, high = static_cast<uint64_t>(minVertexIndex) + numVertices;
    if (State.Declaration->VertexBytes > vertexStride ||
        !D3D9_IndicesWithin(indexData, indexFormat == D3DFMT_INDEX32, static_cast<size_t>(count), low, high))
        return D3DERR_INVALIDCALL;
    TGLContext* context = CurrentContext();
    if (context == nullptr)
        return D3DERR_INVALIDCALL;
    HRESULT error = D3D_OK;
    if (!PrepareDraw(*context, error))
        return error;
    size_t indexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
    const GLenum indexType = indexSize == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    // Only the draw's own vertices go to GL; a base vertex puts index
    // minVertexIndex on the first of them.
    size_t vertexAt = 0, indexAt = 0;
    if (WriteRing(*context,
                  static_cast<const uint8_t*>(vertexData) + static_cast<size_t>(minVertexIndex) * vertexStride,
                  static_cast<size_t>(numVertices) * vertexStride, vertexStride, vertexAt) &&
        WriteRing(*context, indexData, static_cast<size_t>(count) * indexSize, 4, indexAt)) {
        BindVertexInput(*context, *State.Declaration, context->Ring, RingSerial, 0, vertexStride);
        if (context->IndexSerial != RingSerial) {
            glVertexArrayElementBuffer(context->Vao, context->Ring);
            context->IndexSerial = RingSerial;
        }
        const auto baseVertex = static_cast<GLint>(static_cast<int64_t>(vertexAt / vertexStride) - minVertexIndex);
        glDrawRangeElementsBaseVertex(mode, minVertexIndex, minVertexIndex + numVertices - 1, count, indexType,
                                      reinterpret_cast<const void*>(indexAt), baseVertex);
        FlushAfterChanges(*context);
        D3D9Test_Count(0);
        return D3D_OK;
    }
    size_t vertexBytes = (static_cast<size_t>(minVertexIndex) + numVertices) * vertexStride;
    glNamedBufferData(context->StreamVbo, static_cast<GLsizeiptr>(vertexBytes), vertexData, GL_STREAM_DRAW);
    glNamedBufferData(context->StreamIbo, static_cast<GLsizeiptr>(count * indexSize), indexData, GL_STREAM_DRAW);
    BindVertexInput(*context, *State.Declaration, context->StreamVbo, StreamSerial, 0, vertexStride);
    if (context->IndexSerial != StreamSerial) {
        glVertexArrayElementBuffer(context->Vao, context->StreamIbo);
        context->IndexSerial = StreamSerial;
    }
    glDrawElements(mode, count, indexType, nullptr);
    FlushAfterChanges(*context);
    D3D9Test_Count(0);
    return D3D_OK;
}

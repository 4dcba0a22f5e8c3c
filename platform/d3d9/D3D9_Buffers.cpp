// Vertex and index buffers (a CPU copy sent to GL when changed) and vertex
// declarations.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "platform/d3d9/D3D9_Internal.h"
#include "platform/d3d9/D3D9_TestHook.h"

GLuint TD3D9BufferData::EnsureGL(bool& uploaded)
{
    if (Gl == 0) {
        glCreateBuffers(1, &Gl);
        glNamedBufferData(Gl, static_cast<GLsizeiptr>(Bytes.size()), Bytes.data(), GL_STATIC_DRAW);
        Dirty = false;
        uploaded = true;
    } else if (Dirty) {
        glNamedBufferSubData(Gl, 0, static_cast<GLsizeiptr>(Bytes.size()), Bytes.data());
        Dirty = false;
        uploaded = true;
    }
    return Gl;
}

HRESULT TD3D9BufferData::Lock(UINT offset, UINT size, void** data)
{
    if (data == nullptr || Locked || offset > Bytes.size())
        return D3DERR_INVALIDCALL;
    if (size != 0 && size > Bytes.size() - offset)
        return D3DERR_INVALIDCALL;
    Locked = true;
    *data = Bytes.data() + offset;
    return D3D_OK;
}

HRESULT TD3D9BufferData::Unlock()
{
    if (!Locked)
        return D3DERR_INVALIDCALL;
    Locked = false;
    Dirty = true;
    return D3D_OK;
}

// ---------------------------------------------------------------------------

TD3D9VertexBuffer::TD3D9VertexBuffer(TD3D9Device* device, UINT length) : Device(device)
{
    Data.Bytes.assign(length, 0);
    Data.Serial = D3D9_NewSerial();
    Device->ResourceCreated();
}

TD3D9VertexBuffer::~TD3D9VertexBuffer()
{
    if (Data.Gl != 0)
        Device->DeleteGL(TGLDeleteKind::Buffer, Data.Gl);
    Device->ResourceDestroyed();
}

ULONG TD3D9VertexBuffer::AddRef()
{
    return ++Refs;
}

ULONG TD3D9VertexBuffer::Release()
{
    ULONG left = --Refs;
    if (left == 0)
        delete this;
    return left;
}

HRESULT TD3D9VertexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags)
{
    (void)flags;
    if (HRESULT injected = D3D9Test_Injected("VertexBuffer.Lock"))
        return injected;
    std::lock_guard<std::recursive_mutex> guard(Device->Lock);
    return Data.Lock(offset, size, data);
}

HRESULT TD3D9VertexBuffer::Unlock()
{
    if (HRESULT injected = D3D9Test_Injected("VertexBuffer.Unlock"))
        return injected;
    std::lock_guard<std::recursive_mutex> guard(Device->Lock);
    return Data.Unlock();
}

TD3D9IndexBuffer::TD3D9IndexBuffer(TD3D9Device* device, UINT length, D3DFORMAT format) : Device(device), Format(format)
{
    Data.Bytes.assign(length, 0);
    Data.Serial = D3D9_NewSerial();
    Device->ResourceCreated();
}

TD3D9IndexBuffer::~TD3D9IndexBuffer()
{
    if (Data.Gl != 0)
        Device->DeleteGL(TGLDeleteKind::Buffer, Data.Gl);
    Device->ResourceDestroyed();
}

ULONG TD3D9IndexBuffer::AddRef()
{
    return ++Refs;
}

ULONG TD3D9IndexBuffer::Release()
{
    ULONG left = --Refs;
    if (left == 0)
        delete this;
    return left;
}

HRESULT TD3D9IndexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags)
{
    (void)flags;
    if (HRESULT injected = D3D9Test_Injected("IndexBuffer.Lock"))
        return injected;
    std::lock_guard<std::recursive_mutex> guard(Device->Lock);
    return Data.Lock(offset, size, data);
}

HRESULT TD3D9IndexBuffer::Unlock()
{
    if (HRESULT injected = D3D9Test_Injected("IndexBuffer.Unlock"))
        return injected;
    std::lock_guard<std::recursive_mutex> guard(Device->Lock);
    RangeKnown = false;
    return Data.Unlock();
}

bool TD3D9IndexBuffer::IndexRange(uint32_t& low, uint32_t& high)
{
    // While locked the caller may still be writing: work it out afresh.
    if (!RangeKnown || Data.Locked) {
        const bool wide = Format == D3DFMT_INDEX32;
        const size_t count = Data.Bytes.size() / (wide ? 4 : 2);
        Low = UINT32_MAX;
        High = 0;
        for (size_t i = 0; i < count; i++) {
            uint32_t index = 0;
            if (wide) {
                std::memcpy(&index, Data.Bytes.data() + i * 4, 4);
            } else {
                uint16_t value = 0;
                std::memcpy(&value, Data.Bytes.data() + i * 2, 2);
                index = value;
            }
            Low = std::min(Low, index);
            High = std::max(High, index);
        }
        RangeKnown = !Data.Locked;
    }
    low = Low;
    high = High;
    return Low <= High;
}

bool D3D9_IndicesWithin(const void* indices, bool wide, size_t count, uint64_t low, uint64_t end)
{
    const auto* bytes = static_cast<const uint8_t*>(indices);
    for (size_t i = 0; i < count; i++) {
        uint32_t index = 0;
        if (wide) {
            std::memcpy(&index, bytes + i * 4, 4);
        } else {
            uint16_t value = 0;
            std::memcpy(&value, bytes + i * 2, 2);
            index = value;
        }
        if (index < low || index >= end)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------

TD3D9VertexDeclaration::TD3D9VertexDeclaration(TD3D9Device* device, std::vector<D3DVERTEXELEMENT9> elements)
    : Device(device), Elements(std::move(elements)), Serial(D3D9_NewSerial())
{
    // Bytes of each declaration type, D3DDECLTYPE_FLOAT1 .. USHORT4N.
    static const UINT TypeBytes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8};
    for (const D3DVERTEXELEMENT9& element : Elements) {
        if (element.Usage == D3DDECLUSAGE_POSITIONT)
            PreTransformed = true;
        if (element.Type < std::size(TypeBytes))
            VertexBytes = std::max<UINT>(VertexBytes, element.Offset + TypeBytes[element.Type]);
    }
    Device->ResourceCreated();
}

TD3D9VertexDeclaration::~TD3D9VertexDeclaration()
{
    Device->ResourceDestroyed();
}

ULONG TD3D9VertexDeclaration::AddRef()
{
    return ++Refs;
}

ULONG TD3D9VertexDeclaration::Release()
{
    ULONG left = --Refs;
    if (left == 0)
        delete this;
    return left;
}

// Vertex and index buffers (a CPU copy sent to GL when changed) and vertex
// declarations.
#include <cstring>

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
    return Data.Unlock();
}

// ---------------------------------------------------------------------------

TD3D9VertexDeclaration::TD3D9VertexDeclaration(TD3D9Device* device, std::vector<D3DVERTEXELEMENT9> elements)
    : Device(device), Elements(std::move(elements)), Serial(D3D9_NewSerial())
{
    for (const D3DVERTEXELEMENT9& element : Elements)
        if (element.Usage == D3DDECLUSAGE_POSITIONT)
            PreTransformed = true;
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

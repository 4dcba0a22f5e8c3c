// Shaders and the shader registry of T3D_Render.
#include "render/QX9_Render_Shaders.h"

#include <algorithm>
#include <mutex>

#include "render/QX9_Render_Upload.h"

namespace {

void ReleaseShadersForReset(T3D_Render& render)
{
    for (int32_t slot = 0; slot < render.ShaderCount; slot++)
        if (T3D_Shader* shader = render.Shaders[static_cast<size_t>(slot)])
            shader->Release(0);
}

void RestoreShadersAfterReset(T3D_Render& render)
{
    for (int32_t slot = 0; slot < render.ShaderCount; slot++)
        if (T3D_Shader* shader = render.Shaders[static_cast<size_t>(slot)])
            shader->Upload(1);
}

struct TRegisterShaderHandlers {
    TRegisterShaderHandlers() { RegisterShaderDeviceLossHandlers(); }
} RegisterShaderHandlersAtStart;

} // namespace

void RegisterShaderDeviceLossHandlers()
{
    DeviceLossHandlers.ReleaseShaders = &ReleaseShadersForReset;
    DeviceLossHandlers.RestoreShaders = &RestoreShadersAfterReset;
}

T3D_Shader::T3D_Shader(T3D_Render* owner, uint8_t vertex) : T3D_UniversalResource(owner), Vertex(vertex)
{
    KeepData = 1;
}

T3D_Shader::~T3D_Shader()
{
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    WithdrawQueuedUploads();
    if (State == RESOURCE_ON_DEVICE)
        ReleaseDeviceShader();
}

void T3D_Shader::Load(const std::string& fileName)
{
    SetFile(fileName);
    if (!OS_ReadWholeFile(fileName, Bytecode))
        FatalError("T3D_Shader.Load", fileName, "FILE NOT FOUND!");
    FileSize = static_cast<int32_t>(std::min<size_t>(Bytecode.size(), INT32_MAX));
}

void T3D_Shader::Upload(uint8_t forced)
{
    if (UploadQueue_Defer(*Owner, UPLOAD_SHADER, FileSize, this))
        return;
    UploadNow(forced);
}

void T3D_Shader::PerformQueuedUpload()
{
    UploadNow(0);
}

void T3D_Shader::UploadNow(uint8_t forced)
{
    // A shader already on the device is released before it is made again,
    // forced or not: a second device shader would leak the first.
    (void)forced;
    if (State == RESOURCE_ON_DEVICE)
        ReleaseDeviceShader();
    IDirect3DDevice9* device = Owner->Device;
    const void* code = Bytecode.data();
    const size_t size = Bytecode.size();
    // A shader that keeps being refused stops the program; say which file
    // and why (the compiler's messages) once, before that stop.
    auto subject = [this] {
        std::string why = D3D9_ShaderRefusal();
        if (why.empty())
            why = D3DResultNames(D3DLastResult);
        return "T3D_Shader.Upload(" + Folder + FileName + ") -> " + why;
    };
    if (Vertex != 0)
        D3DRetry(
            D3DOP_CreateVertexShader, [&] { return device->CreateVertexShader(code, size, &VertexShader); }, subject);
    else
        D3DRetry(
            D3DOP_CreatePixelShader, [&] { return device->CreatePixelShader(code, size, &PixelShader); }, subject);
    Owner->ShaderObjects += 1;
    State = RESOURCE_ON_DEVICE;
}

void T3D_Shader::ReleaseDeviceShader()
{
    if (VertexShader != nullptr)
        VertexShader->Release();
    if (PixelShader != nullptr)
        PixelShader->Release();
    VertexShader = nullptr;
    PixelShader = nullptr;
    Owner->ShaderObjects -= 1;
}

void T3D_Shader::Release(uint8_t freeData)
{
    if (State == RESOURCE_ON_DEVICE)
        ReleaseDeviceShader();
    if (freeData != 0) {
        Bytecode.clear();
        Bytecode.shrink_to_fit();
    }
    State = RESOURCE_RELEASED;
}

T3D_Shader* ShaderAt(const T3D_Render& render, int32_t slot)
{
    if (slot < 0 || slot >= render.ShaderCount || slot >= SHADER_SLOTS)
        return nullptr;
    return render.Shaders[static_cast<size_t>(slot)];
}

int32_t T3D_Render::Shader_Load(const std::string& fileName, uint8_t vertex)
{
    std::string folder, name;
    SplitResourceName(fileName, folder, name);
    for (int32_t slot = 0; slot < ShaderCount; slot++) {
        const T3D_Shader* shader = Shaders[static_cast<size_t>(slot)];
        if (shader != nullptr && shader->FileName == name && shader->Folder == folder)
            return slot;
    }
    int32_t slot = -1;
    for (int32_t i = 0; i < SHADER_SLOTS && slot < 0; i++)
        if (Shaders[static_cast<size_t>(i)] == nullptr)
            slot = i;
    // Callers keep the slot and draw with it: stop rather than hand out an
    // invalid one.
    if (slot < 0)
        FatalError("T3D_Render.Shader_Load", fileName, "SHADER REGISTRY FULL!");
    ShaderCount = std::max(ShaderCount, slot + 1);
    auto* shader = new T3D_Shader(this, vertex);
    shader->SlotIndex = slot;
    Shaders[static_cast<size_t>(slot)] = shader;
    shader->Load(fileName);
    shader->Upload(1);
    return slot;
}

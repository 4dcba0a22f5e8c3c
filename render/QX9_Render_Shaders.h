// Shaders: each "_VS.bin" or "_PS.bin" file is read once into the shader
// registry and kept in memory for the shader's life, so that the device
// shader can be made again after a device reset. Shaders are never freed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/QX9_Render_Textures.h"

inline constexpr int32_t SHADER_SLOTS = 1001;

class T3D_Shader : public T3D_UniversalResource {
public:
    // vertex: 1 vertex shader, 0 pixel shader. Keeps its data always.
    T3D_Shader(T3D_Render* owner, uint8_t vertex);
    ~T3D_Shader() override;

    // Reads the whole file; a missing file stops the program.
    void Load(const std::string& fileName);
    // Creates the device shader of its kind (queued while the renderer
    // defers uploads).
    void Upload(uint8_t forced);
    // Releases the device shader (state 4); with freeData the bytecode too.
    void Release(uint8_t freeData);
    void PerformQueuedUpload() override;

    uint8_t Vertex = 0;
    std::vector<uint8_t> Bytecode;
    IDirect3DVertexShader9* VertexShader = nullptr;
    IDirect3DPixelShader9* PixelShader = nullptr;

private:
    void UploadNow(uint8_t forced);
    void ReleaseDeviceShader();
};

// Lets the lost-device recovery release and restore the shaders (done at
// start-up; tests that replace the handlers call it again).
void RegisterShaderDeviceLossHandlers();
// The shader of a slot; nullptr for a free or out-of-range slot.
T3D_Shader* ShaderAt(const T3D_Render& render, int32_t slot);

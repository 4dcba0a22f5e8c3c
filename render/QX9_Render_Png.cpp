#include "render/QX9_Render_Png.h"

#include <zlib.h>

#include <cstring>
#include <vector>

#include "engine/QX9_PngFile.h"
#include "render/QX9_Render.h"

std::string PngTruecolourImage(int32_t width, int32_t height, const uint8_t* bgrx, int64_t pitch)
{
    if (width <= 0 || height <= 0 || bgrx == nullptr || pitch < static_cast<int64_t>(width) * 4)
        return {};
    const uint64_t rowBytes = static_cast<uint64_t>(width) * 3 + 1;
    const uint64_t rawSize = rowBytes * static_cast<uint64_t>(height);
    if (rawSize > 0x7FFFFFFFu)
        return {};
    std::vector<uint8_t> raw(static_cast<size_t>(rawSize));
    uint8_t* out = raw.data();
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* p = bgrx + static_cast<int64_t>(y) * pitch;
        *out++ = 0; // filter: none
        for (int32_t x = 0; x < width; ++x, p += 4) {
            *out++ = p[2];
            *out++ = p[1];
            *out++ = p[0];
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(rawSize));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(rawSize), Z_DEFAULT_COMPRESSION) != Z_OK)
        return {};
    std::string png = PngFileHead(width, height, 8, PNG_COLOUR_TRUECOLOUR);
    PngPutChunk(png, "IDAT", {std::string_view(reinterpret_cast<const char*>(packed.data()), packedSize)});
    PngPutChunk(png, "IEND", {});
    return png;
}

bool ReadBackBufferPixels(T3D_Render& render, std::vector<uint32_t>& pixels, int32_t& width, int32_t& height)
{
    IDirect3DDevice9* device = render.Device;
    IDirect3DSurface9* back = render.BackBuffer;
    if (device == nullptr || back == nullptr)
        return false;
    D3DSURFACE_DESC desc{};
    // Only the 32-bit formats a back buffer is made with are read.
    if (back->GetDesc(&desc) != D3D_OK || desc.Width == 0 || desc.Height == 0 ||
        (desc.Format != D3DFMT_A8R8G8B8 && desc.Format != D3DFMT_X8R8G8B8))
        return false;
    IDirect3DSurface9* copy = nullptr;
    if (device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy, nullptr) !=
            D3D_OK ||
        copy == nullptr)
        return false;
    bool read = false;
    D3DLOCKED_RECT locked{};
    if (device->GetRenderTargetData(back, copy) == D3D_OK &&
        copy->LockRect(&locked, nullptr, D3DLOCK_READONLY) == D3D_OK) {
        width = static_cast<int32_t>(desc.Width);
        height = static_cast<int32_t>(desc.Height);
        pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        for (int32_t y = 0; y < height; y++)
            std::memcpy(&pixels[static_cast<size_t>(y) * static_cast<size_t>(width)],
                        static_cast<const uint8_t*>(locked.pBits) + static_cast<int64_t>(y) * locked.Pitch,
                        static_cast<size_t>(width) * 4);
        copy->UnlockRect();
        read = true;
    }
    copy->Release();
    return read;
}

std::string PngOfBackBuffer(T3D_Render& render)
{
    std::vector<uint32_t> pixels;
    int32_t width = 0, height = 0;
    if (!ReadBackBufferPixels(render, pixels, width, height))
        return {};
    return PngTruecolourImage(width, height, reinterpret_cast<const uint8_t*>(pixels.data()),
                              static_cast<int64_t>(width) * 4);
}

// Any bytes as a particle effect file, loaded with a renderer whose uploads
// stay queued (every system finds its texture), then started and updated over
// a few seconds at a moving position. Nothing reads or writes outside the
// pools and quads.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "render/QX9_Particles.h"
#include "tests/fuzz/FuzzRender.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tools/TextureFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzFiles files("particles-fuzz", ".psi");
    static const bool textures = [] {
        const std::vector<uint8_t> tga = TextureFiles::MakeTGA32(8, 8, std::vector<uint8_t>(8 * 8 * 4, 0xFF));
        const std::string base = files.Input.substr(0, files.Input.size() - 4);
        bool written = true;
        for (int32_t n = 1; n <= PARTICLE_SYSTEMS_CAP; n++)
            written &= FuzzWriteFile(base + std::to_string(n) + ".TGA", tga.data(), tga.size());
        for (const char* kind : {"VS", "PS"}) {
            const std::string shader = std::string("//GLSL-") + kind + "\nvoid main() {}\n";
            written &= FuzzWriteFile(base + "_" + kind + ".bin", shader.data(), shader.size());
        }
        return written;
    }();
    if (!textures || !FuzzWriteFile(files.Input, data, size))
        return 0;
    T3D_Render& render = FuzzRender();
    SetParticleRender(&render);
    TParticleEffect effect;
    FuzzRefuses([&] {
        const std::string base = files.Input.substr(0, files.Input.size() - 4);
        LoadParticleEffect(files.Input, base + "_VS.bin", base + "_PS.bin", "GUI", effect);
        StartParticleEffect(effect, -1500, 10, 20);
        for (int32_t now = -1000; now <= 3000; now += 250)
            UpdateParticleEffect(effect, -1, now, 10 + static_cast<float>(now) / 100, 20, 1.5f, (now / 250) % 2 == 0);
    });
    FreeParticleEffect(effect);
    FreeFuzzRenderResources(render);
    return 0;
}

// Particle effects: one frame's update of an effect of two systems whose
// pools of 500 particles are full (one blended with a transverse wave, one
// added and radial), and the allocations made while updating (none: pools
// and quads are made at load).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/os/OS.h"
#include "render/QX9_Particles.h"
#include "render/QX9_Render_Scenes.h"
#include "tools/NullRender.h"
#include "tools/TextureFiles.h"

namespace {

std::atomic<int64_t> Allocations{0};

const char* const Effect = R"([Main]
SystemsCount=2
[System1]
MinTime=1500
MaxTime=2000
TimeSys=100000
TimeInfinity=Y
TimeSpeed=250
UseAlpha=Y
SpriteOrientation=2
StartSizeX=40
StartSizeY=10
StartRectangle=Y
SpeedMin=40
SpeedMax=60
SpeedDirection=180
SpeedAngle=15
WaveAmplitude=6
WaveLength=60
WaveTransverse=Y
WaveCalcType=0
SizeStart=60
SizeMiddle=100
SizeEnd=20
UseSizeMid=Y
SizeMiddleTime=30
RotateStart=40
RotateEnd=-40
ColorStart=255,200,120,0
ColorMiddle=255,160,80,220
ColorEnd=200,60,20,0
UseColorMid=Y
ColorMiddleTime=40
[System2]
MinTime=1500
MaxTime=2000
TimeSys=100000
TimeInfinity=Y
TimeSpeed=250
SpriteOrientation=1
StartSizeX=20
StartSizeY=20
StartBorder=Y
StartScatter=10
SpeedMin=30
SpeedMax=50
SpeedAngle=180
AngleSpeed=90
AngleCenter=Y
SizeStart=80
SizeEnd=10
ColorStart=120,160,255,255
ColorEnd=40,60,255,0
)";

void WriteReal(const std::filesystem::path& path, const std::string& bytes)
{
    OS_WriteFileAtomic(path.string(), bytes.data(), bytes.size());
}

void BM_ParticlesUpdateTwoSystemsOf500(benchmark::State& state)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("duskmarch-particles-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    WriteReal(folder / "Bench.psi", Effect);
    const std::vector<uint8_t> tga = TextureFiles::MakeTGA32(32, 32, std::vector<uint8_t>(32 * 32 * 4, 0xFF));
    for (const char* name : {"Bench1.TGA", "Bench2.TGA"})
        WriteReal(folder / name, std::string(tga.begin(), tga.end()));
    WriteReal(folder / "P_VS.bin", "//GLSL-VS\nvoid main() {}\n");
    WriteReal(folder / "P_PS.bin", "//GLSL-PS\nvoid main() {}\n");
    const std::string programFolder = OS_ToProgramPath(folder.string()) + "\\";

    std::unique_ptr<T3D_Render> render = MakeNullRender();
    T3D_Scene* scene = render->Scene_Get(render->Scene_Add("2D"));
    SetParticleRender(render.get());
    TParticleEffect effect;
    LoadParticleEffect(programFolder + "Bench.psi", programFolder + "P_VS.bin", programFolder + "P_PS.bin", "GUI",
                       effect);
    StartParticleEffect(effect, 0, 300, 200);
    int32_t now = 0;
    for (; now < 3000; now += 16)
        UpdateParticleEffect(effect, scene->Index, now, 300, 200, 1, true);
    scene->ClearDrawList();
    const int64_t before = Allocations.load();
    for (auto _ : state) {
        now += 16;
        UpdateParticleEffect(effect, scene->Index, now, 300, 200, 1, true);
        scene->ClearDrawList();
    }
    state.counters["allocations"] = static_cast<double>(Allocations.load() - before);
    int32_t live = 0;
    for (const TParticleSystem& system : effect.Systems)
        for (const TParticle& particle : system.Pool)
            live += particle.Life != 0 ? 1 : 0;
    state.counters["pool"] = static_cast<double>(effect.Systems[0].PoolSize + effect.Systems[1].PoolSize);
    state.counters["live"] = live;
    FreeParticleEffect(effect);
    SetParticleRender(nullptr);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ParticlesUpdateTwoSystemsOf500)->Unit(benchmark::kMicrosecond);

} // namespace

void* operator new(size_t size)
{
    Allocations++;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

BENCHMARK_MAIN();

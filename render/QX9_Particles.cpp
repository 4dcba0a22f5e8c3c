// QX9_Particles: loading, spawning, moving and drawing particle effects.
#include "render/QX9_Particles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "engine/QX9_Math.h"
#include "engine/QX9_System_Script.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Textures.h"

namespace {

T3D_Render* ParticleRender = nullptr;
uint32_t ParticleSeed = 1;

constexpr float Pi = 3.14159265358979f;

// Degrees of the file to radians; negative, so that with sine for x and
// cosine for y a direction of 0 goes down the screen and 90 to the left.
float Rad(float degrees)
{
    return degrees * -0.017453292f;
}

int32_t Clamp255(int32_t value)
{
    return std::clamp(value, 0, 255);
}

// Middle times divide the interpolations: kept strictly inside the life.
int32_t MiddleTime(uint8_t use, int32_t time)
{
    return use != 0 ? std::clamp(time, 1, 99) : 50;
}

using TIntKey = int32_t TParticleSystem::*;
using TBoolKey = uint8_t TParticleSystem::*;

struct TKey {
    const char* Name;
    TIntKey Int;
    TBoolKey Bool;
};

// Every key of a system section, in the file's order.
const TKey Keys[] = {
    {"MinTime", &TParticleSystem::MinTime, nullptr},
    {"MaxTime", &TParticleSystem::MaxTime, nullptr},
    {"TimeSys", &TParticleSystem::TimeSys, nullptr},
    {"TimeSpeed", &TParticleSystem::TimeSpeed, nullptr},
    {"TimeDelay", &TParticleSystem::TimeDelay, nullptr},
    {"TimeInfinity", nullptr, &TParticleSystem::TimeInfinity},
    {"Visible", nullptr, &TParticleSystem::Visible},
    {"Animation", &TParticleSystem::Animation, nullptr},
    {"SpriteScatter", nullptr, &TParticleSystem::SpriteScatter},
    {"UseAlpha", nullptr, &TParticleSystem::UseAlpha},
    {"SpriteOrientation", &TParticleSystem::SpriteOrientation, nullptr},
    {"SpriteSizeX", &TParticleSystem::SpriteSizeX, nullptr},
    {"SpriteSizeY", &TParticleSystem::SpriteSizeY, nullptr},
    {"FrameCount", &TParticleSystem::FrameCount, nullptr},
    {"AnimationCount", &TParticleSystem::AnimationCount, nullptr},
    {"StartSizeX", &TParticleSystem::StartSizeX, nullptr},
    {"StartSizeY", &TParticleSystem::StartSizeY, nullptr},
    {"StartDirection", &TParticleSystem::StartDirection, nullptr},
    {"StartAngle", &TParticleSystem::StartAngle, nullptr},
    {"StartCenterX", &TParticleSystem::StartCenterX, nullptr},
    {"StartCenterY", &TParticleSystem::StartCenterY, nullptr},
    {"StartRectangle", nullptr, &TParticleSystem::StartRectangle},
    {"StartBorder", nullptr, &TParticleSystem::StartBorder},
    {"StartScatter", &TParticleSystem::StartScatter, nullptr},
    {"SpeedMin", &TParticleSystem::SpeedMin, nullptr},
    {"SpeedMax", &TParticleSystem::SpeedMax, nullptr},
    {"SpeedDirection", &TParticleSystem::SpeedDirection, nullptr},
    {"SpeedAngle", &TParticleSystem::SpeedAngle, nullptr},
    {"SpeedScatter", &TParticleSystem::SpeedScatter, nullptr},
    {"SpeedAngleScatter", &TParticleSystem::SpeedAngleScatter, nullptr},
    {"AccelerationMin", &TParticleSystem::AccelerationMin, nullptr},
    {"AccelerationMax", &TParticleSystem::AccelerationMax, nullptr},
    {"AccelerationScatter", &TParticleSystem::AccelerationScatter, nullptr},
    {"GravitationMin", &TParticleSystem::GravitationMin, nullptr},
    {"GravitationMax", &TParticleSystem::GravitationMax, nullptr},
    {"WindDirection", &TParticleSystem::WindDirection, nullptr},
    {"WindSpeed", &TParticleSystem::WindSpeed, nullptr},
    {"AngleSpeed", &TParticleSystem::AngleSpeed, nullptr},
    {"AngleScatter", &TParticleSystem::AngleScatter, nullptr},
    {"AngleCenter", nullptr, &TParticleSystem::AngleCenter},
    {"WaveAmplitude", &TParticleSystem::WaveAmplitude, nullptr},
    {"WaveLength", &TParticleSystem::WaveLength, nullptr},
    {"WaveScatter", &TParticleSystem::WaveScatter, nullptr},
    {"WaveRandomPhase", nullptr, &TParticleSystem::WaveRandomPhase},
    {"WaveTransverse", nullptr, &TParticleSystem::WaveTransverse},
    {"WaveLongitudinal", nullptr, &TParticleSystem::WaveLongitudinal},
    {"WaveInvert", nullptr, &TParticleSystem::WaveInvert},
    {"WaveCalcType", &TParticleSystem::WaveCalcType, nullptr},
    {"SizeStart", &TParticleSystem::SizeStart, nullptr},
    {"SizeMiddle", &TParticleSystem::SizeMiddle, nullptr},
    {"SizeEnd", &TParticleSystem::SizeEnd, nullptr},
    {"SizeScatter", &TParticleSystem::SizeScatter, nullptr},
    {"UseSizeMid", nullptr, &TParticleSystem::UseSizeMid},
    {"SizeMiddleTime", &TParticleSystem::SizeMiddleTime, nullptr},
    {"RotateStart", &TParticleSystem::RotateStart, nullptr},
    {"RotateMiddle", &TParticleSystem::RotateMiddle, nullptr},
    {"RotateEnd", &TParticleSystem::RotateEnd, nullptr},
    {"RotateScatter", &TParticleSystem::RotateScatter, nullptr},
    {"UseRotateMid", nullptr, &TParticleSystem::UseRotateMid},
    {"RotateMiddleTime", &TParticleSystem::RotateMiddleTime, nullptr},
    {"AlphaScatter", &TParticleSystem::AlphaScatter, nullptr},
    {"UseAlphaMid", nullptr, &TParticleSystem::UseAlphaMid},
    {"AlphaMiddleTime", &TParticleSystem::AlphaMiddleTime, nullptr},
    {"ColorScatter", &TParticleSystem::ColorScatter, nullptr},
    {"UseColorMid", nullptr, &TParticleSystem::UseColorMid},
    {"ColorMiddleTime", &TParticleSystem::ColorMiddleTime, nullptr},
};

// Every number of a file is kept within a million either way: far beyond
// any sensible effect, and small enough that the sums and products of the
// spawning and the curves stay inside 32 bits.
constexpr int32_t KeyLimit = 1000000;

int32_t ReadNumber(const TScript& script, const std::string& key, int32_t item)
{
    return std::clamp(script.ReadInteger(key, item, 0), -KeyLimit, KeyLimit);
}

TParticleColour ReadColour(const TScript& script, const std::string& key)
{
    TParticleColour colour;
    colour.R = ReadNumber(script, key, 1);
    colour.G = ReadNumber(script, key, 2);
    colour.B = ReadNumber(script, key, 3);
    colour.A = ReadNumber(script, key, 4);
    return colour;
}

void ReadSystem(const TScript& script, TParticleSystem& system)
{
    for (const TKey& key : Keys) {
        if (key.Int != nullptr)
            system.*key.Int = ReadNumber(script, key.Name, 1);
        else
            system.*key.Bool = script.ReadBool(key.Name, 1) ? 1 : 0;
    }
    system.ColorStart = ReadColour(script, "ColorStart");
    system.ColorMiddle = ReadColour(script, "ColorMiddle");
    system.ColorEnd = ReadColour(script, "ColorEnd");
    // Counts and times below 0 mean nothing.
    for (int32_t* value : {&system.MinTime, &system.MaxTime, &system.TimeSys, &system.TimeSpeed, &system.FrameCount})
        *value = std::max(*value, 0);
    for (auto [low, high] : {std::pair{&system.MinTime, &system.MaxTime}, std::pair{&system.SpeedMin, &system.SpeedMax},
                             std::pair{&system.AccelerationMin, &system.AccelerationMax},
                             std::pair{&system.GravitationMin, &system.GravitationMax}})
        if (*high < *low)
            std::swap(*low, *high);
}

// Size, rotation, alpha or colour at age a (per cent) between start, middle
// at m and end.
float Curve(float a, int32_t m, float start, float middle, float end)
{
    if (Rounded(a) > m)
        return middle + (end - middle) * (a - static_cast<float>(m)) / static_cast<float>(100 - m);
    return start + a * (middle - start) / static_cast<float>(m);
}

int32_t IntCurve(float a, int32_t m, int32_t start, int32_t middle, int32_t end)
{
    if (Rounded(a) > m)
        return middle +
               Rounded((a - static_cast<float>(m)) * static_cast<float>(end - middle) / static_cast<float>(100 - m));
    return start + Rounded(a * static_cast<float>(middle - start) / static_cast<float>(m));
}

int32_t Life(const TParticleSystem& system)
{
    return system.MinTime + ParticleRandom(system.MaxTime - system.MinTime);
}

bool Dead(const TParticle& particle, int32_t now)
{
    return particle.Life <= 0 || static_cast<int64_t>(particle.Birth) + particle.Life < now;
}

// Moves a live particle to now and writes its quad.
void MoveAndDraw(const TParticleSystem& system, TParticle& p, T3D_SpriteVertex* quad, int32_t now, float scale)
{
    const float elapsed = static_cast<float>(now - p.Birth);
    const float a = elapsed * 100 / static_cast<float>(p.Life);
    const float t = elapsed / 1000;
    const float size = std::max(Curve(a, p.SizeMiddleTime, p.SizeStart, p.SizeMiddle, p.SizeEnd), 0.0f);
    const float phi = p.AngularSpeed * t + p.Direction;
    float s = p.Acceleration * t * t / 2 + p.Speed * t;
    if (system.AngleCenter != 0)
        s += p.StartDistance;
    const float w = p.WindSpeed * t;
    const float heading = system.AngleCenter != 0 ? phi + p.StartAngle : phi;
    const float baseX = system.AngleCenter != 0 ? p.EmitterX : p.StartX;
    const float baseY = system.AngleCenter != 0 ? p.EmitterY : p.StartY;
    float x = baseX + std::sin(heading) * s + std::sin(p.WindDirection) * w;
    float y = baseY + p.Gravitation * t * t / 2 + std::cos(heading) * s + std::cos(p.WindDirection) * w;

    if (p.WaveLength > 0 && p.WaveAmplitude > 0) {
        float d, length;
        if (p.WaveCalcType == 0) {
            d = ArcTan2XY(p.WavePrevX - x, p.WavePrevY - y);
            p.WavePrevX = x;
            p.WavePrevY = y;
            length = s + w;
        } else if (p.WaveCalcType == 2) {
            d = p.WindDirection;
            length = w;
        } else {
            d = phi;
            length = s;
        }
        const float q = length * 2 * Pi / p.WaveLength + p.WavePhase;
        const float across = d + Pi / 2;
        const float amplitude = p.WaveAmplitude;
        if (p.WaveTransverse != 0 && p.WaveLongitudinal != 0) {
            const float sign = p.WaveInvert != 0 ? -1.0f : 1.0f;
            x += amplitude * (std::sin(d) * std::cos(q) + sign * std::sin(across) * std::sin(q));
            y += amplitude * (std::cos(d) * std::cos(q) + sign * std::cos(across) * std::sin(q));
        } else if (p.WaveTransverse != 0) {
            x += std::sin(across) * amplitude * std::sin(q);
            y += std::cos(across) * amplitude * std::sin(q);
        } else {
            x += std::sin(d) * amplitude * std::sin(q);
            y += std::cos(d) * amplitude * std::sin(q);
        }
    }

    float angle;
    switch (system.SpriteOrientation) {
    case 1:
        angle = ArcTan2XY(p.PrevX - x, p.PrevY - y);
        break;
    case 3:
        angle = ArcTan2XY(p.EmitterX - x, p.EmitterY - y);
        break;
    default: {
        // The rotation speed runs linearly start - middle - end: its integral.
        const int32_t r = p.RotateMiddleTime;
        const float middleAt = static_cast<float>(p.Life) * static_cast<float>(r) / 100000;
        if (Rounded(a) > r)
            angle = (p.RotateStart + p.RotateMiddle) * middleAt / 2 + p.InitialAngle +
                    (t - middleAt) * ((p.RotateEnd - p.RotateMiddle) * (a - static_cast<float>(r)) /
                                          static_cast<float>(100 - r) / 2 +
                                      p.RotateMiddle);
        else
            angle =
                t * (p.RotateStart + a * (p.RotateMiddle - p.RotateStart) / static_cast<float>(r) / 2) + p.InitialAngle;
        break;
    }
    }
    p.PrevX = x;
    p.PrevY = y;

    const int32_t alpha = Clamp255(IntCurve(a, p.AlphaMiddleTime, p.ColorStart.A, p.ColorMiddle.A, p.ColorEnd.A));
    const int32_t m = p.ColorMiddleTime;
    const int32_t red = Clamp255(IntCurve(a, m, p.ColorStart.R, p.ColorMiddle.R, p.ColorEnd.R));
    const int32_t green = Clamp255(IntCurve(a, m, p.ColorStart.G, p.ColorMiddle.G, p.ColorEnd.G));
    const int32_t blue = Clamp255(IntCurve(a, m, p.ColorStart.B, p.ColorMiddle.B, p.ColorEnd.B));
    const uint32_t colour = static_cast<uint32_t>(alpha) << 24 | static_cast<uint32_t>(red) << 16 |
                            static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue);

    const float hw = static_cast<float>(system.TextureWidth) * size;
    const float hh = static_cast<float>(system.TextureHeight) * size;
    const float c = std::cos(angle), n = std::sin(angle);
    const float corners[4][2] = {{x - c * hw - n * hh, y + n * hw - c * hh},
                                 {x + c * hw - n * hh, y - c * hh - n * hw},
                                 {x + c * hw + n * hh, y + c * hh - n * hw},
                                 {x - c * hw + n * hh, y + c * hh + n * hw}};
    for (int32_t i = 0; i < 4; i++) {
        quad[i].X = corners[i][0] * scale;
        quad[i].Y = corners[i][1] * scale;
        quad[i].Color = colour;
    }
}

// The slots of one update's emissions: the first free slot, else the one
// with the least life left (the first such). Nothing frees a slot while an
// update emits, so the free slots are found by one walk; once the pool is
// full, a heap of (life left, slot) gives each emission its slot without a
// walk over the whole pool.
class TSlotPicker {
public:
    TSlotPicker(TParticleSystem& system, int32_t now) : System(system), Now(now) {}

    size_t Take()
    {
        std::vector<TParticle>& pool = System.Pool;
        auto& heap = System.SlotHeap;
        while (Free < pool.size() && pool[Free].Life != 0)
            Free++;
        if (Free < pool.size())
            return Free;
        if (!Built) {
            heap.clear();
            for (size_t i = 0; i < pool.size(); i++)
                heap.push_back({Left(pool[i]), static_cast<uint32_t>(i)});
            std::make_heap(heap.begin(), heap.end(), std::greater<>());
            Built = true;
        }
        std::pop_heap(heap.begin(), heap.end(), std::greater<>());
        const size_t slot = heap.back().second;
        heap.pop_back();
        return slot;
    }

    // After the slot's new particle is in place.
    void Taken(size_t slot)
    {
        if (!Built)
            return;
        auto& heap = System.SlotHeap;
        heap.push_back({Left(System.Pool[slot]), static_cast<uint32_t>(slot)});
        std::push_heap(heap.begin(), heap.end(), std::greater<>());
    }

private:
    TParticleSystem& System;
    const int32_t Now;
    size_t Free = 0;
    bool Built = false;

    int64_t Left(const TParticle& particle) const { return static_cast<int64_t>(particle.Birth) + particle.Life - Now; }
};

} // namespace

void SetParticleRender(T3D_Render* render)
{
    ParticleRender = render;
    ParticleSeed = 1;
}

void SetParticleSeed(uint32_t seed)
{
    ParticleSeed = seed;
}

int32_t ParticleRandom(int32_t n)
{
    ParticleSeed = ParticleSeed * 214013u + 2531011u;
    const int32_t drawn = static_cast<int32_t>((ParticleSeed >> 16) & 32767u);
    return n == 0 ? 0 : drawn % n;
}

float ArcTan2XY(float x, float y)
{
    const float dy = y == 0 ? 1e-10f : y;
    float angle = std::atan(x / dy);
    if (y < 0)
        angle += x > 0 ? Pi : -Pi;
    return angle;
}

void LoadParticleEffect(const std::string& fileName, const std::string& vertexShader, const std::string& pixelShader,
                        const std::string& passName, TParticleEffect& effect)
{
    effect = TParticleEffect{};
    TScript script(fileName, true);
    int32_t count = script.SelectSection("Main") ? script.ReadInteger("SystemsCount", 1, 0) : 0;
    if (count > PARTICLE_SYSTEMS_CAP) {
        std::fprintf(stderr, "LoadParticleEffect(%s): %d systems, kept %d\n", fileName.c_str(), count,
                     PARTICLE_SYSTEMS_CAP);
        count = PARTICLE_SYSTEMS_CAP;
    }
    count = std::max(count, 0);
    effect.SystemsCount = count;
    effect.Systems.resize(static_cast<size_t>(count));
    const std::string base = fileName.size() >= 4 ? fileName.substr(0, fileName.size() - 4) : std::string();
    for (int32_t n = 0; n < count; n++) {
        TParticleSystem& system = effect.Systems[static_cast<size_t>(n)];
        // A missing section leaves every key at its default.
        if (script.SelectSection("System" + std::to_string(n + 1)))
            ReadSystem(script, system);
        if (ParticleRender == nullptr)
            continue;
        system.Sprite = ParticleRender->Sprite_Add(0, 0);
        T3D_Sprite* sprite = ParticleRender->Sprite_Get(system.Sprite);
        sprite->SetShader(vertexShader, passName, 1);
        sprite->SetShader(pixelShader, passName, 0);
        sprite->SetRenderState(RSK_FILTER(0), 1);
        sprite->SetRenderState(RSK_ALPHAMODE, static_cast<int32_t>(RSK_ALPHA_BLEND));
        sprite->SetRenderState(RSK_SRCBLEND, 2);
        sprite->SetRenderState(RSK_DESTBLEND, system.UseAlpha != 0 ? 2 : 0);
        sprite->SetRenderState(RSK_CULL, 0x4);
        sprite->LoadTexture(base + std::to_string(n + 1) + ".TGA", 0);
        for (T3D_SpriteStageTexture& stage : sprite->StageTextures)
            if (stage.Stage == 0)
                stage.Clamp = 1;
        if (const T3D_Texture* texture = TextureAt(*ParticleRender, sprite->Texture)) {
            system.TextureWidth = texture->DeviceWidth;
            system.TextureHeight = texture->DeviceHeight;
        }
        int64_t pool = static_cast<int64_t>(system.TimeSpeed) * std::min(system.MaxTime, system.TimeSys) / 1000;
        if (pool > PARTICLE_POOL_CAP) {
            std::fprintf(stderr, "LoadParticleEffect(%s): a pool of %lld particles, kept %d\n", fileName.c_str(),
                         static_cast<long long>(pool), PARTICLE_POOL_CAP);
            pool = PARTICLE_POOL_CAP;
        }
        system.PoolSize = static_cast<int32_t>(pool);
        system.Pool.assign(static_cast<size_t>(pool), TParticle{});
        system.SlotHeap.reserve(static_cast<size_t>(pool));
        // One quad per slot, made once: dead particles stay as empty quads.
        for (int64_t q = 1; q < pool; q++) {
            const uint16_t first = static_cast<uint16_t>(sprite->Vertices.size());
            for (int32_t corner = 0; corner < 4; corner++) {
                T3D_SpriteVertex v;
                v.U = corner == 1 || corner == 2 ? 1.0f : 0.0f;
                v.V = corner >= 2 ? 1.0f : 0.0f;
                sprite->Vertices.push_back(v);
            }
            for (uint16_t offset : {0, 2, 1, 0, 3, 2})
                sprite->Indices.push_back(static_cast<uint16_t>(first + offset));
        }
        sprite->UpdateSize();
    }
}

void SpawnParticle(const TParticleSystem& system, TParticle& p, int32_t birth, int32_t life, float x, float y)
{
    p = TParticle{};
    p.Frame = system.SpriteScatter != 0 ? ParticleRandom(system.FrameCount) : 0;
    p.InitialAngle = system.SpriteOrientation == 1   ? 1.0f
                     : system.SpriteOrientation == 2 ? Rad(static_cast<float>(ParticleRandom(360)))
                                                     : 0.0f;

    const int32_t ss = system.SizeScatter;
    auto size = [&](int32_t value) { return static_cast<float>(ParticleRandom(2 * ss) + value - ss) / 200; };
    p.SizeStart = size(system.SizeStart);
    p.SizeEnd = size(system.SizeEnd);
    p.SizeMiddle = system.UseSizeMid != 0 ? size(system.SizeMiddle) : (p.SizeStart + p.SizeEnd) / 2;
    p.SizeMiddleTime = MiddleTime(system.UseSizeMid, system.SizeMiddleTime);

    p.Birth = birth;
    p.Life = life;
    p.EmitterX = x;
    p.EmitterY = y;

    if (system.StartRectangle != 0) {
        p.StartX =
            x + static_cast<float>(ParticleRandom(system.StartSizeX)) - static_cast<float>(system.StartSizeX) / 2;
        p.StartY =
            y + static_cast<float>(ParticleRandom(system.StartSizeY)) - static_cast<float>(system.StartSizeY) / 2;
    } else {
        float g;
        if (system.StartBorder != 0) {
            const int32_t scatter = ParticleRandom(system.StartScatter);
            g = static_cast<float>(scatter * (ParticleRandom(2) == 0 ? -1 : 1)) / 200 + 0.5f;
        } else {
            g = static_cast<float>(ParticleRandom(100)) / 200;
        }
        const float theta =
            Rad(static_cast<float>(system.StartDirection + system.StartAngle - ParticleRandom(2 * system.StartAngle)));
        p.StartX = x + std::sin(theta) * static_cast<float>(system.StartSizeX) * g;
        p.StartY = y + std::cos(theta) * static_cast<float>(system.StartSizeY) * g;
    }
    const float dx = p.StartX - x, dy = p.StartY - y;
    p.StartDistance = std::sqrt(dx * dx + dy * dy);
    p.StartAngle = ArcTan2XY(dx, dy);
    p.PrevX = p.WavePrevX = p.StartX;
    p.PrevY = p.WavePrevY = p.StartY;

    p.Speed = static_cast<float>(system.SpeedMin + ParticleRandom(system.SpeedMax - system.SpeedMin));
    p.Direction =
        Rad(static_cast<float>(ParticleRandom(2 * system.SpeedAngle) + system.SpeedDirection - system.SpeedAngle));
    p.Acceleration =
        static_cast<float>(system.AccelerationMin + ParticleRandom(system.AccelerationMax - system.AccelerationMin));
    p.Gravitation =
        static_cast<float>(system.GravitationMin + ParticleRandom(system.GravitationMax - system.GravitationMin));
    p.WindDirection = Rad(static_cast<float>(system.WindDirection));
    p.WindSpeed = static_cast<float>(system.WindSpeed);
    p.AngularSpeed =
        Rad(static_cast<float>(ParticleRandom(2 * system.AngleScatter) + system.AngleSpeed - system.AngleScatter));

    const int32_t ws = system.WaveScatter;
    p.WaveAmplitude =
        (static_cast<float>(ParticleRandom(2 * ws) - ws) / 10 + 1) * static_cast<float>(system.WaveAmplitude);
    p.WaveLength = (static_cast<float>(ParticleRandom(2 * ws) - ws) / 10 + 1) * static_cast<float>(system.WaveLength);
    p.WaveTransverse = system.WaveTransverse;
    p.WaveLongitudinal = system.WaveLongitudinal;
    p.WaveInvert = system.WaveInvert;
    p.WaveCalcType = system.WaveCalcType;
    p.WavePhase = system.WaveRandomPhase != 0 ? Rad(-static_cast<float>(ParticleRandom(360))) : 0.0f;

    const int32_t rs = system.RotateScatter;
    auto rotation = [&](int32_t value) { return Rad(static_cast<float>(ParticleRandom(2 * rs) + value - rs)); };
    p.RotateStart = rotation(system.RotateStart);
    p.RotateEnd = rotation(system.RotateEnd);
    p.RotateMiddle = system.UseRotateMid != 0 ? rotation(system.RotateMiddle) : (p.RotateStart + p.RotateEnd) / 2;
    p.RotateMiddleTime = MiddleTime(system.UseRotateMid, system.RotateMiddleTime);

    const int32_t c = ParticleRandom(2 * system.AlphaScatter) - system.AlphaScatter;
    p.ColorStart.A = c + system.ColorStart.A;
    p.ColorEnd.A = c + system.ColorEnd.A;
    p.ColorMiddle.A = system.UseAlphaMid != 0 ? c + system.ColorMiddle.A : (p.ColorStart.A + p.ColorEnd.A) / 2;
    p.AlphaMiddleTime = MiddleTime(system.UseAlphaMid, system.AlphaMiddleTime);

    const int32_t f = ParticleRandom(2 * system.ColorScatter) + 100 - system.ColorScatter;
    auto channel = [f](int32_t value) {
        return static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(value) * f / 100, 255));
    };
    const auto scaled = [&](const TParticleColour& from, TParticleColour& to) {
        to.R = channel(from.R);
        to.G = channel(from.G);
        to.B = channel(from.B);
    };
    scaled(system.ColorStart, p.ColorStart);
    scaled(system.ColorEnd, p.ColorEnd);
    if (system.UseColorMid != 0) {
        scaled(system.ColorMiddle, p.ColorMiddle);
    } else {
        p.ColorMiddle.R = (p.ColorStart.R + p.ColorEnd.R) / 2;
        p.ColorMiddle.G = (p.ColorStart.G + p.ColorEnd.G) / 2;
        p.ColorMiddle.B = (p.ColorStart.B + p.ColorEnd.B) / 2;
    }
    p.ColorMiddleTime = MiddleTime(system.UseColorMid, system.ColorMiddleTime);
}

void StartParticleEffect(TParticleEffect& effect, int32_t time, float x, float y)
{
    effect.X = x;
    effect.Y = y;
    effect.Running = 1;
    for (TParticleSystem& system : effect.Systems) {
        std::fill(system.Pool.begin(), system.Pool.end(), TParticle{});
        system.StartTime = system.LastUpdate = system.LastEmission = time;
        // A system without slots spawns nothing; nor does a life of nothing.
        const int32_t life = Life(system);
        if (!system.Pool.empty() && life > 0)
            SpawnParticle(system, system.Pool[0], time, life, x, y);
    }
}

bool UpdateParticleEffect(TParticleEffect& effect, int32_t scene, int32_t now, float x, float y, float scale,
                          bool follow)
{
    const float offsetX = follow ? 0 : x - effect.X;
    const float offsetY = follow ? 0 : y - effect.Y;
    const float oldX = effect.X, oldY = effect.Y;
    const float newX = follow ? x : effect.X, newY = follow ? y : effect.Y;
    const bool moved = newX != oldX || newY != oldY;
    bool running = false;
    for (TParticleSystem& system : effect.Systems) {
        for (TParticle& particle : system.Pool)
            if (particle.Life != 0 && Dead(particle, now))
                particle = TParticle{};

        if ((now - system.StartTime <= system.TimeSys || system.TimeInfinity != 0) && system.TimeSpeed > 0) {
            const int64_t n = static_cast<int64_t>(now - system.LastEmission) * system.TimeSpeed / 1000;
            int32_t last = system.LastEmission;
            // Only the latest emissions of a long gap or of a huge rate can
            // still be in the pool: each takes a slot from an older one. A
            // rate of millions per second in a damaged file would otherwise
            // keep this loop going for minutes.
            const int64_t kept = 2 * static_cast<int64_t>(system.Pool.size()) + 16;
            const int64_t firstK = std::max<int64_t>(1, n - kept + 1);
            if (firstK > 1)
                last = static_cast<int32_t>((firstK - 1) * 1000 / system.TimeSpeed + system.LastEmission);
            TSlotPicker slots(system, now);
            for (int64_t k = firstK; k <= n; k++) {
                const int32_t e = static_cast<int32_t>(k * 1000 / system.TimeSpeed + system.LastEmission);
                const int32_t life = Life(system);
                last = e;
                if (system.Pool.empty() || life <= 0 || static_cast<int64_t>(e) + life < now)
                    continue;
                float ex = oldX, ey = oldY;
                if (moved && now != system.LastUpdate) {
                    const float part =
                        static_cast<float>(e - system.LastUpdate) / static_cast<float>(now - system.LastUpdate);
                    ex = oldX + (newX - oldX) * part;
                    ey = oldY + (newY - oldY) * part;
                }
                const size_t slot = slots.Take();
                SpawnParticle(system, system.Pool[slot], e, life, ex + static_cast<float>(system.StartCenterX),
                              ey + static_cast<float>(system.StartCenterY));
                slots.Taken(slot);
            }
            if (n > 0)
                system.LastEmission = last;
            running = true;
        }

        T3D_Sprite* sprite = ParticleRender != nullptr ? ParticleRender->Sprite_Get(system.Sprite) : nullptr;
        const size_t quads = sprite != nullptr ? sprite->Vertices.size() / 4 : 0;
        for (size_t i = 0; i < system.Pool.size(); i++) {
            TParticle& particle = system.Pool[i];
            T3D_SpriteVertex* quad = i < quads ? &sprite->Vertices[4 * i] : nullptr;
            if (Dead(particle, now)) {
                if (quad != nullptr)
                    for (int32_t corner = 0; corner < 4; corner++) {
                        quad[corner].X = quad[corner].Y = 0;
                        quad[corner].Color = 0;
                    }
                continue;
            }
            running = true;
            T3D_SpriteVertex scratch[4];
            MoveAndDraw(system, particle, quad != nullptr ? quad : scratch, now, scale);
        }
        // A system without slots would show its bare texture quad.
        if (ParticleRender != nullptr && !system.Pool.empty())
            ParticleRender->Sprite_Draw(scene, system.Sprite, Rounded(offsetX), Rounded(offsetY), -1);
        system.LastUpdate = now;
    }
    effect.X = newX;
    effect.Y = newY;
    effect.Running = running ? 1 : 0;
    return running;
}

void FreeParticleEffect(TParticleEffect& effect)
{
    effect.Running = 0;
    if (ParticleRender != nullptr)
        for (const TParticleSystem& system : effect.Systems)
            ParticleRender->Sprite_Free(system.Sprite);
    effect = TParticleEffect{};
}

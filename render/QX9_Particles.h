// QX9_Particles: 2D particle effects. An effect is a small text file of
// particle systems; each system emits textured quads that fly, spin, wave,
// grow or shrink and change colour over their life, and is drawn as one
// sprite with one quad per particle slot. The owning screen keeps the effect
// record, starts it, updates it once per frame with its own clock and frees
// it. Particles draw their randomness from a generator of their own, so that
// effects never disturb the game's reproducible decisions.
//
// Threads: the main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "render/QX9_Render.h"

struct TParticleColour {
    int32_t B = 0;
    int32_t G = 0;
    int32_t R = 0;
    int32_t A = 0;
};

// All zero (life 0) is a free slot.
struct TParticle {
    int32_t Frame = 0;
    float InitialAngle = 0;
    float SizeStart = 0; // factors: 0.5 is the texture's size
    float SizeMiddle = 0;
    float SizeEnd = 0;
    int32_t SizeMiddleTime = 0; // per cent of the life
    int32_t Birth = 0;
    int32_t Life = 0;
    float PrevX = 0; // for the orientation along the motion
    float PrevY = 0;
    float WavePrevX = 0; // for the wave's direction
    float WavePrevY = 0;
    float StartX = 0;
    float StartY = 0;
    float StartDistance = 0; // from the emitter
    float StartAngle = 0;
    float EmitterX = 0;
    float EmitterY = 0;
    float Speed = 0;
    float Direction = 0; // radians
    float Acceleration = 0;
    float Gravitation = 0;
    float WindDirection = 0;
    float WindSpeed = 0;
    float AngularSpeed = 0; // radians per second
    float WaveAmplitude = 0;
    float WaveLength = 0;
    float WavePhase = 0;
    uint8_t WaveTransverse = 0;
    uint8_t WaveLongitudinal = 0;
    uint8_t WaveInvert = 0;
    int32_t WaveCalcType = 0;
    float RotateStart = 0; // radians per second
    float RotateMiddle = 0;
    float RotateEnd = 0;
    int32_t RotateMiddleTime = 0;
    int32_t AlphaMiddleTime = 0;
    TParticleColour ColorStart; // alpha in A
    TParticleColour ColorMiddle;
    TParticleColour ColorEnd;
    int32_t ColorMiddleTime = 0;
};

// One system section of an effect file: its keys (angles in degrees, times in
// milliseconds, distances in pixels) and its running state.
struct TParticleSystem {
    int32_t MinTime = 0, MaxTime = 0, TimeSys = 0, TimeSpeed = 0, TimeDelay = 0;
    uint8_t TimeInfinity = 0;
    int32_t TextureWidth = 0, TextureHeight = 0; // allocated
    uint8_t Visible = 0;
    int32_t Animation = 0;
    uint8_t SpriteScatter = 0, UseAlpha = 0;
    int32_t SpriteOrientation = 0, SpriteSizeX = 0, SpriteSizeY = 0, FrameCount = 0, AnimationCount = 0;
    int32_t StartSizeX = 0, StartSizeY = 0, StartDirection = 0, StartAngle = 0, StartCenterX = 0, StartCenterY = 0;
    uint8_t StartRectangle = 0, StartBorder = 0;
    int32_t StartScatter = 0;
    int32_t SpeedMin = 0, SpeedMax = 0, SpeedDirection = 0, SpeedAngle = 0, SpeedScatter = 0, SpeedAngleScatter = 0;
    int32_t AccelerationMin = 0, AccelerationMax = 0, AccelerationScatter = 0;
    int32_t GravitationMin = 0, GravitationMax = 0;
    int32_t WindDirection = 0, WindSpeed = 0;
    int32_t AngleSpeed = 0, AngleScatter = 0;
    uint8_t AngleCenter = 0;
    int32_t WaveAmplitude = 0, WaveLength = 0, WaveScatter = 0;
    uint8_t WaveRandomPhase = 0, WaveTransverse = 0, WaveLongitudinal = 0, WaveInvert = 0;
    int32_t WaveCalcType = 0;
    int32_t SizeStart = 0, SizeMiddle = 0, SizeEnd = 0, SizeScatter = 0;
    uint8_t UseSizeMid = 0;
    int32_t SizeMiddleTime = 0;
    int32_t RotateStart = 0, RotateMiddle = 0, RotateEnd = 0, RotateScatter = 0;
    uint8_t UseRotateMid = 0;
    int32_t RotateMiddleTime = 0;
    int32_t AlphaScatter = 0;
    uint8_t UseAlphaMid = 0;
    int32_t AlphaMiddleTime = 0;
    TParticleColour ColorStart, ColorMiddle, ColorEnd;
    int32_t ColorScatter = 0;
    uint8_t UseColorMid = 0;
    int32_t ColorMiddleTime = 0;

    int32_t PoolSize = 0;
    std::vector<TParticle> Pool;
    // Scratch of an update that finds the pool full: (life left, slot),
    // sized with the pool so that updates allocate nothing.
    std::vector<std::pair<int64_t, uint32_t>> SlotHeap;
    int32_t StartTime = 0;
    int32_t Sprite = -1;
    int32_t LastUpdate = 0;
    int32_t LastEmission = 0;
};

struct TParticleEffect {
    int32_t SystemsCount = 0;
    uint8_t Running = 0;
    float X = 0; // the emitter
    float Y = 0;
    std::vector<TParticleSystem> Systems;
};

// Caps on what a file may ask for: what one sprite's 16-bit indices address,
// and a generous number of systems.
inline constexpr int32_t PARTICLE_POOL_CAP = 16384;
inline constexpr int32_t PARTICLE_SYSTEMS_CAP = 256;

// The renderer for the particles' sprites and textures; also seeds their
// generator with its fixed start value.
void SetParticleRender(T3D_Render* render);
// The particles' own generator (never the engine's): a new start value, and
// a uniform 0 <= r < n (0 for n = 0).
void SetParticleSeed(uint32_t seed);
int32_t ParticleRandom(int32_t n);

void LoadParticleEffect(const std::string& fileName, const std::string& vertexShader, const std::string& pixelShader,
                        const std::string& passName, TParticleEffect& effect);
void StartParticleEffect(TParticleEffect& effect, int32_t time, float x, float y);
// True while anything still emits or lives.
bool UpdateParticleEffect(TParticleEffect& effect, int32_t scene, int32_t now, float x, float y, float scale,
                          bool follow);
void FreeParticleEffect(TParticleEffect& effect);
void SpawnParticle(const TParticleSystem& system, TParticle& particle, int32_t birth, int32_t life, float x, float y);
// The angle whose sine goes with x and cosine with y.
float ArcTan2XY(float x, float y);

// Landscape chunks: the terrain model turned into renderer meshes for the
// MAP scene. Every 64-cell chunk gets a water, a land and a hill mesh, each
// with sixteen subsets of 16 x 16 cells so that the renderer draws or culls
// each block on its own. A land or hill triangle carries a set of up to
// four ground kinds blended by vertex weights from the texture atlases.
// Runs on the game loading worker while the renderer defers its uploads.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/QX9_System.h"

// Renderer mesh slots by 64-cell chunk (1..Chunk64Count; 0 no mesh). The
// scene instances of these meshes are the chunk instance tables of
// Landscape_Camera.h, filled by the placement.
extern TIntArray WaterChunkMeshes;
extern TIntArray LandChunkMeshes;
extern TIntArray HillChunkMeshes;

// The order the sixteen blocks of a chunk are built and laid down in: the
// two rows of 2 x 2 groups first. Block b starts 16 * (b div 4) cells along
// x and 16 * (b mod 4) along z from the chunk's origin.
inline constexpr int32_t ChunkBlockOrder[16] = {0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15};

// Sizes the chunk mesh tables, restarts the running name numbers and
// builds every chunk with create true.
void BuildTerrainChunkMeshes();
// The water, land and hill meshes of one 64-cell chunk. With create, three
// new meshes ("WaterCell", "PlainCell", "HillCell" + a running number per
// kind); without, the chunk's existing meshes are refilled.
void BuildChunkMesh(int32_t chunk, bool create);

// The texture set of a triangle: the ground kinds summed over its three
// vertices' layers, slots filled with the largest remaining sums (the lower
// kind among equals); Kinds[m] is 0 for an empty slot. Key is
// sum of kind_m * 17^m.
struct TTriangleTextureSet {
    uint8_t Kinds[4] = {};
    int32_t Key = 0;
};
TTriangleTextureSet TriangleTextureSet(const int32_t (&vertices)[3][2]);

// The atlas coordinates of kind k (1..16) at grid point (x, z) of the block
// whose first grid point is (x0, z0).
void AtlasUV(int32_t kind, float x, float z, float x0, float z0, float& u, float& v);

// The map build's chunk and plant phases lay down and pack their meshes on
// several threads while the renderer defers uploads (a packed mesh queues
// its upload; uploading on the spot is for this thread alone). Their meshes,
// slots, names and queued uploads come out as on one thread.
// Workers: 0 (the default) one per processor this program may use, at most
// 8; 1 the calling thread alone.
void SetMapBuildWorkers(int32_t workers);
// The threads a build phase uses now: 1 unless uploads are deferred.
int32_t MapBuildWorkers();
// Calls job(0 .. count - 1) on up to workers threads, the caller among them,
// handing the indices out one at a time; returns when all are done.
void RunMapBuildJobs(int32_t workers, int32_t count, const std::function<void(int32_t)>& job);
// Puts the queued uploads of these mesh slots back in the list's order, in
// the places they hold in the queue: meshes packed side by side queue in the
// order they finish.
void OrderQueuedUploads(const std::vector<int32_t>& slots);

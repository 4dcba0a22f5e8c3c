// The deferred upload queue. While a loader thread has deferral on, the
// device part of every texture, mesh and shader upload is queued here and
// the loading window performs the tasks on the main thread, a budget of
// bytes per frame. Performing a task never clears the deferral flag, so a
// loader thread that uploads meanwhile keeps queuing and never touches the
// device (a device call off the drawing threads is not allowed).
//
// TUploadTask.Object is always the resource as a T3D_UniversalResource*;
// performing a task calls its PerformQueuedUpload.
#pragma once

#include <cstdint>

#include "render/QX9_Render.h"

inline constexpr int32_t UPLOAD_TEXTURE = 1;
inline constexpr int32_t UPLOAD_MESH = 2;
inline constexpr int32_t UPLOAD_SHADER = 3;
// What a loading window's frame performs.
inline constexpr int32_t UPLOAD_FRAME_BUDGET = 10000000;

class T3D_UniversalResource;

// Under UploadQueueLock: when the renderer defers uploads, queues the task
// and returns true; otherwise false (the caller uploads at once). The flag
// is read under the lock as well, so a thread never acts on a stale one.
bool UploadQueue_Defer(T3D_Render& render, int32_t kind, int64_t cost, T3D_UniversalResource* resource);

// The deferred upload queue of T3D_Render.
#include "render/QX9_Render_Upload.h"

#include <algorithm>
#include <limits>
#include <mutex>

#include "render/QX9_Render_Textures.h"

bool UploadQueue_Defer(T3D_Render& render, int32_t kind, int64_t cost, T3D_UniversalResource* resource)
{
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    if (render.DeferUploads == 0)
        return false;
    const int64_t clamped = std::clamp<int64_t>(cost, 0, std::numeric_limits<int32_t>::max());
    render.UploadQueue_Add(kind, static_cast<int32_t>(clamped), resource);
    return true;
}

void T3D_Render::UploadQueue_Begin()
{
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    DeferUploads = 1;
}

void T3D_Render::UploadQueue_End()
{
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    DeferUploads = 0;
}

void T3D_Render::UploadQueue_Add(int32_t kind, int32_t cost, void* object)
{
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    TUploadTask task;
    task.Kind = kind;
    task.Object = object;
    task.Cost = cost;
    task.Done = 0;
    UploadQueue.push_back(task);
}

void T3D_Render::UploadQueue_Process(int32_t budget)
{
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    // The flag stays as it is: the tasks are performed through the
    // resources' own upload-now path, and loader threads keep queuing.
    int64_t total = 0;
    size_t performed = 0;
    while (performed < UploadQueue.size()) {
        TUploadTask& task = UploadQueue[performed];
        if (task.Object != nullptr)
            static_cast<T3D_UniversalResource*>(task.Object)->PerformQueuedUpload();
        task.Done = 1;
        total += task.Cost;
        performed++;
        if (total >= budget)
            break;
    }
    UploadQueue.erase(UploadQueue.begin(), UploadQueue.begin() + static_cast<std::ptrdiff_t>(performed));
}

bool T3D_Render::UploadQueue_Empty()
{
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    return UploadQueue.empty();
}

void T3D_Render::UploadQueue_Remove(void* object)
{
    std::lock_guard<TCriticalSection> guard(UploadQueueLock);
    std::erase_if(UploadQueue, [object](const TUploadTask& task) { return task.Object == object; });
}

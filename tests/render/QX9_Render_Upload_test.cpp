// The deferred upload queue: the byte budget, deferral around loading,
// destroyed resources leaving the queue, and loader threads queuing and
// freeing textures while the main thread performs.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Upload.h"
#include "tests/render/RenderTestSupport.h"
#include "tools/TextureFiles.h"

namespace {

class TCountingResource : public T3D_UniversalResource {
public:
    using T3D_UniversalResource::T3D_UniversalResource;
    void PerformQueuedUpload() override { Performed++; }
    int Performed = 0;
};

std::vector<uint8_t> SmallTGA(uint8_t shade)
{
    return TextureFiles::MakeTGA32(8, 8, std::vector<uint8_t>(8 * 8 * 4, shade));
}

using UploadQueueTest = TRecordingRenderTest;

TEST_F(UploadQueueTest, BudgetTable)
{
    struct TRow {
        const char* Name;
        std::vector<int32_t> Costs;
        int32_t Budget;
        size_t PerformedByOneCall;
    };
    const TRow rows[] = {
        {"empty queue", {}, 10000000, 0},
        {"passes the budget with the second", {6000000, 6000000, 1000}, 10000000, 2},
        {"one large task still goes", {50000000}, 10000000, 1},
        {"all fit", {1000, 2000, 3000}, 10000000, 3},
        {"reaching the budget exactly stops", {10000000, 1}, 10000000, 1},
        {"budget 0 performs one", {5, 5}, 0, 1},
    };
    for (const TRow& row : rows) {
        std::vector<std::unique_ptr<TCountingResource>> resources;
        for (int32_t cost : row.Costs) {
            resources.push_back(std::make_unique<TCountingResource>(Render.get()));
            Render->UploadQueue_Add(UPLOAD_MESH, cost, static_cast<T3D_UniversalResource*>(resources.back().get()));
        }
        Render->UploadQueue_Process(row.Budget);
        for (size_t i = 0; i < resources.size(); i++)
            EXPECT_EQ(resources[i]->Performed, i < row.PerformedByOneCall ? 1 : 0) << row.Name << " task " << i;
        EXPECT_EQ(Render->UploadQueue.size(), row.Costs.size() - row.PerformedByOneCall) << row.Name;
        resources.clear(); // their tasks leave the queue with them
        EXPECT_TRUE(Render->UploadQueue_Empty()) << row.Name;
    }
}

TEST_F(UploadQueueTest, DeferredTextureWaitsForTheMainThread)
{
    const std::string file = Write("A.tga", SmallTGA(9));
    Render->UploadQueue_Begin();
    Render->Texture_SetLoadOptions(0, 1);
    const int32_t slot = Render->Texture_Load(file);
    Render->Texture_SetLoadOptions(0, 0);
    T3D_Texture* texture = TextureAt(*Render, slot);
    EXPECT_EQ(texture->State, RESOURCE_FILE_READ);
    EXPECT_TRUE(Device.CallsStartingWith("CreateTexture").empty());
    ASSERT_EQ(Render->UploadQueue.size(), 1u);
    EXPECT_EQ(Render->UploadQueue[0].Kind, UPLOAD_TEXTURE);
    EXPECT_EQ(Render->UploadQueue[0].Cost, 32 * 8 * 8 / 8);
    EXPECT_EQ(Render->UploadQueue[0].Object, static_cast<T3D_UniversalResource*>(texture));

    // Performing keeps deferral on for the loader.
    Render->UploadQueue_Process(UPLOAD_FRAME_BUDGET);
    EXPECT_EQ(Render->DeferUploads, 1);
    EXPECT_EQ(texture->State, RESOURCE_ON_DEVICE);
    EXPECT_EQ(Device.CallsStartingWith("CreateTexture").size(), 1u);

    // Ending deferral keeps what is queued.
    Render->Texture_ReuploadGroup(1);
    Render->UploadQueue_End();
    EXPECT_FALSE(Render->UploadQueue_Empty());
    Render->UploadQueue_Process(UPLOAD_FRAME_BUDGET);
    EXPECT_TRUE(Render->UploadQueue_Empty());
    EXPECT_EQ(Device.CallsStartingWith("CreateTexture").size(), 1u) << "on the device: refilled, not made again";

    // After deferral, uploads happen at once.
    Render->Texture_Load(Write("B.tga", SmallTGA(3)));
    EXPECT_TRUE(Render->UploadQueue_Empty());
    EXPECT_EQ(Device.CallsStartingWith("CreateTexture").size(), 2u);
}

TEST_F(UploadQueueTest, DestroyedResourcesLeaveTheQueue)
{
    Render->UploadQueue_Begin();
    const int32_t gone = Render->Texture_Load(Write("A.tga", SmallTGA(1)));
    const int32_t kept = Render->Texture_Load(Write("B.tga", SmallTGA(2)));
    Render->Texture_Free(gone, 1);
    ASSERT_EQ(Render->UploadQueue.size(), 1u);
    Render->UploadQueue_Process(UPLOAD_FRAME_BUDGET);
    EXPECT_EQ(TextureAt(*Render, kept)->State, RESOURCE_ON_DEVICE);
    EXPECT_EQ(Device.CallsStartingWith("CreateTexture").size(), 1u);

    // Released without destroying: the task stays and makes it again.
    const int32_t released = Render->Texture_Load(Write("C.tga", SmallTGA(3)));
    Render->Texture_Free(released, 0);
    Render->UploadQueue_Process(UPLOAD_FRAME_BUDGET);
    EXPECT_EQ(TextureAt(*Render, released)->State, RESOURCE_ON_DEVICE);
    Render->UploadQueue_End();
}

// A loader's files: count small textures, file i of shade i.
class TLoaderThreadTest : public TRecordingRenderTest {
protected:
    std::vector<std::string> WriteTextures(const std::string& prefix, int count)
    {
        std::vector<std::string> files;
        for (int i = 0; i < count; i++)
            files.push_back(Write(prefix + std::to_string(i) + ".tga", SmallTGA(static_cast<uint8_t>(i))));
        return files;
    }
};

using UploadQueueThreadTest = TLoaderThreadTest;

TEST_F(UploadQueueThreadTest, LoaderQueuesWhileTheMainThreadPerforms)
{
    constexpr int Count = 200;
    const std::vector<std::string> files = WriteTextures("T", Count);
    std::atomic<bool> loaded{false};
    std::vector<int32_t> slots(Count, -1);
    std::thread loader([&] {
        Render->UploadQueue_Begin();
        for (int i = 0; i < Count; i++)
            slots[static_cast<size_t>(i)] = Render->Texture_Load(files[static_cast<size_t>(i)]);
        Render->UploadQueue_End();
        loaded = true;
    });
    // A small budget: a few textures per frame, as a loading window does.
    int frames = 0;
    while (!(loaded && Render->UploadQueue_Empty())) {
        Render->UploadQueue_Process(600);
        frames++;
        std::this_thread::yield();
    }
    loader.join();
    EXPECT_GT(frames, 0);

    std::set<int32_t> distinct(slots.begin(), slots.end());
    EXPECT_EQ(distinct.size(), static_cast<size_t>(Count));
    for (int32_t slot : slots) {
        const T3D_Texture* texture = TextureAt(*Render, slot);
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->State, RESOURCE_ON_DEVICE) << slot;
        const uint8_t shade = static_cast<uint8_t>(slot);
        EXPECT_EQ(static_cast<TFakeTexture*>(texture->Texture)->Levels[0].Bytes[0], shade) << slot;
    }
    EXPECT_EQ(Device.CallsStartingWith("CreateTexture").size(), static_cast<size_t>(Count)) << "none lost or doubled";
    const std::thread::id main = std::this_thread::get_id();
    for (const TRecordingDevice::TCall& call : Device.Calls())
        EXPECT_EQ(call.Thread, main) << call.Text << " ran on the loader thread";
}

// A loader thread frees textures, with and without destroying them, while
// the main thread performs their queued uploads one by one.
using TextureFreeThreadTest = TLoaderThreadTest;

TEST_F(TextureFreeThreadTest, LoaderFreesWhileTheMainThreadUploads)
{
    constexpr int Count = 300;
    const std::vector<std::string> files = WriteTextures("F", Count);
    std::atomic<bool> loaded{false};
    std::vector<std::pair<int32_t, int>> kept; // slot, file number
    std::vector<int32_t> released;
    std::thread loader([&] {
        Render->UploadQueue_Begin();
        for (int i = 0; i < Count; i++) {
            const int32_t slot = Render->Texture_Load(files[static_cast<size_t>(i)]);
            if (i % 3 == 0) {
                Render->Texture_Free(slot, 1);
            } else if (i % 3 == 1) {
                Render->Texture_Free(slot, 0);
                released.push_back(slot);
            } else {
                kept.emplace_back(slot, i);
            }
            std::this_thread::yield();
        }
        Render->UploadQueue_End();
        loaded = true;
    });
    while (!(loaded && Render->UploadQueue_Empty())) {
        Render->UploadQueue_Process(1);
        std::this_thread::yield();
    }
    loader.join();

    int32_t onDevice = 0, bytes = 0;
    for (int32_t slot = 0; slot < Render->TextureCount; slot++)
        if (const T3D_Texture* texture = TextureAt(*Render, slot); texture != nullptr) {
            // A texture released before its task ran is made again by it;
            // one released afterwards stays released.
            ASSERT_TRUE(texture->State == RESOURCE_ON_DEVICE || texture->State == RESOURCE_RELEASED) << slot;
            EXPECT_EQ(texture->Texture != nullptr, texture->State == RESOURCE_ON_DEVICE) << slot;
            if (texture->State == RESOURCE_ON_DEVICE) {
                onDevice++;
                bytes += texture->DeviceBytes;
            }
        }
    for (int32_t slot : released)
        EXPECT_NE(TextureAt(*Render, slot), nullptr) << "released, not destroyed: " << slot;
    for (const auto& [slot, number] : kept) {
        const T3D_Texture* texture = TextureAt(*Render, slot);
        ASSERT_NE(texture, nullptr) << slot;
        EXPECT_EQ(texture->FileName, "f" + std::to_string(number) + ".tga");
        ASSERT_EQ(texture->State, RESOURCE_ON_DEVICE) << slot;
        EXPECT_EQ(static_cast<TFakeTexture*>(texture->Texture)->Levels[0].Bytes[0], static_cast<uint8_t>(number));
    }
    int32_t left = 0;
    for (int32_t slot = 0; slot < Render->TextureCount; slot++)
        left += TextureAt(*Render, slot) != nullptr ? 1 : 0;
    EXPECT_EQ(left, Count / 3 * 2) << "every destroyed texture left its slot";
    EXPECT_EQ(Device.LiveObjects(), onDevice) << "no device texture leaked or released twice";
    EXPECT_EQ(Render->TextureObjects, onDevice);
    EXPECT_EQ(Render->TextureBytes, bytes);
    const std::thread::id main = std::this_thread::get_id();
    for (const TRecordingDevice::TCall& call : Device.Calls()) {
        // Releasing is allowed anywhere; the layer defers the GL deletion.
        if (call.Text.rfind("Texture.Release", 0) != 0) {
            EXPECT_EQ(call.Thread, main) << call.Text << " ran on the loader thread";
        }
    }
}

// A loader thread makes meshes and destroys two of every three while the main
// thread performs their queued uploads one by one: a destroyed mesh's task
// never runs, and no buffer is leaked or released twice.
using MeshFreeThreadTest = TLoaderThreadTest;

TEST_F(MeshFreeThreadTest, LoaderFreesWhileTheMainThreadUploads)
{
    constexpr int Count = 300;
    T3D_VertexArray vertices(4);
    const float xy[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (size_t i = 0; i < 4; i++)
        vertices[i].Position = {xy[i][0], xy[i][1], 0.5f};
    const TWordArray indices = {0, 1, 2, 0, 2, 3};
    std::atomic<bool> loaded{false};
    std::vector<int32_t> kept;
    std::thread loader([&] {
        Render->UploadQueue_Begin();
        for (int i = 0; i < Count; i++) {
            const int32_t slot = Render->Mesh_Add(MESH_TEXTURED, "M" + std::to_string(i), 1);
            Render->Mesh_Get(slot)->ImportGeometry(vertices, indices);
            if (i % 3 == 2)
                kept.push_back(slot);
            else
                Render->Mesh_Free(slot);
            std::this_thread::yield();
        }
        Render->UploadQueue_End();
        loaded = true;
    });
    while (!(loaded && Render->UploadQueue_Empty())) {
        Render->UploadQueue_Process(1);
        std::this_thread::yield();
    }
    loader.join();

    for (int32_t slot : kept) {
        const T3D_Mesh* mesh = Render->Mesh_Get(slot);
        ASSERT_NE(mesh, nullptr) << slot;
        EXPECT_EQ(mesh->State, RESOURCE_ON_DEVICE) << slot;
        EXPECT_NE(mesh->VertexBuffer, nullptr) << slot;
    }
    EXPECT_EQ(Device.LiveObjects(), static_cast<int>(kept.size()) * 2) << "a vertex and an index buffer per kept mesh";
    EXPECT_EQ(Render->MeshBytes, static_cast<int32_t>(kept.size()) * (4 * Render->Mesh_Get(kept[0])->VertexStride + 12));
}

} // namespace

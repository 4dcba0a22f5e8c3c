// Any bytes as a ".D3D" mesh file: list its names, then load every named
// record and look up its textures. A load either stops with the reader's
// refusal or leaves a mesh whose indices, subsets and bones all stay inside
// what it holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "render/QX9_Render_Meshes.h"
#include "tests/fuzz/FuzzRender.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

void Check(const T3D_Mesh& mesh)
{
    if (!mesh.HasGeometryData())
        return;
    for (uint16_t index : mesh.Indices)
        if (index >= mesh.VertexCount)
            __builtin_trap();
    for (const T3D_Subset& subset : mesh.Subsets)
        if (subset.First < 0 || subset.Count < 0 || static_cast<int64_t>(subset.First) + subset.Count > mesh.IndexCount)
            __builtin_trap();
    for (const T3D_Bone& bone : mesh.Skin.Bones)
        if (bone.Parent < -1 || bone.Parent >= static_cast<int32_t>(mesh.Skin.Bones.size()))
            __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzFiles files("d3d-fuzz", ".D3D");
    T3D_Render& render = FuzzRender();
    if (!FuzzWriteFile(files.Input, data, size))
        return 0;
    TStringArray names;
    if (FuzzRefuses([&] { render.Mesh_FindNames(files.Input, names); }))
        return 0;
    for (size_t i = 0; i < names.size() && i < 8; i++) {
        const int32_t slot = render.Mesh_Add(MESH_TEXTURED, "", 1);
        FuzzRefuses([&] {
            render.Mesh_Load(slot, files.Input, names[i], 0);
            TStringArray textures;
            render.Mesh_FindTexture(files.Input, names[i], textures);
            if (textures.size() > 16)
                __builtin_trap();
        });
        Check(*render.Mesh_Get(slot));
        render.Mesh_Free(slot);
    }
    render.UploadQueue.clear();
    return 0;
}

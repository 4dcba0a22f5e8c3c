// Any bytes as a COLLADA file: list the geometries, find their textures,
// import each with a skin and tangents, and read an animation into the
// skin. An import either stops with the reader's refusal or gives indices
// inside its vertices and influences inside its bones.
#include <cstddef>
#include <cstdint>
#include <string>

#include "render/QX9_Render_Collada.h"
#include "tests/fuzz/FuzzRender.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFuzzFiles files("dae-fuzz", ".DAE");
    FuzzRender();
    if (!FuzzWriteFile(files.Input, data, size))
        return 0;
    TStringArray names;
    if (FuzzRefuses([&] { Find_Names_XML(files.Input, names); }))
        return 0;
    names.push_back("Bar");
    for (size_t i = 0; i < names.size() && i < 4; i++) {
        const std::string name = names[i];
        FuzzRefuses([&] {
            std::string texture;
            Find_Texture_XML(files.Input, name, texture);
        });
        for (int32_t format : {MESH_SKINNED, MESH_TREECOMA, MESH_GRASS}) {
            T3D_Skin skin;
            T3D_VertexArray vertices;
            TWordArray indices;
            const uint8_t tangents = static_cast<uint8_t>(format == MESH_SKINNED ? 3 : 2);
            FuzzRefuses([&] {
                Load_Geometry_XML(files.Input, name, format, vertices, indices, &skin, tangents);
                Load_Animation_XML(files.Input, "Clip", skin);
            });
            for (uint16_t index : indices)
                if (index >= vertices.size())
                    __builtin_trap();
            for (const T3D_Vertex& v : vertices)
                for (int32_t k = 0; k < 4; k++)
                    if (v.Weight[k] != 0 && v.BoneIndex[k] >= skin.Bones.size())
                        __builtin_trap();
            if (skin.RootBone < 0 || (!skin.Bones.empty() && skin.RootBone >= static_cast<int32_t>(skin.Bones.size())))
                __builtin_trap();
        }
    }
    return 0;
}

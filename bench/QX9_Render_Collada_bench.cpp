// COLLADA import: the whole Load_Geometry_XML of a generated skinned model
// of 20,000 triangles with tangents (mode 2), and the weld and tangent merge
// of a 3,000-triangle model through the key table against their plain
// every-vertex-with-every-other form.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/os/OS.h"
#include "render/QX9_Render_Collada.h"
#include "tests/render/ColladaLiteral.h"
#include "tools/ColladaFiles.h"

namespace {

// A rolling surface of columns x rows quads with two joints, every grid
// point weighted between them by its depth.
std::string GridModel(int32_t columns, int32_t rows)
{
    ColladaFiles::TDocument d;
    ColladaFiles::TGeometry g;
    g.Name = "Field";
    ColladaFiles::TSkin skin;
    skin.Geometry = "Field";
    for (int32_t r = 0; r <= rows; r++)
        for (int32_t c = 0; c <= columns; c++) {
            const float x = static_cast<float>(c) / 10, z = static_cast<float>(r) / 10;
            const float y = std::sin(x) * std::cos(z);
            g.Positions.push_back({x, y, z});
            TVec3 n = {-std::cos(x) * std::cos(z), 1, std::sin(x) * std::sin(z)};
            Vec3Normalize(n, n);
            g.Normals.push_back(n);
            g.TexCoords.push_back({static_cast<float>(c) / columns, static_cast<float>(r) / rows});
            const float w = static_cast<float>(r) / rows;
            skin.Influences.push_back({{0, 1 - w}, {1, w}});
        }
    auto point = [columns](int32_t c, int32_t r) { return r * (columns + 1) + c; };
    for (int32_t r = 0; r < rows; r++)
        for (int32_t c = 0; c < columns; c++) {
            const int32_t a = point(c, r), b = point(c + 1, r), e = point(c + 1, r + 1), f = point(c, r + 1);
            for (int32_t p : {a, e, b, a, f, e})
                g.Corners.push_back({p, p, p});
        }
    d.Geometries = {g};
    ColladaFiles::TJoint root, tip;
    root.Name = "joint_root";
    root.NodeName = "Root";
    tip.Name = "joint_tip";
    tip.NodeName = "Tip";
    tip.Parent = 0;
    skin.Joints = {root, tip};
    d.Skins = {skin};
    return ColladaFiles::Make(d);
}

struct TModelFile {
    std::string Path;
    TModelFile()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "duskmarch-collada-XXXXXX").string();
        const std::string folder = mkdtemp(pattern.data());
        const std::string text = GridModel(100, 100);
        Path = OS_ToProgramPath(folder) + "\\Field.DAE";
        OS_WriteFileAtomic(Path, text.data(), text.size());
    }
};

void BM_LoadGeometryXML_20000Triangles(benchmark::State& state)
{
    static TModelFile file;
    for (auto _ : state) {
        T3D_VertexArray vertices;
        TWordArray indices;
        T3D_Skin skin;
        Load_Geometry_XML(file.Path, "Field", MESH_SKINNED, vertices, indices, &skin, 2);
        benchmark::DoNotOptimize(vertices.data());
        state.counters["vertices"] = static_cast<double>(vertices.size());
        state.counters["triangles"] = static_cast<double>(indices.size() / 3);
    }
}
BENCHMARK(BM_LoadGeometryXML_20000Triangles)->Unit(benchmark::kMillisecond);

template <bool Plain> void BM_WeldAndMerge_3000Triangles(benchmark::State& state)
{
    std::vector<TColladaVertex> model;
    std::vector<int32_t> modelIndices;
    ColladaLiteral::GridCorners(50, 30, model, modelIndices);
    for (auto _ : state) {
        std::vector<TColladaVertex> vertices = model;
        std::vector<int32_t> indices = modelIndices;
        if (Plain) {
            ColladaLiteral::MergeTangents(vertices);
            ColladaLiteral::Weld(vertices, indices);
        } else {
            ColladaMergeTangents(vertices);
            ColladaWeld(vertices, indices);
        }
        benchmark::DoNotOptimize(vertices.data());
    }
}
BENCHMARK_TEMPLATE(BM_WeldAndMerge_3000Triangles, false)
    ->Name("BM_WeldAndMerge_3000Triangles/Table")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_WeldAndMerge_3000Triangles, true)
    ->Name("BM_WeldAndMerge_3000Triangles/Plain")
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

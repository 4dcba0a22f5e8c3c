// The personage art: a skinned figure per model file of the unit table with
// its clips for every weapon prefix it carries, the gear the items name
// (weapons, shields, quivers, a horse), and their textures at two sizes
// (the arena's and the map's).
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "tools/NullRender.h"
#include "tools/artgen/ArtOutput.h"
#include "tools/artgen/ArtPersGear.h"

namespace {

using namespace ArtPers;

const std::string Personages = "Personages\\";
const std::string Weapons = "Personages\\Weapons\\";

// Figure textures: the arena's and the map's (smaller) size.
constexpr uint32_t FigureSize = 128, FigureSmallSize = 64;
constexpr uint32_t GearSize = 256, GearSmallSize = 128;

std::vector<TMeshFileTexture> TextureNames(const std::string& base)
{
    return {{base + "_d.dds", 0, 0}, {base + "_s.dds", 0, 1}, {base + "_n.dds", 0, 2}};
}

void WriteTextureSet(TArtOutput& out, const std::string& folder, const std::string& base,
                     const TFigureTextures& textures, uint32_t normalBlock)
{
    out.WriteDDS(folder + base + "_d.DDS", ArtLand::MakeMippedDDS(textures.Diffuse, false));
    out.WriteDDS(folder + base + "_s.DDS", ArtLand::MakeMippedDDS(textures.Specular, false));
    out.WriteDDS(folder + base + "_n.DDS",
                 ArtLand::MakeMippedDDS(ArtLand::NormalMap(textures.Diffuse, 2.0f, normalBlock), false));
}

void WriteFigures(TArtOutput& out, T3D_Render& render)
{
    for (const TFigureLook& look : FigureLooks()) {
        const TBodyPlan plan = look.Beast ? BeastPlan() : HumanPlan(look.Height, look.Bulk);
        T3D_Skin skin = SkeletonOf(plan);
        std::vector<std::string> prefixes = {"na_"};
        prefixes.insert(prefixes.end(), look.Prefixes.begin(), look.Prefixes.end());
        for (const std::string& prefix : prefixes) {
            for (const std::string& name : ClipBaseNames())
                AddClip(skin, plan, prefix, name);
            if (prefix == "pike_")
                for (const std::string& name : FarClipNames())
                    AddClip(skin, plan, prefix, name);
        }
        const TShape body = look.Beast ? BeastBody(plan) : HumanBody(look, plan);
        out.WriteMeshFile(
            Personages + look.FileName + ".D3D",
            {ArtLand::MakeRecord(render, look.FileName, MESH_SKINNED, body, TextureNames(look.FileName), &skin)});
        WriteTextureSet(out, Personages + "Textures\\", look.FileName, PaintFigure(look, FigureSize), FigureSize / 4);
        WriteTextureSet(out, Personages + "Textures_Small\\", look.FileName, PaintFigure(look, FigureSmallSize),
                        FigureSmallSize / 4);
    }
}

void WriteGear(TArtOutput& out, T3D_Render& render)
{
    for (const TGearPiece& piece : GearPieces()) {
        const T3D_Skin skin = RigidSkin(piece.FileName);
        out.WriteMeshFile(
            Weapons + piece.FileName + ".D3D",
            {ArtLand::MakeRecord(render, piece.FileName, MESH_SKINNED, piece.Make(), TextureNames("Gear"), &skin)});
    }
    const T3D_Skin horse = HorseSkin();
    out.WriteMeshFile(Weapons + "Horse_Grey.D3D", {ArtLand::MakeRecord(render, "Horse_Grey", MESH_SKINNED, MakeHorse(),
                                                                       TextureNames("Gear"), &horse)});
    WriteTextureSet(out, Weapons + "Textures\\", "Gear", PaintGear(GearSize), GearSize / 4);
    WriteTextureSet(out, Weapons + "Textures_Small\\", "Gear", PaintGear(GearSmallSize), GearSmallSize / 4);
}

} // namespace

void GeneratePersonageArt(TArtOutput& out)
{
    const std::unique_ptr<T3D_Render> render = MakeNullRender();
    WriteFigures(out, *render);
    WriteGear(out, *render);
}

// The benchmark's figure: the first human of the sample with its "na_" clips
// and forty more bones (eight fringes of five links hanging from the
// pelvis, swaying in every clip), seventy in all, as large a skeleton as a
// personage may have. Not part of the installation.
void GenerateBenchFigure(TArtOutput& out)
{
    const std::unique_ptr<T3D_Render> render = MakeNullRender();
    const TFigureLook* look = nullptr;
    for (const TFigureLook& l : FigureLooks())
        if (!l.Beast && look == nullptr)
            look = &l;
    if (look == nullptr)
        throw TArtError("no human figure for the benchmark");
    const TBodyPlan plan = HumanPlan(look->Height, look->Bulk);
    T3D_Skin skin = SkeletonOf(plan);
    for (const std::string& name : ClipBaseNames())
        AddClip(skin, plan, "na_", name);
    constexpr int32_t Fringes = 8, Links = 5;
    for (int32_t f = 0; f < Fringes; f++)
        for (int32_t k = 0; k < Links; k++) {
            T3D_Bone bone;
            bone.Name = bone.NodeName = "Fringe" + std::to_string(f) + "_" + std::to_string(k);
            bone.Parent = k == 0 ? 0 : static_cast<int32_t>(skin.Bones.size()) - 1;
            for (const T3D_Clip& clip : skin.Clips) {
                T3D_Track track;
                MatrixTranslation(track.Matrix, k == 0 ? 0.2f * std::cos(0.785f * static_cast<float>(f)) : 0,
                                  k == 0 ? 0.9f : -0.08f, k == 0 ? 0.2f * std::sin(0.785f * static_cast<float>(f)) : 0);
                const float seconds = static_cast<float>(clip.FrameCount) / 1000.0f;
                for (int32_t key = 0; key <= 4; key++) {
                    TMatrix4 sway, keyMatrix;
                    MatrixRotationX(sway, 0.15f * std::sin(1.5708f * static_cast<float>(key + f + k)));
                    MatrixMultiply(sway, track.Matrix, keyMatrix);
                    track.Times.push_back(seconds * static_cast<float>(key) / 4);
                    track.Keys.push_back(keyMatrix);
                }
                bone.Tracks.push_back(track);
            }
            skin.Bones.push_back(bone);
        }
    const TShape body = HumanBody(*look, plan);
    out.WriteMeshFile("Figure70.D3D", {ArtLand::MakeRecord(*render, "Figure70", MESH_SKINNED, body, {}, &skin)});
}

// The installation's shader folders of the two scenes and the vertex/pixel
// programs their passes combine, shared by the tests that compile, link and
// draw them.
#pragma once

#include <cstdint>

namespace SceneShaderPairs {

// Below the installation folder.
inline const char* const Landscape = "Landscape/Shaders/";
inline const char* const Arenas = "Arenas/Shaders/";

// The vertex and pixel programs each pass of the two scenes combines, with
// the vertex format of the meshes drawn through them.
struct TPair {
    const char* Folder;
    const char* Vertex;
    const char* Pixel;
    int32_t Format;
};

inline const TPair ScenePairs[] = {
    // MAP "1DEPTH": the pass's own pair for models (3), the terrain's pixel
    // program for land, hills (4) and water (7), the plants' and skinned
    // models' vertex programs.
    {Landscape, "Shadow_VS", "Shadow_PS", 3},
    {Landscape, "Shadow_VS", "Shadow_Land_PS", 4},
    {Landscape, "Shadow_VS", "Shadow_Land_PS", 7},
    {Landscape, "Shadow_Tree_VS", "Shadow_PS", 8},
    {Landscape, "Shadow_Grass_VS", "Shadow_PS", 9},
    {Landscape, "Shadow_Army_VS", "Shadow_PS", 5},
    // MAP "CP_XYZ": everything that can be pointed at.
    {Landscape, "Picking_VS", "Picking_XYZ_PS", 3},
    {Landscape, "Picking_VS", "Picking_XYZ_PS", 4},
    {Landscape, "Picking_VS", "Picking_XYZ_PS", 7},
    {Landscape, "Picking_VS", "Picking_XYZ_PS", 8},
    {Landscape, "Picking_Army_VS", "Picking_XYZ_PS", 5},
    // MAP "CP_INDEX" and "MAP_INDEX": pick numbers of models and armies.
    {Landscape, "Picking_VS", "Picking_Index_PS", 3},
    {Landscape, "Picking_Army_VS", "Picking_Index_PS", 5},
    // MAP "MAP_HEIGHT".
    {Landscape, "Height_VS", "Height_PS", 4},
    // MAP "GUI": pre-transformed quads (the layer's own vertex stage).
    {Landscape, "Screen_VS", "Screen_PS", 6},
    // MAP "MAIN" (and "EARLY_Z", which draws with the instances' programs):
    // models and trunks, foliage, grass, land and hills, water, armies and
    // skinned building parts, the route arrow.
    {Landscape, "Object_VS", "Object_PS", 3},
    {Landscape, "Tree_VS", "Tree_PS", 8},
    {Landscape, "Grass_VS", "Grass_PS", 9},
    {Landscape, "Land_VS", "Land_PS", 4},
    {Landscape, "Water_VS", "Water_PS", 7},
    {Landscape, "Army_VS", "Army_PS", 5},
    {Landscape, "PathArrow_VS", "PathArrow_PS", 3},
    // ARENA "1DEPTH".."3DEPTH": solid and alpha-tested objects, skinned
    // personages, gear and effects.
    {Arenas, "Depth_VS", "Depth_PS", 3},
    {Arenas, "Depth_VS", "Depth_Alpha_PS", 3},
    {Arenas, "Depth_VS", "Depth_Alpha_PS", 8},
    {Arenas, "Depth_VS", "Depth_Alpha_PS", 9},
    {Arenas, "Depth_Skinned_VS", "Depth_PS", 5},
    {Arenas, "Depth_Skinned_VS", "Depth_Alpha_PS", 5},
    // ARENA "DEPTHCLEAR1".."DEPTHCLEAR3".
    {Arenas, "DepthClear_VS", "DepthClear_PS", 3},
    // ARENA "CP_INDEX" and "CP_DIRECT".
    {Arenas, "Picking_VS", "Picking_Index_PS", 3},
    {Arenas, "Picking_VS", "Picking_Index_Alpha_PS", 3},
    {Arenas, "Picking_Skinned_VS", "Picking_Index_PS", 5},
    {Arenas, "Picking_Skinned_VS", "Picking_Index_Alpha_PS", 5},
    // ARENA "GUI" takes the map's screen programs.
    {Landscape, "Screen_VS", "Screen_PS", 6},
    // ARENA "MAIN": the main pixel programs of the scene objects by type,
    // sides and highlight model, the marks and the hex field, the effects.
    {Arenas, "Normaled_VS", "Textured_PS", 3},
    {Arenas, "Normaled_VS", "Textured_DS_PS", 3},
    {Arenas, "Normaled_VS", "Normaled_PS", 3},
    {Arenas, "Normaled_VS", "Normaled_DS_PS", 3},
    {Arenas, "Normaled_VS", "Normaled_Phong_PS", 3},
    {Arenas, "Normaled_VS", "Normaled_Cook_PS", 3},
    {Arenas, "Normaled_VS", "Normaled_DS_Phong_PS", 3},
    {Arenas, "Normaled_VS", "Normaled_DS_Cook_PS", 3},
    {Arenas, "Normaled_VS", "Flat_PS", 3},
    {Arenas, "Normaled_VS", "Selection_PS", 3},
    {Arenas, "Grass_VS", "Grass_PS", 9},
    {Arenas, "TreeComa_VS", "TreeComa_PS", 8},
    {Arenas, "Water_VS", "Water_PS", 7},
    {Arenas, "Skinned_VS", "Normaled_PS", 5},
    {Arenas, "Skinned_VS", "Normaled_DS_PS", 5},
    {Arenas, "Skinned_VS", "Normaled_Phong_PS", 5},
    {Arenas, "Skinned_VS", "Normaled_Cook_PS", 5},
    {Arenas, "Skinned_VS", "Normaled_DS_Phong_PS", 5},
    {Arenas, "Skinned_VS", "Normaled_DS_Cook_PS", 5},
    {Arenas, "Skinned_VS", "Over_PS", 5},
    // ARENA "MAIN" of a scene in test mode.
    {Arenas, "Normaled_VS", "Textured_Test_PS", 3},
    {Arenas, "Normaled_VS", "Textured_DS_Test_PS", 3},
    {Arenas, "Normaled_VS", "Normaled_Test_PS", 3},
    {Arenas, "Normaled_VS", "Normaled_DS_Test_PS", 3},
    {Arenas, "Normaled_VS", "Flat_Test_PS", 3},
    {Arenas, "Grass_VS", "Grass_Test_PS", 9},
    {Arenas, "TreeComa_VS", "TreeComa_Test_PS", 8},
    {Arenas, "Water_VS", "Water_Test_PS", 7},
    {Arenas, "Skinned_VS", "Normaled_Test_PS", 5},
};

} // namespace SceneShaderPairs

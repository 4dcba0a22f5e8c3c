// Landscape materials: what an instance of the MAP scene draws with, by
// material kind: the world and projection constants, group bits, sort
// priority, pick number, render states and shaders.
#pragma once

#include <cstdint>
#include <string>

// Material kinds.
inline constexpr int32_t MAP_MATERIAL_BUILDING = 0;
inline constexpr int32_t MAP_MATERIAL_OBJECT = 1;
inline constexpr int32_t MAP_MATERIAL_FOLIAGE = 3;
inline constexpr int32_t MAP_MATERIAL_TRUNK = 4;
inline constexpr int32_t MAP_MATERIAL_GRASS = 5;
inline constexpr int32_t MAP_MATERIAL_LAND = 6;
inline constexpr int32_t MAP_MATERIAL_HILL = 7;
inline constexpr int32_t MAP_MATERIAL_WATER = 8;
inline constexpr int32_t MAP_MATERIAL_ARMY = 10;
inline constexpr int32_t MAP_MATERIAL_ROUTE = 15;

// Pick numbers: building b gives b (its "Enter" parts b + 16384), map
// object o gives 3000 + o, army a gives 6000 + a; pickId is b, o or a.
inline constexpr int32_t PICK_ENTER_OFFSET = 16384;
inline constexpr int32_t PICK_OBJECT_OFFSET = 3000;
inline constexpr int32_t PICK_ARMY_OFFSET = 6000;

// Sets up instance of the named scene for the material kind; mainPass empty
// means "MAIN". Nothing happens for a scene or instance that is not there.
void SetupMapMeshMaterial(const std::string& sceneName, int32_t instance, int32_t kind, const std::string& mainPass,
                          int32_t pickId);

// Landscape placement: puts a loaded scenario's buildings, objects, terrain
// chunks and plants into the "MAP" scene and takes them out again, keeping
// per record the scene instances it made (the terrain's drawn footprints,
// the lighting and the world rules reach them through these lists). Also the
// snapshot of an army's personages and the change test against it, which
// the party screens use when they close.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/QX9_System.h"
#include "model/SceneHooks.h"
#include "model/world/World_Tables.h"

// Set by the map screen while its render worker draws the "MAP" scene; the
// main thread's model updates leave the scene alone then and keep their
// marks for later.
extern std::atomic<uint8_t> MapWorkerBusy;

// The visible set changed (redraw) / instances were added or replaced
// (re-sort the passes). Set here, read and cleared by the map screen.
extern uint8_t MapSceneChanged;
extern uint8_t MapSceneResort;

// Per army its model's root instance (one entry, or none); every building or
// object part whose mesh has bones, in placement order. BuildingInstances and
// ObjectInstances live beside the lighting's other tables.
extern std::vector<TIntArray> ArmyInstances;
extern TIntArray AnimatedInstances;

// What PlaceMapModel places.
enum TMapModelKind : int32_t {
    mmkBuilding = 4,
    mmkObject = 5,
    mmkArmy = 11,
};

// "Building" + "007", "Object" + "012", "Army" + "003"; "Land" + "0042".
std::string MapInstanceName(const char* prefix, int32_t number, int32_t digits);

// Empties the "MAP" scene of every instance; the placement lists forget
// theirs (entries -1, lists empty).
void ClearMapSceneInstances();
// Takes every building, object, chunk and plant instance off the "MAP" scene,
// frees the chunk and plant meshes and empties the building and object
// tables. Army models are cleared before (ClearArmies).
void ClearMapPlacements();
// Every building and object, the chunk and plant instances; then the main
// pass is sorted.
void PlaceBuildingsAndObjects();
// One building (kind 4), object (kind 5) or army (kind 11). A building or
// object whose library entry lies past the library is reported and left out.
void PlaceMapModel(int32_t kind, int32_t number);

// Starts the clips of the animated building and object parts: part i plays
// clip i mod its clip count, 3 s later than part i - 1.
void AnimateMapObjects(int32_t time);
// Shows or hides every part of a map object. While the map render worker
// draws, the wish is kept until FlushMapObjectVisibility, which the map
// screen calls between frames as it refreshes the marked armies.
void SetMapObjectVisible(int32_t object, bool visible);
void FlushMapObjectVisibility();
// Sizes the building, object and army lists (existing entries kept); trees
// and points have none.
void ResizeMapPlacements(TMapPlacementList list, int32_t count);

// The army's personages with every filled slot s tagged s * 8192 in the copy.
void CopyArmyUnits(const TArmyUnits& units, TArmyUnits& copy);
// Whether the personages differ from a copy in anything the computer armies
// weigh: every copied personage must pair with a live one of its unit type
// equal on the compared fields, each live one used once, and nobody left
// over. A swap of slots is no change.
bool HasArmyUnitsChanged(const TArmyUnits& units, const TArmyUnits& copy);

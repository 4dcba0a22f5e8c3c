// Landscape armies: one personage model per army on the strategic map,
// showing the army's leader with the equipment it carries, facing its
// heading; made, refreshed and taken off the "MAP" scene here.
#pragma once

#include <cstdint>

// Places armies 0..ArmyCount (when there are any), then sorts the main pass.
void PlaceArmies();
// Takes every army's model off the scene (removing the instances when
// remove), frees the path trackers and empties the army tables.
void ClearArmies(bool remove);
// Takes the army's equipment off its model and forgets the model; with
// remove the root instance leaves the scene too.
void ClearArmyModel(int32_t army, bool remove);
// Makes or refreshes the army's model from its leader, equipment, place,
// heading and visibility. While the map render worker draws, only the army's
// update mark is set; the map screen calls again for every marked army.
// An army without a leader, or whose type has no map model, shows nothing.
void UpdateArmyModel(int32_t army);
// Sets the army's update mark (the model is refreshed on the next call of
// UpdateArmyModel for marked armies).
void MarkArmyModelUpdate(int32_t army);
// Loads the map model of a unit type (its template's file) on first use.
void LoadPersonageMapModel(int32_t unitType);
// The angle a model of an army with that heading (radians x 10000) is
// turned by: the models look down their own -z.
float ArmyModelAngle(int64_t heading);

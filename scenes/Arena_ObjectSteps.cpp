// The object steps the scene file loader runs, in their plain form: objects
// keep the instance state the loader gave them. The object placement unit
// (materials, placement, animation, attachments, tags) replaces this file.
#include "scenes/Arena_SceneFile.h"

void SetupArenaObjectMaterial(int32_t, int32_t) {}

void ApplyArenaObjectShaders() {}

void PlaceArenaObject(int32_t) {}

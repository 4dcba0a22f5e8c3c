// The meshes and interface sprites the start-up loader makes once for the
// map, camp, building and battle screens: the hex-cell meshes, the route
// arrow, the slot frames, selection marks, small buttons and icons.
//
// Threads: the start-up loader thread (the renderer defers the uploads).
#pragma once

#include <cstdint>
#include <string>

extern int32_t HexCircleMesh;
extern int32_t HexPartMeshes[3][6]; // R, C, L by direction 1..6
extern int32_t HexFlatArrowMesh;
extern int32_t WayArrowMesh;

// The battle meshes and the route arrow. The pictures of the battle cells
// come with the battle screens: a file the installation lacks is left out.
void LoadSharedMeshes();

// One shared sprite: where it lives, how it is sized and moved, and whether
// it is tinted or faded.
struct TSharedSpriteEntry {
    const char* Folder; // "I" InterfaceFolder, "W" WindowsFolder, then the sub-folder
    const char* Name;   // without an extension: ".DDS"
    float Width = 0;    // 0: as loaded
    float Height = 0;
    float MoveX = 0;
    float MoveY = 0;
    uint32_t Tint = 0;  // 0: none, else RGB
    int32_t Alpha = -1; // -1: as loaded
    float Scale = 0;    // 0: none
};
extern const TSharedSpriteEntry SharedSpriteEntries[];
extern const int32_t SharedSpriteCount;
// Sprite of each entry, in entry order (filled by LoadSharedSprites).
extern int32_t SharedSprites[];

// The file a entry names (".DDS" added to names without an extension).
std::string SharedSpriteFile(const TSharedSpriteEntry& entry);
// The sprite of a entry by its name, the n-th of that name (0 first); -1 none.
int32_t FindSharedSprite(const std::string& name, int32_t nth = 0);

void LoadSharedSprites();

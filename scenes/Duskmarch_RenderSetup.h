// The game's render set-up: the one renderer and its device, interface
// sprites that share the same shaders and blend states, sprites loaded from
// image files with fall-backs, copies of sprites, meshes loaded into new
// slots, file-name variants of material textures, the quad that lays the
// separately rendered interface over the 3D scenes, and the renderer hooks
// through which the game tables reach all of it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/d3d9/D3D9.h"
#include "render/QX9_Render.h"

extern T3D_Render* MainRender;

// The render set-up record the main program fills before the graphics start.
struct TRenderSettings {
    uint8_t Created = 0;      // the renderer exists
    uint8_t AntiAliasing = 0; // the device multisamples
    int32_t ScreenWidth = 0;  // the screen size the program runs at
    int32_t ScreenHeight = 0;
};
extern TRenderSettings RenderSettings;

// Flag 1: the interface is rendered through its own pass, under whose name
// interface sprites register their shaders.
struct TGUIVirtualSize {
    uint8_t Flag = 0;
    std::string TargetName;
    int32_t Width = 0;
    int32_t Height = 0;
};
extern TGUIVirtualSize GUIVirtualSize;

extern int32_t GUIQuadMesh;  // mesh slot of "GUI_Quad_Mesh"
extern int32_t MapGUIQuad;   // its instance in the scene "MAP"
extern int32_t ArenaGUIQuad; // its instance in the scene "ARENA"

// Makes MainRender once and a device on the window; always true.
bool CreateRender(HWND window, int32_t width, int32_t height, uint8_t fullscreen);
// The base name with the suffix and extension (or without the suffix); true
// when the name written to out exists.
bool FindFileVariant(const std::string& baseName, const std::string& suffix, const std::string& extension,
                     std::string& out);
void CreateInterfaceSprite(int32_t& index);
int32_t NewInterfaceSprite();
// A new sprite with the source's quads, textures, shaders and states and
// its own empty constants; -1 for a missing source.
int32_t CloneSprite(int32_t index);
// A new interface sprite showing the image; a missing image falls back to
// the other of ".TGA"/".DDS" and then to the placeholder "Unknown.tga".
int32_t LoadSprite(const std::string& fileName, uint8_t clamp);
int32_t LoadMesh(int32_t vertexFormat, const std::string& fileName, const std::string& meshName,
                 const std::string& slotName);
// The mesh "GUI_Quad_Mesh": one screen-sized sprite quad whose texture
// coordinates cover the used part of the square interface target; its slot
// goes to GUIQuadMesh.
int32_t CreateGUIQuadMesh(int32_t screenWidth, int32_t screenHeight);
void CreateMapGUIQuad(uint32_t groupBits);
void CreateArenaGUIQuad(uint32_t groupBits);

// The renderer's end: every mesh, sprite, font, scene, texture, shader and
// constant it holds is freed, the device and the Direct3D object released,
// and MainRender deleted.
void DestroyMainRender();

// Lets the game tables load sprites, meshes, textures and fonts through
// MainRender (nullptr-safe: without a renderer nothing is installed).
void InstallGameRenderHooks();
void RemoveGameRenderHooks();

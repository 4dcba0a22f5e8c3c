// The renderer and GUI services the game tables and the set-up layer call:
// sprites, sprite clones, meshes, textures, fonts, texture load options, the
// read-only lock of a render target, and the GUI's windowed flag, system
// cursor and message box. The game installs its renderer here at
// start-up; the rule library itself never includes render, window or sound
// headers, and without a renderer (headless runs, tests) every call does
// nothing and answers "no object".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A render target's readable surface, locked for reading: 32-bit pixels with
// the bytes blue, green, red, alpha; rows top first, Pitch bytes apart.
struct TRenderTargetLock {
    const uint8_t* Bits = nullptr;
    int32_t Pitch = 0;
    int32_t Width = 0;
    int32_t Height = 0;
};

class TRenderHooks {
public:
    virtual ~TRenderHooks() = default;

    // Options kept for the textures loaded afterwards (mipmaps, pool, group bits).
    virtual void Texture_SetLoadOptions(int32_t flags, int32_t group) { (void)flags, (void)group; }
    // Index of the texture of a file (0 none).
    virtual int32_t Texture_Load(const std::string& file) { return (void)file, 0; }

    // Index of a new sprite made from an image file; the renderer tries the
    // other of ".TGA"/".DDS" and then the interface's "Unknown.tga" itself.
    virtual int32_t LoadSprite(const std::string& path, int32_t flag) { return (void)path, (void)flag, 0; }
    virtual int32_t CloneSprite(int32_t sprite) { return (void)sprite, 0; }
    // quad -1: scale all quads to the size.
    virtual void Sprite_SetSize(int32_t sprite, int32_t quad, float width, float height)
    {
        (void)sprite, (void)quad, (void)width, (void)height;
    }
    virtual void Sprite_SetPosition(int32_t sprite, float x, float y) { (void)sprite, (void)x, (void)y; }
    virtual void Sprite_SetRenderState(int32_t sprite, uint32_t key, uint32_t value)
    {
        (void)sprite, (void)key, (void)value;
    }

    virtual int32_t Font_Load(const std::string& file) { return (void)file, 0; }
    virtual int32_t Font_Clone(int32_t font) { return (void)font, 0; }
    virtual void Font_SetColor(int32_t font, int32_t red, int32_t green, int32_t blue)
    {
        (void)font, (void)red, (void)green, (void)blue;
    }
    virtual void Font_SetAlpha(int32_t font, int32_t alpha) { (void)font, (void)alpha; }

    // Index of a new empty mesh, -1 when there is no renderer.
    virtual int32_t Mesh_Add(int32_t kind, const std::string& name) { return (void)kind, (void)name, -1; }
    // The mesh names stored in a model file; the renderer stops the program
    // when the file is missing or empty.
    virtual void Mesh_FindNames(const std::string& file, std::vector<std::string>& names)
    {
        (void)file;
        names.clear();
    }
    // The texture file names of the named mesh, by texture stage.
    virtual void Mesh_FindTexture(const std::string& file, const std::string& meshName,
                                  std::vector<std::string>& textures)
    {
        (void)file, (void)meshName;
        textures.clear();
    }
    virtual void Mesh_Load(int32_t mesh, const std::string& file, int32_t option, const std::string& meshName)
    {
        (void)mesh, (void)file, (void)option, (void)meshName;
    }
    virtual void Mesh_SetTexture(int32_t mesh, int32_t stage, int32_t texture)
    {
        (void)mesh, (void)stage, (void)texture;
    }

    // Locks the readable surface of a render target for reading; false when
    // there is no such target.
    virtual bool RenderTarget_LockRead(int32_t target, TRenderTargetLock& lock)
    {
        return (void)target, (void)lock, false;
    }
    virtual void RenderTarget_Unlock(int32_t target) { (void)target; }

    // The GUI runs in a window (1) or full screen (0); error reports of the
    // rules appear as boxes only in a window.
    virtual bool Windowed() { return false; }
    virtual void ShowSystemCursor(bool show) { (void)show; }
    // The name of the GUI's active window (empty when none).
    virtual std::string ActiveWindowName() { return {}; }
    // A modal message box (headless: written to stderr).
    virtual void ShowMessageBox(const std::string& caption, const std::string& text);
};

// The renderer the game installed, or the silent default. Never null.
TRenderHooks& RenderHooks();
// Installs a renderer (nullptr restores the silent default).
void SetRenderHooks(TRenderHooks* hooks);

// An error report of the rules: in windowed mode a message box with the
// system cursor shown while it is up; in full-screen mode nothing.
void ShowWindowedErrorBox(const std::string& caption, const std::string& text);

// A renderer for the game tables' tests: hands out fresh numbers for
// sprites, textures, fonts and meshes and records every call, so a test can
// ask which file a sprite came from and what was done to it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "model/Hooks.h"

class TRecordingRenderHooks : public TRenderHooks {
public:
    struct TSprite {
        std::string File;    // the image file, empty for a clone
        int32_t CloneOf = 0; // the sprite it was copied from
        float Width = 0;     // the last size set (all quads)
        float Height = 0;
        float X = 0;
        float Y = 0;
        bool Positioned = false;
        uint32_t StateKey = 0;
        uint32_t StateValue = 0;
    };
    struct TFont {
        std::string File;
        int32_t CloneOf = 0;
        int32_t Red = -1, Green = -1, Blue = -1, Alpha = -1;
    };

    std::vector<std::string> Calls;
    std::map<int32_t, TSprite> Sprites;
    std::map<int32_t, TFont> Fonts;
    std::map<int32_t, std::string> Textures;
    std::map<std::string, std::vector<std::string>> MeshNames;    // by model file
    std::map<std::string, std::vector<std::string>> MeshTextures; // by model file
    std::vector<std::string> MeshesAdded;
    // The screenshot surface.
    std::vector<uint8_t> Surface;
    int32_t SurfaceWidth = 0;
    int32_t SurfaceHeight = 0;
    int32_t Locks = 0;
    int32_t Unlocks = 0;

    void Texture_SetLoadOptions(int32_t flags, int32_t group) override
    {
        Calls.push_back("Options " + std::to_string(flags) + "," + std::to_string(group));
    }
    int32_t Texture_Load(const std::string& file) override
    {
        const int32_t n = static_cast<int32_t>(Textures.size()) + 1;
        Textures[n] = file;
        return n;
    }
    int32_t LoadSprite(const std::string& path, int32_t flag) override
    {
        Calls.push_back("LoadSprite " + path + " " + std::to_string(flag));
        const int32_t n = NextSprite++;
        Sprites[n].File = path;
        return n;
    }
    int32_t CloneSprite(int32_t sprite) override
    {
        const int32_t n = NextSprite++;
        Sprites[n].CloneOf = sprite;
        return n;
    }
    void Sprite_SetSize(int32_t sprite, int32_t quad, float width, float height) override
    {
        if (quad == -1) {
            Sprites[sprite].Width = width;
            Sprites[sprite].Height = height;
        }
    }
    void Sprite_SetPosition(int32_t sprite, float x, float y) override
    {
        Sprites[sprite].X = x;
        Sprites[sprite].Y = y;
        Sprites[sprite].Positioned = true;
    }
    void Sprite_SetRenderState(int32_t sprite, uint32_t key, uint32_t value) override
    {
        Sprites[sprite].StateKey = key;
        Sprites[sprite].StateValue = value;
    }
    int32_t Font_Load(const std::string& file) override
    {
        const int32_t n = NextFont++;
        Fonts[n].File = file;
        return n;
    }
    int32_t Font_Clone(int32_t font) override
    {
        const int32_t n = NextFont++;
        Fonts[n].CloneOf = font;
        return n;
    }
    void Font_SetColor(int32_t font, int32_t red, int32_t green, int32_t blue) override
    {
        Fonts[font].Red = red;
        Fonts[font].Green = green;
        Fonts[font].Blue = blue;
    }
    void Font_SetAlpha(int32_t font, int32_t alpha) override { Fonts[font].Alpha = alpha; }
    int32_t Mesh_Add(int32_t kind, const std::string& name) override
    {
        MeshesAdded.push_back(std::to_string(kind) + " " + name);
        return static_cast<int32_t>(MeshesAdded.size());
    }
    void Mesh_FindNames(const std::string& file, std::vector<std::string>& names) override
    {
        Calls.push_back("Mesh_FindNames " + file);
        auto found = MeshNames.find(file);
        names = found != MeshNames.end() ? found->second : std::vector<std::string>{"Mesh"};
    }
    void Mesh_FindTexture(const std::string& file, const std::string& meshName,
                          std::vector<std::string>& textures) override
    {
        (void)meshName;
        auto found = MeshTextures.find(file);
        textures = found != MeshTextures.end() ? found->second : std::vector<std::string>{};
    }
    void Mesh_Load(int32_t mesh, const std::string& file, int32_t option, const std::string& meshName) override
    {
        Calls.push_back("Mesh_Load " + std::to_string(mesh) + " " + file + " " + std::to_string(option) + " " +
                        meshName);
    }
    void Mesh_SetTexture(int32_t mesh, int32_t stage, int32_t texture) override
    {
        Calls.push_back("Mesh_SetTexture " + std::to_string(mesh) + " " + std::to_string(stage) + " " +
                        std::to_string(texture));
    }
    bool RenderTarget_LockRead(int32_t target, TRenderTargetLock& lock) override
    {
        if (target != 1 || Surface.empty())
            return false;
        ++Locks;
        lock.Bits = Surface.data();
        lock.Width = SurfaceWidth;
        lock.Height = SurfaceHeight;
        lock.Pitch = SurfaceWidth * 4 + 8; // rows padded, as real surfaces are
        return true;
    }
    void RenderTarget_Unlock(int32_t target) override
    {
        (void)target;
        ++Unlocks;
    }

    // The GUI: the windowed flag a test sets; cursor changes and message
    // boxes go to Calls.
    bool WindowedFlag = false;
    bool Windowed() override { return WindowedFlag; }
    void ShowSystemCursor(bool show) override { Calls.push_back(show ? "ShowCursor" : "HideCursor"); }
    void ShowMessageBox(const std::string& caption, const std::string& text) override
    {
        Calls.push_back("MessageBox " + caption + ": " + text);
    }

    // The sprite's own file, following clones back to the loaded one.
    std::string SourceFile(int32_t sprite) const
    {
        auto found = Sprites.find(sprite);
        while (found != Sprites.end() && found->second.File.empty() && found->second.CloneOf != 0)
            found = Sprites.find(found->second.CloneOf);
        return found != Sprites.end() ? found->second.File : std::string();
    }
    // A surface of w x h pixels whose pixel (x, y) is (b, g, r, a) = (x, y, x + y, 255).
    void MakeSurface(int32_t w, int32_t h)
    {
        SurfaceWidth = w;
        SurfaceHeight = h;
        Surface.assign(static_cast<size_t>(w * 4 + 8) * h, 0xEE);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                uint8_t* p = &Surface[static_cast<size_t>(y) * (w * 4 + 8) + x * 4];
                p[0] = static_cast<uint8_t>(x);
                p[1] = static_cast<uint8_t>(y);
                p[2] = static_cast<uint8_t>(x + y);
                p[3] = 255;
            }
    }

private:
    int32_t NextSprite = 1;
    int32_t NextFont = 1;
};

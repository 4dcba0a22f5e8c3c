// The game's render set-up helpers and its renderer hooks.
#include "scenes/Duskmarch_RenderSetup.h"

#include <algorithm>

#include "engine/QX9_System.h"
#include "model/Hooks.h"
#include "model/Support.h"
#include "render/QX9_Render_Constants.h"
#include "render/QX9_Render_Fonts.h"
#include "render/QX9_Render_Meshes.h"
#include "render/QX9_Render_Passes.h"
#include "render/QX9_Render_Scenes.h"
#include "render/QX9_Render_Shaders.h"
#include "render/QX9_Render_Sprites.h"
#include "render/QX9_Render_StateKey.h"
#include "render/QX9_Render_Textures.h"

T3D_Render* MainRender = nullptr;
TRenderSettings RenderSettings;
TGUIVirtualSize GUIVirtualSize;
int32_t GUIQuadMesh = -1;
int32_t MapGUIQuad = -1;
int32_t ArenaGUIQuad = -1;

bool CreateRender(HWND window, int32_t width, int32_t height, uint8_t fullscreen)
{
    if (RenderSettings.Created == 0)
        MainRender = new T3D_Render;
    MainRender->CreateDevice(window, width, height, fullscreen, 1,
                             RenderSettings.AntiAliasing != 0 ? MainRender->MaxMultisample : 0, D3DFMT_D24S8);
    RenderSettings.Created = 1;
    return true;
}

void DestroyMainRender()
{
    T3D_Render* render = MainRender;
    if (render == nullptr)
        return;
    for (size_t slot = render->_r_Meshes.size(); slot-- > 0;)
        render->Mesh_Free(static_cast<int32_t>(slot));
    for (size_t slot = render->Sprites.size(); slot-- > 0;)
        render->Sprite_Free(static_cast<int32_t>(slot));
    for (T3D_Font*& font : render->Fonts) {
        delete font;
        font = nullptr;
    }
    for (T3D_Scene*& scene : render->Scenes) {
        delete scene;
        scene = nullptr;
    }
    for (int32_t slot = 0; slot < render->TextureCount; slot++)
        render->Texture_Free(slot, 1);
    for (T3D_Shader*& shader : render->Shaders) {
        delete shader;
        shader = nullptr;
    }
    FreeConstants(render->Constants);
    for (IDirect3DSurface9** surface : {&render->BackBuffer, &render->DepthSurface})
        if (*surface != nullptr) {
            (*surface)->Release();
            *surface = nullptr;
        }
    for (IDirect3DVertexDeclaration9*& declaration : render->VertexDecls)
        if (declaration != nullptr) {
            declaration->Release();
            declaration = nullptr;
        }
    if (render->Device != nullptr)
        render->Device->Release();
    render->Device = nullptr;
    if (render->Direct3D != nullptr)
        render->Direct3D->Release();
    render->Direct3D = nullptr;
    delete render;
    MainRender = nullptr;
    RenderSettings.Created = 0;
}

bool FindFileVariant(const std::string& baseName, const std::string& suffix, const std::string& extension,
                     std::string& out)
{
    std::string name = baseName;
    if (!extension.empty() && name.size() > 4 && name[name.size() - 4] == '.')
        name.resize(name.size() - 4);
    std::string candidate;
    if (!suffix.empty()) {
        if (name.size() > 2 && name[name.size() - 2] == '_')
            name.resize(name.size() - 2);
        candidate = name + suffix;
    }
    const std::string dotted = extension.empty() || extension[0] == '.' ? extension : "." + extension;
    candidate += dotted;
    if (FileExistsMask(candidate)) {
        out = candidate;
        return true;
    }
    if (!extension.empty())
        candidate = name + dotted;
    out = candidate;
    return FileExistsMask(candidate);
}

void CreateInterfaceSprite(int32_t& index)
{
    index = MainRender->Sprite_Add(0, 0);
    T3D_Sprite* sprite = MainRender->Sprite_Get(index);
    sprite->SetShader(InterfaceShadersFolder + "Sprite_VS.bin", GUIVirtualSize.TargetName, 1);
    sprite->SetShader(InterfaceShadersFolder + "Sprite_PS.bin", GUIVirtualSize.TargetName, 0);
    sprite->SetRenderState(RSK_FILTER(0), 0);
    sprite->SetRenderState(RSK_ALPHAMODE, static_cast<int32_t>(RSK_ALPHA_BLEND));
    sprite->SetRenderState(RSK_SRCBLEND, 2);
    sprite->SetRenderState(RSK_DESTBLEND, 2);
    sprite->SetRenderState(RSK_CULL, 0x4);
}

int32_t NewInterfaceSprite()
{
    int32_t index = -1;
    CreateInterfaceSprite(index);
    return index;
}

int32_t CloneSprite(int32_t index)
{
    const T3D_Sprite* source = MainRender->Sprite_Get(index);
    if (source == nullptr)
        return -1;
    const int32_t clone = MainRender->Sprite_Add(0, 0);
    T3D_Sprite* copy = MainRender->Sprite_Get(clone);
    copy->StateKey = source->StateKey;
    copy->Indices = source->Indices;
    copy->Vertices = source->Vertices;
    copy->DrawBuffer = source->DrawBuffer;
    copy->Width = source->Width;
    copy->Height = source->Height;
    copy->StageTextures = source->StageTextures;
    copy->Texture = source->Texture;
    copy->Shaders = source->Shaders;
    return clone;
}

int32_t LoadSprite(const std::string& fileName, uint8_t clamp)
{
    const int32_t index = NewInterfaceSprite();
    std::string name = fileName;
    // Only the name after the last folder decides: a folder such as
    // "My.Mod" has a point but the file still lacks its extension.
    const size_t slash = name.find_last_of('\\');
    const std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
    if (last.find('.') == std::string::npos)
        name += ".TGA";
    if (!FileExistsMask(name) && name.size() >= 4) {
        const bool tga = UpperCaseStr(name).find(".TGA") != std::string::npos;
        name = name.substr(0, name.size() - 4) + (tga ? ".DDS" : ".TGA");
    }
    if (!FileExistsMask(name))
        name = InterfaceFolder + "Unknown.tga";
    T3D_Sprite* sprite = MainRender->Sprite_Get(index);
    sprite->LoadTexture(name, 0);
    for (T3D_SpriteStageTexture& stage : sprite->StageTextures)
        if (stage.Stage == 0)
            stage.Clamp = clamp;
    return index;
}

int32_t LoadMesh(int32_t vertexFormat, const std::string& fileName, const std::string& meshName,
                 const std::string& slotName)
{
    TStringArray names;
    if (meshName.empty())
        MainRender->Mesh_FindNames(fileName, names);
    else
        names.push_back(meshName);
    const std::string first = names.empty() ? std::string() : names.front();
    const int32_t slot = MainRender->Mesh_Add(vertexFormat, slotName.empty() ? first : slotName, 1);
    MainRender->Mesh_Load(slot, fileName, first, 2);
    return slot;
}

int32_t CreateGUIQuadMesh(int32_t screenWidth, int32_t screenHeight)
{
    GUIQuadMesh = MainRender->Mesh_Add(MESH_SPRITE, "GUI_Quad_Mesh", 1);
    const float w = static_cast<float>(screenWidth), h = static_cast<float>(screenHeight);
    const float r = GUIVirtualSize.Width > 0
                        ? static_cast<float>(GUIVirtualSize.Height) / static_cast<float>(GUIVirtualSize.Width)
                        : 1.0f;
    T3D_VertexArray vertices(4);
    const float corners[4][4] = {
        {-0.5f, -0.5f, 0, 0}, {w - 0.5f, -0.5f, 1, 0}, {w - 0.5f, h - 0.5f, 1, r}, {-0.5f, h - 0.5f, 0, r}};
    for (size_t i = 0; i < 4; i++) {
        vertices[i].Position = {corners[i][0], corners[i][1], 0};
        vertices[i].U = corners[i][2];
        vertices[i].V = corners[i][3];
        vertices[i].Color = 0xFFFFFFFFu;
    }
    MainRender->Mesh_Get(GUIQuadMesh)->ImportGeometry(vertices, {0, 2, 1, 0, 3, 2});
    return GUIQuadMesh;
}

namespace {

int32_t CreateGUIQuad(const std::string& sceneName, uint32_t groupBits)
{
    if (GUIVirtualSize.Flag == 0 || MainRender == nullptr)
        return -1;
    T3D_Scene* scene = MainRender->Scene_Find(sceneName);
    if (scene == nullptr)
        return -1;
    const int32_t slot = scene->AddMesh(GUIQuadMesh, "GUI_Quad_Mesh");
    T3D_SceneMesh* quad = scene->GetMesh(slot);
    quad->Visible = 1;
    quad->NoCull = 1;
    quad->SortPriority = 15;
    quad->GroupBits = groupBits;
    const T3D_RenderPass* gui = scene->FindPass("GUI");
    quad->StageTextures.push_back({gui != nullptr ? gui->TargetTexture : -1, 0, 1, 1});
    quad->SetRenderState(RSK_CULL, 0);
    quad->SetRenderState(RSK_FILTER(0), 2);
    quad->SetRenderState(RSK_ALPHAMODE, static_cast<int32_t>(RSK_ALPHA_BLEND));
    quad->SetRenderState(RSK_SRCBLEND, 0);
    quad->SetRenderState(RSK_DESTBLEND, 2);
    quad->SetRenderState(RSK_DEPTHTEST, 0);
    quad->SetRenderState(RSK_DEPTHWRITE, 0);
    quad->SetShader(InterfaceShadersFolder + "Sprite_VS.bin", "MAIN", 1);
    quad->SetShader(InterfaceShadersFolder + "Sprite_PS.bin", "MAIN", 0);
    return slot;
}

} // namespace

void CreateMapGUIQuad(uint32_t groupBits)
{
    const int32_t slot = CreateGUIQuad("MAP", groupBits);
    if (slot >= 0)
        MapGUIQuad = slot;
}

void CreateArenaGUIQuad(uint32_t groupBits)
{
    const int32_t slot = CreateGUIQuad("ARENA", groupBits);
    if (slot >= 0)
        ArenaGUIQuad = slot;
}

// ---------------------------------------------------------------------------
// The game's renderer hooks

namespace {

class TGameRenderHooks : public TRenderHooks {
public:
    void Texture_SetLoadOptions(int32_t flags, int32_t group) override
    {
        MainRender->Texture_SetLoadOptions(flags, group);
    }
    int32_t Texture_Load(const std::string& file) override { return MainRender->Texture_Load(file); }
    int32_t LoadSprite(const std::string& path, int32_t flag) override
    {
        return ::LoadSprite(path, static_cast<uint8_t>(flag));
    }
    int32_t CloneSprite(int32_t sprite) override { return ::CloneSprite(sprite); }
    void Sprite_SetSize(int32_t sprite, int32_t quad, float width, float height) override
    {
        if (T3D_Sprite* s = MainRender->Sprite_Get(sprite))
            s->SetSize(quad, width, height);
    }
    void Sprite_SetPosition(int32_t sprite, float x, float y) override
    {
        if (T3D_Sprite* s = MainRender->Sprite_Get(sprite))
            s->SetPosition(x, y);
    }
    void Sprite_SetRenderState(int32_t sprite, uint32_t key, uint32_t value) override
    {
        if (T3D_Sprite* s = MainRender->Sprite_Get(sprite))
            s->SetRenderState(key, static_cast<int32_t>(value));
    }
    int32_t Font_Load(const std::string& file) override { return MainRender->Font_Load(file); }
    int32_t Font_Clone(int32_t font) override { return MainRender->Font_Clone(font); }
    void Font_SetColor(int32_t font, int32_t red, int32_t green, int32_t blue) override
    {
        if (T3D_Font* f = MainRender->Font_Get(font))
            f->SetColor(red, green, blue);
    }
    void Font_SetAlpha(int32_t font, int32_t alpha) override
    {
        if (T3D_Font* f = MainRender->Font_Get(font))
            f->SetAlpha(alpha);
    }
    int32_t Mesh_Add(int32_t kind, const std::string& name) override { return MainRender->Mesh_Add(kind, name, 1); }
    void Mesh_FindNames(const std::string& file, std::vector<std::string>& names) override
    {
        TStringArray found;
        MainRender->Mesh_FindNames(file, found);
        names.assign(found.begin(), found.end());
    }
    void Mesh_FindTexture(const std::string& file, const std::string& meshName,
                          std::vector<std::string>& textures) override
    {
        TStringArray found;
        MainRender->Mesh_FindTexture(file, meshName, found);
        textures.assign(found.begin(), found.end());
    }
    void Mesh_Load(int32_t mesh, const std::string& file, int32_t option, const std::string& meshName) override
    {
        MainRender->Mesh_Load(mesh, file, meshName, static_cast<uint8_t>(option));
    }
    void Mesh_SetTexture(int32_t mesh, int32_t stage, int32_t texture) override
    {
        T3D_Mesh* m = MainRender->Mesh_Get(mesh);
        if (m == nullptr)
            return;
        for (T3D_MeshStageTexture& record : m->StageTextures)
            if (record.Stage == stage) {
                record.TextureSlot = texture;
                return;
            }
        m->StageTextures.push_back({texture, 0, stage, 0});
    }
    bool RenderTarget_LockRead(int32_t target, TRenderTargetLock& lock) override
    {
        T3D_Texture* texture = TextureAt(*MainRender, target);
        if (texture == nullptr || texture->OffscreenSurface == nullptr ||
            (texture->Format != D3DFMT_A8R8G8B8 && texture->Format != D3DFMT_X8R8G8B8))
            return false;
        D3DLOCKED_RECT locked;
        if (texture->OffscreenSurface->LockRect(&locked, nullptr, D3DLOCK_READONLY) != D3D_OK)
            return false;
        lock.Bits = static_cast<const uint8_t*>(locked.pBits);
        lock.Pitch = locked.Pitch;
        lock.Width = texture->DeviceWidth;
        lock.Height = texture->DeviceHeight;
        return true;
    }
    void RenderTarget_Unlock(int32_t target) override
    {
        if (T3D_Texture* texture = TextureAt(*MainRender, target))
            if (texture->OffscreenSurface != nullptr)
                texture->OffscreenSurface->UnlockRect();
    }
};

TGameRenderHooks GameRenderHooks;

} // namespace

void InstallGameRenderHooks()
{
    if (MainRender != nullptr)
        SetRenderHooks(&GameRenderHooks);
}

void RemoveGameRenderHooks()
{
    SetRenderHooks(nullptr);
}

#include "screens/kit/Duskmarch_Base.h"

#include <algorithm>

#include "engine/QX9_Sound.h"
#include "engine/QX9_System.h"
#include "model/Support.h"
#include "render/QX9_GUI.h"
#include "render/QX9_GUI_GraphicWindow.h"
#include "render/QX9_Particles.h"
#include "render/QX9_Render_Sprites.h"
#include "scenes/Duskmarch_RenderSetup.h"

int32_t CursorKind = 0;
int32_t CursorSprites[CursorKindCount + 1] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
std::string LanguageName;
int32_t FrameTimeStamp = 0;

const char* const BackgroundNames[BackgroundCount] = {
    "altar",       "altar_night", "castle",       "castle_night", "harbor",       "harbor_night", "house",
    "house_night", "market",      "market_night", "rhuins",       "rhuins_night", "town_night",   "village"};
int32_t BackgroundSprite = -1;
TParticleEffect BackgroundEffect;

uint8_t MusicEnabled = 0;
int32_t MenuMusic = 0;
int32_t CreditsMusic = 0;
int32_t CurrentMusic = 0;
int32_t NextMusicChange = 0;

namespace {

int32_t LastBackground = -1;

} // namespace

int32_t GetFrameTime(bool fresh)
{
    const TGUI_Processor* processor = GUI_Input.Processor;
    int32_t now = 0;
    if (processor != nullptr && processor->TimeSource != nullptr)
        now = processor->TimeSource(fresh);
    else
        now = GetTimeMs(fresh);
    FrameTimeStamp = now;
    return now;
}

std::u16string GetLocalizedText(TIniFile& texts, const std::string& key)
{
    const std::string forms[] = {LanguageName, LanguageCode, LanguageSuffix, "Eng", "eng", "_Eng", "ENG"};
    for (const std::string& form : forms) {
        // An empty form would read the bare key, which no language owns.
        if (form.empty() || !texts.KeyExists(key + form))
            continue;
        std::u16string text = texts.ReadWideString(key + form, -1);
        if (!text.empty())
            return text;
    }
    return {};
}

int32_t ChooseBackground(int32_t previous)
{
    if (previous < 0 || previous >= BackgroundCount)
        return RandomInt(BackgroundCount);
    // One draw among the other thirteen: never the same picture twice running.
    const int32_t n = RandomInt(BackgroundCount - 1);
    return n >= previous ? n + 1 : n;
}

int32_t LoadRandomBackground(TGUI_GraphicWindow& window, int32_t oldTexture)
{
    T3D_Render* render = window.Render;
    const int32_t chosen = ChooseBackground(LastBackground);
    LastBackground = chosen;
    if (oldTexture > 0 && render != nullptr)
        render->Texture_Free(oldTexture, 1);
    const std::string file = InterfaceFolder + "Common\\Images\\" + BackgroundNames[chosen] + ".dds";
    if (render == nullptr || !FileExistsMask(file))
        return -1;
    const int32_t texture = render->Texture_Load(file);
    BackgroundSprite = window.FindSprite("s_Background");
    if (T3D_Sprite* sprite = render->Sprite_Get(BackgroundSprite))
        sprite->SetStageTexture(texture, 0, 1);
    const std::string effect =
        InterfaceFolder + "Common\\Images\\" + BackgroundNames[chosen] + "\\" + BackgroundNames[chosen] + ".psi";
    if (FileExistsMask(effect)) {
        FreeParticleEffect(BackgroundEffect);
        LoadParticleEffect(effect, InterfaceShadersFolder + "Sprite_VS.bin", InterfaceShadersFolder + "Sprite_PS.bin",
                           GUIVirtualSize.TargetName, BackgroundEffect);
        // Started in the past, so the particles are spread when the window opens.
        StartParticleEffect(BackgroundEffect, GetFrameTime(false) - 3000, GUIVirtualSize.Width / 2.0f,
                            GUIVirtualSize.Height / 2.0f);
    }
    return texture;
}

void DrawBackground()
{
    DrawSpriteAt(BackgroundSprite, 0, 0, 255);
    const TGUI_Processor* processor = GUI_Input.Processor;
    if (BackgroundEffect.Running == 0 || processor == nullptr || processor->ActiveWindow == nullptr ||
        processor->Render == nullptr)
        return;
    const T3D_Sprite* sprite = processor->Render->Sprite_Get(BackgroundSprite);
    const float scale = sprite != nullptr ? sprite->Width / 1280.0f : 1.0f;
    UpdateParticleEffect(BackgroundEffect, processor->ActiveWindow->DrawScene, GetFrameTime(false),
                         GUIVirtualSize.Width / 2.0f, GUIVirtualSize.Height / 2.0f, scale, false);
}

void FreeBackgroundEffect()
{
    FreeParticleEffect(BackgroundEffect);
}

void DrawSpriteAt(int32_t sprite, int32_t x, int32_t y, int32_t alpha)
{
    const TGUI_Processor* processor = GUI_Input.Processor;
    if (processor == nullptr || processor->ActiveWindow == nullptr || processor->Render == nullptr)
        return;
    processor->Render->Sprite_Draw(processor->ActiveWindow->DrawScene, sprite, x, y, alpha);
}

void GlobalFrameTick()
{
    const TGUI_Processor* processor = GUI_Input.Processor;
    if (processor != nullptr && processor->Render != nullptr && CursorKind >= 0 && CursorKind <= CursorKindCount) {
        const int32_t sprite = CursorKind == 0 ? -1 : CursorSprites[CursorKind];
        processor->Render->SetCursor(sprite, nullptr, nullptr, nullptr);
    }
    if (MusicEnabled != 0)
        Sound_Update();
}

void UpdateAllHints() {}

void ApplySoundVolumes(int32_t musicVolume, int32_t effectsVolume)
{
    if (SoundDevice == nullptr)
        return;
    Sound_SetGroupVolume(MusicGroup, std::clamp(musicVolume, 0, 1000));
    Sound_SetGroupVolume(EffectsGroup, std::clamp(effectsVolume, 0, 1000));
}

void CrossFadeMusicTo(int32_t sound)
{
    if (SoundDevice == nullptr || sound == CurrentMusic)
        return;
    const int32_t now = GetFrameTime(false);
    if (CurrentMusic > 0)
        Sound_AddFade(now, MusicFadeMs, 1000, 0, CurrentMusic);
    CurrentMusic = sound;
    if (sound > 0) {
        Sound_SetVolume(sound, 0);
        Sound_PlayStream(sound, true, true);
        Sound_AddFade(now, MusicFadeMs, 0, 1000, sound);
    }
}

#include "screens/battle/Duskmarch_Battle_Effects.h"

#include <algorithm>
#include <cmath>

#include "screens/kit/Duskmarch_Base_Sound.h"

TEffectsManager EffectsManager;

int32_t ChooseSoundCopy(int32_t sfx, int32_t now)
{
    if (sfx < 0 || sfx >= static_cast<int32_t>(SfxList.size()))
        return -1;
    TSoundSet& set = SfxList[static_cast<size_t>(sfx)];
    int32_t best = 0;
    for (int32_t i = 1; i < SoundSetVariantCount; ++i)
        if (set.Variants[i].TimeStamp < set.Variants[best].TimeStamp)
            best = i;
    set.Variants[best].TimeStamp = now;
    return best;
}

int32_t TEffectsManager::AddActor(uint8_t kind, const std::string& name, int32_t index)
{
    TEffectActor a;
    a.Kind = kind;
    a.Name = name;
    a.Instance = index;
    Actors.push_back(a);
    return static_cast<int32_t>(Actors.size()) - 1;
}

int32_t TEffectsManager::FindFreeSpriteActor()
{
    for (size_t i = 0; i < Actors.size(); ++i)
        if (Actors[i].Kind == 3 && Actors[i].Used == 0) {
            Actors[i].Used = 1;
            return static_cast<int32_t>(i);
        }
    return -1;
}

int32_t TEffectsManager::FindFreeMeshActor(int32_t mesh)
{
    for (size_t i = 0; i < Actors.size(); ++i)
        if (Actors[i].Kind == 1 && Actors[i].Used == 0 && (mesh == -1 || Actors[i].MeshSlot == mesh)) {
            Actors[i].Used = 1;
            return static_cast<int32_t>(i);
        }
    return -1;
}

int32_t TEffectsManager::FindPersonageActor(int32_t side, int32_t slot, void* model)
{
    for (size_t i = 0; i < Actors.size(); ++i)
        if (Actors[i].Kind == 2 && Actors[i].Instance == side && Actors[i].Slot == slot)
            return static_cast<int32_t>(i);
    TEffectActor a;
    a.Kind = 2;
    a.Instance = side;
    a.Slot = slot;
    a.Model = model;
    Actors.push_back(a);
    return static_cast<int32_t>(Actors.size()) - 1;
}

void TEffectsManager::AddAnimTask(uint8_t kind, int32_t start, uint8_t flag2, uint8_t flag, const std::string& name,
                                  int32_t value, int32_t actor)
{
    TEffectTask t;
    t.Kind = kind;
    t.Start = start;
    t.Flag2 = flag2;
    t.Loop = flag;
    t.Animation = name;
    t.HardPoint = kind == 3 ? name : std::string();
    t.Value = value;
    t.Actor = actor;
    Tasks.push_back(t);
}

void TEffectsManager::AddValueTask(uint8_t kind, int32_t start, uint8_t flag, int32_t actor)
{
    TEffectTask t;
    t.Kind = kind;
    t.Start = start;
    t.VisibleFlag = flag;
    t.Actor = actor;
    Tasks.push_back(t);
}

void TEffectsManager::AddNamedTask(uint8_t kind, int32_t start, const std::string& name, int32_t actor)
{
    TEffectTask t;
    t.Kind = kind;
    t.Start = start;
    if (kind == 12)
        t.Prefix = name;
    else
        t.HardPoint = name;
    t.Actor = actor;
    Tasks.push_back(t);
}

void TEffectsManager::AddMoveTask(uint8_t kind, int32_t start, int32_t duration, const float vector[3], int32_t actor)
{
    TEffectTask t;
    t.Kind = kind;
    t.Start = start;
    t.Duration = kind == 15 || kind == 16 ? duration : 0;
    for (int i = 0; i < 3; ++i)
        t.Vector[i] = vector[i];
    t.Actor = actor;
    Tasks.push_back(t);
}

void TEffectsManager::Run(TEffectTask& t, int32_t now)
{
    const TEffectsScene& s = Scene;
    if (t.Kind == 13) {
        const int32_t copy = ChooseSoundCopy(t.Actor, now);
        if (copy >= 0 && s.PlaySound != nullptr)
            s.PlaySound(t.Actor, copy);
        return;
    }
    const int32_t target = t.Kind == 5 ? t.Value : t.Actor;
    if (!ValidActor(target))
        return;
    TEffectActor& a = Actors[static_cast<size_t>(target)];
    switch (t.Kind) {
    case 1:
        a.Animating = 1;
        a.AnimationName = t.Animation;
        a.AnimationStart = t.Value;
        a.AnimationFlag = t.Flag2;
        break;
    case 2:
        if (s.PlayAnimation != nullptr)
            s.PlayAnimation(a, t.Animation, t.Value, t.Loop != 0);
        break;
    case 3:
        if (ValidActor(t.Value)) {
            TEffectActor& child = Actors[static_cast<size_t>(t.Value)];
            child.Parent = target;
            if (child.Kind == 1 && s.Attach != nullptr)
                s.Attach(a, child, t.HardPoint);
        }
        break;
    case 5:
        if (s.Detach != nullptr)
            s.Detach(a);
        PassesDirty = 1;
        break;
    case 7:
        if (s.DetachHardPoint != nullptr)
            s.DetachHardPoint(a, t.HardPoint);
        break;
    case 9:
        if (s.AttachEquipment != nullptr)
            s.AttachEquipment(a);
        PassesDirty = 1;
        break;
    case 10:
    case 11: {
        float* v = t.Kind == 10 ? a.Position : a.Offset;
        for (int i = 0; i < 3; ++i)
            v[i] = t.Vector[i];
        break;
    }
    case 12:
        if (s.SetWeaponPrefix != nullptr)
            s.SetWeaponPrefix(a, t.Prefix);
        break;
    case 14:
        a.Visible = t.VisibleFlag;
        if (s.SetVisible != nullptr)
            s.SetVisible(a, t.VisibleFlag != 0);
        if (a.Kind != 3)
            PassesDirty = 1;
        break;
    case 15:
    case 16: {
        float* v = t.Kind == 15 ? a.Position : a.Offset;
        if (t.Duration <= 0) {
            // Nothing to spread it over: the whole vector at once.
            for (int i = 0; i < 3; ++i)
                v[i] += t.Vector[i];
            break;
        }
        if (t.Begun == 0) {
            t.Begun = 1;
            t.Last = now;
            break;
        }
        {
            const int32_t end = std::min(now, t.Start + t.Duration);
            const float part = static_cast<float>(end - t.Last) / static_cast<float>(t.Duration);
            for (int i = 0; i < 3; ++i)
                v[i] += t.Vector[i] * part;
        }
        t.Last = now;
        break;
    }
    case 17:
        a.Used = 0;
        break;
    default:
        break;
    }
}

void TEffectsManager::Update(int32_t now)
{
    for (size_t i = 0; i < Tasks.size(); ++i)
        if (Tasks[i].Start <= now)
            Run(Tasks[i], now);
    for (TEffectActor& a : Actors) {
        if (a.Used == 0)
            continue;
        if (a.Kind == 2 && Scene.PlacePersonage != nullptr) {
            Scene.PlacePersonage(a, a.Position);
        } else if (a.Kind == 3 && a.Visible != 0 && ValidActor(a.Parent) &&
                   Actors[static_cast<size_t>(a.Parent)].Kind == 2) {
            float base[3] = {0, 0, 0};
            if (Scene.PersonagePosition != nullptr)
                Scene.PersonagePosition(Actors[static_cast<size_t>(a.Parent)], base);
            const float p[4] = {base[0] + a.Position[0] - 1.0f, base[1] + a.Position[1], base[2] + a.Position[2],
                                1.0f};
            float r[4] = {0, 0, 0, 0};
            for (int c = 0; c < 4; ++c)
                for (int k = 0; k < 4; ++k)
                    r[c] += p[k] * ViewProjection[k * 4 + c];
            const float w = std::fabs(r[3]);
            if (w <= 0.0f)
                continue;
            const float sx = (r[0] / w + 1.0f) / 2.0f, sy = 1.0f - (r[1] / w + 1.0f) / 2.0f;
            const float d = (r[2] / w + 1.0f) / 2.0f;
            if (d > 0.0f && d < 1.0f && Scene.DrawSprite != nullptr)
                Scene.DrawSprite(a, static_cast<int32_t>(std::lround(GuiWidth * sx + a.Offset[0])),
                                 static_cast<int32_t>(std::lround(GuiHeight * sy + a.Offset[1])));
        }
    }
    size_t kept = 0;
    for (size_t i = 0; i < Tasks.size(); ++i)
        if (!(now >= Tasks[i].Start + Tasks[i].Duration)) {
            if (kept != i)
                Tasks[kept] = std::move(Tasks[i]);
            ++kept;
        }
    Tasks.resize(kept);
}

void TEffectsManager::Clear()
{
    Actors.clear();
    Tasks.clear();
}

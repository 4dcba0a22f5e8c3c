#include "tools/soundgen/SoundEffects.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "tools/SoundFiles.h"

namespace SoundGen {

namespace {

constexpr int Rate = 22050;
constexpr double Pi = 3.14159265358979323846;

// A layer of a sound: a tone gliding from one pitch to another (with a few
// harmonics), or noise through a one-pole low-pass and an optional high-pass.
struct TLayer {
    bool Noise = false;
    double Start = 0;   // seconds
    double Length = 0.1; // seconds
    double Amplitude = 0.5;
    double Attack = 0.005; // seconds
    double Decay = 8;      // per second, exponential after the attack
    double From = 440, To = 440; // Hz (tones)
    std::vector<double> Harmonics{1.0};
    double LowPass = 0;  // Hz (noise), 0 none
    double HighPass = 0; // Hz (noise), 0 none
    bool Swell = false;  // the level rises to the end instead of decaying
};

class TNoise {
public:
    explicit TNoise(const std::string& name)
    {
        for (char c : name)
            State = State * 131u + static_cast<uint8_t>(c);
        State |= 1u;
    }
    double Next()
    {
        State = State * 1664525u + 1013904223u;
        return static_cast<double>(State >> 8) / 8388608.0 - 1.0;
    }

private:
    uint32_t State = 2166136261u;
};

double Level(const TLayer& layer, double t)
{
    if (t < 0 || t > layer.Length)
        return 0;
    const double release = std::min(1.0, (layer.Length - t) / 0.01); // no click at the end
    if (layer.Swell)
        return std::pow(t / layer.Length, 2.0) * release;
    const double attack = layer.Attack > 0 ? std::min(1.0, t / layer.Attack) : 1.0;
    return attack * std::exp(-layer.Decay * std::max(0.0, t - layer.Attack)) * release;
}

std::string Render(const std::string& name, const std::vector<TLayer>& layers)
{
    double total = 0;
    for (const TLayer& layer : layers)
        total = std::max(total, layer.Start + layer.Length);
    std::vector<double> out(static_cast<size_t>(total * Rate) + 1, 0.0);
    TNoise noise(name);
    for (const TLayer& layer : layers) {
        const size_t first = static_cast<size_t>(layer.Start * Rate);
        const size_t count = static_cast<size_t>(layer.Length * Rate);
        double phase = 0, low = 0, lowOfHigh = 0;
        const double a = layer.LowPass > 0 ? 1 - std::exp(-2 * Pi * layer.LowPass / Rate) : 1.0;
        const double h = layer.HighPass > 0 ? 1 - std::exp(-2 * Pi * layer.HighPass / Rate) : 0.0;
        for (size_t i = 0; i < count && first + i < out.size(); i++) {
            const double t = static_cast<double>(i) / Rate;
            double sample = 0;
            if (layer.Noise) {
                low += a * (noise.Next() - low);
                lowOfHigh += h * (low - lowOfHigh);
                sample = low - lowOfHigh;
            } else {
                const double f = layer.From * std::pow(layer.To / layer.From, t / layer.Length);
                phase += 2 * Pi * f / Rate;
                for (size_t k = 0; k < layer.Harmonics.size(); k++)
                    sample += layer.Harmonics[k] * std::sin(phase * static_cast<double>(k + 1));
            }
            out[first + i] += layer.Amplitude * Level(layer, t) * sample;
        }
    }
    double peak = 1e-9;
    for (double v : out)
        peak = std::max(peak, std::fabs(v));
    // Interface sounds stay quieter than the battle's.
    const double target = name.rfind("UI", 0) == 0 ? 0.5 : 0.7;
    std::vector<int16_t> samples(out.size());
    for (size_t i = 0; i < out.size(); i++)
        samples[i] = static_cast<int16_t>(std::lrint(out[i] / peak * target * 32767));
    return SoundFiles::Wav16(samples, 1, Rate);
}

TLayer Tone(double start, double length, double from, double to, double amplitude, double decay,
            std::vector<double> harmonics = {1.0})
{
    TLayer layer;
    layer.Start = start;
    layer.Length = length;
    layer.From = from;
    layer.To = to;
    layer.Amplitude = amplitude;
    layer.Decay = decay;
    layer.Harmonics = std::move(harmonics);
    return layer;
}

TLayer Noise(double start, double length, double amplitude, double decay, double lowPass, double highPass = 0)
{
    TLayer layer;
    layer.Noise = true;
    layer.Start = start;
    layer.Length = length;
    layer.Amplitude = amplitude;
    layer.Decay = decay;
    layer.LowPass = lowPass;
    layer.HighPass = highPass;
    return layer;
}

TLayer Swell(TLayer layer)
{
    layer.Swell = true;
    return layer;
}

// A struck metal: inharmonic partials that ring.
std::vector<TLayer> Metal(double start, double base, double length, double amplitude)
{
    return {Tone(start, length, base, base, amplitude, 6), Tone(start, length, base * 2.76, base * 2.76, amplitude * 0.6, 9),
            Tone(start, length * 0.7, base * 5.4, base * 5.4, amplitude * 0.35, 14),
            Noise(start, 0.02, amplitude * 0.8, 60, 6000)};
}

// A coin: a bright bell of two partials.
std::vector<TLayer> Coin(double start, double base)
{
    return {Tone(start, 0.25, base, base, 0.5, 14), Tone(start, 0.2, base * 2.4, base * 2.4, 0.25, 20)};
}

std::vector<TLayer> Join(std::initializer_list<std::vector<TLayer>> parts)
{
    std::vector<TLayer> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A body falling: a muffled thump on soil, a harder knock with a ring on stone.
std::vector<TLayer> Fall(bool stone, double ring, bool wood)
{
    std::vector<TLayer> layers = {Tone(0, 0.25, stone ? 150 : 95, stone ? 90 : 60, 0.9, stone ? 16 : 12),
                                  Noise(0, stone ? 0.12 : 0.2, 0.7, stone ? 30 : 18, stone ? 3500 : 700)};
    if (ring > 0) {
        const auto extra = wood ? std::vector<TLayer>{Tone(0.01, 0.12, ring, ring * 0.97, 0.3, 30, {1, 0.4})}
                                : Metal(0.01, ring, stone ? 0.45 : 0.25, stone ? 0.4 : 0.2);
        layers.insert(layers.end(), extra.begin(), extra.end());
    }
    return layers;
}

// A cry: a voiced glide with its harmonics and breath.
std::vector<TLayer> Voice(double from, double to, double length, bool rough)
{
    std::vector<TLayer> layers = {Tone(0, length, from, to, 0.8, 2.5, {1, 0.7, 0.5, 0.35, 0.2, 0.1}),
                                  Noise(0, length, rough ? 0.5 : 0.15, 3, rough ? 900 : 2500, 200)};
    layers[0].Attack = 0.04;
    layers[1].Attack = 0.04;
    return layers;
}

struct TWeaponFall {
    const char* Kind;
    int StoneDelay, SoilDelay;
    double Ring;
    bool Wood;
};

} // namespace

std::vector<TSoundFile> MakeEffects()
{
    std::vector<std::pair<std::string, std::vector<TLayer>>> recipes = {
        // The interface.
        {"UI\\btn_click.wav", {Tone(0, 0.05, 1800, 1500, 0.6, 60), Noise(0, 0.015, 0.4, 150, 5000, 800)}},
        {"UI\\btn_click_fail.wav",
         {Tone(0, 0.12, 220, 200, 0.6, 8, {1, 0.5, 0.3}), Tone(0.13, 0.16, 185, 165, 0.6, 8, {1, 0.5, 0.3})}},
        {"UI\\btn_point.wav", {Tone(0, 0.03, 2400, 2400, 0.3, 90)}},
        {"UI\\castle_lost.wav",
         {Tone(0, 0.35, 440, 440, 0.5, 3, {1, 0.4, 0.2}), Tone(0.3, 0.35, 349.2, 349.2, 0.5, 3, {1, 0.4, 0.2}),
          Tone(0.6, 0.7, 293.7, 290, 0.6, 2, {1, 0.4, 0.2}), Tone(0, 1.3, 146.8, 146.8, 0.25, 1.5)}},
        {"UI\\gold_earn.wav", Join({Coin(0, 1318.5), Coin(0.08, 1760), Coin(0.16, 2093)})},
        {"UI\\gold_pay.wav", Join({Coin(0, 1760), Coin(0.09, 1318.5)})},
        {"UI\\inv_bottle.wav",
         {Tone(0, 0.25, 2600, 2600, 0.4, 15), Tone(0, 0.2, 3900, 3900, 0.25, 22),
          Noise(0.05, 0.25, 0.25, 8, 900, 200)}},
        {"UI\\inv_buy.wav", Join({Coin(0, 1568), Coin(0.07, 2093), {Tone(0.12, 0.3, 1046.5, 1046.5, 0.3, 8)}})},
        {"UI\\inv_char_kick.wav", {Tone(0, 0.18, 110, 70, 0.9, 18), Noise(0, 0.08, 0.5, 40, 1200)}},
        {"UI\\inv_item_drag.wav", {Swell(Noise(0, 0.12, 0.5, 0, 3000, 600))}},
        {"UI\\inv_item_drop.wav", {Tone(0, 0.12, 160, 120, 0.8, 25), Noise(0, 0.03, 0.5, 80, 4000)}},
        {"UI\\inv_item_equip.wav", Metal(0, 620, 0.3, 0.5)},
        {"UI\\inv_item_remove.wav", {Noise(0, 0.14, 0.5, 20, 2500, 500)}},
        {"UI\\inv_sell.wav", Join({Coin(0, 2093), Coin(0.08, 1568), Coin(0.16, 1318.5)})},
        {"UI\\map_point_battle.wav",
         {Tone(0, 0.3, 80, 55, 1.0, 10), Noise(0, 0.1, 0.6, 30, 600), Tone(0.15, 0.6, 196, 196, 0.4, 2, {1, 0.6, 0.4, 0.2}),
          Tone(0.15, 0.6, 293.7, 293.7, 0.3, 2, {1, 0.6, 0.4})}},
        {"UI\\point.wav", {Tone(0, 0.06, 1200, 1250, 0.4, 40)}},
        {"UI\\window_m_appear.wav", {Tone(0, 0.16, 420, 840, 0.5, 10, {1, 0.3})}},
        {"UI\\window_m_disappear.wav", {Tone(0, 0.16, 840, 420, 0.5, 10, {1, 0.3})}},
        {"UI\\window_p_appear.wav", {Noise(0, 0.2, 0.5, 10, 2500, 400), Noise(0.06, 0.1, 0.3, 25, 5000, 1500)}},
        {"UI\\window_p_collapse.wav", {Noise(0, 0.12, 0.5, 25, 2000, 300)}},
        {"UI\\window_p_expand.wav", {Swell(Noise(0, 0.12, 0.5, 0, 2500, 400))}},

        // Battle hits of the [SFX] section.
        {"SFX\\hit_blade_flesh.wav", {Noise(0, 0.15, 0.8, 20, 2500, 300), Tone(0, 0.12, 130, 80, 0.6, 25)}},
        {"SFX\\hit_blade_armor.wav", Join({Metal(0, 880, 0.35, 0.6), {Noise(0, 0.08, 0.5, 40, 5000, 1000)}})},
        {"SFX\\hit_blunt.wav", {Tone(0, 0.2, 120, 60, 1.0, 18), Noise(0, 0.1, 0.6, 35, 1500)}},
        {"SFX\\hit_pierce.wav", {Noise(0, 0.06, 0.6, 40, 4000, 1200), Tone(0.02, 0.15, 150, 90, 0.7, 22)}},
        {"SFX\\hit_shield.wav", {Tone(0, 0.3, 190, 170, 0.9, 12, {1, 0.6, 0.3}), Noise(0, 0.06, 0.6, 50, 3000)}},
        {"SFX\\arrow_hit.wav", {Swell(Noise(0, 0.15, 0.3, 0, 3000, 1000)), Tone(0.15, 0.12, 220, 140, 0.8, 30),
                                Noise(0.15, 0.05, 0.5, 60, 2500)}},
        {"SFX\\hit_claws.wav", {Noise(0, 0.1, 0.7, 30, 3500, 800), Noise(0.07, 0.1, 0.6, 30, 3000, 700),
                                Tone(0, 0.25, 90, 70, 0.4, 10, {1, 0.5})}},
        {"SFX\\hit_ghost.wav", {Tone(0, 0.5, 330, 247, 0.5, 4, {1, 0, 0.3}), Noise(0, 0.5, 0.3, 4, 1200, 400)}},
        {"SFX\\magic_bolt.wav", {Tone(0, 0.4, 600, 1400, 0.5, 5, {1, 0.5, 0.25}), Tone(0, 0.4, 603, 1410, 0.4, 5),
                                 Noise(0.3, 0.15, 0.4, 20, 4000, 800)}},
        {"SFX\\menu_whoosh.wav", {Swell(Noise(0, 0.2, 0.4, 0, 2000, 300))}},

        // Voices: a man and a beast, each with a second variant.
        {"Voices\\death_man.wav", Voice(210, 110, 0.7, false)},
        {"Voices\\death_man_var.wav", Voice(190, 100, 0.8, false)},
        {"Voices\\hurt_man.wav", Voice(260, 200, 0.3, false)},
        {"Voices\\hurt_man_var.wav", Voice(240, 190, 0.28, false)},
        {"Voices\\death_beast.wav", Voice(140, 60, 0.9, true)},
        {"Voices\\death_beast_var.wav", Voice(120, 55, 1.0, true)},
        {"Voices\\hurt_beast.wav", Voice(180, 130, 0.35, true)},
        {"Voices\\hurt_beast_var.wav", Voice(170, 120, 0.3, true)},
    };

    // Falls of the weapon kinds the sample's units carry, and of the armours.
    const TWeaponFall weapons[] = {
        {"sword", 420, 450, 1250, false},  {"axe", 440, 460, 900, false},     {"mace", 460, 480, 700, false},
        {"dagger", 380, 400, 1600, false}, {"spear", 500, 520, 420, true},    {"longsword", 450, 470, 1050, false},
        {"pike", 540, 560, 380, true},     {"lance", 560, 580, 360, true},    {"bow", 400, 420, 520, true},
        {"arbalet", 430, 450, 760, false}, {"staff", 470, 490, 330, true},    {"wand", 360, 380, 480, true},
    };
    for (const TWeaponFall& w : weapons) {
        recipes.push_back({std::string("SFX\\fall_") + w.Kind + "_stone_" + std::to_string(w.StoneDelay) + ".wav",
                           Fall(true, w.Ring, w.Wood)});
        recipes.push_back({std::string("SFX\\fall_") + w.Kind + "_soil_" + std::to_string(w.SoilDelay) + ".wav",
                           Fall(false, w.Ring, w.Wood)});
    }
    const struct {
        const char* Kind;
        double Ring; // 0: cloth
    } armours[] = {{"robe", 0}, {"lightarmor", 0}, {"mediumarmor", 1900}, {"heavyarmor", 700}};
    for (const auto& a : armours)
        for (bool stone : {true, false})
            recipes.push_back({std::string("SFX\\fall_") + a.Kind + (stone ? "_stone_0.wav" : "_soil_0.wav"),
                               Fall(stone, a.Ring, false)});

    // Footsteps: soft and metal soles on stone and grass; the foley of the
    // four armour kinds.
    for (const char* sole : {"soft", "metal"}) {
        const bool metal = sole[0] == 'm';
        for (int n : {1, 2}) {
            const double shift = n == 1 ? 1.0 : 0.85;
            std::vector<TLayer> stone = {Noise(0, 0.07, 0.7, 50, 4000 * shift, 600), Tone(0, 0.06, 180 * shift, 120, 0.5, 50)};
            std::vector<TLayer> grass = {Noise(0, 0.16, 0.6, 18, 1800 * shift, 300)};
            if (metal) {
                const auto clink = Metal(0.01, 1500 * shift, 0.15, 0.25);
                stone.insert(stone.end(), clink.begin(), clink.end());
                grass.insert(grass.end(), clink.begin(), clink.end());
            }
            const std::string base = std::string("SFX\\steps\\footstep_") + sole + "_";
            recipes.push_back({base + "stone" + std::to_string(n) + ".wav", stone});
            recipes.push_back({base + "grass" + std::to_string(n) + ".wav", grass});
        }
    }
    for (int n = 1; n <= 3; n++) {
        const double shift = 1.0 + 0.12 * (n - 2);
        const std::string suffix = "foley" + std::to_string(n) + ".wav";
        recipes.push_back({"SFX\\steps\\shirt_" + suffix, {Noise(0, 0.18, 0.5, 12, 2200 * shift, 500)}});
        recipes.push_back({"SFX\\steps\\leather_" + suffix,
                           {Noise(0, 0.15, 0.4, 15, 1200 * shift, 200), Tone(0.02, 0.1, 260 * shift, 240, 0.3, 20, {1, 0.6, 0.4})}});
        std::vector<TLayer> mail;
        for (int k = 0; k < 5; k++) {
            const auto ring = Metal(0.025 * k, 2600 * shift + 310 * k, 0.12, 0.2);
            mail.insert(mail.end(), ring.begin(), ring.end());
        }
        recipes.push_back({"SFX\\steps\\chainmail_" + suffix, mail});
        recipes.push_back({"SFX\\steps\\breastplate_" + suffix, Metal(0, 520 * shift, 0.3, 0.5)});
    }

    std::vector<TSoundFile> files;
    files.reserve(recipes.size());
    for (const auto& recipe : recipes)
        files.push_back({recipe.first, Render(recipe.first, recipe.second)});
    return files;
}

} // namespace SoundGen

// The sample installation's music and sounds.
//   soundgen FOLDER
//       writes into FOLDER's music folder the menu theme "01 The
//       Gloamwood.ogg", the closing theme "28 The Raven.ogg", the playlist's
//       tracks (map by day and by night, battle, town, castle, event) and the
//       short sounds: the interface's, the battle hits, voices, falls and
//       footsteps
// The tunes are short pieces of our own: a modal melody on a soft reed over a
// slow drone, with a little room (the battle's with a drum). Everything is
// computed from the notes and recipes, so two runs write identical bytes. A
// failure prints one line on stderr and exits non-zero.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/os/OS.h"
#include "tools/SoundFiles.h"
#include "tools/soundgen/SoundEffects.h"

namespace {

constexpr int Rate = 44100;
constexpr int Channels = 2;
constexpr double Pi = 3.14159265358979323846;

// A note: a MIDI key (0 = a rest) and its length in beats.
struct TNote {
    int Key;
    double Beats;
};

struct TTune {
    const char* FileName;
    double BeatsPerMinute;
    std::vector<TNote> Melody;
    int DroneRoot, DroneFifth; // MIDI keys of the drone
    // The reed's harmonics, strongest first: 1, 2, 3 ... times the note.
    std::vector<double> Harmonics;
    double PulseBeats = 0; // a drum every so many beats, 0 none
    float Quality = 0.3f;  // of the encoder; the playlist's tracks are smaller
};

double Frequency(int key)
{
    return 440.0 * std::pow(2.0, (key - 69) / 12.0);
}

// One note of the melody voice added into a mono buffer: a quick swell, a
// slight fall to the held level, a vibrato that grows in, and a soft release
// after the note's end.
void AddNote(std::vector<double>& out, const TTune& tune, double start, double length, int key)
{
    const double attack = 0.05, release = 0.35, f = Frequency(key);
    const size_t first = static_cast<size_t>(start * Rate);
    const size_t count = static_cast<size_t>((length + release) * Rate);
    double phase = 0;
    for (size_t i = 0; i < count && first + i < out.size(); i++) {
        const double t = static_cast<double>(i) / Rate;
        double level = t < attack ? t / attack : 0.75 + 0.25 * std::exp(-(t - attack) * 6);
        if (t > length)
            level *= std::max(0.0, 1 - (t - length) / release);
        const double vibrato = 1 + 0.004 * std::min(1.0, t / 0.6) * std::sin(2 * Pi * 5.2 * t);
        phase += 2 * Pi * f * vibrato / Rate;
        double sample = 0;
        for (size_t h = 0; h < tune.Harmonics.size(); h++)
            sample += tune.Harmonics[h] * std::sin(phase * static_cast<double>(h + 1));
        out[first + i] += 0.22 * level * sample;
    }
}

// The drone: root and fifth, each slowly breathing, faded in and out with
// the piece.
void AddDrone(std::vector<double>& out, const TTune& tune)
{
    const double total = static_cast<double>(out.size()) / Rate;
    for (size_t i = 0; i < out.size(); i++) {
        const double t = static_cast<double>(i) / Rate;
        const double fade = std::min({1.0, t / 3.0, (total - t) / 3.0});
        double sample = 0;
        int voice = 0;
        for (int key : {tune.DroneRoot, tune.DroneFifth, tune.DroneRoot + 12}) {
            const double f = Frequency(key);
            const double breath = 0.75 + 0.25 * std::sin(2 * Pi * (0.11 + 0.04 * voice) * t + voice);
            sample += (voice == 2 ? 0.35 : 1.0) * breath * (std::sin(2 * Pi * f * t) + 0.3 * std::sin(4 * Pi * f * t));
            voice++;
        }
        out[i] += 0.07 * fade * sample;
    }
}

// A low drum stroke: a falling thump with a little skin noise.
void AddDrum(std::vector<double>& out, double start)
{
    const size_t first = static_cast<size_t>(start * Rate);
    const size_t count = static_cast<size_t>(0.3 * Rate);
    double phase = 0;
    uint32_t noise = static_cast<uint32_t>(first) | 1u;
    double low = 0;
    for (size_t i = 0; i < count && first + i < out.size(); i++) {
        const double t = static_cast<double>(i) / Rate;
        phase += 2 * Pi * (45 + 35 * std::exp(-t * 25)) / Rate;
        noise = noise * 1664525u + 1013904223u;
        low += 0.08 * (static_cast<double>(noise >> 8) / 8388608.0 - 1.0 - low);
        out[first + i] += std::exp(-t * 12) * (0.5 * std::sin(phase) + 0.6 * low);
    }
}

// The tune as interleaved stereo: the voice a little apart in the two ears,
// two echoes for the room, the peak brought to 0.8.
std::vector<float> Render(const TTune& tune)
{
    const double beat = 60.0 / tune.BeatsPerMinute;
    double length = 0;
    for (const TNote& n : tune.Melody)
        length += n.Beats * beat;
    const double total = length + 3.0; // the tail of the last note and the room
    std::vector<double> voice(static_cast<size_t>(total * Rate), 0.0), drone(voice.size(), 0.0);
    double at = 1.0; // the drone sounds first
    for (const TNote& n : tune.Melody) {
        if (n.Key > 0)
            AddNote(voice, tune, at, n.Beats * beat * 0.95, n.Key);
        at += n.Beats * beat;
    }
    AddDrone(drone, tune);
    if (tune.PulseBeats > 0)
        for (double t = 1.0; t < length + 1.0; t += tune.PulseBeats * beat)
            AddDrum(drone, t);

    std::vector<double> left(voice.size()), right(voice.size());
    const size_t apart = Rate * 12 / 1000, echo1 = Rate * 290 / 1000, echo2 = Rate * 470 / 1000;
    for (size_t i = 0; i < voice.size(); i++) {
        const double late = i >= apart ? voice[i - apart] : 0;
        left[i] = voice[i] + drone[i];
        right[i] = late + drone[i];
        if (i >= echo1) {
            left[i] += 0.28 * right[i - echo1];
            right[i] += 0.22 * left[i - echo1];
        }
        if (i >= echo2) {
            left[i] += 0.12 * left[i - echo2];
            right[i] += 0.15 * right[i - echo2];
        }
    }
    double peak = 1e-9;
    for (size_t i = 0; i < left.size(); i++)
        peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    std::vector<float> out(left.size() * Channels);
    for (size_t i = 0; i < left.size(); i++) {
        out[i * 2] = static_cast<float>(left[i] * 0.8 / peak);
        out[i * 2 + 1] = static_cast<float>(right[i] * 0.8 / peak);
    }
    return out;
}

// The menu theme: D dorian at an easy walk.
TTune Gloamwood()
{
    return {"01 The Gloamwood.ogg",
            72,
            {{69, 1}, {74, 1}, {72, 0.5}, {69, 0.5}, {67, 1}, {69, 2},   {65, 1},   {67, 1},   {69, 1},
             {64, 1}, {62, 3}, {0, 1},    {74, 1},   {76, 1}, {77, 1},   {76, 0.5}, {74, 0.5}, {72, 2},
             {69, 2}, {67, 1}, {69, 1},   {71, 1},   {69, 1}, {67, 0.5}, {65, 0.5}, {64, 1},   {62, 4}},
            38,
            45,
            {1.0, 0.45, 0.22, 0.1, 0.05}};
}

// The closing theme: A aeolian, slow and low, on a hollower reed.
TTune Raven()
{
    return {"28 The Raven.ogg",
            60,
            {{64, 2},
             {62, 1},
             {60, 1},
             {59, 2},
             {57, 2},
             {60, 1},
             {62, 1},
             {64, 1},
             {67, 1},
             {65, 2},
             {64, 2},
             {69, 2},
             {67, 1},
             {65, 1},
             {64, 1},
             {62, 1},
             {60, 1},
             {59, 1},
             {57, 6}},
            33,
            40,
            {1.0, 0.05, 0.33, 0.04, 0.18, 0.02, 0.09}};
}

// The playlist's tracks, each under twenty seconds.
std::vector<TTune> PlaylistTunes()
{
    const std::vector<double> reed = {1.0, 0.45, 0.22, 0.1, 0.05};
    const std::vector<double> flute = {1.0, 0.12, 0.05};
    const std::vector<double> horn = {1.0, 0.6, 0.4, 0.25, 0.15, 0.08};
    std::vector<TTune> tunes;
    // By day on the map: G major pentatonic, walking.
    tunes.push_back({"Map_Day.ogg", 96,
                     {{67, 1}, {69, 1}, {71, 1}, {74, 1}, {76, 2}, {74, 1}, {71, 1}, {69, 2}, {67, 1}, {64, 1},
                      {67, 3}, {0, 1}, {71, 1}, {74, 1}, {76, 1}, {79, 1}, {76, 1}, {74, 1}, {71, 2}, {69, 4}},
                     43, 50, flute});
    // By night: E aeolian, slow.
    tunes.push_back({"Map_Night.ogg", 60,
                     {{64, 2}, {67, 1}, {66, 1}, {64, 2}, {62, 1}, {59, 1}, {60, 2}, {59, 2}, {0, 1}, {55, 1},
                      {57, 2}, {59, 4}},
                     40, 47, reed});
    // Battle: D with a flattened second over a steady drum.
    tunes.push_back({"Battle.ogg", 132,
                     {{62, 1}, {63, 1}, {62, 1}, {65, 1}, {67, 2}, {65, 1}, {63, 1}, {62, 2}, {69, 2}, {67, 1},
                      {65, 1}, {63, 2}, {62, 2}, {62, 1}, {63, 1}, {65, 1}, {67, 1}, {69, 2}, {70, 2}, {69, 2},
                      {67, 1}, {65, 1}, {63, 2}, {62, 4}},
                     38, 45, horn, 1.0});
    // A town by day: F major, lively.
    tunes.push_back({"Town.ogg", 108,
                     {{65, 1}, {69, 1}, {72, 1}, {69, 1}, {70, 1}, {67, 1}, {69, 2}, {72, 1}, {74, 1}, {72, 1},
                      {70, 1}, {69, 2}, {67, 2}, {65, 1}, {67, 1}, {69, 1}, {70, 1}, {72, 2}, {67, 2}, {65, 4}},
                     41, 48, reed});
    // A castle: C major, stately, on a horn.
    tunes.push_back({"Castle.ogg", 80,
                     {{60, 2}, {64, 1}, {67, 1}, {72, 2}, {71, 1}, {69, 1}, {67, 2}, {65, 1}, {64, 1}, {62, 2},
                      {60, 4}},
                     36, 43, horn, 2.0});
    // A story event: A harmonic minor, questioning.
    tunes.push_back({"Event.ogg", 70,
                     {{69, 2}, {72, 1}, {71, 1}, {68, 2}, {69, 1}, {71, 1}, {72, 2}, {76, 2}, {74, 1}, {72, 1},
                      {71, 4}},
                     45, 52, flute});
    for (TTune& tune : tunes)
        tune.Quality = 0.0f;
    return tunes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: soundgen FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "\\Music";
    if (!OS_CreateDirectoryTree(folder)) {
        std::fprintf(stderr, "soundgen: cannot make the folder %s\n", folder.c_str());
        return 1;
    }
    std::vector<TTune> tunes = {Gloamwood(), Raven()};
    for (TTune& tune : PlaylistTunes())
        tunes.push_back(std::move(tune));
    for (const TTune& tune : tunes) {
        const std::string ogg = SoundFiles::EncodeOgg(Render(tune), Channels, Rate, tune.Quality);
        const std::string path = folder + "\\" + tune.FileName;
        if (ogg.empty() || !OS_WriteFileAtomic(path, ogg.data(), ogg.size())) {
            std::fprintf(stderr, "soundgen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    for (const SoundGen::TSoundFile& file : SoundGen::MakeEffects()) {
        const std::string path = folder + "\\" + file.Name;
        const size_t slash = path.rfind('\\');
        if (!OS_CreateDirectoryTree(path.substr(0, slash)) ||
            !OS_WriteFileAtomic(path, file.Bytes.data(), file.Bytes.size())) {
            std::fprintf(stderr, "soundgen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

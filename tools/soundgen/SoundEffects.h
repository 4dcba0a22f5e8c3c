// The sample installation's short sounds: interface sounds, battle hits,
// voices, falls and footsteps, each a few layers of tones and filtered noise
// written as 16-bit mono WAV. Everything is computed from the recipes and a
// noise generator seeded by the file's name, so two runs write the same
// bytes.
#pragma once

#include <string>
#include <vector>

namespace SoundGen {

// One file: its name below the music folder ("UI\btn_click.wav") and its
// WAV bytes.
struct TSoundFile {
    std::string Name;
    std::string Bytes;
};

// Every short sound of the installation.
std::vector<TSoundFile> MakeEffects();

} // namespace SoundGen

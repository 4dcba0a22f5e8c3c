// Where the art generator writes: a folder of the installation, addressed by
// Windows-form relative paths ("Landscape\Buildings\Town_a.d3d"). Every
// writer refuses what the program's readers would refuse, so a bad asset
// stops the build instead of the game.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/MeshFiles.h"

struct TArtError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class TArtOutput {
public:
    explicit TArtOutput(std::string root);

    // Writes one file, making its folders; relative uses "\" or "/".
    void Write(const std::string& relative, const std::vector<uint8_t>& bytes);
    // A ".D3D" mesh file; a record over 65,535 vertices is refused.
    void WriteMeshFile(const std::string& relative, const std::vector<TMeshFileRecord>& records);
    // A DDS file; anything but DXT1, DXT3 or DXT5 is refused.
    void WriteDDS(const std::string& relative, const std::vector<uint8_t>& dds);

    const std::string& Root() const { return RootFolder; }
    // Every file written so far, in writing order.
    const std::vector<std::string>& Written() const { return Files; }

private:
    std::string RootFolder;
    std::vector<std::string> Files;
};

// The sets of the sample installation's art; each writes its own folders.
void GenerateInterfaceArt(TArtOutput& out);
void GenerateLandscapeArt(TArtOutput& out);
void GeneratePersonageArt(TArtOutput& out);
void GenerateArenaArt(TArtOutput& out);
// The benchmark's 70-bone figure, written only when asked for by name.
void GenerateBenchFigure(TArtOutput& out);

// The sample installation's art.
//   artgen FOLDER [SET ...]
//       writes the art sets (interface, landscape, personages, arenas; all
//       when none is named) into the installation FOLDER; "figure70" writes
//       the benchmark's 70-bone figure, which no installation holds
//   artgen FOLDER [SET ...] --sheet FILE.png
//       the same, and a contact sheet of the screens' pictures
// The output depends on nothing but the program: two runs write identical
// bytes. A failure prints one line on stderr and exits non-zero.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/artgen/ArtOutput.h"
#include "tools/artgen/Art_Interface.h"

namespace {

struct TArtSet {
    const char* Name;
    void (*Generate)(TArtOutput&);
};

const TArtSet ArtSets[] = {
    {"interface", GenerateInterfaceArt},
    {"landscape", GenerateLandscapeArt},
    {"personages", GeneratePersonageArt},
    {"arenas", GenerateArenaArt},
};

// Sets outside the installation, made only when named.
const TArtSet ExtraSets[] = {
    {"figure70", GenerateBenchFigure},
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: artgen FOLDER [interface|landscape|personages|arenas|figure70 ...]\n");
        return 2;
    }
    std::vector<const TArtSet*> chosen;
    std::string sheet;
    for (int i = 2; i < argc; i++) {
        if (std::strcmp(argv[i], "--sheet") == 0 && i + 1 < argc) {
            sheet = argv[++i];
            ArtSheetEnable();
            continue;
        }
        const TArtSet* found = nullptr;
        for (const TArtSet& set : ArtSets)
            if (std::strcmp(set.Name, argv[i]) == 0)
                found = &set;
        for (const TArtSet& set : ExtraSets)
            if (std::strcmp(set.Name, argv[i]) == 0)
                found = &set;
        if (!found) {
            std::fprintf(stderr, "artgen: no art set \"%s\"\n", argv[i]);
            return 2;
        }
        chosen.push_back(found);
    }
    if (chosen.empty())
        for (const TArtSet& set : ArtSets)
            chosen.push_back(&set);

    TArtOutput out(argv[1]);
    try {
        for (const TArtSet* set : chosen)
            set->Generate(out);
        if (!sheet.empty())
            ArtSheetWrite(sheet);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "artgen: %s\n", e.what());
        return 1;
    }
    return 0;
}

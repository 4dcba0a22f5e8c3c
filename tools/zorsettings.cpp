// zorsettings: builds the crash reporter's settings resource from its
// readable source, with variant sources laid over it, or an assistant form
// resource from the form's source.
//
//   zorsettings -o <resource> <source> [<variant>...]
//   zorsettings --form -o <resource> <form source>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "crashreport/core/zorExcept_SettingsSource.h"

namespace {

bool ReadWhole(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::string output;
    std::vector<std::string> inputs;
    bool form = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--form")
            form = true;
        else if (arg == "-o" && i + 1 < argc)
            output = argv[++i];
        else
            inputs.push_back(arg);
    }
    if (output.empty() || inputs.empty() || (form && inputs.size() != 1)) {
        std::cerr << "usage: zorsettings -o <resource> <source> [<variant>...]\n"
                     "       zorsettings --form -o <resource> <form source>\n";
        return 2;
    }
    std::vector<std::string> sources(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i)
        if (!ReadWhole(inputs[i], sources[i])) {
            std::cerr << "zorsettings: can't read " << inputs[i] << "\n";
            return 1;
        }
    std::string resource;
    std::string error;
    const bool compiled =
        form ? CompileFormSource(sources[0], resource, error) : CompileSettingsSources(sources, resource, error);
    if (!compiled) {
        std::cerr << "zorsettings: " << error << "\n";
        return 1;
    }
    // Written beside the target and renamed, so a failed run leaves no
    // half-written resource for the build to pick up.
    const std::string temporary = output + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(resource.data(), static_cast<std::streamsize>(resource.size()));
        if (!out.flush()) {
            std::cerr << "zorsettings: can't write " << temporary << "\n";
            return 1;
        }
    }
    if (std::rename(temporary.c_str(), output.c_str()) != 0) {
        std::cerr << "zorsettings: can't write " << output << "\n";
        return 1;
    }
    return 0;
}

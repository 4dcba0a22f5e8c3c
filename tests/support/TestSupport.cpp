#include "tests/support/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

TTempFolder::TTempFolder()
{
    std::string pattern = (fs::temp_directory_path() / "duskmarch-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    FPath = std::string(made ? made : pattern.c_str()) + "/";
}

TTempFolder::~TTempFolder()
{
    std::error_code ec;
    fs::remove_all(FPath, ec);
}

std::string TTempFolder::ProgramPath() const
{
    std::string p = FPath;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

std::string TTempFolder::WriteFile(const std::string& relative, const std::string& bytes) const
{
    fs::path full = fs::path(FPath) / relative;
    fs::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return full.string();
}

std::string TTempFolder::WriteProgramFile(const std::string& relative, const std::string& bytes) const
{
    std::string real = relative;
    for (char& c : real)
        if (c == '\\')
            c = '/';
    WriteFile(real, bytes);
    return ProgramPath() + relative;
}

std::string TTempFolder::ReadFile(const std::string& relative) const
{
    std::ifstream in(fs::path(FPath) / relative, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string FixturePath(const std::string& relative)
{
    return std::string(DUSKMARCH_FIXTURES) + "/" + relative;
}

std::string RunProgram(const std::string& program, const std::string& arguments, int& status)
{
    const std::string command = "ASAN_OPTIONS=detect_leaks=0 \"" + program + "\" " + arguments + " 2>&1";
    status = -1;
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    if (pipe == nullptr)
        return out;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        out.append(buffer, got);
    status = pclose(pipe);
    return out;
}

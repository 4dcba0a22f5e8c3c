// Helpers the crash reporter's tests share.
#pragma once

#include <cstdlib>
#include <string>

// The path with every link resolved; empty when it doesn't exist.
inline std::string RealPathOf(const std::string& path)
{
    char* real = realpath(path.c_str(), nullptr);
    std::string result = real ? real : "";
    free(real);
    return result;
}

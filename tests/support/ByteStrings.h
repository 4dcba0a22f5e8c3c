// Building binary files byte by byte in tests: little-endian numbers as
// strings, and bzip2 streams made straight with the library (independent of
// the units under test).
#pragma once

#include <gtest/gtest.h>

#include <bzlib.h>
#include <cstdint>
#include <string>

inline std::string U32(uint32_t v)
{
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

inline std::string U16(uint16_t v)
{
    return std::string(reinterpret_cast<const char*>(&v), 2);
}

inline std::string Bz(const std::string& content, int level = 1)
{
    std::string out(content.size() + content.size() / 100 + 600, '\0');
    unsigned length = static_cast<unsigned>(out.size());
    std::string in = content;
    char dummy = 0;
    EXPECT_EQ(BZ2_bzBuffToBuffCompress(out.data(), &length, in.empty() ? &dummy : in.data(),
                                       static_cast<unsigned>(in.size()), level, 0, 0),
              BZ_OK);
    out.resize(length);
    return out;
}

// What the command-line tools share: strict numbers from their arguments and
// one way to write their output, each failing with a line on stderr that says
// what went wrong.
#pragma once

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/os/OS.h"

namespace ToolArgs {

// The whole text as a number of the base, at most `most`: no sign, blank or
// trailing character, and never a value that wrapped (4294967297 is not 1).
inline bool ParseUnsigned(const std::string& text, uint64_t most, uint64_t& value, int base = 10)
{
    uint64_t parsed = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, parsed, base);
    if (text.empty() || error != std::errc() || stop != end || parsed > most)
        return false;
    value = parsed;
    return true;
}

// The same, with a line on stderr naming the argument when it is no such
// number.
inline bool ParseArgument(const char* tool, const char* what, const std::string& text, uint64_t least, uint64_t most,
                          uint64_t& value)
{
    if (ParseUnsigned(text, most, value) && value >= least)
        return true;
    std::fprintf(stderr, "%s: %s must be a whole number from %llu to %llu, not \"%s\"\n", tool, what,
                 static_cast<unsigned long long>(least), static_cast<unsigned long long>(most), text.c_str());
    return false;
}

// Writes an output file (a path as the shell gives it) in one piece: the old
// file is replaced only when every byte went. False after a line on stderr.
inline bool WriteOutput(const char* tool, const std::string& path, const void* data, size_t size)
{
    errno = 0;
    if (OS_WriteFileAtomic(OS_ToProgramPath(path), data, size))
        return true;
    std::fprintf(stderr, "%s: can't write %s: %s\n", tool, path.c_str(), std::strerror(errno != 0 ? errno : EIO));
    return false;
}

// Flushes standard output; false after a line on stderr when what was
// printed could not all be written (a full disk, a device that takes nothing).
// The caller clears errno before it starts printing, so the reason is the
// failed write's.
inline bool FinishStdout(const char* tool)
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    std::fprintf(stderr, "%s: can't write the output: %s\n", tool, std::strerror(errno != 0 ? errno : EIO));
    return false;
}

} // namespace ToolArgs

// Message boxes: always written to stderr so logs keep them; shown as SDL
// boxes only when a display is there and the run is not headless, because a
// modal box nobody can see would hang tests and unattended runs.
#include "platform/os/OS.h"

#include <SDL2/SDL.h>
#include <cerrno>
#include <unistd.h>

namespace {

// The engine's texts break lines with CR LF or LF CR pairs: one "\n" each.
std::string ToUnixLines(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            out.push_back(c);
            continue;
        }
        const char pair = (c == '\r') ? '\n' : '\r';
        if (i + 1 < text.size() && text[i + 1] == pair)
            ++i;
        out.push_back('\n');
    }
    return out;
}

void WriteStderr(const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return;
        done += static_cast<size_t>(put);
    }
}

} // namespace

bool OS_IsHeadless()
{
    if (OS_GetEnv("DUSKMARCH_HEADLESS") == "1")
        return true;
    return OS_GetEnv("DISPLAY").empty() && OS_GetEnv("WAYLAND_DISPLAY").empty();
}

void OS_MessageBox(const std::string& caption, const std::string& text, uint32_t style)
{
    const std::string body = ToUnixLines(text);
    std::string line = ToUnixLines(caption) + ": " + body;
    if (line.empty() || line.back() != '\n')
        line += '\n';
    WriteStderr(line);
    if (OS_IsHeadless())
        return;
    uint32_t flags = SDL_MESSAGEBOX_INFORMATION;
    if ((style & 0xF0) == MB_ICONERROR)
        flags = SDL_MESSAGEBOX_ERROR;
    else if ((style & 0xF0) == MB_ICONWARNING)
        flags = SDL_MESSAGEBOX_WARNING;
    SDL_ShowSimpleMessageBox(flags, caption.c_str(), body.c_str(), nullptr);
}

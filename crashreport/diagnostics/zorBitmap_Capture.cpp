// zorBitmap: screenshots of the X display. Normal context (the handler
// thread): the X connection is opened for the one capture and closed again.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

#include <SDL_syswm.h>

#include <algorithm>
#include <atomic>

#include "crashreport/diagnostics/zorBitmap.h"
#include "crashreport/core/zorExcept_Slots.h"

namespace {

std::atomic<unsigned long> CaptureWindow{0};

struct TRectI {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool Empty() const { return Right <= Left || Bottom <= Top; }
    TRectI Intersect(const TRectI& o) const
    {
        return {std::max(Left, o.Left), std::max(Top, o.Top), std::min(Right, o.Right), std::min(Bottom, o.Bottom)};
    }
};

int ErrorIgnored(Display*, XErrorEvent*)
{
    return 0;
}

class TDisplay {
public:
    TDisplay() : Dpy(XOpenDisplay(nullptr)) {}
    ~TDisplay()
    {
        if (Dpy)
            XCloseDisplay(Dpy);
    }
    Display* Dpy;
};

// The root's child that holds the window (the window manager's frame when
// there is one), or 0.
Window TopLevelOf(Display* dpy, Window root, Window window)
{
    for (int depth = 0; depth < 64 && window != 0; ++depth) {
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(dpy, window, &rootReturn, &parent, &children, &count))
            return 0;
        if (children)
            XFree(children);
        if (parent == root)
            return window;
        window = parent;
    }
    return 0;
}

bool ViewableRect(Display* dpy, Window root, Window window, TRectI& rect)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, window, &a) || a.map_state != IsViewable)
        return false;
    int x = 0, y = 0;
    Window child;
    if (!XTranslateCoordinates(dpy, window, root, 0, 0, &x, &y, &child))
        return false;
    rect = {x - a.border_width, y - a.border_width, x + a.width + a.border_width, y + a.height + a.border_width};
    return true;
}

// Copies the part of the root window into the bitmap at the offset, only
// where the mask (when given) allows.
bool CopyArea(Display* dpy, Window root, const TRectI& area, TINVBitmap& bitmap, const std::vector<uint8_t>* mask)
{
    XImage* image = XGetImage(dpy, root, area.Left, area.Top, static_cast<unsigned>(area.Right - area.Left),
                              static_cast<unsigned>(area.Bottom - area.Top), AllPlanes, ZPixmap);
    if (!image)
        return false;
    const int width = area.Right - area.Left, height = area.Bottom - area.Top;
    const unsigned long rm = image->red_mask, gm = image->green_mask, bm = image->blue_mask;
    auto shiftOf = [](unsigned long m) {
        int s = 0;
        while (m && !(m & 1)) {
            m >>= 1;
            ++s;
        }
        return s;
    };
    const int rs = shiftOf(rm), gs = shiftOf(gm), bs = shiftOf(bm);
    auto scale = [](unsigned long v, unsigned long m) { return m == 0 ? 0u : static_cast<uint32_t>(v * 255 / m); };
    const bool fast =
        image->bits_per_pixel == 32 && rm == 0xFF0000 && gm == 0xFF00 && bm == 0xFF && image->byte_order == LSBFirst;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bitmap.Row(y);
        for (int x = 0; x < width; ++x) {
            if (mask && !(*mask)[static_cast<size_t>(y) * width + x])
                continue;
            uint8_t* p = row + static_cast<size_t>(x) * 4;
            if (fast) {
                const uint8_t* s = reinterpret_cast<const uint8_t*>(image->data) +
                                   static_cast<size_t>(y) * image->bytes_per_line + static_cast<size_t>(x) * 4;
                p[0] = s[0];
                p[1] = s[1];
                p[2] = s[2];
            } else {
                const unsigned long v = XGetPixel(image, x, y);
                p[2] = static_cast<uint8_t>(scale((v & rm) >> rs, rm >> rs));
                p[1] = static_cast<uint8_t>(scale((v & gm) >> gs, gm >> gs));
                p[0] = static_cast<uint8_t>(scale((v & bm) >> bs, bm >> bs));
            }
            p[3] = 0;
        }
    }
    XDestroyImage(image);
    return true;
}

// Blends the cursor (premultiplied ARGB) over the bitmap whose top left is
// at the origin.
void DrawCursor(Display* dpy, int originX, int originY, TINVBitmap& bitmap)
{
    int event = 0, error = 0;
    if (!XFixesQueryExtension(dpy, &event, &error))
        return;
    XFixesCursorImage* cursor = XFixesGetCursorImage(dpy);
    if (!cursor)
        return;
    const int left = cursor->x - cursor->xhot - originX, top = cursor->y - cursor->yhot - originY;
    for (int cy = 0; cy < cursor->height; ++cy) {
        for (int cx = 0; cx < cursor->width; ++cx) {
            const int x = left + cx, y = top + cy;
            if (x < 0 || y < 0 || x >= bitmap.PixelWidth() || y >= bitmap.PixelHeight())
                continue;
            const auto argb = static_cast<uint32_t>(cursor->pixels[static_cast<size_t>(cy) * cursor->width + cx]);
            const uint32_t alpha = argb >> 24;
            if (alpha == 0)
                continue;
            const uint32_t under = bitmap.PixelAt(x, y);
            uint32_t out = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const uint32_t s = (argb >> shift) & 0xFF, d = (under >> shift) & 0xFF;
                out |= std::min<uint32_t>(255, s + d * (255 - alpha) / 255) << shift;
            }
            bitmap.SetPixel(x, y, out);
        }
    }
    XFree(cursor);
}

} // namespace

void SetScreenCaptureWindow(unsigned long window)
{
    CaptureWindow = window;
}

namespace {

// The X id of an SDL window; 0 for none and for windows of other drivers.
unsigned long X11WindowOf(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    const bool x11 = window && SDL_GetWindowWMInfo(window, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11;
    return x11 ? static_cast<unsigned long>(info.info.x11.window) : 0;
}

} // namespace

void SetScreenCaptureSdlWindow(SDL_Window* window)
{
    SetScreenCaptureWindow(X11WindowOf(window));
}

std::shared_ptr<INVBitmap> CaptureScreen(bool appOnly)
{
    TDisplay display;
    Display* dpy = display.Dpy;
    if (!dpy)
        return nullptr;
    XErrorHandler previous = XSetErrorHandler(ErrorIgnored);
    struct TRestore {
        XErrorHandler Handler;
        ~TRestore() { XSetErrorHandler(Handler); }
    } restore{previous};

    const Window root = DefaultRootWindow(dpy);
    const TRectI screen{0, 0, DisplayWidth(dpy, DefaultScreen(dpy)), DisplayHeight(dpy, DefaultScreen(dpy))};
    if (screen.Empty())
        return nullptr;

    TRectI area = screen;
    std::vector<uint8_t> mask;
    if (appOnly) {
        Window own = CaptureWindow.load();
        if (own == 0)
            own = X11WindowOf(GameMainSdlWindow());
        TRectI ownRect;
        if (own == 0 || !ViewableRect(dpy, root, own, ownRect))
            return nullptr;
        area = ownRect.Intersect(screen);
        if (area.Empty())
            return nullptr;
        const Window top = TopLevelOf(dpy, root, own);
        const int w = area.Right - area.Left, h = area.Bottom - area.Top;
        mask.assign(static_cast<size_t>(w) * h, 1);
        // Windows later in the root's child list lie above ours.
        Window rootReturn = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (top != 0 && XQueryTree(dpy, root, &rootReturn, &parent, &children, &count)) {
            bool above = false;
            for (unsigned i = 0; i < count; ++i) {
                if (children[i] == top) {
                    above = true;
                    continue;
                }
                TRectI other;
                if (!above || !ViewableRect(dpy, root, children[i], other))
                    continue;
                const TRectI cut = other.Intersect(area);
                for (int y = cut.Top; y < cut.Bottom; ++y)
                    std::fill_n(mask.begin() + (static_cast<size_t>(y - area.Top) * w + (cut.Left - area.Left)),
                                std::max(0, cut.Right - cut.Left), uint8_t{0});
            }
            if (children)
                XFree(children);
        }
        if (std::find(mask.begin(), mask.end(), uint8_t{1}) == mask.end())
            return nullptr;
    }

    auto bitmap = std::make_shared<TINVBitmap>(area.Right - area.Left, area.Bottom - area.Top);
    if (appOnly)
        bitmap->Fill(255); // hidden parts stay white
    if (!CopyArea(dpy, root, area, *bitmap, appOnly ? &mask : nullptr))
        return nullptr;
    DrawCursor(dpy, area.Left, area.Top, *bitmap);
    return bitmap;
}

void LinkScreenCapture()
{
    ZorSlots().CaptureScreenImage = [](bool appOnly) { return CaptureScreen(appOnly); };
}

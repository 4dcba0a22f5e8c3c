// zorExcept presenters: the registry of the exception box on screen. The
// presenter that shows a box registers how to close it and removes the entry
// when the box is gone; other threads (the freeze watchdog when the main
// thread recovers) ask whether a box is open and close it. A box closed this
// way takes no action: the handling goes on as if it had been dismissed.
#pragma once

#include <functional>

class IZXException;

// Closes the presenter's box from any thread; it must not wait for the box.
using TBoxCloser = std::function<void()>;

// Normal context, the presenter's thread. One entry per exception; a second
// registration for the same exception replaces the closer.
void RegisterOpenBox(const IZXException* exception, TBoxCloser closer);
void UnregisterOpenBox(const IZXException* exception);

// Whether a box is open (for that exception, when one is given).
bool IsBoxOpen(const IZXException* exception = nullptr);
// Closes the newest open box (the box of that exception, when one is given);
// false when there is none. Callable from any thread.
bool CloseOpenBox(const IZXException* exception = nullptr);

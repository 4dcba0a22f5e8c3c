// zorExcept presenters: the open-box registry.
#include "crashreport/core/zorExcept_Presenters.h"

#include <mutex>
#include <vector>

namespace {

struct TOpenBox {
    const IZXException* Exception;
    TBoxCloser Closer;
};

std::mutex OpenBoxLock;
std::vector<TOpenBox>& OpenBoxes()
{
    static std::vector<TOpenBox>* const boxes = new std::vector<TOpenBox>;
    return *boxes;
}

} // namespace

void RegisterOpenBox(const IZXException* exception, TBoxCloser closer)
{
    std::lock_guard guard(OpenBoxLock);
    for (TOpenBox& box : OpenBoxes())
        if (box.Exception == exception) {
            box.Closer = std::move(closer);
            return;
        }
    OpenBoxes().push_back({exception, std::move(closer)});
}

void UnregisterOpenBox(const IZXException* exception)
{
    std::lock_guard guard(OpenBoxLock);
    std::erase_if(OpenBoxes(), [&](const TOpenBox& box) { return box.Exception == exception; });
}

bool IsBoxOpen(const IZXException* exception)
{
    std::lock_guard guard(OpenBoxLock);
    if (exception == nullptr)
        return !OpenBoxes().empty();
    for (const TOpenBox& box : OpenBoxes())
        if (box.Exception == exception)
            return true;
    return false;
}

bool CloseOpenBox(const IZXException* exception)
{
    TBoxCloser closer;
    {
        std::lock_guard guard(OpenBoxLock);
        const std::vector<TOpenBox>& boxes = OpenBoxes();
        for (auto it = boxes.rbegin(); it != boxes.rend(); ++it)
            if (exception == nullptr || it->Exception == exception) {
                closer = it->Closer;
                break;
            }
    }
    // Called outside the lock: a closer may take locks of its own.
    if (!closer)
        return false;
    closer();
    return true;
}

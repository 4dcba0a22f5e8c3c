// zorNVPrgrAlert: progress windows, their weighted areas and their sinks.
#include "crashreport/assistants/zorNVPrgrAlert.h"

#include <algorithm>
#include <unistd.h>

#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"

namespace {

std::mutex FactoryLock;
TProgressSinkFactory SinkFactory;

} // namespace

TIProgressAlert::TIProgressAlert(const std::u16string& title, TModuleHandle pictureModule,
                                 const std::u16string& pictureName, std::shared_ptr<IProgressSink> sink)
    : Sink(sink ? std::move(sink) : std::make_shared<TConsoleProgressSink>()), TitleText(title),
      PictureModule(pictureModule), PictureName(pictureName)
{
}

TIProgressAlert::~TIProgressAlert()
{
    CloseAlert();
}

std::u16string TIProgressAlert::Title() const
{
    std::lock_guard guard(Lock);
    return TitleText;
}

void TIProgressAlert::SetProgressTitle(const std::u16string& title)
{
    std::lock_guard guard(Lock);
    if (title == TitleText)
        return;
    TitleText = title;
    if (Shown)
        Sink->TitleChanged(TitleText);
}

int32_t TIProgressAlert::Position() const
{
    std::lock_guard guard(Lock);
    return Pos;
}

// ((weight x p / 1000) + start) x 1000 / sum, truncating at each step. The
// products are taken in 128 bits so that no weight can wrap them.
int32_t TIProgressAlert::BarLocked() const
{
    if (Sum == 0 || Current < 0 || Current >= static_cast<int32_t>(AreaList.size()))
        return Pos;
    const TProgressArea& area = AreaList[Current];
    using U128 = unsigned __int128;
    const U128 inArea = U128(area.Weight) * static_cast<uint32_t>(Pos) / 1000;
    const U128 value = (inArea + area.Start) * 1000 / Sum;
    return static_cast<int32_t>(std::min<U128>(value, 1000));
}

void TIProgressAlert::UpdateBarLocked()
{
    if (Shown)
        Sink->BarChanged(BarLocked());
}

void TIProgressAlert::SetProgressPosition(int32_t position)
{
    std::lock_guard guard(Lock);
    Pos = std::clamp(position, 0, 1000);
    UpdateBarLocked();
}

std::u16string TIProgressAlert::CurrentTextLocked() const
{
    if (Current < 0 || Current >= static_cast<int32_t>(AreaList.size()))
        return u"";
    return AreaList[Current].Text;
}

void TIProgressAlert::AddProgressArea(const std::u16string& text, uint64_t weight)
{
    std::lock_guard guard(Lock);
    TProgressArea area{Sum, weight, text};
    if (area.Text.empty() && !AreaList.empty())
        area.Text = AreaList.back().Text;
    AreaList.push_back(std::move(area));
    Sum += weight;
    if (AreaList.size() == 1 && Shown)
        Sink->TextChanged(AreaList[0].Text);
}

void TIProgressAlert::ClearProgressAreas()
{
    std::lock_guard guard(Lock);
    AreaList.clear();
    Current = 0;
    Sum = 0;
}

void TIProgressAlert::NextProgressArea()
{
    int32_t next;
    {
        std::lock_guard guard(Lock);
        next = Current + 1;
    }
    SelectProgressArea(next);
}

int32_t TIProgressAlert::CurrentArea() const
{
    std::lock_guard guard(Lock);
    return Current;
}

void TIProgressAlert::SelectProgressArea(int32_t index)
{
    std::lock_guard guard(Lock);
    const int32_t count = static_cast<int32_t>(AreaList.size());
    if (index == Current || index < 0 || index > count)
        return;
    if (index == count) {
        Current = count - 1;
        Pos = 1000;
    } else {
        Current = index;
        Pos = 0;
    }
    if (Shown)
        Sink->TextChanged(CurrentTextLocked());
    UpdateBarLocked();
}

void TIProgressAlert::PumpProgressMessages()
{
    {
        std::lock_guard guard(Lock);
        if (!Shown || OwnerThread != OS_GetCurrentThreadId())
            return;
    }
    PumpHandlerMessages(0);
}

bool TIProgressAlert::ShowAlert(THandlerWindow parent, bool activate)
{
    std::lock_guard guard(Lock);
    if (Shown)
        return false;
    Parent = parent;
    if (AreaList.empty()) {
        AreaList.push_back({Sum, 1000, u"Please wait..."});
        Sum += 1000;
    }
    Shown = true;
    OwnerThread = OS_GetCurrentThreadId();
    Sink->Shown(TitleText, CurrentTextLocked(), activate);
    UpdateBarLocked();
    return true;
}

void TIProgressAlert::CloseAlert()
{
    std::lock_guard guard(Lock);
    if (!Shown)
        return;
    Shown = false;
    Parent = 0;
    Sink->Closed();
}

int32_t TIProgressAlert::BarValue() const
{
    std::lock_guard guard(Lock);
    return BarLocked();
}

std::vector<TProgressArea> TIProgressAlert::Areas() const
{
    std::lock_guard guard(Lock);
    return AreaList;
}

bool TIProgressAlert::Showing() const
{
    std::lock_guard guard(Lock);
    return Shown;
}

std::shared_ptr<IProgressAlert> CreateProgressWindow(const std::u16string& title, TModuleHandle pictureModule,
                                                     const std::u16string& pictureName)
{
    TProgressSinkFactory factory;
    {
        std::lock_guard guard(FactoryLock);
        factory = SinkFactory;
    }
    std::shared_ptr<IProgressSink> sink = factory ? factory() : nullptr;
    return std::make_shared<TIProgressAlert>(title, pictureModule, pictureName, std::move(sink));
}

void SetProgressSinkFactory(TProgressSinkFactory factory)
{
    std::lock_guard guard(FactoryLock);
    SinkFactory = std::move(factory);
}

// ---------------------------------------------------------------------------
// Sinks

void TConsoleProgressSink::Shown(const std::u16string& title, const std::u16string& text, bool)
{
    TitleText = title;
    TextChanged(text);
}

void TConsoleProgressSink::TitleChanged(const std::u16string& title)
{
    TitleText = title;
}

void TConsoleProgressSink::TextChanged(const std::u16string& text)
{
    const std::string line = WideToUtf8(TitleText) + ": " + WideToUtf8(text) + "\n";
    OS_WriteFile(STDERR_FILENO, line.data(), static_cast<int64_t>(line.size()));
}

void TConsoleProgressSink::BarChanged(int32_t) {}

void TConsoleProgressSink::Closed() {}

void TRecordingProgressSink::Add(TEventKind kind, const std::u16string& text, int32_t value)
{
    std::lock_guard guard(Lock);
    EventList.push_back({kind, text, value});
}

void TRecordingProgressSink::Shown(const std::u16string& title, const std::u16string& text, bool)
{
    Add(TEventKind::Shown, title, 0);
    Add(TEventKind::Text, text, 0);
}

void TRecordingProgressSink::TitleChanged(const std::u16string& title)
{
    Add(TEventKind::Title, title, 0);
}

void TRecordingProgressSink::TextChanged(const std::u16string& text)
{
    Add(TEventKind::Text, text, 0);
}

void TRecordingProgressSink::BarChanged(int32_t value)
{
    Add(TEventKind::Bar, u"", value);
}

void TRecordingProgressSink::Closed()
{
    Add(TEventKind::Closed, u"", 0);
}

std::vector<TRecordingProgressSink::TEvent> TRecordingProgressSink::Events() const
{
    std::lock_guard guard(Lock);
    return EventList;
}

std::vector<int32_t> TRecordingProgressSink::Bars() const
{
    std::vector<int32_t> bars;
    for (const TEvent& e : Events())
        if (e.Kind == TEventKind::Bar)
            bars.push_back(e.Value);
    return bars;
}

std::vector<std::u16string> TRecordingProgressSink::Texts() const
{
    std::vector<std::u16string> texts;
    for (const TEvent& e : Events())
        if (e.Kind == TEventKind::Text)
            texts.push_back(e.Text);
    return texts;
}

int32_t TRecordingProgressSink::LastBar() const
{
    const std::vector<int32_t> bars = Bars();
    return bars.empty() ? -1 : bars.back();
}

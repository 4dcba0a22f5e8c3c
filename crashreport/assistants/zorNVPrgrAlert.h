// zorNVPrgrAlert: the reporter's progress windows (the please-wait window
// while a report is built, the sending window while it is delivered). The
// work is divided into weighted areas, each with a text; the caller reports
// progress inside the current area from 0 to 1000 and the bar shows the
// whole, weighted by the areas.
//
// What the user sees goes through a sink, one per window: a console sink
// (a line on standard error whenever the text changes) or a recording sink
// for tests. Any thread may drive a window; no call waits for another thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "crashreport/diagnostics/zorTools.h"

struct TProgressArea {
    uint64_t Start = 0; // the weights of the areas before it
    uint64_t Weight = 0;
    std::u16string Text;
};

// Where a progress window shows itself. Called with the window's state lock
// held, from whichever thread drives the window: a sink is quick, never
// waits for another thread and never calls back into the window.
class IProgressSink {
public:
    virtual ~IProgressSink() = default;
    virtual void Shown(const std::u16string& title, const std::u16string& text, bool activate) = 0;
    virtual void TitleChanged(const std::u16string& title) = 0;
    virtual void TextChanged(const std::u16string& text) = 0;
    virtual void BarChanged(int32_t value) = 0; // 0..1000
    virtual void Closed() = 0;
};

class IProgressAlert {
public:
    virtual ~IProgressAlert() = default;
    virtual std::u16string Title() const = 0;
    virtual void SetProgressTitle(const std::u16string& title) = 0;
    virtual int32_t Position() const = 0;
    // 0..1000 inside the current area.
    virtual void SetProgressPosition(int32_t position) = 0;
    // An empty text (for any area but the first) repeats the one before.
    virtual void AddProgressArea(const std::u16string& text, uint64_t weight) = 0;
    virtual void ClearProgressAreas() = 0;
    virtual void NextProgressArea() = 0;
    virtual int32_t CurrentArea() const = 0;
    // Nothing for the current index or one outside 0..count; the count
    // itself means all done: the last area at 1000.
    virtual void SelectProgressArea(int32_t index) = 0;
    // On the thread that showed the window: handles that thread's waiting
    // messages. Elsewhere nothing.
    virtual void PumpProgressMessages() = 0;
    // Shows the window unless it is shown; true when this call showed it.
    // Without areas it gets "Please wait..." of weight 1000.
    virtual bool ShowAlert(THandlerWindow parent, bool activate) = 0;
    virtual void CloseAlert() = 0;
};

class TIProgressAlert final : public IProgressAlert {
public:
    TIProgressAlert(const std::u16string& title, TModuleHandle pictureModule, const std::u16string& pictureName,
                    std::shared_ptr<IProgressSink> sink);
    ~TIProgressAlert() override;

    std::u16string Title() const override;
    void SetProgressTitle(const std::u16string& title) override;
    int32_t Position() const override;
    void SetProgressPosition(int32_t position) override;
    void AddProgressArea(const std::u16string& text, uint64_t weight) override;
    void ClearProgressAreas() override;
    void NextProgressArea() override;
    int32_t CurrentArea() const override;
    void SelectProgressArea(int32_t index) override;
    void PumpProgressMessages() override;
    bool ShowAlert(THandlerWindow parent, bool activate) override;
    void CloseAlert() override;

    // What the bar shows now (0..1000).
    int32_t BarValue() const;
    std::vector<TProgressArea> Areas() const;
    bool Showing() const;

private:
    int32_t BarLocked() const;
    void UpdateBarLocked();
    std::u16string CurrentTextLocked() const;

    mutable std::mutex Lock;
    std::shared_ptr<IProgressSink> Sink;
    THandlerWindow Parent = 0;
    std::u16string TitleText;
    std::vector<TProgressArea> AreaList;
    uint64_t Sum = 0;
    int32_t Current = 0;
    int32_t Pos = 0;
    TModuleHandle PictureModule = 0;
    std::u16string PictureName;
    bool Shown = false;
    uint32_t OwnerThread = 0;
};

// A new window with a sink from the sink factory; nothing is shown yet.
std::shared_ptr<IProgressAlert> CreateProgressWindow(const std::u16string& title, TModuleHandle pictureModule,
                                                     const std::u16string& pictureName);
// The factory gives each new window its sink; empty: the console sink.
using TProgressSinkFactory = std::function<std::shared_ptr<IProgressSink>()>;
void SetProgressSinkFactory(TProgressSinkFactory factory);

// A line on standard error with the title and the text whenever the window
// is shown or its text changes while shown.
class TConsoleProgressSink final : public IProgressSink {
public:
    void Shown(const std::u16string& title, const std::u16string& text, bool activate) override;
    void TitleChanged(const std::u16string& title) override;
    void TextChanged(const std::u16string& text) override;
    void BarChanged(int32_t value) override;
    void Closed() override;

private:
    std::u16string TitleText;
};

// Keeps every call, for tests.
class TRecordingProgressSink final : public IProgressSink {
public:
    enum class TEventKind : uint8_t { Shown, Title, Text, Bar, Closed };
    struct TEvent {
        TEventKind Kind;
        std::u16string Text; // title or text
        int32_t Value = 0;   // the bar's value
    };

    void Shown(const std::u16string& title, const std::u16string& text, bool activate) override;
    void TitleChanged(const std::u16string& title) override;
    void TextChanged(const std::u16string& text) override;
    void BarChanged(int32_t value) override;
    void Closed() override;

    std::vector<TEvent> Events() const;
    std::vector<int32_t> Bars() const;
    std::vector<std::u16string> Texts() const; // the texts shown, from the first on
    int32_t LastBar() const;

private:
    void Add(TEventKind kind, const std::u16string& text, int32_t value);

    mutable std::mutex Lock;
    std::vector<TEvent> EventList;
};

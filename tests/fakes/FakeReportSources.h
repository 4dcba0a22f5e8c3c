// Stand-ins for the thread, stack and listing sources of the bug report text:
// fixed threads with fixed states, call stacks made from a table, and a
// listing that names what it was asked for.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "crashreport/core/zorReportText.h"
#include "crashreport/diagnostics/zorStrings.h"

class TFakeThreadSource final : public IReportThreadSource {
public:
    struct TThread {
        std::u16string Caption;
        bool Readable = true;
        TThreadState State;
        uintptr_t CreatorAddress = 0;
        uint32_t CreatorThread = 0;
    };
    uint32_t Main = 1;
    std::vector<uint32_t> Ids;
    std::map<uint32_t, TThread> Threads;

    void Add(uint32_t id, std::u16string caption, bool readable = true)
    {
        Ids.push_back(id);
        TThread& t = Threads[id];
        t.Caption = std::move(caption);
        t.Readable = readable;
        t.State.StackStart = 0x1000 * id;
        t.State.StackEnd = 0x1000 * id + 0x800;
    }
    std::vector<uint32_t> ThreadIds() override { return Ids; }
    uint32_t MainThreadId() override { return Main; }
    std::u16string Caption(uint32_t id) override
    {
        const auto it = Threads.find(id);
        return it == Threads.end() ? std::u16string() : it->second.Caption;
    }
    uintptr_t CreatorAddress(uint32_t id) override { return Threads[id].CreatorAddress; }
    uint32_t CreatorThread(uint32_t id) override { return Threads[id].CreatorThread; }
    bool ReadState(uint32_t id, TThreadState& state) override
    {
        const auto it = Threads.find(id);
        if (it == Threads.end() || !it->second.Readable)
            return false;
        state = it->second.State;
        return true;
    }
};

// Each thread's stack is the lines given for it (by the record's start
// pointer), its checksums those given.
class TFakeStackSource final : public IReportStackSource {
public:
    struct TStack {
        std::string Text;
        uint32_t Checksum1 = 0, Checksum2 = 0;
        bool HasLineInfo = false;
        uintptr_t FunctionStart = 0;
    };
    std::map<uintptr_t, TStack> ByStackStart;
    TStack Default{"0000000000401000 duskmarch main\r\n0000000000401100 duskmarch start", 0x11111111, 0x22222222, true,
                   0x401000};
    int Calls = 0;

    TTraceResult TraceStack(const TTraceRequest& request) override
    {
        ++Calls;
        const auto it = ByStackStart.find(request.Record->StackStart);
        const TStack& s = it == ByStackStart.end() ? Default : it->second;
        TTraceResult r;
        r.Text = s.Text;
        r.Checksum1 = s.Checksum1;
        r.Checksum2 = s.Checksum2;
        r.HasLineInfo = s.HasLineInfo;
        r.FunctionStart = s.FunctionStart;
        r.FunctionAddress = request.Record->ExceptionAddress;
        return r;
    }
    std::string FormatStackItem(uintptr_t address) override { return AddressTextA(address); }
};

class TFakeListingSource final : public IReportListingSource {
public:
    std::string GetCleartextDisAsm(uintptr_t start, uintptr_t marked, int32_t, bool) override
    {
        return "listing of " + std::to_string(start) + " at " + std::to_string(marked);
    }
};

// Puts fake sources in for one test and the real ones back afterwards.
struct TFakeReportSources {
    std::shared_ptr<TFakeThreadSource> Threads = std::make_shared<TFakeThreadSource>();
    std::shared_ptr<TFakeStackSource> Stacks = std::make_shared<TFakeStackSource>();
    std::shared_ptr<TFakeListingSource> Listing = std::make_shared<TFakeListingSource>();
    TFakeReportSources() { SetReportSources(Threads, Stacks, Listing); }
    ~TFakeReportSources() { SetReportSources(nullptr, nullptr, nullptr); }
};

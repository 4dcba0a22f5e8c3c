// A fake module for the disassembler's tests: bytes at a chosen address, one
// image covering all of them, names and routines the test sets.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "crashreport/diagnostics/zorDisAsm.h"

constexpr uintptr_t FakeImageBase = 0x00400000;

struct TFakeImage {
    std::vector<uint8_t> bytes;
    TBufferMemory memory;
    TDisAsmEnvironment env;
    std::map<uintptr_t, std::string> names; // exported names by address

    explicit TFakeImage(TCodeMode mode = TCodeMode::Bits32, size_t size = 0x1000)
        : bytes(size, 0), memory(FakeImageBase, bytes.data(), bytes.size())
    {
        env.memory = &memory;
        env.mode = mode;
        env.context = this;
        env.imageOf = [](const TDisAsmEnvironment& e, uintptr_t address, uintptr_t& base, uintptr_t& size) {
            const TFakeImage* self = static_cast<const TFakeImage*>(e.context);
            if (address < FakeImageBase || address >= FakeImageBase + self->bytes.size())
                return false;
            base = FakeImageBase;
            size = self->bytes.size();
            return true;
        };
        env.exportNameOf = [](const TDisAsmEnvironment& e, uintptr_t address) {
            const TFakeImage* self = static_cast<const TFakeImage*>(e.context);
            auto it = self->names.find(address);
            return it == self->names.end() ? std::string() : it->second;
        };
    }
    TFakeImage(const TFakeImage&) = delete;
    TFakeImage& operator=(const TFakeImage&) = delete;

    // Bytes at an offset of the image.
    void Put(size_t offset, const std::vector<uint8_t>& code)
    {
        memcpy(bytes.data() + offset, code.data(), code.size());
    }
    void Put32(size_t offset, uint32_t value) { memcpy(bytes.data() + offset, &value, 4); }
    static uintptr_t At(size_t offset) { return FakeImageBase + offset; }
};

// Little-endian bytes of a 32-bit value.
inline std::vector<uint8_t> Le32(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// A rel32 displacement from the end of an instruction to a target.
inline std::vector<uint8_t> Rel32(uintptr_t next, uintptr_t target)
{
    return Le32(static_cast<uint32_t>(target - next));
}

// jmp to the typed-handler-table handler, then its table: two entries (one
// with a class, one without) whose handlers at 0x20 and 0x30 return.
inline void PutHandlerTableFunction(TFakeImage& image, uintptr_t typedHandler)
{
    image.Put(0x00, {0xE9});
    image.Put(0x01, Rel32(TFakeImage::At(5), typedHandler));
    image.Put32(0x05, 2);
    image.Put32(0x09, 0x00403000);
    image.Put32(0x0D, static_cast<uint32_t>(TFakeImage::At(0x20)));
    image.Put32(0x11, 0);
    image.Put32(0x15, static_cast<uint32_t>(TFakeImage::At(0x30)));
    image.Put(0x20, {0xC3});
    image.Put(0x30, {0xC3});
}

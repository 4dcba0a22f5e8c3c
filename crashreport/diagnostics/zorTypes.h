// zorTypes: the crash reporter's exception class, the dynamic-array types its
// units pass lists in, and the 256-bit character set of the text routines.
#pragma once

#include <bitset>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

// The reporter's own exception. It carries a message and a number the
// reporter leaves 0; the reporter's external-exception classes derive from it.
class ZorException : public std::exception {
public:
    explicit ZorException(std::string message) : Message(std::move(message)) {}
    ~ZorException() override = default;
    const char* what() const noexcept override { return Message.c_str(); }

    std::string Message;
    int32_t Code = 0;
};

// A new exception with the message, for the caller to throw.
ZorException CreateZorException(const std::string& message);
// The run-time of this build always has its own root exception class, so
// there is nothing to install; kept so that start-up reads as it should.
void SetDefaultExceptionClass();

using TDASmallInt = std::vector<int16_t>;
using TDACardinal = std::vector<uint32_t>;
using TDAInteger = std::vector<int32_t>;
// Pointer-sized: on this machine addresses need 64 bits.
using TDANativeUInt = std::vector<uintptr_t>;
using TDAAnsiString = std::vector<std::string>;
using TDAUnicodeString = std::vector<std::u16string>;

// A set of character codes 0..255. A wide code unit at or above 256 is never
// a member.
struct TZorCharSet {
    std::bitset<256> Bits;

    TZorCharSet() = default;
    // Every character of the text is a member (bytes taken as codes 0..255).
    explicit TZorCharSet(std::string_view members)
    {
        for (unsigned char c : members)
            Bits.set(c);
    }
    // Codes first..last, both included.
    static TZorCharSet Range(unsigned first, unsigned last)
    {
        TZorCharSet set;
        for (unsigned c = first; c <= last && c < 256; ++c)
            set.Bits.set(c);
        return set;
    }
    bool Contains(uint32_t code) const { return code < 256 && Bits.test(code); }
    TZorCharSet& Add(uint32_t code)
    {
        if (code < 256)
            Bits.set(code);
        return *this;
    }
};

// Short strings of the stored records: a length byte followed by room for N
// bytes, N + 1 bytes in all. The bytes past the length are kept as they are
// (records are compared and written byte for byte), and a length byte above N
// read from a file is never trusted.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#pragma pack(push, 1)
template <int N> struct ShortString {
    static_assert(N >= 1 && N <= 255, "a short string holds 1 to 255 bytes");

    uint8_t Length;
    char Chars[N];

    static constexpr int Capacity = N;

    // The text, at most N bytes whatever the length byte says.
    std::string Str() const { return std::string(Chars, Length <= N ? Length : N); }
    // Stores the text cut to N bytes; the room past the text is cleared.
    void Assign(const std::string& text)
    {
        size_t count = text.size() < static_cast<size_t>(N) ? text.size() : static_cast<size_t>(N);
        Length = static_cast<uint8_t>(count);
        std::memcpy(Chars, text.data(), count);
        std::memset(Chars + count, 0, N - count);
    }
    ShortString& operator=(const std::string& text)
    {
        Assign(text);
        return *this;
    }
    bool Empty() const { return Length == 0; }
    // Texts compare by their bytes, whatever the room of either side (a
    // personage's Name against its TypeName).
    template <int M> bool operator==(const ShortString<M>& other) const { return Str() == other.Str(); }
    bool operator==(const std::string& text) const { return Str() == text; }
};
#pragma pack(pop)

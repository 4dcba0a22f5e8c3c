// Fixed arrays of the stored records indexed by the game's own ranges (stat
// 1..8, equipment slot 1..14, army slot 1..15), so that index n in the rules
// is index n here. No padding: an array of N elements is N elements, aligned
// as its elements (inside a packed record the record's packing rules).
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>
#include <type_traits>

template <typename T, int Low, int High> struct TRangeArray {
    static_assert(High >= Low, "empty range");
    static constexpr int LowIndex = Low;
    static constexpr int HighIndex = High;
    static constexpr int Count = High - Low + 1;

    T Items[Count];

    T& operator[](int i)
    {
        assert(i >= Low && i <= High);
        return Items[i - Low];
    }
    const T& operator[](int i) const
    {
        assert(i >= Low && i <= High);
        return Items[i - Low];
    }
    static constexpr bool InRange(int i) { return i >= Low && i <= High; }
};

// The same for numbers inside the packed stored records, where an element
// may lie at any address: elements are read and written through copies, so
// no reference to a misaligned number is ever made.
template <typename T, int Low, int High> struct TPackedArray {
    static_assert(High >= Low, "empty range");
    static_assert(std::is_trivially_copyable_v<T>);
    static constexpr int LowIndex = Low;
    static constexpr int HighIndex = High;
    static constexpr int Count = High - Low + 1;

    uint8_t Bytes[Count * sizeof(T)];

    T Get(int i) const
    {
        assert(i >= Low && i <= High);
        T value;
        std::memcpy(&value, Bytes + static_cast<size_t>(i - Low) * sizeof(T), sizeof(T));
        return value;
    }
    void Set(int i, T value)
    {
        assert(i >= Low && i <= High);
        std::memcpy(Bytes + static_cast<size_t>(i - Low) * sizeof(T), &value, sizeof(T));
    }

    // An element to read or assign.
    class TElement {
    public:
        TElement(TPackedArray& array, int index) : Array(array), Index(index) {}
        TElement(const TElement&) = default;
        operator T() const { return Array.Get(Index); }
        TElement& operator=(T value)
        {
            Array.Set(Index, value);
            return *this;
        }
        TElement& operator=(const TElement& other) { return *this = static_cast<T>(other); }

    private:
        TPackedArray& Array;
        int Index;
    };
    TElement operator[](int i) { return TElement(*this, i); }
    T operator[](int i) const { return Get(i); }
};

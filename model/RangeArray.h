// Fixed arrays of the stored records indexed by the game's own ranges (stat
// 1..8, equipment slot 1..14, army slot 1..15), so that index n in the rules
// is index n here. No padding: an array of N elements is N elements, aligned
// as its elements (inside a packed record the record's packing rules).
#pragma once

#include <cassert>
#include <cstdint>

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

// Rounding and fixed-point helpers of the game rules. Rounding is to the
// nearest with halves to even; fixed-point values are real values times
// 10000 in 64-bit integers, rounded after every step.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// num / den rounded to the nearest integer, halves to even, in 128 bits
// (den is not 0; both fit in 127 bits).
inline __int128 RoundDivHalfEvenWide(__int128 num, __int128 den)
{
    if (den < 0) {
        num = -num;
        den = -den;
    }
    __int128 q = num / den;
    __int128 r = num % den;
    if (r < 0) {
        r += den;
        q -= 1;
    }
    // Now num = q * den + r with 0 <= r < den.
    const __int128 twice = 2 * r;
    if (twice > den || (twice == den && (q & 1) != 0))
        q += 1;
    return q;
}

// num / den rounded to the nearest integer, halves to even; 0 when den is 0.
inline int64_t RoundDivHalfEven(int64_t num, int64_t den)
{
    if (den == 0)
        return 0;
    return static_cast<int64_t>(RoundDivHalfEvenWide(num, den));
}

// A long double made whole by `whole` and converted, kept within the 64-bit
// range (NaN gives 0).
template <typename F> inline int64_t LongDoubleToInt64(long double value, F whole)
{
    if (std::isnan(value))
        return 0;
    if (value >= 9.2e18L)
        return std::numeric_limits<int64_t>::max();
    if (value <= -9.2e18L)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(whole(value));
}

// A long double rounded to the nearest integer (halves to even), kept
// within the 64-bit range.
inline int64_t RoundHalfEven(long double value)
{
    return LongDoubleToInt64(value, [](long double v) { return std::nearbyintl(v); });
}

// A long double truncated toward zero, kept within the 64-bit range.
inline int64_t TruncToInt64(long double value)
{
    return LongDoubleToInt64(value, [](long double v) { return v; });
}

// A 64-bit value held to the range of a narrower signed integer.
template <typename T> inline T ClampToRange(int64_t value)
{
    if (value > std::numeric_limits<T>::max())
        return std::numeric_limits<T>::max();
    if (value < std::numeric_limits<T>::min())
        return std::numeric_limits<T>::min();
    return static_cast<T>(value);
}

inline int32_t ClampToInt32(int64_t value)
{
    return ClampToRange<int32_t>(value);
}

inline int16_t ClampToInt16(int64_t value)
{
    return ClampToRange<int16_t>(value);
}

// A fixed-point number: V is the value times 10000.
struct TFx {
    int64_t V = 0;

    static constexpr int64_t One = 10000;

    static TFx Raw(int64_t v) { return TFx{v}; }
    static TFx Int(int64_t n) { return TFx{Sat(static_cast<__int128>(n) * One)}; }
    // A decimal constant such as 1.25 or 0.3, exact to four places.
    static TFx Real(long double x) { return TFx{RoundHalfEven(x * One)}; }
    long double ToReal() const { return static_cast<long double>(V) / One; }

    // Values far outside the game's ranges saturate rather than wrap.
    static int64_t Sat(__int128 v)
    {
        if (v > std::numeric_limits<int64_t>::max())
            return std::numeric_limits<int64_t>::max();
        if (v < -std::numeric_limits<int64_t>::max())
            return -std::numeric_limits<int64_t>::max();
        return static_cast<int64_t>(v);
    }

    friend TFx operator+(TFx a, TFx b) { return TFx{Sat(static_cast<__int128>(a.V) + b.V)}; }
    friend TFx operator-(TFx a, TFx b) { return TFx{Sat(static_cast<__int128>(a.V) - b.V)}; }
    friend TFx operator-(TFx a) { return TFx{-a.V}; }
    friend TFx operator*(TFx a, TFx b)
    {
        const __int128 product = static_cast<__int128>(a.V) * b.V;
        return TFx{RoundHalfEvenWide(product, One)};
    }
    friend TFx operator/(TFx a, TFx b)
    {
        if (b.V == 0)
            return TFx{0};
        return TFx{RoundHalfEvenWide(static_cast<__int128>(a.V) * One, b.V)};
    }
    friend TFx operator*(TFx a, int64_t n) { return TFx{Sat(static_cast<__int128>(a.V) * n)}; }
    friend TFx operator*(int64_t n, TFx a) { return TFx{Sat(static_cast<__int128>(a.V) * n)}; }
    friend TFx operator/(TFx a, int64_t n) { return TFx{RoundDivHalfEven(a.V, n)}; }
    TFx& operator+=(TFx b) { return *this = *this + b; }
    TFx& operator-=(TFx b) { return *this = *this - b; }
    friend bool operator<(TFx a, TFx b) { return a.V < b.V; }
    friend bool operator>(TFx a, TFx b) { return a.V > b.V; }
    friend bool operator<=(TFx a, TFx b) { return a.V <= b.V; }
    friend bool operator>=(TFx a, TFx b) { return a.V >= b.V; }

private:
    static int64_t RoundHalfEvenWide(__int128 num, int64_t den) { return Sat(RoundDivHalfEvenWide(num, den)); }
};

// QX9_System: the lenient number parsers and the formatters every text file
// of the program goes through, and the string helpers. Positions are 1-based,
// as the data's texts count them. Nothing here fails: any text gives a value.
#include "engine/QX9_System.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsBelow33(char c)
{
    return static_cast<unsigned char>(c) < 33;
}

// TAB, LF, CR and blank: what CopyTrimmed cuts.
bool IsBlankOrBreak(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

bool IsSplitDelimiter(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == ':';
}

// Every digit of the trimmed text, others skipped; a leading "-" negates.
// Unsigned, so long digit runs wrap as the 64-bit sum does.
uint64_t LenientDigits(const std::string& text)
{
    const std::string t = TrimStr(text);
    uint64_t value = 0;
    for (char c : t) {
        if (IsDigit(c)) {
            value = value * 10u + static_cast<uint64_t>(c - '0');
        }
    }
    if (!t.empty() && t[0] == '-') {
        value = 0u - value;
    }
    return value;
}

// The decimal digits of a non-negative value.
std::string UnsignedDigits(uint64_t value)
{
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10u);
        value /= 10u;
    } while (value != 0);
    std::string text;
    text.reserve(n);
    while (n > 0) {
        text += digits[--n];
    }
    return text;
}

template <typename TString> TString ReplaceAll(const TString& text, const TString& oldText, const TString& newText)
{
    if (oldText == newText || oldText.empty()) {
        return text;
    }
    TString result;
    if (newText.find(oldText) != TString::npos) {
        // Searching again from the start would find old inside every new:
        // replace in one left-to-right pass instead.
        size_t from = 0;
        for (;;) {
            const size_t at = text.find(oldText, from);
            if (at == TString::npos) {
                break;
            }
            result.append(text, from, at - from);
            result += newText;
            from = at + oldText.size();
        }
        result.append(text, from, TString::npos);
        return result;
    }
    // Each search starts again at the beginning, so a replacement that forms
    // a new occurrence is replaced too ('aab' with 'ab' -> 'b' gives 'b').
    result = text;
    for (;;) {
        const size_t at = result.find(oldText);
        if (at == TString::npos) {
            break;
        }
        result.replace(at, oldText.size(), newText);
    }
    return result;
}

} // namespace

// ---------------------------------------------------------------------------
// Parsers

int32_t StrToIntLenient(const std::string& text)
{
    return static_cast<int32_t>(static_cast<uint32_t>(LenientDigits(text)));
}

int64_t StrToInt64Lenient(const std::string& text)
{
    return static_cast<int64_t>(LenientDigits(text));
}

float StrToFloatLenient(const std::string& text)
{
    std::string t = TrimStr(text);
    if (t.empty()) {
        return 0.0f;
    }

    size_t separator = t.find('.');
    if (separator == std::string::npos) {
        separator = t.find(',');
    }
    size_t intLength = separator == std::string::npos ? t.size() : separator;

    // Only a lower-case "e" marks the exponent; the character right after it
    // is its sign and is never a digit of it.
    float scale = 1.0f;
    const size_t e = t.find('e');
    if (e != std::string::npos) {
        const int32_t count = e + 2 <= t.size() ? StrToIntLenient(t.substr(e + 2)) : 0;
        for (int32_t i = 0; i < count && !std::isinf(scale); ++i) {
            scale = scale * 10.0f;
        }
        if (e + 1 < t.size() && t[e + 1] == '-') {
            scale = 1.0f / scale;
        }
        t.resize(e);
        if (intLength > t.size()) {
            intLength = t.size();
        }
    }

    float value = 0.0f;
    for (size_t i = 0; i < intLength; ++i) {
        if (IsDigit(t[i])) {
            value = value * 10.0f + static_cast<float>(t[i] - '0');
        }
    }
    if (t.size() >= intLength + 2) {
        float fraction = 0.0f;
        for (size_t i = t.size(); i > intLength + 1; --i) {
            const char c = t[i - 1];
            if (IsDigit(c)) {
                fraction = fraction / 10.0f + static_cast<float>(c - '0');
            }
        }
        value = value + fraction / 10.0f;
    }
    if (t.find('-') != std::string::npos) {
        value = -value;
    }
    return value * scale;
}

bool StrToBoolLenient(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    const std::string t = LowerCaseStr(TrimStr(text));
    return !t.empty() && (t[0] == 't' || t[0] == 'y');
}

// ---------------------------------------------------------------------------
// Formatters

std::string Int64ToStr(int64_t value, bool showPlus)
{
    if (value < 0) {
        return "-" + UnsignedDigits(0u - static_cast<uint64_t>(value));
    }
    return (showPlus ? "+" : "") + UnsignedDigits(static_cast<uint64_t>(value));
}

std::string Int64ToStrZeroPad(int32_t width, int64_t value)
{
    std::string text = Int64ToStr(value, false);
    if (width > 0 && text.size() < static_cast<size_t>(width)) {
        text.insert(0, static_cast<size_t>(width) - text.size(), '0');
    }
    return text;
}

std::string FloatToStrDecimals(int32_t decimals, float value)
{
    if (std::isnan(value)) {
        return "NAN";
    }
    std::string text;
    if (value < 0.0f) {
        text = "-";
        value = -value;
    } else if (value == 0.0f) {
        return "0";
    }
    if (std::isinf(value)) {
        return text + "INF";
    }

    // More than 9 decimals would overflow the fraction digits' count.
    const int32_t d = decimals < 0 ? 8 : std::min<int32_t>(decimals, 9);
    int64_t m = 1;
    for (int32_t k = 0; k < d; ++k) {
        m *= 10;
    }

    // The single's exact value: its 24-bit mantissa times at most 10^9 is
    // exact in extended precision, and nearbyint rounds halves to even.
    std::string intDigits;
    int64_t r = 0;
    if (value < 9.2233720368547758e18f) {
        int64_t i = static_cast<int64_t>(value);
        const long double fraction = static_cast<long double>(value) - static_cast<long double>(i);
        r = static_cast<int64_t>(std::nearbyint(fraction * static_cast<long double>(m)));
        if (r >= m) {
            i += 1;
            r = 0;
        }
        intDigits = UnsignedDigits(static_cast<uint64_t>(i));
    } else {
        // A single this large is a whole number: print it exactly.
        char buffer[64];
        std::snprintf(buffer, sizeof(buffer), "%.0f", static_cast<double>(value));
        intDigits = buffer;
    }
    text += intDigits;

    std::string digits = UnsignedDigits(static_cast<uint64_t>(r));
    if (decimals == -1) {
        if (r == 0) {
            return text;
        }
        digits.insert(0, 8 - digits.size(), '0');
        while (!digits.empty() && digits.back() == '0') {
            digits.pop_back();
        }
        return text + "." + digits;
    }
    if (digits.size() < static_cast<size_t>(d)) {
        digits.insert(0, static_cast<size_t>(d) - digits.size(), '0');
    }
    return text + "." + digits;
}

std::string BoolToYesNo(bool value)
{
    return value ? "Yes" : "No";
}

// ---------------------------------------------------------------------------
// String helpers

std::string UpperCaseStr(const std::string& text)
{
    std::string result = text;
    for (char& c : result) {
        c = OS_CharUpperA(c);
    }
    return result;
}

std::string LowerCaseStr(const std::string& text)
{
    std::string result = text;
    for (char& c : result) {
        c = OS_CharLowerA(c);
    }
    return result;
}

std::u16string LowerCaseWide(const std::u16string& text)
{
    std::u16string result = text;
    for (char16_t& c : result) {
        c = OS_CharLowerW(c);
    }
    return result;
}

std::string TrimStr(const std::string& text)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && IsBelow33(text[first])) {
        ++first;
    }
    while (last > first && IsBelow33(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

std::u16string TrimWide(const std::u16string& text)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && text[first] < 33) {
        ++first;
    }
    while (last > first && text[last - 1] < 33) {
        --last;
    }
    return text.substr(first, last - first);
}

std::string CopyTrimmed(const std::string& text, int32_t first, int32_t count)
{
    const int64_t length = static_cast<int64_t>(text.size());
    int64_t from = first < 1 ? 1 : first;
    if (count <= 0 || from > length) {
        return std::string();
    }
    int64_t to = std::min<int64_t>(length, from + static_cast<int64_t>(count) - 1); // inclusive, 1-based
    while (from <= to && IsBlankOrBreak(text[static_cast<size_t>(from - 1)])) {
        ++from;
    }
    while (to >= from && IsBlankOrBreak(text[static_cast<size_t>(to - 1)])) {
        --to;
    }
    if (to < from) {
        return std::string();
    }
    return text.substr(static_cast<size_t>(from - 1), static_cast<size_t>(to - from + 1));
}

std::string StripQuotes(const std::string& text)
{
    std::string result = text;
    if (result.empty()) {
        return result;
    }
    if (result.front() == '"') {
        result.erase(0, 1);
    }
    if (!result.empty() && result.back() == '"') {
        result.pop_back();
    }
    return result;
}

std::string GetSeparatedField(const std::string& text, int32_t n, char separator)
{
    size_t start = 0;
    if (n >= 2) {
        int32_t seen = 0;
        bool found = false;
        // A separator in the last position opens no further field.
        for (size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] == separator && ++seen == n - 1) {
                start = i + 1;
                found = true;
                break;
            }
        }
        if (!found) {
            return std::string();
        }
    }
    const size_t end = text.find(separator, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string ReplaceAllStr(const std::string& text, const std::string& oldText, const std::string& newText)
{
    return ReplaceAll(text, oldText, newText);
}

std::u16string ReplaceAllWide(const std::u16string& text, const std::u16string& oldText, const std::u16string& newText)
{
    return ReplaceAll(text, oldText, newText);
}

std::u16string WideDeleteStr(const std::u16string& text, int32_t position, int32_t count)
{
    const int64_t length = static_cast<int64_t>(text.size());
    if (text.empty() || position < 1 || position > length || count <= 0) {
        return text;
    }
    std::u16string result = text;
    result.erase(static_cast<size_t>(position - 1),
                 static_cast<size_t>(std::min<int64_t>(count, length - position + 1)));
    return result;
}

std::u16string WideInsertStr(const std::u16string& inserted, const std::u16string& text, int32_t position)
{
    if (inserted.empty()) {
        return text;
    }
    // Positions before the first character insert at the start, positions
    // past the end append.
    const int64_t at = std::clamp<int64_t>(static_cast<int64_t>(position) - 1, 0, static_cast<int64_t>(text.size()));
    std::u16string result = text;
    result.insert(static_cast<size_t>(at), inserted);
    return result;
}

TStringArray SplitToStringArray(const std::string& text)
{
    TStringArray tokens;
    std::string token;
    for (char c : text) {
        if (IsSplitDelimiter(c)) {
            if (!token.empty()) {
                tokens.push_back(token);
                token.clear();
            }
        } else {
            token += c;
        }
    }
    if (!token.empty()) {
        tokens.push_back(token);
    }
    return tokens;
}

TSingleArray SplitToSingleArray(const std::string& text)
{
    TSingleArray values;
    for (const std::string& token : SplitToStringArray(text)) {
        values.push_back(StrToFloatLenient(token));
    }
    return values;
}

TIntArray SplitToIntArray(const std::string& text)
{
    TIntArray values;
    for (const std::string& token : SplitToStringArray(text)) {
        values.push_back(StrToIntLenient(token));
    }
    return values;
}

int32_t PCharLength(const char* text)
{
    return text == nullptr ? 0 : static_cast<int32_t>(std::strlen(text));
}

int32_t CompareStrOrdinal(const std::string& a, const std::string& b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) {
            return static_cast<int32_t>(static_cast<unsigned char>(a[i])) -
                   static_cast<int32_t>(static_cast<unsigned char>(b[i]));
        }
    }
    // Clamped so that texts longer than 2 GB still compare with the right sign.
    const int64_t diff = static_cast<int64_t>(a.size()) - static_cast<int64_t>(b.size());
    return static_cast<int32_t>(
        std::clamp<int64_t>(diff, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

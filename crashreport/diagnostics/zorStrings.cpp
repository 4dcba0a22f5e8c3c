// zorStrings: the reporter's text routines. Each ansi/wide pair is one
// template over the character type; the named routines only pick the type.
#include "crashreport/diagnostics/zorStrings.h"

#include <algorithm>
#include <cstring>
#include <langinfo.h>

namespace {

template <class C> using TStr = std::basic_string<C>;

// The character code of a unit: bytes count 0..255, wide units as they are.
inline uint32_t CodeOf(char c)
{
    return static_cast<unsigned char>(c);
}
inline uint32_t CodeOf(char16_t c)
{
    return c;
}

constexpr std::array<uint8_t, 256> MakeLowerCaseTable()
{
    std::array<uint8_t, 256> table{};
    for (unsigned c = 0; c < 256; ++c)
        table[c] = static_cast<uint8_t>(c);
    for (unsigned c = 'A'; c <= 'Z'; ++c)
        table[c] = static_cast<uint8_t>(c + 32);
    table[0x8A] = 0x9A;
    table[0x8C] = 0x9C;
    table[0x8E] = 0x9E;
    table[0x9F] = 0xFF;
    for (unsigned c = 0xC0; c <= 0xDE; ++c)
        if (c != 0xD7)
            table[c] = static_cast<uint8_t>(c + 32);
    return table;
}

constexpr std::array<uint8_t, 256> MakeDigitValueTable()
{
    std::array<uint8_t, 256> table{};
    for (unsigned c = '0'; c <= '9'; ++c)
        table[c] = static_cast<uint8_t>(c - '0');
    for (unsigned c = 0; c < 6; ++c) {
        table['A' + c] = static_cast<uint8_t>(10 + c);
        table['a' + c] = static_cast<uint8_t>(10 + c);
    }
    return table;
}

template <class C> uint32_t Fold(C c)
{
    const uint32_t code = CodeOf(c);
    return code < 256 ? ZorLowerCaseTable[code] : code;
}

template <class C> bool SameUnit(C a, C b, bool ignoreCase)
{
    return ignoreCase ? Fold(a) == Fold(b) : a == b;
}

template <class C> bool IsDecimalDigit(C c)
{
    return CodeOf(c) >= '0' && CodeOf(c) <= '9';
}

template <class C> bool IsHexDigit(C c)
{
    const uint32_t code = CodeOf(c);
    return (code >= '0' && code <= '9') || (code >= 'a' && code <= 'f') || (code >= 'A' && code <= 'F');
}

// The padding rule of every number text. The length is 64-bit so that
// minLen + 1 of the hex texts cannot overflow.
template <class C> TStr<C> Pad(TStr<C> text, int64_t minLen, C fill)
{
    const int64_t n = (minLen < 0 ? -minLen : minLen) - static_cast<int64_t>(text.size());
    if (n <= 0)
        return text;
    const size_t count = static_cast<size_t>(n);
    if (minLen < 0)
        text.append(count, fill);
    else if (IsDecimalDigit(fill) && !text.empty() && text[0] == C('-'))
        text.insert(1, count, fill);
    else
        text.insert(0, count, fill);
    return text;
}

template <class C> TStr<C> DecimalDigits(uint64_t value)
{
    C buffer[24];
    size_t at = sizeof(buffer) / sizeof(C);
    do {
        buffer[--at] = static_cast<C>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return TStr<C>(buffer + at, buffer + sizeof(buffer) / sizeof(C));
}

template <class C> TStr<C> DecText(int64_t value, int32_t minLen, C fill)
{
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    TStr<C> text = DecimalDigits<C>(magnitude);
    if (value < 0)
        text.insert(text.begin(), C('-'));
    return Pad(std::move(text), minLen, fill);
}

template <class C> TStr<C> HexDigits(uint64_t value, int width)
{
    static const char digits[] = "0123456789abcdef";
    C buffer[16];
    int at = 16;
    do {
        buffer[--at] = static_cast<C>(digits[value & 15]);
        value >>= 4;
    } while (value != 0 || 16 - at < width);
    return TStr<C>(buffer + at, buffer + 16);
}

template <class C> TStr<C> HexText(uint64_t value, int32_t minLen, C fill)
{
    TStr<C> digits = HexDigits<C>(value, 0);
    const TStr<C> dollar(1, C('$'));
    if (minLen > 0 && IsHexDigit(fill))
        return dollar + Pad(std::move(digits), minLen, fill);
    if (minLen > 0)
        return Pad(dollar + digits, static_cast<int64_t>(minLen) + 1, fill);
    if (minLen < 0)
        return dollar + Pad(std::move(digits), minLen, fill);
    return dollar + digits;
}

template <class C> bool MatchAt(const TStr<C>& text, size_t at, const TStr<C>& sub, bool ignoreCase)
{
    for (size_t i = 0; i < sub.size(); ++i)
        if (!SameUnit(text[at + i], sub[i], ignoreCase))
            return false;
    return true;
}

// 0-based index of the first occurrence at or after `from`, or npos.
template <class C> size_t FindForward(const TStr<C>& text, const TStr<C>& sub, size_t from, bool ignoreCase)
{
    if (sub.empty() || sub.size() > text.size())
        return TStr<C>::npos;
    for (size_t at = from; at + sub.size() <= text.size(); ++at)
        if (MatchAt(text, at, sub, ignoreCase))
            return at;
    return TStr<C>::npos;
}

template <class C> int32_t PosCore(const TStr<C>& sub, const TStr<C>& text, int32_t from, int32_t to, bool ignoreCase)
{
    if (from < 1 || to < 1 || sub.empty() || text.empty() || sub.size() > text.size())
        return 0;
    const int64_t last = static_cast<int64_t>(text.size() - sub.size()) + 1;
    const int64_t first = std::min<int64_t>(from, last);
    const int64_t bound = std::min<int64_t>(to, last);
    if (first <= bound) {
        for (int64_t p = first; p <= bound; ++p)
            if (MatchAt(text, static_cast<size_t>(p - 1), sub, ignoreCase))
                return static_cast<int32_t>(p);
    } else {
        for (int64_t p = first; p >= bound; --p)
            if (MatchAt(text, static_cast<size_t>(p - 1), sub, ignoreCase))
                return static_cast<int32_t>(p);
    }
    return 0;
}

template <class C>
int32_t PosSetCore(const TZorCharSet& set, const TStr<C>& text, int32_t from, int32_t to, bool member)
{
    if (text.empty())
        return 0;
    const int64_t length = static_cast<int64_t>(text.size());
    const int64_t first = std::clamp<int64_t>(from, 1, length);
    const int64_t bound = std::clamp<int64_t>(to, 1, length);
    const int64_t step = first <= bound ? 1 : -1;
    for (int64_t p = first;; p += step) {
        if (set.Contains(CodeOf(text[static_cast<size_t>(p - 1)])) == member)
            return static_cast<int32_t>(p);
        if (p == bound)
            return 0;
    }
}

template <class C>
bool ReplaceInCore(TStr<C>& text, const TStr<C>& sub, const TStr<C>& replacement, bool ignoreCase, bool rescan)
{
    if (sub.empty() || text.empty())
        return false;
    // Rescanning a replacement that holds the searched text again would never end.
    if (rescan && FindForward(replacement, sub, 0, ignoreCase) != TStr<C>::npos)
        rescan = false;
    size_t at = FindForward(text, sub, 0, ignoreCase);
    if (at == TStr<C>::npos)
        return false;
    if (!rescan) {
        TStr<C> out;
        out.reserve(text.size());
        size_t done = 0;
        while (at != TStr<C>::npos) {
            out.append(text, done, at - done);
            out += replacement;
            done = at + sub.size();
            at = FindForward(text, sub, done, ignoreCase);
        }
        out.append(text, done, TStr<C>::npos);
        text = std::move(out);
        return true;
    }
    while (at != TStr<C>::npos) {
        text.replace(at, sub.size(), replacement);
        at = FindForward(text, sub, replacement.size() <= sub.size() ? at : at + 1, ignoreCase);
    }
    return true;
}

template <class C> TStr<C> DeletedCore(const TStr<C>& text, int32_t index, int32_t count)
{
    if (index < 1 || count <= 0 || static_cast<size_t>(index) > text.size())
        return text;
    TStr<C> out = text;
    out.erase(static_cast<size_t>(index - 1), static_cast<size_t>(count));
    return out;
}

template <class C> void KeepRangeCore(TStr<C>& text, int32_t index, int32_t count)
{
    const size_t start = static_cast<size_t>(std::max(index, 1) - 1);
    if (start >= text.size() || count <= 0) {
        text.clear();
        return;
    }
    text = text.substr(start, static_cast<size_t>(count));
}

template <class C> bool IsBlank(C c)
{
    return CodeOf(c) <= 32;
}

template <class C> void TrimCore(TStr<C>& text)
{
    size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1]))
        --end;
    size_t start = 0;
    while (start < end && IsBlank(text[start]))
        ++start;
    text = text.substr(start, end - start);
}

template <class C> C UpCore(C c)
{
    const uint32_t code = CodeOf(c);
    if ((code >= 'a' && code <= 'z') || code == 0xE4 || code == 0xF6 || code == 0xFC)
        return static_cast<C>(code - 32);
    return c;
}

template <class C> bool SameTextCore(const TStr<C>& a, const TStr<C>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

template <class C> bool StartsWithCore(const TStr<C>& prefix, const TStr<C>& text, bool ignoreCase)
{
    return prefix.size() <= text.size() && MatchAt(text, 0, prefix, ignoreCase);
}

template <class C> int32_t DigitsCore(bool hex, const C* digits, int32_t count)
{
    if (digits == nullptr || count <= 0)
        return 0;
    const uint32_t base = hex ? 16 : 10;
    int32_t i = 0;
    const bool negative = digits[0] == C('-');
    if (negative)
        i = 1;
    uint32_t value = 0; // wraps like the 32-bit register it models
    for (; i < count; ++i)
        value = value * base + ZorDigitValueTable[CodeOf(digits[i]) & 0xFF];
    return static_cast<int32_t>(negative ? 0u - value : value);
}

template <class C> int32_t ItemCountCore(const TStr<C>& list, C delimiter)
{
    if (list.empty())
        return 0;
    return static_cast<int32_t>(std::count(list.begin(), list.end(), delimiter)) + 1;
}

template <class C> TStr<C> ItemCore(const TStr<C>& list, int32_t index, C delimiter)
{
    if (list.empty() || index < 1)
        return TStr<C>();
    size_t start = 0;
    for (int32_t n = 1; n < index; ++n) {
        const size_t next = list.find(delimiter, start);
        if (next == TStr<C>::npos)
            return TStr<C>();
        start = next + 1;
    }
    const size_t end = list.find(delimiter, start);
    return list.substr(start, end == TStr<C>::npos ? TStr<C>::npos : end - start);
}

template <class C> bool HasItemCore(const TStr<C>& list, const TStr<C>& item, C delimiter, bool ignoreCase)
{
    if (item.empty())
        return false;
    for (size_t at = FindForward(list, item, 0, ignoreCase); at != TStr<C>::npos;
         at = FindForward(list, item, at + 1, ignoreCase)) {
        const size_t end = at + item.size();
        if ((at == 0 || list[at - 1] == delimiter) && (end == list.size() || list[end] == delimiter))
            return true;
    }
    return false;
}

} // namespace

const std::array<uint8_t, 256> ZorLowerCaseTable = MakeLowerCaseTable();
const std::array<uint8_t, 256> ZorDigitValueTable = MakeDigitValueTable();

std::string AddressTextA(uint64_t address)
{
    return HexDigits<char>(address, ZorAddressDigits);
}
std::u16string AddressTextW(uint64_t address)
{
    return HexDigits<char16_t>(address, ZorAddressDigits);
}

// ---------------------------------------------------------------------------
// Numbers

std::string IntToDecTextA(int32_t value, int32_t minLen, char fill)
{
    return DecText(value, minLen, fill);
}
std::u16string IntToDecTextW(int32_t value, int32_t minLen, char16_t fill)
{
    return DecText(value, minLen, fill);
}
std::string CardToDecTextA(uint32_t value, int32_t minLen, char fill)
{
    return DecText(value, minLen, fill);
}
std::u16string CardToDecTextW(uint32_t value, int32_t minLen, char16_t fill)
{
    return DecText(value, minLen, fill);
}
std::string Int64ToDecTextA(int64_t value, int32_t minLen, char fill)
{
    return DecText(value, minLen, fill);
}
std::u16string Int64ToDecTextW(int64_t value, int32_t minLen, char16_t fill)
{
    return DecText(value, minLen, fill);
}

std::string IntToHexTextA(uint32_t value, int32_t minLen, char fill)
{
    return HexText(value, minLen, fill);
}
std::u16string IntToHexTextW(uint32_t value, int32_t minLen, char16_t fill)
{
    return HexText(value, minLen, fill);
}
std::string CardToHexTextA(uint32_t value, int32_t minLen, char fill)
{
    return HexText(value, minLen, fill);
}
std::u16string CardToHexTextW(uint32_t value, int32_t minLen, char16_t fill)
{
    return HexText(value, minLen, fill);
}
std::string Int64ToHexTextA(uint64_t value, int32_t minLen, char fill)
{
    return HexText(value, minLen, fill);
}

char16_t LocaleDecimalSeparator()
{
    static const char16_t separator = [] {
        const char* radix = nl_langinfo(RADIXCHAR);
        const std::u16string wide = radix ? Utf8ToWide(radix) : std::u16string();
        return wide.empty() ? u',' : wide[0];
    }();
    return separator;
}

std::u16string SizeToTextW(int64_t bytes)
{
    const uint64_t v = bytes < 0 ? 0 - static_cast<uint64_t>(bytes) : static_cast<uint64_t>(bytes);
    if (v < 1024)
        return DecText<char16_t>(static_cast<int64_t>(v), 1, u' ') + u" Bytes";
    uint64_t q;
    const char16_t* unit;
    if (v < 1048576) {
        q = v * 100 / 1024;
        unit = u" KB";
    } else if (v < 1073741824) {
        q = (v / 1024) * 100 / 1024;
        unit = u" MB";
    } else {
        q = (v / 1024 / 1024) * 100 / 1024;
        unit = u" GB";
    }
    std::u16string text = DecimalDigits<char16_t>(q); // at least "100"
    text.insert(text.size() - 2, 1, LocaleDecimalSeparator());
    return text + unit;
}

std::string ErrorCodeTextA(uint32_t code)
{
    if (code < 4096) {
        char buffer[256];
        const char* text = strerror_r(static_cast<int>(code), buffer, sizeof(buffer));
        if (text != nullptr && *text != '\0' && strncmp(text, "Unknown error", 13) != 0) {
            std::string result;
            for (const char* p = text; *p; ++p)
                if (*p != '\n')
                    result.push_back(*p == '\r' ? ' ' : *p);
            return result;
        }
    }
    return "System error " + CardToHexTextA(code, 1, '0');
}

std::u16string ErrorCodeTextW(uint32_t code)
{
    return Utf8ToWide(ErrorCodeTextA(code));
}

// ---------------------------------------------------------------------------
// Conversions

std::u16string Utf8ToWide(const std::string& utf8)
{
    auto continuation = [&](size_t i) {
        if (i >= utf8.size())
            return false;
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        return b >= 0x80 && b <= 0xBF;
    };
    auto byteAt = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(utf8[i])); };
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const uint32_t b = byteAt(i);
        if (b == 0)
            break;
        if (b < 0x80) {
            out.push_back(static_cast<char16_t>(b));
            ++i;
            continue;
        }
        // Characters beyond the 16-bit plane become a surrogate pair.
        if (b >= 0xF0 && b <= 0xF4 && continuation(i + 1) && continuation(i + 2) && continuation(i + 3)) {
            const uint32_t cp =
                (b & 0x07) << 18 | (byteAt(i + 1) & 0x3F) << 12 | (byteAt(i + 2) & 0x3F) << 6 | (byteAt(i + 3) & 0x3F);
            if (cp >= 0x10000 && cp <= 0x10FFFF) {
                out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
                out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
                i += 4;
                continue;
            }
        }
        if (continuation(i + 1)) {
            if ((b & 0x20) == 0) {
                out.push_back(static_cast<char16_t>((b & 0x3F) << 6 | (byteAt(i + 1) & 0x3F)));
                i += 2;
                continue;
            }
            if (continuation(i + 2)) {
                out.push_back(
                    static_cast<char16_t>((b & 0x0F) << 12 | (byteAt(i + 1) & 0x3F) << 6 | (byteAt(i + 2) & 0x3F)));
                i += 3;
                continue;
            }
        }
        out.push_back(static_cast<char16_t>(b)); // no sequence: read as Latin-1
        ++i;
    }
    return out;
}

std::string WideToUtf8(const std::u16string& wide)
{
    std::string out;
    out.reserve(wide.size() * 3);
    for (size_t i = 0; i < wide.size(); ++i) {
        const uint32_t u = wide[i];
        if (u == 0)
            break;
        if (u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xC0 | u >> 6));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
                   wide[i + 1] <= 0xDFFF) {
            const uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (wide[i + 1] - 0xDC00u);
            out.push_back(static_cast<char>(0xF0 | cp >> 18));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
            ++i;
        } else {
            // A lone surrogate half is written as its own three bytes.
            out.push_back(static_cast<char>(0xE0 | u >> 12));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

std::string WideToAnsiTrunc(const std::u16string& wide)
{
    std::string out;
    out.reserve(wide.size());
    for (char16_t u : wide) {
        if (u == 0)
            break;
        out.push_back(static_cast<char>(u & 0xFF));
    }
    return out;
}

// ---------------------------------------------------------------------------
// Paths

namespace {
size_t LastSeparator(const std::u16string& path)
{
    return path.find_last_of(u"\\/");
}
} // namespace

std::u16string FileNamePartW(const std::u16string& path)
{
    const size_t at = LastSeparator(path);
    return at == std::u16string::npos ? path : path.substr(at + 1);
}

std::u16string FilePathPartW(const std::u16string& path)
{
    const size_t at = LastSeparator(path);
    return at == std::u16string::npos ? std::u16string() : path.substr(0, at + 1);
}

std::u16string FileDrivePartW(const std::u16string& path)
{
    if (path.size() < 2)
        return path;
    if (path[0] == u'\\' && path[1] == u'\\') {
        const size_t first = path.find(u'\\', 3);
        const size_t second = first == std::u16string::npos ? first : path.find(u'\\', first + 1);
        return (second == std::u16string::npos ? path : path.substr(0, second)) + u"\\";
    }
    if (path[1] == u':')
        return path.substr(0, 1) + u":\\";
    return path;
}

std::u16string FileExtPartW(const std::u16string& path)
{
    const size_t at = path.rfind(u'.');
    return at == std::u16string::npos ? std::u16string() : path.substr(at);
}

std::u16string RightPartW(const std::u16string& text, int32_t count)
{
    if (count <= 0)
        return std::u16string();
    const size_t n = static_cast<size_t>(count);
    return n >= text.size() ? text : text.substr(text.size() - n);
}

std::u16string YesNoTextW(bool value)
{
    return value ? u"+" : u"-";
}

bool IsIdentifierW(const std::u16string& text, bool allowDots)
{
    auto start = [](char16_t c) {
        return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c >= 256;
    };
    if (text.empty() || !start(text[0]))
        return false;
    for (size_t i = 1; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (!start(c) && !(c >= u'0' && c <= u'9') && !(allowDots && c == u'.'))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Editing

std::string DeletedA(const std::string& text, int32_t index, int32_t count)
{
    return DeletedCore(text, index, count);
}
std::u16string DeletedW(const std::u16string& text, int32_t index, int32_t count)
{
    return DeletedCore(text, index, count);
}
void KeepRangeA(std::string& text, int32_t index, int32_t count)
{
    KeepRangeCore(text, index, count);
}
void KeepRangeW(std::u16string& text, int32_t index, int32_t count)
{
    KeepRangeCore(text, index, count);
}
void TrimA(std::string& text)
{
    TrimCore(text);
}
void TrimW(std::u16string& text)
{
    TrimCore(text);
}
std::string TrimCopyA(const std::string& text)
{
    std::string copy = text;
    TrimCore(copy);
    return copy;
}
std::u16string TrimCopyW(const std::u16string& text)
{
    std::u16string copy = text;
    TrimCore(copy);
    return copy;
}
std::string PadA(const std::string& text, int32_t len, char fill)
{
    return Pad(text, len, fill);
}
std::u16string PadW(const std::u16string& text, int32_t len, char16_t fill)
{
    return Pad(text, len, fill);
}

bool RemoveCharW(std::u16string& text, char16_t unit)
{
    const size_t before = text.size();
    std::erase(text, unit);
    return text.size() != before;
}

bool RemoveCharSetW(std::u16string& text, const TZorCharSet& set)
{
    const size_t before = text.size();
    std::erase_if(text, [&](char16_t c) { return set.Contains(c); });
    return text.size() != before;
}

bool RemoveTextW(std::u16string& text, const std::u16string& sub)
{
    return ReplaceInCore(text, sub, std::u16string(), false, false);
}

bool ReplaceInA(std::string& text, const std::string& sub, const std::string& replacement, bool ignoreCase, bool rescan)
{
    return ReplaceInCore(text, sub, replacement, ignoreCase, rescan);
}
bool ReplaceInW(std::u16string& text, const std::u16string& sub, const std::u16string& replacement, bool ignoreCase,
                bool rescan)
{
    return ReplaceInCore(text, sub, replacement, ignoreCase, rescan);
}
bool ReplaceStrA(std::string& text, const std::string& sub, const std::string& replacement, bool rescan)
{
    return ReplaceInCore(text, sub, replacement, false, rescan);
}
bool ReplaceStrW(std::u16string& text, const std::u16string& sub, const std::u16string& replacement, bool rescan)
{
    return ReplaceInCore(text, sub, replacement, false, rescan);
}
bool ReplaceTextA(std::string& text, const std::string& sub, const std::string& replacement, bool rescan)
{
    return ReplaceInCore(text, sub, replacement, true, rescan);
}
bool ReplaceTextW(std::u16string& text, const std::u16string& sub, const std::u16string& replacement, bool rescan)
{
    return ReplaceInCore(text, sub, replacement, true, rescan);
}

// ---------------------------------------------------------------------------
// Case

char UpCharA(char c)
{
    return UpCore(c);
}

std::string UpStrA(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        c = UpCore(c);
    return out;
}

std::u16string UpStrW(const std::u16string& text)
{
    std::u16string out = text;
    for (char16_t& c : out)
        c = UpCore(c);
    return out;
}

char16_t LowCharW(char16_t c)
{
    return c < 256 ? static_cast<char16_t>(ZorLowerCaseTable[c]) : c;
}

std::u16string LowStrW(const std::u16string& text)
{
    std::u16string out = text;
    for (char16_t& c : out)
        if ((c >= u'A' && c <= u'Z') || c == 0xC4 || c == 0xD6 || c == 0xDC)
            c = static_cast<char16_t>(c + 32);
    return out;
}

bool SameTextA(const std::string& a, const std::string& b)
{
    return SameTextCore(a, b);
}
bool SameTextW(const std::u16string& a, const std::u16string& b)
{
    return SameTextCore(a, b);
}

// ---------------------------------------------------------------------------
// Search

int32_t PosStrA(const std::string& sub, const std::string& text, int32_t from, int32_t to)
{
    return PosCore(sub, text, from, to, false);
}
int32_t PosStrW(const std::u16string& sub, const std::u16string& text, int32_t from, int32_t to)
{
    return PosCore(sub, text, from, to, false);
}
int32_t PosTextA(const std::string& sub, const std::string& text, int32_t from, int32_t to)
{
    return PosCore(sub, text, from, to, true);
}
int32_t PosTextW(const std::u16string& sub, const std::u16string& text, int32_t from, int32_t to)
{
    return PosCore(sub, text, from, to, true);
}
int32_t PosCharSetA(const TZorCharSet& set, const std::string& text, int32_t from, int32_t to)
{
    return PosSetCore(set, text, from, to, true);
}
int32_t PosCharSetW(const TZorCharSet& set, const std::u16string& text, int32_t from, int32_t to)
{
    return PosSetCore(set, text, from, to, true);
}
int32_t PosNotCharSetW(const TZorCharSet& set, const std::u16string& text, int32_t from, int32_t to)
{
    return PosSetCore(set, text, from, to, false);
}
bool StartsWithA(const std::string& prefix, const std::string& text)
{
    return StartsWithCore(prefix, text, false);
}
bool StartsWithW(const std::u16string& prefix, const std::u16string& text)
{
    return StartsWithCore(prefix, text, false);
}
bool StartsWithTextW(const std::u16string& prefix, const std::u16string& text)
{
    return StartsWithCore(prefix, text, true);
}

int32_t DigitsToIntA(bool hex, const char* digits, int32_t count)
{
    return DigitsCore(hex, digits, count);
}
int32_t DigitsToIntW(bool hex, const char16_t* digits, int32_t count)
{
    return DigitsCore(hex, digits, count);
}

// ---------------------------------------------------------------------------
// Lists

void TidyItemsW(std::u16string& list, char16_t delimiter)
{
    auto loose = [&](char16_t c) { return c <= 32 || c == delimiter; };
    std::u16string out;
    out.reserve(list.size());
    size_t i = 0;
    while (i < list.size() && loose(list[i]))
        ++i;
    size_t end = list.size();
    while (end > i && loose(list[end - 1]))
        --end;
    while (i < end) {
        if (list[i] != delimiter) {
            out.push_back(list[i++]);
            continue;
        }
        while (!out.empty() && loose(out.back()))
            out.pop_back();
        out.push_back(delimiter);
        while (i < end && loose(list[i]))
            ++i;
    }
    list = std::move(out);
}

int32_t ItemCountA(const std::string& list, char delimiter)
{
    return ItemCountCore(list, delimiter);
}
int32_t ItemCountW(const std::u16string& list, char16_t delimiter)
{
    return ItemCountCore(list, delimiter);
}
std::string ItemA(const std::string& list, int32_t index, char delimiter)
{
    return ItemCore(list, index, delimiter);
}
std::u16string ItemW(const std::u16string& list, int32_t index, char16_t delimiter)
{
    return ItemCore(list, index, delimiter);
}
bool HasItemW(const std::u16string& list, const std::u16string& item, char16_t delimiter)
{
    return HasItemCore(list, item, delimiter, false);
}
bool HasItemTextW(const std::u16string& list, const std::u16string& item, char16_t delimiter)
{
    return HasItemCore(list, item, delimiter, true);
}

TDAAnsiString SplitLinesA(const std::string& text)
{
    TDAAnsiString lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// Code pages 1250, 1251, 1252 and UTF-8 to and from UTF-16, and the case
// tables of wide characters. Our own tables: the program must convert the same
// way on every machine, whatever locale the system has.
#include "platform/os/OS.h"
#include "platform/os/OS_Internal.h"

#include <array>

namespace {

constexpr char16_t Replacement = 0xFFFD;
constexpr char16_t Undef = 0xFFFD; // a position the code page leaves undefined

// The upper halves (0x80..0xFF) of the single-byte code pages.
// clang-format off
constexpr std::array<char16_t, 128> Cp1250 = {
    0x20AC, Undef,  0x201A, Undef,  0x201E, 0x2026, 0x2020, 0x2021, // 80
    Undef,  0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179, // 88
    Undef,  0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    Undef,  0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9, // F8
};

constexpr std::array<char16_t, 128> MakeCp1251()
{
    std::array<char16_t, 128> t = {
        0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
        0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
        0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
        Undef,  0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
        0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
        0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
        0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
        0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
    };
    // C0..FF: the Russian alphabet, А..я, in Unicode order.
    for (int i = 0; i < 64; ++i)
        t[0x40 + i] = static_cast<char16_t>(0x0410 + i);
    return t;
}
constexpr std::array<char16_t, 128> Cp1251 = MakeCp1251();

constexpr std::array<char16_t, 128> MakeCp1252()
{
    std::array<char16_t, 128> t = {
        0x20AC, Undef,  0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, Undef,  0x017D, Undef,  // 88
        Undef,  0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, Undef,  0x017E, 0x0178, // 98
    };
    // A0..FF: the same as Latin-1.
    for (int i = 0x20; i < 0x80; ++i)
        t[i] = static_cast<char16_t>(0x80 + i);
    return t;
}
constexpr std::array<char16_t, 128> Cp1252 = MakeCp1252();
// clang-format on

const std::array<char16_t, 128>& SingleByteTable(int codePage)
{
    switch (codePage) {
    case CP_1250:
        return Cp1250;
    case CP_1251:
        return Cp1251;
    default:
        return Cp1252;
    }
}

bool IsContinuation(uint8_t b)
{
    return (b & 0xC0) == 0x80;
}

void AppendCodePoint(std::u16string& out, uint32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
        return;
    }
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
}

// UTF-8 decoding with one U+FFFD for each maximal ill-formed part: overlong
// forms, encoded surrogates, values above U+10FFFF, stray continuation bytes
// and sequences cut short.
std::u16string DecodeUtf8(const std::string& text)
{
    std::u16string out;
    out.reserve(text.size());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const uint8_t b = static_cast<uint8_t>(text[i]);
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int length;
        uint32_t cp;
        uint8_t low = 0x80, high = 0xBF; // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            cp = b & 0x0F;
            if (b == 0xE0)
                low = 0xA0; // overlong below U+0800
            else if (b == 0xED)
                high = 0x9F; // U+D800..DFFF are not characters
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            cp = b & 0x07;
            if (b == 0xF0)
                low = 0x90; // overlong below U+10000
            else if (b == 0xF4)
                high = 0x8F; // above U+10FFFF
        } else {
            out.push_back(Replacement); // C0, C1, F5..FF or a stray continuation byte
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool complete = true;
        for (int k = 1; k < length; ++k, ++j) {
            const uint8_t c = j < n ? static_cast<uint8_t>(text[j]) : 0;
            const bool ok = j < n && (k == 1 ? (c >= low && c <= high) : IsContinuation(c));
            if (!ok) {
                complete = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (complete)
            AppendCodePoint(out, cp);
        else
            out.push_back(Replacement);
        i = j;
    }
    return out;
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

std::string EncodeUtf8(const std::u16string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((uint32_t(c) - 0xD800) << 10) + (uint32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            AppendUtf8(out, Replacement);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

// Lower case of the letters of Latin-1, Latin Extended-A, Greek and Cyrillic.
char16_t LowerOf(char16_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 32) : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<char16_t>(c + 32);
    if (c >= 0x0100 && c <= 0x017F) {
        if (c == 0x0130)
            return u'i';
        if (c == 0x0178)
            return 0x00FF;
        const bool evenUpper = (c <= 0x0137) || (c >= 0x014A && c <= 0x0177);
        const bool oddUpper = (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E);
        if ((evenUpper && c % 2 == 0) || (oddUpper && c % 2 == 1))
            return static_cast<char16_t>(c + 1);
        return c;
    }
    if (c >= 0x0370 && c <= 0x03FF) {
        if (c >= 0x0391 && c <= 0x03AB && c != 0x03A2)
            return static_cast<char16_t>(c + 32);
        switch (c) {
        case 0x0370:
        case 0x0372:
        case 0x0376:
        case 0x03F7:
        case 0x03FA:
            return static_cast<char16_t>(c + 1);
        case 0x037F:
            return 0x03F3;
        case 0x0386:
            return 0x03AC;
        case 0x0388:
        case 0x0389:
        case 0x038A:
            return static_cast<char16_t>(c + 37);
        case 0x038C:
            return 0x03CC;
        case 0x038E:
        case 0x038F:
            return static_cast<char16_t>(c + 63);
        case 0x03CF:
            return 0x03D7;
        case 0x03F4:
            return 0x03B8;
        case 0x03F9:
            return 0x03F2;
        case 0x03FD:
        case 0x03FE:
        case 0x03FF:
            return static_cast<char16_t>(c - 130);
        default:
            break;
        }
        if (c >= 0x03D8 && c <= 0x03EF && c % 2 == 0)
            return static_cast<char16_t>(c + 1);
        return c;
    }
    if (c >= 0x0400 && c <= 0x052F) {
        if (c <= 0x040F)
            return static_cast<char16_t>(c + 80);
        if (c <= 0x042F)
            return static_cast<char16_t>(c + 32);
        if (c == 0x04C0)
            return 0x04CF;
        const bool evenUpper =
            (c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) || (c >= 0x04D0 && c <= 0x052F);
        if (evenUpper && c % 2 == 0)
            return static_cast<char16_t>(c + 1);
        if (c >= 0x04C1 && c <= 0x04CE && c % 2 == 1)
            return static_cast<char16_t>(c + 1);
        return c;
    }
    return c;
}

// Upper case: the inverse of the lower-case table (the first upper-case
// letter of a lower-case one wins, so 'i' goes to 'I', not to U+0130), plus
// the lower-case letters with no upper-case partner in that table.
struct TUpperTable {
    std::array<char16_t, 0x0530> Map{};
    TUpperTable()
    {
        for (size_t c = 0; c < Map.size(); ++c)
            Map[c] = static_cast<char16_t>(c);
        std::array<bool, 0x0530> taken{};
        for (size_t c = 0; c < Map.size(); ++c) {
            const char16_t lower = LowerOf(static_cast<char16_t>(c));
            if (lower != c && lower < Map.size() && !taken[lower]) {
                Map[lower] = static_cast<char16_t>(c);
                taken[lower] = true;
            }
        }
        Map[0x00B5] = 0x039C; // micro sign
        Map[0x03C2] = 0x03A3; // final sigma
    }
};

} // namespace

std::u16string OS_MultiByteToWide(int codePage, const std::string& text)
{
    if (codePage == CP_UTF8)
        return DecodeUtf8(text);
    const auto& table = SingleByteTable(codePage);
    std::u16string out;
    out.reserve(text.size());
    for (char ch : text) {
        const uint8_t b = static_cast<uint8_t>(ch);
        out.push_back(b < 0x80 ? char16_t(b) : table[b - 0x80]);
    }
    return out;
}

std::string OS_WideToMultiByte(int codePage, const std::u16string& text)
{
    if (codePage == CP_UTF8)
        return EncodeUtf8(text);
    const auto& table = SingleByteTable(codePage);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        char mapped = '?';
        if (c != Undef) {
            for (size_t k = 0; k < table.size(); ++k) {
                if (table[k] == c) {
                    mapped = static_cast<char>(0x80 + k);
                    break;
                }
            }
        }
        // A surrogate pair is one character: one "?".
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
            ++i;
        out.push_back(mapped);
    }
    return out;
}

char OS_CharUpperA(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

char OS_CharLowerA(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

char16_t OS_CharLowerW(char16_t c)
{
    return LowerOf(c);
}

char16_t OS_CharUpperW(char16_t c)
{
    static const TUpperTable table;
    return c < table.Map.size() ? table.Map[c] : c;
}

std::u16string OS_NameSortKey(const std::string& name)
{
    std::u16string key = DecodeUtf8(name);
    for (char16_t& c : key)
        c = OS_CharUpperW(c);
    return key;
}

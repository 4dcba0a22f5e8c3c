#include "platform/os/OS.h"

#include <gtest/gtest.h>

namespace {

std::string Hex(const std::u16string& text)
{
    std::string out;
    char buffer[8];
    for (char16_t c : text) {
        snprintf(buffer, sizeof buffer, "%s%04X", out.empty() ? "" : " ", unsigned(c));
        out += buffer;
    }
    return out;
}

TEST(OSCodePagesTest, SingleByteLettersBothWays)
{
    struct Row {
        int CodePage;
        uint8_t Byte;
        char16_t Wide;
    };
    const Row rows[] = {
        {CP_1251, 0xC0, 0x0410}, {CP_1251, 0xFF, 0x044F}, {CP_1251, 0xA8, 0x0401}, {CP_1251, 0xB8, 0x0451},
        {CP_1251, 0xA5, 0x0490}, {CP_1251, 0xB9, 0x2116}, {CP_1251, 0x88, 0x20AC}, {CP_1251, 0x80, 0x0402},
        {CP_1250, 0xA5, 0x0104}, {CP_1250, 0xB9, 0x0105}, {CP_1250, 0xA3, 0x0141}, {CP_1250, 0xB3, 0x0142},
        {CP_1250, 0x8C, 0x015A}, {CP_1250, 0x9F, 0x017A}, {CP_1250, 0xD1, 0x0143}, {CP_1250, 0xFF, 0x02D9},
        {CP_1252, 0x80, 0x20AC}, {CP_1252, 0x9F, 0x0178}, {CP_1252, 0x8A, 0x0160}, {CP_1252, 0xE9, 0x00E9},
        {CP_1252, 0xA0, 0x00A0}, {CP_1252, 0x41, 0x0041},
    };
    for (const Row& row : rows) {
        const std::string narrow(1, static_cast<char>(row.Byte));
        EXPECT_EQ(OS_MultiByteToWide(row.CodePage, narrow), std::u16string(1, row.Wide))
            << row.CodePage << " " << int(row.Byte);
        EXPECT_EQ(OS_WideToMultiByte(row.CodePage, std::u16string(1, row.Wide)), narrow)
            << row.CodePage << " " << int(row.Byte);
    }
}

TEST(OSCodePagesTest, EveryDefinedByteRoundTripsAndGapsBecomeReplacements)
{
    struct Row {
        int CodePage;
        std::vector<uint8_t> Undefined;
    };
    const Row rows[] = {
        {CP_1250, {0x81, 0x83, 0x88, 0x90, 0x98}},
        {CP_1251, {0x98}},
        {CP_1252, {0x81, 0x8D, 0x8F, 0x90, 0x9D}},
    };
    for (const Row& row : rows) {
        std::string all;
        for (int b = 0; b < 256; ++b)
            all.push_back(static_cast<char>(b));
        const std::u16string wide = OS_MultiByteToWide(row.CodePage, all);
        ASSERT_EQ(wide.size(), 256u);
        std::string expected = all;
        for (uint8_t b : row.Undefined) {
            EXPECT_EQ(wide[b], 0xFFFD) << row.CodePage << " " << int(b);
            expected[b] = '?';
        }
        EXPECT_EQ(OS_WideToMultiByte(row.CodePage, wide), expected) << row.CodePage;
    }
}

TEST(OSCodePagesTest, CharactersAPageLacksBecomeQuestionMarks)
{
    EXPECT_EQ(OS_WideToMultiByte(CP_1252, u"a\u0416b"), "a?b");
    EXPECT_EQ(OS_WideToMultiByte(CP_1251, u"\u00E9"), "?");
    EXPECT_EQ(OS_WideToMultiByte(CP_1250, u"\u0410"), "?");
    EXPECT_EQ(OS_WideToMultiByte(CP_1252, u"x\U0001F600y"), "x?y"); // one character, one mark
    EXPECT_EQ(OS_WideToMultiByte(CP_1252, u"\uFFFD"), "?");
}

TEST(OSCodePagesTest, Utf8Decoding)
{
    struct Row {
        const char* Bytes;
        std::u16string Wide;
    };
    const Row rows[] = {
        {"plain", u"plain"},
        {"\xD0\xBB\xD0\xB5\xD1\x81", u"\u043B\u0435\u0441"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xEF\xBB\xBF"
         "a",
         u"\uFEFFa"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        // Invalid: one U+FFFD for each maximal ill-formed part.
        {"a\x80z", u"a\uFFFDz"},
        {"\xBF\xBF", u"\uFFFD\uFFFD"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"},           // overlong "/"
        {"\xC1\xBF", u"\uFFFD\uFFFD"},           // overlong
        {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"}, // overlong
        {"\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"}, // an encoded surrogate
        {"\xED\xBF\xBF", u"\uFFFD\uFFFD\uFFFD"},
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"}, // above U+10FFFF
        {"\xF5\x80", u"\uFFFD\uFFFD"},
        {"\xFF", u"\uFFFD"},
        {"\xD0", u"\uFFFD"},       // cut short at the end
        {"\xE2\x82", u"\uFFFD"},   // one mark for the started sequence
        {"\xE2\x82z", u"\uFFFDz"}, // the stopping byte is read again
        {"\xF0\x9F\x98", u"\uFFFD"},
        {"\xD0\xD0\xBB", u"\uFFFD\u043B"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Hex(OS_MultiByteToWide(CP_UTF8, row.Bytes)), Hex(row.Wide))
            << Hex(OS_MultiByteToWide(CP_1252, row.Bytes));
    EXPECT_EQ(OS_MultiByteToWide(CP_UTF8, std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(OSCodePagesTest, Utf8Encoding)
{
    struct Row {
        std::u16string Wide;
        const char* Bytes;
    };
    const Row rows[] = {
        {u"plain", "plain"},
        {u"\u00E9\u043B", "\xC3\xA9\xD0\xBB"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        {std::u16string(1, char16_t(0xD83D)), "\xEF\xBF\xBD"},                              // lone high surrogate
        {std::u16string(1, char16_t(0xDE00)), "\xEF\xBF\xBD"},                              // lone low surrogate
        {std::u16string({char16_t(0xDE00), char16_t(0xD83D)}), "\xEF\xBF\xBD\xEF\xBF\xBD"}, // wrong order
        {std::u16string({char16_t(0xD83D), u'x'}), "\xEF\xBF\xBDx"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(OS_WideToMultiByte(CP_UTF8, row.Wide), row.Bytes) << Hex(row.Wide);
        const bool wellFormed = row.Wide.find(char16_t(0xDE00)) == std::u16string::npos &&
                                row.Wide.find(char16_t(0xD83D)) == std::u16string::npos;
        if (wellFormed) {
            EXPECT_EQ(OS_MultiByteToWide(CP_UTF8, row.Bytes), row.Wide) << Hex(row.Wide);
        }
    }
}

TEST(OSCodePagesTest, CaseChanges)
{
    // Ansi case is ASCII only: the other bytes may be UTF-8 and must survive.
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const bool upper = b >= 'A' && b <= 'Z', lower = b >= 'a' && b <= 'z';
        EXPECT_EQ(OS_CharLowerA(c), upper ? static_cast<char>(b + 32) : c) << b;
        EXPECT_EQ(OS_CharUpperA(c), lower ? static_cast<char>(b - 32) : c) << b;
    }
    struct Row {
        char16_t Upper;
        char16_t Lower;
    };
    const Row rows[] = {
        {u'A', u'a'},     {u'Z', u'z'},     {u'a', u'a'},     {u'1', u'1'},     {0x00C0, 0x00E0}, {0x00DE, 0x00FE},
        {0x00D7, 0x00D7}, {0x00DF, 0x00DF}, {0x0104, 0x0105}, {0x0105, 0x0105}, {0x0141, 0x0142}, {0x0139, 0x013A},
        {0x0147, 0x0148}, {0x014A, 0x014B}, {0x0152, 0x0153}, {0x0178, 0x00FF}, {0x0179, 0x017A}, {0x017D, 0x017E},
        {0x0138, 0x0138}, {0x0130, u'i'},   {0x0391, 0x03B1}, {0x03A3, 0x03C3}, {0x03A9, 0x03C9}, {0x0386, 0x03AC},
        {0x038F, 0x03CE}, {0x03A2, 0x03A2}, {0x0410, 0x0430}, {0x042F, 0x044F}, {0x0401, 0x0451}, {0x0406, 0x0456},
        {0x040F, 0x045F}, {0x0490, 0x0491}, {0x0462, 0x0463}, {0x04C1, 0x04C2}, {0x04D0, 0x04D1}, {0x0430, 0x0430},
        {0x20AC, 0x20AC},
    };
    for (const Row& row : rows)
        EXPECT_EQ(int(OS_CharLowerW(row.Upper)), int(row.Lower)) << std::hex << int(row.Upper);
}

} // namespace

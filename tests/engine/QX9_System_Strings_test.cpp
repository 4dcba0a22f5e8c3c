// The lenient parsers, the formatters and the string helpers, to the character.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/QX9_System.h"

namespace {

TEST(StrToIntLenient, KeepsEveryDigitOfTheText)
{
    struct Row {
        const char* text;
        int32_t expected;
    };
    const Row rows[] = {
        {"  -12abc3 ", -123},
        {"12-3", 123}, // only a leading "-" negates
        {"1.5", 15},
        {"a1b2", 12},
        {"", 0},
        {"   ", 0},
        {"-", 0},
        {"abc", 0},
        {"+42", 42},
        {"\t7\r\n", 7},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int32_t>::min()},
        {"4294967297", 1}, // the low 32 bits of the 64-bit sum
        {"2147483648", std::numeric_limits<int32_t>::min()},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(StrToIntLenient(row.text), row.expected) << "text '" << row.text << "'";
    }
}

TEST(StrToInt64Lenient, KeepsAllSixtyFourBits)
{
    struct Row {
        const char* text;
        int64_t expected;
    };
    const Row rows[] = {
        {"9007199254740993", 9007199254740993LL},
        {" -12abc3 ", -123},
        {"4294967297", 4294967297LL},
        {"9223372036854775807", std::numeric_limits<int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<int64_t>::min()},
        {"18446744073709551617", 1}, // wraps like the 64-bit sum
        {"", 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(StrToInt64Lenient(row.text), row.expected) << "text '" << row.text << "'";
    }
}

TEST(StrToFloatLenient, FollowsTheSinglePrecisionSteps)
{
    struct Row {
        const char* text;
        float expected;
    };
    const Row rows[] = {
        {"0.5", 0.5f},
        {"-0,75", -0.75f},
        {"1.25", 1.25f},
        {"1,25", 1.25f},
        {"+1.25", 1.25f},
        // 2.5 times the single nearest 0.01 lies exactly between two singles and
        // rounds to the even one, one step below the single nearest 0.025.
        {"2.5e-02", 2.5f * (1.0f / 100.0f)},
        {"1.5e+2", 150.0f},
        {"1.5E+2", 1.52f}, // "E" is no exponent: the fraction digits are 5 and 2
        {"1e5", 1.0f},     // the character after "e" is the sign, never a digit
        {"1e+5", 100000.0f},
        {"1e-1", 0.1f},
        {"abc", 0.0f},
        {"", 0.0f},
        {"  ", 0.0f},
        {"12", 12.0f},
        {"  3.75  ", 3.75f},
        {"5-", -5.0f}, // a "-" anywhere negates
        {"-.5", -0.5f},
        {"1.", 1.0f},     // fewer than two characters after the integer part: no fraction
        {"1.2.3", 1.23f}, // fraction digits read back from the end: 3, then 2
        {"1.5e", 1.5f},
        {"1e999", std::numeric_limits<float>::infinity()},
        {"1e-999", 0.0f},
        {"7e-0", 7.0f},
    };
    EXPECT_FLOAT_EQ(StrToFloatLenient("2.5e-02"), 0.025f);
    for (const Row& row : rows) {
        const float got = StrToFloatLenient(row.text);
        if (std::isinf(row.expected)) {
            EXPECT_TRUE(std::isinf(got)) << "text '" << row.text << "' gave " << got;
        } else {
            EXPECT_EQ(got, row.expected) << "text '" << row.text << "'";
        }
    }
}

TEST(StrToBoolLenient, TrueOnlyForTOrY)
{
    struct Row {
        const char* text;
        bool expected;
    };
    const Row rows[] = {
        {"Yes", true}, {"true", true}, {" y", true},  {"TRUE", true},   {"\tYo", true}, {"1", false},
        {"", false},   {"   ", false}, {"no", false}, {"false", false}, {"x", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(StrToBoolLenient(row.text), row.expected) << "text '" << row.text << "'";
    }
    EXPECT_EQ(BoolToYesNo(true), "Yes");
    EXPECT_EQ(BoolToYesNo(false), "No");
}

TEST(Int64ToStr, SignsAndPadding)
{
    EXPECT_EQ(Int64ToStr(0, true), "+0");
    EXPECT_EQ(Int64ToStr(0, false), "0");
    EXPECT_EQ(Int64ToStr(-7, true), "-7");
    EXPECT_EQ(Int64ToStr(15, true), "+15");
    EXPECT_EQ(Int64ToStr(1234567890123LL, false), "1234567890123");
    EXPECT_EQ(Int64ToStr(std::numeric_limits<int64_t>::min(), true), "-9223372036854775808");
    EXPECT_EQ(Int64ToStr(std::numeric_limits<int64_t>::max(), false), "9223372036854775807");

    struct Row {
        int32_t width;
        int64_t value;
        const char* expected;
    };
    const Row rows[] = {
        {4, -5, "00-5"}, {5, 42, "00042"}, {3, 12345, "12345"}, {0, 7, "7"}, {-3, 7, "7"}, {2, 0, "00"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Int64ToStrZeroPad(row.width, row.value), row.expected)
            << "width " << row.width << " value " << row.value;
    }
}

TEST(FloatToStrDecimals, FormatsTheSinglesExactValue)
{
    struct Row {
        int32_t decimals;
        float value;
        const char* expected;
    };
    const Row rows[] = {
        {-1, 2.5f, "2.5"},
        {-1, 3.0f, "3"},
        {2, 0.999f, "1.00"},
        {0, 2.5f, "2.0"}, // 0.5 rounds to the even 0
        {0, 3.5f, "3.0"}, // only the fraction rounds: 0.5 to the even 0
        {0, 0.5f, "0.0"},
        {0, 1.75f, "2.0"},
        {0, 2.7f, "3.0"},
        {3, -0.25f, "-0.250"},
        {-1, 1.1f, "1.10000002"}, // the single nearest 1.1 is 1.10000002384...
        {-1, 0.1f, "0.1"},
        {-1, 0.0f, "0"},
        {-1, -0.0f, "0"},
        {2, 0.0f, "0"},
        {2, -0.001f, "-0.00"},
        {1, 0.25f, "0.2"},
        {1, 0.75f, "0.8"},
        {-1, 123.456f, "123.45600128"},
        {-2, 1.5f, "1.50000000"}, // other negative counts use 8 digits, untrimmed
        {9, 1.5f, "1.500000000"},
        {12, 1.5f, "1.500000000"},    // more than 9 decimals: 9
        {2, 5.0e9f, "5000000000.00"}, // the integer part needs more than 32 bits
        {-1, -3.0e9f, "-3000000000"},
        {-1, 1.0e20f, "100000002004087734272"}, // a single this large is a whole number
        {-1, std::numeric_limits<float>::infinity(), "INF"},
        {-1, -std::numeric_limits<float>::infinity(), "-INF"},
        {-1, std::numeric_limits<float>::quiet_NaN(), "NAN"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FloatToStrDecimals(row.decimals, row.value), row.expected)
            << "decimals " << row.decimals << " value " << row.value;
    }
}

TEST(CaseHelpers, ChangeAsciiOnlySoUtf8Survives)
{
    EXPECT_EQ(UpperCaseStr("abc-XYZ 09"), "ABC-XYZ 09");
    EXPECT_EQ(LowerCaseStr("ABC-xyz 09"), "abc-xyz 09");
    // "Žluť" in UTF-8: only the ASCII letters change.
    EXPECT_EQ(UpperCaseStr("\xC5\xBDlu\xC5\xA5"), "\xC5\xBDLU\xC5\xA5");
    EXPECT_EQ(LowerCaseStr("\xC5\xBDLU\xC5\xA5"), "\xC5\xBDlu\xC5\xA5");
    EXPECT_EQ(LowerCaseWide(u"ABC \u0416\u0401 \u00C9"), u"abc \u0436\u0451 \u00E9");
}

TEST(TrimHelpers, CutControlCharactersAndBlanks)
{
    struct Row {
        std::string text;
        std::string expected;
    };
    const Row rows[] = {
        {"  a b  ", "a b"},
        {"\t\r\n x \x01\x1F", "x"},
        {"   ", ""},
        {"", ""},
        {"\xC3\xA9 ", "\xC3\xA9"}, // bytes above 127 are no control characters
        {std::string("\0a\0", 3), "a"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(TrimStr(row.text), row.expected) << "text '" << row.text << "'";
    }
    EXPECT_EQ(TrimWide(u"\t \u00A0x\u0416 \r"), u"\u00A0x\u0416");
    EXPECT_EQ(TrimWide(u" \x1F "), u"");
}

TEST(CopyTrimmed, CopiesTheRangeLessBlanksAtItsEnds)
{
    struct Row {
        const char* text;
        int32_t first;
        int32_t count;
        const char* expected;
    };
    const Row rows[] = {
        {"key = value ", 7, 6, "value"},
        {"key = value ", 1, 4, "key"},
        {"abc", 2, 100, "bc"},
        {"abc", 0, 2, "ab"}, // a position before the start counts from the first character
        {"abc", 4, 1, ""},
        {"abc", 2, 0, ""},
        {"abc", 2, -1, ""},
        {" \t\r\n", 1, 4, ""},
        {"a\x01 ", 1, 3, "a\x01"}, // only TAB, LF, CR and blank are cut
        {"", 1, 1, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CopyTrimmed(row.text, row.first, row.count), row.expected)
            << "text '" << row.text << "' first " << row.first << " count " << row.count;
    }
}

TEST(StripQuotes, RemovesOneQuoteAtEachEnd)
{
    struct Row {
        const char* text;
        const char* expected;
    };
    const Row rows[] = {
        {"\"x\"", "x"}, {"x\"", "x"}, {"\"x", "x"},           {"", ""},
        {"\"", ""},     {"\"\"", ""}, {"\"\"x\"\"", "\"x\""}, {"x", "x"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(StripQuotes(row.text), row.expected) << "text '" << row.text << "'";
    }
}

TEST(GetSeparatedField, CountsSeparatorsButNotALastOne)
{
    struct Row {
        const char* text;
        int32_t n;
        const char* expected;
    };
    const Row rows[] = {
        {"a,b,c", 2, "b"}, {"a,b,c", 3, "c"}, {"a,b,c", 4, ""}, {"a,b,c", 0, "a"}, {"a,b,c", -5, "a"},
        {"a,b,c", 1, "a"}, {"a,", 2, ""},     {"a,,b", 2, ""},  {"a,,b", 3, "b"},  {"", 1, ""},
        {",a", 1, ""},     {",a", 2, "a"},    {"abc", 2, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(GetSeparatedField(row.text, row.n, ','), row.expected) << "text '" << row.text << "' n " << row.n;
    }
}

TEST(ReplaceAll, CascadesUnlessNewContainsOld)
{
    struct Row {
        const char* text;
        const char* oldText;
        const char* newText;
        const char* expected;
    };
    const Row rows[] = {
        {"aab", "ab", "b", "b"}, // each search starts again at the front
        {"a-b-c", "-", "", "abc"},
        {"hello %1!", "%1", "world", "hello world!"},
        {"xyz", "q", "r", "xyz"},
        {"same", "a", "a", "same"},
        {"abc", "", "x", "abc"},
        // New contains old: one left-to-right pass, no endless loop.
        {"aXa", "a", "aa", "aaXaa"},
        {"abab", "ab", "xab", "xabxab"},
        {"%s %s", "%s", "[%s]", "[%s] [%s]"},
        {"", "a", "aa", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ReplaceAllStr(row.text, row.oldText, row.newText), row.expected)
            << "'" << row.text << "' '" << row.oldText << "' -> '" << row.newText << "'";
    }
    EXPECT_EQ(ReplaceAllWide(u"aab", u"ab", u"b"), u"b");
    EXPECT_EQ(ReplaceAllWide(u"\u0416X\u0416", u"\u0416", u"\u0416\u0416"), u"\u0416\u0416X\u0416\u0416");
    EXPECT_EQ(ReplaceAllWide(u"a\\nb", u"\\n", u"\n"), u"a\nb");
    EXPECT_EQ(ReplaceAllWide(u"same", u"m", u"m"), u"same");
}

TEST(WideDeleteInsert, LeaveTheTextAloneOutsideItsRange)
{
    struct DeleteRow {
        const char16_t* text;
        int32_t position;
        int32_t count;
        const char16_t* expected;
    };
    const DeleteRow deletes[] = {
        {u"abcdef", 2, 3, u"aef"},
        {u"abcdef", 5, 10, u"abcd"},
        {u"abcdef", 0, 1, u"abcdef"},
        {u"abcdef", 7, 1, u"abcdef"},
        {u"abcdef", 1, 0, u"abcdef"},
        {u"abcdef", 1, -2, u"abcdef"},
        {u"", 1, 1, u""},
        {u"abc", 1, 3, u""},
    };
    for (size_t i = 0; i < std::size(deletes); ++i) {
        const DeleteRow& row = deletes[i];
        EXPECT_EQ(WideDeleteStr(row.text, row.position, row.count), row.expected) << "delete row " << i;
    }
    struct InsertRow {
        const char16_t* inserted;
        const char16_t* text;
        int32_t position;
        const char16_t* expected;
    };
    const InsertRow inserts[] = {
        {u"XY", u"abc", 2, u"aXYbc"},  {u"XY", u"abc", 1, u"XYabc"}, {u"XY", u"abc", 4, u"abcXY"},
        {u"XY", u"abc", 99, u"abcXY"}, {u"XY", u"abc", 0, u"XYabc"}, {u"", u"abc", 2, u"abc"},
        {u"XY", u"", 1, u"XY"},
    };
    for (size_t i = 0; i < std::size(inserts); ++i) {
        const InsertRow& row = inserts[i];
        EXPECT_EQ(WideInsertStr(row.inserted, row.text, row.position), row.expected) << "insert row " << i;
    }
}

TEST(Split, DropsEmptyTokens)
{
    struct Row {
        std::string text;
        TStringArray expected;
    };
    const Row rows[] = {
        {"a: b\t\tc\n", {"a", "b", "c"}}, {"", {}}, {" \t\r\n::", {}}, {"one", {"one"}}, {":x:y:", {"x", "y"}},
        {"1,5 -2", {"1,5", "-2"}}, // the comma is no delimiter
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SplitToStringArray(row.text), row.expected) << "text '" << row.text << "'";
    }
    EXPECT_EQ(SplitToSingleArray("0.5 -0,75\t1.5e+2"), (TSingleArray{0.5f, -0.75f, 150.0f}));
    EXPECT_EQ(SplitToIntArray("1:2 -3 x4 y"), (TIntArray{1, 2, -3, 4, 0}));
    EXPECT_TRUE(SplitToIntArray("  ").empty());
}

TEST(CompareStrOrdinal, ComparesUnsignedBytesThenLengths)
{
    struct Row {
        const char* a;
        const char* b;
        int32_t expected;
    };
    const Row rows[] = {
        {"abc", "abc", 0}, {"abd", "abc", 1}, {"abc", "abd", -1},        {"ab", "abcd", -2},
        {"abcd", "a", 3},  {"", "", 0},       {"\xE9", "a", 0xE9 - 'a'}, {"A", "a", 'A' - 'a'},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CompareStrOrdinal(row.a, row.b), row.expected) << "'" << row.a << "' vs '" << row.b << "'";
    }
    EXPECT_EQ(PCharLength("hello"), 5);
    EXPECT_EQ(PCharLength(""), 0);
    EXPECT_EQ(PCharLength(nullptr), 0);
}

} // namespace

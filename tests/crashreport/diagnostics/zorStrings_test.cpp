#include "crashreport/diagnostics/zorStrings.h"

#include <gtest/gtest.h>

namespace {

TEST(ZorStrings, NumberTexts)
{
    struct Case {
        std::string got, want;
    };
    const Case cases[] = {
        {CardToHexTextA(0, 1, '0'), "$0"},
        {CardToHexTextA(0x1F, 8, '0'), "$0000001f"},
        {CardToHexTextA(0x1F, 4, ' '), "  $1f"},
        {CardToHexTextA(0x1F, -4, ' '), "$1f  "},
        {CardToHexTextA(0x1F, 4, 'F'), "$FF1f"},
        {CardToHexTextA(0xDEADBEEF), "$deadbeef"},
        {CardToHexTextA(0x12345678, 2, '0'), "$12345678"},
        {IntToHexTextA(0xFFFFFFFFu), "$ffffffff"},
        {Int64ToHexTextA((uint64_t(1) << 32) + 2), "$100000002"},
        {Int64ToHexTextA(0xFFFFFFFFFFFFFFFFull, 20, ' '), "    $ffffffffffffffff"},
        {IntToDecTextA(-5, -4, ' '), "-5  "},
        {IntToDecTextA(-5, 3, '0'), "-05"},
        {IntToDecTextA(-5, 3, ' '), " -5"},
        {IntToDecTextA(0), "0"},
        {IntToDecTextA(INT32_MIN), "-2147483648"},
        {CardToDecTextA(4294967295u, 12, '0'), "004294967295"},
        {Int64ToDecTextA(INT64_MIN), "-9223372036854775808"},
        {PadA("ab", 4, '.'), "..ab"},
        {PadA("ab", -4, '.'), "ab.."},
        {PadA("abcdef", 4, '.'), "abcdef"},
        {AddressTextA(0x55d0c0ffee), "00000055d0c0ffee"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.want);
    EXPECT_EQ(CardToHexTextW(0x1F, 4, u'0'), u"$001f");
    // A wide fill beyond Latin-1 is no hex digit: the "$" is padded too.
    EXPECT_EQ(CardToHexTextW(0x1F, 4, u'\x2007'), u"\x2007\x2007$1f");
    EXPECT_EQ(IntToDecTextW(-12, 5, u'0'), u"-0012");
    EXPECT_EQ(int(AddressTextW(1).size()), ZorAddressDigits);
}

TEST(ZorStrings, SizesTruncateToTwoDecimals)
{
    ASSERT_EQ(LocaleDecimalSeparator(), u'.'); // the tests run in the C locale
    const std::pair<int64_t, std::u16string> cases[] = {
        {0, u"0 Bytes"},       {1023, u"1023 Bytes"},
        {1024, u"1.00 KB"},    {1535, u"1.49 KB"},
        {1536, u"1.50 KB"},    {1048575, u"1023.99 KB"},
        {1048576, u"1.00 MB"}, {1073741824, u"1.00 GB"},
        {-2048, u"2.00 KB"},   {INT64_MIN, u"8589934592.00 GB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(SizeToTextW(bytes), text) << bytes;
}

TEST(ZorStrings, ErrorTexts)
{
    EXPECT_EQ(ErrorCodeTextA(2), "No such file or directory");
    EXPECT_EQ(ErrorCodeTextW(13), u"Permission denied");
    EXPECT_EQ(ErrorCodeTextA(0x1F4000), "System error $1f4000");
    EXPECT_EQ(ErrorCodeTextA(0xC0000005u), "System error $c0000005");
}

TEST(ZorStrings, Utf8Conversions)
{
    EXPECT_EQ(Utf8ToWide("\xC3\xA4"), u"\u00E4");
    EXPECT_EQ(Utf8ToWide("\xE4"), u"\u00E4"); // a lone lead byte reads as Latin-1
    EXPECT_EQ(Utf8ToWide("a\xE4z"), u"a\u00E4z");
    EXPECT_EQ(Utf8ToWide("\xE2\x82\xAC!"), u"\u20AC!");
    EXPECT_EQ(Utf8ToWide("\xE2\x82"), u"\u00E2\u0082");     // cut three-byte sequence
    EXPECT_EQ(Utf8ToWide(std::string("ab\0cd", 5)), u"ab"); // stops at 0
    EXPECT_EQ(Utf8ToWide(""), u"");
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(WideToUtf8(u"\u20AC"), "\xE2\x82\xAC");
    EXPECT_EQ(WideToUtf8(u"a\u00E4"), "a\xC3\xA4");
    EXPECT_EQ(WideToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(WideToUtf8(std::u16string(1, char16_t(0xD800))), "\xED\xA0\x80"); // lone half
    EXPECT_EQ(WideToUtf8(u""), "");
    const std::u16string mixed = u"Gr\u00FC\u00DFe \u0416 \u20AC \U0001F600";
    EXPECT_EQ(Utf8ToWide(WideToUtf8(mixed)), mixed);
    EXPECT_EQ(WideToAnsiTrunc(std::u16string(u"a\u0141b\0c", 5)), "aAb");
}

TEST(ZorStrings, PathParts)
{
    EXPECT_EQ(FileDrivePartW(u"\\\\server\\share\\dir\\file"), u"\\\\server\\share\\");
    EXPECT_EQ(FileDrivePartW(u"\\\\server\\share"), u"\\\\server\\share\\");
    EXPECT_EQ(FileDrivePartW(u"\\\\server"), u"\\\\server\\");
    EXPECT_EQ(FileDrivePartW(u"C:\\dir\\file"), u"C:\\");
    EXPECT_EQ(FileDrivePartW(u"dir\\file"), u"dir\\file");
    EXPECT_EQ(FileDrivePartW(u"x"), u"x");
    EXPECT_EQ(FileExtPartW(u"C:\\my.dir\\file"), u".dir\\file");
    EXPECT_EQ(FileExtPartW(u"C:\\dir\\file.txt"), u".txt");
    EXPECT_EQ(FileExtPartW(u"file"), u"");
    EXPECT_EQ(FileNamePartW(u"C:\\dir\\file.txt"), u"file.txt");
    EXPECT_EQ(FileNamePartW(u"/usr/lib/libc.so.6"), u"libc.so.6");
    EXPECT_EQ(FileNamePartW(u"plain"), u"plain");
    EXPECT_EQ(FilePathPartW(u"C:\\dir\\file.txt"), u"C:\\dir\\");
    EXPECT_EQ(FilePathPartW(u"/usr/lib/x"), u"/usr/lib/");
    EXPECT_EQ(FilePathPartW(u"plain"), u"");
    EXPECT_EQ(RightPartW(u"abcdef", 2), u"ef");
    EXPECT_EQ(RightPartW(u"ab", 5), u"ab");
    EXPECT_EQ(YesNoTextW(true) + YesNoTextW(false), u"+-");
}

TEST(ZorStrings, Identifiers)
{
    EXPECT_TRUE(IsIdentifierW(u"_a1", false));
    EXPECT_TRUE(IsIdentifierW(u"\u0416x", false));
    EXPECT_TRUE(IsIdentifierW(u"a..b.", true));
    EXPECT_FALSE(IsIdentifierW(u"a.b", false));
    EXPECT_FALSE(IsIdentifierW(u"1a", false));
    EXPECT_FALSE(IsIdentifierW(u".a", true));
    EXPECT_FALSE(IsIdentifierW(u"", true));
    EXPECT_FALSE(IsIdentifierW(u"a-b", true));
}

TEST(ZorStrings, Search)
{
    EXPECT_EQ(PosStrA("ab", "xxabxxab"), 3);
    EXPECT_EQ(PosStrA("ab", "xxabxxab", 0), 0);
    EXPECT_EQ(PosStrA("ab", "xxabxxab", 1, 0), 0);
    EXPECT_EQ(PosStrA("ab", "xxabxxab", 4), 7);
    EXPECT_EQ(PosStrA("ab", "xxabxxab", ZorEnd, 1), 7); // from > to: the last occurrence
    EXPECT_EQ(PosStrA("ab", "xxabxxab", 6, 1), 3);
    EXPECT_EQ(PosStrA("ab", "xxabxxab", 1, 2), 0);
    EXPECT_EQ(PosStrA("", "abc"), 0);
    EXPECT_EQ(PosStrA("abcd", "abc"), 0);
    EXPECT_EQ(PosStrA("AB", "xxab"), 0);
    EXPECT_EQ(PosTextA("AB", "xxab"), 3);
    EXPECT_EQ(PosTextA("\xC4", "x\xE4"), 2);            // Windows-1252 folding
    EXPECT_EQ(PosTextW(u"\u0416", u"\u0436\u0416"), 2); // beyond Latin-1: exact
    EXPECT_EQ(PosStrW(u"b", u"abcb", ZorEnd, 0), 0);

    const TZorCharSet blanks(" \t");
    EXPECT_EQ(PosNotCharSetW(blanks, u"  x y "), 3);
    EXPECT_EQ(PosNotCharSetW(blanks, u"  x y ", ZorEnd, 1), 5);
    EXPECT_EQ(PosNotCharSetW(blanks, u"   "), 0);
    EXPECT_EQ(PosNotCharSetW(blanks, u""), 0);
    EXPECT_EQ(PosCharSetW(blanks, u"ab c\td", 1, ZorEnd), 3);
    EXPECT_EQ(PosCharSetW(blanks, u"ab c\td", ZorEnd, 1), 5);
    EXPECT_EQ(PosCharSetA(TZorCharSet("\xE4"), "ab\xE4"), 3);
    EXPECT_EQ(PosCharSetW(TZorCharSet("\x16"), u"\u0416"), 0); // only units below 256 are members

    EXPECT_TRUE(StartsWithA("", "abc"));
    EXPECT_TRUE(StartsWithW(u"ab", u"abc"));
    EXPECT_FALSE(StartsWithW(u"AB", u"abc"));
    EXPECT_TRUE(StartsWithTextW(u"AB", u"abc"));
    EXPECT_FALSE(StartsWithTextW(u"abcd", u"abc"));
}

TEST(ZorStrings, ReplaceAndRemove)
{
    struct Case {
        std::u16string text, sub, replacement;
        bool ignoreCase, rescan;
        std::u16string want;
        bool found;
    };
    const Case cases[] = {
        {u"a    b", u"  ", u" ", false, true, u"a b", true},
        {u"a    b", u"  ", u" ", false, false, u"a  b", true},
        {u"aXbxc", u"x", u"-", true, false, u"a-b-c", true},
        {u"aXbxc", u"x", u"-", false, false, u"aXb-c", true},
        {u"abc", u"z", u"-", false, true, u"abc", false},
        // The replacement holds the searched text: one pass, not an endless loop.
        {u"a.b", u".", u"..", false, true, u"a..b", true},
        {u"abbb", u"ab", u"a", false, true, u"a", true},
        {u"xaab", u"ab", u"b", false, true, u"xab", true}, // resumes at the inserted text, not before it
        {u"", u"a", u"b", false, false, u"", false},
        {u"abc", u"", u"b", false, false, u"abc", false},
    };
    for (const Case& c : cases) {
        std::u16string text = c.text;
        EXPECT_EQ(ReplaceInW(text, c.sub, c.replacement, c.ignoreCase, c.rescan), c.found);
        EXPECT_EQ(text, c.want);
    }
    std::string ansi = "Hello HELLO";
    EXPECT_TRUE(ReplaceTextA(ansi, "hello", "bye"));
    EXPECT_EQ(ansi, "bye bye");

    std::u16string w = u"a-b-c";
    EXPECT_TRUE(RemoveCharW(w, u'-'));
    EXPECT_EQ(w, u"abc");
    EXPECT_FALSE(RemoveCharW(w, u'-'));
    w = u"a1b22c";
    EXPECT_TRUE(RemoveCharSetW(w, TZorCharSet::Range('0', '9')));
    EXPECT_EQ(w, u"abc");
    w = u"aaaa";
    EXPECT_TRUE(RemoveTextW(w, u"aaa"));
    EXPECT_EQ(w, u"a");
}

TEST(ZorStrings, EditingAndCase)
{
    EXPECT_EQ(DeletedW(u"abcdef", 2, 3), u"aef");
    EXPECT_EQ(DeletedW(u"abcdef", 5, ZorEnd), u"abcd");
    EXPECT_EQ(DeletedA("abc", 0, 2), "abc");
    EXPECT_EQ(DeletedA("abc", 4, 2), "abc");
    std::u16string w = u"abcdef";
    KeepRangeW(w, 2, 3);
    EXPECT_EQ(w, u"bcd");
    std::string a = "abcdef";
    KeepRangeA(a, 4, ZorEnd);
    EXPECT_EQ(a, "def");
    a = "abc";
    KeepRangeA(a, 9, 1);
    EXPECT_EQ(a, "");

    w = u"\t x y \r\n";
    TrimW(w);
    EXPECT_EQ(w, u"x y");
    EXPECT_EQ(TrimCopyA(" \x01 "), "");
    EXPECT_EQ(TrimCopyW(u"\u2003x\u2003"), u"\u2003x\u2003"); // only codes 0..32 go

    EXPECT_EQ(UpStrA("ab\xE4\xE5z"), "AB\xC4\xE5Z");
    EXPECT_EQ(UpCharA('\xFC'), '\xDC');
    EXPECT_EQ(UpStrW(u"a\u00F6\u0436"), u"A\u00D6\u0436");
    EXPECT_EQ(LowStrW(u"AB\u00C4\u00C5"), u"ab\u00E4\u00C5");
    EXPECT_EQ(LowCharW(u'\u00C5'), u'\u00E5');
    EXPECT_EQ(LowCharW(0x9F), 0xFF);
    EXPECT_EQ(LowCharW(0xD7), 0xD7); // the multiplication sign has no case
    EXPECT_EQ(LowCharW(u'\u0416'), u'\u0416');
    EXPECT_TRUE(SameTextA("Stra\xC4", "sTRA\xE4"));
    EXPECT_FALSE(SameTextA("ab", "abc"));
    EXPECT_TRUE(SameTextW(u"\u0416a", u"\u0416A"));
    EXPECT_FALSE(SameTextW(u"\u0416", u"\u0436"));
    EXPECT_FALSE(SameTextW(std::u16string(1, char16_t(0x116)), u"\x16"));
}

TEST(ZorStrings, DigitsToInt)
{
    EXPECT_EQ(DigitsToIntA(false, "1234", 4), 1234);
    EXPECT_EQ(DigitsToIntA(false, "-42", 3), -42);
    EXPECT_EQ(DigitsToIntA(true, "1F", 2), 31);
    EXPECT_EQ(DigitsToIntA(true, "ffffffff", 8), -1);
    EXPECT_EQ(DigitsToIntA(false, "1A", 2), 20); // no checks: "A" counts 10
    EXPECT_EQ(DigitsToIntA(false, "1x", 2), 10);
    EXPECT_EQ(DigitsToIntA(false, "12345", 2), 12);
    EXPECT_EQ(DigitsToIntA(false, nullptr, 3), 0);
    EXPECT_EQ(DigitsToIntW(true, u"\u0131f", 2), 0x1f); // the low byte of 0x131 is "1"
}

TEST(ZorStrings, Lists)
{
    const std::pair<std::u16string, std::u16string> tidy[] = {
        {u" , a ,, b ,", u"a,b"},      {u"a b,c", u"a b,c"}, {u" ,, ", u""}, {u"", u""}, {u"a", u"a"},
        {u"a\t,\t\tb , ,c", u"a,b,c"},
    };
    for (const auto& [list, want] : tidy) {
        std::u16string text = list;
        TidyItemsW(text, u',');
        EXPECT_EQ(text, want);
    }
    EXPECT_EQ(ItemCountW(u"", u','), 0);
    EXPECT_EQ(ItemCountW(u"a,,b", u','), 3);
    EXPECT_EQ(ItemCountA("a", ','), 1);
    EXPECT_EQ(ItemW(u"a,bb,c", 2, u','), u"bb");
    EXPECT_EQ(ItemW(u"a,bb,c", 3, u','), u"c");
    EXPECT_EQ(ItemW(u"a,bb,c", 4, u','), u"");
    EXPECT_EQ(ItemW(u"a,bb,c", 0, u','), u"");
    EXPECT_EQ(ItemA("a,,c", 2, ','), "");
    EXPECT_TRUE(HasItemTextW(u"modules|Processes", u"processes", u'|'));
    EXPECT_FALSE(HasItemW(u"modules|Processes", u"processes", u'|'));
    EXPECT_TRUE(HasItemW(u"ab|b", u"b", u'|'));
    EXPECT_FALSE(HasItemW(u"ab|bc", u"b", u'|'));
    EXPECT_FALSE(HasItemW(u"a||b", u"", u'|'));
    EXPECT_EQ(SplitLinesA("a\r\n\nb"), (TDAAnsiString{"a\r", "", "b"}));
    EXPECT_EQ(SplitLinesA("a\n"), TDAAnsiString{"a"});
    EXPECT_EQ(SplitLinesA(""), TDAAnsiString{});
}

TEST(ZorStrings, ExceptionCarriesItsMessage)
{
    try {
        throw CreateZorException("broken");
    } catch (const ZorException& e) {
        EXPECT_STREQ(e.what(), "broken");
        EXPECT_EQ(e.Code, 0);
    }
}

} // namespace

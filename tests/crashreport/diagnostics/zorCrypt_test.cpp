#include "crashreport/diagnostics/zorCrypt.h"

#include <gtest/gtest.h>

#include "crashreport/diagnostics/zorStrings.h"
#include "tests/crashreport/ZorTestSupport.h"

namespace {

std::string Blocks(std::string data, const std::string& key, bool forward, bool legacy, uint32_t c1 = 0,
                   uint32_t c2 = 0)
{
    BlowfishCipherBlocks(data.data(), data.size(), forward, legacy, c1, c2, key);
    return data;
}

TEST(ZorCrypt, PublishedVectors)
{
    const std::string zero(8, '\0');
    const std::string ones(8, '\xFF');
    EXPECT_EQ(Blocks(zero, zero, true, false), Bytes({0x4E, 0xF9, 0x97, 0x45, 0x61, 0x98, 0xDD, 0x78}));
    EXPECT_EQ(Blocks(ones, ones, true, false), Bytes({0x51, 0x86, 0x6F, 0xD5, 0xB8, 0x5E, 0xCB, 0x8A}));
    // Legacy: the same cipher on little-endian words, right half first.
    EXPECT_EQ(Blocks(zero, zero, true, true), Bytes({0x78, 0xDD, 0x98, 0x61, 0x45, 0x97, 0xF9, 0x4E}));
    EXPECT_EQ(Blocks(Blocks(ones, "key", true, false), "key", false, false), ones);
    std::string legacy = "legacy text 16 b";
    BlowfishLegacyEncrypt(legacy, "k");
    EXPECT_NE(legacy, "legacy text 16 b");
    BlowfishLegacyDecrypt(legacy, "k");
    EXPECT_EQ(legacy, "legacy text 16 b");
}

TEST(ZorCrypt, CounterMode)
{
    const std::string text = "twelve bytes";
    const std::string once = Blocks(text, "secret", true, false, 0x1234, 0);
    EXPECT_NE(once.substr(0, 8), text.substr(0, 8));
    EXPECT_EQ(once.substr(8), "ytes"); // a partial block stays as it is
    EXPECT_EQ(Blocks(once, "secret", true, false, 0x1234, 0), text);
    EXPECT_EQ(Blocks(once, "secret", false, false, 0x1234, 0), text); // both directions agree

    // The counter is the start values' little-endian bytes counted up as one
    // big-endian number before each block: start (0, 0xFFFFFFFF) carries into
    // the first value's last byte, so block 1 is the cipher of 00 00 00 01 00 00 00 00.
    const std::string zeros(16, '\0');
    const std::string stream = Blocks(zeros, "k", true, false, 0, 0xFFFFFFFF);
    EXPECT_EQ(stream.substr(0, 8), Blocks(Bytes({0, 0, 0, 1, 0, 0, 0, 0}), "k", true, false));
    EXPECT_EQ(stream.substr(8, 8), Blocks(Bytes({0, 0, 0, 1, 0, 0, 0, 1}), "k", true, false));
    const std::string first = Blocks(zeros, "k", true, false, 0x04030201, 0x08070605);
    EXPECT_EQ(first.substr(0, 8), Blocks(Bytes({1, 2, 3, 4, 5, 6, 7, 9}), "k", true, false));
    // An empty key is a key like any other.
    EXPECT_EQ(Blocks(Blocks(text, "", true, false), "", false, false), text);
}

TEST(ZorCrypt, DecryptStrRemovesPadding)
{
    const std::string key = "pad key";
    struct Case {
        std::string plain, want;
    };
    const Case cases[] = {
        {"abcde" + Bytes({3, 3, 3}), "abcde"},
        {"abcdefg" + Bytes({9}), "abcdefg" + Bytes({9})},
        {"abcdefg" + Bytes({0}), "abcdefg" + Bytes({0})},
        {"abcde" + Bytes({1, 3, 3}), "abcde" + Bytes({1, 3, 3})},
        {Bytes({8, 8, 8, 8, 8, 8, 8, 8}), ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string text = Blocks(c.plain, key, true, false);
        BlowfishDecryptStr(text, key, 0, 0);
        EXPECT_EQ(text, c.want);
    }
    // Shorter than its last byte: nothing to remove. Counter mode leaves the
    // two bytes of a partial block as they are.
    std::string shortText = Bytes({5, 5});
    BlowfishDecryptStr(shortText, key, 7, 0);
    EXPECT_EQ(shortText, Bytes({5, 5}));
}

TEST(ZorCrypt, Base64)
{
    const std::pair<std::string, std::string> pairs[] = {
        {"", ""}, {std::string(1, '\0'), "AA=="}, {"ab", "YWI="}, {"abc", "YWJj"}, {"\xFB\xFF", "+/8="},
    };
    for (const auto& [plain, coded] : pairs) {
        EXPECT_EQ(Base64EncodeStr(plain), coded);
        EXPECT_EQ(Base64DecodeStr(coded), plain);
    }
    const std::pair<std::string, std::string> decodes[] = {
        {"YWJjZ", ""},        // not a multiple of 4
        {"YWJjYQ==", "abca"}, // padding in the last group
        {"YW=jYWJj", "a"},    // "=" in the third place ends the bytes
        {"====", ""},         // first place: no byte, not a zero byte
        {"Y===", ""},         // second place: no byte
        {"YWJ!YWJj", "ab"},   // any character outside the alphabet ends them
        {"YWJj\nYWJ", "abc"},
    };
    for (const auto& [coded, plain] : decodes)
        EXPECT_EQ(Base64DecodeStr(coded), plain) << coded;
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    EXPECT_EQ(Base64EncodeStr(all).size(), 4 * (all.size() + 2) / 3);
    EXPECT_EQ(Base64DecodeStr(Base64EncodeStr(all)), all);
}

// The inverse path, as a settings tool would store a password: each layer
// padded to whole blocks, so that deciphering removes the padding again.
TEST(ZorCrypt, StoredPasswords)
{
    const std::u16string password = u"p\u00E4ss w\u20ACrd";
    const std::u16string account = u"J\u00FCrgen \u0416";
    const std::u16string stored = EncipherForTest(password, account, "smtp.example.org");
    EXPECT_EQ(DecipherStoredPassword(stored, account, "smtp.example.org"), password);
    EXPECT_NE(DecipherStoredPassword(stored, u"Jurgen \u0416", "smtp.example.org"), password);
    EXPECT_NE(DecipherStoredPassword(stored, account, "smtp.example.com"), password);
    EXPECT_EQ(DecipherStoredPassword(u"", account, "s"), u"");
    EXPECT_EQ(DecipherStoredPassword(EncipherForTest(u"", u"", ""), u"", ""), u"");
}

} // namespace

// zorCrypt: Blowfish modes over libcrypto's block function, and Base64.
#include "crashreport/diagnostics/zorCrypt.h"

#include <algorithm>

// The plain Blowfish block function is all we take from libcrypto; its
// higher-level cipher would need the legacy provider.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include "crashreport/diagnostics/zorStrings.h"

namespace {

uint32_t ReadBE(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

void WriteBE(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

uint32_t ReadLE(const uint8_t* p)
{
    return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 |
           p[0];
}

void WriteLE(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void MakeKey(BF_KEY& schedule, const std::string& key)
{
    // An empty key would have the schedule read past it; xoring the P-array
    // with nothing is what one zero byte does.
    static const unsigned char none = 0;
    if (key.empty())
        BF_set_key(&schedule, 1, &none);
    else
        BF_set_key(&schedule, static_cast<int>(std::min<size_t>(key.size(), 72)),
                   reinterpret_cast<const unsigned char*>(key.data()));
}

void Cipher(uint32_t& left, uint32_t& right, const BF_KEY& schedule, bool forward)
{
    BF_LONG halves[2] = {left, right};
    if (forward)
        BF_encrypt(halves, &schedule);
    else
        BF_decrypt(halves, &schedule);
    left = halves[0];
    right = halves[1];
}

} // namespace

void BlowfishCipherBlocks(void* buffer, size_t length, bool forward, bool legacy, uint32_t counterStart1,
                          uint32_t counterStart2, const std::string& key)
{
    const size_t blocks = length / 8;
    if (blocks == 0 || buffer == nullptr)
        return;
    BF_KEY schedule;
    MakeKey(schedule, key);
    auto* bytes = static_cast<uint8_t*>(buffer);
    if (counterStart1 != 0 || counterStart2 != 0) {
        uint8_t counter[8];
        WriteLE(counter, counterStart1);
        WriteLE(counter + 4, counterStart2);
        for (size_t b = 0; b < blocks; ++b) {
            for (int i = 7; i >= 0 && ++counter[i] == 0; --i) {
            }
            uint32_t left = ReadBE(counter);
            uint32_t right = ReadBE(counter + 4);
            Cipher(left, right, schedule, true);
            uint8_t stream[8];
            WriteBE(stream, left);
            WriteBE(stream + 4, right);
            for (int i = 0; i < 8; ++i)
                bytes[b * 8 + i] ^= stream[i];
        }
        return;
    }
    for (size_t b = 0; b < blocks; ++b) {
        uint8_t* block = bytes + b * 8;
        if (legacy) {
            uint32_t left = ReadLE(block + 4);
            uint32_t right = ReadLE(block);
            Cipher(left, right, schedule, forward);
            WriteLE(block + 4, left);
            WriteLE(block, right);
        } else {
            uint32_t left = ReadBE(block);
            uint32_t right = ReadBE(block + 4);
            Cipher(left, right, schedule, forward);
            WriteBE(block, left);
            WriteBE(block + 4, right);
        }
    }
}

void BlowfishDecryptStr(std::string& text, const std::string& key, uint32_t counterStart1, uint32_t counterStart2)
{
    if (text.empty())
        return;
    const bool counter = counterStart1 != 0 || counterStart2 != 0;
    BlowfishCipherBlocks(text.data(), text.size(), counter, false, counterStart1, counterStart2, key);
    const size_t n = static_cast<unsigned char>(text.back());
    if (n < 1 || n > 8 || n > text.size())
        return;
    for (size_t i = text.size() - n; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) != n)
            return;
    text.resize(text.size() - n);
}

void BlowfishLegacyEncrypt(std::string& text, const std::string& key)
{
    BlowfishCipherBlocks(text.data(), text.size(), true, true, 0, 0, key);
}

void BlowfishLegacyDecrypt(std::string& text, const std::string& key)
{
    BlowfishCipherBlocks(text.data(), text.size(), false, true, 0, 0, key);
}

std::u16string DecipherStoredPassword(const std::u16string& stored, const std::u16string& account,
                                      const std::string& server)
{
    std::string bytes = Base64DecodeStr(WideToAnsiTrunc(stored));
    BlowfishDecryptStr(bytes, server, StoredPasswordServerCounter, 0);
    BlowfishDecryptStr(bytes, WideToUtf8(account), StoredPasswordAccountCounter, 0);
    return Utf8ToWide(bytes);
}

// ---------------------------------------------------------------------------
// Base64

namespace {

const char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

std::string Base64EncodeBuf(const void* bytes, size_t length)
{
    std::string out;
    if (length == 0 || bytes == nullptr)
        return out;
    const auto* in = static_cast<const uint8_t*>(bytes);
    out.reserve((length + 2) / 3 * 4);
    for (size_t i = 0; i < length; i += 3) {
        const size_t left = length - i;
        const uint32_t group =
            static_cast<uint32_t>(in[i]) << 16 | (left > 1 ? in[i + 1] << 8 : 0) | (left > 2 ? in[i + 2] : 0);
        out.push_back(Alphabet[group >> 18]);
        out.push_back(Alphabet[(group >> 12) & 63]);
        out.push_back(left > 1 ? Alphabet[(group >> 6) & 63] : '=');
        out.push_back(left > 2 ? Alphabet[group & 63] : '=');
    }
    return out;
}

std::string Base64EncodeStr(const std::string& bytes)
{
    return Base64EncodeBuf(bytes.data(), bytes.size());
}

std::string Base64DecodeBuf(const char* text, size_t length)
{
    std::string out;
    if (text == nullptr || length == 0 || length % 4 != 0)
        return out;
    out.reserve(length / 4 * 3);
    for (size_t i = 0; i < length; i += 4) {
        uint32_t group = 0;
        for (int k = 0; k < 4; ++k) {
            const int value = ValueOf(text[i + k]);
            if (value < 0) {
                // The bytes complete so far, then the end.
                if (k >= 2)
                    out.push_back(static_cast<char>(group >> (6 * k - 8)));
                if (k == 3)
                    out.push_back(static_cast<char>((group >> 2) & 0xFF));
                return out;
            }
            group = group << 6 | static_cast<uint32_t>(value);
        }
        out.push_back(static_cast<char>(group >> 16));
        out.push_back(static_cast<char>((group >> 8) & 0xFF));
        out.push_back(static_cast<char>(group & 0xFF));
    }
    return out;
}

std::string Base64DecodeStr(const std::string& text)
{
    return Base64DecodeBuf(text.data(), text.size());
}

// Helpers the crash reporter's tests share.
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "crashreport/diagnostics/zorCrypt.h"
#include "crashreport/diagnostics/zorStrings.h"
#include "crashreport/diagnostics/zorZip.h"

// The CRC-32 of zip archives of the bytes.
// Bytes from their values, for binary fixtures written inline.
inline std::string Bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

inline uint32_t Crc(const std::string& bytes)
{
    return ~ZipCrc32Update(0xFFFFFFFFu, bytes.data(), bytes.size());
}

// The path with every link resolved; empty when it doesn't exist.
inline std::string RealPathOf(const std::string& path)
{
    char* real = realpath(path.c_str(), nullptr);
    std::string result = real ? real : "";
    free(real);
    return result;
}

// A settings password as the reporter stores it: padded and enciphered keyed
// by the account, padded again and enciphered keyed by the server, Base64.
inline std::u16string EncipherForTest(const std::u16string& password, const std::u16string& account,
                                      const std::string& server)
{
    auto padded = [](std::string text) {
        const size_t n = 8 - text.size() % 8;
        return text + std::string(n, static_cast<char>(n));
    };
    std::string bytes = padded(WideToUtf8(password));
    BlowfishCipherBlocks(bytes.data(), bytes.size(), true, false, StoredPasswordAccountCounter, 0, WideToUtf8(account));
    bytes = padded(bytes);
    BlowfishCipherBlocks(bytes.data(), bytes.size(), true, false, StoredPasswordServerCounter, 0, server);
    return Utf8ToWide(Base64EncodeStr(bytes));
}

// zorCrypt: the Blowfish block cipher in the three block modes the reporter
// needs, the deciphering of passwords kept in the reporter's settings, and
// Base64 (the standard alphabet, "=" padding, no line breaks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Enciphers or deciphers the whole 8-byte blocks of the buffer in place; the
// bytes of a last partial block stay as they are. A new key schedule is made
// for every call. Modes:
// - counter (a start value not 0): the counter is the two start values'
//   bytes, little-endian, one after the other; before each block it counts
//   up as one big-endian 64-bit number and its cipher (big-endian halves) is
//   xored into the block. Both directions are the same.
// - standard (no start value): blocks as two big-endian halves;
// - legacy (no start value, legacy set): blocks as two little-endian words,
//   the second the left half.
void BlowfishCipherBlocks(void* buffer, size_t length, bool forward, bool legacy, uint32_t counterStart1,
                          uint32_t counterStart2, const std::string& key);
// Deciphers (counter mode with a start value, else standard mode backwards)
// and removes padding: a last byte n of 1..8 whose last n bytes all equal n.
void BlowfishDecryptStr(std::string& text, const std::string& key, uint32_t counterStart1, uint32_t counterStart2);
void BlowfishLegacyEncrypt(std::string& text, const std::string& key);
void BlowfishLegacyDecrypt(std::string& text, const std::string& key);

// The counter start values of stored passwords (their second halves are 0).
// Passwords stored with other values can't be read.
constexpr uint32_t StoredPasswordServerCounter = 0x7A6F7231;
constexpr uint32_t StoredPasswordAccountCounter = 0x7A6F7232;
// A settings password: Base64, deciphered keyed by the server name, then by
// the account's UTF-8 bytes, then read as UTF-8.
std::u16string DecipherStoredPassword(const std::u16string& stored, const std::u16string& account,
                                      const std::string& server);

std::string Base64EncodeBuf(const void* bytes, size_t length);
std::string Base64EncodeStr(const std::string& bytes);
// Empty for a text whose length is 0 or no multiple of 4. A character outside
// the alphabet ("=") ends the bytes: in the fourth place of a group the group
// gives 2 bytes, in the third 1, in the first two none.
std::string Base64DecodeBuf(const char* text, size_t length);
std::string Base64DecodeStr(const std::string& text);

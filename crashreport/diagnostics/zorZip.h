// zorZip: CRC-32, whole-buffer raw deflate and inflate, the checked
// decompression of a text that carries its length and checksum in front, and
// a writer that packs files into a new .zip archive for report delivery.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/diagnostics/zorTypes.h"

// The standard CRC-32 (reflected polynomial 0xEDB88320). Callers start with
// all bits set and invert the result; the running value is not inverted here.
uint32_t ZipCrc32Update(uint32_t crc, const void* buffer, size_t length);

// A destination this large always takes the compressed source.
int64_t DeflateBound(int64_t sourceLength);
// Raw deflate streams (no zlib header or trailer, 32 KB window). Deflate
// returns the bytes written, 0 or less on failure; inflate returns the bytes
// written (at most the capacity), -1 for a damaged or cut stream.
int32_t DeflateBuffer(const void* source, void* destination, int32_t sourceLength, int32_t destinationCapacity);
int32_t InflateBuffer(const void* source, void* destination, int32_t sourceLength, int32_t destinationCapacity);

// Bytes 0..3 the unpacked length (little-endian), 8..11 its CRC-32, the raw
// deflate stream from byte 12 on. Empty when the text is 12 bytes or fewer,
// doesn't inflate, or its CRC differs; an announced length above 64 times the
// packed size or above 256 MiB is refused as damaged, never allocated.
std::string InflateChecked(const std::string& packed);
constexpr uint32_t InflateCheckedMaxLength = 256u << 20;

// Packs sources[0..lastIndex] into a new archive (replacing a file of that
// name). Member i is named memberNames[i] when given, else after its source's
// file name; names are stored in UTF-8. A source that can't be read is left
// out. False, and no archive left behind, when a write fails or no member
// was written.
bool WriteZipArchive(const std::u16string& archivePath, const TDAUnicodeString& sources, int32_t lastIndex,
                     const TDAUnicodeString& memberNames);

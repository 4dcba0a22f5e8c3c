// zorZip: CRC-32, raw deflate/inflate over zlib and the zip writer.
#include "crashreport/diagnostics/zorZip.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"

uint32_t ZipCrc32Update(uint32_t crc, const void* buffer, size_t length)
{
    // zlib inverts on the way in and out; this routine leaves that to callers.
    return ~static_cast<uint32_t>(crc32_z(~crc & 0xFFFFFFFFu, static_cast<const Bytef*>(buffer), length));
}

int64_t DeflateBound(int64_t sourceLength)
{
    return sourceLength * 11 / 10 + 12;
}

int32_t DeflateBuffer(const void* source, void* destination, int32_t sourceLength, int32_t destinationCapacity)
{
    if (sourceLength < 0 || destinationCapacity <= 0 || destination == nullptr ||
        (source == nullptr && sourceLength > 0))
        return -1;
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return -1;
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(source));
    stream.avail_in = static_cast<uInt>(sourceLength);
    stream.next_out = static_cast<Bytef*>(destination);
    stream.avail_out = static_cast<uInt>(destinationCapacity);
    const int result = deflate(&stream, Z_FINISH);
    const int32_t written = result == Z_STREAM_END ? static_cast<int32_t>(stream.total_out) : -1;
    deflateEnd(&stream);
    return written;
}

int32_t InflateBuffer(const void* source, void* destination, int32_t sourceLength, int32_t destinationCapacity)
{
    if (sourceLength <= 0 || source == nullptr || destinationCapacity < 0 ||
        (destination == nullptr && destinationCapacity > 0))
        return -1;
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK)
        return -1;
    Bytef spare = 0; // zlib wants somewhere to write even when nothing fits
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(source));
    stream.avail_in = static_cast<uInt>(sourceLength);
    stream.next_out = destinationCapacity > 0 ? static_cast<Bytef*>(destination) : &spare;
    stream.avail_out = static_cast<uInt>(destinationCapacity);
    const int result = inflate(&stream, Z_FINISH);
    // Done, or the destination is full: what was asked for is there.
    const bool whole = result == Z_STREAM_END || (result == Z_BUF_ERROR && stream.avail_out == 0);
    const int32_t written = whole ? static_cast<int32_t>(stream.total_out) : -1;
    inflateEnd(&stream);
    return written;
}

namespace {

uint32_t ReadLE32(const std::string& bytes, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

} // namespace

std::string InflateChecked(const std::string& packed)
{
    if (packed.size() <= 12)
        return "";
    const uint32_t length = ReadLE32(packed, 0);
    const uint32_t crc = ReadLE32(packed, 8);
    const size_t compressed = packed.size() - 12;
    // The length comes from the file: deflate packs at most about 1032 to 1,
    // and nothing the reporter packs comes near these bounds.
    if (length == 0 || length > InflateCheckedMaxLength ||
        static_cast<uint64_t>(length) > 64 * static_cast<uint64_t>(compressed) || compressed > INT32_MAX)
        return "";
    std::string out;
    try {
        out.resize(length);
    } catch (const std::bad_alloc&) {
        return "";
    }
    const int32_t produced =
        InflateBuffer(packed.data() + 12, out.data(), static_cast<int32_t>(compressed), static_cast<int32_t>(length));
    if (produced <= 0)
        return "";
    out.resize(static_cast<size_t>(produced));
    if (~ZipCrc32Update(0xFFFFFFFFu, out.data(), out.size()) != crc)
        return "";
    return out;
}

// ---------------------------------------------------------------------------
// Zip writer

namespace {

void PutLE(std::string& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool WriteAll(int fd, const std::string& bytes)
{
    return OS_WriteFile(fd, bytes.data(), static_cast<int64_t>(bytes.size())) == static_cast<int64_t>(bytes.size());
}

// A whole regular file; false when it can't be opened, had or read completely.
bool ReadSource(const std::string& path, std::string& bytes, time_t& writeTime)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 && DeflateBound(st.st_size) <= INT32_MAX;
    if (ok) {
        writeTime = st.st_mtime;
        try {
            bytes.resize(static_cast<size_t>(st.st_size));
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    ok = ok && OS_ReadFile(fd, bytes.data(), static_cast<int64_t>(bytes.size())) == static_cast<int64_t>(bytes.size());
    close(fd);
    return ok;
}

// DOS date and time of a moment in local time; before 1980, which DOS can't
// write, becomes its first day.
void DosDateTime(time_t moment, uint16_t& date, uint16_t& time)
{
    tm local{};
    if (localtime_r(&moment, &local) == nullptr || local.tm_year < 80) {
        date = (1 << 5) | 1;
        time = 0;
        return;
    }
    const int year = std::min(local.tm_year - 80, 127);
    date = static_cast<uint16_t>(year << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    time = static_cast<uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
}

struct TCentralEntry {
    std::string Shared; // the 24 bytes from "version needed" to "name length"
    uint32_t Offset = 0;
    std::string Name;
};

} // namespace

bool WriteZipArchive(const std::u16string& archivePath, const TDAUnicodeString& sources, int32_t lastIndex,
                     const TDAUnicodeString& memberNames)
{
    const std::string target = WideToUtf8(archivePath);
    if (target.empty())
        return false;
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;

    std::vector<TCentralEntry> entries;
    uint64_t position = 0;
    bool ok = true;
    const int64_t last = std::min<int64_t>(lastIndex, static_cast<int64_t>(sources.size()) - 1);
    for (int64_t i = 0; ok && i <= last; ++i) {
        const size_t index = static_cast<size_t>(i);
        const std::string name =
            WideToUtf8(index < memberNames.size() ? memberNames[index] : FileNamePartW(sources[index]));
        std::string data;
        time_t writeTime = 0;
        if (name.size() > 0xFFFF || !ReadSource(WideToUtf8(sources[index]), data, writeTime))
            continue;
        std::string packed;
        int32_t packedSize = -1;
        try {
            packed.resize(static_cast<size_t>(DeflateBound(static_cast<int64_t>(data.size()))));
            packedSize = DeflateBuffer(data.data(), packed.data(), static_cast<int32_t>(data.size()),
                                       static_cast<int32_t>(packed.size()));
        } catch (const std::bad_alloc&) {
        }
        if (packedSize < 0)
            continue;
        packed.resize(static_cast<size_t>(packedSize));

        uint16_t dosDate = 0;
        uint16_t dosTime = 0;
        DosDateTime(writeTime, dosDate, dosTime);
        TCentralEntry entry;
        PutLE(entry.Shared, 20, 2);     // version needed
        PutLE(entry.Shared, 0x0800, 2); // names in UTF-8
        PutLE(entry.Shared, 8, 2);      // deflate
        PutLE(entry.Shared, dosTime, 2);
        PutLE(entry.Shared, dosDate, 2);
        PutLE(entry.Shared, ~ZipCrc32Update(0xFFFFFFFFu, data.data(), data.size()), 4);
        PutLE(entry.Shared, static_cast<uint32_t>(packed.size()), 4);
        PutLE(entry.Shared, static_cast<uint32_t>(data.size()), 4);
        PutLE(entry.Shared, static_cast<uint32_t>(name.size()), 2);
        entry.Name = name;

        std::string local;
        PutLE(local, 0x04034B50, 4);
        local += entry.Shared;
        PutLE(local, 0, 2); // extra length
        local += name;
        // Offsets and the member count are 16 and 32 bits wide in this format.
        if (position + local.size() + packed.size() > 0xFFFFFFFFu || entries.size() == 0xFFFF) {
            ok = false;
            break;
        }
        entry.Offset = static_cast<uint32_t>(position);
        ok = WriteAll(fd, local) && WriteAll(fd, packed);
        position += local.size() + packed.size();
        entries.push_back(std::move(entry));
    }

    if (ok && !entries.empty()) {
        std::string directory;
        for (const TCentralEntry& entry : entries) {
            PutLE(directory, 0x02014B50, 4);
            PutLE(directory, 20, 2); // version made by
            directory += entry.Shared;
            PutLE(directory, 0, 2);    // extra length
            PutLE(directory, 0, 2);    // comment length
            PutLE(directory, 0, 2);    // disk number
            PutLE(directory, 0, 2);    // internal attributes
            PutLE(directory, 0x20, 4); // external attributes: archive
            PutLE(directory, entry.Offset, 4);
            directory += entry.Name;
        }
        std::string end;
        PutLE(end, 0x06054B50, 4);
        PutLE(end, 0, 2);
        PutLE(end, 0, 2);
        PutLE(end, static_cast<uint32_t>(entries.size()), 2);
        PutLE(end, static_cast<uint32_t>(entries.size()), 2);
        PutLE(end, static_cast<uint32_t>(directory.size()), 4);
        ok = position + directory.size() <= 0xFFFFFFFFu;
        PutLE(end, static_cast<uint32_t>(position), 4);
        PutLE(end, 0, 2); // comment length
        ok = ok && WriteAll(fd, directory) && WriteAll(fd, end);
    } else {
        ok = false;
    }
    if (close(fd) != 0)
        ok = false;
    if (!ok)
        unlink(target.c_str());
    return ok;
}

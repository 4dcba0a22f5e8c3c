#include "crashreport/diagnostics/zorZip.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <sys/stat.h>
#include <utime.h>

#include "crashreport/diagnostics/zorStrings.h"
#include "tests/crashreport/ZorTestSupport.h"
#include "tests/support/ByteStrings.h"
#include "tests/support/TestSupport.h"

namespace {

// Text that packs a few times smaller, as report texts do.
std::string ReportLikeText()
{
    std::string text;
    uint32_t seed = 12345;
    for (int line = 0; line < 400; ++line) {
        text += "line " + std::to_string(line) + ": ";
        for (int i = 0; i < 30; ++i) {
            seed = seed * 1103515245u + 12345u;
            text.push_back(static_cast<char>('a' + (seed >> 16) % 26));
        }
        text += "\r\n";
    }
    return text;
}

std::string Deflated(const std::string& data)
{
    std::string packed(static_cast<size_t>(DeflateBound(static_cast<int64_t>(data.size()))), '\0');
    const int32_t size = DeflateBuffer(data.data(), packed.data(), static_cast<int32_t>(data.size()),
                                       static_cast<int32_t>(packed.size()));
    EXPECT_GT(size, 0);
    packed.resize(static_cast<size_t>(std::max(size, 0)));
    return packed;
}

std::string Checked(const std::string& data, uint32_t announced)
{
    return U32(announced) + U32(0) + U32(Crc(data)) + Deflated(data);
}

TEST(ZorZip, Crc32)
{
    EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc(""), 0u);
    // Running values chain.
    const uint32_t first = ZipCrc32Update(0xFFFFFFFFu, "12345", 5);
    EXPECT_EQ(~ZipCrc32Update(first, "6789", 4), 0xCBF43926u);
}

TEST(ZorZip, DeflateAndInflate)
{
    const std::string text = ReportLikeText();
    const std::string packed = Deflated(text);
    EXPECT_LT(packed.size(), text.size());
    std::string out(text.size(), '\0');
    EXPECT_EQ(
        InflateBuffer(packed.data(), out.data(), static_cast<int32_t>(packed.size()), static_cast<int32_t>(out.size())),
        static_cast<int32_t>(text.size()));
    EXPECT_EQ(out, text);
    // A smaller destination gets as much as fits.
    EXPECT_EQ(InflateBuffer(packed.data(), out.data(), static_cast<int32_t>(packed.size()), 100), 100);
    // A cut stream and garbage are failures.
    EXPECT_EQ(InflateBuffer(packed.data(), out.data(), static_cast<int32_t>(packed.size() / 2),
                            static_cast<int32_t>(out.size())),
              -1);
    const std::string garbage(64, '\xFF');
    EXPECT_EQ(InflateBuffer(garbage.data(), out.data(), 64, static_cast<int32_t>(out.size())), -1);
    // The bound holds for data that doesn't pack at all.
    std::string noise(5000, '\0');
    uint32_t seed = 7;
    for (char& c : noise) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    EXPECT_GT(Deflated(noise).size(), noise.size());
    EXPECT_EQ(DeflateBuffer(noise.data(), out.data(), 5000, 10), -1);
}

TEST(ZorZip, InflateChecked)
{
    const std::string text = ReportLikeText();
    const std::string good = Checked(text, static_cast<uint32_t>(text.size()));
    EXPECT_EQ(InflateChecked(good), text);

    std::string badCrc = good;
    badCrc[9] ^= 0x01;
    std::string damaged = good;
    damaged[20] ^= 0x55;
    const std::string highlyPacked(100000, 'x'); // packs far more than 64 to 1
    const std::string cases[] = {
        badCrc,
        damaged,
        good.substr(0, 12),
        "",
        Checked(text, 0xFFFFFFFFu),
        Checked(text, 0),
        Checked(highlyPacked, static_cast<uint32_t>(highlyPacked.size())),
    };
    for (const std::string& packed : cases)
        EXPECT_EQ(InflateChecked(packed), "");
    // An announced length shorter than the data cuts it, and the CRC tells.
    EXPECT_EQ(InflateChecked(Checked(text, 100)), "");
}

// Python's own zip reader: "ok" and one line per member (name, date and
// time, size), or the error.
std::string PythonZipCheck(const std::string& archive)
{
    const std::string command = "python3 -c 'import sys, zipfile\n"
                                "z = zipfile.ZipFile(sys.argv[1])\n"
                                "bad = z.testzip()\n"
                                "print(\"ok\" if bad is None else \"bad \" + bad)\n"
                                "for i in z.infolist(): print(i.filename, i.date_time, i.file_size, i.flag_bits)' '" +
                                archive + "' 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (size_t got = fread(buffer, 1, sizeof(buffer), pipe))
            out.append(buffer, got);
        pclose(pipe);
    }
    return out;
}

bool HavePython()
{
    return system("python3 -c 'import zipfile' >/dev/null 2>&1") == 0;
}

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

TEST(ZorZip, ArchiveSkipsMissingSources)
{
    if (!HavePython())
        GTEST_SKIP() << "python3 is needed to check archives";
    TTempFolder folder;
    const std::string first = folder.WriteFile("bugreport.txt", ReportLikeText());
    tm when{};
    when.tm_year = 2021 - 1900;
    when.tm_mon = 2;
    when.tm_mday = 4;
    when.tm_hour = 5;
    when.tm_min = 6;
    when.tm_sec = 9; // DOS keeps two-second steps
    when.tm_isdst = -1;
    const utimbuf times{mktime(&when), mktime(&when)};
    ASSERT_EQ(utime(first.c_str(), &times), 0);
    const std::string archive = folder.Path() + "report.zip";

    ASSERT_TRUE(
        WriteZipArchive(Utf8ToWide(archive), {Utf8ToWide(first), Utf8ToWide(folder.Path() + "missing.txt")}, 1, {}));
    EXPECT_EQ(PythonZipCheck(archive),
              "ok\nbugreport.txt (2021, 3, 4, 5, 6, 8) " + std::to_string(ReportLikeText().size()) + " 2048\n");

    // A member name beyond ASCII travels in UTF-8, flagged as such.
    ASSERT_TRUE(WriteZipArchive(Utf8ToWide(archive), {Utf8ToWide(first)}, 0, {u"Pr\u00FCfung.txt"}));
    const std::string bytes = folder.ReadFile("report.zip");
    EXPECT_EQ(bytes.substr(6, 2), U16(0x0800));
    EXPECT_EQ(bytes.substr(30, 12), "Pr\xC3\xBC"
                                    "fung.txt");
    EXPECT_NE(PythonZipCheck(archive).find("ok\nPr\xC3\xBC"
                                           "fung.txt "),
              std::string::npos);
}

TEST(ZorZip, CentralDirectorySize)
{
    TTempFolder folder;
    const std::string a = folder.WriteFile("a.txt", "first");
    const std::string b = folder.WriteFile("b.txt", "");
    const std::string archive = folder.Path() + "two.zip";
    ASSERT_TRUE(WriteZipArchive(Utf8ToWide(archive), {Utf8ToWide(a), Utf8ToWide(b)}, 1, {u"12345", u"123456"}));
    const std::string bytes = folder.ReadFile("two.zip");
    ASSERT_GE(bytes.size(), 22u);
    const std::string end = bytes.substr(bytes.size() - 22);
    EXPECT_EQ(end.substr(0, 4), U32(0x06054B50));
    EXPECT_EQ(end.substr(8, 4), U16(2) + U16(2));
    EXPECT_EQ(end.substr(12, 4), U32(103));
    EXPECT_EQ(end.substr(16, 4), U32(static_cast<uint32_t>(bytes.size() - 22 - 103)));
    if (HavePython()) {
        EXPECT_EQ(PythonZipCheck(archive).substr(0, 3), "ok\n");
    }
}

TEST(ZorZip, FailuresLeaveNoArchive)
{
    TTempFolder folder;
    const std::string a = folder.WriteFile("a.txt", "first");
    const std::string archive = folder.Path() + "none.zip";
    EXPECT_FALSE(WriteZipArchive(Utf8ToWide(archive), {}, -1, {}));
    EXPECT_FALSE(Exists(archive));
    EXPECT_FALSE(WriteZipArchive(Utf8ToWide(archive), {Utf8ToWide(a)}, -1, {}));
    EXPECT_FALSE(Exists(archive));
    EXPECT_FALSE(WriteZipArchive(Utf8ToWide(archive), {Utf8ToWide(folder.Path() + "missing")}, 0, {}));
    EXPECT_FALSE(Exists(archive));
    // A folder is no readable source.
    EXPECT_FALSE(WriteZipArchive(Utf8ToWide(archive), {Utf8ToWide(folder.Path())}, 0, {}));
    EXPECT_FALSE(Exists(archive));
    // The target's folder doesn't exist.
    EXPECT_FALSE(WriteZipArchive(Utf8ToWide(folder.Path() + "no/such.zip"), {Utf8ToWide(a)}, 0, {}));
    // An index of the last source past the list is clipped to it.
    EXPECT_TRUE(WriteZipArchive(Utf8ToWide(archive), {Utf8ToWide(a)}, 5, {}));
}

} // namespace

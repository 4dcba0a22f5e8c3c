#include "crashreport/core/zorExcept_Process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "crashreport/diagnostics/zorStrings.h"
#include "platform/os/OS.h"
#include "tests/crashreport/ZorTestSupport.h"
#include "tests/support/EnvOverride.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(ZorProcess, ModulesAndNames)
{
    TDAModule modules;
    ListModules(modules);
    ASSERT_GE(modules.size(), 2u);
    EXPECT_EQ(modules[0].Handle, MainModuleHandle());
    EXPECT_EQ(WideToUtf8(modules[0].FileName), program_invocation_short_name);
    bool sawLibc = false;
    for (const TModule& m : modules) {
        EXPECT_EQ(m.FileName.find(u'/'), std::u16string::npos);
        if (m.FileName.starts_with(u"libc.so")) {
            sawLibc = true;
            EXPECT_NE(ModuleFileName(m.Handle).find(u"/libc.so"), std::u16string::npos);
        }
    }
    EXPECT_TRUE(sawLibc);
    EXPECT_EQ(RealPathOf(WideToUtf8(ModuleFileName(0))), RealPathOf("/proc/self/exe"));
    EXPECT_EQ(ModuleFileName(MainModuleHandle()), ModuleFileName(0));
    EXPECT_EQ(ModuleFileName(MainModuleHandle() + 1), u"");

    EXPECT_EQ(StripExtension(u"Duskmarch.exe"), u"Duskmarch");
    EXPECT_EQ(StripExtension(u"a.b.c"), u"a.b");
    EXPECT_EQ(StripExtension(u"plain"), u"plain");

    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof(host) - 1), 0);
    EXPECT_EQ(ComputerName(), Utf8ToWide(host));
}

TEST(ZorProcess, AbsolutePaths)
{
    const std::u16string folder = ReporterProgramFolder();
    ASSERT_TRUE(folder.ends_with(u"/"));
    EXPECT_EQ(WideToUtf8(folder), RealPathOf("/proc/self/exe").substr(0, RealPathOf("/proc/self/exe").rfind('/') + 1));
    const std::u16string parent = folder.substr(0, folder.rfind(u'/', folder.size() - 2) + 1);
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"/game/../data/./x.ini", u"/data/x.ini"},
        {u"x.ini", folder + u"x.ini"},
        {u"../x.ini", parent + u"x.ini"},
        {u"/a/b/c/../../x", u"/a/x"},
        {u"/a/../../x", u"/../x"}, // a parent step with no folder before it stays
        {u"/../x", u"/../x"},
        {u"/a/b/..", u"/a/"},
        {u"/a/./", u"/a/"},
        {u"\\data\\sub\\..\\x.ini", u"/data/x.ini"},
        {u"/", u"/"},
    };
    for (const auto& [path, want] : cases)
        EXPECT_EQ(AbsolutePath(path), want) << WideToUtf8(path);
}

TEST(ZorProcess, SecondsSince1601)
{
    const int64_t before = time(nullptr);
    const int64_t now = NowInSeconds();
    const int64_t after = time(nullptr);
    EXPECT_GE(now - 11644473600, before);
    EXPECT_LE(now - 11644473600, after);
}

TEST(ZorProcess, ZeroOrInRange)
{
    EXPECT_TRUE(ZeroOrInRange(0, 10, 20));
    EXPECT_TRUE(ZeroOrInRange(10, 10, 20));
    EXPECT_TRUE(ZeroOrInRange(20, 10, 20));
    EXPECT_FALSE(ZeroOrInRange(9, 10, 20));
    EXPECT_FALSE(ZeroOrInRange(21, 10, 20));
    EXPECT_TRUE(ZeroOrInRange(UINTPTR_MAX, 1, UINTPTR_MAX));
}

TEST(ZorProcess, StoredValues)
{
    TTempFolder folder;
    TEnvOverride env;
    env.Set("XDG_CONFIG_HOME", folder.Path() + "config");
    const std::u16string key = u"Software\\Varnel\\ContactForm";
    EXPECT_EQ(RegistryFilePath(), OS_ToProgramPath(folder.Path()) + "config\\Duskmarch\\zorExceptValues.txt");

    EXPECT_EQ(RegistryReadText(HKEY_CURRENT_USER, key, u"RememberName"), u"");
    EXPECT_FALSE(RegistryDeleteValue(HKEY_CURRENT_USER, key, u"RememberName"));
    ASSERT_TRUE(RegistryWriteText(HKEY_CURRENT_USER, key, u"RememberName", u"J\u00FCrgen"));
    const std::u16string awkward = u"a=b\r\nsecond line %3D 100%\n=";
    ASSERT_TRUE(RegistryWriteText(HKEY_CURRENT_USER, key + u"\\", u"Odd=Name", awkward));
    EXPECT_EQ(RegistryReadText(HKEY_CURRENT_USER, key, u"remembername"), u"J\u00FCrgen");
    EXPECT_EQ(RegistryReadText(HKEY_CURRENT_USER, key, u"Odd=Name"), awkward);
    EXPECT_EQ(folder.ReadFile("config/Duskmarch/zorExceptValues.txt"),
              "Software\\Varnel\\ContactForm\\RememberName=J\xC3\xBCrgen\n"
              "Software\\Varnel\\ContactForm\\Odd%3DName=a%3Db%0D%0Asecond line %253D 100%25%0A%3D\n");

    // Overwriting keeps one line; a text ends at its first 0.
    ASSERT_TRUE(RegistryWriteText(HKEY_CURRENT_USER, key, u"RememberName", std::u16string(u"Ann\0x", 5)));
    EXPECT_EQ(RegistryReadText(HKEY_CURRENT_USER, key, u"RememberName"), u"Ann");
    EXPECT_TRUE(RegistryDeleteValue(HKEY_CURRENT_USER, key, u"RememberName"));
    EXPECT_EQ(RegistryReadText(HKEY_CURRENT_USER, key, u"RememberName"), u"");
    EXPECT_EQ(RegistryReadText(HKEY_CURRENT_USER, key, u"Odd=Name"), awkward);

    // Other roots have no store here.
    EXPECT_FALSE(RegistryWriteText(HKEY_LOCAL_MACHINE, key, u"X", u"y"));
    EXPECT_EQ(RegistryReadText(HKEY_LOCAL_MACHINE, key, u"Odd=Name"), u"");
}

mode_t ModeOf(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

TEST(ZorProcess, PrivateTemporaryFolder)
{
    TTempFolder runtime;
    TEnvOverride env;
    env.Set("XDG_RUNTIME_DIR", runtime.Path());
    const std::string expected = runtime.Path() + program_invocation_short_name + ".zorExcept/";
    ASSERT_EQ(WideToUtf8(ReporterTempFolder()), expected);
    EXPECT_EQ(ModeOf(expected) & 07777, 0700u);
    std::ofstream(expected + "screenshot.png") << "x";
    ClearReporterTempFolder();
    EXPECT_EQ(ModeOf(expected), 0u);

    // A folder that already exists too open is made private.
    ASSERT_EQ(mkdir(expected.c_str(), 0777), 0);
    ASSERT_EQ(chmod(expected.c_str(), 0777), 0);
    ASSERT_EQ(WideToUtf8(ReporterTempFolder()), expected);
    EXPECT_EQ(ModeOf(expected) & 07777, 0700u);
    // A sub-folder is not entered, and keeps the folder.
    ASSERT_EQ(mkdir((expected + "sub").c_str(), 0700), 0);
    std::ofstream(expected + "sub/kept") << "x";
    std::ofstream(expected + "gone") << "x";
    ClearReporterTempFolder();
    EXPECT_NE(ModeOf(expected + "sub/kept"), 0u);
    EXPECT_EQ(ModeOf(expected + "gone"), 0u);

    // Without a runtime folder: the temporary folder.
    env.Unset("XDG_RUNTIME_DIR");
    env.Set("TMPDIR", runtime.Path() + "tmp");
    EXPECT_EQ(WideToUtf8(ReporterTempFolder()),
              runtime.Path() + "tmp/" + program_invocation_short_name + ".zorExcept/");
}

TEST(ZorProcess, ForeignTemporaryFolderIsRefused)
{
    TTempFolder runtime;
    TTempFolder elsewhere;
    TEnvOverride env;
    env.Set("XDG_RUNTIME_DIR", runtime.Path());
    const std::string name = runtime.Path() + program_invocation_short_name + ".zorExcept";

    // A link in its place, to a folder holding someone's files.
    std::ofstream(elsewhere.Path() + "precious") << "x";
    ASSERT_EQ(symlink(elsewhere.Path().c_str(), name.c_str()), 0);
    EXPECT_EQ(ReporterTempFolder(), u"");
    ClearReporterTempFolder();
    EXPECT_NE(ModeOf(elsewhere.Path() + "precious"), 0u);
    ASSERT_EQ(unlink(name.c_str()), 0);

    // A folder of another user.
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a folder to another user needs root";
    ASSERT_EQ(mkdir(name.c_str(), 0700), 0);
    std::ofstream(name + "/theirs") << "x";
    ASSERT_EQ(chown(name.c_str(), 12345, 12345), 0);
    EXPECT_EQ(ReporterTempFolder(), u"");
    ClearReporterTempFolder();
    EXPECT_NE(ModeOf(name + "/theirs"), 0u);
}

} // namespace

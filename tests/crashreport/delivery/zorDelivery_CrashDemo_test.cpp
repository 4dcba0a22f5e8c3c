// The crash demonstration sends its report at once: by mail to a sink on
// this machine when the upload server is away, and by upload (with the
// screenshot of a private X server) when it is there. The program's settings
// name fixed ports; a test that can't listen on its port is skipped. Every
// wait is bounded.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "crashreport/delivery/zorMail.h"
#include "tests/crashreport/ZorFakeServer.h"
#include "tests/crashreport/ZorFakeSmtp.h"
#include "tests/support/Xvfb.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr uint16_t DemoSmtpPort = 47651;
constexpr uint16_t DemoHttpPort = 47652;

// The ports are the program's, so two of these tests must not run at once
// (ctest runs tests side by side): each holds this lock while it runs, or one
// test's program would deliver to the other test's server.
class TDemoPortsLock {
public:
    TDemoPortsLock() : Fd(open("/tmp/duskmarch-crashdemo-delivery.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666))
    {
        if (Fd >= 0)
            flock(Fd, LOCK_EX);
    }
    ~TDemoPortsLock()
    {
        if (Fd >= 0)
            close(Fd);
    }

private:
    int Fd;
};

// Runs crashdemo_delivery with the word; its exit code, or -1 after the
// time-out (the program is then killed).
int RunDemo(const std::string& word, const std::string& folder, const std::string& display)
{
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        setenv("DUSKMARCH_HEADLESS", "1", 1);
        setenv("TMPDIR", folder.c_str(), 1);
        setenv("DUSKMARCH_CRASHDEMO_DIR", folder.c_str(), 1);
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        setenv("XDG_DATA_HOME", folder.c_str(), 1);
        unsetenv("XDG_RUNTIME_DIR");
        if (display.empty())
            unsetenv("DISPLAY");
        else
            setenv("DISPLAY", display.c_str(), 1);
        setenv("ASAN_OPTIONS",
               "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:use_sigaltstack=0", 1);
        execl(ZOR_CRASHDEMO_DELIVERY, "crashdemo_delivery", word.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

TEST(ZorDeliveryCrashDemoTest, NullWriteMailsItsZippedReport)
{
    TDemoPortsLock portsLock;
    TSmtpScript script;
    TSmtpRecord record;
    std::vector<std::string> messages;
    {
        TFakeTcpServer sink(SmtpHandler(script, record), DemoSmtpPort);
        if (sink.Port() != DemoSmtpPort)
            GTEST_SKIP() << "port " << DemoSmtpPort << " is taken";
        TTempFolder folder;
        EXPECT_EQ(RunDemo("null-write", folder.Path(), ""), 1);
    }
    ASSERT_EQ(record.Messages.size(), 1u);
    const std::string zip = AttachmentOf(record.Messages[0], nullptr, "report.zip");
    ASSERT_FALSE(zip.empty());
    TTempFolder check;
    check.WriteFile("report.zip", zip);
    int status = 0;
    const std::string out = RunProgram("python3", "-m zipfile -t '" + check.Path() + "report.zip'", status);
    EXPECT_EQ(status, 0) << out;
}

TEST(ZorDeliveryCrashDemoTest, NullWriteUploadsItsScreenshot)
{
    TDemoPortsLock portsLock;
    TXvfb server;
    if (server.Name.empty())
        GTEST_SKIP() << "Xvfb is not available";
    TFakeHttpServer upload([](const TFakeHttpRequest&) { return HttpReply(200, "thanks"); }, false, DemoHttpPort);
    if (upload.Port() != DemoHttpPort)
        GTEST_SKIP() << "port " << DemoHttpPort << " is taken";
    TTempFolder folder;
    EXPECT_EQ(RunDemo("null-write", folder.Path(), server.Name), 1);
    const auto requests = upload.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string& body = requests[0].Body;
    const std::string png = FormFilePart(body, "ScreenShot", "screenshot.png");
    EXPECT_EQ(png.compare(0, 4, "\x89PNG"), 0);
    EXPECT_LE(png.size(), 51200u);
}

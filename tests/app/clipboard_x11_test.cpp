// The clipboard monitor on a real X clipboard: the test starts an X server of its own (Xvfb), opens
// the monitor in it, and another program (xclip) takes the clipboard and offers a text, then a
// page's HTML. Each address must be in the Locations file within a second. Skipped, saying why,
// where Xvfb or xclip is missing (scripts/setup.sh installs both).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/clipboard/monitor_clipboard.h"
#include "runtime/events.h"
#include "tests/app/browse_fixture.h"
#include "tests/app/maintenance_fixture.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"

namespace sitedex::app::clipboard {
namespace {

bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t colon = dirs.find(':', start);
        std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0)
            return true;
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return false;
}

// A child process; `input`, when given, is written to its standard input, which is then closed.
struct Child {
    pid_t pid = -1;
    ~Child() { stop(); }
    void stop() {
        if (pid <= 0)
            return;
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
    }
};

pid_t spawn(const std::vector<std::string>& args, const std::string* input, int keepFd = -1) {
    int in[2] = {-1, -1};
    if (input && ::pipe(in) != 0)
        return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        if (input) {
            ::dup2(in[0], 0);
            ::close(in[0]);
            ::close(in[1]);
        }
        // The helpers' chatter ("Waiting for selection requests") stays out of the test's output.
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, 1);
        ::dup2(quiet, 2);
        for (int fd = 3; fd < 256; ++fd)
            if (fd != keepFd)
                ::close(fd);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    if (input) {
        ::close(in[0]);
        (void)!::write(in[1], input->data(), input->size());
        ::close(in[1]);
    }
    return pid;
}

class X11Clipboard : public maintenance::testing::DataDirTest {
protected:
    void SetUp() override {
        if (QCoreApplication::instance())
            GTEST_SKIP() << "this test needs a process of its own: the toolkit is already running here "
                            "(run it alone with --gtest_filter=X11Clipboard.*)";
        if (!onPath("Xvfb") || !onPath("xclip"))
            GTEST_SKIP() << "Xvfb or xclip is not installed (apt-get install xvfb xclip; scripts/setup.sh does it)";
        DataDirTest::SetUp();
        ::setenv("SITEDEX_CONFIG_DIR", m_dir.path().c_str(), 1);
        // The server tells its display number on a pipe once it accepts clients.
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        m_server.pid =
            spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "800x600x24", "-nolisten", "tcp"},
                  nullptr, fds[1]);
        ::close(fds[1]);
        ASSERT_GT(m_server.pid, 0);
        std::string display;
        pollfd p{fds[0], POLLIN, 0};
        char c;
        while (::poll(&p, 1, 10000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            display += c;
        ::close(fds[0]);
        ASSERT_FALSE(display.empty()) << "Xvfb did not start";
        ::setenv("DISPLAY", (":" + display).c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ui::ensureApplication();
        ui::setMessageBoxResponder([](const ui::MessageBoxInfo& b) { return b.defaultButton; });
    }
    void TearDown() override {
        if (!QCoreApplication::instance() || m_server.pid <= 0)
            return;
        if (m_thread && ui::threadRunning(m_thread))
            ui::postEvent(runtime::kEventCloseWindow, 0, m_thread);
        EXPECT_TRUE(ui::pumpEventsUntil([] { return ui::runningThreads() == 0; }));
        m_copier.stop();
        ui::setMessageBoxResponder(nullptr);
        DataDirTest::TearDown();
        ::unsetenv("SITEDEX_CONFIG_DIR");
        // The toolkit keeps its connection to the server until the program ends; the server goes
        // with the fixture all the same (the program ends right after this test).
        m_server.stop();
    }

    // Another program takes the clipboard and offers `content` as `type`, until the next copy.
    void copyFromOutside(const std::string& content, const std::string& type) {
        m_copier.stop();
        m_copier.pid = spawn({"xclip", "-quiet", "-selection", "clipboard", "-t", type}, &content);
        ASSERT_GT(m_copier.pid, 0);
    }
    // Milliseconds until the location is in the file, -1 when it is not there within the time.
    long millisecondsUntilAdded(const std::string& location, int within) {
        const auto start = std::chrono::steady_clock::now();
        bool found = ui::pumpEventsUntil(
            [&] {
                for (const std::string& row : sitedex::testing::rowsOnDisk(data::SITEDX, {"URL:LOCATION"}))
                    if (row == location)
                        return true;
                return false;
            },
            within);
        if (!found)
            return -1;
        return long(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    }

    Child m_server, m_copier;
    int m_thread = 0;
};

TEST_F(X11Clipboard, AnAddressCopiedInAnotherProgramIsAddedWithinASecond) {
    m_thread = ui::startProcedure(MonitorClipboard, 25000, "MonitorClipboard");
    ASSERT_NE(m_thread, 0);
    ASSERT_TRUE(ui::pumpEventsUntil([&] { return ui::currentWindow(m_thread) != nullptr; }));
    ui::pumpEventsFor(300);

    copyFromOutside("Release notes at https://notes.example.org/2024 for everyone", "UTF8_STRING");
    const long plain = millisecondsUntilAdded("https://notes.example.org/2024", 3000);
    EXPECT_GE(plain, 0) << "never added";
    EXPECT_LT(plain, 1000);
    RecordProperty("plain_text_ms", int(plain));

    // A selection copied from a page: the browser offers its HTML; the links are in there only.
    copyFromOutside(
        "<meta charset=\"utf-8\"><p>See <a href=\"https://docs.example.org/?a=1&amp;b=2\">the "
        "documentation</a>.</p>",
        "text/html");
    const long html = millisecondsUntilAdded("https://docs.example.org/?a=1&b=2", 3000);
    EXPECT_GE(html, 0) << "never added";
    EXPECT_LT(html, 1000);
    RecordProperty("html_ms", int(html));
    std::printf("added %ld ms after the copy of a text, %ld ms after the copy of HTML\n", plain, html);
    EXPECT_EQ(sitedex::testing::rowsOnDisk(data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION"}),
              (std::vector<std::string>{"https://docs.example.org/?a=1&b=2|the documentation",
                                        "https://notes.example.org/2024|for everyone"}));
}

}  // namespace
}  // namespace sitedex::app::clipboard

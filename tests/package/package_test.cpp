// The Debian package, as a user gets it: `cpack -G DEB` makes sitedex_<version>_<arch>.deb with
// the dependencies dpkg-shlibdeps found, lintian finds no error in it, apt installs it, the
// installed program runs (a command, its help, its window from the installed window library), the
// menu entry and the manual page are where the desktop looks, and apt removes it all again.
//
// Installing needs root and changes the machine: it is done only as root, when no sitedex package
// is installed already (a user's own stays untouched), one test run at a time (a lock).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "tests/support/data_fixtures.h"
#include "tests/support/processes.h"

namespace sitedex::testing {
namespace {

namespace fs = std::filesystem;

std::string firstLine(const std::string& s) {
    return s.substr(0, s.find('\n'));
}

// Removes the package again whatever the test's end.
struct Removal {
    bool installed = false;
    ~Removal() {
        if (installed)
            runProgram({"apt-get", "purge", "-y", "-o", "DPkg::Lock::Timeout=300", "sitedex"});
    }
};

TEST(DebianPackage, IsMadeCheckedInstalledRunAndRemoved) {
    for (const char* tool : {"dpkg-deb", "dpkg-shlibdeps"})
        if (!haveProgram(tool))
            GTEST_SKIP() << tool << " (dpkg-dev) is missing; scripts/setup.sh installs it";
    TempDir dir;
    Finished made =
        runProgram({SITEDEX_CPACK, "-G", "DEB", "--config", SITEDEX_BUILD_DIR "/CPackConfig.cmake", "-B", dir.path()});
    ASSERT_EQ(made.code, 0) << made.out << made.err;
    std::string arch = firstLine(runProgram({"dpkg", "--print-architecture"}).out);
    std::string deb = dir.file("sitedex_" SITEDEX_VERSION "_" + arch + ".deb");
    ASSERT_TRUE(fs::exists(deb)) << made.out;

    // The dependencies come from the libraries the two binaries use.
    std::string depends = runProgram({"dpkg-deb", "-f", deb, "Depends"}).out;
    for (const char* library :
         {"libc6", "libstdc++6", "libqt6widgets6", "libqt6gui6", "libqt6core6", "libboost-context"})
        EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;
    std::string contents = runProgram({"dpkg-deb", "-c", deb}).out;
    for (const char* file : {"./usr/bin/sitedex", "./usr/" SITEDEX_INSTALL_WINDOW_LIBRARY,
                             "./usr/share/applications/" SITEDEX_APP_ID ".desktop", "./usr/share/man/man1/sitedex.1.gz",
                             "./usr/share/icons/hicolor/48x48/apps/sitedex.png", "./usr/share/doc/sitedex/copyright"})
        EXPECT_NE(contents.find(file), std::string::npos) << file;

    // A checker missing here is named at the end, after what could be done without it.
    std::string notChecked;
    if (haveProgram("lintian")) {
        Finished lint = runProgram({"lintian", "--tag-display-limit", "0", deb});
        std::string errors;
        for (size_t start = 0, nl; (nl = lint.out.find('\n', start)) != std::string::npos; start = nl + 1)
            if (lint.out.compare(start, 2, "E:") == 0)
                errors += lint.out.substr(start, nl - start + 1);
        EXPECT_EQ(errors, "") << lint.out << lint.err;
    } else {
        notChecked = "lintian is missing (scripts/setup.sh installs it); ";
    }

    if (::geteuid() != 0 || !haveProgram("apt-get"))
        GTEST_SKIP() << notChecked << "installing the package needs root and apt-get; it was made and checked";
    // One test run at a time installs; a sitedex package already installed is left alone.
    int lock = ::open("/var/lock/sitedex-package-test", O_CREAT | O_RDWR, 0644);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    Finished status = runProgram({"dpkg-query", "-W", "-f=${Status}", "sitedex"});
    if (status.out.find("installed") != std::string::npos && status.out.find("not-installed") == std::string::npos) {
        ::close(lock);
        GTEST_SKIP() << "a sitedex package is installed on this machine; it is left alone";
    }
    Removal removal;
    Finished install = runProgram({"apt-get", "install", "-y", "-o", "DPkg::Lock::Timeout=300", deb},
                                  {{"DEBIAN_FRONTEND=noninteractive"}, {}});
    removal.installed = install.code == 0;
    ASSERT_EQ(install.code, 0) << install.out << install.err;

    Environment env{{"SITEDEX_CONFIG_DIR=" + dir.file("config"), "QT_QPA_PLATFORM=offscreen"}, {}};
    Finished help = runProgram({"/usr/bin/sitedex", "--help"}, env);
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.out.rfind("Usage: sitedex", 0), 0u) << help.out;
    EXPECT_EQ(runProgram({"/usr/bin/sitedex", "--version"}).out, "sitedex " SITEDEX_VERSION "\n");
    std::string data = dir.file("data");
    fs::create_directory(data);
    EXPECT_EQ(runProgram({"/usr/bin/sitedex", "--data-dir", data, "add-category", "News"}, env).code, 0);
    EXPECT_EQ(runProgram({"/usr/bin/sitedex", "--data-dir", data, "categories"}, env).out, "News\t\n");
    {
        std::string fresh = dir.file("window");
        Background window({"/usr/bin/sitedex", "--data-dir", fresh}, env);
        EXPECT_TRUE(waitForFile(fresh + "/URL_L.VLX", std::chrono::seconds(60)));
        Finished ended = window.end(SIGTERM, std::chrono::seconds(30));
        EXPECT_EQ(ended.code, 0) << ended.err;
    }
    EXPECT_TRUE(fs::exists("/usr/share/applications/" SITEDEX_APP_ID ".desktop"));
    // (A machine that keeps no manual pages, as some container images, leaves the page out.)
    if (haveProgram("man") && fs::exists("/usr/share/man/man1/sitedex.1.gz")) {
        Finished page = runProgram({"man", "sitedex"}, {{"MANPAGER=cat", "PAGER=cat", "LC_ALL=C.UTF-8"}, {}});
        EXPECT_NE(page.out.find("SITEDEX(1)"), std::string::npos) << page.err;
    }

    Finished removed = runProgram({"apt-get", "purge", "-y", "-o", "DPkg::Lock::Timeout=300", "sitedex"},
                                  {{"DEBIAN_FRONTEND=noninteractive"}, {}});
    removal.installed = removed.code != 0;
    EXPECT_EQ(removed.code, 0) << removed.out << removed.err;
    for (const char* file : {"/usr/bin/sitedex", "/usr/" SITEDEX_INSTALL_WINDOW_LIBRARY,
                             "/usr/share/applications/" SITEDEX_APP_ID ".desktop"})
        EXPECT_FALSE(fs::exists(file)) << file;
    ::close(lock);
    if (!notChecked.empty())
        GTEST_SKIP() << notChecked << "the rest was done";
}

}  // namespace
}  // namespace sitedex::testing

// sitedex merge and sitedex upgrade on real files: their output and exit codes, usage errors, and an
// upgrade in a data folder the program may not write (the built program, run as a user without the
// right to write there).
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "cli/cli.h"
#include "runtime/settings_file.h"
#include "tests/app/transfer_fixture.h"
#include "tests/cli/command_runner.h"

namespace sitedex::cli {
namespace {

using namespace sitedex::testing;
namespace fs = std::filesystem;
using Rows = std::vector<std::string>;

using Result = sitedex::testing::ProgramRun;

// Runs `sitedex ARGS...` in this process with standard output and error captured.
Result sitedex(std::vector<std::string> args) {
    return sitedex::testing::runInProcess(std::move(args));
}

void writeLocations(const std::string& folder, const Rows& addresses) {
    writeRecords(folder, data::SITEDX, int(addresses.size()), [&](int i) {
        setText("URL:LOCATION", addresses[size_t(i)]);
        setText("URL:DESCRIPTION", "from " + folder);
        data::SITEDX.memo(0) = "site info";
    });
}

void writeOldLocations(const std::string& folder, int count) {
    writeRecords(folder, data::OldLocations, count, [](int i) {
        setText("OL:LOCATION", "http://old" + std::to_string(i) + ".example/");
        setText("OL:CATEGORY", "Old");
    });
}

class TransferCommands : public TransferTest {};

TEST_F(TransferCommands, MergeTellsWhatItAdded) {
    TempDir other;
    writeLocations(m_data.path(), {"http://here.example/"});
    writeLocations(other.path(), {"http://here.example/", "http://there.example/", "http://more.example/"});
    // The other database by its folder, then by its file.
    Result r = sitedex({"merge", other.path(), "--data-dir", m_data.path()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "2 locations added, 1 already present.\n");
    EXPECT_EQ(r.err, "");
    r = sitedex({"merge", other.file("URL_L.VLX"), "--data-dir", m_data.path()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "0 locations added, 3 already present.\n");
    EXPECT_EQ(recordsIn(m_data.path(), data::SITEDX, {"URL:LOCATION", "URL:SITEINFO"}),
              (Rows{"http://here.example/|site info", "http://there.example/|", "http://more.example/|"}));
}

TEST_F(TransferCommands, MergeRefusesWhatIsNoDatabase) {
    TempDir other;
    writeFile(other.file("URL_L.VLX"), "not a database");
    writeFile(other.file("notes.txt"), "hello");
    struct Refusal {
        std::vector<std::string> args;
        int code;
        const char* says;
    } cases[] = {
        {{"merge", other.file("notes.txt")}, 1, "is not a Sitedex database: give its folder or its URL_L.VLX"},
        {{"merge", other.path()}, 1, "is not a Sitedex database file"},
        {{"merge", m_config.path()}, 1, "There is no Sitedex database at"},
        {{"merge", m_config.file("gone")}, 1, "there is no file or folder"},
        {{"merge"}, 2, "missing argument"},
        {{"merge", "a", "b"}, 2, "too many arguments"},
        {{"merge", "--fast", "a"}, 2, "unknown option '--fast'"},
    };
    for (const Refusal& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--data-dir", m_data.path()});
        const Result r = sitedex(args);
        EXPECT_EQ(r.code, c.code) << args[1] << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(fs::exists(m_config.file("URL_L.VLX")));  // a missing source is never made
    const Result help = sitedex({"merge", "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Usage: sitedex merge PATH"), std::string::npos);
}

TEST_F(TransferCommands, UpgradeRunsTheStartUpCheck) {
    writeOldLocations(m_data.path(), 25);
    writeRecords(m_data.path(), data::OldCategories, 1, [](int) { setText("OC:CATEGORY", "Old"); });
    writeLocations(m_data.path(), {"http://current.example/"});
    runtime::writeSetting("System", "Version", "1.2");

    Result r = sitedex({"upgrade", "--data-dir", m_data.path()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "SITEDX.VLX: 25 records copied into URL_L.VLX\n"
              "CATEGORI.VLX: 1 record copied into URL_C.VLX\n"
              "The URL_L.VLX that was already in the data folder was kept as URL_L.VLX.bak.\n"
              "The data version is now 1.5.\n");
    EXPECT_EQ(runtime::readSetting("System", "Version"), "1.5");
    EXPECT_EQ(runtime::readSetting("Export", "Type"), "HTML - Table");
    EXPECT_EQ(recordsIn(m_data.path(), data::SITEDX, {"URL:LOCATION"}).size(), 25u);
    EXPECT_TRUE(fs::exists(here("URL_L.VLX.bak")));

    r = sitedex({"upgrade", "--data-dir", m_data.path()});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "The data version is 1.5 already: nothing to upgrade.\n");
    EXPECT_FALSE(fs::exists(here("URL_L.VLX.bak2")));

    runtime::writeSetting("System", "Version", std::nullopt);
    TempDir empty;
    r = sitedex({"upgrade", "--data-dir", empty.path()});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "No data files of an older version here; the data version is now 1.5.\n");
    EXPECT_EQ(sitedex({"upgrade", "now"}).code, 2);
    EXPECT_EQ(sitedex({"upgrade", "--help"}).code, 0);
}

// The built program, run with the rights of a user that may not write the data folder (root may
// write anywhere, so a test run as root drops to "nobody" in the child).
Result runWithoutWriteRights(const std::string& folder, const std::string& config) {
    int out[2], err[2];
    EXPECT_EQ(::pipe(out), 0);
    EXPECT_EQ(::pipe(err), 0);
    ::chmod(folder.c_str(), 0555);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
                ::setuid(nobody->pw_uid) != 0)
                ::_exit(99);
        }
        ::setenv("SITEDEX_CONFIG_DIR", config.c_str(), 1);
        ::execl(SITEDEX_BINARY, SITEDEX_BINARY, "upgrade", "--data-dir", folder.c_str(), static_cast<char*>(nullptr));
        ::_exit(98);
    }
    ::close(out[1]);
    ::close(err[1]);
    Result r;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(out[0], buf, sizeof buf)) > 0)
        r.out.append(buf, size_t(n));
    while ((n = ::read(err[0], buf, sizeof buf)) > 0)
        r.err.append(buf, size_t(n));
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ::chmod(folder.c_str(), 0755);
    return r;
}

TEST_F(TransferCommands, UpgradeInAFolderThatCannotBeWrittenChangesNothing) {
    TempDir folder, config;
    writeOldLocations(folder.path(), 5);
    writeLocations(folder.path(), {"http://current.example/"});
    for (const std::string& dir : {folder.path(), config.path()})
        ::chmod(dir.c_str(), 0755);
    for (const auto& e : fs::directory_iterator(folder.path()))
        ::chmod(e.path().c_str(), 0644);
    writeFile(config.file("SITEDX.INI"), "[System]\nVersion=1.2\n");
    ::chmod(config.file("SITEDX.INI").c_str(), 0666);
    const std::string oldBytes = readFile(folder.file("SITEDX.VLX"));
    const std::string currentBytes = readFile(folder.file("URL_L.VLX"));

    const Result r = runWithoutWriteRights(folder.path(), config.path());
    ASSERT_NE(r.code, 99) << "could not take the rights of the user nobody";
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("cannot keep the existing URL_L.VLX as URL_L.VLX.bak: Permission denied"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Nothing was changed"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(folder.file("SITEDX.VLX")), oldBytes);
    EXPECT_EQ(readFile(folder.file("URL_L.VLX")), currentBytes);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator{}), 2);
    EXPECT_EQ(readFile(config.file("SITEDX.INI")), "[System]\nVersion=1.2\n");
}

}  // namespace
}  // namespace sitedex::cli

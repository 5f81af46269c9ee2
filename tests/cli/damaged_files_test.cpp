// Damaged data files met by the built program as a user runs it: a command that meets one names the
// file and what to do and exits 1; check reports what it cannot open; rebuild ends on every damage,
// saves every record it can read, never leaves the file worse, and keeps the file as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "tests/cli/collection_fixture.h"
#include "tests/cli/command_runner.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::testing {
namespace {

namespace fs = std::filesystem;

class DamagedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        makeCollection(m_dir.path(), 400);
        m_listing = run({"list", "--order", "location"});
        ASSERT_EQ(m_listing.code, 0) << m_listing.err;
        ASSERT_EQ(std::count(m_listing.out.begin(), m_listing.out.end(), '\n'), 400);
        m_good = fileBytes(path());
    }
    ProgramRun run(std::vector<std::string> args, double limit = 60) {
        args.push_back("--data-dir");
        args.push_back(m_dir.path());
        return runProgram(args, limit);
    }
    std::string path() const { return m_dir.file("URL_L.VLX"); }
    std::vector<TreePage> pages() const { return treePages(path()); }
    // The first page that `pick` accepts.
    TreePage pageWhere(const std::function<bool(const TreePage&)>& pick) const {
        for (const TreePage& p : pages())
            if (pick(p)) return p;
        ADD_FAILURE() << "no such page";
        return {};
    }

    TempDir m_dir;
    ProgramRun m_listing;
    std::string m_good;
};

bool keyLeaf(const TreePage& p) { return p.level == 0 && selectorOf(p.firstKey) >= 1 && selectorOf(p.firstKey) <= 6; }
bool recordLeaf(const TreePage& p) { return p.level == 0 && selectorOf(p.firstKey) == record::kSelData; }

// Damage as independent fault runs found it (a flipped byte in a page's lengths, in the body of a
// page over the key pages, in the middle of a packed page of keys, in the header's root offset):
// rebuild ends, says every record was saved, and the file reads as it did before the damage.
TEST_F(DamagedFiles, RebuildEndsAndSavesEveryRecordWhereOnlyKeysOrStructureAreDamaged) {
    struct Case {
        const char* what;
        std::function<uint64_t()> where;
        uint8_t with;
    } cases[] = {
        {"first key length in a packed page of keys",
         [&] { return firstKeyLengthHighByte(path(), pageWhere([](const TreePage& p) { return keyLeaf(p) && p.packed(); })); },
         0xab},
        {"body of the page above the key pages",
         [&] {
             TreePage p = pageWhere([](const TreePage& t) { return t.level == 1 && selectorOf(t.firstKey) <= 6; });
             return uint64_t(p.home) + record::kTreeHeader + 4 * p.count + (p.stored - record::kTreeHeader - 4 * p.count) / 3;
         },
         0x10},
        {"middle of a packed page of keys",
         [&] {
             TreePage p = pageWhere([](const TreePage& t) { return keyLeaf(t) && t.packed() && t.stored > 600; });
             return uint64_t(p.home) + p.stored / 2;
         },
         0xf4},
        {"root offset in the header", [] { return uint64_t(30); }, 0x01},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(path(), m_good);
        uint64_t at = c.where();
        flipByte(path(), at, c.with);
        std::string damaged = fileBytes(path());
        ProgramRun r = run({"rebuild", "URL_L.VLX"});
        ASSERT_FALSE(r.timedOut) << "rebuild ran for ever";
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_NE(r.out.find("400 records saved, 0 could not be read"), std::string::npos) << r.out;
        ProgramRun check = run({"check"});
        EXPECT_EQ(check.code, 0) << check.out;
        EXPECT_EQ(run({"list", "--order", "location"}).out, m_listing.out);
        // the file as it was lies beside it
        int backups = 0;
        for (const auto& e : fs::directory_iterator(m_dir.path()))
            if (e.path().extension() == ".bak") {
                ++backups;
                EXPECT_EQ(fileBytes(e.path().string()), damaged);
                fs::remove(e.path());
            }
        EXPECT_EQ(backups, 1);
    }
}

// A damaged page of records: rebuild saves every other record, counts the ones lost, and the file
// reads and checks whole afterwards; nothing readable before is lost.
TEST_F(DamagedFiles, RebuildCountsTheRecordsOfADamagedPageAndKeepsTheRest) {
    TreePage leaf = pageWhere([](const TreePage& p) { return recordLeaf(p) && p.count > 3; });
    flipByte(path(), firstKeyLengthHighByte(path(), leaf), 0x66);
    ProgramRun r = run({"rebuild", "URL_L.VLX"});
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.code, 1) << r.out << r.err;  // some records could not be read
    size_t lost = leaf.count;
    EXPECT_NE(r.out.find(std::to_string(400 - lost) + " records saved, " + std::to_string(lost) + " could not be read"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.err.find("page at offset " + std::to_string(leaf.home)), std::string::npos) << r.err;
    EXPECT_EQ(run({"check"}).code, 0);
    ProgramRun after = run({"list", "--order", "location"});
    ASSERT_EQ(after.code, 0);
    // every line left was a line before
    std::istringstream lines(after.out);
    std::string line;
    size_t n = 0;
    while (std::getline(lines, line)) {
        ++n;
        EXPECT_NE(m_listing.out.find(line + "\n"), std::string::npos) << line;
    }
    EXPECT_EQ(n, 400 - lost);
}

// Nothing that the file held can be read: rebuild says so, exits 1 and leaves the file as it was.
TEST_F(DamagedFiles, RebuildLeavesAFileAsItWasWhenNothingCanBeRead) {
    fs::resize_file(path(), 4609);
    std::string cut = fileBytes(path());
    ProgramRun r = run({"rebuild", "URL_L.VLX"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("left as it was"), std::string::npos) << r.err;
    EXPECT_EQ(fileBytes(path()), cut);
}

// A command meeting a damaged file names it and the commands that check and repair it, and exits 1
// (a problem found), not 2 (the exit code of a usage error).
TEST_F(DamagedFiles, ACommandMeetingADamagedFileNamesItAndExits1) {
    using Commands = std::vector<std::vector<std::string>>;
    const Commands both{{"list"}, {"add", "http://new.example/", "--category", "News"}};
    struct Case {
        const char* what;
        std::function<void()> damage;
        Commands commands;  // the ones that meet the damage
    } cases[] = {
        {"header checksum", [&] { flipByte(path(), 24, 0x01); }, both},
        {"root offset", [&] { flipByte(path(), 30, 0x01); }, both},
        {"cut after its first page", [&] { fs::resize_file(path(), 4609); }, both},
        {"a bad page of records",
         [&] {
             TreePage leaf = pageWhere([](const TreePage& p) { return recordLeaf(p); });
             flipByte(path(), firstKeyLengthHighByte(path(), leaf), 0x66);
         },
         {{"list"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(path(), m_good);
        c.damage();
        for (const std::vector<std::string>& command : c.commands) {
            ProgramRun r = run(command);
            EXPECT_EQ(r.code, 1) << command[0] << ": " << r.err;
            EXPECT_NE(r.err.find("URL_L.VLX is damaged"), std::string::npos) << command[0] << ": " << r.err;
            EXPECT_NE(r.err.find("sitedex check"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("sitedex rebuild URL_L.VLX"), std::string::npos) << r.err;
        }
    }
}

// check reports a data file it cannot open (a directory, a symbolic link that leads round in a
// circle) as a problem, exit 1, as the commands that use the file fail on it.
TEST_F(DamagedFiles, CheckReportsADataFileItCannotOpen) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* says;
    } cases[] = {
        {"URL_L.VLX", [](const std::string& p) { fs::create_directory(p); }, "it is a directory"},
        {"URL_C.VLX", [](const std::string& p) { fs::create_directory(p); }, "it is a directory"},
        {"URL_L.VLX", [](const std::string& p) { fs::create_symlink(p, p); }, "round in a circle"},
        {"URL_C.VLX", [](const std::string& p) { fs::create_symlink(p, p); }, "round in a circle"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.says);
        std::string p = m_dir.file(c.name);
        fs::rename(p, p + ".kept");
        c.make(p);
        ProgramRun r = run({"check"});
        EXPECT_EQ(r.code, 1) << r.out;
        EXPECT_NE(r.out.find(std::string(c.name) + ": cannot be opened: "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        EXPECT_EQ(run({std::string(c.name) == "URL_L.VLX" ? "list" : "categories"}).code, 1);
        fs::remove(p);
        fs::rename(p + ".kept", p);
    }
    EXPECT_EQ(run({"check"}).code, 0);
}

}  // namespace
}  // namespace sitedex::testing

// Rebuilding a record file never leaves it worse than it was: whatever the damage, the rebuild
// either leaves the file as it lay or makes it whole, with every record it could read and the rest
// counted; a program that has the file open reads the rebuilt content; an interrupted rebuild leaves
// the file as it was or as rebuilt.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "drivers/record/rebuild.h"
#include "tests/drivers/faulty_file.h"
#include "tests/drivers/record_fixture.h"

namespace sitedex::record {
namespace {

using namespace testing;

std::string readAll(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void writeAll(const std::string& p, const std::string& d) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << d;
}

// 300 locations, a third with site information, each committed alone.
std::map<uint32_t, std::string> fill(const std::string& path) {
    std::unique_ptr<RecordFile> f;
    createLocationsFile(path, f);
    std::map<uint32_t, std::string> records;
    for (int i = 0; i < 300; ++i) {
        std::vector<std::string> memo{i % 3 ? "" : std::string(50 + i * 3, char('a' + i % 26))};
        std::string rec = location("http://site" + std::to_string(i) + ".example/" + std::string(i % 90, 'p'),
                                   "Desc " + std::to_string(i % 40), "Cat" + std::to_string(i % 6), i % 11);
        uint32_t r;
        EXPECT_TRUE(f->add(rec, &memo, r).ok());
        records[r] = rec;
    }
    return records;
}

// The records of a table, by number (check passed first).
std::map<uint32_t, std::string> recordsOf(const std::string& path) {
    std::unique_ptr<RecordFile> f;
    std::map<uint32_t, std::string> out;
    EXPECT_TRUE(RecordFile::open(path, "UNNAMED", nullptr, fastOptions(), f).ok());
    if (!f) return out;
    RecordFile::CheckReport rep;
    Status s = f->check(rep);
    EXPECT_TRUE(s.ok()) << s.toString();
    Cursor c(*f, -1);
    for (c.seekFirst(); c.valid(); c.next()) out[c.recno()] = c.record();
    return out;
}

void removeBackups(const TempDir& dir) {
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().extension() == ".bak") std::filesystem::remove(e.path());
}

TEST(RecordRebuild, NeverLeavesAFileWorseThanItWas) {
    TempDir dir;
    std::string path = dir.file("URL_L.VLX");
    std::map<uint32_t, std::string> records = fill(path);
    std::string good = readAll(path);
    std::mt19937 rng(11);
    int rebuilt = 0, refused = 0;
    for (int round = 0; round < 60; ++round) {
        std::string bad = good;
        for (int i = 1 + int(rng() % 3); i > 0; --i) bad[rng() % bad.size()] ^= char(1 + rng() % 255);
        writeAll(path, bad);
        RebuildReport report;
        Status s = rebuildFile(path, {{"UNNAMED", locationsSchema()}}, fastOptions(), report);
        if (!s.ok()) {
            ++refused;
            EXPECT_EQ(readAll(path), bad) << "round " << round << ": a refused rebuild changed the file";
            continue;
        }
        ++rebuilt;
        EXPECT_EQ(readAll(report.backup), bad) << "round " << round;
        std::map<uint32_t, std::string> now = recordsOf(path);
        EXPECT_EQ(now.size(), report.saved) << "round " << round;
        EXPECT_EQ(report.saved + report.unreadable + report.leftOut, records.size()) << "round " << round;
        for (auto& [recno, rec] : now) EXPECT_TRUE(records.count(recno)) << "round " << round << " record " << recno;
        removeBackups(dir);
    }
    EXPECT_GT(rebuilt, 50);
    (void)refused;
}

// Another program that has the file open before the rebuild reads and writes the rebuilt file
// afterwards: the change counter moved on, so nothing it had cached is used.
TEST(RecordRebuild, AProgramWithTheFileOpenReadsTheRebuiltFile) {
    TempDir dir;
    std::string path = dir.file("URL_L.VLX");
    std::map<uint32_t, std::string> records = fill(path);
    Schema s = locationsSchema();
    std::unique_ptr<RecordFile> other;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, fastOptions(), other).ok());
    std::string rec;
    for (auto& [recno, r] : records) ASSERT_TRUE(other->get(recno, rec, nullptr).ok());  // all cached
    RebuildReport report;
    ASSERT_TRUE(rebuildFile(path, {}, fastOptions(), report).ok());
    EXPECT_EQ(report.saved, 300u);
    EXPECT_LT(std::filesystem::file_size(path), readAll(report.backup).size() + 1);
    for (auto& [recno, r] : records) {
        ASSERT_TRUE(other->get(recno, rec, nullptr).ok()) << recno;
        EXPECT_EQ(rec, r);
    }
    uint32_t added;
    ASSERT_TRUE(other->add(location("http://after.example/"), nullptr, added).ok());
    EXPECT_GT(added, 300u);
    RecordFile::CheckReport rep;
    EXPECT_TRUE(other->check(rep).ok());
    EXPECT_EQ(rep.records, 301u);
}

// A rebuild cut by a power cut or a full disk at each of its writes in turn (the new file, the
// backup, the old file's log and pages): the file then holds every record as before, and checks
// whole once opened for writing (a log announced is rolled forward).
TEST(RecordRebuild, AnInterruptedRebuildLeavesTheFileAsItWasOrRebuilt) {
    Schema s = locationsSchema();
    for (bool powerCut : {true, false}) {
        for (int failAt = 1;; ++failAt) {
            SCOPED_TRACE((powerCut ? "power cut at write " : "disk full at write ") + std::to_string(failAt));
            TempDir dir;
            std::string path = dir.file("URL_L.VLX");
            std::map<uint32_t, std::string> records = fill(path);
            Faults faults;
            faults.failAt = failAt;
            faults.powerCut = powerCut;
            Status st;
            {
                OpenerGuard guard(faults);
                RebuildReport report;
                PagerOptions o;  // flushed: a power cut drops only what came after the last flush
                st = rebuildFile(path, {}, o, report);
            }
            {
                std::unique_ptr<RecordFile> settle;  // a writable open rolls an announced log forward
                ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, fastOptions(), settle).ok());
            }
            EXPECT_EQ(recordsOf(path), records);
            if (faults.writes < failAt) {
                EXPECT_TRUE(st.ok()) << st.toString();
                break;  // the rebuild finished before the fault
            }
            ASSERT_LT(failAt, 400);
        }
    }
}

}  // namespace
}  // namespace sitedex::record

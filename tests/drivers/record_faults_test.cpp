// Faults: a power cut or a failing write at every write of a commit, damaged and truncated files,
// and files of another format. The file must always reopen to the state before or after the
// interrupted commit, pass the check, and never crash the reader.

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>

#include "tests/drivers/faulty_file.h"
#include "tests/drivers/record_fixture.h"

namespace sitedex::record {
namespace {

using namespace testing;

uint32_t countAndCheck(const std::string& path, const Schema& s) {
    std::unique_ptr<RecordFile> f;
    Status st = RecordFile::open(path, "UNNAMED", &s, PagerOptions{}, f);
    EXPECT_TRUE(st.ok()) << st.toString();
    if (!st.ok()) return ~0u;
    RecordFile::CheckReport rep;
    st = f->check(rep);
    EXPECT_TRUE(st.ok()) << st.toString();
    uint32_t n = 0;
    EXPECT_TRUE(f->recordCount(n).ok());
    return n;
}

void fillFile(const std::string& path, const Schema& s, int count, int from, bool transaction) {
    std::unique_ptr<RecordFile> f;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, PagerOptions{}, f).ok());
    if (transaction) {
        ASSERT_TRUE(f->begin().ok());
    }
    for (int i = 0; i < count; ++i) {
        uint32_t r;
        std::vector<std::string> memo{std::string(300, char('a' + i % 26))};
        ASSERT_TRUE(f->add(location("http://host" + std::to_string(from + i) + ".example/page", "D", "C", i % 99),
                           &memo, r)
                        .ok());
    }
    if (transaction) {
        ASSERT_TRUE(f->commit().ok());
    }
}

// Every write of a commit in turn is the one at which the power goes off (or which fails): the
// file must come back as before or after the commit, never in between.
TEST(RecordFaults, InterruptedCommitsLeaveTheFileBeforeOrAfter) {
    Schema s = locationsSchema();
    for (bool powerCut : {true, false}) {
        for (int failAt = 1;; ++failAt) {
            TempDir dir;
            std::string path = dir.file("URL_L.VLX");
            ASSERT_TRUE(RecordFile::create(path, "UNNAMED", s).ok());
            fillFile(path, s, 120, 0, true);
            Faults faults;
            faults.failAt = failAt;
            faults.powerCut = powerCut;
            Status committed;
            {
                OpenerGuard guard(faults);
                std::unique_ptr<RecordFile> f;
                Status st = RecordFile::open(path, "UNNAMED", &s, PagerOptions{}, f);
                if (st.ok()) st = f->begin();
                for (int i = 0; st.ok() && i < 60; ++i) {
                    uint32_t r;
                    st = f->add(location("http://new" + std::to_string(i) + ".example/"), nullptr, r);
                }
                // and a change to a page of the committed state
                if (st.ok()) st = f->remove(5);
                if (st.ok()) st = f->commit();
                committed = st;
            }
            uint32_t n = countAndCheck(path, s);
            if (committed.ok())
                EXPECT_EQ(n, 179u) << "failAt " << failAt;
            else
                EXPECT_TRUE(n == 120u || n == 179u) << "failAt " << failAt << " count " << n;
            if (faults.writes < failAt) break;  // the commit finished before the fault
            ASSERT_LT(failAt, 200);
        }
    }
}

// Pack rewrites every page of the file in one commit: a power cut or a failing write at any of its
// writes leaves the file as it was or packed, with every record, memo and key as before.
TEST(RecordFaults, InterruptedPackLeavesTheFileBeforeOrAfter) {
    Schema s = locationsSchema();
    auto contents = [&](const std::string& path) {
        std::unique_ptr<RecordFile> f;
        std::vector<std::string> all;
        if (!RecordFile::open(path, "UNNAMED", &s, PagerOptions{}, f).ok()) return all;
        for (int key = -1; key < int(s.keys.size()); ++key) {
            Cursor c(*f, key);
            for (c.seekFirst(); c.valid(); c.next()) {
                std::string rec;
                std::vector<std::string> memos;
                EXPECT_TRUE(f->get(c.recno(), rec, &memos).ok());
                all.push_back(std::to_string(c.recno()) + rec + memos.at(0));
            }
        }
        return all;
    };
    for (bool powerCut : {true, false}) {
        for (int failAt = 1;; ++failAt) {
            TempDir dir;
            std::string path = dir.file("URL_L.VLX");
            ASSERT_TRUE(RecordFile::create(path, "UNNAMED", s).ok());
            fillFile(path, s, 160, 0, true);
            {
                std::unique_ptr<RecordFile> f;
                ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, PagerOptions{}, f).ok());
                for (uint32_t r = 1; r <= 160; ++r) {
                    if (r % 8 == 0) continue;
                    ASSERT_TRUE(f->remove(r).ok());
                }
            }
            std::vector<std::string> before = contents(path);
            ASSERT_EQ(before.size(), 20u * 7);
            Faults faults;
            faults.failAt = failAt;
            faults.powerCut = powerCut;
            Status packed;
            {
                OpenerGuard guard(faults);
                std::unique_ptr<RecordFile> f;
                packed = RecordFile::open(path, "UNNAMED", &s, PagerOptions{}, f);
                if (packed.ok()) packed = f->pack();
            }
            EXPECT_EQ(countAndCheck(path, s), 20u) << "failAt " << failAt;
            EXPECT_EQ(contents(path), before) << "failAt " << failAt;
            if (faults.writes < failAt) {
                EXPECT_TRUE(packed.ok()) << packed.toString();
                break;  // the pack finished before the fault
            }
            ASSERT_LT(failAt, 400);
        }
    }
}

std::string readAll(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void writeAll(const std::string& p, const std::string& d) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << d;
}

// Opens and reads everything; any outcome but a crash or a hang is acceptable, and a damaged
// structure must be reported (never passed off as a good file when the check walks over it).
Status openAndRead(const std::string& path) {
    std::unique_ptr<RecordFile> f;
    PagerOptions o;
    o.writable = false;
    VLX_TRY(RecordFile::open(path, "UNNAMED", nullptr, o, f));
    RecordFile::CheckReport rep;
    VLX_TRY(f->check(rep));
    for (int key = -1; key < int(f->schema().keys.size()); ++key) {
        Cursor c(*f, key);
        for (c.seekFirst(); c.valid(); c.next()) {
        }
        if (c.status().code != kNoRecord) return c.status();
    }
    return {};
}

// A locations file of `count` records (with memos) in dir; its bytes as written.
std::string filledFile(const TempDir& dir, const Schema& s, int count, std::string& path) {
    path = dir.file("URL_L.VLX");
    EXPECT_TRUE(RecordFile::create(path, "UNNAMED", s).ok());
    fillFile(path, s, count, 0, true);
    return readAll(path);
}

// Long writes go to the file in pieces; every byte must land where it was meant to, whatever the
// length and offset, and bytes around the write stay as they were.
TEST(RecordFaults, LongWritesLandWhole) {
    TempDir dir;
    std::string path = dir.file("pieces.bin");
    std::unique_ptr<FileIo> io;
    ASSERT_TRUE(openPosixFile(path, true, true, io).ok());
    std::mt19937 rng(5);
    std::string model;
    struct Case {
        uint64_t offset;
        size_t length;
    };
    for (Case c : {Case{0, 1}, Case{300, 16384}, Case{16384, 16385}, Case{7, 100000}, Case{250000, 3 * 16384 - 1},
                   Case{50, 40}}) {
        std::string bytes(c.length, '\0');
        for (char& b : bytes) b = char(rng());
        ASSERT_TRUE(io->write(c.offset, bytes.data(), bytes.size()).ok());
        if (model.size() < c.offset + c.length) model.resize(c.offset + c.length, '\0');
        model.replace(c.offset, c.length, bytes);
        uint64_t size = 0;
        ASSERT_TRUE(io->size(size).ok());
        ASSERT_EQ(size, model.size()) << c.offset << "+" << c.length;
        std::string back(model.size(), '\0');
        size_t got = 0;
        ASSERT_TRUE(io->read(0, back.data(), back.size(), got).ok());
        ASSERT_EQ(got, model.size());
        ASSERT_TRUE(back == model) << c.offset << "+" << c.length;
    }
}

// Reads copy from a mapping of the file. What another program writes, grows or cuts through its
// own descriptor must read exactly as a read call would give it: new bytes at once, a file grown
// past the room mapped, and a file cut short under the mapping (the copy faults; the read gives
// the short count, and no zeros linger once the file has its bytes again).
TEST(RecordFaults, ReadsFollowTheFileAsOthersChangeIt) {
    TempDir dir;
    std::string path = dir.file("view.bin");
    for (bool writable : {true, false}) {
        std::mt19937 rng(writable ? 11 : 12);
        auto randomBytes = [&](size_t n) {
            std::string b(n, '\0');
            for (char& c : b) c = char(rng());
            return b;
        };
        std::string model = randomBytes(300000);
        writeAll(path, model);
        std::unique_ptr<FileIo> io;
        ASSERT_TRUE(openPosixFile(path, writable, false, io).ok());
        int other = ::open(path.c_str(), O_RDWR);
        ASSERT_GE(other, 0);
        // Reads go through the mapping once the file has been read about as many times as it has
        // pages of 4096 bytes, and from the third read of a stretch of the file on: the file is read
        // that often first, and each read here is made three times, all three agreeing.
        auto readOften = [&](uint64_t size) {
            char b[8];
            size_t got = 0;
            for (uint64_t i = 0; i <= size / 4096; ++i) ASSERT_TRUE(io->read(0, b, sizeof b, got).ok());
        };
        readOften(model.size());
        auto readBack = [&](uint64_t offset, size_t n, std::string& out) {
            std::string first;
            for (int i = 0; i < 3; ++i) {
                out.assign(n, '\0');
                size_t got = 0;
                EXPECT_TRUE(io->read(offset, out.data(), n, got).ok());
                out.resize(got);
                if (i == 0) first = out;
                EXPECT_TRUE(out == first) << offset << "+" << n << " read " << i;
            }
        };
        std::string back;
        readBack(0, model.size(), back);
        ASSERT_TRUE(back == model);

        // another descriptor changes bytes in the middle
        readBack(120000, 10000, back);
        std::string patch = randomBytes(5000);
        ASSERT_EQ(::pwrite(other, patch.data(), patch.size(), 123457), ssize_t(patch.size()));
        model.replace(123457, patch.size(), patch);
        readBack(120000, 10000, back);
        EXPECT_TRUE(back == model.substr(120000, 10000));

        // and grows the file far past the room mapped for it
        const uint64_t far = uint64_t(200) << 20;
        std::string tail = randomBytes(3000);
        ASSERT_EQ(::pwrite(other, tail.data(), tail.size(), off_t(far)), ssize_t(tail.size()));
        readBack(far, 4000, back);  // a read past the end gives the short count
        readOften(far);
        EXPECT_TRUE(back == tail);
        readBack(far - 100, 100, back);
        EXPECT_EQ(back, std::string(100, '\0'));
        readBack(0, 2560, back);
        EXPECT_TRUE(back == model.substr(0, 2560));

        // then cuts it short under the mapping
        readBack(90000, 20000, back);
        uint64_t faults = viewFaults();
        ASSERT_EQ(::ftruncate(other, 100000), 0);
        readBack(90000, 20000, back);
        EXPECT_EQ(back.size(), 10000u);
        EXPECT_TRUE(back == model.substr(90000, 10000));
        EXPECT_GT(viewFaults(), faults);
        readBack(150000, 2560, back);
        EXPECT_TRUE(back.empty());

        // and gives it back its bytes: none of the zeros laid over the fault remain
        size_t rest = model.size() - 100000;
        ASSERT_EQ(::pwrite(other, model.data() + 100000, rest, 100000), ssize_t(rest));
        readBack(0, model.size(), back);
        EXPECT_TRUE(back == model);
        ::close(other);
    }
}

// Every operation confirms the header through a mapping of the file's first page. A file cut to
// nothing under an open reader (another program creating it anew, say) gives an error instead of
// bringing the program down, and reads as before once its bytes are back.
TEST(RecordFaults, AFileCutToNothingUnderAnOpenReaderGivesAnError) {
    TempDir dir;
    Schema s = locationsSchema();
    std::string path;
    std::string good = filledFile(dir, s, 50, path);
    std::unique_ptr<RecordFile> f;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, fastOptions(), f).ok());
    std::string before, rec;
    ASSERT_TRUE(f->get(7, before, nullptr).ok());
    uint64_t faults = mappedHeadFaults();
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(f->get(7, rec, nullptr).code, kInvalidDataFile) << i;
    EXPECT_GT(mappedHeadFaults(), faults);
    writeAll(path, good);
    ASSERT_TRUE(f->get(7, rec, nullptr).ok());
    EXPECT_EQ(rec, before);
    // another program's change is still seen through the mapping
    std::unique_ptr<RecordFile> other;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, fastOptions(), other).ok());
    std::string changed = location("http://changed.example/");
    ASSERT_TRUE(other->put(7, changed, nullptr).ok());
    ASSERT_TRUE(f->get(7, rec, nullptr).ok());
    EXPECT_EQ(rec, changed);
}

// A file cut in the middle under an open reader: every record still in it reads as before, the
// others give an error; nothing brings the program down.
TEST(RecordFaults, AFileCutInTheMiddleUnderAnOpenReaderGivesErrors) {
    TempDir dir;
    Schema s = locationsSchema();
    std::string path;
    std::string good = filledFile(dir, s, 300, path);
    std::vector<std::string> records(301);
    {
        std::unique_ptr<RecordFile> g;
        ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, fastOptions(), g).ok());
        for (uint32_t r = 1; r <= 300; ++r) ASSERT_TRUE(g->get(r, records[r], nullptr).ok()) << r;
    }
    std::unique_ptr<RecordFile> f;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, fastOptions(), f).ok());
    std::string rec;
    ASSERT_TRUE(f->get(1, rec, nullptr).ok());
    ASSERT_EQ(::truncate(path.c_str(), off_t(good.size() / 2)), 0);
    int failed = 0;
    for (uint32_t r = 1; r <= 300; ++r) {
        Status st = f->get(r, rec, nullptr);
        if (st.ok()) {
            EXPECT_EQ(rec, records[r]) << r;
        } else {
            ++failed;
        }
    }
    EXPECT_GT(failed, 0);
    writeAll(path, good);
    for (uint32_t r = 1; r <= 300; r += 37) {
        ASSERT_TRUE(f->get(r, rec, nullptr).ok()) << r;
        EXPECT_EQ(rec, records[r]);
    }
}

TEST(RecordFaults, DamagedFilesAreReportedNotFollowed) {
    TempDir dir;
    Schema s = locationsSchema();
    std::string path;
    std::string good = filledFile(dir, s, 300, path);
    ASSERT_TRUE(openAndRead(path).ok());

    std::mt19937 rng(7);
    int reported = 0;
    for (int round = 0; round < 300; ++round) {
        std::string bad = good;
        int flips = 1 + int(rng() % 4);
        for (int i = 0; i < flips; ++i) bad[rng() % bad.size()] ^= char(1 + rng() % 255);
        writeAll(path, bad);
        Status st = openAndRead(path);
        if (!st.ok()) ++reported;
    }
    EXPECT_GT(reported, 200);  // most flips land in page bytes that the decoders check

    struct Case {
        const char* what;
        std::string bytes;
        int code;
    } cases[] = {
        {"truncated header", good.substr(0, 300), kInvalidDataFile},
        {"truncated pages", good.substr(0, good.size() / 2), kDamaged},
        {"other format", "SQLite format 3" + std::string(4096, '\0'), kInvalidDataFile},
        {"zeroed header", std::string(512, '\0') + good.substr(512), kInvalidDataFile},
    };
    for (auto& c : cases) {
        writeAll(path, c.bytes);
        EXPECT_EQ(openAndRead(path).code, c.code) << c.what;
    }
}

}  // namespace
}  // namespace sitedex::record

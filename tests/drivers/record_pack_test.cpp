// Pack on real files: after most records are deleted the file shrinks, passes the check, and every
// remaining record keeps its number, its contents, its memo and its place in every key; another
// table of the same file comes through untouched; a later add goes on with the record numbers.

#include <sys/stat.h>

#include <cstring>
#include <map>
#include <random>

#include "tests/drivers/record_fixture.h"

namespace sitedex::record {
namespace {

using namespace testing;

uint64_t fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
}

// Every key's order as record numbers, and the records with their memos.
struct Snapshot {
    std::vector<std::vector<uint32_t>> orders;
    std::map<uint32_t, std::pair<std::string, std::string>> records;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(RecordFile& f) {
    Snapshot s;
    for (int key = -1; key < int(f.schema().keys.size()); ++key) {
        std::vector<uint32_t> order;
        Cursor c(f, key);
        for (c.seekFirst(); c.valid(); c.next()) order.push_back(c.recno());
        EXPECT_EQ(c.status().code, kNoRecord);
        s.orders.push_back(order);
    }
    for (uint32_t r : s.orders[0]) {
        std::string rec;
        std::vector<std::string> memos;
        EXPECT_TRUE(f.get(r, rec, &memos).ok());
        s.records[r] = {rec, memos.empty() ? "" : memos[0]};
    }
    return s;
}

class RecordPack : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("URL_L.VLX");
        ASSERT_TRUE(RecordFile::create(path, "UNNAMED", schema, fastOptions()).ok());
        ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &schema, fastOptions(), file).ok());
    }
    // n records with memos of varied length, in random order of their keys; returns their numbers.
    std::vector<uint32_t> fill(int n) {
        std::mt19937 rng(42);
        std::vector<uint32_t> recnos;
        EXPECT_TRUE(file->begin().ok());
        for (int i = 0; i < n; ++i) {
            uint32_t r;
            std::string url = "http://site" + std::to_string(rng() % 100000) + "-" + std::to_string(i) + ".example/";
            std::vector<std::string> memo{std::string(rng() % 900, char('a' + i % 26)) + "end"};
            EXPECT_TRUE(file->add(location(url, "desc " + std::to_string(rng() % 50), "cat" + std::to_string(i % 7),
                                           int(rng() % 100), i % 3 ? "kw" : ""),
                                  &memo, r)
                            .ok());
            recnos.push_back(r);
        }
        EXPECT_TRUE(file->commit().ok());
        return recnos;
    }
    void expectCheckOk() {
        RecordFile::CheckReport rep;
        Status s = file->check(rep);
        EXPECT_TRUE(s.ok()) << s.toString();
    }
    TempDir dir;
    std::string path;
    Schema schema = locationsSchema();
    std::unique_ptr<RecordFile> file;
};

TEST_F(RecordPack, AfterManyDeletesTheFileShrinksAndEveryRecordKeyAndMemoIsIntact) {
    std::vector<uint32_t> recnos = fill(1500);
    std::mt19937 rng(7);
    std::shuffle(recnos.begin(), recnos.end(), rng);
    for (size_t i = 0; i < recnos.size() * 9 / 10; ++i) ASSERT_TRUE(file->remove(recnos[i]).ok());
    Snapshot before = snapshot(*file);
    ASSERT_EQ(before.records.size(), 150u);
    uint64_t sizeBefore = fileSize(path);

    Status s = file->pack();
    ASSERT_TRUE(s.ok()) << s.toString();
    uint64_t sizeAfter = fileSize(path);
    EXPECT_LT(sizeAfter * 4, sizeBefore) << sizeBefore << " -> " << sizeAfter;
    expectCheckOk();
    EXPECT_EQ(snapshot(*file), before);
    uint32_t n, k;
    ASSERT_TRUE(file->recordCount(n).ok());
    EXPECT_EQ(n, 150u);
    ASSERT_TRUE(file->keyCount(4, k).ok());
    EXPECT_EQ(k, 150u);

    // Another program's view after the pack: the same file, read afresh.
    std::unique_ptr<RecordFile> other;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &schema, fastOptions(), other).ok());
    EXPECT_EQ(snapshot(*other), before);
    // Record numbers go on after the highest one ever handed out.
    uint32_t r;
    ASSERT_TRUE(file->add(location("http://after-pack/"), nullptr, r).ok());
    EXPECT_EQ(r, 1501u);
    // The packed file takes changes like any other, and packing twice changes nothing more.
    for (uint32_t rec : before.orders[0]) {
        if (rec % 2) continue;
        ASSERT_TRUE(file->remove(rec).ok());
    }
    ASSERT_TRUE(file->pack().ok());
    expectCheckOk();
    uint64_t once = fileSize(path);
    ASSERT_TRUE(file->pack().ok());
    EXPECT_EQ(fileSize(path), once);
    expectCheckOk();
}

TEST_F(RecordPack, EmptyTablesAndOtherTablesOfTheFile) {
    // an empty table packs to an empty tree (counters and definition only)
    ASSERT_TRUE(file->pack().ok());
    expectCheckOk();
    uint32_t n;
    ASSERT_TRUE(file->recordCount(n).ok());
    EXPECT_EQ(n, 0u);

    Schema small;
    small.recordSize = 10;
    small.fields.push_back(stringField("P:NAME", 0, 10));
    Key key;
    key.name = "P:K_NAME";
    key.parts = {{0, false}};
    small.keys.push_back(key);
    ASSERT_TRUE(RecordFile::create(path, "PEOPLE", small, fastOptions()).ok());
    std::unique_ptr<RecordFile> people;
    ASSERT_TRUE(RecordFile::open(path, "PEOPLE", &small, fastOptions(), people).ok());
    uint32_t r;
    for (const char* name : {"Cleo", "Ann", "Bob"}) ASSERT_TRUE(people->add(std::string(name) + std::string(10 - std::strlen(name), ' '), nullptr, r).ok());
    fill(300);
    Snapshot peopleBefore = snapshot(*people);
    Snapshot locationsBefore = snapshot(*file);
    ASSERT_TRUE(file->pack().ok());
    expectCheckOk();
    RecordFile::CheckReport rep;
    EXPECT_TRUE(people->check(rep).ok());
    EXPECT_EQ(snapshot(*people), peopleBefore);
    EXPECT_EQ(snapshot(*file), locationsBefore);
    EXPECT_EQ(peopleBefore.orders[1], (std::vector<uint32_t>{2, 3, 1}));
    // and the other table packs too
    ASSERT_TRUE(people->pack().ok());
    EXPECT_EQ(snapshot(*people), peopleBefore);
}

TEST_F(RecordPack, RefusedInsideATransactionWhichKeepsItsChanges) {
    fill(20);
    ASSERT_TRUE(file->begin().ok());
    uint32_t r;
    ASSERT_TRUE(file->add(location("http://in-transaction/"), nullptr, r).ok());
    EXPECT_EQ(file->pack().code, kAccessDenied);
    ASSERT_TRUE(file->commit().ok());
    uint32_t n;
    ASSERT_TRUE(file->recordCount(n).ok());
    EXPECT_EQ(n, 21u);
}

}  // namespace
}  // namespace sitedex::record

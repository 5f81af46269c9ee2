// The record engine on real files: records, memos, counters, reopening, many random changes
// checked against a plain model, several tables in one file and the stored definition.

#include <sys/wait.h>

#include <map>
#include <random>
#include <set>

#include "tests/drivers/record_fixture.h"

namespace sitedex::record {
namespace {

using namespace testing;

class RecordEngine : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("URL_L.VLX");
        ASSERT_TRUE(RecordFile::create(path, "UNNAMED", schema, fastOptions()).ok());
        reopen();
    }
    void reopen() {
        file.reset();
        Status s = RecordFile::open(path, "UNNAMED", &schema, fastOptions(), file);
        ASSERT_TRUE(s.ok()) << s.toString();
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

TEST_F(RecordEngine, AddGetPutRemoveWithMemosSurviveReopen) {
    uint32_t a, b;
    std::vector<std::string> memo{std::string(700, 'x') + "tail   "};
    ASSERT_TRUE(file->add(location("http://a.example/", "Alpha", "News", 7, "http"), &memo, a).ok());
    ASSERT_TRUE(file->add(location("http://b.example/", "Beta", "News", 3, "http"), nullptr, b).ok());
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 2u);
    reopen();
    std::string rec;
    std::vector<std::string> memos;
    ASSERT_TRUE(file->get(a, rec, &memos).ok());
    EXPECT_EQ(trimmed(rec.substr(255, 100)), "Alpha");
    ASSERT_EQ(memos.size(), 1u);
    EXPECT_EQ(memos[0], std::string(700, 'x') + "tail");  // trailing blanks are not stored

    std::vector<std::string> blank{"      "};
    ASSERT_TRUE(file->put(a, location("http://a.example/", "Alpha 2", "Tech", 9, "http"), &blank).ok());
    ASSERT_TRUE(file->get(a, rec, &memos).ok());
    EXPECT_EQ(trimmed(rec.substr(255, 100)), "Alpha 2");
    EXPECT_EQ(memos[0], "");

    ASSERT_TRUE(file->remove(b).ok());
    EXPECT_EQ(file->get(b, rec, nullptr).code, kRecordNotFound);
    EXPECT_EQ(file->remove(b).code, kNoRecord);
    EXPECT_EQ(file->put(b, location("x"), nullptr).code, kNoRecord);
    uint32_t n = 0;
    ASSERT_TRUE(file->recordCount(n).ok());
    EXPECT_EQ(n, 1u);
    // record numbers keep ascending after a delete
    uint32_t c;
    ASSERT_TRUE(file->add(location("http://c.example/"), nullptr, c).ok());
    EXPECT_EQ(c, 3u);
    expectCheckOk();
}

TEST_F(RecordEngine, BinaryMemoKeepsItsLengthAndBlanks) {
    Schema s;
    s.recordSize = 4;
    s.fields.push_back(stringField("B:ID", 0, 4));
    Memo m;
    m.name = "B:DATA";
    m.maxSize = 5000;
    m.flags = kMemoBinary;
    s.memos.push_back(m);
    std::string p = dir.file("BIN.VLX");
    ASSERT_TRUE(RecordFile::create(p, "UNNAMED", s, fastOptions()).ok());
    std::unique_ptr<RecordFile> f;
    ASSERT_TRUE(RecordFile::open(p, "UNNAMED", &s, fastOptions(), f).ok());
    std::string data(1000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7);
    data += "   ";
    std::vector<std::string> memos{data};
    uint32_t r;
    ASSERT_TRUE(f->add("abcd", &memos, r).ok());
    std::string rec;
    std::vector<std::string> back;
    ASSERT_TRUE(f->get(r, rec, &back).ok());
    EXPECT_EQ(back[0], data);
}

TEST_F(RecordEngine, RandomChangesMatchAModelAndTheCheckPasses) {
    // A tiny cache: the long transaction below must keep its changed pages packed and unpack them.
    PagerOptions small = fastOptions();
    small.cacheBytes = 64 << 10;
    file.reset();
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &schema, small, file).ok());
    std::mt19937 rng(42);
    std::map<uint32_t, std::string> model;
    std::map<std::string, uint32_t> byLocation;  // upper-cased location -> record
    auto upperLoc = [](std::string r) {
        std::string l = trimmed(r.substr(0, 255));
        for (char& ch : l) ch = char(toupper(ch));
        return l;
    };
    const char* cats[] = {"News", "tech", "Tech", "Sport", "", "Music"};
    ASSERT_TRUE(file->begin().ok());
    for (int i = 0; i < 6000; ++i) {
        int op = int(rng() % 10);
        std::string url = "http://site" + std::to_string(rng() % 2000) + ".example/" + std::string(rng() % 60, 'p');
        std::string rec = location(url, "Desc " + std::to_string(rng() % 50), cats[rng() % 6], int(rng() % 100),
                                   rng() % 2 ? "http" : "");
        if (op < 6 || model.empty()) {
            uint32_t r;
            Status s = file->add(rec, nullptr, r);
            if (byLocation.count(upperLoc(rec))) {
                EXPECT_EQ(s.code, kDuplicate);
            } else {
                ASSERT_TRUE(s.ok()) << s.toString();
                model[r] = rec;
                byLocation[upperLoc(rec)] = r;
            }
        } else if (op < 8) {
            auto it = std::next(model.begin(), long(rng() % model.size()));
            Status s = file->put(it->first, rec, nullptr);
            auto owner = byLocation.find(upperLoc(rec));
            if (owner != byLocation.end() && owner->second != it->first) {
                EXPECT_EQ(s.code, kDuplicate);
            } else {
                ASSERT_TRUE(s.ok()) << s.toString();
                byLocation.erase(upperLoc(it->second));
                byLocation[upperLoc(rec)] = it->first;
                it->second = rec;
            }
        } else {
            auto it = std::next(model.begin(), long(rng() % model.size()));
            ASSERT_TRUE(file->remove(it->first).ok());
            byLocation.erase(upperLoc(it->second));
            model.erase(it);
        }
        if (i == 4500) {
            ASSERT_TRUE(file->commit().ok());
            ASSERT_TRUE(file->begin().ok());
        }
    }
    Status committed = file->commit();
    ASSERT_TRUE(committed.ok()) << committed.toString();
    ASSERT_TRUE(file->pager().checkInvariants().ok());
    reopen();
    expectCheckOk();
    uint32_t n;
    ASSERT_TRUE(file->recordCount(n).ok());
    EXPECT_EQ(n, model.size());
    // record order holds exactly the model
    Cursor c(*file, -1);
    auto it = model.begin();
    for (Status s = c.seekFirst(); c.valid(); s = c.next(), ++it) {
        ASSERT_NE(it, model.end());
        EXPECT_EQ(c.recno(), it->first);
        EXPECT_EQ(c.record(), it->second);
    }
    EXPECT_EQ(it, model.end());
    // the location key lists the non-blank locations in case-insensitive order
    Cursor k(*file, 0);
    auto bl = byLocation.begin();
    if (bl != byLocation.end() && bl->first.empty()) ++bl;  // blank locations are left out
    for (k.seekFirst(); k.valid(); k.next(), ++bl) {
        ASSERT_NE(bl, byLocation.end());
        EXPECT_EQ(k.recno(), bl->second);
    }
    EXPECT_EQ(bl, byLocation.end());
}

TEST_F(RecordEngine, RollbackLeavesTheFileAsItWas) {
    uint32_t r;
    ASSERT_TRUE(file->add(location("http://keep/"), nullptr, r).ok());
    ASSERT_TRUE(file->begin().ok());
    for (int i = 0; i < 500; ++i) ASSERT_TRUE(file->add(location("http://gone/" + std::to_string(i)), nullptr, r).ok());
    file->rollback();
    uint32_t n;
    ASSERT_TRUE(file->recordCount(n).ok());
    EXPECT_EQ(n, 1u);
    reopen();
    ASSERT_TRUE(file->recordCount(n).ok());
    EXPECT_EQ(n, 1u);
    expectCheckOk();
}

// In a file much larger than its cache, leaves changed once by a commit are let go after it,
// while pages met again stay: single adds, puts and deletes at random, each committed, keep every
// record and key right.
TEST_F(RecordEngine, CommitsInAFileLargerThanItsCacheKeepOnlyPagesMetAgain) {
    std::vector<std::string> memo{std::string(300, 'm')};
    uint32_t r;
    ASSERT_TRUE(file->begin().ok());
    for (int i = 0; i < 4000; ++i)
        ASSERT_TRUE(file->add(location("http://big.example/" + std::to_string(i * 7919 % 4000), "Big " +
                                       std::to_string(i % 97), "Cat" + std::to_string(i % 13), i % 100),
                              &memo, r).ok());
    ASSERT_TRUE(file->commit().ok());
    PagerOptions small = fastOptions();
    small.cacheBytes = 512 << 10;
    file.reset();
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &schema, small, file).ok());
    std::map<uint32_t, std::string> model;  // records added or changed here
    std::set<uint32_t> removed;
    std::mt19937 rng(17);
    for (int i = 0; i < 400; ++i) {
        std::string url = "http://single.example/" + std::to_string(rng() % 100000) + "/" + std::to_string(i);
        std::string rec =
            location(url, "Single " + std::to_string(i % 31), "Cat" + std::to_string(rng() % 13), int(rng() % 100));
        switch (i % 4) {
            case 0:
            case 1:
                ASSERT_TRUE(file->add(rec, &memo, r).ok());
                model[r] = rec;
                break;
            case 2: {  // a record of the first four thousand changed
                uint32_t at = 1 + rng() % 4000;
                if (model.count(at) || removed.count(at)) break;
                ASSERT_TRUE(file->put(at, rec, nullptr).ok());
                model[at] = rec;
                break;
            }
            default: {
                auto it = model.begin();
                std::advance(it, long(rng() % model.size()));
                ASSERT_TRUE(file->remove(it->first).ok());
                removed.insert(it->first);
                model.erase(it);
            }
        }
    }
    for (auto& [at, rec] : model) {
        std::string got;
        ASSERT_TRUE(file->get(at, got, nullptr).ok()) << at;
        EXPECT_EQ(got, rec) << at;
        Cursor c(*file, 0);
        ASSERT_TRUE(c.seek(file->keyEntry(0, rec, 0), true).ok());
        ASSERT_TRUE(c.valid());
        EXPECT_EQ(c.recno(), at);
    }
    expectCheckOk();
    reopen();
    expectCheckOk();
    uint32_t n;
    ASSERT_TRUE(file->recordCount(n).ok());
    EXPECT_EQ(n, 4000 + 200 - 100u);
}

// A transaction far larger than the cache writes its new pages out as it goes instead of holding
// them all; undoing it, or a program ending without committing it, leaves the file as it was.
TEST_F(RecordEngine, ALongTransactionStaysWithinItsMemoryAndLeavesNothingWhenUndone) {
    PagerOptions small = fastOptions();
    small.cacheBytes = 256 << 10;
    file.reset();
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &schema, small, file).ok());
    uint32_t r;
    std::vector<std::string> memo{std::string(600, 'm')};
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(file->add(location("http://kept.example/" + std::to_string(i), "Kept"), &memo, r).ok());
    auto addMany = [&](RecordFile& f, bool bounded = true) {
        size_t most = 0;
        for (int i = 0; i < 20000; ++i) {
            Status s = f.add(location("http://long.example/" + std::to_string(i * 7919 % 20000), "Long " +
                                      std::to_string(i % 97), "Cat" + std::to_string(i % 13), i % 100),
                             &memo, r);
            if (!s.ok()) return s;
            most = std::max(most, f.pager().cachedPages());
        }
        // Without writing out, every one of the ~4000 new pages would stay in memory to the end.
        if (bounded) {
            EXPECT_LT(most, 1200u);
        }
        return Status{};
    };
    ASSERT_TRUE(file->begin().ok());
    ASSERT_TRUE(addMany(*file).ok());
    file->rollback();
    ASSERT_TRUE(file->pager().checkInvariants().ok());
    uint32_t n;
    ASSERT_TRUE(file->recordCount(n).ok());
    EXPECT_EQ(n, 300u);
    expectCheckOk();
    // The same again in a program that ends before it commits.
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::unique_ptr<RecordFile> f;
        if (!RecordFile::open(path, "UNNAMED", &schema, small, f).ok() || !f->begin().ok()) ::_exit(1);
        ::_exit(addMany(*f).ok() ? 0 : 1);
    }
    int st = 0;
    ASSERT_EQ(::waitpid(pid, &st, 0), pid);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    reopen();
    ASSERT_TRUE(file->recordCount(n).ok());
    EXPECT_EQ(n, 300u);
    expectCheckOk();
    // And committed, everything is there and the keys agree with the records.
    file.reset();
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &schema, small, file).ok());
    ASSERT_TRUE(file->begin().ok());
    ASSERT_TRUE(addMany(*file).ok());
    ASSERT_TRUE(file->commit().ok());
    reopen();
    ASSERT_TRUE(file->recordCount(n).ok());
    EXPECT_EQ(n, 20300u);
    expectCheckOk();
    std::string rec;
    std::vector<std::string> memos;
    ASSERT_TRUE(file->get(20300, rec, &memos).ok());
    ASSERT_EQ(memos.size(), 1u);
    EXPECT_EQ(memos[0], memo[0]);
    // Pages written out early moved as they grew; the commit closed the holes they left: the file
    // is as large as the same changes made with memory enough to hold them all.
    std::string other = dir.file("OTHER.VLX");
    ASSERT_TRUE(RecordFile::create(other, "UNNAMED", schema, fastOptions()).ok());
    PagerOptions large = fastOptions();
    large.cacheBytes = size_t(1) << 30;
    std::unique_ptr<RecordFile> roomy;
    ASSERT_TRUE(RecordFile::open(other, "UNNAMED", &schema, large, roomy).ok());
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(roomy->add(location("http://kept.example/" + std::to_string(i), "Kept"), &memo, r).ok());
    ASSERT_TRUE(roomy->begin().ok());
    ASSERT_TRUE(addMany(*roomy, false).ok());
    ASSERT_TRUE(roomy->commit().ok());
    EXPECT_LE(file->pager().allocEnd(), roomy->pager().allocEnd() / 100 * 101);
}

// Two open files of one table in one process are two programs to the lock protocol: each must
// drop what it cached when the other committed.
// With a cache far smaller than the file, lookups at random search most leaves on disk instead of
// caching them; what they find must be what the cache would give: records, memos of several pieces,
// keys sought exactly and from between two keys, after own changes and another program's.
TEST_F(RecordEngine, LookupsAgreeWhetherALeafIsCachedOrSearchedOnDisk) {
    std::mt19937 rng(17);
    auto urlOf = [](int i) { return "http://site" + std::to_string(i * 37 % 3000) + ".example/"; };
    std::map<uint32_t, std::pair<std::string, std::string>> model;  // record number -> record, memo
    ASSERT_TRUE(file->begin().ok());
    for (int i = 0; i < 3000; ++i) {
        std::string rec = location(urlOf(i), "Site " + std::to_string(i), "Cat" + std::to_string(i % 7), i % 100);
        std::vector<std::string> memo{i % 3 ? "" : std::string(size_t(50 + i % 700), char('a' + i % 26))};
        uint32_t r;
        ASSERT_TRUE(file->add(rec, &memo, r).ok());
        model[r] = {rec, memo[0]};
    }
    ASSERT_TRUE(file->commit().ok());
    PagerOptions small = fastOptions();
    small.cacheBytes = 64 << 10;
    std::unique_ptr<RecordFile> other;
    file.reset();
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &schema, small, file).ok());
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &schema, small, other).ok());
    std::string rec;
    std::vector<std::string> memos;
    // Most records have no memo, which the keys of a leaf met before mostly tell without a read;
    // a memo given since, by this program or the other, is found all the same.
    auto expectAsModelled = [&](uint32_t r) {
        ASSERT_TRUE(file->get(r, rec, &memos).ok()) << r;
        EXPECT_EQ(rec, model[r].first) << r;
        ASSERT_EQ(memos.size(), 1u);
        EXPECT_EQ(memos[0], model[r].second) << r;
    };
    for (int i = 0; i < 6000; ++i) expectAsModelled(uint32_t(1 + rng() % model.size()));
    EXPECT_GT(file->pager().answeredByLeafKeys(), 200u);
    for (uint32_t r : {3u, 1500u, 2999u}) {  // numbers 2, 3, 5, 6, ... have no memo
        ASSERT_TRUE(model[r].second.empty());
        RecordFile& by = r == 1500 ? *file : *other;
        std::vector<std::string> memo{"given later " + std::to_string(r)};
        ASSERT_TRUE(by.put(r, model[r].first, &memo).ok());
        model[r].second = memo[0];
        expectAsModelled(r);
        for (auto& [n, m] : model) expectAsModelled(n);
    }
    for (int step = 0; step < 6000; ++step) {
        auto it = model.begin();
        std::advance(it, long(rng() % model.size()));
        uint32_t r = it->first;
        switch (rng() % 8) {
            case 0: {  // a change, by this program or the other one
                std::string changed = location(trimmed(it->second.first.substr(0, 255)), "Changed " + std::to_string(step));
                std::vector<std::string> memo{std::string(size_t(rng() % 600), 'z')};
                RecordFile& by = rng() % 2 ? *file : *other;
                ASSERT_TRUE(by.put(r, changed, &memo).ok());
                it->second = {changed, memo[0]};
                break;
            }
            case 1: {  // a key sought from just before it: the first entry at or after
                Cursor c(*file, 0);
                std::string entry = file->keyEntry(0, it->second.first, r);
                std::string before = entry;
                before.back() = char(uint8_t(before.back()) - 1);
                ASSERT_TRUE(c.seek(before, true).ok());
                ASSERT_EQ(c.key(), entry) << step;
                EXPECT_EQ(c.recno(), r);
                EXPECT_EQ(c.record(), it->second.first);
                break;
            }
            case 2: {  // exactly, as a get by key does
                Cursor c(*file, 0);
                ASSERT_TRUE(c.seek(file->keyEntry(0, it->second.first, r), true).ok());
                EXPECT_EQ(c.recno(), r) << step;
                break;
            }
            default:
                ASSERT_TRUE(file->get(r, rec, &memos).ok()) << step;
                EXPECT_EQ(rec, it->second.first) << step;
                ASSERT_EQ(memos.size(), 1u);
                EXPECT_EQ(memos[0], it->second.second) << step;
        }
    }
    EXPECT_EQ(file->get(99999, rec, nullptr).code, kRecordNotFound);
    EXPECT_TRUE(file->pager().checkInvariants().ok());
    expectCheckOk();
}

TEST_F(RecordEngine, TwoInstancesTakingTurnsAtWritingStayConsistent) {
    std::unique_ptr<RecordFile> other;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &schema, fastOptions(), other).ok());
    RecordFile* files[2] = {file.get(), other.get()};
    for (int i = 0; i < 1500; ++i) {
        RecordFile* f = files[(i * 7 / 3) % 2];
        uint32_t r;
        std::string url = "http://p" + std::to_string(i % 2) + "-" + std::to_string(i) + ".example/";
        Status st = f->add(location(url, "d" + std::to_string(i % 97), "c"), nullptr, r);
        ASSERT_TRUE(st.ok()) << i << " " << st.toString();
        if (i % 5 == 4) {
            ASSERT_TRUE(files[i % 2]->remove(r).ok());
        }
        ASSERT_TRUE(f->pager().checkInvariants().ok());
    }
    expectCheckOk();
    uint32_t a, b;
    ASSERT_TRUE(file->recordCount(a).ok());
    ASSERT_TRUE(other->recordCount(b).ok());
    EXPECT_EQ(a, 1200u);
    EXPECT_EQ(b, 1200u);
}

TEST(RecordTables, SeveralTablesShareOneFileAndNamesResolve) {
    std::string p, t;
    splitTableName("DATA\\!PEOPLE", p, t);
    EXPECT_EQ(p, "DATA.VLX");
    EXPECT_EQ(t, "PEOPLE");
    splitTableName("/x/DATA", p, t);
    EXPECT_EQ(p, "/x/DATA.VLX");
    EXPECT_EQ(t, "UNNAMED");
    splitTableName("/x.d/URL_L.VLX", p, t);
    EXPECT_EQ(p, "/x.d/URL_L.VLX");

    TempDir dir;
    std::string path = dir.file("DATA.VLX");
    Schema s = locationsSchema();
    Schema small;
    small.recordSize = 10;
    small.fields.push_back(stringField("P:NAME", 0, 10));
    Key k;
    k.name = "P:K_NAME";
    k.attributes = kKeyNoCase;
    k.parts = {{0, false}};
    small.keys.push_back(k);
    ASSERT_TRUE(RecordFile::create(path, "UNNAMED", s, fastOptions()).ok());
    ASSERT_TRUE(RecordFile::create(path, "PEOPLE", small, fastOptions()).ok());
    std::unique_ptr<RecordFile> a, b;
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", &s, fastOptions(), a).ok());
    ASSERT_TRUE(RecordFile::open(path, "people", &small, fastOptions(), b).ok());
    uint32_t r;
    ASSERT_TRUE(a->add(location("http://x/"), nullptr, r).ok());
    ASSERT_TRUE(b->add("Ann       ", nullptr, r).ok());
    ASSERT_TRUE(b->add("Bob       ", nullptr, r).ok());
    uint32_t na, nb;
    ASSERT_TRUE(a->recordCount(na).ok());
    ASSERT_TRUE(b->recordCount(nb).ok());
    EXPECT_EQ(na, 1u);
    EXPECT_EQ(nb, 2u);
    std::vector<std::string> names;
    ASSERT_TRUE(RecordFile::listTables(path, names).ok());
    EXPECT_EQ(names, (std::vector<std::string>{"PEOPLE", "UNNAMED"}));
    std::unique_ptr<RecordFile> missing;
    EXPECT_EQ(RecordFile::open(path, "OTHER", nullptr, fastOptions(), missing).code, kNotFound);
    EXPECT_EQ(RecordFile::open(dir.file("NONE.VLX"), "UNNAMED", nullptr, fastOptions(), missing).code, kNotFound);
}

TEST(RecordDefinition, OpenComparesTheStoredDefinition) {
    TempDir dir;
    std::string path = dir.file("URL_H.VLX");
    Schema s;
    s.recordSize = 60;
    s.fields.push_back(stringField("HTM:CATEGORY", 0, 30));
    s.fields.push_back(stringField("HTM:TYPEOFHTML", 30, 30));
    Memo m;
    m.name = "HTM:HTMLTOADD";
    m.maxSize = 1000;
    s.memos.push_back(m);
    Key k;
    k.name = "HTM:KEYCATEGORYHTML";
    k.attributes = 22;
    k.parts = {{0, false}, {1, false}};
    s.keys.push_back(k);
    ASSERT_TRUE(RecordFile::create(path, "UNNAMED", s, fastOptions()).ok());
    std::unique_ptr<RecordFile> f;

    Schema noFlag16 = s;  // bit 16 is left out of the comparison
    noFlag16.keys[0].attributes = 6;
    EXPECT_TRUE(RecordFile::open(path, "UNNAMED", &noFlag16, fastOptions(), f).ok());
    Schema otherMemoFlags = s;  // only the binary flag of a memo counts
    otherMemoFlags.memos[0].flags = 4;
    EXPECT_TRUE(RecordFile::open(path, "UNNAMED", &otherMemoFlags, fastOptions(), f).ok());

    struct Case {
        const char* what;
        std::function<void(Schema&)> change;
    } cases[] = {
        {"key becomes case-sensitive", [](Schema& x) { x.keys[0].attributes = 18; }},
        {"field longer", [](Schema& x) { x.fields[1].size = 31, x.recordSize = 61; }},
        {"component descending", [](Schema& x) { x.keys[0].parts[1].descending = true; }},
        {"memo binary", [](Schema& x) { x.memos[0].flags = kMemoBinary; }},
        {"field renamed", [](Schema& x) { x.fields[0].name = "HTM:CAT"; }},
    };
    for (auto& c : cases) {
        Schema changed = s;
        c.change(changed);
        EXPECT_EQ(RecordFile::open(path, "UNNAMED", &changed, fastOptions(), f).code, kBadDeclaration) << c.what;
    }
    // the stored definition reads back as it was declared
    ASSERT_TRUE(RecordFile::open(path, "UNNAMED", nullptr, fastOptions(), f).ok());
    EXPECT_TRUE(sameDefinition(f->schema(), s));
    EXPECT_EQ(f->schema().keys[0].attributes, 22);

    Schema array = s;
    array.fields[0].elements = 2;
    array.fields[0].size = 15;
    EXPECT_EQ(validateSchema(array).code, kBadFieldType);
    Schema badType = s;
    badType.fields[0].type = 5;
    EXPECT_EQ(validateSchema(badType).code, kUnsupportedType);
}

}  // namespace
}  // namespace sitedex::record

// The entry tree with separators shortened between leaves: an inner entry is then often no key of
// the tree at all, so every search must still land on the right side of it. Seeks in both
// directions and exact lookups are checked against an ordered set for keys, for the separators
// themselves and for the values just around them, after inserts at random, erasures and a pack.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>

#include "drivers/record/btree.h"
#include "tests/drivers/record_fixture.h"

namespace sitedex::record {
namespace {

using namespace testing;

TEST(ShortSeparator, IsTheShortestBeginningOfTheRightKeyAboveTheLeftOne) {
    struct Case {
        std::string left, right, want;
    } cases[] = {
        {"apple", "banana", "b"},
        {"abc", "abd", "abd"},
        {"abc", "abcd", "abcd"},          // the left key is a beginning of the right one
        {"ab", "abcdef", "abc"},
        {"abz", "ac", "ac"},
        {std::string("a\0b", 3), std::string("a\1", 2), std::string("a\1", 2)},
        {"HTTP://SITE1/    ", "HTTP://SITE2/    ", "HTTP://SITE2"},
        {"x", "\xff", "\xff"},            // bytes compare unsigned
    };
    for (const Case& c : cases) {
        std::string_view sep = shortSeparator(c.left, c.right);
        EXPECT_EQ(std::string(sep), c.want) << c.left << " | " << c.right;
        EXPECT_GT(sep, std::string_view(c.left));
        EXPECT_LE(sep, std::string_view(c.right));
    }
}

class ShortSeparators : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("TREE.VLX");
        PagerOptions o = fastOptions();
        o.create = true;
        ASSERT_TRUE(Pager::open(path, o, pager).ok());
    }

    // Keys as the key entries of a location key look: a long shared beginning, a short varying
    // part and blank padding. Neighbours in order share all but a few bytes.
    static std::string keyOf(uint32_t i) {
        std::string k = "\x01\x02HTTPS://WWW.EXAMPLE-SITE-OF-SOMEONE.ORG/PAGE/" + std::to_string(i * 7 % 100003);
        k.resize(200, ' ');
        return k;
    }

    // Every inner entry of the tree, with the deepest level seen.
    void innerEntries(std::vector<std::string>& out, int& levels) {
        out.clear();
        levels = 0;
        std::vector<uint64_t> todo{pager->root()};
        while (!todo.empty()) {
            Node* n;
            ASSERT_TRUE(pager->node(todo.back(), n).ok());
            todo.pop_back();
            levels = std::max(levels, int(n->level));
            if (n->level == 0) continue;
            for (size_t i = 0; i < n->count(); ++i) out.emplace_back(n->key(i));
            todo.insert(todo.end(), n->children.begin(), n->children.end());
        }
    }

    // Seeks and lookups for every key, every inner entry, and values just below and above them.
    void expectSearchesAgree(Tree& t, const std::set<std::string>& model) {
        std::vector<std::string> seps;
        int levels;
        innerEntries(seps, levels);
        std::vector<std::string> probes(seps.begin(), seps.end());
        probes.insert(probes.end(), model.begin(), model.end());
        size_t n = probes.size();
        for (size_t i = 0; i < n; ++i) {
            std::string p = probes[i];
            probes.push_back(p + '\0');
            if (p.size() > 1) probes.push_back(p.substr(0, p.size() - 1));
            std::string below = p;
            if (below.back() != '\0') {
                --below.back();
                probes.push_back(below);
            }
        }
        for (const std::string& p : probes) {
            std::string got;
            bool found;
            for (bool strict : {false, true}) {
                ASSERT_TRUE(t.seekForward(p, strict, got, nullptr, found).ok());
                auto want = strict ? model.upper_bound(p) : model.lower_bound(p);
                ASSERT_EQ(found, want != model.end()) << p;
                if (found) {
                    ASSERT_EQ(got, *want);
                }
                ASSERT_TRUE(t.seekBackward(p, strict, got, nullptr, found).ok());
                auto after = strict ? model.lower_bound(p) : model.upper_bound(p);
                ASSERT_EQ(found, after != model.begin()) << p;
                if (found) {
                    ASSERT_EQ(got, *std::prev(after));
                }
            }
            ASSERT_TRUE(t.find(p, nullptr, found).ok());
            ASSERT_EQ(found, model.count(p) == 1) << p;
        }
        ASSERT_TRUE(pager->commit().ok());  // the check reads pages from the file
        Tree::CheckResult r;
        Status st = t.check(r);
        ASSERT_TRUE(st.ok()) << st.toString();
        EXPECT_EQ(r.entries, model.size());
    }

    TempDir dir;
    std::string path;
    std::unique_ptr<Pager> pager;
};

TEST_F(ShortSeparators, SearchesAgreeWithAnOrderedSetThroughInsertsAndErasures) {
    std::mt19937 rng(5);
    std::set<std::string> model;
    ASSERT_TRUE(pager->enterWrite().ok());
    Tree t(*pager);
    std::vector<uint32_t> order(4000);
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    for (uint32_t i : order) {
        ASSERT_TRUE(t.put(keyOf(i), "data").ok());
        model.insert(keyOf(i));
    }
    // Separators are the few bytes that tell two neighbouring leaves apart, not whole keys.
    std::vector<std::string> seps;
    int levels;
    innerEntries(seps, levels);
    ASSERT_GE(levels, 1);
    size_t longest = 0;
    for (size_t i = 1; i < seps.size(); ++i) longest = std::max(longest, seps[i].size());
    EXPECT_LT(longest, 60u);
    expectSearchesAgree(t, model);
    // Erasing keys, the first and last of leaves among them, and inserting between the
    // separators and the keys they were cut from.
    for (int round = 0; round < 2000; ++round) {
        uint32_t i = rng() % 4000;
        bool found;
        ASSERT_TRUE(t.erase(keyOf(i), found).ok());
        EXPECT_EQ(found, model.erase(keyOf(i)) == 1);
    }
    innerEntries(seps, levels);
    for (const std::string& s : seps) {
        std::string k = s + std::string(3, '\0');
        ASSERT_TRUE(t.put(k, "between").ok());
        model.insert(k);
    }
    expectSearchesAgree(t, model);
    pager->leave();
}

// A pack builds the tree bottom-up: its separators are shortened the same way.
TEST(ShortSeparatorsAfterPack, KeysAreFoundAndSeparatorsAreShort) {
    TempDir dir;
    std::unique_ptr<RecordFile> file;
    createLocationsFile(dir.file("URL_L.VLX"), file);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->begin().ok());
    uint32_t r;
    for (int i = 0; i < 3000; ++i)
        ASSERT_TRUE(file->add(location("http://www.some-long-host-name.example/" + std::to_string(i * 7 % 3001),
                                       "Description " + std::to_string(i % 50)),
                              nullptr, r)
                        .ok());
    ASSERT_TRUE(file->commit().ok());
    ASSERT_TRUE(file->pack().ok());
    Pager& p = file->pager();
    ASSERT_TRUE(p.enterRead().ok());
    std::vector<uint64_t> todo{p.root()};
    size_t inner = 0, longest = 0, total = 0;
    while (!todo.empty()) {
        Node* n;
        ASSERT_TRUE(p.node(todo.back(), n).ok());
        todo.pop_back();
        if (n->level == 0) continue;
        for (size_t i = 1; i < n->count(); ++i) {
            longest = std::max(longest, n->key(i).size());
            total += n->key(i).size();
        }
        inner += n->count();
        todo.insert(todo.end(), n->children.begin(), n->children.end());
    }
    p.leave();
    ASSERT_GT(inner, 10u);
    // Key entries are 255 to 400 bytes long; a separator keeps what tells two leaves apart: the
    // fields before the address and the address up to its number.
    EXPECT_LT(longest, 170u);
    EXPECT_LT(total / inner, 120u) << longest;
    RecordFile::CheckReport rep;
    ASSERT_TRUE(file->check(rep).ok());
    EXPECT_EQ(rep.records, 3000u);
    for (int i = 0; i < 3000; i += 7) {
        std::string probe = location("http://www.some-long-host-name.example/" + std::to_string(i * 7 % 3001), "");
        Cursor c(*file, 0);
        std::string entry = file->keyEntry(0, probe, 0);
        ASSERT_TRUE(file->reading([&]() -> Status { return c.seek(entry, true); }).ok());
        ASSERT_TRUE(c.valid());
        EXPECT_EQ(c.key(), entry);
    }
}

}  // namespace
}  // namespace sitedex::record

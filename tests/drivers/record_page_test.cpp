// Tree pages in memory and on disk: the run-length code against a plain byte-by-byte coder (the
// fast scanner must find the same runs, so pages stay byte-identical), and the page size a node
// keeps up to date while entries come and go against a size worked out afresh.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>

#include "drivers/record/id_table.h"
#include "drivers/record/node.h"

namespace sitedex::record {
namespace {

// The coder as first written: a run starts where four bytes are equal.
std::string plainPack(std::string_view body) {
    auto count = [](std::string& out, size_t v) {
        while (v >= 128) {
            out.push_back(char(0x80 | (v & 0x7F)));
            v >>= 7;
        }
        out.push_back(char(v));
    };
    std::string out;
    const char* p = body.data();
    size_t litStart = 0, i = 0, n = body.size();
    while (i + 3 < n) {
        if (p[i] != p[i + 1] || p[i] != p[i + 2] || p[i] != p[i + 3]) {
            ++i;
            continue;
        }
        size_t j = i + 4;
        while (j < n && p[j] == p[i]) ++j;
        count(out, i + 1 - litStart);
        out.append(p + litStart, i + 1 - litStart);
        count(out, j - i - 1);
        litStart = i = j;
    }
    if (litStart < n) {
        count(out, n - litStart);
        out.append(p + litStart, n - litStart);
    }
    return out;
}

void expectCodesAgree(const std::string& body, const std::string& what) {
    std::string packed;
    rlePack(body, packed);
    EXPECT_EQ(packed, plainPack(body)) << what;
    std::string back;
    Status s = rleUnpack(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(), body.size(), back, kUnit);
    ASSERT_TRUE(s.ok()) << what << ": " << s.toString();
    EXPECT_EQ(back, body) << what;
}

TEST(RunLengthCode, FindsTheSameRunsAsThePlainCoder) {
    // Short bodies, and runs of three, four and five equal bytes starting at every offset of a
    // body longer than the eight bytes looked at together (a run of three must not count).
    for (size_t len = 0; len <= 12; ++len) expectCodesAgree(std::string(len, 'b'), "all equal, " + std::to_string(len));
    for (size_t runLen = 3; runLen <= 5; ++runLen)
        for (size_t at = 0; at + runLen <= 40; ++at) {
            std::string body;
            for (size_t i = 0; i < 40; ++i) body.push_back(char('a' + i % 26));
            body.replace(at, runLen, runLen, '.');
            expectCodesAgree(body, "run of " + std::to_string(runLen) + " at " + std::to_string(at));
        }
    // Records as stored: text, long blank tails, binary counters with zero bytes.
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        std::string body;
        size_t want = rng() % 3000;
        while (body.size() < want) {
            switch (rng() % 4) {
                case 0:
                    body.append(rng() % 300, ' ');
                    break;
                case 1:
                    body.append(rng() % 9, char(rng() % 3));
                    break;
                default:
                    for (int i = int(rng() % 60); i > 0; --i) body.push_back(char('a' + rng() % 4));
            }
        }
        expectCodesAgree(body, "random body " + std::to_string(round));
    }
}

std::string keyOf(std::mt19937& rng) {
    // shared beginnings, as the entries of one key have (table and key number, similar values)
    std::string k = "\x01\x02";
    k += std::string(rng() % 3, 'a');
    for (int i = int(1 + rng() % 20); i > 0; --i) k.push_back(char('a' + rng() % 3));
    return k;
}

// The entries of a node in order, as (key, data).
std::vector<std::pair<std::string, std::string>> entriesOf(const Node& n) {
    std::vector<std::pair<std::string, std::string>> out;
    for (size_t i = 0; i < n.count(); ++i) out.emplace_back(n.key(i), n.data(i));
    return out;
}

TEST(NodeSize, SizeAndSearchKeptUpToDateByInsertAndEraseAndEqualToTheEncodedPage) {
    for (uint8_t level : {uint8_t(0), uint8_t(1)}) {
        std::mt19937 rng(level + 11);
        Node n;
        n.level = level;
        // What the node must hold: its entries lie in its buffer in the order they came, with the
        // room erased and replaced ones left until it is reclaimed.
        std::vector<std::pair<std::string, std::string>> model;
        for (int step = 0; step < 2000; ++step) {
            if (n.count() > 0 && (rng() % 3 == 0 || n.count() > 150)) {
                size_t i = rng() % n.count();
                n.erase(i);
                model.erase(model.begin() + long(i));
            } else {
                std::string k = keyOf(rng);
                size_t i = 0;
                while (i < n.count() && n.key(i) < k) ++i;
                if (i < n.count() && n.key(i) == k) continue;
                std::string d = level ? std::string() : std::string(rng() % 70, char('0' + rng() % 2));
                n.insert(i, k, d);
                model.insert(model.begin() + long(i), {k, d});
                if (level) n.children.insert(n.children.begin() + long(i), uint64_t(kUnit) * (step + 4));
            }
            if (step % 7 == 0 && n.count() > 0) {
                // the same length, another length, and the entry's own bytes
                size_t i = rng() % n.count();
                std::string d = level ? "" : step % 3 == 0 ? std::string(model[i].second.size(), 'r') : "zz";
                if (!level && step % 5 == 0 && model[i].second.size() > 2) {
                    d = model[i].second.substr(1);
                    n.replaceData(i, n.data(i).substr(1));
                } else {
                    n.replaceData(i, d);
                }
                model[i].second = d;
            }
            if (step % 97 == 96 && n.count() > 3) {
                // A cut and the tail put back, as a split and a merge would.
                Node right;
                right.level = level;
                size_t cut = n.count() / 2;
                n.moveTail(cut, right);
                ASSERT_EQ(n.count(), cut);
                ASSERT_EQ(entriesOf(right), decltype(model)(model.begin() + long(cut), model.end()));
                EXPECT_LE(n.buf.size(), n.liveBytes());  // nothing left behind
                for (size_t j = 0; j < right.count(); ++j) {
                    n.insert(n.count(), right.key(j), right.data(j));
                    if (level) n.children.push_back(right.children[j]);
                }
            }
            ASSERT_EQ(entriesOf(n), model) << "step " << step;
            ASSERT_LE(n.buf.size(), 2 * n.liveBytes() + 1024) << "room given up is reclaimed";
            // The search by heads against a plain walk: keys held, new keys, and their beginnings
            // (shorter than what all entries share, or ending inside a head).
            for (int probe = 0; probe < 4; ++probe) {
                std::string k = n.count() && probe < 2 ? std::string(n.key(rng() % n.count())) : keyOf(rng);
                if (probe == 1) k.resize(rng() % (k.size() + 1));
                for (bool after : {false, true}) {
                    size_t want = 0;
                    while (want < n.count() && (after ? n.key(want) <= k : n.key(want) < k)) ++want;
                    ASSERT_EQ(n.lowerBound(k, after), want) << "step " << step << " after " << after;
                }
            }
            size_t kept = unpackedSize(n);
            Node fresh = n;
            fresh.sizeCache = 0;
            ASSERT_EQ(kept, unpackedSize(fresh)) << "level " << int(level) << " step " << step;
            if (step % 50 == 0 && n.count() > 0 && kept <= kMaxPage) {
                std::vector<uint32_t> homes(n.children.begin(), n.children.end());
                std::string page;
                encodeNode(n, kUnit, homes, page);
                Node back;
                Status s = decodeNode(reinterpret_cast<const uint8_t*>(page.data()), page.size(), kUnit, back);
                ASSERT_TRUE(s.ok()) << s.toString();
                EXPECT_EQ(entriesOf(back), entriesOf(n));
                EXPECT_EQ(back.children, n.children);
                EXPECT_EQ(unpackedSize(back), kept);
                // An inner page read back and rewritten with other children (one of them moved)
                // is the page coded afresh.
                if (level) {
                    homes.back() += 64 * kUnit;
                    std::string again, fresh;
                    encodeNode(back, kUnit, homes, again);
                    Node plain = back;
                    plain.codedBody.clear();
                    encodeNode(plain, kUnit, homes, fresh);
                    EXPECT_EQ(again, fresh);
                    EXPECT_NE(again, page);
                    // Every change of the entries drops the kept coding.
                    std::string k = keyOf(rng);
                    size_t at = std::lower_bound(model.begin(), model.end(), std::make_pair(k, std::string())) - model.begin();
                    std::vector<std::function<void(Node&)>> changes = {
                        [&](Node& x) { if (at == x.count() || x.key(at) != k) { x.insert(at, k, {}); x.children.insert(x.children.begin() + long(at), 4 * kUnit); } },
                        [&](Node& x) { x.erase(x.count() / 2); },
                        [&](Node& x) { Node right; x.moveTail(x.count() - 1, right); },
                        [&](Node& x) { x.clear(); x.insert(0, k, {}); x.children.push_back(4 * kUnit); },
                    };
                    for (size_t c = 0; c < changes.size(); ++c) {
                        Node changed = back;
                        encodeNode(changed, kUnit, homes, again);
                        changes[c](changed);
                        if (changed.count() == 0) continue;
                        std::vector<uint32_t> now(changed.children.begin(), changed.children.end());
                        encodeNode(changed, kUnit, now, again);
                        Node check = changed;
                        check.codedBody.clear();
                        encodeNode(check, kUnit, now, fresh);
                        EXPECT_EQ(again, fresh) << "change " << c;
                    }
                }
            }
        }
    }
}

// A page whose entries are not in strictly rising key order is damaged, wherever the two keys part:
// right after the bytes they share, further on, not at all, or where one key ends inside the other
// (and where the shared bytes run on past the earlier key into its data).
// A page packed otherwise than this program packs (lengths repeated, fewer bytes shared) is read the
// same, and the size the node then works out is that of its own packing, not the page's.
TEST(PageDecoding, APagePackedAnotherWayIsSizedByOurPacking) {
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"key-alpha-000", "data1"}, {"key-alpha-001", "data2"}, {"key-beta-000", "longer data 3"}};
    auto page = [&](bool repeatLengths, size_t maxShared) {
        std::string body;
        std::string prev;
        for (size_t i = 0; i < entries.size(); ++i) {
            std::string e = entries[i].first + entries[i].second;
            size_t shared = 0;
            while (i && shared < std::min({prev.size(), e.size(), maxShared}) && prev[shared] == e[shared]) ++shared;
            bool lengths = i == 0 || repeatLengths || e.size() != prev.size() ||
                           entries[i].first.size() != entries[i - 1].first.size();
            body.push_back(char(shared | (lengths ? 0xC0 : 0)));
            if (lengths) {
                append16(body, uint16_t(e.size()));
                append16(body, uint16_t(entries[i].first.size()));
            }
            body.append(e.substr(shared));
            prev = e;
        }
        std::string out(kTreeHeader, '\0');
        auto* h = reinterpret_cast<uint8_t*>(out.data());
        put32(h, kUnit);
        put16(h + 4, uint16_t(kTreeHeader + body.size()));
        put16(h + 6, uint16_t(kTreeHeader + body.size()));
        put16(h + 8, uint16_t(kNodeCapacity));
        put16(h + 10, uint16_t(entries.size()));
        return out + body;
    };
    Node ours;
    for (size_t i = 0; i < entries.size(); ++i) ours.insert(i, entries[i].first, entries[i].second);
    size_t want = unpackedSize(ours);
    struct Case {
        const char* what;
        bool repeatLengths;
        size_t maxShared;
    } cases[] = {{"as we pack", false, 63}, {"lengths on every entry", true, 63}, {"nothing shared", false, 0},
                 {"some shared", false, 5}};
    for (const Case& c : cases) {
        std::string img = page(c.repeatLengths, c.maxShared);
        Node back;
        Status st = decodeNode(reinterpret_cast<const uint8_t*>(img.data()), img.size(), kUnit, back);
        ASSERT_TRUE(st.ok()) << c.what << ": " << st.toString();
        EXPECT_EQ(entriesOf(back), entries) << c.what;
        EXPECT_EQ(unpackedSize(back), want) << c.what;
    }
}

TEST(PageDecoding, EntriesOutOfOrderAreDamaged) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> entries;  // key, data, in page order
        bool ordered;
    };
    const std::string pad(40, ' ');
    const std::vector<Case> cases = {
        {"rising", {{"abc" + pad + "1", "x"}, {"abc" + pad + "2", "y"}, {"abd", "z"}}, true},
        {"falling right after the shared bytes", {{"abd", "x"}, {"abc", "y"}}, false},
        {"falling after a long shared run", {{"abc" + pad + "2", "x"}, {"abc" + pad + "1", "y"}}, false},
        {"the same key twice", {{"abc" + pad, "x"}, {"abc" + pad, "y"}}, false},
        {"a key before its own beginning", {{"abcdef", "x"}, {"abc", "y"}}, false},
        {"a key before the one it begins", {{"abc", "x"}, {"abcdef", "y"}}, true},
        {"sharing past the earlier key", {{"ab", "cdef"}, {"abc", "zz"}}, true},
        {"sharing past the earlier key, falling", {{"abd", "x"}, {"abc", "dx"}, {"ab", "cdx"}}, false},
    };
    for (const Case& c : cases) {
        Node n;
        for (size_t i = 0; i < c.entries.size(); ++i) n.insert(i, c.entries[i].first, c.entries[i].second);
        std::string page;
        encodeNode(n, kUnit, {}, page);
        Node back;
        Status s = decodeNode(reinterpret_cast<const uint8_t*>(page.data()), page.size(), kUnit, back);
        if (c.ordered) {
            ASSERT_TRUE(s.ok()) << c.what << ": " << s.toString();
            EXPECT_EQ(entriesOf(back), entriesOf(n)) << c.what;
        } else {
            EXPECT_EQ(s.code, kDamaged) << c.what;
        }
    }
}

// A leaf searched as it lies on disk answers what the page laid out in memory answers, for keys it
// holds, keys between and around them, and every way of seeking; pages whose entries share bytes
// past their keys, long blank runs (coded) and short plain pages among them, and pages whose long
// keys agree in more bytes than an entry can share with the one before (63).
TEST(PageDecoding, SearchingAPageAsItLiesAgreesWithThePageLaidOut) {
    std::mt19937 rng(5);
    for (int round = 0; round < 600; ++round) {
        Node n;
        size_t count = 1 + rng() % 40;
        std::string k;
        std::string common = round % 2 ? std::string(60 + rng() % 80, 'p') : std::string();
        for (size_t i = 0; i < count; ++i) {
            // rising keys: keep a beginning of the last one, then go up
            k.resize(std::min(k.size(), size_t(rng() % 12)));
            if (!k.empty() && rng() % 2) {
                k.back() = char(uint8_t(k.back()) + 1 + rng() % 3);
            } else {
                k.push_back(char('b' + rng() % 20));
            }
            if (rng() % 3 == 0) k += std::string(rng() % 300, ' ');
            if (!common.empty() && !k.starts_with(common)) k = common + k;
            if (i > 0 && std::string_view(k) <= n.key(i - 1)) k = std::string(n.key(i - 1)) + char('a' + rng() % 5);
            // data that the next key may begin with, so that entries share bytes past a key
            std::string d = rng() % 4 == 0   ? std::string(rng() % 500, char('0' + rng() % 3))
                            : rng() % 2 == 0 ? std::string(1 + rng() % 4, char('a' + rng() % 3))
                                             : std::to_string(rng());
            n.insert(i, k, d);
        }
        if (unpackedSize(n) > kMaxPage) continue;
        std::string page;
        encodeNode(n, kUnit, {}, page);
        auto* img = reinterpret_cast<const uint8_t*>(page.data());
        std::vector<std::string> probes;
        for (size_t i = 0; i < n.count(); ++i) {
            std::string held(n.key(i));
            probes.push_back(held);
            probes.push_back(held + '\0');
            probes.push_back(held.substr(0, held.size() - 1));
        }
        probes.push_back("");
        probes.push_back("zzzz");
        probes.push_back(common);
        probes.push_back(common + "zzzz");
        for (const std::string& probe : probes) {
            for (LeafSeek how : {LeafSeek::kExact, LeafSeek::kAtLeast, LeafSeek::kAfter}) {
                size_t want = n.lowerBound(probe, how == LeafSeek::kAfter);
                bool wantFound = how == LeafSeek::kExact ? want < n.count() && n.key(want) == probe : want < n.count();
                std::string key, data;
                bool found = false;
                Status s = searchPackedLeaf(img, page.size(), kUnit, probe, how, &key, &data, found);
                ASSERT_TRUE(s.ok()) << s.toString();
                ASSERT_EQ(found, wantFound) << "round " << round << " probe " << probe.size() << " how " << int(how);
                if (found) {
                    EXPECT_EQ(key, n.key(want));
                    EXPECT_EQ(data, n.data(want));
                }
            }
        }
    }
}

// Whatever the bytes of a page, searching it answers with a code or a result, never a crash or a
// read outside the page (also run under AddressSanitizer).
TEST(PageDecoding, SearchingADamagedPageAsItLiesIsSafe) {
    std::mt19937 rng(9);
    Node n;
    for (int i = 0; i < 30; ++i) n.insert(size_t(i), "key " + std::to_string(1000 + i) + std::string(200, ' '), std::string(40, 'x'));
    std::string page;
    encodeNode(n, kUnit, {}, page);
    size_t damaged = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string bad = page;
        for (int flips = 1 + int(rng() % 3); flips > 0; --flips) bad[rng() % bad.size()] = char(rng());
        if (rng() % 4 == 0) bad.resize(rng() % bad.size());
        std::vector<uint8_t> exact(bad.begin(), bad.end());  // no slack after the page for a stray read
        std::string key, data;
        bool found = false;
        Status s = searchPackedLeaf(exact.data(), exact.size(), kUnit, "key 1029", LeafSeek::kAtLeast, &key, &data, found);
        if (!s.ok()) {
            EXPECT_EQ(s.code, kDamaged);
            ++damaged;
        }
    }
    EXPECT_GT(damaged, 0u);
}

TEST(PageTable, AgreesWithAPlainMapThroughGrowthAndErasure) {
    // Page offsets (multiples of 256) crowd into few homes; temporary ids lie far above them.
    // Erasing inside long probe runs is where open addressing goes wrong.
    IdTable<int> table;
    std::map<uint64_t, int> model;
    std::mt19937 rng(17);
    auto someId = [&] {
        return rng() % 4 ? uint64_t(kUnit) * (2 + rng() % 3000) : (uint64_t(1) << 40) + rng() % 500;
    };
    for (int step = 0; step < 60000; ++step) {
        uint64_t id = someId();
        switch (rng() % 4) {
            case 0:
            case 1:
                table[id] = step;
                model[id] = step;
                break;
            case 2:
                EXPECT_EQ(table.erase(id), model.erase(id) == 1) << step;
                break;
            default: {
                std::unique_ptr<int> v = table.take(id);
                auto it = model.find(id);
                ASSERT_EQ(v != nullptr, it != model.end()) << step;
                if (v) {
                    EXPECT_EQ(*v, it->second);
                    uint64_t to = someId();
                    if (!model.count(to)) {
                        model[to] = it->second;
                        table.put(to, std::move(v));
                    }
                    model.erase(it);
                }
            }
        }
        if (step % 997 == 0) {
            ASSERT_EQ(table.size(), model.size());
            for (auto [key, value] : model) {
                int* found = table.find(key);
                ASSERT_NE(found, nullptr) << key;
                EXPECT_EQ(*found, value);
            }
            size_t seen = 0;
            table.forEach([&](uint64_t key, int value) {
                ++seen;
                EXPECT_EQ(model.at(key), value);
            });
            EXPECT_EQ(seen, model.size());
        }
    }
}

}  // namespace
}  // namespace sitedex::record

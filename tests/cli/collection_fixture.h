#pragma once
// Test helpers: a collection of categories and locations written straight into the program's data
// files (through the record engine, with the program's own file declarations), always the same for
// the same size; its listing as the built program prints it; and a map of the tree pages of a
// record file, so that a test damages a page chosen by what it holds, not by a fixed offset.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "data/dictionary.h"
#include "drivers/record/node.h"
#include "drivers/record/table.h"
#include "drivers/record/velox_driver.h"

namespace sitedex::testing {

inline const std::vector<std::string>& collectionCategories() {
    static const std::vector<std::string> names{"News", "Reference", "Shopping", "Travel", "Work", "Misc"};
    return names;
}

// `count` locations in six categories, a third with site information, some with keywords.
inline void makeCollection(const std::string& dir, int count, bool withLocations = true) {
    using namespace record;
    PagerOptions fast;
    fast.durability = Durability::kProcessCrash;
    Schema cats = veloxSchemaOf(data::Categories);
    ASSERT_TRUE(RecordFile::create(dir + "/URL_C.VLX", "UNNAMED", cats, fast).ok());
    std::unique_ptr<RecordFile> c;
    ASSERT_TRUE(RecordFile::open(dir + "/URL_C.VLX", "UNNAMED", &cats, fast, c).ok());
    for (const std::string& name : collectionCategories()) {
        std::string rec(cats.recordSize, '\0');
        std::string padded = name;
        padded.resize(30, ' ');
        rec.replace(0, 30, padded);
        std::vector<std::string> memo{"All about " + name};
        uint32_t r;
        ASSERT_TRUE(c->add(rec, &memo, r).ok());
    }
    if (!withLocations) return;
    Schema locs = veloxSchemaOf(data::SITEDX);
    ASSERT_TRUE(RecordFile::create(dir + "/URL_L.VLX", "UNNAMED", locs, fast).ok());
    std::unique_ptr<RecordFile> l;
    ASSERT_TRUE(RecordFile::open(dir + "/URL_L.VLX", "UNNAMED", &locs, fast, l).ok());
    std::mt19937 rng(20240601);
    const char* words[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel"};
    const char* schemes[] = {"http", "https", "ftp", "gopher"};
    for (int i = 0; i < count; ++i) {
        auto text = [](std::string s, size_t n) {
            s.resize(n, ' ');
            return s;
        };
        std::string url = std::string(schemes[rng() % 4]) + "://site" + std::to_string(10000 + i) + ".example/" +
                          words[rng() % 8] + "/" + std::string(rng() % 150, 'p');
        std::string rec = text(url, 255);
        rec += text(std::string(words[rng() % 8]) + " " + std::to_string(i), 100);
        rec += text(collectionCategories()[rng() % 6], 30);
        int rating = int(rng() % 11);
        rec.push_back(char(rating / 100 % 10));
        rec.push_back(char(((rating / 10 % 10) << 4) | (rating % 10)));
        rec += text(i % 7 == 0 ? words[rng() % 8] : url.substr(0, url.find(':')), 10);
        std::string info;
        if (i % 3 == 0)
            for (int k = 1 + int(rng() % 60); k > 0; --k) info += "info " + std::to_string(i) + " ";
        std::vector<std::string> memo{info};
        uint32_t r;
        ASSERT_TRUE(l->add(rec, &memo, r).ok());
    }
}

inline std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline void flipByte(const std::string& path, uint64_t offset, uint8_t with) {
    std::string b = fileBytes(path);
    ASSERT_LT(offset, b.size());
    b[offset] = char(uint8_t(b[offset]) ^ with);
    writeBytes(path, b);
}

// A tree page as it lies in a file.
struct TreePage {
    uint32_t home = 0;
    uint8_t level = 0;
    uint32_t stored = 0, unpacked = 0;
    size_t count = 0;
    std::string firstKey;  // of its first entry (decoded)
    bool packed() const { return stored != unpacked; }
};

// Every page of the file's tree, parents before their children.
inline std::vector<TreePage> treePages(const std::string& path) {
    using namespace record;
    std::vector<TreePage> out;
    std::string b = fileBytes(path);
    const auto* p = reinterpret_cast<const uint8_t*>(b.data());
    std::vector<uint32_t> todo{get32(p + kHdrRoot)};
    while (!todo.empty()) {
        uint32_t home = todo.back();
        todo.pop_back();
        Node n;
        if (!home || !decodeNode(p + home, b.size() - home, home, n).ok()) continue;
        TreePage t{home, n.level, get16(p + home + 4), get16(p + home + 6), n.count(), std::string(n.key(0))};
        out.push_back(t);
        for (auto c = n.children.rbegin(); c != n.children.rend(); ++c) todo.push_back(uint32_t(*c));
    }
    return out;
}

// The selector byte of a key part (after the table number): 1..240 a key, 243 a record, 252 a memo.
inline uint8_t selectorOf(const std::string& key) { return key.size() > 4 ? uint8_t(key[4]) : 0; }

// In a run-length coded page, the offset of the high byte of its first entry's key length (the
// first literal's count, then the entry's flag byte and total length come before it).
inline uint64_t firstKeyLengthHighByte(const std::string& path, const TreePage& page) {
    std::string b = fileBytes(path);
    uint64_t at = page.home + record::kTreeHeader;
    while (uint8_t(b[at]) & 128) ++at;  // the literal count, 7 bits a byte
    return at + 1 + 1 + 2 + 1;
}

}  // namespace sitedex::testing

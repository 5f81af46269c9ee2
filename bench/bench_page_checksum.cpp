// What a checksum on every tree page would cost, measured on a locations file as the program
// makes it, and where such a checksum could lie in the pages as they are laid out today.
//
// Pages carry no checksum: only the header has one. A flipped byte inside a record's text decodes
// as a valid page and goes unseen. A reader would check a page where it decodes it (every page
// read from the file, once per trip through the decoded-page cache); a writer would compute it
// where it codes a page. So the costs to compare are:
//   - per page read: CRC-32 of the page's stored bytes against decoding the page (decodeNode);
//   - per single add committed: CRC-32 of the pages such a commit codes against the commit itself.
// And the room: the stored length is exact and a page takes whole 256-byte units, so the bytes
// between its end and its last unit's end are free; the run counts the pages with 4 or more.
//
//     cmake --build build --target bench_page_checksum
//     SITEDEX_BENCH_SIZES=100000 build/bench/bench_page_checksum
//
// The CRC is the program's own (record::crc32, a byte-at-a-time table). Figures are CPU times of
// this process.

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "data/dictionary.h"
#include "drivers/record/node.h"
#include "drivers/record/table.h"
#include "drivers/record/velox_driver.h"

namespace {

using namespace sitedex;
using namespace sitedex::record;

double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void check(const Status& s, const char* what) {
    if (!s.ok()) {
        std::fprintf(stderr, "%s: %s\n", what, s.toString().c_str());
        std::exit(1);
    }
}

const char* kWords[] = {"alpha", "garden", "river", "music", "travel", "recipe", "photo", "science", "history",
                        "sports", "market", "cinema", "poetry", "health", "design", "code", "linux", "forum"};

// A location record of the program's own layout: every text field filled with words (the location
// made unique by its number), one in ten with site information.
struct Maker {
    const Schema& schema;
    std::mt19937 rng{7};
    std::string word() { return kWords[rng() % std::size(kWords)]; }
    void make(size_t i, std::string& rec, std::vector<std::string>& memos) {
        rec.assign(schema.recordSize, ' ');
        for (size_t f = 0; f < schema.fields.size(); ++f) {
            const Field& fd = schema.fields[f];
            if (fd.type != kTypeString) {
                for (size_t b = 0; b < fd.size; ++b) rec[fd.offset + b] = char(b + 1 == fd.size ? (rng() % 10) << 4 : 0);
                continue;
            }
            std::string v = f == 0 ? "https://www." + word() + std::to_string(i) + ".example/" : word();
            size_t want = std::min<size_t>(fd.size, f == 0 ? 40 + rng() % 51 : 6 + rng() % 40);
            while (v.size() < want) v += (f == 0 ? "/" : " ") + word();
            v.resize(std::min(v.size(), size_t(fd.size)));
            rec.replace(fd.offset, v.size(), v);
        }
        memos.assign(schema.memos.size(), std::string());
        if (!memos.empty() && rng() % 10 == 0) memos[0] = "Notes on the site: " + std::string(100 + rng() % 300, '.');
    }
};

// The same CRC-32 eight bytes at a time (eight tables of 256): what a checksum written for speed
// would cost instead of the program's byte-at-a-time one.
uint32_t crc32BySlices(const uint8_t* p, size_t n) {
    static uint32_t t[8][256];
    static bool ready = [] {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
        return true;
    }();
    (void)ready;
    uint32_t c = 0xFFFFFFFFu;
    for (; n >= 8; n -= 8, p += 8) {
        uint32_t a = get32(p) ^ c, b = get32(p + 4);
        c = t[7][a & 0xFF] ^ t[6][(a >> 8) & 0xFF] ^ t[5][(a >> 16) & 0xFF] ^ t[4][a >> 24] ^ t[3][b & 0xFF] ^
            t[2][(b >> 8) & 0xFF] ^ t[1][(b >> 16) & 0xFF] ^ t[0][b >> 24];
    }
    for (; n; --n, ++p) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

struct Page {
    uint32_t home, stored;
};

// Every page of the tree, from the root down.
void walk(const std::string& file, uint32_t home, std::vector<Page>& pages) {
    const auto* p = reinterpret_cast<const uint8_t*>(file.data());
    uint32_t stored = 0;
    check(storedPageLength(p + home, file.size() - home, home, stored), "page");
    pages.push_back({home, stored});
    Node n;
    check(decodeNode(p + home, file.size() - home, home, n), "decode");
    for (uint64_t child : n.children) walk(file, uint32_t(child), pages);
}

void measure(size_t n) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("sitedex-bench-crc-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string path = (dir / "URL_L.VLX").string();
    Schema schema = veloxSchemaOf(data::SITEDX);
    PagerOptions opts;
    opts.durability = Durability::kProcessCrash;
    check(RecordFile::create(path, "UNNAMED", schema, opts), "create");
    std::unique_ptr<RecordFile> f;
    check(RecordFile::open(path, "UNNAMED", &schema, opts, f), "open");
    Maker maker{schema};
    std::string rec;
    std::vector<std::string> memos;
    check(f->begin(), "begin");
    for (size_t i = 0; i < n; ++i) {
        uint32_t recno;
        maker.make(i, rec, memos);
        check(f->add(rec, &memos, recno), "add");
    }
    check(f->commit(), "commit");

    // 1000 single adds, each committed alone, timed.
    constexpr int kSingles = 1000;
    double t0 = cpuNow();
    for (int i = 0; i < kSingles; ++i) {
        uint32_t recno;
        maker.make(n + size_t(i), rec, memos);
        check(f->begin(), "begin");
        check(f->add(rec, &memos, recno), "add");
        check(f->commit(), "commit");
    }
    double singleAdd = (cpuNow() - t0) / kSingles;
    f.reset();

    std::ifstream in(path, std::ios::binary);
    std::string file((std::istreambuf_iterator<char>(in)), {});
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
    std::vector<Page> pages;
    walk(file, get32(bytes + kHdrRoot), pages);
    size_t storedBytes = 0, leaves = 0, leafBytes = 0, roomy = 0;
    for (const Page& p : pages) {
        storedBytes += p.stored;
        if (bytes[p.home + 12] == 0) {
            ++leaves;
            leafBytes += p.stored;
        }
        if (roundUnits(p.stored) * kUnit - p.stored >= 4) ++roomy;
    }

    // Every page decoded, then every page's CRC, each over several rounds; the lower of the rounds.
    auto best = [&](auto&& fn) {
        double low = 1e9;
        for (int r = 0; r < 5; ++r) {
            double a = cpuNow();
            fn();
            low = std::min(low, cpuNow() - a);
        }
        return low;
    };
    Node node;
    double decode = best([&] {
        for (const Page& p : pages) check(decodeNode(bytes + p.home, file.size() - p.home, p.home, node), "decode");
    });
    volatile uint32_t sink = 0;
    double crc = best([&] {
        for (const Page& p : pages) sink = sink ^ crc32(bytes + p.home, p.stored);
    });
    double sliced = best([&] {
        for (const Page& p : pages) sink = sink ^ crc32BySlices(bytes + p.home, p.stored);
    });
    if (crc32BySlices(bytes + pages[0].home, pages[0].stored) != crc32(bytes + pages[0].home, pages[0].stored)) {
        std::fprintf(stderr, "the two CRCs differ\n");
        std::exit(1);
    }
    // A single add codes one leaf of each key, the leaf of its record and, one time in ten, a leaf
    // of memo pieces (inner pages only when a leaf splits): the estimate takes 1 + keys + 0.1 leaves
    // of the average stored size.
    double leafAvg = double(leafBytes) / double(leaves);
    double pagesPerAdd = 1.0 + double(schema.keys.size()) + 0.1;
    double crcPerAdd = crc / double(storedBytes) * leafAvg * pagesPerAdd;
    double slicedPerAdd = sliced / double(storedBytes) * leafAvg * pagesPerAdd;

    std::printf("%zu locations (+%d single adds): file %.1f MB, %zu tree pages (%zu leaves), %.1f MB stored\n", n,
                kSingles, double(file.size()) / 1e6, pages.size(), leaves, double(storedBytes) / 1e6);
    std::printf("  pages with >= 4 free bytes in their last unit: %zu of %zu (%.1f %%)\n", roomy, pages.size(),
                100.0 * double(roomy) / double(pages.size()));
    std::printf("  decode every page: %.1f ms (%.2f us a page, %.0f MB/s of stored bytes)\n", decode * 1e3,
                decode * 1e6 / double(pages.size()), double(storedBytes) / decode / 1e6);
    std::printf("  CRC-32 of every page: %.1f ms (%.2f us a page, %.0f MB/s): %.0f %% of decoding\n", crc * 1e3,
                crc * 1e6 / double(pages.size()), double(storedBytes) / crc / 1e6, 100.0 * crc / decode);
    std::printf("  the same, eight bytes at a time: %.1f ms (%.2f us a page, %.0f MB/s): %.0f %% of decoding\n",
                sliced * 1e3, sliced * 1e6 / double(pages.size()), double(storedBytes) / sliced / 1e6,
                100.0 * sliced / decode);
    std::printf("  single add committed: %.1f us; CRC-32 of its ~%.1f pages (%.0f bytes each): %.1f us = %.1f %%"
                " (eight at a time: %.1f us = %.1f %%)\n",
                singleAdd * 1e6, pagesPerAdd, leafAvg, crcPerAdd * 1e6, 100.0 * crcPerAdd / singleAdd,
                slicedPerAdd * 1e6, 100.0 * slicedPerAdd / singleAdd);
    fs::remove_all(dir);
}

}  // namespace

int main() {
    const char* sizes = std::getenv("SITEDEX_BENCH_SIZES");
    std::string list = sizes && *sizes ? sizes : "100000";
    for (size_t at = 0; at < list.size();) {
        size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        measure(std::strtoul(list.substr(at, comma - at).c_str(), nullptr, 10));
        at = comma + 1;
    }
    return 0;
}

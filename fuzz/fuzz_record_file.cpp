// Fuzzes the record-file reader: the input is a whole VLX file (or, with a first byte of 0, one
// page image), opened read-only and read every way the program and the tools read it: the check,
// every key's order in both directions, every record with its memos. Whatever the bytes, the
// reader must answer with a code and never crash, overrun or loop.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "drivers/record/node.h"
#include "drivers/record/table.h"

using namespace sitedex::record;

namespace {

std::string tempPath() {
    static std::string path = "/tmp/fuzz-record-" + std::to_string(::getpid()) + ".VLX";
    return path;
}

void readEverything(const std::string& path) {
    std::vector<std::string> tables;
    if (!RecordFile::listTables(path, tables).ok()) return;
    for (size_t t = 0; t < tables.size() && t < 4; ++t) {
        std::unique_ptr<RecordFile> f;
        PagerOptions o;
        o.writable = false;
        o.lockWaitMs = 0;
        o.cacheBytes = 8 << 10;  // small: leaves are searched on disk as well as laid out in the cache
        if (!RecordFile::open(path, tables[t], nullptr, o, f).ok()) continue;
        RecordFile::CheckReport rep;
        (void)f->check(rep);
        std::string rec;
        std::vector<std::string> memos;
        for (int key = -1; key < int(f->schema().keys.size()); ++key) {
            Cursor c(*f, key);
            int steps = 0;
            for (c.seekFirst(); c.valid() && steps < 10000; c.next(), ++steps) (void)f->get(c.recno(), rec, &memos);
            for (c.seekLast(); c.valid() && steps < 20000; c.previous(), ++steps) {
            }
        }
        uint32_t n;
        (void)f->recordCount(n);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] == 0) {
        Node n;
        Status laidOut = decodeNode(data + 1, size - 1, uint32_t(4608), n);
        // Searching the page as it lies must agree with the page laid out wherever both read it.
        std::string probe = size > 8 ? std::string(reinterpret_cast<const char*>(data) + 1, 8) : std::string();
        for (LeafSeek how : {LeafSeek::kExact, LeafSeek::kAtLeast, LeafSeek::kAfter}) {
            std::string key, value;
            bool found = false;
            Status s = searchPackedLeaf(data + 1, size - 1, uint32_t(4608), probe, how, &key, &value, found);
            if (laidOut.ok() && n.level == 0 && n.count() > 0) {
                size_t i = n.lowerBound(probe, how == LeafSeek::kAfter);
                bool want = how == LeafSeek::kExact ? i < n.count() && n.key(i) == probe : i < n.count();
                if (!s.ok() || found != want || (found && (key != n.key(i) || value != n.data(i)))) __builtin_trap();
            }
        }
        // The keys of the whole page, as a lookup that found nothing keeps them: every key, in order.
        std::vector<uint64_t> hashes;
        bool unused = false;
        Status all = searchPackedLeaf(data + 1, size - 1, uint32_t(4608), probe, LeafSeek::kExact, nullptr, nullptr,
                                      unused, &hashes);
        if (laidOut.ok() && n.level == 0 && n.count() > 0) {
            if (!all.ok() || hashes.size() != n.count()) __builtin_trap();
            for (size_t i = 0; i < n.count(); ++i)
                if (hashes[i] != keyHash(n.key(i))) __builtin_trap();
        }
        std::string out;
        (void)rleUnpack(data + 1, size - 1, size * 4, out, 0);
        return 0;
    }
    FILE* f = std::fopen(tempPath().c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    readEverything(tempPath());
    return 0;
}

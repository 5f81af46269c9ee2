// Pack (I18): the whole entry tree of the file written anew, every page filled, with the keys of the
// packed table rebuilt from its records. Runs inside the writer region as one change, so that it
// is committed through the page log like any other (a crash leaves the file as before or after).
//
// Record numbers are kept: positions other callers hold (record number and key value) still name
// the same records afterwards.

#include <algorithm>

#include "drivers/record/table.h"
#include "drivers/record/tree_loader.h"

namespace sitedex::record {

namespace {

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

}  // namespace

// REQUIRES: write mode, no change made in it yet.
Status RecordFile::packTree() {
    Info info;
    VLX_TRY(loadInfo(info));
    std::string table;
    append32be(table, m_table);
    const size_t keyCount = m_schema.keys.size();
    TreeLoader loader(*m_pager);
    std::vector<uint32_t> keyCounts(keyCount, 0);
    uint32_t records = 0;

    // The packed table's key entries, rebuilt key by key from its records (each key's entries are
    // sorted in memory; one key at a time).
    auto rebuildKeys = [&]() -> Status {
        std::string dataPrefix = rangePrefix(-1);
        for (size_t k = 0; k < keyCount; ++k) {
            std::vector<std::pair<std::string, uint32_t>> entries;
            std::string key = dataPrefix, rk, rec;
            bool found, strict = false;
            records = 0;
            for (;;) {
                VLX_TRY(m_tree->seekForward(key, strict, rk, &rec, found));
                if (!found || !startsWith(rk, dataPrefix)) break;
                if (rk.size() != dataPrefix.size() + 4 || rec.size() != m_schema.recordSize)
                    return Status::damaged(__LINE__, 0, "record entry of the wrong size");
                uint32_t recno = get32be(bytes(rk) + dataPrefix.size());
                ++records;
                if (!((m_schema.keys[k].attributes & kKeyExcludeBlank) && isBlankKeyValue(m_schema, k, bytes(rec))))
                    entries.emplace_back(keyEntry(k, rec, recno), recno);
                key = std::move(rk);
                strict = true;
            }
            std::sort(entries.begin(), entries.end());
            for (size_t i = 0; i < entries.size(); ++i) {
                if (i && entries[i].first == entries[i - 1].first) return Status::error(kDuplicate, m_schema.keys[k].name);
                std::string d;
                append32(d, entries[i].second);
                VLX_TRY(loader.add(entries[i].first, d));
            }
            keyCounts[k] = uint32_t(entries.size());
        }
        if (keyCount == 0) {
            // no key pass counted the records
            std::string dataPrefix2 = rangePrefix(-1), key = dataPrefix2, rk;
            bool found, strict = false;
            for (;;) {
                VLX_TRY(m_tree->seekForward(key, strict, rk, nullptr, found));
                if (!found || !startsWith(rk, dataPrefix2)) break;
                ++records;
                key = std::move(rk);
                strict = true;
            }
        }
        return {};
    };

    bool keysDone = false;
    std::string key, k, d;
    bool found, strict = false;
    for (;;) {
        VLX_TRY(m_tree->seekForward(key, strict, k, &d, found));
        if (!found) break;
        if (!keysDone && std::string_view(k).substr(0, 4) >= std::string_view(table)) {
            VLX_TRY(rebuildKeys());
            keysDone = true;
        }
        bool ours = k.size() >= 5 && startsWith(k, table);
        uint8_t sel = ours ? uint8_t(k[4]) : 0;
        if (ours && ((sel >= 1 && sel <= keyCount) || (sel == kSelKeysStale && k.size() == 5))) {
            // the old key entries give way to the rebuilt ones, and so does a mark that they were
            // out of step (I19)
        } else if (ours && sel == kSelInfo && k.size() == 5) {
            info.records = records;
            info.keyCounts = keyCounts;
            std::string counters;
            append32(counters, info.nextRecord);
            append32(counters, info.records);
            append16(counters, uint16_t(keyCount));
            for (uint32_t c : info.keyCounts) append32(counters, c);
            VLX_TRY(loader.add(k, counters));
        } else {
            VLX_TRY(loader.add(k, d));
        }
        key = std::move(k);
        strict = true;
    }
    if (!keysDone) return Status::damaged(__LINE__, 0, "table counters missing");
    uint64_t root = 0;
    VLX_TRY(loader.finish(root));
    m_pager->replaceTree(root);
    return {};
}

}  // namespace sitedex::record

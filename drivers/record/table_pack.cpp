// Pack (I18): the whole entry tree of the file written anew, every page filled, with the keys of the
// packed table rebuilt from its records. Runs inside the writer region as one change, so that it
// is committed through the page log like any other (a crash leaves the file as before or after).
//
// Record numbers are kept: positions other callers hold (record number and key value) still name
// the same records afterwards.

#include <algorithm>

#include "drivers/record/btree.h"
#include "drivers/record/table.h"

namespace sitedex::record {

namespace {

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// Builds a tree bottom-up from entries handed over in ascending order, filling every page up to the
// size new pages are built for. Finished leaves may be kept packed by the pager meanwhile; the leaf
// being filled never is (it is made after the cache is trimmed).
class TreeLoader {
public:
    explicit TreeLoader(Pager& pager) : m_pager(pager) {}

    Status add(std::string_view key, std::string_view data) {
        if (key.empty() || key.size() + data.size() >= kMaxEntry)
            return Status::damaged(__LINE__, 0, "entry length out of range");
        if (!m_last.empty() && std::string_view(m_last) >= key)
            return Status::damaged(__LINE__, 0, "entries out of order while packing");
        m_last.assign(key);
        return append(0, key, data, 0);
    }

    // The root of the tree built (0 when no entry was added).
    Status finish(uint64_t& root) {
        root = 0;
        for (size_t i = 0; i < m_levels.size(); ++i) {
            if (i + 1 == m_levels.size() && m_levels[i].closed == 0) {
                root = m_levels[i].node->id;
                break;
            }
            VLX_TRY(close(i));
        }
        return {};
    }

private:
    struct Level {
        Node* node = nullptr;
        size_t size = 0;
        std::string prev;
        size_t prevKlen = 0;
        uint64_t closed = 0;
    };

    Status append(size_t level, std::string_view key, std::string_view data, uint64_t child) {
        if (m_levels.size() <= level) m_levels.emplace_back();
        Level* l = &m_levels[level];
        if (!l->node) open(*l, level);
        std::string entry(key);
        entry.append(data);
        bool first = l->node->count() == 0;
        size_t cost = entryCost(l->prev, l->prevKlen, entry, key.size(), first) + (level ? 4 : 0);
        if (!first && l->size + cost > kNodeCapacity) {
            VLX_TRY(close(level));
            l = &m_levels[level];
            open(*l, level);
            cost = entryCost({}, 0, entry, key.size(), true) + (level ? 4 : 0);
        }
        Node* n = l->node;
        n->insert(n->count(), key, data);
        if (level) n->children.push_back(child);
        l->size += cost;
        if (l->size > n->capacity) n->capacity = uint16_t(kMaxPage);  // one entry larger than a page
        l->prev = std::move(entry);
        l->prevKlen = key.size();
        return {};
    }

    void open(Level& l, size_t level) {
        l.node = m_pager.newNode(uint8_t(level));
        l.size = kTreeHeader;
        l.prev.clear();
        l.prevKlen = 0;
    }

    // The node of `level` is full (or the last one): its first key goes up into the level above.
    Status close(size_t level) {
        Node* n = m_levels[level].node;
        // Above the leaves only as much of the first key as tells it from the leaf before.
        std::string first(level == 0 && m_leafClosed ? shortSeparator(m_lastLeafKey, n->key(0)) : n->key(0));
        if (level == 0) {
            m_lastLeafKey.assign(n->key(n->count() - 1));
            m_leafClosed = true;
        }
        uint64_t id = n->id;
        ++m_levels[level].closed;
        m_levels[level].node = nullptr;
        // Leaves are done with: the pager may keep them packed from here on.
        if (level == 0) VLX_TRY(m_pager.trimCache());
        return append(level + 1, first, {}, id);
    }

    Pager& m_pager;
    std::vector<Level> m_levels;
    std::string m_last;
    std::string m_lastLeafKey;  // last key of the leaf closed before
    bool m_leafClosed = false;
};

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

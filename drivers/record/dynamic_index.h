#pragma once
// A dynamic index of the VELOX driver: the order of a key declared as an index (key attribute 64),
// built in this run from a components text ("+URL:CATEGORY,-URL:RATING"), over every record or only
// over those a filter expression passes. The index is a sorted snapshot held by the file instance
// that built it (nothing of it is written to the file): records added later are not in it, a record
// deleted since is passed over when read, and it is gone when the file is closed (the access layer
// then asks for a new build before the key is used again).
//
// Entries are the encoded component values (I10), ordered like a key with duplicates: equal values
// by record number. Callers: the VELOX driver, on the thread that owns the file instance.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/declarations.h"
#include "drivers/record/table.h"

namespace sitedex::record {

class DynamicIndex {
public:
    // Builds the index of `key` from `components` (empty: the key's declared components), keeping
    // the records that pass `filter` when one is given. Returns 0 or an access-layer code: 76 for a
    // components text that names no field or a field twice over, 75 for an array field, 800 for a
    // filter that does not compile, kDamaged/kSystem when the file fails (failure() tells). The record buffer and memos of `file` are used to evaluate the
    // filter and are restored afterwards. On failure the index is left as it was.
    int32_t build(data::FileDecl& file, RecordFile& records, const data::KeyDecl& key, std::string_view components,
                  const std::string* filter);

    bool built() const { return m_built; }
    size_t size() const { return m_entries.size(); }
    size_t valueLength() const { return m_schema.keyValueLength(0); }
    // The encoded value of a record image, and the entry (value + record number) it would have.
    std::string value(const char* record) const;
    std::string entry(const char* record, uint32_t recno) const;
    static std::string entryOf(std::string_view value, uint32_t recno);
    // The first entry >= `entry`, or size() when there is none.
    size_t lowerBound(std::string_view entry) const;
    const std::string& entryAt(size_t i) const { return m_entries[i].first; }
    uint32_t recnoAt(size_t i) const { return m_entries[i].second; }
    // The engine's status when build answered kDamaged or kSystem.
    const Status& failure() const { return m_failure; }

private:
    Schema m_schema;  // the file's fields and the one dynamic key
    std::vector<std::pair<std::string, uint32_t>> m_entries;
    bool m_built = false;
    Status m_failure;
};

}  // namespace sitedex::record

#include "drivers/record/dynamic_index.h"

#include <algorithm>
#include <memory>

#include "data/field_binding.h"
#include "runtime/expressions.h"

namespace sitedex::record {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// "+A,-B" (signs optional, ascending by default; names with or without the prefix) -> key parts.
int32_t parseComponents(const data::FileDecl& file, std::string_view text, std::vector<KeyPart>& parts) {
    parts.clear();
    const auto& fields = file.fields();
    while (!text.empty()) {
        size_t comma = text.find(',');
        std::string_view item = trim(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        bool descending = false;
        if (!item.empty() && (item.front() == '+' || item.front() == '-')) {
            descending = item.front() == '-';
            item = trim(item.substr(1));
        }
        const data::FieldDecl* f = item.empty() ? nullptr : file.findField(item);
        if (!f) return 76;
        if (f->elements > 1) return 75;
        uint16_t index = uint16_t(f - fields.data());
        for (const KeyPart& p : parts)
            if (p.field == index) return 76;
        parts.push_back({index, descending});
    }
    return parts.empty() ? 76 : 0;
}

// Keeps the thread's record buffer and memos across the filter's use of them.
class BufferGuard {
public:
    explicit BufferGuard(data::FileDecl& f) : m_file(f), m_record(f.record(), f.recordSize()) {
        for (size_t i = 0; i < f.memos().size(); ++i) m_memos.push_back(f.memo(i));
    }
    ~BufferGuard() {
        std::copy(m_record.begin(), m_record.end(), m_file.record());
        for (size_t i = 0; i < m_memos.size(); ++i) m_file.memo(i) = std::move(m_memos[i]);
    }

private:
    data::FileDecl& m_file;
    std::string m_record;
    std::vector<std::string> m_memos;
};

}  // namespace

int32_t DynamicIndex::build(data::FileDecl& file, RecordFile& records, const data::KeyDecl& key,
                            std::string_view components, const std::string* filter) {
    Key dyn;
    dyn.name = std::string(key.name);
    // Ordered as a key with duplicates whatever the declaration says: an index is read, never
    // written through, so equal values simply follow each other by record number.
    dyn.attributes = uint8_t((key.attributes & (kKeyNoCase | kKeyExcludeBlank)) | kKeyDuplicates);
    if (trim(components).empty()) {
        for (int c : key.components) {
            int pos = c < 0 ? -c : c;
            if (pos < 1 || size_t(pos) > file.fields().size()) return 76;
            if (file.fields()[size_t(pos - 1)].elements > 1) return 75;
            dyn.parts.push_back({uint16_t(pos - 1), c < 0});
        }
        if (dyn.parts.empty()) return 76;
    } else if (int32_t e = parseComponents(file, components, dyn.parts)) {
        return e;
    }
    Schema schema = records.schema();
    schema.keys = {dyn};

    std::unique_ptr<runtime::Expression> test;
    if (filter && !trim(*filter).empty()) {
        data::bindFields(file);
        test = runtime::compileExpression(*filter);
        if (!test) return 800;
    }

    std::vector<std::pair<std::string, uint32_t>> entries;
    std::unique_ptr<BufferGuard> guard;
    if (test) guard = std::make_unique<BufferGuard>(file);
    // One reader slot for the whole scan: the snapshot is of one committed state of the file.
    Status s = records.beginRead();
    if (!s.ok()) return (m_failure = s).code;
    struct EndRead {
        RecordFile& r;
        ~EndRead() { r.endRead(); }
    } endRead{records};
    Cursor c(records, -1);
    for (s = c.seekFirst(); s.ok(); s = c.next()) {
        const std::string& rec = c.record();
        if (rec.size() != file.recordSize()) return (m_failure = Status::damaged(__LINE__, 0, "record of the wrong size")).code;
        if (test) {
            std::copy(rec.begin(), rec.end(), file.record());
            if (!file.memos().empty()) {
                std::string again;
                std::vector<std::string> memos;
                Status m = records.get(c.recno(), again, &memos);
                if (!m.ok()) return (m_failure = m).code;
                for (size_t i = 0; i < memos.size() && i < file.memos().size(); ++i) file.memo(i) = std::move(memos[i]);
            }
            if (!test->test()) continue;
        }
        if ((dyn.attributes & kKeyExcludeBlank) && isBlankKeyValue(schema, 0, bytes(rec))) continue;
        entries.emplace_back(entryOf(encodeKeyValue(schema, 0, bytes(rec)), c.recno()), c.recno());
    }
    if (s.code != kNoRecord) return (m_failure = s).code;
    std::sort(entries.begin(), entries.end());
    m_schema = std::move(schema);
    m_entries = std::move(entries);
    m_built = true;
    return 0;
}

std::string DynamicIndex::value(const char* record) const {
    return encodeKeyValue(m_schema, 0, reinterpret_cast<const uint8_t*>(record));
}

std::string DynamicIndex::entryOf(std::string_view value, uint32_t recno) {
    std::string e(value);
    append32be(e, recno);
    return e;
}

std::string DynamicIndex::entry(const char* record, uint32_t recno) const { return entryOf(value(record), recno); }

size_t DynamicIndex::lowerBound(std::string_view entry) const {
    auto it = std::lower_bound(m_entries.begin(), m_entries.end(), entry,
                               [](const std::pair<std::string, uint32_t>& e, std::string_view k) { return e.first < k; });
    return size_t(it - m_entries.begin());
}

}  // namespace sitedex::record

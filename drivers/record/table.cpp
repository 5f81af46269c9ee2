#include "drivers/record/table.h"

#include <algorithm>
#include <map>

namespace sitedex::record {

namespace {

constexpr std::string_view kTablePrefix = "TABLE:";

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

std::string namedKey(std::string_view name) {
    std::string k(1, char(kSelNamed));
    k.append(name);
    return k;
}

std::string tableKey(uint32_t table, uint8_t sel) {
    std::string k;
    append32be(k, table);
    k.push_back(char(sel));
    return k;
}

std::string dataKey(uint32_t table, uint32_t recno) {
    std::string k = tableKey(table, kSelData);
    append32be(k, recno);
    return k;
}

std::string memoPrefix(uint32_t table, uint32_t recno, size_t memo) {
    std::string k = tableKey(table, kSelMemo);
    append32be(k, recno);
    k.push_back(char(memo));
    return k;
}

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

std::string recnoData(uint32_t recno) {
    std::string d;
    append32(d, recno);
    return d;
}

Status readDefinition(Tree& tree, uint32_t table, std::string& stream) {
    std::string prefix = tableKey(table, kSelDefinition);
    std::vector<std::pair<uint16_t, std::string>> blocks;
    std::string key = prefix, k, d;
    bool found, strict = false;
    for (;;) {
        VLX_TRY(tree.seekForward(key, strict, k, &d, found));
        if (!found || !startsWith(k, prefix)) break;
        if (k.size() != prefix.size() + 2) return Status::damaged(__LINE__, 0, "definition block key");
        blocks.emplace_back(get16(bytes(k) + prefix.size()), d);
        key = k;
        strict = true;
    }
    std::sort(blocks.begin(), blocks.end());
    stream.clear();
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i].first != i) return Status::error(kBadDeclaration, "stored definition has a gap");
        stream += blocks[i].second;
    }
    if (blocks.empty()) return Status::error(kBadDeclaration, "no stored definition");
    return {};
}

Status findTable(Tree& tree, std::string_view name, uint32_t& table, bool& found) {
    std::string data;
    VLX_TRY(tree.find(namedKey(std::string(kTablePrefix) + upper(std::string(name))), &data, found));
    if (found) {
        if (data.size() != 4) return Status::damaged(__LINE__, 0, "table directory entry");
        table = get32(bytes(data));
        if (table == 0 || table >= (1u << 24)) return Status::damaged(__LINE__, 0, "table number out of range");
    }
    return {};
}

}  // namespace

void splitTableName(const std::string& declared, std::string& path, std::string& table) {
    size_t bang = declared.find("\\!");
    path = declared.substr(0, bang);
    table = bang == std::string::npos ? "UNNAMED" : declared.substr(bang + 2);
    if (table.empty()) table = "UNNAMED";
    while (!path.empty() && path.back() == ' ') path.pop_back();
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) path += ".VLX";
}

RecordFile::~RecordFile() {
    if (m_hold != Hold::kNone) {
        if (m_hold != Hold::kRead) m_pager->rollback();
        m_pager->leave();
    }
    if (m_pager) m_pager->cutTail();
}

std::string RecordFile::infoKey() const { return tableKey(m_table, kSelInfo); }

std::string RecordFile::rangePrefix(int key) const {
    return tableKey(m_table, key < 0 ? kSelData : uint8_t(key + 1));
}

std::string RecordFile::keyEntry(size_t key, std::string_view record, uint32_t recno) const {
    std::string k = tableKey(m_table, uint8_t(key + 1));
    k += encodeKeyValue(m_schema, key, bytes(record));
    if (m_schema.keys[key].duplicates()) append32be(k, recno);
    return k;
}

Status RecordFile::create(const std::string& path, const std::string& table, const Schema& schema,
                          const PagerOptions& optsIn, CreateMode mode) {
    VLX_TRY(validateSchema(schema));
    PagerOptions opts = optsIn;
    opts.writable = true;
    opts.create = true;
    std::unique_ptr<Pager> pager;
    Status s = Pager::open(path, opts, pager);
    if (s.code == kInvalidDataFile && mode == CreateMode::kReplace) {
        // Create replaces a file that is not a record file at all.
        std::unique_ptr<FileIo> io;
        VLX_TRY(openFile(path, true, true, io));
        VLX_TRY(io->truncate(0));
        io.reset();
        s = Pager::open(path, opts, pager);
    }
    VLX_TRY(s);
    VLX_TRY(pager->enterWrite(opts.openWaitMs));
    Tree tree(*pager);
    auto fail = [&](Status st) {
        pager->leave();
        return st;
    };
    uint32_t number = 0;
    bool found;
    s = findTable(tree, table, number, found);
    if (!s.ok()) return fail(s);
    if (found && mode == CreateMode::kIfMissing) return fail({});
    if (found) {
        RecordFile tmp;
        tmp.m_table = number;
        // drop everything the table held
        std::string prefix;
        append32be(prefix, number);
        std::string k;
        for (;;) {
            bool f;
            s = tree.seekForward(prefix, false, k, nullptr, f);
            if (!s.ok()) return fail(s);
            if (!f || !startsWith(k, prefix)) break;
            s = tree.erase(k, f);
            if (s.ok() && !f) s = Status::damaged(__LINE__, 0, "an entry found in order is not found by its key");
            if (!s.ok()) return fail(s);
        }
    } else {
        number = pager->nextTableNumber();
        if (number >= (1u << 24)) return fail(Status::error(kAccessDenied, "too many tables"));
        pager->setNextTableNumber(number + 1);
        std::string d;
        append32(d, number);
        s = tree.put(namedKey(std::string(kTablePrefix) + upper(table)), d);
        if (!s.ok()) return fail(s);
    }
    std::string def = definitionStream(schema);
    for (size_t off = 0, block = 0; off < def.size(); off += 512, ++block) {
        std::string k = tableKey(number, kSelDefinition);
        append16(k, uint16_t(block));
        s = tree.put(k, std::string_view(def).substr(off, 512));
        if (!s.ok()) return fail(s);
    }
    std::string info;
    append32(info, 1);
    append32(info, 0);
    append16(info, uint16_t(schema.keys.size()));
    for (size_t i = 0; i < schema.keys.size(); ++i) append32(info, 0);
    s = tree.put(tableKey(number, kSelInfo), info);
    if (s.ok()) s = pager->commit();
    return fail(s);
}

Status RecordFile::open(const std::string& path, const std::string& table, const Schema* declared,
                        const PagerOptions& opts, std::unique_ptr<RecordFile>& out) {
    if (declared) VLX_TRY(validateSchema(*declared));
    std::unique_ptr<RecordFile> f(new RecordFile());
    PagerOptions o = opts;
    o.create = false;
    VLX_TRY(Pager::open(path, o, f->m_pager));
    f->m_tree = std::make_unique<Tree>(*f->m_pager);
    // Opening waits for another program's change only as long as the caller allows an open to.
    if (opts.openWaitMs >= 0) f->m_pager->setLockWait(opts.openWaitMs);
    Status s = f->reading([&]() -> Status {
        bool found;
        VLX_TRY(findTable(*f->m_tree, table, f->m_table, found));
        if (!found) return Status::error(kNotFound, "no table " + table);
        std::string def;
        VLX_TRY(readDefinition(*f->m_tree, f->m_table, def));
        Schema stored;
        VLX_TRY(parseDefinition(def, stored));
        if (declared) {
            if (!sameDefinition(*declared, stored))
                return Status::error(kBadDeclaration, "the declaration differs from the stored definition");
            f->m_schema = *declared;
        } else {
            f->m_schema = std::move(stored);
        }
        return {};
    });
    f->m_pager->setLockWait(opts.lockWaitMs);
    VLX_TRY(s);
    out = std::move(f);
    return {};
}

Status RecordFile::listTables(const std::string& path, std::vector<std::string>& names) {
    std::unique_ptr<Pager> pager;
    PagerOptions o;
    o.writable = false;
    VLX_TRY(Pager::open(path, o, pager));
    VLX_TRY(pager->enterRead());
    if (pager->root() == 0) {
        // Nothing in it yet (its making may have stopped before its first table): as good as no file.
        pager->leave();
        return Status::error(kNotFound, "the file holds no table yet");
    }
    Tree tree(*pager);
    std::string prefix = namedKey(kTablePrefix), key = prefix, k;
    bool found, strict = false;
    Status s;
    names.clear();
    for (;;) {
        s = tree.seekForward(key, strict, k, nullptr, found);
        if (!s.ok() || !found || !startsWith(k, prefix)) break;
        names.push_back(k.substr(prefix.size()));
        key = k;
        strict = true;
    }
    pager->leave();
    return s;
}

// ---- holding the writer region ---------------------------------------------------------------------

Status RecordFile::begin(int waitMs) {
    if (m_hold == Hold::kTransaction) return Status::error(kAccessDenied, "transaction already active");
    if (m_hold == Hold::kRead) return Status::error(kAccessDenied, "a read snapshot is held");
    if (m_hold == Hold::kNone) VLX_TRY(m_pager->enterWrite(waitMs));
    m_hold = Hold::kTransaction;
    m_failed = false;
    m_failure = {};
    m_infoPending = false;
    return {};
}

Status RecordFile::storePendingInfo() {
    if (!m_infoPending) return {};
    m_infoPending = false;  // a failed transaction is undone with its counters
    if (m_failed) return {};
    Status s = putInfo(m_pendingInfo);
    if (!s.ok()) failTransaction(s);
    return s;
}

Status RecordFile::commit() {
    if (m_hold != Hold::kTransaction) return Status::error(kAccessDenied, "no transaction");
    Status s = storePendingInfo();
    if (!s.ok() || m_failed)
        m_pager->rollback(), s = lostChange();
    else
        s = m_pager->commit();
    m_pager->leave();
    m_hold = Hold::kNone;
    if (m_stalePending) (void)markKeysStale();
    return s;
}

void RecordFile::rollback() {
    if (m_hold != Hold::kTransaction) return;
    m_infoPending = false;
    m_pager->rollback();
    m_pager->leave();
    m_hold = Hold::kNone;
    if (m_stalePending) (void)markKeysStale();
}

Status RecordFile::prepareCommit(uint64_t txid, const std::string& tcf) {
    if (m_hold != Hold::kTransaction) return Status::error(kAccessDenied, "no transaction");
    VLX_TRY(storePendingInfo());
    if (m_failed) return lostChange();
    return m_pager->prepare(txid, tcf);
}

Status RecordFile::finishCommit() {
    if (m_hold != Hold::kTransaction) return Status::error(kAccessDenied, "no transaction");
    Status s = m_pager->finishPrepared();
    m_pager->leave();
    m_hold = Hold::kNone;
    return s;
}

void RecordFile::abortCommit() {
    if (m_hold != Hold::kTransaction) return;
    m_pager->abortPrepared();
    rollback();
}

Status RecordFile::lockFile(int waitMs) {
    if (m_hold == Hold::kRead) return Status::error(kAccessDenied, "a read snapshot is held");
    if (m_hold != Hold::kNone) return {};
    VLX_TRY(m_pager->enterWrite(waitMs));
    m_hold = Hold::kLock;
    return {};
}

void RecordFile::unlockFile() {
    if (m_hold != Hold::kLock) return;
    m_pager->leave();
    m_hold = Hold::kNone;
}

template <class F>
Status RecordFile::writing(F&& fn) {
    if (!m_pager->writable()) return Status::error(kAccessDenied, "file opened for reading");
    if (m_hold == Hold::kRead) return Status::error(kAccessDenied, "a read snapshot is held");
    if (m_hold == Hold::kTransaction) {
        if (m_failed) return lostChange();
        Status s = fn();
        if (s.code == kDamaged || s.code == kSystem) failTransaction(s);
        Status t = m_pager->trimCache();
        if (!t.ok()) {
            failTransaction(t);
            if (s.ok()) s = t;
        }
        return s;
    }
    if (m_hold == Hold::kNone) VLX_TRY(m_pager->enterWrite());
    Status s = fn();
    if (s.ok())
        s = m_pager->commit();
    else
        m_pager->rollback();
    if (m_hold == Hold::kNone) m_pager->leave();
    return s;
}

// The first failure that cost a transaction a change is what its commit reports: a full disk stays
// a full disk, not a refusal.
void RecordFile::failTransaction(const Status& why) {
    if (!m_failed) m_failure = why;
    m_failed = true;
}

Status RecordFile::lostChange() const {
    if (m_failure.code == kSystem || m_failure.code == kDamaged || m_failure.code == kRebuildKeys) return m_failure;
    return Status::error(kAccessDenied, "the transaction lost a change and was undone");
}

// ---- counters ------------------------------------------------------------------------------------

Status RecordFile::loadInfo(Info& info) {
    if (m_infoPending) {
        info = m_pendingInfo;
        return {};
    }
    std::string d;
    bool found;
    VLX_TRY(m_tree->find(infoKey(), &d, found));
    if (!found || d.size() < 10) return Status::damaged(__LINE__, 0, "table counters missing");
    const uint8_t* p = bytes(d);
    info.nextRecord = get32(p);
    info.records = get32(p + 4);
    size_t n = get16(p + 8);
    if (n != m_schema.keys.size() || d.size() != 10 + 4 * n) return Status::damaged(__LINE__, 0, "table counters");
    info.keyCounts.resize(n);
    for (size_t i = 0; i < n; ++i) info.keyCounts[i] = get32(p + 10 + 4 * i);
    return {};
}

Status RecordFile::saveInfo(const Info& info) {
    if (m_hold == Hold::kTransaction && !m_failed) {
        m_pendingInfo = info;
        m_infoPending = true;
        return {};
    }
    return putInfo(info);
}

Status RecordFile::putInfo(const Info& info) {
    std::string d;
    append32(d, info.nextRecord);
    append32(d, info.records);
    append16(d, uint16_t(info.keyCounts.size()));
    for (uint32_t c : info.keyCounts) append32(d, c);
    return m_tree->put(infoKey(), d);
}

Status RecordFile::recordCount(uint32_t& n) {
    return reading([&]() -> Status {
        Info info;
        VLX_TRY(loadInfo(info));
        n = info.records;
        return {};
    });
}

Status RecordFile::keyCount(size_t key, uint32_t& n) {
    return reading([&]() -> Status {
        Info info;
        VLX_TRY(loadInfo(info));
        n = key < info.keyCounts.size() ? info.keyCounts[key] : 0;
        return {};
    });
}

Status RecordFile::namedItem(std::string_view name, std::string& value, bool& found) {
    return reading([&]() { return m_tree->find(namedKey(name), &value, found); });
}

// ---- records -------------------------------------------------------------------------------------

Status RecordFile::checkUnique(std::string_view record, uint32_t recno, size_t skipKey) {
    for (size_t k = 0; k < m_schema.keys.size(); ++k) {
        const Key& key = m_schema.keys[k];
        if (key.duplicates() || k == skipKey) continue;
        if ((key.attributes & kKeyExcludeBlank) && isBlankKeyValue(m_schema, k, bytes(record))) continue;
        std::string d;
        bool found;
        VLX_TRY(m_tree->find(keyEntry(k, record, recno), &d, found));
        if (found && (d.size() != 4 || get32(bytes(d)) != recno))
            return Status::error(kDuplicate, key.name);
    }
    return {};
}

Status RecordFile::add(std::string_view record, const std::vector<std::string>* memos, uint32_t& recno) {
    if (record.size() != m_schema.recordSize) return Status::error(kBadDeclaration, "record size");
    return writing([&]() -> Status {
        Info info;
        VLX_TRY(loadInfo(info));
        uint32_t number = info.nextRecord;
        if (number == 0 || number >= 0x7FFFFFFFu - 1025) return Status::error(kAccessDenied, "record numbers used up");
        // (I12) every check comes before the first change, so a refused add leaves the file as it was.
        // The last check is the first change: the entry of one unique key is inserted only when
        // no entry has its value, which looks the value up and stores it in one walk down the tree.
        auto included = [&](size_t k) {
            return !((m_schema.keys[k].attributes & kKeyExcludeBlank) && isBlankKeyValue(m_schema, k, bytes(record)));
        };
        size_t first = SIZE_MAX;
        for (size_t k = 0; k < m_schema.keys.size() && first == SIZE_MAX; ++k)
            if (!m_schema.keys[k].duplicates() && included(k)) first = k;
        VLX_TRY(checkUnique(record, 0, first));
        if (first != SIZE_MAX) {
            bool existed;
            VLX_TRY(m_tree->insertNew(keyEntry(first, record, number), recnoData(number), existed));
            if (existed) return Status::error(kDuplicate, m_schema.keys[first].name);
            ++info.keyCounts[first];
        }
        VLX_TRY(m_tree->put(dataKey(m_table, number), record));
        for (size_t k = 0; k < m_schema.keys.size(); ++k) {
            if (k == first || !included(k)) continue;
            VLX_TRY(m_tree->put(keyEntry(k, record, number), recnoData(number)));
            ++info.keyCounts[k];
        }
        if (memos) VLX_TRY(writeMemos(number, *memos));
        info.nextRecord = number + 1;
        ++info.records;
        VLX_TRY(saveInfo(info));
        recno = number;
        return {};
    });
}

Status RecordFile::put(uint32_t recno, std::string_view record, const std::vector<std::string>* memos) {
    if (record.size() != m_schema.recordSize) return Status::error(kBadDeclaration, "record size");
    Status result = writing([&]() -> Status {
        std::string old;
        bool found;
        VLX_TRY(m_tree->find(dataKey(m_table, recno), &old, found));
        if (!found) return Status::error(kNoRecord);
        if (old.size() != m_schema.recordSize) return Status::damaged(__LINE__, 0, "record of the wrong size");
        VLX_TRY(checkUnique(record, recno));
        Info info;
        VLX_TRY(loadInfo(info));
        for (size_t k = 0; k < m_schema.keys.size(); ++k) {
            bool excl = m_schema.keys[k].attributes & kKeyExcludeBlank;
            bool oldIn = !(excl && isBlankKeyValue(m_schema, k, bytes(old)));
            bool newIn = !(excl && isBlankKeyValue(m_schema, k, bytes(record)));
            std::string oldKey = keyEntry(k, old, recno), newKey = keyEntry(k, record, recno);
            if (oldIn == newIn && oldKey == newKey) continue;
            if (oldIn) {
                VLX_TRY(m_tree->erase(oldKey, found));
                if (!found) return Status::error(kRebuildKeys, m_schema.keys[k].name);
                --info.keyCounts[k];
            }
            if (newIn) {
                VLX_TRY(m_tree->put(newKey, recnoData(recno)));
                ++info.keyCounts[k];
            }
        }
        VLX_TRY(m_tree->put(dataKey(m_table, recno), record));
        if (memos) {
            VLX_TRY(eraseMemos(recno));
            VLX_TRY(writeMemos(recno, *memos));
        }
        return saveInfo(info);
    });
    if (result.code == kRebuildKeys) keysFoundStale();
    return result;
}

Status RecordFile::remove(uint32_t recno) {
    Status result = writing([&]() -> Status {
        std::string old;
        bool found;
        VLX_TRY(m_tree->find(dataKey(m_table, recno), &old, found));
        if (!found) return Status::error(kNoRecord);
        if (old.size() != m_schema.recordSize) return Status::damaged(__LINE__, 0, "record of the wrong size");
        Info info;
        VLX_TRY(loadInfo(info));
        for (size_t k = 0; k < m_schema.keys.size(); ++k) {
            if ((m_schema.keys[k].attributes & kKeyExcludeBlank) && isBlankKeyValue(m_schema, k, bytes(old)))
                continue;
            VLX_TRY(m_tree->erase(keyEntry(k, old, recno), found));
            if (!found) return Status::error(kRebuildKeys, m_schema.keys[k].name);
            --info.keyCounts[k];
        }
        VLX_TRY(m_tree->erase(dataKey(m_table, recno), found));
        VLX_TRY(eraseMemos(recno));
        --info.records;
        return saveInfo(info);
    });
    if (result.code == kRebuildKeys) keysFoundStale();
    return result;
}

// ---- keys out of step (I19) -------------------------------------------------------------------------

void RecordFile::keysFoundStale() {
    if (m_hold == Hold::kTransaction) {
        // Part of the change may be in the transaction already: it must not commit.
        failTransaction(Status::error(kRebuildKeys));
        m_stalePending = true;
        return;
    }
    (void)markKeysStale();
}

void RecordFile::keysMetOutOfStep() {
    if (!m_pager->writable()) return;
    if (m_hold == Hold::kTransaction || m_hold == Hold::kRead) {
        m_stalePending = true;
        return;
    }
    (void)markKeysStale();
}

Status RecordFile::markKeysStale() {
    m_stalePending = false;
    return writing([&] { return m_tree->put(tableKey(m_table, kSelKeysStale), std::string(1, '\1')); });
}

Status RecordFile::keysNeedRebuild(bool& stale) {
    return reading([&] { return m_tree->find(tableKey(m_table, kSelKeysStale), nullptr, stale); });
}

Status RecordFile::get(uint32_t recno, std::string& record, std::vector<std::string>* memos) {
    return reading([&]() -> Status {
        bool found;
        VLX_TRY(m_tree->find(dataKey(m_table, recno), &record, found));
        if (!found) return Status::error(kRecordNotFound);
        if (record.size() != m_schema.recordSize) return Status::damaged(__LINE__, 0, "record of the wrong size");
        if (memos) VLX_TRY(readMemos(recno, *memos));
        return {};
    });
}

// ---- memos (I13) -----------------------------------------------------------------------------------

Status RecordFile::writeMemos(uint32_t recno, const std::vector<std::string>& memos) {
    for (size_t m = 0; m < m_schema.memos.size() && m < memos.size(); ++m) {
        const Memo& decl = m_schema.memos[m];
        std::string text = memos[m];
        if (decl.maxSize && text.size() > decl.maxSize) text.resize(decl.maxSize);
        std::string prefix = memoPrefix(m_table, recno, m);
        if (!decl.binary()) {
            while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
            for (size_t off = 0, piece = 0; off < text.size(); off += 256, ++piece) {
                std::string k = prefix;
                k.push_back(char(piece >> 8));
                k.push_back(char(piece & 0xFF));
                VLX_TRY(m_tree->put(k, std::string_view(text).substr(off, 256)));
            }
        } else {
            for (size_t off = 0, piece = 0; piece == 0 || off < text.size(); off += 256, ++piece) {
                std::string k = prefix;
                k.push_back(char(piece >> 8));
                k.push_back(char(piece & 0xFF));
                std::string d;
                if (piece == 0) append32(d, uint32_t(text.size()));
                d.append(std::string_view(text).substr(std::min(off, text.size()), 256));
                VLX_TRY(m_tree->put(k, d));
            }
        }
    }
    return {};
}

Status RecordFile::eraseRange(const std::string& prefix, uint64_t* erased) {
    std::string k;
    for (;;) {
        bool found;
        VLX_TRY(m_tree->seekForward(prefix, false, k, nullptr, found));
        if (!found || !startsWith(k, prefix)) return {};
        VLX_TRY(m_tree->erase(k, found));
        // The seek found the entry and the way down for erasing it did not: the separators above
        // it are damaged. Going on would find the same entry for ever.
        if (!found) return Status::damaged(__LINE__, 0, "an entry found in order is not found by its key");
        if (erased) ++*erased;
    }
}

Status RecordFile::eraseMemos(uint32_t recno) {
    std::string prefix = tableKey(m_table, kSelMemo);
    append32be(prefix, recno);
    return eraseRange(prefix, nullptr);
}

Status RecordFile::readMemos(uint32_t recno, std::vector<std::string>& memos) {
    memos.assign(m_schema.memos.size(), {});
    for (size_t m = 0; m < m_schema.memos.size(); ++m) {
        std::string prefix = memoPrefix(m_table, recno, m);
        std::string key = prefix + std::string(2, '\0'), k, d, all;
        // Most records have no memo: the first piece is looked for by its exact key, which a leaf
        // searched lately can answer without being read again.
        bool found;
        VLX_TRY(m_tree->find(key, &all, found));
        size_t piece = found ? 1 : 0;
        for (; found; ++piece) {
            VLX_TRY(m_tree->seekForward(key, true, k, &d, found));
            if (!found || !startsWith(k, prefix)) break;
            if (k.size() != prefix.size() + 2 || size_t((uint8_t(k[prefix.size()]) << 8) | uint8_t(k[prefix.size() + 1])) != piece)
                return Status::damaged(__LINE__, 0, "memo pieces out of sequence");
            all += d;
            key = k;
        }
        if (m_schema.memos[m].binary() && piece > 0) {
            if (all.size() < 4) return Status::damaged(__LINE__, 0, "memo length missing");
            uint32_t len = get32(bytes(all));
            if (len != all.size() - 4) return Status::damaged(__LINE__, 0, "memo shorter than its length");
            all.erase(0, 4);
        }
        memos[m] = std::move(all);
    }
    return {};
}

// ---- whole-table operations --------------------------------------------------------------------------

Status RecordFile::empty() {
    return writing([&]() -> Status {
        Info info;
        VLX_TRY(loadInfo(info));
        VLX_TRY(eraseRange(tableKey(m_table, kSelData), nullptr));
        VLX_TRY(eraseRange(tableKey(m_table, kSelMemo), nullptr));
        for (size_t k = 0; k < m_schema.keys.size(); ++k) {
            VLX_TRY(eraseRange(tableKey(m_table, uint8_t(k + 1)), nullptr));
            info.keyCounts[k] = 0;
        }
        info.records = 0;
        return saveInfo(info);
    });
}

Status RecordFile::buildKeys(int only) {
    return writing([&]() -> Status {
        Info info;
        VLX_TRY(loadInfo(info));
        for (size_t k = 0; k < m_schema.keys.size(); ++k) {
            if (only >= 0 && size_t(only) != k) continue;
            VLX_TRY(eraseRange(tableKey(m_table, uint8_t(k + 1)), nullptr));
            info.keyCounts[k] = 0;
        }
        if (only < 0) {
            bool marked;
            VLX_TRY(m_tree->erase(tableKey(m_table, kSelKeysStale), marked));
        }
        std::string prefix = tableKey(m_table, kSelData), key = prefix, k, rec;
        bool found, strict = false;
        uint32_t records = 0;
        for (;;) {
            VLX_TRY(m_tree->seekForward(key, strict, k, &rec, found));
            if (!found || !startsWith(k, prefix)) break;
            if (k.size() != prefix.size() + 4 || rec.size() != m_schema.recordSize)
                return Status::damaged(__LINE__, 0, "record entry of the wrong size");
            uint32_t recno = get32be(bytes(k) + prefix.size());
            for (size_t i = 0; i < m_schema.keys.size(); ++i) {
                if (only >= 0 && size_t(only) != i) continue;
                if ((m_schema.keys[i].attributes & kKeyExcludeBlank) && isBlankKeyValue(m_schema, i, bytes(rec)))
                    continue;
                std::string entry = keyEntry(i, rec, recno);
                if (!m_schema.keys[i].duplicates()) {
                    bool dup;
                    VLX_TRY(m_tree->find(entry, nullptr, dup));
                    if (dup) return Status::error(kDuplicate, m_schema.keys[i].name);
                }
                VLX_TRY(m_tree->put(entry, recnoData(recno)));
                ++info.keyCounts[i];
            }
            ++records;
            key = k;
            strict = true;
            VLX_TRY(m_pager->trimCache());
        }
        info.records = records;
        return saveInfo(info);
    });
}

Status RecordFile::pack() {
    if (m_hold == Hold::kTransaction) return Status::error(kAccessDenied, "pack inside a transaction");
    VLX_TRY(writing([&] { return packTree(); }));
    // The space given back lies past the new allocation end now; cut it off (I7: bytes there are
    // never read). Under a file lock the writer region is still ours.
    if (m_hold == Hold::kLock) {
        if (m_pager->settledOnDisk() && !m_pager->preparedOnDisk()) (void)m_pager->io().truncate(m_pager->allocEnd());
    } else {
        m_pager->cutTail();
    }
    return {};
}

// ---- check -------------------------------------------------------------------------------------------

Status RecordFile::check(CheckReport& report) {
    return reading([&]() -> Status {
        Info info;
        VLX_TRY(loadInfo(info));
        std::string tprefix;
        append32be(tprefix, m_table);
        std::vector<uint32_t> recnos;
        std::vector<uint64_t> keyEntries(m_schema.keys.size(), 0);
        uint32_t memoRec = 0, memoNo = 0, memoPiece = 0;
        bool memoOpen = false;
        uint32_t highest = 0;
        bool keysMarked = false;
        auto visit = [&](std::string_view k, std::string_view d) -> Status {
            if (!startsWith(k, tprefix)) return {};
            if (k.size() < 5) return Status::damaged(__LINE__, 0, "entry key too short");
            uint8_t sel = uint8_t(k[4]);
            if (sel >= 1 && sel <= m_schema.keys.size()) {
                size_t key = sel - 1;
                size_t want = 5 + m_schema.keyValueLength(key) + (m_schema.keys[key].duplicates() ? 4 : 0);
                if (k.size() != want || d.size() != 4) return Status::damaged(__LINE__, 0, "key entry of the wrong length");
                if (m_schema.keys[key].duplicates() && get32be(bytes(k) + want - 4) != get32(bytes(d)))
                    return Status::damaged(__LINE__, 0, "key entry names two records");
                ++keyEntries[key];
            } else if (sel == kSelData) {
                if (k.size() != 9 || d.size() != m_schema.recordSize)
                    return Status::damaged(__LINE__, 0, "record entry of the wrong length");
                uint32_t r = get32be(bytes(k) + 5);
                recnos.push_back(r);
                highest = std::max(highest, r);
            } else if (sel == kSelMemo) {
                if (k.size() != 12 || d.empty()) return Status::damaged(__LINE__, 0, "memo entry of the wrong length");
                uint32_t r = get32be(bytes(k) + 5);
                uint32_t m = uint8_t(k[9]);
                uint32_t piece = (uint8_t(k[10]) << 8) | uint8_t(k[11]);
                if (m >= m_schema.memos.size() || !std::binary_search(recnos.begin(), recnos.end(), r))
                    return Status::damaged(__LINE__, 0, "memo piece without its record");
                bool same = memoOpen && r == memoRec && m == memoNo;
                if (piece != (same ? memoPiece + 1 : 0)) return Status::damaged(__LINE__, 0, "memo pieces incomplete");
                if (piece == 0 && m_schema.memos[m].binary() && d.size() < 4)
                    return Status::damaged(__LINE__, 0, "memo length missing");
                memoOpen = true;
                memoRec = r;
                memoNo = m;
                memoPiece = piece;
            } else if (sel == kSelKeysStale) {
                keysMarked = true;
            } else if (sel != kSelInfo && sel != kSelDefinition) {
                return Status::damaged(__LINE__, 0, "entry with an unknown selector");
            }
            return {};
        };
        Tree::CheckResult tr;
        VLX_TRY(m_tree->check(tr, visit));
        report.pages = tr.pages;
        report.records = recnos.size();
        // Pages, the free map and the header must not overlap and must lie inside the file's space.
        auto extents = tr.extents;
        extents.emplace_back(0, 2);
        extents.emplace_back(kFreeMapHome, kFreeMapUnits);
        std::map<uint32_t, uint32_t> freeSpace;
        VLX_TRY(m_pager->freeExtents(freeSpace));
        for (auto [home, units] : freeSpace) extents.emplace_back(home, units);
        std::sort(extents.begin(), extents.end());
        uint64_t accounted = 0;
        for (size_t i = 0; i < extents.size(); ++i) {
            uint64_t end = uint64_t(extents[i].first) + uint64_t(extents[i].second) * kUnit;
            if (end > m_pager->allocEnd()) return Status::damaged(__LINE__, extents[i].first, "page past the allocated space");
            if (i + 1 < extents.size() && end > extents[i + 1].first)
                return Status::damaged(__LINE__, extents[i + 1].first, "two pages overlap");
            accounted += uint64_t(extents[i].second) * kUnit;
        }
        report.unaccountedBytes = m_pager->allocEnd() - accounted;
        if (info.records != recnos.size()) return Status::damaged(__LINE__, 0, "record count does not match the records");
        if (highest >= info.nextRecord) return Status::damaged(__LINE__, 0, "record number beyond the next one");
        if (keysMarked) return Status::error(kRebuildKeys, "the keys are marked as out of step with the records");
        // Every record must have exactly its entries in every key.
        std::vector<uint64_t> expected(m_schema.keys.size(), 0);
        std::string rec;
        for (uint32_t r : recnos) {
            bool found;
            VLX_TRY(m_tree->find(dataKey(m_table, r), &rec, found));
            if (!found) return Status::damaged(__LINE__, 0, "record vanished during the check");
            for (size_t k = 0; k < m_schema.keys.size(); ++k) {
                if ((m_schema.keys[k].attributes & kKeyExcludeBlank) && isBlankKeyValue(m_schema, k, bytes(rec)))
                    continue;
                std::string d;
                VLX_TRY(m_tree->find(keyEntry(k, rec, r), &d, found));
                if (!found || d.size() != 4 || get32(bytes(d)) != r)
                    return Status::damaged(__LINE__, 0,
                                           "record " + std::to_string(r) + " is missing from key " + m_schema.keys[k].name);
                ++expected[k];
            }
            (void)m_pager->trimCache();
        }
        for (size_t k = 0; k < m_schema.keys.size(); ++k) {
            if (expected[k] != keyEntries[k])
                return Status::damaged(__LINE__, 0, "key " + m_schema.keys[k].name + " holds entries of no record");
            if (info.keyCounts[k] != keyEntries[k])
                return Status::damaged(__LINE__, 0, "key " + m_schema.keys[k].name + " count does not match");
        }
        return {};
    });
}

// ---- cursor ------------------------------------------------------------------------------------------

Status Cursor::land(std::string&& k, std::string&& d, Tree& tree) {
    if (m_key < 0) {
        if (k.size() != 9) return Status::damaged(__LINE__, 0, "record entry key");
        m_recno = get32be(bytes(k) + 5);
        if (m_fetch) m_record = std::move(d);
    } else {
        if (d.size() != 4) return Status::damaged(__LINE__, 0, "key entry data");
        m_recno = get32(bytes(d));
        if (m_fetch) {
            std::string dk = m_prefix.substr(0, 4);
            dk.push_back(char(kSelData));
            append32be(dk, m_recno);
            bool have;
            VLX_TRY(tree.find(dk, &m_record, have));
            if (!have) return Status::error(kRebuildKeys, "a key entry names a missing record");
        }
    }
    m_entryKey = std::move(k);
    return {};
}

Status Cursor::move(std::string_view key, bool forward, bool strict) {
    std::string k, d;
    bool found = false;
    Tree tree(m_file.pager());
    Pager& pager = m_file.pager();
    m_status = m_file.reading([&]() -> Status {
        // Stepping to the neighbour in the same leaf needs no search while nothing has changed.
        if (strict && m_valid && m_leaf && m_version == pager.version() && key == m_entryKey) {
            if (const Node* leaf = pager.cached(m_leaf)) {
                size_t i = m_index;
                bool inLeaf = forward ? i + 1 < leaf->count() : i > 0;
                if (inLeaf && i < leaf->count() && leaf->key(i) == key) {
                    i = forward ? i + 1 : i - 1;
                    if (!startsWith(leaf->key(i), m_prefix)) return {};
                    k.assign(leaf->key(i));
                    d.assign(leaf->data(i));
                    found = true;
                    m_index = i;
                    return land(std::move(k), std::move(d), tree);
                }
            }
        }
        // A fresh seek forward leaves the leaf where the tree finds it best (a lookup at random may
        // not cache it); a step to the next entry asks for the leaf, to step on from it.
        Tree::Spot spot;
        if (forward)
            VLX_TRY(tree.seekForward(key, strict, k, &d, found, strict ? &spot : nullptr));
        else
            VLX_TRY(tree.seekBackward(key, strict, k, &d, found, &spot));
        if (!found || !startsWith(k, m_prefix)) {
            found = false;
            return {};
        }
        if (strict && m_leaf && spot.leaf != m_leaf) pager.doneWith(m_leaf);
        m_leaf = spot.leaf;
        m_index = spot.index;
        m_version = pager.version();
        return land(std::move(k), std::move(d), tree);
    });
    if (!m_status.ok()) {
        if (m_status.code == kRebuildKeys) m_file.keysMetOutOfStep();
        m_valid = false;
        return m_status;
    }
    if (!found) {
        m_valid = false;
        m_status = Status::error(kNoRecord);
        return m_status;
    }
    m_valid = true;
    return m_status;
}

Status Cursor::seekFirst() { return move(m_prefix, true, false); }

Status Cursor::seekLast() {
    std::string end = m_prefix;
    end.back() = char(uint8_t(end.back()) + 1);
    return move(end, false, true);
}

Status Cursor::seek(std::string_view key, bool forward) { return move(key, forward, false); }

Status Cursor::next() {
    if (!m_valid) return m_status = Status::error(kNoRecord);
    return move(m_entryKey, true, true);
}

Status Cursor::previous() {
    if (!m_valid) return m_status = Status::error(kNoRecord);
    return move(m_entryKey, false, true);
}

}  // namespace sitedex::record

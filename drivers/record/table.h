#pragma once
// A table inside a VLX file: fixed-size records by record number, their keys and memos, with
// the engine's own C++ API (the access-layer driver, the views and the tools sit on top of it).
//
// Every call brackets itself with the file's lock protocol: reads take a reader slot, changes the
// writer region, and a change is committed before the call returns. Between begin() and
// commit()/rollback() (and between lockFile() and unlockFile()) the writer region stays held and
// calls run inside it; a transaction's changes become durable together at commit.
//
// Errors use the access layer's codes (40 duplicate, 33/35 missing, 47 declaration, ...); a broken
// page or tree gives kDamaged with the page offset. One RecordFile is used by one thread at a time.

#include <memory>
#include <string>
#include <vector>

#include "drivers/record/btree.h"
#include "drivers/record/pager.h"
#include "drivers/record/schema.h"

namespace sitedex::record {

// "path\!table" -> path with ".VLX" added when it has no extension, and the table name
// ("UNNAMED" when none is given).
void splitTableName(const std::string& declared, std::string& path, std::string& table);

enum class CreateMode { kReplace, kIfMissing };

class RecordFile {
public:
    ~RecordFile();

    // Makes the file and the table in it, deciding under the file's writer lock, so that two programs
    // creating one file at once end with one file and one table. kReplace: a file that is not a
    // record file is replaced, and an existing table of that name is emptied and takes the new
    // definition. kIfMissing: an existing table is kept as it is (another program may have just
    // made it and added to it), and a file that is not a record file is refused (36). A file whose
    // making was interrupted (I1) is made anew in either case.
    static Status create(const std::string& path, const std::string& table, const Schema& schema,
                         const PagerOptions& opts = {}, CreateMode mode = CreateMode::kReplace);
    // Opens a table. With `declared` the stored definition must match it (47); without it the
    // stored definition is used (tools). A missing file or table gives kNotFound.
    static Status open(const std::string& path, const std::string& table, const Schema* declared,
                       const PagerOptions& opts, std::unique_ptr<RecordFile>& out);
    // The names of the tables stored in a file; kNotFound when the file holds nothing yet (not made
    // whole, or made and not given its first table).
    static Status listTables(const std::string& path, std::vector<std::string>& names);

    const Schema& schema() const { return m_schema; }
    Pager& pager() { return *m_pager; }
    uint32_t tableNumber() const { return m_table; }

    // ---- holding the writer region ------------------------------------------------------------
    Status begin(int waitMs = -1);
    Status commit();
    void rollback();
    bool inTransaction() const { return m_hold == Hold::kTransaction; }
    // A transaction over several files commits through the transaction control file (I15-I17):
    // the caller prepares every file of the group, writes the group's record to the TCF, then
    // finishes every file; when any step before the record fails it aborts every prepared file.
    bool hasChanges() const { return m_infoPending || m_pager->hasChanges(); }
    Status prepareCommit(uint64_t txid, const std::string& tcf);
    Status finishCommit();
    void abortCommit();
    Status lockFile(int waitMs);
    void unlockFile();
    bool fileLocked() const { return m_hold == Hold::kLock; }

    // ---- records ------------------------------------------------------------------------------
    // `memos` (one text per declared memo) may be null: add stores no memos, put keeps them.
    Status add(std::string_view record, const std::vector<std::string>* memos, uint32_t& recno);
    Status put(uint32_t recno, std::string_view record, const std::vector<std::string>* memos);
    Status remove(uint32_t recno);
    // 35 when the record does not exist. `memos` may be null (memos not read).
    Status get(uint32_t recno, std::string& record, std::vector<std::string>* memos);
    Status recordCount(uint32_t& n);
    Status keyCount(size_t key, uint32_t& n);
    Status empty();
    // Recreates the entries of one key (index into schema().keys), or of all keys when key < 0.
    Status buildKeys(int key);
    // Writes the whole file's entry tree anew with every page filled and this table's keys rebuilt
    // from its records, then cuts the space given back off the file. Record numbers are kept. One
    // change, committed like any other; refused inside a transaction.
    Status pack();
    // Whether the table's keys are marked out of step with its records (I19): a change found a
    // stored record missing from one of its keys. Only building all keys (or pack) takes the mark
    // away; the driver refuses to open the table for the program meanwhile (46).
    Status keysNeedRebuild(bool& stale);
    // A read met a key entry whose record is missing: the keys are out of step (I19). The mark is
    // written at once when the file can take it, else when the transaction or read snapshot held
    // now ends; a file opened for reading only is not marked.
    void keysMetOutOfStep();
    // Record locks between programs (I8): kHeld when another open file holds the record.
    Status lockRecord(uint32_t recno, int waitMs) { return m_pager->lockRecord(recno, waitMs); }
    void unlockRecord(uint32_t recno) { m_pager->unlockRecord(recno); }
    // Looks up a named item (254 + name); found=false when absent.
    Status namedItem(std::string_view name, std::string& value, bool& found);

    // ---- keys ---------------------------------------------------------------------------------
    // The key part of key `key`'s entry for a record image (I5): table, key number, value, and the
    // record number for a key with duplicates.
    std::string keyEntry(size_t key, std::string_view record, uint32_t recno) const;
    // The start of every entry of the record order (key < 0) or of key `key`.
    std::string rangePrefix(int key) const;

    // Checks the whole file: tree shape, page bounds, free space, counters, every key entry against
    // its record and every memo. Read-only. Space below the allocation end that is neither a page,
    // the header, the free-space map nor a free extent is counted (lost to use until a pack), not
    // reported as damage: the data is whole.
    struct CheckReport {
        uint64_t records = 0;
        uint64_t pages = 0;
        uint64_t unaccountedBytes = 0;
    };
    Status check(CheckReport& report);

    // Runs fn inside read mode (or inside the held writer region).
    // Holds one reader slot across many calls (a consistent snapshot for a long read such as a
    // full scan, as a database statement holds its read transaction). Writes are refused meanwhile.
    Status beginRead() {
        if (m_hold != Hold::kNone) return {};
        VLX_TRY(m_pager->enterRead());
        m_hold = Hold::kRead;
        return {};
    }
    void endRead() {
        if (m_hold != Hold::kRead) return;
        m_pager->leave();
        m_hold = Hold::kNone;
        if (m_stalePending) (void)markKeysStale();
    }

    template <class F>
    Status reading(F&& fn) {
        if (m_hold != Hold::kNone) {
            Status s = fn();
            (void)m_pager->trimCache();  // a long snapshot keeps to the cache size too
            return s;
        }
        VLX_TRY(m_pager->enterRead());
        m_hold = Hold::kRead;  // calls made inside fn run in this same read mode
        Status s = fn();
        m_hold = Hold::kNone;
        m_pager->leave();
        return s;
    }

private:
    enum class Hold { kNone, kLock, kTransaction, kRead };
    struct Info {
        uint32_t nextRecord = 1;
        uint32_t records = 0;
        std::vector<uint32_t> keyCounts;
    };
    RecordFile() = default;
    template <class F>
    Status writing(F&& fn);
    Status loadInfo(Info& info);
    Status saveInfo(const Info& info);
    Status putInfo(const Info& info);  // into the tree at once
    // Inside a transaction the counters are kept here and stored once, before the commit.
    Status storePendingInfo();
    Status writeMemos(uint32_t recno, const std::vector<std::string>& memos);
    Status eraseMemos(uint32_t recno);
    Status readMemos(uint32_t recno, std::vector<std::string>& memos);
    Status eraseRange(const std::string& prefix, uint64_t* erased);
    // skipKey: a unique key the caller checks itself (by inserting its entry first).
    Status checkUnique(std::string_view record, uint32_t recno, size_t skipKey = SIZE_MAX);
    Status packTree();
    // A change met keys out of step (I19): the mark is committed on its own, at once, or when the
    // transaction that met it has ended.
    void keysFoundStale();
    Status markKeysStale();
    std::string infoKey() const;

    std::unique_ptr<Pager> m_pager;
    std::unique_ptr<Tree> m_tree;
    Schema m_schema;
    uint32_t m_table = 0;
    Hold m_hold = Hold::kNone;
    bool m_failed = false;  // a transaction lost a change half-way; commit refuses it
    Status m_failure;       // why (the first failure)
    void failTransaction(const Status& why);
    Status lostChange() const;
    bool m_stalePending = false;  // keys met out of step inside a transaction: mark them at its end
    Info m_pendingInfo;
    bool m_infoPending = false;
};

// A position in the record order or in one key's order. Each move takes the file's read lock for
// itself, so a cursor stays usable across other programs' commits: it remembers the entry it
// stands on and finds its neighbour afresh.
class Cursor {
public:
    // key < 0: record-number order; else the index of the key in the schema.
    Cursor(RecordFile& file, int key) : m_file(file), m_key(key), m_prefix(file.rangePrefix(key)) {}

    Status seekFirst();
    Status seekLast();
    // The first entry >= key (forward) or the last entry <= key (backward); key is a full key part.
    Status seek(std::string_view key, bool forward);
    Status next();
    Status previous();

    bool valid() const { return m_valid; }
    uint32_t recno() const { return m_recno; }
    const std::string& key() const { return m_entryKey; }
    // The record the cursor stands on, read with the move (when fetchRecords is on).
    const std::string& record() const { return m_record; }
    const Status& status() const { return m_status; }
    void setFetchRecords(bool on) { m_fetch = on; }

private:
    Status move(std::string_view key, bool forward, bool strict);
    Status land(std::string&& k, std::string&& d, Tree& tree);

    RecordFile& m_file;
    int m_key;
    std::string m_prefix;
    bool m_valid = false;
    bool m_fetch = true;
    uint32_t m_recno = 0;
    uint64_t m_leaf = 0;      // the leaf and index the cursor stands on, valid while the pager's
    size_t m_index = 0;       // version is m_version (nothing changed, nothing dropped)
    uint64_t m_version = 0;
    std::string m_entryKey;
    std::string m_record;
    Status m_status;
};

}  // namespace sitedex::record

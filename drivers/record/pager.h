#pragma once
// The pager: one open VLX file with its header, page log, lock protocol, free space and node
// cache. The tree (btree.h) asks it for nodes by id and tells it which nodes it changed; the pager
// writes them at commit through the page log, so that a committed change survives a crash at any
// instant and an interrupted one leaves the file as it was.
//
// Every operation runs inside a mode: read mode holds one reader slot, write mode holds the writer
// region (all reader slots). Entering a mode re-reads the header; a changed change counter drops
// every cached page. Nodes handed out stay valid until the mode is left or the operation ends
// (trimCache). A long write keeps its memory bounded by writing its new pages out early, past the
// space of the last commit, and closes the holes they leave before it commits. Once the cache is
// full, a lookup at random searches a leaf it has not seen lately on disk instead of caching it
// (searchLeaf). The invariants cited "(I<n>)" are those of docs/record-file-format.md.
//
// One Pager belongs to one thread of control at a time; several Pagers (in one or several
// processes) may share a file.

#include <boost/container/flat_map.hpp>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "drivers/record/file_io.h"
#include "drivers/record/id_table.h"
#include "drivers/record/node.h"

namespace sitedex::record {

enum class Durability {
    kProcessCrash,  // commits survive a killed process (no flush to the device)
    kPowerCut,      // commits are flushed to the device before they are acknowledged
};

struct PagerOptions {
    bool writable = true;
    bool create = false;                    // make a missing or empty file
    Durability durability = Durability::kPowerCut;
    size_t cacheBytes = 32u << 20;          // clean decoded pages kept between operations
    int lockWaitMs = 30000;                 // how long an operation waits for its lock
    // How long opening waits for its lock, behind another program's change (ms); < 0: lockWaitMs.
    // A program that can tell its user the file is in use waits briefly and asks.
    int openWaitMs = -1;
};

class Pager {
public:
    ~Pager();
    // A file whose making was interrupted (I1: no header yet, nothing past the free-space map) is
    // kNotFound to a reader, and a writable open makes it an empty record file.
    static Status open(const std::string& path, const PagerOptions& opts, std::unique_ptr<Pager>& out);

    // ---- modes -------------------------------------------------------------------------------
    Status enterRead();
    // waitMs < 0: the default wait of the options.
    Status enterWrite(int waitMs = -1);
    // Leaves the mode entered last; a write mode with uncommitted changes is rolled back.
    void leave();
    bool inWrite() const { return m_mode == Mode::kWrite; }
    // How long entering a mode waits for its lock (ms); a statement given a wait of its own bounds it.
    int lockWait() const { return m_opts.lockWaitMs; }
    void setLockWait(int ms) { m_opts.lockWaitMs = ms; }
    bool inMode() const { return m_mode != Mode::kNone; }

    // Writes every changed node and the header through the page log (I6, I7). REQUIRES inWrite().
    Status commit();
    // Drops every change since write mode was entered.
    void rollback();

    // ---- commit of a group of files (I15-I17) ------------------------------------------------
    // A transaction over several files commits in two phases: prepare() writes and flushes the
    // page log and marks the header "prepared" for `txid` without announcing the log; the caller
    // then writes the group's record to the transaction control file `tcf` (the commit point) and
    // calls finishPrepared() on every file, or abortPrepared() when the group does not commit.
    // A file left prepared by a crash is settled from the TCF by the next reader or writer.
    bool hasChanges() const { return m_changed || m_headerDirty; }
    Status prepare(uint64_t txid, const std::string& tcf);
    // Announces and rolls the prepared log forward. A failure here leaves the file prepared (the
    // change is committed and is rolled forward by the next writer).
    Status finishPrepared();
    void abortPrepared();
    // False after a failure past the commit point: the disk still holds work for the next writer
    // (and, for a group, its TCF record must stay).
    bool settledOnDisk() const { return m_haveHeader; }
    // The header last read carries a prepared mark (a group commit in flight or left by a crash).
    bool preparedOnDisk() const {
        return m_diskHeader.size() == kHeaderSize && get32(bytes(m_diskHeader) + kHdrPrepStart) != 0;
    }

    // ---- nodes (REQUIRES inMode()) -----------------------------------------------------------
    uint64_t root() const { return m_root; }
    void setRoot(uint64_t id) {
        m_root = id;
        m_headerDirty = true;
    }
    Status node(uint64_t id, Node*& out);
    // Lookup in the leaf `id` (searchPackedLeaf) when it is better searched on disk than cached:
    // done tells whether it was; if not, the caller reads the node as usual (a cached leaf that
    // needs no unpacking is handed over in *cachedLeaf, when given).
    Status searchLeaf(uint64_t id, std::string_view key, LeafSeek how, std::string* outKey, std::string* data,
                      bool& found, bool& done, Node** cachedLeaf = nullptr);
    Node* newNode(uint8_t level);
    // The node when it is in the cache, else null (never reads).
    const Node* cached(uint64_t id) const {
        const Slot* s = m_cache.find(id);
        return s ? &s->node : nullptr;
    }
    // A leaf that a cursor stepping in key order has left: it is let go first when the cache is
    // trimmed (a scan would otherwise push out the pages used again and again for dead ones).
    void doneWith(uint64_t id) {
        if (Slot* s = m_cache.find(id); s && s->inLru) m_lru.unuse(s);
    }
    void markDirty(Node* n);         // content changed
    void markTouched(uint64_t id);   // on the path to a changed node
    void freeNode(uint64_t id);      // node no longer part of the tree
    // Pack: the tree built from new nodes under `root` takes the place of the whole old tree. Every
    // page of the old tree and all free space (extents given up included) are let go, so that the
    // new pages are placed densely from the first page on at commit. REQUIRES: write mode with no
    // change made in it yet.
    void replaceTree(uint64_t root);
    // Ends one operation inside a long write: clean pages beyond the cache size are let go, and
    // changed pages beyond what memory should hold are written out (or kept packed). A failure
    // means the transaction can no longer commit.
    Status trimCache() { return trim(); }
    // Raised whenever cached nodes may have changed (own writes or another program's commit).
    uint64_t version() const { return m_version; }

    // ---- header fields kept for the layers above ---------------------------------------------
    uint32_t nextTableNumber() const { return m_nextTable; }
    void setNextTableNumber(uint32_t v) {
        m_nextTable = v;
        m_headerDirty = true;
    }
    int32_t changeCounter() const { return m_counter; }
    uint32_t allocEnd() const { return m_allocEnd; }
    bool writable() const { return m_io->writable(); }

    // ---- record locks (I8) -------------------------------------------------------------------
    Status lockRecord(uint32_t recno, int waitMs);
    void unlockRecord(uint32_t recno);

    // ---- inspection (check tool) -------------------------------------------------------------
    // The free extents as the file records them now (read afresh). REQUIRES inMode().
    Status freeExtents(std::map<uint32_t, uint32_t>& out) {
        if (m_mode != Mode::kWrite) VLX_TRY(loadFreeMap());
        out.clear();
        out.insert(m_free.begin(), m_free.end());
        return {};
    }
    // Stored length of the page at home (header checked), for the check tool.
    Status pageUnits(uint32_t home, uint32_t& units);
    FileIo& io() { return *m_io; }
    const std::string& path() const { return m_path; }
    // Cuts the file at the allocation end when no other program is using it (left page-log space).
    void cutTail();
    // Pages held in memory now, clean or changed, and the memory the clean ones are charged (tests,
    // benchmarks).
    size_t cachedPages() const { return m_cache.size(); }
    size_t cleanBytes() const { return m_cleanBytes; }
    // Exact lookups answered from the known keys of a leaf, without reading it (tests).
    uint64_t answeredByLeafKeys() const { return m_answeredByLeafKeys; }
    // Debug check of the cache and free-space bookkeeping (tests): outside a mode nothing is
    // changed or pinned, and the accounting adds up.
    Status checkInvariants() const;

private:
    enum class Mode { kNone, kRead, kWrite };
    struct Slot {
        Node node;  // held in the slot itself: one allocation less to reach on every visit
        bool dirty = false;
        bool touched = false;
        uint32_t diskUnits = 0;  // units the page occupies at its home; 0 for a new node
        uint32_t clockPos = 0;  // its place in the clock while inLru
        bool inLru = false;     // clean and under the cache's rule (in the clock)
        uint64_t dirtySince = 0;  // when a leaf last became changed: the oldest go out first
        size_t bytes = 0;
        std::string packed;  // a changed leaf kept packed while a long transaction runs
    };

    Pager() = default;
    // The slot of a cached page, or null.
    Slot* findSlot(uint64_t id);
    Status readHeader(bool initial);
    Status loadLog(uint32_t start, uint32_t end);
    Status rollForward();
    struct PendingLog {
        uint32_t start = 0, end = 0;
        std::string headerCopy;  // the new header, no log pending
        std::vector<std::pair<uint32_t, std::string>> logged;  // home -> page, written home at roll-forward
        bool active = false;
    };
    Status writeLog(PendingLog& log);
    Status finishLog(PendingLog& log);
    void failBeforeCommitPoint();
    Status settlePrepared(uint8_t* h);
    // Reads n bytes of the page at home into buf (the first `keep` of them are there already).
    Status readAt(uint64_t home, std::string& buf, size_t n, size_t& got, size_t keep = 0);
    static constexpr size_t kFirstRead = 2560;
    Status loadFreeMap();
    std::string freeMapImage() const;
    std::string headerImage(uint32_t logStart, uint32_t logEnd) const;
    Status initNewFile();
    Status flushNode(uint64_t id, uint32_t& home, std::vector<std::pair<uint32_t, std::string>>& pages);
    void freeWillChange();
    uint32_t allocate(uint32_t units);
    void release(uint32_t home, uint32_t units);
    Status place(Slot& s, uint32_t units, uint32_t& home);
    bool keepsItsUnits(uint32_t home, uint32_t units, uint32_t diskUnits) const;
    // Forgets the cached page under id (changed or not), keeping the cache's accounting.
    void dropSlot(uint64_t id);
    // Takes a cached page out of the cache; its slot is kept for the next page read (see
    // m_spareSlots).
    void forgetSlot(uint64_t id);
    // A slot for a page about to be read: a spare one, or a new one.
    std::unique_ptr<Slot> newSlot();
    void dropClean();
    Status unpackSlot(Slot& s);
    void packChangedLeaves();
    Status trim();
    Status spillChangedLeaves(size_t keep);
    void noteDirtyLeaf(Slot& s, uint64_t id);
    void tidyPinned();
    Status compactSpilled();
    bool findParent(const Node& leaf, Node*& parent, size_t& index);
    void discardChanges();
    Status syncIfDurable();
    Status waitLock(uint64_t off, uint64_t len, int waitMs);

    std::unique_ptr<FileIo> m_io;
    std::string m_path;
    PagerOptions m_opts;
    Mode m_mode = Mode::kNone;
    bool m_opening = false;  // Pager::open is reading the header for the first time
    uint32_t m_slot = kReaderSlots - 1;

    // header copy
    int32_t m_counter = 0;
    uint32_t m_allocEnd = 0;
    uint64_t m_root = 0;
    uint32_t m_nextTable = 1;
    bool m_headerDirty = false;
    bool m_haveHeader = false;
    std::string m_diskHeader;  // the header as last read from offset 0
    PendingLog m_pending;      // a prepared log of a group commit
    // values of the last commit, restored by rollback
    uint32_t m_committedAllocEnd = 0;
    uint64_t m_committedRoot = 0;
    uint32_t m_committedNextTable = 1;

    // home -> units, at most a page's worth of extents: kept in one sorted array, which every
    // commit that changes it copies once (to undo) and searches for the best fit.
    using FreeMap = boost::container::flat_map<uint32_t, uint32_t>;
    FreeMap m_free;
    FreeMap m_committedFree;
    bool m_freeDirty = false;
    bool m_freeValid = false;    // m_free is the committed map of change counter m_freeCounter
    int32_t m_freeCounter = 0;
    std::vector<std::pair<uint32_t, uint32_t>> m_freed;  // pages released in this transaction

    std::unordered_map<uint32_t, uint32_t> m_logMap;  // home -> log position (pending log, I6)

    IdTable<Slot> m_cache;
    // Slots of pages that left the cache, emptied but with their memory kept. In a file larger
    // than the cache every page read pushes another out, and laying a page out in fresh memory and
    // giving the old page's memory back cost as much as laying it out.
    std::vector<std::unique_ptr<Slot>> m_spareSlots;
    std::string m_readBuf;                              // page read from the file
    Status readPage(uint64_t id, std::string& buf, size_t& got, uint32_t& stored);
    // The page last read into m_readBuf, while nothing has changed since (m_version): asked again
    // at once, it is not read again.
    uint64_t m_imageId = 0;
    uint64_t m_imageVersion = 0;
    size_t m_imageGot = 0;
    uint32_t m_imageStored = 0;
    int m_imageUses = 0;  // searches of the image since it was read
    bool imageValid(uint64_t id) const { return id && id == m_imageId && m_imageVersion == m_version; }
    // Reads the page at id into m_readBuf, unless it is the image there.
    Status readImage(uint64_t id, size_t& got, uint32_t& stored);
    // Leaves lately searched on disk without being cached, by a hash of their id (searchLeaf). A
    // short memory (512 ids) caches only leaves asked for again soon: with 8192 a scan in key order
    // at a million records laid out many record pages for a second record each and was 10 % slower.
    static constexpr int kSeenLeavesBits = 9;
    std::vector<uint64_t> m_seenLeaves = std::vector<uint64_t>(size_t(1) << kSeenLeavesBits, 0);
    // The place that remembers whether leaf `id` was met lately (it holds `id` if so).
    uint64_t& seenLeaf(uint64_t id) {
        return m_seenLeaves[(id / kUnit * 0x9E3779B97F4A7C15ull) >> (64 - kSeenLeavesBits)];
    }
    // Whether the file's pages laid out would take more than about twice the cache (they take
    // about four times their packed size).
    bool outgrowsCache() const { return uint64_t(m_allocEnd) * 2 > m_opts.cacheBytes; }
    // The keys (by keyHash, sorted) of leaves where an exact lookup on disk found nothing: the next
    // exact lookup of a key such a leaf does not hold (most often a record's memo when it has none)
    // is answered without reading the page again. They hold while nothing has changed (m_version)
    // and take at most a sixteenth of the cache's room.
    std::unordered_map<uint64_t, std::vector<uint64_t>> m_leafKeys;
    // A bit per hash of the ids in m_leafKeys: most exact lookups (a record by number) are in
    // leaves whose keys are not kept, and a bit tells so without the map's lookup.
    static constexpr size_t kLeafKeysBitWords = 1024;
    std::vector<uint64_t> m_leafKeysBits = std::vector<uint64_t>(kLeafKeysBitWords);
    static size_t leafKeysBit(uint64_t id) { return size_t((id * 0x9E3779B97F4A7C15ull) >> 48); }
    bool mayKnowLeafKeys(uint64_t id) const {
        size_t b = leafKeysBit(id);
        return m_leafKeysBits[b / 64] >> (b % 64) & 1;
    }
    uint64_t m_leafKeysVersion = 0;
    size_t m_leafKeysBytes = 0;
    uint64_t m_answeredByLeafKeys = 0;
    // Forgets the known keys when anything has changed since they were taken, or they outgrew
    // their room.
    void dropStaleLeafKeys();
    std::string m_logBuffer;                            // the log being written (its room kept)
    // The clean pages in a ring that a hand goes round: a page used since the hand last passed
    // gets another turn, the first one not used goes. The marks of use lie side by side, so the
    // hand reads one small array and touches a page only to drop it.
    class PageClock {
    public:
        void add(uint64_t id, Slot* s) {
            uint32_t pos;
            if (!m_free.empty()) {
                pos = m_free.back();
                m_free.pop_back();
            } else {
                pos = uint32_t(m_cells.size());
                m_cells.push_back({});
                m_used.push_back(0);
            }
            m_cells[pos] = {id, s};
            m_used[pos] = 0;
            s->clockPos = pos;
            s->inLru = true;
            ++m_count;
        }
        void remove(Slot* s) {
            m_cells[s->clockPos].slot = nullptr;
            m_free.push_back(s->clockPos);
            s->inLru = false;
            --m_count;
        }
        void rename(const Slot* s, uint64_t id) { m_cells[s->clockPos].id = id; }
        void use(const Slot* s) { m_used[s->clockPos] = 1; }
        void unuse(const Slot* s) { m_used[s->clockPos] = 0; }
        size_t size() const { return m_count; }
        // The id of the page to drop next. REQUIRES: size() > 0.
        uint64_t victim() {
            for (;;) {
                if (m_hand >= m_cells.size()) m_hand = 0;
                size_t at = m_hand++;
                if (!m_cells[at].slot) continue;
                if (m_used[at]) {
                    m_used[at] = 0;
                    continue;
                }
                return m_cells[at].id;
            }
        }
        template <class F>
        void forEach(F f) const {
            for (const Cell& c : m_cells)
                if (c.slot) f(c.id);
        }
        void clear() {
            m_cells.clear();
            m_used.clear();
            m_free.clear();
            m_count = 0;
            m_hand = 0;
        }

    private:
        struct Cell {
            uint64_t id = 0;
            Slot* slot = nullptr;
        };
        std::vector<Cell> m_cells;
        std::vector<uint8_t> m_used;
        std::vector<uint32_t> m_free;
        size_t m_count = 0;
        size_t m_hand = 0;
    };
    PageClock m_lru;
    size_t m_cleanBytes = 0;
    uint64_t m_nextTemp = uint64_t(1) << 40;
    uint64_t m_version = 1;
    bool m_changed = false;
    std::vector<std::pair<uint64_t, uint32_t>> m_renames;  // node id -> home placed at commit
    uint64_t m_dirtySeq = 0;   // counts leaves becoming changed (Slot::dirtySince)
    // (dirtySince, id) of leaves in the order they became changed; an entry whose slot no longer
    // carries that mark is stale and skipped.
    std::deque<std::pair<uint64_t, uint64_t>> m_dirtyOrder;
    size_t m_dirtyLeaves = 0;  // changed leaves held decoded
    // Ids taken out of the cache's rule in this transaction. Between tidy-ups it may also hold ids
    // that went back under the rule (written out early) and repeats; every user skips those.
    std::vector<uint64_t> m_pinned;
    size_t m_pinnedTidy = 0;  // its length after the last tidy-up
    // Pages written out early by this transaction, by the offset each was given (an offset a page
    // left again stays listed: everything past the last commit is this transaction's own).
    std::vector<uint64_t> m_spilled;
    std::string m_spillRun;  // pages written out early that lie one after the other
    // The same while a commit places the pages: sorted, with a bit per hash of an id in front of
    // it, so that walking the children of an inner page mostly costs one bit test per child.
    std::vector<uint64_t> m_pinnedSorted;
    std::vector<uint64_t> m_pinnedBits = std::vector<uint64_t>(kPinnedBitWords);
    static constexpr size_t kPinnedBitWords = 1024;
    static size_t pinnedBit(uint64_t id) { return size_t((id * 0x9E3779B97F4A7C15ull) >> 48); }
    // Asked for every child of every inner page a commit writes: the filter answers most.
    bool pinnedAtCommit(uint64_t id) const {
        size_t b = pinnedBit(id);
        return (m_pinnedBits[b / 64] >> (b % 64) & 1) && pinnedAtCommitSlow(id);
    }
    bool pinnedAtCommitSlow(uint64_t id) const;
};

}  // namespace sitedex::record

#include "drivers/record/pager.h"

#include "drivers/record/tcf.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace sitedex::record {

namespace {
constexpr uint64_t kTempBase = uint64_t(1) << 40;
constexpr uint32_t kFirstPage = kFreeMapHome + kFreeMapUnits * kUnit;
constexpr uint32_t kTruncateSlack = 1u << 20;
constexpr size_t kMaxFreeExtents = (kFreeMapUnits * kUnit - kFreeMapHeader) / 8;

using Clock = std::chrono::steady_clock;
}  // namespace

uint32_t crc32(const uint8_t* data, size_t n) {
    static uint32_t table[256];
    static bool ready = [] {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        return true;
    }();
    (void)ready;
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::string systemErrorText(int err) {
    switch (err) {
        case ENOSPC:
        case EDQUOT:
            return "the disk is full";
        case EROFS:
            return "the file system is read-only";
        case EIO:
            return "the device failed to read or write (input/output error)";
        case EACCES:
        case EPERM:
            return "permission denied";
        default:
            return "system error " + std::to_string(err) + ": " + std::strerror(err);
    }
}

std::string Status::toString() const {
    switch (code) {
        case kOk:
            return "ok";
        case kDamaged:
            return "damaged page at offset " + std::to_string(offset) + " (check " + std::to_string(check) +
                   (detail.empty() ? "" : ": " + detail) + ")";
        case kSystem:
            return systemErrorText(sysErrno) + (detail.empty() ? "" : " (" + detail + ")");
        default:
            return "error " + std::to_string(code) + (detail.empty() ? "" : " (" + detail + ")");
    }
}

Pager::~Pager() {
    while (m_mode != Mode::kNone) leave();
}

Status Pager::open(const std::string& path, const PagerOptions& opts, std::unique_ptr<Pager>& out) {
    std::unique_ptr<Pager> p(new Pager());
    p->m_path = path;
    p->m_opts = opts;
    VLX_TRY(openFile(path, opts.writable, opts.create, p->m_io));
    // Opening only reads the header (so it does not wait for other programs' readers); a writable
    // open takes the writer region only to make an empty or unmade file a record file (I1) or to
    // roll a pending log forward (I7).
    if (opts.openWaitMs >= 0) p->m_opts.lockWaitMs = opts.openWaitMs;
    p->m_opening = true;
    uint64_t size = 0;
    VLX_TRY(p->m_io->size(size));
    bool settle = opts.writable && size == 0;
    if (!settle) {
        Status s = p->enterRead();
        if (s.code == kNotFound && opts.writable) {
            settle = true;  // unmade: made below, under the writer lock
        } else {
            VLX_TRY(s);
            settle = opts.writable && (!p->m_logMap.empty() || p->preparedOnDisk());
            p->leave();
        }
    }
    if (settle) {
        VLX_TRY(p->enterWrite());
        p->leave();
    }
    p->m_opening = false;
    p->m_opts.lockWaitMs = opts.lockWaitMs;
    out = std::move(p);
    return {};
}

Status Pager::waitLock(uint64_t off, uint64_t len, int waitMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    int pause = 1;
    for (;;) {
        Status s = m_io->lock(off, len, true);
        if (s.code != kLocked) return s;
        if (Clock::now() >= deadline) return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        pause = std::min(pause * 2, 8);
    }
}

Status Pager::enterRead() {
    if (m_mode != Mode::kNone) return Status::error(kAccessDenied, "mode already entered");
    auto deadline = Clock::now() + std::chrono::milliseconds(m_opts.lockWaitMs);
    int pause = 1;
    // (I8) a reader takes the slot after the one it used last and moves on while slots are taken.
    for (;;) {
        for (uint32_t i = 1; i <= kReaderSlots; ++i) {
            uint32_t slot = (m_slot + i) % kReaderSlots;
            Status s = m_io->lock(kLockBase + slot, 1, true);
            if (s.ok()) {
                m_slot = slot;
                m_mode = Mode::kRead;
                Status h = readHeader(false);
                if (!h.ok()) leave();
                return h;
            }
            if (s.code != kLocked) return s;
        }
        if (Clock::now() >= deadline) return Status::error(kLocked, "all reader slots are taken");
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        pause = std::min(pause * 2, 8);
    }
}

Status Pager::enterWrite(int waitMs) {
    if (m_mode != Mode::kNone) return Status::error(kAccessDenied, "mode already entered");
    if (!m_io->writable()) return Status::error(kAccessDenied, "file opened for reading");
    VLX_TRY(waitLock(kLockBase, kReaderSlots, waitMs < 0 ? m_opts.lockWaitMs : waitMs));
    m_mode = Mode::kWrite;
    Status s = readHeader(false);
    if (s.ok() && !m_logMap.empty()) s = rollForward();
    // The free map read at the last commit still holds while no other program has committed.
    if (s.ok() && !(m_freeValid && m_freeCounter == m_counter)) s = loadFreeMap();
    if (!s.ok()) {
        leave();
        return s;
    }
    m_committedAllocEnd = m_allocEnd;
    m_committedRoot = m_root;
    m_committedNextTable = m_nextTable;
    m_freeDirty = false;
    m_changed = false;
    m_headerDirty = false;
    return {};
}

void Pager::leave() {
    if (m_mode == Mode::kNone) return;
    if (m_mode == Mode::kWrite) {
        if (m_changed || m_headerDirty) rollback();
        (void)m_io->unlock(kLockBase, kReaderSlots);
    } else {
        (void)m_io->unlock(kLockBase + m_slot, 1);
    }
    m_mode = Mode::kNone;
    (void)trim();  // outside a mode only clean pages go
}

// ---- header and log -----------------------------------------------------------------------------

std::string Pager::headerImage(uint32_t logStart, uint32_t logEnd) const {
    std::string h(kHeaderSize, '\0');
    auto* p = reinterpret_cast<uint8_t*>(h.data());
    put32(p + kHdrHome, 0);
    put16(p + kHdrLength, uint16_t(kHeaderSize));
    put32(p + kHdrLogStart, logStart);
    put32(p + kHdrLogEnd, logEnd);
    std::memcpy(p + kHdrMagic, kMagic, 4);
    put16(p + kHdrVersion, kFormatVersion);
    put32(p + kHdrAllocEnd, m_allocEnd);
    put32(p + kHdrCounter, uint32_t(m_counter));
    put32(p + kHdrRoot, uint32_t(m_root));
    put32(p + kHdrFreeMap, kFreeMapHome);
    put32(p + kHdrNextTable, m_nextTable);
    put32(p + kHdrChecksum, crc32(p, kHdrChecksum));
    return h;
}

Status Pager::initNewFile() {
    m_allocEnd = kFirstPage;
    m_counter = 0;
    m_root = 0;
    m_nextTable = 1;
    m_free.clear();
    std::string fm = freeMapImage();
    fm.resize(kFreeMapUnits * kUnit, '\0');
    VLX_TRY(m_io->write(kFreeMapHome, fm.data(), fm.size()));
    VLX_TRY(syncIfDurable());
    std::string h = headerImage(m_allocEnd, m_allocEnd);
    VLX_TRY(m_io->write(0, h.data(), h.size()));
    return syncIfDurable();
}

Status Pager::readHeader(bool) {
    // (m_opening: an unmade file reads as no file at all while opening, and as no record file later,
    // as a file cut to nothing under an open reader does.)
    uint8_t h[kHeaderSize];
    size_t got = 0;
    // Every operation starts here: a header as last verified is confirmed through the mapped first
    // page without a read system call; anything else is read from the file.
    bool unchanged = false;
    if (m_haveHeader && m_diskHeader.size() == kHeaderSize) {
        if (const uint8_t* mapped = m_io->mappedHead()) {
            std::memcpy(h, mapped, kHeaderSize);
            unchanged = std::memcmp(h, m_diskHeader.data(), kHeaderSize) == 0;
            if (!unchanged && std::memcmp(h + kHdrMagic, kMagic, 4) != 0) m_io->forgetMappedHead();
        }
    }
    if (unchanged)
        got = kHeaderSize;
    else
        VLX_TRY(m_io->read(0, h, kHeaderSize, got));
    if (!unchanged && std::all_of(h, h + got, [](uint8_t b) { return b == 0; })) {
        // (I1) An empty file is a new record file, and so is one whose making was cut short before
        // its header was written (the free-space map is written first): nothing lies beyond the
        // map, so nothing can be lost. Any other file without a header is damaged.
        uint64_t size = 0;
        VLX_TRY(m_io->size(size));
        if (size <= kFirstPage) {
            if (m_mode == Mode::kWrite) {
                VLX_TRY(initNewFile());
                VLX_TRY(m_io->read(0, h, kHeaderSize, got));
            } else if (m_opening) {
                return Status::error(kNotFound, "the record file was never made whole");
            }
        }
    }
    if (got < kHeaderSize || std::memcmp(h + kHdrMagic, kMagic, 4) != 0)
        return Status::error(kInvalidDataFile, "not a record file");
    if (get16(h + kHdrVersion) != kFormatVersion) return Status::error(kInvalidDataFile, "unknown format version");
    // A header byte for byte as last verified needs no new checksum (every operation reads it).
    bool same = m_diskHeader.size() == kHeaderSize && std::memcmp(m_diskHeader.data(), h, kHeaderSize) == 0;
    if (!same && get32(h + kHdrChecksum) != crc32(h, kHdrChecksum))
        return Status::damaged(__LINE__, 0, "header checksum");
    if (get32(h + kHdrLogStart) == get32(h + kHdrLogEnd) && get32(h + kHdrPrepStart) != 0) VLX_TRY(settlePrepared(h));
    uint32_t allocEnd = get32(h + kHdrAllocEnd);
    uint32_t root = get32(h + kHdrRoot);
    uint32_t logStart = get32(h + kHdrLogStart), logEnd = get32(h + kHdrLogEnd);
    if (get32(h + kHdrHome) != 0 || get16(h + kHdrLength) != kHeaderSize || allocEnd < kFirstPage ||
        allocEnd % kUnit || get32(h + kHdrFreeMap) != kFreeMapHome || root % kUnit ||
        (root && (root < kFirstPage || root >= allocEnd)))
        return Status::damaged(__LINE__, 0, "header fields out of range");
    m_diskHeader.assign(reinterpret_cast<const char*>(h), kHeaderSize);
    int32_t counter = int32_t(get32(h + kHdrCounter));
    bool changed = !m_haveHeader || counter != m_counter;
    if (changed) {
        // (I9) another program committed: nothing cached may be used any more.
        dropClean();
        ++m_version;
    }
    m_haveHeader = true;
    m_counter = counter;
    m_allocEnd = allocEnd;
    m_root = root;
    m_nextTable = get32(h + kHdrNextTable);
    if (logStart != logEnd) {
        if (changed || m_logMap.empty()) VLX_TRY(loadLog(logStart, logEnd));
    } else {
        m_logMap.clear();
    }
    return {};
}

// (I17) A header marked prepared by a writer that is gone: the TCF decides. A committed group's log
// counts as announced (a writer rolls it forward, a reader reads through it); a group that never
// reached its commit point leaves the file as it was, and a writer takes the mark away.
Status Pager::settlePrepared(uint8_t* h) {
    uint32_t len = get16(h + kHdrPrepTcfLen);
    if (len > kMaxTcfPath) return Status::damaged(__LINE__, 0, "prepared mark names no transaction control file");
    std::string tcf(reinterpret_cast<const char*>(h + kHdrPrepTcf), len);
    uint64_t txid = uint64_t(get32(h + kHdrPrepTx)) | (uint64_t(get32(h + kHdrPrepTx + 4)) << 32);
    bool committed = false;
    VLX_TRY(tcfLookup(tcf, txid, committed));
    if (committed) {
        // The header the log would have been announced with: the logged copy (last in the log)
        // with the log fields set.
        uint32_t start = get32(h + kHdrPrepStart), end = get32(h + kHdrPrepEnd);
        uint8_t copy[kHeaderSize];
        size_t got = 0;
        if (end < start + kHeaderSize || start % kUnit) return Status::damaged(__LINE__, 0, "prepared log bounds");
        VLX_TRY(m_io->read(end - kHeaderSize, copy, kHeaderSize, got));
        if (got < kHeaderSize || get32(copy) != 0 || get32(copy + kHdrChecksum) != crc32(copy, kHdrChecksum))
            return Status::damaged(__LINE__, end - kHeaderSize, "prepared log without its header copy");
        std::memcpy(h, copy, kHeaderSize);
        put32(h + kHdrLogStart, start);
        put32(h + kHdrLogEnd, end);
        return {};
    }
    if (m_mode != Mode::kWrite) return {};
    std::memset(h + kHdrPrepStart, 0, kHdrChecksum - kHdrPrepStart);
    put32(h + kHdrChecksum, crc32(h, kHdrChecksum));
    VLX_TRY(m_io->write(0, h, kHeaderSize));
    return syncIfDurable();
}

Status Pager::loadLog(uint32_t start, uint32_t end) {
    m_logMap.clear();
    uint64_t size = 0;
    VLX_TRY(m_io->size(size));
    if (start % kUnit || start < m_allocEnd || end < start || end > size)
        return Status::damaged(__LINE__, 0, "page log bounds out of range");
    bool haveHeader = false;
    uint32_t pos = start;
    while (pos < end) {
        uint8_t ph[6];
        size_t got = 0;
        VLX_TRY(m_io->read(pos, ph, 6, got));
        if (got < 6) return Status::damaged(__LINE__, pos, "page log cut short");
        uint32_t home = get32(ph), len = get16(ph + 4);
        if (len < 6 || len > kMaxPage || home % kUnit || home >= start || (home == 0 && len != kHeaderSize))
            return Status::damaged(__LINE__, pos, "bad page in the page log");
        uint32_t step = roundUnits(len) * kUnit;
        if (end - pos < step) return Status::damaged(__LINE__, pos, "page log entry overruns the log");
        m_logMap[home] = pos;
        haveHeader = haveHeader || home == 0;
        pos += step;
    }
    if (!haveHeader) return Status::damaged(__LINE__, start, "page log without header copy");
    return {};
}

Status Pager::rollForward() {
    // (I7) copy every logged page home, flush, then the logged header (which announces no log).
    std::string buf;
    for (auto [home, pos] : m_logMap) {
        if (home == 0) continue;
        size_t got = 0;
        buf.resize(kMaxPage);
        VLX_TRY(m_io->read(pos, buf.data(), 6, got));
        uint32_t len = get16(bytes(buf) + 4);
        VLX_TRY(m_io->read(pos, buf.data(), len, got));
        if (got < len) return Status::damaged(__LINE__, pos, "page log cut short");
        VLX_TRY(m_io->write(home, buf.data(), len));
    }
    VLX_TRY(syncIfDurable());
    uint8_t h[kHeaderSize];
    size_t got = 0;
    VLX_TRY(m_io->read(m_logMap[0], h, kHeaderSize, got));
    if (got < kHeaderSize || get32(h + kHdrChecksum) != crc32(h, kHdrChecksum))
        return Status::damaged(__LINE__, m_logMap[0], "logged header copy");
    VLX_TRY(m_io->write(0, h, kHeaderSize));
    VLX_TRY(syncIfDurable());
    m_logMap.clear();
    m_haveHeader = m_freeValid = false;
    VLX_TRY(readHeader(false));
    return m_io->truncate(m_allocEnd);
}

Status Pager::readAt(uint64_t home, std::string& buf, size_t n, size_t& got, size_t keep) {
    uint64_t pos = home;
    if (!m_logMap.empty()) {
        auto it = m_logMap.find(uint32_t(home));
        if (it != m_logMap.end()) pos = it->second;
    }
    buf.resize(n);
    size_t more = 0;
    Status s = m_io->read(pos + keep, buf.data() + keep, n - keep, more);
    got = keep + more;
    return s;
}

// ---- free space (I14) -----------------------------------------------------------------------------

std::string Pager::freeMapImage() const {
    std::string img(kFreeMapHeader, '\0');
    auto* p = reinterpret_cast<uint8_t*>(img.data());
    put32(p, kFreeMapHome);
    put16(p + 4, uint16_t(kFreeMapHeader + 8 * m_free.size()));
    put16(p + 6, uint16_t(m_free.size()));
    for (auto [home, units] : m_free) {
        append32(img, home);
        append32(img, units);
    }
    return img;
}

Status Pager::loadFreeMap() {
    std::string buf;
    size_t got = 0;
    m_freeValid = false;
    VLX_TRY(readAt(kFreeMapHome, buf, kFreeMapUnits * kUnit, got));
    const auto* p = bytes(buf);
    if (got < kFreeMapHeader || get32(p) != kFreeMapHome) return Status::damaged(__LINE__, kFreeMapHome, "free map");
    uint32_t len = get16(p + 4), count = get16(p + 6);
    if (len != kFreeMapHeader + 8 * count || len > got) return Status::damaged(__LINE__, kFreeMapHome, "free map length");
    m_free.clear();
    uint64_t lastEnd = kFirstPage;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t home = get32(p + kFreeMapHeader + 8 * i), units = get32(p + kFreeMapHeader + 8 * i + 4);
        if (home % kUnit || home < lastEnd || units == 0 || uint64_t(home) + uint64_t(units) * kUnit > m_allocEnd)
            return Status::damaged(__LINE__, kFreeMapHome, "free map extent out of range");
        m_free[home] = units;
        lastEnd = uint64_t(home) + uint64_t(units) * kUnit;
    }
    m_freeValid = true;
    m_freeCounter = m_counter;
    return {};
}

void Pager::freeWillChange() {
    // The free map of the last commit is kept only once this transaction changes it.
    if (!m_freeDirty) m_committedFree = m_free;
    m_freeDirty = true;
}

uint32_t Pager::allocate(uint32_t units) {
    auto best = m_free.end();
    for (auto it = m_free.begin(); it != m_free.end(); ++it)
        if (it->second >= units && (best == m_free.end() || it->second < best->second)) best = it;
    if (best != m_free.end()) {
        freeWillChange();
        uint32_t home = best->first, left = best->second - units;
        m_free.erase(best);
        if (left) m_free[home + units * kUnit] = left;
        return home;
    }
    uint32_t home = m_allocEnd;
    m_allocEnd += units * kUnit;
    return home;
}

void Pager::release(uint32_t home, uint32_t units) {
    if (!units) return;
    freeWillChange();
    uint32_t end = home + units * kUnit;
    auto next = m_free.lower_bound(home);
    if (next != m_free.end() && next->first == end) {
        units += next->second;
        end = home + units * kUnit;
        next = m_free.erase(next);
    }
    if (next != m_free.begin()) {
        auto prev = std::prev(next);
        if (prev->first + prev->second * kUnit == home) {
            home = prev->first;
            units += prev->second;
            m_free.erase(prev);
        }
    }
    if (end == m_allocEnd) {
        m_allocEnd = home;
        return;
    }
    m_free[home] = units;
    // The map has room for a fixed number of extents; the smallest are given up (left unused
    // until the table is packed) rather than growing the map.
    while (m_free.size() > kMaxFreeExtents) {
        auto smallest = m_free.begin();
        for (auto it = m_free.begin(); it != m_free.end(); ++it)
            if (it->second < smallest->second) smallest = it;
        m_free.erase(smallest);
    }
}

// (I14) A page that shrinks gives the units it no longer needs back to the free-space map, unless
// they would be a sliver of one or two units standing alone: such extents are of use to almost no
// other page and, in a file changed for long, fill the map until it has to give space up. The page
// keeps them instead, coded to fill them (fillUnits), and grows into them later. Once the map is
// nearly full, every shrinking page keeps its units when it can.
bool Pager::keepsItsUnits(uint32_t home, uint32_t units, uint32_t diskUnits) const {
    uint32_t tailEnd = home + diskUnits * kUnit;
    if (tailEnd == m_allocEnd || m_free.count(tailEnd)) return false;  // the tail joins free space
    return diskUnits - units <= 2 || m_free.size() + 8 >= kMaxFreeExtents;
}

Status Pager::place(Slot& s, uint32_t units, uint32_t& home) {
    if (s.diskUnits == 0) {
        home = allocate(units);
        return {};
    }
    uint32_t old = uint32_t(s.node.id);
    if (units <= s.diskUnits) {
        release(old + units * kUnit, s.diskUnits - units);
        home = old;
        return {};
    }
    uint32_t tail = old + s.diskUnits * kUnit;
    uint32_t more = units - s.diskUnits;
    auto it = m_free.find(tail);
    if (it != m_free.end() && it->second >= more) {
        freeWillChange();
        it = m_free.find(tail);
        uint32_t left = it->second - more;
        m_free.erase(it);
        if (left) m_free[tail + more * kUnit] = left;
        home = old;
        return {};
    }
    if (tail == m_allocEnd) {
        m_allocEnd += more * kUnit;
        home = old;
        return {};
    }
    release(old, s.diskUnits);
    home = allocate(units);
    return {};
}

// ---- nodes ---------------------------------------------------------------------------------------

Status Pager::pageUnits(uint32_t home, uint32_t& units) {
    std::string buf;
    size_t got = 0;
    VLX_TRY(readAt(home, buf, kTreeHeader, got));
    uint32_t len;
    VLX_TRY(storedPageLength(bytes(buf), got, home, len));
    units = roundUnits(len);
    return {};
}

Pager::Slot* Pager::findSlot(uint64_t id) { return m_cache.find(id); }

Status Pager::node(uint64_t id, Node*& out) {
    if (Slot* found = findSlot(id)) {
        Slot& s = *found;
        if (s.inLru) m_lru.use(&s);  // second chance when the cache is trimmed
        if (!s.packed.empty()) VLX_TRY(unpackSlot(s));
        out = &s.node;
        return {};
    }
    std::string& buf = m_readBuf;
    size_t got = 0;
    uint32_t stored;
    VLX_TRY(readImage(id, got, stored));
    std::unique_ptr<Slot> fresh = newSlot();
    VLX_TRY(decodeNode(bytes(buf), got, uint32_t(id), fresh->node));
    m_cache.put(id, std::move(fresh));
    Slot& s = *m_cache.find(id);
    s.diskUnits = roundUnits(stored);
    s.bytes = s.node.memoryBytes() + 128;
    m_lru.add(id, &s);
    m_cleanBytes += s.bytes;
    out = &s.node;
    return {};
}

Status Pager::readImage(uint64_t id, size_t& got, uint32_t& stored) {
    if (imageValid(id)) {
        got = m_imageGot;
        stored = m_imageStored;
        return {};
    }
    m_imageId = 0;
    VLX_TRY(readPage(id, m_readBuf, got, stored));
    m_imageId = id;
    m_imageVersion = m_version;
    m_imageGot = got;
    m_imageStored = stored;
    m_imageUses = 0;
    return {};
}

Status Pager::readPage(uint64_t id, std::string& buf, size_t& got, uint32_t& stored) {
    if (id >= kTempBase || id % kUnit || id < kFirstPage || id >= m_allocEnd)
        return Status::damaged(__LINE__, id, "page offset outside the file's pages");
    // Most pages are packed into a few units: the first read takes what most need, and a longer
    // page has the rest read after it.
    VLX_TRY(readAt(id, buf, kFirstRead, got));
    VLX_TRY(storedPageLength(bytes(buf), got, uint32_t(id), stored));
    if (stored > got && got == kFirstRead) VLX_TRY(readAt(id, buf, stored, got, got));
    if (got < stored) return Status::damaged(__LINE__, id, "page cut short by the end of the file");
    if (id + uint64_t(roundUnits(stored)) * kUnit > m_allocEnd)
        return Status::damaged(__LINE__, id, "page reaches past the allocated space");
    return {};
}

// Once the cache is full (in a file much larger than the cache, from the start), a leaf that is not
// cached and was not asked for lately is searched as it lies on disk and not kept: a lookup at
// random in a file many times the cache would otherwise lay out a whole page, and push another
// out, for one entry. A page asked for again while its id is still remembered goes into the cache
// as usual. Pages not cached are the same on disk as in memory: changed pages stay cached until
// their commit.
Status Pager::searchLeaf(uint64_t id, std::string_view key, LeafSeek how, std::string* outKey, std::string* data,
                         bool& found, bool& done, Node** cachedLeaf) {
    done = false;
    if (Slot* s = findSlot(id)) {
        if (cachedLeaf && s->packed.empty()) {
            if (s->inLru) m_lru.use(s);
            *cachedLeaf = &s->node;
        }
        return {};
    }
    if (how == LeafSeek::kExact && !m_leafKeys.empty() && mayKnowLeafKeys(id)) {
        dropStaleLeafKeys();
        if (auto known = m_leafKeys.find(id); known != m_leafKeys.end()) {
            if (!std::binary_search(known->second.begin(), known->second.end(), keyHash(key))) {
                ++m_answeredByLeafKeys;
                found = false;
                done = true;
                return {};
            }
        }
    }
    // While there is room, a leaf is kept at once when the cache can hold about half the file's
    // pages laid out (they take about four times their packed size), as a leaf kept is then likely
    // to be asked for again; in a file many times larger, laying out leaves met once at random
    // costs more than it saves (a fifth of a random get at a million records).
    if (m_cleanBytes + kNodeCapacity * 2 <= m_opts.cacheBytes && !outgrowsCache()) return {};
    size_t got = 0;
    uint32_t stored;
    uint64_t& seen = seenLeaf(id);
    if (imageValid(id) && m_imageUses < 2) {
        // The page just searched is asked again (the next piece of a memo, the record after the
        // last one): its image is searched once more; a third time the page is laid out from it.
        ++m_imageUses;
        got = m_imageGot;
    } else {
        if (seen == id) return {};
        seen = id;
        VLX_TRY(readImage(id, got, stored));
    }
    VLX_TRY(searchPackedLeaf(bytes(m_readBuf), got, uint32_t(id), key, how, outKey, data, found));
    done = true;
    if (how == LeafSeek::kExact && !found) {
        dropStaleLeafKeys();
        std::vector<uint64_t> keys;
        VLX_TRY(searchPackedLeaf(bytes(m_readBuf), got, uint32_t(id), key, how, nullptr, nullptr, found, &keys));
        std::sort(keys.begin(), keys.end());
        m_leafKeysBytes += keys.size() * sizeof(uint64_t) + 64;
        m_leafKeys[id] = std::move(keys);
        size_t b = leafKeysBit(id);
        m_leafKeysBits[b / 64] |= uint64_t(1) << (b % 64);
    }
    return {};
}

void Pager::dropStaleLeafKeys() {
    if (m_leafKeysVersion == m_version && m_leafKeysBytes <= m_opts.cacheBytes / 16) return;
    m_leafKeys.clear();
    std::fill(m_leafKeysBits.begin(), m_leafKeysBits.end(), 0);
    m_leafKeysBytes = 0;
    m_leafKeysVersion = m_version;
}

// A transaction that changes more leaves than memory should hold keeps the ones not in use packed
// (about a quarter of their decoded size); they are decoded again when next needed.
Status Pager::unpackSlot(Slot& s) {
    Node tmp;
    Status st = decodeNode(bytes(s.packed), s.packed.size(), kUnit, tmp);
    if (!st.ok()) return Status::damaged(__LINE__, 0, "a changed page kept in memory failed to unpack");
    s.node.takeEntries(tmp);
    s.packed.clear();
    s.packed.shrink_to_fit();
    ++m_dirtyLeaves;
    noteDirtyLeaf(s, s.node.id);
    return {};
}

void Pager::packChangedLeaves() {
    std::vector<uint32_t> none;
    for (uint64_t id : m_pinned) {
        Slot* found = m_cache.find(id);
        if (!found) continue;
        Slot& s = *found;
        if (!s.dirty || !s.packed.empty() || s.node.level != 0 || s.node.count() == 0) continue;
        if (unpackedSize(s.node) > kMaxPage) continue;
        encodeNode(s.node, kUnit, none, s.packed);
        s.node.dropEntries();
    }
    m_dirtyLeaves = 0;
    m_dirtyOrder.clear();  // every changed leaf is packed now
}

Node* Pager::newNode(uint8_t level) {
    uint64_t id = m_nextTemp++;
    Slot& s = m_cache[id];
    s.node.id = id;
    s.node.level = level;
    if (level == 0) {
        ++m_dirtyLeaves;
        noteDirtyLeaf(s, id);
    }
    s.dirty = true;
    m_pinned.push_back(id);
    m_changed = true;
    return &s.node;
}

void Pager::markDirty(Node* n) {
    Slot* found = findSlot(n->id);
    Slot& s = found ? *found : m_cache[n->id];
    if (!s.dirty && n->level == 0) {
        ++m_dirtyLeaves;
        noteDirtyLeaf(s, n->id);
    }
    if (s.inLru) {
        m_lru.remove(&s);
        m_cleanBytes -= s.bytes;
        m_pinned.push_back(n->id);
    }
    s.dirty = true;
    m_changed = true;
    ++m_version;
}

void Pager::noteDirtyLeaf(Slot& s, uint64_t id) {
    s.dirtySince = ++m_dirtySeq;
    m_dirtyOrder.emplace_back(s.dirtySince, id);
}

void Pager::tidyPinned() {
    std::vector<uint64_t> still;
    still.reserve(m_pinned.size());
    for (uint64_t id : m_pinned) {
        Slot* s = m_cache.find(id);
        if (s && !s->inLru) still.push_back(id);
    }
    std::sort(still.begin(), still.end());
    still.erase(std::unique(still.begin(), still.end()), still.end());
    m_pinned = std::move(still);
    m_pinnedTidy = m_pinned.size();
}

void Pager::markTouched(uint64_t id) {
    Slot* found = findSlot(id);
    if (!found) return;
    Slot& s = *found;
    if (s.inLru) {
        m_lru.remove(&s);
        m_cleanBytes -= s.bytes;
        m_pinned.push_back(id);
    }
    s.touched = true;
}

void Pager::freeNode(uint64_t id) {
    Slot* found = m_cache.find(id);
    if (!found) return;
    if (found->diskUnits) release(uint32_t(id), found->diskUnits);
    dropSlot(id);
    m_changed = true;
    ++m_version;
}

void Pager::replaceTree(uint64_t root) {
    std::vector<uint64_t> old;
    m_cache.forEach([&](uint64_t id, const Slot&) {
        if (id < kTempBase) old.push_back(id);
    });
    for (uint64_t id : old) dropSlot(id);
    freeWillChange();
    m_free.clear();
    m_allocEnd = kFirstPage;
    setRoot(root);
    m_changed = true;
    ++m_version;
}

void Pager::dropSlot(uint64_t id) {
    Slot* s = m_cache.find(id);
    if (!s) return;
    if (s->inLru) {
        m_lru.remove(s);
        m_cleanBytes -= s->bytes;
    }
    forgetSlot(id);
}

void Pager::forgetSlot(uint64_t id) {
    constexpr size_t kSpareSlots = 16;
    std::unique_ptr<Slot> s = m_cache.take(id);
    if (!s || m_spareSlots.size() >= kSpareSlots) return;
    s->node.clear();
    s->packed.clear();
    s->dirty = s->touched = s->inLru = false;
    s->diskUnits = s->clockPos = 0;
    s->dirtySince = 0;
    s->bytes = 0;
    m_spareSlots.push_back(std::move(s));
}

std::unique_ptr<Pager::Slot> Pager::newSlot() {
    if (m_spareSlots.empty()) return std::make_unique<Slot>();
    std::unique_ptr<Slot> s = std::move(m_spareSlots.back());
    m_spareSlots.pop_back();
    return s;
}

void Pager::dropClean() {
    m_lru.forEach([&](uint64_t id) { m_cache.erase(id); });
    m_lru.clear();
    m_cleanBytes = 0;
}

Status Pager::trim() {
    // A long transaction may hold more changed leaves than the cache's share for them, and the
    // clean pages give way to the extra ones, each taking the room a changed leaf takes laid out,
    // down to a tenth of the cache: the memory stays what it was. A leaf written out early and
    // changed again is coded and written once more, while a clean page given up costs a read only
    // if it is asked for again; holding changed leaves longer halved the coding of a bulk add.
    // Outside long transactions the clean pages have the whole cache as before.
    const size_t leafCharge = kNodeCapacity + 4096;
    const size_t leafMemory = size_t(20) << 10;  // a changed leaf laid out, about (measured)
    const size_t cache = std::max<size_t>(m_opts.cacheBytes, 1u << 20);
    const size_t share = cache / leafCharge;
    size_t dirtyBudget = share * 17 / 10;
    if (m_dirtyLeaves > dirtyBudget) {
        // Only the leaves changed longest ago go out, an eighth of the budget at a time, not all of
        // them: at random changes a leaf then stays changed in memory about twice as long and takes
        // more changes before it is coded again (a bulk add of 100 000 coded a third fewer pages).
        size_t keep = dirtyBudget - dirtyBudget / 8;
        VLX_TRY(spillChangedLeaves(keep));
        if (m_dirtyLeaves > keep) packChangedLeaves();
    }
    size_t cleanLimit = m_opts.cacheBytes;
    if (m_dirtyLeaves > share) {
        size_t floor = std::min(cleanLimit, cache / 10);
        size_t give = (m_dirtyLeaves - share) * leafMemory;
        cleanLimit = give >= cleanLimit - floor ? floor : cleanLimit - give;
    }
    // CLOCK: a page used since it last came round gets another turn instead of going.
    while (m_cleanBytes > cleanLimit && m_lru.size()) {
        uint64_t id = m_lru.victim();
        Slot* s = m_cache.find(id);
        m_lru.remove(s);
        m_cleanBytes -= s->bytes;
        forgetSlot(id);
    }
    return {};
}

bool Pager::findParent(const Node& leaf, Node*& parent, size_t& index) {
    std::string_view first = leaf.key(0);
    uint64_t id = m_root;
    for (int depth = 0; id && depth < 40; ++depth) {
        Slot* s = m_cache.find(id);
        if (!s || !s->packed.empty() || s->node.level == 0) return false;
        Node& n = s->node;
        size_t lo = n.lowerBound(first, true);
        size_t i = lo == 0 ? 0 : lo - 1;
        if (i >= n.children.size()) return false;
        if (n.children[i] == leaf.id) {
            parent = &n;
            index = i;
            return true;
        }
        id = n.children[i];
    }
    return false;
}

// A long transaction writes its changed leaves that lie beyond the space of the last commit to
// the file at once and then keeps them only as clean pages, so that its memory stays bounded.
// Nothing committed refers to that space (I6) and a rollback leaves the bytes past the allocation
// end, where they are never read (I2). Their parents stay in memory, changed, until the commit.
Status Pager::spillChangedLeaves(size_t keep) {
    if (m_mode != Mode::kWrite || !m_root) return {};
    std::vector<uint32_t> none;
    std::string page;
    // Pages that land one after the other (those that moved to the end) go out in one write.
    std::string& run = m_spillRun;
    uint32_t runStart = 0;
    run.clear();
    auto flushRun = [&]() -> Status {
        if (run.empty()) return {};
        Status st = m_io->write(runStart, run.data(), run.size());
        run.clear();
        return st;
    };
    // Oldest first. A leaf passed over (a committed one, which changes only through the log, or
    // one too large to write as it is) leaves the order; packing takes care of it.
    while (m_dirtyLeaves > keep && !m_dirtyOrder.empty()) {
        auto [since, id] = m_dirtyOrder.front();
        m_dirtyOrder.pop_front();
        Slot* s = m_cache.find(id);
        if (!s || s->dirtySince != since || !s->dirty || !s->packed.empty() || s->node.level != 0 ||
            s->node.count() == 0)
            continue;
        if (s->diskUnits && id < m_committedAllocEnd) continue;
        Node& n = s->node;
        if (unpackedSize(n) > kMaxPage) continue;
        page.clear();
        encodeNode(n, 0, none, page);
        uint32_t units = roundUnits(uint32_t(page.size()));
        // A page that still fits where it was written last keeps its place, and its parent need not
        // be told; one that moves needs its parent, found from its first key.
        bool stays = s->diskUnits && units <= s->diskUnits;
        Node* parent = nullptr;
        size_t index = 0;
        if (!stays && !findParent(n, parent, index)) continue;
        // Space given up past the last commit is not listed as free: the commit closes those
        // holes anyway (compactSpilled), and listing them would cost a search on every move.
        uint32_t home;
        if (stays) {
            home = uint32_t(id);
        } else {
            home = m_allocEnd;
            m_allocEnd += units * kUnit;
        }
        put32(reinterpret_cast<uint8_t*>(page.data()), home);
        if (run.empty() || runStart + run.size() != home || run.size() >= (256u << 10)) {
            VLX_TRY(flushRun());
            runStart = home;
        }
        // Each page is padded to its units (its own space), so the next one of the run starts at
        // its offset.
        size_t at = run.size();
        run.append(page);
        run.resize(at + size_t(units) * kUnit, '\0');
        if (home != id) {
            dropSlot(home);  // nothing should be cached there; never two slots under one id
            std::unique_ptr<Slot> slot = m_cache.take(id);
            slot->node.id = home;
            m_cache.put(home, std::move(slot));
            s = m_cache.find(home);
            parent->children[index] = home;
            markDirty(parent);
            m_spilled.push_back(home);
        }
        s->diskUnits = units;
        s->dirty = s->touched = false;
        s->bytes = n.memoryBytes() + 128;
        m_lru.add(home, s);
        m_cleanBytes += s->bytes;
        if (m_dirtyLeaves) --m_dirtyLeaves;
        ++m_version;
    }
    VLX_TRY(flushRun());
    // Pages written out went back under the cache's rule; the list of the others is tidied once it
    // has doubled, not after every round.
    if (m_pinned.size() > 2 * m_pinnedTidy + 1024) tidyPinned();
    return {};
}

// Before a commit of a transaction that wrote pages out early: those pages moved whenever they
// grew, leaving holes behind them (more than the free map can list). Everything past the space
// of the last commit is this transaction's own, so its pages slide down over the holes, each read
// and written whole with its new offset, and the parents (changed pages held in memory: only a
// page changed in this transaction can refer to a new one) are told. Changed pages leave their
// old places and are placed afresh by the commit, after the dense run.
Status Pager::compactSpilled() {
    if (m_spilled.empty()) return {};
    struct Ref {
        Node* parent;
        size_t index;
    };
    std::map<uint32_t, Ref> fresh;  // home -> where it is referred to
    for (uint64_t id : m_pinned) {
        Slot* s = m_cache.find(id);
        if (!s || !s->packed.empty() || s->node.level == 0) continue;
        Node& n = s->node;
        for (size_t i = 0; i < n.children.size(); ++i)
            if (n.children[i] >= m_committedAllocEnd && n.children[i] < kTempBase)
                fresh[uint32_t(n.children[i])] = Ref{&n, i};
    }
    uint32_t cursor = m_committedAllocEnd;
    std::string buf;
    std::vector<uint64_t> spilled;
    for (auto& [home, ref] : fresh) {
        Slot* s = m_cache.find(home);
        if (s && (s->dirty || !s->packed.empty())) {
            // Changed again since it was written out: it becomes a new page that the commit places.
            uint64_t temp = m_nextTemp++;
            std::unique_ptr<Slot> slot = m_cache.take(home);
            slot->node.id = temp;
            slot->diskUnits = 0;
            m_cache.put(temp, std::move(slot));
            m_pinned.push_back(temp);
            ref.parent->children[ref.index] = temp;
            markDirty(ref.parent);
            continue;
        }
        uint32_t units = 0;
        if (s)
            units = s->diskUnits;
        else
            VLX_TRY(pageUnits(home, units));
        if (units == 0) return Status::damaged(__LINE__, home, "page written out early has no length");
        if (cursor != home) {
            if (cursor > home) return Status::damaged(__LINE__, home, "pages written out early overlap");
            size_t got = 0;
            buf.resize(size_t(units) * kUnit);
            VLX_TRY(m_io->read(home, buf.data(), buf.size(), got));
            uint32_t stored = 0;
            VLX_TRY(storedPageLength(bytes(buf), got, home, stored));
            if (got < stored || roundUnits(stored) != units)
                return Status::damaged(__LINE__, home, "page written out early cut short");
            put32(reinterpret_cast<uint8_t*>(buf.data()), cursor);
            VLX_TRY(m_io->write(cursor, buf.data(), stored));
            if (s) {
                std::unique_ptr<Slot> slot = m_cache.take(home);
                slot->node.id = cursor;
                if (slot->inLru) m_lru.rename(slot.get(), cursor);
                m_cache.put(cursor, std::move(slot));
            }
            ref.parent->children[ref.index] = cursor;
            markDirty(ref.parent);
        }
        spilled.push_back(cursor);
        cursor += units * kUnit;
    }
    // The space past the dense run is free again, all of it.
    freeWillChange();
    for (auto it = m_free.lower_bound(m_committedAllocEnd); it != m_free.end();) it = m_free.erase(it);
    m_allocEnd = cursor;
    m_spilled = std::move(spilled);
    ++m_version;
    return {};
}

void Pager::discardChanges() {
    m_dirtyLeaves = 0;
    m_dirtyOrder.clear();
    // Pages written out early belong to no committed state: they leave the cache.
    for (uint64_t id : m_spilled) {
        Slot* s = m_cache.find(id);
        if (s && s->inLru) dropSlot(id);
    }
    m_spilled.clear();
    for (uint64_t id : m_pinned) {
        Slot* found = m_cache.find(id);
        if (!found || found->inLru) continue;
        Slot& s = *found;
        if (s.dirty) {
            m_cache.erase(id);
            continue;
        }
        s.touched = false;
        m_lru.add(id, &s);
        m_cleanBytes += s.bytes;
    }
    m_pinned.clear();
    m_pinnedTidy = 0;
}

void Pager::cutTail() {
    if (m_mode != Mode::kNone || !m_io->writable()) return;
    if (!m_io->lock(kLockBase, kReaderSlots, true).ok()) return;
    m_mode = Mode::kWrite;
    uint64_t size = 0;
    if (readHeader(false).ok() && m_logMap.empty() && !preparedOnDisk() && m_io->size(size).ok() &&
        size > m_allocEnd)
        (void)m_io->truncate(m_allocEnd);
    m_mode = Mode::kNone;
    (void)m_io->unlock(kLockBase, kReaderSlots);
}

Status Pager::checkInvariants() const {
    if (m_mode == Mode::kNone) {
        size_t clean = 0;
        const char* problem = nullptr;
        m_cache.forEach([&](uint64_t id, const Slot& slot) {
            if (slot.dirty || slot.touched) problem = "changed page outside write mode";
            if (!slot.inLru) problem = "cached page outside the cache's rule";
            if (slot.node.id != id) problem = "cached page filed under another offset";
            clean += slot.bytes;
        });
        if (problem) return Status::error(kAccessDenied, problem);
        if (clean != m_cleanBytes || m_lru.size() != m_cache.size())
            return Status::error(kAccessDenied, "cache accounting out of step");
    }
    for (auto it = m_free.begin(); it != m_free.end(); ++it) {
        uint64_t end = uint64_t(it->first) + uint64_t(it->second) * kUnit;
        if (end > m_allocEnd || (std::next(it) != m_free.end() && end > std::next(it)->first))
            return Status::error(kAccessDenied, "free extents overlap");
    }
    return {};
}

void Pager::rollback() {
    discardChanges();
    m_renames.clear();
    m_allocEnd = m_committedAllocEnd;
    m_root = m_committedRoot;
    m_nextTable = m_committedNextTable;
    if (m_freeDirty) m_free = m_committedFree;
    m_freeDirty = false;
    m_changed = false;
    m_headerDirty = false;
    ++m_version;
}

Status Pager::syncIfDurable() {
    if (m_opts.durability == Durability::kPowerCut) return m_io->sync();
    return {};
}

// ---- commit --------------------------------------------------------------------------------------

bool Pager::pinnedAtCommitSlow(uint64_t id) const {
    return std::binary_search(m_pinnedSorted.begin(), m_pinnedSorted.end(), id);
}

Status Pager::flushNode(uint64_t id, uint32_t& home, std::vector<std::pair<uint32_t, std::string>>& pages) {
    Slot* found = m_cache.find(id);
    if (!found || (!found->dirty && !found->touched)) {
        home = uint32_t(id);
        return {};
    }
    Slot& s = *found;
    if (!s.packed.empty()) VLX_TRY(unpackSlot(s));
    Node& n = s.node;
    if (n.level) {
        // Only pages taken out of the cache's rule can have changed; the small set of them is
        // asked instead of the whole cache, which a wide inner page would walk page by page.
        for (auto& child : n.children) {
            if (!pinnedAtCommit(child)) continue;
            uint32_t h;
            VLX_TRY(flushNode(child, h, pages));
            if (h != child) {
                child = h;
                s.dirty = true;
            }
        }
    }
    s.touched = false;
    if (!s.dirty) {
        home = uint32_t(n.id);
        return {};
    }
    std::vector<uint32_t> childHomes(n.children.begin(), n.children.end());
    std::string page;
    size_t size = unpackedSize(n);
    if (size > kMaxPage) return Status::damaged(__LINE__, n.id < kTempBase ? n.id : 0, "page too large to store");
    encodeNode(n, 0, childHomes, page);
    uint32_t units = roundUnits(uint32_t(page.size()));
    if (s.diskUnits > units && keepsItsUnits(uint32_t(n.id), units, s.diskUnits) && fillUnits(page, s.diskUnits))
        units = s.diskUnits;
    VLX_TRY(place(s, units, home));
    put32(reinterpret_cast<uint8_t*>(page.data()), home);
    s.diskUnits = units;
    m_renames.emplace_back(n.id, home);
    pages.emplace_back(home, std::move(page));
    return {};
}

// Steps 1 to 3 of a commit (I6): places the changed pages, writes those beyond the committed space
// directly and the others, the free-space map and the new header into the log, and flushes. Nothing
// on disk announces the log yet. On failure everything is rolled back.
Status Pager::writeLog(PendingLog& log) {
    log = PendingLog{};
    std::vector<std::pair<uint32_t, std::string>> pages;
    if (m_root) {
        uint32_t h;
        tidyPinned();
        Status s = compactSpilled();
        if (!s.ok()) {
            rollback();
            return s;
        }
        std::fill(m_pinnedBits.begin(), m_pinnedBits.end(), 0);
        m_pinnedSorted.assign(m_pinned.begin(), m_pinned.end());
        std::sort(m_pinnedSorted.begin(), m_pinnedSorted.end());
        for (uint64_t id : m_pinnedSorted) m_pinnedBits[pinnedBit(id) / 64] |= uint64_t(1) << (pinnedBit(id) % 64);
        s = flushNode(m_root, h, pages);
        if (!s.ok()) {
            rollback();
            return s;
        }
        m_root = h;
    }
    ++m_counter;
    // (I6) pages inside the space of the last commit go through the log; pages beyond it are not
    // reachable from the committed state and are written in place.
    log.start = std::max(m_committedAllocEnd, m_allocEnd);
    if (m_freeDirty) log.logged.emplace_back(kFreeMapHome, freeMapImage());
    for (auto& [home, page] : pages) {
        if (home >= m_committedAllocEnd) {
            Status s = m_io->write(home, page.data(), page.size());
            if (!s.ok()) {
                --m_counter;
                rollback();
                return s;
            }
        } else {
            log.logged.emplace_back(home, std::move(page));
        }
    }
    log.headerCopy = headerImage(m_allocEnd, m_allocEnd);
    // The log is built in the buffer of the last one: a commit then takes no fresh memory for it.
    size_t total = log.headerCopy.size();
    for (auto& [home, page] : log.logged) total += roundUnits(uint32_t(page.size())) * kUnit;
    std::string& image = m_logBuffer;
    image.clear();
    image.reserve(total);
    for (auto& [home, page] : log.logged) {
        image.append(page);
        image.resize(roundUnits(uint32_t(image.size())) * kUnit, '\0');
    }
    image.append(log.headerCopy);
    log.end = log.start + uint32_t(image.size());
    Status s = m_io->write(log.start, image.data(), image.size());
    if (s.ok()) s = syncIfDurable();
    if (!s.ok()) {
        --m_counter;
        rollback();
        return s;
    }
    log.active = true;
    return {};
}

// A write that may have reached offset 0 failed before the commit point: the memory goes back to
// the last commit and the header is read again before it is trusted.
void Pager::failBeforeCommitPoint() {
    --m_counter;
    rollback();
    m_pending = PendingLog{};
    m_haveHeader = m_freeValid = false;
}

Status Pager::commit() {
    if (m_mode != Mode::kWrite) return Status::error(kAccessDenied, "commit outside write mode");
    if (!m_changed && !m_headerDirty) return {};
    PendingLog log;
    VLX_TRY(writeLog(log));
    std::string announce = headerImage(log.start, log.end);
    Status s = m_io->write(0, announce.data(), announce.size());  // commit point
    if (s.ok()) s = syncIfDurable();
    if (!s.ok()) {
        // The log may or may not be announced; reread what the disk says before going on.
        failBeforeCommitPoint();
        return s;
    }
    return finishLog(log);
}

Status Pager::prepare(uint64_t txid, const std::string& tcf) {
    if (m_mode != Mode::kWrite) return Status::error(kAccessDenied, "commit outside write mode");
    if (tcf.size() > kMaxTcfPath) return Status::error(kAccessDenied, "transaction control file path too long");
    if (m_diskHeader.size() != kHeaderSize) return Status::error(kAccessDenied, "header not read");
    VLX_TRY(writeLog(m_pending));
    // (I16) the header as committed, plus where the prepared log lies and whose it is.
    std::string h = m_diskHeader;
    auto* p = reinterpret_cast<uint8_t*>(h.data());
    std::memset(p + kHdrPrepStart, 0, kHdrChecksum - kHdrPrepStart);
    put32(p + kHdrPrepStart, m_pending.start);
    put32(p + kHdrPrepEnd, m_pending.end);
    put32(p + kHdrPrepTx, uint32_t(txid));
    put32(p + kHdrPrepTx + 4, uint32_t(txid >> 32));
    put16(p + kHdrPrepTcfLen, uint16_t(tcf.size()));
    std::memcpy(p + kHdrPrepTcf, tcf.data(), tcf.size());
    put32(p + kHdrChecksum, crc32(p, kHdrChecksum));
    Status s = m_io->write(0, h.data(), h.size());
    if (s.ok()) s = syncIfDurable();
    if (!s.ok()) {
        failBeforeCommitPoint();
        return s;
    }
    m_diskHeader = h;
    return {};
}

void Pager::abortPrepared() {
    if (!m_pending.active) return;
    // Taking the mark back is a courtesy: a mark left behind finds no record in the TCF and the
    // next writer drops it (I17).
    std::string h = m_diskHeader;
    auto* p = reinterpret_cast<uint8_t*>(h.data());
    std::memset(p + kHdrPrepStart, 0, kHdrChecksum - kHdrPrepStart);
    put32(p + kHdrChecksum, crc32(p, kHdrChecksum));
    if (m_io->write(0, h.data(), h.size()).ok()) (void)syncIfDurable();
    failBeforeCommitPoint();
}

Status Pager::finishPrepared() {
    if (!m_pending.active) return Status::error(kAccessDenied, "nothing prepared");
    PendingLog log = std::move(m_pending);
    m_pending = PendingLog{};
    // The group is committed (its record is in the TCF): announcing the log is now only the way
    // the single-file machinery (I7) finishes the work, also for readers of other programs.
    std::string announce = headerImage(log.start, log.end);
    Status s = m_io->write(0, announce.data(), announce.size());
    if (s.ok()) s = syncIfDurable();
    if (!s.ok()) {
        // Still prepared on disk: the next writer rolls the log forward from the TCF record. Our
        // own memory follows the committed state; the header is read again before use.
        (void)finishLog(log);
        m_haveHeader = m_freeValid = false;
        return {};
    }
    return finishLog(log);
}

// Step 5 (I7) and the bookkeeping after the commit point.
Status Pager::finishLog(PendingLog& log) {
    Status s;
    for (auto& [home, page] : log.logged) {
        s = m_io->write(home, page.data(), page.size());
        if (!s.ok()) break;
    }
    if (s.ok()) s = syncIfDurable();
    if (s.ok()) s = m_io->write(0, log.headerCopy.data(), log.headerCopy.size());
    if (s.ok()) s = syncIfDurable();
    if (s.ok()) m_diskHeader = log.headerCopy;
    // The log space is cut off only when it has grown large: cutting and growing the file on every
    // commit costs more than the space is worth. Bytes past the allocation end are never read (I2).
    if (s.ok() && log.end - m_allocEnd > kTruncateSlack) s = m_io->truncate(m_allocEnd);
    // The change is committed from here on even when rolling forward failed: the header on disk
    // still announces the log, and the next writer rolls it forward again (I7).
    if (!s.ok()) m_haveHeader = m_freeValid = false;
    // New pages were filed under temporary ids; they take their homes now.
    std::unordered_map<uint64_t, uint32_t> renamed;
    renamed.reserve(m_renames.size());
    for (auto [oldId, home] : m_renames)
        if (oldId != home) renamed.emplace(oldId, home);
    // All are taken out before any is filed again: a page may move away from a home that a new
    // page takes in the same commit.
    std::vector<std::pair<uint32_t, std::unique_ptr<Slot>>> moved;
    for (auto [oldId, home] : renamed)
        if (std::unique_ptr<Slot> slot = m_cache.take(oldId)) moved.emplace_back(home, std::move(slot));
    for (auto& [home, slot] : moved) {
        dropSlot(home);
        slot->node.id = home;
        if (slot->inLru) m_lru.rename(slot.get(), home);
        m_cache.put(home, std::move(slot));
    }
    m_renames.clear();
    m_dirtyLeaves = 0;
    m_dirtyOrder.clear();
    // Every node is clean now; all of them go under the cache's rule again, so that another
    // program's commit drops them (I9). Only the pages taken out of the rule are visited.
    // In a file much larger than the cache, a leaf changed once at random is seldom wanted again
    // before the cache lets it go, and keeping it only makes the cache take fresh memory (a single
    // add changes about eight leaves): such a leaf is let go now, and one changed again while it
    // is remembered (the page a run of adds appends to, say) stays.
    bool letGoLeavesMetOnce = outgrowsCache();
    for (uint64_t id : m_pinned) {
        auto r = renamed.find(id);
        uint64_t now = r == renamed.end() ? id : r->second;
        Slot* found = m_cache.find(now);
        if (!found || found->inLru) continue;
        Slot& slot = *found;
        if (letGoLeavesMetOnce && slot.node.level == 0) {
            uint64_t& seen = seenLeaf(now);
            if (seen != now) {
                seen = now;
                forgetSlot(now);
                continue;
            }
        }
        slot.dirty = slot.touched = false;
        slot.bytes = slot.node.memoryBytes() + 128;
        m_lru.add(now, &slot);
        m_cleanBytes += slot.bytes;
    }
    m_pinned.clear();
    m_pinnedTidy = 0;
    m_spilled.clear();
    m_committedAllocEnd = m_allocEnd;
    m_committedRoot = m_root;
    m_committedNextTable = m_nextTable;
    m_freeDirty = false;
    m_freeCounter = m_counter;
    m_changed = false;
    m_headerDirty = false;
    ++m_version;
    return {};
}

}  // namespace sitedex::record

namespace sitedex::record {

Status Pager::lockRecord(uint32_t recno, int waitMs) {
    Status s = waitLock(recordLockOffset(recno), 1, waitMs);
    if (s.code == kLocked) return Status::error(kHeld);
    return s;
}

void Pager::unlockRecord(uint32_t recno) { (void)m_io->unlock(recordLockOffset(recno), 1); }

}  // namespace sitedex::record

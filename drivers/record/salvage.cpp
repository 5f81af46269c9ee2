#include "drivers/record/salvage.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "drivers/record/node.h"

namespace sitedex::record {

namespace {

constexpr uint32_t kFirstPage = kFreeMapHome + kFreeMapUnits * kUnit;

std::string offsetText(uint64_t off) { return "page at offset " + std::to_string(off); }

// The old file as it lies, with the pages of a pending log (I7) read from the log.
struct OldFile {
    std::string bytes;
    std::unordered_map<uint32_t, uint32_t> logged;  // home -> log position
    uint32_t limit = 0;                              // pages lie below this
    bool headerSound = false;
    uint32_t root = 0;
    int32_t counter = 0;
    std::map<uint32_t, uint32_t> free;  // listed free extents (only when the map reads whole)

    // The page image at home, and how many bytes of the file follow it.
    const uint8_t* page(uint32_t home, size_t& avail) const {
        uint64_t pos = home;
        if (auto it = logged.find(home); it != logged.end()) pos = it->second;
        if (pos >= bytes.size()) {
            avail = 0;
            return nullptr;
        }
        avail = bytes.size() - pos;
        return reinterpret_cast<const uint8_t*>(bytes.data()) + pos;
    }
    bool isFree(uint32_t home) const {
        auto it = free.upper_bound(home);
        if (it == free.begin()) return false;
        --it;
        return home < uint64_t(it->first) + uint64_t(it->second) * kUnit;
    }
};

void readHeaderAndMap(OldFile& f, std::vector<std::string>& damage) {
    const auto* h = reinterpret_cast<const uint8_t*>(f.bytes.data());
    uint64_t size = f.bytes.size();
    f.limit = uint32_t(std::min<uint64_t>(size / kUnit * kUnit, 0x80000000ull));
    if (size < kHeaderSize || std::memcmp(h + kHdrMagic, kMagic, 4) != 0 || get16(h + kHdrVersion) != kFormatVersion ||
        get32(h + kHdrChecksum) != crc32(h, kHdrChecksum)) {
        damage.push_back("the header (offset 0) is damaged");
    } else {
        uint32_t allocEnd = get32(h + kHdrAllocEnd), root = get32(h + kHdrRoot);
        uint32_t logStart = get32(h + kHdrLogStart), logEnd = get32(h + kHdrLogEnd);
        if (allocEnd < kFirstPage || allocEnd % kUnit || root % kUnit || (root && (root < kFirstPage || root >= allocEnd))) {
            damage.push_back("the header (offset 0) is damaged: its fields are out of range");
        } else {
            f.headerSound = true;
            f.root = root;
            f.counter = int32_t(get32(h + kHdrCounter));
            f.limit = std::min<uint32_t>(f.limit, allocEnd);
            // A log announced and not yet rolled forward holds the newest copies of its pages.
            if (logStart != logEnd && logStart % kUnit == 0 && logStart >= allocEnd && logEnd <= size) {
                for (uint32_t pos = logStart; pos + 6 <= logEnd;) {
                    uint32_t home = get32(h + pos), len = get16(h + pos + 4);
                    if (len < 6 || len > kMaxPage || home % kUnit || home >= logStart) break;
                    f.logged[home] = pos;
                    pos += roundUnits(len) * kUnit;
                }
            }
        }
    }
    // The free-space map lies at its fixed home; it is used only when it reads whole.
    size_t avail = 0;
    const uint8_t* m = f.page(kFreeMapHome, avail);
    if (m && avail >= kFreeMapHeader && get32(m) == kFreeMapHome) {
        uint32_t count = get16(m + 6);
        if (get16(m + 4) == kFreeMapHeader + 8 * count && avail >= kFreeMapHeader + 8 * count) {
            std::map<uint32_t, uint32_t> free;
            uint64_t last = kFirstPage;
            bool whole = true;
            for (uint32_t i = 0; i < count && whole; ++i) {
                uint32_t home = get32(m + kFreeMapHeader + 8 * i), units = get32(m + kFreeMapHeader + 8 * i + 4);
                whole = home % kUnit == 0 && home >= last && units && uint64_t(home) + uint64_t(units) * kUnit <= f.limit;
                free[home] = units;
                last = uint64_t(home) + uint64_t(units) * kUnit;
            }
            if (whole) f.free = std::move(free);
        }
    }
}

// The header of a tree page at home, if it looks like one: its level, stored length and entries.
bool pageHeader(const OldFile& f, uint32_t home, uint8_t& level, uint32_t& stored, size_t& count) {
    size_t avail = 0;
    const uint8_t* h = f.page(home, avail);
    if (!h || home < kFirstPage || home >= f.limit || home % kUnit) return false;
    if (!storedPageLength(h, avail, home, stored).ok() || avail < stored) return false;
    level = h[12];
    count = get16(h + 10);
    return level <= 32 && count > 0 && kTreeHeader + (level ? 4 * count : 0) <= stored;
}

// The entries of a leaf that come before any damage in it; true when it read whole.
bool leafEntries(const OldFile& f, uint32_t home, std::vector<std::pair<std::string, std::string>>& out) {
    out.clear();
    size_t avail = 0;
    const uint8_t* h = f.page(home, avail);
    uint8_t level;
    uint32_t stored;
    size_t count;
    if (!pageHeader(f, home, level, stored, count) || level != 0) return false;
    uint32_t unpacked = get16(h + 6);
    std::string body;
    bool whole = true;
    if (stored == unpacked) {
        body.assign(reinterpret_cast<const char*>(h + kTreeHeader), stored - kTreeHeader);
    } else {
        // Run-length coded: what unpacks before a bad count is still good.
        const uint8_t* p = h + kTreeHeader;
        const uint8_t* end = h + stored;
        size_t want = unpacked > kTreeHeader ? unpacked - kTreeHeader : 0;
        while (body.size() < want) {
            size_t lit = 0, rep = 0;
            const uint8_t* q = p;
            uint64_t v = 0;
            int shift = 0;
            bool ok = false;
            while (q < end && shift < 28) {
                v |= uint64_t(*q & 127) << shift;
                shift += 7;
                if (!(*q++ & 128)) {
                    ok = true;
                    break;
                }
            }
            lit = size_t(v);
            if (!ok || lit > size_t(end - q) || lit > want - body.size()) {
                whole = false;
                break;
            }
            body.append(reinterpret_cast<const char*>(q), lit);
            p = q + lit;
            if (body.size() == want) break;
            v = 0;
            shift = 0;
            ok = false;
            while (p < end && shift < 28) {
                v |= uint64_t(*p & 127) << shift;
                shift += 7;
                if (!(*p++ & 128)) {
                    ok = true;
                    break;
                }
            }
            rep = size_t(v);
            if (!ok || rep > want - body.size() || body.empty()) {
                whole = false;
                break;
            }
            body.append(rep, body.back());
        }
    }
    const auto* p = reinterpret_cast<const uint8_t*>(body.data());
    const uint8_t* end = p + body.size();
    std::string prev;
    size_t total = 0, kl = 0;
    for (size_t i = 0; i < count; ++i) {
        if (p >= end) return false;
        uint8_t flag = *p++;
        size_t shared = flag & 63;
        if (i == 0 && ((flag & 0xC0) != 0xC0 || shared)) return false;
        if (flag & 128) {
            if (end - p < 2) return false;
            total = get16(p);
            p += 2;
        }
        if (flag & 64) {
            if (end - p < 2) return false;
            kl = get16(p);
            p += 2;
        }
        if (total == 0 || total >= kMaxEntry || kl == 0 || kl > total || shared > prev.size() || shared > total ||
            size_t(end - p) < total - shared)
            return false;
        std::string e = prev.substr(0, shared);
        e.append(reinterpret_cast<const char*>(p), total - shared);
        p += total - shared;
        std::string key = e.substr(0, kl);
        if (!out.empty() && key <= out.back().first) return false;
        out.emplace_back(std::move(key), e.substr(kl));
        prev = std::move(e);
    }
    return whole && p == end;
}

struct Salvage {
    const OldFile& file;
    std::map<std::string, std::string> entries;
    std::set<uint32_t> visited;
    std::vector<std::pair<uint32_t, uint32_t>> spans;  // pages walked: home, units
    bool lost = false;                                 // a page of the tree could not be read
    std::vector<std::string>& damage;

    void keep(const std::vector<std::pair<std::string, std::string>>& found) {
        for (const auto& [k, d] : found) entries.emplace(k, d);
    }

    // The tree below home, through the child offsets of inner pages. Separators are not used.
    void walk(uint32_t home, int expectLevel, int depth) {
        if (depth > 40 || !visited.insert(home).second) {
            damage.push_back(offsetText(home) + ": the tree leads to it twice");
            lost = true;
            return;
        }
        uint8_t level;
        uint32_t stored;
        size_t count;
        if (!pageHeader(file, home, level, stored, count) || (expectLevel >= 0 && level != expectLevel)) {
            damage.push_back(offsetText(home) + ": not a page of the tree");
            lost = true;
            return;
        }
        spans.emplace_back(home, roundUnits(stored));
        if (level > 0) {
            size_t avail;
            const uint8_t* h = file.page(home, avail);
            for (size_t i = 0; i < count; ++i) walk(get32(h + kTreeHeader + 4 * i), level - 1, depth + 1);
            return;
        }
        std::vector<std::pair<std::string, std::string>> found;
        if (!leafEntries(file, home, found)) {
            damage.push_back(offsetText(home) + ": damaged; " + std::to_string(found.size()) +
                             " entries before the damage read");
            lost = true;
        }
        keep(found);
    }

    bool walked(uint32_t home) const {
        auto it = std::upper_bound(spans.begin(), spans.end(), std::make_pair(home, UINT32_MAX));
        if (it == spans.begin()) return false;
        --it;
        return home < uint64_t(it->first) + uint64_t(it->second) * kUnit;
    }

    // Leaves the walk did not reach: taken when none of their keys is known yet (a page of a subtree
    // that was cut off), passed over otherwise (an old copy of a page the walk read).
    void gatherLostLeaves() {
        std::sort(spans.begin(), spans.end());
        std::vector<std::pair<std::string, std::string>> found;
        for (uint32_t home = kFirstPage; home < file.limit; home += kUnit) {
            uint8_t level;
            uint32_t stored;
            size_t count;
            if (walked(home) || file.isFree(home) || !pageHeader(file, home, level, stored, count) || level != 0)
                continue;
            bool whole = leafEntries(file, home, found);
            if (found.empty()) continue;
            bool known = std::any_of(found.begin(), found.end(), [&](const auto& e) { return entries.count(e.first); });
            if (known) continue;
            keep(found);
            damage.push_back(offsetText(home) + ": a leaf no page leads to; " + std::to_string(found.size()) +
                             " entries taken" + (whole ? "" : " (before damage in it)"));
        }
    }

    // Without a header: the highest page that no other page refers to.
    uint32_t findRoot() {
        std::set<uint32_t> referred;
        std::vector<std::pair<uint8_t, uint32_t>> pages;
        for (uint32_t home = kFirstPage; home < file.limit; home += kUnit) {
            uint8_t level;
            uint32_t stored;
            size_t count;
            if (file.isFree(home) || !pageHeader(file, home, level, stored, count)) continue;
            pages.emplace_back(level, home);
            size_t avail;
            const uint8_t* h = file.page(home, avail);
            for (size_t i = 0; level && i < count; ++i) referred.insert(get32(h + kTreeHeader + 4 * i));
        }
        uint32_t best = 0;
        uint8_t bestLevel = 0;
        for (auto [level, home] : pages)
            if (!referred.count(home) && (!best || level > bestLevel)) best = home, bestLevel = level;
        return best;
    }
};

}  // namespace

void salvageEntries(const std::string& bytesOfFile, SalvagedFile& out) {
    out = SalvagedFile{};
    OldFile old;
    old.bytes = bytesOfFile;
    readHeaderAndMap(old, out.damage);
    // A file that never held anything: its making cut short, or an empty record file.
    const bool unmade = old.bytes.size() <= kFirstPage &&
                        std::all_of(old.bytes.begin(), old.bytes.begin() + std::min<size_t>(old.bytes.size(), kHeaderSize),
                                    [](char c) { return c == 0; });
    if (unmade) out.damage.clear();
    out.empty = unmade || (old.headerSound && old.root == 0);
    out.headerSound = old.headerSound;
    out.counter = old.counter;
    if (old.headerSound) out.nextTable = get32(bytes(old.bytes) + kHdrNextTable);
    Salvage salvage{old, {}, {}, {}, false, out.damage};
    uint32_t root = old.headerSound ? old.root : (unmade ? 0 : salvage.findRoot());
    if (root) salvage.walk(root, -1, 0);
    if (salvage.lost || (!old.headerSound && !unmade)) salvage.gatherLostLeaves();
    out.entries = std::move(salvage.entries);
}

}  // namespace sitedex::record

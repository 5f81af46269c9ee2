#include "drivers/record/node.h"

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace sitedex::record {

uint64_t Node::headOf(std::string_view key) const {
    uint8_t b[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    if (key.size() > common) std::memcpy(b, key.data() + common, std::min<size_t>(8, key.size() - common));
    return (uint64_t(b[0]) << 56) | (uint64_t(b[1]) << 48) | (uint64_t(b[2]) << 40) | (uint64_t(b[3]) << 32) |
           (uint64_t(b[4]) << 24) | (uint64_t(b[5]) << 16) | (uint64_t(b[6]) << 8) | uint64_t(b[7]);
}

void Node::rebuildHeads() {
    heads.clear();
    common = 0;
    if (off.empty()) return;
    // Keys are in order: what the first and the last share, all share.
    std::string_view a = key(0), b = key(count() - 1);
    size_t n = std::min(a.size(), b.size());
    size_t c = 0;
    while (c < n && a[c] == b[c]) ++c;
    common = uint16_t(c);
    heads.reserve(off.capacity());
    for (size_t i = 0; i < count(); ++i) heads.push_back(headOf(key(i)));
}

size_t Node::lowerBound(std::string_view k, bool after) const {
    size_t n = count();
    if (n == 0) return 0;
    if (common) {
        // Outside the shared beginning the sought key lies before or after every entry.
        int c = std::memcmp(k.data(), buf.data() + off[0], std::min<size_t>(common, k.size()));
        if (c < 0 || (c == 0 && k.size() < common)) return 0;
        if (c > 0) return n;
    }
    uint64_t h = headOf(k);
    size_t lo = 0, hi = n;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        bool before;  // entry mid comes before the sought position
        if (heads[mid] != h) {
            before = heads[mid] < h;
        } else {
            // Equal heads of two keys at least that long: the first common + 8 bytes agree.
            std::string_view a = key(mid);
            size_t from = size_t(common) + 8;
            int c = a.size() >= from && k.size() >= from ? a.substr(from).compare(k.substr(from)) : a.compare(k);
            before = after ? c <= 0 : c < 0;
        }
        if (before)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void Node::insert(size_t i, std::string_view k, std::string_view d) {
    codedBody.clear();
    bool headsHold = !off.empty() && k.size() >= common &&
                     std::memcmp(k.data(), buf.data() + off[0], common) == 0;
    size_t add = k.size() + d.size();
    long before = 0;
    if (sizeCache && i < off.size()) before = long(packedCost(i ? i - 1 : SIZE_MAX, i));
    auto inside = [&](std::string_view v) {
        return !v.empty() && v.data() >= buf.data() && v.data() < buf.data() + buf.size();
    };
    if (inside(k) || inside(d)) {
        std::string copy(k);
        copy.append(d);
        insert(i, std::string_view(copy).substr(0, k.size()), std::string_view(copy).substr(k.size()));
        return;
    }
    // The bytes go to the end of the buffer; the entries behind the new one keep their places.
    size_t at = buf.size();
    buf.resize(at + add);
    if (!k.empty()) std::memcpy(buf.data() + at, k.data(), k.size());
    if (!d.empty()) std::memcpy(buf.data() + at + k.size(), d.data(), d.size());
    off.insert(off.begin() + long(i), uint32_t(at));
    klen.insert(klen.begin() + long(i), uint16_t(k.size()));
    len.insert(len.begin() + long(i), uint16_t(add));
    if (headsHold)
        heads.insert(heads.begin() + long(i), headOf(k));
    else
        rebuildHeads();
    if (sizeCache) {
        long after = long(packedCost(i ? i - 1 : SIZE_MAX, i)) + (level ? 4 : 0);
        if (i + 1 < off.size()) after += long(packedCost(i, i + 1));
        sizeCache = uint32_t(long(sizeCache) + after - before);
    }
}

void Node::erase(size_t i) {
    codedBody.clear();
    long before = 0;
    if (sizeCache) {
        before = long(packedCost(i ? i - 1 : SIZE_MAX, i)) + (level ? 4 : 0);
        if (i + 1 < off.size()) before += long(packedCost(i, i + 1));
    }
    dead += len[i];
    off.erase(off.begin() + long(i));
    klen.erase(klen.begin() + long(i));
    len.erase(len.begin() + long(i));
    heads.erase(heads.begin() + long(i));  // what all shared before, the rest still share
    if (!children.empty()) children.erase(children.begin() + long(i));
    if (sizeCache) {
        long after = i < off.size() ? long(packedCost(i ? i - 1 : SIZE_MAX, i)) : 0;
        sizeCache = uint32_t(long(sizeCache) + after - before);
    }
    reclaimUnused();
}

void Node::replaceData(size_t i, std::string_view d) {
    codedBody.clear();
    sizeCache = 0;
    size_t oldLen = len[i] - klen[i];
    if (d.size() == oldLen) {
        if (!d.empty()) std::memmove(buf.data() + off[i] + klen[i], d.data(), d.size());
        return;
    }
    if (!d.empty() && d.data() >= buf.data() && d.data() < buf.data() + buf.size()) {
        std::string copy(d);
        replaceData(i, copy);
        return;
    }
    // A new copy of the entry at the end; the old bytes are given up.
    size_t at = buf.size();
    buf.append(buf, off[i], klen[i]);
    buf.append(d);
    dead += len[i];
    off[i] = uint32_t(at);
    len[i] = uint16_t(klen[i] + d.size());
    reclaimUnused();
}

void Node::reclaimUnused() {
    if (off.empty()) {
        buf.clear();
        dead = 0;
    } else if (dead > 1024 && dead * 2 > buf.size()) {
        compact(liveBytes() / 8);
    }
}

void Node::compact(size_t slack) {
    std::string fresh;
    fresh.reserve(liveBytes() + slack);
    for (size_t j = 0; j < off.size(); ++j) {
        uint32_t at = uint32_t(fresh.size());
        fresh.append(buf, off[j], len[j]);
        off[j] = at;
    }
    buf.swap(fresh);
    dead = 0;
}

void Node::moveTail(size_t from, Node& dst) {
    codedBody.clear();
    dst.codedBody.clear();
    if (from >= off.size()) return;
    sizeCache = dst.sizeCache = 0;
    size_t moving = 0;
    for (size_t j = from; j < off.size(); ++j) moving += len[j];
    dst.buf.reserve(dst.buf.size() + moving + moving / 8);
    for (size_t j = from; j < off.size(); ++j) {
        dst.off.push_back(uint32_t(dst.buf.size()));
        dst.klen.push_back(klen[j]);
        dst.len.push_back(len[j]);
        dst.buf.append(buf, off[j], len[j]);
    }
    if (!children.empty()) {
        dst.children.insert(dst.children.end(), children.begin() + long(from), children.end());
        children.resize(from);
    }
    off.resize(from);
    klen.resize(from);
    len.resize(from);
    heads.resize(from);
    dead = uint32_t(buf.size());
    for (size_t j = 0; j < from; ++j) dead -= len[j];
    compact(liveBytes() / 8);
    dst.rebuildHeads();
}

void Node::clear() {
    codedBody.clear();
    sizeCache = 0;
    common = 0;
    dead = 0;
    heads.clear();
    buf.clear();
    off.clear();
    klen.clear();
    len.clear();
    children.clear();
}

void Node::takeEntries(Node& from) {
    codedBody.clear();
    buf = std::move(from.buf);
    off = std::move(from.off);
    klen = std::move(from.klen);
    len = std::move(from.len);
    heads = std::move(from.heads);
    dead = from.dead;
    common = from.common;
    sizeCache = from.sizeCache;
    from.dropEntries();
}

void Node::dropEntries() {
    codedBody = std::string();
    buf = std::string();
    off = std::vector<uint32_t>();
    klen = std::vector<uint16_t>();
    len = std::vector<uint16_t>();
    heads = std::vector<uint64_t>();
    dead = 0;
    common = 0;
    sizeCache = 0;
}

namespace {

size_t sharedPrefix(std::string_view a, std::string_view b) {
    size_t lim = std::min<size_t>({a.size(), b.size(), 63});
    size_t s = 0;
    // eight bytes at a time (the first differing byte is the lowest set byte of the difference on
    // this little-endian machine), then the rest one by one
    while (s + 8 <= lim) {
        uint64_t x, y;
        std::memcpy(&x, a.data() + s, 8);
        std::memcpy(&y, b.data() + s, 8);
        if (x != y) return s + size_t(__builtin_ctzll(x ^ y)) / 8;
        s += 8;
    }
    while (s < lim && a[s] == b[s]) ++s;
    return s;
}

// The entries as the page stores them before run-length coding (I4).
void packEntries(const Node& n, std::string& out) {
    std::string_view prev;
    size_t prevKlen = 0;
    for (size_t i = 0; i < n.count(); ++i) {
        std::string_view e = n.entry(i);
        size_t kl = n.klen[i];
        size_t shared = i == 0 ? 0 : sharedPrefix(prev, e);
        uint8_t flag = uint8_t(shared);
        bool newTotal = i == 0 || e.size() != prev.size();
        bool newKey = i == 0 || kl != prevKlen;
        if (newTotal) flag |= 128;
        if (newKey) flag |= 64;
        out.push_back(char(flag));
        if (newTotal) append16(out, uint16_t(e.size()));
        if (newKey) append16(out, uint16_t(kl));
        out.append(e.substr(shared));
        prev = e;
        prevKlen = kl;
    }
}

void appendCount(std::string& out, size_t v) {
    while (v >= 128) {
        out.push_back(char(0x80 | (v & 0x7F)));
        v >>= 7;
    }
    out.push_back(char(v));
}

bool readCount(const uint8_t*& p, const uint8_t* end, size_t& v) {
    v = 0;
    for (int shift = 0; shift < 28; shift += 7) {
        if (p >= end) return false;
        uint8_t b = *p++;
        v |= size_t(b & 0x7F) << shift;
        if (!(b & 0x80)) return true;
    }
    return false;
}

}  // namespace

size_t entryCost(std::string_view prev, size_t prevKlen, std::string_view entry, size_t klen, bool first) {
    if (first) return 5 + entry.size();
    return 1 + entry.size() - sharedPrefix(prev, entry) + (entry.size() != prev.size() ? 2 : 0) +
           (klen != prevKlen ? 2 : 0);
}

size_t Node::packedCost(size_t prev, size_t i) const {
    if (prev == SIZE_MAX) return entryCost({}, 0, entry(i), klen[i], true);
    return entryCost(entry(prev), klen[prev], entry(i), klen[i], false);
}

size_t unpackedSize(const Node& n) {
    if (n.sizeCache) return n.sizeCache;
    size_t size = kTreeHeader + (n.level ? 4 * n.count() : 0);
    for (size_t i = 0; i < n.count(); ++i) size += n.packedCost(i == 0 ? SIZE_MAX : i - 1, i);
    n.sizeCache = uint32_t(size);
    return size;
}

namespace {

// The first position at or after i where four equal bytes start, or n - 3 when there is none.
// Eight positions are looked at together where the page has room for it.
size_t nextRun(const char* p, size_t i, size_t n) {
#ifdef __SSE2__
    // Sixteen positions at a time: bit k of the mask tells that p[i+k] equals the three after it.
    while (i + 19 <= n) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 2));
        __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 3));
        __m128i same = _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(a, b), _mm_cmpeq_epi8(a, c)), _mm_cmpeq_epi8(a, d));
        if (unsigned m = unsigned(_mm_movemask_epi8(same))) return i + size_t(__builtin_ctz(m));
        i += 16;
    }
#endif
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full, kHigh = 0x8080808080808080ull;
    while (i + 9 <= n) {
        uint64_t w, v;
        std::memcpy(&w, p + i, 8);
        std::memcpy(&v, p + i + 1, 8);
        uint64_t x = w ^ v;  // byte k is zero where p[i+k] == p[i+k+1]
        uint64_t z = ~(((x & kLow7) + kLow7) | x) & kHigh;
        uint64_t r = z & (z >> 8) & (z >> 16);  // byte k: p[i+k .. i+k+3] equal (k <= 5)
        r &= 0x0000808080808080ull;
        if (r) return i + size_t(__builtin_ctzll(r) >> 3);
        i += 6;
    }
    for (; i + 3 < n; ++i)
        if (p[i] == p[i + 1] && p[i] == p[i + 2] && p[i] == p[i + 3]) return i;
    return n < 3 ? 0 : n - 3;
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the byte scans read words as little-endian");

// End of the run of equal bytes that starts at i with at least four; eight bytes are compared at
// a time (blank padding makes runs of hundreds of bytes).
size_t runEnd(const char* p, size_t i, size_t n) {
    const uint64_t pattern = 0x0101010101010101ull * uint8_t(p[i]);
    size_t j = i + 4;
#ifdef __SSE2__
    const __m128i wide = _mm_set1_epi8(p[i]);
    while (j + 16 <= n) {
        unsigned m = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j)), wide)));
        if (m != 0xFFFF) return j + size_t(__builtin_ctz(~m));  // first differing byte
        j += 16;
    }
#endif
    while (j + 8 <= n) {
        uint64_t w;
        std::memcpy(&w, p + j, 8);
        if (uint64_t x = w ^ pattern) return j + size_t(__builtin_ctzll(x) >> 3);  // first differing byte
        j += 8;
    }
    while (j < n && p[j] == p[i]) ++j;
    return j;
}

}  // namespace

void rlePack(std::string_view body, std::string& out) {
    const char* p = body.data();
    size_t litStart = 0, n = body.size();
    out.reserve(out.size() + n / 2 + 16);
    for (size_t i = nextRun(p, 0, n); i + 3 < n; i = nextRun(p, i, n)) {
        size_t j = runEnd(p, i, n);
        appendCount(out, i + 1 - litStart);
        out.append(p + litStart, i + 1 - litStart);
        appendCount(out, j - i - 1);
        litStart = i = j;
    }
    if (litStart < n) {
        appendCount(out, n - litStart);
        out.append(p + litStart, n - litStart);
    }
}

Status rleUnpack(const uint8_t* in, size_t inLen, size_t outLen, std::string& out, uint32_t home) {
    const uint8_t* p = in;
    const uint8_t* end = in + inLen;
    out.clear();
    out.reserve(outLen);
    while (out.size() < outLen) {
        size_t lit;
        if (!readCount(p, end, lit) || lit > size_t(end - p) || lit > outLen - out.size())
            return Status::damaged(__LINE__, home, "run-length literal overruns the page");
        out.append(reinterpret_cast<const char*>(p), lit);
        p += lit;
        if (out.size() == outLen) break;
        size_t rep;
        if (!readCount(p, end, rep) || rep > outLen - out.size() || out.empty())
            return Status::damaged(__LINE__, home, "run-length repeat overruns the page");
        out.append(rep, out.back());
    }
    return {};
}

void encodeNode(const Node& n, uint32_t home, const std::vector<uint32_t>& childHomes, std::string& page) {
    size_t prefix = kTreeHeader + (n.level ? 4 * n.count() : 0);
    size_t unpacked;
    if (n.level && !n.codedBody.empty()) {
        page.assign(prefix, '\0');
        page.append(n.codedBody);
        unpacked = n.codedUnpacked;
    } else {
        // Kept between pages: a commit encodes every page it changed.
        thread_local std::string body;
        body.clear();
        body.reserve(n.liveBytes() + 3 * n.count());
        packEntries(n, body);
        unpacked = prefix + body.size();
        // The coded body goes straight behind the header; the plain one replaces it when coding
        // does not save a unit.
        page.assign(prefix, '\0');
        rlePack(body, page);
        if (roundUnits(uint32_t(page.size())) >= roundUnits(uint32_t(unpacked))) {
            page.resize(prefix);
            page.append(body);
        }
        if (n.level) {
            n.codedBody.assign(page, prefix, std::string::npos);
            n.codedUnpacked = uint32_t(unpacked);
        }
    }
    auto* h = reinterpret_cast<uint8_t*>(page.data());
    put32(h + 0, home);
    put16(h + 4, uint16_t(page.size()));
    put16(h + 6, uint16_t(unpacked));
    put16(h + 8, n.capacity);
    put16(h + 10, uint16_t(n.count()));
    h[12] = n.level;
    for (size_t i = 0; n.level && i < n.count(); ++i) put32(h + kTreeHeader + 4 * i, childHomes[i]);
}

bool fillUnits(std::string& page, uint32_t units) {
    if (page.size() < kTreeHeader || units == 0) return false;
    auto* h = reinterpret_cast<uint8_t*>(page.data());
    const size_t stored = get16(h + 4), unpacked = get16(h + 6), count = get16(h + 10);
    const size_t prefix = kTreeHeader + (h[12] ? 4 * count : 0);
    const size_t lo = size_t(units - 1) * kUnit + 1, hi = size_t(units) * kUnit;
    if (unpacked < lo || stored != page.size() || prefix > stored) return false;
    std::string body;
    if (stored == unpacked) {
        body.assign(page, prefix, std::string::npos);
    } else if (!rleUnpack(h + prefix, stored - prefix, unpacked - prefix, body, 0).ok()) {
        return false;
    }
    std::string head = page.substr(0, prefix);
    auto finish = [&](std::string&& image) {
        page = std::move(image);
        put16(reinterpret_cast<uint8_t*>(page.data()) + 4, uint16_t(page.size()));
        return true;
    };
    if (unpacked <= hi) return finish(head + body);  // the plain page fills them
    // The coded body with its first x bytes taken as they are: the longer that literal start, the
    // longer the page, a few bytes at a time. A packed page must stay shorter than unpacked.
    const size_t most = std::min(hi, unpacked - 1);
    auto coded = [&](size_t x, std::string& out) {
        out = head;
        if (x > 0) {
            appendCount(out, x);
            out.append(body, 0, x);
            if (x == body.size()) return;
            appendCount(out, 0);
        }
        rlePack(std::string_view(body).substr(x), out);
    };
    std::string image;
    size_t a = 0, b = body.size();
    while (a < b) {  // the smallest literal start that reaches the first byte of the last unit
        size_t mid = a + (b - a) / 2;
        coded(mid, image);
        if (image.size() < lo) a = mid + 1;
        else b = mid;
    }
    for (size_t x = a; x < body.size() && x < a + 8; ++x) {
        coded(x, image);
        if (image.size() >= lo && image.size() <= most) return finish(std::move(image));
    }
    return false;
}

Status storedPageLength(const uint8_t* h, size_t avail, uint32_t home, uint32_t& len) {
    if (avail < kTreeHeader) return Status::damaged(__LINE__, home, "page cut short");
    if (get32(h) != home) return Status::damaged(__LINE__, home, "page does not carry its own offset");
    len = get16(h + 4);
    uint32_t unpacked = get16(h + 6);
    if (len < kTreeHeader || len > kMaxPage || unpacked < len || unpacked > kMaxPage)
        return Status::damaged(__LINE__, home, "page length out of range");
    return {};
}

Status decodeNode(const uint8_t* h, size_t avail, uint32_t home, Node& out) {
    uint32_t stored;
    VLX_TRY(storedPageLength(h, avail, home, stored));
    if (avail < stored) return Status::damaged(__LINE__, home, "page cut short");
    uint32_t unpacked = get16(h + 6);
    out.clear();
    out.id = home;
    out.capacity = get16(h + 8);
    size_t count = get16(h + 10);
    out.level = h[12];
    if (out.level > 32 || out.capacity > kMaxPage || unpacked > std::max<uint32_t>(out.capacity, kMaxPage))
        return Status::damaged(__LINE__, home, "page header out of range");
    size_t prefix = kTreeHeader + (out.level ? 4 * count : 0);
    if (prefix > stored) return Status::damaged(__LINE__, home, "child offsets overrun the page");
    if (out.level && count == 0) return Status::damaged(__LINE__, home, "inner page without entries");
    for (size_t i = 0; out.level && i < count; ++i) {
        uint32_t c = get32(h + kTreeHeader + 4 * i);
        if (c == 0 || c % kUnit != 0) return Status::damaged(__LINE__, home, "bad child offset");
        out.children.push_back(c);
    }
    thread_local std::string unpackedBody;  // kept between pages: decoding is on every cache miss
    const uint8_t* body = h + prefix;
    size_t bodyLen = stored - prefix;
    size_t wantBody = unpacked - prefix;
    if (stored != unpacked) {
        VLX_TRY(rleUnpack(body, bodyLen, wantBody, unpackedBody, home));
        body = bytes(unpackedBody);
        bodyLen = wantBody;
    }
    const uint8_t* p = body;
    const uint8_t* end = body + bodyLen;
    size_t total = 0, kl = 0;
    // A page read may well be changed next: room for a few more entries spares its first insert
    // moving every array to a larger one.
    size_t room = count + count / 8 + 2;
    out.off.reserve(room);
    out.klen.reserve(room);
    out.len.reserve(room);
    // The entries laid out in full take the page's body plus what each shares with the one before;
    // a quick walk over the lengths finds that, so the page is charged (in the cache) for about what
    // it uses, with an eighth more for the entries it may gain. The walk trusts nothing: the loop
    // below checks every length.
    size_t laidOut = 0;
    {
        const uint8_t* q = body;
        size_t t = 0;
        for (size_t i = 0; i < count && q < end; ++i) {
            uint8_t flag = *q++;
            if ((flag & 128) && end - q >= 2) t = get16(q), q += 2;
            if ((flag & 64) && end - q >= 2) q += 2;
            size_t shared = flag & 63;
            laidOut += t;
            q += std::min<size_t>(size_t(end - q), t > shared ? t - shared : 0);
        }
    }
    out.buf.reserve(std::min<size_t>(laidOut, size_t(kMaxPage) * 4) * 9 / 8);
    // Whether the page is packed as this program packs it (every length written only when it
    // changes, every entry sharing all it can): then its unpacked length is what unpackedSize
    // would work out, and the node need not work it out again.
    bool ownPacking = true;
    size_t prevTotal = 0, prevKl = 0;
    for (size_t i = 0; i < count; ++i) {
        if (p >= end) return Status::damaged(__LINE__, home, "entry count exceeds the page");
        uint8_t flag = *p++;
        size_t shared = flag & 63;
        if (i == 0 && ((flag & 0xC0) != 0xC0 || shared != 0))
            return Status::damaged(__LINE__, home, "first entry does not carry its lengths");
        if (flag & 128) {
            if (end - p < 2) return Status::damaged(__LINE__, home, "entry length cut short");
            total = get16(p);
            p += 2;
        }
        if (flag & 64) {
            if (end - p < 2) return Status::damaged(__LINE__, home, "key length cut short");
            kl = get16(p);
            p += 2;
        }
        size_t prevStart = i ? out.off[i - 1] : 0;
        size_t prevLen = i ? out.len[i - 1] : 0;
        if (total == 0 || total >= kMaxEntry || kl == 0 || kl > total || shared > prevLen || shared > total)
            return Status::damaged(__LINE__, home, "entry lengths out of range");
        size_t rest = total - shared;
        if (size_t(end - p) < rest) return Status::damaged(__LINE__, home, "entry overruns the page");
        uint32_t start = uint32_t(out.buf.size());
        out.buf.append(out.buf, prevStart, shared);
        out.buf.append(reinterpret_cast<const char*>(p), rest);
        p += rest;
        out.off.push_back(start);
        out.klen.push_back(uint16_t(kl));
        out.len.push_back(uint16_t(total));
        if (i > 0 && ownPacking) {
            size_t most = std::min<size_t>({63, prevLen, total});
            if (bool(flag & 128) != (total != prevTotal) || bool(flag & 64) != (kl != prevKl) ||
                (shared < most && out.buf[start + shared] == out.buf[prevStart + shared]))
                ownPacking = false;
        }
        prevTotal = total;
        prevKl = kl;
        if (i > 0) {
            // The bytes shared with the entry before are the same in both keys, so two ordered
            // keys mostly differ right after them: one byte decides, the rest are compared only
            // when it does not.
            std::string_view a = out.key(i - 1), b = out.key(i);
            size_t at = std::min({shared, a.size(), b.size()});
            bool ordered = at < a.size() && at < b.size() && uint8_t(a[at]) < uint8_t(b[at]);
            if (!ordered && a.compare(b) >= 0) return Status::damaged(__LINE__, home, "entries out of order");
        }
    }
    if (p != end) return Status::damaged(__LINE__, home, "unpacked length does not match the entries");
    out.rebuildHeads();
    if (ownPacking) out.sizeCache = unpacked;
    if (out.level) {
        out.codedBody.assign(reinterpret_cast<const char*>(h + prefix), stored - prefix);
        out.codedUnpacked = unpacked;
    }
    return {};
}

namespace {

// The body of a page read in order without laying it out: plain, or run-length coded (I4) with
// every count checked as rleUnpack checks it. take() hands over the next n bytes (or skips them
// when dst is null) and fails when the body is damaged or ends first.
class BodyStream {
public:
    BodyStream(const uint8_t* p, size_t inLen, size_t outLen, bool coded)
        : m_p(p), m_end(p + inLen), m_outLeft(outLen), m_coded(coded) {}

    bool take(uint8_t* dst, size_t n) {
        if (n > m_outLeft) return false;
        if (!m_coded) {
            if (n > size_t(m_end - m_p)) return false;
            if (dst) std::memcpy(dst, m_p, n);
            m_p += n;
            m_outLeft -= n;
            return true;
        }
        while (n) {
            if (m_lit) {
                size_t k = std::min(m_lit, n);
                if (dst) {
                    std::memcpy(dst, m_p, k);
                    dst += k;
                }
                m_last = m_p[k - 1];
                m_p += k;
                m_lit -= k;
                n -= k;
                m_outLeft -= k;
            } else if (m_rep) {
                size_t k = std::min(m_rep, n);
                if (dst) {
                    std::memset(dst, m_last, k);
                    dst += k;
                }
                m_rep -= k;
                n -= k;
                m_outLeft -= k;
            } else if (!next()) {
                return false;
            }
        }
        return true;
    }

private:
    // The next literal count, or after a literal the repeat count.
    bool next() {
        size_t v;
        if (m_afterLiteral) {
            m_afterLiteral = false;
            if (!readCount(m_p, m_end, v) || v > m_outLeft || m_last < 0) return false;
            m_rep = v;
            return true;
        }
        if (!readCount(m_p, m_end, v) || v > size_t(m_end - m_p) || v > m_outLeft) return false;
        m_lit = v;
        m_afterLiteral = true;
        return true;
    }

    const uint8_t* m_p;
    const uint8_t* m_end;
    size_t m_outLeft;
    bool m_coded;
    size_t m_lit = 0, m_rep = 0;
    int m_last = -1;
    bool m_afterLiteral = false;
};

}  // namespace

Status searchPackedLeaf(const uint8_t* h, size_t avail, uint32_t home, std::string_view key, LeafSeek how,
                        std::string* outKey, std::string* data, bool& found, std::vector<uint64_t>* keyHashes) {
    if (!keyHashes) found = false;
    uint32_t stored;
    VLX_TRY(storedPageLength(h, avail, home, stored));
    if (avail < stored) return Status::damaged(__LINE__, home, "page cut short");
    uint32_t unpacked = get16(h + 6);
    uint32_t capacity = get16(h + 8);
    size_t count = get16(h + 10);
    uint8_t level = h[12];
    if (level > 32 || capacity > kMaxPage || unpacked > std::max<uint32_t>(capacity, kMaxPage))
        return Status::damaged(__LINE__, home, "page header out of range");
    if (level != 0) return Status::damaged(__LINE__, home, "page level out of step");
    if (count == 0) return Status::damaged(__LINE__, home, "empty page inside the tree");
    BodyStream body(h + kTreeHeader, stored - kTreeHeader, unpacked - kTreeHeader, stored != unpacked);
    // Of each entry only its key and the bytes the next one may share (at most 63) are kept; the
    // rest of its bytes are passed over in the stream unless it is the one sought.
    thread_local std::string prevBuf, curBuf;
    size_t prevTotal = 0, prevKl = 0, total = 0, kl = 0;
    for (size_t i = 0; i < count; ++i) {
        uint8_t flag, len[2];
        if (!body.take(&flag, 1)) return Status::damaged(__LINE__, home, "entry count exceeds the page");
        size_t shared = flag & 63;
        if (i == 0 && ((flag & 0xC0) != 0xC0 || shared != 0))
            return Status::damaged(__LINE__, home, "first entry does not carry its lengths");
        if (flag & 128) {
            if (!body.take(len, 2)) return Status::damaged(__LINE__, home, "entry length cut short");
            total = get16(len);
        }
        if (flag & 64) {
            if (!body.take(len, 2)) return Status::damaged(__LINE__, home, "key length cut short");
            kl = get16(len);
        }
        if (total == 0 || total >= kMaxEntry || kl == 0 || kl > total || shared > prevTotal || shared > total)
            return Status::damaged(__LINE__, home, "entry lengths out of range");
        size_t keep = std::max(kl, std::min<size_t>(total, 63));
        curBuf.resize(keep);
        auto* cur = reinterpret_cast<uint8_t*>(curBuf.data());
        std::memcpy(cur, prevBuf.data(), shared);  // the previous entry kept at least this much
        if (!body.take(cur + shared, keep - shared)) return Status::damaged(__LINE__, home, "entry overruns the page");
        std::string_view k(curBuf.data(), kl);
        if (i > 0) {
            std::string_view a(prevBuf.data(), prevKl);
            size_t at = std::min({shared, a.size(), k.size()});
            bool ordered = at < a.size() && at < k.size() && uint8_t(a[at]) < uint8_t(k[at]);
            if (!ordered && a.compare(k) >= 0) return Status::damaged(__LINE__, home, "entries out of order");
        }
        if (keyHashes) {
            keyHashes->push_back(keyHash(k));
        } else if (int c = k.compare(key); how == LeafSeek::kExact && c > 0) {
            return {};  // entries rise: the sought key is not on the page
        } else if (how == LeafSeek::kExact ? c == 0 : how == LeafSeek::kAtLeast ? c >= 0 : c > 0) {
            if (outKey) outKey->assign(k);
            if (data) {
                size_t rest = total - keep;
                data->assign(curBuf, kl, keep - kl);
                data->resize(keep - kl + rest);
                if (!body.take(reinterpret_cast<uint8_t*>(data->data()) + (keep - kl), rest))
                    return Status::damaged(__LINE__, home, "entry overruns the page");
            }
            found = true;
            return {};
        }
        if (!body.take(nullptr, total - keep)) return Status::damaged(__LINE__, home, "entry overruns the page");
        prevBuf.swap(curBuf);
        prevTotal = total;
        prevKl = kl;
    }
    return {};
}

}  // namespace sitedex::record

#pragma once
// One node of the entry tree in memory, and its packing to and from the page format (tree page
// header, child offsets, prefix-shared entries, run-length coded body; invariants I3 and I4).
//
// Entries are held in one buffer so that a node costs little more than its bytes. The buffer is
// not in entry order: a new entry goes to its end and only the small arrays of offsets and lengths
// move, and space given up by erased or replaced entries is reclaimed once it is half the buffer.
// decodeNode never trusts the page: every count and length is checked against the page and a
// damaged page is reported with the page's offset. Callers: the pager and the tree.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/record/format.h"

namespace sitedex::record {

struct Node {
    uint64_t id = 0;                // home offset, or a temporary id for a page not yet placed
    uint8_t level = 0;              // 0 = leaf
    uint16_t capacity = kNodeCapacity;
    std::vector<uint64_t> children; // inner nodes: one child per entry
    std::string buf;                // the bytes of the entries, in no particular order
    std::vector<uint32_t> off;      // start of each entry in buf
    std::vector<uint16_t> klen;     // key part length of each entry
    std::vector<uint16_t> len;      // total length of each entry
    uint32_t dead = 0;              // bytes of buf no entry uses
    // Searching: the key bytes every entry shares (`common` of them, all keys are at least that
    // long) and, for each entry, the next eight bytes of its key as a big-endian number (zero
    // past the key's end). Two heads that differ order their keys; only equal heads need the
    // keys themselves, so a search mostly reads one small array instead of the entries.
    uint16_t common = 0;
    std::vector<uint64_t> heads;
    // Unpacked page size (unpackedSize) as last worked out, 0 when unknown. Kept up to date by
    // insert and erase, dropped by every other change: splitting asks for it on every insert.
    mutable uint32_t sizeCache = 0;
    // Inner pages: the coded body of the page (what follows the child offsets) as last written or
    // read, kept while the entries stay as they are, and the unpacked page length that goes with
    // it. A page rewritten only because a child moved is then not coded again. Empty when unknown;
    // every change of the entries drops it.
    mutable std::string codedBody;
    mutable uint32_t codedUnpacked = 0;

    size_t count() const { return off.size(); }
    size_t totalLen(size_t i) const { return len[i]; }
    // Bytes of all entries together.
    size_t liveBytes() const { return buf.size() - dead; }
    std::string_view entry(size_t i) const { return std::string_view(buf).substr(off[i], totalLen(i)); }
    std::string_view key(size_t i) const { return std::string_view(buf).substr(off[i], klen[i]); }
    std::string_view data(size_t i) const {
        return std::string_view(buf).substr(off[i] + klen[i], totalLen(i) - klen[i]);
    }
    void insert(size_t i, std::string_view key, std::string_view data);
    void erase(size_t i);
    void replaceData(size_t i, std::string_view data);
    // Moves entries [from, count) (and their children) to the end of `dst`.
    void moveTail(size_t from, Node& dst);
    void clear();
    // Lays the entries out again in order, without unused space (reserving `slack` bytes more).
    void compact(size_t slack = 0);
    // Compacts once the room no entry uses is half the buffer (and more than a little).
    void reclaimUnused();
    // Takes over the entries of `from` (which is left without them); level, id and children stay.
    void takeEntries(Node& from);
    // Gives up the entries and their memory.
    void dropEntries();
    // First entry whose key is >= key (or > key when `after`); count() when there is none.
    size_t lowerBound(std::string_view key, bool after = false) const;
    // Works out `common` and `heads` afresh (after the entries were set by hand).
    void rebuildHeads();
    uint64_t headOf(std::string_view key) const;
    // Bytes the entry at i takes in the packed body when entry `prev` comes before it (no
    // predecessor when prev == SIZE_MAX).
    size_t packedCost(size_t prev, size_t i) const;
    size_t memoryBytes() const { return buf.capacity() + off.capacity() * 4 + klen.capacity() * 2 + len.capacity() * 2 +
                                        heads.capacity() * 8 + children.capacity() * 8 +
                                        codedBody.capacity(); }
};

// Bytes an entry takes in a packed page body after `prev` (the entry before it in the same page; none
// when `first`): its flag byte, the lengths it must repeat, and the bytes it does not share (I4).
size_t entryCost(std::string_view prev, size_t prevKlen, std::string_view entry, size_t klen, bool first);

// Length of the node when written unpacked (header, child offsets and packed entries).
size_t unpackedSize(const Node& n);

// Writes the page image of the node; `childHomes` are the on-disk offsets of the children (inner
// nodes). The image is run-length coded when that saves at least one 256-byte unit. REQUIRES: the
// node's home is known (n.id < 2^32) and unpackedSize(n) <= kMaxPage.
void encodeNode(const Node& n, uint32_t home, const std::vector<uint32_t>& childHomes, std::string& page);

// Parses a page read from `home`; `page` holds at least the stored length. Children are returned as
// home offsets. A damaged page gives kDamaged with the page's offset.
Status decodeNode(const uint8_t* page, size_t avail, uint32_t home, Node& out);

// Looks a key up in a leaf page as it lies (the page image read from `home`), without laying out
// its entries: the entry with that key, or the first one at or after it, or the first one after
// it; found tells whether the page has it, and `outKey` and `data` (when given) receive its parts.
// The entries are read in order up to the one sought, with the checks decodeNode makes on them; a
// damaged page gives kDamaged. Given keyHashes, the whole page is walked instead and the
// keyHash of each of its keys appended there; found and the outputs are then left as they are.
enum class LeafSeek { kExact, kAtLeast, kAfter };
Status searchPackedLeaf(const uint8_t* page, size_t avail, uint32_t home, std::string_view key, LeafSeek how,
                        std::string* outKey, std::string* data, bool& found,
                        std::vector<uint64_t>* keyHashes = nullptr);
inline uint64_t keyHash(std::string_view key) { return std::hash<std::string_view>{}(key); }

// Codes the page image again (encodeNode's output) so that it occupies exactly `units` 256-byte units:
// plain when its unpacked length fits them, else packed with part of its body left uncoded. False
// (the image unchanged) when its unpacked length is too short for them. A page that shrank keeps
// its place this way instead of leaving a sliver of free space behind it.
bool fillUnits(std::string& page, uint32_t units);

// Stored length of a tree page from its header, checked; kDamaged when implausible.
Status storedPageLength(const uint8_t* hdr, size_t avail, uint32_t home, uint32_t& len);

// The run-length code of the page body (exposed for tests).
void rlePack(std::string_view body, std::string& out);
Status rleUnpack(const uint8_t* in, size_t inLen, size_t outLen, std::string& out, uint32_t home);

}  // namespace sitedex::record

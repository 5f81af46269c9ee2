#pragma once
// Builds an entry tree bottom-up from entries handed over in ascending order, filling every page up
// to the size new pages are built for (I3). Pack writes the whole tree of a file anew with it, and a
// rebuild writes the entries it saved into a new file.
//
// Finished leaves may be kept packed by the pager meanwhile; the leaf being filled never is (it is
// made after the cache is trimmed). REQUIRES: the pager is in write mode; the caller hands the root
// to the pager (Pager::replaceTree) and commits.

#include <string>
#include <string_view>
#include <vector>

#include "drivers/record/pager.h"

namespace sitedex::record {

class TreeLoader {
public:
    explicit TreeLoader(Pager& pager) : m_pager(pager) {}

    // The next entry; its key must be greater than the one before (kDamaged otherwise).
    Status add(std::string_view key, std::string_view data);
    // The root of the tree built (0 when no entry was added).
    Status finish(uint64_t& root);

private:
    struct Level {
        Node* node = nullptr;
        size_t size = 0;
        std::string prev;
        size_t prevKlen = 0;
        uint64_t closed = 0;
    };
    Status append(size_t level, std::string_view key, std::string_view data, uint64_t child);
    void open(Level& l, size_t level);
    // The node of `level` is full (or the last one): its first key goes up into the level above.
    Status close(size_t level);

    Pager& m_pager;
    std::vector<Level> m_levels;
    std::string m_last;
    std::string m_lastLeafKey;  // last key of the leaf closed before
    bool m_leafClosed = false;
};

}  // namespace sitedex::record

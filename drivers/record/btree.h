#pragma once
// The ordered entry tree of a VLX file: every entry (records, key entries, memo pieces, the stored
// definition, named items) lives in one tree ordered by its key part compared as unsigned bytes.
// An inner entry holds a lower bound of the keys of its child that is greater than every key of the
// child before: above the leaves, the shortest beginning of the child's first key that is so
// (shortSeparator). A search takes the last child whose entry is not greater than the sought key
// (the first child also holds anything smaller) (I3).
//
// REQUIRES for every call: the pager is in a mode; changes need write mode. Callers: the table
// layer (table.h) and the check tool.

#include <boost/container/small_vector.hpp>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/record/pager.h"

namespace sitedex::record {

// The shortest beginning of `right` that is greater than `left`. REQUIRES: left < right. Short
// separators make inner pages hold more children, so trees are lower and searches shorter.
std::string_view shortSeparator(std::string_view left, std::string_view right);

class Tree {
public:
    explicit Tree(Pager& pager) : m_pager(pager) {}

    // Exact lookup; `data` receives the data part when found.
    Status find(std::string_view key, std::string* data, bool& found);
    // Inserts the entry or replaces the data of an entry with the same key part.
    Status put(std::string_view key, std::string_view data);
    // Inserts the entry unless one with the same key part exists; then nothing changes.
    Status insertNew(std::string_view key, std::string_view data, bool& existed);
    Status erase(std::string_view key, bool& found);

    // Where an entry was found: its leaf and index (valid until the pager's version changes).
    struct Spot {
        uint64_t leaf = 0;
        size_t index = 0;
    };
    // The first entry whose key is >= key (or > key when `after`); found=false at the end.
    Status seekForward(std::string_view key, bool after, std::string& outKey, std::string* outData, bool& found,
                       Spot* spot = nullptr);
    // The last entry whose key is <= key (or < key when `before`).
    Status seekBackward(std::string_view key, bool before, std::string& outKey, std::string* outData, bool& found,
                        Spot* spot = nullptr);

    // Walks the whole tree checking order, shape, levels and page bounds; calls `visit` for every
    // leaf entry in order. Used by the check tool and by tests.
    struct CheckResult {
        uint64_t entries = 0;
        uint64_t pages = 0;
        std::vector<std::pair<uint32_t, uint32_t>> extents;  // home, units of every page
    };
    Status check(CheckResult& out, const std::function<Status(std::string_view, std::string_view)>& visit = {});

private:
    struct Step {
        Node* node;
        size_t index;
    };
    // The way down from the root; kept on the stack for trees of ordinary depth.
    using Path = boost::container::small_vector<Step, 8>;
    Status descend(std::string_view key, Path& path);
    Status seekForwardOnce(std::string_view key, bool after, std::string& outKey, std::string* outData, bool& found,
                           Spot* spot);
    Status seekBackwardOnce(std::string_view key, bool before, std::string& outKey, std::string* outData, bool& found,
                            Spot* spot);
    Status searchOnDisk(std::string_view key, LeafSeek how, std::string* outKey, std::string* data, bool& found,
                        bool& done);
    Status splitIfNeeded(Path& path, size_t level);
    Status store(std::string_view key, std::string_view data, bool* existed);
    Status checkNode(uint64_t id, int expectLevel, std::string_view low, std::string_view high, bool hasHigh,
                     std::string& lastKey, CheckResult& out,
                     const std::function<Status(std::string_view, std::string_view)>& visit);

    Pager& m_pager;
};

}  // namespace sitedex::record

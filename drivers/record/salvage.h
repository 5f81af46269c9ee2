#pragma once
// Reading what can be read of a record file that may be damaged, for the rebuild (rebuild.h).
//
// The entries are gathered from the file's bytes as they lie, trusting nothing: from the root, the
// inner pages are followed through their child offsets (their separators are not needed); a leaf
// gives the entries that come before any damage in it. When a page of the tree cannot be read, the
// file's other pages are looked through for leaves that lost their way: a page that is neither part
// of the tree walked nor listed as free, and whose keys no page read so far holds (an old copy of a
// page read already holds some of them). Without a sound header the root is the highest page that
// no other page refers to. A pending page log (I7) is read through, as every reader does.
//
// Callers: rebuild.cpp. Pure computation on a copy of the file's bytes.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "drivers/record/format.h"

namespace sitedex::record {

struct SalvagedFile {
    std::map<std::string, std::string> entries;  // every entry read, by key part
    bool empty = false;        // the file never held anything (not made whole, or no tree)
    bool headerSound = false;  // the header passed its checks
    int32_t counter = 0;       // its change counter (when sound)
    uint32_t nextTable = 1;    // its next table number (when sound)
    std::vector<std::string> damage;  // what could not be read, a line each
};

void salvageEntries(const std::string& bytesOfFile, SalvagedFile& out);

}  // namespace sitedex::record

#pragma once
// Rebuilding a record file, damaged or not, so that it never ends worse than it was.
//
// The rebuild reads every entry it can reach. It walks the tree from the root through the child
// offsets of the inner pages (their separators are not needed for that), and takes from each leaf
// the entries that come before any damage in it. When a page of the tree cannot be read, it looks
// through the file's other pages for leaves that lost their way: a page that is neither part of
// the tree walked nor listed as free, whose keys no page read so far holds. When the header cannot
// be read, the root is the highest page no other page refers to.
//
// From what it read it writes every table of the file anew into a new file beside the old one
// (records with their numbers, memo pieces up to the first one missing, keys rebuilt from the
// records, counters recounted, the stored definitions), and checks that file. Only then does it
// keep the old file's bytes in a backup file and replace the old file's content, under the file's
// writer lock and through the page log (I6, I7): other programs that have the file open read the
// new content (the change counter moves on), and an interruption leaves the file as it was or as
// rebuilt. Record numbers are kept, so positions held elsewhere name the same records.
//
// Callers: the record driver's build of a closed file (the program's offer to rebuild the keys) and
// the command line's rebuild. One caller at a time per file; it holds the file's writer region
// throughout.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "drivers/record/pager.h"
#include "drivers/record/schema.h"

namespace sitedex::record {

struct RebuildReport {
    uint64_t saved = 0;       // records written to the rebuilt file
    uint64_t unreadable = 0;  // records the file held (by its counters, keys or memos) not read
    uint64_t leftOut = 0;     // records read but left out: a unique key value another one has
    uint64_t memosCut = 0;    // saved records whose memo lost pieces
    std::string backup;       // where the file's bytes as they were are kept
    std::vector<std::string> damage;  // what could not be read, a line each
};

// Rebuilds the file at `path`. `declared` gives, by upper-cased table name, the definition to use
// where the stored one cannot be read (the driver passes its declaration; tools may pass none).
// Fails without changing the file when nothing could be read that the file held, when a table's
// definition is unreadable and not declared, or when the new file does not pass the check.
Status rebuildFile(const std::string& path, const std::map<std::string, Schema>& declared, const PagerOptions& opts,
                   RebuildReport& report);

}  // namespace sitedex::record

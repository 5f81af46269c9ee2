#pragma once
// The unchanged-record rule of the update forms: a form takes a copy of the record buffer and its
// memos when it loads the record, and writes on OK only when the buffer or a memo differs from that
// copy; an unchanged record is not written (the form answers "cancelled").
//
// Callers: the location, category and snippet forms and the command line, on the thread whose
// buffer they copy.

#include <string>
#include <vector>

#include "data/declarations.h"

namespace sitedex::app::maintenance {

struct RecordCopy {
    std::string record;
    std::vector<std::string> memos;
};

// The current thread's record buffer and memos of the file.
RecordCopy copyRecord(data::FileDecl& file);

// True when the buffer and every memo are byte for byte as in the copy.
bool recordUnchanged(data::FileDecl& file, const RecordCopy& copy);

}  // namespace sitedex::app::maintenance

#pragma once
// The transaction control file (TCF): the commit point of a transaction over several record
// files. A record naming the transaction and its files is written and flushed here after every
// file of the group holds its page log "prepared"; its presence decides, after a crash, whether
// the prepared files roll forward or drop their logs (docs/record-file-format.md, I15-I17).
//
// The file is shared by every program that names it; appends and clears take an exclusive lock
// on it. Lookups need no lock: a prepared file is only looked up once its writer is gone.
//
// Callers: the pager (lookup during recovery) and the VELOX driver (append and clear at commit).

#include <cstdint>
#include <string>
#include <vector>

#include "drivers/record/format.h"

namespace sitedex::record {

// Appends the committed-transaction record and flushes it (`durable`: to the device). `pos` is
// where it landed, for tcfClear.
Status tcfAppend(const std::string& path, uint64_t txid, const std::vector<std::string>& files, bool durable,
                 uint64_t& pos);
// Clears the record written at `pos`; the file is emptied once no record is left in it.
Status tcfClear(const std::string& path, uint64_t pos, uint64_t txid);
// Whether a whole record of transaction `txid` is in the file (a missing file holds none).
Status tcfLookup(const std::string& path, uint64_t txid, bool& committed);

// A transaction id unlikely to repeat across programs and runs (never 0).
uint64_t newTransactionId();

}  // namespace sitedex::record

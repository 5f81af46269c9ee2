#pragma once
// The record-file driver "VELOX" ("Velox (VLX) Driver 1.00") behind the access layer: it maps the
// access layer's operations onto the record engine (table.h) for files declared with this driver.
//
// Record pointers are record numbers. A file's position text is the record number (4 bytes, least
// significant first); a key's position text is the record number followed by the encoded key value
// of the record. A broken page or tree ends the program with the fatal "Internal error : vlxbt line N".
//
// Callers: the program's start registers the descriptor (drivers/standard_drivers.h); tests may set
// the durability of the files the driver opens.

#include "data/driver.h"
#include "drivers/record/pager.h"
#include "drivers/record/schema.h"

namespace sitedex::record {

const data::DriverDescriptor& veloxDriverDescriptor();

// The table definition the driver makes of a file declaration (what create stores and open
// compares with), for tools that rebuild a file of the program's dictionary.
Schema veloxSchemaOf(const data::FileDecl& file);

// How the driver's commits reach the disk (default: flushed, they survive a power cut).
void setVeloxDurability(Durability d);

// How long (ms) opening or creating a file waits behind another program's change before it answers
// 32 "File Is Already Locked" (default 2 s, so that the program can say the file is in use), and how
// long every other operation waits for its lock (default 30 s).
void setVeloxWaits(int openWaitMs, int lockWaitMs);

// The transaction control file named by the last "TCF=" request (one name for the process).
std::string veloxTransactionControlFile();

// The path of the file whose operation met a damaged page and ended the program with the internal
// error (for the command line's message); empty when none has.
std::string veloxDamagedFile();

}  // namespace sitedex::record

#pragma once
// The record-file driver "VELOX" ("Velox (VLX) Driver 1.00") behind the access layer: it maps the
// access layer's operations onto the record engine (table.h) for files declared with this driver.
//
// Record pointers are record numbers. A file's position text is the record number (4 bytes, least
// significant first); a key's position text is the record number followed by the encoded key value
// of the record. A broken page or tree ends the program with the fatal "Internal error : vlxbt line N".
//
// Callers: the driver registry (data/driver_registry.cpp) registers the descriptor; tests may set
// the durability of the files the driver opens.

#include "data/driver.h"
#include "drivers/record/pager.h"

namespace sitedex::record {

const data::DriverDescriptor& veloxDriverDescriptor();

// How the driver's commits reach the disk (default: flushed, they survive a power cut).
void setVeloxDurability(Durability d);

// The transaction control file named by the last "TCF=" request (one name for the process).
std::string veloxTransactionControlFile();

}  // namespace sitedex::record

#pragma once
// The line text file driver, registered as "ASCII": a file declaration stored as a plain text file,
// one record per line.
//
// A line is copied into the record buffer from its first byte; the rest of the record stays blank.
// Lines end with the terminator (CR LF unless ENDOFRECORD says otherwise); a TAB is expanded by the
// tab width; a Ctrl-Z (26) ends a line and, as the first byte of a line, the file; the part of a line
// longer than the record is skipped. Writing puts the record (less its trailing blanks while CLIP is
// on) and the terminator at the end of the file (add, append) or over the bytes at a pointer (put).
// Pointers are byte offsets + 1; a position is the pointer as 4 little-endian bytes.
//
// The driver accepts declarations of STRING and GROUP fields only, with no keys and no memos, and a
// record below 65536 bytes. It answers the 32 operations of descriptor().operations; any other code
// fails with 80.
//
// A declaration asking for OEM conversion (attribute 32) gets its conversion buffer, but the
// conversion itself is the identity: text here is UTF-8 on both sides, and no file of the program
// asks for it.
//
// Callers: the access layer (through the driver registry).

#include "data/driver.h"

namespace sitedex::text {

const data::DriverDescriptor& descriptor();

}  // namespace sitedex::text

#pragma once
// The copy at the heart of the text driver's line reader: one pass over the line that copies it into
// the record, finds where the simple copy must stop, and blanks the rest of the record.
//
// A line stops at the first "stop byte": the terminator's first byte, a TAB (9) or a Ctrl-Z (26).
// copyLine copies the bytes before the first stop byte within the record's width into the record and
// blanks the record after them, so a line with no TAB and no Ctrl-Z that ends at a whole terminator is
// read completely by this one call; the caller decides from the stop byte whether that is the case.
// The result is the same for every instruction set (AVX2, SSE2, plain bytes); the fastest one the
// processor has is chosen once, and tests call each one directly. The block variants avoid branches
// that depend on the line's length (see line_scan.cpp): reading line by line is bound by them.
//
// Callers: the text driver's line reader, and tests.

#include <cstddef>
#include <cstdint>

namespace sitedex::text {

// The instruction sets the copy is written for.
enum class Isa { kBytes, kSse2, kAvx2 };
bool isaAvailable(Isa isa);
Isa bestIsa();  // the fastest one this processor has

struct StopBytes;
using CopyLineFn = size_t (*)(char* rec, size_t cap, const char* line, const StopBytes& stop);

// The stop bytes of one terminator, prepared for the block-wise test, with the copy that uses them.
struct StopBytes {
    unsigned char terminatorFirst = 13;
    // By low nibble: the stop byte with that low nibble, or a byte whose low nibble differs (never
    // equal to a byte looked up there). Holds all three stop bytes unless the terminator's first byte
    // shares its low nibble with TAB or Ctrl-Z or is 128 or above; then it holds those two only.
    alignas(16) unsigned char byNibble[16] = {};
    bool tableHoldsAll = false;
    CopyLineFn copy = nullptr;
};

// REQUIRES: isaAvailable(isa).
StopBytes stopBytesFor(unsigned char terminatorFirst, Isa isa = bestIsa());

// Copies line[0..k) to rec[0..k) and sets rec[k..cap) to blanks, where k is the index of the first stop
// byte in line[0..cap), or cap when there is none; returns k.
// REQUIRES: line[0..cap) may be read; rec[0..cap) may be written and does not overlap line.
inline size_t copyLine(char* rec, size_t cap, const char* line, const StopBytes& stop) {
    return stop.copy(rec, cap, line, stop);
}

}  // namespace sitedex::text

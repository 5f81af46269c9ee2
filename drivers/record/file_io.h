#pragma once
// The engine's only door to the operating system's files: positioned reads and writes, flush,
// size, truncate and open-file-description byte-range locks. Tests wrap it to inject faults (a
// write that fails, a "power cut" that drops everything not yet flushed).
//
// Locks are OFD locks (F_OFD_SETLK): they belong to this open file, so two instances of one data
// file inside one process exclude each other exactly as two programs do, and closing one
// descriptor never drops the locks of another.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "drivers/record/format.h"

namespace sitedex::record {

class FileIo {
public:
    virtual ~FileIo() = default;
    // Reads up to n bytes; `got` is the count read (short at the end of the file).
    virtual Status read(uint64_t offset, void* buf, size_t n, size_t& got) = 0;
    virtual Status write(uint64_t offset, const void* buf, size_t n) = 0;
    virtual Status sync() = 0;
    virtual Status size(uint64_t& out) = 0;
    virtual Status truncate(uint64_t size) = 0;
    // Non-blocking byte-range lock; returns kLocked when another open file holds a conflicting one.
    virtual Status lock(uint64_t offset, uint64_t len, bool exclusive) = 0;
    virtual Status unlock(uint64_t offset, uint64_t len) = 0;
    virtual bool writable() const = 0;
    // The file's first kHeadMapSize bytes mapped into memory, so that the header can be looked at
    // without a read system call; null when this file does not offer it. If the file is cut short
    // under the mapping, the mapped bytes turn to zeros instead of ending the program (a fault
    // there is caught); a caller that finds them implausible reads the file and forgets the
    // mapping (forgetMappedHead), which is made afresh on the next call.
    virtual const uint8_t* mappedHead() { return nullptr; }
    virtual void forgetMappedHead() {}
};
constexpr size_t kHeadMapSize = 4096;

// Opens a disk file. `create` makes a missing file (mode 0644); without it a missing file is kNotFound.
Status openPosixFile(const std::string& path, bool writable, bool create, std::unique_ptr<FileIo>& out);

// Tests may replace how the engine opens files (fault injection); nullptr restores the default.
using FileOpener = std::function<Status(const std::string&, bool writable, bool create, std::unique_ptr<FileIo>&)>;
void setFileOpener(FileOpener opener);
Status openFile(const std::string& path, bool writable, bool create, std::unique_ptr<FileIo>& out);

// Faults caught on mapped headers of files cut short under them (tests).
uint64_t mappedHeadFaults();
// Faults caught on the views that reads copy from, of files cut short under a copy (tests).
uint64_t viewFaults();

}  // namespace sitedex::record

#pragma once
// The text driver's file: an operating-system file with one read buffer and one pending-write run.
//
// Reads ask for a window of bytes at an offset. With quick scan on, a window that lies inside what the
// buffer already holds is served from memory; otherwise (and always with quick scan off) the buffer is
// refilled from the file at that offset, so every read sees what other programs wrote. When a fill
// reaches the end of the file, the byte after the last valid one reads as 26 (Ctrl-Z): the end of the
// file is an end-of-file mark to the line reader.
//
// The logical buffer size (what FILEBUFFERS reports and sets) bounds the largest window; with quick
// scan on the fill reads ahead further, which changes the number of system calls and nothing else.
// Writes collect in a run of consecutive bytes that is written out before any read, lock, size query,
// close, or a write elsewhere; writeOut() forces it.
//
// Sharing between programs: every open takes shared open-file-description locks (F_OFD_SETLK) on
// marker bytes far beyond any data, one per access it has and per access it denies, and refuses to open
// when a marker of another open file conflicts. Byte 0 is the lock byte of lock/unlock and of the
// writes of shared files.
//
// Callers: the text driver only.

#include <cstdint>
#include <string>
#include <vector>

namespace sitedex::text {

class BufferedFile {
public:
    BufferedFile() = default;
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    // Opens path with the access part (0 read, 1 write, 2 both) and the sharing flags. Returns 0 or the
    // program's system error number (2 missing, 3 bad path, 5 denied or sharing violation, ...).
    int open(const std::string& path, int access, bool othersMayRead, bool othersMayWrite);
    // Writes out pending bytes and closes; returns 0 or 5 when pending bytes could not be written.
    int close();
    bool isOpen() const { return m_fd >= 0; }

    void setBufferSize(uint32_t bytes);
    uint32_t bufferSize() const { return m_size; }
    void setQuickScan(bool on) { m_quickScan = on; }
    bool quickScan() const { return m_quickScan; }

    // The bytes at offset: *avail of them are file bytes (at most len); when *avail < len the file
    // ends there and data[*avail] is 26. Returns null with *err set when the read failed or len
    // exceeds the buffer size.
    const char* window(int64_t offset, uint32_t len, uint32_t* avail, int* err) {
        if (const char* p = cached(offset, len)) {
            *err = 0;
            *avail = len;
            return p;
        }
        return fill(offset, len, avail, err);
    }

    // The common case of a sequential reader, served from memory without a call: with quick scan on,
    // the len bytes at offset when the buffer holds them all (what window would give); else null.
    const char* cached(int64_t offset, uint32_t len) const {
        if (m_quickScan && offset >= m_start && offset + len <= m_start + m_valid && len <= m_size &&
            m_out.empty())
            return m_buf.data() + (offset - m_start);
        return nullptr;
    }

    // Queues bytes for writing at offset; 0 or 5.
    int write(int64_t offset, const char* data, size_t len);
    int writeOut();  // 0 or 5
    int sync();      // writeOut + fsync; 0 or 5
    int truncate(int64_t size);  // 0 or 5

    // Size of the file on disk plus what is queued beyond it; -1 on failure.
    int64_t size();

    // Byte-0 lock for lock/unlock and shared writes: 0, or 33 when another program holds it.
    int lockByte0();
    void unlockByte0();

private:
    const char* fill(int64_t offset, uint32_t len, uint32_t* avail, int* err);

    int m_fd = -1;
    bool m_readable = false;
    bool m_writable = false;
    uint32_t m_size = 512;
    bool m_quickScan = false;
    std::vector<char> m_buf;  // read buffer + room for the Ctrl-Z mark
    int64_t m_start = 0;
    uint32_t m_valid = 0;
    bool m_reachesEnd = false;  // the last fill stopped at the end of the file
    std::vector<char> m_out;
    int64_t m_outStart = 0;
};

}  // namespace sitedex::text

#pragma once
// Constants and byte helpers of the VLX record-file format, and the Status every engine call
// returns. The layout itself is written down in docs/record-file-format.md; the invariants cited
// in the code as "(I<n>)" are numbered there.
//
// Callers: the record engine (drivers/record) and the tools that inspect files (cli check/dump).

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace sitedex::record {

// ---- file header (I1) -------------------------------------------------------------------------
constexpr uint32_t kHeaderSize = 512;
constexpr uint32_t kHdrHome = 0;          // u32, always 0
constexpr uint32_t kHdrLength = 4;        // u16, always 512
constexpr uint32_t kHdrLogStart = 6;      // u32
constexpr uint32_t kHdrLogEnd = 10;       // u32
constexpr uint32_t kHdrMagic = 14;        // "vElX"
constexpr uint32_t kHdrVersion = 18;      // u16
constexpr uint32_t kHdrAllocEnd = 20;     // u32, end of the allocated space
constexpr uint32_t kHdrCounter = 24;      // i32, change counter
constexpr uint32_t kHdrRoot = 28;         // u32, root page of the entry tree, 0 = empty
constexpr uint32_t kHdrFreeMap = 32;      // u32, home of the free-space map page
constexpr uint32_t kHdrNextTable = 36;    // u32, next table number to hand out
constexpr uint32_t kHdrPrepStart = 40;    // u32, log of a prepared group commit, 0 = none (I16)
constexpr uint32_t kHdrPrepEnd = 44;      // u32
constexpr uint32_t kHdrPrepTx = 48;       // u64, the group's transaction id
constexpr uint32_t kHdrPrepTcfLen = 56;   // u16, length of the transaction control file's path
constexpr uint32_t kHdrPrepTcf = 58;      // the path, up to kMaxTcfPath bytes
constexpr uint32_t kMaxTcfPath = 450;
constexpr uint32_t kHdrChecksum = 508;    // u32, CRC-32 of bytes 0..507
constexpr char kMagic[4] = {'v', 'E', 'l', 'X'};
constexpr uint16_t kFormatVersion = 1;

// ---- pages (I2) --------------------------------------------------------------------------------
constexpr uint32_t kUnit = 256;
constexpr uint32_t kMaxPage = 15104;         // largest page, rounded to units
constexpr uint32_t kMaxEntry = 15094;        // key part + data part must stay below this
constexpr uint32_t kTreeHeader = 13;
// Unpacked size new tree pages are built for. A commit codes every page it changed whole, and an
// add changes a leaf of every key: smaller pages make single adds cheaper (a tenth at a million
// records against 12288), larger ones waste less of their last 256-byte unit (the file 3 % larger).
constexpr uint32_t kNodeCapacity = 8192;
constexpr uint32_t kFreeMapHome = 512;       // fixed home of the free-space map
constexpr uint32_t kFreeMapUnits = 16;       // 4096 bytes reserved for it
constexpr uint32_t kFreeMapHeader = 8;       // home u32, length u16, count u16

// ---- entries (I5) ------------------------------------------------------------------------------
constexpr uint8_t kSelData = 243;
constexpr uint8_t kSelKeysStale = 248; // per-table mark: the keys are out of step with the records
constexpr uint8_t kSelInfo = 249;      // per-table counters
constexpr uint8_t kSelDefinition = 250;
constexpr uint8_t kSelMemo = 252;
constexpr uint8_t kSelNamed = 254;     // named items: 254 + name, no table prefix
constexpr uint8_t kMaxKeys = 240;      // key numbers 1..240 stay below the data selector

// ---- locks (I8) --------------------------------------------------------------------------------
constexpr uint64_t kLockBase = 0x80000000ull;  // 2^31
constexpr uint32_t kReaderSlots = 1024;
inline uint64_t recordLockOffset(uint32_t recno) { return kLockBase + 1024 + uint64_t(recno) + 1; }

inline uint32_t roundUnits(uint32_t bytes) { return (bytes + kUnit - 1) / kUnit; }

// ---- byte helpers ------------------------------------------------------------------------------
inline uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline uint32_t get32be(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline void put32be(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void append32be(std::string& s, uint32_t v) {
    uint8_t b[4];
    put32be(b, v);
    s.append(reinterpret_cast<char*>(b), 4);
}
inline void append32(std::string& s, uint32_t v) {
    uint8_t b[4];
    put32(b, v);
    s.append(reinterpret_cast<char*>(b), 4);
}
inline void append16(std::string& s, uint16_t v) {
    s.push_back(char(v & 0xFF));
    s.push_back(char(v >> 8));
}
inline const uint8_t* bytes(std::string_view s) { return reinterpret_cast<const uint8_t*>(s.data()); }

uint32_t crc32(const uint8_t* data, size_t n);

// A failed system call in words a user acts on ("the disk is full", "the file system is read-only").
std::string systemErrorText(int err);

// ---- status ------------------------------------------------------------------------------------
// Error codes are those of the access layer, so the driver passes them through unchanged.
enum Code : int {
    kOk = 0,
    kNotFound = 2,           // "File Not Found"
    kAccessDenied = 5,
    kLocked = 32,            // "File Is Already Locked"
    kNoRecord = 33,          // "Record Not Available"
    kRecordNotFound = 35,
    kInvalidDataFile = 36,   // not a record file
    kDuplicate = 40,
    kHeld = 43,
    kRebuildKeys = 46,       // "Key File Must Be Rebuilt": the table's keys are marked out of step
    kBadDeclaration = 47,
    kBadFieldType = 75,
    kUnsupportedType = 79,
    kChanged = 89,
    kDamaged = 1000,         // broken page or tree: see Status::check / offset
    kSystem = 1001,          // an operating-system call failed: see Status::sysErrno
};

struct Status {
    int code = kOk;
    int check = 0;            // for kDamaged: the number of the consistency check that failed
    uint64_t offset = 0;      // for kDamaged: the file offset of the damaged page
    int sysErrno = 0;         // for kSystem
    std::string detail;

    bool ok() const { return code == kOk; }
    explicit operator bool() const { return ok(); }
    static Status error(int code, std::string detail = {}) { return Status{code, 0, 0, 0, std::move(detail)}; }
    static Status damaged(int check, uint64_t offset, std::string detail = {}) {
        return Status{kDamaged, check, offset, 0, std::move(detail)};
    }
    static Status system(int err, std::string detail = {}) { return Status{kSystem, 0, 0, err, std::move(detail)}; }
    // One line for tools and logs.
    std::string toString() const;
};

#define VLX_TRY(expr)                    \
    do {                                 \
        ::sitedex::record::Status s_ = (expr); \
        if (!s_.ok()) return s_;         \
    } while (0)

}  // namespace sitedex::record

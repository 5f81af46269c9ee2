#pragma once
// File, field, memo and key declarations: the static description of a data file that doubles as its
// control block at run time.
//
// A FileDecl is built once (the application's files live in data/dictionary.h) and never moves: the
// access layer, the drivers, the views and the expressions keep pointers to it. What changes at run
// time lives in a FileSlot: the record buffer, the memo buffers, the driver instance and the key
// run-time flags. A file with the per-thread attribute (kAttrPerThread) has one slot per procedure
// thread, made on first use with the record cleared by its layout; any other file has one slot shared
// by every thread. slot(), record(), memo() and instance() always hand out the current thread's slot.
//
// Record bytes follow the declared layout exactly, back to back, no padding:
//   BYTE     1 byte, unsigned.
//   LONG     4 bytes, signed, little-endian.
//   DECIMAL(d,p)  d/2+1 bytes of packed decimal, most significant byte first. The high nibble of the
//            first byte is the sign: 0 for zero and positive values, 0xF for negative ones (any non-zero
//            sign nibble reads as negative). The remaining 2*size-1 nibbles hold the absolute value's
//            digits in BCD, right-aligned, leading nibbles 0; p of the digits follow the decimal point.
//            Zero is always stored with sign 0, so every value has one encoding. A key component of this
//            type orders by unsigned byte comparison once negative values are inverted and the first
//            byte's top bit is flipped (the record driver's key encoding).
//   STRING(n) n bytes of UTF-8 text padded with blanks, no terminator.
//   CSTRING(n), PSTRING(n), GROUP as their names say (no file of the application uses the first two).
//
// Callers: every layer. Declarations are not thread-safe; procedure threads never run at the same time.

#include "runtime/thread_state.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::data {

class DriverInstance;
class FileDecl;
struct DriverDescriptor;

namespace detail {
// The driver registry's change count (data/driver_registry.h); written only by the registry.
extern uint64_t g_driverRegistryGeneration;
}

// Field type codes, as stored in the record driver's field table.
enum FieldType : uint8_t {
    kTypeByte = 1,
    kTypeShort = 2,
    kTypeUShort = 3,
    kTypeLong = 6,
    kTypeULong = 7,
    kTypeSReal = 8,
    kTypeReal = 9,
    kTypeDecimal = 10,
    kTypePDecimal = 11,
    kTypeString = 18,
    kTypeCString = 19,
    kTypePString = 20,
    kTypeCode21 = 21,
    kTypeGroup = 22,
    kTypeCode24 = 24,
    kTypeCode27 = 27,
};

// File attribute bits.
enum FileAttribute : uint32_t {
    kAttrBit2 = 2,
    kAttrCreate = 4,      // the program may create the file (else create fails with 54)
    kAttrBit8 = 8,
    kAttrPerThread = 16,  // record buffer and file state per thread
    kAttrOemConvert = 32, // convert record text between the OEM and the ANSI set
};

// Key attribute bits.
enum KeyAttribute : uint8_t {
    kKeyDuplicates = 1,
    kKeyExcludeBlank = 2,
    kKeyNoCase = 4,
    kKeyFlag16 = 16,  // left out when the record driver compares declared and stored key attributes
    kKeyIndex = 64,   // a declared index: must be built in this run before use (KeyReady)
};

enum MemoFlag : uint16_t {
    kMemoBinary = 1,
};

struct FieldDecl {
    std::string_view name;  // PREFIX:NAME in upper case; may be empty for an unnamed field
    FieldType type;
    uint32_t offset;  // from the start of the record
    uint32_t size;    // bytes; a GROUP spans its members
    uint8_t digits = 0;  // DECIMAL only
    uint8_t places = 0;  // DECIMAL only
    uint16_t elements = 1;  // > 1 for an array
    uint8_t level = 0;      // 0 = directly in the record; members of a GROUP at level n are at n + 1
};

struct MemoDecl {
    std::string_view name;  // PREFIX:NAME in upper case
    uint32_t maxSize;       // bytes
    uint16_t flags = 0;     // MemoFlag
};

struct KeyDecl {
    std::string_view name;  // PREFIX:K_NAME in upper case
    uint8_t attributes = 0; // KeyAttribute bits
    // Field positions in the record layout, 1 = first field; negative = descending component.
    std::vector<int> components;
    FileDecl* file = nullptr;  // filled by FileDecl's constructor
    int number = 0;            // 1-based number of the key within its file, filled by FileDecl
};

// The disk name of a file: a fixed text, or a string variable read at run time (declared length).
struct FileName {
    std::string_view fixed;
    std::string* variable = nullptr;
    uint32_t variableLength = 0;
};

// Run-time state of a file for one thread (or for all threads of a file without kAttrPerThread).
struct FileSlot {
    std::vector<char> record;                  // recordSize bytes
    std::vector<std::string> memos;            // one text per memo declaration
    std::unique_ptr<DriverInstance> instance;  // empty until the first operation
    std::vector<uint32_t> keyFlags;            // per key; KeyReady lives here
    FileSlot();
    ~FileSlot();
    FileSlot(FileSlot&&) noexcept;
    FileSlot& operator=(FileSlot&&) noexcept;
};

struct FileSpec {
    std::string_view driver;  // registered driver name: "VELOX" or "ASCII"
    std::string_view label;   // e.g. "SITEDX"
    std::string_view prefix;  // e.g. "URL"
    FileName name;
    std::string_view owner;
    std::string_view options;  // driver options text ("/OPTION=VALUE" requests for the text driver)
    uint32_t attributes = 0;
    uint32_t recordSize = 0;
    std::vector<FieldDecl> fields;
    std::vector<KeyDecl> keys;
    std::vector<MemoDecl> memos;
};

class FileDecl {
public:
    explicit FileDecl(FileSpec layout);
    ~FileDecl();
    FileDecl(const FileDecl&) = delete;
    FileDecl& operator=(const FileDecl&) = delete;

    std::string_view driverName() const { return m_spec.driver; }
    std::string_view label() const { return m_spec.label; }
    std::string_view prefix() const { return m_spec.prefix; }
    std::string_view owner() const { return m_spec.owner; }
    std::string_view options() const { return m_spec.options; }
    uint32_t attributes() const { return m_spec.attributes; }
    bool perThread() const { return m_spec.attributes & kAttrPerThread; }
    uint32_t recordSize() const { return m_spec.recordSize; }
    const std::vector<FieldDecl>& fields() const { return m_spec.fields; }
    const std::vector<MemoDecl>& memos() const { return m_spec.memos; }
    std::vector<KeyDecl>& keys() { return m_spec.keys; }
    const std::vector<KeyDecl>& keys() const { return m_spec.keys; }
    const FileName& declaredName() const { return m_spec.name; }

    // The disk name as the declaration holds it now: the fixed text, or the variable's value cut to
    // its declared length with trailing blanks removed.
    std::string name() const;

    // Field and key lookup by name, case-insensitive, with or without the "PREFIX:" part.
    const FieldDecl* findField(std::string_view name) const;
    int findMemo(std::string_view name) const;  // index, or -1
    KeyDecl* findKey(std::string_view name);

    // The current thread's run-time state (made and cleared on first use).
    FileSlot& slot() {
        size_t i = perThread() ? size_t(runtime::currentThread()) : 0;
        FileSlot* p = m_slots[i].get();
        return p ? *p : slotOf(int(i));
    }
    FileSlot& slotOf(int threadNumber);
    bool hasSlot(int threadNumber) const;
    void dropSlot(int threadNumber);  // thread end: forget that thread's state

    char* record() { return slot().record.data(); }
    std::string& memo(size_t index) { return slot().memos.at(index); }
    DriverInstance* instance() { return slot().instance.get(); }

    // Clears a record image by the layout: STRING and GROUP bytes to blanks, everything else to 0.
    void clearRecord(char* buffer) const;
    // Clears the current record buffer and the memos.
    void clear();
    // True when clearing the record by its layout sets every byte to a blank (text layouts).
    bool clearsToBlanks() const { return m_clearsToBlanks; }

    // The driver found by driverName(), looked up once per change of the driver registry. Inline: every
    // operation asks.
    const DriverDescriptor* driver() {
        if (m_driver && m_driverGeneration == detail::g_driverRegistryGeneration) [[likely]]
            return m_driver;
        return lookUpDriver();
    }

    // Every declaration made so far, in order of construction.
    static const std::vector<FileDecl*>& all();

private:
    const DriverDescriptor* lookUpDriver();

    FileSpec m_spec;
    std::vector<std::unique_ptr<FileSlot>> m_slots;  // 0 = shared slot, n = thread n
    bool m_clearsToBlanks = false;
    const DriverDescriptor* m_driver = nullptr;
    uint64_t m_driverGeneration = 0;
    void initSlot(FileSlot& s) const;
};

// A field or memo found by its full name in any declaration.
struct FieldRef {
    FileDecl* file = nullptr;
    const FieldDecl* field = nullptr;  // set for a record field
    int memo = -1;                     // set for a memo
    explicit operator bool() const { return file != nullptr; }
    // The field's bytes in the current thread's record buffer.
    char* data() const { return file->record() + field->offset; }
};

// Finds "PREFIX:NAME" (case-insensitive) among every declaration; empty when unknown.
FieldRef findField(std::string_view fullName);

// Case-insensitive (ASCII letters only) equality of names.
bool sameName(std::string_view a, std::string_view b);

}  // namespace sitedex::data

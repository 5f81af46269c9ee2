#pragma once
// A table's shape as the record engine sees it (fields, memos, keys), the encoding of key values
// so that a plain unsigned byte comparison gives the declared order (I10), and the stored table
// definition written at create and compared at open (I11).
//
// The access-layer driver converts the program's file declarations into a Schema; the tools take
// the Schema parsed from the file itself. Everything here is pure computation.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/record/format.h"

namespace sitedex::record {

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
    kTypeDate = 21,
    kTypeGroup = 22,
    kTypeTime = 24,
    kTypeBFloat = 27,
};

// Key attribute bits.
constexpr uint8_t kKeyDuplicates = 1;
constexpr uint8_t kKeyExcludeBlank = 2;
constexpr uint8_t kKeyNoCase = 4;
constexpr uint8_t kKeyIgnoredOnCompare = 16;
// Memo flag bits.
constexpr uint16_t kMemoBinary = 1;

struct Field {
    uint8_t type = kTypeString;
    uint16_t offset = 0;
    uint16_t size = 0;        // bytes of one element
    std::string name;
    uint16_t elements = 1;
    uint8_t digits = 0, places = 0;  // DECIMAL
    std::string picture;
};

struct Memo {
    std::string externalName;
    std::string name;
    uint16_t maxSize = 0;
    uint16_t flags = 0;
    bool binary() const { return flags & kMemoBinary; }
};

struct KeyPart {
    uint16_t field = 0;  // index into Schema::fields
    bool descending = false;
};

struct Key {
    std::string externalName;
    std::string name;
    uint8_t attributes = 0;
    std::vector<KeyPart> parts;
    bool duplicates() const { return attributes & kKeyDuplicates; }
};

struct Schema {
    uint32_t recordSize = 0;
    std::vector<Field> fields;
    std::vector<Memo> memos;
    std::vector<Key> keys;
    bool oem = false;  // OEM conversion is the identity on this platform

    // Length of a key's encoded value (sum of its component sizes).
    size_t keyValueLength(size_t key) const;
};

// Checks what the engine can store: 47 for a malformed declaration, 75 for a key over an array,
// 79 for a field type the driver does not accept.
Status validateSchema(const Schema& s);

// The stored definition stream (I11) and its parser.
std::string definitionStream(const Schema& s);
Status parseDefinition(std::string_view stream, Schema& out);
// Equal for the purpose of open: key attribute bit 16 and memo flags other than binary are ignored.
bool sameDefinition(const Schema& a, const Schema& b);

// The encoded value of key `key` for the record image (I10), and whether the key leaves it out.
std::string encodeKeyValue(const Schema& s, size_t key, const uint8_t* record);
bool isBlankKeyValue(const Schema& s, size_t key, const uint8_t* record);

}  // namespace sitedex::record

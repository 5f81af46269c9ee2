#pragma once
// The interface between the access layer (data/access.h) and the drivers that store files.
//
// A driver is one descriptor (name, banner, entry, instance factory, supported operations and field
// types, registry capabilities, optionally a short entry for next) registered in
// data/driver_registry.h. The access layer calls a driver in exactly two ways (the short entry for next,
// when the driver has one, stands in for entry on that operation):
//
//   newInstance(file) -> (instance, error). Called when an operation reaches a file whose slot holds no
//     instance. The driver returns its own instance type derived from DriverInstance (the common part
//     is filled in by the access layer afterwards: name, owner, options, flags, record buffer, size,
//     declaration). On failure it returns null and an error code in *error; that error becomes the
//     operation's error and the entry is not called.
//
//   entry(op, file, args) -> 0 or an error code. Called after the precondition check has passed; the
//     instance is args.instance (the same as file.instance(), the current thread's). The driver never touches the error state,
//     the state bits or the open-file registry: the access layer applies the precondition table around
//     the call. Per operation class the driver receives and returns:
//       - plain file operations (add, put, delete, next, previous, set, open, close, create, empty,
//         flush, lock, unlock, stream, release, watch, no-memo, logout, commit, rollback, build, pack,
//         hold): args.number[0] holds the numeric argument when the operation has one (the mode for
//         open/share; the pointer for get/set/put-to-pointer; the seconds for hold/lock with wait;
//         the count for skip); args.number[1] holds the second (the length of the "with length"
//         forms). Result: 0 or an error code.
//         Create's args.number[0] is kCreateIfMissing when an existing file and table are to be kept
//         as they are (a driver that cannot tell may create anew).
//       - key operations (get by key, set by key forms, build key/index, record count of key, duplicate
//         test of key, position/reset/re-get by key): args.key is the key declaration and
//         args.keyNumber its number within the file; args.key2 the second key of codes 45 and 46.
//       - text arguments (copy and rename: new name; send: the request; reset and re-get: the position;
//         build index: components; set property: the value): args.text[0] is the first text argument,
//         args.text[1] the second (build index with filter: the filter; set property: none).
//       - number results (record count, pointer, byte count, duplicate and at-start/at-end tests as
//         0/1): stored in args.numberResult; the return value stays 0 or an error code.
//       - text results (name query, send, position forms): stored in args.textResult.
//     An operation the driver does not handle returns kErrUnsupported (80).
//
// Callers: the access layer only; drivers include this header to implement it.

#include "data/declarations.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::data {

// Operation codes.
enum Op : int {
    kOpAdd = 1,
    kOpAtStart = 2,
    kOpBuild = 3,
    kOpAppend = 4,
    kOpBuildIndex = 5,
    kOpBuildKey = 6,
    kOpClose = 7,
    kOpCommit = 8,
    kOpCopy = 9,
    kOpCreate = 10,
    kOpDelete = 11,
    kOpDuplicate = 12,
    kOpEmpty = 13,
    kOpAtEnd = 14,
    kOpGetByKey = 15,
    kOpGetByPointer = 16,
    kOpGetKeyForm17 = 17,
    kOpHold = 18,
    kOpHoldWait = 19,
    kOpLock = 20,
    kOpLockWait = 21,
    kOpLogout = 22,
    kOpName = 23,
    kOpNext = 24,
    kOpOpen = 25,
    kOpPack = 26,
    kOpPointer = 27,
    kOpPointerForm28 = 28,
    kOpFlush = 29,
    kOpPut = 30,
    kOpPrevious = 31,
    kOpRecords = 32,
    kOpRecordsOfKey = 33,
    kOpBuildIndexFilter = 34,
    kOpRelease = 36,
    kOpRemove = 37,
    kOpRename = 38,
    kOpRollback = 40,
    kOpSet = 41,
    kOpSetForm42 = 42,
    kOpSetToPointer = 43,
    kOpSetByKey = 44,
    kOpSetByKeyValue = 45,
    kOpSetByKeyValuePointer = 46,
    kOpSetForm47 = 47,
    kOpShare = 48,
    kOpSkip = 49,
    kOpUnlock = 50,
    kOpAddLength = 51,
    kOpBytes = 52,
    kOpGetByPointerLength = 53,
    kOpPutToPointer = 54,
    kOpPutToPointerLength = 55,
    kOpStream = 56,
    kOpDuplicateOfKey = 57,
    kOpWatch = 58,
    kOpAppendLength = 59,
    kOpSend = 60,
    kOpPosition = 61,
    kOpPositionOfKey = 62,
    kOpReset = 63,
    kOpResetByKey = 64,
    kOpNoMemo = 65,
    kOpReget = 66,
    kOpRegetByKey = 67,
    kOpSetProperty = 71,
    kOpNoOperation = 74,
    kOpLastRow = 323,
};

// args.number[0] of create: keep a file and table that exist already.
constexpr int64_t kCreateIfMissing = 1;

// Instance state bits.
enum StateBit : uint32_t {
    kStateOpen = 1,
    kStateHasRecord = 2,
    kStateInTransaction = 4,
    kStateStreaming = 8,
    kStateLocked = 16,
    kStatePositioned = 32,
    kStateCanWrite = 64,
    kStateExclusive = 128,
    kStateKeyReady = 256,  // kept in the key's run-time flags
    kStateStartPending = 512,
};

// Operation flags (column F of the precondition table).
enum OpFlag : uint32_t {
    kFlagClearError = 1,
    kFlagRelease = 2,
    kFlagSequential = 4,
};

// Access mode parts.
enum AccessMode : uint32_t {
    kAccessRead = 0,
    kAccessWrite = 1,
    kAccessReadWrite = 2,
    kShareCompat = 0,
    kShareDenyAll = 16,
    kShareDenyWrite = 32,
    kShareDenyRead = 48,
    kShareDenyNone = 64,
    kModeShared = 0x42,     // read/write, deny none: the application's data files
    kModeExclusive = 0x22,  // read/write, deny write: the default
};

// The arguments of one operation (see the opening paragraph for which member carries what).
struct CallArgs {
    DriverInstance* instance = nullptr;  // set by the access layer: file.instance(), found once
    KeyDecl* key = nullptr;
    KeyDecl* key2 = nullptr;
    int keyNumber = 0;
    int64_t number[2] = {0, 0};
    std::string text[2];
    int64_t numberResult = 0;
    std::string textResult;
};

using DriverEntry = int32_t (*)(int op, FileDecl& file, CallArgs& args);

// The common part of every driver instance; drivers derive their own instance from it.
class DriverInstance {
public:
    virtual ~DriverInstance() = default;

    std::string fileName;     // the declaration's name, resolved by the driver at the first operation
    std::string owner;
    std::string options;
    uint8_t optionFlags = 0;  // declaration attribute bits 2, 4, 8 and 32
    char* recordBuffer = nullptr;
    uint32_t recordSize = 0;
    uint32_t accessMode = 0;       // mode of the last successful open or share
    int lastSequentialOp = 0;      // code of the last set, reset, next, previous or skip
    uint32_t state = 0;            // StateBit
    uint32_t operationFlags = 0;   // OpFlag, set afresh for each operation
    int32_t lastError = 0;
    FileDecl* declaration = nullptr;
};

// What the open-file registry asks of a driver's files (fixed when the file is opened).
struct RegistryCaps {
    bool takesPartInLogout = false;
    bool canRollback = false;
    bool canCommit = false;
    bool lockBeforeLogout = false;
    bool unlockAfterTransaction = false;
};

struct DriverDescriptor {
    std::string_view name;    // registered name, at most 20 characters
    std::string_view banner;
    DriverEntry entry = nullptr;
    std::unique_ptr<DriverInstance> (*newInstance)(FileDecl& file, int32_t* error) = nullptr;
    std::vector<uint8_t> operations;  // supported operation codes
    std::vector<uint8_t> fieldTypes;  // supported field type codes
    RegistryCaps caps;
    // Optional: next (24) without the argument block, for drivers whose next needs no argument. When
    // present the access layer calls it for next instead of entry, with the same contract (the
    // instance is file.instance()); reading a file record by record is made of these calls.
    int32_t (*next)(FileDecl& file, DriverInstance& instance) = nullptr;
};

}  // namespace sitedex::data

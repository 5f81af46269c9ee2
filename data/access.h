#pragma once
// The access layer: every file statement of the program goes through here.
//
// One operation runs in this order (the same for every driver):
//   1. no operation (74) answers 0 at once;
//   2. the text arguments are in CallArgs::text (first argument first);
//   3. the current thread's slot of the file is made if it has none (record cleared by its layout);
//   4. without a driver instance the file's driver makes one; its failure is the operation's error;
//   5. a key operation passes the key's number;
//   6. the precondition table decides: refuse with an error, skip silently (no error posted, the
//      previous error state kept), or go on;
//   7. the driver runs the operation;
//   8. the state bits follow the table (set/cleared on success, cleared on failure);
//   9. the error state is cleared when the operation's flags say so, then an error is posted with the
//      file as the file in error;
//  10. the instance is released when the operation's flags say so;
//  11. at-end and at-start answer the driver's answer, true when the driver failed;
//  12. name, send and the position forms return their text.
//
// The statement functions below return the operation's result code (also readable as errorCode()
// unless the operation leaves the error state alone) or the value the operation delivers. The
// open-file registry and the transaction frame (logout, commit, rollback, close all files) live here
// too. Everything is process-wide and unguarded: procedure threads never run at the same time.
//
// Callers: every procedure, the views, the command line. Drivers never call back into this layer.

#include "data/declarations.h"
#include "data/driver.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::data {

// One row of the precondition table (state bits by StateBit, flags by OpFlag).
struct PreconditionRow {
    uint32_t flags = 0;     // F
    uint32_t required = 0;  // R
    uint32_t refused = 0;   // X
    uint32_t setOk = 0;     // S
    uint32_t clearOk = 0;   // C
    uint32_t clearFail = 0; // E
};
// The row of a code; null outside 1..323.
const PreconditionRow* preconditionRow(int op);

// The general forms: run an operation on a file, or on a key (its file found through the key).
int32_t callFile(int op, FileDecl& file, CallArgs& args);
int32_t callKey(int op, KeyDecl& key, CallArgs& args);

// File statements.
int32_t open(FileDecl& file, uint32_t mode = kModeExclusive);
int32_t share(FileDecl& file, uint32_t mode = kModeShared);
int32_t close(FileDecl& file);
int32_t create(FileDecl& file);
// Create, told to keep a file (and a table) that exists already, as when another program has just
// made it: the decision is the driver's, taken under the file's own lock. OpenDataFile creates so.
int32_t createIfMissing(FileDecl& file);
int32_t remove(FileDecl& file);
int32_t copy(FileDecl& file, std::string_view newName);
int32_t rename(FileDecl& file, std::string_view newName);
int32_t empty(FileDecl& file);
int32_t flush(FileDecl& file);
int32_t stream(FileDecl& file);
int32_t build(FileDecl& file);
int32_t build(KeyDecl& key);
int32_t buildIndex(KeyDecl& key, std::string_view components);
int32_t buildIndex(KeyDecl& key, std::string_view components, std::string_view filter);
int32_t pack(FileDecl& file);

int32_t add(FileDecl& file);
int32_t add(FileDecl& file, uint32_t length);
int32_t append(FileDecl& file);
int32_t append(FileDecl& file, uint32_t length);
int32_t put(FileDecl& file);
int32_t putToPointer(FileDecl& file, int64_t pointer);
int32_t putToPointer(FileDecl& file, int64_t pointer, uint32_t length);
int32_t deleteRecord(FileDecl& file);

int32_t set(FileDecl& file);
int32_t setToPointer(FileDecl& file, int64_t pointer);
int32_t set(KeyDecl& key);
int32_t set(KeyDecl& key, KeyDecl& keyValue);
int32_t set(KeyDecl& key, KeyDecl& keyValue, int64_t pointer);
int32_t next(FileDecl& file);
int32_t previous(FileDecl& file);
int32_t skip(FileDecl& file, int64_t count);
int32_t get(FileDecl& file, KeyDecl& key);
int32_t getByPointer(FileDecl& file, int64_t pointer);
int32_t getByPointer(FileDecl& file, int64_t pointer, uint32_t length);
int32_t reset(FileDecl& file, std::string_view position);
int32_t reset(KeyDecl& key, std::string_view position);
int32_t reget(FileDecl& file, std::string_view position);
int32_t reget(KeyDecl& key, std::string_view position);

int32_t hold(FileDecl& file);
int32_t hold(FileDecl& file, int seconds);
int32_t release(FileDecl& file);
int32_t watch(FileDecl& file);
int32_t noMemo(FileDecl& file);
int32_t lock(FileDecl& file);
int32_t lock(FileDecl& file, int seconds);
int32_t unlock(FileDecl& file);
int32_t setProperty(FileDecl& file, int property, std::string_view value);

// Statements that deliver a value. Those marked (*) leave the error state as it was on success.
bool atEnd(FileDecl& file);                // (*) true at the end, and when the driver fails
bool atStart(FileDecl& file);              // (*)
bool duplicate(FileDecl& file);
bool duplicate(KeyDecl& key);
int64_t records(FileDecl& file);           // (*)
int64_t records(KeyDecl& key);             // (*)
int64_t pointer(FileDecl& file);           // (*)
int64_t bytes(FileDecl& file);
std::string name(FileDecl& file);          // (*)
std::string send(FileDecl& file, std::string_view request);
std::string position(FileDecl& file);
std::string position(KeyDecl& key);

// The open-file registry: one entry per open file (per thread for per-thread files), in order of
// opening.
struct OpenFileEntry {
    bool inTransaction = false;
    FileDecl* file = nullptr;
    int thread = 0;  // owning thread, 0 for a file without the per-thread attribute
    RegistryCaps caps;
};
const std::vector<OpenFileEntry>& openFiles();
// A declaration going away (tests' local declarations): its entries leave the registry unclosed.
void forgetFile(FileDecl& file);

// The transaction frame. logout posts 56 when a transaction is active and 48 when a file cannot be
// taken in (rolling back the files already taken in); files never used are passed over.
int32_t logout(int seconds, std::initializer_list<FileDecl*> files);
int32_t logout(int seconds, const std::vector<FileDecl*>& files);
// commit: a file whose commit fails leaves its code in the error state (errorCode() != 0) when the
// transaction has ended, even though the unlocks after it succeed.
void commit();
void rollback();
bool transactionActive();
// Program end: commit an active transaction, then close every open file, the last opened first.
void closeAllFiles();

// The error capture of the write procedures: save the current error (data/warnings.h), then roll back
// the transaction if one is active.
void captureError();

}  // namespace sitedex::data

#pragma once
// Referential integrity: the procedures through which the update forms and the command line write
// and delete locations, categories and category HTML snippets.
//
// Every write runs in its own transaction, taken with a 2-second lock wait, and ends in a commit or
// a rollback before the procedure returns, so the files are as they were before the call unless it
// reports success. Locations and snippets belong to a category by name:
//   - WriteCategory carries a changed name (compared with the name saved by RememberCategoryName,
//     exactly, all 30 characters) to the category's snippets and then to its locations;
//   - EraseCategory deletes the category's snippets and locations together with it.
// A child belongs to the category when its category field equals the name exactly: a child whose
// category differs only in letter case is left alone, but it does not end the walk over the others
// (the category keys ignore case, so such children sit among the real ones).
//
// Results: the Write procedures give 0 written, 1 failed, 2 changed by another station since it was
// read (the record buffer then holds the other station's version, read again with watch); the Erase
// procedures give 0 deleted, 1 failed. Every failure is shown once through ShowWarning (15, 17, 34 or
// 35 with the file's label), after the error capture (data::captureError) saved the error and rolled
// the transaction back.
//
// REQUIRES: the file the procedure is named for is open on the current thread and its record buffer
// holds the record (for a put: read, with watch when conflicts must be seen; for a delete: current).
// WriteCategory and EraseCategory open CatHTML and Locations themselves through the use counts and
// release them on every exit. The cascades use this thread's CatHTML and Locations record buffers.
// The saved category name and the save area are per thread.

#include <cstdint>
#include <string>

namespace sitedex::app::maintenance {

// Results of the Write and Erase procedures.
enum WriteResult : int {
    kWriteOk = 0,
    kWriteFailed = 1,
    kWriteChanged = 2,  // changed by another station; the buffer shows that version
};

// Seconds each transaction waits for the lock of each file.
constexpr int kTransactionWait = 2;

int WriteLocation();
int WriteCategory();
int WriteCatHTML();
int EraseLocation();
int EraseCategory();
int EraseCatHTML();

// Copies CAT:CATEGORY (all 30 characters) into this thread's saved category name. The category
// forms call it when they load the record they are going to change.
void RememberCategoryName();

// This thread's saved category name (30 characters, blank padded; blank before the first call).
const std::string& savedCategoryName();

// This thread's save area: the position taken just before the last write (at most 512 bytes).
const std::string& saveArea();

// Tells the user that the record a list showed, or a form was about to write, is no longer on file:
// another window or program deleted it. The lists and forms show it instead of acting on the record,
// so that nothing is written in its place.
void ShowRecordGone();

// True for the answers of a read or write that mean the record is not on file any more.
inline bool recordGone(int32_t errorCode) { return errorCode == 33 || errorCode == 35; }

}  // namespace sitedex::app::maintenance

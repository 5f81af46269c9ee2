#pragma once
// The process-wide error state of data access, and the program's message table.
//
// Every file statement leaves its result here: an error code (0 = success), its text, the file in
// error, the system error number taken when the error was posted, and two texts for driver detail.
// There is one state for the whole process; procedure threads never run at the same time, so it needs
// no lock. A stack of saved states lets a routine keep the state across work of its own.
//
// System errors are numbered as the program's message table numbers them (2 file not found, 3 path
// not found, 5 access denied, 33 lock violation, ...); systemErrorFromErrno maps a Linux errno onto
// that numbering. Posting code 0 means "the last system call failed": the code becomes 300 + that
// system error number.
//
// Callers: the access layer posts; every layer reads.

#include <cstdint>
#include <string>
#include <string_view>

namespace sitedex::data {

class FileDecl;

// Error codes the data layer itself posts or tests.
enum ErrorCode : int32_t {
    kErrNone = 0,
    kErrFileNotFound = 2,
    kErrPathNotFound = 3,
    kErrTooManyOpenFiles = 4,
    kErrAccessDenied = 5,
    kErrInsufficientMemory = 8,
    kErrAlreadyLocked = 32,
    kErrRecordNotAvailable = 33,
    kErrLockViolation = 33,
    kErrRecordNotFound = 35,
    kErrInvalidDataFile = 36,
    kErrNotOpen = 37,
    kErrDuplicateKey = 40,
    kErrRecordHeld = 43,
    kErrInvalidFilename = 45,
    kErrRebuildKeys = 46,
    kErrInvalidDeclaration = 47,
    kErrCannotLog = 48,
    kErrAlreadyOpen = 52,
    kErrNoCreate = 54,
    kErrLogoutActive = 56,
    kErrExclusiveRequired = 63,
    kErrInvalidFieldType = 75,
    kErrUnsupportedType = 79,
    kErrUnsupported = 80,
    kErrUnknown = 81,
    kErrRecordChanged = 89,
    kErrFileSystem = 90,
    kErrSystemBase = 300,
};

// The text of a code: the message table's entry, or "Unknown Error Posted : N".
std::string errorTextFor(int32_t code);
// True when the message table has an entry of its own for the code.
bool hasMessage(int32_t code);

// The program's number for a Linux errno (e.g. ENOENT -> 2, EACCES -> 5, EAGAIN -> 33).
int systemErrorFromErrno(int err);

namespace detail {
// False only while the error state is known to be the cleared one; every change sets it. Lets the
// clear that ends every successful statement cost one test.
extern bool g_errorStateTouched;
void clearErrorStateNow();
}  // namespace detail

inline void clearErrorState() {
    if (detail::g_errorStateTouched) detail::clearErrorStateNow();
}
// Posts code (0 = a system error: 300 + systemError). systemError < 0 takes the current errno.
void postError(int32_t code, int systemError = -1);
void setFileInError(const FileDecl* file);
// Driver detail (shown for code 90): the driver's own code and text, each at most 80 characters.
void setDriverError(std::string_view codeText, std::string_view text);

int32_t errorCode();
// The error text as posted (leading blanks removed, at most 79 characters, trailing blanks of the
// message kept). errorTextPadded gives it blank-padded to 80 characters as stored.
std::string errorText();
std::string errorTextPadded();
const FileDecl* errorFile();
int systemError();
std::string driverErrorCodeText();  // trailing blanks removed
std::string driverErrorText();
int32_t driverErrorCode();  // the code text's number, 0 when blank

// Push and pop the code, system error and text. Restore with nothing saved does nothing.
void saveErrorState();
void restoreErrorState();

}  // namespace sitedex::data

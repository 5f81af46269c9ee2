#include "data/error_state.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace sitedex::data {
namespace {

TEST(ErrorState, MessageTableTexts) {
    struct Case {
        int32_t code;
        const char* text;
    } cases[] = {
        {2, "File Not Found"},
        {33, "Record Not Available"},
        {35, "Record Not Found"},
        {40, "Creates Duplicate Key"},
        {47, "Invalid Record Declaration"},
        {56, "LOGOUT Already Active"},
        {78, "Invalid Number Of Parameters "},
        {80, "Unsupported File Driver Function"},
        {89, "Record Changed By Another Station"},
        {302, "File Not Found"},
        {316, "Invalid Operation For Current Directory"},
        {339, "Handle Disk Full"},
        {350, "Not Supported "},
        {357, "Adapter/Hardware Failure"},
        {391, "Unknown Error"},
        {403, "Termination caused by signal.  (User break or Floating point)"},
        {410, "Pure Virtual Function Called"},
        {501, "Internal error 01"},
        {515, "Internal error 15"},
        {532, "Unable to open MDI window on APPLICATION's thread"},
        {544, "Too Many VBX Hooks"},
        {605, "DDE transaction timed out"},
        {802, "Mismatched PUSHSCOPE/POPSCOPE"},
        // No text of their own: the code 81 text and the number.
        {17, "Unknown Error Posted : 17"},
        {314, "Unknown Error Posted : 314"},
        {345, "Unknown Error Posted : 345"},
        {389, "Unknown Error Posted : 389"},
        {516, "Unknown Error Posted : 516"},
    };
    for (const Case& c : cases) EXPECT_EQ(errorTextFor(c.code), c.text) << c.code;
}

TEST(ErrorState, PostClearAndQueries) {
    clearErrorState();
    postError(40, 0);
    EXPECT_EQ(errorCode(), 40);
    EXPECT_EQ(errorText(), "Creates Duplicate Key");
    EXPECT_EQ(errorTextPadded().size(), 80u);
    EXPECT_EQ(errorTextPadded().substr(0, 21), "Creates Duplicate Key");
    setDriverError("  12", "driver detail");
    EXPECT_EQ(driverErrorCode(), 12);
    EXPECT_EQ(driverErrorText(), "driver detail");
    clearErrorState();
    EXPECT_EQ(errorCode(), 0);
    EXPECT_EQ(errorText(), "");
    EXPECT_EQ(errorFile(), nullptr);
    EXPECT_EQ(driverErrorText(), "");
    EXPECT_EQ(driverErrorCode(), 0);
}

// Each way of changing the error state alone leaves something for the next clear to clear.
TEST(ErrorState, ClearAfterEachKindOfChange) {
    static const int kSomeFile = 0;
    const auto* file = reinterpret_cast<const FileDecl*>(&kSomeFile);
    struct Case {
        const char* what;
        void (*change)(const FileDecl*);
    } cases[] = {
        {"post", [](const FileDecl*) { postError(35, 0); }},
        {"file in error", [](const FileDecl* f) { setFileInError(f); }},
        {"driver detail", [](const FileDecl*) { setDriverError("9", "detail"); }},
        {"restore", [](const FileDecl*) {
             postError(52, 0);
             saveErrorState();
             clearErrorState();
             restoreErrorState();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clearErrorState();
        c.change(file);
        EXPECT_TRUE(errorCode() != 0 || errorFile() != nullptr || !driverErrorText().empty());
        clearErrorState();
        EXPECT_EQ(errorCode(), 0);
        EXPECT_EQ(errorText(), "");
        EXPECT_EQ(errorFile(), nullptr);
        EXPECT_EQ(driverErrorText(), "");
        EXPECT_EQ(driverErrorCode(), 0);
    }
}

TEST(ErrorState, PostingZeroIsTheSystemError) {
    errno = ENOENT;
    postError(0);
    EXPECT_EQ(errorCode(), 302);
    EXPECT_EQ(errorText(), "File Not Found");
    EXPECT_EQ(systemError(), 2);
    postError(0, 5);
    EXPECT_EQ(errorCode(), 305);
    EXPECT_EQ(errorText(), "Access Denied");
    postError(17, 0);
    EXPECT_EQ(errorText(), "Unknown Error Posted : 17");
}

TEST(ErrorState, ErrnoMapping) {
    EXPECT_EQ(systemErrorFromErrno(ENOENT), 2);
    EXPECT_EQ(systemErrorFromErrno(ENOTDIR), 3);
    EXPECT_EQ(systemErrorFromErrno(EMFILE), 4);
    EXPECT_EQ(systemErrorFromErrno(EACCES), 5);
    EXPECT_EQ(systemErrorFromErrno(EAGAIN), 33);
    EXPECT_EQ(systemErrorFromErrno(ENOSPC), 39);
}

TEST(ErrorState, SaveAndRestoreNest) {
    clearErrorState();
    postError(35, 0);
    saveErrorState();
    postError(52, 0);
    saveErrorState();
    postError(0, 2);
    restoreErrorState();
    EXPECT_EQ(errorCode(), 52);
    EXPECT_EQ(errorText(), "File Already Open");
    restoreErrorState();
    EXPECT_EQ(errorCode(), 35);
    EXPECT_EQ(errorText(), "Record Not Found");
    restoreErrorState();  // nothing saved: unchanged
    EXPECT_EQ(errorCode(), 35);
}

}  // namespace
}  // namespace sitedex::data

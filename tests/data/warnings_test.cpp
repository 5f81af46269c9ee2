#include "data/warnings.h"

#include "data/error_state.h"
#include "runtime/hooks.h"

#include <gtest/gtest.h>

namespace sitedex::data {
namespace {

using namespace sitedex::runtime;

struct Shown {
    std::string text, caption;
    int icon = -1, buttons = -1, def = -1;
    int count = 0;
};
Shown g_shown;
int g_answer = 0;

int recordBox(std::string_view text, std::string_view caption, int icon, int buttons, int def) {
    g_shown = {std::string(text), std::string(caption), icon, buttons, def, g_shown.count + 1};
    return g_answer ? g_answer : (def ? def : kButtonOk);
}

struct Halted {
    std::string text;
};
void throwHalt(std::string_view text) { throw Halted{std::string(text)}; }

class Warnings : public ::testing::Test {
protected:
    void SetUp() override {
        m_oldBox = setMessageBoxHook(recordBox);
        m_oldHalt = setHaltHook(throwHalt);
        g_shown = {};
        g_answer = 0;
        savedError() = {};
        clearErrorState();
        postError(35, 0);  // E = "Record Not Found (35)" unless a test says otherwise
    }
    void TearDown() override {
        setMessageBoxHook(m_oldBox);
        setHaltHook(m_oldHalt);
    }
    MessageBoxHook m_oldBox = nullptr;
    HaltHook m_oldHalt = nullptr;
};

constexpr int I = kIconAsterisk;
constexpr int X = kIconExclamation;
constexpr int OK = kButtonOk;
constexpr int YES = kButtonYes;
constexpr int NO = kButtonNo;
constexpr int CAN = kButtonCancel;

struct Case {
    int number;
    const char* t1;
    const char* t2;
    const char* text;
    const char* title;
    int icon, buttons, def;
    const char* halt;  // non-null: the warning ends the program with this text
};

const Case kCases[] = {
    {1, "URL_L", "", "Error: (Record Not Found (35)) accessing URL_L.  Press OK to end this application.",
     "Invalid File", I, OK, OK, "Invalid File!"},
    {2, "URL_L", "", "URL_L key file is invalid.  Do you want to rebuild the key?", "Invalid Key", X, YES | NO, YES,
     nullptr},
    {3, "URL_L", "", "Error: (Record Not Found (35)) repairing key for URL_L.  Press OK to end this application.",
     "Key Rebuild Error", I, OK, OK, "Error Rebuilding Key!"},
    {4, "URL_C", "", "Error: (Record Not Found (35)) creating URL_C.  Press OK to end this application.",
     "File Creation Error", I, OK, OK, "File Creation Error!"},
    {5, "URL_C", "", "Error: (Record Not Found (35)) opening created file:URL_C.  Press OK to end this application.",
     "File Creation Error", I, OK, OK, "File Creation Error!"},
    {6, "BrowseX", "", "The Procedure BrowseX has not been defined.", "Procedure not defined", I, OK, OK, nullptr},
    {7, "", "", "Unable to read keyed record.  Error: Record Not Found (35).  Insert Aborted", "Insert Aborted", I,
     OK, 0, nullptr},
    {8, "Rating", "11", "The value of Rating must be lower than 11.", "Range Error", I, OK, OK, nullptr},
    {9, "Rating", "0", "The value of Rating must be higher than 0.", "Range Error", I, OK, OK, nullptr},
    {10, "Rating", "0 and 10", "The value of Rating must be between 0 and 10.", "Range Error", I, OK, OK, nullptr},
    {11, "Category", "Categories", "The value for Category must be found in the Categories file.",
     "Field Contents Error", I, OK, OK, nullptr},
    {12, "SITEDX", "",
     "This record is referenced from the file SITEDX.  Linking field(s) have been restricted from change and have "
     "been reset to original values.",
     "Referential Integrity Update Error", I, OK, OK, nullptr},
    {13, "SITEDX", "",
     "This record is referenced from the file SITEDX.  This record cannot be deleted while these references exist.",
     "Referential Integrity Delete Error", I, OK, OK, nullptr},
    {14, "", "", "An error was experienced during the update of record.  Error: Record Not Found (35).",
     "Record Insert Error", I, OK, OK, nullptr},
    {15, "SITEDX", "", "This record was changed by another station.", "Update Operation Error", I, OK, OK, nullptr},
    {16, "", "", "An error was experienced changing this record.  Do you want to try to save again?",
     "Record Update Error", I, YES | NO | CAN, CAN, nullptr},
    {17, "SITEDX", "",
     "An error (Record Not Found (35)) was experienced when attempting to delete a record from the file SITEDX.",
     "Delete Operation Error", I, OK, OK, nullptr},
    {18, "", "", "An error was experienced deleting this record.  Do you want to try to save again?",
     "Record Update Error", I, YES | NO | CAN, CAN, nullptr},
    {19, "", "",
     "This procedure was called to insert a record, however inserts are not allowed for this procedure.  Press OK "
     "to return to the calling procedure",
     "Invalid Request", I, OK, OK, nullptr},
    {20, "", "",
     "This procedure was called to change a record, however changes are not allowed for this procedure.  Press OK "
     "to return to the calling procedure",
     "Invalid Request", I, OK, OK, nullptr},
    {21, "", "",
     "This procedure was called to delete a record, however deletions are not allowed for this procedure.  Press "
     "OK to return to the calling procedure",
     "Invalid Request", I, OK, OK, nullptr},
    {22, "URL_Y", "",
     "The File URL_Ywas not found, and creation of the file is not allowed.  Press OK to end this application.",
     "File Creation Not Allowed", I, OK, OK, "File Creation Error!"},
    {23, "", "", "Are you sure you want to cancel?", "Update Cancelled", X, YES | NO, NO, nullptr},
    {24, "URL:K_LOCATION", "", "Adding this record creates a duplicate entry for the key:URL:K_LOCATION",
     "Duplicate Key Error", I, OK, OK, nullptr},
    {25, "", "", "Attempts to automatically number this record have failed.  Error: Record Not Found (35).",
     "Auto Increment Error", I, kButtonRetry | CAN, CAN, nullptr},
    {26, "whatsnew.txt", "", "whatsnew.txt File Load Error.  Error: Record Not Found (35).", "File Load Error", I, OK,
     OK, nullptr},
    {27, "whatsnew.txt", "", "Are you certain you want to stop loading whatsnew.txt?", "Cancel Request", X, OK | CAN,
     CAN, nullptr},
    {28, "Export.Txt", "", "Export.Txt File Load Error.  The file you've requested contains no text.",
     "File Load Error", I, OK, OK, nullptr},
    {29, "Down", "", "The end of the viewed file was encountered.  Do you want to start again from the beginning?",
     "End of File Error", X, YES | NO, YES, nullptr},
    {29, "down", "",
     "The beginning of the viewed file was encountered.  Do you want to start again from the end of the file?",
     "Beginning of File Error", X, YES | NO, YES, nullptr},
    {30, "URL_L.VLX", "", "File (URL_L.VLX) could not be opened.  Error: Record Not Found (35).",
     "File Access Error", I, OK, OK, nullptr},
    {31, "Put", "SITEDX",
     "An error was experienced when making changes to the SITEDX file.  Error: Record Not Found (35)",
     "Process PUT Error", I, OK, OK, nullptr},
    {31, "Delete", "SITEDX",
     "An error was experienced when deleting a record from the SITEDX file.  Error: Record Not Found (35)",
     "Process DELETE Error", I, OK, OK, nullptr},
    {32, "", "",
     "You've selected to delete the highlighted record.  Press OK to confirm deletion of this record.",
     "Confirm Delete", X, OK | CAN, CAN, nullptr},
    {33, "", "", "Do you want to save the changes to this record?", "Update Cancelled", X, YES | NO | CAN, NO, nullptr},
    {34, "Update", "SITEDX",
     "Error: (Record Not Found (35)) attempting to frame the Update transaction on SITEDX.  Update transaction "
     "cancelled.",
     "Transaction Framing Error", I, OK, OK, nullptr},
    {35, "CatHTML", "",
     "Error: (Record Not Found (35)) attempting to access a record from the CatHTML file.  Returning to previous "
     "window.",
     "Record Retrieval Error", I, OK, OK, nullptr},
    {36, "", "",
     "Error: (Record Not Found (35)) attempting to open the current VIEW. Filter and Range Limits ignored.",
     "View Open Error", I, OK, OK, nullptr},
    {37, "", "", "This record has been added to the file. Do you want to add another record?", "Record Added", X,
     YES | NO, YES, nullptr},
    {38, "", "",
     "This record was changed by another station. Those changes will now be displayed. Use the Ditto Button or "
     "Ctrl+' to recall your changes.",
     "Record Was Not Updated", I, OK, OK, nullptr},
};

TEST_F(Warnings, EveryWarningShowsItsBox) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.number);
        clearErrorState();
        postError(35, 0);
        g_shown = {};
        std::string halted;
        int result = -1;
        try {
            result = ShowWarning(c.number, c.t1, c.t2);
        } catch (const Halted& h) {
            halted = h.text;
        }
        EXPECT_EQ(g_shown.count, 1);
        EXPECT_EQ(g_shown.text, c.text);
        EXPECT_EQ(g_shown.caption, c.title);
        EXPECT_EQ(g_shown.icon, c.icon);
        EXPECT_EQ(g_shown.buttons, c.buttons);
        EXPECT_EQ(g_shown.def, c.def);
        if (c.halt) {
            EXPECT_EQ(halted, c.halt);
        } else {
            EXPECT_EQ(halted, "");
            EXPECT_EQ(result, c.def ? c.def : OK);
        }
    }
}

TEST_F(Warnings, RebuildQuestionEndsOnlyOnNo) {
    g_answer = kButtonYes;
    EXPECT_EQ(ShowWarning(2, "URL_L"), kButtonYes);
    g_answer = kButtonNo;
    try {
        ShowWarning(2, "URL_L");
        FAIL() << "No must end the program";
    } catch (const Halted& h) {
        EXPECT_EQ(h.text, "Invalid Key!");
    }
}

TEST_F(Warnings, DescriptionPrefersTheSavedErrorOnce) {
    savedError() = {40, "Creates Duplicate Key", 0, ""};
    ShowWarning(17, "SITEDX");
    EXPECT_EQ(g_shown.text,
              "An error (Creates Duplicate Key (40)) was experienced when attempting to delete a record from the file "
              "SITEDX.");
    EXPECT_EQ(savedError().code, 0);
    ShowWarning(17, "SITEDX");  // saved code used up: the current error (35) again
    EXPECT_NE(g_shown.text.find("(Record Not Found (35))"), std::string::npos);
}

TEST_F(Warnings, DescriptionOfCode90IsTheDriverDetail) {
    savedError() = {90, "whatever", 1234, "Disk quota exceeded"};
    ShowWarning(14);
    EXPECT_EQ(g_shown.text, "An error was experienced during the update of record.  Error: Disk quota exceeded (1234).");
    clearErrorState();
    postError(90, 0);
    setDriverError("7", "Driver said no");
    ShowWarning(14);
    EXPECT_EQ(g_shown.text, "An error was experienced during the update of record.  Error: Driver said no (7).");
}

TEST_F(Warnings, ConflictTextForSavedCodesZeroAnd89) {
    savedError() = {89, "Record Changed By Another Station", 0, ""};
    ShowWarning(15, "Record Changed by Another Station");
    EXPECT_EQ(g_shown.text, "This record was changed by another station.");
    EXPECT_EQ(savedError().code, 0);
    savedError() = {5, "Access Denied", 0, ""};
    ShowWarning(15, "SITEDX");
    EXPECT_EQ(g_shown.text,
              "An error (Access Denied (5)) was experienced when attempting to update a record from the file.  "
              "Probable Cause: SITEDX.");
}

TEST_F(Warnings, DescriptionIsAtMost150Characters) {
    savedError() = {81, std::string(200, 'x'), 0, ""};
    EXPECT_EQ(errorDescription().size(), 150u);
}

TEST_F(Warnings, UnknownNumberShowsNothing) {
    EXPECT_EQ(ShowWarning(0), 0);
    EXPECT_EQ(ShowWarning(39), 0);
    EXPECT_EQ(g_shown.count, 0);
}

}  // namespace
}  // namespace sitedex::data

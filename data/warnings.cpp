#include "data/warnings.h"

#include "data/error_state.h"
#include "runtime/hooks.h"

namespace sitedex::data {

namespace {

using namespace sitedex::runtime;

constexpr size_t kDescriptionMax = 150;
constexpr size_t kSavedTextMax = 255;

std::string describe(int32_t code, const std::string& text, int32_t fileCode, const std::string& fileText) {
    std::string d = code == kErrFileSystem ? fileText + " (" + std::to_string(fileCode) + ")"
                                           : text + " (" + std::to_string(code) + ")";
    if (d.size() > kDescriptionMax) d.resize(kDescriptionMax);
    return d;
}

std::string cat(std::initializer_list<std::string_view> parts) {
    std::string s;
    for (std::string_view p : parts) s += p;
    return s;
}

}  // namespace

SavedError& savedError() {
    static SavedError saved;
    return saved;
}

std::string errorDescription() {
    SavedError& saved = savedError();
    if (saved.code != 0) {
        std::string d = describe(saved.code, saved.text, saved.fileCode, saved.fileText);
        saved.code = 0;
        return d;
    }
    return describe(errorCode(), errorText(), driverErrorCode(), driverErrorText());
}

WarningBox warningBox(int number, std::string_view t1, std::string_view t2) {
    constexpr int info = kIconAsterisk;
    constexpr int excl = kIconExclamation;
    constexpr int ok = kButtonOk;
    WarningBox w;
    auto box = [&](std::string text, std::string_view title, int icon, int buttons, int def,
                   std::string_view halt = {}) {
        w.text = std::move(text);
        w.title = std::string(title);
        w.icon = icon;
        w.buttons = buttons;
        w.defaultButton = def;
        w.haltText = std::string(halt);
    };
    auto E = [] { return errorDescription(); };
    switch (number) {
    case 1:
        box(cat({"Error: (", E(), ") accessing ", t1, ".  Press OK to end this application."}), "Invalid File", info,
            ok, ok, "Invalid File!");
        break;
    case 2:
        box(cat({t1, " key file is invalid.  Do you want to rebuild the key?"}), "Invalid Key", excl,
            kButtonYes | kButtonNo, kButtonYes, "Invalid Key!");
        w.haltOnNo = true;
        break;
    case 3:
        box(cat({"Error: (", E(), ") repairing key for ", t1, ".  Press OK to end this application."}),
            "Key Rebuild Error", info, ok, ok, "Error Rebuilding Key!");
        break;
    case 4:
        box(cat({"Error: (", E(), ") creating ", t1, ".  Press OK to end this application."}), "File Creation Error",
            info, ok, ok, "File Creation Error!");
        break;
    case 5:
        box(cat({"Error: (", E(), ") opening created file:", t1, ".  Press OK to end this application."}),
            "File Creation Error", info, ok, ok, "File Creation Error!");
        break;
    case 6:
        box(cat({"The Procedure ", t1, " has not been defined."}), "Procedure not defined", info, ok, ok);
        break;
    case 7:
        box(cat({"Unable to read keyed record.  Error: ", E(), ".  Insert Aborted"}), "Insert Aborted", info, ok, 0);
        break;
    case 8:
        box(cat({"The value of ", t1, " must be lower than ", t2, "."}), "Range Error", info, ok, ok);
        break;
    case 9:
        box(cat({"The value of ", t1, " must be higher than ", t2, "."}), "Range Error", info, ok, ok);
        break;
    case 10:
        box(cat({"The value of ", t1, " must be between ", t2, "."}), "Range Error", info, ok, ok);
        break;
    case 11:
        box(cat({"The value for ", t1, " must be found in the ", t2, " file."}), "Field Contents Error", info, ok,
            ok);
        break;
    case 12:
        box(cat({"This record is referenced from the file ", t1,
                 ".  Linking field(s) have been restricted from change and have been reset to original values."}),
            "Referential Integrity Update Error", info, ok, ok);
        break;
    case 13:
        box(cat({"This record is referenced from the file ", t1,
                 ".  This record cannot be deleted while these references exist."}),
            "Referential Integrity Delete Error", info, ok, ok);
        break;
    case 14:
        box(cat({"An error was experienced during the update of record.  Error: ", E(), "."}), "Record Insert Error",
            info, ok, ok);
        break;
    case 15: {
        SavedError& saved = savedError();
        if (saved.code == 0 || saved.code == kErrRecordChanged) {
            saved.code = 0;
            box("This record was changed by another station.", "Update Operation Error", info, ok, ok);
        } else {
            box(cat({"An error (", E(), ") was experienced when attempting to update a record from the file.  "
                                        "Probable Cause: ",
                     t1, "."}),
                "Update Operation Error", info, ok, ok);
        }
        break;
    }
    case 16:
        box("An error was experienced changing this record.  Do you want to try to save again?", "Record Update Error",
            info, kButtonYes | kButtonNo | kButtonCancel, kButtonCancel);
        break;
    case 17:
        box(cat({"An error (", E(), ") was experienced when attempting to delete a record from the file ", t1, "."}),
            "Delete Operation Error", info, ok, ok);
        break;
    case 18:
        box("An error was experienced deleting this record.  Do you want to try to save again?", "Record Update Error",
            info, kButtonYes | kButtonNo | kButtonCancel, kButtonCancel);
        break;
    case 19:
        box("This procedure was called to insert a record, however inserts are not allowed for this procedure.  "
            "Press OK to return to the calling procedure",
            "Invalid Request", info, ok, ok);
        break;
    case 20:
        box("This procedure was called to change a record, however changes are not allowed for this procedure.  "
            "Press OK to return to the calling procedure",
            "Invalid Request", info, ok, ok);
        break;
    case 21:
        box("This procedure was called to delete a record, however deletions are not allowed for this procedure.  "
            "Press OK to return to the calling procedure",
            "Invalid Request", info, ok, ok);
        break;
    case 22:
        box(cat({"The File ", t1,
                 "was not found, and creation of the file is not allowed.  Press OK to end this application."}),
            "File Creation Not Allowed", info, ok, ok, "File Creation Error!");
        break;
    case 23:
        box("Are you sure you want to cancel?", "Update Cancelled", excl, kButtonYes | kButtonNo, kButtonNo);
        break;
    case 24:
        box(cat({"Adding this record creates a duplicate entry for the key:", t1}), "Duplicate Key Error", info, ok,
            ok);
        break;
    case 25:
        box(cat({"Attempts to automatically number this record have failed.  Error: ", E(), "."}),
            "Auto Increment Error", info, kButtonRetry | kButtonCancel, kButtonCancel);
        break;
    case 26:
        box(cat({t1, " File Load Error.  Error: ", E(), "."}), "File Load Error", info, ok, ok);
        break;
    case 27:
        box(cat({"Are you certain you want to stop loading ", t1, "?"}), "Cancel Request", excl,
            kButtonOk | kButtonCancel, kButtonCancel);
        break;
    case 28:
        box(cat({t1, " File Load Error.  The file you've requested contains no text."}), "File Load Error", info, ok,
            ok);
        break;
    case 29:
        if (t1 == "Down")
            box("The end of the viewed file was encountered.  Do you want to start again from the beginning?",
                "End of File Error", excl, kButtonYes | kButtonNo, kButtonYes);
        else
            box("The beginning of the viewed file was encountered.  Do you want to start again from the end of the "
                "file?",
                "Beginning of File Error", excl, kButtonYes | kButtonNo, kButtonYes);
        break;
    case 30:
        box(cat({"File (", t1, ") could not be opened.  Error: ", E(), "."}), "File Access Error", info, ok, ok);
        break;
    case 31:
        if (t1 == "Put")
            box(cat({"An error was experienced when making changes to the ", t2, " file.  Error: ", E()}),
                "Process PUT Error", info, ok, ok);
        else
            box(cat({"An error was experienced when deleting a record from the ", t2, " file.  Error: ", E()}),
                "Process DELETE Error", info, ok, ok);
        break;
    case 32:
        box("You've selected to delete the highlighted record.  Press OK to confirm deletion of this record.",
            "Confirm Delete", excl, kButtonOk | kButtonCancel, kButtonCancel);
        break;
    case 33:
        box("Do you want to save the changes to this record?", "Update Cancelled", excl,
            kButtonYes | kButtonNo | kButtonCancel, kButtonNo);
        break;
    case 34:
        box(cat({"Error: (", E(), ") attempting to frame the ", t1, " transaction on ", t2, ".  ", t1,
                 " transaction cancelled."}),
            "Transaction Framing Error", info, ok, ok);
        break;
    case 35:
        box(cat({"Error: (", E(), ") attempting to access a record from the ", t1,
                 " file.  Returning to previous window."}),
            "Record Retrieval Error", info, ok, ok);
        break;
    case 36:
        box(cat({"Error: (", E(), ") attempting to open the current VIEW. Filter and Range Limits ignored."}),
            "View Open Error", info, ok, ok);
        break;
    case 37:
        box("This record has been added to the file. Do you want to add another record?", "Record Added", excl,
            kButtonYes | kButtonNo, kButtonYes);
        break;
    case 38:
        box("This record was changed by another station. Those changes will now be displayed. Use the Ditto Button "
            "or Ctrl+' to recall your changes.",
            "Record Was Not Updated", info, ok, ok);
        break;
    default:
        break;
    }
    return w;
}

int ShowWarning(int number, std::string_view insert1, std::string_view insert2) {
    if (number < 1 || number > 38) return 0;
    WarningBox w = warningBox(number, insert1, insert2);
    int pressed = messageBox(w.text, w.title, w.icon, w.buttons, w.defaultButton);
    if (!w.haltText.empty() && (!w.haltOnNo || pressed == kButtonNo)) haltProgram(w.haltText);
    return pressed;
}

void saveCurrentError() {
    SavedError& saved = savedError();
    saved.code = errorCode();
    saved.text = errorText().substr(0, kSavedTextMax);
    saved.fileCode = driverErrorCode();
    saved.fileText = driverErrorText().substr(0, kSavedTextMax);
}

}  // namespace sitedex::data

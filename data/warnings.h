#pragma once
// The numbered standard warnings (1 to 38) and the saved error they describe.
//
// ShowWarning shows warning n through runtime::messageBox with its text, title, icon, buttons and
// default button, and returns the button pressed (runtime::Button codes: OK 1, Yes 2, No 4, Retry 16,
// Cancel 64). Warnings 1, 3, 4, 5 and 22, and warning 2 answered "No", end the program through
// runtime::haltProgram with their closing text; they do not return. An unknown number shows nothing
// and returns 0.
//
// The error description (E in the texts) comes from the saved error when its code is set, else from
// the current error state: "<text> (<code>)", or the driver's text and code when the code is 90;
// at most 150 characters. Building it clears the saved error code.
//
// Callers: any procedure (the window layer installs the real message box).

#include <cstdint>
#include <string>
#include <string_view>

namespace sitedex::data {

// The saved error filled by captureError and read once by the warnings.
struct SavedError {
    int32_t code = 0;
    std::string text;  // at most 255 characters
    int32_t fileCode = 0;
    std::string fileText;  // at most 255 characters
};
SavedError& savedError();

// Copies the current error code and text and the driver's code and text into the saved error (the
// first half of the error capture; data/access.h's captureError also rolls back).
void saveCurrentError();

// The error description as described above (clears the saved code when it was used).
std::string errorDescription();

int ShowWarning(int number, std::string_view insert1 = {}, std::string_view insert2 = {});

// What ShowWarning shows for a warning, without showing it (for tests and the command line).
struct WarningBox {
    std::string text;
    std::string title;
    int icon = 0;
    int buttons = 0;
    int defaultButton = 0;
    std::string haltText;      // set for warnings that end the program
    bool haltOnNo = false;     // warning 2: only "No" ends the program
};
// REQUIRES: 1 <= number <= 38. E is built (and the saved code cleared) only when the text uses it.
WarningBox warningBox(int number, std::string_view insert1, std::string_view insert2);

}  // namespace sitedex::data

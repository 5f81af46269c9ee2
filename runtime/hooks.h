#pragma once
// The few calls that low layers make upward into the window layer: the message box and the fatal
// "Runtime error" box. The window layer installs real implementations at start-up; the command line
// installs ones that write to standard error; tests install responders of their own.
//
// haltProgram ends the program on purpose with a closing text (a standard warning that ends the
// program, "Disk Error"): the installed hook shows the text; if it returns, or without a hook (the
// text then goes to standard error), the process ends with exit code 1. Tests install a hook that
// throws, to observe the halt without ending the test program.
//
// Without an installed hook, messageBox writes the caption and text to standard error and answers
// with the default button (or the first button of the set), and fatalRuntimeError writes its text
// and ends the process with exit code 2.

#include <string>
#include <string_view>

namespace sitedex::runtime {

// Message box buttons: a bit set; a box returns the value of the button pressed.
enum Button : int {
    kButtonOk = 1,
    kButtonYes = 2,
    kButtonNo = 4,
    kButtonAbort = 8,
    kButtonRetry = 16,
    kButtonIgnore = 32,
    kButtonCancel = 64,
    kButtonHelp = 128,
};

// Message box icons, by code.
enum Icon : int {
    kIconNone = 0,
    kIconHand = 0x10,
    kIconQuestion = 0x20,
    kIconExclamation = 0x30,
    kIconAsterisk = 0x40,
    kIconApplication = 0xF0,
};

using MessageBoxHook = int (*)(std::string_view text, std::string_view caption, int icon, int buttons,
                               int defaultButton);
using FatalHook = void (*)(std::string_view text);

using HaltHook = void (*)(std::string_view text);
// Lets window messages that are waiting through, without blocking (between the tries of a lock with
// a wait). The window layer installs it; without one nothing happens.
using PendingMessagesHook = void (*)();

// Installs the hooks; nullptr restores the standard-error fallback. Returns the previous hook.
MessageBoxHook setMessageBoxHook(MessageBoxHook hook);
FatalHook setFatalHook(FatalHook hook);
HaltHook setHaltHook(HaltHook hook);
PendingMessagesHook setPendingMessagesHook(PendingMessagesHook hook);
void letPendingMessagesThrough();

// Shows a modal box on the current thread's window and returns the button pressed.
int messageBox(std::string_view text, std::string_view caption = {}, int icon = kIconNone, int buttons = kButtonOk,
               int defaultButton = 0);

// Shows the "Runtime error" box with the text and ends the program with exit code 2.
[[noreturn]] void fatalRuntimeError(std::string_view text);

// Ends the program with the text (see above).
[[noreturn]] void haltProgram(std::string_view text);

}  // namespace sitedex::runtime

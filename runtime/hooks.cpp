#include "runtime/hooks.h"

#include <cstdio>
#include <cstdlib>

namespace sitedex::runtime {

namespace {
MessageBoxHook g_messageBox = nullptr;
FatalHook g_fatal = nullptr;
HaltHook g_halt = nullptr;
PendingMessagesHook g_pending = nullptr;

int firstButton(int buttons) {
    for (int b = 1; b <= kButtonHelp; b <<= 1)
        if (buttons & b) return b;
    return kButtonOk;
}
}  // namespace

MessageBoxHook setMessageBoxHook(MessageBoxHook hook) {
    MessageBoxHook old = g_messageBox;
    g_messageBox = hook;
    return old;
}

FatalHook setFatalHook(FatalHook hook) {
    FatalHook old = g_fatal;
    g_fatal = hook;
    return old;
}

HaltHook setHaltHook(HaltHook hook) {
    HaltHook old = g_halt;
    g_halt = hook;
    return old;
}

PendingMessagesHook setPendingMessagesHook(PendingMessagesHook hook) {
    PendingMessagesHook old = g_pending;
    g_pending = hook;
    return old;
}

void letPendingMessagesThrough() {
    if (g_pending) g_pending();
}

int messageBox(std::string_view text, std::string_view caption, int icon, int buttons, int defaultButton) {
    if (buttons == 0) buttons = kButtonOk;
    if (g_messageBox) return g_messageBox(text, caption, icon, buttons, defaultButton);
    std::fprintf(stderr, "%.*s%s%.*s\n", int(caption.size()), caption.data(), caption.empty() ? "" : ": ",
                 int(text.size()), text.data());
    return (defaultButton & buttons) ? defaultButton : firstButton(buttons);
}

void fatalRuntimeError(std::string_view text) {
    if (g_fatal) g_fatal(text);
    std::fprintf(stderr, "Runtime error: %.*s\n", int(text.size()), text.data());
    std::fflush(stderr);
    std::_Exit(2);
}

void haltProgram(std::string_view text) {
    if (g_halt) {
        g_halt(text);
    } else {
        std::fprintf(stderr, "%.*s\n", int(text.size()), text.data());
    }
    std::fflush(stderr);
    std::exit(1);
}

}  // namespace sitedex::runtime

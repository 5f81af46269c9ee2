// Built into the program and the test programs only when they are built with the address sanitizer
// (SITEDEX_SANITIZE): what the leak checker should not report. Fontconfig and D-Bus (which the X11
// platform of the toolkit brings in) keep a little memory for the life of the process on purpose;
// it is not ours to free and would otherwise fail every run that draws text or opens the display.
// The list of suppressions used is not printed, so that a command's standard error stays its own.

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n"
           "leak:libdbus-1\n";
}

extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

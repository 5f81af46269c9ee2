// Built into the program and the test programs only when they are built with the address sanitizer
// (SITEDEX_SANITIZE): the leak checker's list of what it should not report. Fontconfig keeps a few
// hundred bytes of its configuration for the life of the process on purpose; they are not ours to
// free and would otherwise fail every run that draws text for a report.

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

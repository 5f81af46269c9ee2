#include "cli/cli.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace sitedex::cli {

namespace {
const char kUsage[] =
    "Usage: sitedex [--help]\n"
    "\n"
    "Sitedex keeps a database of web locations (bookmarks) in categories.\n"
    "Started without a command it opens its window; that needs a graphical display.\n"
    "\n"
    "Options:\n"
    "  --help        show this text and exit\n";

bool haveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return true;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}
}  // namespace

int run(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (argc > 1) {
        std::fprintf(stderr, "sitedex: unknown command or option '%s' (see sitedex --help)\n", argv[1]);
        return 2;
    }
    if (!haveDisplay()) {
        std::fputs("sitedex: no graphical display is available (DISPLAY is not set); start Sitedex from a desktop session.\n",
                   stderr);
        return 1;
    }
    std::fputs("sitedex: the desktop program is not built yet.\n", stderr);
    return 1;
}

}  // namespace sitedex::cli

// The sitedex program file: the headless commands, and the way to the window library.
//
// The program file links nothing of Qt, so a headless command starts in a few milliseconds. The
// window library (sitedex-window.so) holds the whole program with its windows and is loaded only
// when the window opens, or for a command that needs Qt's GUI libraries (see cli/cli.h). It lies
// beside the program file in the build folder, and in SITEDEX_WINDOW_LIBRARY_DIR (relative to the
// program's folder) once installed.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "cli/cli.h"

namespace {

constexpr const char* kWindowLibrary = "sitedex-window.so";
constexpr const char* kEntry = "sitedexWindowLibraryMain";

std::string programFolder() {
    std::string path(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || size_t(n) >= path.size())
        return ".";
    path.resize(size_t(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

int runWindowLibrary(int argc, char** argv) {
    std::string folder = programFolder();
    std::string path;
    for (std::string candidate :
         {folder + "/" + kWindowLibrary, folder + "/" SITEDEX_WINDOW_LIBRARY_DIR "/" + kWindowLibrary}) {
        if (::access(candidate.c_str(), R_OK) == 0) {
            path = candidate;
            break;
        }
    }
    if (path.empty()) {
        std::fprintf(stderr, "sitedex: the window library %s is missing beside %s/sitedex or in %s/%s\n",
                     kWindowLibrary, folder.c_str(), folder.c_str(), SITEDEX_WINDOW_LIBRARY_DIR);
        return 1;
    }
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto* entry = library ? reinterpret_cast<int (*)(int, char**)>(::dlsym(library, kEntry)) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "sitedex: cannot load the window library: %s\n", ::dlerror());
        return 1;
    }
    return entry(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    return sitedex::cli::run(argc, argv, runWindowLibrary);
}

#include "cli/progress.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>

namespace sitedex::cli {

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    interrupted = true;
    // The next Ctrl+C ends the process as usual.
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace

bool runToEnd(runtime::Job& job, std::string_view label) {
    interrupted = false;
    struct sigaction action {}, old {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &old);

    const bool show = isatty(STDERR_FILENO) == 1;
    using Clock = std::chrono::steady_clock;
    auto nextShow = Clock::now();
    int shown = -1;
    bool cancelled = false;
    while (runtime::runFor(job, std::chrono::milliseconds(50))) {
        if (interrupted && !cancelled) {
            cancelled = true;
            job.cancel();
        }
        if (show && Clock::now() >= nextShow && job.percent() != shown) {
            shown = job.percent();
            std::fprintf(stderr, "\r%.*s %3d%%", int(label.size()), label.data(), shown);
            std::fflush(stderr);
            nextShow = Clock::now() + std::chrono::milliseconds(200);
        }
    }
    if (show && shown >= 0) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
    sigaction(SIGINT, &old, nullptr);
    return !cancelled;
}

}  // namespace sitedex::cli

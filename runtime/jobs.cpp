#include "runtime/jobs.h"

namespace sitedex::runtime {

bool runFor(Job& job, std::chrono::steady_clock::duration budget) {
    const auto until = std::chrono::steady_clock::now() + budget;
    do {
        if (!job.step()) return false;
    } while (std::chrono::steady_clock::now() < until);
    return true;
}

}  // namespace sitedex::runtime

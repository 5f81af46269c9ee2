#include "runtime/thread_state.h"

#include <vector>

namespace sitedex::runtime {

namespace detail {
int g_currentThread = 1;
}

namespace {

std::vector<ThreadEndHook>& endHooks() {
    static std::vector<ThreadEndHook> hooks;
    return hooks;
}
}  // namespace

void setCurrentThread(int threadNumber) {
    assert(threadNumber >= 1 && threadNumber <= kThreadSlots);
    detail::g_currentThread = threadNumber;
}

void addThreadEndHook(ThreadEndHook hook) {
    for (ThreadEndHook h : endHooks())
        if (h == hook) return;
    endHooks().push_back(hook);
}

void runThreadEndHooks(int threadNumber) {
    for (ThreadEndHook h : endHooks()) h(threadNumber);
}

}  // namespace sitedex::runtime

#include "runtime/thread_state.h"

#include <vector>

namespace sitedex::runtime {

namespace {
int g_current = 1;

std::vector<ThreadEndHook>& endHooks() {
    static std::vector<ThreadEndHook> hooks;
    return hooks;
}
}  // namespace

int currentThread() { return g_current; }

void setCurrentThread(int threadNumber) {
    assert(threadNumber >= 1 && threadNumber <= kThreadSlots);
    g_current = threadNumber;
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

#include "runtime/thread_table.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "runtime/thread_state.h"

namespace sitedex::runtime {

namespace {
std::array<ThreadSlot, kThreadSlots>& slots() {
    static std::array<ThreadSlot, kThreadSlots> s;
    return s;
}
}  // namespace

std::size_t adjustedStackRequest(std::size_t requested) {
    return (requested != 0 && requested < kMinimumStackRequest) ? kMinimumStackRequest : requested;
}

std::size_t fiberStackSize(std::size_t requested) {
    return std::max(adjustedStackRequest(requested), kFiberStackSize);
}

int claimThreadSlot(std::string procedure, std::size_t requestedStack) {
    for (int slot = 1; slot < kThreadSlots; ++slot) {
        ThreadSlot& s = slots()[size_t(slot)];
        if (s.inUse) continue;
        s.inUse = true;
        s.procedure = std::move(procedure);
        s.requestedStack = adjustedStackRequest(requestedStack);
        s.stackSize = fiberStackSize(requestedStack);
        return slot + 1;
    }
    return 0;
}

bool claimFirstThreadSlot(std::string procedure) {
    ThreadSlot& s = slots()[0];
    if (s.inUse) return false;
    s.inUse = true;
    s.procedure = std::move(procedure);
    s.requestedStack = 0;
    s.stackSize = kFiberStackSize;
    return true;
}

void releaseThreadSlot(int thread) {
    assert(thread >= 1 && thread <= kThreadSlots);
    slots()[size_t(thread - 1)] = ThreadSlot{};
}

const ThreadSlot& threadSlot(int thread) {
    assert(thread >= 1 && thread <= kThreadSlots);
    return slots()[size_t(thread - 1)];
}

bool threadInUse(int thread) { return thread >= 1 && thread <= kThreadSlots && threadSlot(thread).inUse; }

int threadsInUse() {
    return int(std::count_if(slots().begin(), slots().end(), [](const ThreadSlot& s) { return s.inUse; }));
}

}  // namespace sitedex::runtime

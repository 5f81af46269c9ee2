#include "runtime/thread_state.h"

#include <gtest/gtest.h>

namespace sitedex::runtime {
namespace {

int g_endedThread = 0;
void noteEnd(int thread) { g_endedThread = thread; }

TEST(PerThread, EachThreadSeesItsOwnValueAndEndHooksRun) {
    PerThread<int> counts;
    counts.current() = 7;
    setCurrentThread(5);
    EXPECT_EQ(counts.current(), 0);
    counts.current() = 3;
    setCurrentThread(1);
    EXPECT_EQ(counts.current(), 7);
    EXPECT_EQ(counts.of(5), 3);

    addThreadEndHook(noteEnd);
    addThreadEndHook(noteEnd);  // added once only
    runThreadEndHooks(5);
    EXPECT_EQ(g_endedThread, 5);
    counts.reset(5);
    EXPECT_EQ(counts.of(5), 0);
}

}  // namespace
}  // namespace sitedex::runtime

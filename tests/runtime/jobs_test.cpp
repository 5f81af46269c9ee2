#include "runtime/jobs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace sitedex::runtime {
namespace {

// A job of `total` steps, each taking `each`.
class CountingJob : public Job {
public:
    CountingJob(int total, std::chrono::microseconds each) : m_total(total), m_each(each) {}
    bool step() override {
        if (m_cancelled) return false;
        std::this_thread::sleep_for(m_each);
        return ++m_done < m_total;
    }
    int percent() const override { return m_done * 100 / m_total; }
    void cancel() override { m_cancelled = true; }
    int done() const { return m_done; }

private:
    int m_total;
    std::chrono::microseconds m_each;
    int m_done = 0;
    bool m_cancelled = false;
};

TEST(Jobs, RunForWorksForItsBudgetNotACountOfSteps) {
    // Quick steps: one call of 20 ms does many of them, and tells that more remain.
    CountingJob quick(1000000, std::chrono::microseconds(0));
    EXPECT_TRUE(runFor(quick, std::chrono::milliseconds(20)));
    EXPECT_GT(quick.done(), 100);

    // Slow steps: a budget of zero still does one.
    CountingJob slow(3, std::chrono::microseconds(2000));
    EXPECT_TRUE(runFor(slow, std::chrono::milliseconds(0)));
    EXPECT_EQ(slow.done(), 1);

    // The job's end is reported within the budget, and cancel ends it at the next step.
    CountingJob shortJob(5, std::chrono::microseconds(0));
    EXPECT_FALSE(runFor(shortJob, std::chrono::seconds(5)));
    EXPECT_EQ(shortJob.done(), 5);
    CountingJob cancelled(1000000, std::chrono::microseconds(0));
    cancelled.cancel();
    EXPECT_FALSE(runFor(cancelled));
    EXPECT_EQ(cancelled.done(), 0);
}

}  // namespace
}  // namespace sitedex::runtime

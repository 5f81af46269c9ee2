#pragma once
// A long job with no window: an export, an import, a merge, an upgrade, a report being generated, a
// text file being loaded. The job does its work in small steps; whoever drives it decides how long
// to keep stepping before it looks at its own events again.
//
//   - A progress window calls runFor() from its timer event: the job works for about kJobBudget,
//     then the window shows the job's percent and takes its next event, so Cancel answers at once
//     and a large job is paced by its own work, not by the timer.
//   - The command line calls runFor() in a loop until it returns false (cli/progress.h).
//
// A job keeps its own result (counts, the error that stopped it); runFor() only says whether more
// work remains. After cancel() the next step does whatever must still be done to leave a complete
// result (an export writes its closing lines) and then reports the end.
//
// Callers: the procedure or command that owns the job, on one thread.

#include <chrono>

namespace sitedex::runtime {

class Job {
public:
    virtual ~Job() = default;

    // Does one small piece of the work (a record, a line, a few kilobytes): short enough that the
    // budget is overrun by little. Returns true while work remains; false once the job has ended,
    // whether finished, cancelled or stopped by an error.
    virtual bool step() = 0;

    // How far the job has come, 0 to 100.
    virtual int percent() const = 0;

    // Asks the job to end at its next step.
    virtual void cancel() = 0;
};

// The time one event of a progress window spends working.
inline constexpr std::chrono::milliseconds kJobBudget{15};

// Steps the job until it ends or the budget is spent (at least one step). Returns true while work
// remains.
bool runFor(Job& job, std::chrono::steady_clock::duration budget = kJobBudget);

}  // namespace sitedex::runtime

#include "ui/scheduler.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <array>
#include <boost/context/fiber.hpp>
#include <boost/context/protected_fixedsize_stack.hpp>
#include <cassert>
#include <exception>
#include <new>

#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/thread_state.h"
#include "runtime/thread_table.h"
#include "ui/window_private.h"

namespace sitedex::ui {

namespace ctx = boost::context;

namespace {

struct FiberSlot {
    ctx::fiber fiber;  // the suspended fiber, while it is not running
    ctx::fiber back;   // the event loop's stack, while the fiber runs
    bool running = false;
    bool wakePending = false;
};

std::array<FiberSlot, runtime::kThreadSlots> g_fibers;
int g_onProcessor = 0;  // the thread whose fiber runs now; 0 = the event loop's own stack
std::function<void()> g_frameEnded;

FiberSlot& fiberOf(int thread) { return g_fibers[size_t(thread - 1)]; }

void resume(int thread);

void scheduleResume(int thread, int delayMilliseconds) {
    auto* app = QCoreApplication::instance();
    assert(app && "procedure threads need the toolkit's application object");
    if (delayMilliseconds > 0)
        QTimer::singleShot(delayMilliseconds, app, [thread] { wake(thread); });
    else
        QMetaObject::invokeMethod(app, [thread] { resume(thread); }, Qt::QueuedConnection);
}

void finish(int thread) {
    runtime::releaseThreadSlot(thread);
    if (thread == 1 && g_frameEnded) g_frameEnded();
}

// Runs the thread's fiber until it waits again or ends. Only from the event loop's own stack.
void resume(int thread) {
    FiberSlot& f = fiberOf(thread);
    f.wakePending = false;
    if (!f.running) return;
    if (g_onProcessor != 0) {
        // A toolkit call inside some fiber is handling events (a nested loop we did not start): that
        // fiber must keep the processor until it waits, so try again shortly.
        f.wakePending = true;
        QTimer::singleShot(1, QCoreApplication::instance(), [thread] { resume(thread); });
        return;
    }
    int before = runtime::currentThread();
    g_onProcessor = thread;
    runtime::setCurrentThread(thread);
    f.fiber = std::move(f.fiber).resume();
    g_onProcessor = 0;
    runtime::setCurrentThread(before);
    if (!f.fiber) {
        f.running = false;
        finish(thread);
    }
}

// The first and last frames of every procedure thread.
ctx::fiber runThread(int thread, const std::function<void()>& procedure, ctx::fiber&& back) {
    fiberOf(thread).back = std::move(back);
    try {
        procedure();
    } catch (const ctx::detail::forced_unwind&) {
        throw;  // a fiber being torn down must unwind to its base
    } catch (const std::exception& e) {
        runtime::fatalRuntimeError(std::string("Unexpected error in a procedure: ") + e.what());
    } catch (...) {
        runtime::fatalRuntimeError("Unexpected error in a procedure.");
    }
    runtime::runThreadEndHooks(thread);
    closeWindowsOfThread(thread);
    runtime::clearCurrentEvent();
    return std::move(fiberOf(thread).back);
}

bool startOn(int thread, std::function<void()> procedure) {
    FiberSlot& f = fiberOf(thread);
    try {
        ctx::protected_fixedsize_stack stack(runtime::threadSlot(thread).stackSize);
        f.fiber = ctx::fiber(std::allocator_arg, stack,
                             [thread, proc = std::move(procedure)](ctx::fiber&& back) mutable {
                                 return runThread(thread, proc, std::move(back));
                             });
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::system_error&) {
        return false;
    }
    f.running = true;
    wake(thread);
    return true;
}

}  // namespace

int startProcedure(std::function<void()> procedure, std::size_t requestedStack, std::string name) {
    int thread = runtime::claimThreadSlot(std::move(name), requestedStack);
    if (thread == 0) return 0;
    if (!startOn(thread, std::move(procedure))) {
        runtime::releaseThreadSlot(thread);
        return 0;
    }
    return thread;
}

bool startFrameProcedure(std::function<void()> procedure, std::string name) {
    if (!runtime::claimFirstThreadSlot(std::move(name))) return false;
    if (!startOn(1, std::move(procedure))) {
        runtime::releaseThreadSlot(1);
        return false;
    }
    return true;
}

bool inProcedureThread() { return g_onProcessor != 0; }

bool threadRunning(int thread) {
    return thread >= 1 && thread <= runtime::kThreadSlots && fiberOf(thread).running;
}

int runningThreads() {
    int n = 0;
    for (const FiberSlot& f : g_fibers) n += f.running ? 1 : 0;
    return n;
}

void waitUntil(const std::function<bool()>& ready, int pollMilliseconds) {
    if (g_onProcessor == 0) {
        // The event loop's own stack: handle events here until the condition holds.
        QTimer poll;
        if (pollMilliseconds > 0) poll.start(pollMilliseconds);
        while (!ready()) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        return;
    }
    const int thread = g_onProcessor;
    FiberSlot& f = fiberOf(thread);
    while (!ready()) {
        if (pollMilliseconds > 0) scheduleResume(thread, pollMilliseconds);
        f.back = std::move(f.back).resume();  // back to the event loop until woken
        // Resumed: the scheduler has made this thread current again.
    }
}

void wake(int thread) {
    if (thread < 1 || thread > runtime::kThreadSlots) return;
    FiberSlot& f = fiberOf(thread);
    if (!f.running || f.wakePending) return;
    f.wakePending = true;
    scheduleResume(thread, 0);
}

void setFrameThreadEndedHandler(std::function<void()> handler) { g_frameEnded = std::move(handler); }

}  // namespace sitedex::ui

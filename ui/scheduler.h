#pragma once
// Procedure threads on fibers. Every procedure started on a thread of its own runs on a stackful
// fiber on the toolkit's one OS thread; the toolkit's event loop runs on the process's own stack.
//
// Guarantees: one fiber runs at a time, and a fiber gives up the processor only inside a wait
// (waitUntil: the wait for event, a message box, a system dialog). So the program's "run lock" is
// implicit, and per-thread state needs no locking. A woken fiber is resumed from the event loop by a
// queued call, never from inside another fiber. On every switch the runtime's current thread number
// follows (runtime::setCurrentThread); when a procedure returns, the thread-end hooks run with its
// thread still current, its windows close, and its slot is freed. Stacks are guarded (an overflow
// faults on a protection page instead of overwriting memory) and at least runtime::kFiberStackSize.
//
// Callers: the window layer and the shell. A procedure calls waitUntil only through the window
// layer's waits; tests use ui/testing.h.

#include <cstddef>
#include <functional>
#include <string>

namespace sitedex::ui {

// Starts the procedure on a new thread (2..65) and returns its number at once, or 0 when no slot is
// free or no stack could be had. `name` is recorded in the thread table.
int startProcedure(std::function<void()> procedure, std::size_t requestedStack = 0, std::string name = {});

// Runs the procedure as thread 1, the frame's thread (the desktop's Main; tests of Main). Returns
// false when thread 1 is already running a procedure.
bool startFrameProcedure(std::function<void()> procedure, std::string name = "Main");

// Whether the code now running is a procedure's fiber (false on the event loop's own stack).
bool inProcedureThread();

// Whether the thread (1..65) is running a procedure.
bool threadRunning(int thread);

// Number of procedure threads running (thread 1 included when Main runs on it).
int runningThreads();

// Waits until `ready` holds. In a fiber: gives up the processor and is resumed by wake() (or every
// pollMilliseconds when that is not 0). On the event loop's own stack (tests, the command line):
// handles the toolkit's events until `ready` holds.
void waitUntil(const std::function<bool()>& ready, int pollMilliseconds = 0);

// Asks for the thread to be resumed soon so it can look at its wait condition again. Harmless for a
// thread that is not waiting or not running.
void wake(int thread);

// Called once the procedure of thread 1 has returned (the desktop ends the program then).
void setFrameThreadEndedHandler(std::function<void()> handler);

}  // namespace sitedex::ui

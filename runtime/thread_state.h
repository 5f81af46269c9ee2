#pragma once
// Per-thread state of the program's procedure threads.
//
// Every procedure runs on a numbered thread: 1 is the frame's thread (and the only one the command
// line and most tests ever see), 2..65 are procedures started from it. Only one thread runs at a
// time, so "the current thread" is a plain process-wide number that the scheduler changes when it
// switches. Layers keep per-thread values (record buffers, use counts, request and response codes)
// in a PerThread<T>, which always hands out the current thread's copy.
//
// Callers: any layer. Only the scheduler calls setCurrentThread and runThreadEndHooks.

#include <array>
#include <cassert>

namespace sitedex::runtime {

constexpr int kThreadSlots = 65;  // slot 0 = thread 1, slot 64 = thread 65

namespace detail {
extern int g_currentThread;  // read through currentThread(); written only by setCurrentThread
}

// The number (1..65) of the thread whose code runs now. Inline: every record buffer access asks.
inline int currentThread() { return detail::g_currentThread; }

// REQUIRES: 1 <= threadNumber <= kThreadSlots. Scheduler only.
void setCurrentThread(int threadNumber);

// Hooks run when a thread ends and its slot is freed, so that each layer can drop what it kept for
// that thread. Hooks run in the order they were added, with the ending thread still current.
using ThreadEndHook = void (*)(int threadNumber);
void addThreadEndHook(ThreadEndHook hook);
void runThreadEndHooks(int threadNumber);

template <class T>
class PerThread {
public:
    T& current() { return m_slots[currentThread() - 1]; }
    T& of(int threadNumber) {
        assert(threadNumber >= 1 && threadNumber <= kThreadSlots);
        return m_slots[threadNumber - 1];
    }
    void reset(int threadNumber) { of(threadNumber) = T{}; }

private:
    std::array<T, kThreadSlots> m_slots{};
};

}  // namespace sitedex::runtime

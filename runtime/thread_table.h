#pragma once
// The table of procedure threads: 65 slots, slot 0 for the program's first thread (thread 1, the
// main frame), slots 1..64 for procedures started on threads of their own (threads 2..65).
//
// This is the bookkeeping only (which slots are taken, by which procedure, with which stack); the
// window layer's scheduler runs the threads. A requested stack size that is not zero and below
// kMinimumStackRequest is raised to it; the real stack the scheduler gives a thread is at least
// kFiberStackSize, because a procedure's stack also carries the toolkit's calls.
//
// Callers: the scheduler claims and releases slots; anyone may read them.

#include <cstddef>
#include <string>

namespace sitedex::runtime {

inline constexpr std::size_t kMinimumStackRequest = 20000;
inline constexpr std::size_t kFiberStackSize = 1024 * 1024;

struct ThreadSlot {
    bool inUse = false;
    std::string procedure;           // the name it was started under, for messages and tests
    std::size_t requestedStack = 0;  // after the minimum was applied; 0 = the default
    std::size_t stackSize = 0;       // the size of the stack it really runs on
};

// The request after the minimum rule: 0 stays 0 (the default), 1..19999 becomes 20000.
std::size_t adjustedStackRequest(std::size_t requested);

// The real stack size for a request.
std::size_t fiberStackSize(std::size_t requested);

// Takes the first free slot of 1..64 and returns its thread number (2..65), or 0 when all are busy.
int claimThreadSlot(std::string procedure, std::size_t requestedStack);

// Takes slot 0 for the first thread. Returns false when it is already taken.
bool claimFirstThreadSlot(std::string procedure);

// REQUIRES: 1 <= thread <= 65.
void releaseThreadSlot(int thread);
const ThreadSlot& threadSlot(int thread);
bool threadInUse(int thread);

// Number of slots taken, the first thread's included.
int threadsInUse();

}  // namespace sitedex::runtime

#pragma once
// The request and response codes that a procedure hands to the update or select procedure it calls,
// and the per-thread variables that carry them.
//
// The caller sets CallRequest() right before the call; the called procedure reads it at entry and
// resets both CallRequest() and CallResponse() to 0, and sets CallResponse() before it returns. A
// procedure that returns without having set a response answers kResponseCancelled (the callee's
// own local response starts there). Each procedure thread has its own pair, so a browse on one
// thread never sees the request of another thread's form.
//
// Callers: window procedures (browses, forms, select lists), on their own thread.

#include <cstdint>

namespace sitedex::runtime {

inline constexpr int32_t kRequestInsert = 1;
inline constexpr int32_t kRequestChange = 2;
inline constexpr int32_t kRequestDelete = 3;
inline constexpr int32_t kRequestSelect = 4;

inline constexpr int32_t kResponseCompleted = 1;
inline constexpr int32_t kResponseCancelled = 2;

// The running thread's request and response variables.
int32_t& CallRequest();
int32_t& CallResponse();

// Entry of a called procedure: takes the request and resets both variables to 0.
int32_t takeCallRequest();

}  // namespace sitedex::runtime

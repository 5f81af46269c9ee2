#include "runtime/requests.h"

#include "runtime/thread_state.h"

namespace sitedex::runtime {

namespace {
struct RequestPair {
    int32_t request = 0;
    int32_t response = 0;
};
PerThread<RequestPair>& pairs() {
    static PerThread<RequestPair> p;
    // A slot taken again by a new procedure thread must not find the last one's codes.
    static const bool hooked = (addThreadEndHook([](int thread) { pairs().reset(thread); }), true);
    (void)hooked;
    return p;
}
}  // namespace

int32_t& CallRequest() { return pairs().current().request; }
int32_t& CallResponse() { return pairs().current().response; }

int32_t takeCallRequest() {
    int32_t r = CallRequest();
    CallRequest() = 0;
    CallResponse() = 0;
    return r;
}

}  // namespace sitedex::runtime

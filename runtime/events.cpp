#include "runtime/events.h"

#include "runtime/thread_state.h"

namespace sitedex::runtime {

namespace {
struct EventState {
    int event = 0;
    int control = 0;
    int keyCode = 0;
    int keyChar = 0;
};

PerThread<EventState>& states() {
    static PerThread<EventState> s;
    return s;
}
}  // namespace

int currentEvent() { return states().current().event; }
int eventControl() { return states().current().control; }
int acceptedControl() {
    const EventState& s = states().current();
    return s.event == kEventAccepted ? s.control : 0;
}
int keyCode() { return states().current().keyCode; }
void setKeyCode(int code) { states().current().keyCode = code; }
int keyChar() { return states().current().keyChar; }

void setCurrentEvent(int event, int control, int code, int character) {
    EventState& s = states().current();
    s.event = event;
    s.control = control;
    // An event without a key keeps the last one; a typed character with no key code of its own (a
    // letter of another script) is a key as well.
    if (code != 0 || character != 0) {
        s.keyCode = code;
        s.keyChar = character;
    }
}

void clearCurrentEvent() {
    EventState& s = states().current();
    s.event = 0;
    s.control = 0;
}

}  // namespace sitedex::runtime

#pragma once
// Event codes, key codes and the current event of each procedure thread.
//
// An event is a small integer: field events (raised by a control) lie below 0x100, window events
// from 0x200 up; a procedure may also post private codes of its own (the splash's 1105). Key codes
// are 11 bits: the low eight name the key, higher bits add Shift, Ctrl and Alt; mouse actions have
// small codes of their own. The window layer makes an event current when a procedure's wait for
// event returns it; these accessors then tell the procedure what happened. The values are kept per
// thread, so each procedure sees its own.
//
// Callers: any layer reads; only the window layer sets (setCurrentEvent, clearCurrentEvent).

namespace sitedex::runtime {

// Field events.
inline constexpr int kEventAccepted = 0x01;
inline constexpr int kEventNewSelection = 0x02;
inline constexpr int kEventScrollUp = 0x03;
inline constexpr int kEventScrollDown = 0x04;
inline constexpr int kEventPageUp = 0x05;
inline constexpr int kEventPageDown = 0x06;
inline constexpr int kEventScrollTop = 0x07;
inline constexpr int kEventScrollBottom = 0x08;
inline constexpr int kEventLocate = 0x09;
inline constexpr int kEventMouseUp = 0x0A;
inline constexpr int kEventMouseIn = 0x0B;
inline constexpr int kEventMouseOut = 0x0C;
inline constexpr int kEventMouseMove = 0x0D;
inline constexpr int kEventVBXevent = 0x0E;
inline constexpr int kEventAlertKey = 0x0F;
inline constexpr int kEventPreAlert = 0x10;
inline constexpr int kEventDragging = 0x11;
inline constexpr int kEventDrag = 0x12;
inline constexpr int kEventDrop = 0x13;
inline constexpr int kEventScrollDrag = 0x14;
inline constexpr int kEventTabChanging = 0x15;
inline constexpr int kEventExpanding = 0x16;
inline constexpr int kEventContracting = 0x17;
inline constexpr int kEventExpanded = 0x18;
inline constexpr int kEventContracted = 0x19;
inline constexpr int kEventRejected = 0x1A;
inline constexpr int kEventDroppingDown = 0x1B;
inline constexpr int kEventDroppedDown = 0x1C;
// Selection.
inline constexpr int kEventSelected = 0x101;
// Window events.
inline constexpr int kEventCloseWindow = 0x201;
inline constexpr int kEventCloseDown = 0x202;
inline constexpr int kEventOpenWindow = 0x203;
inline constexpr int kEventOpenFailed = 0x204;
inline constexpr int kEventLoseFocus = 0x205;
inline constexpr int kEventGainFocus = 0x206;
inline constexpr int kEventSuspend = 0x208;
inline constexpr int kEventResume = 0x209;
inline constexpr int kEventNotify = 0x20A;
inline constexpr int kEventTimer = 0x20B;
inline constexpr int kEventDDErequest = 0x20C;
inline constexpr int kEventDDEadvise = 0x20D;
inline constexpr int kEventDDEdata = 0x20E;
inline constexpr int kEventDDEexecute = 0x20F;
inline constexpr int kEventDDEpoke = 0x210;
inline constexpr int kEventDDEclosed = 0x211;
// Size and position.
inline constexpr int kEventMove = 0x220;
inline constexpr int kEventSize = 0x221;
inline constexpr int kEventRestore = 0x222;
inline constexpr int kEventMaximize = 0x223;
inline constexpr int kEventIconize = 0x224;
inline constexpr int kEventCompleted = 0x225;
inline constexpr int kEventMoved = 0x230;
inline constexpr int kEventSized = 0x231;
inline constexpr int kEventRestored = 0x232;
inline constexpr int kEventMaximized = 0x233;
inline constexpr int kEventIconized = 0x234;

// The platform message a posted event travels as: the event code plus this.
inline constexpr int kEventMessageBase = 0x1400;

// Key codes: the key in the low eight bits, modifiers above.
inline constexpr int kShiftKey = 0x100;
inline constexpr int kCtrlKey = 0x200;
inline constexpr int kAltKey = 0x400;
inline constexpr int kMouseLeft = 1;
inline constexpr int kMouseRight = 2;
inline constexpr int kMouseCenter = 3;
inline constexpr int kMouseLeft2 = 5;  // double click
inline constexpr int kMouseRight2 = 6;
inline constexpr int kBackspaceKey = 0x08;
inline constexpr int kTabKey = 0x09;
inline constexpr int kEnterKey = 0x0D;
inline constexpr int kEscKey = 0x1B;
inline constexpr int kSpaceKey = 0x20;
inline constexpr int kPgUpKey = 0x21;
inline constexpr int kPgDnKey = 0x22;
inline constexpr int kEndKey = 0x23;
inline constexpr int kHomeKey = 0x24;
inline constexpr int kLeftKey = 0x25;
inline constexpr int kUpKey = 0x26;
inline constexpr int kRightKey = 0x27;
inline constexpr int kDownKey = 0x28;
inline constexpr int kInsertKey = 0x2D;
inline constexpr int kDeleteKey = 0x2E;
inline constexpr int kF1Key = 0x70;  // F2 .. F12 follow
inline constexpr int kCtrlEnter = kCtrlKey | kEnterKey;

// The current event of the running thread: 0 outside an event.
int currentEvent();
// The number of the control that raised the current event; 0 for window events.
int eventControl();
// The control whose EVENT:Accepted is current; 0 when the current event is another.
int acceptedControl();
// The last key or mouse action of the thread's window, and its character (0 when none).
int keyCode();
void setKeyCode(int code);
int keyChar();

// Window layer only.
void setCurrentEvent(int event, int control, int keyCode, int keyChar);
void clearCurrentEvent();

}  // namespace sitedex::runtime

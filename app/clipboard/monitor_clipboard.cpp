#include "app/clipboard/monitor_clipboard.h"

#include <memory>
#include <string>

#include "app/clipboard/clipboard_capture.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/window_placement.h"
#include "ui/clipboard.h"
#include "ui/window.h"

namespace sitedex::app::clipboard {

using namespace runtime;

namespace {

MonitorWindow makeMonitorWindow() {
    MonitorWindow w;
    ui::WindowDef& d = w.def;
    d.name = "MONITORCLIPBOARD$WINDOW";
    d.title = "Monitor Clipboard";
    d.kind = ui::WindowKind::kMdiChild;
    d.width = 200;
    d.height = 82;
    d.timer = 25;
    d.alertKeys = {kEscKey};  // Escape closes the window like Exit
    w.line1 = d.addString("Any text copied to the clipboard from other applications", {8, 6, 188, 10});
    w.line2 = d.addString("that contains a URL will be imported automatically", {8, 16, 188, 10});
    w.line3 = d.addString("until the Exit button is pressed.", {8, 26, 188, 10});
    w.status = d.addString({}, {8, 42, 188, 10});
    d.controls.back().bold = true;
    w.exit = d.addButton("E&xit", {76, 60, 48, 14}, true);
    return w;
}

constexpr std::size_t kStatusLength = 80;

bool isBlankText(const std::string& s) {
    return s.find_first_not_of(" \t\r\n\f\v") == std::string::npos;
}

// What the clipboard holds, as one text to compare with the last one seen.
std::string seenKey(const ui::ClipboardContents& c) {
    return c.text + '\0' + c.html;
}

}  // namespace

const MonitorWindow& monitorWindow() {
    static const MonitorWindow w = makeMonitorWindow();
    return w;
}

void MonitorClipboard() {
    data::useFile(data::SITEDX);
    data::useFile(data::Categories);
    const MonitorWindow& mw = monitorWindow();
    ui::Window w(mw.def);
    RestoreWindowPlacement(w, "MonitorClipboard");

    std::string lastSeen;
    int added = 0;
    std::unique_ptr<ClipboardCapture> capture;
    auto takeOn = [&] {
        const int before = capture->added();
        const bool more = runFor(*capture);
        if (capture->added() != before) {
            added += capture->added() - before;
            // The status line holds 80 characters.
            const std::string status = "Added " + std::to_string(added) + ":  " + capture->lastAdded();
            w.setText(mw.status, data::utf8Prefix(status, kStatusLength));
        }
        // While a copy is being taken the window works on it at every chance it has, and goes back
        // to looking at the clipboard four times a second when it is done.
        if (!more) {
            capture.reset();
            w.setTimer(mw.def.timer);
        } else if (w.timer() != 1) {
            w.setTimer(1);
        }
    };
    auto startCapture = [&](ui::ClipboardContents c) {
        capture = std::make_unique<ClipboardCapture>(std::move(c.text), std::move(c.html));
        takeOn();
    };

    while (w.waitForEvent()) {
        switch (currentEvent()) {
            case kEventOpenWindow: {
                ui::ClipboardContents c = ui::clipboardContents();
                if (isBlankText(c.text) && isBlankText(c.html))
                    break;
                lastSeen = seenKey(c);
                // Remembered as seen either way: a text the user chose to ignore is not taken later.
                const int answer = messageBox("Ignore current clipboard contents?", "Clipboard Contains Data",
                                              kIconQuestion, kButtonYes | kButtonNo, kButtonNo);
                // The focus comes back here, so the window stays in front of the others once answered.
                w.focus(mw.exit);
                if (answer == kButtonNo)
                    startCapture(std::move(c));
                break;
            }
            case kEventTimer: {
                if (capture) {
                    takeOn();
                    break;
                }
                ui::ClipboardContents c = ui::clipboardContents();
                if (isBlankText(c.text) && isBlankText(c.html))
                    break;
                std::string key = seenKey(c);
                if (key == lastSeen)
                    break;
                lastSeen = std::move(key);
                startCapture(std::move(c));
                break;
            }
            case kEventAccepted:
                if (acceptedControl() == mw.exit)
                    w.post(kEventCloseWindow);
                break;
            case kEventAlertKey:
                if (keyCode() == kEscKey)
                    w.post(kEventCloseWindow);
                break;
            default:
                break;
        }
    }
    SaveWindowPlacement(w, "MonitorClipboard");
    w.close();
    data::releaseFile(data::Categories);
    data::releaseFile(data::SITEDX);
}

void registerClipboardProcedures() {
    registerProcedure("MonitorClipboard", MonitorClipboard);
}

}  // namespace sitedex::app::clipboard

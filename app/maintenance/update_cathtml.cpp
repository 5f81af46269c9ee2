#include "app/maintenance/update_cathtml.h"

#include "app/maintenance/category_rules.h"
#include "app/maintenance/form_fields.h"
#include "app/maintenance/integrity.h"
#include "app/maintenance/record_copy.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "data/warnings.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/window_placement.h"
#include "ui/window.h"

namespace sitedex::app::maintenance {

using namespace runtime;

namespace {

std::string withoutTrailingBlanks(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

int deleteSnippet() {
    if (data::ShowWarning(32) != kButtonOk) return int(ResponseCancelled);
    for (;;) {
        ui::Window* caller = ui::currentWindow();
        if (caller) caller->setWaitCursor();
        const int result = EraseCatHTML();
        if (caller) caller->restoreCursor();
        if (result == kWriteOk) return int(ResponseCompleted);
        if (data::ShowWarning(18) != kButtonYes) return int(ResponseCancelled);
    }
}

}  // namespace

UpdateCatHTMLWindow updateCatHTMLWindow(SnippetFormFields& fields) {
    UpdateCatHTMLWindow u;
    ui::WindowDef& d = u.def;
    d.name = "UPDATECATHTML$WINDOW";
    d.title = "Add HTML";
    d.kind = ui::WindowKind::kMdiChild;
    d.width = 320;
    d.height = 196;
    u.sheet = d.addSheet({4, 4, 312, 166});
    u.tab = d.addTab(u.sheet, "HTML");
    const int tabStart0 = int(d.controls.size()) + 1;
    u.type = d.addOption("Type Of HTML", &fields.type, {12, 24, 112, 84});
    int i = 0;
    for (const SnippetType& t : snippetTypes()) {
        u.radios[i] = d.addRadio(u.type, std::string(t.radioText), std::string(t.value), {18, 37 + 14 * i, 102, 12});
        ++i;
    }
    u.caption1 = d.addString("Enter or Paste your", {12, 118, 112, 10});
    u.caption2 = d.addString("HTML code here ->", {12, 128, 112, 10});
    u.html = d.addText(&fields.html, {132, 24, 176, 138});
    d.onTabFrom(tabStart0, u.tab);
    u.ok = d.addButton("&OK", {210, 176, 50, 14}, true);
    u.cancel = d.addButton("Cancel", {266, 176, 50, 14});
    d.controls.back().isCancel = true;
    d.controls[size_t(u.html - 1)].maxBytes = fieldBytes("HTM:HTMLTOADD");
    return u;
}

void UpdateCatHTML() {
    const int request = int(CallRequest());
    CallRequest() = 0;
    CallResponse() = 0;
    data::useFile(data::CatHTML);
    data::useFile(data::Categories);
    int response = int(ResponseCancelled);

    if (request == RequestDelete) {
        response = deleteSnippet();
    } else {
        if (request == RequestInsert) primeNewSnippet();  // of the category in CAT:CATEGORY, "Before Category"
        const RecordCopy loaded = copyRecord(data::CatHTML);
        SnippetFormFields fields;
        fields.type = withoutTrailingBlanks(data::getString(data::findField("HTM:TYPEOFHTML")));
        fields.html = data::CatHTML.memo(0);
        const UpdateCatHTMLWindow fw = updateCatHTMLWindow(fields);
        ui::Window w(fw.def);
        RestoreWindowPlacement(w, "UpdateCatHTML");
        w.setTitle(request == RequestInsert ? "Adding HTML" : "Changing HTML");
        bool finishing = false;  // the form closes itself (OK, Cancel): nothing to ask
        auto finish = [&](int r) {
            response = r;
            finishing = true;
            w.post(kEventCloseWindow);
        };
        // OK: true when the form is done.
        auto ok = [&]() -> bool {
            data::setString(data::findField("HTM:TYPEOFHTML"), fields.type);
            data::setMemo(data::CatHTML, 0, fields.html);
            if (request == RequestInsert) {
                const InsertResult r = InsertCatHTML();
                if (r == InsertResult::kAdded) {
                    finish(int(ResponseCompleted));
                    return true;
                }
                w.focus(r == InsertResult::kDuplicate ? fw.type : fw.html);
                return false;
            }
            if (recordUnchanged(data::CatHTML, loaded)) {
                finish(int(ResponseCancelled));
                return true;
            }
            for (;;) {
                w.setWaitCursor();
                const int result = WriteCatHTML();
                w.restoreCursor();
                if (result == kWriteOk) {
                    finish(int(ResponseCompleted));
                    return true;
                }
                if (result == kWriteChanged) {
                    fields.type = withoutTrailingBlanks(data::getString(data::findField("HTM:TYPEOFHTML")));
                    fields.html = data::CatHTML.memo(0);
                    w.redisplay();
                    return false;
                }
                const int button = data::ShowWarning(16);
                if (button == kButtonYes) continue;
                if (button == kButtonNo) {
                    finish(int(ResponseCancelled));
                    return true;
                }
                return false;
            }
        };
        while (w.waitForEvent()) {
            const int event = currentEvent();
            const int control = eventControl();
            if (event == kEventOpenWindow) {
                w.focus(fw.html);
            } else if (event == kEventAccepted && control == fw.ok) {
                ok();
            } else if (event == kEventAccepted && control == fw.cancel) {
                finish(int(ResponseCancelled));
            } else if ((event == kEventCloseWindow || event == kEventCloseDown) && !finishing) {
                // Asked to close from outside with edits not saved: save them first?
                data::setString(data::findField("HTM:TYPEOFHTML"), fields.type);
                data::setMemo(data::CatHTML, 0, fields.html);
                if (!recordUnchanged(data::CatHTML, loaded)) {
                    const int answer = data::ShowWarning(33);
                    if (answer == kButtonYes && !ok()) w.keepOpen();
                    else if (answer == kButtonNo) response = int(ResponseCancelled);
                    else if (answer != kButtonYes) w.keepOpen();
                }
            }
        }
        SaveWindowPlacement(w, "UpdateCatHTML");
    }
    data::releaseFile(data::Categories);
    data::releaseFile(data::CatHTML);
    CallResponse() = response == int(ResponseCompleted) ? ResponseCompleted : ResponseCancelled;
}

}  // namespace sitedex::app::maintenance

#include "app/maintenance/update_categories.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "app/maintenance/browse_window.h"
#include "app/maintenance/category_lists.h"
#include "app/maintenance/category_rules.h"
#include "app/maintenance/form_fields.h"
#include "app/maintenance/integrity.h"
#include "app/maintenance/record_copy.h"
#include "app/maintenance/update_cathtml.h"
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

void loadFields(CategoryFormFields& f) {
    f.category = withoutTrailingBlanks(data::getString(data::findField("CAT:CATEGORY")));
    f.description = data::Categories.memo(0);
}

void storeFields(const CategoryFormFields& f) {
    data::setString(data::findField("CAT:CATEGORY"), f.category);
    data::setMemo(data::Categories, 0, f.description);
}

void restoreRecord(data::FileDecl& file, const RecordCopy& copy) {
    std::memcpy(file.record(), copy.record.data(), std::min<size_t>(copy.record.size(), file.recordSize()));
    for (size_t i = 0; i < copy.memos.size() && i < file.memos().size(); ++i) file.memo(i) = copy.memos[i];
}

int prompt(ui::WindowDef& d, std::string text, ui::Rect at) {
    ui::ControlDef c;
    c.kind = ui::ControlKind::kPrompt;
    c.text = std::move(text);
    c.at = at;
    return d.add(std::move(c));
}

// The delete request: asked first, then the category goes with its snippets and locations.
int deleteCategory() {
    if (data::ShowWarning(32) != kButtonOk) return int(ResponseCancelled);
    for (;;) {
        ui::Window* caller = ui::currentWindow();
        if (caller) caller->setWaitCursor();
        const int result = EraseCategory();
        if (caller) caller->restoreCursor();
        if (result == kWriteOk) return int(ResponseCompleted);
        if (data::ShowWarning(18) != kButtonYes) return int(ResponseCancelled);
    }
}

// OK after every field was taken into the record buffer. True when the form closes with `response`.
bool complete(int request, const RecordCopy& loaded, ui::Window& w, const UpdateCategoriesWindow& fw,
              CategoryFormFields& fields, int& response) {
    if (request == RequestInsert) {
        if (InsertCategory() == InsertResult::kAdded) {
            response = int(ResponseCompleted);
            return true;
        }
        w.focus(fw.category);
        return false;
    }
    if (recordUnchanged(data::Categories, loaded)) {
        response = int(ResponseCancelled);
        return true;
    }
    for (;;) {
        w.setWaitCursor();
        const int result = WriteCategory();
        w.restoreCursor();
        if (result == kWriteOk) {
            response = int(ResponseCompleted);
            return true;
        }
        if (result == kWriteChanged) {
            // The buffer holds the other station's version: show it, and carry a rename from now on
            // from the name that is on file.
            RememberCategoryName();
            loadFields(fields);
            w.redisplay();
            return false;
        }
        const int button = data::ShowWarning(16);
        if (button == kButtonYes) continue;
        if (button == kButtonNo) {
            response = int(ResponseCancelled);
            return true;
        }
        return false;
    }
}

void callByName(const char* name) {
    if (const ProcedureFunction* f = findProcedure(name)) {
        (*f)();
    } else {
        CallRequest() = 0;
        data::ShowWarning(6, name);
    }
}

void runCategoryForm(bool withLists) {
    const int request = int(CallRequest());
    CallRequest() = 0;
    CallResponse() = 0;
    const char* const placement = withLists ? "UpdateCategories" : "UpdateCategoriesNoMDI";
    data::useFile(data::CatHTML);
    data::useFile(data::Categories);
    data::useFile(data::SITEDX);
    const RecordCopy loaded = copyRecord(data::Categories);
    int response = int(ResponseCancelled);

    if (request == RequestDelete) {
        response = deleteCategory();
    } else {
        if (request == RequestChange) RememberCategoryName();
        // A change writes back the file's current record: the one the caller read for the form.
        const std::string position = request == RequestChange ? data::position(data::Categories) : std::string();
        CategoryFormFields fields;
        loadFields(fields);
        const UpdateCategoriesWindow fw = updateCategoriesWindow(fields, withLists);
        ui::Window w(fw.def);
        RestoreWindowPlacement(w, placement);
        w.setTitle(request == RequestInsert ? "Category Will Be Added" : "Category Will Be Changed");

        // The inner forms share this thread's Categories buffer (the location form reads the
        // location's category into it): the form's record and the file's current record come back
        // afterwards.
        auto inner = [&](const std::function<void()>& call) {
            storeFields(fields);
            const RecordCopy mine = copyRecord(data::Categories);
            call();
            if (!position.empty() && data::position(data::Categories) != position) {
                data::watch(data::Categories);
                data::reget(data::Categories, position);
            }
            restoreRecord(data::Categories, mine);
        };
        std::unique_ptr<BrowseList> snippets, locations;
        if (withLists) {
            BrowseDescription h = categorySnippetsDescription();
            h.primeInsert = [] {
                data::setString(data::findField("HTM:CATEGORY"), data::getString(data::findField("CAT:CATEGORY")));
            };
            h.update = [&] { inner(UpdateCatHTML); };
            snippets = std::make_unique<BrowseList>(
                w, BrowseControls{fw.htmlList, 0, fw.htmlInsert, fw.htmlChange, fw.htmlDelete}, std::move(h));
            BrowseDescription l = categoryLocationsDescription();
            l.primeInsert = [] {
                data::setString(data::findField("URL:CATEGORY"), data::getString(data::findField("CAT:CATEGORY")));
            };
            l.update = [&] { inner([] { callByName("UpdateSITEDX"); }); };
            locations = std::make_unique<BrowseList>(
                w, BrowseControls{fw.locationList, 0, fw.locationInsert, fw.locationChange, fw.locationDelete},
                std::move(l));
        }
        const int innerButtons[] = {fw.htmlInsert,     fw.htmlChange,     fw.htmlDelete,
                                    fw.locationInsert, fw.locationChange, fw.locationDelete};
        bool finishing = false;  // the form closes itself (OK, Cancel): nothing to ask

        while (w.waitForEvent()) {
            const int event = currentEvent();
            const int control = eventControl();
            if (withLists && event == kEventAccepted && control != 0 &&
                std::find(std::begin(innerButtons), std::end(innerButtons), control) != std::end(innerButtons)) {
                snippets->engine().getRecord();
                locations->engine().getRecord();
            }
            if (withLists) {
                if (snippets->handleEvent()) continue;
                if (locations->handleEvent()) continue;
            }
            if (event == kEventOpenWindow) {
                w.focus(fw.category);
            } else if (event == kEventAccepted && control == fw.category) {
                // The lists follow the name as typed (their reset fields are CAT:CATEGORY).
                data::setString(data::findField("CAT:CATEGORY"), fields.category);
                if (withLists) {
                    snippets->engine().refresh();
                    locations->engine().refresh();
                }
            } else if (event == kEventNewSelection && control == fw.sheet && withLists) {
                snippets->engine().refresh();
                locations->engine().refresh();
            } else if (event == kEventAccepted && control == fw.ok) {
                storeFields(fields);
                if (complete(request, loaded, w, fw, fields, response)) {
                    finishing = true;
                    w.post(kEventCloseWindow);
                }
            } else if (event == kEventAccepted && control == fw.cancel) {
                response = int(ResponseCancelled);
                finishing = true;
                w.post(kEventCloseWindow);
            } else if ((event == kEventCloseWindow || event == kEventCloseDown) && !finishing) {
                // Asked to close from outside (the close box, File > Exit) with edits not saved:
                // the user says whether to save them first.
                storeFields(fields);
                if (!recordUnchanged(data::Categories, loaded)) {
                    const int answer = data::ShowWarning(33);
                    if (answer == kButtonYes && !complete(request, loaded, w, fw, fields, response)) w.keepOpen();
                    else if (answer == kButtonNo) response = int(ResponseCancelled);
                    else if (answer != kButtonYes) w.keepOpen();
                }
            }
        }
        SaveWindowPlacement(w, placement);
        w.close();
        snippets.reset();
        locations.reset();
    }
    data::releaseFile(data::SITEDX);
    data::releaseFile(data::Categories);
    data::releaseFile(data::CatHTML);
    CallResponse() = response == int(ResponseCompleted) ? ResponseCompleted : ResponseCancelled;
}

}  // namespace

UpdateCategoriesWindow updateCategoriesWindow(CategoryFormFields& fields, bool withLists) {
    UpdateCategoriesWindow u;
    ui::WindowDef& d = u.def;
    d.name = withLists ? "UPDATECATEGORIES$WINDOW" : "UPDATECATEGORIESNOMDI$WINDOW";
    d.title = "Update the Categories File";
    d.kind = withLists ? ui::WindowKind::kMdiChild : ui::WindowKind::kDialog;
    d.centered = !withLists;
    d.width = 320;
    d.height = withLists ? 214 : 170;
    if (withLists) d.alertKeys = {kMouseLeft2, kInsertKey, kDeleteKey, kCtrlEnter};
    const int bottom = d.height - 20;
    prompt(d, "&Category:", {8, 9, 40, 10});
    u.category = d.addEntry(&fields.category, {52, 7, 150, 12});
    u.sheet = d.addSheet({4, 26, 312, bottom - 32});
    u.generalTab = d.addTab(u.sheet, "General");
    const int generalStart = int(d.controls.size()) + 1;
    prompt(d, "&Description:", {12, 46, 60, 10});
    u.description = d.addText(&fields.description, {12, 58, 296, bottom - 70});
    d.onTabFrom(generalStart, u.generalTab);
    if (withLists) {
        u.htmlTab = d.addTab(u.sheet, "HTML");
        const int htmlStart = int(d.controls.size()) + 1;
        u.htmlList = d.addList({}, {12, 46, 296, 120});
        u.htmlInsert = d.addButton("&Insert", {12, 172, 50, 14});
        u.htmlChange = d.addButton("&Change", {66, 172, 50, 14});
        u.htmlDelete = d.addButton("&Delete", {120, 172, 50, 14});
        d.onTabFrom(htmlStart, u.htmlTab);
        u.locationsTab = d.addTab(u.sheet, "Locations");
        const int locationsStart = int(d.controls.size()) + 1;
        u.locationList = d.addList({}, {12, 46, 296, 120});
        u.locationInsert = d.addButton("&Insert", {12, 172, 50, 14});
        u.locationChange = d.addButton("&Change", {66, 172, 50, 14});
        u.locationDelete = d.addButton("&Delete", {120, 172, 50, 14});
        d.onTabFrom(locationsStart, u.locationsTab);
    }
    u.ok = d.addButton("&OK", {210, bottom, 50, 14}, true);
    u.cancel = d.addButton("Cancel", {266, bottom, 50, 14});
    d.controls.back().isCancel = true;
    d.controls[size_t(u.category - 1)].maxBytes = fieldBytes("CAT:CATEGORY");
    d.controls[size_t(u.description - 1)].maxBytes = fieldBytes("CAT:DESCRIPTION");
    return u;
}

void UpdateCategories() { runCategoryForm(true); }

void UpdateCategoriesNoMDI() { runCategoryForm(false); }

}  // namespace sitedex::app::maintenance

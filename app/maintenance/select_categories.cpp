#include "app/maintenance/select_categories.h"

#include "app/maintenance/browse_window.h"
#include "app/maintenance/category_lists.h"
#include "data/dictionary.h"
#include "runtime/events.h"
#include "runtime/procedures.h"
#include "runtime/window_placement.h"
#include "ui/window.h"

namespace sitedex::app::maintenance {

using namespace runtime;

const SelectCategoriesWindow& selectCategoriesWindow() {
    static const SelectCategoriesWindow w = [] {
        SelectCategoriesWindow s;
        ui::WindowDef& d = s.def;
        d.name = "SELECTCATEGORIES$WINDOW";
        d.title = "Select Category";
        d.kind = ui::WindowKind::kDialog;
        d.width = 316;
        d.height = 196;
        d.centered = true;
        d.resizable = true;
        d.statusBar = true;
        d.alertKeys = {kMouseLeft2};
        s.list = d.addList({}, {6, 6, 304, 162});
        s.select = d.addButton("&Select", {204, 176, 50, 14}, true);
        s.close = d.addButton("Close", {260, 176, 50, 14});
        d.controls.back().isCancel = true;
        return s;
    }();
    return w;
}

void SelectCategories() {
    const int request = int(CallRequest());
    CallRequest() = 0;
    CallResponse() = 0;
    data::useFile(data::Categories);

    const SelectCategoriesWindow& sw = selectCategoriesWindow();
    int response = ResponseCancelled;
    {
        ui::Window w(sw.def);
        RestoreWindowPlacement(w, "SelectCategories");
        w.setStatusText("Browsing Records");
        BrowseList browse(w, {sw.list, sw.select, 0, 0, 0}, categoryListDescription(false), request);
        while (w.waitForEvent()) {
            if (browse.handleEvent()) continue;
            if (currentEvent() == kEventAccepted && acceptedControl() == sw.close) {
                browse.engine().setLocalResponse(ResponseCancelled);
                w.post(kEventCloseWindow);
            }
        }
        response = browse.engine().localResponse();
        SaveWindowPlacement(w, "SelectCategories");
    }
    // The list's view is gone with the browse; only now may the file close.
    data::releaseFile(data::Categories);
    CallResponse() = response == ResponseCompleted ? ResponseCompleted : ResponseCancelled;
}

}  // namespace sitedex::app::maintenance

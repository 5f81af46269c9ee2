#include "app/maintenance/browse_categories.h"

#include "app/maintenance/browse_window.h"
#include "app/maintenance/category_lists.h"
#include "app/maintenance/select_categories.h"
#include "app/maintenance/update_categories.h"
#include "app/maintenance/update_cathtml.h"
#include "data/dictionary.h"
#include "data/warnings.h"
#include "runtime/events.h"
#include "runtime/procedures.h"
#include "runtime/window_placement.h"
#include "ui/window.h"

namespace sitedex::app::maintenance {

using namespace runtime;

namespace {
const char* const kTip[] = {
    "Tip:",
    "You can optionally add HTML code by hand",
    "or paste it in from your favorite editor.",
    "HTML code can be positioned before or",
    "after each category or category title.",
    "In addition, if you add a category called",
    "\"_Before All\", you can position HTML code",
    "before anything is output (great for",
    "backgrounds, sounds, frames, etc.)",
};
}  // namespace

const BrowseCategoriesWindow& browseCategoriesWindow() {
    static const BrowseCategoriesWindow w = [] {
        BrowseCategoriesWindow b;
        ui::WindowDef& d = b.def;
        d.name = "BROWSECATEGORIES$WINDOW";
        d.title = "Browse Categories";
        d.kind = ui::WindowKind::kMdiChild;
        d.width = 384;
        d.height = 232;
        d.statusBar = true;
        d.alertKeys = {kMouseLeft2, kInsertKey, kDeleteKey, kCtrlEnter};
        b.sheet = d.addSheet({4, 4, 376, 202});
        b.tab = d.addTab(b.sheet, "Category");
        const int tabStart0 = int(d.controls.size()) + 1;
        b.header = d.addString("Add, Edit, or Remove URL Categories here.", {12, 24, 360, 10});
        b.list = d.addList({}, {12, 38, 196, 160});
        for (size_t i = 0; i < std::size(kTip); ++i) {
            int n = d.addString(kTip[i], {216, 40 + 10 * int(i), 160, 10});
            if (i == 0) b.firstTip = n;
            b.lastTip = n;
        }
        d.onTabFrom(tabStart0, b.tab);
        b.insert = d.addButton("&Insert", {4, 212, 50, 14});
        b.change = d.addButton("&Change", {58, 212, 50, 14});
        b.remove = d.addButton("&Delete", {112, 212, 50, 14});
        b.locations = d.addButton("Locations for this Category", {176, 212, 116, 14});
        b.close = d.addButton("Cl&ose", {330, 212, 50, 14});
        d.controls[size_t(b.firstTip - 1)].bold = true;
        return b;
    }();
    return w;
}

void BrowseCategories() {
    const int request = int(CallRequest());
    CallRequest() = 0;
    CallResponse() = 0;
    data::useFile(data::Categories);

    const BrowseCategoriesWindow& bw = browseCategoriesWindow();
    int response = ResponseCancelled;
    {
        ui::Window w(bw.def);
        RestoreWindowPlacement(w, "BrowseCategories");
        w.setStatusText("Browsing Records");
        BrowseDescription d = categoryListDescription(true);
        d.hasUpdate = true;
        d.update = UpdateCategories;
        BrowseList browse(w, {bw.list, 0, bw.insert, bw.change, bw.remove}, std::move(d), request);
        while (w.waitForEvent()) {
            if (browse.handleEvent()) continue;
            const int event = currentEvent();
            if (event == kEventNewSelection && eventControl() == bw.sheet) {
                browse.engine().refresh();
            } else if (event == kEventAccepted && acceptedControl() == bw.locations) {
                // CAT:CATEGORY must hold the category whose locations are wanted.
                if (!browse.engine().readHighlighted()) continue;
                if (const ProcedureFunction* f = findProcedure("BrowseURL:K_Category")) {
                    CallRequest() = 0;
                    (*f)();
                    CallResponse() = 0;
                } else {
                    data::ShowWarning(6, "BrowseURL:K_Category");
                }
                browse.engine().setForceRefresh();
                browse.engine().refresh();
            } else if (event == kEventAccepted && acceptedControl() == bw.close) {
                browse.engine().setLocalResponse(ResponseCancelled);
                w.post(kEventCloseWindow);
            }
        }
        response = browse.engine().localResponse();
        SaveWindowPlacement(w, "BrowseCategories");
    }
    data::releaseFile(data::Categories);
    CallResponse() = response == ResponseCompleted ? ResponseCompleted : ResponseCancelled;
}

void registerCategoryProcedures() {
    // A procedure already entered under one of these names stays (a test's stand-in).
    auto enter = [](const char* name, void (*procedure)()) {
        if (!findProcedure(name)) registerProcedure(name, procedure);
    };
    enter("SelectCategories", SelectCategories);
    enter("BrowseCategories", BrowseCategories);
    enter("UpdateCategories", UpdateCategories);
    enter("UpdateCatHTML", UpdateCatHTML);
    enter("UpdateCategoriesNoMDI", UpdateCategoriesNoMDI);
}

}  // namespace sitedex::app::maintenance

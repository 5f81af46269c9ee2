#include "app/import/ask_category.h"

#include <string>

#include "app/maintenance/browse_window.h"
#include "app/maintenance/update_categories.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/window_placement.h"
#include "ui/message_box.h"
#include "ui/window.h"

namespace sitedex::app::importing {

using namespace runtime;

namespace {

constexpr size_t kLocationSize = 255;

std::string withoutTrailingBlanks(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// The categories a location may be filed under: every one but the two that hold the page's top
// and bottom snippets, by name.
maintenance::BrowseDescription chooserListDescription() {
    maintenance::BrowseDescription d;
    d.file = &data::Categories;
    d.row = {{"CAT:CATEGORY"}, {"CAT:DESCRIPTION", 1000}};
    maintenance::SortOrderDescription o;
    o.key = "CAT:K_CATEGORY";
    o.filter = "UPPER(CAT:Category) <> '_BEFORE ALL' AND UPPER(CAT:Category) <> '_AFTER ALL'";
    o.locator = "CAT:CATEGORY";
    o.distribution = maintenance::Distribution::kString;
    o.distributionLength = 30;
    d.orders = {o};
    d.hasSelect = true;
    d.hasUpdate = true;  // Insert only: the dialog has no Change or Delete
    d.update = maintenance::UpdateCategoriesNoMDI;
    d.format = "123L(1)|M~Category~L(0)@s30@1020L(1)|M~Description~L(0)@s255@";
    return d;
}

}  // namespace

AskCategoryWindow askCategoryWindow(std::string* location, std::string* description, std::string* bestGuess) {
    AskCategoryWindow a;
    ui::WindowDef& d = a.def;
    d.name = "ASKCATEGORY$WINDOW";
    d.title = "Category Assignment";
    d.kind = ui::WindowKind::kDialog;
    d.width = 330;
    d.height = 232;
    d.centered = true;
    d.resizable = true;
    d.statusBar = true;
    d.alertKeys = {kMouseLeft2, kInsertKey};
    d.addPrompt("&Location:", {8, 8, 52, 10});
    a.location = d.addEntry(location, {62, 6, 260, 12});
    d.addPrompt("&Description:", {8, 24, 52, 10});
    a.description = d.addEntry(description, {62, 22, 260, 12});
    a.sheet = d.addSheet({4, 40, 322, 144});
    a.tab = d.addTab(a.sheet, "Select Category");
    a.list = d.onTab(d.addList({}, {10, 58, 310, 120}), a.tab);
    a.bestGuess = d.addString({}, {8, 190, 314, 10});
    d.controls.back().textVariable = bestGuess;
    a.insert = d.addButton("&Insert", {8, 206, 50, 14});
    a.select = d.addButton("&Select", {62, 206, 50, 14}, true);
    a.useBestGuess = d.addButton("&Use Best Guess", {116, 206, 70, 14});
    a.stop = d.addButton("Sto&p Import", {272, 206, 50, 14});
    d.controls.back().tip = "Add no more addresses from this document";
    return a;
}

AskOutcome AskCategory(std::string_view bestGuess) {
    const int request = int(CallRequest());
    CallRequest() = 0;
    CallResponse() = 0;
    data::useFile(data::Categories);
    data::useFile(data::SITEDX);

    const data::FieldRef locationField = data::findField("URL:LOCATION");
    const data::FieldRef descriptionField = data::findField("URL:DESCRIPTION");
    std::string location = withoutTrailingBlanks(data::getString(locationField));
    std::string description = withoutTrailingBlanks(data::getString(descriptionField));
    const std::string guess = withoutTrailingBlanks(std::string(bestGuess));
    std::string guessLine = "Best Guess:  " + guess;

    const AskCategoryWindow aw = askCategoryWindow(&location, &description, &guessLine);
    int response = ResponseCancelled;
    AskOutcome outcome = AskOutcome::kAnswered;
    {
        ui::Window w(aw.def);
        RestoreWindowPlacement(w, "AskCategory");
        w.setStatusText("Browsing Records");
        maintenance::BrowseList browse(w, {aw.list, aw.select, aw.insert, 0, 0}, chooserListDescription(), request);
        while (w.waitForEvent()) {
            const int event = currentEvent();
            const int control = eventControl();
            if (event == kEventCloseWindow && outcome == AskOutcome::kAnswered &&
                w.text(aw.location).size() > kLocationSize) {
                // The import would store it cut, an address that leads nowhere.
                w.keepOpen();
                messageBox("The location is longer than the " + std::to_string(kLocationSize) +
                               " bytes its field holds. Shorten it before choosing the category.",
                           "Location Too Long", kIconExclamation, kButtonOk, kButtonOk);
                w.focus(aw.location);
                continue;
            }
            if (event == kEventNewSelection && control == aw.list && keyCode() == kMouseRight) {
                // The list's own menu is "&Insert|-|&Select": the row under the mouse is taken first.
                setKeyCode(0);
                browse.engine().listEvent(kEventNewSelection);
                const bool rows = browse.engine().rowCount() > 0;
                const int item = ui::popupMenu(rows ? "&Insert|-|&Select" : "&Insert|-|~&Select");
                if (item == 1)
                    w.post(kEventAccepted, aw.insert);
                if (item == 2 && rows)
                    w.post(kEventAccepted, aw.select);
                continue;
            }
            if (browse.handleEvent())
                continue;
            if (event != kEventAccepted)
                continue;
            if (control == aw.useBestGuess) {
                data::Categories.clear();
                data::setString(data::findField("CAT:CATEGORY"), guess);
                browse.engine().setLocalResponse(ResponseCompleted);
                w.post(kEventCloseWindow);
            } else if (control == aw.stop) {
                outcome = AskOutcome::kStopImport;
                browse.engine().setLocalResponse(ResponseCancelled);
                w.post(kEventCloseWindow);
            }
        }
        response = browse.engine().localResponse();
        SaveWindowPlacement(w, "AskCategory");
    }
    // What the user made of the address is what the import stores.
    data::setString(locationField, location);
    data::setString(descriptionField, description);
    data::releaseFile(data::SITEDX);
    data::releaseFile(data::Categories);
    CallResponse() = response == ResponseCompleted ? ResponseCompleted : ResponseCancelled;
    return outcome;
}

}  // namespace sitedex::app::importing

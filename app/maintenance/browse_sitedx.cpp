#include "app/maintenance/browse_sitedx.h"

#include <cmath>
#include <vector>

#include "app/maintenance/browse_window.h"
#include "app/maintenance/record_copy.h"
#include "app/maintenance/update_sitedx.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "data/warnings.h"
#include "runtime/events.h"
#include "runtime/procedures.h"
#include "runtime/settings_file.h"
#include "runtime/window_placement.h"
#include "ui/clipboard.h"
#include "ui/list_format.h"
#include "ui/window.h"

namespace sitedex::app::maintenance {

using namespace runtime;

namespace {

std::string trimRight(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// Calls the location form with the Categories record buffer kept as it was: the form reads the
// location's category through that buffer, and a list limited to one category must go on showing
// the category it showed (not the one the edited location happened to have).
void restoreRecord(data::FileDecl& file, const RecordCopy& copy) {
    std::copy(copy.record.begin(), copy.record.end(), file.record());
    for (size_t m = 0; m < copy.memos.size(); ++m)
        file.memo(m) = copy.memos[m];
}

void callUpdateKeepingCategory() {
    const RecordCopy category = copyRecord(data::Categories);
    UpdateSITEDX();
    restoreRecord(data::Categories, category);
}

// The sort orders, by number (the tabs choose them: Description 5, Location 1, Category 2, Rating 3,
// Keyword 4).
std::vector<SortOrderDescription> locationOrders() {
    SortOrderDescription byLocation;
    byLocation.key = "URL:K_LOCATION";
    byLocation.locator = "URL:LOCATION";
    byLocation.distribution = Distribution::kString;
    byLocation.distributionLength = 255;

    SortOrderDescription byCategory;
    byCategory.key = "URL:K_CATEGORY";
    byCategory.filter = "UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)";
    byCategory.resetFields = {{"CAT:CATEGORY", "BRW1::Sort2:Reset:CAT:Category"}};
    byCategory.locator = "URL:DESCRIPTION";
    byCategory.distribution = Distribution::kString;
    byCategory.distributionField = "URL:DESCRIPTION";
    byCategory.distributionLength = 100;
    byCategory.primeLocate = [] {
        data::setString(data::findField("URL:CATEGORY"), data::getString(data::findField("CAT:CATEGORY")));
    };

    SortOrderDescription byRating;
    byRating.key = "URL:K_RATING";
    byRating.locator = "URL:RATING";
    byRating.locatorClears = {"URL:DESCRIPTION", "URL:LOCATION"};
    byRating.distribution = Distribution::kNumeric;

    SortOrderDescription byKeyword;
    byKeyword.key = "URL:K_KEYWORD";
    byKeyword.locator = "URL:KEYWORD";
    byKeyword.locatorClears = {"URL:DESCRIPTION", "URL:LOCATION"};

    SortOrderDescription byDescription;
    byDescription.key = "URL:K_DESCRIPTION";
    byDescription.locator = "URL:DESCRIPTION";
    byDescription.distribution = Distribution::kString;
    byDescription.distributionLength = 100;

    return {byLocation, byCategory, byRating, byKeyword, byDescription};
}

LocationsBrowseWindow makeLocationsBrowseWindow() {
    LocationsBrowseWindow w;
    ui::WindowDef& d = w.def;
    d.name = "BROWSESITEDX$WINDOW";
    d.title = "Browse Locations";
    d.kind = ui::WindowKind::kMdiChild;
    d.width = 400;
    d.height = 228;
    d.resizable = true;
    d.alertKeys = {kMouseLeft2, kInsertKey, kDeleteKey, kCtrlEnter};
    w.sheet = d.addSheet({4, 4, 392, 198});
    w.descriptionTab = d.addTab(w.sheet, "Description");
    w.locationTab = d.addTab(w.sheet, "Location");
    w.categoryTab = d.addTab(w.sheet, "Category");
    w.ratingTab = d.addTab(w.sheet, "Rating");
    w.keywordTab = d.addTab(w.sheet, "Keyword");
    w.list = d.addList(kLocationsListFormat, {10, 22, 380, 154});
    d.controls.back().status = "Browsing Records";
    w.selectCategory = d.onTab(d.addButton("Select Category", {10, 181, 64, 14}), w.categoryTab);
    d.controls.back().tip = "Select a category to view";
    w.clipboardChoice = d.addDropList(
        nullptr, {"URL", "Description", "Category", "Keyword", "Rating", "Site Information"}, {248, 182, 80, 12});
    w.toClipboard = d.addButton("-> Clipboard", {332, 181, 58, 14});
    d.controls.back().tip = "Copy to the clipboard.  Use the clipboard monitor to quickly copy *FROM* the clipboard.";
    w.insert = d.addButton("&Insert", {4, 208, 45, 14});
    d.controls.back().tip = "Add location information";
    w.change = d.addButton("&Change", {53, 208, 45, 14});
    d.controls.back().tip = "Change location information";
    w.remove = d.addButton("&Delete", {102, 208, 45, 14});
    d.controls.back().tip = "Remove location information";
    w.close = d.addButton("Cl&ose", {351, 208, 45, 14});
    d.controls.back().tip = "Close this window";
    return w;
}

CategoryLocationsWindow makeCategoryLocationsWindow() {
    CategoryLocationsWindow w;
    ui::WindowDef& d = w.def;
    d.name = "BROWSEURL:K_CATEGORY$WINDOW";
    d.title = "Browse Location by Category";
    d.kind = ui::WindowKind::kMdiChild;
    d.width = 300;
    d.height = 196;
    d.alertKeys = {kMouseLeft2, kInsertKey, kDeleteKey, kCtrlEnter};
    w.categoryPrompt = d.addString("Category", {6, 7, 36, 10});
    w.category = d.addString({}, {44, 7, 250, 10});
    d.controls.back().bold = true;
    w.list = d.addList(kCategoryLocationsListFormat, {6, 22, 288, 148});
    d.controls.back().status = "Browsing Records";
    w.insert = d.addButton("&Insert", {6, 176, 45, 14});
    w.change = d.addButton("&Change", {55, 176, 45, 14});
    w.remove = d.addButton("&Delete", {104, 176, 45, 14});
    w.close = d.addButton("Cl&ose", {249, 176, 45, 14});
    return w;
}

// The proportional rescaling of the locations browse: every control keeps its share of the window.
// The shares are taken from the window as designed, before a stored placement sizes it.
class ProportionalLayout {
public:
    explicit ProportionalLayout(ui::Window& w) : m_window(w) {
        m_width = w.clientWidth();
        m_height = w.clientHeight();
        const auto& controls = w.definition().controls;
        for (size_t i = 0; i < controls.size(); ++i) {
            ui::ControlKind k = controls[i].kind;
            if (k == ui::ControlKind::kMenu || k == ui::ControlKind::kItem || k == ui::ControlKind::kSeparator)
                continue;
            ui::Rect r = w.controlGeometry(int(i) + 1);
            if (r.width > 0 || r.height > 0)
                m_recorded.push_back({int(i) + 1, r});
        }
    }
    void sized() {
        if (m_width <= 0 || m_height <= 0)
            return;
        const double rx = std::round(double(m_window.clientWidth()) / m_width * 10000) / 10000;
        const double ry = std::round(double(m_window.clientHeight()) / m_height * 10000) / 10000;
        for (const auto& [control, r] : m_recorded)
            m_window.fitControl(control, {int(r.x * rx), int(r.y * ry), int(r.width * rx), int(r.height * ry)});
    }

private:
    ui::Window& m_window;
    int m_width = 0, m_height = 0;
    std::vector<std::pair<int, ui::Rect>> m_recorded;
};

// The list format of the settings file, unless it does not describe the list's five columns (an
// edited or damaged file): then the design format.
std::string storedListFormat() {
    std::string format = readSetting("BrowseSITEDX", "?Browse:1", kLocationsListFormat);
    return ui::parseListFormat(format).size() == 5 ? format : std::string(kLocationsListFormat);
}

}  // namespace

const LocationsBrowseWindow& locationsBrowseWindow() {
    static const LocationsBrowseWindow w = makeLocationsBrowseWindow();
    return w;
}

const CategoryLocationsWindow& categoryLocationsWindow() {
    static const CategoryLocationsWindow w = makeCategoryLocationsWindow();
    return w;
}

std::string clipboardTextFor(const std::string& choice) {
    auto text = [](const char* name) { return trimRight(data::getString(data::findField(name))); };
    if (choice == "Description")
        return text("URL:DESCRIPTION");
    if (choice == "Category")
        return text("URL:CATEGORY");
    if (choice == "Keyword")
        return text("URL:KEYWORD");
    if (choice == "Rating")
        return text("URL:RATING");
    if (choice == "Site Information")
        return trimRight(data::SITEDX.memo(0));
    return text("URL:LOCATION");
}

void BrowseSITEDX() {
    const int request = int(CallRequest());
    CallRequest() = 0;
    CallResponse() = 0;
    data::useFile(data::SITEDX);
    data::useFile(data::Categories);

    const LocationsBrowseWindow& lw = locationsBrowseWindow();
    ui::WindowDef def = lw.def;
    std::string clipboardChoice = "URL";
    def.controls[size_t(lw.clipboardChoice - 1)].textVariable = &clipboardChoice;

    ui::Window w(def);
    ProportionalLayout layout(w);
    RestoreWindowPlacement(w, "BrowseSITEDX");

    static constexpr int kOrderOfTab[] = {5, 1, 2, 3, 4};
    BrowseDescription d;
    d.file = &data::SITEDX;
    d.row = {{"URL:DESCRIPTION"}, {"URL:LOCATION"}, {"URL:CATEGORY"}, {"URL:RATING"}, {"URL:KEYWORD"}};
    d.orders = locationOrders();
    d.chooseOrder = [&w, &lw] {
        int tab = w.choice(lw.sheet);
        return tab >= 1 && tab <= 5 ? kOrderOfTab[tab - 1] : 5;
    };
    d.hasUpdate = true;
    d.update = callUpdateKeepingCategory;
    d.primeInsert = [&w, &lw] {
        if (w.choice(lw.sheet) == 3)
            data::setString(data::findField("URL:CATEGORY"), data::getString(data::findField("CAT:CATEGORY")));
    };
    d.format = storedListFormat();

    BrowseList browse(w, {lw.list, 0, lw.insert, lw.change, lw.remove}, d, request);
    while (w.waitForEvent()) {
        const int event = currentEvent();
        // The controls take their places (for the restored size too) before the list counts the rows
        // that fit.
        if (event == kEventOpenWindow || event == kEventSized)
            layout.sized();
        if (browse.handleEvent())
            continue;
        const int control = eventControl();
        if (control == lw.sheet && control != 0) {
            browse.engine().refresh();
            continue;
        }
        if (event != kEventAccepted)
            continue;
        if (control == lw.selectCategory) {
            browse.engine().getRecord();
            CallRequest() = RequestSelect;
            // The pick list reads categories through the same buffer as it scrolls: only a category
            // actually picked may change what the Category tab shows.
            const RecordCopy shown = copyRecord(data::Categories);
            CallResponse() = 0;
            if (const ProcedureFunction* select = findProcedure("SelectCategories"))
                (*select)();
            else
                data::ShowWarning(6, "SelectCategories");
            if (CallResponse() != ResponseCompleted)
                restoreRecord(data::Categories, shown);
            CallRequest() = request;
            CallResponse() = 0;
            browse.engine().refresh();
        } else if (control == lw.toClipboard) {
            if (browse.engine().readHighlighted())
                ui::setClipboardText(clipboardTextFor(clipboardChoice));
        } else if (control == lw.close) {
            browse.engine().getRecord();
            browse.engine().setLocalResponse(int(ResponseCancelled));
            w.post(kEventCloseWindow);
        }
    }
    writeSetting("BrowseSITEDX", "?Browse:1", browse.list().format());
    SaveWindowPlacement(w, "BrowseSITEDX");
    w.close();
    data::releaseFile(data::Categories);
    data::releaseFile(data::SITEDX);
    CallResponse() = browse.engine().localResponse();
}

void BrowseURL_K_Category() {
    const int request = int(CallRequest());
    CallRequest() = 0;
    CallResponse() = 0;
    data::useFile(data::SITEDX);
    data::useFile(data::Categories);

    const CategoryLocationsWindow& cw = categoryLocationsWindow();
    std::string shown = trimRight(data::getString(data::findField("CAT:CATEGORY")));
    ui::WindowDef def = cw.def;
    def.controls[size_t(cw.category - 1)].textVariable = &shown;
    ui::Window w(def);
    RestoreWindowPlacement(w, "BrowseURL:K_Category");

    SortOrderDescription o;
    o.key = "URL:K_CATEGORY";
    o.filter = "UPPER(URL:Category) = UPPER(BRW1::Sort1:Reset:CAT:Category)";
    o.resetFields = {{"CAT:CATEGORY", "BRW1::Sort1:Reset:CAT:Category"}};
    o.locator = "URL:DESCRIPTION";
    o.distribution = Distribution::kString;
    o.distributionLength = 100;
    o.primeLocate = [] {
        data::setString(data::findField("URL:CATEGORY"), data::getString(data::findField("CAT:CATEGORY")));
    };
    BrowseDescription d;
    d.file = &data::SITEDX;
    d.row = {{"URL:LOCATION"}, {"URL:DESCRIPTION"}, {"URL:CATEGORY"}, {"URL:RATING"}, {"URL:KEYWORD"}};
    d.orders = {o};
    d.hasUpdate = true;
    d.update = callUpdateKeepingCategory;
    const std::string category = data::getString(data::findField("CAT:CATEGORY"));
    d.primeInsert = [category] { data::setString(data::findField("URL:CATEGORY"), category); };
    d.format = kCategoryLocationsListFormat;

    BrowseList browse(w, {cw.list, 0, cw.insert, cw.change, cw.remove}, d, request);
    while (w.waitForEvent()) {
        if (browse.handleEvent())
            continue;
        if (currentEvent() == kEventAccepted && acceptedControl() == cw.close) {
            browse.engine().getRecord();
            browse.engine().setLocalResponse(int(ResponseCancelled));
            w.post(kEventCloseWindow);
        }
    }
    SaveWindowPlacement(w, "BrowseURL:K_Category");
    w.close();
    data::releaseFile(data::Categories);
    data::releaseFile(data::SITEDX);
    CallResponse() = browse.engine().localResponse();
}

void registerLocationProcedures() {
    registerProcedure("BrowseSITEDX", BrowseSITEDX);
    registerProcedure("BrowseURL:K_Category", BrowseURL_K_Category);
    registerProcedure("UpdateSITEDX", UpdateSITEDX);
}

}  // namespace sitedex::app::maintenance

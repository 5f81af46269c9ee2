#include "app/maintenance/update_sitedx.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/maintenance/form_fields.h"
#include "app/maintenance/integrity.h"
#include "app/maintenance/location_rules.h"
#include "app/maintenance/record_copy.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "data/warnings.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/settings_file.h"
#include "runtime/window_placement.h"
#include "ui/window.h"

namespace sitedex::app::maintenance {

using namespace runtime;

namespace {

constexpr int kLayoutControls = 17;
constexpr const char* kSection = "UpdateSITEDX";

std::string trimRight(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

bool lessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return std::toupper(x) < std::toupper(y);
    });
}

LocationFormWindow makeLocationFormWindow() {
    LocationFormWindow w;
    ui::WindowDef& d = w.def;
    d.name = "UPDATESITEDX$WINDOW";
    d.title = "Update Location Information";
    d.kind = ui::WindowKind::kMdiChild;
    d.width = 272;
    d.height = 150;
    d.resizable = true;
    w.sheet = d.addSheet({4, 4, 264, 120});
    w.generalTab = d.addTab(w.sheet, "General");
    w.locationPrompt = d.onTab(d.addPrompt("&Location:", {12, 26, 52, 10}), w.generalTab);
    w.location = d.onTab(d.addEntry(nullptr, {68, 24, 192, 12}), w.generalTab);
    w.descriptionPrompt = d.onTab(d.addPrompt("&Description:", {12, 44, 52, 10}), w.generalTab);
    w.description = d.onTab(d.addEntry(nullptr, {68, 42, 192, 12}), w.generalTab);
    w.categoryPrompt = d.onTab(d.addPrompt("&Category:", {12, 62, 52, 10}), w.generalTab);
    w.category = d.onTab(d.addCombo(nullptr, {68, 60, 124, 13}), w.generalTab);
    w.ratingPrompt = d.onTab(d.addPrompt("&Rating:", {12, 81, 52, 10}), w.generalTab);
    w.rating = d.onTab(d.addSpin(nullptr, {68, 79, 36, 13}, kRatingMin, kRatingMax), w.generalTab);
    w.keywordPrompt = d.onTab(d.addPrompt("&Keyword:", {12, 100, 52, 10}), w.generalTab);
    w.keyword = d.onTab(d.addEntry(nullptr, {68, 98, 60, 12}), w.generalTab);
    w.siteInfoTab = d.addTab(w.sheet, "Site Info");
    w.siteInfoPrompt = d.onTab(d.addPrompt("Site Info:", {12, 24, 52, 10}), w.siteInfoTab);
    w.siteInfo = d.onTab(d.addText(nullptr, {12, 36, 248, 82}), w.siteInfoTab);
    d.controls.back().tip = "Information about site";
    w.ok = d.addButton("&OK", {174, 130, 45, 14}, true);
    w.cancel = d.addButton("Cancel", {223, 130, 45, 14});
    d.controls.back().isCancel = true;
    // Each entry holds no more than its field.
    const std::pair<int, const char*> limits[] = {{w.location, "URL:LOCATION"}, {w.description, "URL:DESCRIPTION"},
                                                  {w.category, "URL:CATEGORY"}, {w.keyword, "URL:KEYWORD"},
                                                  {w.siteInfo, "URL:SITEINFO"}};
    for (const auto& [control, field] : limits)
        d.controls[size_t(control - 1)].maxBytes = fieldBytes(field);
    return w;
}

// The values the form's controls show and change.
struct Values {
    std::string location, description, category, keyword, siteInfo;
    int rating = 0;
};

// The four ratios of a control (x and width of the window's width, y and height of its height).
using Ratios = std::array<double, 4>;

// "Ctrl<n>Size": four 3-digit thousandths. Anything else (an edited or damaged settings file) gives
// nothing, and the control keeps its place: a control laid out at nought would vanish from the form.
std::optional<Ratios> parseRatios(const std::string& text) {
    if (text.size() != 12 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    Ratios r;
    for (int i = 0; i < 4; ++i)
        r[size_t(i)] = std::stoi(text.substr(size_t(i) * 3, 3)) / 1000.0;
    if (r[2] == 0 && r[3] == 0)
        return std::nullopt;
    return r;
}

std::string formatRatios(const Ratios& r) {
    std::string s;
    for (double v : r) {
        // Three digits hold 0.000 .. 0.999: a control as wide as the window is kept at 0.999 rather
        // than written as four digits that would shift every later number.
        int thousandths = std::clamp(int(std::lround(v * 1000)), 0, 999);
        char buf[4];
        std::snprintf(buf, sizeof buf, "%03d", thousandths);
        s += buf;
    }
    return s;
}

class LocationForm {
public:
    LocationForm(int request, const RecordCopy& saved) : m_request(request), m_saved(saved) {}

    int run();

private:
    void load();
    void store();
    bool fillCategories();
    void locationAccepted();
    bool categoryAccepted();
    bool ok();
    bool completeInsert();
    bool completeChange();
    void finish(int response);
    bool mayClose();
    void setUpLayout();
    void applyLayout();

    const LocationFormWindow& m_fw = locationFormWindow();
    int m_request;
    const RecordCopy& m_saved;
    Values m_v;
    Values m_loaded;
    std::unique_ptr<ui::Window> m_w;
    std::array<std::optional<Ratios>, kLayoutControls + 1> m_ratios;
    int m_response = int(ResponseCancelled);
    bool m_finishing = false;  // the form closes itself (OK, Cancel): nothing to ask
};

void LocationForm::load() {
    m_v.location = data::getString(data::findField("URL:LOCATION"));
    m_v.description = data::getString(data::findField("URL:DESCRIPTION"));
    m_v.category = data::getString(data::findField("URL:CATEGORY"));
    m_v.keyword = data::getString(data::findField("URL:KEYWORD"));
    m_v.rating = int(std::lround(data::getNumber(data::findField("URL:RATING"))));
    m_v.siteInfo = data::SITEDX.memo(0);
    m_loaded = m_v;
}

void LocationForm::store() {
    // Only what the user changed goes back: the record of an unchanged form stays byte for byte as it
    // was read (a rating outside the spin box's range, say, is not clamped behind the user's back).
    auto put = [](const char* name, const std::string& now, const std::string& before) {
        if (now != before)
            data::setString(data::findField(name), now);
    };
    put("URL:LOCATION", m_v.location, m_loaded.location);
    put("URL:DESCRIPTION", m_v.description, m_loaded.description);
    put("URL:CATEGORY", m_v.category, m_loaded.category);
    put("URL:KEYWORD", m_v.keyword, m_loaded.keyword);
    if (m_v.rating != m_loaded.rating)
        data::setNumber(data::findField("URL:RATING"), m_v.rating);
    if (m_v.siteInfo != m_loaded.siteInfo)
        data::setMemo(data::SITEDX, 0, m_v.siteInfo);
    m_loaded = m_v;
}

bool LocationForm::fillCategories() {
    std::vector<std::string> names;
    data::KeyDecl& key = *data::Categories.findKey("CAT:K_CATEGORY");
    data::Categories.clear();
    int32_t e = data::set(key);
    while (e == 0 && (e = data::next(data::Categories)) == 0) {
        std::string name = trimRight(data::getString(data::findField("CAT:CATEGORY")));
        if (!isSpecialCategory(name))
            names.push_back(name);
    }
    if (e != 33) {
        data::ShowWarning(35, "Categories");
        return false;
    }
    std::stable_sort(names.begin(), names.end(), lessIgnoringCase);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    m_w->setChoices(m_fw.category, names);
    if (names.empty()) {
        m_v.category.clear();
        data::setString(data::findField("URL:CATEGORY"), "");
        m_loaded.category.clear();
    }
    m_w->redisplay(m_fw.category);
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == m_v.category)
            m_w->select(m_fw.category, int(i) + 1);
    return true;
}

void LocationForm::locationAccepted() {
    if (m_request != RequestInsert || !trimRight(m_v.keyword).empty())
        return;
    m_v.keyword = keywordFromLocation(m_v.location);
    m_w->redisplay(m_fw.keyword);
}

bool LocationForm::categoryAccepted() {
    const std::vector<std::string> names = m_w->choices(m_fw.category);
    if (std::find(names.begin(), names.end(), m_v.category) == names.end())
        m_w->focus(m_fw.category);
    store();
    if (checkLocationCategory())
        return true;
    m_w->select(m_fw.sheet, 1);
    m_w->focus(m_fw.category);
    return false;
}

void LocationForm::finish(int response) {
    m_response = response;
    m_finishing = true;
    m_w->post(kEventCloseWindow);
}

// True when the form is done (the record written, or nothing to write).
bool LocationForm::ok() {
    // Every field in turn, with its rule, as if the user had moved through them all.
    if (locationMissing(m_v.location)) {
        ShowLocationRequired();
        m_w->select(m_fw.sheet, 1);
        m_w->focus(m_fw.location);
        return false;
    }
    locationAccepted();
    if (!categoryAccepted())
        return false;
    store();
    return m_request == RequestInsert ? completeInsert() : completeChange();
}

// The window is asked to close from outside (its close box, File > Exit). With edits not saved the
// user says whether to save them first; false keeps the form open.
bool LocationForm::mayClose() {
    if (m_finishing)
        return true;
    store();
    if (recordUnchanged(data::SITEDX, m_saved))
        return true;
    switch (data::ShowWarning(33)) {
        case kButtonYes: return ok();
        case kButtonNo: m_response = int(ResponseCancelled); return true;
        default: return false;
    }
}

bool LocationForm::completeInsert() {
    if (InsertLocation() == InsertResult::kAdded) {
        finish(int(ResponseCompleted));
        return true;
    }
    m_w->select(m_fw.sheet, 1);
    m_w->focus(m_fw.location);
    return false;
}

bool LocationForm::completeChange() {
    if (recordUnchanged(data::SITEDX, m_saved)) {
        finish(int(ResponseCancelled));
        return true;
    }
    while (true) {
        m_w->setWaitCursor();
        const int result = WriteLocation();
        m_w->restoreCursor();
        if (result == kWriteOk) {
            finish(int(ResponseCompleted));
            return true;
        }
        if (result == kWriteChanged) {
            // The buffer holds the other station's version: show it, and let the user decide again.
            load();
            m_w->redisplay();
            return false;
        }
        const int answer = data::ShowWarning(16);
        if (answer == kButtonYes)
            continue;
        if (answer == kButtonNo) {
            finish(int(ResponseCancelled));
            return true;
        }
        return false;
    }
}

void LocationForm::setUpLayout() {
    if (readSetting(kSection, "WindowScaled", "") == kWindowScaledSignature) {
        RestoreWindowPlacement(*m_w, kSection);
        for (int n = 1; n <= kLayoutControls; ++n)
            m_ratios[size_t(n)] =
                parseRatios(readSetting(kSection, "Ctrl" + std::to_string(n) + "Size", "000000000000"));
        applyLayout();
        return;
    }
    SaveWindowPlacement(*m_w, kSection);
    const double width = std::max(1, m_w->clientWidth());
    const double height = std::max(1, m_w->clientHeight());
    auto round3 = [](double v) { return std::round(v * 1000) / 1000; };
    for (int n = 1; n <= kLayoutControls; ++n) {
        ui::Rect r = m_w->controlGeometry(n);
        Ratios ratios{round3(r.x / width), round3(r.y / height), round3(r.width / width), round3(r.height / height)};
        writeSetting(kSection, "Ctrl" + std::to_string(n) + "Size", formatRatios(ratios));
        m_ratios[size_t(n)] = parseRatios(formatRatios(ratios));
    }
    writeSetting(kSection, "WindowScaled", kWindowScaledSignature);
}

void LocationForm::applyLayout() {
    // A minimised form has no size worth keeping.
    if (!m_w->isMinimized())
        SaveWindowPlacement(*m_w, kSection);
    const int width = m_w->clientWidth();
    const int height = m_w->clientHeight();
    if (width <= 0 || height <= 0)
        return;
    for (int n = 1; n <= kLayoutControls; ++n) {
        const auto& r = m_ratios[size_t(n)];
        if (!r)
            continue;
        m_w->fitControl(n, {int((*r)[0] * width), int((*r)[1] * height), int((*r)[2] * width), int((*r)[3] * height)});
    }
}

int LocationForm::run() {
    load();
    ui::WindowDef def = m_fw.def;
    def.controls[size_t(m_fw.location - 1)].textVariable = &m_v.location;
    def.controls[size_t(m_fw.description - 1)].textVariable = &m_v.description;
    def.controls[size_t(m_fw.category - 1)].textVariable = &m_v.category;
    def.controls[size_t(m_fw.rating - 1)].numberVariable = &m_v.rating;
    def.controls[size_t(m_fw.keyword - 1)].textVariable = &m_v.keyword;
    def.controls[size_t(m_fw.siteInfo - 1)].textVariable = &m_v.siteInfo;
    m_w = std::make_unique<ui::Window>(def);
    m_w->setTitle(m_request == RequestInsert ? "Adding Location" : "Changing Location");
    setUpLayout();

    while (m_w->waitForEvent()) {
        const int event = currentEvent();
        if (event == kEventOpenWindow) {
            if (!fillCategories()) {
                finish(int(ResponseCancelled));
                continue;
            }
            m_w->focus(m_fw.location);
        } else if (event == kEventCloseWindow || event == kEventCloseDown) {
            if (!mayClose())
                m_w->keepOpen();
        } else if (event == kEventSized) {
            applyLayout();
        } else if (event == kEventAccepted) {
            const int control = acceptedControl();
            if (control == m_fw.location)
                locationAccepted();
            else if (control == m_fw.category)
                categoryAccepted();
            else if (control == m_fw.ok)
                ok();
            else if (control == m_fw.cancel) {
                finish(int(ResponseCancelled));
            }
        }
    }
    SaveWindowPlacement(*m_w, kSection);
    m_w->close();
    return m_response;
}

int deleteLocation() {
    if (data::ShowWarning(32) != kButtonOk)
        return int(ResponseCancelled);
    while (true) {
        ui::Window* shown = ui::currentWindow();
        if (shown)
            shown->setWaitCursor();
        const int result = EraseLocation();
        if (shown)
            shown->restoreCursor();
        if (result == kWriteOk)
            return int(ResponseCompleted);
        if (data::ShowWarning(18) != kButtonYes)
            return int(ResponseCancelled);
    }
}

}  // namespace

const LocationFormWindow& locationFormWindow() {
    static const LocationFormWindow w = makeLocationFormWindow();
    return w;
}

void UpdateSITEDX() {
    const int request = int(CallRequest());
    CallRequest() = 0;
    CallResponse() = 0;
    data::useFile(data::SITEDX);
    data::useFile(data::Categories);
    const RecordCopy saved = copyRecord(data::SITEDX);
    int response = int(ResponseCancelled);
    if (request == RequestDelete) {
        response = deleteLocation();
    } else {
        // The location's category record, as the form opens with it.
        data::Categories.clear();
        data::setString(data::findField("CAT:CATEGORY"), data::getString(data::findField("URL:CATEGORY")));
        data::get(data::Categories, *data::Categories.findKey("CAT:K_CATEGORY"));
        LocationForm form(request == RequestInsert ? int(RequestInsert) : int(RequestChange), saved);
        response = form.run();
    }
    data::releaseFile(data::Categories);
    data::releaseFile(data::SITEDX);
    CallResponse() = response;
}

}  // namespace sitedex::app::maintenance

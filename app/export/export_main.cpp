#include "app/export/export_main.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "app/export/export_file.h"
#include "app/export/export_options.h"
#include "app/shell/main_frame.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "data/views.h"
#include "data/warnings.h"
#include "runtime/dates.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/settings_file.h"
#include "runtime/window_placement.h"
#include "ui/file_dialog.h"
#include "ui/message_box.h"
#include "ui/window.h"

namespace sitedex::app::exporting {

using namespace runtime;

namespace {

constexpr int kShiftF10 = kShiftKey | (kF1Key + 9);

std::string clipped(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// The names of earlier exports, newest first, each once. False after a read error (warning 35 shown).
bool fillFileNames(std::vector<std::string>& names) {
    names.clear();
    data::View view(data::History);
    view.setOrder(data::History.findKey("HIS:KEYTYPE"));
    if (view.setProperty(data::View::kPropertyFilter, "HIS:Type='Export'") != 0)
        data::ShowWarning(36);
    const data::FieldRef contents = data::findField("HIS:FIELDCONTENTS");
    int32_t e = view.seekToStart();
    while (e == 0 && (e = view.next()) == 0) {
        std::string name = data::getString(contents);
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    }
    if (e != data::kErrRecordNotAvailable) {
        data::ShowWarning(35, "History");
        return false;
    }
    return true;
}

bool fillCategories(std::vector<std::string>& categories) {
    categories.clear();
    data::View view(data::Categories);
    view.setOrder(data::Categories.findKey("CAT:K_CATEGORY"));
    const data::FieldRef category = data::findField("CAT:CATEGORY");
    int32_t e = view.seekToStart();
    while (e == 0 && (e = view.next()) == 0)
        categories.push_back(data::getString(category));
    if (e != data::kErrRecordNotAvailable) {
        data::ShowWarning(35, "Categories");
        return false;
    }
    return true;
}

// With ten History records or more, the oldest "Export" entry goes, so the names do not pile up.
void dropOldestExport() {
    if (data::records(data::History) <= 9)
        return;
    data::KeyDecl& key = *data::History.findKey("HIS:KEYTYPE");
    const data::FieldRef type = data::findField("HIS:TYPE");
    data::History.clear();
    data::setString(type, "Export");
    if (data::set(key, key) != 0)
        return;
    if (data::previous(data::History) != 0)
        return;
    if (data::getString(type) == "Export")
        data::deleteRecord(data::History);
}

void recordExportName(const std::string& name) {
    data::History.clear();
    data::setString(data::findField("HIS:TYPE"), "Export");
    data::setString(data::findField("HIS:FIELDCONTENTS"), name);
    data::setNumber(data::findField("HIS:DATE"), double(today()));
    data::setNumber(data::findField("HIS:TIME"), double(clockNow()));
    if (data::add(data::History) == 0 || data::errorCode() == data::kErrDuplicateKey)
        return;
    const int button = messageBox("Error adding to file history: " + data::errorText(), "Error", kIconHand,
                                  kButtonAbort | kButtonIgnore, kButtonIgnore);
    if (button == kButtonAbort)
        haltProgram("Error adding to file history: " + data::errorText());
}

std::string currentDirectory() {
    char here[4096];
    return ::getcwd(here, sizeof here) ? std::string(here) : std::string();
}

void restoreDirectory(const std::string& dir) {
    if (!dir.empty())
        (void)!::chdir(dir.c_str());
}

}  // namespace

ExportMainWindow exportMainWindow(ExportSettings& s, std::string& fileName) {
    ExportMainWindow m;
    ui::WindowDef& d = m.def;
    d.name = "EXPORTMAIN$WINDOW";
    d.title = "Export";
    // A window of its own above the frame: its keys (Alt+B for Browse, Alt+F for the frame pages...)
    // are then its own, not the frame menu's.
    d.kind = ui::WindowKind::kDialog;
    d.centered = true;
    d.width = 282;
    d.height = 196;
    d.alertKeys = {kMouseRight, kShiftF10, kEnterKey, kEscKey};
    m.prompt = d.addPrompt("E&xport to File:", {8, 8, 60, 10});
    m.text =
        d.addString("This option allows you to export your Sitedex database to a text or HTML file.", {8, 24, 266, 10});
    m.fileName = d.addCombo(&fileName, {68, 6, 154, 12});
    d.controls[size_t(m.fileName - 1)].tip = "Previously Exported Files";
    m.browse = d.addButton("&Browse", {228, 5, 46, 14});

    m.type = d.addOption("&Export Type", &s.type, {8, 40, 126, 96});
    const char* const radios[6][2] = {{"HTML - &Table", "HTML - Table"},       {"&HTML - Simple", "HTML - Simple"},
                                      {"HTML - &Frame", "HTML - Frame"},       {"&ASCII", "ASCII"},
                                      {"Comma-&Delimited", "Comma-Delimited"}, {"Boo&kmark File", "Bookmark File"}};
    for (int i = 0; i < 6; ++i)
        m.typeRadios[i] = d.addRadio(m.type, radios[i][0], radios[i][1], {16, 53 + 13 * i, 112, 11});
    d.controls[size_t(m.typeRadios[2] - 1)].tip =
        "Creates a set of HTML files with frames and alternative for non-frame capable browsers";
    d.controls[size_t(m.typeRadios[5] - 1)].tip = "Creates a bookmark file that web browsers import";

    m.categories = d.addOption("Export &Categories", &s.categories, {142, 40, 132, 28});
    m.all = d.addRadio(m.categories, "&All", "All", {150, 52, 50, 11});
    m.selected = d.addRadio(m.categories, "&Selected", "Selected", {204, 52, 64, 11});
    m.categoryPrompt = d.addPrompt("Category to Ex&port:", {142, 73, 132, 10});
    m.category = d.addDropList(&s.category, {}, {142, 84, 132, 12});

    m.order = d.addOption("Export O&rder", &s.order, {142, 104, 132, 28});
    d.controls[size_t(m.order - 1)].tip = "Sort within category by location or description";
    m.byLocation = d.addRadio(m.order, "Location", "Location", {150, 116, 54, 11});
    m.byDescription = d.addRadio(m.order, "Description", "Description", {204, 116, 64, 11});

    ui::ControlDef box;
    box.kind = ui::ControlKind::kBox;
    box.text = "Additional Information to Export";
    box.at = {8, 140, 266, 28};
    m.group = d.add(box);
    m.siteInfo = d.addCheck("Export Site Info", &s.siteInfo, {16, 152, 110, 11});
    m.ratings = d.addCheck("Export Rating", &s.ratings, {142, 152, 110, 11});

    m.ok = d.addButton("&OK", {112, 176, 50, 14}, true);
    m.cancel = d.addButton("Cancel", {168, 176, 50, 14});
    m.help = d.addButton("Help!", {224, 176, 50, 14});
    return m;
}

void ExportMain() {
    data::useFile(data::Categories);
    data::useFile(data::History);
    const std::string startDirectory = currentDirectory();

    ExportSettings s = exportSettings();
    readExportSettings(s);
    if (!typeFromText(s.type))
        s.type = "HTML - Table";
    if (s.categories != "Selected")
        s.categories = "All";
    std::string fileName = s.name;  // HIS:FIELDCONTENTS, the combination box's value

    std::vector<std::string> categories, names;
    bool ok = fillCategories(categories);
    if (ok) {
        if (categories.empty())
            s.category.clear();
        else if (std::find(categories.begin(), categories.end(), s.category) == categories.end())
            s.category = categories.front();
        ok = fillFileNames(names);
        if (ok && names.empty())
            fileName.clear();
        else if (ok && fileName.find_first_not_of(' ') == std::string::npos)
            fileName = names.front();
    }
    if (ok) {
        const ExportMainWindow m = exportMainWindow(s, fileName);
        ui::Window w(m.def);
        RestoreWindowPlacement(w, "ExportMain");
        w.setChoices(m.category, categories);
        w.setChoices(m.fileName, names);
        w.redisplay();

        // The typed name, with its extension once accepted; the export writes to this name. The text
        // is read from the box itself: Enter pressed in it reaches this window as its OK key before
        // the box has passed the text on.
        auto takeFileName = [&] {
            fileName = w.text(m.fileName);
            const std::optional<ExportType> type = typeFromText(s.type);
            std::string typed = clipped(fileName);
            s.name = typed.empty() ? typed : exportFileName(typed, type.value_or(ExportType::kTable));
            if (fileName != s.name) {
                fileName = s.name;
                w.redisplay(m.fileName);
            }
        };
        auto runExport = [&] {
            restoreDirectory(startDirectory);
            takeFileName();
            if (s.name.empty()) {
                w.focus(m.fileName);
                messageBox("You must enter an export file name.", "Information Required", kIconExclamation, kButtonOk);
                return;
            }
            dropOldestExport();
            recordExportName(s.name);
            writeExportSettings(s);
            if (!fillFileNames(names)) {
                w.post(kEventCloseWindow);
                return;
            }
            w.setChoices(m.fileName, names);
            fileName = s.name;
            w.redisplay(m.fileName);
            exportSettings() = s;
            ExportFile();
            w.redisplay();
        };

        while (w.waitForEvent()) {
            const int event = currentEvent();
            const int control = eventControl();
            if (s.categories == "All") {
                w.disable(m.categoryPrompt);
                w.disable(m.category);
            } else {
                w.enable(m.categoryPrompt);
                w.enable(m.category);
            }
            if (event == kEventOpenWindow) {
                w.focus(m.fileName);
            } else if (event == kEventAccepted && control == m.fileName) {
                takeFileName();
            } else if (event == kEventAccepted && control == m.browse) {
                takeFileName();
                const std::string chosen = ui::chooseFileToSave(
                    "Choose a File", "All Files|*.*|HTML files|*.htm|ASCII files|*.txt", s.name);
                if (!chosen.empty()) s.name = chosen;
                fileName = s.name;
                w.redisplay(m.fileName);
                restoreDirectory(startDirectory);
            } else if (event == kEventAccepted && control == m.ok) {
                runExport();
            } else if (event == kEventAccepted && control == m.cancel) {
                w.post(kEventCloseWindow);
            } else if (event == kEventAccepted && control == m.help) {
                restoreDirectory(startDirectory);
                shell::startNamedProcedure("ExportHelp", shell::kSmallStack);
            } else if (event == kEventAlertKey) {
                const int key = keyCode();
                if (key == kMouseRight || key == kShiftF10) {
                    const std::string earlier = readSetting("History", "Export1", "");
                    if (ui::popupMenu(earlier.empty() ? std::string("~(no earlier export file)") : earlier) == 1) {
                        s.name = earlier;
                        fileName = earlier;
                        w.redisplay(m.fileName);
                    }
                } else if (key == kEnterKey) {
                    runExport();
                } else if (key == kEscKey) {
                    w.post(kEventCloseWindow);
                }
            }
        }
        SaveWindowPlacement(w, "ExportMain");
    }
    restoreDirectory(startDirectory);
    data::releaseFile(data::History);
    data::releaseFile(data::Categories);
}

void registerExportProcedures() {
    registerProcedure("ExportMain", ExportMain);
}

}  // namespace sitedex::app::exporting

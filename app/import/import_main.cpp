#include "app/import/import_main.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/shell/globals.h"
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

namespace sitedex::app::importing {

using namespace runtime;

namespace {

constexpr const char* kSection = "Import";
constexpr const char* kHistoryType = "Import";
constexpr int kMostHistoryRecords = 9;  // more than this: the oldest entry gives way
constexpr size_t kHistoryNameSize = 255;

std::string withoutTrailingBlanks(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

bool startsWith(const std::string& s, char upperLetter) {
    const size_t i = s.find_first_not_of(' ');
    return i != std::string::npos && (s[i] & ~0x20) == upperLetter;
}

const data::FieldDecl& historyField(std::string_view name) {
    return *data::History.findField(name);
}

// The earlier imports, newest first, each name once. False after a read error (warning 35 shown).
bool readFileHistory(std::vector<std::string>& names) {
    names.clear();
    data::View view(data::History);
    view.setOrder(data::History.findKey("HIS:KEYTYPE"));
    if (view.setProperty(data::View::kPropertyFilter, "HIS:Type='Import'") != 0 || view.seekToStart() != 0)
        data::ShowWarning(36);
    for (;;) {
        const int32_t rc = view.next();
        if (rc == data::kErrRecordNotAvailable)
            return true;
        if (rc != 0) {
            data::ShowWarning(35, "History");
            return false;
        }
        const char* rec = data::History.record();
        if (withoutTrailingBlanks(data::getString(historyField("HIS:TYPE"), rec)) != kHistoryType)
            continue;
        std::string name = withoutTrailingBlanks(data::getString(historyField("HIS:FIELDCONTENTS"), rec));
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    }
}

// Every category, in file order. False after a read error (warning 35 shown).
bool readCategories(std::vector<std::string>& names) {
    names.clear();
    data::View view(data::Categories);
    if (view.seekToStart() != 0)
        data::ShowWarning(36);
    for (;;) {
        const int32_t rc = view.next();
        if (rc == data::kErrRecordNotAvailable)
            return true;
        if (rc != 0) {
            data::ShowWarning(35, "Categories");
            return false;
        }
        names.push_back(withoutTrailingBlanks(
            data::getString(*data::Categories.findField("CAT:CATEGORY"), data::Categories.record())));
    }
}

// The History file keeps the name of this import; at most ten entries stay.
void rememberInHistory(const std::string& name) {
    if (data::records(data::History) > kMostHistoryRecords) {
        data::History.clear();
        data::setString(historyField("HIS:TYPE"), data::History.record(), kHistoryType);
        data::KeyDecl& key = *data::History.findKey("HIS:KEYTYPE");
        if (data::set(key, key) == 0 && data::previous(data::History) == 0 &&
            withoutTrailingBlanks(data::getString(historyField("HIS:TYPE"), data::History.record())) == kHistoryType)
            data::deleteRecord(data::History);
    }
    // A name longer than the History field would come back cut, naming another file.
    if (name.size() > kHistoryNameSize)
        return;
    data::History.clear();
    char* rec = data::History.record();
    data::setString(historyField("HIS:TYPE"), rec, kHistoryType);
    data::setString(historyField("HIS:FIELDCONTENTS"), rec, name);
    data::setInteger(historyField("HIS:DATE"), rec, today());
    data::setInteger(historyField("HIS:TIME"), rec, clockNow());
    const int32_t rc = data::add(data::History);
    if (rc != 0 && rc != data::kErrDuplicateKey) {
        const std::string text = "Error adding to file history: " + data::errorText();
        if (messageBox(text, "Sitedex", kIconHand, kButtonAbort | kButtonIgnore, kButtonIgnore) == kButtonAbort)
            haltProgram(text);
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

}  // namespace

std::string& NameImport() {
    return shell::importDocumentName();
}
std::string& TypeImport() {
    static std::string v;
    return v;
}
std::string& MethodImport() {
    static std::string v;
    return v;
}
std::string& CategoryImport() {
    static std::string v;
    return v;
}

ImportMainWindow importMainWindow(std::string* fileName) {
    ImportMainWindow m;
    ui::WindowDef& d = m.def;
    d.name = "IMPORTMAIN$WINDOW";
    d.title = "Import";
    // A dialog of its own: it is wider than the frame's first size.
    d.kind = ui::WindowKind::kDialog;
    d.centered = true;
    d.width = 320;
    d.height = 162;
    d.alertKeys = {kMouseRight};
    m.filePrompt = d.addPrompt("Import from &File:", {8, 6, 120, 10});
    m.text = d.addString("This option allows you to import from various documents into your Sitedex database.",
                         {8, 18, 304, 10});
    m.file = d.addCombo(fileName, {8, 32, 248, 13});
    d.controls.back().tip = "Previously Imported Files";
    m.browse = d.addButton("&Browse", {262, 32, 50, 14});
    m.type = d.addOption("Import From", &TypeImport(), {8, 52, 148, 56});
    m.html = d.addRadio(m.type, "HTML Document", "HTML Document", {16, 64, 132, 12});
    m.comma = d.addRadio(m.type, "Comma-delimited file", "Comma-delimited file", {16, 78, 132, 12});
    m.ascii = d.addRadio(m.type, "Any ASCII text file", "Any ASCII text file", {16, 92, 132, 12});
    m.method = d.addOption("Category Determination Method", &MethodImport(), {164, 52, 148, 56});
    m.selected = d.addRadio(m.method, "Selected Category", "Selected Category", {172, 64, 132, 12});
    m.guess = d.addRadio(m.method, "Make Best Guess", "Make Best Guess", {172, 78, 132, 12});
    m.ask = d.addRadio(m.method, "Ask for Each URL", "Ask for Each URL", {172, 92, 132, 12});
    m.categoryPrompt = d.addPrompt("Category to Import:", {8, 118, 80, 10});
    m.category = d.addDropList(&CategoryImport(), {}, {90, 116, 166, 13});
    m.ok = d.addButton("&OK", {150, 142, 50, 14}, true);
    m.cancel = d.addButton("Cancel", {206, 142, 50, 14});
    m.help = d.addButton("Help!", {262, 142, 50, 14});
    return m;
}

void ImportMain() {
    CallRequest() = 0;
    CallResponse() = 0;
    data::useFile(data::Categories);
    data::useFile(data::History);

    NameImport() = readSetting(kSection, "Name", NameImport());
    TypeImport() = readSetting(kSection, "Type", TypeImport());
    MethodImport() = readSetting(kSection, "Categories", MethodImport());
    CategoryImport() = readSetting(kSection, "Category", CategoryImport());
    if (withoutTrailingBlanks(TypeImport()).empty())
        TypeImport() = "HTML Document";
    if (withoutTrailingBlanks(MethodImport()).empty())
        MethodImport() = "Make Best Guess";
    std::string fileName = NameImport();  // the combo edits it as the History record's contents

    std::vector<std::string> categories, files;
    bool ok = readCategories(categories) && readFileHistory(files);
    if (categories.empty()) {
        CategoryImport().clear();
    } else if (withoutTrailingBlanks(CategoryImport()).empty() ||
               std::find(categories.begin(), categories.end(), CategoryImport()) == categories.end()) {
        CategoryImport() = categories.front();
    }
    // The name offered is one of the earlier imports (the last one used, else the newest).
    if (files.empty())
        fileName.clear();
    else if (withoutTrailingBlanks(fileName).empty())
        fileName = files.front();

    if (ok) {
        const ImportMainWindow mw = importMainWindow(&fileName);
        ui::Window w(mw.def);
        RestoreWindowPlacement(w, "ImportMain");
        w.setChoices(mw.file, files);
        w.setChoices(mw.category, categories);
        w.redisplay();
        auto applyEnableRule = [&] {
            if (startsWith(MethodImport(), 'S')) {
                w.enable(mw.categoryPrompt);
                w.enable(mw.category);
            } else {
                w.disable(mw.categoryPrompt);
                w.disable(mw.category);
            }
        };
        while (w.waitForEvent()) {
            applyEnableRule();
            const int event = currentEvent();
            const int control = eventControl();
            if (event == kEventOpenWindow) {
                w.focus(mw.file);
            } else if (event == kEventAlertKey && keyCode() == kMouseRight) {
                // The file name kept under [History] Export1, offered by the right mouse button.
                const std::string kept = readSetting("History", "Export1", "");
                if (!withoutTrailingBlanks(kept).empty() && ui::popupMenu(kept) == 1) {
                    fileName = kept;
                    w.redisplay(mw.file);
                }
            } else if (event != kEventAccepted) {
                continue;
            } else if (control == mw.browse) {
                const std::string chosen = ui::chooseFileToOpen(
                    "Choose a File", "All Files|*.*|HTML files|*.htm|ASCII files|*.txt", w.text(mw.file));
                if (!chosen.empty())
                    fileName = chosen;
                w.redisplay(mw.file);
                w.focus(mw.file);
            } else if (control == mw.ok) {
                fileName = w.text(mw.file);
                NameImport() = fileName;
                if (withoutTrailingBlanks(NameImport()).empty()) {
                    w.focus(mw.file);
                    messageBox("You must enter an Import file name.", "Information Required", kIconAsterisk, kButtonOk,
                               kButtonOk);
                    continue;
                }
                rememberInHistory(NameImport());
                writeSetting(kSection, "Name", NameImport());
                writeSetting(kSection, "Type", TypeImport());
                writeSetting(kSection, "Categories", MethodImport());
                writeSetting(kSection, "Category", CategoryImport());
                if (!readFileHistory(files))
                    break;
                w.setChoices(mw.file, files);
                fileName = NameImport();
                w.redisplay(mw.file);
                ImportFile();
                // The import may have made categories: the list offers them next time.
                if (readCategories(categories))
                    w.setChoices(mw.category, categories);
                w.redisplay();
                applyEnableRule();
            } else if (control == mw.cancel) {
                w.post(kEventCloseWindow);
            } else if (control == mw.help) {
                callByName("ImportHelp");
            }
        }
        SaveWindowPlacement(w, "ImportMain");
    }
    data::releaseFile(data::History);
    data::releaseFile(data::Categories);
}

void registerImportProcedures() {
    if (!findProcedure("ImportMain"))
        registerProcedure("ImportMain", ImportMain);
}

}  // namespace sitedex::app::importing

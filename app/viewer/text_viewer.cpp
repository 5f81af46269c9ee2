#include "app/viewer/text_viewer.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "app/reports/print_reports.h"
#include "app/viewer/line_list.h"
#include "app/viewer/text_load_job.h"
#include "app/viewer/text_search.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "data/warnings.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/pictures.h"
#include "runtime/procedures.h"
#include "runtime/window_placement.h"
#include "ui/builtin_texts.h"
#include "ui/report_engine.h"
#include "ui/report_output.h"
#include "ui/window.h"
#include "ui/window_chrome.h"

namespace sitedex::app::viewer {

using namespace runtime;

namespace {

constexpr int kF3Key = kF1Key + 2;
constexpr int kCtrlF = kCtrlKey | 'F';
constexpr size_t kSearchTextSize = 80;

}  // namespace

const ViewerDesign& whatsNewDesign() {
    static const ViewerDesign d{"WhatsNew",   "whatsnew.txt",        "WHATSNEW$VIEWWINDOW",
                                "What's New", "New in this Release", true,
                                "WhatsNew",   &data::WhatsNewText,   &data::NameWhatsNew};
    return d;
}

const ViewerDesign& exportHelpDesign() {
    static const ViewerDesign d{"ExportHelp",    "Export.Txt",           "EXPORTHELP$VIEWWINDOW",
                                "Using Sitedex", "Help About Exporting", false,
                                "ExportHelp",    &data::ExportHelpText,  &data::NameExportHelp};
    return d;
}

const ViewerDesign& importHelpDesign() {
    static const ViewerDesign d{"ImportHelp",    "Export.Txt",           "IMPORTHELP$VIEWWINDOW",
                                "Using Sitedex", "Help About Exporting", false,
                                "ImportHelp",    &data::ImportHelpText,  &data::NameImportHelp};
    return d;
}

ViewWindow viewWindow(const ViewerDesign& design) {
    ViewWindow v;
    ui::WindowDef& d = v.def;
    d.name = design.windowName;
    d.title = design.title;
    d.kind = ui::WindowKind::kMdiChild;
    d.width = 380;
    d.height = 210;
    d.resizable = true;
    // Alt+F belongs to the frame's File menu: Ctrl+F reaches Find... from the keyboard.
    d.alertKeys = {kF3Key, kCtrlF};
    v.list = d.addList("1020L@S255@", {4, 4, 372, 180});
    v.print = d.addButton("&Print", {4, 190, 45, 14});
    d.controls.back().tip = "Print the text";
    v.find = d.addButton("&Find...", {53, 190, 45, 14});
    d.controls.back().tip = "Search the text (Ctrl+F)";
    v.findNext = d.addButton("Find Next", {102, 190, 45, 14});
    d.controls.back().tip = "Search again for the same text (F3)";
    d.controls.back().disabled = true;
    v.close = d.addButton("&Close", {331, 190, 45, 14});
    d.controls.back().tip = "Close this window";
    return v;
}

LoadingWindow loadingWindow(const ViewerDesign& design) {
    LoadingWindow l;
    ui::WindowDef& d = l.def;
    d.name = std::string(design.procedure) == "WhatsNew"     ? "WHATSNEW$PROGRESSWINDOW"
             : std::string(design.procedure) == "ExportHelp" ? "EXPORTHELP$PROGRESSWINDOW"
                                                             : "IMPORTHELP$PROGRESSWINDOW";
    d.title = "Progress...";
    d.kind = ui::WindowKind::kDialog;
    d.width = 160;
    d.height = 70;
    d.centered = true;
    d.timer = 1;
    d.alertKeys = {kEscKey};
    l.bar = d.addProgress(nullptr, {15, 8, 130, 12});
    l.line = d.addString(design.loadingText, {15, 23, 130, 10});
    d.controls.back().centered = true;
    l.percent = d.addString("0% Completed", {15, 35, 130, 10});
    d.controls.back().centered = true;
    l.cancel = d.addButton("Cancel", {60, 50, 40, 14}, true);
    return l;
}

SearchWindow searchWindow(const ViewerDesign& design) {
    SearchWindow s;
    ui::WindowDef& d = s.def;
    const std::string p = design.procedure;
    d.name = p == "WhatsNew"     ? "WHATSNEW$ASC1:SEARCHWINDOW"
             : p == "ExportHelp" ? "EXPORTHELP$ASC1:SEARCHWINDOW"
                                 : "IMPORTHELP$ASC1:SEARCHWINDOW";
    d.title = "Searching Text...";
    d.kind = ui::WindowKind::kDialog;
    d.width = 206;
    d.height = 66;
    d.centered = true;
    d.alertKeys = {kEnterKey, kEscKey};
    s.findWhatPrompt = d.addPrompt("Fi&nd What:", {8, 10, 42, 10});
    s.findWhat = d.addEntry(nullptr, {52, 8, 90, 12});
    s.wholeWord = d.addCheck("Match &Whole Word Only", nullptr, {8, 28, 100, 10});
    s.matchCase = d.addCheck("Match &Case", nullptr, {8, 42, 100, 10});
    s.direction = d.addOption("Direction", nullptr, {112, 24, 86, 30});
    s.up = d.addRadio(s.direction, "&Up", "Up", {118, 38, 30, 10});
    s.down = d.addRadio(s.direction, "&Down", "Down", {152, 38, 40, 10});
    s.find = d.addButton("Find", {150, 6, 48, 14}, true);
    s.cancel = d.addButton("Cancel", {150, 24, 48, 14});
    return s;
}

std::string loadingPercentText(const ViewerDesign& design, int percent, long long bytes) {
    std::string text = format("@N3", double(percent)) + "% Completed";
    if (design.showBytes)
        text += " (" + std::to_string(bytes) + ") bytes";
    return text;
}

namespace {

// Loads the design's file into the lines, in the loading window (steps 1 to 7 of the load).
void loadText(const ViewerDesign& design, std::vector<std::string>& lines) {
    std::string path = design.fileName;
    if (design.builtInCopy && ::access(design.fileName, F_OK) != 0) {
        const std::string copy = ui::builtInTextFile(design.fileName);
        if (!copy.empty())
            path = copy;
    }
    *design.nameVariable = path;
    data::FileDecl& file = *design.file;
    if (data::open(file, data::kAccessRead | data::kShareDenyAll) != 0) {  // 1
        data::ShowWarning(26, design.fileName);
        return;
    }
    if (data::bytes(file) == 0) {  // 2
        data::close(file);
        data::ShowWarning(28, design.fileName);
        return;
    }
    const LoadingWindow lw = loadingWindow(design);  // 3
    TextLoadJob job(file, lines);
    {
        ui::Window w(lw.def);
        w.setTitle("Reading File");
        int shown = 0;
        while (w.waitForEvent()) {
            const int event = currentEvent();
            if (event == kEventOpenWindow) {  // 4
                job.start();
                if (job.ended())
                    w.post(kEventCloseWindow);
            } else if (event == kEventTimer && !job.ended()) {  // 5
                const bool more = runFor(job);
                if (job.percent() != shown) {
                    shown = job.percent();
                    w.setValue(lw.bar, shown);
                    w.setText(lw.percent, loadingPercentText(design, shown, job.processed()));
                }
                if (!more)
                    w.post(kEventCloseWindow);  // 6
            } else if ((event == kEventAccepted && acceptedControl() == lw.cancel) ||
                       (event == kEventAlertKey && keyCode() == kEscKey) ||
                       (event == kEventCloseWindow && !job.ended())) {
                if (event == kEventCloseWindow)
                    w.keepOpen();
                if (data::ShowWarning(27, design.fileName) == kButtonOk) {
                    job.cancel();
                    w.post(kEventCloseWindow);
                }
            }
        }
        w.close();
    }
    data::close(file);  // 7
}

// The lines as a printed report: the viewer's title on every page, each line in the fixed font
// (a line wider than the page goes on over the next lines), the page number at the bottom.
ui::ReportPages layOutLines(const ViewerDesign& design, const std::vector<std::string>& lines) {
    ui::ReportLayout layout;
    layout.paper = ui::printerPaper();
    layout.header = {1000, 1000, 6500, 400};
    layout.body = {1000, 1500, 6500, 7500};
    layout.footer = {1000, 9100, 6500, 219};
    layout.pageHeader.height = 400;
    layout.pageHeader.text(0, 0, 6500, design.title, ui::ReportFont::kBold);
    layout.pageFooter = [](int page) {
        ui::Band b;
        b.height = 219;
        b.rightText(0, 0, 6500, format("@pPage <<<#p", double(page)));
        return b;
    };
    ui::ReportBuilder report(ui::fitToPaper(layout));
    const int lineHeight = ui::reportLineHeight(ui::ReportFont::kFixed);
    for (const std::string& line : lines) {
        ui::Band band;
        band.height = lineHeight;
        band.wrappedText(0, 0, 6500, lineHeight, line, ui::ReportFont::kFixed);
        report.printDetail(band);
    }
    return report.takePages();
}

void printLines(ui::Window& w, const ViewerDesign& design, const std::vector<std::string>& lines) {
    w.setWaitCursor();
    const ui::ReportPages pages = layOutLines(design, lines);
    w.restoreCursor();
    if (pages.empty())
        return;
    reports::printPages(pages, design.title);
}

// The search window: true when the user chose Find (the settings then hold what was entered).
bool askSearch(const ViewerDesign& design, SearchSettings& settings) {
    const SearchWindow sw = searchWindow(design);
    std::string text;  // empty each time the window opens
    int wholeWord = settings.wholeWord ? 1 : 0;
    int matchCase = settings.matchCase ? 1 : 0;
    std::string direction = settings.direction;
    ui::WindowDef def = sw.def;
    def.controls[size_t(sw.findWhat - 1)].textVariable = &text;
    def.controls[size_t(sw.wholeWord - 1)].numberVariable = &wholeWord;
    def.controls[size_t(sw.matchCase - 1)].numberVariable = &matchCase;
    def.controls[size_t(sw.direction - 1)].textVariable = &direction;
    ui::Window w(def);
    bool find = false;
    while (w.waitForEvent()) {
        const int event = currentEvent();
        if (event == kEventOpenWindow)
            w.focus(sw.findWhat);
        const bool findNow = (event == kEventAccepted && acceptedControl() == sw.find) ||
                             (event == kEventAlertKey && keyCode() == kEnterKey);
        if (findNow) {
            // What is being typed counts, whether or not the field was left.
            text = w.text(sw.findWhat);
            find = true;
            w.post(kEventCloseWindow);
        } else if ((event == kEventAccepted && acceptedControl() == sw.cancel) ||
                   (event == kEventAlertKey && keyCode() == kEscKey)) {
            w.post(kEventCloseWindow);
        }
    }
    w.close();
    if (!find)
        return false;
    settings.text = std::string(data::utf8Prefix(text, kSearchTextSize));
    settings.wholeWord = wholeWord != 0;
    settings.matchCase = matchCase != 0;
    settings.direction = direction == "Up" ? "Up" : "Down";
    return true;
}

void search(ui::Window& w, LineList& list, const std::vector<std::string>& lines, const SearchSettings& settings) {
    w.setWaitCursor();
    const int found = searchLines(lines, list.current(), settings, [&](const std::string& direction) {
        w.restoreCursor();
        const bool again = data::ShowWarning(29, direction) == kButtonYes;
        w.setWaitCursor();
        return again;
    });
    if (found > 0)
        list.select(found);
    w.restoreCursor();
}

// Keeps the list filling the window and the buttons along its bottom.
void layOut(ui::Window& w, const ViewWindow& v) {
    const int margin = w.controlGeometry(v.list).x;
    const ui::Rect button = w.controlGeometry(v.print);
    const int buttonsY = std::max(margin, w.clientHeight() - button.height - margin);
    w.setControlGeometry(
        v.list, {margin, margin, std::max(1, w.clientWidth() - 2 * margin), std::max(1, buttonsY - 2 * margin)});
    for (int b : {v.print, v.find, v.findNext}) {
        const ui::Rect r = w.controlGeometry(b);
        w.setControlGeometry(b, {r.x, buttonsY, r.width, r.height});
    }
    const ui::Rect c = w.controlGeometry(v.close);
    w.setControlGeometry(v.close, {std::max(margin, w.clientWidth() - c.width - margin), buttonsY, c.width, c.height});
}

}  // namespace

void runTextViewer(const ViewerDesign& design) {
    std::vector<std::string> lines;  // lives as long as the window
    SearchSettings settings;
    const ViewWindow v = viewWindow(design);
    ui::Window w(v.def);
    RestoreWindowPlacement(w, design.placement);
    ui::useFixedPitchFont(w, v.list);
    LineList list(w, v.list, lines);
    bool loaded = false;
    while (w.waitForEvent()) {
        const int event = currentEvent();
        if (event == kEventOpenWindow || event == kEventGainFocus) {
            layOut(w, v);
            if (!loaded) {
                loaded = true;
                loadText(design, lines);
            }
            list.refresh();
            w.focus(v.list);
            continue;
        }
        if (event == kEventSized) {
            layOut(w, v);
            list.refresh();
            continue;
        }
        if (list.handleEvent())
            continue;
        const bool findNext = (event == kEventAccepted && acceptedControl() == v.findNext) ||
                              (event == kEventAlertKey && keyCode() == kF3Key && w.isEnabled(v.findNext));
        if (findNext) {
            search(w, list, lines, settings);
        } else if ((event == kEventAccepted && acceptedControl() == v.find) ||
                   (event == kEventAlertKey && keyCode() == kCtrlF)) {
            if (askSearch(design, settings)) {
                if (settings.text.empty())
                    w.disable(v.findNext);
                else
                    w.enable(v.findNext);
                search(w, list, lines, settings);
            }
        } else if (event == kEventAccepted && acceptedControl() == v.print) {
            printLines(w, design, lines);
        } else if (event == kEventAccepted && acceptedControl() == v.close) {
            w.post(kEventCloseWindow);
        }
    }
    SaveWindowPlacement(w, design.placement);
    w.close();
}

void WhatsNew() {
    runTextViewer(whatsNewDesign());
}
void ExportHelp() {
    runTextViewer(exportHelpDesign());
}
void ImportHelp() {
    runTextViewer(importHelpDesign());
}

void registerViewerProcedures() {
    registerProcedure("WhatsNew", WhatsNew);
    registerProcedure("ExportHelp", ExportHelp);
    registerProcedure("ImportHelp", ImportHelp);
}

}  // namespace sitedex::app::viewer

#include "app/reports/report_preview.h"

#include <algorithm>
#include <vector>

#include "app/reports/preview_layout.h"
#include "app/reports/progress_window.h"
#include "runtime/events.h"
#include "runtime/hooks.h"
#include "runtime/procedures.h"
#include "runtime/window_placement.h"
#include "ui/message_box.h"
#include "ui/page_image.h"
#include "ui/report_output.h"
#include "ui/window.h"
#include "ui/window_chrome.h"

namespace sitedex::app::reports {

using namespace runtime;

namespace {

PreviewWindow makePreviewWindow() {
    PreviewWindow w;
    ui::WindowDef& d = w.def;
    d.name = "REPORTPREVIEW$WINDOW";
    d.title = "Report Preview";
    d.kind = ui::WindowKind::kDialog;
    d.width = 520;
    d.height = 380;
    d.centered = true;
    d.resizable = true;
    d.statusBar = true;
    d.alertKeys = {kPgUpKey, kPgDnKey, kEscKey};

    w.fileMenu = d.addMenu(0, "&File");
    w.printItem = d.addItem(w.fileMenu, "&Print", "Print the report");
    w.pdfItem = d.addItem(w.fileMenu, "Save as P&DF...", "Save the report as a PDF document");
    d.addSeparator(w.fileMenu);
    w.exitItem = d.addItem(w.fileMenu, "E&xit", "Exit without printing the report");
    w.viewMenu = d.addMenu(0, "&View");
    w.nextItem = d.addItem(w.viewMenu, "&Next Page(s)", "View the next page or pages of the report");
    w.previousItem = d.addItem(w.viewMenu, "&Previous Page(s)", "View the previous page or pages of the report");
    w.jumpItem = d.addItem(w.viewMenu, "&Jump to a page", "Jump to a specific page of the report");
    w.displayItem = d.addItem(w.viewMenu, "&Change Display", "Change the number of pages displayed");
    w.zoomMenu = d.addMenu(w.viewMenu, "&Zoom");
    const char* zooms[] = {"No &Zoom",     "Page &Width",  "&50 Percent", "&75 Percent",
                           "&100 Percent", "&200 Percent", "&300 Percent"};
    for (int i = 0; i < 7; ++i)
        w.zoomItems[i] = d.addItem(w.zoomMenu, zooms[i]);

    // The toolbar: one row of controls 18 units high along the top.
    w.printButton = d.addButton("Print", {2, 2, 34, 14});
    d.controls.back().tip = "Print this report";
    w.exitButton = d.addButton("Exit", {38, 2, 34, 14});
    d.controls.back().tip = "Exit without printing the report";
    w.zoomButton = d.addButton("Zoom...", {74, 2, 38, 14});
    d.controls.back().tip = "Zoom in on a page of the report";
    w.pagePrompt = d.addPrompt("&Page:", {120, 5, 22, 10});
    w.pageSpin = d.addSpin(nullptr, {143, 2, 40, 13}, 1, 9999);
    w.acrossPrompt = d.addPrompt("&Across:", {192, 5, 28, 10});
    w.acrossSpin = d.addSpin(nullptr, {221, 2, 30, 13}, 1, 10);
    d.controls.back().tip = "Select the number of thumbnails in a row";
    w.downPrompt = d.addPrompt("&Down:", {259, 5, 24, 10});
    w.downSpin = d.addSpin(nullptr, {284, 2, 30, 13}, 1, 10);
    d.controls.back().tip = "Select the number of thumbnails in a column";
    return w;
}

JumpWindow makeJumpWindow() {
    JumpWindow w;
    ui::WindowDef& d = w.def;
    d.name = "JUMPTOPAGE$WINDOW";
    d.title = "Jump to a Report Page";
    d.kind = ui::WindowKind::kDialog;
    d.width = 170;
    d.height = 50;
    d.centered = true;
    d.alertKeys = {kEnterKey, kEscKey};
    w.pagePrompt = d.addPrompt("&Page:", {25, 12, 30, 10});
    w.pageSpin = d.addSpin(nullptr, {59, 10, 50, 13}, 1, 99999);
    d.controls.back().tip = "Select a page of the report";
    w.ok = d.addButton("OK", {41, 30, 40, 14}, true);
    d.controls.back().tip = "Jump to the selected page";
    w.cancel = d.addButton("Cancel", {89, 30, 40, 14});
    d.controls.back().tip = "Cancel this selection";
    return w;
}

DisplayWindow makeDisplayWindow() {
    DisplayWindow w;
    ui::WindowDef& d = w.def;
    d.name = "CHANGEDISPLAY$WINDOW";
    d.title = "Change the Report Display";
    d.kind = ui::WindowKind::kDialog;
    d.width = 170;
    d.height = 76;
    d.centered = true;
    d.alertKeys = {kEnterKey, kEscKey};
    ui::ControlDef group;
    group.kind = ui::ControlKind::kBox;
    group.text = "Pages Displayed";
    group.at = {28, 4, 114, 44};
    w.group = d.add(group);
    w.acrossPrompt = d.addPrompt("&Across", {38, 18, 30, 10});
    w.acrossSpin = d.addSpin(nullptr, {72, 16, 34, 13}, 1, 10);
    w.downPrompt = d.addPrompt("&Down", {38, 32, 30, 10});
    w.downSpin = d.addSpin(nullptr, {72, 30, 34, 13}, 1, 10);
    w.ok = d.addButton("OK", {65, 56, 40, 14}, true);
    return w;
}

// The preview's pictures: the thumbnails or the zoomed page, laid out for the window's present size.
class PreviewView {
public:
    PreviewView(ui::Window& w, const PreviewWindow& pw, const ui::ReportPages& pages, PreviewPages& p)
        : m_w(w), m_pw(pw), m_pages(pages), m_p(p) {
        const ui::PaperSize paper = pages.front().paper();
        const double dpi = ui::screenPixelsPerInch(w);
        m_naturalWidth = paper.width * dpi / 1000.0;
        m_naturalHeight = paper.height * dpi / 1000.0;
        m_aspect = double(paper.height) / double(paper.width);
    }

    // The thumbnail (0-based) a control is, or -1.
    int thumbnailOf(int control) const {
        auto it = std::find(m_thumbnails.begin(), m_thumbnails.end(), control);
        return it == m_thumbnails.end() ? -1 : int(it - m_thumbnails.begin());
    }
    int zoomed() const { return m_zoomed; }

    void draw() {
        const int toolbar = toolbarHeight();
        if (m_p.zoom == Zoom::kNone) {
            if (m_zoomed)
                ui::removePageImage(m_w, m_zoomed);
            m_zoomed = 0;
            if (m_p.across != m_madeAcross || m_p.down != m_madeDown || m_thumbnails.empty()) {
                for (int t : m_thumbnails)
                    ui::removePageImage(m_w, t);
                m_thumbnails.clear();
                for (int i = 0; i < m_p.across * m_p.down; ++i)
                    m_thumbnails.push_back(ui::createPageImage(m_w, m_pages, ui::PageImageKind::kFramed));
                m_madeAcross = m_p.across;
                m_madeDown = m_p.down;
            }
            const std::vector<Thumbnail> cells =
                layOutThumbnails(m_w.clientWidth(), m_w.clientHeight(), toolbar, m_p.across, m_p.down, m_aspect);
            for (size_t i = 0; i < m_thumbnails.size(); ++i) {
                const int page = m_p.current + int(i);
                const Thumbnail& c = cells[i];
                m_w.setControlGeometry(m_thumbnails[i], {c.x, c.y, c.width, c.height});
                ui::showPage(m_w, m_thumbnails[i], page);
                if (page <= m_p.total)
                    m_w.unhide(m_thumbnails[i]);
                else
                    m_w.hide(m_thumbnails[i]);
            }
        } else {
            for (int t : m_thumbnails)
                ui::removePageImage(m_w, t);
            m_thumbnails.clear();
            m_madeAcross = m_madeDown = 0;
            if (!m_zoomed)
                m_zoomed = ui::createPageImage(m_w, m_pages, ui::PageImageKind::kScrolled);
            m_w.setControlGeometry(m_zoomed,
                                   {0, toolbar, m_w.clientWidth(), std::max(1, m_w.clientHeight() - toolbar)});
            m_w.unhide(m_zoomed);
            double factor = zoomFactor(m_p.zoom);
            if (m_p.zoom == Zoom::kPageWidth)
                factor = ui::widthBesideScrollBar(m_w, m_zoomed) / m_naturalWidth;
            ui::setHorizontalScrollBar(m_w, m_zoomed, m_p.zoom != Zoom::kPageWidth);
            ui::setPageSize(m_w, m_zoomed, int(m_naturalWidth * factor), int(m_naturalHeight * factor));
            ui::showPage(m_w, m_zoomed, m_p.current);
        }
        if (m_p.total > 1) {
            if (m_p.canGoPrevious())
                m_w.enable(m_pw.previousItem);
            else
                m_w.disable(m_pw.previousItem);
            if (m_p.canGoNext())
                m_w.enable(m_pw.nextItem);
            else
                m_w.disable(m_pw.nextItem);
        }
        ui::setStatusZone(m_w, 2, pageStatus(m_p));
        ui::setStatusZone(m_w, 3, zoomStatus(m_p.zoom));
        for (int i = 0; i < 7; ++i)
            ui::setItemChecked(m_w, m_pw.zoomItems[i], zoomOfItem(i + 1) == m_p.zoom);
    }

private:
    // The toolbar's row: below its lowest control.
    int toolbarHeight() const {
        int bottom = 0;
        for (int c :
             {m_pw.printButton, m_pw.exitButton, m_pw.zoomButton, m_pw.pageSpin, m_pw.acrossSpin, m_pw.downSpin}) {
            const ui::Rect r = m_w.controlGeometry(c);
            bottom = std::max(bottom, r.y + r.height);
        }
        return bottom + 3;
    }

    ui::Window& m_w;
    const PreviewWindow& m_pw;
    const ui::ReportPages& m_pages;
    PreviewPages& m_p;
    double m_naturalWidth = 0, m_naturalHeight = 0, m_aspect = 1;
    std::vector<int> m_thumbnails;
    int m_madeAcross = 0, m_madeDown = 0;
    int m_zoomed = 0;
};

std::string suggestedPdfName(const std::string& title) {
    std::string name;
    for (char c : title)
        name += (c == '/' || c == '\\' || c == ':') ? '-' : c;
    return (name.empty() ? std::string("Report") : name) + ".pdf";
}

void saveAsPdf(const ui::ReportPages& pages, const std::string& title) {
    const std::string path = ui::askPdfFileName(suggestedPdfName(title));
    if (path.empty())
        return;
    auto job = ui::PageOutputJob::toPdf(pages, path, title);
    if (!job->error().empty()) {
        messageBox("The report was not saved.  " + job->error() + ".", "Save as PDF", kIconExclamation, kButtonOk,
                   kButtonOk);
        return;
    }
    const bool finished = runWithProgress(*job, "Saving as PDF");
    if (finished && !job->succeeded())
        messageBox("The report was not saved.  " + job->error() + ".", "Save as PDF", kIconExclamation, kButtonOk,
                   kButtonOk);
}

}  // namespace

const PreviewWindow& previewWindow() {
    static const PreviewWindow w = makePreviewWindow();
    return w;
}

const JumpWindow& jumpWindow() {
    static const JumpWindow w = makeJumpWindow();
    return w;
}

const DisplayWindow& displayWindow() {
    static const DisplayWindow w = makeDisplayWindow();
    return w;
}

int JumpToReportPage(int current, int total) {
    const JumpWindow& jw = jumpWindow();
    int page = current;
    ui::WindowDef def = jw.def;
    def.controls[size_t(jw.pageSpin - 1)].numberVariable = &page;
    def.controls[size_t(jw.pageSpin - 1)].rangeHigh = std::max(1, total);
    ui::Window w(def);
    int chosen = current;
    while (w.waitForEvent()) {
        const int event = currentEvent();
        const bool ok = (event == kEventAccepted && acceptedControl() == jw.ok) ||
                        (event == kEventAlertKey && keyCode() == kEnterKey);
        if (ok) {
            ui::commitTypedValues(w);
            chosen = clampToRange(page, 1, total);
            w.post(kEventCloseWindow);
        } else if ((event == kEventAccepted && acceptedControl() == jw.cancel) ||
                   (event == kEventAlertKey && keyCode() == kEscKey)) {
            w.post(kEventCloseWindow);
        }
    }
    w.close();
    return chosen;
}

void ChangeReportDisplay(int& across, int& down) {
    const DisplayWindow& dw = displayWindow();
    int a = across, d = down;
    ui::WindowDef def = dw.def;
    def.controls[size_t(dw.acrossSpin - 1)].numberVariable = &a;
    def.controls[size_t(dw.downSpin - 1)].numberVariable = &d;
    ui::Window w(def);
    while (w.waitForEvent()) {
        const int event = currentEvent();
        if ((event == kEventAccepted && acceptedControl() == dw.ok) ||
            (event == kEventAlertKey && keyCode() == kEnterKey)) {
            ui::commitTypedValues(w);
            across = clampToRange(a, 1, 10);
            down = clampToRange(d, 1, 10);
            w.post(kEventCloseWindow);
        } else if (event == kEventAlertKey && keyCode() == kEscKey) {
            w.post(kEventCloseWindow);
        }
    }
    w.close();
}

void ReportPreview(const ui::ReportPages& pages, const std::string& title) {
    CallResponse() = 0;
    if (pages.empty()) {
        CallResponse() = ResponseCancelled;
        return;
    }
    const PreviewWindow& pw = previewWindow();
    PreviewPages p;  // 2
    p.total = int(pages.size());
    int pageValue = 1, acrossValue = 1, downValue = 1;
    ui::WindowDef def = pw.def;
    def.controls[size_t(pw.pageSpin - 1)].numberVariable = &pageValue;
    def.controls[size_t(pw.pageSpin - 1)].rangeHigh = p.total;
    def.controls[size_t(pw.pageSpin - 1)].tip = "Enter a page number from 1 to " + std::to_string(p.total);
    def.controls[size_t(pw.acrossSpin - 1)].numberVariable = &acrossValue;
    def.controls[size_t(pw.downSpin - 1)].numberVariable = &downValue;

    ui::Window w(def);  // 1
    RestoreWindowPlacement(w, "ReportPreview");
    if (p.total == 1) {  // 3
        w.disable(pw.pageSpin);
        w.disable(pw.acrossSpin);
        w.disable(pw.downSpin);
        w.disable(pw.viewMenu);
    }
    PreviewView view(w, pw, pages, p);
    bool print = false;
    auto redraw = [&] {
        pageValue = p.current;
        acrossValue = p.across;
        downValue = p.down;
        w.redisplay(pw.pageSpin);
        w.redisplay(pw.acrossSpin);
        w.redisplay(pw.downSpin);
        view.draw();
    };
    auto setZoom = [&](Zoom zoom) {
        p.zoom = zoom;
        redraw();
    };
    while (w.waitForEvent()) {
        const int event = currentEvent();
        const int control = eventControl();
        if (event == kEventOpenWindow || event == kEventSized) {  // 4; the window's new size
            redraw();
            continue;
        }
        if (event == kEventAlertKey) {
            if (keyCode() == kEscKey)
                w.post(kEventCloseWindow);
            if (p.total > 1 && keyCode() == kPgDnKey && p.canGoNext()) {
                p.next();
                redraw();
            }
            if (p.total > 1 && keyCode() == kPgUpKey && p.canGoPrevious()) {
                p.previous();
                redraw();
            }
            continue;
        }
        if (event == kEventNewSelection || event == kEventAccepted) {
            if (control == pw.pageSpin) {
                p.current = clampToRange(pageValue, 1, p.total);
                redraw();
                continue;
            }
            if (control == pw.acrossSpin || control == pw.downSpin) {
                p.across = clampToRange(acrossValue, 1, 10);
                p.down = clampToRange(downValue, 1, 10);
                setZoom(Zoom::kNone);
                continue;
            }
        }
        if (event != kEventAccepted)
            continue;
        if (control == pw.printItem || control == pw.printButton) {
            std::string why;
            if (!ui::canPrint(&why)) {
                messageBox(why + "  The report can also be saved as PDF: File > Save as PDF...", "Print",
                           kIconExclamation, kButtonOk, kButtonOk);
            } else {
                print = true;
                w.post(kEventCloseWindow);
            }
        } else if (control == pw.pdfItem) {
            saveAsPdf(pages, title);
        } else if (control == pw.exitItem || control == pw.exitButton) {
            w.post(kEventCloseWindow);
        } else if (control == pw.nextItem) {
            p.next();
            redraw();
        } else if (control == pw.previousItem) {
            p.previous();
            redraw();
        } else if (control == pw.jumpItem) {
            p.current = JumpToReportPage(p.current, p.total);
            redraw();
        } else if (control == pw.displayItem) {
            ChangeReportDisplay(p.across, p.down);
            setZoom(Zoom::kNone);
        } else if (control == pw.zoomButton) {
            if (int item = ui::popupMenu(zoomPopupText(p.zoom)); item != 0)
                setZoom(zoomOfItem(item));
        } else if (int thumbnail = view.thumbnailOf(control); thumbnail >= 0) {
            if (p.current + thumbnail <= p.total) {
                p.current += thumbnail;
                setZoom(Zoom::kPageWidth);
            }
        } else if (control != 0 && control == view.zoomed()) {
            setZoom(Zoom::kNone);
        } else {
            for (int i = 0; i < 7; ++i)
                if (control == pw.zoomItems[i])
                    setZoom(zoomOfItem(i + 1));
        }
    }
    SaveWindowPlacement(w, "ReportPreview");
    w.close();
    CallResponse() = print ? ResponseCompleted : ResponseCancelled;
}

}  // namespace sitedex::app::reports

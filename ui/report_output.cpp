// Printing kept pages and writing them as PDF, one page per step; the dialog that asks for a PDF's
// name.
#include "ui/report_output.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

#include "runtime/thread_state.h"
#include "ui/report_paint.h"
#include "ui/scheduler.h"
#include "ui/window_private.h"

namespace sitedex::ui {

namespace {
QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

PaperSize paperOf(const QSizeF& inches) {
    return {int(std::lround(inches.width() * 1000)), int(std::lround(inches.height() * 1000))};
}
}  // namespace

PaperSize printerPaper() {
    if (!QCoreApplication::instance())
        return localePaper();
    return paperOf(programPrinter().pageLayout().fullRect(QPageLayout::Inch).size());
}

PaperSize localePaper() {
    return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? PaperSize{8500, 11000}
                                                                              : PaperSize{8268, 11693};
}

bool paperByName(const std::string& name, PaperSize& paper) {
    std::string n = name;
    std::transform(n.begin(), n.end(), n.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (n == "letter")
        paper = {8500, 11000};
    else if (n == "legal")
        paper = {8500, 14000};
    else if (n == "a4")
        paper = {8268, 11693};
    else if (n == "a5")
        paper = {5827, 8268};
    else
        return false;
    return true;
}

bool canPrint(std::string* why) {
    if (QApplication::instance()) {
        const QPrinter& p = programPrinter();
        if (p.outputFormat() == QPrinter::PdfFormat && !p.outputFileName().isEmpty())
            return true;
        if (!QPrinterInfo::availablePrinterNames().isEmpty() && p.isValid())
            return true;
    }
    if (why)
        *why =
            "No printer is installed, so nothing can be printed.  Install a printer in the system's settings, or "
            "choose File > Print Setup ... to print to a file.";
    return false;
}

// ---- output targets -------------------------------------------------------------------------------

struct PageOutputJob::Target {
    virtual ~Target() = default;
    // Starts the first page (true), or fails with a message.
    virtual bool begin(const PageDrawing& first, std::string& error) = 0;
    virtual bool newPage(const PageDrawing& page) = 0;
    virtual QRectF pageRect(const PageDrawing& page) const = 0;
    // Ends the output and puts it in place; false with a message when that failed.
    virtual bool end(std::string& error) = 0;
    virtual void abort() = 0;
    QPainter painter;
};

namespace {

class PdfTarget : public PageOutputJob::Target {
public:
    PdfTarget(const std::string& path, const std::string& title) : m_path(path), m_title(title), m_file(qs(path)) {}

    bool open(std::string& error) {
        if (m_file.open(QIODevice::WriteOnly))
            return true;
        error = "cannot write " + m_path + ": " + m_file.errorString().toStdString();
        return false;
    }
    bool begin(const PageDrawing& first, std::string& error) override {
        m_writer = std::make_unique<QPdfWriter>(&m_file);
        m_writer->setResolution(1000);  // a device pixel is a thousandth of an inch, the page's unit
        m_writer->setTitle(qs(m_title));
        m_writer->setCreator(QStringLiteral("Sitedex"));
        setSize(first);
        if (!painter.begin(m_writer.get())) {
            error = "cannot write " + m_path;
            return false;
        }
        return true;
    }
    bool newPage(const PageDrawing& page) override {
        setSize(page);
        return m_writer->newPage();
    }
    QRectF pageRect(const PageDrawing& page) const override {
        return QRectF(0, 0, page.paper().width, page.paper().height);
    }
    bool end(std::string& error) override {
        if (painter.isActive())
            painter.end();
        m_writer.reset();
        if (m_file.commit())
            return true;
        error = "cannot write " + m_path + ": " + m_file.errorString().toStdString();
        return false;
    }
    void abort() override {
        if (painter.isActive())
            painter.end();
        m_writer.reset();
        m_file.cancelWriting();
    }

private:
    void setSize(const PageDrawing& page) {
        const PaperSize p = page.paper();
        m_writer->setPageLayout(QPageLayout(QPageSize(QSizeF(p.width / 1000.0, p.height / 1000.0), QPageSize::Inch),
                                            QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    }

    std::string m_path, m_title;
    QSaveFile m_file;
    std::unique_ptr<QPdfWriter> m_writer;
};

class PrinterTarget : public PageOutputJob::Target {
public:
    explicit PrinterTarget(const std::string& title) : m_title(title) {}

    bool begin(const PageDrawing&, std::string& error) override {
        if (!canPrint(&error))
            return false;
        QPrinter& p = programPrinter();
        p.setFullPage(true);  // the pages are laid out from the paper's edge
        p.setDocName(qs(m_title));
        if (!painter.begin(&p)) {
            error = "The printer " + p.printerName().toStdString() + " could not start printing the report.";
            return false;
        }
        return true;
    }
    bool newPage(const PageDrawing&) override { return programPrinter().newPage(); }
    QRectF pageRect(const PageDrawing& page) const override {
        const double dpi = programPrinter().resolution();
        return QRectF(0, 0, page.paper().width * dpi / 1000.0, page.paper().height * dpi / 1000.0);
    }
    bool end(std::string& error) override {
        if (painter.isActive() && !painter.end()) {
            error = "The printer " + programPrinter().printerName().toStdString() + " did not take the report.";
            return false;
        }
        return true;
    }
    void abort() override {
        programPrinter().abort();
        if (painter.isActive())
            painter.end();
    }

private:
    std::string m_title;
};

}  // namespace

// ---- the job --------------------------------------------------------------------------------------

PageOutputJob::PageOutputJob(const ReportPages& pages, std::unique_ptr<Target> target)
    : m_pages(pages), m_target(std::move(target)) {}

PageOutputJob::~PageOutputJob() {
    if (!m_done && m_target)
        m_target->abort();
}

std::unique_ptr<PageOutputJob> PageOutputJob::toPrinter(const ReportPages& pages, const std::string& title) {
    auto job = std::unique_ptr<PageOutputJob>(new PageOutputJob(pages, std::make_unique<PrinterTarget>(title)));
    job->m_toPrinter = true;
    return job;
}

std::unique_ptr<PageOutputJob> PageOutputJob::toPdf(const ReportPages& pages, const std::string& path,
                                                    const std::string& title) {
    auto target = std::make_unique<PdfTarget>(path, title);
    std::string error;
    const bool opened = target->open(error);
    auto job = std::unique_ptr<PageOutputJob>(new PageOutputJob(pages, std::move(target)));
    if (!opened) {
        job->m_error = error;
        job->m_done = true;
    }
    return job;
}

namespace {
// The pages a printout takes, in order: the range and order chosen in the printer's dialog, and the
// copies when the printer does not make them itself.
std::vector<int> printOrder(int pageCount) {
    const QPrinter& p = programPrinter();
    int from = 1, to = pageCount;
    if (p.printRange() == QPrinter::PageRange && p.fromPage() > 0) {
        from = std::max(1, p.fromPage());
        to = std::min(pageCount, std::max(from, p.toPage()));
    }
    std::vector<int> once;
    for (int page = from; page <= to; ++page)
        once.push_back(page - 1);
    if (p.pageOrder() == QPrinter::LastPageFirst)
        std::reverse(once.begin(), once.end());
    const int copies = p.supportsMultipleCopies() ? 1 : std::max(1, p.copyCount());
    std::vector<int> order;
    if (p.collateCopies()) {
        for (int c = 0; c < copies; ++c)
            order.insert(order.end(), once.begin(), once.end());
    } else {
        for (int page : once)
            order.insert(order.end(), size_t(copies), page);
    }
    return order;
}
}  // namespace

bool PageOutputJob::step() {
    if (m_done)
        return false;
    if (m_cancelled) {
        m_target->abort();
        m_done = true;
        return false;
    }
    if (m_next == 0 && m_order.empty()) {
        if (m_toPrinter) {
            m_order = printOrder(int(m_pages.size()));
        } else {
            for (size_t i = 0; i < m_pages.size(); ++i)
                m_order.push_back(int(i));
        }
    }
    if (m_order.empty()) {
        m_error = m_pages.empty() ? "the report has no pages" : "the pages chosen to print are not in the report";
        m_target->abort();
        m_done = true;
        return false;
    }
    const PageDrawing& page = m_pages[size_t(m_order[size_t(m_next)])];
    if (m_next == 0) {
        if (!m_target->begin(page, m_error)) {
            m_target->abort();
            m_done = true;
            return false;
        }
    } else if (!m_target->newPage(page)) {
        m_error = "the output stopped at page " + std::to_string(m_next + 1);
        m_target->abort();
        m_done = true;
        return false;
    }
    paintPage(m_target->painter, page, m_target->pageRect(page));
    if (++m_next == int(m_order.size()))
        finish();
    return !m_done;
}

void PageOutputJob::finish() {
    m_target->end(m_error);
    m_done = true;
}

int PageOutputJob::percent() const {
    if (m_order.empty())
        return m_done ? 100 : 0;
    return std::min(100, int(int64_t(m_next) * 100 / int64_t(m_order.size())));
}

void PageOutputJob::cancel() {
    m_cancelled = true;
}

// ---- the PDF name dialog --------------------------------------------------------------------------

namespace {
std::function<std::string(const std::string&)> g_pdfResponder;
}

void setPdfFileNameResponder(std::function<std::string(const std::string& suggested)> responder) {
    g_pdfResponder = std::move(responder);
}

std::string askPdfFileName(const std::string& suggested) {
    if (!QApplication::instance())
        return {};
    const int thread = runtime::currentThread();
    auto& list = windowsOfThread(thread);
    WindowPrivate* owner = list.empty() ? nullptr : list.back();
    if (owner)
        owner->block();
    WindowPrivate* f = frameInternals();
    QPointer<QFileDialog> dialog = new QFileDialog(f ? f->frame.data() : nullptr, QStringLiteral("Save as PDF"));
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(QStringLiteral("PDF documents (*.pdf)"));
    dialog->setDefaultSuffix(QStringLiteral("pdf"));
    dialog->selectFile(qs(suggested));
    struct State {
        int result = -1;  // -1 while the dialog is up
        std::string answer;
    };
    auto state = std::make_shared<State>();
    QObject::connect(dialog, &QDialog::finished, dialog, [state, dialog, thread](int r) {
        if (state->answer.empty() && r == QDialog::Accepted && dialog)
            state->answer = dialog->selectedFiles().value(0).toStdString();
        state->result = r;
        wake(thread);
    });
    dialog->setWindowModality(Qt::NonModal);
    dialog->show();
    if (g_pdfResponder) {
        QMetaObject::invokeMethod(
            QApplication::instance(),
            [dialog, state, suggested] {
                if (!dialog || !g_pdfResponder)
                    return;
                state->answer = g_pdfResponder(suggested);
                // The answer is taken as given, past the dialog's own checks of the name.
                static_cast<QDialog*>(dialog.data())
                    ->done(state->answer.empty() ? QDialog::Rejected : QDialog::Accepted);
            },
            Qt::QueuedConnection);
    }
    waitUntil([state] { return state->result != -1; });
    if (dialog)
        dialog->deleteLater();
    if (owner && std::find(list.begin(), list.end(), owner) != list.end())
        owner->unblock();
    return state->result == QDialog::Accepted ? state->answer : std::string();
}

}  // namespace sitedex::ui

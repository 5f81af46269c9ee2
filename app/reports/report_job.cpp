#include "app/reports/report_job.h"

#include <algorithm>

#include "data/access.h"
#include "data/error_state.h"
#include "data/warnings.h"

namespace sitedex::app::reports {

namespace {

// Whether every component of the key is blank in the record buffer: such a record has no entry in
// a key that leaves blank values out.
bool blankInKey(data::FileDecl& file, const data::KeyDecl& key) {
    for (int c : key.components) {
        const data::FieldDecl& f = file.fields()[size_t(c < 0 ? -c : c) - 1];
        const char* p = file.record() + f.offset;
        const char blank = f.type == data::kTypeString ? ' ' : '\0';
        for (uint32_t i = 0; i < f.size; ++i)
            if (p[i] != blank)
                return false;
    }
    return true;
}

}  // namespace

ReportJob::ReportJob(const ReportDesign& design, ui::PaperSize paper)
    : m_design(design), m_report(reportLayout(design, paper)), m_view(*design.file) {}

ReportJob::~ReportJob() {
    if (m_quickScan)
        data::send(*m_design.file, "QUICKSCAN=off");
}

bool ReportJob::start() {
    data::FileDecl& file = *m_design.file;
    m_started = true;
    m_key = file.findKey(m_design.key);
    m_toProcess = data::records(file);
    data::send(file, "QUICKSCAN=on");
    m_quickScan = true;
    m_blankPass = m_key && (m_key->attributes & data::kKeyExcludeBlank) && data::records(*m_key) < m_toProcess;
    m_view.setOrder(m_blankPass ? nullptr : m_key);
    m_view.setFilter(std::function<bool()>());
    if (m_view.seekToStart() != 0)
        data::ShowWarning(36);
    if (!readNext()) {
        // Nothing to print (or the first read failed): no report.
        end(false);
        return false;
    }
    return true;
}

bool ReportJob::readNext() {
    while (true) {
        const int32_t r = m_view.next();
        if (r == 0) {
            if (m_blankPass && !blankInKey(*m_design.file, *m_key))
                continue;
            ++m_processed;
            if (m_percent < 100 && m_toProcess > 0)
                m_percent = int(std::min<int64_t>(100, m_processed * 100 / m_toProcess));
            return true;
        }
        if (r == data::kErrRecordNotAvailable) {
            if (!m_blankPass)
                return false;
            // The records without a key value are done; the rest follow in key order.
            m_blankPass = false;
            m_view.setOrder(m_key);
            if (m_view.seekToStart() != 0)
                data::ShowWarning(36);
            continue;
        }
        data::ShowWarning(35, m_design.fileLabel);
        return false;
    }
}

bool ReportJob::step() {
    if (m_ended || !m_started)
        return false;
    if (m_cancelRequested) {
        end(true);
        return false;
    }
    m_report.printDetail(detailBand(m_design));
    if (!readNext()) {
        end(false);
        return false;
    }
    return true;
}

void ReportJob::end(bool cancelled) {
    m_ended = true;
    m_cancelled = cancelled;
    if (m_quickScan) {
        data::send(*m_design.file, "QUICKSCAN=off");
        m_quickScan = false;
    }
}

ui::ReportPages ReportJob::takePages() {
    m_report.endLastPage();
    return m_report.takePages();
}

}  // namespace sitedex::app::reports

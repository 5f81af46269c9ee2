#include "app/export/export_job.h"

#include <chrono>

#include "app/export/writer.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "data/warnings.h"

namespace sitedex::app::exporting {

namespace {

std::string_view clipped(std::string_view text) {
    const size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

struct LocationFields {
    const data::FieldDecl* location = data::SITEDX.findField("URL:LOCATION");
    const data::FieldDecl* description = data::SITEDX.findField("URL:DESCRIPTION");
    const data::FieldDecl* category = data::SITEDX.findField("URL:CATEGORY");
    const data::FieldDecl* rating = data::SITEDX.findField("URL:RATING");
};
const LocationFields& locationFields() {
    static const LocationFields f;
    return f;
}

std::string_view stored(const char* record, const data::FieldDecl* f) {
    return {record + f->offset, f->size};
}

}  // namespace

ExportJob::ExportJob(ExportOptions options)
    : m_options(std::move(options)), m_exportFile(m_files), m_pageFile(m_files), m_view(data::SITEDX) {
    m_selected = std::string(clipped(m_options.category));
}

ExportJob::~ExportJob() {
    m_exportFile.close();
    m_pageFile.close();
}

bool ExportJob::start() {
    if (!m_exportFile.create(m_options.fileName))
        return fail();
    m_context = std::make_unique<WriterContext>(m_options, m_files, m_exportFile, m_pageFile);
    if (isHtmlPage(m_options.type))
        m_writer = makeHtmlWriter(*m_context);
    else if (m_options.type == ExportType::kBookmarkFile)
        m_writer = makeBookmarkWriter(*m_context);
    else
        m_writer = makeTextWriter(*m_context);
    m_toProcess = data::records(data::SITEDX);
    m_stage = Stage::kHeader;
    return true;
}

bool ExportJob::fail() {
    m_exportFile.close();
    m_pageFile.close();
    m_files.discard();
    if (m_error.empty())
        m_error = m_files.error() + "\nThe export was stopped and no earlier file was replaced.";
    m_stage = Stage::kDone;
    return false;
}

void ExportJob::finish() {
    m_exportFile.close();
    m_pageFile.close();
    if (m_readFailed) {
        m_files.discard();
        m_error = "The export was stopped by an error reading the Locations file; no earlier file was replaced.";
    } else if (!m_files.commit()) {
        fail();
        return;
    } else {
        m_succeeded = true;
    }
    m_stage = Stage::kDone;
}

void ExportJob::count() {
    ++m_processed;
    if (m_percent < 100 && m_toProcess > 0)
        m_percent = int(std::min<int64_t>(100, m_processed * 100 / m_toProcess));
}

void ExportJob::exportNext() {
    if (m_cancelled) {
        m_stage = Stage::kClosing;
        return;
    }
    if (const int32_t e = m_view.next(); e != 0) {
        if (e != data::kErrRecordNotAvailable) {
            data::saveCurrentError();  // shown once the snapshot is given back
            m_readFailed = true;
        }
        m_stage = Stage::kClosing;
        return;
    }
    count();
    const LocationFields& f = locationFields();
    const char* record = data::SITEDX.record();
    LocationRow row;
    row.storedCategory = stored(record, f.category);
    row.category = clipped(row.storedCategory);
    if (m_options.selectedOnly && !data::sameName(row.category, m_selected))
        return;
    row.storedLocation = stored(record, f.location);
    row.location = clipped(row.storedLocation);
    row.storedDescription = stored(record, f.description);
    row.description = clipped(row.storedDescription);
    row.siteInfo = clipped(data::SITEDX.memo(0));
    row.rating = int(data::getDecimalUnscaled(*f.rating, record));
    m_writer->record(row);
    if (m_files.failed()) {
        m_stage = Stage::kClosing;
        return;
    }
    ++m_exported;
}

bool ExportJob::step() {
    switch (m_stage) {
        case Stage::kNotStarted:
        case Stage::kDone:
            return false;

        case Stage::kHeader: {
            data::send(data::SITEDX, "QUICKSCAN=on");
            m_view.setOrder(
                data::SITEDX.findKey(m_options.byDescription ? "URL:K_CATEGORY" : "URL:K_CATEGORYLOCATION"));
            if (m_view.seekToStart() != 0)
                data::ShowWarning(36);
            m_writer->header();
            if (m_files.failed())
                return fail();
            m_stage = Stage::kRecords;
            return true;
        }

        case Stage::kRecords: {
            // A stretch of locations read in one snapshot of the Locations file: a millisecond or
            // so, short enough for other programs that wait to write it, and for Cancel.
            data::send(data::SITEDX, "SNAPSHOT=on");
            const auto until = std::chrono::steady_clock::now() + m_stretch;
            do {
                exportNext();
            } while (m_stage == Stage::kRecords && std::chrono::steady_clock::now() < until);
            data::send(data::SITEDX, "SNAPSHOT=off");
            if (m_readFailed)
                data::ShowWarning(35, data::SITEDX.label());
            if (m_files.failed())
                return fail();
            return true;
        }

        case Stage::kClosing: {
            data::send(data::SITEDX, "QUICKSCAN=off");
            if (m_readFailed) {
                finish();
                return false;
            }
            m_writer->closing();
            if (m_files.failed())
                return fail();
            finish();
            return false;
        }
    }
    return false;
}

}  // namespace sitedex::app::exporting

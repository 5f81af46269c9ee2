#pragma once
// One import run as a job with no window (runtime/jobs.h): reads a document, scans it, and adds the
// addresses it finds to the Locations file, each under a category chosen by the run's method. The
// progress window (ImportFile) and `sitedex import` drive it.
//
// What is added, and what is passed over (and counted, for the summary at the end):
//   - an address with no ":" (a link inside the same site, a blank href), one starting with "#" (a
//     place in the same page) and a browser's own query ("place:...", the "Most visited" of a
//     Firefox export, which opens nothing anywhere else) are no addresses to keep;
//   - an address longer than the 255 bytes of its field is passed over rather than cut into an
//     address that leads nowhere; other texts are cut at their field's size without splitting a
//     character;
//   - an address already stored, in any letter case (or twice in the document), is skipped;
//   - the keyword is the address's scheme, as for the location form.
//
// Categories (method):
//   - kSelected: every location goes to the one category given;
//   - kBestGuess: the category the document suggests (a bookmark folder, a heading, a comma file's
//     first column); no suggestion files it under "New". A category is created, with the
//     description the document gives for it, when the first location filed under it is added (not
//     for locations that turn out to be there already); an existing one is used in its own spelling;
//   - kAsk: the `ask` callback is called with the suggestion while the Locations record buffer holds
//     the location (its answer may change the location and description there); no answer files it
//     under "New"; a missing category is created as for kBestGuess.
//
// Saving: locations are added in transactions of a batch each, committed at the latest every
// `batchTime`, before any question or message, when cancelled, at the end, and whenever the caller
// calls commitBatch() (the progress window does before it lets other windows run). A location and
// the category made for it are in the same batch, so a crash leaves whole locations only, and every
// location counted as added has been committed. A failed commit ends the run; its locations are
// counted as not saved.
//
// Failures: a document that cannot be read gives open() == false with problem() set; a read error
// part-way ends the run with problem() set, keeping what was added. An add error other than a
// duplicate shows the stop box "<error text> adding location" (Abort ends the program, Ignore goes on).
//
// REQUIRES: the Locations (SITEDX) and Categories files are open on the current thread for the whole
// life of the job. Callers: ImportFile and `sitedex import`, on one thread.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/import/document_reader.h"
#include "app/import/scanner.h"
#include "runtime/jobs.h"

namespace sitedex::app::importing {

enum class CategoryMethod { kSelected, kBestGuess, kAsk };

struct ImportRequest {
    std::string path;
    DocumentType type = DocumentType::kHtml;
    CategoryMethod method = CategoryMethod::kBestGuess;
    std::string category;  // kSelected: the category (it must exist)
    // kAsk: asks for the category of the location in the Locations record buffer, given the
    // suggestion; nullopt (or a blank answer) files it under "New".
    std::function<std::optional<std::string>(const std::string& guess)> ask;
    std::chrono::milliseconds batchTime{200};
};

struct ImportCounts {
    int64_t found = 0;  // addresses met in the document
    int64_t added = 0;
    int64_t present = 0;   // already stored (or met twice)
    int64_t noScheme = 0;  // blank or without ":"
    int64_t inPage = 0;    // "#..."
    int64_t queries = 0;   // "place:..."
    int64_t tooLong = 0;   // longer than the address field
    int64_t failed = 0;    // add errors other than a duplicate, and locations whose batch was lost
    int64_t categoriesAdded = 0;
    int64_t passedOver() const { return noScheme + inPage + queries + tooLong; }
};

class ImportJob : public runtime::Job {
public:
    explicit ImportJob(ImportRequest request);
    ~ImportJob() override;

    // Opens the document (and, for kSelected, finds the category). False with problem() set when the
    // run cannot start.
    bool open();

    bool step() override;
    int percent() const override;
    void cancel() override { m_cancelRequested = true; }

    // Commits the locations added since the last commit.
    void commitBatch();

    const ImportCounts& counts() const { return m_counts; }
    bool cancelled() const { return m_cancelled; }
    bool finished() const { return m_finished; }
    // Why the run could not start or stopped early; empty when it did not.
    const std::string& problem() const { return m_problem; }
    const ImportRequest& request() const { return m_request; }
    bool readsWindows1252() const { return m_reader.readsWindows1252(); }

    // What happened, in a few lines for the user (the end-of-run message and the command's output).
    std::string summary() const;

private:
    void handle(ScannedLink& link);
    bool passedOver(const std::string& location);
    // The stored spelling of the category for `name`; sets m_categoryExists.
    std::string resolveCategory(const std::string& name);
    void addCategory(const std::string& name, const std::string& description);
    void beginBatchIfNeeded();
    void end();

    ImportRequest m_request;
    DocumentReader m_reader;
    std::unique_ptr<DocumentScanner> m_scanner;
    std::vector<ScannedLink> m_links;
    size_t m_nextLink = 0;
    bool m_atEnd = false;
    bool m_finished = false;
    bool m_cancelRequested = false;
    bool m_cancelled = false;
    std::string m_problem;
    ImportCounts m_counts;

    // The category of the last location: most documents give the same one to many in a row.
    std::string m_lastName;
    std::string m_lastCategory;
    bool m_categoryExists = false;
    bool m_haveLast = false;

    bool m_inBatch = false;
    bool m_batchTransaction = false;
    std::chrono::steady_clock::time_point m_batchStart{};
    int64_t m_batchAdded = 0;
    int64_t m_batchCategories = 0;
};

// The letter rules of the import dialog's choices (letter case ignored): "H..." HTML, "C..." comma,
// anything else plain text; "M..." best guess, "A..." ask, anything else the selected category.
DocumentType documentTypeOf(std::string_view choice);
CategoryMethod categoryMethodOf(std::string_view choice);

}  // namespace sitedex::app::importing

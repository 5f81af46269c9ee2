#include "app/import/import_job.h"

#include <algorithm>

#include "app/maintenance/integrity.h"
#include "app/maintenance/location_rules.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/fields.h"
#include "runtime/hooks.h"

namespace sitedex::app::importing {

namespace {

using namespace sitedex::data;

constexpr size_t kLocationSize = 255;
constexpr size_t kCategorySize = 30;
constexpr const char* kNewCategory = "New";

const FieldDecl& field(FileDecl& file, std::string_view name) {
    return *file.findField(name);
}

std::string withoutTrailingBlanks(std::string_view s) {
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return std::string(s);
}

// A category name as its field holds it: cut to the field at a character boundary, no blanks at
// the ends.
std::string categoryName(std::string_view suggested) {
    return withoutTrailingBlanks(utf8Prefix(trimmed(suggested), kCategorySize));
}

bool startsWithNoCase(std::string_view s, std::string_view lowerPrefix) {
    if (s.size() < lowerPrefix.size())
        return false;
    for (size_t i = 0; i < lowerPrefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != lowerPrefix[i])
            return false;
    }
    return true;
}

// The stop box of unexpected failures: Abort ends the program, Ignore goes on.
void stopBox(const std::string& text) {
    if (runtime::messageBox(text, "Sitedex", runtime::kIconHand, runtime::kButtonAbort | runtime::kButtonIgnore,
                            runtime::kButtonIgnore) == runtime::kButtonAbort)
        runtime::haltProgram(text);
}

const char* typeName(DocumentType type) {
    switch (type) {
        case DocumentType::kHtml:
            return "an HTML document";
        case DocumentType::kComma:
            return "a comma-delimited file";
        case DocumentType::kText:
            return "plain text";
    }
    return "";
}

}  // namespace

DocumentType documentTypeOf(std::string_view choice) {
    const std::string_view t = trimmed(choice);
    const char c = t.empty() ? ' ' : char(t[0] & ~0x20);
    return c == 'H' ? DocumentType::kHtml : c == 'C' ? DocumentType::kComma : DocumentType::kText;
}

CategoryMethod categoryMethodOf(std::string_view choice) {
    const std::string_view t = trimmed(choice);
    const char c = t.empty() ? ' ' : char(t[0] & ~0x20);
    return c == 'M' ? CategoryMethod::kBestGuess : c == 'A' ? CategoryMethod::kAsk : CategoryMethod::kSelected;
}

ImportJob::ImportJob(ImportRequest request) : m_request(std::move(request)) {}

ImportJob::~ImportJob() {
    // A job dropped half-way still keeps what it added.
    if (!m_finished)
        commitBatch();
}

bool ImportJob::open() {
    if (m_request.method == CategoryMethod::kSelected) {
        const std::string name = categoryName(m_request.category);
        if (name.empty()) {
            m_problem = "No category was chosen to import into.";
            return false;
        }
        Categories.clear();
        setString(field(Categories, "CAT:CATEGORY"), Categories.record(), name);
        if (get(Categories, *Categories.findKey("CAT:K_CATEGORY")) != 0) {
            m_problem = "There is no category \"" + name + "\" to import into.";
            return false;
        }
        m_lastName = name;
        m_lastCategory = withoutTrailingBlanks(getString(field(Categories, "CAT:CATEGORY"), Categories.record()));
        m_categoryExists = true;
        m_haveLast = true;
    }
    if (!m_reader.open(m_request.path)) {
        m_problem = "Cannot import " + m_request.path + ": " + m_reader.problem() + ".";
        return false;
    }
    m_scanner = makeScanner(m_request.type);
    return true;
}

bool ImportJob::step() {
    if (m_finished)
        return false;
    if (!m_scanner) {
        m_finished = true;
        return false;
    }
    if (m_cancelRequested) {
        m_cancelled = true;
        end();
        return false;
    }
    if (m_nextLink < m_links.size()) {
        handle(m_links[m_nextLink++]);
        if (m_finished)
            return false;
        if (m_inBatch && std::chrono::steady_clock::now() - m_batchStart >= m_request.batchTime)
            commitBatch();
        return !m_finished;
    }
    m_links.clear();
    m_nextLink = 0;
    if (m_atEnd) {
        end();
        return false;
    }
    std::string_view line;
    if (m_reader.next(line)) {
        m_scanner->scanLine(line, m_links);
        return true;
    }
    if (!m_reader.problem().empty())
        m_problem = "Reading the document stopped part-way: " + m_reader.problem() + ".";
    m_scanner->finish(m_links);
    m_atEnd = true;
    return true;
}

int ImportJob::percent() const {
    if (m_finished && !m_cancelled && m_problem.empty())
        return 100;
    const int64_t size = m_reader.size();
    if (size <= 0)
        return 0;
    return int(std::min<int64_t>(100, m_reader.consumed() * 100 / size));
}

bool ImportJob::passedOver(const std::string& location) {
    if (!location.empty() && location[0] == '#') {
        ++m_counts.inPage;
    } else if (location.find(':') == std::string::npos) {
        ++m_counts.noScheme;
    } else if (startsWithNoCase(location, "place:")) {
        ++m_counts.queries;
    } else if (location.size() > kLocationSize) {
        ++m_counts.tooLong;
    } else {
        return false;
    }
    return true;
}

void ImportJob::handle(ScannedLink& link) {
    ++m_counts.found;
    if (passedOver(link.location))
        return;

    FileDecl& urls = SITEDX;
    urls.clear();
    char* rec = urls.record();
    setString(field(urls, "URL:LOCATION"), rec, link.location);
    setString(field(urls, "URL:DESCRIPTION"), rec, link.description);
    setMemo(urls, size_t(urls.findMemo("URL:SITEINFO")), link.siteInfo);
    if (link.rating && *link.rating >= 0)
        setNumber(field(urls, "URL:RATING"), rec, double(*link.rating));

    std::string category;
    switch (m_request.method) {
        case CategoryMethod::kSelected:
            category = m_lastCategory;
            break;
        case CategoryMethod::kBestGuess: {
            std::string name = categoryName(link.categoryGuess);
            category = resolveCategory(name.empty() ? kNewCategory : name);
            break;
        }
        case CategoryMethod::kAsk: {
            // Nothing stays uncommitted while the user thinks, and the Categories buffer holds the
            // category the previous location received, where the chooser's list opens.
            commitBatch();
            std::optional<std::string> answer;
            if (m_request.ask)
                answer = m_request.ask(categoryName(link.categoryGuess));
            if (m_cancelRequested || m_finished)
                return;  // stopped while asking: this one is not added
            rec = urls.record();
            const std::string location = withoutTrailingBlanks(getString(field(urls, "URL:LOCATION"), rec));
            if (location != link.location && passedOver(location))
                return;
            std::string name = answer ? categoryName(*answer) : std::string();
            category = resolveCategory(name.empty() ? kNewCategory : name);
            break;
        }
    }
    rec = urls.record();
    setString(field(urls, "URL:CATEGORY"), rec, category);
    setString(field(urls, "URL:KEYWORD"), rec,
              maintenance::keywordFromLocation(withoutTrailingBlanks(getString(field(urls, "URL:LOCATION"), rec))));

    beginBatchIfNeeded();
    const int32_t rc = add(urls);
    if (rc == 0) {
        ++m_counts.added;
        ++m_batchAdded;
        if (!m_categoryExists)
            addCategory(category, link.categoryDescription);
    } else if (rc == kErrDuplicateKey) {
        ++m_counts.present;
    } else {
        ++m_counts.failed;
        const std::string text = errorText() + " adding location";
        commitBatch();
        stopBox(text);
    }
}

std::string ImportJob::resolveCategory(const std::string& name) {
    if (m_haveLast && name == m_lastName)
        return m_lastCategory;
    Categories.clear();
    setString(field(Categories, "CAT:CATEGORY"), Categories.record(), name);
    if (get(Categories, *Categories.findKey("CAT:K_CATEGORY")) == 0) {
        m_lastCategory = withoutTrailingBlanks(getString(field(Categories, "CAT:CATEGORY"), Categories.record()));
        m_categoryExists = true;
    } else {
        // Missing (or unreadable): it is made when a location is first added under it.
        m_lastCategory = name;
        m_categoryExists = false;
    }
    m_lastName = name;
    m_haveLast = true;
    return m_lastCategory;
}

void ImportJob::addCategory(const std::string& name, const std::string& description) {
    Categories.clear();
    setString(field(Categories, "CAT:CATEGORY"), Categories.record(), name);
    setMemo(Categories, 0, description);
    const int32_t rc = add(Categories);
    if (rc == 0) {
        ++m_counts.categoriesAdded;
        ++m_batchCategories;
    }
    // A failure is not reported: the location keeps the name, and the next one tries again.
    m_categoryExists = rc == 0 || rc == kErrDuplicateKey;
}

void ImportJob::beginBatchIfNeeded() {
    if (m_inBatch)
        return;
    m_inBatch = true;
    m_batchStart = std::chrono::steady_clock::now();
    m_batchAdded = 0;
    m_batchCategories = 0;
    // Without the transaction (another program holds the files longer than the wait) every add is
    // saved on its own, which is slower but just as safe for the locations.
    m_batchTransaction = logout(maintenance::kTransactionWait, {&SITEDX, &Categories}) == 0;
}

void ImportJob::commitBatch() {
    if (!m_inBatch)
        return;
    m_inBatch = false;
    if (!m_batchTransaction)
        return;
    clearErrorState();
    commit();
    if (errorCode() == 0)
        return;
    // The batch is gone: what it added is not there.
    const std::string why = errorText() + " (" + std::to_string(errorCode()) + ")";
    m_counts.added -= m_batchAdded;
    m_counts.failed += m_batchAdded;
    m_counts.categoriesAdded -= m_batchCategories;
    m_haveLast = m_request.method == CategoryMethod::kSelected;
    if (m_problem.empty())
        m_problem = "Saving the added locations failed: " + why + ".";
    m_finished = true;
    m_reader.close();
}

void ImportJob::end() {
    commitBatch();
    m_finished = true;
    m_reader.close();
}

std::string ImportJob::summary() const {
    const ImportCounts& c = m_counts;
    std::string s;
    if (c.found == 0 && m_problem.empty()) {
        s = "No web addresses were found in " + m_request.path + " (read as " + typeName(m_request.type) + ").";
    } else {
        s = std::to_string(c.found) + (c.found == 1 ? " address" : " addresses") + " found in " + m_request.path +
            ":\n";
        s += "  " + std::to_string(c.added) + " added";
        if (c.categoriesAdded > 0)
            s += " (" + std::to_string(c.categoriesAdded) +
                 (c.categoriesAdded == 1 ? " new category)" : " new categories)");
        s += "\n  " + std::to_string(c.present) + " already present\n";
        s += "  " + std::to_string(c.passedOver()) + " passed over";
        std::vector<std::string> why;
        if (c.noScheme)
            why.push_back(std::to_string(c.noScheme) + " without \":\"");
        if (c.inPage)
            why.push_back(std::to_string(c.inPage) + " \"#...\" in-page");
        if (c.queries)
            why.push_back(std::to_string(c.queries) + " browser queries (place:)");
        if (c.tooLong)
            why.push_back(std::to_string(c.tooLong) + " too long (over 255 bytes)");
        for (size_t i = 0; i < why.size(); ++i)
            s += (i == 0 ? ": " : ", ") + why[i];
        if (c.failed)
            s += "\n  " + std::to_string(c.failed) + " could not be added";
    }
    if (m_reader.readsWindows1252())
        s += "\nThe document is not UTF-8; it was read as Windows-1252.";
    if (m_cancelled)
        s += "\nThe import was cancelled; what was added before is kept.";
    if (!m_problem.empty())
        s += "\n" + m_problem;
    return s;
}

}  // namespace sitedex::app::importing

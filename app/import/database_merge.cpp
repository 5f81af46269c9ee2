#include "app/import/database_merge.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "app/upgrade/write_batch.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/error_state.h"
#include "data/warnings.h"
#include "runtime/hooks.h"

namespace sitedex::app::importing {

namespace {

// The other database's file is named through this declaration's name variable, which holds at
// most this many bytes.
constexpr std::size_t kSourceNameLength = 255;

std::string errorDescription() {
    return data::errorText() + " (" + std::to_string(data::errorCode()) + ")";
}

// Why the other file cannot be read, in words a user can act on.
std::string openFailure(const std::string& source, int32_t code) {
    switch (code) {
        case data::kErrFileNotFound:
        case data::kErrPathNotFound:
            return "There is no Sitedex database at " + source + ".";
        case data::kErrInvalidDataFile:
            return source + " is not a Sitedex database file: " + errorDescription() + ".";
        case data::kErrInvalidDeclaration:
            return source + " is not the locations file of a Sitedex database: its records are laid out differently (" +
                   errorDescription() + ").";
        case data::kErrRebuildKeys:
            return "The keys of " + source +
                   " must be rebuilt before it can be imported: open that database with Sitedex, or run "
                   "sitedex rebuild on it.";
        default:
            return source + " cannot be read: " + errorDescription() + ".";
    }
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool sameIgnoringCase(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (upperAscii(a[i]) != upperAscii(b[i]))
            return false;
    return true;
}

std::string trimmed(const std::string& s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string upper(std::string s) {
    for (char& c : s)
        c = upperAscii(c);
    return s;
}

std::string count(int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string mergeSourceName(const std::string& entered) {
    std::string name = trimmed(entered);
    if (!name.empty() && isDirectory(name))
        name += (name.back() == '/' ? "" : "/") + std::string(kDatabaseFileName);
    // The check reads the name in capitals; the file is opened by the name as written (file names
    // here tell capitals from small letters).
    if (upper(name).find(kDatabaseFileName) == std::string::npos)
        return {};
    return name;
}

DatabaseMerge::DatabaseMerge(std::string source) : m_source(std::move(source)) {}

DatabaseMerge::~DatabaseMerge() {
    if (m_outcome == Outcome::kRunning)
        finish(Outcome::kCancelled);
    finish(m_outcome);
}

bool DatabaseMerge::open() {
    m_outcome = Outcome::kFailed;
    auto refuse = [&](const std::string& why) {
        runtime::messageBox(why + "  Nothing was imported.", kCannotImport, runtime::kIconExclamation);
        return false;
    };
    if (m_source.size() > kSourceNameLength)
        return refuse("The name " + m_source + " is longer than the " + std::to_string(kSourceNameLength) +
                      " characters a database name may have.");
    // Opened read-only: the other database is never changed, nor made when it is missing.
    data::NameAscii = m_source;
    if (int32_t e = data::open(data::ImportSource, data::kAccessRead | data::kShareDenyNone); e != 0) {
        const std::string why = openFailure(m_source, e);
        data::close(data::ImportSource);
        return refuse(why);
    }
    m_sourceOpen = true;
    data::useFile(data::SITEDX);
    m_targetUsed = true;
    m_sourceIsTarget = sameFile(m_source, data::name(data::SITEDX));

    data::send(data::ImportSource, "QUICKSCAN=on");
    m_total = data::records(data::ImportSource);
    if (data::set(data::ImportSource) != 0) {
        data::ShowWarning(36);
        finish(Outcome::kFailed);
        return false;
    }
    m_outcome = Outcome::kRunning;
    return true;
}

bool DatabaseMerge::step() {
    if (m_outcome != Outcome::kRunning)
        return false;
    if (m_cancelRequested) {
        finish(Outcome::kCancelled);
        return false;
    }
    const int64_t addedBefore = m_added;
    bool ended = false, readFailed = false;
    {
        upgrade::WriteBatch batch(data::SITEDX, !m_sourceIsTarget);
        for (;;) {
            const int32_t e = data::next(data::ImportSource);
            if (e != 0) {
                ended = true;
                readFailed = e != data::kErrRecordNotAvailable;
                if (readFailed)
                    data::saveCurrentError();  // for the warning, once the batch is written
                break;
            }
            ++m_handled;
            mergeRecord();
            if (batch.due())
                break;
        }
        if (!batch.end()) {
            // The batch's adds did not reach the file.
            m_failed += m_added - addedBefore;
            if (m_firstFailure.empty())
                m_firstFailure = errorDescription();
            m_added = addedBefore;
        }
    }
    if (readFailed) {
        data::ShowWarning(35, data::ImportSource.label());
        finish(Outcome::kFailed);
        return false;
    }
    if (ended) {
        finish(Outcome::kCompleted);
        return false;
    }
    return true;
}

void DatabaseMerge::mergeRecord() {
    // Both files have the Locations layout: the record image is the five fields. The memo (site
    // information) stays empty.
    const char* source = data::ImportSource.record();
    const data::FieldDecl& location = *data::SITEDX.findField("URL:LOCATION");
    const bool blankAddress = std::all_of(source + location.offset, source + location.offset + location.size,
                                          [](char c) { return c == ' '; });
    if (blankAddress && blankAddressPresent()) {
        ++m_present;
        return;
    }
    data::SITEDX.clear();
    std::memcpy(data::SITEDX.record(), source, data::SITEDX.recordSize());
    const int32_t added = data::add(data::SITEDX);
    if (added == 0) {
        ++m_added;
    } else if (added == data::kErrDuplicateKey) {
        ++m_present;
    } else if (m_failed++ == 0) {
        m_firstFailure = errorDescription();
    }
}

bool DatabaseMerge::blankAddressPresent() {
    // Locations without an address are left out of the address key; look for a twin through the
    // category key (category, then description), which holds every record.
    const char* source = data::ImportSource.record();
    const data::FieldDecl& category = *data::SITEDX.findField("URL:CATEGORY");
    const data::FieldDecl& description = *data::SITEDX.findField("URL:DESCRIPTION");
    data::KeyDecl& key = *data::SITEDX.findKey("URL:K_CATEGORY");
    data::SITEDX.clear();
    std::memcpy(data::SITEDX.record(), source, data::SITEDX.recordSize());
    if (data::set(key, key) != 0)
        return false;
    while (data::next(data::SITEDX) == 0) {
        const char* here = data::SITEDX.record();
        if (!sameIgnoringCase(here + category.offset, source + category.offset, category.size) ||
            !sameIgnoringCase(here + description.offset, source + description.offset, description.size))
            return false;
        if (std::memcmp(here, source, data::SITEDX.recordSize()) == 0)
            return true;
    }
    return false;
}

int DatabaseMerge::percent() const {
    if (m_outcome == Outcome::kCompleted)
        return 100;
    if (m_total <= 0)
        return 0;
    return int(std::min<int64_t>(100, m_handled * 100 / m_total));
}

void DatabaseMerge::finish(Outcome outcome) {
    if (m_sourceOpen) {
        data::send(data::ImportSource, "QUICKSCAN=off");
        data::close(data::ImportSource);
        m_sourceOpen = false;
    }
    if (m_targetUsed) {
        data::releaseFile(data::SITEDX);
        m_targetUsed = false;
    }
    m_outcome = outcome;
}

std::string DatabaseMerge::summary() const {
    std::string s =
        count(m_added, "location", "locations") + " added, " + std::to_string(m_present) + " already present.";
    if (m_failed > 0)
        s += "  " + count(m_failed, "location", "locations") + " could not be added: " + m_firstFailure + ".";
    return s;
}

}  // namespace sitedex::app::importing

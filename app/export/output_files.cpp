#include "app/export/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "data/access.h"
#include "data/declarations.h"
#include "data/error_state.h"

namespace sitedex::app::exporting {

namespace {

constexpr uint32_t kRecordSize = uint32_t(LineFile::kMaxLine);

data::FileSpec lineFileSpec(std::string* name) {
    data::FileSpec s;
    s.driver = "ASCII";
    s.label = "ExportFile";
    s.prefix = "XOUT";
    s.name = {{}, name, PATH_MAX};
    // The writer removes trailing blanks itself and passes each line's length, so that a long record
    // costs nothing for a short line.
    s.options = "/CLIP=OFF";
    s.attributes = data::kAttrCreate;
    s.recordSize = kRecordSize;
    s.fields = {{"XOUT:LINE", data::kTypeString, 0, kRecordSize}};
    return s;
}

// "Access Denied (5)": the access layer's text of the error it holds now. When the system said
// more than the code (a full disk posts 5 with the system's own reason), the system's reason.
std::string currentErrorText() {
    int32_t code = data::errorCode();
    std::string text = data::errorText();
    const int system = data::systemError();
    if (system != 0 && system != code && data::hasMessage(data::kErrSystemBase + system)) {
        code = system;
        text = data::errorTextFor(data::kErrSystemBase + system);
    }
    return text + " (" + std::to_string(code) + ")";
}

// A name that cannot be created or renamed because it does not exist is a folder that is missing.
std::string errnoText(int err) {
    if (err == ENAMETOOLONG)  // the program's own code for it would say "Path Not Found"
        return "the name is longer than the system allows (" + std::to_string(PATH_MAX - 1) + " bytes).";
    const int code = err == ENOENT ? int(data::kErrPathNotFound) : data::systemErrorFromErrno(err);
    return data::errorTextFor(code) + " (" + std::to_string(code) + ")";
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A name that is a symbolic link is replaced where it points, so the link stays a link.
std::string resolvedFinalName(const std::string& name) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return name;
    char* real = ::realpath(name.c_str(), nullptr);
    if (!real)
        return name;
    std::string resolved = real;
    std::free(real);
    return resolved;
}

}  // namespace

// ---- LineFile ----------------------------------------------------------------------------------

LineFile::LineFile(OutputFiles& set)
    : m_set(set), m_decl(std::make_unique<data::FileDecl>(lineFileSpec(&m_temporary))) {}

LineFile::~LineFile() {
    if (m_open)
        data::close(*m_decl);
}

bool LineFile::fail(const char* what) {
    m_set.setError(std::string(what) + m_final + ": " + currentErrorText());
    return false;
}

bool LineFile::create(const std::string& finalName) {
    if (!close())
        return false;
    m_final = finalName;
    if (m_set.failed())
        return false;
    struct stat st {};
    if (::stat(finalName.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        m_set.setError("Error opening " + finalName + ": that name belongs to a folder; choose a file name.");
        return false;
    }
    const std::string target = resolvedFinalName(finalName);
    // A file name too long for its folder is refused only when the temporary is put in its place,
    // after the whole export: say so before anything is written.
    const std::string folder = folderOf(target);
    const size_t nameLength = target.size() - folder.size();
    const long nameMax = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (nameMax > 0 && nameLength > size_t(nameMax)) {
        m_set.setError("Error opening " + finalName + ": the file name is " + std::to_string(nameLength) +
                       " bytes long, more than the " + std::to_string(nameMax) +
                       " its folder allows; choose a shorter name.");
        return false;
    }
    // O_EXCL: the temporary is a new file of ours, never something already lying there under that
    // name (a link planted in a shared folder, another run's file).
    static std::mt19937_64 random{std::random_device{}()};
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 20; ++tries) {
        char suffix[40];
        std::snprintf(suffix, sizeof suffix, ".sitedex-%016llx.tmp", static_cast<unsigned long long>(random()));
        m_temporary = folder + suffix;
        fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        m_set.setError("Error opening " + finalName + ": " + errnoText(errno));
        return false;
    }
    ::close(fd);
    m_set.m_pending.push_back({m_temporary, target});
    if (data::open(*m_decl, data::kModeExclusive) != 0)
        return fail("Error opening ");
    m_open = true;
    return true;
}

bool LineFile::write(std::string_view line) {
    if (m_set.failed())
        return false;
    if (!m_open) {
        data::clearErrorState();
        data::postError(data::kErrNotOpen);
        return fail("Error adding to ");
    }
    while (!line.empty() && line.back() == ' ')
        line.remove_suffix(1);
    if (line.size() > kMaxLine) {
        m_set.setError("Error adding to " + m_final + ": a line of " + std::to_string(line.size()) +
                       " bytes is longer than the " + std::to_string(kMaxLine) + " a line may have.");
        return false;
    }
    if (line.empty()) {
        // A length of 0 would cut the file instead: an empty line is a blank record written with the
        // driver's own trailing-blank removal (rare: a row of nothing but blanks).
        std::memset(m_decl->record(), ' ', kRecordSize);
        data::send(*m_decl, "CLIP=ON");
        const bool added = data::add(*m_decl) == 0 || fail("Error adding to ");
        data::send(*m_decl, "CLIP=OFF");
        return added;
    }
    std::memcpy(m_decl->record(), line.data(), line.size());
    if (data::add(*m_decl, uint32_t(line.size())) != 0)
        return fail("Error adding to ");
    return true;
}

bool LineFile::close() {
    if (!m_open)
        return true;
    m_open = false;
    if (data::close(*m_decl) != 0)
        return fail("Error adding to ");
    return true;
}

// ---- OutputFiles -------------------------------------------------------------------------------

OutputFiles::~OutputFiles() {
    discard();
}

void OutputFiles::setError(std::string message) {
    if (m_error.empty())
        m_error = std::move(message);
}

bool OutputFiles::commit() {
    if (failed()) {
        discard();
        return false;
    }
    for (size_t i = 0; i < m_pending.size(); ++i) {
        const Pending& p = m_pending[i];
        struct stat st {};
        if (::stat(p.final.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::chmod(p.temporary.c_str(), st.st_mode & 07777);
        if (::rename(p.temporary.c_str(), p.final.c_str()) != 0) {
            const int err = errno;
            setError("Error replacing " + p.final + ": " + errnoText(err));
            m_pending.erase(m_pending.begin(), m_pending.begin() + long(i));
            discard();
            return false;
        }
        m_committed.push_back(p.final);
    }
    m_pending.clear();
    return true;
}

void OutputFiles::discard() {
    for (const Pending& p : m_pending)
        ::unlink(p.temporary.c_str());
    m_pending.clear();
}

}  // namespace sitedex::app::exporting

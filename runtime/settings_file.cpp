#include "runtime/settings_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace sitedex::runtime {

namespace {

// A settings file is a few kilobytes; anything far larger is not one of ours and is not read whole.
constexpr off_t kMaxFileSize = 16 * 1024 * 1024;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

// One line of the file as it was read, with what it declares.
struct Line {
    std::string text;  // without the line end
    enum Kind { kOther, kSection, kKey } kind = kOther;
    std::string name;   // section or key name
    std::string value;  // key lines only
};

struct FileText {
    bool exists = false;
    bool readable = true;
    bool crlf = false;
    bool endsWithNewline = true;
    std::vector<Line> lines;
};

void classify(Line& line) {
    std::string_view t = trim(line.text);
    if (t.empty() || t.front() == ';' || t.front() == '#') return;
    if (t.front() == '[') {
        t.remove_prefix(1);
        size_t close = t.find(']');
        line.kind = Line::kSection;
        line.name = std::string(trim(close == std::string_view::npos ? t : t.substr(0, close)));
        return;
    }
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return;
    line.kind = Line::kKey;
    line.name = std::string(trim(t.substr(0, eq)));
    line.value = std::string(trim(t.substr(eq + 1)));
}

FileText load(const std::string& path) {
    FileText f;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        f.exists = errno != ENOENT;
        f.readable = false;
        return f;
    }
    f.exists = true;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) {
        ::close(fd);
        f.readable = false;
        return f;
    }
    std::string all;
    char buf[8192];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            f.readable = false;
            return f;
        }
        if (n == 0) break;
        all.append(buf, size_t(n));
        if (all.size() > size_t(kMaxFileSize)) break;
    }
    ::close(fd);
    size_t start = 0;
    while (start < all.size()) {
        size_t nl = all.find('\n', start);
        Line line;
        if (nl == std::string::npos) {
            line.text = all.substr(start);
            f.endsWithNewline = false;
            start = all.size();
        } else {
            line.text = all.substr(start, nl - start);
            start = nl + 1;
        }
        if (!line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            if (f.lines.empty()) f.crlf = true;
        }
        f.lines.push_back(std::move(line));
    }
    for (Line& l : f.lines) classify(l);
    return f;
}

// [first, last) line range of the section's body; first == npos when the section is missing.
struct SectionRange {
    size_t header = std::string::npos;
    size_t end = 0;
};

SectionRange findSection(const FileText& f, std::string_view section) {
    SectionRange r;
    for (size_t i = 0; i < f.lines.size(); ++i) {
        if (f.lines[i].kind != Line::kSection) continue;
        if (r.header != std::string::npos) {
            r.end = i;
            return r;
        }
        if (sameName(f.lines[i].name, section)) r.header = i;
    }
    r.end = f.lines.size();
    return r;
}

size_t findKey(const FileText& f, const SectionRange& r, std::string_view key) {
    if (r.header == std::string::npos) return std::string::npos;
    for (size_t i = r.header + 1; i < r.end; ++i)
        if (f.lines[i].kind == Line::kKey && sameName(f.lines[i].name, key)) return i;
    return std::string::npos;
}

std::string homeDirectory() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return ".";
}

bool makeDirectories(const std::string& dir) {
    if (dir.empty()) return true;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeDirectories(dir.substr(0, slash))) return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string directoryOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Serialises writers of one settings file across processes: each write is read-modify-replace, and
// without the lock two programs writing different keys at once could each drop the other's key.
class WriteLock {
public:
    explicit WriteLock(const std::string& path) {
        std::string lockPath = directoryOf(path) + "/." + path.substr(path.find_last_of('/') + 1) + ".lock";
        m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) return;
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        while (::fcntl(m_fd, F_OFD_SETLKW, &fl) != 0 && errno == EINTR) {
        }
    }
    ~WriteLock() {
        if (m_fd >= 0) ::close(m_fd);  // closing the description releases its lock
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

private:
    int m_fd = -1;
};

bool store(const std::string& path, const FileText& f) {
    const char* eol = f.crlf ? "\r\n" : "\n";
    std::string out;
    for (size_t i = 0; i < f.lines.size(); ++i) {
        out += f.lines[i].text;
        if (i + 1 < f.lines.size() || f.endsWithNewline) out += eol;
    }
    mode_t mode = 0600;
    if (struct stat st {}; ::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
    static std::atomic<unsigned> counter{0};
    std::string temp = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = writeAll(fd, out) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

// Resolves a symbolic link so that a write replaces the file it points to, not the link.
std::string resolved(const std::string& path) {
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf)) return buf;
    return path;
}

std::string unquoted(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v.remove_prefix(1);
        v.remove_suffix(1);
    }
    if (v.size() > kMaxSettingLength) {
        size_t cut = kMaxSettingLength;
        while (cut > 0 && (static_cast<unsigned char>(v[cut]) & 0xC0) == 0x80) --cut;  // keep whole characters
        v = v.substr(0, cut);
    }
    return std::string(v);
}

// A file the user made read-only keeps its contents. Root passes every access() check, so for it the
// file's write bits decide.
bool isReadOnly(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;  // missing: it will be created
    if (::geteuid() == 0) return (st.st_mode & 0222) == 0;
    return ::access(path.c_str(), W_OK) != 0;
}

bool validName(std::string_view name, bool isKey) {
    if (trim(name).empty()) return false;
    for (char c : name)
        if (c == '\n' || c == '\r' || (isKey && c == '=') || (!isKey && c == ']')) return false;
    return true;
}

}  // namespace

std::string settingsDirectory() {
    if (const char* dir = std::getenv("SITEDEX_CONFIG_DIR"); dir && *dir) return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/sitedex";
    return homeDirectory() + "/.config/sitedex";
}

std::string settingsFilePath(std::string_view fileName) {
    if (fileName.empty()) return settingsDirectory() + "/sitedex.ini";
    if (fileName.find('/') != std::string_view::npos) return std::string(fileName);
    return settingsDirectory() + "/" + std::string(fileName);
}

std::string readSetting(std::string_view section, std::string_view key, std::string_view defaultValue,
                        std::string_view fileName) {
    FileText f = load(settingsFilePath(fileName));
    size_t at = findKey(f, findSection(f, trim(section)), trim(key));
    if (at == std::string::npos) return std::string(defaultValue);
    return unquoted(f.lines[at].value);
}

bool writeSetting(std::string_view section, std::string_view key, std::optional<std::string_view> value,
                  std::string_view fileName) {
    if (!validName(section, false) || !validName(key, true)) return false;
    section = trim(section);
    key = trim(key);
    std::string path = settingsFilePath(fileName);
    if (!makeDirectories(directoryOf(path))) return false;
    path = resolved(path);
    WriteLock lock(path);
    if (isReadOnly(path)) return false;
    FileText f = load(path);
    if (f.exists && !f.readable) return false;  // never replace what we could not read

    std::string text;
    if (value) {
        // A line end inside a value would start a new line of the file, with whatever it says.
        text.reserve(value->size());
        for (char c : *value) text += (c == '\n' || c == '\r') ? ' ' : c;
    }
    SectionRange r = findSection(f, section);
    size_t at = findKey(f, r, key);
    if (!value) {
        if (at == std::string::npos) return true;
        f.lines.erase(f.lines.begin() + long(at));
        return store(path, f);
    }
    if (at != std::string::npos) {
        Line& line = f.lines[at];
        line.text = line.name + "=" + text;
        return store(path, f);
    }
    Line line;
    line.text = std::string(key) + "=" + text;
    if (r.header == std::string::npos) {
        if (!f.lines.empty() && !trim(f.lines.back().text).empty()) f.lines.push_back(Line{});
        Line header;
        header.text = "[" + std::string(section) + "]";
        f.lines.push_back(std::move(header));
        f.lines.push_back(std::move(line));
        f.endsWithNewline = true;
    } else {
        // After the section's last non-blank line, so blank lines between sections stay between them.
        size_t insertAt = r.end;
        while (insertAt > r.header + 1 && trim(f.lines[insertAt - 1].text).empty()) --insertAt;
        f.lines.insert(f.lines.begin() + long(insertAt), std::move(line));
        if (insertAt == f.lines.size() - 1) f.endsWithNewline = true;
    }
    return store(path, f);
}

bool removeSettingsSection(std::string_view section, std::string_view fileName) {
    std::string path = resolved(settingsFilePath(fileName));
    WriteLock lock(path);
    if (isReadOnly(path)) return false;
    FileText f = load(path);
    if (!f.exists) return true;
    if (!f.readable) return false;
    SectionRange r = findSection(f, trim(section));
    if (r.header == std::string::npos) return true;
    f.lines.erase(f.lines.begin() + long(r.header), f.lines.begin() + long(r.end));
    return store(path, f);
}

double settingNumber(std::string_view text) {
    text = trim(text);
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0 || i != text.size()) return 0;
    return std::strtod(std::string(text).c_str(), nullptr);
}

std::string settingText(long value) { return std::to_string(value); }

}  // namespace sitedex::runtime

#include "drivers/text/buffered_file.h"

#include "data/error_state.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sitedex::text {

namespace {

constexpr uint32_t kReadAhead = 64 * 1024;
constexpr size_t kMaxQueued = 64 * 1024;

// Marker bytes of the sharing protocol, far beyond any text file's data.
constexpr off_t kShareBase = off_t(1) << 62;
constexpr off_t kHasRead = kShareBase + 0;
constexpr off_t kHasWrite = kShareBase + 1;
constexpr off_t kDeniesRead = kShareBase + 2;
constexpr off_t kDeniesWrite = kShareBase + 3;

int sysErr(int e) { return data::systemErrorFromErrno(e); }

bool othersHold(int fd, off_t at) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
    return fl.l_type != F_UNLCK;
}

bool mark(int fd, off_t at) {
    struct flock fl {};
    fl.l_type = F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool preadAll(int fd, char* p, size_t n, int64_t off, size_t* got) {
    *got = 0;
    while (*got < n) {
        ssize_t r = pread(fd, p + *got, n - *got, off + int64_t(*got));
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) break;
        *got += size_t(r);
    }
    return true;
}

}  // namespace

BufferedFile::~BufferedFile() {
    if (m_fd >= 0) close();
}

int BufferedFile::open(const std::string& path, int access, bool othersMayRead, bool othersMayWrite) {
    if (m_fd >= 0) close();
    bool wantRead = access != 1;
    bool wantWrite = access != 0;
    int fd = -1;
    if (wantWrite) {
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0 && access == 1 && (errno == EACCES || errno == EPERM))
            fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    } else {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        int e = errno;
        // A missing directory on the way is a bad path, not a missing file.
        if (e == ENOENT) {
            std::string dir = path.substr(0, path.find_last_of('/') + 1);
            struct stat ds {};
            if (!dir.empty() && stat(dir.c_str(), &ds) != 0) return 3;
        }
        return sysErr(e);
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return 5;
    }
    int fl = fcntl(fd, F_GETFL);
    bool readable = (fl & O_ACCMODE) != O_WRONLY;
    if (readable) {
        // Refuse when an open of another program conflicts with ours, then announce ours.
        bool conflict = (wantRead && othersHold(fd, kDeniesRead)) || (wantWrite && othersHold(fd, kDeniesWrite)) ||
                        (!othersMayRead && othersHold(fd, kHasRead)) ||
                        (!othersMayWrite && othersHold(fd, kHasWrite));
        bool marked = !conflict && (!wantRead || mark(fd, kHasRead)) && (!wantWrite || mark(fd, kHasWrite)) &&
                      (othersMayRead || mark(fd, kDeniesRead)) && (othersMayWrite || mark(fd, kDeniesWrite));
        if (!marked) {
            ::close(fd);
            return 5;
        }
    }
    m_fd = fd;
    m_readable = readable;
    m_writable = wantWrite;
    m_start = 0;
    m_valid = 0;
    m_reachesEnd = false;
    m_out.clear();
    return 0;
}

int BufferedFile::close() {
    int r = writeOut();
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_buf.clear();
    m_buf.shrink_to_fit();
    m_out.clear();
    m_out.shrink_to_fit();
    m_valid = 0;
    return r;
}

void BufferedFile::setBufferSize(uint32_t bytes) {
    m_size = bytes;
    m_valid = 0;
    m_reachesEnd = false;
}

const char* BufferedFile::fill(int64_t offset, uint32_t len, uint32_t* avail, int* err) {
    *err = 0;
    if (len > m_size || offset < 0) {
        *err = 33;
        return nullptr;
    }
    if (!m_readable) {
        *err = 5;
        return nullptr;
    }
    if (!m_out.empty() && writeOut() != 0) {
        *err = 5;
        return nullptr;
    }
    if (m_quickScan && offset >= m_start) {
        int64_t end = m_start + m_valid;
        if (offset + len <= end || (m_reachesEnd && offset <= end)) {
            uint32_t at = uint32_t(offset - m_start);
            *avail = std::min<uint32_t>(len, m_valid - at);
            return m_buf.data() + at;
        }
    }
    uint32_t fill = m_quickScan ? std::max(m_size, kReadAhead) : m_size;
    if (m_buf.size() < size_t(fill) + 1) m_buf.resize(size_t(fill) + 1);
    size_t got = 0;
    if (!preadAll(m_fd, m_buf.data(), fill, offset, &got)) {
        m_valid = 0;
        *err = sysErr(errno);
        return nullptr;
    }
    m_start = offset;
    m_valid = uint32_t(got);
    m_reachesEnd = got < fill;
    m_buf[got] = 26;
    *avail = std::min<uint32_t>(len, m_valid);
    return m_buf.data();
}

int BufferedFile::write(int64_t offset, const char* data, size_t len) {
    if (m_fd < 0 || !m_writable) return 5;
    // Whatever the read buffer holds may now be stale.
    if (m_valid && offset < m_start + m_valid && offset + int64_t(len) > m_start) {
        m_valid = 0;
        m_reachesEnd = false;
    }
    if (m_reachesEnd && offset >= m_start + m_valid) m_reachesEnd = false;
    if (!m_out.empty() && (offset != m_outStart + int64_t(m_out.size()) || m_out.size() + len > kMaxQueued)) {
        if (writeOut() != 0) return 5;
    }
    if (m_out.empty()) m_outStart = offset;
    m_out.insert(m_out.end(), data, data + len);
    if (m_out.size() >= kMaxQueued) return writeOut();
    return 0;
}

int BufferedFile::writeOut() {
    if (m_out.empty() || m_fd < 0) {
        m_out.clear();
        return 0;
    }
    size_t done = 0;
    while (done < m_out.size()) {
        ssize_t r = pwrite(m_fd, m_out.data() + done, m_out.size() - done, m_outStart + int64_t(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            m_out.clear();
            return 5;
        }
        done += size_t(r);
    }
    m_out.clear();
    return 0;
}

int BufferedFile::sync() {
    if (writeOut() != 0) return 5;
    return m_fd >= 0 && fsync(m_fd) == 0 ? 0 : 5;
}

int BufferedFile::truncate(int64_t size) {
    if (writeOut() != 0) return 5;
    m_valid = 0;
    m_reachesEnd = false;
    if (m_fd < 0 || !m_writable || ftruncate(m_fd, size) != 0) return 5;
    return 0;
}

int64_t BufferedFile::size() {
    struct stat st {};
    if (m_fd < 0 || fstat(m_fd, &st) != 0) return -1;
    int64_t s = st.st_size;
    if (!m_out.empty()) s = std::max<int64_t>(s, m_outStart + int64_t(m_out.size()));
    return s;
}

int BufferedFile::lockByte0() {
    if (writeOut() != 0) return 5;
    struct flock fl {};
    fl.l_type = m_writable ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    if (fcntl(m_fd, F_OFD_SETLK, &fl) == 0) return 0;
    return sysErr(errno);
}

void BufferedFile::unlockByte0() {
    writeOut();
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    fcntl(m_fd, F_OFD_SETLK, &fl);
}

}  // namespace sitedex::text

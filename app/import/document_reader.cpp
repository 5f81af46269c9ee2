#include "app/import/document_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sitedex::app::importing {

namespace {

constexpr size_t kChunk = size_t(1) << 20;  // bytes asked of the system per read
constexpr size_t kSniff = 8192;             // bytes looked at for NUL bytes when opening

// Index of the first CR or LF in p[0..n), n when there is none.
size_t findLineBreak(const char* p, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(x, cr), _mm_cmpeq_epi8(x, lf)));
        if (mask)
            return i + size_t(__builtin_ctz(unsigned(mask)));
    }
#endif
    for (; i < n; ++i)
        if (p[i] == '\r' || p[i] == '\n')
            return i;
    return n;
}

std::string openProblem(int err) {
    switch (err) {
        case ENOENT:
            return "the file does not exist";
        case ENOTDIR:
            return "a folder in its path does not exist";
        case EACCES:
        case EPERM:
            return "permission to read it is denied";
        case EISDIR:
            return "it is a folder, not a file";
        case ENAMETOOLONG:
            return "its name is too long";
        default:
            return std::string("it could not be opened (") + std::strerror(err) + ")";
    }
}

void appendUtf8(std::vector<char>& out, size_t& end, uint32_t c) {
    char b[4];
    size_t n;
    if (c < 0x80) {
        b[0] = char(c);
        n = 1;
    } else if (c < 0x800) {
        b[0] = char(0xC0 | (c >> 6));
        b[1] = char(0x80 | (c & 0x3F));
        n = 2;
    } else if (c < 0x10000) {
        b[0] = char(0xE0 | (c >> 12));
        b[1] = char(0x80 | ((c >> 6) & 0x3F));
        b[2] = char(0x80 | (c & 0x3F));
        n = 3;
    } else {
        b[0] = char(0xF0 | (c >> 18));
        b[1] = char(0x80 | ((c >> 12) & 0x3F));
        b[2] = char(0x80 | ((c >> 6) & 0x3F));
        b[3] = char(0x80 | (c & 0x3F));
        n = 4;
    }
    if (end + n > out.size())
        out.resize(std::max(out.size() * 2, end + n));
    std::memcpy(out.data() + end, b, n);
    end += n;
}

}  // namespace

DocumentReader::~DocumentReader() {
    close();
}

void DocumentReader::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool DocumentReader::open(const std::string& path) {
    close();
    m_size = m_consumed = m_rawRead = 0;
    m_problem.clear();
    m_begin = m_end = m_scanned = 0;
    m_eof = m_skipLf = false;
    m_utf16 = 0;
    m_utf16Started = false;
    m_utf16Left.clear();
    m_decoder = {};

    if (path.empty()) {
        m_problem = "no file name was given";
        return false;
    }
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        m_problem = openProblem(errno);
        return false;
    }
    struct stat st {};
    if (fstat(m_fd, &st) != 0) {
        m_problem = openProblem(errno);
        close();
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        m_problem = S_ISDIR(st.st_mode) ? "it is a folder, not a file" : "it is not a regular file";
        close();
        return false;
    }
    m_size = st.st_size;

    char head[kSniff];
    ssize_t got;
    do {
        got = ::pread(m_fd, head, sizeof head, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        m_problem = std::string("reading it failed (") + std::strerror(errno) + ")";
        close();
        return false;
    }
    const std::string_view start(head, size_t(got));
    if (start.substr(0, 2) == "\xFF\xFE")
        m_utf16 = 1;
    else if (start.substr(0, 2) == "\xFE\xFF")
        m_utf16 = 2;
    if (m_utf16 == 0 && start.find('\0') != std::string_view::npos) {
        m_problem = "it is not a text document (it holds NUL bytes, as pictures and programs do)";
        close();
        return false;
    }
    if (m_buf.size() < kChunk)
        m_buf.resize(kChunk);
    return true;
}

void DocumentReader::appendUtf16(const char* data, size_t n, bool atEnd) {
    std::string in = std::move(m_utf16Left);
    m_utf16Left.clear();
    in.append(data, n);
    size_t i = 0;
    if (!m_utf16Started) {
        if (in.size() < 2 && !atEnd) {
            m_utf16Left = std::move(in);
            return;
        }
        i = std::min<size_t>(2, in.size());  // the byte order mark
        m_utf16Started = true;
    }
    auto unit = [&](size_t at) {
        const auto a = static_cast<unsigned char>(in[at]), b = static_cast<unsigned char>(in[at + 1]);
        return m_utf16 == 1 ? uint32_t(a | (b << 8)) : uint32_t((a << 8) | b);
    };
    while (i + 2 <= in.size()) {
        const uint32_t u = unit(i);
        uint32_t c = u;
        size_t used = 2;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 4 > in.size() && !atEnd)
                break;  // its pair comes with the next read
            const uint32_t v = i + 4 <= in.size() ? unit(i + 2) : 0;
            if (v >= 0xDC00 && v <= 0xDFFF) {
                c = 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00);
                used = 4;
            } else {
                c = 0xFFFD;
            }
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUtf8(m_buf, m_end, c);
        i += used;
    }
    if (i < in.size()) {
        if (atEnd)
            appendUtf8(m_buf, m_end, 0xFFFD);  // an odd byte at the end
        else
            m_utf16Left = in.substr(i);
    }
}

bool DocumentReader::fill() {
    if (m_fd < 0 || m_eof)
        return false;
    // Keep the unread part at the front, and room for a whole chunk after it.
    if (m_begin > 0) {
        std::memmove(m_buf.data(), m_buf.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_buf.size() - m_end < kChunk)
        m_buf.resize(std::max(m_buf.size() * 2, m_end + kChunk));
    char* into = m_buf.data() + m_end;
    std::vector<char> raw;
    if (m_utf16) {
        raw.resize(kChunk);
        into = raw.data();
    }
    ssize_t got;
    do {
        got = ::read(m_fd, into, kChunk);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        m_problem = std::string("reading it failed (") + std::strerror(errno) + ")";
        m_eof = true;
        return false;
    }
    m_rawRead += got;
    if (got == 0)
        m_eof = true;
    if (m_utf16)
        appendUtf16(raw.data(), size_t(got), got == 0);
    else
        m_end += size_t(got);
    return got > 0 || (m_utf16 && m_end > m_begin);
}

int64_t DocumentReader::consumed() const {
    // A UTF-16 document becomes other bytes in the buffer: count what has been read of the file.
    return m_utf16 ? std::min(m_rawRead, m_size) : m_consumed;
}

bool DocumentReader::next(std::string_view& line) {
    if (!m_problem.empty())
        return false;
    for (;;) {
        if (m_skipLf) {
            if (m_begin == m_end && !m_eof) {
                fill();
                if (!m_problem.empty())
                    return false;
                continue;
            }
            if (m_begin < m_end && m_buf[m_begin] == '\n') {
                ++m_begin;
                ++m_consumed;
            }
            m_skipLf = false;
        }
        const char* p = m_buf.data() + m_begin;
        const size_t avail = m_end - m_begin;
        const size_t at = m_scanned + findLineBreak(p + m_scanned, avail - m_scanned);
        size_t length, used;
        if (at < avail && at <= kLongestLine) {
            length = at;
            used = at + 1;
            if (p[at] == '\r') {
                if (at + 1 < avail) {
                    if (p[at + 1] == '\n')
                        ++used;
                } else {
                    m_skipLf = true;  // the LF of a CR LF may come with the next read
                }
            }
        } else if (avail >= kLongestLine) {
            length = used = kLongestLine;  // a line longer than any document has: handed on in pieces
        } else if (!m_eof) {
            m_scanned = avail;
            fill();
            if (!m_problem.empty())
                return false;
            continue;
        } else if (avail > 0) {
            length = used = avail;  // the last line, without a terminator
        } else {
            return false;
        }
        const std::string_view raw(p, length);
        m_begin += used;
        m_consumed += int64_t(used);
        m_scanned = 0;
        line = m_decoder.decode(raw, m_scratch);
        return true;
    }
}

}  // namespace sitedex::app::importing

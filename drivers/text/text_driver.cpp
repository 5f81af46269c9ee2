#include "drivers/text/text_driver.h"

#include "data/error_state.h"
#include "drivers/text/text_instance.h"

#include <cerrno>
#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sitedex::text {

using namespace sitedex::data;

namespace {

constexpr uint32_t kMaxRecord = 65536;
constexpr int kMaxGroupDepth = 100;

int sysErr(int e) { return systemErrorFromErrno(e); }

// Index of the first byte in p[0..n) equal to a, b or c; n when there is none. p[0..readable) may be read. One pass, 16 bytes at a
// time: the line reader's fast path looks for the terminator, a TAB and a Ctrl-Z together.
size_t findFirstOf3(const char* p, size_t n, size_t readable, char a, char b, char c) {
    size_t i = 0;
#if defined(__SSE2__)
    // Whole blocks may run past n as long as the bytes are readable; hits past n do not count.
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), vc = _mm_set1_epi8(c);
    for (; i < n && i + 16 <= readable; i += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)), _mm_cmpeq_epi8(x, vc));
        int mask = _mm_movemask_epi8(hit);
        if (mask) return std::min(n, i + size_t(__builtin_ctz(unsigned(mask))));
    }
#endif
    for (; i < n; ++i)
        if (p[i] == a || p[i] == b || p[i] == c) return i;
    return n;
}

TextInstance& inst(FileDecl& file) { return *static_cast<TextInstance*>(file.instance()); }

// Only STRING and GROUP fields may hold data; a field of another type is allowed when it re-uses
// storage declared before it (it starts at or before the previous field, or lies in a group that does).
int32_t checkDeclaration(const FileDecl& f) {
    if (f.recordSize() >= kMaxRecord || !f.keys().empty() || !f.memos().empty()) return kErrInvalidDeclaration;
    struct Open {
        uint8_t level;
        int64_t end;
        bool over;
    };
    std::vector<Open> groups;
    const FieldDecl* prev = nullptr;
    for (const FieldDecl& fd : f.fields()) {
        if (fd.level > kMaxGroupDepth) return kErrInvalidFieldType;
        while (!groups.empty() && groups.back().level >= fd.level) groups.pop_back();
        bool insideOver = !groups.empty() && groups.back().over && int64_t(fd.offset) < groups.back().end;
        bool over = insideOver || (prev && fd.offset <= prev->offset);
        if (fd.type != kTypeString && fd.type != kTypeGroup && !over) return kErrUnsupportedType;
        if (fd.type == kTypeGroup) groups.push_back({fd.level, int64_t(fd.offset) + fd.size, over});
        prev = &fd;
    }
    return 0;
}

std::string resolve(const std::string& declared, int32_t* err) {
    *err = 0;
    if (declared.empty()) {
        *err = kErrInvalidFilename;
        return {};
    }
    if (declared[0] == '/') return declared;
    char buf[4096];
    if (!getcwd(buf, sizeof buf)) {
        *err = kErrPathNotFound;
        return {};
    }
    std::string dir = buf;
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir + declared;
}

int64_t pointerFrom(const std::string& position) {
    unsigned char b[4] = {0, 0, 0, 0};
    std::memcpy(b, position.data(), std::min<size_t>(4, position.size()));
    return int64_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

std::string positionText(int64_t pointer) {
    uint32_t p = uint32_t(pointer);
    char b[4] = {char(p & 0xFF), char((p >> 8) & 0xFF), char((p >> 16) & 0xFF), char((p >> 24) & 0xFF)};
    return std::string(b, 4);
}

void refreshSize(TextInstance& in) {
    if (in.shared && !in.file.quickScan()) {
        int64_t s = in.file.size();
        if (s >= 0) in.fileSize = s;
    }
}

// Skips the rest of an overlong line (or the Ctrl-Z that ended it): up to and including the next
// Ctrl-Z or terminator, or to the end of the file. Returns the bytes skipped, or -1 with *err.
int64_t skipOverflow(TextInstance& in, int64_t pos, int* err) {
    const std::string& term = in.terminator;
    const uint32_t chunk = std::max<uint32_t>(uint32_t(term.size()), std::min<uint32_t>(in.file.bufferSize(), 1 << 16));
    int64_t skipped = 0;
    for (;;) {
        uint32_t avail = 0;
        const char* s = in.file.window(pos, chunk, &avail, err);
        if (!s) return -1;
        if (avail == 0) return skipped;
        const void* z = std::memchr(s, 26, avail);
        const void* t = std::memchr(s, term[0], avail);
        if (!z && !t) {
            skipped += avail;
            pos += avail;
            if (avail < chunk) return skipped;
            continue;
        }
        const char* hit = !z ? static_cast<const char*>(t)
                         : !t ? static_cast<const char*>(z)
                              : std::min(static_cast<const char*>(z), static_cast<const char*>(t));
        uint32_t i = uint32_t(hit - s);
        if (*hit == 26 && hit == z) return skipped + i + 1;
        // A terminator's first byte: the whole terminator must follow.
        uint32_t tav = 0;
        const char* tw = in.file.window(pos + i, uint32_t(term.size()), &tav, err);
        if (!tw) return -1;
        if (tav == term.size() && std::memcmp(tw, term.data(), term.size()) == 0)
            return skipped + i + int64_t(term.size());
        skipped += i + 1;
        pos += i + 1;
    }
}

// Reads the line at offset into the record buffer: writes the bytes the line places there and nothing
// after them (*copiedOut tells how many). 0 or an error code.
int32_t readLine(TextInstance& in, int64_t offset, uint32_t* copiedOut) {
    const uint32_t rs = in.recordSize;
    const std::string& term = in.terminator;
    const uint32_t tl = uint32_t(term.size());
    uint32_t avail = 0;
    int err = 0;
    const char* w = in.file.window(offset, rs + tl, &avail, &err);
    if (!w) return err;
    if (avail == 0 || w[0] == 26) return kErrRecordNotAvailable;
    char* rec = in.recordBuffer;

    // A terminator within the record, with no TAB and no Ctrl-Z before it: one search and one copy.
    uint32_t scan = std::min(rs, avail);
    uint32_t k = uint32_t(findFirstOf3(w, scan, avail, term[0], '\t', '\x1a'));
    if (k < scan && w[k] == term[0] && k + tl <= avail && std::memcmp(w + k, term.data(), tl) == 0) {
        std::memcpy(rec, w, k);
        *copiedOut = k;
        in.recordLength = k + tl;
        return 0;
    }

    auto byteAt = [&](uint32_t i) -> unsigned char { return i < avail ? static_cast<unsigned char>(w[i]) : 26; };
    auto termAt = [&](uint32_t i) {
        for (uint32_t j = 0; j < tl; ++j)
            if (byteAt(i + j) != static_cast<unsigned char>(term[j])) return false;
        return true;
    };
    uint32_t copied = 0, consumed = 0;
    bool ended = false;
    while (copied < rs && consumed < rs) {
        unsigned char c = byteAt(consumed);
        if (c == static_cast<unsigned char>(term[0]) && termAt(consumed)) {
            consumed += tl;
            ended = true;
            break;
        }
        if (c == 26) break;
        ++consumed;
        if (c != 9) {
            rec[copied++] = char(c);
            continue;
        }
        int tab = in.tabWidth;
        if (tab == kTabKeep) {
            rec[copied++] = '\t';
        } else if (tab != 0) {
            uint32_t n = tab > 0 ? uint32_t(tab) - copied % uint32_t(tab) : uint32_t(-tab);
            while (n-- > 0 && copied < rs) rec[copied++] = ' ';
        }
    }
    *copiedOut = copied;
    int64_t length = consumed;
    if (!ended && offset + consumed < in.fileSize && !(consumed == avail && avail < rs + tl)) {
        int64_t skipped = skipOverflow(in, offset + consumed, &err);
        if (skipped < 0) return err;
        length += skipped;
    }
    in.recordLength = length;
    return 0;
}

int32_t getAt(FileDecl& file, TextInstance& in, int64_t pointer) {
    if (pointer == 0) {
        in.recordRead = false;
        return 0;
    }
    refreshSize(in);
    int64_t offset = pointer - 1;
    if (pointer < 0 || offset >= in.fileSize) return kErrRecordNotAvailable;
    in.recordStart = offset;
    // A text layout clears to blanks: then only the bytes after the line are blanked, which saves
    // writing the record twice.
    bool blankTail = file.clearsToBlanks();
    if (!blankTail) file.clearRecord(in.recordBuffer);
    uint32_t copied = 0;
    int32_t r = readLine(in, offset, &copied);
    if (blankTail) std::memset(in.recordBuffer + copied, ' ', in.recordSize - copied);
    if (r != 0) {
        // A failed read consumes nothing, so that the next read stays at the end-of-file mark.
        in.recordLength = 0;
        return r;
    }
    in.recordRead = true;
    return 0;
}

int32_t writeAt(TextInstance& in, int64_t pointer, int64_t length) {
    if (in.readOnly) return kErrAccessDenied;
    bool locked = false;
    if (in.shared) {
        if (in.lockCount == 0 && in.file.lockByte0() != 0) return kErrAccessDenied;
        ++in.lockCount;
        locked = true;
    }
    auto done = [&](int32_t r) {
        if (locked) {
            if (in.file.writeOut() != 0 && r == 0) r = kErrAccessDenied;
            if (--in.lockCount == 0) in.file.unlockByte0();
        }
        return r;
    };
    int64_t pos;
    if (pointer == 0) {
        pos = in.fileSize;
        if (!in.ctrlZTested) {
            in.ctrlZTested = true;
            uint32_t avail = 0;
            int err = 0;
            const char* last = pos > 0 ? in.file.window(pos - 1, 1, &avail, &err) : nullptr;
            if (last && avail == 1 && last[0] == 26) --pos;
        }
    } else if (pointer < 0) {
        return done(kErrAccessDenied);
    } else {
        pos = pointer - 1;
    }
    in.recordStart = pos;
    if (length == 0) {
        if (in.file.truncate(pos) != 0) return done(kErrAccessDenied);
        in.fileSize = pos;
        in.recordLength = 0;
        return done(0);
    }
    const char* data = in.recordBuffer;
    int64_t len;
    if (in.clip) {
        len = in.recordSize;
        while (len > 0 && data[len - 1] == ' ') --len;
    } else {
        len = length < 0 ? int64_t(in.recordSize) : std::min<int64_t>(length, in.recordSize);
    }
    if (in.file.write(pos, data, size_t(len)) != 0 ||
        in.file.write(pos + len, in.terminator.data(), in.terminator.size()) != 0)
        return done(kErrAccessDenied);
    in.recordLength = len + int64_t(in.terminator.size());
    in.fileSize = std::max(in.fileSize, pos + in.recordLength);
    in.recordRead = true;
    return done(0);
}

int32_t openFile(FileDecl& file, TextInstance& in, uint32_t mode) {
    int32_t err = 0;
    std::string path = resolve(file.name(), &err);
    if (err) return err;
    int access = int(mode & 3);
    if (access == 3) return kErrAccessDenied;
    uint32_t share = mode & 0xF0;
    bool othersRead, othersWrite;
    if (share == kShareDenyAll) {
        othersRead = othersWrite = false;
    } else if (share == kShareDenyNone) {
        othersRead = othersWrite = true;
    } else {
        othersWrite = !(share & kShareDenyWrite);
        othersRead = !(share & kShareDenyAll) && !(share & kShareDenyWrite);
    }
    int r = in.file.open(path, access, othersRead, othersWrite);
    if (r) return r;
    in.fileName = path;
    in.fileSize = std::max<int64_t>(0, in.file.size());
    in.clip = true;
    in.tabWidth = 8;
    in.terminator = "\r\n";
    bool exclusive = share & (kShareDenyAll | kShareDenyWrite);
    in.file.setBufferSize(std::max<uint32_t>(exclusive ? 1024 : 512, 2 * in.recordSize));
    in.file.setQuickScan(exclusive);
    std::string_view opts = file.options();
    for (size_t p = opts.find('/'); p != std::string_view::npos;) {
        size_t q = opts.find('/', p + 1);
        optionRequest(in, opts.substr(p + 1, q == std::string_view::npos ? std::string_view::npos : q - p - 1));
        p = q;
    }
    in.readOnly = access == 0;
    in.shared = share == kShareDenyNone;
    in.recordRead = false;
    in.recordStart = 0;
    in.recordLength = 0;
    in.nextRead = 1;
    in.ctrlZTested = false;
    in.lockCount = 0;
    in.isOpen = true;
    if (file.attributes() & kAttrOemConvert) in.conversion.assign(in.recordSize, ' ');
    return 0;
}

// A new name ending in a separator names a directory: the file keeps its own name there.
std::string targetName(const std::string& source, const std::string& newName, int32_t* err) {
    std::string target = newName;
    while (!target.empty() && target.back() == ' ') target.pop_back();
    if (target.empty()) {
        *err = kErrInvalidFilename;
        return {};
    }
    std::string base = source.substr(source.find_last_of('/') + 1);
    char last = target.back();
    struct stat st {};
    if (last == '/' || last == '\\' || last == ':') {
        if (last != '/') target.back() = '/';
        target += base;
    } else if (stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        target += "/" + base;
    }
    return resolve(target, err);
}

int32_t copyFile(const std::string& from, const std::string& to) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return sysErr(errno);
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        int e = errno;
        ::close(in);
        return sysErr(e);
    }
    std::vector<char> buf(1 << 16);
    int32_t result = 0;
    for (;;) {
        ssize_t n = read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result = sysErr(errno);
            break;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buf.data() + done, size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                result = kErrAccessDenied;
                break;
            }
            done += w;
        }
        if (result) break;
    }
    ::close(in);
    if (::close(out) != 0 && result == 0) result = kErrAccessDenied;
    return result;
}

// Next: get at the next read position, which then moves past the line. Reading a file line by line is
// made of these calls, so the common line takes a short way: it lies in the read-ahead, ends at a whole
// terminator within the record's width and holds no TAB and no Ctrl-Z, and one pass over it copies it
// and blanks the rest of the record. Any other line goes through getAt, which reads it from scratch.
int32_t nextLine(FileDecl& file, TextInstance& in) {
    const int64_t pointer = in.nextRead;
    const std::string& term = in.terminator;
    const uint32_t rs = in.recordSize;
    const uint32_t tl = uint32_t(term.size());
    const char* w = nullptr;
    if (pointer > 0 && pointer <= in.fileSize && file.clearsToBlanks() &&
        (w = in.file.cached(pointer - 1, rs + tl)) != nullptr) [[likely]] {
        if (in.stop.terminatorFirst != static_cast<unsigned char>(term[0])) [[unlikely]]
            in.stop = stopBytesFor(static_cast<unsigned char>(term[0]));
        const size_t k = copyLine(in.recordBuffer, rs, w, in.stop);
        // A Ctrl-Z that starts the line is the end of the file even when it is the terminator.
        if (k < rs && w[k] == term[0] && w[0] != 26 &&
            (tl == 1 || (tl == 2 ? w[k + 1] == term[1] : std::memcmp(w + k, term.data(), tl) == 0))) [[likely]] {
            in.recordStart = pointer - 1;
            in.recordLength = int64_t(k + tl);
            in.recordRead = true;
            in.nextRead = pointer + in.recordLength;
            return 0;
        }
    }
    int32_t r = getAt(file, in, pointer);
    in.nextRead = in.recordStart + in.recordLength + 1;
    return r;
}

int32_t otherOperation(int op, FileDecl& file, TextInstance& in, CallArgs& args);

// Sequential reading is the hot path (the access layer calls nextEntry for it); every other operation
// goes through the switch below.
int32_t entry(int op, FileDecl& file, CallArgs& args) {
    TextInstance& in = args.instance ? *static_cast<TextInstance*>(args.instance) : inst(file);
    if (op == kOpNext) return nextLine(file, in);
    return otherOperation(op, file, in, args);
}

int32_t nextEntry(FileDecl& file, DriverInstance& in) { return nextLine(file, static_cast<TextInstance&>(in)); }

[[gnu::noinline]] int32_t otherOperation(int op, FileDecl& file, TextInstance& in, CallArgs& args) {
    switch (op) {
    case kOpOpen:
    case kOpShare: return openFile(file, in, uint32_t(args.number[0]));
    case kOpClose: {
        int r = in.file.close();
        in.isOpen = false;
        in.lockCount = 0;
        return r ? kErrAccessDenied : 0;
    }
    case kOpCreate: {
        if (!(in.optionFlags & kAttrCreate)) return kErrNoCreate;
        int32_t err = 0;
        std::string path = resolve(file.name(), &err);
        if (err) return err;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) return sysErr(errno);
        ::close(fd);
        in.fileName = path;
        return 0;
    }
    case kOpRemove: {
        int32_t err = 0;
        std::string path = resolve(file.name(), &err);
        if (err) return err;
        if (unlink(path.c_str()) != 0) return errno == ENOENT ? kErrFileNotFound : kErrAccessDenied;
        return 0;
    }
    case kOpCopy:
    case kOpRename: {
        int32_t err = 0;
        std::string from = resolve(file.name(), &err);
        if (err) return err;
        std::string to = targetName(from, args.text[0], &err);
        if (err) return err;
        if (op == kOpCopy) return copyFile(from, to);
        if (::rename(from.c_str(), to.c_str()) == 0) return 0;
        if (errno != EXDEV) return sysErr(errno);
        int32_t r = copyFile(from, to);
        if (r == 0 && unlink(from.c_str()) != 0) return sysErr(errno);
        return r;
    }
    case kOpEmpty:
        if (in.readOnly || in.file.truncate(0) != 0) return kErrAccessDenied;
        in.fileSize = 0;
        return 0;
    case kOpFlush: return in.file.sync() ? kErrAccessDenied : 0;
    case kOpSet: in.nextRead = 1; return 0;
    case kOpSetToPointer: in.nextRead = args.number[0] > 0 ? args.number[0] : 1; return 0;
    case kOpReset: {
        int64_t p = pointerFrom(args.text[0]);
        in.nextRead = p > 0 ? p : 1;
        return 0;
    }
    case kOpGetByPointer:
    case kOpGetByPointerLength: return getAt(file, in, args.number[0]);
    case kOpReget: return getAt(file, in, pointerFrom(args.text[0]));
    case kOpAtEnd: {
        refreshSize(in);
        int64_t pos = in.nextRead - 1;
        bool end = true;
        if (pos >= 0 && pos < in.fileSize) {
            uint32_t avail = 0;
            int err = 0;
            const char* w = in.file.window(pos, 1, &avail, &err);
            end = !w || avail == 0 || w[0] == 26;
        }
        args.numberResult = end;
        return 0;
    }
    case kOpAdd:
    case kOpAppend: return writeAt(in, 0, -1);
    case kOpAddLength:
    case kOpAppendLength: return writeAt(in, 0, args.number[0]);
    case kOpPut: return writeAt(in, in.recordStart + 1, -1);
    case kOpPutToPointer: return writeAt(in, args.number[0], -1);
    case kOpPutToPointerLength: return writeAt(in, args.number[0], args.number[1]);
    case kOpPointer: args.numberResult = in.recordRead ? in.recordStart + 1 : 0; return 0;
    case kOpPosition: args.textResult = positionText(in.recordRead ? in.recordStart + 1 : 0); return 0;
    case kOpBytes:
        refreshSize(in);
        args.numberResult = (in.state & kStateHasRecord) ? in.recordLength : in.fileSize;
        return 0;
    case kOpLock:
    case kOpLockWait: {
        if (in.lockCount == 0) {
            int r = in.file.lockByte0();
            if (r) return r;
        }
        ++in.lockCount;
        return 0;
    }
    case kOpUnlock:
        if (in.lockCount > 0 && --in.lockCount == 0) in.file.unlockByte0();
        return 0;
    case kOpName: args.textResult = in.isOpen ? in.fileName : file.name(); return 0;
    case kOpSend: {
        std::string req;
        for (char c : args.text[0])
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v' && c != '\f')
                req += (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
        args.textResult = req == "REGISTER" ? "ASCII" : optionRequest(in, args.text[0]);
        return 0;
    }
    default: return kErrUnsupported;
    }
}

std::unique_ptr<DriverInstance> newInstance(FileDecl& file, int32_t* error) {
    *error = checkDeclaration(file);
    if (*error) return nullptr;
    return std::make_unique<TextInstance>();
}

}  // namespace

const DriverDescriptor& descriptor() {
    static const DriverDescriptor d{
        "ASCII",
        "Ascii File Driver 1.0",
        entry,
        newInstance,
        {1, 4, 7, 9, 10, 13, 14, 16, 20, 21, 23, 24, 25, 27, 29, 30, 37, 38, 41, 43, 48, 50, 51, 52, 53, 54, 55, 59, 60,
         61, 63, 66},
        {kTypeString, kTypeGroup},
        RegistryCaps{false, false, false, true, true},
        nextEntry,
    };
    return d;
}

}  // namespace sitedex::text

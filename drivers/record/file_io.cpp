#include "drivers/record/file_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace sitedex::record {

namespace {

// ---- mapped headers and views --------------------------------------------------------------------
// A mapped page that the file no longer reaches (another program cut the file short) faults with
// SIGBUS when read. The handler below knows the mapped headers and the views that reads copy from;
// for a page of one of them it lays a page of zeros over the mapping, so that the read goes on.
// A header then shows no header (the reader reads the file and reports what it finds); a copy
// from a view sees the fault counted and is done again with a read call, which reports the file's
// true end. Any other fault goes on to the handler that was there before, or to the default action.
constexpr size_t kMaxMappedHeads = 256;
std::atomic<uintptr_t> g_mappedHeads[kMaxMappedHeads];
std::atomic<uint64_t> g_headFaults{0};

constexpr size_t kMaxViews = 256;
struct ViewEntry {
    std::atomic<uintptr_t> start{0};  // 0: the entry is free
    std::atomic<size_t> length{0};
};
ViewEntry g_views[kMaxViews];
std::atomic<uint64_t> g_viewFaults{0};
size_t g_pageSize = 4096;

struct sigaction g_previousBus;

bool layZerosOver(uintptr_t page, size_t length) {
    void* over =
        ::mmap(reinterpret_cast<void*>(page), length, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    return over != MAP_FAILED;
}

void onBus(int sig, siginfo_t* info, void* context) {
    auto addr = reinterpret_cast<uintptr_t>(info->si_addr);
    auto page = addr & ~uintptr_t(kHeadMapSize - 1);
    bool handled = false;
    for (auto& m : g_mappedHeads) {
        if (page != 0 && m.load(std::memory_order_acquire) == page) {
            if (layZerosOver(page, kHeadMapSize)) {
                g_headFaults.fetch_add(1, std::memory_order_relaxed);
                handled = true;
            }
            break;
        }
    }
    for (size_t i = 0; !handled && i < kMaxViews; ++i) {
        uintptr_t start = g_views[i].start.load(std::memory_order_acquire);
        if (start == 0 || addr < start || addr - start >= g_views[i].length.load(std::memory_order_acquire)) continue;
        if (layZerosOver(addr & ~uintptr_t(g_pageSize - 1), g_pageSize)) {
            g_viewFaults.fetch_add(1, std::memory_order_relaxed);
            handled = true;
        }
        break;
    }
    if (handled) return;
    if (g_previousBus.sa_flags & SA_SIGINFO) {
        g_previousBus.sa_sigaction(sig, info, context);
    } else if (g_previousBus.sa_handler != SIG_IGN && g_previousBus.sa_handler != SIG_DFL) {
        g_previousBus.sa_handler(sig);
    } else {
        // The fault comes again on return, now with the default action.
        ::signal(SIGBUS, SIG_DFL);
    }
}

bool installBusHandler() {
    static std::once_flag once;
    static bool installed = false;
    std::call_once(once, [] {
        long pageSize = ::sysconf(_SC_PAGESIZE);
        if (pageSize > 0) g_pageSize = size_t(pageSize);
        struct sigaction sa {};
        sa.sa_sigaction = onBus;
        sa.sa_flags = SA_SIGINFO;
        sigemptyset(&sa.sa_mask);
        installed = ::sigaction(SIGBUS, &sa, &g_previousBus) == 0;
    });
    return installed;
}

// Writes go out at most this much at a time. The system keeps a file's cached bytes in blocks as
// large as the writes that made them, and a later small write into a large block costs in
// proportion to the block: a page written home into space a long log or a run of pages filled
// took up to ten times as long. Pieces this size keep those blocks small while long writes still
// take few calls.
constexpr size_t kWriteChunk = size_t(16) << 10;

// Reads copy from a shared read-only mapping of the file where they can: a page read from the
// system's cache then costs no system call and no lookup of the cached blocks, which together
// took a third of reading a record at random from a large file. The mapping reserves room for the
// file to grow (a larger one replaces it when the file outgrows it), and only bytes the file is
// known to hold are copied from it: the size seen at the last look, raised by this file's own
// writes. A read that reaches further looks at the file's size again, and one past the end goes
// to the read call, which gives the short count. The mapped pages are the system's cache of the
// file itself, shared with every other reader; only their page tables are the program's own.
constexpr size_t kViewLeast = size_t(64) << 20;
constexpr size_t kViewMost = size_t(1) << 40;
// The first touch of a mapped page costs a fault, and the system then maps the pages around it
// (64 KB): several read calls' worth. So a stretch of the file read at random only once or twice
// (a few adds or lookups in a large file) is read with read calls, and the view serves a stretch
// from its third read on (a scan in key order reads each stretch hundreds of times).
//
// On some machines (virtual ones whose host fills the page tables of a guest's mapping lazily) the
// first copy out of each mapped page costs several read calls more: lookups at random in a large
// file then come out a third slower through the view than with read calls, even though scans gain
// as much. A page mapped pays back its first touch only when it is read again and again, so the
// view serves no read until the reads since the file was opened number about the file's pages: a
// scan passes that early in its first pass, a batch of lookups in a large file does not.
constexpr unsigned kHeatShift = 16;
constexpr uint8_t kWarmReads = 2;
constexpr unsigned kReadsPerPageShift = 12;  // one read for every 4096 bytes of the file

class PosixFile final : public FileIo {
public:
    PosixFile(int fd, bool writable) : m_fd(fd), m_writable(writable) {}
    ~PosixFile() override {
        forgetMappedHead();
        dropView();
        ::close(m_fd);
    }
    const uint8_t* mappedHead() override {
        if (m_map) return static_cast<const uint8_t*>(m_map);
        if (!installBusHandler()) return nullptr;
        void* p = ::mmap(nullptr, kHeadMapSize, PROT_READ, MAP_SHARED, m_fd, 0);
        if (p == MAP_FAILED) return nullptr;
        for (size_t i = 0; i < kMaxMappedHeads; ++i) {
            uintptr_t none = 0;
            if (g_mappedHeads[i].compare_exchange_strong(none, reinterpret_cast<uintptr_t>(p))) {
                m_map = p;
                m_mapSlot = i;
                return static_cast<const uint8_t*>(m_map);
            }
        }
        ::munmap(p, kHeadMapSize);  // more files open than mappings known: this one reads
        return nullptr;
    }
    void forgetMappedHead() override {
        if (!m_map) return;
        g_mappedHeads[m_mapSlot].store(0, std::memory_order_release);
        ::munmap(m_map, kHeadMapSize);
        m_map = nullptr;
    }

    Status read(uint64_t offset, void* buf, size_t n, size_t& got) override {
        got = 0;
        auto* p = static_cast<char*>(buf);
        if (n > 0 && viewHolds(offset, n) && warm(offset)) {
            uint64_t faults = g_viewFaults.load(std::memory_order_acquire);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            std::memcpy(p, m_view + offset, n);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            if (g_viewFaults.load(std::memory_order_acquire) == faults) {
                got = n;
                return {};
            }
            // The file was cut short under the copy: zeros lie over the page that faulted, so the
            // view goes, and the read call tells what the file holds now.
            dropView();
            m_known = 0;
        }
        while (got < n) {
            ssize_t r = ::pread(m_fd, p + got, n - got, off_t(offset + got));
            if (r < 0) {
                if (errno == EINTR) continue;
                return Status::system(errno, "read");
            }
            if (r == 0) break;
            got += size_t(r);
        }
        return {};
    }
    Status write(uint64_t offset, const void* buf, size_t n) override {
        const auto* p = static_cast<const char*>(buf);
        size_t done = 0;
        while (done < n) {
            ssize_t r = ::pwrite(m_fd, p + done, std::min(n - done, kWriteChunk), off_t(offset + done));
            if (r < 0) {
                if (errno == EINTR) continue;
                return Status::system(errno, "write");
            }
            done += size_t(r);
        }
        m_known = std::max(m_known, offset + n);
        return {};
    }
    Status sync() override {
        if (::fdatasync(m_fd) != 0) return Status::system(errno, "flush");
        return {};
    }
    Status size(uint64_t& out) override {
        struct stat st;
        if (::fstat(m_fd, &st) != 0) return Status::system(errno, "stat");
        out = uint64_t(st.st_size);
        m_known = out;
        return {};
    }
    Status truncate(uint64_t size) override {
        if (::ftruncate(m_fd, off_t(size)) != 0) return Status::system(errno, "truncate");
        m_known = size;
        return {};
    }
    Status lock(uint64_t offset, uint64_t len, bool exclusive) override {
        struct flock fl {};
        // A descriptor opened for reading only cannot take write locks; its shared lock still
        // conflicts with every writer, which is all a reader needs.
        fl.l_type = short((exclusive && m_writable) ? F_WRLCK : F_RDLCK);
        fl.l_whence = SEEK_SET;
        fl.l_start = off_t(offset);
        fl.l_len = off_t(len);
        if (::fcntl(m_fd, F_OFD_SETLK, &fl) == 0) return {};
        if (errno == EAGAIN || errno == EACCES) return Status::error(kLocked);
        return Status::system(errno, "lock");
    }
    Status unlock(uint64_t offset, uint64_t len) override {
        struct flock fl {};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = off_t(offset);
        fl.l_len = off_t(len);
        if (::fcntl(m_fd, F_OFD_SETLK, &fl) != 0) return Status::system(errno, "unlock");
        return {};
    }
    bool writable() const override { return m_writable; }

private:
    // Whether [offset, offset + n) can be copied from the view; makes or enlarges the view as
    // needed.
    bool viewHolds(uint64_t offset, size_t n) {
        if (m_noView) return false;
        if (n > m_known || offset > m_known - n) {
            uint64_t size = 0;
            if (!this->size(size).ok() || n > m_known || offset > m_known - n) return false;
        }
        if (m_known > m_viewLength && !makeView()) return false;
        return true;
    }
    // Whether the stretch of the file at `offset` has been read often enough, and the file as a
    // whole too, to be read through the view; counts the read otherwise.
    bool warm(uint64_t offset) {
        bool fileReadOften = m_reads >= (m_known >> kReadsPerPageShift);
        if (!fileReadOften) ++m_reads;
        uint8_t& heat = m_heat[size_t(offset >> kHeatShift)];
        if (heat >= kWarmReads) return fileReadOften;
        ++heat;
        return false;
    }
    bool makeView() {
        if (m_known > kViewMost) return false;  // reads of a file this large take read calls
        if (!installBusHandler()) {
            m_noView = true;
            return false;
        }
        size_t length = kViewLeast;
        while (length < 2 * m_known) length *= 2;
        dropView();
        void* p = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, m_fd, 0);
        if (p == MAP_FAILED) {
            m_noView = true;  // this file cannot be mapped: it reads with read calls
            return false;
        }
        for (size_t i = 0; i < kMaxViews; ++i) {
            uintptr_t none = 0;
            auto start = reinterpret_cast<uintptr_t>(p);
            if (g_views[i].start.compare_exchange_strong(none, start, std::memory_order_acq_rel)) {
                g_views[i].length.store(length, std::memory_order_release);
                m_view = static_cast<char*>(p);
                m_viewLength = length;
                m_heat.resize(length >> kHeatShift, 0);
                m_viewSlot = i;
                return true;
            }
        }
        ::munmap(p, length);  // more files open than views known: this one reads with read calls
        m_noView = true;
        return false;
    }
    void dropView() {
        if (!m_view) return;
        g_views[m_viewSlot].length.store(0, std::memory_order_release);
        g_views[m_viewSlot].start.store(0, std::memory_order_release);
        ::munmap(m_view, m_viewLength);
        m_view = nullptr;
        m_viewLength = 0;
    }

    int m_fd;
    bool m_writable;
    void* m_map = nullptr;  // the mapped header page
    size_t m_mapSlot = 0;
    char* m_view = nullptr;  // the file mapped for reading, m_viewLength bytes reserved
    size_t m_viewLength = 0;
    size_t m_viewSlot = 0;
    uint64_t m_known = 0;  // the file holds at least this many bytes
    std::vector<uint8_t> m_heat;
    uint64_t m_reads = 0;  // reads counted towards the file's pages (warm), up to their number
    bool m_noView = false;
};

FileOpener& opener() {
    static FileOpener o;
    return o;
}

}  // namespace

Status openPosixFile(const std::string& path, bool writable, bool create, std::unique_ptr<FileIo>& out) {
    int flags = (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    if (create) flags |= O_CREAT;
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        if (errno == ENOENT) return Status::error(kNotFound, path);
        if (errno == EACCES || errno == EPERM) return Status::error(kAccessDenied, path);
        return Status::system(errno, path);
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Status::error(kAccessDenied, path + ": not a regular file");
    }
    out = std::make_unique<PosixFile>(fd, writable);
    return {};
}

void setFileOpener(FileOpener o) { opener() = std::move(o); }

uint64_t mappedHeadFaults() { return g_headFaults.load(std::memory_order_relaxed); }
uint64_t viewFaults() { return g_viewFaults.load(std::memory_order_relaxed); }

Status openFile(const std::string& path, bool writable, bool create, std::unique_ptr<FileIo>& out) {
    if (opener()) return opener()(path, writable, create, out);
    return openPosixFile(path, writable, create, out);
}

}  // namespace sitedex::record

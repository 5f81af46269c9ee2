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
#include <mutex>

namespace sitedex::record {

namespace {

// ---- mapped headers ------------------------------------------------------------------------------
// A mapped page that the file no longer reaches (another program cut the file to nothing) faults
// with SIGBUS when read. The handler below knows the mapped headers; for one of them it lays a page
// of zeros over the mapping, so that the read goes on and finds no header there (the reader then
// reads the file and reports what it finds). Any other fault goes on to the handler that was there
// before, or to the default action.
constexpr size_t kMaxMappedHeads = 256;
std::atomic<uintptr_t> g_mappedHeads[kMaxMappedHeads];
std::atomic<uint64_t> g_headFaults{0};
struct sigaction g_previousBus;

void onBus(int sig, siginfo_t* info, void* context) {
    auto page = reinterpret_cast<uintptr_t>(info->si_addr) & ~uintptr_t(kHeadMapSize - 1);
    for (auto& m : g_mappedHeads) {
        if (page != 0 && m.load(std::memory_order_acquire) == page) {
            void* over = ::mmap(reinterpret_cast<void*>(page), kHeadMapSize, PROT_READ,
                                MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (over != MAP_FAILED) {
                g_headFaults.fetch_add(1, std::memory_order_relaxed);
                return;
            }
            break;
        }
    }
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

class PosixFile final : public FileIo {
public:
    PosixFile(int fd, bool writable) : m_fd(fd), m_writable(writable) {}
    ~PosixFile() override {
        forgetMappedHead();
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
        return {};
    }
    Status truncate(uint64_t size) override {
        if (::ftruncate(m_fd, off_t(size)) != 0) return Status::system(errno, "truncate");
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
    int m_fd;
    bool m_writable;
    void* m_map = nullptr;  // the mapped header page
    size_t m_mapSlot = 0;
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
        if (errno == EACCES || errno == EPERM || errno == EROFS) return Status::error(kAccessDenied, path);
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

Status openFile(const std::string& path, bool writable, bool create, std::unique_ptr<FileIo>& out) {
    if (opener()) return opener()(path, writable, create, out);
    return openPosixFile(path, writable, create, out);
}

}  // namespace sitedex::record

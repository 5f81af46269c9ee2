#include "drivers/record/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace sitedex::record {

namespace {

class PosixFile final : public FileIo {
public:
    PosixFile(int fd, bool writable) : m_fd(fd), m_writable(writable) {}
    ~PosixFile() override { ::close(m_fd); }

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
            ssize_t r = ::pwrite(m_fd, p + done, n - done, off_t(offset + done));
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

Status openFile(const std::string& path, bool writable, bool create, std::unique_ptr<FileIo>& out) {
    if (opener()) return opener()(path, writable, create, out);
    return openPosixFile(path, writable, create, out);
}

}  // namespace sitedex::record

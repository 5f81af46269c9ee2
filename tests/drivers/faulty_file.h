#pragma once
// A file of the record engine that fails on purpose, for fault tests: the write chosen fails (a full
// disk), or the power goes off there (every write not yet flushed is dropped, and the file fails
// from then on). Installed through the engine's file opener, so every file opened while a guard
// lives is wrapped.

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "drivers/record/file_io.h"

namespace sitedex::record::testing {

struct Faults {
    int failAt = -1;       // the write (1-based) that fails
    bool powerCut = false; // at the failing write: drop every unflushed write and fail from then on
    int writes = 0;
    bool dead = false;
};

// Keeps writes in memory until flushed, as a disk cache does, so a "power cut" can drop them.
class FaultyFile final : public FileIo {
public:
    FaultyFile(std::unique_ptr<FileIo> real, Faults& f) : m_real(std::move(real)), m_f(f) {}
    Status read(uint64_t offset, void* buf, size_t n, size_t& got) override {
        if (m_f.dead) return Status::system(EIO, "power is off");
        VLX_TRY(m_real->read(offset, buf, n, got));
        uint64_t size = 0;
        VLX_TRY(this->size(size));
        got = size > offset ? size_t(std::min<uint64_t>(n, size - offset)) : 0;
        auto* p = static_cast<char*>(buf);
        for (auto& [off, data] : m_pending) {
            uint64_t lo = std::max(off, offset), hi = std::min(off + data.size(), offset + n);
            if (lo < hi) std::memcpy(p + (lo - offset), data.data() + (lo - off), hi - lo);
        }
        return {};
    }
    Status write(uint64_t offset, const void* buf, size_t n) override {
        if (m_f.dead) return Status::system(EIO, "power is off");
        if (++m_f.writes == m_f.failAt) {
            if (m_f.powerCut) {
                m_f.dead = true;
                m_pending.clear();
                return Status::system(EIO, "power cut");
            }
            return Status::system(ENOSPC, "disk full");
        }
        if (!m_f.powerCut) return m_real->write(offset, buf, n);
        m_pending.emplace_back(offset, std::string(static_cast<const char*>(buf), n));
        return {};
    }
    Status sync() override {
        if (m_f.dead) return Status::system(EIO, "power is off");
        for (auto& [off, data] : m_pending) VLX_TRY(m_real->write(off, data.data(), data.size()));
        m_pending.clear();
        return m_real->sync();
    }
    Status size(uint64_t& out) override {
        VLX_TRY(m_real->size(out));
        for (auto& [off, data] : m_pending) out = std::max<uint64_t>(out, off + data.size());
        return {};
    }
    Status truncate(uint64_t size) override {
        if (m_f.dead) return Status::system(EIO, "power is off");
        for (auto& [off, data] : m_pending)
            if (off + data.size() > size) data.resize(off >= size ? 0 : size_t(size - off));
        return m_real->truncate(size);
    }
    Status lock(uint64_t o, uint64_t l, bool x) override { return m_real->lock(o, l, x); }
    Status unlock(uint64_t o, uint64_t l) override { return m_real->unlock(o, l); }
    bool writable() const override { return m_real->writable(); }

private:
    std::unique_ptr<FileIo> m_real;
    Faults& m_f;
    std::vector<std::pair<uint64_t, std::string>> m_pending;
};

struct OpenerGuard {
    explicit OpenerGuard(Faults& f) {
        setFileOpener([&f](const std::string& p, bool w, bool c, std::unique_ptr<FileIo>& out) {
            std::unique_ptr<FileIo> real;
            VLX_TRY(openPosixFile(p, w, c, real));
            out = std::make_unique<FaultyFile>(std::move(real), f);
            return Status{};
        });
    }
    ~OpenerGuard() { setFileOpener(nullptr); }
};

}  // namespace sitedex::record::testing

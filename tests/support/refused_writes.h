#pragma once
// Test helper: record-engine files whose name is the chosen one refuse every write ("disk full")
// while the guard is armed. Files are wrapped when they are opened, so install the guard before
// the files of the test are opened (the transaction control file is opened at each commit).

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>

#include "drivers/record/file_io.h"

namespace sitedex::testing {

class RefusedWrites {
public:
    RefusedWrites() {
        record::setFileOpener([this](const std::string& p, bool w, bool c, std::unique_ptr<record::FileIo>& out) {
            std::unique_ptr<record::FileIo> real;
            VLX_TRY(record::openPosixFile(p, w, c, real));
            out = std::make_unique<File>(std::move(real), std::filesystem::path(p).filename().string(), *this);
            return record::Status{};
        });
    }
    ~RefusedWrites() { record::setFileOpener(nullptr); }
    // The file name (no folder) whose writes fail; empty: none.
    std::string target;

private:
    class File final : public record::FileIo {
    public:
        File(std::unique_ptr<record::FileIo> real, std::string name, RefusedWrites& owner)
            : m_real(std::move(real)), m_name(std::move(name)), m_owner(owner) {}
        record::Status read(uint64_t o, void* b, size_t n, size_t& got) override { return m_real->read(o, b, n, got); }
        record::Status write(uint64_t o, const void* b, size_t n) override {
            if (!m_owner.target.empty() && m_owner.target == m_name) return record::Status::system(ENOSPC, "disk full");
            return m_real->write(o, b, n);
        }
        record::Status sync() override { return m_real->sync(); }
        record::Status size(uint64_t& out) override { return m_real->size(out); }
        record::Status truncate(uint64_t s) override { return m_real->truncate(s); }
        record::Status lock(uint64_t o, uint64_t l, bool x) override { return m_real->lock(o, l, x); }
        record::Status unlock(uint64_t o, uint64_t l) override { return m_real->unlock(o, l); }
        bool writable() const override { return m_real->writable(); }

    private:
        std::unique_ptr<record::FileIo> m_real;
        std::string m_name;
        RefusedWrites& m_owner;
    };
};

}  // namespace sitedex::testing

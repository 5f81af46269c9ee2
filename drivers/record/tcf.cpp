#include "drivers/record/tcf.h"

#include <chrono>
#include <random>
#include <thread>

#include <unistd.h>

#include "drivers/record/file_io.h"

namespace sitedex::record {

namespace {

// (I15) records start on 512-byte boundaries, so a torn record costs a lookup nothing but itself.
constexpr uint32_t kTcfAlign = 512;
constexpr char kTcfMagic[4] = {'v', 'T', 'c', 'F'};
constexpr uint32_t kTcfFixed = 18;        // magic, length, txid, file count
constexpr uint32_t kTcfMaxRecord = 1u << 20;
constexpr uint64_t kTcfLock = 0x80000000ull;

Status lockTcf(FileIo& io) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        Status s = io.lock(kTcfLock, 1, true);
        if (s.code != kLocked || std::chrono::steady_clock::now() >= deadline) return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Calls fn(pos, txid, record) for every whole record in the file.
template <class F>
Status walk(FileIo& io, F&& fn) {
    uint64_t size = 0;
    VLX_TRY(io.size(size));
    std::string buf;
    for (uint64_t pos = 0; pos + kTcfFixed + 4 <= size;) {
        uint8_t head[kTcfFixed];
        size_t got = 0;
        VLX_TRY(io.read(pos, head, kTcfFixed, got));
        uint32_t len = get32(head + 4);
        if (got == kTcfFixed && std::memcmp(head, kTcfMagic, 4) == 0 && len >= kTcfFixed + 4 && len <= kTcfMaxRecord &&
            pos + len <= size) {
            buf.resize(len);
            VLX_TRY(io.read(pos, buf.data(), len, got));
            const auto* p = reinterpret_cast<const uint8_t*>(buf.data());
            if (got == len && get32(p + len - 4) == crc32(p, len - 4)) {
                uint64_t txid = uint64_t(get32(p + 8)) | (uint64_t(get32(p + 12)) << 32);
                fn(pos, txid, buf);
                pos += (uint64_t(len) + kTcfAlign - 1) / kTcfAlign * kTcfAlign;
                continue;
            }
        }
        pos += kTcfAlign;
    }
    return {};
}

// Whether any file named in the record still carries the prepared mark of its transaction (I17): a
// record left by a writer that died after the commit point is needed until every such file has been
// rolled forward by a later writer.
bool stillNeeded(const std::string& rec, uint64_t txid) {
    const auto* p = reinterpret_cast<const uint8_t*>(rec.data());
    size_t count = get16(p + 16), at = kTcfFixed;
    for (size_t i = 0; i < count && at < rec.size() - 4; ++i) {
        size_t end = rec.find('\0', at);
        if (end == std::string::npos || end >= rec.size() - 4) return true;
        std::unique_ptr<FileIo> io;
        uint8_t h[kHeaderSize];
        size_t got = 0;
        Status s = openFile(rec.substr(at, end - at), false, false, io);
        if (s.code == kNotFound) {
            at = end + 1;
            continue;
        }
        if (!s.ok() || !io->read(0, h, kHeaderSize, got).ok() || got < kHeaderSize) return true;  // keep when unsure
        uint64_t id = uint64_t(get32(h + kHdrPrepTx)) | (uint64_t(get32(h + kHdrPrepTx + 4)) << 32);
        if (get32(h + kHdrPrepStart) != 0 && id == txid) return true;
        at = end + 1;
    }
    return false;
}

}  // namespace

uint64_t newTransactionId() {
    static std::mt19937_64 rng = [] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), unsigned(::getpid()),
                          unsigned(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seq);
    }();
    uint64_t id;
    do id = rng();
    while (id == 0);
    return id;
}

Status tcfAppend(const std::string& path, uint64_t txid, const std::vector<std::string>& files, bool durable,
                 uint64_t& pos) {
    std::string rec(kTcfFixed, '\0');
    auto* h = reinterpret_cast<uint8_t*>(rec.data());
    std::memcpy(h, kTcfMagic, 4);
    put32(h + 8, uint32_t(txid));
    put32(h + 12, uint32_t(txid >> 32));
    put16(h + 16, uint16_t(files.size()));
    for (const std::string& f : files) {
        rec += f;
        rec.push_back('\0');
    }
    rec.resize(rec.size() + 4);
    if (rec.size() > kTcfMaxRecord) return Status::error(kAccessDenied, "transaction names too many files");
    h = reinterpret_cast<uint8_t*>(rec.data());
    put32(h + 4, uint32_t(rec.size()));
    put32(h + rec.size() - 4, crc32(h, rec.size() - 4));
    std::unique_ptr<FileIo> io;
    VLX_TRY(openFile(path, true, true, io));
    VLX_TRY(lockTcf(*io));
    // Records of earlier groups whose files are all settled are cleared first; an empty file starts over.
    bool kept = false;
    Status s = walk(*io, [&](uint64_t at, uint64_t id, const std::string& old) {
        if (stillNeeded(old, id)) {
            kept = true;
            return;
        }
        static const char zero[4] = {};
        (void)io->write(at, zero, 4);
    });
    if (s.ok() && !kept) s = io->truncate(0);
    uint64_t size = 0;
    if (s.ok()) s = io->size(size);
    pos = (size + kTcfAlign - 1) / kTcfAlign * kTcfAlign;
    if (s.ok()) s = io->write(pos, rec.data(), rec.size());
    // The record is the commit point of the whole group: it must be on the disk before any file
    // of the group announces its log. Even a process-crash setup flushes the file's metadata here
    // only when asked to; the order of writes in the system's cache is enough otherwise.
    if (s.ok() && durable) s = io->sync();
    (void)io->unlock(kTcfLock, 1);
    return s;
}

Status tcfClear(const std::string& path, uint64_t pos, uint64_t txid) {
    std::unique_ptr<FileIo> io;
    VLX_TRY(openFile(path, true, false, io));
    VLX_TRY(lockTcf(*io));
    bool mine = false, others = false;
    Status s = walk(*io, [&](uint64_t at, uint64_t id, const std::string& rec) {
        (void)rec;
        if (at == pos && id == txid)
            mine = true;
        else
            others = true;
    });
    if (s.ok() && mine) {
        static const char zero[4] = {};
        s = io->write(pos, zero, 4);
    }
    if (s.ok() && !others) s = io->truncate(0);
    (void)io->unlock(kTcfLock, 1);
    return s;
}

Status tcfLookup(const std::string& path, uint64_t txid, bool& committed) {
    committed = false;
    std::unique_ptr<FileIo> io;
    Status s = openFile(path, false, false, io);
    if (s.code == kNotFound) return {};
    VLX_TRY(s);
    return walk(*io, [&](uint64_t, uint64_t id, const std::string&) { committed = committed || id == txid; });
}

}  // namespace sitedex::record

#include "drivers/record/rebuild.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>
#include <set>
#include <thread>
#include <unordered_map>

#include "drivers/record/salvage.h"
#include "drivers/record/table.h"
#include "drivers/record/tree_loader.h"

namespace sitedex::record {

namespace {

constexpr uint32_t kFirstPage = kFreeMapHome + kFreeMapUnits * kUnit;
constexpr std::string_view kTablePrefix = "TABLE:";

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

std::string tableKey(uint32_t table, uint8_t sel) {
    std::string k;
    append32be(k, table);
    k.push_back(char(sel));
    return k;
}

// ---- what the entries hold -----------------------------------------------------------------------

struct TableContent {
    std::string name;
    uint32_t number = 0;
    Schema schema;
    std::string definition;  // the stored stream
    uint32_t nextRecord = 1;
    uint32_t countedRecords = 0;  // by the stored counters, when they read
    std::map<uint32_t, std::string> records;
    // Record numbers the keys and memos name, with the selectors that name them (a number one damaged
    // entry names alone is no evidence of a record).
    std::map<uint32_t, std::set<uint8_t>> named;
    std::map<std::pair<uint32_t, uint8_t>, std::map<uint16_t, std::string>> memos;
};

Status gatherTables(const std::map<std::string, std::string>& entries, const std::map<std::string, Schema>& declared,
                    std::vector<TableContent>& tables, std::vector<std::pair<std::string, std::string>>& keptAsIs,
                    RebuildReport& report) {
    std::map<uint32_t, size_t> byNumber;
    std::string dir(1, char(kSelNamed));
    dir += kTablePrefix;
    for (auto it = entries.lower_bound(dir); it != entries.end() && startsWith(it->first, dir); ++it) {
        if (it->second.size() != 4) continue;
        uint32_t number = get32(bytes(it->second));
        if (number == 0 || number >= (1u << 24) || byNumber.count(number)) continue;
        TableContent t;
        t.name = it->first.substr(dir.size());
        t.number = number;
        byNumber[number] = tables.size();
        tables.push_back(std::move(t));
    }
    {
        // The directory entry of a table may be lost while its records are not: when one table
        // number has entries and no name, and one declared table is not in the directory, they are
        // the same table.
        std::set<uint32_t> unnamed;
        for (const auto& [k, d] : entries)
            if (k.size() >= 5 && uint8_t(k[0]) != kSelNamed && !byNumber.count(get32be(bytes(k))))
                unnamed.insert(get32be(bytes(k)));
        std::vector<std::string> missing;
        for (const auto& [name, schema] : declared)
            if (std::none_of(tables.begin(), tables.end(), [&](const TableContent& t) { return t.name == name; }))
                missing.push_back(name);
        if (unnamed.size() == 1 && missing.size() == 1 && *unnamed.begin() < (1u << 24)) {
            TableContent t;
            t.name = missing[0];
            t.number = *unnamed.begin();
            byNumber[t.number] = tables.size();
            tables.push_back(std::move(t));
            report.damage.push_back("table " + missing[0] + ": its entry in the table directory is lost");
        }
    }
    for (const auto& [k, d] : entries) {
        if (uint8_t(k[0]) == kSelNamed) {
            if (!startsWith(k, dir)) keptAsIs.emplace_back(k, d);
            continue;
        }
        if (k.size() < 5) continue;
        auto t = byNumber.find(get32be(bytes(k)));
        if (t == byNumber.end()) continue;  // a table no directory entry names: nothing can use it
        TableContent& tc = tables[t->second];
        uint8_t sel = uint8_t(k[4]);
        if (sel == kSelDefinition && k.size() == 7) {
            // blocks come in order of their number (low byte first: sorted here by the map)
        } else if (sel == kSelInfo && k.size() == 5 && d.size() >= 10) {
            tc.nextRecord = get32(bytes(d));
            tc.countedRecords = get32(bytes(d) + 4);
        } else if (sel == kSelData && k.size() == 9) {
            tc.records[get32be(bytes(k) + 5)] = d;
        } else if (sel == kSelMemo && k.size() == 12) {
            uint32_t recno = get32be(bytes(k) + 5);
            tc.memos[{recno, uint8_t(k[9])}][uint16_t((uint8_t(k[10]) << 8) | uint8_t(k[11]))] = d;
            tc.named[recno].insert(kSelMemo);
        } else if (sel >= 1 && sel <= kMaxKeys && d.size() == 4) {
            tc.named[get32(bytes(d))].insert(sel);
        }
    }
    for (TableContent& tc : tables) {
        // The definition: its blocks 0, 1, 2 ... without a gap, parsed; else the declared one.
        std::map<uint16_t, std::string> blocks;
        std::string prefix = tableKey(tc.number, kSelDefinition);
        for (auto it = entries.lower_bound(prefix); it != entries.end() && startsWith(it->first, prefix); ++it)
            if (it->first.size() == prefix.size() + 2) blocks[get16(bytes(it->first) + prefix.size())] = it->second;
        std::string stream;
        bool complete = !blocks.empty();
        uint16_t expect = 0;
        for (auto& [n, b] : blocks) complete = complete && n == expect++, stream += b;
        bool parsed = complete && parseDefinition(stream, tc.schema).ok() && validateSchema(tc.schema).ok();
        if (parsed) {
            tc.definition = stream;
            continue;
        }
        auto d = declared.find(tc.name);
        if (d == declared.end())
            return Status::error(kBadDeclaration, "the definition of table " + tc.name + " cannot be read");
        tc.schema = d->second;
        tc.definition = definitionStream(tc.schema);
        report.damage.push_back("table " + tc.name + ": its stored definition is damaged; the declared one is used");
    }
    return {};
}

// Every entry of the rebuilt file in key order.
void rebuiltEntries(std::vector<TableContent>& tables, const std::vector<std::pair<std::string, std::string>>& keptAsIs,
                    std::map<std::string, std::string>& out, RebuildReport& report) {
    for (const auto& [k, d] : keptAsIs) out.emplace(k, d);
    for (TableContent& tc : tables) {
        std::string dirKey(1, char(kSelNamed));
        dirKey += kTablePrefix;
        dirKey += tc.name;
        std::string num;
        append32(num, tc.number);
        out.emplace(dirKey, num);
        for (size_t off = 0, block = 0; off < tc.definition.size(); off += 512, ++block) {
            std::string k = tableKey(tc.number, kSelDefinition);
            append16(k, uint16_t(block));
            out.emplace(k, tc.definition.substr(off, 512));
        }
        const Schema& s = tc.schema;
        std::vector<uint32_t> keyCounts(s.keys.size(), 0);
        std::set<uint32_t> saved, leftOut;
        uint32_t highest = 0;
        for (auto& [recno, rec] : tc.records) {
            if (rec.size() != s.recordSize || recno == 0 || recno >= 0x7FFFFFFFu - 1025) continue;
            // A unique key value another saved record has already: this one cannot be keyed.
            std::vector<std::string> keyed;
            bool clash = false;
            for (size_t k = 0; k < s.keys.size() && !clash; ++k) {
                if ((s.keys[k].attributes & kKeyExcludeBlank) && isBlankKeyValue(s, k, bytes(rec))) {
                    keyed.emplace_back();
                    continue;
                }
                std::string e = tableKey(tc.number, uint8_t(k + 1)) + encodeKeyValue(s, k, bytes(rec));
                if (s.keys[k].duplicates()) append32be(e, recno);
                clash = !s.keys[k].duplicates() && out.count(e);
                keyed.push_back(std::move(e));
            }
            if (clash) {
                leftOut.insert(recno);
                continue;
            }
            std::string rn;
            append32(rn, recno);
            for (size_t k = 0; k < keyed.size(); ++k) {
                if (keyed[k].empty()) continue;
                out.emplace(keyed[k], rn);
                ++keyCounts[k];
            }
            std::string dk = tableKey(tc.number, kSelData);
            append32be(dk, recno);
            out.emplace(dk, rec);
            saved.insert(recno);
            highest = std::max(highest, recno);
        }
        // Memo pieces of saved records, from the first up to the first one missing.
        for (auto& [which, pieces] : tc.memos) {
            auto [recno, memo] = which;
            if (!saved.count(recno) || memo >= s.memos.size()) continue;
            std::vector<std::pair<uint16_t, std::string>> run;
            for (auto& [n, text] : pieces) {
                if (n != run.size() || text.empty()) break;
                run.emplace_back(n, text);
            }
            bool cut = run.size() != pieces.size();
            if (s.memos[memo].binary() && !run.empty()) {
                size_t len = 0;
                for (auto& [n, text] : run) len += text.size();
                if (run[0].second.size() < 4 || get32(bytes(run[0].second)) != len - 4) cut = true, run.clear();
            }
            if (cut) ++report.memosCut;
            for (auto& [n, text] : run) {
                std::string k = tableKey(tc.number, kSelMemo);
                append32be(k, recno);
                k.push_back(char(memo));
                k.push_back(char(n >> 8));
                k.push_back(char(n & 0xFF));
                out.emplace(k, text);
            }
        }
        std::string info;
        append32(info, std::max(tc.nextRecord, highest + 1));
        append32(info, uint32_t(saved.size()));
        append16(info, uint16_t(s.keys.size()));
        for (uint32_t c : keyCounts) append32(info, c);
        out.emplace(tableKey(tc.number, kSelInfo), info);

        // Records the file held and this rebuild could not read: stored unreadably, or named by two
        // keys or by a key and a memo (one key of a one-key table) and not read. Only when no key or
        // memo named anything do the stored counters tell, if they are plausible.
        report.saved += saved.size();
        report.leftOut += leftOut.size();
        const size_t sources = s.keys.size() >= 2 || !s.memos.empty() ? 2 : 1;
        std::set<uint32_t> missing;
        for (auto& [r, by] : tc.named)
            if (by.size() >= sources && !saved.count(r) && !leftOut.count(r)) missing.insert(r);
        for (auto& [r, rec] : tc.records)
            if (!saved.count(r) && !leftOut.count(r)) missing.insert(r);
        uint64_t read = saved.size() + leftOut.size();
        bool countsPlausible = tc.countedRecords >= read && tc.countedRecords < tc.nextRecord;
        uint64_t byCount = tc.named.empty() && countsPlausible ? tc.countedRecords - read : 0;
        report.unreadable += std::max<uint64_t>(missing.size(), byCount);
    }
}

// ---- writing -------------------------------------------------------------------------------------

Status writeNewFile(const std::string& path, const std::map<std::string, std::string>& entries, uint32_t nextTable,
                    const PagerOptions& optsIn) {
    PagerOptions opts = optsIn;
    opts.writable = true;
    opts.create = true;
    std::unique_ptr<Pager> pager;
    VLX_TRY(Pager::open(path, opts, pager));
    VLX_TRY(pager->enterWrite());
    TreeLoader loader(*pager);
    Status s;
    for (const auto& [k, d] : entries) {
        s = loader.add(k, d);
        if (!s.ok()) break;
    }
    uint64_t root = 0;
    if (s.ok()) s = loader.finish(root);
    if (s.ok()) {
        pager->replaceTree(root);
        pager->setNextTableNumber(nextTable);
        s = pager->commit();
    }
    pager->leave();
    return s;
}

Status readWhole(FileIo& io, std::string& out) {
    uint64_t size = 0;
    VLX_TRY(io.size(size));
    if (size >= (uint64_t(1) << 31)) return Status::error(kInvalidDataFile, "larger than a record file can be");
    out.resize(size_t(size));
    size_t got = 0;
    VLX_TRY(io.read(0, out.data(), out.size(), got));
    out.resize(got);
    return {};
}

// The old file's bytes, beside it, under a name no other file has (the writer region keeps a second
// rebuild of the same file away meanwhile).
Status keepBackup(const std::string& path, const std::string& bytesOfOld, bool sync, std::string& backup) {
    std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    for (int n = 1; n < 1000; ++n) {
        backup = path + "." + stamp + (n > 1 ? "-" + std::to_string(n) : "") + ".bak";
        if (::access(backup.c_str(), F_OK) == 0) continue;
        std::unique_ptr<FileIo> out;
        VLX_TRY(openFile(backup, true, true, out));
        Status s = out->write(0, bytesOfOld.data(), bytesOfOld.size());
        if (s.ok() && sync) s = out->sync();
        if (!s.ok()) {
            out.reset();
            ::unlink(backup.c_str());
        }
        return s;
    }
    return Status::error(kAccessDenied, "no free name for the backup");
}

// The new content takes the old file's place through the page log (I6, I7): every page of the new
// file and its header are logged past the old file's end, the header announcing them is the commit
// point, and the log is rolled forward at once. REQUIRES: the writer region is held.
Status replaceContent(FileIo& old, uint64_t oldSize, const std::string& fresh, int32_t counter, bool sync) {
    auto flush = [&]() -> Status { return sync ? old.sync() : Status{}; };
    const auto* f = reinterpret_cast<const uint8_t*>(fresh.data());
    if (fresh.size() < kFirstPage) return Status::damaged(__LINE__, 0, "rebuilt file too short");
    uint32_t allocEnd = get32(f + kHdrAllocEnd);
    if (allocEnd > fresh.size()) return Status::damaged(__LINE__, 0, "rebuilt file cut short");
    std::vector<std::pair<uint32_t, uint32_t>> pages;  // home, stored length
    pages.emplace_back(kFreeMapHome, get16(f + kFreeMapHome + 4));
    for (uint32_t pos = kFirstPage; pos < allocEnd;) {
        uint32_t len = get16(f + pos + 4);
        if (get32(f + pos) != pos || len < kTreeHeader || len > kMaxPage)
            return Status::damaged(__LINE__, pos, "rebuilt file not dense");
        pages.emplace_back(pos, len);
        pos += roundUnits(len) * kUnit;
    }
    std::string header(fresh, 0, kHeaderSize);
    auto* h = reinterpret_cast<uint8_t*>(header.data());
    put32(h + kHdrCounter, uint32_t(counter));
    auto sealed = [&](uint32_t logStart, uint32_t logEnd) {
        put32(h + kHdrLogStart, logStart);
        put32(h + kHdrLogEnd, logEnd);
        put32(h + kHdrChecksum, crc32(h, kHdrChecksum));
        return header;
    };
    std::string copy = sealed(allocEnd, allocEnd);
    uint32_t logStart = std::max<uint32_t>(uint32_t((oldSize + kUnit - 1) / kUnit * kUnit), allocEnd);
    std::string log;
    for (auto [home, len] : pages) {
        log.append(fresh, home, len);
        log.resize(roundUnits(uint32_t(log.size())) * kUnit, '\0');
    }
    log.append(copy);
    // Before the commit point a failure leaves the file as it was; what was written past its end is
    // given back.
    auto undo = [&](Status s) {
        (void)old.truncate(oldSize);
        return s;
    };
    Status s = old.write(logStart, log.data(), log.size());
    if (s.ok()) s = flush();
    if (!s.ok()) return undo(s);
    std::string announce = sealed(logStart, logStart + uint32_t(log.size()));
    s = old.write(0, announce.data(), announce.size());  // the commit point
    if (s.ok()) s = flush();
    if (!s.ok()) return s;  // whether the header reached the disk is not known: the next opener settles it
    // Rolled forward at once; a crash from here on leaves it to the next writer (I7).
    for (auto [home, len] : pages) VLX_TRY(old.write(home, fresh.data() + home, len));
    VLX_TRY(flush());
    VLX_TRY(old.write(0, copy.data(), copy.size()));
    VLX_TRY(flush());
    return old.truncate(allocEnd);
}

Status takeWriterRegion(FileIo& io, int waitMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
    for (;;) {
        Status s = io.lock(kLockBase, kReaderSlots, true);
        if (s.code != kLocked || std::chrono::steady_clock::now() >= deadline) return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

Status rebuildFile(const std::string& path, const std::map<std::string, Schema>& declared, const PagerOptions& opts,
                   RebuildReport& report) {
    report = RebuildReport{};
    const bool sync = opts.durability == Durability::kPowerCut;
    {
        // A log or a group commit left pending by a crash is settled first, the usual way, where the
        // file lets it be (a damaged one is read as it lies).
        PagerOptions o = opts;
        o.writable = true;
        std::unique_ptr<Pager> settle;
        (void)Pager::open(path, o, settle);
    }
    std::unique_ptr<FileIo> io;
    VLX_TRY(openFile(path, true, false, io));
    VLX_TRY(takeWriterRegion(*io, opts.lockWaitMs));
    struct Unlock {
        FileIo& io;
        ~Unlock() { (void)io.unlock(kLockBase, kReaderSlots); }
    } unlock{*io};

    std::string oldBytes;
    VLX_TRY(readWhole(*io, oldBytes));
    SalvagedFile old;
    salvageEntries(oldBytes, old);
    report.damage = old.damage;
    const bool empty = old.empty;

    std::vector<TableContent> tables;
    std::vector<std::pair<std::string, std::string>> keptAsIs;
    VLX_TRY(gatherTables(old.entries, declared, tables, keptAsIs, report));
    if (tables.empty()) {
        // Nothing readable names a table. A file that never held anything gets the declared tables,
        // empty; of any other nothing could be read, and it is left as it was.
        if (!empty)
            return Status::error(kInvalidDataFile, "no table of the file could be read; the file is left as it was");
        uint32_t number = 1;
        for (const auto& [name, schema] : declared) {
            TableContent t;
            t.name = name;
            t.number = number++;
            t.schema = schema;
            t.definition = definitionStream(schema);
            tables.push_back(std::move(t));
        }
    }
    std::map<std::string, std::string> entries;
    rebuiltEntries(tables, keptAsIs, entries, report);
    if (report.saved == 0 && report.unreadable > 0)
        return Status::error(kInvalidDataFile, "no record of the file could be read; the file is left as it was");
    uint32_t nextTable = 1;
    for (const TableContent& t : tables) nextTable = std::max(nextTable, t.number + 1);
    nextTable = std::max(nextTable, old.nextTable);

    // The new file beside the old one, checked before anything of the old one changes.
    std::string fresh = path + ".rebuild";
    ::unlink(fresh.c_str());
    struct Remove {
        std::string path;
        ~Remove() { ::unlink(path.c_str()); }
    } removeFresh{fresh};
    VLX_TRY(writeNewFile(fresh, entries, nextTable, opts));
    for (const TableContent& t : tables) {
        std::unique_ptr<RecordFile> f;
        PagerOptions o = opts;
        o.writable = false;
        VLX_TRY(RecordFile::open(fresh, t.name, nullptr, o, f));
        RecordFile::CheckReport rep;
        VLX_TRY(f->check(rep));
    }
    std::string image;
    {
        std::unique_ptr<FileIo> in;
        VLX_TRY(openFile(fresh, false, false, in));
        VLX_TRY(readWhole(*in, image));
    }

    VLX_TRY(keepBackup(path, oldBytes, sync, report.backup));
    // Every program that has the file open must see a change counter it has not cached.
    int32_t counter = old.headerSound ? old.counter + 1 : int32_t(std::random_device{}());
    return replaceContent(*io, oldBytes.size(), image, counter, sync);
}

}  // namespace sitedex::record

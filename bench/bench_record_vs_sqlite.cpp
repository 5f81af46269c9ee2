// The record engine against SQLite on the same locations, in one run: bulk add in one transaction,
// single adds each committed, random get by location, a full scan in each key's order, the file
// size, and the memory taken while scanning (the process's own, and apart from it the pages of
// files it has mapped, which are the system's cache of the file), and how much of its file each
// side's scan leaves in the system's cache, starting from none of it. Both sides keep six indexes
// (case-insensitive, the location unique) and the same durability: a commit survives a killed
// process but is not flushed to the device (ours: Durability::kProcessCrash; SQLite: WAL with
// synchronous=OFF). Both page caches hold about 32 MB of file pages (ours counts decoded pages,
// about four times larger).
//
// Sizes: SITEDEX_BENCH_SIZES (comma-separated, default "100000,1000000"). Files go to
// SITEDEX_BENCH_DIR (default: a fresh folder under /tmp), removed at the end. The short cases
// (single adds, gets) run SITEDEX_BENCH_ROUNDS rounds (default 5), the sides taking turns; each
// figure is the median of its rounds.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "drivers/record/table.h"

namespace {

using namespace sitedex::record;
namespace fs = std::filesystem;

// The machine may be shared: the process CPU time of each case is reported next to the wall time.
double cpuNow() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
double g_cpuStart = 0;


// ---- data ------------------------------------------------------------------------------------------

struct Location {
    std::string url, desc, cat, keyword, info;
    int rating;
};

const char* kWords[] = {"alpha",  "garden", "river",  "music",   "travel", "recipe", "photo", "science", "history",
                        "sports", "market", "cinema", "poetry",  "health", "design", "code",  "linux",   "forum",
                        "news",   "weather", "bike",  "kitchen", "mountain", "ocean", "space", "library", "museum"};
const char* kTlds[] = {"com", "org", "net", "de", "fr", "co.uk", "io", "edu"};

std::vector<std::string> categories() {
    std::vector<std::string> c;
    for (int i = 0; i < 36; ++i) c.push_back(std::string(kWords[i % 27]) + (i >= 27 ? " & more" : "") + " sites");
    return c;
}

std::vector<Location> makeLocations(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    auto word = [&] { return std::string(kWords[rng() % 27]); };
    auto cats = categories();
    std::vector<Location> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        Location l;
        // 40..90 characters: scheme, host with the running number (unique), a path of words
        l.url = (rng() % 3 ? "https://www." : "http://") + word() + std::to_string(i) + "." + kTlds[rng() % 8] + "/";
        size_t want = 40 + rng() % 51;
        while (l.url.size() < want) l.url += word() + (rng() % 2 ? "/" : "-");
        l.url.resize(want);
        l.desc = word() + " " + word() + " and " + word() + " pages " + std::to_string(rng() % 1000);
        l.cat = cats[rng() % cats.size()];
        l.keyword = rng() % 4 ? "http" : word().substr(0, 8);
        l.rating = int(rng() % 100);
        if (rng() % 10 == 0) l.info = "Notes on " + l.desc + ": " + std::string(100 + rng() % 300, '.');
        out.push_back(std::move(l));
    }
    return out;
}

// ---- our side ------------------------------------------------------------------------------------

Schema locationsSchema() {
    Schema s;
    s.recordSize = 397;
    auto str = [&](const char* name, uint16_t off, uint16_t size) {
        Field f;
        f.type = kTypeString;
        f.name = name;
        f.offset = off;
        f.size = size;
        s.fields.push_back(f);
    };
    str("URL:LOCATION", 0, 255);
    str("URL:DESCRIPTION", 255, 100);
    str("URL:CATEGORY", 355, 30);
    Field r;
    r.type = kTypeDecimal;
    r.name = "URL:RATING";
    r.offset = 385;
    r.size = 2;
    r.digits = 2;
    s.fields.push_back(r);
    str("URL:KEYWORD", 387, 10);
    Memo m;
    m.name = "URL:SITEINFO";
    m.maxSize = 1000;
    s.memos.push_back(m);
    auto key = [&](const char* name, uint8_t attr, std::vector<KeyPart> parts) {
        Key k;
        k.name = name;
        k.attributes = attr;
        k.parts = std::move(parts);
        s.keys.push_back(k);
    };
    key("URL:K_LOCATION", 6, {{0, false}});
    key("URL:K_DESCRIPTION", 7, {{1, false}});
    key("URL:K_CATEGORY", 5, {{2, false}, {1, false}});
    key("URL:K_CATEGORYLOCATION", 7, {{2, false}, {0, false}});
    key("URL:K_RATING", 5, {{3, true}, {1, false}, {0, false}});
    key("URL:K_KEYWORD", 5, {{4, false}, {1, false}, {0, false}});
    return s;
}

// Sets one text field of a record buffer, blank-filled, as the program assigns a field.
void setField(std::string& rec, size_t off, size_t size, const std::string& v) {
    size_t n = std::min(size, v.size());
    std::memcpy(rec.data() + off, v.data(), n);
    std::memset(rec.data() + off + n, ' ', size - n);
}

std::string recordOf(const Location& l) {
    std::string rec(397, ' ');
    auto put = [&](size_t off, size_t size, const std::string& v) { setField(rec, off, size, v); };
    put(0, 255, l.url);
    put(255, 100, l.desc);
    put(355, 30, l.cat);
    rec[385] = char(l.rating / 100);
    rec[386] = char(((l.rating / 10 % 10) << 4) | (l.rating % 10));
    put(387, 10, l.keyword);
    return rec;
}

PagerOptions ourOptions() {
    PagerOptions o;
    o.durability = Durability::kProcessCrash;
    // Our cache holds decoded pages, about four times their packed size on disk: 128 MB of them
    // hold about the 32 MB of file pages that SQLite's cache holds.
    o.cacheBytes = 128u << 20;
    return o;
}

// ---- SQLite side -------------------------------------------------------------------------------------

void sq(sqlite3* db, const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s: %s\n", sql, err ? err : "?");
        std::exit(1);
    }
}

sqlite3* openSqlite(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::exit(1);
    sq(db, "PRAGMA journal_mode=WAL");
    sq(db, "PRAGMA synchronous=OFF");
    sq(db, "PRAGMA cache_size=-32768");
    return db;
}

const char* kSqliteSchema =
    "CREATE TABLE locations(id INTEGER PRIMARY KEY, location TEXT, description TEXT, category TEXT,"
    " rating INTEGER, keyword TEXT, siteinfo TEXT);"
    "CREATE UNIQUE INDEX k_location ON locations(location COLLATE NOCASE);"
    "CREATE INDEX k_description ON locations(description COLLATE NOCASE);"
    "CREATE INDEX k_category ON locations(category COLLATE NOCASE, description COLLATE NOCASE);"
    "CREATE INDEX k_categorylocation ON locations(category COLLATE NOCASE, location COLLATE NOCASE);"
    "CREATE INDEX k_rating ON locations(rating DESC, description COLLATE NOCASE, location COLLATE NOCASE);"
    "CREATE INDEX k_keyword ON locations(keyword COLLATE NOCASE, description COLLATE NOCASE, location COLLATE NOCASE);";

const char* kSqliteScans[] = {
    "SELECT * FROM locations INDEXED BY k_location ORDER BY location COLLATE NOCASE",
    "SELECT * FROM locations INDEXED BY k_description ORDER BY description COLLATE NOCASE",
    "SELECT * FROM locations INDEXED BY k_category ORDER BY category COLLATE NOCASE, description COLLATE NOCASE",
    "SELECT * FROM locations INDEXED BY k_categorylocation ORDER BY category COLLATE NOCASE, location COLLATE NOCASE",
    "SELECT * FROM locations INDEXED BY k_rating ORDER BY rating DESC, description COLLATE NOCASE, location COLLATE "
    "NOCASE",
    "SELECT * FROM locations INDEXED BY k_keyword ORDER BY keyword COLLATE NOCASE, description COLLATE NOCASE, location "
    "COLLATE NOCASE",
};

void insertRow(sqlite3_stmt* st, const Location& l) {
    sqlite3_bind_text(st, 1, l.url.c_str(), int(l.url.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 2, l.desc.c_str(), int(l.desc.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 3, l.cat.c_str(), int(l.cat.size()), SQLITE_STATIC);
    sqlite3_bind_int(st, 4, l.rating);
    sqlite3_bind_text(st, 5, l.keyword.c_str(), int(l.keyword.size()), SQLITE_STATIC);
    if (l.info.empty())
        sqlite3_bind_null(st, 6);
    else
        sqlite3_bind_text(st, 6, l.info.c_str(), int(l.info.size()), SQLITE_STATIC);
    if (sqlite3_step(st) != SQLITE_DONE) {
        std::fprintf(stderr, "sqlite insert failed\n");
        std::exit(1);
    }
    sqlite3_reset(st);
}

// ---- shared state and results ---------------------------------------------------------------------

std::string g_dir;
std::map<size_t, std::vector<Location>> g_data;
std::map<size_t, std::vector<Location>> g_extra;  // for the single adds

// A case's values, one per round (the short cases run several rounds, the two sides taking
// turns); the figures are the medians.
struct Result {
    std::vector<double> ours, sqlite;
    std::string unit;
};
std::map<std::string, Result> g_results;
std::vector<std::string> g_order;

void record(const std::string& what, bool ours, double value, const std::string& unit);
// A timed case: wall value as given, and the CPU time since the case started scaled the same way.
void recordTimed(const std::string& what, bool ours, double value, double wallSec, const std::string& unit) {
    record(what, ours, value, unit);
    double cpu = cpuNow() - g_cpuStart;
    record(what + " [cpu]", ours, wallSec > 0 ? value * cpu / wallSec : 0, unit);
}

void record(const std::string& what, bool ours, double value, const std::string& unit) {
    if (!g_results.count(what)) g_order.push_back(what);
    Result& r = g_results[what];
    (ours ? r.ours : r.sqlite).push_back(value);
    r.unit = unit;
}

constexpr int kSingles = 1000;

// Rounds of the short cases (single adds, gets): SITEDEX_BENCH_ROUNDS, default 5.
int rounds() {
    const char* env = std::getenv("SITEDEX_BENCH_ROUNDS");
    int r = env ? std::atoi(env) : 5;
    return r > 0 ? r : 1;
}

const std::vector<Location>& dataOf(size_t n) {
    auto& d = g_data[n];
    if (d.empty()) {
        d = makeLocations(n, 1);
        auto extra = makeLocations(n + size_t(kSingles) * rounds(), 2);
        g_extra[n].assign(extra.end() - kSingles * rounds(), extra.end());
        for (auto& l : g_extra[n]) l.url += "x";  // distinct from the bulk data
    }
    return d;
}

std::string ourPath(size_t n) { return g_dir + "/URL_L_" + std::to_string(n) + ".VLX"; }
std::string sqlitePath(size_t n) { return g_dir + "/locations_" + std::to_string(n) + ".db"; }

// The process's resident memory in two parts: its own (private pages and the page tables) and
// the pages of files it has mapped, which are the system's cache of those files, shared with every
// reader of them and given back whenever the system needs the room.
struct Memory {
    long ownKb = 0, fileKb = 0;
};
Memory memoryNow() {
    std::ifstream in("/proc/self/status");
    std::string line;
    Memory m;
    while (std::getline(in, line)) {
        if (line.rfind("RssAnon:", 0) == 0 || line.rfind("VmPTE:", 0) == 0) m.ownKb += std::atol(line.c_str() + 8);
        if (line.rfind("RssFile:", 0) == 0) m.fileKb = std::atol(line.c_str() + 8);
    }
    return m;
}
std::string label(size_t n, const char* what);
struct MemoryPeak {
    Memory before = memoryNow(), peak = before;
    void look() {
        Memory m = memoryNow();
        peak.ownKb = std::max(peak.ownKb, m.ownKb);
        peak.fileKb = std::max(peak.fileKb, m.fileKb);
    }
    void report(size_t n, bool ours) const {
        record(label(n, "memory taken while scanning (MB)"), ours, (peak.ownKb - before.ownKb) / 1024.0, "MB");
        record(label(n, "file pages mapped while scanning (MB)"), ours, (peak.fileKb - before.fileKb) / 1024.0, "MB");
    }
};

// The system's cache of a file: how much of it is cached, and dropping it (its pages written
// first; pages a process has mapped stay).
double cachedMb(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    struct stat st {};
    double mb = -1;
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        size_t len = size_t(st.st_size);
        void* p = ::mmap(nullptr, len, PROT_READ, MAP_SHARED, fd, 0);
        if (p != MAP_FAILED) {
            size_t page = size_t(::sysconf(_SC_PAGESIZE));
            std::vector<unsigned char> in((len + page - 1) / page);
            if (::mincore(p, len, in.data()) == 0) {
                size_t resident = 0;
                for (unsigned char c : in) resident += c & 1;
                mb = double(resident) * double(page) / (1 << 20);
            }
            ::munmap(p, len);
        }
    }
    ::close(fd);
    return mb;
}
void dropCached(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::fsync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

double seconds(std::chrono::steady_clock::time_point a) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

std::string label(size_t n, const char* what) { return std::to_string(n) + " " + what; }

void check(const Status& s, const char* what) {
    if (!s.ok()) {
        std::fprintf(stderr, "%s: %s\n", what, s.toString().c_str());
        std::exit(1);
    }
}

// ---- benchmarks --------------------------------------------------------------------------------------

void OursBulkAdd(benchmark::State& state, size_t n) {
    const auto& data = dataOf(n);
    for (auto _ : state) {
        fs::remove(ourPath(n));
        Schema s = locationsSchema();
        check(RecordFile::create(ourPath(n), "UNNAMED", s, ourOptions()), "create");
        std::unique_ptr<RecordFile> f;
        check(RecordFile::open(ourPath(n), "UNNAMED", &s, ourOptions(), f), "open");
        auto t = std::chrono::steady_clock::now();
        g_cpuStart = cpuNow();
        check(f->begin(), "begin");
        std::vector<std::string> memo(1);
        for (const Location& l : data) {
            uint32_t r;
            memo[0] = l.info;
            check(f->add(recordOf(l), &memo, r), "add");
        }
        check(f->commit(), "commit");
        double sec = seconds(t);
        state.SetIterationTime(sec);
        recordTimed(label(n, "bulk add, one transaction (s)"), true, sec, sec, "s");
    }
}

void SqliteBulkAdd(benchmark::State& state, size_t n) {
    const auto& data = dataOf(n);
    for (auto _ : state) {
        fs::remove(sqlitePath(n));
        fs::remove(sqlitePath(n) + "-wal");
        fs::remove(sqlitePath(n) + "-shm");
        sqlite3* db = openSqlite(sqlitePath(n));
        sq(db, kSqliteSchema);
        auto t = std::chrono::steady_clock::now();
        g_cpuStart = cpuNow();
        sqlite3_stmt* st;
        sqlite3_prepare_v2(db, "INSERT INTO locations(location, description, category, rating, keyword, siteinfo) "
                               "VALUES(?,?,?,?,?,?)", -1, &st, nullptr);
        sq(db, "BEGIN");
        for (const Location& l : data) insertRow(st, l);
        sq(db, "COMMIT");
        sqlite3_finalize(st);
        double sec = seconds(t);
        sqlite3_close(db);
        state.SetIterationTime(sec);
        recordTimed(label(n, "bulk add, one transaction (s)"), false, sec, sec, "s");
    }
}

// Round `round` adds its own thousand locations.
const Location* singlesOf(size_t n, int round) { return g_extra[n].data() + size_t(round) * kSingles; }

void OursSingleAdds(benchmark::State& state, size_t n, int round) {
    dataOf(n);
    for (auto _ : state) {
        Schema s = locationsSchema();
        std::unique_ptr<RecordFile> f;
        check(RecordFile::open(ourPath(n), "UNNAMED", &s, ourOptions(), f), "open");
        auto t = std::chrono::steady_clock::now();
        g_cpuStart = cpuNow();
        std::vector<std::string> memo(1);
        for (const Location* l = singlesOf(n, round); l != singlesOf(n, round + 1); ++l) {
            uint32_t r;
            memo[0] = l->info;
            check(f->add(recordOf(*l), &memo, r), "add");
        }
        double sec = seconds(t);
        state.SetIterationTime(sec);
        recordTimed(label(n, "single add, own commit (us/add)"), true, sec / kSingles * 1e6, sec, "us");
    }
}

void SqliteSingleAdds(benchmark::State& state, size_t n, int round) {
    dataOf(n);
    for (auto _ : state) {
        sqlite3* db = openSqlite(sqlitePath(n));
        sqlite3_stmt* st;
        sqlite3_prepare_v2(db, "INSERT INTO locations(location, description, category, rating, keyword, siteinfo) "
                               "VALUES(?,?,?,?,?,?)", -1, &st, nullptr);
        auto t = std::chrono::steady_clock::now();
        g_cpuStart = cpuNow();
        for (const Location* l = singlesOf(n, round); l != singlesOf(n, round + 1); ++l) insertRow(st, *l);
        double sec = seconds(t);
        sqlite3_finalize(st);
        sqlite3_close(db);
        state.SetIterationTime(sec);
        recordTimed(label(n, "single add, own commit (us/add)"), false, sec / kSingles * 1e6, sec, "us");
    }
}

constexpr int kGets = 20000;

void OursRandomGet(benchmark::State& state, size_t n, int round) {
    const auto& data = dataOf(n);
    for (auto _ : state) {
        Schema s = locationsSchema();
        std::unique_ptr<RecordFile> f;
        check(RecordFile::open(ourPath(n), "UNNAMED", &s, ourOptions(), f), "open");
        std::mt19937 rng(3 + unsigned(round));
        auto t = std::chrono::steady_clock::now();
        g_cpuStart = cpuNow();
        std::string rec;
        std::vector<std::string> memos;
        size_t found = 0;
        Cursor c(*f, 0);
        c.setFetchRecords(false);
        // The program's record buffer: a get by location sets only the location field, as SQLite's
        // side binds only the location.
        std::string probe(397, ' ');
        for (int i = 0; i < kGets; ++i) {
            const Location& l = data[rng() % data.size()];
            setField(probe, 0, 255, l.url);
            std::string entry = f->keyEntry(0, probe, 0);
            // one reader lock for the lookup and the read, as one statement of the program takes
            check(f->reading([&]() -> Status {
                VLX_TRY(c.seek(entry, true));
                if (c.valid() && c.key() == entry) {
                    VLX_TRY(f->get(c.recno(), rec, &memos));
                    ++found;
                }
                return {};
            }),
                  "get");
        }
        double sec = seconds(t);
        if (found != kGets) std::fprintf(stderr, "ours: %zu of %d found\n", found, kGets);
        state.SetIterationTime(sec);
        recordTimed(label(n, "random get by location (us/get)"), true, sec / kGets * 1e6, sec, "us");
    }
}

void SqliteRandomGet(benchmark::State& state, size_t n, int round) {
    const auto& data = dataOf(n);
    for (auto _ : state) {
        sqlite3* db = openSqlite(sqlitePath(n));
        sqlite3_stmt* st;
        sqlite3_prepare_v2(db, "SELECT * FROM locations WHERE location = ? COLLATE NOCASE", -1, &st, nullptr);
        std::mt19937 rng(3 + unsigned(round));
        auto t = std::chrono::steady_clock::now();
        g_cpuStart = cpuNow();
        size_t found = 0;
        for (int i = 0; i < kGets; ++i) {
            const Location& l = data[rng() % data.size()];
            sqlite3_bind_text(st, 1, l.url.c_str(), int(l.url.size()), SQLITE_STATIC);
            while (sqlite3_step(st) == SQLITE_ROW) {
                for (int col = 0; col < 7; ++col) benchmark::DoNotOptimize(sqlite3_column_text(st, col));
                ++found;
            }
            sqlite3_reset(st);
        }
        double sec = seconds(t);
        if (found != kGets) std::fprintf(stderr, "sqlite: %zu of %d found\n", found, kGets);
        sqlite3_finalize(st);
        sqlite3_close(db);
        state.SetIterationTime(sec);
        recordTimed(label(n, "random get by location (us/get)"), false, sec / kGets * 1e6, sec, "us");
    }
}

void OursScan(benchmark::State& state, size_t n) {
    for (auto _ : state) {
        Schema s = locationsSchema();
        std::unique_ptr<RecordFile> f;
        check(RecordFile::open(ourPath(n), "UNNAMED", &s, ourOptions(), f), "open");
        MemoryPeak memory;
        auto t = std::chrono::steady_clock::now();
        g_cpuStart = cpuNow();
        size_t rows = 0;
        // Each scan runs in one read snapshot, as an SQL statement runs in one read transaction.
        for (int key = 0; key < 6; ++key) {
            check(f->beginRead(), "snapshot");
            Cursor c(*f, key);
            for (c.seekFirst(); c.valid(); c.next()) {
                benchmark::DoNotOptimize(c.record().data());
                if (++rows % 20000 == 0) memory.look();
            }
            f->endRead();
        }
        double sec = seconds(t);
        state.SetIterationTime(sec);
        recordTimed(label(n, "scan in each of 6 key orders (s)"), true, sec, sec, "s");
        memory.report(n, true);
        state.counters["rows"] = double(rows);
    }
}

void SqliteScan(benchmark::State& state, size_t n) {
    for (auto _ : state) {
        sqlite3* db = openSqlite(sqlitePath(n));
        MemoryPeak memory;
        auto t = std::chrono::steady_clock::now();
        g_cpuStart = cpuNow();
        size_t rows = 0;
        for (const char* q : kSqliteScans) {
            sqlite3_stmt* st;
            if (sqlite3_prepare_v2(db, q, -1, &st, nullptr) != SQLITE_OK) std::exit(1);
            while (sqlite3_step(st) == SQLITE_ROW) {
                for (int col = 0; col < 6; ++col) benchmark::DoNotOptimize(sqlite3_column_text(st, col));
                if (++rows % 20000 == 0) memory.look();
            }
            sqlite3_finalize(st);
        }
        double sec = seconds(t);
        sqlite3_close(db);
        state.SetIterationTime(sec);
        recordTimed(label(n, "scan in each of 6 key orders (s)"), false, sec, sec, "s");
        memory.report(n, false);
        state.counters["rows"] = double(rows);
    }
}

// One scan in location order from a cold cache: the file's pages are dropped from the system's
// cache first, and afterwards the case reports how much of the file the system caches. A scan
// fills the system's cache whichever way it reads the file (read calls or a mapping); only a
// mapping shows those pages in the process's resident size.
void OursColdScan(benchmark::State& state, size_t n) {
    for (auto _ : state) {
        dropCached(ourPath(n));
        Schema s = locationsSchema();
        std::unique_ptr<RecordFile> f;
        check(RecordFile::open(ourPath(n), "UNNAMED", &s, ourOptions(), f), "open");
        auto t = std::chrono::steady_clock::now();
        check(f->beginRead(), "snapshot");
        {
            Cursor c(*f, 0);
            for (c.seekFirst(); c.valid(); c.next()) benchmark::DoNotOptimize(c.record().data());
        }
        f->endRead();
        f.reset();
        state.SetIterationTime(seconds(t));
        record(label(n, "file cached after one cold scan (MB)"), true, cachedMb(ourPath(n)), "MB");
    }
}

void SqliteColdScan(benchmark::State& state, size_t n) {
    for (auto _ : state) {
        dropCached(sqlitePath(n));
        sqlite3* db = openSqlite(sqlitePath(n));
        auto t = std::chrono::steady_clock::now();
        sqlite3_stmt* st;
        if (sqlite3_prepare_v2(db, kSqliteScans[0], -1, &st, nullptr) != SQLITE_OK) std::exit(1);
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int col = 0; col < 6; ++col) benchmark::DoNotOptimize(sqlite3_column_text(st, col));
        sqlite3_finalize(st);
        sqlite3_close(db);
        state.SetIterationTime(seconds(t));
        record(label(n, "file cached after one cold scan (MB)"), false, cachedMb(sqlitePath(n)), "MB");
    }
}

void FileSizes(benchmark::State& state, size_t n) {
    for (auto _ : state) {
        // SQLite's write-ahead log is folded back when the last connection closes.
        double ours = double(fs::file_size(ourPath(n))) / (1 << 20);
        double theirs = double(fs::file_size(sqlitePath(n))) / (1 << 20);
        if (fs::exists(sqlitePath(n) + "-wal")) theirs += double(fs::file_size(sqlitePath(n) + "-wal")) / (1 << 20);
        record(label(n, "file size (MB)"), true, ours, "MB");
        record(label(n, "file size (MB)"), false, theirs, "MB");
        state.SetIterationTime(0.001);
    }
}

std::vector<size_t> sizes() {
    std::vector<size_t> out;
    const char* env = std::getenv("SITEDEX_BENCH_SIZES");
    std::stringstream ss(env ? env : "100000,1000000");
    std::string item;
    while (std::getline(ss, item, ','))
        if (!item.empty()) out.push_back(size_t(std::stoull(item)));
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const char* dir = std::getenv("SITEDEX_BENCH_DIR");
    std::string made;
    if (dir) {
        g_dir = dir;
    } else {
        std::string tmpl = "/tmp/sitedex-bench-XXXXXX";
        if (!::mkdtemp(tmpl.data())) return 1;
        g_dir = made = tmpl;
    }
    for (size_t n : sizes()) {
        auto reg = [&](const char* name, void (*fn)(benchmark::State&, size_t)) {
            benchmark::RegisterBenchmark((std::string(name) + "/" + std::to_string(n)).c_str(), fn, n)
                ->Iterations(1)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        };
        reg("Ours_BulkAdd", OursBulkAdd);
        reg("SQLite_BulkAdd", SqliteBulkAdd);
        // The short cases run in rounds, the two sides taking turns, so that a slow moment of the
        // machine falls on both.
        auto regRound = [&](const char* name, void (*fn)(benchmark::State&, size_t, int), int round) {
            std::string full = std::string(name) + "/" + std::to_string(n) + "/round:" + std::to_string(round);
            benchmark::RegisterBenchmark(full.c_str(), fn, n, round)
                ->Iterations(1)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        };
        for (int round = 0; round < rounds(); ++round) {
            regRound("Ours_SingleAdds", OursSingleAdds, round);
            regRound("SQLite_SingleAdds", SqliteSingleAdds, round);
        }
        for (int round = 0; round < rounds(); ++round) {
            regRound("Ours_RandomGet", OursRandomGet, round);
            regRound("SQLite_RandomGet", SqliteRandomGet, round);
        }
        reg("Ours_Scan", OursScan);
        reg("SQLite_Scan", SqliteScan);
        reg("Ours_ColdScan", OursColdScan);
        reg("SQLite_ColdScan", SqliteColdScan);
        reg("FileSizes", FileSizes);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Medians of the rounds; for a case of several rounds, the lowest and highest ratio of one
    // round's two sides follow.
    auto median = [](std::vector<double> v) {
        if (v.empty()) return 0.0;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    std::printf("\n%-48s %12s %12s %8s  %s\n", "case", "ours", "SQLite", "ratio", "rounds");
    for (const std::string& what : g_order) {
        const Result& r = g_results[what];
        double ours = median(r.ours), theirs = median(r.sqlite);
        std::printf("%-48s %12.3f %12.3f %8.2f", what.c_str(), ours, theirs, theirs > 0 ? ours / theirs : 0);
        size_t both = std::min(r.ours.size(), r.sqlite.size());
        if (both > 1) {
            double lo = 1e300, hi = 0;
            for (size_t i = 0; i < both; ++i) {
                double q = r.sqlite[i] > 0 ? r.ours[i] / r.sqlite[i] : 0;
                lo = std::min(lo, q);
                hi = std::max(hi, q);
            }
            std::printf("  %zu: %.2f-%.2f", both, lo, hi);
        }
        std::printf("\n");
    }
    if (!made.empty()) fs::remove_all(made);
    return 0;
}

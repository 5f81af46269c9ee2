// Exporting 100 000 locations: the export job writing "HTML - Table" and "Bookmark File", against
// two limits and one peer, in one run:
//   - fwrite: writing the very bytes the export produced, one fwrite per line, to a new file
//     (nothing read, nothing built: the limit of any writer);
//   - scan + fwrite: the same, after reading the 100 000 locations (and their site information)
//     in category order through the access layer, as the export must (the limit of a writer that
//     reads our data files);
//   - buku -e: Debian's buku exporting the same 100 000 bookmarks from its own database to a
//     bookmark file (when buku is installed; its database is filled once, by importing our
//     bookmark file, before the timing).
// Each side runs SITEDEX_BENCH_ROUNDS times (default 5), the sides taking turns; the figures are
// the medians, as wall time and CPU time (buku's CPU time is its process's). Goals: the export
// within 2x the fwrite limit, and the bookmark file at most 0.1x buku's time.
//
// The data are realistic locations: addresses of 40-90 characters, descriptions of a few words,
// 36 categories, ratings 0-99, site information on one location in ten, a few snippets.
// SITEDEX_BENCH_SIZE picks another number of locations; SITEDEX_BENCH_NO_PEER=1 leaves buku out.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "app/export/export_job.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "data/views.h"
#include "drivers/record/velox_driver.h"
#include "drivers/standard_drivers.h"
#include "runtime/dates.h"
#include "runtime/thread_state.h"

namespace {

using namespace sitedex;
using app::exporting::ExportJob;
using app::exporting::ExportOptions;
using app::exporting::ExportType;

struct Times {
    double wall = 0, cpu = 0;
};

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
double childCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Times timed(const std::function<void()>& body, bool child = false) {
    const auto wall = std::chrono::steady_clock::now();
    const double cpu = child ? childCpuSeconds() : cpuSeconds();
    body();
    Times t;
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
    t.cpu = (child ? childCpuSeconds() : cpuSeconds()) - cpu;
    return t;
}

std::string g_dir;
int g_size = 100000;

void fill() {
    std::mt19937 rng(11);
    auto word = [&](int min, int max) {
        std::string w;
        const int n = min + int(rng() % unsigned(max - min + 1));
        for (int i = 0; i < n; ++i)
            w += char('a' + rng() % 26);
        return w;
    };
    for (data::FileDecl* f : {&data::SITEDX, &data::Categories, &data::CatHTML}) {
        data::create(*f);
        data::share(*f, data::kModeShared);
    }
    std::vector<std::string> categories;
    for (int i = 0; i < 36; ++i)
        categories.push_back("Category " + word(4, 12));
    data::logout(10, {&data::SITEDX, &data::Categories, &data::CatHTML});
    for (const std::string& c : categories) {
        data::Categories.clear();
        data::setString(data::findField("CAT:CATEGORY"), c);
        data::add(data::Categories);
    }
    auto snippet = [](const std::string& category, const char* type, const char* html) {
        data::CatHTML.clear();
        data::setString(data::findField("HTM:CATEGORY"), category);
        data::setString(data::findField("HTM:TYPEOFHTML"), type);
        data::CatHTML.memo(0) = html;
        data::add(data::CatHTML);
    };
    snippet("_Before All", "Replace Title", "My Links");
    snippet("_After All", "After Category", "<p>The end</p>");
    for (int i = 0; i < 6; ++i)
        snippet(categories[size_t(i)], "Before Category", "<hr>");
    for (int i = 0; i < g_size; ++i) {
        data::SITEDX.clear();
        std::string location = "https://www." + word(5, 15) + ".example/" + word(10, 40) + "/" + std::to_string(i);
        location.resize(std::min<size_t>(location.size(), 90));
        std::string description = word(3, 9) + " " + word(3, 9) + " " + word(2, 8);
        data::setString(data::findField("URL:LOCATION"), location);
        data::setString(data::findField("URL:DESCRIPTION"), description);
        data::setString(data::findField("URL:CATEGORY"), categories[rng() % categories.size()]);
        data::setNumber(data::findField("URL:RATING"), double(rng() % 100));
        if (rng() % 10 == 0)
            data::setMemo(data::SITEDX, 0, word(20, 60) + " " + word(20, 60) + " & more");
        data::add(data::SITEDX);
    }
    data::commit();
}

Times exportAs(ExportType type, const std::string& file) {
    ExportOptions o;
    o.fileName = file;
    o.type = type;
    o.date = runtime::today();
    return timed([&] {
        ExportJob job(o);
        if (!job.start()) {
            std::fprintf(stderr, "%s\n", job.error().c_str());
            std::exit(1);
        }
        while (runtime::runFor(job)) {
        }
        if (!job.succeeded() || job.exported() != g_size) {
            std::fprintf(stderr, "export failed: %s\n", job.error().c_str());
            std::exit(1);
        }
    });
}

std::vector<std::string> linesOf(const std::string& file) {
    std::vector<std::string> lines;
    FILE* f = std::fopen(file.c_str(), "rb");
    std::string all;
    char buf[1 << 16];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        all.append(buf, n);
    std::fclose(f);
    for (size_t start = 0, end; (end = all.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(all.substr(start, end - start + 1));
    return lines;
}

void fwriteLines(const std::vector<std::string>& lines, const std::string& file) {
    FILE* f = std::fopen(file.c_str(), "wb");
    for (const std::string& l : lines)
        std::fwrite(l.data(), 1, l.size(), f);
    std::fclose(f);
}

// The reads the export must make: every location with its site information, in category order,
// in one snapshot of the file (the fastest way to read it).
void scan() {
    data::send(data::SITEDX, "SNAPSHOT=on");
    data::View v(data::SITEDX);
    v.setOrder(data::SITEDX.findKey("URL:K_CATEGORYLOCATION"));
    v.seekToStart();
    int64_t n = 0;
    while (v.next() == 0)
        ++n;
    data::send(data::SITEDX, "SNAPSHOT=off");
    if (n != g_size)
        std::exit(1);
}

// SITEDEX_BENCH_NO_PEER=1 leaves buku out (its import of the bookmarks takes many minutes).
// The same reads in record order (no key), for what a reader that needs no key order would pay.
void scanRecordOrder() {
    data::send(data::SITEDX, "SNAPSHOT=on");
    data::View v(data::SITEDX);
    v.seekToStart();
    int64_t n = 0;
    while (v.next() == 0)
        ++n;
    data::send(data::SITEDX, "SNAPSHOT=off");
    if (n != g_size)
        std::exit(1);
}

bool haveBuku() {
    if (const char* no = std::getenv("SITEDEX_BENCH_NO_PEER"); no && *no && *no != '0')
        return false;
    return std::system("command -v buku >/dev/null 2>&1") == 0;
}

std::string bukuEnv() {
    return "HOME=" + g_dir + "/buku XDG_DATA_HOME=" + g_dir + "/buku/data ";
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Side {
    const char* name;
    std::function<Times()> run;
    std::vector<double> wall, cpu;
};

}  // namespace

int main() {
    sitedex::drivers::registerStandardDrivers();
    if (const char* s = std::getenv("SITEDEX_BENCH_SIZE"); s && std::atoi(s) > 0)
        g_size = std::atoi(s);
    int rounds = 5;
    if (const char* r = std::getenv("SITEDEX_BENCH_ROUNDS"); r && std::atoi(r) > 0)
        rounds = std::atoi(r);
    g_dir = (std::filesystem::temp_directory_path() / "sitedex-bench-XXXXXX").string();
    if (!mkdtemp(g_dir.data()))
        return 1;
    if (::chdir(g_dir.c_str()) != 0)
        return 1;
    record::setVeloxDurability(record::Durability::kProcessCrash);
    runtime::setCurrentThread(1);
    std::printf("filling %d locations...\n", g_size);
    fill();

    const std::string table = g_dir + "/table.htm", bookmarks = g_dir + "/bookmarks.htm";
    exportAs(ExportType::kTable, table);  // once, to have the bytes of each output
    exportAs(ExportType::kBookmarkFile, bookmarks);
    const std::vector<std::string> tableLines = linesOf(table), bookmarkLines = linesOf(bookmarks);
    const bool buku = haveBuku();
    if (buku) {
        std::printf("filling buku's database from the bookmark file...\n");
        std::filesystem::create_directories(g_dir + "/buku/data");
        const std::string cmd =
            "printf 'n\\ny\\ny\\n' | " + bukuEnv() + "buku --nostdin -i " + bookmarks + " >/dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0)
            std::printf("buku -i failed\n");
    }

    std::vector<Side> sides = {
        {"export HTML - Table", [&] { return exportAs(ExportType::kTable, table); }, {}, {}},
        {"fwrite of its bytes", [&] { return timed([&] { fwriteLines(tableLines, g_dir + "/limit.htm"); }); }, {}, {}},
        {"scan + fwrite of its bytes",
         [&] {
             return timed([&] {
                 scan();
                 fwriteLines(tableLines, g_dir + "/limit.htm");
             });
         },
         {},
         {}},
        {"export Bookmark File", [&] { return exportAs(ExportType::kBookmarkFile, bookmarks); }, {}, {}},
        {"fwrite of its bytes",
         [&] { return timed([&] { fwriteLines(bookmarkLines, g_dir + "/limit.htm"); }); },
         {},
         {}},
        {"scan + fwrite of its bytes",
         [&] {
             return timed([&] {
                 scan();
                 fwriteLines(bookmarkLines, g_dir + "/limit.htm");
             });
         },
         {},
         {}},
    };
    sides.push_back({"scan in record order", [&] { return timed(scanRecordOrder); }, {}, {}});
    if (buku)
        sides.push_back({"buku -e (same bookmarks)",
                         [&] {
                             const std::string cmd =
                                 bukuEnv() + "buku --nostdin -e " + g_dir + "/buku.htm >/dev/null 2>&1";
                             std::filesystem::remove(g_dir + "/buku.htm");
                             return timed([&] { (void)!std::system(cmd.c_str()); }, true);
                         },
                         {},
                         {}});
    for (int r = 0; r < rounds; ++r)
        for (Side& s : sides) {
            const Times t = s.run();
            s.wall.push_back(t.wall);
            s.cpu.push_back(t.cpu);
        }

    std::printf("\n%d locations, %d rounds, medians (table: %zu lines, %.1f MB; bookmark file: %zu lines, %.1f MB)\n",
                g_size, rounds, tableLines.size(), double(std::filesystem::file_size(table)) / 1e6,
                bookmarkLines.size(), double(std::filesystem::file_size(bookmarks)) / 1e6);
    std::printf("%-30s %10s %10s\n", "side", "wall s", "cpu s");
    for (const Side& s : sides)
        std::printf("%-30s %10.3f %10.3f\n", s.name, median(s.wall), median(s.cpu));
    auto ratio = [&](size_t a, size_t b, const char* what) {
        std::printf("%-52s wall %6.2f  cpu %6.2f\n", what, median(sides[a].wall) / median(sides[b].wall),
                    median(sides[a].cpu) / median(sides[b].cpu));
    };
    std::printf("\n");
    ratio(0, 1, "HTML - Table / fwrite of its bytes");
    ratio(0, 2, "HTML - Table / scan + fwrite of its bytes");
    ratio(3, 4, "Bookmark File / fwrite of its bytes");
    ratio(3, 5, "Bookmark File / scan + fwrite of its bytes");
    ratio(6, 2, "scan in record order / scan + fwrite (table)");
    if (buku) {
        ratio(3, 7, "Bookmark File / buku -e");
        // buku's own file, to show that it exported what ours did.
        size_t links = 0;
        for (const std::string& l : linesOf(g_dir + "/buku.htm"))
            links += l.find("<DT><A") != std::string::npos;
        std::printf("buku's bookmark file holds %zu bookmarks\n", links);
    }
    data::closeAllFiles();
    std::filesystem::remove_all(g_dir);
    return 0;
}

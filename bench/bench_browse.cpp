// The browse engine over a locations file of 10 000 and of 1 000 000 records, side by side: opening
// (first page and the thumb's two reads), paging down, jumping to the bottom, and locating a letter.
//
// Each action reports "reads" (records read through the view per action) and "rows" (rows the engine
// holds afterwards). The claim to check: reads per action equal the rows shown plus the few the
// engine adds (the boundary row read again, the probe of a locate, the two reads of the thumb marks),
// and time per action hardly depends on the file's size (the key tree is one level deeper), so
// compare each /1000000 line with its /10000 line. Memory is the page: "rows" stays at the page size.
//
// The files are generated once per run into a fresh temporary directory (removed at exit). The
// large file takes a while to build; SITEDEX_BENCH_BROWSE_LARGE sets another size (e.g. 200000)
// for a quicker run.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "app/maintenance/browse.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "drivers/record/velox_driver.h"
#include "drivers/standard_drivers.h"
#include "runtime/events.h"
#include "runtime/thread_state.h"

namespace {

using namespace sitedex;
using app::maintenance::BrowseButton;
using app::maintenance::BrowseDescription;
using app::maintenance::BrowseEngine;
using app::maintenance::Distribution;
using app::maintenance::ListHost;
using app::maintenance::SortOrderDescription;

constexpr int kPage = 20;

struct PageHost : ListHost {
    int selected = 0;
    int thumbAt = 0;
    bool bar = false;
    int visibleRows() override { return kPage; }
    int selectedRow() override { return selected; }
    void setSelectedRow(int r) override { selected = r; }
    bool scrollBarShown() override { return bar; }
    void showScrollBar(bool s) override { bar = s; }
    int thumb() override { return thumbAt; }
    void setThumb(int p) override { thumbAt = p; }
    void showRows(const std::vector<std::vector<std::string>>& rows, int sel) override {
        benchmark::DoNotOptimize(rows.data());
        selected = sel;
    }
    // Posted events are dropped: every action below is complete without the NewSelection that
    // follows it (which only reloads the highlighted row from memory).
    void postToList(int) override {}
    void postAccepted(BrowseButton) override {}
    void postCloseWindow() override { std::abort(); }
    void enableButton(BrowseButton, bool) override {}
    void focusList() override {}
    void setWaitCursor(bool) override {}
    int popupMenu(const std::string&) override { return 0; }
};

// A locations file of its own per size (the dictionary's layout, with the description and location
// keys: the others change nothing for a browse in description order).
struct LocationsFile {
    std::string name;
    std::unique_ptr<data::FileDecl> decl;
};

std::string g_dir;
std::map<int, LocationsFile> g_files;

data::FileSpec locationsSpec(std::string* name) {
    data::FileSpec s;
    s.driver = "VELOX";
    s.label = "SITEDX";
    s.prefix = "URL";
    s.name.variable = name;
    s.name.variableLength = 255;
    s.attributes = data::kAttrCreate | data::kAttrPerThread;
    s.recordSize = data::SITEDX.recordSize();
    s.fields = data::SITEDX.fields();
    s.memos = data::SITEDX.memos();
    for (const data::KeyDecl& k : data::SITEDX.keys())
        if (k.name == "URL:K_LOCATION" || k.name == "URL:K_DESCRIPTION") s.keys.push_back({k.name, k.attributes, k.components});
    return s;
}

const char* const kWords[] = {"alpha", "bistro", "cargo", "delta", "ember", "falcon", "garden", "harbor",
                              "island", "jungle", "kernel", "lumen", "meadow", "nectar", "orbit", "prism",
                              "quartz", "river", "summit", "timber", "umbra", "velvet", "willow", "xenon",
                              "yonder", "zephyr"};

data::FileDecl& filesOf(int records) {
    auto found = g_files.find(records);
    if (found != g_files.end()) return *found->second.decl;
    LocationsFile& f = g_files[records];
    f.name = g_dir + "/URL_L_" + std::to_string(records) + ".VLX";
    f.decl = std::make_unique<data::FileDecl>(locationsSpec(&f.name));
    data::FileDecl& file = *f.decl;
    auto start = std::chrono::steady_clock::now();
    if (data::create(file) != 0 || data::share(file, data::kModeShared) != 0) std::abort();
    const data::FieldDecl* location = file.findField("URL:LOCATION");
    const data::FieldDecl* description = file.findField("URL:DESCRIPTION");
    const data::FieldDecl* category = file.findField("URL:CATEGORY");
    uint64_t seed = 88172645463325252ull;
    const int batch = 5000;
    for (int i = 0; i < records; ++i) {
        if (i % batch == 0 && data::logout(2, {&file}) != 0) std::abort();
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        file.clear();
        std::string desc = std::string(kWords[seed % 26]) + " " + kWords[(seed >> 8) % 26] + " " +
                           std::to_string((seed >> 16) % 1000000) + " site " + std::to_string(i);
        desc[0] = char(desc[0] - 'a' + 'A');
        data::setString(*description, file.record(), desc);
        data::setString(*location, file.record(), "http://www.site" + std::to_string(i) + ".example/");
        data::setString(*category, file.record(), kWords[i % 26]);
        if (data::add(file) != 0) std::abort();
        if (i % batch == batch - 1 || i == records - 1) data::commit();
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "built %d locations in %.1f s (%.1f MB)\n", records, seconds,
                 double(std::filesystem::file_size(f.name)) / 1e6);
    return file;
}

BrowseDescription descriptionOrder(data::FileDecl& file) {
    BrowseDescription d;
    d.file = &file;
    d.row = {{"URL:DESCRIPTION"}, {"URL:LOCATION"}, {"URL:CATEGORY"}, {"URL:RATING"}, {"URL:KEYWORD"}};
    SortOrderDescription o;
    o.key = "URL:K_DESCRIPTION";
    o.locator = "URL:DESCRIPTION";
    o.distribution = Distribution::kString;
    o.distributionLength = 100;
    d.orders = {o};
    d.hasUpdate = true;
    return d;
}

int largeSize() {
    const char* v = std::getenv("SITEDEX_BENCH_BROWSE_LARGE");
    int n = v ? std::atoi(v) : 1000000;
    return n > 0 ? n : 1000000;
}

long residentKb() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void report(benchmark::State& state, BrowseEngine& e, int64_t reads, int64_t actions, long rssBefore) {
    state.counters["reads"] = benchmark::Counter(double(reads) / double(actions));
    state.counters["rows"] = e.rowCount();
    state.counters["rss_growth_kb"] = double(residentKb() - rssBefore);
}

void BM_Open(benchmark::State& state) {
    data::FileDecl& file = filesOf(int(state.range(0)));
    PageHost host;
    const long rss = residentKb();
    int64_t reads = 0, actions = 0;
    for (auto _ : state) {
        BrowseEngine e(descriptionOrder(file), host);
        e.openWindow();
        reads += e.reads();
        ++actions;
        state.PauseTiming();
        report(state, e, reads, actions, rss);
        state.ResumeTiming();
    }
}

void BM_PageDown(benchmark::State& state) {
    data::FileDecl& file = filesOf(int(state.range(0)));
    PageHost host;
    const long rss = residentKb();
    BrowseEngine e(descriptionOrder(file), host);
    e.openWindow();
    int64_t reads = 0, actions = 0;
    for (auto _ : state) {
        // 100 pages down from the top, as the user would press PgDn.
        state.PauseTiming();
        host.selected = 1;
        runtime::setCurrentEvent(runtime::kEventScrollTop, 1, 0, 0);
        e.listEvent(runtime::kEventScrollTop);
        int64_t before = e.reads();
        state.ResumeTiming();
        for (int i = 0; i < 100; ++i) e.listEvent(runtime::kEventPageDown);
        reads += e.reads() - before;
        actions += 100;
    }
    report(state, e, reads, actions, rss);
    state.counters["pages_per_s"] = benchmark::Counter(double(actions), benchmark::Counter::kIsRate);
}

void BM_ScrollBottom(benchmark::State& state) {
    data::FileDecl& file = filesOf(int(state.range(0)));
    PageHost host;
    const long rss = residentKb();
    BrowseEngine e(descriptionOrder(file), host);
    e.openWindow();
    int64_t reads = 0, actions = 0;
    for (auto _ : state) {
        int64_t before = e.reads();
        e.listEvent(runtime::kEventScrollBottom);
        reads += e.reads() - before;
        ++actions;
    }
    report(state, e, reads, actions, rss);
}

void BM_LocateLetter(benchmark::State& state) {
    data::FileDecl& file = filesOf(int(state.range(0)));
    PageHost host;
    const long rss = residentKb();
    BrowseEngine e(descriptionOrder(file), host);
    e.openWindow();
    int64_t reads = 0, actions = 0;
    const char letters[] = "MTQDKW";
    size_t n = 0;
    for (auto _ : state) {
        char c = letters[n++ % 6];
        int64_t before = e.reads();
        runtime::setCurrentEvent(runtime::kEventAlertKey, 1, c, c);
        e.listEvent(runtime::kEventAlertKey);
        reads += e.reads() - before;
        ++actions;
    }
    report(state, e, reads, actions, rss);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(10000)->Arg(largeSize())->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_Open)->Apply(sizes);
BENCHMARK(BM_PageDown)->Apply(sizes);
BENCHMARK(BM_ScrollBottom)->Apply(sizes);
BENCHMARK(BM_LocateLetter)->Apply(sizes);

}  // namespace

int main(int argc, char** argv) {
    record::setVeloxDurability(record::Durability::kProcessCrash);
    runtime::setCurrentThread(1);
    drivers::registerStandardDrivers();
    std::string tmpl = (std::filesystem::temp_directory_path() / "sitedex-bench-browse-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return 1;
    g_dir = tmpl;
    benchmark::Initialize(&argc, argv);
    // Build both files before anything is timed.
    filesOf(10000);
    filesOf(largeSize());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    data::closeAllFiles();
    g_files.clear();
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
    return 0;
}

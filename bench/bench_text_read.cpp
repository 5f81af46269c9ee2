// Reading a 200 MB text file line by line: the access layer's next over the text driver, against a
// plain fgets loop over the same file in the same run. Prints the ratio (access layer time / fgets
// time; the goal is at most 1), by real time and by CPU time.
//
// The file is generated in a fresh temporary directory at start and deleted at the end. Lines are
// 20 to 140 bytes of printable text ending in CR LF; the declaration has one STRING(512) field, like
// the program's input text file.
#include "data/access.h"
#include "data/error_state.h"
#include "drivers/standard_drivers.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace sitedex::data;

std::string g_path;
int64_t g_lines = 0;
// 200 MB; SITEDEX_BENCH_TEXT_MB picks another size (a small file for a profiler run).
int64_t g_target = 200LL * 1024 * 1024;

void makeFile() {
    std::string dir = (std::filesystem::temp_directory_path() / "sitedex-bench-XXXXXX").string();
    if (!mkdtemp(dir.data())) std::abort();
    g_path = dir + "/lines.txt";
    FILE* f = std::fopen(g_path.c_str(), "wb");
    std::mt19937 rng(7);
    std::string line;
    int64_t written = 0;
    while (written < g_target) {
        size_t len = 20 + rng() % 121;
        line.assign(len, ' ');
        for (size_t i = 0; i < len; ++i) line[i] = char('!' + rng() % 90);
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), f);
        written += int64_t(line.size());
        ++g_lines;
    }
    std::fflush(f);
    fsync(fileno(f));  // no writeback may run under the first measurement
    std::fclose(f);
    // One pass to bring the whole file into the page cache for every contender alike.
    std::vector<char> buf(1 << 20);
    FILE* r = std::fopen(g_path.c_str(), "rb");
    while (std::fread(buf.data(), 1, buf.size(), r) > 0) {
    }
    std::fclose(r);
}

void removeFile() { std::filesystem::remove_all(std::filesystem::path(g_path).parent_path()); }

void BM_AccessLayerNext(benchmark::State& state) {
    std::string name = g_path;
    FileSpec s;
    s.driver = "ASCII";
    s.prefix = "BEN";
    s.name = {{}, &name, 255};
    s.attributes = kAttrCreate | kAttrPerThread;
    s.recordSize = 512;
    s.fields = {{"BEN:LINE", kTypeString, 0, 512}};
    FileDecl file(std::move(s));
    uint32_t mode = uint32_t(state.range(0));
    for (auto _ : state) {
        if (open(file, mode) != 0) state.SkipWithError("open failed");
        set(file);
        int64_t n = 0;
        while (next(file) == 0) {
            benchmark::DoNotOptimize(file.record()[0]);
            ++n;
        }
        close(file);
        if (n != g_lines) state.SkipWithError("line count differs");
    }
    state.SetBytesProcessed(state.iterations() * g_target);
}
// 0x22: the default open (read/write, deny write: quick scan on); 0x40: read-only, deny none (every
// read refreshed from the file, as for files others may change).
BENCHMARK(BM_AccessLayerNext)->Arg(0x22)->Arg(0x40)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Fgets(benchmark::State& state) {
    char buf[514];
    for (auto _ : state) {
        FILE* f = std::fopen(g_path.c_str(), "rb");
        int64_t n = 0;
        while (std::fgets(buf, sizeof buf, f)) {
            benchmark::DoNotOptimize(buf[0]);
            ++n;
        }
        std::fclose(f);
        if (n != g_lines) state.SkipWithError("line count differs");
    }
    state.SetBytesProcessed(state.iterations() * g_target);
}
BENCHMARK(BM_Fgets)->Unit(benchmark::kMillisecond)->Iterations(3);

// With --benchmark_repetitions the ratios are those of the medians: on a shared machine, run
// --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true, so that both contenders are
// measured alternately, under the same load, and one busy moment does not decide the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type == Run::RT_Aggregate && !median) continue;
            const std::string name = r.run_name.str();
            if (!median && m_fromMedian.count(name)) continue;
            if (median) m_fromMedian.insert(name);
            m_real[name] = r.GetAdjustedRealTime();
            m_cpu[name] = r.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // Real time and CPU time ratios: the machine is shared, so CPU time is the steadier figure.
    void print() const {
        auto real = m_real.find("BM_Fgets/iterations:3");
        auto cpu = m_cpu.find("BM_Fgets/iterations:3");
        if (real == m_real.end() || cpu == m_cpu.end()) return;
        for (const auto& [name, t] : m_real)
            if (name.rfind("BM_AccessLayerNext", 0) == 0)
                std::printf("ratio %s / fgets: real %.2f, cpu %.2f\n", name.c_str(), t / real->second,
                            m_cpu.at(name) / cpu->second);
    }

private:
    std::map<std::string, double> m_real;
    std::map<std::string, double> m_cpu;
    std::set<std::string> m_fromMedian;
};

}  // namespace

int main(int argc, char** argv) {
    sitedex::drivers::registerStandardDrivers();
    benchmark::Initialize(&argc, argv);
    if (const char* mb = std::getenv("SITEDEX_BENCH_TEXT_MB"); mb && std::atoll(mb) > 0)
        g_target = std::atoll(mb) * 1024 * 1024;
    makeFile();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print();
    removeFile();
    benchmark::Shutdown();
    return 0;
}

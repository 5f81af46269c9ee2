// Start-up cost of the headless commands, whole process: the built program started again and again
// on a small collection (20 locations in 3 categories), each run's CPU time (user + system) taken
// from the kernel's account of the finished child, next to /bin/true started the same way (what a
// process and an exec cost on their own) and this program started to do nothing (what any C++
// program costs: the same C and C++ libraries loaded and set up).
//
// Then where the time goes: the number of shared objects the process maps
// (LD_TRACE_LOADED_OBJECTS) and the dynamic loader's own statistics (LD_DEBUG=statistics: the time
// it spends loading objects and relocating them, medians of 21 more runs, and the number of
// relocations). The rest of a run is the program's own start (static constructors) and the
// command's work.
//
// SITEDEX_BENCH_RUNS (default 200) runs of each case. SITEDEX_BENCH_OTHER=PATH runs another build
// of the program (an older one) in the same run, the two taking turns run by run, so both see the
// same load on a shared machine.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace {

struct Run {
    double cpuMs = 0;
    double wallMs = 0;
    int exitCode = -1;
};

// Starts argv with extra environment entries, its output thrown away (or captured into `captured`).
Run start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
          std::string* captured = nullptr) {
    int pipeFds[2] = {-1, -1};
    if (captured && ::pipe(pipeFds) != 0)
        std::abort();
    // posix_spawn starts the child without copying this process, so its account holds the exec and
    // the program alone.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (captured) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    }
    std::vector<char*> args, envp;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The entries given come first: a name found twice takes its first value.
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e)
        envp.push_back(*e);
    envp.push_back(nullptr);
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
        std::abort();
    posix_spawn_file_actions_destroy(&actions);
    if (captured) {
        ::close(pipeFds[1]);
        char buf[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
            captured->append(buf, size_t(n));
        ::close(pipeFds[0]);
    }
    int status = 0;
    rusage use{};
    ::wait4(pid, &status, 0, &use);
    auto t1 = std::chrono::steady_clock::now();
    Run r;
    r.cpuMs = (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
    r.wallMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Cycles of the time-stamp counter per millisecond, for the loader's figures.
double cyclesPerMs() {
#if defined(__x86_64__) || defined(__i386__)
    auto t0 = std::chrono::steady_clock::now();
    unsigned long long c0 = __rdtsc();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    unsigned long long c1 = __rdtsc();
    auto t1 = std::chrono::steady_clock::now();
    return double(c1 - c0) / std::chrono::duration<double, std::milli>(t1 - t0).count();
#else
    return 0;
#endif
}

// The number after `label` in the loader's statistics (the last run of them), 0 when missing.
double statistic(const std::string& text, const std::string& label) {
    size_t at = text.rfind(label);
    if (at == std::string::npos)
        return 0;
    return std::strtod(text.c_str() + at + label.size(), nullptr);
}

struct Where {
    int objects = 0;
    double loaderMs = 0, relocationMs = 0, loadMs = 0;
    long relocations = 0;
};

Where whereTimeGoes(const std::vector<std::string>& argv, double perMs, const std::vector<std::string>& partner) {
    Where w;
    std::string trace;
    start(argv, {"LD_TRACE_LOADED_OBJECTS=1"}, &trace);
    for (char c : trace)
        w.objects += c == '\n';
    std::vector<double> loader, relocation, load;
    for (int i = 0; i < 21; ++i) {
        std::string stats;
        start(argv, {"LD_DEBUG=statistics"}, &stats);
        if (!partner.empty())
            start(partner);
        if (perMs > 0) {
            loader.push_back(statistic(stats, "total startup time in dynamic loader:") / perMs);
            relocation.push_back(statistic(stats, "time needed for relocation:") / perMs);
            load.push_back(statistic(stats, "time needed to load objects:") / perMs);
        }
        w.relocations = long(statistic(stats, "final number of relocations:")) +
                        long(statistic(stats, "number of relative relocations:"));
    }
    w.loaderMs = median(loader);
    w.relocationMs = median(relocation);
    w.loadMs = median(load);
    return w;
}

std::string programPath() {
    std::string path(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    path.resize(n > 0 ? size_t(n) : 0);
    return path;
}

void fail(const std::string& what) {
    std::fprintf(stderr, "bench_startup: %s\n", what.c_str());
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--nothing")
        return 0;
    int runs = 200;
    if (const char* r = std::getenv("SITEDEX_BENCH_RUNS"))
        runs = std::max(1, std::atoi(r));
    std::vector<std::pair<std::string, std::string>> programs = {{"this build", SITEDEX_BINARY}};
    if (const char* other = std::getenv("SITEDEX_BENCH_OTHER"))
        programs.push_back({"other", other});

    std::string dir = (std::filesystem::temp_directory_path() / "sitedex-bench-XXXXXX").string();
    if (!::mkdtemp(dir.data()))
        fail("no temporary folder");
    std::string config = "SITEDEX_CONFIG_DIR=" + dir;
    ::putenv(config.data());
    std::string data = dir + "/data";
    std::filesystem::create_directory(data);

    // The small collection, made by the program itself.
    const std::string& bin = programs[0].second;
    for (const char* category : {"Work", "News", "Tools"})
        if (start({bin, "add-category", category, "--data-dir", data}).exitCode != 0)
            fail("add-category failed");
    for (int i = 0; i < 20; ++i) {
        std::string url = "https://site" + std::to_string(i) + ".example/";
        if (start({bin, "add", url, "--data-dir", data, "--description", "Site number " + std::to_string(i),
                   "--category",
                   i % 3 == 0   ? "Work"
                   : i % 3 == 1 ? "News"
                                : "Tools"})
                .exitCode != 0)
            fail("add failed");
    }

    // add and remove take turns, so every add finds the address gone and every remove finds it there.
    struct Case {
        std::string name;
        std::vector<std::string> args;
        std::vector<std::string> after;  // undoes the case's change for the next one
    };
    const std::string added = "https://added.example/";
    const std::vector<Case> cases = {
        {"--help", {"--help"}, {}},
        {"list", {"list", "--data-dir", data}, {}},
        {"categories", {"categories", "--data-dir", data}, {}},
        {"check", {"check", "--data-dir", data}, {}},
        {"add", {"add", added, "--data-dir", data, "--category", "Work"}, {"remove", added, "--data-dir", data}},
    };
    auto command = [](const std::string& program, const std::vector<std::string>& args) {
        std::vector<std::string> argv = {program};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    };

    double perMs = cyclesPerMs();
    std::string self = programPath();
    std::vector<double> trueCpu, trueWall, nothingCpu, nothingWall;
    for (int i = 0; i < runs; ++i) {
        Run r = start({"/bin/true"});
        trueCpu.push_back(r.cpuMs);
        trueWall.push_back(r.wallMs);
        r = start({self, "--nothing"});
        nothingCpu.push_back(r.cpuMs);
        nothingWall.push_back(r.wallMs);
    }
    std::printf(
        "%d runs of each case (medians). /bin/true: CPU %.2f ms, wall %.2f ms; a C++ program that does "
        "nothing: CPU %.2f ms, wall %.2f ms\n\n",
        runs, median(trueCpu), median(trueWall), median(nothingCpu), median(nothingWall));

    // cpu[case][program] and wall[case][program]; the undoing runs are timed as the case "remove".
    size_t kinds = cases.size() + 1;
    std::vector<std::vector<std::vector<double>>> cpu(kinds, std::vector<std::vector<double>>(programs.size()));
    auto wall = cpu;
    for (int i = 0; i < runs; ++i)
        for (size_t p = 0; p < programs.size(); ++p)
            for (size_t c = 0; c < cases.size(); ++c) {
                Run r = start(command(programs[p].second, cases[c].args));
                if (r.exitCode != 0 && i == 0)
                    std::fprintf(stderr, "note: %s: %s ended with %d\n", programs[p].first.c_str(),
                                 cases[c].name.c_str(), r.exitCode);
                cpu[c][p].push_back(r.cpuMs);
                wall[c][p].push_back(r.wallMs);
                if (cases[c].after.empty())
                    continue;
                r = start(command(programs[p].second, cases[c].after));
                cpu[cases.size()][p].push_back(r.cpuMs);
                wall[cases.size()][p].push_back(r.wallMs);
            }

    std::printf(
        "| case | program | CPU ms | wall ms | shared objects | loader ms (load + relocation) | "
        "relocations |\n|---|---|---|---|---|---|---|\n");
    for (size_t c = 0; c < kinds; ++c)
        for (size_t p = 0; p < programs.size(); ++p) {
            bool undo = c == cases.size();
            const std::vector<std::string>& args = undo ? cases.back().after : cases[c].args;
            // The command that puts the data back after each run: the remove after an add, the add
            // after a remove (which then needs the address added first).
            const std::vector<std::string>& partner = undo ? cases.back().args : cases[c].after;
            if (undo)
                start(command(programs[p].second, partner));
            Where w = whereTimeGoes(command(programs[p].second, args), perMs,
                                    partner.empty() ? partner : command(programs[p].second, partner));
            std::printf("| %s | %s | %.2f | %.2f | %d | %.2f (%.2f + %.2f) | %ld |\n",
                        undo ? "remove" : cases[c].name.c_str(), programs[p].first.c_str(), median(cpu[c][p]),
                        median(wall[c][p]), w.objects, w.loaderMs, w.loadMs, w.relocationMs, w.relocations);
        }
    std::filesystem::remove_all(dir);
    return 0;
}

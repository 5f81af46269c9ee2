// The document import against its peer: a generated browser bookmark file (links in 500 folders,
// each with a <DD> description and an ICON data URI as browsers write them) imported by
// `sitedex import` and by Debian's `buku -i` (when installed), each a process of its own, measured
// in the same run: CPU time (user + system), wall time, peak resident memory of the process, and the
// peak of its own memory (anonymous pages, sampled every 5 ms: the resident size also counts the
// pages of the data files the record engine reads through a mapping, which are the system's cache).
//
//     cmake --build build --target bench_import sitedex
//     build/bench/bench_import                    # sizes 25000, 50000, 100000; buku at the largest
//     SITEDEX_BENCH_SIZES=100000 SITEDEX_BENCH_ICON=600 SITEDEX_BENCH_PEER=all build/bench/bench_import
//
// SITEDEX_BENCH_PEER: "largest" (default), "all" or "none". The program to measure is the sitedex
// next to this benchmark's folder (build/sitedex), or SITEDEX_BENCH_BINARY.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Measure {
    bool ran = false;
    int exitCode = -1;
    double cpu = 0, wall = 0, rssMb = 0;
    double anonMb = 0;  // peak of the process's own memory (not the pages of files it maps), sampled
    std::string out;
};

// The process's own (anonymous) memory now, in MB, from /proc; 0 when it cannot be read.
double anonymousMb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    double kb = 0;
    while (in >> key) {
        if (key == "Anonymous:") {
            in >> kb;
            return kb / 1024.0;
        }
        std::string rest;
        std::getline(in, rest);
    }
    return 0;
}

std::vector<int> sizesFromEnv() {
    std::vector<int> sizes;
    const char* env = std::getenv("SITEDEX_BENCH_SIZES");
    std::stringstream in(env ? env : "25000,50000,100000");
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty())
            sizes.push_back(std::stoi(item));
    return sizes;
}

// A bookmark file as today's browsers export it.
void generate(const std::string& path, int links, int iconBytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937 rng(12345);
    const char* b64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string icon(size_t(iconBytes), 'A');
    out << "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<!-- This is an automatically generated file.\n     It will be read "
           "and overwritten.\n     DO NOT EDIT! -->\n<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
           "charset=UTF-8\">\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks Menu</H1>\n\n<DL><p>\n";
    const int folders = 500;
    for (int f = 0; f < folders; ++f) {
        out << "    <DT><H3 ADD_DATE=\"1700000000\" LAST_MODIFIED=\"1700000001\">Folder " << f << "</H3>\n";
        out << "    <DD>What folder " << f << " holds\n    <DL><p>\n";
        const int first = int(int64_t(links) * f / folders), last = int(int64_t(links) * (f + 1) / folders);
        for (int i = first; i < last; ++i) {
            for (char& c : icon)
                c = b64[rng() % 64];
            out << "        <DT><A HREF=\"https://www.site" << i << ".example.com/articles/" << (i * 7919 % 100000)
                << "/index.html?ref=bookmarks&amp;lang=en\" ADD_DATE=\"17000" << i
                << "\" LAST_MODIFIED=\"1700000002\" ICON_URI=\"https://www.site" << i
                << ".example.com/favicon.ico\" ICON=\"data:image/png;base64," << icon << "\" TAGS=\"tag" << (i % 37)
                << "\">Article " << i << " &amp; its &quot;title&quot; \xe2\x80\x94 Site " << i << "</A>\n";
            out << "        <DD>A description of article " << i << ", as a reader wrote it down.\n";
        }
        out << "    </DL><p>\n";
    }
    out << "</DL>\n";
}

Measure runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   const std::string& outFile) {
    Measure m;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const std::string& e : env)
            ::putenv(const_cast<char*>(e.c_str()));
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open("/dev/null", O_WRONLY);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage ru {};
    while (::wait4(pid, &status, WNOHANG, &ru) == 0) {
        m.anonMb = std::max(m.anonMb, anonymousMb(pid));
        ::usleep(5000);
    }
    m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    m.rssMb = double(ru.ru_maxrss) / 1024.0;
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m.ran = m.exitCode != 127;
    std::ifstream in(outFile);
    m.out.assign(std::istreambuf_iterator<char>(in), {});
    return m;
}

bool haveBuku() {
    return std::system("command -v buku >/dev/null 2>&1") == 0;
}

std::string sitedexBinary(const char* argv0) {
    if (const char* b = std::getenv("SITEDEX_BENCH_BINARY"))
        return b;
    return (fs::canonical(fs::path("/proc/self/exe")).parent_path().parent_path() / "sitedex").string();
    (void)argv0;
}

}  // namespace

int main(int, char** argv) {
    const std::vector<int> sizes = sizesFromEnv();
    const int iconBytes = std::getenv("SITEDEX_BENCH_ICON") ? std::atoi(std::getenv("SITEDEX_BENCH_ICON")) : 600;
    const std::string peerMode = std::getenv("SITEDEX_BENCH_PEER") ? std::getenv("SITEDEX_BENCH_PEER") : "largest";
    const bool buku = peerMode != "none" && haveBuku();
    if (peerMode != "none" && !buku)
        std::printf("buku is not installed: the peer is left out (apt-get install buku)\n");
    const std::string sitedex = sitedexBinary(argv[0]);
    const fs::path work = fs::temp_directory_path() / ("sitedex-bench-import-" + std::to_string(::getpid()));
    fs::create_directories(work);

    std::printf(
        "| links | file | sitedex CPU | wall | peak RSS | own memory | added | buku CPU | wall | peak RSS | own memory "
        "| "
        "CPU ratio |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (size_t k = 0; k < sizes.size(); ++k) {
        const int n = sizes[k];
        const std::string file = (work / ("bookmarks-" + std::to_string(n) + ".html")).string();
        generate(file, n, iconBytes);
        const double fileMb = double(fs::file_size(file)) / (1024.0 * 1024.0);

        const fs::path data = work / ("data-" + std::to_string(n));
        fs::create_directories(data);
        const Measure s = runProcess({sitedex, "import", file, "--data-dir", data.string()},
                                     {"SITEDEX_CONFIG_DIR=" + data.string()}, (work / "sitedex.out").string());
        std::string added = "?";
        if (size_t at = s.out.find(" added"); at != std::string::npos) {
            size_t b = s.out.rfind(' ', at - 1);
            added = s.out.substr(b + 1, at - b - 1);
        }
        if (s.exitCode != 0)
            std::printf("sitedex import failed (%d): %s\n", s.exitCode, s.out.c_str());

        Measure b;
        if (buku && (peerMode == "all" || k + 1 == sizes.size())) {
            const fs::path home = work / ("buku-" + std::to_string(n));
            fs::create_directories(home);
            b = runProcess({"buku", "--nostdin", "--tacit", "--np", "--nc", "-i", file},
                           {"HOME=" + home.string(), "XDG_DATA_HOME=" + home.string()}, (work / "buku.out").string());
        }
        char peer[200] = "| - | - | - | - | - |";
        if (b.ran)
            std::snprintf(peer, sizeof peer, "| %.2f s | %.2f s | %.0f MB | %.0f MB | %.3f |", b.cpu, b.wall, b.rssMb,
                          b.anonMb, b.cpu > 0 ? s.cpu / b.cpu : 0.0);
        std::printf("| %d | %.1f MB | %.2f s | %.2f s | %.1f MB | %.1f MB | %s %s\n", n, fileMb, s.cpu, s.wall, s.rssMb,
                    s.anonMb, added.c_str(), peer);
        std::fflush(stdout);
        fs::remove(file);
    }
    fs::remove_all(work);
    return 0;
}

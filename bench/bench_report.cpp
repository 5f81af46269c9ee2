// The location report over a large collection: generating its pages, writing them as PDF, and the
// report preview paging through them in a real window (offscreen).
//
//   SITEDEX_BENCH_SIZES=100000 build/bench/bench_report
//
// For each size: the time (wall and process CPU) to generate the pages of "URLs by Description",
// the pages' memory, the time to write the PDF and its size, the time the preview takes to open and
// to answer each paging action (the action handled and the window repainted, synchronously), and
// the process's resident memory at its peak. The goal: every paging action within 100 ms, memory
// well under 1 GB.

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/reports/report_designs.h"
#include "app/reports/report_job.h"
#include "app/reports/report_preview.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "drivers/record/velox_driver.h"
#include "drivers/standard_drivers.h"
#include "runtime/events.h"
#include "runtime/procedures.h"
#include "runtime/thread_state.h"
#include "ui/message_box.h"
#include "ui/page_image.h"
#include "ui/report_output.h"
#include "ui/scheduler.h"
#include "ui/testing.h"
#include "ui/window.h"
#include "ui/window_chrome.h"
#include "ui/window_private.h"

using namespace sitedex;
using Clock = std::chrono::steady_clock;

namespace {

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

long statusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return 0;
}

// Realistic locations: addresses of 40-90 characters, a few words of description, 36 categories.
void fill(int count) {
    static const char* const kWords[] = {"news",   "daily",  "weather", "archive", "python", "linux",  "recipes",
                                         "travel", "maps",   "science", "journal", "music",  "video",  "forum",
                                         "shop",   "review", "guide",   "free",    "open",   "source", "world"};
    for (data::FileDecl* f : {&data::SITEDX, &data::Categories}) {
        data::create(*f);
        data::share(*f, data::kModeShared);
    }
    std::srand(7);
    data::logout(2, {&data::SITEDX});
    for (int i = 0; i < count; ++i) {
        std::string location =
            "https://www." + std::string(kWords[std::rand() % 21]) + std::to_string(i) + ".example.org/";
        while (location.size() < size_t(40 + std::rand() % 50))
            location += std::string(kWords[std::rand() % 21]) + "/";
        std::string description;
        for (int w = 0; w < 2 + std::rand() % 5; ++w)
            description += std::string(w ? " " : "") + kWords[std::rand() % 21];
        description[0] = char(std::toupper(description[0]));
        data::SITEDX.clear();
        data::setString(data::findField("URL:LOCATION"), location);
        data::setString(data::findField("URL:DESCRIPTION"), description + " " + std::to_string(i));
        data::setString(data::findField("URL:CATEGORY"), "Category " + std::to_string(std::rand() % 36));
        data::setNumber(data::findField("URL:RATING"), std::rand() % 11);
        data::setString(data::findField("URL:KEYWORD"), "https");
        data::add(data::SITEDX);
    }
    data::commit();
}

struct Timing {
    std::vector<double> ms;     // wall
    std::vector<double> cpuMs;  // process CPU
    double max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
    double median() const { return medianOf(ms); }
    double cpuMax() const { return cpuMs.empty() ? 0 : *std::max_element(cpuMs.begin(), cpuMs.end()); }
    double cpuMedian() const { return medianOf(cpuMs); }
    static double medianOf(std::vector<double> s) {
        if (s.empty())
            return 0;
        std::sort(s.begin(), s.end());
        return s[s.size() / 2];
    }
    void add(std::pair<double, double> wallAndCpu) {
        ms.push_back(wallAndCpu.first);
        cpuMs.push_back(wallAndCpu.second);
    }
};

// Runs an action on the preview and waits until the preview has handled it and repainted.
std::pair<double, double> timed(ui::Window& w, const std::function<void()>& action) {
    const std::string before = ui::statusZone(w, 2) + "|" + ui::statusZone(w, 3);
    const auto t0 = Clock::now();
    const double cpu0 = cpuSeconds();
    action();
    ui::pumpEventsUntil([&] { return ui::statusZone(w, 2) + "|" + ui::statusZone(w, 3) != before; }, 5000);
    w.internals()->client->repaint();  // every page image shown is drawn now
    return {seconds(t0) * 1000, (cpuSeconds() - cpu0) * 1000};
}

void runSize(int count) {
    sitedex::record::setVeloxDurability(sitedex::record::Durability::kProcessCrash);
    const std::string dir =
        std::filesystem::temp_directory_path() / ("sitedex-bench-report-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    char old[4096];
    (void)!::getcwd(old, sizeof old);
    (void)!::chdir(dir.c_str());
    runtime::setCurrentThread(1);
    auto t0 = Clock::now();
    fill(count);
    std::printf("\n%d locations (filled in %.1f s)\n", count, seconds(t0));
    // The report starts on files opened afresh, as a report procedure opens them, with the memory the
    // filling took given back and the peak counted from here.
    data::closeAllFiles();
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    for (data::FileDecl* f : {&data::SITEDX, &data::Categories})
        data::share(*f, data::kModeShared);
    const long rssBefore = statusKb("VmRSS:");

    const app::reports::ReportDesign& design = *app::reports::findReport("description");
    app::reports::ReportJob job(design, {8500, 11000});
    t0 = Clock::now();
    double cpu0 = cpuSeconds();
    job.start();
    while (runtime::runFor(job)) {
    }
    ui::ReportPages pages = job.takePages();
    const double generateWall = seconds(t0), generateCpu = cpuSeconds() - cpu0;
    size_t pageBytes = 0;
    for (const auto& p : pages)
        pageBytes += p.memoryBytes();
    const long rssPages = statusKb("VmRSS:");

    const std::string pdf = dir + "/report.pdf";
    t0 = Clock::now();
    cpu0 = cpuSeconds();
    auto writer = ui::PageOutputJob::toPdf(pages, pdf, design.title);
    while (writer->step()) {
    }
    const double pdfWall = seconds(t0), pdfCpu = cpuSeconds() - cpu0;
    const double pdfMb = double(std::filesystem::file_size(pdf)) / 1e6;
    data::closeAllFiles();

    // The preview, as the report shows it.
    bool ended = false;
    t0 = Clock::now();
    const int thread = ui::startProcedure([&] {
        app::reports::ReportPreview(pages, design.title);
        ended = true;
    });
    ui::Window* w = nullptr;
    ui::pumpEventsUntil([&] { return (w = ui::currentWindow(thread)) && !ui::statusZone(*w, 2).empty(); }, 10000);
    w->internals()->client->repaint();
    const double openMs = seconds(t0) * 1000;
    const auto& pw = app::reports::previewWindow();

    Timing next1, last, next100, zoomNext, back, layout;
    for (int i = 0; i < 20; ++i)
        next1.add(timed(*w, [&] { w->click(pw.nextItem); }));
    last.add(timed(*w, [&] { w->enterText(pw.pageSpin, std::to_string(pages.size())); }));
    back.add(timed(*w, [&] { w->enterText(pw.pageSpin, "1"); }));
    layout.add(timed(*w, [&] { w->enterText(pw.acrossSpin, "10"); }));
    layout.add(timed(*w, [&] { w->enterText(pw.downSpin, "10"); }));
    for (int i = 0; i < 20; ++i)
        next100.add(timed(*w, [&] { w->click(pw.nextItem); }));
    last.add(timed(*w, [&] { w->enterText(pw.pageSpin, std::to_string(pages.size())); }));
    layout.add(timed(*w, [&] { w->click(pw.zoomItems[6]); }));  // 300%
    back.add(timed(*w, [&] { w->enterText(pw.pageSpin, "1"); }));
    for (int i = 0; i < 20; ++i)
        zoomNext.add(timed(*w, [&] { w->click(pw.nextItem); }));
    last.add(timed(*w, [&] { w->enterText(pw.pageSpin, std::to_string(pages.size())); }));
    w->click(pw.exitItem);
    ui::pumpEventsUntil([&] { return ended; }, 5000);

    const long rssEnd = statusKb("VmRSS:");
    std::printf("| step | figure |\n|---|---|\n");
    std::printf("| generate %zu pages | %.2f s wall, %.2f s CPU |\n", pages.size(), generateWall, generateCpu);
    std::printf("| pages kept | %.1f MB (%.0f bytes a page) |\n", pageBytes / 1e6,
                double(pageBytes) / double(pages.size()));
    std::printf("| write PDF | %.2f s wall, %.2f s CPU, %.1f MB |\n", pdfWall, pdfCpu, pdfMb);
    std::printf("| open the preview | %.0f ms |\n", openMs);
    std::printf("| resident memory: before, with the pages, at the end; peak | %.0f, %.0f, %.0f; %.0f MB |\n",
                rssBefore / 1024.0, rssPages / 1024.0, rssEnd / 1024.0, statusKb("VmHWM:") / 1024.0);
    auto row = [](const char* what, const Timing& t) {
        std::printf("| %s | %.1f / %.1f ms | %.1f / %.1f ms |\n", what, t.median(), t.max(), t.cpuMedian(), t.cpuMax());
    };
    std::printf(
        "\n| paging action (handled and repainted) | wall: median / max | CPU: median / max |\n|---|---|---|\n");
    row("Next, one page at a time (20 times)", next1);
    row("Next, 10 x 10 thumbnails (20 times)", next100);
    row("Next, zoomed 300% (20 times)", zoomNext);
    row("to the last page (one page, 10 x 10, 300%)", last);
    row("back to page 1 (one page, 300%)", back);
    row("10 across, 10 down, 300% (new layouts)", layout);
    (void)!::chdir(old);
    std::filesystem::remove_all(dir);
}

}  // namespace

int main() {
    drivers::registerStandardDrivers();
    ui::ensureApplication();
    ui::setMessageBoxResponder([](const ui::MessageBoxInfo& b) { return b.defaultButton ? b.defaultButton : 1; });
    std::printf("report font: %s\n", ui::reportFontFamily(ui::ReportFont::kNormal).c_str());
    const char* sizes = std::getenv("SITEDEX_BENCH_SIZES");
    std::stringstream list(sizes && *sizes ? sizes : "100000");
    for (std::string size; std::getline(list, size, ',');)
        runSize(std::atoi(size.c_str()));
    return 0;
}

// `sitedex report` run as its own process over a collection of about 60 locations: the PDF of every
// report read back with pdftotext -layout (every record in key order with all its columns, the
// title, the page numbers) and a page drawn with pdftoppm (the heading box is grey); the refusals
// and usage errors with their exit codes.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <filesystem>
#include <regex>
#include <sstream>

#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "drivers/record/velox_driver.h"
#include "runtime/thread_state.h"
#include "tests/app/report_fixture.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::cli {
namespace {

using sitedex::testing::FixtureLocation;
using sitedex::testing::readFile;
using sitedex::testing::TempDir;

struct Outcome {
    int code = -1;
    std::string out, err;
};

Outcome sitedex(const std::string& args, const std::string& dir) {
    const std::string out = dir + "/.out", err = dir + "/.err";
    const std::string cmd = std::string(SITEDEX_BINARY) + " " + args + " >'" + out + "' 2>'" + err + "'";
    const int status = std::system(cmd.c_str());
    Outcome r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readFile(out);
    r.err = readFile(err);
    return r;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class ReportCommand : public ::testing::Test {
protected:
    void SetUp() override {
        record::setVeloxDurability(record::Durability::kProcessCrash);
        runtime::setCurrentThread(1);
        m_data = m_dir.path() + "/data";
        std::filesystem::create_directory(m_data);
    }
    void fill() {
        char old[4096];
        ASSERT_EQ(::getcwd(old, sizeof old), old);
        ASSERT_EQ(::chdir(m_data.c_str()), 0);
        for (data::FileDecl* f : {&data::SITEDX, &data::Categories}) {
            ASSERT_EQ(data::create(*f), 0);
            ASSERT_EQ(data::share(*f, data::kModeShared), 0);
        }
        for (const auto& c : sitedex::testing::fixtureCategories()) {
            data::Categories.clear();
            data::setString(data::findField("CAT:CATEGORY"), c.name);
            data::Categories.memo(0) = c.description;
            ASSERT_EQ(data::add(data::Categories), 0);
        }
        for (const FixtureLocation& l : sitedex::testing::fixtureLocations()) {
            data::SITEDX.clear();
            data::setString(data::findField("URL:LOCATION"), l.location);
            data::setString(data::findField("URL:DESCRIPTION"), l.description);
            data::setString(data::findField("URL:CATEGORY"), l.category);
            data::setNumber(data::findField("URL:RATING"), l.rating);
            data::setString(data::findField("URL:KEYWORD"), l.keyword);
            ASSERT_EQ(data::add(data::SITEDX), 0) << l.location;
        }
        data::closeAllFiles();
        ASSERT_EQ(::chdir(old), 0);
    }

    TempDir m_dir;
    std::string m_data;
};

TEST_F(ReportCommand, EveryLocationReportListsEveryLocationWithItsColumnsInKeyOrder) {
    if (!sitedex::testing::havePdfToText())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    fill();
    struct Case {
        const char* report;
        const char* title;
    };
    const Case cases[] = {{"description", "URLs by Description"},
                          {"location", "URLs by Location"},
                          {"category", "URLs by Category"},
                          {"rating", "URLs by Rating"},
                          {"keyword", "URLs by Keyword"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.report);
        const std::string pdf = m_dir.path() + "/" + c.report + ".pdf";
        const Outcome r = sitedex(
            std::string("report ") + c.report + " --pdf '" + pdf + "' --paper letter --data-dir '" + m_data + "'",
            m_dir.path());
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "") << "no progress line when standard error is no terminal, no noise";
        const std::string text = sitedex::testing::pdfLayoutText(pdf);
        const std::vector<std::string> lines = linesOf(text);
        // 60 locations, 14 a page: 5 pages, each with its title, headings and number.
        EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 5);
        // The footer: "Page" and the number at the right (pdftotext spaces the gap by its own
        // measure of the proportional font, not by the number of blanks drawn).
        for (int page = 1; page <= 5; ++page)
            EXPECT_TRUE(std::regex_search(text, std::regex(" Page +" + std::to_string(page) + "\n"))) << page;
        size_t titles = 0;
        for (const std::string& line : lines)
            if (line.find(c.title) != std::string::npos)
                ++titles;
        EXPECT_EQ(titles, 5u);
        EXPECT_NE(text.find("Location"), std::string::npos);
        EXPECT_NE(text.find("Keyword"), std::string::npos);

        size_t previous = 0;
        for (const FixtureLocation& l : sitedex::testing::inKeyOrder(sitedex::testing::fixtureLocations(), c.report)) {
            SCOPED_TRACE(l.location);
            size_t at = previous;
            while (at < lines.size() && lines[at].find(l.location) == std::string::npos)
                ++at;
            ASSERT_LT(at, lines.size()) << "missing, or out of order";
            const std::string& first = lines[at];
            EXPECT_NE(first.find(l.category), std::string::npos) << first;
            const std::string rating = " " + std::to_string(l.rating);
            EXPECT_NE(first.find(rating), std::string::npos) << first;
            EXPECT_LT(first.find(l.location), first.find(l.category));
            const std::string& second = lines[at + 1];
            EXPECT_NE(second.find(l.description), std::string::npos) << second;
            EXPECT_NE(second.find(l.keyword), std::string::npos) << second;
            previous = at + 1;
        }
    }
}

TEST_F(ReportCommand, CategoryReportListsEveryCategoryWithItsWholeDescription) {
    if (!sitedex::testing::havePdfToText())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    fill();
    const std::string pdf = m_dir.path() + "/categories.pdf";
    const Outcome r = sitedex("report CATEGORIES --pdf '" + pdf + "' --data-dir '" + m_data + "'", m_dir.path());
    ASSERT_EQ(r.code, 0) << r.err;
    std::string text = sitedex::testing::pdfLayoutText(pdf);
    EXPECT_NE(text.find("Categories"), std::string::npos);
    EXPECT_TRUE(std::regex_search(text, std::regex(" Page +1\n")));
    size_t previous = 0;
    for (const auto& c : sitedex::testing::fixtureCategories()) {
        const size_t at = text.find(c.name, previous);
        ASSERT_NE(at, std::string::npos) << c.name;
        previous = at;
    }
    // The long description wraps over several lines: every word of it is printed, in order.
    std::string words;
    for (const std::string& line : linesOf(text))
        words += line + " ";
    size_t from = 0;
    for (const char* word : {"Languages,", "libraries", "people", "several", "grows.", "second", "paragraph."}) {
        const size_t at = words.find(word, from);
        EXPECT_NE(at, std::string::npos) << word;
        from = at == std::string::npos ? from : at;
    }
}

TEST_F(ReportCommand, PagesDrawTheHeadingsInAGreyBox) {
    if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    fill();
    const std::string pdf = m_dir.path() + "/rating.pdf";
    ASSERT_EQ(
        sitedex("report rating --pdf '" + pdf + "' --paper letter --data-dir '" + m_data + "'", m_dir.path()).code, 0);
    const std::string png = m_dir.path() + "/page";
    ASSERT_EQ(std::system(("pdftoppm -r 100 -f 1 -l 1 -png '" + pdf + "' '" + png + "'").c_str()), 0);
    std::string file;
    for (const auto& e : std::filesystem::directory_iterator(m_dir.path()))
        if (e.path().filename().string().rfind("page", 0) == 0)
            file = e.path().string();
    QImage page(QString::fromStdString(file));
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page.width(), 850);  // Letter at 100 pixels an inch
    EXPECT_EQ(page.height(), 1100);
    // Inside the heading box (1.26 to 1.72 inch down), left of the first heading: grey.
    const QColor inBox = page.pixelColor(103, 128);
    EXPECT_LT(inBox.lightness(), 235);
    EXPECT_GT(inBox.lightness(), 150);
    // The margins stay white.
    EXPECT_EQ(page.pixelColor(50, 50).lightness(), 255);
    EXPECT_EQ(page.pixelColor(800, 1050).lightness(), 255);
}

TEST_F(ReportCommand, RefusalsAndUsageErrorsSayWhatIsWrong) {
    std::filesystem::create_directory(m_dir.path() + "/empty");
    testing::writeFile(m_dir.path() + "/plain", "x");
    struct Case {
        std::string args;
        int code;
        std::string message;  // part of standard error
    };
    const std::string data = " --data-dir '" + m_dir.path() + "/empty'";
    const Case cases[] = {
        {"report" + data, 2, "missing argument"},
        {"report weekly --pdf x.pdf" + data, 2, "unknown report 'weekly'"},
        {"report description" + data, 2, "--pdf FILE is needed"},
        {"report description --pdf x.pdf --paper tabloid" + data, 2, "unknown paper 'tabloid'"},
        {"report description --pdf '" + m_dir.path() + "/missing/x.pdf'" + data, 1, "missing/x.pdf"},
        {"report description --pdf '" + m_dir.path() + "/plain/x.pdf'" + data, 1, "plain/x.pdf"},
        {"report description --pdf /proc/x.pdf" + data, 1, "cannot write /proc/x.pdf"},
        {"report description --pdf '" + m_dir.path() + "/n.pdf' --data-dir '" + m_dir.path() + "/nowhere'", 1,
         "nowhere"},
        {"report description --pdf '" + m_dir.path() + "/e.pdf'" + data, 1, "no locations to print"},
        {"report categories --pdf '" + m_dir.path() + "/e.pdf'" + data, 1, "no categories to print"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const Outcome r = sitedex(c.args, m_dir.path());
        EXPECT_EQ(r.code, c.code);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Usage:") != std::string::npos, c.code == 2) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() + "/e.pdf")) << "an empty report writes no file";
    const Outcome help = sitedex("report --help", m_dir.path());
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Usage: sitedex report"), std::string::npos);
    EXPECT_NE(sitedex("--help", m_dir.path()).out.find("report"), std::string::npos);
}

}  // namespace
}  // namespace sitedex::cli

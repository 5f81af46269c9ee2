#pragma once
// Test helpers for the export: one fixture database that shows what the writers must get right —
// both page-wide snippet categories, a "Replace Title" and the four other snippets on a category,
// a blank description, rating 0, text with "<", "&", quotes, commas, a line break and non-ASCII
// characters, and twelve categories (so a frame export reaches its tenth page) — and a way to run
// an export job to its end and read back every file it wrote.

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/export/export_job.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/dates.h"
#include "tests/app/browse_fixture.h"
#include "tests/support/data_fixtures.h"

namespace sitedex::app::exporting::testing {

// The date every fixture export is stamped with: "September 5, 2026".
inline int64_t fixtureDate() {
    return runtime::dayNumber(2026, 9, 5);
}

struct FixtureLocation {
    const char* location;
    const char* description;
    const char* category;
    int rating;
    const char* siteInfo;
};

// Added in this order, which is neither location nor category order.
inline const std::vector<FixtureLocation>& fixtureLocations() {
    static const std::vector<FixtureLocation> rows = {
        {"http://music.example/jazz?id=1&x=2", "Jazz <Live> & \"Late\", Berlin", "Music", 7,
         "Tickets \"from\" 10 & up <b>tonight</b>"},
        {"http://music.example/blues", "", "Music", 0, ""},
        {"http://art.example/", "Museum of Art", "Art", 10, "Line one\r\nLine two"},
        {"https://books.example/bücher", "Bücher – Ñandú 東京", "Books", 3, "Łódź, Kraków"},
        {"http://cafe.example/", "Le Café", "Café & Cinéma", 5, ""},
        {"http://dance.example/", "Dance Hall", "Dance", 0, "Saturdays"},
        {"http://econ.example/", "Economics Today", "Economics", 1, ""},
        {"http://films.example/", "Films, Films, Films", "Films", 2, "A, B, C"},
        {"http://games.example/", "Games Room", "Games", 4, ""},
        {"http://history.example/", "History Pages", "History", 6, ""},
        {"http://internet.example/", "Internet Archive", "Internet", 8, ""},
        {"http://jazz.example/", "Jazz Club", "Jazz", 9, ""},
        {"http://kids.example/", "Kids Corner", "Kids", 0, ""},
        {"http://art.example/abstract", "Abstract Art", "Art", 99, ""},
        {"http://music.example/classical", "Classical", "Music", 5, "Opera & more"},
    };
    return rows;
}

class ExportTest : public app::maintenance::testing::DataDirTest {
protected:
    void SetUp() override {
        DataDirTest::SetUp();
        openFile(data::Categories);
        openFile(data::CatHTML);
        openFile(data::SITEDX);
    }

    static void addSnippet(const std::string& category, const std::string& type, const std::string& html) {
        data::CatHTML.clear();
        data::setString(data::findField("HTM:CATEGORY"), category);
        data::setString(data::findField("HTM:TYPEOFHTML"), type);
        data::CatHTML.memo(0) = html;
        ASSERT_EQ(data::add(data::CatHTML), 0) << category << " " << type;
    }
    static void addFullLocation(const FixtureLocation& l) {
        data::SITEDX.clear();
        data::setString(data::findField("URL:LOCATION"), l.location);
        data::setString(data::findField("URL:DESCRIPTION"), l.description);
        data::setString(data::findField("URL:CATEGORY"), l.category);
        data::setNumber(data::findField("URL:RATING"), l.rating);
        data::setMemo(data::SITEDX, 0, l.siteInfo);
        ASSERT_EQ(data::add(data::SITEDX), 0) << l.location;
    }

    void fillFixture() {
        for (const char* c : {"Music", "Art", "Books", "Café & Cinéma", "Dance", "Economics", "Films", "Games",
                              "History", "Internet", "Jazz", "Kids", "_Before All", "_After All"})
            addCategory(c);
        addSnippet("_Before All", "Replace Title", "My Links & More");
        addSnippet("_Before All", "Before Category", "<p>Welcome to my links</p>");
        addSnippet("_Before All", "After Category", "<p class=\"top\">Updated weekly</p>");
        addSnippet("_After All", "Before Category", "<p>See you soon</p>");
        addSnippet("_After All", "After Category", "<p>Made with care</p>");
        addSnippet("_After All", "Replace Title", "   ");  // blank: skipped
        addSnippet("Music", "Replace Title", "<i>Tunes</i>");
        addSnippet("Music", "Before Category", "<div class=\"music\">");
        addSnippet("Music", "Before Category Title", "<!-- music title -->");
        addSnippet("Music", "After Category Title", "<p>Listen</p>");
        addSnippet("Music", "After Category", "</div>\r\n");
        addSnippet("Art", "After Category", "<p>More art soon</p>");
        for (const FixtureLocation& l : fixtureLocations())
            addFullLocation(l);
    }

    struct Outcome {
        bool started = false;
        bool succeeded = false;
        std::string error;
        std::vector<std::string> files;
        int64_t exported = 0;
    };
    // Runs the job to its end (cancelling it after `cancelAfter` steps when that is not negative).
    static Outcome runExport(const ExportOptions& o, int cancelAfter = -1) {
        ExportJob job(o);
        job.setStretch(std::chrono::microseconds(0));  // one location a step
        Outcome r;
        r.started = job.start();
        if (r.started) {
            for (int steps = 0; job.step(); ++steps)
                if (steps == cancelAfter)
                    job.cancel();
        }
        r.succeeded = job.succeeded();
        r.error = job.error();
        r.files = job.files();
        r.exported = job.exported();
        return r;
    }

    ExportOptions options(ExportType type, bool siteInfo = true, bool ratings = true) const {
        ExportOptions o;
        o.fileName = m_dir.file(type == ExportType::kFrame ? "MYLINKS.HTM" : "out.htm");
        o.type = type;
        o.siteInfo = siteInfo;
        o.ratings = ratings;
        o.date = fixtureDate();
        return o;
    }

    // Every file written, each after a line "==> NAME <==" (the name without its folder).
    static std::string allOutput(const std::vector<std::string>& files) {
        std::string all;
        for (const std::string& f : files)
            all += "==> " + std::filesystem::path(f).filename().string() + " <==\n" + sitedex::testing::readFile(f);
        return all;
    }

    // The names in the folder, sorted (hidden temporaries included).
    std::vector<std::string> folderNames() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(m_dir.path()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

}  // namespace sitedex::app::exporting::testing

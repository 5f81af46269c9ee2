// An exported collection read back by the program's own import into an empty database: the
// "Comma-Delimited" and "Bookmark File" types must carry every field they have a place for through
// awkward data (commas and quotes in every column, markup characters, non-ASCII text, a site info of
// the whole 1000 characters and one of several lines, a blank description, a location without a
// category), so that a user can move a collection out and back in.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/export/export_job.h"
#include "app/import/import_job.h"
#include "data/access.h"
#include "data/dictionary.h"
#include "data/fields.h"
#include "runtime/jobs.h"
#include "tests/app/maintenance_fixture.h"

namespace sitedex::app {
namespace {

using Rows = std::vector<std::string>;

struct Location {
    std::string location, description, category, siteInfo;
    int rating;
};

// 1000 bytes (the whole site info field) of text with commas, quotes and markup in it.
std::string fullSiteInfo() {
    std::string text;
    for (int i = 0; text.size() < 1000; ++i)
        text += "part " + std::to_string(i) + ", \"quoted\" <b>&amp;</b>; ";
    text.resize(999);
    text += '.';
    return text;
}

const std::vector<Location>& awkwardLocations() {
    static const std::vector<Location> rows = {
        {"http://shop.example/find?q=a,b&sort=\"new\"", "Say \"hi\", then <leave> & go", "Shops, \"Best\"", "", 7},
        {"https://bücher.example/東京", "Ñandú – 東京 «Bücher»", "Café & Cinéma", "Łódź, \"Kraków\" – €5", 99},
        {"http://long.example/", "Long notes", "Café & Cinéma", fullSiteInfo(), 1},
        {"http://lines.example/", "Two lines", "Shops, \"Best\"", "line one\r\nline two, \"and\" more", 42},
        {"http://blank.example/", "", "Plain", "A, B and C", 0},
        {"http://nowhere.example/", "No category here", "", "'single' quotes, too", 3},
        {"http://quote.example/\"", "\"", "Plain", "\"", 5},  // values that are nothing but a quote
    };
    return rows;
}

class ExportImportRoundTrip : public sitedex::testing::MaintenanceTest {
protected:
    void fillAwkwardDatabase() {
        for (const char* c : {"Shops, \"Best\"", "Café & Cinéma", "Plain"})
            addCategory(c, std::string("About ") + c);
        for (const Location& l : awkwardLocations()) {
            data::SITEDX.clear();
            sitedex::testing::setField("URL:LOCATION", l.location);
            sitedex::testing::setField("URL:DESCRIPTION", l.description);
            sitedex::testing::setField("URL:CATEGORY", l.category);
            data::setNumber(data::findField("URL:RATING"), l.rating);
            data::setMemo(data::SITEDX, 0, l.siteInfo);
            ASSERT_EQ(data::add(data::SITEDX), 0) << l.location;
        }
    }

    void exportTo(const std::string& file, exporting::ExportType type) {
        exporting::ExportOptions o;
        o.fileName = file;
        o.type = type;
        exporting::ExportJob job(o);
        ASSERT_TRUE(job.start()) << job.error();
        while (runtime::runFor(job)) {
        }
        ASSERT_TRUE(job.succeeded()) << job.error();
        ASSERT_EQ(job.exported(), int64_t(awkwardLocations().size()));
    }

    // Leaves the filled database and opens empty files in a folder of their own.
    void switchToEmptyDatabase(const std::string& name) {
        data::closeAllFiles();
        for (data::FileDecl* f : {&data::Categories, &data::CatHTML, &data::SITEDX})
            data::useCount(*f) = 0;
        const std::string dir = m_dir.file(name);
        ASSERT_TRUE(std::filesystem::create_directory(dir));
        ASSERT_EQ(::chdir(dir.c_str()), 0);
        data::useFile(data::Categories);
        data::useFile(data::CatHTML);
        data::useFile(data::SITEDX);
    }

    void importFrom(const std::string& file, importing::DocumentType type) {
        importing::ImportRequest r;
        r.path = file;
        r.type = type;
        r.method = importing::CategoryMethod::kBestGuess;
        importing::ImportJob job(std::move(r));
        ASSERT_TRUE(job.open()) << job.problem();
        while (runtime::runFor(job)) {
        }
        EXPECT_EQ(job.problem(), "");
        EXPECT_EQ(job.counts().added, int64_t(awkwardLocations().size())) << job.summary();
    }

    static std::string row(const Location& l) {
        return l.location + "|" + l.description + "|" + l.category + "|" + l.siteInfo + "|" + std::to_string(l.rating);
    }
    static Rows rowsOf(const std::vector<Location>& locations) {
        Rows rows;
        for (const Location& l : locations)
            rows.push_back(row(l));
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    static Rows storedRows() {
        return sitedex::testing::rowsOnDisk(
            data::SITEDX, {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY", "URL:SITEINFO", "URL:RATING"});
    }
    static void expectSameRows(const Rows& expected, const Rows& actual) {
        ASSERT_EQ(expected.size(), actual.size());
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(expected[i], actual[i]);
    }
};

// Every field comes back byte for byte, but for two things the file cannot say: the location
// without a category goes where the import files a location the document suggests no category
// for, and a line break inside a value comes back as the "\n" of the program's own forms.
TEST_F(ExportImportRoundTrip, CommaDelimitedKeepsEveryField) {
    fillAwkwardDatabase();
    const std::string file = m_dir.file("collection.txt");
    exportTo(file, exporting::ExportType::kCommaDelimited);
    switchToEmptyDatabase("empty");
    importFrom(file, importing::DocumentType::kComma);

    std::vector<Location> expected = awkwardLocations();
    for (Location& l : expected) {
        if (l.category.empty())
            l.category = "New";
        for (size_t at; (at = l.siteInfo.find("\r\n")) != std::string::npos;)
            l.siteInfo.erase(at, 1);
    }
    expectSameRows(rowsOf(expected), storedRows());
    EXPECT_EQ(sitedex::testing::rowsOnDisk(data::Categories, {"CAT:CATEGORY"}),
              (Rows{"Café & Cinéma", "New", "Plain", "Shops, \"Best\""}));
}

// A bookmark file has no place for the rating, gives a link without a title its address as its
// title, and holds a site info on one line; a link outside every folder is filed under the file's
// heading, "Bookmarks", as the top-level links of a browser's file are. The rest comes back as it was.
TEST_F(ExportImportRoundTrip, BookmarkFileKeepsAddressesTitlesFoldersAndNotes) {
    fillAwkwardDatabase();
    const std::string file = m_dir.file("bookmarks.html");
    exportTo(file, exporting::ExportType::kBookmarkFile);
    switchToEmptyDatabase("empty");
    importFrom(file, importing::DocumentType::kHtml);

    std::vector<Location> expected = awkwardLocations();
    for (Location& l : expected) {
        l.rating = 0;
        if (l.category.empty())
            l.category = "Bookmarks";
        if (l.description.empty())
            l.description = l.location;
        for (char& c : l.siteInfo)
            if (c == '\r' || c == '\n')
                c = ' ';
    }
    expectSameRows(rowsOf(expected), storedRows());
    EXPECT_EQ(sitedex::testing::rowsOnDisk(data::Categories, {"CAT:CATEGORY"}),
              (Rows{"Bookmarks", "Café & Cinéma", "Plain", "Shops, \"Best\""}));
}

}  // namespace
}  // namespace sitedex::app

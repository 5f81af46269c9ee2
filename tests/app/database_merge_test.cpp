// The merge of another database's locations, on real record files in two folders: what is carried
// over and what is not, merging a database into itself, sources another program holds open, and
// sources that are missing, damaged or of another layout.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/import/database_import.h"
#include "app/import/database_merge.h"
#include "tests/app/maintenance_fixture.h"
#include "tests/app/transfer_fixture.h"

namespace sitedex::app::importing {
namespace {

using namespace sitedex::testing;
namespace fs = std::filesystem;
using Rows = std::vector<std::string>;

struct Site {
    std::string location, description, category;
    int rating;
    std::string keyword, siteInfo;
};

void writeSites(const std::string& folder, const std::vector<Site>& sites) {
    writeRecords(folder, data::SITEDX, int(sites.size()), [&](int i) {
        const Site& s = sites[size_t(i)];
        setText("URL:LOCATION", s.location);
        setText("URL:DESCRIPTION", s.description);
        setText("URL:CATEGORY", s.category);
        data::setNumber(data::findField("URL:RATING"), s.rating);
        setText("URL:KEYWORD", s.keyword);
        data::SITEDX.memo(0) = s.siteInfo;
    });
}

const std::vector<const char*> kAllFields = {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY",
                                             "URL:RATING",   "URL:KEYWORD",     "URL:SITEINFO"};

class Merge : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        writeSites(m_data.path(), {{"HTTP://SHARED.EXAMPLE/", "Shared here", "News", 3, "http", "mine"},
                                   {"", "No address yet", "News", 1, "?", ""}});
        writeRecords(m_data.path(), data::Categories, 1, [](int) { setText("CAT:CATEGORY", "News"); });
    }
    std::string source() const { return m_other.file("URL_L.VLX"); }
    // Runs a whole merge as the progress window would.
    DatabaseMerge::Outcome merge(const std::string& from, DatabaseMerge* keep = nullptr) {
        DatabaseMerge m(from);
        DatabaseMerge& job = keep ? *keep : m;
        if (!job.open())
            return job.outcome();
        while (runtime::runFor(job, std::chrono::microseconds(300))) {
        }
        return job.outcome();
    }
    Rows locationsHere() { return recordsIn(m_data.path(), data::SITEDX, kAllFields); }

    TempDir m_other;
};

TEST_F(Merge, FixedFieldsAreAddedWithoutSiteInfoOrCategories) {
    writeSites(m_other.path(), {{"http://shared.example/", "Shared there", "Elsewhere", 9, "x", "theirs"},
                                {"http://new.example/", "New one", "Gadgets", 7, "http", "about gadgets"},
                                {"ftp://files.example/", "Files", "", 0, "ftp", ""}});
    DatabaseMerge m(source());
    ASSERT_TRUE(m.open()) << (recordedBoxes().empty() ? "" : recordedBoxes()[0].text);
    while (runtime::runFor(m)) {
    }
    EXPECT_EQ(m.outcome(), DatabaseMerge::Outcome::kCompleted);
    EXPECT_EQ(m.added(), 2);
    EXPECT_EQ(m.present(), 1);
    EXPECT_EQ(m.percent(), 100);
    EXPECT_EQ(m.summary(), "2 locations added, 1 already present.");
    EXPECT_EQ(locationsHere(),
              (Rows{"HTTP://SHARED.EXAMPLE/|Shared here|News|3|http|mine", "|No address yet|News|1|?|",
                    "http://new.example/|New one|Gadgets|7|http|", "ftp://files.example/|Files||0|ftp|"}));
    // The category that does not exist here is kept as text; no category is made for it.
    EXPECT_EQ(recordsIn(m_data.path(), data::Categories, {"CAT:CATEGORY"}), Rows{"News"});
    EXPECT_FALSE(fs::exists(here("URL_H.VLX")));
    EXPECT_TRUE(recordedBoxes().empty());
}

TEST_F(Merge, IntoItselfAddsNothing) {
    const Rows before = locationsHere();
    for (const std::string& name : {here("URL_L.VLX"), std::string("URL_L.VLX")}) {
        DatabaseMerge m(name);
        ASSERT_TRUE(m.open());
        while (runtime::runFor(m)) {
        }
        EXPECT_EQ(m.added(), 0) << name;
        EXPECT_EQ(m.present(), 2) << name;
    }
    EXPECT_EQ(locationsHere(), before);
}

TEST_F(Merge, LocationsWithoutAddressAreAddedUnlessTheSameIsHere) {
    writeSites(m_other.path(), {{"", "No address yet", "News", 1, "?", ""},
                                {"", "No address yet", "News", 2, "?", ""},
                                {"", "Another without", "news", 1, "?", ""}});
    ASSERT_EQ(merge(source()), DatabaseMerge::Outcome::kCompleted);
    Rows rows = locationsHere();
    EXPECT_EQ(rows, (Rows{"HTTP://SHARED.EXAMPLE/|Shared here|News|3|http|mine", "|No address yet|News|1|?|",
                          "|No address yet|News|2|?|", "|Another without|news|1|?|"}));
    ASSERT_EQ(merge(source()), DatabaseMerge::Outcome::kCompleted);
    EXPECT_EQ(locationsHere(), rows);
}

TEST_F(Merge, ASourceOpenInAnotherProgramMerges) {
    writeSites(m_other.path(),
               {{"http://a.example/", "A", "x", 1, "", ""}, {"http://b.example/", "B", "x", 1, "", ""}});
    // The other program has the file open for writing and holds its first record.
    const std::string other = m_other.path();
    SecondProgram holder([&] {
        if (::chdir(other.c_str()) != 0 || data::share(data::SITEDX, data::kModeShared) != 0)
            return false;
        data::SITEDX.clear();
        setText("URL:LOCATION", "http://a.example/");
        data::hold(data::SITEDX);
        return data::get(data::SITEDX, *data::SITEDX.findKey("URL:K_LOCATION")) == 0;
    });
    ASSERT_TRUE(holder.ready());
    DatabaseMerge m(source());
    ASSERT_EQ(merge(source(), &m), DatabaseMerge::Outcome::kCompleted);
    EXPECT_EQ(m.added(), 2);
}

TEST_F(Merge, CancelStopsAndKeepsWhatWasAdded) {
    std::vector<Site> many;
    for (int i = 0; i < 2000; ++i)
        many.push_back({"http://s" + std::to_string(i) + ".example/", "S", "x", 0, "", ""});
    writeSites(m_other.path(), many);
    DatabaseMerge m(source());
    ASSERT_TRUE(m.open());
    ASSERT_TRUE(m.step());
    m.cancel();
    EXPECT_FALSE(m.step());
    EXPECT_EQ(m.outcome(), DatabaseMerge::Outcome::kCancelled);
    EXPECT_GT(m.added(), 0);
    EXPECT_LT(m.added(), 2000);
    EXPECT_EQ(locationsHere().size(), size_t(m.added() + 2));
}

TEST_F(Merge, ABadSourceIsReportedAndNothingChanges) {
    struct Bad {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* says;
    } cases[] = {
        {"missing", [](const std::string&) {}, "There is no Sitedex database at"},
        {"not a record file", [](const std::string& f) { writeFile(f, std::string(4000, 'z')); },
         "is not a Sitedex database file"},
        {"half a header", [](const std::string& f) { writeFile(f, "vElX"); }, "is not a Sitedex database file"},
        {"another layout",
         [](const std::string& f) {
             const std::string folder = fs::path(f).parent_path();
             writeRecords(folder, data::Categories, 2, [](int i) { setText("CAT:CATEGORY", i ? "a" : "b"); });
             fs::rename(folder + "/URL_C.VLX", f);
         },
         "laid out differently (Invalid Record Declaration (47))"},
    };
    const Rows before = locationsHere();
    const std::string hereBytes = readFile(here("URL_L.VLX"));
    for (const Bad& b : cases) {
        TempDir folder;
        const std::string file = folder.file("URL_L.VLX");
        b.make(file);
        const bool existed = fs::exists(file);
        const std::string sourceBytes = existed ? readFile(file) : "";
        recordedBoxes().clear();
        DatabaseMerge m(file);
        EXPECT_FALSE(m.open()) << b.name;
        EXPECT_EQ(m.outcome(), DatabaseMerge::Outcome::kFailed) << b.name;
        ASSERT_EQ(recordedBoxes().size(), 1u) << b.name;
        EXPECT_EQ(recordedBoxes()[0].caption, kCannotImport);
        EXPECT_NE(recordedBoxes()[0].text.find(b.says), std::string::npos) << b.name << ": " << recordedBoxes()[0].text;
        EXPECT_NE(recordedBoxes()[0].text.find("Nothing was imported."), std::string::npos) << b.name;
        EXPECT_EQ(fs::exists(file), existed) << b.name;  // a missing file is never made
        if (existed) {
            EXPECT_EQ(readFile(file), sourceBytes) << b.name;
        }
    }
    // A name longer than the declaration's name variable would open another file than the one named.
    recordedBoxes().clear();
    DatabaseMerge tooLong("/" + std::string(300, 'd') + "/URL_L.VLX");
    EXPECT_FALSE(tooLong.open());
    ASSERT_EQ(recordedBoxes().size(), 1u);
    EXPECT_NE(recordedBoxes()[0].text.find("is longer than the 255 characters"), std::string::npos);
    EXPECT_EQ(locationsHere(), before);
    EXPECT_EQ(readFile(here("URL_L.VLX")), hereBytes);
}

TEST(MergeSourceName, NamesThatCanBeADatabase) {
    TempDir folder;
    struct Name {
        std::string entered, opened;
    } names[] = {
        {"URL_L.VLX", "URL_L.VLX"},
        {"  /data/old/URL_L.VLX  ", "/data/old/URL_L.VLX"},
        {"/data/Old Files/url_l.vlx", "/data/Old Files/url_l.vlx"},  // opened as written
        {folder.path(), folder.path() + "/URL_L.VLX"},
        {folder.path() + "/", folder.path() + "/URL_L.VLX"},
        {"/data/old/bookmarks.htm", ""},
        {"", ""},
        {"   ", ""},
    };
    for (const Name& n : names)
        EXPECT_EQ(mergeSourceName(n.entered), n.opened) << n.entered;
}

}  // namespace
}  // namespace sitedex::app::importing

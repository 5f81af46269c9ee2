// The upgrade of older data files, on old-layout files written by our own driver from the old
// declarations: what arrives in the current files, the backups of files already there, progress,
// Cancel, and the start-up's run of the three upgrades.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/upgrade/upgrade_job.h"
#include "app/upgrade/upgrade_procedures.h"
#include "runtime/settings_file.h"
#include "tests/app/transfer_fixture.h"

namespace sitedex::app::upgrade {
namespace {

using namespace sitedex::testing;
namespace fs = std::filesystem;
using Rows = std::vector<std::string>;

// Runs an opened job to its end in small budgets, as a window's timer would; returns the percents
// shown on the way.
std::vector<int> runToTheEnd(UpgradeJob& job) {
    std::vector<int> shown;
    while (runtime::runFor(job, std::chrono::microseconds(200)))
        shown.push_back(job.percent());
    shown.push_back(job.percent());
    return shown;
}

std::string repeated(const std::string& piece, size_t bytes) {
    std::string s;
    while (s.size() < bytes)
        s += piece;
    s.resize(bytes);
    return s;
}

// 500 characters, the most an old memo holds.
std::string oldMemo(int i) {
    return repeated("memo " + std::to_string(i) + " ", 499) + ".";
}

class Upgrade : public TransferTest {
protected:
    // Old locations: every 7th without an address, 15-character categories, 500-character memos.
    void writeOldLocations(int count) {
        writeRecords(m_data.path(), data::OldLocations, count, [](int i) {
            if (i % 7 != 3)
                setText("OL:LOCATION", "http://site" + std::to_string(i) + ".example/");
            setText("OL:DESCRIPTION", "Site number " + std::to_string(i));
            setText("OL:CATEGORY", i % 2 ? "ABCDEFGHIJKLMNO" : "News");
            data::setNumber(data::findField("OL:RATING"), i % 11);
            setText("OL:KEYWORD", "kw" + std::to_string(i % 5));
            data::OldLocations.memo(0) = oldMemo(i);
        });
    }
    void writeOldCategories(const std::vector<std::string>& names) {
        writeRecords(m_data.path(), data::OldCategories, int(names.size()),
                     [&](int i) { setText("OC:CATEGORY", names[size_t(i)]); });
    }
    void writeCurrentLocation(const std::string& location) {
        writeRecords(m_data.path(), data::SITEDX, 1, [&](int) {
            setText("URL:LOCATION", location);
            setText("URL:DESCRIPTION", "kept from before");
        });
    }
    UpgradeOutcome run(UpgradeKind kind) {
        UpgradeJob job(kind);
        if (job.open())
            runToTheEnd(job);
        return job.outcome();
    }
};

TEST_F(Upgrade, AnEmptyOldFileGivesAnEmptyCurrentFile) {
    writeRecords(m_data.path(), data::OldLocations, 0, nullptr);
    UpgradeJob job(UpgradeKind::kLocations);
    ASSERT_TRUE(job.open());
    EXPECT_EQ(runToTheEnd(job).back(), 100);
    EXPECT_EQ(job.outcome(), UpgradeOutcome::kCompleted);
    EXPECT_TRUE(fs::exists(here("URL_L.VLX")));
    EXPECT_EQ(recordsIn(m_data.path(), data::SITEDX, {"URL:LOCATION"}), Rows{});
    EXPECT_TRUE(job.backup().empty());
    EXPECT_TRUE(recordedBoxes().empty());
}

TEST_F(Upgrade, EveryOldLocationArrivesWholeAndTheOldFileStaysAsItWas) {
    const int kCount = 3000;
    writeOldLocations(kCount);
    writeOldCategories({"ABCDEFGHIJKLMNO", "News"});
    const std::string oldBytes = readFile(here("SITEDX.VLX"));

    UpgradeJob job(UpgradeKind::kLocations);
    ASSERT_TRUE(job.open());
    const std::vector<int> shown = runToTheEnd(job);
    ASSERT_EQ(job.outcome(), UpgradeOutcome::kCompleted);
    EXPECT_EQ(job.copied(), kCount);
    // Progress by bytes runs from the start to 100 without going back.
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_LT(shown.front(), 50);
    EXPECT_EQ(shown.back(), 100);
    ASSERT_EQ(run(UpgradeKind::kCategories), UpgradeOutcome::kCompleted);

    const Rows rows =
        recordsIn(m_data.path(), data::SITEDX,
                  {"URL:LOCATION", "URL:DESCRIPTION", "URL:CATEGORY", "URL:RATING", "URL:KEYWORD", "URL:SITEINFO"});
    ASSERT_EQ(rows.size(), size_t(kCount));
    int blank = 0;
    for (int i = 0; i < kCount; ++i) {
        const std::string location = i % 7 != 3 ? "http://site" + std::to_string(i) + ".example/" : "";
        blank += location.empty();
        const std::string memo = oldMemo(i);
        const std::string& row = rows[size_t(i)];
        const size_t bar = row.rfind('|');
        EXPECT_EQ(row.substr(0, bar), location + "|Site number " + std::to_string(i) + "|" +
                                          (i % 2 ? "ABCDEFGHIJKLMNO" : "News") + "|" + std::to_string(i % 11) + "|kw" +
                                          std::to_string(i % 5))
            << i;
        EXPECT_EQ(row.substr(bar + 1), memo) << i;
    }
    EXPECT_GT(blank, 400);

    // The 15-character category became 30 characters padded with blanks, and its locations are found
    // under it through the category key.
    inFolder(m_data.path(), 9, [&] {
        ASSERT_EQ(data::open(data::Categories, data::kModeShared), 0);
        data::Categories.clear();
        setText("CAT:CATEGORY", "ABCDEFGHIJKLMNO");
        ASSERT_EQ(data::get(data::Categories, *data::Categories.findKey("CAT:K_CATEGORY")), 0);
        EXPECT_EQ(std::string(data::Categories.record(), 30), "ABCDEFGHIJKLMNO" + std::string(15, ' '));
        ASSERT_EQ(data::open(data::SITEDX, data::kModeShared), 0);
        data::SITEDX.clear();
        std::memcpy(data::SITEDX.record() + 355, data::Categories.record(), 30);
        data::KeyDecl& byCategory = *data::SITEDX.findKey("URL:K_CATEGORY");
        ASSERT_EQ(data::set(byCategory, byCategory), 0);
        int found = 0;
        while (data::next(data::SITEDX) == 0 && text("URL:CATEGORY") == "ABCDEFGHIJKLMNO")
            ++found;
        EXPECT_EQ(found, kCount / 2);
        data::close(data::SITEDX);
        data::close(data::Categories);
    });
    EXPECT_EQ(readFile(here("SITEDX.VLX")), oldBytes);
    EXPECT_TRUE(recordedBoxes().empty());
}

TEST_F(Upgrade, SnippetsKeepTheirKindAndText) {
    const std::string html = "<h2>Tools &amp; more</h2>\n" + repeated("<!-- x -->", 900);
    writeRecords(m_data.path(), data::OldCatHTML, 2, [&](int i) {
        setText("OH:CATEGORY", i ? "Tools" : "_Before All");
        setText("OH:TYPEOFHTML", "Before Category");
        data::OldCatHTML.memo(0) = i ? html : "<body>";
    });
    ASSERT_EQ(run(UpgradeKind::kCatHtml), UpgradeOutcome::kCompleted);
    EXPECT_EQ(recordsIn(m_data.path(), data::CatHTML, {"HTM:CATEGORY", "HTM:TYPEOFHTML", "HTM:HTMLTOADD"}),
              (Rows{"_Before All|Before Category|<body>", "Tools|Before Category|" + html}));
}

TEST_F(Upgrade, AFileAlreadyThereIsKeptAndNoBackupIsOverwritten) {
    writeOldLocations(20);
    writeCurrentLocation("http://mine.example/");

    UpgradeJob first(UpgradeKind::kLocations);
    ASSERT_TRUE(first.open());
    runToTheEnd(first);
    EXPECT_EQ(first.backup(), "URL_L.VLX.bak");
    EXPECT_EQ(recordsIn(m_data.path(), data::SITEDX, {"URL:LOCATION"}).size(), 20u);
    // The backup is the file as it was, and opens as a Locations file of its own.
    data::NameAscii = here("URL_L.VLX.bak");
    EXPECT_EQ(recordsIn(m_data.path(), data::ImportSource, {"ILOC:LOCATION", "ILOC:DESCRIPTION"}),
              Rows{"http://mine.example/|kept from before"});

    UpgradeJob second(UpgradeKind::kLocations);
    ASSERT_TRUE(second.open());
    runToTheEnd(second);
    EXPECT_EQ(second.backup(), "URL_L.VLX.bak2");
    EXPECT_EQ(recordsIn(m_data.path(), data::ImportSource, {"ILOC:LOCATION"}), Rows{"http://mine.example/"});
    data::NameAscii = here("URL_L.VLX.bak2");
    EXPECT_EQ(recordsIn(m_data.path(), data::ImportSource, {"ILOC:LOCATION"}).size(), 20u);
}

TEST_F(Upgrade, CancelKeepsWhatWasCopied) {
    writeOldLocations(2000);
    UpgradeJob job(UpgradeKind::kLocations);
    ASSERT_TRUE(job.open());
    ASSERT_TRUE(job.step());
    job.cancel();
    EXPECT_FALSE(job.step());
    EXPECT_EQ(job.outcome(), UpgradeOutcome::kCancelled);
    EXPECT_GT(job.copied(), 0);
    EXPECT_LT(job.copied(), 2000);
    EXPECT_EQ(recordsIn(m_data.path(), data::SITEDX, {"URL:LOCATION"}).size(), size_t(job.copied()));
}

TEST_F(Upgrade, AnOldFileThatCannotBeReadChangesNothing) {
    writeCurrentLocation("http://mine.example/");
    const std::string before = readFile(here("URL_L.VLX"));
    writeFile(here("SITEDX.VLX"), "this is not a record file at all, just some text");
    UpgradeJob job(UpgradeKind::kLocations);
    EXPECT_FALSE(job.open());
    EXPECT_EQ(job.outcome(), UpgradeOutcome::kFailed);
    ASSERT_EQ(recordedBoxes().size(), 1u);
    EXPECT_NE(recordedBoxes()[0].text.find("cannot read SITEDX.VLX"), std::string::npos) << recordedBoxes()[0].text;
    EXPECT_EQ(readFile(here("URL_L.VLX")), before);
    EXPECT_FALSE(fs::exists(here("URL_L.VLX.bak")));
}

// The start-up's run of the three upgrades, driven to the end as a window would.
class StartUpUpgrade : public Upgrade {
protected:
    UpgradeReport runAll() {
        return upgradeOlderDataFiles([](UpgradeJob& job) { runToTheEnd(job); });
    }
};

TEST_F(StartUpUpgrade, AllThreeRunInOrderAfterTheMessage) {
    writeOldLocations(10);
    writeOldCategories({"News", "ABCDEFGHIJKLMNO"});
    writeRecords(m_data.path(), data::OldCatHTML, 1, [](int) {
        setText("OH:CATEGORY", "News");
        setText("OH:TYPEOFHTML", "After Category");
    });
    const UpgradeReport report = runAll();
    EXPECT_TRUE(report.ran);
    EXPECT_TRUE(report.complete);
    ASSERT_EQ(report.steps.size(), 3u);
    EXPECT_EQ(report.steps[0].kind, UpgradeKind::kLocations);
    EXPECT_EQ(report.steps[2].kind, UpgradeKind::kCatHtml);
    EXPECT_TRUE(report.notes.empty());
    ASSERT_EQ(recordedBoxes().size(), 1u);
    EXPECT_EQ(recordedBoxes()[0].caption, "New version detected!");
    EXPECT_EQ(runtime::readSetting("Export", "Type"), "HTML - Table");
    EXPECT_EQ(runtime::readSetting("Export", "Name"), "SDXEXP.HTM");
    EXPECT_EQ(runtime::readSetting("Export", "SiteInfo"), "1");
    EXPECT_EQ(runtime::readSetting("Export", "Ratings"), "1");
    EXPECT_EQ(runtime::readSetting("Export", "Categories"), "All");
    EXPECT_EQ(recordsIn(m_data.path(), data::Categories, {"CAT:CATEGORY"}), (Rows{"News", "ABCDEFGHIJKLMNO"}));
    EXPECT_EQ(recordsIn(m_data.path(), data::CatHTML, {"HTM:CATEGORY"}), Rows{"News"});
}

TEST_F(StartUpUpgrade, OnlyCategoriesRunWithoutTheMessageOrTheExportDefaults) {
    writeOldCategories({"News"});
    const UpgradeReport report = runAll();
    EXPECT_TRUE(report.complete);
    ASSERT_EQ(report.steps.size(), 1u);
    EXPECT_EQ(report.steps[0].kind, UpgradeKind::kCategories);
    EXPECT_TRUE(recordedBoxes().empty());
    EXPECT_EQ(runtime::readSetting("Export", "Type", "none"), "none");
    EXPECT_FALSE(fs::exists(here("URL_L.VLX")));
    EXPECT_EQ(recordsIn(m_data.path(), data::Categories, {"CAT:CATEGORY"}), Rows{"News"});
}

TEST_F(StartUpUpgrade, ACancelIsNotCompleteAndSaysSo) {
    writeOldLocations(2000);
    writeOldCategories({"News"});
    writeCurrentLocation("http://mine.example/");
    const UpgradeReport report = upgradeOlderDataFiles([](UpgradeJob& job) {
        if (job.files().oldFile == &data::OldLocations) {
            job.step();
            job.cancel();
        }
        runToTheEnd(job);
    });
    EXPECT_FALSE(report.complete);
    ASSERT_EQ(report.steps.size(), 2u);  // the categories still ran
    EXPECT_EQ(report.steps[0].outcome, UpgradeOutcome::kCancelled);
    EXPECT_EQ(report.steps[1].outcome, UpgradeOutcome::kCompleted);
    const std::string notes = upgradeNotesText(report);
    EXPECT_NE(notes.find("kept as URL_L.VLX.bak"), std::string::npos) << notes;
    EXPECT_NE(notes.find("cancelled after " + std::to_string(report.steps[0].copied) + " records (locations)"),
              std::string::npos)
        << notes;
    EXPECT_GT(report.steps[0].copied, 0);
    EXPECT_NE(notes.find("offered again"), std::string::npos) << notes;
}

TEST_F(StartUpUpgrade, OldFilesThatDoNotOpenAreTakenAsAbsent) {
    writeFile(here("SITEDX.VLX"), "");
    writeFile(here("CATEGORI.VLX"), "garbage garbage garbage");
    // Another layout under the old name: the declaration does not match.
    writeRecords(m_data.path(), data::Categories, 1, [](int) { setText("CAT:CATEGORY", "x"); });
    fs::rename(here("URL_C.VLX"), here("CATHTML.VLX"));
    const UpgradeReport report = runAll();
    EXPECT_FALSE(report.ran);
    EXPECT_TRUE(report.complete);
    EXPECT_TRUE(recordedBoxes().empty());
}

}  // namespace
}  // namespace sitedex::app::upgrade

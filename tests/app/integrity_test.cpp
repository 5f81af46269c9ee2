// The integrity procedures on real record files: cascades of a category rename and delete, their
// all-or-nothing behaviour when a second program holds a location or a file, the conflict answer,
// and the single-file writes and deletes.

#include "app/maintenance/integrity.h"

#include "tests/app/maintenance_fixture.h"
#include "tests/support/refused_writes.h"

namespace sitedex::app::maintenance {
namespace {

using namespace sitedex::data;
using sitedex::testing::field;
using sitedex::testing::onThread;
using sitedex::testing::rowsOnDisk;
using sitedex::testing::SecondProgram;
using sitedex::testing::setField;
using sitedex::testing::shownBoxes;
using Rows = std::vector<std::string>;

class Integrity : public sitedex::testing::MaintenanceTest {
protected:
    // News has 3 locations and 2 snippets. One more location says "news": it differs only in letter
    // case, sorts first in URL:K_CATEGORY (its description), and is not News's.
    void SetUp() override {
        MaintenanceTest::SetUp();
        addCategory("News", "daily papers");
        addCategory("Tech");
        addSnippet("News", "Before Category", "<h1>");
        addSnippet("News", "After Category", "</h1>");
        addSnippet("Tech", "Before Category", "<b>");
        addLocation("http://a.example/", "Alpha", "News", 5);
        addLocation("http://b.example/", "Beta", "News", 6);
        addLocation("http://c.example/", "Gamma", "News", 7);
        addLocation("http://lower.example/", "0 lower case", "news", 1);
        addLocation("http://t.example/", "Tools", "Tech", 2);
    }

    const Rows kSnippetsBefore = {"News|After Category|</h1>", "News|Before Category|<h1>", "Tech|Before Category|<b>"};
    const Rows kLocationsBefore = {"http://a.example/|News|Alpha", "http://b.example/|News|Beta",
                                   "http://c.example/|News|Gamma", "http://lower.example/|news|0 lower case",
                                   "http://t.example/|Tech|Tools"};

    void expectNothingChanged() {
        EXPECT_EQ(categoriesOnDisk(), (Rows{"News", "Tech"}));
        EXPECT_EQ(snippetsOnDisk(), kSnippetsBefore);
        EXPECT_EQ(locationsOnDisk(), kLocationsBefore);
    }
    // A child program holding location b.example/ (a hold taken by reading it).
    static bool holdLocationB() {
        if (share(SITEDX, kModeShared) != 0)
            return false;
        SITEDX.clear();
        setField("URL:LOCATION", "http://b.example/");
        hold(SITEDX);
        return get(SITEDX, *SITEDX.findKey("URL:K_LOCATION")) == 0;
    }
    void renameNewsTo(const std::string& name) {
        readCategory("News");
        RememberCategoryName();
        setField("CAT:CATEGORY", name);
    }
};

TEST_F(Integrity, RenameCarriesTheNewNameToSnippetsAndLocations) {
    renameNewsTo("Media");
    EXPECT_EQ(WriteCategory(), kWriteOk);
    EXPECT_TRUE(shownBoxes().empty());
    EXPECT_FALSE(transactionActive());
    EXPECT_EQ(categoriesOnDisk(), (Rows{"Media", "Tech"}));
    EXPECT_EQ(snippetsOnDisk(),
              (Rows{"Media|After Category|</h1>", "Media|Before Category|<h1>", "Tech|Before Category|<b>"}));
    // the memos went along; "news" differs from the old name and keeps its category
    EXPECT_EQ(locationsOnDisk(),
              (Rows{"http://a.example/|Media|Alpha", "http://b.example/|Media|Beta", "http://c.example/|Media|Gamma",
                    "http://lower.example/|news|0 lower case", "http://t.example/|Tech|Tools"}));
    // the files the procedure opened for itself are released again
    EXPECT_EQ(useCount(CatHTML), 1);
    EXPECT_EQ(useCount(SITEDX), 1);
}

TEST_F(Integrity, RenameToOtherLetterCaseAndUnchangedName) {
    renameNewsTo("NEWS");
    EXPECT_EQ(WriteCategory(), kWriteOk);
    EXPECT_EQ(categoriesOnDisk(), (Rows{"NEWS", "Tech"}));
    EXPECT_EQ(snippetsOnDisk(),
              (Rows{"NEWS|After Category|</h1>", "NEWS|Before Category|<h1>", "Tech|Before Category|<b>"}));
    EXPECT_EQ(locationsOnDisk()[1], "http://b.example/|NEWS|Beta");
    EXPECT_EQ(locationsOnDisk()[3], "http://lower.example/|news|0 lower case");

    // Same name: only the description changes, the children stay as they are.
    readCategory("NEWS");
    RememberCategoryName();
    setMemo(Categories, 0, "new description");
    EXPECT_EQ(WriteCategory(), kWriteOk);
    EXPECT_EQ(locationsOnDisk()[0], "http://a.example/|NEWS|Alpha");
    EXPECT_EQ(rowsOnDisk(Categories, {"CAT:CATEGORY", "CAT:DESCRIPTION"})[0], "NEWS|new description");
}

TEST_F(Integrity, DeleteRemovesTheCategoryWithItsSnippetsAndLocations) {
    readCategory("News");
    EXPECT_EQ(EraseCategory(), kWriteOk);
    EXPECT_TRUE(shownBoxes().empty());
    EXPECT_EQ(categoriesOnDisk(), (Rows{"Tech"}));
    EXPECT_EQ(snippetsOnDisk(), (Rows{"Tech|Before Category|<b>"}));
    EXPECT_EQ(locationsOnDisk(), (Rows{"http://lower.example/|news|0 lower case", "http://t.example/|Tech|Tools"}));
    EXPECT_EQ(useCount(SITEDX), 1);
}

TEST_F(Integrity, RenameIntoALocationHeldByAnotherProgramChangesNothing) {
    SecondProgram other(holdLocationB);
    ASSERT_TRUE(other.ready());
    renameNewsTo("Media");
    EXPECT_EQ(WriteCategory(), kWriteFailed);
    EXPECT_FALSE(transactionActive());
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].text,
              "An error (Access Denied (5)) was experienced when attempting to update a record from the file.  "
              "Probable Cause: SITEDX.");
    EXPECT_EQ(shownBoxes()[0].caption, "Update Operation Error");
    expectNothingChanged();
}

TEST_F(Integrity, DeleteIntoALocationHeldByAnotherProgramChangesNothing) {
    SecondProgram other(holdLocationB);
    ASSERT_TRUE(other.ready());
    readCategory("News");
    EXPECT_EQ(EraseCategory(), kWriteFailed);
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].text,
              "An error (Access Denied (5)) was experienced when attempting to delete a record from the file SITEDX.");
    EXPECT_EQ(shownBoxes()[0].caption, "Delete Operation Error");
    expectNothingChanged();
    // and a location the other program holds cannot be deleted on its own either
    readLocation("http://b.example/");
    EXPECT_EQ(EraseLocation(), kWriteFailed);
    EXPECT_EQ(locationsOnDisk(), kLocationsBefore);
}

TEST_F(Integrity, AFileLockedByAnotherProgramCancelsTheTransaction) {
    // The forms have read their records before the other program takes the file (it then blocks
    // readers too).
    renameNewsTo("Media");
    readLocation("http://a.example/");
    setField("URL:DESCRIPTION", "changed");
    {
        SecondProgram other([] { return share(SITEDX, kModeShared) == 0 && logout(1, {&SITEDX}) == 0; });
        ASSERT_TRUE(other.ready());
        EXPECT_EQ(WriteCategory(), kWriteFailed);
        setField("CAT:CATEGORY", "News");
        EXPECT_EQ(EraseCategory(), kWriteFailed);
        EXPECT_EQ(WriteLocation(), kWriteFailed);
    }
    ASSERT_EQ(shownBoxes().size(), 3u);
    EXPECT_EQ(shownBoxes()[0].text,
              "Error: (Unable To Log Transaction (48)) attempting to frame the Update transaction on Categories.  "
              "Update transaction cancelled.");
    EXPECT_EQ(shownBoxes()[0].caption, "Transaction Framing Error");
    EXPECT_EQ(shownBoxes()[1].text,
              "Error: (Unable To Log Transaction (48)) attempting to frame the Delete transaction on Categories.  "
              "Delete transaction cancelled.");
    EXPECT_EQ(shownBoxes()[2].text,
              "Error: (Unable To Log Transaction (48)) attempting to frame the Update transaction on SITEDX.  "
              "Update transaction cancelled.");
    EXPECT_FALSE(transactionActive());
    expectNothingChanged();
}

TEST_F(Integrity, AConflictShowsTheOtherVersionAndAnswers2) {
    readLocation("http://a.example/");
    onThread(2, [&] {
        ASSERT_EQ(share(SITEDX, kModeShared), 0);
        setField("URL:LOCATION", "http://a.example/");
        ASSERT_EQ(get(SITEDX, *SITEDX.findKey("URL:K_LOCATION")), 0);
        setField("URL:DESCRIPTION", "Alpha from window 2");
        setMemo(SITEDX, 0, "info from window 2");
        ASSERT_EQ(put(SITEDX), 0);
        close(SITEDX);
    });
    setField("URL:DESCRIPTION", "Alpha from window 1");
    EXPECT_EQ(WriteLocation(), kWriteChanged);
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].text, "This record was changed by another station.");
    EXPECT_EQ(field("URL:DESCRIPTION"), "Alpha from window 2");
    EXPECT_EQ(SITEDX.memo(0), "info from window 2");
    EXPECT_FALSE(saveArea().empty());  // the record position taken before the write
    EXPECT_EQ(locationsOnDisk()[0], "http://a.example/|News|Alpha from window 2");
    // the buffer is watched again: writing now succeeds
    setField("URL:DESCRIPTION", "Alpha again");
    EXPECT_EQ(WriteLocation(), kWriteOk);
    EXPECT_EQ(locationsOnDisk()[0], "http://a.example/|News|Alpha again");

    // a category changed elsewhere: 2, and no child is renamed
    renameNewsTo("Media");
    onThread(2, [&] {
        ASSERT_EQ(share(Categories, kModeShared), 0);
        setField("CAT:CATEGORY", "News");
        ASSERT_EQ(get(Categories, *Categories.findKey("CAT:K_CATEGORY")), 0);
        setField("CAT:CATEGORY", "NEWS");
        setMemo(Categories, 0, "changed by window 2");
        ASSERT_EQ(put(Categories), 0);
        close(Categories);
    });
    EXPECT_EQ(WriteCategory(), kWriteChanged);
    EXPECT_EQ(field("CAT:CATEGORY"), "NEWS");
    EXPECT_EQ(Categories.memo(0), "changed by window 2");
    EXPECT_EQ(snippetsOnDisk(), kSnippetsBefore);
}

TEST_F(Integrity, AFailingCascadeRollsBackTheCategoryToo) {
    // an orphan snippet already under the new name: carrying News's "Before Category" there clashes
    addSnippet("Sport", "Before Category", "<i>");
    renameNewsTo("Sport");
    EXPECT_EQ(WriteCategory(), kWriteFailed);
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].text,
              "An error (Creates Duplicate Key (40)) was experienced when attempting to update a record from the "
              "file.  Probable Cause: CatHTML.");
    EXPECT_EQ(categoriesOnDisk(), (Rows{"News", "Tech"}));
    EXPECT_EQ(snippetsOnDisk().size(), 4u);
    EXPECT_EQ(locationsOnDisk(), kLocationsBefore);

    // renaming onto an existing category fails at the category itself
    shownBoxes().clear();
    renameNewsTo("tech");
    EXPECT_EQ(WriteCategory(), kWriteFailed);
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_NE(shownBoxes()[0].text.find("(Creates Duplicate Key (40))"), std::string::npos);
    EXPECT_NE(shownBoxes()[0].text.find("Probable Cause: Categories."), std::string::npos);
    EXPECT_EQ(locationsOnDisk(), kLocationsBefore);
}

// The commit itself fails (the disk, full, refuses the transaction control file's record, the commit
// point of the three files): the procedure says so and answers 1, and no file holds any of the change.
TEST_F(Integrity, AFailedCommitIsReportedAndChangesNothing) {
    sitedex::testing::RefusedWrites refuse;
    refuse.target = "VELOX.TCF";
    renameNewsTo("Media");
    EXPECT_EQ(WriteCategory(), kWriteFailed);
    EXPECT_FALSE(transactionActive());
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].text,
              "An error (Handle Disk Full (339)) was experienced when attempting to update a record from the file.  "
              "Probable Cause: Categories.");
    expectNothingChanged();

    shownBoxes().clear();
    readCategory("News");
    EXPECT_EQ(EraseCategory(), kWriteFailed);
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].caption, "Delete Operation Error");
    EXPECT_NE(shownBoxes()[0].text.find("(Handle Disk Full (339))"), std::string::npos);
    expectNothingChanged();

    // once the disk takes writes again the same rename goes through in all three files
    refuse.target.clear();
    shownBoxes().clear();
    renameNewsTo("Media");
    EXPECT_EQ(WriteCategory(), kWriteOk);
    EXPECT_TRUE(shownBoxes().empty());
    EXPECT_EQ(categoriesOnDisk(), (Rows{"Media", "Tech"}));
    EXPECT_EQ(locationsOnDisk()[0], "http://a.example/|Media|Alpha");
}

TEST_F(Integrity, SingleRecordWritesAndDeletes) {
    readLocation("http://c.example/");
    setField("URL:KEYWORD", "kw");
    EXPECT_EQ(WriteLocation(), kWriteOk);
    EXPECT_EQ(rowsOnDisk(SITEDX, {"URL:LOCATION", "URL:KEYWORD"})[2], "http://c.example/|kw");
    readLocation("http://c.example/");
    EXPECT_EQ(EraseLocation(), kWriteOk);
    EXPECT_EQ(locationsOnDisk().size(), 4u);

    // a location without an address is not in URL:K_LOCATION; it is found by its record position
    addLocation("", "no address", "Tech");
    EXPECT_EQ(EraseLocation(), kWriteOk);
    EXPECT_EQ(locationsOnDisk().size(), 4u);

    // a location made a duplicate of another address by a change is refused
    readLocation("http://a.example/");
    setField("URL:LOCATION", "HTTP://B.example/");
    EXPECT_EQ(WriteLocation(), kWriteFailed);
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].text,
              "An error (Creates Duplicate Key (40)) was experienced when attempting to update a record from the "
              "file.  Probable Cause: SITEDX.");

    CatHTML.clear();
    setField("HTM:CATEGORY", "Tech");
    setField("HTM:TYPEOFHTML", "Before Category");
    ASSERT_EQ(get(CatHTML, *CatHTML.findKey("HTM:KEYCATEGORYHTML")), 0);
    setMemo(CatHTML, 0, "<u>");
    EXPECT_EQ(WriteCatHTML(), kWriteOk);
    EXPECT_EQ(snippetsOnDisk()[2], "Tech|Before Category|<u>");
    EXPECT_EQ(EraseCatHTML(), kWriteOk);
    EXPECT_EQ(snippetsOnDisk().size(), 2u);

    // nothing read: the write and the delete fail and say so
    shownBoxes().clear();
    CatHTML.clear();
    setField("HTM:CATEGORY", "None");
    EXPECT_EQ(get(CatHTML, *CatHTML.findKey("HTM:KEYCATEGORYHTML")), 35);
    EXPECT_EQ(EraseCatHTML(), kWriteFailed);
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].caption, "Delete Operation Error");
    EXPECT_FALSE(transactionActive());
}

TEST_F(Integrity, SavedNameAndSaveAreaArePerThread) {
    readCategory("News");
    RememberCategoryName();
    EXPECT_EQ(savedCategoryName(), "News" + std::string(26, ' '));
    onThread(3, [] { EXPECT_EQ(savedCategoryName(), std::string(30, ' ')); });
    // without a remembered name a new name carries nothing (a blank name has no children)
    onThread(3, [&] {
        useFile(Categories);
        setField("CAT:CATEGORY", "Tech");
        ASSERT_EQ(get(Categories, *Categories.findKey("CAT:K_CATEGORY")), 0);
        setField("CAT:CATEGORY", "Tools");
        EXPECT_EQ(WriteCategory(), kWriteOk);
        releaseFile(Categories);
    });
    EXPECT_EQ(savedCategoryName(), "News" + std::string(26, ' '));
    EXPECT_EQ(categoriesOnDisk(), (Rows{"News", "Tools"}));
    EXPECT_EQ(locationsOnDisk()[4], "http://t.example/|Tech|Tools");
}

}  // namespace
}  // namespace sitedex::app::maintenance
